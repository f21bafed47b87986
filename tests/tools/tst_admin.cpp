// coachgate-admin: usage, init/check over the schema's life, the demo station.

#include "../services/dbtestenv.h"
#include "adminrun.h"

#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "core/clock.h"
#include "services/database/database.h"
#include "tools/admin.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

using Run = test::AdminRun;
using test::admin;

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
    void pruneEventsKeepsTheRecentOnes_data() { test::TestDatabase::addBackendRows(); }
    void pruneEventsKeepsTheRecentOnes();
    void seedDemoStationSize_data() { test::TestDatabase::addBackendRows(); }
    void seedDemoStationSize();
    void seedDemoSecondStation_data() { test::TestDatabase::addBackendRows(); }
    void seedDemoSecondStation();
    void seedDemoAtATimeOfDay_data() { test::TestDatabase::addBackendRows(); }
    void seedDemoAtATimeOfDay();
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
    QTest::newRow("keep-days not a number") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"--keep-days"_s,
                                                           u"a week"_s, u"prune-events"_s}
                                            << 2;
    QTest::newRow("keep-days negative") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"--keep-days"_s, u"-1"_s,
                                                       u"prune-events"_s}
                                        << 2;
    QTest::newRow("station not nine digits") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"--station"_s,
                                                            u"44020000"_s, u"seed-demo"_s}
                                             << 2;
    QTest::newRow("station with a quote") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"--station"_s,
                                                         u"44020000'"_s, u"seed-demo"_s}
                                          << 2;
    QTest::newRow("station elsewhere") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"--station"_s,
                                                      u"440200001"_s, u"seed-large"_s}
                                       << 2;
    QTest::newRow("time not a time") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"--time"_s, u"25:00"_s,
                                                    u"seed-demo"_s}
                                     << 2;
    QTest::newRow("time elsewhere") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"--time"_s, u"10:00"_s,
                                                   u"seed-large"_s}
                                    << 2;
    QTest::newRow("keep-days elsewhere") << QStringList{u"--database"_s, u"/tmp/x.db"_s, u"--keep-days"_s, u"30"_s,
                                                        u"init"_s}
                                         << 2;
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

    // Without --force a station that holds data is left alone.
    const QStringList pastForced = past + QStringList{u"--force"_s};
    r = admin(past);
    QCOMPARE(r.rc, 1);
    QVERIFY(r.err.contains(u"--force"_s));
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips"_s).toInt(), trips);

    // Running again changes nothing; another day adds only its trips.
    const auto count = [&](const QString &table) {
        return db.scalar(u"SELECT count(*) FROM "_s + table).toInt();
    };
    const int drivers = count(u"drivers"_s), checkins = count(u"driver_checkins"_s);
    r = admin(pastForced);
    QCOMPARE(r.rc, 0);
    QCOMPARE(count(u"trips"_s), trips);
    QCOMPARE(count(u"driver_checkins"_s), checkins);
    QCOMPARE(count(u"drivers"_s), drivers);

    r = admin({u"--database"_s, env.spec(), u"--date"_s, u"2099-01-02"_s, u"--force"_s, u"seed-demo"_s});
    QCOMPARE(r.rc, 0);
    QCOMPARE(count(u"trips"_s), 2 * trips);
    QCOMPARE(count(u"drivers"_s), drivers);
    // Nothing of a future day has happened yet.
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips WHERE bus_date = ? AND (out_status <> 0 OR scheme_status <> 0)"_s,
                       {QDate(2099, 1, 2)}).toInt(), 0);
}

void TstAdmin::seedDemoStationSize()
{
    QFETCH(QString, backend);
    test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    const Run r = admin({u"--database"_s, env.spec(), u"--date"_s, u"2013-12-17"_s, u"seed-demo"_s});
    QCOMPARE(r.rc, 0);
    Database db(env.config());
    const auto count = [&](const QString &sql) { return db.scalar(sql).toInt(); };
    const QDate day(2013, 12, 17);

    // Drivers: each with a stored photo (a PNG) and both fingers enrolled;
    // some are mobile drivers, all belong to the unit and a route.
    QVERIFY(count(u"SELECT count(*) FROM drivers"_s) >= 120);
    QCOMPARE(count(u"SELECT count(*) FROM drivers d LEFT JOIN pictures p ON p.id = d.photo_id "
                   u"WHERE d.photo_id = 0 OR p.id IS NULL"_s), 0);
    QCOMPARE(count(u"SELECT count(DISTINCT photo_id) FROM drivers"_s), count(u"SELECT count(*) FROM drivers"_s));
    const QByteArray photo = db.scalar(u"SELECT p.data FROM drivers d JOIN pictures p ON p.id = d.photo_id "
                                       u"WHERE d.driver_id = 'D0001'"_s).toByteArray();
    QVERIFY(photo.startsWith("\x89PNG"));
    QCOMPARE(count(u"SELECT count(*) FROM drivers WHERE fng_value IS NULL OR fng_value = '' "
                   u"OR fng_value1 IS NULL OR fng_value1 = '' OR fng_value = fng_value1"_s), 0);
    QVERIFY(count(u"SELECT count(*) FROM drivers WHERE drive_type = '机动'"_s) > 0);
    QCOMPARE(count(u"SELECT count(*) FROM drivers d LEFT JOIN routes r ON r.route_id = d.route_id "
                   u"WHERE r.route_id IS NULL OR d.unit_id IS NULL OR d.unit_id = ''"_s), 0);

    // Vehicles: ten-digit cards and 粤 plates, none twice; one to three drivers.
    QVERIFY(count(u"SELECT count(*) FROM vehicles WHERE length(ic_card_id) = 10"_s) >= 60);
    QCOMPARE(count(u"SELECT count(*) FROM vehicles WHERE ic_card_id <> '' AND length(ic_card_id) <> 10"_s), 0);
    QCOMPARE(count(u"SELECT count(DISTINCT ic_card_id) FROM vehicles WHERE ic_card_id <> ''"_s),
             count(u"SELECT count(*) FROM vehicles WHERE ic_card_id <> ''"_s));
    QCOMPARE(count(u"SELECT count(DISTINCT license) FROM vehicles"_s), count(u"SELECT count(*) FROM vehicles"_s));
    QCOMPARE(count(u"SELECT count(*) FROM vehicles WHERE length(license) <> 7 OR license NOT LIKE '粤%'"_s), 0);
    QCOMPARE(count(u"SELECT count(*) FROM vehicles v WHERE (SELECT count(*) FROM arrangements a "
                   u"WHERE a.license_id = v.license_id) NOT BETWEEN 1 AND 3"_s), 0);

    QCOMPARE(count(u"SELECT count(*) FROM check_gates"_s), 4);
    QVERIFY(count(u"SELECT count(*) FROM routes"_s) >= 8);
    QCOMPARE(count(u"SELECT count(*) FROM routes r WHERE (SELECT count(*) FROM route_stations s "
                   u"WHERE s.route_id = r.route_id) < 2"_s), 0);
    QVERIFY(count(u"SELECT count(*) FROM companies"_s) >= 3);

    // Trips: from 06:00 to 21:00 over every route and gate.
    const QDateTime first(day, QTime(6, 0)), last(day, QTime(21, 0));
    const int trips = db.scalar(u"SELECT count(*) FROM trips WHERE bus_date = ?"_s, {day}).toInt();
    QVERIFY(trips >= 200);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips WHERE bus_date = ? AND bus_start_time BETWEEN ? AND ?"_s,
                       {day, first, last}).toInt(), trips);
    QCOMPARE(count(u"SELECT count(DISTINCT check_gate_id) FROM trips"_s), 4);
    QCOMPARE(count(u"SELECT count(DISTINCT route_id) FROM trips"_s), count(u"SELECT count(*) FROM routes"_s));
    QCOMPARE(count(u"SELECT count(*) FROM trips WHERE sale_num > total_seat OR check_num > sale_num"_s), 0);
    // Only drivers arranged to the trip's vehicle on the day are checked in.
    QVERIFY(count(u"SELECT count(*) FROM driver_checkins"_s) > 0);
    QCOMPARE(count(u"SELECT count(*) FROM driver_checkins c JOIN trips t ON t.bus_date = c.bus_date "
                   u"AND t.bus_id = c.bus_id WHERE NOT EXISTS (SELECT 1 FROM arrangements a "
                   u"WHERE a.license_id = t.license_id AND a.driver_id = c.driver_run_id "
                   u"AND a.start_date <= t.bus_date AND a.end_date >= t.bus_date)"_s), 0);
    // A route sheet goes only to a vehicle that passed its condition check that day.
    QCOMPARE(test::sheetsWithoutPassedCheck(db), 0);
    QVERIFY(count(u"SELECT count(*) FROM condition_checks WHERE cond_status = 2"_s) > 0);
    QVERIFY(count(u"SELECT count(*) FROM luggage_counts"_s) > 0);

    // A day still to come: the trips are on sale, nothing has been checked.
    const QDate future(2099, 1, 2);
    QCOMPARE(admin({u"--database"_s, env.spec(), u"--date"_s, u"2099-01-02"_s, u"--force"_s, u"seed-demo"_s}).rc, 0);
    QVERIFY(db.scalar(u"SELECT count(*) FROM trips WHERE bus_date = ?"_s, {future}).toInt() >= 200);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips WHERE bus_date = ? AND (check_num <> 0 "
                       u"OR driver_verify_status = 1 OR scheme_status <> 0 OR out_status <> 0)"_s,
                       {future}).toInt(), 0);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM departures WHERE bus_date = ?"_s, {future}).toInt(), 0);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM condition_checks WHERE check_date = ?"_s, {future}).toInt(), 0);

    // Today, whatever the hour: nothing is recorded later than the seeding.
    const QDate today = QDate::currentDate();
    QCOMPARE(admin({u"--database"_s, env.spec(), u"--date"_s, today.toString(u"yyyy-MM-dd"_s), u"--force"_s,
                    u"seed-demo"_s}).rc,
             0);
    const QDateTime now = QDateTime::currentDateTime();
    const QString late = test::recordedAfter(db, today, now);
    QVERIFY2(late.isEmpty(), qPrintable(late));
}

// A GUI application: the demo's driver photos carry the driver's name.
// The outbox's retention: events older than --keep-days days go, newer ones
// and every check record stay, and a listener subscribed before the pruning
// still hears the next result.
void TstAdmin::pruneEventsKeepsTheRecentOnes()
{
    QFETCH(QString, backend);
    test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    const QStringList db = {u"--database"_s, env.spec()};
    QCOMPARE(admin(db + QStringList{u"init"_s}).rc, 0);
    Database d(env.config());
    const QString station = u"440100001"_s;
    const QDateTime day(QDate::currentDate(), QTime(0, 0));
    for (int i = 0; i < 4; ++i)
        CheckEvents::driverCheck(d, station, u"K%1"_s.arg(i), day, 1);
    // Ages: 40 days, 31 days, 29 days, now.
    const QList<int> ages{40, 31, 29};
    for (int i = 0; i < ages.size(); ++i)
        d.exec(u"UPDATE check_events SET created_at = ? WHERE bus_id = ?"_s,
               {QDateTime::currentDateTime().addDays(-ages[i]), u"K%1"_s.arg(i)});
    CheckNotifier listener(d);
    listener.Subscribe(station);
    QSignalSpy heard(&listener, &CheckNotifier::DriverCheck);

    const Run r = admin(db + QStringList{u"--keep-days"_s, u"30"_s, u"prune-events"_s});
    QCOMPARE(r.rc, 0);
    QVERIFY2(r.out.contains(u"2 条"_s), qPrintable(r.out));
    QCOMPARE(d.scalar(u"SELECT count(*) FROM check_events"_s).toInt(), 2);
    QVERIFY(!d.scalar(u"SELECT id FROM check_events WHERE bus_id = 'K2'"_s).isNull());

    CheckEvents::driverCheck(d, station, u"K9"_s, day, 2);
    QTRY_COMPARE(heard.count(), 1);
    QCOMPARE(heard.at(0).at(0).toString(), u"K9"_s);
}

// A second station seeded into the demo's database runs the same trip codes
// on the same day beside the first, on the same master data, and each
// station's session lists its own trips only.
void TstAdmin::seedDemoSecondStation()
{
    QFETCH(QString, backend);
    test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    const QStringList first = {u"--database"_s, env.spec(), u"--date"_s, u"2013-12-17"_s, u"seed-demo"_s};
    QCOMPARE(admin(first).rc, 0);
    const QStringList second = first + QStringList{u"--station"_s, u"440200001"_s};
    // Without --force a database with a station in it is left alone.
    QCOMPARE(admin(second).rc, 1);
    Database db(env.config());
    const int vehicles = db.scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt();
    const Run r = admin(second + QStringList{u"--force"_s});
    QCOMPARE(r.rc, 0);
    QVERIFY2(r.out.contains(u"440200001"_s), qUtf8Printable(r.out));
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), vehicles);
    const QDateTime day(QDate(2013, 12, 17), QTime(0, 0));
    const ManualClock clock(QDateTime(QDate(2013, 12, 17), QTime(23, 0)));
    CheckService checks(db, clock);
    const auto codes = [&](const QString &ctx) {
        QStringList out;
        RecordSet rs = checks.QueryDayTrips(ctx, day, QString(), QString(), QString(), QString(), {}, 1, QString());
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
            out << rs.value(u"bus_id"_s).toString();
        return out;
    };
    const QStringList a = codes(u"[wg][440100001][440100][0]"_s);
    const QStringList b = codes(u"[zh][440200001][440100][0]"_s);
    QCOMPARE(a.size(), 226);
    QCOMPARE(b, a);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM trips"_s).toInt(), 2 * 226);
    // Seeding the second station again adds nothing.
    QCOMPARE(admin(second + QStringList{u"--force"_s}).rc, 0);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM trips"_s).toInt(), 2 * 226);
}

// The demo's day as it stands at the given moment, whatever the hour of the
// run: before the first departure nothing has left, by evening most has.
void TstAdmin::seedDemoAtATimeOfDay()
{
    QFETCH(QString, backend);
    const auto departedAt = [&](const QString &time) {
        test::TestDatabase env(backend);
        if (!env.available())
            return -1;
        const Run r = admin({u"--database"_s, env.spec(), u"--date"_s, u"2099-01-02"_s, u"--time"_s, time,
                             u"seed-demo"_s});
        if (r.rc != 0)
            return -2;
        Database db(env.config());
        return db.scalar(u"SELECT count(*) FROM departures"_s).toInt();
    };
    const int early = departedAt(u"05:30"_s);
    if (early == -1)
        QSKIP("backend not available");
    QCOMPARE(early, 0);
    QVERIFY(departedAt(u"10:00"_s) > 0);
    QVERIFY(departedAt(u"21:30"_s) > departedAt(u"10:00"_s));
}

QTEST_MAIN(TstAdmin)
#include "tst_admin.moc"
