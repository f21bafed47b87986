#include "services/checks/checkservice.h"

#include "services/checks/checknotifier.h"
#include "core/dates.h"
#include "services/station/coreservices.h"
#include "services/database/database.h"
#include "services/checks/vehiclestate.h"

using namespace Qt::StringLiterals;

namespace cg {

namespace {

// Takes the trip's row lock for the rest of the transaction. Every
// appearance write takes it first, so the state written to the trip row is
// worked out after any other station's write of the same trip, and two undos
// at once undo two checks, as they would one after the other.
void lockTrip(Database &db, const QString &station, const QDateTime &day, const QString &busId)
{
    db.lockRows(u"trips"_s, u"appearance_status"_s, u"station_code = ? AND bus_date = ? AND bus_id = ?"_s,
                {station, day, busId});
}

// Takes the trip's row lock, then refuses a trip that does not exist.
void lockExistingTrip(Database &db, const QString &station, const QDateTime &day, const QString &busId)
{
    lockTrip(db, station, day, busId);
    const QVariant n = db.scalar(u"SELECT COUNT(*) FROM trips WHERE station_code = ? AND bus_date = ? AND bus_id = ?"_s, {station, day, busId});
    if (n.toInt() == 0)
        throw ServiceError(svcerr::NotFound,
                           u"车次不存在：%1 %2"_s.arg(busId, day.toString(u"yyyy-MM-dd"_s)));
}

// The trip's appearance state follows its latest check that is not undone;
// the count is the number of such checks. The trip row keeps the state the
// trip lists show, and every workstation hears of it through FaceCheck.
void refreshTrip(Database &db, const QString &context, const QDateTime &day, const QString &busId)
{
    const QString station = SessionContext::parse(context).stationCode;
    const RecordSet last = db.select(
        u"SELECT check_status, checker, check_time FROM appearance_checks WHERE station_code = ? AND bus_date = ? AND bus_id = ? "
        u"AND cancelled = 0 ORDER BY face_index DESC LIMIT 1"_s,
        {station, day, busId},
        {{u"check_status"_s, FieldType::Integer, 0}, {u"checker"_s, FieldType::Text, 20},
         {u"check_time"_s, FieldType::DateTime, 0}});
    const int count = db.scalar(u"SELECT COUNT(*) FROM appearance_checks WHERE station_code = ? AND bus_date = ? AND bus_id = ? "
                                u"AND cancelled = 0"_s,
                                {station, day, busId})
                          .toInt();
    int status = 0;
    QString checker;
    QDateTime time;
    if (last.RecordCount()) {
        status = last.valueAt(0, u"check_status"_s).toInt();
        checker = last.valueAt(0, u"checker"_s).toString();
        time = last.valueAt(0, u"check_time"_s).toDateTime();
    }
    db.exec(u"UPDATE trips SET appearance_status = ?, face_check_num = ?, face_checker = ?, face_check_time = ? "
            u"WHERE station_code = ? AND bus_date = ? AND bus_id = ?"_s,
            {status, count, last.RecordCount() ? QVariant(checker) : QVariant(),
             time.isValid() ? QVariant(time) : QVariant(), station, day, busId});
    CheckEvents::faceCheck(db, station, busId, day, status, count,
                           time.isValid() ? time : NoDate(), checker);
}

// Every verdict is a check of its own with the trip's next number, so the
// count grows with each verdict whichever operation wrote it.
void appendCheck(Database &db, const QString &station, const QDateTime &day, const QString &id,
                 const QString &license, int status, const QString &checker, const QDateTime &now)
{
    const int index = db.scalar(u"SELECT COALESCE(MAX(face_index), 0) + 1 FROM appearance_checks "
                                u"WHERE station_code = ? AND bus_date = ? AND bus_id = ?"_s,
                                {station, day, id})
                          .toInt();
    db.exec(u"INSERT INTO appearance_checks (station_code, bus_date, bus_id, license, face_index, check_status, "
            u"checker, check_time, cancelled) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0)"_s,
            {station, day, id, license.trimmed(), index, status, checker, now});
}

void insertAppearanceCheck(Database &db, const QString &context, const QDateTime &busDate, const QString &busId,
                           const QString &license, const QDateTime &now, int status, const QString &checker)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QDateTime day = DayOf(busDate);
    const QString id = busId.trimmed();
    transactWithIndexRetry(db, [&] {
        lockExistingTrip(db, station, day, id);
        appendCheck(db, station, day, id, license, status, checker, now);
        refreshTrip(db, context, day, id);
    });
}

} // namespace

void CheckService::AddAppearanceCheckResult(const QString &context, const QDateTime &busDate, const QString &busId,
                                            const QString &license, const QDateTime &now, bool passed,
                                            const QString &checker)
{
    insertAppearanceCheck(m_db, context, busDate, busId, license, now, passed ? 1 : 2, checker);
}

void CheckService::UpdateAppearanceCheckResult(const QString &context, const QDateTime &busDate,
                                               const QString &busId, const QString &license, const QDateTime &now,
                                               bool passed, const QString &checker)
{
    insertAppearanceCheck(m_db, context, busDate, busId, license, now, passed ? 1 : 2, checker);
}

QString CheckService::CancelAppearanceCheck(const QString &context, const QDateTime &busDate, const QString &busId,
                                            const QString &)
{
    const QString station = SessionContext::parse(context).stationCode;
    const QDateTime day = DayOf(busDate);
    const QString id = busId.trimmed();
    QString message;
    m_db.transact([&] {
        message.clear();
        lockTrip(m_db, station, day, id);
        if (!undoNewestCheck(m_db, u"appearance_checks"_s, u"face_index"_s,
                             u"station_code = ? AND bus_date = ? AND bus_id = ?"_s, {station, day, id})) {
            message = u"该车次没有可撤消的车容检查！"_s;
            return;
        }
        refreshTrip(m_db, context, day, id);
    }, Database::TxRetry::OnConflict);
    return message;
}

QString CheckService::ForcePassAppearanceCheck(const QString &context, const QDateTime &busDate,
                                               const QString &busId, const QString &license, const QDateTime &now,
                                               int kind, const QString &operatorName, const QString &cause,
                                               const QString &unitCode)
{
    requireForcedPass(u"车容门检"_s, kind, 1, operatorName);
    const QString station = SessionContext::parse(context).stationCode;
    const QDateTime day = DayOf(busDate);
    const QString id = busId.trimmed();
    transactWithIndexRetry(m_db, [&] {
        lockExistingTrip(m_db, station, day, id);
        const QString licenseId = m_db.scalar(u"SELECT license_id FROM vehicles WHERE license = ?"_s,
                                              {license.trimmed()})
                                      .toString();
        m_db.exec(u"INSERT INTO forced_releases (station_code, bus_date, bus_id, license_id, pass_type, "
                  u"operator_name, operate_time, cause, unit_code) VALUES (?, ?, ?, ?, 1, ?, ?, ?, ?)"_s,
                  {station, day, id, licenseId.isEmpty() ? QVariant() : QVariant(licenseId), operatorName, now, cause,
                   unitCode});
        appendCheck(m_db, station, day, id, license, 5, operatorName, now);
        refreshTrip(m_db, context, day, id);
    });
    return {};
}

RecordSet CheckService::QueryTripAppearanceChecks(const QString &context, const QDateTime &busDate,
                                                  const QString &busId)
{
    const QString station = SessionContext::parse(context).stationCode;
    RecordSet rs = m_db.select(
        u"SELECT check_status, face_index, checker, check_time, license FROM appearance_checks "
        u"WHERE station_code = ? AND bus_date = ? AND bus_id = ? AND cancelled = 0 ORDER BY face_index"_s,
        {station, DayOf(busDate), busId.trimmed()},
        {{u"check_status"_s, FieldType::Integer, 0}, {u"face_index"_s, FieldType::Integer, 0},
         {u"checker"_s, FieldType::Text, 20}, {u"check_time"_s, FieldType::DateTime, 0},
         {u"license"_s, FieldType::Text, 10}});
    for (int r = 0; r < rs.RecordCount(); ++r)
        if (!rs.valueAt(r, u"check_time"_s).isValid())
            rs.setValueAt(r, u"check_time"_s, NoDate());
    rs.MoveFirst();
    return rs;
}

RecordSet CheckService::QueryLuggageCounts(const QString &context, const QDateTime &busDate, const QString &busId)
{
    const QString station = SessionContext::parse(context).stationCode;
    return m_db.select(u"SELECT station_name, accept_count, send_count FROM luggage_counts "
                       u"WHERE station_code = ? AND bus_date = ? AND bus_id = ? ORDER BY seq"_s,
                       {station, DayOf(busDate), busId.trimmed()},
                       {{u"station_name"_s, FieldType::Text, 50}, {u"accept_count"_s, FieldType::Integer, 0},
                        {u"send_count"_s, FieldType::Integer, 0}});
}

} // namespace cg
