// The dispatch centre, the print dialog and the route sheet issue, on a
// seeded station database.

#include "support/fixturetime.h"
#include "support/testsupport.h"
#include "tst_envbusdesk_fixture.h"
#include "support/stationfixture.h"

#include "../services/dbtestenv.h"

#include "core/clock.h"
#include "widgets/env.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "services/checks/checknotifier.h"
#include "widgets/formregistry.h"
#include "widgets/listexport.h"
#include "dispatch/dispatchforms.h"
#include "dispatch/frmenvbusdesk.h"
#include "dispatch/frmprintsheet.h"
#include "services/checks/checkservice.h"
#include "sheetprinter/sheetprinter.h"
#include "stationui/stationcontext.h"

#include <QApplication>
#include <QDateEdit>
#include <QDialog>
#include <QFileInfo>
#include <QStringDecoder>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

QStringList g_log;
void recordLog(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    if (type == QtWarningMsg)
        g_log.append(QString::fromLatin1(ctx.category) + u": "_s + msg);
}

// One dispatch workstation over the seeded dispatch station.
struct Desk : test::StationFixture {
    Desk()
    {
        test::seedDispatchStation(db);
        openSession(u"wg"_s, test::kDeskCtx);
        clock.set(QDateTime(cg::test::fixtureDay(), QTime(8, 10)));
        env.dataDir = qEnvironmentVariable("CG_SOURCE_DIR") + u"/resources"_s;
        station.params.BeforeMinute = u"30"_s;
        recordOpenForm();
        recordShowForm();
        station.hasForm = [this](const QString &form) { return !missingForms.contains(form); };
    }
    QStringList missingForms; // forms this workstation has not built in
};

int rowOf(const FlexGrid *grid, const QString &busId)
{
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        if (grid->textMatrix(r, frmEnvBusDesk::ColBusId) == busId)
            return r;
    return -1;
}

QStringList column(const FlexGrid *grid, int col)
{
    QStringList out;
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        out << grid->textMatrix(r, col);
    return out;
}

int count(Database &db, const QString &sql, const QVariantList &binds = {})
{
    return db.scalar(sql, binds).toInt();
}

// Runs f once the next modal dialog is up (or reports that none came).
void whenModal(std::function<void(QWidget *)> f)
{
    QTimer::singleShot(50, qApp, [f] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && qobject_cast<QDialog *>(w)) {
                f(w);
                return;
            }
        f(nullptr);
    });
}

using Rows = QList<QStringList>;

} // namespace

class TestEnvBusDesk : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { SheetPrinter::setDefaultBackend(&m_printed); }
    void init() { QVERIFY(m_pdfDir.isValid()); }

    void issueRouteSheet_data();
    void issueRouteSheet();
    void issueIsAtomic_data() { test::TestDatabase::addBackendRows(); }
    void issueIsAtomic();

    void routeSheetTable_data();
    void routeSheetTable();
    void checkSheetTable_data();
    void checkSheetTable();
    void missingTemplateReportedAndLogged();
    void noPrinterOffersPdf_data();
    void noPrinterOffersPdf();
    void checkSheetOpenedByName();

    void issueFromTheScreen_data();
    void issueFromTheScreen();
    void doubleClickPrintsOnlyGreenTrips_data();
    void doubleClickPrintsOnlyGreenTrips();
    void rollingOrRegularNeverBoth();
    void recordAndVehicleButtons_data();
    void recordAndVehicleButtons();
    void exportsTheTripList();
    void vehicleButtonsNeedTheirScreens_data();
    void vehicleButtonsNeedTheirScreens();
    void timerRefreshesInPlace();
    void notificationFromAnotherProcess();
    void eventsOfAnotherDayIgnored();

private:
    QTemporaryDir m_pdfDir;
    PdfFolderBackend m_printed{m_pdfDir.path()};
};

// ---- the service ------------------------------------------------------

void TestEnvBusDesk::issueRouteSheet_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("busId");
    QTest::addColumn<bool>("issued");
    QTest::addColumn<QString>("table"); // where the lamp turns green
    for (const char *backend : {"sqlite", "postgres"}) {
        const QString b = QString::fromLatin1(backend);
        QTest::addRow("%s: timetable trip", backend) << b << u"K101"_s << true << u"trips"_s;
        QTest::addRow("%s: issued again", backend) << b << u"K102"_s << true << u"trips"_s;
        QTest::addRow("%s: rolling run", backend) << b << u"G01-2"_s << true << u"rolling_trips"_s;
        QTest::addRow("%s: unknown trip", backend) << b << u"K999"_s << false << QString();
        QTest::addRow("%s: unknown rolling run", backend) << b << u"G01-9"_s << false << QString();
        QTest::addRow("%s: empty code", backend) << b << QString() << false << QString();
    }
}

void TestEnvBusDesk::issueRouteSheet()
{
    CG_FRESH_DB(db);
    QFETCH(QString, busId);
    QFETCH(bool, issued);
    QFETCH(QString, table);
    test::seedDispatchStation(db);
    const QDateTime day = test::deskToday();
    const QDateTime now(day.date(), QTime(7, 45, 12));
    CheckService service(db, cg::test::fixtureClock());
    const bool ok = service.IssueRouteSheet(test::kDeskCtx, day.addSecs(3600 * 5), busId, u"粤A20001"_s, now, 1,
                                            u"王刚"_s, u"440101"_s);
    QCOMPARE(ok, issued);
    const int events = count(db, u"SELECT COUNT(*) FROM check_events"_s);
    const int history = count(db, u"SELECT COUNT(*) FROM route_sheet_issues"_s);
    if (!issued) {
        QCOMPARE(events, 0);
        QCOMPARE(history, 0);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM trips WHERE scheme_status = 1"_s), 1);
        QCOMPARE(count(db, u"SELECT COUNT(*) FROM rolling_trips WHERE scheme_status = 1"_s), 0);
        return;
    }
    QCOMPARE(events, 1);
    QCOMPARE(history, 1);
    const bool rolling = table == u"rolling_trips"_s;
    const QString where = rolling ? u" WHERE bus_id = 'G01' AND bus_serial_no = '2'"_s : u" WHERE bus_id = ?"_s;
    const QVariantList binds = rolling ? QVariantList() : QVariantList{busId};
    RecordSet trip = db.select(u"SELECT scheme_status, scheme_time, scheme_operator FROM "_s + table + where, binds,
                               {{u"scheme_time"_s, FieldType::DateTime, 0}});
    QCOMPARE(trip.value(u"scheme_status"_s).toInt(), 1);
    QCOMPARE(trip.value(u"scheme_time"_s).toDateTime(), now);
    QCOMPARE(trip.value(u"scheme_operator"_s).toString(), u"王刚"_s);
    if (rolling) // the other run of the code is untouched
        QCOMPARE(count(db, u"SELECT scheme_status FROM rolling_trips WHERE bus_serial_no = '1'"_s), 0);
    RecordSet issue = db.select(u"SELECT bus_id, bus_serial_no, operator_name, unit_code, issue_time FROM route_sheet_issues"_s,
                                {}, {{u"issue_time"_s, FieldType::DateTime, 0}});
    QCOMPARE(issue.value(u"bus_id"_s).toString(), rolling ? u"G01"_s : busId);
    QCOMPARE(issue.value(u"unit_code"_s).toString(), u"440101"_s);
    QCOMPARE(issue.value(u"issue_time"_s).toDateTime(), now);
    RecordSet event = db.select(u"SELECT station_code, event, bus_id, bus_date, lamp, check_time FROM check_events"_s, {},
                                {{u"bus_date"_s, FieldType::DateTime, 0}, {u"check_time"_s, FieldType::DateTime, 0}});
    QCOMPARE(event.value(u"station_code"_s).toString(), u"440100001"_s);
    QCOMPARE(event.value(u"event"_s).toString(), u"SchemeCheck"_s);
    QCOMPARE(event.value(u"bus_id"_s).toString(), busId); // as the lists key the row
    QCOMPARE(event.value(u"bus_date"_s).toDateTime(), day);
    QCOMPARE(event.value(u"lamp"_s).toInt(), 1);
    QCOMPARE(event.value(u"check_time"_s).toDateTime(), now);
}

void TestEnvBusDesk::issueIsAtomic()
{
    CG_FRESH_DB(db);
    test::seedDispatchStation(db);
    // The event cannot be written: the issue must not stay behind without it.
    db.exec(u"DROP TABLE check_events"_s);
    CheckService service(db, cg::test::fixtureClock());
    QVERIFY_THROWS_EXCEPTION(ServiceError,
                             service.IssueRouteSheet(test::kDeskCtx, test::deskToday(), u"K101"_s, u"粤A20001"_s,
                                                     cg::test::fixtureNow(), 1, u"王刚"_s, u"440101"_s));
    QCOMPARE(count(db, u"SELECT scheme_status FROM trips WHERE bus_id = 'K101'"_s), 0);
    QVERIFY(!db.scalar(u"SELECT scheme_time FROM trips WHERE bus_id = 'K101'"_s).isValid()
            || db.scalar(u"SELECT scheme_time FROM trips WHERE bus_id = 'K101'"_s).isNull());
    QCOMPARE(count(db, u"SELECT COUNT(*) FROM route_sheet_issues"_s), 0);
}

// ---- the print dialog ---------------------------------------------------

void TestEnvBusDesk::routeSheetTable_data()
{
    QTest::addColumn<QString>("busId");
    QTest::addColumn<QString>("busDate");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("dateLine");
    const QString d = test::deskToday().date().toString(u"yyyy-MM-dd"_s);
    QTest::newRow("checked-in driver, cancelled one skipped")
        << u"K101"_s << d << QDate(2026, 1, 7) << u"张三"_s << u"2026\u3000\u30001\u3000\u30007"_s;
    QTest::newRow("no check-in: empty driver")
        << u"K102"_s << d << QDate(2026, 12, 25) << QString() << u"2026\u3000\u300012\u3000\u300025"_s;
    QTest::newRow("another day: no driver") << u"K101"_s << u"2001-02-03"_s << QDate(2030, 10, 1) << QString()
                                            << u"2030\u3000\u300010\u3000\u30001"_s;
}

void TestEnvBusDesk::routeSheetTable()
{
    QFETCH(QString, busId);
    QFETCH(QString, busDate);
    QFETCH(QDate, today);
    QFETCH(QString, driver);
    QFETCH(QString, dateLine);
    Desk desk;
    desk.clock.set(QDateTime(today, QTime(6, 5)));
    frmPrintSheet dialog(desk.env, desk.station);
    QVERIFY(dialog.sheetTable().isEmpty()); // nothing before it is shown
    dialog.setProperty("m_SheetType", 0);
    dialog.setProperty("m_szLicense", u"粤A20001"_s);
    dialog.setProperty("m_szStartTime", u"08:00"_s);
    dialog.setProperty("m_szBusID", busId);
    dialog.setProperty("m_szSeatNum", u"45"_s);
    dialog.setProperty("m_szEndStation", u"深圳"_s);
    dialog.setProperty("m_szBusDate", busDate);
    dialog.show();
    // The trip leaves from this workstation's station.
    const QString start = desk.session.GetUnitName();
    QVERIFY(!start.isEmpty());
    const Rows expected{{u"车牌号"_s, u"粤A20001"_s}, {u"发车时间"_s, u"08:00"_s}, {u"车次"_s, busId},
                        {u"座位"_s, u"45"_s},         {u"驾驶员"_s, driver},      {u"起点站"_s, start},
                        {u"终点站"_s, u"深圳"_s},     {u"年月日"_s, dateLine}};
    QCOMPARE(dialog.sheetTable(), expected);
    QCOMPARE(dialog.windowTitle(), u"签发路单"_s);
    QCOMPARE(dialog.findChild<QLabel *>(u"lblMessage"_s)->text(), u"本车次调度已通过,是否打印大路单?"_s);
    QVERIFY(dialog.templatePath().endsWith(u"/csprint.xls"_s));
    QVERIFY(dialog.sheetPrinter()->isLoaded());
    QVERIFY(desk.messages.boxes.isEmpty());
}

void TestEnvBusDesk::checkSheetTable_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("passed");
    QTest::addColumn<Rows>("expected");
    QTest::addColumn<QString>("message");
    QTest::newRow("passed, trimmed") << 1 << true
                                     << Rows{{u"车牌号"_s, u"粤B12345"_s}, {u"日期"_s, u"2026-12-09 07:40"_s},
                                             {u"状态"_s, u"合格"_s}, {u"不合格内容"_s, u"制动"_s},
                                             {u"公司"_s, u"广运"_s}}
                                     << u"本车辆门检已通过,是否打印门检单?"_s;
    QTest::newRow("failed") << 1 << false
                            << Rows{{u"车牌号"_s, u"粤B12345"_s}, {u"日期"_s, u"2026-12-09 07:40"_s},
                                    {u"状态"_s, u"不合格"_s}, {u"不合格内容"_s, u"制动"_s}, {u"公司"_s, u"广运"_s}}
                            << u"本车辆门检已通过,是否打印门检单?"_s;
    QTest::newRow("unknown sheet type: nothing prepared") << 7 << true << Rows{} << QString();
}

void TestEnvBusDesk::checkSheetTable()
{
    QFETCH(int, type);
    QFETCH(bool, passed);
    QFETCH(Rows, expected);
    QFETCH(QString, message);
    Env env;
    test::RecordingMessageSink messages;
    ManualClock clock;
    env.messages = &messages;
    env.clock = &clock;
    env.dataDir = qEnvironmentVariable("CG_SOURCE_DIR") + u"/resources"_s;
    StationContext station;
    frmPrintSheet dialog(env, station);
    dialog.setProperty("m_SheetType", type);
    dialog.setProperty("m_szLicense", u"粤B12345"_s);
    dialog.setProperty("m_TechSheetTime", u"2026-12-09 07:40"_s);
    dialog.setProperty("m_szStatus", passed);
    dialog.setProperty("m_TechCause", u"  制动 "_s);
    dialog.setProperty("m_Company", u"广运  "_s);
    dialog.show();
    QCOMPARE(dialog.sheetTable(), expected);
    QCOMPARE(dialog.findChild<QLabel *>(u"lblMessage"_s)->text(), message);
    QCOMPARE(dialog.sheetPrinter()->isLoaded(), !expected.isEmpty());
    if (!expected.isEmpty()) {
        QVERIFY(dialog.templatePath().endsWith(u"/csTechPrint.xls"_s));
        QVERIFY(dialog.sheetPrinter()->filledHtml().contains(passed ? u"合格"_s : u"不合格"_s));
    }
}

void TestEnvBusDesk::missingTemplateReportedAndLogged()
{
    Desk desk;
    desk.env.dataDir = desk.dir.path(); // no templates there
    const int printedBefore = int(m_printed.printed().size());
    g_log.clear();
    QtMessageHandler previous = qInstallMessageHandler(recordLog);
    frmPrintSheet dialog(desk.env, desk.station);
    dialog.setProperty("m_szBusID", u"K101"_s);
    dialog.setProperty("m_szBusDate", test::deskToday().date().toString(u"yyyy-MM-dd"_s));
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton *>(u"cmdYes"_s), Qt::LeftButton);
    qInstallMessageHandler(previous);
    QCOMPARE(accepted.size(), 1);
    QVERIFY(!dialog.isVisible());
    // Nothing printed, and the operator is told why.
    QCOMPARE(desk.messages.boxes.size(), 1);
    QCOMPARE(desk.messages.lastTitle(), u"错误-53"_s);
    QVERIFY(desk.messages.lastText().contains(u"csprint.xls"_s));
    QCOMPARE(int(m_printed.printed().size()), printedBefore);
    const QStringList logged = g_log.filter(QRegularExpression(u"^coachgate\\.sheetprinter: .*csprint\\.xls"_s));
    QVERIFY2(!logged.isEmpty(), qPrintable(g_log.join(u'\n')));
}

namespace {
// A workstation without any printer installed.
class NoPrinterBackend : public SheetPrinterBackend {
public:
    bool print(QTextDocument &, bool, QWidget *) override { ++attempts; return false; }
    bool hasPrinter() const override { return false; }
    int attempts = 0;
};
} // namespace

void TestEnvBusDesk::noPrinterOffersPdf_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("fileName"); // "" = the file dialog cancelled
    QTest::newRow("declined") << false << QString();
    QTest::newRow("saved as PDF") << true << u"K101.pdf"_s;
    QTest::newRow("file dialog cancelled") << true << QString();
}

void TestEnvBusDesk::noPrinterOffersPdf()
{
    QFETCH(bool, accept);
    QFETCH(QString, fileName);
    const MsgAnswer answer = accept ? MsgAnswer::Yes : MsgAnswer::No;
    Desk desk;
    NoPrinterBackend none;
    frmPrintSheet dialog(desk.env, desk.station);
    dialog.sheetPrinter()->setBackend(&none);
    dialog.setProperty("m_szBusID", u"K101"_s);
    dialog.setProperty("m_szLicense", u"粤A20001"_s);
    dialog.setProperty("m_szBusDate", test::deskToday().date().toString(u"yyyy-MM-dd"_s));
    desk.messages.script = {answer};
    const QString path = fileName.isEmpty() ? QString() : desk.dir.filePath(fileName);
    desk.files.answers = {path};
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton *>(u"cmdYes"_s), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(none.attempts, 0);
    // Never silent: the operator hears there is no printer and is offered the PDF.
    QVERIFY(!desk.messages.boxes.isEmpty());
    QCOMPARE(desk.messages.boxes.first().spec.title, u"问题"_s);
    QVERIFY(desk.messages.boxes.first().spec.text.contains(u"没有可用的打印机"_s));
    QVERIFY(desk.messages.boxes.first().spec.text.contains(u"PDF"_s));
    QCOMPARE(desk.files.calls.size(), answer == MsgAnswer::Yes ? 1 : 0);
    if (path.isEmpty())
        return;
    QVERIFY(QFileInfo(path).size() > 0);
    QProcess text;
    text.start(u"pdftotext"_s, {path, u"-"_s});
    QVERIFY(text.waitForFinished(10000));
    QVERIFY(QString::fromUtf8(text.readAllStandardOutput()).contains(u"粤A20001"_s));
    QVERIFY(desk.messages.lastText().contains(path));
}

// The condition check station opens the dialog by name: its members are set
// after construction, and the sheet printed is the one they describe.
void TestEnvBusDesk::checkSheetOpenedByName()
{
    Desk desk;
    FormRegistry registry;
    RegisterDispatchForms(registry, desk.env, desk.station);
    QVERIFY(registry.contains(u"frmEnvBusDesk"_s));
    registry.setBeforeShowHook([](QWidget *form) {
        QTimer::singleShot(0, form, [form] {
            QTest::mouseClick(form->findChild<QPushButton *>(u"cmdYes"_s), Qt::LeftButton);
        });
    });
    const int printedBefore = int(m_printed.printed().size());
    const QVariantMap result = registry.runModal(
        nullptr, u"frmPrintSheet"_s,
        {{u"m_SheetType"_s, 1}, {u"m_szLicense"_s, u"粤B54321"_s}, {u"m_TechSheetTime"_s, u"2026-12-09 07:40"_s},
         {u"m_szStatus"_s, true}, {u"m_Company"_s, u"广运"_s}});
    QCOMPARE(result.value(u"m_szLicense"_s).toString(), u"粤B54321"_s);
    QCOMPARE(int(m_printed.printed().size()), printedBefore + 1);
    QProcess text;
    text.start(u"pdftotext"_s, {m_printed.printed().last(), u"-"_s});
    QVERIFY(text.waitForFinished(30000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    QVERIFY2(printed.contains(u"粤B54321"_s) && printed.contains(u"合格"_s) && printed.contains(u"广运"_s),
             qPrintable(printed));
    QVERIFY(desk.messages.boxes.isEmpty());
}

// ---- the screen ---------------------------------------------------------

void TestEnvBusDesk::issueFromTheScreen_data()
{
    QTest::addColumn<QString>("busId"); // "" = no current row
    QTest::addColumn<bool>("useF4");
    QTest::addColumn<int>("answer");    // MsgAnswer of the question
    QTest::addColumn<bool>("buttonEnabled");
    QTest::addColumn<QString>("notice"); // the last box; "" = none after the question
    QTest::addColumn<int>("issues");
    QTest::newRow("no trip selected") << QString() << false << int(MsgAnswer::Yes) << true
                                      << u"请先选择一个班次!"_s << 0;
    QTest::newRow("yellow trip, button") << u"K101"_s << false << int(MsgAnswer::Yes) << true << u"签发成功!"_s << 1;
    QTest::newRow("answered no") << u"K101"_s << false << int(MsgAnswer::No) << true << QString() << 0;
    QTest::newRow("green trip: button off, F4 issues again")
        << u"K102"_s << true << int(MsgAnswer::Yes) << false << u"签发成功!"_s << 1;
}

void TestEnvBusDesk::issueFromTheScreen()
{
    QFETCH(QString, busId);
    QFETCH(bool, useF4);
    QFETCH(int, answer);
    QFETCH(bool, buttonEnabled);
    QFETCH(QString, notice);
    QFETCH(int, issues);
    Desk desk;
    Database &db = desk.db;
    frmEnvBusDesk screen(desk.env, desk.station);
    screen.show();
    FlexGrid *grid = test::child<FlexGrid>(&screen, u"vsList"_s);
    auto *cmdOK = screen.findChild<QPushButton *>(u"cmdOK"_s);
    QCOMPARE(grid->dataRows(), 3);
    if (!busId.isEmpty()) {
        grid->setCurrent(rowOf(grid, busId), frmEnvBusDesk::ColLicense);
        QCOMPARE(cmdOK->isEnabled(), buttonEnabled);
    }
    desk.messages.script = {MsgAnswer(answer)};
    if (useF4)
        QTest::keyClick(grid, Qt::Key_F4);
    else
        QTest::mouseClick(cmdOK, Qt::LeftButton);
    if (!busId.isEmpty()) {
        QCOMPARE(desk.messages.boxes.first().spec.text, u"是否对此车次签发？"_s);
        QCOMPARE(desk.messages.boxes.first().spec.title, u"注意"_s);
    }
    QCOMPARE(desk.messages.boxes.size(), busId.isEmpty() || notice.isEmpty() ? 1 : 2);
    if (!notice.isEmpty())
        QCOMPARE(desk.messages.lastText(), notice);
    QCOMPARE(count(db, u"SELECT COUNT(*) FROM route_sheet_issues"_s), issues);
    if (issues)
        QCOMPARE(db.scalar(u"SELECT operator_name FROM route_sheet_issues"_s).toString(), u"王刚"_s);
    // The row itself waits for the notification.
    if (!busId.isEmpty() && busId == u"K101"_s)
        QVERIFY(!IsLampGreen(grid, rowOf(grid, busId), frmEnvBusDesk::ColScheme));
}

void TestEnvBusDesk::doubleClickPrintsOnlyGreenTrips_data()
{
    QTest::addColumn<QString>("busId");
    QTest::addColumn<bool>("opens");
    QTest::newRow("yellow ticket check: nothing") << u"K101"_s << false;
    QTest::newRow("green ticket check: print dialog") << u"K102"_s << true;
}

void TestEnvBusDesk::doubleClickPrintsOnlyGreenTrips()
{
    QFETCH(QString, busId);
    QFETCH(bool, opens);
    Desk desk;
    frmEnvBusDesk screen(desk.env, desk.station);
    screen.resize(1200, 600);
    screen.show();
    QVERIFY(QTest::qWaitForWindowExposed(&screen));
    FlexGrid *grid = test::child<FlexGrid>(&screen, u"vsList"_s);
    const int row = rowOf(grid, busId);
    grid->setCurrent(row, frmEnvBusDesk::ColLicense);
    grid->scrollToItem(grid->item(row, frmEnvBusDesk::ColLicense));
    // Another day picked but not queried: the row still is of the list date.
    screen.findChild<QDateEdit *>(u"dtpDate"_s)->setDate(QDate(2001, 2, 3));
    const int printedBefore = int(m_printed.printed().size());
    QString seenTitle;
    QVariantMap seen;
    whenModal([&](QWidget *w) {
        if (auto *d = qobject_cast<frmPrintSheet *>(w)) {
            seenTitle = d->windowTitle();
            for (const char *p : {"m_szLicense", "m_szStartTime", "m_szBusID", "m_szSeatNum", "m_szEndStation",
                                  "m_szBusDate", "m_SheetType"})
                seen.insert(QString::fromLatin1(p), d->property(p));
            QTest::mouseClick(d->findChild<QPushButton *>(u"cmdYes"_s), Qt::LeftButton);
        }
    });
    const QRect cell = grid->visualItemRect(grid->item(row, frmEnvBusDesk::ColBusId));
    QVERIFY(grid->viewport()->rect().contains(cell.center()));
    QSignalSpy doubleClicks(grid, &QTableWidget::cellDoubleClicked);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(doubleClicks.size(), 1);
    QTest::qWait(120);
    QCOMPARE(seenTitle.isEmpty(), !opens);
    if (!opens) {
        QCOMPARE(int(m_printed.printed().size()), printedBefore);
        return;
    }
    QCOMPARE(seenTitle, u"签发路单"_s);
    QCOMPARE(seen.value(u"m_szLicense"_s).toString(), u"粤A20002"_s);
    QCOMPARE(seen.value(u"m_szStartTime"_s).toString(), u"09:00"_s);
    QCOMPARE(seen.value(u"m_szBusID"_s).toString(), u"K102"_s);
    QCOMPARE(seen.value(u"m_szSeatNum"_s).toString(), u"45"_s);
    QCOMPARE(seen.value(u"m_szEndStation"_s).toString(), u"深圳"_s);
    QCOMPARE(seen.value(u"m_szBusDate"_s).toString(), test::deskToday().date().toString(u"yyyy-MM-dd"_s));
    QCOMPARE(seen.value(u"m_SheetType"_s).toInt(), 0);
    QCOMPARE(int(m_printed.printed().size()), printedBefore + 1);
    QProcess text;
    text.start(u"pdftotext"_s, {m_printed.printed().last(), u"-"_s});
    QVERIFY(text.waitForFinished(30000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(printed.contains(u"K102"_s) && printed.contains(u"粤A20002"_s), qPrintable(printed));
}

void TestEnvBusDesk::rollingOrRegularNeverBoth()
{
    Desk desk;
    Database &db = desk.db;
    // A lamp code outside the lamp table draws nothing.
    db.exec(u"UPDATE trips SET out_status = 7 WHERE bus_id = 'K103'"_s);
    frmEnvBusDesk screen(desk.env, desk.station);
    FlexGrid *grid = test::child<FlexGrid>(&screen, u"vsList"_s);
    QCOMPARE(grid->textMatrix(rowOf(grid, u"K103"_s), frmEnvBusDesk::ColOut), QString());
    QCOMPARE(grid->textMatrix(rowOf(grid, u"K102"_s), frmEnvBusDesk::ColOut), u"●"_s);
    // Opening lists the timetable only.
    QCOMPARE(column(grid, frmEnvBusDesk::ColBusId), (QStringList{u"K101"_s, u"K102"_s, u"K103"_s}));
    QCOMPARE(column(grid, frmEnvBusDesk::ColTime), (QStringList{u"08:00"_s, u"09:00"_s, u"10:00"_s}));
    QCOMPARE(grid->textMatrix(rowOf(grid, u"K102"_s), frmEnvBusDesk::ColSchemeTime).left(11),
             test::deskToday().date().toString(u"yyyy年MM月dd日"_s));
    QCOMPARE(grid->textMatrix(rowOf(grid, u"K101"_s), frmEnvBusDesk::ColSchemeTime), QString(6, QChar(0x3000)));
    QTest::mouseClick(screen.findChild<QPushButton *>(u"cmdScroll"_s), Qt::LeftButton);
    QCOMPARE(column(grid, frmEnvBusDesk::ColBusId), (QStringList{u"G01-1"_s, u"G01-2"_s}));
    QCOMPARE(column(grid, frmEnvBusDesk::ColTime), (QStringList{u"滚动"_s, u"滚动"_s}));
    QCOMPARE(column(grid, frmEnvBusDesk::ColSold), (QStringList{u"0"_s, u"0"_s}));
    QCOMPARE(column(grid, frmEnvBusDesk::ColNo), (QStringList{u"1"_s, u"2"_s}));
    QCOMPARE(column(grid, frmEnvBusDesk::ColRoute), (QStringList{QString(), QString()}));
    QCOMPARE(desk.status.panels[1], u"查询完毕,共2条记录"_s);
    QTest::mouseClick(screen.findChild<QPushButton *>(u"cmdQuery"_s), Qt::LeftButton);
    QCOMPARE(column(grid, frmEnvBusDesk::ColBusId), (QStringList{u"K101"_s, u"K102"_s, u"K103"_s}));
    QCOMPARE(desk.status.panels[1], u"查询完毕,共3条记录"_s);
    // The plate filter; the placeholder text itself filters nothing.
    auto *plate = screen.findChild<QLineEdit *>(u"txtLicenseID"_s);
    plate->setText(u"(车牌号)"_s);
    QTest::keyClick(grid, Qt::Key_F8);
    QCOMPARE(grid->dataRows(), 3);
    plate->setText(u"20002"_s);
    QTest::keyClick(grid, Qt::Key_F8);
    QCOMPARE(column(grid, frmEnvBusDesk::ColBusId), QStringList{u"K102"_s});
}

void TestEnvBusDesk::recordAndVehicleButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("selectRow");
    QTest::addColumn<QString>("form"); // "" = nothing opened
    QTest::addColumn<QVariantMap>("members");
    const QVariantMap trip{{u"m_szBusID"_s, u"K103"_s}, {u"m_dtBusDate"_s, test::deskToday()},
                           {u"m_szParentForm"_s, u"frmEnvBusDesk"_s}};
    QVariantMap driver = trip;
    driver.insert(u"m_szRouteID"_s, u"R01"_s);
    QVariantMap tech = trip;
    tech.insert(u"m_szLicense"_s, u"粤A20001"_s);
    QTest::newRow("driver records") << u"cmdDriver"_s << true << u"frmDriverCheckList"_s << driver;
    QTest::newRow("appearance records") << u"cmdFaceCheck"_s << true << u"frmFaceCheckList"_s << trip;
    QTest::newRow("luggage records") << u"cmdLug"_s << true << u"frmLugCheckList"_s << trip;
    QTest::newRow("condition records") << u"cmdTechCheck"_s << true << u"frmTeckCheckList"_s << tech;
    QTest::newRow("records without a row") << u"cmdDriver"_s << false << QString() << QVariantMap();
    QTest::newRow("all vehicles") << u"cmdAllVehicle"_s << false << u"frmVehicleMain"_s
                                  << QVariantMap{{u"m_szType"_s, u"1"_s}};
    QTest::newRow("temporary vehicles") << u"cmdTempVehicle"_s << false << u"frmVehicleMain"_s
                                        << QVariantMap{{u"m_szType"_s, u"5"_s}};
    QTest::newRow("new vehicle") << u"cmdAddVehicle"_s << false << u"frmVehicle"_s
                                 << QVariantMap{{u"m_szParentForm"_s, u"frmEnvBusDesk"_s}, {u"m_eStatus"_s, 0}};
}

void TestEnvBusDesk::exportsTheTripList()
{
    Desk desk;
    frmEnvBusDesk screen(desk.env, desk.station);
    IListReport *report = ListReportOf(&screen);
    QVERIFY(report);
    QVERIFY(!report->CanPrint());
    const QString path = desk.dir.filePath(u"trips.xls"_s);
    desk.files.answers = {path};
    report->ExportFile();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringDecoder utf16(QStringConverter::Utf16LE);
    const QString text = utf16.decode(file.readAll());
    QVERIFY(text.contains(u"K103"_s));
    QVERIFY(text.contains(u"粤A20001"_s));
    QCOMPARE(int(text.count(u"\r\n"_s)), test::child<FlexGrid>(&screen, u"vsList"_s)->rows());
}

void TestEnvBusDesk::vehicleButtonsNeedTheirScreens_data()
{
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QStringList>("disabled");
    const QStringList registerButtons = {u"cmdAllVehicle"_s, u"cmdBusVehicle"_s, u"cmdNotBusVehicle"_s,
                                         u"cmdNotUseVehicle"_s, u"cmdTempVehicle"_s};
    QTest::newRow("both built") << QStringList() << QStringList();
    QTest::newRow("no vehicle register") << QStringList{u"frmVehicleMain"_s} << registerButtons;
    QTest::newRow("no vehicle record") << QStringList{u"frmVehicle"_s} << QStringList{u"cmdAddVehicle"_s};
}

void TestEnvBusDesk::vehicleButtonsNeedTheirScreens()
{
    QFETCH(QStringList, missing);
    QFETCH(QStringList, disabled);
    Desk desk;
    desk.missingForms = missing;
    frmEnvBusDesk screen(desk.env, desk.station);
    for (const QString &name : {u"cmdAllVehicle"_s, u"cmdBusVehicle"_s, u"cmdNotBusVehicle"_s, u"cmdNotUseVehicle"_s,
                                u"cmdTempVehicle"_s, u"cmdAddVehicle"_s}) {
        auto *button = screen.findChild<QPushButton *>(name);
        QVERIFY(button);
        QCOMPARE(button->isEnabled(), !disabled.contains(name));
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // A disabled button opens nothing; the others open their form.
    QCOMPARE(int(desk.opened.size()), 6 - int(disabled.size()));
    for (const auto &o : std::as_const(desk.opened))
        QVERIFY(!missing.contains(o.form));
}

void TestEnvBusDesk::recordAndVehicleButtons()
{
    QFETCH(QString, button);
    QFETCH(bool, selectRow);
    QFETCH(QString, form);
    QFETCH(QVariantMap, members);
    Desk desk;
    frmEnvBusDesk screen(desk.env, desk.station);
    FlexGrid *list = test::child<FlexGrid>(&screen, u"vsList"_s);
    if (selectRow)
        list->setCurrent(rowOf(list, u"K103"_s), frmEnvBusDesk::ColLicense);
    QTest::mouseClick(screen.findChild<QPushButton *>(button), Qt::LeftButton);
    if (form.isEmpty()) {
        QVERIFY(desk.opened.isEmpty());
        return;
    }
    QCOMPARE(desk.opened.size(), 1);
    QCOMPARE(desk.opened.first().form, form);
    QCOMPARE(desk.opened.first().members, members);
    // The record lists are modal; the vehicle screens stay open beside the centre.
    QCOMPARE(desk.shown.contains(form), form.startsWith(u"frmVehicle"_s));
    QVERIFY(desk.messages.boxes.isEmpty()); // an unavailable form: nothing happens
}

void TestEnvBusDesk::timerRefreshesInPlace()
{
    Desk desk;
    Database &db = desk.db;
    frmEnvBusDesk screen(desk.env, desk.station);
    FlexGrid *grid = test::child<FlexGrid>(&screen, u"vsList"_s);
    const QDateTime issued(test::deskToday().date(), QTime(7, 50));
    // K101 (08:00) is inside the window around 08:10, K103 (10:00) is not.
    db.exec(u"UPDATE trips SET scheme_status = 1, scheme_time = ?, sale_num = 40 WHERE bus_id = 'K101'"_s, {issued});
    db.exec(u"UPDATE trips SET license_id = 'V2', license_tag_no = '粤A20002', sale_num = 44 WHERE bus_id = 'K103'"_s);
    db.exec(u"UPDATE trips SET license_id = 'V2', license_tag_no = '粤A20002' WHERE bus_id = 'K102'"_s);
    screen.Timer1_Timer();
    const int k101 = rowOf(grid, u"K101"_s);
    QVERIFY(IsLampGreen(grid, k101, frmEnvBusDesk::ColScheme));
    QCOMPARE(grid->textMatrix(k101, frmEnvBusDesk::ColSold), u"40"_s);
    QCOMPARE(grid->textMatrix(k101, frmEnvBusDesk::ColSchemeTime), TripTimeText(issued));
    QCOMPARE(grid->textMatrix(rowOf(grid, u"K103"_s), frmEnvBusDesk::ColLicense), u"粤A20001"_s);
    QCOMPARE(grid->textMatrix(rowOf(grid, u"K103"_s), frmEnvBusDesk::ColSold), u"30"_s);
    QCOMPARE(grid->dataRows(), 3);
    // A trip that got another vehicle within the window is rewritten.
    db.exec(u"UPDATE trips SET license_id = 'V2', license_tag_no = '粤A20002' WHERE bus_id = 'K101'"_s);
    screen.ListTimeBusInfo();
    QCOMPARE(grid->textMatrix(k101, frmEnvBusDesk::ColLicense), u"粤A20002"_s);
    QCOMPARE(grid->textMatrix(k101, frmEnvBusDesk::ColNo), u"1"_s);
    // Rolling lists refresh their own rows, by code and serial.
    QTest::mouseClick(screen.findChild<QPushButton *>(u"cmdScroll"_s), Qt::LeftButton);
    db.exec(u"UPDATE rolling_trips SET scheme_status = 1, check_num = 12 WHERE bus_serial_no = '2'"_s);
    screen.Timer1_Timer();
    QVERIFY(IsLampGreen(grid, rowOf(grid, u"G01-2"_s), frmEnvBusDesk::ColScheme));
    QCOMPARE(grid->textMatrix(rowOf(grid, u"G01-2"_s), frmEnvBusDesk::ColChecked), u"12"_s);
    QVERIFY(!IsLampGreen(grid, rowOf(grid, u"G01-1"_s), frmEnvBusDesk::ColScheme));
    QVERIFY(desk.messages.notices.isEmpty());
    // An empty list is not refreshed at all.
    screen.findChild<QLineEdit *>(u"txtBusID"_s)->setText(u"NONE"_s);
    QTest::mouseClick(screen.findChild<QPushButton *>(u"cmdScroll"_s), Qt::LeftButton);
    QCOMPARE(grid->dataRows(), 0);
    db.exec(u"DROP TABLE rolling_trips"_s);
    screen.Timer1_Timer();
    QVERIFY(desk.messages.notices.isEmpty());
}

void TestEnvBusDesk::notificationFromAnotherProcess()
{
    Desk desk;
    Database &db = desk.db;
    frmEnvBusDesk screen(desk.env, desk.station);
    FlexGrid *grid = test::child<FlexGrid>(&screen, u"vsList"_s);
    const int row = rowOf(grid, u"K103"_s);
    grid->setCurrent(row, frmEnvBusDesk::ColLicense);
    auto *cmdOK = screen.findChild<QPushButton *>(u"cmdOK"_s);
    QVERIFY(cmdOK->isEnabled());
    QVERIFY(!IsLampGreen(grid, row, frmEnvBusDesk::ColScheme));

    QProcess peer;
    peer.start(qEnvironmentVariable("CG_TEST_BINARY_DIR") + u"/tests/dispatch/envbusdesk_peer"_s,
               {desk.dbEnv.spec(), test::kDeskCtx, test::deskToday().date().toString(u"yyyy-MM-dd"_s), u"K103"_s});
    QVERIFY(peer.waitForFinished(30000));
    QCOMPARE(peer.exitCode(), 0);
    const QDateTime issued = db.select(u"SELECT scheme_time FROM trips WHERE bus_id = 'K103'"_s, {},
                                       {{u"scheme_time"_s, FieldType::DateTime, 0}})
                                 .value(u"scheme_time"_s)
                                 .toDateTime();
    QVERIFY(issued.isValid());
    QTRY_VERIFY(IsLampGreen(grid, row, frmEnvBusDesk::ColScheme));
    QCOMPARE(grid->textMatrix(row, frmEnvBusDesk::ColSchemeTime), TripTimeText(issued));
    QVERIFY(!cmdOK->isEnabled()); // the selected row is green now
    // Other rows stay as they were.
    QVERIFY(!IsLampGreen(grid, rowOf(grid, u"K101"_s), frmEnvBusDesk::ColScheme));
}

// A condition check of another day used to redraw today's rows of the
// vehicle; only a check of the list's day does. A trip code runs every day:
// an issue or a driver check of the same code on another day leaves the
// row as it is too.
void TestEnvBusDesk::eventsOfAnotherDayIgnored()
{
    Desk desk;
    Database &db = desk.db;
    frmEnvBusDesk screen(desk.env, desk.station);
    FlexGrid *grid = test::child<FlexGrid>(&screen, u"vsList"_s);
    const int k101 = rowOf(grid, u"K101"_s), k102 = rowOf(grid, u"K102"_s);
    QVERIFY(!IsLampGreen(grid, k101, frmEnvBusDesk::ColScheme));
    QVERIFY(!IsLampRed(grid, k101, frmEnvBusDesk::ColDriver));
    const QDateTime tomorrow = test::deskToday().addDays(1);
    db.transact([&] {
        CheckEvents::techCheck(db, u"440100001"_s, u"粤A20001"_s, tomorrow, 2, 1, tomorrow.addSecs(3600), u"李检"_s);
        CheckEvents::schemeCheck(db, u"440100001"_s, u"K101"_s, tomorrow, 1, tomorrow.addSecs(3600));
        CheckEvents::driverCheck(db, u"440100001"_s, u"K101"_s, tomorrow, 2);
        CheckEvents::techCheck(db, u"440100001"_s, u"粤A20002"_s, test::deskToday(), 2, 1,
                               test::deskToday().addSecs(3600), u"李检"_s);
        CheckEvents::schemeCheck(db, u"440100001"_s, u"K102"_s, test::deskToday(), 1,
                                 test::deskToday().addSecs(3600));
    });
    QTRY_VERIFY(IsLampRed(grid, k102, frmEnvBusDesk::ColState));
    QTRY_VERIFY(IsLampGreen(grid, k102, frmEnvBusDesk::ColScheme));
    QVERIFY(!IsLampRed(grid, k101, frmEnvBusDesk::ColState));
    QVERIFY(!IsLampGreen(grid, k101, frmEnvBusDesk::ColScheme));
    QVERIFY(!IsLampRed(grid, k101, frmEnvBusDesk::ColDriver));
}

QTEST_MAIN(TestEnvBusDesk)
#include "tst_envbusdesk.moc"
