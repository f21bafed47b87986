#pragma once

// The check-in fixture shared by the service test and its peer process: one
// vehicle with an arranged driver D01 and his substitute D02 for the next two
// days (tests move the substitution to today where they need it), a driver
// of nobody's vehicle, and trips of today.

#include "support/fixturetime.h"
#include "support/stationseed.h"

#include <QDateTime>

namespace cg::test {

inline const QString kCheckinCtx = stationContext(QStringLiteral("wg"), QStringLiteral("440101"));

inline QDateTime checkinToday() { return QDateTime(cg::test::fixtureDay(), QTime(0, 0)); }

inline void seedCheckinStation(Database &db, int extraTrips = 0)
{
    seedStation(db, QStringLiteral("wg"), QStringLiteral("王刚"), QStringLiteral("440101"), QStringLiteral("天河客运站"));
    db.exec(QStringLiteral("INSERT INTO vehicles (license_id, license, ic_card_id, is_cond) VALUES "
                           "('V1', '粤A10001', '0000000001', 1), ('V2', '粤A10002', '0000000002', 0)"));
    db.exec(QStringLiteral("INSERT INTO drivers (driver_id, driver_name, route_id) VALUES "
                           "('D01', '张三', 'R01'), ('D02', '李四', 'R01'), ('D03', '王五', 'R09')"));
    const QDateTime today = checkinToday();
    db.exec(QStringLiteral("INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) "
                           "VALUES ('V1', 'D01', '张三', ?, ?)"),
            {today.addDays(-5), today.addDays(5)});
    db.exec(QStringLiteral("INSERT INTO substitutions (license_id, driver_id, arrangement_start, substitute_id, "
                           "start_date, end_date) VALUES ('V1', 'D01', ?, 'D02', ?, ?)"),
            {today.addDays(-5), today.addDays(1), today.addDays(2)});
    const auto trip = [&](const QString &id, int hour, const QString &vid, const QString &plate, int lamp) {
        db.exec(QStringLiteral("INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, "
                               "license_id, license_tag_no, driver_verify_status) VALUES ('440100001', ?, ?, ?, '440101', "
                               "'R01', ?, ?, ?)"),
                {today, id, today.addSecs(hour * 3600), vid, plate, lamp});
    };
    trip(QStringLiteral("K001"), 9, QStringLiteral("V1"), QStringLiteral("粤A10001"), 0);
    trip(QStringLiteral("K002"), 10, QStringLiteral("V1"), QStringLiteral("粤A10001"), 3);
    for (int i = 0; i < extraTrips; ++i)
        trip(QStringLiteral("R%1").arg(i, 3, 10, QChar(u'0')), 11, QStringLiteral("V1"), QStringLiteral("粤A10001"),
             0);
}

} // namespace cg::test
