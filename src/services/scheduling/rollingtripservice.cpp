// The rolling trips of the day: listing, adding, rewriting and deleting.
#include "services/scheduling/rollingtripservice.h"

#include "core/dates.h"
#include "core/text.h"
#include "services/database/database.h"
#include "services/database/writtenfields.h"
#include "services/database/serviceerror.h"
#include "services/station/coreservices.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// The written fields in the record screen's order, each its own column.
constexpr WrittenField kWritten[] = {
    {u"bus_date", nullptr, FieldType::DateTime, 0},
    {u"bus_id", nullptr, FieldType::Text, 5},
    {u"bus_serial_no", nullptr, FieldType::Text, 3},
    {u"route_id", nullptr, FieldType::Text, 20},
    {u"end_station_id", nullptr, FieldType::Text, 20},
    {u"end_station_name", nullptr, FieldType::Text, 50},
    {u"check_gate_id", nullptr, FieldType::Text, 20},
    {u"license_id", nullptr, FieldType::Text, 5},
    {u"total_seat", nullptr, FieldType::Integer, 0},
    {u"vehicle_type_name", nullptr, FieldType::Text, 50},
    {u"vehicle_type_code", nullptr, FieldType::Text, 20},
    {u"transport_company_id", nullptr, FieldType::Text, 20},
    {u"bus_start_time", nullptr, FieldType::DateTime, 0},
};

enum Col { Day = 0, Code = 1, Serial = 2, Route = 3, Gate = 6, Vehicle = 7, Seats = 8, Start = 12 };

// The rows a workstation of this unit may see: its own and those stored
// without a unit (the same rule as the trip lists).
QString unitClause(const QString &prefix)
{
    return u" AND (%1unit_code = ? OR %1unit_code IS NULL OR %1unit_code = '')"_s.arg(prefix);
}

// One trip of this station by its key, for rewriting or deleting it.
const QString kKey = u"station_code = ? AND bus_date = ? AND bus_id = ? AND bus_serial_no = ?"_s;

QDateTime requireDay(const QDateTime &d)
{
    if (!d.isValid() || IsNoDate(d))
        throw ArgumentRefused(u"滚动车次缺少车次日期"_s);
    return DayOf(d);
}

QString unitOf(const QString &context)
{
    return SessionContext::parse(context).unitCode;
}

QString stationOf(const QString &context)
{
    return SessionContext::parse(context).stationCode;
}

QString tripName(const QString &busId, const QString &serial, const QDateTime &day)
{
    return u"%1-%2（%3）"_s.arg(busId, serial, day.toString(u"yyyy-MM-dd"_s));
}

// The written values of the row's current record, checked: a trip needs its
// key, a route, a gate and a vehicle that exist; the serial number may not
// contain "-" (the lists name a rolling trip "code-serial", and the gate and
// the dispatch centre split that name at its last "-").
QVariantList writtenValues(Database &db, const RecordSet &row)
{
    QVariantList values =
        WrittenValues(kWritten, row, WrittenTexts::Trimmed, WrittenNumbers::AsGiven, u"滚动车次资料为空，无法保存"_s);
    values[Day] = requireDay(values.at(Day).toDateTime());
    const QString code = values.at(Code).toString();
    const QString serial = values.at(Serial).toString();
    if (code.isEmpty())
        throw ArgumentRefused(u"车次代码不能为空"_s);
    if (serial.isEmpty())
        throw ArgumentRefused(u"车次序号不能为空"_s);
    if (serial.contains(u'-'))
        throw ArgumentRefused(u"车次序号[%1]不能含有“-”"_s.arg(serial));
    if (const int over = FirstOverByteLimit(kWritten, values); over >= 0)
        throw ArgumentRefused(u"滚动车次的%1[%2]超过%3个字节"_s.arg(kWritten[over].fieldName(), values.at(over).toString())
                          .arg(kWritten[over].size));
    const QVariant seats = values.at(Seats);
    bool ok = true;
    const qint64 n = !seats.isValid() || seats.toString().trimmed().isEmpty() ? 0
                                                                              : seats.toString().trimmed().toLongLong(&ok);
    if (!ok || n < 0 || n > 32767)
        throw ArgumentRefused(u"座位数[%1]不是有效的座位数"_s.arg(seats.toString()));
    values[Seats] = n;
    const QDateTime start = values.at(Start).toDateTime();
    values[Start] = start.isValid() && !IsNoDate(start) ? QVariant(start) : QVariant();

    const auto exists = [&](const QString &sql, const QString &value) {
        return db.scalar(sql, {value}).isValid();
    };
    const QString route = values.at(Route).toString();
    if (route.isEmpty())
        throw ArgumentRefused(u"请选择滚动车次的运行线路"_s);
    if (!exists(u"SELECT 1 FROM routes WHERE route_id = ?"_s, route))
        throw ArgumentRefused(u"线路[%1]不存在"_s.arg(route));
    const QString gate = values.at(Gate).toString();
    if (gate.isEmpty())
        throw ArgumentRefused(u"请选择滚动车次的检票口"_s);
    if (!exists(u"SELECT 1 FROM check_gates WHERE gate_id = ?"_s, gate))
        throw ArgumentRefused(u"检票口[%1]不存在"_s.arg(gate));
    const QString vehicle = values.at(Vehicle).toString();
    if (vehicle.isEmpty())
        throw ArgumentRefused(u"请选择滚动车次的运行车辆"_s);
    if (!exists(u"SELECT 1 FROM vehicles WHERE license_id = ?"_s, vehicle))
        throw ArgumentRefused(u"车辆[%1]不存在"_s.arg(vehicle));
    return values;
}

// The trip of this key exists for this unit and has not left the station:
// a departed trip is part of the day's record, its vehicle and route are
// what the gate let out.
void requireWaiting(Database &db, const QString &condition, const QVariantList &key, const QString &name,
                    const QString &action)
{
    // The row lock first (a write that changes nothing), so that a departure
    // recorded at the gate meanwhile is seen, never overwritten.
    db.lockRows(u"rolling_trips"_s, u"out_status"_s, condition, key);
    const QVariant out = db.scalar(u"SELECT out_status FROM rolling_trips WHERE "_s + condition, key);
    if (!out.isValid())
        throw ServiceError(svcerr::NotFound, u"滚动车次 %1 不存在，可能已被删除"_s.arg(name));
    if (out.toInt() == 1)
        throw ArgumentRefused(u"滚动车次 %1 已出站，不能%2"_s.arg(name, action));
}

} // namespace

RecordSet RollingTripService::GetRollingTripTemplate()
{
    return WrittenTemplate(kWritten);
}

RecordSet RollingTripService::QueryRollingTripRecords(const QString &context, const QString &busId,
                                                      const QString &serialNo, const QDateTime &busDate)
{
    const QString unit = unitOf(context);
    const QString station = stationOf(context);
    const QDateTime day = requireDay(busDate);
    QString sql = uR"(SELECT t.bus_date, t.bus_id, t.bus_serial_no, t.route_id, COALESCE(r.route_name, '') AS route_name,
  t.end_station_id, t.end_station_name, t.check_gate_id, t.license_id, COALESCE(v.license, '') AS license,
  t.total_seat, t.vehicle_type_code, t.vehicle_type_name, t.transport_company_id,
  COALESCE(NULLIF(c.short_name, ''), c.company_name, v.company_name, '') AS transport_company_short_name,
  t.bus_start_time
FROM rolling_trips t
LEFT JOIN vehicles v ON v.license_id = t.license_id
LEFT JOIN routes r ON r.route_id = t.route_id
LEFT JOIN companies c ON c.company_code = t.transport_company_id
WHERE t.station_code = ? AND t.bus_date = ?)"_s;
    QVariantList binds{station, day};
    if (const QString code = busId.trimmed(); !code.isEmpty()) {
        sql += u" AND t.bus_id = ?"_s;
        binds << code;
    }
    if (const QString serial = serialNo.trimmed(); !serial.isEmpty()) {
        sql += u" AND t.bus_serial_no = ?"_s;
        binds << serial;
    }
    sql += unitClause(u"t."_s);
    binds << unit;
    sql += u" ORDER BY t.bus_id, LENGTH(t.bus_serial_no), t.bus_serial_no"_s;
    // The written fields read back as the record screen writes them, and
    // the names the list shows beside their codes.
    return m_db.select(sql, binds,
                       WrittenTemplate(kWritten).fields()
                           + QList<RecordSet::Field>{{u"route_name"_s, FieldType::Text, 50},
                                                     {u"license"_s, FieldType::Text, 10},
                                                     {u"transport_company_short_name"_s, FieldType::Text, 50}});
}

void RollingTripService::AddRollingTrip(const QString &context, const RecordSet &row)
{
    const QString unit = unitOf(context);
    const QString station = stationOf(context);
    m_db.transact([&] {
        QVariantList values = writtenValues(m_db, row);
        const QDateTime day = values.at(Day).toDateTime();
        const QString code = values.at(Code).toString(), serial = values.at(Serial).toString();
        // Whatever unit holds it: the key is the station's, and an existing
        // trip keeps its checks and vehicle. Another station's trip of the
        // same key is no clash.
        if (m_db.scalar(u"SELECT 1 FROM rolling_trips WHERE station_code = ? AND bus_date = ? AND bus_id = ? "
                        u"AND bus_serial_no = ?"_s,
                        {station, day, code, serial}).isValid())
            throw ServiceError(svcerr::Constraint,
                               u"滚动车次 %1 已经存在，不能重复添加"_s.arg(tripName(code, serial, day)));
        const QStringList marks(qsizetype(std::size(kWritten)) + 2, u"?"_s);
        values << unit << station;
        m_db.exec(u"INSERT INTO rolling_trips (%1, unit_code, station_code) VALUES (%2)"_s
                      .arg(WrittenColumnList(kWritten), marks.join(u", "_s)),
                  values);
    });
}

void RollingTripService::UpdateRollingTrip(const QString &context, const RecordSet &row)
{
    const QString unit = unitOf(context);
    m_db.transact([&] {
        QVariantList values = writtenValues(m_db, row);
        const QDateTime day = values.at(Day).toDateTime();
        const QString code = values.at(Code).toString(), serial = values.at(Serial).toString();
        const QString condition = kKey + unitClause(QString());
        const QVariantList key{stationOf(context), day, code, serial, unit};
        requireWaiting(m_db, condition, key, tripName(code, serial, day), u"修改"_s);
        QStringList sets;
        QVariantList binds;
        for (int i = 0; i < int(std::size(kWritten)); ++i) {
            if (i == Day || i == Code || i == Serial)
                continue; // the key is what the trip is found by
            sets << kWritten[i].columnName() + u" = ?"_s;
            binds << values.at(i);
        }
        binds += key;
        m_db.exec(u"UPDATE rolling_trips SET %1 WHERE "_s.arg(sets.join(u", "_s)) + condition, binds);
    });
}

void RollingTripService::DeleteRollingTrip(const QString &context, const QString &busId, const QString &serialNo,
                                           const QDateTime &busDate)
{
    const QString unit = unitOf(context);
    const QDateTime day = requireDay(busDate);
    const QString code = busId.trimmed(), serial = serialNo.trimmed();
    m_db.transact([&] {
        const QString condition = kKey + unitClause(QString());
        const QVariantList key{stationOf(context), day, code, serial, unit};
        requireWaiting(m_db, condition, key, tripName(code, serial, day), u"删除"_s);
        m_db.exec(u"DELETE FROM rolling_trips WHERE "_s + condition, key);
    });
}

} // namespace cg
