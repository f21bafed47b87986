// The rolling trip register frmScrollBus and record frmAddScrollBus,
// offscreen on a master-data station with routes, stops, ticket gates and
// rolling trips of the fixture day, and the menu entry that opens them.

#include "../master_data/masterdatafixture.h"

#include "app/mainwindow.h"
#include "app/screens.h"
#include "scheduling/frmaddscrollbus.h"
#include "scheduling/frmscrollbus.h"
#include "stationui/picklist.h"
#include "widgets/grid.h"

#include <QAction>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
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

// Routes R01 (three stops, destination S3 终点站), R02 (no stops), R03
// (two stops), gates 2 and 3, vehicle K001 某车牌, and rolling trips of the
// fixture day: R01-1 (V1, 终点站), R01-2 (V2), R05-1 (V3); R99-1 of
// another unit; R01-1 of the next day.
struct ScrollStation : test::MasterDataStation {
    ScrollStation()
    {
        db.exec(u"INSERT INTO stations (station_code, station_name) VALUES ('S1', '起点站'), ('S2', '中途站'), "
                 u"('S3', '终点站'), ('S7', '佛山')"_s);
        db.exec(u"INSERT INTO routes (route_id, route_name) VALUES ('R01', '某线路'), ('R02', '新线'), "
                 u"('R03', '佛山线')"_s);
        db.exec(u"INSERT INTO route_stations (route_id, seq, station_code) VALUES ('R01', 1, 'S1'), "
                 u"('R01', 2, 'S2'), ('R01', 3, 'S3'), ('R03', 1, 'S1'), ('R03', 2, 'S7')"_s);
        db.exec(u"INSERT INTO check_gates (gate_id, gate_name) VALUES ('2', '二号口'), ('3', '三号口')"_s);
        db.exec(u"INSERT INTO vehicles (license_id, license, company_name, owner, model_id, seat_weight_num, "
                 u"status) VALUES ('K001', '某车牌', 'C01[天河运输]', 'O01[陈生]', 'M45[宇通45座]', 45, 0)"_s);
        trip(u"R01"_s, u"1"_s, u"V1"_s, u"440101"_s);
        trip(u"R01"_s, u"2"_s, u"V2"_s, u"440101"_s);
        trip(u"R05"_s, u"1"_s, u"V3"_s, u"440101"_s);
        trip(u"R99"_s, u"1"_s, u"V3"_s, u"440199"_s);
        trip(u"R01"_s, u"1"_s, u"V2"_s, u"440101"_s, 1);
    }

    void trip(const QString &code, const QString &serial, const QString &vehicle, const QString &unit, int offset = 0)
    {
        db.exec(u"INSERT INTO rolling_trips (station_code, bus_date, bus_id, bus_serial_no, bus_start_time, unit_code, route_id, "
                 u"end_station_id, end_station_name, check_gate_id, license_id, total_seat, vehicle_type_code, "
                 u"vehicle_type_name, transport_company_id) VALUES ('440100001', ?, ?, ?, ?, ?, 'R01', 'S3', '终点站', '2', ?, "
                 u"45, '111', '宇通45座', '111')"_s,
                 {day(offset), code, serial, day(0), unit, vehicle});
    }

    static QDateTime day(int offset) { return QDateTime(test::fixtureDay().addDays(offset), QTime(0, 0)); }

    QVariant stored(const QString &column, const QString &code, const QString &serial, int offset = 0)
    {
        return db.scalar(u"SELECT %1 FROM rolling_trips WHERE bus_date = ? AND bus_id = ? AND bus_serial_no = ?"_s
                              .arg(column),
                          {day(offset), code, serial});
    }
};


QStringList column(const FlexGrid *grid, int col)
{
    QStringList out;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        out << grid->textMatrix(r, col);
    return out;
}

void query(frmScrollBus &reg, const QDate &day)
{
    test::child<QDateEdit>(&reg, u"dtpBusDate"_s)->setDate(day);
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdQuery"_s), Qt::LeftButton);
}

void openEdit(frmAddScrollBus &form, const QString &code, const QString &serial, const QString &day)
{
    form.m_szParentForm = u"frmScrollBus"_s;
    form.m_eStatus = 1;
    form.m_szBusID = code;
    form.m_szBusSerialNo = serial;
    form.m_szBusDate = day;
    form.Open();
}

void openNew(frmAddScrollBus &form)
{
    form.m_szParentForm = u"frmScrollBus"_s;
    form.m_eStatus = 0;
    form.Open();
}

const QString kDay = u"2026-03-18"_s;

} // namespace

class TstScrollBus : public QObject {
    Q_OBJECT
private slots:
    void registerOpensOnTodayWithHeadersOnly();
    void queryListsTheUnitsTripsOfTheDay();
    void dayWithoutTripsEmptiesTheGrid();
    void deletingRowOneOfThreeRenumbers();
    void refusedDeletionKeepsTheRow();
    void editOpensTheRowsTripBesideTheRegister();
    void doubleClickWithoutARow();
    void byteLimitsWhileTyping();
    void newTripStoresCodesOnly();
    void vehicleTypeNameStaysANameAcrossCycles();
    void routeChangeReplacesTheDestination();
    void failedSaveKeepsTheFormAndItsInput();
    void missingTripCannotBeSavedOver();
    void menuEntryOpensTheRegister();
};

void TstScrollBus::registerOpensOnTodayWithHeadersOnly()
{
    ScrollStation s;
    frmScrollBus reg(s.env, s.station);
    QCOMPARE(reg.windowTitle(), u"滚动班次车辆排班"_s);
    QCOMPARE(test::child<QDateEdit>(&reg, u"dtpBusDate"_s)->date(), test::fixtureDay());
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    QCOMPARE(vsList->rows(), 1);
    QCOMPARE(vsList->cols(), 6);
    QStringList captions;
    for (int c = 0; c < 6; ++c)
        captions << vsList->textMatrix(0, c);
    QCOMPARE(captions, QStringList({u"序"_s, u"车次日期"_s, u"车次代码"_s, u"车次序号"_s, u"车牌号"_s, u"终点站名"_s}));
    QCOMPARE(vsList->font().pointSize(), 11);
    // Nothing is queried on opening.
    QVERIFY(s.status.calls.isEmpty());
}

void TstScrollBus::queryListsTheUnitsTripsOfTheDay()
{
    ScrollStation s;
    frmScrollBus reg(s.env, s.station);
    query(reg, test::fixtureDay());
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    QCOMPARE(column(vsList, frmScrollBus::ColNo), QStringList({u"1"_s, u"2"_s, u"3"_s}));
    QCOMPARE(column(vsList, frmScrollBus::ColDate), QStringList(3, kDay));
    QCOMPARE(column(vsList, frmScrollBus::ColCode), QStringList({u"R01"_s, u"R01"_s, u"R05"_s}));
    QCOMPARE(column(vsList, frmScrollBus::ColSerial), QStringList({u"1"_s, u"2"_s, u"1"_s}));
    QCOMPARE(column(vsList, frmScrollBus::ColPlate), QStringList({u"粤A10001"_s, u"粤A10002"_s, u"粤A10003"_s}));
    QCOMPARE(column(vsList, frmScrollBus::ColDestination), QStringList(3, u"终点站"_s));
    QCOMPARE(s.status.panels[1], u"查询完毕,共3条记录"_s);
}

void TstScrollBus::dayWithoutTripsEmptiesTheGrid()
{
    ScrollStation s;
    frmScrollBus reg(s.env, s.station);
    query(reg, test::fixtureDay());
    QCOMPARE(test::child<FlexGrid>(&reg, u"vsList"_s)->dataRows(), 3);
    query(reg, test::fixtureDay().addDays(-1));
    QCOMPARE(test::child<FlexGrid>(&reg, u"vsList"_s)->rows(), 1);
    QCOMPARE(s.status.panels[1], u"查询完毕,共0条记录"_s);
    QVERIFY(s.messages.boxes.isEmpty());
}

void TstScrollBus::deletingRowOneOfThreeRenumbers()
{
    ScrollStation s;
    frmScrollBus reg(s.env, s.station);
    query(reg, test::fixtureDay());
    auto *vsList = test::child<FlexGrid>(&reg, u"vsList"_s);
    vsList->setCurrent(1, 1);
    // No keeps everything.
    s.messages.script = {MsgAnswer::No};
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdDelete"_s), Qt::LeftButton);
    QCOMPARE(s.messages.lastText(), u"是否真的要删除序号为[1]的信息，删除后将不能再恢复？"_s);
    QCOMPARE(s.messages.lastTitle(), u"提示"_s);
    QCOMPARE(vsList->dataRows(), 3);
    QVERIFY(s.stored(u"bus_id"_s, u"R01"_s, u"1"_s).isValid());

    s.messages.clear();
    s.messages.script = {MsgAnswer::Yes};
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdDelete"_s), Qt::LeftButton);
    QCOMPARE(column(vsList, frmScrollBus::ColNo), QStringList({u"1"_s, u"2"_s}));
    QCOMPARE(column(vsList, frmScrollBus::ColCode), QStringList({u"R01"_s, u"R05"_s}));
    QCOMPARE(column(vsList, frmScrollBus::ColSerial), QStringList({u"2"_s, u"1"_s}));
    // Only that day's R01-1 went, and no success notice follows the question.
    QVERIFY(!s.stored(u"bus_id"_s, u"R01"_s, u"1"_s).isValid());
    QVERIFY(s.stored(u"bus_id"_s, u"R01"_s, u"1"_s, 1).isValid());
    QCOMPARE(s.messages.boxes.size(), 1);
    QVERIFY(s.messages.notices.isEmpty());
}

void TstScrollBus::refusedDeletionKeepsTheRow()
{
    ScrollStation s;
    frmScrollBus reg(s.env, s.station);
    query(reg, test::fixtureDay());
    // Meanwhile the gate let R01-2 out.
    s.db.exec(u"UPDATE rolling_trips SET out_status = 1 WHERE bus_id = 'R01' AND bus_serial_no = '2'"_s);
    test::child<FlexGrid>(&reg, u"vsList"_s)->setCurrent(2, 1);
    s.messages.script = {MsgAnswer::Yes};
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdDelete"_s), Qt::LeftButton);
    QVERIFY2(s.messages.lastText().contains(u"已出站"_s), qPrintable(s.messages.lastText()));
    QVERIFY(s.messages.lastTitle().startsWith(u"错误-"_s));
    QCOMPARE(column(test::child<FlexGrid>(&reg, u"vsList"_s), frmScrollBus::ColNo), QStringList({u"1"_s, u"2"_s, u"3"_s}));
    QVERIFY(s.stored(u"bus_id"_s, u"R01"_s, u"2"_s).isValid());
}

void TstScrollBus::editOpensTheRowsTripBesideTheRegister()
{
    ScrollStation s;
    auto *reg = new frmScrollBus(s.env, s.station);
    reg->show();
    query(*reg, test::fixtureDay());
    // The row's key, not its cells, names the trip: a cell text that is not
    // a date any more changes nothing.
    test::child<FlexGrid>(reg, u"vsList"_s)->setTextMatrix(2, frmScrollBus::ColDate, u"2026年03月18日"_s);
    test::child<FlexGrid>(reg, u"vsList"_s)->setCurrent(2, 1);
    QTest::mouseClick(test::child<QPushButton>(reg, u"cmdEdit"_s), Qt::LeftButton);
    QPointer<frmAddScrollBus> form = reg->recordScreen();
    QVERIFY(form && form->isVisible());
    QVERIFY(form->isWindow());
    QCOMPARE(form->parentWidget(), reg);
    QCOMPARE(form->windowTitle(), u"滚动车次车辆排班"_s);
    QCOMPARE(form->property("m_eStatus").toInt(), 1);
    QCOMPARE(form->property("m_szBusID").toString(), u"R01"_s);
    QCOMPARE(form->property("m_szBusSerialNo").toString(), u"2"_s);
    QCOMPARE(form->property("m_szBusDate").toString(), kDay);
    QCOMPARE(test::child<QDateEdit>(form, u"dtpBusDate"_s)->date(), test::fixtureDay());
    QCOMPARE(test::child<QLineEdit>(form, u"txtVehicle"_s)->text(), u"V2[粤A10002]"_s);
    QCOMPARE(test::child<QLineEdit>(form, u"txtRoute"_s)->text(), u"R01[某线路]"_s);
    QCOMPARE(test::child<QLineEdit>(form, u"txtEndStation"_s)->text(), u"S3[终点站]"_s);
    QCOMPARE(test::child<QLineEdit>(form, u"txtCheckGate"_s)->text(), u"2[2]"_s);
    QCOMPARE(test::child<QLineEdit>(form, u"txtSeat"_s)->text(), u"45"_s);
    QCOMPARE(test::child<QPushButton>(form, u"cmdSave"_s)->text(), u"修改(&S)"_s);
    QVERIFY(!test::child<QPushButton>(form, u"cmdSave"_s)->isEnabled());
    QVERIFY(!test::child<QLineEdit>(form, u"txtBusID"_s)->isEnabled() && !test::child<QLineEdit>(form, u"txtBusSerialNo"_s)->isEnabled() && !test::child<QDateEdit>(form, u"dtpBusDate"_s)->isEnabled());
    // The register's 新增 reuses the window for a new trip.
    QTest::mouseClick(test::child<QPushButton>(reg, u"cmdAdd"_s), Qt::LeftButton);
    QCOMPARE(reg->recordScreen(), form.data());
    QCOMPARE(test::child<QPushButton>(form, u"cmdSave"_s)->text(), u"保存(&S)"_s);
    QVERIFY(test::child<QLineEdit>(form, u"txtBusID"_s)->isEnabled() && test::child<QDateEdit>(form, u"dtpBusDate"_s)->isEnabled());
    QVERIFY(test::child<QLineEdit>(form, u"txtVehicle"_s)->text().isEmpty());
    // Closing the register closes its record window with it.
    reg->close();
    QVERIFY(!form->isVisible());
    delete reg;
    QVERIFY(!form);
}

void TstScrollBus::doubleClickWithoutARow()
{
    ScrollStation s;
    frmScrollBus reg(s.env, s.station);
    reg.show();
    // 修改 without a row does nothing; a double click says what is missing.
    QTest::mouseClick(test::child<QPushButton>(&reg, u"cmdEdit"_s), Qt::LeftButton);
    QVERIFY(!reg.recordScreen());
    QVERIFY(s.messages.boxes.isEmpty());
    // A double click on the empty grid hits no data row: nothing opens and
    // nothing is asked.
    FlexGrid *grid = test::child<FlexGrid>(&reg, u"vsList"_s);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->viewport()->rect().center());
    QVERIFY(s.messages.boxes.isEmpty());
    QVERIFY(!reg.recordScreen());
}

void TstScrollBus::byteLimitsWhileTyping()
{
    ScrollStation s;
    frmAddScrollBus form(s.env, s.station);
    openNew(form);
    auto *txtBusID = test::child<QLineEdit>(&form, u"txtBusID"_s);
    QTest::keyClicks(txtBusID, u"K00123"_s);
    QCOMPARE(txtBusID->text(), u"K0012"_s);
    auto *txtBusSerialNo = test::child<QLineEdit>(&form, u"txtBusSerialNo"_s);
    QTest::keyClicks(txtBusSerialNo, u"1234"_s);
    QCOMPARE(txtBusSerialNo->text(), u"123"_s);
    // Two Chinese characters are four bytes; a third would be six.
    txtBusID->setText(u"滚动车次"_s);
    QCOMPARE(txtBusID->text(), u"滚动"_s);
    txtBusSerialNo->setText(u"一2"_s);
    QCOMPARE(txtBusSerialNo->text(), u"一2"_s);
}

void TstScrollBus::newTripStoresCodesOnly()
{
    ScrollStation s;
    frmAddScrollBus form(s.env, s.station);
    openNew(form);
    auto *dtpBusDate = test::child<QDateEdit>(&form, u"dtpBusDate"_s);
    QCOMPARE(dtpBusDate->date(), test::fixtureDay());
    auto *cmdSave = test::child<QPushButton>(&form, u"cmdSave"_s);
    QCOMPARE(cmdSave->text(), u"保存(&S)"_s);
    dtpBusDate->setDate(test::fixtureDay().addDays(2));
    QTest::keyClicks(test::child<QLineEdit>(&form, u"txtBusID"_s), u"K01"_s);
    QTest::keyClicks(test::child<QLineEdit>(&form, u"txtBusSerialNo"_s), u"1"_s);
    QVERIFY(!cmdSave->isEnabled());
    PickAnswers picks({u"R01"_s, u"2"_s, u"K001"_s});
    test::child<QPushButton>(&form, u"cmdRoute"_s)->click();
    QCOMPARE(test::child<QLineEdit>(&form, u"txtRoute"_s)->text(), u"R01[某线路]"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtEndStation"_s)->text(), u"S3[终点站]"_s);
    QVERIFY(!cmdSave->isEnabled());
    test::child<QPushButton>(&form, u"cmdCheckGate"_s)->click();
    QCOMPARE(test::child<QLineEdit>(&form, u"txtCheckGate"_s)->text(), u"2[二号口]"_s);
    QVERIFY(!cmdSave->isEnabled());
    test::child<QPushButton>(&form, u"cmdVehicle"_s)->click();
    // Only vehicles in service are offered (V4 is off duty).
    QVERIFY(!picks.offered.contains(u"V4"_s));
    QCOMPARE(test::child<QLineEdit>(&form, u"txtVehicle"_s)->text(), u"K001[某车牌]"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtSeat"_s)->text(), u"45"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtVehicleType"_s)->text(), u"M45[宇通45座]"_s);
    QCOMPARE(test::child<QLineEdit>(&form, u"txtCompany"_s)->text(), u"C01[天河运输]"_s);
    QVERIFY(cmdSave->isEnabled());

    QVERIFY(saveClicked(&form));
    const auto stored = [&](const char *column) { return s.stored(QString::fromLatin1(column), u"K01"_s, u"1"_s, 2); };
    QCOMPARE(stored("route_id").toString(), u"R01"_s);
    QCOMPARE(stored("check_gate_id").toString(), u"2"_s);
    QCOMPARE(stored("license_id").toString(), u"K001"_s);
    QCOMPARE(stored("end_station_id").toString(), u"S3"_s);
    QCOMPARE(stored("end_station_name").toString(), u"终点站"_s);
    QCOMPARE(stored("total_seat").toInt(), 45);
    QCOMPARE(stored("vehicle_type_name").toString(), u"宇通45座"_s);
    QCOMPARE(stored("vehicle_type_code").toString(), u"111"_s);
    QCOMPARE(stored("transport_company_id").toString(), u"111"_s);
    QCOMPARE(stored("bus_start_time").toDateTime(), ScrollStation::day(0));
    QCOMPARE(stored("unit_code").toString(), u"440101"_s);
    // Saved: the edit state, under the key just saved.
    QCOMPARE(cmdSave->text(), u"修改(&S)"_s);
    QVERIFY(!cmdSave->isEnabled());
    QVERIFY(!test::child<QLineEdit>(&form, u"txtBusID"_s)->isEnabled() && !test::child<QLineEdit>(&form, u"txtBusSerialNo"_s)->isEnabled() && !dtpBusDate->isEnabled());
    QCOMPARE(form.m_eStatus, 1);
    QCOMPARE(form.m_szBusID, u"K01"_s);
    QCOMPARE(form.m_szBusDate, u"2026-03-20"_s);
    QCOMPARE(test::child<QLabel>(&form, u"lblStatus"_s)->text(), u"保存成功"_s);
    // A further save rewrites the same trip.
    PickAnswers again({u"3"_s});
    test::child<QPushButton>(&form, u"cmdCheckGate"_s)->click();
    QVERIFY(saveClicked(&form));
    QCOMPARE(stored("check_gate_id").toString(), u"3"_s);
    QCOMPARE(s.db.scalar(u"SELECT COUNT(*) FROM rolling_trips WHERE bus_id = 'K01'"_s).toInt(), 1);
}

void TstScrollBus::vehicleTypeNameStaysANameAcrossCycles()
{
    ScrollStation s;
    frmAddScrollBus form(s.env, s.station);
    for (int cycle = 0; cycle < 3; ++cycle) {
        openEdit(form, u"R01"_s, u"1"_s, kDay);
        QCOMPARE(test::child<QLineEdit>(&form, u"txtVehicleType"_s)->text(), u"111[宇通45座]"_s);
        PickAnswers picks({cycle % 2 ? u"2"_s : u"3"_s});
        test::child<QPushButton>(&form, u"cmdCheckGate"_s)->click();
        QVERIFY(test::child<QPushButton>(&form, u"cmdSave"_s)->isEnabled());
        QVERIFY(saveClicked(&form));
        QCOMPARE(s.stored(u"vehicle_type_name"_s, u"R01"_s, u"1"_s).toString(), u"宇通45座"_s);
    }
    // A vehicle picked in the record brings its model; its name is stored.
    openEdit(form, u"R01"_s, u"1"_s, kDay);
    PickAnswers picks({u"K001"_s});
    test::child<QPushButton>(&form, u"cmdVehicle"_s)->click();
    QVERIFY(saveClicked(&form));
    QCOMPARE(s.stored(u"vehicle_type_name"_s, u"R01"_s, u"1"_s).toString(), u"宇通45座"_s);
    QCOMPARE(s.stored(u"license_id"_s, u"R01"_s, u"1"_s).toString(), u"K001"_s);
}

void TstScrollBus::routeChangeReplacesTheDestination()
{
    ScrollStation s;
    frmAddScrollBus form(s.env, s.station);
    openEdit(form, u"R01"_s, u"1"_s, kDay);
    auto *txtEndStation = test::child<QLineEdit>(&form, u"txtEndStation"_s);
    QCOMPARE(txtEndStation->text(), u"S3[终点站]"_s);
    PickAnswers picks({QString(), u"R02"_s, u"R03"_s, u"R03"_s});
    // Cancelled: nothing changes.
    auto *cmdRoute = test::child<QPushButton>(&form, u"cmdRoute"_s);
    cmdRoute->click();
    QCOMPARE(test::child<QLineEdit>(&form, u"txtRoute"_s)->text(), u"R01[某线路]"_s);
    QCOMPARE(txtEndStation->text(), u"S3[终点站]"_s);
    // A route without stops never keeps the old route's destination.
    cmdRoute->click();
    QCOMPARE(test::child<QLineEdit>(&form, u"txtRoute"_s)->text(), u"R02[新线]"_s);
    QCOMPARE(txtEndStation->text(), QString());
    QVERIFY(saveClicked(&form));
    QCOMPARE(s.stored(u"end_station_name"_s, u"R01"_s, u"1"_s).toString(), QString());
    QCOMPARE(s.stored(u"route_id"_s, u"R01"_s, u"1"_s).toString(), u"R02"_s);
    // Another route: its last stop.
    cmdRoute->click();
    QCOMPARE(txtEndStation->text(), u"S7[佛山]"_s);
    // The same route again keeps the destination shown (not read again).
    s.db.exec(u"DELETE FROM route_stations WHERE route_id = 'R03'"_s);
    cmdRoute->click();
    QCOMPARE(txtEndStation->text(), u"S7[佛山]"_s);
    QVERIFY(saveClicked(&form));
    QCOMPARE(s.stored(u"end_station_id"_s, u"R01"_s, u"1"_s).toString(), u"S7"_s);
    QCOMPARE(s.stored(u"end_station_name"_s, u"R01"_s, u"1"_s).toString(), u"佛山"_s);
}

void TstScrollBus::failedSaveKeepsTheFormAndItsInput()
{
    ScrollStation s;
    frmAddScrollBus form(s.env, s.station);
    openNew(form);
    // R01-1 of the day exists already: adding it again is refused.
    auto *txtBusID = test::child<QLineEdit>(&form, u"txtBusID"_s);
    txtBusID->setText(u"R01"_s);
    auto *txtBusSerialNo = test::child<QLineEdit>(&form, u"txtBusSerialNo"_s);
    txtBusSerialNo->setText(u"1"_s);
    PickAnswers picks({u"R03"_s, u"3"_s, u"K001"_s});
    test::child<QPushButton>(&form, u"cmdRoute"_s)->click();
    test::child<QPushButton>(&form, u"cmdCheckGate"_s)->click();
    test::child<QPushButton>(&form, u"cmdVehicle"_s)->click();
    QVERIFY(!saveClicked(&form));
    QVERIFY2(s.messages.lastText().contains(u"已经存在"_s), qPrintable(s.messages.lastText()));
    QVERIFY(s.messages.lastTitle().startsWith(u"错误-"_s));
    QCOMPARE(s.stored(u"license_id"_s, u"R01"_s, u"1"_s).toString(), u"V1"_s);
    auto *cmdSave = test::child<QPushButton>(&form, u"cmdSave"_s);
    const auto kept = [&] {
        return form.m_eStatus == 0 && cmdSave->text() == u"保存(&S)"_s && cmdSave->isEnabled()
               && txtBusID->isEnabled() && txtBusID->text() == u"R01"_s
               && test::child<QLineEdit>(&form, u"txtVehicle"_s)->text() == u"K001[某车牌]"_s && test::child<QLineEdit>(&form, u"txtEndStation"_s)->text() == u"S7[佛山]"_s;
    };
    QVERIFY(kept());
    // 新增 asks; Yes saves, and the failed save keeps everything.
    s.messages.clear();
    s.messages.script = {MsgAnswer::Yes};
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdAdd"_s), Qt::LeftButton);
    QCOMPARE(s.messages.boxes.first().spec.text, u"信息已被修改，是否要保存修改？"_s);
    QCOMPARE(s.messages.boxes.size(), 2);
    QVERIFY(kept());
    // A serial the trip does not have yet saves; No then empties the form.
    txtBusSerialNo->setText(u"9"_s);
    QVERIFY(saveClicked(&form));
    QCOMPARE(s.stored(u"license_id"_s, u"R01"_s, u"9"_s).toString(), u"K001"_s);
    PickAnswers gate({u"2"_s});
    test::child<QPushButton>(&form, u"cmdCheckGate"_s)->click();
    s.messages.clear();
    s.messages.script = {MsgAnswer::No};
    QTest::mouseClick(test::child<QPushButton>(&form, u"cmdAdd"_s), Qt::LeftButton);
    QCOMPARE(s.messages.boxes.size(), 1);
    QCOMPARE(s.stored(u"check_gate_id"_s, u"R01"_s, u"9"_s).toString(), u"3"_s);
    QVERIFY(txtBusID->text().isEmpty() && test::child<QLineEdit>(&form, u"txtVehicle"_s)->text().isEmpty());
    QCOMPARE(form.m_eStatus, 0);
    QVERIFY(txtBusID->isEnabled() && txtBusSerialNo->isEnabled() && test::child<QDateEdit>(&form, u"dtpBusDate"_s)->isEnabled());
    QVERIFY(!cmdSave->isEnabled());
}

void TstScrollBus::missingTripCannotBeSavedOver()
{
    ScrollStation s;
    frmAddScrollBus form(s.env, s.station);
    // Another unit's trip is as missing as one never added.
    for (const QString &code : {u"R77"_s, u"R99"_s}) {
        openEdit(form, code, u"1"_s, kDay);
        QVERIFY(test::child<QLineEdit>(&form, u"txtBusID"_s)->text().isEmpty());
        QVERIFY(test::child<QLineEdit>(&form, u"txtVehicle"_s)->text().isEmpty());
        QVERIFY(!test::child<QLabel>(&form, u"lblStatus"_s)->text().isEmpty());
        PickAnswers picks({u"R01"_s, u"2"_s, u"K001"_s});
        test::child<QPushButton>(&form, u"cmdRoute"_s)->click();
        test::child<QPushButton>(&form, u"cmdCheckGate"_s)->click();
        test::child<QPushButton>(&form, u"cmdVehicle"_s)->click();
        QVERIFY(!test::child<QPushButton>(&form, u"cmdSave"_s)->isEnabled());
        QVERIFY(!saveClicked(&form));
    }
    QCOMPARE(s.stored(u"license_id"_s, u"R99"_s, u"1"_s).toString(), u"V3"_s);
    // A day that is not a date opens nothing either.
    openEdit(form, u"R01"_s, u"1"_s, u"2026年03月18日"_s);
    QVERIFY(test::child<QLineEdit>(&form, u"txtVehicle"_s)->text().isEmpty());
    QVERIFY(!test::child<QPushButton>(&form, u"cmdSave"_s)->isEnabled());
}

void TstScrollBus::menuEntryOpensTheRegister()
{
    ScrollStation s;
    s.station.showHiddenMenus = true;
    mdiMain window(s.env, s.station);
    s.env.status = &window;
    RegisterScreens(window, s.env, s.station);
    window.show();
    QAction *entry = window.menuAction(u"m15"_s);
    QVERIFY(entry && entry->isEnabled());
    QCOMPARE(entry->text(), u"滚动车次车辆排班"_s);
    entry->trigger();
    QMdiSubWindow *child = window.mdiArea()->activeSubWindow();
    QVERIFY(child);
    auto *reg = qobject_cast<frmScrollBus *>(child->widget());
    QVERIFY(reg);
    QTest::mouseClick(test::child<QPushButton>(reg, u"cmdQuery"_s), Qt::LeftButton);
    QCOMPARE(window.statusText(2), u"查询完毕,共3条记录"_s);
    test::child<FlexGrid>(reg, u"vsList"_s)->setCurrent(1, 1);
    QTest::mouseClick(test::child<QPushButton>(reg, u"cmdEdit"_s), Qt::LeftButton);
    QPointer<frmAddScrollBus> form = reg->recordScreen();
    QVERIFY(form && form->isVisible());
    window.close();
    QVERIFY(!form || !form->isVisible());
}

QTEST_MAIN(TstScrollBus)
#include "tst_scrollbus.moc"
