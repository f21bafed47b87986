#include "cuttingproxy.h"

#include <QHostAddress>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <vector>

namespace cg::test {

// Lives on the relay's thread: every socket and timer is created there.
class CuttingProxy::Relay : public QObject {
public:
    Relay(QString host, quint16 port, QAtomicInt &connections, QAtomicInt &cuts)
        : m_host(std::move(host)), m_upstreamPort(port), m_connections(connections), m_cuts(cuts)
    {
    }

    quint16 listen()
    {
        m_server = new QTcpServer(this);
        QObject::connect(m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = m_server->nextPendingConnection())
                relay(client);
        });
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        QObject::connect(m_timer, &QTimer::timeout, this, [this] {
            cutAll();
            scheduleCut();
        });
        return m_server->listen(QHostAddress::LocalHost, 0) ? m_server->serverPort() : 0;
    }

    void startCutting(int minMs, int maxMs)
    {
        m_minMs = minMs;
        m_maxMs = qMax(minMs + 1, maxMs);
        m_cutting = true;
        scheduleCut();
    }

    void stopCutting()
    {
        m_cutting = false;
        m_timer->stop();
    }

    void shutdown()
    {
        stopCutting();
        m_server->close();
        for (auto &p : m_pairs) {
            if (p.client)
                p.client->abort();
            if (p.upstream)
                p.upstream->abort();
        }
        m_pairs.clear();
    }

private:
    struct Pair {
        QPointer<QTcpSocket> client, upstream;
    };

    void relay(QTcpSocket *client)
    {
        m_connections.ref();
        auto *upstream = new QTcpSocket(this);
        client->setParent(this);
        m_pairs.push_back({client, upstream});
        // What the client sends before the server is reached waits in the
        // client's socket; it is passed on once the server answers.
        const auto forward = [](QTcpSocket *from, QTcpSocket *to) {
            if (to->state() == QAbstractSocket::ConnectedState && from->bytesAvailable() > 0)
                to->write(from->readAll());
        };
        QObject::connect(client, &QTcpSocket::readyRead, upstream, [=] { forward(client, upstream); });
        QObject::connect(upstream, &QTcpSocket::readyRead, client, [=] { forward(upstream, client); });
        QObject::connect(upstream, &QTcpSocket::connected, client, [=] { forward(client, upstream); });
        const auto close = [this, c = QPointer<QTcpSocket>(client), u = QPointer<QTcpSocket>(upstream)] {
            if (c) {
                c->disconnect();
                c->abort();
                c->deleteLater();
            }
            if (u) {
                u->disconnect();
                u->abort();
                u->deleteLater();
            }
            prune();
        };
        QObject::connect(client, &QTcpSocket::disconnected, this, close);
        QObject::connect(upstream, &QTcpSocket::disconnected, this, close);
        QObject::connect(upstream, &QTcpSocket::errorOccurred, this, close);
        upstream->connectToHost(m_host, m_upstreamPort);
    }

    void cutAll()
    {
        for (auto &p : m_pairs) {
            if (p.client) {
                p.client->disconnect();
                p.client->abort();
                p.client->deleteLater();
            }
            if (p.upstream) {
                p.upstream->disconnect();
                p.upstream->abort();
                p.upstream->deleteLater();
            }
        }
        if (!m_pairs.empty())
            m_cuts.ref();
        m_pairs.clear();
    }

    void prune()
    {
        std::erase_if(m_pairs, [](const Pair &p) { return !p.client || !p.upstream; });
    }

    void scheduleCut()
    {
        if (m_cutting)
            m_timer->start(int(QRandomGenerator::global()->bounded(m_minMs, m_maxMs)));
    }

    QString m_host;
    quint16 m_upstreamPort;
    QAtomicInt &m_connections;
    QAtomicInt &m_cuts;
    QTcpServer *m_server = nullptr;
    QTimer *m_timer = nullptr;
    std::vector<Pair> m_pairs;
    bool m_cutting = false;
    int m_minMs = 0, m_maxMs = 1;
};

CuttingProxy::CuttingProxy(const QString &upstreamHost, quint16 upstreamPort)
{
    m_relay = new Relay(upstreamHost, upstreamPort, m_connections, m_cuts);
    m_relay->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_relay, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(m_relay, [this] { m_port = m_relay->listen(); }, Qt::BlockingQueuedConnection);
}

CuttingProxy::~CuttingProxy()
{
    QMetaObject::invokeMethod(m_relay, [this] { m_relay->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void CuttingProxy::startCutting(int minMs, int maxMs)
{
    QMetaObject::invokeMethod(m_relay, [this, minMs, maxMs] { m_relay->startCutting(minMs, maxMs); },
                              Qt::BlockingQueuedConnection);
}

void CuttingProxy::stopCutting()
{
    QMetaObject::invokeMethod(m_relay, [this] { m_relay->stopCutting(); }, Qt::BlockingQueuedConnection);
}

} // namespace cg::test
