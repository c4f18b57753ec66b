// libFuzzer target over the whole decode path, differential: every input is
// decoded once with the fast pixel writers and once through MapPixel pixel by
// pixel (referencePixelPath), and any difference in outcome, frame count,
// frame size, delay or frame byte traps. ASan and UBSan catch the rest.
//
// Input layout: byte 0 picks gScaleWidth from kScaleWidths (byte 0 modulo
// their count) and, with its next choice (byte 0 over the count, odd), the
// fast path's code loop built for any processor (gPortableCodeLoop); the
// remaining bytes are the GIF file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "gif/gif_decoder.h"

namespace {

// From "every pixel skipped" through the viewer's widths to no downscaling.
constexpr int kScaleWidths[] = {1, 37, 100, 250, 2147483647};

// A GIF may declare a 65535 x 65535 screen, whose canvas (16 GiB) the
// decoder refuses (gMaxCanvasBytes) but whose downscaled canvas it makes.
// Screens above 1024 x 1024 pixels are skipped: a big canvas costs the
// fuzzer its zeroing, clearing and hashing at every input (under ASan) and
// adds no path a smaller one lacks; very wide and very tall screens (up to
// 65535 x 16) still come through, and so does the size check itself.
constexpr uint64_t kMaxScreenPixels = 1 << 20;

// Frame bytes one decode may hand over before the sink stops it: a screen
// with hundreds of tiny images would otherwise spend the time hashing
// canvases rather than decoding.
constexpr uint64_t kFrameByteBudget = 64ull << 20;

struct StopDecode {};

// Frames are compared by this hash rather than kept: copies of every frame
// made the fuzzer several times slower. Four lanes take every fourth 8-byte
// word, so that their multiplies overlap. Each step is a bijection of its
// lane's state for a given word, and the lanes are joined by XOR after
// rotations, so two frames that differ in a single 8-byte word always hash
// differently; wider differences collide with odds near 2^-64.
// Not instrumented: it only reads the frame the decoder handed over.
__attribute__((no_sanitize("address", "undefined")))
uint64_t HashBytes(const uint8_t* bytes, size_t size) {
    uint64_t lane[4] = {0x9E3779B97F4A7C15ull ^ size, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull,
                        0x27D4EB2F165667C5ull};
    size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        for (int k = 0; k < 4; ++k) {
            uint64_t word;
            std::memcpy(&word, bytes + i + 8 * k, 8);
            lane[k] = (lane[k] ^ word) * 0xFF51AFD7ED558CCDull;
            lane[k] ^= lane[k] >> 32;
        }
    }
    uint64_t h = lane[0] ^ (lane[1] << 17 | lane[1] >> 47) ^ (lane[2] << 31 | lane[2] >> 33) ^
                 (lane[3] << 47 | lane[3] >> 17);
    for (; i < size; ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
    return h;
}

struct RecordedFrame {
    int32_t width;
    int32_t height;
    int32_t delay;
    uint64_t hash;
};

enum class Ending { kDecoded, kFailed, kOutOfMemory, kStopped };

struct Outcome {
    Ending ending = Ending::kFailed;
    int frameCount = -1;
    bool opened = false;
    GifFileInfo info;
    std::vector<RecordedFrame> frames;
};

class RecordingSink : public GifFrameSink {
public:
    explicit RecordingSink(Outcome* outcome) : outcome_(outcome) {}

    void Opened(const GifFileInfo& info) override {
        outcome_->opened = true;
        outcome_->info = info;
    }

    void Frame(const GifFrame& frame) override {
        const size_t size = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height) * 4;
        handed_ += size;
        if (handed_ > kFrameByteBudget) throw StopDecode{};
        outcome_->frames.push_back({frame.width, frame.height, frame.delay, HashBytes(frame.rgba, size)});
    }

private:
    Outcome* outcome_;
    uint64_t handed_ = 0;
};

Outcome DecodeBytes(const uint8_t* data, size_t size, bool referencePixelPath) {
    Outcome outcome;
    // fmemopen wants a writable buffer even for "rb"; hand it a copy.
    std::vector<uint8_t> copy(data, data + size);
    std::FILE* stream = fmemopen(copy.data(), copy.size(), "rb");
    if (!stream) __builtin_trap();
    RecordingSink sink(&outcome);
    try {
        outcome.frameCount = DecodeGifStream(stream, &sink, referencePixelPath);
        outcome.ending = Ending::kDecoded;
    } catch (const GifDecodeFailure&) {
        outcome.ending = Ending::kFailed;
    } catch (const std::bad_alloc&) {
        outcome.ending = Ending::kOutOfMemory;
    } catch (const StopDecode&) {
        outcome.ending = Ending::kStopped;
    }
    return outcome;
}

[[noreturn]] void Differ(const char* what) {
    std::fprintf(stderr, "gif_fuzz: fast and reference paths differ: %s\n", what);
    __builtin_trap();
}

void Compare(const Outcome& fast, const Outcome& reference) {
    if (fast.ending != reference.ending) Differ("outcome");
    if (fast.frameCount != reference.frameCount) Differ("frame count");
    if (fast.opened != reference.opened) Differ("opened");
    if (fast.opened && (fast.info.screenWidth != reference.info.screenWidth ||
                        fast.info.screenHeight != reference.info.screenHeight ||
                        fast.info.canvasWidth != reference.info.canvasWidth ||
                        fast.info.canvasHeight != reference.info.canvasHeight)) {
        Differ("file info");
    }
    if (fast.frames.size() != reference.frames.size()) Differ("frames handed over");
    for (size_t i = 0; i < fast.frames.size(); ++i) {
        const RecordedFrame& a = fast.frames[i];
        const RecordedFrame& b = reference.frames[i];
        if (a.width != b.width || a.height != b.height) Differ("frame size");
        if (a.delay != b.delay) Differ("frame delay");
        if (a.hash != b.hash) Differ("frame bytes");
    }
    if (fast.ending == Ending::kDecoded && fast.frameCount != static_cast<int>(fast.frames.size())) {
        Differ("frame count against frames handed over");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    constexpr size_t kWidthCount = sizeof kScaleWidths / sizeof kScaleWidths[0];
    const int scaleWidth = kScaleWidths[data[0] % kWidthCount];
    const bool portableLoop = (data[0] / kWidthCount) % 2 == 1;
    const uint8_t* file = data + 1;
    const size_t fileSize = size - 1;
    if (fileSize >= 10) {
        const uint64_t width = file[6] | file[7] << 8;
        const uint64_t height = file[8] | file[9] << 8;
        if (width * height > kMaxScreenPixels) return 0;
    }
    gScaleWidth = scaleWidth;
    gPortableCodeLoop = portableLoop;
    const Outcome fast = DecodeBytes(file, fileSize, false);
    const Outcome reference = DecodeBytes(file, fileSize, true);
    Compare(fast, reference);
    return 0;
}
