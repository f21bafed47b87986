#pragma once

// The check-in station (tst_checkinservice_fixture.h) plus what the driver
// check lists need: drivers with units, types and contract dates, a mobile
// driver, a route without regular drivers, drivers lent to routes, a
// rolling trip run twice and the basic causes.

#include "tst_checkinservice_fixture.h"

namespace cg::test {

inline void seedDriverListStation(Database &db)
{
    seedCheckinStation(db);
    const QDateTime today = checkinToday();
    // D02 drives V1 today too (arranged for the day), beside D01.
    db.exec(QStringLiteral("INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) "
                           "VALUES ('V1', 'D02', '李四', ?, ?)"),
            {today, today});
    db.exec(QStringLiteral("UPDATE drivers SET unit_id = '440101', drive_type = '正常', contract_sign_date = ?, "
                           "out_date = ?"),
            {QDateTime(QDate(2020, 3, 1), QTime(0, 0)), QDateTime(QDate(2028, 2, 29), QTime(0, 0))});
    db.exec(QStringLiteral("INSERT INTO drivers (driver_id, driver_name, route_id, unit_id, drive_type) VALUES "
                           "('D04', '赵六', '', '440101', '机动'), ('D05', '钱七', 'R09', '440101', '正常'), "
                           "('D06', '孙八', 'R09', '440101', '正常')"));
    // D05 is lent to R05 today, D06's loan to R05 ended yesterday, D03 is
    // lent to R01 today.
    db.exec(QStringLiteral("INSERT INTO temporary_drivers (driver_id, route_id, start_date, end_date) VALUES "
                           "('D05', 'R05', ?, ?), ('D06', 'R05', ?, ?), ('D03', 'R01', ?, ?)"),
            {today.addDays(-1), today.addDays(1), today.addDays(-9), today.addDays(-1), today, today});
    db.exec(QStringLiteral("INSERT INTO rolling_trips (station_code, bus_date, bus_id, bus_serial_no, bus_start_time, unit_code, "
                           "route_id, end_station_name, license_id) VALUES "
                           "('440100001', ?, 'RL1', '1', ?, '440101', 'R01', '深圳', 'V1'), "
                           "('440100001', ?, 'RL1', '2', ?, '440101', 'R01', '深圳', 'V1'), "
                           "('440100001', ?, 'RL2', '1', ?, '440101', 'R01', '珠海', 'V2')"),
            {today, today.addSecs(13 * 3600), today, today.addSecs(15 * 3600), today, today.addSecs(16 * 3600)});
    db.exec(QStringLiteral("INSERT INTO code_items (kind, name, remark) VALUES (8, '指纹仪故障', ''), "
                           "(8, '手指受伤', ''), (3, 'A1', '')"));
}

} // namespace cg::test
