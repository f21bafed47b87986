// Trip lists of the check stations: the timetable and rolling trips of a day
// with every lamp, a driver's trips and a vehicle's trips.
#include "core/clock.h"
#include "services/checks/checkservice.h"

#include "core/dates.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"
#include "services/checks/tripquery.h"
#include "services/checks/vehiclestate.h"
#include "services/station/coreservices.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

QDateTime parseWindowText(const QString &text, const char *what)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    const QDateTime d = ParseDateTime(t);
    if (!d.isValid())
        throw ServiceError(svcerr::BadArgument,
                           u"%1“%2”不是有效的日期时间（应为 yyyy-MM-dd HH:mm:ss）"_s
                               .arg(QString::fromUtf8(what), t));
    return d;
}

// The trips of busDate (code busId, if given) leaving in the window of the
// texts fromTime to toTime, of unit unitCode.
TripFilter windowFilter(const QString &context, const Clock &clock, const QDateTime &busDate, const QString &busId, const QString &fromTime,
                        const QString &toTime, const QString &unitCode)
{
    TripFilter f;
    f.station = SessionContext::parse(context).stationCode;
    f.now = clock.now();
    f.busDate = busDate;
    f.busId = busId.trimmed();
    f.from = parseWindowText(fromTime, "开始时间");
    f.to = parseWindowText(toTime, "结束时间");
    f.unitCode = unitCode.trimmed();
    return f;
}

} // namespace

RecordSet CheckService::QueryDayTrips(const QString &context, const QDateTime &busDate, const QString &busId,
                                      const QString &license, const QString &fromTime, const QString &toTime,
                                      const QVariant &, int, const QString &unitCode)
{
    TripFilter f = windowFilter(context, m_clock, busDate, busId, fromTime, toTime, unitCode);
    f.licenseLike = license.trimmed();
    return queryTrips(m_db, f);
}

RecordSet CheckService::QueryRollingTrips(const QString &context, const QDateTime &busDate, const QString &busId,
                                          const QString &license, const QVariant &, const QVariant &,
                                          const QVariant &, int)
{
    TripFilter f;
    f.station = SessionContext::parse(context).stationCode;
    f.now = m_clock.now();
    f.busDate = busDate;
    f.busId = busId.trimmed();
    f.licenseLike = license.trimmed();
    return queryRollingTrips(m_db, f);
}

RecordSet CheckService::QueryDriverTrips(const QString &context, const QString &driverNo, const QString &unitCode,
                                         const QDateTime &busDate, const QDateTime &from, const QDateTime &to)
{
    TripFilter f;
    f.station = SessionContext::parse(context).stationCode;
    f.now = m_clock.now();
    f.busDate = busDate;
    f.from = from;
    f.to = to;
    f.unitCode = unitCode.trimmed();
    f.driverNo = driverNo.trimmed();
    if (f.driverNo.isEmpty())
        throw ServiceError(svcerr::BadArgument, u"查询驾驶员车次时没有给出驾驶员编号"_s);
    return queryTrips(m_db, f);
}

RecordSet CheckService::QueryVehicleTrips(const QString &context, const QDateTime &busDate, const QString &busId,
                                          const QString &license, const QString &fromTime, const QString &toTime,
                                          const QVariant &, int, const QString &unitCode, int)
{
    TripFilter f = windowFilter(context, m_clock, busDate, busId, fromTime, toTime, unitCode);
    f.licenseExact = license.trimmed();
    if (f.licenseExact.isEmpty())
        throw ServiceError(svcerr::BadArgument, u"查询车辆车次时没有给出车牌号"_s);
    return queryTrips(m_db, f);
}

} // namespace cg
