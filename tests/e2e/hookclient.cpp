#include "hookclient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace cg::test {

WorkstationProcess::WorkstationProcess(const QString &name, const QString &binary, const QString &logFile)
    : m_name(name), m_binary(binary),
      m_server(u"cg-road-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(name)), m_logFile(logFile)
{
    // Into a file: a pipe nobody reads would stop a talkative workstation.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(logFile);
    // Should the test die, the kernel ends the workstation with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

WorkstationProcess::~WorkstationProcess()
{
    if (m_process.state() != QProcess::NotRunning)
        stop(5000);
}

bool WorkstationProcess::start(const QStringList &arguments, const QProcessEnvironment &environment, int timeoutMs,
                               QString *error)
{
    const QDeadlineTimer deadline(timeoutMs);
    m_process.setProcessEnvironment(environment);
    m_process.start(m_binary, QStringList{u"--test-hook"_s, m_server} + arguments);
    if (!m_process.waitForStarted(qMax<qint64>(1000, deadline.remainingTime()))) {
        *error = u"workstation %1 did not start: %2"_s.arg(m_name, m_process.errorString());
        return false;
    }
    // The hook listens once the workstation has read its configuration;
    // until then the connection is refused and tried again.
    while (!deadline.hasExpired()) {
        m_socket.connectToServer(m_server);
        if (m_socket.waitForConnected(200))
            return true;
        m_socket.abort();
        if (m_process.state() == QProcess::NotRunning || m_process.waitForFinished(50)) {
            *error = u"workstation %1 ended at start-up (code %2): %3"_s.arg(m_name).arg(m_process.exitCode()).arg(
                output());
            return false;
        }
    }
    *error = u"workstation %1's hook did not answer within %2 ms: %3"_s.arg(m_name).arg(timeoutMs).arg(output());
    stop(2000);
    return false;
}

QJsonObject WorkstationProcess::call(const QString &op, QJsonObject args, int timeoutMs)
{
    const auto failed = [&](const QString &why) {
        return QJsonObject{{u"ok"_s, false}, {u"error"_s, u"%1: %2 (%3)"_s.arg(m_name, why, op)}};
    };
    if (m_socket.state() != QLocalSocket::ConnectedState)
        return failed(u"not connected"_s);
    const qint64 id = m_nextId++;
    args.insert(u"id"_s, double(id));
    args.insert(u"op"_s, op);
    m_socket.write(QJsonDocument(args).toJson(QJsonDocument::Compact) + '\n');
    if (!m_socket.waitForBytesWritten(timeoutMs) && m_socket.bytesToWrite() > 0)
        return failed(u"the request could not be sent"_s);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = m_pending.left(end);
            m_pending.remove(0, end + 1);
            const QJsonObject answer = QJsonDocument::fromJson(line).object();
            if (answer.value(u"id"_s).toDouble() == double(id))
                return answer;
            continue; // an answer to an earlier request that timed out
        }
        if (deadline.hasExpired())
            return failed(u"no answer within %1 ms"_s.arg(timeoutMs));
        if (!m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))) &&
            m_socket.state() != QLocalSocket::ConnectedState)
            return failed(u"the connection ended"_s);
        m_pending += m_socket.readAll();
    }
}

bool WorkstationProcess::stop(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    if (m_socket.state() == QLocalSocket::ConnectedState)
        call(u"quit"_s, {}, 2000);
    if (m_process.waitForFinished(timeoutMs)) {
        m_socket.abort();
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    m_process.kill();
    m_process.waitForFinished(5000);
    m_socket.abort();
    return false;
}

QString WorkstationProcess::output() const
{
    QFile file(m_logFile);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    if (file.size() > 4000)
        file.seek(file.size() - 4000);
    return QString::fromLocal8Bit(file.readAll());
}

} // namespace cg::test
