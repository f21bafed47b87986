#pragma once
// The workstation of the demo station's operator, for the tests that start
// the whole program over a seeded demo database.

#include "app/config.h"
#include "app/startup.h"
#include "tools/admin.h"

namespace cg::test {

// The demo operator's desk on database spec db, with the given reader.
inline AppConfig DemoWorkstationConfig(const QString &db, FingerReaderKind reader)
{
    AppConfig config;
    config.operatorCode = QString::fromUtf16(demo::OperatorCode);
    config.stationCode = QString::fromUtf16(demo::StationCode);
    config.unitCode = QString::fromUtf16(demo::UnitCode);
    config.sessionCode = QStringLiteral("CGS");
    config.databaseSpec = db;
    config.fingerReader = reader;
    return config;
}

// A system clock that is never set: the tests' clock is their own.
class AcceptingClockSetter : public SystemClockSetter {
public:
    void setSystemClock(const QDateTime &) override {}
};

} // namespace cg::test
