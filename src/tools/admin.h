#pragma once

#include <QDate>
#include <QStringList>
#include <QTextStream>

namespace cg {

class Database;

// coachgate-admin: creates and upgrades a station database, checks it and
// fills the demo station.
//
//   coachgate-admin [--database SPEC | --config FILE] init | check | seed-demo [--date yyyy-MM-dd]
//
// Without --database the database setting is read from [database] spec of the
// workstation's INI file (--config, or the system and user files).
// Exit codes: 0 done, 1 failed (reason on err), 2 wrong usage,
// 3 (check) the database needs "init" or was written by a newer program.
int runAdmin(const QStringList &arguments, QTextStream &out, QTextStream &err);

// The demo station of one day: operators, parameters, code tables, master
// data, and the day's trips with some checks already recorded. Adds what is
// missing and leaves existing rows alone, so it can be run again each day.
struct DemoSeedResult {
    int trips = 0;        // trips of the day added
    bool masterData = false; // master data added (false: it was there)
};
DemoSeedResult seedDemoStation(Database &db, const QDate &day);

// The demo's identities (for tests and the documentation).
namespace demo {
inline constexpr char16_t OperatorCode[] = u"wg";
inline constexpr char16_t StationCode[] = u"440100001";
inline constexpr char16_t UnitCode[] = u"440100";
inline constexpr char16_t ExitPassword[] = u"8888";
} // namespace demo

} // namespace cg
