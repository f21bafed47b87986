#pragma once

#include <QString>

namespace cg {

class Database;
class SessionService;

// The fourteen system parameters start-up reads once per process (the
// fifteenth, the condition-check validity, is read where it is used).
// Fields 1..11 keep the stored text unchanged; 12..14 are flags.
struct SystemParameters {
    QString PrefixLicense;        // 1  default plate prefix
    QString ExitPassword;         // 2  closes protected screens
    QString StartCheckTime;       // 3  minutes before now (check-in list)
    QString EndCheckTime;         // 4  minutes after now (check-in list)
    QString FontSize;             // 5  display board
    QString ScreenWait;           // 6  display board
    QString ScreenPass;           // 7  display board
    QString ScreenNotPass;        // 8  display board
    QString ScreenHeight;         // 9  display board
    QString ScreenWidth;          // 10 display board
    QString BeforeMinute;         // 11 departure window in minutes
    bool BiologicalClockReport = false; // 12 biorhythm forecast after a match
    bool OutCheck = false;              // 13 fingerprint check at the gate
    bool TechPrint = false;             // 14 print the condition check sheet
};

// The decimal text of the colour 0xFFFF80 (light cyan in BGR order) that
// list and check screens give their title lines.
inline QString defaultLineColour() { return QStringLiteral("16777088"); }

// The process-wide state start-up builds and hands to every screen. It is
// set once and not reloaded: parameter changes take effect at the next start.
// The workstation adds its window-side hooks in stationui/stationcontext.h.
struct StationData {
    Database *db = nullptr;
    SessionService *session = nullptr;
    QString context;                      // "[op][station][unit][flag]"
    SystemParameters params;
    QString lineColour = defaultLineColour();
    bool showHiddenMenus = false;
    // [gate] allow_unchecked: a card or plate departs a trip whose condition
    // check or route sheet would otherwise keep it at the gate.
    bool gateAllowsUnchecked = false;

    // The session's facts, asked in one place. The station code is the one
    // check events are stamped with and screens subscribe with (from the
    // context string). Start-up refuses a configuration whose station is not
    // the operator's, so this is also the operator's station. Each is ""
    // while no session is open.
    QString stationCode() const;
    QString unitCode() const;
    QString operatorCode() const;
    QString operatorName() const;
};

} // namespace cg
