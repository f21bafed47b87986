#include "services/database/database.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QTimeZone>

using namespace Qt::StringLiterals;

// Everything that differs between SQLite and PostgreSQL in the SQL we write:
// types, stored values, the server's clock and case-insensitive matching.
// How each reports its errors is in dberrors.cpp.

namespace cg {

namespace {

const QString kStoredDateTime = u"yyyy-MM-dd HH:mm:ss"_s;


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

// A date-time or date (at midnight) as the stored text; any other value
// as an invalid QVariant.
QVariant storedDateTimeText(const QVariant &v)
{
    switch (v.metaType().id()) {
    case QMetaType::QDateTime:
        return v.toDateTime().toString(kStoredDateTime);
    case QMetaType::QDate:
        return v.toDate().startOfDay().toString(kStoredDateTime);
    default:
        return QVariant();
    }
}

QVariant commonToDb(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return v;
    if (const QVariant text = storedDateTimeText(v); text.isValid())
        return text;
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool() ? 1 : 0;
    return v;
}

// "yyyy-MM-dd HH:mm:ss", the form every stored date-time has, read digit by
// digit: a list of a thousand rows reads some thousands of them, and the
// general parser costs microseconds each. Anything else is left to it.
QDateTime parseCanonicalDateTime(QStringView t)
{
    if (t.size() != 19 || t[4] != u'-' || t[7] != u'-' || t[10] != u' ' || t[13] != u':' || t[16] != u':')
        return QDateTime();
    const auto number = [&t](qsizetype from, qsizetype n, int &out) {
        out = 0;
        for (qsizetype i = from; i < from + n; ++i) {
            const char16_t c = t[i].unicode();
            if (c < u'0' || c > u'9')
                return false;
            out = out * 10 + (c - u'0');
        }
        return true;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (!number(0, 4, y) || !number(5, 2, mo) || !number(8, 2, d) || !number(11, 2, h) || !number(14, 2, mi)
        || !number(17, 2, sec))
        return QDateTime();
    const QDate date(y, mo, d);
    const QTime time(h, mi, sec);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

QDateTime parseStoredDateTime(const QString &s)
{
    if (const QDateTime fast = parseCanonicalDateTime(s); fast.isValid())
        return fast;
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
        if (const QVariant text = storedDateTimeText(v); text.isValid())
            return text;
        if (v.metaType().id() == QMetaType::QByteArray)
            return QString::fromUtf8(v.toByteArray());
        return v.toString();
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

// The schema's portable tokens ({ID}, {DATETIME}, ...) and what each backend
// writes for them, side by side.
struct DdlToken {
    const char16_t *token;
    const char16_t *sqlite;
    const char16_t *postgres;
};

constexpr DdlToken kDdlTokens[] = {
    {u"ID", u"INTEGER PRIMARY KEY AUTOINCREMENT", u"BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"},
    {u"INT", u"INTEGER", u"INTEGER"},
    {u"BIGINT", u"INTEGER", u"BIGINT"},
    {u"DOUBLE", u"REAL", u"DOUBLE PRECISION"},
    {u"TEXT", u"TEXT", u"TEXT"},
    {u"BLOB", u"BLOB", u"BYTEA"},
    {u"BOOL", u"INTEGER", u"SMALLINT"},
    {u"DATETIME", u"TEXT", u"TIMESTAMP(0)"},
    {u"NOW", u"(strftime('%Y-%m-%d %H:%M:%S','now','localtime'))", u"LOCALTIMESTAMP(0)"},
};

QHash<QString, QString> ddlTokens(const char16_t *DdlToken::*backend)
{
    QHash<QString, QString> map;
    for (const DdlToken &t : kDdlTokens)
        map.insert(QString::fromUtf16(t.token), QString::fromUtf16(t.*backend));
    return map;
}

// What both backends do alike: the schema's tokens written as the backend's
// column of kDdlTokens says, values bound and read back the same way.
class CommonDialect : public Dialect {
public:
    explicit CommonDialect(const char16_t *DdlToken::*column) : m_tokens(ddlTokens(column)) {}
    QString ddl(const QString &portableDdl) const override { return replaceTokens(portableDdl, m_tokens); }
    QVariant toDb(const QVariant &v) const override { return commonToDb(v); }
    QVariant fromDb(const QVariant &v, FieldType type) const override { return commonFromDb(v, type); }

private:
    QHash<QString, QString> m_tokens;
};

class SqliteDialect final : public CommonDialect {
public:
    SqliteDialect() : CommonDialect(&DdlToken::sqlite) {}
    Backend backend() const override { return Backend::Sqlite; }
    // AUTOINCREMENT keeps the largest id ever inserted in sqlite_sequence.
    QString identityCatchUp(const QString &) const override { return QString(); }
    QString nowExpression() const override
    {
        return u"strftime('%Y-%m-%d %H:%M:%S','now','localtime')"_s;
    }
    QString likeCaseInsensitive() const override { return u"LIKE"_s; }
    QString likeWithoutEscape() const override { return QString(); }
    bool typedPlaceholders() const override { return false; }
    QString transactionLockStatement() const override { return QString(); }
    bool hasNotifications() const override { return false; }
    QString notifyStatement() const override { return QString(); }
    // WAL mode: a commit appends to the "-wal" file (which a checkpoint may
    // remove and a later write create again).
    QStringList filesWrittenByCommits(const QString &path) const override
    {
        return path.isEmpty() ? QStringList() : QStringList{path + u"-wal"_s, path};
    }
};

class PostgresDialect final : public CommonDialect {
public:
    PostgresDialect() : CommonDialect(&DdlToken::postgres) {}
    Backend backend() const override { return Backend::Postgres; }
    // An identity column's sequence does not move for ids inserted by hand.
    // The table name is our own schema's, never an operator's text.
    QString identityCatchUp(const QString &table) const override
    {
        return u"SELECT setval(pg_get_serial_sequence('%1', 'id'), COALESCE(MAX(id), 0) + 1, false) FROM %1"_s
            .arg(table);
    }
    QString nowExpression() const override { return u"LOCALTIMESTAMP(0)"_s; }
    QString likeCaseInsensitive() const override { return u"ILIKE"_s; }
    QString likeWithoutEscape() const override { return u" ESCAPE ''"_s; }
    bool typedPlaceholders() const override { return true; }
    QString transactionLockStatement() const override { return u"SELECT pg_advisory_xact_lock(?)"_s; }
    bool hasNotifications() const override { return true; }
    QString notifyStatement() const override { return u"SELECT pg_notify(?, ?)"_s; }
    QStringList filesWrittenByCommits(const QString &) const override { return {}; }
};

} // namespace

std::unique_ptr<Dialect> makeDialect(Backend backend)
{
    if (backend == Backend::Postgres)
        return std::make_unique<PostgresDialect>();
    return std::make_unique<SqliteDialect>();
}



} // namespace cg
