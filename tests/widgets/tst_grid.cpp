#include "core/apperror.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace cg;
using namespace Qt::StringLiterals;
using namespace Qt::StringLiterals;

namespace {

// The departure gate's header: two fixed rows, one fixed column.
void buildGateHeader(FlexGrid &g)
{
    const QStringList top{u"序号"_s, u"车次"_s, u"时间"_s, u"终点站"_s, u"车牌号"_s, u"IC卡号"_s,
                          u"车型"_s, u"总座数"_s, u"安全例检"_s, u"驾驶员"_s, u"检票状态"_s,
                          u"参运公司"_s, u"旅客人数"_s, u"旅客人数"_s, u"回场时间"_s, u"出站状况"_s};
    QStringList second = top;
    second[12] = u" 售 "_s;
    second[13] = u" 检 "_s;
    g.setCols(16);
    g.setRows(2);
    g.setFixedRows(2);
    g.setFixedCols(1);
    for (int c = 0; c < 16; ++c) {
        g.setTextMatrix(0, c, top[c]);
        g.setTextMatrix(1, c, second[c]);
    }
    g.setAllCentered();
    g.mergeFixedCells();
}

bool rowsHiddenAsFixed(const FlexGrid &g)
{
    for (int r = 0; r < g.rows(); ++r)
        if (g.isRowHidden(r) != (r < g.fixedRows()))
            return false;
    return true;
}

} // namespace

class TstGrid : public QObject {
    Q_OBJECT

private slots:
    void rowCountKeepsHeaders_data();
    void rowCountKeepsHeaders();
    void fixedRowsStayHiddenInDataView_data();
    void fixedRowsStayHiddenInDataView();
    void mergeFixedCells_data();
    void mergeFixedCells();
    void twipsRoundTrip_data();
    void twipsRoundTrip();
    void keptTwipsAndHiddenWidths();
    void autoSizeFitsWidestText();
    void fixedCellsAreNotSelectable();
    void cellOutsideGridThrows();
    void acceptedKeyIsNotHandledByGrid();
    void modelStaysConsistent();
    void headerStaysOnTopWhenScrolled();
    void bulkFillTellsTheViewOnceAtTheEnd();
};

void TstGrid::rowCountKeepsHeaders_data()
{
    QTest::addColumn<int>("fixed");
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<int>("expectFixed");

    QTest::newRow("grow") << 2 << QList<int>{40} << 2;
    QTest::newRow("grow, shrink to header only") << 2 << QList<int>{40, 2} << 2;
    QTest::newRow("shrink below header") << 2 << QList<int>{1} << 1;
    QTest::newRow("empty") << 1 << QList<int>{0} << 0;
}

void TstGrid::rowCountKeepsHeaders()
{
    QFETCH(int, fixed);
    QFETCH(QList<int>, counts);
    QFETCH(int, expectFixed);

    FlexGrid g;
    g.setCols(3);
    g.setRows(fixed + 1);
    g.setFixedRows(fixed);
    for (int r = 0; r < fixed; ++r)
        for (int c = 0; c < 3; ++c)
            g.setTextMatrix(r, c, u"H%1%2"_s.arg(r).arg(c));
    for (int n : counts)
        g.setRows(n);

    QCOMPARE(g.fixedRows(), expectFixed);
    for (int r = 0; r < qMin(fixed, g.rows()); ++r)
        for (int c = 0; c < 3; ++c)
            QCOMPARE(g.textMatrix(r, c), u"H%1%2"_s.arg(r).arg(c));
    for (int r = fixed; r < g.rows(); ++r)
        QCOMPARE(g.textMatrix(r, 0), QString());
    QVERIFY(rowsHiddenAsFixed(g));
}

void TstGrid::fixedRowsStayHiddenInDataView_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("insert in front") << u"insert0"_s;
    QTest::newRow("insert among headers") << u"insert1"_s;
    QTest::newRow("remove a header row") << u"remove0"_s;
    QTest::newRow("fixed rows lowered") << u"fixed1"_s;
    QTest::newRow("fixed rows raised") << u"fixed3"_s;
    QTest::newRow("emptied and rebuilt") << u"rebuild"_s;
}

void TstGrid::fixedRowsStayHiddenInDataView()
{
    QFETCH(QString, operation);
    FlexGrid g;
    g.setCols(2);
    g.setRows(6);
    g.setFixedRows(2);
    if (operation == u"insert0")
        g.insertRow(0);
    else if (operation == u"insert1")
        g.insertRow(1);
    else if (operation == u"remove0")
        g.removeRow(0);
    else if (operation == u"fixed1")
        g.setFixedRows(1);
    else if (operation == u"fixed3")
        g.setFixedRows(3);
    else if (operation == u"rebuild") {
        g.setRowCount(0);
        g.setRows(5);
        g.setFixedRows(1);
    }
    QVERIFY(rowsHiddenAsFixed(g));
}

void TstGrid::mergeFixedCells_data()
{
    QTest::addColumn<QList<QStringList>>("header");
    QTest::addColumn<QList<QList<int>>>("spans"); // row, col, columns, rows

    QTest::newRow("gate: shared and two-row captions")
        << QList<QStringList>{{u"序号"_s, u"旅客人数"_s, u"旅客人数"_s, u"时间"_s},
                              {u"序号"_s, u" 售 "_s, u" 检 "_s, u"时间"_s}}
        << QList<QList<int>>{{0, 0, 1, 2}, {0, 1, 2, 1}, {1, 1, 1, 1}, {1, 2, 1, 1}, {0, 3, 1, 2}};
    // A run below that is wider than the run above is not joined to it.
    QTest::newRow("wider run below")
        << QList<QStringList>{{u"A"_s, u"A"_s, u"B"_s}, {u"A"_s, u"A"_s, u"A"_s}}
        << QList<QList<int>>{{0, 0, 2, 1}, {1, 0, 3, 1}, {0, 2, 1, 1}};
    QTest::newRow("empty captions stay apart")
        << QList<QStringList>{{QString(), QString(), u"X"_s}, {QString(), QString(), u"X"_s}}
        << QList<QList<int>>{{0, 0, 1, 1}, {0, 1, 1, 1}, {1, 0, 1, 1}, {0, 2, 1, 2}};
}

void TstGrid::mergeFixedCells()
{
    QFETCH(QList<QStringList>, header);
    QFETCH(QList<QList<int>>, spans);

    FlexGrid g;
    g.setCols(int(header.first().size()));
    g.setRows(int(header.size()) + 2);
    g.setFixedRows(int(header.size()));
    for (int r = 0; r < header.size(); ++r)
        for (int c = 0; c < header[r].size(); ++c)
            g.setTextMatrix(r, c, header[r][c]);
    // Equal data texts never merge.
    for (int c = 0; c < g.cols(); ++c) {
        g.setTextMatrix(g.rows() - 2, c, u"1"_s);
        g.setTextMatrix(g.rows() - 1, c, u"1"_s);
    }
    g.mergeFixedCells();
    g.mergeFixedCells(); // merging again gives the same blocks

    for (const QList<int> &s : spans)
        QCOMPARE(g.mergedSpan(s[0], s[1]), QSize(s[2], s[3]));
    QCOMPARE(g.mergedSpan(g.rows() - 2, 0), QSize(1, 1));
}

void TstGrid::twipsRoundTrip_data()
{
    QTest::addColumn<int>("dpi");
    QTest::newRow("96") << 96;
    QTest::newRow("120") << 120;
    QTest::newRow("144") << 144;
    QTest::newRow("192") << 192;
}

void TstGrid::twipsRoundTrip()
{
    QFETCH(int, dpi);
    for (int px = 0; px <= 2000; ++px)
        QCOMPARE(TwipsToPixels(PixelsToTwips(px, dpi), dpi), px);
    QCOMPARE(TwipsToPixels(1440, dpi), dpi);
}

void TstGrid::keptTwipsAndHiddenWidths()
{
    FlexGrid g;
    g.setCols(3);
    g.setRows(1);
    const int dpi = g.logicalDpiX();
    // 1000 twips is no whole number of pixels at 96 dpi; it still reads back
    // as 1000 so a saved layout does not drift.
    g.setColWidthTwips(0, 1000);
    QCOMPARE(g.colWidth(0), TwipsToPixels(1000, dpi));
    QCOMPARE(g.colWidthTwips(0), 1000);
    g.setColWidth(0, 80);
    QCOMPARE(g.colWidthTwips(0), PixelsToTwips(80, dpi));

    g.setColWidth(1, 70);
    g.setColHidden(1, true);
    QCOMPARE(g.colWidth(1), 70);
    g.setColWidthTwips(1, 1500); // while hidden: kept for showing again
    QCOMPARE(g.colWidthTwips(1), 1500);
    QVERIFY(g.isColHidden(1));
    g.setColHidden(1, false);
    QCOMPARE(g.colWidth(1), TwipsToPixels(1500, dpi));
    QCOMPARE(g.fixedRowsView()->columnWidth(1), g.colWidth(1));
}

void TstGrid::autoSizeFitsWidestText()
{
    FlexGrid g;
    g.setCols(4);
    g.setRows(2);
    g.setFixedRows(2);
    g.setTextMatrix(0, 0, u"回场时间回场时间"_s); // long caption, own column
    g.setTextMatrix(0, 1, u"旅客人数旅客人数旅客人数"_s); // shared by columns 1 and 2
    g.setTextMatrix(0, 2, u"旅客人数旅客人数旅客人数"_s);
    g.setTextMatrix(1, 1, u"售"_s);
    g.setTextMatrix(1, 2, u"检"_s);
    g.mergeFixedCells();
    g.addRow({u"1"_s, u"30"_s, u"2013年12月17日 18:40"_s});
    g.setColWidth(3, 50);
    g.setColHidden(3, true);
    g.autoSize(0, 3);

    const QFontMetrics fm(g.font());
    QVERIFY(g.colWidth(0) > fm.horizontalAdvance(u"回场时间回场时间"_s));
    // The shared caption does not widen its columns; their own texts do.
    QVERIFY(g.colWidth(1) < fm.horizontalAdvance(u"旅客人数旅客人数"_s));
    QVERIFY(g.colWidth(2) > fm.horizontalAdvance(u"2013年12月17日 18:40"_s));
    QVERIFY(g.isColHidden(3));
    QCOMPARE(g.colWidth(3), 50);
}

void TstGrid::fixedCellsAreNotSelectable()
{
    FlexGrid g;
    g.setCols(3);
    g.setRows(3);
    g.setFixedRows(1);
    g.setFixedCols(1);
    g.setTextMatrix(0, 1, u"H"_s);
    g.setTextMatrix(2, 0, u"1"_s);
    g.setTextMatrix(2, 2, u"x"_s);
    QVERIFY(!(g.item(0, 1)->flags() & Qt::ItemIsSelectable));
    QVERIFY(!(g.item(2, 0)->flags() & Qt::ItemIsSelectable));
    QVERIFY(g.item(2, 2)->flags() & Qt::ItemIsSelectable);
    QVERIFY(!(g.item(2, 2)->flags() & Qt::ItemIsEditable));
    // Lowering the fixed columns turns the former fixed cells into data cells.
    g.setFixedCols(0);
    QVERIFY(g.item(2, 0)->flags() & Qt::ItemIsSelectable);
    QCOMPARE(g.cellBackColor(2, 0), g.palette().color(QPalette::Base));
}

void TstGrid::cellOutsideGridThrows()
{
    FlexGrid g;
    g.setCols(2);
    g.setRows(2);
    QCOMPARE(g.textMatrix(5, 5), QString());
    QVERIFY_THROWS_EXCEPTION(AppError, g.setTextMatrix(2, 0, u"x"_s));
    QVERIFY_THROWS_EXCEPTION(AppError, g.setCellForeColor(0, -1, Qt::red));
    QVERIFY_THROWS_EXCEPTION(AppError, g.setFixedRows(3));
}

void TstGrid::acceptedKeyIsNotHandledByGrid()
{
    FlexGrid g;
    g.setCols(2);
    g.setRows(5);
    g.setFixedRows(1);
    g.setCurrent(1, 1);
    bool consume = true;
    connect(&g, &FlexGrid::keyPressed, &g, [&consume](QKeyEvent *e) {
        if (consume && e->key() == Qt::Key_Down)
            e->accept();
    });
    QTest::keyClick(&g, Qt::Key_Down);
    QCOMPARE(g.row(), 1);
    consume = false;
    QTest::keyClick(&g, Qt::Key_Down);
    QCOMPARE(g.row(), 2);
}

void TstGrid::modelStaysConsistent()
{
    FlexGrid g;
    QAbstractItemModelTester tester(g.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    buildGateHeader(g);
    for (int i = 0; i < 20; ++i)
        g.addRow({QString::number(i + 1), u"K%1"_s.arg(i)});
    SetLampCell(&g, 3, 8, 1);
    g.setRowData(4, 42);
    g.removeRow(5);
    QCOMPARE(g.rowData(4), QVariant(42));
    ResetGridSize(&g, 1, -1);
    g.setCols(4);
    g.setRows(0);
}

void TstGrid::headerStaysOnTopWhenScrolled()
{
    FlexGrid g;
    g.resize(600, 300);
    buildGateHeader(g);
    for (int i = 0; i < 40; ++i) {
        const int r = g.addRow({QString::number(i + 1), u"K%1"_s.arg(100 + i), u"07:%1"_s.arg(i, 2, 10, QChar(u'0')),
                                u"广州"_s, u"粤A%1"_s.arg(10000 + i), u"1234567890"_s, u"大型"_s, u"45"_s});
        for (int c = 8; c <= 10; ++c)
            SetLampCell(&g, r, c, (i + c) % 6);
        g.setTextMatrix(r, 12, u"30"_s);
        g.setTextMatrix(r, 13, u"28"_s);
        SetLampCell(&g, r, 15, i % 3 == 0 ? 4 : 0);
    }
    g.autoSize(0, 15);
    g.setCurrent(3, 1);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));

    const QTableView *head = g.fixedRowsView();
    QVERIFY(head->isVisible());
    QCOMPARE(head->height(), head->rowHeight(0) + head->rowHeight(1));
    QCOMPARE(g.viewport()->geometry().top(), head->geometry().bottom() + 1);
    // The merged caption is as wide as its two columns.
    QCOMPARE(g.mergedSpan(0, 12), QSize(2, 1));
    // A taller header row moves the data down with it.
    g.setRowHeightPixels(0, 40);
    QCOMPARE(head->height(), 40 + head->rowHeight(1));
    QCOMPARE(g.viewport()->geometry().top(), head->geometry().bottom() + 1);

    if (const QString dir = qEnvironmentVariable("CG_RENDER_DIR"); !dir.isEmpty())
        g.grab().save(QDir(dir).filePath(u"flexgrid-top.png"_s));

    g.verticalScrollBar()->setValue(10);
    g.horizontalScrollBar()->setValue(120);
    QCoreApplication::processEvents();
    QCOMPARE(head->verticalScrollBar()->value(), 0);
    QCOMPARE(head->horizontalScrollBar()->value(), 120);
    QCOMPARE(g.rowAt(0) > 2, true); // data rows scrolled under the header
    QCOMPARE(head->rowAt(0), 0);

    if (const QString dir = qEnvironmentVariable("CG_RENDER_DIR"); !dir.isEmpty())
        g.grab().save(QDir(dir).filePath(u"flexgrid-scrolled.png"_s));
}

// A list filled inside a BulkFill: every cell reads back as written, rows
// added meanwhile are announced at once (the view can show them), cell and
// row data changes reach nobody until the outermost fill ends, and then the
// views hear of all cells (and the header of all rows) in one signal; edits
// after it are heard again.
void TstGrid::bulkFillTellsTheViewOnceAtTheEnd()
{
    FlexGrid g;
    g.setCols(4);
    g.setRows(1);
    g.setFixedRows(1);
    QSignalSpy changed(&g, &QTableWidget::itemChanged);
    QSignalSpy data(g.model(), &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(g.model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy header(g.model(), &QAbstractItemModel::headerDataChanged);
    {
        const FlexGrid::BulkFill outer(&g);
        {
            const FlexGrid::BulkFill inner(&g);
            for (int i = 0; i < 3; ++i) {
                const int r = g.addRow({u"A%1"_s.arg(i)});
                g.setTextMatrix(r, 1, u"粤A%1"_s.arg(i));
                SetLampCell(&g, r, 2, i);
                g.setRowData(r, QVariantMap{{u"lamp"_s, i}});
            }
        }
        QCOMPARE(data.count(), 0); // the inner end is not the end
        QCOMPARE(header.count(), 0);
        QCOMPARE(inserted.count(), 3);
    }
    QCOMPARE(changed.count(), 0);
    QCOMPARE(data.count(), 1);
    QCOMPARE(header.count(), 1);
    QCOMPARE(g.rowData(2).toMap().value(u"lamp"_s).toInt(), 1);
    const QModelIndex first = data.at(0).at(0).toModelIndex();
    const QModelIndex last = data.at(0).at(1).toModelIndex();
    QCOMPARE(first.row(), 0);
    QCOMPARE(last.row(), 3);
    QCOMPARE(last.column(), 3);
    QCOMPARE(g.textMatrix(3, 0), u"A2"_s);
    QCOMPARE(g.textMatrix(2, 1), u"粤A1"_s);
    QCOMPARE(g.cellForeColor(1, 2), LampYellow);
    QCOMPARE(g.cellForeColor(2, 2), LampGreen);
    g.setTextMatrix(1, 1, u"edit"_s);
    QCOMPARE(changed.count(), 1);
}

QTEST_MAIN(TstGrid)
#include "tst_grid.moc"
