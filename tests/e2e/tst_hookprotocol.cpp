// The test hook's protocol: a bad request line gets an error answer that
// names the fault (with its id where it could be read), never a crash, and
// the connection goes on serving the next line.
#include "hookprotocol.h"
#include "workstationhook.h"

#include "widgets/grid.h"
#include "widgets/gridhelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QLocalSocket>
#include <QTest>

using namespace cg;
using namespace cg::testhook;
using namespace Qt::StringLiterals;

namespace {

QJsonObject answerOf(const QByteArray &line)
{
    if (!line.endsWith('\n') || line.count('\n') != 1)
        return {{u"framing"_s, QString::fromUtf8(line)}};
    return QJsonDocument::fromJson(line).object();
}

} // namespace

class tst_hookprotocol : public QObject {
    Q_OBJECT
private slots:
    void badRequestLines_data();
    void badRequestLines();
    void goodRequestLines();
    void answersKeepOneLine();
    void lineFraming_data();
    void lineFraming();
    void keyNames_data();
    void keyNames();
    void badArguments_data();
    void badArguments();
    void gridReads();
    void messageBoxScript();
    void socketSurvivesBadLines();
};

void tst_hookprotocol::badRequestLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("error");
    QTest::addColumn<qint64>("id");
    QTest::newRow("empty") << QByteArray() << u"not JSON"_s << qint64(0);
    QTest::newRow("cut off") << QByteArray(R"({"id": 3, "op": "ping")") << u"not JSON"_s << qint64(0);
    QTest::newRow("not UTF-8") << QByteArray("{\"op\": \"\xff\xfe\"}") << u"not JSON"_s << qint64(0);
    QTest::newRow("array") << QByteArray(R"([{"op": "ping"}])") << u"JSON object"_s << qint64(0);
    QTest::newRow("number") << QByteArray("42") << u"not JSON"_s << qint64(0);
    QTest::newRow("text") << QByteArray(R"("ping")") << u"not JSON"_s << qint64(0);
    QTest::newRow("no op") << QByteArray(R"({"id": 5})") << u"\"op\""_s << qint64(5);
    QTest::newRow("op a number") << QByteArray(R"({"id": 6, "op": 1})") << u"\"op\""_s << qint64(6);
    QTest::newRow("op empty") << QByteArray(R"({"id": 7, "op": ""})") << u"\"op\""_s << qint64(7);
    QTest::newRow("id a fraction") << QByteArray(R"({"id": 1.5, "op": "ping"})") << u"\"id\""_s << qint64(0);
    QTest::newRow("id a text") << QByteArray(R"({"id": "8", "op": "ping"})") << u"\"id\""_s << qint64(0);
    QTest::newRow("id too big") << QByteArray(R"({"id": 1e300, "op": "ping"})") << u"\"id\""_s << qint64(0);
}

void tst_hookprotocol::badRequestLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, error);
    QFETCH(qint64, id);
    qint64 seen = -1;
    try {
        ParseRequest(line, &seen);
        QFAIL("a bad line was taken");
    } catch (const HookError &e) {
        QVERIFY2(e.text.contains(error), qPrintable(e.text));
    }
    QCOMPARE(seen, id);

    // The hook answers it with the same error and the id it could read.
    testhook::HookMessageSink sink;
    WorkstationHook hook(sink, {}, nullptr);
    const QJsonObject answer = answerOf(hook.handle(line).answer);
    QCOMPARE(answer.value(u"ok"_s).toBool(true), false);
    QVERIFY(answer.value(u"error"_s).toString().contains(error));
    QCOMPARE(qint64(answer.value(u"id"_s).toDouble(-1)), id);
}

void tst_hookprotocol::goodRequestLines()
{
    const Request r = ParseRequest(R"({"id": 12, "op": "text", "target": "frmX/lblY"})");
    QCOMPARE(r.id, qint64(12));
    QCOMPARE(r.op, u"text"_s);
    QCOMPARE(TextArg(r, u"target"_s), u"frmX/lblY"_s);
    // Without an id the answer carries 0.
    QCOMPARE(ParseRequest(R"({"op": "ping"})").id, qint64(0));

    testhook::HookMessageSink sink;
    WorkstationHook hook(sink, {}, nullptr);
    const WorkstationHook::Reply ping = hook.handle(R"({"id": 3, "op": "ping"})");
    const QJsonObject a = answerOf(ping.answer);
    QCOMPARE(a.value(u"ok"_s).toBool(), true);
    QCOMPARE(a.value(u"id"_s).toInt(), 3);
    QCOMPARE(a.value(u"ready"_s).toBool(true), false); // no main window
    QVERIFY(!ping.action);
}

void tst_hookprotocol::answersKeepOneLine()
{
    // Texts with line breaks (notices have them) stay inside the one line.
    const QJsonObject ok = answerOf(OkAnswer(4, {{u"text"_s, u"一\n二\r\n"_s}}));
    QCOMPARE(ok.value(u"text"_s).toString(), u"一\n二\r\n"_s);
    QCOMPARE(ok.value(u"ok"_s).toBool(), true);
    const QJsonObject error = answerOf(ErrorAnswer(5, u"line\nbreak"_s));
    QCOMPARE(error.value(u"error"_s).toString(), u"line\nbreak"_s);
    QCOMPARE(error.value(u"ok"_s).toBool(true), false);
    QCOMPARE(error.value(u"id"_s).toInt(), 5);
}

void tst_hookprotocol::lineFraming_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("lines"); // "!" stands for an overlong line
    QTest::newRow("one line in pieces") << QList<QByteArray>{"{\"op\"", ": \"pi", "ng\"}\n"}
                                        << QList<QByteArray>{"{\"op\": \"ping\"}"};
    QTest::newRow("two lines at once") << QList<QByteArray>{"a\nb\n"} << QList<QByteArray>{"a", "b"};
    QTest::newRow("CRLF") << QList<QByteArray>{"a\r\nb\r", "\n"} << QList<QByteArray>{"a", "b"};
    QTest::newRow("empty line") << QList<QByteArray>{"\n\n"} << QList<QByteArray>{"", ""};
    QTest::newRow("unfinished") << QList<QByteArray>{"a\nb"} << QList<QByteArray>{"a"};
    const QByteArray big(MaxLineBytes + 1, 'x');
    QTest::newRow("overlong in one") << QList<QByteArray>{big + "\nnext\n"} << QList<QByteArray>{"!", "next"};
    QTest::newRow("overlong in pieces")
        << QList<QByteArray>{big.left(MaxLineBytes), "xx", "xxx", "\nnext\n"} << QList<QByteArray>{"!", "next"};
    QTest::newRow("longest taken") << QList<QByteArray>{QByteArray(MaxLineBytes, 'y') + "\n"}
                                   << QList<QByteArray>{QByteArray(MaxLineBytes, 'y')};
}

void tst_hookprotocol::lineFraming()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, lines);
    LineReader reader;
    QList<QByteArray> got;
    for (const QByteArray &chunk : chunks)
        for (const LineReader::Line &line : reader.feed(chunk))
            got.append(line.overlong ? QByteArray("!") : line.text);
    QCOMPARE(got, lines);
}

void tst_hookprotocol::keyNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("key"); // -1: refused
    QTest::newRow("Return") << u"Return"_s << int(Qt::Key_Return);
    QTest::newRow("F4") << u"F4"_s << int(Qt::Key_F4);
    QTest::newRow("F12") << u"F12"_s << int(Qt::Key_F12);
    QTest::newRow("F13") << u"F13"_s << -1;
    QTest::newRow("F0") << u"F0"_s << -1;
    QTest::newRow("F04") << u"F04"_s << -1;
    QTest::newRow("letter") << u"q"_s << int(Qt::Key_Q);
    QTest::newRow("digit") << u"7"_s << int(Qt::Key_7);
    QTest::newRow("empty") << QString() << -1;
    QTest::newRow("unknown word") << u"Esc"_s << -1;
    QTest::newRow("wrong case") << u"return"_s << -1;
}

void tst_hookprotocol::keyNames()
{
    QFETCH(QString, name);
    QFETCH(int, key);
    const std::optional<int> got = KeyFromName(name);
    QCOMPARE(got.value_or(-1), key);
}

void tst_hookprotocol::badArguments_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown op") << QByteArray(R"({"op": "explode"})") << u"unknown operation \"explode\""_s;
    QTest::newRow("target missing") << QByteArray(R"({"op": "text"})") << u"\"target\" is missing"_s;
    QTest::newRow("target a number") << QByteArray(R"({"op": "text", "target": 3})") << u"\"target\" must be a text"_s;
    QTest::newRow("target empty part") << QByteArray(R"({"op": "text", "target": "frmA//vsList"})") << u"empty part"_s;
    QTest::newRow("target blank") << QByteArray(R"({"op": "click", "target": " "})") << u"target is empty"_s;
    QTest::newRow("no such widget") << QByteArray(R"({"op": "text", "target": "frmNowhere/lbl"})") << u"no widget"_s;
    QTest::newRow("no such child") << QByteArray(R"({"op": "text", "target": "frmGrid/lblNone"})") << u"no widget"_s;
    QTest::newRow("not a grid") << QByteArray(R"({"op": "cell", "target": "frmGrid/txtEdit", "row": 0, "col": 0})")
                                << u"is not a grid"_s;
    QTest::newRow("row a fraction") << QByteArray(R"({"op": "cell", "target": "frmGrid/vsList", "row": 0.5, "col": 0})")
                                    << u"\"row\" must be a whole number"_s;
    QTest::newRow("row too big") << QByteArray(R"({"op": "cell", "target": "frmGrid/vsList", "row": 1e12, "col": 0})")
                                 << u"\"row\" must be a whole number"_s;
    QTest::newRow("cell outside") << QByteArray(R"({"op": "lamp", "target": "frmGrid/vsList", "row": 9, "col": 0})")
                                  << u"outside the grid"_s;
    QTest::newRow("negative column") << QByteArray(R"({"op": "rows", "target": "frmGrid/vsList", "col": -1, "text": "x"})")
                                     << u"outside the grid"_s;
    QTest::newRow("no such caption") << QByteArray(R"({"op": "column", "target": "frmGrid/vsList", "caption": "无"})")
                                     << u"no column headed"_s;
    QTest::newRow("set on a grid") << QByteArray(R"({"op": "set", "target": "frmGrid/vsList", "text": "x"})")
                                   << u"takes no text"_s;
    QTest::newRow("unknown key") << QByteArray(R"({"op": "key", "target": "frmGrid/txtEdit", "key": "Hyper"})")
                                 << u"unknown key"_s;
    QTest::newRow("click hidden") << QByteArray(R"({"op": "click", "target": "frmGrid/txtHidden"})")
                                  << u"not visible"_s;
    QTest::newRow("ambiguous") << QByteArray(R"({"op": "text", "target": "txtEdit"})") << u"2 visible widgets"_s;
    QTest::newRow("unknown answer") << QByteArray(R"({"op": "answer", "button": "Maybe"})") << u"unknown answer"_s;
    QTest::newRow("members not an object") << QByteArray(R"({"op": "open", "form": "frmX", "members": [1]})")
                                           << u"\"members\" must be an object"_s;
    QTest::newRow("open without workstation") << QByteArray(R"({"op": "open", "form": "frmX"})") << u"not up"_s;
    QTest::newRow("menu without workstation") << QByteArray(R"({"op": "menu", "name": "m5"})") << u"not up"_s;
    QTest::newRow("press without reader") << QByteArray(R"({"op": "press", "driver": "D0001"})")
                                          << u"simulated reader"_s;
    QTest::newRow("unknown finger") << QByteArray(R"({"op": "press", "driver": "D0001", "finger": "thumb"})")
                                    << u"unknown finger"_s;
}

void tst_hookprotocol::badArguments()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, error);
    // Two windows, each with an edit of the same name; one grid.
    QWidget window;
    window.setObjectName(u"frmGrid"_s);
    auto *grid = new FlexGrid(&window);
    grid->setObjectName(u"vsList"_s);
    grid->setRows(2);
    grid->setCols(2);
    grid->setFixedRows(1);
    auto *edit = new QLineEdit(&window);
    edit->setObjectName(u"txtEdit"_s);
    edit->move(0, 200);
    auto *hidden = new QLineEdit(&window);
    hidden->setObjectName(u"txtHidden"_s);
    hidden->hide();
    QWidget other;
    other.setObjectName(u"frmOther"_s);
    (new QLineEdit(&other))->setObjectName(u"txtEdit"_s);
    window.show();
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    testhook::HookMessageSink sink;
    WorkstationHook hook(sink, {}, nullptr);
    const WorkstationHook::Reply reply = hook.handle(line);
    const QJsonObject answer = answerOf(reply.answer);
    QCOMPARE(answer.value(u"ok"_s).toBool(true), false);
    QVERIFY2(answer.value(u"error"_s).toString().contains(error), qPrintable(answer.value(u"error"_s).toString()));
    QVERIFY(!reply.action); // a refused request does nothing
    QVERIFY(sink.script.isEmpty());
}

void tst_hookprotocol::gridReads()
{
    QWidget window;
    window.setObjectName(u"frmGrid"_s);
    auto *grid = new FlexGrid(&window);
    grid->setObjectName(u"vsList"_s);
    grid->setRows(1 + 6);
    grid->setCols(2);
    grid->setFixedRows(1);
    grid->setTextMatrix(0, 0, u"车次"_s);
    grid->setTextMatrix(0, 1, u"驾驶员"_s);
    for (int code = 0; code <= 5; ++code) {
        grid->setTextMatrix(1 + code, 0, u"A%1"_s.arg(code));
        SetLampCell(grid, 1 + code, 1, code);
    }
    grid->setRowData(3, QVariantMap{{u"lamp1"_s, 2}});
    testhook::HookMessageSink sink;
    WorkstationHook hook(sink, {}, nullptr);
    const auto call = [&](const QByteArray &line) { return answerOf(hook.handle(line).answer); };

    QCOMPARE(call(R"({"op": "column", "target": "frmGrid/vsList", "caption": "驾驶员"})").value(u"col"_s).toInt(), 1);
    const QJsonObject rows = call(R"({"op": "rows", "target": "frmGrid/vsList", "col": 0, "text": " A3 "})");
    QCOMPARE(rows.value(u"rows"_s).toArray(), QJsonArray{4});
    QCOMPARE(call(R"({"op": "rows", "target": "frmGrid/vsList", "col": 0, "text": "Z"})").value(u"rows"_s).toArray(),
             QJsonArray());
    // Each drawn lamp reads back as its code; 5 is drawn as 1.
    const int expected[] = {0, 1, 2, 3, 4, 1};
    for (int code = 0; code <= 5; ++code) {
        const QJsonObject lamp = answerOf(hook.handle(u"{\"op\": \"lamp\", \"target\": \"frmGrid/vsList\", "
                                                      u"\"row\": %1, \"col\": 1}"_s.arg(1 + code).toUtf8()).answer);
        QCOMPARE(lamp.value(u"code"_s).toInt(-9), expected[code]);
    }
    // A cell without a lamp is no lamp.
    QCOMPARE(call(R"({"op": "lamp", "target": "frmGrid/vsList", "row": 1, "col": 0})").value(u"code"_s).toInt(), -1);
    QCOMPARE(call(R"({"op": "rowdata", "target": "frmGrid/vsList", "row": 3})").value(u"data"_s).toObject(),
             (QJsonObject{{u"lamp1"_s, 2}}));
    QCOMPARE(call(R"({"op": "cell", "target": "frmGrid/vsList", "row": 2, "col": 0})").value(u"text"_s).toString(),
             u"A1"_s);
}

void tst_hookprotocol::messageBoxScript()
{
    testhook::HookMessageSink sink;
    sink.showNoticeWindow = false;
    WorkstationHook hook(sink, {}, nullptr);
    QCOMPARE(answerOf(hook.handle(R"({"op": "answer", "button": "Yes"})").answer).value(u"queued"_s).toInt(), 1);
    // The scripted answer goes to the next box; then the safe choices.
    QCOMPARE(sink.show({u"注意"_s, u"是否对此车次签发？"_s, MsgIcon::Information, MsgButtons::YesNo}), MsgAnswer::Yes);
    QCOMPARE(sink.show({u"注意"_s, u"再问"_s, MsgIcon::Question, MsgButtons::YesNo}), MsgAnswer::No);
    QCOMPARE(sink.show({u"撤消"_s, u"确认？"_s, MsgIcon::Question, MsgButtons::OkCancel}), MsgAnswer::Cancel);
    QCOMPARE(sink.show({u"提示"_s, u"好"_s, MsgIcon::Information, MsgButtons::Ok}), MsgAnswer::Ok);
    sink.notify(u"允许发车成功！"_s);
    const QJsonObject boxes = answerOf(hook.handle(R"({"op": "boxes"})").answer);
    const QJsonArray list = boxes.value(u"boxes"_s).toArray();
    QCOMPARE(list.size(), 4);
    QCOMPARE(list.at(0).toObject().value(u"answer"_s).toString(), u"Yes"_s);
    QCOMPARE(list.at(1).toObject().value(u"answer"_s).toString(), u"No"_s);
    QCOMPARE(boxes.value(u"notices"_s).toArray(), QJsonArray{u"允许发车成功！"_s});
}

void tst_hookprotocol::socketSurvivesBadLines()
{
    testhook::HookMessageSink sink;
    WorkstationHook hook(sink, {}, nullptr);
    const QString name = u"cg-hookprotocol-%1"_s.arg(QCoreApplication::applicationPid());
    QString why;
    QVERIFY2(hook.listen(name, &why), qPrintable(why));
    QLocalSocket socket;
    socket.connectToServer(name);
    QVERIFY(socket.waitForConnected(5000));
    // Garbage, an overlong line, then a good request: three answers in order.
    socket.write("{{{\n");
    socket.write(QByteArray(MaxLineBytes + 10, 'z') + "\n");
    socket.write(R"({"id": 9, "op": "ping"})" "\n");
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += socket.readAll()).count('\n') >= 3, 10000);
    const QList<QByteArray> lines = received.split('\n');
    QCOMPARE(answerOf(lines.at(0) + '\n').value(u"ok"_s).toBool(true), false);
    QVERIFY(answerOf(lines.at(1) + '\n').value(u"error"_s).toString().contains(u"longer than"_s));
    QCOMPARE(answerOf(lines.at(2) + '\n').value(u"id"_s).toInt(), 9);
    QCOMPARE(answerOf(lines.at(2) + '\n').value(u"ok"_s).toBool(), true);
}

QTEST_MAIN(tst_hookprotocol)
#include "tst_hookprotocol.moc"
