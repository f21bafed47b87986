// The shared queries of the check stations: trips of a day with their lamps,
// vehicles by filter fragment and arrangement day, drivers, a driver's trips.
// Each data row runs on a fresh SQLite file or PostgreSQL database.

#include "support/fixturetime.h"
#include "dbtestenv.h"

#include "core/dates.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/masterdata/driverservice.h"
#include "services/database/serviceerror.h"
#include "services/masterdata/vehicleservice.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

const QString kCtx = u"[wg][440100001][440101][0]"_s;

QDateTime today() { return QDateTime(cg::test::fixtureDay(), QTime(0, 0)); }
QDateTime at(int h, int m) { return QDateTime(cg::test::fixtureDay(), QTime(h, m)); }

// Two vehicles (V1 needs condition checks, V2 does not), three trips today
// and one tomorrow, a driver arranged to V1 and a substitute on V2.
void seed(Database &db)
{
    db.migrate();
    db.exec(u"INSERT INTO companies (company_code, company_name, short_name) VALUES ('C01', '天河运输', '天河')"_s);
    db.exec(u"INSERT INTO vehicles (license_id, license, company_name, ic_card_id, is_cond, service_kind) "
            u"VALUES ('V1', '粤A10001', 'C01[天河运输]', '0000000001', 1, '正常'), "
            u"('V2', '粤A10002', 'C01[天河运输]', '0000000002', 0, '外站')"_s);
    const auto trip = [&](const QString &id, const QDateTime &start, const QString &vid, const QString &plate,
                          const QString &unit) {
        db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, end_station_name, "
                u"license_id, license_tag_no, total_seat, transport_company_short_name, sale_num, check_num, "
                u"scheme_status) VALUES ('440100001', ?, ?, ?, ?, 'R01', '佛山', ?, ?, 45, '天河', 30, 12, 1)"_s,
                {QDateTime(start.date(), QTime(0, 0)), id, start, unit, vid, plate});
    };
    trip(u"K001"_s, at(7, 0), u"V1"_s, u"粤A10001"_s, u"440101"_s);
    trip(u"K002"_s, at(8, 30), u"V2"_s, u"粤A10002"_s, u"440101"_s);
    trip(u"K003"_s, at(9, 15), u"V1"_s, u"粤A10001"_s, u"440999"_s);
    trip(u"K001"_s, at(7, 0).addDays(1), u"V1"_s, u"粤A10001"_s, u"440101"_s);
    db.exec(u"INSERT INTO drivers (driver_id, driver_name, fng_value, route_id, drive_type, unit_id) VALUES "
            u"('D01', '张三', 'TPL-D01', 'R01', '正常', '440101'), ('D02', 'O''Neil 李', '', 'R02', '机动', '440101')"_s);
    db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) VALUES "
            u"('V1', 'D01', '张三', ?, ?), ('V2', 'D01', '张三', ?, ?)"_s,
            {today().addDays(-3), today().addDays(3), today().addDays(-30), today().addDays(-20)});
    db.exec(u"INSERT INTO substitutions (license_id, driver_id, arrangement_start, substitute_id, start_date, "
            u"end_date) VALUES ('V2', 'D01', ?, 'D02', ?, ?)"_s,
            {today().addDays(-30), today().addDays(-1), today().addDays(1)});
}

void condCheck(Database &db, const QString &plate, int status, const QDateTime &when, int index = 1,
               bool cancelled = false)
{
    db.exec(u"INSERT INTO condition_checks (station_code, license, check_date, cond_index, cond_status, cond_checker, "
            u"cond_time, started_at, cancelled) VALUES ('440100001', ?, ?, ?, ?, '李检', ?, ?, ?)"_s,
            {plate, QDateTime(when.date(), QTime(0, 0)), index, status, when, when, cancelled ? 1 : 0});
}

QStringList column(RecordSet rs, const QString &field)
{
    QStringList out;
    for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
        out << rs.value(field).toString();
    return out;
}

} // namespace

class TstTripQueries : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dayTripsFilters_data();
    void dayTripsFilters();
    void conditionLamp_data();
    void conditionLamp();
    void badWindowRefused_data() { test::TestDatabase::addBackendRows(); }
    void badWindowRefused();
    void vehiclesByFragment_data();
    void vehiclesByFragment();
    void driversByEitherName_data() { test::TestDatabase::addBackendRows(); }
    void driversByEitherName();
    void driverTripsFollowArrangements_data() { test::TestDatabase::addBackendRows(); }
    void driverTripsFollowArrangements();
    void tripsWithoutUnitForEveryUnit_data() { test::TestDatabase::addBackendRows(); }
    void tripsWithoutUnitForEveryUnit();
};

void TstTripQueries::dayTripsFilters_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("busId");
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("expected");
    const QString d = cg::test::fixtureDay().toString(u"yyyy-MM-dd"_s);
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s/%s", qPrintable(b), name) << b; };
        row("all of the unit") << u""_s << u""_s << u""_s << u""_s << u"440101"_s << QStringList{u"K001"_s, u"K002"_s};
        row("no unit: every trip of the day") << u""_s << u""_s << u""_s << u""_s << u""_s
                                             << QStringList{u"K001"_s, u"K002"_s, u"K003"_s};
        row("trip code exact") << u"K002"_s << u""_s << u""_s << u""_s << u""_s << QStringList{u"K002"_s};
        row("trip code is not a prefix") << u"K00"_s << u""_s << u""_s << u""_s << u""_s << QStringList{};
        row("part of a plate, any case") << u""_s << u"a10001"_s << u""_s << u""_s << u""_s
                                        << QStringList{u"K001"_s, u"K003"_s};
        row("plate wildcard is literal") << u""_s << u"%"_s << u""_s << u""_s << u""_s << QStringList{};
        row("window inclusive") << u""_s << u""_s << d + u" 07:00:00"_s << d + u" 08:30:00"_s << u""_s
                               << QStringList{u"K001"_s, u"K002"_s};
        row("window without seconds") << u""_s << u""_s << d + u" 08:00"_s << u""_s << u""_s
                                     << QStringList{u"K002"_s, u"K003"_s};
        row("window on one trip") << u""_s << u""_s << d + u" 08:30:00"_s << d + u" 08:30:00"_s << u""_s
                                 << QStringList{u"K002"_s};
    }
}

void TstTripQueries::dayTripsFilters()
{
    CG_FRESH_DB(db);
    QFETCH(QString, busId);
    QFETCH(QString, plate);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, unit);
    QFETCH(QStringList, expected);
    seed(db);
    CheckService svc(db, cg::test::fixtureClock());
    const RecordSet rs = svc.QueryDayTrips(kCtx, today(), busId, plate, from, to, QVariant(), 1, unit);
    QCOMPARE(column(rs, u"bus_id"_s), expected);
    if (rs.RecordCount() > 0) {
        RecordSet first = rs;
        first.MoveFirst();
        // Missing date-times come back as the no-date value, never Null.
        QVERIFY(IsNoDate(first.value(u"exit_time"_s).toDateTime()));
        QCOMPARE(first.value(u"SchemeStatus"_s).toInt(), 1);
        QCOMPARE(first.value(u"transport_company_short_name"_s).toString(), u"天河"_s);
    }
}

void TstTripQueries::conditionLamp_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("hoursAgo");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<int>("earlier");  // a verdict three hours ago before it, -1 none
    QTest::addColumn<int>("expected");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s/%s", qPrintable(b), name) << b; };
        row("pass within the validity") << 1 << 2 << false << -1 << 1;
        row("fail within the validity") << 2 << 2 << false << -1 << 2;
        row("forced pass") << 5 << 1 << false << -1 << 5;
        row("pass older than the validity") << 1 << 30 << false << -1 << 0;
        // CondTime is 24 hours when unset; its end is still valid.
        row("pass exactly CondTime hours old") << 1 << 24 << false << -1 << 1;
        row("pass a little older than CondTime") << 1 << 25 << false << -1 << 0;
        row("cancelled pass") << 1 << 2 << true << -1 << 0;
        row("started, no verdict") << 0 << 1 << false << -1 << 0;
        // The latest check decides only when it is a verdict still standing.
        row("started after a pass keeps the pass") << 0 << 1 << false << 1 << 1;
        row("started after a fail keeps the fail") << 0 << 1 << false << 2 << 2;
        row("undone fail after a pass") << 2 << 1 << true << 1 << 1;
        row("fail after a pass") << 2 << 1 << false << 1 << 2;
    }
}

void TstTripQueries::conditionLamp()
{
    CG_FRESH_DB(db);
    QFETCH(int, status);
    QFETCH(int, hoursAgo);
    QFETCH(bool, cancelled);
    QFETCH(int, earlier);
    QFETCH(int, expected);
    seed(db);
    if (earlier >= 0)
        condCheck(db, u"粤A10001"_s, earlier, cg::test::fixtureNow().addSecs(-3600 * 3), 1);
    condCheck(db, u"粤A10001"_s, status, cg::test::fixtureNow().addSecs(-3600 * hoursAgo), 2, cancelled);
    CheckService svc(db, cg::test::fixtureClock());
    RecordSet rs = svc.QueryDayTrips(kCtx, today(), u"K001"_s, u""_s, u""_s, u""_s, QVariant(), 1, u""_s);
    QCOMPARE(rs.RecordCount(), 1);
    QCOMPARE(rs.value(u"StateStatus"_s).toInt(), expected);
    // A vehicle that needs no condition check is always grey.
    rs = svc.QueryDayTrips(kCtx, today(), u"K002"_s, u""_s, u""_s, u""_s, QVariant(), 1, u""_s);
    QCOMPARE(rs.value(u"StateStatus"_s).toInt(), 3);
    // The vehicle list carries the same state.
    VehicleService vs(db, cg::test::fixtureClock());
    const RecordSet v = vs.QueryVehicles(kCtx, u" license = '粤A10001'"_s, u""_s, NoDate(), true);
    QCOMPARE(v.RecordCount(), 1);
    QCOMPARE(v.value(u"cond_status"_s).toInt(), expected);
}

void TstTripQueries::badWindowRefused()
{
    CG_FRESH_DB(db);
    seed(db);
    CheckService svc(db, cg::test::fixtureClock());
    try {
        svc.QueryDayTrips(kCtx, today(), u""_s, u""_s, u"tomorrow morning"_s, u""_s, QVariant(), 1, u""_s);
        QFAIL("an unreadable window was accepted");
    } catch (const ServiceError &e) {
        QCOMPARE(e.number(), svcerr::BadArgument);
        QVERIFY(e.description().contains(u"tomorrow morning"_s));
    }
}

void TstTripQueries::vehiclesByFragment_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("arrangedDayOffset"); // 99 = no arrangement condition
    QTest::addColumn<bool>("arranged");
    QTest::addColumn<QStringList>("expected");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s/%s", qPrintable(b), name) << b; };
        row("card") << u" ic_card_id = '0000000002'"_s << 99 << true << QStringList{u"V2"_s};
        row("unknown card") << u" ic_card_id = '9999999999'"_s << 99 << true << QStringList{};
        row("plate four-way") << u" 1=1  AND ( v.license LIKE '%10001%' OR v.license LIKE '10001%' OR "
                                 u"v.license LIKE '%10001' OR v.license = '10001') AND status= 0"_s
                              << 99 << true << QStringList{u"V1"_s};
        row("no check needed") << u" 1=1 AND cond_status = 3"_s << 99 << true << QStringList{u"V2"_s};
        row("arranged today") << u""_s << 0 << true << QStringList{u"V1"_s};
        row("not arranged today") << u""_s << 0 << false << QStringList{u"V2"_s};
        row("arranged flag without a day") << u""_s << 99 << false << QStringList{u"V1"_s, u"V2"_s};
    }
}

void TstTripQueries::vehiclesByFragment()
{
    CG_FRESH_DB(db);
    QFETCH(QString, where);
    QFETCH(int, arrangedDayOffset);
    QFETCH(bool, arranged);
    QFETCH(QStringList, expected);
    seed(db);
    VehicleService vs(db, cg::test::fixtureClock());
    const QDateTime day = arrangedDayOffset == 99 ? NoDate() : today().addDays(arrangedDayOffset);
    QCOMPARE(column(vs.QueryVehicles(kCtx, where, u" license_id "_s, day, arranged), u"license_id"_s), expected);
}

void TstTripQueries::driversByEitherName()
{
    CG_FRESH_DB(db);
    seed(db);
    DriverService ds(db, cg::test::fixtureClock());
    RecordSet a = ds.QueryDrivers(kCtx, u" driver_no = 'D01'"_s, u""_s);
    RecordSet b = ds.QueryDrivers(kCtx, u" driver_id='D01'"_s, u""_s);
    QCOMPARE(a.RecordCount(), 1);
    QCOMPARE(b.RecordCount(), 1);
    QCOMPARE(a.value(u"finger_value"_s).toString(), u"TPL-D01"_s);
    QCOMPARE(b.value(u"driver_name"_s).toString(), u"张三"_s);
    // An apostrophe in a name travels in the concatenated literal form.
    RecordSet c = ds.QueryDrivers(kCtx, u" driver_name like '%O'+\"'\"+'Neil%'"_s, u" driver_name "_s);
    QCOMPARE(column(c, u"driver_no"_s), QStringList{u"D02"_s});
    RecordSet list = ds.QueryDriverList(kCtx, u"  drive_type='机动'  AND  unit_id = '440101'"_s, u" driver_name "_s);
    QCOMPARE(column(list, u"driver_no"_s), QStringList{u"D02"_s});
}

void TstTripQueries::driverTripsFollowArrangements()
{
    CG_FRESH_DB(db);
    seed(db);
    CheckService svc(db, cg::test::fixtureClock());
    // D01 is arranged to V1 (K001 at 07:00, K003 at 09:15); the old V2
    // arrangement has ended.
    RecordSet rs = svc.QueryDriverTrips(kCtx, u"D01"_s, u""_s, today(), at(6, 0), at(10, 0));
    QCOMPARE(column(rs, u"bus_id"_s), (QStringList{u"K001"_s, u"K003"_s}));
    rs = svc.QueryDriverTrips(kCtx, u"D01"_s, u""_s, today(), at(8, 0), at(10, 0));
    QCOMPARE(column(rs, u"bus_id"_s), QStringList{u"K003"_s});
    // D02's substitution on V2 covers today, but the arrangement it was
    // under ended weeks ago: nobody drives V2 for D01 today, so D02 gets
    // nothing (a substitute takes the days of a running arrangement only).
    rs = svc.QueryDriverTrips(kCtx, u"D02"_s, u"440101"_s, today(), at(6, 0), at(10, 0));
    QCOMPARE(column(rs, u"bus_id"_s), QStringList());
}

// A trip stored without a unit (Null or empty) belongs to every unit's
// lists; another unit's trip to none of them.
void TstTripQueries::tripsWithoutUnitForEveryUnit()
{
    CG_FRESH_DB(db);
    seed(db);
    db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, license_id, license_tag_no) "
            u"VALUES ('440100001', ?, 'K010', ?, NULL, 'V2', '粤A10002'), "
            u"('440100001', ?, 'K011', ?, '', 'V2', '粤A10002')"_s,
            {today(), at(9, 30), today(), at(9, 45)});
    CheckService svc(db, cg::test::fixtureClock());
    RecordSet rs = svc.QueryDayTrips(kCtx, today(), u""_s, u""_s, u""_s, u""_s, QVariant(), 1, u"440101"_s);
    QCOMPARE(column(rs, u"bus_id"_s), (QStringList{u"K001"_s, u"K002"_s, u"K010"_s, u"K011"_s}));
    rs = svc.QueryDayTrips(kCtx, today(), u""_s, u""_s, u""_s, u""_s, QVariant(), 1, u"440999"_s);
    QCOMPARE(column(rs, u"bus_id"_s), (QStringList{u"K003"_s, u"K010"_s, u"K011"_s}));
}

QTEST_GUILESS_MAIN(TstTripQueries)
#include "tst_tripqueries.moc"
