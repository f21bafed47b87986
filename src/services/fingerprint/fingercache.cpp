#include "fingercache.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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

// Vote space per template: 6 bins of turn (about 23 degrees each, turns
// beyond the matcher's limit are not voted for) times 13 x 13 cells of 48
// units for the landing place of the probe's centre.
constexpr int MaxRotationSteps = int(MaxRelativeRotationDeg * 256 / 360);
constexpr int TurnBins = 6;
constexpr int CellSize = 48;
constexpr int Cells = FingerSpace / CellSize;
constexpr int VotesPerTemplate = TurnBins * Cells * Cells;

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
// cells of its vote space. Sums are formed axis by axis in a scratch copy.
int strongestPile(const quint8 *votes)
{
    int a[VotesPerTemplate];
    for (int i = 0; i < VotesPerTemplate; ++i)
        a[i] = votes[i];
    for (int t = 0; t < TurnBins; ++t)
        for (int y = 0; y < Cells; ++y) {
            int *row = a + (t * Cells + y) * Cells;
            for (int x = 0; x + 1 < Cells; ++x)
                row[x] += row[x + 1];
        }
    for (int t = 0; t < TurnBins; ++t)
        for (int y = 0; y + 1 < Cells; ++y) {
            int *row = a + (t * Cells + y) * Cells;
            for (int x = 0; x < Cells; ++x)
                row[x] += row[x + Cells];
        }
    int best = 0;
    for (int t = 0; t + 1 < TurnBins; ++t) {
        const int *p = a + t * Cells * Cells;
        for (int i = 0; i < Cells * Cells; ++i)
            best = std::max(best, p[i] + p[i + Cells * Cells]);
    }
    return best;
}

} // namespace

constexpr int SegmentBits = 12;
constexpr int SegmentSize = 1 << SegmentBits;
constexpr int PositionStep = 5;

IdentificationCache::IdentificationCache() = default;

void IdentificationCache::add(int id, const FingerTemplate &t)
{
    const int slot = int(m_templates.size());
    m_ids.push_back(id);
    m_templates.push_back(Prepare(t));
    const PreparedTemplate &p = m_templates.back();
    if (slot % SegmentSize == 0)
        m_segments.emplace_back(KeyCount);
    auto &index = m_segments.back();
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
            index[keyOf(d, a, b, types)].push_back(entry);
        }
    }
}

std::vector<int> IdentificationCache::shortlist(const PreparedTemplate &probe) const
{
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
        int key;
        int direction;
        float ux, uy; // from the probe minutia to the probe's centre
        const std::vector<quint32> *entries = nullptr;
        size_t next = 0;
    };
    std::vector<Lookup> lookups;
    for (int i = 0; i < int(probe.points.size()); ++i) {
        const Point &pt = probe.points[i];
        const int dir = RadiansToDirection(pt.theta);
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
                    for (int bb : b)
                        lookups.push_back({keyOf(dd, (aa + AngleBins) % AngleBins, (bb + AngleBins) % AngleBins,
                                                 types),
                                           dir, cx - pt.x, cy - pt.y});
            }
        }
    }

    // Templates are voted for a block at a time, so that the block's vote
    // space stays in the processor's cache. Index lists are in template
    // order; each lookup walks on where the previous block left it. A
    // template's pile can never exceed its number of votes, so one with
    // fewer votes than the weakest pile of the shortlist so far is passed
    // over without looking for its pile.
    constexpr int Block = 256;
    m_votes.assign(size_t(Block) * VotesPerTemplate, 0);
    std::vector<int> totals(Block, 0);
    const int keep = std::min(Shortlist, n);
    // Min-heap of (pile, slot): the weakest of the kept templates on top;
    // of equal piles the later added counts as weaker.
    const auto weaker = [](const std::pair<int, int> &x, const std::pair<int, int> &y) {
        return x.first != y.first ? x.first > y.first : x.second < y.second;
    };
    std::vector<std::pair<int, int>> kept;
    kept.reserve(size_t(keep) + 1);
    for (int seg = 0; seg < int(m_segments.size()); ++seg) {
        for (Lookup &l : lookups) {
            l.entries = &m_segments[seg][l.key];
            l.next = 0;
        }
        const int segFirst = seg * SegmentSize;
        const int segEnd = std::min(n, segFirst + SegmentSize);
        for (int first = segFirst; first < segEnd; first += Block) {
            const int end = std::min(segEnd, first + Block);
            const quint32 endInSegment = quint32(end - segFirst);
            const int firstInSegment = first - segFirst;
            for (Lookup &l : lookups) {
                const auto &entries = *l.entries;
                size_t k = l.next;
                for (; k < entries.size(); ++k) {
                    const quint32 e = entries[k];
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
                    ++totals[local];
                }
                l.next = k;
            }
            for (int s = first; s < end; ++s) {
                int &total = totals[s - first];
                if (total == 0)
                    continue;
                quint8 *v = m_votes.data() + size_t(s - first) * VotesPerTemplate;
                const bool full = int(kept.size()) >= keep;
                if (!full || total > kept.front().first) {
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
                total = 0;
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
    if (m_templates.empty() || probeTemplate.isEmpty())
        return result;
    const PreparedTemplate probe = Prepare(probeTemplate);

    std::vector<int> candidates;
    if (exhaustive || size() <= Shortlist) {
        candidates.resize(m_templates.size());
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
        scores[k] = ExactMatchScore(probe, m_templates[candidates[k]]);
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
