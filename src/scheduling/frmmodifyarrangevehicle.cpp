#include "frmmodifyarrangevehicle.h"

#include "frmarrangevehiclemain.h"

#include "core/dates.h"
#include "services/scheduling/arrangementservice.h"
#include "stationui/recordscreen.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/buttons.h"

#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

frmModifyArrangeVehicle::frmModifyArrangeVehicle(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    setObjectName(u"frmModifyArrangeVehicle"_s);
    setWindowTitle(u"车辆驾驶员安排修改"_s);
    auto *root = new QVBoxLayout(this);
    root->addWidget(new QLabel(u"请在此处修改排班信息:"_s, this));
    auto *form = new QFormLayout;
    root->addLayout(form);
    txtDriver = new QLineEdit(this);
    txtDriver->setObjectName(u"txtDriver"_s);
    txtDriver->setReadOnly(true);
    txtLicense = new QLineEdit(this);
    txtLicense->setObjectName(u"txtLicense"_s);
    txtLicense->setReadOnly(true);
    dtpStartDate = RecordDatePicker(u"dtpStartDate"_s, this);
    dtpEndDate = RecordDatePicker(u"dtpEndDate"_s, this);
    txtMemo = new QLineEdit(this);
    txtMemo->setObjectName(u"txtMemo"_s);
    form->addRow(u"驾驶员："_s, txtDriver);
    form->addRow(u"车辆："_s, txtLicense);
    form->addRow(u"开始时间："_s, dtpStartDate);
    form->addRow(u"结束时间："_s, dtpEndDate);
    form->addRow(u"备注："_s, txtMemo);
    cmdSave = PlainButton(this, u"cmdSave"_s, u"保存(&S)"_s);
    QPushButton *cmdClose = PlainButton(this, u"cmdClose"_s, u"关闭(&C)"_s);
    root->addLayout(RightAlignedRow({cmdSave, cmdClose}));

    const auto enableSave = [this] { cmdSave->setEnabled(true); };
    connect(dtpStartDate, &QDateEdit::dateChanged, this, enableSave);
    connect(dtpEndDate, &QDateEdit::dateChanged, this, enableSave);
    BindByteLimit(txtMemo, 255);
    connect(txtMemo, &QLineEdit::textChanged, this, enableSave);
    connect(cmdSave, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmModifyArrangeVehicle::cmdSave_Click));
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

frmModifyArrangeVehicle::~frmModifyArrangeVehicle() = default;

void frmModifyArrangeVehicle::Open()
{
    txtDriver->setText(m_szDriver);
    txtLicense->setText(m_szLicense);
    txtMemo->setText(m_szMemo);
    dtpStartDate->setDate(m_dtStartDate.date());
    dtpEndDate->setDate(m_dtEndDate.date());
    cmdSave->setEnabled(true);
}

void frmModifyArrangeVehicle::cmdSave_Click()
{
    if (dtpEndDate->date() < dtpStartDate->date()) {
        ShowNotice(*m_env.messages, u"结束日期不能早于开始日期！"_s);
        return;
    }
    RecordSet row = CloneRecordsetShape(ArrangementService::GetArrangementTemplate());
    row.appendRow();
    row.setValue(u"license_id"_s, m_szLicenseID);
    row.setValue(u"driver_id"_s, m_szDriverID);
    row.setValue(u"driver_name"_s, txtDriver->text());
    row.setValue(u"start_date"_s, QDateTime(dtpStartDate->date(), QTime(0, 0)));
    row.setValue(u"end_date"_s, QDateTime(dtpEndDate->date(), QTime(0, 0)));
    row.setValue(u"Memo"_s, txtMemo->text().trimmed());
    ArrangementService arrangements(*m_station.db);
    QString why;
    // The arrangement as the register showed it is the one replaced.
    if (!arrangements.SaveArrangements(m_station.context, m_szDriverID, row, &why, m_dtStartDate)) {
        // Save stays enabled; the register row keeps what is stored.
        ShowNotice(*m_env.messages, why.isEmpty() ? u"保存不成功！"_s : u"保存不成功！\n"_s + why);
        return;
    }
    ArrangementRow original;
    original.vehicle = m_szLicenseID;
    original.driver = m_szDriverID;
    original.start = m_dtStartDate.date();
    if (m_register)
        m_register->UpdateOneLine(m_szLicenseID, m_szDriverID, dtpStartDate->date(), original.key());
    // The next save modifies the arrangement as it now is.
    m_dtStartDate = QDateTime(dtpStartDate->date(), QTime(0, 0));
    m_dtEndDate = QDateTime(dtpEndDate->date(), QTime(0, 0));
    cmdSave->setEnabled(false);
}

void frmModifyArrangeVehicle::done(int result)
{
    m_szDriver.clear();
    m_szDriverID.clear();
    m_szLicense.clear();
    m_szLicenseID.clear();
    m_szMemo.clear();
    m_dtStartDate = NoDate();
    m_dtEndDate = NoDate();
    QDialog::done(result);
}

} // namespace cg
