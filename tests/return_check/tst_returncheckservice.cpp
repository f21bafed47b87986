// Vehicle returns on SQLite and PostgreSQL: card returns and unknown cards,
// confirmations and cancellations with their ReturnCheck events, refusals
// of a stale decision, two stations confirming at once, and the returns in
// force.

#include "support/fixturetime.h"
#include "../services/dbtestenv.h"

#include "core/dates.h"
#include "services/checks/checkservice.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"

#include <QTest>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

const QString kCtx = u"[wg][440100001][440101][0]"_s;

QDateTime at(int hour, int minute) { return QDateTime(cg::test::fixtureDay(), QTime(hour, minute)); }

void seed(Database &db)
{
    db.migrate();
    db.exec(u"INSERT INTO vehicles (license_id, license, company_name, ic_card_id) VALUES "
            u"('V1', '粤A10001', 'C01[天河运输]', '0000000001'), "
            u"('V2', '粤A10002', 'C01[天河运输]', '0000000002'), "
            u"('V3', '粤B20003', 'C02[白云客运]', '')"_s);
}

struct Event {
    QString station, license;
    QDateTime date;
    int lamp;
    QDateTime time;
    QString checker;
};

QList<Event> events(Database &db)
{
    const RecordSet rs = db.select(
        u"SELECT station_code, event, license, bus_date, lamp, check_time, checker FROM check_events ORDER BY id"_s, {},
        {{u"lamp"_s, FieldType::Integer, 0},
         {u"bus_date"_s, FieldType::DateTime, 0},
         {u"check_time"_s, FieldType::DateTime, 0}});
    QList<Event> out;
    for (int r = 0; r < rs.RecordCount(); ++r) {
        if (rs.valueAt(r, u"event"_s).toString() != u"ReturnCheck"_s)
            continue;
        out.append({rs.valueAt(r, u"station_code"_s).toString(), rs.valueAt(r, u"license"_s).toString(),
                    rs.valueAt(r, u"bus_date"_s).toDateTime(), rs.valueAt(r, u"lamp"_s).toInt(),
                    rs.valueAt(r, u"check_time"_s).toDateTime(), rs.valueAt(r, u"checker"_s).toString()});
    }
    return out;
}

int count(Database &db, const QString &sql) { return db.scalar(sql).toInt(); }

struct State {
    int status;
    QDateTime time;
    QString checker;
};

State stateOf(Database &db, const QString &code)
{
    const RecordSet rs = db.select(u"SELECT COALESCE(s.return_status, 0) AS return_status, s.return_time, "
                                   u"s.return_checker FROM vehicles v LEFT JOIN vehicle_return_states s "
                                   u"ON s.station_code = '440100001' AND s.license_id = v.license_id "
                                   u"WHERE v.license_id = ?"_s,
                                   {code},
                                   {{u"return_status"_s, FieldType::Integer, 0},
                                    {u"return_time"_s, FieldType::DateTime, 0}});
    return {rs.valueAt(0, u"return_status"_s).toInt(), rs.valueAt(0, u"return_time"_s).toDateTime(),
            rs.valueAt(0, u"return_checker"_s).toString()};
}

QStringList recentPlates(CheckService &svc)
{
    const RecordSet rs = svc.QueryRecentReturns(kCtx, at(0, 0));
    QStringList plates;
    for (int r = 0; r < rs.RecordCount(); ++r)
        plates << rs.valueAt(r, u"license"_s).toString();
    return plates;
}

} // namespace

class TestReturnService : public QObject {
    Q_OBJECT
private slots:
    void cardReturnRecordsAndPublishes_data() { test::TestDatabase::addBackendRows(); }
    void cardReturnRecordsAndPublishes()
    {
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        // The reader's time carries milliseconds; what is kept is the second.
        const QDateTime when = at(9, 30).addMSecs(12345);
        const ReturnRegistration r = svc.RegisterReturnByCard(kCtx, when, u"王刚"_s, u" 0000000002 "_s);
        QCOMPARE(r.license, u"粤A10002"_s);
        QCOMPARE(r.licenseId, u"V2"_s);
        const State s = stateOf(db, u"V2"_s);
        QCOMPARE(s.status, 1);
        QCOMPARE(s.time, at(9, 30).addSecs(12));
        QCOMPARE(s.checker, u"王刚"_s);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM vehicle_returns WHERE license_id = 'V2' AND returned = 1 "
                           u"AND ic_card_id = '0000000002'"_s),
                 1);
        const QList<Event> ev = events(db);
        QCOMPARE(ev.size(), 1);
        QCOMPARE(ev[0].station, u"440100001"_s);
        QCOMPARE(ev[0].license, u"粤A10002"_s);
        QCOMPARE(ev[0].date, at(0, 0));
        QCOMPARE(ev[0].lamp, 1);
        QCOMPARE(ev[0].time, s.time);
        QCOMPARE(ev[0].checker, u"王刚"_s);
        QCOMPARE(stateOf(db, u"V1"_s).status, 0);
    }

    void badCardsAreRefusedReadably_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("card");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("mentions");
        for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
            QTest::addRow("%s unknown card", qPrintable(b)) << b << u"0000000099"_s << svcerr::NotFound
                                                             << u"0000000099"_s;
            // A vehicle without a card must not be found by an empty read.
            QTest::addRow("%s blank card", qPrintable(b)) << b << u"   "_s << svcerr::BadArgument << u"IC卡号"_s;
        }
    }
    void badCardsAreRefusedReadably()
    {
        QFETCH(QString, card);
        QFETCH(int, number);
        QFETCH(QString, mentions);
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        try {
            svc.RegisterReturnByCard(kCtx, at(9, 0), u"王刚"_s, card);
            QFAIL("the card was accepted");
        } catch (const ServiceError &e) {
            QCOMPARE(e.number(), number);
            QVERIFY2(e.description().contains(mentions), qPrintable(e.description()));
        }
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM vehicle_returns"_s), 0);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM check_events"_s), 0);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM vehicle_return_states WHERE return_status <> 0"_s), 0);
    }

    void confirmAndCancel_data() { test::TestDatabase::addBackendRows(); }
    void confirmAndCancel()
    {
        CG_FRESH_DB(db);
        seed(db);
        const ManualClock clock(at(11, 0));
        CheckService svc(db, clock);
        svc.SetReturnStatus(kCtx, u" V3 "_s, at(10, 15), true, u"李敏"_s, u"粤B20003"_s);
        QCOMPARE(stateOf(db, u"V3"_s).status, 1);
        QCOMPARE(stateOf(db, u"V3"_s).checker, u"李敏"_s);
        QCOMPARE(events(db).last().lamp, 1);
        QCOMPARE(events(db).last().time, at(10, 15));

        svc.SetReturnStatus(kCtx, u"V3"_s, NoDate(), false, QString(), u"粤B20003"_s);
        const State s = stateOf(db, u"V3"_s);
        QCOMPARE(s.status, 0);
        QVERIFY(!s.time.isValid());
        QVERIFY(s.checker.isEmpty());
        const Event cancel = events(db).last();
        QCOMPARE(cancel.license, u"粤B20003"_s);
        QCOMPARE(cancel.lamp, 0);
        QVERIFY(IsNoDate(cancel.time));
        QVERIFY(cancel.checker.isEmpty());
        QCOMPARE(cancel.date, at(0, 0));
        // Both decisions stay in the history, the cancellation at the
        // service's own time.
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM vehicle_returns WHERE license_id = 'V3'"_s), 2);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM vehicle_returns WHERE license_id = 'V3' AND returned = 0"_s), 1);
    }

    void staleDecisionsAreRefused_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<bool>("returnedBefore");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("plate");
        QTest::addColumn<QString>("mentions");
        for (const QString &b : {u"sqlite"_s, u"postgres"_s}) {
            const QByteArray n = b.toUtf8();
            QTest::addRow("%s confirm a returned vehicle", n.constData())
                << b << true << true << u"V1"_s << u"粤A10001"_s << u"已于"_s;
            QTest::addRow("%s cancel a vehicle not returned", n.constData())
                << b << false << false << u"V1"_s << u"粤A10001"_s << u"未登记回场"_s;
            QTest::addRow("%s plate changed since listed", n.constData())
                << b << false << true << u"V1"_s << u"粤A99999"_s << u"粤A10001"_s;
            QTest::addRow("%s unknown vehicle code", n.constData())
                << b << false << true << u"V9"_s << u"粤A10001"_s << u"V9"_s;
            QTest::addRow("%s empty vehicle code", n.constData())
                << b << false << true << u" "_s << u"粤A10001"_s << u"车辆代码"_s;
        }
    }
    void staleDecisionsAreRefused()
    {
        QFETCH(bool, returnedBefore);
        QFETCH(bool, asked);
        QFETCH(QString, code);
        QFETCH(QString, plate);
        QFETCH(QString, mentions);
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        if (returnedBefore)
            svc.RegisterReturnByCard(kCtx, at(8, 0), u"李敏"_s, u"0000000001"_s);
        const int records = count(db, u"SELECT COUNT(*) FROM vehicle_returns"_s);
        const int published = count(db, u"SELECT COUNT(*) FROM check_events"_s);
        try {
            svc.SetReturnStatus(kCtx, code, asked ? at(9, 0) : NoDate(), asked, asked ? u"王刚"_s : QString(), plate);
            QFAIL("the decision was accepted");
        } catch (const ServiceError &e) {
            QVERIFY2(e.description().contains(mentions), qPrintable(e.description()));
        }
        // Nothing overwritten, nothing recorded, nothing sent.
        const State s = stateOf(db, u"V1"_s);
        QCOMPARE(s.status, returnedBefore ? 1 : 0);
        if (returnedBefore) {
            QCOMPARE(s.time, at(8, 0));
            QCOMPARE(s.checker, u"李敏"_s);
        }
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM vehicle_returns"_s), records);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM check_events"_s), published);
    }

    void twoStationsConfirmOnce_data() { test::TestDatabase::addBackendRows(); }
    void twoStationsConfirmOnce()
    {
        CG_FRESH_DB(db);
        seed(db);
        std::atomic<int> accepted{0}, refused{0}, failed{0};
        auto work = [&](int t) {
            CheckService svc(db, cg::test::fixtureClock());
            try {
                svc.SetReturnStatus(kCtx, u"V2"_s, at(9, t), true, t ? u"王刚"_s : u"李敏"_s, u"粤A10002"_s);
                ++accepted;
            } catch (const ServiceError &e) {
                (e.description().contains(u"已于"_s) ? refused : failed)++;
            }
        };
        std::thread a(work, 0), b(work, 1);
        a.join();
        b.join();
        QCOMPARE(failed.load(), 0);
        QCOMPARE(accepted.load(), 1);
        QCOMPARE(refused.load(), 1);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM vehicle_returns"_s), 1);
        QCOMPARE(events(db).size(), 1);
        // The event names the checker the vehicle row keeps.
        QCOMPARE(events(db).first().checker, stateOf(db, u"V2"_s).checker);
    }

    void recentReturnsInForce_data() { test::TestDatabase::addBackendRows(); }
    void recentReturnsInForce()
    {
        CG_FRESH_DB(db);
        seed(db);
        CheckService svc(db, cg::test::fixtureClock());
        QVERIFY(recentPlates(svc).isEmpty());
        svc.RegisterReturnByCard(kCtx, at(8, 0), u"王刚"_s, u"0000000001"_s);
        svc.SetReturnStatus(kCtx, u"V3"_s, at(8, 30), true, u"王刚"_s, u"粤B20003"_s);
        svc.RegisterReturnByCard(kCtx, at(9, 0), u"王刚"_s, u"0000000002"_s);
        QCOMPARE(recentPlates(svc), (QStringList{u"粤A10002"_s, u"粤B20003"_s, u"粤A10001"_s}));
        // Returned again: listed once, at its new time.
        svc.RegisterReturnByCard(kCtx, at(9, 30), u"李敏"_s, u"0000000001"_s);
        QCOMPARE(recentPlates(svc), (QStringList{u"粤A10001"_s, u"粤A10002"_s, u"粤B20003"_s}));
        // A cancelled return is no longer in force.
        svc.SetReturnStatus(kCtx, u"V2"_s, NoDate(), false, QString(), u"粤A10002"_s);
        QCOMPARE(recentPlates(svc), (QStringList{u"粤A10001"_s, u"粤B20003"_s}));
        const RecordSet rs = svc.QueryRecentReturns(kCtx, at(0, 0));
        QCOMPARE(rs.valueAt(0, u"return_time"_s).toDateTime(), at(9, 30));
        QCOMPARE(rs.valueAt(0, u"license_id"_s).toString(), u"V1"_s);
        QCOMPARE(rs.valueAt(0, u"ic_card_id"_s).toString(), u"0000000001"_s);
        QCOMPARE(rs.valueAt(1, u"ic_card_id"_s).toString(), QString());
    }
};

QTEST_GUILESS_MAIN(TestReturnService)
#include "tst_returncheckservice.moc"
