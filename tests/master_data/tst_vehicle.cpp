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


void fillRequired(frmVehicle &form, const QString &code, const QString &plate)
{
    form.txtLicenseID->setText(code);
    form.txtLicense->setText(plate);
    form.txtCompany->setText(u"C01[天河运输]"_s);
    form.txtOwner->setText(u"O01[陈生]"_s);
    form.txtModel->setText(u"M45[宇通45座]"_s);
    form.txtSeat->setText(u"45"_s);
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
    frmVehicle form(s.env, s.ctx);
    openNew(form);
    fillRequired(form, u"V8"_s, u"粤A10008"_s);
    form.txtDriverNum->setText(typed);
    QVERIFY(form.cmdSave_Click());
    QCOMPARE(s.db->scalar(u"SELECT driver_num FROM vehicles WHERE license_id = 'V8'"_s).toInt(), saved);
}

void TstVehicle::typedLimits()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.ctx);
    openNew(form);
    QTest::keyClicks(form.txtDriverNum, u"23"_s);
    QCOMPARE(form.txtDriverNum->text(), u"2"_s);
    // Pasted: the numeric prefix stays. Typed: a letter never gets in.
    form.txtSeat->setText(u"4a5"_s);
    QCOMPARE(form.txtSeat->text(), u"4"_s);
    form.txtSeat->clear();
    QTest::keyClicks(form.txtSeat, u"4a5"_s);
    QCOMPARE(form.txtSeat->text(), u"45"_s);
    form.txtSeat->setText(u"-12"_s);
    QCOMPARE(form.txtSeat->text(), QString());
    // Five bytes for the code: two Chinese characters are four.
    form.txtLicenseID->setText(u"天河站"_s);
    QCOMPARE(form.txtLicenseID->text(), u"天河"_s);
    QTest::keyClicks(form.txtICCard, u"12345678901"_s);
    QCOMPARE(form.txtICCard->text(), u"1234567890"_s);
}

void TstVehicle::companyThenItsOwners()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.ctx);
    openNew(form);
    {
        PickAnswers pick({u"C01"_s});
        form.cmdCompany_Click();
    }
    QCOMPARE(form.txtCompany->text(), u"C01[天河运输]"_s);
    {
        PickAnswers pick({u"O02"_s});
        form.cmdOwner_Click();
        QCOMPARE(pick.offered, (QStringList{u"O01"_s, u"O02"_s})); // C01's owners only
    }
    QCOMPARE(form.txtOwner->text(), u"O02[林生]"_s);
    {
        PickAnswers cancel({QString()});
        form.cmdOwner_Click();
        form.cmdCompany_Click();
    }
    QCOMPARE(form.txtOwner->text(), u"O02[林生]"_s);
    QCOMPARE(form.txtCompany->text(), u"C01[天河运输]"_s);
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
    frmVehicle form(s.env, s.ctx);
    openNew(form);
    form.txtModel->setText(u"old"_s);
    form.txtSeat->setText(u"33"_s);
    PickAnswers pick({picked});
    form.cmdModel_Click();
    QCOMPARE(form.txtModel->text(), model);
    QCOMPARE(form.txtSeat->text(), seats);
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
    frmVehicle form(s.env, s.ctx);
    openNew(form, opener);
    QCOMPARE(form.cboServiceKind->currentText(), nature);
    QCOMPARE(form.cboServiceKind->count(), 3);
    QCOMPARE(form.cboStatus->currentText(), u"正常"_s);
    QCOMPARE(form.dtpCreateDate->date(), test::fixtureDay());
}

void TstVehicle::openedForEdit()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.ctx);
    openEdit(form, u"V1"_s);
    QCOMPARE(form.txtLicenseID->text(), u"V1"_s);
    QCOMPARE(form.txtLicense->text(), u"粤A10001"_s);
    QCOMPARE(form.txtOwner->text(), u"O01[陈生]"_s);
    QCOMPARE(form.txtSeat->text(), u"45"_s);
    QCOMPARE(form.txtDriverNum->text(), u"2"_s);
    QCOMPARE(form.txtICCard->text(), u"0000000001"_s);
    QCOMPARE(form.cmdSave->text(), u"修改(&S)"_s);
    QVERIFY(!form.txtLicenseID->isEnabled());
    QVERIFY(!form.cmdSave->isEnabled());
    // V1's arranged driver, with the dates written out.
    QCOMPARE(form.vsDriver->dataRows(), 1);
    QCOMPARE(form.vsDriver->textMatrix(1, 1), u"张三"_s);
    QCOMPARE(form.vsDriver->textMatrix(1, 2), u"粤A10001"_s);
    QCOMPARE(form.vsDriver->textMatrix(1, 5), u"2026年03月13日"_s);
    QCOMPARE(form.vsDriver->textMatrix(1, 6), u"2026年03月23日"_s);
    form.txtMemo->setText(u"x"_s);
    QVERIFY(form.cmdSave->isEnabled());
    // Edited 停班 vehicle: the status list shows it.
    openEdit(form, u"V4"_s);
    QCOMPARE(form.cboStatus->currentText(), u"停班"_s);
    QCOMPARE(form.cboServiceKind->currentText(), u"旅游"_s);
    QCOMPARE(form.vsDriver->dataRows(), 0);
}

void TstVehicle::unknownVehicleCannotBeSavedOver()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.ctx);
    openEdit(form, u"V1"_s);
    openEdit(form, u"V404"_s); // deleted meanwhile
    QCOMPARE(form.txtLicense->text(), QString()); // nothing of V1 stays
    QCOMPARE(form.lblStatus->text(), u"没有找到车辆[V404]的资料"_s);
    fillRequired(form, u"V404"_s, u"粤A40404"_s);
    QVERIFY(!form.cmdSave->isEnabled());
    QVERIFY(!form.cmdSave_Click());
    QCOMPARE(s.db->scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), 4);
}

void TstVehicle::saveEnablingRule()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.ctx);
    openNew(form);
    QLineEdit *required[] = {form.txtLicenseID, form.txtLicense, form.txtCompany, form.txtOwner, form.txtModel,
                             form.txtSeat};
    fillRequired(form, u"V8"_s, u"粤A10008"_s);
    QVERIFY(form.cmdSave->isEnabled());
    for (QLineEdit *e : required) {
        const QString kept = e->text();
        e->clear();
        QVERIFY2(!form.cmdSave->isEnabled(), qPrintable(e->objectName()));
        e->setText(kept);
        QVERIFY(form.cmdSave->isEnabled());
    }
    // The IC card, driver count and remark are not required.
    form.txtICCard->clear();
    form.txtDriverNum->clear();
    QVERIFY(form.cmdSave->isEnabled());
}

void TstVehicle::addSavesThenEdits()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.ctx);
    openNew(form);
    fillRequired(form, u" V8 "_s, u"粤A10008"_s);
    form.cboStatus->setCurrentIndex(1);
    form.cboServiceKind->setCurrentIndex(form.cboServiceKind->findText(u"旅游"_s));
    form.txtICCard->setText(u"0000000008"_s);
    QVERIFY(form.cmdSave_Click());
    // Switched to the edit state at once: a second save cannot add it twice.
    QCOMPARE(form.m_eStatus, 1);
    QCOMPARE(form.m_szID, u"V8"_s);
    QCOMPARE(form.cmdSave->text(), u"修改(&S)"_s);
    QVERIFY(!form.cmdSave->isEnabled());
    QVERIFY(!form.txtLicenseID->isEnabled());
    QCOMPARE(form.lblStatus->text(), u"保存成功"_s);
    const auto value = [&](const QString &column) {
        return s.db->scalar(u"SELECT %1 FROM vehicles WHERE license_id = 'V8'"_s.arg(column));
    };
    QCOMPARE(value(u"status"_s).toInt(), 1);
    QCOMPARE(value(u"service_kind"_s).toString(), u"旅游"_s);
    QCOMPARE(value(u"seat_weight_num"_s).toInt(), 45);
    QCOMPARE(value(u"ic_card_id"_s).toString(), u"0000000008"_s);
    form.txtSeat->setText(u"47"_s);
    QVERIFY(form.cmdSave_Click());
    QCOMPARE(value(u"seat_weight_num"_s).toInt(), 47);
    QCOMPARE(s.db->scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), 5);
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
    frmVehicle form(s.env, s.ctx);
    openNew(form);
    fillRequired(form, u"V8"_s, plate);
    form.txtICCard->setText(card);
    QVERIFY(!form.cmdSave_Click());
    QCOMPARE(s.messages.boxes.size(), 1);
    QVERIFY2(s.messages.lastText().contains(named), qPrintable(s.messages.lastText()));
    // Nothing written; the form still holds the input and can save again.
    QCOMPARE(s.db->scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), 4);
    QCOMPARE(form.m_eStatus, 0);
    QCOMPARE(form.txtLicense->text(), plate);
    QVERIFY(form.cmdSave->isEnabled());
    QVERIFY(form.txtLicenseID->isEnabled());
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
    frmVehicle form(s.env, s.ctx);
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
    QCOMPARE(s.db->scalar(u"SELECT COUNT(*) FROM vehicles"_s).toInt(), vehicles);
    if (!closed)
        QCOMPARE(form.txtLicense->text(), plate);
}

void TstVehicle::addNewEmptiesTheDriversGrid()
{
    test::MasterDataStation s;
    frmVehicle form(s.env, s.ctx);
    openEdit(form, u"V1"_s);
    QCOMPARE(form.vsDriver->dataRows(), 1);
    form.txtDriverNum->setText(u"3"_s);
    // Changed, and the save refused (V2's plate): 新增 keeps the input.
    form.txtLicense->setText(u"粤A10002"_s);
    s.messages.script = {MsgAnswer::Yes};
    form.cmdAdd_Click();
    QCOMPARE(form.txtLicense->text(), u"粤A10002"_s);
    QCOMPARE(form.m_eStatus, 1);
    // Put right and answered No: a clean new record, driver count kept.
    form.txtLicense->setText(u"粤A10001"_s);
    s.messages.script = {MsgAnswer::No};
    form.cmdAdd_Click();
    QCOMPARE(form.m_eStatus, 0);
    QCOMPARE(form.vsDriver->dataRows(), 0);
    QCOMPARE(form.txtLicenseID->text(), QString());
    QCOMPARE(form.txtLicense->text(), QString());
    QCOMPARE(form.txtDriverNum->text(), u"3"_s);
    QCOMPARE(form.cmdSave->text(), u"保存(&S)"_s);
    QVERIFY(form.txtLicenseID->isEnabled());
    QCOMPARE(s.db->scalar(u"SELECT license FROM vehicles WHERE license_id = 'V1'"_s).toString(), u"粤A10001"_s);
}

QTEST_MAIN(TstVehicle)
#include "tst_vehicle.moc"
