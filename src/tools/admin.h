#pragma once

#include <QDate>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace cg {

class Database;

// coachgate-admin: creates and upgrades a station database, checks it and
// fills the demo station or a large one.
//
//   coachgate-admin [--database SPEC | --config FILE] init | check | seed-demo | seed-large | prune-events
//                   [--date yyyy-MM-dd] [--time HH:mm] [--force] [--station CODE] [--days N] [--trips-per-day N]
//                   [--drivers N] [--vehicles N]
//   coachgate-admin [--database SUPERUSER-SPEC] server-setup --network CIDR ... (serversetup.h)
//
// Without --database the database setting is read from [database] spec of the
// workstation's INI file (--config, or the system and user files).
// Exit codes: 0 done, 1 failed (reason on err), 2 wrong usage,
// 3 (check) the database needs "init" or was written by a newer program.
// askPassword asks for a password without echoing it (server-setup without
// --password-file), or returns "" when it cannot.
int runAdmin(const QStringList &arguments, QTextStream &out, QTextStream &err,
             const std::function<QString(const QString &prompt)> &askPassword = {});

// A password typed on the terminal, not echoed; "" when standard input is
// not a terminal.
QString askPasswordOnTerminal(const QString &prompt);

// The demo station of one day: operators, parameters, code tables, master
// data, and the day's trips with some checks already recorded. Adds what is
// missing and leaves existing rows alone, so it can be run again each day.
// The day's trips and checks are written for station (empty: the demo's,
// demo::StationCode); the master data and the demo operators are shared, so
// a second station seeded into the same database runs the same vehicles.
struct DemoSeedResult {
    int trips = 0;        // trips of the day added
    bool masterData = false; // master data added (false: it was there)
};
// What had happened by now (a moment of day, or any other: before the day
// nothing, after it everything) is recorded as done; without now, by the
// moment of the call.
DemoSeedResult seedDemoStation(Database &db, const QDate &day, const QDateTime &now,
                               const QString &station = QString());
DemoSeedResult seedDemoStation(Database &db, const QDate &day, const QString &station = QString());

// A big station for trials of size and speed: the demo's companies, models,
// stops and routes, drivers D00001... (a photo and both fingers enrolled)
// and vehicles 00100001... with their arrangements, and days of trips up
// to lastDay with their check-ins, condition checks, route sheets,
// departures and forced passes. Rows go in multi-row INSERTs, some
// thousands per transaction, so an interrupted run leaves the days before
// it. Refuses (ServiceError BadArgument, nothing written) sizes outside the
// limits and keys the database already holds. Progress goes to progress.
struct LargeSeedSize {
    int days = 400;
    int tripsPerDay = 1500;
    int drivers = 5000;
    int vehicles = 2000;

    static constexpr int MaxDays = 3660;
    static constexpr int MaxTripsPerDay = 20000;
    static constexpr int MaxDrivers = 99999;
    static constexpr int MaxVehicles = 99999;
    static constexpr qint64 MaxTrips = 20000000;
    // What is wrong with the sizes, or empty.
    QString check() const;
};
struct LargeSeedResult {
    QList<std::pair<QString, qint64>> rows; // table, rows written
};
LargeSeedResult seedLargeStation(Database &db, const LargeSeedSize &size, const QDate &lastDay,
                                 QTextStream &progress);

// The demo's identities (for tests and the documentation).
namespace demo {
inline constexpr char16_t OperatorCode[] = u"wg";
inline constexpr char16_t StationCode[] = u"440100001";
inline constexpr char16_t UnitCode[] = u"440100";
inline constexpr char16_t ExitPassword[] = u"8888";
} // namespace demo

} // namespace cg
