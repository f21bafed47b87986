// The trip list of the dispatch centre: filling, the periodic refresh and
// the notification handlers.

#include "frmenvbusdesk.h"

#include "core/apperror.h"
#include "core/clock.h"
#include "core/dates.h"
#include "widgets/env.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/messages.h"
#include "widgets/messagesink.h"
#include "core/recordset.h"
#include "services/checks/checkservice.h"
#include "services/station/coreservices.h"
#include "stationui/listquery.h"
#include "stationui/stationcontext.h"

#include <QPushButton>

using namespace Qt::StringLiterals;

namespace cg {

QString TripTimeText(const QDateTime &value)
{
    if (!value.isValid() || IsNoDate(value))
        return QString(6, QChar(0x3000));
    return value.toString(u"yyyy年MM月dd日 HH:mm"_s);
}

namespace {

QString text(const RecordSet &rs, const QString &field)
{
    return rs.hasField(field) ? FieldValue(rs, field).toString() : QString();
}

// A Null lamp code draws nothing.
int lamp(const RecordSet &rs, const QString &field)
{
    if (!rs.hasField(field))
        return -1;
    const QVariant v = FieldValue(rs, field);
    bool ok = false;
    const int code = v.toInt(&ok);
    return v.isValid() && ok ? code : -1;
}

QDateTime dateTime(const RecordSet &rs, const QString &field)
{
    return rs.hasField(field) ? FieldValue(rs, field).toDateTime() : QDateTime();
}


} // namespace

// Every lamp a row shows is kept as row data (its code by column), so that
// the buttons follow the codes, never the drawn cells.
void frmEnvBusDesk::setLamp(int row, int col, int code)
{
    SetLampCell(vsList, row, col, code);
    QVariantMap data = vsList->rowData(row).toMap();
    data.insert(QString::number(col), code);
    vsList->setRowData(row, data);
    if (row == m_currentRow)
        updateButtons(row);
}

int frmEnvBusDesk::lampAt(int row, int col) const
{
    return vsList->rowData(row).toMap().value(QString::number(col), -1).toInt();
}

// Rolling trips run several times a day under one code: their rows are
// keyed by code and serial number, as column 12 shows them.
QString frmEnvBusDesk::rowKey(const RecordSet &rs, bool rolling) const
{
    const QString busId = text(rs, u"bus_id"_s);
    return rolling ? busId + u"-"_s + text(rs, u"bus_serial_no"_s) : busId;
}

void frmEnvBusDesk::writeRow(int row, const RecordSet &rs, bool rolling)
{
    vsList->setTextMatrix(row, ColNo, QString::number(row - vsList->fixedRows() + 1));
    vsList->setTextMatrix(row, ColLicense, text(rs, u"license_tag_no"_s));
    vsList->setTextMatrix(row, ColModel, text(rs, u"vehicle_type_name"_s).trimmed());
    vsList->setTextMatrix(row, ColSeats, text(rs, u"total_seat"_s));
    vsList->setTextMatrix(row, ColCompany, text(rs, u"transport_company_short_name"_s));
    setLamp(row, ColReturn, lamp(rs, u"ReturnStatus"_s));
    setLamp(row, ColState, lamp(rs, u"StateStatus"_s));
    setLamp(row, ColDriver, lamp(rs, u"driver_verify_status"_s));
    setLamp(row, ColScheme, lamp(rs, u"SchemeStatus"_s));
    vsList->setTextMatrix(row, ColSold, rolling ? u"0"_s : text(rs, u"sale_num"_s));
    vsList->setTextMatrix(row, ColChecked, text(rs, u"check_num"_s));
    setLamp(row, ColOut, lamp(rs, u"OutStatus"_s));
    vsList->setTextMatrix(row, ColBusId, rowKey(rs, rolling));
    vsList->setTextMatrix(row, ColTime,
                          rolling ? u"滚动"_s : dateTime(rs, u"bus_start_time"_s).toString(u"HH:mm"_s));
    vsList->setTextMatrix(row, ColBusType, text(rs, u"bus_type_name"_s));
    vsList->setTextMatrix(row, ColEnd, text(rs, u"end_station_name"_s));
    vsList->setTextMatrix(row, ColSchemeTime, TripTimeText(dateTime(rs, u"scheme_time"_s)));
    vsList->setTextMatrix(row, ColReturnTime, TripTimeText(dateTime(rs, u"return_time"_s)));
    vsList->setTextMatrix(row, ColExitTime, TripTimeText(dateTime(rs, u"exit_time"_s)));
    vsList->setTextMatrix(row, ColRoute, rolling ? QString() : text(rs, u"route_id"_s));
}

void frmEnvBusDesk::fillRegular() { fill(false); }

// The rolling trips of the list date replace whatever the list held.
void frmEnvBusDesk::fillRolling() { fill(true); }

void frmEnvBusDesk::fill(bool rolling)
{
    m_rolling = rolling;
    (void)gateFilter();
    RunListQuery(m_env, [this, rolling] {
        const FlexGrid::BulkFill bulk(vsList);
        vsList->setRows(vsList->fixedRows());
        m_currentRow = -1;
        const QDateTime day(m_listDate, QTime(0, 0));
        RecordSet rs = rolling ? service().QueryRollingTrips(m_station.context, day, busIdFilter(), licenseFilter(),
                                                             QVariant(), QVariant(), QVariant(), 1)
                               : service().QueryDayTrips(m_station.context, day, busIdFilter(), licenseFilter(),
                                                         QString(), QString(), QVariant(), 1, m_station.unitCode());
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
            writeRow(vsList->addRow(), rs, rolling);
        return rs.RecordCount();
    });
}

// Rewrites matching rows in place; never adds or removes rows.
void frmEnvBusDesk::refreshRows(const RecordSet &rs, bool rolling)
{
    RecordSet records = rs;
    for (records.MoveFirst(); !records.isEOF(); records.MoveNext()) {
        const QString key = rowKey(records, rolling);
        for (int row = vsList->fixedRows(); row < vsList->rows(); ++row) {
            if (vsList->textMatrix(row, ColBusId) != key)
                continue;
            if (vsList->textMatrix(row, ColLicense) != text(records, u"license_tag_no"_s)) {
                // The trip got another vehicle: everything of the vehicle
                // changes with it.
                const QString number = vsList->textMatrix(row, ColNo);
                const QString schemeTime = vsList->textMatrix(row, ColSchemeTime);
                const QString sold = vsList->textMatrix(row, ColSold);
                const QString checked = vsList->textMatrix(row, ColChecked);
                const QString route = vsList->textMatrix(row, ColRoute);
                writeRow(row, records, rolling);
                vsList->setTextMatrix(row, ColNo, number);
                vsList->setTextMatrix(row, ColSchemeTime, schemeTime);
                vsList->setTextMatrix(row, ColSold, sold);
                vsList->setTextMatrix(row, ColChecked, checked);
                vsList->setTextMatrix(row, ColRoute, route);
                const bool outside = text(records, u"service_kind"_s).startsWith(u'外');
                setLamp(row, ColDriver, outside ? 3 : lamp(records, u"driver_verify_status"_s));
            }
            setLamp(row, ColScheme, lamp(records, u"SchemeStatus"_s));
            vsList->setTextMatrix(row, ColSchemeTime, TripTimeText(dateTime(records, u"scheme_time"_s)));
            vsList->setTextMatrix(row, ColSold, rolling ? u"0"_s : text(records, u"sale_num"_s));
            vsList->setTextMatrix(row, ColChecked, text(records, u"check_num"_s));
        }
    }
    if (vsList->row() >= vsList->fixedRows())
        updateButtons(vsList->row());
}

void frmEnvBusDesk::ListTimeBusInfo()
{
    TrapNotice(*m_env.messages, this, [this] {
        int before = m_station.params.BeforeMinute.trimmed().toInt();
        const QDateTime now = m_env.clock->now();
        const QString format = u"yyyy-MM-dd HH:mm:ss"_s;
        const RecordSet rs = service().QueryDayTrips(
            m_station.context, QDateTime(m_listDate, QTime(0, 0)), QString(), QString(),
            now.addSecs(-60LL * before).toString(format), now.addSecs(60LL * before).toString(format), QVariant(), 1,
            m_station.unitCode());
        refreshRows(rs, false);
    });
}

void frmEnvBusDesk::Timer1_Timer()
{
    if (vsList->dataRows() <= 0)
        return;
    if (!m_rolling) {
        ListTimeBusInfo();
        return;
    }
    // Rolling trips have no timetable time: all of the day's are refreshed.
    TrapNotice(*m_env.messages, this, [this] {
        const RecordSet rs = service().QueryRollingTrips(m_station.context, QDateTime(m_listDate, QTime(0, 0)),
                                                         QString(), QString(), QVariant(), QVariant(), QVariant(), 1);
        refreshRows(rs, true);
    });
}

template <typename F>
void frmEnvBusDesk::forTripRows(const QString &busId, const QDateTime &busDate, F f)
{
    if (busDate.date() != m_listDate)
        return;
    for (int row = vsList->fixedRows(); row < vsList->rows(); ++row)
        if (vsList->textMatrix(row, ColBusId) == busId)
            f(row);
}

void frmEnvBusDesk::onDriverCheck(const QString &busId, const QDateTime &busDate, int code)
{
    forTripRows(busId, busDate, [&](int row) { setLamp(row, ColDriver, code); });
}

void frmEnvBusDesk::onSchemeCheck(const QString &busId, const QDateTime &busDate, int code,
                                  const QDateTime &checkTime)
{
    forTripRows(busId, busDate, [&](int row) {
        setLamp(row, ColScheme, code);
        vsList->setTextMatrix(row, ColSchemeTime, TripTimeText(checkTime));
        if (row == vsList->row())
            updateButtons(row);
    });
}

void frmEnvBusDesk::onSchemeExCheck(const QString &busId, const QDateTime &busDate, int code)
{
    forTripRows(busId, busDate, [&](int row) { setLamp(row, ColOut, code); });
}

void frmEnvBusDesk::onReturnCheck(const QString &license, const QDateTime &, int code, const QDateTime &,
                                  const QString &)
{
    for (int row = vsList->fixedRows(); row < vsList->rows(); ++row)
        if (vsList->textMatrix(row, ColLicense) == license)
            setLamp(row, ColReturn, code);
}

// A condition check redraws the vehicle's rows only on a list of the day
// of the check.
void frmEnvBusDesk::onTechCheck(const QString &license, const QDateTime &checkDate, int code, int,
                                const QDateTime &, const QString &)
{
    if (checkDate.date() != m_listDate)
        return;
    for (int row = vsList->fixedRows(); row < vsList->rows(); ++row)
        if (vsList->textMatrix(row, ColLicense) == license) {
            setLamp(row, ColReturn, code);
            setLamp(row, ColState, code);
        }
}

} // namespace cg
