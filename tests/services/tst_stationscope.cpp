// Two stations on one database: each station's session sees and changes
// only its own trips, lamps, records, statistics and events, though both
// run the same trip codes on the same day with the same (shared) vehicles
// and drivers. Every row runs on a fresh SQLite file or PostgreSQL database.

#include "support/fixturetime.h"
#include "dbtestenv.h"

#include "core/dates.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/database/schema.h"
#include "services/database/serviceerror.h"
#include "services/masterdata/driverservice.h"
#include "services/masterdata/vehicleservice.h"
#include "services/reports/reportservice.h"
#include "services/scheduling/rollingtripservice.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

const QString kStationA = u"440100001"_s;
const QString kStationB = u"440200001"_s;
const QString kCtxA = u"[wg][440100001][440101][0]"_s;
const QString kCtxB = u"[zh][440200001][440101][0]"_s;
const QString kPlate = u"粤A10001"_s;
const QString kCard = u"0000000001"_s;

QDateTime today() { return QDateTime(test::fixtureDay(), QTime(0, 0)); }
QDateTime at(int h, int m) { return QDateTime(test::fixtureDay(), QTime(h, m)); }

// Shared master data (one vehicle, two drivers arranged to it, a route and a
// gate) and, at each station, timetable trip K001 and rolling run R01-1 of
// today on that vehicle. The stations tell their trips apart by destination.
void seed(Database &db)
{
    db.migrate();
    db.exec(u"INSERT INTO operators (operator_code, operator_name, station_code, unit_code) VALUES "
            u"('wg', '王刚', '440100001', '440101'), ('zh', '周华', '440200001', '440101')"_s);
    db.exec(u"INSERT INTO routes (route_id, route_name) VALUES ('R01', '广州-深圳')"_s);
    db.exec(u"INSERT INTO check_gates (gate_id, gate_name) VALUES ('G01', '一号检票口')"_s);
    db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id, is_cond, service_kind) "
            u"VALUES ('V1', '粤A10001', '0000000001', 1, '正常')"_s);
    db.exec(u"INSERT INTO drivers (driver_id, driver_name, route_id) VALUES ('D01', '张三', 'R01'), "
            u"('D02', '李四', 'R01')"_s);
    db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) VALUES "
            u"('V1', 'D01', '张三', ?, ?), ('V1', 'D02', '李四', ?, ?)"_s,
            {today().addDays(-3), today().addDays(3), today().addDays(-3), today().addDays(3)});
    for (const auto &[station, dest] : {std::pair{kStationA, u"深圳"_s}, std::pair{kStationB, u"珠海"_s}}) {
        db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, "
                u"end_station_name, license_id, license_tag_no, sale_num) VALUES (?, ?, 'K001', ?, '440101', "
                u"'R01', ?, 'V1', '粤A10001', 30)"_s,
                {station, today(), at(10, 10), dest});
        db.exec(u"INSERT INTO rolling_trips (station_code, bus_date, bus_id, bus_serial_no, unit_code, route_id, "
                u"end_station_name, check_gate_id, license_id) VALUES (?, ?, 'R01', '1', '440101', 'R01', ?, "
                u"'G01', 'V1')"_s,
                {station, today(), dest});
    }
}

// The one K001 a station's session lists.
RecordSet dayTrip(CheckService &s, const QString &ctx)
{
    RecordSet rs = s.QueryDayTrips(ctx, today(), u"K001"_s, QString(), QString(), QString(), {}, 1, QString());
    if (rs.RecordCount() != 1)
        throw std::runtime_error("K001 is not listed exactly once");
    rs.MoveFirst();
    return rs;
}

// The lamps of K001 as a station's list shows them.
QString lamps(CheckService &s, const QString &ctx)
{
    const RecordSet rs = dayTrip(s, ctx);
    QStringList out;
    for (const char *f : {"driver_verify_status", "StateStatus", "SchemeStatus", "OutStatus", "ReturnStatus",
                          "AppearanceStatus"})
        out << rs.value(QString::fromLatin1(f)).toString();
    return out.join(u' ');
}

// Everything a station records for K001 and its vehicle in one morning:
// check-in, condition check, appearance check, route sheet, departure by
// card, forced passes, return.
void recordTheMorning(CheckService &s, const QString &ctx)
{
    QCOMPARE(s.CheckInDriver(ctx, u"K001"_s, today(), u"D01"_s, at(9, 30), u"王刚"_s, QString()), QString());
    QCOMPARE(s.StartConditionCheck(ctx, at(9, 35), kCard, kPlate), u"1"_s);
    QCOMPARE(s.AddConditionCheckResult(ctx, kPlate, at(9, 36), true, u"李检"_s, QString()), QString());
    s.AddAppearanceCheckResult(ctx, today(), u"K001"_s, kPlate, at(9, 40), true, u"孙检"_s);
    QVERIFY(s.IssueRouteSheet(ctx, today(), u"K001"_s, kPlate, at(9, 45), 1, u"王刚"_s, u"440101"_s));
    QCOMPARE(s.ForceDriverPass(ctx, u"K001"_s, today(), u"D02"_s, at(9, 50), u"王刚"_s, kPlate, u"指纹磨损"_s, 3),
             QString());
    QCOMPARE(s.SetDepartureStatus(ctx, today(), QString(), QString(), u"王刚"_s, u"2026-03-18 10:00:00"_s, {}, {},
                                  1, kCard, u"30"_s, u"440101"_s, false),
             u"K001"_s);
    QCOMPARE(s.IssueRouteSheet(ctx, today(), u"R01-1"_s, kPlate, at(9, 55), 1, u"王刚"_s, u"440101"_s), true);
    s.RegisterReturnByCard(ctx, at(10, 5), u"赵回"_s, kCard);
}

int count(Database &db, const QString &sql, const QVariantList &binds = {})
{
    return db.scalar(sql, binds).toInt();
}

QList<qint64> ids(Database &db, const QString &table)
{
    QList<qint64> out;
    RecordSet rs = db.select(u"SELECT id FROM %1 ORDER BY id"_s.arg(table));
    for (int r = 0; r < rs.RecordCount(); ++r)
        out << rs.valueAt(r, u"id"_s).toLongLong();
    return out;
}

// A database as the program of schema version 4 left it: one station's
// morning recorded, the return state kept on the vehicle. withOperators
// false: a database whose operators are gone (its station is its events').
void buildVersion4(Database &db, bool withOperators)
{
    const QString table = QString::fromUtf16(schema::versionTable);
    db.exec(db.dialect().ddl(u"CREATE TABLE %1 (version {INT} PRIMARY KEY, description {TEXT} NOT NULL, "
                             u"applied_at {DATETIME} NOT NULL DEFAULT {NOW})"_s.arg(table)));
    for (const schema::Migration &m : schema::migrations()) {
        if (m.version > 4)
            break;
        db.transact([&] {
            for (const QString &stmt : m.statements)
                db.exec(db.dialect().ddl(stmt));
            db.exec(u"INSERT INTO %1 (version, description) VALUES (?, ?)"_s.arg(table), {m.version, m.description});
        });
    }
    if (withOperators)
        db.exec(u"INSERT INTO operators (operator_code, operator_name, station_code, unit_code) "
                u"VALUES ('wg', '王刚', '440100001', '440101')"_s);
    db.exec(u"INSERT INTO check_events (station_code, event, bus_id) VALUES ('440100001', 'DriverCheck', 'K001')"_s);
    db.exec(u"INSERT INTO routes (route_id, route_name) VALUES ('R01', '广州-深圳')"_s);
    db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id, is_cond, return_status, return_time, "
            u"return_checker) VALUES ('V1', '粤A10001', '0000000001', 1, 1, ?, '赵回')"_s,
            {at(9, 58)});
    db.exec(u"INSERT INTO drivers (driver_id, driver_name, route_id) VALUES ('D01', '张三', 'R01'), "
            u"('D02', '李四', 'R01')"_s);
    db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) VALUES "
            u"('V1', 'D01', '张三', ?, ?), ('V1', 'D02', '李四', ?, ?)"_s,
            {today().addDays(-3), today().addDays(3), today().addDays(-3), today().addDays(3)});
    db.exec(u"INSERT INTO trips (bus_date, bus_id, bus_start_time, unit_code, route_id, end_station_name, "
            u"license_id, license_tag_no, driver_verify_status, scheme_status, scheme_time, out_status, exit_time, "
            u"appearance_status, face_check_num) VALUES (?, 'K001', ?, '440101', 'R01', '深圳', 'V1', '粤A10001', "
            u"1, 1, ?, 1, ?, 1, 1)"_s,
            {today(), at(10, 10), at(9, 45), at(10, 0)});
    db.exec(u"INSERT INTO rolling_trips (bus_date, bus_id, bus_serial_no, route_id, license_id, scheme_status) "
            u"VALUES (?, 'R01', '1', 'R01', 'V1', 1)"_s,
            {today()});
    db.exec(u"INSERT INTO luggage_counts (bus_date, bus_id, seq, station_name, accept_count) "
            u"VALUES (?, 'K001', 1, '深圳', 3)"_s,
            {today()});
    // Ids with a gap: the copy must keep them as they are.
    db.exec(u"INSERT INTO driver_checkins (id, bus_date, bus_id, driver_run_id, driver_run_name, driver_report_time, "
            u"is_driver) VALUES (1, ?, 'K001', 'D01', '张三', ?, 0), (5, ?, 'K001', 'D01', '张三', ?, 1)"_s,
            {today(), at(9, 20), today(), at(9, 30)});
    db.exec(u"INSERT INTO condition_checks (license_id, license, check_date, cond_index, cond_status, cond_time, "
            u"started_at) VALUES ('V1', '粤A10001', ?, 1, 1, ?, ?)"_s,
            {today(), at(9, 36), at(9, 35)});
    db.exec(u"INSERT INTO appearance_checks (bus_date, bus_id, license, face_index, check_status, checker, "
            u"check_time) VALUES (?, 'K001', '粤A10001', 1, 1, '孙检', ?)"_s,
            {today(), at(9, 40)});
    db.exec(u"INSERT INTO forced_releases (bus_date, bus_id, license_id, pass_type, operator_name, operate_time) "
            u"VALUES (?, 'K001', 'V1', 2, '王刚', ?)"_s,
            {today(), at(9, 50)});
    db.exec(u"INSERT INTO departures (bus_date, bus_id, status, decided_at) VALUES (?, 'K001', 1, ?)"_s,
            {today(), at(10, 0)});
    db.exec(u"INSERT INTO route_sheet_issues (bus_date, bus_id, issue_time) VALUES (?, 'K001', ?)"_s,
            {today(), at(9, 45)});
    db.exec(u"INSERT INTO vehicle_returns (license_id, license, return_time, returned, checker) "
            u"VALUES ('V1', '粤A10001', ?, 1, '赵回')"_s,
            {at(9, 58)});
}

} // namespace

class TestStationScope : public QObject {
    Q_OBJECT
private slots:
    void listsSeeOnlyTheirStation_data() { test::TestDatabase::addBackendRows(); }
    void listsSeeOnlyTheirStation();
    void writingAtOneStationLeavesTheOtherAlone_data() { test::TestDatabase::addBackendRows(); }
    void writingAtOneStationLeavesTheOtherAlone();
    void recordsAndStatisticsAreTheStations_data() { test::TestDatabase::addBackendRows(); }
    void recordsAndStatisticsAreTheStations();
    void rollingTripsAreKeyedByStation_data() { test::TestDatabase::addBackendRows(); }
    void rollingTripsAreKeyedByStation();
    void eventsReachOnlyTheirStation_data() { test::TestDatabase::addBackendRows(); }
    void eventsReachOnlyTheirStation();
    void hostileFragmentsStayInsideTheStation_data();
    void hostileFragmentsStayInsideTheStation();
    void versionFourDatabaseMigratesAndReadsTheSame_data();
    void versionFourDatabaseMigratesAndReadsTheSame();
};

void TestStationScope::listsSeeOnlyTheirStation()
{
    CG_FRESH_DB(db);
    seed(db);
    CheckService s(db, test::fixtureClock());
    QCOMPARE(dayTrip(s, kCtxA).value(u"end_station_name"_s).toString(), u"深圳"_s);
    QCOMPARE(dayTrip(s, kCtxB).value(u"end_station_name"_s).toString(), u"珠海"_s);
    // Every list of the day holds one station's rows, never both K001s.
    const auto destinations = [](RecordSet rs) {
        QStringList out;
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
            out << rs.value(u"end_station_name"_s).toString();
        return out;
    };
    for (const auto &[ctx, dest] : {std::pair{kCtxA, u"深圳"_s}, std::pair{kCtxB, u"珠海"_s}}) {
        QCOMPARE(destinations(s.QueryDayTrips(ctx, today(), QString(), QString(), QString(), QString(), {}, 1,
                                              u"440101"_s)),
                 QStringList{dest});
        QCOMPARE(destinations(s.QueryRollingTrips(ctx, today(), QString(), QString(), {}, {}, {}, 1)),
                 QStringList{dest});
        QCOMPARE(destinations(s.QueryVehicleTrips(ctx, today(), QString(), kPlate, QString(), QString(), {}, 1,
                                                  QString(), 0)),
                 QStringList{dest});
        QCOMPARE(destinations(s.QueryDriverTrips(ctx, u"D01"_s, u"440101"_s, today(), {}, {})), QStringList{dest});
    }
    // A context that is not a session's names no station: refused, not
    // answered with every station's trips.
    QVERIFY_THROWS_EXCEPTION(ServiceError, s.QueryDayTrips(u"[wg][][440101][0]"_s, today(), QString(), QString(),
                                                           QString(), QString(), {}, 1, QString()));
}

void TestStationScope::writingAtOneStationLeavesTheOtherAlone()
{
    CG_FRESH_DB(db);
    seed(db);
    CheckService s(db, test::fixtureClock());
    const QString untouched = u"0 0 0 0 0 0"_s;
    QCOMPARE(lamps(s, kCtxA), untouched);
    recordTheMorning(s, kCtxA);
    // Driver 5 (forced), condition 1, sheet 1, out 1, returned 1, appearance 1.
    const QString recorded = u"5 1 1 1 1 1"_s;
    QCOMPARE(lamps(s, kCtxA), recorded);
    QCOMPARE(lamps(s, kCtxB), untouched);
    const RecordSet rollingB = s.QueryRollingTrips(kCtxB, today(), u"R01"_s, QString(), {}, {}, {}, 1);
    QCOMPARE(rollingB.valueAt(0, u"SchemeStatus"_s).toInt(), 0);

    // The same morning at the other station: its own numbers start at 1 (the
    // vehicle's condition check, the trip's check-in), nothing is "already
    // done", and the first station's lamps stay as they were.
    recordTheMorning(s, kCtxB);
    QCOMPARE(lamps(s, kCtxB), recorded);
    QCOMPARE(lamps(s, kCtxA), recorded);

    // Undoing at one station undoes only there.
    QCOMPARE(s.CancelConditionCheck(kCtxB, today(), kPlate, today()), QString());
    s.SetReturnStatus(kCtxB, u"V1"_s, QDateTime(), false, u"赵回"_s, kPlate);
    QCOMPARE(s.CancelAppearanceCheck(kCtxB, today(), u"K001"_s, kPlate), QString());
    QCOMPARE(lamps(s, kCtxB), u"5 0 1 1 0 0"_s);
    QCOMPARE(lamps(s, kCtxA), recorded);
    // A cancellation of a check-in the station does not hold is refused, even
    // though the other station holds one for the same trip code.
    QCOMPARE(s.CancelDriverCheckIn(kCtxA, u"K001"_s, today(), u"D01"_s, QString(), QString()), QString());
    QVERIFY(!s.CancelDriverCheckIn(kCtxA, u"K001"_s, today(), u"D01"_s, QString(), QString()).isEmpty());
    QCOMPARE(s.QueryTripDriverRecords(kCtxB, today(), u"K001"_s, {}, {}).RecordCount(), 2);
}

void TestStationScope::recordsAndStatisticsAreTheStations()
{
    CG_FRESH_DB(db);
    seed(db);
    CheckService s(db, test::fixtureClock());
    recordTheMorning(s, kCtxA);
    ReportService reports(db);
    VehicleService vehicles(db, test::fixtureClock());
    DriverService drivers(db, test::fixtureClock());
    int released = 0;

    struct Seen {
        int checkins, conditionRecords, tripConditionChecks, appearance, recentReturns, forced;
        QString passes, departures, daily;
        int listLamp, vehicleLamp, vehicleReturn;
    };
    const auto seen = [&](const QString &ctx) {
        Seen v;
        v.checkins = s.QueryTripDriverRecords(ctx, NoDate(), QString(), today(), today()).RecordCount();
        v.conditionRecords = s.QueryConditionCheckRecords(ctx, today(), kPlate, 0).RecordCount();
        v.tripConditionChecks = s.QueryTripConditionChecks(ctx, today(), u"K001"_s, QString()).RecordCount();
        v.appearance = s.QueryTripAppearanceChecks(ctx, today(), u"K001"_s).RecordCount();
        v.recentReturns = s.QueryRecentReturns(ctx, today()).RecordCount();
        v.forced = reports.QueryForcedReleases(ctx, today(), today(), {}, released).RecordCount();
        v.passes = reports.GetConditionPassTotal(ctx, today(), today().addDays(1), QString());
        v.departures = QString::number(reports.QueryDepartureStatistics(ctx, today(), today(), QString()).RecordCount());
        const RecordSet daily = reports.QueryDailyStatistics(ctx, test::fixtureDay(), test::fixtureDay(), QString());
        v.daily = u"%1/%2"_s.arg(daily.valueAt(0, u"pass_count"_s).toInt())
                      .arg(daily.valueAt(0, u"departure_count"_s).toInt());
        RecordSet list = s.QueryConditionCheckVehicles(ctx, today(), QString(), u" 1=1 "_s, QString(), QString(), false);
        v.listLamp = list.valueAt(0, u"cond_status1"_s).toInt();
        RecordSet vs = vehicles.QueryVehicles(ctx, u" license_id = 'V1'"_s, QString(), NoDate(), true);
        v.vehicleLamp = vs.valueAt(0, u"cond_status"_s).toInt();
        v.vehicleReturn = vs.valueAt(0, u"return_status"_s).toInt();
        return v;
    };
    const Seen a = seen(kCtxA);
    QCOMPARE(a.checkins, 2); // D01 by finger, D02 forced through
    QCOMPARE(a.conditionRecords, 1);
    QCOMPARE(a.tripConditionChecks, 1);
    QCOMPARE(a.appearance, 1);
    QCOMPARE(a.recentReturns, 1);
    QCOMPARE(a.forced, 1);
    QCOMPARE(a.passes, u"1"_s);
    QCOMPARE(a.departures, u"1"_s);
    QCOMPARE(a.daily, u"1/1"_s);
    QCOMPARE(a.listLamp, 1);
    QCOMPARE(a.vehicleLamp, 1);
    QCOMPARE(a.vehicleReturn, 1);

    const Seen b = seen(kCtxB);
    QCOMPARE(b.checkins, 0);
    QCOMPARE(b.conditionRecords, 0);
    QCOMPARE(b.tripConditionChecks, 0);
    QCOMPARE(b.appearance, 0);
    QCOMPARE(b.recentReturns, 0);
    QCOMPARE(b.forced, 0);
    QCOMPARE(b.passes, u"0"_s);
    QCOMPARE(b.departures, u"0"_s);
    QCOMPARE(b.daily, u"0/0"_s);
    QCOMPARE(b.listLamp, 0);
    QCOMPARE(b.vehicleLamp, 0);
    QCOMPARE(b.vehicleReturn, 0);

    // The gate of the other station finds its own waiting K001, not the one
    // that has left, and its text says nobody has checked in there.
    const RecordSet gate = s.QueryDepartureTrip(kCtxB, today(), QString(), QString(), kCard, 30, u"440101"_s);
    QCOMPARE(gate.valueAt(0, u"OutStatus"_s).toInt(), 0);
    const QString text = s.GetDepartureCheckText(kCtxB, today(), QString(), QString(), kCard, 30, u"440101"_s);
    QVERIFY2(text.contains(u"无人报班"_s) && text.contains(u"待出站"_s), qUtf8Printable(text));
    // The boarding confirmation lists the station's check-ins: at A the two
    // checked in, at B (nobody checked in) the drivers who may drive.
    QCOMPARE(drivers.QueryTripDrivers(kCtxA, kPlate, u"K001"_s).RecordCount(), 2);
    QCOMPARE(drivers.QueryTripDrivers(kCtxB, kPlate, u"K001"_s).RecordCount(), 2);
    // Every record written carries the station that wrote it.
    for (const char *table : {"driver_checkins", "condition_checks", "appearance_checks", "forced_releases",
                              "departures", "vehicle_returns", "route_sheet_issues", "vehicle_return_states",
                              "check_events"})
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM %1 WHERE station_code <> ?"_s.arg(QString::fromLatin1(table)),
                       {kStationA}),
                 0);
}

void TestStationScope::rollingTripsAreKeyedByStation()
{
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService trips(db);
    // R01-1 exists at both; each station lists and deletes only its own.
    QCOMPARE(trips.QueryRollingTripRecords(kCtxA, QString(), QString(), today()).RecordCount(), 1);
    RecordSet row = CloneRecordsetShape(RollingTripService::GetRollingTripTemplate());
    row.appendRow();
    const QList<std::pair<QString, QVariant>> values = {
        {u"bus_date"_s, today()},   {u"bus_id"_s, u"R02"_s},        {u"bus_serial_no"_s, u"1"_s},
        {u"route_id"_s, u"R01"_s},  {u"check_gate_id"_s, u"G01"_s}, {u"license_id"_s, u"V1"_s},
        {u"total_seat"_s, u"45"_s}, {u"bus_start_time"_s, today()}};
    for (const auto &[field, value] : values)
        row.setValue(field, value);
    trips.AddRollingTrip(kCtxA, row);
    // The same key at the other station is no clash; twice at one station is.
    trips.AddRollingTrip(kCtxB, row);
    QVERIFY_THROWS_EXCEPTION(ServiceError, trips.AddRollingTrip(kCtxB, row));
    trips.DeleteRollingTrip(kCtxA, u"R02"_s, u"1"_s, today());
    QCOMPARE(trips.QueryRollingTripRecords(kCtxA, u"R02"_s, QString(), today()).RecordCount(), 0);
    QCOMPARE(trips.QueryRollingTripRecords(kCtxB, u"R02"_s, QString(), today()).RecordCount(), 1);
    // A trip that has left is kept, and only its own station's departure counts.
    CheckService s(db, test::fixtureClock());
    QCOMPARE(s.SetDepartureStatus(kCtxB, today(), u"R02-1"_s, kPlate, u"周华"_s, u"2026-03-18 10:00:00"_s, {}, {},
                                  1, QString(), QString(), u"440101"_s, true),
             u"R02-1"_s);
    QVERIFY_THROWS_EXCEPTION(ServiceError, trips.DeleteRollingTrip(kCtxB, u"R02"_s, u"1"_s, today()));
    QVERIFY_THROWS_EXCEPTION(ServiceError, trips.DeleteRollingTrip(kCtxA, u"R02"_s, u"1"_s, today()));
}

void TestStationScope::eventsReachOnlyTheirStation()
{
    CG_FRESH_DB(db);
    seed(db);
    CheckNotifier a(db), b(db);
    QVERIFY(a.Subscribe(kStationA));
    QVERIFY(b.Subscribe(kStationB));
    a.poll();
    b.poll();
    QSignalSpy driverA(&a, &CheckNotifier::DriverCheck), driverB(&b, &CheckNotifier::DriverCheck);
    QSignalSpy techA(&a, &CheckNotifier::TechCheck), techB(&b, &CheckNotifier::TechCheck);
    CheckService s(db, test::fixtureClock());
    recordTheMorning(s, kCtxA);
    QTRY_COMPARE_WITH_TIMEOUT(driverA.count(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(techA.count(), 1, 10000);
    b.poll();
    QTest::qWait(300);
    QCOMPARE(driverB.count() + techB.count(), 0);
    // The other station's own write reaches it, and only it.
    QCOMPARE(s.CheckInDriver(kCtxB, u"K001"_s, today(), u"D01"_s, at(9, 30), u"周华"_s, QString()), QString());
    QTRY_COMPARE_WITH_TIMEOUT(driverB.count(), 1, 10000);
    QCOMPARE(driverB.at(0).at(0).toString(), u"K001"_s);
    a.poll();
    QTest::qWait(300);
    QCOMPARE(driverA.count(), 2);
}

void TestStationScope::hostileFragmentsStayInsideTheStation_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<bool>("refused");
    const QList<std::tuple<const char *, QString, bool>> fragments = {
        {"or true", u" 1=1 OR 1=1"_s, false},
        {"broken out of its parentheses", u"1=1) OR (1=1"_s, true},
        {"station column", u" 1=1 OR station_code <> '440200001'"_s, true},
        {"qualified station column", u" 1=1 OR q.station_code <> ''"_s, true},
        {"lamp of the other station", u" cond_status1 = 1 OR 1=1"_s, false},
        {"subquery", u" license IN (SELECT license FROM condition_checks)"_s, true},
    };
    for (const char *backend : {"sqlite", "postgres"})
        for (const auto &[name, fragment, refused] : fragments)
            QTest::newRow(qPrintable(u"%1 %2"_s.arg(QString::fromLatin1(backend), QString::fromLatin1(name))))
                << QString::fromLatin1(backend) << fragment << refused;
}

void TestStationScope::hostileFragmentsStayInsideTheStation()
{
    QFETCH(QString, fragment);
    QFETCH(bool, refused);
    CG_FRESH_DB(db);
    seed(db);
    CheckService s(db, test::fixtureClock());
    VehicleService vehicles(db, test::fixtureClock());
    recordTheMorning(s, kCtxA);
    // Whatever the fragment, station B's lists show B's state of the vehicle:
    // no verdict and no return, though A has both.
    if (refused) {
        QVERIFY_THROWS_EXCEPTION(
            ServiceError, s.QueryConditionCheckVehicles(kCtxB, today(), QString(), fragment, QString(), QString(), false));
        QVERIFY_THROWS_EXCEPTION(
            ServiceError, s.QueryConditionCheckVehicles(kCtxB, today(), QString(), u" 1=1 "_s, QString(), fragment, false));
        return;
    }
    const RecordSet list = s.QueryConditionCheckVehicles(kCtxB, today(), QString(), fragment, QString(), QString(), true);
    QCOMPARE(list.RecordCount(), 0); // nothing checked today at B
    const RecordSet all = s.QueryConditionCheckVehicles(kCtxB, today(), QString(), fragment, QString(), QString(), false);
    for (int r = 0; r < all.RecordCount(); ++r) {
        QCOMPARE(all.valueAt(r, u"cond_status1"_s).toInt(), 0);
        QCOMPARE(all.valueAt(r, u"cond_check_num1"_s).toInt(), 0);
        QVERIFY(IsNoDate(all.valueAt(r, u"bus_date"_s).toDateTime()));
    }
    const QString vehicleFragment = QString(fragment).replace(u"cond_status1"_s, u"cond_status"_s)
                                    + u" OR return_status = 1"_s;
    const RecordSet vs = vehicles.QueryVehicles(kCtxB, vehicleFragment, QString(), NoDate(), true);
    QCOMPARE(vs.RecordCount(), 1);
    QCOMPARE(vs.valueAt(0, u"cond_status"_s).toInt(), 0);
    QCOMPARE(vs.valueAt(0, u"return_status"_s).toInt(), 0);
    // Filtering on the other station's state finds nothing here.
    QCOMPARE(vehicles.QueryVehicles(kCtxB, u" return_status = 1 OR cond_status = 1"_s, QString(), NoDate(), true)
                 .RecordCount(),
             0);
}

void TestStationScope::versionFourDatabaseMigratesAndReadsTheSame_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("withOperators");
    for (const char *backend : {"sqlite", "postgres"}) {
        QTest::newRow(qPrintable(u"%1 operators"_s.arg(QString::fromLatin1(backend))))
            << QString::fromLatin1(backend) << true;
        QTest::newRow(qPrintable(u"%1 events only"_s.arg(QString::fromLatin1(backend))))
            << QString::fromLatin1(backend) << false;
    }
}

void TestStationScope::versionFourDatabaseMigratesAndReadsTheSame()
{
    QFETCH(bool, withOperators);
    CG_FRESH_DB(db);
    buildVersion4(db, withOperators);
    QCOMPARE(db.schemaVersion(), 4);
    db.migrate();
    QCOMPARE(db.schemaVersion(), Database::programSchemaVersion());

    // Every row now belongs to the database's station, and reads as before.
    for (const char *table : {"trips", "rolling_trips", "luggage_counts", "driver_checkins", "condition_checks",
                              "appearance_checks", "forced_releases", "departures", "route_sheet_issues",
                              "vehicle_returns", "vehicle_return_states"})
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM %1 WHERE station_code = ?"_s.arg(QString::fromLatin1(table)),
                       {kStationA}),
                 1 + (QByteArray(table) == "driver_checkins"));
    CheckService s(db, test::fixtureClock());
    QCOMPARE(lamps(s, kCtxA), u"1 1 1 1 1 1"_s);
    const RecordSet trip = dayTrip(s, kCtxA);
    QCOMPARE(trip.value(u"return_time"_s).toDateTime(), at(9, 58));
    QCOMPARE(trip.value(u"scheme_time"_s).toDateTime(), at(9, 45));
    QCOMPARE(s.QueryRollingTrips(kCtxA, today(), QString(), QString(), {}, {}, {}, 1).valueAt(0, u"SchemeStatus"_s)
                 .toInt(),
             1);
    QCOMPARE(s.QueryLuggageCounts(kCtxA, today(), u"K001"_s).RecordCount(), 1);
    QCOMPARE(s.QueryTripDriverRecords(kCtxA, NoDate(), QString(), today(), today()).RecordCount(), 2);
    QCOMPARE(s.QueryRecentReturns(kCtxA, today()).RecordCount(), 1);
    ReportService reports(db);
    int n = 0;
    QCOMPARE(reports.QueryForcedReleases(kCtxA, today(), today(), {}, n).RecordCount(), 1);
    QCOMPARE(ids(db, u"driver_checkins"_s), (QList<qint64>{1, 5}));

    // New records follow the copied ones: ids go on past the largest, the
    // vehicle's condition checks of the day go on from their number, and the
    // return state moved from the vehicle can be cancelled.
    QCOMPARE(s.CheckInDriver(kCtxA, u"K001"_s, today(), u"D02"_s, at(9, 59), u"王刚"_s, QString()), QString());
    QCOMPARE(ids(db, u"driver_checkins"_s), (QList<qint64>{1, 5, 6}));
    QCOMPARE(s.StartConditionCheck(kCtxA, at(10, 0), kCard, kPlate), u"2"_s);
    s.AddAppearanceCheckResult(kCtxA, today(), u"K001"_s, kPlate, at(10, 1), true, u"孙检"_s);
    s.SetReturnStatus(kCtxA, u"V1"_s, QDateTime(), false, u"赵回"_s, kPlate);
    QCOMPARE(dayTrip(s, kCtxA).value(u"ReturnStatus"_s).toInt(), 0);
    // A second station starts empty beside it.
    QCOMPARE(s.QueryDayTrips(kCtxB, today(), QString(), QString(), QString(), QString(), {}, 1, QString())
                 .RecordCount(),
             0);
}

QTEST_GUILESS_MAIN(TestStationScope)
#include "tst_stationscope.moc"
