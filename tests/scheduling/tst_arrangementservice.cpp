// The arrangement operations: saving (replace or add, the overlap and
// period rules, modifying one arrangement by its original key), deleting,
// substituting, and what a substitution does to who may drive a trip. Each
// data row runs on a fresh SQLite file or PostgreSQL database seeded with the
// check-in station (V1 arranged to D01 from five days ago to five days on).

#include "../driver_check/tst_checkinservice_fixture.h"
#include "../services/dbtestenv.h"
#include "support/fixturetime.h"

#include "core/dates.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/scheduling/arrangementservice.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;
using cg::test::kCheckinCtx;

namespace {

QDateTime day(int offset)
{
    return QDateTime(test::fixtureDay().addDays(offset), QTime(0, 0));
}

// Rows "vehicle,first day,last day" (days from the fixture day).
RecordSet rowsOf(const QString &driver, const QStringList &periods)
{
    RecordSet rs = CloneRecordsetShape(ArrangementService::GetArrangementTemplate());
    for (const QString &p : periods) {
        const QStringList parts = p.split(u',');
        const QString vehicle = parts.at(0);
        const int from = parts.at(1).toInt();
        const int to = parts.at(2).toInt();
        rs.appendRow();
        rs.setValue(u"license_id"_s, vehicle);
        rs.setValue(u"driver_id"_s, driver);
        rs.setValue(u"driver_name"_s, u"whoever"_s);
        rs.setValue(u"start_date"_s, day(from));
        rs.setValue(u"end_date"_s, day(to));
        rs.setValue(u"Memo"_s, u"  早班  "_s);
    }
    return rs;
}

// vehicle:driver:start..end of every arrangement, in key order.
QStringList arrangements(Database &db)
{
    const RecordSet rs = db.select(
        u"SELECT license_id, driver_id, start_date, end_date, memo FROM arrangements "
        u"ORDER BY license_id, driver_id, start_date"_s,
        {},
        {{u"license_id"_s, FieldType::Text, 0}, {u"driver_id"_s, FieldType::Text, 0},
         {u"start_date"_s, FieldType::DateTime, 0}, {u"end_date"_s, FieldType::DateTime, 0},
         {u"memo"_s, FieldType::Text, 0}});
    QStringList out;
    const QDate base = test::fixtureDay();
    for (int r = 0; r < rs.RecordCount(); ++r)
        out << u"%1:%2:%3..%4"_s.arg(rs.valueAt(r, u"license_id"_s).toString(), rs.valueAt(r, u"driver_id"_s).toString())
                   .arg(base.daysTo(rs.valueAt(r, u"start_date"_s).toDateTime().date()))
                   .arg(base.daysTo(rs.valueAt(r, u"end_date"_s).toDateTime().date()));
    return out;
}

} // namespace

class TstArrangementService : public QObject {
    Q_OBJECT
private slots:
    void saveRules_data();
    void saveRules();
    void modifyReplacesExactlyThatArrangement_data() { test::TestDatabase::addBackendRows(); }
    void modifyReplacesExactlyThatArrangement();
    void deleteByDay_data() { test::TestDatabase::addBackendRows(); }
    void deleteByDay();
    void substitutionRules_data();
    void substitutionRules();
    void substituteTakesTheTripsForItsDays_data() { test::TestDatabase::addBackendRows(); }
    void substituteTakesTheTripsForItsDays();
    void substituteLosesTheDaysAShortenedArrangementGaveUp_data() { test::TestDatabase::addBackendRows(); }
    void substituteLosesTheDaysAShortenedArrangementGaveUp();
};

void TstArrangementService::saveRules_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("refusal"); // "" = saved
    QTest::addColumn<QStringList>("after");
    using P = QStringList;
    const QString v1d01 = u"V1:D01:-5..5"_s;
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s/%s", qPrintable(b), name) << b;
        };
        row("another vehicle added, V1 untouched")
            << u"D01"_s << P{u"V2,0,30"_s} << QString() << QStringList{v1d01, u"V2:D01:0..30"_s};
        row("same vehicle and start day: replaced")
            << u"D01"_s << P{u"V1,-5,9"_s} << QString() << QStringList{u"V1:D01:-5..9"_s};
        row("same vehicle, after the last one: added")
            << u"D01"_s << P{u"V1,6,9"_s} << QString() << QStringList{v1d01, u"V1:D01:6..9"_s};
        row("a one-day arrangement") << u"D02"_s << P{u"V1,0,0"_s} << QString()
                                     << QStringList{v1d01, u"V1:D02:0..0"_s};
        row("three vehicles at once") << u"D03"_s << P{u"V1,0,3"_s, u"V2,0,3"_s, u"V1,4,5"_s} << QString()
                                      << QStringList{v1d01, u"V1:D03:0..3"_s, u"V1:D03:4..5"_s, u"V2:D03:0..3"_s};
        row("end before start") << u"D01"_s << P{u"V2,3,2"_s} << u"早于"_s << QStringList{v1d01};
        row("overlaps the driver's V1 arrangement") << u"D01"_s << P{u"V1,5,9"_s} << u"重叠"_s
                                                    << QStringList{v1d01};
        row("two rows overlap each other") << u"D02"_s << P{u"V2,0,3"_s, u"V2,3,4"_s} << u"重叠"_s
                                           << QStringList{v1d01};
        row("one bad row: nothing saved") << u"D02"_s << P{u"V2,0,3"_s, u"V9,0,3"_s} << u"V9"_s
                                          << QStringList{v1d01};
        row("unknown driver") << u"D99"_s << P{u"V2,0,3"_s} << u"D99"_s << QStringList{v1d01};
        row("an empty set") << u"D01"_s << P{} << u"没有"_s << QStringList{v1d01};
    }
}

void TstArrangementService::saveRules()
{
    CG_FRESH_DB(db);
    QFETCH(QString, driver);
    QFETCH(QStringList, rows);
    QFETCH(QString, refusal);
    QFETCH(QStringList, after);
    test::seedCheckinStation(db);
    ArrangementService s(db);
    QString why;
    const bool saved = s.SaveArrangements(kCheckinCtx, driver, rowsOf(driver, rows), &why);
    QCOMPARE(saved, refusal.isEmpty());
    QVERIFY2(why.contains(refusal), qPrintable(why));
    QCOMPARE(arrangements(db), after);
    if (saved && driver != u"D99"_s) {
        // The remark is trimmed, the name is the driver's own.
        QCOMPARE(db.scalar(u"SELECT memo FROM arrangements WHERE driver_id = ? AND start_date = ?"_s,
                           {driver, day(rows.first().section(u',', 1, 1).toInt())})
                     .toString(),
                 u"早班"_s);
    }
}

void TstArrangementService::modifyReplacesExactlyThatArrangement()
{
    CG_FRESH_DB(db);
    test::seedCheckinStation(db);
    ArrangementService s(db);
    QVERIFY(s.SaveArrangements(kCheckinCtx, u"D01"_s, rowsOf(u"D01"_s, {u"V1,6,9"_s})));
    // D01's V1 arrangement from -5 moves to start at -3; its substitution
    // (D02, days 1-2) follows it, the later arrangement stays.
    QString why;
    QVERIFY2(s.SaveArrangements(kCheckinCtx, u"D01"_s, rowsOf(u"D01"_s, {u"V1,-3,5"_s}), &why, day(-5)),
             qPrintable(why));
    QCOMPARE(arrangements(db), (QStringList{u"V1:D01:-3..5"_s, u"V1:D01:6..9"_s}));
    QCOMPARE(db.scalar(u"SELECT arrangement_start FROM substitutions WHERE substitute_id = 'D02'"_s).toDateTime(),
             day(-3));
    // Moving it onto the later one is an overlap.
    QVERIFY(!s.SaveArrangements(kCheckinCtx, u"D01"_s, rowsOf(u"D01"_s, {u"V1,-3,7"_s}), &why, day(-3)));
    QVERIFY2(why.contains(u"重叠"_s), qPrintable(why));
    // The original is gone meanwhile (deleted on another desk): refused.
    QVERIFY(!s.SaveArrangements(kCheckinCtx, u"D01"_s, rowsOf(u"D01"_s, {u"V1,-4,5"_s}), &why, day(-5)));
    QVERIFY2(why.contains(u"不存在"_s), qPrintable(why));
    QCOMPARE(arrangements(db), (QStringList{u"V1:D01:-3..5"_s, u"V1:D01:6..9"_s}));
}

void TstArrangementService::deleteByDay()
{
    CG_FRESH_DB(db);
    test::seedCheckinStation(db);
    ArrangementService s(db);
    QString why;
    QVERIFY(!s.DeleteArrangement(kCheckinCtx, u"V1"_s, u"D01"_s, day(-4), &why));
    QVERIFY2(why.contains(u"不存在"_s), qPrintable(why));
    // The start day counts, whatever the time of day handed over.
    QVERIFY(s.DeleteArrangement(kCheckinCtx, u"V1"_s, u"D01"_s, day(-5).addSecs(15 * 3600), &why));
    QCOMPARE(arrangements(db), QStringList());
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM substitutions"_s).toInt(), 0);
}

void TstArrangementService::substitutionRules_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("substitute");
    QTest::addColumn<int>("arrangementStart");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("refusal");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s/%s", qPrintable(b), name) << b;
        };
        row("D03 today") << u"D03"_s << -5 << 0 << 0 << QString();
        row("the arrangement's first and last days") << u"D03"_s << -5 << -5 << -4 << QString();
        row("up to the last day") << u"D03"_s << -5 << 3 << 5 << QString();
        row("the arranged driver himself") << u"D01"_s << -5 << 0 << 0 << u"本人"_s;
        row("end before start") << u"D03"_s << -5 << 0 << -1 << u"早于"_s;
        row("past the arrangement's end") << u"D03"_s << -5 << 4 << 6 << u"之内"_s;
        row("before its start") << u"D03"_s << -5 << -6 << -5 << u"之内"_s;
        row("overlaps D02's days 1-2") << u"D03"_s << -5 << 2 << 3 << u"重叠"_s;
        row("no arrangement starting that day") << u"D03"_s << -4 << 0 << 0 << u"不存在"_s;
        row("unknown substitute") << u"D77"_s << -5 << 0 << 0 << u"D77"_s;
    }
}

void TstArrangementService::substitutionRules()
{
    CG_FRESH_DB(db);
    QFETCH(QString, substitute);
    QFETCH(int, arrangementStart);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, refusal);
    test::seedCheckinStation(db);
    ArrangementService s(db);
    QString why;
    const bool saved = s.SubstituteDriver(kCheckinCtx, u"D01"_s, u"V1"_s, day(arrangementStart), substitute, day(from),
                                          day(to), QString(), &why);
    QCOMPARE(saved, refusal.isEmpty());
    QVERIFY2(why.contains(refusal), qPrintable(why));
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM substitutions"_s).toInt(), saved ? 2 : 1);
}

void TstArrangementService::substituteTakesTheTripsForItsDays()
{
    CG_FRESH_DB(db);
    test::seedCheckinStation(db);
    ArrangementService s(db);
    CheckService checks(db, test::fixtureClock());
    const QDateTime today = test::checkinToday();
    const auto tripsOf = [&](const QString &driver) {
        QStringList out;
        const RecordSet rs = checks.QueryDriverTrips(kCheckinCtx, driver, u"440101"_s, today, {}, {});
        for (int r = 0; r < rs.RecordCount(); ++r)
            out << rs.valueAt(r, u"bus_id"_s).toString();
        return out;
    };
    const QStringList both{u"K001"_s, u"K002"_s};
    QCOMPARE(tripsOf(u"D01"_s), both);
    QCOMPARE(tripsOf(u"D03"_s), QStringList());
    QVERIFY(s.SubstituteDriver(kCheckinCtx, u"D01"_s, u"V1"_s, day(-5), u"D03"_s, day(0), day(0), QString()));
    QCOMPARE(tripsOf(u"D03"_s), both);
    QCOMPARE(tripsOf(u"D01"_s), QStringList());
    // The substitute checks in for the vehicle's trip; the arranged driver no longer can.
    QCOMPARE(checks.CheckInDriver(kCheckinCtx, u"K001"_s, today, u"D03"_s, today.addSecs(8 * 3600 + 40 * 60),
                                  u"王刚"_s, u"R01"_s),
             QString());
    QVERIFY(!checks.CheckInDriver(kCheckinCtx, u"K002"_s, today, u"D01"_s, today.addSecs(8 * 3600 + 41 * 60),
                                  u"王刚"_s, u"R01"_s)
                 .isEmpty());
}

void TstArrangementService::substituteLosesTheDaysAShortenedArrangementGaveUp()
{
    CG_FRESH_DB(db);
    test::seedCheckinStation(db);
    ArrangementService s(db);
    CheckService checks(db, test::fixtureClock());
    const QDateTime today = test::checkinToday();
    const auto trips = [&](const QString &driver) {
        return checks.QueryDriverTrips(kCheckinCtx, driver, u"440101"_s, today, {}, {}).RecordCount();
    };
    QVERIFY(s.SubstituteDriver(kCheckinCtx, u"D01"_s, u"V1"_s, day(-5), u"D03"_s, day(-1), day(0), QString()));
    QCOMPARE(trips(u"D03"_s), 2);
    // The arrangement now ends yesterday: nobody is arranged to V1 today, so
    // neither its driver nor his substitute gets V1's trips or checks in.
    QString why;
    QVERIFY2(s.SaveArrangements(kCheckinCtx, u"D01"_s, rowsOf(u"D01"_s, {u"V1,-5,-1"_s}), &why, day(-5)),
             qPrintable(why));
    QCOMPARE(trips(u"D03"_s), 0);
    QCOMPARE(trips(u"D01"_s), 0);
    QVERIFY(!checks.CheckInDriver(kCheckinCtx, u"K001"_s, today, u"D03"_s, today.addSecs(8 * 3600 + 40 * 60),
                                  u"王刚"_s, u"R01"_s)
                 .isEmpty());
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM driver_checkins"_s).toInt(), 0);
}

QTEST_GUILESS_MAIN(TstArrangementService)
#include "tst_arrangementservice.moc"
