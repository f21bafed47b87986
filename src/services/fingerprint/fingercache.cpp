#include "fingercache.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>

namespace cg::finger {

namespace {

constexpr float Pi = std::numbers::pi_v<float>;
constexpr float TwoPi = 2 * Pi;

// Feature quantisation.
constexpr float DistanceBin = 20.0f;
constexpr int DistanceBins = 10; // features further apart than 200 units are not indexed
constexpr int AngleBins = 12;
constexpr float AngleBin = TwoPi / AngleBins;
constexpr int KeyCount = DistanceBins * AngleBins * AngleBins * 4;
// Each key's entries are kept in lists by the direction of their minutia
// (eight of 45 degrees): a probe minutia skips the lists whose minutiae are
// turned further from it than any pose the vote takes.
constexpr int DirectionBins = 8;
constexpr int ListCount = KeyCount * DirectionBins;

// Vote space per template: 6 bins of turn (about 23 degrees each, turns
// beyond the matcher's limit are not voted for) times 13 x 13 cells of 48
// units for the landing place of the probe's centre.
constexpr int MaxRotationSteps = int(MaxRelativeRotationDeg * 256 / 360);
constexpr int TurnBins = 6;
constexpr int CellSize = 48;
constexpr int Cells = FingerSpace / CellSize;
constexpr int VotesPerTemplate = TurnBins * Cells * Cells;

constexpr int SegmentBits = 12;
constexpr int SegmentSize = 1 << SegmentBits;
constexpr int PositionStep = 5;

int keyOf(int d, int a, int b, int types)
{
    return ((d * AngleBins + a) * AngleBins + b) * 4 + types;
}

// The bin a value falls in, and the neighbouring bin on its nearer side.
void binsOf(float value, float width, int &first, int &second)
{
    const float pos = value / width;
    first = int(std::floor(pos));
    second = (pos - float(first)) >= 0.5f ? first + 1 : first - 1;
}

// Strongest pile of one template: the best sum over 2 x 2 x 2 neighbouring
// cells of its vote space (at the last column and row of a turn, over the
// cells there are). Sums are formed axis by axis over the whole space at
// once, fixing up the cells at an edge afterwards; the loops vectorise.
int strongestPile(const quint8 *votes)
{
    constexpr int Plane = Cells * Cells;
    quint16 x2[VotesPerTemplate], xy2[VotesPerTemplate];
    for (int i = 0; i + 1 < VotesPerTemplate; ++i)
        x2[i] = quint16(votes[i] + votes[i + 1]);
    for (int row = 0; row < TurnBins * Cells; ++row)
        x2[row * Cells + Cells - 1] = votes[row * Cells + Cells - 1];
    for (int i = 0; i + Cells < VotesPerTemplate; ++i)
        xy2[i] = quint16(x2[i] + x2[i + Cells]);
    for (int t = 0; t < TurnBins; ++t)
        for (int x = 0; x < Cells; ++x)
            xy2[t * Plane + (Cells - 1) * Cells + x] = x2[t * Plane + (Cells - 1) * Cells + x];
    int best = 0;
    for (int i = 0; i < (TurnBins - 1) * Plane; ++i)
        best = std::max(best, int(xy2[i]) + int(xy2[i + Plane]));
    return best;
}

bool usable(const Minutia &m)
{
    return m.x >= 0 && m.x < FingerSpace && m.y >= 0 && m.y < FingerSpace
           && (m.type == Minutia::Ending || m.type == Minutia::Bifurcation);
}

// The template without minutiae the coordinate space and the index cannot
// hold.
FingerTemplate usableOnly(const FingerTemplate &t)
{
    if (std::all_of(t.minutiae.begin(), t.minutiae.end(), usable))
        return t;
    FingerTemplate out;
    for (const Minutia &m : t.minutiae)
        if (usable(m))
            out.minutiae.append(m);
    return out;
}

// The index features of a prepared template in the given slot, in the order
// of its points and their neighbours.
void featuresOf(const PreparedTemplate &p, int slot, std::vector<quint64> &out)
{
    const quint64 segment = quint64(slot / SegmentSize) << 48;
    for (int i = 0; i < int(p.points.size()); ++i) {
        const Point &pt = p.points[i];
        const quint32 entry = quint32(slot % SegmentSize) << 20 | quint32(int(pt.x) / PositionStep) << 13
                              | quint32(int(pt.y) / PositionStep) << 6 | quint32(pt.direction >> 2);
        for (int q = 0; q < p.neighbourCounts[i]; ++q) {
            const Neighbour &nb = p.neighbours[i][q];
            const int d = int(nb.distance / DistanceBin);
            if (d >= DistanceBins)
                continue;
            const int a = int(nb.bearing / AngleBin) % AngleBins;
            const int b = int(nb.turn / AngleBin) % AngleBins;
            const int types = pt.type * 2 + p.points[nb.index].type;
            const int list = keyOf(d, a, b, types) * DirectionBins + pt.direction * DirectionBins / 256;
            out.push_back(segment | quint64(list) << 32 | entry);
        }
    }
}

quint32 pack(const Point &pt)
{
    return quint32(pt.x) << 19 | quint32(pt.y) << 9 | quint32(pt.type) << 8 | quint32(pt.direction);
}

// Runs work(0 .. count-1) on `threads` threads, a few items at a time.
template <typename Work>
void inParallel(int count, int threads, const Work &work)
{
    threads = std::clamp(threads, 1, std::max(1, count / 16));
    std::atomic<int> next{0};
    auto run = [&] {
        constexpr int Chunk = 16;
        for (int first; (first = next.fetch_add(Chunk)) < count;)
            for (int k = first; k < std::min(count, first + Chunk); ++k)
                work(k);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(run);
    run();
    for (std::thread &h : helpers)
        h.join();
}

} // namespace

IdentificationCache::IdentificationCache() = default;

void IdentificationCache::add(int id, const FingerTemplate &t)
{
    const int slot = size();
    const PreparedTemplate p = Prepare(usableOnly(t));
    m_ids.push_back(id);
    for (const Point &pt : p.points)
        m_minutiae.push_back(pack(pt));
    m_first.push_back(quint32(m_minutiae.size()));
    featuresOf(p, slot, m_pending);
}

int IdentificationCache::addTexts(const std::vector<std::pair<int, QString>> &texts, int threads)
{
    if (threads <= 0)
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
    indexPending(); // what add() left comes first
    int good = 0;
    // A segment's share at a time: its features wait for the index only
    // that long. Decoding and preparing run in parallel into places fixed
    // by the text's position; appending and indexing then go in order.
    struct Loaded {
        std::vector<quint32> minutiae; // packed
        std::vector<quint64> features;
        bool ok = false;
    };
    std::vector<Loaded> loaded;
    std::vector<quint64> features;
    for (size_t from = 0; from < texts.size();) {
        const int firstSlot = size();
        const size_t to = std::min(texts.size(), from + size_t(SegmentSize - firstSlot % SegmentSize));
        loaded.assign(to - from, Loaded());
        inParallel(int(to - from), threads, [&](int k) {
            Loaded &l = loaded[size_t(k)];
            const FingerTemplate t = DecodeFingerTemplate(texts[from + size_t(k)].second, &l.ok);
            l.ok = l.ok && !t.isEmpty();
            const PreparedTemplate p = Prepare(t);
            for (const Point &pt : p.points)
                l.minutiae.push_back(pack(pt));
            featuresOf(p, firstSlot + k, l.features);
        });
        features.clear();
        for (size_t k = 0; k < loaded.size(); ++k) {
            m_ids.push_back(texts[from + k].first);
            m_minutiae.insert(m_minutiae.end(), loaded[k].minutiae.begin(), loaded[k].minutiae.end());
            m_first.push_back(quint32(m_minutiae.size()));
            features.insert(features.end(), loaded[k].features.begin(), loaded[k].features.end());
            good += loaded[k].ok;
        }
        const size_t segment = size_t(firstSlot / SegmentSize);
        if (m_segments.size() <= segment)
            m_segments.resize(segment + 1);
        mergeInto(m_segments[segment], features.data(), features.size());
        from = to;
    }
    loaded.clear();
    loaded.shrink_to_fit();
    m_minutiae.shrink_to_fit();
    return good;
}

void IdentificationCache::mergeInto(Segment &segment, const quint64 *features, size_t count)
{
    if (segment.start.empty())
        segment.start.assign(ListCount + 1, 0);
    std::vector<quint32> added(ListCount + 1, 0);
    for (size_t k = 0; k < count; ++k)
        ++added[(features[k] >> 32) & 0xffff];
    // Each list: the entries it had, then the new ones in template
    // order - as if every template had been indexed in turn.
    std::vector<quint32> start(ListCount + 1), entries(segment.entries.size() + count);
    quint32 at = 0;
    for (int list = 0; list < ListCount; ++list) {
        start[list] = at;
        const quint32 from = segment.start[list], to = segment.start[list + 1];
        std::copy(segment.entries.begin() + from, segment.entries.begin() + to, entries.begin() + at);
        at += to - from;
        const quint32 fresh = added[list];
        added[list] = at; // from here on: where the list's next new entry goes
        at += fresh;
    }
    start[ListCount] = at;
    for (size_t k = 0; k < count; ++k)
        entries[added[(features[k] >> 32) & 0xffff]++] = quint32(features[k]);
    segment.start.swap(start);
    segment.entries.swap(entries);
}

void IdentificationCache::indexPending() const
{
    const size_t segments = size_t((size() + SegmentSize - 1) / SegmentSize);
    if (m_segments.size() < segments)
        m_segments.resize(segments);
    for (size_t k = 0; k < m_pending.size();) {
        const quint64 segment = m_pending[k] >> 48;
        size_t end = k;
        while (end < m_pending.size() && (m_pending[end] >> 48) == segment)
            ++end;
        mergeInto(m_segments[segment], m_pending.data() + k, end - k);
        k = end;
    }
    for (Segment &s : m_segments)
        if (s.start.empty())
            s.start.assign(ListCount + 1, 0);
    m_pending.clear();
    m_pending.shrink_to_fit();
}

void IdentificationCache::prepareSlot(int slot, PreparedTemplate &out) const
{
    const quint32 first = m_first[size_t(slot)], end = m_first[size_t(slot) + 1];
    out.points.resize(end - first);
    for (quint32 k = first; k < end; ++k) {
        const quint32 m = m_minutiae[k];
        out.points[k - first] = PointFrom(int(m >> 19), int((m >> 9) & 1023), int(m & 255), int((m >> 8) & 1));
    }
    PrepareInOrder(out);
}

size_t IdentificationCache::memoryBytes() const
{
    size_t bytes = sizeof(*this) + m_ids.capacity() * sizeof(int) + m_minutiae.capacity() * sizeof(quint32)
                   + m_first.capacity() * sizeof(quint32) + m_pending.capacity() * sizeof(quint64)
                   + m_segments.capacity() * sizeof(Segment);
    for (const Segment &s : m_segments)
        bytes += (s.start.capacity() + s.entries.capacity()) * sizeof(quint32);
    return bytes;
}

bool operator==(const IdentificationCache &a, const IdentificationCache &b)
{
    a.indexPending();
    b.indexPending();
    if (a.m_ids != b.m_ids || a.m_minutiae != b.m_minutiae || a.m_first != b.m_first
        || a.m_segments.size() != b.m_segments.size())
        return false;
    for (size_t s = 0; s < a.m_segments.size(); ++s) {
        if (a.m_segments[s].start != b.m_segments[s].start || a.m_segments[s].entries != b.m_segments[s].entries)
            return false;
    }
    return true;
}

std::vector<int> IdentificationCache::shortlist(const PreparedTemplate &probe) const
{
    indexPending();
    const int n = size();
    float cx = 0, cy = 0;
    for (const Point &p : probe.points) {
        cx += p.x;
        cy += p.y;
    }
    cx /= float(probe.points.size());
    cy /= float(probe.points.size());

    // Turning by a whole number of direction steps: sine and cosine once.
    float cosOf[2 * MaxRotationSteps + 1], sinOf[2 * MaxRotationSteps + 1];
    for (int r = -MaxRotationSteps; r <= MaxRotationSteps; ++r) {
        cosOf[r + MaxRotationSteps] = std::cos(float(r) * TwoPi / 256);
        sinOf[r + MaxRotationSteps] = std::sin(float(r) * TwoPi / 256);
    }

    // Every index list the probe's features look up, with what a hit on it
    // needs to place its vote.
    struct Lookup {
        int list;
        int direction;
        float ux, uy; // from the probe minutia to the probe's centre
        const quint32 *next = nullptr, *end = nullptr;
    };
    std::vector<Lookup> lookups;
    for (int i = 0; i < int(probe.points.size()); ++i) {
        const Point &pt = probe.points[i];
        const int dir = RadiansToDirection(pt.theta);
        // The direction lists holding a minutia the vote can turn onto
        // this one (an entry keeps its direction in steps of 4).
        bool reachable[DirectionBins] = {};
        for (int e = 0; e < 64; ++e) {
            const int rot = qint8(quint8(e * 4 + 2 - dir));
            if (rot <= MaxRotationSteps && rot >= -MaxRotationSteps)
                reachable[e * 4 * DirectionBins / 256] = true;
        }
        for (int q = 0; q < probe.neighbourCounts[i]; ++q) {
            const Neighbour &nb = probe.neighbours[i][q];
            int d[2], a[2], b[2];
            binsOf(nb.distance, DistanceBin, d[0], d[1]);
            binsOf(nb.bearing, AngleBin, a[0], a[1]);
            binsOf(nb.turn, AngleBin, b[0], b[1]);
            const int types = pt.type * 2 + probe.points[nb.index].type;
            for (int dd : d) {
                if (dd < 0 || dd >= DistanceBins)
                    continue;
                for (int aa : a)
                    for (int bb : b) {
                        const int key = keyOf(dd, (aa + AngleBins) % AngleBins, (bb + AngleBins) % AngleBins, types);
                        for (int db = 0; db < DirectionBins; ++db)
                            if (reachable[db])
                                lookups.push_back({key * DirectionBins + db, dir, cx - pt.x, cy - pt.y});
                    }
            }
        }
    }

    // In the order of the lists, which is their order in memory.
    std::sort(lookups.begin(), lookups.end(), [](const Lookup &x, const Lookup &y) { return x.list < y.list; });

    // Templates are voted for a block at a time, so that the block's vote
    // space stays in the processor's cache. Index lists are in template
    // order; each lookup walks on where the previous block left it. A
    // template's pile can never exceed the votes of the two turns it spans,
    // so one whose turns got fewer votes than the weakest pile of the
    // shortlist so far is passed over without looking for its pile.
    constexpr int Block = 256;
    m_votes.assign(size_t(Block) * VotesPerTemplate, 0);
    std::vector<int> totals(Block * TurnBins, 0); // votes per template and turn
    const int keep = std::min(Shortlist, n);
    // Min-heap of (pile, slot): the weakest of the kept templates on top;
    // of equal piles the later added counts as weaker.
    const auto weaker = [](const std::pair<int, int> &x, const std::pair<int, int> &y) {
        return x.first != y.first ? x.first > y.first : x.second < y.second;
    };
    std::vector<std::pair<int, int>> kept;
    kept.reserve(size_t(keep) + 1);
    for (int seg = 0; seg < int(m_segments.size()); ++seg) {
        const Segment &segment = m_segments[seg];
        for (Lookup &l : lookups) {
            l.next = segment.entries.data() + segment.start[l.list];
            l.end = segment.entries.data() + segment.start[l.list + 1];
        }
        const int segFirst = seg * SegmentSize;
        const int segEnd = std::min(n, segFirst + SegmentSize);
        for (int first = segFirst; first < segEnd; first += Block) {
            const int end = std::min(segEnd, first + Block);
            const quint32 endInSegment = quint32(end - segFirst);
            const int firstInSegment = first - segFirst;
            for (Lookup &l : lookups) {
                const quint32 *k = l.next;
                for (; k < l.end; ++k) {
                    const quint32 e = *k;
                    if ((e >> 20) >= endInSegment)
                        break;
                    const int rot = qint8(quint8(int((e & 63) << 2) + 2 - l.direction));
                    if (rot > MaxRotationSteps || rot < -MaxRotationSteps)
                        continue;
                    const float c = cosOf[rot + MaxRotationSteps], s = sinOf[rot + MaxRotationSteps];
                    const float ex = float(((e >> 13) & 127) * PositionStep) + PositionStep / 2.0f;
                    const float ey = float(((e >> 6) & 127) * PositionStep) + PositionStep / 2.0f;
                    const int x = std::clamp(int(ex + c * l.ux - s * l.uy) / CellSize, 0, Cells - 1);
                    const int y = std::clamp(int(ey + s * l.ux + c * l.uy) / CellSize, 0, Cells - 1);
                    const int t = (rot + MaxRotationSteps) * TurnBins / (2 * MaxRotationSteps + 1);
                    const int local = int(e >> 20) - firstInSegment;
                    quint8 &v = m_votes[size_t(local) * VotesPerTemplate + (t * Cells + y) * Cells + x];
                    if (v < 255)
                        ++v;
                    ++totals[local * TurnBins + t];
                }
                l.next = k;
                // The next block's entries of this key follow on: fetch
                // them while the other lookups run.
                if (k < l.end)
                    __builtin_prefetch(k);
            }
            for (int s = first; s < end; ++s) {
                // No pile holds more votes than two neighbouring turns got.
                int *turns = totals.data() + (s - first) * TurnBins;
                int bound = 0;
                for (int t = 0; t + 1 < TurnBins; ++t)
                    bound = std::max(bound, turns[t] + turns[t + 1]);
                if (std::all_of(turns, turns + TurnBins, [](int c) { return c == 0; }))
                    continue;
                quint8 *v = m_votes.data() + size_t(s - first) * VotesPerTemplate;
                const bool full = int(kept.size()) >= keep;
                if (!full || bound > kept.front().first) {
                    const std::pair<int, int> entry{strongestPile(v), s};
                    if (!full) {
                        kept.push_back(entry);
                        std::push_heap(kept.begin(), kept.end(), weaker);
                    } else if (entry.first > kept.front().first) {
                        std::pop_heap(kept.begin(), kept.end(), weaker);
                        kept.back() = entry;
                        std::push_heap(kept.begin(), kept.end(), weaker);
                    }
                }
                std::fill(v, v + VotesPerTemplate, quint8(0));
                std::fill(turns, turns + TurnBins, 0);
            }
        }
    }

    // Templates nobody voted for fill a shortlist that is still short.
    for (int s = 0; s < n && int(kept.size()) < keep; ++s) {
        if (std::none_of(kept.begin(), kept.end(), [s](const auto &e) { return e.second == s; }))
            kept.emplace_back(0, s);
    }
    std::sort(kept.begin(), kept.end(), [](const auto &x, const auto &y) {
        return x.first != y.first ? x.first > y.first : x.second < y.second;
    });
    std::vector<int> chosen(kept.size());
    for (size_t k = 0; k < kept.size(); ++k)
        chosen[k] = kept[k].second;
    return chosen;
}

float IdentificationCache::AcceptLevel(int templates)
{
    return std::max(OneToOneLevel, OpenSetBase + OpenSetSlope * float(std::log10(double(std::max(1, templates)))));
}

IdentificationCache::Result IdentificationCache::identify(const FingerTemplate &probeTemplate,
                                                          int threshold, bool exhaustive) const
{
    Result result;
    result.processed = size();
    const PreparedTemplate probe = Prepare(usableOnly(probeTemplate));
    if (m_ids.empty() || probe.isEmpty())
        return result;
    indexPending();

    std::vector<int> candidates;
    if (exhaustive || size() <= Shortlist) {
        candidates.resize(m_ids.size());
        for (int s = 0; s < size(); ++s)
            candidates[s] = s;
    } else {
        candidates = shortlist(probe);
        std::sort(candidates.begin(), candidates.end()); // ties go to the earliest added
    }

    // The best score of each id: the fingers of one driver are one
    // candidate, not competitors of each other.
    std::vector<float> scores(candidates.size());
    int bestSlot = -1;
    float best = 0;
    for (size_t k = 0; k < candidates.size(); ++k) {
        prepareSlot(candidates[k], m_candidate);
        scores[k] = ExactMatchScore(probe, m_candidate);
        if (scores[k] > best) {
            best = scores[k];
            bestSlot = candidates[k];
        }
    }
    if (bestSlot < 0)
        return result;
    const int bestId = m_ids[bestSlot];
    float runnerUp = 0;
    double sum = 0, sumSquares = 0;
    int others = 0;
    for (size_t k = 0; k < candidates.size(); ++k) {
        if (m_ids[candidates[k]] == bestId)
            continue;
        runnerUp = std::max(runnerUp, scores[k]);
        sum += scores[k];
        sumSquares += double(scores[k]) * scores[k];
        ++others;
    }
    if (others > 0) {
        result.cohortMean = float(sum / others);
        result.cohortSd = float(std::sqrt(std::max(0.0, sumSquares / others - (sum / others) * (sum / others))));
    }
    result.score = int(best);
    result.exactScore = best;
    result.runnerUp = runnerUp;
    result.level = std::max(float(threshold), AcceptLevel(size()));
    if (best >= result.level && best - runnerUp >= Margin)
        result.id = bestId;
    return result;
}

} // namespace cg::finger
