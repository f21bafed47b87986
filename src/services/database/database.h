#pragma once

#include "core/recordset.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

#include "services/database/serviceerror.h"

namespace cg {

enum class Backend { Sqlite, Postgres };

// Where the station's data lives. A database spec is either a SQLite file
// path (optionally prefixed "sqlite:") or a PostgreSQL URL
// ("postgresql://user@host:port/db?sslmode=disable&passfile=...") or
// key=value conninfo ("host=... port=... dbname=... user=... passfile=...
// sslmode=verify-full sslrootcert=...").
struct DbConfig {
    Backend backend = Backend::Sqlite;
    QString sqlitePath;
    QString host;
    int port = 5432;
    QString database;
    QString user;
    QString password;     // read from the password file, never from the setting
    QString passwordFile;
    QString sslmode;
    QString sslRootCert;  // the authority's certificate that signed the server's (verify-ca, verify-full)

    // Throws ServiceError(svcerr::Config) naming what is wrong.
    static DbConfig parse(const QString &spec);
    QString describe() const; // for messages; never contains the password
    // Whether the setting demands an encrypted connection (sslmode require,
    // verify-ca or verify-full): the connection is then refused, never made
    // in the clear.
    bool requiresTls() const;
};

// Backend differences live here and nowhere else.
class Dialect {
public:
    virtual ~Dialect() = default;
    virtual Backend backend() const = 0;
    // Schema type tokens ({ID}, {DATETIME}, {BLOB}, ...) to this backend's types.
    virtual QString ddl(const QString &portableDdl) const = 0;
    // The statement that makes the next generated id of table (its {ID}
    // column "id") follow the largest stored one, after rows were copied in
    // with their ids; empty where the backend keeps track by itself (SQLite).
    virtual QString identityCatchUp(const QString &table) const = 0;
    // A value as it is bound for this backend (date-times as the stored form).
    virtual QVariant toDb(const QVariant &v) const = 0;
    // A stored value read back as the record-set field type.
    virtual QVariant fromDb(const QVariant &v, FieldType type) const = 0;
    // The server's current date-time, as an SQL expression.
    virtual QString nowExpression() const = 0;
    // The operator of a case-insensitive LIKE with the given escape
    // character ("ILIKE" on PostgreSQL; SQLite's LIKE already ignores case).
    virtual QString likeCaseInsensitive() const = 0;
    // What follows "x LIKE ?" so that no character escapes a wildcard
    // (PostgreSQL's default escape is the backslash; SQLite has none).
    virtual QString likeWithoutEscape() const = 0;
    // Whether a placeholder needs an explicit type where the other side of a
    // comparison cannot give it one (PostgreSQL infers placeholder types).
    virtual bool typedPlaceholders() const = 0;
    // The statement (one placeholder: a 64-bit key) that makes writers of
    // one kind take turns from here to their commit, or empty where every
    // write transaction already holds the whole database (SQLite).
    virtual QString transactionLockStatement() const = 0;
    // Whether a connection can listen for notifications; without them a
    // listener polls.
    virtual bool hasNotifications() const = 0;
    // The statement (placeholders: channel, payload) that notifies the
    // listeners of a channel when its transaction commits, or empty
    // without notifications.
    virtual QString notifyStatement() const = 0;
    // The files every commit to the database at path writes (a listener
    // without notifications watches them to read at once instead of waiting
    // for its next poll); empty where commits write no local file.
    virtual QStringList filesWrittenByCommits(const QString &path) const = 0;
};

// The connection to the station database, one per thread, reopened after a
// lost connection on the next call. Not a singleton: the program creates one
// and passes it to the services it builds.
class Database {
public:
    explicit Database(DbConfig config);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    const DbConfig &config() const { return m_config; }
    Backend backend() const { return m_config.backend; }
    const Dialect &dialect() const { return *m_dialect; }

    // This thread's open connection; throws ServiceError(Unreachable). After
    // a call met a lost connection, the next call opens a new one (but not
    // in the middle of the transaction that lost it: that one fails whole).
    // A read, or the start of a transaction, that finds the connection
    // dropped while it lay idle runs again at once on a new one; anything
    // that may have written reports the loss instead.
    QSqlDatabase connection();

    // Runs fn in one transaction: commit when it returns, roll back when it
    // throws (the exception is passed on). Nested calls join the outer one:
    // their work commits with it, but a nested call that throws first rolls
    // back its own part (a savepoint), so an outer fn that catches the error
    // can go on with a clean transaction.
    //
    // A PostgreSQL serialization failure or deadlock makes the transaction
    // fail with TxConflictError. With TxRetry::OnConflict the outermost
    // transaction is run again (up to three attempts). Pass it only when fn
    // may safely run more than once: it must touch nothing but the database
    // (no dialogs, no counters, no signals) and derive everything it writes
    // from what it reads inside the transaction.
    enum class TxRetry { Never, OnConflict };
    void transact(const std::function<void()> &fn, TxRetry retry = TxRetry::Never);
    // True while this thread is inside transact().
    bool inTransaction() const;

    // Runs one statement with positional (?) bound values; throws ServiceError.
    void exec(const QString &sql, const QVariantList &binds = {});
    // Inside transact(): takes the row locks of the rows of table matching
    // condition (the text after WHERE, bound with binds) until the
    // transaction ends, by writing column to itself. On PostgreSQL a writer
    // of the same rows waits for this transaction and then reads what it
    // wrote (READ COMMITTED); SQLite runs write transactions one at a time.
    // The names and the condition are our own SQL, never the operator's.
    void lockRows(const QString &table, const QString &column, const QString &condition,
                  const QVariantList &binds);
    // Runs a query and returns its rows as a record set whose fields take the
    // given types (by column name, case-insensitive; columns the shape does
    // not name are Text). Null stays an invalid QVariant.
    RecordSet select(const QString &sql, const QVariantList &binds = {},
                     const QList<RecordSet::Field> &shape = {});
    // The first column of the first row, or an invalid QVariant.
    QVariant scalar(const QString &sql, const QVariantList &binds = {});
    // Inserts and returns the new row's generated id (idColumn on PostgreSQL).
    // An insert that inserts no row throws ServiceError(Sql).
    qint64 insert(const QString &sql, const QVariantList &binds, const QString &idColumn = QStringLiteral("id"));

    // Schema: the version this program writes, the database's own version
    // (0 when empty), applying migrations, and the start-up check that refuses
    // a newer or uninitialised database without touching it.
    static int programSchemaVersion();
    int schemaVersion();
    void migrate();
    void requireCurrentSchema();

    // A second, independent connection name on this thread (the notifier's
    // listening connection uses one).
    QSqlDatabase openExtraConnection(const QString &name);

private:
    struct State;
    QString connectionName() const;
    QSqlDatabase open(const QString &name);
    [[noreturn]] void fail(const QSqlError &error, const QString &sql, const QString &connName);
    template <class Fn>
    auto againIfDropped(const QString &sql, Fn &&fn) -> decltype(fn());
    void commit();
    RecordSet selectOnce(const QString &sql, const QVariantList &binds, const QList<RecordSet::Field> &shape);
    void runSql(const QString &sql, const QVariantList &binds, QSqlQuery &query);
    void quietly(const QString &sql) noexcept;

    DbConfig m_config;
    std::unique_ptr<Dialect> m_dialect;
    QString m_connPrefix;
    std::unique_ptr<State> m_state;
};

// A transaction lost to a concurrent one (PostgreSQL serialization failure
// or deadlock). Safe to run again from the start.
class TxConflictError : public ServiceError {
public:
    using ServiceError::ServiceError;
};

// The dialect of a backend, for code that builds SQL without a connection.
std::unique_ptr<Dialect> makeDialect(Backend backend);

} // namespace cg
