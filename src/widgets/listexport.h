#pragma once

#include "env.h"
#include "listreport.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

class QTreeWidget;
class QWidget;

namespace cg {

class FlexGrid;

// Export of a list screen's grid to a spreadsheet file.
//
// Two file formats, chosen by the file name:
//  * a name ending in ".xlsx" (any letter case) gets a real Excel workbook
//    with one sheet; header rows are bold. Cells of the columns the screen
//    declares numeric (counts, seats, passengers) are number cells a
//    spreadsheet can add up, when their text is a plain number
//    (NumericCellValue); every other cell is text, so codes, plates and
//    card numbers keep their leading zeros;
//  * any other name (normally ".xls") gets tab-delimited text, which every
//    spreadsheet program opens as a sheet under the ".xls" name:
//      - UTF-16LE with a byte order mark. This is what Excel itself writes
//        as "Unicode text", and it reads it back as tab-delimited Unicode
//        without an import dialog in every version; whether a UTF-8 file
//        is recognised depends on the version, and a misread garbles the
//        Chinese texts. LibreOffice detects the byte order mark as well.
//      - one line per row, header rows first, lines ended by CR LF;
//      - cells separated by one tab; no quoting: a tab, CR or LF inside a
//        cell is replaced by a space (CR LF by one space), so every row stays
//        one line with the same number of cells.
// Writing failures throw AppError (ExportWriteError); an existing file is
// only replaced once the new one is complete.

constexpr int ExportWriteError = 75; // path or file access error

// The display texts of a grid or list view, header rows first.
struct ExportTable {
    QList<QStringList> rows;
    int headerRows = 0;
    QSet<int> numericColumns; // 0-based; their data cells are numbers in a workbook
};

// The value of a cell text that is a plain number: an optional minus, at
// most 15 digits without a leading zero (a "0012" is a code, not twelve),
// and at most six decimals. False for anything else, the empty text too.
bool NumericCellValue(const QString &text, double *value);

// Every row of the grid (fixed rows included) and every column, hidden ones
// too, as the cells' texts.
ExportTable GridTable(const FlexGrid &grid);
// The list view's captions as one header row, then its items in the order
// shown (child items after their parent).
ExportTable ListViewTable(const QTreeWidget &list);

// The tab-delimited file content described above (with byte order mark).
QByteArray TabDelimitedBytes(const ExportTable &table);
void WriteTabDelimited(const ExportTable &table, const QString &path);
void WriteWorkbook(const ExportTable &table, const QString &path);
// Picks the format by the file name.
void ExportTableToFile(const ExportTable &table, const QString &path);
void ExportGrid(const FlexGrid &grid, const QString &path, const QSet<int> &numericColumns = {});
void ExportListView(const QTreeWidget &list, const QString &path, const QSet<int> &numericColumns = {});

// The File menu's export for a screen whose report is its main grid (or
// list view):
//  * ExportFile asks for a file name in the save dialog titled
//    "当前表格导出至..." (filters "Microsoft Excel File (*.xls)" first, then
//    an ".xlsx" workbook) and writes the grid there; cancelling writes
//    nothing;
//  * ExportFileOpen asks in the open form of the dialog (a new name is
//    accepted); a name that exists already is replaced only after the
//    operator agreed ("问题", Yes/No). It writes and opens the file with the
//    desktop's program;
//  * printing and page set-up do nothing (CanPrint is false).
// Failures throw AppError; the caller reports them.
class GridReport : public IListReport {
public:
    GridReport(const Env &env, FlexGrid *grid, QWidget *dialogParent = nullptr);
    GridReport(const Env &env, QTreeWidget *list, QWidget *dialogParent = nullptr);

    static QString dialogTitle();
    static QString dialogFilter();

    // The columns (0-based) that hold counts, seats or passenger numbers.
    void setNumericColumns(const QSet<int> &columns) { m_numericColumns = columns; }

    void ExportFile() override;
    void ExportFileOpen() override;
    void PrintReport(bool) override {}
    void PreView() override {}
    void PageSet() override {}
    void PrintSet() override {}
    bool CanPrint() const override { return false; }

private:
    // The chosen file name after writing it; "" when cancelled.
    QString chooseAndWrite(bool openForm);
    void openExported(const QString &name);

    Env m_env;
    QPointer<FlexGrid> m_grid;
    QPointer<QTreeWidget> m_list;
    QPointer<QWidget> m_parent;
    QSet<int> m_numericColumns;
};

// Gives a screen whose main content is a grid (or list view) the File menu's
// and the product bar's export of it: the report lives as a child object of
// the screen, found by ListReportOf.
IListReport *AttachGridReport(QWidget *screen, const Env &env, FlexGrid *grid, const QSet<int> &numericColumns = {});
IListReport *AttachGridReport(QWidget *screen, const Env &env, QTreeWidget *list);
// The screen's report: the screen itself when it implements IListReport,
// else the one attached to it; nullptr for a screen without a list.
IListReport *ListReportOf(QWidget *screen);

} // namespace cg
