// Error rates and identification time of the fingerprint engine over
// simulated presses. Fixed seeds: every run measures the same presses.
//
//   fingerprint_bench [fingers=1000] [probesPerFinger=10] [cacheSize=20000] [timedProbes=50]

#include "services/fingerprint/fingercache.h"
#include "services/fingerprint/fingermatcher.h"
#include "services/fingerprint/simulatedfinger.h"
#include "services/fingerprint/simulatedfingerprintengine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace cg;
using namespace cg::finger;

namespace {

constexpr int Threshold = 8;
constexpr int OneToOneThreshold = 10;
constexpr int MaxScore = 40;

QString fingerKey(const char *prefix, int i)
{
    return QStringLiteral("%1%2/formal").arg(QLatin1StringView(prefix)).arg(i, 5, 10, QLatin1Char('0'));
}

FingerTemplate enrolled(const QString &key)
{
    return DecodeFingerTemplate(EnrolTemplateTextForFinger(key, 1));
}

// The k-th acceptable press of a finger (poor presses are counted and skipped,
// as the engine rejects them before matching).
FingerTemplate goodPress(const FingerModel &finger, int k, int &poor)
{
    for (quint64 seed = 1000 + quint64(k) * 7919;; ++seed) {
        const Impression imp = MakeImpression(finger, seed);
        if (imp.quality == QualityGood)
            return imp.features;
        ++poor;
    }
}

void histogram(const char *title, const std::vector<int> &scores)
{
    std::vector<int> bins(MaxScore + 1, 0);
    for (int s : scores)
        ++bins[std::min(s, MaxScore)];
    std::printf("%s (%zu comparisons)\n  score  count\n", title, scores.size());
    for (int s = 0; s <= MaxScore; ++s) {
        if (bins[s])
            std::printf("  %s%3d  %6d\n", s == MaxScore ? ">=" : "  ", s, bins[s]);
    }
}

// CPU time of this thread: the machine may be shared, wall time then
// overstates what one identification costs.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

int countAtLeast(const std::vector<int> &scores, int t)
{
    return int(std::count_if(scores.begin(), scores.end(), [t](int s) { return s >= t; }));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto arg = [&](int i, int def) { return args.size() > i ? args[i].toInt() : def; };
    const int fingers = arg(1, 1000);
    const int probes = arg(2, 10);
    const int cacheSize = arg(3, 20000);
    const int timedProbes = arg(4, 50);

    std::printf("fingerprint_bench: %d fingers x %d presses, cache %d, %d timed probes\n\n",
                fingers, probes, cacheSize, timedProbes);

    int poor = 0;
    if (fingers > 0) {
    // Enrolled templates and their presses.
    std::vector<FingerModel> models;
    std::vector<PreparedTemplate> references;
    std::vector<std::vector<PreparedTemplate>> presses(fingers);
    for (int i = 0; i < fingers; ++i) {
        models.push_back(MakeFinger(fingerKey("F", i)));
        references.push_back(Prepare(enrolled(models.back().key)));
        for (int k = 0; k < probes; ++k)
            presses[i].push_back(Prepare(goodPress(models.back(), k, poor)));
    }
    std::printf("presses rejected for quality before matching: %d of %d (%.2f %%)\n\n", poor,
                poor + fingers * probes, 100.0 * poor / (poor + fingers * probes));

    // 1:1 genuine: every press against its own finger's template.
    std::vector<int> genuine, impostor;
    QElapsedTimer pairTimer;
    pairTimer.start();
    for (int i = 0; i < fingers; ++i)
        for (int k = 0; k < probes; ++k)
            genuine.push_back(MatchScore(presses[i][k], references[i]));
    const double genuineNs = double(pairTimer.nsecsElapsed()) / double(genuine.size());
    // 1:1 impostor: every press against the template of another finger.
    for (int i = 0; i < fingers; ++i)
        for (int k = 0; k < probes; ++k) {
            const int other = (i + 1 + k * 97) % fingers;
            impostor.push_back(MatchScore(presses[i][k], references[other == i ? (i + 1) % fingers : other]));
        }

    const int gen = int(genuine.size()), imp = int(impostor.size());
    for (int t : {Threshold, OneToOneThreshold}) {
        const int rejects = gen - countAtLeast(genuine, t);
        const int accepts = countAtLeast(impostor, t);
        std::printf("threshold %2d: FRR %.3f %% (%d of %d genuine)   FAR %.3f %% (%d of %d impostor)\n", t,
                    100.0 * rejects / gen, rejects, gen, 100.0 * accepts / imp, accepts, imp);
    }
    std::printf("full 1:1 match: %.1f us per comparison\n\n", genuineNs / 1000.0);
    histogram("genuine scores", genuine);
    histogram("impostor scores", impostor);

    // 1:N over the enrolled fingers: each finger's first press, and as many
    // presses of fingers nobody enrolled.
    {
        IdentificationCache cache;
        for (int i = 0; i < fingers; ++i)
            cache.add(i, enrolled(models[i].key));
        int right = 0, wrong = 0, missed = 0, falseIds = 0;
        int poorUnknown = 0;
        for (int i = 0; i < fingers; ++i) {
            const auto r = cache.identify(goodPress(models[i], 0, poor), Threshold);
            if (r.id == i)
                ++right;
            else if (r.id >= 0)
                ++wrong;
            else
                ++missed;
            const FingerModel unknown = MakeFinger(fingerKey("U", i));
            if (cache.identify(goodPress(unknown, 0, poorUnknown), Threshold).id >= 0)
                ++falseIds;
        }
        std::printf("\n1:N over %d templates (threshold %d): genuine identified %d, wrong id %d, "
                    "not found %d; unknown fingers given an id %d of %d\n",
                    fingers, Threshold, right, wrong, missed, falseIds, fingers);
    }

    }

    // Time of one identification in a large cache.
    {
        QElapsedTimer build;
        build.start();
        IdentificationCache cache;
        std::vector<FingerModel> big;
        for (int i = 0; i < cacheSize; ++i) {
            const QString key = fingerKey("N", i);
            cache.add(i, enrolled(key));
            if (i < timedProbes)
                big.push_back(MakeFinger(key));
        }
        std::printf("\ncache of %d templates built in %.1f s\n", cacheSize, build.nsecsElapsed() / 1e9);
        std::vector<double> ms, cpu;
        int found = 0;
        for (int i = 0; i < timedProbes && i < int(big.size()); ++i) {
            const FingerTemplate probe = goodPress(big[i], 3, poor);
            QElapsedTimer t;
            t.start();
            const double c0 = threadCpuMs();
            const auto r = cache.identify(probe, Threshold);
            cpu.push_back(threadCpuMs() - c0);
            ms.push_back(t.nsecsElapsed() / 1e6);
            if (r.id == i)
                ++found;
        }
        std::sort(ms.begin(), ms.end());
        std::sort(cpu.begin(), cpu.end());
        if (!ms.empty())
            std::printf("1:N identification over %d templates, %zu probes, one thread:\n"
                        "  wall time median %.1f ms, worst %.1f ms\n"
                        "  CPU time  median %.1f ms, worst %.1f ms\n"
                        "  identified %d of %zu\n",
                        cacheSize, ms.size(), ms[ms.size() / 2], ms.back(), cpu[cpu.size() / 2], cpu.back(),
                        found, ms.size());
    }
    return 0;
}
