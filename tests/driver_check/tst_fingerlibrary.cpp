// The check-in stations' fingerprint library: the drivers are there as soon
// as a load returns, their templates are indexed on a thread of their own,
// and every answer waits for the whole library, never a part of it.
#include "driver_check/frmdriververifylibrary.h"
#include "services/fingerprint/simulatedfinger.h"
#include "services/fingerprint/simulatedfingerprintengine.h"
#include "stationui/stationcontext.h"

#include <QTest>

#include <memory>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

// Drivers <prefix>0001 .. with both fingers enrolled.
RecordSet driverRecords(const QString &prefix, int count)
{
    RecordSet rs;
    rs.appendField(u"driver_no"_s, FieldType::Text);
    rs.appendField(u"driver_name"_s, FieldType::Text);
    rs.appendField(u"sex"_s, FieldType::Text);
    rs.appendField(u"birth_date"_s, FieldType::DateTime);
    rs.appendField(u"photo_id"_s, FieldType::Integer);
    rs.appendField(u"finger_id"_s, FieldType::Integer);
    rs.appendField(u"finger_value"_s, FieldType::Text);
    rs.appendField(u"fng_value1"_s, FieldType::Text);
    for (int i = 1; i <= count; ++i) {
        const QString no = prefix + u"%1"_s.arg(i, 4, 10, QChar(u'0'));
        rs.appendRow({no, u"驾驶员"_s + no, u"男"_s, QDateTime(QDate(1980, 1, 1), QTime(0, 0)), 0, 0,
                      EnrolTemplateTextForFinger(no + u"/formal"_s, 1),
                      EnrolTemplateTextForFinger(no + u"/backup"_s, 1)});
    }
    return rs;
}

// A fresh press of the finger: another enrolment's presses.
QString press(const QString &key)
{
    return EnrolTemplateTextForFinger(key, 77);
}

struct Library {
    SimulatedFingerReader reader{5};
    StationContext station;
    std::unique_ptr<DriverFingerLibrary> library;

    Library()
    {
        station.makeFingerprintEngine = [this](QObject *parent) -> FingerprintEngine * {
            return new SimulatedFingerprintEngine(&reader, parent);
        };
        library = std::make_unique<DriverFingerLibrary>(station);
    }
};

} // namespace

class tst_fingerlibrary : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { m_drivers = driverRecords(u"D"_s, 300); }
    void pressRightAfterLoad_data();
    void pressRightAfterLoad();
    void reloadReplacesTheLibrary();
    void releaseAndCloseWhileIndexing();

private:
    RecordSet m_drivers;
};

void tst_fingerlibrary::pressRightAfterLoad_data()
{
    QTest::addColumn<QString>("finger");
    QTest::addColumn<int>("expected");
    QTest::newRow("first driver") << u"D0001/formal"_s << 0;
    QTest::newRow("last driver") << u"D0300/formal"_s << 299;
    QTest::newRow("backup finger") << u"D0150/backup"_s << 149;
    QTest::newRow("stranger") << u"X9999/formal"_s << -1;
}

// The drivers are listed at once; the press made before the indexing ends
// gets the answer of the whole library.
void tst_fingerlibrary::pressRightAfterLoad()
{
    QFETCH(QString, finger);
    QFETCH(int, expected);
    Library l;
    l.library->load(m_drivers);
    QCOMPARE(l.library->count(), 300);
    QVERIFY(l.library->hasCache());
    QCOMPARE(l.library->identify(press(finger)), expected);
    QVERIFY(!l.library->loading());
    if (expected >= 0) {
        QCOMPARE(l.library->driver(expected).driverNo, finger.section(u'/', 0, 0));
        QVERIFY(l.library->verify(expected, press(finger)));
    }
}

// A second load while the first is indexing: the second set alone answers.
void tst_fingerlibrary::reloadReplacesTheLibrary()
{
    Library l;
    l.library->load(m_drivers);
    const RecordSet others = driverRecords(u"E"_s, 20);
    l.library->load(others);
    QCOMPARE(l.library->count(), 20);
    QCOMPARE(l.library->identify(press(u"D0002/formal"_s)), -1);
    QCOMPARE(l.library->identify(press(u"E0007/backup"_s)), 6);
    // An empty set identifies nobody.
    l.library->load(RecordSet());
    QCOMPARE(l.library->count(), 0);
    QCOMPARE(l.library->identify(press(u"E0007/formal"_s)), -1);
}

void tst_fingerlibrary::releaseAndCloseWhileIndexing()
{
    Library l;
    l.library->load(m_drivers);
    l.library->release();
    QVERIFY(!l.library->hasCache());
    QVERIFY(!l.library->loading());
    QCOMPARE(l.library->identify(press(u"D0001/formal"_s)), -1);
    // Closed in the middle of an indexing: the library waits for it.
    l.library->load(m_drivers);
    l.library.reset();
}

QTEST_GUILESS_MAIN(tst_fingerlibrary)
#include "tst_fingerlibrary.moc"
