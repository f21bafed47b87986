#include "services/database/database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

// The database setting: a SQLite file name, or a PostgreSQL URL or conninfo
// whose password comes from a password file, never from the setting itself.

namespace cg {

namespace {

[[noreturn]] void configError(const QString &text)
{
    throw ServiceError(svcerr::Config, u"数据库配置错误：%1"_s.arg(text));
}


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
    } else if (key == u"sslrootcert"_s) {
        // The client library's options are separated by ";" before they reach
        // it, so a path holding one would be cut in two.
        if (value.isEmpty() || value.contains(u';'))
            configError(u"sslrootcert“%1”无效：需要根证书文件的路径，且路径中不能有“;”"_s.arg(value));
        c.sslRootCert = value;
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
    // A password file is a small plain file: a device, a pipe or a folder
    // would block the start or never end, and a huge file is a mistake.
    constexpr qint64 kMaxPasswordFileBytes = 64 * 1024;
    const QString shown = QDir::toNativeSeparators(c.passwordFile);
    const QFileInfo info(c.passwordFile);
    if (info.exists() && !info.isFile())
        configError(u"密码文件 %1 不是普通文件"_s.arg(shown));
    QFile f(c.passwordFile);
    if (!f.open(QIODevice::ReadOnly))
        configError(u"无法读取密码文件 %1：%2"_s.arg(shown, f.errorString()));
    const QByteArray bytes = f.read(kMaxPasswordFileBytes + 1);
    if (bytes.size() > kMaxPasswordFileBytes)
        configError(u"密码文件 %1 太大（超过 %2 KB），不像是密码文件"_s.arg(shown).arg(kMaxPasswordFileBytes / 1024));
    const QString text = QString::fromUtf8(bytes);
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
} // namespace


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
    if (!c.sslRootCert.isEmpty()) {
        // A root certificate says the server is to be verified; with a mode
        // that may fall back to a plain connection it would be ignored unseen.
        if (!c.requiresTls())
            configError(u"sslrootcert 只在 sslmode 为 require、verify-ca 或 verify-full 时有效（现在是“%1”）"_s.arg(
                c.sslmode.isEmpty() ? u"prefer"_s : c.sslmode));
        QFile cert(c.sslRootCert);
        if (!cert.open(QIODevice::ReadOnly))
            configError(u"无法读取根证书文件 %1：%2"_s.arg(QDir::toNativeSeparators(c.sslRootCert), cert.errorString()));
    }
    if (!c.passwordFile.isEmpty())
        c.password = readPassword(c);
    return c;
}

bool DbConfig::requiresTls() const
{
    return backend == Backend::Postgres
        && (sslmode == u"require"_s || sslmode == u"verify-ca"_s || sslmode == u"verify-full"_s);
}

QString DbConfig::describe() const
{
    if (backend == Backend::Sqlite)
        return u"SQLite 数据库文件 %1"_s.arg(QDir::toNativeSeparators(sqlitePath));
    return u"PostgreSQL 数据库 %1（服务器 %2:%3，用户 %4）"_s.arg(
        database, host.isEmpty() ? u"localhost"_s : host, QString::number(port), user);
}

} // namespace cg
