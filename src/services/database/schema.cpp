#include "services/database/schema.h"

#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace cg::schema {

namespace {

// The lamp codes, times and operators of a trip's checks: the same columns
// for timetable and rolling trips.
QString tripCheckColumns()
{
    return uR"(
            driver_verify_status {INT} NOT NULL DEFAULT 0,
            scheme_status {INT} NOT NULL DEFAULT 0,
            scheme_time {DATETIME},
            scheme_operator {TEXT},
            out_status {INT} NOT NULL DEFAULT 0,
            exit_time {DATETIME},
            out_operator {TEXT},
            appearance_status {INT} NOT NULL DEFAULT 0,
            face_check_num {INT} NOT NULL DEFAULT 0,
            face_checker {TEXT},
            face_check_time {DATETIME},
            luggage_check_status {INT} NOT NULL DEFAULT 0)"_s;
}

// A table whose rows belong to one station: its columns (one a line, each
// line beginning with the column's name) as it was first created (version 1;
// route sheet issues version 2), its key then, and its key with the station
// in front. Versions 2 to 4 changed none of these columns; version 5 built
// each table anew with the station code first.
struct StationTable {
    QString name;
    QString columns;
    QString key;
    QString stationKey;

    QString created() const
    {
        return u"CREATE TABLE %1 (\n            %2%3\n        )"_s.arg(
            name, columns, key.isEmpty() ? QString() : u",\n            "_s + key);
    }
    // "a, b, c": the names of the columns.
    QString columnNames() const
    {
        QStringList names;
        for (const QString &line : columns.split(u'\n', Qt::SkipEmptyParts))
            names << line.trimmed().section(u' ', 0, 0);
        return names.join(u", "_s);
    }
};

const StationTable &stationTable(QStringView name)
{
    static const QList<StationTable> all = {
        {u"trips"_s,
         uR"(bus_date {DATETIME} NOT NULL,
            bus_id {TEXT} NOT NULL,
            bus_start_time {DATETIME} NOT NULL,
            unit_code {TEXT},
            route_id {TEXT},
            route_name {TEXT},
            end_station_id {TEXT},
            end_station_name {TEXT},
            check_gate_id {TEXT},
            bus_type_name {TEXT},
            license_id {TEXT},
            license_tag_no {TEXT},
            vehicle_type_code {TEXT},
            vehicle_type_name {TEXT},
            total_seat {INT} NOT NULL DEFAULT 0,
            transport_company_id {TEXT},
            transport_company_short_name {TEXT},
            sale_num {INT} NOT NULL DEFAULT 0,
            check_num {INT} NOT NULL DEFAULT 0,)"_s
             + tripCheckColumns(),
         u"PRIMARY KEY (bus_date, bus_id)"_s, u"PRIMARY KEY (station_code, bus_date, bus_id)"_s},
        {u"rolling_trips"_s,
         uR"(bus_date {DATETIME} NOT NULL,
            bus_id {TEXT} NOT NULL,
            bus_serial_no {TEXT} NOT NULL,
            bus_start_time {DATETIME},
            unit_code {TEXT},
            route_id {TEXT},
            end_station_id {TEXT},
            end_station_name {TEXT},
            check_gate_id {TEXT},
            license_id {TEXT},
            total_seat {INT} NOT NULL DEFAULT 0,
            vehicle_type_code {TEXT},
            vehicle_type_name {TEXT},
            transport_company_id {TEXT},
            check_num {INT} NOT NULL DEFAULT 0,)"_s
             + tripCheckColumns(),
         u"PRIMARY KEY (bus_date, bus_id, bus_serial_no)"_s, u"PRIMARY KEY (station_code, bus_date, bus_id, bus_serial_no)"_s},
        {u"luggage_counts"_s,
         uR"(bus_date {DATETIME} NOT NULL,
            bus_id {TEXT} NOT NULL,
            seq {INT} NOT NULL,
            station_name {TEXT} NOT NULL,
            accept_count {INT} NOT NULL DEFAULT 0,
            send_count {INT} NOT NULL DEFAULT 0)"_s,
         u"PRIMARY KEY (bus_date, bus_id, seq)"_s, u"PRIMARY KEY (station_code, bus_date, bus_id, seq)"_s},
        {u"driver_checkins"_s,
         uR"(id {ID},
            bus_date {DATETIME} NOT NULL,
            bus_id {TEXT} NOT NULL,
            driver_run_id {TEXT} NOT NULL,
            driver_run_name {TEXT} NOT NULL,
            driver_report_time {DATETIME} NOT NULL,
            route_id {TEXT},
            license {TEXT},
            operator_name {TEXT},
            is_driver {INT} NOT NULL DEFAULT 1,
            cancel_time {DATETIME},
            cancel_operator {TEXT})"_s,
         QString(), QString()},
        {u"condition_checks"_s,
         uR"(id {ID},
            license_id {TEXT},
            license {TEXT} NOT NULL,
            ic_card_id {TEXT},
            check_date {DATETIME} NOT NULL,
            cond_index {INT} NOT NULL,
            cond_status {INT} NOT NULL DEFAULT 0,
            cond_checker {TEXT},
            cond_time {DATETIME},
            check_cause {TEXT},
            started_at {DATETIME} NOT NULL,
            cancelled {BOOL} NOT NULL DEFAULT 0)"_s,
         u"UNIQUE (license, check_date, cond_index)"_s, u"CONSTRAINT condition_checks_number UNIQUE (station_code, license, check_date, cond_index)"_s},
        {u"appearance_checks"_s,
         uR"(id {ID},
            bus_date {DATETIME} NOT NULL,
            bus_id {TEXT} NOT NULL,
            license {TEXT},
            face_index {INT} NOT NULL,
            check_status {INT} NOT NULL DEFAULT 0,
            checker {TEXT},
            check_time {DATETIME},
            cancelled {BOOL} NOT NULL DEFAULT 0)"_s,
         u"UNIQUE (bus_date, bus_id, face_index)"_s, u"CONSTRAINT appearance_checks_number UNIQUE (station_code, bus_date, bus_id, face_index)"_s},
        {u"forced_releases"_s,
         uR"(id {ID},
            bus_date {DATETIME} NOT NULL,
            bus_id {TEXT} NOT NULL,
            license_id {TEXT},
            driver_id {TEXT},
            pass_type {INT} NOT NULL CHECK (pass_type BETWEEN 1 AND 3),
            operator_name {TEXT} NOT NULL,
            operate_time {DATETIME} NOT NULL,
            cause {TEXT},
            unit_code {TEXT})"_s,
         QString(), QString()},
        {u"departures"_s,
         uR"(id {ID},
            bus_date {DATETIME} NOT NULL,
            bus_id {TEXT} NOT NULL,
            bus_serial_no {TEXT} NOT NULL DEFAULT '',
            license {TEXT},
            ic_card_id {TEXT},
            status {INT} NOT NULL CHECK (status IN (1, 2)),
            manual {BOOL} NOT NULL DEFAULT 0,
            operator_name {TEXT},
            decided_at {DATETIME} NOT NULL,
            unit_code {TEXT})"_s,
         QString(), QString()},
        {u"vehicle_returns"_s,
         uR"(id {ID},
            license_id {TEXT} NOT NULL,
            license {TEXT},
            ic_card_id {TEXT},
            return_time {DATETIME} NOT NULL,
            returned {BOOL} NOT NULL DEFAULT 1,
            checker {TEXT},
            recorded_at {DATETIME} NOT NULL DEFAULT {NOW})"_s,
         QString(), QString()},
        {u"route_sheet_issues"_s,
         uR"(id {ID},
            bus_date {DATETIME} NOT NULL,
            bus_id {TEXT} NOT NULL,
            bus_serial_no {TEXT},
            license {TEXT},
            operator_name {TEXT},
            unit_code {TEXT},
            issue_time {DATETIME} NOT NULL)"_s,
         QString(), QString()},
    };
    for (const StationTable &t : all)
        if (t.name == name)
            return t;
    Q_UNREACHABLE();
}

// Version 1: the whole station schema.
QStringList version1()
{
    return {
        // ------------------------------------------------------------ station
        // Operators of the station's workstations; a session is opened for one.
        uR"(CREATE TABLE operators (
            operator_code {TEXT} PRIMARY KEY,
            operator_name {TEXT} NOT NULL,
            station_code {TEXT} NOT NULL,
            unit_code {TEXT} NOT NULL,
            unit_name {TEXT} NOT NULL DEFAULT '',
            password_hash {TEXT}
        ))"_s,
        // System parameters 1..15 by index, stored as text.
        uR"(CREATE TABLE sys_params (
            param_index {INT} PRIMARY KEY CHECK (param_index BETWEEN 1 AND 15),
            param_value {TEXT}
        ))"_s,
        // Small code tables: kind 3 licence classes, 4 driver types,
        // 5 vehicle types, 8 basic causes, 9 check causes / check items.
        uR"(CREATE TABLE code_items (
            code {ID},
            kind {INT} NOT NULL,
            name {TEXT} NOT NULL,
            remark {TEXT} NOT NULL DEFAULT '',
            UNIQUE (kind, name)
        ))"_s,
        // Transport companies (vehicle owners' companies).
        uR"(CREATE TABLE companies (
            company_code {TEXT} PRIMARY KEY,
            company_name {TEXT} NOT NULL,
            short_name {TEXT} NOT NULL DEFAULT ''
        ))"_s,

        // Owners of vehicles; each belongs to one company.
        uR"(CREATE TABLE owners (
            owner_code {TEXT} PRIMARY KEY,
            owner_name {TEXT} NOT NULL,
            company_code {TEXT} REFERENCES companies (company_code) ON DELETE SET NULL
        ))"_s,
        // Vehicle models with their two seat figures.
        uR"(CREATE TABLE vehicle_models (
            model_code {TEXT} PRIMARY KEY,
            model_name {TEXT} NOT NULL,
            first_seat_figure {INT} NOT NULL DEFAULT 0,
            second_seat_figure {INT} NOT NULL DEFAULT 0
        ))"_s,
        // Stops and destinations.
        uR"(CREATE TABLE stations (
            station_code {TEXT} PRIMARY KEY,
            station_name {TEXT} NOT NULL
        ))"_s,
        uR"(CREATE TABLE routes (
            route_id {TEXT} PRIMARY KEY,
            route_name {TEXT} NOT NULL,
            unit_code {TEXT}
        ))"_s,
        // The stops of a route in running order; the last is the destination.
        uR"(CREATE TABLE route_stations (
            route_id {TEXT} NOT NULL REFERENCES routes (route_id) ON DELETE CASCADE,
            seq {INT} NOT NULL,
            station_code {TEXT} NOT NULL REFERENCES stations (station_code),
            PRIMARY KEY (route_id, seq)
        ))"_s,
        // Ticket gates.
        uR"(CREATE TABLE check_gates (
            gate_id {TEXT} PRIMARY KEY,
            gate_name {TEXT} NOT NULL
        ))"_s,
        // Photos and fingerprint pictures; id 0 stands for "none" elsewhere.
        uR"(CREATE TABLE pictures (
            id {ID},
            file_name {TEXT} NOT NULL DEFAULT '',
            data {BLOB} NOT NULL,
            stored_at {DATETIME} NOT NULL DEFAULT {NOW}
        ))"_s,

        // ------------------------------------------------------------ drivers
        uR"(CREATE TABLE drivers (
            driver_id {TEXT} PRIMARY KEY CHECK (driver_id <> ''),
            driver_name {TEXT} NOT NULL,
            sex {TEXT},
            credit {TEXT},
            birth_date {DATETIME},
            link_phone {TEXT},
            home_phone {TEXT},
            address {TEXT},
            cert_kind {TEXT},
            service_kind {TEXT},
            job_cert_id {TEXT},
            post_cert_id {TEXT},
            company_name {TEXT},
            in_start_date {DATETIME},
            in_end_date {DATETIME},
            create_date {DATETIME},
            is_driver {INT} NOT NULL DEFAULT 0,
            memo {TEXT},
            photo_id {BIGINT} NOT NULL DEFAULT 0,
            finger_id {BIGINT} NOT NULL DEFAULT 0,
            finger_id1 {BIGINT} NOT NULL DEFAULT 0,
            fng_value {TEXT},
            fng_value1 {TEXT},
            unit_id {TEXT},
            route_id {TEXT},
            drive_type {TEXT},
            year_check_month {TEXT},
            safe_study_end_date {DATETIME},
            contract_sign_date {DATETIME},
            out_date {DATETIME}
        ))"_s,
        u"CREATE INDEX drivers_name ON drivers (driver_name)"_s,
        u"CREATE INDEX drivers_route ON drivers (route_id)"_s,

        // ----------------------------------------------------------- vehicles
        // company_name, owner and model_id hold the code[name] form the
        // pick-lists return. The return state is the vehicle's current one;
        // vehicle_returns keeps the history.
        uR"(CREATE TABLE vehicles (
            license_id {TEXT} PRIMARY KEY CHECK (license_id <> ''),
            license {TEXT} NOT NULL,
            company_name {TEXT},
            owner {TEXT},
            model_id {TEXT},
            seat_weight_num {INT} NOT NULL DEFAULT 0,
            service_kind {TEXT},
            status {INT} NOT NULL DEFAULT 0,
            ic_card_id {TEXT} NOT NULL DEFAULT '',
            driver_num {INT} NOT NULL DEFAULT 1,
            create_date {DATETIME},
            memo {TEXT},
            is_cond {INT} NOT NULL DEFAULT 1,
            return_status {INT} NOT NULL DEFAULT 0,
            return_time {DATETIME},
            return_checker {TEXT}
        ))"_s,
        // A card or a plate identifies one vehicle at the gate and at the
        // check stations; vehicles without a card keep an empty one.
        u"CREATE UNIQUE INDEX vehicles_card ON vehicles (ic_card_id) WHERE ic_card_id <> ''"_s,
        u"CREATE UNIQUE INDEX vehicles_plate ON vehicles (license) WHERE license <> ''"_s,

        // Which drivers drive which vehicle over which period.
        uR"(CREATE TABLE arrangements (
            license_id {TEXT} NOT NULL REFERENCES vehicles (license_id) ON DELETE CASCADE,
            driver_id {TEXT} NOT NULL REFERENCES drivers (driver_id) ON DELETE CASCADE,
            driver_name {TEXT},
            start_date {DATETIME} NOT NULL,
            end_date {DATETIME} NOT NULL,
            memo {TEXT},
            PRIMARY KEY (license_id, driver_id, start_date),
            CHECK (end_date >= start_date)
        ))"_s,
        u"CREATE INDEX arrangements_driver ON arrangements (driver_id)"_s,
        // A substitute driving for the arranged driver over part of the period.
        uR"(CREATE TABLE substitutions (
            id {ID},
            license_id {TEXT} NOT NULL,
            driver_id {TEXT} NOT NULL,
            arrangement_start {DATETIME} NOT NULL,
            substitute_id {TEXT} NOT NULL REFERENCES drivers (driver_id) ON DELETE CASCADE,
            start_date {DATETIME} NOT NULL,
            end_date {DATETIME} NOT NULL,
            memo {TEXT},
            FOREIGN KEY (license_id, driver_id, arrangement_start)
                REFERENCES arrangements (license_id, driver_id, start_date) ON DELETE CASCADE ON UPDATE CASCADE,
            CHECK (end_date >= start_date)
        ))"_s,
        // Drivers lent to a route for a period (listed in red at forced pass).
        uR"(CREATE TABLE temporary_drivers (
            id {ID},
            driver_id {TEXT} NOT NULL REFERENCES drivers (driver_id) ON DELETE CASCADE,
            route_id {TEXT} NOT NULL,
            start_date {DATETIME} NOT NULL,
            end_date {DATETIME} NOT NULL,
            memo {TEXT}
        ))"_s,

        // -------------------------------------------------------------- trips
        // One run of the timetable on one day (bus_date at 00:00:00). The
        // ticketing side fills the trip and its passenger counts; the check
        // stations keep the lamp codes and times of the trip's checks.
        stationTable(u"trips").created(),
        u"CREATE INDEX trips_start ON trips (bus_start_time)"_s,
        u"CREATE INDEX trips_plate ON trips (bus_date, license_tag_no)"_s,
        // Trips outside the timetable, added at the station; a trip code runs
        // several times a day under its serial numbers.
        stationTable(u"rolling_trips").created(),
        // Pieces of luggage accepted and issued per stop of a trip.
        stationTable(u"luggage_counts").created(),

        // ------------------------------------------------------------- checks
        // Driver check-ins (报班). is_driver 1 = valid, 0 = cancelled; a
        // driver holds at most one valid check-in per trip.
        stationTable(u"driver_checkins").created(),
        u"CREATE INDEX driver_checkins_trip ON driver_checkins (bus_date, bus_id)"_s,
        u"CREATE INDEX driver_checkins_time ON driver_checkins (driver_report_time)"_s,
        u"CREATE UNIQUE INDEX driver_checkins_valid ON driver_checkins (bus_date, bus_id, driver_run_id) "
        u"WHERE is_driver = 1"_s,

        // Condition (safety routine) checks of a vehicle: cond_index counts
        // the checks of the vehicle on check_date from 1.
        stationTable(u"condition_checks").created(),
        u"CREATE INDEX condition_checks_time ON condition_checks (cond_time)"_s,
        // Appearance checks of a trip's vehicle.
        stationTable(u"appearance_checks").created(),
        // Forced passes: pass_type 1 appearance, 2 condition, 3 driver.
        stationTable(u"forced_releases").created(),
        u"CREATE INDEX forced_releases_time ON forced_releases (operate_time)"_s,
        // Departure decisions at the gate: status 1 allowed, 2 forbidden.
        stationTable(u"departures").created(),
        u"CREATE INDEX departures_trip ON departures (bus_date, bus_id)"_s,
        u"CREATE INDEX departures_time ON departures (decided_at)"_s,
        // Return registrations (回场) of vehicles; returned 0 records a
        // cancelled return.
        stationTable(u"vehicle_returns").created(),
        u"CREATE INDEX vehicle_returns_time ON vehicle_returns (return_time)"_s,

        // ------------------------------------------------------ check events
        // The outbox of check events: written in the transaction of the result
        // it reports, read by every workstation past its last delivered id.
        uR"(CREATE TABLE check_events (
            id {ID},
            station_code {TEXT} NOT NULL,
            event {TEXT} NOT NULL,
            bus_id {TEXT},
            bus_date {DATETIME},
            license {TEXT},
            lamp {INT},
            check_count {INT},
            check_time {DATETIME},
            checker {TEXT},
            new_license {TEXT},
            new_company {TEXT},
            created_at {DATETIME} NOT NULL DEFAULT {NOW}
        ))"_s,
        u"CREATE INDEX check_events_created ON check_events (created_at)"_s,

        // ------------------------------------------------- default parameters
        // Check-in window 30 minutes before to 60 after now, departure window
        // 30 minutes, condition checks valid 24 hours, optional features off.
        uR"(INSERT INTO sys_params (param_index, param_value) VALUES
            (3, '30'), (4, '60'), (5, '12'), (11, '30'),
            (12, '0'), (13, '0'), (14, '0'), (15, '24'))"_s,
    };
}

// Version 2: the history of route sheet issues. The trip keeps only the
// latest issue (scheme_status, scheme_time, scheme_operator); every issue,
// repeated ones included, is kept here with its operator and unit.
QStringList version2()
{
    return {
        stationTable(u"route_sheet_issues").created(),
        u"CREATE INDEX route_sheet_issues_trip ON route_sheet_issues (bus_date, bus_id)"_s,
    };
}

// Version 3: a vehicle's condition checks by time. The trip lists ask,
// for every row, for the vehicle's latest verdict within the validity
// hours; this index answers that from the newest check backwards instead of
// reading the vehicle's whole history.
QStringList version3()
{
    return {
        u"CREATE INDEX condition_checks_plate_time ON condition_checks (license, cond_time)"_s,
    };
}

// Version 4: condition checks by check day. The statistics count a
// period's verdicts (a month of a station holds some 45,000 of the
// history's hundreds of thousands); without it every count read the whole
// table.
QStringList version4()
{
    return {
        u"CREATE INDEX condition_checks_day ON condition_checks (check_date)"_s,
    };
}

// ---------------------------------------------------------------- version 5

// The station the rows of a database written before version 5 belong to:
// the station of its operators (a database then served one station), else
// the station its check events were stamped with.
QString databaseStation()
{
    return uR"(COALESCE((SELECT MIN(station_code) FROM operators),
                        (SELECT MIN(station_code) FROM check_events), ''))"_s;
}

// Builds the table anew with the station code first and the station in its
// key, copies the old rows stamped with the database's station, and puts the
// new table in the old one's place. The indexes go with the old table; the
// caller creates the new ones after.
QStringList rebuiltWithStation(const StationTable &t)
{
    const StationTable rebuilt{t.name + u"_v5"_s, u"station_code {TEXT} NOT NULL,\n            "_s + t.columns, t.stationKey,
                               QString()};
    return {
        rebuilt.created(),
        u"INSERT INTO %1_v5 (station_code, %2) SELECT %3, %2 FROM %1"_s.arg(t.name, t.columnNames(), databaseStation()),
        u"DROP TABLE %1"_s.arg(t.name),
        u"ALTER TABLE %1_v5 RENAME TO %1"_s.arg(t.name),
    };
}

// Version 5: many stations on one database. Trips, rolling trips, luggage
// counts and every record of a check belong to one station (station_code,
// the operator's station); two stations may run the same trip code on the
// same day, and the trip's key, its records' keys and the indexes the day's
// queries use begin with the station. A vehicle's return state is kept per
// station too (vehicle_return_states), as its condition state is worked out
// per station from that station's checks. Master data stays shared.
QStringList version5()
{
    QStringList s;
    s += rebuiltWithStation(stationTable(u"trips"));
    s += {
        // By departure time alone, as before: with the station in front,
        // SQLite would walk all of a station's days in time order rather
        // than take the day from the key and sort its trips.
        u"CREATE INDEX trips_start ON trips (bus_start_time)"_s,
        u"CREATE INDEX trips_plate ON trips (station_code, bus_date, license_tag_no)"_s,
    };
    s += rebuiltWithStation(stationTable(u"rolling_trips"));
    s += rebuiltWithStation(stationTable(u"luggage_counts"));

    s += rebuiltWithStation(stationTable(u"driver_checkins"));
    s += {
        u"CREATE INDEX driver_checkins_trip ON driver_checkins (station_code, bus_date, bus_id)"_s,
        u"CREATE INDEX driver_checkins_time ON driver_checkins (station_code, driver_report_time)"_s,
        u"CREATE UNIQUE INDEX driver_checkins_valid ON driver_checkins (station_code, bus_date, bus_id, "
        u"driver_run_id) WHERE is_driver = 1"_s,
    };
    s += rebuiltWithStation(stationTable(u"condition_checks"));
    s += {
        u"CREATE INDEX condition_checks_time ON condition_checks (station_code, cond_time)"_s,
        u"CREATE INDEX condition_checks_plate_time ON condition_checks (station_code, license, cond_time)"_s,
        u"CREATE INDEX condition_checks_day ON condition_checks (station_code, check_date)"_s,
    };
    s += rebuiltWithStation(stationTable(u"appearance_checks"));
    s += rebuiltWithStation(stationTable(u"forced_releases"));
    s += {
        u"CREATE INDEX forced_releases_time ON forced_releases (station_code, operate_time)"_s,
        u"CREATE INDEX forced_releases_trip ON forced_releases (station_code, bus_date, bus_id)"_s,
    };
    s += rebuiltWithStation(stationTable(u"departures"));
    s += {
        u"CREATE INDEX departures_trip ON departures (station_code, bus_date, bus_id)"_s,
        u"CREATE INDEX departures_time ON departures (station_code, decided_at)"_s,
    };
    s += rebuiltWithStation(stationTable(u"vehicle_returns"));
    s += {
        u"CREATE INDEX vehicle_returns_time ON vehicle_returns (station_code, return_time)"_s,
        u"CREATE INDEX vehicle_returns_vehicle ON vehicle_returns (station_code, license_id)"_s,
    };
    s += rebuiltWithStation(stationTable(u"route_sheet_issues"));
    s += u"CREATE INDEX route_sheet_issues_trip ON route_sheet_issues (station_code, bus_date, bus_id)"_s;

    // A vehicle's current return state at each station; a vehicle without a
    // row has not returned there. The state kept on the vehicle until now
    // was the database's station's.
    s += {
        uR"(CREATE TABLE vehicle_return_states (
            station_code {TEXT} NOT NULL,
            license_id {TEXT} NOT NULL REFERENCES vehicles (license_id) ON DELETE CASCADE,
            return_status {INT} NOT NULL DEFAULT 0,
            return_time {DATETIME},
            return_checker {TEXT},
            PRIMARY KEY (station_code, license_id)
        ))"_s,
        uR"(INSERT INTO vehicle_return_states (station_code, license_id, return_status, return_time, return_checker)
            SELECT %1, license_id, return_status, return_time, return_checker FROM vehicles
            WHERE return_status <> 0 OR return_time IS NOT NULL OR return_checker IS NOT NULL)"_s
            .arg(databaseStation()),
        u"ALTER TABLE vehicles DROP COLUMN return_status"_s,
        u"ALTER TABLE vehicles DROP COLUMN return_time"_s,
        u"ALTER TABLE vehicles DROP COLUMN return_checker"_s,
    };
    return s;
}

} // namespace

const QList<Migration> &migrations()
{
    static const QList<Migration> all = {
        {1, u"车站安检数据库"_s, version1()},
        {2, u"路单签发记录"_s, version2()},
        {3, u"车况例检时间索引"_s, version3()},
        {4, u"车况例检日期索引"_s, version4()},
        {5, u"多站共用数据库：车次与检查记录按站点区分"_s, version5(),
         {u"driver_checkins"_s, u"condition_checks"_s, u"appearance_checks"_s, u"forced_releases"_s,
          u"departures"_s, u"vehicle_returns"_s, u"route_sheet_issues"_s}},
    };
    return all;
}

int latestVersion()
{
    return migrations().isEmpty() ? 0 : migrations().last().version;
}

QStringList tables()
{
    static const QRegularExpression create(u"^\\s*CREATE\\s+TABLE\\s+(?:IF\\s+NOT\\s+EXISTS\\s+)?(\\w+)"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression drop(u"^\\s*DROP\\s+TABLE\\s+(?:IF\\s+EXISTS\\s+)?(\\w+)"_s,
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression rename(u"^\\s*ALTER\\s+TABLE\\s+(\\w+)\\s+RENAME\\s+TO\\s+(\\w+)"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    QStringList out{QString::fromUtf16(versionTable)};
    for (const Migration &m : migrations()) {
        for (const QString &stmt : m.statements) {
            if (const auto c = create.match(stmt); c.hasMatch()) {
                if (!out.contains(c.captured(1)))
                    out.append(c.captured(1));
            } else if (const auto d = drop.match(stmt); d.hasMatch()) {
                out.removeAll(d.captured(1));
            } else if (const auto r = rename.match(stmt); r.hasMatch()) {
                const qsizetype i = out.indexOf(r.captured(1));
                if (i >= 0)
                    out[i] = r.captured(2);
            }
        }
    }
    return out;
}

namespace {
const QHash<QString, QString> &captions()
{
    static const QHash<QString, QString> all = {
        {u"operators"_s, u"操作员"_s},
        {u"sys_params"_s, u"系统参数"_s},
        {u"code_items"_s, u"代码表"_s},
        {u"companies"_s, u"参运公司"_s},
        {u"check_events"_s, u"检查通知"_s},
        {u"owners"_s, u"车主"_s},
        {u"vehicle_models"_s, u"车型"_s},
        {u"stations"_s, u"站点"_s},
        {u"routes"_s, u"线路"_s},
        {u"route_stations"_s, u"线路站点"_s},
        {u"check_gates"_s, u"检票口"_s},
        {u"pictures"_s, u"图片"_s},
        {u"drivers"_s, u"驾驶员"_s},
        {u"vehicles"_s, u"车辆"_s},
        {u"arrangements"_s, u"驾驶员车辆排班"_s},
        {u"substitutions"_s, u"顶班"_s},
        {u"temporary_drivers"_s, u"临时排班驾驶员"_s},
        {u"trips"_s, u"车次"_s},
        {u"rolling_trips"_s, u"滚动车次"_s},
        {u"luggage_counts"_s, u"行包件数"_s},
        {u"driver_checkins"_s, u"驾驶员报班"_s},
        {u"condition_checks"_s, u"车况例检"_s},
        {u"appearance_checks"_s, u"车容门检"_s},
        {u"forced_releases"_s, u"强制放行"_s},
        {u"departures"_s, u"出站"_s},
        {u"vehicle_returns"_s, u"回场报班"_s},
        {u"route_sheet_issues"_s, u"路单签发记录"_s},
        {u"vehicle_return_states"_s, u"车辆回场状态"_s},
        {u"schema_version"_s, u"数据库版本"_s},
    };
    return all;
}
} // namespace

QString tableCaption(const QString &table)
{
    return captions().value(table.toLower(), table);
}

QString tableCaptionOfConstraint(const QString &constraint)
{
    const QString name = constraint.toLower();
    QString best;
    for (auto it = captions().constBegin(); it != captions().constEnd(); ++it)
        if (name.startsWith(it.key() + u'_') && it.key().size() > best.size())
            best = it.key();
    return best.isEmpty() ? QString() : captions().value(best);
}

} // namespace cg::schema
