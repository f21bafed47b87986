#include "core/clock.h"
#include "core/dates.h"
#include "services/checks/checkservice.h"

#include "services/checks/checknotifier.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "services/checks/tripquery.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// The trip an issue is meant for. A timetable trip is named by its code; a
// rolling trip by its code and serial number as the lists show it
// ("R001-2"), because one code runs several times a day.
struct IssuedTrip {
    bool found = false;
    bool rolling = false;
    QString busId;
    QString serial;
};

IssuedTrip findTrip(Database &db, const QString &station, const QDateTime &day, const QString &busId)
{
    IssuedTrip trip;
    if (db.scalar(u"SELECT 1 FROM trips WHERE station_code = ? AND bus_date = ? AND bus_id = ?"_s,
                  {station, day, busId}).isValid()) {
        trip.found = true;
        trip.busId = busId;
        return trip;
    }
    // Trip codes may contain "-" themselves: the serial is what follows the
    // last one.
    const qsizetype dash = busId.lastIndexOf(u'-');
    if (dash <= 0 || dash == busId.size() - 1)
        return trip;
    const QString code = busId.left(dash);
    const QString serial = busId.mid(dash + 1);
    if (db.scalar(u"SELECT 1 FROM rolling_trips WHERE station_code = ? AND bus_date = ? AND bus_id = ? "
                  u"AND bus_serial_no = ?"_s,
                  {station, day, code, serial}).isValid()) {
        trip = {true, true, code, serial};
    }
    return trip;
}

} // namespace

// Issues the route sheet of a trip: the trip's ticket-check lamp turns green
// with the issue time and operator, the issue is added to the history, and
// SchemeCheck tells every workstation, all in one transaction. Issuing again
// is allowed (a reprinted sheet): the trip then carries the latest issue and
// the history keeps both. kind is the lamp code the issue writes; the
// dispatch centre passes 1 (passed), the only one an issue may write.
// Returns false, writing nothing, when the trip does not exist on that day.
bool CheckService::IssueRouteSheet(const QString &context, const QDateTime &busDate, const QString &busId,
                                   const QString &license, const QDateTime &now, int kind,
                                   const QVariant &operatorName, const QString &unitCode)
{
    const SessionContext session = SessionContext::parse(context);
    if (kind != 1)
        throw ServiceError(svcerr::BadArgument, u"路单签发状态无效：%1"_s.arg(kind));
    if (!busDate.isValid())
        throw ServiceError(svcerr::BadArgument, u"路单签发缺少车次日期"_s);
    const QString code = busId.trimmed();
    if (code.isEmpty())
        return false;
    const QDateTime day = DayOf(busDate);
    QDateTime issued = now.isValid() ? now : m_clock.now();
    issued = QDateTime(issued.date(), QTime(issued.time().hour(), issued.time().minute(), issued.time().second()));
    const QString op = operatorName.isValid() ? operatorName.toString().trimmed() : QString();

    bool done = false;
    m_db.transact(
        [&] {
            done = false;
            const IssuedTrip trip = findTrip(m_db, session.stationCode, day, code);
            if (!trip.found)
                return;
            updateTrip(m_db, session.stationCode, u"scheme_status = ?, scheme_time = ?, scheme_operator = ?"_s, {kind, issued, op}, day,
                       trip.busId, trip.rolling, trip.serial);
            m_db.insert(u"INSERT INTO route_sheet_issues (station_code, bus_date, bus_id, bus_serial_no, license, "
                        u"operator_name, unit_code, issue_time) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s,
                        {session.stationCode, day, trip.busId, trip.rolling ? QVariant(trip.serial) : QVariant(), license.trimmed(), op,
                         unitCode, issued});
            // The lists key rows by the code as shown, so the event carries it
            // as the caller named the trip.
            CheckEvents::schemeCheck(m_db, session.stationCode, code, day, kind, issued);
            done = true;
        },
        Database::TxRetry::OnConflict);
    return done;
}

} // namespace cg
