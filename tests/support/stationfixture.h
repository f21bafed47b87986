#pragma once
// One workstation over a fresh SQLite station database, for the screen
// tests: the operator's session, recording sinks for messages, sound,
// shell, status bar and file dialogs, a clock standing at the fixture
// moment, a scratch folder for the column layout, and (where a test asks
// for them) form openers and a fingerprint reader.
//
// A test seeds db, then opens the session:
//     StationFixture st;
//     seedCheckinStation(st.db);
//     st.openSession(u"wg"_s, kCheckinCtx);

#include "support/fixturetime.h"
#include "support/stationseed.h"
#include "support/testsupport.h"
#include "services/dbtestenv.h"

#include "core/clock.h"
#include "services/fingerprint/simulatedfingerprintengine.h"
#include "services/station/coreservices.h"
#include "stationui/stationcontext.h"
#include "widgets/env.h"

#include <QHash>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QWidget>

#include <memory>

namespace cg::test {

struct OpenedForm {
    QString form;
    QVariantMap members;
};

class StationFixture {
public:
    StationFixture() : dbEnv(QStringLiteral("sqlite")), db(dbEnv.config()), session(db), clock(fixtureNow())
    {
        env.messages = &messages;
        env.clock = &clock;
        env.sound = &sound;
        env.shell = &shell;
        env.status = &status;
        env.files = &files;
        env.layoutFile = dir.filePath(QStringLiteral("HeadSet.ini"));
        env.dataDir = dir.path();
        station.db = &db;
        station.session = &session;
    }
    StationFixture(const StationFixture &) = delete;
    StationFixture &operator=(const StationFixture &) = delete;

    // Signs the operator in (workstation code as given) and makes context
    // the string the screens send.
    void openSession(const QString &op, const QString &context, const QString &workstation = QString())
    {
        int out = 0;
        session.OpenSession(op, QString(), workstation, out);
        station.context = context;
    }

    // Modal forms of other subsystems open as records in opened and answer
    // with formResults (nothing: no such form).
    void recordOpenForm()
    {
        station.openForm = [this](QWidget *, const QString &form, const QVariantMap &members) {
            opened.append({form, members});
            return formResults.value(form);
        };
    }
    // Non-modal forms are recorded in opened and shown; one "opens" (a
    // window comes back) when the test gave it a result in formResults.
    void recordShowForm()
    {
        station.showForm = [this](QWidget *, const QString &form, const QVariantMap &members) -> QWidget * {
            opened.append({form, members});
            shown.append(form);
            if (!formResults.contains(form))
                return nullptr;
            if (!shownForm)
                shownForm = std::make_unique<QWidget>();
            return shownForm.get();
        };
    }
    // Every fingerprint engine a screen makes reads from reader.
    void attachReader(SimulatedFingerReader &reader)
    {
        station.makeFingerprintEngine = [this, &reader](QObject *parent) -> FingerprintEngine * {
            ++enginesMade;
            return new SimulatedFingerprintEngine(&reader, parent);
        };
    }

    int count(const QString &sql, const QVariantList &binds = {}) { return db.scalar(sql, binds).toInt(); }

    TestDatabase dbEnv;
    Database db;
    SessionService session;
    RecordingMessageSink messages;
    RecordingSoundPlayer sound;
    RecordingShellOpener shell;
    RecordingStatusSink status;
    ScriptedFileChooser files;
    ManualClock clock;
    QTemporaryDir dir;
    Env env;
    StationContext station;
    QList<OpenedForm> opened;
    QStringList shown; // the forms shown non-modal
    QHash<QString, QVariantMap> formResults;
    int enginesMade = 0;

private:
    std::unique_ptr<QWidget> shownForm;
};

} // namespace cg::test
