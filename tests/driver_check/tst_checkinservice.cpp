// Recording driver check-ins and listing them, picture look-ups and the
// photo fetch, on SQLite and PostgreSQL; the same driver checked in by two
// workstation processes at once.

#include "support/fixturetime.h"
#include "tst_checkinservice_fixture.h"

#include "../services/dbtestenv.h"

#include "core/clock.h"
#include "core/dates.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/masterdata/driverphoto.h"
#include "services/masterdata/driverservice.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;
using namespace cg;
using cg::test::checkinToday;
using cg::test::kCheckinCtx;

namespace {

const QString kAlready = u"指纹已通过，请勿重试！"_s;

int lampOf(Database &db, const QString &busId)
{
    return db.scalar(u"SELECT driver_verify_status FROM trips WHERE bus_id = ?"_s, {busId}).toInt();
}

int checkinRows(Database &db, const QString &busId)
{
    return db.scalar(u"SELECT COUNT(*) FROM driver_checkins WHERE bus_id = ?"_s, {busId}).toInt();
}

QString checkIn(Database &db, const QString &busId, const QString &driver)
{
    CheckService svc(db, cg::test::fixtureClock());
    return svc.CheckInDriver(kCheckinCtx, busId, checkinToday(), driver,
                             checkinToday().addSecs(8 * 3600 + 40 * 60), u"王刚"_s, u"R01"_s);
}

QString peerPath()
{
    const QString dir = qEnvironmentVariable("CG_TEST_BINARY_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + u"/checkin_peer"_s
                         : dir + u"/tests/driver_check/checkin_peer"_s;
}

} // namespace

class TstCheckinService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordedOnceAndLampPassed_data() { test::TestDatabase::addBackendRows(); }
    void recordedOnceAndLampPassed();
    void refused_data();
    void refused();
    void noCheckNeededTripKeepsItsLamp_data() { test::TestDatabase::addBackendRows(); }
    void noCheckNeededTripKeepsItsLamp();
    void twoProcessesRecordOnce_data() { test::TestDatabase::addBackendRows(); }
    void twoProcessesRecordOnce();
    void tripAndPeriodRecords_data() { test::TestDatabase::addBackendRows(); }
    void tripAndPeriodRecords();
    void whoMayDrive_data() { test::TestDatabase::addBackendRows(); }
    void whoMayDrive();
    void periodEdgesOfWhoMayDrive_data();
    void periodEdgesOfWhoMayDrive();
    void lampUnderTheTripLock_data() { test::TestDatabase::addBackendRows(); }
    void lampUnderTheTripLock();
    void pictures_data() { test::TestDatabase::addBackendRows(); }
    void pictures();
    void photoStaysInsideFolder_data();
    void photoStaysInsideFolder();
};

void TstCheckinService::recordedOnceAndLampPassed()
{
    CG_FRESH_DB(db);
    test::seedCheckinStation(db);
    QCOMPARE(checkIn(db, u"K001"_s, u"D01"_s), QString());
    QCOMPARE(lampOf(db, u"K001"_s), 1);
    QCOMPARE(checkinRows(db, u"K001"_s), 1);
    const int events = db.scalar(u"SELECT COUNT(*) FROM check_events WHERE event = 'DriverCheck' AND bus_id = 'K001' "
                                 u"AND lamp = 1 AND station_code = '440100001'"_s)
                           .toInt();
    QCOMPARE(events, 1);
    // The second press of the same driver: refused, nothing written, no event.
    QCOMPARE(checkIn(db, u"K001"_s, u"D01"_s), kAlready);
    QCOMPARE(checkinRows(db, u"K001"_s), 1);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM check_events"_s).toInt(), 1);
    // A cancelled check-in does not block a new one.
    db.exec(u"UPDATE driver_checkins SET is_driver = 0 WHERE driver_run_id = 'D01'"_s);
    QCOMPARE(checkIn(db, u"K001"_s, u"D01"_s), QString());
}

void TstCheckinService::refused_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("busId");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("expectedPart");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        QTest::addRow("%s/unknown trip", qPrintable(b)) << b << u"K999"_s << u"D01"_s << u"不存在"_s;
        QTest::addRow("%s/unknown driver", qPrintable(b)) << b << u"K001"_s << u"D77"_s << u"不在驾驶员档案中"_s;
        QTest::addRow("%s/driver of another vehicle", qPrintable(b)) << b << u"K001"_s << u"D03"_s << u"没有被安排"_s;
        QTest::addRow("%s/no driver", qPrintable(b)) << b << u"K001"_s << u" "_s << u"没有识别出驾驶员"_s;
    }
}

void TstCheckinService::refused()
{
    CG_FRESH_DB(db);
    QFETCH(QString, busId);
    QFETCH(QString, driver);
    QFETCH(QString, expectedPart);
    test::seedCheckinStation(db);
    const QString answer = checkIn(db, busId, driver);
    QVERIFY2(answer.contains(expectedPart), qPrintable(answer));
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM driver_checkins"_s).toInt(), 0);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM check_events"_s).toInt(), 0);
    QCOMPARE(lampOf(db, u"K001"_s), 0);
}

void TstCheckinService::noCheckNeededTripKeepsItsLamp()
{
    CG_FRESH_DB(db);
    test::seedCheckinStation(db);
    QCOMPARE(checkIn(db, u"K002"_s, u"D01"_s), QString());
    QCOMPARE(lampOf(db, u"K002"_s), 3);
    QCOMPARE(db.scalar(u"SELECT lamp FROM check_events WHERE bus_id = 'K002'"_s).toInt(), 3);
}

void TstCheckinService::twoProcessesRecordOnce()
{
    CG_FRESH_DB(db);
    constexpr int trips = 40;
    test::seedCheckinStation(db, trips);
    QProcess a, b;
    for (QProcess *p : {&a, &b}) {
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(peerPath(), {dbEnv.spec(), QString::number(trips)});
    }
    QVERIFY(a.waitForFinished(120000));
    QVERIFY(b.waitForFinished(120000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    const QStringList ra = QString::fromUtf8(a.readAllStandardOutput()).split(u' ');
    const QStringList rb = QString::fromUtf8(b.readAllStandardOutput()).split(u' ');
    QCOMPARE(ra.size(), 3);
    QCOMPARE(rb.size(), 3);
    // Every trip recorded once; the losing process was told so each time.
    QCOMPARE(ra[0].toInt() + rb[0].toInt(), trips);
    QCOMPARE(ra[1].toInt() + rb[1].toInt(), trips);
    QCOMPARE(ra[2].trimmed().toInt() + rb[2].trimmed().toInt(), 0);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM driver_checkins"_s).toInt(), trips);
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM check_events WHERE event = 'DriverCheck'"_s).toInt(), trips);
}

// One rule for the fingerprint path's trip list, the check-in and the
// boarding confirmation's drivers: arranged (unless substituted that day),
// substituted in, and lent to the trip's route.
void TstCheckinService::whoMayDrive()
{
    CG_FRESH_DB(db);
    test::seedCheckinStation(db);
    const QDateTime today = checkinToday();
    db.exec(u"UPDATE substitutions SET start_date = ?, end_date = ?"_s, {today, today});
    db.exec(u"INSERT INTO drivers (driver_id, driver_name, route_id) VALUES ('D04', '赵六', 'R05')"_s);
    db.exec(u"INSERT INTO temporary_drivers (driver_id, route_id, start_date, end_date) VALUES "
            u"('D04', 'R01', ?, ?), ('D03', 'R01', ?, ?)"_s,
            {today, today, today.addDays(-3), today.addDays(-1)});
    CheckService checks(db, cg::test::fixtureClock());
    DriverService drivers(db, cg::test::fixtureClock());
    const auto tripsOf = [&](const QString &driver) {
        QStringList out;
        const RecordSet rs = checks.QueryDriverTrips(kCheckinCtx, driver, u"440101"_s, today, QDateTime(), QDateTime());
        for (int r = 0; r < rs.RecordCount(); ++r)
            out << rs.valueAt(r, u"bus_id"_s).toString();
        return out;
    };
    const QStringList both{u"K001"_s, u"K002"_s};
    QCOMPARE(tripsOf(u"D01"_s), QStringList());  // replaced by his substitute today
    QCOMPARE(tripsOf(u"D02"_s), both);           // the substitute
    QCOMPARE(tripsOf(u"D04"_s), both);           // lent to the route today
    QCOMPARE(tripsOf(u"D03"_s), QStringList());  // lending ended yesterday
    QStringList boarding;
    const RecordSet rs = drivers.QueryTripDrivers(kCheckinCtx, u"粤A10001"_s, u"K001"_s);
    for (int r = 0; r < rs.RecordCount(); ++r)
        boarding << rs.valueAt(r, u"driver_no"_s).toString();
    QCOMPARE(boarding, (QStringList{u"D02"_s, u"D04"_s}));
    QCOMPARE(checkIn(db, u"K001"_s, u"D04"_s), QString());
    QVERIFY(checkIn(db, u"K002"_s, u"D01"_s).contains(u"没有被安排"_s));
    QVERIFY(checkIn(db, u"K002"_s, u"D03"_s).contains(u"没有被安排"_s));
    // The substitution is over tomorrow: D01 drives again, D02 no more.
    ManualClock tomorrow(cg::test::fixtureNow().addDays(1));
    CheckService later(db, tomorrow);
    QCOMPARE(later.QueryDriverTrips(kCheckinCtx, u"D01"_s, u"440101"_s, today.addDays(1), {}, {}).RecordCount(), 0);
    db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, license_id, license_tag_no) "
            u"VALUES ('440100001', ?, 'K001', ?, '440101', 'R01', 'V1', '粤A10001')"_s,
            {today.addDays(1), today.addDays(1).addSecs(9 * 3600)});
    QCOMPARE(later.QueryDriverTrips(kCheckinCtx, u"D01"_s, u"440101"_s, today.addDays(1), {}, {}).RecordCount(), 1);
    QCOMPARE(later.QueryDriverTrips(kCheckinCtx, u"D02"_s, u"440101"_s, today.addDays(1), {}, {}).RecordCount(), 0);
}

void TstCheckinService::periodEdgesOfWhoMayDrive_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("arrangedFrom");  // days from today
    QTest::addColumn<int>("arrangedTo");
    QTest::addColumn<int>("substitutedFrom");  // 99: no substitution
    QTest::addColumn<int>("substitutedTo");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("mayDrive");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char *n) -> QTestData & { return QTest::addRow("%s/%s", qPrintable(b), n) << b; };
        // Both days of a period count whole.
        row("last day of the arrangement") << -5 << 0 << 99 << 99 << u"D01"_s << true;
        row("first day of the arrangement") << 0 << 5 << 99 << 99 << u"D01"_s << true;
        row("day after the arrangement") << -5 << -1 << 99 << 99 << u"D01"_s << false;
        row("day before the arrangement") << 1 << 5 << 99 << 99 << u"D01"_s << false;
        row("first day of a substitution: the arranged driver") << -5 << 5 << 0 << 2 << u"D01"_s << false;
        row("first day of a substitution: the substitute") << -5 << 5 << 0 << 2 << u"D02"_s << true;
        row("last day of a substitution: the arranged driver") << -5 << 5 << -2 << 0 << u"D01"_s << false;
        row("last day of a substitution: the substitute") << -5 << 5 << -2 << 0 << u"D02"_s << true;
        row("day after a substitution: the arranged driver") << -5 << 5 << -2 << -1 << u"D01"_s << true;
        row("day after a substitution: the substitute") << -5 << 5 << -2 << -1 << u"D02"_s << false;
    }
}

// The trip list of the fingerprint path and the check-in itself on the first
// and last days of an arrangement and of a substitution.
void TstCheckinService::periodEdgesOfWhoMayDrive()
{
    CG_FRESH_DB(db);
    QFETCH(int, arrangedFrom);
    QFETCH(int, arrangedTo);
    QFETCH(int, substitutedFrom);
    QFETCH(int, substitutedTo);
    QFETCH(QString, driver);
    QFETCH(bool, mayDrive);
    test::seedCheckinStation(db);
    const QDateTime today = checkinToday();
    db.exec(u"DELETE FROM substitutions"_s);
    db.exec(u"UPDATE arrangements SET start_date = ?, end_date = ?"_s,
            {today.addDays(arrangedFrom), today.addDays(arrangedTo)});
    if (substitutedFrom != 99)
        db.exec(u"INSERT INTO substitutions (license_id, driver_id, arrangement_start, substitute_id, start_date, "
                u"end_date) VALUES ('V1', 'D01', ?, 'D02', ?, ?)"_s,
                {today.addDays(arrangedFrom), today.addDays(substitutedFrom), today.addDays(substitutedTo)});
    CheckService checks(db, cg::test::fixtureClock());
    const RecordSet trips = checks.QueryDriverTrips(kCheckinCtx, driver, u"440101"_s, today, {}, {});
    QCOMPARE(trips.RecordCount(), mayDrive ? 2 : 0);
    const QString answer = checkIn(db, u"K001"_s, driver);
    if (mayDrive)
        QCOMPARE(answer, QString());
    else
        QVERIFY2(answer.contains(u"没有被安排"_s), qPrintable(answer));
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM driver_checkins"_s).toInt(), mayDrive ? 1 : 0);
}

// A check-in and a cancellation of the same trip at the same moment, on two
// connections: the lamp stored at the end agrees with the check-ins.
void TstCheckinService::lampUnderTheTripLock()
{
    CG_FRESH_DB(db);
    test::seedCheckinStation(db);
    QCOMPARE(checkIn(db, u"K001"_s, u"D01"_s), QString());
    db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) "
            u"VALUES ('V1', 'D02', '李四', ?, ?)"_s,
            {checkinToday(), checkinToday()});
    QString cancelAnswer = u"not run"_s;
    QThread *cancel = nullptr;
    // This connection is a check-in of D02 half way: its row is written and
    // the trip's lamp set, not yet committed, while another workstation
    // cancels D01.
    db.transact([&] {
        db.exec(u"UPDATE trips SET driver_verify_status = 1 WHERE bus_date = ? AND bus_id = 'K001'"_s,
                {checkinToday()});
        db.exec(u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, driver_report_time, "
                u"is_driver) VALUES ('440100001', ?, 'K001', 'D02', '李四', ?, 1)"_s,
                {checkinToday(), cg::test::fixtureNow()});
        cancel = QThread::create([&] {
            CheckService svc(db, cg::test::fixtureClock());
            cancelAnswer = svc.CancelDriverCheckIn(kCheckinCtx, u"K001"_s, checkinToday(), u"D01"_s, u"R01"_s,
                                                   u"粤A10001"_s);
        });
        cancel->start();
        QThread::msleep(700);
    });
    QVERIFY(cancel->wait(60000));
    delete cancel;
    QCOMPARE(cancelAnswer, QString());
    QCOMPARE(db.scalar(u"SELECT COUNT(*) FROM driver_checkins WHERE bus_id = 'K001' AND is_driver = 1"_s).toInt(), 1);
    QCOMPARE(lampOf(db, u"K001"_s), 1);
    QCOMPARE(db.scalar(u"SELECT lamp FROM check_events WHERE event = 'DriverCheck' ORDER BY id DESC LIMIT 1"_s)
                 .toInt(),
             1);
}

void TstCheckinService::tripAndPeriodRecords()
{
    CG_FRESH_DB(db);
    test::seedCheckinStation(db);
    // Two drivers arranged to the vehicle today.
    db.exec(u"DELETE FROM substitutions"_s);
    db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) "
            u"VALUES ('V1', 'D02', '李四', ?, ?)"_s,
            {checkinToday(), checkinToday()});
    QCOMPARE(checkIn(db, u"K001"_s, u"D01"_s), QString());
    QCOMPARE(checkIn(db, u"K001"_s, u"D02"_s), QString());
    db.exec(u"UPDATE driver_checkins SET is_driver = 0 WHERE driver_run_id = 'D02'"_s);
    CheckService svc(db, cg::test::fixtureClock());

    RecordSet trip = svc.QueryTripDriverRecords(kCheckinCtx, checkinToday(), u"K001"_s, NoDate(), NoDate());
    QCOMPARE(trip.RecordCount(), 1);
    trip.MoveFirst();
    QCOMPARE(trip.value(u"driver_run_id"_s).toString(), u"D01"_s);
    QCOMPARE(trip.value(u"driver_run_name"_s).toString(), u"张三"_s);
    QCOMPARE(trip.value(u"driver_report_time"_s).toDateTime(), checkinToday().addSecs(8 * 3600 + 40 * 60));
    QCOMPARE(trip.value(u"bus_date"_s).toDateTime(), checkinToday());

    // A period lists cancelled check-ins too; it compares days, so the last
    // day counts whole whatever time of day the pickers carry.
    RecordSet period = svc.QueryTripDriverRecords(kCheckinCtx, NoDate(), QString(), checkinToday(), checkinToday());
    QCOMPARE(period.RecordCount(), 2);
    period.MoveLast();
    QCOMPARE(period.value(u"is_driver"_s).toInt(), 0);
    const QDateTime eightOClock = checkinToday().addSecs(8 * 3600);
    QCOMPARE(svc.QueryTripDriverRecords(kCheckinCtx, NoDate(), QString(), checkinToday().addDays(-3), eightOClock)
                 .RecordCount(),
             2);
    QCOMPARE(svc.QueryTripDriverRecords(kCheckinCtx, NoDate(), QString(), checkinToday().addSecs(23 * 3600),
                                        checkinToday().addSecs(23 * 3600))
                 .RecordCount(),
             2);
    QCOMPARE(svc.QueryTripDriverRecords(kCheckinCtx, NoDate(), QString(), checkinToday().addDays(-3),
                                        checkinToday().addSecs(-1))
                 .RecordCount(),
             0);
    // A check-in at midnight belongs to the day it starts, not to a period
    // ending the day before.
    db.exec(u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, "
            u"driver_report_time, is_driver) VALUES ('440100001', ?, 'K001', 'D03', '王五', ?, 1)"_s,
            {checkinToday().addDays(1), checkinToday().addDays(1)});
    QCOMPARE(svc.QueryTripDriverRecords(kCheckinCtx, NoDate(), QString(), checkinToday(), checkinToday())
                 .RecordCount(),
             2);
    QCOMPARE(svc.QueryTripDriverRecords(kCheckinCtx, NoDate(), QString(), checkinToday().addDays(1),
                                        checkinToday().addDays(1))
                 .RecordCount(),
             1);
}

void TstCheckinService::pictures()
{
    CG_FRESH_DB(db);
    db.migrate();
    const QByteArray bytes("\x89PNG\r\n\x1a\n\0\x01\x02", 11);
    const qint64 id = db.insert(u"INSERT INTO pictures (file_name, data) VALUES (?, ?)"_s, {u"D01.png"_s, bytes});
    DriverService svc(db, cg::test::fixtureClock());
    QCOMPARE(svc.GetPicture(kCheckinCtx, id).toByteArray(), bytes);
    QCOMPARE(svc.GetPictureFileName(kCheckinCtx, id), u"D01.png"_s);
    QVERIFY(!svc.GetPicture(kCheckinCtx, id + 100).isValid());
    QVERIFY(!svc.GetPicture(kCheckinCtx, 0).isValid());
}

void TstCheckinService::photoStaysInsideFolder_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("writtenName");
    for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
        QTest::addRow("%s/plain", qPrintable(b)) << b << u"D01.png"_s << u"D01.png"_s;
        QTest::addRow("%s/parent folders", qPrintable(b)) << b << u"../../x.bmp"_s << u"x.bmp"_s;
        QTest::addRow("%s/absolute path", qPrintable(b)) << b << u"/etc/passwd"_s << u"passwd"_s;
        QTest::addRow("%s/windows path", qPrintable(b)) << b << u"C:\\照片\\..\\d01.jpg"_s << u"d01.jpg"_s;
        QTest::addRow("%s/empty name", qPrintable(b)) << b << u""_s << u"picture_%1"_s;
        QTest::addRow("%s/only dots", qPrintable(b)) << b << u".."_s << u"picture_%1"_s;
    }
}

void TstCheckinService::photoStaysInsideFolder()
{
    CG_FRESH_DB(db);
    QFETCH(QString, storedName);
    QFETCH(QString, writtenName);
    db.migrate();
    const QByteArray bytes("photo bytes");
    const qint64 id = db.insert(u"INSERT INTO pictures (file_name, data) VALUES (?, ?)"_s, {storedName, bytes});
    QTemporaryDir root;
    const QString photoDir = root.path() + u"/a/b/photos"_s;
    QVERIFY(QDir().mkpath(photoDir));
    DriverService svc(db, cg::test::fixtureClock());
    const QString path = FetchDriverPhoto(svc, kCheckinCtx, id, photoDir);
    const QString expected = QDir(photoDir).absoluteFilePath(writtenName.contains(u"%1"_s) ? writtenName.arg(id)
                                                                                         : writtenName);
    QCOMPARE(path, expected);
    QCOMPARE(QFileInfo(path).absolutePath(), QDir(photoDir).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), bytes);
    // Nothing landed above the photo folder.
    QVERIFY(!QFileInfo::exists(root.path() + u"/a/x.bmp"_s));
    QVERIFY(!QFileInfo::exists(root.path() + u"/x.bmp"_s));
    // No picture: no path, nothing written.
    QCOMPARE(FetchDriverPhoto(svc, kCheckinCtx, 0, photoDir), QString());
    QCOMPARE(FetchDriverPhoto(svc, kCheckinCtx, id + 50, photoDir), QString());
}

QTEST_GUILESS_MAIN(TstCheckinService)
#include "tst_checkinservice.moc"
