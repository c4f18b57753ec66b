// Writes a demo folder of animated GIFs, all drawn here, for trying the
// viewer and for screenshots. Each file also exercises something the viewer
// must handle: a file wider than any column, an interlaced file, restore to
// background, transparency over frames that keep changing, local colour
// tables, delays from 4 to 150 hundredths. The output is the same on every
// run: no clock, no unseeded randomness.
// Usage: make_demo_gifs OUTPUT_FOLDER
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gif_encoder.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTau = 2 * kPi;

double Frac(double v) { return v - std::floor(v); }
double Clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }

struct Rgb {
    double r, g, b;  // 0..255
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Hue in turns, saturation and value in 0..1.
Rgb Hsv(double h, double s, double v) {
    h = Frac(h) * 6;
    const int sector = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r = 0, g = 0, b = 0;
    switch (sector) {
        case 0:
            r = v, g = t, b = p;
            break;
        case 1:
            r = q, g = v, b = p;
            break;
        case 2:
            r = p, g = v, b = t;
            break;
        case 3:
            r = p, g = q, b = v;
            break;
        case 4:
            r = t, g = p, b = v;
            break;
        default:
            r = v, g = p, b = q;
            break;
    }
    return {r * 255, g * 255, b * 255};
}

class Palette {
public:
    // Returns the new entry's index.
    int Add(Rgb c) {
        bytes_.push_back(Channel(c.r));
        bytes_.push_back(Channel(c.g));
        bytes_.push_back(Channel(c.b));
        return static_cast<int>(bytes_.size() / 3 - 1);
    }
    // count entries running from a to b; returns the first index.
    int Ramp(Rgb a, Rgb b, int count) {
        const int first = Size();
        for (int i = 0; i < count; ++i) Add(Mix(a, b, count > 1 ? double(i) / (count - 1) : 0.0));
        return first;
    }
    // count entries along the stops, closing back onto the first one, so
    // that cycling through them never jumps.
    int Cycle(const std::vector<Rgb>& stops, int count) {
        const int first = Size();
        for (int i = 0; i < count; ++i) {
            const double pos = double(i) / count * stops.size();
            const size_t at = static_cast<size_t>(pos);
            Add(Mix(stops[at], stops[(at + 1) % stops.size()], pos - at));
        }
        return first;
    }
    int Size() const { return static_cast<int>(bytes_.size() / 3); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    static uint8_t Channel(double v) {
        return static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, v))));
    }
    std::vector<uint8_t> bytes_;
};

// A picture of palette indices, rows top to bottom. Drawing outside it is
// clipped; every shape is decided at pixel centres.
struct Picture {
    Picture(int w, int h, int fill = 0)
        : width(w), height(h), px(static_cast<size_t>(w) * h, static_cast<uint8_t>(fill)) {}
    int width, height;
    std::vector<uint8_t> px;

    uint8_t Get(int x, int y) const { return px[static_cast<size_t>(y) * width + x]; }
    void Set(int x, int y, int index) {
        if (x >= 0 && y >= 0 && x < width && y < height)
            px[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(index);
    }
    template <typename F>  // f(x, y) -> index, or -1 to leave the pixel
    void Each(F f) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int i = f(x, y);
                if (i >= 0) px[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(i);
            }
    }
    // Calls f(x, y, u, v) for the pixels inside the ellipse, u and v being
    // the position inside it in -1..1.
    template <typename F>
    void Ellipse(double cx, double cy, double rx, double ry, F f) {
        const int x0 = static_cast<int>(std::floor(cx - rx)),
                  x1 = static_cast<int>(std::ceil(cx + rx));
        const int y0 = static_cast<int>(std::floor(cy - ry)),
                  y1 = static_cast<int>(std::ceil(cy + ry));
        for (int y = std::max(0, y0); y <= std::min(height - 1, y1); ++y)
            for (int x = std::max(0, x0); x <= std::min(width - 1, x1); ++x) {
                const double u = (x + 0.5 - cx) / rx, v = (y + 0.5 - cy) / ry;
                if (u * u + v * v <= 1.0) Set(x, y, f(x, y, u, v));
            }
    }
    void Disk(double cx, double cy, double r, int index) {
        Ellipse(cx, cy, r, r, [&](int, int, double, double) { return index; });
    }
    void Rect(double x0, double y0, double x1, double y1, int index) {
        for (int y = std::max(0, static_cast<int>(std::ceil(y0 - 0.5)));
             y < std::min(height, static_cast<int>(std::ceil(y1 - 0.5))); ++y)
            for (int x = std::max(0, static_cast<int>(std::ceil(x0 - 0.5)));
                 x < std::min(width, static_cast<int>(std::ceil(x1 - 0.5))); ++x)
                Set(x, y, index);
    }
    void Triangle(double ax, double ay, double bx, double by, double cx, double cy, int index) {
        auto edge = [](double px, double py, double qx, double qy, double x, double y) {
            return (qx - px) * (y - py) - (qy - py) * (x - px);
        };
        const int x0 = static_cast<int>(std::floor(std::min({ax, bx, cx}))),
                  x1 = static_cast<int>(std::ceil(std::max({ax, bx, cx})));
        const int y0 = static_cast<int>(std::floor(std::min({ay, by, cy}))),
                  y1 = static_cast<int>(std::ceil(std::max({ay, by, cy})));
        for (int y = std::max(0, y0); y <= std::min(height - 1, y1); ++y)
            for (int x = std::max(0, x0); x <= std::min(width - 1, x1); ++x) {
                const double px = x + 0.5, py = y + 0.5;
                const double e0 = edge(ax, ay, bx, by, px, py), e1 = edge(bx, by, cx, cy, px, py),
                             e2 = edge(cx, cy, ax, ay, px, py);
                if ((e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0))
                    Set(x, y, index);
            }
    }
    void Line(double ax, double ay, double bx, double by, double thickness, int index) {
        const int steps = std::max(1, static_cast<int>(std::hypot(bx - ax, by - ay) * 2));
        for (int i = 0; i <= steps; ++i) {
            const double t = double(i) / steps;
            Disk(ax + (bx - ax) * t, ay + (by - ay) * t, thickness / 2, index);
        }
    }
};

// A small deterministic generator (a 32-bit LCG, high bits used).
struct Lcg {
    uint32_t state;
    uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    double Unit() { return Next() / 16777216.0; }
};

EncodedImage Whole(const Picture& p, int delay) {
    EncodedImage image;
    image.width = p.width;
    image.height = p.height;
    image.indices = p.px;
    image.delay = delay;
    return image;
}

EncodedGif Screen(int width, int height, const Palette& palette) {
    EncodedGif gif;
    gif.screenWidth = width;
    gif.screenHeight = height;
    gif.globalPalette = palette.Bytes();
    return gif;
}

// --- the demos ----------------------------------------------------------

// Colour-cycled plasma: three interfering waves over a closed gradient.
EncodedGif Plasma() {
    const int W = 160, H = 120, N = 24;
    Palette pal;
    pal.Cycle({{25, 12, 70},
               {120, 30, 150},
               {235, 70, 110},
               {255, 185, 70},
               {90, 215, 165},
               {30, 100, 175}},
              256);
    EncodedGif gif = Screen(W, H, pal);
    for (int k = 0; k < N; ++k) {
        const double t = kTau * k / N;
        Picture p(W, H);
        p.Each([&](int x, int y) {
            const double cx = x - 80 - 30 * std::cos(t), cy = y - 60 - 20 * std::sin(t);
            const double v = std::sin(x * 0.09 + t) + std::sin(y * 0.11 - t) +
                             std::sin(std::hypot(cx, cy) * 0.085) +
                             std::sin(x * 0.05 + y * 0.07 + 2 * t);
            return static_cast<int>(Frac(v / 8 + 0.5 + double(k) / N) * 256) & 255;
        });
        gif.images.push_back(Whole(p, 4));
    }
    return gif;
}

// Four shaded balls bouncing over a dusk sky and a wooden floor, with
// shadows that shrink as a ball rises.
EncodedGif Balls() {
    const int W = 240, H = 180, N = 30, floorY = 150;
    Palette pal;
    const int sky = pal.Ramp({40, 40, 110}, {245, 160, 130}, 48);
    const int wood = pal.Ramp({150, 100, 60}, {95, 60, 35}, 8);
    const int shadow = pal.Add({60, 38, 25});
    while (pal.Size() < 64) pal.Add({0, 0, 0});
    const Rgb bases[4] = {{230, 50, 60}, {60, 190, 90}, {60, 110, 235}, {250, 200, 40}};
    for (const Rgb& base : bases) {
        pal.Ramp(Mix(base, {0, 0, 0}, 0.8), base, 36);
        pal.Ramp(Mix(base, {255, 255, 255}, 0.1), {255, 255, 255}, 12);
    }
    struct Ball {
        double radius, phase, height;
        int bounces;
    };
    const Ball balls[4] = {
        {16, 0.0, 95, 2}, {12, 0.35, 70, 3}, {20, 0.6, 110, 1}, {10, 0.8, 60, 3}};
    EncodedGif gif = Screen(W, H, pal);
    for (int k = 0; k < N; ++k) {
        Picture p(W, H);
        p.Each([&](int x, int y) {
            return y < floorY ? sky + y * 48 / floorY
                              : wood + ((x / 24 + (y - floorY) / 6) % 2) * 3 +
                                    (y - floorY) * 4 / (H - floorY);
        });
        double bx[4], by[4];
        for (int i = 0; i < 4; ++i) {
            const Ball& b = balls[i];
            const double s = double(k) / N + b.phase;
            bx[i] = W / 2.0 + (W / 2.0 - b.radius - 8) * std::sin(kTau * s);
            const double lift = std::fabs(std::sin(kPi * s * b.bounces));
            by[i] = floorY - b.radius - b.height * lift;
            p.Ellipse(bx[i], floorY + 4, b.radius * (1.1 - 0.5 * lift), 3.5 - 1.5 * lift,
                      [&](int, int, double, double) { return shadow; });
        }
        for (int i = 0; i < 4; ++i) {
            const int first = 64 + i * 48;
            p.Ellipse(
                bx[i], by[i], balls[i].radius, balls[i].radius, [&](int, int, double u, double v) {
                    const double w = std::sqrt(std::max(0.0, 1 - u * u - v * v));
                    const double diffuse = std::max(0.0, -0.45 * u - 0.55 * v + 0.7 * w);
                    const double shine = std::pow(std::max(0.0, -0.4 * u - 0.5 * v + 0.77 * w), 24);
                    const double tone = Clamp01(0.15 + 0.75 * diffuse);
                    return shine > 0.3 ? first + 36 + static_cast<int>(Clamp01(shine) * 11)
                                       : first + static_cast<int>(tone * 35);
                });
        }
        gif.images.push_back(Whole(p, 3));
    }
    return gif;
}

// A pinwheel of five rings turning in alternate directions; each ring moves
// two spokes per loop, so the last frame leads back into the first.
EncodedGif Pinwheel() {
    const int W = 200, H = 200, N = 20;
    Palette pal;
    const int back = pal.Ramp({35, 40, 80}, {12, 12, 30}, 16);
    const int rings = pal.Size();
    for (int r = 0; r < 5; ++r) {
        pal.Add(Hsv(0.08 + r * 0.19, 0.75, 1.0));
        pal.Add(Hsv(0.08 + r * 0.19, 0.35, 1.0));
    }
    const int hub = pal.Add({250, 245, 230});
    const int line = pal.Add({30, 30, 50});
    EncodedGif gif = Screen(W, H, pal);
    const double ringWidth = 92.0 / 5;
    for (int k = 0; k < N; ++k) {
        Picture p(W, H);
        p.Each([&](int x, int y) {
            const double dx = x + 0.5 - W / 2.0, dy = y + 0.5 - H / 2.0;
            const double r = std::hypot(dx, dy);
            if (r > 92) return back + std::min(15, static_cast<int>((r - 92) / 3));
            if (r < 9) return r < 7 ? hub : line;
            const int ring = std::min(4, static_cast<int>(r / ringWidth));
            if (std::fmod(r, ringWidth) < 1.2) return line;
            const double turn = (ring % 2 ? -1.0 : 1.0) * double(k) / N * (2.0 / 12);
            const int spoke = static_cast<int>(Frac(std::atan2(dy, dx) / kTau + turn) * 12);
            return rings + ring * 2 + spoke % 2;
        });
        gif.images.push_back(Whole(p, 5));
    }
    return gif;
}

// Evening hills in three layers scrolling at three speeds, wider than any
// column so that the viewer scales it down. Each layer's outline repeats
// after the distance it travels in one loop.
EncodedGif WideHills() {
    const int W = 600, H = 200, N = 32;
    Palette pal;
    const int sky = pal.Ramp({60, 70, 150}, {250, 175, 120}, 40);
    const int sun = pal.Ramp({255, 250, 210}, {255, 205, 120}, 4);
    const int layers = pal.Size();
    const Rgb tops[3] = {{150, 140, 185}, {95, 140, 120}, {55, 100, 60}};
    for (const Rgb& top : tops) pal.Ramp(top, Mix(top, {0, 0, 0}, 0.45), 12);
    const int trunk = pal.Add({60, 40, 30});
    const int leaves = pal.Add({30, 75, 40});
    EncodedGif gif = Screen(W, H, pal);
    struct Layer {
        double base;
        int repeat;  // outline repeats every W / repeat pixels
        double amplitude;
    };
    const Layer layer[3] = {{95, 4, 22}, {130, 2, 18}, {160, 1, 14}};
    for (int k = 0; k < N; ++k) {
        Picture p(W, H);
        p.Each([&](int, int y) { return sky + std::min(39, y * 40 / 150); });
        p.Ellipse(440, 70, 30, 30, [&](int, int, double u, double v) {
            return sun + std::min(3, static_cast<int>(std::hypot(u, v) * 4));
        });
        for (int l = 0; l < 3; ++l) {
            const int m = layer[l].repeat;
            const double shift = double(k) / N * W / m;
            auto ridge = [&](double x) {
                const double a = kTau * m * (x + shift) / W;
                return layer[l].base -
                       layer[l].amplitude * (0.6 * std::sin(a) + 0.3 * std::sin(3 * a + 1.3) +
                                             0.2 * std::sin(5 * a + 0.4));
            };
            for (int x = 0; x < W; ++x) {
                const double top = ridge(x + 0.5);
                for (int y = std::max(0, static_cast<int>(std::ceil(top - 0.5))); y < H; ++y)
                    p.Set(x, y, layers + l * 12 + std::min(11, static_cast<int>((y - top) / 5)));
            }
            if (l == 2) {
                // Trees stand on the front layer and travel with it.
                for (int t = 0; t < 9; ++t) {
                    const double at = (t * 67 + (t * t * 13) % 40);
                    const double x = std::fmod(at - shift + 2.0 * W, W);
                    const double foot = ridge(x) + 3;
                    const double size = 10 + (t * 7) % 9;
                    for (double wrap : {x, x - W, x + W}) {
                        p.Rect(wrap - 1.5, foot - size * 0.5, wrap + 1.5, foot + 2, trunk);
                        p.Triangle(wrap - size * 0.55, foot - size * 0.4, wrap + size * 0.55,
                                   foot - size * 0.4, wrap, foot - size * 1.9, leaves);
                    }
                }
            }
        }
        gif.images.push_back(Whole(p, 6));
    }
    return gif;
}

// Rainbow rings running outward, stored interlaced.
EncodedGif InterlacedRings() {
    const int W = 180, H = 180, N = 12;
    Palette pal;
    for (int i = 0; i < 12; ++i) pal.Add(Hsv(i / 12.0, 0.7, 1.0));
    EncodedGif gif = Screen(W, H, pal);
    for (int k = 0; k < N; ++k) {
        Picture p(W, H);
        p.Each([&](int x, int y) {
            const double dx = x + 0.5 - W / 2.0, dy = y + 0.5 - H / 2.0;
            const double r = std::hypot(dx, dy) + 3 * std::sin(6 * std::atan2(dy, dx));
            return ((static_cast<int>(r / 7) - k) % 12 + 12) % 12;
        });
        EncodedImage image = Whole(p, 8);
        image.interlaced = true;
        gif.images.push_back(image);
    }
    return gif;
}

// A spinning beach ball bouncing on nothing: every frame is only the ball's
// square, and each asks for restore to background, so the canvas is clear
// again before the next one and the ball leaves no trail.
EncodedGif DisposalBall() {
    const int W = 220, H = 160, N = 20, R = 22;
    Palette pal;
    const int clear = pal.Add({0, 0, 0});
    const Rgb segments[4] = {{250, 250, 245}, {235, 60, 50}, {40, 110, 220}, {250, 205, 40}};
    for (const Rgb& c : segments) pal.Ramp(Mix(c, {0, 0, 0}, 0.7), c, 16);
    EncodedGif gif = Screen(W, H, pal);
    gif.backgroundIndex = clear;
    for (int k = 0; k < N; ++k) {
        const double cx = W / 2.0 + (W / 2.0 - R - 4) * std::sin(kTau * k / N);
        const double cy = (H - R - 3) - (H - 2 * R - 8) * std::fabs(std::sin(kPi * 3.0 * k / N));
        const int left = static_cast<int>(std::lround(cx)) - R,
                  top = static_cast<int>(std::lround(cy)) - R;
        Picture p(2 * R + 1, 2 * R + 1, clear);
        p.Ellipse(R + 0.5, R + 0.5, R, R, [&](int, int, double u, double v) {
            const double w = std::sqrt(std::max(0.0, 1 - u * u - v * v));
            const double tone = Clamp01(0.2 + 0.8 * std::max(0.0, -0.4 * u - 0.5 * v + 0.77 * w));
            const int segment =
                static_cast<int>(Frac(std::atan2(v, u) / kTau + double(k) / N) * 6) % 4;
            return 1 + segment * 16 + static_cast<int>(tone * 15);
        });
        EncodedImage image = Whole(p, 4);
        image.left = left;
        image.top = top;
        image.disposal = 2;
        image.transparentIndex = clear;
        gif.images.push_back(image);
    }
    return gif;
}

// Fish in a tank with rounded corners. The water's light keeps moving, and
// each frame after the first stores only the pixels that changed inside
// their bounding box, the rest transparent: transparency over a background
// that is itself different every frame. The corners are never drawn and
// stay see-through.
EncodedGif Aquarium() {
    const int W = 240, H = 160, N = 18;
    Palette pal;
    const int none = pal.Add({0, 0, 0});
    const int water = pal.Ramp({70, 185, 210}, {15, 55, 120}, 24);
    const int lit = pal.Ramp({130, 220, 230}, {45, 100, 160}, 24);
    const int sand = pal.Ramp({225, 200, 140}, {170, 140, 90}, 8);
    const int weed = pal.Ramp({90, 180, 80}, {30, 110, 60}, 4);
    const int orange = pal.Ramp({255, 170, 60}, {220, 90, 30}, 6);
    const int yellow = pal.Ramp({255, 235, 90}, {240, 190, 40}, 3);
    const int stripe = pal.Add({40, 60, 150});
    const int white = pal.Add({255, 255, 255});
    const int black = pal.Add({20, 20, 30});
    const int bubble = pal.Add({200, 240, 255});
    const int glass = pal.Add({190, 215, 225});
    EncodedGif gif = Screen(W, H, pal);
    gif.backgroundIndex = none;

    auto inTank = [&](int x, int y, double inset) {
        const double r = 18 - inset;
        const double cx = std::clamp(x + 0.5, 18.0, W - 18.0),
                     cy = std::clamp(y + 0.5, 18.0, H - 18.0);
        return std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= r;
    };
    auto fish = [&](Picture& p, double x, double y, int dir, int body, int bodyShades, bool flap,
                    bool striped) {
        p.Triangle(x - dir * 14, y, x - dir * 24, y - (flap ? 9 : 5), x - dir * 24,
                   y + (flap ? 5 : 9), body + bodyShades - 1);
        p.Ellipse(x, y, 16, 9, [&](int px, int, double, double v) {
            if (striped && std::abs(px - static_cast<int>(x) + dir * 3) < 2) return stripe;
            return body + std::min(bodyShades - 1, static_cast<int>((v + 1) * 0.5 * bodyShades));
        });
        p.Disk(x + dir * 9, y - 2, 2.6, white);
        p.Disk(x + dir * 9.6, y - 2, 1.3, black);
    };
    Picture previous(W, H, none);
    for (int k = 0; k < N; ++k) {
        const double s = double(k) / N;
        Picture p(W, H, none);
        p.Each([&](int x, int y) {
            if (!inTank(x, y, 0)) return none;
            if (!inTank(x, y, 2)) return glass;
            if (y >= H - 22 + static_cast<int>(3 * std::sin(x * 0.07)))
                return sand + std::min(7, (y - (H - 25)) / 3);
            const int depth = std::min(23, y * 24 / (H - 20));
            const bool ray = Frac((x * 0.5 + y * 0.3) / 36 + s) < 0.22 && y < H * 0.7;
            return (ray ? lit : water) + depth;
        });
        for (int stalk = 0; stalk < 5; ++stalk) {
            const double root = 30 + stalk * 45 + (stalk % 2) * 9;
            for (int seg = 0; seg < 10; ++seg) {
                const double y0 = H - 22 - seg * 6, y1 = y0 - 6;
                const double sway0 = 4 * std::sin(kTau * s + seg * 0.5 + stalk) * seg / 10;
                const double sway1 =
                    4 * std::sin(kTau * s + (seg + 1) * 0.5 + stalk) * (seg + 1) / 10;
                p.Line(root + sway0, y0, root + sway1, y1, 3.2 - seg * 0.2, weed + seg * 4 / 10);
            }
        }
        fish(p, -30 + (W + 60) * s, 55 + 6 * std::sin(kTau * s * 2), 1, orange, 6, k % 2 == 0,
             false);
        fish(p, W + 30 - (W + 60) * Frac(s + 0.4), 95 + 5 * std::sin(kTau * s + 1), -1, yellow, 3,
             k % 2 == 1, true);
        for (int b = 0; b < 6; ++b) {
            const double y = (H - 25) - Frac(s + b / 6.0) * (H - 35);
            p.Disk(60 + b * 23 + 3 * std::sin(kTau * (s * 2 + b * 0.3)), y, 1.5 + (b % 3) * 0.6,
                   bubble);
        }
        // Nothing may reach past the tank's rounded corners.
        p.Each([&](int x, int y) { return inTank(x, y, 0) ? -1 : none; });

        EncodedImage image;
        if (k == 0) {
            image = Whole(p, 6);
        } else {
            int x0 = W, y0 = H, x1 = -1, y1 = -1;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    if (p.Get(x, y) != previous.Get(x, y)) {
                        x0 = std::min(x0, x), x1 = std::max(x1, x);
                        y0 = std::min(y0, y), y1 = std::max(y1, y);
                    }
            if (x1 < 0) x0 = x1 = y0 = y1 = 0;  // nothing changed: one transparent pixel
            Picture delta(x1 - x0 + 1, y1 - y0 + 1, none);
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x)
                    if (p.Get(x, y) != previous.Get(x, y)) delta.Set(x - x0, y - y0, p.Get(x, y));
            image = Whole(delta, 6);
            image.left = x0;
            image.top = y0;
        }
        image.transparentIndex = none;
        gif.images.push_back(image);
        previous = p;
    }
    return gif;
}

// A three-armed spiral, colour-cycled one full turn of the rainbow per loop.
EncodedGif Spiral() {
    const int W = 300, H = 300, N = 36;
    Palette pal;
    for (int i = 0; i < 256; ++i) pal.Add(Mix(Hsv(i / 256.0, 0.85, 1.0), {255, 255, 255}, 0.12));
    EncodedGif gif = Screen(W, H, pal);
    for (int k = 0; k < N; ++k) {
        Picture p(W, H);
        p.Each([&](int x, int y) {
            const double dx = x + 0.5 - W / 2.0, dy = y + 0.5 - H / 2.0;
            const double v = 3 * std::atan2(dy, dx) / kTau +
                             2.2 * std::log(std::hypot(dx, dy) + 1) - double(k) / N;
            return static_cast<int>(Frac(v) * 256) & 255;
        });
        gif.images.push_back(Whole(p, 4));
    }
    return gif;
}

// A cat that blinks: a long look, then a quick half-closed, closed and
// half-closed frame.
EncodedGif BlinkingCat() {
    const int W = 120, H = 90;
    Palette pal;
    const int back = pal.Ramp({255, 230, 240}, {200, 225, 255}, 8);
    const int fur = pal.Ramp({250, 170, 80}, {215, 120, 50}, 3);
    const int pink = pal.Add({250, 160, 170});
    const int eye = pal.Add({120, 200, 90});
    const int dark = pal.Add({45, 35, 40});
    const int white = pal.Add({255, 255, 255});
    const int muzzle = pal.Add({255, 235, 210});
    EncodedGif gif = Screen(W, H, pal);
    const double openness[4] = {1.0, 0.45, 0.0, 0.45};
    const int delays[4] = {150, 6, 10, 6};
    for (int k = 0; k < 4; ++k) {
        Picture p(W, H);
        p.Each([&](int, int y) { return back + y * 8 / H; });
        p.Triangle(30, 38, 38, 6, 56, 26, fur + 1);
        p.Triangle(90, 38, 82, 6, 64, 26, fur + 1);
        p.Triangle(36, 32, 40, 14, 50, 26, pink);
        p.Triangle(84, 32, 80, 14, 70, 26, pink);
        p.Ellipse(60, 52, 36, 30,
                  [&](int, int, double, double v) { return fur + (v > 0.55 ? 2 : 0); });
        p.Ellipse(60, 64, 15, 10, [&](int, int, double, double) { return muzzle; });
        for (double ex : {46.0, 74.0}) {
            if (openness[k] > 0) {
                p.Ellipse(ex, 48, 7, 8 * openness[k],
                          [&](int, int, double, double) { return eye; });
                p.Ellipse(ex, 48, 2.2, 7 * openness[k],
                          [&](int, int, double, double) { return dark; });
                if (openness[k] > 0.5) p.Disk(ex + 2, 45, 1.4, white);
            } else {
                p.Line(ex - 7, 48, ex + 7, 48, 1.6, dark);
            }
        }
        p.Triangle(56, 58, 64, 58, 60, 63, pink);
        // The mouth: two small arcs under the nose, a "w".
        for (double side : {-1.0, 1.0}) {
            for (int i = 0; i < 8; ++i) {
                const double a0 = kPi * i / 8, a1 = kPi * (i + 1) / 8;
                p.Line(60 + side * 3.5 + 3.5 * std::cos(a0), 63 + 3 * std::sin(a0),
                       60 + side * 3.5 + 3.5 * std::cos(a1), 63 + 3 * std::sin(a1), 1.2, dark);
            }
        }
        for (int side : {-1, 1}) {
            p.Line(60 + side * 14, 62, 60 + side * 34, 58, 1.0, dark);
            p.Line(60 + side * 14, 65, 60 + side * 34, 66, 1.0, dark);
        }
        p.Disk(36, 62, 5, pink);
        p.Disk(84, 62, 5, pink);
        gif.images.push_back(Whole(p, delays[k]));
    }
    return gif;
}

// Flying through stars over a faint nebula. A star's depth runs once round
// its range per loop, so the field looks the same at the seam.
EncodedGif Starfield() {
    const int W = 480, H = 360, N = 40, Stars = 420;
    Palette pal;
    const int nebula = pal.Ramp({6, 6, 18}, {70, 30, 95}, 24);
    const int trail = pal.Ramp({25, 30, 60}, {110, 120, 170}, 8);
    const int star = pal.Ramp({130, 140, 190}, {255, 255, 255}, 16);
    const int warm = pal.Add({255, 210, 150});
    EncodedGif gif = Screen(W, H, pal);
    Picture sky(W, H);
    sky.Each([&](int x, int y) {
        const double v = std::sin(x * 0.013 + 1.1) * std::sin(y * 0.017 + 0.3) +
                         0.5 * std::sin((x + 2 * y) * 0.009) +
                         0.25 * std::sin(x * 0.041 - y * 0.029);
        return nebula + static_cast<int>(Clamp01((v - 0.1) / 1.2) * 23);
    });
    struct Star {
        double x, y, z;
    };
    std::vector<Star> stars;
    Lcg random{20190601u};
    for (int i = 0; i < Stars; ++i)
        stars.push_back({random.Unit() * 2 - 1, random.Unit() * 2 - 1, random.Unit()});
    auto project = [&](const Star& s, double z, double* px, double* py) {
        *px = W / 2.0 + s.x / z * W * 0.25;
        *py = H / 2.0 + s.y / z * W * 0.25;
    };
    for (int k = 0; k < N; ++k) {
        Picture p = sky;
        for (size_t i = 0; i < stars.size(); ++i) {
            const double depth = Frac(stars[i].z - double(k) / N);
            const double z = 0.06 + 0.94 * depth;
            const double zBefore = std::min(1.0, z + 0.94 / N);
            double x, y, bx, by;
            project(stars[i], z, &x, &y);
            project(stars[i], zBefore, &bx, &by);
            const double near = 1 - depth;
            if (near > 0.4)
                p.Line(bx, by, x, y, 1.0, trail + static_cast<int>((near - 0.4) * 12.5));
            const int colour = i % 17 == 0 ? warm : star + static_cast<int>(near * 15);
            if (near > 0.7) {
                p.Disk(x, y, near > 0.9 ? 2.2 : 1.6, colour);
            } else {
                p.Set(static_cast<int>(x), static_cast<int>(y), colour);
            }
        }
        gif.images.push_back(Whole(p, 4));
    }
    return gif;
}

// A camp fire. Each cell passes its heat to the cell above it or one of
// that cell's neighbours, cooled by a random step, so tongues of flame
// rise, sway and break off.
EncodedGif Fire() {
    const int W = 160, H = 240, N = 32, Levels = 64;
    Palette pal;
    pal.Ramp({0, 0, 0}, {110, 8, 5}, 16);
    pal.Ramp({125, 12, 5}, {230, 80, 10}, 16);
    pal.Ramp({235, 90, 12}, {255, 200, 45}, 16);
    pal.Ramp({255, 205, 55}, {255, 250, 225}, 16);
    const int log = pal.Add({100, 58, 34});
    const int logDark = pal.Add({62, 34, 22});
    EncodedGif gif = Screen(W, H, pal);
    std::vector<int> heat(static_cast<size_t>(W) * H, 0);
    auto at = [&](int x, int y) -> int& { return heat[static_cast<size_t>(y) * W + x]; };
    Lcg random{7u};
    // The bed of embers along the bottom row, hottest in the middle.
    for (int x = 0; x < W; ++x) {
        const double edge = std::fabs(x + 0.5 - W / 2.0) / (W / 2.0);
        at(x, H - 1) = edge < 0.75 ? Levels - 1 - static_cast<int>(edge * 12) : 0;
    }
    auto step = [&]() {
        for (int y = 0; y < H - 1; ++y) {
            // Heat is pushed up and sideways; a later push overwrites an
            // earlier one, so every other row runs the other way round to
            // keep the flames from leaning.
            const bool leftToRight = y % 2 == 0;
            for (int i = 0; i < W; ++i) {
                const int x = leftToRight ? i : W - 1 - i;
                const uint32_t r = random.Next();
                const int to = std::clamp(x + static_cast<int>(r % 3) - 1, 0, W - 1);
                const int cool = (r >> 4) % 10 == 0 ? 2 : ((r >> 8) % 4 == 0 ? 1 : 0);
                at(to, y) = std::max(0, at(x, y + 1) - cool);
            }
        }
    };
    for (int warm = 0; warm < 400; ++warm) step();
    for (int k = 0; k < N; ++k) {
        step();
        step();
        Picture p(W, H);
        p.Each([&](int x, int y) { return at(x, y); });
        p.Line(22, H - 16, 138, H - 5, 10, log);
        p.Line(22, H - 5, 138, H - 16, 10, logDark);
        gif.images.push_back(Whole(p, 5));
    }
    return gif;
}

// A quilt of patterned tiles whose colours turn once round the wheel per
// loop. There is no global table: each frame carries its own palette.
EncodedGif LocalPaletteQuilt() {
    const int W = 320, H = 240, N = 8, T = 40;
    EncodedGif gif;
    gif.screenWidth = W;
    gif.screenHeight = H;
    Picture p(W, H);
    p.Each([&](int x, int y) {
        const int tx = x / T, ty = y / T, u = x % T, v = y % T;
        const int c = T / 2;
        switch ((tx + 2 * ty) % 4) {
            case 0:
                return (std::max(std::abs(u - c), std::abs(v - c)) / 5 + tx) % 16;
            case 1:
                return ((u + v) / 7 + ty * 3) % 16;
            case 2:
                return (static_cast<int>(std::hypot(u - c + 0.5, v - c + 0.5) / 4) + 5) % 16;
            default:
                return ((u / 10 + v / 10) % 2) * 8 + (tx + ty) % 8;
        }
    });
    for (int k = 0; k < N; ++k) {
        Palette local;
        for (int i = 0; i < 16; ++i)
            local.Add(Hsv(double(k) / N + i / 16.0 * 0.6, 0.55 + 0.4 * (i % 2),
                          0.75 + 0.25 * ((i / 2) % 2)));
        EncodedImage image = Whole(p, 15);
        image.localPalette = local.Bytes();
        gif.images.push_back(image);
    }
    return gif;
}

struct Demo {
    const char* name;
    EncodedGif (*make)();
};

const Demo kDemos[] = {
    {"01_plasma.gif", Plasma},
    {"02_bouncing_balls.gif", Balls},
    {"03_pinwheel.gif", Pinwheel},
    {"04_wide_hills.gif", WideHills},
    {"05_interlaced_rings.gif", InterlacedRings},
    {"06_beach_ball.gif", DisposalBall},
    {"07_aquarium.gif", Aquarium},
    {"08_spiral.gif", Spiral},
    {"09_blinking_cat.gif", BlinkingCat},
    {"10_starfield.gif", Starfield},
    {"11_camp_fire.gif", Fire},
    {"12_quilt.gif", LocalPaletteQuilt},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_gifs OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const Demo& demo : kDemos) {
        const std::filesystem::path path = folder / demo.name;
        if (!WriteBytes(path.string(), EncodeGif(demo.make()))) {
            std::fprintf(stderr, "make_demo_gifs: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
