#pragma once

#include "fingertemplate.h"

#include <QImage>
#include <QString>

#include <optional>

namespace cg::finger {

// Small deterministic generator (SplitMix64) so that fingers and presses
// come out the same on every platform and standard library.
class Random {
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next();
    double uniform();                         // [0, 1)
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return int(uniform() * n); }
    double normal();                          // mean 0, deviation 1

private:
    quint64 m_state;
    std::optional<double> m_spare;
};

quint64 HashKey(const QString &key);

// A simulated finger: everything about it derives from its key text (for
// example "D0001/formal"). The print is an ellipse around the middle of the
// coordinate space; ridges follow an orientation field with cores and deltas
// drawn from the key; the minutiae are spread over the print with a minimum
// spacing and run along the ridges.
struct FingerModel {
    QString key;
    double centreX = FingerSpace / 2.0, centreY = FingerSpace / 2.0;
    double halfWidth = 150, halfHeight = 200;
    double baseAngle = 0;
    struct Singularity { double x, y, sign; };
    std::vector<Singularity> singularities;
    FingerTemplate master;

    double printWidth() const { return 2 * halfWidth; }
    // Ridge orientation (radians, modulo pi) at a point of the master print.
    double ridgeOrientation(double x, double y) const;
    bool insidePrint(double x, double y, double margin = 1.0) const;
};

FingerModel MakeFinger(const QString &key);

// Per-press overrides, for tests that need a particular pose.
struct PressOptions {
    std::optional<double> rotationDeg;
    std::optional<double> shiftX, shiftY;
    bool poor = false;      // force a smudged press
};

// Feature quality codes of a press.
enum FeatureQualityCode { QualityGood = 0, QualityTooFewFeatures = 1, QualitySmudged = 2 };
constexpr int MinUsableMinutiae = 12;

// One press of a finger on the reader: the finger's minutiae after
// partial contact (a missing region plus random loss, 15-30 % in all),
// spurious additions (5-15 %), position and direction noise (3 % of the
// print width and 10 degrees), a rotation within +-30 degrees and a shift of
// up to a quarter of the print width.
struct Impression {
    QString key;
    FingerTemplate features;
    int quality = QualityGood;
    double rotationDeg = 0, shiftX = 0, shiftY = 0;
    // Contact: points of the master print whose projection on (cutX, cutY)
    // exceeds cutLimit did not touch the sensor.
    double cutX = 1, cutY = 0, cutLimit = 1e9;
    bool smudged = false;
};

Impression MakeImpression(const FingerModel &finger, quint64 pressSeed, const PressOptions &options = {});

// Greyscale picture of the impression as the sensor would show it:
// ridges following the finger's orientation field inside the contact area.
QImage RenderImpression(const FingerModel &finger, const Impression &impression);

} // namespace cg::finger
