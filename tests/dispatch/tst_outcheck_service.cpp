// The departure gate's data-service operations on both backends: the
// departing trip, the check summary, allow / forbid with their event, and a
// trip's drivers.
#include "support/fixturetime.h"
#include "tst_outcheck_fixture.h"

#include "core/dates.h"
#include "services/checks/checkservice.h"
#include "services/dbtestenv.h"
#include "services/masterdata/driverservice.h"
#include "services/database/serviceerror.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

QString decide(CheckService &s, const QString &busId, const QString &plate, const QString &card, int status,
               const QString &before = u"30"_s)
{
    return s.SetDepartureStatus(test::kGateCtx, test::gateDay(), busId, plate, u"王门检"_s,
                                FormatDateTime(test::gateNow()), {}, {}, status, card, before, u"440101"_s,
                                busId.isEmpty() ? false : true);
}

// The gate's confirmation of a card or plate: the trip shown, not manual.
QString confirm(CheckService &s, const QString &busId, const QString &plate, const QString &card,
                const QDateTime &day = test::gateDay(), const QDateTime &now = test::gateNow())
{
    return s.SetDepartureStatus(test::kGateCtx, day, busId, plate, u"王门检"_s, FormatDateTime(now), {}, {}, 1,
                                card, u"30"_s, u"440101"_s, false);
}

int outStatus(Database &db, const QString &busId)
{
    return db.scalar(u"SELECT out_status FROM trips WHERE bus_id = ?"_s, {busId}).toInt();
}

QString events(Database &db)
{
    QStringList out;
    const RecordSet rs =
        db.select(u"SELECT event, bus_id, lamp FROM check_events WHERE event = 'SchemeExCheck' ORDER BY id"_s);
    for (int r = 0; r < rs.RecordCount(); ++r)
        out << rs.valueAt(r, u"bus_id"_s).toString() + u":"_s + rs.valueAt(r, u"lamp"_s).toString();
    return out.join(u' ');
}

void addBackendColumn() { QTest::addColumn<QString>("backend"); }

// Vehicles whose trips lie on the edges of the gate's window (BeforeMinute
// 30 around gateNow()), one case per vehicle:
//   粤C00004 E01 leaves exactly 30 minutes ago      粤C00005 E02 exactly 30 minutes ahead
//   粤C00006 E03 let out exactly 30 minutes ago, E04 waiting at +10
//   粤C00007 E05 let out 25 minutes ago, E06 5 minutes ago
//   粤C00008 rolling R09-1 let out two hours ago, R09-2 waiting
//   粤C00009 rolling R08-1 of another unit (440102)
void seedGateEdges(Database &db)
{
    db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id, service_kind) VALUES "
            u"('V4', '粤C00004', '', '正常'), ('V5', '粤C00005', '', '正常'), ('V6', '粤C00006', '', '正常'), "
            u"('V7', '粤C00007', '', '正常'), ('V8', '粤C00008', '', '正常'), ('V9', '粤C00009', '', '正常')"_s);
    const QDateTime now = test::gateNow();
    const auto minutes = [&](int m) { return QVariant(now.addSecs(60LL * m)); };
    const auto trip = [&](const char *id, int start, const char *vid, const char *plate, int out, const QVariant &exit) {
        db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, license_id, "
                u"license_tag_no, scheme_status, driver_verify_status, out_status, exit_time) "
                u"VALUES ('440100001', ?, ?, ?, '440101', ?, ?, 1, 1, ?, ?)"_s,
                {test::gateDay(), QString::fromLatin1(id), now.addSecs(60LL * start), QString::fromLatin1(vid),
                 QString::fromUtf8(plate), out, exit});
    };
    trip("E01", -30, "V4", "粤C00004", 0, {});
    trip("E02", 30, "V5", "粤C00005", 0, {});
    trip("E03", -40, "V6", "粤C00006", 1, minutes(-30));
    trip("E04", 10, "V6", "粤C00006", 0, {});
    trip("E05", -35, "V7", "粤C00007", 1, minutes(-25));
    trip("E06", -10, "V7", "粤C00007", 1, minutes(-5));
    const auto rolling = [&](const char *code, const char *serial, const char *vid, const char *unit, int out,
                             const QVariant &exit) {
        db.exec(u"INSERT INTO rolling_trips (station_code, bus_date, bus_id, bus_serial_no, bus_start_time, unit_code, "
                u"license_id, scheme_status, out_status, exit_time) VALUES ('440100001', ?, ?, ?, ?, ?, ?, 1, ?, ?)"_s,
                {test::gateDay(), QString::fromLatin1(code), QString::fromLatin1(serial), test::gateDay(),
                 QString::fromLatin1(unit), QString::fromLatin1(vid), out, exit});
    };
    rolling("R09", "1", "V8", "440101", 1, minutes(-120));
    rolling("R09", "2", "V8", "440101", 0, {});
    rolling("R08", "1", "V9", "440102", 0, {});
}

} // namespace

class TstOutCheckService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void departingTrip_data();
    void departingTrip();
    void allowRecordsDepartureAndEvent_data();
    void allowRecordsDepartureAndEvent();
    void forbidAnswersTrue_data() { test::TestDatabase::addBackendRows(); }
    void forbidAnswersTrue();
    void refusals_data();
    void refusals();
    void failedEventRecordsNothing_data() { test::TestDatabase::addBackendRows(); }
    void failedEventRecordsNothing();
    void checkText_data() { test::TestDatabase::addBackendRows(); }
    void checkText();
    void tripDrivers_data() { test::TestDatabase::addBackendRows(); }
    void tripDrivers();
    void confirmationRecordsTheTripShown_data() { test::TestDatabase::addBackendRows(); }
    void confirmationRecordsTheTripShown();
    void secondReadShowsTheDeparture_data() { test::TestDatabase::addBackendRows(); }
    void secondReadShowsTheDeparture();
    void forbiddenTripDoesNotLeave_data() { test::TestDatabase::addBackendRows(); }
    void forbiddenTripDoesNotLeave();
    void blockingChecks_data();
    void blockingChecks();
    void rollingRunsLeaveByCardAndPlate_data() { test::TestDatabase::addBackendRows(); }
    void rollingRunsLeaveByCardAndPlate();
    void acrossMidnight_data() { test::TestDatabase::addBackendRows(); }
    void acrossMidnight();
};

void TstOutCheckService::departingTrip_data()
{
    addBackendColumn();
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QString>("card");
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("expected");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *n) -> QTestData & { return QTest::addRow("%s/%s", qPrintable(b), n) << b; };
        // K004 started 20 minutes ago but is already out.
        row("departed trip skipped") << u"粤A10001"_s << u""_s << 30 << u"K001"_s;
        row("by card") << u""_s << u"0000000002"_s << 30 << u"K002"_s;
        // Rolling runs are stored at midnight: matched by their day, in
        // serial order, whatever the window.
        row("rolling trip") << u"粤B20003"_s << u""_s << 30 << u"R01-1"_s;
        row("rolling trip, short window") << u"粤B20003"_s << u""_s << 1 << u"R01-1"_s;
        row("timetable trip in the window before rolling runs") << u"粤B20003"_s << u""_s << 200 << u"K003"_s;
        row("unknown card") << u""_s << u"9999999999"_s << 30 << u""_s;
        row("nothing in the window") << u"粤A10002"_s << u""_s << 2 << u""_s;
        // The window is closed on both ends.
        row("starts exactly BeforeMinute ago") << u"粤C00004"_s << u""_s << 30 << u"E01"_s;
        row("starts a minute before the window") << u"粤C00004"_s << u""_s << 29 << u""_s;
        row("starts exactly BeforeMinute ahead") << u"粤C00005"_s << u""_s << 30 << u"E02"_s;
        row("starts a minute after the window") << u"粤C00005"_s << u""_s << 29 << u""_s;
        row("let out exactly BeforeMinute ago, still shown") << u"粤C00006"_s << u""_s << 30 << u"E03"_s;
        row("let out a minute before the window") << u"粤C00006"_s << u""_s << 29 << u"E04"_s;
        row("the latest of two departures") << u"粤C00007"_s << u""_s << 30 << u"E06"_s;
        row("rolling run let out long ago not offered again") << u"粤C00008"_s << u""_s << 30 << u"R09-2"_s;
        row("another unit's rolling run") << u"粤C00009"_s << u""_s << 30 << u""_s;
    }
}

void TstOutCheckService::departingTrip()
{
    CG_FRESH_DB(db);
    QFETCH(QString, plate);
    QFETCH(QString, card);
    QFETCH(int, before);
    QFETCH(QString, expected);
    test::seedGate(db);
    seedGateEdges(db);
    CheckService s(db, cg::test::fixtureClock());
    const RecordSet rs = s.QueryDepartureTrip(test::kGateCtx, test::gateDay(), QString(), plate, card, before,
                                              u"440101"_s);
    QCOMPARE(rs.RecordCount() > 0 ? rs.valueAt(0, u"bus_id"_s).toString() : QString(), expected);
}

void TstOutCheckService::allowRecordsDepartureAndEvent_data()
{
    addBackendColumn();
    QTest::addColumn<QString>("busId");
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("expected");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *n) -> QTestData & { return QTest::addRow("%s/%s", qPrintable(b), n) << b; };
        row("card") << u""_s << u""_s << u"0000000001"_s << u"K001"_s;
        row("plate") << u""_s << u"粤A10002"_s << u""_s << u"K002"_s;
        row("named timetable trip") << u"K003"_s << u"粤B20003"_s << u""_s << u"K003"_s;
        row("named rolling trip") << u"R01-2"_s << u""_s << u""_s << u"R01-2"_s;
    }
}

void TstOutCheckService::allowRecordsDepartureAndEvent()
{
    CG_FRESH_DB(db);
    QFETCH(QString, busId);
    QFETCH(QString, plate);
    QFETCH(QString, card);
    QFETCH(QString, expected);
    test::seedGate(db);
    CheckService s(db, cg::test::fixtureClock());
    QCOMPARE(decide(s, busId, plate, card, 1), expected);
    QCOMPARE(events(db), expected + u":1"_s);
    const QString stored = expected.section(u'-', 0, 0), serial = expected.section(u'-', 1);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM departures WHERE bus_id = ? AND bus_serial_no = COALESCE(?, '') AND status = 1 "
                       u"AND operator_name = '王门检' AND decided_at = ?"_s,
                       {stored, serial, test::gateNow()})
                 .toInt(),
             1);
    const QString table = serial.isEmpty() ? u"trips"_s : u"rolling_trips"_s;
    QCOMPARE(db.scalar(u"SELECT out_status FROM %1 WHERE bus_id = ? AND exit_time = ?"_s.arg(table),
                       {stored, test::gateNow()})
                 .toInt(),
             1);
    // Swiped again: the trip is out, the vehicle has nothing more to leave on.
    if (busId.isEmpty())
        QVERIFY(decide(s, busId, plate, card, 1).startsWith(u'#'));
}

void TstOutCheckService::forbidAnswersTrue()
{
    CG_FRESH_DB(db);
    test::seedGate(db);
    CheckService s(db, cg::test::fixtureClock());
    QCOMPARE(decide(s, u"K004"_s, u"粤A10001"_s, QString(), 2), u"True"_s);
    QCOMPARE(db.scalar(u"SELECT out_status FROM trips WHERE bus_id = 'K004' AND exit_time IS NULL"_s).toInt(), 2);
    QCOMPARE(events(db), u"K004:2"_s);
}

void TstOutCheckService::refusals_data()
{
    addBackendColumn();
    QTest::addColumn<QString>("busId");
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QString>("card");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("refusal");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *n) -> QTestData & { return QTest::addRow("%s/%s", qPrintable(b), n) << b; };
        row("no such trip") << u"K404"_s << u""_s << u""_s << 1 << u"没有车次 K404"_s;
        row("no such rolling serial") << u"R01-9"_s << u""_s << u""_s << 2 << u"没有车次 R01-9"_s;
        row("unknown card") << u""_s << u""_s << u"9999999999"_s << 1 << u"没有登记的车辆"_s;
        row("nothing departing") << u""_s << u"粤Z00000"_s << u""_s << 1 << u"没有待出站的车次"_s;
    }
}

void TstOutCheckService::refusals()
{
    CG_FRESH_DB(db);
    QFETCH(QString, busId);
    QFETCH(QString, plate);
    QFETCH(QString, card);
    QFETCH(int, status);
    QFETCH(QString, refusal);
    test::seedGate(db);
    CheckService s(db, cg::test::fixtureClock());
    const QString answer = decide(s, busId, plate, card, status);
    QVERIFY2(answer.startsWith(u'#') && answer.contains(refusal), qUtf8Printable(answer));
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM departures"_s).toInt(), 0);
    QCOMPARE(events(db), QString());
    QVERIFY_THROWS_EXCEPTION(ServiceError, decide(s, u"K001"_s, QString(), QString(), 3));
    QVERIFY_THROWS_EXCEPTION(ServiceError, decide(s, QString(), u"粤A10001"_s, QString(), 1, u"半小时"_s));
}

void TstOutCheckService::failedEventRecordsNothing()
{
    CG_FRESH_DB(db);
    test::seedGate(db);
    db.exec(u"DROP TABLE check_events"_s);
    CheckService s(db, cg::test::fixtureClock());
    QVERIFY_THROWS_EXCEPTION(ServiceError, decide(s, QString(), u"粤A10001"_s, QString(), 1));
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM departures"_s).toInt(), 0);
    QCOMPARE(db.scalar(u"SELECT out_status FROM trips WHERE bus_id = 'K001'"_s).toInt(), 0);
}

void TstOutCheckService::checkText()
{
    CG_FRESH_DB(db);
    test::seedGate(db);
    db.exec(u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, driver_report_time) "
            u"VALUES ('440100001', ?, 'K001', 'D01', '张一', ?), ('440100001', ?, 'K001', 'D02', '李二', ?)"_s,
            {test::gateDay(), test::gateNow().addSecs(-600), test::gateDay(), test::gateNow().addSecs(-300)});
    CheckService s(db, cg::test::fixtureClock());
    const QString text =
        s.GetDepartureCheckText(test::kGateCtx, test::gateDay(), QString(), QString(), u"0000000001"_s, 30,
                                u"440101"_s);
    QCOMPARE(text.left(7), u"[出站检查] "_s);
    const QString shown = text.mid(7);
    for (const QString &part : {u"车次：K001"_s, u"车牌号：粤A10001"_s, u"张一、李二"_s, u"路单：已签发"_s,
                                u"售票：30 人  检票：12 人"_s})
        QVERIFY2(shown.contains(part), qUtf8Printable(shown));
    const QString none = s.GetDepartureCheckText(test::kGateCtx, test::gateDay(), QString(), u"粤A10002"_s,
                                                 QString(), 2, u"440101"_s);
    QCOMPARE(none.left(7), u"[出站检查] "_s);
    QVERIFY2(none.contains(u"没有待出站的车次"_s), qUtf8Printable(none));
}

void TstOutCheckService::tripDrivers()
{
    CG_FRESH_DB(db);
    test::seedGate(db);
    db.exec(u"INSERT INTO drivers (driver_id, driver_name, fng_value, fng_value1) VALUES "
            u"('D01', '张一', 'T1A', 'T1B'), ('D02', '李二', 'T2A', NULL), ('D03', '赵三', 'T3A', 'T3B')"_s);
    const QDateTime day = test::gateDay();
    db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) VALUES "
            u"('V1', 'D01', '张一', ?, ?), ('V1', 'D02', '李二', ?, ?)"_s,
            {day.addDays(-5), day.addDays(5), day.addDays(-5), day.addDays(5)});
    db.exec(u"INSERT INTO substitutions (license_id, driver_id, arrangement_start, substitute_id, start_date, "
            u"end_date) VALUES ('V1', 'D01', ?, 'D03', ?, ?)"_s,
            {day.addDays(-5), day, day});
    DriverService drivers(db, cg::test::fixtureClock());
    const auto list = [&](const QString &bus) {
        QStringList out;
        const RecordSet rs = drivers.QueryTripDrivers(test::kGateCtx, u"粤A10001"_s, bus);
        for (int r = 0; r < rs.RecordCount(); ++r)
            out << QStringList{rs.valueAt(r, u"driver_no"_s).toString(), rs.valueAt(r, u"finger_value1"_s).toString(),
                               rs.valueAt(r, u"finger_value2"_s).toString(), rs.valueAt(r, u"finger_value4"_s).toString()}
                       .join(u'/');
        return out;
    };
    // Nobody checked in: arranged drivers, D01 replaced by his substitute today.
    QCOMPARE(list(u"K001"_s), (QStringList{u"D02/T2A//"_s, u"D03/T3A/T3B/"_s}));
    db.exec(u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, driver_report_time) "
            u"VALUES ('440100001', ?, 'K001', 'D01', '张一', ?)"_s,
            {day, test::gateNow()});
    QCOMPARE(list(u"K001"_s), QStringList{u"D01/T1A/T1B/"_s});
}

// Two gates showed K001 for the same vehicle; the second confirms after the
// first. The trip the operator saw is the one recorded, and a departed trip
// is never departed again nor swapped for the vehicle's next one.
void TstOutCheckService::confirmationRecordsTheTripShown()
{
    CG_FRESH_DB(db);
    test::seedGate(db);
    db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, license_id, license_tag_no, "
            u"scheme_status, driver_verify_status) VALUES ('440100001', ?, 'K005', ?, '440101', 'V1', '粤A10001', 1, 1)"_s,
            {test::gateDay(), test::gateNow().addSecs(25 * 60)});
    CheckService s(db, cg::test::fixtureClock());
    QCOMPARE(confirm(s, u"K001"_s, QString(), u"0000000001"_s), u"K001"_s);
    const QString second = confirm(s, u"K001"_s, QString(), u"0000000001"_s);
    QVERIFY2(second.startsWith(u'#') && second.contains(u"已出站"_s), qUtf8Printable(second));
    // Without a code (an older caller) the vehicle's trip at the gate is
    // still the one just departed: nothing more is recorded.
    QVERIFY(confirm(s, QString(), u"粤A10001"_s, QString()).startsWith(u'#'));
    QCOMPARE(outStatus(db, u"K005"_s), 0);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM departures"_s).toInt(), 1);
    QCOMPARE(events(db), u"K001:1"_s);
    // The named trip is recorded even when the vehicle's lookup would now
    // give another one (K005 shown at a gate whose list is older).
    QCOMPARE(confirm(s, u"K005"_s, QString(), u"0000000001"_s), u"K005"_s);
}

void TstOutCheckService::secondReadShowsTheDeparture()
{
    CG_FRESH_DB(db);
    test::seedGate(db);
    db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, license_id, license_tag_no, "
            u"scheme_status, driver_verify_status) VALUES ('440100001', ?, 'K005', ?, '440101', 'V1', '粤A10001', 1, 1)"_s,
            {test::gateDay(), test::gateNow().addSecs(25 * 60)});
    CheckService s(db, cg::test::fixtureClock());
    QCOMPARE(confirm(s, u"K001"_s, QString(), u"0000000001"_s), u"K001"_s);
    const RecordSet trip =
        s.QueryDepartureTrip(test::kGateCtx, test::gateDay(), QString(), QString(), u"0000000001"_s, 30, u"440101"_s);
    QCOMPARE(trip.RecordCount(), 1);
    QCOMPARE(trip.valueAt(0, u"bus_id"_s).toString(), u"K001"_s);
    QCOMPARE(trip.valueAt(0, u"OutStatus"_s).toInt(), 1);
    const QString text = s.GetDepartureCheckText(test::kGateCtx, test::gateDay(), QString(), QString(),
                                                 u"0000000001"_s, 30, u"440101"_s);
    QVERIFY2(text.contains(u"车次：K001"_s) && text.contains(u"出站状况：已出站 10:00"_s), qUtf8Printable(text));
    // Once the departure is older than the window, the next trip is the
    // vehicle's trip at the gate.
    ManualClock later(test::gateNow().addSecs(31 * 60));
    CheckService s2(db, later);
    QCOMPARE(s2.QueryDepartureTrip(test::kGateCtx, test::gateDay(), QString(), u"粤A10001"_s, QString(), 30,
                                   u"440101"_s)
                 .valueAt(0, u"bus_id"_s)
                 .toString(),
             u"K005"_s);
}

void TstOutCheckService::forbiddenTripDoesNotLeave()
{
    CG_FRESH_DB(db);
    test::seedGate(db);
    CheckService s(db, cg::test::fixtureClock());
    QCOMPARE(decide(s, u"K001"_s, u"粤A10001"_s, QString(), 2), u"True"_s);
    const RecordSet trip =
        s.QueryDepartureTrip(test::kGateCtx, test::gateDay(), QString(), u"粤A10001"_s, QString(), 30, u"440101"_s);
    QCOMPARE(trip.valueAt(0, u"bus_id"_s).toString(), u"K001"_s);
    QCOMPARE(trip.valueAt(0, u"OutStatus"_s).toInt(), 2);
    const QString text = s.GetDepartureCheckText(test::kGateCtx, test::gateDay(), QString(), u"粤A10001"_s,
                                                 QString(), 30, u"440101"_s);
    QVERIFY2(text.contains(u"出站状况：禁止发车"_s), qUtf8Printable(text));
    for (const QString &code : {u"K001"_s, QString()}) {
        const QString answer = confirm(s, code, QString(), u"0000000001"_s);
        QVERIFY2(answer.startsWith(u'#') && answer.contains(u"禁止发车"_s), qUtf8Printable(answer));
    }
    QCOMPARE(outStatus(db, u"K001"_s), 2);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM departures WHERE status = 1"_s).toInt(), 0);
    // The operator's own 允许发车 still lets it go.
    QCOMPARE(decide(s, u"K001"_s, u"粤A10001"_s, QString(), 1), u"K001"_s);
    QCOMPARE(outStatus(db, u"K001"_s), 1);
}

void TstOutCheckService::blockingChecks_data()
{
    addBackendColumn();
    QTest::addColumn<int>("condition");   // verdict of a check now, -1 none at all
    QTest::addColumn<int>("scheme");
    QTest::addColumn<int>("forcedKind");  // pass_type of a forced release for the trip, 0 none
    QTest::addColumn<bool>("allowUnchecked");
    QTest::addColumn<QString>("blocks");  // "" departs
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *n) -> QTestData & { return QTest::addRow("%s/%s", qPrintable(b), n) << b; };
        row("all passed") << 1 << 1 << 0 << false << u""_s;
        row("condition failed, no route sheet") << 2 << 0 << 0 << false << u"安全例检没有通过，路单未签发"_s;
        row("condition missing") << -1 << 1 << 0 << false << u"安全例检未检验"_s;
        row("route sheet not issued") << 1 << 0 << 0 << false << u"路单未签发"_s;
        row("forced pass lifts the condition") << 2 << 1 << 2 << false << u""_s;
        row("forced pass leaves the route sheet") << 2 << 0 << 2 << false << u"路单未签发"_s;
        // Only a forced pass of the condition check lifts it: the trip's
        // driver or appearance passed by force is no safety check.
        row("driver's forced pass leaves the condition") << 2 << 1 << 3 << false << u"安全例检没有通过"_s;
        row("appearance forced pass leaves the condition") << -1 << 1 << 1 << false << u"安全例检未检验"_s;
        // The vehicle's latest verdict is a forced pass recorded for
        // another trip: drawn as passed, it does not block this one.
        row("condition drawn as passed") << 5 << 1 << 0 << false << u""_s;
        row("station allows unchecked") << 2 << 0 << 0 << true << u""_s;
    }
}

// Today a vehicle with a red 安全例检 and no route sheet departed after one
// 确定: the confirmation now names what blocks it and nothing is recorded.
void TstOutCheckService::blockingChecks()
{
    CG_FRESH_DB(db);
    QFETCH(int, condition);
    QFETCH(int, scheme);
    QFETCH(int, forcedKind);
    QFETCH(bool, allowUnchecked);
    QFETCH(QString, blocks);
    test::seedGate(db);
    db.exec(u"UPDATE trips SET scheme_status = ? WHERE bus_id = 'K001'"_s, {scheme});
    if (condition < 0)
        db.exec(u"DELETE FROM condition_checks"_s);
    else
        db.exec(u"INSERT INTO condition_checks (station_code, license_id, license, ic_card_id, check_date, cond_index, cond_status, "
                u"cond_time, started_at, cancelled) VALUES ('440100001', 'V1', '粤A10001', '0000000001', ?, 2, ?, ?, ?, 0)"_s,
                {test::gateDay(), condition, test::gateNow().addSecs(-60), test::gateNow().addSecs(-60)});
    if (forcedKind > 0)
        db.exec(u"INSERT INTO forced_releases (station_code, bus_date, bus_id, license_id, pass_type, operator_name, "
                u"operate_time) VALUES ('440100001', ?, 'K001', 'V1', ?, '李调度', ?)"_s,
                {test::gateDay(), forcedKind, test::gateNow()});
    CheckService s(db, cg::test::fixtureClock());
    s.setGateAllowsUnchecked(allowUnchecked);
    const QString text = s.GetDepartureCheckText(test::kGateCtx, test::gateDay(), QString(), QString(),
                                                 u"0000000001"_s, 30, u"440101"_s);
    const QString answer = confirm(s, u"K001"_s, QString(), u"0000000001"_s);
    if (blocks.isEmpty()) {
        QCOMPARE(answer, u"K001"_s);
        QCOMPARE(outStatus(db, u"K001"_s), 1);
        QVERIFY2(!text.contains(u"不能出站"_s), qUtf8Printable(text));
        return;
    }
    QVERIFY2(text.contains(u"不能出站："_s + blocks), qUtf8Printable(text));
    QVERIFY2(answer.startsWith(u'#') && answer.contains(blocks), qUtf8Printable(answer));
    QVERIFY(confirm(s, QString(), u"粤A10001"_s, QString()).startsWith(u'#'));
    QCOMPARE(outStatus(db, u"K001"_s), 0);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM departures"_s).toInt(), 0);
    QCOMPARE(events(db), QString());
    // 允许发车 is the operator's decision over the blocks.
    QCOMPARE(decide(s, u"K001"_s, u"粤A10001"_s, QString(), 1), u"K001"_s);
}

void TstOutCheckService::rollingRunsLeaveByCardAndPlate()
{
    CG_FRESH_DB(db);
    test::seedGate(db);
    db.exec(u"UPDATE vehicles SET ic_card_id = '0000000003' WHERE license_id = 'V3'"_s);
    db.exec(u"UPDATE rolling_trips SET scheme_status = 1"_s);
    // Late in the day: the runs' stored midnight is far outside any window.
    ManualClock evening(QDateTime(test::gateDay().date(), QTime(21, 30)));
    CheckService s(db, evening);
    const QDateTime now = evening.now();
    QCOMPARE(confirm(s, u"R01-1"_s, QString(), u"0000000003"_s, test::gateDay(), now), u"R01-1"_s);
    QCOMPARE(s.QueryDepartureTrip(test::kGateCtx, test::gateDay(), QString(), u"粤B20003"_s, QString(), 30,
                                  u"440101"_s)
                 .valueAt(0, u"OutStatus"_s)
                 .toInt(),
             1);
    // By plate, half an hour later: the next run.
    ManualClock later(now.addSecs(31 * 60));
    CheckService s2(db, later);
    const RecordSet next = s2.QueryDepartureTrip(test::kGateCtx, test::gateDay(), QString(), u"粤B20003"_s,
                                                 QString(), 30, u"440101"_s);
    QCOMPARE(next.valueAt(0, u"bus_id"_s).toString(), u"R01-2"_s);
    QCOMPARE(confirm(s2, QString(), u"粤B20003"_s, QString(), test::gateDay(), later.now()), u"R01-2"_s);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM rolling_trips WHERE out_status = 1"_s).toInt(), 2);
}

// The list of the 18th at ten past midnight on the 19th: the trip of 23:55
// is at the gate, and the lookups use the service's clock, not the machine's.
void TstOutCheckService::acrossMidnight()
{
    CG_FRESH_DB(db);
    const QDateTime evening(test::gateDay().date(), QTime(23, 45));
    test::seedGateAt(db, evening);
    ManualClock night(evening.addSecs(25 * 60));
    QCOMPARE(night.now().date(), test::gateDay().date().addDays(1));
    CheckService s(db, night);
    const RecordSet trip = s.QueryDepartureTrip(test::kGateCtx, test::gateDay(), QString(), QString(),
                                                u"0000000001"_s, 30, u"440101"_s);
    QCOMPARE(trip.valueAt(0, u"bus_id"_s).toString(), u"K001"_s);
    QCOMPARE(confirm(s, u"K001"_s, QString(), u"0000000001"_s, test::gateDay(), night.now()), u"K001"_s);
    // The list of the 19th has no trip of the 18th.
    QCOMPARE(s.QueryDepartureTrip(test::kGateCtx, test::gateDay().addDays(1), QString(), u"粤A10002"_s,
                                  QString(), 30, u"440101"_s)
                 .RecordCount(),
             0);
}

QTEST_MAIN(TstOutCheckService)
#include "tst_outcheck_service.moc"
