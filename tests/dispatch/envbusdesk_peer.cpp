// Another dispatch workstation: issues one route sheet on the shared
// database and exits (0 issued, 3 refused, 1 failed).
//
//   envbusdesk_peer DATABASE CONTEXT DATE(yyyy-MM-dd) BUSID

#include "support/fixturetime.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 5) {
        std::fprintf(stderr, "usage: envbusdesk_peer DATABASE CONTEXT DATE BUSID\n");
        return 2;
    }
    try {
        cg::Database db(cg::DbConfig::parse(a[1]));
        cg::CheckService service(db, cg::test::fixtureClock());
        const QDateTime day(QDate::fromString(a[3], QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
        const bool ok = service.IssueRouteSheet(a[2], day, a[4], QString(), cg::test::fixtureNow(), 1,
                                                QStringLiteral("李敏"), QStringLiteral("440101"));
        return ok ? 0 : 3;
    } catch (const cg::ServiceError &e) {
        std::fprintf(stderr, "envbusdesk_peer: %s\n", e.what());
        return 1;
    }
}
