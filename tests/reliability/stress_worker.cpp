// One workstation of the reliability tests, as a process of its own. Not
// installed, not shipped.
//
//   stress_worker work DATABASE CONTEXT DAY SEED COUNT TAG
//   stress_worker listen DATABASE STATION
//
// work: records COUNT results on the shared trips of DAY (yyyy-MM-dd) through
// the check service, choosing each with a generator seeded by SEED, and
// prints "READY" once it has read the trips, then one line per result the
// service recorded ("OK " + its key, see reliabilitycheck.h), then
// "DONE n busy b conflicts c". A refusal (already checked in, nothing to
// undo, ...) prints nothing; neither does a write refused because SQLite's
// write lock stayed taken past the busy timeout (b) or a PostgreSQL conflict
// that outlasted the retries (c): the operator is told to try again. Any
// other error ends the process with exit code 1.
//
// listen: subscribes a CheckNotifier to STATION, prints "READY", then one
// line per delivered event ("Event|bus or plate|lamp") until it is killed.

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

#include <cstdio>

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
        std::fprintf(stderr, "usage: stress_worker work DATABASE CONTEXT DAY SEED COUNT TAG\n");
        return 2;
    }
    const QString context = a[3];
    const QDate day = QDate::fromString(a[4], u"yyyy-MM-dd"_s);
    const quint32 seed = a[5].toUInt();
    const int count = a[6].toInt();
    const QString tag = a[7];
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
    say(u"READY"_s);

    QRandomGenerator rng(seed);
    int done = 0, busy = 0, conflicts = 0;
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
        QString ok; // the result's key when the service recorded it
        const int kind = int(rng.bounded(14));
        try {
        switch (kind) {
        case 0: case 1: case 2:
            if (checks.CheckInDriver(context, t.busId, busDate, driver, now, tag, QString()).isEmpty())
                ok = cg::test::opKey({u"checkin"_s, t.busId, driver, tag});
            break;
        case 3:
            if (checks.CancelDriverCheckIn(context, t.busId, busDate, driver, QString(), t.plate).isEmpty())
                ok = cg::test::opKey({u"uncheckin"_s, t.busId, driver});
            break;
        case 4: case 5:
            if (checks.AddConditionCheckResult(context, t.plate, now, rng.bounded(4) != 0, tag, key).isEmpty())
                ok = cg::test::opKey({u"verdict"_s, t.plate, key});
            break;
        case 6:
            if (checks.CancelConditionCheck(context, busDate, t.plate, busDate).isEmpty())
                ok = cg::test::opKey({u"unverdict"_s, t.plate});
            break;
        case 7:
            if (checks.IssueRouteSheet(context, busDate, t.busId, t.plate, now, 1, tag, session.unitCode))
                ok = cg::test::opKey({u"sheet"_s, t.busId, tag});
            break;
        case 8: {
            const int status = rng.bounded(3) == 0 ? 2 : 1;
            const QString answer = checks.SetDepartureStatus(context, busDate, t.busId, t.plate, tag,
                                                             cg::FormatDateTime(now), QVariant(), QVariant(), status,
                                                             QString(), u"10"_s, session.unitCode, true);
            if (!answer.startsWith(u'#'))
                ok = cg::test::opKey({u"depart"_s, t.busId, QString::number(status), tag});
            break;
        }
        case 9:
            if (checks.ForcePassConditionCheck(context, busDate, 0, t.busId, t.plate, now, 2, forcedBy, key,
                                               session.unitCode).isEmpty())
                ok = cg::test::opKey({u"forcecond"_s, t.plate, key});
            break;
        case 10:
            if (checks.ForceDriverPass(context, t.busId, busDate, driver, now, forcedBy, t.plate, key, 3).isEmpty())
                ok = cg::test::opKey({u"forcedriver"_s, t.busId, key});
            break;
        case 11:
            checks.AddAppearanceCheckResult(context, busDate, t.busId, t.plate, now, rng.bounded(4) != 0, tag);
            ok = cg::test::opKey({u"face"_s, t.busId, tag});
            break;
        case 12:
            if (checks.CancelAppearanceCheck(context, busDate, t.busId, t.plate).isEmpty())
                ok = cg::test::opKey({u"unface"_s, t.busId});
            break;
        default:
            if (checks.ForcePassAppearanceCheck(context, busDate, t.busId, t.plate, now, 1, forcedBy, key,
                                                session.unitCode).isEmpty())
                ok = cg::test::opKey({u"forceface"_s, t.busId, key});
            break;
        }
        } catch (const cg::TxConflictError &) {
            ++conflicts; // told to try again: nothing was written
        } catch (const cg::ServiceError &e) {
            // SQLite's write lock still taken after the busy timeout: the
            // operator is told to try again, and nothing was written.
            if (!QString::fromUtf8(e.what()).startsWith(u"数据库正忙"_s)) {
                std::fprintf(stderr, "stress_worker %s: operation %d (kind %d) failed after %lld ms: %s\n",
                             qPrintable(tag), n, kind, opTimer.elapsed(), e.what());
                throw;
            }
            ++busy;
        }
        if (!ok.isEmpty()) {
            say(u"OK "_s + ok);
            ++done;
        }
    }
    say(u"DONE %1 busy %2 conflicts %3"_s.arg(done).arg(busy).arg(conflicts));
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
    } catch (const std::exception &e) {
        std::fprintf(stderr, "stress_worker: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: stress_worker work|listen ...\n");
    return 2;
}
