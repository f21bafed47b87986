#pragma once

#include <QColor>
#include <QStringList>
#include <QHash>
#include <QTableWidget>

#include <functional>
#include <QVariant>
#include <QVector>

class QKeyEvent;
class QTableView;

namespace cg {

// Screen widths are kept in twips (1440 per inch) so that a layout saved on
// one workstation means the same on another with a different resolution.
// px = round(twips * dpi / 1440); at 96 dpi one pixel is 15 twips.
int TwipsToPixels(int twips, int dpi);
int PixelsToTwips(int pixels, int dpi);

class FlexGridDelegate;

// The flexible grid of every list screen.
//
// Rows and columns are counted as the station's screens count them: the
// fixed header rows are ordinary rows 0 .. fixedRows()-1 and the data rows
// follow them (with one header row the first data row is row 1). Fixed
// columns 0 .. fixedCols()-1 work the same way horizontally. Qt's own
// header views are hidden; fixed cells are drawn with the button face like
// a header, cannot be selected or edited, and the fixed rows stay in place
// when the data rows scroll vertically (they are shown by a second view on
// the same model above the viewport).
//
// Cells are read and written through textMatrix()/setTextMatrix() and the
// per-cell colour, font and alignment setters; a cell that was never
// written reads as empty text with the grid's defaults. The grid is read-only
// for the operator.
//
// Screens react through QTableWidget's cellClicked, cellDoubleClicked and
// currentCellChanged (clicks on a fixed header row arrive with its row
// number below fixedRows()) and through keyPressed below.
class FlexGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit FlexGrid(QWidget *parent = nullptr);
    ~FlexGrid() override;

    // Filling many cells at once. While a BulkFill lives, cell and row data
    // writes do not tell the views (nor itemChanged listeners) one by one;
    // when the last one ends, the views learn of every cell at once. For filling a list,
    // never around edits somebody listens to. Rows added meanwhile are
    // announced as usual.
    class BulkFill {
    public:
        explicit BulkFill(FlexGrid *grid);
        ~BulkFill();
        BulkFill(const BulkFill &) = delete;
        BulkFill &operator=(const BulkFill &) = delete;

    private:
        FlexGrid *m_grid;
    };

    // Dimensions. Changing the row count keeps the texts of the rows that
    // stay, the fixed header rows included. A count below the fixed count
    // lowers the fixed count with it. The fixed counts cannot exceed the
    // rows and columns there are (AppError otherwise): set the size first.
    int rows() const { return rowCount(); }
    void setRows(int n);
    int cols() const { return columnCount(); }
    void setCols(int n);
    int fixedRows() const { return m_fixedRows; }
    void setFixedRows(int n);
    int fixedCols() const { return m_fixedCols; }
    void setFixedCols(int n);
    bool isFixedCell(int r, int c) const { return r < m_fixedRows || c < m_fixedCols; }
    // Data rows, i.e. rows() - fixedRows().
    int dataRows() const { return rowCount() - m_fixedRows; }

    // Cell text. Reading outside the grid gives ""; writing outside throws
    // AppError (InvalidArgument).
    QString textMatrix(int r, int c) const;
    void setTextMatrix(int r, int c, const QString &text);

    // Cell appearance. Colours read back as the grid's defaults (text colour,
    // base colour) while a cell has none of its own.
    QColor cellForeColor(int r, int c) const;
    void setCellForeColor(int r, int c, const QColor &color);
    QColor cellBackColor(int r, int c) const;
    void setCellBackColor(int r, int c, const QColor &color);
    qreal cellFontSize(int r, int c) const;
    void setCellFontSize(int r, int c, qreal pointSize);
    bool cellFontBold(int r, int c) const;
    void setCellFontBold(int r, int c, bool bold);
    Qt::Alignment cellAlignment(int r, int c) const;
    void setCellAlignment(int r, int c, Qt::Alignment alignment);
    // Every cell, present and future, without an alignment of its own.
    Qt::Alignment defaultAlignment() const { return m_defaultAlignment; }
    void setDefaultAlignment(Qt::Alignment alignment);
    // Centres every cell horizontally and vertically (also cells written
    // later) and drops the cells' own alignments.
    void setAllCentered();

    // Column widths in pixels of this screen and in twips. A hidden column
    // reports the width it had before it was hidden (and gets it back when
    // shown again).
    int colWidth(int c) const;
    void setColWidth(int c, int pixels);
    // The twips last set are given back as long as the pixel width has not
    // changed since, so loading and saving a layout never drifts.
    int colWidthTwips(int c) const;
    void setColWidthTwips(int c, int twips);
    bool isColHidden(int c) const { return isColumnHidden(c); }
    void setColHidden(int c, bool hidden);
    // The byte limit (GBK) of the texts typed into a column's editor, the
    // width of the column the text is stored in; 0 = no limit.
    void setColMaxBytes(int c, int maxBytes);
    int colMaxBytes(int c) const { return m_maxBytes.value(c, 0); }
    // Row height in pixels; use this rather than setRowHeight() so that the
    // fixed rows, shown by their own view, change too.
    int rowHeightPixels(int r) const;
    void setRowHeightPixels(int r, int pixels);

    // Fits the columns first..last (inclusive, clamped to the grid) to the
    // widest text they hold, header rows included. Hidden columns stay hidden.
    void autoSize(int firstCol, int lastCol);

    // The current cell; -1 when there is none.
    using QTableWidget::row;
    int row() const { return currentRow(); }
    int col() const { return currentColumn(); }
    void setCurrent(int r, int c);

    // A value kept with a row (moves with the row, not shown, not exported).
    QVariant rowData(int r) const;
    void setRowData(int r, const QVariant &value);

    // Appends a row holding the given texts from column 0 on; returns its
    // index. Surplus texts beyond the column count are dropped.
    int addRow(const QStringList &texts = {});

    // Merges the cells of the fixed header rows whose texts are equal:
    // runs of equal texts along a row, extended down over the header rows
    // below that hold the same text over the same columns. Empty cells are
    // never merged. Call again after changing header texts; it replaces the
    // earlier merges. Data rows never merge.
    void mergeFixedCells();
    void clearMerges();
    // The merged block a fixed cell is the top-left cell of: QSize(columns,
    // rows); QSize(1, 1) for a cell that is not merged.
    QSize mergedSpan(int r, int c) const;

    // Whether the selected row is drawn highlighted (by default it is;
    // screens that paint their own current-row colour switch it off). Lamp
    // colours show in the highlight too.
    bool highlightSelection() const { return m_highlight; }
    void setHighlightSelection(bool on);

    // The view that shows the fixed rows (for tests and rendering).
    QTableView *fixedRowsView() const { return m_fixedView; }

signals:
    // Sent before the grid handles the key itself. A receiver that handles
    // the key calls event->accept(); the grid then leaves it alone.
    void keyPressed(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void updateGeometries() override;

private:
    void onRowsInserted(int first, int last);
    void onRowsRemoved();
    QTableWidgetItem *ensureItem(int r, int c);
    // Writes to the cell's item (made when missing), quietly inside a
    // BulkFill.
    void writeCell(int r, int c, const std::function<void(QTableWidgetItem *)> &write);
    QTableWidgetItem *columnTag(int c);
    void checkCell(int r, int c) const;
    QFont effectiveFont(int r, int c) const;
    // Writes the cell's font after change has altered what it shows now.
    void changeCellFont(int r, int c, const std::function<void(QFont &)> &change);
    QColor cellColor(int r, int c, int role, QPalette::ColorRole fixed, QPalette::ColorRole normal) const;
    void applyFixedFlags();
    void applyFixedFlags(QTableWidgetItem *item, int r, int c);
    void setFrontRowsHidden(int fixedCount, int showUpTo);
    void syncColumn(int c);
    void layoutFixedView();

    int m_fixedRows = 0;
    int m_bulk = 0; // BulkFill nesting
    int m_fixedCols = 0;
    Qt::Alignment m_defaultAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_highlight = true;
    QTableView *m_fixedView = nullptr;
    FlexGridDelegate *m_delegate = nullptr;
    QHash<int, int> m_maxBytes;
};

} // namespace cg
