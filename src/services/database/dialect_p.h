#pragma once
// Private to the database folder: how each backend reports its errors.

#include "services/database/database.h"

#include <QSqlError>

namespace cg::dbdetail {

// PostgreSQL SQLSTATE classes that mean the connection is gone.
bool isPgConnectionLoss(const QSqlError &e);
// The first line of a driver message.
QString firstLine(QString text);
// A broken constraint, in words an operator can act on.
QString describeConstraint(const QSqlError &e, Backend backend);
bool isConstraint(const QSqlError &e, Backend backend);
// A PostgreSQL serialization failure or deadlock.
bool isPgConflict(const QSqlError &e);

} // namespace cg::dbdetail
