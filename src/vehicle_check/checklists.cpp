#include "checklists.h"

#include "core/clock.h"
#include "core/dates.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "core/sqlliteral.h"
#include "core/text.h"
#include "checkhelpers.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/database/serviceerror.h"
#include "services/masterdata/vehicleservice.h"
#include "stationui/titledwindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

// ------------------------------------------------------------------ frame

CheckRecordList::CheckRecordList(const Env &env, StationContext &station, const QString &formName,
                                 const QString &title, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    QVBoxLayout *layout = BeginTitledWindow(this, formName, title, QSize(620, 440));

    auto *headerRow = new QHBoxLayout;
    m_header = new QGridLayout;
    headerRow->addLayout(m_header, 1);
    lblStatus = LargeLabel(nullptr, u"lblStatus"_s, u"●"_s, 22);
    SetThreeColourLamp(lblStatus, 0);
    headerRow->addWidget(lblStatus);
    layout->addLayout(headerRow);

    vsList = AddListGrid(layout);

    m_buttons = new QHBoxLayout;
    m_buttons->addStretch();
    auto *cmdClose = new QPushButton(u"关闭(&C)"_s);
    cmdClose->setObjectName(u"cmdClose"_s);
    m_buttons->addWidget(cmdClose);
    layout->addLayout(m_buttons);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

void CheckRecordList::setLampColour(const QColor &colour)
{
    QPalette pal = lblStatus->palette();
    pal.setColor(QPalette::WindowText, colour);
    lblStatus->setPalette(pal);
}

void CheckRecordList::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The opener sets the members after construction: load on first show.
    if (!m_loaded) {
        m_loaded = true;
        Trap(*m_env.messages, [this] { Form_Load(); });
    }
}

void CheckRecordList::setupGrid(const QStringList &captions)
{
    m_captions = captions;
    clearRecords();
}

void CheckRecordList::clearRecords()
{
    ResetGridSize(vsList, 1, int(m_captions.size()));
    vsList->setFixedCols(0);
    vsList->setAllCentered();
    for (int c = 0; c < m_captions.size(); ++c)
        vsList->setTextMatrix(0, c, m_captions.at(c));
}

int CheckRecordList::addCheckRow(int status)
{
    const int r = vsList->addRow();
    SetLampCell(vsList, r, 0, status);
    SetThreeColourLamp(lblStatus, status);
    return r;
}

void CheckRecordList::forcePass(const std::function<void()> &write)
{
    Trap(*m_env.messages, [&] {
        if (m_env.messages->show({u"注意"_s, u"是否要强行通过？"_s, MsgIcon::Information, MsgButtons::YesNo}, this)
            == MsgAnswer::Yes) {
            write();
            m_IsOk = true;
        }
        close();
    });
}

QPushButton *CheckRecordList::addForcePassButton(const char *name, const std::function<void()> &write)
{
    auto *button = new QPushButton(u"强行通过(&O)"_s);
    button->setObjectName(QString::fromLatin1(name));
    button->setVisible(false);
    m_buttons->insertWidget(1, button);
    connect(button, &QPushButton::clicked, this, [this, write] {
        if (fromDispatchCentre())
            forcePass(write);
    });
    return button;
}

// -------------------------------------------------------------- condition

frmTeckCheckList::frmTeckCheckList(const Env &env, StationContext &station, QWidget *parent)
    : CheckRecordList(env, station, u"frmTeckCheckList"_s, u"车况检验记录"_s, parent)
{
    lblLicenseID = AddCaptionedLabel(this, m_header, 0, 0, u"车牌号:"_s, u"lblLicenseID"_s);
    lblBusKind = AddCaptionedLabel(this, m_header, 0, 2, u"车型:"_s, u"lblBusKind"_s);
    lblCompany = AddCaptionedLabel(this, m_header, 1, 0, u"车属公司:"_s, u"lblCompany"_s);
    lblBusCode = AddCaptionedLabel(this, m_header, 1, 2, u"车辆编号:"_s, u"lblBusCode"_s);
    cmdOk = addForcePassButton("cmdOk", [this] {
        CheckService checks(*m_station.db, *m_env.clock);
        checks.ForcePassConditionCheck(m_station.context, m_dtBusDate, 0, m_szBusID, lblLicenseID->text(),
                                       m_env.clock->now(), 2, m_station.session->GetOperatorName(), QString(),
                                       m_station.session->GetUnitCode());
    });
    setupGrid({u"状态"_s, u"序号"_s, u"检测人"_s, u"  检测时间"_s, u"备注"_s});
}

void frmTeckCheckList::Form_Load()
{
    clearRecords();
    cmdOk->setVisible(fromDispatchCentre());
    VehicleService vehicles(*m_station.db, *m_env.clock);
    const RecordSet v = vehicles.QueryVehicles(m_station.context, u" license = "_s + SqlLiteral(m_szLicense),
                                               QString(), NoDate(), true);
    if (v.RecordCount() == 0)
        return;
    lblBusKind->setText(v.valueAt(0, u"model_id"_s).toString());
    lblCompany->setText(BracketInner(v.valueAt(0, u"company_name"_s).toString()));
    lblLicenseID->setText(v.valueAt(0, u"license"_s).toString());
    lblBusCode->setText(v.valueAt(0, u"license_id"_s).toString());

    const bool fromStation = m_szParentForm == u"frmTechCheck"_s;
    CheckService checks(*m_station.db, *m_env.clock);
    const RecordSet rs = fromStation
        ? checks.QueryConditionCheckRecords(m_station.context, m_dtBusDate, m_szLicense, m_nCount)
        : checks.QueryTripConditionChecks(m_station.context, m_dtBusDate, m_szBusID, m_szLicense);
    vsList->setRows(1);
    if (rs.RecordCount() == 0)
        SetThreeColourLamp(lblStatus, 0);
    for (int i = 0; i < rs.RecordCount(); ++i) {
        const int r = addCheckRow(rs.valueAt(i, u"cond_status"_s).toInt());
        vsList->setTextMatrix(r, 2, rs.valueAt(i, u"cond_checker"_s).toString());
        vsList->setTextMatrix(r, 3, LongDateTime(rs.valueAt(i, u"cond_time"_s).toDateTime()));
        if (fromStation) {
            vsList->setTextMatrix(r, 1, rs.valueAt(i, u"cond_index"_s).toString());
            vsList->setTextMatrix(r, 4, rs.valueAt(i, u"check_cause"_s).toString());
        }
    }
    vsList->autoSize(0, vsList->cols() - 1);
}

// ------------------------------------------------------------ trip header

TripRecordList::TripRecordList(const Env &env, StationContext &station, const QString &formName,
                               const QString &title, QWidget *parent)
    : CheckRecordList(env, station, formName, title, parent)
{
    m_trip.build(this, m_header);
}

bool TripRecordList::loadTrip(const QString &unitCode, int *luggageStatus)
{
    // Without a trip code the day's first trip would stand in for it.
    if (m_szBusID.trimmed().isEmpty())
        return false;
    CheckService checks(*m_station.db, *m_env.clock);
    const RecordSet t = checks.QueryDayTrips(m_station.context, m_dtBusDate, m_szBusID, QString(), QString(),
                                             QString(), QVariant(), 1, unitCode);
    if (t.RecordCount() == 0)
        return false;
    m_trip.show(t);
    if (luggageStatus)
        *luggageStatus = t.valueAt(0, u"luggage_check_status"_s).toInt();
    return true;
}

// ------------------------------------------------------------- appearance

frmFaceCheckList::frmFaceCheckList(const Env &env, StationContext &station, QWidget *parent)
    : TripRecordList(env, station, u"frmFaceCheckList"_s, u"车容检验记录"_s, parent)
{
    setWindowTitle(u"车容检查明细"_s);
    cmdForcePass = addForcePassButton("cmdForcePass", [this] {
        CheckService checks(*m_station.db, *m_env.clock);
        const QDateTime start = ParseDateTime(m_trip.lblStartTime->text());
        if (!start.isValid())
            throw ServiceError(svcerr::BadArgument, u"车次的发车时间不明，不能强行通过"_s);
        checks.ForcePassAppearanceCheck(m_station.context, DayOf(start),
                                        m_trip.lblBusID->text(), m_trip.lblLicenseID->text(), m_env.clock->now(), 1,
                                        m_station.session->GetOperatorName(), QString(),
                                        m_station.session->GetUnitCode());
    });
    setupGrid({u"状态"_s, u"序号"_s, u"检测人"_s, u"检测时间"_s});
}

void frmFaceCheckList::Form_Load()
{
    clearRecords();
    if (loadTrip(QString(), nullptr)) {
        CheckService checks(*m_station.db, *m_env.clock);
        const RecordSet rs = checks.QueryTripAppearanceChecks(m_station.context, m_dtBusDate, m_szBusID);
        SetThreeColourLamp(lblStatus, 0);
        for (int i = 0; i < rs.RecordCount(); ++i) {
            const int r = addCheckRow(rs.valueAt(i, u"check_status"_s).toInt());
            vsList->setTextMatrix(r, 1, rs.valueAt(i, u"face_index"_s).toString());
            vsList->setTextMatrix(r, 2, rs.valueAt(i, u"checker"_s).toString());
            vsList->setTextMatrix(r, 3, ShortDateTime(rs.valueAt(i, u"check_time"_s).toDateTime()));
        }
        vsList->autoSize(0, vsList->cols() - 1);
    }
    cmdForcePass->setVisible(fromDispatchCentre());
}

// ---------------------------------------------------------------- luggage

frmLugCheckList::frmLugCheckList(const Env &env, StationContext &station, QWidget *parent)
    : TripRecordList(env, station, u"frmLugCheckList"_s, u"行包件数核对记录"_s, parent)
{
    setupGrid({u"站点"_s, u"受理件数"_s, u"签发件数"_s});
}

void frmLugCheckList::Form_Load()
{
    clearRecords();
    int luggage = 0;
    if (loadTrip(m_station.session->GetUnitCode(), &luggage))
        SetThreeColourLamp(lblStatus, luggage);
    CheckService checks(*m_station.db, *m_env.clock);
    const RecordSet rs = checks.QueryLuggageCounts(m_station.context, m_dtBusDate, m_szBusID);
    vsList->setRows(1);
    for (int i = 0; i < rs.RecordCount(); ++i)
        vsList->addRow({rs.valueAt(i, u"station_name"_s).toString(), rs.valueAt(i, u"accept_count"_s).toString(),
                        rs.valueAt(i, u"send_count"_s).toString()});
    vsList->autoSize(0, vsList->cols() - 1);
}

} // namespace cg
