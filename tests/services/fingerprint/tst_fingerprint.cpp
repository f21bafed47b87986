// The fingerprint engine with the simulated reader: template text, matching
// of genuine and unrelated presses, the 1:N cache, enrolment, start-up
// codes, event order and the image files. Every press comes from a fixed
// seed, so each run sees the same prints.

#include "services/fingerprint/fingercache.h"
#include "services/fingerprint/fingermatcher.h"
#include "services/fingerprint/simulatedfinger.h"
#include "services/fingerprint/simulatedfingerprintengine.h"

#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

QString driverKey(int n, const QString &which = u"formal"_s)
{
    return u"D%1/%2"_s.arg(n, 4, 10, QLatin1Char('0')).arg(which);
}

// Template bytes with a correct checksum, for texts that pass the checksum
// but carry impossible content.
QString textFromBytes(QByteArray bytes)
{
    const quint16 crc = qChecksum(QByteArrayView(bytes), Qt::ChecksumIso3309);
    bytes.append(char(crc >> 8));
    bytes.append(char(crc));
    return u"CGF1:"_s + QString::fromLatin1(bytes.toBase64());
}

FingerTemplate pressFeatures(const QString &key, quint64 seed, const finger::PressOptions &options = {})
{
    const finger::FingerModel model = finger::MakeFinger(key);
    for (;; ++seed) {
        const finger::Impression imp = finger::MakeImpression(model, seed, options);
        if (imp.quality == finger::QualityGood)
            return imp.features;
    }
}

} // namespace

class tst_fingerprint : public QObject {
    Q_OBJECT

private slots:
    void templateText_roundTrip_data();
    void templateText_roundTrip();
    void templateText_malformed_data();
    void templateText_malformed();

    void identify_genuineAndImpostors();
    void identify_hardPoses_data();
    void identify_hardPoses();
    void identify_noMatch_data();
    void identify_noMatch();
    void identify_severalTemplatesPerId();
    void identify_indexAgreesWithExhaustiveSearch();
    void identify_reportsBestScoreAndHonoursThreshold();

    void verify_atOneToOneThreshold();
    void verify_learning();

    void enrolment_flow_data();
    void enrolment_flow();
    void enrolment_pressesOfDifferentFingersFail();
    void enrolment_poorPressDoesNotCount();

    void initialise_codes_data();
    void initialise_codes();
    void events_orderAndShutdown();
    void autoIdentify_reportsEachCapture();
    void freeCache_invalidatesHandle();
    void images_bitmapAndDrawing();
    void enrolTemplateTextForFinger_isReproducible();
};

// ---- template text ------------------------------------------------------

void tst_fingerprint::templateText_roundTrip_data()
{
    QTest::addColumn<FingerTemplate>("t");
    QTest::newRow("empty") << FingerTemplate{};
    FingerTemplate corners;
    corners.minutiae = {{0, 0, 0, Minutia::Ending}, {FingerSpace - 1, FingerSpace - 1, 255, Minutia::Bifurcation}};
    QTest::newRow("corners and extreme directions") << corners;
    FingerTemplate full;
    for (int i = 0; i < MaxTemplateMinutiae; ++i)
        full.minutiae.append({(i * 37) % FingerSpace, (i * 91) % FingerSpace, i % 256,
                              i % 3 ? Minutia::Ending : Minutia::Bifurcation});
    QTest::newRow("largest template") << full;
    QTest::newRow("a press") << pressFeatures(driverKey(1), 7);
}

void tst_fingerprint::templateText_roundTrip()
{
    QFETCH(FingerTemplate, t);
    const QString text = EncodeFingerTemplate(t);
    QVERIFY(text.startsWith(u"CGF1:"_s));
    for (QChar c : text)
        QVERIFY(c.unicode() > 32 && c.unicode() < 127);
    bool ok = false;
    QCOMPARE(DecodeFingerTemplate(text, &ok), t);
    QVERIFY(ok);
    // Databases pad fixed-width columns.
    QCOMPARE(DecodeFingerTemplate(u"  "_s + text + u"   "_s), t);
}

void tst_fingerprint::templateText_malformed_data()
{
    QTest::addColumn<QString>("text");
    const QString good = EncodeFingerTemplate(pressFeatures(driverKey(2), 3));
    QString flipped = good;
    flipped[20] = flipped[20] == u'A' ? u'B' : u'A';
    QTest::newRow("not a template") << u"hello"_s;
    QTest::newRow("prefix only") << u"CGF1:"_s;
    QTest::newRow("unknown version") << (u"CGF2:"_s + good.mid(5));
    QTest::newRow("one character changed") << flipped;
    QTest::newRow("truncated") << good.left(good.size() - 8);
    QTest::newRow("not base64") << (good.left(30) + u"!*"_s + good.mid(32));
    QTest::newRow("non-ASCII") << (good.left(30) + u"指纹"_s + good.mid(32));
    QTest::newRow("count larger than data") << textFromBytes(QByteArray("\x05\x00\x00\x00\x00", 5));
    QTest::newRow("coordinate outside the space")
        << textFromBytes(QByteArray("\x01\xff\xe0\x00\x00", 5)); // x = 2047
    QTest::newRow("unknown minutia type") << textFromBytes(QByteArray("\x01\x00\x00\x03\x00", 5));
}

void tst_fingerprint::templateText_malformed()
{
    QFETCH(QString, text);
    bool ok = true;
    QVERIFY(DecodeFingerTemplate(text, &ok).isEmpty());
    QVERIFY(!ok);

    // The engine keeps such a template as one that matches nothing.
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    quint32 cache = engine.CreateCache();
    QVERIFY(!engine.AddTemplateText(cache, 1, text));
    int threshold = 8, processed = 0;
    QCOMPARE(engine.IdentifyTemplateText(cache, EnrolTemplateTextForFinger(driverKey(2), 1), threshold,
                                         processed), -1);
    threshold = 8;
    QCOMPARE(engine.IdentifyTemplateText(cache, text, threshold, processed), -1);
}

// ---- identification -----------------------------------------------------

void tst_fingerprint::identify_genuineAndImpostors()
{
    constexpr int Fingers = 200;
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    quint32 cache = engine.CreateCache();
    for (int i = 0; i < Fingers; ++i)
        QVERIFY(engine.AddTemplateText(cache, i, EnrolTemplateTextForFinger(driverKey(i), 1)));

    int right = 0, wrong = 0, impostorIds = 0;
    for (int i = 0; i < Fingers; ++i) {
        int threshold = 8, processed = 0;
        const int id = engine.IdentifyTemplateText(
            cache, EncodeFingerTemplate(pressFeatures(driverKey(i), 100 + i)), threshold, processed);
        QCOMPARE(processed, Fingers);
        right += id == i;
        wrong += id >= 0 && id != i;

        threshold = 8;
        const QString stranger = u"X%1/formal"_s.arg(i);
        if (engine.IdentifyTemplateText(cache, EncodeFingerTemplate(pressFeatures(stranger, 1)), threshold,
                                        processed) >= 0)
            ++impostorIds;
    }
    QVERIFY2(right >= Fingers - 2, qPrintable(u"identified %1 of %2"_s.arg(right).arg(Fingers)));
    QCOMPARE(wrong, 0);
    QCOMPARE(impostorIds, 0);
}

void tst_fingerprint::identify_hardPoses_data()
{
    QTest::addColumn<double>("enrolRotation");
    QTest::addColumn<double>("pressRotation");
    QTest::addColumn<double>("shiftX");
    QTest::addColumn<double>("shiftY");
    QTest::newRow("+30 degrees") << 0.0 << 30.0 << 0.0 << 0.0;
    QTest::newRow("-30 degrees") << 0.0 << -30.0 << 0.0 << 0.0;
    QTest::newRow("-30 against +30") << -30.0 << 30.0 << 0.0 << 0.0;
    QTest::newRow("shift right") << 0.0 << 0.0 << 75.0 << 0.0;
    QTest::newRow("shift up-left") << 0.0 << 0.0 << -53.0 << -53.0;
    QTest::newRow("turned and shifted") << 25.0 << -28.0 << 0.0 << 72.0;
}

void tst_fingerprint::identify_hardPoses()
{
    QFETCH(double, enrolRotation);
    QFETCH(double, pressRotation);
    QFETCH(double, shiftX);
    QFETCH(double, shiftY);
    constexpr int Fingers = 60;
    finger::IdentificationCache cache;
    for (int i = 0; i < Fingers; ++i) {
        // Enrolled from several presses at the enrolment's pose.
        finger::PressOptions enrol;
        enrol.rotationDeg = enrolRotation;
        enrol.shiftX = enrol.shiftY = 0.0;
        // Presses that do not match each other are pressed again.
        bool ok = false;
        FingerTemplate merged;
        for (quint64 first = 1; !ok && first < 100000; first += 10000) {
            std::vector<FingerTemplate> presses;
            for (quint64 seed = first; presses.size() < FingerprintEngine::MinimumEnrolPresses; seed += 1000)
                presses.push_back(pressFeatures(driverKey(i), seed, enrol));
            merged = finger::MergePresses(presses, 8, &ok);
        }
        QVERIFY(ok);
        cache.add(i, merged);
    }
    int found = 0;
    for (int i = 0; i < Fingers; ++i) {
        finger::PressOptions press;
        press.rotationDeg = pressRotation;
        press.shiftX = shiftX;
        press.shiftY = shiftY;
        const auto result = cache.identify(pressFeatures(driverKey(i), 50 + i, press), 8);
        QVERIFY(result.id == i || result.id == -1);
        found += result.id == i;
    }
    QVERIFY2(found >= Fingers - 2, qPrintable(u"identified %1 of %2"_s.arg(found).arg(Fingers)));
}

void tst_fingerprint::identify_noMatch_data()
{
    QTest::addColumn<int>("enrolled");
    QTest::addColumn<QString>("probe");
    QTest::newRow("empty cache") << 0 << EnrolTemplateTextForFinger(driverKey(1), 9);
    QTest::newRow("unknown finger") << 50 << EnrolTemplateTextForFinger(u"nobody/formal"_s, 9);
    QTest::newRow("empty probe") << 50 << QString();
    QTest::newRow("malformed probe") << 50 << u"CGF1:####"_s;
}

void tst_fingerprint::identify_noMatch()
{
    QFETCH(int, enrolled);
    QFETCH(QString, probe);
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    quint32 cache = engine.CreateCache();
    for (int i = 0; i < enrolled; ++i)
        engine.AddTemplateText(cache, i, EnrolTemplateTextForFinger(driverKey(i), 1));
    int threshold = 8, processed = -1;
    QCOMPARE(engine.IdentifyTemplateText(cache, probe, threshold, processed), -1);
    QVERIFY(threshold < 8);
    QCOMPARE(processed, enrolled);
}

void tst_fingerprint::identify_severalTemplatesPerId()
{
    // Driver 7 stored four fingers, the others one each; a driver without
    // a template (empty text) matches nothing.
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    quint32 cache = engine.CreateCache();
    const QStringList fingers = {u"thumb"_s, u"index"_s, u"middle"_s, u"ring"_s};
    for (int i = 0; i < 80; ++i) {
        if (i == 7) {
            for (const QString &f : fingers)
                QVERIFY(engine.AddTemplateText(cache, 7, EnrolTemplateTextForFinger(driverKey(7, f), 1)));
        } else {
            engine.AddTemplateText(cache, i, i == 8 ? QString() : EnrolTemplateTextForFinger(driverKey(i), 1));
        }
    }
    for (const QString &f : fingers) {
        for (quint64 seed : {11u, 12u}) {
            int threshold = 8, processed = 0;
            QCOMPARE(engine.IdentifyTemplateText(cache, EncodeFingerTemplate(pressFeatures(driverKey(7, f), seed)),
                                                 threshold, processed),
                     7);
            QCOMPARE(processed, 83);
        }
    }
}

void tst_fingerprint::identify_indexAgreesWithExhaustiveSearch()
{
    // The index only shortlists; with ForceSecondMatch every template is
    // matched. Genuine presses must come out the same both ways.
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    quint32 cache = engine.CreateCache();
    constexpr int Templates = 400;
    for (int i = 0; i < Templates; ++i)
        engine.AddTemplateText(cache, i, EnrolTemplateTextForFinger(driverKey(i), 1));
    QVERIFY(Templates > finger::IdentificationCache::Shortlist);
    int agree = 0;
    for (int i = 0; i < 30; ++i) {
        const QString probe = EncodeFingerTemplate(pressFeatures(driverKey(i * 13), 77));
        int t1 = 8, t2 = 8, processed = 0;
        engine.SetForceSecondMatch(false);
        const int viaIndex = engine.IdentifyTemplateText(cache, probe, t1, processed);
        engine.SetForceSecondMatch(true);
        const int exhaustive = engine.IdentifyTemplateText(cache, probe, t2, processed);
        QCOMPARE(exhaustive, i * 13);
        agree += viaIndex == exhaustive;
    }
    QVERIFY2(agree >= 29, qPrintable(u"index found %1 of 30"_s.arg(agree)));
}

void tst_fingerprint::identify_reportsBestScoreAndHonoursThreshold()
{
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    quint32 cache = engine.CreateCache();
    engine.AddTemplateText(cache, 4, EnrolTemplateTextForFinger(driverKey(4), 1));
    const QString probe = EncodeFingerTemplate(pressFeatures(driverKey(4), 5));

    int threshold = 8, processed = 0;
    QCOMPARE(engine.IdentifyTemplateText(cache, probe, threshold, processed), 4);
    const int best = threshold;
    QVERIFY(best >= 8);
    QCOMPARE(best, engine.MatchScore(DecodeFingerTemplate(probe),
                                     DecodeFingerTemplate(EnrolTemplateTextForFinger(driverKey(4), 1))));

    threshold = best; // exactly at the threshold still matches
    QCOMPARE(engine.IdentifyTemplateText(cache, probe, threshold, processed), 4);
    threshold = best + 1;
    QCOMPARE(engine.IdentifyTemplateText(cache, probe, threshold, processed), -1);
    QCOMPARE(threshold, best);

    // 0 means the engine's Threshold setting.
    engine.SetThreshold(best + 1);
    threshold = 0;
    QCOMPARE(engine.IdentifyTemplateText(cache, probe, threshold, processed), -1);
}

// ---- 1:1 ----------------------------------------------------------------

void tst_fingerprint::verify_atOneToOneThreshold()
{
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    engine.SetOneToOneThreshold(10);
    int genuine = 0, impostor = 0;
    constexpr int Fingers = 60;
    for (int i = 0; i < Fingers; ++i) {
        FingerTemplate registered = DecodeFingerTemplate(EnrolTemplateTextForFinger(driverKey(i), 1));
        bool changed = true;
        // The enrolment screen passes the capture through its text form first.
        const FingerTemplate captured =
            engine.DecodeTemplateText(engine.EncodeTemplateText(pressFeatures(driverKey(i), 300 + i)));
        genuine += engine.VerifyTemplate(registered, captured, false, changed);
        QVERIFY(!changed);
        impostor += engine.VerifyTemplate(registered, pressFeatures(driverKey(i + 1000), 1), false, changed);
    }
    // About one genuine press in a hundred scores below 10 (PERFORMANCE.md).
    QVERIFY2(genuine >= Fingers - 2, qPrintable(u"%1 of %2 genuine passed"_s.arg(genuine).arg(Fingers)));
    QCOMPARE(impostor, 0);

    FingerTemplate empty;
    bool changed = false;
    QVERIFY(!engine.VerifyTemplate(empty, pressFeatures(driverKey(1), 1), false, changed));
}

void tst_fingerprint::verify_learning()
{
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    const FingerTemplate original = DecodeFingerTemplate(EnrolTemplateTextForFinger(driverKey(3), 1));
    FingerTemplate registered = original;
    bool changed = false;
    QVERIFY(engine.VerifyTemplate(registered, pressFeatures(driverKey(3), 40), false, changed));
    QVERIFY(!changed);
    QCOMPARE(registered, original);

    QVERIFY(engine.VerifyTemplate(registered, pressFeatures(driverKey(3), 40), true, changed));
    QVERIFY(changed);
    QCOMPARE(registered.minutiae.size(), original.minutiae.size());
    QVERIFY(engine.MatchScore(registered, original) >= 10);

    // A finger that does not match teaches nothing.
    FingerTemplate other = original;
    QVERIFY(!engine.VerifyTemplate(other, pressFeatures(driverKey(4), 1), true, changed));
    QVERIFY(!changed);
    QCOMPARE(other, original);
}

// ---- enrolment ----------------------------------------------------------

void tst_fingerprint::enrolment_flow_data()
{
    QTest::addColumn<int>("enrollCount");
    QTest::addColumn<int>("count");
    // One press is too little to tell a driver among thousands.
    QTest::newRow("EnrollCount 1 takes the minimum") << 1 << int(FingerprintEngine::MinimumEnrolPresses);
    QTest::newRow("EnrollCount 3 takes the minimum") << 3 << int(FingerprintEngine::MinimumEnrolPresses);
    QTest::newRow("six presses") << 6 << 6;
}

void tst_fingerprint::enrolment_flow()
{
    QFETCH(int, enrollCount);
    QFETCH(int, count);
    SimulatedFingerReader reader(42);
    SimulatedFingerprintEngine engine(&reader);
    engine.SetEnrollCount(enrollCount);
    QCOMPARE(engine.EnrolPresses(), count);
    QCOMPARE(engine.Initialise(), 0);
    QSignalSpy done(&engine, &FingerprintEngine::EnrolmentDone);
    QSignalSpy captured(&engine, &FingerprintEngine::Captured);

    QVERIFY(!engine.IsEnrolling());
    QCOMPARE(engine.EnrolPressesLeft(), 0);
    engine.BeginEnrolment();
    QVERIFY(engine.IsEnrolling());
    QCOMPARE(engine.EnrolPressesLeft(), count);
    for (int left = count - 1; left >= 0; --left) {
        reader.press(driverKey(21));
        QCOMPARE(engine.EnrolPressesLeft(), left);
    }
    QVERIFY(!engine.IsEnrolling());
    QCOMPARE(captured.count(), 0);
    QCOMPARE(done.count(), 1);
    QCOMPARE(done[0][0].toBool(), true);
    const QString text = done[0][1].toString();
    QVERIFY(!DecodeFingerTemplate(text).isEmpty());

    // Back in capture mode: later presses are captured and identified.
    quint32 cache = engine.CreateCache();
    engine.AddTemplateText(cache, 21, text);
    for (int i = 0; i < 21; ++i)
        engine.AddTemplateText(cache, i, EnrolTemplateTextForFinger(driverKey(i), 1));
    int found = 0;
    for (int k = 0; k < 5; ++k) {
        reader.press(driverKey(21));
        int threshold = 8, processed = 0;
        const int id = engine.IdentifyTemplateText(cache, engine.CapturedTemplateText(), threshold, processed);
        QVERIFY(id == 21 || id == -1);
        found += id == 21;
    }
    QCOMPARE(captured.count(), 5);
    QVERIFY2(found >= 4, qPrintable(u"identified %1 of 5"_s.arg(found)));

    // Cancelling leaves capture mode.
    engine.BeginEnrolment();
    engine.CancelEnrolment();
    QVERIFY(!engine.IsEnrolling());
    QCOMPARE(engine.EnrolPressesLeft(), 0);
    reader.press(driverKey(21));
    QCOMPARE(captured.count(), 6);
    QCOMPARE(done.count(), 1);
}

void tst_fingerprint::enrolment_pressesOfDifferentFingersFail()
{
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    QCOMPARE(engine.Initialise(), 0);
    QSignalSpy done(&engine, &FingerprintEngine::EnrolmentDone);
    engine.BeginEnrolment();
    for (int k = 1; k < engine.EnrolPresses(); ++k)
        reader.press(driverKey(1));
    QCOMPARE(done.count(), 0);
    reader.press(driverKey(2));
    QCOMPARE(done.count(), 1);
    QCOMPARE(done[0][0].toBool(), false);
    QVERIFY(done[0][1].toString().isEmpty());
    QVERIFY(!engine.IsEnrolling());
}

void tst_fingerprint::enrolment_poorPressDoesNotCount()
{
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    QCOMPARE(engine.Initialise(), 0);
    QSignalSpy quality(&engine, &FingerprintEngine::FeatureQuality);
    engine.BeginEnrolment();
    const int presses = engine.EnrolPresses();
    finger::PressOptions smudge;
    smudge.poor = true;
    reader.press(driverKey(5), smudge);
    QCOMPARE(quality.count(), 1);
    QVERIFY(quality[0][0].toInt() != 0);
    QCOMPARE(engine.EnrolPressesLeft(), presses);
    reader.press(driverKey(5));
    QCOMPARE(quality.last()[0].toInt(), 0);
    QCOMPARE(engine.EnrolPressesLeft(), presses - 1);
}

// ---- reader and engine life ----------------------------------------------

void tst_fingerprint::initialise_codes_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("sensorIndex");
    QTest::addColumn<bool>("withReader");
    QTest::addColumn<int>("expected");
    QTest::newRow("connected") << int(SimulatedFingerReader::State::Connected) << 0 << true << 0;
    QTest::newRow("driver fails") << int(SimulatedFingerReader::State::DriverFails) << 0 << true << 1;
    QTest::newRow("unplugged") << int(SimulatedFingerReader::State::Disconnected) << 0 << true << 2;
    QTest::newRow("no such sensor") << int(SimulatedFingerReader::State::Connected) << 1 << true << 2;
    QTest::newRow("no reader at all") << int(SimulatedFingerReader::State::Connected) << 0 << false << 2;
}

void tst_fingerprint::initialise_codes()
{
    QFETCH(int, state);
    QFETCH(int, sensorIndex);
    QFETCH(bool, withReader);
    QFETCH(int, expected);
    SimulatedFingerReader reader;
    reader.setState(SimulatedFingerReader::State(state));
    SimulatedFingerprintEngine engine(withReader ? &reader : nullptr);
    engine.SetSensorIndex(sensorIndex);
    QCOMPARE(engine.Initialise(), expected);
    QCOMPARE(engine.Initialise(), expected); // the stations retry once

    // Only a started engine hears presses.
    QSignalSpy image(&engine, &FingerprintEngine::ImageReceived);
    reader.setState(SimulatedFingerReader::State::Connected);
    reader.press(driverKey(1));
    QCOMPARE(image.count(), expected == 0 ? 1 : 0);
}

void tst_fingerprint::events_orderAndShutdown()
{
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    QStringList events;
    QString capturedText;
    connect(&engine, &FingerprintEngine::ImageReceived, this, [&] { events << u"image"_s; });
    connect(&engine, &FingerprintEngine::FeatureQuality, this,
            [&](int code) { events << u"quality %1"_s.arg(code); });
    connect(&engine, &FingerprintEngine::Captured, this, [&](const QString &text) {
        events << u"captured"_s;
        capturedText = text;
    });
    QCOMPARE(engine.Initialise(), 0);
    // The stations' start-up: begin and cancel an enrolment to capture.
    engine.BeginEnrolment();
    if (engine.IsEnrolling())
        engine.CancelEnrolment();

    QVERIFY(engine.CapturedTemplateText().isEmpty());
    reader.press(driverKey(9));
    QCOMPARE(events, (QStringList{u"image"_s, u"quality 0"_s, u"captured"_s}));
    QCOMPARE(engine.CapturedTemplateText(), capturedText);
    QVERIFY(!DecodeFingerTemplate(capturedText).isEmpty());

    events.clear();
    finger::PressOptions smudge;
    smudge.poor = true;
    reader.press(driverKey(9), smudge);
    QCOMPARE(events, (QStringList{u"image"_s, u"quality %1"_s.arg(finger::QualitySmudged)}));
    QCOMPARE(engine.CapturedTemplateText(), capturedText);

    // Two engines on one reader both hear a press; a shut down one does not.
    SimulatedFingerprintEngine second(&reader);
    QSignalSpy secondCaptured(&second, &FingerprintEngine::Captured);
    QCOMPARE(second.Initialise(), 0);
    events.clear();
    reader.press(driverKey(9));
    QCOMPARE(events.size(), 3);
    QCOMPARE(secondCaptured.count(), 1);
    engine.Shutdown();
    events.clear();
    reader.press(driverKey(9));
    QVERIFY(events.isEmpty());
    QCOMPARE(secondCaptured.count(), 2);

    // Restarting after a shutdown works, and the unplugged reader goes quiet.
    QCOMPARE(engine.Initialise(), 0);
    reader.setState(SimulatedFingerReader::State::Disconnected);
    reader.press(driverKey(9));
    QVERIFY(events.isEmpty());
}

void tst_fingerprint::autoIdentify_reportsEachCapture()
{
    SimulatedFingerReader reader(7);
    SimulatedFingerprintEngine engine(&reader);
    QCOMPARE(engine.Initialise(), 0);
    QSignalSpy identified(&engine, &FingerprintEngine::Identified);
    quint32 cache = engine.CreateCache();
    for (int i = 0; i < 30; ++i)
        engine.AddTemplateText(cache, 100 + i, EnrolTemplateTextForFinger(driverKey(i), 1));

    reader.press(driverKey(3));
    QCOMPARE(identified.count(), 0); // off by default

    engine.SetAutoIdentify(true);
    reader.press(driverKey(3));
    reader.pressUnknown();
    QCOMPARE(identified.count(), 2);
    QCOMPARE(identified[0][0].toInt(), 103);
    QVERIFY(identified[0][1].toInt() >= engine.Threshold());
    QCOMPARE(identified[1][0].toInt(), -1);

    engine.FreeCache(cache); // nothing to search: no report, no crash
    reader.press(driverKey(3));
    QCOMPARE(identified.count(), 2);
}

void tst_fingerprint::freeCache_invalidatesHandle()
{
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    quint32 cache = engine.CreateCache();
    QVERIFY(cache != 0);
    const QString text = EnrolTemplateTextForFinger(driverKey(1), 1);
    QVERIFY(engine.AddTemplateText(cache, 1, text));
    const quint32 old = cache;
    engine.FreeCache(cache);
    QCOMPARE(cache, 0u);
    int threshold = 8, processed = 5;
    QCOMPARE(engine.IdentifyTemplateText(old, text, threshold, processed), -1);
    QCOMPARE(processed, 0);
    QVERIFY(!engine.AddTemplateText(old, 2, text));
    engine.FreeCache(cache); // freeing again is harmless
    quint32 stale = old;
    engine.FreeCache(stale);

    // A new cache never reuses a freed handle.
    const quint32 fresh = engine.CreateCache();
    QVERIFY(fresh != old && fresh != 0);
    threshold = 8;
    QCOMPARE(engine.IdentifyTemplateText(fresh, text, threshold, processed), -1);
}

void tst_fingerprint::images_bitmapAndDrawing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"Fingerprint.bmp"_s);
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    QCOMPARE(engine.Initialise(), 0);
    QVERIFY(!engine.SaveImageBitmap(path)); // nothing captured yet
    QVERIFY(!QFile::exists(path));

    reader.press(driverKey(12));
    QVERIFY(engine.SaveImageBitmap(path));
    QImageReader bmp(path);
    QCOMPARE(bmp.format(), QByteArray("bmp"));
    const QImage read = bmp.read();
    QVERIFY(!read.isNull());
    QCOMPARE(read.size(), engine.LastImage().size());
    // The print shows: dark and light ridges, not a blank picture.
    int dark = 0;
    for (int y = 0; y < read.height(); y += 4)
        for (int x = 0; x < read.width(); x += 4)
            dark += qGray(read.pixel(x, y)) < 120;
    QVERIFY(dark > 100);

    QImage canvas(400, 400, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        engine.DrawImage(painter, 200, 200, 100, 150);
    }
    QCOMPARE(canvas.pixel(10, 10), QColor(Qt::white).rgb());
    int drawn = 0;
    for (int y = 200; y < 350; ++y)
        for (int x = 200; x < 300; ++x)
            drawn += canvas.pixel(x, y) != QColor(Qt::white).rgb();
    QVERIFY(drawn > 1000);

    const QString tpl = dir.filePath(u"fingerprint.tpl"_s);
    const FingerTemplate t = engine.DecodeTemplateText(engine.CapturedTemplateText());
    QVERIFY(engine.SaveTemplateFile(tpl, t));
    QFile file(tpl);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(DecodeFingerTemplate(QString::fromLatin1(file.readAll())), t);
    QVERIFY(!engine.SaveImageBitmap(dir.filePath(u"missing/dir/x.bmp"_s)));
}

void tst_fingerprint::enrolTemplateTextForFinger_isReproducible()
{
    const QString a = EnrolTemplateTextForFinger(driverKey(1), 1);
    QCOMPARE(EnrolTemplateTextForFinger(driverKey(1), 1), a);
    QVERIFY(EnrolTemplateTextForFinger(driverKey(1), 2) != a);
    QVERIFY(EnrolTemplateTextForFinger(driverKey(1, u"backup"_s), 1) != a);
    const FingerTemplate t = DecodeFingerTemplate(a);
    QVERIFY(t.minutiae.size() >= finger::MinUsableMinutiae);
    QVERIFY(t.minutiae.size() <= 70);
}

QTEST_MAIN(tst_fingerprint)
#include "tst_fingerprint.moc"
