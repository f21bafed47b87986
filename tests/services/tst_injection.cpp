// Hostile filter and ORDER BY texts through every service operation that
// takes one, on a seeded demo station on both backends. Each must be refused
// as a bad fragment before any SQL runs, and afterwards every table holds
// exactly what it held before. Texts that carry SQL inside a quoted literal
// are legal filters: they are bound as values, match nothing, and change
// nothing.

#include "dbtestenv.h"
#include "support/fixturetime.h"
#include "services/checks/checkservice.h"
#include "services/database/fragment.h"
#include "services/database/serviceerror.h"
#include "services/masterdata/driverservice.h"
#include "services/masterdata/vehicleservice.h"
#include "services/scheduling/arrangementservice.h"
#include "core/dates.h"
#include "tools/admin.h"

#include <QCryptographicHash>
#include <QtTest>

#include <functional>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

const QString kCtx = u"[%1][%2][%3][0]"_s.arg(QString::fromUtf16(demo::OperatorCode),
                                               QString::fromUtf16(demo::StationCode),
                                               QString::fromUtf16(demo::UnitCode));

struct Hostile {
    QString name;
    QString text;
};

// Filters no operation may accept. `name` stands for a text column of the
// operation (driver_name, v.license, ...), so each entry is tried in the
// operation's own terms.
QList<Hostile> hostileFilters(const QString &name)
{
    const QString megabyte(1 << 20, u'x');
    QList<Hostile> list = {
        // stacked statements
        {u"stacked delete"_s, u"1=1; DELETE FROM drivers"_s},
        {u"stacked drop after a condition"_s, name + u" = 'a'; DROP TABLE vehicles"_s},
        {u"stacked update, no space"_s, u"1=1;UPDATE trips SET out_status=1"_s},
        {u"lone semicolon"_s, u";"_s},
        {u"full-width semicolon"_s, u"1=1；DELETE FROM drivers"_s},
        // comments
        {u"line comment"_s, u"1=1 --"_s},
        {u"comment eats the rest"_s, name + u" = 'a' --' OR 1=1"_s},
        {u"block comment"_s, u"1=1 /* x */"_s},
        {u"block comment end"_s, u"1=1 */"_s},
        {u"hash comment"_s, u"1=1 # x"_s},
        // subqueries and set operations
        {u"subquery"_s, name + u" = (SELECT operator_name FROM operators)"_s},
        {u"union"_s, u"1=1 UNION SELECT operator_code FROM operators"_s},
        {u"exists"_s, u"EXISTS (SELECT 1 FROM operators)"_s},
        {u"closing the caller's parenthesis"_s, u"1=1) OR (1=1"_s},
        {u"closing and unioning"_s, u"1=1) UNION SELECT * FROM operators WHERE (1=1"_s},
        // function calls
        {u"sleep"_s, u"pg_sleep(5) = 1"_s},
        {u"sleep after AND"_s, u"1=1 AND pg_sleep (5) = 1"_s},
        {u"randomblob"_s, u"randomblob(100000000) = 'a'"_s},
        {u"lower"_s, u"lower("_s + name + u") = 'a'"_s},
        {u"cast"_s, u"CAST(1 AS TEXT) = '1'"_s},
        {u"setting"_s, u"current_setting('is_superuser') = 'on'"_s},
        // columns and tables not offered
        {u"unknown column"_s, u"password = 'x'"_s},
        {u"another table's column"_s, u"operators.operator_code = 'wg'"_s},
        {u"catalog"_s, u"sqlite_master.sql = 'x'"_s},
        {u"quoted identifier"_s, u"\"drivers\".\"driver_name\" = 'x'"_s},
        {u"square-bracket identifier"_s, u"[driver_name] = 'x'"_s},
        // keywords outside the grammar
        {u"IS NULL"_s, name + u" IS NULL"_s},
        {u"IN list"_s, name + u" IN ('a', 'b')"_s},
        {u"BETWEEN"_s, u"1 BETWEEN 0 AND 2"_s},
        {u"CASE"_s, u"CASE WHEN 1=1 THEN 1 END = 1"_s},
        {u"COLLATE"_s, name + u" = 'a' COLLATE \"C\""_s},
        {u"ESCAPE"_s, name + u" LIKE 'a' ESCAPE '!'"_s},
        // quotes
        {u"unterminated"_s, name + u" = 'abc"_s},
        {u"lone apostrophe"_s, u"'"_s},
        {u"join without its text"_s, name + u" = 'a'+\"'\""_s},
        {u"backslash does not escape"_s, name + u" = 'a\\' OR 1=1 --'"_s},
        {u"double quotes as text"_s, name + u" = \"a\""_s},
        {u"dollar quoting"_s, name + u" = $$a$$"_s},
        {u"concatenation"_s, name + u" = 'a' || 'b'"_s},
        // bytes that have no place in a filter
        {u"NUL before a statement"_s, u"1=1"_s + QChar(0) + u"; DELETE FROM drivers"_s},
        {u"NUL between conditions"_s, u"1=1 "_s + QChar(0) + u" OR 1=1"_s},
        {u"NUL alone"_s, QString(1, QChar(0))},
        {u"NUL inside a text"_s, name + u" = 'a"_s + QChar(0) + u"b'"_s},
        {u"escape character"_s, u"1=1"_s + QChar(0x1b)},
        {u"substitute character"_s, u"1=1"_s + QChar(0x1a)},
        {u"right-to-left override"_s, u"1=1 "_s + QChar(0x202e) + u" OR 1=1"_s},
        {u"lone surrogate"_s, u"1=1 "_s + QChar(0xd800)},
        // size
        {u"megabyte of nesting"_s, QString(1 << 19, u'(') + u"1=1"_s + QString(1 << 19, u')')},
        {u"nesting deeper than allowed, short"_s, QString(200, u'(') + u"1=1"_s + QString(200, u')')},
        {u"NOT nested deeper than allowed"_s, u"NOT "_s.repeated(300) + u"1=1"_s},
        {u"megabyte text"_s, name + u" = '"_s + megabyte + u"'"_s},
        {u"megabyte of OR"_s, u"1=1"_s + u" OR 1=1"_s.repeated(150000)},
        {u"one over the length limit"_s, name + u" = '"_s + QString(MaxFragmentLength - name.size() - 4, u'a') + u"'"_s},
    };
    return list;
}

QList<Hostile> hostileOrders(const QString &name)
{
    return {
        {u"stacked"_s, name + u"; DROP TABLE drivers"_s},
        {u"comment"_s, name + u" --"_s},
        {u"block comment"_s, name + u" /* */"_s},
        {u"subquery"_s, u"(SELECT 1)"_s},
        {u"function"_s, u"random()"_s},
        {u"position"_s, u"1"_s},
        {u"CASE"_s, u"CASE WHEN 1=1 THEN 1 END"_s},
        {u"COLLATE"_s, name + u" COLLATE \"C\""_s},
        {u"NULLS LAST"_s, name + u" DESC NULLS LAST"_s},
        {u"unknown column"_s, u"password"_s},
        {u"another table"_s, u"operators.operator_code"_s},
        {u"NUL"_s, name + QChar(0) + u"; DELETE FROM drivers"_s},
        {u"megabyte"_s, QString(1 << 20, u'a')},
        {u"many columns"_s, (name + u", "_s).repeated(100000) + name},
    };
}

// An operation that takes a filter or an ORDER BY, with the column its
// texts are written in.
struct Entry {
    QString name;
    QString column;
    enum Slot { Filter, Order } slot;
    std::function<void(const QString &)> call;
};

// Every row of every table, as one digest per table.
QMap<QString, QByteArray> snapshot(Database &db)
{
    const QString tablesSql = db.backend() == Backend::Sqlite
        ? u"SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY name"_s
        : u"SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema() "
          u"AND table_type = 'BASE TABLE' ORDER BY table_name"_s;
    const RecordSet tables = db.select(tablesSql);
    QMap<QString, QByteArray> out;
    for (int t = 0; t < tables.RecordCount(); ++t) {
        const QString table = tables.row(t).at(0).toString();
        const RecordSet rows = db.select(u"SELECT * FROM "_s + table);
        QStringList lines;
        for (int r = 0; r < rows.RecordCount(); ++r) {
            QStringList cells;
            for (const QVariant &v : rows.row(r))
                cells << (v.isValid() ? v.toString() : u"<null>"_s);
            lines << cells.join(QChar(0x1f));
        }
        lines.sort();
        out.insert(table, QCryptographicHash::hash(lines.join(QChar(0x1e)).toUtf8(), QCryptographicHash::Sha256)
                              + QByteArray::number(lines.size()));
    }
    return out;
}

} // namespace

class TstInjection : public QObject {
    Q_OBJECT
private slots:
    void hostileTextsAreRefusedAndChangeNothing_data() { test::TestDatabase::addBackendRows(); }
    void hostileTextsAreRefusedAndChangeNothing();
    void sqlInsideALiteralIsAValue_data() { test::TestDatabase::addBackendRows(); }
    void sqlInsideALiteralIsAValue();
};

namespace {

// The demo station of the fixture day on a fresh database, with the
// services whose operations take filter and ORDER BY texts.
struct DemoStation {
    explicit DemoStation(Database &database)
        : db(database), drivers(db, test::fixtureClock()), vehicles(db, test::fixtureClock()), arrangements(db),
          checks(db, test::fixtureClock())
    {
        db.migrate();
        seedDemoStation(db, test::fixtureDay());
    }
    QList<Entry> entries();

    Database &db;
    DriverService drivers;
    VehicleService vehicles;
    ArrangementService arrangements;
    CheckService checks;
};

QList<Entry> DemoStation::entries()
{
    const QDateTime today = test::fixtureNow();
    QList<Entry> list;
    list.append({u"QueryDrivers"_s, u"driver_name"_s, Entry::Filter,
                 [this](const QString &t) { drivers.QueryDrivers(kCtx, t, QString()); }});
    list.append({u"QueryDrivers"_s, u"driver_name"_s, Entry::Order,
                 [this](const QString &t) { drivers.QueryDrivers(kCtx, QString(), t); }});
    list.append({u"QueryDriverList"_s, u"driver_name"_s, Entry::Filter,
                 [this](const QString &t) { drivers.QueryDriverList(kCtx, t, QString()); }});
    list.append({u"QueryDriverList"_s, u"driver_name"_s, Entry::Order,
                 [this](const QString &t) { drivers.QueryDriverList(kCtx, QString(), t); }});
    list.append({u"QueryVehicles"_s, u"license"_s, Entry::Filter,
                 [this](const QString &t) { vehicles.QueryVehicles(kCtx, t, QString(), NoDate(), true); }});
    list.append({u"QueryVehicles"_s, u"license"_s, Entry::Order,
                 [this](const QString &t) { vehicles.QueryVehicles(kCtx, QString(), t, NoDate(), true); }});
    list.append({u"QueryArrangements"_s, u"vd.driver_name"_s, Entry::Filter, [this](const QString &t) {
                     arrangements.QueryArrangements(kCtx, t, QString(), QString(), NoDate(), QString());
                 }});
    list.append({u"QueryArrangements"_s, u"vd.driver_name"_s, Entry::Order, [this](const QString &t) {
                     arrangements.QueryArrangements(kCtx, QString(), QString(), QString(), NoDate(), t);
                 }});
    list.append({u"QueryConditionCheckVehicles filter"_s, u"v.license"_s, Entry::Filter, [this, today](const QString &t) {
                     checks.QueryConditionCheckVehicles(kCtx, today, QString(), t, QString(), QString(), false);
                 }});
    list.append({u"QueryConditionCheckVehicles extra"_s, u"v.license"_s, Entry::Filter, [this, today](const QString &t) {
                     checks.QueryConditionCheckVehicles(kCtx, today, QString(), QString(), QString(), t, false);
                 }});
    list.append({u"QueryConditionCheckVehicles"_s, u"v.license"_s, Entry::Order, [this, today](const QString &t) {
                     checks.QueryConditionCheckVehicles(kCtx, today, QString(), QString(), t, QString(), false);
                 }});
    return list;
}

} // namespace

void TstInjection::hostileTextsAreRefusedAndChangeNothing()
{
    CG_FRESH_DB(db);
    DemoStation station(db);
    const QMap<QString, QByteArray> before = snapshot(db);
    QVERIFY(before.size() > 20);

    QStringList faults;
    int tried = 0;
    for (const Entry &e : station.entries()) {
        const QList<Hostile> corpus = e.slot == Entry::Filter ? hostileFilters(e.column) : hostileOrders(e.column);
        for (const Hostile &h : corpus) {
            ++tried;
            const QString where = e.name + (e.slot == Entry::Filter ? u" filter, "_s : u" order, "_s) + h.name;
            try {
                e.call(h.text);
                faults << where + u": accepted"_s;
            } catch (const ServiceError &err) {
                if (err.number() != svcerr::BadFragment)
                    faults << where + u": refused as %1 (%2)"_s.arg(err.number()).arg(err.description().left(120));
                else if (err.description().size() > 400)
                    faults << where + u": the message repeats the text (%1 characters)"_s.arg(err.description().size());
            } catch (const std::exception &err) {
                faults << where + u": "_s + QString::fromUtf8(err.what());
            }
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    QVERIFY(tried > 300);

    // The connection is still good for the next honest query, and nothing moved.
    QVERIFY(station.drivers.QueryDriverList(kCtx, u" 1=1 "_s, u" driver_name "_s).RecordCount() > 0);
    const QMap<QString, QByteArray> after = snapshot(db);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(u"table "_s + it.key() + u" changed"_s));
    QCOMPARE(after.keys(), before.keys());
}

void TstInjection::sqlInsideALiteralIsAValue()
{
    CG_FRESH_DB(db);
    DemoStation station(db);
    const QMap<QString, QByteArray> before = snapshot(db);

    const QStringList payloads = {
        u"'x'';DELETE FROM drivers;--'"_s,
        u"'x'+\"'\"+'; DROP TABLE vehicles; --'"_s,
        u"'%'+\"'\"+' OR 1=1 --'"_s,
        u"'); DELETE FROM trips; --'"_s,
        u"'$$; DELETE FROM drivers; $$'"_s,
        u"'粤A"_s + QChar(0x202e) + u"1234'"_s,
    };
    QStringList faults;
    for (const Entry &e : station.entries()) {
        if (e.slot != Entry::Filter)
            continue;
        for (const QString &p : payloads) {
            for (const QString &op : {u" = "_s, u" LIKE "_s}) {
                const QString fragment = u" 1=1  AND "_s + e.column + op + p;
                try {
                    e.call(fragment);
                } catch (const std::exception &err) {
                    faults << e.name + u" "_s + fragment + u": "_s + QString::fromUtf8(err.what());
                }
            }
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    QCOMPARE(snapshot(db), before);
}

QTEST_GUILESS_MAIN(TstInjection)
#include "tst_injection.moc"
