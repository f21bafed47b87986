// The departure gate as the operator drives it: identification by card or
// plate, the boarding confirmation, manual decisions, refresh and lamps.
#include "support/fixturetime.h"
#include "tst_outcheck_fixture.h"
#include "support/stationfixture.h"

#include "core/clock.h"
#include "widgets/grid.h"
#include "widgets/listreport.h"
#include "widgets/listexport.h"
#include "widgets/gridhelpers.h"
#include "dispatch/frmoutcheck.h"
#include "driver_check/frmcheckinfo.h"
#include "services/checks/checknotifier.h"
#include "services/station/coreservices.h"
#include "services/checks/checkservice.h"
#include "services/dbtestenv.h"
#include "services/fingerprint/simulatedfingerprintengine.h"
#include "support/testsupport.h"

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QStringDecoder>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

enum { ColBus = 1, ColTime = 2, ColPlate = 4, ColCond = 8, ColScheme = 10, ColChecked = 13, ColOut = 15 };

struct Gate : test::StationFixture {
    Gate()
    {
        test::seedGate(db);
        openSession(u"op1"_s, test::kGateCtx, u"s1"_s);
        clock.set(test::gateNow());
        station.params.BeforeMinute = u"30"_s;
        recordOpenForm();
        form = std::make_unique<frmOutCheck>(env, station);
        form->show();
    }
    FlexGrid *grid() const { return form->findChild<FlexGrid *>(u"vsList"_s); }
    QPushButton *button(const QString &name) const { return form->findChild<QPushButton *>(name); }
    void clickRow(int row) const
    {
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                          grid()->visualItemRect(grid()->item(row, ColBus)).center());
    }
    int rowOf(const QString &bus) const
    {
        for (int r = 2; r < grid()->rows(); ++r)
            if (grid()->textMatrix(r, ColBus) == bus)
                return r;
        return -1;
    }
    void enter(const QString &text)
    {
        auto *field = form->findChild<QLineEdit *>(u"txtLicenseID"_s);
        field->setText(text);
        QTest::keyClick(field, Qt::Key_Return);
    }
    int departures() { return db.scalar(u"SELECT COUNT(*) FROM departures"_s).toInt(); }
    QStringList busColumn() const
    {
        QStringList out;
        for (int r = 2; r < grid()->rows(); ++r)
            out << grid()->textMatrix(r, ColBus);
        return out;
    }

    std::unique_ptr<frmOutCheck> form;
};

QString peerPath()
{
    const QString dir = qEnvironmentVariable("CG_TEST_BINARY_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + u"/outcheck_peer"_s
                         : dir + u"/tests/dispatch/outcheck_peer"_s;
}

} // namespace

class TstOutCheck : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensWithTheDaysTrips();
    void columnWidthsKept();
    void queryKeys_data();
    void queryKeys();
    void cardEntry_data();
    void cardEntry();
    void plateEntry_data();
    void plateEntry();
    void noDriverCheckDepartsWithoutDialog();
    void declinedConfirmationReselectsPreviousDeparture();
    void buttonStatesFollowLamps_data();
    void buttonStatesFollowLamps();
    void buttonsFollowNotifiedLamp();
    void secondCardReadShowsTheDeparture();
    void forbiddenTripDoesNotLeaveByCard();
    void blockedTripRefusedAfterConfirmation();
    void conditionCheckOfAnotherDayIgnored();
    void manualDecision_data();
    void manualDecision();
    void refusedAllowShowsRefusal();
    void recordButtons_data();
    void recordButtons();
    void refreshTouchesOnlyWindowAndAddsNoRows();
    void unknownLampCodeEmptiesCell();
    void peerResultsRedrawLamps();
    void exportsTheTripList();
    void renderForDocs();
};

void TstOutCheck::opensWithTheDaysTrips()
{
    Gate g;
    QCOMPARE(g.busColumn(), (QStringList{u"K004"_s, u"K002"_s, u"K001"_s, u"K003"_s, u"R01-1"_s, u"R01-2"_s}));
    FlexGrid *grid = g.grid();
    QCOMPARE(grid->cols(), 16);
    QCOMPARE(grid->fixedRows(), 2);
    QCOMPARE(grid->fixedCols(), 1);
    QCOMPARE(grid->mergedSpan(0, 12), QSize(2, 1)); // 旅客人数 over 售 and 检
    QCOMPARE(grid->mergedSpan(0, 1), QSize(1, 2));
    const int rolling = g.rowOf(u"R01-1"_s);
    QCOMPARE(grid->textMatrix(rolling, ColTime), u"滚动"_s);
    QCOMPARE(grid->textMatrix(rolling, 0), u"1"_s);
    QCOMPARE(grid->textMatrix(rolling, 12), u"0"_s);
    QCOMPARE(grid->textMatrix(g.rowOf(u"K001"_s), 14), QString(6, QChar(0x3000)));
    QVERIFY(IsLampGreen(grid, g.rowOf(u"K004"_s), ColOut));
    QVERIFY(g.button(u"cmdAllow"_s)->isEnabled());
    QVERIFY(!g.button(u"cmdEngage"_s)->isEnabled());
}

void TstOutCheck::columnWidthsKept()
{
    Gate g;
    g.grid()->setColWidth(3, 123);
    g.form->close();
    frmOutCheck again(g.env, g.station);
    QCOMPARE(again.findChild<FlexGrid *>(u"vsList"_s)->colWidth(3), 123);
}

void TstOutCheck::queryKeys_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("rows");
    QTest::newRow("F8: timetable only") << u"F8"_s << 4;
    QTest::newRow("F9: with rolling trips") << u"F9"_s << 6;
    QTest::newRow("查询: with rolling trips") << u"cmdQuery"_s << 6;
    QTest::newRow("今日车次: with rolling trips") << u"cmdTodayBus"_s << 6;
}

void TstOutCheck::queryKeys()
{
    QFETCH(QString, how);
    QFETCH(int, rows);
    Gate g;
    if (how.startsWith(u'F'))
        QTest::keyClick(g.form.get(), how == u"F8"_s ? Qt::Key_F8 : Qt::Key_F9);
    else
        QTest::mouseClick(g.button(how), Qt::LeftButton);
    QCOMPARE(g.grid()->dataRows(), rows);
    QCOMPARE(g.status.panels[1], u"查询完毕,共%1条记录"_s.arg(rows == 4 ? 4 : 2));
}

void TstOutCheck::cardEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("departed");
    QTest::addColumn<QString>("notice");
    QTest::newRow("card of V1") << u"0000000001"_s << u"K001"_s << QString();
    // Ten characters are a card even when a plate was meant.
    QTest::newRow("ten-character plate") << u"  粤A10001 "_s << QString() << u"IC卡号 粤A10001 没有登记的车辆！"_s;
    QTest::newRow("card with a quote") << u"00000'0001"_s << QString() << u"IC卡号 00000'0001 没有登记的车辆！"_s;
}

void TstOutCheck::cardEntry()
{
    QFETCH(QString, entry);
    QFETCH(QString, departed);
    QFETCH(QString, notice);
    Gate g;
    g.formResults[u"frmCheckInfo"_s] = {{u"m_IsOk"_s, true}};
    g.enter(entry);
    QCOMPARE(g.form->findChild<QLineEdit *>(u"txtLicenseID"_s)->text(), QString());
    if (departed.isEmpty()) {
        QCOMPARE(g.messages.notices, QStringList{notice});
        QCOMPARE(g.departures(), 0);
        QVERIFY(g.opened.isEmpty());
        return;
    }
    QCOMPARE(g.opened.size(), 1);
    QCOMPARE(g.opened[0].form, u"frmCheckInfo"_s);
    QCOMPARE(g.opened[0].members.value(u"m_szBusID"_s).toString(), departed);
    QCOMPARE(g.opened[0].members.value(u"m_szLicense"_s).toString(), u"粤A10001"_s);
    QVERIFY(g.opened[0].members.value(u"m_szErrorDescription"_s).toString().startsWith(u"车次：K001"_s));
    QCOMPARE(g.db.scalar(u"SELECT bus_id || '/' || ic_card_id || '/' || manual FROM departures"_s).toString(),
             departed + u"/0000000001/0"_s);
    QCOMPARE(g.grid()->row(), g.rowOf(departed));
    // The lamp waits for the notification.
    QVERIFY(!IsLampGreen(g.grid(), g.rowOf(departed), ColOut));
}

void TstOutCheck::plateEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty: every plate") << u""_s << u"此IC卡号的车辆有两辆车以上！\n(粤A10001) (粤A10002) (粤B20003) "_s;
    QTest::newRow("fragment of two") << u"A1000"_s << u"此IC卡号的车辆有两辆车以上！\n(粤A10001) (粤A10002) "_s;
    QTest::newRow("no such plate") << u"粤Z"_s << u"此车辆牌号的车辆不存在！"_s;
    QTest::newRow("quote stays text") << u"A1' OR '1'='1"_s << u"此车辆牌号的车辆不存在！"_s;
}

void TstOutCheck::plateEntry()
{
    QFETCH(QString, entry);
    QFETCH(QString, message);
    Gate g;
    g.enter(entry);
    QCOMPARE(g.messages.boxes.size(), 1);
    QCOMPARE(g.messages.lastTitle(), u"提示"_s);
    QCOMPARE(g.messages.lastText(), message);
    QVERIFY(g.opened.isEmpty());
    QCOMPARE(g.departures(), 0);
    QCOMPARE(g.form->findChild<QLineEdit *>(u"txtLicenseID"_s)->text(), QString());
}

void TstOutCheck::noDriverCheckDepartsWithoutDialog()
{
    Gate g;
    g.enter(u"A10002"_s);
    QVERIFY(g.opened.isEmpty());
    QCOMPARE(g.db.scalar(u"SELECT bus_id || '/' || license FROM departures"_s).toString(), u"K002/粤A10002"_s);
    QCOMPARE(g.grid()->row(), g.rowOf(u"K002"_s));
    QCOMPARE(g.grid()->cellBackColor(g.rowOf(u"K002"_s), ColPlate), QColor(0x80, 0xFF, 0xFF));
}

void TstOutCheck::declinedConfirmationReselectsPreviousDeparture()
{
    Gate g;
    g.formResults[u"frmCheckInfo"_s] = {{u"m_IsOk"_s, true}};
    g.enter(u"0000000001"_s);
    QCOMPARE(g.grid()->row(), g.rowOf(u"K001"_s));
    g.clickRow(g.rowOf(u"K003"_s));
    g.formResults[u"frmCheckInfo"_s] = {{u"m_IsOk"_s, false}};
    g.enter(u"B20003"_s);
    QCOMPARE(g.opened.size(), 2);
    QCOMPARE(g.opened[1].members.value(u"m_szBusID"_s).toString(), u"R01-1"_s);
    QCOMPARE(g.departures(), 1);
    QCOMPARE(g.grid()->row(), g.rowOf(u"K001"_s));
    // Only the current row is painted.
    QCOMPARE(g.grid()->cellBackColor(g.rowOf(u"K003"_s), ColPlate), QColor(Qt::white));
    QCOMPARE(g.grid()->cellBackColor(g.rowOf(u"K001"_s), ColPlate), QColor(0x80, 0xFF, 0xFF));
}

void TstOutCheck::buttonStatesFollowLamps_data()
{
    QTest::addColumn<int>("scheme");
    QTest::addColumn<int>("out");
    QTest::addColumn<bool>("allow");
    QTest::addColumn<bool>("engage");
    QTest::newRow("issued, waiting") << 1 << 0 << true << true;
    QTest::newRow("drawn as issued, waiting") << 5 << 0 << true << true;
    QTest::newRow("issued, allowed") << 1 << 1 << false << true;
    QTest::newRow("issued, forbidden") << 5 << 2 << true << false;
    QTest::newRow("not issued") << 0 << 0 << false << false;
    QTest::newRow("not passed, allowed") << 2 << 1 << false << true;
    QTest::newRow("not issued, cannot be checked") << 0 << 4 << true << false;
}

// The buttons follow the lamp codes the row was filled with, never the
// colours drawn in its cells.
void TstOutCheck::buttonStatesFollowLamps()
{
    QFETCH(int, scheme);
    QFETCH(int, out);
    QFETCH(bool, allow);
    QFETCH(bool, engage);
    Gate g;
    g.db.exec(u"UPDATE trips SET scheme_status = ?, out_status = ? WHERE bus_id = 'K003'"_s, {scheme, out});
    QTest::mouseClick(g.button(u"cmdQuery"_s), Qt::LeftButton);
    const int row = g.rowOf(u"K003"_s);
    // A repainted cell says nothing about the trip.
    g.grid()->setCellForeColor(row, ColScheme, QColor(Qt::green));
    g.grid()->setCellForeColor(row, ColOut, QColor(Qt::red));
    emit g.grid()->cellClicked(row, 3);
    QCOMPARE(g.button(u"cmdAllow"_s)->isEnabled(), allow);
    QCOMPARE(g.button(u"cmdEngage"_s)->isEnabled(), engage);
}

// A departure notification for the current row sets its buttons at once.
void TstOutCheck::buttonsFollowNotifiedLamp()
{
    Gate g;
    emit g.grid()->cellClicked(g.rowOf(u"K001"_s), 1);
    QVERIFY(g.button(u"cmdAllow"_s)->isEnabled());
    g.db.transact([&] { CheckEvents::schemeExCheck(g.db, u"440100001"_s, u"K001"_s, test::gateDay(), 1); });
    QTRY_VERIFY_WITH_TIMEOUT(!g.button(u"cmdAllow"_s)->isEnabled(), 10000);
    QVERIFY(g.button(u"cmdEngage"_s)->isEnabled());
}

// A second read of the card after the departure shows that departure; it
// neither opens the confirmation nor departs the vehicle's next trip.
void TstOutCheck::secondCardReadShowsTheDeparture()
{
    Gate g;
    g.db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, license_id, license_tag_no, "
              u"scheme_status, driver_verify_status) VALUES ('440100001', ?, 'K005', ?, '440101', 'V1', '粤A10001', 1, 1)"_s,
              {test::gateDay(), test::gateNow().addSecs(25 * 60)});
    g.formResults[u"frmCheckInfo"_s] = {{u"m_IsOk"_s, true}};
    g.enter(u"0000000001"_s);
    QCOMPARE(g.opened.size(), 1);
    g.enter(u"0000000001"_s);
    QCOMPARE(g.opened.size(), 1);
    QCOMPARE(g.departures(), 1);
    QCOMPARE(g.db.scalar(u"SELECT out_status FROM trips WHERE bus_id = 'K005'"_s).toInt(), 0);
    QCOMPARE(g.messages.notices, QStringList{u"车次 K001 已于 10:00 出站。"_s});
    QCOMPARE(g.grid()->row(), g.rowOf(u"K001"_s));
}

void TstOutCheck::forbiddenTripDoesNotLeaveByCard()
{
    Gate g;
    g.db.exec(u"UPDATE trips SET out_status = 2 WHERE bus_id = 'K001'"_s);
    g.formResults[u"frmCheckInfo"_s] = {{u"m_IsOk"_s, true}};
    g.enter(u"0000000001"_s);
    QVERIFY(g.opened.isEmpty());
    QCOMPARE(g.departures(), 0);
    QCOMPARE(g.messages.notices, QStringList{u"车次 K001 已被禁止发车，不能出站！"_s});
}

// A red 安全例检 and no route sheet: the confirmation names both, and one
// 确定 records nothing.
void TstOutCheck::blockedTripRefusedAfterConfirmation()
{
    Gate g;
    g.db.exec(u"UPDATE trips SET scheme_status = 0 WHERE bus_id = 'K001'"_s);
    g.db.exec(u"INSERT INTO condition_checks (station_code, license_id, license, ic_card_id, check_date, cond_index, cond_status, "
              u"cond_time, started_at, cancelled) VALUES ('440100001', 'V1', '粤A10001', '0000000001', ?, 2, 2, ?, ?, 0)"_s,
              {test::gateDay(), test::gateNow().addSecs(-60), test::gateNow().addSecs(-60)});
    g.formResults[u"frmCheckInfo"_s] = {{u"m_IsOk"_s, true}};
    g.enter(u"0000000001"_s);
    QCOMPARE(g.opened.size(), 1);
    const QString shown = g.opened[0].members.value(u"m_szErrorDescription"_s).toString();
    QVERIFY2(shown.contains(u"不能出站：安全例检没有通过，路单未签发"_s), qUtf8Printable(shown));
    QCOMPARE(g.departures(), 0);
    QCOMPARE(g.messages.notices.size(), 1);
    QVERIFY2(g.messages.notices[0].contains(u"安全例检没有通过"_s), qUtf8Printable(g.messages.notices[0]));

    // A station that keeps the old way departs it.
    g.station.gateAllowsUnchecked = true;
    frmOutCheck lenient(g.env, g.station);
    auto *field = lenient.findChild<QLineEdit *>(u"txtLicenseID"_s);
    field->setText(u"0000000001"_s);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(g.departures(), 1);
}

// Condition checks of another day leave the list's lamps alone.
void TstOutCheck::conditionCheckOfAnotherDayIgnored()
{
    Gate g;
    const int row = g.rowOf(u"K003"_s);
    QVERIFY(IsLampGreen(g.grid(), row, ColCond));
    const QDateTime tomorrow = test::gateNow().addDays(1);
    g.db.transact([&] {
        CheckEvents::techCheck(g.db, u"440100001"_s, u"粤B20003"_s, QDateTime(tomorrow.date(), QTime(0, 0)), 2, 1,
                               tomorrow, u"李检"_s);
        CheckEvents::techCheck(g.db, u"440100001"_s, u"粤A10002"_s, test::gateDay(), 2, 1, test::gateNow(),
                               u"李检"_s);
    });
    QTRY_VERIFY_WITH_TIMEOUT(IsLampRed(g.grid(), g.rowOf(u"K002"_s), ColCond), 10000);
    QVERIFY(IsLampGreen(g.grid(), row, ColCond));
}

void TstOutCheck::manualDecision_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("manual");
    QTest::newRow("允许发车") << u"cmdAllow"_s << 1 << 1;
    QTest::newRow("禁止发车") << u"cmdEngage"_s << 2 << 0;
}

void TstOutCheck::manualDecision()
{
    QFETCH(QString, buttonName);
    QFETCH(int, status);
    QFETCH(int, manual);
    Gate g;
    QPushButton *button = g.button(buttonName);
    // Nothing selected yet.
    g.grid()->setCurrentCell(-1, -1);
    button->setEnabled(true);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(g.messages.lastText(), u"请先选择一个班次!"_s);

    emit g.grid()->cellClicked(g.rowOf(u"K001"_s), 1);
    button->setEnabled(true);
    g.messages.clear();
    g.messages.script = {MsgAnswer::No};
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(g.messages.boxes.first().spec.text,
             u"[车次：K001  车牌号：粤A10001  检票人数：12]\n\n  请仔细核对以上信息，确认无误后点“是(Y)”！"_s);
    QCOMPARE(g.departures(), 0);

    g.messages.clear();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(g.db.scalar(u"SELECT status * 10 + manual FROM departures WHERE bus_id = 'K001'"_s).toInt(),
             status * 10 + manual);
    if (status == 1)
        QCOMPARE(g.messages.notices, QStringList{u"允许发车成功！"_s});
    else
        QCOMPARE(g.messages.lastText(), u"禁止发车成功！"_s);
    // The lamp follows the departure notification.
    QTRY_VERIFY_WITH_TIMEOUT(status == 1 ? IsLampGreen(g.grid(), g.rowOf(u"K001"_s), ColOut)
                                         : IsLampRed(g.grid(), g.rowOf(u"K001"_s), ColOut),
                             10000);
}

void TstOutCheck::refusedAllowShowsRefusal()
{
    Gate g;
    emit g.grid()->cellClicked(g.rowOf(u"K003"_s), 1);
    // Another workstation removed the trip meanwhile.
    g.db.exec(u"DELETE FROM trips WHERE bus_id = 'K003'"_s);
    g.button(u"cmdAllow"_s)->setEnabled(true);
    QTest::mouseClick(g.button(u"cmdAllow"_s), Qt::LeftButton);
    QCOMPARE(g.departures(), 0);
    QCOMPARE(g.messages.notices.size(), 1);
    QVERIFY(g.messages.notices[0] != u"允许发车成功！"_s);
    QVERIFY2(g.messages.notices[0].contains(u"K003"_s), qUtf8Printable(g.messages.notices[0]));
}

void TstOutCheck::recordButtons_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("formName");
    QTest::addColumn<bool>("withPlate");
    QTest::newRow("驾驶员") << u"cmdDriver"_s << u"frmDriverCheckList"_s << false;
    QTest::newRow("车容门检") << u"cmdFaceCheck"_s << u"frmFaceCheckList"_s << false;
    QTest::newRow("行包件数") << u"cmdLug"_s << u"frmLugCheckList"_s << false;
    QTest::newRow("车容车况") << u"cmdTechCheck"_s << u"frmTeckCheckList"_s << true;
}

void TstOutCheck::recordButtons()
{
    QFETCH(QString, buttonName);
    QFETCH(QString, formName);
    QFETCH(bool, withPlate);
    Gate g;
    g.grid()->setCurrentCell(-1, -1);
    QTest::mouseClick(g.button(buttonName), Qt::LeftButton);
    QVERIFY(g.opened.isEmpty());
    emit g.grid()->cellClicked(g.rowOf(u"R01-1"_s), 1);
    QTest::mouseClick(g.button(buttonName), Qt::LeftButton);
    QCOMPARE(g.opened.size(), 1);
    QCOMPARE(g.opened[0].form, formName);
    const QVariantMap m = g.opened[0].members;
    QCOMPARE(m.value(u"m_szBusID"_s).toString(), u"R01-1"_s);
    QCOMPARE(m.value(u"m_dtBusDate"_s).toDateTime(), test::gateDay());
    QCOMPARE(m.value(u"m_szParentForm"_s).toString(), u"frmOutCheck"_s);
    QCOMPARE(m.value(u"m_szLicense"_s).toString(), withPlate ? u"粤B20003"_s : QString());
}

void TstOutCheck::refreshTouchesOnlyWindowAndAddsNoRows()
{
    Gate g;
    const QStringList before = g.busColumn();
    g.db.exec(u"UPDATE trips SET check_num = 40, scheme_status = 2"_s);
    g.db.exec(u"UPDATE trips SET license_id = 'V2', license_tag_no = '粤A10002' WHERE bus_id = 'K001'"_s);
    g.db.exec(u"UPDATE rolling_trips SET check_num = 9 WHERE bus_serial_no = '1'"_s);
    g.db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, license_tag_no) "
              u"VALUES ('440100001', ?, 'K009', ?, '440101', '粤A10002')"_s,
              {test::gateDay(), test::gateNow().addSecs(60)});
    g.form->Timer1_Timer();
    QCOMPARE(g.busColumn(), before);
    FlexGrid *grid = g.grid();
    for (const QString &bus : {u"K004"_s, u"K002"_s, u"K001"_s}) {
        QCOMPARE(grid->textMatrix(g.rowOf(bus), ColChecked), u"40"_s);
        QVERIFY(IsLampRed(grid, g.rowOf(bus), ColScheme));
    }
    QCOMPARE(grid->textMatrix(g.rowOf(u"K001"_s), ColPlate), u"粤A10002"_s);
    QCOMPARE(grid->textMatrix(g.rowOf(u"K003"_s), ColChecked), u"12"_s);
    QVERIFY(!IsLampRed(grid, g.rowOf(u"K003"_s), ColScheme));
    // Rolling rows by code and serial.
    QCOMPARE(grid->textMatrix(g.rowOf(u"R01-1"_s), ColChecked), u"9"_s);
    QCOMPARE(grid->textMatrix(g.rowOf(u"R01-2"_s), ColChecked), u"3"_s);
}

void TstOutCheck::unknownLampCodeEmptiesCell()
{
    Gate g;
    const int row = g.rowOf(u"K004"_s);
    QCOMPARE(g.grid()->textMatrix(row, ColOut), u"●"_s);
    g.db.transact([&] { CheckEvents::schemeExCheck(g.db, u"440100001"_s, u"K004"_s, test::gateDay(), 7); });
    QTRY_COMPARE_WITH_TIMEOUT(g.grid()->textMatrix(row, ColOut), QString(), 10000);
    // Another day's event for the same code changes nothing.
    g.db.transact(
        [&] { CheckEvents::schemeExCheck(g.db, u"440100001"_s, u"K001"_s, test::gateDay().addDays(1), 2); });
    g.db.transact([&] { CheckEvents::schemeExCheck(g.db, u"440100001"_s, u"K002"_s, test::gateDay(), 2); });
    QTRY_VERIFY_WITH_TIMEOUT(IsLampRed(g.grid(), g.rowOf(u"K002"_s), ColOut), 10000);
    QVERIFY(!IsLampRed(g.grid(), g.rowOf(u"K001"_s), ColOut));
}

void TstOutCheck::peerResultsRedrawLamps()
{
    Gate g;
    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedChannels);
    peer.start(peerPath(), {g.dbEnv.spec(), test::kGateCtx, u"R01-1"_s, u"粤B20003"_s});
    QVERIFY2(peer.waitForFinished(60000), qUtf8Printable(peerPath()));
    QCOMPARE(peer.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(IsLampGreen(g.grid(), g.rowOf(u"R01-1"_s), ColOut), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(IsLampRed(g.grid(), g.rowOf(u"K003"_s), ColCond), 10000);
    QVERIFY(IsLampRed(g.grid(), g.rowOf(u"R01-2"_s), ColCond)); // same vehicle
    QVERIFY(!IsLampGreen(g.grid(), g.rowOf(u"R01-2"_s), ColOut));
}

// Pictures of the gate and the confirmation over a demo database, for the
// documentation: CG_DEMO_DB names the database, CG_RENDER_DIR the folder.
void TstOutCheck::renderForDocs()
{
    const QString demo = qEnvironmentVariable("CG_DEMO_DB"), dir = qEnvironmentVariable("CG_RENDER_DIR");
    if (demo.isEmpty() || dir.isEmpty())
        QSKIP("CG_DEMO_DB and CG_RENDER_DIR not set");
    Database db(DbConfig::parse(demo));
    SessionService session(db);
    int out = 0;
    session.OpenSession(u"wg"_s, QString(), u"s1"_s, out);
    test::RecordingMessageSink messages;
    test::RecordingSoundPlayer sound;
    test::RecordingStatusSink status;
    ManualClock clock{cg::test::fixtureNow()};
    Env env;
    env.messages = &messages;
    env.clock = &clock;
    env.sound = &sound;
    env.status = &status;
    StationContext station;
    station.db = &db;
    station.session = &session;
    station.context = u"[wg][440100001][440100][0]"_s;
    station.params.BeforeMinute = u"600"_s;
    station.params.OutCheck = true;
    frmOutCheck gate(env, station);
    gate.resize(1280, 620);
    gate.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gate));
    auto *grid = gate.findChild<FlexGrid *>(u"vsList"_s);
    emit grid->cellClicked(4, 1);
    QVERIFY(gate.grab().save(dir + u"/frmOutCheck.png"_s));

    CheckService checks(db, cg::test::fixtureClock());
    const QString text = checks.GetDepartureCheckText(station.context, QDateTime(cg::test::fixtureDay(), QTime(0, 0)),
                                                      QString(), grid->textMatrix(4, ColPlate), QString(), 600,
                                                      session.GetUnitCode());
    SimulatedFingerReader reader(1);
    station.makeFingerprintEngine = [&reader](QObject *parent) -> FingerprintEngine * {
        return new SimulatedFingerprintEngine(&reader, parent);
    };
    frmCheckInfo dlg(env, station);
    dlg.setProperty("m_szErrorDescription", text.mid(7));
    dlg.setProperty("m_szBusID", grid->textMatrix(4, ColBus));
    dlg.setProperty("m_szLicense", grid->textMatrix(4, ColPlate));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(dlg.grab().save(dir + u"/frmCheckInfo.png"_s));
}

void TstOutCheck::exportsTheTripList()
{
    Gate g;
    IListReport *report = ListReportOf(g.form.get());
    QVERIFY(report);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"gate.xls"_s);
    test::ScriptedFileChooser files;
    files.answers = {path};
    g.env.files = &files;
    // The report was attached with the screen's Env: export through a fresh
    // one that carries the scripted chooser.
    GridReport fresh(g.env, g.grid());
    fresh.ExportFile();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringDecoder utf16(QStringConverter::Utf16LE);
    const QString text = utf16.decode(file.readAll());
    QVERIFY(text.contains(u"K001"_s));
    QCOMPARE(int(text.count(u"\r\n"_s)), g.grid()->rows());
}

QTEST_MAIN(TstOutCheck)
#include "tst_outcheck.moc"
