// Decoder test tools: a GIF writer of any bytes (malformed ones too) and a decode by both paths.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "gif/gif_decoder.h"

namespace giftest {

using Bytes = std::vector<uint8_t>;
using Code = std::pair<uint32_t, int>;  // value, width in bits
constexpr int kInterlaced = 0x40;

// RGB triples; entry i is (i, 0x80 ^ i, 255 - i), so a pixel names its entry.
inline Bytes TestPalette(int n) {
    Bytes rgb;
    for (int i = 0; i < n; ++i) {
        for (int c : {i, 0x80 ^ i, 255 - i}) rgb.push_back(uint8_t(c));
    }
    return rgb;
}
// The packed-byte bits of a colour table of `colours` entries (2 to 256).
inline int TableBits(int colours) {
    int n = 0;
    while ((2 << n) < colours) ++n;
    return 0x80 | n;
}

// Clear, each index as its root code, end; widths grow with the table up to 12.
inline std::vector<Code> RootCodes(const Bytes& indices, int minCodeSize) {
    const uint32_t clear = 1u << minCodeSize;
    int width = minCodeSize + 1, next = int(clear) + 2;
    std::vector<Code> codes = {{clear, width}};
    for (size_t i = 0; i < indices.size(); ++i) {
        codes.push_back({indices[i], width});
        if (i > 0 && next < 4096 && ++next == (1 << width) && width < 12) ++width;
    }
    codes.push_back({clear + 1, width});
    return codes;
}

struct GifWriter {
    Bytes bytes;

    GifWriter& Raw(std::initializer_list<int> values) {
        for (int v : values) bytes.push_back(uint8_t(v));
        return *this;
    }
    GifWriter& Raw(const Bytes& values) {
        bytes.insert(bytes.end(), values.begin(), values.end());
        return *this;
    }
    GifWriter& Screen(int width, int height, int packed, int background = 0,
                      std::string_view header = "GIF89a") {
        Raw(Bytes(header.begin(), header.end()));
        return Raw({width & 255, width >> 8, height & 255, height >> 8, packed, background, 0});
    }
    // Graphic control extension; transparent -1 leaves the flag clear.
    GifWriter& Control(int disposal, int delay, int transparent = -1) {
        return Raw({0x21, 0xF9, 4, (disposal << 2) | (transparent >= 0), delay & 255, delay >> 8,
                    std::max(transparent, 0), 0});
    }
    GifWriter& Image(int left, int top, int width, int height, int packed = 0) {
        return Raw({0x2C, left & 255, left >> 8, top & 255, top >> 8, width & 255, width >> 8,
                    height & 255, height >> 8, packed});
    }
    // Code size, codes packed LSB first in sub-blocks of the sizes in turn, terminator.
    GifWriter& Data(int minCodeSize, const std::vector<Code>& codes,
                    std::vector<size_t> sizes = {255}) {
        Bytes packed;
        int bit = 0;
        for (const auto& [value, width] : codes) {
            for (int i = 0; i < width; ++i, ++bit) {
                if (bit % 8 == 0) packed.push_back(0);
                packed.back() |= ((value >> i) & 1) << (bit % 8);
            }
        }
        Raw({minCodeSize});
        for (size_t at = 0, k = 0, n; at < packed.size(); at += n) {
            n = std::min(sizes[k++ % sizes.size()], packed.size() - at);
            Raw({int(n)}).Raw(Bytes(packed.begin() + at, packed.begin() + at + n));
        }
        return Raw({0});
    }
    // Descriptor, local RGB table if any, indices as root codes (code size grown to fit).
    GifWriter& Pixels(int left, int top, int width, int height, const Bytes& indices,
                      int packed = 0, const Bytes& local = {}, int minCodeSize = 2) {
        if (!local.empty()) packed |= TableBits(int(local.size() / 3));
        while ((1 << minCodeSize) <= *std::max_element(indices.begin(), indices.end()))
            ++minCodeSize;
        Image(left, top, width, height, packed).Raw(local);
        return Data(minCodeSize, RootCodes(indices, minCodeSize));
    }
    GifWriter& Trailer() { return Raw({0x3B}); }
};

inline GifWriter GifWithGlobalTable(int width, int height, int colours = 4, int background = 0) {
    return GifWriter()
        .Screen(width, height, TableBits(colours), background)
        .Raw(TestPalette(colours));
}

struct Decoded : GifFrameSink {
    bool opened = false;  // header and screen accepted
    bool failed = false;  // GifDecodeFailure was raised
    int frameCount = -1;
    int canvasWidth = 0, canvasHeight = 0;
    std::vector<Bytes> frames;
    std::vector<int> delays;

    void Opened(const GifFileInfo& info) override {
        opened = true;
        canvasWidth = info.canvasWidth, canvasHeight = info.canvasHeight;
    }
    void Frame(const GifFrame& f) override {
        frames.emplace_back(f.rgba, f.rgba + size_t(f.width) * f.height * 4);
        delays.push_back(f.delay);
    }
    // The frame as TestPalette entries: -1 where A = 0, -2 for other colours.
    std::vector<int> Indices(size_t frame) const {
        std::vector<int> out;
        for (size_t i = 0; i < frames.at(frame).size(); i += 4) {
            const uint8_t* p = &frames[frame][i];
            const bool entry = p[3] == 255 && p[1] == (0x80 ^ p[0]) && p[2] == uint8_t(~p[0]);
            out.push_back(p[3] == 0 ? -1 : entry ? p[0] : -2);
        }
        return out;
    }
};

// An unnamed temporary file holding bytes, positioned at its start.
inline std::FILE* StreamOf(const Bytes& bytes) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

// Decodes by the fast and the reference pixel paths, which must agree.
inline Decoded DecodeBytes(const Bytes& bytes, int scaleWidth = 100000) {
    // The fast path as this processor runs it, the reference path, and the
    // fast path's code loop built for any processor.
    Decoded runs[3];
    for (int run = 0; run < 3; ++run) {
        gScaleWidth = scaleWidth;
        gPortableCodeLoop = run == 2;
        try {
            runs[run].frameCount = DecodeGifStream(StreamOf(bytes), &runs[run], run == 1);
        } catch (const GifDecodeFailure&) {
            runs[run].failed = true;
        }
        gPortableCodeLoop = false;
    }
    auto same = [](const Decoded& a, const Decoded& b) {
        return a.failed == b.failed && a.frameCount == b.frameCount && a.frames == b.frames &&
               a.delays == b.delays;
    };
    EXPECT_TRUE(same(runs[0], runs[1])) << "the reference pixel path decodes this file differently";
    EXPECT_TRUE(same(runs[0], runs[2])) << "the portable code loop decodes this file differently";
    return std::move(runs[0]);
}

inline Decoded DecodeCorpus(const std::string& name, int scaleWidth = 100000) {
    std::ifstream in(REELSTACK_TESTDATA "/" + name, std::ios::binary);
    return DecodeBytes(Bytes(std::istreambuf_iterator<char>(in), {}), scaleWidth);
}

}  // namespace giftest
