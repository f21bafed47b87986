// The boarding confirmation: operator confirmation with OutCheck off, and the
// trip's drivers confirming by fingerprint with it on.
#include "support/fixturetime.h"
#include "driver_check/frmcheckinfo.h"
#include "support/stationfixture.h"

#include "services/database/database.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace cg;

namespace {

const QString kCtx = test::stationContext(u"op1"_s, u"440101"_s);
constexpr quint32 kSeed = 7;

QString tpl(const QString &finger) { return EnrolTemplateTextForFinger(finger, kSeed); }

QDateTime today() { return QDateTime(cg::test::fixtureDay(), QTime(0, 0)); }

// Vehicle V1 with trip K001 today; drivers D01..D04, each enrolled with
// fingers "<id>-R" (formal) and "<id>-L" (backup). D01 and D02 are arranged
// to V1; trip K002 has all four checked in, D01 first and D04 last.
void seed(Database &db)
{
    test::seedStation(db, u"op1"_s, u"王门检"_s, u"440101"_s);
    db.exec(u"INSERT INTO vehicles (license_id, license, ic_card_id) VALUES ('V1', '粤A10001', '0000000001')"_s);
    const QStringList names{u"张一"_s, u"李二"_s, u"赵三"_s, u"钱四"_s};
    for (int i = 0; i < 4; ++i) {
        const QString id = u"D0%1"_s.arg(i + 1);
        db.exec(u"INSERT INTO drivers (driver_id, driver_name, fng_value, fng_value1) VALUES (?, ?, ?, ?)"_s,
                {id, names[i], tpl(id + u"-R"_s), tpl(id + u"-L"_s)});
        db.exec(u"INSERT INTO driver_checkins (station_code, bus_date, bus_id, driver_run_id, driver_run_name, driver_report_time) "
                u"VALUES ('440100001', ?, 'K002', ?, ?, ?)"_s,
                {today(), id, names[i], today().addSecs(3600 + i * 60)});
    }
    for (const char *bus : {"K001", "K002"})
        db.exec(u"INSERT INTO trips (station_code, bus_date, bus_id, bus_start_time, license_id, license_tag_no) "
                u"VALUES ('440100001', ?, ?, ?, 'V1', '粤A10001')"_s,
                {today(), QString::fromLatin1(bus), today().addSecs(8 * 3600)});
    db.exec(u"INSERT INTO arrangements (license_id, driver_id, driver_name, start_date, end_date) VALUES "
            u"('V1', 'D02', '李二', ?, ?), ('V1', 'D01', '张一', ?, ?)"_s,
            {today().addDays(-1), today().addDays(1), today().addDays(-1), today().addDays(1)});
}

struct Station : test::StationFixture {
    explicit Station(bool outCheck)
    {
        seed(db);
        openSession(u"op1"_s, kCtx, u"s1"_s);
        env.dataDir = u"/opt/gate"_s;
        station.params.OutCheck = outCheck;
        attachReader(reader);
    }
    SimulatedFingerReader reader{kSeed};
};

QString label(QWidget &w, const QString &name) { return w.findChild<QLabel *>(name)->text(); }

void openFor(frmCheckInfo &dlg, const QString &busId)
{
    dlg.setProperty("m_szErrorDescription", u"车次：%1\n安全例检：通过检验"_s.arg(busId));
    dlg.setProperty("m_szBusID", busId);
    dlg.setProperty("m_szLicense", u"粤A10001"_s);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
}

} // namespace

class TstCheckInfo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void operatorConfirmsWithoutFingerprints_data();
    void operatorConfirmsWithoutFingerprints();
    void twoDriversInAnyOrder_data();
    void twoDriversInAnyOrder();
    void fourDriversNeedFirstSecondAndLast();
    void anyOfFourTemplatesRecognised_data();
    void anyOfFourTemplatesRecognised();
    void unknownFingerNeverConfirms_data();
    void unknownFingerNeverConfirms();
    void readerMissingLeavesOnlyCancel();
    void driverWithoutTemplateConfirmedByOperator();
};

void TstCheckInfo::operatorConfirmsWithoutFingerprints_data()
{
    QTest::addColumn<bool>("pressOk");
    QTest::newRow("确定") << true;
    QTest::newRow("取消") << false;
}

void TstCheckInfo::operatorConfirmsWithoutFingerprints()
{
    QFETCH(bool, pressOk);
    Station s(false);
    frmCheckInfo dlg(s.env, s.station);
    openFor(dlg, u"K001"_s);
    QVERIFY(!dlg.findChild<QGroupBox *>(u"fraDriver"_s)->isVisible());
    QCOMPARE(s.enginesMade, 0);
    QCOMPARE(label(dlg, u"lblError"_s), u"车次：K001\n安全例检：通过检验"_s);
    QCOMPARE(dlg.property("m_IsOk").toBool(), false);
    auto *button = dlg.findChild<QPushButton *>(pressOk ? u"cmdOK"_s : u"cmdNo"_s);
    QVERIFY(button->isEnabled());
    QSignalSpy finished(&dlg, &QDialog::finished);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(dlg.property("m_IsOk").toBool(), pressOk);
}

void TstCheckInfo::twoDriversInAnyOrder_data()
{
    QTest::addColumn<QStringList>("presses");
    QTest::newRow("first then second") << QStringList{u"D01-R"_s, u"D02-R"_s};
    QTest::newRow("second then first") << QStringList{u"D02-L"_s, u"D01-R"_s};
    QTest::newRow("same finger twice") << QStringList{u"D01-R"_s, u"D01-R"_s, u"D02-R"_s};
}

void TstCheckInfo::twoDriversInAnyOrder()
{
    QFETCH(QStringList, presses);
    Station s(true);
    frmCheckInfo dlg(s.env, s.station);
    QSignalSpy finished(&dlg, &QDialog::finished);
    openFor(dlg, u"K001"_s); // nobody checked in: the two drivers arranged to V1
    QVERIFY(dlg.findChild<QGroupBox *>(u"fraDriver"_s)->isVisible());
    QCOMPARE(label(dlg, u"lblDriverName1"_s), u"张一"_s);
    QCOMPARE(label(dlg, u"lblDriverName2"_s), u"李二"_s);
    QCOMPARE(label(dlg, u"lblDriverNo3"_s), QString());
    QVERIFY(!dlg.findChild<QPushButton *>(u"cmdOK"_s)->isEnabled());

    for (int i = 0; i < presses.size(); ++i) {
        QCOMPARE(finished.count(), 0);
        s.reader.press(presses[i]);
    }
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(dlg.property("m_IsOk").toBool());
    QCOMPARE(label(dlg, u"lblDriverStatus1"_s), u"比对成功"_s);
    QCOMPARE(label(dlg, u"lblDriverStatus2"_s), u"比对成功"_s);
    QCOMPARE(s.sound.played, QStringList{u"/opt/gate/出站成功.wav"_s});
}

void TstCheckInfo::fourDriversNeedFirstSecondAndLast()
{
    Station s(true);
    frmCheckInfo dlg(s.env, s.station);
    QSignalSpy finished(&dlg, &QDialog::finished);
    openFor(dlg, u"K002"_s);
    QCOMPARE(label(dlg, u"lblDriverName3"_s), u"钱四"_s);
    QCOMPARE(label(dlg, u"lblDriverNo3"_s), u"D04"_s);

    s.reader.press(u"D03-R"_s);
    QCOMPARE(label(dlg, u"lblDriverError"_s), u"赵三 您不是该车的报班驾驶员！ "_s);
    s.reader.press(u"D01-L"_s);
    s.reader.press(u"D02-R"_s);
    QCOMPARE(finished.count(), 0);
    QVERIFY(!dlg.property("m_IsOk").toBool());
    s.reader.press(u"D04-R"_s);
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(dlg.property("m_IsOk").toBool());
}

void TstCheckInfo::anyOfFourTemplatesRecognised_data()
{
    QTest::addColumn<int>("finger");
    QTest::addColumn<bool>("storedTwice");
    for (int f = 1; f <= 4; ++f)
        QTest::addRow("finger %d", f) << f << false;
    // His first finger also stored as his second: two equal templates of
    // one driver must not stand in each other's way.
    QTest::newRow("one finger stored twice") << 1 << true;
}

void TstCheckInfo::anyOfFourTemplatesRecognised()
{
    QFETCH(int, finger);
    QFETCH(bool, storedTwice);
    Station s(true);
    frmCheckInfo dlg(s.env, s.station);
    dlg.setDriverQuery([storedTwice](const QString &, const QString &) {
        RecordSet rs;
        for (const char *f : {"driver_no", "driver_name", "finger_value1", "finger_value2", "finger_value3",
                              "finger_value4"})
            rs.appendField(QString::fromLatin1(f), FieldType::Text);
        rs.appendRow({u"D09"_s, u"孙九"_s, tpl(u"F1"_s), tpl(storedTwice ? u"F1"_s : u"F2"_s), tpl(u"F3"_s),
                      tpl(u"F4"_s)});
        return rs;
    });
    QSignalSpy finished(&dlg, &QDialog::finished);
    openFor(dlg, u"K009"_s);
    s.reader.press(u"F%1"_s.arg(finger));
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(dlg.property("m_IsOk").toBool());
}

void TstCheckInfo::unknownFingerNeverConfirms_data()
{
    QTest::addColumn<bool>("withDrivers");
    QTest::newRow("listed drivers") << true;
    QTest::newRow("no listed driver") << false;
}

void TstCheckInfo::unknownFingerNeverConfirms()
{
    QFETCH(bool, withDrivers);
    Station s(true);
    if (!withDrivers)
        s.db.exec(u"DELETE FROM arrangements"_s);
    frmCheckInfo dlg(s.env, s.station);
    QSignalSpy finished(&dlg, &QDialog::finished);
    openFor(dlg, u"K001"_s);
    s.reader.pressUnknown();
    s.reader.pressUnknown();
    QTest::qWait(50);
    QCOMPARE(finished.count(), 0);
    QVERIFY(!dlg.property("m_IsOk").toBool());
    QVERIFY(s.sound.played.isEmpty());
    auto *ok = dlg.findChild<QPushButton *>(u"cmdOK"_s);
    if (withDrivers) {
        QCOMPARE(label(dlg, u"lblDriverError"_s), u"未能识别指纹，请重试！"_s);
        QVERIFY(!ok->isEnabled());
    } else {
        // Nobody can press: the operator looks and confirms.
        QVERIFY(ok->isEnabled());
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(finished.count(), 1);
        QVERIFY(dlg.property("m_IsOk").toBool());
    }
}

void TstCheckInfo::readerMissingLeavesOnlyCancel()
{
    Station s(true);
    s.reader.setState(SimulatedFingerReader::State::DriverFails);
    frmCheckInfo dlg(s.env, s.station);
    openFor(dlg, u"K001"_s);
    QCOMPARE(s.messages.lastTitle(), u"信息提示"_s);
    QCOMPARE(s.messages.lastText(), u"指纹识别驱动程序加载失败！"_s);
    QVERIFY(!dlg.findChild<QPushButton *>(u"cmdOK"_s)->isEnabled());
    QVERIFY(dlg.findChild<QPushButton *>(u"cmdNo"_s)->isEnabled());
}

// A listed driver with no enrolled finger used to leave his place open for
// ever, so the departure could never be confirmed.
void TstCheckInfo::driverWithoutTemplateConfirmedByOperator()
{
    Station s(true);
    s.db.exec(u"UPDATE drivers SET fng_value = NULL, fng_value1 = NULL WHERE driver_id = 'D02'"_s);
    frmCheckInfo dlg(s.env, s.station);
    QSignalSpy finished(&dlg, &QDialog::finished);
    openFor(dlg, u"K001"_s);
    auto *ok = dlg.findChild<QPushButton *>(u"cmdOK"_s);
    QCOMPARE(label(dlg, u"lblDriverStatus2"_s), u"无指纹"_s);
    QVERIFY2(label(dlg, u"lblDriverError"_s).contains(u"李二 没有登记指纹"_s), qUtf8Printable(label(dlg, u"lblDriverError"_s)));
    QVERIFY(!ok->isEnabled()); // D01 can press, and must
    s.reader.press(u"D01-R"_s);
    QTRY_VERIFY(ok->isEnabled());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(label(dlg, u"lblDriverStatus1"_s), u"比对成功"_s);
    QVERIFY(label(dlg, u"lblDriverError"_s).contains(u"李二 没有登记指纹"_s));
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QVERIFY(dlg.property("m_IsOk").toBool());
}

QTEST_MAIN(TstCheckInfo)
#include "tst_checkinfo.moc"
