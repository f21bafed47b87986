// The second press on the single-driver screen: after the check-in station
// identified a driver by his first press, the second press must be his; a
// finger nobody enrolled never records a check-in, however often it is
// pressed; a template enrolled from one press by earlier versions still
// checks its driver in.

#include "support/fixturetime.h"
#include "checkin_station.h"

#include "widgets/grid.h"
#include "driver_check/frmdriververify.h"
#include "driver_check/frmdriververifysingle.h"
#include "services/fingerprint/simulatedfinger.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

// A check-in station on a fresh database: D01 (arranged to V1) and D02 (his
// substitute today) may both drive V1's trips T01..T03.
struct CheckinTerminal : test::CheckinStation {
    SimulatedFingerReader reader{11};

    CheckinTerminal()
    {
        clock.set(QDateTime(cg::test::fixtureDay(), QTime(12, 0)));
        env.dataDir = u"/data"_s;
        attachReader(reader);
        for (const QString &driver : {u"D01"_s, u"D02"_s})
            store(driver, EnrolTemplateTextForFinger(driver + u"/formal"_s, 1),
                  EnrolTemplateTextForFinger(driver + u"/backup"_s, 1));
        for (int i = 0; i < 3; ++i)
            db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, route_name, "
                    u"license_id, license_tag_no) VALUES ('440100001', ?, ?, ?, '440101', 'R01', '广州-深圳', 'V1', '粤A10001')"_s,
                    {test::checkinToday(), u"T0%1"_s.arg(i + 1), clock.now().addSecs(60LL * (5 + 2 * i))});
    }
    void store(const QString &driver, const QString &formal, const QString &backup)
    {
        db.exec(u"UPDATE drivers SET fng_value = ?, fng_value1 = ? WHERE driver_id = ?"_s, {formal, backup, driver});
    }
    int checkins(const QString &driver = QString())
    {
        return db.scalar(driver.isEmpty() ? u"SELECT COUNT(*) FROM driver_checkins"_s
                                          : u"SELECT COUNT(*) FROM driver_checkins WHERE driver_run_id = '%1'"_s.arg(driver))
            .toInt();
    }
};

// Touches 确认 on a grid row; fn runs on the single-driver screen, which it
// must close.
void confirmRow(frmDriverVerify &form, int row, std::function<void(frmDriverVerifySingle *)> fn)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, fn] {
        if (auto *single = qobject_cast<frmDriverVerifySingle *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            fn(single);
            single->close();
        }
    });
    timer->start();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(row, 10)).center());
}

void showAllTrips(frmDriverVerify &form)
{
    QTest::mouseClick(form.findChild<QPushButton *>(u"cmdRefresh"_s), Qt::LeftButton);
    QTest::mouseClick(form.findChild<QPushButton *>(u"cmdRefreshBus"_s), Qt::LeftButton);
}

} // namespace

class TstSecondPress : public QObject {
    Q_OBJECT

private slots:
    void strangerPressingTwiceRecordsNothing();
    void secondPressMustBeTheIdentifiedDriver();
    void tripsReloadedForgetTheFirstPress();
    void singlePressTemplateStillChecksIn();
};

void TstSecondPress::strangerPressingTwiceRecordsNothing()
{
    CheckinTerminal t;
    frmDriverVerify form(t.env, t.station);
    form.show();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);

    // First press: nobody.
    for (int i = 0; i < 3; ++i)
        t.reader.pressUnknown();
    QCOMPARE(t.messages.notices, QStringList(3, u"未能识别指纹，请重试"_s));
    QCOMPARE(grid->rows(), grid->fixedRows());

    // He takes a trip from the full list and presses again, many times.
    showAllTrips(form);
    QCOMPARE(grid->rows(), grid->fixedRows() + 3);
    t.messages.clear();
    confirmRow(form, 1, [&](frmDriverVerifySingle *single) {
        QVERIFY(single->m_szDriverNo.isEmpty());
        for (int i = 0; i < 20; ++i)
            t.reader.pressUnknown();
    });
    QCOMPARE(t.messages.notices, QStringList(20, u"指纹比对失败！请重试！"_s));
    QCOMPARE(t.checkins(), 0);
}

void TstSecondPress::secondPressMustBeTheIdentifiedDriver()
{
    CheckinTerminal t;
    frmDriverVerify form(t.env, t.station);
    form.show();
    t.reader.press(u"D01/formal"_s);
    QVERIFY(t.messages.notices.isEmpty());

    // On D01's trip D02 may drive too, and the 1:N search would find him;
    // but the first press was D01's, so only D01's finger completes it.
    confirmRow(form, 1, [&](frmDriverVerifySingle *single) {
        QCOMPARE(single->m_szDriverNo, u"D01"_s);
        t.reader.press(u"D02/formal"_s);
        t.reader.pressUnknown();
        QCOMPARE(t.checkins(), 0);
        t.reader.press(u"D01/backup"_s);
    });
    QCOMPARE(t.messages.notices, QStringList(2, u"指纹比对失败！请重试！"_s));
    QCOMPARE(t.checkins(), 1);
    QCOMPARE(t.checkins(u"D01"_s), 1);
}

void TstSecondPress::tripsReloadedForgetTheFirstPress()
{
    // Once the list shows every trip again, a trip taken from it is not
    // D01's any more: the press there is identified among all drivers.
    CheckinTerminal t;
    // D02 drives V1 today beside D01.
    t.db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) "
               u"VALUES ('V1', 'D02', '李四', ?, ?)"_s,
               {test::checkinToday().addDays(-1), test::checkinToday().addDays(1)});
    frmDriverVerify form(t.env, t.station);
    form.show();
    t.reader.press(u"D01/formal"_s);
    showAllTrips(form);
    confirmRow(form, 2, [&](frmDriverVerifySingle *single) {
        QVERIFY(single->m_szDriverNo.isEmpty());
        t.reader.press(u"D02/backup"_s);
    });
    QVERIFY2(t.messages.notices.isEmpty(), qPrintable(t.messages.notices.join(u'|')));
    QCOMPARE(t.checkins(u"D02"_s), 1);
}

void TstSecondPress::singlePressTemplateStillChecksIn()
{
    // D01's fingers were stored by an earlier version, which enrolled one
    // press: the same template text, still found and verified.
    CheckinTerminal t;
    QStringList old;
    for (const QString &finger : {u"D01/formal"_s, u"D01/backup"_s}) {
        const finger::FingerModel model = finger::MakeFinger(finger);
        for (quint64 seed = 1;; seed += 0x10000) {
            const finger::Impression imp = finger::MakeImpression(model, seed);
            if (imp.quality == finger::QualityGood) {
                old << EncodeFingerTemplate(imp.features);
                break;
            }
        }
    }
    t.store(u"D01"_s, old[0], old[1]);
    frmDriverVerify form(t.env, t.station);
    form.show();
    t.reader.press(u"D01/formal"_s);
    QVERIFY(t.messages.notices.isEmpty());
    confirmRow(form, 1, [&](frmDriverVerifySingle *) { t.reader.press(u"D01/formal"_s); });
    QVERIFY2(t.messages.notices.isEmpty(), qPrintable(t.messages.notices.join(u'|')));
    QCOMPARE(t.checkins(u"D01"_s), 1);
}

QTEST_MAIN(TstSecondPress)
#include "tst_secondpress.moc"
