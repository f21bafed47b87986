#pragma once

#include "core/recordset.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace cg {

class Clock;
class Database;

// A return registered by card: the vehicle the card belongs to.
struct ReturnRegistration {
    QString license;   // plate
    QString licenseId; // vehicle code
};

// Trips, check-ins, checks, statuses and releases. Every operation takes the
// session context string first; filters are fragments compiled by the
// service (fragment.h), never pasted. Each write is one transaction together
// with the check event it sends. The operations are implemented in the
// checkservice_*.cpp files, one file per station area.
class CheckService {
public:
    // "now" for the trip windows and condition validity comes from clock.
    CheckService(Database &db, const Clock &clock) : m_db(db), m_clock(clock) {}
    Database &database() const { return m_db; }
    const Clock &clock() const { return m_clock; }

    // ---- trips (checkservice_trips.cpp) --------------------------------
    // Timetable trips of one day with every lamp. Empty filters and empty
    // from/to texts do not restrict; from/to are date-time texts
    // "yyyy-MM-dd HH:mm:ss" compared with bus_start_time. Fields: bus_id,
    // bus_date, bus_start_time, route_id, route_name, end_station_id,
    // end_station_name, check_gate_id, license_id, license_tag_no,
    // ic_card_id, vehicle_type_name, total_seat, transport_company_id,
    // transport_company_short_name, sale_num, check_num, service_kind,
    // bus_type_name, StateStatus, driver_verify_status, SchemeStatus,
    // scheme_time, OutStatus, exit_time, ReturnStatus, return_time,
    // AppearanceStatus, face_check_num, face_check_time, face_checker,
    // luggage_check_status. Ordered by bus_start_time, bus_id.
    RecordSet QueryDayTrips(const QString &context, const QDateTime &busDate, const QString &busId,
                            const QString &license, const QString &fromTime, const QString &toTime,
                            const QVariant &reserved, int flag, const QString &unitCode);
    // Rolling trips of one day: the same fields plus bus_serial_no.
    RecordSet QueryRollingTrips(const QString &context, const QDateTime &busDate, const QString &busId,
                                const QString &license, const QVariant &r1, const QVariant &r2,
                                const QVariant &r3, int flag);
    // A driver's trips (arranged or substituted onto the trip's vehicle)
    // departing between from and to on busDate; same fields.
    RecordSet QueryDriverTrips(const QString &context, const QString &driverNo, const QString &unitCode,
                               const QDateTime &busDate, const QDateTime &from, const QDateTime &to);
    // One vehicle's trips (by plate) departing between the from/to texts.
    RecordSet QueryVehicleTrips(const QString &context, const QDateTime &busDate, const QString &busId,
                                const QString &license, const QString &fromTime, const QString &toTime,
                                const QVariant &reserved, int flag, const QString &unitCode, int reserved2);

    // ---- driver check-in (checkservice_checkin.cpp) --------------------
    // Records a check-in; "" when recorded, else the refusal for the driver
    // ("指纹已通过，请勿重试！" when already checked in). Sends DriverCheck.
    QString CheckInDriver(const QString &context, const QString &busId, const QDateTime &busDate,
                          const QString &driverNo, const QDateTime &now, const QString &operatorName,
                          const QString &routeId);
    // Check-in records of a trip (busDate/busId), or of a date range
    // (from/to, when busDate is the no-date value). Fields: bus_date, bus_id,
    // driver_run_id, driver_run_name, driver_report_time, is_driver.
    RecordSet QueryTripDriverRecords(const QString &context, const QDateTime &busDate, const QString &busId,
                                     const QDateTime &from, const QDateTime &to);
    // Cancels a driver's valid check-in for a trip, recomputes the trip's
    // driver lamp and sends DriverCheck; "" when done, else a refusal.
    QString CancelDriverCheckIn(const QString &context, const QString &busId, const QDateTime &busDate,
                                const QString &driverNo, const QString &routeId, const QString &license);
    // Drivers arranged or substituted onto the vehicles of the route's trips
    // today, and drivers lent to the route today (temporary_drivers).
    // Fields: driver_no, driver_name, contract_sign_date, out_date, route_id.
    RecordSet QueryTemporaryDrivers(const QString &context, const QString &reserved, const QString &routeId,
                                    const QString &reserved2);
    // Forced pass of a check (kind 3 driver); "" on success, else a refusal.
    QString ForceDriverPass(const QString &context, const QString &busId, const QDateTime &busDate,
                            const QString &driverNo, const QDateTime &now, const QString &operatorName,
                            const QString &license, const QString &cause, int kind);

    // ---- departure gate (checkservice_departure.cpp) -------------------
    // When set, a card or plate confirmation at the gate departs a trip whose
    // condition check or route sheet blocks it (the station's
    // "[gate] allow_unchecked"); the check text still names the blocks.
    void setGateAllowsUnchecked(bool allow) { m_gateAllowsUnchecked = allow; }
    QString GetDepartureCheckText(const QString &context, const QDateTime &busDate, const QString &busId,
                                  const QString &license, const QString &icCard, int beforeMinute,
                                  const QString &unitCode);
    RecordSet QueryDepartureTrip(const QString &context, const QDateTime &busDate, const QString &busId,
                                 const QString &license, const QString &icCard, int beforeMinute,
                                 const QString &unitCode);
    QString SetDepartureStatus(const QString &context, const QDateTime &busDate, const QString &busId,
                               const QString &license, const QString &operatorName, const QString &now,
                               const QVariant &r1, const QVariant &r2, int status, const QString &icCard,
                               const QString &beforeMinute, const QString &unitCode, bool manual);

    // ---- dispatch centre (checkservice_dispatch.cpp) -------------------
    bool IssueRouteSheet(const QString &context, const QDateTime &busDate, const QString &busId,
                         const QString &license, const QDateTime &now, int kind, const QVariant &operatorName,
                         const QString &unitCode);

    // ---- condition checks (checkservice_condition.cpp) -----------------
    RecordSet QueryConditionCheckVehicles(const QString &context, const QDateTime &today, const QString &reserved,
                                          const QString &where, const QString &orderBy, const QString &extra,
                                          bool checkedToday);
    QString StartConditionCheck(const QString &context, const QDateTime &now, const QString &icCard,
                                const QString &license);
    QString AddConditionCheckResult(const QString &context, const QString &license, const QDateTime &now,
                                    bool passed, const QString &checker, const QString &remark);
    QString UpdateConditionCheckResult(const QString &context, const QString &license, const QDateTime &now,
                                       bool passed, const QString &checker, const QString &remark);
    QString CancelConditionCheck(const QString &context, const QDateTime &today, const QString &license,
                                 const QDateTime &checkDay);
    RecordSet QueryConditionCheckRecords(const QString &context, const QDateTime &date, const QString &license,
                                         int count);
    RecordSet QueryTripConditionChecks(const QString &context, const QDateTime &busDate, const QString &busId,
                                       const QString &license);
    QString ForcePassConditionCheck(const QString &context, const QDateTime &busDate, int reserved,
                                    const QString &busId, const QString &license, const QDateTime &now, int kind,
                                    const QString &operatorName, const QString &cause, const QString &unitCode);

    // ---- appearance checks and luggage (checkservice_appearance.cpp) ---
    void AddAppearanceCheckResult(const QString &context, const QDateTime &busDate, const QString &busId,
                                  const QString &license, const QDateTime &now, bool passed,
                                  const QString &checker);
    void UpdateAppearanceCheckResult(const QString &context, const QDateTime &busDate, const QString &busId,
                                     const QString &license, const QDateTime &now, bool passed,
                                     const QString &checker);
    QString CancelAppearanceCheck(const QString &context, const QDateTime &busDate, const QString &busId,
                                  const QString &license);
    QString ForcePassAppearanceCheck(const QString &context, const QDateTime &busDate, const QString &busId,
                                     const QString &license, const QDateTime &now, int kind,
                                     const QString &operatorName, const QString &cause, const QString &unitCode);
    // A trip's appearance check records: check_status, face_index, checker, check_time.
    RecordSet QueryTripAppearanceChecks(const QString &context, const QDateTime &busDate, const QString &busId);
    // Luggage per stop: station_name, accept_count, send_count.
    RecordSet QueryLuggageCounts(const QString &context, const QDateTime &busDate, const QString &busId);

    // ---- vehicle returns (checkservice_return.cpp) ---------------------
    // Registers the return of the vehicle whose IC card this is, with the
    // time and checker, and sends ReturnCheck. A card of no vehicle is a
    // ServiceError (NotFound) that says so and writes nothing.
    ReturnRegistration RegisterReturnByCard(const QString &context, const QDateTime &returnTime,
                                            const QString &checker, const QString &icCard);
    // Sets the vehicle (by code) returned at returnTime by checker, or not
    // returned (the cancellation), and sends ReturnCheck. license is the
    // plate the operator saw: a vehicle whose plate has changed since, or
    // that is already in the asked state, is refused with a ServiceError.
    void SetReturnStatus(const QString &context, const QString &licenseId, const QDateTime &returnTime,
                         bool returned, const QString &checker, const QString &license);
    // The returns still in force, newest first: return_time, license_id,
    // license, ic_card_id.
    RecordSet QueryRecentReturns(const QString &context, const QDateTime &today);

private:
    Database &m_db;
    const Clock &m_clock;
    bool m_gateAllowsUnchecked = false;
};

} // namespace cg
