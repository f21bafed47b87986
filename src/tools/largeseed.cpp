#include "admin.h"
#include "demostation.h"

#include "services/database/database.h"
#include "services/database/serviceerror.h"
#include "services/fingerprint/simulatedfingerprintengine.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSet>
#include <QThread>

#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

using namespace seeding;

constexpr quint32 LargeSeed = 20140101;
// Rows per multi-row INSERT, and bound values per statement (PostgreSQL
// takes 65,535). SQLite's driver looks up every bound value's name among
// all the statement's parameters, a cost that grows with the square of
// their number: there a statement takes a few hundred values only.
constexpr int RowsPerStatement = 500;
constexpr int ValuesPerStatement = 16000;
constexpr int SqliteValuesPerStatement = 256;
// Drivers (with their photos and templates) and vehicles per transaction.
constexpr int MasterRowsPerTransaction = 1000;

const QString Operator = u"王刚"_s;
const QString Inspector = u"李敏"_s;

// Rows of one table gathered into multi-row INSERTs of RowsPerStatement
// rows. The caller runs flush() before its transaction commits.
class BulkInsert {
public:
    BulkInsert(Database &db, const QString &table, const QString &columns)
        : m_db(db), m_table(table), m_columns(columns),
          m_width(int(columns.count(u',')) + 1),
          m_perStatement(qBound(1,
                                (db.backend() == Backend::Sqlite ? SqliteValuesPerStatement : ValuesPerStatement)
                                    / m_width,
                                RowsPerStatement))
    {
        m_full = statement(m_perStatement);
    }

    void add(const QVariantList &row)
    {
        Q_ASSERT(row.size() == m_width);
        m_values += row;
        if (m_values.size() == qsizetype(m_width) * m_perStatement) {
            m_db.exec(m_full, m_values);
            m_written += m_perStatement;
            m_values.clear();
        }
    }

    void flush()
    {
        if (m_values.isEmpty())
            return;
        const int rows = int(m_values.size() / m_width);
        m_db.exec(statement(rows), m_values);
        m_written += rows;
        m_values.clear();
    }

    const QString &table() const { return m_table; }
    qint64 written() const { return m_written; }

private:
    QString statement(int rows) const
    {
        const QString one = u"("_s + placeholders(m_width) + u")"_s;
        QString sql = u"INSERT INTO %1 (%2) VALUES "_s.arg(m_table, m_columns);
        sql.reserve(sql.size() + rows * (one.size() + 2));
        for (int i = 0; i < rows; ++i) {
            if (i)
                sql += u", "_s;
            sql += one;
        }
        return sql;
    }

    Database &m_db;
    QString m_table;
    QString m_columns;
    int m_width;
    int m_perStatement;
    QString m_full;
    QVariantList m_values;
    qint64 m_written = 0;
};

// Percent of a step on the progress stream, at every fifth percent.
class Progress {
public:
    explicit Progress(QTextStream &out) : m_out(out) { m_clock.start(); }

    void begin(const QString &step, qint64 total)
    {
        m_step = step;
        m_total = qMax<qint64>(total, 1);
        m_shown = -1;
    }
    void at(qint64 done, const QString &detail = {})
    {
        const int percent = int(100 * done / m_total);
        if (percent < m_shown + 5 && done < m_total)
            return;
        m_shown = percent;
        m_out << u"%1: %2% (%3/%4)%5  %6 s\n"_s.arg(m_step).arg(percent).arg(done).arg(m_total)
                     .arg(detail.isEmpty() ? QString() : u"  "_s + detail)
                     .arg(m_clock.elapsed() / 1000.0, 0, 'f', 1);
        m_out.flush();
    }

private:
    QTextStream &m_out;
    QElapsedTimer m_clock;
    QString m_step;
    qint64 m_total = 1;
    int m_shown = -1;
};

// Both fingers' templates of drivers [from, to), made on every core: the
// enrolment of a simulated finger is the costly part of a driver.
QStringList enrolTemplates(const QList<Driver> &drivers, int from, int to)
{
    const int count = 2 * (to - from);
    std::vector<QString> texts(size_t(qMax(count, 0)));
    const int workers = qBound(1, QThread::idealThreadCount(), 8);
    std::vector<std::thread> pool;
    for (int w = 0; w < workers; ++w)
        pool.emplace_back([&, w] {
            for (int i = w; i < count; i += workers) {
                const Driver &d = drivers[from + i / 2];
                texts[size_t(i)] = EnrolTemplateTextForFinger(d.id + (i % 2 ? u"/backup"_s : u"/formal"_s), 1);
            }
        });
    for (std::thread &t : pool)
        t.join();
    return QStringList(texts.begin(), texts.end());
}

// A number's place in a fixed shuffle of [0, range): distinct serials give
// distinct numbers (step and range share no factor).
qint64 shuffled(qint64 serial, qint64 step, qint64 offset, qint64 range)
{
    return (serial * step + offset) % range;
}

struct LargeStation {
    Station st;          // companies, models, stops and routes of the demo
    QList<Driver> drivers;
    QList<Vehicle> vehicles;
};

LargeStation buildLargeStation(const LargeSeedSize &size)
{
    LargeStation ls;
    ls.st = buildStation();
    ls.st.drivers.clear();
    ls.st.vehicles.clear();
    QRandomGenerator rng(LargeSeed);
    const int companies = int(ls.st.companies.size());
    const int routes = int(ls.st.routes.size());

    QList<int> regular;
    for (int i = 0; i < size.drivers; ++i) {
        Driver d;
        d.id = u"D%1"_s.arg(i + 1, 5, 10, QChar(u'0'));
        const bool female = rng.bounded(100u) < 15;
        d.name = personName(rng, female);
        d.sex = female ? u"女"_s : u"男"_s;
        d.birthYear = 1966 + int(rng.bounded(30u));
        d.cert = certKind(rng);
        d.company = i % companies;
        d.mobile = i % MobileEvery == MobileEvery - 3;
        d.route = i % routes;
        if (!d.mobile)
            regular << i;
        ls.drivers << d;
    }

    // Each vehicle is driven by one to three regular drivers, taken in turn.
    static const QString plateDigits = u"0123456789"_s;
    int next = 0;
    for (int s = 0; s < size.vehicles; ++s) {
        Vehicle v;
        v.company = s % companies;
        const Company &c = ls.st.companies[v.company];
        v.id = c.code + u"%1"_s.arg(s / companies + 1, 5, 10, QChar(u'0'));
        v.plate = u"粤"_s + c.plateLetter
                  + QString::number(shuffled(s, 7919, 31337, 100000)).rightJustified(5, QChar(u'0'));
        v.card = QString::number(1000000000 + shuffled(s, 7919, 1234567, 9000000000LL));
        v.owner = c.owners.at((s / companies) % int(c.owners.size()));
        v.model = int(rng.bounded(quint32(ls.st.models.size())));
        v.kind = rng.bounded(8u) == 0 ? u"旅游客车"_s : u"班线客车"_s;
        v.route = s % routes;
        const int k = qMin(1 + int(rng.bounded(3u)), int(regular.size()));
        for (int j = 0; j < k; ++j)
            v.drivers << regular[(next + j) % regular.size()];
        next = (next + k) % int(regular.size());
        ls.vehicles << v;
    }
    return ls;
}

QString busId(int trip, int routes)
{
    return u"%1%2"_s.arg(QChar(u'A' + trip % routes)).arg(trip / routes + 1, 4, 10, QChar(u'0'));
}

QString keyOf(const QDate &day, const QString &busId)
{
    return day.toString(Qt::ISODate) + u'|' + busId;
}

// Refuses, before anything is written, keys of the large station that the
// database already holds (a --force run over other data).
void refuseCollisions(Database &db, const LargeStation &ls, const LargeSeedSize &size, const QDate &first,
                      const QDate &last)
{
    const auto existing = [&](const QString &sql, const QVariantList &binds = {}) {
        QSet<QString> keys;
        RecordSet rs = db.select(sql, binds);
        for (int row = 0; row < rs.RecordCount(); ++row)
            keys.insert(rs.row(row).at(0).toString());
        return keys;
    };
    const auto refuse = [](const QString &what, const QString &key) {
        throw ServiceError(svcerr::BadArgument,
                           u"数据库中已有%1“%2”，与要写入的大车站冲突，未写入任何内容"_s.arg(what, key));
    };
    const QSet<QString> drivers = existing(u"SELECT driver_id FROM drivers"_s);
    for (const Driver &d : ls.drivers)
        if (drivers.contains(d.id))
            refuse(u"驾驶员"_s, d.id);
    const QSet<QString> ids = existing(u"SELECT license_id FROM vehicles"_s);
    const QSet<QString> plates = existing(u"SELECT license FROM vehicles UNION SELECT license FROM condition_checks "
                                          u"WHERE station_code = ?"_s,
                                          {QString::fromUtf16(demo::StationCode)});
    const QSet<QString> cards = existing(u"SELECT ic_card_id FROM vehicles WHERE ic_card_id <> ''"_s);
    for (const Vehicle &v : ls.vehicles) {
        if (ids.contains(v.id))
            refuse(u"车辆"_s, v.id);
        if (plates.contains(v.plate))
            refuse(u"车牌"_s, v.plate);
        if (cards.contains(v.card))
            refuse(u"IC 卡"_s, v.card);
    }
    QSet<QString> codes;
    for (int k = 0; k < size.tripsPerDay; ++k)
        codes.insert(busId(k, int(ls.st.routes.size())));
    RecordSet rs = db.select(u"SELECT bus_date, bus_id FROM trips WHERE station_code = ? AND bus_date BETWEEN ? AND ?"_s,
                             {QString::fromUtf16(demo::StationCode), first, last},
                             {{u"bus_date"_s, FieldType::DateTime, 0}});
    for (int row = 0; row < rs.RecordCount(); ++row)
        if (codes.contains(rs.row(row).at(1).toString()))
            refuse(u"车次"_s, keyOf(rs.row(row).at(0).toDate(), rs.row(row).at(1).toString()));
}

void seedDrivers(Database &db, const LargeStation &ls, const QDate &last, Progress &progress, LargeSeedResult &r)
{
    BulkInsert drivers(db, u"drivers"_s, DriverColumns);
    const int n = int(ls.drivers.size());
    progress.begin(u"驾驶员 drivers（照片和两枚指纹）"_s, n);
    qint64 pictures = 0;
    for (int from = 0; from < n; from += MasterRowsPerTransaction) {
        const int to = qMin(n, from + MasterRowsPerTransaction);
        const QStringList templates = enrolTemplates(ls.drivers, from, to);
        db.transact([&] {
            for (int i = from; i < to; ++i) {
                const Driver &d = ls.drivers[i];
                const qint64 photo = db.insert(u"INSERT INTO pictures (file_name, data) VALUES (?, ?)"_s,
                                               {d.id + u".png"_s, driverPhoto(d.name, i)});
                ++pictures;
                drivers.add(driverValues(ls.st, d, i, last, photo, templates[2 * (i - from)],
                                         templates[2 * (i - from) + 1]));
            }
            drivers.flush();
        });
        progress.at(to);
    }
    r.rows.append({u"pictures"_s, pictures});
    r.rows.append({drivers.table(), drivers.written()});
}

void seedVehicles(Database &db, const LargeStation &ls, const QDate &first, const QDate &last, Progress &progress,
                  LargeSeedResult &r)
{
    BulkInsert vehicles(db, u"vehicles"_s, VehicleColumns);
    BulkInsert arrangements(db, u"arrangements"_s, ArrangementColumns);
    const QDate hired = last.addYears(-3);
    const QDate from = first.addDays(-30);
    const QDate to = last.addYears(1);
    const int n = int(ls.vehicles.size());
    progress.begin(u"车辆和排班 vehicles, arrangements"_s, n);
    for (int start = 0; start < n; start += MasterRowsPerTransaction) {
        const int end = qMin(n, start + MasterRowsPerTransaction);
        db.transact([&] {
            // The vehicles first: an arrangement refers to its vehicle.
            for (int i = start; i < end; ++i)
                vehicles.add(vehicleValues(ls.st, ls.vehicles[i], hired));
            vehicles.flush();
            for (int i = start; i < end; ++i) {
                const Vehicle &v = ls.vehicles[i];
                for (int d : v.drivers)
                    arrangements.add({v.id, ls.drivers[d].id, ls.drivers[d].name, from, to, u""_s});
            }
            arrangements.flush();
        });
        progress.at(end);
    }
    r.rows.append({vehicles.table(), vehicles.written()});
    r.rows.append({arrangements.table(), arrangements.written()});
}

// The writers of one day's trips and checks.
struct DayWriters {
    explicit DayWriters(Database &db)
        : trips(db, u"trips"_s,
                u"station_code, bus_date, bus_id, bus_start_time, unit_code, route_id, route_name, end_station_id, "
                u"end_station_name, check_gate_id, bus_type_name, license_id, license_tag_no, vehicle_type_code, "
                u"vehicle_type_name, total_seat, transport_company_id, transport_company_short_name, sale_num, "
                u"check_num, driver_verify_status, scheme_status, scheme_time, scheme_operator, out_status, "
                u"exit_time, out_operator"_s),
          checkins(db, u"driver_checkins"_s,
                   u"station_code, bus_date, bus_id, driver_run_id, driver_run_name, driver_report_time, route_id, license, "
                   u"operator_name, is_driver"_s),
          conditions(db, u"condition_checks"_s,
                     u"station_code, license_id, license, ic_card_id, check_date, cond_index, cond_status, cond_checker, "
                     u"cond_time, check_cause, started_at"_s),
          sheets(db, u"route_sheet_issues"_s,
                 u"station_code, bus_date, bus_id, bus_serial_no, license, operator_name, unit_code, issue_time"_s),
          departures(db, u"departures"_s,
                     u"station_code, bus_date, bus_id, license, ic_card_id, status, manual, operator_name, decided_at, "
                     u"unit_code"_s),
          forced(db, u"forced_releases"_s,
                 u"station_code, bus_date, bus_id, license_id, driver_id, pass_type, operator_name, operate_time, cause, "
                 u"unit_code"_s)
    {
    }
    QList<BulkInsert *> all() { return {&trips, &checkins, &conditions, &sheets, &departures, &forced}; }
    void flush()
    {
        for (BulkInsert *w : all())
            w->flush();
    }

    BulkInsert trips, checkins, conditions, sheets, departures, forced;
};

// One day of the timetable: tripsPerDay trips from 05:30 to 22:30 over the
// routes and the four gates, the vehicles taking turns from day to day.
// Each vehicle that runs has one condition check an hour before its first
// trip (one in fifty fails: its trips stay in the station). What has
// happened by now is recorded: trips past their time have left with their
// check-ins (one in forty with a driver let through by hand when his
// fingerprint was not recognised), route sheet and departure; trips within
// the hour are being checked; later ones are on sale.
void seedDay(const LargeStation &ls, const LargeSeedSize &size, qint64 dayIndex, const QDate &day,
             const QDateTime &now, DayWriters &w)
{
    QRandomGenerator rng(LargeSeed ^ quint32(day.toJulianDay()));
    const QString unit = QString::fromUtf16(demo::UnitCode);
    const QString station = QString::fromUtf16(demo::StationCode);
    const QDateTime midnight = day.startOfDay();
    const int routes = int(ls.st.routes.size());
    const int vehicleCount = int(ls.vehicles.size());
    const int tripCount = size.tripsPerDay;

    const auto startOf = [&](int k) {
        return midnight.addSecs(60 * (5 * 60 + 30 + qint64(k) * 17 * 60 / tripCount));
    };
    const auto vehicleOf = [&](int k) { return int((k + dayIndex * tripCount) % vehicleCount); };

    // The condition checks, in the order of the vehicles' first trips.
    std::vector<char> seen(size_t(vehicleCount), 0);
    std::vector<char> passed(size_t(vehicleCount), 0);
    int checked = 0;
    for (int k = 0; k < tripCount; ++k) {
        const int vi = vehicleOf(k);
        if (seen[size_t(vi)])
            continue;
        seen[size_t(vi)] = 1;
        const Vehicle &v = ls.vehicles[vi];
        const QDateTime at = startOf(k).addSecs(-60 * 60 + 60 * (checked++ % 20));
        const bool fails = rng.bounded(50u) == 0;
        if (at >= now)
            continue;
        passed[size_t(vi)] = !fails;
        w.conditions.add({station, v.id, v.plate, v.card, midnight, 1, fails ? 2 : 1, Inspector, at,
                          fails ? u"制动系统"_s : QString(), at.addSecs(-300)});
    }

    for (int k = 0; k < tripCount; ++k) {
        const Route &route = ls.st.routes[k % routes];
        const QString id = busId(k, routes);
        const QDateTime start = startOf(k);
        const int vi = vehicleOf(k);
        const Vehicle &v = ls.vehicles[vi];
        const Model &model = ls.st.models[v.model];
        const Company &company = ls.st.companies[v.company];

        const bool past = start.addSecs(10 * 60) < now;
        const bool departed = past && passed[size_t(vi)];
        const bool boarding = !past && start.addSecs(-60 * 60) < now;
        const int seats = qMax(model.seats, 1);
        int sold = seats / 3 + int(rng.bounded(quint32(seats - seats / 3 + 1)));
        if (!past && !boarding)
            sold = int(rng.bounded(quint32(seats / 2 + 1)));
        const int boarded = departed ? sold : boarding ? sold * int(rng.bounded(90u)) / 100 : 0;

        // The drivers checked in: all of them once the trip's time is past.
        int reporting = int(v.drivers.size());
        if (boarding)
            reporting = qMin(reporting, int(rng.bounded(quint32(reporting + 1))));
        else if (!past)
            reporting = 0;
        const bool forcedDriver = past && reporting > 0 && rng.bounded(40u) == 0;
        int lamp = 0;
        for (int j = 0; j < reporting; ++j) {
            const Driver &d = ls.drivers[v.drivers[j]];
            const bool byHand = forcedDriver && j == reporting - 1;
            QDateTime at = start.addSecs(-40 * 60 + 90 * j + (byHand ? 5 * 60 : 0));
            if (at >= now)
                break;
            w.checkins.add({station, midnight, id, d.id, d.name, at, route.id, v.plate, Operator, 1});
            if (byHand)
                w.forced.add({station, midnight, id, v.id, d.id, 3, Operator, at, u"指纹无法识别"_s, unit});
            lamp = byHand ? 5 : qMax(lamp, 1);
        }

        const QDateTime sheetTime = start.addSecs(-15 * 60);
        const bool sheet = departed
                           || (boarding && lamp > 0 && passed[size_t(vi)] && sheetTime < now && rng.bounded(2u) == 0);
        const QDateTime exitTime = start.addSecs(60);
        w.trips.add({station, midnight, id, start, unit, route.id, route.name, route.stops.last(),
                     stationName(ls.st, route.stops.last()), u"G%1"_s.arg(1 + k % 4, 2, 10, QChar(u'0')), u"正班"_s,
                     v.id, v.plate, model.code, model.name, model.seats, company.code, company.shortName, sold,
                     boarded, lamp, sheet ? 1 : 0, sheet ? QVariant(sheetTime) : QVariant(),
                     sheet ? QVariant(Operator) : QVariant(), departed ? 1 : 0,
                     departed ? QVariant(exitTime) : QVariant(), departed ? QVariant(Operator) : QVariant()});
        if (sheet)
            w.sheets.add({station, midnight, id, QVariant(), v.plate, Operator, unit, sheetTime});
        if (departed)
            w.departures.add({station, midnight, id, v.plate, v.card, 1, 0, Operator, exitTime, unit});
    }
}

} // namespace

QString LargeSeedSize::check() const
{
    const auto outside = [](const QString &name, qint64 value, qint64 most) {
        return value < 1 || value > most ? u"%1 应在 1 到 %2 之间，收到 %3"_s.arg(name).arg(most).arg(value)
                                         : QString();
    };
    for (const QString &problem : {outside(u"--days"_s, days, MaxDays),
                                   outside(u"--trips-per-day"_s, tripsPerDay, MaxTripsPerDay),
                                   outside(u"--drivers"_s, drivers, MaxDrivers),
                                   outside(u"--vehicles"_s, vehicles, MaxVehicles)})
        if (!problem.isEmpty())
            return problem;
    if (qint64(days) * tripsPerDay > MaxTrips)
        return u"--days × --trips-per-day 共 %1 个车次，超过上限 %2"_s.arg(qint64(days) * tripsPerDay).arg(MaxTrips);
    return {};
}

LargeSeedResult seedLargeStation(Database &db, const LargeSeedSize &size, const QDate &lastDay,
                                 QTextStream &progressOut)
{
    const QString problem = size.check();
    if (!problem.isEmpty())
        throw ServiceError(svcerr::BadArgument, problem);
    LargeSeedResult r;
    Progress progress(progressOut);
    const QDate first = lastDay.addDays(1 - size.days);
    const LargeStation ls = buildLargeStation(size);
    refuseCollisions(db, ls, size, first, lastDay);

    // From here every transaction that has committed stays: a failure says so.
    try {
        db.transact([&] { seedReferenceData(db, ls.st); });
        seedDrivers(db, ls, lastDay, progress, r);
        seedVehicles(db, ls, first, lastDay, progress, r);

        DayWriters w(db);
        const QDateTime now = QDateTime::currentDateTime();
        progress.begin(u"车次和检查记录 trips, checks（天）"_s, size.days);
        for (int d = 0; d < size.days; ++d) {
            const QDate day = first.addDays(d);
            db.transact([&] {
                seedDay(ls, size, d, day, now, w);
                w.flush();
            });
            progress.at(d + 1, u"%1，车次 %2"_s.arg(day.toString(Qt::ISODate)).arg(w.trips.written()));
        }
        for (BulkInsert *writer : w.all())
            r.rows.append({writer->table(), writer->written()});
    } catch (const AppError &e) {
        throw ServiceError(e.number(), e.description()
                                           + u"\n大车站没有写完，已写入的部分留在数据库中；"
                                             u"请换一个空数据库重新写入"_s);
    }
    return r;
}

} // namespace cg
