// wall_bench: the viewer's own costs on a real window, in one run.
//
//   xvfb-run -a -s "-screen 0 1600x1000x24" build/wall_bench [--seconds N] [--files N]
//
// Starts the viewer in a 1280 x 720 client area with 100 px columns, writes
// a folder of generated GIFs (mixed sizes 100 to 600 px wide, 10 to 40
// frames) and reports:
//   - LoadGif per file, split into decoding (the decoder with a sink that
//     keeps nothing) and uploading (the rest of LoadGif), best of 3;
//   - the time to open the folder and fill the wall;
//   - one DrawWall on the full wall: CPU time of the calling thread and of
//     the whole process (Mesa's llvmpipe renders on threads of its own), and
//     the wall time with a glFinish after it;
//   - the frame intervals of the main loop over N seconds of play with the
//     default 2 s add interval: median, 95th percentile and maximum.
// Not a test: the figures depend on the machine and the GL driver.
#include <GL/glew.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/app.h"
#include "gif/gif_decoder.h"
#include "render/load_gif.h"
#include "gif_encoder.h"
#include "platform/platform.h"
#include "platform/test_hooks.h"
#include "render/render.h"
#include "wall/gif_wall.h"

#ifndef REELSTACK_RUNTIME_DIR
#error "REELSTACK_RUNTIME_DIR must name the build's runtime folder (shaders)"
#endif

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double CpuMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The p-th quantile (0..1) of sorted values, nearest rank.
double Quantile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0.0;
    size_t rank = static_cast<size_t>(p * static_cast<double>(sorted.size()) + 0.999999);
    if (rank < 1) rank = 1;
    if (rank > sorted.size()) rank = sorted.size();
    return sorted[rank - 1];
}

struct GeneratedFile {
    fs::path path;
    int width = 0;
    int height = 0;
    int frames = 0;
    uintmax_t bytes = 0;
};

// A file that looks like an animation: a smooth background in a 256-entry
// palette, a square moving across it, every other file with frames that
// cover only the square's area (as an optimising encoder writes them).
GeneratedFile WriteAnimation(const fs::path& path, std::mt19937& rng) {
    GeneratedFile file;
    file.path = path;
    file.width = std::uniform_int_distribution<int>(100, 600)(rng);
    file.height = static_cast<int>(file.width * std::uniform_real_distribution<double>(0.5, 1.5)(rng));
    file.frames = std::uniform_int_distribution<int>(10, 40)(rng);
    const bool partial = std::uniform_int_distribution<int>(0, 1)(rng) == 1;
    const int w = file.width;
    const int h = file.height;

    EncodedGif gif;
    gif.screenWidth = w;
    gif.screenHeight = h;
    for (int i = 0; i < 256; ++i) {
        gif.globalPalette.push_back(static_cast<uint8_t>(i));
        gif.globalPalette.push_back(static_cast<uint8_t>((i * 7) & 0xFF));
        gif.globalPalette.push_back(static_cast<uint8_t>(255 - i));
    }
    const int side = std::max(8, std::min(w, h) / 4);
    for (int t = 0; t < file.frames; ++t) {
        const int sx = (w - side) * t / file.frames;
        const int sy = (h - side) * ((t * 3) % file.frames) / file.frames;
        EncodedImage image;
        image.delay = std::uniform_int_distribution<int>(2, 10)(rng);
        if (partial && t > 0) {
            image.left = sx;
            image.top = sy;
            image.width = side;
            image.height = side;
        } else {
            image.width = w;
            image.height = h;
        }
        image.indices.resize(static_cast<size_t>(image.width) * image.height);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const int gx = image.left + x;
                const int gy = image.top + y;
                const bool inSquare = gx >= sx && gx < sx + side && gy >= sy && gy < sy + side;
                const int value = inSquare ? (t * 37 + gx / 4) & 0xFF : ((gx + gy) / 3 + t) & 0x7F;
                image.indices[static_cast<size_t>(y) * image.width + x] = static_cast<uint8_t>(value);
            }
        }
        gif.images.push_back(std::move(image));
    }
    WriteBytes(path.string(), EncodeGif(gif));
    file.bytes = fs::file_size(path);
    return file;
}

class NullSink : public GifFrameSink {
public:
    void Frame(const GifFrame&) override {}
};

int32_t AnswerYes(const std::string& text, const std::string& caption, MessageBoxKind kind) {
    std::fprintf(stderr, "message: %s / %s\n", caption.c_str(), text.c_str());
    return kind == MessageBoxKind::YesNoQuestion ? kAnswerYes : kAnswerOk;
}

void ReportIntervals(const char* what, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty()) return;
    size_t over25 = 0;
    for (double v : values) over25 += v > 25.0 ? 1 : 0;
    std::printf("  %-34s median %6.2f  p95 %6.2f  max %6.2f  min %6.2f ms; %zu of %zu over 25 ms\n", what,
                Quantile(values, 0.5), Quantile(values, 0.95), values.back(), values.front(), over25,
                values.size());
}

// Runs the main loop for seconds with the add interval of menu item
// intervalId. A pass that finds the wall playing draws exactly one frame, so
// each pass is a frame: its start is the pacing's lastFrameTime (1 ms
// steps of the viewer's clock), its end the return of the pass, right after
// the swap.
void PlayAndReport(GifWall* wall, double seconds, int32_t intervalId, const char* label) {
    TriggerMenuCommandForTest(intervalId);
    wall->lastAddTime = TimeMs();
    std::vector<double> ends;
    std::vector<double> starts;
    int adds = 0;
    uint64_t lastAdd = wall->lastAddTime;
    uint32_t lastStart = wall->lastFrameTime;
    auto playStart = Clock::now();
    auto previous = Clock::now();
    bool first = true;
    while (MsSince(playStart) < seconds * 1000.0) {
        if (!MainLoopPass(wall)) break;
        auto now = Clock::now();
        if (!first) {
            ends.push_back(std::chrono::duration<double, std::milli>(now - previous).count());
            starts.push_back(static_cast<double>(wall->lastFrameTime - lastStart));
        }
        first = false;
        previous = now;
        lastStart = wall->lastFrameTime;
        if (wall->lastAddTime != lastAdd) {
            ++adds;
            lastAdd = wall->lastAddTime;
        }
    }
    std::printf("main loop, %.0f s, %s: %zu frames, %d timed adds (targets: median <= 21, p95 <= 25)\n",
                seconds, label, ends.size() + 1, adds);
    ReportIntervals("frame starts (pacing clock)", starts);
    ReportIntervals("frame ends (after the swap)", ends);
}

}  // namespace

int main(int argc, char** argv) {
    double playSeconds = 10.0;
    int fileCount = 50;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            playSeconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
            fileCount = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--files N]\n", argv[0]);
            return 2;
        }
    }

    InitPlatform(&argc, argv);
    if (chdir(REELSTACK_RUNTIME_DIR) != 0) {
        std::perror(REELSTACK_RUNTIME_DIR);
        return 1;
    }
    SetMessageBoxForTest(AnswerYes);
    auto wall = std::make_unique<GifWall>();
    if (!StartUp(wall.get()) || !wall->loaderThread) {
        std::fprintf(stderr, "the viewer did not start with GL\n");
        return 1;
    }
    ResizeClientForTest(wall->hwnd, 1280, 720);
    for (int i = 0; i < 20; ++i) ProcessEvents(false);
    TriggerMenuCommandForTest(IdWidth100);  // in force at the next open
    TriggerMenuCommandForTest(IdOrderName);  // file-name order: the same wall every run

    std::printf("GL: %s / %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    std::printf("client area: %d x %d, pending column width %d\n", wall->clientWidth,
                wall->clientHeight, wall->pendingColumnWidth);

    // The folder.
    const fs::path folder = fs::temp_directory_path() / ("reelstack-wall-bench-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::mt19937 rng(20240607u);
    std::vector<GeneratedFile> files;
    auto writeStart = Clock::now();
    for (int i = 0; i < fileCount; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "anim%02d.gif", i);
        files.push_back(WriteAnimation(folder / name, rng));
    }
    std::printf("generated %d files in %.0f ms\n\n", fileCount, MsSince(writeStart));

    // LoadGif split, on the UI thread with the main context, into a stage of
    // its own so that the viewer's loader is not disturbed.
    gScaleWidth = wall->pendingScaleWidth;
    auto scratch = std::make_unique<GifWall>();
    scratch->columnWidth = wall->pendingColumnWidth;
    double totalDecode = 0.0;
    double totalLoad = 0.0;
    long totalFrames = 0;
    std::printf("LoadGif at scale width %d (best of 3, ms)\n", gScaleWidth);
    std::printf("  %-12s %9s %7s %8s %9s %9s\n", "file", "size", "frames", "decode", "upload", "LoadGif");
    for (const GeneratedFile& file : files) {
        double bestDecode = 1e30;
        double bestLoad = 1e30;
        for (int round = 0; round < 3; ++round) {
            NullSink sink;
            auto start = Clock::now();
            DecodeGifFile(file.path.string().c_str(), &sink);
            bestDecode = std::min(bestDecode, MsSince(start));

            ResetStage(scratch.get());
            start = Clock::now();
            const int32_t result = LoadGif(scratch.get(), file.path.string());
            bestLoad = std::min(bestLoad, MsSince(start));
            if (result != 0) std::fprintf(stderr, "%s did not load\n", file.path.c_str());
            ReleaseImage(&scratch->pendingImage);
        }
        totalDecode += bestDecode;
        totalLoad += bestLoad;
        totalFrames += file.frames;
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", file.width, file.height);
        std::printf("  %-12s %9s %7d %8.2f %9.2f %9.2f\n", file.path.filename().c_str(), size,
                    file.frames, bestDecode, std::max(0.0, bestLoad - bestDecode), bestLoad);
    }
    ResetStage(scratch.get());
    std::printf("  total: %ld frames, decode %.1f ms, upload %.1f ms, LoadGif %.1f ms "
                "(upload %.0f%% of LoadGif)\n\n",
                totalFrames, totalDecode, totalLoad - totalDecode, totalLoad,
                100.0 * (totalLoad - totalDecode) / totalLoad);

    // Opening the folder: listing, settings, the initial fill.
    const std::string folderText = folder.string();
    auto openStart = Clock::now();
    OpenCommand(wall.get(), &folderText);
    const double fillMs = MsSince(openStart);
    if (!wall->playing) {
        std::fprintf(stderr, "the folder did not open\n");
        return 1;
    }
    size_t live = 0;
    for (const WallImage& image : wall->images) live += image.active ? 1 : 0;
    std::printf("open + initial fill: %.0f ms, %zu images in %d columns of %d px\n\n", fillMs, live,
                wall->columnCount, wall->columnWidth);

    // One DrawWall on the full wall, adds stopped so that the wall stays
    // the same.
    TriggerMenuCommandForTest(IdIntervalStop);
    for (int i = 0; i < 20; ++i) {
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        DrawWall(wall.get());
    }
    glFinish();
    const int draws = 500;
    std::vector<double> threadCpu;
    std::vector<double> processCpu;
    std::vector<double> wallTime;
    for (int i = 0; i < draws; ++i) {
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        const double t0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        const double p0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
        auto w0 = Clock::now();
        DrawWall(wall.get());
        threadCpu.push_back(CpuMs(CLOCK_THREAD_CPUTIME_ID) - t0);
        glFinish();
        wallTime.push_back(MsSince(w0));
        processCpu.push_back(CpuMs(CLOCK_PROCESS_CPUTIME_ID) - p0);
    }
    auto mean = [](const std::vector<double>& v) {
        double sum = 0.0;
        for (double x : v) sum += x;
        return sum / static_cast<double>(v.size());
    };
    std::printf("DrawWall, %zu images, mean of %d draws:\n", live, draws);
    std::printf("  CPU of the calling thread      %.3f ms\n", mean(threadCpu));
    std::printf("  CPU of the process (+glFinish) %.3f ms\n", mean(processCpu));
    std::printf("  wall time with glFinish        %.3f ms\n\n", mean(wallTime));

    // Playing: the main loop as it runs, first with the default timed adds
    // every 2 s, then with adds stopped.
    PlayAndReport(wall.get(), playSeconds, 302, "timed adds every 2 s");
    PlayAndReport(wall.get(), playSeconds, 300, "adds stopped");

    Shutdown(wall.get());
    gWall = nullptr;
    wall.reset();
    scratch.reset();
    ShutdownPlatform();
    fs::remove_all(folder);
    return 0;
}
