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

private:
    Database &m_db;
    const Clock &m_clock;
};

} // namespace cg
