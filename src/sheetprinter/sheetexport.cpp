// Export of a filled sheet as an xlsx workbook: every table of the sheet
// becomes rows of one worksheet, cell by cell with its spans merged; text
// outside tables (titles, notes) takes a row of its own.

#include "sheetprinter.h"

#include "sheettemplate.h"

#include "core/text.h"
#include "widgets/listexport.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <xlsxwriter.h>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

struct SheetCell {
    int row = 0;
    int col = 0;
    int rowSpan = 1;
    int colSpan = 1;
    QString text;
    bool number = false; // the template marked the value a number
};

// Whether the cell holds a value the template marked as a number.
bool markedNumber(const QTextTableCell &cell)
{
    for (auto it = cell.begin(); !it.atEnd(); ++it) {
        const QTextBlock block = it.currentBlock();
        for (auto f = block.begin(); !f.atEnd(); ++f)
            if (f.fragment().charFormat().anchorNames().contains(SheetNumberAnchor()))
                return true;
    }
    return false;
}

QString cellText(const QTextTableCell &cell)
{
    QTextCursor c(cell.firstCursorPosition());
    c.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return c.selectedText().replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n')
        .trimmed();
}

// Walks the root frame: loose blocks and tables, top to bottom.
void collect(QTextFrame *frame, QList<SheetCell> &cells, int &nextRow)
{
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (QTextFrame *child = it.currentFrame()) {
            if (auto *table = qobject_cast<QTextTable *>(child)) {
                for (int r = 0; r < table->rows(); ++r)
                    for (int c = 0; c < table->columns(); ++c) {
                        const QTextTableCell cell = table->cellAt(r, c);
                        if (cell.row() != r || cell.column() != c)
                            continue; // covered by a span
                        cells.append({nextRow + r, c, cell.rowSpan(), cell.columnSpan(), cellText(cell),
                                      markedNumber(cell)});
                    }
                nextRow += table->rows();
            } else {
                collect(child, cells, nextRow);
            }
        } else {
            const QString text = it.currentBlock().text().trimmed();
            if (!text.isEmpty())
                cells.append({nextRow++, 0, 1, 1, text, false});
        }
    }
}

} // namespace

bool SheetPrinter::exportToXlsx(const QString &path) const
{
    if (!m_loaded) {
        qCWarning(lcSheetPrinter) << "nothing to export: no sheet loaded";
        return false;
    }
    auto doc = makeDocument();
    QList<SheetCell> cells;
    int rows = 0;
    collect(doc->rootFrame(), cells, rows);

    // libxlsxwriter writes the file when the workbook closes: write beside
    // the target and replace it only when complete.
    const QString part = path + u".part"_s;
    QFile::remove(part);
    lxw_workbook *wb = workbook_new(QFile::encodeName(part).constData());
    if (!wb) {
        qCWarning(lcSheetPrinter) << "cannot create" << path;
        return false;
    }
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Sheet1");
    lxw_format *fmt = workbook_add_format(wb);
    format_set_text_wrap(fmt);
    format_set_align(fmt, LXW_ALIGN_VERTICAL_CENTER);
    QList<int> widths;
    lxw_error err = LXW_NO_ERROR;
    for (const SheetCell &c : cells) {
        const QByteArray text = c.text.left(32767).toUtf8();
        double number = 0;
        const bool isNumber = c.number && NumericCellValue(c.text, &number);
        if (isNumber && (c.rowSpan > 1 || c.colSpan > 1)) {
            err = worksheet_merge_range(ws, lxw_row_t(c.row), lxw_col_t(c.col), lxw_row_t(c.row + c.rowSpan - 1),
                                        lxw_col_t(c.col + c.colSpan - 1), "", fmt);
            if (err == LXW_NO_ERROR)
                err = worksheet_write_number(ws, lxw_row_t(c.row), lxw_col_t(c.col), number, fmt);
        } else if (isNumber)
            err = worksheet_write_number(ws, lxw_row_t(c.row), lxw_col_t(c.col), number, fmt);
        else if (c.rowSpan > 1 || c.colSpan > 1)
            err = worksheet_merge_range(ws, lxw_row_t(c.row), lxw_col_t(c.col), lxw_row_t(c.row + c.rowSpan - 1),
                                        lxw_col_t(c.col + c.colSpan - 1), text.constData(), fmt);
        else
            err = worksheet_write_string(ws, lxw_row_t(c.row), lxw_col_t(c.col), text.constData(), fmt);
        if (err != LXW_NO_ERROR)
            break;
        while (widths.size() <= c.col)
            widths.append(8);
        if (c.colSpan == 1)
            widths[c.col] = qMax(widths[c.col], qMin(60, AnsiByteLength(c.text) + 2));
    }
    for (int c = 0; err == LXW_NO_ERROR && c < widths.size(); ++c)
        err = worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), widths[c] * 1.2, nullptr);
    const lxw_error closed = workbook_close(wb);
    if (err != LXW_NO_ERROR || closed != LXW_NO_ERROR) {
        qCWarning(lcSheetPrinter) << "cannot write" << path << lxw_strerror(err != LXW_NO_ERROR ? err : closed);
        QFile::remove(part);
        return false;
    }
    return replaceWithPart(path, part);
}

} // namespace cg
