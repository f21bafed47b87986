// Server faults while workstations write and listen. On PostgreSQL the
// server is restarted, and a relay between the workstations and the server
// cuts their connections again and again: every write either commits or
// tells its operator clearly that it did not (never a false success), each
// workstation connects again by itself and goes on, and every listener hears
// every event once, in commit order, across its reconnections. On SQLite the
// file is locked by another program, fills its disk, or may not be written:
// a clear message each time, and the file stays whole. docs/RELIABILITY.md
// gives the figures.

#include "children.h"
#include "cuttingproxy.h"
#include "reliabilitycheck.h"

#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"
#include "tools/admin.h"
#include "../services/dbtestenv.h"

#include "core/clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using cg::test::kContext;
using cg::test::kStation;
using cg::test::kUnit;
constexpr int kWriters = 2;
constexpr int kListeners = 2;

// The beginnings of the messages a workstation shows when its write did not
// reach the database.
const QStringList kClearMessages{u"与数据库的连接已中断"_s, u"与数据库的连接在提交时中断"_s, u"无法连接数据库"_s, u"无法读写数据库文件"_s,
                                 u"数据库所在的磁盘已满"_s, u"数据库文件只能读"_s};

bool isClear(const QString &message)
{
    for (const QString &m : kClearMessages)
        if (message.startsWith(m))
            return true;
    return false;
}

// a minus b, both taken as multisets.
QStringList without(QStringList a, const QStringList &b)
{
    for (const QString &x : b)
        a.removeOne(x);
    return a;
}

// A PostgreSQL cluster of this test's own, which it may restart.
class OwnCluster {
public:
    OwnCluster()
    {
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                                | QFileDevice::ReadOther | QFileDevice::ExeOther);
        QString out;
        if (!run(u"start"_s, &out)) {
            m_error = out;
            return;
        }
        m_conninfo = out.trimmed();
        const QStringList parts = m_conninfo.split(u' ');
        for (const QString &p : parts)
            if (p.startsWith(u"port="_s))
                m_port = quint16(p.mid(5).toUInt());
    }
    ~OwnCluster()
    {
        if (!m_conninfo.isEmpty())
            run(u"stop"_s, nullptr);
    }
    bool ok() const { return m_port != 0; }
    QString error() const { return m_error; }
    quint16 port() const { return m_port; }
    bool restart(QString *why) { return run(u"restart"_s, why); }
    // A new database of the cluster, as a workstation's setting; port 0
    // means the cluster's own.
    QString createDatabase(const QString &name, quint16 viaPort = 0) const
    {
        {
            cg::Database admin(cg::DbConfig::parse(m_conninfo));
            admin.exec(u"CREATE DATABASE "_s + name);
        }
        return u"host=127.0.0.1 port=%1 dbname=%2 user=postgres sslmode=disable"_s.arg(viaPort ? viaPort : m_port)
            .arg(name);
    }

private:
    bool run(const QString &command, QString *out)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(qEnvironmentVariable("CG_SOURCE_DIR") + u"/scripts/pg-test-cluster"_s,
                {command, m_dir.filePath(u"cluster"_s)});
        const bool done = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (out)
            *out = QString::fromUtf8(p.readAll());
        return done;
    }

    QTemporaryDir m_dir;
    QString m_conninfo, m_error;
    quint16 m_port = 0;
};

// What the workers of one run printed, gathered.
struct Outcome {
    QStringList reported, lost, unclear;
    QStringList lostAtCommit; // told the connection went as they committed
    QStringList messages; // each kind of message once, without its details
    int lostCount = 0;
};

Outcome gather(const QList<cg::test::Child *> &writers)
{
    Outcome o;
    for (auto *w : writers) {
        w->read();
        o.reported += cg::test::reportedResults(w->out);
        for (const QString &line : QString::fromUtf8(w->out).split(u'\n')) {
            if (!line.startsWith(u"LOST "_s))
                continue;
            ++o.lostCount;
            o.lost << line.mid(5).section(u" | "_s, 0, 0);
            const QString message = line.section(u" | "_s, 1);
            if (message.startsWith(u"与数据库的连接在提交时中断"_s))
                o.lostAtCommit << o.lost.constLast();
            if (!isClear(message))
                o.unclear << message;
            else if (const QString kind = message.section(u'：', 0, 0); !o.messages.contains(kind))
                o.messages << kind;
        }
    }
    return o;
}

// The vehicle of the day's first trip.
QString firstPlate(cg::Database &db, const QDate &day)
{
    cg::ManualClock clock(QDateTime(day, QTime(8, 0)));
    cg::CheckService checks(db, clock);
    return checks.QueryDayTrips(kContext, QDateTime(day, QTime(0, 0)), {}, {}, {}, {}, QVariant(), 1, kUnit)
        .valueAt(0, u"license_tag_no"_s)
        .toString();
}

} // namespace

class TestServerFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void postgres_data();
    void postgres();
    void sqliteLockedByAnotherProgram();
    void sqliteDiskFull();
    void sqliteReadOnly();

private:
    // Checks what must hold after a disturbed run on db: every result a
    // worker saw succeed is recorded once; anything else recorded is a write
    // whose connection went during its commit; every result has its event
    // and every event its result; the lamps follow from the records.
    void checkResults(cg::Database &db, const Outcome &o, qint64 firstEvent, QStringList *events);

    std::unique_ptr<OwnCluster> m_cluster;
    QDate m_day;
};

void TestServerFaults::initTestCase()
{
    // A day to come: the demo seeds its trips with nothing checked yet.
    m_day = QDate::currentDate().addDays(1);
    if (QDir(u"/usr/lib/postgresql"_s).isEmpty() && !qEnvironmentVariableIsSet("CG_REQUIRE_PG"))
        return;
    m_cluster = std::make_unique<OwnCluster>();
}

void TestServerFaults::checkResults(cg::Database &db, const Outcome &o, qint64 firstEvent, QStringList *events)
{
    QVERIFY2(o.unclear.isEmpty(), qPrintable(u"unclear messages: "_s + o.unclear.mid(0, 5).join(u"; "_s)));
    const QStringList recorded = cg::test::recordedResults(db);
    // Never a false success.
    const QStringList missing = without(o.reported, recorded);
    QVERIFY2(missing.isEmpty(), qPrintable(u"reported but not recorded: "_s + missing.mid(0, 10).join(u", "_s)));
    // Nothing recorded that no one wrote; a write may have committed when
    // the connection went during its COMMIT, and its operator was told so.
    const QStringList extra = without(without(recorded, o.reported), o.lostAtCommit);
    QVERIFY2(extra.isEmpty(), qPrintable(u"recorded but never written: "_s + extra.mid(0, 10).join(u", "_s)));
    *events = cg::test::storedEvents(db, kStation, firstEvent);
    QStringList eventKeys;
    for (const QString &e : std::as_const(*events))
        eventKeys << e.section(u'|', 0, 1);
    const QString diff = cg::test::multisetDifference(cg::test::impliedEvents(recorded), eventKeys);
    QVERIFY2(diff.isEmpty(), qPrintable(u"results vs events: "_s + diff));
    const QStringList faults = cg::test::lampFaults(db, kContext, kUnit, kStation, m_day);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.mid(0, 10).join(u'\n')));
    QCOMPARE(cg::test::integrityCheck(db), u"ok"_s);
}

void TestServerFaults::postgres_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("server restarted") << u"restart"_s;
    QTest::newRow("connections cut") << u"cut"_s;
}

void TestServerFaults::postgres()
{
    QFETCH(QString, fault);
    if (!m_cluster)
        QSKIP("PostgreSQL is not installed here");
    QVERIFY2(m_cluster->ok(), qPrintable(m_cluster->error()));
    const bool restart = fault == u"restart"_s;
    const int faults = cg::test::envNumber("CG_SERVER_FAULTS", restart ? 3 : 12);

    // Workstations reach the server straight, or through the cutting relay.
    std::unique_ptr<cg::test::CuttingProxy> proxy;
    if (!restart) {
        proxy = std::make_unique<cg::test::CuttingProxy>(u"127.0.0.1"_s, m_cluster->port());
        QVERIFY(proxy->port() != 0);
    }
    const QString name = u"faults_"_s + fault;
    const QString direct = m_cluster->createDatabase(name);
    const QString spec = proxy ? direct.section(u' ', 0, 0) + u" port=%1 "_s.arg(proxy->port())
                                     + direct.section(u' ', 2)
                               : direct;
    cg::Database db(cg::DbConfig::parse(direct));
    db.migrate();
    cg::seedDemoStation(db, m_day);

    cg::test::Children children;
    const QList<cg::test::Child *> listeners = children.startListeners(spec, kStation, kListeners);
    QVERIFY2(!listeners.isEmpty(), "listeners did not start");
    QList<cg::test::Child *> writers;
    const qint64 firstEvent = cg::test::lastEventId(db);

    qputenv("CG_STRESS_TOLERATE", "1");
    const int ops = cg::test::envNumber("CG_STRESS_OPS", 500);
    for (int w = 0; w < kWriters; ++w)
        writers << &children.start({u"work"_s, spec, kContext, m_day.toString(u"yyyy-MM-dd"_s),
                                    QString::number(2000 + w), QString::number(ops), u"w%1"_s.arg(w), u"20"_s});
    qunsetenv("CG_STRESS_TOLERATE");
    QVERIFY2(cg::test::Children::waitFor([&] {
                 for (auto *w : writers)
                     if (w->lines() < 5)
                         return false;
                 return true;
             }, 60000),
             "writers did not start");

    // The faults, while the writers write; then a quiet end in which each
    // must get through again by itself.
    QList<int> linesAtLastFault;
    if (restart) {
        for (int i = 0; i < faults; ++i) {
            QTest::qWait(1200);
            QString why;
            QVERIFY2(m_cluster->restart(&why), qPrintable(why));
        }
    } else {
        proxy->startCutting(150, 700);
        QTest::qWait(faults * 450);
        proxy->stopCutting();
    }
    for (auto *w : writers) {
        QVERIFY2(w->process.state() != QProcess::NotRunning,
                 "a writer finished before the faults ended: the run is too short to show anything");
        linesAtLastFault << w->lines();
    }
    QVERIFY2(cg::test::Children::waitFor([&] { return cg::test::Children::allEnded(writers); }, 240000),
             "writers did not finish in time");
    for (auto *w : writers) {
        w->read();
        QVERIFY2(w->process.exitStatus() == QProcess::NormalExit && w->process.exitCode() == 0,
                 w->out.right(300).constData());
        QVERIFY2(w->out.contains("\nDONE "), w->out.right(300).constData());
    }
    const Outcome o = gather(writers);
    // Each writer got through again without help after the last fault.
    for (int i = 0; i < writers.size(); ++i) {
        const QList<QByteArray> tail = writers[i]->out.split('\n').mid(linesAtLastFault[i]);
        QVERIFY2(std::any_of(tail.cbegin(), tail.cend(), [](const QByteArray &l) { return l.startsWith("OK "); }),
                 "a writer recorded nothing after the last fault");
    }

    QStringList events;
    checkResults(db, o, firstEvent, &events);
    if (QTest::currentTestFailed())
        return;

    // Every listener heard each event once, in commit order, across its
    // reconnections.
    const QString heard = cg::test::Children::heardExactly(listeners, events);
    QVERIFY2(heard.isEmpty(), qPrintable(heard));
    qInfo("postgres, %s: %d faults (%d cuts), %d writers x %d operations: %lld recorded, %d told lost "
          "(%lld as they committed, %lld of which were committed), %lld events heard by each of %d listeners",
          qPrintable(fault), faults, proxy ? proxy->cuts() : 0, kWriters, ops, qint64(o.reported.size()),
          o.lostCount, qint64(o.lostAtCommit.size()), qint64(without(cg::test::recordedResults(db), o.reported).size()),
          qint64(events.size()),
          kListeners);
}

void TestServerFaults::sqliteLockedByAnotherProgram()
{
    cg::test::TestDatabase env(u"sqlite"_s);
    cg::Database db(env.config());
    db.migrate();
    cg::seedDemoStation(db, m_day);
    const int drivers = db.scalar(u"SELECT count(*) FROM drivers"_s).toInt();
    cg::ManualClock clock(QDateTime(m_day, QTime(8, 0)));
    cg::CheckService checks(db, clock);
    const QString plate = firstPlate(db, m_day);
    QVERIFY(!plate.isEmpty());

    cg::test::Children children;
    cg::test::Child &holder = children.start({u"hold"_s, env.spec()});
    QVERIFY2(cg::test::Children::waitFor([&] { return holder.saidReady(); }, 30000), holder.out.constData());

    // A write waits for the lock, then tells the operator to try again.
    try {
        checks.AddConditionCheckResult(kContext, plate, clock.now(), true, u"锁"_s, u"locked"_s);
        QFAIL("a write went through while another program held the file");
    } catch (const cg::ServiceError &e) {
        QVERIFY2(e.description().startsWith(u"数据库正忙"_s), qPrintable(e.description()));
    }

    // The other program goes without committing: its half-done change is
    // gone, and the station writes again.
    cg::test::Children::kill(holder);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM drivers"_s).toInt(), drivers);
    QCOMPARE(checks.AddConditionCheckResult(kContext, plate, clock.now(), true, u"锁"_s, u"after"_s), QString());
    QCOMPARE(db.scalar(u"SELECT count(*) FROM condition_checks WHERE check_cause = 'locked'"_s).toInt(), 0);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM condition_checks WHERE check_cause = 'after'"_s).toInt(), 1);
    QCOMPARE(cg::test::integrityCheck(db), u"ok"_s);
}

void TestServerFaults::sqliteDiskFull()
{
    cg::test::TestDatabase env(u"sqlite"_s);
    cg::Database db(env.config());
    db.migrate();
    cg::seedDemoStation(db, m_day);
    const qint64 firstEvent = cg::test::lastEventId(db);

    // The disk fills up a few writes in: the cap leaves the write-ahead log
    // room for a few dozen pages.
    cg::test::Children children;
    qputenv("CG_STRESS_TOLERATE", "1");
    qputenv("CG_STRESS_FILE_LIMIT", "262144");
    cg::test::Child &writer = children.start({u"work"_s, env.spec(), kContext, m_day.toString(u"yyyy-MM-dd"_s),
                                              u"3000"_s, u"120"_s, u"d1"_s});
    qunsetenv("CG_STRESS_TOLERATE");
    qunsetenv("CG_STRESS_FILE_LIMIT");
    QVERIFY2(cg::test::Children::waitFor([&] { return writer.process.state() == QProcess::NotRunning; }, 120000),
             "the writer did not finish");
    writer.read();
    QVERIFY2(writer.process.exitStatus() == QProcess::NormalExit && writer.process.exitCode() == 0,
             writer.out.right(300).constData());
    const Outcome o = gather({&writer});
    QVERIFY2(!o.reported.isEmpty(), "nothing was written before the disk filled");
    QVERIFY2(o.lostCount > 0, "the disk never filled");

    QStringList events;
    checkResults(db, o, firstEvent, &events);
    if (QTest::currentTestFailed())
        return;
    // With room again, the station writes on.
    cg::ManualClock clock(QDateTime(m_day, QTime(12, 0)));
    cg::CheckService checks(db, clock);
    QCOMPARE(checks.AddConditionCheckResult(kContext, firstPlate(db, m_day), clock.now(), true, u"满"_s, u"room again"_s), QString());
    qInfo("sqlite, disk full: %lld recorded, %d refused with a clear message (%s)", qint64(o.reported.size()),
          o.lostCount, qPrintable(o.messages.join(u"; "_s)));
}

void TestServerFaults::sqliteReadOnly()
{
    cg::test::TestDatabase env(u"sqlite"_s);
    const QString path = env.config().sqlitePath;
    const QString folder = QFileInfo(path).absolutePath();
    int checks = 0;
    QString plate;
    {
        cg::Database db(env.config());
        db.migrate();
        cg::seedDemoStation(db, m_day);
        db.exec(u"PRAGMA wal_checkpoint(TRUNCATE)"_s);
        checks = db.scalar(u"SELECT count(*) FROM condition_checks"_s).toInt();
        plate = firstPlate(db, m_day);
    }
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const auto exec = QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    // The worker is a user who may read the file and its folder, not write
    // them (a root worker becomes "nobody" first).
    const QDir dir(folder);
    for (const QString &f : dir.entryList(QDir::Files))
        QVERIFY(QFile::setPermissions(dir.filePath(f), readOnly));
    QVERIFY(QFile::setPermissions(folder, readOnly | exec));
    cg::test::Children children;
    cg::test::Child &worker = children.start({u"readonly"_s, env.spec(), kContext, m_day.toString(u"yyyy-MM-dd"_s), plate});
    const bool finished =
        cg::test::Children::waitFor([&] { return worker.process.state() == QProcess::NotRunning; }, 60000);
    QFile::setPermissions(folder, readOnly | exec | QFileDevice::WriteOwner);
    for (const QString &f : dir.entryList(QDir::Files))
        QFile::setPermissions(dir.filePath(f), readOnly | QFileDevice::WriteOwner);
    QVERIFY2(finished, "the read-only workstation did not finish");
    worker.read();
    QVERIFY2(worker.process.exitStatus() == QProcess::NormalExit && worker.process.exitCode() == 0,
             worker.out.constData());
    const QStringList lines = QString::fromUtf8(worker.out).split(u'\n', Qt::SkipEmptyParts);
    const QString read = lines.value(0), write = lines.value(1);
    QVERIFY2(read.startsWith(u"READ "_s) && write.startsWith(u"WRITE "_s), worker.out.constData());
    // Reading may work or not; either way the answer is clear. Writing never
    // reports success.
    QVERIFY2(read == u"READ ok"_s || isClear(read.mid(5)), qPrintable(read));
    QVERIFY2(write != u"WRITE ok"_s, "a write reported success on a file that cannot be written");
    QVERIFY2(isClear(write.mid(6)), qPrintable(write));

    cg::Database db(env.config());
    QCOMPARE(db.scalar(u"SELECT count(*) FROM condition_checks"_s).toInt(), checks);
    QCOMPARE(cg::test::integrityCheck(db), u"ok"_s);
    qInfo("sqlite, read-only file: %s / %s", qPrintable(read), qPrintable(write));
}

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
