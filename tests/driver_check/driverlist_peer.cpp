// A second workstation for the forced-pass test: subscribes to the station's
// check events, prints "ready", and prints "<trip> <lamp>" for the first
// DriverCheck it hears (or "timeout" after TIMEOUT_MS), then exits.
//
//   driverlist_peer DATABASE STATION TIMEOUT_MS

#include "services/checks/checknotifier.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 4) {
        std::fprintf(stderr, "usage: driverlist_peer DATABASE STATION TIMEOUT_MS\n");
        return 2;
    }
    try {
        cg::Database db(cg::DbConfig::parse(a[1]));
        cg::CheckNotifier notifier(db);
        QObject::connect(&notifier, &cg::CheckNotifier::DriverCheck, &app,
                         [&](const QString &busId, const QDateTime &, int lamp) {
                             std::printf("%s %d\n", busId.toUtf8().constData(), lamp);
                             std::fflush(stdout);
                             app.exit(0);
                         });
        notifier.Subscribe(a[2]);
        QTimer::singleShot(a[3].toInt(), &app, [&] {
            std::printf("timeout\n");
            app.exit(1);
        });
        std::printf("ready\n");
        std::fflush(stdout);
        return app.exec();
    } catch (const cg::ServiceError &e) {
        std::fprintf(stderr, "driverlist_peer: %s\n", e.what());
        return 1;
    }
}
