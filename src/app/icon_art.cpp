#include "app/icon_art.h"

#include <cmath>

namespace {

struct Colour {
    double r, g, b;
    bool opaque;
};

constexpr double kPi = 3.14159265358979323846;

// The artwork in unit coordinates: (0,0) top-left, (1,1) bottom-right.
// Radii are fractions of the icon's width, so every size shows one shape.
constexpr double kRimOuter = 0.47;
constexpr double kRimInner = 0.405;
constexpr double kHoleRing = 0.235;  // distance of the hole centres
constexpr double kHoleRadius = 0.105;
constexpr double kHoleEdge = 0.125;  // dark lip around each hole
constexpr double kHubRadius = 0.085;
constexpr double kPinRadius = 0.03;
constexpr int kHoles = 5;

const Colour kClear = {0, 0, 0, false};
const Colour kRim = {0x2a, 0x34, 0x4d, true};
const Colour kHub = {0x2f, 0x3b, 0x58, true};
const Colour kPin = {0xe8, 0xee, 0xf6, true};

double Distance(double x, double y, double cx, double cy) { return std::hypot(x - cx, y - cy); }

// The reel face runs from a warm gold at the top-left to a deep orange at
// the bottom-right, with a soft light on the upper left.
Colour Face(double x, double y) {
    const double t = std::fmin(1.0, std::fmax(0.0, (x + y - 0.1) / 1.8));
    const double light = std::fmax(0.0, 1.0 - Distance(x, y, 0.33, 0.3) / 0.3) * 0.35;
    auto mix = [&](double a, double b) {
        return a + (b - a) * t + (255.0 - (a + (b - a) * t)) * light;
    };
    return {mix(0xf7, 0xe0), mix(0xc0, 0x62), mix(0x45, 0x2a), true};
}

Colour Sample(double x, double y) {
    const double d = Distance(x, y, 0.5, 0.5);
    if (d > kRimOuter) return kClear;
    if (d > kRimInner) return kRim;
    if (d < kPinRadius) return kPin;
    if (d < kHubRadius) return kHub;
    for (int i = 0; i < kHoles; ++i) {
        // The first hole points straight up.
        const double angle = -kPi / 2 + i * 2 * kPi / kHoles;
        const double hx = 0.5 + kHoleRing * std::cos(angle);
        const double hy = 0.5 + kHoleRing * std::sin(angle);
        const double h = Distance(x, y, hx, hy);
        if (h < kHoleRadius) return kClear;
        if (h < kHoleEdge) return kRim;
    }
    return Face(x, y);
}

}  // namespace

std::vector<uint8_t> DrawReelIcon(int size) {
    if (size < 1) return {};
    // A fixed grid of samples per pixel: edges get partial alpha, and the
    // result does not depend on anything but the size.
    constexpr int kGrid = 6;
    std::vector<uint8_t> rgba(static_cast<size_t>(size) * static_cast<size_t>(size) * 4);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            double r = 0, g = 0, b = 0;
            int covered = 0;
            for (int sy = 0; sy < kGrid; ++sy) {
                for (int sx = 0; sx < kGrid; ++sx) {
                    const double x = (px + (sx + 0.5) / kGrid) / size;
                    const double y = (py + (sy + 0.5) / kGrid) / size;
                    const Colour c = Sample(x, y);
                    if (!c.opaque) continue;
                    r += c.r;
                    g += c.g;
                    b += c.b;
                    ++covered;
                }
            }
            uint8_t* out = &rgba[(static_cast<size_t>(py) * size + px) * 4];
            if (covered == 0) continue;  // stays (0, 0, 0, 0)
            // Straight alpha: the colour is the mean of the covered samples.
            out[0] = static_cast<uint8_t>(std::lround(r / covered));
            out[1] = static_cast<uint8_t>(std::lround(g / covered));
            out[2] = static_cast<uint8_t>(std::lround(b / covered));
            out[3] = static_cast<uint8_t>(std::lround(255.0 * covered / (kGrid * kGrid)));
        }
    }
    return rgba;
}
