// The drivers of a trip, with their fingerprint templates, for the boarding
// confirmation at the gate.
#include "core/clock.h"
#include "services/masterdata/driverservice.h"

#include "core/dates.h"
#include "services/checks/tripdrivers.h"
#include "services/database/database.h"
#include "services/station/coreservices.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// MAX() of a date column: a date-time on PostgreSQL, text on SQLite.
QDateTime dateOf(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return {};
    return v.typeId() == QMetaType::QDateTime ? v.toDateTime() : ParseDateTime(v.toString());
}

QList<RecordSet::Field> tripDriverShape()
{
    using FT = FieldType;
    return {{u"driver_no"_s, FT::Text, 20},      {u"driver_name"_s, FT::Text, 20},
            {u"finger_value1"_s, FT::Text, 0},   {u"finger_value2"_s, FT::Text, 0},
            {u"finger_value3"_s, FT::Text, 0},   {u"finger_value4"_s, FT::Text, 0}};
}

} // namespace

// The trip is the one of that code on its vehicle, on the latest day up to
// today it runs (a rolling trip is named "code-serial"); without such a day,
// today. Its drivers are those checked in for it (valid check-ins, in the
// order they checked in); when nobody has checked in, the drivers who may
// drive it that day by the one rule of tripdrivers.h (arranged, an arranged
// driver replaced by his substitute while one drives for him, and drivers
// lent to the trip's route), ordered by driver number. Each driver brings
// his formal and backup templates as finger_value1 and finger_value2;
// finger_value3 and finger_value4 stay empty (a driver has two enrolled
// fingers). A driver without templates is listed all the same: the
// operator confirms him at the gate.
RecordSet DriverService::QueryTripDrivers(const QString &context, const QString &license, const QString &busId)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QString plate = license.trimmed();
    const QString code = busId.trimmed();
    const QDateTime today(m_clock.today(), QTime(0, 0));
    const QList<RecordSet::Field> tripShape = {{u"bus_date"_s, FieldType::DateTime, 0}};

    RecordSet trip = m_db.select(u"SELECT bus_date, license_id, route_id FROM trips WHERE station_code = ? "
                                 u"AND bus_id = ? AND license_tag_no = ? AND bus_date <= ? "
                                 u"ORDER BY bus_date DESC LIMIT 1"_s,
                                 {station, code, plate, today}, tripShape);
    if (trip.isEmpty()) {
        const qsizetype dash = code.lastIndexOf(u'-');
        if (dash > 0)
            trip = m_db.select(u"SELECT t.bus_date, t.license_id, t.route_id FROM rolling_trips t JOIN vehicles v "
                               u"ON v.license_id = t.license_id WHERE t.station_code = ? AND t.bus_id = ? "
                               u"AND t.bus_serial_no = ? AND v.license = ? AND t.bus_date <= ? "
                               u"ORDER BY t.bus_date DESC LIMIT 1"_s,
                               {station, code.left(dash), code.mid(dash + 1), plate, today}, tripShape);
    }
    QDateTime day = today;
    QString vehicleId, routeId;
    if (!trip.isEmpty()) {
        day = dateOf(trip.valueAt(0, u"bus_date"_s));
        vehicleId = trip.valueAt(0, u"license_id"_s).toString();
        routeId = trip.valueAt(0, u"route_id"_s).toString();
    } else {
        vehicleId = m_db.scalar(u"SELECT license_id FROM vehicles WHERE license = ?"_s, {plate}).toString();
    }
    day = DayOf(day);

    const QString fingers = u"COALESCE(d.fng_value, '') AS finger_value1, COALESCE(d.fng_value1, '') AS finger_value2, "
                            u"'' AS finger_value3, '' AS finger_value4"_s;
    RecordSet rs = m_db.select(
        u"SELECT c.driver_run_id AS driver_no, COALESCE(d.driver_name, c.driver_run_name) AS driver_name, "_s + fingers +
            u" FROM driver_checkins c LEFT JOIN drivers d ON d.driver_id = c.driver_run_id "
            u"WHERE c.station_code = ? AND c.bus_date = ? AND c.bus_id = ? AND c.is_driver = 1 "
            u"ORDER BY c.driver_report_time, c.id"_s,
        {station, day, code}, tripDriverShape());
    if (rs.RecordCount() == 0) {
        const MayDriveSql may = mayDriveCondition(u"d.driver_id"_s, u"?"_s, u"?"_s, u"?"_s, {}, {vehicleId},
                                                  {routeId}, {day});
        rs = m_db.select(u"SELECT d.driver_id AS driver_no, d.driver_name, "_s + fingers +
                             u" FROM drivers d WHERE "_s + may.sql + u" ORDER BY d.driver_id"_s,
                         may.binds, tripDriverShape());
    }
    rs.MoveFirst();
    return rs;
}

} // namespace cg
