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

// The same from minutiae already in x order (points.x ascending), into a
// template whose buffers are reused: the identification cache prepares its
// shortlisted candidates this way, from the four bytes a minutia it keeps.
// PointFrom fills in theta, cosine and sine exactly as Prepare does.
Point PointFrom(int x, int y, int direction, int type);
void PrepareInOrder(PreparedTemplate &p);

// How a probe was laid onto a reference: reference = R(rotation) * probe + (tx, ty),
// and which probe minutia went with which reference minutia.
struct MatchDetail {
    float rotation = 0, tx = 0, ty = 0;
    std::vector<std::pair<int, int>> pairs; // (probe index, reference index)
};

// Similarity of two prints. The probe is laid onto the reference by the rigid
// alignment under which the paired minutiae weigh most. Minutiae pair
// one-to-one (same type, within 30 units and 30 degrees; relative turns
// beyond MaxRelativeRotationDeg are not considered), and each pair weighs
// w = 1 - (d / 30)^2 for the distance d left between its two minutiae: two
// presses of one finger leave some 10 units, while minutiae that pair by
// chance lie anywhere in the 30-unit circle (w 0.5 on average). The score
// weighs the pairs' total W by the share of both prints it covers:
//     score = 80 * W * W / (max(n1, 20) * max(n2, 20)), 0 when fewer than 6 pairs
// so 80 would mean every minutia of both prints paired at the very same
// place. Unrelated prints of this density pair quite a few minutiae by
// chance, but loosely and only a small share of them; the weights and the
// normalisation are what separate them from a genuine press. The stations
// accept 8 (1:N, where the cache raises the level further) and 10 (1:1).
int MatchScore(const PreparedTemplate &probe, const PreparedTemplate &reference,
               MatchDetail *detail = nullptr);
// The same score before it is rounded down: identification compares
// candidates and margins on this finer value.
float ExactMatchScore(const PreparedTemplate &probe, const PreparedTemplate &reference,
                      MatchDetail *detail = nullptr);

constexpr float MaxRelativeRotationDeg = 70.0f;
constexpr int ScoreScale = 80;
constexpr int ScoreFloorCount = 20;
constexpr int MinScoringPairs = 6;
float ScoreFromPairs(float weight, int pairs, int probeCount, int referenceCount);

// Angle helpers shared with the index.
float WrapAngle(float a);            // into [0, 2pi)
float AngleDifference(float a, float b); // a - b into (-pi, pi]
float DirectionToRadians(int direction);
int RadiansToDirection(float radians);

} // namespace cg::finger

namespace cg::finger {

// Enrolment from several presses. The press with the most minutiae is the
// base; every other press must match it with at least `threshold` and is
// laid onto it. A minutia of the result is the average of what the presses
// saw at one place; with three or more presses it must have been seen in at
// least two of them, which drops most of the spurious minutiae of single
// presses and adds the minutiae the base press missed. With two presses
// every minutia of the base stays. *ok is false (and the result empty)
// when a press does not match or there is no usable press.
FingerTemplate MergePresses(const std::vector<FingerTemplate> &presses, int threshold, bool *ok);

// Moves the paired minutiae of `registered` a quarter of the way toward a
// matching capture. Answers whether anything moved.
bool LearnFromCapture(FingerTemplate &registered, const FingerTemplate &captured);

} // namespace cg::finger
