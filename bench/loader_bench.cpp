// What the user feels of the loader: the UI thread's frame intervals while
// the loader decodes and uploads large files with timed adds every second,
// and how long the initial fill of a folder of about fifty files takes.
//
// Runs the real viewer (window, GL, loader thread), so it needs a display:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/loader_bench [--quick]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "render/load_gif.h"
#include "gif_encoder.h"
#include "viewer_support.h"
#include "wall/loader.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Diagonal bands that move by one colour per frame: runs short enough that
// LZW has real work, unlike a solid fill.
void WriteBandedGif(const std::filesystem::path& path, int width, int height, int frames,
                    int seed) {
    EncodedGif gif;
    gif.screenWidth = width;
    gif.screenHeight = height;
    for (int i = 0; i < 16; ++i) {
        const uint8_t rgb[3] = {static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 16),
                                static_cast<uint8_t>((i * 53 + seed * 31) & 255)};
        gif.globalPalette.insert(gif.globalPalette.end(), rgb, rgb + 3);
    }
    for (int t = 0; t < frames; ++t) {
        EncodedImage image;
        image.width = width;
        image.height = height;
        image.delay = 4;
        image.indices.resize(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                image.indices[static_cast<size_t>(y) * width + x] =
                    static_cast<uint8_t>(((x + y) / 6 + t + seed) % 16);
            }
        }
        gif.images.push_back(std::move(image));
    }
    WriteBytes(path.string(), EncodeGif(gif));
}

struct Summary {
    size_t count = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
    size_t over60 = 0;
};

Summary Summarise(std::vector<double> values) {
    Summary s;
    s.count = values.size();
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    s.median = values[values.size() / 2];
    s.p99 = values[std::min(values.size() - 1, values.size() * 99 / 100)];
    s.max = values.back();
    s.over60 = static_cast<size_t>(std::count_if(values.begin(), values.end(),
                                                 [](double v) { return v > 60.0; }));
    return s;
}

std::vector<Clock::time_point> gTitleTimes;
void StampTitle(const std::string&) { gTitleTimes.push_back(Clock::now()); }

int32_t AnswerOk(const std::string&, const std::string&, MessageBoxKind) { return kAnswerYes; }

// Frames drawn while timed adds bring large files, one per second.
bool MeasureFramesUnderLoad(GifWall* wall, bool quick) {
    const int files = quick ? 2 : 4;
    const int seconds = quick ? 5 : 15;
    std::filesystem::path dir = FreshFolder("bench-large");
    std::printf("writing %d files of 1000 x 1000, 50 frames ...\n", files);
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "large%d.gif", i);
        WriteBandedGif(dir / name, 1000, 1000, 50, i);
    }

    // One load on this thread first, for the cost of a file by itself.
    {
        const auto start = Clock::now();
        ResetStage(wall);
        const int32_t failed = LoadGif(wall, (dir / "large0.gif").string());
        const double ms = MsBetween(start, Clock::now());
        if (failed) return false;
        ReleaseImage(&wall->pendingImage);
        ResetStage(wall);
        std::printf("one file (decode, scale to 250, upload 50 textures): %.1f ms\n", ms);
    }

    const std::string folder = dir.string();
    OpenCommand(wall, &folder);
    if (!wall->playing) return false;
    TriggerMenuCommandForTest(IdInterval1s);
    wall->lastAddTime = TimeMs();

    std::vector<double> intervals;
    int32_t adds = 0;
    int32_t lastIndex = wall->fileList.nextIndex;
    auto previous = Clock::now();
    const auto end = previous + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        if (!MainLoopPass(wall)) return false;
        const auto now = Clock::now();
        intervals.push_back(MsBetween(previous, now));
        previous = now;
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        if (wall->fileList.nextIndex != lastIndex) {
            lastIndex = wall->fileList.nextIndex;
            ++adds;
        }
    }
    TriggerMenuCommandForTest(IdIntervalStop);
    WaitIdle(wall);
    const Summary s = Summarise(intervals);
    std::printf("frames under load: %zu frames in %d s, %d loads finished\n", s.count, seconds,
                adds);
    std::printf("  frame interval ms: median %.2f  p99 %.2f  max %.2f  over 60 ms: %zu\n",
                s.median, s.p99, s.max, s.over60);
    std::printf("  targets: median <= 21 ms, none above 60 ms: %s\n",
                s.median <= 21.0 && s.over60 == 0 ? "met" : "NOT met");
    ClearWall(wall);
    return true;
}

// The fill of a folder of 50 flat files (250 x 35 on the wall), about 17
// to a column: each file is loaded about once.
bool MeasureInitialFill(GifWall* wall, bool quick) {
    const int files = 50;
    const int frames = quick ? 8 : 24;
    std::filesystem::path dir = FreshFolder("bench-fill");
    std::printf("writing %d files of 480 x 68, %d frames ...\n", files, frames);
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%02d.gif", i);
        WriteBandedGif(dir / name, 480, 68, frames, i);
    }
    gTitleTimes.clear();
    SetTitleObserverForTest(StampTitle);
    const std::string folder = dir.string();
    OpenCommand(wall, &folder);
    SetTitleObserverForTest(nullptr);
    if (!wall->playing || gTitleTimes.size() < 3) return false;
    // Titles: loading, one per attempt, then the plain title.
    const size_t attempts = gTitleTimes.size() - 2;
    const double total = MsBetween(gTitleTimes[1], gTitleTimes.back());
    std::printf("initial fill: %zu images placed from %zu attempts in %.1f ms, %.2f ms per file\n",
                wall->images.size(), attempts, total, total / static_cast<double>(attempts));
    ClearWall(wall);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    GifWall* wall = StartTestViewer();
    if (!wall || !wall->loaderThread) {
        std::fprintf(stderr, "loader_bench: the viewer did not start with GL\n");
        return 1;
    }
    SetMessageBoxForTest(AnswerOk);
    TriggerMenuCommandForTest(IdOrderName);
    TriggerMenuCommandForTest(IdIntervalStop);  // until the measurement starts
    const bool ok = MeasureInitialFill(wall, quick) && MeasureFramesUnderLoad(wall, quick);
    Shutdown(wall);
    ShutdownPlatform();
    std::error_code error;
    std::filesystem::remove_all(FreshFolder("done").parent_path(), error);
    if (!ok) std::fprintf(stderr, "loader_bench: a measurement could not run\n");
    return ok ? 0 : 1;
}
