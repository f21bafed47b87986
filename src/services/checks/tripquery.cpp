#include "services/checks/tripquery.h"

#include "core/dates.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"
#include "services/checks/tripdrivers.h"
#include "services/checks/vehiclestate.h"

using namespace Qt::StringLiterals;

namespace cg {

QList<RecordSet::Field> tripShape(bool rolling)
{
    using FT = FieldType;
    QList<RecordSet::Field> s = {
        {u"bus_id"_s, FT::Text, 20},
        {u"bus_date"_s, FT::DateTime, 0},
        {u"bus_start_time"_s, FT::DateTime, 0},
        {u"route_id"_s, FT::Text, 20},
        {u"route_name"_s, FT::Text, 50},
        {u"end_station_id"_s, FT::Text, 20},
        {u"end_station_name"_s, FT::Text, 50},
        {u"check_gate_id"_s, FT::Text, 20},
        {u"license_id"_s, FT::Text, 10},
        {u"license_tag_no"_s, FT::Text, 20},
        {u"ic_card_id"_s, FT::Text, 20},
        {u"vehicle_type_name"_s, FT::Text, 50},
        {u"total_seat"_s, FT::Integer, 0},
        {u"transport_company_id"_s, FT::Text, 20},
        {u"transport_company_short_name"_s, FT::Text, 50},
        {u"sale_num"_s, FT::Integer, 0},
        {u"check_num"_s, FT::Integer, 0},
        {u"service_kind"_s, FT::Text, 20},
        {u"bus_type_name"_s, FT::Text, 20},
        {u"StateStatus"_s, FT::Integer, 0},
        {u"driver_verify_status"_s, FT::Integer, 0},
        {u"SchemeStatus"_s, FT::Integer, 0},
        {u"scheme_time"_s, FT::DateTime, 0},
        {u"OutStatus"_s, FT::Integer, 0},
        {u"exit_time"_s, FT::DateTime, 0},
        {u"ReturnStatus"_s, FT::Integer, 0},
        {u"return_time"_s, FT::DateTime, 0},
        {u"AppearanceStatus"_s, FT::Integer, 0},
        {u"face_check_num"_s, FT::Integer, 0},
        {u"face_check_time"_s, FT::DateTime, 0},
        {u"face_checker"_s, FT::Text, 20},
        {u"luggage_check_status"_s, FT::Integer, 0},
    };
    if (rolling)
        s.append({u"bus_serial_no"_s, FT::Text, 3});
    return s;
}

namespace {

// A trip list's lamps depend on "now"; a caller that forgot to pass its
// clock's time is a programming error, never a silent use of the system clock.
QDateTime requireNow(const TripFilter &f)
{
    if (!f.now.isValid())
        throw ServiceError(svcerr::BadArgument, u"车次查询缺少当前时间"_s);
    if (f.station.isEmpty())
        throw ServiceError(svcerr::BadArgument, u"车次查询缺少站点编码"_s);
    return f.now;
}

// The no-date value stands in for every missing date-time of a trip row.
void fillMissingDates(RecordSet &rs)
{
    static const QStringList dateFields = {u"scheme_time"_s, u"exit_time"_s, u"return_time"_s,
                                           u"face_check_time"_s};
    for (int r = 0; r < rs.RecordCount(); ++r)
        for (const QString &f : dateFields)
            if (!rs.valueAt(r, f).isValid())
                rs.setValueAt(r, f, NoDate());
    rs.MoveFirst();
}

void addCommonFilters(const TripFilter &f, const QString &alias, QString &where, QVariantList &binds)
{
    // A condition on the trip table (%1: its alias) and its bound value.
    const auto add = [&](const QString &condition, const QVariant &value) {
        where += condition.arg(alias);
        binds << value;
    };
    add(u" AND %1.station_code = ?"_s, f.station);
    if (f.busDate.isValid() && !IsNoDate(f.busDate))
        add(u" AND %1.bus_date = ?"_s, DayOf(f.busDate));
    if (!f.busId.isEmpty())
        add(u" AND %1.bus_id = ?"_s, f.busId);
    if (f.from.isValid())
        add(u" AND %1.bus_start_time >= ?"_s, f.from);
    if (f.to.isValid())
        add(u" AND %1.bus_start_time <= ?"_s, f.to);
    if (!f.unitCode.isEmpty())
        add(u" AND (%1.unit_code = ? OR %1.unit_code IS NULL OR %1.unit_code = '')"_s, f.unitCode);
    if (!f.driverNo.isEmpty()) {
        // Trips the driver may drive on their day (tripdrivers.h).
        const MayDriveSql may = mayDriveCondition(u"?"_s, alias + u".license_id"_s, alias + u".route_id"_s,
                                                  alias + u".bus_date"_s, {f.driverNo});
        where += u" AND "_s + may.sql;
        binds += may.binds;
    }
}

QString likePattern(const QString &text)
{
    QString escaped = text;
    escaped.replace(u"\\"_s, u"\\\\"_s).replace(u"%"_s, u"\\%"_s).replace(u"_"_s, u"\\_"_s);
    return u"%"_s + escaped + u"%"_s;
}

// The filters both trip tables share, the plate filter on the column
// plate, the order and the read.
RecordSet selectTrips(Database &db, const TripFilter &f, QString sql, const QString &plate, const QString &order,
                      bool rolling)
{
    QVariantList binds;
    addCommonFilters(f, u"t"_s, sql, binds);
    if (!f.licenseLike.isEmpty()) {
        sql += u" AND "_s + plate + u' ' + db.dialect().likeCaseInsensitive() + u" ? ESCAPE '\\'"_s;
        binds << likePattern(f.licenseLike);
    }
    if (!f.licenseExact.isEmpty()) {
        sql += u" AND "_s + plate + u" = ?"_s;
        binds << f.licenseExact;
    }
    sql += u" ORDER BY "_s + order;
    RecordSet rs = db.select(sql, binds, tripShape(rolling));
    fillMissingDates(rs);
    return rs;
}

} // namespace

RecordSet queryTrips(Database &db, const TripFilter &f)
{
    const QDateTime since = conditionValidSince(db, requireNow(f));
    QString sql = uR"(SELECT t.bus_id, t.bus_date, t.bus_start_time, t.route_id,
  COALESCE(t.route_name, r.route_name, '') AS route_name, t.end_station_id, t.end_station_name,
  t.check_gate_id, t.license_id, t.license_tag_no, COALESCE(v.ic_card_id, '') AS ic_card_id,
  t.vehicle_type_name, t.total_seat, t.transport_company_id, t.transport_company_short_name,
  t.sale_num, t.check_num, COALESCE(v.service_kind, '') AS service_kind, t.bus_type_name,
  %1 AS StateStatus, t.driver_verify_status, t.scheme_status AS SchemeStatus, t.scheme_time,
  t.out_status AS OutStatus, t.exit_time, COALESCE(rs.return_status, 0) AS ReturnStatus, rs.return_time,
  t.appearance_status AS AppearanceStatus, t.face_check_num, t.face_check_time, t.face_checker,
  t.luggage_check_status
FROM trips t
LEFT JOIN vehicles v ON v.license_id = t.license_id
LEFT JOIN vehicle_return_states rs ON rs.station_code = t.station_code AND rs.license_id = t.license_id
LEFT JOIN routes r ON r.route_id = t.route_id
WHERE 1 = 1)"_s.arg(conditionStateSql(u"t.license_tag_no"_s, u"v.is_cond"_s, u"t.station_code"_s, since));
    return selectTrips(db, f, sql, u"t.license_tag_no"_s, u"t.bus_start_time, t.bus_id"_s, false);
}

RecordSet queryRollingTrips(Database &db, const TripFilter &f)
{
    const QDateTime since = conditionValidSince(db, requireNow(f));
    QString sql = uR"(SELECT t.bus_id, t.bus_date, t.bus_start_time, t.route_id,
  COALESCE(r.route_name, '') AS route_name, t.end_station_id, t.end_station_name,
  t.check_gate_id, t.license_id, COALESCE(v.license, '') AS license_tag_no,
  COALESCE(v.ic_card_id, '') AS ic_card_id, t.vehicle_type_name, t.total_seat, t.transport_company_id,
  COALESCE(c.short_name, v.company_name, '') AS transport_company_short_name,
  0 AS sale_num, t.check_num, COALESCE(v.service_kind, '') AS service_kind, '滚动' AS bus_type_name,
  %1 AS StateStatus, t.driver_verify_status, t.scheme_status AS SchemeStatus, t.scheme_time,
  t.out_status AS OutStatus, t.exit_time, COALESCE(rs.return_status, 0) AS ReturnStatus, rs.return_time,
  t.appearance_status AS AppearanceStatus, t.face_check_num, t.face_check_time, t.face_checker,
  t.luggage_check_status, t.bus_serial_no
FROM rolling_trips t
LEFT JOIN vehicles v ON v.license_id = t.license_id
LEFT JOIN vehicle_return_states rs ON rs.station_code = t.station_code AND rs.license_id = t.license_id
LEFT JOIN routes r ON r.route_id = t.route_id
LEFT JOIN companies c ON c.company_code = t.transport_company_id
WHERE 1 = 1)"_s.arg(conditionStateSql(u"v.license"_s, u"v.is_cond"_s, u"t.station_code"_s, since));
    return selectTrips(db, f, sql, u"v.license"_s, u"t.bus_id, t.bus_serial_no"_s, true);
}

void updateTrip(Database &db, const QString &station, const QString &set, QVariantList values, const QDateTime &day,
                const QString &busId, bool rolling, const QString &serial)
{
    values << station << day << busId;
    if (rolling) {
        values << serial;
        db.exec(u"UPDATE rolling_trips SET "_s + set
                    + u" WHERE station_code = ? AND bus_date = ? AND bus_id = ? AND bus_serial_no = ?"_s,
                values);
    } else {
        db.exec(u"UPDATE trips SET "_s + set + u" WHERE station_code = ? AND bus_date = ? AND bus_id = ?"_s, values);
    }
}

} // namespace cg
