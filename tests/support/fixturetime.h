#pragma once
// The moment every station fixture is built around: a fixed weekday, mid-
// morning, hours from midnight on either side. Tests hand it to the screens'
// clock and the services' clock alike, so none depends on when it runs.
#include "core/clock.h"

#include <QDateTime>

namespace cg::test {

inline QDate fixtureDay() { return QDate(2026, 3, 18); }
inline QDateTime fixtureNow() { return QDateTime(fixtureDay(), QTime(10, 0)); }

// A clock standing at fixtureNow(), for services a test builds directly.
inline const Clock &fixtureClock()
{
    static const ManualClock clock{fixtureNow()};
    return clock;
}

} // namespace cg::test
