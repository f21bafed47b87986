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

namespace cg {

namespace {

constexpr int kSqliteBusyTimeoutMs = 5000;
constexpr int kPgConnectTimeoutS = 10;
constexpr int kConflictAttempts = 3;

const QString kStoredDateTime = u"yyyy-MM-dd HH:mm:ss"_s;

[[noreturn]] void configError(const QString &text)
{
    throw ServiceError(svcerr::Config, u"数据库配置错误：%1"_s.arg(text));
}

// ---------------------------------------------------------------- config

// Splits libpq-style conninfo "k=v k='v with spaces'" into pairs.
QList<QPair<QString, QString>> splitConninfo(const QString &spec)
{
    QList<QPair<QString, QString>> out;
    qsizetype i = 0;
    const qsizetype n = spec.size();
    while (i < n) {
        while (i < n && spec[i].isSpace())
            ++i;
        if (i >= n)
            break;
        qsizetype eq = spec.indexOf(u'=', i);
        if (eq < 0)
            configError(u"连接串“%1”中缺少“=”"_s.arg(spec.mid(i)));
        const QString key = spec.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < n && spec[i].isSpace())
            ++i;
        QString value;
        if (i < n && spec[i] == u'\'') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (spec[i] == u'\\' && i + 1 < n) {
                    value += spec[i + 1];
                    i += 2;
                } else if (spec[i] == u'\'') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    value += spec[i++];
                }
            }
            if (!closed)
                configError(u"连接串中“%1”的值缺少结尾的引号"_s.arg(key));
        } else {
            while (i < n && !spec[i].isSpace()) {
                if (spec[i] == u'\\' && i + 1 < n)
                    ++i;
                value += spec[i++];
            }
        }
        if (key.isEmpty())
            configError(u"连接串“%1”中有没有名称的值"_s.arg(spec));
        out.append({key, value});
    }
    return out;
}

void applyPgKey(DbConfig &c, const QString &key, const QString &value)
{
    if (key == u"host"_s || key == u"hostaddr"_s) {
        c.host = value;
    } else if (key == u"port"_s) {
        bool ok = false;
        const int p = value.toInt(&ok);
        if (!ok || p <= 0 || p > 65535)
            configError(u"端口“%1”无效"_s.arg(value));
        c.port = p;
    } else if (key == u"dbname"_s) {
        c.database = value;
    } else if (key == u"user"_s) {
        c.user = value;
    } else if (key == u"passfile"_s) {
        c.passwordFile = value;
    } else if (key == u"sslmode"_s) {
        static const QStringList modes = {u"disable"_s, u"allow"_s, u"prefer"_s,
                                          u"require"_s, u"verify-ca"_s, u"verify-full"_s};
        if (!modes.contains(value))
            configError(u"sslmode“%1”无效，可用值：%2"_s.arg(value, modes.join(u", "_s)));
        c.sslmode = value;
    } else if (key == u"password"_s) {
        // A password in the database setting ends up in shell histories, process lists
        // and messages; it belongs in the password file.
        configError(u"连接串中不能写密码，请把密码放在密码文件中（passfile）"_s);
    } else {
        configError(u"不认识的连接参数“%1”"_s.arg(key));
    }
}

// Undoes the \: and \\ escapes of a .pgpass field.
QStringList splitPgpassLine(const QString &line)
{
    QStringList fields;
    QString cur;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar ch = line[i];
        if (ch == u'\\' && i + 1 < line.size()) {
            cur += line[++i];
        } else if (ch == u':') {
            fields.append(cur);
            cur.clear();
        } else {
            cur += ch;
        }
    }
    fields.append(cur);
    return fields;
}

// The password for c from its password file. A file whose lines have the
// form host:port:dbname:user:password (with * as wildcard) is read like
// .pgpass; any other file holds just the password on its first line.
QString readPassword(const DbConfig &c)
{
    QFile f(c.passwordFile);
    if (!f.open(QIODevice::ReadOnly))
        configError(u"无法读取密码文件 %1：%2"_s.arg(QDir::toNativeSeparators(c.passwordFile), f.errorString()));
    const QString text = QString::fromUtf8(f.readAll());
    QStringList lines;
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        lines.append(line);
    }
    if (lines.isEmpty())
        configError(u"密码文件 %1 是空的"_s.arg(QDir::toNativeSeparators(c.passwordFile)));

    bool pgpass = true;
    for (const QString &line : lines)
        if (splitPgpassLine(line).size() != 5)
            pgpass = false;
    if (!pgpass)
        return lines.first();

    const auto matches = [](const QString &pattern, const QString &value) {
        return pattern == u"*"_s || pattern == value;
    };
    const QString host = c.host.isEmpty() ? u"localhost"_s : c.host;
    for (const QString &line : lines) {
        const QStringList f5 = splitPgpassLine(line);
        if (matches(f5[0], host) && matches(f5[1], QString::number(c.port))
            && matches(f5[2], c.database) && matches(f5[3], c.user))
            return f5[4];
    }
    configError(u"密码文件 %1 中没有 %2@%3:%4/%5 的密码"_s.arg(
        QDir::toNativeSeparators(c.passwordFile), c.user, host, QString::number(c.port), c.database));
}

// ---------------------------------------------------------------- dialects

QString replaceTokens(const QString &ddl, const QHash<QString, QString> &map)
{
    static const QRegularExpression token(u"\\{([A-Z]+)\\}"_s);
    QString out;
    qsizetype last = 0;
    auto it = token.globalMatch(ddl);
    while (it.hasNext()) {
        const auto m = it.next();
        const auto found = map.constFind(m.captured(1));
        if (found == map.constEnd())
            throw ServiceError(svcerr::Sql, u"数据库结构定义中有不认识的类型“%1”"_s.arg(m.captured(0)));
        out += QStringView(ddl).mid(last, m.capturedStart() - last);
        out += *found;
        last = m.capturedEnd();
    }
    out += QStringView(ddl).mid(last);
    return out;
}

QVariant commonToDb(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return v;
    switch (v.metaType().id()) {
    case QMetaType::QDateTime:
        return v.toDateTime().toString(kStoredDateTime);
    case QMetaType::QDate:
        return v.toDate().startOfDay().toString(kStoredDateTime);
    case QMetaType::Bool:
        return v.toBool() ? 1 : 0;
    default:
        return v;
    }
}

QDateTime parseStoredDateTime(const QString &s)
{
    const QString t = s.trimmed();
    QDateTime dt = QDateTime::fromString(t, kStoredDateTime);
    if (!dt.isValid())
        dt = QDateTime::fromString(t, Qt::ISODate);
    if (!dt.isValid())
        dt = QDateTime::fromString(t, u"yyyy-MM-dd HH:mm:ss.zzz"_s);
    if (!dt.isValid()) {
        const QDate d = QDate::fromString(t, Qt::ISODate);
        if (d.isValid())
            dt = d.startOfDay();
    }
    return dt;
}

QVariant commonFromDb(const QVariant &v, FieldType type)
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (type) {
    case FieldType::Text:
        switch (v.metaType().id()) {
        case QMetaType::QDateTime:
            return v.toDateTime().toString(kStoredDateTime);
        case QMetaType::QDate:
            return v.toDate().startOfDay().toString(kStoredDateTime);
        case QMetaType::QByteArray:
            return QString::fromUtf8(v.toByteArray());
        default:
            return v.toString();
        }
    case FieldType::Integer: {
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        if (ok)
            return n;
        const double d = v.toDouble(&ok);
        return ok ? QVariant(qlonglong(d)) : QVariant();
    }
    case FieldType::Double: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        return ok ? QVariant(d) : QVariant();
    }
    case FieldType::Bool:
        if (v.metaType().id() == QMetaType::QString) {
            const QString s = v.toString().trimmed().toLower();
            return !(s.isEmpty() || s == u"0"_s || s == u"f"_s || s == u"false"_s);
        }
        return v.toBool();
    case FieldType::DateTime: {
        if (v.metaType().id() == QMetaType::QDateTime) {
            QDateTime dt = v.toDateTime();
            // Stored date-times are the station's wall-clock time.
            return QDateTime(dt.date(), dt.time());
        }
        if (v.metaType().id() == QMetaType::QDate)
            return v.toDate().startOfDay();
        const QDateTime dt = parseStoredDateTime(v.toString());
        return dt.isValid() ? QVariant(dt) : QVariant();
    }
    case FieldType::Bytes:
        return v.toByteArray();
    }
    return v;
}

class SqliteDialect final : public Dialect {
public:
    Backend backend() const override { return Backend::Sqlite; }
    QString ddl(const QString &portableDdl) const override
    {
        static const QHash<QString, QString> map = {
            {u"ID"_s, u"INTEGER PRIMARY KEY AUTOINCREMENT"_s},
            {u"INT"_s, u"INTEGER"_s},
            {u"BIGINT"_s, u"INTEGER"_s},
            {u"DOUBLE"_s, u"REAL"_s},
            {u"TEXT"_s, u"TEXT"_s},
            {u"BLOB"_s, u"BLOB"_s},
            {u"BOOL"_s, u"INTEGER"_s},
            {u"DATETIME"_s, u"TEXT"_s},
            {u"NOW"_s, u"(strftime('%Y-%m-%d %H:%M:%S','now','localtime'))"_s},
        };
        return replaceTokens(portableDdl, map);
    }
    QVariant toDb(const QVariant &v) const override { return commonToDb(v); }
    QVariant fromDb(const QVariant &v, FieldType type) const override { return commonFromDb(v, type); }
    QString nowExpression() const override
    {
        return u"strftime('%Y-%m-%d %H:%M:%S','now','localtime')"_s;
    }
};

class PostgresDialect final : public Dialect {
public:
    Backend backend() const override { return Backend::Postgres; }
    QString ddl(const QString &portableDdl) const override
    {
        static const QHash<QString, QString> map = {
            {u"ID"_s, u"BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"_s},
            {u"INT"_s, u"INTEGER"_s},
            {u"BIGINT"_s, u"BIGINT"_s},
            {u"DOUBLE"_s, u"DOUBLE PRECISION"_s},
            {u"TEXT"_s, u"TEXT"_s},
            {u"BLOB"_s, u"BYTEA"_s},
            {u"BOOL"_s, u"SMALLINT"_s},
            {u"DATETIME"_s, u"TIMESTAMP(0)"_s},
            {u"NOW"_s, u"LOCALTIMESTAMP(0)"_s},
        };
        return replaceTokens(portableDdl, map);
    }
    QVariant toDb(const QVariant &v) const override { return commonToDb(v); }
    QVariant fromDb(const QVariant &v, FieldType type) const override { return commonFromDb(v, type); }
    QString nowExpression() const override { return u"LOCALTIMESTAMP(0)"_s; }
};

QAtomicInt g_databaseCounter;

QString threadTag()
{
    return QString::number(reinterpret_cast<quintptr>(QThread::currentThreadId()), 16);
}

// SQLSTATE classes of PostgreSQL that mean the connection is gone.
bool isPgConnectionLoss(const QSqlError &e)
{
    const QString code = e.nativeErrorCode();
    if (code.startsWith(u"08"_s) || code == u"57P01"_s || code == u"57P02"_s || code == u"57P03"_s)
        return true;
    if (!code.isEmpty())
        return false;
    const QString text = e.databaseText() + u' ' + e.driverText();
    return text.contains(u"server closed the connection"_s, Qt::CaseInsensitive)
        || text.contains(u"terminating connection"_s, Qt::CaseInsensitive)
        || text.contains(u"no connection to the server"_s, Qt::CaseInsensitive)
        || text.contains(u"connection to server"_s, Qt::CaseInsensitive)
        || text.contains(u"could not receive data"_s, Qt::CaseInsensitive)
        || text.contains(u"could not send data"_s, Qt::CaseInsensitive);
}

QString firstLine(QString text)
{
    text = text.trimmed();
    const qsizetype nl = text.indexOf(u'\n');
    return nl < 0 ? text : text.left(nl).trimmed();
}

// "违反唯一约束" etc. with the table, columns and (PostgreSQL) key values.
QString describeConstraint(const QSqlError &e, Backend backend)
{
    const QString text = e.databaseText() + u'\n' + e.driverText();
    if (backend == Backend::Postgres) {
        const QString code = e.nativeErrorCode();
        static const QRegularExpression keyRe(u"Key \\((.*)\\)=\\((.*)\\) (already exists|is not present in table \"([^\"]+)\"|is still referenced from table \"([^\"]+)\")"_s);
        static const QRegularExpression tableRe(u"(?:relation|table) \"([^\"]+)\""_s);
        static const QRegularExpression columnRe(u"column \"([^\"]+)\""_s);
        static const QRegularExpression constraintRe(u"constraint \"([^\"]+)\""_s);
        const auto km = keyRe.match(text);
        const auto tm = tableRe.match(text);
        const auto cm = constraintRe.match(text);
        const QString table = tm.hasMatch()   ? schema::tableCaption(tm.captured(1))
                              : cm.hasMatch() ? schema::tableCaptionOfConstraint(cm.captured(1))
                                              : u"数据库"_s;
        if (code == u"23505"_s) {
            if (km.hasMatch())
                return u"记录重复：%1中已有 %2 = %3 的记录"_s.arg(table, km.captured(1), km.captured(2));
            return u"记录重复：%1"_s.arg(firstLine(e.databaseText()));
        }
        if (code == u"23503"_s) {
            if (km.hasMatch() && !km.captured(4).isEmpty())
                return u"引用的记录不存在：%1 中没有 %2 = %3 的记录"_s.arg(
                    schema::tableCaption(km.captured(4)), km.captured(1), km.captured(2));
            if (km.hasMatch() && !km.captured(5).isEmpty())
                return u"记录仍被使用：%1 中仍有记录引用 %2 = %3"_s.arg(
                    schema::tableCaption(km.captured(5)), km.captured(1), km.captured(2));
            return u"违反引用约束：%1"_s.arg(firstLine(e.databaseText()));
        }
        if (code == u"23502"_s) {
            const auto cm = columnRe.match(text);
            return u"缺少必填的值：%1的“%2”不能为空"_s.arg(table, cm.hasMatch() ? cm.captured(1) : QString());
        }
        if (code == u"23514"_s) {
            static const QRegularExpression checkRe(u"check constraint \"([^\"]+)\""_s);
            const auto ck = checkRe.match(text);
            return u"数据不合规则：%1的记录不符合规则 %2"_s.arg(table, ck.hasMatch() ? ck.captured(1) : QString());
        }
        return u"违反数据库约束：%1"_s.arg(firstLine(e.databaseText()));
    }
    // SQLite names the table and columns but not the values.
    static const QRegularExpression sqliteRe(u"(UNIQUE|NOT NULL|CHECK|FOREIGN KEY) constraint failed(?:: ([^\\n]+))?"_s);
    const auto m = sqliteRe.match(text);
    if (m.hasMatch()) {
        const QString kind = m.captured(1);
        const QStringList cols = m.captured(2).split(u',', Qt::SkipEmptyParts);
        QString table;
        QStringList names;
        for (const QString &c : cols) {
            const QString t = c.trimmed();
            const qsizetype dot = t.indexOf(u'.');
            if (dot > 0) {
                table = t.left(dot);
                names.append(t.mid(dot + 1));
            } else {
                names.append(t);
            }
        }
        const QString caption = table.isEmpty() ? u"数据库"_s : schema::tableCaption(table);
        if (kind == u"UNIQUE"_s)
            return u"记录重复：%1中已有相同 %2 的记录"_s.arg(caption, names.join(u", "_s));
        if (kind == u"NOT NULL"_s)
            return u"缺少必填的值：%1的“%2”不能为空"_s.arg(caption, names.join(u", "_s));
        if (kind == u"FOREIGN KEY"_s)
            return u"引用的记录不存在或仍被其他记录使用（违反引用约束）"_s;
        return u"数据不合规则：%1"_s.arg(m.captured(2).trimmed());
    }
    return u"违反数据库约束：%1"_s.arg(firstLine(e.databaseText()));
}

bool isConstraint(const QSqlError &e, Backend backend)
{
    const QString code = e.nativeErrorCode();
    if (backend == Backend::Postgres)
        return code.startsWith(u"23"_s);
    bool ok = false;
    const int n = code.toInt(&ok);
    if (ok && (n & 0xff) == 19) // SQLITE_CONSTRAINT and its extended codes
        return true;
    return e.databaseText().contains(u"constraint failed"_s, Qt::CaseInsensitive);
}

bool isPgConflict(const QSqlError &e)
{
    const QString code = e.nativeErrorCode();
    return code == u"40001"_s || code == u"40P01"_s;
}

} // namespace

// ====================================================================== DbConfig

DbConfig DbConfig::parse(const QString &specIn)
{
    const QString spec = specIn.trimmed();
    if (spec.isEmpty())
        configError(u"没有指定数据库（SQLite 文件路径或 PostgreSQL 连接串）"_s);

    DbConfig c;
    if (spec.startsWith(u"postgresql://"_s, Qt::CaseInsensitive)
        || spec.startsWith(u"postgres://"_s, Qt::CaseInsensitive)) {
        c.backend = Backend::Postgres;
        const QUrl url(spec, QUrl::StrictMode);
        if (!url.isValid())
            configError(u"PostgreSQL 地址无效：%1"_s.arg(url.errorString()));
        if (!url.password().isEmpty())
            applyPgKey(c, u"password"_s, QString());
        c.host = url.host();
        if (url.port() > 0)
            c.port = url.port();
        c.user = url.userName();
        c.database = url.path().mid(1);
        const QUrlQuery q(url);
        for (const auto &item : q.queryItems(QUrl::FullyDecoded))
            applyPgKey(c, item.first, item.second);
    } else if (QRegularExpression(u"^[A-Za-z_]+\\s*="_s).match(spec).hasMatch()) {
        c.backend = Backend::Postgres;
        for (const auto &kv : splitConninfo(spec))
            applyPgKey(c, kv.first, kv.second);
    } else {
        c.backend = Backend::Sqlite;
        QString path = spec;
        if (path.startsWith(u"sqlite:"_s, Qt::CaseInsensitive))
            path = path.mid(7);
        if (path.startsWith(u"//"_s))
            path = path.mid(2);
        if (path.isEmpty())
            configError(u"没有指定 SQLite 数据库文件"_s);
        c.sqlitePath = path;
        return c;
    }

    if (c.database.isEmpty())
        configError(u"PostgreSQL 连接串中没有数据库名（dbname）"_s);
    if (c.user.isEmpty())
        configError(u"PostgreSQL 连接串中没有用户名（user）"_s);
    if (!c.passwordFile.isEmpty())
        c.password = readPassword(c);
    return c;
}

QString DbConfig::describe() const
{
    if (backend == Backend::Sqlite)
        return u"SQLite 数据库文件 %1"_s.arg(QDir::toNativeSeparators(sqlitePath));
    return u"PostgreSQL 数据库 %1（服务器 %2:%3，用户 %4）"_s.arg(
        database, host.isEmpty() ? u"localhost"_s : host, QString::number(port), user);
}

std::unique_ptr<Dialect> makeDialect(Backend backend)
{
    if (backend == Backend::Postgres)
        return std::make_unique<PostgresDialect>();
    return std::make_unique<SqliteDialect>();
}

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
        const QString why = firstLine(db.lastError().text());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw ServiceError(svcerr::Unreachable, u"无法连接数据库 %1：%2"_s.arg(m_config.describe(), why));
    }

    QSqlQuery q(db);
    const QStringList setup = pg
        ? QStringList{u"SET client_min_messages TO warning"_s}
        : QStringList{u"PRAGMA journal_mode=WAL"_s, u"PRAGMA foreign_keys=ON"_s,
                      u"PRAGMA busy_timeout=%1"_s.arg(kSqliteBusyTimeoutMs)};
    for (const QString &s : setup) {
        if (!q.exec(s)) {
            const QString why = firstLine(q.lastError().text());
            q = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw ServiceError(svcerr::Unreachable, u"无法连接数据库 %1：%2"_s.arg(m_config.describe(), why));
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
        if (m_state->get(connectionName()).broken)
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
    if (st.broken && st.txDepth > 0)
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
    if (m_config.backend == Backend::Postgres && isPgConnectionLoss(error)) {
        m_state->setBroken(connName, true);
        throw ServiceError(svcerr::Unreachable,
                           u"与数据库的连接已中断（%1）：%2"_s.arg(m_config.describe(), firstLine(error.text())));
    }
    if (m_config.backend == Backend::Sqlite) {
        // A file that vanished or cannot be written is unreachable, not a
        // query error.
        bool ok = false;
        const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
        if (ok && (code == 10 /*IOERR*/ || code == 14 /*CANTOPEN*/ || code == 26 /*NOTADB*/))
            throw ServiceError(svcerr::Unreachable,
                               u"无法连接数据库 %1：%2"_s.arg(m_config.describe(), firstLine(error.text())));
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
    if (!query.prepare(sql))
        fail(query.lastError(), sql, name);
    for (const QVariant &b : binds)
        query.addBindValue(m_dialect->toDb(b));
    if (!query.exec())
        fail(query.lastError(), sql, name);
}

void Database::exec(const QString &sql, const QVariantList &binds)
{
    QSqlQuery q(connection());
    runSql(sql, binds, q);
}

RecordSet Database::select(const QString &sql, const QVariantList &binds, const QList<RecordSet::Field> &shape)
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
    QSqlQuery q(connection());
    runSql(sql, binds, q);
    if (!q.next()) {
        if (q.lastError().isValid())
            fail(q.lastError(), sql, connectionName());
        return QVariant();
    }
    return q.isNull(0) ? QVariant() : q.value(0);
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
            exec(u"COMMIT"_s);
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
