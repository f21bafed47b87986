// Session, clock, start-up and definition services on SQLite and PostgreSQL.

#include "tst_coreservices_db.h"

#include "core/array2d.h"
#include "services/station/coreservices.h"
#include "services/database/serviceerror.h"

#include <QTest>

using namespace Qt::StringLiterals;
using cg::test::TestDb;

namespace {

const QString kCtx = u"[wg][440100001][440101][0]"_s;

void addBackendColumn()
{
    QTest::addColumn<QString>("backend");
}

// The error number a call throws, or 0.
template<typename Fn>
int errorOf(Fn &&fn)
{
    try {
        fn();
    } catch (const cg::ServiceError &e) {
        return e.number();
    }
    return 0;
}

} // namespace

class TestCoreServices : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parseContext_data();
    void parseContext();

    void openSession_data() { addBackendColumn(); QTest::newRow("sqlite") << u"sqlite"_s; QTest::newRow("postgres") << u"postgres"_s; }
    void openSession();

    void serverClock_data() { openSession_data(); }
    void serverClock();

    void sysParamStoredForm_data();
    void sysParamStoredForm();
    void sysParamIndexRange_data();
    void sysParamIndexRange();

    void codeTables_data() { openSession_data(); }
    void codeTables();
    void codeTableErrors_data();
    void codeTableErrors();
    void companiesList_data() { openSession_data(); }
    void companiesList();
    void checkItems_data() { openSession_data(); }
    void checkItems();

    void startupPrunesOldEvents_data() { openSession_data(); }
    void startupPrunesOldEvents();
};

void TestCoreServices::parseContext_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("flag");

    QTest::newRow("start-up") << kCtx << true << u"wg"_s << u"440100001"_s << u"440101"_s << 0;
    QTest::newRow("flag 12") << u"[ab][123456789][654321][12]"_s << true << u"ab"_s << u"123456789"_s
                             << u"654321"_s << 12;
    QTest::newRow("negative flag") << u"[ab][1][2][-1]"_s << true << u"ab"_s << u"1"_s << u"2"_s << -1;
    QTest::newRow("empty") << QString() << false << QString() << QString() << QString() << 0;
    QTest::newRow("three pieces") << u"[wg][440100001][440101]"_s << false << QString() << QString() << QString() << 0;
    QTest::newRow("flag not a number") << u"[wg][440100001][440101][x]"_s << false << QString() << QString()
                                       << QString() << 0;
    QTest::newRow("flag beyond 16 bits") << u"[wg][440100001][440101][40000]"_s << false << QString() << QString()
                                         << QString() << 0;
    QTest::newRow("empty operator") << u"[][440100001][440101][0]"_s << false << QString() << QString()
                                    << QString() << 0;
    QTest::newRow("trailing text") << kCtx + u"x"_s << false << QString() << QString() << QString() << 0;
    QTest::newRow("nested bracket") << u"[w[g][440100001][440101][0]"_s << false << QString() << QString()
                                    << QString() << 0;
}

void TestCoreServices::parseContext()
{
    QFETCH(QString, context);
    QFETCH(bool, valid);
    if (!valid) {
        QCOMPARE(errorOf([&] { cg::SessionContext::parse(context); }), cg::svcerr::BadArgument);
        return;
    }
    const cg::SessionContext c = cg::SessionContext::parse(context);
    QTEST(c.operatorCode, "op");
    QTEST(c.stationCode, "station");
    QTEST(c.unitCode, "unit");
    QTEST(c.flag, "flag");
}

void TestCoreServices::openSession()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    t.db->exec(u"INSERT INTO operators (operator_code, operator_name, station_code, unit_code, unit_name) "
               "VALUES ('wg', '王刚', '440100001', '440101', '广州市天河客运站')"_s);

    cg::SessionService s(*t.db);
    QCOMPARE(errorOf([&] { s.GetOperatorName(); }), cg::svcerr::BadArgument); // before OpenSession

    int out = -1;
    try {
        s.OpenSession(u"zz"_s, QString(), u"cgs"_s, out);
        QFAIL("an unknown operator opened a session");
    } catch (const cg::ServiceError &e) {
        QCOMPARE(e.number(), cg::svcerr::NotFound);
        QVERIFY2(e.description().contains(u"zz"_s) && e.description().contains(u"不存在"_s),
                 qUtf8Printable(e.description()));
    }
    QVERIFY(!s.isOpen());
    QCOMPARE(errorOf([&] { s.GetStationCode(); }), cg::svcerr::BadArgument);

    s.OpenSession(u"wg"_s, QString(), u"cgs"_s, out);
    QCOMPARE(out, 0);
    QCOMPARE(s.GetOperatorCode(), u"wg"_s);
    QCOMPARE(s.GetOperatorName(), u"王刚"_s);
    QCOMPARE(s.GetStationCode(), u"440100001"_s);
    QCOMPARE(s.GetUnitCode(), u"440101"_s);
    QCOMPARE(s.GetUnitName(), u"广州市天河客运站"_s);
}

void TestCoreServices::serverClock()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    cg::ClockService clock(*t.db);
    // The test cluster runs on this machine: its clock is ours, in local time.
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    const QDateTime server = clock.GetServerTime();
    const QDateTime after = QDateTime::currentDateTime().addSecs(2);
    QVERIFY2(server >= before && server <= after, qUtf8Printable(server.toString(Qt::ISODate)));
    const QDateTime day = clock.GetServerDate();
    QCOMPARE(day.time(), QTime(0, 0));
    QVERIFY(day.date() == before.date() || day.date() == after.date());
}

void TestCoreServices::sysParamStoredForm_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("index");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("stored");

    struct Case { const char *name; int index; QVariant value; QVariant stored; };
    const Case cases[] = {
        {"text", 1, u"粤"_s, u"粤"_s},
        {"empty text", 6, u""_s, u""_s},
        {"int 15", 11, 15, u"15"_s},
        {"double 15.0", 11, 15.0, u"15"_s},
        {"double 1.5", 15, 1.5, u"1.5"_s},
        {"double -1.5", 15, -1.5, u"-1.5"_s},
        {"double 0.1 shortest", 15, 0.1, u"0.1"_s},
        {"large double not exponent", 9, 1e20, u"100000000000000000000"_s},
        {"bool true", 12, true, u"1"_s},
        {"bool false", 13, false, u"0"_s},
        {"16-bit 1", 14, QVariant::fromValue<short>(1), u"1"_s},
        {"null clears", 2, QVariant(), QVariant()},
    };
    for (const char *backend : {"sqlite", "postgres"})
        for (const Case &c : cases)
            QTest::addRow("%s %s", backend, c.name) << QString::fromLatin1(backend) << c.index << c.value << c.stored;
}

void TestCoreServices::sysParamStoredForm()
{
    QFETCH(QString, backend);
    QFETCH(int, index);
    QFETCH(QVariant, value);
    QFETCH(QVariant, stored);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    t.db->exec(u"DELETE FROM sys_params"_s); // a new database comes with defaults
    cg::DefinitionService defs(*t.db);

    QVERIFY(!defs.GetSysParam(kCtx, index).isValid()); // never set: Null
    defs.SetSysParam(kCtx, index, u"old"_s);           // a second write replaces the first
    defs.SetSysParam(kCtx, index, value);
    const QVariant got = defs.GetSysParam(kCtx, index);
    QCOMPARE(got.isValid(), stored.isValid());
    if (stored.isValid()) {
        QCOMPARE(got.typeId(), QMetaType::QString);
        QCOMPARE(got.toString(), stored.toString());
    }
    QCOMPARE(t.db->scalar(u"SELECT count(*) FROM sys_params"_s).toInt(), 1);
}

void TestCoreServices::sysParamIndexRange_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("index");
    for (const char *backend : {"sqlite", "postgres"})
        for (int index : {0, -1, 16})
            QTest::addRow("%s %d", backend, index) << QString::fromLatin1(backend) << index;
}

void TestCoreServices::sysParamIndexRange()
{
    QFETCH(QString, backend);
    QFETCH(int, index);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    t.db->exec(u"DELETE FROM sys_params"_s);
    cg::DefinitionService defs(*t.db);
    QCOMPARE(errorOf([&] { defs.GetSysParam(kCtx, index); }), cg::svcerr::BadArgument);
    QCOMPARE(errorOf([&] { defs.SetSysParam(kCtx, index, u"1"_s); }), cg::svcerr::BadArgument);
    QCOMPARE(errorOf([&] { defs.SetSysParam(kCtx, 3, qQNaN()); }), cg::svcerr::BadArgument);
    QCOMPARE(t.db->scalar(u"SELECT count(*) FROM sys_params"_s).toInt(), 0);
}

void TestCoreServices::codeTables()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    cg::DefinitionService defs(*t.db);

    const cg::Array2D none = defs.GetCodeList(kCtx, 4);
    QCOMPARE(cg::ArrayCount(none, 1), 0);

    const int tyre = defs.AddCodeItem(kCtx, 9, u"轮胎"_s, u"胎压、花纹深度"_s);
    const int brake = defs.AddCodeItem(kCtx, 9, u"  制动 "_s, QString()); // trimmed; no remark
    const int a1 = defs.AddCodeItem(kCtx, 3, u"A1"_s, u""_s);
    QVERIFY(tyre > 0 && brake > tyre && a1 > 0);
    // The same name in another table is a different entry.
    QVERIFY(defs.AddCodeItem(kCtx, 4, u"A1"_s, u""_s) > 0);

    cg::Array2D list = defs.GetCodeList(kCtx, 9);
    QCOMPARE(cg::ArrayCount(list, 1), 2);
    QCOMPARE(cg::ArrayCount(list, 2), 4);
    QCOMPARE(list.at(1, 1).toInt(), tyre);
    QCOMPARE(list.at(1, 2).toInt(), 9);
    QCOMPARE(list.at(1, 3).toString(), u"轮胎"_s);
    QCOMPARE(list.at(1, 4).toString(), u"胎压、花纹深度"_s);
    QCOMPARE(list.at(2, 1).toInt(), brake);
    QCOMPARE(list.at(2, 3).toString(), u"制动"_s);
    QCOMPARE(list.at(2, 4).toString(), u""_s);

    defs.UpdateCodeItem(kCtx, brake, 9, u"制动系统"_s, u"踏板行程"_s);
    defs.UpdateCodeItem(kCtx, tyre, 9, u"轮胎"_s, u"只改备注"_s); // its own name again is no duplicate
    defs.DeleteCodeItem(kCtx, tyre, true, QString());
    list = defs.GetCodeList(kCtx, 9);
    QCOMPARE(cg::ArrayCount(list, 1), 1);
    QCOMPARE(list.at(1, 1).toInt(), brake);
    QCOMPARE(list.at(1, 3).toString(), u"制动系统"_s);
    QCOMPARE(list.at(1, 4).toString(), u"踏板行程"_s);

    // A deleted name can be used again; codes keep growing.
    const int again = defs.AddCodeItem(kCtx, 9, u"轮胎"_s, QString());
    QVERIFY(again > brake);
}

void TestCoreServices::codeTableErrors_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("error");
    const QList<std::pair<const char *, int>> cases = {
        {"add duplicate name", cg::svcerr::Constraint},
        {"add duplicate after trim", cg::svcerr::Constraint},
        {"update to another entry's name", cg::svcerr::Constraint},
        {"update missing code", cg::svcerr::NotFound},
        {"update code of another kind", cg::svcerr::NotFound},
        {"delete missing code", cg::svcerr::NotFound},
        {"add empty name", cg::svcerr::BadArgument},
        {"add to unknown kind", cg::svcerr::BadArgument},
        {"add to companies", cg::svcerr::BadArgument},
        {"list unknown kind", cg::svcerr::BadArgument},
    };
    for (const char *backend : {"sqlite", "postgres"})
        for (const auto &[call, error] : cases)
            QTest::addRow("%s %s", backend, call) << QString::fromLatin1(backend) << QString::fromLatin1(call) << error;
}

void TestCoreServices::codeTableErrors()
{
    QFETCH(QString, backend);
    QFETCH(QString, call);
    QFETCH(int, error);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    cg::DefinitionService defs(*t.db);
    const int tyre = defs.AddCodeItem(kCtx, 9, u"轮胎"_s, u"r"_s);
    const int brake = defs.AddCodeItem(kCtx, 9, u"制动"_s, u"r"_s);

    const QHash<QString, std::function<void()>> calls = {
        {u"add duplicate name"_s, [&] { defs.AddCodeItem(kCtx, 9, u"轮胎"_s, u"x"_s); }},
        {u"add duplicate after trim"_s, [&] { defs.AddCodeItem(kCtx, 9, u" 轮胎"_s, u"x"_s); }},
        {u"update to another entry's name"_s, [&] { defs.UpdateCodeItem(kCtx, brake, 9, u"轮胎"_s, u"x"_s); }},
        {u"update missing code"_s, [&] { defs.UpdateCodeItem(kCtx, brake + 100, 9, u"新"_s, u"x"_s); }},
        {u"update code of another kind"_s, [&] { defs.UpdateCodeItem(kCtx, tyre, 3, u"新"_s, u"x"_s); }},
        {u"delete missing code"_s, [&] { defs.DeleteCodeItem(kCtx, brake + 100, true, QString()); }},
        {u"add empty name"_s, [&] { defs.AddCodeItem(kCtx, 9, u"   "_s, u"x"_s); }},
        {u"add to unknown kind"_s, [&] { defs.AddCodeItem(kCtx, 6, u"新"_s, u"x"_s); }},
        {u"add to companies"_s, [&] { defs.AddCodeItem(kCtx, 7, u"新"_s, u"x"_s); }},
        {u"list unknown kind"_s, [&] { defs.GetCodeList(kCtx, 42); }},
    };
    try {
        calls.value(call)();
        QFAIL("the call succeeded");
    } catch (const cg::ServiceError &e) {
        QCOMPARE(e.number(), error);
        if (error == cg::svcerr::Constraint)
            QVERIFY2(e.description().contains(u"轮胎"_s) && e.description().contains(u"已存在"_s),
                     qUtf8Printable(e.description()));
    }
    // Nothing changed.
    const cg::Array2D list = defs.GetCodeList(kCtx, 9);
    QCOMPARE(cg::ArrayCount(list, 1), 2);
    QCOMPARE(list.at(1, 3).toString(), u"轮胎"_s);
    QCOMPARE(list.at(2, 3).toString(), u"制动"_s);
    QCOMPARE(list.at(2, 4).toString(), u"r"_s);
}

void TestCoreServices::companiesList()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    t.db->exec(u"INSERT INTO companies (company_code, company_name, short_name) VALUES "
               "('C02', '佛山汽运集团', '佛汽'), ('C01', '广州汽车客运公司', '广汽')"_s);
    cg::DefinitionService defs(*t.db);
    const cg::Array2D list = defs.GetCodeList(kCtx, 7);
    QCOMPARE(cg::ArrayCount(list, 1), 2);
    QCOMPARE(list.at(1, 3).toString(), u"C01[广州汽车客运公司]"_s);
    QCOMPARE(list.at(2, 3).toString(), u"C02[佛山汽运集团]"_s);
    QCOMPARE(list.at(2, 4).toString(), u"佛汽"_s);
}

void TestCoreServices::checkItems()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    cg::DefinitionService defs(*t.db);
    defs.AddCodeItem(kCtx, 9, u"轮胎"_s, u"胎压"_s);
    defs.AddCodeItem(kCtx, 8, u"其他原因"_s, u"不是检查项目"_s);
    defs.AddCodeItem(kCtx, 9, u"灯光"_s, QString());

    cg::RecordSet rs = defs.QueryCheckItems(kCtx, 9);
    QCOMPARE(rs.fieldCount(), 2);
    QCOMPARE(rs.field(0).name, u"name"_s);
    QCOMPARE(rs.field(1).name, u"Memo"_s); // the case the dialog reads
    QCOMPARE(rs.RecordCount(), 2);
    QCOMPARE(rs.valueAt(0, u"name"_s).toString(), u"轮胎"_s);
    QCOMPARE(rs.valueAt(0, u"Memo"_s).toString(), u"胎压"_s);
    QCOMPARE(rs.valueAt(1, u"name"_s).toString(), u"灯光"_s);
    QCOMPARE(rs.valueAt(1, u"Memo"_s).toString(), u""_s);
}

void TestCoreServices::startupPrunesOldEvents()
{
    QFETCH(QString, backend);
    CG_NEED_BACKEND(backend);
    TestDb t(backend);
    const QDateTime now = cg::ClockService(*t.db).GetServerTime();
    auto add = [&](const QString &station, const QDateTime &at) {
        t.db->exec(u"INSERT INTO check_events (station_code, event, created_at) VALUES (?, 'DriverCheck', ?)"_s,
                   {station, at});
    };
    add(u"S1"_s, now.addDays(-30));
    add(u"S1"_s, now.addDays(-8));
    add(u"S1"_s, now.addDays(-6));
    add(u"S2"_s, now.addDays(-9)); // the newest id, though old: kept so ids never go back
    cg::StartupService(*t.db).Run();
    const cg::RecordSet rs = t.db->select(u"SELECT station_code FROM check_events ORDER BY id"_s);
    QCOMPARE(rs.RecordCount(), 2);
    QCOMPARE(rs.valueAt(0, u"station_code"_s).toString(), u"S1"_s);
    QCOMPARE(rs.valueAt(1, u"station_code"_s).toString(), u"S2"_s);
}

QTEST_GUILESS_MAIN(TestCoreServices)
#include "tst_coreservices.moc"
