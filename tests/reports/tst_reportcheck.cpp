// 系统报表 driven by its control names: both reports over the known station
// (same-day ranges, plate filter), the plate's quote check, a failed query
// that leaves the last sheet alone, the period chart, and export, print and
// preview with their failures; exports are read back (xlsx cells, PDF text).

#include "reportsfixture.h"

#include "reports/frmreportcheck.h"
#include "reports/periodchart.h"
#include "sheetprinter/sheetprinter.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;
using cg::test::reportDay;

namespace {

// A printer that never prints.
class BrokenPrinter : public SheetPrinterBackend {
public:
    bool print(QTextDocument &, bool, QWidget *) override { return false; }
};

void pick(frmReportCheck &form, int type, int fromDay, int toDay, const QString &plate = {})
{
    test::child<QComboBox>(&form, u"cboType"_s)->setCurrentIndex(type);
    test::child<QDateEdit>(&form, u"dtpStartDate"_s)->setDate(reportDay(fromDay).date());
    test::child<QDateEdit>(&form, u"dtpEndDate"_s)->setDate(reportDay(toDay).date());
    test::child<QLineEdit>(&form, u"txtVehicle"_s)->setText(plate);
}

} // namespace

class TstReportCheck : public QObject {
    Q_OBJECT
private slots:
    void load();
    void conditionReport_data();
    void conditionReport();
    void departureReport_data();
    void departureReport();
    void plateWithQuotes();
    void failedQueryLeavesTheLastReport();
    void missingTemplateIsReported();
    void chartShowsThePeriod();
    void exportedWorkbookHasNumbers();
    void exportedPdfReadsBack();
    void cancelledExportOpensNothing();
    void failedExportPrintAndEmptySheetSaySo();
    void queryPaneHidesAndComesBack();
};

void TstReportCheck::load()
{
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    QCOMPARE(form.windowTitle(), u"车次检票报表"_s);
    auto *type = form.findChild<QComboBox *>(u"cboType"_s);
    QCOMPARE(type->count(), 2);
    QCOMPARE(type->itemText(0), u"车况例检统计报表"_s);
    QCOMPARE(type->itemText(1), u"车次出站统计报表"_s);
    QCOMPARE(type->currentIndex(), 0);
    QCOMPARE(form.findChild<QLabel *>(u"lblTitle"_s)->text(), u"车况例检统计报表"_s);
    type->setCurrentIndex(1);
    QCOMPARE(test::child<QLabel>(&form, u"lblTitle"_s)->text(), u"车次出站统计报表"_s);
    QCOMPARE(form.windowTitle(), u"车次检票报表"_s); // the caption waits for a run
    QCOMPARE(form.findChild<QDateEdit *>(u"dtpStartDate"_s)->date(), test::fixtureDay());
    QCOMPARE(form.findChild<QDateEdit *>(u"dtpEndDate"_s)->date(), test::fixtureDay());
    QCOMPARE(form.findChild<QLineEdit *>(u"txtVehicle"_s)->text(), QString());
    QVERIFY(!test::child<SheetPrinter>(&form, QString())->isLoaded());
    for (const char *name : {"ptQuery", "ptResult", "FlatLabel1", "flbClose", "Command1", "Command2", "imgOpen",
                             "chtPeriod", "splitter"})
        QVERIFY2(form.findChild<QWidget *>(QString::fromLatin1(name)), name);
}

void TstReportCheck::conditionReport_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("plate");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("passed");
    QTest::addColumn<QString>("failed");
    QTest::newRow("same day: that day only") << -2 << -2 << QString() << 2 << u"2"_s << u"1"_s;
    QTest::newRow("same day, a later one") << 0 << 0 << QString() << 1 << u"0"_s << u"1"_s;
    QTest::newRow("whole period, every vehicle") << -2 << 0 << QString() << 4 << u"2"_s << u"2"_s;
    QTest::newRow("one vehicle") << -2 << 0 << u" 粤A00001 "_s << 2 << u"1"_s << u"1"_s;
}

void TstReportCheck::conditionReport()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, plate);
    QFETCH(int, rows);
    QFETCH(QString, passed);
    QFETCH(QString, failed);
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    pick(form, 0, from, to, plate);
    QTest::mouseClick(form.findChild<QPushButton *>(u"Command1"_s), Qt::LeftButton);
    QVERIFY2(st.messages.boxes.isEmpty(), qPrintable(st.messages.lastText()));
    QCOMPARE(form.windowTitle(), u"车况例检统计报表"_s);
    QCOMPARE(form.recordCount(), rows);
    QCOMPARE(st.status.panels[1], u"共有%1条记录"_s.arg(rows));
    QCOMPARE(st.status.panels[0], QString());
    QCOMPARE(test::child<SheetPrinter>(&form, QString())->TemplateFile(), QDir(st.env.dataDir).filePath(u"车况例检统计报表.xls"_s));
    const QString html = test::child<SheetPrinter>(&form, QString())->filledHtml();
    QVERIFY(html.contains(u"广州市长途汽车客运站"_s));
    QVERIFY(html.contains(u"王刚"_s));
    QVERIFY(html.contains(reportDay(from).toString(u"yyyy-MM-dd"_s) + u" 至 "_s + reportDay(to).toString(u"yyyy-MM-dd"_s)));
    QVERIFY(html.contains(u"填表日期：2026-03-18"_s));
    QVERIFY2(html.contains(u"<a name=\"cg-number\">%1</a></td>\n    <td align=\"center\"><a name=\"cg-number\">%2</a>"_s
                               .arg(passed, failed)),
             qPrintable(html));
}

void TstReportCheck::departureReport_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("plate");
    QTest::addColumn<QStringList>("trips");
    QTest::newRow("same day: that day") << -2 << -2 << QString() << QStringList{u"K101"_s};
    QTest::newRow("empty plate: every vehicle") << -2 << 0 << QString()
                                                << QStringList{u"K101"_s, u"K104"_s, u"G900-001"_s, u"K105"_s};
    QTest::newRow("one vehicle") << -1 << 0 << u"粤A00002"_s << QStringList{u"K104"_s};
}

void TstReportCheck::departureReport()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, plate);
    QFETCH(QStringList, trips);
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    pick(form, 1, from, to, plate);
    test::child<QPushButton>(&form, u"Command1"_s)->click();
    QVERIFY2(st.messages.boxes.isEmpty(), qPrintable(st.messages.lastText()));
    QCOMPARE(form.windowTitle(), u"车次出站统计报表"_s);
    QCOMPARE(form.recordCount(), int(trips.size()));
    QCOMPARE(st.status.panels[1], u"共有%1条记录"_s.arg(trips.size()));
    const QString html = test::child<SheetPrinter>(&form, QString())->filledHtml();
    for (const QString &trip : trips)
        QVERIFY2(html.contains(u">"_s + trip + u"<"_s), qPrintable(trip));
    QVERIFY(!html.contains(u"K102"_s));
    QVERIFY(!html.contains(u"K103"_s));
    QVERIFY(html.contains(u"<td align=\"center\"><a name=\"cg-number\">%1</a></td>"_s.arg(trips.size())));
}

// Leaving the plate box with a quote shows the message; running the report
// with one does too, and queries nothing.
void TstReportCheck::plateWithQuotes()
{
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    auto *txtVehicle = test::child<QLineEdit>(&form, u"txtVehicle"_s);
    txtVehicle->setText(u"粤A'1"_s);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(txtVehicle, &out);
    QCOMPARE(st.messages.boxes.size(), 1);
    QCOMPARE(st.messages.lastText(), u"粤A'1中不能有单引号或双引号"_s);
    QCOMPARE(st.messages.lastTitle(), u"错误"_s);

    txtVehicle->setText(u"粤A\"1"_s);
    test::child<QPushButton>(&form, u"Command1"_s)->click();
    QCOMPARE(st.messages.boxes.size(), 2);
    QCOMPARE(st.messages.lastText(), u"粤A\"1中不能有单引号或双引号"_s);
    QVERIFY(!test::child<SheetPrinter>(&form, QString())->isLoaded());
    QCOMPARE(form.windowTitle(), u"车次检票报表"_s);
    QVERIFY(st.status.calls.isEmpty());

    txtVehicle->setText(u"粤A00001"_s);
    QApplication::sendEvent(txtVehicle, &out);
    QCOMPARE(st.messages.boxes.size(), 2);
}

void TstReportCheck::failedQueryLeavesTheLastReport()
{
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    pick(form, 0, -2, 0);
    test::child<QPushButton>(&form, u"Command1"_s)->click();
    const QString before = test::child<SheetPrinter>(&form, QString())->filledHtml();
    QVERIFY(test::child<SheetPrinter>(&form, QString())->isLoaded());
    const QList<DayFigures> figures = test::child<PeriodChart>(&form, QString())->figures();

    st.db.exec(u"DROP TABLE rolling_trips"_s);
    test::child<QComboBox>(&form, u"cboType"_s)->setCurrentIndex(1);
    test::child<QPushButton>(&form, u"Command1"_s)->click();
    QCOMPARE(st.messages.boxes.size(), 1);
    QVERIFY(st.messages.lastTitle().startsWith(u"错误-"_s));
    QCOMPARE(form.windowTitle(), u"车况例检统计报表"_s);
    QCOMPARE(test::child<QLabel>(&form, u"lblTitle"_s)->text(), u"车况例检统计报表"_s);
    QCOMPARE(test::child<SheetPrinter>(&form, QString())->TemplateFile(), QDir(st.env.dataDir).filePath(u"车况例检统计报表.xls"_s));
    QCOMPARE(test::child<SheetPrinter>(&form, QString())->filledHtml(), before);
    QCOMPARE(form.recordCount(), 4);
    QCOMPARE(test::child<PeriodChart>(&form, QString())->figures().size(), figures.size());
    QCOMPARE(st.status.panels[0], QString());
}

void TstReportCheck::missingTemplateIsReported()
{
    test::ReportStation st;
    st.env.dataDir = st.dir.path();
    frmReportCheck form(st.env, st.station);
    test::child<QPushButton>(&form, u"Command1"_s)->click();
    QCOMPARE(st.messages.boxes.size(), 1);
    QVERIFY2(st.messages.lastText().contains(u"车况例检统计报表.xls"_s), qPrintable(st.messages.lastText()));
    QCOMPARE(form.windowTitle(), u"车次检票报表"_s);
    QVERIFY(!test::child<SheetPrinter>(&form, QString())->isLoaded());
}

void TstReportCheck::chartShowsThePeriod()
{
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    QVERIFY(test::child<PeriodChart>(&form, QString())->figures().isEmpty());
    pick(form, 1, -2, 0);
    test::child<QPushButton>(&form, u"Command1"_s)->click();
    const QList<DayFigures> f = test::child<PeriodChart>(&form, QString())->figures();
    QCOMPARE(f.size(), 3);
    QCOMPARE(f[0].day, reportDay(-2).date());
    QCOMPARE(f[0].passed, 2);
    QCOMPARE(f[0].failed, 1);
    QCOMPARE(f[1].forced, 1);
    QCOMPARE(f[1].departures, 2);
    QCOMPARE(f[2].failed, 1);
    QCOMPARE(f[2].departures, 1);
    int departures = 0;
    for (const DayFigures &d : f)
        departures += d.departures;
    QCOMPARE(departures, form.recordCount());
    // The chart draws whatever the period holds without trouble.
    test::child<PeriodChart>(&form, QString())->resize(700, 200);
    QImage image(test::child<PeriodChart>(&form, QString())->size(), QImage::Format_ARGB32);
    test::child<PeriodChart>(&form, QString())->render(&image);
    QVERIFY(image.pixelColor(0, 0).isValid());
}

// Counts are number cells a spreadsheet can add up; plates and dates stay
// text; the totals row adds up.
void TstReportCheck::exportedWorkbookHasNumbers()
{
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    pick(form, 0, -2, 0);
    test::child<QPushButton>(&form, u"Command1"_s)->click();
    const QString path = st.dir.filePath(u"车况.xlsx"_s);
    st.files.answers = {path};
    form.ExportFile();
    QVERIFY(QFile::exists(path));
    const test::WorkbookCells cells = test::readWorkbook(path);
    // Title, unit/period, heading, then the rows.
    int heading = 0;
    for (int r = 1; r < 10 && !heading; ++r)
        if (cells.text.value(u"A%1"_s.arg(r)) == u"日期"_s)
            heading = r;
    QVERIFY2(heading > 0, "no heading row");
    const auto ref = [&](QChar col, int offset) { return QString(col) + QString::number(heading + offset); };
    QCOMPARE(cells.text.value(ref(u'A', 1)), u"2026-03-16"_s);
    QCOMPARE(cells.text.value(ref(u'B', 1)), u"粤A00001"_s);
    QCOMPARE(cells.numbers.value(ref(u'D', 1)), u"1"_s);
    QCOMPARE(cells.numbers.value(ref(u'E', 1)), u"1"_s);
    QCOMPARE(cells.numbers.value(ref(u'G', 1)), u"2"_s);
    QCOMPARE(cells.numbers.value(ref(u'F', 3)), u"1"_s);
    QCOMPARE(cells.text.value(ref(u'A', 5)), u"合计"_s);
    QCOMPARE(cells.numbers.value(ref(u'D', 5)), u"2"_s);
    QCOMPARE(cells.numbers.value(ref(u'E', 5)), u"2"_s);
    QCOMPARE(cells.numbers.value(ref(u'F', 5)), u"1"_s);
    QCOMPARE(cells.numbers.value(ref(u'G', 5)), u"5"_s);
    QVERIFY(st.shell.opened.isEmpty());
    QVERIFY(st.messages.boxes.isEmpty());
}

void TstReportCheck::exportedPdfReadsBack()
{
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    pick(form, 1, -2, 0);
    test::child<QPushButton>(&form, u"Command1"_s)->click();
    const QString path = st.dir.filePath(u"出站.pdf"_s);
    st.files.answers = {path};
    form.ExportFileOpen();
    QCOMPARE(st.shell.opened, QStringList{path});
    const QString text = test::pdfText(path);
    for (const QString &want : {u"车次出站统计报表"_s, u"K101"_s, u"G900-001"_s, u"K105"_s, u"粤A00002"_s,
                                u"出站车次合计"_s, u"2026-03-16至2026-03-18"_s})
        QVERIFY2(text.contains(want), qPrintable(want + u" missing in "_s + text));
    QVERIFY(!text.contains(u"K103"_s));
}

void TstReportCheck::cancelledExportOpensNothing()
{
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    test::child<QPushButton>(&form, u"Command1"_s)->click();
    const QStringList before = QDir(st.dir.path()).entryList(QDir::Files);
    st.files.answers = {QString()};
    form.ExportFileOpen();
    QCOMPARE(st.files.calls.size(), 1);
    QVERIFY(st.shell.opened.isEmpty());
    QVERIFY(st.messages.boxes.isEmpty());
    QCOMPARE(QDir(st.dir.path()).entryList(QDir::Files), before);
}

void TstReportCheck::failedExportPrintAndEmptySheetSaySo()
{
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    // Nothing queried yet: each says there is no report.
    form.ExportFile();
    form.PrintReport(false);
    form.PreView();
    QCOMPARE(st.messages.boxes.size(), 3);
    for (const auto &box : st.messages.boxes)
        QCOMPARE(box.spec.text, u"还没有报表，请先查询。"_s);
    QVERIFY(st.files.calls.isEmpty());

    test::child<QPushButton>(&form, u"Command1"_s)->click();
    st.messages.clear();
    st.files.answers = {st.dir.filePath(u"no/such/folder/r.xlsx"_s)};
    form.ExportFileOpen();
    QCOMPARE(st.messages.boxes.size(), 1);
    QVERIFY2(st.messages.lastText().contains(u"导出失败"_s), qPrintable(st.messages.lastText()));
    QVERIFY(st.shell.opened.isEmpty());

    BrokenPrinter broken;
    test::child<SheetPrinter>(&form, QString())->setBackend(&broken);
    form.PrintReport(false);
    QCOMPARE(st.messages.boxes.size(), 2);
    QVERIFY2(st.messages.lastText().contains(u"没有打印"_s), qPrintable(st.messages.lastText()));

    QTemporaryDir out;
    PdfFolderBackend pdf(out.path());
    test::child<SheetPrinter>(&form, QString())->setBackend(&pdf);
    form.PrintReport(false);
    QCOMPARE(st.messages.boxes.size(), 2);
    QCOMPARE(pdf.printed().size(), 1);
    QVERIFY(test::pdfText(pdf.printed().first()).contains(u"车况例检统计报表"_s));
}

void TstReportCheck::queryPaneHidesAndComesBack()
{
    test::ReportStation st;
    frmReportCheck form(st.env, st.station);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(test::child<QLabel>(&form, u"flbClose"_s), Qt::LeftButton);
    QVERIFY(!test::child<QWidget>(&form, u"ptQuery"_s)->isVisible());
    auto *imgOpen = test::child<QLabel>(&form, u"imgOpen"_s);
    QVERIFY(imgOpen->isVisible());
    QTest::mouseClick(imgOpen, Qt::LeftButton);
    QVERIFY(test::child<QWidget>(&form, u"ptQuery"_s)->isVisible());
    QVERIFY(!imgOpen->isVisible());
    QTest::mouseClick(test::child<QPushButton>(&form, u"Command2"_s), Qt::LeftButton);
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(TstReportCheck)
#include "tst_reportcheck.moc"
