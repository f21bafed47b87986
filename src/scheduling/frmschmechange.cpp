#include "frmschmechange.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/sqlliteral.h"
#include "services/masterdata/driverservice.h"
#include "services/scheduling/arrangementservice.h"
#include "stationui/recordscreen.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "widgets/buttons.h"
#include "widgets/formfields.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

frmSchmeChange::frmSchmeChange(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    setObjectName(u"frmSchmeChange"_s);
    setWindowTitle(u"驾驶员顶班"_s);
    auto *root = new QVBoxLayout(this);
    auto *arrangement = new QGroupBox(this);
    auto *grid = new QGridLayout(arrangement);
    const auto label = [this](const QString &name) {
        auto *l = new QLabel(this);
        l->setObjectName(name);
        return l;
    };
    lblDriver = label(u"lblDriver"_s);
    lblLicense = label(u"lblLicense"_s);
    lblStart = label(u"lblStart"_s);
    lblEnd = label(u"lblEnd"_s);
    AddCaptionedFields(grid, this,
                       {{u"驾驶员姓名："_s, lblDriver},
                        {u"车牌号："_s, lblLicense},
                        {u"开始时间："_s, lblStart},
                        {u"结束时间："_s, lblEnd}},
                       2);
    root->addWidget(arrangement);

    auto *substitute = new QGridLayout;
    txtDriver = new QLineEdit(this);
    txtDriver->setObjectName(u"txtDriver"_s);
    dtpStartDate = RecordDatePicker(u"dtpStartDate"_s, this);
    dtpEndDate = RecordDatePicker(u"dtpEndDate"_s, this);
    substitute->addWidget(new QLabel(u"驾驶员："_s, this), 0, 0);
    substitute->addWidget(txtDriver, 0, 1, 1, 3);
    AddCaptionedFields(substitute, this, {{u"开始时间："_s, dtpStartDate}, {u"结束时间："_s, dtpEndDate}}, 2, 1);
    root->addLayout(substitute);

    cmdSave = PlainButton(this, u"cmdSave"_s, u"顶班(&S)"_s);
    QPushButton *cmdClose = PlainButton(this, u"cmdClose"_s, u"关闭(&C)"_s);
    root->addLayout(RightAlignedRow({cmdSave, cmdClose}));

    connect(txtDriver, &QLineEdit::returnPressed, this,
            TrappedSlot(*m_env.messages, this, &frmSchmeChange::txtDriver_Enter));
    // Editing the name forgets the driver found: the one saved is always
    // the one shown.
    connect(txtDriver, &QLineEdit::textEdited, this, [this] {
        if (m_filling)
            return;
        m_substitute.clear();
        cmdSave->setEnabled(false);
    });
    connect(cmdSave, &QPushButton::clicked, this, TrappedSlot(*m_env.messages, this, &frmSchmeChange::cmdSave_Click));
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    cmdSave->setEnabled(false);
}

frmSchmeChange::~frmSchmeChange() = default;

void frmSchmeChange::Open()
{
    lblDriver->setText(m_szDriver);
    lblLicense->setText(m_szLicense);
    const QLocale locale;
    lblStart->setText(locale.toString(m_dtStart.date(), QLocale::ShortFormat));
    lblEnd->setText(locale.toString(m_dtEnd.date(), QLocale::ShortFormat));
    const QDate today = m_env.clock->today();
    dtpStartDate->setDate(today);
    dtpEndDate->setDate(today);
    m_substitute.clear();
    cmdSave->setEnabled(false);
}

void frmSchmeChange::txtDriver_Enter()
{
    DriverService drivers(*m_station.db, *m_env.clock);
    // Several matching: the first in number order, every time.
    RecordSet rs = drivers.QueryDrivers(m_station.context,
                                        u" driver_name like "_s + SqlLiteral(u"%"_s + txtDriver->text() + u"%"_s),
                                        u" driver_id "_s);
    if (rs.RecordCount() == 0) {
        m_substitute.clear();
        cmdSave->setEnabled(false);
        m_env.messages->show({u"警告"_s, u"驾驶员不存在!"_s, MsgIcon::Information, MsgButtons::Ok}, this);
        return;
    }
    rs.MoveFirst();
    m_filling = true;
    txtDriver->setText(FieldValue(rs, u"driver_name"_s).toString());
    m_filling = false;
    m_substitute = FieldValue(rs, u"driver_id"_s).toString();
    cmdSave->setEnabled(true);
    cmdSave->setFocus();
}

void frmSchmeChange::cmdSave_Click()
{
    if (m_substitute.isEmpty()) {
        cmdSave->setEnabled(false);
        return;
    }
    ArrangementService arrangements(*m_station.db);
    QString why;
    if (!arrangements.SubstituteDriver(m_station.context, m_szDriverID, m_szLicenseID, m_dtStart, m_substitute,
                                       QDateTime(dtpStartDate->date(), QTime(0, 0)),
                                       QDateTime(dtpEndDate->date(), QTime(0, 0)), QString(), &why)) {
        // Refused: said so; save stays enabled for another period.
        ShowNotice(*m_env.messages, u"顶班信息没有保存：\n"_s + why);
        return;
    }
    ShowNotice(*m_env.messages, u"顶班信息保存成功！"_s);
    cmdSave->setEnabled(false);
}

void frmSchmeChange::done(int result)
{
    m_szDriverID.clear();
    m_szDriver.clear();
    m_szLicenseID.clear();
    m_szLicense.clear();
    m_dtStart = NoDate();
    m_dtEnd = NoDate();
    QDialog::done(result);
}

} // namespace cg
