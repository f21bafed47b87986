#include "grid.h"
#include "gridhelpers.h"

#include "core/apperror.h"

#include <QFontMetrics>
#include <QSignalBlocker>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPoint>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>

#include <cmath>

using namespace Qt::StringLiterals;

namespace cg {

int TwipsToPixels(int twips, int dpi)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

int PixelsToTwips(int pixels, int dpi)
{
    if (dpi <= 0)
        return 0;
    return static_cast<int>(std::lround(static_cast<double>(pixels) * 1440.0 / dpi));
}

namespace {

// Roles kept on the (hidden) header items.
constexpr int RowDataRole = Qt::UserRole;        // vertical: the row's value
constexpr int TwipsRole = Qt::UserRole + 1;      // horizontal: QPoint(twips, px)
constexpr int HiddenWidthRole = Qt::UserRole + 2; // horizontal: width before hiding

} // namespace

// Draws fixed cells as a header, applies the grid's default alignment to
// cells without one, and keeps a cell's own text colour (lamps) visible in
// the selection highlight.
class FlexGridDelegate : public QStyledItemDelegate {
public:
    explicit FlexGridDelegate(FlexGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        const int limit = m_grid->colMaxBytes(index.column());
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            BindByteLimit(line, limit);
        return editor;
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!index.data(Qt::TextAlignmentRole).isValid())
            option->displayAlignment = m_grid->defaultAlignment();
        const QVariant fore = index.data(Qt::ForegroundRole);
        if (m_grid->isFixedCell(index.row(), index.column())) {
            if (!index.data(Qt::BackgroundRole).isValid())
                option->backgroundBrush = m_grid->palette().brush(QPalette::Button);
            if (!fore.isValid())
                option->palette.setBrush(QPalette::Text, m_grid->palette().brush(QPalette::ButtonText));
            if (index.row() < m_grid->fixedRows() && !index.data(Qt::FontRole).isValid())
                option->font.setWeight(QFont::DemiBold);
            option->state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        } else if (!m_grid->highlightSelection()) {
            option->state &= ~QStyle::State_Selected;
        }
        if ((option->state & QStyle::State_Selected) && fore.isValid())
            option->palette.setBrush(QPalette::HighlightedText, fore.value<QBrush>());
    }

private:
    FlexGrid *m_grid;
};

FlexGrid::FlexGrid(QWidget *parent) : QTableWidget(parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(0); // widths are the screen's, down to 0
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    m_delegate = new FlexGridDelegate(this);
    setItemDelegate(m_delegate);

    // The fixed rows: a second view on the same model, placed in the top
    // margin of the viewport, where the main view hides those rows.
    m_fixedView = new QTableView(this);
    m_fixedView->setObjectName(u"fixedRows"_s);
    m_fixedView->setModel(model());
    m_fixedView->setItemDelegate(m_delegate);
    m_fixedView->horizontalHeader()->hide();
    m_fixedView->verticalHeader()->hide();
    m_fixedView->horizontalHeader()->setMinimumSectionSize(0);
    m_fixedView->setFocusPolicy(Qt::NoFocus);
    m_fixedView->setSelectionMode(QAbstractItemView::NoSelection);
    m_fixedView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_fixedView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_fixedView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_fixedView->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_fixedView->setFrameShape(QFrame::NoFrame);
    m_fixedView->setWordWrap(false);
    m_fixedView->hide();

    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_fixedView->horizontalScrollBar(),
            &QScrollBar::setValue);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int c, int, int) { syncColumn(c); });
    connect(m_fixedView, &QTableView::clicked, this,
            [this](const QModelIndex &i) { emit cellClicked(i.row(), i.column()); });
    connect(m_fixedView, &QTableView::doubleClicked, this,
            [this](const QModelIndex &i) { emit cellDoubleClicked(i.row(), i.column()); });
    connect(m_fixedView->verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int, int, int) { layoutFixedView(); });
    connect(model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { onRowsInserted(first, last); });
    connect(model(), &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex &, int, int) { onRowsRemoved(); });
    connect(model(), &QAbstractItemModel::columnsInserted, this, [this](const QModelIndex &, int first, int last) {
        for (int c = first; c <= last; ++c)
            syncColumn(c);
        applyFixedFlags();
    });
    connect(model(), &QAbstractItemModel::columnsRemoved, this, [this] {
        if (m_fixedCols > columnCount())
            m_fixedCols = columnCount();
    });
}

FlexGrid::~FlexGrid() = default;

void FlexGrid::setRows(int n)
{
    if (n < 0)
        throw AppError(errnum::InvalidArgument, u"无效的行数"_s);
    setRowCount(n);
}

void FlexGrid::setCols(int n)
{
    if (n < 0)
        throw AppError(errnum::InvalidArgument, u"无效的列数"_s);
    setColumnCount(n);
}

void FlexGrid::setFixedRows(int n)
{
    if (n < 0 || n > rowCount())
        throw AppError(errnum::InvalidArgument, u"无效的固定行数"_s);
    const int old = m_fixedRows;
    m_fixedRows = n;
    setFrontRowsHidden(n, qMax(old, n));
    applyFixedFlags();
    layoutFixedView();
    viewport()->update();
}

void FlexGrid::setFixedCols(int n)
{
    if (n < 0 || n > columnCount())
        throw AppError(errnum::InvalidArgument, u"无效的固定列数"_s);
    m_fixedCols = n;
    applyFixedFlags();
    viewport()->update();
    m_fixedView->viewport()->update();
}

void FlexGrid::onRowsInserted(int first, int last)
{
    // Rows inserted in front of or among the fixed rows push hidden rows
    // down: hide the fixed ones again and show the data rows pushed down.
    if (first < m_fixedRows)
        setFrontRowsHidden(m_fixedRows, m_fixedRows + (last - first + 1));
    layoutFixedView();
}

void FlexGrid::onRowsRemoved()
{
    if (m_fixedRows > rowCount())
        m_fixedRows = rowCount();
    setFrontRowsHidden(m_fixedRows, m_fixedRows);
    layoutFixedView();
}

void FlexGrid::setFrontRowsHidden(int fixedCount, int showUpTo)
{
    const int n = rowCount();
    for (int r = 0; r < fixedCount && r < n; ++r)
        setRowHidden(r, true);
    for (int r = fixedCount; r < showUpTo && r < n; ++r)
        setRowHidden(r, false);
}

void FlexGrid::checkCell(int r, int c) const
{
    if (r < 0 || c < 0 || r >= rowCount() || c >= columnCount())
        throw AppError(errnum::InvalidArgument,
                       u"无效的单元格 (%1, %2)"_s.arg(r).arg(c));
}

void FlexGrid::applyFixedFlags(QTableWidgetItem *item, int r, int c)
{
    const Qt::ItemFlags flags = isFixedCell(r, c) ? Qt::ItemIsEnabled : (Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (item->flags() != flags)
        item->setFlags(flags);
}

void FlexGrid::applyFixedFlags()
{
    const int nr = rowCount();
    const int nc = columnCount();
    for (int r = 0; r < nr; ++r)
        for (int c = 0; c < nc; ++c)
            if (QTableWidgetItem *it = item(r, c))
                applyFixedFlags(it, r, c);
}

QTableWidgetItem *FlexGrid::ensureItem(int r, int c)
{
    checkCell(r, c);
    QTableWidgetItem *it = item(r, c);
    if (!it) {
        it = new QTableWidgetItem;
        applyFixedFlags(it, r, c);
        setItem(r, c, it);
    }
    return it;
}

void FlexGrid::writeCell(int r, int c, const std::function<void(QTableWidgetItem *)> &write)
{
    if (m_bulk == 0) {
        write(ensureItem(r, c));
        return;
    }
    const QSignalBlocker quiet(model());
    write(ensureItem(r, c));
}

FlexGrid::BulkFill::BulkFill(FlexGrid *grid) : m_grid(grid)
{
    ++m_grid->m_bulk;
}

FlexGrid::BulkFill::~BulkFill()
{
    if (--m_grid->m_bulk > 0)
        return;
    QAbstractItemModel *m = m_grid->model();
    if (m->rowCount() > 0 && m->columnCount() > 0)
        emit m->dataChanged(m->index(0, 0), m->index(m->rowCount() - 1, m->columnCount() - 1));
    if (m->rowCount() > 0)
        emit m->headerDataChanged(Qt::Vertical, 0, m->rowCount() - 1);
    m_grid->viewport()->update();
}

QString FlexGrid::textMatrix(int r, int c) const
{
    const QTableWidgetItem *it = item(r, c);
    return it ? it->text() : QString();
}

void FlexGrid::setTextMatrix(int r, int c, const QString &text)
{
    QTableWidgetItem *it = item(r, c);
    if (!it && text.isEmpty()) {
        checkCell(r, c);
        return;
    }
    writeCell(r, c, [&text](QTableWidgetItem *it) { it->setText(text); });
}

QColor FlexGrid::cellColor(int r, int c, int role, QPalette::ColorRole fixed, QPalette::ColorRole normal) const
{
    const QTableWidgetItem *it = item(r, c);
    const QVariant v = it ? it->data(role) : QVariant();
    if (v.isValid())
        return v.value<QBrush>().color();
    return palette().color(isFixedCell(r, c) ? fixed : normal);
}

QColor FlexGrid::cellForeColor(int r, int c) const
{
    return cellColor(r, c, Qt::ForegroundRole, QPalette::ButtonText, QPalette::Text);
}

void FlexGrid::setCellForeColor(int r, int c, const QColor &color)
{
    writeCell(r, c, [&color](QTableWidgetItem *it) { it->setForeground(color); });
}

QColor FlexGrid::cellBackColor(int r, int c) const
{
    return cellColor(r, c, Qt::BackgroundRole, QPalette::Button, QPalette::Base);
}

void FlexGrid::setCellBackColor(int r, int c, const QColor &color)
{
    writeCell(r, c, [&color](QTableWidgetItem *it) { it->setBackground(color); });
}

QFont FlexGrid::effectiveFont(int r, int c) const
{
    const QTableWidgetItem *it = item(r, c);
    if (it && it->data(Qt::FontRole).isValid())
        return it->font();
    return font();
}

qreal FlexGrid::cellFontSize(int r, int c) const
{
    return effectiveFont(r, c).pointSizeF();
}

void FlexGrid::setCellFontSize(int r, int c, qreal pointSize)
{
    changeCellFont(r, c, [pointSize](QFont &f) { f.setPointSizeF(pointSize); });
}

bool FlexGrid::cellFontBold(int r, int c) const
{
    return effectiveFont(r, c).bold();
}

void FlexGrid::setCellFontBold(int r, int c, bool bold)
{
    changeCellFont(r, c, [bold](QFont &f) { f.setBold(bold); });
}

void FlexGrid::changeCellFont(int r, int c, const std::function<void(QFont &)> &change)
{
    QFont f = effectiveFont(r, c);
    change(f);
    writeCell(r, c, [&f](QTableWidgetItem *it) { it->setFont(f); });
}

Qt::Alignment FlexGrid::cellAlignment(int r, int c) const
{
    const QTableWidgetItem *it = item(r, c);
    const QVariant v = it ? it->data(Qt::TextAlignmentRole) : QVariant();
    if (v.isValid())
        return Qt::Alignment(v.toInt());
    return m_defaultAlignment;
}

void FlexGrid::setCellAlignment(int r, int c, Qt::Alignment alignment)
{
    writeCell(r, c, [alignment](QTableWidgetItem *it) { it->setTextAlignment(alignment); });
}

void FlexGrid::setDefaultAlignment(Qt::Alignment alignment)
{
    m_defaultAlignment = alignment;
    viewport()->update();
    m_fixedView->viewport()->update();
}

void FlexGrid::setAllCentered()
{
    const int nr = rowCount();
    const int nc = columnCount();
    for (int r = 0; r < nr; ++r)
        for (int c = 0; c < nc; ++c)
            if (QTableWidgetItem *it = item(r, c); it && it->data(Qt::TextAlignmentRole).isValid())
                it->setTextAlignment(Qt::AlignCenter);
    setDefaultAlignment(Qt::AlignCenter);
}

QTableWidgetItem *FlexGrid::columnTag(int c)
{
    QTableWidgetItem *h = horizontalHeaderItem(c);
    if (!h) {
        h = new QTableWidgetItem;
        setHorizontalHeaderItem(c, h);
    }
    return h;
}

int FlexGrid::colWidth(int c) const
{
    if (isColumnHidden(c)) {
        const QTableWidgetItem *h = horizontalHeaderItem(c);
        const QVariant v = h ? h->data(HiddenWidthRole) : QVariant();
        return v.isValid() ? v.toInt() : 0;
    }
    return columnWidth(c);
}

void FlexGrid::setColWidth(int c, int pixels)
{
    if (c < 0 || c >= columnCount())
        throw AppError(errnum::InvalidArgument, u"无效的列 %1"_s.arg(c));
    pixels = qMax(0, pixels);
    columnTag(c)->setData(TwipsRole, QVariant());
    if (isColumnHidden(c))
        columnTag(c)->setData(HiddenWidthRole, pixels);
    else
        setColumnWidth(c, pixels);
}

int FlexGrid::colWidthTwips(int c) const
{
    const int px = colWidth(c);
    const QTableWidgetItem *h = horizontalHeaderItem(c);
    const QVariant v = h ? h->data(TwipsRole) : QVariant();
    if (v.isValid()) {
        const QPoint kept = v.toPoint();
        if (kept.y() == px)
            return kept.x();
    }
    return PixelsToTwips(px, logicalDpiX());
}

void FlexGrid::setColWidthTwips(int c, int twips)
{
    twips = qMax(0, twips);
    const int px = TwipsToPixels(twips, logicalDpiX());
    setColWidth(c, px);
    columnTag(c)->setData(TwipsRole, QPoint(twips, px));
}

void FlexGrid::setColMaxBytes(int c, int maxBytes)
{
    if (maxBytes > 0)
        m_maxBytes.insert(c, maxBytes);
    else
        m_maxBytes.remove(c);
}

void FlexGrid::setColHidden(int c, bool hidden)
{
    if (c < 0 || c >= columnCount())
        throw AppError(errnum::InvalidArgument, u"无效的列 %1"_s.arg(c));
    if (hidden == isColumnHidden(c))
        return;
    if (hidden) {
        columnTag(c)->setData(HiddenWidthRole, columnWidth(c));
        setColumnHidden(c, true);
    } else {
        const QVariant w = columnTag(c)->data(HiddenWidthRole);
        setColumnHidden(c, false);
        if (w.isValid())
            setColumnWidth(c, w.toInt());
        columnTag(c)->setData(HiddenWidthRole, QVariant());
    }
    syncColumn(c);
}

void FlexGrid::syncColumn(int c)
{
    if (c < 0 || c >= columnCount())
        return;
    const bool hidden = isColumnHidden(c);
    m_fixedView->setColumnHidden(c, hidden);
    if (!hidden)
        m_fixedView->setColumnWidth(c, columnWidth(c));
}

int FlexGrid::rowHeightPixels(int r) const
{
    return r < m_fixedRows ? m_fixedView->rowHeight(r) : rowHeight(r);
}

void FlexGrid::setRowHeightPixels(int r, int pixels)
{
    if (r < 0 || r >= rowCount())
        throw AppError(errnum::InvalidArgument, u"无效的行 %1"_s.arg(r));
    m_fixedView->setRowHeight(r, qMax(0, pixels));
    if (r >= m_fixedRows)
        setRowHeight(r, qMax(0, pixels));
    layoutFixedView();
}

void FlexGrid::autoSize(int firstCol, int lastCol)
{
    firstCol = qMax(0, firstCol);
    lastCol = qMin(lastCol, columnCount() - 1);
    const int padding = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 4;
    for (int c = firstCol; c <= lastCol; ++c) {
        if (isColumnHidden(c))
            continue;
        int widest = 0;
        for (int r = 0; r < rowCount(); ++r) {
            const QString text = textMatrix(r, c);
            if (text.isEmpty())
                continue;
            if (r < m_fixedRows && m_fixedView->columnSpan(r, c) > 1)
                continue; // a merged header is shared with its neighbours
            QFont f = effectiveFont(r, c);
            if (r < m_fixedRows && !(item(r, c) && item(r, c)->data(Qt::FontRole).isValid()))
                f.setWeight(QFont::DemiBold);
            widest = qMax(widest, QFontMetrics(f, this).horizontalAdvance(text));
        }
        setColWidth(c, widest + padding);
    }
}

void FlexGrid::setCurrent(int r, int c)
{
    checkCell(r, c);
    setCurrentCell(r, c);
}

QVariant FlexGrid::rowData(int r) const
{
    const QTableWidgetItem *h = verticalHeaderItem(r);
    return h ? h->data(RowDataRole) : QVariant();
}

void FlexGrid::setRowData(int r, const QVariant &value)
{
    if (r < 0 || r >= rowCount())
        throw AppError(errnum::InvalidArgument, u"无效的行 %1"_s.arg(r));
    // Inside a BulkFill the header hears of its rows' data once, at the end.
    const QSignalBlocker quiet(m_bulk > 0 ? model() : nullptr);
    QTableWidgetItem *h = verticalHeaderItem(r);
    if (!h) {
        h = new QTableWidgetItem;
        setVerticalHeaderItem(r, h);
    }
    h->setData(RowDataRole, value);
}

int FlexGrid::addRow(const QStringList &texts)
{
    const int r = rowCount();
    insertRow(r);
    const int n = qMin<int>(texts.size(), columnCount());
    for (int c = 0; c < n; ++c)
        setTextMatrix(r, c, texts.at(c));
    return r;
}

void FlexGrid::clearMerges()
{
    m_fixedView->clearSpans();
}

void FlexGrid::mergeFixedCells()
{
    clearMerges();
    const int nr = qMin(m_fixedRows, rowCount());
    const int nc = columnCount();
    QVector<bool> done(nr * nc, false);
    for (int r = 0; r < nr; ++r) {
        for (int c = 0; c < nc; ++c) {
            if (done[r * nc + c])
                continue;
            const QString t = textMatrix(r, c);
            if (t.isEmpty())
                continue;
            int w = 1;
            while (c + w < nc && !done[r * nc + c + w] && textMatrix(r, c + w) == t)
                ++w;
            // Extend down while the row below holds the same run over exactly
            // the same columns.
            int h = 1;
            while (r + h < nr) {
                const int rr = r + h;
                bool same = (c == 0 || textMatrix(rr, c - 1) != t) && (c + w == nc || textMatrix(rr, c + w) != t);
                for (int cc = c; same && cc < c + w; ++cc)
                    same = !done[rr * nc + cc] && textMatrix(rr, cc) == t;
                if (!same)
                    break;
                ++h;
            }
            for (int rr = r; rr < r + h; ++rr)
                for (int cc = c; cc < c + w; ++cc)
                    done[rr * nc + cc] = true;
            if (w > 1 || h > 1)
                m_fixedView->setSpan(r, c, h, w);
        }
    }
}

QSize FlexGrid::mergedSpan(int r, int c) const
{
    return QSize(m_fixedView->columnSpan(r, c), m_fixedView->rowSpan(r, c));
}

void FlexGrid::setHighlightSelection(bool on)
{
    m_highlight = on;
    viewport()->update();
}

void FlexGrid::keyPressEvent(QKeyEvent *event)
{
    event->ignore();
    emit keyPressed(event);
    if (event->isAccepted())
        return;
    event->accept();
    QTableWidget::keyPressEvent(event);
}

void FlexGrid::resizeEvent(QResizeEvent *event)
{
    QTableWidget::resizeEvent(event);
    layoutFixedView();
}

void FlexGrid::updateGeometries()
{
    QTableWidget::updateGeometries();
    layoutFixedView();
}

void FlexGrid::layoutFixedView()
{
    if (!m_fixedView)
        return;
    const int n = qMin(m_fixedRows, rowCount());
    int h = 0;
    for (int r = 0; r < n; ++r)
        h += m_fixedView->rowHeight(r);
    if (viewportMargins().top() != h)
        setViewportMargins(0, h, 0, 0);
    if (h == 0) {
        m_fixedView->hide();
        return;
    }
    const QRect vp = viewport()->geometry();
    m_fixedView->setGeometry(vp.x(), vp.y() - h, vp.width(), h);
    m_fixedView->verticalScrollBar()->setValue(0);
    m_fixedView->horizontalScrollBar()->setValue(horizontalScrollBar()->value());
    m_fixedView->show();
}

} // namespace cg
