// The rolling trip operations behind the rolling trip register and record,
// the route stations the record reads its destination from, and a rolling
// trip added here travelling on to the gate and the dispatch centre. Each
// data row runs on a fresh SQLite file or PostgreSQL database.

#include "../dispatch/tst_outcheck_fixture.h"
#include "support/fixturetime.h"
#include "services/dbtestenv.h"

#include "core/dates.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"
#include "services/masterdata/lookupservices.h"
#include "services/scheduling/rollingtripservice.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

// Another unit of the same station.
const QString kOtherUnitCtx = u"[op2][440100001][440199][0]"_s;

QDateTime day(int offset = 0)
{
    return test::gateDay().addDays(offset);
}

// The gate's station (vehicles V1-V3, rolling trips R01-1 and R01-2 of
// today) with routes, their stops and the ticket gates.
void seed(Database &db)
{
    test::seedGate(db);
    db.exec(u"INSERT INTO stations (station_code, station_name) VALUES ('S1', '天河'), ('S2', '番禺'), "
            u"('S3', '顺德')"_s);
    db.exec(u"INSERT INTO routes (route_id, route_name) VALUES ('R01', '广州-顺德'), ('R02', '新线'), "
            u"('R09', '广州-番禺')"_s);
    // Stored out of running order: the stops are read by seq.
    db.exec(u"INSERT INTO route_stations (route_id, seq, station_code) VALUES ('R01', 3, 'S3'), "
            u"('R01', 1, 'S1'), ('R01', 2, 'S2'), ('R09', 1, 'S1'), ('R09', 2, 'S2')"_s);
    db.exec(u"INSERT INTO check_gates (gate_id, gate_name) VALUES ('2', '二号口'), ('3', '三号口')"_s);
}

RecordSet tripRow(const QString &code, const QString &serial, const QString &vehicle = u"V3"_s,
                  const QDateTime &busDate = day())
{
    RecordSet row = CloneRecordsetShape(RollingTripService::GetRollingTripTemplate());
    row.appendRow();
    row.setValue(u"bus_date"_s, busDate);
    row.setValue(u"bus_id"_s, code);
    row.setValue(u"bus_serial_no"_s, serial);
    row.setValue(u"route_id"_s, u"R09"_s);
    row.setValue(u"end_station_id"_s, u"S2"_s);
    row.setValue(u"end_station_name"_s, u"番禺"_s);
    row.setValue(u"check_gate_id"_s, u"2"_s);
    row.setValue(u"license_id"_s, vehicle);
    row.setValue(u"total_seat"_s, u"40"_s);
    row.setValue(u"vehicle_type_name"_s, u"宇通45座"_s);
    row.setValue(u"vehicle_type_code"_s, u"111"_s);
    row.setValue(u"transport_company_id"_s, u"111"_s);
    row.setValue(u"bus_start_time"_s, day());
    return row;
}

// The refusal's text, or "" when the call went through.
QString refusalOf(const std::function<void()> &fn, int *code = nullptr)
{
    try {
        fn();
    } catch (const ServiceError &e) {
        if (code)
            *code = e.number();
        return e.description();
    }
    return {};
}

// "code-serial" of every trip listed, in order.
QStringList listed(const RecordSet &rs)
{
    QStringList out;
    for (int r = 0; r < rs.RecordCount(); ++r)
        out << rs.valueAt(r, u"bus_id"_s).toString() + u"-"_s + rs.valueAt(r, u"bus_serial_no"_s).toString();
    return out;
}

QVariant stored(Database &db, const QString &column, const QString &code, const QString &serial,
                const QDateTime &busDate = day())
{
    return db.scalar(u"SELECT %1 FROM rolling_trips WHERE bus_date = ? AND bus_id = ? AND bus_serial_no = ?"_s
                         .arg(column),
                     {busDate, code, serial});
}

int tripCount(Database &db)
{
    return db.scalar(u"SELECT COUNT(*) FROM rolling_trips"_s).toInt();
}

} // namespace

class TstRollingTripService : public QObject {
    Q_OBJECT
private slots:
    void addedTripReadsBack_data() { test::TestDatabase::addBackendRows(); }
    void addedTripReadsBack();
    void textsOfExactlyTheirLimitAreKept_data() { test::TestDatabase::addBackendRows(); }
    void textsOfExactlyTheirLimitAreKept();
    void listsADayInCodeAndSerialOrder_data() { test::TestDatabase::addBackendRows(); }
    void listsADayInCodeAndSerialOrder();
    void anotherUnitsTripsAreNeverSeen_data() { test::TestDatabase::addBackendRows(); }
    void anotherUnitsTripsAreNeverSeen();
    void addRefusesAnExistingTrip_data() { test::TestDatabase::addBackendRows(); }
    void addRefusesAnExistingTrip();
    void badRowsAreRefusedAndNothingWritten_data();
    void badRowsAreRefusedAndNothingWritten();
    void updateRewritesTheKeyedTripOnly_data() { test::TestDatabase::addBackendRows(); }
    void updateRewritesTheKeyedTripOnly();
    void deleteRemovesTheKeyedTripOnly_data() { test::TestDatabase::addBackendRows(); }
    void deleteRemovesTheKeyedTripOnly();
    void departedTripsStayAsTheyLeft_data() { test::TestDatabase::addBackendRows(); }
    void departedTripsStayAsTheyLeft();
    void routeStationsInRunningOrder_data() { test::TestDatabase::addBackendRows(); }
    void routeStationsInRunningOrder();
    void addedTripLeavesThroughTheGateByCard_data() { test::TestDatabase::addBackendRows(); }
    void addedTripLeavesThroughTheGateByCard();
};

void TstRollingTripService::addedTripReadsBack()
{
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService s(db);
    RecordSet row = tripRow(u" R09 "_s, u" 1 "_s);
    // Any time of the day names the day.
    row.setValue(u"bus_date"_s, QDateTime(day().date(), QTime(17, 45)));
    s.AddRollingTrip(test::kGateCtx, row);

    RecordSet rs = s.QueryRollingTripRecords(test::kGateCtx, u"R09"_s, u"1"_s, QDateTime(day().date(), QTime(8, 0)));
    QCOMPARE(rs.RecordCount(), 1);
    QCOMPARE(rs.value(u"bus_date"_s).toDateTime(), day());
    QCOMPARE(rs.value(u"bus_id"_s).toString(), u"R09"_s);
    QCOMPARE(rs.value(u"bus_serial_no"_s).toString(), u"1"_s);
    QCOMPARE(rs.value(u"route_id"_s).toString(), u"R09"_s);
    QCOMPARE(rs.value(u"route_name"_s).toString(), u"广州-番禺"_s);
    QCOMPARE(rs.value(u"end_station_id"_s).toString(), u"S2"_s);
    QCOMPARE(rs.value(u"end_station_name"_s).toString(), u"番禺"_s);
    QCOMPARE(rs.value(u"check_gate_id"_s).toString(), u"2"_s);
    QCOMPARE(rs.value(u"license_id"_s).toString(), u"V3"_s);
    QCOMPARE(rs.value(u"license"_s).toString(), u"粤B20003"_s);
    QCOMPARE(rs.value(u"total_seat"_s).toInt(), 40);
    QCOMPARE(rs.value(u"vehicle_type_code"_s).toString(), u"111"_s);
    QCOMPARE(rs.value(u"vehicle_type_name"_s).toString(), u"宇通45座"_s);
    QCOMPARE(rs.value(u"transport_company_id"_s).toString(), u"111"_s);
    QCOMPARE(rs.value(u"bus_start_time"_s).toDateTime(), day());
    // The workstation's unit owns it.
    QCOMPARE(stored(db, u"unit_code"_s, u"R09"_s, u"1"_s).toString(), u"440101"_s);
    // A day without rolling trips lists nothing.
    QCOMPARE(s.QueryRollingTripRecords(test::kGateCtx, QString(), QString(), day(1)).RecordCount(), 0);
}

// The byte limits are maxima: a code of 5 bytes (two Chinese characters
// and a letter), a serial of 3 and a destination of 50 are kept whole.
void TstRollingTripService::textsOfExactlyTheirLimitAreKept()
{
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService s(db);
    const QString destination = QString(25, QChar(0x987A)); // 顺 × 25: 50 bytes
    RecordSet row = tripRow(u"滚动A"_s, u"123"_s);
    row.setValue(u"end_station_name"_s, destination);
    s.AddRollingTrip(test::kGateCtx, row);
    QCOMPARE(stored(db, u"end_station_name"_s, u"滚动A"_s, u"123"_s).toString(), destination);
    row.setValue(u"total_seat"_s, u"45"_s);
    s.UpdateRollingTrip(test::kGateCtx, row);
    QCOMPARE(stored(db, u"total_seat"_s, u"滚动A"_s, u"123"_s).toInt(), 45);
    // One byte more is refused.
    row.setValue(u"end_station_name"_s, destination + u"A"_s);
    QVERIFY(refusalOf([&] { s.UpdateRollingTrip(test::kGateCtx, row); }).contains(u"end_station_name"_s));
}

void TstRollingTripService::listsADayInCodeAndSerialOrder()
{
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService s(db);
    for (const QString &serial : {u"10"_s, u"2"_s, u"1"_s})
        s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, serial));
    s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"1"_s, u"V3"_s, day(1)));
    QCOMPARE(listed(s.QueryRollingTripRecords(test::kGateCtx, QString(), QString(), day())),
             QStringList({u"R01-1"_s, u"R01-2"_s, u"R09-1"_s, u"R09-2"_s, u"R09-10"_s}));
    QCOMPARE(listed(s.QueryRollingTripRecords(test::kGateCtx, u"R09"_s, QString(), day())),
             QStringList({u"R09-1"_s, u"R09-2"_s, u"R09-10"_s}));
    QCOMPARE(listed(s.QueryRollingTripRecords(test::kGateCtx, QString(), QString(), day(1))),
             QStringList({u"R09-1"_s}));
    // Without a day there is no list to give.
    QVERIFY(!refusalOf([&] { s.QueryRollingTripRecords(test::kGateCtx, QString(), QString(), NoDate()); })
                 .isEmpty());
}

void TstRollingTripService::anotherUnitsTripsAreNeverSeen()
{
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService s(db);
    s.AddRollingTrip(kOtherUnitCtx, tripRow(u"R77"_s, u"1"_s));
    db.exec(u"INSERT INTO rolling_trips (station_code, bus_date, bus_id, bus_serial_no, license_id) VALUES ('440100001', ?, 'R88', '1', 'V3')"_s,
            {day()});
    // Ours (R01 of the fixture) and the trip stored without a unit; never R77.
    QCOMPARE(listed(s.QueryRollingTripRecords(test::kGateCtx, QString(), QString(), day())),
             QStringList({u"R01-1"_s, u"R01-2"_s, u"R88-1"_s}));
    QCOMPARE(s.QueryRollingTripRecords(test::kGateCtx, u"R77"_s, u"1"_s, day()).RecordCount(), 0);
    QCOMPARE(listed(s.QueryRollingTripRecords(kOtherUnitCtx, QString(), QString(), day())),
             QStringList({u"R77-1"_s, u"R88-1"_s}));

    int code = 0;
    RecordSet change = tripRow(u"R77"_s, u"1"_s, u"V1"_s);
    QVERIFY(!refusalOf([&] { s.UpdateRollingTrip(test::kGateCtx, change); }, &code).isEmpty());
    QCOMPARE(code, svcerr::NotFound);
    QVERIFY(!refusalOf([&] { s.DeleteRollingTrip(test::kGateCtx, u"R77"_s, u"1"_s, day()); }, &code).isEmpty());
    QCOMPARE(code, svcerr::NotFound);
    QCOMPARE(stored(db, u"license_id"_s, u"R77"_s, u"1"_s).toString(), u"V3"_s);
    // A malformed context names no unit: refused, never "every unit".
    QVERIFY(!refusalOf([&] { s.QueryRollingTripRecords(u"wg"_s, QString(), QString(), day()); }).isEmpty());
}

void TstRollingTripService::addRefusesAnExistingTrip()
{
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService s(db);
    s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"1"_s, u"V3"_s));
    int code = 0;
    const QString why = refusalOf([&] { s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"1"_s, u"V1"_s)); },
                                  &code);
    QVERIFY2(why.contains(u"R09-1"_s) && why.contains(u"已经存在"_s), qPrintable(why));
    QCOMPARE(code, svcerr::Constraint);
    QCOMPARE(stored(db, u"license_id"_s, u"R09"_s, u"1"_s).toString(), u"V3"_s);
    // Another unit's trip of that key is not overwritten either.
    QVERIFY(!refusalOf([&] { s.AddRollingTrip(kOtherUnitCtx, tripRow(u"R09"_s, u"1"_s, u"V1"_s)); }).isEmpty());
    QCOMPARE(stored(db, u"unit_code"_s, u"R09"_s, u"1"_s).toString(), u"440101"_s);
    // The fixture's trip, added by hand, is a key like any other.
    QVERIFY(!refusalOf([&] { s.AddRollingTrip(test::kGateCtx, tripRow(u"R01"_s, u"2"_s)); }).isEmpty());
    QCOMPARE(tripCount(db), 3);
}

void TstRollingTripService::badRowsAreRefusedAndNothingWritten_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("mentions");
    const struct { const char *name; const char16_t *field; QVariant value; const char16_t *mentions; } cases[] = {
        {"no day", u"bus_date", QVariant(), u"日期"},
        {"the no-date day", u"bus_date", QVariant(NoDate()), u"日期"},
        {"empty code", u"bus_id", QVariant(u"  "_s), u"车次代码"},
        {"code over 5 bytes", u"bus_id", QVariant(u"滚动车"_s), u"bus_id"},
        {"empty serial", u"bus_serial_no", QVariant(QString()), u"车次序号"},
        {"serial over 3 bytes", u"bus_serial_no", QVariant(u"1234"_s), u"bus_serial_no"},
        {"serial with a dash", u"bus_serial_no", QVariant(u"1-2"_s), u"-"},
        {"no route", u"route_id", QVariant(QString()), u"线路"},
        {"unknown route", u"route_id", QVariant(u"R404"_s), u"R404"},
        {"no gate", u"check_gate_id", QVariant(QString()), u"检票口"},
        {"unknown gate", u"check_gate_id", QVariant(u"9"_s), u"检票口"},
        {"no vehicle", u"license_id", QVariant(QString()), u"车辆"},
        {"unknown vehicle", u"license_id", QVariant(u"K404"_s), u"K404"},
        {"seats not a number", u"total_seat", QVariant(u"四十"_s), u"座位数"},
        {"negative seats", u"total_seat", QVariant(u"-1"_s), u"座位数"},
    };
    for (const QString &backend : {u"sqlite"_s, u"postgres"_s})
        for (const auto &c : cases)
            QTest::addRow("%s %s", c.name, qPrintable(backend))
                << backend << QString::fromUtf16(c.field) << c.value << QString::fromUtf16(c.mentions);
}

void TstRollingTripService::badRowsAreRefusedAndNothingWritten()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QString, mentions);
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService s(db);
    RecordSet row = tripRow(u"R09"_s, u"5"_s);
    row.setValue(field, value);
    const QString why = refusalOf([&] { s.AddRollingTrip(test::kGateCtx, row); });
    QVERIFY2(why.contains(mentions), qPrintable(why));
    QCOMPARE(tripCount(db), 2);
    // The same row is no better as a rewrite of an existing trip.
    s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"5"_s));
    if (field != u"bus_date"_s && field != u"bus_id"_s && field != u"bus_serial_no"_s) {
        QVERIFY(!refusalOf([&] { s.UpdateRollingTrip(test::kGateCtx, row); }).isEmpty());
        QCOMPARE(stored(db, field == u"total_seat"_s ? u"total_seat"_s : u"license_id"_s, u"R09"_s, u"5"_s)
                     .toString(),
                 field == u"total_seat"_s ? u"40"_s : u"V3"_s);
    }
    // An empty record set is refused, not a crash.
    QVERIFY(!refusalOf([&] { s.AddRollingTrip(test::kGateCtx, RollingTripService::GetRollingTripTemplate()); })
                 .isEmpty());
}

void TstRollingTripService::updateRewritesTheKeyedTripOnly()
{
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService s(db);
    s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"1"_s));
    s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"2"_s));
    s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"1"_s, u"V3"_s, day(1)));

    RecordSet change = tripRow(u"R09"_s, u"1"_s, u"V1"_s);
    change.setValue(u"route_id"_s, u"R01"_s);
    change.setValue(u"end_station_id"_s, u"S3"_s);
    change.setValue(u"end_station_name"_s, u"顺德"_s);
    change.setValue(u"check_gate_id"_s, u"3"_s);
    change.setValue(u"total_seat"_s, u"45"_s);
    change.setValue(u"vehicle_type_name"_s, u"金龙"_s);
    s.UpdateRollingTrip(test::kGateCtx, change);

    RecordSet rs = s.QueryRollingTripRecords(test::kGateCtx, u"R09"_s, u"1"_s, day());
    QCOMPARE(rs.RecordCount(), 1);
    QCOMPARE(rs.value(u"license"_s).toString(), u"粤A10001"_s);
    QCOMPARE(rs.value(u"route_name"_s).toString(), u"广州-顺德"_s);
    QCOMPARE(rs.value(u"end_station_name"_s).toString(), u"顺德"_s);
    QCOMPARE(rs.value(u"check_gate_id"_s).toString(), u"3"_s);
    QCOMPARE(rs.value(u"total_seat"_s).toInt(), 45);
    QCOMPARE(rs.value(u"vehicle_type_name"_s).toString(), u"金龙"_s);
    // The same code's other serial and the same trip of the next day stay.
    QCOMPARE(stored(db, u"license_id"_s, u"R09"_s, u"2"_s).toString(), u"V3"_s);
    QCOMPARE(stored(db, u"license_id"_s, u"R09"_s, u"1"_s, day(1)).toString(), u"V3"_s);

    // A trip that is not there is refused, never added.
    int code = 0;
    const QString why = refusalOf([&] { s.UpdateRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"3"_s)); }, &code);
    QVERIFY2(why.contains(u"R09-3"_s), qPrintable(why));
    QCOMPARE(code, svcerr::NotFound);
    QCOMPARE(tripCount(db), 5);
}

void TstRollingTripService::deleteRemovesTheKeyedTripOnly()
{
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService s(db);
    s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"1"_s));
    s.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"1"_s, u"V3"_s, day(1)));
    s.DeleteRollingTrip(test::kGateCtx, u" R09 "_s, u"1"_s, QDateTime(day().date(), QTime(9, 30)));
    QVERIFY(!stored(db, u"bus_id"_s, u"R09"_s, u"1"_s).isValid());
    QVERIFY(stored(db, u"bus_id"_s, u"R09"_s, u"1"_s, day(1)).isValid());
    QCOMPARE(tripCount(db), 3);
    int code = 0;
    QVERIFY(!refusalOf([&] { s.DeleteRollingTrip(test::kGateCtx, u"R09"_s, u"1"_s, day()); }, &code).isEmpty());
    QCOMPARE(code, svcerr::NotFound);
    QCOMPARE(tripCount(db), 3);
}

void TstRollingTripService::departedTripsStayAsTheyLeft()
{
    CG_FRESH_DB(db);
    seed(db);
    RollingTripService s(db);
    db.exec(u"UPDATE rolling_trips SET out_status = 1, exit_time = ? WHERE bus_id = 'R01' AND bus_serial_no = '1'"_s,
            {test::gateNow()});
    RecordSet change = tripRow(u"R01"_s, u"1"_s, u"V1"_s);
    QVERIFY(refusalOf([&] { s.UpdateRollingTrip(test::kGateCtx, change); }).contains(u"已出站"_s));
    QVERIFY(refusalOf([&] { s.DeleteRollingTrip(test::kGateCtx, u"R01"_s, u"1"_s, day()); }).contains(u"已出站"_s));
    QCOMPARE(stored(db, u"license_id"_s, u"R01"_s, u"1"_s).toString(), u"V3"_s);
    // Its sibling, still waiting, can be changed.
    s.UpdateRollingTrip(test::kGateCtx, tripRow(u"R01"_s, u"2"_s, u"V1"_s));
    QCOMPARE(stored(db, u"license_id"_s, u"R01"_s, u"2"_s).toString(), u"V1"_s);
}

void TstRollingTripService::routeStationsInRunningOrder()
{
    CG_FRESH_DB(db);
    seed(db);
    ScrollTripService routes(db);
    QVERIFY(routes.SelectRoute(test::kGateCtx, u" R01 "_s));
    const Array2D stops = routes.GetRouteStations();
    QCOMPARE(ArrayCount(stops, 1), 3);
    QCOMPARE(ArrayCount(stops, 2), 3);
    QStringList seen;
    for (int r = 1; r <= 3; ++r)
        seen << stops.at(r, 1).toString() + u"/"_s + stops.at(r, 2).toString() + u"/"_s + stops.at(r, 3).toString();
    QCOMPARE(seen, QStringList({u"S1/1/天河"_s, u"S2/2/番禺"_s, u"S3/3/顺德"_s}));

    // A route without stops, and an unknown route after a known one: no rows.
    QVERIFY(routes.SelectRoute(test::kGateCtx, u"R02"_s));
    QCOMPARE(ArrayCount(routes.GetRouteStations(), 1), 0);
    QVERIFY(routes.SelectRoute(test::kGateCtx, u"R01"_s));
    QVERIFY(!routes.SelectRoute(test::kGateCtx, u"R404"_s));
    QCOMPARE(ArrayCount(routes.GetRouteStations(), 1), 0);
}

void TstRollingTripService::addedTripLeavesThroughTheGateByCard()
{
    CG_FRESH_DB(db);
    seed(db);
    // Two more vehicles with cards and a passed condition check: V5 runs our
    // rolling trip, V6 another unit's.
    db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id, service_kind) VALUES "
            u"('V5', '粤A10005', '0000000005', '正常'), ('V6', '粤A10006', '0000000006', '正常')"_s);
    const QDateTime checked = test::gateNow().addSecs(-3600);
    db.exec(u"INSERT INTO condition_checks (station_code, license_id, license, ic_card_id, check_date, cond_index, cond_status, "
            u"cond_checker, cond_time, started_at, cancelled) SELECT '440100001', license_id, license, ic_card_id, ?, 1, 1, "
            u"'李检', ?, ?, 0 FROM vehicles WHERE license_id IN ('V5', 'V6')"_s,
            {QDateTime(checked.date(), QTime(0, 0)), checked, checked});
    RollingTripService trips(db);
    trips.AddRollingTrip(test::kGateCtx, tripRow(u"R09"_s, u"1"_s, u"V5"_s));
    trips.AddRollingTrip(kOtherUnitCtx, tripRow(u"R77"_s, u"1"_s, u"V6"_s));

    // The gate's and the dispatch centre's rolling list of the day.
    CheckService checks(db, test::fixtureClock());
    const RecordSet list = checks.QueryRollingTrips(test::kGateCtx, day(), u"R09"_s, QString(), {}, {}, {}, 1);
    QCOMPARE(list.RecordCount(), 1);
    QCOMPARE(list.valueAt(0, u"bus_serial_no"_s).toString(), u"1"_s);
    QCOMPARE(list.valueAt(0, u"license_tag_no"_s).toString(), u"粤A10005"_s);
    QCOMPARE(list.valueAt(0, u"ic_card_id"_s).toString(), u"0000000005"_s);
    QCOMPARE(list.valueAt(0, u"end_station_name"_s).toString(), u"番禺"_s);
    QCOMPARE(list.valueAt(0, u"OutStatus"_s).toInt(), 0);

    // The dispatcher issues its route sheet; the card takes it out.
    QVERIFY(checks.IssueRouteSheet(test::kGateCtx, day(), u"R09-1"_s, u"粤A10005"_s, test::gateNow(), 1,
                                   u"调度"_s, u"440101"_s));
    const QString text =
        checks.GetDepartureCheckText(test::kGateCtx, day(), QString(), QString(), u"0000000005"_s, 30, u"440101"_s);
    QVERIFY2(text.contains(u"R09-1"_s), qPrintable(text));
    const QString out = checks.SetDepartureStatus(test::kGateCtx, day(), QString(), QString(), u"王门检"_s,
                                                  FormatDateTime(test::gateNow()), {}, {}, 1, u"0000000005"_s,
                                                  u"30"_s, u"440101"_s, false);
    QCOMPARE(out, u"R09-1"_s);
    QCOMPARE(stored(db, u"out_status"_s, u"R09"_s, u"1"_s).toInt(), 1);
    QCOMPARE(checks.QueryRollingTrips(test::kGateCtx, day(), u"R09"_s, QString(), {}, {}, {}, 1)
                 .valueAt(0, u"OutStatus"_s)
                 .toInt(),
             1);
    // Having left, it is part of the day's record.
    QVERIFY(!refusalOf([&] { trips.DeleteRollingTrip(test::kGateCtx, u"R09"_s, u"1"_s, day()); }).isEmpty());

    // Another unit's rolling trip does not leave through this unit's gate.
    const QString other = checks.SetDepartureStatus(test::kGateCtx, day(), QString(), QString(), u"王门检"_s,
                                                    FormatDateTime(test::gateNow()), {}, {}, 1, u"0000000006"_s,
                                                    u"30"_s, u"440101"_s, false);
    QVERIFY2(IsRefusal(other), qPrintable(other));
    QCOMPARE(stored(db, u"out_status"_s, u"R77"_s, u"1"_s).toInt(), 0);
}

QTEST_GUILESS_MAIN(TstRollingTripService)
#include "tst_rollingtripservice.moc"
