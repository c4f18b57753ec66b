// make_fuzz_seeds OUTDIR TESTDATA: writes the fuzzer's seed corpus. Every
// corpus GIF goes in four times, behind the scale bytes for widths 37, 250
// and no downscaling, and 250 with the portable code loop (see kScaleWidths
// in gif_fuzz.cpp), plus small files made
// here that reach paths real files rarely do: interlace, transparency,
// disposal 2, local tables, full 12-bit tables, very wide images, image data
// without a leading clear code, and downscaled rows whose data end early.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "gif_encoder.h"

namespace fs = std::filesystem;

namespace {

// Indices into kScaleWidths of gif_fuzz.cpp: 37, 250, 2147483647, and 250
// again with the portable code loop (8 = 3 + 5).
constexpr uint8_t kSeedScaleBytes[] = {1, 3, 4, 8};

std::vector<uint8_t> Palette(int entries, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> palette(static_cast<size_t>(entries) * 3);
    for (auto& v : palette) v = static_cast<uint8_t>(random());
    return palette;
}

EncodedImage Image(int left, int top, int width, int height, int colours, uint32_t seed) {
    std::mt19937 random(seed);
    EncodedImage image;
    image.left = left;
    image.top = top;
    image.width = width;
    image.height = height;
    image.indices.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < image.indices.size(); ++i) {
        // Runs of one colour broken by noise, so that strings of all lengths occur.
        image.indices[i] = static_cast<uint8_t>(random() % 4 == 0 ? random() % colours : (i / 7) % colours);
    }
    return image;
}

std::vector<std::pair<std::string, EncodedGif>> GeneratedSeeds() {
    std::vector<std::pair<std::string, EncodedGif>> seeds;
    uint32_t seed = 1;

    EncodedGif layered;  // sub-rectangles, transparency, a local table, interlace, disposal 2
    layered.screenWidth = 40;
    layered.screenHeight = 30;
    layered.globalPalette = Palette(16, seed++);
    layered.images.push_back(Image(0, 0, 40, 30, 16, seed++));
    EncodedImage patch = Image(5, 3, 20, 17, 16, seed++);
    patch.transparentIndex = 2;
    patch.interlaced = true;
    layered.images.push_back(patch);
    EncodedImage local = Image(30, 20, 10, 10, 4, seed++);
    local.localPalette = Palette(4, seed++);
    local.disposal = 2;
    local.delay = 0;
    layered.images.push_back(local);
    layered.images.push_back(Image(1, 1, 3, 3, 16, seed++));
    seeds.emplace_back("gen-layered.gif", layered);

    EncodedGif noise;  // enough codes to fill the table and clear it
    noise.screenWidth = 90;
    noise.screenHeight = 60;
    noise.globalPalette = Palette(256, seed++);
    EncodedImage full;
    full.width = 90;
    full.height = 60;
    std::mt19937 random(seed++);
    for (int i = 0; i < 90 * 60; ++i) full.indices.push_back(static_cast<uint8_t>(random()));
    noise.images.push_back(full);
    seeds.emplace_back("gen-noise-256.gif", noise);

    EncodedGif twoColours;  // the minimum code size 2 with a 2-entry table
    twoColours.screenWidth = 17;
    twoColours.screenHeight = 9;
    twoColours.globalPalette = Palette(2, seed++);
    twoColours.images.push_back(Image(0, 0, 17, 9, 2, seed++));
    twoColours.images.back().interlaced = true;
    seeds.emplace_back("gen-two-colours.gif", twoColours);

    EncodedGif wide;  // much wider than any scale width: columns collapse
    wide.screenWidth = 3000;
    wide.screenHeight = 4;
    wide.globalPalette = Palette(8, seed++);
    wide.images.push_back(Image(0, 0, 3000, 4, 8, seed++));
    wide.images.push_back(Image(2990, 1, 10, 3, 8, seed++));
    seeds.emplace_back("gen-wide.gif", wide);

    EncodedGif tall;  // rows collapse when downscaled
    tall.screenWidth = 300;
    tall.screenHeight = 200;
    tall.globalPalette = Palette(4, seed++);
    tall.images.push_back(Image(0, 0, 300, 200, 4, seed++));
    seeds.emplace_back("gen-tall.gif", tall);

    EncodedGif flat;  // long strings in an image large and flat enough to copy them
    flat.screenWidth = 200;
    flat.screenHeight = 120;
    flat.globalPalette = Palette(8, seed++);
    for (int t = 0; t < 2; ++t) {
        EncodedImage bands;
        bands.width = 200;
        bands.height = 120;
        bands.transparentIndex = t == 1 ? 0 : -1;
        for (int i = 0; i < 200 * 120; ++i) {
            const int x = i % 200, y = i / 200;
            bands.indices.push_back(static_cast<uint8_t>(i % 89 == 0 ? 7 : ((x + 2 * y) / 23 + t) % 6));
        }
        flat.images.push_back(bands);
    }
    seeds.emplace_back("gen-flat.gif", flat);
    return seeds;
}

// Image data from root codes only, with the code widths a decoder expects:
// a leading clear code or none, a clear code every clearEvery codes, and the
// end code after the first `count` pixels.
std::vector<uint8_t> RootCodeData(const std::vector<uint8_t>& indices, int minCodeSize, bool leadingClear,
                                  size_t clearEvery, size_t count) {
    const uint32_t clear = 1u << minCodeSize;
    std::vector<std::pair<uint32_t, int>> codes;
    int width = minCodeSize + 1;
    uint32_t next = clear + 2;
    bool first = true;
    if (leadingClear) codes.push_back({clear, width});
    for (size_t i = 0; i < count && i < indices.size(); ++i) {
        if (i > 0 && i % clearEvery == 0) {
            codes.push_back({clear, width});
            width = minCodeSize + 1, next = clear + 2, first = true;
        }
        codes.push_back({indices[i], width});
        if (!first && next < 4096 && ++next == (1u << width) && width < 12) ++width;
        first = false;
    }
    codes.push_back({clear + 1, width});
    std::vector<uint8_t> packed;
    int bit = 0;
    for (const auto& [value, bits] : codes) {
        for (int i = 0; i < bits; ++i, ++bit) {
            if (bit % 8 == 0) packed.push_back(0);
            packed.back() |= static_cast<uint8_t>(((value >> i) & 1) << (bit % 8));
        }
    }
    std::vector<uint8_t> data = {static_cast<uint8_t>(minCodeSize)};
    for (size_t at = 0; at < packed.size(); at += 255) {
        const size_t n = std::min<size_t>(255, packed.size() - at);
        data.push_back(static_cast<uint8_t>(n));
        data.insert(data.end(), packed.begin() + static_cast<long>(at), packed.begin() + static_cast<long>(at + n));
    }
    data.push_back(0);
    return data;
}

// Files written byte by byte: image data without a leading clear code (the
// first code is data), and downscaled rows whose data end early.
std::vector<std::pair<std::string, std::vector<uint8_t>>> RawSeeds() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
    auto screen = [](int width, int height, int colours, uint32_t seed) {
        std::vector<uint8_t> bytes = {'G', 'I', 'F', '8', '9', 'a', static_cast<uint8_t>(width),
                                      static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(height),
                                      static_cast<uint8_t>(height >> 8)};
        int n = 0;
        while ((2 << n) < colours) ++n;
        bytes.insert(bytes.end(), {static_cast<uint8_t>(0x80 | n), 0, 0});
        const std::vector<uint8_t> palette = Palette(2 << n, seed);
        bytes.insert(bytes.end(), palette.begin(), palette.end());
        return bytes;
    };
    auto image = [](std::vector<uint8_t>* bytes, int left, int top, int width, int height) {
        bytes->insert(bytes->end(), {0x2C, static_cast<uint8_t>(left), static_cast<uint8_t>(left >> 8),
                                     static_cast<uint8_t>(top), static_cast<uint8_t>(top >> 8),
                                     static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                                     static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), 0});
    };
    std::mt19937 random(77);
    std::vector<uint8_t> pixels(300 * 200);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(random() % 8 == 0 ? random() % 16 : i / 5 % 16);

    std::vector<uint8_t> noClear = screen(300, 200, 16, 1);
    image(&noClear, 0, 0, 300, 200);
    const std::vector<uint8_t> data = RootCodeData(pixels, 4, false, 5000, pixels.size());
    noClear.insert(noClear.end(), data.begin(), data.end());
    image(&noClear, 20, 10, 100, 50);
    const std::vector<uint8_t> small = RootCodeData(pixels, 4, false, 1000, 5000);
    noClear.insert(noClear.end(), small.begin(), small.end());
    noClear.push_back(0x3B);
    seeds.emplace_back("raw-no-leading-clear.gif", noClear);

    std::vector<uint8_t> cut = screen(400, 300, 16, 2);
    for (size_t count : {170, 615, 1234}) {
        image(&cut, 3, 5, 40, 30);
        const std::vector<uint8_t> part = RootCodeData(pixels, 4, true, 97, count);
        cut.insert(cut.end(), part.begin(), part.end());
    }
    cut.push_back(0x3B);
    seeds.emplace_back("raw-rows-cut-short.gif", cut);
    return seeds;
}

bool WriteSeed(const fs::path& path, uint8_t scaleByte, const std::vector<uint8_t>& file) {
    std::vector<uint8_t> bytes;
    bytes.reserve(file.size() + 1);
    bytes.push_back(scaleByte);
    bytes.insert(bytes.end(), file.begin(), file.end());
    return WriteBytes(path.string(), bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR TESTDATA\n");
        return 2;
    }
    const fs::path outDir = argv[1];
    std::error_code error;
    fs::create_directories(outDir, error);
    if (error) {
        std::fprintf(stderr, "make_fuzz_seeds: %s: cannot create the folder\n", argv[1]);
        return 1;
    }

    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    std::vector<fs::path> corpus;
    for (const auto& entry : fs::directory_iterator(argv[2], error)) {
        if (entry.is_regular_file() && entry.path().extension() == ".gif") corpus.push_back(entry.path());
    }
    if (error || corpus.empty()) {
        std::fprintf(stderr, "make_fuzz_seeds: no GIF files in %s\n", argv[2]);
        return 1;
    }
    std::sort(corpus.begin(), corpus.end());
    for (const fs::path& path : corpus) {
        std::ifstream in(path, std::ios::binary);
        files.emplace_back(path.filename().string(),
                           std::vector<uint8_t>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
    }
    for (const auto& [name, gif] : GeneratedSeeds()) files.emplace_back(name, EncodeGif(gif));
    for (auto& seed : RawSeeds()) files.push_back(std::move(seed));

    int written = 0;
    for (const auto& [name, bytes] : files) {
        for (uint8_t scaleByte : kSeedScaleBytes) {
            const fs::path path = outDir / ("w" + std::to_string(scaleByte) + "-" + name);
            if (!WriteSeed(path, scaleByte, bytes)) {
                std::fprintf(stderr, "make_fuzz_seeds: %s: cannot be written\n", path.c_str());
                return 1;
            }
            ++written;
        }
    }
    std::printf("make_fuzz_seeds: %d seeds in %s\n", written, outDir.c_str());
    return 0;
}
