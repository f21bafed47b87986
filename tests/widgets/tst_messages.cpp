#include "core/apperror.h"
#include "core/files.h"
#include "widgets/messages.h"
#include "core/text.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace cg;
using namespace Qt::StringLiterals;

class TstMessages : public QObject {
    Q_OBJECT

private slots:
    void showNotice();
    void reportError_data();
    void reportError();
    void trapEndsHandler();
    void checkNoQuotes_data();
    void checkNoQuotes();
    void soundAndShell();
    void fileRoundTrip_data();
    void fileRoundTrip();
    void readFailures();
    void writeFailure();
};

void TstMessages::showNotice()
{
    test::RecordingMessageSink sink;
    ShowNotice(sink, u"保存成功！"_s);
    QCOMPARE(sink.boxes.size(), 1);
    const MessageBoxSpec &b = sink.boxes[0].spec;
    QCOMPARE(b.title, u"注意"_s);
    QCOMPARE(b.text, u"保存成功！"_s);
    QCOMPARE(b.icon, MsgIcon::Information);
    QCOMPARE(b.buttons, MsgButtons::Ok);
}

void TstMessages::reportError_data()
{
    QTest::addColumn<int>("kind"); // 0 AppError, 1 AppError as std::exception, 2 other exception
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("app error") << 0 << u"错误-91"_s << u"对象变量未设置"_s;
    QTest::newRow("through the trap") << 1 << u"错误-3265"_s << u"记录集中没有字段“bus_id”"_s;
    QTest::newRow("other exception") << 2 << u"错误-0"_s << u"连接已断开"_s;
}

void TstMessages::reportError()
{
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(QString, text);
    test::RecordingMessageSink sink;
    if (kind == 0) {
        ReportError(sink, AppError(91, text));
    } else if (kind == 1) {
        const AppError e(3265, text);
        ReportError(sink, static_cast<const std::exception &>(e));
    } else {
        ReportError(sink, std::runtime_error(text.toStdString()));
    }
    QCOMPARE(sink.boxes.size(), 1);
    QCOMPARE(sink.lastTitle(), title);
    QCOMPARE(sink.lastText(), text);
    QCOMPARE(sink.boxes[0].spec.icon, MsgIcon::Warning);
    QCOMPARE(sink.boxes[0].spec.buttons, MsgButtons::Ok);
}

void TstMessages::trapEndsHandler()
{
    test::RecordingMessageSink sink;
    bool after = false;
    Trap(sink, [&] {
        throw AppError(errnum::Overflow, u"溢出"_s);
        after = true; // never reached
    });
    QVERIFY(!after);
    QCOMPARE(sink.lastTitle(), u"错误-6"_s);
    QCOMPARE(sink.lastText(), u"溢出"_s);

    Trap(sink, [&] { after = true; });
    QVERIFY(after);
    QCOMPARE(sink.boxes.size(), 1);
}

void TstMessages::checkNoQuotes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("plain") << u"苏A12345"_s << true;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("full-width quotes") << u"“李”‘四’"_s << true;
    QTest::newRow("apostrophe") << u"O'K"_s << false;
    QTest::newRow("double quote") << u"12\""_s << false;
}

void TstMessages::checkNoQuotes()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    test::RecordingMessageSink sink;
    QCOMPARE(CheckNoQuotes(sink, text, u"车牌号"_s), ok);
    QCOMPARE(sink.boxes.size(), ok ? 0 : 1);
    if (!ok) {
        const MessageBoxSpec &b = sink.boxes[0].spec;
        QCOMPARE(b.title, u"错误"_s);
        QCOMPARE(b.text, u"车牌号中不能有单引号或双引号"_s);
        QCOMPARE(b.icon, MsgIcon::Critical);
        QCOMPARE(b.buttons, MsgButtons::Ok);
    }
}

void TstMessages::soundAndShell()
{
    test::RecordingSoundPlayer player;
    PlayWave(player, u"/data/指纹成功.wav"_s);
    PlayWave(player, QString());
    QCOMPARE(player.played, QStringList{u"/data/指纹成功.wav"_s});

    test::RecordingShellOpener shell;
    OpenWithShell(shell, u"/tmp/出站.xls"_s);
    QCOMPARE(shell.opened, QStringList{u"/tmp/出站.xls"_s});
}

void TstMessages::fileRoundTrip_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("one byte") << QByteArray("x");
    QTest::newRow("binary with zeros") << QByteArray("\x00\xff\x00\r\n\x1a", 6);
    QTest::newRow("large") << QByteArray(300000, '\x5a');
}

void TstMessages::fileRoundTrip()
{
    QFETCH(QByteArray, data);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"照片.jpg"_s);
    QVERIFY(WriteFileBytes(path, QByteArray(500000, 'o'))); // replaced, not kept
    QVERIFY(WriteFileBytes(path, data));
    QByteArray got;
    QVERIFY(ReadFileBytes(path, got));
    QCOMPARE(got, data);
}

void TstMessages::readFailures()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray got("stale");
    QVERIFY(!ReadFileBytes(dir.filePath(u"missing.bmp"_s), got));
    QCOMPARE(got, QByteArray("1"));

    const QString empty = dir.filePath(u"empty.tpl"_s);
    QVERIFY(WriteFileBytes(empty, QByteArray()));
    QVERIFY(QFile::exists(empty));
    got = "stale";
    QVERIFY(!ReadFileBytes(empty, got));
    QCOMPARE(got, QByteArray("1"));

    got = "stale";
    QVERIFY(!ReadFileBytes(dir.path(), got)); // a directory
    QCOMPARE(got, QByteArray("1"));
}

void TstMessages::writeFailure()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(!WriteFileBytes(dir.filePath(u"no/such/folder/a.bin"_s), QByteArray("abc")));
    QVERIFY(!WriteFileBytes(dir.path(), QByteArray("abc"))); // a directory
    QVERIFY(QFileInfo(dir.path()).isDir());
}

QTEST_GUILESS_MAIN(TstMessages)
#include "tst_messages.moc"
