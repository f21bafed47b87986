#pragma once

// The worker processes of a reliability test. Every child is killed and
// reaped when the Children object goes, on every way out of the test (a
// failed QVERIFY returns early), so no worker outlives its test.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace cg::test {

inline QString workerPath()
{
    const QString dir = qEnvironmentVariable("CG_TEST_BINARY_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/stress_worker")
                         : dir + QStringLiteral("/tests/reliability/stress_worker");
}

// A whole-number setting from the environment, else the default.
inline int envNumber(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

struct Child {
    QProcess process;
    QByteArray out; // everything read from its standard output so far

    void read() { out += process.readAllStandardOutput(); }
    int lines()
    {
        read();
        return int(out.count('\n'));
    }
    bool saidReady()
    {
        read();
        return out.startsWith("READY\n");
    }
};

class Children {
public:
    Children() = default;
    Children(const Children &) = delete;
    Children &operator=(const Children &) = delete;
    ~Children()
    {
        for (auto &c : m_children)
            kill(*c);
    }

    Child &start(const QStringList &args)
    {
        m_children.push_back(std::make_unique<Child>());
        Child &c = *m_children.back();
        c.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        c.process.start(workerPath(), args);
        return c;
    }
    // kill -9 and reap.
    static void kill(Child &c)
    {
        if (c.process.state() != QProcess::NotRunning) {
            c.process.kill();
            c.process.waitForFinished(10000);
        }
        c.read();
    }
    // Waits until pred() holds or timeoutMs pass, running the event loop.
    template <class Pred>
    static bool waitFor(Pred pred, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!pred()) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(20);
        }
        return true;
    }

    // count listeners of the station's events on the database spec, each
    // ready to print what it hears; empty when they did not all start.
    QList<Child *> startListeners(const QString &spec, const QString &station, int count)
    {
        QList<Child *> listeners;
        for (int i = 0; i < count; ++i)
            listeners << &start({QStringLiteral("listen"), spec, station});
        if (!waitFor([&] { return allReady(listeners); }, 30000))
            return {};
        return listeners;
    }

    // Whether every one of them said READY, or has ended.
    static bool allReady(const QList<Child *> &children)
    {
        return std::all_of(children.cbegin(), children.cend(), [](Child *c) { return c->saidReady(); });
    }
    static bool allEnded(const QList<Child *> &children)
    {
        return std::all_of(children.cbegin(), children.cend(),
                           [](Child *c) { return c->process.state() == QProcess::NotRunning; });
    }

    // Waits until every listener printed as many events as events holds,
    // a moment more (nothing may come twice), then stops them. Empty when
    // each printed exactly events, in that order; else what went wrong.
    static QString heardExactly(const QList<Child *> &listeners, const QStringList &events)
    {
        for (Child *l : listeners)
            if (!waitFor([&] { return l->lines() >= events.size() + 1; }, 30000))
                return QStringLiteral("a listener heard %1 of %2 events").arg(l->lines() - 1).arg(events.size());
        QTest::qWait(1500);
        for (Child *l : listeners) {
            kill(*l);
            QStringList heard = QString::fromUtf8(l->out).split(u'\n', Qt::SkipEmptyParts);
            if (heard.isEmpty() || heard.takeFirst() != QStringLiteral("READY"))
                return QStringLiteral("a listener did not start with READY");
            if (heard != events)
                return QStringLiteral("a listener heard %1 events, not the %2 of the outbox in their order")
                    .arg(heard.size())
                    .arg(events.size());
        }
        return {};
    }

private:
    std::vector<std::unique_ptr<Child>> m_children;
};

} // namespace cg::test
