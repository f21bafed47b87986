#pragma once
// The documentation's screen pictures: each subsystem renders its windows
// from a seeded demo station into a folder (scripts/docshots).

#include "core/clock.h"
#include "services/database/database.h"
#include "services/station/coreservices.h"
#include "stationui/stationcontext.h"
#include "widgets/env.h"
#include "widgets/grid.h"
#include "widgets/messagesink.h"
#include "widgets/sound.h"

#include <QString>
#include <QWidget>

#include <memory>

namespace cg::shots {

// Boxes and notices go to standard error: nobody is there to close them.
class QuietSink : public MessageSink {
public:
    MsgAnswer show(const MessageBoxSpec &spec, QWidget *parent = nullptr) override;
    void notify(const QString &message, QWidget *parent = nullptr) override;
};

class NoSound : public SoundPlayer {
public:
    void play(const QString &) override {}
};

// The demo station as operator wg sees it at 10:00 of the seeded day.
struct ShotStation {
    ShotStation(const QString &databaseSpec, const QString &dataDir, const QString &outDir);

    Database db;
    SessionService session;
    QDate day;
    ManualClock clock;
    QuietSink sink;
    NoSound sound;
    NullStatusSink status;
    Env env;
    StationContext station;
    QString dataDir;
    QString outDir;
};

// A screen's list grid vsList, found by its name.
inline FlexGrid *ListGrid(const QWidget &screen) { return screen.findChild<FlexGrid *>(QStringLiteral("vsList")); }
// What a click on a cell tells the screen (the pictures need no pointer).
inline void ClickCell(FlexGrid *grid, int row, int col) { emit grid->cellClicked(row, col); }

int shotsApp(const QString &outDir);
int shotsCheckin(ShotStation &s);
int shotsDriverList(ShotStation &s, const QString &trip);
int shotsDispatch(ShotStation &s);
int shotsVehicleCheck(ShotStation &s);
int shotsMasterData(ShotStation &s);
int shotsScheduling(ShotStation &s);
// These two write to the station (forced passes, returns): run them last.
int shotsReports(ShotStation &s);
int shotsReturnCheck(ShotStation &s);

} // namespace cg::shots
