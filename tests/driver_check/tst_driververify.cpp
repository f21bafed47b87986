// The touch check-in station and the single-driver screen, driven like the
// touch terminal: finger presses on the simulated reader, card reads as
// keys, touches on the grid and the countdown's ticks.

#include "support/fixturetime.h"
#include "checkin_station.h"
#include "support/testsupport.h"

#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "driver_check/fingerprintsimulator.h"
#include "driver_check/frmdriververify.h"
#include "driver_check/frmdriververifysingle.h"
#include "services/checks/checknotifier.h"
#include "services/masterdata/driverservice.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <QCloseEvent>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

// Runs fn on the modal window as soon as one is open.
void whenModal(std::function<void(QWidget *)> fn)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, fn] {
        if (QWidget *w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            fn(w);
        }
    });
    timer->start();
}

struct Station : test::CheckinStation {
    SimulatedFingerReader reader{7};
    // Per notice, whether the single screen's countdown ran as it showed.
    QList<bool> countdownRunning;

    Station()
    {
        clock.set(QDateTime(cg::test::fixtureDay(), QTime(12, 0)));
        env.dataDir = u"/data"_s;
        env.photoDir = dbEnv.config().sqlitePath + u".photos"_s;
        attachReader(reader);
        recordOpenForm();
        messages.onNotify = [this](QWidget *parent) {
            auto *single = qobject_cast<frmDriverVerifySingle *>(parent);
            countdownRunning.append(single && single->isCountdownRunning());
        };
    }

    void enrol(const QString &driver)
    {
        db.exec(u"UPDATE drivers SET fng_value = ?, fng_value1 = ? WHERE driver_id = ?"_s,
                {EnrolTemplateTextForFinger(driver + u"/formal"_s, 1),
                 EnrolTemplateTextForFinger(driver + u"/backup"_s, 1), driver});
    }
    // count trips of V1 from now + firstMinutes, every two minutes.
    void trips(int count, int firstMinutes, const QString &plate = u"粤A10001"_s, const QString &vid = u"V1"_s)
    {
        db.exec(u"DELETE FROM trips"_s);
        for (int i = 0; i < count; ++i)
            db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, route_name, "
                    u"end_station_name, license_id, license_tag_no, transport_company_short_name) "
                    u"VALUES ('440100001', ?, ?, ?, '440101', 'R01', '广州-深圳', '深圳', ?, ?, '天河')"_s,
                    {test::checkinToday(), u"T%1"_s.arg(i + 1, 2, 10, QChar(u'0')),
                     clock.now().addSecs(60LL * (firstMinutes + 2 * i)), vid, plate});
    }
};

QStringList shownTrips(FlexGrid *grid)
{
    QStringList out;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        out << grid->textMatrix(r, 0);
    return out;
}

QStringList tripRange(int from, int to)
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << u"T%1"_s.arg(i, 2, 10, QChar(u'0'));
    return out;
}

} // namespace

class TstDriverVerify : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pagesOfTenStopAtTheEnd();
    void emptyRefreshEmptiesTheList();
    void fingerJumpsToFirstOpenTrip_data();
    void fingerJumpsToFirstOpenTrip();
    void unknownFingerLeavesHeader();
    void emptyDriverTableIdentifiesNobody();
    void cardReads_data();
    void cardReads();
    void cardHandsOffTripThatJustLeft();
    void techCheckTurnsBothLampsRed();
    void returnAsksForPassword_data();
    void returnAsksForPassword();
    void windowCloseAsksForPassword();
    void notificationsRedrawRows_data();
    void notificationsRedrawRows();
    void readerFailureIsTold_data();
    void readerFailureIsTold();
    void reloadedFingersReachTheSingleScreen();
    void confirmChecksInAndCloses_data();
    void confirmChecksInAndCloses();
    void secondPressIsAlreadyPassed();
};

void TstDriverVerify::pagesOfTenStopAtTheEnd()
{
    Station s;
    s.trips(25, -20);
    frmDriverVerify form(s.env, s.station);
    form.show();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    auto *next = form.findChild<QPushButton *>(u"cmdNext"_s);
    auto *prev = form.findChild<QPushButton *>(u"cmdPrev"_s);
    QCOMPARE(shownTrips(grid), tripRange(1, 10));
    QCOMPARE(grid->textMatrix(1, 10), u"确认"_s);
    QCOMPARE(grid->cellForeColor(1, 10), QColor(0xFF, 0, 0));
    QVERIFY(grid->isColHidden(5) && grid->isColHidden(6) && grid->isColHidden(7));
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(shownTrips(grid), tripRange(11, 20));
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(shownTrips(grid), tripRange(21, 25));
    QCOMPARE(form.page(), 3);
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(shownTrips(grid), tripRange(21, 25));
    QCOMPARE(form.page(), 3);
    QTest::mouseClick(prev, Qt::LeftButton);
    QCOMPARE(shownTrips(grid), tripRange(11, 20));
    QTest::mouseClick(prev, Qt::LeftButton);
    QCOMPARE(shownTrips(grid), tripRange(1, 10));
    QCOMPARE(form.page(), 1);
    // "Previous" on the first page stays there, and paging on still works.
    QTest::mouseClick(prev, Qt::LeftButton);
    QCOMPARE(shownTrips(grid), tripRange(1, 10));
    QCOMPARE(form.page(), 1);
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(shownTrips(grid), tripRange(11, 20));
    QCOMPARE(s.status.panels[1], u"查询完毕,共25条记录"_s);
}

// The refresh that finds no trips used to leave the old rows, and their
// 确认 handed off a trip no longer listed.
void TstDriverVerify::emptyRefreshEmptiesTheList()
{
    Station s;
    s.trips(3, 5);
    frmDriverVerify form(s.env, s.station);
    form.show();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    QCOMPARE(shownTrips(grid), tripRange(1, 3));
    s.db.exec(u"DELETE FROM trips"_s);
    // 刷新 offers 刷新车次, which reloads the trips.
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdRefresh"_s), Qt::LeftButton);
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdRefreshBus"_s), Qt::LeftButton);
    QCOMPARE(shownTrips(grid), QStringList());
    QCOMPARE(s.status.panels[1], u"查询完毕,共0条记录"_s);
    QVERIFY(s.opened.isEmpty());
}

void TstDriverVerify::fingerJumpsToFirstOpenTrip_data()
{
    QTest::addColumn<int>("firstOpen");
    QTest::addColumn<bool>("backupFinger");
    QTest::addColumn<int>("page");
    QTest::newRow("5th: page 1") << 5 << false << 1;
    QTest::newRow("13th: page 2") << 13 << false << 2;
    QTest::newRow("20th: page 2") << 20 << false << 2;
    QTest::newRow("21st: page 3, backup finger") << 21 << true << 3;
}

void TstDriverVerify::fingerJumpsToFirstOpenTrip()
{
    QFETCH(int, firstOpen);
    QFETCH(bool, backupFinger);
    QFETCH(int, page);
    Station s;
    s.enrol(u"D01"_s);
    s.enrol(u"D03"_s);
    s.trips(25, 1);
    // The trips before it are checked in already.
    for (int i = 1; i < firstOpen; ++i)
        s.db.exec(u"UPDATE trips SET driver_verify_status = 1 WHERE bus_id = ?"_s,
                   {u"T%1"_s.arg(i, 2, 10, QChar(u'0'))});
    frmDriverVerify form(s.env, s.station);
    form.show();
    s.reader.press(backupFinger ? u"D01/backup"_s : u"D01/formal"_s);
    QVERIFY2(s.messages.notices.isEmpty(), qPrintable(s.messages.notices.join(u'|')));
    QCOMPARE(form.page(), page);
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    QVERIFY(shownTrips(grid).contains(u"T%1"_s.arg(firstOpen, 2, 10, QChar(u'0'))));
}

void TstDriverVerify::unknownFingerLeavesHeader()
{
    Station s;
    s.enrol(u"D01"_s);
    s.trips(5, 1);
    frmDriverVerify form(s.env, s.station);
    form.show();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    QCOMPARE(grid->rows(), 6);
    s.reader.pressUnknown();
    QCOMPARE(s.messages.notices, QStringList{u"未能识别指纹，请重试"_s});
    QCOMPARE(s.sound.played.last(), u"/data/指纹失败.wav"_s);
    QCOMPARE(grid->rows(), 1);
    QCOMPARE(grid->textMatrix(0, 0), u"车次"_s);
    // Paging over no list changes nothing.
    QTest::mouseClick(form.findChild<QPushButton *>(u"cmdNext"_s), Qt::LeftButton);
    QCOMPARE(grid->rows(), 1);
}

void TstDriverVerify::emptyDriverTableIdentifiesNobody()
{
    Station s;
    s.db.exec(u"DELETE FROM substitutions"_s);
    s.db.exec(u"DELETE FROM arrangements"_s);
    s.db.exec(u"DELETE FROM drivers"_s);
    s.trips(3, 1);
    frmDriverVerify form(s.env, s.station);
    form.show();
    QVERIFY2(s.messages.boxes.isEmpty(), qPrintable(s.messages.lastText()));
    s.reader.press(u"D01/formal"_s);
    QCOMPARE(s.messages.notices, QStringList{u"未能识别指纹，请重试"_s});
    QVERIFY(s.messages.boxes.isEmpty());
}

void TstDriverVerify::cardReads_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("sound");
    QTest::newRow("9 characters") << u"000000000"_s << u"刷卡出错，请重刷！"_s << u"/data/刷卡出错.wav"_s;
    QTest::newRow("11 characters") << u"00000000011"_s << u"刷卡出错，请重刷！"_s << u"/data/刷卡出错.wav"_s;
    QTest::newRow("nothing") << u""_s << u"刷卡出错，请重刷！"_s << u"/data/刷卡出错.wav"_s;
    QTest::newRow("unknown card") << u"9999999999"_s << u"此IC卡号的车辆不存在，请联系管理员！"_s << u""_s;
    QTest::newRow("card without trips") << u"0000000002"_s
                                        << u"此IC卡号的车辆没有在环境车次中排班！\r\n请联系管理员！"_s << u""_s;
}

void TstDriverVerify::cardReads()
{
    QFETCH(QString, typed);
    QFETCH(QString, notice);
    QFETCH(QString, sound);
    Station s;
    s.trips(3, 1);
    frmDriverVerify form(s.env, s.station);
    form.show();
    QTest::keyClicks(form.findChild<FlexGrid *>(u"vsList"_s), typed);
    QCOMPARE(form.cardBuffer(), typed);
    QTest::keyClick(&form, Qt::Key_Return);
    QCOMPARE(s.messages.notices, QStringList{notice});
    QCOMPARE(s.sound.played.isEmpty() ? QString() : s.sound.played.last(), sound);
    QCOMPARE(form.cardBuffer(), QString());
}

void TstDriverVerify::cardHandsOffTripThatJustLeft()
{
    Station s;
    s.enrol(u"D01"_s);
    s.trips(12, 1);
    frmDriverVerify form(s.env, s.station);
    form.show();
    // V2's only trip left five minutes ago; nothing in the next hour. It
    // was added after the station loaded its list, so no page shows it.
    s.db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, route_name, "
               u"license_id, license_tag_no, transport_company_short_name) VALUES ('440100001', ?, 'K777', ?, '440101', "
               u"'R02', '广州-珠海', 'V2', '粤A10002', '越秀')"_s,
               {test::checkinToday(), s.clock.now().addSecs(-300)});
    QVariantMap handed;
    whenModal([&](QWidget *w) {
        for (const char *m : {"m_szBusID", "m_szRouteID", "m_szRouteName", "m_szCompany"})
            handed[QString::fromLatin1(m)] = w->property(m);
        // The station's engine stays attached after a card hand-off; only
        // the single screen answers the press.
        s.reader.press(u"D01/formal"_s);
        w->close();
    });
    QTest::keyClicks(&form, u"0000000002"_s);
    QTest::keyClick(&form, Qt::Key_Enter);
    QCOMPARE(handed.value(u"m_szBusID"_s).toString(), u"K777"_s);
    QCOMPARE(handed.value(u"m_szRouteID"_s).toString(), u"R02"_s);
    QCOMPARE(handed.value(u"m_szRouteName"_s).toString(), u"广州-珠海"_s);
    QCOMPARE(handed.value(u"m_szCompany"_s).toString(), u"越秀"_s);
    // The first hand-off after the library load gave the single screen the
    // drivers: D01 is identified there (and refused, V2 is not his vehicle).
    QCOMPARE(s.messages.notices, QStringList{u"张三 没有被安排驾驶车次 K777，请联系调度！"_s});
    // The page search went through the list, stopped at its last page and
    // handed the trip off all the same.
    QCOMPARE(form.page(), 2);
}

void TstDriverVerify::techCheckTurnsBothLampsRed()
{
    Station s;
    s.trips(4, 1);
    s.db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, license_id, license_tag_no) "
               u"VALUES ('440100001', ?, 'K888', ?, '440101', 'V2', '粤A10002')"_s,
               {test::checkinToday(), s.clock.now().addSecs(900)});
    frmDriverVerify form(s.env, s.station);
    form.show();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    QCOMPARE(grid->rows(), 6);
    s.db.transact([&] {
        CheckEvents::techCheck(s.db, u"440100001"_s, u"粤A10001"_s, test::checkinToday(), 2, 1, s.clock.now(),
                               u"李检"_s);
    });
    QTRY_VERIFY_WITH_TIMEOUT(IsLampRed(grid, 1, 8), 5000);
    for (int r = 1; r < grid->rows(); ++r) {
        const bool plate = grid->textMatrix(r, 3) == u"粤A10001"_s;
        QCOMPARE(IsLampRed(grid, r, 8), plate);
        QCOMPARE(IsLampRed(grid, r, 7), plate);
    }
}

void TstDriverVerify::returnAsksForPassword_data()
{
    QTest::addColumn<QVariantMap>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("right password") << QVariantMap{{u"m_ok"_s, true}} << true;
    QTest::newRow("closed without") << QVariantMap{{u"m_ok"_s, false}} << false;
    QTest::newRow("dialog not available") << QVariantMap{} << false;
}

void TstDriverVerify::returnAsksForPassword()
{
    QFETCH(QVariantMap, answer);
    QFETCH(bool, closes);
    Station s;
    s.formResults[u"frmCheckPass"_s] = answer;
    frmDriverVerify form(s.env, s.station);
    form.show();
    QTest::mouseClick(form.findChild<QPushButton *>(u"cmdReturn"_s), Qt::LeftButton);
    QCOMPARE(s.opened.size(), 1);
    QCOMPARE(s.opened[0].form, u"frmCheckPass"_s);
    QCOMPARE(s.opened[0].members.value(u"m_szParentForm"_s).toString(), u"frmDriverVerify"_s);
    QCOMPARE(form.isVisible(), !closes);
}

void TstDriverVerify::windowCloseAsksForPassword()
{
    Station s;
    s.formResults[u"frmCheckPass"_s] = {{u"m_ok"_s, false}};
    frmDriverVerify form(s.env, s.station);
    form.show();
    QCloseEvent close;
    QSpontaneKeyEvent::setSpontaneous(&close);
    QApplication::instance()->notify(&form, &close);
    QCOMPARE(s.opened.size(), 1);
    QVERIFY(form.isVisible());
    s.formResults[u"frmCheckPass"_s] = {{u"m_ok"_s, true}};
    QApplication::instance()->notify(&form, &close);
    QVERIFY(!form.isVisible());
}

void TstDriverVerify::notificationsRedrawRows_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<int>("dayOffset");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("text"); // expected text of T02, or "green"
    QTest::newRow("driver check today") << u"DriverCheck"_s << 0 << 9 << u"green"_s;
    QTest::newRow("driver check of another day") << u"DriverCheck"_s << -1 << 9 << u"yellow"_s;
    QTest::newRow("return check") << u"ReturnCheck"_s << 0 << 7 << u"green"_s;
    QTest::newRow("vehicle replaced today") << u"ReplaceVehicle"_s << 0 << 3 << u"粤B99999"_s;
    QTest::newRow("vehicle replaced another day") << u"ReplaceVehicle"_s << 1 << 3 << u"粤A10001"_s;
}

void TstDriverVerify::notificationsRedrawRows()
{
    QFETCH(QString, event);
    QFETCH(int, dayOffset);
    QFETCH(int, col);
    QFETCH(QString, text);
    Station s;
    s.trips(3, 1);
    frmDriverVerify form(s.env, s.station);
    form.show();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    const QDateTime day = test::checkinToday().addDays(dayOffset);
    const QString station = u"440100001"_s;
    s.db.transact([&] {
        if (event == u"DriverCheck"_s)
            CheckEvents::driverCheck(s.db, station, u"T02"_s, day, 1);
        else if (event == u"ReturnCheck"_s)
            CheckEvents::returnCheck(s.db, station, u"粤A10001"_s, day, 1, s.clock.now(), u"李检"_s);
        else
            CheckEvents::replaceVehicle(s.db, station, u"T02"_s, day, u" 粤B99999 "_s, u"新公司 "_s);
        // Another station's event and then a marker: once the marker shows,
        // everything before it has been delivered.
        CheckEvents::driverCheck(s.db, u"440100999"_s, u"T01"_s, test::checkinToday(), 2);
        CheckEvents::driverCheck(s.db, station, u"T03"_s, test::checkinToday(), 2);
    });
    QTRY_VERIFY_WITH_TIMEOUT(IsLampRed(grid, 3, 9), 5000);
    QVERIFY(!IsLampRed(grid, 1, 9));
    if (text == u"green"_s)
        QVERIFY(IsLampGreen(grid, 2, col));
    else if (text == u"yellow"_s)
        QCOMPARE(LampCellColor(grid, 2, col), LampYellow);
    else
        QCOMPARE(grid->textMatrix(2, col), text);
    if (event == u"ReplaceVehicle"_s) {
        // The replacement also holds when the page is shown again.
        QTest::mouseClick(form.findChild<QPushButton *>(u"cmdPrev"_s), Qt::LeftButton);
        QCOMPARE(grid->textMatrix(2, 3), text);
        QCOMPARE(grid->textMatrix(2, 4), dayOffset == 0 ? u"新公司"_s : u"天河"_s);
    }
}

void TstDriverVerify::readerFailureIsTold_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::newRow("driver fails") << int(SimulatedFingerReader::State::DriverFails) << u"指纹识别驱动程序加载失败！"_s;
    QTest::newRow("unplugged") << int(SimulatedFingerReader::State::Disconnected) << u"没连接指纹仪！"_s;
}

void TstDriverVerify::readerFailureIsTold()
{
    QFETCH(int, state);
    QFETCH(QString, message);
    Station s;
    s.trips(2, 1);
    s.reader.setState(SimulatedFingerReader::State(state));
    frmDriverVerify form(s.env, s.station);
    form.show();
    QCOMPARE(s.messages.boxes.size(), 1);
    QCOMPARE(s.messages.lastTitle(), u"信息提示"_s);
    QCOMPARE(s.messages.lastText(), message);
    // The station goes on without a sensor. The single screen tells it once,
    // when it starts its own engine; restarts after a hand-off are quiet.
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    QCOMPARE(grid->rows(), 3);
    for (int i = 0; i < 2; ++i) {
        whenModal([](QWidget *w) { w->close(); });
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(1, 10)).center());
    }
    QCOMPARE(s.messages.boxes.size(), 2);
    QCOMPARE(s.messages.lastText(), message);
}

void TstDriverVerify::reloadedFingersReachTheSingleScreen()
{
    Station s;
    s.trips(3, 5);
    frmDriverVerify form(s.env, s.station);
    form.show();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    const auto confirm = [&](int row) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(row, 10)).center());
    };
    DriverService drivers(s.db, cg::test::fixtureClock());
    FingerprintSimulator simulator(&s.reader, drivers.QueryDrivers(test::kCheckinCtx, QString(), QString()));
    auto *list = simulator.findChild<QTreeWidget *>(u"lstDrivers"_s);
    QCOMPARE(list->topLevelItemCount(), 3);
    list->setCurrentItem(list->topLevelItem(0));
    auto *backup = simulator.findChild<QPushButton *>(u"cmdBackup"_s);

    // Enrolled after the station loaded its drivers: not known yet, neither
    // on the station nor on the single screen its first hand-off builds.
    s.enrol(u"D01"_s);
    whenModal([&](QWidget *w) {
        QTest::mouseClick(backup, Qt::LeftButton);
        w->close();
    });
    confirm(1);
    QCOMPARE(simulator.lastKey(), u"D01/backup"_s);
    QCOMPARE(s.messages.notices, QStringList{u"指纹比对失败！请重试！"_s});

    // 刷新 → 刷新指纹 loads them again; the next hand-off rebuilds the single
    // screen's cache, and the one after reuses it.
    auto *refresh = form.findChild<QPushButton *>(u"cmdRefresh"_s);
    auto *fingers = form.findChild<QPushButton *>(u"cmdRefreshFinger"_s);
    QTest::mouseClick(refresh, Qt::LeftButton);
    QVERIFY(!fingers->isHidden());
    QTest::mouseClick(fingers, Qt::LeftButton);
    QVERIFY(fingers->isHidden());
    s.messages.clear();
    for (int row : {1, 2}) {
        whenModal([&](QWidget *w) {
            QTest::mouseClick(backup, Qt::LeftButton);
            w->close();
        });
        confirm(row);
    }
    QCOMPARE(s.messages.notices, QStringList{});
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM driver_checkins WHERE driver_run_id = 'D01'"_s).toInt(), 2);
}

void TstDriverVerify::confirmChecksInAndCloses_data()
{
    QTest::addColumn<bool>("forecastOn");
    QTest::addColumn<int>("birthDaysAgo"); // 0: no birth date
    QTest::addColumn<bool>("panel");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("notice"); // a part of the one notice expected
    QTest::newRow("forecast off") << false << 10000 << false << 3 << QString();
    QTest::newRow("10000 days: low physical") << true << 10000 << true << 6 << QString();
    QTest::newRow("no low day") << true << 23 * 28 * 33 << false << 3 << QString();
    QTest::newRow("no birth date") << true << 0 << false << 3 << QString();
    // A failed day count is told (with the countdown stopped), not swallowed.
    QTest::newRow("beyond the range") << true << 40000 << false << 3 << u"超出生物节律的计算范围"_s;
}

void TstDriverVerify::confirmChecksInAndCloses()
{
    QFETCH(bool, forecastOn);
    QFETCH(int, birthDaysAgo);
    QFETCH(bool, panel);
    QFETCH(int, ticks);
    QFETCH(QString, notice);
    Station s;
    s.station.params.BiologicalClockReport = forecastOn;
    s.enrol(u"D01"_s);
    s.db.exec(u"UPDATE drivers SET birth_date = ? WHERE driver_id = 'D01'"_s,
               {birthDaysAgo ? QVariant(test::checkinToday().addDays(-birthDaysAgo)) : QVariant()});
    s.trips(3, 5);
    frmDriverVerify form(s.env, s.station);
    form.show();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    QStringList closeTexts;
    bool panelShown = false;
    QString status;
    whenModal([&](QWidget *w) {
        auto *single = qobject_cast<frmDriverVerifySingle *>(w);
        QVERIFY(single);
        QCOMPARE(single->windowTitle(), u"驾驶员指纹报班"_s);
        QCOMPARE(single->countdown(), 15);
        s.reader.press(u"D01/formal"_s);
        panelShown = !single->findChild<QWidget *>(u"ptBio"_s)->isHidden();
        status = single->findChild<QStackedWidget *>(u"ptStatus"_s)->currentWidget()->objectName();
        QSignalSpy finished(single, &QDialog::finished);
        for (int i = 0; i < 10 && finished.isEmpty(); ++i) {
            single->Timer1_Timer();
            closeTexts << single->findChild<QLabel *>(u"lblClose"_s)->text();
        }
    });
    // Touch 确认 on the second trip.
    const QRect cell = grid->visualRect(grid->model()->index(2, 10));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    if (notice.isEmpty()) {
        QVERIFY2(s.messages.notices.isEmpty(), qPrintable(s.messages.notices.join(u'|')));
    } else {
        QCOMPARE(s.messages.notices.size(), 1);
        QVERIFY2(s.messages.notices[0].contains(notice), qPrintable(s.messages.notices[0]));
        QCOMPARE(s.countdownRunning, QList<bool>{false});
    }
    QCOMPARE(status, u"imgSuccess"_s);
    QCOMPARE(panelShown, panel);
    QCOMPARE(closeTexts.size(), ticks);
    QCOMPARE(closeTexts.last(), u"关闭0"_s);
    if (panel)
        QCOMPARE(closeTexts.first(), u"关闭5"_s);
    QVERIFY(s.sound.played.contains(u"/data/请按指纹.wav"_s));
    QVERIFY(s.sound.played.contains(u"/data/指纹成功.wav"_s));
    // Back on the station: the list is reloaded with the trip's lamp passed.
    QCOMPARE(grid->textMatrix(2, 0), u"T02"_s);
    QVERIFY(IsLampGreen(grid, 2, 9));
    QVERIFY(!IsLampGreen(grid, 1, 9));
}

void TstDriverVerify::secondPressIsAlreadyPassed()
{
    Station s;
    s.enrol(u"D01"_s);
    s.trips(2, 5);
    frmDriverVerify form(s.env, s.station);
    form.show();
    auto *grid = form.findChild<FlexGrid *>(u"vsList"_s);
    whenModal([&](QWidget *w) {
        auto *single = qobject_cast<frmDriverVerifySingle *>(w);
        s.reader.press(u"D01/formal"_s);
        s.reader.press(u"D01/formal"_s);
        // An unknown finger on the same screen.
        s.reader.pressUnknown();
        QVERIFY(single->isCountdownRunning());
        // A touch on 关闭N closes at once.
        QSignalSpy finished(single, &QDialog::finished);
        QTest::mouseClick(single->findChild<QLabel *>(u"lblClose"_s), Qt::LeftButton);
        QCOMPARE(finished.size(), 1);
    });
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(1, 10)).center());
    QCOMPARE(s.messages.notices, (QStringList{u"指纹已通过，请勿重试！"_s, u"指纹比对失败！请重试！"_s}));
    // The countdown waited while each notice was shown.
    QCOMPARE(s.countdownRunning, (QList<bool>{false, false}));
    QVERIFY(s.sound.played.contains(u"/data/指纹已通过.wav"_s));
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM driver_checkins"_s).toInt(), 1);
}

QTEST_MAIN(TstDriverVerify)
#include "tst_driververify.moc"
