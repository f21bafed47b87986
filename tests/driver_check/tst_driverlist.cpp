// The check-in records of a trip (驾驶员身份识别记录) and the forced driver
// pass (驾驶员检验), driven like an operator would, over a SQLite station.
#include "support/fixturetime.h"
#include "tst_driverlist_fixture.h"

#include "support/stationfixture.h"

#include "driver_check/drivercheckforms.h"
#include "driver_check/frmdriverchecklist.h"
#include "driver_check/frmdriverlist.h"

#include "widgets/formregistry.h"
#include "widgets/grid.h"
#include "widgets/gridhelpers.h"
#include "services/checks/checkservice.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace cg {

namespace {

const QColor kBlack{0, 0, 0};
const QColor kBlue{0, 0, 0xFF};
const QColor kRed{0xFF, 0, 0};

struct Station : test::StationFixture {
    Station()
    {
        clock.set(QDateTime(cg::test::fixtureDay(), QTime(8, 30)));
        test::seedDriverListStation(db);
        openSession(u"wg"_s, test::kCheckinCtx);
    }
    void checkIn(const QString &busId, const QString &driver)
    {
        CheckService svc(db, cg::test::fixtureClock());
        QCOMPARE(svc.CheckInDriver(station.context, busId, test::checkinToday(), driver, clock.now(), u"王刚"_s,
                                   u"R01"_s),
                 QString());
    }
};

template <typename T> T *child(QWidget *w, const char *name)
{
    return test::child<T>(w, QString::fromLatin1(name));
}

std::unique_ptr<frmDriverCheckList> openRecords(Station &s, const QString &busId, const QString &parent,
                                                bool withDate = true)
{
    auto dlg = std::make_unique<frmDriverCheckList>(s.env, s.station);
    dlg->setProperty("m_szBusID", busId);
    if (withDate)
        dlg->setProperty("m_dtBusDate", test::checkinToday());
    dlg->setProperty("m_szRouteID", u"R01"_s);
    dlg->setProperty("m_szParentForm", parent);
    dlg->show();
    return dlg;
}

std::unique_ptr<frmDriverList> openDrivers(Station &s, const QString &busId, const QString &route)
{
    auto dlg = std::make_unique<frmDriverList>(s.env, s.station);
    dlg->setProperty("m_szBusID", busId);
    dlg->setProperty("m_dtBusDate", test::checkinToday());
    dlg->setProperty("m_szRouteID", route);
    dlg->setProperty("m_szLicense", u"粤A10001"_s);
    dlg->setProperty("m_szParentForm", u"frmEnvBusDesk"_s);
    dlg->show();
    return dlg;
}

int rowOf(FlexGrid *grid, const QString &driver, const QColor &colour)
{
    for (int r = grid->fixedRows(); r < grid->rows(); ++r)
        if (grid->textMatrix(r, 0) == driver && grid->cellForeColor(r, 0) == colour)
            return r;
    return -1;
}

QString peerPath()
{
    const QString dir = qEnvironmentVariable("CG_TEST_BINARY_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + u"/driverlist_peer"_s
                         : dir + u"/tests/driver_check/driverlist_peer"_s;
}

} // namespace

class tst_DriverList : public QObject {
    Q_OBJECT

private slots:
    // No check-in: the header alone and a yellow lamp; each registration
    // a row, and the lamp green.
    void records_data()
    {
        QTest::addColumn<QStringList>("drivers");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("one") << QStringList{u"D01"_s};
        QTest::newRow("two") << QStringList{u"D01"_s, u"D02"_s};
    }
    void records()
    {
        QFETCH(QStringList, drivers);
        Station s;
        for (const QString &d : drivers)
            s.checkIn(u"K001"_s, d);
        auto dlg = openRecords(s, u"K001"_s, u"frmEnvBusDesk"_s);
        QCOMPARE(dlg->windowTitle(), u"驾驶员身份识别记录"_s);
        auto *grid = child<FlexGrid>(dlg.get(), "vsList");
        auto *lamp = child<QLabel>(dlg.get(), "lblStatus");
        QCOMPARE(grid->rows(), 1 + drivers.size());
        QCOMPARE(grid->textMatrix(0, 0), u"编号"_s);
        QCOMPARE(grid->textMatrix(0, 2), u"登记时间"_s);
        for (int i = 0; i < drivers.size(); ++i) {
            QCOMPARE(grid->textMatrix(1 + i, 0), drivers[i]);
            QCOMPARE(grid->textMatrix(1 + i, 2), s.clock.now().toString(u"yyyy-MM-dd HH:mm"_s));
        }
        QCOMPARE(LampLabelColor(lamp), drivers.isEmpty() ? LampYellow : LampGreen);
        QCOMPARE(child<QLabel>(dlg.get(), "lblLicenseID")->text(), u"粤A10001"_s);
        QVERIFY(s.messages.boxes.isEmpty());

        // One more registration, and the list opened again shows it green.
        if (drivers.size() < 2) {
            s.checkIn(u"K001"_s, drivers.isEmpty() ? u"D01"_s : u"D02"_s);
            auto again = openRecords(s, u"K001"_s, u"frmEnvBusDesk"_s);
            QCOMPARE(child<FlexGrid>(again.get(), "vsList")->dataRows(), drivers.size() + 1);
            QCOMPARE(LampLabelColor(child<QLabel>(again.get(), "lblStatus")), LampGreen);
        }
    }

    // Opened by name as the gate and the dispatch centre do: the members
    // arrive after construction and the list still shows that trip.
    void openedByName()
    {
        Station s;
        s.checkIn(u"K001"_s, u"D01"_s);
        FormRegistry registry;
        RegisterDriverCheckForms(registry, s.env, s.station);
        QVERIFY(registry.contains(u"frmDriverList"_s));
        QString shown;
        int rows = -1;
        registry.setBeforeShowHook([&](QWidget *form) {
            QTimer::singleShot(0, form, [&, form] {
                shown = child<QLabel>(form, "lblBusID")->text();
                rows = child<FlexGrid>(form, "vsList")->dataRows();
                QTest::mouseClick(child<QPushButton>(form, "cmdClose"), Qt::LeftButton);
            });
        });
        const QVariantMap result = registry.runModal(
            nullptr, u"frmDriverCheckList"_s,
            {{u"m_szBusID"_s, u"K001"_s}, {u"m_dtBusDate"_s, test::checkinToday()},
             {u"m_szParentForm"_s, u"frmOutCheck"_s}});
        QCOMPARE(shown, u"K001"_s);
        QCOMPARE(rows, 1);
        QCOMPARE(result.value(u"m_szParentForm"_s).toString(), u"frmOutCheck"_s);
    }

    // A failing query or write is reported as an error box and changes
    // nothing on the screen.
    void failuresReported_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("step");
        QTest::newRow("trip query") << u"trips"_s << u"load"_s;
        QTest::newRow("cancel") << u"driver_checkins"_s << u"cancel"_s;
        QTest::newRow("forced pass") << u"forced_releases"_s << u"force"_s;
    }
    void failuresReported()
    {
        QFETCH(QString, table);
        QFETCH(QString, step);
        Station s;
        s.checkIn(u"K001"_s, u"D01"_s);
        const auto breakTable = [&] { s.db.exec(u"ALTER TABLE %1 RENAME TO %1_away"_s.arg(table)); };
        if (step == u"load"_s) {
            breakTable();
            auto dlg = openRecords(s, u"K001"_s, u"frmEnvBusDesk"_s);
            QCOMPARE(s.messages.boxes.size(), 1);
            QVERIFY(s.messages.lastTitle().startsWith(u"错误-"_s));
            QCOMPARE(child<FlexGrid>(dlg.get(), "vsList")->dataRows(), 0);
        } else if (step == u"cancel"_s) {
            auto dlg = openRecords(s, u"K001"_s, u"frmEnvBusDesk"_s);
            auto *grid = child<FlexGrid>(dlg.get(), "vsList");
            grid->setCurrent(1, 0);
            breakTable();
            QTest::mouseClick(child<QPushButton>(dlg.get(), "CoolButton1"), Qt::LeftButton);
            QVERIFY(s.messages.lastTitle().startsWith(u"错误-"_s));
            QCOMPARE(grid->dataRows(), 1);
            QCOMPARE(LampLabelColor(child<QLabel>(dlg.get(), "lblStatus")), LampGreen);
        } else {
            auto dlg = openDrivers(s, u"K001"_s, u"R01"_s);
            child<FlexGrid>(dlg.get(), "vsList")->setCurrent(1, 0);
            breakTable();
            QTest::mouseClick(child<QPushButton>(dlg.get(), "cmdForcePass"), Qt::LeftButton);
            QVERIFY(s.messages.lastTitle().startsWith(u"错误-"_s));
            QVERIFY(s.messages.notices.isEmpty());
            QVERIFY(dlg->isVisible());
            QCOMPARE(s.count(u"SELECT driver_verify_status FROM trips WHERE bus_id = 'K001'"_s), 1);
        }
    }

    void forcePassButton_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<bool>("offered");
        QTest::newRow("dispatch centre") << u"frmEnvBusDesk"_s << true;
        QTest::newRow("departure gate") << u"frmOutCheck"_s << false;
        QTest::newRow("no opener") << QString() << false;
    }
    void forcePassButton()
    {
        QFETCH(QString, parent);
        QFETCH(bool, offered);
        Station s;
        auto dlg = openRecords(s, u"K001"_s, parent);
        QCOMPARE(child<QPushButton>(dlg.get(), "cmdOk")->isVisible(), offered);
        QVERIFY(child<QPushButton>(dlg.get(), "CoolButton1")->isVisible());
        QVERIFY(child<QPushButton>(dlg.get(), "cmdClose")->isVisible());
    }

    void cancel_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("yes");
        QTest::newRow("gate, no row") << u"frmOutCheck"_s << false << true;
        QTest::newRow("gate, yes") << u"frmOutCheck"_s << true << true;
        QTest::newRow("dispatch, yes") << u"frmEnvBusDesk"_s << true << true;
        QTest::newRow("dispatch, no") << u"frmEnvBusDesk"_s << true << false;
    }
    void cancel()
    {
        QFETCH(QString, parent);
        QFETCH(bool, select);
        QFETCH(bool, yes);
        Station s;
        s.checkIn(u"K001"_s, u"D01"_s);
        auto dlg = openRecords(s, u"K001"_s, parent);
        auto *grid = child<FlexGrid>(dlg.get(), "vsList");
        if (select)
            grid->setCurrent(1, 0);
        s.messages.script = {yes ? MsgAnswer::Yes : MsgAnswer::No};
        QTest::mouseClick(child<QPushButton>(dlg.get(), "CoolButton1"), Qt::LeftButton);
        QCOMPARE(s.messages.boxes.size(), 1);
        QCOMPARE(s.messages.lastTitle(), u"驾驶员指纹"_s);
        const int valid = s.count(u"SELECT COUNT(*) FROM driver_checkins WHERE is_driver = 1"_s);
        if (!select) {
            QCOMPARE(s.messages.lastText(), u"请先选择要删除指纹报班登记的驾驶员！"_s);
            QCOMPARE(valid, 1);
            QCOMPARE(grid->dataRows(), 1);
            return;
        }
        QCOMPARE(s.messages.lastText(), u"您确认要删除[张三]驾驶员的指纹报班登记吗？"_s);
        QCOMPARE(s.messages.boxes.last().spec.buttons, MsgButtons::YesNo);
        QCOMPARE(s.messages.boxes.last().spec.icon, MsgIcon::Critical);
        QCOMPARE(valid, yes ? 0 : 1);
        QCOMPARE(grid->dataRows(), yes ? 0 : 1);
        // The last registration gone, the lamp no longer shows a pass.
        QCOMPARE(LampLabelColor(child<QLabel>(dlg.get(), "lblStatus")), yes ? LampYellow : LampGreen);
        QCOMPARE(s.count(u"SELECT driver_verify_status FROM trips WHERE bus_id = 'K001'"_s), yes ? 0 : 1);
    }

    // A rolling run shows "code-serial" and hands that code on to the
    // forced pass, whether the opener named it so or by its bare code.
    void rollingTrip_data()
    {
        QTest::addColumn<QString>("busId");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("plate");
        QTest::newRow("code-serial") << u"RL1-2"_s << u"RL1-2"_s << u"粤A10001"_s;
        QTest::newRow("bare code") << u"RL2"_s << u"RL2-1"_s << u"粤A10002"_s;
    }
    void rollingTrip()
    {
        QFETCH(QString, busId);
        QFETCH(QString, shown);
        QFETCH(QString, plate);
        Station s;
        CheckService svc(s.db, cg::test::fixtureClock());
        QCOMPARE(svc.ForceDriverPass(s.station.context, shown, test::checkinToday(), u"D02"_s, s.clock.now(),
                                     u"王刚"_s, plate, QString(), 3),
                 QString());
        auto dlg = openRecords(s, busId, u"frmEnvBusDesk"_s);
        QCOMPARE(child<QLabel>(dlg.get(), "lblBusID")->text(), shown);
        QCOMPARE(child<QLabel>(dlg.get(), "lblLicenseID")->text(), plate);
        QCOMPARE(child<FlexGrid>(dlg.get(), "vsList")->textMatrix(1, 0), u"D02"_s);

        QVariantMap seen;
        QTimer::singleShot(0, this, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w->objectName() == u"frmDriverList"_s && w->isVisible()) {
                    for (const char *p : {"m_szBusID", "m_szLicense", "m_szRouteID", "m_szParentForm", "m_dtBusDate"})
                        seen[QString::fromLatin1(p)] = w->property(p);
                    seen[u"title"_s] = w->windowTitle();
                    seen[u"lblBusID"_s] = child<QLabel>(w, "lblBusID")->text();
                    QTest::mouseClick(child<QPushButton>(w, "cmdClose"), Qt::LeftButton);
                }
            }
        });
        QTest::mouseClick(child<QPushButton>(dlg.get(), "cmdOk"), Qt::LeftButton);
        QCOMPARE(seen.value(u"title"_s).toString(), u"驾驶员检验"_s);
        QCOMPARE(seen.value(u"m_szBusID"_s).toString(), shown);
        QCOMPARE(seen.value(u"lblBusID"_s).toString(), shown);
        QCOMPARE(seen.value(u"m_szLicense"_s).toString(), plate);
        QCOMPARE(seen.value(u"m_szRouteID"_s).toString(), u"R01"_s);
        QCOMPARE(seen.value(u"m_szParentForm"_s).toString(), u"frmEnvBusDesk"_s);
        QCOMPARE(seen.value(u"m_dtBusDate"_s).toDateTime().date(), cg::test::fixtureDay());
        QVERIFY(!dlg->isVisible());
    }

    // Neither trip list knows the code: the heading says so, nothing fails,
    // and no forced pass is offered for it.
    // An empty code names no trip (it must not pick the day's first one);
    // neither does a code without its date (not every check-in of every day).
    void unknownTrip_data()
    {
        QTest::addColumn<QString>("busId");
        QTest::addColumn<bool>("withDate");
        QTest::newRow("unknown code") << u"X999"_s << true;
        QTest::newRow("empty code") << QString() << true;
        QTest::newRow("no date") << u"K001"_s << false;
        QTest::newRow("no code, no date") << QString() << false;
    }
    void unknownTrip()
    {
        QFETCH(QString, busId);
        QFETCH(bool, withDate);
        Station s;
        s.checkIn(u"K001"_s, u"D01"_s);
        auto dlg = openRecords(s, busId, u"frmEnvBusDesk"_s, withDate);
        QVERIFY(s.messages.boxes.isEmpty());
        auto *message = child<QLabel>(dlg.get(), "lblMessage");
        QVERIFY(message->isVisible());
        QVERIFY(message->text().contains(busId));
        QCOMPARE(child<QLabel>(dlg.get(), "lblLicenseID")->text(), QString());
        QVERIFY(!child<QPushButton>(dlg.get(), "cmdOk")->isEnabled());
        QCOMPARE(child<FlexGrid>(dlg.get(), "vsList")->dataRows(), 0);
        QCOMPARE(LampLabelColor(child<QLabel>(dlg.get(), "lblStatus")), LampYellow);
    }

    void driverGroups_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QStringList>("black");
        QTest::addColumn<QStringList>("blue");
        QTest::addColumn<QStringList>("red");
        QTest::newRow("regular, mobile and lent")
            << u"R01"_s << QStringList{u"D01"_s, u"D02"_s} << QStringList{u"D04"_s}
            << QStringList{u"D01"_s, u"D02"_s, u"D03"_s};
        // No regular driver: no unit, so no mobile drivers either.
        QTest::newRow("lent only") << u"R05"_s << QStringList{} << QStringList{} << QStringList{u"D05"_s};
    }
    void driverGroups()
    {
        QFETCH(QString, route);
        QFETCH(QStringList, black);
        QFETCH(QStringList, blue);
        QFETCH(QStringList, red);
        Station s;
        auto dlg = openDrivers(s, u"K001"_s, route);
        QCOMPARE(dlg->windowTitle(), u"驾驶员检验"_s);
        auto *grid = child<FlexGrid>(dlg.get(), "vsList");
        QStringList groups[3];
        int lastGroup = 0;
        for (int r = 1; r < grid->rows(); ++r) {
            const QColor c = grid->cellForeColor(r, 0);
            const int g = c == kBlack ? 0 : c == kBlue ? 1 : c == kRed ? 2 : -1;
            QVERIFY2(g >= lastGroup, "groups in the order regular, mobile, temporary");
            lastGroup = g;
            QCOMPARE(grid->cellForeColor(r, 2), c);
            groups[g] << grid->textMatrix(r, 0);
        }
        for (QStringList &g : groups)
            g.sort();
        QCOMPARE(groups[0], black);
        QCOMPARE(groups[1], blue);
        QCOMPARE(groups[2], red);
        const int d05 = rowOf(grid, u"D05"_s, kRed);
        if (d05 > 0)
            QCOMPARE(grid->textMatrix(d05, 3), u"R09"_s);
        const int d01 = rowOf(grid, u"D01"_s, kBlack);
        if (d01 > 0)
            QCOMPARE(grid->textMatrix(d01, 2), u"2020年03月01日 - 2028年02月29日"_s);
        QCOMPARE(child<QLabel>(dlg.get(), "lblBusDate")->text(),
                 cg::test::fixtureDay().toString(u"yyyy年MM月dd日"_s));
        QVERIFY(s.messages.boxes.isEmpty());
    }

    void causeReplacesTyped()
    {
        Station s;
        auto dlg = openDrivers(s, u"K001"_s, u"R01"_s);
        auto *combo = child<QComboBox>(dlg.get(), "cboCause");
        auto *cause = child<QLineEdit>(dlg.get(), "txtCause");
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(0), QString());
        QCOMPARE(combo->itemText(1), u"指纹仪故障"_s);
        QCOMPARE(cause->text(), QString());
        QTest::keyClicks(cause, u"typed by hand"_s);
        QCOMPARE(cause->text(), u"typed by hand"_s);
        combo->setCurrentIndex(2);
        QCOMPARE(cause->text(), u"手指受伤"_s);
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), u"reader"_s);
        QCOMPARE(cause->text(), u"reader"_s);
    }

    void confirmWithoutDriver()
    {
        Station s;
        auto dlg = openDrivers(s, u"K001"_s, u"R01"_s);
        QCOMPARE(child<FlexGrid>(dlg.get(), "vsList")->row(), -1);
        QTest::mouseClick(child<QPushButton>(dlg.get(), "cmdForcePass"), Qt::LeftButton);
        QVERIFY(dlg->isVisible());
        QVERIFY(s.messages.boxes.isEmpty());
        QVERIFY(s.messages.notices.isEmpty());
        QCOMPARE(s.count(u"SELECT COUNT(*) FROM forced_releases"_s), 0);
    }

    // 确定 on a driver: the pass is recorded as a kind-3 forced release, the
    // notice window says so, the screen closes, and another workstation's
    // notifier hears the trip's driver lamp turn to drawn-as-passed. A
    // refusal is shown as a notice and the screen closes as well.
    void forcedPass_data()
    {
        QTest::addColumn<QString>("busId");
        QTest::addColumn<bool>("recorded");
        QTest::newRow("timetable trip") << u"K001"_s << true;
        QTest::newRow("rolling run") << u"RL1-2"_s << true;
        QTest::newRow("trip gone") << u"X999"_s << false;
    }
    void forcedPass()
    {
        QFETCH(QString, busId);
        QFETCH(bool, recorded);
        Station s;
        QProcess peer;
        peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (recorded) {
            peer.start(peerPath(), {s.dbEnv.config().sqlitePath, u"440100001"_s, u"15000"_s});
            QVERIFY2(peer.waitForReadyRead(10000), "peer did not start");
            QCOMPARE(peer.readLine().trimmed(), QByteArray("ready"));
        }
        auto dlg = openDrivers(s, busId, u"R01"_s);
        auto *grid = child<FlexGrid>(dlg.get(), "vsList");
        const int row = rowOf(grid, u"D03"_s, kRed);
        QVERIFY(row > 0);
        grid->setCurrent(row, 1);
        QTest::keyClicks(child<QLineEdit>(dlg.get(), "txtCause"), u"  worn finger "_s);
        QTest::mouseClick(child<QPushButton>(dlg.get(), "cmdForcePass"), Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        if (!recorded) {
            QCOMPARE(s.messages.notices, QStringList());
            QCOMPARE(s.messages.boxes.size(), 1);
            QVERIFY(s.messages.lastText().contains(u"X999"_s));
            QCOMPARE(s.count(u"SELECT COUNT(*) FROM forced_releases"_s), 0);
            return;
        }
        QCOMPARE(s.messages.notices, QStringList{u"此驾驶员报班已强行通过"_s});
        QVERIFY(s.messages.boxes.isEmpty());
        QVERIFY2(peer.waitForFinished(15000), "peer heard nothing");
        QCOMPARE(QString::fromUtf8(peer.readAll().trimmed()), busId + u" 5"_s);
        QCOMPARE(peer.exitCode(), 0);
        RecordSet f = s.db.select(u"SELECT pass_type, driver_id, cause, operator_name, bus_id FROM forced_releases"_s,
                                   {}, {{u"pass_type"_s, FieldType::Integer, 0}});
        QCOMPARE(f.RecordCount(), 1);
        f.MoveFirst();
        QCOMPARE(f.value(u"pass_type"_s).toInt(), 3);
        QCOMPARE(f.value(u"driver_id"_s).toString(), u"D03"_s);
        QCOMPARE(f.value(u"cause"_s).toString(), u"worn finger"_s);
        QCOMPARE(f.value(u"operator_name"_s).toString(), u"王刚"_s);
        QCOMPARE(f.value(u"bus_id"_s).toString(), busId);
    }
};

} // namespace cg

QTEST_MAIN(cg::tst_DriverList)
#include "tst_driverlist.moc"
