// Queries and statistics over the recorded checks. Each figure has one rule,
// written once below and shared by the report, its totals and the chart.
#include "services/reports/reportservice.h"

#include "core/dates.h"
#include "core/text.h"
#include "services/database/database.h"
#include "services/station/coreservices.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

bool hasDate(const QDateTime &d) { return d.isValid() && !IsNoDate(d); }
QDateTime midnight(const QDate &d) { return QDateTime(d, QTime(0, 0)); }

// A half-open range of days [from, to), as dates at midnight.
struct DayRange {
    QDateTime from; // invalid: open
    QDateTime to;   // invalid: open
};

// " AND col >= from AND col < to" for the sides of the range that are not
// open, their values appended to binds.
QString inRange(const QString &col, const DayRange &days, QVariantList &binds)
{
    QString where;
    if (days.from.isValid()) {
        where += u" AND %1 >= ?"_s.arg(col);
        binds << days.from;
    }
    if (days.to.isValid()) {
        where += u" AND %1 < ?"_s.arg(col);
        binds << days.to;
    }
    return where;
}

// The session's station, which every figure is restricted to.
QString stationOf(const QString &context) { return SessionContext::parse(context).stationCode; }

// The verdicts that count: the station's, not undone, with a verdict (1
// passed, 2 not passed, 5 passed by force), on a check day in the range, of
// the plate.
QString conditionWhere(const QString &station, const DayRange &days, const QString &plate, QVariantList &binds)
{
    QString where = u" WHERE c.station_code = ? AND c.cancelled = 0 AND c.cond_status IN (1, 2, 5)"_s;
    binds << station;
    where += inRange(u"c.check_date"_s, days, binds);
    if (!plate.isEmpty()) {
        where += u" AND c.license = ?"_s;
        binds << plate;
    }
    return where;
}

// The verdicts of a group by kind: passed, not passed, passed by force.
QString verdictCounts()
{
    return u"SUM(CASE WHEN c.cond_status = 1 THEN 1 ELSE 0 END) AS pass_count, "
           u"SUM(CASE WHEN c.cond_status = 2 THEN 1 ELSE 0 END) AS fail_count, "
           u"SUM(CASE WHEN c.cond_status = 5 THEN 1 ELSE 0 END) AS forced_count"_s;
}

// The fields of verdicts counted by group: the group's fields (before), the
// three counts of verdictCounts(), then what follows them (after).
QList<RecordSet::Field> verdictShape(const QList<RecordSet::Field> &before, const QList<RecordSet::Field> &after = {})
{
    return before
        + QList<RecordSet::Field>{{u"pass_count"_s, FieldType::Integer, 0},
                                  {u"fail_count"_s, FieldType::Integer, 0},
                                  {u"forced_count"_s, FieldType::Integer, 0}}
        + after;
}

DayRange halfOpen(const QDateTime &from, const QDateTime &to)
{
    return {hasDate(from) ? midnight(from.date()) : QDateTime(), hasDate(to) ? midnight(to.date()) : QDateTime()};
}

DayRange inclusive(const QDateTime &from, const QDateTime &to)
{
    return {hasDate(from) ? midnight(from.date()) : QDateTime(),
            hasDate(to) ? midnight(to.date().addDays(1)) : QDateTime()};
}

// The trips that have left: the station's timetable trips and rolling runs
// let out at the gate (out_status 1), of a trip date in the range, of the
// plate. The columns of QueryDepartureStatistics.
QString departuresSql(const QString &station, const DayRange &days, const QString &plate, QVariantList &binds)
{
    const auto filter = [&](const QString &alias, const QString &plateCol) {
        QString w = u" AND %1.station_code = ?"_s.arg(alias);
        binds << station;
        w += inRange(alias + u".bus_date"_s, days, binds);
        if (!plate.isEmpty()) {
            w += u" AND %1 = ?"_s.arg(plateCol);
            binds << plate;
        }
        return w;
    };
    QString sql = uR"(SELECT t.bus_date, t.bus_id, t.bus_start_time, t.license_tag_no AS license,
  t.transport_company_short_name AS company_name, t.end_station_name, t.total_seat, t.sale_num, t.check_num,
  t.exit_time, t.out_operator AS operator_name
FROM trips t WHERE t.out_status = 1)"_s;
    sql += filter(u"t"_s, u"t.license_tag_no"_s);
    sql += uR"(
UNION ALL
SELECT r.bus_date, r.bus_id || '-' || r.bus_serial_no, r.bus_start_time, v.license,
  co.short_name, r.end_station_name, r.total_seat, NULL, r.check_num, r.exit_time, r.out_operator
FROM rolling_trips r
LEFT JOIN vehicles v ON v.license_id = r.license_id
LEFT JOIN companies co ON co.company_code = r.transport_company_id
WHERE r.out_status = 1)"_s;
    sql += filter(u"r"_s, u"v.license"_s);
    return sql;
}

const QList<RecordSet::Field> &departureShape()
{
    static const QList<RecordSet::Field> shape = {
        {u"bus_date"_s, FieldType::DateTime, 0},       {u"bus_id"_s, FieldType::Text, 20},
        {u"bus_start_time"_s, FieldType::DateTime, 0}, {u"license"_s, FieldType::Text, 20},
        {u"company_name"_s, FieldType::Text, 40},      {u"end_station_name"_s, FieldType::Text, 40},
        {u"total_seat"_s, FieldType::Integer, 0},      {u"sale_num"_s, FieldType::Integer, 0},
        {u"check_num"_s, FieldType::Integer, 0},       {u"exit_time"_s, FieldType::DateTime, 0},
        {u"operator_name"_s, FieldType::Text, 20}};
    return shape;
}

QString countVerdicts(Database &db, const QString &station, const QDateTime &from, const QDateTime &to,
                      const QString &plate, int status)
{
    QVariantList binds;
    const QString where = conditionWhere(station, halfOpen(from, to), plate.trimmed(), binds);
    binds << status;
    return QString::number(
        db.scalar(u"SELECT COUNT(*) FROM condition_checks c"_s + where + u" AND c.cond_status = ?"_s, binds).toLongLong());
}

} // namespace

RecordSet ReportService::QueryForcedReleases(const QString &context, const QDateTime &from, const QDateTime &to,
                                             const QVariant &, int &)
{
    // The plate: the vehicle's record when it is still registered, else the
    // plate of the trip (a driver pass of a trip without a vehicle), else
    // the vehicle number as recorded.
    QString sql = uR"(SELECT f.bus_date, f.bus_id,
  COALESCE(v.license, t.license_tag_no, f.license_id) AS license_id,
  f.pass_type, f.operator_name AS "operator", f.operate_time, f.cause, f.driver_id, d.driver_name
FROM forced_releases f
LEFT JOIN vehicles v ON v.license_id = f.license_id
LEFT JOIN trips t ON t.station_code = f.station_code AND t.bus_date = f.bus_date AND t.bus_id = f.bus_id
LEFT JOIN drivers d ON d.driver_id = f.driver_id
WHERE f.station_code = ?)"_s;
    QVariantList binds{stationOf(context)};
    sql += inRange(u"f.operate_time"_s, inclusive(from, to), binds);
    sql += u" ORDER BY f.operate_time, f.id"_s;
    return m_db.select(sql, binds,
                       {{u"bus_date"_s, FieldType::DateTime, 0},
                        {u"bus_id"_s, FieldType::Text, 20},
                        {u"license_id"_s, FieldType::Text, 20},
                        {u"pass_type"_s, FieldType::Integer, 0},
                        {u"operator"_s, FieldType::Text, 20},
                        {u"operate_time"_s, FieldType::DateTime, 0},
                        {u"cause"_s, FieldType::Text, 100},
                        {u"driver_id"_s, FieldType::Text, 10},
                        {u"driver_name"_s, FieldType::Text, 20}});
}

QString ReportService::GetConditionPassTotal(const QString &context, const QDateTime &from, const QDateTime &to,
                                             const QString &plate)
{
    return countVerdicts(m_db, stationOf(context), from, to, plate, 1);
}

QString ReportService::GetConditionFailTotal(const QString &context, const QDateTime &from, const QDateTime &to,
                                             const QString &plate)
{
    return countVerdicts(m_db, stationOf(context), from, to, plate, 2);
}

RecordSet ReportService::QueryConditionCheckStatistics(const QString &context, const QDateTime &from,
                                                       const QDateTime &to, const QString &plate)
{
    QVariantList binds;
    const QString where = conditionWhere(stationOf(context), halfOpen(from, to), plate.trimmed(), binds);
    RecordSet rs = m_db.select(
        u"SELECT c.check_date, c.license, MAX(v.company_name) AS company_name, "_s + verdictCounts()
            + u", COUNT(*) AS check_count FROM condition_checks c "
              u"LEFT JOIN vehicles v ON v.license_id = c.license_id"_s
            + where + u" GROUP BY c.check_date, c.license ORDER BY c.check_date, c.license"_s,
        binds,
        verdictShape({{u"check_date"_s, FieldType::DateTime, 0},
                      {u"license"_s, FieldType::Text, 20},
                      {u"company_name"_s, FieldType::Text, 40}},
                     {{u"check_count"_s, FieldType::Integer, 0}}));
    // Companies are kept in the code[name] form: the report shows the name.
    for (int r = 0; r < rs.RecordCount(); ++r) {
        const QString company = rs.valueAt(r, u"company_name"_s).toString();
        if (!company.isEmpty())
            rs.setValueAt(r, u"company_name"_s, company.contains(u'[') ? BracketInner(company) : company);
    }
    return rs;
}

RecordSet ReportService::QueryDepartureStatistics(const QString &context, const QDateTime &from,
                                                  const QDateTime &to, const QString &plate)
{
    QVariantList binds;
    const QString sql = departuresSql(stationOf(context), inclusive(from, to), plate.trimmed(), binds)
                        + u"\nORDER BY bus_date, bus_start_time, bus_id"_s;
    return m_db.select(sql, binds, departureShape());
}

RecordSet ReportService::QueryDailyStatistics(const QString &context, const QDate &from, const QDate &to,
                                              const QString &plateIn)
{
    const QString station = stationOf(context);
    RecordSet out;
    out.appendField(u"stat_date"_s, FieldType::DateTime);
    out.appendField(u"pass_count"_s, FieldType::Integer);
    out.appendField(u"fail_count"_s, FieldType::Integer);
    out.appendField(u"forced_count"_s, FieldType::Integer);
    out.appendField(u"departure_count"_s, FieldType::Integer);
    if (!from.isValid() || !to.isValid() || from > to)
        return out;
    const QDate last = qMin(to, from.addDays(MaxChartDays - 1));
    const QString plate = plateIn.trimmed();
    const DayRange days{midnight(from), midnight(last.addDays(1))};

    struct Day {
        qint64 pass = 0, fail = 0, forced = 0, departures = 0;
    };
    QHash<QDate, Day> byDay;
    {
        QVariantList binds;
        const QString where = conditionWhere(station, days, plate, binds);
        const RecordSet rs = m_db.select(
            u"SELECT c.check_date, "_s + verdictCounts() + u" FROM condition_checks c"_s + where
                + u" GROUP BY c.check_date"_s,
            binds, verdictShape({{u"check_date"_s, FieldType::DateTime, 0}}));
        for (int r = 0; r < rs.RecordCount(); ++r) {
            Day &d = byDay[rs.valueAt(r, u"check_date"_s).toDateTime().date()];
            d.pass += rs.valueAt(r, u"pass_count"_s).toLongLong();
            d.fail += rs.valueAt(r, u"fail_count"_s).toLongLong();
            d.forced += rs.valueAt(r, u"forced_count"_s).toLongLong();
        }
    }
    {
        QVariantList binds;
        const RecordSet rs = m_db.select(u"SELECT bus_date, COUNT(*) AS n FROM ("_s + departuresSql(station, days, plate, binds)
                                             + u") x GROUP BY bus_date"_s,
                                         binds, {{u"bus_date"_s, FieldType::DateTime, 0}, {u"n"_s, FieldType::Integer, 0}});
        for (int r = 0; r < rs.RecordCount(); ++r)
            byDay[rs.valueAt(r, u"bus_date"_s).toDateTime().date()].departures += rs.valueAt(r, u"n"_s).toLongLong();
    }
    for (QDate d = from; d <= last; d = d.addDays(1)) {
        const Day v = byDay.value(d);
        out.appendRow({midnight(d), v.pass, v.fail, v.forced, v.departures});
    }
    out.MoveFirst();
    return out;
}

} // namespace cg
