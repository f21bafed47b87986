// The departure gate's 今日车次 on a station database (a seeded big
// station): the real gate screen, shown offscreen, queries the day's
// timetable trips and rolling runs, fills its grid and repaints. Prints
// median and p95 of the wall time and of this process's CPU time (the
// database server's time is in the wall time only).
//
//   gatefill_bench DATABASE [DATE [RUNS]]
//
// DATABASE is a SQLite path or a PostgreSQL conninfo; DATE (yyyy-MM-dd,
// default today) the list day; RUNS the repetitions (default 10). The
// operator, station and unit are the demo station's.

#include "benchtools.h"
#include "benchsinks.h"
#include "core/clock.h"
#include "core/dates.h"
#include "dispatch/frmoutcheck.h"
#include "services/database/database.h"
#include "services/station/coreservices.h"
#include "stationui/stationcontext.h"
#include "tools/admin.h"
#include "widgets/env.h"
#include "widgets/grid.h"
#include "widgets/messagesink.h"
#include "widgets/sound.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace Qt::StringLiterals;
using namespace cg;
using namespace cg::bench;

int main(int argc, char **argv)
{
    PinLocalTimeZone();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: gatefill_bench DATABASE [DATE [RUNS]]\n");
        return 2;
    }
    const QDate day = args.size() > 2 ? QDate::fromString(args.at(2), u"yyyy-MM-dd"_s) : QDate::currentDate();
    const int runs = args.size() > 3 ? args.at(3).toInt() : 10;
    if (!day.isValid() || runs <= 0) {
        std::fprintf(stderr, "gatefill_bench: bad date or run count\n");
        return 2;
    }
    try {
        Database db(DbConfig::parse(args.at(1)));
        SessionService session(db);
        int opened = 0;
        session.OpenSession(QString::fromUtf16(demo::OperatorCode), QString(), QString(), opened);
        ManualClock clock(QDateTime(day, QTime(9, 0)));
        QuietSurroundings quiet(clock);
        Env &env = quiet.env;
        QTemporaryDir scratch;
        env.layoutFile = scratch.filePath(u"HeadSet.ini"_s);
        env.dataDir = scratch.path();
        StationContext station;
        station.db = &db;
        station.session = &session;
        station.context = u"[%1][%2][%3][0]"_s.arg(QString::fromUtf16(demo::OperatorCode),
                                                  QString::fromUtf16(demo::StationCode),
                                                  QString::fromUtf16(demo::UnitCode));
        station.params.BeforeMinute = u"30"_s;

        frmOutCheck gate(env, station);
        gate.resize(1280, 800);
        gate.show();
        QApplication::processEvents();
        auto *today = gate.findChild<QPushButton *>(u"cmdTodayBus"_s);
        auto *grid = gate.findChild<FlexGrid *>(u"vsList"_s);
        if (!today || !grid) {
            std::fprintf(stderr, "gatefill_bench: the gate screen has no 今日车次 or no list\n");
            return 1;
        }
        std::vector<double> wall, cpu;
        for (int i = 0; i <= runs; ++i) {
            QElapsedTimer t;
            const double c0 = processCpuMs();
            t.start();
            today->click();
            QApplication::processEvents(); // the grid repaints
            if (i == 0)
                continue; // warms the caches
            wall.push_back(t.nsecsElapsed() / 1e6);
            cpu.push_back(processCpuMs() - c0);
        }
        std::printf("database: %s, day %s, %d runs\n", qPrintable(db.config().describe()),
                    qPrintable(day.toString(Qt::ISODate)), runs);
        std::printf("%-34s %6s  %8s %8s   %8s %8s\n", "gate", "rows", "wall ms", "p95", "CPU ms", "p95");
        std::printf("%-34s %6d  %8.1f %8.1f   %8.1f %8.1f\n", "今日车次: queries, grid, repaint",
                    grid->rows() - grid->fixedRows(), quantile(wall, 0.5), quantile(wall, 0.95), quantile(cpu, 0.5),
                    quantile(cpu, 0.95));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "gatefill_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
