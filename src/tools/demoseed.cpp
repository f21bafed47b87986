#include "admin.h"
#include "demostation.h"

#include "services/database/database.h"
#include "services/fingerprint/simulatedfingerprintengine.h"

#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QSet>

using namespace Qt::StringLiterals;

namespace cg {

namespace seeding {

namespace {

// The demo station is generated from name pools by a generator with a fixed
// seed: every run builds the same companies, drivers and vehicles, so a run
// on an existing demo finds its rows by their codes and adds only the rest.
constexpr quint32 MasterSeed = 20131217;

constexpr int DriverCount = 128;
constexpr int CardedVehiclesPerCompany = 16;
const char16_t Surnames[] = u"王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘蔡蒋余杜叶"
                            u"程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦方白邹孟熊秦邱江尹薛段雷侯龙史陶黎贺"
                            u"顾毛郝龚邵万钱严覃武戴莫孔向汤";
const char16_t MaleGiven[] = u"伟强磊军勇杰涛斌超明刚平辉鹏华飞鑫波宁健彬亮俊峰建国志文海东林永祥新春发成荣德"
                             u"光耀家福锦昌";
const char16_t FemaleGiven[] = u"芳娜敏静丽艳娟霞燕玲婷雪慧红琴云莉梅兰秀英桂珍凤洁";

QChar pick(QRandomGenerator &rng, QStringView pool)
{
    return pool.at(int(rng.bounded(quint32(pool.size()))));
}

} // namespace

QString Company::codeName() const
{
    return u"%1[%2]"_s.arg(code, name);
}

QString Model::codeName() const
{
    return u"%1[%2]"_s.arg(code, name);
}

QString personName(QRandomGenerator &rng, bool female)
{
    const QStringView given = female ? QStringView(FemaleGiven) : QStringView(MaleGiven);
    QString name(pick(rng, QStringView(Surnames)));
    name += pick(rng, given);
    if (rng.bounded(3u) != 0)
        name += pick(rng, given);
    return name;
}

QString certKind(QRandomGenerator &rng)
{
    static const QStringList certs = {u"A1"_s, u"A1"_s, u"A1"_s, u"A1"_s, u"A2"_s, u"B1"_s};
    return certs.at(int(rng.bounded(quint32(certs.size()))));
}

namespace {

QString uniqueName(QRandomGenerator &rng, bool female, QSet<QString> &used)
{
    for (;;) {
        const QString name = personName(rng, female);
        if (!used.contains(name)) {
            used.insert(name);
            return name;
        }
    }
}

} // namespace

Station buildStation()
{
    QRandomGenerator rng(MasterSeed);
    Station st;
    QSet<QString> names;

    st.companies = {
        {u"001"_s, u"广州市第一汽车运输公司"_s, u"一汽运"_s, u'A', {}},
        {u"002"_s, u"广东粤运客运有限公司"_s, u"粤运"_s, u'A', {}},
        {u"003"_s, u"广州南方客运有限公司"_s, u"南方客运"_s, u'A', {}},
        {u"004"_s, u"佛山市汽车运输集团有限公司"_s, u"佛汽"_s, u'E', {}},
    };
    int owner = 0;
    for (Company &c : st.companies)
        for (int i = 0; i < 2; ++i)
            c.owners << u"O%1[%2]"_s.arg(++owner, 3, 10, QChar(u'0')).arg(uniqueName(rng, false, names));

    st.models = {
        {u"M01"_s, u"宇通ZK6118"_s, 47, 3, 49}, {u"M02"_s, u"金龙XMQ6127"_s, 51, 3, 53},
        {u"M03"_s, u"海格KLQ6109"_s, 43, 3, 45}, {u"M04"_s, u"金旅XML6122"_s, 51, 2, 53},
        {u"M05"_s, u"中通LCK6108"_s, 41, 2, 43},
    };

    st.places = {
        {u"440100001"_s, u"广州"_s}, {u"440300001"_s, u"深圳"_s}, {u"440400001"_s, u"珠海"_s},
        {u"440200001"_s, u"韶关"_s}, {u"440500001"_s, u"汕头"_s}, {u"441900001"_s, u"东莞"_s},
        {u"442000001"_s, u"中山"_s}, {u"441800001"_s, u"清远"_s}, {u"441300001"_s, u"惠州"_s},
        {u"440600001"_s, u"佛山"_s}, {u"440700001"_s, u"江门"_s}, {u"440800001"_s, u"湛江"_s},
        {u"440900001"_s, u"茂名"_s}, {u"441200001"_s, u"肇庆"_s}, {u"441400001"_s, u"梅州"_s},
        {u"441500001"_s, u"汕尾"_s}, {u"441600001"_s, u"河源"_s}, {u"441700001"_s, u"阳江"_s},
        {u"445100001"_s, u"潮州"_s}, {u"445200001"_s, u"揭阳"_s}, {u"445300001"_s, u"云浮"_s},
    };
    const QString gz = u"440100001"_s;
    st.routes = {
        {u"R001"_s, u"广州-深圳"_s, {gz, u"441900001"_s, u"440300001"_s}},
        {u"R002"_s, u"广州-珠海"_s, {gz, u"442000001"_s, u"440400001"_s}},
        {u"R003"_s, u"广州-韶关"_s, {gz, u"441800001"_s, u"440200001"_s}},
        {u"R004"_s, u"广州-汕头"_s, {gz, u"441300001"_s, u"440500001"_s}},
        {u"R005"_s, u"广州-湛江"_s, {gz, u"440600001"_s, u"440700001"_s, u"441700001"_s, u"440900001"_s,
                                     u"440800001"_s}},
        {u"R006"_s, u"广州-梅州"_s, {gz, u"441300001"_s, u"441600001"_s, u"441400001"_s}},
        {u"R007"_s, u"广州-肇庆"_s, {gz, u"440600001"_s, u"441200001"_s}},
        {u"R008"_s, u"广州-潮州"_s, {gz, u"441300001"_s, u"441500001"_s, u"445200001"_s, u"445100001"_s}},
        {u"R009"_s, u"广州-云浮"_s, {gz, u"440600001"_s, u"441200001"_s, u"445300001"_s}},
        {u"R010"_s, u"广州-江门"_s, {gz, u"440600001"_s, u"440700001"_s}},
    };
    const int routeCount = int(st.routes.size());

    for (int i = 0; i < DriverCount; ++i) {
        Driver d;
        d.id = u"D%1"_s.arg(i + 1, 4, 10, QChar(u'0'));
        const bool female = rng.bounded(100u) < 15;
        d.name = uniqueName(rng, female, names);
        d.sex = female ? u"女"_s : u"男"_s;
        d.birthYear = 1966 + int(rng.bounded(30u));
        d.cert = certKind(rng);
        d.company = i % int(st.companies.size());
        d.mobile = i % MobileEvery == MobileEvery - 3; // D0006, D0014, ...
        d.route = i % routeCount;
        st.drivers << d;
    }

    // Vehicles: sixteen carded ones per company, each driven by one to three
    // of the company's regular drivers, and one temporary vehicle without a
    // card, driven by a mobile driver (its trips need no driver check).
    QSet<QString> plates, cards;
    QSet<int> routed;
    const QString plateChars = u"ABCDEFGHJKLMNPQRSTUVWXYZ"_s;
    int serial = 0;
    for (int c = 0; c < st.companies.size(); ++c) {
        QList<int> pool;
        for (int i = 0; i < st.drivers.size(); ++i)
            if (st.drivers[i].company == c && !st.drivers[i].mobile)
                pool << i;
        int next = 0;
        for (int n = 0; n < CardedVehiclesPerCompany; ++n) {
            Vehicle v;
            v.id = st.companies[c].code + u"%1"_s.arg(n + 1, 2, 10, QChar(u'0'));
            do {
                QString tail = QString::number(rng.bounded(100000u)).rightJustified(5, u'0');
                if (rng.bounded(5u) == 0)
                    tail[int(rng.bounded(2u))] = plateChars.at(int(rng.bounded(quint32(plateChars.size()))));
                v.plate = u"粤"_s + st.companies[c].plateLetter + tail;
            } while (plates.contains(v.plate));
            plates.insert(v.plate);
            do {
                v.card = QString::number(1000 + rng.bounded(9000u))
                         + QString::number(rng.bounded(1000000u)).rightJustified(6, u'0');
            } while (cards.contains(v.card));
            cards.insert(v.card);
            v.company = c;
            v.owner = st.companies[c].owners.at(n % 2);
            v.model = int(rng.bounded(quint32(st.models.size())));
            v.kind = rng.bounded(8u) == 0 ? u"旅游客车"_s : u"班线客车"_s;
            v.route = serial++ % routeCount;
            const int k = 1 + int(rng.bounded(3u));
            for (int j = 0; j < k && j < pool.size(); ++j)
                v.drivers << pool[(next + j) % pool.size()];
            next = (next + k) % pool.size();
            for (int d : v.drivers)
                if (!routed.contains(d)) { // the first vehicle gives the driver's route
                    routed.insert(d);
                    st.drivers[d].route = v.route;
                }
            st.vehicles << v;
        }
    }
    Vehicle temp;
    temp.id = u"00399"_s;
    temp.card = u""_s; // stored as an empty card, not as none
    for (int k = 399; temp.plate.isEmpty() || plates.contains(temp.plate); ++k)
        temp.plate = u"粤A3%1"_s.arg(k, 4, 10, QChar(u'0'));
    temp.company = 2;
    temp.owner = st.companies[2].owners.at(0);
    temp.model = 0;
    temp.kind = u"临时"_s;
    temp.route = 1;
    temp.drivers << MobileEvery - 3; // D0006
    st.vehicles << temp;
    return st;
}

QByteArray driverPhoto(const QString &name, int index)
{
    QImage image(96, 128, QImage::Format_RGB32);
    const QColor background = QColor::fromHsv((index * 47) % 360, 40, 235);
    const QColor figure = QColor::fromHsv((index * 47 + 180) % 360, 150, 130);
    image.fill(background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(figure);
    QPainterPath shoulders;
    shoulders.addRoundedRect(QRectF(10, 70, 76, 70), 30, 30);
    p.drawPath(shoulders);
    p.setBrush(figure.lighter(125));
    p.drawEllipse(QRectF(29, 20, 38, 44));
    p.fillRect(QRect(0, 104, 96, 24), QColor(0, 0, 0, 120));
    // Text needs the fonts of a GUI application; the silhouette alone otherwise.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        QFont font = p.font();
        font.setPixelSize(14);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 104, 96, 24), Qt::AlignCenter, name);
    }
    p.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QString stationName(const Station &st, const QString &code)
{
    for (const auto &p : st.places)
        if (p.first == code)
            return p.second;
    return {};
}

void seedReferenceData(Database &db, const Station &st)
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

    // Code tables: kind, then name and remark (the remark of a kind 9 item
    // is the description the condition check dialog shows).
    struct CodeItem {
        int kind;
        const char16_t *name;
        const char16_t *remark;
    };
    static const CodeItem codes[] = {
        {3, u"A1", u""}, {3, u"A2", u""}, {3, u"A3", u""}, {3, u"B1", u""}, {3, u"B2", u""}, {3, u"C1", u""},
        {4, u"正班驾驶员", u""}, {4, u"机动驾驶员", u""}, {4, u"临时驾驶员", u""},
        {5, u"班线客车", u""}, {5, u"旅游客车", u""}, {5, u"临时", u"临时加班车"},
        {8, u"车辆故障换车", u""}, {8, u"驾驶员临时调换", u""}, {8, u"指纹无法识别", u""}, {8, u"紧急加班", u""},
        {9, u"制动系统", u"行车、驻车制动有效，无漏气漏油"},
        {9, u"转向系统", u"转向轻便灵活，无卡滞，横直拉杆无松旷"},
        {9, u"灯光信号", u"前照灯、转向灯、制动灯、示廓灯齐全有效"},
        {9, u"轮胎及车轮", u"胎压正常，花纹深度足够，无裂口鼓包，螺母齐全"},
        {9, u"安全设施（灭火器、安全锤）", u"灭火器在有效期内，安全锤齐全可取"},
        {9, u"车容车貌", u"车身整洁，门窗玻璃完好"},
        {9, u"雨刮器", u"刮水器工作正常，刮片完好"},
        {9, u"后视镜", u"左右后视镜及下视镜齐全、视野清楚"},
        {9, u"喇叭", u"喇叭声响正常"},
        {9, u"车门及应急出口", u"车门开闭正常，应急出口标志清楚、开启有效"},
        {9, u"安全带", u"驾驶员及乘客安全带齐全有效"},
        {9, u"行驶记录仪", u"卫星定位及行驶记录装置工作正常"},
    };
    for (const CodeItem &c : codes)
        db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (?, ?, ?) ON CONFLICT DO NOTHING"_s,
                {c.kind, QString::fromUtf16(c.name), QString::fromUtf16(c.remark)});

    for (const Company &c : st.companies) {
        db.exec(u"INSERT INTO companies (company_code, company_name, short_name) VALUES (?, ?, ?) "
                u"ON CONFLICT DO NOTHING"_s,
                {c.code, c.name, c.shortName});
        // Code list 7: the companies in the code[name] form vehicles store,
        // for the company filters of the scheduling screens.
        db.exec(u"INSERT INTO code_items (kind, name, remark) VALUES (7, ?, '') ON CONFLICT DO NOTHING"_s,
                {c.code + u"["_s + c.name + u"]"_s});
        for (const QString &o : c.owners)
            db.exec(u"INSERT INTO owners (owner_code, owner_name, company_code) VALUES (?, ?, ?) "
                    u"ON CONFLICT DO NOTHING"_s,
                    {o.left(o.indexOf(u'[')), o.mid(o.indexOf(u'[') + 1).chopped(1), c.code});
    }
    for (const Model &m : st.models)
        db.exec(u"INSERT INTO vehicle_models (model_code, model_name, first_seat_figure, second_seat_figure) "
                u"VALUES (?, ?, ?, ?) ON CONFLICT DO NOTHING"_s,
                {m.code, m.name, m.first, m.second});
    for (const auto &p : st.places)
        db.exec(u"INSERT INTO stations (station_code, station_name) VALUES (?, ?) ON CONFLICT DO NOTHING"_s,
                {p.first, p.second});
    for (const Route &r : st.routes) {
        db.exec(u"INSERT INTO routes (route_id, route_name, unit_code) VALUES (?, ?, ?) ON CONFLICT DO NOTHING"_s,
                {r.id, r.name, unit});
        for (int i = 0; i < r.stops.size(); ++i)
            db.exec(u"INSERT INTO route_stations (route_id, seq, station_code) VALUES (?, ?, ?) "
                    u"ON CONFLICT DO NOTHING"_s,
                    {r.id, i + 1, r.stops[i]});
    }
    for (int g = 1; g <= 4; ++g)
        db.exec(u"INSERT INTO check_gates (gate_id, gate_name) VALUES (?, ?) ON CONFLICT DO NOTHING"_s,
                {u"G%1"_s.arg(g, 2, 10, QChar(u'0')), u"%1号检票口"_s.arg(g)});
}

const QString DriverColumns =
    u"driver_id, driver_name, sex, credit, birth_date, link_phone, address, cert_kind, service_kind, "
    u"job_cert_id, post_cert_id, company_name, in_start_date, in_end_date, create_date, is_driver, memo, "
    u"photo_id, fng_value, fng_value1, unit_id, route_id, drive_type, year_check_month, safe_study_end_date, "
    u"contract_sign_date, out_date"_s;

QVariantList driverValues(const Station &st, const Driver &d, int i, const QDate &day, qint64 photo,
                          const QString &formal, const QString &backup)
{
    const QString unit = QString::fromUtf16(demo::UnitCode);
    const QDate hired = day.addYears(-3);
    const QString number = d.id.right(4);
    const QDate born(d.birthYear, 1 + i % 12, 1 + i % 28);
    return {d.id, d.name, d.sex,
            u"440100%1%2%3"_s.arg(d.birthYear).arg(born.toString(u"MMdd"_s)).arg(number), born,
            u"138%1%2"_s.arg(number).arg(7919 * (i + 1) % 10000, 4, 10, QChar(u'0')), u"广州市白云区"_s, d.cert,
            d.mobile ? u"机动驾驶员"_s : u"正班驾驶员"_s, u"JY%1"_s.arg(d.id), u"SG%1"_s.arg(d.id),
            st.companies[d.company].codeName(), hired, hired.addYears(5), hired, d.mobile ? 1 : 0, QString(), photo,
            formal, backup, unit, st.routes[d.route].id, d.mobile ? u"机动"_s : u"正班"_s,
            day.addMonths(1 + i % 11).toString(u"yyyy-MM"_s), day.addMonths(6), hired, hired.addYears(5)};
}

const QString VehicleColumns = u"license_id, license, company_name, owner, model_id, seat_weight_num, "
                               u"service_kind, status, ic_card_id, driver_num, create_date, memo"_s;

QVariantList vehicleValues(const Station &st, const Vehicle &v, const QDate &hired)
{
    const Model &m = st.models[v.model];
    return {v.id, v.plate, st.companies[v.company].codeName(), v.owner, m.codeName(), m.seats, v.kind, 0, v.card,
            int(v.drivers.size()), hired, u""_s};
}

const QString ArrangementColumns = u"license_id, driver_id, driver_name, start_date, end_date, memo"_s;

QString placeholders(int count)
{
    QString marks = u"?"_s;
    for (int i = 1; i < count; ++i)
        marks += u", ?"_s;
    return marks;
}


} // namespace seeding

namespace {

using namespace seeding;

// Adds the master data that is missing; true when anything was added.
bool seedMasterData(Database &db, const Station &st, const QDate &day)
{
    seedReferenceData(db, st);

    // Drivers with a photo and both fingers enrolled: the simulated reader's
    // fingers "<driver id>/formal" and "<driver id>/backup" (the keys the
    // reader window of the demo presses). Only missing drivers are built:
    // photos and templates are the costly part.
    QSet<QString> existing;
    {
        RecordSet rs = db.select(u"SELECT driver_id FROM drivers"_s);
        for (int row = 0; row < rs.RecordCount(); ++row)
            existing.insert(rs.row(row).at(0).toString());
    }
    const QDate hired = day.addYears(-3);
    bool added = false;
    for (int i = 0; i < st.drivers.size(); ++i) {
        const Driver &d = st.drivers[i];
        if (existing.contains(d.id))
            continue;
        added = true;
        const qint64 photo = db.insert(u"INSERT INTO pictures (file_name, data) VALUES (?, ?)"_s,
                                       {d.id + u".png"_s, driverPhoto(d.name, i)});
        db.exec(u"INSERT INTO drivers (%1) VALUES (%2) ON CONFLICT DO NOTHING"_s.arg(DriverColumns, placeholders(27)),
                driverValues(st, d, i, day, photo, EnrolTemplateTextForFinger(d.id + u"/formal"_s, 1),
                             EnrolTemplateTextForFinger(d.id + u"/backup"_s, 1)));
    }

    QSet<QString> vehiclesThere;
    {
        RecordSet rs = db.select(u"SELECT license_id FROM vehicles"_s);
        for (int row = 0; row < rs.RecordCount(); ++row)
            vehiclesThere.insert(rs.row(row).at(0).toString());
    }
    const QDate from = day.addDays(-30);
    const QDate to = day.addYears(1);
    for (const Vehicle &v : st.vehicles) {
        if (vehiclesThere.contains(v.id))
            continue;
        added = true;
        db.exec(u"INSERT INTO vehicles (%1) VALUES (%2) ON CONFLICT DO NOTHING"_s.arg(VehicleColumns, placeholders(12)),
                vehicleValues(st, v, hired));
        for (int d : v.drivers)
            db.exec(u"INSERT INTO arrangements (%1) VALUES (?, ?, ?, ?, ?, '') ON CONFLICT DO NOTHING"_s.arg(
                        ArrangementColumns),
                    {v.id, st.drivers[d].id, st.drivers[d].name, from, to});
    }
    // A mobile driver lent to the Shenzhen route.
    if (!db.scalar(u"SELECT count(*) FROM temporary_drivers"_s).toInt())
        db.exec(u"INSERT INTO temporary_drivers (driver_id, route_id, start_date, end_date, memo) "
                u"VALUES (?, 'R001', ?, ?, '节假日加班')"_s,
                {st.drivers[2 * MobileEvery - 3].id, from, to});
    return added;
}

struct VehicleRow {
    QString plate, card, company, model, kind;
    int seats = 0;
    QList<std::pair<QString, QString>> drivers; // id, name arranged for the day
};

// The day's timetable: every route leaves every 40 minutes from 06:00 (a few
// minutes apart from route to route) until 21:00, over the four gates. What
// has happened by now is recorded: trips past their time have left with
// their checks; those near their time are being checked; later ones are on
// sale only.
int seedTrips(Database &db, const Station &st, const QDate &day, const QDateTime &now, const QString &station)
{
    if (db.scalar(u"SELECT count(*) FROM trips WHERE station_code = ? AND bus_date = ?"_s, {station, day}).toInt() > 0)
        return 0;
    QRandomGenerator rng(MasterSeed ^ quint32(day.toJulianDay()));
    const QString unit = QString::fromUtf16(demo::UnitCode);
    const QDateTime midnight = day.startOfDay();

    // The vehicles as stored, with the drivers arranged to them on the day.
    QHash<QString, VehicleRow> rows;
    {
        RecordSet rs = db.select(u"SELECT license_id, license, ic_card_id, company_name, model_id, service_kind, "
                                 u"seat_weight_num FROM vehicles"_s);
        for (int row = 0; row < rs.RecordCount(); ++row) {
            VehicleRow &r = rows[rs.row(row).at(0).toString()];
            r.plate = rs.row(row).at(1).toString();
            r.card = rs.row(row).at(2).toString();
            r.company = rs.row(row).at(3).toString();
            r.model = rs.row(row).at(4).toString();
            r.kind = rs.row(row).at(5).toString();
            r.seats = rs.row(row).at(6).toInt();
        }
    }
    const auto loadArrangements = [&] {
        for (VehicleRow &r : rows)
            r.drivers.clear();
        RecordSet rs = db.select(u"SELECT license_id, driver_id, driver_name FROM arrangements "
                                 u"WHERE start_date <= ? AND end_date >= ? ORDER BY license_id, driver_id"_s,
                                 {day, day});
        for (int row = 0; row < rs.RecordCount(); ++row)
            if (rows.contains(rs.row(row).at(0).toString()))
                rows[rs.row(row).at(0).toString()].drivers.append({rs.row(row).at(1).toString(), rs.row(row).at(2).toString()});
    };
    loadArrangements();
    // A day outside the seeded arrangements: the vehicles keep their drivers.
    bool extended = false;
    for (auto it = rows.begin(); it != rows.end(); ++it) {
        if (!it->drivers.isEmpty())
            continue;
        extended = true;
        // Read, then insert with bound dates: PostgreSQL will not take an
        // untyped bound text into a timestamp column of an INSERT ... SELECT.
        RecordSet drivers = db.select(u"SELECT DISTINCT driver_id, driver_name FROM arrangements "
                                      u"WHERE license_id = ?"_s, {it.key()});
        for (drivers.MoveFirst(); !drivers.isEOF(); drivers.MoveNext())
            db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date, memo) "
                    u"VALUES (?, ?, ?, ?, ?, '') ON CONFLICT DO NOTHING"_s,
                    {it.key(), drivers.value(u"driver_id"_s), drivers.value(u"driver_name"_s), day.addDays(-30),
                     day.addYears(1)});
    }
    if (extended)
        loadArrangements();

    QHash<QString, QString> shortNames;
    {
        RecordSet rs = db.select(u"SELECT company_code, short_name FROM companies"_s);
        for (int row = 0; row < rs.RecordCount(); ++row)
            shortNames.insert(rs.row(row).at(0).toString(), rs.row(row).at(1).toString());
    }

    QList<QList<QString>> byRoute(st.routes.size());
    for (const Vehicle &v : st.vehicles)
        if (rows.contains(v.id))
            byRoute[v.route] << v.id;

    // Each vehicle's first trip: its place in the route's rotation.
    QHash<QString, QDateTime> firstTrip;
    for (int r = 0; r < st.routes.size(); ++r)
        for (int k = 0; k < byRoute[r].size(); ++k) {
            const int minute = 6 * 60 + 4 * r + 40 * k;
            if (minute <= 21 * 60)
                firstTrip.insert(byRoute[r][k], QDateTime(day, QTime(minute / 60, minute % 60)));
        }
    QHash<QString, bool> passed; // vehicle -> passed its condition check by now

    // The condition checks of the day: an hour before a vehicle's first trip,
    // for the vehicles whose first trip has left or is near. One vehicle in
    // seven fails; it passes a second check if its trip has left since.
    int n = 0;
    for (const Vehicle &model : st.vehicles) {
        if (!firstTrip.contains(model.id))
            continue;
        const VehicleRow &v = rows[model.id];
        const QDateTime first = firstTrip[model.id];
        const QDateTime at = first.addSecs(-60 * 60 + 60 * (n % 20));
        ++n;
        if (at >= now)
            continue;
        const bool departed = first.addSecs(10 * 60) < now;
        const bool fails = n % 7 == 3;
        passed.insert(model.id, !fails || departed);
        int index = 0;
        const auto check = [&](const QDateTime &time, int status) {
            db.exec(u"INSERT INTO condition_checks (station_code, license_id, license, ic_card_id, check_date, "
                    u"cond_index, cond_status, cond_checker, cond_time, check_cause, started_at) "
                    u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                    {station, model.id, v.plate, v.card, midnight, ++index, status, u"李敏"_s, time,
                     status == 2 ? u"轮胎及车轮"_s : QString(), time.addSecs(-300)});
        };
        if (fails) {
            check(at, 2);
            const QDateTime again = first.addSecs(-25 * 60); // before the route sheet

            if (departed)
                check(again, 1);
        } else {
            check(at, 1);
        }
    }

    int added = 0;
    for (int r = 0; r < st.routes.size(); ++r) {
        const Route &route = st.routes[r];
        if (byRoute[r].isEmpty())
            continue;
        const QString dest = route.stops.last();
        const QString destName = stationName(st, dest);
        for (int j = 0;; ++j) {
            const int minute = 6 * 60 + 4 * r + 40 * j;
            if (minute > 21 * 60)
                break;
            const QDateTime start(day, QTime(minute / 60, minute % 60));
            const QString licenseId = byRoute[r][j % byRoute[r].size()];
            const VehicleRow &v = rows[licenseId];
            const QString busId = u"%1%2"_s.arg(QChar(u'A' + r)).arg(101 + j);
            const QString companyCode = v.company.left(v.company.indexOf(u'['));
            const QString modelName = v.model.mid(v.model.indexOf(u'[') + 1).chopped(1);

            const bool departed = start.addSecs(10 * 60) < now;
            const bool boarding = !departed && start.addSecs(-60 * 60) < now;
            const bool noDriverCheck = v.card.isEmpty(); // the temporary vehicle
            const int seats = qMax(v.seats, 1);
            int sold = seats / 3 + int(rng.bounded(quint32(seats - seats / 3 + 1)));
            if (!departed && !boarding)
                sold = int(rng.bounded(quint32(seats / 2 + 1))); // still on sale
            const QDateTime sheetTime = start.addSecs(-15 * 60);
            const QDateTime exitTime = start.addSecs(60);
            int checked = 0;
            int checkedIn = 0; // drivers checked in
            bool sheet = false;
            if (departed) {
                checked = sold;
                checkedIn = int(v.drivers.size());
                sheet = true;
            } else if (boarding) {
                checked = sold * int(rng.bounded(90u)) / 100;
                checkedIn = rng.bounded(3u) == 0 ? 0 : 1 + int(rng.bounded(quint32(v.drivers.size())));
                checkedIn = qMin<int>(checkedIn, int(v.drivers.size()));
                // A route sheet only for a vehicle that passed its check.
                sheet = checkedIn > 0 && passed.value(licenseId) && sheetTime < now && rng.bounded(2u) == 0;
            }
            if (noDriverCheck)
                checkedIn = 0;
            const int driverLamp = noDriverCheck ? 3 : (checkedIn > 0 ? 1 : 0);

            db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, route_name, "
                    u"end_station_id, end_station_name, check_gate_id, bus_type_name, license_id, license_tag_no, "
                    u"vehicle_type_code, vehicle_type_name, total_seat, transport_company_id, "
                    u"transport_company_short_name, sale_num, check_num, driver_verify_status, scheme_status, "
                    u"scheme_time, scheme_operator, out_status, exit_time, out_operator) "
                    u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                    {station, midnight, busId, start, unit, route.id, route.name, dest, destName,
                     u"G%1"_s.arg(1 + (r + j) % 4, 2, 10, QChar(u'0')),
                     u"正班"_s, licenseId, v.plate, v.model.left(3), modelName, v.seats,
                     companyCode, shortNames.value(companyCode), sold, checked, driverLamp, sheet ? 1 : 0,
                     sheet ? QVariant(sheetTime) : QVariant(), sheet ? u"王刚"_s : QVariant(), departed ? 1 : 0,
                     departed ? QVariant(exitTime) : QVariant(), departed ? u"王刚"_s : QVariant()});
            ++added;

            for (int d = 0; d < checkedIn; ++d) {
                // Forty minutes before the trip, or just now for a trip close at hand.
                QDateTime reported = start.addSecs(-40 * 60 + 90 * d);
                if (reported >= now)
                    reported = now.addSecs(-60 * (checkedIn - d));
                db.exec(u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, "
                        u"driver_run_name, driver_report_time, route_id, license, operator_name, is_driver) "
                        u"VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 1)"_s,
                        {station, midnight, busId, v.drivers[d].first, v.drivers[d].second, reported, route.id, v.plate,
                         u"王刚"_s});
            }
            if (sheet)
                db.exec(u"INSERT INTO route_sheet_issues (station_code, bus_date, bus_id, bus_serial_no, license, "
                        u"operator_name, unit_code, issue_time) VALUES (?, ?, ?, NULL, ?, ?, ?, ?)"_s,
                        {station, midnight, busId, v.plate, u"王刚"_s, unit, sheetTime});
            if (departed)
                db.exec(u"INSERT INTO departures (station_code, bus_date, bus_id, license, ic_card_id, status, "
                        u"manual, operator_name, decided_at, unit_code) VALUES (?, ?, ?, ?, ?, 1, 0, ?, ?, ?)"_s,
                        {station, midnight, busId, v.plate, v.card, u"王刚"_s, exitTime, unit});
            // Luggage of one trip in three, per stop after the first.
            if ((departed || boarding) && j % 3 == 0)
                for (int stop = 1; stop < route.stops.size(); ++stop) {
                    const int pieces = int(rng.bounded(9u));
                    db.exec(u"INSERT INTO luggage_counts (station_code, bus_date, bus_id, seq, station_name, "
                            u"accept_count, send_count) VALUES (?, ?, ?, ?, ?, ?, ?)"_s,
                            {station, midnight, busId, stop, stationName(st, route.stops[stop]), pieces,
                             departed ? pieces : 0});
                }
        }
    }

    // Two rolling trips of the Zhuhai route in the afternoon.
    const QList<QString> &zhuhai = byRoute[1];
    for (int serial = 1; serial <= 2 && serial <= zhuhai.size(); ++serial) {
        const VehicleRow &v = rows[zhuhai[serial - 1]];
        db.exec(u"INSERT INTO rolling_trips (station_code, bus_date, bus_id, bus_serial_no, bus_start_time, unit_code, "
                u"route_id, end_station_id, end_station_name, check_gate_id, license_id, total_seat, "
                u"vehicle_type_code, vehicle_type_name, transport_company_id) VALUES (?, ?, 'G900', ?, ?, ?, 'R002', "
                u"'440400001', ?, 'G01', ?, ?, ?, ?, ?)"_s,
                {station, midnight, u"%1"_s.arg(serial, 3, 10, QChar(u'0')), midnight, unit,
                 stationName(st, u"440400001"_s), zhuhai[serial - 1], v.seats, v.model.left(3),
                 v.model.mid(v.model.indexOf(u'[') + 1).chopped(1), v.company.left(v.company.indexOf(u'['))});
    }
    return added;
}

} // namespace

DemoSeedResult seedDemoStation(Database &db, const QDate &day, const QDateTime &now, const QString &station)
{
    DemoSeedResult result;
    const Station st = buildStation();
    db.transact([&] {
        result.masterData = seedMasterData(db, st, day);
        result.trips = seedTrips(db, st, day, now, station.isEmpty() ? QString::fromUtf16(demo::StationCode) : station);
    });
    return result;
}

DemoSeedResult seedDemoStation(Database &db, const QDate &day, const QString &station)
{
    return seedDemoStation(db, day, QDateTime::currentDateTime(), station);
}

} // namespace cg
