// Error rates and identification time of the fingerprint engine over
// simulated presses. Fixed seeds: every run measures the same presses, so
// the counts repeat exactly; only the times vary.
//
//   fingerprint_bench [drivers=10000] [genuine=1000] [strangers=2000] [fingers1to1=1000] [dump] [enrolled]
//
// 1. 1:1: fingers1to1 enrolled fingers, 10 fresh presses each against their
//    own template (genuine) and each press against 10 other fingers'
//    templates (impostor): FRR and FAR per threshold.
// 2. 1:N: a cache of `drivers` drivers x 2 fingers (formal and backup), each
//    enrolled as the engine enrols (EnrolTemplateForFinger). At 1,000, 5,000
//    and `drivers` drivers: `genuine` fresh presses of enrolled fingers and
//    `strangers` presses of fingers nobody enrolled, identified as the check-in
//    station does (IdentificationCache::identify, threshold 8), with the CPU
//    time of each identification on this thread.
// 3. Loading: at each size the cache is loaded from the template texts on
//    every core and on one thread (wall time, and the CPU time of all the
//    threads of the parallel load; both must give the same index), and the bytes it holds per template are counted (with the
//    growth of the resident set while loading, for comparison).
// With a fifth argument every 1:N probe is written to that file (checkpoint,
// kind, right/wrong/none, best score, runner-up), for studying the decision;
// "-" writes none. The sixth names a file of the drivers' enrolled template
// texts: read when it holds every driver's two fingers, else enrolled (on
// every core, as the enrolment is the same whoever computes it) and written
// there, so that repeated runs skip the enrolment.

#include "services/fingerprint/fingercache.h"
#include "services/fingerprint/fingermatcher.h"
#include "services/fingerprint/simulatedfinger.h"
#include "services/fingerprint/simulatedfingerprintengine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <ctime>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace cg;
using namespace cg::finger;
using namespace Qt::StringLiterals;

namespace {

constexpr int StationThreshold = 8;
constexpr int MaxScore = 40;

QString fingerKey(const char *prefix, int i, const char *which = "formal")
{
    return u"%1%2/%3"_s
        .arg(QLatin1StringView(prefix))
        .arg(i, 5, 10, QLatin1Char('0'))
        .arg(QLatin1StringView(which));
}

FingerTemplate enrolled(const QString &key)
{
    return EnrolTemplateForFinger(key, 1, StationThreshold);
}

// An acceptable fresh press of a finger, from seeds no enrolment uses (poor
// presses are counted and skipped, as the engine drops them before matching).
FingerTemplate freshPress(const FingerModel &finger, quint64 k, int &poor)
{
    for (quint64 seed = 0x4000000000ULL + k * 7919;; ++seed) {
        const Impression imp = MakeImpression(finger, seed);
        if (imp.quality == QualityGood)
            return imp.features;
        ++poor;
    }
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Resident set of the process, from /proc/self/statm.
long residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

void oneToOne(int fingers)
{
    constexpr int Presses = 10, Others = 10;
    std::vector<FingerModel> models;
    std::vector<PreparedTemplate> refs;
    for (int i = 0; i < fingers; ++i) {
        models.push_back(MakeFinger(fingerKey("F", i)));
        refs.push_back(Prepare(enrolled(models.back().key)));
    }
    std::vector<int> genuine(MaxScore + 1, 0), impostor(MaxScore + 1, 0);
    int poor = 0;
    long long g = 0, im = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < fingers; ++i) {
        for (int k = 0; k < Presses; ++k) {
            const PreparedTemplate press = Prepare(freshPress(models[i], quint64(k), poor));
            ++genuine[std::min(MaxScore, MatchScore(press, refs[i]))];
            ++g;
            for (int o = 1; o <= Others; ++o) {
                const int other = (i + o * 97 + k * 13) % fingers;
                if (other == i)
                    continue;
                ++impostor[std::min(MaxScore, MatchScore(press, refs[other]))];
                ++im;
            }
        }
    }
    const double us = double(timer.nsecsElapsed()) / 1e3 / double(g + im);
    std::printf("1:1 over %d enrolled fingers: %lld genuine, %lld impostor comparisons (%.0f us each); "
                "presses dropped for quality %d\n",
                fingers, g, im, us, poor);
    std::printf("  threshold    FRR (genuine below)        FAR (impostor at or above)\n");
    for (int t = 6; t <= 16; ++t) {
        long long rej = 0, acc = 0;
        for (int s = 0; s < t; ++s)
            rej += genuine[s];
        for (int s = t; s <= MaxScore; ++s)
            acc += impostor[s];
        std::printf("  %5d      %6.2f %% (%5lld)          %8.4f %% (%lld)\n", t, 100.0 * double(rej) / double(g),
                    rej, 100.0 * double(acc) / double(im), acc);
    }
    std::printf("  score:   ");
    for (int s = 0; s <= 30; ++s)
        std::printf("%6d", s);
    std::printf("\n  genuine: ");
    for (int s = 0; s <= 30; ++s)
        std::printf("%6d", genuine[s]);
    std::printf("\n  impostor:");
    for (int s = 0; s <= 30; ++s)
        std::printf("%6d", impostor[s]);
    std::printf("\n\n");
}

// The enrolled template texts of drivers 0 .. drivers-1, formal and backup
// finger in turn: from `file` when it holds them all, else enrolled here.
std::vector<QString> enrolledTexts(int drivers, const QString &file)
{
    const int count = 2 * drivers;
    auto keyAt = [](int k) { return fingerKey("D", k / 2, k % 2 ? "backup" : "formal"); };
    std::vector<QString> texts;
    QFile in(file);
    if (!file.isEmpty() && in.open(QIODevice::ReadOnly)) {
        while (int(texts.size()) < count && !in.atEnd()) {
            const QList<QByteArray> parts = in.readLine().trimmed().split(' ');
            if (parts.size() != 2 || QString::fromLatin1(parts[0]) != keyAt(int(texts.size())))
                break;
            texts.push_back(QString::fromLatin1(parts[1]));
        }
        if (int(texts.size()) == count) {
            std::printf("enrolled templates read from %s\n", qPrintable(file));
            return texts;
        }
    }
    QElapsedTimer timer;
    timer.start();
    texts.assign(size_t(count), QString());
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < std::max(1u, std::thread::hardware_concurrency()); ++w)
        workers.emplace_back([&] {
            for (int k; (k = next.fetch_add(1)) < count;)
                texts[size_t(k)] = EncodeFingerTemplate(enrolled(keyAt(k)));
        });
    for (std::thread &w : workers)
        w.join();
    std::printf("%d templates enrolled in %.0f s on %zu threads\n", count, double(timer.elapsed()) / 1000.0,
                workers.size());
    if (!file.isEmpty()) {
        QSaveFile out(file);
        if (out.open(QIODevice::WriteOnly)) {
            for (int k = 0; k < count; ++k)
                out.write(keyAt(k).toLatin1() + ' ' + texts[size_t(k)].toLatin1() + '\n');
            out.commit();
        }
    }
    return texts;
}

struct Probe {
    int driver = -1; // -1: a stranger
    FingerTemplate features;
};

void oneToMany(int drivers, int genuineCount, int strangerCount, FILE *dump, const QString &enrolledFile)
{
    const std::vector<QString> texts = enrolledTexts(drivers, enrolledFile);
    std::vector<int> checkpoints;
    for (int c : {1000, 5000, 10000, 20000})
        if (c < drivers)
            checkpoints.push_back(c);
    checkpoints.push_back(drivers);

    int poor = 0;
    std::vector<Probe> strangers;
    for (int i = 0; i < strangerCount; ++i)
        strangers.push_back({-1, freshPress(MakeFinger(fingerKey("U", i)), 0, poor)});

    QElapsedTimer build;
    build.start();
    std::printf("1:N: drivers x 2 fingers, %d genuine and %d stranger probes per size, station threshold %d\n",
                genuineCount, strangerCount, StationThreshold);
    std::vector<std::string> loads;
    std::printf("  drivers templates  right      wrong     not found   strangers given an id   "
                "CPU ms median  p95   max   (wall median)\n");
    for (int size : checkpoints) {
        // The cache is loaded from the template texts as a station loads it:
        // on every core, and (for comparison) on one thread.
        std::vector<std::pair<int, QString>> batch;
        for (int k = 0; k < 2 * size; ++k)
            batch.emplace_back(k / 2, texts[size_t(k)]);
        // One thread first: the resident set grows by what the cache holds
        // (the parallel load then reuses the memory the first one freed).
        const long rssBefore = residentBytes();
        QElapsedTimer loadTimer;
        loadTimer.start();
        auto serial = std::make_unique<IdentificationCache>();
        serial->addTexts(batch, 1);
        const double serialMs = double(loadTimer.nsecsElapsed()) / 1e6;
        const long rssAfter = residentBytes();
        loadTimer.restart();
        const double cpu0 = processCpuMs();
        IdentificationCache cache;
        cache.addTexts(batch);
        const double parallelMs = double(loadTimer.nsecsElapsed()) / 1e6;
        const double parallelCpuMs = processCpuMs() - cpu0;
        const bool same = cache == *serial;
        serial.reset();
        char line[300];
        std::snprintf(line, sizeof line,
                      "  %7d  %9d  %8.0f (%6.0f)  %8.0f    %s       %7.0f   (%.0f)\n", size, cache.size(),
                      parallelMs, parallelCpuMs, serialMs, same ? "same" : "DIFFERENT",
                      double(cache.memoryBytes()) / cache.size(), double(rssAfter - rssBefore) / cache.size());
        loads.emplace_back(line);
        // Genuine probes: drivers spread over the whole cache, either finger.
        std::vector<Probe> genuine;
        for (int i = 0; i < genuineCount; ++i) {
            const int d = int((quint64(i) * 7919 + 13) % quint64(size));
            const FingerModel f = MakeFinger(fingerKey("D", d, i % 2 ? "backup" : "formal"));
            genuine.push_back({d, freshPress(f, quint64(i) + 1, poor)});
        }
        int right = 0, wrong = 0, missed = 0, strangerIds = 0;
        std::vector<double> cpu, wall;
        auto run = [&](const Probe &p, const char *kind) {
            QElapsedTimer t;
            t.start();
            const double c0 = threadCpuMs();
            const auto r = cache.identify(p.features, StationThreshold);
            cpu.push_back(threadCpuMs() - c0);
            wall.push_back(double(t.nsecsElapsed()) / 1e6);
            const char *outcome = r.id < 0 ? "none" : (r.id == p.driver ? "right" : "wrong");
            if (p.driver >= 0) {
                right += r.id == p.driver;
                wrong += r.id >= 0 && r.id != p.driver;
                missed += r.id < 0;
            } else {
                strangerIds += r.id >= 0;
            }
            if (dump)
                std::fprintf(dump, "%d %s %s %.3f %.3f %.3f %.3f\n", size, kind, outcome, r.exactScore, r.runnerUp,
                             r.cohortMean, r.cohortSd);
        };
        for (const Probe &p : genuine)
            run(p, "genuine");
        for (const Probe &p : strangers)
            run(p, "stranger");
        const double g = double(genuine.size()), s = double(std::max<size_t>(1, strangers.size()));
        std::printf("  %7d %9d  %6.2f %%  %6.2f %% (%d)  %6.2f %%    %6.3f %% (%d of %zu)      %6.1f %6.1f %6.1f   (%.1f)\n",
                    size, cache.size(), 100.0 * right / g, 100.0 * wrong / g, wrong, 100.0 * missed / g,
                    100.0 * strangerIds / s, strangerIds, strangers.size(), quantile(cpu, 0.5), quantile(cpu, 0.95),
                    quantile(cpu, 1.0), quantile(wall, 0.5));
        std::fflush(stdout);
    }
    std::printf("  (caches built and probed in %.0f s; presses dropped for quality %d; accept level at %d "
                "templates %.2f, margin %.1f)\n\n",
                double(build.elapsed()) / 1000.0, poor, 2 * checkpoints.back(),
                IdentificationCache::AcceptLevel(2 * checkpoints.back()), double(IdentificationCache::Margin));
    std::printf("Loading the cache from template texts (%u threads; wall ms), bytes held per template\n"
                "  drivers  templates  parallel (its CPU)  1 thread  same index  bytes/template (resident growth)\n",
                std::max(1u, std::thread::hardware_concurrency()));
    for (const std::string &l : loads)
        std::printf("%s", l.c_str());
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto arg = [&](int i, int def) { return args.size() > i ? args[i].toInt() : def; };
    const int drivers = arg(1, 10000);
    const int genuine = arg(2, 1000);
    const int strangers = arg(3, 2000);
    const int fingers = arg(4, 1000);
    FILE *dump = args.size() > 5 && args[5] != u"-"_s ? std::fopen(args[5].toLocal8Bit().constData(), "w") : nullptr;
    const QString enrolledFile = args.value(6);

    std::printf("fingerprint_bench: %d drivers, %d genuine, %d strangers, 1:1 over %d fingers\n\n", drivers,
                genuine, strangers, fingers);
    if (fingers > 0)
        oneToOne(fingers);
    if (drivers > 0)
        oneToMany(drivers, genuine, strangers, dump, enrolledFile);
    if (dump)
        std::fclose(dump);
    return 0;
}
