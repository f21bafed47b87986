#include "core/clock.h"
#include "services/checks/checkservice.h"

#include "services/checks/checknotifier.h"
#include "core/dates.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "services/database/fragment.h"
#include "services/checks/vehiclestate.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// The columns of the condition list a screen may filter and order by. The
// list is a derived table q, so v.license and license name the same column.
ColumnMap conditionListColumns()
{
    ColumnMap m;
    const struct { const char16_t *name; ColumnType type; } cols[] = {
        {u"license_id", ColumnType::Text},     {u"license", ColumnType::Text},
        {u"ic_card_id", ColumnType::Text},     {u"company_name", ColumnType::Text},
        {u"status", ColumnType::Integer},      {u"is_cond", ColumnType::Integer},
        {u"cond_status1", ColumnType::Integer}, {u"cond_check_num1", ColumnType::Integer},
        {u"cond_checker1", ColumnType::Text},  {u"cond_time1", ColumnType::DateTime},
        {u"return_time", ColumnType::DateTime}, {u"bus_date", ColumnType::DateTime},
        {u"model_id", ColumnType::Text},
    };
    for (const auto &c : cols) {
        const QString name = QString::fromUtf16(c.name);
        // A missing date counts as the no-date value, so that both backends
        // sort vehicles never checked after the checked ones in "desc".
        const QString expr = c.type == ColumnType::DateTime
            ? u"COALESCE(q.%1, '1900-01-01 00:00:00')"_s.arg(name) : u"q."_s + name;
        m.addQualified(u"v"_s, name, expr, c.type);
    }
    return m;
}

QList<RecordSet::Field> conditionListShape()
{
    using FT = FieldType;
    return {
        {u"license_id"_s, FT::Text, 5},       {u"license"_s, FT::Text, 10},
        {u"ic_card_id"_s, FT::Text, 10},      {u"company_name"_s, FT::Text, 30},
        {u"model_id"_s, FT::Text, 50},        {u"status"_s, FT::Integer, 0},
        {u"is_cond"_s, FT::Integer, 0},       {u"cond_status1"_s, FT::Integer, 0},
        {u"return_time"_s, FT::DateTime, 0},  {u"cond_check_num1"_s, FT::Integer, 0},
        {u"cond_checker1"_s, FT::Text, 20},   {u"cond_time1"_s, FT::DateTime, 0},
        {u"bus_date"_s, FT::DateTime, 0},
    };
}

QList<RecordSet::Field> conditionRecordShape()
{
    using FT = FieldType;
    return {
        {u"cond_status"_s, FT::Integer, 0}, {u"cond_index"_s, FT::Integer, 0},
        {u"cond_checker"_s, FT::Text, 20},  {u"cond_time"_s, FT::DateTime, 0},
        {u"check_cause"_s, FT::Text, 255},  {u"check_date"_s, FT::DateTime, 0},
        {u"license"_s, FT::Text, 10},
    };
}

void fillNoDates(RecordSet &rs, const QStringList &fields)
{
    for (int r = 0; r < rs.RecordCount(); ++r)
        for (const QString &f : fields)
            if (!rs.valueAt(r, f).isValid())
                rs.setValueAt(r, f, NoDate());
    rs.MoveFirst();
}

struct VehicleRow {
    QString licenseId;
    QString license;
    QString icCard;
};

// Takes the row lock of the vehicle with this plate for the rest of the
// transaction. Every write of a vehicle's condition checks takes it first, so
// two stations writing the same vehicle at once run one after the other: an
// undo never takes the verdict another station undid a moment before, and
// each TechCheck carries the state its own write left.
void lockVehicleRow(Database &db, const QString &license)
{
    db.lockRows(u"vehicles"_s, u"is_cond"_s, u"license = ?"_s, {license.trimmed()});
}

VehicleRow findVehicle(Database &db, const QString &license)
{
    const RecordSet rs = db.select(u"SELECT license_id, license, ic_card_id FROM vehicles WHERE license = ?"_s,
                                   {license.trimmed()});
    if (rs.RecordCount() != 1)
        throw ServiceError(svcerr::NotFound, u"车辆不存在：%1"_s.arg(license.trimmed()));
    return {rs.valueAt(0, u"license_id"_s).toString(), rs.valueAt(0, u"license"_s).toString(),
            rs.valueAt(0, u"ic_card_id"_s).toString()};
}

// A new check of the vehicle on the day of now with the next number of that
// day at station. MAX+1 may collide with a concurrent start; the unique
// (station_code, license, check_date, cond_index) index refuses the second
// one and the caller's retry takes the next number.
int insertCheck(Database &db, const QString &station, const VehicleRow &v, const QDateTime &now, int status,
                const QString &checker, const QDateTime &condTime, const QString &cause)
{
    const QDateTime day = DayOf(now);
    const int index = db.scalar(u"SELECT COALESCE(MAX(cond_index), 0) + 1 FROM condition_checks "
                                u"WHERE station_code = ? AND license = ? AND check_date = ?"_s,
                                {station, v.license, day})
                          .toInt();
    db.exec(u"INSERT INTO condition_checks (station_code, license_id, license, ic_card_id, check_date, cond_index, "
            u"cond_status, cond_checker, cond_time, check_cause, started_at, cancelled) "
            u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)"_s,
            {station, v.licenseId, v.license, v.icCard, day, index, status, checker.isNull() ? QVariant() : QVariant(checker),
             condTime.isValid() ? QVariant(condTime) : QVariant(), cause.isNull() ? QVariant() : QVariant(cause),
             now});
    return index;
}

// The vehicle's state as the lists show it, and the TechCheck event with it.
void sendTechCheck(Database &db, const QString &context, const QString &license, const QDateTime &now)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QDateTime since = conditionValidSince(db, now);
    const RecordSet st = db.select(
        u"SELECT %1 AS lamp FROM vehicles v WHERE v.license = ?"_s.arg(
            conditionStateSql(u"v.license"_s, u"v.is_cond"_s, u"?"_s, since)),
        {station, license}, {{u"lamp"_s, FieldType::Integer, 0}});
    const int lamp = st.RecordCount() ? st.valueAt(0, u"lamp"_s).toInt() : 0;
    const RecordSet last = db.select(
        u"SELECT check_date, cond_time, cond_checker FROM condition_checks WHERE station_code = ? AND license = ? "
        u"AND cancelled = 0 AND cond_status IN (1, 2, 5) ORDER BY cond_time DESC, id DESC LIMIT 1"_s,
        {station, license},
        {{u"check_date"_s, FieldType::DateTime, 0}, {u"cond_time"_s, FieldType::DateTime, 0},
         {u"cond_checker"_s, FieldType::Text, 20}});
    QDateTime checkDate = DayOf(now), checkTime = NoDate();
    QString checker;
    int count = 0;
    if (last.RecordCount()) {
        checkDate = last.valueAt(0, u"check_date"_s).toDateTime();
        checkTime = last.valueAt(0, u"cond_time"_s).toDateTime();
        checker = last.valueAt(0, u"cond_checker"_s).toString();
        count = db.scalar(u"SELECT COUNT(*) FROM condition_checks WHERE station_code = ? AND license = ? "
                          u"AND check_date = ? AND cancelled = 0 AND cond_status IN (1, 2, 5)"_s,
                          {station, license, checkDate})
                    .toInt();
    }
    CheckEvents::techCheck(db, station, license, checkDate, lamp, count,
                           checkTime, checker);
}

// Records a verdict. Every verdict is a check of its own: it goes into the
// vehicle's latest check of the day that was taken in and has no verdict yet
// (the one the item dialog started), else into a new check. A check that
// already has a verdict, a forced pass included, is never written again.
QString recordVerdict(Database &db, const QString &context, const QString &license, const QDateTime &now,
                      bool passed, const QString &checker, const QString &remark)
{
    const QString plate = license.trimmed();
    if (plate.isEmpty())
        return u"车牌号不能为空！"_s;
    const int status = passed ? 1 : 2;
    const QString station = SessionContext::parse(context).stationCode;
    QString message;
    transactWithIndexRetry(db, [&] {
        lockVehicleRow(db, plate);
        const VehicleRow v = findVehicle(db, plate);
        const QVariant id = db.scalar(
            u"SELECT id FROM condition_checks WHERE station_code = ? AND license = ? AND check_date = ? "
            u"AND cancelled = 0 AND cond_status = 0 ORDER BY cond_index DESC LIMIT 1"_s,
            {station, plate, DayOf(now)});
        if (id.isValid() && !id.isNull()) {
            // Only while it is still open: a station that answered first
            // keeps its verdict, and this one becomes a check of its own.
            db.exec(u"UPDATE condition_checks SET cond_status = ?, cond_checker = ?, cond_time = ?, check_cause = ? "
                    u"WHERE id = ? AND cond_status = 0"_s,
                    {status, checker, now, remark, id});
            const int written = db.scalar(u"SELECT COUNT(*) FROM condition_checks WHERE id = ? AND cond_status = ? "
                                          u"AND cond_time = ?"_s,
                                          {id, status, now})
                                    .toInt();
            if (written == 0)
                insertCheck(db, station, v, now, status, checker, now, remark);
        } else {
            insertCheck(db, station, v, now, status, checker, now, remark);
        }
        sendTechCheck(db, context, plate, now);
    });
    return message;
}

} // namespace

RecordSet CheckService::QueryConditionCheckVehicles(const QString &context, const QDateTime &today, const QString &,
                                                    const QString &where, const QString &orderBy,
                                                    const QString &extra, bool checkedToday)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QDateTime since = conditionValidSince(m_db, m_clock.now());
    const ColumnMap columns = conditionListColumns();
    const CompiledSql filter = compileWhere(where, columns, m_db.backend());
    const CompiledSql extraFilter = compileWhere(extra, columns, m_db.backend());
    const QString order = compileOrderBy(orderBy, columns);

    // The check behind the lamp: the latest one with a verdict that is still
    // valid. bus_date is the day of the vehicle's latest check of any kind.
    // Every figure and the return time are the session's station's (rs0, the
    // one bound value of the select list). The screen's filters work on the
    // derived table q, so they can never reach another station's checks.
    const QString valid = u"c.station_code = rs0.station_code AND c.license = v.license AND c.cancelled = 0 "
                          u"AND c.cond_status IN (1, 2, 5) AND c.cond_time >= %1"_s.arg(dateTimeSqlLiteral(since));
    const QString latest = u"(SELECT %2 FROM condition_checks c WHERE %1 ORDER BY c.cond_time DESC, c.id DESC LIMIT 1)"_s;
    QString sql = uR"(SELECT * FROM (SELECT v.license_id, v.license, v.ic_card_id, v.company_name, v.model_id,
  v.status, v.is_cond, %1 AS cond_status1, rs.return_time,
  (SELECT COUNT(*) FROM condition_checks c2 WHERE c2.station_code = rs0.station_code AND c2.license = v.license
     AND c2.cancelled = 0 AND c2.cond_status IN (1, 2, 5) AND c2.check_date = %2) AS cond_check_num1,
  %3 AS cond_checker1, %4 AS cond_time1,
  (SELECT MAX(c3.check_date) FROM condition_checks c3 WHERE c3.station_code = rs0.station_code
     AND c3.license = v.license AND c3.cancelled = 0) AS bus_date
FROM vehicles v CROSS JOIN (SELECT CAST(? AS TEXT) AS station_code) rs0
LEFT JOIN vehicle_return_states rs ON rs.station_code = rs0.station_code AND rs.license_id = v.license_id) q
WHERE 1 = 1)"_s
                      .arg(conditionStateSql(u"v.license"_s, u"v.is_cond"_s, u"rs0.station_code"_s, since),
                           latest.arg(valid, u"c.check_date"_s), latest.arg(valid, u"c.cond_checker"_s),
                           latest.arg(valid, u"c.cond_time"_s));
    QVariantList binds{station};
    for (const CompiledSql *f : {&filter, &extraFilter}) {
        if (!f->sql.isEmpty()) {
            sql += u" AND "_s + f->sql;
            binds += f->binds;
        }
    }
    if (checkedToday) {
        sql += u" AND EXISTS (SELECT 1 FROM condition_checks c4 WHERE c4.station_code = ? AND c4.license = q.license "
               u"AND c4.cancelled = 0 AND c4.cond_status IN (1, 2, 5) AND c4.check_date = ?)"_s;
        binds << station << DayOf(today);
    }
    sql += order.isEmpty() ? u" ORDER BY q.license"_s : u" ORDER BY "_s + order + u", q.license"_s;
    RecordSet rs = m_db.select(sql, binds, conditionListShape());
    fillNoDates(rs, {u"return_time"_s, u"cond_time1"_s, u"bus_date"_s});
    return rs;
}

QString CheckService::StartConditionCheck(const QString &context, const QDateTime &now, const QString &,
                                          const QString &license)
{
    const QString station = SessionContext::parse(context).stationCode;
    int index = 0;
    transactWithIndexRetry(m_db, [&] {
        lockVehicleRow(m_db, license);
        const VehicleRow v = findVehicle(m_db, license);
        index = insertCheck(m_db, station, v, now, 0, QString(), QDateTime(), QString());
    });
    return QString::number(index);
}

QString CheckService::AddConditionCheckResult(const QString &context, const QString &license, const QDateTime &now,
                                              bool passed, const QString &checker, const QString &remark)
{
    return recordVerdict(m_db, context, license, now, passed, checker, remark);
}

QString CheckService::UpdateConditionCheckResult(const QString &context, const QString &license,
                                                 const QDateTime &now, bool passed, const QString &checker,
                                                 const QString &remark)
{
    // A later verdict on a vehicle already checked today is a new check: the
    // earlier verdict, its checker, time and failed items stay as recorded.
    return recordVerdict(m_db, context, license, now, passed, checker, remark);
}

QString CheckService::CancelConditionCheck(const QString &context, const QDateTime &, const QString &license,
                                           const QDateTime &checkDay)
{
    const QString plate = license.trimmed();
    const QString station = SessionContext::parse(context).stationCode;
    QString message;
    transactWithIndexRetry(m_db, [&] {
        message.clear();
        lockVehicleRow(m_db, plate);
        // Only one undo wins when two stations undo the same check; the
        // other is told there was nothing left to undo and sends nothing.
        if (!undoNewestCheck(m_db, u"condition_checks"_s, u"cond_index"_s,
                             u"station_code = ? AND license = ? AND check_date = ? AND cond_status IN (1, 2, 5)"_s,
                             {station, plate, DayOf(checkDay)})) {
            message = u"该车辆当天没有可撤消的检查！"_s;
            return;
        }
        sendTechCheck(m_db, context, plate, m_clock.now());
    });
    return message;
}

RecordSet CheckService::QueryConditionCheckRecords(const QString &context, const QDateTime &date,
                                                   const QString &license, int)
{
    // Checks taken in and left without a verdict are not records.
    RecordSet rs = m_db.select(
        u"SELECT cond_status, cond_index, cond_checker, cond_time, check_cause, check_date, license "
        u"FROM condition_checks WHERE station_code = ? AND license = ? AND check_date = ? AND cancelled = 0 "
        u"AND cond_status IN (1, 2, 5) ORDER BY cond_index"_s,
        {SessionContext::parse(context).stationCode, license.trimmed(), DayOf(date)}, conditionRecordShape());
    fillNoDates(rs, {u"cond_time"_s});
    return rs;
}

RecordSet CheckService::QueryTripConditionChecks(const QString &context, const QDateTime &busDate,
                                                 const QString &busId, const QString &license)
{
    const QString station = SessionContext::parse(context).stationCode;
    QString plate = license.trimmed();
    if (plate.isEmpty()) {
        plate = m_db.scalar(u"SELECT license_tag_no FROM trips WHERE station_code = ? AND bus_date = ? AND bus_id = ?"_s,
                            {station, DayOf(busDate), busId.trimmed()})
                    .toString();
    }
    RecordSet rs = m_db.select(
        u"SELECT cond_status, cond_index, cond_checker, cond_time, check_cause, check_date, license "
        u"FROM condition_checks WHERE station_code = ? AND license = ? AND check_date = ? AND cancelled = 0 "
        u"AND cond_status IN (1, 2, 5) ORDER BY cond_index"_s,
        {station, plate, DayOf(busDate)}, conditionRecordShape());
    fillNoDates(rs, {u"cond_time"_s});
    return rs;
}

QString CheckService::ForcePassConditionCheck(const QString &context, const QDateTime &busDate, int,
                                              const QString &busId, const QString &license, const QDateTime &now,
                                              int kind, const QString &operatorName, const QString &cause,
                                              const QString &unitCode)
{
    requireForcedPass(u"车况例检"_s, kind, 2, operatorName);
    const QString station = SessionContext::parse(context).stationCode;
    transactWithIndexRetry(m_db, [&] {
        lockVehicleRow(m_db, license);
        const VehicleRow v = findVehicle(m_db, license);
        m_db.exec(u"INSERT INTO forced_releases (station_code, bus_date, bus_id, license_id, pass_type, "
                  u"operator_name, operate_time, cause, unit_code) VALUES (?, ?, ?, ?, 2, ?, ?, ?, ?)"_s,
                  {station, DayOf(busDate), busId.trimmed(), v.licenseId, operatorName, now, cause, unitCode});
        insertCheck(m_db, station, v, now, 5, operatorName, now, cause.trimmed().isEmpty() ? u"强行通过"_s : cause);
        sendTechCheck(m_db, context, v.license, now);
    });
    return {};
}

} // namespace cg
