// Many workstations at once: worker processes record check-ins, condition
// checks, route sheets, departures, forced passes and cancellations on the
// same trips of the demo station, while listener processes run the check
// notifier. Afterwards every result a worker saw succeed is in the database
// once, nothing else is, every result sent its event, the stored lamps follow
// from the records, and every listener heard every event once, in commit
// order. On PostgreSQL the workstations log in as the station's
// least-privilege workstation role, made by coachgate-admin server-setup.
// docs/RELIABILITY.md gives the figures and the larger runs.

#include "children.h"
#include "reliabilitycheck.h"

#include "services/database/database.h"
#include "tools/admin.h"
#include "tools/serversetup.h"
#include "../services/dbtestenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using cg::test::kContext;
using cg::test::kStation;
using cg::test::kUnit;
constexpr int kListeners = 2;

// A station database on the test cluster as server-setup makes it: an owner
// role, and a workstation role with only the rights the data service needs.
// The workstations connect as the latter; the checks read as the cluster's
// superuser. Dropped again when the object goes.
class StationOnServer {
public:
    StationOnServer()
    {
        const QString tag = QString::number(QCoreApplication::applicationPid());
        m_options.database = u"cgstress_"_s + tag;
        m_options.owner = u"cgstress_owner_"_s + tag;
        m_options.workstation = u"cgstress_desk_"_s + tag;
        m_options.networks = {u"127.0.0.1/32"_s};
        m_options.passwordFile = m_dir.filePath(u"password"_s);
        m_options.sslCert = u"/nonexistent/server.crt"_s;
        m_options.sslKey = u"/nonexistent/server.key"_s;
        m_options.printOnly = true; // roles, database and grants only
        QFile pw(m_options.passwordFile);
        if (pw.open(QIODevice::WriteOnly))
            pw.write("Stress-test-desk-password-1\n");
        pw.close();
        QString out, err;
        QTextStream o(&out), e(&err);
        m_ready = cg::runServerSetup(cg::test::TestDatabase::pgAdminSpec(), m_options, o, e) == 0;
        m_error = err + out;
    }
    ~StationOnServer()
    {
        try {
            cg::Database server(cg::DbConfig::parse(cg::test::TestDatabase::pgAdminSpec()));
            server.exec(u"DROP DATABASE IF EXISTS "_s + m_options.database + u" WITH (FORCE)"_s);
            server.exec(u"DROP ROLE IF EXISTS "_s + m_options.workstation);
            server.exec(u"DROP ROLE IF EXISTS "_s + m_options.owner);
        } catch (const cg::ServiceError &e) {
            qWarning("dropping the stress station failed: %s", e.what());
        }
    }
    bool ready() const { return m_ready; }
    QString error() const { return m_error; }
    // The setting of the cluster's superuser, or of the workstation role,
    // for the station database.
    QString spec(bool asWorkstation) const
    {
        QString s = cg::test::TestDatabase::pgAdminSpec();
        s.replace(u"dbname=postgres"_s, u"dbname="_s + m_options.database);
        if (asWorkstation)
            s.replace(u"user=postgres"_s, u"user="_s + m_options.workstation);
        return s;
    }

private:
    QTemporaryDir m_dir;
    cg::ServerSetupOptions m_options;
    bool m_ready = false;
    QString m_error;
};

} // namespace

class TestManyWorkstations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sharedTrips_data();
    void sharedTrips();
};

void TestManyWorkstations::sharedTrips_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("workers");
    const int workers = cg::test::envNumber("CG_STRESS_WORKERS", 4);
    QTest::newRow("sqlite") << u"sqlite"_s << workers;
    QTest::newRow("postgres") << u"postgres"_s << workers;
    // The station-sized run, too long for every CI build.
    if (qEnvironmentVariableIsSet("CG_STRESS_BIG"))
        QTest::newRow("postgres-20") << u"postgres"_s << 20;
}

void TestManyWorkstations::sharedTrips()
{
    QFETCH(QString, backend);
    QFETCH(int, workers);
    const int ops = cg::test::envNumber("CG_STRESS_OPS", 500);
    cg::test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    std::unique_ptr<StationOnServer> station;
    QString spec = env.spec();
    cg::DbConfig config = env.config();
    if (backend == u"postgres"_s) {
        station = std::make_unique<StationOnServer>();
        QVERIFY2(station->ready(), qPrintable(station->error()));
        spec = station->spec(true);
        config = cg::DbConfig::parse(station->spec(false));
        cg::Database desk(cg::DbConfig::parse(spec));
        QCOMPARE(desk.scalar(u"SELECT rolsuper FROM pg_roles WHERE rolname = current_user"_s).toBool(), false);
    }
    cg::Database db(config);
    // A day to come: the demo seeds its trips with nothing checked yet.
    const QDate day = QDate::currentDate().addDays(1);
    db.migrate();
    cg::seedDemoStation(db, day);

    cg::test::Children children;
    const QList<cg::test::Child *> listeners = children.startListeners(spec, kStation, kListeners);
    QVERIFY2(!listeners.isEmpty(), "listeners did not start");
    QList<cg::test::Child *> writers;
    const qint64 firstEvent = cg::test::lastEventId(db);

    QElapsedTimer clock;
    clock.start();
    for (int w = 0; w < workers; ++w)
        writers << &children.start({u"work"_s, spec, kContext, day.toString(u"yyyy-MM-dd"_s),
                                    QString::number(1000 + w), QString::number(ops), u"w%1"_s.arg(w)});
    QVERIFY2(cg::test::Children::waitFor([&] { return cg::test::Children::allEnded(writers); }, 240000),
             "workers did not finish in time");
    const qint64 writeMs = clock.elapsed();
    QStringList reported;
    int busy = 0, conflicts = 0;
    for (auto *w : writers) {
        w->read();
        QVERIFY2(w->process.exitStatus() == QProcess::NormalExit && w->process.exitCode() == 0, w->out.right(300).constData());
        QVERIFY2(w->out.contains("\nDONE "), w->out.right(300).constData());
        reported += cg::test::reportedResults(w->out);
        const QStringList done = QString::fromUtf8(w->out).section(u"\nDONE "_s, 1).split(u' ');
        busy += done.value(2).toInt();
        conflicts += done.value(4).toInt();
    }

    // Every result seen to succeed is recorded once, and nothing else is.
    const QStringList recorded = cg::test::recordedResults(db);
    QString diff = cg::test::multisetDifference(reported, recorded);
    QVERIFY2(diff.isEmpty(), qPrintable(u"reported vs recorded: "_s + diff));
    // Every result sent one event, and no event came without its result.
    const QStringList events = cg::test::storedEvents(db, kStation, firstEvent);
    QStringList eventKeys;
    for (const QString &e : events)
        eventKeys << e.section(u'|', 0, 1);
    diff = cg::test::multisetDifference(cg::test::impliedEvents(recorded), eventKeys);
    QVERIFY2(diff.isEmpty(), qPrintable(u"results vs events: "_s + diff));
    const QStringList faults = cg::test::lampFaults(db, kContext, kUnit, kStation, day);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.mid(0, 10).join(u'\n')));
    QVERIFY(cg::test::integrityCheck(db) == u"ok"_s);

    // Every listener heard each event once, in the order of the outbox.
    const QString heard = cg::test::Children::heardExactly(listeners, events);
    QVERIFY2(heard.isEmpty(), qPrintable(heard));
    qInfo("%s: %d workstations x %d operations in %lld ms: %lld results, %d busy, %d conflicts, %lld events, "
          "each heard by %d listeners",
          qPrintable(backend), workers, ops, writeMs, qint64(reported.size()), busy, conflicts,
          qint64(events.size()), kListeners);
}

QTEST_GUILESS_MAIN(TestManyWorkstations)
#include "tst_manyworkstations.moc"
