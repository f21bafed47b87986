// coachgate-admin server-setup: its usage, the pg_hba.conf block, and on the
// test cluster the two roles and the database it makes, run twice; the
// station's services run as the workstation role, which can do nothing
// else; its password never shows.

#include "../services/dbtestenv.h"
#include "adminrun.h"

#include "core/clock.h"
#include "core/files.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/database/schema.h"
#include "tools/admin.h"
#include "tools/serversetup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

using test::admin;

QString writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(content);
    return path;
}

using test::catchError;

int counter = 0;

// A station set up on the test cluster under names of its own, removed
// again with its block of the cluster's pg_hba.conf.
class Station {
public:
    Station()
    {
        const QString admin = test::TestDatabase::pgAdminSpec();
        if (admin.isEmpty()) {
            if (qEnvironmentVariableIsSet("CG_REQUIRE_PG"))
                QTest::qFail("CG_REQUIRE_PG is set but CG_TEST_PG is empty", __FILE__, __LINE__);
            m_skip = u"no PostgreSQL test cluster (CG_TEST_PG)"_s;
            return;
        }
        m_admin = std::make_unique<Database>(DbConfig::parse(admin));
        if (m_admin->scalar(u"SHOW ssl"_s).toString() != u"on"_s) {
            m_skip = u"the test cluster has no TLS (scripts/pg-test-cluster starts it with a certificate)"_s;
            return;
        }
        const QString dataDir = m_admin->scalar(u"SHOW data_directory"_s).toString();
        const auto absolute = [&](const QString &p) { return QDir(dataDir).absoluteFilePath(p); };
        cert = absolute(m_admin->scalar(u"SHOW ssl_cert_file"_s).toString());
        key = absolute(m_admin->scalar(u"SHOW ssl_key_file"_s).toString());
        hba = m_admin->scalar(u"SHOW hba_file"_s).toString();
        port = m_admin->scalar(u"SHOW port"_s).toInt();
        const QString tag = u"%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++counter);
        database = u"cgss_"_s + tag;
        owner = u"cgss_owner_"_s + tag;
        workstation = u"cgss_desk_"_s + tag;
        password = u"Desk-pass-%1-xyzzy"_s.arg(tag);
        passwordFile = writeFile(dir.filePath(u"desk-password"_s), password.toUtf8() + "\n");
        deskPassFile = writeFile(dir.filePath(u"pgpass"_s), password.toUtf8() + "\n");
    }
    ~Station()
    {
        if (!m_admin || database.isEmpty())
            return;
        try {
            m_admin->exec(u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(database));
            for (const QString &role : {workstation, owner, workstation + u"_x"_s})
                m_admin->exec(u"DROP ROLE IF EXISTS %1"_s.arg(role));
            QByteArray text;
            if (ReadFileBytes(hba, text)) {
                const QString begin = u"# coachgate: station database %1 "_s.arg(database);
                const QString end = u"# } coachgate: station database %1"_s.arg(database);
                QStringList kept;
                bool inside = false;
                for (const QString &line : QString::fromUtf8(text).split(u'\n')) {
                    if (line.startsWith(begin))
                        inside = true;
                    else if (!inside)
                        kept << line;
                    if (line == end)
                        inside = false;
                }
                const QFileInfo original(hba);
                const QFile::Permissions mode = original.permissions();
                const uint uid = original.ownerId(), gid = original.groupId();
                WriteFileBytes(hba, kept.join(u'\n').toUtf8());
                QFile::setPermissions(hba, mode);
                if (::chown(QFile::encodeName(hba).constData(), uid, gid) != 0)
                    qWarning("could not give %s back to its owner", qPrintable(hba));
                m_admin->scalar(u"SELECT pg_reload_conf()"_s);
            }
        } catch (const std::exception &e) {
            qWarning("could not remove the test station: %s", e.what());
        }
    }
    bool available() const { return m_skip.isEmpty(); }
    QString skipReason() const { return m_skip; }
    Database &server() { return *m_admin; }

    // The superuser over TLS: once the block is loaded, the station database
    // refuses plain connections over the network, the superuser's too (on a
    // station's server the administrator comes in through the local socket).
    static QString adminSpec()
    {
        QString spec = test::TestDatabase::pgAdminSpec();
        static const QRegularExpression mode(u"sslmode=\\S+"_s);
        spec.remove(mode);
        return spec + u" sslmode=require"_s;
    }
    QStringList args(const QStringList &extra = {}) const
    {
        return QStringList{u"--database"_s, adminSpec(), u"server-setup"_s,
                           u"--station-db"_s, database, u"--owner"_s, owner, u"--workstation-role"_s, workstation,
                           u"--network"_s, u"127.0.0.1/32"_s, u"--ssl-cert"_s, cert, u"--ssl-key"_s, key,
                           u"--listen"_s, u"127.0.0.1"_s, u"--server-name"_s, u"localhost"_s,
                           u"--password-file"_s, passwordFile}
            + extra;
    }
    // The superuser on the station database.
    DbConfig adminConfig() const
    {
        DbConfig c = DbConfig::parse(adminSpec());
        c.database = database;
        return c;
    }
    // The workstation's setting, as server-setup prints it for a desk.
    QString deskSpec(const QString &host = u"localhost"_s) const
    {
        return u"host=%1 port=%2 dbname=%3 user=%4 sslmode=verify-full sslrootcert=%5 passfile=%6"_s.arg(
            host, QString::number(port), database, workstation, cert, deskPassFile);
    }
    // Reloads the server's settings and waits until the desk gets in.
    bool reloadAndConnect(Database &desk)
    {
        m_admin->scalar(u"SELECT pg_reload_conf()"_s);
        for (int i = 0; i < 50; ++i) {
            try {
                desk.scalar(u"SELECT 1"_s);
                return true;
            } catch (const ServiceError &e) {
                lastError = e.description();
                QThread::msleep(100);
            }
        }
        return false;
    }

    QTemporaryDir dir;
    QString database, owner, workstation, password, passwordFile, deskPassFile;
    QString cert, key, hba, lastError;
    int port = 0;

private:
    QString m_skip;
    std::unique_ptr<Database> m_admin;
};

#define CG_STATION(var)                                                                                       \
    Station var;                                                                                              \
    if (!var.available())                                                                                     \
        QSKIP(qPrintable(var.skipReason()));

} // namespace

class TstServerSetup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void usage_data();
    void usage();
    void hbaBlock_data();
    void hbaBlock();
    void passwordRules_data();
    void passwordRules();
    void schemaTablesAreTheMigratedOnes();

    void setUpTwiceKeepsWhatExists();
    void everyTableIsGranted();
    void workstationRoleRunsTheStation();
    void workstationRoleIsRefused_data();
    void workstationRoleIsRefused();
    void unsafeExistingRolesAreRefused_data();
    void unsafeExistingRolesAreRefused();
    void passwordNeverShows();
    void printOnlyChangesNoServerFile();
};

void TstServerSetup::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("rc");
    QTest::addColumn<QString>("mentions");
    const QStringList pg = {u"--database"_s, u"host=127.0.0.1 port=1 dbname=postgres user=postgres sslmode=disable"_s,
                            u"server-setup"_s};
    const QStringList net = {u"--network"_s, u"10.0.0.0/24"_s};
    QTest::newRow("no network") << pg << 2 << u"--network"_s;
    QTest::newRow("not a network") << pg + QStringList{u"--network"_s, u"10.0.0.0/33"_s} << 2 << u"10.0.0.0/33"_s;
    QTest::newRow("an address, no prefix") << pg + QStringList{u"--network"_s, u"10.0.0.7"_s} << 2 << u"10.0.0.7"_s;
    QTest::newRow("one role for both") << pg + net + QStringList{u"--owner"_s, u"cg"_s, u"--workstation-role"_s, u"cg"_s}
                                       << 2 << u"--owner"_s;
    QTest::newRow("role name with a quote")
        << pg + net + QStringList{u"--workstation-role"_s, u"desk\";drop"_s} << 2 << u"--workstation-role"_s;
    QTest::newRow("server's own role") << pg + net + QStringList{u"--owner"_s, u"postgres"_s} << 2 << u"postgres"_s;
    QTest::newRow("relative certificate") << pg + net + QStringList{u"--ssl-cert"_s, u"server.crt"_s} << 2
                                          << u"--ssl-cert"_s;
    // There is no way to give a password on the command line.
    QTest::newRow("password option") << pg + net + QStringList{u"--password"_s, u"Sekrit-on-argv-1"_s} << 2
                                     << u"password"_s;
    QTest::newRow("seed option") << pg + net + QStringList{u"--days"_s, u"3"_s} << 2 << u"--days"_s;
    QTest::newRow("its option elsewhere") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"init"_s} + net << 2
                                          << u"--network"_s;
    QTest::newRow("SQLite") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"server-setup"_s} + net << 2
                            << u"PostgreSQL"_s;
    QTest::newRow("server refuses the connection") << pg + net << 1 << u"无法连接数据库"_s;
}

void TstServerSetup::usage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mentions);
    const test::AdminRun r = admin(args);
    QTEST(r.rc, "rc");
    QVERIFY2(r.err.contains(mentions), qPrintable(r.err));
    QVERIFY(!r.err.contains(u"Sekrit"_s) && !r.out.contains(u"Sekrit"_s));
    QVERIFY(!r.out.contains(u"设置完成"_s));
}

void TstServerSetup::hbaBlock_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    const QString block = u"# coachgate: station database st (coachgate-admin server-setup) {\n"
                          u"hostssl st desk 10.0.0.0/24 scram-sha-256\n"
                          u"# } coachgate: station database st\n"_s;
    QTest::newRow("before the first rule, after the heading")
        << u"# heading\n\nlocal all postgres peer\nhost all all 0.0.0.0/0 md5\n"_s
        << u"# heading\n\n"_s + block + u"\nlocal all postgres peer\nhost all all 0.0.0.0/0 md5\n"_s;
    QTest::newRow("a file without a last line end") << u"local all all peer"_s
                                                    << block + u"\nlocal all all peer\n"_s;
    QTest::newRow("an empty file") << QString() << block;
    QTest::newRow("the old block replaced in place")
        << u"local all all peer\n# coachgate: station database st (coachgate-admin server-setup) {\n"
           u"hostssl st desk 192.168.0.0/16 scram-sha-256\n# } coachgate: station database st\nhost all all ::1/128 md5\n"_s
        << u"local all all peer\n"_s + block + u"host all all ::1/128 md5\n"_s;
    QTest::newRow("another station's block kept")
        << u"# coachgate: station database other (coachgate-admin server-setup) {\nhostssl other d 1.2.3.0/24 "
           u"scram-sha-256\n# } coachgate: station database other\nlocal all all peer\n"_s
        << u"# coachgate: station database other (coachgate-admin server-setup) {\nhostssl other d 1.2.3.0/24 "
           u"scram-sha-256\n# } coachgate: station database other\n"_s + block + u"\nlocal all all peer\n"_s;
}

void TstServerSetup::hbaBlock()
{
    QFETCH(QString, before);
    const QStringList lines{u"hostssl st desk 10.0.0.0/24 scram-sha-256"_s};
    const QString merged = serversetup::mergeHbaBlock(before, u"st"_s, lines);
    QTEST(merged, "after");
    QCOMPARE(serversetup::mergeHbaBlock(merged, u"st"_s, lines), merged); // a second run changes nothing
}

void TstServerSetup::passwordRules_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("long, mixed") << u"Gate-Desk-2026!"_s << true;
    QTest::newRow("too short") << u"short-pw1"_s << false;
    QTest::newRow("a space") << u"two words here!"_s << false;
    QTest::newRow("a colon, which pgpass would split") << u"pass:word:long1"_s << false;
    QTest::newRow("a backslash") << u"pass\\word\\long1"_s << false;
    QTest::newRow("Chinese") << u"车站密码车站密码车站密码"_s << false;
    QTest::newRow("a control character") << u"password\tlong1"_s << false;
}

void TstServerSetup::passwordRules()
{
    QFETCH(QString, password);
    const QString problem = serversetup::checkPassword(password);
    QTEST(problem.isEmpty(), "accepted");
    QVERIFY(!problem.contains(password));
    // The verifier carries a fresh salt each time and never the password.
    const QString v = serversetup::scramVerifier(password);
    QVERIFY(QRegularExpression(u"^SCRAM-SHA-256\\$4096:[A-Za-z0-9+/=]{24}\\$[A-Za-z0-9+/=]{44}:[A-Za-z0-9+/=]{44}$"_s)
                .match(v).hasMatch());
    QVERIFY(v != serversetup::scramVerifier(password));
    QVERIFY(!v.contains(password));
}

// The grants are made from schema::tables(): it must name exactly the tables
// the migrations leave, or a new table would go without grants.
void TstServerSetup::schemaTablesAreTheMigratedOnes()
{
    test::TestDatabase env(u"sqlite"_s);
    Database db(env.config());
    db.migrate();
    const RecordSet rs = db.select(u"SELECT name FROM sqlite_master WHERE type = 'table' "
                                   u"AND name NOT LIKE 'sqlite_%' ORDER BY name"_s);
    QStringList created;
    for (int r = 0; r < rs.RecordCount(); ++r)
        created << rs.valueAt(r, u"name"_s).toString();
    QStringList listed = schema::tables();
    listed.sort();
    QCOMPARE(listed, created);
}

void TstServerSetup::setUpTwiceKeepsWhatExists()
{
    CG_STATION(st);
    test::AdminRun r = admin(st.args());
    QVERIFY2(r.rc == 0, qPrintable(r.err + r.out));
    QVERIFY(r.out.contains(u"设置完成"_s));

    Database &server = st.server();
    const RecordSet roles = server.select(
        u"SELECT rolname, rolsuper, rolcreatedb, rolcreaterole, rolreplication, rolbypassrls, rolcanlogin, "
        u"rolpassword FROM pg_authid WHERE rolname IN (?, ?) ORDER BY rolname = ?"_s,
        {st.owner, st.workstation, st.workstation},
        {{u"rolsuper"_s, FieldType::Bool}, {u"rolcreatedb"_s, FieldType::Bool}, {u"rolcreaterole"_s, FieldType::Bool},
         {u"rolreplication"_s, FieldType::Bool}, {u"rolbypassrls"_s, FieldType::Bool},
         {u"rolcanlogin"_s, FieldType::Bool}});
    QCOMPARE(roles.RecordCount(), 2);
    for (int r = 0; r < 2; ++r)
        for (const QString &right : {u"rolsuper"_s, u"rolcreatedb"_s, u"rolcreaterole"_s, u"rolreplication"_s,
                                     u"rolbypassrls"_s})
            QVERIFY2(!roles.valueAt(r, right).toBool(), qPrintable(right));
    QCOMPARE(roles.valueAt(0, u"rolcanlogin"_s).toBool(), false); // the owner never logs in
    QCOMPARE(roles.valueAt(1, u"rolcanlogin"_s).toBool(), true);
    const QString verifier = roles.valueAt(1, u"rolpassword"_s).toString();
    QVERIFY2(verifier.startsWith(u"SCRAM-SHA-256$4096:"_s), qPrintable(verifier));
    QCOMPARE(server.scalar(u"SELECT pg_get_userbyid(datdba) || ' ' || pg_encoding_to_char(encoding) "
                           u"FROM pg_database WHERE datname = ?"_s, {st.database}).toString(),
             st.owner + u" UTF8"_s);

    Database station(st.adminConfig());
    QCOMPARE(station.schemaVersion(), Database::programSchemaVersion());
    QCOMPARE(station.scalar(u"SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                            u"WHERE n.nspname = 'public' AND pg_get_userbyid(c.relowner) <> ?"_s, {st.owner}).toInt(),
             0);
    QCOMPARE(station.scalar(u"SELECT pg_get_userbyid(nspowner) FROM pg_namespace WHERE nspname = 'public'"_s)
                 .toString(), st.owner);

    // The pg_hba.conf block, once; the settings; the desk's lines.
    QByteArray hba;
    QVERIFY(ReadFileBytes(st.hba, hba));
    QCOMPARE(hba.count(QString(u"hostssl    %1  %2  127.0.0.1/32  scram-sha-256"_s.arg(st.database, st.workstation))
                           .toUtf8()), 1);
    QCOMPARE(hba.count(QString(u"hostnossl  %1  all  all  reject"_s.arg(st.database)).toUtf8()), 1);
    QCOMPARE(server.scalar(u"SELECT count(*) FROM pg_hba_file_rules WHERE error IS NOT NULL"_s).toInt(), 0);
    for (const auto &[name, value] : {std::pair{u"ssl"_s, u"on"_s}, std::pair{u"ssl_cert_file"_s, st.cert},
                                      std::pair{u"ssl_key_file"_s, st.key},
                                      std::pair{u"password_encryption"_s, u"scram-sha-256"_s}})
        QVERIFY2(server.scalar(u"SELECT count(*) FROM pg_file_settings WHERE sourcefile LIKE '%/postgresql.auto.conf' "
                               u"AND name = ? AND setting = ?"_s, {name, value}).toInt() == 1,
                 qPrintable(name));
    QVERIFY2(r.out.contains(u"spec="_s + st.deskSpec().replace(st.cert, u"/etc/coachgate/station-ca.pem"_s)
                                              .replace(st.deskPassFile, u"/etc/coachgate/pgpass"_s)),
             qPrintable(r.out));
    QVERIFY(r.out.contains(u"localhost:%1:%2:%3:<密码>"_s.arg(st.port).arg(st.database, st.workstation)));

    // Again, with another password: everything is kept, the password too.
    writeFile(st.passwordFile, "Another-long-password-2\n");
    r = admin(st.args());
    QVERIFY2(r.rc == 0, qPrintable(r.err + r.out));
    QVERIFY2(r.out.contains(u"角色 %1 已存在"_s.arg(st.workstation)), qPrintable(r.out));
    QVERIFY(r.out.contains(u"数据库 %1 已存在"_s.arg(st.database)));
    QVERIFY(r.out.contains(u"未改动"_s));
    QCOMPARE(server.scalar(u"SELECT rolpassword FROM pg_authid WHERE rolname = ?"_s, {st.workstation}).toString(),
             verifier);
    QVERIFY(ReadFileBytes(st.hba, hba));
    QCOMPARE(hba.count(QString(u"station database %1 (coachgate-admin"_s.arg(st.database)).toUtf8()), 1);
    QCOMPARE(station.schemaVersion(), Database::programSchemaVersion());
}

void TstServerSetup::everyTableIsGranted()
{
    CG_STATION(st);
    const test::AdminRun r = admin(st.args());
    QVERIFY2(r.rc == 0, qPrintable(r.err + r.out));
    Database station(st.adminConfig());
    const RecordSet tables = station.select(u"SELECT tablename FROM pg_tables WHERE schemaname = 'public'"_s);
    QVERIFY(tables.RecordCount() > 20);
    const QString version = QString::fromUtf16(schema::versionTable);
    for (int i = 0; i < tables.RecordCount(); ++i) {
        const QString t = tables.valueAt(i, u"tablename"_s).toString();
        const auto has = [&](const QString &right) {
            return station.scalar(u"SELECT has_table_privilege(?, ?, ?)"_s, {st.workstation, u"public."_s + t, right})
                .toBool();
        };
        QVERIFY2(has(u"SELECT"_s), qPrintable(t));
        for (const QString &right : {u"INSERT"_s, u"UPDATE"_s, u"DELETE"_s})
            QVERIFY2(has(right) == (t != version), qPrintable(t + u' ' + right));
        for (const QString &right : {u"TRUNCATE"_s, u"REFERENCES"_s, u"TRIGGER"_s})
            QVERIFY2(!has(right), qPrintable(t + u' ' + right));
    }
    // A table a later step adds is granted by the next run, which is how an
    // upgrade is made.
    station.exec(u"SET ROLE %1"_s.arg(st.owner));
    station.exec(u"CREATE TABLE extra_log (id INTEGER)"_s);
    station.exec(u"RESET ROLE"_s);
    QCOMPARE(station.scalar(u"SELECT has_table_privilege(?, 'public.extra_log', 'SELECT')"_s, {st.workstation}).toBool(),
             false);
}

void TstServerSetup::workstationRoleRunsTheStation()
{
    CG_STATION(st);
    const test::AdminRun r = admin(st.args());
    QVERIFY2(r.rc == 0, qPrintable(r.err + r.out));
    const QDate day(2099, 1, 2);
    {
        Database owner(st.adminConfig());
        seedDemoStation(owner, day);
    }
    Database desk(DbConfig::parse(st.deskSpec()));
    QVERIFY2(st.reloadAndConnect(desk), qPrintable(st.lastError));
    QCOMPARE(desk.scalar(u"SELECT current_user"_s).toString(), st.workstation);
    QCOMPARE(desk.scalar(u"SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"_s).toBool(), true);
    desk.requireCurrentSchema();

    const RecordSet trip = desk.select(
        u"SELECT t.bus_id, t.route_id, t.license_tag_no, t.bus_start_time, a.driver_id FROM trips t "
        u"JOIN arrangements a ON a.license_id = t.license_id AND a.start_date <= t.bus_date AND a.end_date >= t.bus_date "
        u"WHERE t.bus_date = ? ORDER BY t.bus_start_time, t.bus_id LIMIT 1"_s,
        {day}, {{u"bus_start_time"_s, FieldType::DateTime}});
    QCOMPARE(trip.RecordCount(), 1);
    const QString busId = trip.valueAt(0, u"bus_id"_s).toString();
    const QString plate = trip.valueAt(0, u"license_tag_no"_s).toString();
    const QDateTime start = trip.valueAt(0, u"bus_start_time"_s).toDateTime();
    const QDateTime busDate(day, QTime(0, 0));
    const QString ctx = u"[%1][%2][%3][0]"_s.arg(QString::fromUtf16(demo::OperatorCode),
                                                  QString::fromUtf16(demo::StationCode),
                                                  QString::fromUtf16(demo::UnitCode));

    // The notifier listens on its own connection as the desk; the writers
    // take the advisory lock and notify.
    CheckNotifier notifier(desk);
    QVERIFY(notifier.Subscribe(QString::fromUtf16(demo::StationCode)));
    QSignalSpy checkedIn(&notifier, &CheckNotifier::DriverCheck);
    QSignalSpy inspected(&notifier, &CheckNotifier::TechCheck);
    QSignalSpy departed(&notifier, &CheckNotifier::SchemeExCheck);

    ManualClock clock(start.addSecs(-30 * 60));
    CheckService checks(desk, clock);
    QCOMPARE(checks.CheckInDriver(ctx, busId, busDate, trip.valueAt(0, u"driver_id"_s).toString(), clock.now(),
                                  u"报班员"_s, trip.valueAt(0, u"route_id"_s).toString()),
             QString());
    QCOMPARE(checks.AddConditionCheckResult(ctx, plate, clock.now(), true, u"例检员"_s, QString()), QString());
    QVERIFY(checks.IssueRouteSheet(ctx, busDate, busId, plate, clock.now(), 1, u"调度员"_s,
                                   QString::fromUtf16(demo::UnitCode)));
    clock.set(start.addSecs(-5 * 60));
    QCOMPARE(checks.SetDepartureStatus(ctx, busDate, busId, plate, u"门检员"_s,
                                       clock.now().toString(u"yyyy-MM-dd HH:mm:ss"_s), {}, {}, 1, QString(), u"30"_s,
                                       QString::fromUtf16(demo::UnitCode), true),
             busId); // the trip that left
    QTRY_VERIFY(checkedIn.count() >= 1);
    QTRY_VERIFY(inspected.count() >= 1);
    QTRY_VERIFY(departed.count() >= 1);
    QCOMPARE(desk.scalar(u"SELECT out_status FROM trips WHERE bus_date = ? AND bus_id = ?"_s, {day, busId}).toInt(), 1);
    // The outbox's retention runs as the desk too.
    QCOMPARE(admin({u"--database"_s, st.deskSpec(), u"--keep-days"_s, u"0"_s, u"prune-events"_s}).rc, 0);

    // A schema the program would upgrade: the desk cannot, and says where it
    // is done. (The last step's version record is hidden for this; the
    // upgrade itself, as the owner, is the first run's, and runs every step.)
    const int latest = Database::programSchemaVersion();
    QVariantList hidden;
    {
        Database server(st.adminConfig());
        const RecordSet row = server.select(u"SELECT description FROM schema_version WHERE version = ?"_s, {latest});
        QCOMPARE(row.RecordCount(), 1);
        hidden = {latest, row.valueAt(0, u"description"_s)};
        server.exec(u"DELETE FROM schema_version WHERE version = ?"_s, {latest});
    }
    test::AdminRun init = admin({u"--database"_s, st.deskSpec(), u"init"_s});
    QCOMPARE(init.rc, 1);
    QVERIFY2(init.err.contains(u"server-setup"_s), qPrintable(init.err));
    {
        Database server(st.adminConfig());
        server.exec(u"INSERT INTO schema_version (version, description) VALUES (?, ?)"_s, hidden);
    }
    init = admin(st.args());
    QVERIFY2(init.rc == 0, qPrintable(init.err + init.out));
    QCOMPARE(admin({u"--database"_s, st.deskSpec(), u"check"_s}).rc, 0);
}

void TstServerSetup::workstationRoleIsRefused_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("create a table") << u"CREATE TABLE mine (id INTEGER)"_s;
    QTest::newRow("create a temporary table") << u"CREATE TEMP TABLE mine (id INTEGER)"_s;
    QTest::newRow("drop a table") << u"DROP TABLE trips"_s;
    QTest::newRow("alter a table") << u"ALTER TABLE trips ADD COLUMN note TEXT"_s;
    QTest::newRow("create an index") << u"CREATE INDEX mine ON trips (bus_id)"_s;
    QTest::newRow("empty a table") << u"TRUNCATE check_events"_s;
    QTest::newRow("create a schema") << u"CREATE SCHEMA mine"_s;
    QTest::newRow("create a function") << u"CREATE FUNCTION mine() RETURNS int AS 'SELECT 1' LANGUAGE sql"_s;
    QTest::newRow("create a role") << u"CREATE ROLE mine"_s;
    QTest::newRow("create a database") << u"CREATE DATABASE mine"_s;
    QTest::newRow("become the owner") << u"SET ROLE %owner%"_s;
    QTest::newRow("write the schema version") << u"INSERT INTO schema_version (version, description) VALUES (99, 'x')"_s;
    QTest::newRow("read a table outside the grants") << u"SELECT * FROM owners_notes"_s;
    QTest::newRow("read the password hashes") << u"SELECT rolpassword FROM pg_authid"_s;
    QTest::newRow("change the server") << u"ALTER SYSTEM SET ssl = off"_s;
}

void TstServerSetup::workstationRoleIsRefused()
{
    CG_STATION(st);
    QFETCH(QString, sql);
    const test::AdminRun r = admin(st.args());
    QVERIFY2(r.rc == 0, qPrintable(r.err + r.out));
    {
        Database owner(st.adminConfig());
        owner.exec(u"SET ROLE %1"_s.arg(st.owner));
        owner.exec(u"CREATE TABLE owners_notes (note TEXT)"_s);
    }
    Database desk(DbConfig::parse(st.deskSpec()));
    QVERIFY2(st.reloadAndConnect(desk), qPrintable(st.lastError));
    const ServiceError e = catchError([&] { desk.exec(QString(sql).replace(u"%owner%"_s, st.owner)); });
    QVERIFY2(e.number() != 0, qPrintable(sql));
    QVERIFY2(e.description().contains(u"permission denied"_s) || e.description().contains(u"must be"_s),
             qPrintable(e.description()));
    QCOMPARE(desk.scalar(u"SELECT rolsuper OR rolcreaterole OR rolcreatedb FROM pg_roles WHERE rolname = current_user"_s)
                 .toBool(), false);
}

// What would leave the workstation with more than its share is refused
// before anything is made.
void TstServerSetup::unsafeExistingRolesAreRefused_data()
{
    QTest::addColumn<QString>("prepare"); // %ws% the workstation role, %owner% the owner
    QTest::addColumn<QString>("mentions");
    QTest::newRow("a superuser") << u"CREATE ROLE %ws% LOGIN SUPERUSER"_s << u"超级用户"_s;
    QTest::newRow("may create roles") << u"CREATE ROLE %ws% LOGIN CREATEROLE"_s << u"可建角色"_s;
    QTest::newRow("may create databases") << u"CREATE ROLE %ws% LOGIN CREATEDB"_s << u"可建数据库"_s;
    QTest::newRow("a member of the owner") << u"CREATE ROLE %owner% NOLOGIN; CREATE ROLE %ws% LOGIN IN ROLE %owner%"_s
                                           << u"成员"_s;
    QTest::newRow("a database of another owner") << u"CREATE ROLE %ws%_x; CREATE DATABASE %db% OWNER %ws%_x"_s
                                                 << u"已存在，属于角色"_s;
}

void TstServerSetup::unsafeExistingRolesAreRefused()
{
    CG_STATION(st);
    QFETCH(QString, prepare);
    QFETCH(QString, mentions);
    for (QString sql : prepare.split(u"; "_s))
        st.server().exec(sql.replace(u"%ws%"_s, st.workstation).replace(u"%owner%"_s, st.owner)
                             .replace(u"%db%"_s, st.database));
    const auto count = [&](const QString &sql) { return st.server().scalar(sql).toInt(); };
    const int roles = count(u"SELECT count(*) FROM pg_roles"_s);
    const int databases = count(u"SELECT count(*) FROM pg_database"_s);
    QByteArray hbaBefore, hbaAfter;
    QVERIFY(ReadFileBytes(st.hba, hbaBefore));
    const test::AdminRun r = admin(st.args());
    QCOMPARE(r.rc, 1);
    QVERIFY2(r.err.contains(mentions), qPrintable(r.err));
    QVERIFY(r.err.contains(u"未做任何改动"_s));
    QVERIFY(!r.out.contains(u"设置完成"_s));
    QCOMPARE(count(u"SELECT count(*) FROM pg_roles"_s), roles);
    QCOMPARE(count(u"SELECT count(*) FROM pg_database"_s), databases);
    QVERIFY(ReadFileBytes(st.hba, hbaAfter));
    QCOMPARE(hbaAfter, hbaBefore);
}

// Not in what the tool prints, not in its errors, not in the server's log of
// every statement; the server keeps only the scram verifier, and a bad
// password is refused before any role exists.
void TstServerSetup::passwordNeverShows()
{
    CG_STATION(st);
    const QString log = QDir(st.server().scalar(u"SHOW unix_socket_directories"_s).toString().section(u',', 0, 0))
                            .filePath(u"server.log"_s);
    qputenv("PGOPTIONS", "-c log_statement=all");
    const test::AdminRun bad = [&] {
        writeFile(st.passwordFile, "Short-pw1\n");
        return admin(st.args());
    }();
    writeFile(st.passwordFile, st.password.toUtf8() + "\n");
    const test::AdminRun good = admin(st.args());
    qunsetenv("PGOPTIONS");

    QCOMPARE(bad.rc, 1);
    QVERIFY2(bad.err.contains(u"密码太短"_s), qPrintable(bad.err));
    QVERIFY(!bad.err.contains(u"Short-pw1"_s) && !bad.out.contains(u"Short-pw1"_s));
    QVERIFY2(good.rc == 0, qPrintable(good.err + good.out));
    for (const QString &text : {good.out, good.err})
        QVERIFY(!text.contains(st.password));
    QByteArray serverLog;
    if (ReadFileBytes(log, serverLog)) {
        QVERIFY2(serverLog.contains("CREATE ROLE"), "the statements should be in the server's log");
        QVERIFY(!serverLog.contains(st.password.toUtf8()));
        QVERIFY(!serverLog.contains("Short-pw1"));
    } else {
        qWarning("the test cluster's log %s was not found: the log was not searched", qPrintable(log));
    }
    // The verifier stored is the one the desk's password signs in with.
    Database desk(DbConfig::parse(st.deskSpec()));
    QVERIFY2(st.reloadAndConnect(desk), qPrintable(st.lastError));
    writeFile(st.deskPassFile, "Wrong-password-123\n");
    Database wrong(DbConfig::parse(st.deskSpec()));
    const ServiceError e = catchError([&] { wrong.scalar(u"SELECT 1"_s); });
    QCOMPARE(e.number(), svcerr::Unreachable);
    QVERIFY(!e.description().contains(u"Wrong-password"_s));
}

void TstServerSetup::printOnlyChangesNoServerFile()
{
    CG_STATION(st);
    QByteArray hbaBefore, hbaAfter;
    QVERIFY(ReadFileBytes(st.hba, hbaBefore));
    const QString auto_ = QDir(st.server().scalar(u"SHOW data_directory"_s).toString())
                              .filePath(u"postgresql.auto.conf"_s);
    QByteArray autoBefore, autoAfter;
    ReadFileBytes(auto_, autoBefore);
    // The certificate need not be on this machine: nothing is written.
    const test::AdminRun r = admin(st.args({u"--print-only"_s, u"--ssl-cert"_s, u"/nowhere/station.pem"_s}));
    QVERIFY2(r.rc == 0, qPrintable(r.err + r.out));
    QVERIFY(ReadFileBytes(st.hba, hbaAfter));
    QCOMPARE(hbaAfter, hbaBefore);
    ReadFileBytes(auto_, autoAfter);
    QCOMPARE(autoAfter, autoBefore);
    QVERIFY(r.out.contains(u"hostssl    %1  %2  127.0.0.1/32  scram-sha-256"_s.arg(st.database, st.workstation)));
    QVERIFY(r.out.contains(u"ssl_cert_file = '/nowhere/station.pem'"_s));
    QVERIFY(r.out.contains(u"password_encryption = 'scram-sha-256'"_s));
    // The database and the roles are made all the same.
    Database station(st.adminConfig());
    QCOMPARE(station.schemaVersion(), Database::programSchemaVersion());
}

QTEST_MAIN(TstServerSetup)
#include "tst_serversetup.moc"
