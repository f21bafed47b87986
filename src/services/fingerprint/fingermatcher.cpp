#include "fingermatcher.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace cg::finger {

namespace {

constexpr float Pi = std::numbers::pi_v<float>;
constexpr float TwoPi = 2 * Pi;
constexpr float Deg = Pi / 180;

// Tolerances of the local (neighbourhood) comparison.
constexpr float LocalDistanceTol = 20.0f;
constexpr int LocalBearingTol = 19; // steps of 256 a turn: about 26 degrees
constexpr int LocalTurnTol = 23;    // about 32 degrees
// Tolerances of the global pairing after alignment.
constexpr float PairDistanceTol = 30.0f;
constexpr float PairAngleTol = 30 * Deg;
// Neighbours further away than this say little about the minutia itself.
constexpr float MaxNeighbourDistance = 200.0f;
// How many of the best local correspondences are tried as alignments.
constexpr int AlignmentTrials = 16;

constexpr float MaxRotation = MaxRelativeRotationDeg * Deg;
constexpr int MaxRotationSteps = int(MaxRelativeRotationDeg * 256 / 360);

// Difference of two directions in 256 steps a turn, as a magnitude 0 .. 128.
inline int stepDistance(int a, int b)
{
    const int d = (a - b) & 0xff;
    return d > 128 ? 256 - d : d;
}

struct Candidate {
    int similarity = 0;
    float error = 0;
    int probe = 0, reference = 0;
    std::array<std::pair<int, int>, NeighbourCount> matched{};
};

struct Transform {
    float rotation = 0, tx = 0, ty = 0;
};

// Least-squares rigid fit of reference = R * probe + t over point pairs.
bool fit(const PreparedTemplate &probe, const PreparedTemplate &reference,
         const std::pair<int, int> *pairs, int count, Transform &out)
{
    if (count < 2)
        return false;
    double px = 0, py = 0, rx = 0, ry = 0;
    for (int k = 0; k < count; ++k) {
        const Point &p = probe.points[pairs[k].first];
        const Point &r = reference.points[pairs[k].second];
        px += p.x; py += p.y; rx += r.x; ry += r.y;
    }
    px /= count; py /= count; rx /= count; ry /= count;
    double sdot = 0, scross = 0;
    for (int k = 0; k < count; ++k) {
        const Point &p = probe.points[pairs[k].first];
        const Point &r = reference.points[pairs[k].second];
        const double ax = p.x - px, ay = p.y - py, bx = r.x - rx, by = r.y - ry;
        sdot += ax * bx + ay * by;
        scross += ax * by - ay * bx;
    }
    if (sdot == 0 && scross == 0)
        return false;
    const double rot = std::atan2(scross, sdot);
    const double c = std::cos(rot), s = std::sin(rot);
    out.rotation = float(rot);
    out.tx = float(rx - (c * px - s * py));
    out.ty = float(ry - (s * px + c * py));
    return true;
}

struct PairCandidate {
    float cost;
    float distance2; // squared distance as a share of the squared tolerance
    int probe, reference;
};

// Pairs the minutiae one-to-one under the transform, closest first, and
// answers the pairs' weight: each pair counts 1 - (d / PairDistanceTol)^2
// for the distance d between its two minutiae.
float pairUnder(const PreparedTemplate &probe, const PreparedTemplate &reference,
                const Transform &t, std::vector<PairCandidate> &scratch,
                std::vector<std::pair<int, int>> &pairs)
{
    static const float cosTol = std::cos(PairAngleTol);
    scratch.clear();
    const float c = std::cos(t.rotation), s = std::sin(t.rotation);
    const float tol2 = PairDistanceTol * PairDistanceTol;
    const auto &refs = reference.points;
    for (int i = 0; i < int(probe.points.size()); ++i) {
        const Point &p = probe.points[i];
        const float x = c * p.x - s * p.y + t.tx;
        const float y = s * p.x + c * p.y + t.ty;
        const float ux = c * p.cosTheta - s * p.sinTheta, uy = s * p.cosTheta + c * p.sinTheta;
        auto it = std::lower_bound(refs.begin(), refs.end(), x - PairDistanceTol,
                                   [](const Point &r, float v) { return r.x < v; });
        for (; it != refs.end() && it->x <= x + PairDistanceTol; ++it) {
            const Point &r = *it;
            if (r.type != p.type)
                continue;
            const float dx = r.x - x, dy = r.y - y;
            const float d2 = dx * dx + dy * dy;
            if (d2 > tol2)
                continue;
            const float dot = r.cosTheta * ux + r.sinTheta * uy;
            if (dot < cosTol)
                continue;
            scratch.push_back({d2 / tol2 + (1 - dot) / (1 - cosTol), d2 / tol2, i, int(it - refs.begin())});
        }
    }
    std::sort(scratch.begin(), scratch.end(),
              [](const PairCandidate &a, const PairCandidate &b) { return a.cost < b.cost; });
    thread_local std::vector<char> usedP, usedR;
    usedP.assign(probe.points.size(), 0);
    usedR.assign(reference.points.size(), 0);
    pairs.clear();
    float weight = 0;
    for (const PairCandidate &pc : scratch) {
        if (usedP[pc.probe] || usedR[pc.reference])
            continue;
        usedP[pc.probe] = usedR[pc.reference] = 1;
        pairs.emplace_back(pc.probe, pc.reference);
        weight += 1 - pc.distance2;
    }
    return weight;
}

} // namespace

float ScoreFromPairs(float weight, int pairs, int probeCount, int referenceCount)
{
    if (pairs < MinScoringPairs)
        return 0;
    const int a = std::max(probeCount, ScoreFloorCount), b = std::max(referenceCount, ScoreFloorCount);
    return float(ScoreScale) * weight * weight / float(a * b);
}

float WrapAngle(float a)
{
    if (a >= 0 && a < TwoPi)
        return a;
    a = std::fmod(a, TwoPi);
    if (a < 0)
        a += TwoPi;
    return a >= TwoPi ? 0 : a;
}

float AngleDifference(float a, float b)
{
    float d = a - b;
    if (d > Pi || d <= -Pi) {
        d = WrapAngle(d);
        if (d > Pi)
            d -= TwoPi;
    }
    return d;
}

float DirectionToRadians(int direction)
{
    return float(direction & 0xff) * (TwoPi / 256);
}

int RadiansToDirection(float radians)
{
    return int(std::lround(WrapAngle(radians) * (256 / TwoPi))) & 0xff;
}

namespace {

// Cosine and sine of the 256 directions, as std::cos and std::sin give them
// for DirectionToRadians(direction).
struct DirectionTable {
    float cosOf[256], sinOf[256];
    DirectionTable()
    {
        for (int d = 0; d < 256; ++d) {
            cosOf[d] = std::cos(DirectionToRadians(d));
            sinOf[d] = std::sin(DirectionToRadians(d));
        }
    }
};

const DirectionTable &directions()
{
    static const DirectionTable table;
    return table;
}

} // namespace

Point PointFrom(int x, int y, int direction, int type)
{
    Point pt;
    pt.x = float(x);
    pt.y = float(y);
    pt.direction = direction & 0xff;
    pt.theta = DirectionToRadians(pt.direction);
    pt.cosTheta = directions().cosOf[pt.direction];
    pt.sinTheta = directions().sinOf[pt.direction];
    pt.type = type;
    return pt;
}

PreparedTemplate Prepare(const FingerTemplate &t)
{
    PreparedTemplate p;
    const int n = int(t.minutiae.size());
    p.points.reserve(n);
    p.source.resize(n);
    for (int i = 0; i < n; ++i)
        p.source[i] = i;
    std::stable_sort(p.source.begin(), p.source.end(),
                     [&t](int a, int b) { return t.minutiae[a].x < t.minutiae[b].x; });
    for (int i : p.source) {
        const Minutia &m = t.minutiae[i];
        p.points.push_back(PointFrom(m.x, m.y, m.direction, int(m.type)));
    }
    PrepareInOrder(p);
    return p;
}

void PrepareInOrder(PreparedTemplate &p)
{
    const int n = int(p.points.size());
    if (int(p.source.size()) != n) {
        p.source.resize(n);
        for (int i = 0; i < n; ++i)
            p.source[i] = i;
    }
    p.neighbours.resize(n);
    p.neighbourCounts.assign(n, 0);

    // Coordinates are whole numbers: the squared distances within reach are
    // exact, order the neighbours as their distances do (distinct squares up
    // to 200^2 have distinct float roots), and their square root is the
    // distance std::hypot gives. Nearest first, equal distances by index.
    // The points are in x order, so the search walks away from the point on
    // either side and stops where the gap in x alone is too far.
    constexpr float MaxNeighbourDistance2 = MaxNeighbourDistance * MaxNeighbourDistance;
    std::array<std::pair<float, int>, NeighbourCount> nearest; // (squared distance, index)
    for (int i = 0; i < n; ++i) {
        const Point &a = p.points[i];
        int k = 0;
        // How far a point may lie and still be taken.
        const auto reach = [&] { return k == NeighbourCount ? nearest[k - 1].first : MaxNeighbourDistance2; };
        const auto consider = [&](int j) {
            const float dx = p.points[j].x - a.x, dy = p.points[j].y - a.y;
            const float d2 = dx * dx + dy * dy;
            if (d2 == 0 || d2 > MaxNeighbourDistance2)
                return;
            const std::pair<float, int> c{d2, j};
            if (k == NeighbourCount && !(c < nearest[k - 1]))
                return;
            int at = k < NeighbourCount ? k++ : k - 1;
            for (; at > 0 && c < nearest[at - 1]; --at)
                nearest[at] = nearest[at - 1];
            nearest[at] = c;
        };
        for (int j = i + 1; j < n; ++j) {
            const float dx = p.points[j].x - a.x;
            if (dx * dx > reach())
                break;
            consider(j);
        }
        for (int j = i - 1; j >= 0; --j) {
            const float dx = a.x - p.points[j].x;
            if (dx * dx > reach())
                break;
            consider(j);
        }
        std::array<std::pair<float, int>, NeighbourCount> byDistance;
        for (int q = 0; q < k; ++q)
            byDistance[q] = {std::sqrt(nearest[q].first), nearest[q].second};
        for (int q = 0; q < k; ++q) {
            const Point &b = p.points[byDistance[q].second];
            Neighbour &nb = p.neighbours[i][q];
            nb.distance = byDistance[q].first;
            nb.bearing = WrapAngle(std::atan2(b.y - a.y, b.x - a.x) - a.theta);
            nb.turn = WrapAngle(b.theta - a.theta);
            nb.bearingSteps = RadiansToDirection(nb.bearing);
            nb.turnSteps = (b.direction - a.direction) & 0xff;
            nb.index = byDistance[q].second;
            nb.type = b.type;
        }
        p.neighbourCounts[i] = k;
    }
}

int MatchScore(const PreparedTemplate &probe, const PreparedTemplate &reference, MatchDetail *detail)
{
    return int(ExactMatchScore(probe, reference, detail));
}

float ExactMatchScore(const PreparedTemplate &probe, const PreparedTemplate &reference, MatchDetail *detail)
{
    if (probe.isEmpty() || reference.isEmpty())
        return 0;

    // Buffers kept from call to call: a 1:N search calls this for every
    // shortlisted template.
    thread_local std::vector<Candidate> candidates;
    thread_local std::vector<PairCandidate> scratch;
    thread_local std::vector<std::pair<int, int>> pairs, bestPairs;
    candidates.clear();
    bestPairs.clear();

    // 1. Local correspondences: minutiae whose neighbourhoods look alike.
    const int np = int(probe.points.size()), nr = int(reference.points.size());
    for (int i = 0; i < np; ++i) {
        const Point &p = probe.points[i];
        const auto &pn = probe.neighbours[i];
        const int pk = probe.neighbourCounts[i];
        for (int j = 0; j < nr; ++j) {
            const Point &r = reference.points[j];
            if (r.type != p.type || stepDistance(r.direction, p.direction) > MaxRotationSteps + LocalTurnTol)
                continue;
            const auto &rn = reference.neighbours[j];
            const int rk = reference.neighbourCounts[j];
            Candidate c;
            unsigned used = 0;
            for (int a = 0; a < pk; ++a) {
                const Neighbour &na = pn[a];
                int best = -1;
                float bestErr = 3;
                for (int b = 0; b < rk; ++b) {
                    const Neighbour &nb = rn[b];
                    // Neighbours come nearest first: none further on can fit.
                    if (nb.distance > na.distance + LocalDistanceTol)
                        break;
                    if (nb.type != na.type || (used & (1u << b)))
                        continue;
                    const float dd = std::fabs(na.distance - nb.distance);
                    if (dd > LocalDistanceTol)
                        continue;
                    const int db = stepDistance(na.bearingSteps, nb.bearingSteps);
                    if (db > LocalBearingTol)
                        continue;
                    const int dt = stepDistance(na.turnSteps, nb.turnSteps);
                    if (dt > LocalTurnTol)
                        continue;
                    const float err = dd / LocalDistanceTol + float(db) / LocalBearingTol
                                      + float(dt) / LocalTurnTol;
                    if (err < bestErr) {
                        bestErr = err;
                        best = b;
                    }
                }
                if (best >= 0) {
                    used |= 1u << best;
                    c.matched[c.similarity++] = {na.index, rn[best].index};
                    c.error += bestErr;
                }
            }
            if (c.similarity >= 2) {
                c.probe = i;
                c.reference = j;
                candidates.push_back(c);
            }
        }
    }
    if (candidates.empty())
        return 0;

    const int trials = std::min<int>(AlignmentTrials, int(candidates.size()));
    std::partial_sort(candidates.begin(), candidates.begin() + trials, candidates.end(),
                      [](const Candidate &a, const Candidate &b) {
                          if (a.similarity != b.similarity)
                              return a.similarity > b.similarity;
                          return a.error < b.error;
                      });

    // 2. Each of the best correspondences proposes an alignment, refined
    //    twice from the minutiae it pairs.
    float bestWeight = 0;
    Transform bestTransform;
    std::array<std::pair<int, int>, NeighbourCount + 1> seed{};
    for (int k = 0; k < trials; ++k) {
        const Candidate &c = candidates[k];
        seed[0] = {c.probe, c.reference};
        for (int q = 0; q < c.similarity; ++q)
            seed[q + 1] = c.matched[q];
        Transform t;
        if (!fit(probe, reference, seed.data(), c.similarity + 1, t))
            continue;
        for (int round = 0; round < 3; ++round) {
            if (std::fabs(t.rotation) > MaxRotation)
                break;
            const float weight = pairUnder(probe, reference, t, scratch, pairs);
            if (weight > bestWeight) {
                bestWeight = weight;
                bestPairs = pairs;
                bestTransform = t;
            }
            if (pairs.size() < 3 || !fit(probe, reference, pairs.data(), int(pairs.size()), t))
                break;
        }
    }
    if (detail) {
        detail->pairs.clear();
        detail->rotation = bestTransform.rotation;
        detail->tx = bestTransform.tx;
        detail->ty = bestTransform.ty;
        detail->pairs = bestPairs;
    }
    return ScoreFromPairs(bestWeight, int(bestPairs.size()), np, nr);
}

} // namespace cg::finger

namespace cg::finger {

namespace {

struct Accumulator {
    double x = 0, y = 0, dx = 0, dy = 0, weight = 0;
    void add(double px, double py, double theta, double w)
    {
        x += w * px;
        y += w * py;
        dx += w * std::cos(theta);
        dy += w * std::sin(theta);
        weight += w;
    }
};

// Places probe pairs of `detail` in the reference frame and adds them.
void accumulate(const PreparedTemplate &probe, const PreparedTemplate &reference,
                const MatchDetail &detail, double weight, std::vector<Accumulator> &acc)
{
    const float c = std::cos(detail.rotation), s = std::sin(detail.rotation);
    for (const auto &[pi, ri] : detail.pairs) {
        const Point &p = probe.points[pi];
        acc[reference.source[ri]].add(c * p.x - s * p.y + detail.tx, s * p.x + c * p.y + detail.ty,
                                      p.theta + detail.rotation, weight);
    }
}

FingerTemplate averaged(const FingerTemplate &base, const std::vector<Accumulator> &acc)
{
    FingerTemplate out = base;
    for (int i = 0; i < int(out.minutiae.size()); ++i) {
        const Accumulator &a = acc[i];
        if (a.weight <= 0)
            continue;
        Minutia &m = out.minutiae[i];
        m.x = qBound(0, int(std::lround(a.x / a.weight)), FingerSpace - 1);
        m.y = qBound(0, int(std::lround(a.y / a.weight)), FingerSpace - 1);
        m.direction = RadiansToDirection(float(std::atan2(a.dy, a.dx)));
    }
    return out;
}

std::vector<Accumulator> seeded(const FingerTemplate &base, double weight)
{
    std::vector<Accumulator> acc(base.minutiae.size());
    for (int i = 0; i < int(base.minutiae.size()); ++i) {
        const Minutia &m = base.minutiae[i];
        acc[i].add(m.x, m.y, DirectionToRadians(m.direction), weight);
    }
    return acc;
}

} // namespace

FingerTemplate MergePresses(const std::vector<FingerTemplate> &presses, int threshold, bool *ok)
{
    *ok = false;
    int baseIndex = -1;
    int usable = 0;
    for (int i = 0; i < int(presses.size()); ++i) {
        if (presses[i].isEmpty())
            continue;
        ++usable;
        if (baseIndex < 0 || presses[i].minutiae.size() > presses[baseIndex].minutiae.size())
            baseIndex = i;
    }
    if (baseIndex < 0)
        return {};
    const FingerTemplate &base = presses[baseIndex];
    const PreparedTemplate preparedBase = Prepare(base);
    std::vector<Accumulator> acc = seeded(base, 1.0);
    std::vector<int> support(base.minutiae.size(), 1);

    // Minutiae of the other presses that the base did not see, in the
    // base's frame, gathered where the presses agree.
    struct Extra {
        Accumulator acc;
        float x = 0, y = 0, cosT = 1, sinT = 0;
        int type = 0;
        unsigned presses = 0;
        int count = 0;
    };
    std::vector<Extra> extras;
    constexpr float ExtraDistance = 20.0f;
    const float extraCos = std::cos(30 * Deg);

    for (int i = 0; i < int(presses.size()); ++i) {
        if (i == baseIndex || presses[i].isEmpty())
            continue;
        const PreparedTemplate other = Prepare(presses[i]);
        MatchDetail detail;
        if (MatchScore(other, preparedBase, &detail) < threshold)
            return {};
        accumulate(other, preparedBase, detail, 1.0, acc);
        std::vector<char> paired(other.points.size(), 0);
        for (const auto &[pi, ri] : detail.pairs) {
            paired[pi] = 1;
            ++support[preparedBase.source[ri]];
        }
        const float c = std::cos(detail.rotation), s = std::sin(detail.rotation);
        const unsigned bit = 1u << (i % 32);
        for (int k = 0; k < int(other.points.size()); ++k) {
            if (paired[k])
                continue;
            const Point &p = other.points[k];
            const float x = c * p.x - s * p.y + detail.tx, y = s * p.x + c * p.y + detail.ty;
            const float theta = p.theta + detail.rotation;
            const float ct = std::cos(theta), st = std::sin(theta);
            Extra *home = nullptr;
            float nearest = ExtraDistance * ExtraDistance;
            for (Extra &e : extras) {
                if (e.type != p.type || (e.presses & bit))
                    continue;
                const float d2 = (e.x - x) * (e.x - x) + (e.y - y) * (e.y - y);
                if (d2 <= nearest && e.cosT * ct + e.sinT * st >= extraCos) {
                    nearest = d2;
                    home = &e;
                }
            }
            if (!home) {
                extras.emplace_back();
                home = &extras.back();
                home->type = p.type;
            }
            home->acc.add(x, y, theta, 1.0);
            home->presses |= bit;
            ++home->count;
            home->x = float(home->acc.x / home->acc.weight);
            home->y = float(home->acc.y / home->acc.weight);
            const double len = std::hypot(home->acc.dx, home->acc.dy);
            home->cosT = len > 0 ? float(home->acc.dx / len) : 1.0f;
            home->sinT = len > 0 ? float(home->acc.dy / len) : 0.0f;
        }
    }

    const int needed = usable >= 3 ? 2 : 1;
    const FingerTemplate averagedBase = averaged(base, acc);
    FingerTemplate out;
    for (int i = 0; i < int(averagedBase.minutiae.size()); ++i) {
        if (support[i] >= needed)
            out.minutiae.append(averagedBase.minutiae[i]);
    }
    for (const Extra &e : extras) {
        if (e.count < 2 || out.minutiae.size() >= MaxTemplateMinutiae)
            continue;
        Minutia m;
        m.x = qBound(0, int(std::lround(e.acc.x / e.acc.weight)), FingerSpace - 1);
        m.y = qBound(0, int(std::lround(e.acc.y / e.acc.weight)), FingerSpace - 1);
        m.direction = RadiansToDirection(float(std::atan2(e.acc.dy, e.acc.dx)));
        m.type = Minutia::Type(e.type);
        out.minutiae.append(m);
    }
    if (out.minutiae.size() > MaxTemplateMinutiae)
        out.minutiae.resize(MaxTemplateMinutiae);
    *ok = !out.isEmpty();
    return out;
}

bool LearnFromCapture(FingerTemplate &registered, const FingerTemplate &captured)
{
    const PreparedTemplate probe = Prepare(captured);
    const PreparedTemplate reference = Prepare(registered);
    MatchDetail detail;
    if (MatchScore(probe, reference, &detail) == 0)
        return false;
    std::vector<Accumulator> acc = seeded(registered, 3.0);
    accumulate(probe, reference, detail, 1.0, acc);
    const FingerTemplate learnt = averaged(registered, acc);
    const bool changed = learnt != registered;
    registered = learnt;
    return changed;
}

} // namespace cg::finger
