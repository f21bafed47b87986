// Filter fragments and ORDER BY texts, as the screens pass them to the data
// service. A refused text must be refused with BadFragment; an accepted one
// must compile to SQL made only of the allowed columns' expressions,
// operators and placeholders (no character of the input outside the bound
// values), with one bound value per placeholder, compile the same way every
// time, and run: SQLite (in memory) must accept the SQLite form with its
// bound values.

#include "fuzzsupport.h"

#include "services/database/database.h"
#include "services/database/fragment.h"
#include "services/database/serviceerror.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace cg;
using cgfuzz::check;

namespace {

// The columns of the vehicle, driver, arrangement and condition lists, with
// their aliases and the computed expressions some of them stand for.
const ColumnMap &columns()
{
    static const ColumnMap map = [] {
        ColumnMap m;
        for (const QString &c : {u"license"_s, u"license_id"_s, u"ic_card_id"_s, u"company_name"_s,
                                 u"owner"_s, u"model_id"_s, u"service_kind"_s, u"memo"_s})
            m.add(c, u"v."_s + c).add(u"v."_s + c, u"v."_s + c);
        for (const QString &c : {u"driver_no"_s, u"driver_id"_s, u"sex"_s, u"route_id"_s, u"drive_type"_s,
                                 u"unit_id"_s, u"credit"_s, u"cert_kind"_s})
            m.add(c, u"d."_s + c).add(u"d."_s + c, u"d."_s + c);
        m.add(u"driver_name"_s, u"COALESCE(d.driver_name, vd.driver_name)"_s)
            .add(u"vd.driver_name"_s, u"COALESCE(d.driver_name, vd.driver_name)"_s);
        for (const QString &c : {u"status"_s, u"seat_weight_num"_s, u"return_status"_s, u"is_driver"_s})
            m.add(c, u"v."_s + c, ColumnType::Integer).add(u"v."_s + c, u"v."_s + c, ColumnType::Integer);
        m.add(u"cond_status"_s, u"CASE WHEN v.is_cond = 1 THEN 2 ELSE 0 END"_s, ColumnType::Integer)
            .add(u"fare"_s, u"v.fare"_s, ColumnType::Decimal);
        for (const QString &c : {u"bus_date"_s, u"cond_time1"_s, u"create_date"_s, u"birth_date"_s})
            m.add(c, u"COALESCE(q.%1, '1900-01-01 00:00:00')"_s.arg(c), ColumnType::DateTime);
        m.add(u"return_time"_s, u"v.return_time"_s, ColumnType::DateTime);
        return m;
    }();
    return map;
}

// The expressions, longest first, so that a short one never eats part of a
// longer one.
const QStringList &expressions()
{
    static const QStringList list = [] {
        QStringList out;
        for (const QString &name : columns().names())
            if (!out.contains(columns().resolve(name)))
                out.append(columns().resolve(name));
        std::sort(out.begin(), out.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
        return out;
    }();
    return list;
}

// What is left of compiled SQL without the column expressions: only these
// words and signs.
QString withoutExpressions(QString sql)
{
    for (const QString &e : expressions())
        sql.replace(e, u" "_s);
    sql.replace(u" ESCAPE ''"_s, u" "_s);
    return sql;
}

// One table with every column the expressions name, under each alias, and
// one row, so that conditions are evaluated and not only prepared.
QSqlDatabase &database()
{
    static QSqlDatabase db = [] {
        QSqlDatabase d = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fuzz"_s);
        d.setDatabaseName(u":memory:"_s);
        if (!d.open())
            cgfuzz::fail("cannot open SQLite in memory", d.lastError().text());
        QSqlQuery q(d);
        const QString create = u"CREATE TABLE t (license TEXT, license_id TEXT, ic_card_id TEXT, company_name TEXT,"
                               " owner TEXT, model_id TEXT, service_kind TEXT, memo TEXT, driver_no TEXT,"
                               " driver_id TEXT, sex TEXT, route_id TEXT, drive_type TEXT, unit_id TEXT,"
                               " credit TEXT, cert_kind TEXT, driver_name TEXT, status INTEGER,"
                               " seat_weight_num INTEGER, return_status INTEGER, is_driver INTEGER,"
                               " is_cond INTEGER, fare NUMERIC, bus_date TEXT, cond_time1 TEXT,"
                               " create_date TEXT, birth_date TEXT, return_time TEXT)"_s;
        if (!q.exec(create)
            || !q.exec(u"INSERT INTO t (license, license_id, driver_name, status, fare, bus_date) VALUES"
                       " ('粤A12345', 'K001', 'O''Brien', 1, 12.5, '2026-12-09 08:30:00')"_s))
            cgfuzz::fail("cannot make the table", q.lastError().text());
        return d;
    }();
    return db;
}

void checkRuns(const QString &fragment, const QString &sql, const QVariantList &binds)
{
    QSqlQuery q(database());
    if (!q.prepare(u"SELECT COUNT(*) FROM t v, t d, t vd, t q WHERE "_s + sql))
        cgfuzz::fail("SQLite refuses compiled SQL", fragment + u"\n=> "_s + sql + u"\n"_s + q.lastError().text());
    for (const QVariant &v : binds)
        q.addBindValue(v);
    check(q.exec() && q.next(), "compiled SQL runs on SQLite",
          fragment + u"\n=> "_s + sql + u"\n"_s + q.lastError().text());
}

void checkWhere(const QString &fragment, Backend backend)
{
    CompiledSql first;
    try {
        first = compileWhere(fragment, columns(), backend);
    } catch (const AppError &e) {
        check(e.number() == svcerr::BadFragment, "a refused fragment must be BadFragment", e.description());
        check(!e.description().isEmpty(), "a refusal says why");
        return;
    }
    const CompiledSql again = compileWhere(fragment, columns(), backend);
    check(first.sql == again.sql && first.binds == again.binds, "compiling is deterministic", fragment);

    if (first.sql.isEmpty()) {
        check(fragment.trimmed().isEmpty() && first.binds.isEmpty(), "only a blank fragment compiles to nothing",
              fragment);
        return;
    }
    check(first.sql.startsWith(u'(') || first.sql.startsWith(u"NOT "_s), "the condition is parenthesised",
          first.sql);
    check(first.sql.endsWith(u')'), "the condition is parenthesised", first.sql);

    static const QRegularExpression allowed(
        u"^(?:\\s|\\(|\\)|\\?|<=|>=|<>|=|<|>|\\bAND\\b|\\bOR\\b|\\bNOT\\b|\\bI?LIKE\\b|\\bCAST\\b|\\bAS\\b"
        "|\\bTEXT\\b|\\bNUMERIC\\b)*$"_s);
    const QString rest = withoutExpressions(first.sql);
    check(allowed.match(rest).hasMatch(), "compiled SQL holds nothing but columns, operators and placeholders",
          fragment + u"\n=> "_s + first.sql);
    check(rest.count(u'?') == first.binds.size(), "one bound value per placeholder",
          first.sql + u" binds "_s + QString::number(first.binds.size()));
    qsizetype depth = 0;
    for (QChar c : rest) {
        depth += c == u'(' ? 1 : c == u')' ? -1 : 0;
        check(depth >= 0, "parentheses of the compiled SQL balance", first.sql);
    }
    check(depth == 0, "parentheses of the compiled SQL balance", first.sql);
    for (const QVariant &v : first.binds) {
        const int t = v.typeId();
        check(t == QMetaType::QString || t == QMetaType::LongLong || t == QMetaType::Double,
              "bound values are texts or numbers", fragment);
        if (t == QMetaType::Double)
            check(qIsFinite(v.toDouble()), "bound numbers are finite", fragment);
    }
    if (backend == Backend::Sqlite)
        checkRuns(fragment, first.sql, first.binds);
}

void checkOrderBy(const QString &text)
{
    QString sql;
    try {
        sql = compileOrderBy(text, columns());
    } catch (const AppError &e) {
        check(e.number() == svcerr::BadFragment, "a refused ORDER BY must be BadFragment", e.description());
        return;
    }
    check(sql == compileOrderBy(text, columns()), "ORDER BY compiles the same every time", text);
    if (sql.isEmpty())
        return;
    // Allowed expressions (complex ones parenthesised), ASC or DESC, commas.
    static const QRegularExpression allowed(u"^(?:\\s|\\(|\\)|,|\\bASC\\b|\\bDESC\\b)*$"_s);
    QString rest = sql;
    for (const QString &e : expressions())
        rest.replace(e, u" "_s);
    check(allowed.match(rest).hasMatch(), "ORDER BY holds nothing but allowed columns", text + u"\n=> "_s + sql);
    check(rest.count(u',') == text.count(u','), "one ORDER BY item per item written", text + u"\n=> "_s + sql);
    QSqlQuery q(database());
    check(q.exec(u"SELECT v.license FROM t v, t d, t vd, t q ORDER BY "_s + sql), "ORDER BY runs on SQLite",
          text + u"\n=> "_s + sql + u"\n"_s + q.lastError().text());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 3 * MaxFragmentLength)
        return -1;
    const QString text = cgfuzz::inputText(data, size);
    checkWhere(text, Backend::Sqlite);
    checkWhere(text, Backend::Postgres);
    checkOrderBy(text);
    return 0;
}
