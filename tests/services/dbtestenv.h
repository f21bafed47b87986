#pragma once

// Fresh, empty station databases for the service tests: a SQLite file in a
// temporary folder, or a new database on the PostgreSQL cluster named by
// CG_TEST_PG (dropped again when the object goes). Without CG_TEST_PG the
// PostgreSQL rows are skipped, unless CG_REQUIRE_PG is set.

#include "services/database/database.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace cg::test {

// Runs fn and returns the ServiceError it throws (number 0 when none).
template <typename Fn>
ServiceError catchError(Fn fn)
{
    try {
        fn();
    } catch (const ServiceError &e) {
        return e;
    }
    return ServiceError(0, QString());
}

// Writes content to a new file name in dir and returns its path.
QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content);

class TestDatabase {
public:
    // backend: "sqlite" or "postgres".
    explicit TestDatabase(const QString &backend);
    ~TestDatabase();

    bool available() const { return m_available; }
    QString skipReason() const { return m_skipReason; }
    const DbConfig &config() const { return m_config; }
    // The spec the admin tool would be given for this database.
    QString spec() const { return m_spec; }

    // The PostgreSQL conninfo of the cluster's own "postgres" database.
    static QString pgAdminSpec();
    // Adds QTest data rows "sqlite" and "postgres" with a column "backend".
    static void addBackendRows();

private:
    bool m_available = false;
    QString m_skipReason;
    QString m_spec;
    QString m_pgName;
    DbConfig m_config;
    QTemporaryDir m_dir;
};

} // namespace cg::test

// In a data-driven test: a fresh database of the row's backend, or skip.
#define CG_FRESH_DB(var)                                                     \
    QFETCH(QString, backend);                                                \
    cg::test::TestDatabase var##Env(backend);                                \
    if (!var##Env.available())                                               \
        QSKIP(qPrintable(var##Env.skipReason()));                           \
    cg::Database var(var##Env.config())
