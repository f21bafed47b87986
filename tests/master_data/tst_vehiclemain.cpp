// The vehicle register: its filter fragment and presets, the list query,
// the row operations the vehicle record calls, deletion, and the way the
// workstation shows it beside the dispatch centre.

#include "masterdatafixture.h"

#include "app/mainwindow.h"
#include "app/screens.h"
#include "core/dates.h"
#include "master_data/frmvehicle.h"
#include "master_data/frmvehiclemain.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

// Clicks 保存 as the operator does; true when the form then reads 保存成功
// (its status line is emptied first, so an earlier save does not count).
bool saveClicked(QWidget *form)
{
    auto *status = test::child<QLabel>(form, u"lblStatus"_s);
    status->clear();
    test::child<QPushButton>(form, u"cmdSave"_s)->click();
    return status->text() == u"保存成功"_s;
}

QStringList column(FlexGrid *grid, int c)
{
    QStringList out;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        out << grid->textMatrix(r, c);
    return out;
}

int rowOf(FlexGrid *grid, const QString &code)
{
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        if (grid->textMatrix(r, frmVehicleMain::ColCode) == code)
            return r;
    return -1;
}

} // namespace

class TstVehicleMain : public QObject {
    Q_OBJECT
private slots:
    void fragment_data();
    void fragment();
    void arrangementChoice_data();
    void arrangementChoice();
    void queryResetsEveryFilter();
    void presetsFromTheOpener_data();
    void presetsFromTheOpener();
    void rowShowsRemarkLampsAndReturn();
    void cancelledReturnEmptiesTheTimeOnRewrite();
    void recordSavesFollowTheKey();
    void deletion();
    void dispatchCentreShowsOneWindowBesideIt();
};

void TstVehicleMain::fragment_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QString>("card");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("nature");
    QTest::addColumn<QString>("expected");
    QTest::newRow("defaults") << QString() << QString() << QString() << 0 << QString() << u" 1=1  AND Status = 0"_s;
    QTest::newRow("card 123, two spaces after AND")
        << QString() << QString() << u"123"_s << 0 << QString() << u" 1=1  AND  ic_card_id = '123' AND Status = 0"_s;
    QTest::newRow("code and plate")
        << u"V1"_s << u"粤A"_s << QString() << 1 << QString()
        << u" 1=1  AND ( license_id LIKE '%V1%' OR license_id LIKE '%V1' OR license_id LIKE 'V1%' OR "
           u"license_id = 'V1') AND ( license LIKE '%粤A%' OR license LIKE '%粤A' OR license LIKE '粤A%' OR "
           u"license = '粤A') AND Status = 1"_s;
    QTest::newRow("nature") << QString() << QString() << QString() << 0 << u"临时"_s
                            << u" 1=1  AND Status = 0 AND service_kind = '临时'"_s;
    QTest::newRow("apostrophe in the plate")
        << QString() << u"O'K"_s << QString() << 0 << QString()
        << u" 1=1  AND ( license LIKE '%O'+\"'\"+'K%' OR license LIKE '%O'+\"'\"+'K' OR license LIKE "
           u"'O'+\"'\"+'K%' OR license = 'O'+\"'\"+'K') AND Status = 0"_s;
}

void TstVehicleMain::fragment()
{
    QFETCH(QString, code);
    QFETCH(QString, plate);
    QFETCH(QString, card);
    QFETCH(int, status);
    QFETCH(QString, nature);
    QFETCH(QString, expected);
    test::MasterDataStation s;
    frmVehicleMain reg(s.env, s.station);
    if (!code.isEmpty())
        test::child<QLineEdit>(&reg, u"txtLicenseID"_s)->setText(code);
    if (!plate.isEmpty())
        test::child<QLineEdit>(&reg, u"txtLicense"_s)->setText(plate);
    if (!card.isEmpty())
        test::child<QLineEdit>(&reg, u"txtICCard"_s)->setText(card);
    test::child<QComboBox>(&reg, u"cboStatus"_s)->setCurrentIndex(status);
    if (!nature.isEmpty())
        test::child<QComboBox>(&reg, u"cboServiceKind"_s)->setCurrentIndex(test::child<QComboBox>(&reg, u"cboServiceKind"_s)->findText(nature));
    QCOMPARE(reg.Fragment(), expected);
    // Every fragment the register builds is one the service takes.
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    QVERIFY2(s.messages.boxes.isEmpty(), qPrintable(s.messages.lastText()));
}

void TstVehicleMain::arrangementChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QDate>("date"); // what the operator leaves in the picker
    QTest::addColumn<QStringList>("listed");
    const QDate today = test::fixtureDay();
    // V1 is arranged today; V2 and V3 are not; V4 is off duty (not listed).
    QTest::newRow("all vehicles") << u"全部车辆"_s << QDate() << QStringList{u"V1"_s, u"V2"_s, u"V3"_s};
    QTest::newRow("arranged today") << u"已排班"_s << today << QStringList{u"V1"_s};
    QTest::newRow("not arranged today") << u"未排班"_s << today << QStringList{u"V2"_s, u"V3"_s};
    QTest::newRow("not arranged a month on") << u"未排班"_s << today.addDays(30)
                                             << QStringList{u"V1"_s, u"V2"_s, u"V3"_s};
    QTest::newRow("arranged, date put back to 1900: no condition")
        << u"已排班"_s << QDate(1900, 1, 1) << QStringList{u"V1"_s, u"V2"_s, u"V3"_s};
}

void TstVehicleMain::arrangementChoice()
{
    QFETCH(QString, choice);
    QFETCH(QDate, date);
    QFETCH(QStringList, listed);
    test::MasterDataStation s;
    frmVehicleMain reg(s.env, s.station);
    auto *dtpArrangeDate = test::child<QDateEdit>(&reg, u"dtpArrangeDate"_s);
    QCOMPARE(dtpArrangeDate->date(), QDate(1900, 1, 1));
    QVERIFY(!dtpArrangeDate->isEnabled());
    test::child<QComboBox>(&reg, u"cboArrange"_s)->setCurrentIndex(test::child<QComboBox>(&reg, u"cboArrange"_s)->findText(choice));
    if (choice == u"全部车辆"_s) {
        QVERIFY(!dtpArrangeDate->isEnabled());
    } else {
        // Choosing it puts today in the date, so the choice always counts.
        QVERIFY(dtpArrangeDate->isEnabled());
        QCOMPARE(dtpArrangeDate->date(), test::fixtureDay());
        dtpArrangeDate->setDate(date);
    }
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    QCOMPARE(column(test::child<FlexGrid>(&reg, u"vsList"_s), frmVehicleMain::ColCode), listed);
}

void TstVehicleMain::queryResetsEveryFilter()
{
    test::MasterDataStation s;
    frmVehicleMain reg(s.env, s.station);
    test::child<QLineEdit>(&reg, u"txtLicenseID"_s)->setText(u"V4"_s);
    test::child<QLineEdit>(&reg, u"txtICCard"_s)->setText(u"0000000004"_s);
    test::child<QComboBox>(&reg, u"cboStatus"_s)->setCurrentIndex(1);
    auto *cboServiceKind = test::child<QComboBox>(&reg, u"cboServiceKind"_s);
    cboServiceKind->setCurrentIndex(cboServiceKind->findText(u"旅游"_s));
    test::child<QComboBox>(&reg, u"cboArrange"_s)->setCurrentIndex(1);
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    QCOMPARE(column(vsList, frmVehicleMain::ColCode), QStringList{u"V4"_s});
    QCOMPARE(s.status.panels[1], u"查询完毕,共1条记录"_s);
    // Everything is back to its first state ...
    for (const QString &name : {u"txtLicenseID"_s, u"txtLicense"_s, u"txtICCard"_s}) {
        auto *box = test::child<PlaceholderBox>(&reg, name);
        QCOMPARE(box->text(), box->placeholderText());
    }
    QCOMPARE(test::child<QComboBox>(&reg, u"cboStatus"_s)->currentText(), u"正常"_s);
    QCOMPARE(cboServiceKind->currentText(), u"车辆性质"_s);
    QCOMPARE(cboServiceKind->count(), 4);
    QCOMPARE(test::child<QComboBox>(&reg, u"cboArrange"_s)->currentText(), u"全部车辆"_s);
    QCOMPARE(test::child<QDateEdit>(&reg, u"dtpArrangeDate"_s)->date(), QDate(1900, 1, 1));
    QVERIFY(!test::child<QDateEdit>(&reg, u"dtpArrangeDate"_s)->isEnabled());
    // ... so an immediate second query lists the 正常 vehicles of every nature.
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    QCOMPARE(column(vsList, frmVehicleMain::ColCode), (QStringList{u"V1"_s, u"V2"_s, u"V3"_s}));
    QCOMPARE(column(vsList, frmVehicleMain::ColNo), (QStringList{u"1"_s, u"2"_s, u"3"_s}));
}

void TstVehicleMain::presetsFromTheOpener_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("menu: nothing until 查询") << u"9"_s << QStringList{};
    QTest::newRow("all vehicles: nothing until 查询") << u"1"_s << QStringList{};
    QTest::newRow("arranged today") << u"2"_s << QStringList{u"V1"_s};
    QTest::newRow("not arranged today") << u"3"_s << QStringList{u"V2"_s, u"V3"_s};
    QTest::newRow("unusable: failed its condition check") << u"4"_s << QStringList{u"V2"_s};
    QTest::newRow("temporary") << u"5"_s << QStringList{u"V3"_s};
}

void TstVehicleMain::presetsFromTheOpener()
{
    QFETCH(QString, type);
    QFETCH(QStringList, listed);
    test::MasterDataStation s;
    frmVehicleMain reg(s.env, s.station);
    QVERIFY(reg.setProperty("m_szType", type));
    QCOMPARE(reg.property("m_szType").toString(), type);
    QCOMPARE(column(test::child<FlexGrid>(&reg, u"vsList"_s), frmVehicleMain::ColCode), listed);
    QVERIFY2(s.messages.boxes.isEmpty(), qPrintable(s.messages.lastText()));
    // The preset counts once: 查询 afterwards lists by the filters again.
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    QCOMPARE(column(test::child<FlexGrid>(&reg, u"vsList"_s), frmVehicleMain::ColCode), (QStringList{u"V1"_s, u"V2"_s, u"V3"_s}));
}

void TstVehicleMain::rowShowsRemarkLampsAndReturn()
{
    test::MasterDataStation s;
    s.db.exec(u"INSERT INTO vehicle_return_states (station_code, license_id, return_status, return_time) "
               u"VALUES ('440100001', 'V1', 1, ?)"_s,
               {QDateTime(test::fixtureDay(), QTime(9, 5))});
    frmVehicleMain reg(s.env, s.station);
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    const int v1 = rowOf(vsList, u"V1"_s);
    const int v2 = rowOf(vsList, u"V2"_s);
    const int v3 = rowOf(vsList, u"V3"_s);
    QCOMPARE(vsList->rowData(v1).toString(), u"V1"_s);
    QCOMPARE(vsList->textMatrix(v1, frmVehicleMain::ColRemark),
             u"所属公司:[天河运输]车主:[陈生]车型:[宇通45座]座位数:[45]"_s);
    // Values without brackets are shown whole.
    QCOMPARE(vsList->textMatrix(v3, frmVehicleMain::ColRemark),
             u"所属公司:[白云运输]车主:[O09]车型:[M45]座位数:[0]"_s);
    QCOMPARE(vsList->textMatrix(v1, frmVehicleMain::ColReturnTime), u"2026年03月18日 09:05"_s);
    QCOMPARE(vsList->textMatrix(v2, frmVehicleMain::ColReturnTime), QString());
    QCOMPARE(reg.returnLamp(v1), 1);
    QCOMPARE(reg.returnLamp(v2), 0);
    QCOMPARE(reg.conditionLamp(v2), 2);
    QVERIFY(IsLampGreen(vsList, v1, frmVehicleMain::ColReturn));
    QVERIFY(IsLampRed(vsList, v2, frmVehicleMain::ColCondition));
}

void TstVehicleMain::cancelledReturnEmptiesTheTimeOnRewrite()
{
    test::MasterDataStation s;
    s.db.exec(u"INSERT INTO vehicle_return_states (station_code, license_id, return_status, return_time) "
               u"VALUES ('440100001', 'V2', 1, ?)"_s,
               {QDateTime(test::fixtureDay(), QTime(9, 5))});
    frmVehicleMain reg(s.env, s.station);
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    const int v2 = rowOf(vsList, u"V2"_s);
    QVERIFY(!vsList->textMatrix(v2, frmVehicleMain::ColReturnTime).isEmpty());
    // The return is cancelled (the no-date time); the row is rewritten.
    s.db.exec(u"UPDATE vehicle_return_states SET return_status = 0, return_time = ? WHERE license_id = 'V2'"_s,
               {NoDate()});
    reg.UpdateOneLine(u"V2"_s);
    QCOMPARE(vsList->textMatrix(v2, frmVehicleMain::ColReturnTime), QString());
    QCOMPARE(reg.returnLamp(v2), 0);
}

void TstVehicleMain::recordSavesFollowTheKey()
{
    test::MasterDataStation s;
    frmVehicleMain reg(s.env, s.station);
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    // Edit V2 (the second row) while another row is current when saving.
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    const int v2 = rowOf(vsList, u"V2"_s);
    vsList->setCurrent(v2, 1);
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdEdit"_s), Qt::LeftButton);
    frmVehicle *record = reg.recordScreen();
    QVERIFY(record);
    QCOMPARE(test::child<QLineEdit>(record, u"txtLicenseID"_s)->text(), u"V2"_s);
    vsList->setCurrent(rowOf(vsList, u"V1"_s), 1);
    test::child<QLineEdit>(record, u"txtLicense"_s)->setText(u"粤A20002"_s);
    QVERIFY(saveClicked(record));
    QCOMPARE(vsList->textMatrix(v2, frmVehicleMain::ColPlate), u"粤A20002"_s);
    QCOMPARE(vsList->textMatrix(rowOf(vsList, u"V1"_s), frmVehicleMain::ColPlate), u"粤A10001"_s);
    QCOMPARE(vsList->dataRows(), 3);

    // A new vehicle is appended, numbered after the others, and current.
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdAdd"_s), Qt::LeftButton);
    QCOMPARE(record->m_eStatus, 0);
    test::child<QLineEdit>(record, u"txtLicenseID"_s)->setText(u"V7"_s);
    test::child<QLineEdit>(record, u"txtLicense"_s)->setText(u"粤A10007"_s);
    test::child<QLineEdit>(record, u"txtCompany"_s)->setText(u"C01[天河运输]"_s);
    test::child<QLineEdit>(record, u"txtOwner"_s)->setText(u"O01[陈生]"_s);
    test::child<QLineEdit>(record, u"txtModel"_s)->setText(u"M45[宇通45座]"_s);
    test::child<QLineEdit>(record, u"txtSeat"_s)->setText(u"45"_s);
    QVERIFY(saveClicked(record));
    QCOMPARE(vsList->dataRows(), 4);
    const int v7 = vsList->rows() - 1;
    QCOMPARE(vsList->textMatrix(v7, frmVehicleMain::ColCode), u"V7"_s);
    QCOMPARE(vsList->textMatrix(v7, frmVehicleMain::ColNo), u"4"_s);
    QCOMPARE(reg.currentKey(), u"V7"_s);
    // Saved once: the record is now edited, a second save rewrites it.
    QCOMPARE(record->m_eStatus, 1);
    test::child<QLineEdit>(record, u"txtMemo"_s)->setText(u"新车"_s);
    QVERIFY(saveClicked(record));
    QCOMPARE(vsList->dataRows(), 4);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM vehicles WHERE license_id = 'V7'"_s).toInt(), 1);
    // Closing the register closes its record screen first.
    reg.close();
    QVERIFY(!record->isVisible());
}

void TstVehicleMain::deletion()
{
    test::MasterDataStation s;
    frmVehicleMain reg(s.env, s.station);
    // Without a row: nothing happens, not even a notice.
    auto *cmdDelete = test::child<QPushButton>(&reg, u"cmdDelete"_s);
    QTest::mouseClick(cmdDelete, Qt::LeftButton);
    QVERIFY(s.messages.boxes.isEmpty());
    QVERIFY(s.messages.notices.isEmpty());

    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    // V1 is arranged to D01: refused, the row stays and the reason is told.
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    vsList->setCurrent(rowOf(vsList, u"V1"_s), 1);
    s.messages.script = {MsgAnswer::Yes};
    QTest::mouseClick(cmdDelete, Qt::LeftButton);
    QVERIFY2(s.messages.lastText().contains(u"排班"_s), qPrintable(s.messages.lastText()));
    QCOMPARE(column(vsList, frmVehicleMain::ColCode), (QStringList{u"V1"_s, u"V2"_s, u"V3"_s}));

    // V2 runs a trip tomorrow: refused as well.
    s.db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, license_id) VALUES ('440100001', ?, 'K009', ?, 'V2')"_s,
               {QDateTime(test::fixtureDay().addDays(1), QTime(0, 0)),
                QDateTime(test::fixtureDay().addDays(1), QTime(7, 0))});
    s.messages.clear();
    vsList->setCurrent(rowOf(vsList, u"V2"_s), 1);
    s.messages.script = {MsgAnswer::Yes};
    QTest::mouseClick(cmdDelete, Qt::LeftButton);
    QVERIFY2(s.messages.lastText().contains(u"车次"_s), qPrintable(s.messages.lastText()));

    // Answered No: nothing deleted.
    s.messages.clear();
    vsList->setCurrent(rowOf(vsList, u"V3"_s), 1);
    s.messages.script = {MsgAnswer::No};
    QTest::mouseClick(cmdDelete, Qt::LeftButton);
    QCOMPARE(vsList->dataRows(), 3);

    // V3 goes; its row with it.
    s.messages.clear();
    s.messages.script = {MsgAnswer::Yes};
    QTest::mouseClick(cmdDelete, Qt::LeftButton);
    QCOMPARE(column(vsList, frmVehicleMain::ColCode), (QStringList{u"V1"_s, u"V2"_s}));
    QCOMPARE(s.messages.lastText(), u"删除成功！"_s);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM vehicles WHERE license_id = 'V3'"_s).toInt(), 0);
}

void TstVehicleMain::dispatchCentreShowsOneWindowBesideIt()
{
    test::MasterDataStation s;
    mdiMain window(s.env, s.station);
    s.env.status = &window;
    RegisterScreens(window, s.env, s.station);
    window.show();
    // 车辆管理 in the menu: a child screen listing every kind of vehicle.
    QAction *entry = window.menuAction(u"m5"_s);
    QVERIFY(entry && entry->isEnabled());
    entry->trigger();
    QMdiSubWindow *child = window.mdiArea()->activeSubWindow();
    QVERIFY(child);
    QCOMPARE(child->widget()->property("m_szType").toString(), u"9"_s);

    // The dispatch centre's buttons: one window of its own, not modal,
    // reused with the next button's preset.
    QVERIFY(s.station.showForm);
    QWidget *first = s.station.showForm(nullptr, u"frmVehicleMain"_s, {{u"m_szType"_s, u"2"_s}});
    auto *reg = qobject_cast<frmVehicleMain *>(first);
    QVERIFY(reg);
    QVERIFY(reg->isVisible());
    QVERIFY(reg->isWindow());
    QVERIFY(!reg->isModal());
    QCOMPARE(column(test::child<FlexGrid>(reg, u"vsList"_s), frmVehicleMain::ColCode), QStringList{u"V1"_s});
    QWidget *second = s.station.showForm(nullptr, u"frmVehicleMain"_s, {{u"m_szType"_s, u"5"_s}});
    QCOMPARE(second, first);
    QCOMPARE(column(test::child<FlexGrid>(reg, u"vsList"_s), frmVehicleMain::ColCode), QStringList{u"V3"_s});

    // 新增车辆: the record, new, its opening steps run for each request.
    auto *record = qobject_cast<frmVehicle *>(s.station.showForm(
        nullptr, u"frmVehicle"_s, {{u"m_szParentForm"_s, u"frmEnvBusDesk"_s}, {u"m_eStatus"_s, 0}}));
    QVERIFY(record);
    QCOMPARE(test::child<QComboBox>(record, u"cboServiceKind"_s)->currentText(), u"班车"_s);
    auto *again = qobject_cast<frmVehicle *>(s.station.showForm(
        nullptr, u"frmVehicle"_s, {{u"m_szParentForm"_s, u"frmReturnCheck"_s}, {u"m_eStatus"_s, 0}}));
    QCOMPARE(again, record);
    QCOMPARE(test::child<QComboBox>(record, u"cboServiceKind"_s)->currentText(), u"临时"_s);
    QVERIFY(!s.station.showForm(nullptr, u"frmNoSuchForm"_s, {}));

    // Closing the main window closes them first.
    QPointer<QWidget> watched = reg;
    window.close();
    QVERIFY(!reg->isVisible());
    QVERIFY(!record->isVisible());
    QVERIFY(watched);
}

QTEST_MAIN(TstVehicleMain)
#include "tst_vehiclemain.moc"
