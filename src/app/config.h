#pragma once

#include <QString>
#include <QStringList>

namespace cg {

// The workstation's deployment settings, read from INI files:
//
//   [session]  operator (two lower-case letters), station (nine digits),
//              unit (six digits), flag (integer, default 0), code (three letters)
//   [database] spec (SQLite path or PostgreSQL URL / conninfo)
//   [paths]    photos, scratch, data, layout (all optional)
//   [clock]    tolerance_seconds (default 2)
//   [ui]       show_hidden_menus (default false)
//   [gate]     allow_unchecked (default false)
//   [fingerprint] reader: "none" (default: no reader connected) or
//              "simulated" (the simulated reader and its 模拟指纹仪 window)
enum class FingerReaderKind { None, Simulated };

struct AppConfig {
    QString operatorCode;
    QString stationCode;
    QString unitCode;
    int flag = 0;
    QString sessionCode;
    QString databaseSpec;
    QString photoDir;
    QString scratchDir;
    QString dataDir;
    QString layoutFile;
    int clockToleranceSeconds = 2;
    bool showHiddenMenus = false;
    FingerReaderKind fingerReader = FingerReaderKind::None;
    bool gateAllowsUnchecked = false;
    QStringList files; // the files read, lowest priority first
};

// What the command line chose.
struct CommandLine {
    QString configFile;   // --config FILE
    QString databaseSpec; // --database SPEC
    bool verbose = false; // --verbose: the log echoed on standard error
};

// Parses the workstation's arguments; throws AppError on unknown options.
CommandLine ParseCommandLine(const QStringList &arguments);

// The files read when no --config is given: the system-wide default, then
// the per-user file, which overrides it key by key.
QStringList DefaultConfigFiles();

// Reads the files in order (later ones override earlier ones key by key).
// A missing or malformed setting throws AppError naming the setting and the
// file it was expected in. A file given explicitly must exist.
AppConfig LoadConfig(const QStringList &files, bool filesMustExist = false);

// --config and --database applied on top of the files.
AppConfig LoadConfig(const CommandLine &commandLine);

// The program data folder when none is configured: the installed share
// folder, or <source>/resources when running from the build tree.
QString DefaultDataDir();

} // namespace cg
