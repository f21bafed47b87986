#include "services/masterdata/driverservice.h"

#include "services/database/database.h"
#include "services/database/fragment.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// Columns a driver filter may name. driver_no and driver_id are the same
// driver number.
ColumnMap driverColumns()
{
    const QString d = u"d"_s;
    ColumnMap m;
    m.addQualified(d, u"driver_no"_s, u"d.driver_id"_s);
    m.addTableColumns(d, ColumnType::Text,
                      {u"driver_id"_s, u"driver_name"_s, u"sex"_s, u"route_id"_s, u"drive_type"_s, u"unit_id"_s,
                       u"service_kind"_s, u"company_name"_s, u"credit"_s, u"cert_kind"_s});
    m.addTableColumns(d, ColumnType::Integer, {u"is_driver"_s});
    m.addTableColumns(d, ColumnType::DateTime, {u"birth_date"_s});
    return m;
}

// The drivers (d, with their route r) a screen's filter keeps, in the
// screen's order, else by driver number: the given select list, shaped.
RecordSet selectDrivers(Database &db, const QString &selectList, const QString &where, const QString &orderBy,
                        const QList<RecordSet::Field> &shape)
{
    const ColumnMap columns = driverColumns();
    const CompiledSql filter = compileWhere(where, columns, db.backend());
    QString sql = u"SELECT "_s + selectList
                  + u"\nFROM drivers d LEFT JOIN routes r ON r.route_id = d.route_id WHERE 1 = 1"_s;
    if (!filter.sql.isEmpty())
        sql += u" AND "_s + filter.sql;
    const QString order = compileOrderBy(orderBy, columns);
    sql += order.isEmpty() ? u" ORDER BY d.driver_id"_s : u" ORDER BY "_s + order;
    return db.select(sql, filter.binds, shape);
}

} // namespace

RecordSet DriverService::QueryDrivers(const QString &, const QString &where, const QString &orderBy)
{
    using FT = FieldType;
    return selectDrivers(m_db, uR"(d.driver_id AS driver_no, d.driver_id, d.driver_name, d.sex, d.credit, d.birth_date,
  d.link_phone, d.home_phone, d.address AS Address, d.cert_kind, d.service_kind, d.job_cert_id, d.post_cert_id,
  d.company_name, d.in_start_date, d.in_end_date, d.create_date, d.is_driver, d.memo AS Memo,
  d.photo_id, d.finger_id, d.finger_id1, COALESCE(d.fng_value, '') AS fng_value,
  COALESCE(d.fng_value1, '') AS fng_value1, COALESCE(d.fng_value, '') AS finger_value,
  d.unit_id, d.route_id, COALESCE(r.route_name, '') AS route_name, d.drive_type, d.year_check_month,
  d.safe_study_end_date, d.contract_sign_date, d.out_date)"_s,
                         where, orderBy,
                         // The record's fields as the driver record screen
                         // writes them, and what the register shows besides.
                         GetDriverTemplate().fields()
                             + QList<RecordSet::Field>{{u"driver_no"_s, FT::Text, 10},
                                                       {u"safe_study_end_date"_s, FT::DateTime, 0},
                                                       {u"contract_sign_date"_s, FT::DateTime, 0},
                                                       {u"out_date"_s, FT::DateTime, 0}});
}

RecordSet DriverService::QueryDriverFingers(const QString &)
{
    using FT = FieldType;
    return m_db.select(uR"(SELECT driver_id AS driver_no, driver_name, sex, birth_date, photo_id, finger_id,
  COALESCE(fng_value, '') AS finger_value, COALESCE(fng_value1, '') AS fng_value1
FROM drivers ORDER BY driver_id)"_s,
                       {},
                       {{u"driver_no"_s, FT::Text, 10}, {u"driver_name"_s, FT::Text, 10},
                        {u"sex"_s, FT::Text, 2}, {u"birth_date"_s, FT::DateTime, 0},
                        {u"photo_id"_s, FT::Integer, 0}, {u"finger_id"_s, FT::Integer, 0},
                        {u"finger_value"_s, FT::Text, 0}, {u"fng_value1"_s, FT::Text, 0}});
}

RecordSet DriverService::QueryDriverList(const QString &, const QString &where, const QString &orderBy)
{
    using FT = FieldType;
    return selectDrivers(m_db, uR"(d.driver_id AS driver_no, d.driver_name, d.sex, d.route_id,
  COALESCE(r.route_name, '') AS route_name, d.year_check_month, d.safe_study_end_date, d.drive_type,
  d.unit_id, d.contract_sign_date, d.out_date)"_s,
                         where, orderBy,
                         {{u"safe_study_end_date"_s, FT::DateTime, 0},
                          {u"contract_sign_date"_s, FT::DateTime, 0},
                          {u"out_date"_s, FT::DateTime, 0}});
}

} // namespace cg
