#include "dbtestenv.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace cg::test {

namespace {
QAtomicInt g_counter;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qWarning("cannot write %s", qPrintable(path));
    return path;
}

QString TestDatabase::pgAdminSpec()
{
    return qEnvironmentVariable("CG_TEST_PG");
}

void TestDatabase::addBackendRows()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << u"sqlite"_s;
    QTest::newRow("postgres") << u"postgres"_s;
}

TestDatabase::TestDatabase(const QString &backend)
{
    if (backend == u"sqlite"_s) {
        m_spec = m_dir.filePath(u"station.sqlite"_s);
        m_config = DbConfig::parse(m_spec);
        m_available = true;
        return;
    }
    const QString admin = pgAdminSpec();
    if (admin.isEmpty()) {
        if (qEnvironmentVariableIsSet("CG_REQUIRE_PG"))
            QTest::qFail("CG_REQUIRE_PG is set but CG_TEST_PG is empty", __FILE__, __LINE__);
        m_skipReason = u"no PostgreSQL test cluster (CG_TEST_PG)"_s;
        return;
    }
    m_pgName = u"cgtst_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(g_counter.fetchAndAddRelaxed(1));
    {
        Database server(DbConfig::parse(admin));
        server.exec(u"CREATE DATABASE "_s + m_pgName);
    }
    static const QRegularExpression dbname(u"dbname=\\S+"_s);
    m_spec = QString(admin).replace(dbname, u"dbname="_s + m_pgName);
    m_config = DbConfig::parse(m_spec);
    m_available = true;
}

TestDatabase::~TestDatabase()
{
    if (m_pgName.isEmpty())
        return;
    try {
        Database server(DbConfig::parse(pgAdminSpec()));
        server.exec(u"DROP DATABASE IF EXISTS "_s + m_pgName + u" WITH (FORCE)"_s);
    } catch (const std::exception &e) {
        qWarning("could not drop test database: %s", e.what());
    }
}

} // namespace cg::test
