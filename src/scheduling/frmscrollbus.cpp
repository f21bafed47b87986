#include "frmscrollbus.h"

#include "frmaddscrollbus.h"

#include "core/clock.h"
#include "services/scheduling/rollingtripservice.h"
#include "stationui/recordscreen.h"
#include "widgets/grid.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"

#include <QCloseEvent>
#include <QDateEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace cg {

frmScrollBus::frmScrollBus(const Env &env, StationContext &station, QWidget *parent)
    : RegisterScreen(env, station, u"frmScrollBus"_s, u"滚动班次车辆排班"_s, parent)
{
    dtpBusDate = RecordDatePicker(u"dtpBusDate"_s, this);
    dtpBusDate->setDate(m_env.clock->today());
    addFilterWidget(u"车次日期:"_s, dtpBusDate);

    addRegisterButtons();
    setupGrid({u"序"_s, u"车次日期"_s, u"车次代码"_s, u"车次序号"_s, u"车牌号"_s, u"终点站名"_s});
    QFont font = vsList->font();
    font.setPointSize(11);
    vsList->setFont(font);

}

frmScrollBus::~frmScrollBus() = default;

QString frmScrollBus::keyText(const TripKey &key)
{
    return key.day.toString(Qt::ISODate) + u'\x1f' + key.busId + u'\x1f' + key.serial;
}

void frmScrollBus::writeRow(int r, const RecordSet &rs)
{
    const QDate day = RecordDate(rs, u"bus_date"_s, QDate());
    vsList->setTextMatrix(r, ColDate, day.toString(u"yyyy-MM-dd"_s));
    vsList->setTextMatrix(r, ColCode, RecordText(rs, u"bus_id"_s));
    vsList->setTextMatrix(r, ColSerial, RecordText(rs, u"bus_serial_no"_s));
    vsList->setTextMatrix(r, ColPlate, RecordText(rs, u"license"_s));
    vsList->setTextMatrix(r, ColDestination, RecordText(rs, u"end_station_name"_s));
    const TripKey key{day, RecordText(rs, u"bus_id"_s), RecordText(rs, u"bus_serial_no"_s)};
    m_keys.insert(keyText(key), key);
}

QString frmScrollBus::recordKey(const RecordSet &rs) const
{
    return keyText({RecordDate(rs, u"bus_date"_s, QDate()), RecordText(rs, u"bus_id"_s),
                    RecordText(rs, u"bus_serial_no"_s)});
}

RecordSet frmScrollBus::lookupRecord(const QString &key, Lookup)
{
    const TripKey k = m_keys.value(key);
    RollingTripService trips(*m_station.db);
    return trips.QueryRollingTripRecords(m_station.context, k.busId, k.serial, QDateTime(k.day, QTime(0, 0)));
}

bool frmScrollBus::deleteRecord(const QString &key, QString *)
{
    const TripKey k = m_keys.value(key);
    RollingTripService trips(*m_station.db);
    trips.DeleteRollingTrip(m_station.context, k.busId, k.serial, QDateTime(k.day, QTime(0, 0)));
    return true;
}

void frmScrollBus::cmdQuery_Click()
{
    m_keys.clear();
    const QDateTime day(dtpBusDate->date(), QTime(0, 0));
    runListQuery([&] {
        RollingTripService trips(*m_station.db);
        return trips.QueryRollingTripRecords(m_station.context, QString(), QString(), day);
    });
}

void frmScrollBus::cmdAdd_Click()
{
    openTrip(0, {});
}

void frmScrollBus::cmdEdit_Click()
{
    const QString key = currentKey();
    if (!key.isEmpty())
        openTrip(1, m_keys.value(key));
}

void frmScrollBus::vsList_DblClick()
{
    if (currentKey().isEmpty()) {
        ShowNotice(*m_env.messages, u"请先选择一条车辆信息！"_s);
        return;
    }
    cmdEdit_Click();
}

// Asks, deletes and removes the row, renumbering the rows after it. A
// refused deletion (the error shown by the handler's trap) keeps the row.
void frmScrollBus::cmdDelete_Click()
{
    const QString key = currentKey();
    if (key.isEmpty())
        return;
    const int row = vsList->row();
    const MsgAnswer answer = m_env.messages->show(
        {u"提示"_s, u"是否真的要删除序号为[%1]的信息，删除后将不能再恢复？"_s.arg(vsList->textMatrix(row, ColNo)),
         MsgIcon::Information, MsgButtons::YesNo},
        this);
    if (answer != MsgAnswer::Yes)
        return;
    deleteRecord(key, nullptr);
    const int r = rowOfKey(key);
    if (r < 0)
        return;
    vsList->removeRow(r);
    for (int i = r; i < vsList->rows(); ++i)
        vsList->setTextMatrix(i, ColNo, QString::number(vsList->textMatrix(i, ColNo).toInt() - 1));
    m_keys.remove(key);
}

RecordScreen *frmScrollBus::makeRecordScreen()
{
    if (!m_form)
        m_form = new frmAddScrollBus(m_env, m_station, this);
    return m_form;
}

void frmScrollBus::openTrip(int status, const TripKey &key)
{
    makeRecordScreen();
    m_form->m_szParentForm = objectName();
    m_form->m_eStatus = status;
    m_form->m_szBusID = key.busId;
    m_form->m_szBusSerialNo = key.serial;
    m_form->m_szBusDate = key.day.isValid() ? key.day.toString(Qt::ISODate) : QString();
    m_form->Open();
    m_form->show();
    m_form->raise();
    m_form->activateWindow();
}

void frmScrollBus::closeEvent(QCloseEvent *event)
{
    if (m_form)
        m_form->close();
    RegisterScreen::closeEvent(event);
}

} // namespace cg
