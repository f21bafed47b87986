#include "admin.h"

#include "services/database.h"
#include "services/fingerprint/simulatedfingerprintengine.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

struct DemoDriver {
    const char16_t *id;
    const char16_t *name;
    const char16_t *sex;
    int birthYear;
    const char16_t *cert;
    const char16_t *kind;
    const char16_t *company;
    const char16_t *route;
    int mobile; // 1 = 机动驾驶员
};

const DemoDriver kDrivers[] = {
    {u"D0001", u"张伟", u"男", 1975, u"A1", u"正班驾驶员", u"001[广州市第一汽车运输公司]", u"R001", 0},
    {u"D0002", u"李强", u"男", 1980, u"A1", u"正班驾驶员", u"001[广州市第一汽车运输公司]", u"R001", 0},
    {u"D0003", u"王芳", u"女", 1985, u"A1", u"正班驾驶员", u"002[广东粤运客运有限公司]", u"R002", 0},
    {u"D0004", u"刘洋", u"男", 1978, u"A1", u"正班驾驶员", u"002[广东粤运客运有限公司]", u"R002", 0},
    {u"D0005", u"陈明", u"男", 1982, u"A1", u"正班驾驶员", u"003[广州南方客运有限公司]", u"R003", 0},
    {u"D0006", u"赵磊", u"男", 1988, u"A2", u"机动驾驶员", u"001[广州市第一汽车运输公司]", u"", 1},
    {u"D0007", u"黄静", u"女", 1990, u"A1", u"正班驾驶员", u"003[广州南方客运有限公司]", u"R004", 0},
    {u"D0008", u"周杰", u"男", 1976, u"A1", u"机动驾驶员", u"002[广东粤运客运有限公司]", u"", 1},
};

struct DemoVehicle {
    const char16_t *id;
    const char16_t *plate;
    const char16_t *card;
    const char16_t *company;
    const char16_t *owner;
    const char16_t *model;
    int seats;
    const char16_t *kind;
    const char16_t *drivers[2];
};

const DemoVehicle kVehicles[] = {
    {u"00101", u"粤A10101", u"0010010101", u"001[广州市第一汽车运输公司]", u"O001[陈建国]", u"M01[宇通ZK6118]", 49,
     u"班线客车", {u"D0001", u"D0002"}},
    {u"00102", u"粤A10102", u"0010010102", u"001[广州市第一汽车运输公司]", u"O001[陈建国]", u"M02[金龙XMQ6127]", 53,
     u"班线客车", {u"D0002", nullptr}},
    {u"00201", u"粤A20201", u"0010020201", u"002[广东粤运客运有限公司]", u"O002[林志华]", u"M01[宇通ZK6118]", 49,
     u"班线客车", {u"D0003", u"D0004"}},
    {u"00202", u"粤A20202", u"0010020202", u"002[广东粤运客运有限公司]", u"O002[林志华]", u"M03[海格KLQ6109]", 45,
     u"旅游客车", {u"D0004", nullptr}},
    {u"00301", u"粤A30301", u"0010030301", u"003[广州南方客运有限公司]", u"O003[何伟民]", u"M02[金龙XMQ6127]", 53,
     u"班线客车", {u"D0005", nullptr}},
    {u"00302", u"粤A30302", u"0010030302", u"003[广州南方客运有限公司]", u"O003[何伟民]", u"M03[海格KLQ6109]", 45,
     u"班线客车", {u"D0007", nullptr}},
    {u"00303", u"粤A30303", u"", u"003[广州南方客运有限公司]", u"O003[何伟民]", u"M01[宇通ZK6118]", 49,
     u"临时加班车", {u"D0006", nullptr}},
};

struct DemoRoute {
    const char16_t *id;
    const char16_t *name;
    QList<const char16_t *> stops; // station codes, the last one the destination
};

const DemoRoute kRoutes[] = {
    {u"R001", u"广州-深圳", {u"440100001", u"441900001", u"440300001"}},
    {u"R002", u"广州-珠海", {u"440100001", u"442000001", u"440400001"}},
    {u"R003", u"广州-韶关", {u"440100001", u"441800001", u"440200001"}},
    {u"R004", u"广州-汕头", {u"440100001", u"441300001", u"440500001"}},
};

QString s(const char16_t *text)
{
    return text ? QString::fromUtf16(text) : QString();
}

QString stationName(Database &db, const QString &code)
{
    return db.scalar(u"SELECT station_name FROM stations WHERE station_code = ?"_s, {code}).toString();
}

void seedMasterData(Database &db, const QDate &day)
{
    const QString unit = QString::fromUtf16(demo::UnitCode);
    const QString station = QString::fromUtf16(demo::StationCode);
    const QString unitName = u"广州市长途汽车客运站"_s;

    const QString addOperator = u"INSERT INTO operators (operator_code, operator_name, station_code, unit_code, "
                                u"unit_name) VALUES (?, ?, ?, ?, ?) ON CONFLICT DO NOTHING"_s;
    db.exec(addOperator, {QString::fromUtf16(demo::OperatorCode), u"王刚"_s, station, unit, unitName});
    db.exec(addOperator, {u"lm"_s, u"李敏"_s, station, unit, unitName});

    // Parameters the schema leaves unset; an operator's own values stay.
    const QList<std::pair<int, QString>> params = {
        {1, u"粤"_s}, {2, QString::fromUtf16(demo::ExitPassword)}, {6, u"安检中，请等待"_s},
        {7, u"安检合格，准予出站"_s}, {8, u"安检不合格，禁止出站"_s}, {9, u"64"_s}, {10, u"320"_s},
    };
    for (const auto &p : params)
        db.exec(u"INSERT INTO sys_params (param_index, param_value) VALUES (?, ?) ON CONFLICT DO NOTHING"_s,
                {p.first, p.second});

    const QList<std::pair<int, QStringList>> codes = {
        {3, {u"A1"_s, u"A2"_s, u"A3"_s, u"B1"_s, u"B2"_s}},
        {4, {u"正班驾驶员"_s, u"机动驾驶员"_s, u"临时驾驶员"_s}},
        {5, {u"班线客车"_s, u"旅游客车"_s, u"临时加班车"_s}},
        {8, {u"车辆故障换车"_s, u"驾驶员临时调换"_s, u"指纹无法识别"_s, u"紧急加班"_s}},
        {9, {u"制动系统"_s, u"转向系统"_s, u"灯光信号"_s, u"轮胎及车轮"_s, u"安全设施（灭火器、安全锤）"_s,
             u"车容车貌"_s}},
    };
    for (const auto &c : codes)
        for (const QString &name : c.second)
            db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (?, ?, '') ON CONFLICT DO NOTHING"_s,
                    {c.first, name});

    const QList<QStringList> companies = {
        {u"001"_s, u"广州市第一汽车运输公司"_s, u"一汽运"_s},
        {u"002"_s, u"广东粤运客运有限公司"_s, u"粤运"_s},
        {u"003"_s, u"广州南方客运有限公司"_s, u"南方客运"_s},
    };
    for (const QStringList &c : companies)
        db.exec(u"INSERT INTO companies (company_code, company_name, short_name) VALUES (?, ?, ?) "
                u"ON CONFLICT DO NOTHING"_s,
                {c[0], c[1], c[2]});
    const QList<QStringList> owners = {
        {u"O001"_s, u"陈建国"_s, u"001"_s}, {u"O002"_s, u"林志华"_s, u"002"_s}, {u"O003"_s, u"何伟民"_s, u"003"_s}};
    for (const QStringList &o : owners)
        db.exec(u"INSERT INTO owners (owner_code, owner_name, company_code) VALUES (?, ?, ?) "
                u"ON CONFLICT DO NOTHING"_s,
                {o[0], o[1], o[2]});
    const QList<QVariantList> models = {
        {u"M01"_s, u"宇通ZK6118"_s, 47, 3}, {u"M02"_s, u"金龙XMQ6127"_s, 51, 3}, {u"M03"_s, u"海格KLQ6109"_s, 43, 3}};
    for (const QVariantList &m : models)
        db.exec(u"INSERT INTO vehicle_models (model_code, model_name, first_seat_figure, second_seat_figure) "
                u"VALUES (?, ?, ?, ?) ON CONFLICT DO NOTHING"_s,
                m);

    const QList<QStringList> stations = {
        {u"440100001"_s, u"广州"_s}, {u"440300001"_s, u"深圳"_s}, {u"440400001"_s, u"珠海"_s},
        {u"440200001"_s, u"韶关"_s}, {u"440500001"_s, u"汕头"_s}, {u"441900001"_s, u"东莞"_s},
        {u"442000001"_s, u"中山"_s}, {u"441800001"_s, u"清远"_s}, {u"441300001"_s, u"惠州"_s},
    };
    for (const QStringList &st : stations)
        db.exec(u"INSERT INTO stations (station_code, station_name) VALUES (?, ?) ON CONFLICT DO NOTHING"_s,
                {st[0], st[1]});
    for (const DemoRoute &r : kRoutes) {
        db.exec(u"INSERT INTO routes (route_id, route_name, unit_code) VALUES (?, ?, ?) ON CONFLICT DO NOTHING"_s,
                {s(r.id), s(r.name), unit});
        for (int i = 0; i < r.stops.size(); ++i)
            db.exec(u"INSERT INTO route_stations (route_id, seq, station_code) VALUES (?, ?, ?) "
                    u"ON CONFLICT DO NOTHING"_s,
                    {s(r.id), i + 1, s(r.stops[i])});
    }
    db.exec(u"INSERT INTO check_gates (gate_id, gate_name) VALUES ('G01', '1号检票口') ON CONFLICT DO NOTHING"_s);
    db.exec(u"INSERT INTO check_gates (gate_id, gate_name) VALUES ('G02', '2号检票口') ON CONFLICT DO NOTHING"_s);

    // Drivers with both fingers enrolled: the simulated reader's fingers
    // "<driver id>/formal" and "<driver id>/backup" (the keys the reader
    // window of the demo presses).
    const QDate hired = day.addYears(-3);
    for (const DemoDriver &d : kDrivers) {
        const QString id = s(d.id);
        db.exec(u"INSERT INTO drivers (driver_id, driver_name, sex, credit, birth_date, link_phone, address, "
                u"cert_kind, service_kind, job_cert_id, post_cert_id, company_name, in_start_date, in_end_date, "
                u"create_date, is_driver, memo, fng_value, fng_value1, unit_id, route_id, drive_type, "
                u"year_check_month, safe_study_end_date, contract_sign_date, out_date) "
                u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                u"ON CONFLICT DO NOTHING"_s,
                {id, s(d.name), s(d.sex), u"44010019%1010112%2"_s.arg(d.birthYear % 100, 2, 10, QChar(u'0'))
                                                     .arg(id.right(2)),
                 QDate(d.birthYear, 3, 15), u"1380000%1"_s.arg(id.right(4)), u"广州市白云区"_s, s(d.cert),
                 s(d.kind), u"JY%1"_s.arg(id), u"SG%1"_s.arg(id), s(d.company), hired, hired.addYears(5), hired,
                 d.mobile, QString(), EnrolTemplateTextForFinger(id + u"/formal"_s, 1),
                 EnrolTemplateTextForFinger(id + u"/backup"_s, 1), unit, s(d.route), s(d.cert),
                 day.addMonths(8).toString(u"yyyy-MM"_s), day.addMonths(6), hired, hired.addYears(5)});
    }

    const QDate from = day.addDays(-30);
    const QDate to = day.addYears(1);
    for (const DemoVehicle &v : kVehicles) {
        db.exec(u"INSERT INTO vehicles (license_id, license, company_name, owner, model_id, seat_weight_num, "
                u"service_kind, status, ic_card_id, driver_num, create_date, memo) "
                u"VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?, ?, ?, '') ON CONFLICT DO NOTHING"_s,
                {s(v.id), s(v.plate), s(v.company), s(v.owner), s(v.model), v.seats, s(v.kind), s(v.card),
                 v.drivers[1] ? 2 : 1, hired});
        for (const char16_t *driver : v.drivers) {
            if (!driver)
                continue;
            const QString name = db.scalar(u"SELECT driver_name FROM drivers WHERE driver_id = ?"_s,
                                           {s(driver)}).toString();
            db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date, memo) "
                    u"VALUES (?, ?, ?, ?, ?, '') ON CONFLICT DO NOTHING"_s,
                    {s(v.id), s(driver), name, from, to});
        }
    }
    // A mobile driver lent to the Shenzhen route.
    if (!db.scalar(u"SELECT count(*) FROM temporary_drivers"_s).toInt())
        db.exec(u"INSERT INTO temporary_drivers (driver_id, route_id, start_date, end_date, memo) "
                u"VALUES ('D0008', 'R001', ?, ?, '节假日加班')"_s,
                {from, to});
}

// The day's timetable: hourly departures from 06:00 to 21:00 on the four
// routes. Trips that have already left carry their recorded checks.
int seedTrips(Database &db, const QDate &day)
{
    if (db.scalar(u"SELECT count(*) FROM trips WHERE bus_date = ?"_s, {day}).toInt() > 0)
        return 0;
    const QString unit = QString::fromUtf16(demo::UnitCode);
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime midnight = day.startOfDay();
    const int vehicleCount = int(std::size(kVehicles));
    const int routeCount = int(std::size(kRoutes));
    int added = 0;

    for (int hour = 6; hour <= 21; ++hour) {
        const int n = hour - 6;
        const DemoRoute &route = kRoutes[n % routeCount];
        const DemoVehicle &v = kVehicles[n % vehicleCount];
        const QString busId = u"%1%2"_s.arg(QChar(u'A' + n % routeCount)).arg(100 + hour);
        const QDateTime start(day, QTime(hour, n % 2 ? 30 : 0));
        const QString dest = s(route.stops.last());
        const QString company = s(v.company);
        const QString companyCode = company.left(company.indexOf(u'['));
        const QString shortName = db.scalar(u"SELECT short_name FROM companies WHERE company_code = ?"_s,
                                            {companyCode}).toString();
        const QString model = s(v.model);
        const bool departed = start.addSecs(10 * 60) < now;
        // The temporary vehicle's trip needs no driver check.
        const int driverLamp = !v.drivers[1] && s(v.kind) == u"临时加班车"_s ? 3 : (departed ? 1 : 0);
        const int sold = 20 + (hour * 7) % (v.seats - 20);

        db.exec(u"INSERT INTO trips (bus_date, bus_id, bus_start_time, unit_code, route_id, route_name, "
                u"end_station_id, end_station_name, check_gate_id, bus_type_name, license_id, license_tag_no, "
                u"vehicle_type_code, vehicle_type_name, total_seat, transport_company_id, "
                u"transport_company_short_name, sale_num, check_num, driver_verify_status, scheme_status, "
                u"scheme_time, scheme_operator, out_status, exit_time, out_operator) "
                u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                {midnight, busId, start, unit, s(route.id), s(route.name), dest, stationName(db, dest),
                 n % 2 ? u"G02"_s : u"G01"_s, u"正班"_s, s(v.id), s(v.plate), model.left(3), model.mid(4).chopped(1),
                 v.seats, companyCode, shortName, sold, departed ? sold : sold / 3, driverLamp, departed ? 1 : 0,
                 departed ? QVariant(start.addSecs(-15 * 60)) : QVariant(), departed ? u"王刚"_s : QVariant(),
                 departed ? 1 : 0, departed ? QVariant(start.addSecs(60)) : QVariant(),
                 departed ? u"王刚"_s : QVariant()});
        ++added;

        if (departed) {
            for (const char16_t *driver : v.drivers) {
                if (!driver || driverLamp == 3)
                    continue;
                const QString name = db.scalar(u"SELECT driver_name FROM drivers WHERE driver_id = ?"_s,
                                               {s(driver)}).toString();
                db.exec(u"INSERT INTO driver_checkins (bus_date, bus_id, driver_run_id, driver_run_name, "
                        u"driver_report_time, route_id, license, operator_name, is_driver) "
                        u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, 1)"_s,
                        {midnight, busId, s(driver), name, start.addSecs(-40 * 60), s(route.id), s(v.plate),
                         u"王刚"_s});
            }
            db.exec(u"INSERT INTO departures (bus_date, bus_id, license, ic_card_id, status, manual, operator_name, "
                    u"decided_at, unit_code) VALUES (?, ?, ?, ?, 1, 0, ?, ?, ?)"_s,
                    {midnight, busId, s(v.plate), s(v.card), u"王刚"_s, start.addSecs(60), unit});
        }
        // Luggage for the Shenzhen trips.
        if (route.id == kRoutes[0].id)
            for (int stop = 1; stop < route.stops.size(); ++stop)
                db.exec(u"INSERT INTO luggage_counts (bus_date, bus_id, seq, station_name, accept_count, send_count) "
                        u"VALUES (?, ?, ?, ?, ?, ?)"_s,
                        {midnight, busId, stop, stationName(db, s(route.stops[stop])), 3 + stop, 3 + stop});
    }

    // The morning's condition checks: the first vehicles passed, one failed.
    for (int i = 0; i < 3; ++i) {
        const DemoVehicle &v = kVehicles[i];
        const QDateTime at(day, QTime(5, 30 + 5 * i));
        const int status = i == 2 ? 2 : 1;
        db.exec(u"INSERT INTO condition_checks (license_id, license, ic_card_id, check_date, cond_index, "
                u"cond_status, cond_checker, cond_time, check_cause, started_at) "
                u"VALUES (?, ?, ?, ?, 1, ?, ?, ?, ?, ?)"_s,
                {s(v.id), s(v.plate), s(v.card), midnight, status, u"李敏"_s, at,
                 status == 2 ? u"轮胎及车轮"_s : QString(), at.addSecs(-300)});
    }

    // Two rolling trips of the Zhuhai route in the afternoon.
    for (int serial = 1; serial <= 2; ++serial) {
        const DemoVehicle &v = kVehicles[3 + serial - 1];
        const QString model = s(v.model);
        db.exec(u"INSERT INTO rolling_trips (bus_date, bus_id, bus_serial_no, bus_start_time, unit_code, route_id, "
                u"end_station_id, end_station_name, check_gate_id, license_id, total_seat, vehicle_type_code, "
                u"vehicle_type_name, transport_company_id) VALUES (?, 'G900', ?, ?, ?, 'R002', '440400001', ?, "
                u"'G01', ?, ?, '111', ?, '111')"_s,
                {midnight, u"%1"_s.arg(serial, 3, 10, QChar(u'0')), midnight, unit, stationName(db, u"440400001"_s),
                 s(v.id), v.seats, model.mid(4).chopped(1)});
    }
    return added;
}

} // namespace

DemoSeedResult seedDemoStation(Database &db, const QDate &day)
{
    DemoSeedResult result;
    db.transact([&] {
        result.masterData = !db.scalar(u"SELECT count(*) FROM operators WHERE operator_code = ?"_s,
                                       {QString::fromUtf16(demo::OperatorCode)}).toInt();
        if (result.masterData)
            seedMasterData(db, day);
        result.trips = seedTrips(db, day);
    });
    return result;
}

} // namespace cg
