#include "frmregfacecheck.h"

#include "core/clock.h"
#include "core/dates.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "checkhelpers.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "services/database/serviceerror.h"
#include "stationui/titledwindow.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace cg {

frmRegFaceCheck::frmRegFaceCheck(const Env &env, StationContext &station, QWidget *parent)
    : QDialog(parent), m_env(env), m_station(station)
{
    QVBoxLayout *layout = BeginTitledWindow(this, u"frmRegFaceCheck"_s, u"车容门检"_s, QSize(560, 300));

    auto *headerRow = new QHBoxLayout;
    auto *header = new QGridLayout;
    m_trip.build(this, header);
    headerRow->addLayout(header, 1);
    lblStatus = LargeLabel(nullptr, u"lblStatus"_s, QString(), 26);
    SetThreeColourLamp(lblStatus, 0);
    headerRow->addWidget(lblStatus);
    layout->addLayout(headerRow);

    auto *timeRow = new QHBoxLayout;
    QDateEdit *dtpDate = nullptr;
    QTimeEdit *dtpTime = nullptr;
    AddReadOnlyDateTime(timeRow, u"回场时间:"_s, &dtpDate, &dtpTime);
    timeRow->addStretch();
    layout->addLayout(timeRow);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(u"快捷说明:[F4]合格 [F5]不合格 [F8]查询 [F9]今日车次"_s));
    bottom->addStretch();
    QToolButton *cmdPass = nullptr, *cmdNotPass = nullptr;
    AddVerdictButtons(this, bottom, &cmdPass, &cmdNotPass);
    layout->addLayout(bottom);

    const QDateTime now = m_env.clock->now();
    dtpDate->setDate(now.date());
    dtpTime->setTime(now.time());
    connect(cmdPass, &QToolButton::clicked, this, [this] { verdict(true); });
    connect(cmdNotPass, &QToolButton::clicked, this, [this] { verdict(false); });
}

void frmRegFaceCheck::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        Trap(*m_env.messages, [this] { Form_Load(); });
    }
}

void frmRegFaceCheck::Form_Load()
{
    m_loaded = true;
    // Without a trip code or date the query would list every trip there is.
    if (m_szBusID.trimmed().isEmpty() || !m_dtBusDate.isValid() || IsNoDate(m_dtBusDate))
        return;
    CheckService checks(*m_station.db, *m_env.clock);
    const RecordSet t = checks.QueryDayTrips(m_station.context, m_dtBusDate, m_szBusID, QString(), QString(),
                                             QString(), QVariant(), 1, m_station.session->GetUnitCode());
    if (t.RecordCount() == 0)
        return;
    m_trip.show(t);
    SetThreeColourLamp(lblStatus, t.valueAt(0, u"AppearanceStatus"_s).toInt());
}

void frmRegFaceCheck::verdict(bool passed)
{
    Trap(*m_env.messages, [&] {
        if (m_env.messages->show({u"车容门检"_s, u"您确认本次操作吗？"_s, MsgIcon::Question, MsgButtons::YesNo}, this)
            == MsgAnswer::Yes) {
            const QDateTime start = ParseDateTime(m_trip.lblStartTime->text());
            if (!start.isValid())
                throw ServiceError(svcerr::NotFound, u"找不到车次%1，不能记录车容门检"_s.arg(m_szBusID));
            const QDateTime day(start.date(), QTime(0, 0));
            CheckService checks(*m_station.db, *m_env.clock);
            const QString checker = m_station.session->GetOperatorName();
            if (m_nCount < 1)
                checks.AddAppearanceCheckResult(m_station.context, day, m_trip.lblBusID->text(), m_szLicese,
                                                m_env.clock->now(), passed, checker);
            else
                checks.UpdateAppearanceCheckResult(m_station.context, day, m_trip.lblBusID->text(), m_szLicese,
                                                   m_env.clock->now(), passed, checker);
        }
        close();
    });
}

} // namespace cg
