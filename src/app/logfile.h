#pragma once

#include <QString>
#include <QtGlobal>

namespace cg {

// The workstation's log: every message of the program (start-up and its
// configuration, failed SQL statements, the check notifier losing and
// finding its connection, sheet printing troubles) appended to one file
// with its time, level and category:
//
//   2026-12-09 08:15:02.113 W coachgate.database: SQL failed: ...
//
// A file that has grown past maxBytes is kept as coachgate.log.1 (the
// older ones move up to .5; the oldest is dropped) and a new one begun, at
// start-up and while the program runs. Messages are written whole and in
// order from every thread. With echo, every line also goes to standard
// error (--verbose); without it, only warnings and worse do, as before.
class LogFile {
public:
    static constexpr qint64 DefaultMaxBytes = 1024 * 1024;
    static constexpr int KeptFiles = 5;

    // The user's state folder for the log: $XDG_STATE_HOME/coachgate, or
    // ~/.local/state/coachgate.
    static QString defaultFolder();

    // Starts writing to <folder>/coachgate.log (the folder is made when
    // missing). False, with the reason in *why, when the file cannot be
    // opened; messages then go to standard error alone.
    static bool install(const QString &folder, bool echo, QString *why = nullptr,
                        qint64 maxBytes = DefaultMaxBytes);
    // A line for the file alone, never echoed (for what the caller has
    // already told on standard error). Nothing when no file is open.
    static void writeToFileOnly(QtMsgType type, const QString &message);
    // Back to Qt's own handling of messages; the file is closed.
    static void uninstall();
    // The file being written, empty when none.
    static QString path();
};

} // namespace cg
