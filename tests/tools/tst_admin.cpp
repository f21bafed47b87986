// coachgate-admin: usage, init/check over the schema's life, the demo station.

#include "../services/dbtestenv.h"

#include "services/database.h"
#include "tools/admin.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

struct Run {
    int rc = -1;
    QString out;
    QString err;
};

Run admin(const QStringList &args)
{
    Run r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.rc = runAdmin(QStringList{u"coachgate-admin"_s} + args, out, err);
    out.flush();
    err.flush();
    return r;
}

} // namespace

class TstAdmin : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void usage_data();
    void usage();
    void lifecycle_data() { test::TestDatabase::addBackendRows(); }
    void lifecycle();
    void checkDoesNotCreateFiles();
    void specFromConfigFile();
    void seedDemo_data() { test::TestDatabase::addBackendRows(); }
    void seedDemo();
};

void TstAdmin::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("rc");
    QTest::newRow("no command") << QStringList{u"--database"_s, u"/tmp/x.db"_s} << 2;
    QTest::newRow("unknown command") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"drop"_s} << 2;
    QTest::newRow("two commands") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"init"_s, u"check"_s} << 2;
    QTest::newRow("bad date") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"--date"_s, u"2013-13-01"_s,
                                             u"seed-demo"_s}
                              << 2;
    QTest::newRow("unknown option") << QStringList{u"--colour"_s, u"init"_s} << 2;
    QTest::newRow("no database") << QStringList{u"--config"_s, u"/nonexistent/coachgate.ini"_s, u"init"_s} << 2;
    QTest::newRow("bad spec") << QStringList{u"--database"_s, u"dbname=x user=y password=z"_s, u"init"_s} << 1;
}

void TstAdmin::usage()
{
    QFETCH(QStringList, args);
    const Run r = admin(args);
    QTEST(r.rc, "rc");
    QVERIFY(!r.err.isEmpty());
}

void TstAdmin::lifecycle()
{
    QFETCH(QString, backend);
    test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    const QStringList db = {u"--database"_s, env.spec()};
    {
        Database empty(env.config()); // an existing, empty database
        empty.scalar(u"SELECT 1"_s);
    }

    Run r = admin(db + QStringList{u"check"_s});
    QCOMPARE(r.rc, 3);
    QVERIFY2(r.err.contains(u"coachgate-admin init"_s), qPrintable(r.err));

    r = admin(db + QStringList{u"init"_s});
    QCOMPARE(r.rc, 0);
    QVERIFY2(r.out.contains(u"已创建"_s), qPrintable(r.out));
    QCOMPARE(admin(db + QStringList{u"check"_s}).rc, 0);
    r = admin(db + QStringList{u"init"_s});
    QCOMPARE(r.rc, 0);
    QVERIFY2(r.out.contains(u"无需改动"_s), qPrintable(r.out));

    // A database of a newer program: both commands refuse and leave it.
    const int program = Database::programSchemaVersion();
    {
        Database d(env.config());
        d.exec(u"INSERT INTO schema_version (version, description) VALUES (?, 'newer')"_s, {program + 1});
    }
    for (const QString &cmd : {u"init"_s, u"check"_s}) {
        r = admin(db + QStringList{cmd});
        QCOMPARE(r.rc, 3);
        QVERIFY2(r.err.contains(QString::number(program + 1)), qPrintable(r.err));
    }
    Database d(env.config());
    QCOMPARE(d.schemaVersion(), program + 1);
}

void TstAdmin::checkDoesNotCreateFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"typo.sqlite"_s);
    const Run r = admin({u"--database"_s, path, u"check"_s});
    QCOMPARE(r.rc, 1);
    QVERIFY(r.err.contains(u"typo.sqlite"_s));
    QVERIFY(!QFile::exists(path));
}

void TstAdmin::specFromConfigFile()
{
    QTemporaryDir dir;
    const QString dbPath = dir.filePath(u"station.sqlite"_s);
    const QString ini = dir.filePath(u"coachgate.ini"_s);
    QFile f(ini);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[database]\nspec=" + dbPath.toUtf8() + "\n");
    f.close();
    const Run r = admin({u"--config"_s, ini, u"init"_s});
    QCOMPARE(r.rc, 0);
    QVERIFY(r.out.contains(ini));
    QVERIFY(QFile::exists(dbPath));
}

void TstAdmin::seedDemo()
{
    QFETCH(QString, backend);
    test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    // A past day: every trip has left and carries its recorded checks.
    const QStringList past = {u"--database"_s, env.spec(), u"--date"_s, u"2013-12-17"_s, u"seed-demo"_s};
    Run r = admin(past);
    QCOMPARE(r.rc, 0);
    Database db(env.config());
    db.requireCurrentSchema(); // seed-demo creates the schema itself

    const QString op = QString::fromUtf16(demo::OperatorCode);
    QCOMPARE(db.scalar(u"SELECT station_code FROM operators WHERE operator_code = ?"_s, {op}).toString(),
             QString::fromUtf16(demo::StationCode));
    QCOMPARE(db.scalar(u"SELECT param_value FROM sys_params WHERE param_index = 2"_s).toString(),
             QString::fromUtf16(demo::ExitPassword));
    // Start-up reads 12..14 as flags: they must be set.
    QCOMPARE(db.scalar(u"SELECT count(*) FROM sys_params WHERE param_index BETWEEN 1 AND 15"_s).toInt(), 15);

    const QDate day(2013, 12, 17);
    const int trips = db.scalar(u"SELECT count(*) FROM trips WHERE bus_date = ?"_s, {day}).toInt();
    QVERIFY(trips > 0);
    // Every trip's vehicle exists, every driver can be identified.
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips t LEFT JOIN vehicles v ON v.license_id = t.license_id "
                       u"WHERE v.license_id IS NULL"_s).toInt(), 0);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM drivers WHERE fng_value IS NULL OR fng_value = '' "
                       u"OR fng_value1 IS NULL OR fng_value1 = ''"_s).toInt(), 0);
    // A trip shown as checked in has its check-ins, and departed ones their departure.
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips t WHERE t.driver_verify_status = 1 AND NOT EXISTS "
                       u"(SELECT 1 FROM driver_checkins c WHERE c.bus_date = t.bus_date AND c.bus_id = t.bus_id "
                       u"AND c.is_driver = 1)"_s).toInt(), 0);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips t WHERE t.out_status = 1 AND NOT EXISTS "
                       u"(SELECT 1 FROM departures d WHERE d.bus_date = t.bus_date AND d.bus_id = t.bus_id)"_s)
                 .toInt(), 0);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips WHERE out_status = 1"_s).toInt(), trips);

    // Running again changes nothing; another day adds only its trips.
    const auto count = [&](const QString &table) {
        return db.scalar(u"SELECT count(*) FROM "_s + table).toInt();
    };
    const int drivers = count(u"drivers"_s), checkins = count(u"driver_checkins"_s);
    r = admin(past);
    QCOMPARE(r.rc, 0);
    QCOMPARE(count(u"trips"_s), trips);
    QCOMPARE(count(u"driver_checkins"_s), checkins);
    QCOMPARE(count(u"drivers"_s), drivers);

    r = admin({u"--database"_s, env.spec(), u"--date"_s, u"2099-01-02"_s, u"seed-demo"_s});
    QCOMPARE(r.rc, 0);
    QCOMPARE(count(u"trips"_s), 2 * trips);
    QCOMPARE(count(u"drivers"_s), drivers);
    // Nothing of a future day has happened yet.
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips WHERE bus_date = ? AND (out_status <> 0 OR scheme_status <> 0)"_s,
                       {QDate(2099, 1, 2)}).toInt(), 0);
}

QTEST_GUILESS_MAIN(TstAdmin)
#include "tst_admin.moc"
