// The workstation's log file: lines whole and in order from every thread,
// the size limit with five older files kept, and a folder that cannot be
// written leaving the program to standard error.
#include "app/config.h"
#include "app/logfile.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <vector>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

Q_LOGGING_CATEGORY(lcTest, "coachgate.test")

QStringList linesOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

const QRegularExpression &lineShape()
{
    static const QRegularExpression shape(
        u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} [DIWCF] [a-z.]+: .*$"_s);
    return shape;
}

} // namespace

class tst_logfile : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { LogFile::uninstall(); }
    void linesCarryTimeLevelAndCategory();
    void sizeLimitKeepsFiveOlderFiles_data();
    void sizeLimitKeepsFiveOlderFiles();
    void everyThreadsLinesWhole();
    void unwritableFolder();
    void stateFolder_data();
    void stateFolder();
    void verboseOnTheCommandLine();
};

void tst_logfile::linesCarryTimeLevelAndCategory()
{
    QTemporaryDir dir;
    QVERIFY(LogFile::install(dir.path(), false));
    QCOMPARE(LogFile::path(), dir.filePath(u"coachgate.log"_s));
    qInfo("start-up: 车站 %s", "440100001");
    qCWarning(lcTest) << "SQL failed";
    LogFile::writeToFileOnly(QtCriticalMsg, u"start-up failed: 错误-13"_s);
    const QStringList lines = linesOf(LogFile::path());
    QCOMPARE(lines.size(), 3);
    for (const QString &line : lines)
        QVERIFY2(lineShape().match(line).hasMatch(), qPrintable(line));
    QVERIFY(lines[0].endsWith(u" I coachgate: start-up: 车站 440100001"_s));
    QVERIFY(lines[1].endsWith(u" W coachgate.test: SQL failed"_s));
    QVERIFY(lines[2].endsWith(u" C coachgate: start-up failed: 错误-13"_s));
    // A second start appends.
    QVERIFY(LogFile::install(dir.path(), false));
    qInfo("again");
    QCOMPARE(linesOf(LogFile::path()).size(), 4);
}

// Over the limit at start-up or while running: the full file moves to .1,
// the older ones up, never more than five kept; no line is split or lost
// between the current file and the kept ones until the oldest is dropped.
void tst_logfile::sizeLimitKeepsFiveOlderFiles_data()
{
    QTest::addColumn<int>("messages");
    QTest::addColumn<int>("olderFiles");
    // Each line is some 60 bytes; the limit 600 holds nine or ten.
    QTest::newRow("within the limit") << 5 << 0;
    QTest::newRow("one file over") << 15 << 1;
    QTest::newRow("three over") << 35 << 3;
    QTest::newRow("far over: five kept") << 200 << 5;
}

void tst_logfile::sizeLimitKeepsFiveOlderFiles()
{
    QFETCH(int, messages);
    QFETCH(int, olderFiles);
    QTemporaryDir dir;
    QVERIFY(LogFile::install(dir.path(), false, nullptr, 600));
    for (int i = 0; i < messages; ++i)
        qInfo("message %04d of the day", i);
    const QString path = LogFile::path();
    int kept = 0;
    QStringList all;
    for (int n = LogFile::KeptFiles + 1; n >= 1; --n) {
        const QString older = path + u"."_s + QString::number(n);
        if (!QFile::exists(older))
            continue;
        QVERIFY2(n <= LogFile::KeptFiles, "more than five older files kept");
        QVERIFY(QFileInfo(older).size() <= 600);
        ++kept;
        all += linesOf(older);
    }
    all += linesOf(path);
    QCOMPARE(kept, olderFiles);
    QVERIFY(QFileInfo(path).size() <= 600);
    // The newest lines, in order, none split.
    QVERIFY(!all.isEmpty());
    for (int i = 0; i < all.size(); ++i) {
        QVERIFY2(lineShape().match(all[i]).hasMatch(), qPrintable(all[i]));
        QVERIFY(all[i].endsWith(u"message %1 of the day"_s.arg(messages - all.size() + i, 4, 10, QChar(u'0'))));
    }
    if (olderFiles < LogFile::KeptFiles)
        QCOMPARE(all.size(), messages);

    // A file already over the limit at start-up is put aside first.
    LogFile::uninstall();
    QFile big(path);
    QVERIFY(big.open(QIODevice::Append));
    big.write(QByteArray(700, 'x') + '\n');
    big.close();
    QVERIFY(LogFile::install(dir.path(), false, nullptr, 600));
    qInfo("fresh");
    QCOMPARE(linesOf(path).size(), 1);
    QVERIFY(linesOf(path + u".1"_s).last().startsWith(u"xxx"_s));
}

void tst_logfile::everyThreadsLinesWhole()
{
    QTemporaryDir dir;
    QVERIFY(LogFile::install(dir.path(), false));
    constexpr int Threads = 4;
    constexpr int Each = 250;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back(QThread::create([t] {
            for (int i = 0; i < Each; ++i)
                qInfo("thread %d line %d", t, i);
        }));
        threads.back()->start();
    }
    for (auto &thread : threads)
        QVERIFY(thread->wait(30000));
    const QStringList lines = linesOf(LogFile::path());
    QCOMPARE(lines.size(), Threads * Each);
    std::vector<int> next(Threads, 0);
    static const QRegularExpression tail(u"thread (\\d) line (\\d+)$"_s);
    for (const QString &line : lines) {
        QVERIFY2(lineShape().match(line).hasMatch(), qPrintable(line));
        const auto m = tail.match(line);
        QVERIFY(m.hasMatch());
        // Each thread's lines in its own order.
        QCOMPARE(m.captured(2).toInt(), next[m.captured(1).toInt()]++);
    }
}

void tst_logfile::unwritableFolder()
{
    QTemporaryDir dir;
    // A file where the folder should be.
    const QString blocked = dir.filePath(u"blocked"_s);
    QFile f(blocked);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QString why;
    QVERIFY(!LogFile::install(blocked + u"/coachgate"_s, false, &why));
    QVERIFY2(why.contains(u"日志"_s), qPrintable(why));
    QCOMPARE(LogFile::path(), QString());
    qInfo("still goes somewhere"); // standard error; no crash
    LogFile::writeToFileOnly(QtCriticalMsg, u"nowhere"_s);
}

void tst_logfile::stateFolder_data()
{
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_STATE_HOME") << u"/srv/state"_s << u"/srv/state/coachgate"_s;
    QTest::newRow("unset") << QString() << QDir::homePath() + u"/.local/state/coachgate"_s;
    QTest::newRow("relative: ignored") << u"state"_s << QDir::homePath() + u"/.local/state/coachgate"_s;
}

void tst_logfile::stateFolder()
{
    QFETCH(QString, xdg);
    QFETCH(QString, expected);
    const QByteArray before = qgetenv("XDG_STATE_HOME");
    if (xdg.isEmpty())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", xdg.toUtf8());
    QCOMPARE(LogFile::defaultFolder(), expected);
    if (before.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", before);
}

void tst_logfile::verboseOnTheCommandLine()
{
    QVERIFY(!ParseCommandLine({u"coachgate"_s}).verbose);
    QVERIFY(ParseCommandLine({u"coachgate"_s, u"--verbose"_s}).verbose);
}

QTEST_GUILESS_MAIN(tst_logfile)
#include "tst_logfile.moc"
