#include "frmdriverchecklist.h"

#include "frmdriverlist.h"

#include "core/dates.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "widgets/buttons.h"
#include "stationui/titledwindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

const QString kBoxTitle = u"驾驶员指纹"_s;
const QString kDispatchCentre = u"frmEnvBusDesk"_s;

QLabel *valueLabel(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setMinimumWidth(150);
    label->setStyleSheet(u"QLabel { color: #000080; font-weight: bold; }"_s);
    return label;
}

} // namespace

frmDriverCheckList::frmDriverCheckList(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    BeginDriverListWindow(this, u"frmDriverCheckList"_s, u"驾驶员身份识别记录"_s, QSize(560, 460));

    QLabel *title = LargeLabel(this, u"lblTitle"_s, u"驾驶员身份识别记录"_s, 15, true);
    title->setAlignment(Qt::AlignCenter);

    lblBusID = valueLabel(u"lblBusID"_s, this);
    lblStartTime = valueLabel(u"lblStartTime"_s, this);
    lblEndStation = valueLabel(u"lblEndStation"_s, this);
    lblCompany = valueLabel(u"lblCompany"_s, this);
    lblLicenseID = valueLabel(u"lblLicenseID"_s, this);
    lblStatus = LargeLabel(this, u"lblStatus"_s, u"●"_s, 20);
    lblMessage = new QLabel(this);
    lblMessage->setObjectName(u"lblMessage"_s);
    lblMessage->setWordWrap(true);
    lblMessage->setStyleSheet(u"QLabel { color: #C00000; }"_s);
    lblMessage->hide();

    auto *heading = new QGridLayout;
    const auto caption = [this](const QString &text) { return new QLabel(text, this); };
    heading->addWidget(caption(u"车次:"_s), 0, 0);
    heading->addWidget(lblBusID, 0, 1);
    heading->addWidget(caption(u"发车时间:"_s), 0, 2);
    heading->addWidget(lblStartTime, 0, 3);
    heading->addWidget(caption(u"到站:"_s), 1, 0);
    heading->addWidget(lblEndStation, 1, 1);
    heading->addWidget(caption(u"车属公司:"_s), 1, 2);
    heading->addWidget(lblCompany, 1, 3);
    heading->addWidget(caption(u"车号:"_s), 2, 0);
    heading->addWidget(lblLicenseID, 2, 1);
    heading->addWidget(lblStatus, 0, 4, 3, 1, Qt::AlignCenter);
    heading->setColumnStretch(1, 1);
    heading->setColumnStretch(3, 1);

    vsList = new FlexGrid(this);
    vsList->setObjectName(u"vsList"_s);
    QFont gf = vsList->font();
    gf.setPointSize(11);
    vsList->setFont(gf);
    vsList->setAllCentered();
    vsList->setSelectionBehavior(QAbstractItemView::SelectRows);
    vsList->setSelectionMode(QAbstractItemView::SingleSelection);
    ResetGrid();

    cmdOk = NamedButton(this, u"cmdOk"_s, u"强行通过(&O)"_s);
    CoolButton1 = NamedButton(this, u"CoolButton1"_s, u"取消登记(&A)"_s);
    cmdClose = NamedButton(this, u"cmdClose"_s, u"关闭(&C)"_s);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(StationLine(m_station.lineColour, this));
    layout->addLayout(heading);
    layout->addWidget(lblMessage);
    layout->addWidget(StationLine(m_station.lineColour, this));
    layout->addWidget(vsList, 1);
    layout->addWidget(StationLine(m_station.lineColour, this));
    layout->addLayout(RightAlignedRow({cmdOk, CoolButton1, cmdClose}));

    connect(cmdOk, &QPushButton::clicked, this, &frmDriverCheckList::cmdOk_Click);
    connect(CoolButton1, &QPushButton::clicked, this, &frmDriverCheckList::CoolButton1_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmDriverCheckList::cmdClose_Click);
}

frmDriverCheckList::~frmDriverCheckList() = default;

void frmDriverCheckList::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Form_Load();
}

void frmDriverCheckList::ResetGrid()
{
    ResetGridSize(vsList, 1, 3);
    vsList->setTextMatrix(0, 0, u"编号"_s);
    vsList->setTextMatrix(0, 1, u"姓名"_s);
    vsList->setTextMatrix(0, 2, u"登记时间"_s);
}

void frmDriverCheckList::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    ResetGrid();
    // Only the dispatch centre may force a driver through.
    cmdOk->setVisible(m_szParentForm == kDispatchCentre);
    bool looked = false;
    Trap(*m_env.messages, [&] { looked = LoadTrip(); });
    if (!looked)
        return;
    cmdOk->setEnabled(m_found);
    Trap(*m_env.messages, [&] { FillGrid(); });
}

// Fills the heading from the timetable trip or, failing that, the rolling
// run. Throws when a query fails; returns true once the heading is set.
bool frmDriverCheckList::LoadTrip()
{
    CheckService checks(*m_station.db, *m_env.clock);
    const QString code = m_szBusID.trimmed();
    const QString unit = m_station.unitCode();
    // An empty code or a missing date would not restrict the queries at
    // all: they name no trip.
    RecordSet trip;
    if (!code.isEmpty() && hasTripDate())
        trip = checks.QueryDayTrips(m_station.context, m_dtBusDate, code, QString(), QString(), QString(),
                                    QString(), 1, unit);
    bool rolling = false;
    QString serial;
    if (trip.isEmpty() && !code.isEmpty() && hasTripDate()) {
        rolling = true;
        trip = checks.QueryRollingTrips(m_station.context, m_dtBusDate, code, QString(), {}, {}, {}, 1);
        // A rolling run named "code-serial" as its list shows it: look the
        // code up and keep the run with that serial.
        const qsizetype dash = code.lastIndexOf(u'-');
        if (trip.isEmpty() && dash > 0 && dash < code.size() - 1) {
            trip = checks.QueryRollingTrips(m_station.context, m_dtBusDate, code.left(dash), QString(), {}, {},
                                            {}, 1);
            serial = code.mid(dash + 1);
        }
    }
    m_found = false;
    for (trip.MoveFirst(); !trip.isEOF(); trip.MoveNext()) {
        const QString runSerial = rolling ? FieldValue(trip, u"bus_serial_no"_s).toString() : QString();
        if (!serial.isEmpty() && runSerial != serial)
            continue;
        m_found = true;
        m_tripCode = FieldValue(trip, u"bus_id"_s).toString();
        if (rolling)
            m_tripCode += u'-' + runSerial;
        lblEndStation->setText(FieldValue(trip, u"end_station_name"_s).toString());
        lblCompany->setText(FieldValue(trip, u"transport_company_short_name"_s).toString());
        lblLicenseID->setText(FieldValue(trip, u"license_tag_no"_s).toString());
        const QDateTime start = FieldValue(trip, u"bus_start_time"_s).toDateTime();
        lblStartTime->setText(start.isValid() && !IsNoDate(start) ? start.toString(u"yyyy-MM-dd HH:mm"_s)
                                                                   : QString());
        break;
    }
    if (!m_found) {
        m_tripCode = code;
        lblMessage->setText(u"没有找到 %1 的车次 %2，以下为按此车次登记的报班记录。"_s.arg(
            m_dtBusDate.date().toString(u"yyyy年MM月dd日"_s), code));
        lblMessage->show();
    }
    lblBusID->setText(m_tripCode);
    return true;
}

// The trip's day. Check-ins are kept under the trip's own date, which is the
// opener's list date (a trip departing after midnight keeps the day it runs
// under, so the departure time's date is not used).
QDate frmDriverCheckList::TripDate() const
{
    return m_dtBusDate.date();
}

bool frmDriverCheckList::hasTripDate() const
{
    return m_dtBusDate.isValid() && !IsNoDate(m_dtBusDate);
}

void frmDriverCheckList::FillGrid()
{
    // Without a trip date the service would list every check-in of every
    // day: a list opened without its trip shows none.
    RecordSet rs;
    if (hasTripDate())
        rs = CheckService(*m_station.db, *m_env.clock)
                 .QueryTripDriverRecords(m_station.context, QDateTime(TripDate(), QTime(0, 0)), m_tripCode, NoDate(),
                                         NoDate());
    ResetGrid();
    if (rs.RecordCount() == 0) {
        SetLampLabel(lblStatus, 0);
    } else {
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext()) {
            const QDateTime reported = FieldValue(rs, u"driver_report_time"_s).toDateTime();
            vsList->addRow({FieldValue(rs, u"driver_run_id"_s).toString(),
                            FieldValue(rs, u"driver_run_name"_s).toString(),
                            reported.isValid() ? reported.toString(u"yyyy-MM-dd HH:mm"_s) : QString()});
        }
        SetLampLabel(lblStatus, 1);
    }
    vsList->autoSize(0, 2);
}

void frmDriverCheckList::CoolButton1_Click()
{
    const int row = vsList->row();
    if (row < vsList->fixedRows() || row >= vsList->rows()) {
        m_env.messages->show({kBoxTitle, u"请先选择要删除指纹报班登记的驾驶员！"_s, MsgIcon::Information, MsgButtons::Ok},
                             this);
        return;
    }
    const QString name = vsList->textMatrix(row, 1).trimmed();
    const MsgAnswer answer = m_env.messages->show(
        {kBoxTitle, u"您确认要删除["_s + name + u"]驾驶员的指纹报班登记吗？"_s, MsgIcon::Critical, MsgButtons::YesNo},
        this);
    if (answer != MsgAnswer::Yes)
        return;
    Trap(*m_env.messages, [&] {
        CheckService checks(*m_station.db, *m_env.clock);
        const QString refusal =
            checks.CancelDriverCheckIn(m_station.context, m_tripCode, QDateTime(TripDate(), QTime(0, 0)),
                                       vsList->textMatrix(row, 0).trimmed(), m_szRouteID,
                                       lblLicenseID->text().trimmed());
        // A refusal means the registration is no longer valid (another
        // workstation cancelled it): the row goes all the same.
        if (!refusal.isEmpty())
            ShowNotice(*m_env.messages, refusal);
        vsList->removeRow(row);
        // With the last registration gone the trip has none left.
        if (vsList->dataRows() == 0)
            SetLampLabel(lblStatus, 0);
    });
}

void frmDriverCheckList::cmdOk_Click()
{
    frmDriverList list(m_env, m_station, parentWidget());
    list.m_dtBusDate = QDateTime(TripDate(), QTime(0, 0));
    list.m_szBusID = lblBusID->text();
    list.m_szRouteID = m_szRouteID;
    list.m_szLicense = lblLicenseID->text();
    list.m_szParentForm = m_szParentForm;
    // The record list goes away; the forced pass ends the sequence and
    // control goes back to the opener.
    hide();
    list.exec();
    done(QDialog::Accepted);
}

void frmDriverCheckList::cmdClose_Click()
{
    done(QDialog::Rejected);
}

} // namespace cg
