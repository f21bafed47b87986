#pragma once

#include "app/config.h"
#include "widgets/env.h"
#include "stationui/stationcontext.h"

#include <QDateTime>
#include <QVariant>

#include <exception>
#include <functional>
#include <memory>

class QCoreApplication;
class QLocale;

namespace cg {

class ClockService;
class MessageSink;
class Database;
class SessionService;
class mdiMain;

// Sets the operating system's clock. The workstation uses clock_settime;
// tests put in one that records or refuses.
class SystemClockSetter {
public:
    virtual ~SystemClockSetter() = default;
    // Throws AppError when the system refuses.
    virtual void setSystemClock(const QDateTime &to) = 0;
};

class PosixClockSetter : public SystemClockSetter {
public:
    void setSystemClock(const QDateTime &to) override;
};

// "[op][station][unit][flag]"
QString BuildContext(const QString &operatorCode, const QString &stationCode, const QString &unitCode, qint16 flag);

// The ordinary text-to-boolean rules for parameters 12..14: a number is
// true when it is not zero, "True" and "False" are read as words; anything
// else, an empty or missing value included, is AppError 13 naming the
// parameter.
bool ParamToBool(const QVariant &value, int index, const QString &name);

// A start-up failure: written to standard error (so a workstation started
// without a display, or by a script, says why it ended) and reported through
// the message sink.
void ReportStartupFailure(MessageSink &sink, const std::exception &error);

// Loads Qt's own translations (qtbase_<locale>.qm) so standard dialog
// buttons speak the workstation's language; false when they are missing.
bool InstallQtTranslations(QCoreApplication &app, const QLocale &locale);

// Brings the workstation up: session, context string, clock, parameters,
// main window, then the check-in station. Everything it builds lives as
// long as this object.
class Startup {
public:
    Startup(Env &env, SystemClockSetter &clockSetter);
    ~Startup();

    // Runs start-up with the given settings. Any failure is reported through
    // the message sink. Returns false when start-up ended before the main
    // window was shown (the process should then end with a non-zero code);
    // after that the window stays up whatever happens.
    bool Main(const AppConfig &config);

    // The check-in station, shown modally once the main window is up; until
    // it is installed start-up goes straight on.
    std::function<void(mdiMain &, StationContext &)> checkInStation;

    StationContext &station() { return m_station; }
    mdiMain *mainWindow() const { return m_window.get(); }
    Database *database() const { return m_db.get(); }

private:
    void setClock(ClockService &clock, int toleranceSeconds);
    void loadParameters();

    Env &m_env;
    SystemClockSetter &m_clockSetter;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<SessionService> m_session;
    StationContext m_station;
    std::unique_ptr<mdiMain> m_window;
};

// What a test build of the workstation adds around the real start-up; the
// shipped program passes none of it.
struct WorkstationExtras {
    // Runs once the application, the Env and the Startup exist, before
    // start-up: may replace Env members (the message sink) and keep the
    // Startup to reach the main window and the station later.
    std::function<void(Env &, Startup &)> beforeStart;
};

// The workstation process: reads the command line and the configuration,
// builds the real sinks and runs start-up and the event loop.
int RunWorkstation(int argc, char *argv[], const WorkstationExtras &extras = {});

} // namespace cg
