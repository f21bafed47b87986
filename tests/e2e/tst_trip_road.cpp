// The road of one trip, end to end, across two real workstation processes
// on one PostgreSQL database: at workstation A a driver checks in at the
// fingerprint check-in station; at workstation B the vehicle passes its
// condition check, the dispatch centre issues and prints the route sheet
// and at the gate the trip's drivers confirm by fingerprint and the trip
// departs. After each step the trip's lamp changes in
// every open list on both workstations, carried by the check notifications.
//
// Both workstations are coachgate-testhook processes (the workstation with
// its test hook), offscreen, driven by objectName over the hook.
#include "hookclient.h"

#include "core/recordset.h"
#include "services/database/database.h"
#include "services/dbtestenv.h"
#include "tools/admin.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

// Waits are bounded and generous: two workstations and a database server
// share a loaded two-core machine.
constexpr int StartTimeout = 60000;
constexpr int StepTimeout = 30000;

struct Trip {
    QString busId;
    QString plate;
    QString card;
    QString driver;
    QDateTime start;
};

// One open list: a grid on a workstation, the column of the trip's key and
// the lamp columns it shows, by their captions.
struct List {
    test::WorkstationProcess *ws;
    QString grid;      // target of the grid
    QString keyColumn; // caption of the column holding the key
    bool byPlate;      // the key is the plate (else the trip code)
    // The list's next-page button when it shows a page at a time (the
    // check-in station): a trip not on the shown page is looked for on the
    // pages after it, as the operator would. After a check-in the station
    // lists the day's trips from page 1, and how many trips stand before
    // ours depends on the hour the test runs.
    QString nextPage = {};
};

// Pages a paged list may need to reach the trip.
constexpr int MaxPages = 30;

} // namespace

class tst_trip_road : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void tripRoad();

private:
    bool prepareTrip(Database &db, QString *why);
    QString writeConfig(const QString &name, const QString &operatorCode);
    QProcessEnvironment environment(const QString &name) const;

    // Hook calls that must succeed; a refusal fails the test with its reason.
    QJsonObject must(test::WorkstationProcess &ws, const QString &op, const QJsonObject &args = {});
    int column(test::WorkstationProcess &ws, const QString &grid, const QString &caption);
    // The row of the key in the grid, -1 when it is not listed.
    int rowOf(test::WorkstationProcess &ws, const QString &grid, int col, const QString &key);
    // The lamp code drawn for the list's row of the trip in the column of
    // the caption; -2 when the row is not there (for a paged list: not on
    // the shown page nor on any page after it).
    int lamp(const List &list, const QString &caption);
    QString modal(test::WorkstationProcess &ws);
    int boxCount(test::WorkstationProcess &ws);
    void expectLamps(const QList<List> &lists, const QString &caption, int code, const char *step);

    std::unique_ptr<test::TestDatabase> m_dbEnv;
    QTemporaryDir m_dir;
    Trip m_trip;
    std::unique_ptr<test::WorkstationProcess> m_a;
    std::unique_ptr<test::WorkstationProcess> m_b;
    bool m_roadDone = false;
};

void tst_trip_road::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_dbEnv = std::make_unique<test::TestDatabase>(u"postgres"_s);
    if (!m_dbEnv->available())
        QSKIP(qPrintable(m_dbEnv->skipReason()));
    const QTime now = QTime::currentTime();
    if (now > QTime(23, 40))
        QSKIP("the road needs its trip today: started too close to midnight");

    Database db(m_dbEnv->config());
    db.migrate();
    seedDemoStation(db, QDate::currentDate());
    QString why;
    QVERIFY2(prepareTrip(db, &why), qPrintable(why));
    // The gate has the trip's drivers confirm by fingerprint.
    db.exec(u"UPDATE sys_params SET param_value = '1' WHERE param_index = 13"_s);
}

void tst_trip_road::cleanupTestCase()
{
    // Whatever happened, both workstations end before the database goes.
    if (m_a)
        m_a->stop(5000);
    if (m_b)
        m_b->stop(5000);
    if (m_a && !m_roadDone) {
        // The workstations' logs and settings stay for a look at the failure.
        m_dir.setAutoRemove(false);
        qInfo("the road failed; the workstations' output is in %s (A.log, B.log)", qPrintable(m_dir.path()));
        for (test::WorkstationProcess *ws : {m_a.get(), m_b.get()})
            if (ws)
                qInfo("workstation %s wrote:\n%s", qPrintable(ws->name()), qPrintable(ws->output()));
    }
    m_a.reset();
    m_b.reset();
    m_dbEnv.reset();
}

// A trip of the demo station made ready for the road: a vehicle with an IC
// card and a condition check to pass, a driver of it with enrolled fingers,
// and one trip of the vehicle ten minutes from now with nothing recorded.
// The vehicle's other trips of the day go, so that the gate finds this one.
bool tst_trip_road::prepareTrip(Database &db, QString *why)
{
    const QDateTime today(QDate::currentDate(), QTime(0, 0));
    const RecordSet pick = db.select(
        uR"(SELECT v.license_id, v.license, v.ic_card_id, d.driver_id
FROM vehicles v
JOIN arrangements a ON a.license_id = v.license_id AND a.start_date <= ? AND a.end_date >= ?
JOIN drivers d ON d.driver_id = a.driver_id
WHERE v.ic_card_id <> '' AND v.is_cond = 1 AND COALESCE(v.service_kind, '') NOT LIKE '外%'
  AND COALESCE(d.fng_value, '') <> ''
  AND EXISTS (SELECT 1 FROM trips t WHERE t.bus_date = ? AND t.license_id = v.license_id)
ORDER BY v.license_id, d.driver_id)"_s,
        {today, today, today});
    if (pick.RecordCount() == 0) {
        *why = u"the demo station has no vehicle with a card and an enrolled driver"_s;
        return false;
    }
    const QString vehicle = pick.valueAt(0, u"license_id"_s).toString();
    m_trip.plate = pick.valueAt(0, u"license"_s).toString().trimmed();
    m_trip.card = pick.valueAt(0, u"ic_card_id"_s).toString().trimmed();
    m_trip.driver = pick.valueAt(0, u"driver_id"_s).toString().trimmed();
    m_trip.busId = db.scalar(u"SELECT bus_id FROM trips WHERE bus_date = ? AND license_id = ? "
                             u"ORDER BY bus_start_time LIMIT 1"_s,
                             {today, vehicle})
                       .toString()
                       .trimmed();
    const QTime t = QTime::currentTime().addSecs(10 * 60);
    m_trip.start = QDateTime(today.date(), QTime(t.hour(), t.minute()));

    db.transact([&] {
        const QVariantList trips{today, today, vehicle};
        for (const char16_t *table : {u"driver_checkins", u"route_sheet_issues", u"departures", u"luggage_counts",
                                      u"forced_releases"})
            db.exec(u"DELETE FROM %1 WHERE bus_date = ? AND bus_id IN "
                    u"(SELECT bus_id FROM trips WHERE bus_date = ? AND license_id = ?)"_s.arg(QString::fromUtf16(table)),
                    trips);
        db.exec(u"DELETE FROM trips WHERE bus_date = ? AND license_id = ? AND bus_id <> ?"_s,
                {today, vehicle, m_trip.busId});
        db.exec(u"DELETE FROM rolling_trips WHERE bus_date = ? AND license_id = ?"_s, {today, vehicle});
        db.exec(u"UPDATE trips SET bus_start_time = ?, check_num = 0, driver_verify_status = 0, scheme_status = 0, "
                u"scheme_time = NULL, scheme_operator = NULL, out_status = 0, exit_time = NULL, out_operator = NULL "
                u"WHERE bus_date = ? AND bus_id = ?"_s,
                {m_trip.start, today, m_trip.busId});
        // No condition check in force: the lamp starts yellow.
        db.exec(u"DELETE FROM condition_checks WHERE license_id = ?"_s, {vehicle});
    });
    return true;
}

QString tst_trip_road::writeConfig(const QString &name, const QString &operatorCode)
{
    const QString folder = m_dir.filePath(name);
    QDir().mkpath(folder);
    const QString file = folder + u"/coachgate.ini"_s;
    QSettings ini(file, QSettings::IniFormat);
    ini.setValue(u"session/operator"_s, operatorCode);
    ini.setValue(u"session/station"_s, QString::fromUtf16(demo::StationCode));
    ini.setValue(u"session/unit"_s, QString::fromUtf16(demo::UnitCode));
    ini.setValue(u"session/code"_s, u"CGS"_s);
    ini.setValue(u"database/spec"_s, m_dbEnv->spec());
    ini.setValue(u"paths/photos"_s, folder + u"/photos"_s);
    ini.setValue(u"paths/scratch"_s, folder + u"/scratch"_s);
    ini.setValue(u"paths/layout"_s, folder + u"/HeadSet.ini"_s);
    // The machine's clock is the server's: never set it.
    ini.setValue(u"clock/tolerance_seconds"_s, 86400);
    ini.setValue(u"fingerprint/reader"_s, u"simulated"_s);
    ini.sync();
    return file;
}

QProcessEnvironment tst_trip_road::environment(const QString &name) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString home = m_dir.filePath(name + u"/home"_s);
    QDir().mkpath(home);
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    // The log and any per-user file stay in the test's folder.
    for (const char16_t *var : {u"XDG_CONFIG_HOME", u"XDG_DATA_HOME", u"XDG_STATE_HOME", u"XDG_CACHE_HOME"})
        env.insert(QString::fromUtf16(var), home);
    return env;
}

QJsonObject tst_trip_road::must(test::WorkstationProcess &ws, const QString &op, const QJsonObject &args)
{
    const QJsonObject answer = ws.call(op, args);
    if (!answer.value(u"ok"_s).toBool())
        qWarning("workstation %s refused %s: %s", qPrintable(ws.name()), qPrintable(op),
                 qPrintable(answer.value(u"error"_s).toString()));
    return answer;
}

int tst_trip_road::column(test::WorkstationProcess &ws, const QString &grid, const QString &caption)
{
    const QJsonObject a = ws.call(u"column"_s, {{u"target"_s, grid}, {u"caption"_s, caption}});
    return a.value(u"ok"_s).toBool() ? a.value(u"col"_s).toInt() : -1;
}

int tst_trip_road::rowOf(test::WorkstationProcess &ws, const QString &grid, int col, const QString &key)
{
    const QJsonObject a = ws.call(u"rows"_s, {{u"target"_s, grid}, {u"col"_s, col}, {u"text"_s, key}});
    const QJsonArray rows = a.value(u"rows"_s).toArray();
    return rows.isEmpty() ? -1 : rows.first().toInt();
}

int tst_trip_road::lamp(const List &list, const QString &caption)
{
    const int keyCol = column(*list.ws, list.grid, list.keyColumn);
    const int col = column(*list.ws, list.grid, caption);
    if (keyCol < 0 || col < 0)
        return -3;
    const QString key = list.byPlate ? m_trip.plate : m_trip.busId;
    int row = rowOf(*list.ws, list.grid, keyCol, key);
    for (int page = 0; row < 0 && !list.nextPage.isEmpty() && page < MaxPages; ++page) {
        if (!must(*list.ws, u"click"_s, {{u"target"_s, list.nextPage}}).value(u"ok"_s).toBool())
            return -3;
        row = rowOf(*list.ws, list.grid, keyCol, key);
    }
    if (row < 0)
        return -2;
    const QJsonObject a = list.ws->call(u"lamp"_s, {{u"target"_s, list.grid}, {u"row"_s, row}, {u"col"_s, col}});
    return a.value(u"ok"_s).toBool() ? a.value(u"code"_s).toInt() : -3;
}

QString tst_trip_road::modal(test::WorkstationProcess &ws)
{
    return ws.call(u"windows"_s).value(u"modal"_s).toString();
}

int tst_trip_road::boxCount(test::WorkstationProcess &ws)
{
    return int(ws.call(u"boxes"_s).value(u"boxes"_s).toArray().size());
}

void tst_trip_road::expectLamps(const QList<List> &lists, const QString &caption, int code, const char *step)
{
    for (const List &list : lists) {
        int seen = -4;
        QTRY_VERIFY2_WITH_TIMEOUT((seen = lamp(list, caption)) == code,
                                  qPrintable(u"%1: the %2 lamp in %3 on workstation %4 shows %5, not %6"_s.arg(
                                      QString::fromLatin1(step), caption, list.grid, list.ws->name())
                                                 .arg(seen)
                                                 .arg(code)),
                                  StepTimeout);
    }
}

void tst_trip_road::tripRoad()
{
    const QString binary = QStringLiteral(CG_TESTHOOK_BINARY);
    const QString printedB = m_dir.filePath(u"B/printed"_s);
    QDir().mkpath(printedB);
    m_a = std::make_unique<test::WorkstationProcess>(u"A"_s, binary, m_dir.filePath(u"A.log"_s));
    m_b = std::make_unique<test::WorkstationProcess>(u"B"_s, binary, m_dir.filePath(u"B.log"_s));
    test::WorkstationProcess &a = *m_a;
    test::WorkstationProcess &b = *m_b;
    QElapsedTimer clock;
    clock.start();
    // How long each step took, in the test's output (and the CI log).
    const auto stepDone = [&clock](const char *step) { qInfo("%-28s %6lld ms", step, clock.restart()); };
    QString why;
    QVERIFY2(a.start({u"--config"_s, writeConfig(u"A"_s, u"wg"_s)}, environment(u"A"_s), StartTimeout, &why),
             qPrintable(why));
    QVERIFY2(b.start({u"--config"_s, writeConfig(u"B"_s, u"lm"_s), u"--print-folder"_s, printedB},
                     environment(u"B"_s), StartTimeout, &why),
             qPrintable(why));

    // Both come up with the check-in station in front and the simulated
    // reader's window beside it.
    for (test::WorkstationProcess *ws : {&a, &b}) {
        QTRY_VERIFY2_WITH_TIMEOUT(modal(*ws) == u"frmDriverVerify", qPrintable(ws->name() + u": no check-in station"_s),
                                  StartTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(ws->call(u"windows"_s).value(u"windows"_s).toArray().contains(
                                     u"frmFingerprintSimulator"_s),
                                 StartTimeout);
    }

    stepDone("workstations up");
    // B leaves its check-in station with the exit password and opens the
    // condition check station, the dispatch centre and the gate.
    QVERIFY(must(b, u"click"_s, {{u"target"_s, u"frmDriverVerify/cmdReturn"_s}}).value(u"ok"_s).toBool());
    QTRY_COMPARE_WITH_TIMEOUT(modal(b), u"frmCheckPass"_s, StepTimeout);
    QVERIFY(must(b, u"set"_s, {{u"target"_s, u"frmCheckPass/txtPassword"_s},
                               {u"text"_s, QString::fromUtf16(demo::ExitPassword)}})
                .value(u"ok"_s).toBool());
    QVERIFY(must(b, u"click"_s, {{u"target"_s, u"frmCheckPass/cmdOK"_s}}).value(u"ok"_s).toBool());
    QTRY_COMPARE_WITH_TIMEOUT(modal(b), QString(), StepTimeout);
    for (const char16_t *menu : {u"mnu_check_cond", u"mnu_center", u"mnu_check_exit"})
        QVERIFY(must(b, u"menu"_s, {{u"name"_s, QString::fromUtf16(menu)}}).value(u"ok"_s).toBool());
    // A keeps its check-in station in front; the dispatch centre and the
    // gate open behind it from the menu.
    for (const char16_t *menu : {u"mnu_center", u"mnu_check_exit"})
        QVERIFY(must(a, u"menu"_s, {{u"name"_s, QString::fromUtf16(menu)}}).value(u"ok"_s).toBool());

    const List gateA{&a, u"frmOutCheck/vsList"_s, u"车次"_s, false};
    const List gateB{&b, u"frmOutCheck/vsList"_s, u"车次"_s, false};
    const List centreA{&a, u"frmEnvBusDesk/vsList"_s, u"车次"_s, false};
    const List centreB{&b, u"frmEnvBusDesk/vsList"_s, u"车次"_s, false};
    const List checkIn{&a, u"frmDriverVerify/vsList"_s, u"车次"_s, false, u"frmDriverVerify/cmdNext"_s};
    const List condition{&b, u"frmTechCheck/vsList"_s, u"车牌号"_s, true};

    stepDone("lists open");
    // Nothing is recorded yet: yellow everywhere.
    for (const char16_t *caption : {u"安全例检", u"驾驶员", u"检票状态", u"出站状况"})
        expectLamps({gateA, gateB}, QString::fromUtf16(caption), 0, "before the road");
    for (const char16_t *caption : {u"安全例检", u"驾驶员", u"检票状态", u"出站状况"})
        expectLamps({centreA, centreB}, QString::fromUtf16(caption), 0, "before the road");
    expectLamps({condition}, u"安全例检"_s, 0, "before the road");

    stepDone("all lamps yellow");
    // 1. A: the driver presses his finger; his trips are listed; he touches
    // 确认 on the trip and presses again on the single-driver screen.
    QVERIFY(must(a, u"press"_s, {{u"driver"_s, m_trip.driver}}).value(u"ok"_s).toBool());
    const int busCol = column(a, checkIn.grid, u"车次"_s);
    const int confirmCol = column(a, checkIn.grid, u"选择"_s);
    QVERIFY(busCol >= 0 && confirmCol >= 0);
    int row = -1;
    QTRY_VERIFY2_WITH_TIMEOUT((row = rowOf(a, checkIn.grid, busCol, m_trip.busId)) >= 0,
                              "the check-in station did not list the driver's trip", StepTimeout);
    QCOMPARE(lamp(checkIn, u"驾驶员"_s), 0);
    QCOMPARE(lamp(checkIn, u"车容车况"_s), 0);
    // The single-driver screen closes by itself when its 15 s countdown runs
    // out. On a starved machine the press may reach the workstation only
    // after that: the screen is gone, nothing is recorded, as at a real desk
    // where the driver was too slow. Then he opens it and presses again,
    // once; a press that never records fails the second time.
    bool recorded = false;
    for (int attempt = 1; attempt <= 2 && !recorded; ++attempt) {
        QVERIFY(must(a, u"gridclick"_s, {{u"target"_s, checkIn.grid}, {u"row"_s, row}, {u"col"_s, confirmCol}})
                    .value(u"ok"_s).toBool());
        QTRY_COMPARE_WITH_TIMEOUT(modal(a), u"frmDriverVerifySingle"_s, StepTimeout);
        QVERIFY(must(a, u"press"_s, {{u"driver"_s, m_trip.driver}}).value(u"ok"_s).toBool());
        QTRY_VERIFY2_WITH_TIMEOUT((recorded = !a.call(u"text"_s, {{u"target"_s, u"frmDriverVerifySingle/lblDriverName"_s}})
                                                   .value(u"text"_s).toString().isEmpty()) ||
                                      modal(a) != u"frmDriverVerifySingle",
                                  "the single-driver screen neither recorded the check-in nor closed", StepTimeout);
        if (!recorded) { // recorded and closed between two looks?
            Database db(m_dbEnv->config());
            recorded = db.scalar(u"SELECT count(*) FROM driver_checkins WHERE bus_id = ? AND driver_run_id = ? "
                                 u"AND is_driver = 1"_s,
                                 {m_trip.busId, m_trip.driver})
                           .toInt() > 0;
        }
        if (!recorded)
            qWarning("the single-driver screen closed before the press was handled (attempt %d)", attempt);
    }
    QVERIFY2(recorded, "the single-driver screen did not record the check-in");
    // The screen closes by itself; no refusal was told.
    QTRY_COMPARE_WITH_TIMEOUT(modal(a), u"frmDriverVerify"_s, StepTimeout);
    QVERIFY2(a.call(u"boxes"_s).value(u"notices"_s).toArray().isEmpty(),
             qPrintable(QString::fromUtf8(QJsonDocument(a.call(u"boxes"_s)).toJson())));
    expectLamps({checkIn, gateA, centreA, gateB, centreB}, u"驾驶员"_s, 1, "driver check-in");

    stepDone("check-in, lamps seen");
    // 2. B: the vehicle's card at the condition check station, passed.
    QVERIFY(must(b, u"set"_s, {{u"target"_s, u"frmTechCheck/txtLicense"_s}, {u"text"_s, m_trip.card}})
                .value(u"ok"_s).toBool());
    QVERIFY(must(b, u"key"_s, {{u"target"_s, u"frmTechCheck/txtLicense"_s}, {u"key"_s, u"Return"_s}})
                .value(u"ok"_s).toBool());
    QTRY_COMPARE_WITH_TIMEOUT(modal(b), u"frmCondCheckItem"_s, StepTimeout);
    QVERIFY(must(b, u"answer"_s, {{u"button"_s, u"Yes"_s}}).value(u"ok"_s).toBool());
    QVERIFY(must(b, u"click"_s, {{u"target"_s, u"frmCondCheckItem/cmdPass"_s}}).value(u"ok"_s).toBool());
    QTRY_COMPARE_WITH_TIMEOUT(modal(b), QString(), StepTimeout);
    expectLamps({condition, gateB, centreB, gateA, centreA}, u"安全例检"_s, 1, "condition check");
    expectLamps({checkIn}, u"车容车况"_s, 1, "condition check");

    stepDone("condition check, lamps seen");
    // 3. B: the dispatch centre issues the route sheet of the trip, then
    // prints it (into the PDF folder).
    const int centreBus = column(b, centreB.grid, u"车次"_s);
    QTRY_VERIFY_WITH_TIMEOUT((row = rowOf(b, centreB.grid, centreBus, m_trip.busId)) >= 0, StepTimeout);
    QVERIFY(must(b, u"gridclick"_s, {{u"target"_s, centreB.grid}, {u"row"_s, row}, {u"col"_s, centreBus}})
                .value(u"ok"_s).toBool());
    QTRY_VERIFY_WITH_TIMEOUT(b.call(u"text"_s, {{u"target"_s, u"frmEnvBusDesk/cmdOK"_s}}).value(u"enabled"_s).toBool(),
                             StepTimeout);
    const int boxesBefore = boxCount(b);
    QVERIFY(must(b, u"answer"_s, {{u"button"_s, u"Yes"_s}}).value(u"ok"_s).toBool());
    QVERIFY(must(b, u"click"_s, {{u"target"_s, u"frmEnvBusDesk/cmdOK"_s}}).value(u"ok"_s).toBool());
    QTRY_VERIFY_WITH_TIMEOUT(boxCount(b) >= boxesBefore + 2, StepTimeout);
    {
        const QJsonArray boxes = b.call(u"boxes"_s).value(u"boxes"_s).toArray();
        QCOMPARE(boxes.at(boxesBefore).toObject().value(u"text"_s).toString(), u"是否对此车次签发？"_s);
        QCOMPARE(boxes.at(boxesBefore + 1).toObject().value(u"text"_s).toString(), u"签发成功!"_s);
    }
    expectLamps({centreB, gateB, centreA, gateA}, u"检票状态"_s, 1, "route sheet");
    stepDone("route sheet, lamps seen");
    QVERIFY(must(b, u"gridclick"_s, {{u"target"_s, centreB.grid}, {u"row"_s, row}, {u"col"_s, centreBus},
                                     {u"double"_s, true}})
                .value(u"ok"_s).toBool());
    QTRY_COMPARE_WITH_TIMEOUT(modal(b), u"frmPrintSheet"_s, StepTimeout);
    QVERIFY(must(b, u"click"_s, {{u"target"_s, u"frmPrintSheet/cmdYes"_s}}).value(u"ok"_s).toBool());
    QTRY_COMPARE_WITH_TIMEOUT(modal(b), QString(), StepTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(QDir(printedB).entryList({u"*.pdf"_s}, QDir::Files).size(), 1, StepTimeout);

    stepDone("route sheet printed");
    // 4. B: the card at the gate; the operator confirms the boarding; the
    // trip departs.
    QVERIFY(must(b, u"set"_s, {{u"target"_s, u"frmOutCheck/txtLicenseID"_s}, {u"text"_s, m_trip.card}})
                .value(u"ok"_s).toBool());
    QVERIFY(must(b, u"key"_s, {{u"target"_s, u"frmOutCheck/txtLicenseID"_s}, {u"key"_s, u"Return"_s}})
                .value(u"ok"_s).toBool());
    QTRY_COMPARE_WITH_TIMEOUT(modal(b), u"frmCheckInfo"_s, StepTimeout);
    // The gate wants the trip's drivers' fingers: each listed driver presses
    // on B's reader, and the last match departs the trip.
    QList<std::pair<int, QString>> drivers; // place, driver number
    for (int place = 1; place <= 3; ++place) {
        const QString no = b.call(u"text"_s, {{u"target"_s, u"frmCheckInfo/lblDriverNo%1"_s.arg(place)}})
                               .value(u"text"_s).toString().trimmed();
        if (!no.isEmpty())
            drivers.append({place, no});
    }
    QVERIFY2(std::any_of(drivers.begin(), drivers.end(), [&](const auto &d) { return d.second == m_trip.driver; }),
             "the gate does not list the driver who checked in");
    for (const auto &[place, no] : std::as_const(drivers)) {
        QVERIFY(must(b, u"press"_s, {{u"driver"_s, no}}).value(u"ok"_s).toBool());
        const QString status = u"frmCheckInfo/lblDriverStatus%1"_s.arg(place);
        QTRY_VERIFY2_WITH_TIMEOUT(modal(b) != u"frmCheckInfo" ||
                                      b.call(u"text"_s, {{u"target"_s, status}}).value(u"text"_s).toString() ==
                                          u"比对成功"_s,
                                  qPrintable(u"driver %1's finger was not taken at the gate"_s.arg(no)), StepTimeout);
    }
    expectLamps({gateB, centreB, gateA, centreA}, u"出站状况"_s, 1, "departure");
    QTRY_COMPARE_WITH_TIMEOUT(modal(b), QString(), StepTimeout);

    stepDone("departure, lamps seen");
    // Nothing went wrong on either side: no error box anywhere.
    for (test::WorkstationProcess *ws : {&a, &b}) {
        const QJsonArray boxes = ws->call(u"boxes"_s).value(u"boxes"_s).toArray();
        for (const QJsonValue &box : boxes)
            QVERIFY2(!box.toObject().value(u"title"_s).toString().startsWith(u"错误"_s),
                     qPrintable(ws->name() + u": "_s + box.toObject().value(u"text"_s).toString()));
    }

    // Both end by themselves when asked.
    QVERIFY2(a.stop(), qPrintable(a.output()));
    QVERIFY2(b.stop(), qPrintable(b.output()));
    stepDone("both ended");
    m_roadDone = true;
}

QTEST_GUILESS_MAIN(tst_trip_road)
#include "tst_trip_road.moc"
