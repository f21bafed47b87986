// The workstation's start-up on a station database, as the program does it:
// configuration, session, parameters, main window, then the check-in
// station with every enrolled driver's fingers loaded. Then the check
// stations are opened (check-in with its reader window, condition check,
// appearance check, dispatch centre, gate, return), and then every other
// form of every screen library as well (non-modal, offscreen). Prints the
// times and the process's resident memory at each step.
//
//   startup_bench [--config FILE] [--database SPEC]
//
// The arguments are the workstation's own. The system clock is never set.

#include "benchtools.h"
#include "benchsinks.h"
#include "app/config.h"
#include "app/mainwindow.h"
#include "app/screens.h"
#include "app/startup.h"
#include "core/clock.h"
#include "core/dates.h"
#include "driver_check/frmdriververifylibrary.h"
#include "widgets/env.h"
#include "widgets/formregistry.h"
#include "widgets/messagesink.h"
#include "widgets/sound.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
using namespace cg;
using namespace cg::bench;

namespace {

// Resident and peak resident memory of this process, in MiB.
std::pair<double, double> residentMiB()
{
    QFile status(u"/proc/self/status"_s);
    double rss = 0, hwm = 0;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                rss = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
            else if (line.startsWith("VmHWM:"))
                hwm = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
        }
    }
    return {rss, hwm};
}

// Milliseconds since the kernel started this process (10 ms steps).
double sinceProcessStartMs()
{
    QFile stat(u"/proc/self/stat"_s);
    QFile uptime(u"/proc/uptime"_s);
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray s = stat.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    const double started = fields.value(19).toDouble() / double(sysconf(_SC_CLK_TCK));
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    return (now - started) * 1000;
}

class LeaveTheClock : public SystemClockSetter {
public:
    void setSystemClock(const QDateTime &) override {}
};

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    PinLocalTimeZone();
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SystemClock clock;
    QuietSurroundings quiet(clock);
    Env &env = quiet.env;
    AppConfig config;
    try {
        config = LoadConfig(ParseCommandLine(QApplication::arguments()));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "startup_bench: %s\n", e.what());
        return 2;
    }
    env.layoutFile = config.layoutFile;
    env.dataDir = config.dataDir;
    env.photoDir = config.photoDir;
    env.scratchDir = config.scratchDir;

    LeaveTheClock setter;
    Startup startup(env, setter);
    double upMain = -1, upProcess = -1, upCpu = -1, readyMain = -1;
    std::pair<double, double> readyMemory;
    const auto showCheckIn = CheckInStation(env);
    startup.checkInStation = [&](mdiMain &window, StationContext &station) {
        // The station loads while it is shown; the first turn of its event
        // loop finds it ready. Then it closes, as with the exit password.
        QTimer::singleShot(0, &window, [&] {
            upMain = sinceMain.nsecsElapsed() / 1e6;
            upProcess = sinceProcessStartMs();
            upCpu = processCpuMs();
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                // The templates index on a thread of their own: the station
                // answers presses once that has ended.
                const auto libraries = dialog->findChildren<DriverFingerLibrary *>();
                for (DriverFingerLibrary *library : libraries)
                    library->waitLoaded();
                readyMain = sinceMain.nsecsElapsed() / 1e6;
                readyMemory = residentMiB();
                dialog->done(QDialog::Rejected);
            }
        });
        showCheckIn(window, station);
    };
    if (!startup.Main(config) || upMain < 0) {
        std::fprintf(stderr, "startup_bench: the workstation did not come up\n");
        return 1;
    }

    const auto printUp = [&] {
        std::printf("check-in station up: %.0f ms from main(), %.0f ms from process start, %.0f ms CPU\n", upMain,
                    upProcess, upCpu);
        std::printf("fingerprints ready: %.0f ms from main(); resident %.1f MiB (peak %.1f MiB)\n", readyMain,
                    readyMemory.first, readyMemory.second);
    };
    if (qEnvironmentVariableIsSet("CG_BENCH_STARTUP_ONLY")) {
        printUp();
        return 0;
    }
    // Every form of every screen library, open at once.
    FormRegistry all;
    StationContext &station = startup.station();
    RegisterEveryForm(all, env, station);
    std::vector<std::unique_ptr<QWidget>> open;
    QElapsedTimer opening;
    opening.start();
    // CG_BENCH_EACH_FORM: each form's own time and memory. The check
    // stations open first (the check-in station once more, as at start-up),
    // then every other form.
    const bool each = qEnvironmentVariableIsSet("CG_BENCH_EACH_FORM");
    const QStringList stations = {u"frmDriverVerify"_s, u"frmFingerprintSimulator"_s, u"frmTechCheck"_s,
                                  u"frmFaceCheck"_s,    u"frmEnvBusDesk"_s,           u"frmOutCheck"_s,
                                  u"frmReturnCheck"_s};
    QStringList forms = all.forms();
    forms.sort();
    for (const QString &station : stations)
        forms.removeOne(station);
    forms = stations + forms;
    std::pair<double, double> stationsMemory;
    for (const QString &form : forms) {
        if (form == forms.value(stations.size()))
            stationsMemory = residentMiB();
        QElapsedTimer one;
        one.start();
        const double before = residentMiB().first;
        if (QWidget *w = all.create(form, nullptr)) {
            open.emplace_back(w);
            w->show();
            QApplication::processEvents();
        }
        if (each)
            std::printf("  %-28s %8.0f ms %+8.1f MiB\n", qPrintable(form), one.nsecsElapsed() / 1e6,
                        residentMiB().first - before);
    }
    const double openMs = opening.nsecsElapsed() / 1e6;
    const auto allMemory = residentMiB();

    std::printf("database: %s\n", qPrintable(config.databaseSpec));
    printUp();
    std::printf("the %d check stations open: resident %.1f MiB (peak %.1f MiB)\n", int(stations.size()),
                stationsMemory.first, stationsMemory.second);
    std::printf("%d forms opened in %.0f ms: resident %.1f MiB (peak %.1f MiB)\n", int(open.size()), openMs,
                allMemory.first, allMemory.second);
    open.clear();
    return 0;
}
