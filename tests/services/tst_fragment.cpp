// Filter fragments as the screens build them, compiled and executed against
// a small vehicle/driver table on SQLite and on PostgreSQL (CG_TEST_PG).

#include "core/sqlliteral.h"
#include "services/database/database.h"
#include "services/database/fragment.h"
#include "services/database/serviceerror.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

using Ids = QList<int>;

const Ids All{1, 2, 3, 4, 5};

// License, license_id, driver_id, driver_no, driver_name, ic_card_id,
// route_id, drive_type, unit_id, status, cond_status, service_kind, bus_date.
const QList<QVariantList> FixtureRows = {
    {1, u"粤A12345"_s, u"K001"_s, u"01"_s, u"12"_s, u"张三"_s, u"0123456789"_s, u"R01"_s, u"机动"_s,
     u"440101"_s, 0, 2, u"临时"_s, u"2026-12-09 00:00:00"_s},
    {2, u"A1999"_s, u"K002"_s, u"101"_s, u"212"_s, u"李四"_s, u"123"_s, u"R02"_s, u"固定"_s,
     u"440101"_s, 0, 0, u"班车"_s, u"2026-12-08 00:00:00"_s},
    {3, u"xa1"_s, u"K0012"_s, u"02"_s, u"1"_s, u"王五"_s, u"9999999999"_s, u"R01"_s, u"机动"_s,
     u"440102"_s, 0, 2, u"临时加班"_s, u"2026-12-10 08:30:00"_s},
    {4, u"O'K"_s, u"K003"_s, u"D01"_s, u"120"_s, u"O'Brien's 张"_s, QVariant(), u"R03"_s, u"机动"_s,
     u"440101"_s, 0, 1, u"班车"_s, u"2026-12-09 00:00:00"_s},
    {5, u"BX\\9"_s, u"K004"_s, u"10"_s, u"10"_s, u"赵六"_s, u"0000000000"_s, QVariant(), u"固定"_s,
     u"440101"_s, 1, 0, QVariant(), QVariant()},
};

// The columns as the vehicle, driver and arrangement operations offer them,
// with their v./vd. aliases; is_cond is a computed column.
ColumnMap fixtureColumns()
{
    ColumnMap m;
    for (const QString &c : {u"license"_s, u"license_id"_s, u"driver_id"_s, u"driver_name"_s})
        m.add(c, c).add(u"v."_s + c, c).add(u"vd."_s + c, c);
    for (const QString &c : {u"driver_no"_s, u"ic_card_id"_s, u"route_id"_s, u"drive_type"_s,
                             u"unit_id"_s, u"service_kind"_s})
        m.add(c, c);
    m.add(u"status"_s, u"status"_s, ColumnType::Integer)
        .add(u"cond_status"_s, u"cond_status"_s, ColumnType::Integer)
        .add(u"is_cond"_s, u"CASE WHEN cond_status = 2 THEN 1 ELSE 0 END"_s, ColumnType::Integer)
        .add(u"bus_date"_s, u"bus_date"_s, ColumnType::DateTime)
        .add(u"cond_time1"_s, u"bus_date"_s, ColumnType::DateTime);
    return m;
}

QString backendName(Backend b)
{
    return b == Backend::Sqlite ? u"sqlite"_s : u"pg"_s;
}

} // namespace

class tst_fragment : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void screenFragmentsSelectExpectedRows_data();
    void screenFragmentsSelectExpectedRows();
    void apostropheTextsRoundTrip_data();
    void apostropheTextsRoundTrip();
    void refusedBeforeAnySql_data();
    void refusedBeforeAnySql();
    void acceptedFragmentsAlwaysRun();
    void orderByAccepted_data();
    void orderByAccepted();
    void orderByRefused_data();
    void orderByRefused();

private:
    bool useBackend(Backend b);
    QString table(Backend b) const;
    Ids select(Backend b, const CompiledSql &where, const QString &orderBy = QString());
    QString fingerprint(Backend b);

    bool m_pg = false;
    QString m_schema;
};

void tst_fragment::initTestCase()
{
    const QString cols = u"(id INTEGER PRIMARY KEY, license TEXT, license_id TEXT, driver_id TEXT,"
                         " driver_no TEXT, driver_name TEXT, ic_card_id TEXT, route_id TEXT,"
                         " drive_type TEXT, unit_id TEXT, status INTEGER, cond_status INTEGER,"
                         " service_kind TEXT, bus_date %1)"_s;
    QSqlDatabase lite = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"sqlite"_s);
    lite.setDatabaseName(u":memory:"_s);
    QVERIFY(lite.open());
    QVERIFY(QSqlQuery(lite).exec(u"CREATE TABLE fx "_s + cols.arg(u"TEXT"_s)));

    const QString conninfo = qEnvironmentVariable("CG_TEST_PG");
    if (!conninfo.isEmpty()) {
        QSqlDatabase pg = QSqlDatabase::addDatabase(u"QPSQL"_s, u"pg"_s);
        QStringList options;
        for (const QString &pair : conninfo.split(u' ', Qt::SkipEmptyParts)) {
            const QString key = pair.section(u'=', 0, 0), value = pair.section(u'=', 1);
            if (key == u"host"_s) pg.setHostName(value);
            else if (key == u"port"_s) pg.setPort(value.toInt());
            else if (key == u"dbname"_s) pg.setDatabaseName(value);
            else if (key == u"user"_s) pg.setUserName(value);
            else if (key == u"password"_s) pg.setPassword(value);
            else options << pair;
        }
        pg.setConnectOptions(options.join(u';'));
        QVERIFY2(pg.open(), qPrintable(pg.lastError().text()));
        m_schema = u"cg_fragment_test_%1"_s.arg(QCoreApplication::applicationPid());
        QSqlQuery q(pg);
        QVERIFY(q.exec(u"DROP SCHEMA IF EXISTS %1 CASCADE"_s.arg(m_schema)));
        QVERIFY(q.exec(u"CREATE SCHEMA "_s + m_schema));
        QVERIFY2(q.exec(u"CREATE TABLE %1.fx "_s.arg(m_schema) + cols.arg(u"TIMESTAMP"_s)),
                 qPrintable(q.lastError().text()));
        m_pg = true;
    }
    for (Backend b : {Backend::Sqlite, Backend::Postgres}) {
        if (b == Backend::Postgres && !m_pg)
            continue;
        QSqlQuery q(QSqlDatabase::database(backendName(b)));
        QVERIFY(q.prepare(u"INSERT INTO %1 VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)"_s.arg(table(b))));
        for (const QVariantList &row : FixtureRows) {
            for (const QVariant &v : row)
                q.addBindValue(v);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        }
    }
}

void tst_fragment::cleanupTestCase()
{
    if (m_pg)
        QSqlQuery(QSqlDatabase::database(u"pg"_s)).exec(u"DROP SCHEMA %1 CASCADE"_s.arg(m_schema));
}

bool tst_fragment::useBackend(Backend b)
{
    if (b == Backend::Sqlite || m_pg)
        return true;
    return false;
}

QString tst_fragment::table(Backend b) const
{
    return b == Backend::Sqlite ? u"fx"_s : m_schema + u".fx"_s;
}

Ids tst_fragment::select(Backend b, const CompiledSql &where, const QString &orderBy)
{
    QString sql = u"SELECT id FROM "_s + table(b);
    if (!where.sql.isEmpty())
        sql += u" WHERE "_s + where.sql;
    sql += u" ORDER BY "_s + (orderBy.isEmpty() ? u"id"_s : orderBy);
    QSqlQuery q(QSqlDatabase::database(backendName(b)));
    Ids ids;
    if (!q.prepare(sql))
        return {-1};
    for (const QVariant &v : where.binds)
        q.addBindValue(v);
    if (!q.exec()) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return {-1};
    }
    while (q.next())
        ids << q.value(0).toInt();
    return ids;
}

QString tst_fragment::fingerprint(Backend b)
{
    QSqlQuery q(QSqlDatabase::database(backendName(b)));
    if (!q.exec(u"SELECT COUNT(*), SUM(status), MIN(license), MAX(driver_name) FROM "_s + table(b)) || !q.next())
        return u"(fixture table unreadable)"_s;
    return u"%1/%2/%3/%4"_s.arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                q.value(3).toString());
}

#define SKIP_UNLESS_BACKEND(b)                                                   \
    if (!useBackend(b)) {                                                        \
        if (qEnvironmentVariable("CG_REQUIRE_PG") == u"1"_s)                     \
            QFAIL("CG_REQUIRE_PG=1 but CG_TEST_PG holds no PostgreSQL conninfo"); \
        QSKIP("CG_TEST_PG is not set");                                          \
    }

void tst_fragment::screenFragmentsSelectExpectedRows_data()
{
    QTest::addColumn<Backend>("backend");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<Ids>("expected");
    const QList<std::pair<QString, Ids>> rows = {
        // As the screens build them.
        {u" 1=1 "_s, All},
        {u"1=1"_s, All},
        {u" 1=1  AND ( v.license LIKE '%A1%' OR v.license LIKE 'A1%' OR v.license LIKE '%A1' OR v.license = 'A1') AND status= 0"_s, {1, 2, 3}},
        {u" ic_card_id = '0123456789'"_s, {1}},
        {u" license like '%A1%'"_s, {1, 2, 3}},
        {u" license_id='K001'"_s, {1}},
        {u" driver_id='D01'"_s, {4}},
        {u"  route_id = 'R01'"_s, {1, 3}},
        {u"  drive_type='机动'  AND  unit_id = '440101'"_s, {1, 4}},
        {u"( is_cond=1 or   bus_date= '2026-12-09 00:00:00')"_s, {1, 3, 4}},
        {u"( is_cond=1)"_s, {1, 3}},
        {u" v.license = '粤A12345'"_s, {1}},
        {u"1=1 AND (driver_no LIKE '%12%' OR driver_no LIKE '%12' OR driver_no LIKE '12%' OR driver_no = '12')"_s, {1, 2, 4}},
        {u" 1=1  AND Status = 0"_s, {1, 2, 3, 4}},
        {u" 1=1 "_s + u" AND  ic_card_id = '123'"_s, {2}},
        {u" AND service_kind = '临时'"_s, {1}},
        {u" 1=1 AND cond_status = 2"_s, {1, 3}},
        {u" 1=1 AND service_kind like '%临时%' "_s, {1, 3}},
        {u" 1=1  AND(vd.driver_id = '01' OR vd.driver_id LIKE '%01%' OR vd.driver_id LIKE '%01' OR vd.driver_id LIKE '01%' ) "_s, {1, 2, 4}},
        {u" vd.license_id = 'K001'"_s, {1}},
        {u" driver_name like '%张%'"_s, {1, 4}},
        {u" 1=1 AND driver_name like '%张%' AND driver_id like '01%'"_s, {1}},
        {u" AND license  like '%x%'"_s, {3, 5}},
        {u" license like '%%'"_s, All},
        {u""_s, All},
        {u" \t  "_s, All},
        // LIKE on date-time and integer columns, wildcards, no escape character.
        {u" bus_date like '2026-12-09%'"_s, {1, 4}},
        {u" status like '1%'"_s, {5}},
        {u" license like '%\\9'"_s, {5}},
        {u" license_id like 'K00_'"_s, {1, 2, 4, 5}},
        {u" license NOT LIKE '%a1%'"_s, {4, 5}},
        // Operators, numbers, dates, keyword case, nesting.
        {u" status > -1 AND cond_status <= 1.5"_s, {2, 4, 5}},
        {u" cond_status < 9999999999 AND status < 0.5"_s, {1, 2, 3, 4}},
        {u"NOT (status = 0)"_s, {5}},
        {u"NOT NOT status = 1"_s, {5}},
        {u" route_id <> 'R01'"_s, {2, 4}},
        {u" route_id != 'R01'"_s, {2, 4}},
        {u" bus_date = '2026-12-09'"_s, {1, 4}},
        {u" bus_date >= '2026-12-09 00:00' AND bus_date < '2026-12-10'"_s, {1, 4}},
        {u" driver_id = driver_no"_s, {5}},
        {u" ic_card_id = 123"_s, {2}},
        {u" status = '1'"_s, {5}},
        {u" '机动' = drive_type"_s, {1, 3, 4}},
        {u" 'a' = 'a' AND 2 > 1.5 AND 1.0 = 1"_s, All},
        {u" 1 = 2"_s, {}},
        {u"\tstatus=0\nAnD\n(license LiKe 'o''K')"_s, {4}},
        {u"((((((((((status = 1))))))))))"_s, {5}},
    };
    for (Backend b : {Backend::Sqlite, Backend::Postgres})
        for (const auto &[fragment, ids] : rows)
            QTest::addRow("%s: [%s]", qPrintable(backendName(b)),
                          qPrintable(QString(fragment).replace(u'\n', u"\\n"_s).replace(u'\t', u"\\t"_s)))
                << b << fragment << ids;
}

void tst_fragment::screenFragmentsSelectExpectedRows()
{
    QFETCH(Backend, backend);
    QFETCH(QString, fragment);
    QFETCH(Ids, expected);
    SKIP_UNLESS_BACKEND(backend);
    const CompiledSql c = compileWhere(fragment, fixtureColumns(), backend);
    QCOMPARE(c.sql.isEmpty(), fragment.trimmed().isEmpty());
    QCOMPARE(select(backend, c), expected);
}

void tst_fragment::apostropheTextsRoundTrip_data()
{
    QTest::addColumn<Backend>("backend");
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<QString>("bound");
    QTest::addColumn<Ids>("expected");
    const QList<std::tuple<const char *, QString, QString, Ids>> rows = {
        {"SqlLiteral O'K", u" license = "_s + SqlLiteral(u"O'K"_s), u"O'K"_s, {4}},
        {"spaced joins", u" license = 'O' + \"'\" +  'K'"_s, u"O'K"_s, {4}},
        {"two apostrophes, Chinese", u" driver_name = "_s + SqlLiteral(u"O'Brien's 张"_s), u"O'Brien's 张"_s, {4}},
        {"doubled apostrophes", u" driver_name = 'O''Brien''s 张'"_s, u"O'Brien's 张"_s, {4}},
        {"LIKE with apostrophe", u" driver_name like "_s + SqlLiteral(u"%'s 张%"_s), u"%'s 张%"_s, {4}},
        {"only an apostrophe", u" license = "_s + SqlLiteral(u"'"_s), u"'"_s, {}},
        {"trailing apostrophes", u" license = "_s + SqlLiteral(u"O''"_s), u"O''"_s, {}},
        {"empty text", u" license = "_s + SqlLiteral(u""_s), QString(), {}},
    };
    for (Backend b : {Backend::Sqlite, Backend::Postgres})
        for (const auto &[name, fragment, bound, ids] : rows)
            QTest::addRow("%s: %s", qPrintable(backendName(b)), name) << b << fragment << bound << ids;
}

void tst_fragment::apostropheTextsRoundTrip()
{
    QFETCH(Backend, backend);
    QFETCH(QString, fragment);
    QFETCH(QString, bound);
    QFETCH(Ids, expected);
    SKIP_UNLESS_BACKEND(backend);
    const CompiledSql c = compileWhere(fragment, fixtureColumns(), backend);
    QCOMPARE(c.binds.size(), 1);
    QCOMPARE(c.binds.first().toString(), bound);
    if (!bound.isEmpty())
        QVERIFY(!c.sql.contains(bound));
    QCOMPARE(select(backend, c), expected);
}

void tst_fragment::refusedBeforeAnySql_data()
{
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<int>("position");   // 1-based, 0: not positional
    QTest::addColumn<QString>("named");  // part of the description

    QTest::newRow("semicolon") << u"1=1; DROP TABLE fx"_s << 4 << u"分号"_s;
    QTest::newRow("line comment") << u"1=1 -- x"_s << 5 << u"注释"_s;
    QTest::newRow("block comment") << u"1=1 /* x */"_s << 5 << u"注释"_s;
    QTest::newRow("subquery") << u"license = (SELECT license FROM fx)"_s << 12 << u"SELECT"_s;
    QTest::newRow("union") << u"'a' = 'a' UNION SELECT license FROM fx"_s << 11 << u"UNION"_s;
    QTest::newRow("function") << u"lower(license) = 'a'"_s << 1 << u"lower("_s;
    QTest::newRow("function after AND") << u"1=1 AND sleep (5)"_s << 9 << u"sleep("_s;
    QTest::newRow("keyword IN") << u"status IN (1, 2)"_s << 8 << u"IN"_s;
    QTest::newRow("keyword IS NULL") << u"license IS NULL"_s << 9 << u"IS"_s;
    QTest::newRow("unterminated") << u"license = 'unterminated"_s << 11 << u"单引号"_s;
    QTest::newRow("NUL in a text") << u"license = 'a"_s + QChar(0) + u"'"_s << 13 << u"NUL"_s;
    QTest::newRow("unclosed parenthesis") << u"((((status = 0)"_s << 3 << u"右括号"_s;
    QTest::newRow("extra parenthesis, comment") << u"1=1 OR 1=1) --"_s << 13 << u"注释"_s;
    QTest::newRow("extra parenthesis") << u"1=1 OR 1=1)"_s << 11 << u"右括号"_s;
    QTest::newRow("deep parentheses") << QString(40, u'(') + u"status = 0"_s + QString(40, u')') << 33 << u"嵌套"_s;
    QTest::newRow("deep NOT") << u"NOT "_s.repeated(40) + u"status = 0"_s << 129 << u"嵌套"_s;
    QTest::newRow("unknown column") << u"1=1 AND nope = 1"_s << 9 << u"nope"_s;
    QTest::newRow("other alias") << u"x.license = 'a'"_s << 1 << u"x.license"_s;
    QTest::newRow("trailing garbage") << u"status = 0 status"_s << 12 << u"多余的内容"_s;
    QTest::newRow("ends early") << u"status = 0 AND"_s << 15 << u"意外结束"_s;
    QTest::newRow("AND alone") << u" AND "_s << 6 << u"意外结束"_s;
    QTest::newRow("no operator") << u"status 0"_s << 8 << u"比较运算符"_s;
    QTest::newRow("plus other than quote") << u"license = 'a' + 'b'"_s << 15 << u"+"_s;
    QTest::newRow("bare after join") << u"license = 'O'+\"'\"+K"_s << 14 << u"+"_s;
    QTest::newRow("concatenation ||") << u"license = 'a' || 'b'"_s << 15 << u"“|”"_s;
    QTest::newRow("double quotes") << u"license = \"x\""_s << 11 << u"双引号"_s;
    QTest::newRow("text outside quotes") << u"license = '张'三"_s << 14 << u"“三”"_s;
    QTest::newRow("bad number") << u"status = 1e5"_s << 10 << u"1e5"_s;
    QTest::newRow("text for number column") << u"status = 'abc'"_s << 10 << u"不是数值"_s;
    QTest::newRow("not a date") << u"bus_date = 'yesterday'"_s << 12 << u"不是日期时间"_s;
    QTest::newRow("number for date column") << u"bus_date = 5"_s << 12 << u"日期时间"_s;
    QTest::newRow("LIKE pattern not text") << u"license LIKE license_id"_s << 14 << u"模式"_s;
    QTest::newRow("number with text") << u"1 = 'a'"_s << 3 << u"数值"_s;
    QTest::newRow("columns of different types") << u"license = status"_s << 9 << u"类型不同"_s;
    QTest::newRow("too long") << u"1=1"_s + QString(MaxFragmentLength, u' ') << 0 << u"4000"_s;
}

void tst_fragment::refusedBeforeAnySql()
{
    QFETCH(QString, fragment);
    QFETCH(int, position);
    QFETCH(QString, named);
    for (Backend b : {Backend::Sqlite, Backend::Postgres}) {
        const QString before = useBackend(b) ? fingerprint(b) : QString();
        try {
            const CompiledSql c = compileWhere(fragment, fixtureColumns(), b);
            if (useBackend(b))
                select(b, c);
            QFAIL(qPrintable(u"accepted as "_s + c.sql));
        } catch (const ServiceError &e) {
            QCOMPARE(e.number(), svcerr::BadFragment);
            QVERIFY2(e.description().contains(named), qPrintable(e.description()));
            if (position > 0)
                QVERIFY2(e.description().startsWith(u"筛选条件第 %1 个字符处"_s.arg(position)),
                         qPrintable(e.description()));
        }
        if (useBackend(b))
            QCOMPARE(fingerprint(b), before);
    }
}

// Random fragments built from the grammar, some with a random piece dropped
// in: each one is either refused with BadFragment or compiles to SQL that
// both backends run, selecting the same rows.
void tst_fragment::acceptedFragmentsAlwaysRun()
{
    const QStringList operands = {
        u"1"_s, u"-2.5"_s, u"9999999999"_s, u"'K0%'"_s, u"'O'+\"'\"+'K'"_s, u"''"_s,
        u"'2026-12-09'"_s, u"'7'"_s, u"license"_s, u"v.license"_s, u"status"_s, u"is_cond"_s,
        u"bus_date"_s, u"cond_status"_s, u"driver_no"_s,
    };
    const QStringList operators = {u"="_s, u"<>"_s, u"!="_s, u"<="_s, u">"_s, u" LIKE "_s, u" not like "_s};
    QRandomGenerator random(20261209);
    auto pick = [&random](const QStringList &from) { return from.at(int(random.bounded(from.size()))); };
    std::function<QString(int)> expression = [&](int depth) -> QString {
        switch (depth > 3 ? 0 : random.bounded(5)) {
        case 1: return u"("_s + expression(depth + 1) + u")"_s;
        case 2: return expression(depth + 1) + u" AND "_s + expression(depth + 1);
        case 3: return expression(depth + 1) + u" or "_s + expression(depth + 1);
        case 4: return u"NOT "_s + expression(depth + 1);
        default: return pick(operands) + pick(operators) + pick(operands);
        }
    };
    int accepted = 0;
    for (int round = 0; round < 2000; ++round) {
        QString fragment = expression(0);
        if (random.bounded(3) == 0)
            fragment.insert(int(random.bounded(fragment.size() + 1)), pick(operands + operators + QStringList{u"("_s, u")"_s}));
        QList<Ids> found;
        for (Backend b : {Backend::Sqlite, Backend::Postgres}) {
            CompiledSql c;
            try {
                c = compileWhere(fragment, fixtureColumns(), b);
            } catch (const ServiceError &e) {
                QCOMPARE(e.number(), svcerr::BadFragment);
                continue;
            }
            accepted += b == Backend::Sqlite;
            if (useBackend(b)) {
                found << select(b, c);
                QVERIFY2(found.last() != Ids{-1}, qPrintable(fragment + u" -> "_s + c.sql));
            }
        }
        if (found.size() == 2)
            QVERIFY2(found.first() == found.last(), qPrintable(u"backends differ on "_s + fragment));
    }
    qDebug("%d of 2000 fragments accepted", accepted);
    QVERIFY(accepted > 200);
}

void tst_fragment::orderByAccepted_data()
{
    QTest::addColumn<QString>("orderBy");
    QTest::addColumn<QString>("sql");
    QTest::newRow("condition time") << u" cond_time1 desc "_s << u"bus_date DESC"_s;
    QTest::newRow("driver") << u" driver_id "_s << u"driver_id"_s;
    QTest::newRow("aliased driver") << u" vd.driver_id "_s << u"driver_id"_s;
    QTest::newRow("vehicle code") << u" license_id "_s << u"license_id"_s;
    QTest::newRow("two columns") << u"  Status Asc ,license_id\tDESC"_s << u"status ASC, license_id DESC"_s;
    QTest::newRow("expression") << u"is_cond"_s << u"(CASE WHEN cond_status = 2 THEN 1 ELSE 0 END)"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blank") << u"   "_s << QString();
}

void tst_fragment::orderByAccepted()
{
    QFETCH(QString, orderBy);
    QFETCH(QString, sql);
    QCOMPARE(compileOrderBy(orderBy, fixtureColumns()), sql);
    for (Backend b : {Backend::Sqlite, Backend::Postgres}) {
        if (!useBackend(b))
            continue;
        const Ids ids = select(b, {}, sql.isEmpty() ? u"id"_s : sql + u", id"_s);
        QCOMPARE(ids.size(), All.size());
        if (orderBy == u" license_id "_s)
            QCOMPARE(ids, (Ids{1, 3, 2, 4, 5}));
    }
}

void tst_fragment::orderByRefused_data()
{
    QTest::addColumn<QString>("orderBy");
    QTest::addColumn<QString>("named");
    QTest::newRow("semicolon") << u"license_id; DROP TABLE fx"_s << u"分号"_s;
    QTest::newRow("comment") << u"license_id -- x"_s << u"注释"_s;
    QTest::newRow("unknown column") << u"nope desc"_s << u"nope"_s;
    QTest::newRow("twice DESC") << u"license_id desc desc"_s << u"desc"_s;
    QTest::newRow("trailing comma") << u"license_id,"_s << u"缺少列名"_s;
    QTest::newRow("leading comma") << u", license_id"_s << u"列名"_s;
    QTest::newRow("function") << u"lower(license)"_s << u"lower("_s;
    QTest::newRow("subquery") << u"(select 1)"_s << u"select"_s;
    QTest::newRow("NULLS FIRST") << u"license_id ASC NULLS FIRST"_s << u"NULLS"_s;
    QTest::newRow("position number") << u"1"_s << u"列名"_s;
    QTest::newRow("arithmetic") << u"status + 0"_s << u"“+”"_s;
}

void tst_fragment::orderByRefused()
{
    QFETCH(QString, orderBy);
    QFETCH(QString, named);
    try {
        QFAIL(qPrintable(u"accepted as "_s + compileOrderBy(orderBy, fixtureColumns())));
    } catch (const ServiceError &e) {
        QCOMPARE(e.number(), svcerr::BadFragment);
        QVERIFY2(e.description().startsWith(u"排序条件"_s), qPrintable(e.description()));
        QVERIFY2(e.description().contains(named), qPrintable(e.description()));
    }
}

QTEST_GUILESS_MAIN(tst_fragment)
#include "tst_fragment.moc"
