// Start-up against a real SQLite station database, and the configuration.
#include "app/config.h"
#include "app/frmsysparam.h"
#include "app/mainwindow.h"
#include "app/screens.h"
#include "app/startup.h"
#include "widgets/formregistry.h"
#include "core/clock.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "support/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace cg;

namespace {

class RecordingClockSetter : public SystemClockSetter {
public:
    void setSystemClock(const QDateTime &to) override
    {
        calls.append(to);
        if (refuse)
            throw AppError(70, QStringLiteral("没有设置时钟的权限"));
    }
    QList<QDateTime> calls;
    bool refuse = false;
};

QHash<int, QVariant> demoParams()
{
    return {{1, QStringLiteral("粤")}, {2, QStringLiteral("8888")}, {3, QStringLiteral("30")},
            {4, QStringLiteral("60")}, {5, QStringLiteral("12")}, {6, QStringLiteral("请稍候")},
            {7, QStringLiteral("安检合格")}, {8, QStringLiteral("安检不合格")}, {9, QStringLiteral("64")},
            {10, QStringLiteral("256")}, {11, QStringLiteral("30")}, {12, QStringLiteral("1")},
            {13, QStringLiteral("0")}, {14, QStringLiteral("0")}, {15, QStringLiteral("24")}};
}

} // namespace

class tst_startup : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startsWithParameters();
    void checkInStationAndScreensPlugIn();
    void flagParameters_data();
    void flagParameters();
    void clockWithinToleranceIsNotSet();
    void clockOutsideTolerance_data();
    void clockOutsideTolerance();
    void refusedDatabases_data();
    void refusedDatabases();
    void unknownOperatorStopsStartUp();
    void failureAfterWindowKeepsIt();
    void systemSettingsOpensOverDatabase();

    void buildContext_data();
    void buildContext();
    void configErrors_data();
    void configErrors();
    void configDefaultsAndOverride();
    void commandLine();
    void stationOtherThanOperatorsRefused();
    void oneStationCodeForEventsAndSubscriptions();
    void processReportsStartupFailures_data();
    void processReportsStartupFailures();
    void qtDialogsSpeakChinese();
    void entriesLightUpWithTheirForms_data();
    void entriesLightUpWithTheirForms();
    void readerFollowsConfiguration_data();
    void readerFollowsConfiguration();

private:
    void prepareDatabase(const QHash<int, QVariant> &params);
    AppConfig config() const;
    QString writeIni(const QString &name, const QString &text);

    QTemporaryDir m_dir;
    QString m_dbPath;
    test::RecordingMessageSink m_sink;
    ManualClock m_clock;
    RecordingClockSetter m_setter;
    Env m_env;
};

void tst_startup::init()
{
    QVERIFY(m_dir.isValid());
    static int n = 0;
    m_dbPath = m_dir.filePath(QStringLiteral("station%1.sqlite").arg(++n));
    m_sink.clear();
    m_setter = RecordingClockSetter{};
    m_clock.set(QDateTime::currentDateTime());
    m_env = Env{};
    m_env.messages = &m_sink;
    m_env.clock = &m_clock;
}

void tst_startup::cleanup()
{
    // No window may outlive its test.
    const auto visibleWindows = [] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::count_if(windows.cbegin(), windows.cend(), [](QWidget *w) { return w->isVisible(); });
    };
    QTRY_COMPARE(visibleWindows(), 0);
}

void tst_startup::prepareDatabase(const QHash<int, QVariant> &params)
{
    Database db(DbConfig::parse(m_dbPath));
    db.migrate();
    // A fresh database may come with default parameters: these replace them.
    db.exec(QStringLiteral("DELETE FROM sys_params"));
    db.exec(QStringLiteral("INSERT INTO operators(operator_code, operator_name, station_code, unit_code, unit_name) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {QStringLiteral("wg"), QStringLiteral("王刚"), QStringLiteral("440100001"), QStringLiteral("440101"),
             QStringLiteral("广州市天河客运站")});
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        db.exec(QStringLiteral("INSERT INTO sys_params(param_index, param_value) VALUES (?, ?)"), {it.key(), it.value()});
}

AppConfig tst_startup::config() const
{
    AppConfig c;
    c.operatorCode = QStringLiteral("wg");
    c.stationCode = QStringLiteral("440100001");
    c.unitCode = QStringLiteral("440101");
    c.sessionCode = QStringLiteral("CGS");
    c.databaseSpec = m_dbPath;
    return c;
}

QString tst_startup::writeIni(const QString &name, const QString &text)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(text.toUtf8());
    return path;
}

void tst_startup::startsWithParameters()
{
    prepareDatabase(demoParams());
    Startup startup(m_env, m_setter);
    bool windowUpForCheckIn = false;
    startup.checkInStation = [&](mdiMain &w, StationContext &) { windowUpForCheckIn = w.isVisible(); };
    QVERIFY(startup.Main(config()));
    QVERIFY(m_sink.boxes.isEmpty());
    QVERIFY(windowUpForCheckIn);

    const StationContext &s = startup.station();
    QCOMPARE(s.context, QStringLiteral("[wg][440100001][440101][0]"));
    QCOMPARE(s.params.PrefixLicense, QStringLiteral("粤"));
    QCOMPARE(s.params.ExitPassword, QStringLiteral("8888"));
    QCOMPARE(s.params.StartCheckTime, QStringLiteral("30"));
    QCOMPARE(s.params.EndCheckTime, QStringLiteral("60"));
    QCOMPARE(s.params.ScreenHeight, QStringLiteral("64"));
    QCOMPARE(s.params.ScreenWidth, QStringLiteral("256"));
    QCOMPARE(s.params.BeforeMinute, QStringLiteral("30"));
    QCOMPARE(s.lineColour, QStringLiteral("16777088"));
    QVERIFY(s.session && s.session->isOpen());

    mdiMain *w = startup.mainWindow();
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->statusText(3), QStringLiteral("[wg]王刚"));
    QCOMPARE(m_env.status, static_cast<StatusSink *>(w));
    // Hidden entries stay hidden unless the configuration shows them.
    QVERIFY(!w->menuAction(QStringLiteral("mnu_return"))->isVisible());

    // 用户属性 shows the operator.
    w->menuAction(QStringLiteral("mnu_File_UserInfo"))->trigger();
    QCOMPARE(m_sink.boxes.size(), 1);
    QVERIFY(m_sink.lastText().contains(QStringLiteral("王刚")));
    QVERIFY(m_sink.lastText().contains(QStringLiteral("440100001")));
}

void tst_startup::flagParameters_data()
{
    QTest::addColumn<QVariant>("p12");
    QTest::addColumn<QVariant>("p13");
    QTest::addColumn<QVariant>("p14");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QList<bool>>("flags");
    QTest::addColumn<int>("failing"); // index named in the error
    QTest::newRow("0 1 0") << QVariant(QStringLiteral("0")) << QVariant(QStringLiteral("1"))
                           << QVariant(QStringLiteral("0")) << true << QList<bool>{false, true, false} << 0;
    QTest::newRow("-1 reads true") << QVariant(QStringLiteral("-1")) << QVariant(QStringLiteral("0"))
                                   << QVariant(QStringLiteral("2.5")) << true << QList<bool>{true, false, true} << 0;
    QTest::newRow("words") << QVariant(QStringLiteral("True")) << QVariant(QStringLiteral("false"))
                           << QVariant(QStringLiteral(" 1 ")) << true << QList<bool>{true, false, true} << 0;
    QTest::newRow("13 empty") << QVariant(QStringLiteral("1")) << QVariant(QString()) << QVariant(QStringLiteral("0"))
                              << false << QList<bool>{} << 13;
    QTest::newRow("13 never set") << QVariant(QStringLiteral("1")) << QVariant() << QVariant(QStringLiteral("0"))
                                  << false << QList<bool>{} << 13;
    QTest::newRow("14 a word") << QVariant(QStringLiteral("1")) << QVariant(QStringLiteral("0"))
                               << QVariant(QStringLiteral("是")) << false << QList<bool>{} << 14;
}

void tst_startup::flagParameters()
{
    QFETCH(QVariant, p12);
    QFETCH(QVariant, p13);
    QFETCH(QVariant, p14);
    QFETCH(bool, starts);
    QFETCH(QList<bool>, flags);
    QFETCH(int, failing);
    QHash<int, QVariant> params = demoParams();
    params.remove(12);
    params.remove(13);
    params.remove(14);
    if (p12.isValid())
        params.insert(12, p12);
    if (p13.isValid())
        params.insert(13, p13);
    if (p14.isValid())
        params.insert(14, p14);
    prepareDatabase(params);

    Startup startup(m_env, m_setter);
    QCOMPARE(startup.Main(config()), starts);
    if (starts) {
        const SystemParameters &p = startup.station().params;
        QCOMPARE((QList<bool>{p.BiologicalClockReport, p.OutCheck, p.TechPrint}), flags);
        QVERIFY(m_sink.boxes.isEmpty());
        return;
    }
    QCOMPARE(m_sink.boxes.size(), 1);
    QCOMPARE(m_sink.lastTitle(), QStringLiteral("错误-13"));
    QCOMPARE(m_sink.boxes.first().spec.icon, MsgIcon::Warning);
    QVERIFY(m_sink.lastText().startsWith(QStringLiteral("类型不匹配")));
    QVERIFY(m_sink.lastText().contains(QString::number(failing)));
    QVERIFY(!startup.mainWindow());
}

void tst_startup::clockWithinToleranceIsNotSet()
{
    prepareDatabase(demoParams());
    Startup startup(m_env, m_setter);
    m_clock.set(QDateTime::currentDateTime().addSecs(1));
    QVERIFY(startup.Main(config()));
    QVERIFY(m_setter.calls.isEmpty());
}

void tst_startup::clockOutsideTolerance_data()
{
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<qint64>("offset");
    QTest::newRow("set, behind") << false << qint64(-3600);
    QTest::newRow("set, a day ahead") << false << qint64(86400);
    QTest::newRow("refused") << true << qint64(-600);
}

void tst_startup::clockOutsideTolerance()
{
    QFETCH(bool, refuse);
    QFETCH(qint64, offset);
    prepareDatabase(demoParams());
    m_setter.refuse = refuse;
    Startup startup(m_env, m_setter);
    m_clock.set(QDateTime::currentDateTime().addSecs(offset));
    const QDateTime before = QDateTime::currentDateTime();
    QCOMPARE(startup.Main(config()), !refuse);
    QCOMPARE(m_setter.calls.size(), 1);
    // Set to the server's time (the same machine here), to the second.
    QVERIFY(qAbs(m_setter.calls.first().secsTo(before)) <= 2);
    if (refuse) {
        QCOMPARE(m_sink.lastTitle(), QStringLiteral("错误-70"));
        QVERIFY(!startup.mainWindow());
    } else {
        QVERIFY(m_sink.boxes.isEmpty());
    }
}

void tst_startup::refusedDatabases_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::newRow("not initialised") << QStringLiteral("empty") << QStringLiteral("错误-10007");
    QTest::newRow("newer program's") << QStringLiteral("newer") << QStringLiteral("错误-10006");
    QTest::newRow("bad spec") << QStringLiteral("badspec") << QStringLiteral("错误-10009");
}

void tst_startup::refusedDatabases()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    AppConfig c = config();
    if (kind == u"empty") {
        Database db(DbConfig::parse(m_dbPath));
        db.exec(QStringLiteral("CREATE TABLE unrelated(x INTEGER)"));
    } else if (kind == u"newer") {
        prepareDatabase(demoParams());
        Database db(DbConfig::parse(m_dbPath));
        db.exec(QStringLiteral("INSERT INTO schema_version(version, description) SELECT max(version) + 1, 'future' FROM schema_version"));
    } else {
        c.databaseSpec = QStringLiteral("postgresql://");
    }
    Startup startup(m_env, m_setter);
    QVERIFY(!startup.Main(c));
    QCOMPARE(m_sink.boxes.size(), 1);
    QCOMPARE(m_sink.lastTitle(), title);
    QVERIFY(m_setter.calls.isEmpty());
    QVERIFY(!startup.mainWindow());
    if (kind == u"newer") {
        // Refused untouched: the version is still the newer one.
        Database db(DbConfig::parse(m_dbPath));
        QCOMPARE(db.schemaVersion(), Database::programSchemaVersion() + 1);
    }
}

void tst_startup::unknownOperatorStopsStartUp()
{
    prepareDatabase(demoParams());
    AppConfig c = config();
    c.operatorCode = QStringLiteral("zz");
    Startup startup(m_env, m_setter);
    QVERIFY(!startup.Main(c));
    QCOMPARE(m_sink.boxes.size(), 1);
    QVERIFY(m_sink.lastTitle().startsWith(QStringLiteral("错误-")));
    QVERIFY(m_setter.calls.isEmpty()); // stopped before the clock
    QVERIFY(!startup.mainWindow());
}

void tst_startup::failureAfterWindowKeepsIt()
{
    prepareDatabase(demoParams());
    Startup startup(m_env, m_setter);
    startup.checkInStation = [](mdiMain &, StationContext &) {
        throw AppError(91, QStringLiteral("对象变量或 With 块变量未设置"));
    };
    QVERIFY(startup.Main(config()));
    QCOMPARE(m_sink.lastTitle(), QStringLiteral("错误-91"));
    QVERIFY(startup.mainWindow()->isVisible());
}

void tst_startup::systemSettingsOpensOverDatabase()
{
    prepareDatabase(demoParams());
    Startup startup(m_env, m_setter);
    QVERIFY(startup.Main(config()));
    QString password;
    bool modal = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<frmSysParam *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        modal = dialog->isModal();
        password = dialog->findChild<QLineEdit *>(QStringLiteral("txtExitPassword"))->text();
        auto *before = dialog->findChild<QLineEdit *>(QStringLiteral("txtBeforeMinute"));
        before->setText(QStringLiteral("15"));
        test::child<QPushButton>(dialog, QStringLiteral("cmdSave"))->click();
        test::child<QPushButton>(dialog, QStringLiteral("cmdClose"))->click();
    });
    startup.mainWindow()->menuAction(QStringLiteral("m4"))->trigger();
    QVERIFY(modal);
    QCOMPARE(password, QStringLiteral("8888"));
    QCOMPARE(m_sink.lastText(), QStringLiteral("系统参数保存完毕!"));
    Database db(DbConfig::parse(m_dbPath));
    QCOMPARE(db.scalar(QStringLiteral("SELECT param_value FROM sys_params WHERE param_index = 11")).toDouble(), 15.0);
    // The running station keeps what it read at start-up.
    QCOMPARE(startup.station().params.BeforeMinute, QStringLiteral("30"));
}

void tst_startup::buildContext_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("context");
    QTest::newRow("0") << 0 << QStringLiteral("[wg][440100001][440101][0]");
    QTest::newRow("negative, unpadded") << -7 << QStringLiteral("[wg][440100001][440101][-7]");
    QTest::newRow("largest") << 32767 << QStringLiteral("[wg][440100001][440101][32767]");
}

void tst_startup::buildContext()
{
    QFETCH(int, flag);
    QFETCH(QString, context);
    QCOMPARE(BuildContext(QStringLiteral("wg"), QStringLiteral("440100001"), QStringLiteral("440101"), qint16(flag)),
             context);
}

void tst_startup::configErrors_data()
{
    QTest::addColumn<QString>("ini");
    QTest::addColumn<QString>("setting"); // named in the message
    const QString good = QStringLiteral("[session]\noperator=wg\nstation=440100001\nunit=440101\ncode=CGS\n"
                                        "[database]\nspec=/tmp/x.sqlite\n");
    QTest::newRow("operator missing")
        << QStringLiteral("[session]\nstation=440100001\nunit=440101\ncode=CGS\n[database]\nspec=/tmp/x.sqlite\n")
        << QStringLiteral("[session] operator");
    QTest::newRow("operator upper case") << QString(good).replace(QStringLiteral("operator=wg"), QStringLiteral("operator=WG"))
                                         << QStringLiteral("[session] operator");
    QTest::newRow("station eight digits")
        << QString(good).replace(QStringLiteral("440100001"), QStringLiteral("44010000"))
        << QStringLiteral("[session] station");
    QTest::newRow("unit letters") << QString(good).replace(QStringLiteral("unit=440101"), QStringLiteral("unit=44010a"))
                                  << QStringLiteral("[session] unit");
    QTest::newRow("code four letters") << QString(good).replace(QStringLiteral("code=CGS"), QStringLiteral("code=CGSX"))
                                       << QStringLiteral("[session] code");
    QTest::newRow("flag not a number") << good + QStringLiteral("[session]\nflag=x\n") << QStringLiteral("[session] flag");
    QTest::newRow("database missing")
        << QStringLiteral("[session]\noperator=wg\nstation=440100001\nunit=440101\ncode=CGS\n")
        << QStringLiteral("[database] spec");
    QTest::newRow("tolerance negative") << good + QStringLiteral("[clock]\ntolerance_seconds=-1\n")
                                        << QStringLiteral("[clock] tolerance_seconds");
    QTest::newRow("hidden menus not a flag") << good + QStringLiteral("[ui]\nshow_hidden_menus=maybe\n")
                                             << QStringLiteral("[ui] show_hidden_menus");
    QTest::newRow("unknown reader") << good + QStringLiteral("[fingerprint]\nreader=usb\n")
                                    << QStringLiteral("[fingerprint] reader");
}

void tst_startup::configErrors()
{
    QFETCH(QString, ini);
    QFETCH(QString, setting);
    static int n = 0;
    const QString path = writeIni(QStringLiteral("bad%1.ini").arg(++n), ini);
    CommandLine cl;
    cl.configFile = path;
    try {
        LoadConfig(cl);
        QFAIL("accepted");
    } catch (const AppError &e) {
        QVERIFY2(e.description().contains(setting), qPrintable(e.description()));
        QVERIFY2(e.description().contains(path), qPrintable(e.description()));
    }
}

void tst_startup::configDefaultsAndOverride()
{
    const QString system = writeIni(QStringLiteral("system.ini"),
                                    QStringLiteral("[session]\noperator=wg\nstation=440100001\nunit=440101\ncode=CGS\n"
                                                   "[database]\nspec=/var/lib/coachgate/station.sqlite\n"
                                                   "[ui]\nshow_hidden_menus=true\n"));
    const QString user = writeIni(QStringLiteral("user.ini"),
                                  QStringLiteral("[session]\noperator=ls\n[clock]\ntolerance_seconds=30\n"
                                                 "[paths]\ndata=/opt/cg/data\n"));
    const AppConfig c = LoadConfig(QStringList{system, user, m_dir.filePath(QStringLiteral("absent.ini"))});
    QCOMPARE(c.operatorCode, QStringLiteral("ls"));
    QCOMPARE(c.stationCode, QStringLiteral("440100001"));
    QCOMPARE(c.flag, 0);
    QCOMPARE(c.clockToleranceSeconds, 30);
    QCOMPARE(c.showHiddenMenus, true);
    QCOMPARE(c.dataDir, QStringLiteral("/opt/cg/data"));
    QCOMPARE(c.databaseSpec, QStringLiteral("/var/lib/coachgate/station.sqlite"));
    QVERIFY(!c.layoutFile.isEmpty());
    QCOMPARE(c.files, (QStringList{system, user}));

    // A file named on the command line must exist; --database wins.
    CommandLine cl;
    cl.configFile = system;
    cl.databaseSpec = QStringLiteral("host=db port=5432 dbname=station user=cg");
    QCOMPARE(LoadConfig(cl).databaseSpec, cl.databaseSpec);
    cl.configFile = m_dir.filePath(QStringLiteral("absent.ini"));
    QVERIFY_THROWS_EXCEPTION(AppError, LoadConfig(cl));
}

void tst_startup::stationOtherThanOperatorsRefused()
{
    prepareDatabase(demoParams());
    AppConfig c = config();
    c.stationCode = QStringLiteral("440300001"); // the operator wg works at 440100001
    c.files = {QStringLiteral("/etc/xdg/coachgate/coachgate.ini")};
    Startup startup(m_env, m_setter);
    QVERIFY(!startup.Main(c));
    QVERIFY(!startup.mainWindow());
    QCOMPARE(m_sink.boxes.size(), 1);
    const QString text = m_sink.lastText();
    QVERIFY2(text.contains(QStringLiteral("440300001")) && text.contains(QStringLiteral("440100001"))
                 && text.contains(QStringLiteral("[session] station")),
             qPrintable(text));
    QVERIFY(m_setter.calls.isEmpty()); // refused before anything else
}

void tst_startup::oneStationCodeForEventsAndSubscriptions()
{
    prepareDatabase(demoParams());
    Startup startup(m_env, m_setter);
    QVERIFY(startup.Main(config()));
    const StationContext &s = startup.station();
    QCOMPARE(s.stationCode(), QStringLiteral("440100001"));
    QCOMPARE(s.stationCode(), s.session->GetStationCode());
}

void tst_startup::processReportsStartupFailures_data()
{
    QTest::addColumn<QString>("ini"); // "" = no such file
    QTest::addColumn<QString>("said");
    QTest::newRow("configuration file missing") << QString() << QStringLiteral("找不到配置文件");
    QTest::newRow("station not the operator's")
        << QStringLiteral("[session]\noperator=wg\nstation=440300001\nunit=440101\ncode=CGS\n[database]\nspec=%1\n")
        << QStringLiteral("440300001");
    QTest::newRow("database unusable")
        << QStringLiteral("[session]\noperator=wg\nstation=440100001\nunit=440101\ncode=CGS\n[database]\nspec=%1.none/x/y\n")
        << QStringLiteral("错误-");
}

void tst_startup::processReportsStartupFailures()
{
    QFETCH(QString, ini);
    QFETCH(QString, said);
    prepareDatabase(demoParams());
    static int n = 0;
    const QString path = ini.isEmpty() ? m_dir.filePath(QStringLiteral("absent.ini"))
                                       : writeIni(QStringLiteral("process%1.ini").arg(++n), ini.arg(m_dbPath));
    // Without a display: the reason goes to standard error, the process ends
    // with a non-zero code and never waits on a box nobody can close.
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString state = m_dir.filePath(QStringLiteral("state%1").arg(n));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), state);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CG_WORKSTATION_BINARY), {QStringLiteral("--config"), path});
    QVERIFY(process.waitForStarted());
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        QFAIL("the workstation waited for someone to close a box");
    }
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("coachgate: 错误-")) && err.contains(said), qPrintable(err));
    // The workstation's log has the start and the failure.
    QFile log(state + QStringLiteral("/coachgate/coachgate.log"));
    QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(log.fileName()));
    const QString logged = QString::fromUtf8(log.readAll());
    QVERIFY2(logged.contains(QStringLiteral(" I coachgate: start-up: coachgate ")), qPrintable(logged));
    QVERIFY2(logged.contains(QStringLiteral(" C coachgate: start-up failed: 错误-")) && logged.contains(said),
             qPrintable(logged));
}

void tst_startup::qtDialogsSpeakChinese()
{
    QVERIFY2(InstallQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Chinese, QLocale::China)),
             "qtbase_zh_CN.qm missing: install qt6-translations-l10n (scripts/setup)");
    QMessageBox box(QMessageBox::Question, QStringLiteral("注意"), QStringLiteral("是否进入触摸屏？"),
                    QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(box.button(QMessageBox::Yes)->text().contains(QStringLiteral("是")),
             qPrintable(box.button(QMessageBox::Yes)->text()));
    QVERIFY2(box.button(QMessageBox::No)->text().contains(QStringLiteral("否")),
             qPrintable(box.button(QMessageBox::No)->text()));
}

void tst_startup::entriesLightUpWithTheirForms_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("form");
    // The entries whose screens live in the later libraries: each is enabled
    // once its library registers the form, and opens that form.
    QTest::newRow("车辆管理") << QStringLiteral("m5") << QStringLiteral("frmVehicleMain");
    QTest::newRow("驾驶员管理") << QStringLiteral("m6") << QStringLiteral("frmDriverMain");
    QTest::newRow("驾驶员报班信息") << QStringLiteral("m13") << QStringLiteral("frmDriverBus");
    QTest::newRow("强制信息查询") << QStringLiteral("m14") << QStringLiteral("frmBusForeInfo");
    QTest::newRow("系统报表") << QStringLiteral("mnu_Report") << QStringLiteral("frmReportCheck");
    QTest::newRow("驾驶员车辆排班") << QStringLiteral("m11") << QStringLiteral("frmArrangeVehicleMain");
    QTest::newRow("滚动车次车辆排班") << QStringLiteral("m15") << QStringLiteral("frmScrollBus");
    QTest::newRow("回场报班") << QStringLiteral("mnu_return") << QStringLiteral("frmReturnCheck");
}

void tst_startup::entriesLightUpWithTheirForms()
{
    QFETCH(QString, entry);
    QFETCH(QString, form);
    StationContext station;
    station.showHiddenMenus = true; // the scheduling entries are hidden otherwise
    Env env = m_env;
    NullStatusSink status;
    env.status = &status;
    // The real libraries register every form; the entry is enabled.
    {
        mdiMain w(env, station);
        RegisterScreens(w, env, station);
        QVERIFY(w.menuAction(entry));
        QVERIFY2(w.menuAction(entry)->isEnabled(), qPrintable(entry));
    }
    // The entry opens the form registered under its name (a stand-in here:
    // no database behind this station).
    mdiMain w(env, station);
    RegisterScreens(w, env, station, FingerReaderKind::None, [&form](FormRegistry &registry) {
        registry.add(form, [form](QWidget *parent) -> QWidget * {
            auto *screen = new QWidget(parent);
            screen->setObjectName(form);
            return screen;
        });
    });
    QVERIFY(w.menuAction(entry)->isEnabled());
    w.show();
    w.menuAction(entry)->trigger();
    QMdiSubWindow *sub = w.mdiArea()->activeSubWindow();
    QVERIFY(sub);
    QCOMPARE(sub->widget()->objectName(), form);
    if (entry == u"m5") // 车辆管理 lists every kind of vehicle
        QCOMPARE(sub->widget()->property("m_szType").toString(), QStringLiteral("9"));
    w.close();
}

void tst_startup::readerFollowsConfiguration_data()
{
    QTest::addColumn<bool>("simulated");
    QTest::newRow("reader=none") << false;
    QTest::newRow("reader=simulated") << true;
}

void tst_startup::readerFollowsConfiguration()
{
    QFETCH(bool, simulated);
    prepareDatabase(demoParams());
    const QString ini = writeIni(QStringLiteral("reader%1.ini").arg(simulated),
                                 QStringLiteral("[session]\noperator=wg\nstation=440100001\nunit=440101\ncode=CGS\n"
                                                "[database]\nspec=%1\n[fingerprint]\nreader=%2\n")
                                     .arg(m_dbPath, simulated ? QStringLiteral("simulated") : QStringLiteral("none")));
    CommandLine cl;
    cl.configFile = ini;
    const AppConfig c = LoadConfig(cl);
    QCOMPARE(c.fingerReader, simulated ? FingerReaderKind::Simulated : FingerReaderKind::None);

    Startup startup(m_env, m_setter);
    startup.checkInStation = CheckInStation(m_env);
    bool simulatorShown = false;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        for (QWidget *tl : QApplication::topLevelWidgets())
            if (tl->objectName() == u"frmFingerprintSimulator" && tl->isVisible())
                simulatorShown = true;
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->objectName() == u"frmDriverVerify" && (simulatorShown || !simulated))
            modal->close();
    });
    closer.start(100);
    QVERIFY(startup.Main(c));
    closer.stop();
    QCOMPARE(simulatorShown, simulated);
    // Without a reader the station says that none is connected.
    const bool saidNoReader = std::any_of(m_sink.boxes.cbegin(), m_sink.boxes.cend(), [](const auto &b) {
        return b.spec.text == QStringLiteral("没连接指纹仪！") && b.spec.title == QStringLiteral("信息提示");
    });
    QCOMPARE(saidNoReader, !simulated);
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *tl : windows)
        tl->close();
}

void tst_startup::commandLine()
{
    const CommandLine cl = ParseCommandLine({QStringLiteral("coachgate"), QStringLiteral("--config"),
                                             QStringLiteral("/tmp/a.ini"), QStringLiteral("--database=/tmp/b.sqlite")});
    QCOMPARE(cl.configFile, QStringLiteral("/tmp/a.ini"));
    QCOMPARE(cl.databaseSpec, QStringLiteral("/tmp/b.sqlite"));
    QVERIFY_THROWS_EXCEPTION(AppError, ParseCommandLine({QStringLiteral("coachgate"), QStringLiteral("--bogus")}));
    QVERIFY_THROWS_EXCEPTION(AppError, ParseCommandLine({QStringLiteral("coachgate"), QStringLiteral("extra")}));
}

QTEST_MAIN(tst_startup)
void tst_startup::checkInStationAndScreensPlugIn()
{
    prepareDatabase(demoParams());
    Startup startup(m_env, m_setter);
    startup.checkInStation = CheckInStation(m_env);
    // The check-in station runs modally: note it and leave it as the exit
    // password would.
    QString shownModal;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            shownModal = modal->objectName();
            modal->close();
        }
    });
    closer.start(50);
    QVERIFY(startup.Main(config()));
    QCOMPARE(shownModal, QStringLiteral("frmDriverVerify"));

    // Menu entries open the station screens as child windows, once each.
    mdiMain *w = startup.mainWindow();
    const QStringList menus = {QStringLiteral("mnu_check_exit"), QStringLiteral("mnu_center"),
                               QStringLiteral("mnu_check_cond"), QStringLiteral("m7"), QStringLiteral("mnu_return")};
    for (const QString &m : menus) {
        w->menuAction(m)->trigger();
        w->menuAction(m)->trigger();
    }
    QStringList children;
    for (QMdiSubWindow *sub : w->mdiArea()->subWindowList())
        children << sub->widget()->objectName();
    children.sort();
    QCOMPARE(children, (QStringList{QStringLiteral("frmBaseDefine"), QStringLiteral("frmEnvBusDesk"),
                                    QStringLiteral("frmOutCheck"), QStringLiteral("frmReturnCheck"),
                                    QStringLiteral("frmTechCheck")}));

    // A screen opens another subsystem's modal form by name.
    shownModal.clear();
    const QVariantMap result = startup.station().openForm(
        w, QStringLiteral("frmTeckCheckList"),
        {{QStringLiteral("m_szLicense"), QStringLiteral("粤A00001")},
         {QStringLiteral("m_szParentForm"), QStringLiteral("frmOutCheck")}});
    QCOMPARE(shownModal, QStringLiteral("frmTeckCheckList"));
    QCOMPARE(result.value(QStringLiteral("m_szLicense")).toString(), QStringLiteral("粤A00001"));
    QVERIFY(startup.station().openForm(w, QStringLiteral("frmNoSuchForm"), {}).isEmpty());
    QVERIFY(startup.station().hasForm(QStringLiteral("frmTeckCheckList")));
    QVERIFY(startup.station().hasForm(QStringLiteral("frmCheckPass")));
    QVERIFY(!startup.station().hasForm(QStringLiteral("frmNoSuchForm")));
    closer.stop();
    // The reader's window stays up for the station; close everything.
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *tl : windows)
        tl->close();
}

#include "tst_startup.moc"
