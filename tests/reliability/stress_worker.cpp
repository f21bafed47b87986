// One workstation of the reliability tests, as a process of its own. Not
// installed, not shipped.
//
//   stress_worker work DATABASE CONTEXT DAY SEED COUNT TAG [PAUSE_MS]
//   stress_worker listen DATABASE STATION
//   stress_worker hold DATABASE
//   stress_worker readonly DATABASE CONTEXT DAY PLATE
//
// work: records COUNT results on the shared trips of DAY (yyyy-MM-dd) through
// the check service, choosing each with a generator seeded by SEED, and
// prints "READY" once it has read the trips, then one line per result the
// service recorded ("OK " + its key, see reliabilitycheck.h), then
// "DONE n busy b conflicts c". A refusal (already checked in, nothing to
// undo, ...) prints nothing; neither does a write refused because SQLite's
// write lock stayed taken past the busy timeout (b) or a PostgreSQL conflict
// that outlasted the retries (c): the operator is told to try again. Any
// other error ends the process with exit code 1. PAUSE_MS waits between
// operations, so that a run lasts while a test disturbs the server.
//
// With CG_STRESS_TOLERATE=1 a worker also lives through a lost connection,
// a server that cannot be reached and a file that cannot be written, as a
// workstation does: each such write prints "LOST " + its key + " | " + the
// message the operator would read, and the worker goes on after a short
// pause (the write may still have committed if the connection went during
// its COMMIT; it is never reported done). CG_STRESS_FILE_LIMIT=BYTES caps
// the size of every file the process writes (a disk that fills up), after
// the worker read the trips and moved the write-ahead log into the file.
//
// listen: subscribes a CheckNotifier to STATION, prints "READY", then one
// line per delivered event ("Event|bus or plate|lamp") until it is killed.
//
// hold: takes SQLite's write lock of the file and keeps it, with a write
// begun and never committed, printing "READY" once it holds it, until it
// is killed (another program locking the station's file).
//
// readonly: the day's trips are read, then a condition verdict for PLATE is
// tried, as a user who may read the file but not write it (a root process
// first becomes "nobody"). Prints "READ " and "WRITE " each followed by "ok" or the
// message the operator would read.

#include "reliabilitycheck.h"

#include "core/clock.h"
#include "core/dates.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"
#include "services/scheduling/arrangementservice.h"
#include "services/station/coreservices.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void say(const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

struct Trip {
    QString busId, plate;
    QStringList drivers;
};

int work(const QStringList &a)
{
    if (a.size() < 8) {
        std::fprintf(stderr, "usage: stress_worker work DATABASE CONTEXT DAY SEED COUNT TAG [PAUSE_MS]\n");
        return 2;
    }
    const QString context = a[3];
    const QDate day = QDate::fromString(a[4], u"yyyy-MM-dd"_s);
    const quint32 seed = a[5].toUInt();
    const int count = a[6].toInt();
    const QString tag = a[7];
    const int pauseMs = a.value(8).toInt();
    const bool tolerant = qEnvironmentVariableIntValue("CG_STRESS_TOLERATE") == 1;
    const cg::SessionContext session = cg::SessionContext::parse(context);
    const QDateTime busDate(day, QTime(0, 0));
    const QDateTime start(day, QTime(8, 0));

    cg::Database db(cg::DbConfig::parse(a[2]));
    cg::ManualClock clock(start);
    cg::CheckService checks(db, clock);
    cg::ArrangementService arrangements(db);

    const cg::RecordSet rs = checks.QueryDayTrips(context, busDate, QString(), QString(), QString(), QString(),
                                                  QVariant(), 1, session.unitCode);
    QList<Trip> trips;
    for (int i = 0; i < rs.RecordCount() && trips.size() < cg::test::kSharedTrips; ++i) {
        Trip t{rs.valueAt(i, u"bus_id"_s).toString(), rs.valueAt(i, u"license_tag_no"_s).toString(), {}};
        const cg::RecordSet ar = arrangements.QueryArrangements(context, QString(), QString(),
                                                                rs.valueAt(i, u"license_id"_s).toString(),
                                                                cg::NoDate(), QString());
        for (int k = 0; k < ar.RecordCount(); ++k)
            if (ar.valueAt(k, u"start_date"_s).toDateTime().date() <= day
                && ar.valueAt(k, u"end_date"_s).toDateTime().date() >= day)
                t.drivers << ar.valueAt(k, u"driver_id"_s).toString();
        if (!t.drivers.isEmpty() && !t.plate.isEmpty())
            trips << t;
    }
    if (trips.isEmpty()) {
        std::fprintf(stderr, "stress_worker: no trips with drivers on %s\n", qPrintable(a[4]));
        return 1;
    }
    if (const qint64 limit = qEnvironmentVariable("CG_STRESS_FILE_LIMIT").toLongLong(); limit > 0) {
        // Everything logged so far goes into the file, so that the log starts
        // empty and every write from here on meets the cap.
        db.exec(u"PRAGMA wal_checkpoint(TRUNCATE)"_s);
        std::signal(SIGXFSZ, SIG_IGN); // a write past the cap fails instead of ending the process
        const rlimit cap{rlim_t(limit), rlim_t(limit)};
        if (setrlimit(RLIMIT_FSIZE, &cap) != 0) {
            std::perror("stress_worker: setrlimit");
            return 1;
        }
    }
    say(u"READY"_s);

    QRandomGenerator rng(seed);
    int done = 0, busy = 0, conflicts = 0, lost = 0;
    QElapsedTimer opTimer;
    for (int n = 0; n < count; ++n) {
        opTimer.start();
        const Trip &t = trips.at(rng.bounded(int(trips.size())));
        const QString driver = t.drivers.at(rng.bounded(int(t.drivers.size())));
        // Times move on with every operation, so the verdicts' order by time
        // and by commit differ between the workstations.
        const QDateTime now = start.addSecs(n * 7 + rng.bounded(5));
        clock.set(now);
        const QString key = u"%1#%2"_s.arg(tag).arg(n);
        const QString forcedBy = u"F"_s + tag;
        QString candidate; // the result's key, should the service record it
        bool recorded = false;
        const int kind = int(rng.bounded(14));
        try {
        switch (kind) {
        case 0: case 1: case 2:
            candidate = cg::test::opKey({u"checkin"_s, t.busId, driver, tag});
            recorded = checks.CheckInDriver(context, t.busId, busDate, driver, now, tag, QString()).isEmpty();
            break;
        case 3:
            candidate = cg::test::opKey({u"uncheckin"_s, t.busId, driver});
            recorded = checks.CancelDriverCheckIn(context, t.busId, busDate, driver, QString(), t.plate).isEmpty();
            break;
        case 4: case 5:
            candidate = cg::test::opKey({u"verdict"_s, t.plate, key});
            recorded = checks.AddConditionCheckResult(context, t.plate, now, rng.bounded(4) != 0, tag, key).isEmpty();
            break;
        case 6:
            candidate = cg::test::opKey({u"unverdict"_s, t.plate});
            recorded = checks.CancelConditionCheck(context, busDate, t.plate, busDate).isEmpty();
            break;
        case 7:
            candidate = cg::test::opKey({u"sheet"_s, t.busId, tag});
            recorded = checks.IssueRouteSheet(context, busDate, t.busId, t.plate, now, 1, tag, session.unitCode);
            break;
        case 8: {
            const int status = rng.bounded(3) == 0 ? 2 : 1;
            candidate = cg::test::opKey({u"depart"_s, t.busId, QString::number(status), tag});
            recorded = !checks.SetDepartureStatus(context, busDate, t.busId, t.plate, tag, cg::FormatDateTime(now),
                                                  QVariant(), QVariant(), status, QString(), u"10"_s,
                                                  session.unitCode, true)
                            .startsWith(u'#');
            break;
        }
        case 9:
            candidate = cg::test::opKey({u"forcecond"_s, t.plate, key});
            recorded = checks.ForcePassConditionCheck(context, busDate, 0, t.busId, t.plate, now, 2, forcedBy, key,
                                                      session.unitCode).isEmpty();
            break;
        case 10:
            candidate = cg::test::opKey({u"forcedriver"_s, t.busId, key});
            recorded = checks.ForceDriverPass(context, t.busId, busDate, driver, now, forcedBy, t.plate, key, 3)
                           .isEmpty();
            break;
        case 11:
            candidate = cg::test::opKey({u"face"_s, t.busId, tag});
            checks.AddAppearanceCheckResult(context, busDate, t.busId, t.plate, now, rng.bounded(4) != 0, tag);
            recorded = true;
            break;
        case 12:
            candidate = cg::test::opKey({u"unface"_s, t.busId});
            recorded = checks.CancelAppearanceCheck(context, busDate, t.busId, t.plate).isEmpty();
            break;
        default:
            candidate = cg::test::opKey({u"forceface"_s, t.busId, key});
            recorded = checks.ForcePassAppearanceCheck(context, busDate, t.busId, t.plate, now, 1, forcedBy, key,
                                                       session.unitCode).isEmpty();
            break;
        }
        } catch (const cg::TxConflictError &) {
            ++conflicts; // told to try again: nothing was written
        } catch (const cg::ServiceError &e) {
            const QString message = e.description();
            // SQLite's write lock still taken after the busy timeout: the
            // operator is told to try again, and nothing was written.
            if (message.startsWith(u"数据库正忙"_s)) {
                ++busy;
            } else if (tolerant && (e.number() == cg::svcerr::Unreachable || message.contains(u"磁盘已满"_s))) {
                say(u"LOST "_s + candidate + u" | "_s + message);
                ++lost;
                QThread::msleep(50);
            } else {
                std::fprintf(stderr, "stress_worker %s: operation %d (kind %d) failed after %lld ms: %s\n",
                             qPrintable(tag), n, kind, opTimer.elapsed(), e.what());
                throw;
            }
        }
        if (recorded) {
            say(u"OK "_s + candidate);
            ++done;
        }
        if (pauseMs > 0)
            QThread::msleep(pauseMs);
    }
    say(u"DONE %1 busy %2 conflicts %3 lost %4"_s.arg(done).arg(busy).arg(conflicts).arg(lost));
    return 0;
}

int listen(QCoreApplication &app, const QStringList &a)
{
    if (a.size() < 4) {
        std::fprintf(stderr, "usage: stress_worker listen DATABASE STATION\n");
        return 2;
    }
    cg::Database db(cg::DbConfig::parse(a[2]));
    cg::CheckNotifier n(db);
    const auto line = [](const QString &event, const QString &key, int lamp) {
        say(cg::test::eventKey(event, key, lamp));
    };
    QObject::connect(&n, &cg::CheckNotifier::DriverCheck, &n,
                     [line](const QString &b, const QDateTime &, int l) { line(u"DriverCheck"_s, b, l); });
    QObject::connect(&n, &cg::CheckNotifier::SchemeCheck, &n,
                     [line](const QString &b, const QDateTime &, int l, const QDateTime &) {
                         line(u"SchemeCheck"_s, b, l);
                     });
    QObject::connect(&n, &cg::CheckNotifier::SchemeExCheck, &n,
                     [line](const QString &b, const QDateTime &, int l) { line(u"SchemeExCheck"_s, b, l); });
    QObject::connect(&n, &cg::CheckNotifier::TechCheck, &n,
                     [line](const QString &p, const QDateTime &, int l, int, const QDateTime &, const QString &) {
                         line(u"TechCheck"_s, p, l);
                     });
    QObject::connect(&n, &cg::CheckNotifier::FaceCheck, &n,
                     [line](const QString &b, const QDateTime &, int l, int, const QDateTime &, const QString &) {
                         line(u"FaceCheck"_s, b, l);
                     });
    QObject::connect(&n, &cg::CheckNotifier::ReturnCheck, &n,
                     [line](const QString &p, const QDateTime &, int l, const QDateTime &, const QString &) {
                         line(u"ReturnCheck"_s, p, l);
                     });
    QObject::connect(&n, &cg::CheckNotifier::ReplaceVehicle, &n,
                     [line](const QString &b, const QDateTime &, const QString &, const QString &) {
                         line(u"ReplaceVehicle"_s, b, 0);
                     });
    n.Subscribe(a[3]);
    n.poll(); // the starting point is taken before READY
    say(u"READY"_s);
    return app.exec();
}

int hold(QCoreApplication &app, const QStringList &a)
{
    if (a.size() < 3) {
        std::fprintf(stderr, "usage: stress_worker hold DATABASE\n");
        return 2;
    }
    // A connection of its own, not the service's: the lock is what matters.
    QSqlDatabase conn = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"hold"_s);
    conn.setDatabaseName(a[2]);
    if (!conn.open()) {
        std::fprintf(stderr, "stress_worker hold: %s\n", qPrintable(conn.lastError().text()));
        return 1;
    }
    QSqlQuery q(conn);
    for (const QString &sql : {u"PRAGMA busy_timeout=10000"_s, u"BEGIN IMMEDIATE"_s, u"DELETE FROM drivers"_s}) {
        if (!q.exec(sql)) {
            std::fprintf(stderr, "stress_worker hold: %s: %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
            return 1;
        }
    }
    say(u"READY"_s);
    return app.exec();
}

int readOnly(const QStringList &a)
{
    if (a.size() < 6) {
        std::fprintf(stderr, "usage: stress_worker readonly DATABASE CONTEXT DAY PLATE\n");
        return 2;
    }
    // Root may write any file whatever its mode: become a user who may not.
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
        std::perror("stress_worker readonly: setuid");
        return 1;
    }
    const QString context = a[3];
    const QDateTime busDate(QDate::fromString(a[4], u"yyyy-MM-dd"_s), QTime(0, 0));
    const cg::SessionContext session = cg::SessionContext::parse(context);
    cg::Database db(cg::DbConfig::parse(a[2]));
    cg::ManualClock clock(busDate.addSecs(8 * 3600));
    cg::CheckService checks(db, clock);
    const QString plate = a[5];
    try {
        checks.QueryDayTrips(context, busDate, QString(), QString(), QString(), QString(), QVariant(), 1,
                             session.unitCode);
        say(u"READ ok"_s);
    } catch (const cg::ServiceError &e) {
        say(u"READ "_s + e.description());
    }
    try {
        const QString refusal = checks.AddConditionCheckResult(context, plate, clock.now(), true, u"ro"_s,
                                                               u"read-only"_s);
        say(refusal.isEmpty() ? u"WRITE ok"_s : u"WRITE refused "_s + refusal);
    } catch (const cg::ServiceError &e) {
        say(u"WRITE "_s + e.description());
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    cg::PinLocalTimeZone();
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    try {
        if (a.value(1) == u"work"_s)
            return work(a);
        if (a.value(1) == u"listen"_s)
            return listen(app, a);
        if (a.value(1) == u"hold"_s)
            return hold(app, a);
        if (a.value(1) == u"readonly"_s)
            return readOnly(a);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "stress_worker: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: stress_worker work|listen|hold|readonly ...\n");
    return 2;
}
