// Identification in the open set: a station's cache of drivers, fresh
// presses of their fingers and presses of fingers nobody enrolled; the lead
// the best driver needs over the others; enrolment from several presses;
// templates enrolled from a single press by earlier versions. Fixed seeds:
// every run sees the same prints and gives the same counts.

#include "services/fingerprint/fingercache.h"
#include "services/fingerprint/fingermatcher.h"
#include "services/fingerprint/simulatedfinger.h"
#include "services/fingerprint/simulatedfingerprintengine.h"

#include <QTest>

#include <memory>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

constexpr int Drivers = 1000; // x 2 fingers
constexpr int GenuineProbes = 300;
constexpr int Strangers = 500;
constexpr int StationThreshold = 8;
constexpr quint64 FreshSeeds = 1ULL << 36; // no enrolment uses these

QString fingerKey(int driver, bool backup)
{
    return u"S%1/%2"_s.arg(driver, 5, 10, QLatin1Char('0')).arg(backup ? u"backup"_s : u"formal"_s);
}

FingerTemplate freshPress(const QString &key, quint64 k)
{
    const finger::FingerModel model = finger::MakeFinger(key);
    for (quint64 seed = FreshSeeds + k * 7919;; ++seed) {
        const finger::Impression imp = finger::MakeImpression(model, seed);
        if (imp.quality == finger::QualityGood)
            return imp.features;
    }
}

// What enrolment stored before it merged presses: one acceptable press.
QString singlePressText(const QString &key)
{
    const finger::FingerModel model = finger::MakeFinger(key);
    for (quint64 seed = 1;; seed += 0x10000) {
        const finger::Impression imp = finger::MakeImpression(model, seed);
        if (imp.quality == finger::QualityGood)
            return EncodeFingerTemplate(imp.features);
    }
}

} // namespace

class tst_fingeropenset : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void stationSample_strangersGetNobody();
    void sameFingerUnderTwoIds_givesNeither();
    void bothFingersOfOneDriver_doNotCompete();
    void enrolment_mergedPressesMatchBetter();
    void singlePressTemplate_stillIdentifies();
    void engine_identifiesAcrossItsTextInterface();

private:
    std::unique_ptr<finger::IdentificationCache> m_cache;
};

void tst_fingeropenset::initTestCase()
{
    m_cache = std::make_unique<finger::IdentificationCache>();
    for (int d = 0; d < Drivers; ++d) {
        m_cache->add(d, EnrolTemplateForFinger(fingerKey(d, false), 1, StationThreshold));
        m_cache->add(d, EnrolTemplateForFinger(fingerKey(d, true), 1, StationThreshold));
    }
    QCOMPARE(m_cache->size(), 2 * Drivers);
}

void tst_fingeropenset::stationSample_strangersGetNobody()
{
    int right = 0, wrong = 0;
    for (int i = 0; i < GenuineProbes; ++i) {
        const int d = (i * 331 + 17) % Drivers;
        const auto r = m_cache->identify(freshPress(fingerKey(d, i % 2), quint64(i)), StationThreshold);
        right += r.id == d;
        wrong += r.id >= 0 && r.id != d;
        QCOMPARE(r.processed, 2 * Drivers);
    }
    int strangerIds = 0;
    float strongestStranger = 0;
    for (int i = 0; i < Strangers; ++i) {
        const auto r = m_cache->identify(freshPress(u"nobody%1/formal"_s.arg(i), 0), StationThreshold);
        strangerIds += r.id >= 0;
        strongestStranger = std::max(strongestStranger, r.exactScore);
    }
    QVERIFY2(right >= GenuineProbes * 98 / 100, qPrintable(u"identified %1 of %2"_s.arg(right).arg(GenuineProbes)));
    QCOMPARE(wrong, 0);
    QCOMPARE(strangerIds, 0);
    // Strangers do reach the station's threshold of 8 now and then: only
    // the open-set level and the lead keep them out.
    QVERIFY(strongestStranger >= StationThreshold);
}

void tst_fingeropenset::sameFingerUnderTwoIds_givesNeither()
{
    // One driver's finger stored for a second driver as well (a record
    // entered twice): a press of it matches both equally well, so it must
    // identify neither of them, however well it matches.
    finger::IdentificationCache cache;
    for (int d = 0; d < 60; ++d)
        cache.add(d, EnrolTemplateForFinger(fingerKey(d, false), 1, StationThreshold));
    cache.add(99, EnrolTemplateForFinger(fingerKey(7, false), 1, StationThreshold));
    for (quint64 k = 0; k < 5; ++k) {
        const auto r = cache.identify(freshPress(fingerKey(7, false), k), StationThreshold);
        QCOMPARE(r.id, -1);
        QVERIFY(r.exactScore >= r.level);
        QCOMPARE(r.runnerUp, r.exactScore);
    }
    // Driver 8 is unaffected.
    QCOMPARE(cache.identify(freshPress(fingerKey(8, false), 0), StationThreshold).id, 8);
}

void tst_fingeropenset::bothFingersOfOneDriver_doNotCompete()
{
    // Two enrolments of the same finger under one id (re-enrolled as the
    // backup finger) are one candidate: no lead over himself is needed.
    finger::IdentificationCache cache;
    for (int d = 0; d < 60; ++d)
        cache.add(d, EnrolTemplateForFinger(fingerKey(d, false), 1, StationThreshold));
    cache.add(7, EnrolTemplateForFinger(fingerKey(7, false), 2, StationThreshold));
    for (quint64 k = 0; k < 5; ++k)
        QCOMPARE(cache.identify(freshPress(fingerKey(7, false), k), StationThreshold).id, 7);
}

void tst_fingeropenset::enrolment_mergedPressesMatchBetter()
{
    // Fresh presses score higher against a template merged from several
    // presses than against one press, and the merged template keeps few of
    // the presses' spurious minutiae.
    constexpr int Fingers = 30, Presses = 4;
    long long singleSum = 0, mergedSum = 0;
    int singleLow = 0, mergedLow = 0;
    for (int f = 0; f < Fingers; ++f) {
        const QString key = fingerKey(5000 + f, false);
        const finger::PreparedTemplate single = finger::Prepare(DecodeFingerTemplate(singlePressText(key)));
        const FingerTemplate mergedTemplate = EnrolTemplateForFinger(key, 1, StationThreshold);
        const finger::PreparedTemplate merged = finger::Prepare(mergedTemplate);
        QVERIFY(mergedTemplate.minutiae.size() <= finger::MakeFinger(key).master.minutiae.size() + 4);
        for (int k = 0; k < Presses; ++k) {
            const finger::PreparedTemplate probe = finger::Prepare(freshPress(key, quint64(100 + k)));
            const int s = finger::MatchScore(probe, single), m = finger::MatchScore(probe, merged);
            singleSum += s;
            mergedSum += m;
            singleLow += s < 10;
            mergedLow += m < 10;
        }
    }
    QVERIFY2(mergedSum > singleSum * 11 / 10, qPrintable(u"%1 against %2"_s.arg(mergedSum).arg(singleSum)));
    QVERIFY2(mergedLow <= singleLow, qPrintable(u"%1 against %2"_s.arg(mergedLow).arg(singleLow)));
    QCOMPARE(mergedLow, 0);

    // Presses of different fingers do not merge.
    bool ok = true;
    const std::vector<FingerTemplate> mixed{freshPress(fingerKey(1, false), 1), freshPress(fingerKey(1, false), 2),
                                            freshPress(fingerKey(2, false), 3)};
    QVERIFY(finger::MergePresses(mixed, StationThreshold, &ok).isEmpty());
    QVERIFY(!ok);
}

void tst_fingeropenset::singlePressTemplate_stillIdentifies()
{
    // A driver enrolled from one press (the text stored before enrolment
    // merged presses) is still found among the station's drivers, and
    // strangers still get nobody.
    finger::IdentificationCache cache = *m_cache;
    const QString key = u"old/formal"_s;
    bool ok = false;
    const FingerTemplate old = DecodeFingerTemplate(singlePressText(key), &ok);
    QVERIFY(ok);
    cache.add(Drivers, old);
    int found = 0;
    for (quint64 k = 0; k < 10; ++k) {
        const auto r = cache.identify(freshPress(key, k), StationThreshold);
        QVERIFY(r.id == Drivers || r.id == -1);
        found += r.id == Drivers;
    }
    QVERIFY2(found >= 8, qPrintable(u"identified %1 of 10"_s.arg(found)));
    for (int i = 0; i < 50; ++i)
        QCOMPARE(cache.identify(freshPress(u"nobody%1/backup"_s.arg(i), 0), StationThreshold).id, -1);
}

void tst_fingeropenset::engine_identifiesAcrossItsTextInterface()
{
    // The same decision through the engine's text operations, as the
    // stations call them: the processed count, the best score handed back
    // in threshold, and a stranger's -1.
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    quint32 cache = engine.CreateCache();
    for (int d = 0; d < 200; ++d) {
        QVERIFY(engine.AddTemplateText(cache, d, EnrolTemplateTextForFinger(fingerKey(d, false), 1)));
        QVERIFY(engine.AddTemplateText(cache, d, EnrolTemplateTextForFinger(fingerKey(d, true), 1)));
    }
    int threshold = StationThreshold, processed = 0;
    QCOMPARE(engine.IdentifyTemplateText(cache, EncodeFingerTemplate(freshPress(fingerKey(42, true), 3)), threshold,
                                         processed),
             42);
    QCOMPARE(processed, 400);
    QVERIFY(threshold >= finger::IdentificationCache::AcceptLevel(400));
    for (int i = 0; i < 20; ++i) {
        threshold = StationThreshold;
        QCOMPARE(engine.IdentifyTemplateText(cache, EncodeFingerTemplate(freshPress(u"walk-in%1/formal"_s.arg(i), 0)),
                                             threshold, processed),
                 -1);
    }
}

QTEST_MAIN(tst_fingeropenset)
#include "tst_fingeropenset.moc"
