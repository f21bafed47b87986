#include "services/database/database.h"

#include "services/database/schema.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <QThread>
#include <QTimeZone>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;
#include "services/database/dialect_p.h"

namespace cg {

using namespace dbdetail;

namespace {

constexpr int kSqliteBusyTimeoutMs = 5000;
constexpr int kPgConnectTimeoutS = 10;
constexpr int kConflictAttempts = 3;

QAtomicInt g_databaseCounter;

// A conninfo value in quotes, as the client library reads it.
QString conninfoQuoted(QString value)
{
    value.replace(u'\\', u"\\\\"_s);
    value.replace(u'\'', u"\\'"_s);
    return u'\'' + value + u'\'';
}

QString threadTag()
{
    return QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId()), 16);
}

} // namespace


// ====================================================================== Database

// Per-connection state (one connection per thread): transaction depth and
// whether the connection was found lost and must be reopened.
struct Database::State {
    struct Conn {
        int txDepth = 0;
        bool broken = false;
    };
    mutable QMutex mutex;
    QHash<QString, Conn> conns;
    QSet<QString> names; // every connection name this object registered

    Conn get(const QString &name) const
    {
        QMutexLocker lock(&mutex);
        return conns.value(name);
    }
    void setDepth(const QString &name, int depth)
    {
        QMutexLocker lock(&mutex);
        conns[name].txDepth = depth;
    }
    void setBroken(const QString &name, bool broken)
    {
        QMutexLocker lock(&mutex);
        conns[name].broken = broken;
    }
};

Database::Database(DbConfig config)
    : m_config(std::move(config)),
      m_dialect(makeDialect(m_config.backend)),
      m_connPrefix(u"cgdb%1"_s.arg(g_databaseCounter.fetchAndAddRelaxed(1) + 1)),
      m_state(std::make_unique<State>())
{
}

Database::~Database()
{
    QSet<QString> names;
    {
        QMutexLocker lock(&m_state->mutex);
        names = m_state->names;
    }
    // Connections of other (finished) threads are closed as they are
    // removed; asking for them here would only warn.
    for (const QString &name : std::as_const(names))
        QSqlDatabase::removeDatabase(name);
}

QString Database::connectionName() const
{
    return m_connPrefix + u"_t"_s + threadTag();
}

QSqlDatabase Database::open(const QString &name)
{
    if (QSqlDatabase::contains(name)) {
        {
            QSqlDatabase old = QSqlDatabase::database(name, false);
            old.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    const bool pg = m_config.backend == Backend::Postgres;
    QSqlDatabase db = QSqlDatabase::addDatabase(pg ? u"QPSQL"_s : u"QSQLITE"_s, name);
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->names.insert(name);
    }
    if (!db.isValid())
        throw ServiceError(svcerr::Unreachable,
                           u"无法连接数据库 %1：本机缺少数据库驱动 %2"_s.arg(
                               m_config.describe(), pg ? u"QPSQL"_s : u"QSQLITE"_s));

    if (pg) {
        if (!m_config.host.isEmpty())
            db.setHostName(m_config.host);
        db.setPort(m_config.port);
        db.setDatabaseName(m_config.database);
        db.setUserName(m_config.user);
        if (!m_config.password.isEmpty())
            db.setPassword(m_config.password);
        QStringList opts{u"connect_timeout=%1"_s.arg(kPgConnectTimeoutS)};
        if (!m_config.sslmode.isEmpty())
            opts.append(u"sslmode=%1"_s.arg(m_config.sslmode));
        if (!m_config.sslRootCert.isEmpty())
            opts.append(u"sslrootcert=%1"_s.arg(conninfoQuoted(m_config.sslRootCert)));
        db.setConnectOptions(opts.join(u';'));
    } else {
        const QFileInfo fi(m_config.sqlitePath);
        if (!fi.absoluteDir().exists())
            throw ServiceError(svcerr::Unreachable,
                               u"无法连接数据库 %1：文件夹 %2 不存在"_s.arg(
                                   m_config.describe(), QDir::toNativeSeparators(fi.absolutePath())));
        db.setDatabaseName(m_config.sqlitePath);
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=%1"_s.arg(kSqliteBusyTimeoutMs));
    }

    if (!db.open()) {
        QString why = firstLine(db.lastError().text());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        if (pg && m_config.requiresTls() && why.contains(u"does not support SSL"_s))
            why = u"服务器不接受加密连接（TLS），而配置要求加密（sslmode=%1），不会改用未加密的连接（%2）"_s.arg(
                m_config.sslmode, why);
        throw ServiceError(svcerr::Unreachable, u"无法连接数据库 %1：%2"_s.arg(m_config.describe(), why));
    }

    QSqlQuery q(db);
    const QStringList setup = pg
        ? QStringList{u"SET client_min_messages TO warning"_s}
        : QStringList{u"PRAGMA journal_mode=WAL"_s, u"PRAGMA foreign_keys=ON"_s,
                      u"PRAGMA busy_timeout=%1"_s.arg(kSqliteBusyTimeoutMs),
                      // 32 MiB of pages instead of 2: a big station's day
                      // list then reads its indexes from memory, not the file.
                      u"PRAGMA cache_size=-32768"_s};
    for (const QString &s : setup) {
        if (!q.exec(s)) {
            QString why = firstLine(q.lastError().text());
            // Write-ahead logging needs the file and its folder writable.
            if (!pg && (q.lastError().nativeErrorCode().toInt() & 0xff) == 8 /*READONLY*/)
                why = u"数据库文件或其所在的文件夹只能读、不能写（%1）"_s.arg(why);
            q = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw ServiceError(svcerr::Unreachable, u"无法连接数据库 %1：%2"_s.arg(m_config.describe(), why));
        }
    }
    if (pg && m_config.requiresTls()) {
        // The client library already refuses a server without TLS in these
        // modes; the server's own word on this connection makes sure nothing
        // between the setting and the library let a plain one through.
        const bool encrypted = q.exec(u"SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"_s) && q.next()
            && q.value(0).toBool();
        if (!encrypted) {
            q = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw ServiceError(svcerr::Unreachable,
                               u"无法连接数据库 %1：连接没有加密（TLS），而配置要求加密（sslmode=%2）"_s.arg(
                                   m_config.describe(), m_config.sslmode));
        }
    }
    if (pg) {
        // Session times in the workstation's zone, so that the server's "now"
        // and stored wall-clock times agree with the station's clocks even
        // when the server runs in another zone (UTC containers, say).
        const QString zone = QString::fromLatin1(QTimeZone::systemTimeZoneId());
        static const QRegularExpression zoneName(u"^[A-Za-z0-9_+\\-/]+$"_s);
        if (zoneName.match(zone).hasMatch() && !q.exec(u"SET TIME ZONE '%1'"_s.arg(zone)))
            qWarning("coachgate: PostgreSQL does not know the time zone %s; using the server's", qPrintable(zone));
    }
    return db;
}

void Database::quietly(const QString &sql) noexcept
{
    // Undoing after a failure: a second failure here must not replace the
    // first one, and a lost connection needs no rollback.
    try {
        const QString name = connectionName();
        if (m_state->get(name).broken || !QSqlDatabase::contains(name)
            || !QSqlDatabase::database(name, false).isOpen())
            return;
        QSqlQuery q(connection());
        q.exec(sql);
    } catch (...) {
    }
}

QSqlDatabase Database::connection()
{
    const QString name = connectionName();
    const State::Conn st = m_state->get(name);
    if (!st.broken && QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            return db;
    }
    // A transaction lives and dies with its connection: a new one would run
    // the rest of its statements on their own, each committed at once.
    if (st.txDepth > 0)
        throw ServiceError(svcerr::Unreachable,
                           u"与数据库的连接已中断，本次事务未能完成（%1），请重试"_s.arg(m_config.describe()));
    QSqlDatabase db = open(name);
    m_state->setBroken(name, false);
    return db;
}

QSqlDatabase Database::openExtraConnection(const QString &name)
{
    return open(m_connPrefix + u"_"_s + name + u"_t"_s + threadTag());
}

void Database::fail(const QSqlError &error, const QString &sql, const QString &connName)
{
    // The client library closes a connection it found broken, whatever the
    // error's words were.
    if (m_config.backend == Backend::Postgres
        && (isPgConnectionLoss(error) || !QSqlDatabase::database(connName, false).isOpen())) {
        m_state->setBroken(connName, true);
        throw ServiceError(svcerr::Unreachable,
                           u"与数据库的连接已中断（%1）：%2"_s.arg(m_config.describe(), firstLine(error.text())));
    }
    if (m_config.backend == Backend::Sqlite) {
        // A file that vanished or cannot be written is unreachable, not a
        // query error.
        bool ok = false;
        const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
        if (ok && (code == 14 /*CANTOPEN*/ || code == 26 /*NOTADB*/))
            throw ServiceError(svcerr::Unreachable,
                               u"无法连接数据库 %1：%2"_s.arg(m_config.describe(), firstLine(error.text())));
        // The file could not be written: the operation did not happen, and
        // the operator has to know why before trying again.
        if (ok && code == 10 /*IOERR*/)
            throw ServiceError(svcerr::Unreachable,
                               u"无法读写数据库文件 %1，本次操作没有保存：%2"_s.arg(m_config.describe(),
                                                                                 firstLine(error.text())));
        if (ok && code == 13 /*FULL*/)
            throw ServiceError(svcerr::Unreachable,
                               u"数据库所在的磁盘已满，本次操作没有保存（%1）：%2；请通知管理员腾出空间"_s.arg(
                                   m_config.describe(), firstLine(error.text())));
        if (ok && code == 8 /*READONLY*/)
            throw ServiceError(svcerr::Unreachable,
                               u"数据库文件只能读、不能写，本次操作没有保存（%1）：%2"_s.arg(
                                   m_config.describe(), firstLine(error.text())));
        if (ok && (code == 5 /*BUSY*/ || code == 6 /*LOCKED*/))
            throw ServiceError(svcerr::Sql,
                               u"数据库正忙（其他工作站正在写入），请稍后重试：%1"_s.arg(m_config.describe()));
    }
    if (isConstraint(error, m_config.backend))
        throw ServiceError(svcerr::Constraint, describeConstraint(error, m_config.backend));
    if (m_config.backend == Backend::Postgres && isPgConflict(error))
        throw TxConflictError(svcerr::Sql, u"数据库事务与其他工作站的修改冲突，请重试"_s);
    qWarning("coachgate: SQL failed: %s -- %s", qPrintable(error.text()), qPrintable(sql.left(500)));
    throw ServiceError(svcerr::Sql, u"数据库操作失败：%1"_s.arg(firstLine(error.text())));
}

void Database::runSql(const QString &sql, const QVariantList &binds, QSqlQuery &query)
{
    const QString name = connectionName();
    query.setForwardOnly(true);
    if (binds.isEmpty()) {
        // Not prepared: PostgreSQL cannot prepare DDL and session commands.
        if (!query.exec(sql))
            fail(query.lastError(), sql, name);
        return;
    }
    // PostgreSQL's client library ends a text at its first NUL, which would
    // cut the statement short; SQLite would keep it. Neither is a text an
    // operator meant, so both backends refuse it the same way.
    for (const QVariant &b : binds)
        if (b.typeId() == QMetaType::QString && b.toString().contains(QChar(0)))
            throw ServiceError(svcerr::BadArgument, u"文字中有不允许的空字符（NUL），未执行数据库操作"_s);
    if (!query.prepare(sql))
        fail(query.lastError(), sql, name);
    for (const QVariant &b : binds)
        query.addBindValue(m_dialect->toDb(b));
    if (!query.exec())
        fail(query.lastError(), sql, name);
}

// A statement that changes nothing (a read, or the BEGIN of a transaction)
// that meets a connection the server dropped while it lay idle (a restarted
// server, a cut network) runs once more on a new connection: the operator
// sees no error for something that never started. A statement that may have
// changed data is never run twice; its lost connection is reported.
template <class Fn>
auto Database::againIfDropped(const QString &sql, Fn &&fn) -> decltype(fn())
{
    const QString name = connectionName();
    const State::Conn before = m_state->get(name);
    const bool wasOpen = !before.broken && before.txDepth == 0 && QSqlDatabase::contains(name);
    try {
        return fn();
    } catch (const ServiceError &e) {
        const State::Conn after = m_state->get(name);
        if (!wasOpen || !after.broken || after.txDepth > 0 || e.number() != svcerr::Unreachable)
            throw;
        const QString head = sql.trimmed().left(16).toUpper();
        const bool changesNothing = head.startsWith(u"SELECT"_s) || head == u"BEGIN"_s;
        if (!changesNothing)
            throw;
        qInfo("coachgate: the database connection was dropped; connecting again (%s)",
              qPrintable(m_config.describe()));
        return fn();
    }
}

void Database::exec(const QString &sql, const QVariantList &binds)
{
    againIfDropped(sql, [&] {
        QSqlQuery q(connection());
        runSql(sql, binds, q);
    });
}

void Database::lockRows(const QString &table, const QString &column, const QString &condition,
                        const QVariantList &binds)
{
    exec(u"UPDATE "_s + table + u" SET "_s + column + u" = "_s + column + u" WHERE "_s + condition, binds);
}

RecordSet Database::select(const QString &sql, const QVariantList &binds, const QList<RecordSet::Field> &shape)
{
    return againIfDropped(sql, [&] { return selectOnce(sql, binds, shape); });
}

RecordSet Database::selectOnce(const QString &sql, const QVariantList &binds, const QList<RecordSet::Field> &shape)
{
    QSqlQuery q(connection());
    runSql(sql, binds, q);

    RecordSet rs;
    const QSqlRecord rec = q.record();
    QList<FieldType> types;
    for (int i = 0; i < rec.count(); ++i) {
        const QString col = rec.fieldName(i);
        RecordSet::Field f{col, FieldType::Text, 0};
        for (const auto &s : shape)
            if (s.name.compare(col, Qt::CaseInsensitive) == 0) {
                f.type = s.type;
                f.definedSize = s.definedSize;
                break;
            }
        if (rs.hasField(col))
            throw ServiceError(svcerr::Sql, u"查询结果中有重名的列“%1”"_s.arg(col));
        rs.appendField(f.name, f.type, f.definedSize);
        types.append(f.type);
    }
    while (q.next()) {
        QVariantList row;
        row.reserve(types.size());
        for (int i = 0; i < types.size(); ++i)
            row.append(q.isNull(i) ? QVariant() : m_dialect->fromDb(q.value(i), types[i]));
        rs.appendRow(row);
    }
    if (q.lastError().isValid())
        fail(q.lastError(), sql, connectionName());
    rs.MoveFirst();
    return rs;
}

QVariant Database::scalar(const QString &sql, const QVariantList &binds)
{
    return againIfDropped(sql, [&] {
        QSqlQuery q(connection());
        runSql(sql, binds, q);
        if (!q.next()) {
            if (q.lastError().isValid())
                fail(q.lastError(), sql, connectionName());
            return QVariant();
        }
        return q.isNull(0) ? QVariant() : q.value(0);
    });
}

qint64 Database::insert(const QString &sqlIn, const QVariantList &binds, const QString &idColumn)
{
    QString sql = sqlIn.trimmed();
    while (sql.endsWith(u';'))
        sql.chop(1);
    QSqlQuery q(connection());
    if (m_config.backend == Backend::Postgres) {
        sql += u" RETURNING "_s + idColumn;
        runSql(sql, binds, q);
        if (!q.next())
            throw ServiceError(svcerr::Sql, u"新增记录后没有得到编号"_s);
        return q.value(0).toLongLong();
    }
    runSql(sql, binds, q);
    // Nothing inserted (INSERT ... ON CONFLICT DO NOTHING, INSERT ... SELECT
    // of no rows): SQLite would still report the connection's previous id.
    const QVariant id = q.lastInsertId();
    if (q.numRowsAffected() < 1 || !id.isValid())
        throw ServiceError(svcerr::Sql, u"新增记录后没有得到编号"_s);
    return id.toLongLong();
}

bool Database::inTransaction() const
{
    return m_state->get(connectionName()).txDepth > 0;
}

void Database::transact(const std::function<void()> &fn, TxRetry retry)
{
    const QString name = connectionName();
    const int depth = m_state->get(name).txDepth;

    if (depth > 0) {
        // Nested: join the outer transaction, but keep our part undoable.
        const QString sp = u"cg_sp%1"_s.arg(depth);
        exec(u"SAVEPOINT "_s + sp);
        m_state->setDepth(name, depth + 1);
        try {
            fn();
        } catch (...) {
            m_state->setDepth(name, depth);
            quietly(u"ROLLBACK TO SAVEPOINT "_s + sp);
            quietly(u"RELEASE SAVEPOINT "_s + sp);
            throw;
        }
        m_state->setDepth(name, depth);
        exec(u"RELEASE SAVEPOINT "_s + sp);
        return;
    }

    const int attempts = retry == TxRetry::OnConflict ? kConflictAttempts : 1;
    for (int attempt = 1;; ++attempt) {
        exec(m_config.backend == Backend::Sqlite ? u"BEGIN IMMEDIATE"_s : u"BEGIN"_s);
        m_state->setDepth(name, 1);
        try {
            fn();
            m_state->setDepth(name, 0);
            commit();
            return;
        } catch (const TxConflictError &) {
            m_state->setDepth(name, 0);
            quietly(u"ROLLBACK"_s);
            if (attempt >= attempts)
                throw;
        } catch (...) {
            m_state->setDepth(name, 0);
            quietly(u"ROLLBACK"_s);
            throw;
        }
    }
}

void Database::commit()
{
    try {
        exec(u"COMMIT"_s);
    } catch (const ServiceError &e) {
        // The server may have committed before the connection went: the
        // operator is told so, and looks before doing it again.
        if (e.number() == svcerr::Unreachable && m_state->get(connectionName()).broken)
            throw ServiceError(svcerr::Unreachable,
                               u"与数据库的连接在提交时中断（%1），无法确定本次操作是否已经保存：请刷新后查看，再决定是否重做"_s.arg(
                                   m_config.describe()));
        throw;
    }
}

// ====================================================================== schema

int Database::programSchemaVersion()
{
    return schema::latestVersion();
}

int Database::schemaVersion()
{
    const QString table = QString::fromUtf16(schema::versionTable);
    const QVariant exists = m_config.backend == Backend::Postgres
        ? scalar(u"SELECT count(*) FROM information_schema.tables "
                 u"WHERE table_schema = current_schema() AND table_name = ?"_s, {table})
        : scalar(u"SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"_s, {table});
    if (exists.toInt() == 0)
        return 0;
    return scalar(u"SELECT max(version) FROM "_s + table).toInt();
}

void Database::migrate()
{
    const int program = programSchemaVersion();
    const QString table = QString::fromUtf16(schema::versionTable);
    for (const schema::Migration &m : schema::migrations()) {
        transact([&] {
            // Serialise concurrent runs: SQLite by BEGIN IMMEDIATE, PostgreSQL
            // by a transaction-scoped advisory lock; then read the version
            // again inside the transaction.
            if (m_config.backend == Backend::Postgres)
                exec(u"SELECT pg_advisory_xact_lock(4711020)"_s);
            const int current = schemaVersion();
            if (current > program)
                throw ServiceError(svcerr::SchemaTooNew,
                                   u"数据库结构版本 %1 比本程序的版本 %2 新，本程序不会修改它；请使用新版程序"_s
                                       .arg(current).arg(program));
            if (current >= m.version)
                return;
            if (current != m.version - 1)
                throw ServiceError(svcerr::Sql, u"数据库结构版本 %1 无法升级到 %2"_s.arg(current).arg(m.version));
            if (current == 0)
                exec(m_dialect->ddl(u"CREATE TABLE %1 (version {INT} PRIMARY KEY, "
                                    u"description {TEXT} NOT NULL, applied_at {DATETIME} NOT NULL DEFAULT {NOW})"_s
                                        .arg(table)));
            for (const QString &stmt : m.statements)
                exec(m_dialect->ddl(stmt));
            for (const QString &table : m.tablesCopiedWithIds)
                if (const QString catchUp = m_dialect->identityCatchUp(table); !catchUp.isEmpty())
                    exec(catchUp);
            exec(u"INSERT INTO %1 (version, description) VALUES (?, ?)"_s.arg(table), {m.version, m.description});
        });
    }
}

void Database::requireCurrentSchema()
{
    const int program = programSchemaVersion();
    const int current = schemaVersion();
    if (current > program)
        throw ServiceError(svcerr::SchemaTooNew,
                           u"数据库结构版本 %1 比本程序的版本 %2 新（%3），请使用新版程序"_s
                               .arg(current).arg(program).arg(m_config.describe()));
    if (current == 0)
        throw ServiceError(svcerr::SchemaMissing,
                           u"数据库尚未初始化（%1），请先运行“coachgate-admin init”"_s.arg(m_config.describe()));
    if (current < program)
        throw ServiceError(svcerr::SchemaMissing,
                           u"数据库结构版本 %1 比本程序的版本 %2 旧（%3），请先运行“coachgate-admin init”升级"_s
                               .arg(current).arg(program).arg(m_config.describe()));
}

} // namespace cg
