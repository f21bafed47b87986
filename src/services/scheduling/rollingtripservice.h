#pragma once

#include "core/recordset.h"

#include <QDateTime>
#include <QString>

namespace cg {

class Database;

// The rolling trips: trips outside the timetable added at the station, each
// identified by its trip code, its serial number within that code and its
// day. A rolling trip belongs to the unit of the workstation that added it
// (the unit of the session context "[operator][station][unit][flag]"); a
// workstation sees, changes and deletes its own unit's trips and those
// stored without a unit, never another unit's. Every write is one
// transaction. Refusals are ServiceError with the reason for the operator.
class RollingTripService {
public:
    explicit RollingTripService(Database &db) : m_db(db) {}

    // The rolling trips of busDate (any time of that day). Empty busId and
    // serialNo: all of that day; a busId: that code's runs; both: that one
    // trip. Ordered by code and serial number (2 before 10).
    // Fields: bus_date, bus_id, bus_serial_no, route_id, route_name,
    // end_station_id, end_station_name, check_gate_id, license_id, license
    // (the vehicle's plate), total_seat, vehicle_type_code, vehicle_type_name,
    // transport_company_id, transport_company_short_name, bus_start_time.
    RecordSet QueryRollingTripRecords(const QString &context, const QString &busId, const QString &serialNo,
                                      const QDateTime &busDate);

    // An empty record set with the written fields, in the record screen's
    // order: bus_date, bus_id, bus_serial_no, route_id, end_station_id,
    // end_station_name, check_gate_id, license_id, total_seat,
    // vehicle_type_name, vehicle_type_code, transport_company_id,
    // bus_start_time.
    static RecordSet GetRollingTripTemplate();

    // Adds the trip of the row's current record under the context's unit.
    // Refuses a (code, serial, day) that already exists -- it never
    // overwrites -- and a row that cannot be a trip (see the checks in
    // rollingtripservice.cpp: code, serial, day, route, gate, vehicle).
    void AddRollingTrip(const QString &context, const RecordSet &row);
    // Rewrites the trip keyed by the row's bus_id, bus_serial_no and
    // bus_date (the key itself is not changed). Refuses (NotFound) a trip
    // that does not exist or belongs to another unit.
    void UpdateRollingTrip(const QString &context, const RecordSet &row);
    // Removes one trip; NotFound when there is no such trip of this unit.
    void DeleteRollingTrip(const QString &context, const QString &busId, const QString &serialNo,
                           const QDateTime &busDate);

private:
    Database &m_db;
};

} // namespace cg
