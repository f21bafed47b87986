// A second workstation for the departure gate tests: allows a trip out
// through the data service and records a failed condition check event for
// a plate, then exits.
//
//   outcheck_peer DATABASE CONTEXT TRIP PLATE

#include "support/fixturetime.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 5) {
        std::fprintf(stderr, "usage: outcheck_peer DATABASE CONTEXT TRIP PLATE\n");
        return 2;
    }
    try {
        cg::Database db(cg::DbConfig::parse(a[1]));
        cg::CheckService checks(db, cg::test::fixtureClock());
        const QDateTime now = cg::test::fixtureNow();
        const QString result = checks.SetDepartureStatus(a[2], QDateTime(now.date(), QTime(0, 0)), a[3], a[4],
                                                         QStringLiteral("李调度"), QString(), {}, {}, 1, QString(),
                                                         QStringLiteral("30"), QString(), true);
        if (result != a[3]) {
            std::fprintf(stderr, "outcheck_peer: %s\n", qPrintable(result));
            return 1;
        }
        const cg::SessionContext session = cg::SessionContext::parse(a[2]);
        db.transact([&] { cg::CheckEvents::techCheck(db, session.stationCode, a[4], now, 2, 1, now, QStringLiteral("李检")); });
    } catch (const cg::ServiceError &e) {
        std::fprintf(stderr, "outcheck_peer: %s\n", e.what());
        return 1;
    }
    return 0;
}
