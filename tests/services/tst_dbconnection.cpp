// The connection to the station database when it fails: a server that
// cannot be reached, one that refuses TLS, a certificate that does not
// match, a connection lost before, inside or as a transaction commits, a
// SQLite file on a full disk.

#include "dbtestenv.h"

#include "services/database/database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace cg;
using test::catchError;
using test::writeFile;

namespace {

// A server without TLS on a loopback port: it answers every client's request
// for an encrypted connection with "N", as PostgreSQL with ssl=off does, and
// then waits for the client to go.
class PlainServer {
public:
    PlainServer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), len) != 0 || ::listen(m_fd, 4) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~PlainServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int port() const { return m_port; }
    int tlsRequests() const { return m_tlsRequests; }

private:
    void serve()
    {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                continue;
            unsigned char request[8];
            if (::recv(c, request, sizeof request, MSG_WAITALL) == 8 && request[4] == 0x04 && request[5] == 0xd2
                && request[6] == 0x16 && request[7] == 0x2f) {
                ++m_tlsRequests;
                [[maybe_unused]] const auto sent = ::send(c, "N", 1, 0);
            }
            char rest[256];
            pollfd q{c, POLLIN, 0};
            while (!m_stop && ::poll(&q, 1, 50) >= 0) {
                if ((q.revents & POLLIN) && ::recv(c, rest, sizeof rest, 0) <= 0)
                    break;
            }
            ::close(c);
        }
    }
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_tlsRequests{0};
    std::thread m_thread;
};

} // namespace

class TstDbConnection : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void unreachable();
    void tlsRequiredRefusesPlainServer_data();
    void tlsRequiredRefusesPlainServer();
    void tlsVerifyFull_data();
    void tlsVerifyFull();
    void lostConnectionReconnectsOnNextCall();
    void transactionStaysOnItsConnection_data() { test::TestDatabase::addBackendRows(); }
    void transactionStaysOnItsConnection();
    void sqliteDiskFull();
};

void TstDbConnection::unreachable()
{
    QTemporaryDir dir;
    const QString passfile = writeFile(dir, u"pw"_s, "topsecret\n");
    // Nothing listens on port 1 of the loopback address.
    Database pg(DbConfig::parse(u"host=127.0.0.1 port=1 dbname=station user=gate sslmode=disable passfile="_s
                                + passfile));
    ServiceError e = catchError([&] { pg.scalar(u"SELECT 1"_s); });
    QCOMPARE(e.number(), svcerr::Unreachable);
    QVERIFY2(e.description().startsWith(u"无法连接数据库"_s), qPrintable(e.description()));
    QVERIFY(e.description().contains(u"127.0.0.1:1"_s));
    QVERIFY(!e.description().contains(u"topsecret"_s));

    Database lite(DbConfig::parse(dir.filePath(u"missing-folder/station.sqlite"_s)));
    e = catchError([&] { lite.exec(u"SELECT 1"_s); });
    QCOMPARE(e.number(), svcerr::Unreachable);
    QVERIFY(e.description().contains(u"missing-folder"_s));
}

// A setting that demands TLS never talks in the clear to a server without it:
// the connection fails, saying why, instead of falling back.
void TstDbConnection::tlsRequiredRefusesPlainServer_data()
{
    QTest::addColumn<QString>("sslmode");
    QTest::newRow("require") << u"require"_s;
    QTest::newRow("verify-ca") << u"verify-ca"_s;
    QTest::newRow("verify-full") << u"verify-full"_s;
}

void TstDbConnection::tlsRequiredRefusesPlainServer()
{
    QFETCH(QString, sslmode);
    PlainServer server;
    QVERIFY(server.port() > 0);
    QTemporaryDir dir;
    const QString passfile = writeFile(dir, u"pw"_s, "topsecret\n");
    const QString ca = writeFile(dir, u"ca.pem"_s, "not needed: the server never gets that far\n");
    Database db(DbConfig::parse(u"host=127.0.0.1 port=%1 dbname=station user=gate sslmode=%2 sslrootcert=%3 "
                                u"passfile=%4"_s.arg(server.port()).arg(sslmode, ca, passfile)));
    QVERIFY(db.config().requiresTls());
    const ServiceError e = catchError([&] { db.scalar(u"SELECT 1"_s); });
    QCOMPARE(e.number(), svcerr::Unreachable);
    QVERIFY2(e.description().contains(u"不接受加密连接（TLS）"_s), qPrintable(e.description()));
    QVERIFY(e.description().contains(u"sslmode="_s + sslmode));
    QVERIFY(!e.description().contains(u"topsecret"_s));
    QVERIFY(server.tlsRequests() >= 1);
}

// verify-full against the test cluster's own certificate (made for
// "localhost" by scripts/pg-test-cluster): the right name connects, over
// TLS; another name for the same server, or another authority, is refused.
void TstDbConnection::tlsVerifyFull_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("otherAuthority");
    QTest::addColumn<QString>("refusal"); // empty: connects
    QTest::newRow("right name") << u"localhost"_s << false << QString();
    QTest::newRow("address, not the certificate's name") << u"127.0.0.1"_s << false << u"does not match"_s;
    QTest::newRow("another authority") << u"localhost"_s << true << u"certificate verify failed"_s;
}

void TstDbConnection::tlsVerifyFull()
{
    test::TestDatabase env(u"postgres"_s);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    QFETCH(QString, host);
    QFETCH(bool, otherAuthority);
    QFETCH(QString, refusal);
    Database plain(env.config());
    if (plain.scalar(u"SHOW ssl"_s).toString() != u"on"_s)
        QSKIP("the test cluster has no TLS (scripts/pg-test-cluster starts it with a certificate)");
    QString cert = plain.scalar(u"SHOW ssl_cert_file"_s).toString();
    if (QFileInfo(cert).isRelative())
        cert = QDir(plain.scalar(u"SHOW data_directory"_s).toString()).filePath(cert);
    QTemporaryDir dir(QDir::tempPath() + u"/cg tls XXXXXX"_s); // a space the option must carry
    QString ca = dir.filePath(u"root ca.pem"_s);
    if (otherAuthority) {
        QProcess openssl;
        openssl.start(u"openssl"_s, {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s,
                                     u"1"_s, u"-subj"_s, u"/CN=localhost"_s, u"-keyout"_s,
                                     dir.filePath(u"other.key"_s), u"-out"_s, ca});
        QVERIFY(openssl.waitForFinished(60000));
        QCOMPARE(openssl.exitCode(), 0);
    } else {
        QVERIFY(QFile::copy(cert, ca));
    }
    const DbConfig base = env.config();
    DbConfig c = DbConfig::parse(u"host=%1 port=%2 dbname=%3 user=%4 sslmode=verify-full sslrootcert='%5'"_s.arg(
        host, QString::number(base.port), base.database, base.user, ca));
    Database db(c);
    if (refusal.isEmpty()) {
        QCOMPARE(db.scalar(u"SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"_s).toBool(), true);
        return;
    }
    const ServiceError e = catchError([&] { db.scalar(u"SELECT 1"_s); });
    QCOMPARE(e.number(), svcerr::Unreachable);
    QVERIFY2(e.description().contains(refusal), qPrintable(e.description()));
}

// The server ends the session while it lies idle (a restart, an
// administrator, the network): a read, or the start of a transaction, goes
// through on a new connection; a write that may have reached the server
// reports the loss and is never run twice; a transaction that lost its
// connection fails whole, and nothing of it goes on on a new one.
void TstDbConnection::lostConnectionReconnectsOnNextCall()
{
    test::TestDatabase env(u"postgres"_s);
    if (!env.available())
        QSKIP(qPrintable(env.skipReason()));
    Database db(env.config());
    Database admin(env.config());
    const auto killSession = [&] {
        const qint64 pid = admin.scalar(u"SELECT pid FROM pg_stat_activity WHERE datname = current_database() "
                                        u"AND pid <> pg_backend_pid() AND backend_type = 'client backend'"_s)
                               .toLongLong();
        admin.scalar(u"SELECT pg_terminate_backend(?)"_s, {pid});
        for (int waited = 0; waited < 10000; waited += 50) {
            if (admin.scalar(u"SELECT count(*) FROM pg_stat_activity WHERE pid = ?"_s, {pid}).toInt() == 0)
                break;
            QThread::msleep(50);
        }
        return pid;
    };
    const auto count = [&](const QString &name) {
        return admin.scalar(u"SELECT count(*) FROM t WHERE name = ?"_s, {name}).toInt();
    };

    const qint64 first = db.scalar(u"SELECT pg_backend_pid()"_s).toLongLong();
    QCOMPARE(killSession(), first);
    QCOMPARE(db.scalar(u"SELECT 1"_s).toInt(), 1);
    QVERIFY(db.scalar(u"SELECT pg_backend_pid()"_s).toLongLong() != first);

    db.exec(db.dialect().ddl(u"CREATE TABLE t (id {ID}, name {TEXT})"_s));
    killSession();
    const ServiceError write = catchError([&] { db.exec(u"INSERT INTO t (name) VALUES ('once')"_s); });
    QCOMPARE(write.number(), svcerr::Unreachable);
    QVERIFY2(write.description().startsWith(u"与数据库的连接已中断"_s), qPrintable(write.description()));
    QCOMPARE(count(u"once"_s), 0);
    db.exec(u"INSERT INTO t (name) VALUES ('once')"_s);
    QCOMPARE(count(u"once"_s), 1);

    killSession();
    db.transact([&] { db.exec(u"INSERT INTO t (name) VALUES ('begun on a dropped connection')"_s); });
    QCOMPARE(count(u"begun on a dropped connection"_s), 1);

    // Lost as it committed: the server may or may not have committed, and
    // the operator is told to look before doing it again.
    const ServiceError atCommit = catchError([&] {
        db.transact([&] {
            db.exec(u"INSERT INTO t (name) VALUES ('at commit')"_s);
            killSession();
        });
    });
    QCOMPARE(atCommit.number(), svcerr::Unreachable);
    QVERIFY2(atCommit.description().startsWith(u"与数据库的连接在提交时中断"_s), qPrintable(atCommit.description()));
    QVERIFY(atCommit.description().contains(u"请刷新后查看"_s));
    QCOMPARE(count(u"at commit"_s), 0);

    const ServiceError inTx = catchError([&] {
        db.transact([&] {
            db.exec(u"INSERT INTO t (name) VALUES ('lost')"_s);
            killSession();
            try {
                db.transact([&] { db.exec(u"INSERT INTO t (name) VALUES ('nested')"_s); });
            } catch (const ServiceError &) {
                // as a caller that goes on after a failed part would
            }
            db.exec(u"INSERT INTO t (name) VALUES ('after the loss')"_s);
        });
    });
    QCOMPARE(inTx.number(), svcerr::Unreachable);
    QVERIFY(!db.inTransaction());
    QCOMPARE(count(u"lost"_s) + count(u"nested"_s) + count(u"after the loss"_s), 0);
    db.transact([&] { db.exec(u"INSERT INTO t (name) VALUES ('kept')"_s); });
    QCOMPARE(count(u"kept"_s), 1);
}

// The client library closed the connection in the middle of a transaction
// with no error that named the loss: the rest of the transaction fails, and
// none of it runs on its own on a new connection.
void TstDbConnection::transactionStaysOnItsConnection()
{
    CG_FRESH_DB(db);
    db.exec(db.dialect().ddl(u"CREATE TABLE t (id {ID}, name {TEXT})"_s));
    const ServiceError e = catchError([&] {
        db.transact([&] {
            db.exec(u"INSERT INTO t (name) VALUES ('before the close')"_s);
            db.connection().close();
            db.exec(u"INSERT INTO t (name) VALUES ('after the close')"_s);
        });
    });
    QCOMPARE(e.number(), svcerr::Unreachable);
    QVERIFY(!db.inTransaction());
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t"_s).toInt(), 0);
    db.transact([&] { db.exec(u"INSERT INTO t (name) VALUES ('next')"_s); });
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t"_s).toInt(), 1);
}

// A full disk: the write is refused with a message that says so, the
// transaction is undone whole, and what was there before stays.
void TstDbConnection::sqliteDiskFull()
{
    test::TestDatabase env(u"sqlite"_s);
    Database db(env.config());
    db.exec(db.dialect().ddl(u"CREATE TABLE t (id {ID}, name {TEXT})"_s));
    db.exec(u"INSERT INTO t (name) VALUES ('before')"_s);
    // The file may not grow by more than a few pages from here on.
    const int pages = db.scalar(u"PRAGMA page_count"_s).toInt();
    db.exec(u"PRAGMA max_page_count = %1"_s.arg(pages + 4));
    const QString page(2000, u'x');
    const ServiceError e = catchError([&] {
        db.transact([&] {
            for (int i = 0; i < 100; ++i)
                db.exec(u"INSERT INTO t (name) VALUES (?)"_s, {page});
        });
    });
    QCOMPARE(e.number(), svcerr::Unreachable);
    QVERIFY2(e.description().startsWith(u"数据库所在的磁盘已满，本次操作没有保存"_s), qPrintable(e.description()));
    QVERIFY(!db.inTransaction());
    QCOMPARE(db.scalar(u"SELECT count(*) FROM t"_s).toInt(), 1);
    QCOMPARE(db.scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
}

QTEST_GUILESS_MAIN(TstDbConnection)
#include "tst_dbconnection.moc"
