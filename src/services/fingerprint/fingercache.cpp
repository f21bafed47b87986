#include "fingercache.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace cg::finger {

namespace {

constexpr float Pi = std::numbers::pi_v<float>;
constexpr float TwoPi = 2 * Pi;

// Feature quantisation.
constexpr int IndexNeighbours = 5;
constexpr float DistanceBin = 16.0f;
constexpr int DistanceBins = 12; // features further apart than 192 units are not indexed
constexpr int AngleBins = 16;
constexpr float AngleBin = TwoPi / AngleBins;
constexpr int KeyCount = DistanceBins * AngleBins * AngleBins * 4;
// Votes per template fall into bins of relative rotation (256 steps a turn).
constexpr int RotationBins = 16;
constexpr int MaxRotationSteps = int(MaxRelativeRotationDeg * 256 / 360);

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

} // namespace

IdentificationCache::IdentificationCache()
    : m_index(KeyCount)
{
}

void IdentificationCache::add(int id, const FingerTemplate &t)
{
    const quint32 slot = quint32(m_templates.size());
    m_ids.push_back(id);
    m_templates.push_back(Prepare(t));
    const PreparedTemplate &p = m_templates.back();
    for (int i = 0; i < int(p.points.size()); ++i) {
        const quint32 dir = quint32(RadiansToDirection(p.points[i].theta));
        const int k = std::min(IndexNeighbours, p.neighbourCounts[i]);
        for (int q = 0; q < k; ++q) {
            const Neighbour &nb = p.neighbours[i][q];
            const int d = int(nb.distance / DistanceBin);
            if (d >= DistanceBins)
                continue;
            const int a = int(nb.bearing / AngleBin) % AngleBins;
            const int b = int(nb.turn / AngleBin) % AngleBins;
            const int types = p.points[i].type * 2 + p.points[nb.index].type;
            m_index[keyOf(d, a, b, types)].push_back(slot << 8 | dir);
        }
    }
}

IdentificationCache::Result IdentificationCache::identify(const FingerTemplate &probeTemplate,
                                                          int threshold, bool exhaustive) const
{
    Result result;
    result.processed = size();
    if (m_templates.empty() || probeTemplate.isEmpty())
        return result;
    const PreparedTemplate probe = Prepare(probeTemplate);

    std::vector<int> shortlist;
    if (exhaustive || size() <= Shortlist) {
        shortlist.resize(m_templates.size());
        for (int s = 0; s < size(); ++s)
            shortlist[s] = s;
    } else {
        m_votes.assign(m_templates.size() * RotationBins, 0);
        for (int i = 0; i < int(probe.points.size()); ++i) {
            const int dir = RadiansToDirection(probe.points[i].theta);
            const int k = std::min(IndexNeighbours, probe.neighbourCounts[i]);
            for (int q = 0; q < k; ++q) {
                const Neighbour &nb = probe.neighbours[i][q];
                int d[2], a[2], b[2];
                binsOf(nb.distance, DistanceBin, d[0], d[1]);
                binsOf(nb.bearing, AngleBin, a[0], a[1]);
                binsOf(nb.turn, AngleBin, b[0], b[1]);
                const int types = probe.points[i].type * 2 + probe.points[nb.index].type;
                for (int dd : d) {
                    if (dd < 0 || dd >= DistanceBins)
                        continue;
                    for (int aa : a) {
                        for (int bb : b) {
                            const auto &entries = m_index[keyOf(dd, (aa + AngleBins) % AngleBins,
                                                                (bb + AngleBins) % AngleBins, types)];
                            for (quint32 e : entries) {
                                const int rot = qint8(quint8(int(e & 0xff) - dir));
                                if (rot > MaxRotationSteps || rot < -MaxRotationSteps)
                                    continue;
                                ++m_votes[(e >> 8) * RotationBins + ((rot + 128) >> 4)];
                            }
                        }
                    }
                }
            }
        }
        // A template's support is its best pair of adjacent rotation bins.
        std::vector<std::pair<int, int>> support(m_templates.size());
        for (int s = 0; s < size(); ++s) {
            const quint16 *v = m_votes.data() + size_t(s) * RotationBins;
            int best = 0;
            for (int r = 0; r + 1 < RotationBins; ++r)
                best = std::max(best, v[r] + v[r + 1]);
            support[s] = {best, s};
        }
        std::partial_sort(support.begin(), support.begin() + Shortlist, support.end(),
                          [](const auto &x, const auto &y) {
                              return x.first != y.first ? x.first > y.first : x.second < y.second;
                          });
        shortlist.resize(Shortlist);
        for (int k = 0; k < Shortlist; ++k)
            shortlist[k] = support[k].second;
        std::sort(shortlist.begin(), shortlist.end());
    }

    int bestSlot = -1;
    for (int s : shortlist) {
        const int score = MatchScore(probe, m_templates[s]);
        if (score > result.score) {
            result.score = score;
            bestSlot = s;
        }
    }
    if (bestSlot >= 0 && result.score >= threshold)
        result.id = m_ids[bestSlot];
    return result;
}

} // namespace cg::finger
