// A check result written by one workstation process, delivered by the check
// notifier in another: the time from the start of the writer's write to the
// listener's signal, and the listener's CPU time while nothing happens.
//
//   notify_bench DATABASE [EVENTS]
//
// DATABASE is a SQLite path or a PostgreSQL conninfo of a migrated database
// (coachgate-admin init). The program starts a copy of itself as the writer,
// which writes EVENTS (default 200) results at random intervals of 20 to
// 120 ms, each carrying its commit time; the listener prints the median,
// p99 and maximum of the delivery times, then its CPU time over 10 s idle.

#include "benchtools.h"
#include "services/checks/checknotifier.h"
#include "services/database/database.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace Qt::StringLiterals;
using namespace cg;
using namespace cg::bench;

namespace {

const QString kStation = u"440100001"_s;

int write(const QString &spec, int events)
{
    Database db(DbConfig::parse(spec));
    QRandomGenerator random(7);
    const QDateTime day(QDate(2026, 12, 9), QTime(0, 0));
    for (int i = 0; i < events; ++i) {
        QThread::msleep(20 + random.bounded(100));
        // The trip code carries the time the write starts, in ms since the
        // epoch: the delay measured includes the write and its commit.
        CheckEvents::driverCheck(db, kStation, QString::number(QDateTime::currentMSecsSinceEpoch()), day, 1);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args.at(1) == u"--write"_s)
        return write(args.at(2), args.at(3).toInt());
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: notify_bench DATABASE [EVENTS]\n");
        return 2;
    }
    const QString spec = args.at(1);
    const int events = args.size() > 2 ? args.at(2).toInt() : 200;
    try {
        Database db(DbConfig::parse(spec));
        CheckNotifier notifier(db);
        std::vector<double> latency;
        QObject::connect(&notifier, &CheckNotifier::DriverCheck, &app, [&](const QString &busId) {
            latency.push_back(double(QDateTime::currentMSecsSinceEpoch() - busId.toLongLong()));
            if (int(latency.size()) >= events)
                app.quit();
        });
        notifier.Subscribe(kStation);

        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedChannels);
        writer.start(QCoreApplication::applicationFilePath(), {u"--write"_s, spec, QString::number(events)});
        QTimer::singleShot(events * 150 + 10000, &app, &QCoreApplication::quit); // a lost event ends it too
        app.exec();
        writer.waitForFinished(5000);
        std::sort(latency.begin(), latency.end());
        const auto at = [&](double q) {
            return latency.empty() ? 0.0 : latency[std::min(latency.size() - 1, size_t(q * double(latency.size())))];
        };
        std::printf("%s: %zu of %d delivered; ms from commit to signal: median %.1f, p99 %.1f, max %.1f\n",
                    qPrintable(db.config().describe()), latency.size(), events, at(0.5), at(0.99),
                    latency.empty() ? 0.0 : latency.back());

        const double c0 = processCpuMs();
        QTimer::singleShot(10000, &app, &QCoreApplication::quit);
        app.exec();
        std::printf("listener CPU while idle: %.1f ms over 10 s\n", processCpuMs() - c0);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "notify_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
