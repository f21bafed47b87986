// Another return check workstation: registers one card return on the shared
// database and exits (0 registered, 3 refused, 2 bad usage).
//
//   return_peer DATABASE CONTEXT CARD CHECKER

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
        std::fprintf(stderr, "usage: return_peer DATABASE CONTEXT CARD CHECKER\n");
        return 2;
    }
    try {
        cg::Database db(cg::DbConfig::parse(a[1]));
        cg::CheckService service(db, cg::test::fixtureClock());
        const cg::ReturnRegistration r = service.RegisterReturnByCard(a[2], cg::test::fixtureNow(), a[4], a[3]);
        std::printf("%s\n", qPrintable(r.license));
        return 0;
    } catch (const cg::ServiceError &e) {
        std::fprintf(stderr, "return_peer: %s\n", e.what());
        return 3;
    }
}
