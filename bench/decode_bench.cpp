// decode_bench: times our GIF decoder against giflib and stb_image on the
// same files in one run, at full size and at the viewer's scale width.
//
//   decode_bench [--quick] [--rounds N] [--testdata DIR]
//
// The file set is every GIF of the test corpus plus large animations written
// here with our encoder into a temporary folder (deleted at the end). A file
// that any decoder cannot decode is left out for all of them, and listed.
// Each decode is repeated until it lasts long enough to time; rounds (7 by
// default) interleave the decoders file by file, and every figure is the
// median over rounds. The end lists the targets and whether they are met.
// --quick makes small files and one round: a smoke run for ctest, not a
// measurement.
#include <gif_lib.h>
#include <stb/stb_image.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "gif_encoder.h"

#ifndef REELSTACK_TESTDATA_DIR
#define REELSTACK_TESTDATA_DIR ""
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kNoScaling = 2147483647;
constexpr int kViewerScaleWidth = 250;

enum Decoder { kOurs, kGiflib, kStb, kDecoderCount };
const char* const kDecoderNames[kDecoderCount] = {"ours", "giflib", "stb"};

struct BenchFile {
    fs::path path;
    std::string name;
    bool generated = false;
    uintmax_t bytes = 0;
};

// Hashes every frame a decoder hands out, to compare decoders frame by frame.
struct FrameHashes {
    std::vector<uint64_t> hashes;
    void Add(const uint8_t* rgba, int width, int height) {
        uint64_t h = 1469598103934665603ull ^ (static_cast<uint64_t>(width) << 32 | static_cast<uint32_t>(height));
        const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        for (size_t i = 0; i < bytes; ++i) h = (h ^ rgba[i]) * 1099511628211ull;
        hashes.push_back(h);
    }
};

// ---- Our decoder ----

class NullSink : public GifFrameSink {
public:
    void Frame(const GifFrame&) override {}
};

class HashingSink : public GifFrameSink {
public:
    explicit HashingSink(FrameHashes* out) : out_(out) {}
    void Frame(const GifFrame& frame) override { out_->Add(frame.rgba, frame.width, frame.height); }

private:
    FrameHashes* out_;
};

int DecodeOurs(const BenchFile& file, FrameHashes* hashes) {
    NullSink nullSink;
    HashingSink hashingSink(hashes);
    try {
        return DecodeGifFile(file.path.c_str(), hashes ? static_cast<GifFrameSink*>(&hashingSink) : &nullSink);
    } catch (const GifDecodeFailure&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// ---- giflib: slurp, then compose every frame onto an RGBA canvas ----

int DecodeGiflib(const BenchFile& file, FrameHashes* hashes) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(file.path.c_str(), &error);
    if (!gif) return 0;
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1 || gif->SWidth < 1 || gif->SHeight < 1) {
        DGifCloseFile(gif, &error);
        return 0;
    }
    const int width = gif->SWidth;
    const int height = gif->SHeight;
    std::vector<uint8_t> canvas(static_cast<size_t>(width) * height * 4, 0);
    int frames = 0;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& desc = image.ImageDesc;
        GraphicsControlBlock control{};
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        DGifSavedExtensionToGCB(gif, i, &control);  // leaves the defaults without one
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (!map || !image.RasterBits) {
            frames = 0;
            break;
        }
        // Frames reaching past the screen are clipped; DGifSlurp has already
        // put interlaced rows in order.
        const int x0 = std::max(desc.Left, 0);
        const int y0 = std::max(desc.Top, 0);
        const int x1 = std::min(desc.Left + desc.Width, width);
        const int y1 = std::min(desc.Top + desc.Height, height);
        for (int y = y0; y < y1; ++y) {
            const GifByteType* row = image.RasterBits + static_cast<size_t>(y - desc.Top) * desc.Width;
            uint8_t* out = canvas.data() + (static_cast<size_t>(y) * width + x0) * 4;
            for (int x = x0; x < x1; ++x, out += 4) {
                const int index = row[x - desc.Left];
                if (index == control.TransparentColor || index >= map->ColorCount) continue;
                const GifColorType& colour = map->Colors[index];
                out[0] = colour.Red;
                out[1] = colour.Green;
                out[2] = colour.Blue;
                out[3] = 255;
            }
        }
        ++frames;
        if (hashes) hashes->Add(canvas.data(), width, height);
        if (control.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = y0; y < y1; ++y) {
                std::memset(canvas.data() + (static_cast<size_t>(y) * width + x0) * 4, 0,
                            static_cast<size_t>(std::max(x1 - x0, 0)) * 4);
            }
        }
    }
    DGifCloseFile(gif, &error);
    return frames;
}

// ---- stb_image: the whole file into memory, every frame composed by stb ----

int DecodeStb(const BenchFile& file, FrameHashes* hashes) {
    std::FILE* in = std::fopen(file.path.c_str(), "rb");
    if (!in) return 0;
    std::vector<uint8_t> bytes(static_cast<size_t>(file.bytes));
    const size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), in);
    std::fclose(in);
    if (got != bytes.size() || bytes.empty()) return 0;
    int* delays = nullptr;
    int width = 0, height = 0, layers = 0, components = 0;
    stbi_uc* pixels = stbi_load_gif_from_memory(bytes.data(), static_cast<int>(bytes.size()), &delays, &width,
                                                &height, &layers, &components, 4);
    if (!pixels) return 0;
    if (hashes) {
        for (int i = 0; i < layers; ++i) {
            hashes->Add(pixels + static_cast<size_t>(i) * width * height * 4, width, height);
        }
    }
    stbi_image_free(pixels);
    std::free(delays);  // stb allocates the delays with STBI_MALLOC, malloc by default
    return layers;
}

int Decode(Decoder decoder, const BenchFile& file, FrameHashes* hashes) {
    switch (decoder) {
        case kOurs: return DecodeOurs(file, hashes);
        case kGiflib: return DecodeGiflib(file, hashes);
        case kStb: return DecodeStb(file, hashes);
        default: return 0;
    }
}

// ---- Generated animations ----

// 256 colours around the hue circle at two brightness levels, so that
// neighbouring indices differ and nothing collapses to a few colours.
std::vector<uint8_t> RainbowPalette() {
    std::vector<uint8_t> palette;
    for (int i = 0; i < 256; ++i) {
        const double hue = (i % 128) / 128.0 * 6.0;
        const double level = i < 128 ? 1.0 : 0.55;
        const double f = hue - std::floor(hue);
        double r = 0, g = 0, b = 0;
        switch (static_cast<int>(hue)) {
            case 0: r = 1, g = f, b = 0; break;
            case 1: r = 1 - f, g = 1, b = 0; break;
            case 2: r = 0, g = 1, b = f; break;
            case 3: r = 0, g = 1 - f, b = 1; break;
            case 4: r = f, g = 0, b = 1; break;
            default: r = 1, g = 0, b = 1 - f; break;
        }
        palette.push_back(static_cast<uint8_t>(r * level * 255));
        palette.push_back(static_cast<uint8_t>(g * level * 255));
        palette.push_back(static_cast<uint8_t>(b * level * 255));
    }
    return palette;
}

// A diagonal gradient that drifts with t, dithered by random noise, with a
// few solid discs moving across it: long runs inside the discs, short
// strings in the noise, as in dithered photographic animations.
std::vector<uint8_t> NoisyFrame(int width, int height, int t, std::mt19937& random) {
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random() % 5);
            indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(x / 3 + y / 5 + 4 * t + noise);
        }
    }
    for (int disc = 0; disc < 6; ++disc) {
        const int radius = 25 + 9 * disc;
        const double angle = t * 0.1 + disc;
        const int cx = static_cast<int>(width / 2 + std::cos(angle) * width * 0.35);
        const int cy = static_cast<int>(height / 2 + std::sin(angle * 1.3) * height * 0.35);
        for (int y = std::max(cy - radius, 0); y < std::min(cy + radius, height); ++y) {
            for (int x = std::max(cx - radius, 0); x < std::min(cx + radius, width); ++x) {
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) {
                    indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(200 + 9 * disc);
                }
            }
        }
    }
    return indices;
}

EncodedGif NoisyAnimation(int width, int height, int frames, uint32_t seed) {
    std::mt19937 random(seed);
    EncodedGif gif;
    gif.screenWidth = width;
    gif.screenHeight = height;
    gif.globalPalette = RainbowPalette();
    for (int t = 0; t < frames; ++t) {
        EncodedImage image;
        image.width = width;
        image.height = height;
        image.indices = NoisyFrame(width, height, t, random);
        image.delay = 4;
        gif.images.push_back(std::move(image));
    }
    return gif;
}

// A full first frame, then a sprite moving over it: small sub-rectangles
// with a transparent surround, some interlaced, some with their own table.
// Disposal stays 1 so that all three decoders must agree on every frame.
EncodedGif SpriteAnimation(int width, int height, int frames, uint32_t seed) {
    std::mt19937 random(seed);
    EncodedGif gif = NoisyAnimation(width, height, 1, seed);
    const int spriteWidth = std::min(96, width);
    const int spriteHeight = std::min(72, height);
    for (int t = 1; t < frames; ++t) {
        EncodedImage sprite;
        sprite.width = spriteWidth;
        sprite.height = spriteHeight;
        sprite.left = (t * 37) % (width - spriteWidth + 1);
        sprite.top = (t * 23) % (height - spriteHeight + 1);
        sprite.transparentIndex = 0;
        sprite.interlaced = t % 7 == 0;
        if (t % 10 == 0) {
            for (int i = 0; i < 64 * 3; ++i) sprite.localPalette.push_back(static_cast<uint8_t>(random()));
        }
        const int colours = sprite.localPalette.empty() ? 256 : 64;
        sprite.indices.resize(static_cast<size_t>(spriteWidth) * spriteHeight);
        for (int y = 0; y < spriteHeight; ++y) {
            for (int x = 0; x < spriteWidth; ++x) {
                const int dx = 2 * x - spriteWidth, dy = 2 * y - spriteHeight;
                const bool inside = dx * dx * spriteHeight * spriteHeight + dy * dy * spriteWidth * spriteWidth <=
                                    spriteWidth * spriteWidth * spriteHeight * spriteHeight;
                sprite.indices[static_cast<size_t>(y) * spriteWidth + x] =
                    inside ? static_cast<uint8_t>(1 + (x / 4 + y / 4 + t + random() % 3) % (colours - 1)) : 0;
            }
        }
        sprite.delay = 3;
        gif.images.push_back(std::move(sprite));
    }
    return gif;
}

struct Generated {
    const char* name;
    bool sprite;
    int width, height, frames;
};

const Generated kFullSet[] = {
    {"gen-noisy-640x480x60.gif", false, 640, 480, 60},
    {"gen-noisy-1000x1000x20.gif", false, 1000, 1000, 20},
    {"gen-sprite-480x360x120.gif", true, 480, 360, 120},
};
const Generated kQuickSet[] = {
    {"gen-noisy-160x120x6.gif", false, 160, 120, 6},
    {"gen-noisy-300x300x2.gif", false, 300, 300, 2},
    {"gen-sprite-200x150x12.gif", true, 200, 150, 12},
};

bool GenerateFiles(const fs::path& dir, bool quick, std::vector<BenchFile>* files) {
    uint32_t seed = 2024;
    for (const Generated& g : quick ? std::vector<Generated>(std::begin(kQuickSet), std::end(kQuickSet))
                                    : std::vector<Generated>(std::begin(kFullSet), std::end(kFullSet))) {
        const EncodedGif gif = g.sprite ? SpriteAnimation(g.width, g.height, g.frames, seed++)
                                        : NoisyAnimation(g.width, g.height, g.frames, seed++);
        const std::vector<uint8_t> bytes = EncodeGif(gif);
        BenchFile file;
        file.path = dir / g.name;
        file.name = g.name;
        file.generated = true;
        file.bytes = bytes.size();
        if (!WriteBytes(file.path.string(), bytes)) {
            std::fprintf(stderr, "decode_bench: cannot write %s\n", file.path.c_str());
            return false;
        }
        files->push_back(file);
    }
    return true;
}

// ---- Timing ----

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Seconds of one decode, for every round, file and decoder. In each round
// every file is decoded by the three decoders in turn (each repeated until
// it lasts about the target time), so that a slow patch of the shared
// machine hits all of them alike; every figure is a median over rounds.
struct ModeTimes {
    // [round][file][decoder]
    std::vector<std::vector<std::array<double, kDecoderCount>>> perDecode;
    std::vector<int> frames;
};

ModeTimes TimeMode(int scaleWidth, const std::vector<BenchFile>& files, int rounds, double target) {
    gScaleWidth = scaleWidth;
    ModeTimes times;
    std::vector<std::array<int, kDecoderCount>> repeats(files.size());
    for (size_t f = 0; f < files.size(); ++f) {
        for (int d = 0; d < kDecoderCount; ++d) {
            const auto start = std::chrono::steady_clock::now();
            const int n = Decode(static_cast<Decoder>(d), files[f], nullptr);
            const double first = Seconds(std::chrono::steady_clock::now() - start);
            repeats[f][d] = std::clamp(static_cast<int>(std::ceil(target / std::max(first, 1e-7))), 1, 100000);
            if (d == kOurs) times.frames.push_back(n);
        }
    }
    times.perDecode.assign(static_cast<size_t>(rounds), std::vector<std::array<double, kDecoderCount>>(files.size()));
    for (int round = 0; round < rounds; ++round) {
        for (size_t f = 0; f < files.size(); ++f) {
            for (int d = 0; d < kDecoderCount; ++d) {
                const auto start = std::chrono::steady_clock::now();
                for (int i = 0; i < repeats[f][d]; ++i) Decode(static_cast<Decoder>(d), files[f], nullptr);
                times.perDecode[round][f][d] = Seconds(std::chrono::steady_clock::now() - start) / repeats[f][d];
            }
        }
    }
    return times;
}

// Per round, the set's total for each decoder (one decode of each file).
std::vector<std::array<double, kDecoderCount>> SetTotals(const ModeTimes& times, const std::vector<bool>& inSet) {
    std::vector<std::array<double, kDecoderCount>> totals;
    for (const auto& round : times.perDecode) {
        std::array<double, kDecoderCount> sum{};
        for (size_t f = 0; f < round.size(); ++f) {
            if (!inSet[f]) continue;
            for (int d = 0; d < kDecoderCount; ++d) sum[d] += round[f][d];
        }
        totals.push_back(sum);
    }
    return totals;
}

// Median over rounds of (peer time / our time) for a set: how many times as
// fast as the peer ours is. ours may come from another mode's times.
double MedianSpeedup(const ModeTimes& ourTimes, const ModeTimes& peerTimes, int peer,
                     const std::vector<bool>& inSet) {
    const auto ours = SetTotals(ourTimes, inSet);
    const auto theirs = SetTotals(peerTimes, inSet);
    std::vector<double> ratios;
    for (size_t r = 0; r < ours.size() && r < theirs.size(); ++r) ratios.push_back(theirs[r][peer] / ours[r][kOurs]);
    return Median(ratios);
}

void PrintMode(const char* title, const ModeTimes& times, const std::vector<BenchFile>& files) {
    std::printf("\n== %s ==\n", title);
    std::printf("%-46s %9s %7s %11s %11s %11s %8s\n", "file", "KB", "frames", "ours ms", "giflib ms", "stb ms",
                "x giflib");
    std::vector<std::pair<double, size_t>> relative;  // ours / giflib per file
    for (size_t f = 0; f < files.size(); ++f) {
        double median[kDecoderCount];
        for (int d = 0; d < kDecoderCount; ++d) {
            std::vector<double> perRound;
            for (const auto& round : times.perDecode) perRound.push_back(round[f][d]);
            median[d] = Median(perRound);
        }
        std::printf("%-46s %9.1f %7d %11.3f %11.3f %11.3f %8.2f\n", files[f].name.c_str(), files[f].bytes / 1024.0,
                    times.frames[f], median[kOurs] * 1e3, median[kGiflib] * 1e3, median[kStb] * 1e3,
                    median[kGiflib] / median[kOurs]);
        relative.push_back({median[kOurs] / median[kGiflib], f});
    }
    const char* const groups[3] = {"corpus files", "generated files", "all files"};
    for (int group = 0; group < 3; ++group) {
        std::vector<bool> inSet;
        for (const BenchFile& file : files) inSet.push_back(group == 2 || file.generated == (group == 1));
        std::vector<double> totals[kDecoderCount];
        for (const auto& round : SetTotals(times, inSet)) {
            for (int d = 0; d < kDecoderCount; ++d) totals[d].push_back(round[d]);
        }
        std::printf("%s, median total seconds for one decode of each: ours %.4f  giflib %.4f  stb %.4f; "
                    "speedup x giflib %.2f, x stb %.2f\n",
                    groups[group], Median(totals[kOurs]), Median(totals[kGiflib]), Median(totals[kStb]),
                    MedianSpeedup(times, times, kGiflib, inSet), MedianSpeedup(times, times, kStb, inSet));
    }
    std::sort(relative.rbegin(), relative.rend());
    std::printf("slowest five against giflib (ours time / giflib time):");
    for (size_t i = 0; i < relative.size() && i < 5; ++i) {
        std::printf(" %s %.3f%s", files[relative[i].second].name.c_str(), relative[i].first, i + 1 < 5 ? ";" : "");
    }
    std::printf("\n");
}

int Usage() {
    std::fprintf(stderr, "usage: decode_bench [--quick] [--rounds N] [--testdata DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    int roundsWanted = 7;
    fs::path testdata = REELSTACK_TESTDATA_DIR;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            quick = true;
        } else if (arg == "--rounds" && i + 1 < argc) {
            roundsWanted = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--testdata" && i + 1 < argc) {
            testdata = argv[++i];
        } else {
            return Usage();
        }
    }

    std::vector<BenchFile> candidates;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(testdata, error)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".gif") continue;
        candidates.push_back({entry.path(), entry.path().filename().string(), false, entry.file_size()});
    }
    if (error || candidates.empty()) {
        std::fprintf(stderr, "decode_bench: no GIF files in %s\n", testdata.c_str());
        return 1;
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const BenchFile& a, const BenchFile& b) { return a.name < b.name; });

    std::string pattern = (fs::temp_directory_path() / "reelstack-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::fprintf(stderr, "decode_bench: cannot make a temporary folder\n");
        return 1;
    }
    const fs::path workDir = pattern;
    struct RemoveDir {
        fs::path dir;
        ~RemoveDir() {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    } removeWorkDir{workDir};
    const auto generateStart = std::chrono::steady_clock::now();
    if (!GenerateFiles(workDir, quick, &candidates)) return 1;
    const double generateSeconds = Seconds(std::chrono::steady_clock::now() - generateStart);

    // Leave out, for every decoder, a file that any decoder refuses (ours at
    // either width), and check that the three agree frame for frame on the
    // generated files, which hold nothing their composition rules disagree on.
    std::vector<BenchFile> files;
    std::vector<std::string> skipped;
    int mismatches = 0;
    int checkedFrames = 0;
    for (const BenchFile& file : candidates) {
        FrameHashes hashes[kDecoderCount];
        std::string refusedBy;
        gScaleWidth = kNoScaling;
        for (int d = 0; d < kDecoderCount; ++d) {
            if (Decode(static_cast<Decoder>(d), file, file.generated ? &hashes[d] : nullptr) == 0) {
                refusedBy += std::string(refusedBy.empty() ? "" : ", ") + kDecoderNames[d];
            }
        }
        gScaleWidth = kViewerScaleWidth;
        if (DecodeOurs(file, nullptr) == 0 && refusedBy.find("ours") == std::string::npos) {
            refusedBy += std::string(refusedBy.empty() ? "" : ", ") + "ours at width 250";
        }
        if (!refusedBy.empty()) {
            skipped.push_back(file.name + " (refused by " + refusedBy + ")");
            continue;
        }
        if (file.generated) {
            for (int peer : {kGiflib, kStb}) {
                if (hashes[peer].hashes != hashes[kOurs].hashes) {
                    ++mismatches;
                    std::printf("cross-check: %s: %s frames differ from ours\n", file.name.c_str(),
                                kDecoderNames[peer]);
                }
            }
            checkedFrames += static_cast<int>(hashes[kOurs].hashes.size());
        }
        files.push_back(file);
    }

    const int rounds = quick ? 1 : roundsWanted;
    const double target = quick ? 0.001 : 0.02;
    int corpusCount = 0;
    for (const BenchFile& file : files) corpusCount += file.generated ? 0 : 1;
    std::printf("decode_bench%s: %zu files (%d from %s, %zu generated in %.1f s), median of %d interleaved "
                "round(s)\n",
                quick ? " --quick (smoke run, not a measurement)" : "", files.size(), corpusCount,
                testdata.c_str(), files.size() - corpusCount, generateSeconds, rounds);
    std::printf("decoders: ours (DecodeGifFile, sink touches nothing); giflib %d.%d.%d (DGifSlurp + RGBA "
                "composition); stb_image (stbi_load_gif_from_memory, file read included)\n",
                GIFLIB_MAJOR, GIFLIB_MINOR, GIFLIB_RELEASE);
    for (const std::string& s : skipped) std::printf("skipped for all decoders: %s\n", s.c_str());
    std::printf("cross-check on generated files: %d frames, %s\n", checkedFrames,
                mismatches == 0 ? "ours, giflib and stb identical" : "MISMATCH (see above)");

    const ModeTimes full = TimeMode(kNoScaling, files, rounds, target);
    PrintMode("full size (gScaleWidth = 2147483647, nothing downscaled)", full, files);
    const ModeTimes scaled = TimeMode(kViewerScaleWidth, files, rounds, target);
    PrintMode("scale width 250: only ours downscales, giflib and stb decode full size", scaled, files);

    // Targets: the whole set at full size against giflib, ours at 250
    // against giflib's full decode, and the corpus files under 20 KB.
    std::vector<bool> all(files.size(), true);
    std::vector<bool> small;
    for (const BenchFile& file : files) small.push_back(!file.generated && file.bytes < 20 * 1024);
    struct Target {
        const char* what;
        double speedup;
        double wanted;
    };
    const Target targets[] = {
        {"whole set, full size, x giflib", MedianSpeedup(full, full, kGiflib, all), 4.0},
        {"whole set, ours at 250 against giflib's full decode", MedianSpeedup(scaled, full, kGiflib, all), 8.0},
        {"corpus files under 20 KB, full size, x giflib", MedianSpeedup(full, full, kGiflib, small), 1.5},
    };
    std::printf("\n== targets (median of %d rounds) ==\n", rounds);
    for (const Target& t : targets) {
        std::printf("%-55s %6.2fx  (target %.1fx: %s)\n", t.what, t.speedup, t.wanted,
                    t.speedup >= t.wanted ? "met" : "NOT met");
    }
    return mismatches == 0 ? 0 : 1;
}
