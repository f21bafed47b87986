// The vehicle record: typed limits, the picks and the seat count from the
// model, the default nature by opener, the two states, the unsaved-changes
// question, and refusals that keep the input on screen.

#include "masterdatafixture.h"

#include "master_data/frmvehicle.h"
#include "stationui/picklist.h"
#include "widgets/grid.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using namespace cg;
using test::PickAnswers;

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


void fillRequired(frmVehicle &form, const QString &code, const QString &plate)
{
    test::child<QLineEdit>(&form, u"txtLicenseID"_s)->setText(code);
    test::child<QLineEdit>(&form, u"txtLicense"_s)->setText(plate);
    test::child<QLineEdit>(&form, u"txtCompany"_s)->setText(u"C01[天河运输]"_s);
    test::child<QLineEdit>(&form, u"txtOwner"_s)->setText(u"O01[陈生]"_s);
    test::child<QLineEdit>(&form, u"txtModel"_s)->setText(u"M45[宇通45座]"_s);
    test::child<QLineEdit>(&form, u"txtSeat"_s)->setText(u"45"_s);
}

void openNew(frmVehicle &form, const QString &opener = u"frmVehicleMain"_s)
{
    form.m_szParentForm = opener;
    form.m_eStatus = 0;
    form.Open();
}

void openEdit(frmVehicle &form, const QString &code)
{
    form.m_szParentForm = u"frmVehicleMain"_s;
    form.m_eStatus = 1;
    form.m_szID = code;
    form.Open();
}

} // namespace

class TstVehicle : public QObject {
    Q_OBJECT
private slots:
    void driverCountIsAtLeastOne_data();
    void driverCountIsAtLeastOne();
    void typedLimits();
    void companyThenItsOwners();
    void modelFillsTheSeats_data();
    void modelFillsTheSeats();
    void defaultNatureByOpener_data();
    void defaultNatureByOpener();
    void openedForEdit();
    void unknownVehicleCannotBeSavedOver();
    void saveEnablingRule();
    void addSavesThenEdits();
    void takenPlateOrCardIsRefusedAndKept_data();
    void takenPlateOrCardIsRefusedAndKept();
    void closeQuestion_data();
    void closeQuestion();
    void addNewEmptiesTheDriversGrid();
};

void TstVehicle::driverCountIsAtLeastOne_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("saved");
    QTest::newRow("empty") << QString() << 1;
    QTest::newRow("0") << u"0"_s << 1;
    QTest::newRow("2") << u"2"_s << 2;
    QTest::newRow("a letter") << u"x"_s << 1;
}

void TstVehicle::driverCountIsAtLeastOne()
{
    QFETCH(QString, typed);
    QFETCH(int, saved);
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openNew(form);
    fillRequired(form, u"V8"_s, u"粤A10008"_s);
    test::child<QLineEdit>(&form, u"txtDriverNum"_s)->setText(typed);
    QVERIFY(saveClicked(&form));
    QCOMPARE(s.db.scalar(u"SELECT driver_num FROM vehicles WHERE license_id = 'V8'"_s).toInt(), saved);
}

void TstVehicle::typedLimits()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openNew(form);
    QTest::keyClicks(test::child<QLineEdit>(&form, u"txtDriverNum"_s), u"23"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverNum"_s)->text(), u"2"_s);
    // Pasted: the numeric prefix stays. Typed: a letter never gets in.
    auto *txtSeat = test::child<QLineEdit>(&form, u"txtSeat"_s);
    txtSeat->setText(u"4a5"_s);
    QCOMPARE(txtSeat->text(), u"4"_s);
    txtSeat->clear();
    QTest::keyClicks(txtSeat, u"4a5"_s);
    QCOMPARE(txtSeat->text(), u"45"_s);
    txtSeat->setText(u"-12"_s);
    QCOMPARE(txtSeat->text(), QString());
    // Five bytes for the code: two Chinese characters are four.
    test::child<QLineEdit>(&form, u"txtLicenseID"_s)->setText(u"天河站"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtLicenseID"_s)->text(), u"天河"_s);
    QTest::keyClicks(test::child<QLineEdit>(&form, u"txtICCard"_s), u"12345678901"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtICCard"_s)->text(), u"1234567890"_s);
}

void TstVehicle::companyThenItsOwners()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openNew(form);
    {
        PickAnswers pick({u"C01"_s});
        test::child<QPushButton>(&form, u"cmdCompany"_s)->click();
    }
    QCOMPARE(test::child<QLineEdit>(&form, u"txtCompany"_s)->text(), u"C01[天河运输]"_s);
    {
        PickAnswers pick({u"O02"_s});
        test::child<QPushButton>(&form, u"cmdOwner"_s)->click();
        QCOMPARE(pick.offered, (QStringList{u"O01"_s, u"O02"_s})); // C01's owners only
    }
    QCOMPARE(test::child<QLineEdit>(&form, u"txtOwner"_s)->text(), u"O02[林生]"_s);
    {
        PickAnswers cancel({QString()});
        test::child<QPushButton>(&form, u"cmdOwner"_s)->click();
        test::child<QPushButton>(&form, u"cmdCompany"_s)->click();
    }
    QCOMPARE(test::child<QLineEdit>(&form, u"txtOwner"_s)->text(), u"O02[林生]"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtCompany"_s)->text(), u"C01[天河运输]"_s);
}

void TstVehicle::modelFillsTheSeats_data()
{
    QTest::addColumn<QString>("picked"); // "" = cancelled
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("seats");
    QTest::newRow("45 and 1 give 45") << u"M45"_s << u"M45[宇通45座]"_s << u"45"_s;
    QTest::newRow("cancelled: model and seats kept") << QString() << u"old"_s << u"33"_s;
    QTest::newRow("a model without figures leaves the seats") << u"M00"_s << u"M00[未定]"_s << u"33"_s;
}

void TstVehicle::modelFillsTheSeats()
{
    QFETCH(QString, picked);
    QFETCH(QString, model);
    QFETCH(QString, seats);
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openNew(form);
    test::child<QLineEdit>(&form, u"txtModel"_s)->setText(u"old"_s);
    test::child<QLineEdit>(&form, u"txtSeat"_s)->setText(u"33"_s);
    PickAnswers pick({picked});
    test::child<QPushButton>(&form, u"cmdModel"_s)->click();
    QCOMPARE(test::child<QLineEdit>(&form, u"txtModel"_s)->text(), model);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtSeat"_s)->text(), seats);
}

void TstVehicle::defaultNatureByOpener_data()
{
    QTest::addColumn<QString>("opener");
    QTest::addColumn<QString>("nature");
    QTest::newRow("register: the first nature") << u"frmVehicleMain"_s << u"班车"_s;
    QTest::newRow("dispatch centre: the first nature") << u"frmEnvBusDesk"_s << u"班车"_s;
    QTest::newRow("return station: 临时, the third") << u"frmReturnCheck"_s << u"临时"_s;
}

void TstVehicle::defaultNatureByOpener()
{
    QFETCH(QString, opener);
    QFETCH(QString, nature);
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openNew(form, opener);
    QCOMPARE(test::child<QComboBox>(&form, u"cboServiceKind"_s)->currentText(), nature);
    QCOMPARE(test::child<QComboBox>(&form, u"cboServiceKind"_s)->count(), 3);
    QCOMPARE(test::child<QComboBox>(&form, u"cboStatus"_s)->currentText(), u"正常"_s);
    QCOMPARE(test::child<QDateEdit>(&form, u"dtpCreateDate"_s)->date(), test::fixtureDay());
}

void TstVehicle::openedForEdit()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openEdit(form, u"V1"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtLicenseID"_s)->text(), u"V1"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtLicense"_s)->text(), u"粤A10001"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtOwner"_s)->text(), u"O01[陈生]"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtSeat"_s)->text(), u"45"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverNum"_s)->text(), u"2"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtICCard"_s)->text(), u"0000000001"_s);
    auto *cmdSave = test::child<QPushButton>(&form, u"cmdSave"_s);
    QCOMPARE(cmdSave->text(), u"修改(&S)"_s);
    QVERIFY(!test::child<QLineEdit>(&form, u"txtLicenseID"_s)->isEnabled());
    QVERIFY(!cmdSave->isEnabled());
    // V1's arranged driver, with the dates written out.
    auto *vsDriver = test::child<FlexGrid>(&form, u"vsDriver"_s);
    QCOMPARE(vsDriver->dataRows(), 1);
    QCOMPARE(vsDriver->textMatrix(1, 1), u"张三"_s);
    QCOMPARE(vsDriver->textMatrix(1, 2), u"粤A10001"_s);
    QCOMPARE(vsDriver->textMatrix(1, 5), u"2026年03月13日"_s);
    QCOMPARE(vsDriver->textMatrix(1, 6), u"2026年03月23日"_s);
    test::child<QLineEdit>(&form, u"txtMemo"_s)->setText(u"x"_s);
    QVERIFY(cmdSave->isEnabled());
    // Edited 停班 vehicle: the status list shows it.
    openEdit(form, u"V4"_s);
    QCOMPARE(test::child<QComboBox>(&form, u"cboStatus"_s)->currentText(), u"停班"_s);
    QCOMPARE(test::child<QComboBox>(&form, u"cboServiceKind"_s)->currentText(), u"旅游"_s);
    QCOMPARE(vsDriver->dataRows(), 0);
}

void TstVehicle::unknownVehicleCannotBeSavedOver()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openEdit(form, u"V1"_s);
    openEdit(form, u"V404"_s); // deleted meanwhile
    QCOMPARE(test::child<QLineEdit>(&form, u"txtLicense"_s)->text(), QString()); // nothing of V1 stays
    QCOMPARE(test::child<QLabel>(&form, u"lblStatus"_s)->text(), u"没有找到车辆[V404]的资料"_s);
    fillRequired(form, u"V404"_s, u"粤A40404"_s);
    QVERIFY(!test::child<QPushButton>(&form, u"cmdSave"_s)->isEnabled());
    QVERIFY(!saveClicked(&form));
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), 4);
}

void TstVehicle::saveEnablingRule()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openNew(form);
    QLineEdit *required[] = {test::child<QLineEdit>(&form, u"txtLicenseID"_s), test::child<QLineEdit>(&form, u"txtLicense"_s), test::child<QLineEdit>(&form, u"txtCompany"_s), test::child<QLineEdit>(&form, u"txtOwner"_s), test::child<QLineEdit>(&form, u"txtModel"_s),
                             test::child<QLineEdit>(&form, u"txtSeat"_s)};
    fillRequired(form, u"V8"_s, u"粤A10008"_s);
    auto *cmdSave = test::child<QPushButton>(&form, u"cmdSave"_s);
    QVERIFY(cmdSave->isEnabled());
    for (QLineEdit *e : required) {
        const QString kept = e->text();
        e->clear();
        QVERIFY2(!cmdSave->isEnabled(), qPrintable(e->objectName()));
        e->setText(kept);
        QVERIFY(cmdSave->isEnabled());
    }
    // The IC card, driver count and remark are not required.
    test::child<QLineEdit>(&form, u"txtICCard"_s)->clear();
    test::child<QLineEdit>(&form, u"txtDriverNum"_s)->clear();
    QVERIFY(cmdSave->isEnabled());
}

void TstVehicle::addSavesThenEdits()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openNew(form);
    fillRequired(form, u" V8 "_s, u"粤A10008"_s);
    test::child<QComboBox>(&form, u"cboStatus"_s)->setCurrentIndex(1);
    test::child<QComboBox>(&form, u"cboServiceKind"_s)->setCurrentIndex(test::child<QComboBox>(&form, u"cboServiceKind"_s)->findText(u"旅游"_s));
    test::child<QLineEdit>(&form, u"txtICCard"_s)->setText(u"0000000008"_s);
    QVERIFY(saveClicked(&form));
    // Switched to the edit state at once: a second save cannot add it twice.
    QCOMPARE(form.m_eStatus, 1);
    QCOMPARE(form.m_szID, u"V8"_s);
    QCOMPARE(test::child<QPushButton>(&form, u"cmdSave"_s)->text(), u"修改(&S)"_s);
    QVERIFY(!test::child<QPushButton>(&form, u"cmdSave"_s)->isEnabled());
    QVERIFY(!test::child<QLineEdit>(&form, u"txtLicenseID"_s)->isEnabled());
    QCOMPARE(test::child<QLabel>(&form, u"lblStatus"_s)->text(), u"保存成功"_s);
    const auto value = [&](const QString &column) {
        return s.db.scalar(u"SELECT %1 FROM vehicles WHERE license_id = 'V8'"_s.arg(column));
    };
    QCOMPARE(value(u"status"_s).toInt(), 1);
    QCOMPARE(value(u"service_kind"_s).toString(), u"旅游"_s);
    QCOMPARE(value(u"seat_weight_num"_s).toInt(), 45);
    QCOMPARE(value(u"ic_card_id"_s).toString(), u"0000000008"_s);
    test::child<QLineEdit>(&form, u"txtSeat"_s)->setText(u"47"_s);
    QVERIFY(saveClicked(&form));
    QCOMPARE(value(u"seat_weight_num"_s).toInt(), 47);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), 5);
    QVERIFY(s.messages.boxes.isEmpty());
}

void TstVehicle::takenPlateOrCardIsRefusedAndKept_data()
{
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("named");
    QTest::newRow("V2's plate") << u"粤A10002"_s << QString() << u"[V2]"_s;
    QTest::newRow("V1's card") << u"粤A10008"_s << u"0000000001"_s << u"[V1]"_s;
}

void TstVehicle::takenPlateOrCardIsRefusedAndKept()
{
    QFETCH(QString, plate);
    QFETCH(QString, card);
    QFETCH(QString, named);
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openNew(form);
    fillRequired(form, u"V8"_s, plate);
    test::child<QLineEdit>(&form, u"txtICCard"_s)->setText(card);
    QVERIFY(!saveClicked(&form));
    QCOMPARE(s.messages.boxes.size(), 1);
    QVERIFY2(s.messages.lastText().contains(named), qPrintable(s.messages.lastText()));
    // Nothing written; the form still holds the input and can save again.
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), 4);
    QCOMPARE(form.m_eStatus, 0);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtLicense"_s)->text(), plate);
    QVERIFY(test::child<QPushButton>(&form, u"cmdSave"_s)->isEnabled());
    QVERIFY(test::child<QLineEdit>(&form, u"txtLicenseID"_s)->isEnabled());
}

void TstVehicle::closeQuestion_data()
{
    QTest::addColumn<QString>("plate");
    QTest::addColumn<MsgAnswer>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("vehicles");
    QTest::newRow("No: closes, nothing saved") << u"粤A10008"_s << MsgAnswer::No << true << 4;
    QTest::newRow("Yes: saves and closes") << u"粤A10008"_s << MsgAnswer::Yes << true << 5;
    QTest::newRow("Yes, save refused: stays open") << u"粤A10002"_s << MsgAnswer::Yes << false << 4;
}

void TstVehicle::closeQuestion()
{
    QFETCH(QString, plate);
    QFETCH(MsgAnswer, answer);
    QFETCH(bool, closed);
    QFETCH(int, vehicles);
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    form.show();
    openNew(form);
    // Unchanged: closes without a question.
    QVERIFY(form.close());
    QVERIFY(s.messages.boxes.isEmpty());
    form.show();
    openNew(form);
    fillRequired(form, u"V8"_s, plate);
    s.messages.script = {answer};
    QCOMPARE(form.close(), closed);
    QCOMPARE(s.messages.boxes.first().spec.text, u"信息已被修改，是否要保存修改？"_s);
    QCOMPARE(s.messages.boxes.first().spec.title, u"提示"_s);
    QCOMPARE(form.isVisible(), !closed);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), vehicles);
    if (!closed)
        QCOMPARE(test::child<QLineEdit>(&form, u"txtLicense"_s)->text(), plate);
}

void TstVehicle::addNewEmptiesTheDriversGrid()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.station);
    openEdit(form, u"V1"_s);
    QCOMPARE(test::child<FlexGrid>(&form, u"vsDriver"_s)->dataRows(), 1);
    test::child<QLineEdit>(&form, u"txtDriverNum"_s)->setText(u"3"_s);
    // Changed, and the save refused (V2's plate): 新增 keeps the input.
    auto *txtLicense = test::child<QLineEdit>(&form, u"txtLicense"_s);
    txtLicense->setText(u"粤A10002"_s);
    s.messages.script = {MsgAnswer::Yes};
    test::child<QPushButton>(&form, u"cmdAdd"_s)->click();
    QCOMPARE(txtLicense->text(), u"粤A10002"_s);
    QCOMPARE(form.m_eStatus, 1);
    // Put right and answered No: a clean new record, driver count kept.
    txtLicense->setText(u"粤A10001"_s);
    s.messages.script = {MsgAnswer::No};
    test::child<QPushButton>(&form, u"cmdAdd"_s)->click();
    QCOMPARE(form.m_eStatus, 0);
    QCOMPARE(test::child<FlexGrid>(&form, u"vsDriver"_s)->dataRows(), 0);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtLicenseID"_s)->text(), QString());
    QCOMPARE(txtLicense->text(), QString());
    QCOMPARE(test::child<QLineEdit>(&form, u"txtDriverNum"_s)->text(), u"3"_s);
    QCOMPARE(test::child<QPushButton>(&form, u"cmdSave"_s)->text(), u"保存(&S)"_s);
    QVERIFY(test::child<QLineEdit>(&form, u"txtLicenseID"_s)->isEnabled());
    QCOMPARE(s.db.scalar(u"SELECT license FROM vehicles WHERE license_id = 'V1'"_s).toString(), u"粤A10001"_s);
}

QTEST_MAIN(TstVehicle)
#include "tst_vehicle.moc"
