#pragma once

// A check-in station's session and context on the check-in fixture's
// database (tst_checkinservice_fixture.h): operator wg, trips from 30
// minutes before now to 60 minutes after.

#include "tst_checkinservice_fixture.h"

#include "services/station/coreservices.h"
#include "stationui/stationcontext.h"

#include <memory>

namespace cg::test {

inline std::unique_ptr<SessionService> openCheckinStation(Database &db, StationContext &ctx)
{
    seedCheckinStation(db);
    auto session = std::make_unique<SessionService>(db);
    int out = 0;
    session->OpenSession(QStringLiteral("wg"), QString(), QString(), out);
    ctx.db = &db;
    ctx.session = session.get();
    ctx.context = kCheckinCtx;
    ctx.params.StartCheckTime = QStringLiteral("30");
    ctx.params.EndCheckTime = QStringLiteral("60");
    return session;
}

} // namespace cg::test
