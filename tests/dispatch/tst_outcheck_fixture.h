#pragma once
// The gate's day: trips placed around one moment, gateNow() unless a test
// seeds another (seedGateAt, for the hours around midnight).
//
//   V1 粤A10001 card 0000000001   K001 now+10 min (ticket check green),
//                                 K004 now-20 min, already allowed out
//   V2 粤A10002 card 0000000002   K002 now+5 min, no driver check needed (3)
//   V3 粤B20003 no card           K003 now+3 h (outside the window),
//                                 rolling R01-1 and R01-2, stored as the
//                                 scheduling screen stores them: at midnight
// Every vehicle passed its condition check an hour before now.
// Operator op1 of station 440100001, unit 440101; BeforeMinute 30.
#include "support/fixturetime.h"
#include "support/stationseed.h"

#include <QDateTime>

namespace cg::test {

inline const QString kGateCtx = stationContext(QStringLiteral("op1"), QStringLiteral("440101"));

inline QDateTime gateNow()
{
    const QDateTime n = cg::test::fixtureNow();
    return QDateTime(n.date(), QTime(n.time().hour(), n.time().minute()));
}

inline QDateTime gateDay() { return QDateTime(gateNow().date(), QTime(0, 0)); }

inline void seedGateAt(Database &db, const QDateTime &now)
{
    using namespace Qt::StringLiterals;
    seedStation(db, u"op1"_s, u"王门检"_s, u"440101"_s);
    const QDateTime day(now.date(), QTime(0, 0));
    db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id, service_kind) VALUES "
            u"('V1', '粤A10001', '0000000001', '正常'), ('V2', '粤A10002', '0000000002', '正常'), "
            u"('V3', '粤B20003', '', '正常')"_s);
    const auto trip = [&](const char *id, int minutes, const char *vid, const char *plate, int driver, int scheme,
                          int out) {
        db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, end_station_name, license_id, "
                u"license_tag_no, total_seat, transport_company_short_name, sale_num, check_num, "
                u"driver_verify_status, scheme_status, out_status) "
                u"VALUES ('440100001', ?, ?, ?, '440101', '佛山', ?, ?, 45, '天河', 30, 12, ?, ?, ?)"_s,
                {day, QString::fromLatin1(id), now.addSecs(60LL * minutes), QString::fromLatin1(vid),
                 QString::fromUtf8(plate), driver, scheme, out});
    };
    trip("K001", 10, "V1", "粤A10001", 1, 1, 0);
    trip("K002", 5, "V2", "粤A10002", 3, 1, 0);
    trip("K003", 180, "V3", "粤B20003", 0, 0, 0);
    trip("K004", -20, "V1", "粤A10001", 1, 1, 1);
    const auto rolling = [&](const char *serial) {
        db.exec(u"INSERT INTO rolling_trips (station_code, bus_date, bus_id, bus_serial_no, bus_start_time, unit_code, "
                u"end_station_name, license_id, total_seat, check_num) VALUES ('440100001', ?, 'R01', ?, ?, '440101', '顺德', "
                u"'V3', 40, 3)"_s,
                {day, QString::fromLatin1(serial), day});
    };
    rolling("1");
    rolling("2");
    db.exec(u"INSERT INTO condition_checks (station_code, license_id, license, ic_card_id, check_date, cond_index, cond_status, "
            u"cond_checker, cond_time, started_at, cancelled) "
            u"SELECT '440100001', license_id, license, ic_card_id, ?, 1, 1, '李检', ?, ?, 0 FROM vehicles"_s,
            {QDateTime(now.addSecs(-3600).date(), QTime(0, 0)), now.addSecs(-3600), now.addSecs(-3600)});
}

inline void seedGate(Database &db) { seedGateAt(db, gateNow()); }

} // namespace cg::test
