#pragma once

#include "core/recordset.h"

#include <QDateTime>
#include <QString>

namespace cg {

class Clock;
class Database;

// Vehicles and driver-vehicle arrangements.
class VehicleService {
public:
    VehicleService(Database &db, const Clock &clock) : m_db(db), m_clock(clock) {}

    // Vehicles matching a filter fragment (columns, also with the alias v.:
    // license_id, license, ic_card_id, company_name, owner, model_id,
    // service_kind, status, cond_status, return_status, is_cond), ordered by
    // an ORDER BY text. arrangeDate = the no-date value means no arrangement
    // condition; any other date keeps the vehicles arranged on that day
    // (arranged = true) or not arranged on it (false).
    // Fields: license_id, license, ic_card_id, company_name, Owner, model_id,
    // seat_weight_num, service_kind, Status, driver_num, create_date, Memo,
    // is_cond, return_status, return_time, return_checker, cond_status,
    // cond_time.
    RecordSet QueryVehicles(const QString &context, const QString &where, const QString &orderBy,
                            const QDateTime &arrangeDate, bool arranged);

    // ---- the vehicle record (vehicleservice_record.cpp) ----------------
    // An empty record set with the columns AddVehicle and UpdateVehicle
    // read: license_id, license, model_id, service_kind, Owner,
    // company_name, Status, seat_weight_num, create_date, ic_card_id,
    // driver_num, Memo.
    static RecordSet GetVehicleTemplate();
    // Adds the vehicle of the record set's current row (texts trimmed) and
    // returns its code. Refused (ServiceError), with nothing written,
    // without a code or a plate, for a text over its byte limit, a status
    // other than 0/1, negative seats, a driver count under 1, a code that
    // is taken, or a plate or IC card another vehicle already uses (the
    // message names that vehicle).
    QString AddVehicle(const QString &context, const RecordSet &row);
    // Rewrites the vehicle with code id from the row, with the same checks.
    // The code itself cannot change; a vehicle that does not exist is
    // refused. Its return and condition state are kept.
    void UpdateVehicle(const QString &context, const QString &id, const RecordSet &row);
    // Deletes the vehicle. False, with the reason in *reason, when there is
    // no such vehicle, it is still arranged to a driver, or a trip of today
    // or later (timetable or rolling) still names it. Past records keep
    // their plate.
    bool DeleteVehicle(const QString &context, const QString &id, QString *reason = nullptr);

private:
    Database &m_db;
    const Clock &m_clock;
};

} // namespace cg
