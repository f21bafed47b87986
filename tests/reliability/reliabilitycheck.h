#pragma once

// What the reliability tests check after workstations wrote at once or a
// writer was killed: which results the database holds, which events they
// imply, whether the stored lamps follow from the records, and SQLite's own
// integrity check. Reads only.
//
// A result is named by a key "kind|..." (opKey), the same whether a worker
// reports it or it is read back from the records:
//   checkin|bus|driver|operator   a driver_checkins row of a check-in
//   uncheckin|bus|driver          a cancelled check-in
//   forcedriver|bus|cause         a forced driver pass (forced_releases 3)
//   verdict|plate|remark          a condition verdict 1 or 2
//   unverdict|plate               an undone condition verdict
//   forcecond|plate|cause         a forced condition pass (cond_status 5)
//   sheet|bus|operator            a route sheet issue
//   depart|bus|status|operator    a departure decision
//   face|bus|checker              an appearance verdict 1 or 2
//   unface|bus                    an undone appearance check
//   forceface|bus|cause           a forced appearance pass (forced_releases 1)
// Workers name every forced pass, verdict and forced check by a cause or
// remark unique to it, and their forced passes by operator "F" + tag, so a
// check-in written by a forced pass is not taken for one of its own.

#include "tools/admin.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace cg {
class Database;
}

namespace cg::test {

// The demo station the tests seed, its unit, and the session context of
// its workstations.
inline const QString kStation = QString::fromUtf16(cg::demo::StationCode);
inline const QString kUnit = QString::fromUtf16(cg::demo::UnitCode);
inline const QString kContext = QStringLiteral("[wg][%1][%2][0]").arg(kStation, kUnit);

// Trips of the day the workers share (the first ones of the day list).
constexpr int kSharedTrips = 12;

inline QString opKey(const QStringList &parts) { return parts.join(u'|'); }
inline QString eventKey(const QString &event, const QString &key, int lamp)
{
    return QStringLiteral("%1|%2|%3").arg(event, key).arg(lamp);
}

// Every result the records hold, as keys.
QStringList recordedResults(Database &db);
// The events ("Event|bus or plate") the results send, one each.
QStringList impliedEvents(const QStringList &results);
// The check events of a station after id afterId, in id order, as the
// listeners print them ("Event|bus or plate|lamp").
QStringList storedEvents(Database &db, const QString &station, qint64 afterId);
qint64 lastEventId(Database &db);
// The stored lamps of the day's trips that disagree with their records and
// with the latest event sent for them, each as a sentence; empty when all
// agree. Only trips something was recorded or sent for are looked at; the
// day list is read late on the day, when every verdict of it is valid.
// Also names forced passes without their check or check-in and the reverse.
QStringList lampFaults(Database &db, const QString &context, const QString &unit, const QString &station,
                       const QDate &day);
// "ok" from SQLite's integrity check, else its findings; "ok" on PostgreSQL.
QString integrityCheck(Database &db);
// The difference of two lists taken as multisets: what expected has more
// of, and what actual has more of; empty when they hold the same.
QString multisetDifference(const QStringList &expected, const QStringList &actual);
// The result keys a worker printed ("OK key" lines).
QStringList reportedResults(const QByteArray &workerOutput);

} // namespace cg::test
