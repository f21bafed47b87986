#include "core/apperror.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "widgets/listexport.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

// A grid as the departure gate fills it: two header rows, lamps, Chinese
// texts, and cells that hold a tab and a line break.
void fillGrid(FlexGrid &g)
{
    g.setCols(4);
    g.setRows(2);
    g.setFixedRows(2);
    const QStringList top{u"车次"_s, u"终点站"_s, u"旅客人数"_s, u"旅客人数"_s};
    const QStringList second{u"车次"_s, u"终点站"_s, u" 售 "_s, u" 检 "_s};
    for (int c = 0; c < 4; ++c) {
        g.setTextMatrix(0, c, top[c]);
        g.setTextMatrix(1, c, second[c]);
    }
    g.addRow({u"K101"_s, u"广州\t东站"_s, u"30"_s});
    g.addRow({u"K102"_s, u"深圳\r\n罗湖"_s, QString(), u"0012"_s});
    SetLampCell(&g, 3, 2, 4);
    g.setColHidden(1, true); // hidden columns are exported too
}

const QList<QStringList> expectedRows{
    {u"车次"_s, u"终点站"_s, u"旅客人数"_s, u"旅客人数"_s},
    {u"车次"_s, u"终点站"_s, u" 售 "_s, u" 检 "_s},
    {u"K101"_s, u"广州 东站"_s, u"30"_s, QString()},
    {u"K102"_s, u"深圳 罗湖"_s, u"×"_s, u"0012"_s},
};

QList<QStringList> readTabDelimited(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    if (!bytes.startsWith("\xFF\xFE"))
        return {};
    QStringDecoder decode(QStringConverter::Utf16LE);
    const QString text = decode(bytes.mid(2));
    if (!text.endsWith(u"\r\n"_s))
        return {};
    QList<QStringList> rows;
    const QStringList lines = text.chopped(2).split(u"\r\n"_s);
    for (const QString &line : lines) {
        if (line.contains(u'\n') || line.contains(u'\r'))
            return {};
        rows.append(line.split(u'\t'));
    }
    return rows;
}

QByteArray unzipMember(const QString &zip, const QString &member)
{
    QProcess p;
    p.start(u"unzip"_s, {u"-p"_s, zip, member});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

QString xmlText(QString s)
{
    s.replace(u"_x000D_"_s, u"\r"_s); // the workbook's escape for a carriage return
    s.replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s).replace(u"&quot;"_s, u"\""_s);
    return s.replace(u"&amp;"_s, u"&"_s);
}

// Cell reference ("B3") -> text, and the references written bold (style 1).
QMap<QString, QString> readWorkbook(const QString &path, QSet<QString> *styled)
{
    const QString shared = QString::fromUtf8(unzipMember(path, u"xl/sharedStrings.xml"_s));
    const QString sheet = QString::fromUtf8(unzipMember(path, u"xl/worksheets/sheet1.xml"_s));
    QStringList strings;
    static const QRegularExpression si(u"<si><t[^>]*>(.*?)</t></si>"_s,
                                       QRegularExpression::DotMatchesEverythingOption);
    for (auto it = si.globalMatch(shared); it.hasNext();)
        strings.append(xmlText(it.next().captured(1)));
    QMap<QString, QString> cells;
    // A text cell refers to the shared strings or holds its text inline.
    static const QRegularExpression c(
        u"<c r=\"([A-Z]+[0-9]+)\"( s=\"([0-9]+)\")? t=\"(s|inlineStr)\">(?:<v>([0-9]+)</v>|<is><t[^>]*>(.*?)</t></is>)</c>"_s,
        QRegularExpression::DotMatchesEverythingOption);
    for (auto it = c.globalMatch(sheet); it.hasNext();) {
        const auto m = it.next();
        cells.insert(m.captured(1), m.captured(4) == u"s"_s ? strings.value(m.captured(5).toInt()) : xmlText(m.captured(6)));
        if (!m.captured(3).isEmpty() && styled)
            styled->insert(m.captured(1));
    }
    return cells;
}

QString cellRef(int r, int c)
{
    return QString(QChar(u'A' + c)) + QString::number(r + 1);
}

} // namespace

class TstExport : public QObject {
    Q_OBJECT

private slots:
    void tabDelimitedReadsBack_data();
    void tabDelimitedReadsBack();
    void workbookReadsBack();
    void listViewExport();
    void unwritablePathThrows_data();
    void unwritablePathThrows();
    void reportCancelledWritesNothing();
    void reportExportAndOpen();
    void exportAndOpenAsksBeforeReplacing_data();
    void exportAndOpenAsksBeforeReplacing();
    void numericCellValue_data();
    void numericCellValue();
    void workbookNumberColumns();

private:
    QTemporaryDir m_dir;
};

void TstExport::tabDelimitedReadsBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow(".xls") << u"表格.xls"_s;
    QTest::newRow("no extension") << u"list"_s;
    QTest::newRow(".txt") << u"list.txt"_s;
}

void TstExport::tabDelimitedReadsBack()
{
    QFETCH(QString, name);
    FlexGrid g;
    fillGrid(g);
    const QString path = m_dir.filePath(name);
    ExportGrid(g, path);
    QCOMPARE(readTabDelimited(path), expectedRows);

    // Exporting again over the file replaces it.
    g.removeRow(3);
    ExportGrid(g, path);
    QCOMPARE(readTabDelimited(path), expectedRows.mid(0, 3));
}

void TstExport::workbookReadsBack()
{
    FlexGrid g;
    fillGrid(g);
    for (const QString &name : {u"book.xlsx"_s, u"BOOK2.XLSX"_s}) {
        const QString path = m_dir.filePath(name);
        ExportGrid(g, path);
        QSet<QString> bold;
        const QMap<QString, QString> cells = readWorkbook(path, &bold);
        QVERIFY2(!cells.isEmpty(), qPrintable(name));
        for (int r = 0; r < expectedRows.size(); ++r) {
            for (int c = 0; c < 4; ++c) {
                const QString want = r == 2 && c == 1 ? u"广州\t东站"_s
                                     : r == 3 && c == 1 ? u"深圳\r\n罗湖"_s
                                                        : expectedRows[r][c];
                // The workbook keeps the cell texts as they are.
                QCOMPARE(cells.value(cellRef(r, c)), want);
                if (!want.isEmpty())
                    QCOMPARE(bold.contains(cellRef(r, c)), r < 2);
            }
        }
        // Every written column is sized to its longest text.
        const QString sheet = QString::fromUtf8(unzipMember(path, u"xl/worksheets/sheet1.xml"_s));
        for (int c = 1; c <= 4; ++c)
            QVERIFY2(sheet.contains(u"<col min=\"%1\" max=\"%1\" width="_s.arg(c)), qPrintable(sheet.left(600)));
        QVERIFY(!QFile::exists(path + u".part"_s));
    }
}

void TstExport::listViewExport()
{
    QTreeWidget list;
    list.setHeaderLabels({u"车牌号"_s, u"驾驶员"_s});
    list.addTopLevelItem(new QTreeWidgetItem(QStringList{u"粤A12345"_s, u"张三"_s}));
    list.addTopLevelItem(new QTreeWidgetItem(QStringList{u"粤B1"_s, QString()}));
    const QString path = m_dir.filePath(u"list.xls"_s);
    ExportListView(list, path);
    const QList<QStringList> want{{u"车牌号"_s, u"驾驶员"_s}, {u"粤A12345"_s, u"张三"_s}, {u"粤B1"_s, QString()}};
    QCOMPARE(readTabDelimited(path), want);
    QCOMPARE(ListViewTable(list).headerRows, 1);
}

void TstExport::unwritablePathThrows_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("text") << u"no/such/folder/a.xls"_s;
    QTest::newRow("workbook") << u"no/such/folder/a.xlsx"_s;
}

void TstExport::unwritablePathThrows()
{
    QFETCH(QString, name);
    FlexGrid g;
    fillGrid(g);
    const QString path = m_dir.filePath(name);
    try {
        ExportGrid(g, path);
        QFAIL("no error for an unwritable path");
    } catch (const AppError &e) {
        QCOMPARE(e.number(), ExportWriteError);
    }
    QVERIFY(!QFile::exists(path));
}

void TstExport::reportCancelledWritesNothing()
{
    FlexGrid g;
    fillGrid(g);
    test::ScriptedFileChooser files;
    test::RecordingShellOpener shell;
    Env env;
    env.files = &files;
    env.shell = &shell;
    GridReport report(env, &g);
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files);

    report.ExportFile();
    files.answers = {QString()};
    report.ExportFileOpen();

    QCOMPARE(files.calls.size(), 2);
    QCOMPARE(files.calls[0].title, u"当前表格导出至..."_s);
    QVERIFY(files.calls[0].save);
    QVERIFY(!files.calls[1].save);
    QVERIFY(files.calls[0].filter.startsWith(u"Microsoft Excel File (*.xls)"_s));
    QVERIFY(files.calls[0].filter.contains(u"(*.xlsx)"_s));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), before);
    QVERIFY(shell.opened.isEmpty());
}

void TstExport::reportExportAndOpen()
{
    FlexGrid g;
    fillGrid(g);
    test::ScriptedFileChooser files;
    test::RecordingShellOpener shell;
    Env env;
    env.files = &files;
    env.shell = &shell;
    GridReport report(env, &g);

    const QString saved = m_dir.filePath(u"saved.xls"_s);
    const QString opened = m_dir.filePath(u"opened.xlsx"_s);
    files.answers = {saved, opened};
    report.ExportFile();
    QCOMPARE(readTabDelimited(saved), expectedRows);
    QVERIFY(shell.opened.isEmpty());

    report.ExportFileOpen();
    QCOMPARE(readWorkbook(opened, nullptr).value(u"A3"_s), u"K101"_s);
    QCOMPARE(shell.opened, QStringList{opened});

    // A failed write reaches the caller and opens nothing.
    files.answers = {m_dir.filePath(u"missing/x.xls"_s)};
    QVERIFY_THROWS_EXCEPTION(AppError, report.ExportFileOpen());
    QCOMPARE(shell.opened.size(), 1);
}

void TstExport::exportAndOpenAsksBeforeReplacing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("replaced") << true;
    QTest::newRow("kept") << false;
}

void TstExport::exportAndOpenAsksBeforeReplacing()
{
    QFETCH(bool, replace);
    FlexGrid g;
    fillGrid(g);
    test::ScriptedFileChooser files;
    test::RecordingShellOpener shell;
    test::RecordingMessageSink messages;
    Env env;
    env.files = &files;
    env.shell = &shell;
    env.messages = &messages;
    GridReport report(env, &g);
    const QString path = m_dir.filePath(replace ? u"old1.xls"_s : u"old2.xls"_s);
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier work");
    }
    files.answers = {path};
    messages.script = {replace ? MsgAnswer::Yes : MsgAnswer::No};
    report.ExportFileOpen();
    // The open form of the dialog does not ask: the export does.
    QCOMPARE(messages.boxes.size(), 1);
    QCOMPARE(messages.lastTitle(), u"问题"_s);
    QCOMPARE(messages.boxes.first().spec.buttons, MsgButtons::YesNo);
    QVERIFY(messages.lastText().contains(QDir::toNativeSeparators(path)));
    if (replace) {
        QCOMPARE(readTabDelimited(path), expectedRows);
        QCOMPARE(shell.opened, QStringList{path});
    } else {
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("earlier work"));
        QVERIFY(shell.opened.isEmpty());
    }
    // A new name is written without a question.
    messages.clear();
    files.answers = {m_dir.filePath(replace ? u"new1.xls"_s : u"new2.xls"_s)};
    report.ExportFileOpen();
    QVERIFY(messages.boxes.isEmpty());
}

void TstExport::numericCellValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::addColumn<double>("value");
    QTest::newRow("count") << u"45"_s << true << 45.0;
    QTest::newRow("zero") << u"0"_s << true << 0.0;
    QTest::newRow("negative") << u"-3"_s << true << -3.0;
    QTest::newRow("decimal") << u"12.5"_s << true << 12.5;
    QTest::newRow("leading zero: a code") << u"0012"_s << false << 0.0;
    QTest::newRow("card number") << u"0012345678"_s << false << 0.0;
    QTest::newRow("exponent") << u"1e5"_s << false << 0.0;
    QTest::newRow("spaces") << u" 12"_s << false << 0.0;
    QTest::newRow("plate") << u"粤A12345"_s << false << 0.0;
    QTest::newRow("empty") << QString() << false << 0.0;
    QTest::newRow("lamp") << u"●"_s << false << 0.0;
    QTest::newRow("thousands separator") << u"1,234"_s << false << 0.0;
    QTest::newRow("16 digits lose precision") << u"1234567890123456"_s << false << 0.0;
    QTest::newRow("15 digits") << u"123456789012345"_s << true << 123456789012345.0;
    QTest::newRow("six decimals") << u"-0.125000"_s << true << -0.125;
    QTest::newRow("seven decimals") << u"0.1250000"_s << false << 0.0;
    QTest::newRow("point without decimals") << u"12."_s << false << 0.0;
    QTest::newRow("point without whole part") << u".5"_s << false << 0.0;
    QTest::newRow("minus alone") << u"-"_s << false << 0.0;
    QTest::newRow("two minus signs") << u"--1"_s << false << 0.0;
    QTest::newRow("two points") << u"1.2.3"_s << false << 0.0;
    QTest::newRow("full-width digits") << u"１２"_s << false << 0.0;
}

void TstExport::numericCellValue()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    QFETCH(double, value);
    double got = -1;
    QCOMPARE(NumericCellValue(text, &got), number);
    if (number)
        QCOMPARE(got, value);
}

// Declared count columns are number cells in data rows; headers, other
// columns and texts that are not plain numbers stay text.
void TstExport::workbookNumberColumns()
{
    FlexGrid g;
    g.setCols(3);
    g.setRows(1);
    g.setFixedRows(1);
    g.setTextMatrix(0, 0, u"卡号"_s);
    g.setTextMatrix(0, 1, u"座位"_s);
    g.setTextMatrix(0, 2, u"人数"_s);
    g.addRow({u"0012345678"_s, u"45"_s, u"30"_s});
    g.addRow({u"0099"_s, u"不详"_s, u"007"_s});
    test::ScriptedFileChooser files;
    test::RecordingShellOpener shell;
    Env env;
    env.files = &files;
    env.shell = &shell;
    GridReport report(env, &g);
    report.setNumericColumns({1, 2});
    const QString path = m_dir.filePath(u"numbers.xlsx"_s);
    files.answers = {path};
    report.ExportFile();
    const QString sheet = QString::fromUtf8(unzipMember(path, u"xl/worksheets/sheet1.xml"_s));
    static const QRegularExpression numberCell(u"<c r=\"([A-Z]+[0-9]+)\"(?: s=\"[0-9]+\")?><v>([^<]*)</v></c>"_s);
    QMap<QString, QString> numbers;
    for (auto it = numberCell.globalMatch(sheet); it.hasNext();) {
        const auto m = it.next();
        numbers.insert(m.captured(1), m.captured(2));
    }
    const QMap<QString, QString> want{{u"B2"_s, u"45"_s}, {u"C2"_s, u"30"_s}};
    QCOMPARE(numbers, want);
    const QMap<QString, QString> texts = readWorkbook(path, nullptr);
    QCOMPARE(texts.value(u"A2"_s), u"0012345678"_s);
    QCOMPARE(texts.value(u"B1"_s), u"座位"_s);
    QCOMPARE(texts.value(u"B3"_s), u"不详"_s);
    QCOMPARE(texts.value(u"C3"_s), u"007"_s);

    // Tab-delimited text is the same whatever the columns hold.
    const QString xls = m_dir.filePath(u"numbers.xls"_s);
    ExportGrid(g, xls, {1, 2});
    QCOMPARE(readTabDelimited(xls).value(1), (QStringList{u"0012345678"_s, u"45"_s, u"30"_s}));
}

QTEST_MAIN(TstExport)
#include "tst_export.moc"
