#include "listexport.h"

#include "core/apperror.h"
#include "filechooser.h"
#include "grid.h"
#include "messagesink.h"
#include "sound.h"
#include "core/text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>
#include <QTreeWidget>

#include "core/files.h"

#include <xlsxwriter.h>

using namespace Qt::StringLiterals;

namespace cg {

ExportTable GridTable(const FlexGrid &grid)
{
    ExportTable t;
    t.headerRows = grid.fixedRows();
    const int nr = grid.rows();
    const int nc = grid.cols();
    t.rows.reserve(nr);
    for (int r = 0; r < nr; ++r) {
        QStringList cells;
        cells.reserve(nc);
        for (int c = 0; c < nc; ++c)
            cells.append(grid.textMatrix(r, c));
        t.rows.append(cells);
    }
    return t;
}

namespace {

void appendItem(ExportTable &t, const QTreeWidgetItem *item, int nc)
{
    QStringList cells;
    cells.reserve(nc);
    for (int c = 0; c < nc; ++c)
        cells.append(item->text(c));
    t.rows.append(cells);
    for (int i = 0; i < item->childCount(); ++i)
        appendItem(t, item->child(i), nc);
}

constexpr qsizetype CellTextMax = 32767; // characters one workbook cell holds

[[noreturn]] void writeFailed(const QString &path, const QString &why)
{
    throw AppError(ExportWriteError, u"无法写入文件 %1：%2"_s.arg(QDir::toNativeSeparators(path), why));
}

// One buffer for every cell's UTF-8 text, grown as needed: a big list
// would otherwise allocate a byte array per cell.
class Utf8Buffer {
public:
    const char *encode(QStringView text)
    {
        QStringEncoder encoder(QStringConverter::Utf8);
        const qsizetype need = encoder.requiredSpace(text.size()) + 1;
        if (m_bytes.size() < need)
            m_bytes.resize(qMax(need, qsizetype(256)));
        char *end = encoder.appendToBuffer(m_bytes.data(), text);
        *end = '\0';
        return m_bytes.constData();
    }

private:
    QByteArray m_bytes;
};

QString flatCell(QString text)
{
    text.replace(u"\r\n"_s, u" "_s);
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    text.replace(u'\t', u' ');
    return text;
}

} // namespace

bool NumericCellValue(const QString &text, double *value)
{
    // -?(0|[1-9][0-9]{0,14})(\.[0-9]{1,6})? : at most 15 whole digits, so the
    // number reads back exactly, and no leading zero, so codes stay text.
    // Checked by hand: an export tries it on every cell of its count columns.
    const auto digit = [](QChar ch) { return ch >= u'0' && ch <= u'9'; };
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && text.at(i) == u'-')
        ++i;
    const qsizetype whole = i;
    while (i < n && digit(text.at(i)))
        ++i;
    const qsizetype wholeDigits = i - whole;
    if (wholeDigits == 0 || wholeDigits > 15 || (wholeDigits > 1 && text.at(whole) == u'0'))
        return false;
    if (i < n) {
        if (text.at(i) != u'.')
            return false;
        const qsizetype fraction = ++i;
        while (i < n && digit(text.at(i)))
            ++i;
        if (i != n || i - fraction < 1 || i - fraction > 6)
            return false;
    }
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (ok && value)
        *value = v;
    return ok;
}

ExportTable ListViewTable(const QTreeWidget &list)
{
    ExportTable t;
    const int nc = list.columnCount();
    if (nc == 0)
        return t;
    if (const QTreeWidgetItem *head = list.headerItem()) {
        QStringList captions;
        for (int c = 0; c < nc; ++c)
            captions.append(head->text(c));
        t.rows.append(captions);
        t.headerRows = 1;
    }
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        appendItem(t, list.topLevelItem(i), nc);
    return t;
}

QByteArray TabDelimitedBytes(const ExportTable &table)
{
    QString text;
    for (const QStringList &row : table.rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c > 0)
                text += u'\t';
            text += flatCell(row.at(c));
        }
        text += u"\r\n"_s;
    }
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

void WriteTabDelimited(const ExportTable &table, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        writeFailed(path, file.errorString());
    const QByteArray bytes = TabDelimitedBytes(table);
    if (file.write(bytes) != bytes.size() || !file.commit())
        writeFailed(path, file.errorString());
}

void WriteWorkbook(const ExportTable &table, const QString &path)
{
    if (table.rows.size() > LXW_ROW_MAX)
        writeFailed(path, u"行数超过工作表的上限"_s);
    for (const QStringList &row : table.rows)
        if (row.size() > LXW_COL_MAX)
            writeFailed(path, u"列数超过工作表的上限"_s);

    // libxlsxwriter writes the whole file when the workbook is closed; write
    // beside the target and replace it only when that succeeded.
    if (!QFileInfo(path).absoluteDir().exists())
        writeFailed(path, u"文件夹不存在"_s);
    const QString part = path + u".part"_s;
    QFile::remove(part);
    // Rows go to the file as they are written (each row's cells are freed
    // once the next row starts), strings inline: a big list costs neither
    // memory nor the shared-string lookups.
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *wb = workbook_new_opt(QFile::encodeName(part).constData(), &options);
    if (!wb)
        writeFailed(path, u"无法创建工作簿"_s);
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Sheet1");
    lxw_format *bold = workbook_add_format(wb);
    format_set_bold(bold);

    QList<int> widths;
    Utf8Buffer utf8;
    lxw_error err = LXW_NO_ERROR;
    for (qsizetype r = 0; r < table.rows.size() && err == LXW_NO_ERROR; ++r) {
        const QStringList &row = table.rows.at(r);
        lxw_format *fmt = r < table.headerRows ? bold : nullptr;
        for (qsizetype c = 0; c < row.size() && err == LXW_NO_ERROR; ++c) {
            QStringView text = row.at(c);
            if (text.isEmpty())
                continue;
            if (text.size() > CellTextMax) { // a cell holds at most 32767 characters
                text.truncate(CellTextMax);
                if (text.back().isHighSurrogate())
                    text.chop(1);
            }
            double number = 0;
            if (r >= table.headerRows && table.numericColumns.contains(int(c)) && NumericCellValue(row.at(c), &number))
                err = worksheet_write_number(ws, lxw_row_t(r), lxw_col_t(c), number, fmt);
            else
                err = worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), utf8.encode(text), fmt);
            if (widths.size() <= c)
                widths.resize(c + 1, 0);
            widths[c] = qMax(widths[c], AnsiByteLength(text));
        }
    }
    for (qsizetype c = 0; c < widths.size() && err == LXW_NO_ERROR; ++c)
        if (widths[c] > 0)
            err = worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), qBound(4, widths[c] + 2, 60), nullptr);
    const lxw_error closed = workbook_close(wb);
    if (err == LXW_NO_ERROR)
        err = closed;
    if (err != LXW_NO_ERROR) {
        QFile::remove(part);
        writeFailed(path, QString::fromUtf8(lxw_strerror(err)));
    }
    if (QString why; !ReplaceFileWith(path, part, &why))
        writeFailed(path, u"无法替换原有文件（%1）"_s.arg(why));
}

void ExportTableToFile(const ExportTable &table, const QString &path)
{
    if (path.endsWith(u".xlsx"_s, Qt::CaseInsensitive))
        WriteWorkbook(table, path);
    else
        WriteTabDelimited(table, path);
}

void ExportGrid(const FlexGrid &grid, const QString &path, const QSet<int> &numericColumns)
{
    ExportTable table = GridTable(grid);
    table.numericColumns = numericColumns;
    ExportTableToFile(table, path);
}

void ExportListView(const QTreeWidget &list, const QString &path, const QSet<int> &numericColumns)
{
    ExportTable table = ListViewTable(list);
    table.numericColumns = numericColumns;
    ExportTableToFile(table, path);
}

// ---- GridReport -------------------------------------------------------------

GridReport::GridReport(const Env &env, FlexGrid *grid, QWidget *dialogParent)
    : m_env(env), m_grid(grid), m_parent(dialogParent)
{
}

GridReport::GridReport(const Env &env, QTreeWidget *list, QWidget *dialogParent)
    : m_env(env), m_list(list), m_parent(dialogParent)
{
}

QString GridReport::dialogTitle()
{
    return u"当前表格导出至..."_s;
}

QString GridReport::dialogFilter()
{
    return u"Microsoft Excel File (*.xls);;Microsoft Excel Workbook (*.xlsx)"_s;
}

QString GridReport::chooseAndWrite(bool openForm)
{
    static DialogFileChooser fallback;
    FileChooser *chooser = m_env.files ? m_env.files : &fallback;
    QWidget *parent = m_parent ? m_parent.data() : (m_grid ? static_cast<QWidget *>(m_grid.data()) : m_list.data());
    const QString name = openForm ? chooser->openFileName(parent, dialogTitle(), dialogFilter())
                                  : chooser->saveFileName(parent, dialogTitle(), dialogFilter());
    if (name.isEmpty())
        return QString();
    // The save form asks before replacing a file; the open form does not.
    if (openForm && QFileInfo::exists(name)) {
        if (!m_env.messages)
            throw AppError(ExportWriteError, u"文件 %1 已存在"_s.arg(QDir::toNativeSeparators(name)));
        const MsgAnswer answer = m_env.messages->show(
            {u"问题"_s, u"文件“%1”已存在，是否替换？"_s.arg(QDir::toNativeSeparators(name)), MsgIcon::Question,
             MsgButtons::YesNo},
            parent);
        if (answer != MsgAnswer::Yes)
            return QString();
    }
    if (m_grid)
        ExportGrid(*m_grid, name, m_numericColumns);
    else if (m_list)
        ExportListView(*m_list, name, m_numericColumns);
    else
        throw AppError(errnum::InvalidArgument, u"没有可导出的表格"_s);
    return name;
}

void GridReport::ExportFile()
{
    chooseAndWrite(false);
}

void GridReport::ExportFileOpen()
{
    const QString name = chooseAndWrite(true);
    if (name.isEmpty())
        return;
    openExported(name);
}

void GridReport::openExported(const QString &name)
{
    if (m_env.shell) {
        m_env.shell->open(name);
    } else {
        DesktopShellOpener shell;
        shell.open(name);
    }
}

// ---- reports attached to screens ---------------------------------------------

namespace {

constexpr char AttachedReportName[] = "cgListReport";

class AttachedGridReport : public QObject, public GridReport {
public:
    template <typename List>
    AttachedGridReport(QWidget *screen, const Env &env, List *list) : QObject(screen), GridReport(env, list, screen)
    {
        setObjectName(QString::fromLatin1(AttachedReportName));
    }
};

} // namespace

IListReport *AttachGridReport(QWidget *screen, const Env &env, FlexGrid *grid, const QSet<int> &numericColumns)
{
    auto *report = new AttachedGridReport(screen, env, grid);
    report->setNumericColumns(numericColumns);
    return report;
}

IListReport *AttachGridReport(QWidget *screen, const Env &env, QTreeWidget *list)
{
    return new AttachedGridReport(screen, env, list);
}

IListReport *ListReportOf(QWidget *screen)
{
    if (!screen)
        return nullptr;
    if (auto *own = dynamic_cast<IListReport *>(screen))
        return own;
    return dynamic_cast<IListReport *>(
        screen->findChild<QObject *>(QString::fromLatin1(AttachedReportName), Qt::FindDirectChildrenOnly));
}

} // namespace cg
