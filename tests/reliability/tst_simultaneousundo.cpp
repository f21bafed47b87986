// Two stations undo a vehicle's condition check, or a trip's appearance
// check, at the same moment: the undos run as they would one after the
// other. Each undo that answers "done" undid a check of its own and sent
// one event; with nothing left to undo the second is refused and sends
// nothing. On PostgreSQL the second undo once waited for the first, found
// the check it had picked already undone, and still answered "done" and
// sent an event.

#include "core/clock.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "tools/admin.h"
#include "../services/dbtestenv.h"
#include "reliabilitycheck.h"

#include <QScopeGuard>
#include <QTest>
#include <QThread>

#include <thread>

using namespace Qt::StringLiterals;

namespace {

using cg::test::kContext;
using cg::test::kStation;
using cg::test::kUnit;

} // namespace

class TestSimultaneousUndo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void twoStationsUndoAtOnce_data();
    void twoStationsUndoAtOnce();
};

void TestSimultaneousUndo::twoStationsUndoAtOnce_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("appearance");
    QTest::addColumn<int>("checks");
    for (const QString &backend : {u"sqlite"_s, u"postgres"_s}) {
        for (const bool appearance : {false, true}) {
            const char *what = appearance ? "appearance" : "condition";
            // One check: the second undo finds nothing left.
            QTest::addRow("%s-%s-one-check", qPrintable(backend), what) << backend << appearance << 1;
            // Two checks: each undo takes one.
            QTest::addRow("%s-%s-two-checks", qPrintable(backend), what) << backend << appearance << 2;
        }
    }
}

void TestSimultaneousUndo::twoStationsUndoAtOnce()
{
    QFETCH(QString, backend);
    QFETCH(bool, appearance);
    QFETCH(int, checks);
    cg::test::TestDatabase env(backend);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    cg::Database db(env.config());
    const QDate day = QDate::currentDate().addDays(1);
    db.migrate();
    cg::seedDemoStation(db, day);
    const QDateTime busDate(day, QTime(0, 0));
    const cg::ManualClock clock(QDateTime(day, QTime(9, 0)));
    cg::CheckService station(db, clock);
    const cg::RecordSet trips =
        station.QueryDayTrips(kContext, busDate, QString(), QString(), QString(), QString(), QVariant(), 1, kUnit);
    QVERIFY(!trips.isEmpty());
    const QString bus = trips.valueAt(0, u"bus_id"_s).toString();
    const QString plate = trips.valueAt(0, u"license_tag_no"_s).toString();

    for (int i = 0; i < checks; ++i) {
        const QDateTime at = clock.now().addSecs(60 * i);
        if (appearance)
            station.AddAppearanceCheckResult(kContext, busDate, bus, plate, at, i == 0, u"甲"_s);
        else
            QCOMPARE(station.AddConditionCheckResult(kContext, plate, at, i == 0, u"甲"_s, u"v%1"_s.arg(i)), QString());
    }
    const qint64 before = cg::test::lastEventId(db);
    const auto undo = [&](cg::CheckService &s) {
        return appearance ? s.CancelAppearanceCheck(kContext, busDate, bus, plate)
                          : s.CancelConditionCheck(kContext, busDate, plate, busDate);
    };

    // The first station's undo is written but not committed while the
    // second station's undo starts on a connection of its own.
    QString first, second;
    std::thread other;
    const auto joinOther = qScopeGuard([&] {
        if (other.joinable())
            other.join();
    });
    db.transact([&] {
        first = undo(station);
        other = std::thread([&] {
            cg::CheckService otherStation(db, clock);
            try {
                second = undo(otherStation);
            } catch (const std::exception &e) {
                second = u"error: "_s + QString::fromUtf8(e.what());
            }
        });
        QThread::msleep(500);
    });
    other.join();

    QCOMPARE(first, QString());
    const QString undoneSql = appearance
        ? u"SELECT COUNT(*) FROM appearance_checks WHERE cancelled = 1"_s
        : u"SELECT COUNT(*) FROM condition_checks WHERE cancelled = 1"_s;
    const int undone = db.scalar(undoneSql).toInt();
    const QStringList events = cg::test::storedEvents(db, kStation, before);
    if (checks == 1) {
        QVERIFY2(!second.isEmpty() && !second.startsWith(u"error"_s), qPrintable(second));
        QCOMPARE(undone, 1);
        QCOMPARE(events.size(), 1);
    } else {
        QCOMPARE(second, QString());
        QCOMPARE(undone, 2);
        QCOMPARE(events.size(), 2);
    }
    // Nothing is left in force: the lamp the last event carries is 0.
    QVERIFY2(events.last().endsWith(u"|0"_s), qPrintable(events.join(u", "_s)));
}

QTEST_GUILESS_MAIN(TestSimultaneousUndo)
#include "tst_simultaneousundo.moc"
