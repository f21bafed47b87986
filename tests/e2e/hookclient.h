#pragma once

// The test side of the workstation hook: a workstation process started with
// the hook (coachgate-testhook) and the calls made to it. The process is
// stopped whatever happens: asked to quit, killed when it does not, killed
// by the kernel should the test process itself die.

#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace cg::test {

class WorkstationProcess {
public:
    // name: how the test calls it ("A", "B"), also in the hook's server
    // name; what the process writes goes to logFile.
    WorkstationProcess(const QString &name, const QString &binary, const QString &logFile);
    ~WorkstationProcess();
    WorkstationProcess(const WorkstationProcess &) = delete;
    WorkstationProcess &operator=(const WorkstationProcess &) = delete;

    // Starts the workstation with these arguments (the hook's own are
    // added) and environment, and connects to its hook; false with the
    // reason (and the process stopped) when either fails within timeoutMs.
    bool start(const QStringList &arguments, const QProcessEnvironment &environment, int timeoutMs,
               QString *error);

    // One request; the answer object. A failure of the connection (or no
    // answer within timeoutMs) is answered like a refused request:
    // ok false and the reason as error.
    QJsonObject call(const QString &op, QJsonObject args = {}, int timeoutMs = 15000);

    // Asks the workstation to end and waits for it; kills it when it has
    // not ended within timeoutMs. True when it ended by itself with code 0.
    bool stop(int timeoutMs = 15000);

    QString name() const { return m_name; }
    // What the process wrote on standard output and error so far (its end).
    QString output() const;

private:
    QString m_name;
    QString m_binary;
    QString m_server;
    QProcess m_process;
    QLocalSocket m_socket;
    QString m_logFile;
    QByteArray m_pending; // answer bytes read past the last line
    qint64 m_nextId = 1;
};

} // namespace cg::test
