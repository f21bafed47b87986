// The departure gate: which trip a vehicle departs on now, the summary of its
// checks the operator confirms, and the allow / forbid decision.
#include "core/clock.h"
#include "services/checks/checkservice.h"

#include "services/checks/checknotifier.h"
#include "core/dates.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "services/database/serviceerror.h"
#include "services/checks/tripquery.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// Refusals start with this mark so that no caller mistakes one for a trip
// code or for "True".
const QString kRefusalMark = u"#"_s;

struct DepartingTrip {
    bool found = false;
    bool rolling = false;
    QString code;    // as the lists show it: bus_id, or bus_id-serial
    QString busId;   // the stored trip code
    QString serial;  // rolling trips only
    QString plate;
};

QDateTime wholeSeconds(const QDateTime &d)
{
    return QDateTime(d.date(), QTime(d.time().hour(), d.time().minute(), d.time().second()));
}

// The plate of the vehicle a card belongs to; "" for an unknown card.
QString plateOfCard(Database &db, const QString &icCard)
{
    return db.scalar(u"SELECT license FROM vehicles WHERE ic_card_id = ?"_s, {icCard.trimmed()}).toString();
}

QString unitClause(const QString &unitCode, QVariantList &binds)
{
    if (unitCode.trimmed().isEmpty())
        return {};
    binds << unitCode.trimmed();
    return u" AND (t.unit_code = ? OR t.unit_code IS NULL OR t.unit_code = '')"_s;
}

// The vehicle's trip at the gate on the list day, as the first row:
// - a trip of the vehicle allowed out (out_status 1) within the last
//   beforeMinute minutes comes first, so that a second read of the card
//   shows that departure instead of departing the next trip;
// - then the waiting trips (not allowed out; a forbidden one included, so
//   that the gate can say it is forbidden): timetable trips starting within
//   [now - before, now + before], earliest first, then the vehicle's rolling
//   trips of that day in serial order. A rolling trip is stored without a
//   time of day, so it is matched by its day alone.
RecordSet departingTrips(Database &db, const QString &station, const QDateTime &day, const QString &plate,
                         const QDateTime &now, int beforeMinute, const QString &unitCode)
{
    const QDateTime from = now.addSecs(-60LL * beforeMinute);
    const QDateTime to = now.addSecs(60LL * beforeMinute);
    QVariantList binds{station, day, plate, from, to, from};
    QString sql = uR"(SELECT * FROM (
SELECT t.bus_id AS bus_id, '' AS bus_serial_no, t.bus_id AS stored_bus_id, 0 AS rolling, t.bus_date,
  t.bus_start_time, t.license_tag_no, COALESCE(v.ic_card_id, '') AS ic_card_id, t.driver_verify_status,
  t.scheme_status AS SchemeStatus, t.out_status AS OutStatus, t.exit_time, t.end_station_name
FROM trips t LEFT JOIN vehicles v ON v.license_id = t.license_id
WHERE t.station_code = ? AND t.bus_date = ? AND t.license_tag_no = ?
  AND ((t.out_status <> 1 AND t.bus_start_time >= ? AND t.bus_start_time <= ?)
    OR (t.out_status = 1 AND t.exit_time >= ?)))"_s;
    sql += unitClause(unitCode, binds);
    binds << station << day << plate << from;
    sql += uR"(
UNION ALL
SELECT t.bus_id || '-' || t.bus_serial_no AS bus_id, t.bus_serial_no, t.bus_id AS stored_bus_id, 1 AS rolling,
  t.bus_date, t.bus_start_time, v.license AS license_tag_no, COALESCE(v.ic_card_id, '') AS ic_card_id,
  t.driver_verify_status, t.scheme_status AS SchemeStatus, t.out_status AS OutStatus, t.exit_time,
  t.end_station_name
FROM rolling_trips t JOIN vehicles v ON v.license_id = t.license_id
WHERE t.station_code = ? AND t.bus_date = ? AND v.license = ? AND (t.out_status <> 1 OR t.exit_time >= ?))"_s;
    sql += unitClause(unitCode, binds);
    sql += uR"() d ORDER BY CASE WHEN OutStatus = 1 THEN 0 ELSE 1 END, exit_time DESC, rolling, bus_start_time,
  LENGTH(bus_serial_no), bus_serial_no, bus_id)"_s;
    using FT = FieldType;
    return db.select(sql, binds,
                     {{u"bus_id"_s, FT::Text, 24},          {u"bus_serial_no"_s, FT::Text, 3},
                      {u"stored_bus_id"_s, FT::Text, 20},   {u"rolling"_s, FT::Integer, 0},
                      {u"bus_date"_s, FT::DateTime, 0},     {u"bus_start_time"_s, FT::DateTime, 0},
                      {u"license_tag_no"_s, FT::Text, 20},  {u"ic_card_id"_s, FT::Text, 20},
                      {u"driver_verify_status"_s, FT::Integer, 0}, {u"SchemeStatus"_s, FT::Integer, 0},
                      {u"OutStatus"_s, FT::Integer, 0},     {u"exit_time"_s, FT::DateTime, 0},
                      {u"end_station_name"_s, FT::Text, 50}});
}

DepartingTrip firstOf(const RecordSet &rs)
{
    DepartingTrip t;
    if (rs.RecordCount() == 0)
        return t;
    t.found = true;
    t.code = rs.valueAt(0, u"bus_id"_s).toString();
    t.busId = rs.valueAt(0, u"stored_bus_id"_s).toString();
    t.rolling = rs.valueAt(0, u"rolling"_s).toInt() == 1;
    t.serial = rs.valueAt(0, u"bus_serial_no"_s).toString();
    t.plate = rs.valueAt(0, u"license_tag_no"_s).toString();
    return t;
}

// A trip named as the lists show it: a timetable code, else a rolling code
// with its serial after the last "-".
DepartingTrip namedTrip(Database &db, const QString &station, const QDateTime &day, const QString &code)
{
    DepartingTrip t;
    const QVariant plate = db.scalar(u"SELECT COALESCE(license_tag_no, '') FROM trips "
                                     u"WHERE station_code = ? AND bus_date = ? AND bus_id = ?"_s,
                                     {station, day, code});
    if (plate.isValid()) {
        t = {true, false, code, code, QString(), plate.toString()};
        return t;
    }
    const qsizetype dash = code.lastIndexOf(u'-');
    if (dash <= 0 || dash == code.size() - 1)
        return t;
    const QString busId = code.left(dash), serial = code.mid(dash + 1);
    const QVariant rplate = db.scalar(u"SELECT COALESCE(v.license, '') FROM rolling_trips t "
                                      u"LEFT JOIN vehicles v ON v.license_id = t.license_id "
                                      u"WHERE t.station_code = ? AND t.bus_date = ? AND t.bus_id = ? "
                                      u"AND t.bus_serial_no = ?"_s,
                                      {station, day, busId, serial});
    if (rplate.isValid())
        t = {true, true, code, busId, serial, rplate.toString()};
    return t;
}

bool schemeIssued(int lamp) { return lamp == 1 || lamp == 5; }

// What the gate knows of a trip when it is confirmed: its list row (the
// lamps as every screen shows them) and whether a forced pass of the
// vehicle's condition check is recorded for it.
struct GateState {
    bool found = false;
    RecordSet row;
    int condition = 0;
    int scheme = 0;
    int out = 0;
    QDateTime exitTime;
    bool forcedCondition = false;
};

GateState gateState(Database &db, const QString &station, const QDateTime &now, const QDateTime &day,
                    const DepartingTrip &trip)
{
    GateState st;
    TripFilter f;
    f.station = station;
    f.now = now;
    f.busDate = day;
    f.busId = trip.busId;
    RecordSet rs = trip.rolling ? queryRollingTrips(db, f) : queryTrips(db, f);
    int row = 0;
    if (trip.rolling)
        for (row = 0; row < rs.RecordCount(); ++row)
            if (rs.valueAt(row, u"bus_serial_no"_s).toString() == trip.serial)
                break;
    if (row >= rs.RecordCount())
        return st;
    st.found = true;
    st.row = CloneRecordsetShape(rs);
    st.row.appendRow(rs.row(row));
    st.row.MoveFirst();
    rs = st.row;
    st.condition = rs.valueAt(0, u"StateStatus"_s).toInt();
    st.scheme = rs.valueAt(0, u"SchemeStatus"_s).toInt();
    st.out = rs.valueAt(0, u"OutStatus"_s).toInt();
    st.exitTime = rs.valueAt(0, u"exit_time"_s).toDateTime();
    st.forcedCondition = db.scalar(u"SELECT COUNT(*) FROM forced_releases WHERE station_code = ? AND bus_date = ? "
                                   u"AND pass_type = 2 AND (bus_id = ? OR bus_id = ?)"_s,
                                   {station, day, trip.code, trip.busId})
                             .toInt() > 0;
    return st;
}

// The checks that keep a trip from leaving on a card or plate: the
// vehicle's condition check when it is not passed (lamp 1 or 5), not needed
// (3) or forced through for this trip; the route sheet when it is not issued.
QStringList blockingChecks(const GateState &st)
{
    QStringList blocks;
    const bool conditionOk = st.condition == 1 || st.condition == 3 || st.condition == 5 || st.forcedCondition;
    if (!conditionOk)
        blocks << (st.condition == 2 ? u"安全例检没有通过"_s
                   : st.condition == 4 ? u"安全例检不能检验"_s : u"安全例检未检验"_s);
    if (!schemeIssued(st.scheme))
        blocks << u"路单未签发"_s;
    return blocks;
}

QString departureStateText(const GateState &st)
{
    switch (st.out) {
    case 1:
        return st.exitTime.isValid() && !IsNoDate(st.exitTime)
            ? u"已出站 %1"_s.arg(st.exitTime.toString(u"HH:mm"_s)) : u"已出站"_s;
    case 2: return u"禁止发车"_s;
    default: return u"待出站"_s;
    }
}

// Takes the trip's row lock for the rest of the transaction (a write that
// changes nothing: portable, and on PostgreSQL it waits for a concurrent
// decision on the same trip to commit, whose result it then reads).
void lockTrip(Database &db, const QString &station, const QDateTime &day, const DepartingTrip &trip)
{
    updateTrip(db, station, u"out_status = out_status"_s, {}, day, trip.busId, trip.rolling, trip.serial);
}

// The same for every trip of a vehicle on a day, before its trip at the
// gate is worked out.
void lockVehicleTrips(Database &db, const QString &station, const QDateTime &day, const QString &plate)
{
    db.lockRows(u"trips"_s, u"out_status"_s, u"station_code = ? AND bus_date = ? AND license_tag_no = ?"_s,
                {station, day, plate});
    db.lockRows(u"rolling_trips"_s, u"out_status"_s,
                u"station_code = ? AND bus_date = ? "
                u"AND license_id IN (SELECT license_id FROM vehicles WHERE license = ?)"_s,
                {station, day, plate});
}

QString lampMeaning(int code)
{
    switch (code) {
    case 0: return u"未检验"_s;
    case 1:
    case 5: return u"通过检验"_s;
    case 2: return u"没有通过"_s;
    case 3: return u"不需检验"_s;
    case 4: return u"不能检验"_s;
    default: return u"未知"_s;
    }
}

QString header() { return u"[出站检查]"_s.leftJustified(7, u' ', true); }

int minutesOf(const QString &text)
{
    bool ok = false;
    const int m = text.trimmed().toInt(&ok);
    if (!ok || m < 0)
        throw ServiceError(svcerr::BadArgument, u"提前出站时间“%1”不是有效的分钟数"_s.arg(text));
    return m;
}

} // namespace

RecordSet CheckService::QueryDepartureTrip(const QString &context, const QDateTime &busDate, const QString &,
                                           const QString &license, const QString &icCard, int beforeMinute,
                                           const QString &unitCode)
{
    if (!busDate.isValid() || IsNoDate(busDate))
        throw ServiceError(svcerr::BadArgument, u"查询出站车次缺少车次日期"_s);
    QString plate = license.trimmed();
    if (plate.isEmpty() && !icCard.trimmed().isEmpty())
        plate = plateOfCard(m_db, icCard);
    RecordSet rs = departingTrips(m_db, SessionContext::parse(context).stationCode, DayOf(busDate), plate,
                                  m_clock.now(), qMax(0, beforeMinute), unitCode);
    // Only the trip at the gate: callers read the first record.
    RecordSet first = CloneRecordsetShape(rs);
    if (rs.RecordCount() > 0)
        first.appendRow(rs.row(0));
    first.MoveFirst();
    return first;
}

QString CheckService::GetDepartureCheckText(const QString &context, const QDateTime &busDate, const QString &,
                                            const QString &license, const QString &icCard, int beforeMinute,
                                            const QString &unitCode)
{
    const QString station = SessionContext::parse(context).stationCode;
    if (!busDate.isValid() || IsNoDate(busDate))
        throw ServiceError(svcerr::BadArgument, u"出站检查缺少车次日期"_s);
    const QDateTime day = DayOf(busDate);
    QString plate = license.trimmed();
    if (plate.isEmpty() && !icCard.trimmed().isEmpty()) {
        plate = plateOfCard(m_db, icCard);
        if (plate.isEmpty())
            return header() + u"IC卡号 %1 没有登记的车辆。"_s.arg(icCard.trimmed());
    }
    const DepartingTrip trip =
        firstOf(departingTrips(m_db, station, day, plate, m_clock.now(), qMax(0, beforeMinute), unitCode));
    if (!trip.found)
        return header() + u"车辆 %1 在前后 %2 分钟内没有待出站的车次。"_s.arg(plate).arg(beforeMinute);

    const GateState st = gateState(m_db, station, m_clock.now(), day, trip);
    if (!st.found)
        return header() + u"车次 %1 已不存在。"_s.arg(trip.code);
    const RecordSet &rs = st.row;
    const auto v = [&](const char *field) { return rs.valueAt(0, QString::fromLatin1(field)); };

    QStringList drivers;
    RecordSet checkins = m_db.select(u"SELECT driver_run_name FROM driver_checkins WHERE station_code = ? "
                                     u"AND bus_date = ? AND bus_id = ? AND is_driver = 1 "
                                     u"ORDER BY driver_report_time, id"_s,
                                     {station, day, trip.code});
    for (int r = 0; r < checkins.RecordCount(); ++r)
        drivers << checkins.valueAt(r, u"driver_run_name"_s).toString();

    const QDateTime schemeTime = v("scheme_time").toDateTime();
    const bool timed = schemeTime.isValid() && !IsNoDate(schemeTime);
    QStringList lines;
    lines << u"车次：%1  发车时间：%2  终点站：%3"_s.arg(
        trip.code, trip.rolling ? u"滚动"_s : v("bus_start_time").toDateTime().toString(u"HH:mm"_s),
        v("end_station_name").toString());
    lines << u"车牌号：%1"_s.arg(plate);
    lines << u"安全例检：%1%2"_s.arg(lampMeaning(st.condition), st.forcedCondition ? u"（已强行通过）"_s : QString());
    lines << u"驾驶员报班：%1（%2）"_s.arg(drivers.isEmpty() ? u"无人报班"_s : drivers.join(u"、"_s),
                                         lampMeaning(v("driver_verify_status").toInt()));
    lines << (!schemeIssued(st.scheme) ? u"路单：未签发"_s
                                        : timed ? u"路单：已签发 %1"_s.arg(schemeTime.toString(u"HH:mm"_s))
                                                : u"路单：已签发"_s);
    lines << u"售票：%1 人  检票：%2 人"_s.arg(trip.rolling ? 0 : v("sale_num").toInt()).arg(v("check_num").toInt());
    lines << u"出站状况："_s + departureStateText(st);
    const QStringList blocks = st.out == 0 ? blockingChecks(st) : QStringList();
    if (!blocks.isEmpty())
        lines << (m_gateAllowsUnchecked ? u"注意：%1"_s : u"不能出站：%1"_s).arg(blocks.join(u"，"_s));
    return header() + lines.join(u'\n');
}

// Records allow (1) or forbid (2) for a trip. With a trip code the trip is
// the one named (a rolling trip as "code-serial"); with an empty code it is
// the vehicle's trip at the gate, given by plate or card, within
// beforeMinute of now. The decision is added to departures, the trip takes
// the new out_status (exit_time = now on allow, cleared on forbid) and
// SchemeExCheck carries the new lamp, all in one transaction under the
// trip's row lock.
//
// An allow that is not manual is the gate's confirmation of a card or plate:
// it is refused for a trip already out or forbidden, and for a trip whose
// checks block it (blockingChecks) unless the gate allows unchecked
// departures. The manual allow (允许发车) and forbid are the operator's own
// decisions and are recorded as asked.
//
// Returns, when recorded: the trip code as the lists show it for allow,
// "True" for forbid. When nothing could be recorded: a refusal starting with
// "#" followed by the reason for the operator.
QString CheckService::SetDepartureStatus(const QString &context, const QDateTime &busDate, const QString &busId,
                                         const QString &license, const QString &operatorName, const QString &now,
                                         const QVariant &, const QVariant &, int status, const QString &icCard,
                                         const QString &beforeMinute, const QString &unitCode, bool manual)
{
    const SessionContext session = SessionContext::parse(context);
    if (status != 1 && status != 2)
        throw ServiceError(svcerr::BadArgument, u"出站状态无效：%1"_s.arg(status));
    if (!busDate.isValid() || IsNoDate(busDate))
        throw ServiceError(svcerr::BadArgument, u"出站记录缺少车次日期"_s);
    QDateTime decided = now.trimmed().isEmpty() ? m_clock.now() : ParseDateTime(now);
    if (!decided.isValid())
        throw ServiceError(svcerr::BadArgument,
                           u"当前时间“%1”不是有效的日期时间（应为 yyyy-MM-dd HH:mm:ss）"_s.arg(now));
    decided = wholeSeconds(decided);
    const QDateTime day = DayOf(busDate);
    const QString code = busId.trimmed();
    const int minutes = code.isEmpty() ? minutesOf(beforeMinute) : 0;
    const bool gateConfirmation = status == 1 && !manual;

    const QString &station = session.stationCode;
    QString result;
    m_db.transact(
        [&] {
            DepartingTrip trip;
            QString plate = license.trimmed();
            if (code.isEmpty()) {
                if (plate.isEmpty() && !icCard.trimmed().isEmpty())
                    plate = plateOfCard(m_db, icCard);
                if (plate.isEmpty()) {
                    result = kRefusalMark + u"IC卡号 %1 没有登记的车辆！"_s.arg(icCard.trimmed());
                    return;
                }
                // Two gates taking the same vehicle at once: the second waits
                // here and then sees the trip as it was left.
                lockVehicleTrips(m_db, station, day, plate);
                trip = firstOf(departingTrips(m_db, station, day, plate, decided, minutes, unitCode));
                if (!trip.found) {
                    result = kRefusalMark + u"车辆 %1 在前后 %2 分钟内没有待出站的车次！"_s.arg(plate).arg(minutes);
                    return;
                }
            } else {
                trip = namedTrip(m_db, station, day, code);
                if (!trip.found) {
                    result = kRefusalMark + u"%1 没有车次 %2！"_s.arg(day.toString(u"yyyy-MM-dd"_s), code);
                    return;
                }
                if (plate.isEmpty())
                    plate = trip.plate;
            }
            lockTrip(m_db, station, day, trip);
            if (gateConfirmation) {
                const GateState st = gateState(m_db, station, decided, day, trip);
                if (st.out == 1) {
                    result = kRefusalMark + u"车次 %1 已出站（%2），不再记录。"_s.arg(trip.code, departureStateText(st));
                    return;
                }
                if (st.out == 2) {
                    result = kRefusalMark + u"车次 %1 已被禁止发车，不能出站！"_s.arg(trip.code);
                    return;
                }
                const QStringList blocks = blockingChecks(st);
                if (!blocks.isEmpty() && !m_gateAllowsUnchecked) {
                    result = kRefusalMark + u"车次 %1 不能出站：%2。请先完成检查，或由调度“允许发车”。"_s.arg(
                                                trip.code, blocks.join(u"，"_s));
                    return;
                }
            }
            const QVariant exitTime = status == 1 ? QVariant(decided) : QVariant();
            updateTrip(m_db, station, u"out_status = ?, exit_time = ?, out_operator = ?"_s, {status, exitTime, operatorName},
                       day, trip.busId, trip.rolling, trip.serial);
            m_db.insert(u"INSERT INTO departures (station_code, bus_date, bus_id, bus_serial_no, license, ic_card_id, "
                        u"status, manual, operator_name, decided_at, unit_code) "
                        u"VALUES (?, ?, ?, COALESCE(?, ''), ?, ?, ?, ?, ?, ?, ?)"_s,
                        {station, day, trip.busId, trip.serial, plate, icCard.trimmed(), status, manual, operatorName,
                         decided, unitCode});
            CheckEvents::schemeExCheck(m_db, session.stationCode, trip.code, day, status);
            result = status == 1 ? trip.code : u"True"_s;
        },
        Database::TxRetry::OnConflict);
    return result;
}

} // namespace cg
