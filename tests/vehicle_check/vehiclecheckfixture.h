#pragma once
// A station for the inspection screens: a fresh SQLite database with an
// operator's session, recording message, status and sound sinks, a clock at
// the current time, and form openers (modal and not) that record their calls.

#include "support/fixturetime.h"
#include "../services/dbtestenv.h"
#include "../support/testsupport.h"

#include "core/clock.h"
#include "widgets/env.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "stationui/stationcontext.h"

#include <QTemporaryDir>
#include <QVariantMap>
#include <QWidget>

#include <memory>

namespace cg::test {

struct OpenedForm {
    QString form;
    QVariantMap members;
};

class InspectionStation {
public:
    InspectionStation() : dbEnv(QStringLiteral("sqlite")), db(dbEnv.config()), clock(cg::test::fixtureNow())
    {
        db.migrate();
        db.exec(QStringLiteral("INSERT INTO operators (operator_code, operator_name, station_code, unit_code, "
                               "unit_name) VALUES ('wg', '王工', '440100001', '440101', '天河站')"));
        session = std::make_unique<SessionService>(db);
        int out = 0;
        session->OpenSession(QStringLiteral("wg"), QString(), QStringLiteral("S1"), out);
        station.db = &db;
        station.session = session.get();
        station.context = QStringLiteral("[wg][440100001][440101][0]");
        station.openForm = [this](QWidget *, const QString &form, const QVariantMap &members) {
            opened.append({form, members});
            return formResults.value(form);
        };
        // A non-modal form "opens" when the test gave it a result.
        station.showForm = [this](QWidget *, const QString &form, const QVariantMap &members) -> QWidget * {
            opened.append({form, members});
            return formResults.contains(form) ? &shownForm : nullptr;
        };
        env.messages = &messages;
        env.clock = &clock;
        env.sound = &sound;
        env.status = &status;
        env.layoutFile = dir.filePath(QStringLiteral("HeadSet.ini"));
        env.dataDir = dir.path();
    }

    TestDatabase dbEnv;
    Database db;
    std::unique_ptr<SessionService> session;
    StationContext station;
    Env env;
    RecordingMessageSink messages;
    RecordingStatusSink status;
    RecordingSoundPlayer sound;
    ManualClock clock;
    QTemporaryDir dir;
    QList<OpenedForm> opened;
    QHash<QString, QVariantMap> formResults;
    QWidget shownForm;

    int count(const QString &sql, const QVariantList &binds = {}) { return db.scalar(sql, binds).toInt(); }
};

} // namespace cg::test
