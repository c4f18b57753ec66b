// Runs the decoder over bytes or files and keeps what it produced, for the
// decoder tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "gif_test_writer.h"

namespace giftest {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Rgba&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Rgba& p) {
    return os << "(" << int(p.r) << "," << int(p.g) << "," << int(p.b) << "," << int(p.a) << ")";
}
inline Rgba Opaque(const Rgb& c) { return {c.r, c.g, c.b, 255}; }

struct Decoded {
    bool failed = false;  // GifDecodeFailure was raised
    int frameCount = -1;  // the decode's return value
    GifFileInfo info;
    std::vector<Bytes> frames;
    std::vector<int> delays;

    Rgba At(size_t frame, int x, int y) const {
        const uint8_t* p = &frames.at(frame).at((size_t(y) * info.canvasWidth + x) * 4);
        return {p[0], p[1], p[2], p[3]};
    }
    // The frame as palette entries of TestPalette (red = entry): -1 for a
    // pixel with A = 0, -2 for an opaque colour that is no entry.
    std::vector<int> Indices(size_t frame) const {
        std::vector<int> out;
        const Bytes& f = frames.at(frame);
        for (size_t i = 0; i < f.size(); i += 4) {
            const int entry = f[i];
            const Rgb c = TestColour(entry);
            if (f[i + 3] == 0) {
                out.push_back(-1);
            } else if (f[i + 3] == 255 && f[i + 1] == c.g && f[i + 2] == c.b) {
                out.push_back(entry);
            } else {
                out.push_back(-2);
            }
        }
        return out;
    }
};

class CollectingSink : public GifFrameSink {
public:
    explicit CollectingSink(Decoded* out) : out_(out) {}
    void Opened(const GifFileInfo& info) override { out_->info = info; }
    void Frame(const GifFrame& f) override {
        out_->frames.emplace_back(f.rgba, f.rgba + size_t(f.width) * f.height * 4);
        out_->delays.push_back(f.delay);
    }

private:
    Decoded* out_;
};

// An unnamed temporary file holding bytes, positioned at its start.
inline std::FILE* StreamOf(const Bytes& bytes) {
    std::FILE* f = std::tmpfile();
    if (f == nullptr) return nullptr;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

// Runs one whole-file decode into a Decoded.
template <typename Decode>
Decoded Collect(int scaleWidth, Decode decode) {
    Decoded out;
    CollectingSink sink(&out);
    gScaleWidth = scaleWidth;
    try {
        out.frameCount = decode(&sink);
    } catch (const GifDecodeFailure&) {
        out.failed = true;
    }
    return out;
}

inline Decoded DecodeStream(std::FILE* stream, int scaleWidth, bool reference) {
    return Collect(scaleWidth,
                   [&](GifFrameSink* sink) { return DecodeGifStream(stream, sink, reference); });
}

// Decodes with the fast pixel writers and, as a check on every test's
// input, with the reference writer too; the two must agree.
inline Decoded DecodeBytes(const Bytes& bytes, int scaleWidth = 100000) {
    const Decoded out = DecodeStream(StreamOf(bytes), scaleWidth, false);
    const Decoded reference = DecodeStream(StreamOf(bytes), scaleWidth, true);
    EXPECT_TRUE(out.failed == reference.failed && out.frameCount == reference.frameCount &&
                out.frames == reference.frames && out.delays == reference.delays)
        << "the reference pixel path decodes this file differently";
    return out;
}

inline Decoded DecodePath(const std::string& path, int scaleWidth = 100000) {
    return Collect(scaleWidth,
                   [&](GifFrameSink* sink) { return DecodeGifFile(path.c_str(), sink); });
}

// Runs the fast and the reference pixel writers side by side, block by block.
struct PathComparison {
    std::string difference;  // empty when both gave the same blocks and frames
    int frames = 0;
    bool failed = false;  // both raised the decoder failure
};

inline PathComparison ComparePixelPaths(const std::function<std::FILE*()>& openStream,
                                        int scaleWidth) {
    GifDecoder fast, reference;
    reference.referencePixelPath = true;
    gScaleWidth = scaleWidth;
    // The block read next by each side, -1 once it has failed.
    auto next = [](GifDecoder* d, bool open, const std::function<std::FILE*()>& stream) {
        try {
            if (open) {
                OpenGifStream(d, stream());
                return 0;
            }
            return ReadGifBlock(d);
        } catch (const GifDecodeFailure&) {
            return -1;
        }
    };
    PathComparison result;
    for (bool open = true;; open = false) {
        const int a = next(&fast, open, openStream);
        const int b = next(&reference, open, openStream);
        if (a != b) {
            result.difference = "blocks differ after frame " + std::to_string(result.frames);
            return result;
        }
        result.failed = a == -1;
        if (a == -1 || a == 0x3B) return result;
        if (a != 0x2C) continue;
        ++result.frames;
        const size_t size = size_t(fast.scaledWidth) * fast.scaledHeight * 4;
        if (fast.frame.delay != reference.frame.delay ||
            !std::equal(fast.canvas.get(), fast.canvas.get() + size, reference.canvas.get())) {
            result.difference = "frame " + std::to_string(result.frames) + " differs";
            return result;
        }
    }
}

// Header, screen and a global TestPalette of `colours` entries.
inline GifWriter GifWithGlobalTable(int width, int height, int colours = 4, int background = 0) {
    GifWriter w;
    w.Header()
        .Screen(width, height, TableBits(colours), background)
        .ColourTable(TestPalette(colours));
    return w;
}

}  // namespace giftest
