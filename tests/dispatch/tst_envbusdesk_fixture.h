#pragma once

// The dispatch fixture shared by the screen test and its peer process: two
// vehicles, three timetable trips of today (one with its route sheet
// issued), two rolling runs of one code, and check-ins of the first trip.

#include "support/fixturetime.h"
#include "support/stationseed.h"

#include <QDateTime>

namespace cg::test {

inline const QString kDeskCtx = stationContext(QStringLiteral("wg"), QStringLiteral("440101"));

inline QDateTime deskToday() { return QDateTime(cg::test::fixtureDay(), QTime(0, 0)); }

inline void seedDispatchStation(Database &db)
{
    seedStation(db, QStringLiteral("wg"), QStringLiteral("王刚"), QStringLiteral("440101"), QStringLiteral("天河客运站"));
    db.exec(QStringLiteral("INSERT INTO vehicles (license_id, license, ic_card_id, is_cond) VALUES "
                           "('V1', '粤A20001', '0000000001', 1), ('V2', '粤A20002', '0000000002', 1)"));
    const QDateTime today = deskToday();
    const auto trip = [&](const QString &id, int hour, const QString &vid, const QString &plate, int scheme) {
        db.exec(QStringLiteral(
                    "INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, end_station_name, "
                    "bus_type_name, license_id, license_tag_no, total_seat, transport_company_short_name, sale_num, "
                    "check_num, scheme_status, scheme_time) VALUES ('440100001', ?, ?, ?, '440101', 'R01', '深圳', '直达', ?, ?, "
                    "45, '广运', 30, 28, ?, ?)"),
                {today, id, today.addSecs(hour * 3600), vid, plate, scheme,
                 scheme == 1 ? QVariant(today.addSecs(hour * 3600 - 1800)) : QVariant()});
    };
    trip(QStringLiteral("K101"), 8, QStringLiteral("V1"), QStringLiteral("粤A20001"), 0);
    trip(QStringLiteral("K102"), 9, QStringLiteral("V2"), QStringLiteral("粤A20002"), 1);
    trip(QStringLiteral("K103"), 10, QStringLiteral("V1"), QStringLiteral("粤A20001"), 0);
    for (const char *serial : {"1", "2"})
        db.exec(QStringLiteral("INSERT INTO rolling_trips (station_code, bus_date, bus_id, bus_serial_no, unit_code, end_station_name, "
                               "license_id, total_seat) VALUES ('440100001', ?, 'G01', ?, '440101', '东莞', 'V2', 33)"),
                {today, QString::fromLatin1(serial)});
    // A cancelled check-in before the valid one: the sheet names the valid one.
    db.exec(QStringLiteral("INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, "
                           "driver_report_time, is_driver) VALUES ('440100001', ?, 'K101', 'D09', '赵六', ?, 0), "
                           "('440100001', ?, 'K101', 'D01', '张三', ?, 1)"),
            {today, today.addSecs(7 * 3600), today, today.addSecs(7 * 3600 + 60)});
}

} // namespace cg::test
