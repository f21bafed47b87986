#pragma once

#include <QDateTime>
#include <QString>
#include <QVariantList>

namespace cg {

// Who may drive a trip: the one rule the check-in trip list, CheckInDriver
// and the boarding confirmation's QueryTripDrivers share. A driver may drive
// a trip of vehicle V on route R on day D when
// - he is arranged to V for a period that includes D, and no substitute
//   drives for him (for that arrangement) over a period that includes D; or
// - he substitutes for a driver arranged to V (substitutions), over a
//   period that includes D, and that arrangement still includes D (an
//   arrangement shortened after the substitution was recorded takes the
//   days it gave up from its substitute too); or
// - he is lent to R (temporary_drivers) for a period that includes D.
struct MayDriveSql {
    QString sql;        // a condition, to be ANDed into a WHERE clause
    QVariantList binds; // its bound values, in order
};

// The condition for the driver driverExpr on the trip whose vehicle id,
// route and day are the SQL expressions given (column names or "?"; the
// values for "?" are passed in the matching list, in the order driver,
// vehicle, route, day). Expressions are our own SQL, never the operator's.
MayDriveSql mayDriveCondition(const QString &driverExpr, const QString &vehicleExpr, const QString &routeExpr,
                              const QString &dayExpr, const QVariantList &driverBinds = {},
                              const QVariantList &vehicleBinds = {}, const QVariantList &routeBinds = {},
                              const QVariantList &dayBinds = {});

// What the operator is told when a request about a driver on a trip names
// no trip, no driver (noDriver: the screen's own words) or no valid trip
// date, asked in that order; empty when it names all three. busId and
// driverNo are taken as given (the caller trims them).
QString driverOnTripRefusal(const QString &busId, const QString &driverNo, const QDateTime &busDate,
                            const QString &noDriver);

} // namespace cg
