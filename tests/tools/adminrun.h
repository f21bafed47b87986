#pragma once

// Runs coachgate-admin in the test's process, and the checks both seeds'
// tests make of a live day.

#include "services/database/database.h"
#include "tools/admin.h"

#include <QDateTime>
#include <QStringList>
#include <QTextStream>

namespace cg::test {

struct AdminRun {
    int rc = -1;
    QString out;
    QString err;
};

inline AdminRun admin(const QStringList &args)
{
    AdminRun r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.rc = runAdmin(QStringList{QStringLiteral("coachgate-admin")} + args, out, err);
    out.flush();
    err.flush();
    return r;
}

// The first query that finds a check of day recorded later than now, or
// empty: a seed records only what has happened by the time it runs.
inline QString recordedAfter(Database &db, const QDate &day, const QDateTime &now)
{
    const QStringList queries = {
        QStringLiteral("SELECT count(*) FROM driver_checkins WHERE bus_date = ? AND driver_report_time > ?"),
        QStringLiteral("SELECT count(*) FROM trips WHERE bus_date = ? AND (scheme_time > ? OR exit_time > ?)"),
        QStringLiteral("SELECT count(*) FROM trips WHERE bus_date = ? AND out_status = 1 AND bus_start_time > ?"),
        QStringLiteral("SELECT count(*) FROM condition_checks WHERE check_date = ? AND cond_time > ?"),
        QStringLiteral("SELECT count(*) FROM departures WHERE bus_date = ? AND decided_at > ?"),
        QStringLiteral("SELECT count(*) FROM forced_releases WHERE bus_date = ? AND operate_time > ?"),
    };
    for (const QString &sql : queries) {
        QVariantList binds = {day, now};
        if (sql.count(u'?') == 3)
            binds << now;
        if (db.scalar(sql, binds).toInt() != 0)
            return sql;
    }
    return {};
}

// Trips given a route sheet though their vehicle had not passed its
// condition check that day before the sheet.
inline int sheetsWithoutPassedCheck(Database &db)
{
    return db.scalar(QStringLiteral(
                         "SELECT count(*) FROM trips t WHERE t.scheme_status = 1 AND NOT EXISTS (SELECT 1 "
                         "FROM condition_checks c WHERE c.license_id = t.license_id AND c.check_date = t.bus_date "
                         "AND c.cond_status = 1 AND c.cond_time < t.scheme_time)"))
        .toInt();
}

} // namespace cg::test
