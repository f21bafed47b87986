#pragma once

#include "core/recordset.h"

#include <QDateTime>
#include <QString>

namespace cg {

class Database;

// Which driver drives which vehicle over which period (the arrangements).
class ArrangementService {
public:
    explicit ArrangementService(Database &db) : m_db(db) {}

    // Arrangements matching a filter fragment and the key parts given. In
    // the fragment the arrangement is vd and its vehicle v: vd.license_id,
    // vd.driver_id, vd.driver_name, vd.start_date, vd.end_date, vd.memo,
    // v.license, v.company_name, v.owner, v.model_id, v.status (bare names
    // mean the same columns). A non-empty driverId or vehicleCode keeps only
    // that driver or vehicle; a startDate other than the no-date value keeps
    // the arrangement starting on that day. Ordered by orderBy (same
    // columns), else by vehicle code, driver and start.
    // Fields: license_id, license, driver_id, driver_name (the driver's name
    // today), company_name, Owner, model_id, start_date, end_date, Memo.
    RecordSet QueryArrangements(const QString &context, const QString &where, const QString &driverId,
                                const QString &vehicleCode, const QDateTime &startDate, const QString &orderBy);

    // An empty record set with the columns SaveArrangements reads:
    // license_id, driver_id, driver_name, start_date, end_date, Memo.
    static RecordSet GetArrangementTemplate();

    // Saves arrangements of driver driverId, in one transaction: each row
    // replaces the driver's arrangement with the same vehicle and start day,
    // or is added. With originalStart (modifying one arrangement) the one
    // row replaces exactly the arrangement (its vehicle, driverId,
    // originalStart), its substitutions following its new start. False,
    // with the reason and nothing written, for an empty set, a row of
    // another driver, an unknown driver or vehicle, an end before the
    // start, or a period that overlaps another arrangement of the same
    // driver and vehicle (also one in the same set). The driver's
    // arrangements with other vehicles are never touched.
    bool SaveArrangements(const QString &context, const QString &driverId, const RecordSet &rows,
                          QString *reason = nullptr, const QDateTime &originalStart = QDateTime());
    // Deletes the arrangement (vehicle, driver, starting that day) and its
    // substitutions. False, with the reason, when there is none.
    bool DeleteArrangement(const QString &context, const QString &vehicleCode, const QString &driverId,
                           const QDateTime &startDate, QString *reason = nullptr);
    // Records that substituteId drives for driverId on the vehicle from
    // start to end (days), within the arrangement starting arrangementStart.
    // For those days the substitute, not the arranged driver, gets the
    // vehicle's trips. False, with the reason and nothing written, when the
    // arrangement does not exist, the substitute is unknown or is the
    // arranged driver, the end is before the start, the period is not
    // within the arrangement's, or it overlaps another substitution of the
    // arrangement.
    bool SubstituteDriver(const QString &context, const QString &driverId, const QString &vehicleCode,
                          const QDateTime &arrangementStart, const QString &substituteId, const QDateTime &start,
                          const QDateTime &end, const QString &memo, QString *reason = nullptr);

private:
    Database &m_db;
};

} // namespace cg
