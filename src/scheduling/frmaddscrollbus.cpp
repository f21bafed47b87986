#include "frmaddscrollbus.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "core/text.h"
#include "services/masterdata/lookupservices.h"
#include "services/scheduling/rollingtripservice.h"
#include "stationui/picklist.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// What the check stations expect in the vehicle type and company codes of a
// rolling trip: the trip carries the names, not codes of its own.
const QString kFixedCode = u"111"_s;

// code[name] of a loaded record; nothing at all when both are empty, so
// that an empty choice never counts as made.
QString shown(const RecordSet &rs, const QString &codeField, const QString &nameField)
{
    const QString code = RecordText(rs, codeField), name = RecordText(rs, nameField);
    return code.isEmpty() && name.isEmpty() ? QString() : JoinCodeName(code, name);
}

} // namespace

frmAddScrollBus::frmAddScrollBus(const Env &env, StationContext &station, QWidget *parent)
    : RecordScreen(env, station, u"frmAddScrollBus"_s, u"滚动车次车辆排班"_s, parent)
{
    buildUi();
}

frmAddScrollBus::~frmAddScrollBus() = default;

void frmAddScrollBus::buildUi()
{
    auto *root = new QVBoxLayout(this);
    QGridLayout *fields = addFieldFrame(root, u"车辆信息"_s);

    // Filled by the picks only: a typed route would have no destination.
    const auto pickedField = [this](const QString &name) {
        QLineEdit *e = recordField(name, 0);
        e->setReadOnly(true);
        return e;
    };
    dtpBusDate = RecordDatePicker(u"dtpBusDate"_s, this);
    txtBusID = recordField(u"txtBusID"_s, 5);
    txtBusSerialNo = recordField(u"txtBusSerialNo"_s, 3);
    txtRoute = pickedField(u"txtRoute"_s);
    QPushButton *cmdRoute = makePickButton(u"cmdRoute"_s);
    txtEndStation = pickedField(u"txtEndStation"_s);
    txtCheckGate = pickedField(u"txtCheckGate"_s);
    QPushButton *cmdCheckGate = makePickButton(u"cmdCheckGate"_s);
    txtVehicle = pickedField(u"txtVehicle"_s);
    QPushButton *cmdVehicle = makePickButton(u"cmdVehicle"_s);
    txtSeat = pickedField(u"txtSeat"_s);
    txtVehicleType = pickedField(u"txtVehicleType"_s);
    txtCompany = pickedField(u"txtCompany"_s);
    SelectAllOnFocus({txtBusID, txtBusSerialNo});

    layFields(fields, {{u"车次日期:"_s, dtpBusDate, nullptr, FieldCell::EndsLine},
                       {u"车次代码:"_s, txtBusID},
                       {u"车次序号:"_s, txtBusSerialNo},
                       {u"运行线路:"_s, txtRoute, fieldWithButton(txtRoute, cmdRoute)},
                       {u"终点站:"_s, txtEndStation},
                       {u"检票口:"_s, txtCheckGate, fieldWithButton(txtCheckGate, cmdCheckGate), FieldCell::EndsLine},
                       {u"运行车辆:"_s, txtVehicle, fieldWithButton(txtVehicle, cmdVehicle)},
                       {u"座位数:"_s, txtSeat},
                       {u"车型:"_s, txtVehicleType},
                       {u"参运公司:"_s, txtCompany}});

    QPushButton *cmdClose = nullptr;
    root->addLayout(recordButtons(&lblStatus, &cmdAdd, &cmdSave, &cmdClose));
    root->addStretch(1);

    connect(cmdAdd, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmAddScrollBus::cmdAdd_Click));
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdRoute, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmAddScrollBus::cmdRoute_Click));
    connect(cmdCheckGate, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmAddScrollBus::cmdCheckGate_Click));
    connect(cmdVehicle, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmAddScrollBus::cmdVehicle_Click));

    setStateControls(cmdSave, txtBusID, lblStatus);
    resize(640, 300);
}

// ---------------------------------------------------------------- opening

void frmAddScrollBus::start()
{
    lblStatus->clear();
    if (m_eStatus == 1) {
        loadRecord();
        enterState(1);
    } else {
        clearRecord();
        enterState(0);
    }
}

void frmAddScrollBus::clearRecord()
{
    for (QLineEdit *e : {txtBusID, txtBusSerialNo, txtCheckGate, txtVehicle, txtRoute, txtSeat, txtVehicleType,
                         txtCompany, txtEndStation})
        e->clear();
    dtpBusDate->setDate(m_env.clock->today());
}

void frmAddScrollBus::loadRecord()
{
    const QDate day = QDate::fromString(m_szBusDate.trimmed(), Qt::ISODate);
    if (!day.isValid() || m_szBusID.trimmed().isEmpty() || m_szBusSerialNo.trimmed().isEmpty()) {
        recordNotFound(u"没有指定要修改的滚动车次（%1-%2，%3）"_s.arg(m_szBusID, m_szBusSerialNo, m_szBusDate));
        return;
    }
    if (!m_station.db)
        return;
    RollingTripService trips(*m_station.db);
    RecordSet rs = trips.QueryRollingTripRecords(m_station.context, m_szBusID, m_szBusSerialNo,
                                                 QDateTime(day, QTime(0, 0)));
    if (!foundOne(rs, u"没有找到滚动车次 %1-%2（%3）"_s.arg(m_szBusID, m_szBusSerialNo, m_szBusDate)))
        return;
    dtpBusDate->setDate(RecordDate(rs, u"bus_date"_s, day));
    txtBusID->setText(RecordText(rs, u"bus_id"_s));
    txtBusSerialNo->setText(RecordText(rs, u"bus_serial_no"_s));
    txtRoute->setText(shown(rs, u"route_id"_s, u"route_name"_s));
    txtEndStation->setText(shown(rs, u"end_station_id"_s, u"end_station_name"_s));
    txtCheckGate->setText(shown(rs, u"check_gate_id"_s, u"check_gate_id"_s));
    txtVehicle->setText(shown(rs, u"license_id"_s, u"license"_s));
    txtVehicleType->setText(shown(rs, u"vehicle_type_code"_s, u"vehicle_type_name"_s));
    txtCompany->setText(shown(rs, u"transport_company_id"_s, u"transport_company_short_name"_s));
    txtSeat->setText(RecordText(rs, u"total_seat"_s));
}

// The two states: a new trip's key is typed, an edited trip's key is fixed.
void frmAddScrollBus::enterState(int status)
{
    if (status == 1)
        enterEditState();
    else
        enterNewState();
    txtBusSerialNo->setEnabled(status == 0);
    dtpBusDate->setEnabled(status == 0);
}

// ---------------------------------------------------------------- saving

bool frmAddScrollBus::canSave() const
{
    if (loadFailed())
        return false;
    for (const QLineEdit *e : {txtBusID, txtBusSerialNo, txtRoute, txtCheckGate, txtVehicle})
        if (e->text().trimmed().isEmpty())
            return false;
    return true;
}

RecordSet frmAddScrollBus::recordFromForm() const
{
    RecordSet row = CloneRecordsetShape(RollingTripService::GetRollingTripTemplate());
    row.appendRow();
    // An edited trip is saved under the key it was opened with.
    const bool edit = m_eStatus == 1;
    const QDate day = edit ? QDate::fromString(m_szBusDate, Qt::ISODate) : dtpBusDate->date();
    row.setValue(u"bus_date"_s, QDateTime(day, QTime(0, 0)));
    row.setValue(u"bus_id"_s, edit ? m_szBusID.trimmed() : txtBusID->text().trimmed());
    row.setValue(u"bus_serial_no"_s, edit ? m_szBusSerialNo.trimmed() : txtBusSerialNo->text().trimmed());
    row.setValue(u"route_id"_s, BracketHead(txtRoute->text()).trimmed());
    const QString destination = txtEndStation->text();
    row.setValue(u"end_station_id"_s, BracketHead(destination).trimmed());
    row.setValue(u"end_station_name"_s, destination.contains(u'[') ? BracketInner(destination).trimmed() : QString());
    row.setValue(u"check_gate_id"_s, BracketHead(txtCheckGate->text()).trimmed());
    row.setValue(u"license_id"_s, BracketHead(txtVehicle->text()).trimmed());
    row.setValue(u"total_seat"_s, txtSeat->text().trimmed());
    // The type's name only: the field shows code[name] once loaded, and
    // storing that would grow a bracket with every save.
    row.setValue(u"vehicle_type_name"_s, BracketInner(txtVehicleType->text()).trimmed());
    row.setValue(u"vehicle_type_code"_s, kFixedCode);
    row.setValue(u"transport_company_id"_s, kFixedCode);
    row.setValue(u"bus_start_time"_s, QDateTime(m_env.clock->today(), QTime(0, 0)));
    return row;
}

bool frmAddScrollBus::cmdSave_Click()
{
    if (!canSave()) {
        updateSaveEnabled();
        return false;
    }
    return trapped([this] {
        if (!m_station.db)
            throw AppError(errnum::InvalidArgument, u"没有连接数据库，滚动车次没有保存"_s);
        RollingTripService trips(*m_station.db);
        RecordSet row = recordFromForm();
        if (m_eStatus == 0)
            trips.AddRollingTrip(m_station.context, row);
        else
            trips.UpdateRollingTrip(m_station.context, row);
        // From here on the trip exists: the next save rewrites it.
        row.MoveFirst();
        m_szBusID = row.value(u"bus_id"_s).toString();
        m_szBusSerialNo = row.value(u"bus_serial_no"_s).toString();
        m_szBusDate = row.value(u"bus_date"_s).toDateTime().date().toString(Qt::ISODate);
        enterState(1);
        lblStatus->setText(u"保存成功"_s);
    });
}

void frmAddScrollBus::cmdAdd_Click()
{
    if (cmdSave->isEnabled()) {
        const MsgAnswer answer = m_env.messages->show(
            {u"提示"_s, u"信息已被修改，是否要保存修改？"_s, MsgIcon::Information, MsgButtons::YesNo}, this);
        // A save that failed keeps the input on screen.
        if (answer == MsgAnswer::Yes && !cmdSave_Click())
            return;
    }
    clearRecord();
    m_szBusID.clear();
    m_szBusSerialNo.clear();
    m_szBusDate.clear();
    lblStatus->clear();
    enterState(0);
}

// ---------------------------------------------------------------- picks

void frmAddScrollBus::cmdRoute_Click()
{
    const QString before = BracketHead(txtRoute->text()).trimmed();
    const Array2D picked = PickRoute(this, m_station);
    if (!PutPicked(txtRoute, picked))
        return;
    // Re-picking the same route keeps its destination.
    if (PickedText(picked, 1) != before)
        fetchDestination();
    updateSaveEnabled();
}

void frmAddScrollBus::fetchDestination()
{
    // The old route's destination is never this route's, also when this
    // route has no stops or reading them fails.
    txtEndStation->clear();
    if (!m_station.db)
        return;
    ScrollTripService routes(*m_station.db);
    if (!routes.SelectRoute(m_station.context, BracketHead(txtRoute->text()).trimmed()))
        return;
    const Array2D stations = routes.GetRouteStations();
    const int last = ArrayCount(stations, 1);
    if (last < 1)
        return;
    txtEndStation->setText(
        JoinCodeName(stations.at(last, 1).toString().trimmed(), stations.at(last, 3).toString().trimmed()));
}

void frmAddScrollBus::cmdCheckGate_Click()
{
    PutPicked(txtCheckGate, PickCheckGate(this, m_station));
}

void frmAddScrollBus::cmdVehicle_Click()
{
    const Array2D picked = PickVehicle(this, m_station);
    if (!PutPicked(txtVehicle, picked))
        return;
    txtSeat->setText(PickedText(picked, 6));
    txtVehicleType->setText(PickedText(picked, 5));
    txtCompany->setText(PickedText(picked, 3));
}

} // namespace cg
