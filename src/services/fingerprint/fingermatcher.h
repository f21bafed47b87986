#pragma once

#include "fingertemplate.h"

#include <array>
#include <vector>

namespace cg::finger {

// Matching works on a prepared form of a template: minutiae as floating
// point (direction in radians) and, per minutia, its nearest neighbours
// described relative to the minutia itself (distance, bearing of the
// neighbour, neighbour's direction), which does not change when the print is
// turned or moved.
constexpr int NeighbourCount = 6;

struct Point {
    float x = 0, y = 0, theta = 0;
    float cosTheta = 1, sinTheta = 0;
    int direction = 0; // theta in 256 steps a turn
    int type = 0;
};

struct Neighbour {
    float distance = 0;
    float bearing = 0;   // direction of the line to the neighbour, relative to theta, [0, 2pi)
    float turn = 0;      // neighbour's direction relative to theta, [0, 2pi)
    int bearingSteps = 0, turnSteps = 0; // the same in 256 steps a turn
    int index = 0;
    int type = 0; // the neighbour's minutia type
};

// Points are kept sorted by x (the pairing searches a window of x);
// `source` gives each point's position in the original template.
struct PreparedTemplate {
    std::vector<Point> points;
    std::vector<int> source;
    std::vector<std::array<Neighbour, NeighbourCount>> neighbours;
    std::vector<int> neighbourCounts;

    bool isEmpty() const { return points.empty(); }
};

PreparedTemplate Prepare(const FingerTemplate &t);

// How a probe was laid onto a reference: reference = R(rotation) * probe + (tx, ty),
// and which probe minutia went with which reference minutia.
struct MatchDetail {
    float rotation = 0, tx = 0, ty = 0;
    std::vector<std::pair<int, int>> pairs; // (probe index, reference index)
};

// Similarity of two prints. The probe is laid onto the reference by the rigid
// alignment that pairs the most minutiae one-to-one (same type, within 30
// units and 30 degrees; relative turns beyond MaxRelativeRotationDeg are not
// considered). The score weighs the p paired minutiae by the share of both
// prints they cover:
//     score = 40 * p * p / (max(n1, 20) * max(n2, 20)), 0 when p < 6
// so 40 means every minutia of both prints paired. Unrelated prints of this
// density pair quite a few minutiae by chance, but only a small share of
// their minutiae; the normalisation is what separates them from a genuine
// press. The stations accept 8 (1:N) and 10 (enrolment compare).
int MatchScore(const PreparedTemplate &probe, const PreparedTemplate &reference,
               MatchDetail *detail = nullptr);

constexpr float MaxRelativeRotationDeg = 70.0f;
constexpr int ScoreScale = 40;
constexpr int ScoreFloorCount = 20;
constexpr int MinScoringPairs = 6;
int ScoreFromPairs(int pairs, int probeCount, int referenceCount);

// Angle helpers shared with the index.
float WrapAngle(float a);            // into [0, 2pi)
float AngleDifference(float a, float b); // a - b into (-pi, pi]
float DirectionToRadians(int direction);
int RadiansToDirection(float radians);

} // namespace cg::finger

namespace cg::finger {

// Enrolment from several presses: the press with the most minutiae is the
// base; every other press must match it with at least `threshold`, and the
// paired minutiae are averaged into the base. *ok is false (and the result
// empty) when a press does not match or there is no usable press.
FingerTemplate MergePresses(const std::vector<FingerTemplate> &presses, int threshold, bool *ok);

// Moves the paired minutiae of `registered` a quarter of the way toward a
// matching capture. Answers whether anything moved.
bool LearnFromCapture(FingerTemplate &registered, const FingerTemplate &captured);

} // namespace cg::finger
