// coachgate-admin seed-large: a small station of the same shape as the large
// one, its counts and integrity, the refusals that leave a database alone,
// and the sizes it will not take.

#include "../services/dbtestenv.h"
#include "adminrun.h"

#include "core/clock.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "tools/admin.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

using Run = test::AdminRun;
using test::admin;

constexpr int Days = 3, TripsPerDay = 20, Drivers = 30, Vehicles = 15;
const QDate LastDay(2013, 12, 17);

QStringList smallSeed(const QString &spec)
{
    return {u"--database"_s, spec, u"--date"_s, LastDay.toString(Qt::ISODate), u"--days"_s, QString::number(Days),
            u"--trips-per-day"_s, QString::number(TripsPerDay), u"--drivers"_s, QString::number(Drivers),
            u"--vehicles"_s, QString::number(Vehicles), u"seed-large"_s};
}

const QStringList Tables = {
    u"operators"_s, u"code_items"_s, u"companies"_s, u"routes"_s, u"pictures"_s, u"drivers"_s, u"vehicles"_s,
    u"arrangements"_s, u"trips"_s, u"driver_checkins"_s, u"condition_checks"_s, u"route_sheet_issues"_s,
    u"departures"_s, u"forced_releases"_s,
};

QMap<QString, int> counts(Database &db)
{
    QMap<QString, int> n;
    for (const QString &t : Tables)
        n.insert(t, db.scalar(u"SELECT count(*) FROM "_s + t).toInt());
    return n;
}

} // namespace

class TstSeedLarge : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void badArguments_data();
    void badArguments();
    void smallStation_data();
    void smallStation();
    void refusals_data() { test::TestDatabase::addBackendRows(); }
    void refusals();
    void liveDay_data() { test::TestDatabase::addBackendRows(); }
    void liveDay();
    void listLampsFollowEachVehiclesHistory_data() { test::TestDatabase::addBackendRows(); }
    void listLampsFollowEachVehiclesHistory();
};

void TstSeedLarge::badArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("named"); // what the message names
    const auto row = [](const char *name, const QStringList &args, const QString &named) {
        QTest::newRow(name) << args << named;
    };
    row("letters", {u"--days"_s, u"abc"_s}, u"--days"_s);
    row("zero days", {u"--days"_s, u"0"_s}, u"--days"_s);
    row("negative days", {u"--days=-3"_s}, u"--days"_s);
    row("negative as next argument", {u"--vehicles"_s, u"-3"_s}, u"--vehicles"_s);
    row("plus sign", {u"--drivers"_s, u"+5"_s}, u"--drivers"_s);
    row("spaces", {u"--drivers"_s, u" 5"_s}, u"--drivers"_s);
    row("fraction", {u"--trips-per-day"_s, u"2.5"_s}, u"--trips-per-day"_s);
    row("exponent", {u"--drivers"_s, u"1e3"_s}, u"--drivers"_s);
    row("empty", {u"--vehicles"_s, u""_s}, u"--vehicles"_s);
    row("zero vehicles", {u"--vehicles"_s, u"0"_s}, u"--vehicles"_s);
    row("ten years and one day", {u"--days"_s, u"3661"_s}, u"--days"_s);
    row("beyond int", {u"--trips-per-day"_s, u"99999999999"_s}, u"--trips-per-day"_s);
    row("too many drivers", {u"--drivers"_s, u"100000"_s}, u"--drivers"_s);
    row("too many trips in all", {u"--days"_s, u"3000"_s, u"--trips-per-day"_s, u"20000"_s}, u"--trips-per-day"_s);
}

void TstSeedLarge::badArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QString, named);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"large.sqlite"_s);
    const Run r = admin(QStringList{u"--database"_s, path} + args + QStringList{u"seed-large"_s});
    QCOMPARE(r.rc, 2);
    QVERIFY2(r.err.contains(named), qPrintable(r.err));
    QVERIFY(!QFile::exists(path)); // refused before the database is opened

    // The sizes belong to seed-large only.
    const Run other = admin({u"--database"_s, path, u"--days"_s, u"3"_s, u"init"_s});
    QCOMPARE(other.rc, 2);
    QVERIFY2(other.err.contains(u"seed-large"_s), qPrintable(other.err));
    QVERIFY(!QFile::exists(path));
}

void TstSeedLarge::smallStation_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("Days");
    QTest::addColumn<int>("TripsPerDay");
    QTest::addColumn<int>("Drivers");
    QTest::addColumn<int>("Vehicles");
    for (const QString &backend : {u"sqlite"_s, u"postgres"_s}) {
        QTest::addRow("%s", qPrintable(backend)) << backend << Days << TripsPerDay << Drivers << Vehicles;
        // More rows than one statement takes: vehicles, arrangements and a
        // day's trips span statements, and arrangements follow their vehicles.
        QTest::addRow("%s, several statements", qPrintable(backend)) << backend << 1 << 1100 << 12 << 700;
    }
}

void TstSeedLarge::smallStation()
{
    QFETCH(QString, backend);
    QFETCH(int, Days);
    QFETCH(int, TripsPerDay);
    QFETCH(int, Drivers);
    QFETCH(int, Vehicles);
    test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    const Run r = admin({u"--database"_s, env.spec(), u"--date"_s, LastDay.toString(Qt::ISODate), u"--days"_s,
                         QString::number(Days), u"--trips-per-day"_s, QString::number(TripsPerDay), u"--drivers"_s,
                         QString::number(Drivers), u"--vehicles"_s, QString::number(Vehicles), u"seed-large"_s});
    QVERIFY2(r.rc == 0, qPrintable(r.err));
    QVERIFY2(r.err.contains(u"100%"_s), qPrintable(r.err)); // progress on stderr
    QVERIFY2(r.out.contains(u"trips"_s), qPrintable(r.out));
    Database db(env.config());
    db.requireCurrentSchema();
    const auto count = [&](const QString &sql, const QVariantList &binds = {}) {
        return db.scalar(sql, binds).toInt();
    };

    // What was asked, every day a full timetable ending on the given day.
    QCOMPARE(count(u"SELECT count(*) FROM drivers"_s), Drivers);
    QCOMPARE(count(u"SELECT count(*) FROM pictures"_s), Drivers);
    QCOMPARE(count(u"SELECT count(*) FROM vehicles"_s), Vehicles);
    QCOMPARE(count(u"SELECT count(*) FROM trips"_s), Days * TripsPerDay);
    for (int d = 0; d < Days; ++d)
        QCOMPARE(count(u"SELECT count(*) FROM trips WHERE bus_date = ?"_s, {LastDay.addDays(-d)}), TripsPerDay);
    QCOMPARE(count(u"SELECT count(*) FROM arrangements"_s), count(u"SELECT sum(driver_num) FROM vehicles"_s));
    QCOMPARE(count(u"SELECT count(*) FROM vehicles WHERE driver_num NOT BETWEEN 1 AND 3"_s), 0);
    // A past day is complete: every arranged driver checked in to each trip,
    // a condition check of every vehicle that ran, a route sheet and a
    // departure for every trip whose vehicle passed.
    QCOMPARE(count(u"SELECT count(*) FROM driver_checkins"_s),
             count(u"SELECT count(*) FROM trips t JOIN arrangements a ON a.license_id = t.license_id"_s));
    QCOMPARE(count(u"SELECT count(*) FROM condition_checks"_s),
             count(u"SELECT count(*) FROM (SELECT DISTINCT bus_date, license_id FROM trips) x"_s));
    QCOMPARE(count(u"SELECT count(*) FROM condition_checks"_s), Days * qMin(TripsPerDay, Vehicles));
    QCOMPARE(count(u"SELECT count(*) FROM route_sheet_issues"_s),
             count(u"SELECT count(*) FROM trips WHERE scheme_status = 1"_s));
    QCOMPARE(count(u"SELECT count(*) FROM departures"_s), count(u"SELECT count(*) FROM trips WHERE out_status = 1"_s));
    QCOMPARE(count(u"SELECT count(*) FROM trips t WHERE (out_status = 1) <> EXISTS (SELECT 1 FROM condition_checks c "
                   u"WHERE c.license_id = t.license_id AND c.check_date = t.bus_date AND c.cond_status = 1)"_s), 0);
    QVERIFY(count(u"SELECT count(*) FROM departures"_s) > 0);
    QCOMPARE(count(u"SELECT count(*) FROM forced_releases"_s),
             count(u"SELECT count(*) FROM trips WHERE driver_verify_status = 5"_s));
    QCOMPARE(count(u"SELECT count(*) FROM trips WHERE driver_verify_status NOT IN (1, 5)"_s), 0);

    // Integrity: every reference leads somewhere, no key twice.
    QCOMPARE(count(u"SELECT count(*) FROM trips t LEFT JOIN vehicles v ON v.license_id = t.license_id "
                   u"WHERE v.license_id IS NULL OR v.license <> t.license_tag_no"_s), 0);
    QCOMPARE(count(u"SELECT count(*) FROM trips t LEFT JOIN routes r ON r.route_id = t.route_id "
                   u"WHERE r.route_id IS NULL"_s), 0);
    QCOMPARE(count(u"SELECT count(*) FROM driver_checkins c LEFT JOIN drivers d ON d.driver_id = c.driver_run_id "
                   u"WHERE d.driver_id IS NULL"_s), 0);
    QCOMPARE(count(u"SELECT count(*) FROM driver_checkins c JOIN trips t ON t.bus_date = c.bus_date "
                   u"AND t.bus_id = c.bus_id WHERE NOT EXISTS (SELECT 1 FROM arrangements a "
                   u"WHERE a.license_id = t.license_id AND a.driver_id = c.driver_run_id "
                   u"AND a.start_date <= t.bus_date AND a.end_date >= t.bus_date)"_s), 0);
    QCOMPARE(count(u"SELECT count(*) FROM driver_checkins c LEFT JOIN trips t ON t.bus_date = c.bus_date "
                   u"AND t.bus_id = c.bus_id WHERE t.bus_id IS NULL"_s), 0);
    for (const QString &table : {u"route_sheet_issues"_s, u"departures"_s, u"forced_releases"_s})
        QCOMPARE(count(u"SELECT count(*) FROM %1 x LEFT JOIN trips t ON t.bus_date = x.bus_date "
                       u"AND t.bus_id = x.bus_id WHERE t.bus_id IS NULL"_s.arg(table)), 0);
    QCOMPARE(count(u"SELECT count(*) FROM condition_checks c LEFT JOIN vehicles v ON v.license_id = c.license_id "
                   u"WHERE v.license_id IS NULL OR v.license <> c.license"_s), 0);
    QCOMPARE(count(u"SELECT count(*) FROM (SELECT license_id, check_date FROM condition_checks "
                   u"GROUP BY license_id, check_date HAVING count(*) > 1) x"_s), 0);
    QCOMPARE(count(u"SELECT count(*) FROM drivers d LEFT JOIN pictures p ON p.id = d.photo_id "
                   u"WHERE p.id IS NULL"_s), 0);
    QCOMPARE(count(u"SELECT count(DISTINCT license) FROM vehicles"_s), Vehicles);
    QCOMPARE(count(u"SELECT count(DISTINCT ic_card_id) FROM vehicles WHERE length(ic_card_id) = 10"_s), Vehicles);
    QCOMPARE(count(u"SELECT count(DISTINCT fng_value) + count(DISTINCT fng_value1) FROM drivers "
                   u"WHERE fng_value <> fng_value1 AND fng_value LIKE 'CGF1:%' AND fng_value1 LIKE 'CGF1:%'"_s),
             2 * Drivers);
    QCOMPARE(count(u"SELECT count(*) FROM (SELECT bus_date, bus_id, driver_run_id FROM driver_checkins "
                   u"GROUP BY bus_date, bus_id, driver_run_id HAVING count(*) > 1) x"_s), 0);

    // The station's: the workstation of the demo's operator lists it.
    const QString unit = QString::fromUtf16(demo::UnitCode);
    QCOMPARE(count(u"SELECT count(*) FROM operators WHERE station_code = ? AND unit_code = ?"_s,
                   {QString::fromUtf16(demo::StationCode), unit}), 2);
    QCOMPARE(count(u"SELECT count(*) FROM trips WHERE unit_code = ?"_s, {unit}), Days * TripsPerDay);
    QCOMPARE(count(u"SELECT count(*) FROM drivers WHERE unit_id = ?"_s, {unit}), Drivers);
    QCOMPARE(count(u"SELECT count(*) FROM departures WHERE unit_code <> ?"_s, {unit}), 0);

    if (db.backend() == Backend::Sqlite) {
        QCOMPARE(db.scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
        QCOMPARE(db.select(u"PRAGMA foreign_key_check"_s).RecordCount(), 0);
    }
    const Run check = admin({u"--database"_s, env.spec(), u"check"_s});
    QVERIFY2(check.rc == 0, qPrintable(check.err));
}

void TstSeedLarge::refusals()
{
    QFETCH(QString, backend);
    test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    const QStringList seed = smallSeed(env.spec());

    // Over the demo station: refused without --force, added beside it with.
    QCOMPARE(admin({u"--database"_s, env.spec(), u"--date"_s, LastDay.toString(Qt::ISODate), u"seed-demo"_s}).rc,
             0);
    Database db(env.config());
    const QMap<QString, int> demo = counts(db);
    Run r = admin(seed);
    QCOMPARE(r.rc, 1);
    QVERIFY2(r.err.contains(u"--force"_s), qPrintable(r.err));
    QCOMPARE(counts(db), demo);

    r = admin(seed + QStringList{u"--force"_s});
    QVERIFY2(r.rc == 0, qPrintable(r.err));
    const QMap<QString, int> both = counts(db);
    QCOMPARE(both[u"drivers"_s], demo[u"drivers"_s] + Drivers);
    QCOMPARE(both[u"vehicles"_s], demo[u"vehicles"_s] + Vehicles);
    QCOMPARE(both[u"trips"_s], demo[u"trips"_s] + Days * TripsPerDay);
    QCOMPARE(both[u"operators"_s], demo[u"operators"_s]);

    // Again: refused, and with --force refused as well, for the large
    // station's own keys are there; nothing changes either way.
    for (const QStringList &args : {seed, seed + QStringList{u"--force"_s}}) {
        r = admin(args);
        QCOMPARE(r.rc, 1);
        QVERIFY(!r.err.isEmpty());
        QCOMPARE(counts(db), both);
    }
}

void TstSeedLarge::liveDay()
{
    QFETCH(QString, backend);
    test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    // Without --date the last day is today; whatever the hour, nothing is
    // recorded later than the seeding.
    const Run r = admin({u"--database"_s, env.spec(), u"--days"_s, u"2"_s, u"--trips-per-day"_s, u"200"_s,
                         u"--drivers"_s, u"40"_s, u"--vehicles"_s, u"60"_s, u"seed-large"_s});
    QVERIFY2(r.rc == 0, qPrintable(r.err));
    const QDateTime now = QDateTime::currentDateTime();
    const QDate today = now.date();
    Database db(env.config());
    QCOMPARE(db.scalar(u"SELECT count(*) FROM trips WHERE bus_date = ?"_s, {today}).toInt(), 200);
    QCOMPARE(db.scalar(u"SELECT max(bus_date) FROM trips"_s).toDate(), today);
    const QString late = test::recordedAfter(db, today, now);
    QVERIFY2(late.isEmpty(), qPrintable(late));
    // A route sheet only for a vehicle that passed its check that day.
    QCOMPARE(test::sheetsWithoutPassedCheck(db), 0);
}

// The day list's 安全例检 lamp of every trip of a seeded station equals the
// lamp read from its vehicle's whole history by hand: the latest verdict
// (1, 2, 5) not cancelled and within the 24 validity hours, the later id
// first at equal times; 3 for a vehicle that needs no check; 0 otherwise.
// The history gets the cases a lookup can get wrong: a cancelled pass after
// a fail, a check still in progress, a verdict just outside the hours, two
// verdicts at the same minute, a vehicle taken off the checks.
void TstSeedLarge::listLampsFollowEachVehiclesHistory()
{
    QFETCH(QString, backend);
    test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    const Run r = admin(smallSeed(env.spec()));
    QVERIFY2(r.rc == 0, qPrintable(r.err));
    Database db(env.config());
    // Late in the day, so that the planted checks are the vehicles' latest.
    const QDateTime now(LastDay, QTime(23, 50));
    const QStringList plates = [&] {
        QStringList out;
        const RecordSet rs = db.select(u"SELECT license FROM vehicles ORDER BY license_id"_s, {},
                                       {{u"license"_s, FieldType::Text, 20}});
        for (int i = 0; i < rs.RecordCount(); ++i)
            out << rs.valueAt(i, u"license"_s).toString();
        return out;
    }();
    QVERIFY(plates.size() >= 6);
    int index = 100;
    const auto addCheck = [&](const QString &plate, int status, const QDateTime &at, bool cancelled) {
        db.exec(u"INSERT INTO condition_checks (station_code, license, check_date, cond_index, cond_status, cond_checker, "
                "cond_time, started_at, cancelled) VALUES ('440100001', ?, ?, ?, ?, 'wg', ?, ?, ?)"_s,
                {plate, QDateTime(at.date(), QTime(0, 0)), index++, status, at, at, cancelled ? 1 : 0});
    };
    addCheck(plates[0], 2, now.addSecs(-3600), false);      // a fail ...
    addCheck(plates[0], 1, now.addSecs(-1800), true);       // ... and a pass withdrawn
    addCheck(plates[1], 0, now.addSecs(-600), false);       // in progress
    addCheck(plates[2], 1, now.addSecs(-24 * 3600 - 60), false); // a minute too old
    addCheck(plates[3], 1, now.addSecs(-900), false);       // two at one minute:
    addCheck(plates[3], 2, now.addSecs(-900), false);       // the later id counts
    addCheck(plates[4], 5, now.addSecs(-300), false);       // let through by hand
    db.exec(u"UPDATE vehicles SET is_cond = 0 WHERE license = ?"_s, {plates[5]});

    struct Check {
        qint64 id;
        int status;
        QDateTime at;
        bool cancelled;
    };
    QHash<QString, QList<Check>> history;
    const RecordSet all = db.select(
        u"SELECT id, license, cond_status, cond_time, cancelled FROM condition_checks"_s, {},
        {{u"id"_s, FieldType::Integer, 0}, {u"license"_s, FieldType::Text, 20}, {u"cond_status"_s, FieldType::Integer, 0},
         {u"cond_time"_s, FieldType::DateTime, 0}, {u"cancelled"_s, FieldType::Integer, 0}});
    for (int i = 0; i < all.RecordCount(); ++i)
        history[all.valueAt(i, u"license"_s).toString()].append(
            {all.valueAt(i, u"id"_s).toLongLong(), all.valueAt(i, u"cond_status"_s).toInt(),
             all.valueAt(i, u"cond_time"_s).toDateTime(), all.valueAt(i, u"cancelled"_s).toInt() != 0});
    const auto expected = [&](const QString &plate) {
        if (db.scalar(u"SELECT is_cond FROM vehicles WHERE license = ?"_s, {plate}).toInt() == 0)
            return 3;
        // A copy that outlives the loop: best points into it.
        const QList<Check> checksOfPlate = history.value(plate);
        const Check *best = nullptr;
        for (const Check &c : checksOfPlate) {
            if (c.cancelled || (c.status != 1 && c.status != 2 && c.status != 5) || !c.at.isValid()
                || c.at < now.addSecs(-24 * 3600))
                continue;
            if (!best || c.at > best->at || (c.at == best->at && c.id > best->id))
                best = &c;
        }
        return best ? best->status : 0;
    };

    ManualClock clock(now);
    CheckService checks(db, clock);
    const QString unit = QString::fromUtf16(demo::UnitCode);
    const QString context = u"[wg][%1][%2][0]"_s.arg(QString::fromUtf16(demo::StationCode), unit);
    const RecordSet trips = checks.QueryDayTrips(context, QDateTime(LastDay, QTime(0, 0)), QString(), QString(),
                                                 QString(), QString(), QVariant(), 1, unit);
    QCOMPARE(trips.RecordCount(), TripsPerDay);
    QSet<int> seen;
    QSet<QString> listed;
    for (int i = 0; i < trips.RecordCount(); ++i) {
        const QString plate = trips.valueAt(i, u"license_tag_no"_s).toString();
        listed.insert(plate);
        const int lamp = trips.valueAt(i, u"StateStatus"_s).toInt();
        QVERIFY2(lamp == expected(plate), qPrintable(u"%1: %2, expected %3"_s.arg(plate).arg(lamp).arg(expected(plate))));
        seen.insert(lamp);
    }
    // Every planted case is on the list, and so are several lamps.
    for (int k = 0; k < 6; ++k)
        QVERIFY2(listed.contains(plates[k]), qPrintable(plates[k]));
    QVERIFY(seen.size() >= 4);
}

QTEST_GUILESS_MAIN(TstSeedLarge)
#include "tst_seedlarge.moc"
