// The trip lists on a station database: the whole day's list (dispatch
// centre, gate) and the check-in station's window of trips, with every lamp.
// Each query runs a number of times; the table gives median and p95 of the
// wall time and of this process's CPU time (the database server's time is
// in the wall time only).
//
//   daylist_bench DATABASE [DATE [RUNS]]
//
// DATABASE is a SQLite path or a PostgreSQL conninfo, as the workstation
// takes it; DATE (yyyy-MM-dd, default today) is the list day, RUNS the
// repetitions (default 20). The station and unit are the demo station's,
// which `coachgate-admin seed-demo` and `seed-large` write. The statistics
// cover the calendar month of DATE up to DATE, as the report screens ask
// for them.

#include "benchtools.h"
#include "core/clock.h"
#include "core/dates.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/reports/reportservice.h"
#include "tools/admin.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;
using namespace cg;
using namespace cg::bench;

namespace {

void measure(const char *name, int runs, const std::function<int()> &query)
{
    std::vector<double> wall, cpu;
    int rows = query(); // warm the caches once
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        const double c0 = processCpuMs();
        t.start();
        rows = query();
        wall.push_back(t.nsecsElapsed() / 1e6);
        cpu.push_back(processCpuMs() - c0);
    }
    std::printf("%-34s %6d  %8.1f %8.1f   %8.1f %8.1f\n", name, rows, quantile(wall, 0.5), quantile(wall, 0.95),
                quantile(cpu, 0.5), quantile(cpu, 0.95));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("CG_BENCH_UNPINNED_TZ"))
        std::fprintf(stderr, "daylist_bench: local time zone not pinned\n");
    else
        PinLocalTimeZone();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: daylist_bench DATABASE [DATE [RUNS]]\n");
        return 2;
    }
    const QDate day = args.size() > 2 ? QDate::fromString(args.at(2), u"yyyy-MM-dd"_s) : QDate::currentDate();
    const int runs = args.size() > 3 ? args.at(3).toInt() : 20;
    if (!day.isValid() || runs <= 0) {
        std::fprintf(stderr, "daylist_bench: bad date or run count\n");
        return 2;
    }
    try {
        Database db(DbConfig::parse(args.at(1)));
        const QString unit = QString::fromUtf16(demo::UnitCode);
        const QString context = u"[%1][%2][%3][0]"_s.arg(QString::fromUtf16(demo::OperatorCode),
                                                        QString::fromUtf16(demo::StationCode), unit);
        // The lists' "now": 09:00 of the list day, so the condition validity
        // window ends inside the day.
        ManualClock clock(QDateTime(day, QTime(9, 0)));
        CheckService checks(db, clock);
        const QDateTime date(day, QTime(0, 0));
        std::printf("database: %s, day %s, %d runs\n", qPrintable(db.config().describe()),
                    qPrintable(day.toString(Qt::ISODate)), runs);
        std::printf("%-34s %6s  %8s %8s   %8s %8s\n", "query", "rows", "wall ms", "p95", "CPU ms", "p95");
        measure("day list (QueryDayTrips)", runs, [&] {
            return checks.QueryDayTrips(context, date, QString(), QString(), QString(), QString(), QVariant(), 1, unit)
                .RecordCount();
        });
        measure("check-in window 08:00-10:00", runs, [&] {
            return checks
                .QueryDayTrips(context, date, QString(), QString(), day.toString(u"yyyy-MM-dd 08:00:00"_s),
                               day.toString(u"yyyy-MM-dd 10:00:00"_s), QVariant(), 1, unit)
                .RecordCount();
        });
        measure("rolling trips (QueryRollingTrips)", runs, [&] {
            return checks.QueryRollingTrips(context, date, QString(), QString(), QVariant(), QVariant(), QVariant(), 1)
                .RecordCount();
        });

        // The report screens' month: its first day to the list day.
        ReportService reports(db);
        const QDate first(day.year(), day.month(), 1);
        const QDateTime from(first, QTime(0, 0));
        const QDateTime afterEnd(day.addDays(1), QTime(0, 0));
        measure("month: condition check statistics", runs, [&] {
            reports.GetConditionPassTotal(context, from, afterEnd, QString());
            reports.GetConditionFailTotal(context, from, afterEnd, QString());
            const int n = reports.QueryConditionCheckStatistics(context, from, afterEnd, QString()).RecordCount();
            reports.QueryDailyStatistics(context, first, day, QString());
            return n;
        });
        measure("month: departure statistics", runs, [&] {
            const int n = reports.QueryDepartureStatistics(context, from, date, QString()).RecordCount();
            reports.QueryDailyStatistics(context, first, day, QString());
            return n;
        });
        measure("month: forced releases", runs, [&] {
            int reserved = 0;
            return reports.QueryForcedReleases(context, from, date, QVariant(), reserved).RecordCount();
        });
    } catch (const std::exception &e) {
        std::fprintf(stderr, "daylist_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
