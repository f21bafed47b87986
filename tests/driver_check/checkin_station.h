#pragma once

// A check-in workstation on the check-in fixture's database
// (tst_checkinservice_fixture.h): operator wg signed in, trips from 30
// minutes before now to 60 minutes after.

#include "tst_checkinservice_fixture.h"

#include "support/stationfixture.h"

namespace cg::test {

struct CheckinStation : StationFixture {
    CheckinStation()
    {
        seedCheckinStation(db);
        openSession(QStringLiteral("wg"), kCheckinCtx);
        station.params.StartCheckTime = QStringLiteral("30");
        station.params.EndCheckTime = QStringLiteral("60");
    }
};

} // namespace cg::test
