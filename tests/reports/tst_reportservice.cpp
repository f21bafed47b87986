// The forced-release query and the two statistics on both backends, checked
// against the known station of reportsfixture.h.

#include "reportsfixture.h"

#include "core/dates.h"
#include "services/reports/reportservice.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;
using cg::test::reportDay;

namespace {
const QString kCtx = u"[wg][440100001][440100][0]"_s;

QStringList column(const RecordSet &rs, const QString &field)
{
    QStringList out;
    for (int r = 0; r < rs.RecordCount(); ++r) {
        const QVariant v = rs.valueAt(r, field);
        out.append(v.metaType().id() == QMetaType::QDateTime ? v.toDateTime().toString(u"MM-dd"_s) : v.toString());
    }
    return out;
}
} // namespace

class TstReportService : public QObject {
    Q_OBJECT
private slots:
    void conditionStatistics_data();
    void conditionStatistics();
    void conditionRangeAndPlate_data();
    void conditionRangeAndPlate();
    void departureStatistics_data();
    void departureStatistics();
    void dailyFiguresAgreeWithTheReports_data();
    void dailyFiguresAgreeWithTheReports();
    void forcedReleases_data();
    void forcedReleases();
};

void TstReportService::conditionStatistics_data()
{
    test::TestDatabase::addBackendRows();
}

// One row per day and vehicle: undone verdicts and checks without a verdict
// do not count; a forced pass counts on its own; the totals are the sums.
void TstReportService::conditionStatistics()
{
    CG_FRESH_DB(db);
    test::seedReportStation(db);
    ReportService svc(db);
    const RecordSet rs = svc.QueryConditionCheckStatistics(kCtx, reportDay(-2), reportDay(1), QString());
    QCOMPARE(column(rs, u"check_date"_s), (QStringList{u"03-16"_s, u"03-16"_s, u"03-17"_s, u"03-18"_s}));
    QCOMPARE(column(rs, u"license"_s), (QStringList{u"粤A00001"_s, u"粤A00002"_s, u"粤A00001"_s, u"粤A00002"_s}));
    QCOMPARE(column(rs, u"company_name"_s), (QStringList{u"广州汽运"_s, u"广运"_s, u"广州汽运"_s, u"广运"_s}));
    QCOMPARE(column(rs, u"pass_count"_s), (QStringList{u"1"_s, u"1"_s, u"0"_s, u"0"_s}));
    QCOMPARE(column(rs, u"fail_count"_s), (QStringList{u"1"_s, u"0"_s, u"0"_s, u"1"_s}));
    QCOMPARE(column(rs, u"forced_count"_s), (QStringList{u"0"_s, u"0"_s, u"1"_s, u"0"_s}));
    QCOMPARE(column(rs, u"check_count"_s), (QStringList{u"2"_s, u"1"_s, u"1"_s, u"1"_s}));
    QCOMPARE(svc.GetConditionPassTotal(kCtx, reportDay(-2), reportDay(1), QString()), u"2"_s);
    QCOMPARE(svc.GetConditionFailTotal(kCtx, reportDay(-2), reportDay(1), QString()), u"2"_s);
}

void TstReportService::conditionRangeAndPlate_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QStringList>("rows"); // day/plate
    QTest::addColumn<QString>("passed");
    QTest::addColumn<QString>("failed");
    for (const QString &backend : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s %s", qPrintable(backend), name) << backend; };
        // The screen passes one day as [day, day + 1).
        row("same day") << reportDay(-2) << reportDay(-1) << QString()
                        << QStringList{u"03-16 粤A00001"_s, u"03-16 粤A00002"_s} << u"2"_s << u"1"_s;
        row("times of day are ignored") << reportDay(-2, 13) << reportDay(-1, 23, 59) << QString()
                                        << QStringList{u"03-16 粤A00001"_s, u"03-16 粤A00002"_s} << u"2"_s << u"1"_s;
        row("empty plate is every vehicle") << reportDay(-1) << reportDay(1) << u""_s
                                            << QStringList{u"03-17 粤A00001"_s, u"03-18 粤A00002"_s} << u"0"_s << u"1"_s;
        row("plate trimmed") << reportDay(-2) << reportDay(1) << u"  粤A00001 "_s
                             << QStringList{u"03-16 粤A00001"_s, u"03-17 粤A00001"_s} << u"1"_s << u"1"_s;
        row("part of a plate matches nothing") << reportDay(-2) << reportDay(1) << u"粤A0000"_s << QStringList{}
                                               << u"0"_s << u"0"_s;
        row("quotes are only text") << reportDay(-2) << reportDay(1) << u"粤A' OR '1'='1"_s << QStringList{} << u"0"_s
                                    << u"0"_s;
        row("start after end") << reportDay(0) << reportDay(-2) << QString() << QStringList{} << u"0"_s << u"0"_s;
        row("open range") << NoDate() << NoDate() << u"粤A00002"_s
                          << QStringList{u"03-16 粤A00002"_s, u"03-18 粤A00002"_s} << u"1"_s << u"1"_s;
    }
}

void TstReportService::conditionRangeAndPlate()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(QString, plate);
    QFETCH(QStringList, rows);
    QFETCH(QString, passed);
    QFETCH(QString, failed);
    CG_FRESH_DB(db);
    test::seedReportStation(db);
    ReportService svc(db);
    const RecordSet rs = svc.QueryConditionCheckStatistics(kCtx, from, to, plate);
    QStringList got;
    for (int r = 0; r < rs.RecordCount(); ++r)
        got << rs.valueAt(r, u"check_date"_s).toDateTime().toString(u"MM-dd"_s) + u" "_s
                   + rs.valueAt(r, u"license"_s).toString();
    QCOMPARE(got, rows);
    QCOMPARE(svc.GetConditionPassTotal(kCtx, from, to, plate), passed);
    QCOMPARE(svc.GetConditionFailTotal(kCtx, from, to, plate), failed);
}

void TstReportService::departureStatistics_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QStringList>("trips");
    for (const QString &backend : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s %s", qPrintable(backend), name) << backend; };
        // Trip dates are inclusive: the same day is passed twice.
        row("same day") << reportDay(-2) << reportDay(-2) << QString() << QStringList{u"K101"_s};
        row("times of day are ignored") << reportDay(-1, 16) << reportDay(-1, 6) << QString()
                                        << QStringList{u"K104"_s, u"G900-001"_s};
        row("whole period") << reportDay(-2) << reportDay(0) << QString()
                            << QStringList{u"K101"_s, u"K104"_s, u"G900-001"_s, u"K105"_s};
        row("one vehicle, rolling runs too") << reportDay(-2) << reportDay(0) << u" 粤A00001"_s
                                             << QStringList{u"K101"_s, u"G900-001"_s, u"K105"_s};
        row("start after end") << reportDay(0) << reportDay(-2) << QString() << QStringList{};
    }
}

// Only trips let out count: waiting and forbidden ones do not.
void TstReportService::departureStatistics()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(QString, plate);
    QFETCH(QStringList, trips);
    CG_FRESH_DB(db);
    test::seedReportStation(db);
    ReportService svc(db);
    const RecordSet rs = svc.QueryDepartureStatistics(kCtx, from, to, plate);
    QCOMPARE(column(rs, u"bus_id"_s), trips);
    const int rolling = int(column(rs, u"bus_id"_s).indexOf(u"G900-001"_s));
    if (rolling >= 0) {
        QCOMPARE(rs.valueAt(rolling, u"license"_s).toString(), u"粤A00001"_s);
        QCOMPARE(rs.valueAt(rolling, u"check_num"_s).toInt(), 12);
        QVERIFY(!rs.valueAt(rolling, u"sale_num"_s).isValid()); // rolling runs sell no tickets here
    }
    if (trips.value(0) == u"K101"_s) {
        QCOMPARE(rs.valueAt(0, u"total_seat"_s).toInt(), 45);
        QCOMPARE(rs.valueAt(0, u"sale_num"_s).toInt(), 30);
        QCOMPARE(rs.valueAt(0, u"check_num"_s).toInt(), 28);
        QCOMPARE(rs.valueAt(0, u"exit_time"_s).toDateTime(), reportDay(-2, 8, 1));
        QCOMPARE(rs.valueAt(0, u"operator_name"_s).toString(), u"王刚"_s);
        QCOMPARE(rs.valueAt(0, u"end_station_name"_s).toString(), u"深圳"_s);
    }
}

void TstReportService::dailyFiguresAgreeWithTheReports_data()
{
    test::TestDatabase::addBackendRows();
}

// The chart's days carry the same figures as the reports, zero days included.
void TstReportService::dailyFiguresAgreeWithTheReports()
{
    CG_FRESH_DB(db);
    test::seedReportStation(db);
    ReportService svc(db);
    const QDate first = reportDay(-3).date();
    const RecordSet daily = svc.QueryDailyStatistics(kCtx, first, reportDay(0).date(), QString());
    QCOMPARE(column(daily, u"stat_date"_s), (QStringList{u"03-15"_s, u"03-16"_s, u"03-17"_s, u"03-18"_s}));
    QCOMPARE(column(daily, u"pass_count"_s), (QStringList{u"0"_s, u"2"_s, u"0"_s, u"0"_s}));
    QCOMPARE(column(daily, u"fail_count"_s), (QStringList{u"0"_s, u"1"_s, u"0"_s, u"1"_s}));
    QCOMPARE(column(daily, u"forced_count"_s), (QStringList{u"0"_s, u"0"_s, u"1"_s, u"0"_s}));
    QCOMPARE(column(daily, u"departure_count"_s), (QStringList{u"0"_s, u"1"_s, u"2"_s, u"1"_s}));

    const RecordSet one = svc.QueryDailyStatistics(kCtx, first, reportDay(0).date(), u"粤A00002"_s);
    QCOMPARE(column(one, u"pass_count"_s), (QStringList{u"0"_s, u"1"_s, u"0"_s, u"0"_s}));
    QCOMPARE(column(one, u"departure_count"_s), (QStringList{u"0"_s, u"0"_s, u"1"_s, u"0"_s}));

    QCOMPARE(svc.QueryDailyStatistics(kCtx, reportDay(0).date(), first, QString()).RecordCount(), 0);
    const RecordSet year = svc.QueryDailyStatistics(kCtx, QDate(2020, 1, 1), QDate(2029, 1, 1), QString());
    QCOMPARE(year.RecordCount(), ReportService::MaxChartDays);
}

void TstReportService::forcedReleases_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<QStringList>("rows"); // bus, plate, type
    for (const QString &backend : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s %s", qPrintable(backend), name) << backend; };
        row("last day counts whole") << reportDay(-2) << reportDay(-1)
                                     << QStringList{u"K101 粤A00001 1"_s, u"K104 粤A00001 2"_s};
        row("same day, time ignored") << reportDay(0, 12) << reportDay(0, 8) << QStringList{u"K104 粤A00002 3"_s};
        row("start after end") << reportDay(0) << reportDay(-2) << QStringList{};
    }
}

void TstReportService::forcedReleases()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(QStringList, rows);
    CG_FRESH_DB(db);
    test::seedReportStation(db);
    ReportService svc(db);
    int reserved = 0;
    const RecordSet rs = svc.QueryForcedReleases(kCtx, from, to, QVariant(), reserved);
    QStringList got;
    for (int r = 0; r < rs.RecordCount(); ++r)
        got << rs.valueAt(r, u"bus_id"_s).toString() + u" "_s + rs.valueAt(r, u"license_id"_s).toString() + u" "_s
                   + rs.valueAt(r, u"pass_type"_s).toString();
    QCOMPARE(got, rows);
    for (int r = 0; r < rs.RecordCount(); ++r) {
        QCOMPARE(rs.valueAt(r, u"operator"_s).toString(), u"王刚"_s);
        if (rs.valueAt(r, u"pass_type"_s).toInt() == 3) {
            QCOMPARE(rs.valueAt(r, u"driver_name"_s).toString(), u"张三"_s);
            QCOMPARE(rs.valueAt(r, u"cause"_s).toString(), u"指纹仪故障"_s);
            QCOMPARE(rs.valueAt(r, u"operate_time"_s).toDateTime(), reportDay(0));
        }
    }
}

QTEST_MAIN(TstReportService)
#include "tst_reportservice.moc"
