#pragma once

#include <QDateTime>
#include <QString>
#include <QVariantList>

#include <functional>

namespace cg {

class Database;

// What a vehicle's condition (safety routine) state means:
// - a vehicle with is_cond = 0 needs no condition check: lamp 3;
// - otherwise its state is the verdict of its latest condition check that
//   is not cancelled, has a verdict (1 passed, 2 not passed, 5 forced pass)
//   and was recorded within CondTime hours (system parameter 15, 24 when
//   unset or unreadable) before now: that verdict's lamp code;
// - a vehicle with no such check is not checked: lamp 0.
// Every trip of the vehicle shows this state as its StateStatus. Checks are
// a station's own: a vehicle checked at another station on the same
// database is not checked here.

// The start of the validity window: now minus CondTime hours.
QDateTime conditionValidSince(Database &db, const QDateTime &now);

// An SQL expression giving the condition lamp, at the station stationExpr,
// of the vehicle whose plate is plateExpr and whose is_cond is isCondExpr:
// only that station's checks count. The expressions are our own SQL (a
// column, or "?" whose value the caller binds); the window start is our own
// formatted date-time.
QString conditionStateSql(const QString &plateExpr, const QString &isCondExpr, const QString &stationExpr,
                          const QDateTime &validSince);

// The date-time as the SQL text literal both backends compare with stored
// date-times: 'yyyy-MM-dd HH:mm:ss'.
QString dateTimeSqlLiteral(const QDateTime &t);

// Runs a check write in one transaction. Check numbers are taken as MAX+1
// under a unique index; when a concurrent station took the same number
// first, the write is refused by the index and run again from the start
// (fn must touch nothing but the database). Inside an outer transaction fn
// simply joins it.
void transactWithIndexRetry(Database &db, const std::function<void()> &fn);

// Undoes (cancelled = 1) the newest check of table, by its number column,
// among those that pick (our own SQL condition, its values bound from
// binds) keeps and that are not undone yet. False when there is none, or
// when another station undid it first: only one of two undos of the same
// check wins.
bool undoNewestCheck(Database &db, const QString &table, const QString &numberColumn, const QString &pick,
                     const QVariantList &binds);

// Refuses (BadArgument) a forced pass of a vehicle check whose pass type is
// not the check's own (1 appearance, 2 condition) or that names no operator:
// "<check>的强行通过类型应为<expected>，收到<kind>", "强行通过需要操作员姓名".
void requireForcedPass(const QString &check, int kind, int expected, const QString &operatorName);

} // namespace cg
