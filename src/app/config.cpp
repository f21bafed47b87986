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
        return m_files.isEmpty() ? QStringLiteral("(无配置文件)") : m_files.join(QStringLiteral("、"));
    }

private:
    std::vector<std::unique_ptr<QSettings>> m_layers;
    QStringList m_files;
};

QString displayKey(const QString &key)
{
    const qsizetype slash = key.indexOf(QLatin1Char('/'));
    return QStringLiteral("[%1] %2").arg(key.left(slash), key.mid(slash + 1));
}

QString required(const Layers &s, const QString &key, const QString &pattern, const QString &form)
{
    QString file;
    if (!s.contains(key))
        throw configError(QStringLiteral("缺少配置项 %1（%2），配置文件：%3").arg(displayKey(key), form, s.expectedIn()));
    const QString value = s.value(key, &file);
    if (!QRegularExpression(QStringLiteral("^(?:%1)$").arg(pattern)).match(value).hasMatch())
        throw configError(QStringLiteral("配置项 %1 的值“%2”不正确（应为%3），配置文件：%4")
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
        throw configError(QStringLiteral("配置项 %1 的值“%2”不正确（应为%3），配置文件：%4")
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
    throw configError(QStringLiteral("配置项 %1 的值“%2”不正确（应为 true 或 false），配置文件：%3")
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
    throw configError(QStringLiteral("配置项 %1 的值“%2”不正确（应为 none 或 simulated），配置文件：%3")
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
    parser.setApplicationDescription(QStringLiteral("客运站安全门检系统工作站"));
    const QCommandLineOption config(QStringLiteral("config"), QStringLiteral("使用指定的配置文件"), QStringLiteral("FILE"));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("使用指定的数据库（SQLite 文件或 PostgreSQL 连接串）"),
                                      QStringLiteral("SPEC"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("日志同时写到标准错误输出"));
    parser.addOption(config);
    parser.addOption(database);
    parser.addOption(verbose);
    if (!parser.parse(arguments))
        throw configError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        throw configError(QStringLiteral("无法识别的参数：%1").arg(parser.positionalArguments().join(u' ')));
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
    const QString etc = QStringLiteral("/etc/xdg/coachgate/coachgate.ini");
    files.append(etc);
    const QString user = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (!user.isEmpty())
        files.append(user + QStringLiteral("/coachgate.ini"));
    return files;
}

QString DefaultDataDir()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(appDir + QStringLiteral("/../share/coachgate"));
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
            throw configError(QStringLiteral("找不到配置文件：%1").arg(f));
    }
    if (present.isEmpty())
        throw configError(QStringLiteral("找不到配置文件：%1").arg(files.join(QStringLiteral("、"))));

    const Layers s(present);
    AppConfig c;
    c.files = present;
    c.operatorCode = required(s, QStringLiteral("session/operator"), QStringLiteral("[a-z]{2}"), QStringLiteral("两个小写字母"));
    c.stationCode = required(s, QStringLiteral("session/station"), QStringLiteral("[0-9]{9}"), QStringLiteral("九位数字"));
    c.unitCode = required(s, QStringLiteral("session/unit"), QStringLiteral("[0-9]{6}"), QStringLiteral("六位数字"));
    c.flag = optionalInt(s, QStringLiteral("session/flag"), 0, -32768, 32767, QStringLiteral("整数"));
    c.sessionCode = required(s, QStringLiteral("session/code"), QStringLiteral("[A-Za-z]{3}"), QStringLiteral("三个字母"));
    if (s.contains(QStringLiteral("database/spec")))
        c.databaseSpec = s.value(QStringLiteral("database/spec"));

    const QString localData = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    c.photoDir = optionalPath(s, QStringLiteral("paths/photos"), localData + QStringLiteral("/photos"));
    c.scratchDir = optionalPath(s, QStringLiteral("paths/scratch"),
                                QStandardPaths::writableLocation(QStandardPaths::TempLocation) + QStringLiteral("/coachgate"));
    c.dataDir = optionalPath(s, QStringLiteral("paths/data"), DefaultDataDir());
    c.layoutFile = optionalPath(s, QStringLiteral("paths/layout"), DefaultLayoutFile());
    c.clockToleranceSeconds = optionalInt(s, QStringLiteral("clock/tolerance_seconds"), 2, 0, 86400,
                                          QStringLiteral("0 到 86400 之间的秒数"));
    c.showHiddenMenus = optionalBool(s, QStringLiteral("ui/show_hidden_menus"), false);
    c.fingerReader = optionalReader(s, QStringLiteral("fingerprint/reader"));
    c.gateAllowsUnchecked = optionalBool(s, QStringLiteral("gate/allow_unchecked"), false);
    return c;
}

AppConfig LoadConfig(const CommandLine &commandLine)
{
    AppConfig c = commandLine.configFile.isEmpty() ? LoadConfig(DefaultConfigFiles(), false)
                                                   : LoadConfig(QStringList{commandLine.configFile}, true);
    if (!commandLine.databaseSpec.isEmpty())
        c.databaseSpec = commandLine.databaseSpec;
    if (c.databaseSpec.isEmpty())
        throw configError(QStringLiteral("缺少配置项 [database] spec（数据库），配置文件：%1；也可用 --database 指定")
                              .arg(c.files.join(QStringLiteral("、"))));
    return c;
}

} // namespace cg
