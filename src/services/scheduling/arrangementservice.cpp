#include "services/scheduling/arrangementservice.h"

#include "core/dates.h"
#include "services/database/database.h"
#include "services/database/fragment.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

const QString kDriverName = u"COALESCE(d.driver_name, vd.driver_name)"_s;

ColumnMap arrangementColumns()
{
    const QString vd = u"vd"_s, v = u"v"_s;
    ColumnMap m;
    m.addTableColumns(vd, ColumnType::Text, {u"license_id"_s, u"driver_id"_s, u"memo"_s});
    m.addTableColumns(vd, ColumnType::DateTime, {u"start_date"_s, u"end_date"_s});
    m.addTableColumns(v, ColumnType::Text, {u"license"_s, u"company_name"_s, u"owner"_s, u"model_id"_s});
    m.addTableColumns(v, ColumnType::Integer, {u"status"_s});
    m.addQualified(vd, u"driver_name"_s, kDriverName);
    return m;
}

} // namespace

RecordSet ArrangementService::QueryArrangements(const QString &, const QString &where, const QString &driverId,
                                                const QString &vehicleCode, const QDateTime &startDate,
                                                const QString &orderBy)
{
    const ColumnMap columns = arrangementColumns();
    const CompiledSql filter = compileWhere(where, columns, m_db.backend());
    const QString order = compileOrderBy(orderBy, columns);

    QString sql = uR"(SELECT vd.license_id, v.license, vd.driver_id, %1 AS driver_name, v.company_name,
  v.owner AS Owner, v.model_id, vd.start_date, vd.end_date, vd.memo AS Memo
FROM arrangements vd
JOIN vehicles v ON v.license_id = vd.license_id
LEFT JOIN drivers d ON d.driver_id = vd.driver_id
WHERE 1 = 1)"_s.arg(kDriverName);
    QVariantList binds;
    if (!filter.sql.isEmpty()) {
        sql += u" AND "_s + filter.sql;
        binds += filter.binds;
    }
    if (!driverId.isEmpty()) {
        sql += u" AND vd.driver_id = ?"_s;
        binds << driverId;
    }
    if (!vehicleCode.isEmpty()) {
        sql += u" AND vd.license_id = ?"_s;
        binds << vehicleCode;
    }
    if (startDate.isValid() && !IsNoDate(startDate)) {
        // The day the arrangement starts, whatever time of day was stored.
        const QDateTime day = DayOf(startDate);
        sql += u" AND vd.start_date >= ? AND vd.start_date < ?"_s;
        binds << day << day.addDays(1);
    }
    sql += order.isEmpty() ? u" ORDER BY vd.license_id, vd.driver_id, vd.start_date"_s : u" ORDER BY "_s + order;
    // The fields SaveArrangements reads, as it reads them, and the vehicle's.
    return m_db.select(sql, binds,
                       GetArrangementTemplate().fields()
                           + QList<RecordSet::Field>{{u"license"_s, FieldType::Text, 10},
                                                     {u"company_name"_s, FieldType::Text, 30},
                                                     {u"Owner"_s, FieldType::Text, 20},
                                                     {u"model_id"_s, FieldType::Text, 50}});
}

} // namespace cg
