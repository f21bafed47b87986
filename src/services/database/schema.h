#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace cg::schema {

// One step of the schema. Statements are portable DDL: column types are
// written as tokens that Dialect::ddl() turns into the backend's own types:
//   {ID}        generated integer primary key
//   {INT} {BIGINT} {DOUBLE} {TEXT} {BLOB}
//   {BOOL}      0 / 1 (a small integer on every backend)
//   {DATETIME}  a local date-time to the second
//   {NOW}       the server's current local date-time, usable as a DEFAULT
// A step is applied in one transaction together with its version record.
struct Migration {
    int version;
    QString description;
    QStringList statements;
    // Tables the step built anew and filled with the old rows, generated ids
    // included: their id generators are moved past the largest id copied
    // (Dialect::identityCatchUp) before the step commits.
    QStringList tablesCopiedWithIds = {};
};

// Every step, in ascending version order, starting at 1 with no gaps.
const QList<Migration> &migrations();

// The version of the last step: what this program writes and expects.
int latestVersion();

// The table that records the applied version.
inline constexpr char16_t versionTable[] = u"schema_version";

// Every table the steps leave in a database, the version table first, then
// in the order the steps create them. Read from the steps' own statements
// (CREATE, DROP and ALTER ... RENAME TO), so a table a new step adds is
// listed at once; the workstation's grants are made from this list.
QStringList tables();

// An operator-readable name of a table ("驾驶员" for driver), or the table
// name itself when it has none.
QString tableCaption(const QString &table);
// The caption of the table a constraint or index name belongs to
// ("vehicles_pkey", "vehicles_card" -> "车辆"); empty when unknown.
QString tableCaptionOfConstraint(const QString &constraint);

} // namespace cg::schema
