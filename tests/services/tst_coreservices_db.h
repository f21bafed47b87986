#pragma once

// A fresh, migrated station database for one test: a SQLite file in a
// temporary folder, or a new database on the PostgreSQL cluster named by
// CG_TEST_PG, dropped again afterwards.

#include "services/database/database.h"

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace cg::test {

inline bool pgConfigured() { return !qEnvironmentVariableIsEmpty("CG_TEST_PG"); }
inline bool pgRequired() { return qEnvironmentVariable("CG_REQUIRE_PG") == QStringLiteral("1"); }

// Skips (or, with CG_REQUIRE_PG=1, fails) a PostgreSQL row without a cluster.
#define CG_NEED_BACKEND(backend)                                                              \
    do {                                                                                      \
        if ((backend) == QStringLiteral("postgres") && !cg::test::pgConfigured()) {           \
            if (cg::test::pgRequired())                                                       \
                QFAIL("CG_REQUIRE_PG=1 but CG_TEST_PG is not set");                           \
            QSKIP("CG_TEST_PG is not set");                                                   \
        }                                                                                     \
    } while (false)

class TestDb {
public:
    explicit TestDb(const QString &backend)
    {
        if (backend == QStringLiteral("postgres")) {
            m_admin = DbConfig::parse(qEnvironmentVariable("CG_TEST_PG"));
            m_name = QStringLiteral("cg_n_%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QChar(u'0'));
            adminExec(QStringLiteral("CREATE DATABASE %1").arg(m_name));
            m_location = QStringLiteral("host=%1 port=%2 dbname=%3 user=%4 sslmode=%5")
                         .arg(m_admin.host).arg(m_admin.port).arg(m_name, m_admin.user,
                                                                  m_admin.sslmode.isEmpty() ? QStringLiteral("disable")
                                                                                            : m_admin.sslmode);
        } else {
            m_location = m_dir.filePath(QStringLiteral("station.sqlite"));
        }
        db = std::make_unique<Database>(DbConfig::parse(m_location));
        db->migrate();
    }
    ~TestDb()
    {
        db.reset();
        if (!m_name.isEmpty())
            adminExec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
    }
    TestDb(const TestDb &) = delete;
    TestDb &operator=(const TestDb &) = delete;

    // Where a second process opens the same database with.
    QString location() const { return m_location; }
    bool isPostgres() const { return !m_name.isEmpty(); }

    std::unique_ptr<Database> db;

private:
    void adminExec(const QString &sql)
    {
        const QString conn = QStringLiteral("cg-test-admin");
        {
            QSqlDatabase a = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), conn);
            a.setHostName(m_admin.host);
            a.setPort(m_admin.port);
            a.setDatabaseName(m_admin.database);
            a.setUserName(m_admin.user);
            if (!m_admin.sslmode.isEmpty())
                a.setConnectOptions(QStringLiteral("sslmode=") + m_admin.sslmode);
            if (!a.open())
                qFatal("cannot reach the test cluster: %s", qUtf8Printable(a.lastError().text()));
            QSqlQuery q(a);
            if (!q.exec(sql))
                qWarning("%s failed: %s", qUtf8Printable(sql), qUtf8Printable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(conn);
    }

    QTemporaryDir m_dir;
    DbConfig m_admin;
    QString m_name;
    QString m_location;
};

} // namespace cg::test
