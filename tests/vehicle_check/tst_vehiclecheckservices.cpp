// Condition and appearance check operations on SQLite and PostgreSQL: check
// numbers under concurrency, verdicts with their events, undo, forced passes
// and the condition list's filters.

#include "support/fixturetime.h"
#include "../services/dbtestenv.h"

#include "core/dates.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QTest>
#include <QThread>

#include <atomic>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

const QString kCtx = u"[wg][440100001][440101][0]"_s;

QDateTime today() { return QDateTime(cg::test::fixtureDay(), QTime(0, 0)); }

void seed(Database &db)
{
    db.migrate();
    db.exec(u"INSERT INTO vehicles (license_id, license, company_name, ic_card_id, is_cond) VALUES "
            u"('V1', '粤A10001', 'C01[天河运输]', '0000000001', 1), "
            u"('V2', '粤A10002', 'C01[天河运输]', '0000000002', 0), "
            u"('V3', '粤B20003', 'C02[白云客运]', '0000000003', 1)"_s);
    db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, license_id, license_tag_no, end_station_name) "
            u"VALUES ('440100001', ?, 'K001', ?, 'V1', '粤A10001', '佛山')"_s,
            {today(), today().addSecs(8 * 3600)});
}

struct Event {
    QString event, key;
    int lamp, count;
    QString checker;
};

QList<Event> events(Database &db)
{
    const RecordSet rs = db.select(u"SELECT event, COALESCE(license, bus_id) AS k, lamp, check_count, checker "
                                   u"FROM check_events ORDER BY id"_s,
                                   {},
                                   {{u"lamp"_s, FieldType::Integer, 0}, {u"check_count"_s, FieldType::Integer, 0}});
    QList<Event> out;
    for (int r = 0; r < rs.RecordCount(); ++r)
        out.append({rs.valueAt(r, u"event"_s).toString(), rs.valueAt(r, u"k"_s).toString(),
                    rs.valueAt(r, u"lamp"_s).toInt(), rs.valueAt(r, u"check_count"_s).toInt(),
                    rs.valueAt(r, u"checker"_s).toString()});
    return out;
}

int count(Database &db, const QString &sql, const QVariantList &binds = {})
{
    return db.scalar(sql, binds).toInt();
}

} // namespace

class TestInspectionServices : public QObject {
    Q_OBJECT
private slots:
    void startNumbersChecksOfTheDay_data() { test::TestDatabase::addBackendRows(); }
    void startNumbersChecksOfTheDay()
    {
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime now = cg::test::fixtureNow();
        QCOMPARE(svc.StartConditionCheck(kCtx, now, u"0000000001"_s, u"粤A10001"_s), u"1"_s);
        QCOMPARE(svc.StartConditionCheck(kCtx, now, u"0000000001"_s, u"粤A10001"_s), u"2"_s);
        QCOMPARE(svc.StartConditionCheck(kCtx, now, u"0000000001"_s, u"粤A10001"_s), u"3"_s);
        // Another vehicle and another day count on their own.
        QCOMPARE(svc.StartConditionCheck(kCtx, now, u""_s, u"粤B20003"_s), u"1"_s);
        QCOMPARE(svc.StartConditionCheck(kCtx, now.addDays(-1), u""_s, u"粤A10001"_s), u"1"_s);
        // Starting sends nothing: there is no verdict yet.
        QVERIFY(events(db).isEmpty());
        QVERIFY_THROWS_EXCEPTION(ServiceError, svc.StartConditionCheck(kCtx, now, u""_s, u"粤Z99999"_s));
    }

    void concurrentStartsTakeDistinctNumbers_data() { test::TestDatabase::addBackendRows(); }
    void concurrentStartsTakeDistinctNumbers()
    {
        CG_FRESH_DB(db);
        seed(db);
        const QDateTime now = cg::test::fixtureNow();
        constexpr int kPerThread = 6;
        std::atomic<int> failures{0};
        QStringList got[2];
        auto work = [&](int t) {
            CheckService svc(db, cg::test::fixtureClock());
            for (int i = 0; i < kPerThread; ++i) {
                try {
                    got[t] << svc.StartConditionCheck(kCtx, now, u""_s, u"粤A10001"_s);
                } catch (...) {
                    ++failures;
                }
            }
        };
        QThread *a = QThread::create(work, 0);
        QThread *b = QThread::create(work, 1);
        a->start();
        b->start();
        QVERIFY(a->wait(60000));
        QVERIFY(b->wait(60000));
        delete a;
        delete b;
        QCOMPARE(failures.load(), 0);
        QStringList all = got[0] + got[1];
        std::sort(all.begin(), all.end(), [](const QString &x, const QString &y) { return x.toInt() < y.toInt(); });
        QStringList expected;
        for (int i = 1; i <= 2 * kPerThread; ++i)
            expected << QString::number(i);
        QCOMPARE(all, expected);
    }

    void verdictsUndoAndEvents_data() { test::TestDatabase::addBackendRows(); }
    void verdictsUndoAndEvents()
    {
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime now = cg::test::fixtureNow().addSecs(-60);
        QCOMPARE(svc.StartConditionCheck(kCtx, now, u""_s, u"粤A10001"_s), u"1"_s);
        QCOMPARE(svc.UpdateConditionCheckResult(kCtx, u"粤A10001"_s, now, false, u"王检"_s, u"不合格条目:灯光"_s),
                 QString());
        // The started check got the verdict: no second row.
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM condition_checks"_s), 1);
        QList<Event> ev = events(db);
        QCOMPARE(ev.size(), 1);
        QCOMPARE(ev[0].event, u"TechCheck"_s);
        QCOMPARE(ev[0].key, u"粤A10001"_s);
        QCOMPARE(ev[0].lamp, 2);
        QCOMPARE(ev[0].count, 1);
        QCOMPARE(ev[0].checker, u"王检"_s);

        // A first result without a started check starts one.
        QCOMPARE(svc.AddConditionCheckResult(kCtx, u"粤A10001"_s, now.addSecs(30), true, u"王检"_s, u"无"_s),
                 QString());
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM condition_checks WHERE cond_status = 1 AND cond_index = 2"_s), 1);
        ev = events(db);
        QCOMPARE(ev.last().lamp, 1);
        QCOMPARE(ev.last().count, 2);

        // The gate's lamp follows the latest verdict.
        RecordSet trips = svc.QueryDayTrips(kCtx, today(), u"K001"_s, {}, {}, {}, {}, 1, {});
        QCOMPARE(trips.valueAt(0, u"StateStatus"_s).toInt(), 1);

        // Undo takes the latest verdict back: the earlier one decides again.
        QCOMPARE(svc.CancelConditionCheck(kCtx, today(), u"粤A10001"_s, today()), QString());
        ev = events(db);
        QCOMPARE(ev.size(), 3);
        QCOMPARE(ev.last().lamp, 2);
        QCOMPARE(ev.last().count, 1);
        trips = svc.QueryDayTrips(kCtx, today(), u"K001"_s, {}, {}, {}, {}, 1, {});
        QCOMPARE(trips.valueAt(0, u"StateStatus"_s).toInt(), 2);

        // Refusals write nothing, event included.
        QVERIFY(!svc.AddConditionCheckResult(kCtx, u""_s, now, true, u"王检"_s, u"无"_s).isEmpty());
        QVERIFY_THROWS_EXCEPTION(ServiceError,
                                 svc.AddConditionCheckResult(kCtx, u"粤Z99999"_s, now, true, u"王检"_s, u"无"_s));
        QVERIFY(!svc.CancelConditionCheck(kCtx, today(), u"粤B20003"_s, today()).isEmpty());
        QCOMPARE(events(db).size(), 3);

        // The verdict and its event commit together: an event that cannot
        // be written (no station in the context) takes the verdict back.
        QVERIFY_THROWS_EXCEPTION(ServiceError, svc.UpdateConditionCheckResult(u"bad"_s, u"粤A10001"_s, now, true,
                                                                              u"王检"_s, u"无"_s));
        QVERIFY_THROWS_EXCEPTION(ServiceError, svc.AddAppearanceCheckResult(u"bad"_s, today(), u"K001"_s,
                                                                            u"粤A10001"_s, now, true, u"王检"_s));
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM condition_checks WHERE cond_status = 2 AND cancelled = 0"_s), 1);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM appearance_checks"_s), 0);
        QCOMPARE(events(db).size(), 3);
    }

    // F4/F5 on a vehicle already checked today used to overwrite the
    // earlier verdict (its checker, time, failed items, even a forced pass).
    // Every verdict is a check of its own, and the records show the day.
    void laterVerdictIsANewCheck_data() { test::TestDatabase::addBackendRows(); }
    void laterVerdictIsANewCheck()
    {
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime now = cg::test::fixtureNow();
        QCOMPARE(svc.StartConditionCheck(kCtx, now.addSecs(-600), u""_s, u"粤A10001"_s), u"1"_s);
        svc.UpdateConditionCheckResult(kCtx, u"粤A10001"_s, now.addSecs(-600), false, u"王检"_s, u"不合格条目:灯光"_s);
        svc.UpdateConditionCheckResult(kCtx, u"粤A10001"_s, now.addSecs(-300), true, u"李检"_s, QString());
        svc.ForcePassConditionCheck(kCtx, today(), 0, u"K001"_s, u"粤A10001"_s, now.addSecs(-200), 2, u"调度甲"_s,
                                    u""_s, u"440101"_s);
        svc.UpdateConditionCheckResult(kCtx, u"粤A10001"_s, now.addSecs(-100), false, u"赵检"_s, QString());
        // Taken in and left without a verdict: not a record.
        svc.StartConditionCheck(kCtx, now, u""_s, u"粤A10001"_s);

        const RecordSet recs = svc.QueryConditionCheckRecords(kCtx, today(), u"粤A10001"_s, 0);
        QStringList got;
        for (int r = 0; r < recs.RecordCount(); ++r)
            got << u"%1:%2:%3:%4"_s.arg(recs.valueAt(r, u"cond_index"_s).toString(),
                                        recs.valueAt(r, u"cond_status"_s).toString(),
                                        recs.valueAt(r, u"cond_checker"_s).toString(),
                                        recs.valueAt(r, u"check_cause"_s).toString());
        QCOMPARE(got, (QStringList{u"1:2:王检:不合格条目:灯光"_s, u"2:1:李检:"_s, u"3:5:调度甲:强行通过"_s,
                                   u"4:2:赵检:"_s}));
        QCOMPARE(recs.valueAt(0, u"cond_time"_s).toDateTime(), now.addSecs(-600));
        // The open check does not decide the lamp: the latest verdict does.
        const RecordSet trips = svc.QueryDayTrips(kCtx, today(), u"K001"_s, {}, {}, {}, {}, 1, {});
        QCOMPARE(trips.valueAt(0, u"StateStatus"_s).toInt(), 2);
        QCOMPARE(events(db).last().count, 4);
    }

    // Two checks taken in today, the first abandoned: the verdict goes into
    // the one the item dialog started last, the abandoned one stays open.
    void verdictGoesIntoTheLatestOpenCheck_data() { test::TestDatabase::addBackendRows(); }
    void verdictGoesIntoTheLatestOpenCheck()
    {
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime now = cg::test::fixtureNow();
        QCOMPARE(svc.StartConditionCheck(kCtx, now.addSecs(-900), u""_s, u"粤A10001"_s), u"1"_s);
        QCOMPARE(svc.StartConditionCheck(kCtx, now.addSecs(-300), u""_s, u"粤A10001"_s), u"2"_s);
        QCOMPARE(svc.AddConditionCheckResult(kCtx, u"粤A10001"_s, now, true, u"王检"_s, u"无"_s), QString());
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM condition_checks"_s), 2);
        QCOMPARE(count(db, u"SELECT cond_status FROM condition_checks WHERE cond_index = 1"_s), 0);
        QCOMPARE(count(db, u"SELECT cond_status FROM condition_checks WHERE cond_index = 2"_s), 1);
        const RecordSet recs = svc.QueryConditionCheckRecords(kCtx, today(), u"粤A10001"_s, 0);
        QCOMPARE(recs.RecordCount(), 1);
        QCOMPARE(recs.valueAt(0, u"cond_index"_s).toInt(), 2);
    }

    void forcedPasses_data() { test::TestDatabase::addBackendRows(); }
    void forcedPasses()
    {
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime now = cg::test::fixtureNow();
        svc.AddConditionCheckResult(kCtx, u"粤A10001"_s, now.addSecs(-120), false, u"王检"_s, u"不合格条目:灯光"_s);
        svc.ForcePassConditionCheck(kCtx, today(), 0, u"K001"_s, u"粤A10001"_s, now, 2, u"调度甲"_s, u""_s,
                                    u"440101"_s);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM forced_releases WHERE pass_type = 2 AND bus_id = 'K001' "
                           u"AND license_id = 'V1' AND operator_name = '调度甲' AND unit_code = '440101'"_s),
                 1);
        QCOMPARE(events(db).last().lamp, 5);
        RecordSet recs = svc.QueryTripConditionChecks(kCtx, today(), u"K001"_s, u""_s);
        QCOMPARE(recs.RecordCount(), 2);
        QCOMPARE(recs.valueAt(1, u"cond_status"_s).toInt(), 5);
        QCOMPARE(recs.valueAt(1, u"cond_checker"_s).toString(), u"调度甲"_s);
        RecordSet trips = svc.QueryDayTrips(kCtx, today(), u"K001"_s, {}, {}, {}, {}, 1, {});
        QCOMPARE(trips.valueAt(0, u"StateStatus"_s).toInt(), 5);
        // The wrong kind is refused and writes nothing.
        QVERIFY_THROWS_EXCEPTION(ServiceError, svc.ForcePassConditionCheck(kCtx, today(), 0, u"K001"_s,
                                                                           u"粤A10001"_s, now, 1, u"调度甲"_s,
                                                                           u""_s, u"440101"_s));
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM forced_releases"_s), 1);

        svc.ForcePassAppearanceCheck(kCtx, today(), u"K001"_s, u"粤A10001"_s, now, 1, u"调度甲"_s, u""_s,
                                     u"440101"_s);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM forced_releases WHERE pass_type = 1"_s), 1);
        trips = svc.QueryDayTrips(kCtx, today(), u"K001"_s, {}, {}, {}, {}, 1, {});
        QCOMPARE(trips.valueAt(0, u"AppearanceStatus"_s).toInt(), 5);
        QCOMPARE(events(db).last().event, u"FaceCheck"_s);
        QCOMPARE(events(db).last().lamp, 5);
    }

    void appearanceChecksCountAndUndo_data() { test::TestDatabase::addBackendRows(); }
    void appearanceChecksCountAndUndo()
    {
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime now = cg::test::fixtureNow();
        svc.AddAppearanceCheckResult(kCtx, today(), u"K001"_s, u"粤A10001"_s, now, false, u"赵检"_s);
        svc.UpdateAppearanceCheckResult(kCtx, today(), u"K001"_s, u"粤A10001"_s, now.addSecs(60), true, u"钱检"_s);
        RecordSet t = svc.QueryDayTrips(kCtx, today(), u"K001"_s, {}, {}, {}, {}, 1, {});
        QCOMPARE(t.valueAt(0, u"AppearanceStatus"_s).toInt(), 1);
        QCOMPARE(t.valueAt(0, u"face_check_num"_s).toInt(), 2);
        QCOMPARE(t.valueAt(0, u"face_checker"_s).toString(), u"钱检"_s);
        RecordSet recs = svc.QueryTripAppearanceChecks(kCtx, today(), u"K001"_s);
        QCOMPARE(recs.RecordCount(), 2);
        QCOMPARE(recs.valueAt(1, u"face_index"_s).toInt(), 2);

        QCOMPARE(svc.CancelAppearanceCheck(kCtx, today(), u"K001"_s, u"粤A10001"_s), QString());
        t = svc.QueryDayTrips(kCtx, today(), u"K001"_s, {}, {}, {}, {}, 1, {});
        QCOMPARE(t.valueAt(0, u"AppearanceStatus"_s).toInt(), 2);
        QCOMPARE(t.valueAt(0, u"face_check_num"_s).toInt(), 1);
        QCOMPARE(events(db).size(), 3);
        QCOMPARE(events(db).last().count, 1);

        svc.CancelAppearanceCheck(kCtx, today(), u"K001"_s, u"粤A10001"_s);
        t = svc.QueryDayTrips(kCtx, today(), u"K001"_s, {}, {}, {}, {}, 1, {});
        QCOMPARE(t.valueAt(0, u"AppearanceStatus"_s).toInt(), 0);
        QVERIFY(IsNoDate(t.valueAt(0, u"face_check_time"_s).toDateTime()));
        // Nothing left to undo, and an unknown trip: no event.
        QVERIFY(!svc.CancelAppearanceCheck(kCtx, today(), u"K001"_s, u"粤A10001"_s).isEmpty());
        QVERIFY_THROWS_EXCEPTION(ServiceError, svc.AddAppearanceCheckResult(kCtx, today(), u"K999"_s, u""_s, now,
                                                                            true, u"赵检"_s));
        QCOMPARE(events(db).size(), 4);
    }

    void conditionListFilters_data() { test::TestDatabase::addBackendRows(); }
    void conditionListFilters()
    {
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        const QDateTime now = cg::test::fixtureNow();
        svc.AddConditionCheckResult(kCtx, u"粤B20003"_s, now.addSecs(-30), true, u"王检"_s, u"无"_s);
        const QString todayLit = u"'"_s + today().toString(u"yyyy-MM-dd HH:mm:ss"_s) + u"'"_s;
        const QString extra = u"( is_cond=1 or   bus_date= "_s + todayLit + u")"_s;
        RecordSet rs = svc.QueryConditionCheckVehicles(kCtx, today(), u""_s, u" 1=1  AND status= 0"_s,
                                                       u" cond_time1 desc "_s, extra, false);
        // V2 needs no check and was not checked today: not listed.
        QCOMPARE(rs.RecordCount(), 2);
        QCOMPARE(rs.valueAt(0, u"license"_s).toString(), u"粤B20003"_s);
        QCOMPARE(rs.valueAt(0, u"cond_status1"_s).toInt(), 1);
        QCOMPARE(rs.valueAt(0, u"cond_check_num1"_s).toInt(), 1);
        QCOMPARE(rs.valueAt(0, u"cond_checker1"_s).toString(), u"王检"_s);
        QVERIFY(IsNoDate(rs.valueAt(1, u"cond_time1"_s).toDateTime()));

        rs = svc.QueryConditionCheckVehicles(kCtx, today(), u""_s, u" 1=1 "_s, u""_s, extra, true);
        QCOMPARE(rs.RecordCount(), 1);
        rs = svc.QueryConditionCheckVehicles(kCtx, today(), u""_s, u" v.license = '粤A10001'"_s, u""_s,
                                             u"( is_cond=1)"_s, false);
        QCOMPARE(rs.RecordCount(), 1);
        QVERIFY_THROWS_EXCEPTION(ServiceError,
                                 svc.QueryConditionCheckVehicles(kCtx, today(), u""_s, u"1=1; DELETE FROM vehicles"_s,
                                                                 u""_s, u""_s, false));
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM vehicles"_s), 3);
    }
};

QTEST_GUILESS_MAIN(TestInspectionServices)
#include "tst_vehiclecheckservices.moc"
