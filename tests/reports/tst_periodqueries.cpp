// 驾驶员报班信息查询 and 强制信息查询 driven by their control names: the
// month as default range, the rows and texts of the known station, the
// status line, failures, and the grid's export read back.

#include "widgets/listexport.h"
#include "reportsfixture.h"

#include "reports/periodquery.h"
#include "widgets/grid.h"

#include <QDateEdit>
#include <QDir>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;
using cg::test::reportDay;

namespace {

QList<QStringList> gridRows(const FlexGrid *grid)
{
    QList<QStringList> rows;
    for (int r = 0; r < grid->rows(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid->cols(); ++c)
            cells << grid->textMatrix(r, c);
        rows << cells;
    }
    return rows;
}

void addCheckIns(Database &db)
{
    const auto checkIn = [&](int day, const QString &bus, const QString &driver, const QString &name,
                             const QDateTime &at, int valid) {
        db.exec(u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, driver_report_time, "
                u"is_driver) VALUES ('440100001', ?, ?, ?, ?, ?, ?)"_s,
                {reportDay(day), bus, driver, name, at, valid});
    };
    checkIn(-2, u"K101"_s, u"D01"_s, u"张三"_s, reportDay(-2, 14, 5), 1);
    checkIn(-1, u"K104"_s, u"D02"_s, u"李四"_s, reportDay(-1, 7, 0, 9), 0);
    checkIn(15, u"K201"_s, u"D01"_s, u"张三"_s, reportDay(15, 6), 1); // April: outside the month
}

} // namespace

class TstPeriodQueries : public QObject {
    Q_OBJECT
private slots:
    void loadShowsTheMonthAndHeadings_data();
    void loadShowsTheMonthAndHeadings();
    void checkInRows();
    void rangeWithoutRecords_data();
    void rangeWithoutRecords();
    void failedQueryIsReported();
    void forcedReleaseRows();
    void passTypeTexts_data();
    void passTypeTexts();
    void exportedWorkbook();
    void cancelledExportWritesAndOpensNothing();
};

void TstPeriodQueries::loadShowsTheMonthAndHeadings_data()
{
    QTest::addColumn<bool>("forced");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("headings");
    QTest::newRow("frmDriverBus") << false << u"驾驶员报班信息查询"_s
                                  << QStringList{u"序"_s, u"车次日期"_s, u"车次代码"_s, u"驾驶员姓名"_s, u"报班时间"_s,
                                                 u"是否已失效"_s};
    QTest::newRow("frmBusForeInfo") << true << u"强制信息查询"_s
                                    << QStringList{u"序"_s, u"车次日期"_s, u"车次代码"_s, u"车牌号"_s, u"放行类型"_s,
                                                   u"操作者"_s, u"操作时间"_s, u"原因"_s};
}

void TstPeriodQueries::loadShowsTheMonthAndHeadings()
{
    QFETCH(bool, forced);
    QFETCH(QString, caption);
    QFETCH(QStringList, headings);
    test::ReportStation st;
    st.clock.set(QDateTime(QDate(2024, 2, 10), QTime(23, 30)));
    std::unique_ptr<PeriodQuery> form;
    if (forced)
        form = std::make_unique<frmBusForeInfo>(st.env, st.station);
    else
        form = std::make_unique<frmDriverBus>(st.env, st.station);
    QCOMPARE(form->windowTitle(), caption);
    auto *grid = form->findChild<FlexGrid *>(u"vsList"_s);
    QVERIFY(grid);
    QCOMPARE(gridRows(grid), QList<QStringList>{headings});
    QCOMPARE(grid->fixedRows(), 1);
    QCOMPARE(grid->cellAlignment(0, 1) & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    // A leap-year February.
    QCOMPARE(form->findChild<QDateEdit *>(u"dtpStartDate"_s)->date(), QDate(2024, 2, 1));
    QCOMPARE(form->findChild<QDateEdit *>(u"dtpEndDate"_s)->date(), QDate(2024, 2, 29));
    QVERIFY(st.status.calls.isEmpty()); // nothing is queried at load
    QVERIFY(form->findChild<QWidget *>(u"ptTop"_s));
    QVERIFY(form->findChild<QWidget *>(u"fraMenu"_s));
    QVERIFY(form->findChild<QWidget *>(u"ptMain"_s));
}

// Cancelled check-ins are listed as lapsed; times on the 24-hour clock.
void TstPeriodQueries::checkInRows()
{
    test::ReportStation st;
    addCheckIns(st.db);
    frmDriverBus form(st.env, st.station);
    QTest::mouseClick(form.findChild<QPushButton *>(u"cmdQuery"_s), Qt::LeftButton);
    const QList<QStringList> want{
        {u"序"_s, u"车次日期"_s, u"车次代码"_s, u"驾驶员姓名"_s, u"报班时间"_s, u"是否已失效"_s},
        {u"1"_s, u"2026-03-16"_s, u"K101"_s, u"张三"_s, u"2026年03月16日 14:05:00"_s, u"否"_s},
        {u"2"_s, u"2026-03-17"_s, u"K104"_s, u"李四"_s, u"2026年03月17日 07:00:09"_s, u"是"_s},
    };
    QCOMPARE(gridRows(form.findChild<FlexGrid *>(u"vsList"_s)), want);
    const QList<QPair<QString, int>> calls{
        {u"正在查询相关报班信息，请稍等..."_s, 1}, {QString(), 1}, {u"查询完毕,共2条记录"_s, 2}};
    QCOMPARE(st.status.calls, calls);
    QVERIFY(st.messages.boxes.isEmpty());

    // A second query replaces the rows.
    QTest::mouseClick(form.findChild<QPushButton *>(u"cmdQuery"_s), Qt::LeftButton);
    QCOMPARE(form.findChild<FlexGrid *>(u"vsList"_s)->rows(), 3);
}

void TstPeriodQueries::rangeWithoutRecords_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::newRow("no check-in in February") << QDate(2026, 2, 1) << QDate(2026, 2, 28);
    QTest::newRow("start after end, sent unchanged") << QDate(2026, 3, 31) << QDate(2026, 3, 1);
}

void TstPeriodQueries::rangeWithoutRecords()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    test::ReportStation st;
    addCheckIns(st.db);
    frmDriverBus form(st.env, st.station);
    test::child<QDateEdit>(&form, u"dtpStartDate"_s)->setDate(from);
    test::child<QDateEdit>(&form, u"dtpEndDate"_s)->setDate(to);
    test::child<QPushButton>(&form, u"cmdQuery"_s)->click();
    QCOMPARE(test::child<FlexGrid>(&form, u"vsList"_s)->rows(), 1);
    QCOMPARE(st.status.panels[1], u"查询完毕,共0条记录"_s);
    QVERIFY(st.messages.boxes.isEmpty());
}

void TstPeriodQueries::failedQueryIsReported()
{
    test::ReportStation st;
    frmBusForeInfo form(st.env, st.station);
    test::child<QPushButton>(&form, u"cmdQuery"_s)->click();
    QCOMPARE(test::child<FlexGrid>(&form, u"vsList"_s)->rows(), 4);
    st.db.exec(u"DROP TABLE forced_releases"_s);
    st.status.calls.clear();
    test::child<QPushButton>(&form, u"cmdQuery"_s)->click();
    QCOMPARE(st.status.panels[0], u"查询错误,请检查后继续"_s);
    QCOMPARE(st.messages.boxes.size(), 1);
    QVERIFY(st.messages.lastTitle().startsWith(u"错误-"_s));
    QCOMPARE(test::child<FlexGrid>(&form, u"vsList"_s)->rows(), 4); // what was there stays
}

// Every kind of forced pass is listed with its type; the plate comes from
// the vehicle, or from the trip when the pass recorded no vehicle.
void TstPeriodQueries::forcedReleaseRows()
{
    test::ReportStation st;
    frmBusForeInfo form(st.env, st.station);
    test::child<QPushButton>(&form, u"cmdQuery"_s)->click();
    const QList<QStringList> want{
        {u"序"_s, u"车次日期"_s, u"车次代码"_s, u"车牌号"_s, u"放行类型"_s, u"操作者"_s, u"操作时间"_s, u"原因"_s},
        {u"1"_s, u"2026-03-16"_s, u"K101"_s, u"粤A00001"_s, u"车容门检"_s, u"王刚"_s, u"2026年03月16日 09:30:00"_s,
         u"车身污损已清理"_s},
        {u"2"_s, u"2026-03-17"_s, u"K104"_s, u"粤A00001"_s, u"车容车况"_s, u"王刚"_s, u"2026年03月17日 23:59:59"_s,
         u"复检合格"_s},
        {u"3"_s, u"2026-03-17"_s, u"K104"_s, u"粤A00002"_s, u"驾驶员"_s, u"王刚"_s, u"2026年03月18日 00:00:00"_s,
         u"指纹仪故障"_s},
    };
    QCOMPARE(gridRows(test::child<FlexGrid>(&form, u"vsList"_s)), want);
    QCOMPARE(st.status.calls.first().first, u"正在查询相关车次，请稍等..."_s);
    QCOMPARE(st.status.panels[1], u"查询完毕,共3条记录"_s);
}

void TstPeriodQueries::passTypeTexts_data()
{
    QTest::addColumn<QVariant>("type");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 appearance") << QVariant(1) << u"车容门检"_s;
    QTest::newRow("2 condition") << QVariant(2) << u"车容车况"_s;
    QTest::newRow("3 driver") << QVariant(3) << u"驾驶员"_s;
    QTest::newRow("0") << QVariant(0) << QString();
    QTest::newRow("4") << QVariant(4) << QString();
    QTest::newRow("empty") << QVariant() << QString();
    QTest::newRow("text") << QVariant(u"x"_s) << QString();
}

void TstPeriodQueries::passTypeTexts()
{
    QFETCH(QVariant, type);
    QFETCH(QString, text);
    QCOMPARE(frmBusForeInfo::passTypeText(type), text);
}

// Running numbers are number cells; dates, codes and plates stay text.
void TstPeriodQueries::exportedWorkbook()
{
    test::ReportStation st;
    frmBusForeInfo form(st.env, st.station);
    test::child<QPushButton>(&form, u"cmdQuery"_s)->click();
    const QString path = st.dir.filePath(u"强制.xlsx"_s);
    st.files.answers = {path};
    IListReport &report = *ListReportOf(&form);
    QVERIFY(!report.CanPrint()); // export only: the File menu disables its print entries
    report.ExportFileOpen();
    QCOMPARE(st.shell.opened, QStringList{path});
    const test::WorkbookCells cells = test::readWorkbook(path);
    QCOMPARE(cells.text.value(u"A1"_s), u"序"_s);
    QCOMPARE(cells.numbers.value(u"A2"_s), u"1"_s);
    QCOMPARE(cells.numbers.value(u"A4"_s), u"3"_s);
    QCOMPARE(cells.text.value(u"C2"_s), u"K101"_s);
    QCOMPARE(cells.text.value(u"D4"_s), u"粤A00002"_s);
    QCOMPARE(cells.text.value(u"E2"_s), u"车容门检"_s);
    QVERIFY(!cells.numbers.contains(u"B2"_s));
}

void TstPeriodQueries::cancelledExportWritesAndOpensNothing()
{
    test::ReportStation st;
    frmDriverBus form(st.env, st.station);
    test::child<QPushButton>(&form, u"cmdQuery"_s)->click();
    const QStringList before = QDir(st.dir.path()).entryList(QDir::Files);
    ListReportOf(&form)->ExportFile();
    ListReportOf(&form)->ExportFileOpen();
    QCOMPARE(st.files.calls.size(), 2);
    QCOMPARE(st.files.calls[0].title, u"当前表格导出至..."_s);
    QCOMPARE(QDir(st.dir.path()).entryList(QDir::Files), before);
    QVERIFY(st.shell.opened.isEmpty());
    QVERIFY(st.messages.boxes.isEmpty());
}

QTEST_MAIN(TstPeriodQueries)
#include "tst_periodqueries.moc"
