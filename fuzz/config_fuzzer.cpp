// The workstation's INI configuration (coachgate.ini) and the database
// setting it names. A file is either refused with a configuration error or
// gives settings in their documented forms and ranges; the database setting
// is then parsed the same way, and a parsed PostgreSQL setting is complete
// and never shows a password in its description. The input is also parsed
// as a database setting on its own (--database).

#include "fuzzsupport.h"

#include "app/config.h"
#include "core/apperror.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

using namespace Qt::StringLiterals;
using namespace cg;
using cgfuzz::check;

namespace {

cgfuzz::Scratch *scratch;

bool matches(const QString &pattern, const QString &value)
{
    return QRegularExpression(u"^(?:"_s + pattern + u")$"_s).match(value).hasMatch();
}

// A password file named by the setting is read. Device and process files
// (an endless /dev/zero, a blocking terminal) are not what the setting
// reads, so texts that could name one are left out.
bool couldNameDeviceFile(const QString &setting)
{
    QString plain = QUrl::fromPercentEncoding(setting.toUtf8());
    plain.remove(u'\\');
    return plain.contains(u"dev"_s) || plain.contains(u"proc"_s) || plain.contains(u"sys"_s)
        || plain.contains(u"run"_s);
}

void checkDatabaseSetting(const QString &setting)
{
    if (couldNameDeviceFile(setting))
        return;
    DbConfig c;
    try {
        c = DbConfig::parse(setting);
    } catch (const AppError &e) {
        check(e.number() == svcerr::Config, "a refused database setting is a configuration error",
              e.description());
        return;
    }
    const QString described = c.describe();
    if (c.backend == Backend::Sqlite) {
        check(!c.sqlitePath.isEmpty(), "a SQLite setting names a file", setting);
        return;
    }
    check(!c.database.isEmpty() && !c.user.isEmpty(), "a PostgreSQL setting names database and user", setting);
    check(c.port > 0 && c.port <= 65535, "the port is a port", QString::number(c.port));
    check(!c.passwordFile.isEmpty() || c.password.isEmpty(), "a password comes only from a password file", setting);
    // The description names database, server and user, and nothing else.
    if (!c.password.isEmpty() && !c.database.contains(c.password) && !c.host.contains(c.password)
        && !c.user.contains(c.password) && !u"PostgreSQL 数据库（服务器 localhost:，用户 ）"_s.contains(c.password)
        && !QString::number(c.port).contains(c.password))
        check(!described.contains(c.password), "the description never shows the password", described);
}

void checkConfig(const QString &path)
{
    AppConfig c;
    try {
        c = LoadConfig(QStringList{path}, true);
    } catch (const AppError &e) {
        check(e.number() == svcerr::Config, "a refused configuration is a configuration error", e.description());
        check(!e.description().isEmpty(), "a refusal says why");
        return;
    }
    check(matches(u"[a-z]{2}"_s, c.operatorCode), "operator is two lower-case letters", c.operatorCode);
    check(matches(u"[0-9]{9}"_s, c.stationCode), "station is nine digits", c.stationCode);
    check(matches(u"[0-9]{6}"_s, c.unitCode), "unit is six digits", c.unitCode);
    check(matches(u"[A-Za-z]{3}"_s, c.sessionCode), "code is three letters", c.sessionCode);
    check(c.flag >= -32768 && c.flag <= 32767, "flag is a 16-bit integer", QString::number(c.flag));
    check(c.clockToleranceSeconds >= 0 && c.clockToleranceSeconds <= 86400, "clock tolerance within a day",
          QString::number(c.clockToleranceSeconds));
    check(c.files == QStringList{path}, "the file read is reported");
    for (const QString &p : {c.photoDir, c.scratchDir, c.dataDir, c.layoutFile})
        check(!p.isEmpty(), "every path has a value");
    if (!c.databaseSpec.isEmpty())
        checkDatabaseSetting(c.databaseSpec);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static cgfuzz::Scratch s;
    if (!s.ok())
        cgfuzz::fail("no scratch folder");
    scratch = &s;
    // Password files the settings can name: a plain one and a .pgpass one.
    QDir::setCurrent(s.path());
    const auto write = [](const char *name, const QByteArray &text) {
        QFile f(QString::fromLatin1(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            cgfuzz::fail("cannot write a password file");
    };
    write("pw", "s3cr3t-plain\n");
    write("pgpass", "# station\nlocalhost:5432:coachgate:cg:s3cr3t-pg\n*:*:*:*:s3cr3t-any\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16384)
        return -1;
    const QString path = scratch->nextFile(u".ini"_s);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            cgfuzz::fail("cannot write the input file");
    }
    checkConfig(path);
    QFile::remove(path);
    const QString text = cgfuzz::inputText(data, size);
    if (text.size() <= 1024)
        checkDatabaseSetting(text);
    return 0;
}
