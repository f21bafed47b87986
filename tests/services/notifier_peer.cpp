// A second workstation process for the notifier tests: writes check events
// of one writer tag, each in its own transaction, and exits.
//
//   notifier_peer DATABASE STATION TAG FIRST COUNT [HOLD_MS] [OTHER_STATION]
//
// HOLD_MS keeps each transaction open that long after its event is written
// (a slow writer); OTHER_STATION adds, in the same transaction, the same
// event for another station, which subscribers of STATION must not see.

#include "tst_notifier_events.h"

#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 6) {
        std::fprintf(stderr, "usage: notifier_peer DATABASE STATION TAG FIRST COUNT [HOLD_MS] [OTHER_STATION]\n");
        return 2;
    }
    const QString station = a[2], tag = a[3];
    const int first = a[4].toInt(), count = a[5].toInt();
    const int holdMs = a.size() > 6 ? a[6].toInt() : 0;
    const QString other = a.size() > 7 ? a[7] : QString();
    try {
        cg::Database db(cg::DbConfig::parse(a[1]));
        for (int i = first; i < first + count; ++i) {
            db.transact([&] {
                cg::test::writeEvent(db, station, tag, i);
                if (!other.isEmpty())
                    cg::test::writeEvent(db, other, tag, i);
                if (holdMs > 0)
                    QThread::msleep((i % 3) * holdMs / 2);
            });
        }
    } catch (const cg::ServiceError &e) {
        std::fprintf(stderr, "notifier_peer: %s\n", e.what());
        return 1;
    }
    return 0;
}
