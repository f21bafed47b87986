// A second workstation for the check-in race: checks driver D01 into the
// trips R000 .. R<count-1> of today, one call each, and prints how many were
// recorded and how many were answered as already checked in.
//
//   checkin_peer DATABASE COUNT

#include "support/fixturetime.h"
#include "tst_checkinservice_fixture.h"

#include "services/checks/checkservice.h"
#include "services/database/serviceerror.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 3) {
        std::fprintf(stderr, "usage: checkin_peer DATABASE COUNT\n");
        return 2;
    }
    int recorded = 0, already = 0, other = 0;
    try {
        cg::Database db(cg::DbConfig::parse(a[1]));
        cg::CheckService svc(db, cg::test::fixtureClock());
        for (int i = 0; i < a[2].toInt(); ++i) {
            const QString answer = svc.CheckInDriver(cg::test::kCheckinCtx, QStringLiteral("R%1").arg(i, 3, 10, QChar(u'0')),
                                                     cg::test::checkinToday(), QStringLiteral("D01"),
                                                     cg::test::fixtureNow(), QStringLiteral("王刚"),
                                                     QStringLiteral("R01"));
            if (answer.isEmpty())
                ++recorded;
            else if (answer == QStringLiteral("指纹已通过，请勿重试！"))
                ++already;
            else
                ++other;
        }
    } catch (const cg::ServiceError &e) {
        std::fprintf(stderr, "checkin_peer: %s\n", e.what());
        return 1;
    }
    std::printf("%d %d %d\n", recorded, already, other);
    return 0;
}
