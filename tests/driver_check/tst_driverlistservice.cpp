// Cancelling check-ins, the temporary drivers of a route and the forced
// driver pass, on both backends.
#include "support/fixturetime.h"
#include "tst_driverlist_fixture.h"

#include "../services/dbtestenv.h"

#include "services/checks/checkservice.h"
#include "services/database/serviceerror.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace cg {

class tst_DriverListService : public QObject {
    Q_OBJECT

    struct Event {
        QString busId;
        int lamp;
    };
    static QList<Event> driverEvents(Database &db)
    {
        QList<Event> out;
        RecordSet rs = db.select(u"SELECT bus_id, lamp FROM check_events WHERE event = 'DriverCheck' ORDER BY id"_s,
                                 {}, {{u"lamp"_s, FieldType::Integer, 0}});
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
            out.append({rs.value(u"bus_id"_s).toString(), rs.value(u"lamp"_s).toInt()});
        return out;
    }
    static int lampOf(Database &db, const QString &busId)
    {
        return db.scalar(u"SELECT driver_verify_status FROM trips WHERE bus_id = ?"_s, {busId}).toInt();
    }
    // The driver lamp of every trip and rolling run, by the code the lists show.
    static QMap<QString, int> driverLamps(Database &db)
    {
        QMap<QString, int> out;
        RecordSet rs = db.select(u"SELECT bus_id AS code, driver_verify_status AS lamp FROM trips UNION ALL "
                                 u"SELECT bus_id || '-' || bus_serial_no, driver_verify_status FROM rolling_trips"_s,
                                 {}, {{u"lamp"_s, FieldType::Integer, 0}});
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
            out.insert(rs.value(u"code"_s).toString(), rs.value(u"lamp"_s).toInt());
        return out;
    }
    // The seeded lamps with one trip's changed.
    static QMap<QString, int> lampsAfter(const QString &code, int lamp)
    {
        QMap<QString, int> out{{u"K001"_s, 0}, {u"K002"_s, 3}, {u"RL1-1"_s, 0}, {u"RL1-2"_s, 0}, {u"RL2-1"_s, 0}};
        out.insert(code, lamp);
        return out;
    }
    static int count(Database &db, const QString &table)
    {
        return db.scalar(u"SELECT COUNT(*) FROM "_s + table).toInt();
    }

private slots:
    void cancelRecomputesLamp_data() { test::TestDatabase::addBackendRows(); }
    void cancelRecomputesLamp()
    {
        CG_FRESH_DB(db);
        test::seedDriverListStation(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime today = test::checkinToday();
        const QDateTime now = today.addSecs(8 * 3600);
        QCOMPARE(svc.CheckInDriver(test::kCheckinCtx, u"K001"_s, today, u"D01"_s, now, u"王刚"_s, u"R01"_s), QString());
        QCOMPARE(svc.CheckInDriver(test::kCheckinCtx, u"K001"_s, today, u"D02"_s, now, u"王刚"_s, u"R01"_s), QString());
        QCOMPARE(svc.CheckInDriver(test::kCheckinCtx, u"K002"_s, today, u"D01"_s, now, u"王刚"_s, u"R01"_s), QString());
        db.exec(u"DELETE FROM check_events"_s);

        // One of two drivers gone: the check still stands.
        QCOMPARE(svc.CancelDriverCheckIn(test::kCheckinCtx, u"K001"_s, today, u"D01"_s, u"R01"_s, u"粤A10001"_s),
                 QString());
        QCOMPARE(lampOf(db, u"K001"_s), 1);
        // The last one gone: not checked any more.
        QCOMPARE(svc.CancelDriverCheckIn(test::kCheckinCtx, u"K001"_s, today, u"D02"_s, u"R01"_s, u"粤A10001"_s),
                 QString());
        QCOMPARE(lampOf(db, u"K001"_s), 0);
        // A trip that needs no driver check keeps 3.
        QCOMPARE(svc.CancelDriverCheckIn(test::kCheckinCtx, u"K002"_s, today, u"D01"_s, QString(), QString()),
                 QString());
        QCOMPARE(lampOf(db, u"K002"_s), 3);
        const QList<Event> events = driverEvents(db);
        QCOMPARE(events.size(), 3);
        QCOMPARE(events[0].lamp, 1);
        QCOMPARE(events[1].lamp, 0);
        QCOMPARE(events[1].busId, u"K001"_s);
        QCOMPARE(events[2].lamp, 3);

        // Nothing left to cancel (another workstation was first): refused,
        // nothing written, nothing sent.
        const QString again =
            svc.CancelDriverCheckIn(test::kCheckinCtx, u"K001"_s, today, u"D01"_s, u"R01"_s, u"粤A10001"_s);
        QVERIFY(!again.isEmpty());
        QCOMPARE(driverEvents(db).size(), 3);
        RecordSet rows = db.select(u"SELECT is_driver, cancel_operator, cancel_time FROM driver_checkins "
                                   u"WHERE bus_id = 'K001' AND driver_run_id = 'D01'"_s,
                                   {}, {{u"is_driver"_s, FieldType::Integer, 0},
                                        {u"cancel_time"_s, FieldType::DateTime, 0}});
        QCOMPARE(rows.RecordCount(), 1);
        rows.MoveFirst();
        QCOMPARE(rows.value(u"is_driver"_s).toInt(), 0);
        QCOMPARE(rows.value(u"cancel_operator"_s).toString(), u"王刚"_s);
        QVERIFY(rows.value(u"cancel_time"_s).toDateTime().isValid());
        // A cancelled driver may check in again.
        QCOMPARE(svc.CheckInDriver(test::kCheckinCtx, u"K001"_s, today, u"D01"_s, now, u"王刚"_s, u"R01"_s), QString());
        QCOMPARE(lampOf(db, u"K001"_s), 1);
    }

    void forcePass_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("busId");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<bool>("recorded");
        QTest::addColumn<QString>("checkinKey");
        QTest::addColumn<int>("lamp");
        for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
            const QByteArray p = b.toUtf8() + ' ';
            QTest::newRow((p + "timetable, unarranged driver").constData()) << b << u"K001"_s << u"D03"_s << true << u"K001"_s << 5;
            // A trip that needs no driver check keeps its grey lamp.
            QTest::newRow((p + "no driver check needed").constData()) << b << u"K002"_s << u"D01"_s << true
                                                                      << u"K002"_s << 3;
            QTest::newRow((p + "rolling code-serial").constData()) << b << u"RL1-2"_s << u"D01"_s << true << u"RL1-2"_s << 5;
            QTest::newRow((p + "rolling code run once").constData()) << b << u"RL2"_s << u"D01"_s << true << u"RL2-1"_s << 5;
            QTest::newRow((p + "rolling code run twice").constData()) << b << u"RL1"_s << u"D01"_s << false << QString() << 0;
            QTest::newRow((p + "unknown trip").constData()) << b << u"X999"_s << u"D01"_s << false << QString() << 0;
            QTest::newRow((p + "unknown serial").constData()) << b << u"RL1-7"_s << u"D01"_s << false << QString() << 0;
            QTest::newRow((p + "unknown driver").constData()) << b << u"K001"_s << u"D99"_s << false << QString() << 0;
        }
    }
    void forcePass()
    {
        CG_FRESH_DB(db);
        QFETCH(QString, busId);
        QFETCH(QString, driver);
        QFETCH(bool, recorded);
        QFETCH(QString, checkinKey);
        QFETCH(int, lamp);
        test::seedDriverListStation(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime today = test::checkinToday();
        const QDateTime now = today.addSecs(8 * 3600 + 61);
        const QString answer = svc.ForceDriverPass(test::kCheckinCtx, busId, today, driver, now, u"王刚"_s,
                                                   u"粤A10001"_s, u"指纹仪故障"_s, 3);
        if (!recorded) {
            QVERIFY(!answer.isEmpty());
            QCOMPARE(count(db, u"forced_releases"_s), 0);
            QCOMPARE(count(db, u"driver_checkins"_s), 0);
            QCOMPARE(count(db, u"check_events"_s), 0);
            return;
        }
        QCOMPARE(answer, QString());
        QCOMPARE(svc.QueryTripDriverRecords(test::kCheckinCtx, today, checkinKey, {}, {}).RecordCount(), 1);
        RecordSet f = db.select(u"SELECT bus_id, license_id, driver_id, pass_type, operator_name, operate_time, "
                                u"cause, unit_code FROM forced_releases"_s,
                                {}, {{u"pass_type"_s, FieldType::Integer, 0},
                                     {u"operate_time"_s, FieldType::DateTime, 0}});
        QCOMPARE(f.RecordCount(), 1);
        f.MoveFirst();
        QCOMPARE(f.value(u"bus_id"_s).toString(), checkinKey);
        QCOMPARE(f.value(u"pass_type"_s).toInt(), 3);
        QCOMPARE(f.value(u"driver_id"_s).toString(), driver);
        QCOMPARE(f.value(u"operator_name"_s).toString(), u"王刚"_s);
        QCOMPARE(f.value(u"operate_time"_s).toDateTime(), now);
        QCOMPARE(f.value(u"cause"_s).toString(), u"指纹仪故障"_s);
        QCOMPARE(f.value(u"unit_code"_s).toString(), u"440101"_s);
        QVERIFY(!f.value(u"license_id"_s).toString().isEmpty());
        const QList<Event> events = driverEvents(db);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].busId, checkinKey);
        QCOMPARE(events[0].lamp, lamp);
        // The lamp of that one trip (of that one run of a rolling code);
        // every other trip keeps its own.
        QCOMPARE(driverLamps(db), lampsAfter(checkinKey, lamp));
    }

    // A driver already checked in keeps his one check-in; the trip is drawn
    // as passed. Cancelling the forced driver leaves a plain pass behind.
    void forcePassOverCheckIn_data() { test::TestDatabase::addBackendRows(); }
    void forcePassOverCheckIn()
    {
        CG_FRESH_DB(db);
        test::seedDriverListStation(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime today = test::checkinToday();
        const QDateTime now = today.addSecs(8 * 3600);
        QCOMPARE(svc.CheckInDriver(test::kCheckinCtx, u"K001"_s, today, u"D01"_s, now, u"王刚"_s, u"R01"_s), QString());
        QCOMPARE(svc.ForceDriverPass(test::kCheckinCtx, u"K001"_s, today, u"D01"_s, now, u"王刚"_s, QString(),
                                     QString(), 3),
                 QString());
        QCOMPARE(svc.QueryTripDriverRecords(test::kCheckinCtx, today, u"K001"_s, {}, {}).RecordCount(), 1);
        QCOMPARE(lampOf(db, u"K001"_s), 5);
        QCOMPARE(svc.ForceDriverPass(test::kCheckinCtx, u"K001"_s, today, u"D02"_s, now, u"王刚"_s, QString(),
                                     QString(), 3),
                 QString());
        QCOMPARE(svc.CancelDriverCheckIn(test::kCheckinCtx, u"K001"_s, today, u"D01"_s, QString(), QString()),
                 QString());
        QCOMPARE(lampOf(db, u"K001"_s), 5); // D02 still stands on his forced pass
        // D01 checks in by fingerprint after his forced pass: a plain check-in.
        QCOMPARE(svc.CheckInDriver(test::kCheckinCtx, u"K001"_s, today, u"D01"_s, now.addSecs(600), u"王刚"_s,
                                   u"R01"_s),
                 QString());
        QCOMPARE(svc.CancelDriverCheckIn(test::kCheckinCtx, u"K001"_s, today, u"D02"_s, QString(), QString()),
                 QString());
        QCOMPARE(lampOf(db, u"K001"_s), 1);
        QVERIFY_THROWS_EXCEPTION(ServiceError, svc.ForceDriverPass(test::kCheckinCtx, u"K001"_s, today, u"D01"_s,
                                                                   now, u"王刚"_s, QString(), QString(), 2));
    }

    // The event cannot be written: the check-in, the release and the lamp
    // are not kept either.
    void forcePassAtomic_data() { test::TestDatabase::addBackendRows(); }
    void forcePassAtomic()
    {
        CG_FRESH_DB(db);
        test::seedDriverListStation(db);
        db.exec(u"ALTER TABLE check_events RENAME TO check_events_away"_s);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime today = test::checkinToday();
        QVERIFY_THROWS_EXCEPTION(ServiceError,
                                 svc.ForceDriverPass(test::kCheckinCtx, u"K001"_s, today, u"D01"_s,
                                                     today.addSecs(3600), u"王刚"_s, QString(), QString(), 3));
        QCOMPARE(count(db, u"forced_releases"_s), 0);
        QCOMPARE(count(db, u"driver_checkins"_s), 0);
        QCOMPARE(lampOf(db, u"K001"_s), 0);
    }

    void temporaryDrivers_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("route");
        QTest::addColumn<QStringList>("drivers");
        for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
            const QByteArray p = b.toUtf8() + ' ';
            // R01: D01 arranged to V1, D02 arranged to V1 for today, D03 lent.
            QTest::newRow((p + "route with trips").constData()) << b << u"R01"_s << QStringList{u"D01"_s, u"D02"_s, u"D03"_s};
            // R05: no trips; D05 lent today, D06's loan is over.
            QTest::newRow((p + "lent only").constData()) << b << u"R05"_s << QStringList{u"D05"_s};
            QTest::newRow((p + "unknown route").constData()) << b << u"R77"_s << QStringList{};
        }
    }
    void temporaryDrivers()
    {
        CG_FRESH_DB(db);
        QFETCH(QString, route);
        QFETCH(QStringList, drivers);
        test::seedDriverListStation(db);
        CheckService svc(db, cg::test::fixtureClock());
        RecordSet rs = svc.QueryTemporaryDrivers(test::kCheckinCtx, QString(), route, QString());
        QStringList got;
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
            got << rs.value(u"driver_no"_s).toString();
        got.sort();
        QCOMPARE(got, drivers);
    }
};

} // namespace cg

QTEST_GUILESS_MAIN(cg::tst_DriverListService)
#include "tst_driverlistservice.moc"
