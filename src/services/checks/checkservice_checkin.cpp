// Driver check-in (报班): recording a driver's fingerprint check-in for a
// trip and listing the check-ins of a trip or of a period.
#include "core/clock.h"
#include "services/checks/checkservice.h"

#include "services/checks/checknotifier.h"
#include "services/checks/tripdrivers.h"
#include "core/dates.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

const QString kAlreadyCheckedIn = u"指纹已通过，请勿重试！"_s;

bool validCheckInExists(Database &db, const QString &station, const QDateTime &busDate, const QString &busId,
                        const QString &driverNo)
{
    return db.scalar(u"SELECT COUNT(*) FROM driver_checkins WHERE station_code = ? AND bus_date = ? AND bus_id = ? "
                     u"AND driver_run_id = ? AND is_driver = 1"_s,
                     {station, busDate, busId, driverNo})
               .toInt() > 0;
}

// A driver may check in for a trip he may drive (tripdrivers.h).
bool driverBelongsToTrip(Database &db, const QDateTime &busDate, const QString &vehicleId, const QString &routeId,
                         const QString &driverNo)
{
    const MayDriveSql may = mayDriveCondition(u"?"_s, u"?"_s, u"?"_s, u"?"_s, {driverNo}, {vehicleId}, {routeId},
                                              {busDate});
    return db.scalar(u"SELECT COUNT(*) FROM drivers WHERE driver_id = ? AND "_s + may.sql,
                     QVariantList{driverNo} + may.binds)
               .toInt() > 0;
}

} // namespace

// The check-in of one driver for one trip of the day. The trip's driver check
// counts as passed as soon as one driver who belongs to the trip has checked
// in: its lamp becomes 1, unless the trip needs no driver check (3), which
// stays. A driver who does not belong to the trip is refused. Two
// workstations checking in the same driver for the same trip at once record
// it once: the unique index over the valid check-ins decides, and the later
// one gets the already-passed answer.
QString CheckService::CheckInDriver(const QString &context, const QString &busIdIn, const QDateTime &busDateIn,
                                    const QString &driverNoIn, const QDateTime &now, const QString &operatorName,
                                    const QString &routeId)
{
    const QString busId = busIdIn.trimmed();
    const QString driverNo = driverNoIn.trimmed();
    if (const QString refusal = driverOnTripRefusal(busId, driverNo, busDateIn, u"没有识别出驾驶员，请重按指纹！"_s);
        !refusal.isEmpty())
        return refusal;
    const QDateTime busDate = DayOf(busDateIn);
    const QDateTime reportTime = now.isValid() ? now : m_clock.now();
    const QString station = SessionContext::parse(context).stationCode;

    QString answer;
    m_db.transact([&] {
        answer.clear();
        // The trip's row lock first: a cancellation at the same moment
        // works its lamp out after this check-in, or this one after it.
        m_db.lockRows(u"trips"_s, u"driver_verify_status"_s, u"station_code = ? AND bus_date = ? AND bus_id = ?"_s,
                      {station, busDate, busId});
        RecordSet trip = m_db.select(
            u"SELECT license_id, license_tag_no, route_id, driver_verify_status FROM trips "
            u"WHERE station_code = ? AND bus_date = ? AND bus_id = ?"_s,
            {station, busDate, busId}, {{u"driver_verify_status"_s, FieldType::Integer, 0}});
        if (trip.isEmpty()) {
            answer = u"车次 %1（%2）不存在，请重新选择车次！"_s.arg(busId, busDate.toString(u"yyyy-MM-dd"_s));
            return;
        }
        trip.MoveFirst();
        RecordSet driver = m_db.select(u"SELECT driver_name FROM drivers WHERE driver_id = ?"_s, {driverNo});
        if (driver.isEmpty()) {
            answer = u"驾驶员 %1 不在驾驶员档案中，请联系管理员！"_s.arg(driverNo);
            return;
        }
        driver.MoveFirst();
        const QString driverName = driver.value(u"driver_name"_s).toString();
        const QString vehicleId = trip.value(u"license_id"_s).toString();
        const QString tripRoute = trip.value(u"route_id"_s).toString();
        if (!driverBelongsToTrip(m_db, busDate, vehicleId, tripRoute, driverNo)) {
            answer = u"%1 没有被安排驾驶车次 %2，请联系调度！"_s.arg(driverName, busId);
            return;
        }
        if (validCheckInExists(m_db, station, busDate, busId, driverNo)) {
            answer = kAlreadyCheckedIn;
            return;
        }
        // A concurrent check-in may have committed since the look-up above:
        // the unique index over the valid check-ins then takes no second
        // row (on PostgreSQL the insert waits for the other transaction).
        const RecordSet inserted = m_db.select(
            u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, "
            u"driver_report_time, route_id, license, operator_name, is_driver) "
            u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 1) ON CONFLICT DO NOTHING RETURNING id"_s,
            {station, busDate, busId, driverNo, driverName, reportTime,
             routeId.trimmed().isEmpty() ? tripRoute : routeId.trimmed(),
             trip.value(u"license_tag_no"_s).toString(), operatorName});
        if (inserted.isEmpty()) {
            answer = kAlreadyCheckedIn;
            return;
        }
        int lamp = trip.value(u"driver_verify_status"_s).toInt();
        if (lamp != 3) {
            lamp = 1;
            m_db.exec(u"UPDATE trips SET driver_verify_status = 1 WHERE station_code = ? AND bus_date = ? "
                      u"AND bus_id = ? AND driver_verify_status <> 3"_s,
                      {station, busDate, busId});
        }
        CheckEvents::driverCheck(m_db, station, busId, busDate, lamp);
    }, Database::TxRetry::OnConflict);
    return answer;
}

// Check-ins of one trip (the valid ones), or, when busDate is the no-date
// value, every check-in reported on the days from `from` to `to` (both
// whole days), cancelled ones too (is_driver 0).
RecordSet CheckService::QueryTripDriverRecords(const QString &context, const QDateTime &busDate,
                                               const QString &busId, const QDateTime &from, const QDateTime &to)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QList<RecordSet::Field> shape = {{u"bus_date"_s, FieldType::DateTime, 0},
                                           {u"bus_id"_s, FieldType::Text, 10},
                                           {u"driver_run_id"_s, FieldType::Text, 10},
                                           {u"driver_run_name"_s, FieldType::Text, 10},
                                           {u"driver_report_time"_s, FieldType::DateTime, 0},
                                           {u"is_driver"_s, FieldType::Integer, 0}};
    const QString columns =
        u"SELECT bus_date, bus_id, driver_run_id, driver_run_name, driver_report_time, is_driver "
        u"FROM driver_checkins "_s;
    if (busDate.isValid() && !IsNoDate(busDate)) {
        return m_db.select(columns + u"WHERE station_code = ? AND bus_date = ? AND bus_id = ? AND is_driver = 1 "
                                     u"ORDER BY driver_report_time, id"_s,
                           {station, DayOf(busDate), busId.trimmed()}, shape);
    }
    // The range compares days: the time of day of from and to is ignored,
    // and the last day counts whole.
    QString sql = columns + u"WHERE station_code = ?"_s;
    QVariantList binds{station};
    if (from.isValid() && !IsNoDate(from)) {
        sql += u" AND driver_report_time >= ?"_s;
        binds << DayOf(from);
    }
    if (to.isValid() && !IsNoDate(to)) {
        sql += u" AND driver_report_time < ?"_s;
        binds << DayOf(to).addDays(1);
    }
    sql += u" ORDER BY driver_report_time, id"_s;
    return m_db.select(sql, binds, shape);
}

} // namespace cg
