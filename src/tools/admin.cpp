#include "admin.h"
#include "exitcodes.h"
#include "serversetup.h"

#include "services/checks/checknotifier.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <optional>

#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// [database] spec from the workstation's INI files, the later file winning.
QString specFromConfig(const QString &configFile, QString *source)
{
    QStringList files;
    if (!configFile.isEmpty()) {
        files << configFile;
    } else {
        for (const QString &dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
            files.prepend(QDir(dir).filePath(u"coachgate/coachgate.ini"_s));
        files.prepend(u"/etc/xdg/coachgate/coachgate.ini"_s);
    }
    QString spec;
    for (const QString &f : std::as_const(files)) {
        if (!QFileInfo::exists(f))
            continue;
        QSettings s(f, QSettings::IniFormat);
        const QString v = s.value(u"database/spec"_s).toString().trimmed();
        if (!v.isEmpty()) {
            spec = v;
            *source = f;
        }
    }
    return spec;
}

int cmdInit(Database &db, QTextStream &out)
{
    const int before = db.schemaVersion();
    try {
        db.migrate();
    } catch (const ServiceError &e) {
        // A station server's desks log in with a role that may not change
        // the tables; the owner's migrations run through server-setup.
        if (db.backend() == Backend::Postgres
            && (e.description().contains(u"permission denied"_s) || e.description().contains(u"must be owner"_s)))
            throw ServiceError(e.number(), e.description()
                                               + u"（此用户不能修改数据库结构：请在数据库服务器上用 "
                                                 u"“coachgate-admin server-setup”建立或升级，见 docs/DEPLOYMENT.md）"_s);
        throw;
    }
    const int after = db.schemaVersion();
    if (before == after)
        out << u"数据库已是最新结构（版本 %1），无需改动：%2\n"_s.arg(after).arg(db.config().describe());
    else if (before == 0)
        out << u"已创建数据库结构（版本 %1）：%2\n"_s.arg(after).arg(db.config().describe());
    else
        out << u"已把数据库结构从版本 %1 升级到 %2：%3\n"_s.arg(before).arg(after).arg(db.config().describe());
    return ExitOk;
}

int cmdCheck(Database &db, QTextStream &out, QTextStream &err)
{
    out << u"数据库：%1\n"_s.arg(db.config().describe());
    const int version = db.schemaVersion();
    out << u"结构版本：%1（本程序：%2）\n"_s.arg(version).arg(Database::programSchemaVersion());
    try {
        db.requireCurrentSchema();
    } catch (const ServiceError &e) {
        err << e.description() << u'\n';
        return ExitSchema;
    }
    if (db.backend() == Backend::Sqlite) {
        const RecordSet integrity = db.select(u"PRAGMA quick_check"_s);
        const QString verdict = integrity.isEmpty() ? QString() : integrity.row(0).value(0).toString();
        if (verdict != u"ok"_s) {
            err << u"数据库文件已损坏：%1\n"_s.arg(verdict);
            return ExitFailed;
        }
        const RecordSet orphans = db.select(u"PRAGMA foreign_key_check"_s);
        if (!orphans.isEmpty()) {
            err << u"有 %1 条记录引用了不存在的记录（第一条在表 %2）\n"_s.arg(orphans.RecordCount())
                       .arg(orphans.row(0).value(0).toString());
            return ExitFailed;
        }
    }
    const QVariant operators = db.scalar(u"SELECT count(*) FROM operators"_s);
    out << u"操作员：%1 名\n"_s.arg(operators.toInt());
    out << u"检查通过\n"_s;
    return ExitOk;
}

// A seed writes into a database that already holds data (rows counted by
// countSql) only with --force: made-up rows must never mix into a station's
// real data by accident. True, after the refusal on err, when it may not.
bool refusedWithoutForce(Database &db, bool force, const QString &countSql, const QString &refusal,
                         QTextStream &err)
{
    if (force || db.schemaVersion() == 0 || db.scalar(countSql).toInt() == 0)
        return false;
    err << refusal << u"\n"_s;
    return true;
}

int cmdSeedDemo(Database &db, const QDate &day, const QDateTime &now, const QString &station, bool force,
                QTextStream &out, QTextStream &err)
{
    if (refusedWithoutForce(db, force, u"SELECT (SELECT count(*) FROM operators) + (SELECT count(*) FROM trips)"_s,
                            u"数据库中已有数据，未写入任何内容；如确要写入或补充演示车站，请加 --force"_s, err))
        return ExitFailed;
    db.migrate();
    const DemoSeedResult r = seedDemoStation(db, day, now, station);
    out << (r.masterData ? u"已写入演示车站的基础资料\n"_s : u"演示车站的基础资料已存在，未改动\n"_s);
    if (r.trips > 0)
        out << u"已为车站 %1 加入 %2 的车次 %3 个\n"_s.arg(station, day.toString(u"yyyy-MM-dd"_s)).arg(r.trips);
    else
        out << u"车站 %1 %2 的车次已存在，未改动\n"_s.arg(station, day.toString(u"yyyy-MM-dd"_s));
    out << u"操作员 %1，车站 %2，单位 %3，退出密码 %4\n"_s.arg(
        QString::fromUtf16(demo::OperatorCode), QString::fromUtf16(demo::StationCode),
        QString::fromUtf16(demo::UnitCode), QString::fromUtf16(demo::ExitPassword));
    // The demo's operators belong to the demo station; a workstation of
    // another station signs in with an operator of its own.
    if (station != QString::fromUtf16(demo::StationCode))
        out << u"车站 %1 的工作站需要本站的操作员：请在 operators 中加入后再启动\n"_s.arg(station);
    return ExitOk;
}

// A whole positive number as typed: digits only, no sign, no spaces.
std::optional<qint64> countOf(const QString &text)
{
    static const QRegularExpression digits(u"^[0-9]{1,12}$"_s);
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return text.toLongLong();
}

int cmdSeedLarge(Database &db, const LargeSeedSize &size, const QDate &day, bool force, QTextStream &out,
                 QTextStream &err)
{
    if (refusedWithoutForce(db, force, u"SELECT (SELECT count(*) FROM drivers) + (SELECT count(*) FROM trips)"_s,
                            u"数据库中已有驾驶员或车次，未写入任何内容；如确要在其中加入大车站，请加 --force"_s, err))
        return ExitFailed;
    db.migrate();
    QElapsedTimer clock;
    clock.start();
    const LargeSeedResult r = seedLargeStation(db, size, day, err);
    out << u"已写入大车站：%1 天（%2 至 %3），每天 %4 个车次，驾驶员 %5 名，车辆 %6 辆，用时 %7 秒\n"_s
               .arg(size.days)
               .arg(day.addDays(1 - size.days).toString(u"yyyy-MM-dd"_s), day.toString(u"yyyy-MM-dd"_s))
               .arg(size.tripsPerDay)
               .arg(size.drivers)
               .arg(size.vehicles)
               .arg(clock.elapsed() / 1000.0, 0, 'f', 1);
    for (const auto &[table, rows] : r.rows)
        out << u"  %1 %2\n"_s.arg(table, -20).arg(rows);
    out << u"操作员 %1，车站 %2，单位 %3\n"_s.arg(QString::fromUtf16(demo::OperatorCode),
                                                QString::fromUtf16(demo::StationCode),
                                                QString::fromUtf16(demo::UnitCode));
    return ExitOk;
}

int cmdPruneEvents(Database &db, int keepDays, QTextStream &out)
{
    db.requireCurrentSchema();
    const QDateTime before = QDateTime(QDate::currentDate().addDays(-keepDays), QTime(0, 0));
    const int removed = CheckEvents::pruneOlderThan(db, before);
    out << u"已删除 %1 之前的检查通知 %2 条\n"_s.arg(before.toString(u"yyyy-MM-dd"_s)).arg(removed);
    return ExitOk;
}

} // namespace

QString askPasswordOnTerminal(const QString &prompt)
{
    if (!::isatty(STDIN_FILENO))
        return {};
    termios saved{};
    if (::tcgetattr(STDIN_FILENO, &saved) != 0)
        return {};
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    quiet.c_lflag |= ECHONL;
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0)
        return {};
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, stdin) != nullptr;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    QString password = read ? QString::fromLocal8Bit(line) : QString();
    std::memset(line, 0, sizeof line);
    while (password.endsWith(u'\n') || password.endsWith(u'\r'))
        password.chop(1);
    return password;
}

int runAdmin(const QStringList &arguments, QTextStream &out, QTextStream &err,
             const std::function<QString(const QString &)> &askPassword)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"coachgate 数据库管理：init 创建或升级数据库，check 检查数据库，"
                                     u"seed-demo 写入演示车站，seed-large 写入大车站（一年的历史）"_s);
    const QCommandLineOption database(u"database"_s, u"数据库（SQLite 文件或 PostgreSQL 连接串）"_s, u"spec"_s);
    const QCommandLineOption config(u"config"_s, u"从工作站配置文件读取数据库"_s, u"file"_s);
    const QCommandLineOption date(u"date"_s, u"seed-demo：车次日期；seed-large：最后一天（yyyy-MM-dd，默认今天）"_s,
                                  u"date"_s);
    const QCommandLineOption force(u"force"_s,
                                   u"seed-demo：数据库中已有数据时仍写入（只补充缺少的资料和当天车次）；"
                                   u"seed-large：数据库中已有数据时仍加入大车站"_s);
    const LargeSeedSize defaults;
    const QCommandLineOption days(u"days"_s, u"seed-large：天数（默认 %1）"_s.arg(defaults.days), u"N"_s);
    const QCommandLineOption tripsPerDay(u"trips-per-day"_s,
                                         u"seed-large：每天的车次（默认 %1）"_s.arg(defaults.tripsPerDay), u"N"_s);
    const QCommandLineOption drivers(u"drivers"_s, u"seed-large：驾驶员人数（默认 %1）"_s.arg(defaults.drivers),
                                     u"N"_s);
    const QCommandLineOption vehicles(u"vehicles"_s, u"seed-large：车辆数（默认 %1）"_s.arg(defaults.vehicles),
                                      u"N"_s);
    const QCommandLineOption stationOption(
        u"station"_s, u"seed-demo：车次和检查记录所属的车站编码（九位数字，默认演示车站 %1）"_s.arg(
                          QString::fromUtf16(demo::StationCode)),
        u"code"_s);
    const QCommandLineOption timeOption(
        u"time"_s, u"seed-demo：演示日的时刻，此前的检查和发车记为已发生（HH:mm，默认当前时刻）"_s, u"HH:mm"_s);
    const QCommandLineOption keepDays(u"keep-days"_s, u"prune-events：保留最近 N 天的检查通知（默认 30）"_s, u"N"_s);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}, u"显示帮助"_s);
    parser.addOption(force);
    parser.addOption(database);
    parser.addOption(config);
    parser.addOption(date);
    parser.addOption(help);
    for (const QCommandLineOption *o : {&days, &tripsPerDay, &drivers, &vehicles, &keepDays, &stationOption, &timeOption})
        parser.addOption(*o);
    const ServerSetupArguments serverSetup(parser);
    parser.addPositionalArgument(u"command"_s, u"init | check | seed-demo | seed-large | prune-events | server-setup"_s);

    if (!parser.parse(arguments)) {
        err << parser.errorText() << u'\n';
        return ExitUsage;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return ExitOk;
    }
    const QStringList pos = parser.positionalArguments();
    static const QStringList commands = {u"init"_s,       u"check"_s,        u"seed-demo"_s,
                                         u"seed-large"_s, u"prune-events"_s, u"server-setup"_s};
    if (pos.size() != 1 || !commands.contains(pos.first())) {
        err << u"用法：coachgate-admin [--database 数据库] init | check | seed-demo | seed-large | prune-events | "
               u"server-setup\n"_s;
        return ExitUsage;
    }
    const QString command = pos.first();

    if (command == u"server-setup"_s) {
        for (const QCommandLineOption *o : {&config, &date, &force, &days, &tripsPerDay, &drivers, &vehicles, &keepDays,
                                            &stationOption, &timeOption}) {
            if (parser.isSet(*o)) {
                err << u"--%1 不用于 server-setup\n"_s.arg(o->names().first());
                return ExitUsage;
            }
        }
        QString problem;
        std::optional<ServerSetupOptions> options = serverSetup.read(parser, &problem);
        if (!options) {
            err << problem << u'\n';
            return ExitUsage;
        }
        options->askPassword = askPassword;
        // The server's superuser over the local socket, as "sudo -u postgres" gives it.
        const QString admin = parser.isSet(database) ? parser.value(database) : u"dbname=postgres user=postgres"_s;
        return runServerSetup(admin, *options, out, err);
    }
    if (const QStringList stray = serverSetup.given(parser); !stray.isEmpty()) {
        err << u"%1 只用于 server-setup\n"_s.arg(stray.join(u", "_s));
        return ExitUsage;
    }

    // The sizes of seed-large, checked before any database is opened.
    LargeSeedSize size;
    const std::pair<const QCommandLineOption *, int *> sizes[] = {
        {&days, &size.days}, {&tripsPerDay, &size.tripsPerDay}, {&drivers, &size.drivers},
        {&vehicles, &size.vehicles}};
    for (const auto &[option, value] : sizes) {
        if (!parser.isSet(*option))
            continue;
        const QString name = u"--"_s + option->names().first();
        if (command != u"seed-large"_s) {
            err << u"%1 只用于 seed-large\n"_s.arg(name);
            return ExitUsage;
        }
        const std::optional<qint64> n = countOf(parser.value(*option));
        if (!n) {
            err << u"%1 的值“%2”不是正整数\n"_s.arg(name, parser.value(*option));
            return ExitUsage;
        }
        *value = int(qMin<qint64>(*n, std::numeric_limits<int>::max()));
    }
    int keep = 30;
    if (parser.isSet(keepDays)) {
        const std::optional<qint64> n = countOf(parser.value(keepDays));
        if (command != u"prune-events"_s) {
            err << u"--keep-days 只用于 prune-events\n"_s;
            return ExitUsage;
        }
        if (!n || *n > 36500) {
            err << u"--keep-days 的值“%1”不是 0 到 36500 的整数\n"_s.arg(parser.value(keepDays));
            return ExitUsage;
        }
        keep = int(*n);
    }
    QString station = QString::fromUtf16(demo::StationCode);
    if (parser.isSet(stationOption)) {
        static const QRegularExpression nineDigits(u"^[0-9]{9}$"_s);
        if (command != u"seed-demo"_s) {
            err << u"--station 只用于 seed-demo\n"_s;
            return ExitUsage;
        }
        station = parser.value(stationOption).trimmed();
        if (!nineDigits.match(station).hasMatch()) {
            err << u"--station 的值“%1”不是九位数字的车站编码\n"_s.arg(parser.value(stationOption));
            return ExitUsage;
        }
    }
    QTime seedTime; // none: the demo's events are recorded up to now
    if (parser.isSet(timeOption)) {
        if (command != u"seed-demo"_s) {
            err << u"--time 只用于 seed-demo\n"_s;
            return ExitUsage;
        }
        seedTime = QTime::fromString(parser.value(timeOption).trimmed(), u"HH:mm"_s);
        if (!seedTime.isValid()) {
            err << u"--time 的值“%1”不是有效的时刻，应为 HH:mm\n"_s.arg(parser.value(timeOption));
            return ExitUsage;
        }
    }
    if (command == u"seed-large"_s) {
        const QString problem = size.check();
        if (!problem.isEmpty()) {
            err << problem << u'\n';
            return ExitUsage;
        }
    }

    QDate day = QDate::currentDate();
    if (parser.isSet(date)) {
        day = QDate::fromString(parser.value(date), u"yyyy-MM-dd"_s);
        if (!day.isValid()) {
            err << u"日期“%1”无效，应为 yyyy-MM-dd\n"_s.arg(parser.value(date));
            return ExitUsage;
        }
    }

    QString spec = parser.value(database).trimmed();
    if (spec.isEmpty()) {
        QString source;
        spec = specFromConfig(parser.value(config), &source);
        if (spec.isEmpty()) {
            err << u"没有指定数据库：请用 --database 指定，或在配置文件的 [database] spec 中设置\n"_s;
            return ExitUsage;
        }
        out << u"使用配置文件 %1 中的数据库\n"_s.arg(QDir::toNativeSeparators(source));
    }

    try {
        const DbConfig cfg = DbConfig::parse(spec);
        // Only init and the seeds create a station database; a check or a
        // pruning of a mistyped path must not leave an empty file behind.
        if ((command == u"check"_s || command == u"prune-events"_s) && cfg.backend == Backend::Sqlite && !QFileInfo::exists(cfg.sqlitePath)) {
            err << u"数据库文件不存在：%1\n"_s.arg(QDir::toNativeSeparators(cfg.sqlitePath));
            return ExitFailed;
        }
        Database db(cfg);
        if (command == u"init"_s)
            return cmdInit(db, out);
        if (command == u"check"_s)
            return cmdCheck(db, out, err);
        if (command == u"prune-events"_s)
            return cmdPruneEvents(db, keep, out);
        if (command == u"seed-large"_s)
            return cmdSeedLarge(db, size, day, parser.isSet(force), out, err);
        const QDateTime seedNow = seedTime.isValid() ? QDateTime(day, seedTime) : QDateTime::currentDateTime();
        return cmdSeedDemo(db, day, seedNow, station, parser.isSet(force), out, err);
    } catch (const AppError &e) {
        err << u"错误 %1：%2\n"_s.arg(e.number()).arg(e.description());
        return e.number() == svcerr::SchemaTooNew ? ExitSchema : ExitFailed;
    }
}

} // namespace cg
