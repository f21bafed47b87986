#include "simulatedfinger.h"

#include "fingermatcher.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace cg::finger {

namespace {

constexpr double Pi = std::numbers::pi;

// Impression model.
constexpr double RotationLimitDeg = 30;
constexpr double ShiftLimitOfWidth = 0.25;
constexpr double PositionNoiseOfWidth = 0.03;
constexpr double DirectionNoiseDeg = 10;
constexpr double MinLoss = 0.15, MaxLoss = 0.30;
constexpr double MinSpurious = 0.05, MaxSpurious = 0.15;
constexpr double TypeFlipChance = 0.04;
constexpr double SmudgeChance = 0.01;
constexpr double MinSpacing = 18;

quint64 mix(quint64 z)
{
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

double wrapTurn(double a)
{
    a = std::fmod(a, 2 * Pi);
    return a < 0 ? a + 2 * Pi : a;
}

} // namespace

quint64 Random::next()
{
    m_state += 0x9e3779b97f4a7c15ULL;
    return mix(m_state);
}

double Random::uniform()
{
    return double(next() >> 11) * (1.0 / 9007199254740992.0);
}

double Random::normal()
{
    if (m_spare) {
        const double v = *m_spare;
        m_spare.reset();
        return v;
    }
    double u = 0;
    while (u <= 1e-300)
        u = uniform();
    const double v = uniform();
    const double r = std::sqrt(-2 * std::log(u));
    m_spare = r * std::sin(2 * Pi * v);
    return r * std::cos(2 * Pi * v);
}

quint64 HashKey(const QString &key)
{
    quint64 h = 0xcbf29ce484222325ULL; // FNV-1a
    for (char c : key.toUtf8()) {
        h ^= quint8(c);
        h *= 0x100000001b3ULL;
    }
    return mix(h);
}

double FingerModel::ridgeOrientation(double x, double y) const
{
    double theta = baseAngle;
    for (const Singularity &s : singularities)
        theta += s.sign * 0.5 * std::atan2(y - s.y, x - s.x);
    // A gentle bend so that arches are not straight.
    theta += 0.25 * std::sin((y - centreY) / halfHeight * Pi);
    return theta;
}

bool FingerModel::insidePrint(double x, double y, double margin) const
{
    const double u = (x - centreX) / (halfWidth * margin), v = (y - centreY) / (halfHeight * margin);
    return u * u + v * v <= 1.0;
}

FingerModel MakeFinger(const QString &key)
{
    FingerModel f;
    f.key = key;
    Random rng(HashKey(key));
    f.halfWidth = rng.uniform(135, 160);
    f.halfHeight = f.halfWidth * rng.uniform(1.25, 1.4);
    f.baseAngle = rng.uniform(-0.3, 0.3);

    // Pattern: arch, loop (one core, one delta) or whorl (two cores, two deltas).
    const double pattern = rng.uniform();
    const double coreX = f.centreX + rng.uniform(-40, 40), coreY = f.centreY + rng.uniform(-50, 30);
    if (pattern >= 0.25) {
        f.singularities.push_back({coreX, coreY, 1});
        const double side = rng.uniform() < 0.5 ? -1 : 1;
        f.singularities.push_back({coreX + side * rng.uniform(60, 120), coreY + rng.uniform(110, 170), -1});
        if (pattern >= 0.8) {
            f.singularities.push_back({coreX + rng.uniform(-25, 25), coreY + rng.uniform(25, 45), 1});
            f.singularities.push_back({coreX - side * rng.uniform(60, 120), coreY + rng.uniform(110, 170), -1});
        }
    }

    const int count = 35 + rng.below(21);
    double spacing = MinSpacing;
    int attempts = 0;
    while (f.master.minutiae.size() < count) {
        if (++attempts > 4000) { // very small print: accept closer spacing
            spacing *= 0.8;
            attempts = 0;
        }
        const double x = f.centreX + rng.uniform(-1, 1) * f.halfWidth;
        const double y = f.centreY + rng.uniform(-1, 1) * f.halfHeight;
        if (!f.insidePrint(x, y, 0.94))
            continue;
        bool tooClose = false;
        for (const Minutia &m : f.master.minutiae) {
            if (std::hypot(m.x - x, m.y - y) < spacing) {
                tooClose = true;
                break;
            }
        }
        if (tooClose)
            continue;
        Minutia m;
        m.x = int(std::lround(x));
        m.y = int(std::lround(y));
        const double along = f.ridgeOrientation(x, y) + (rng.uniform() < 0.5 ? 0 : Pi)
                             + rng.normal() * 4 * Pi / 180;
        m.direction = RadiansToDirection(float(along));
        m.type = rng.uniform() < 0.4 ? Minutia::Bifurcation : Minutia::Ending;
        f.master.minutiae.append(m);
    }
    return f;
}

Impression MakeImpression(const FingerModel &finger, quint64 pressSeed, const PressOptions &options)
{
    Impression imp;
    imp.key = finger.key;
    Random rng(HashKey(finger.key) ^ mix(pressSeed + 0x5eedULL));
    const double width = finger.printWidth();

    struct Work { double x, y, theta; Minutia::Type type; };
    std::vector<Work> points;
    for (const Minutia &m : finger.master.minutiae)
        points.push_back({double(m.x), double(m.y), double(DirectionToRadians(m.direction)), m.type});
    const int n = int(points.size());

    // Partial contact: a region of the print that did not touch, then random loss.
    const double loss = rng.uniform(MinLoss, MaxLoss);
    const int lost = int(std::lround(loss * n));
    const int regionLost = int(std::lround(lost * rng.uniform(0.3, 0.8)));
    const double cutAngle = rng.uniform(0, 2 * Pi);
    imp.cutX = std::cos(cutAngle);
    imp.cutY = std::sin(cutAngle);
    auto projection = [&](const Work &w) {
        return (w.x - finger.centreX) * imp.cutX + (w.y - finger.centreY) * imp.cutY;
    };
    std::sort(points.begin(), points.end(),
              [&](const Work &a, const Work &b) { return projection(a) > projection(b); });
    if (regionLost > 0) {
        const double last = projection(points[regionLost - 1]);
        const double next = regionLost < n ? projection(points[regionLost]) : last - 20;
        imp.cutLimit = (last + next) / 2;
        points.erase(points.begin(), points.begin() + regionLost);
    }
    for (int k = regionLost; k < lost && !points.empty(); ++k)
        points.erase(points.begin() + rng.below(int(points.size())));

    // Spurious minutiae inside the contact area, along the ridges.
    const int spurious = int(std::lround(rng.uniform(MinSpurious, MaxSpurious) * n));
    for (int k = 0, tries = 0; k < spurious && tries < 1000; ++tries) {
        Work w;
        w.x = finger.centreX + rng.uniform(-1, 1) * finger.halfWidth;
        w.y = finger.centreY + rng.uniform(-1, 1) * finger.halfHeight;
        if (!finger.insidePrint(w.x, w.y, 0.94) || projection(w) > imp.cutLimit)
            continue;
        w.theta = finger.ridgeOrientation(w.x, w.y) + (rng.uniform() < 0.5 ? 0 : Pi);
        w.type = rng.uniform() < 0.4 ? Minutia::Bifurcation : Minutia::Ending;
        points.push_back(w);
        ++k;
    }

    // Noise of the press.
    const double sigma = PositionNoiseOfWidth * width;
    for (Work &w : points) {
        w.x += rng.normal() * sigma;
        w.y += rng.normal() * sigma;
        w.theta += rng.normal() * DirectionNoiseDeg * Pi / 180;
        if (rng.uniform() < TypeFlipChance)
            w.type = w.type == Minutia::Ending ? Minutia::Bifurcation : Minutia::Ending;
    }

    // Pose of the finger on the sensor.
    imp.rotationDeg = options.rotationDeg.value_or(rng.uniform(-RotationLimitDeg, RotationLimitDeg));
    const double shiftAngle = rng.uniform(0, 2 * Pi);
    const double shiftLength = std::sqrt(rng.uniform()) * ShiftLimitOfWidth * width;
    imp.shiftX = options.shiftX.value_or(shiftLength * std::cos(shiftAngle));
    imp.shiftY = options.shiftY.value_or(shiftLength * std::sin(shiftAngle));

    imp.smudged = options.poor || rng.uniform() < SmudgeChance;
    if (imp.smudged) {
        // A smeared press: most features are lost.
        while (points.size() > 8)
            points.erase(points.begin() + rng.below(int(points.size())));
    }

    const double rot = imp.rotationDeg * Pi / 180;
    const double c = std::cos(rot), s = std::sin(rot);
    for (int k = int(points.size()) - 1; k > 0; --k) // shuffle: order says nothing
        std::swap(points[k], points[rng.below(k + 1)]);
    for (const Work &w : points) {
        const double dx = w.x - finger.centreX, dy = w.y - finger.centreY;
        const double x = finger.centreX + c * dx - s * dy + imp.shiftX;
        const double y = finger.centreY + s * dx + c * dy + imp.shiftY;
        if (x < 0 || y < 0 || x > FingerSpace - 1 || y > FingerSpace - 1)
            continue;
        Minutia m;
        m.x = int(std::lround(x));
        m.y = int(std::lround(y));
        m.direction = RadiansToDirection(float(wrapTurn(w.theta + rot)));
        m.type = w.type;
        imp.features.minutiae.append(m);
    }

    if (imp.smudged)
        imp.quality = QualitySmudged;
    else if (imp.features.minutiae.size() < MinUsableMinutiae)
        imp.quality = QualityTooFewFeatures;
    return imp;
}

QImage RenderImpression(const FingerModel &finger, const Impression &imp)
{
    constexpr int Side = 256;
    constexpr double UnitsPerPixel = double(FingerSpace) / Side;
    constexpr double RidgePeriod = 9.0; // units between ridges
    QImage image(Side, Side, QImage::Format_Grayscale8);
    image.fill(235);

    const double rot = imp.rotationDeg * Pi / 180;
    const double c = std::cos(rot), s = std::sin(rot);
    Random grain(HashKey(finger.key) ^ quint64(qint64(imp.shiftX * 1000)) ^ quint64(qint64(imp.shiftY * 7)));
    for (int py = 0; py < Side; ++py) {
        uchar *line = image.scanLine(py);
        for (int px = 0; px < Side; ++px) {
            // Back from the sensor to the master print.
            const double sx = (px + 0.5) * UnitsPerPixel - finger.centreX - imp.shiftX;
            const double sy = (py + 0.5) * UnitsPerPixel - finger.centreY - imp.shiftY;
            const double mx = finger.centreX + c * sx + s * sy;
            const double my = finger.centreY - s * sx + c * sy;
            if (!finger.insidePrint(mx, my))
                continue;
            const double proj = (mx - finger.centreX) * imp.cutX + (my - finger.centreY) * imp.cutY;
            if (proj > imp.cutLimit)
                continue;
            const double theta = finger.ridgeOrientation(mx, my);
            // Distance across the ridges, measured along the ridge normal.
            const double across = -(mx - finger.centreX) * std::sin(theta) + (my - finger.centreY) * std::cos(theta);
            double v = 0.5 + 0.5 * std::cos(2 * Pi * across / RidgePeriod);
            if (imp.smudged)
                v = 0.5 + 0.3 * (v - 0.5);
            const double noise = (grain.uniform() - 0.5) * 0.2;
            line[px] = uchar(std::clamp(40.0 + 190.0 * (v + noise), 0.0, 255.0));
        }
    }
    return image;
}

} // namespace cg::finger
