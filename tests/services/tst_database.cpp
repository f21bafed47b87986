// The station database: configuration parsing, typed record sets,
// transactions, constraint failures, schema versions (its connection
// failures are tst_dbconnection's). Each data row runs against a fresh
// SQLite file or PostgreSQL database.

#include "dbtestenv.h"

#include "services/database/database.h"
#include "services/database/schema.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;
using namespace cg;
using test::catchError;
using test::writeFile;

namespace {

// Two workstations' connections to the test server, sharing table t (id, n)
// with rows 1 and 2 at 0. open() is false without a server.
struct TwoWorkstations {
    test::TestDatabase env{u"postgres"_s};
    std::unique_ptr<Database> a, b;

    bool open()
    {
        if (!env.available())
            return false;
        a = std::make_unique<Database>(env.config());
        b = std::make_unique<Database>(env.config());
        a->exec(u"CREATE TABLE t (id INTEGER PRIMARY KEY, n INTEGER)"_s);
        a->exec(u"INSERT INTO t VALUES (1, 0), (2, 0)"_s);
        return true;
    }
};

} // namespace

class TstDatabase : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parseSpec_data();
    void parseSpec();
    void parseRefused_data();
    void parseRefused();
    void passwordFile_data();
    void passwordFile();
    void passwordFileThatIsNone_data();
    void passwordFileThatIsNone();

    void valuesKeepTheirTypes_data() { test::TestDatabase::addBackendRows(); }
    void valuesKeepTheirTypes();
    void storedDateTimeTexts_data();
    void storedDateTimeTexts();
    void insertReturnsNewIds_data() { test::TestDatabase::addBackendRows(); }
    void insertReturnsNewIds();
    void transactions_data() { test::TestDatabase::addBackendRows(); }
    void transactions();
    void conflictRetryOnlyWhenAsked_data() { test::TestDatabase::addBackendRows(); }
    void conflictRetryOnlyWhenAsked();
    void deadlockIsAConflict();
    void lockedRowsWaitForTheCommit();
    void constraintNamesTheRecord_data() { test::TestDatabase::addBackendRows(); }
    void constraintNamesTheRecord();
    void twoDatabasesAndThreads_data() { test::TestDatabase::addBackendRows(); }
    void twoDatabasesAndThreads();

    void schemaVersions_data() { test::TestDatabase::addBackendRows(); }
    void schemaVersions();
    void newerSchemaIsLeftAlone_data() { test::TestDatabase::addBackendRows(); }
    void newerSchemaIsLeftAlone();

};

// ------------------------------------------------------------------ config

void TstDatabase::parseSpec_data()
{
    QTest::addColumn<QString>("spec");
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<QString>("sqlitePath");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("dbname");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("sslmode");

    QTest::newRow("plain path") << u"/var/lib/cg/station.sqlite"_s << false << u"/var/lib/cg/station.sqlite"_s
                                << QString() << 5432 << QString() << QString() << QString();
    QTest::newRow("sqlite prefix") << u"sqlite:/tmp/a b.db"_s << false << u"/tmp/a b.db"_s
                                   << QString() << 5432 << QString() << QString() << QString();
    QTest::newRow("path with =") << u"/tmp/x=y.db"_s << false << u"/tmp/x=y.db"_s
                                 << QString() << 5432 << QString() << QString() << QString();
    QTest::newRow("url") << u"postgresql://cg@db.local:6543/station?sslmode=disable"_s << true << QString()
                         << u"db.local"_s << 6543 << u"station"_s << u"cg"_s << u"disable"_s;
    QTest::newRow("url default port") << u"postgres://cg@db/station"_s << true << QString()
                                      << u"db"_s << 5432 << u"station"_s << u"cg"_s << QString();
    QTest::newRow("conninfo") << u"host=10.0.0.5 port=5433 dbname=station user=gate sslmode=require"_s << true
                              << QString() << u"10.0.0.5"_s << 5433 << u"station"_s << u"gate"_s << u"require"_s;
    QTest::newRow("conninfo quoted") << u"dbname='my station' user=gate"_s << true << QString()
                                     << QString() << 5432 << u"my station"_s << u"gate"_s << QString();
}

void TstDatabase::parseSpec()
{
    QFETCH(QString, spec);
    QFETCH(bool, postgres);
    const DbConfig c = DbConfig::parse(spec);
    QCOMPARE(c.backend == Backend::Postgres, postgres);
    if (!postgres) {
        QTEST(c.sqlitePath, "sqlitePath");
        return;
    }
    QTEST(c.host, "host");
    QTEST(c.port, "port");
    QTEST(c.database, "dbname");
    QTEST(c.user, "user");
    QTEST(c.sslmode, "sslmode");
}

void TstDatabase::parseRefused_data()
{
    QTest::addColumn<QString>("spec");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("empty") << u"  "_s << u"没有指定数据库"_s;
    QTest::newRow("password in url") << u"postgresql://cg:secret@db/station"_s << u"密码文件"_s;
    QTest::newRow("password in conninfo") << u"dbname=s user=u password=secret"_s << u"密码文件"_s;
    QTest::newRow("bad sslmode") << u"dbname=s user=u sslmode=maybe"_s << u"maybe"_s;
    QTest::newRow("bad port") << u"dbname=s user=u port=99999"_s << u"99999"_s;
    QTest::newRow("unknown key") << u"dbname=s user=u colour=blue"_s << u"colour"_s;
    QTest::newRow("no dbname") << u"host=db user=u"_s << u"dbname"_s;
    QTest::newRow("no user") << u"postgresql://db/station"_s << u"user"_s;
    QTest::newRow("unclosed quote") << u"dbname='station user=u"_s << u"引号"_s;
    QTest::newRow("missing passfile") << u"dbname=s user=u passfile=/nonexistent/pgpass"_s << u"/nonexistent/pgpass"_s;
    // A root certificate with a mode that may fall back to a plain connection
    // would be ignored unseen.
    QTest::newRow("root cert, no sslmode") << u"dbname=s user=u sslrootcert=/etc/hostname"_s << u"prefer"_s;
    QTest::newRow("root cert, sslmode prefer") << u"dbname=s user=u sslmode=prefer sslrootcert=/etc/hostname"_s
                                               << u"sslrootcert"_s;
    QTest::newRow("missing root cert") << u"dbname=s user=u sslmode=verify-full sslrootcert=/nonexistent/ca.pem"_s
                                       << u"/nonexistent/ca.pem"_s;
    QTest::newRow("root cert path with ;") << u"dbname=s user=u sslmode=verify-full sslrootcert='/tmp/a;b.pem'"_s
                                           << u"“;”"_s;
}

void TstDatabase::parseRefused()
{
    QFETCH(QString, spec);
    QFETCH(QString, mentions);
    const ServiceError e = catchError([&] { DbConfig::parse(spec); });
    QCOMPARE(e.number(), svcerr::Config);
    QVERIFY2(e.description().contains(mentions), qPrintable(e.description()));
    QVERIFY(!e.description().contains(u"secret"_s));
}

void TstDatabase::passwordFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("password"); // empty: the file must be refused

    QTest::newRow("bare password") << QByteArray("s3:cr3t\n") << u"s3:cr3t"_s;
    QTest::newRow("bare password, CRLF") << QByteArray("pw\r\n") << u"pw"_s;
    QTest::newRow("pgpass exact") << QByteArray("db:5432:station:gate:right\n") << u"right"_s;
    QTest::newRow("pgpass first match wins")
        << QByteArray("# station db\nother:5432:*:*:wrong\n*:*:station:gate:right\n*:*:*:*:later\n") << u"right"_s;
    QTest::newRow("pgpass escaped colon") << QByteArray("db:*:station:gate:a\\:b\n") << u"a:b"_s;
    QTest::newRow("pgpass no match") << QByteArray("db:5432:other:gate:x\n") << QString();
    QTest::newRow("empty file") << QByteArray("\n\n") << QString();
}

void TstDatabase::passwordFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, password);
    QTemporaryDir dir;
    const QString path = writeFile(dir, u"pgpass"_s, content);
    const QString spec = u"host=db port=5432 dbname=station user=gate passfile="_s + path;
    if (password.isEmpty()) {
        QCOMPARE(catchError([&] { DbConfig::parse(spec); }).number(), svcerr::Config);
        return;
    }
    const DbConfig c = DbConfig::parse(spec);
    QCOMPARE(c.password, password);
    QVERIFY(!c.describe().contains(password));
}

// What is no password file is refused at once, saying why, and never read
// to its end: a device that never ends, a folder, a file far too large.
void TstDatabase::passwordFileThatIsNone_data()
{
    QTest::addColumn<QString>("path"); // "big": a file of 100 KB made here
    QTest::addColumn<QString>("why");
    QTest::newRow("endless device") << u"/dev/zero"_s << u"不是普通文件"_s;
    QTest::newRow("folder") << u"/tmp"_s << u"不是普通文件"_s;
    QTest::newRow("far too large") << u"big"_s << u"太大"_s;
    QTest::newRow("missing") << u"/nonexistent/pgpass"_s << u"无法读取密码文件"_s;
}

void TstDatabase::passwordFileThatIsNone()
{
    QFETCH(QString, path);
    QFETCH(QString, why);
    QTemporaryDir dir;
    if (path == u"big"_s)
        path = writeFile(dir, u"big"_s, QByteArray(100 * 1024, 'x'));
    const ServiceError e =
        catchError([&] { DbConfig::parse(u"host=db port=5432 dbname=station user=gate passfile="_s + path); });
    QCOMPARE(e.number(), svcerr::Config);
    QVERIFY2(e.description().contains(why), qPrintable(e.description()));
}

// ------------------------------------------------------------------ values

void TstDatabase::valuesKeepTheirTypes()
{
    CG_FRESH_DB(db);
    if (db.backend() == Backend::Postgres) {
        // A server far from the workstation's zone: "now" must still be the
        // workstation's wall-clock time.
        Database server(DbConfig::parse(test::TestDatabase::pgAdminSpec()));
        server.exec(u"ALTER DATABASE %1 SET timezone TO 'Pacific/Kiritimati'"_s.arg(dbEnv.config().database));
    }
    db.exec(db.dialect().ddl(u"CREATE TABLE t (id {ID}, txt {TEXT}, n {INT}, d {DOUBLE}, b {BOOL}, "
                             u"at {DATETIME}, raw {BLOB})"_s));
    const QDateTime at(QDate(2013, 12, 17), QTime(8, 5, 9));
    const QByteArray raw("\x00\x01\xff'\"", 5);
    db.exec(u"INSERT INTO t (txt, n, d, b, at, raw) VALUES (?, ?, ?, ?, ?, ?)"_s,
            {u"车次 'A'"_s, 42, 2.5, true, at, raw});
    db.exec(u"INSERT INTO t (txt, n, d, b, at, raw) VALUES (?, ?, ?, ?, ?, ?)"_s,
            {u""_s, QVariant(), QVariant(), false, QVariant(), QVariant()});

    const QList<RecordSet::Field> shape = {{u"n"_s, FieldType::Integer}, {u"d"_s, FieldType::Double},
                                           {u"b"_s, FieldType::Bool},    {u"at"_s, FieldType::DateTime},
                                           {u"raw"_s, FieldType::Bytes}, {u"TXT"_s, FieldType::Text, 20}};
    RecordSet rs = db.select(u"SELECT txt, n, d, b, at, raw, n + 1 AS unshaped FROM t ORDER BY id"_s, {}, shape);
    QCOMPARE(rs.RecordCount(), 2);
    QCOMPARE(rs.field(rs.fieldIndex(u"at"_s)).type, FieldType::DateTime);
    QCOMPARE(rs.field(rs.fieldIndex(u"txt"_s)).definedSize, 20);
    QCOMPARE(rs.field(rs.fieldIndex(u"unshaped"_s)).type, FieldType::Text);

    QCOMPARE(rs.valueAt(0, u"txt"_s), QVariant(u"车次 'A'"_s));
    QCOMPARE(rs.valueAt(0, u"n"_s).toLongLong(), 42);
    QCOMPARE(rs.valueAt(0, u"d"_s).toDouble(), 2.5);
    QCOMPARE(rs.valueAt(0, u"b"_s), QVariant(true));
    QCOMPARE(rs.valueAt(0, u"at"_s).toDateTime(), at);
    QCOMPARE(rs.valueAt(0, u"raw"_s).toByteArray(), raw);
    QCOMPARE(rs.valueAt(0, u"unshaped"_s), QVariant(u"43"_s));

    // Null stays Null, an empty text stays an empty text.
    QVERIFY(!rs.valueAt(1, u"n"_s).isValid());
    QVERIFY(!rs.valueAt(1, u"at"_s).isValid());
    QVERIFY(!rs.valueAt(1, u"raw"_s).isValid());
    QVERIFY(!rs.valueAt(1, u"unshaped"_s).isValid());
    QVERIFY(rs.valueAt(1, u"txt"_s).isValid());
    QCOMPARE(rs.valueAt(1, u"txt"_s).toString(), QString());
    QCOMPARE(rs.valueAt(1, u"b"_s), QVariant(false));

    // Bound date-times compare with stored ones on both backends.
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t WHERE at = ?"_s, {at}).toInt(), 1);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t WHERE at >= ?"_s, {QDate(2013, 12, 17)}).toInt(), 1);
    QVERIFY(!db.scalar(u"SELECT n FROM t WHERE txt = ''"_s).isValid());
    QVERIFY(!db.scalar(u"SELECT n FROM t WHERE 1 = 0"_s).isValid());
    // The server clock reads back as a date-time.
    const QVariant now = db.dialect().fromDb(db.scalar(u"SELECT "_s + db.dialect().nowExpression()),
                                             FieldType::DateTime);
    QVERIFY(qAbs(now.toDateTime().secsTo(QDateTime::currentDateTime())) < 120);

    // A text holding NUL is refused before the statement runs, on both
    // backends alike (PostgreSQL's client would cut the statement there);
    // bytes may hold it.
    const int rows = db.scalar(u"SELECT count(*) FROM t"_s).toInt();
    try {
        db.exec(u"INSERT INTO t (txt) VALUES (?)"_s, {u"a"_s + QChar(0) + u"b"_s});
        QFAIL("a text with NUL was written");
    } catch (const ServiceError &e) {
        QCOMPARE(e.number(), svcerr::BadArgument);
        QVERIFY2(e.description().contains(u"NUL"_s), qPrintable(e.description()));
    }
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t"_s).toInt(), rows);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t WHERE raw = ?"_s, {raw}).toInt(), 1);
}

// Date-times stored as text (SQLite keeps them so; a text column on either
// backend may hold one) read back as the station's wall-clock time; a text
// that is no date-time reads as no value.
void TstDatabase::storedDateTimeTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDateTime noon(QDate(2026, 12, 9), QTime(12, 0, 5));
    QTest::newRow("stored form") << u"2026-12-09 12:00:05"_s << noon;
    QTest::newRow("spaces around") << u" 2026-12-09 12:00:05 "_s << noon;
    QTest::newRow("ISO with T") << u"2026-12-09T12:00:05"_s << noon;
    QTest::newRow("milliseconds") << u"2026-12-09 12:00:05.250"_s << QDateTime(noon.date(), QTime(12, 0, 5, 250));
    QTest::newRow("date alone") << u"2026-12-09"_s << QDateTime(noon.date(), QTime(0, 0));
    QTest::newRow("leap day") << u"2024-02-29 23:59:59"_s << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59));
    QTest::newRow("midnight") << u"2026-01-01 00:00:00"_s << QDateTime(QDate(2026, 1, 1), QTime(0, 0));
    QTest::newRow("no 30 February") << u"2026-02-30 10:00:00"_s << QDateTime();
    QTest::newRow("no month 13") << u"2026-13-01 10:00:00"_s << QDateTime();
    QTest::newRow("letter in the month") << u"2026-1a-09 12:00:05"_s << QDateTime();
    QTest::newRow("sign in the year") << u"+026-12-09 12:00:05"_s << QDateTime();
    QTest::newRow("empty") << QString() << QDateTime();
}

void TstDatabase::storedDateTimeTexts()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    QTemporaryDir dir;
    Database db(DbConfig::parse(dir.filePath(u"t.sqlite"_s)));
    const QVariant read = db.dialect().fromDb(QVariant(text), FieldType::DateTime);
    QCOMPARE(read.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(read.toDateTime(), expected);
        QCOMPARE(read.toDateTime().timeSpec(), Qt::LocalTime);
    }
}

void TstDatabase::insertReturnsNewIds()
{
    CG_FRESH_DB(db);
    db.exec(db.dialect().ddl(u"CREATE TABLE t (id {ID}, name {TEXT})"_s));
    db.exec(db.dialect().ddl(u"CREATE TABLE c (code {ID}, name {TEXT})"_s));
    const qint64 a = db.insert(u"INSERT INTO t (name) VALUES (?)"_s, {u"a"_s});
    const qint64 b = db.insert(u"INSERT INTO t (name) VALUES (?);"_s, {u"b"_s});
    QVERIFY(a > 0);
    QVERIFY(b > a);
    QCOMPARE(db.scalar(u"SELECT name FROM t WHERE id = ?"_s, {b}).toString(), u"b"_s);
    const qint64 code = db.insert(u"INSERT INTO c (name) VALUES (?)"_s, {u"x"_s}, u"code"_s);
    QCOMPARE(db.scalar(u"SELECT name FROM c WHERE code = ?"_s, {code}).toString(), u"x"_s);
    // An insert that inserts nothing has no new id (not the previous one).
    const ServiceError none = catchError([&] {
        db.insert(u"INSERT INTO t (id, name) VALUES (?, 'again') ON CONFLICT DO NOTHING"_s, {a});
    });
    QCOMPARE(none.number(), svcerr::Sql);
}

// Two workstations locking the same rows in opposite order: PostgreSQL
// ends one transaction, which must surface as a retryable conflict.
void TstDatabase::deadlockIsAConflict()
{
    TwoWorkstations two;
    if (!two.open())
        QSKIP(qPrintable(two.env.skipReason()));
    Database &a = *two.a, &b = *two.b;
    const auto crosswise = [](Database &db, int first, int second, QSemaphore &mine, QSemaphore &theirs) {
        try {
            db.transact([&] {
                db.exec(u"UPDATE t SET n = n + 1 WHERE id = ?"_s, {first});
                mine.release();
                theirs.acquire();
                db.exec(u"UPDATE t SET n = n + 1 WHERE id = ?"_s, {second});
            });
        } catch (const TxConflictError &) {
            return 1;
        }
        return 0;
    };
    QSemaphore aLocked, bLocked;
    int aConflicts = 0;
    QThread *other = QThread::create([&] { aConflicts = crosswise(a, 1, 2, aLocked, bLocked); });
    other->start();
    const int bConflicts = crosswise(b, 2, 1, bLocked, aLocked);
    QVERIFY(other->wait(30000));
    delete other;
    QCOMPARE(aConflicts + bConflicts, 1);
    QCOMPARE(a.scalar(u"SELECT sum(n) FROM t"_s).toInt(), 2); // the survivor's two updates only
}

// A verdict worked out under lockRows is the last word on its rows: a
// writer of the same row waits for the commit and then builds on what was
// written, while the other rows stay free.
void TstDatabase::lockedRowsWaitForTheCommit()
{
    TwoWorkstations two;
    if (!two.open())
        QSKIP(qPrintable(two.env.skipReason()));
    Database &a = *two.a, &b = *two.b;
    QSemaphore locked, otherRowWritten, lockedRowWritten;
    QThread *other = QThread::create([&] {
        locked.acquire();
        b.exec(u"UPDATE t SET n = n + 1 WHERE id = 2"_s);
        otherRowWritten.release();
        b.exec(u"UPDATE t SET n = n + 1 WHERE id = 1"_s);
        lockedRowWritten.release();
    });
    other->start();
    a.transact([&] {
        a.lockRows(u"t"_s, u"n"_s, u"id = ?"_s, {1});
        locked.release();
        QVERIFY(otherRowWritten.tryAcquire(1, 30000));
        QVERIFY(!lockedRowWritten.tryAcquire(1, 300));
        a.exec(u"UPDATE t SET n = 10 WHERE id = 1"_s);
    });
    QVERIFY(lockedRowWritten.tryAcquire(1, 30000));
    QVERIFY(other->wait(30000));
    delete other;
    QCOMPARE(a.scalar(u"SELECT n FROM t WHERE id = 1"_s).toInt(), 11);
    QCOMPARE(a.scalar(u"SELECT n FROM t WHERE id = 2"_s).toInt(), 1);
}

// ------------------------------------------------------------ transactions

void TstDatabase::transactions()
{
    CG_FRESH_DB(db);
    db.exec(db.dialect().ddl(u"CREATE TABLE t (id {ID}, name {TEXT} UNIQUE)"_s));
    const auto names = [&] {
        QStringList out;
        const RecordSet rs = db.select(u"SELECT name FROM t ORDER BY id"_s);
        for (int i = 0; i < rs.RecordCount(); ++i)
            out << rs.valueAt(i, u"name"_s).toString();
        return out;
    };

    // A throwing fn leaves nothing behind and its error reaches the caller.
    const ServiceError e = catchError([&] {
        db.transact([&] {
            db.exec(u"INSERT INTO t (name) VALUES ('lost')"_s);
            throw ServiceError(svcerr::BadArgument, u"refused"_s);
        });
    });
    QCOMPARE(e.number(), svcerr::BadArgument);
    QVERIFY(!db.inTransaction());
    QCOMPARE(names(), QStringList());

    // A nested call joins the outer one; when it fails, only its own part is
    // undone and the outer transaction goes on (on PostgreSQL too, where a
    // failed statement would otherwise poison the whole transaction).
    db.transact([&] {
        db.exec(u"INSERT INTO t (name) VALUES ('outer')"_s);
        QVERIFY(db.inTransaction());
        db.transact([&] { db.exec(u"INSERT INTO t (name) VALUES ('joined')"_s); });
        const ServiceError inner = catchError([&] {
            db.transact([&] {
                db.exec(u"INSERT INTO t (name) VALUES ('undone')"_s);
                db.exec(u"INSERT INTO t (name) VALUES ('outer')"_s); // duplicate
            });
        });
        QCOMPARE(inner.number(), svcerr::Constraint);
        db.exec(u"INSERT INTO t (name) VALUES ('after')"_s);
    });
    QCOMPARE(names(), (QStringList{u"outer"_s, u"joined"_s, u"after"_s}));

    // An outer failure also undoes the nested calls that succeeded.
    catchError([&] {
        db.transact([&] {
            db.transact([&] { db.exec(u"INSERT INTO t (name) VALUES ('nested')"_s); });
            throw ServiceError(svcerr::Sql, u"late failure"_s);
        });
    });
    QCOMPARE(names().size(), 3);
}

void TstDatabase::conflictRetryOnlyWhenAsked()
{
    CG_FRESH_DB(db);
    db.exec(db.dialect().ddl(u"CREATE TABLE t (id {ID}, name {TEXT})"_s));
    int runs = 0;
    const auto flaky = [&] {
        ++runs;
        db.exec(u"INSERT INTO t (name) VALUES ('x')"_s);
        if (runs < 2)
            throw TxConflictError(svcerr::Sql, u"conflict"_s);
    };
    QCOMPARE(catchError([&] { db.transact(flaky); }).number(), svcerr::Sql);
    QCOMPARE(runs, 1);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t"_s).toInt(), 0);

    runs = 0;
    db.transact(flaky, Database::TxRetry::OnConflict);
    QCOMPARE(runs, 2);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t"_s).toInt(), 1); // the failed attempt left nothing

    // Retries are bounded.
    runs = 0;
    const auto always = [&] {
        ++runs;
        throw TxConflictError(svcerr::Sql, u"conflict"_s);
    };
    QCOMPARE(catchError([&] { db.transact(always, Database::TxRetry::OnConflict); }).number(), svcerr::Sql);
    QCOMPARE(runs, 3);
}

void TstDatabase::constraintNamesTheRecord()
{
    CG_FRESH_DB(db);
    db.migrate();
    db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id) VALUES ('00001', '粤A12345', '0012345678')"_s);

    ServiceError e = catchError([&] {
        db.exec(u"INSERT INTO vehicles (license_id, license) VALUES (?, ?)"_s, {u"00001"_s, u"粤B00001"_s});
    });
    QCOMPARE(e.number(), svcerr::Constraint);
    QVERIFY2(e.description().contains(u"车辆"_s) && e.description().contains(u"license_id"_s),
             qPrintable(e.description()));
    if (db.backend() == Backend::Postgres)
        QVERIFY2(e.description().contains(u"00001"_s), qPrintable(e.description()));

    // Two vehicles cannot share a card; vehicles without one can coexist.
    e = catchError([&] {
        db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id) VALUES ('00002', '粤A2', '0012345678')"_s);
    });
    QCOMPARE(e.number(), svcerr::Constraint);
    db.exec(u"INSERT INTO vehicles (license_id, license) VALUES ('00003', '粤A3')"_s);
    db.exec(u"INSERT INTO vehicles (license_id, license) VALUES ('00004', '粤A4')"_s);

    // A key of several columns is named whole.
    db.exec(u"INSERT INTO code_items (kind, name) VALUES (3, 'A1')"_s);
    e = catchError([&] { db.exec(u"INSERT INTO code_items (kind, name) VALUES (?, ?)"_s, {3, u"A1"_s}); });
    QCOMPARE(e.number(), svcerr::Constraint);
    QVERIFY2(e.description().contains(u"代码表"_s) && e.description().contains(u"kind, name"_s),
             qPrintable(e.description()));

    // An arrangement needs an existing driver.
    e = catchError([&] {
        db.exec(u"INSERT INTO arrangements (license_id, driver_id, start_date, end_date) VALUES (?, ?, ?, ?)"_s,
                {u"00001"_s, u"D404"_s, QDate(2013, 1, 1), QDate(2013, 2, 1)});
    });
    QCOMPARE(e.number(), svcerr::Constraint);
    QVERIFY2(e.description().contains(u"引用"_s), qPrintable(e.description()));

    // Only one valid check-in of a driver per trip; a cancelled one does not count.
    const QVariantList checkin = {QDate(2013, 12, 17), u"K101"_s, u"D1"_s, u"张三"_s,
                                  QDateTime(QDate(2013, 12, 17), QTime(7, 0))};
    const QString sql = u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, "
                        u"driver_report_time, is_driver) VALUES ('440100001', ?, ?, ?, ?, ?, %1)"_s;
    db.exec(sql.arg(0), checkin);
    db.exec(sql.arg(1), checkin);
    QCOMPARE(catchError([&] { db.exec(sql.arg(1), checkin); }).number(), svcerr::Constraint);
}

void TstDatabase::twoDatabasesAndThreads()
{
    CG_FRESH_DB(db);
    db.exec(db.dialect().ddl(u"CREATE TABLE t (id {ID}, name {TEXT})"_s));
    Database other(dbEnv.config());

    // Each object has its own connection: uncommitted rows stay invisible.
    db.transact([&] {
        db.exec(u"INSERT INTO t (name) VALUES ('pending')"_s);
        QCOMPARE(other.scalar(u"SELECT count(*) FROM t"_s).toInt(), 0);
    });
    QCOMPARE(other.scalar(u"SELECT count(*) FROM t"_s).toInt(), 1);

    // Worker threads get their own connections and their own transactions.
    std::atomic<int> failures{0};
    QList<QThread *> threads;
    for (int i = 0; i < 3; ++i) {
        threads << QThread::create([&, i] {
            try {
                for (int k = 0; k < 5; ++k)
                    db.transact([&] {
                        db.exec(u"INSERT INTO t (name) VALUES (?)"_s, {u"w%1"_s.arg(i)});
                    });
            } catch (const std::exception &e) {
                qWarning("%s", e.what());
                ++failures;
            }
        });
        threads.last()->start();
    }
    for (QThread *t : threads) {
        QVERIFY(t->wait(60000));
        delete t;
    }
    QCOMPARE(failures.load(), 0);
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t"_s).toInt(), 16);
}

// ------------------------------------------------------------------ schema

void TstDatabase::schemaVersions()
{
    CG_FRESH_DB(db);
    QCOMPARE(db.schemaVersion(), 0);
    const ServiceError missing = catchError([&] { db.requireCurrentSchema(); });
    QCOMPARE(missing.number(), svcerr::SchemaMissing);
    QVERIFY(missing.description().contains(u"coachgate-admin init"_s));
    QCOMPARE(db.schemaVersion(), 0); // the check created nothing

    db.migrate();
    QCOMPARE(db.schemaVersion(), Database::programSchemaVersion());
    QCOMPARE(Database::programSchemaVersion(), schema::migrations().size());
    db.requireCurrentSchema();
    db.migrate(); // a second run changes nothing
    QCOMPARE(db.scalar(u"SELECT count(*) FROM schema_version"_s).toInt(), schema::migrations().size());
    // An older database (as a previous program left it) is refused too.
    db.exec(u"DELETE FROM schema_version WHERE version = ?"_s, {Database::programSchemaVersion()});
    const ServiceError older = catchError([&] { db.requireCurrentSchema(); });
    QCOMPARE(older.number(), svcerr::SchemaMissing);
    QVERIFY2(older.description().contains(u"coachgate-admin init"_s), qPrintable(older.description()));
    // The default parameters are in place.
    QCOMPARE(db.scalar(u"SELECT param_value FROM sys_params WHERE param_index = 12"_s).toString(), u"0"_s);
}

void TstDatabase::newerSchemaIsLeftAlone()
{
    CG_FRESH_DB(db);
    db.migrate();
    const int program = Database::programSchemaVersion();
    db.exec(u"INSERT INTO schema_version (version, description) VALUES (?, 'future')"_s, {program + 1});

    for (int round = 0; round < 2; ++round) {
        const ServiceError e = catchError([&] {
            if (round == 0)
                db.requireCurrentSchema();
            else
                db.migrate();
        });
        QCOMPARE(e.number(), svcerr::SchemaTooNew);
        QVERIFY2(e.description().contains(QString::number(program + 1))
                     && e.description().contains(QString::number(program)),
                 qPrintable(e.description()));
    }
    QCOMPARE(db.scalar(u"SELECT count(*) FROM schema_version"_s).toInt(), program + 1);
}

QTEST_GUILESS_MAIN(TstDatabase)
#include "tst_database.moc"
