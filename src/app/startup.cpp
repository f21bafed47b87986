#include "startup.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "widgets/messages.h"
#include "widgets/sound.h"
#include "core/text.h"
#include "frmnotify.h"
#include "logfile.h"
#include "mainwindow.h"
#include "productpictures.h"
#include "screens.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

using namespace Qt::StringLiterals;

namespace cg {

void PosixClockSetter::setSystemClock(const QDateTime &to)
{
    const qint64 ms = to.toMSecsSinceEpoch();
    timespec ts{};
    ts.tv_sec = time_t(ms / 1000);
    ts.tv_nsec = long((ms % 1000) * 1000000);
    if (clock_settime(CLOCK_REALTIME, &ts) != 0) {
        const int error = errno;
        throw AppError(70, u"无法按服务器时间 %1 设置本机时钟：%2。请给本程序设置时钟的权限，或先让本机与服务器时间同步。"_s
                               .arg(to.toString(u"yyyy-MM-dd HH:mm:ss"_s),
                                    QString::fromLocal8Bit(std::strerror(error))));
    }
}

QString BuildContext(const QString &operatorCode, const QString &stationCode, const QString &unitCode, qint16 flag)
{
    return Bracket(operatorCode) + Bracket(stationCode) + Bracket(unitCode) + Bracket(QString::number(flag));
}

bool ParamToBool(const QVariant &value, int index, const QString &name)
{
    const QString text = value.isNull() ? QString() : value.toString().trimmed();
    if (!text.isEmpty()) {
        bool ok = false;
        const double number = text.toDouble(&ok);
        if (ok)
            return number != 0.0;
        if (text.compare(u"True", Qt::CaseInsensitive) == 0)
            return true;
        if (text.compare(u"False", Qt::CaseInsensitive) == 0)
            return false;
    }
    throw AppError(errnum::TypeMismatch, u"类型不匹配：系统参数 %1（%2）的值“%3”不是是/否的取值"_s
                                             .arg(index)
                                             .arg(name, text));
}

void ReportStartupFailure(MessageSink &sink, const std::exception &error)
{
    const auto *app = dynamic_cast<const AppError *>(&error);
    const QString text = u"错误-%1: %2"_s
                             .arg(app ? app->number() : 0)
                             .arg(app ? app->description() : QString::fromUtf8(error.what()));
    // Standard error keeps its one line a script can read; the log has it too.
    std::fputs((u"coachgate: "_s + text + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    LogFile::writeToFileOnly(QtCriticalMsg, u"start-up failed: "_s + text);
    ReportError(sink, error);
}

bool InstallQtTranslations(QCoreApplication &app, const QLocale &locale)
{
    // Qt's own texts (the Yes/No/OK/Cancel of standard dialogs, the file
    // dialog) in the workstation's language; the program's texts are
    // Chinese already.
    auto *translator = new QTranslator(&app);
    if (!translator->load(locale, u"qtbase"_s, u"_"_s,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

Startup::Startup(Env &env, SystemClockSetter &clockSetter) : m_env(env), m_clockSetter(clockSetter) {}

Startup::~Startup()
{
    // Screens hold the session and the database: the window goes first.
    if (m_window && m_env.status == m_window.get())
        m_env.status = nullptr;
    m_window.reset();
    m_session.reset();
    m_db.reset();
}

void Startup::setClock(ClockService &clock, int toleranceSeconds)
{
    // The server's date-time carries the date as well; the date asked for
    // afterwards is only used when it disagrees (midnight passed between
    // the two calls), so the clock is never set a day wrong.
    QDateTime server = clock.GetServerTime();
    const QDate serverDate = clock.GetServerDate().date();
    if (serverDate.isValid() && serverDate != server.date() && server.time() > QTime(12, 0))
        server = QDateTime(serverDate, QTime(0, 0));
    const qint64 drift = qAbs(m_env.clock->now().secsTo(server));
    if (drift > toleranceSeconds)
        m_clockSetter.setSystemClock(server);
}

void Startup::loadParameters()
{
    DefinitionService definitions(*m_db);
    const QString &ctx = m_station.context;
    SystemParameters &p = m_station.params;
    auto text = [&](int index) {
        const QVariant v = definitions.GetSysParam(ctx, index);
        return v.isNull() ? QString() : v.toString();
    };
    auto flag = [&](int index, const QString &name) {
        return ParamToBool(definitions.GetSysParam(ctx, index), index, name);
    };
    p.PrefixLicense = text(1);
    p.ExitPassword = text(2);
    p.StartCheckTime = text(3);
    p.EndCheckTime = text(4);
    p.FontSize = text(5);
    p.ScreenWait = text(6);
    p.ScreenPass = text(7);
    p.ScreenNotPass = text(8);
    p.ScreenHeight = text(9);
    p.ScreenWidth = text(10);
    p.BeforeMinute = text(11);
    p.BiologicalClockReport = flag(12, u"生物钟预测"_s);
    p.OutCheck = flag(13, u"是否启用出站门检指纹核对"_s);
    p.TechPrint = flag(14, u"是否打印车况例检单"_s);
}

bool Startup::Main(const AppConfig &config)
{
    try {
        m_db = std::make_unique<Database>(DbConfig::parse(config.databaseSpec));
        // A database of another program version is refused before anything
        // reads or writes it.
        m_db->requireCurrentSchema();
        m_station.db = m_db.get();
        m_station.showHiddenMenus = config.showHiddenMenus;
        m_station.gateAllowsUnchecked = config.gateAllowsUnchecked;

        m_session = std::make_unique<SessionService>(*m_db);
        int unused = 0;
        m_session->OpenSession(config.operatorCode, QString(), config.sessionCode, unused);
        m_station.session = m_session.get();
        // Check events are stamped with the configured station and screens
        // subscribe with it: a workstation configured for another station
        // than its operator's would record for one and listen to the other.
        if (m_session->GetStationCode() != config.stationCode)
            throw AppError(svcerr::Config,
                           u"配置的车站代码 %1 与操作员 %2 所属车站 %3 不一致，本工作站不能启动。"
                           u"请把配置文件 %4 中 [session] station 改为 %3，或换用该车站的操作员。"_s
                               .arg(config.stationCode, config.operatorCode, m_session->GetStationCode(),
                                    config.files.isEmpty() ? u"(未知)"_s : config.files.join(u"、"_s)));

        m_station.context = BuildContext(config.operatorCode, config.stationCode, config.unitCode, qint16(config.flag));

        {
            ClockService clock(*m_db);
            setClock(clock, config.clockToleranceSeconds);
        }
        loadParameters();
        m_station.lineColour = defaultLineColour();
    } catch (const std::exception &e) {
        // Caught here, not trapped: start-up ends and says so to its caller.
        ReportStartupFailure(*m_env.messages, e);
        return false;
    }

    try {
        m_window = std::make_unique<mdiMain>(m_env, m_station);
        m_env.status = m_window.get();
        RegisterScreens(*m_window, m_env, m_station, config.fingerReader);
        m_window->show();
        if (checkInStation)
            checkInStation(*m_window, m_station);
        StartupService(*m_db).Run();
    } catch (const std::exception &e) {
        // Whether start-up succeeded is whether the main window stands.
        ReportStartupFailure(*m_env.messages, e);
    }
    return m_window != nullptr;
}

int RunWorkstation(int argc, char *argv[], const WorkstationExtras &extras)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"coachgate"_s);
    QApplication::setApplicationDisplayName(u"客运站安全门检系统"_s);
    QApplication::setWindowIcon(QIcon(DrawAppIcon(32)));
    if (!InstallQtTranslations(app, QLocale(QLocale::Chinese, QLocale::China)))
        std::fputs("coachgate: Qt's Chinese translations (qtbase_zh_CN.qm) are not installed; "
                   "standard buttons stay in English (install qt6-translations-l10n)\n",
                   stderr);

    WorkstationMessageSink messages;
    SystemClock clock;
    QtSoundPlayer sound;
    DesktopShellOpener shell;
    NullStatusSink noStatus;
    Env env;
    env.messages = &messages;
    env.clock = &clock;
    env.sound = &sound;
    env.shell = &shell;
    env.status = &noStatus;

    AppConfig config;
    try {
        const CommandLine commandLine = ParseCommandLine(QApplication::arguments());
        QString why;
        if (!LogFile::install(LogFile::defaultFolder(), commandLine.verbose, &why))
            std::fprintf(stderr, "coachgate: %s; the log goes to standard error only\n", qUtf8Printable(why));
        qInfo("start-up: coachgate %s, process %lld", COACHGATE_VERSION, QCoreApplication::applicationPid());
        config = LoadConfig(commandLine);
        qInfo("start-up: configuration %s; operator %s, station %s, unit %s; database %s",
              qUtf8Printable(config.files.isEmpty() ? u"(none)"_s : config.files.join(u", "_s)),
              qUtf8Printable(config.operatorCode), qUtf8Printable(config.stationCode),
              qUtf8Printable(config.unitCode), qUtf8Printable(DbConfig::parse(config.databaseSpec).describe()));
    } catch (const std::exception &e) {
        // A configuration that cannot be read ends the process with 1.
        ReportStartupFailure(messages, e);
        return 1;
    }
    env.layoutFile = config.layoutFile;
    env.dataDir = config.dataDir;
    env.photoDir = config.photoDir;
    env.scratchDir = config.scratchDir;
    QDir().mkpath(env.photoDir);
    QDir().mkpath(env.scratchDir);

    PosixClockSetter setter;
    Startup startup(env, setter);
    startup.checkInStation = CheckInStation(env);
    if (extras.beforeStart)
        extras.beforeStart(env, startup);
    if (!startup.Main(config))
        return 1;
    // Closing the main window ends the program with its child windows.
    return QApplication::exec();
}

} // namespace cg
