#include "config.h"

#include "core/apperror.h"
#include "widgets/gridhelpers.h"
#include "services/database/serviceerror.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

AppError configError(const QString &text)
{
    return AppError(svcerr::Config, text);
}

// Settings looked up through several files, remembering where each came from.
class Layers {
public:
    explicit Layers(const QStringList &files)
    {
        for (const QString &f : files)
            m_layers.push_back(std::make_unique<QSettings>(f, QSettings::IniFormat));
        m_files = files;
    }

    bool contains(const QString &key) const
    {
        for (const auto &s : m_layers)
            if (s->contains(key))
                return true;
        return false;
    }

    // The value and the file holding it (the last file that has the key).
    QString value(const QString &key, QString *file = nullptr) const
    {
        for (int i = int(m_layers.size()) - 1; i >= 0; --i) {
            if (m_layers[i]->contains(key)) {
                if (file)
                    *file = m_files.at(i);
                return m_layers[i]->value(key).toString().trimmed();
            }
        }
        if (file)
            *file = m_files.isEmpty() ? QString() : m_files.last();
        return QString();
    }

    // Where a missing setting should be written: the last file given.
    QString expectedIn() const
    {
        return m_files.isEmpty() ? u"(无配置文件)"_s : m_files.join(u"、"_s);
    }

private:
    std::vector<std::unique_ptr<QSettings>> m_layers;
    QStringList m_files;
};

QString displayKey(const QString &key)
{
    const qsizetype slash = key.indexOf(QLatin1Char('/'));
    return u"[%1] %2"_s.arg(key.left(slash), key.mid(slash + 1));
}

QString required(const Layers &s, const QString &key, const QString &pattern, const QString &form)
{
    QString file;
    if (!s.contains(key))
        throw configError(u"缺少配置项 %1（%2），配置文件：%3"_s.arg(displayKey(key), form, s.expectedIn()));
    const QString value = s.value(key, &file);
    if (!QRegularExpression(u"^(?:%1)$"_s.arg(pattern)).match(value).hasMatch())
        throw configError(u"配置项 %1 的值“%2”不正确（应为%3），配置文件：%4"_s
                              .arg(displayKey(key), value, form, file));
    return value;
}

int optionalInt(const Layers &s, const QString &key, int fallback, int minimum, int maximum, const QString &form)
{
    if (!s.contains(key))
        return fallback;
    QString file;
    const QString value = s.value(key, &file);
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < minimum || n > maximum)
        throw configError(u"配置项 %1 的值“%2”不正确（应为%3），配置文件：%4"_s
                              .arg(displayKey(key), value, form, file));
    return n;
}

bool optionalBool(const Layers &s, const QString &key, bool fallback)
{
    if (!s.contains(key))
        return fallback;
    QString file;
    const QString value = s.value(key, &file).toLower();
    if (value == u"true" || value == u"1" || value == u"yes" || value == u"on")
        return true;
    if (value == u"false" || value == u"0" || value == u"no" || value == u"off")
        return false;
    throw configError(u"配置项 %1 的值“%2”不正确（应为 true 或 false），配置文件：%3"_s
                          .arg(displayKey(key), value, file));
}

FingerReaderKind optionalReader(const Layers &s, const QString &key)
{
    if (!s.contains(key))
        return FingerReaderKind::None;
    QString file;
    const QString value = s.value(key, &file).toLower();
    if (value == u"none")
        return FingerReaderKind::None;
    if (value == u"simulated")
        return FingerReaderKind::Simulated;
    throw configError(u"配置项 %1 的值“%2”不正确（应为 none 或 simulated），配置文件：%3"_s
                          .arg(displayKey(key), value, file));
}

QString optionalPath(const Layers &s, const QString &key, const QString &fallback)
{
    const QString value = s.value(key);
    return value.isEmpty() ? fallback : QDir::cleanPath(value);
}

} // namespace

CommandLine ParseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"客运站安全门检系统工作站"_s);
    const QCommandLineOption config(u"config"_s, u"使用指定的配置文件"_s, u"FILE"_s);
    const QCommandLineOption database(u"database"_s, u"使用指定的数据库（SQLite 文件或 PostgreSQL 连接串）"_s,
                                      u"SPEC"_s);
    const QCommandLineOption verbose(u"verbose"_s, u"日志同时写到标准错误输出"_s);
    parser.addOption(config);
    parser.addOption(database);
    parser.addOption(verbose);
    if (!parser.parse(arguments))
        throw configError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        throw configError(u"无法识别的参数：%1"_s.arg(parser.positionalArguments().join(u' ')));
    CommandLine result;
    result.configFile = parser.value(config);
    result.databaseSpec = parser.value(database);
    result.verbose = parser.isSet(verbose);
    return result;
}

QStringList DefaultConfigFiles()
{
    QStringList files;
    // Lowest priority first: the system-wide defaults, then the user's file.
    const QString etc = u"/etc/xdg/coachgate/coachgate.ini"_s;
    files.append(etc);
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (!user.isEmpty())
        files.append(user + u"/coachgate.ini"_s);
    return files;
}

QString DefaultDataDir()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(appDir + u"/../share/coachgate"_s);
    if (QFileInfo(installed).isDir())
        return installed;
#ifdef CG_SOURCE_RESOURCES
    const QString source = QStringLiteral(CG_SOURCE_RESOURCES);
    if (QFileInfo(source).isDir())
        return source;
#endif
    return appDir;
}

AppConfig LoadConfig(const QStringList &files, bool filesMustExist)
{
    QStringList present;
    for (const QString &f : files) {
        if (QFileInfo(f).isFile())
            present.append(f);
        else if (filesMustExist)
            throw configError(u"找不到配置文件：%1"_s.arg(f));
    }
    if (present.isEmpty())
        throw configError(u"找不到配置文件：%1"_s.arg(files.join(u"、"_s)));

    const Layers s(present);
    AppConfig c;
    c.files = present;
    c.operatorCode = required(s, u"session/operator"_s, u"[a-z]{2}"_s, u"两个小写字母"_s);
    c.stationCode = required(s, u"session/station"_s, u"[0-9]{9}"_s, u"九位数字"_s);
    c.unitCode = required(s, u"session/unit"_s, u"[0-9]{6}"_s, u"六位数字"_s);
    c.flag = optionalInt(s, u"session/flag"_s, 0, -32768, 32767, u"整数"_s);
    c.sessionCode = required(s, u"session/code"_s, u"[A-Za-z]{3}"_s, u"三个字母"_s);
    if (s.contains(u"database/spec"_s))
        c.databaseSpec = s.value(u"database/spec"_s);

    const QString localData = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    c.photoDir = optionalPath(s, u"paths/photos"_s, localData + u"/photos"_s);
    c.scratchDir = optionalPath(s, u"paths/scratch"_s,
                                QStandardPaths::writableLocation(QStandardPaths::TempLocation) + u"/coachgate"_s);
    c.dataDir = optionalPath(s, u"paths/data"_s, DefaultDataDir());
    c.layoutFile = optionalPath(s, u"paths/layout"_s, DefaultLayoutFile());
    c.clockToleranceSeconds = optionalInt(s, u"clock/tolerance_seconds"_s, 2, 0, 86400,
                                          u"0 到 86400 之间的秒数"_s);
    c.showHiddenMenus = optionalBool(s, u"ui/show_hidden_menus"_s, false);
    c.fingerReader = optionalReader(s, u"fingerprint/reader"_s);
    c.gateAllowsUnchecked = optionalBool(s, u"gate/allow_unchecked"_s, false);
    return c;
}

AppConfig LoadConfig(const CommandLine &commandLine)
{
    AppConfig c = commandLine.configFile.isEmpty() ? LoadConfig(DefaultConfigFiles(), false)
                                                   : LoadConfig(QStringList{commandLine.configFile}, true);
    if (!commandLine.databaseSpec.isEmpty())
        c.databaseSpec = commandLine.databaseSpec;
    if (c.databaseSpec.isEmpty())
        throw configError(u"缺少配置项 [database] spec（数据库），配置文件：%1；也可用 --database 指定"_s
                              .arg(c.files.join(u"、"_s)));
    return c;
}

} // namespace cg
