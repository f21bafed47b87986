#include "core/clock.h"
#include "services/masterdata/vehicleservice.h"

#include "core/dates.h"
#include "services/database/database.h"
#include "services/database/fragment.h"
#include "services/checks/vehiclestate.h"
#include "services/station/coreservices.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// Columns a vehicle filter may name, bare or with the alias v. The return
// state and the condition lamp are the session's station's (st).
ColumnMap vehicleColumns(const QString &condState)
{
    const QString v = u"v"_s;
    ColumnMap m;
    m.addTableColumns(v, ColumnType::Text,
                      {u"license_id"_s, u"license"_s, u"ic_card_id"_s, u"company_name"_s, u"owner"_s, u"model_id"_s,
                       u"service_kind"_s});
    m.addTableColumns(v, ColumnType::Integer, {u"status"_s, u"seat_weight_num"_s, u"is_cond"_s});
    m.addTableColumns(v, ColumnType::DateTime, {u"create_date"_s});
    m.addQualified(v, u"return_status"_s, u"COALESCE(rs.return_status, 0)"_s, ColumnType::Integer);
    m.addQualified(v, u"return_time"_s, u"rs.return_time"_s, ColumnType::DateTime);
    m.addQualified(v, u"cond_status"_s, condState, ColumnType::Integer);
    return m;
}

// The vehicle record's fields as its screen writes them, then the station's
// return and condition state.
QList<RecordSet::Field> vehicleShape()
{
    using FT = FieldType;
    return VehicleService::GetVehicleTemplate().fields()
        + QList<RecordSet::Field>{
            {u"is_cond"_s, FT::Integer, 0},      {u"return_status"_s, FT::Integer, 0},
            {u"return_time"_s, FT::DateTime, 0}, {u"return_checker"_s, FT::Text, 20},
            {u"cond_status"_s, FT::Integer, 0},  {u"cond_time"_s, FT::DateTime, 0},
        };
}

} // namespace

RecordSet VehicleService::QueryVehicles(const QString &context, const QString &where, const QString &orderBy,
                                        const QDateTime &arrangeDate, bool arranged)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QDateTime since = conditionValidSince(m_db, m_clock.now());
    const QString condState = conditionStateSql(u"v.license"_s, u"v.is_cond"_s, u"st.station_code"_s, since);
    const ColumnMap columns = vehicleColumns(condState);
    const CompiledSql filter = compileWhere(where, columns, m_db.backend());
    const QString order = compileOrderBy(orderBy, columns);

    QString sql = uR"(SELECT v.license_id, v.license, v.ic_card_id, v.company_name, v.owner AS Owner, v.model_id,
  v.seat_weight_num, v.service_kind, v.status AS Status, v.driver_num, v.create_date, v.memo AS Memo,
  v.is_cond, COALESCE(rs.return_status, 0) AS return_status, rs.return_time, rs.return_checker,
  %1 AS cond_status,
  (SELECT MAX(c.cond_time) FROM condition_checks c WHERE c.station_code = st.station_code
     AND c.license = v.license AND c.cancelled = 0 AND c.cond_status IN (1, 2, 5)) AS cond_time
FROM vehicles v CROSS JOIN (SELECT CAST(? AS TEXT) AS station_code) st
LEFT JOIN vehicle_return_states rs ON rs.station_code = st.station_code AND rs.license_id = v.license_id
WHERE 1 = 1)"_s.arg(condState);
    QVariantList binds{station};
    if (!filter.sql.isEmpty()) {
        sql += u" AND "_s + filter.sql;
        binds += filter.binds;
    }
    if (arrangeDate.isValid() && !IsNoDate(arrangeDate)) {
        sql += arranged ? u" AND EXISTS"_s : u" AND NOT EXISTS"_s;
        // Arranged on D: an arrangement with start <= D <= end, by date
        // (a start stored with a time of day still counts for its day).
        sql += u" (SELECT 1 FROM arrangements a WHERE a.license_id = v.license_id"
               u" AND a.start_date < ? AND a.end_date >= ?)"_s;
        const QDateTime day = DayOf(arrangeDate);
        binds << day.addDays(1) << day;
    }
    sql += order.isEmpty() ? u" ORDER BY v.license_id"_s : u" ORDER BY "_s + order;
    RecordSet rs = m_db.select(sql, binds, vehicleShape());
    for (int r = 0; r < rs.RecordCount(); ++r) {
        if (!rs.valueAt(r, u"return_time"_s).isValid())
            rs.setValueAt(r, u"return_time"_s, NoDate());
        if (!rs.valueAt(r, u"cond_time"_s).isValid())
            rs.setValueAt(r, u"cond_time"_s, NoDate());
    }
    rs.MoveFirst();
    return rs;
}

} // namespace cg
