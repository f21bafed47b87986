#pragma once

#include "core/recordset.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>

namespace cg {

class Database;

// What a trip list is restricted to. Empty texts and invalid dates do not
// restrict; busDate at the no-date value does not restrict either. The
// station always restricts: a list holds one station's trips only.
struct TripFilter {
    QString station;       // the session's station code (required)
    QDateTime busDate;
    QString busId;         // exact trip code
    QString licenseLike;   // part of the plate (case-insensitive)
    QString licenseExact;  // the whole plate
    QDateTime from, to;    // departure window on bus_start_time, inclusive
    QString unitCode;
    QString driverNo;      // trips the driver may drive (tripdrivers.h)
    QDateTime now;         // the caller's clock: condition validity is counted back from it
};

// The record-set shape every trip list has (names, types).
QList<RecordSet::Field> tripShape(bool rolling);

// Timetable trips with their lamps, ordered by departure time and code.
RecordSet queryTrips(Database &db, const TripFilter &filter);
// Rolling trips with their lamps, ordered by code and serial number.
RecordSet queryRollingTrips(Database &db, const TripFilter &filter);

// Sets columns of one trip of day at station: set is the assignment list
// ("out_status = ?, exit_time = ?"), values the values of its placeholders.
// A rolling trip is the run serial of code busId in rolling_trips, any
// other the timetable trip busId.
void updateTrip(Database &db, const QString &station, const QString &set, QVariantList values, const QDateTime &day,
                const QString &busId, bool rolling, const QString &serial);

} // namespace cg
