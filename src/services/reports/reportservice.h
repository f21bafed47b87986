#pragma once

#include "core/recordset.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

namespace cg {

class Database;

// What a station manager looks back on: the forced releases of a period and
// the statistics of condition checks and departures. Read-only. Dates are
// compared as dates: the time of day of an argument is ignored. The plate
// filter is trimmed; empty means every vehicle, otherwise the plate must
// match exactly (bound, never pasted). A range whose start lies after its end
// is empty. docs/DATA.md ("Queries and statistics") says how every figure is
// counted.
class ReportService {
public:
    explicit ReportService(Database &db) : m_db(db) {}

    // Forced releases whose operate_time falls on a day from `from` to `to`,
    // both days included (the no-date value leaves that side open), in the
    // order they were recorded. Fields: bus_date, bus_id, license_id (the
    // vehicle's plate), pass_type (1 appearance, 2 condition, 3 driver),
    // operator, operate_time, cause, driver_id, driver_name. reserved and
    // reserved2 are not used.
    RecordSet QueryForcedReleases(const QString &context, const QDateTime &from, const QDateTime &to,
                                  const QVariant &reserved, int &reserved2);

    // Condition check verdicts of check days in [from, to): passes (status
    // 1) and failures (status 2) as decimal text.
    QString GetConditionPassTotal(const QString &context, const QDateTime &from, const QDateTime &to,
                                  const QString &plate);
    QString GetConditionFailTotal(const QString &context, const QDateTime &from, const QDateTime &to,
                                  const QString &plate);
    // One record per check day and vehicle with a verdict in [from, to):
    // check_date, license, company_name, pass_count, fail_count,
    // forced_count, check_count (the sum of the three). Ordered by day, plate.
    RecordSet QueryConditionCheckStatistics(const QString &context, const QDateTime &from, const QDateTime &to,
                                            const QString &plate);

    // One record per trip (timetable trip or rolling run) of a trip date
    // from `from` to `to`, both included, that has been let out (out_status
    // 1): bus_date, bus_id (a rolling run as code-serial), bus_start_time,
    // license, company_name, end_station_name, total_seat, sale_num (empty
    // for rolling runs, which sell no tickets here), check_num, exit_time,
    // operator_name. Ordered by date, departure time, trip code.
    RecordSet QueryDepartureStatistics(const QString &context, const QDateTime &from, const QDateTime &to,
                                       const QString &plate);

    // Every day from `from` to `to` (both included, at most MaxChartDays
    // days) with the same figures as the two statistics: stat_date,
    // pass_count, fail_count, forced_count, departure_count. For the
    // period's chart.
    RecordSet QueryDailyStatistics(const QString &context, const QDate &from, const QDate &to,
                                   const QString &plate);
    static constexpr int MaxChartDays = 366;

private:
    Database &m_db;
};

} // namespace cg
