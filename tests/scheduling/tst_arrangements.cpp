// The arrangement register and its three dialogs, driven offscreen: the
// filter fragment, deletion, modifying by the original key, generating for
// ticked vehicles, and substituting a driver found by name.

#include "../master_data/masterdatafixture.h"

#include "scheduling/frmarrangevehiclemain.h"
#include "scheduling/frmgeneratearrangevehicle.h"
#include "scheduling/frmmodifyarrangevehicle.h"
#include "scheduling/frmschmechange.h"
#include "services/checks/checkservice.h"
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

namespace {

QDate day(int offset)
{
    return test::fixtureDay().addDays(offset);
}

QStringList column(FlexGrid *grid, int c)
{
    QStringList out;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        out << grid->textMatrix(r, c);
    return out;
}

// The station with a second arrangement (V2 to D04, days 0-9) and the
// companies as code list 7.
struct Station : test::MasterDataStation {
    Station()
    {
        db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date, memo) "
                 u"VALUES ('V2', 'D04', '赵六', ?, ?, '夜班')"_s,
                 {QDateTime(day(0), QTime(0, 0)), QDateTime(day(9), QTime(0, 0))});
        db.exec(u"INSERT INTO code_items (kind, name) VALUES (7, 'C01[天河运输]'), (7, 'C02[白云运输]')"_s);
    }
    int count(const QString &sql) { return db.scalar(sql).toInt(); }
};

} // namespace

class TstArrangements : public QObject {
    Q_OBJECT
private slots:
    void fragment_data();
    void fragment();
    void listAndDelete();
    void modifyRewritesTheRow();
    void generateDialog();
    void generateDefaultsToOneMonth_data();
    void generateDefaultsToOneMonth();
    void substitutionDialog();
};

void TstArrangements::fragment_data()
{
    QTest::addColumn<QString>("driverId");
    QTest::addColumn<QString>("driverName");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing") << QString() << QString() << QString() << u" 1=1 "_s;
    QTest::newRow("driver 01, exact first")
        << u"01"_s << QString() << QString()
        << u" 1=1  AND(vd.driver_id = '01' OR vd.driver_id LIKE '%01%' OR vd.driver_id LIKE '%01' OR "
           u"vd.driver_id LIKE '01%' ) "_s;
    QTest::newRow("a name of spaces adds nothing") << QString() << u"   "_s << QString() << u" 1=1 "_s;
    QTest::newRow("apostrophe")
        << QString() << u"O'K"_s << QString()
        << u" 1=1  AND(vd.driver_name = 'O'+\"'\"+'K' OR vd.driver_name LIKE '%O'+\"'\"+'K%' OR vd.driver_name "
           u"LIKE '%O'+\"'\"+'K' OR vd.driver_name LIKE 'O'+\"'\"+'K%' ) "_s;
    QTest::newRow("company") << QString() << QString() << u"C01[天河运输]"_s
                             << u" 1=1  AND v.company_name = 'C01[天河运输]'"_s;
}

void TstArrangements::fragment()
{
    QFETCH(QString, driverId);
    QFETCH(QString, driverName);
    QFETCH(QString, company);
    QFETCH(QString, expected);
    Station s;
    frmArrangeVehicleMain reg(s.env, s.station);
    auto *cboCompany = test::child<QComboBox>(&reg, u"cboCompany"_s);
    QCOMPARE(cboCompany->itemText(0), QString());
    QCOMPARE(cboCompany->count(), 3);
    test::child<QLineEdit>(&reg, u"txtDriverID"_s)->setText(driverId);
    test::child<QLineEdit>(&reg, u"txtDriverName"_s)->setText(driverName);
    cboCompany->setCurrentIndex(company.isEmpty() ? 0 : cboCompany->findText(company));
    QCOMPARE(reg.Fragment(), expected);
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    QVERIFY2(s.messages.boxes.isEmpty(), qPrintable(s.messages.lastText()));
}

void TstArrangements::listAndDelete()
{
    Station s;
    frmArrangeVehicleMain reg(s.env, s.station);
    // Without a row: told to choose one, nothing asked.
    auto *cmdDelete = test::child<QPushButton>(&reg, u"cmdDelete"_s);
    QTest::mouseClick(cmdDelete, Qt::LeftButton);
    QCOMPARE(s.messages.lastText(), u"请先选择一行!"_s);
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdEdit"_s), Qt::LeftButton);
    QCOMPARE(s.messages.lastText(), u"请先选择一行!"_s);
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdChange"_s), Qt::LeftButton);
    QCOMPARE(s.messages.lastText(), u"请先选择一条记录！"_s);

    test::child<QLineEdit>(&reg, u"txtLicense"_s)->setText(u"粤A"_s);
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    QCOMPARE(column(vsList, frmArrangeVehicleMain::ColDriver), (QStringList{u"张三"_s, u"赵六"_s}));
    QCOMPARE(vsList->textMatrix(1, frmArrangeVehicleMain::ColStart), u"2026年03月13日"_s);
    QCOMPARE(vsList->textMatrix(2, frmArrangeVehicleMain::ColCompany), u"天河运输"_s);
    QCOMPARE(vsList->textMatrix(2, frmArrangeVehicleMain::ColMemo), u"夜班"_s);
    QCOMPARE(test::child<QLineEdit>(&reg, u"txtLicense"_s)->text(), u"粤A"_s); // the filters keep their values

    // Deleted on another desk meanwhile: refused, the row stays and says why.
    s.db.exec(u"DELETE FROM substitutions"_s);
    s.db.exec(u"DELETE FROM arrangements WHERE driver_id = 'D01'"_s);
    vsList->setCurrent(1, 1);
    s.messages.clear();
    s.messages.script = {MsgAnswer::Yes};
    QTest::mouseClick(cmdDelete, Qt::LeftButton);
    QVERIFY2(s.messages.lastText().contains(u"不存在"_s), qPrintable(s.messages.lastText()));
    QCOMPARE(vsList->dataRows(), 2);
    // Row 2 goes; the question names its number.
    vsList->setCurrent(2, 1);
    s.messages.clear();
    s.messages.script = {MsgAnswer::Yes};
    QTest::mouseClick(cmdDelete, Qt::LeftButton);
    QCOMPARE(s.messages.boxes.first().spec.text, u"是否真的要删除序号为[2]的信息，删除后将不能再恢复？"_s);
    QCOMPARE(s.messages.lastText(), u"删除成功！"_s);
    QCOMPARE(vsList->dataRows(), 1);
    QCOMPARE(s.count(u"SELECT COUNT(*) FROM arrangements"_s), 0);
}

void TstArrangements::modifyRewritesTheRow()
{
    Station s;
    frmArrangeVehicleMain reg(s.env, s.station);
    test::child<QPushButton>(&reg, u"cmdQuery"_s)->click();
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    QCOMPARE(vsList->dataRows(), 2);
    QStringList handed;
    int attempt = 0;
    reg.runDialog = [&](QDialog &d) {
        auto &dialog = static_cast<frmModifyArrangeVehicle &>(d);
        handed = {dialog.m_szDriver, dialog.m_szDriverID, dialog.m_szLicense, dialog.m_szLicenseID, dialog.m_szMemo,
                  test::child<QLineEdit>(&dialog, u"txtDriver"_s)->text(), test::child<QDateEdit>(&dialog, u"dtpStartDate"_s)->date().toString(Qt::ISODate),
                  test::child<QDateEdit>(&dialog, u"dtpEndDate"_s)->date().toString(Qt::ISODate)};
        QVERIFY(test::child<QPushButton>(&dialog, u"cmdSave"_s)->isEnabled());
        if (attempt++ == 0) {
            // Reversed period: refused in the dialog.
            test::child<QDateEdit>(&dialog, u"dtpEndDate"_s)->setDate(day(-1));
            test::child<QPushButton>(&dialog, u"cmdSave"_s)->click();
            QCOMPARE(s.messages.lastText(), u"结束日期不能早于开始日期！"_s);
            // Moved to start before its substitution's vehicle... a valid new period.
            test::child<QDateEdit>(&dialog, u"dtpStartDate"_s)->setDate(day(2));
            test::child<QDateEdit>(&dialog, u"dtpEndDate"_s)->setDate(day(20));
            test::child<QLineEdit>(&dialog, u"txtMemo"_s)->setText(u"改期"_s);
            test::child<QPushButton>(&dialog, u"cmdSave"_s)->click();
            QVERIFY(!test::child<QPushButton>(&dialog, u"cmdSave"_s)->isEnabled());
        } else {
            // A period overlapping another arrangement of D04 on V2 fails:
            // said so, save stays enabled, the row keeps what is stored.
            s.db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) "
                       u"VALUES ('V2', 'D04', '赵六', ?, ?)"_s,
                       {QDateTime(day(30), QTime(0, 0)), QDateTime(day(40), QTime(0, 0))});
            test::child<QDateEdit>(&dialog, u"dtpEndDate"_s)->setDate(day(35));
            test::child<QPushButton>(&dialog, u"cmdSave"_s)->click();
            QVERIFY2(s.messages.lastText().startsWith(u"保存不成功！"_s), qPrintable(s.messages.lastText()));
            QVERIFY(test::child<QPushButton>(&dialog, u"cmdSave"_s)->isEnabled());
        }
    };
    // A double click on row 2 opens it with that row's arrangement.
    vsList->setCurrent(2, 1);
    emit vsList->cellDoubleClicked(2, 1);
    QCOMPARE(handed, (QStringList{u"赵六"_s, u"D04"_s, u"粤A10002"_s, u"V2"_s, u"夜班"_s, u"赵六"_s,
                                  day(0).toString(Qt::ISODate), day(9).toString(Qt::ISODate)}));
    QCOMPARE(vsList->textMatrix(2, frmArrangeVehicleMain::ColStart), u"2026年03月20日"_s);
    QCOMPARE(vsList->textMatrix(2, frmArrangeVehicleMain::ColEnd), u"2026年04月07日"_s);
    QCOMPARE(vsList->textMatrix(2, frmArrangeVehicleMain::ColMemo), u"改期"_s);
    QCOMPARE(s.count(u"SELECT COUNT(*) FROM arrangements WHERE driver_id = 'D04'"_s), 1);
    // The row's key moved with it: modifying again starts from the new period.
    vsList->setCurrent(2, 1);
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdEdit"_s), Qt::LeftButton);
    QCOMPARE(handed.at(6), day(2).toString(Qt::ISODate));
    QCOMPARE(vsList->textMatrix(2, frmArrangeVehicleMain::ColEnd), u"2026年04月07日"_s);
}

void TstArrangements::generateDialog()
{
    Station s;
    frmGenerateArrangeVehicle dialog(s.env, s.station);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *cboType = test::child<QComboBox>(&dialog, u"cboType"_s);
    QCOMPARE(cboType->count(), 4);
    QCOMPARE(test::child<QComboBox>(&dialog, u"cboCompany"_s)->count(), 3);
    // No driver: nothing saved.
    auto *cmdSave = test::child<QPushButton>(&dialog, u"cmdSave"_s);
    cmdSave->click();
    QCOMPARE(s.messages.lastText(), u"没有选择驾驶员！"_s);

    test::child<QLineEdit>(&dialog, u"txtDriverName"_s)->setText(u" 张 "_s);
    test::child<QLineEdit>(&dialog, u"txtDriverID"_s)->setText(u"D0"_s);
    QCOMPARE(dialog.DriverFragment(), u" 1=1  AND driver_name like '%张%' AND driver_id like 'D0%'"_s);
    s.db.exec(u"UPDATE drivers SET in_start_date = ?, in_end_date = ? WHERE driver_id = 'D01'"_s,
               {QDateTime(day(1), QTime(0, 0)), QDateTime(day(100), QTime(0, 0))});
    test::child<QPushButton>(&dialog, u"cmdQueryDriver"_s)->click();
    auto *lvDriver = test::child<QTreeWidget>(&dialog, u"lvDriver"_s);
    QCOMPARE(lvDriver->topLevelItemCount(), 1);
    QTreeWidgetItem *driver = lvDriver->topLevelItem(0);
    QCOMPARE(driver->data(0, Qt::UserRole).toString(), u"BD01"_s);
    QTreeWidget *drivers = lvDriver;
    QTest::mouseClick(drivers->viewport(), Qt::LeftButton, {}, QPoint(10, drivers->visualItemRect(driver).center().y()));
    // The driver's employment period becomes the arrangement's.
    auto *dtpStartDate = test::child<QDateEdit>(&dialog, u"dtpStartDate"_s);
    QCOMPARE(dtpStartDate->date(), day(1));
    auto *dtpEndDate = test::child<QDateEdit>(&dialog, u"dtpEndDate"_s);
    QCOMPARE(dtpEndDate->date(), day(100));

    cboType->setCurrentIndex(cboType->findText(u"班车"_s));
    QCOMPARE(dialog.VehicleFragment(), u" 1=1  AND service_kind = '班车'"_s);
    cboType->setCurrentIndex(0);
    test::child<QPushButton>(&dialog, u"cmdQueryVehicle"_s)->click();
    auto *lvVehicle = test::child<QTreeWidget>(&dialog, u"lvVehicle"_s);
    QCOMPARE(lvVehicle->topLevelItemCount(), 4);
    // Nothing ticked: told, nothing saved.
    s.messages.clear();
    cmdSave->click();
    QCOMPARE(s.messages.lastText(), u"没有选择车辆！"_s);
    // Three ticked (V2, V3, V4; D01 keeps his V1): three rows.
    for (int i = 1; i < 4; ++i)
        lvVehicle->topLevelItem(i)->setCheckState(0, Qt::Checked);
    dtpStartDate->setDate(day(10));
    dtpEndDate->setDate(day(9));
    cmdSave->click();
    QCOMPARE(s.messages.lastText(), u"结束日期不能早于开始日期！"_s);
    dtpEndDate->setDate(day(20));
    test::child<QLineEdit>(&dialog, u"txtMemo"_s)->setText(u"旺季"_s);
    cmdSave->click();
    QCOMPARE(s.messages.lastText(), u"保存成功！"_s);
    QCOMPARE(s.count(u"SELECT COUNT(*) FROM arrangements WHERE driver_id = 'D01' AND memo = '旺季'"_s), 3);
    // Saved again: the same rows are replaced, not doubled.
    cmdSave->click();
    QCOMPARE(s.count(u"SELECT COUNT(*) FROM arrangements WHERE driver_id = 'D01'"_s), 4);
    // Ticking V1 over D01's own V1 period: refused with the reason, nothing saved.
    lvVehicle->topLevelItem(0)->setCheckState(0, Qt::Checked);
    dtpStartDate->setDate(day(0));
    cmdSave->click();
    QVERIFY2(s.messages.lastText().startsWith(u"保存不成功！"_s), qPrintable(s.messages.lastText()));
    QCOMPARE(s.count(u"SELECT COUNT(*) FROM arrangements WHERE driver_id = 'D01'"_s), 4);
}

void TstArrangements::generateDefaultsToOneMonth_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("end");
    QTest::newRow("31 January: clamped to 28 February") << QDate(2013, 1, 31) << QDate(2013, 2, 28);
    QTest::newRow("leap year") << QDate(2024, 1, 30) << QDate(2024, 2, 29);
    QTest::newRow("December into January") << QDate(2026, 12, 9) << QDate(2027, 1, 9);
}

void TstArrangements::generateDefaultsToOneMonth()
{
    QFETCH(QDate, today);
    QFETCH(QDate, end);
    Station s;
    s.clock.set(QDateTime(today, QTime(9, 0)));
    frmGenerateArrangeVehicle dialog(s.env, s.station);
    QCOMPARE(test::child<QDateEdit>(&dialog, u"dtpStartDate"_s)->date(), today);
    QCOMPARE(test::child<QDateEdit>(&dialog, u"dtpEndDate"_s)->date(), end);
}

void TstArrangements::substitutionDialog()
{
    Station s;
    s.db.exec(u"INSERT INTO drivers (driver_id, driver_name) VALUES ('D09', '张九'), ('D08', 'O''Brien')"_s);
    frmSchmeChange dialog(s.env, s.station);
    dialog.m_szDriverID = u"D01"_s;
    dialog.m_szDriver = u"张三"_s;
    dialog.m_szLicenseID = u"V1"_s;
    dialog.m_szLicense = u"粤A10001"_s;
    dialog.m_dtStart = QDateTime(day(-5), QTime(0, 0));
    dialog.m_dtEnd = QDateTime(day(5), QTime(0, 0));
    dialog.Open();
    QCOMPARE(test::child<QLabel>(&dialog, u"lblDriver"_s)->text(), u"张三"_s);
    QCOMPARE(test::child<QDateEdit>(&dialog, u"dtpStartDate"_s)->date(), day(0));
    auto *cmdSave = test::child<QPushButton>(&dialog, u"cmdSave"_s);
    QVERIFY(!cmdSave->isEnabled());

    // 张 matches 张三 (D01) and 张九 (D09): the first by number, every time.
    auto *txtDriver = test::child<QLineEdit>(&dialog, u"txtDriver"_s);
    QTest::keyClick(txtDriver, Qt::Key_A); // typed, then replaced
    txtDriver->setText(u"张"_s);
    QTest::keyClick(txtDriver, Qt::Key_Return);
    QCOMPARE(txtDriver->text(), u"张三"_s);
    QCOMPARE(dialog.substituteId(), u"D01"_s);
    QVERIFY(cmdSave->isEnabled());
    // D01 is the arranged driver himself: refused, said so, save stays on.
    cmdSave->click();
    QVERIFY2(s.messages.lastText().contains(u"本人"_s), qPrintable(s.messages.lastText()));
    QVERIFY(cmdSave->isEnabled());

    // Editing the name forgets the driver found.
    QTest::keyClick(txtDriver, Qt::Key_Backspace);
    QCOMPARE(dialog.substituteId(), QString());
    QVERIFY(!cmdSave->isEnabled());
    // Nobody of that name.
    txtDriver->setText(u"无名"_s);
    QTest::keyClick(txtDriver, Qt::Key_Return);
    QCOMPARE(s.messages.lastText(), u"驾驶员不存在!"_s);
    QCOMPARE(s.messages.lastTitle(), u"警告"_s);
    QVERIFY(!cmdSave->isEnabled());
    // An apostrophe in the name.
    txtDriver->setText(u"O'B"_s);
    QTest::keyClick(txtDriver, Qt::Key_Return);
    QCOMPARE(dialog.substituteId(), u"D08"_s);
    // D03 today: saved, and he now drives V1's trips today.
    txtDriver->setText(u"王五"_s);
    QTest::keyClick(txtDriver, Qt::Key_Return);
    QCOMPARE(dialog.substituteId(), u"D03"_s);
    cmdSave->click();
    QCOMPARE(s.messages.lastText(), u"顶班信息保存成功！"_s);
    QVERIFY(!cmdSave->isEnabled());
    CheckService checks(s.db, s.clock);
    const QDateTime today(day(0), QTime(0, 0));
    QCOMPARE(checks.QueryDriverTrips(test::kCheckinCtx, u"D03"_s, u"440101"_s, today, {}, {}).RecordCount(), 2);
    QCOMPARE(checks.QueryDriverTrips(test::kCheckinCtx, u"D01"_s, u"440101"_s, today, {}, {}).RecordCount(), 0);
    // Closing clears what the register handed over.
    dialog.reject();
    QCOMPARE(dialog.m_szDriverID, QString());
}

QTEST_MAIN(TstArrangements)
#include "tst_arrangements.moc"
