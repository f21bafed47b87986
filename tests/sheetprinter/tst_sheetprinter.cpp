// The sheet printer: template filling, PDF and workbook output read back,
// the printer seam and silent, logged failures.

#include "sheetprinter/sheetprinter.h"
#include "sheetprinter/sheettemplate.h"

#include "core/array2d.h"
#include "core/dates.h"
#include "core/recordset.h"
#include "../support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

QStringList g_log;
QtMessageHandler g_previous = nullptr;
void recordLog(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    if (type == QtWarningMsg)
        g_log.append(QString::fromLatin1(ctx.category) + u": "_s + msg);
}

QString resources() { return qEnvironmentVariable("CG_SOURCE_DIR") + u"/resources"_s; }

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Text without any white space (PDF text extraction breaks lines and
// spaces as the layout goes).
QString squeeze(QString text)
{
    // Text extraction gives some characters as their radical forms (⼴ for
    // 广): compare the compatibility forms.
    static const QRegularExpression space(u"[\\s\u3000]+"_s);
    return text.normalized(QString::NormalizationForm_KC).remove(space);
}

using Rows = QList<QStringList>;

} // namespace

class TestSheetPrinter : public QObject {
    Q_OBJECT
private slots:
    void fillLabels_data();
    void fillLabels();
    void repeatedRows_data();
    void repeatedRows();
    void recordValuesPrintAsTheyAre_data();
    void recordValuesPrintAsTheyAre();
    void pdfHoldsEveryValue_data();
    void pdfHoldsEveryValue();
    void exportByChosenName_data();
    void exportByChosenName();
    void failuresAreSilentButLogged_data();
    void failuresAreSilentButLogged();
    void printsThroughTheBackend();
    void numbersAndSums_data();
    void numbersAndSums();
    void workbookNumberCells();
};

void TestSheetPrinter::fillLabels_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QString>("expected");
    QTest::newRow("label") << u"<td>{{车牌号}}</td>"_s << Rows{{u"车牌号"_s, u"粤A20001"_s}} << u"<td>粤A20001</td>"_s;
    QTest::newRow("spaces inside braces") << u"<td>{{ 车次 }}</td>"_s << Rows{{u" 车次"_s, u"K101"_s}}
                                          << u"<td>K101</td>"_s;
    QTest::newRow("no value: empty") << u"<td>{{驾驶员}}</td>"_s << Rows{} << u"<td></td>"_s;
    QTest::newRow("markup in a value is text")
        << u"<td>{{公司}}</td>"_s << Rows{{u"公司"_s, u"<b>A&B</b>"_s}} << u"<td>&lt;b&gt;A&amp;B&lt;/b&gt;</td>"_s;
    QTest::newRow("a value is not filled again")
        << u"{{车牌号}}/{{车次}}"_s << Rows{{u"车牌号"_s, u"{{车次}}"_s}, {u"车次"_s, u"K1"_s}} << u"{{车次}}/K1"_s;
    QTest::newRow("first of a repeated label") << u"{{座位}}"_s << Rows{{u"座位"_s, u"45"_s}, {u"座位"_s, u"9"_s}}
                                               << u"45"_s;
    QTest::newRow("row without a value") << u"[{{起点站}}]"_s << Rows{{u"起点站"_s}} << u"[]"_s;
}

void TestSheetPrinter::fillLabels()
{
    QFETCH(QString, html);
    QFETCH(Rows, rows);
    QFETCH(QString, expected);
    QCOMPARE(FillSheetTemplate(html, rows, nullptr), expected);
}

void TestSheetPrinter::repeatedRows_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("expected");
    const QString head = u"<table><tr><td>{{统计}}</td></tr>"_s;
    QTest::newRow("no record set: row dropped") << -1 << head + u"</table>"_s;
    QTest::newRow("no records: row dropped") << 0 << head + u"</table>"_s;
    QTest::newRow("two records")
        << 2
        << head + u"<tr class=\"r\"><td>K1</td><td>2026-12-09 08:05:00</td></tr>"
                  u"<tr class=\"r\"><td>K&lt;2&gt;</td><td></td></tr></table>"_s;
}

void TestSheetPrinter::repeatedRows()
{
    QFETCH(int, records);
    QFETCH(QString, expected);
    RecordSet rs;
    rs.appendField(u"bus_id"_s, FieldType::Text);
    rs.appendField(u"exit_time"_s, FieldType::DateTime);
    if (records >= 1)
        rs.appendRow({u"K1 "_s, QDateTime(QDate(2026, 12, 9), QTime(8, 5))});
    if (records >= 2)
        rs.appendRow({u"K<2>"_s, NoDate()});
    const QString html = u"<table><tr><td>{{统计}}</td></tr>"
                         u"<tr data-repeat class=\"r\"><td>{{bus_id}}</td><td>{{exit_time}}</td></tr></table>"_s;
    const QString filled = FillSheetTemplate(html, {{u"统计"_s, u"1"_s}}, records < 0 ? nullptr : &rs);
    QCOMPARE(filled, QString(expected).replace(u"{{统计}}"_s, u"1"_s));
}

// A record's text that looks like a placeholder is data like any other: it
// was once filled again from the labels, so a remark "{{统计}}" printed the
// label's value and "{{bus_id}}" printed nothing.
void TestSheetPrinter::recordValuesPrintAsTheyAre_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("printed");
    QTest::newRow("a label's placeholder") << u"{{统计}}"_s << u"{{统计}}"_s;
    QTest::newRow("a field's placeholder") << u"{{bus_id}}"_s << u"{{bus_id}}"_s;
    QTest::newRow("an unknown placeholder") << u"车{{座位}}"_s << u"车{{座位}}"_s;
    QTest::newRow("a sum") << u"{{sum:n}}"_s << u"{{sum:n}}"_s;
    QTest::newRow("a number label in markup") << u"<{{#统计}}>"_s << u"&lt;{{#统计}}&gt;"_s;
}

void TestSheetPrinter::recordValuesPrintAsTheyAre()
{
    QFETCH(QString, value);
    QFETCH(QString, printed);
    RecordSet rs;
    rs.appendField(u"bus_id"_s, FieldType::Text);
    rs.appendField(u"n"_s, FieldType::Integer);
    rs.appendRow({value, 7});
    const QString html = u"<p>{{统计}}</p><table>"
                         u"<tr data-repeat><td>{{bus_id}}</td><td>{{n}}</td></tr></table><p>{{sum:n}}</p>"_s;
    QCOMPARE(FillSheetTemplate(html, {{u"统计"_s, u"12"_s}}, &rs),
             u"<p>12</p><table><tr><td>"_s + printed + u"</td><td>7</td></tr></table>"
                 u"<p><a name=\"cg-number\">7</a></p>"_s);
}

void TestSheetPrinter::pdfHoldsEveryValue_data()
{
    QTest::addColumn<QString>("templateName");
    QTest::addColumn<Rows>("rows");
    QTest::newRow("route sheet") << u"csprint.xls"_s
                                 << Rows{{u"车牌号"_s, u"粤A20001"_s}, {u"发车时间"_s, u"08:05"_s},
                                         {u"车次"_s, u"K101"_s},       {u"座位"_s, u"45"_s},
                                         {u"驾驶员"_s, u"张三"_s},     {u"起点站"_s, QString()},
                                         {u"终点站"_s, u"深圳"_s},     {u"年月日"_s, u"2026\u3000\u300012\u3000\u30009"_s}};
    QTest::newRow("condition check sheet") << u"csTechPrint.xls"_s
                                           << Rows{{u"车牌号"_s, u"粤B12345"_s},
                                                   {u"日期"_s, u"2026-12-09 07:40:00"_s},
                                                   {u"状态"_s, u"不合格"_s},
                                                   {u"不合格内容"_s, u"制动 灯光"_s},
                                                   {u"公司"_s, u"广运"_s}};
    QTest::newRow("condition statistics") << u"车况例检统计报表.xls"_s
                                          << Rows{{u"统计单位"_s, u"天河客运站"_s},
                                                  {u"统计时间"_s, u"2026-12-01 至 2026-12-09"_s},
                                                  {u"填表人"_s, u"王刚"_s}, {u"填表日期"_s, u"2026-12-09"_s},
                                                  {u"合格合计"_s, u"17"_s}, {u"不合格合计"_s, u"3"_s}};
}

void TestSheetPrinter::pdfHoldsEveryValue()
{
    QFETCH(QString, templateName);
    QFETCH(Rows, rows);
    QTemporaryDir dir;
    SheetPrinter printer;
    printer.setTemplateFile(resources() + u"/"_s + templateName);
    Array2D table(int(rows.size()), 2);
    for (int r = 0; r < rows.size(); ++r) {
        table.set(r + 1, 1, rows[r].value(0));
        table.set(r + 1, 2, rows[r].value(1));
    }
    QVERIFY(printer.LoadSheetData(table));
    const QString pdf = dir.filePath(u"sheet.pdf"_s);
    QVERIFY(printer.renderToPdf(pdf));
    QVERIFY(!QFile::exists(pdf + u".part"_s));
    const QString text = squeeze(run(u"pdftotext"_s, {pdf, u"-"_s}));
    QVERIFY2(!text.isEmpty(), "pdftotext read nothing");
    for (const QStringList &row : rows)
        QVERIFY2(text.contains(squeeze(row.value(1))), qPrintable(row.value(0) + u" missing in: "_s + text));
    QVERIFY(!text.contains(u"{{"_s));
}

void TestSheetPrinter::exportByChosenName_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("written"); // relative to the folder; "" = nothing
    QTest::newRow("workbook") << u"out.xlsx"_s << u"out.xlsx"_s;
    QTest::newRow("pdf") << u"out.PDF"_s << u"out.PDF"_s;
    QTest::newRow("no extension: workbook") << u"out"_s << u"out.xlsx"_s;
    QTest::newRow("cancelled") << QString() << QString();
}

void TestSheetPrinter::exportByChosenName()
{
    QFETCH(QString, answer);
    QFETCH(QString, written);
    QTemporaryDir dir;
    test::ScriptedFileChooser files;
    files.answers = {answer.isEmpty() ? QString() : dir.filePath(answer)};
    SheetPrinter printer;
    printer.setFileChooser(&files);
    printer.setTemplateFile(resources() + u"/csTechPrint.xls"_s);
    QVERIFY(printer.LoadSheetData(Rows{{u"车牌号"_s, u"粤B12345"_s}, {u"状态"_s, u"合格"_s}, {u"公司"_s, u"广运"_s}}));
    const QString path = printer.RunSheetCommand(1);
    if (written.isEmpty()) {
        QCOMPARE(path, QString());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
        return;
    }
    QCOMPARE(path, dir.filePath(written));
    QVERIFY(QFile::exists(path));
    const QString text = written.endsWith(u".xlsx"_s)
        ? run(u"unzip"_s, {u"-p"_s, path, u"xl/sharedStrings.xml"_s})
        : squeeze(run(u"pdftotext"_s, {path, u"-"_s}));
    for (const QString &v : {u"粤B12345"_s, u"合格"_s, u"广运"_s})
        QVERIFY2(text.contains(v), qPrintable(v + u" missing in: "_s + text));
    QCOMPARE(printer.RunSheetCommand(2), QString()); // unknown command
}

void TestSheetPrinter::failuresAreSilentButLogged_data()
{
    QTest::addColumn<QString>("templateFile");
    QTest::newRow("missing template") << u"/nonexistent/csprint.xls"_s;
    QTest::newRow("no template given") << QString();
}

void TestSheetPrinter::failuresAreSilentButLogged()
{
    QFETCH(QString, templateFile);
    g_log.clear();
    g_previous = qInstallMessageHandler(recordLog);
    SheetPrinter printer;
    QTemporaryDir dir;
    PdfFolderBackend backend(dir.path());
    printer.setBackend(&backend);
    printer.setTemplateFile(templateFile);
    const bool loaded = printer.LoadSheetData(Rows{{u"车牌号"_s, u"粤A1"_s}});
    const bool printed = printer.PrintSheet();
    qInstallMessageHandler(g_previous);
    QVERIFY(!loaded);
    QVERIFY(!printed);
    QVERIFY(backend.printed().isEmpty());
    QVERIFY(!g_log.isEmpty());
    QVERIFY2(g_log.first().startsWith(u"coachgate.sheetprinter: "_s), qPrintable(g_log.first()));
    if (!templateFile.isEmpty())
        QVERIFY2(g_log.first().contains(templateFile), qPrintable(g_log.first()));
}

void TestSheetPrinter::printsThroughTheBackend()
{
    QTemporaryDir dir;
    PdfFolderBackend backend(dir.path());
    SheetPrinter::setDefaultBackend(&backend);
    SheetPrinter printer;
    printer.setTemplateFile(resources() + u"/csprint.xls"_s);
    QVERIFY(printer.LoadSheetData(Rows{{u"车次"_s, u"K777"_s}}));
    QVERIFY(printer.PrintSheet(false));
    QVERIFY(printer.PrintSheet(false));
    SheetPrinter::setDefaultBackend(nullptr);
    QCOMPARE(backend.printed().size(), 2);
    QVERIFY(squeeze(run(u"pdftotext"_s, {backend.printed().last(), u"-"_s})).contains(u"K777"_s));
}

void TestSheetPrinter::numbersAndSums_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    const QString mark = u"<a name=\"cg-number\">%1</a>"_s;
    QTest::newRow("number label") << u"<td>{{#统计}}</td>"_s << u"<td>%1</td>"_s.arg(mark.arg(u"3"_s));
    QTest::newRow("empty number stays empty") << u"<td>{{#不合格合计}}</td>"_s << u"<td></td>"_s;
    QTest::newRow("sum of a field") << u"{{sum:check_num}}"_s << mark.arg(u"47"_s);
    QTest::newRow("sum skips empty values") << u"{{ sum: sale_num }}"_s << mark.arg(u"30"_s);
    QTest::newRow("sum of a missing field") << u"[{{sum:nothing}}]"_s << u"[]"_s;
    QTest::newRow("repeated: number, day, time")
        << u"<tr data-repeat><td>{{#check_num}}</td><td>{{bus_date|date}}</td><td>{{exit_time|time}}</td>"
           u"<td>{{exit_time|time}}{{bus_id|date}}</td></tr>"_s
        << u"<tr><td>%1</td><td>2026-12-09</td><td>08:05</td><td>08:05K1</td></tr>"
           u"<tr><td>%2</td><td>2026-12-10</td><td></td><td>K2</td></tr>"_s.arg(mark.arg(u"28"_s), mark.arg(u"19"_s));
}

void TestSheetPrinter::numbersAndSums()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    RecordSet rs;
    rs.appendField(u"bus_id"_s, FieldType::Text);
    rs.appendField(u"bus_date"_s, FieldType::DateTime);
    rs.appendField(u"exit_time"_s, FieldType::DateTime);
    rs.appendField(u"check_num"_s, FieldType::Integer);
    rs.appendField(u"sale_num"_s, FieldType::Integer);
    rs.appendRow({u"K1"_s, QDateTime(QDate(2026, 12, 9), QTime(0, 0)), QDateTime(QDate(2026, 12, 9), QTime(8, 5, 30)),
                  28, 30});
    rs.appendRow({u"K2"_s, QDateTime(QDate(2026, 12, 10), QTime(0, 0)), QVariant(), 19, QVariant()});
    QCOMPARE(FillSheetTemplate(html, {{u"统计"_s, u"3"_s}, {u"不合格合计"_s, QString()}}, &rs), expected);
}

// Values the template marks as numbers are number cells of the workbook;
// everything else, codes with leading zeros too, stays text.
void TestSheetPrinter::workbookNumberCells()
{
    QTemporaryDir dir;
    const QString tpl = dir.filePath(u"t.xls"_s);
    QFile f(tpl);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(u"<table><tr><td>卡号</td><td>人数</td></tr>"
            u"<tr data-repeat><td>{{card}}</td><td>{{#n}}</td></tr>"
            u"<tr><td>合计</td><td>{{sum:n}}</td></tr><tr><td colspan=\"2\">{{#统计}}</td></tr></table>"_s.toUtf8());
    f.close();
    RecordSet rs;
    rs.appendField(u"card"_s, FieldType::Text);
    rs.appendField(u"n"_s, FieldType::Text);
    rs.appendRow({u"0012345678"_s, u"12"_s});
    rs.appendRow({u"0099"_s, u"0099"_s}); // not a plain number: stays text
    SheetPrinter printer;
    printer.setTemplateFile(tpl);
    QVERIFY(printer.LoadSheetData(Rows{{u"统计"_s, u"2"_s}}, &rs));
    const QString path = dir.filePath(u"out.xlsx"_s);
    QVERIFY(printer.exportToXlsx(path));
    const QString sheet = run(u"unzip"_s, {u"-p"_s, path, u"xl/worksheets/sheet1.xml"_s});
    QVERIFY2(sheet.contains(QRegularExpression(u"<c r=\"B2\"[^>]*><v>12</v></c>"_s)), qPrintable(sheet));
    QVERIFY2(sheet.contains(QRegularExpression(u"<c r=\"B4\"[^>]*><v>12</v></c>"_s)), qPrintable(sheet));
    QVERIFY2(sheet.contains(QRegularExpression(u"<c r=\"A5\"[^>]*><v>2</v></c>"_s)), qPrintable(sheet));
    QVERIFY2(sheet.contains(QRegularExpression(u"<c r=\"A2\"[^>]*t=\"s\""_s)), qPrintable(sheet));
    QVERIFY2(sheet.contains(QRegularExpression(u"<c r=\"B3\"[^>]*t=\"s\""_s)), qPrintable(sheet));
    const QString shared = run(u"unzip"_s, {u"-p"_s, path, u"xl/sharedStrings.xml"_s});
    QVERIFY(shared.contains(u"0012345678"_s));
}

QTEST_MAIN(TestSheetPrinter)
#include "tst_sheetprinter.moc"
