#include "core/clock.h"
#include "services/checks/checkservice.h"

#include "core/dates.h"
#include "services/checks/checknotifier.h"
#include "services/checks/vehiclestate.h"
#include "services/database/database.h"
#include "services/station/coreservices.h"

using namespace Qt::StringLiterals;

// Vehicle returns (回场报班). A vehicle's current return state at a station
// lives in vehicle_return_states (no row: not returned there); every
// registration and every cancellation is also kept as a vehicle_returns row
// of the station, so the history is never overwritten. A station sees and
// changes only its own returns.

namespace cg {

namespace {

// Times are kept to the second: what is stored is what the event carries.
QDateTime toSecond(const QDateTime &t)
{
    return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute(), t.time().second()));
}

struct ReturnVehicle {
    bool found = false;
    QString licenseId;
    QString license;
    QString icCard;
    int status = 0;
    QDateTime returnTime;
    QString checker;
};

// The vehicle matched by column = value with its return state at station,
// its row locked for the rest of the transaction: the no-op update takes the
// row lock on PostgreSQL (SQLite transactions are serialised as a whole), so
// two workstations returning or cancelling the same vehicle decide one
// after the other.
ReturnVehicle lockVehicle(Database &db, const QString &station, const QString &column, const QString &value)
{
    db.lockRows(u"vehicles"_s, u"status"_s, column + u" = ?"_s, {value});
    const RecordSet rs = db.select(
        u"SELECT v.license_id, v.license, v.ic_card_id, COALESCE(s.return_status, 0) AS return_status, "
        u"s.return_time, s.return_checker FROM vehicles v "
        u"LEFT JOIN vehicle_return_states s ON s.station_code = ? AND s.license_id = v.license_id "
        u"WHERE v.%1 = ?"_s.arg(column),
        {station, value},
        {{u"return_status"_s, FieldType::Integer, 0}, {u"return_time"_s, FieldType::DateTime, 0}});
    ReturnVehicle v;
    if (rs.RecordCount() != 1)
        return v;
    v.found = true;
    v.licenseId = rs.valueAt(0, u"license_id"_s).toString();
    v.license = rs.valueAt(0, u"license"_s).toString();
    v.icCard = rs.valueAt(0, u"ic_card_id"_s).toString();
    v.status = rs.valueAt(0, u"return_status"_s).toInt();
    v.returnTime = rs.valueAt(0, u"return_time"_s).toDateTime();
    v.checker = rs.valueAt(0, u"return_checker"_s).toString();
    return v;
}

// The vehicle's return state at station.
void storeState(Database &db, const QString &station, const QString &licenseId, int status, const QDateTime &when,
                const QString &checker)
{
    db.exec(u"INSERT INTO vehicle_return_states (station_code, license_id, return_status, return_time, "
            u"return_checker) VALUES (?, ?, ?, ?, ?) ON CONFLICT (station_code, license_id) DO UPDATE SET "
            u"return_status = excluded.return_status, return_time = excluded.return_time, "
            u"return_checker = excluded.return_checker"_s,
            {station, licenseId, status, when.isValid() ? QVariant(when) : QVariant(),
             checker.isNull() ? QVariant() : QVariant(checker)});
}

// Records the vehicle returned at 'when' by checker, and its event.
void recordReturn(Database &db, const QString &station, const ReturnVehicle &v, const QDateTime &when,
                  const QString &checker)
{
    storeState(db, station, v.licenseId, 1, when, checker);
    db.insert(u"INSERT INTO vehicle_returns (station_code, license_id, license, ic_card_id, return_time, returned, "
              u"checker) VALUES (?, ?, ?, ?, ?, 1, ?)"_s,
              {station, v.licenseId, v.license, v.icCard, when, checker});
    CheckEvents::returnCheck(db, station, v.license, DayOf(when), 1, when, checker);
}

QDateTime requireTime(const QDateTime &t)
{
    if (!t.isValid() || IsNoDate(t))
        throw ServiceError(svcerr::BadArgument, u"回场时间无效，不能登记回场"_s);
    return toSecond(t);
}

} // namespace

ReturnRegistration CheckService::RegisterReturnByCard(const QString &context, const QDateTime &returnTime,
                                                      const QString &checker, const QString &icCard)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QString card = icCard.trimmed();
    if (card.isEmpty())
        throw ServiceError(svcerr::BadArgument, u"IC卡号为空，不能登记回场"_s);
    const QDateTime when = requireTime(returnTime);
    ReturnRegistration result;
    m_db.transact(
        [&] {
            const ReturnVehicle v = lockVehicle(m_db, station, u"ic_card_id"_s, card);
            if (!v.found)
                throw ServiceError(svcerr::NotFound, u"IC卡号 %1 没有登记的车辆，回场报班未登记！"_s.arg(card));
            // A vehicle already returned is returned again: the new return
            // is the one in force, the earlier one stays in the history.
            recordReturn(m_db, station, v, when, checker.trimmed());
            result = {v.license, v.licenseId};
        },
        Database::TxRetry::OnConflict);
    return result;
}

void CheckService::SetReturnStatus(const QString &context, const QString &licenseId, const QDateTime &returnTime,
                                   bool returned, const QString &checker, const QString &license)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QString code = licenseId.trimmed();
    if (code.isEmpty())
        throw ServiceError(svcerr::BadArgument, u"车辆代码为空，不能登记回场"_s);
    const QDateTime when = returned ? requireTime(returnTime) : QDateTime();
    const QString seenPlate = license.trimmed();
    m_db.transact(
        [&] {
            const ReturnVehicle v = lockVehicle(m_db, station, u"license_id"_s, code);
            if (!v.found)
                throw ServiceError(svcerr::NotFound, u"车辆代码 %1 不存在，请重新查询"_s.arg(code));
            if (!seenPlate.isEmpty() && seenPlate != v.license)
                throw ServiceError(svcerr::BadArgument,
                                   u"车辆代码 %1 的车牌号已改为［%2］，请重新查询"_s.arg(code, v.license));
            // The operator decided on the state the list showed; when another
            // station has changed it since, nothing is overwritten.
            if (returned && v.status == 1)
                throw ServiceError(svcerr::BadArgument,
                                   u"车牌号为［%1］的车辆已于 %2 由 %3 登记回场"_s.arg(
                                       v.license, v.returnTime.toString(u"yyyy-MM-dd HH:mm"_s), v.checker));
            if (!returned && v.status != 1)
                throw ServiceError(svcerr::BadArgument,
                                   u"车牌号为［%1］的车辆未登记回场，无需取消"_s.arg(v.license));
            if (returned) {
                recordReturn(m_db, station, v, when, checker.trimmed());
                return;
            }
            const QDateTime now = toSecond(m_clock.now());
            storeState(m_db, station, v.licenseId, 0, QDateTime(), QString());
            m_db.insert(u"INSERT INTO vehicle_returns (station_code, license_id, license, ic_card_id, return_time, "
                        u"returned, checker) VALUES (?, ?, ?, ?, ?, 0, ?)"_s,
                        {station, v.licenseId, v.license, v.icCard, now,
                         checker.trimmed().isEmpty() ? QVariant() : QVariant(checker.trimmed())});
            CheckEvents::returnCheck(m_db, station, v.license, DayOf(now), 0, NoDate(), QString());
        },
        Database::TxRetry::OnConflict);
}

RecordSet CheckService::QueryRecentReturns(const QString &context, const QDateTime &)
{
    // In force: the vehicle's latest registration at this station, when it
    // is a return and the vehicle still counts as returned here.
    const QString station = SessionContext::parse(context).stationCode;
    return m_db.select(
        uR"(SELECT r.return_time, r.license_id, r.license, r.ic_card_id FROM vehicle_returns r
JOIN vehicle_return_states s ON s.station_code = r.station_code AND s.license_id = r.license_id
WHERE r.station_code = ? AND r.returned = 1 AND s.return_status = 1
  AND r.id = (SELECT MAX(r2.id) FROM vehicle_returns r2
              WHERE r2.station_code = r.station_code AND r2.license_id = r.license_id)
ORDER BY r.return_time DESC, r.id DESC)"_s,
        {station},
        {{u"return_time"_s, FieldType::DateTime, 0}, {u"license_id"_s, FieldType::Text, 5},
         {u"license"_s, FieldType::Text, 10}, {u"ic_card_id"_s, FieldType::Text, 10}});
}

} // namespace cg
