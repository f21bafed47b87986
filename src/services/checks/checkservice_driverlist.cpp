// The driver check list and the forced driver pass: cancelling a check-in
// (报班) of a trip, listing the drivers lent or arranged to a route, and
// recording a driver check that passes without fingerprint.
#include "core/clock.h"
#include "services/checks/checkservice.h"

#include "services/checks/checknotifier.h"
#include "core/dates.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "services/checks/tripdrivers.h"
#include "services/checks/tripquery.h"
#include "services/database/serviceerror.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

constexpr int kDriverPassKind = 3;
constexpr int kLampDrawnPassed = 5;

// The trip a driver list works on. A timetable trip is named by its code; a
// rolling run by "code-serial" as the lists show it (the serial is what
// follows the last "-", trip codes may contain "-" themselves), or by its
// bare code when that code runs only once on the day. `key` is the name
// check-ins, forced releases and DriverCheck events carry: the timetable
// code, or "code-serial" for a rolling run.
struct ListTrip {
    bool found = false;
    bool rolling = false;
    QString busId;
    QString serial;
    QString key;
    QString vehicleId;
    QString plate;
    QString routeId;
    int lamp = 0;
};

ListTrip findListTrip(Database &db, const QString &station, const QDateTime &day, const QString &busId)
{
    ListTrip trip;
    const QList<RecordSet::Field> shape = {{u"driver_verify_status"_s, FieldType::Integer, 0}};
    RecordSet rs = db.select(u"SELECT license_id, license_tag_no, route_id, driver_verify_status FROM trips "
                             u"WHERE station_code = ? AND bus_date = ? AND bus_id = ?"_s,
                             {station, day, busId}, shape);
    if (!rs.isEmpty()) {
        rs.MoveFirst();
        trip.found = true;
        trip.busId = trip.key = busId;
        trip.vehicleId = rs.value(u"license_id"_s).toString();
        trip.plate = rs.value(u"license_tag_no"_s).toString();
        trip.routeId = rs.value(u"route_id"_s).toString();
        trip.lamp = rs.value(u"driver_verify_status"_s).toInt();
        return trip;
    }
    const QString rolling = u"SELECT t.bus_id, t.bus_serial_no, t.license_id, COALESCE(v.license, '') AS plate, "
                            u"t.route_id, t.driver_verify_status FROM rolling_trips t "
                            u"LEFT JOIN vehicles v ON v.license_id = t.license_id "
                            u"WHERE t.station_code = ? AND t.bus_date = ? "_s;
    const qsizetype dash = busId.lastIndexOf(u'-');
    if (dash > 0 && dash < busId.size() - 1)
        rs = db.select(rolling + u"AND t.bus_id = ? AND t.bus_serial_no = ?"_s,
                       {station, day, busId.left(dash), busId.mid(dash + 1)}, shape);
    if (rs.isEmpty()) {
        rs = db.select(rolling + u"AND t.bus_id = ?"_s, {station, day, busId}, shape);
        if (rs.RecordCount() != 1)
            return trip;
    }
    rs.MoveFirst();
    trip.found = true;
    trip.rolling = true;
    trip.busId = rs.value(u"bus_id"_s).toString();
    trip.serial = rs.value(u"bus_serial_no"_s).toString();
    trip.key = trip.busId + u'-' + trip.serial;
    trip.vehicleId = rs.value(u"license_id"_s).toString();
    trip.plate = rs.value(u"plate"_s).toString();
    trip.routeId = rs.value(u"route_id"_s).toString();
    trip.lamp = rs.value(u"driver_verify_status"_s).toInt();
    return trip;
}

// Takes the row lock of the trip named busId (a timetable code, or a rolling
// run as code-serial or by its bare code) for the rest of the transaction.
void lockTripRow(Database &db, const QString &station, const QDateTime &day, const QString &busId)
{
    db.lockRows(u"trips"_s, u"driver_verify_status"_s, u"station_code = ? AND bus_date = ? AND bus_id = ?"_s,
                {station, day, busId});
    db.lockRows(u"rolling_trips"_s, u"driver_verify_status"_s,
                u"station_code = ? AND bus_date = ? AND (bus_id = ? OR bus_id || '-' || bus_serial_no = ?)"_s,
                {station, day, busId, busId});
}

void storeLamp(Database &db, const QString &station, const QDateTime &day, const ListTrip &trip, int lamp)
{
    updateTrip(db, station, u"driver_verify_status = ?"_s, {lamp}, day, trip.busId, trip.rolling, trip.serial);
}

// The driver lamp a trip shows for its valid check-ins, by the rule the
// check-in itself follows: a trip that needs no driver check keeps 3, any
// valid check-in passes the check (1), none leaves it unchecked (0). A check
// that still stands on a forced pass (a valid check-in of a driver forced
// through for this trip no earlier than that check-in) stays drawn as
// passed (5).
int driverLampFor(Database &db, const QString &station, const QDateTime &day, const ListTrip &trip)
{
    if (trip.lamp == 3)
        return 3;
    const int valid = db.scalar(u"SELECT COUNT(*) FROM driver_checkins WHERE station_code = ? AND bus_date = ? "
                                u"AND bus_id = ? AND is_driver = 1"_s,
                                {station, day, trip.key})
                          .toInt();
    if (valid == 0)
        return 0;
    const int forced = db.scalar(u"SELECT COUNT(*) FROM driver_checkins c WHERE c.station_code = ? "
                                 u"AND c.bus_date = ? AND c.bus_id = ? "
                                 u"AND c.is_driver = 1 AND EXISTS (SELECT 1 FROM forced_releases f "
                                 u"WHERE f.station_code = c.station_code AND f.bus_date = c.bus_date "
                                 u"AND f.bus_id = c.bus_id AND f.driver_id = c.driver_run_id AND f.pass_type = 3 "
                                 u"AND f.operate_time >= c.driver_report_time)"_s,
                                 {station, day, trip.key})
                           .toInt();
    return forced > 0 ? kLampDrawnPassed : 1;
}

QString operatorNameOf(Database &db, const QString &operatorCode)
{
    const QString name =
        db.scalar(u"SELECT operator_name FROM operators WHERE operator_code = ?"_s, {operatorCode}).toString();
    return name.isEmpty() ? operatorCode : name;
}

} // namespace

// Cancels the valid check-in of one driver for one trip: the row stays as
// history with is_driver 0 and the time and operator of the cancellation.
// The trip's driver lamp is worked out again from the check-ins that remain
// and DriverCheck sends it, in the same transaction. Answers "" when
// cancelled, or a refusal when the driver has no valid check-in for the
// trip (also when another workstation cancelled it first). The route and
// plate are not needed to find the check-in.
QString CheckService::CancelDriverCheckIn(const QString &context, const QString &busIdIn, const QDateTime &busDate,
                                          const QString &driverNoIn, const QString &, const QString &)
{
    const QString busId = busIdIn.trimmed();
    const QString driverNo = driverNoIn.trimmed();
    if (busId.isEmpty() || driverNo.isEmpty() || !busDate.isValid() || IsNoDate(busDate))
        return u"没有选择车次或驾驶员，无法取消报班登记！"_s;
    const QDateTime day = DayOf(busDate);
    const SessionContext session = SessionContext::parse(context);

    QString answer;
    m_db.transact(
        [&] {
            answer.clear();
            // The trip's row lock before anything is read: a check-in at the
            // same moment is either seen by the count below or comes after
            // it, so the stored lamp never contradicts the check-ins.
            const QString &station = session.stationCode;
            lockTripRow(m_db, station, day, busId);
            ListTrip trip = findListTrip(m_db, station, day, busId);
            if (!trip.found)
                trip.key = busId; // a trip since removed: its check-ins can still be cancelled
            const QDateTime now = m_clock.now();
            const RecordSet cancelled = m_db.select(
                u"UPDATE driver_checkins SET is_driver = 0, cancel_time = ?, cancel_operator = ? "
                u"WHERE station_code = ? AND bus_date = ? AND bus_id = ? AND driver_run_id = ? AND is_driver = 1 "
                u"RETURNING id"_s,
                {QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second())),
                 operatorNameOf(m_db, session.operatorCode), station, day, trip.key, driverNo});
            if (cancelled.isEmpty()) {
                answer = u"驾驶员 %1 没有车次 %2 的有效报班登记，无需取消！"_s.arg(driverNo, busId);
                return;
            }
            if (!trip.found)
                return;
            const int lamp = driverLampFor(m_db, station, day, trip);
            storeLamp(m_db, station, day, trip, lamp);
            CheckEvents::driverCheck(m_db, session.stationCode, trip.key, day, lamp);
        },
        Database::TxRetry::OnConflict);
    return answer;
}

// Drivers who may drive the route today besides its regular drivers: those
// arranged to, or substituting on, a vehicle of one of the route's trips
// (timetable or rolling) today, and those lent to the route for a period
// that includes today (temporary_drivers). One row per driver, by name;
// route_id is the driver's own regular route.
RecordSet CheckService::QueryTemporaryDrivers(const QString &context, const QString &, const QString &routeIdIn,
                                              const QString &)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QString routeId = routeIdIn.trimmed();
    const QDateTime today(m_clock.today(), QTime(0, 0));
    const QString vehicles = u"(SELECT license_id FROM trips WHERE station_code = ? AND bus_date = ? AND route_id = ? "
                             u"UNION SELECT license_id FROM rolling_trips WHERE station_code = ? AND bus_date = ? "
                             u"AND route_id = ?)"_s;
    const QString sql = uR"(SELECT d.driver_id AS driver_no, d.driver_name, d.contract_sign_date, d.out_date,
  COALESCE(d.route_id, '') AS route_id
FROM drivers d WHERE d.driver_id IN (
  SELECT a.driver_id FROM arrangements a WHERE a.start_date <= ? AND a.end_date >= ? AND a.license_id IN %1
  UNION SELECT s.substitute_id FROM substitutions s WHERE s.start_date <= ? AND s.end_date >= ?
    AND s.license_id IN %1
  UNION SELECT t.driver_id FROM temporary_drivers t WHERE t.route_id = ? AND t.start_date <= ?
    AND t.end_date >= ?)
ORDER BY d.driver_name, d.driver_id)"_s.arg(vehicles);
    const QVariantList routeVehicles = {station, today, routeId, station, today, routeId};
    return m_db.select(sql,
                       QVariantList{today, today} + routeVehicles + QVariantList{today, today} + routeVehicles +
                           QVariantList{routeId, today, today},
                       {{u"driver_no"_s, FieldType::Text, 10},
                        {u"driver_name"_s, FieldType::Text, 10},
                        {u"contract_sign_date"_s, FieldType::DateTime, 0},
                        {u"out_date"_s, FieldType::DateTime, 0},
                        {u"route_id"_s, FieldType::Text, 10}});
}

// Records a driver check passed without fingerprint: the driver's valid
// check-in for the trip (added with the operator when he has none), the
// trip's driver lamp 5 (drawn as passed; a trip that needs no driver check
// keeps 3), and a forced release of kind 3 with the operator, time, cause,
// the trip's vehicle and the session's unit. DriverCheck goes out with the
// lamp, all in one transaction. A rolling run is named "code-serial".
// Answers "" when recorded, or a refusal for an unknown trip or driver.
QString CheckService::ForceDriverPass(const QString &context, const QString &busIdIn, const QDateTime &busDate,
                                      const QString &driverNoIn, const QDateTime &nowIn,
                                      const QString &operatorName, const QString &license, const QString &cause,
                                      int kind)
{
    if (kind != kDriverPassKind)
        throw ServiceError(svcerr::BadArgument, u"驾驶员强行通过的检验类别无效：%1"_s.arg(kind));
    const QString busId = busIdIn.trimmed();
    const QString driverNo = driverNoIn.trimmed();
    if (const QString refusal = driverOnTripRefusal(busId, driverNo, busDate, u"没有选择驾驶员，请重新选择！"_s);
        !refusal.isEmpty())
        return refusal;
    const QDateTime day = DayOf(busDate);
    QDateTime now = nowIn.isValid() ? nowIn : m_clock.now();
    now = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const SessionContext session = SessionContext::parse(context);

    QString answer;
    m_db.transact(
        [&] {
            answer.clear();
            const QString byOperator = operatorName.trimmed().isEmpty()
                                           ? operatorNameOf(m_db, session.operatorCode)
                                           : operatorName.trimmed();
            const QString &station = session.stationCode;
            lockTripRow(m_db, station, day, busId);
            const ListTrip trip = findListTrip(m_db, station, day, busId);
            if (!trip.found) {
                answer = u"车次 %1（%2）不存在，请重新选择车次！"_s.arg(busId, day.toString(u"yyyy-MM-dd"_s));
                return;
            }
            const QString driverName =
                m_db.scalar(u"SELECT driver_name FROM drivers WHERE driver_id = ?"_s, {driverNo}).toString();
            if (driverName.isEmpty()) {
                answer = u"驾驶员 %1 不在驾驶员档案中，请联系管理员！"_s.arg(driverNo);
                return;
            }
            // A valid check-in already there (his own fingerprint, or another
            // workstation's forced pass) stays as it is.
            m_db.exec(u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, "
                      u"driver_report_time, route_id, license, operator_name, is_driver) "
                      u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 1) ON CONFLICT DO NOTHING"_s,
                      {station, day, trip.key, driverNo, driverName, now, trip.routeId,
                       license.trimmed().isEmpty() ? trip.plate : license.trimmed(), byOperator});
            QString vehicleId = trip.vehicleId;
            if (vehicleId.isEmpty() && !license.trimmed().isEmpty())
                vehicleId = m_db.scalar(u"SELECT license_id FROM vehicles WHERE license = ?"_s, {license.trimmed()})
                                .toString();
            m_db.exec(u"INSERT INTO forced_releases (station_code, bus_date, bus_id, license_id, driver_id, pass_type, "
                      u"operator_name, operate_time, cause, unit_code) VALUES (?, ?, ?, ?, ?, 3, ?, ?, ?, ?)"_s,
                      {station, day, trip.key, vehicleId.isEmpty() ? QVariant() : QVariant(vehicleId), driverNo,
                       byOperator, now, cause.trimmed(), session.unitCode});
            const int lamp = trip.lamp == 3 ? 3 : kLampDrawnPassed;
            if (lamp != trip.lamp)
                storeLamp(m_db, station, day, trip, lamp);
            CheckEvents::driverCheck(m_db, session.stationCode, trip.key, day, lamp);
        },
        Database::TxRetry::OnConflict);
    return answer;
}

} // namespace cg
