#pragma once

// A station for the master-data screens: the check-in fixture (operator,
// vehicles V1/V2, drivers D01-D03, trips of the fixture day) plus the code
// lists, companies and a few more drivers, with recording sinks, a manual
// clock and the simulated reader.

#include "../driver_check/tst_checkinservice_fixture.h"
#include "../services/dbtestenv.h"
#include "../support/testsupport.h"
#include "support/fixturetime.h"

#include "core/clock.h"
#include "services/fingerprint/simulatedfingerprintengine.h"
#include "services/station/coreservices.h"
#include "stationui/stationcontext.h"

#include <QTemporaryDir>

#include <memory>

namespace cg::test {

struct MasterDataStation {
    TestDatabase dbEnv{QStringLiteral("sqlite")};
    std::unique_ptr<Database> db;
    std::unique_ptr<SessionService> session;
    RecordingMessageSink messages;
    RecordingSoundPlayer sound;
    RecordingShellOpener shell;
    RecordingStatusSink status;
    ScriptedFileChooser files;
    ManualClock clock{QDateTime(fixtureDay(), QTime(12, 0))};
    SimulatedFingerReader reader{11};
    QTemporaryDir scratch;
    Env env;
    StationContext ctx;

    MasterDataStation()
    {
        db = std::make_unique<Database>(dbEnv.config());
        seedCheckinStation(*db);
        db->exec(QStringLiteral("INSERT INTO code_items (kind, name) VALUES (3, 'A1'), (3, 'B1'), (4, '正常'), "
                                "(4, '机动')"));
        db->exec(QStringLiteral("INSERT INTO companies (company_code, company_name) VALUES ('C01', '天河运输'), "
                                "('C02', '白云运输')"));
        db->exec(QStringLiteral("INSERT INTO drivers (driver_id, driver_name, sex, route_id) VALUES "
                                "('D04', '赵六', '男', 'R01'), ('D05', '钱七', '女', 'R01')"));
        session = std::make_unique<SessionService>(*db);
        int out = 0;
        session->OpenSession(QStringLiteral("wg"), QString(), QString(), out);
        env.messages = &messages;
        env.clock = &clock;
        env.sound = &sound;
        env.shell = &shell;
        env.status = &status;
        env.files = &files;
        env.dataDir = QStringLiteral("/data");
        env.layoutFile = scratch.filePath(QStringLiteral("HeadSet.ini"));
        env.photoDir = scratch.filePath(QStringLiteral("photos"));
        env.scratchDir = scratch.filePath(QStringLiteral("scratch"));
        ctx.db = db.get();
        ctx.session = session.get();
        ctx.context = kCheckinCtx;
        ctx.params.StartCheckTime = QStringLiteral("30");
        ctx.params.EndCheckTime = QStringLiteral("60");
        ctx.makeFingerprintEngine = [this](QObject *parent) -> FingerprintEngine * {
            return new SimulatedFingerprintEngine(&reader, parent);
        };
    }

    QVariant field(const QString &driver, const QString &column)
    {
        return db->scalar(QStringLiteral("SELECT %1 FROM drivers WHERE driver_id = ?").arg(column), {driver});
    }
};

} // namespace cg::test
