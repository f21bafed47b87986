#pragma once
// What every seeded station starts from: station 440100001, the context
// string its workstations send, and a migrated database holding the
// operator who signs in. Database only, so peer processes use it too.

#include "services/database/database.h"

#include <QString>

namespace cg::test {

inline QString stationCode() { return QStringLiteral("440100001"); }

// "[operator][440100001][unit][0]", as the workstation of that operator sends it.
inline QString stationContext(const QString &op, const QString &unit)
{
    return QStringLiteral("[%1][%2][%3][0]").arg(op, stationCode(), unit);
}

// Migrates db and adds the operator of the station's unit; no unit name is
// stored as the column's default, an empty one.
inline void seedStation(Database &db, const QString &op, const QString &name, const QString &unit,
                        const QString &unitName = QString())
{
    db.migrate();
    db.exec(QStringLiteral("INSERT INTO operators (operator_code, operator_name, station_code, unit_code, unit_name) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {op, name, stationCode(), unit, unitName.isNull() ? QStringLiteral("") : unitName});
}

} // namespace cg::test
