// The check notifier across workstation processes, on SQLite and PostgreSQL.

#include "tst_coreservices_db.h"
#include "tst_notifier_events.h"

#include "services/checks/checknotifier.h"
#include "services/database/serviceerror.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;
using cg::test::TestDb;

namespace {

const QString kStation = u"440100001"_s;
const QString kOtherStation = u"440100002"_s;
constexpr int kDeliveryTimeoutMs = 15000;
// Long enough for several polls of either backend's timer.
constexpr int kQuietMs = 1500;

QString peerPath()
{
    const QString dir = qEnvironmentVariable("CG_TEST_BINARY_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + u"/notifier_peer"_s
                         : dir + u"/tests/services/notifier_peer"_s;
}

QStringList expected(const QString &tag, int first, int count)
{
    QStringList out;
    for (int i = first; i < first + count; ++i)
        out << cg::test::expectedEvent(tag, i);
    return out;
}

QStringList ofWriter(const QStringList &lines, const QString &tag)
{
    QStringList out;
    for (const QString &l : lines)
        if (l.section(u'|', 1, 1).contains(tag + u'-') || l.section(u'|', 1, 1).contains(u"粤A"_s + tag))
            out << l;
    return out;
}

void backendRows()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << u"sqlite"_s;
    QTest::newRow("postgres") << u"postgres"_s;
}

} // namespace

class TestNotifier : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void acrossProcesses_data() { backendRows(); }
    void acrossProcesses();
    void ownEventAndStartPoint_data() { backendRows(); }
    void ownEventAndStartPoint();
    void rolledBackEventIsNeverDelivered_data() { backendRows(); }
    void rolledBackEventIsNeverDelivered();
    void lostListenerMissesNothing_data() { backendRows(); }
    void lostListenerMissesNothing();
    void unreadableRowsAreSkipped_data() { backendRows(); }
    void unreadableRowsAreSkipped();
    void handlerEndsSubscription_data();
    void handlerEndsSubscription();
};

// Two other workstation processes record results at the same time, slowly,
// for our station and another; every result of our station arrives here once,
// each writer's in the order it committed them, with its exact arguments.
void TestNotifier::acrossProcesses()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    cg::CheckNotifier n(*t.db);
    QStringList lines;
    cg::test::recordEvents(n, lines);
    QVERIFY(n.Subscribe(kStation));

    constexpr int kCount = 3 * cg::test::kEventKinds;
    QProcess a, b;
    for (auto [p, tag] : {std::pair{&a, u"A"_s}, std::pair{&b, u"B"_s}}) {
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(peerPath(), {t.location(), kStation, tag, u"0"_s, QString::number(kCount), u"20"_s, kOtherStation});
    }
    QVERIFY2(a.waitForStarted() && b.waitForStarted(), qUtf8Printable(peerPath()));
    QTRY_VERIFY_WITH_TIMEOUT(a.state() == QProcess::NotRunning && b.state() == QProcess::NotRunning, 60000);
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 2 * kCount, kDeliveryTimeoutMs);
    QTest::qWait(kQuietMs); // nothing twice, nothing of the other station
    QCOMPARE(lines.size(), 2 * kCount);
    QCOMPARE(ofWriter(lines, u"A"_s), expected(u"A"_s, 0, kCount));
    QCOMPARE(ofWriter(lines, u"B"_s), expected(u"B"_s, 0, kCount));
}

// The recording workstation hears its own result; a screen that subscribes
// later does not get results from before its subscription.
void TestNotifier::ownEventAndStartPoint()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    cg::CheckNotifier n(*t.db);
    QSignalSpy tech(&n, &cg::CheckNotifier::TechCheck);
    QSignalSpy scheme(&n, &cg::CheckNotifier::SchemeCheck);
    n.Subscribe(kStation);

    const QDateTime day(QDate(2026, 12, 9), QTime(0, 0));
    const QDateTime at(QDate(2026, 12, 9), QTime(7, 31, 5));
    t.db->transact([&] {
        cg::CheckEvents::techCheck(*t.db, kStation, u"粤A12345"_s, day, 2, 3, at, u"王刚"_s);
    });
    // A missing time travels as an invalid date-time.
    cg::CheckEvents::schemeCheck(*t.db, kStation, u"K0815"_s, day, 1, QDateTime());

    QTRY_COMPARE_WITH_TIMEOUT(tech.count(), 1, kDeliveryTimeoutMs);
    const QList<QVariant> args = tech.at(0);
    QCOMPARE(args.at(0).toString(), u"粤A12345"_s);
    QCOMPARE(args.at(1).toDateTime(), day);
    QCOMPARE(args.at(2).toInt(), 2);
    QCOMPARE(args.at(3).toInt(), 3);
    QCOMPARE(args.at(4).toDateTime(), at);
    QCOMPARE(args.at(5).toString(), u"王刚"_s);
    QTRY_COMPARE_WITH_TIMEOUT(scheme.count(), 1, kDeliveryTimeoutMs);
    QCOMPARE(scheme.at(0).at(0).toString(), u"K0815"_s);
    QVERIFY(!scheme.at(0).at(3).toDateTime().isValid());

    cg::CheckNotifier late(*t.db);
    QSignalSpy lateTech(&late, &cg::CheckNotifier::TechCheck);
    late.Subscribe(kStation);
    QTest::qWait(kQuietMs);
    QCOMPARE(lateTech.count(), 0);
    QCOMPARE(tech.count(), 1);
}

// A result whose transaction fails leaves neither the record nor its event,
// and no workstation hears of it.
void TestNotifier::rolledBackEventIsNeverDelivered()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    cg::CheckNotifier n(*t.db);
    QSignalSpy spy(&n, &cg::CheckNotifier::DriverCheck);
    n.Subscribe(kStation);

    const QDateTime day(QDate(2026, 12, 9), QTime(0, 0));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, t.db->transact([&] {
        t.db->exec(u"INSERT INTO code_items (kind, name, remark) VALUES (9, '轮胎', '')"_s);
        cg::CheckEvents::driverCheck(*t.db, kStation, u"K1"_s, day, 1);
        throw std::runtime_error("the write failed after its event");
    }));
    QCOMPARE(t.db->scalar(u"SELECT count(*) FROM code_items"_s).toInt(), 0);
    QCOMPARE(t.db->scalar(u"SELECT count(*) FROM check_events"_s).toInt(), 0);
    QTest::qWait(kQuietMs);
    QCOMPARE(spy.count(), 0);

    // The notifier is still alive and the next event is the only one.
    cg::CheckEvents::driverCheck(*t.db, kStation, u"K2"_s, day, 1);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, kDeliveryTimeoutMs);
    QCOMPARE(spy.at(0).at(0).toString(), u"K2"_s);
}

// The listening connection is killed; results written while it is down
// arrive once it is back, each once.
void TestNotifier::lostListenerMissesNothing()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    if (backend != u"postgres"_s)
        QSKIP("SQLite has no listening connection");
    TestDb t(backend);
    cg::CheckNotifier n(*t.db);
    QStringList lines;
    cg::test::recordEvents(n, lines);
    n.Subscribe(kStation);

    constexpr int kCount = 2 * cg::test::kEventKinds;
    auto runPeer = [&](int first) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(peerPath(), {t.location(), kStation, u"P"_s, QString::number(first), QString::number(kCount)});
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };

    QVERIFY(runPeer(0));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), kCount, kDeliveryTimeoutMs);

    // Every other backend of this database: the notifier's connection.
    const QVariant killed = t.db->scalar(
        u"SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
        "WHERE datname = current_database() AND pid <> pg_backend_pid()"_s);
    QCOMPARE(killed.toInt(), 1);
    // The peer writes while this process runs no event loop: nothing can be
    // heard before the notifier finds its connection gone.
    QVERIFY(runPeer(kCount));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"CheckNotifier: reading check events failed"_s));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 2 * kCount, kDeliveryTimeoutMs);
    QTest::qWait(kQuietMs);
    QCOMPARE(lines, expected(u"P"_s, 0, 2 * kCount));

    // Listening again: a later result still arrives.
    QVERIFY(runPeer(2 * kCount));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 3 * kCount, kDeliveryTimeoutMs);
    QCOMPARE(lines, expected(u"P"_s, 0, 3 * kCount));
}

// Rows the notifier cannot read (an unknown event, a missing argument) are
// skipped with a warning; the events after them still arrive.
void TestNotifier::unreadableRowsAreSkipped()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    cg::CheckNotifier n(*t.db);
    QStringList lines;
    cg::test::recordEvents(n, lines);
    n.Subscribe(kStation);

    const QString now = t.db->dialect().nowExpression();
    t.db->exec(u"INSERT INTO check_events (station_code, event, bus_id, lamp, created_at) "
               "VALUES (?, 'Teleport', 'K1', 1, "_s + now + u')', {kStation});
    t.db->exec(u"INSERT INTO check_events (station_code, event, bus_id, lamp, created_at) "
               "VALUES (?, 'DriverCheck', NULL, 1, "_s + now + u')', {kStation});
    t.db->exec(u"INSERT INTO check_events (station_code, event, bus_id, lamp, created_at) "
               "VALUES (?, 'SchemeExCheck', 'K1', NULL, "_s + now + u')', {kStation});
    if (!t.isPostgres())
        t.db->exec(u"INSERT INTO check_events (station_code, event, bus_id, bus_date, lamp, created_at) "
                   "VALUES (?, 'DriverCheck', 'K1', 'not a date', 1, "_s + now + u')', {kStation});
    cg::test::writeEvent(*t.db, kStation, u"G"_s, 0);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"unknown event \"Teleport\""_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"\\(DriverCheck\\) skipped"_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"\\(SchemeExCheck\\) skipped"_s));
    if (!t.isPostgres())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"\\(DriverCheck\\) skipped"_s));
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 1, kDeliveryTimeoutMs);
    QTest::qWait(kQuietMs);
    QCOMPARE(lines, expected(u"G"_s, 0, 1));
}

void TestNotifier::handlerEndsSubscription_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("destroy");
    for (const char *backend : {"sqlite", "postgres"}) {
        QTest::addRow("%s unsubscribe", backend) << QString::fromLatin1(backend) << false;
        QTest::addRow("%s destroy", backend) << QString::fromLatin1(backend) << true;
    }
}

// A screen closes in the handler of the first of several pending events:
// nothing more is delivered to it, and nothing breaks.
void TestNotifier::handlerEndsSubscription()
{
    QFETCH(QString, backend);
    QFETCH(bool, destroy);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    auto *n = new cg::CheckNotifier(*t.db);
    int delivered = 0;
    connect(n, &cg::CheckNotifier::DriverCheck, this, [&](const QString &, const QDateTime &, int) {
        ++delivered;
        if (destroy) {
            delete n;
            n = nullptr;
        } else {
            n->Unsubscribe();
        }
    });
    n->Subscribe(kStation);
    const QDateTime day(QDate(2026, 12, 9), QTime(0, 0));
    t.db->transact([&] {
        for (int i = 0; i < 3; ++i)
            cg::CheckEvents::driverCheck(*t.db, kStation, u"K%1"_s.arg(i), day, 1);
    });
    QTRY_COMPARE_WITH_TIMEOUT(delivered, 1, kDeliveryTimeoutMs);
    cg::CheckEvents::driverCheck(*t.db, kStation, u"K9"_s, day, 1);
    QTest::qWait(kQuietMs);
    QCOMPARE(delivered, 1);
    if (n) {
        QVERIFY(n->stationCode().isEmpty());
        delete n;
    }
}

QTEST_GUILESS_MAIN(TestNotifier)
#include "tst_notifier.moc"
