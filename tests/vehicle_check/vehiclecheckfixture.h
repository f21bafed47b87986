#pragma once
// A station for the inspection screens: operator wg signed in on a fresh
// SQLite database, recording sinks, the clock at the fixture moment, and
// form openers (modal and not) that record their calls.

#include "support/stationfixture.h"

namespace cg::test {

class InspectionStation : public StationFixture {
public:
    InspectionStation()
    {
        seedStation(db, QStringLiteral("wg"), QStringLiteral("王工"), QStringLiteral("440101"), QStringLiteral("天河站"));
        openSession(QStringLiteral("wg"), stationContext(QStringLiteral("wg"), QStringLiteral("440101")),
                    QStringLiteral("S1"));
        recordOpenForm();
        recordShowForm();
    }
};

} // namespace cg::test
