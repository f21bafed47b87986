// The identification cache's storage and loading: a template kept in its
// compact form matches as the template itself; many texts loaded at once on
// several threads give the very cache that adding them one by one gives,
// across segment boundaries and after single additions; the neighbours a
// prepared template finds; minutiae the cache cannot hold; the engine's
// batch operation. Fixed seeds: every run sees the same prints.

#include "services/fingerprint/fingercache.h"
#include "services/fingerprint/fingermatcher.h"
#include "services/fingerprint/simulatedfinger.h"
#include "services/fingerprint/simulatedfingerprintengine.h"

#include <QTest>

#include <algorithm>
#include <cmath>

using namespace cg;
using namespace Qt::StringLiterals;

namespace {

constexpr int StationThreshold = 8;
constexpr int SegmentTemplates = 4096; // the index's segment (fingercache.cpp)

FingerTemplate press(const QString &key, quint64 seed)
{
    const finger::FingerModel model = finger::MakeFinger(key);
    for (;; ++seed) {
        const finger::Impression imp = finger::MakeImpression(model, seed);
        if (imp.quality == finger::QualityGood)
            return imp.features;
    }
}

QString fingerKey(int driver, bool backup = false)
{
    return u"C%1/%2"_s.arg(driver, 5, 10, QLatin1Char('0')).arg(backup ? u"backup"_s : u"formal"_s);
}

Minutia minutia(int x, int y, int direction, Minutia::Type type)
{
    Minutia m;
    m.x = x;
    m.y = y;
    m.direction = direction;
    m.type = type;
    return m;
}

bool sameResult(const finger::IdentificationCache::Result &a, const finger::IdentificationCache::Result &b)
{
    return a.id == b.id && a.score == b.score && a.processed == b.processed && a.exactScore == b.exactScore
           && a.runnerUp == b.runnerUp && a.level == b.level && a.cohortMean == b.cohortMean
           && a.cohortSd == b.cohortSd;
}

} // namespace

class tst_fingercache : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void compactTemplate_matchesAsTheTemplate_data();
    void compactTemplate_matchesAsTheTemplate();
    void neighbours_nearestByDistanceThenIndex_data();
    void neighbours_nearestByDistanceThenIndex();
    void load_sameAsOneByOne_data();
    void load_sameAsOneByOne();
    void load_decisionsOfTheStation_data();
    void load_decisionsOfTheStation();
    void unusableMinutiae_leftOut();
    void memory_compactPerTemplate();
    void engine_addsTextsInOneBatch();

private:
    // Single-press texts of 4,110 fingers: enough to cross a segment.
    QStringList m_texts;
};

void tst_fingercache::initTestCase()
{
    for (int i = 0; i < SegmentTemplates + 14; ++i)
        m_texts << EncodeFingerTemplate(press(u"L%1/formal"_s.arg(i), 1));
}

void tst_fingercache::compactTemplate_matchesAsTheTemplate_data()
{
    QTest::addColumn<FingerTemplate>("stored");
    QTest::addColumn<FingerTemplate>("probe");
    const FingerTemplate enrolled = EnrolTemplateForFinger(fingerKey(1), 1, StationThreshold);
    QTest::newRow("enrolled template, fresh press") << enrolled << press(fingerKey(1), 900);
    QTest::newRow("enrolled template, itself") << enrolled << enrolled;
    // Every field at the top of its range, and minutiae sharing an x (their
    // order in the template then decides the order of the prepared points).
    FingerTemplate edges;
    for (int k = 0; k < 14; ++k) {
        edges.minutiae << minutia(FingerSpace - 1 - 40 * (k % 7), FingerSpace - 1 - 45 * k, 255 - 18 * k,
                                  k % 3 ? Minutia::Bifurcation : Minutia::Ending);
        edges.minutiae << minutia(40 * (k / 2), 30 * k + 7, 17 * k, k % 2 ? Minutia::Bifurcation : Minutia::Ending);
    }
    QTest::newRow("edges of the space, shared x") << edges << edges;
    FingerTemplate moved = edges;
    for (Minutia &m : moved.minutiae) {
        m.x = std::max(0, m.x - 4);
        m.direction = (m.direction + 3) & 0xff;
    }
    QTest::newRow("edges of the space, moved probe") << edges << moved;
}

void tst_fingercache::compactTemplate_matchesAsTheTemplate()
{
    // A cache of one template runs the full matcher on it: its score must be
    // the matcher's score against the template itself, to the last bit.
    QFETCH(FingerTemplate, stored);
    QFETCH(FingerTemplate, probe);
    finger::IdentificationCache cache;
    cache.add(3, stored);
    const auto r = cache.identify(probe, 1);
    const float expected = finger::ExactMatchScore(finger::Prepare(probe), finger::Prepare(stored));
    QVERIFY(expected > 0);
    QCOMPARE(r.exactScore, expected);
    QCOMPARE(r.id, expected >= finger::IdentificationCache::AcceptLevel(1) ? 3 : -1);
}

void tst_fingercache::neighbours_nearestByDistanceThenIndex_data()
{
    QTest::addColumn<FingerTemplate>("features");
    QTest::newRow("fresh press") << press(fingerKey(2), 5);
    QTest::newRow("enrolled") << EnrolTemplateForFinger(fingerKey(3), 1, StationThreshold);
    // A lattice: most distances come several times, so ties decide.
    FingerTemplate lattice;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            lattice.minutiae << minutia(200 + 30 * x, 180 + 30 * y, 8 * (x + y), Minutia::Type((x + y) % 2));
    QTest::newRow("lattice") << lattice;
    // Points further apart than any neighbour may be, and two on one spot.
    FingerTemplate sparse;
    for (int k = 0; k < 5; ++k)
        sparse.minutiae << minutia(20 + 150 * k, 20 + 140 * k, 10 * k, Minutia::Ending);
    sparse.minutiae << minutia(170, 160, 40, Minutia::Bifurcation);
    QTest::newRow("far apart, one spot twice") << sparse;
}

void tst_fingercache::neighbours_nearestByDistanceThenIndex()
{
    // Each point's neighbours: the six nearest within 200 units (a point on
    // the same spot is none), nearest first and equal distances by index.
    QFETCH(FingerTemplate, features);
    const finger::PreparedTemplate p = finger::Prepare(features);
    const int n = int(p.points.size());
    for (int i = 0; i < n; ++i) {
        std::vector<std::pair<float, int>> all;
        for (int j = 0; j < n; ++j) {
            const float d = std::hypot(p.points[j].x - p.points[i].x, p.points[j].y - p.points[i].y);
            if (j != i && d > 0 && d <= 200)
                all.emplace_back(d, j);
        }
        std::sort(all.begin(), all.end());
        const int k = std::min<int>(finger::NeighbourCount, int(all.size()));
        QCOMPARE(p.neighbourCounts[i], k);
        for (int q = 0; q < k; ++q) {
            QCOMPARE(p.neighbours[i][q].index, all[q].second);
            QCOMPARE(p.neighbours[i][q].distance, all[q].first);
        }
    }
}

void tst_fingercache::load_sameAsOneByOne_data()
{
    QTest::addColumn<int>("before"); // templates added one by one first
    QTest::addColumn<int>("batch");  // then texts loaded at once
    QTest::addColumn<int>("threads");
    QTest::newRow("empty batch") << 0 << 0 << 4;
    QTest::newRow("one text") << 0 << 1 << 4;
    QTest::newRow("fewer texts than threads") << 0 << 3 << 8;
    QTest::newRow("one thread") << 5 << 300 << 1;
    QTest::newRow("over a segment boundary") << 0 << SegmentTemplates + 14 << 3;
    QTest::newRow("single adds, then a batch over the boundary") << SegmentTemplates - 6 << 20 << 2;
}

void tst_fingercache::load_sameAsOneByOne()
{
    QFETCH(int, before);
    QFETCH(int, batch);
    QFETCH(int, threads);
    // Two templates an id; some texts malformed or empty (kept as empty
    // templates that match nothing, as the engine keeps them).
    auto textAt = [this](int k) {
        return k % 37 == 5 ? u"CGF1:AAAA"_s : k % 53 == 7 ? QString() : m_texts[k];
    };
    finger::IdentificationCache oneByOne, loaded;
    std::vector<std::pair<int, QString>> texts;
    int good = 0;
    for (int k = 0; k < before + batch; ++k) {
        bool ok = false;
        const FingerTemplate t = DecodeFingerTemplate(textAt(k), &ok);
        oneByOne.add(k / 2, t);
        if (k < before) {
            loaded.add(k / 2, t);
        } else {
            texts.emplace_back(k / 2, textAt(k));
            good += ok && !t.isEmpty();
        }
    }
    QCOMPARE(loaded.addTexts(texts, threads), good);
    QCOMPARE(loaded.size(), before + batch);
    QVERIFY(loaded == oneByOne);
    for (int k : {0, before + batch / 2, before + batch - 1}) {
        const FingerTemplate probe = press(u"L%1/formal"_s.arg(k), 77);
        QVERIFY(sameResult(loaded.identify(probe, StationThreshold), oneByOne.identify(probe, StationThreshold)));
    }
}

void tst_fingercache::load_decisionsOfTheStation_data()
{
    QTest::addColumn<bool>("batch");
    QTest::newRow("one by one") << false;
    QTest::newRow("in one batch") << true;
}

void tst_fingercache::load_decisionsOfTheStation()
{
    // Enrolled drivers with both fingers under their id, one finger stored
    // for two drivers (a record entered twice), and strangers: the decisions
    // hold however the cache was loaded.
    QFETCH(bool, batch);
    constexpr int Drivers = 120;
    std::vector<std::pair<int, QString>> texts;
    for (int d = 0; d < Drivers; ++d) {
        texts.emplace_back(d, EnrolTemplateTextForFinger(fingerKey(d), 1));
        texts.emplace_back(d, EnrolTemplateTextForFinger(fingerKey(d, true), 1));
    }
    texts.emplace_back(500, EnrolTemplateTextForFinger(fingerKey(9), 2)); // driver 9's finger again
    finger::IdentificationCache cache;
    if (batch) {
        QCOMPARE(cache.addTexts(texts, 2), int(texts.size()));
    } else {
        for (const auto &[id, text] : texts)
            cache.add(id, DecodeFingerTemplate(text));
    }
    QVERIFY(cache.size() > finger::IdentificationCache::Shortlist);
    for (int d : {0, 31, 77, Drivers - 1}) {
        QCOMPARE(cache.identify(press(fingerKey(d), 40), StationThreshold).id, d);
        QCOMPARE(cache.identify(press(fingerKey(d, true), 41), StationThreshold).id, d);
    }
    const auto twice = cache.identify(press(fingerKey(9), 42), StationThreshold);
    QCOMPARE(twice.id, -1);
    QVERIFY(twice.runnerUp > 0);
    for (int s = 0; s < 10; ++s)
        QCOMPARE(cache.identify(press(u"stranger%1/formal"_s.arg(s), 1), StationThreshold).id, -1);
}

void tst_fingercache::unusableMinutiae_leftOut()
{
    // Minutiae outside the coordinate space or of an unknown type cannot be
    // packed or indexed: they are left out, the rest of the template stays,
    // and the other drivers are not disturbed.
    finger::IdentificationCache cache, clean;
    for (int d = 0; d < 110; ++d) {
        const FingerTemplate t = DecodeFingerTemplate(m_texts[d]);
        cache.add(d, t);
        clean.add(d, t);
    }
    FingerTemplate bad = press(fingerKey(4000), 3);
    const FingerTemplate good = bad;
    bad.minutiae.insert(2, minutia(-7, 100, 10, Minutia::Ending));
    bad.minutiae.insert(5, minutia(200, FingerSpace, 10, Minutia::Ending));
    bad.minutiae.insert(9, minutia(5000, 7000, 300, Minutia::Bifurcation));
    bad.minutiae.append(minutia(300, 300, 20, Minutia::Type(7)));
    cache.add(110, bad);
    clean.add(110, good);
    QVERIFY(cache == clean);
    QCOMPARE(cache.identify(press(fingerKey(4000), 60), StationThreshold).id, 110);
    // The same kind of probe is matched on its usable minutiae.
    FingerTemplate probe = press(u"L17/formal"_s, 60);
    const auto expected = cache.identify(probe, StationThreshold);
    QCOMPARE(expected.id, 17);
    probe.minutiae.append(minutia(-1, -1, 0, Minutia::Type(2)));
    QVERIFY(sameResult(cache.identify(probe, StationThreshold), expected));
}

void tst_fingercache::memory_compactPerTemplate()
{
    // Enrolled templates with their index entries take well under 2 KiB each
    // (they took 9 KiB while the cache kept them prepared).
    finger::IdentificationCache cache;
    std::vector<std::pair<int, QString>> texts;
    for (int i = 0; i < 1000; ++i)
        texts.emplace_back(i, m_texts[i]);
    cache.addTexts(texts);
    const double perTemplate = double(cache.memoryBytes()) / cache.size();
    QVERIFY2(perTemplate <= 2048, qPrintable(u"%1 bytes a template"_s.arg(perTemplate)));
}

void tst_fingercache::engine_addsTextsInOneBatch()
{
    SimulatedFingerReader reader;
    SimulatedFingerprintEngine engine(&reader);
    QList<std::pair<int, QString>> texts;
    for (int d = 0; d < 100; ++d)
        texts.append({d, m_texts[d]});
    texts.append({100, u"not a template"_s});
    quint32 unknown = 777;
    QCOMPARE(engine.AddTemplateTexts(unknown, texts), 0);
    const quint32 cache = engine.CreateCache();
    QCOMPARE(engine.AddTemplateTexts(cache, texts), 100);
    int threshold = StationThreshold, processed = 0;
    QCOMPARE(engine.IdentifyTemplateText(cache, EncodeFingerTemplate(press(u"L42/formal"_s, 50)), threshold,
                                         processed),
             42);
    QCOMPARE(processed, 101);
    // A template added later joins the same search.
    QVERIFY(engine.AddTemplateText(cache, 300, EnrolTemplateTextForFinger(fingerKey(300), 1)));
    threshold = StationThreshold;
    QCOMPARE(engine.IdentifyTemplateText(cache, EncodeFingerTemplate(press(fingerKey(300), 50)), threshold,
                                         processed),
             300);
    QCOMPARE(processed, 102);
}

QTEST_MAIN(tst_fingercache)
#include "tst_fingercache.moc"
