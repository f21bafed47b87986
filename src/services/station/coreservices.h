#pragma once

#include "core/array2d.h"
#include "core/recordset.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace cg {

class Database;

// The pieces of a session context string "[op][station][unit][flag]".
struct SessionContext {
    QString operatorCode;
    QString stationCode;
    QString unitCode;
    int flag = 0;
    // Throws ServiceError(BadArgument) for a malformed context string.
    static SessionContext parse(const QString &context);
};

// The operator's session, opened once at start-up.
class SessionService {
public:
    explicit SessionService(Database &db) : m_db(db) {}
    // Opens the session of an operator; throws ServiceError when the operator
    // is unknown or the database unreachable. outValue is set to 0.
    void OpenSession(const QString &operatorCode, const QString &reserved,
                     const QString &sessionCode, int &outValue);
    bool isOpen() const { return m_open; }
    QString GetOperatorCode() const;
    QString GetOperatorName() const;
    QString GetStationCode() const;
    QString GetUnitCode() const;
    QString GetUnitName() const;
    QString sessionCode() const { return m_sessionCode; }
    Database &database() const { return m_db; }

private:
    void requireOpen() const;
    Database &m_db;
    bool m_open = false;
    QString m_operatorCode, m_operatorName, m_stationCode, m_unitCode, m_unitName, m_sessionCode;
};

// The database server's clock.
class ClockService {
public:
    explicit ClockService(Database &db) : m_db(db) {}
    QDateTime GetServerTime();  // server's current date and time
    QDateTime GetServerDate();  // server's current date, at 00:00:00
private:
    Database &m_db;
};

// Called once when the start-up check-in screen closes: clears check events
// older than a week from the outbox.
class StartupService {
public:
    explicit StartupService(Database &db) : m_db(db) {}
    void Run();
private:
    Database &m_db;
};

// Code tables and system parameters. The code tables are kinds 3, 4, 5, 8
// and 9; kind 7 lists the companies (read-only here: column 3 holds
// "code[name]", column 4 the short name). Another kind is a BadArgument.
// Names are trimmed and unique within a kind (Constraint); updating or
// deleting a code that does not exist is NotFound. Every write is one
// transaction.
class DefinitionService {
public:
    explicit DefinitionService(Database &db) : m_db(db) {}

    // Parameter 1..15 as stored (text); Null when never set. Numbers are
    // stored as plain decimal text (15 -> "15", 1.5 -> "1.5"), booleans as
    // "1"/"0"; an index outside 1..15 is a BadArgument.
    QVariant GetSysParam(const QString &context, int index);
    void SetSysParam(const QString &context, int index, const QVariant &value);

    // Entries of a code table: rows 1..n, columns 1..4 = code, kind, name, remark.
    Array2D GetCodeList(const QString &context, int kind);
    int AddCodeItem(const QString &context, int kind, const QString &name, const QString &remark);
    void UpdateCodeItem(const QString &context, int code, int kind, const QString &name, const QString &remark);
    void DeleteCodeItem(const QString &context, int code, bool reserved, const QString &reservedText);
    // Condition check items (kind 9): fields name, Memo.
    RecordSet QueryCheckItems(const QString &context, int kind);

private:
    Database &m_db;
};

} // namespace cg
