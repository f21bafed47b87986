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

private:
    Database &m_db;
};

} // namespace cg
