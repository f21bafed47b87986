#pragma once

// A TCP relay on 127.0.0.1 between workstations and their database server
// that, while told to, cuts every connection through it at random moments,
// as a failing switch or a dropped network would. It runs on a thread of its
// own, so that the relay goes on while the test waits or reads. Traffic
// stays on the loopback; the relay stops with the object.

#include <QAtomicInt>
#include <QString>
#include <QThread>

namespace cg::test {

class CuttingProxy {
public:
    CuttingProxy(const QString &upstreamHost, quint16 upstreamPort);
    ~CuttingProxy();
    CuttingProxy(const CuttingProxy &) = delete;
    CuttingProxy &operator=(const CuttingProxy &) = delete;

    // The port it listens on (0 when it could not listen).
    quint16 port() const { return m_port; }
    // From now on, cut every open connection after a random pause of
    // minMs..maxMs, again and again, until stopCutting().
    void startCutting(int minMs, int maxMs);
    void stopCutting();
    int connections() const { return m_connections.loadRelaxed(); }
    int cuts() const { return m_cuts.loadRelaxed(); }

private:
    class Relay;
    QThread m_thread;
    Relay *m_relay = nullptr;
    quint16 m_port = 0;
    QAtomicInt m_connections;
    QAtomicInt m_cuts;
};

} // namespace cg::test
