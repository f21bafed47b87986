// 回场报班 driven by objectName: the list and the recent-returns panel,
// card reads of every length, F4/F5 following the selected row, rows
// redrawn from ReturnCheck (also from another process), the cancellation's
// own redraw, and 车辆增加.

#include "support/fixturetime.h"
#include "support/testsupport.h"
#include "../vehicle_check/vehiclecheckfixture.h"

#include "core/dates.h"
#include "services/checks/checknotifier.h"
#include "services/checks/checkservice.h"
#include "return_check/frmreturncheck.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

// The station's vehicle list, found by its name.
FlexGrid *grid(const QWidget *form) { return test::child<FlexGrid>(form, u"vsList"_s); }

using R = frmReturnCheck;

QDateTime at(int hour, int minute) { return QDateTime(cg::test::fixtureDay(), QTime(hour, minute)); }

struct Station : test::InspectionStation {
    Station()
    {
        db.exec(u"INSERT INTO vehicles (license_id, license, model_id, company_name, service_kind, ic_card_id, "
                u"status) VALUES "
                u"('V1', '粤A10001', 'M1[宇通大巴]', 'C01[天河运输]', '班车', '0000000001', 0), "
                u"('V2', '粤A10002', 'M2[金龙中巴]', 'C01[天河运输]', '班车', '0000000002', 0), "
                u"('V3', '粤B20003', 'M1[宇通大巴]', 'C02[白云客运]', '临时', '', 0), "
                u"('V4', '粤B20004', 'M1[宇通大巴]', 'C02[白云客运]', '班车', '0000000004', 1)"_s);
    }
    // Another workstation of the same station, on its own service object.
    void returnElsewhere(const QString &code, const QString &plate, const QDateTime &when, const QString &who)
    {
        CheckService other(db, clock);
        other.SetReturnStatus(station.context, code, when, true, who, plate);
    }
    std::unique_ptr<R> open()
    {
        auto f = std::make_unique<R>(env, station);
        f->show();
        return f;
    }
};

int rowOf(R &f, const QString &plate)
{
    for (int r = 1; r < grid(&f)->rows(); ++r)
        if (grid(&f)->textMatrix(r, R::ColLicense) == plate)
            return r;
    return -1;
}

void clickRow(R &f, int row)
{
    const QRect rect = grid(&f)->visualItemRect(grid(&f)->item(row, R::ColLicenseId));
    QTest::mouseClick(grid(&f)->viewport(), Qt::LeftButton, {}, rect.center());
}

QString label(R &f, const QString &name) { return f.findChild<QLabel *>(name)->text(); }

void swipe(R &f, const QString &text)
{
    auto *box = f.findChild<QLineEdit *>(u"txtLicense"_s);
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
}

bool returnsRecorded(Station &st, const QString &code)
{
    return st.count(u"SELECT COUNT(*) FROM vehicle_returns WHERE license_id = ? AND returned = 1"_s, {code}) > 0;
}

} // namespace

class TestReturnCheck : public QObject {
    Q_OBJECT
private slots:
    void listShowsTheStationsVehicles()
    {
        Station st;
        st.returnElsewhere(u"V2"_s, u"粤A10002"_s, at(9, 5), u"李敏"_s);
        auto f = st.open();
        FlexGrid *g = f->findChild<FlexGrid *>(u"vsList"_s);
        // V4 is out of service: not listed. Ordered by vehicle code.
        QCOMPARE(g->dataRows(), 3);
        QCOMPARE(g->textMatrix(1, R::ColLicenseId), u"V1"_s);
        QCOMPARE(g->textMatrix(2, R::ColModel), u"金龙中巴"_s);
        QCOMPARE(g->textMatrix(2, R::ColCompany), u"天河运输"_s);
        QCOMPARE(g->textMatrix(2, R::ColKind), u"班车"_s);
        QCOMPARE(g->textMatrix(2, R::ColCard), u"0000000002"_s);
        QVERIFY(IsLampGreen(g, 2, R::ColStatus));
        QCOMPARE(g->textMatrix(2, R::ColTime), u"2026年03月18日 09:05"_s);
        QCOMPARE(g->textMatrix(2, R::ColChecker), u"李敏"_s);
        QCOMPARE(LampCellColor(g, 1, R::ColStatus), LampYellow);
        QCOMPARE(g->textMatrix(1, R::ColTime), QString());
        QCOMPARE(g->textMatrix(1, R::ColChecker), QString());
        QCOMPARE(st.status.panels[1], u"查询完毕,  共3条记录"_s);
        // Nothing selected yet: neither decision can be taken.
        QVERIFY(!f->findChild<QPushButton *>(u"cmdStartCheck"_s)->isEnabled());
        QVERIFY(!f->findChild<QPushButton *>(u"cmdRemoveCheck"_s)->isEnabled());
        // The plate filter: 查询 lists the matches and empties the box.
        test::child<QLineEdit>(&*f, u"txtLicense"_s)->setText(u"B2000"_s);
        QTest::mouseClick(f->findChild<QPushButton *>(u"cmdQuery"_s), Qt::LeftButton);
        QCOMPARE(g->dataRows(), 1);
        QCOMPARE(g->textMatrix(1, R::ColLicense), u"粤B20003"_s);
        QVERIFY(test::child<QLineEdit>(&*f, u"txtLicense"_s)->text().isEmpty());
        QVERIFY(st.messages.boxes.isEmpty());
    }

    void recentPanelOnOpening_data()
    {
        QTest::addColumn<int>("returns");
        QTest::newRow("none") << 0;
        QTest::newRow("fewer than six") << 3;
        QTest::newRow("more than six") << 8;
    }
    void recentPanelOnOpening()
    {
        QFETCH(int, returns);
        Station st;
        for (int i = 0; i < returns; ++i) {
            const QString code = u"W%1"_s.arg(i);
            const QString plate = u"粤C3000%1"_s.arg(i);
            st.db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id) VALUES (?, ?, ?)"_s,
                       {code, plate, u"10000000%1"_s.arg(i, 2, 10, QChar(u'0'))});
            st.returnElsewhere(code, plate, at(8, i), u"李敏"_s);
        }
        auto f = st.open();
        if (returns == 0) {
            QCOMPARE(label(*f, u"lblReturnTime_0"_s), u"最近没有车辆回场的信息"_s);
            QCOMPARE(label(*f, u"lblLicenseID_0"_s), QString());
            QCOMPARE(label(*f, u"lblLicense_0"_s), QString());
            QCOMPARE(label(*f, u"lblIcCardID_0"_s), QString());
        } else {
            const int latest = returns - 1;
            QCOMPARE(label(*f, u"lblReturnTime_0"_s), u" 最后回场时间： 2026-03-18 08:0%1:00"_s.arg(latest));
            QCOMPARE(label(*f, u"lblLicenseID_0"_s), u"车辆代码： W%1"_s.arg(latest));
            QCOMPARE(label(*f, u"lblLicense_0"_s), u"车牌号： 粤C3000%1"_s.arg(latest));
            QCOMPARE(label(*f, u"lblIcCardID_0"_s), u"IC卡号： 10000000%1"_s.arg(latest, 2, 10, QChar(u'0')));
        }
        for (int e = 1; e < R::kRecentEntries; ++e) {
            const int i = returns - 1 - e; // the return entry e shows, when there is one
            const QString n = QString::number(e);
            QCOMPARE(label(*f, u"lblLicense_"_s + n), i >= 0 ? u"粤C3000%1"_s.arg(i) : QString());
            QCOMPARE(label(*f, u"lblIcCardID_"_s + n),
                     i >= 0 ? u"10000000%1"_s.arg(i, 2, 10, QChar(u'0')) : QString());
            QCOMPARE(label(*f, u"lblReturnTime_"_s + n), i >= 0 ? u"2026-03-18 08:0%1:00"_s.arg(i) : QString());
        }
    }

    void enterInThePlateBox_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("box");    // the message box shown, "" for none
        QTest::addColumn<QString>("notice"); // part of the notice shown, "" for none
        QTest::addColumn<QString>("code");   // the vehicle registered, "" for none
        QTest::newRow("empty box") << QString() << QString() << QString() << QString();
        QTest::newRow("9 characters") << u"000000000"_s << u"刷卡出错，请重刷！"_s << QString() << QString();
        QTest::newRow("11 characters") << u"00000000022"_s << u"刷卡出错，请重刷！"_s << QString() << QString();
        QTest::newRow("unknown card") << u"0000000099"_s << QString() << u"0000000099"_s << QString();
        QTest::newRow("card of a vehicle") << u"0000000002"_s << u"车牌号：[粤A10002]回场报班成功！"_s << QString()
                                           << u"V2"_s;
    }
    void enterInThePlateBox()
    {
        QFETCH(QString, entry);
        QFETCH(QString, box);
        QFETCH(QString, notice);
        QFETCH(QString, code);
        Station st;
        auto f = st.open();
        swipe(*f, entry);
        QCOMPARE(st.messages.lastText(), box);
        if (notice.isEmpty()) {
            QVERIFY(st.messages.notices.isEmpty());
        } else {
            QCOMPARE(st.messages.notices.size(), 1);
            QVERIFY2(st.messages.notices.first().contains(notice), qPrintable(st.messages.notices.first()));
        }
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM vehicle_returns"_s), code.isEmpty() ? 0 : 1);
        if (!code.isEmpty())
            QVERIFY(returnsRecorded(st, code));
        QVERIFY(test::child<QLineEdit>(&*f, u"txtLicense"_s)->text().isEmpty());
        QCOMPARE(label(*f, u"lblLicenseID_0"_s), code.isEmpty() ? QString() : u"车辆代码： "_s + code);
    }

    void cardReturnOfAnUnlistedVehicle()
    {
        Station st;
        st.returnElsewhere(u"V3"_s, u"粤B20003"_s, at(8, 0), u"李敏"_s);
        auto f = st.open();
        QCOMPARE(label(*f, u"lblLicenseID_0"_s), u"车辆代码： V3"_s);
        test::child<QLineEdit>(&*f, u"txtLicense"_s)->setText(u"A10001"_s);
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key_F8);
        QCOMPARE(grid(&*f)->dataRows(), 1);
        swipe(*f, u"0000000002"_s);
        QVERIFY(returnsRecorded(st, u"V2"_s));
        // The listed vehicle is untouched; the panel names the card's vehicle
        // on every line of entry 0, and the earlier return moves down.
        QTest::qWait(300);
        QCOMPARE(LampCellColor(grid(&*f), 1, R::ColStatus), LampYellow);
        QCOMPARE(label(*f, u"lblLicense_0"_s), u"车牌号： 粤A10002"_s);
        QCOMPARE(label(*f, u"lblLicenseID_0"_s), u"车辆代码： V2"_s);
        QCOMPARE(label(*f, u"lblIcCardID_0"_s), u"IC卡号： 0000000002"_s);
        QCOMPARE(label(*f, u"lblReturnTime_0"_s), u" 最后回场时间： 2026-03-18 10:00:00"_s);
        QCOMPARE(label(*f, u"lblLicense_1"_s), u"粤B20003"_s);
        QCOMPARE(label(*f, u"lblIcCardID_1"_s), QString());
        QCOMPARE(label(*f, u"lblReturnTime_1"_s), u"2026-03-18 08:00:00"_s);
    }

    void functionKeysFollowTheRow_data()
    {
        QTest::addColumn<bool>("returned");
        QTest::addColumn<QString>("checker");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("asks");
        const QString li = u"李敏"_s;
        QTest::newRow("F4 on a vehicle not returned") << false << li << int(Qt::Key_F4) << true;
        QTest::newRow("F4 on a returned vehicle") << true << li << int(Qt::Key_F4) << false;
        QTest::newRow("F5 on a returned vehicle") << true << li << int(Qt::Key_F5) << true;
        QTest::newRow("F5 on a vehicle not returned") << false << li << int(Qt::Key_F5) << false;
        // The lamp says returned even where no checker was recorded: the
        // buttons follow the lamp, not the checker's cell.
        QTest::newRow("F4 on a vehicle returned without a checker") << true << QString() << int(Qt::Key_F4) << false;
        QTest::newRow("F5 on a vehicle returned without a checker") << true << QString() << int(Qt::Key_F5) << true;
    }
    void functionKeysFollowTheRow()
    {
        QFETCH(bool, returned);
        QFETCH(QString, checker);
        QFETCH(int, key);
        QFETCH(bool, asks);
        Station st;
        if (returned)
            st.returnElsewhere(u"V1"_s, u"粤A10001"_s, at(9, 0), checker);
        auto f = st.open();
        clickRow(*f, rowOf(*f, u"粤A10001"_s));
        QCOMPARE(test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->isEnabled(), !returned);
        QCOMPARE(test::child<QPushButton>(&*f, u"cmdRemoveCheck"_s)->isEnabled(), returned);
        QCOMPARE(grid(&*f)->cellBackColor(1, R::ColLicense), QColor(0x80, 0xFF, 0xFF));
        QVERIFY(grid(&*f)->cellBackColor(1, R::ColStatus) != QColor(0x80, 0xFF, 0xFF));
        st.messages.defaultAnswer = MsgAnswer::Cancel;
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key(key));
        QCOMPARE(st.messages.boxes.size(), asks ? 1 : 0);
        if (asks) {
            QCOMPARE(st.messages.lastTitle(), u"车辆回场报班"_s);
            QCOMPARE(st.messages.lastText(), key == Qt::Key_F4 ? u"您确认是车牌号为［粤A10001］回到场内吗？"_s
                                                               : u"您确认是车牌号为［粤A10001］未回场内吗？"_s);
        }
        // Cancelled or refused: nothing changes.
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM vehicle_returns"_s), returned ? 1 : 0);
        // Another row takes the highlight.
        clickRow(*f, 2);
        QCOMPARE(grid(&*f)->cellBackColor(1, R::ColLicense), QColor(0xFF, 0xFF, 0xFF));
        QCOMPARE(grid(&*f)->cellBackColor(2, R::ColChecker), QColor(0x80, 0xFF, 0xFF));
    }

    void confirmationTurnsTheRowGreenByNotification()
    {
        Station st;
        auto f = st.open();
        const int row = rowOf(*f, u"粤A10002"_s);
        clickRow(*f, row);
        QTest::mouseClick(test::child<QPushButton>(&*f, u"cmdStartCheck"_s), Qt::LeftButton);
        QVERIFY(returnsRecorded(st, u"V2"_s));
        // The panel shows the return at once; the row waits for ReturnCheck.
        QCOMPARE(label(*f, u"lblIcCardID_0"_s), u"IC卡号： 0000000002"_s);
        QCOMPARE(label(*f, u"lblLicenseID_0"_s), u"车辆代码： V2"_s);
        QVERIFY(test::child<QLineEdit>(&*f, u"txtLicense"_s)->text().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(IsLampGreen(grid(&*f), row, R::ColStatus), 5000);
        QCOMPARE(grid(&*f)->textMatrix(row, R::ColChecker), u"王工"_s);
        QCOMPARE(grid(&*f)->textMatrix(row, R::ColTime), u"2026年03月18日 10:00"_s);
        QVERIFY(!test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->isEnabled());
        QVERIFY(test::child<QPushButton>(&*f, u"cmdRemoveCheck"_s)->isEnabled());
        QVERIFY(st.messages.notices.isEmpty());
    }

    void cancellationRedrawsItsRowAtOnce()
    {
        Station st;
        st.returnElsewhere(u"V1"_s, u"粤A10001"_s, at(9, 0), u"李敏"_s);
        auto f = st.open();
        clickRow(*f, 1);
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key_F5);
        QCOMPARE(LampCellColor(grid(&*f), 1, R::ColStatus), LampYellow);
        QCOMPARE(grid(&*f)->textMatrix(1, R::ColTime), QString());
        QCOMPARE(grid(&*f)->textMatrix(1, R::ColChecker), QString());
        QVERIFY(test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->isEnabled());
        QVERIFY(!test::child<QPushButton>(&*f, u"cmdRemoveCheck"_s)->isEnabled());
        // The station's own state of V1, cancelled: its row says 0.
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM vehicle_return_states WHERE station_code = ? AND license_id = 'V1' "
                          u"AND return_status = 0"_s,
                          {st.station.stationCode()}),
                 1);
        // Its own notification changes nothing more.
        QTest::qWait(400);
        QCOMPARE(LampCellColor(grid(&*f), 1, R::ColStatus), LampYellow);
        QVERIFY(test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->isEnabled());
    }

    void anotherStationsReturnDisablesF4()
    {
        Station st;
        auto f = st.open();
        clickRow(*f, 1);
        QVERIFY(test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->isEnabled());
        st.returnElsewhere(u"V1"_s, u"粤A10001"_s, at(9, 58), u"李敏"_s);
        QTRY_VERIFY_WITH_TIMEOUT(IsLampGreen(grid(&*f), 1, R::ColStatus), 5000);
        QVERIFY(!test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->isEnabled());
        QVERIFY(test::child<QPushButton>(&*f, u"cmdRemoveCheck"_s)->isEnabled());
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key_F4);
        QVERIFY(st.messages.boxes.isEmpty());
        QCOMPARE(grid(&*f)->textMatrix(1, R::ColChecker), u"李敏"_s);
    }

    void staleRowIsRefusedNotOverwritten()
    {
        Station st;
        auto f = st.open();
        clickRow(*f, 1);
        // Registered elsewhere, its notification not yet delivered here.
        st.returnElsewhere(u"V1"_s, u"粤A10001"_s, at(9, 58), u"李敏"_s);
        QTest::keyClick(test::child<QLineEdit>(&*f, u"txtLicense"_s), Qt::Key_F4);
        QCOMPARE(st.messages.boxes.size(), 2);
        QVERIFY(st.messages.boxes.last().spec.title.startsWith(u"错误-"_s));
        QVERIFY(st.messages.lastText().contains(u"李敏"_s));
        QCOMPARE(st.count(u"SELECT COUNT(*) FROM vehicle_returns"_s), 1);
        QCOMPARE(st.db.scalar(u"SELECT return_checker FROM vehicle_return_states WHERE license_id = 'V1'"_s).toString(),
                 u"李敏"_s);
        // Nothing of the refused confirmation reaches the panel.
        QCOMPARE(label(*f, u"lblLicenseID_0"_s), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!test::child<QPushButton>(&*f, u"cmdStartCheck"_s)->isEnabled(), 5000);
    }

    void notificationForAPlateListedTwice()
    {
        Station st;
        auto f = st.open();
        // The list shows a plate on two rows (a vehicle re-plated since).
        grid(&*f)->setTextMatrix(3, R::ColLicense, u"粤A10001"_s);
        st.returnElsewhere(u"V1"_s, u"粤A10001"_s, at(9, 30), u"李敏"_s);
        QTRY_VERIFY_WITH_TIMEOUT(IsLampGreen(grid(&*f), 3, R::ColStatus), 5000);
        QVERIFY(IsLampGreen(grid(&*f), 1, R::ColStatus));
        QCOMPARE(grid(&*f)->textMatrix(3, R::ColChecker), u"李敏"_s);
        QCOMPARE(grid(&*f)->textMatrix(1, R::ColTime), u"2026年03月18日 09:30"_s);
        QCOMPARE(LampCellColor(grid(&*f), 2, R::ColStatus), LampYellow);
    }

    void cardReturnInAnotherProcessTurnsTheRowGreen()
    {
        Station st;
        auto f = st.open();
        const int row = rowOf(*f, u"粤A10002"_s);
        QProcess peer;
        peer.start(qEnvironmentVariable("CG_TEST_BINARY_DIR") + u"/tests/return_check/return_peer"_s,
                   {st.dbEnv.spec(), st.station.context, u"0000000002"_s, u"李敏"_s});
        QVERIFY(peer.waitForFinished(30000));
        QCOMPARE(peer.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(IsLampGreen(grid(&*f), row, R::ColStatus), 5000);
        QCOMPARE(grid(&*f)->textMatrix(row, R::ColChecker), u"李敏"_s);
        QCOMPARE(grid(&*f)->textMatrix(row, R::ColTime), u"2026年03月18日 10:00"_s);
        QCOMPARE(LampCellColor(grid(&*f), rowOf(*f, u"粤A10001"_s), R::ColStatus), LampYellow);
    }

    void addVehicle_data()
    {
        QTest::addColumn<bool>("offered");
        QTest::addColumn<bool>("opens");
        QTest::newRow("no vehicle record on this workstation") << false << false;
        QTest::newRow("vehicle record offered") << true << true;
        QTest::newRow("vehicle record fails to open") << true << false;
    }
    void addVehicle()
    {
        QFETCH(bool, offered);
        QFETCH(bool, opens);
        Station st;
        st.station.hasForm = [offered](const QString &form) { return offered && form == u"frmVehicle"_s; };
        if (opens)
            st.formResults.insert(u"frmVehicle"_s, {{u"m_szID"_s, u"V9"_s}});
        auto f = st.open();
        auto *add = f->findChild<QPushButton *>(u"cmdAddVehicle"_s);
        QCOMPARE(add->isEnabled(), offered);
        QCOMPARE(add->toolTip().isEmpty(), offered);
        QTest::mouseClick(add, Qt::LeftButton);
        if (!offered) {
            QVERIFY(st.opened.isEmpty());
            return;
        }
        QCOMPARE(st.opened.size(), 1);
        QCOMPARE(st.opened[0].form, u"frmVehicle"_s);
        QCOMPARE(st.opened[0].members.value(u"m_szParentForm"_s).toString(), u"frmReturnCheck"_s);
        QCOMPARE(st.opened[0].members.value(u"m_eStatus"_s).toInt(), 0);
        // A form that did not open is said so; the list is not changed.
        QCOMPARE(st.messages.boxes.size(), opens ? 0 : 1);
        QCOMPARE(grid(&*f)->dataRows(), 3);
    }
};

QTEST_MAIN(TestReturnCheck)
#include "tst_returncheck.moc"
