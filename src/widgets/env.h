#pragma once

#include <QString>

namespace cg {

class MessageSink;
class Clock;
class SoundPlayer;
class ShellOpener;
class FileChooser;

// The main window's three-panel status bar, as screens see it.
class StatusSink {
public:
    virtual ~StatusSink() = default;
    // panel 1: progress (non-empty text shows the hourglass, empty restores
    // the pointer); panel 2: result (restores the pointer); panel 3: operator.
    virtual void SetStatusText(const QString &text, int panel) = 0;
};

// A status sink that shows nothing (screens opened outside the main window).
class NullStatusSink : public StatusSink {
public:
    void SetStatusText(const QString &, int) override {}
};

// What every screen needs from its surroundings, passed in rather than
// reached through globals. All pointers are owned elsewhere and outlive the
// screens that hold the Env.
struct Env {
    MessageSink *messages = nullptr;
    Clock *clock = nullptr;
    SoundPlayer *sound = nullptr;
    ShellOpener *shell = nullptr;
    StatusSink *status = nullptr;
    FileChooser *files = nullptr; // save and open file dialogs (exports)
    QString layoutFile;  // HeadSet.ini with the grids' column widths
    QString dataDir;     // program data: prompt recordings, sheet templates
    QString photoDir;    // pictures fetched from the data service
    QString scratchDir;  // scratch files (fingerprint enrolment)
};

} // namespace cg
