// Soak: the real viewer plays a generated folder of 200 GIFs with an add
// every second and samples its resident memory, open file descriptors,
// threads and live frame textures every 10 s. After the warm-up (3 minutes
// by default) no sample may pass what the warm-up reached.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" nice build/soak_bench [SECONDS] [WARMUP]
//
// Prints one line per sample and the verdict; exits 1 when anything grew.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "render/load_gif.h"
#include "viewer_support.h"

namespace {

struct Sample {
    int seconds;
    long rssKb;
    long fds;
    long threads;
    long textures;
};

long StatusField(const char* name) {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == name) {
            long value = 0;
            in >> value;
            return value;
        }
        std::getline(in, key);
    }
    return -1;
}

long CountEntries(const char* path) {
    DIR* dir = opendir(path);
    if (!dir) return -1;
    long n = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++n;
    }
    closedir(dir);
    return n - (std::string(path) == "/proc/self/fd" ? 1 : 0);  // opendir's own
}

// 200 files of different sizes and frame counts, so that the wall keeps
// changing what it holds.
std::string MakeFolder() {
    const std::filesystem::path dir = FreshFolder("soak");
    for (int i = 0; i < 200; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "soak_%03d.gif", i);
        const int width = 60 + (i * 37) % 340;
        const int height = 40 + (i * 53) % 260;
        const int frames = 2 + (i * 7) % 24;
        WriteSolidGif(dir / name, width, height, frames, 4 + i % 9, i);
    }
    return dir.string();
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const int warmup = argc > 2 ? std::atoi(argv[2]) : 180;
    GifWall* wall = StartTestViewer();
    if (!wall || !wall->loaderThread) {
        std::puts("soak: the viewer did not start");
        return 2;
    }
    const std::string folder = MakeFolder();
    TriggerMenuCommandForTest(IdInterval1s);
    OpenCommand(wall, &folder);
    if (!wall->playing) {
        std::puts("soak: the folder did not open");
        return 2;
    }

    std::vector<Sample> samples;
    const uint32_t start = TimeMs();
    uint32_t nextSample = start;
    std::printf("%6s %10s %5s %8s %9s\n", "s", "rss_kB", "fds", "threads", "textures");
    while (MainLoopPass(wall)) {
        const uint32_t now = TimeMs();
        if (now - nextSample < 0x80000000u) {
            Sample s{static_cast<int>((now - start) / 1000), StatusField("VmRSS:"),
                     CountEntries("/proc/self/fd"), CountEntries("/proc/self/task"),
                     static_cast<long>(LiveFrameTextures())};
            samples.push_back(s);
            std::printf("%6d %10ld %5ld %8ld %9ld\n", s.seconds, s.rssKb, s.fds, s.threads, s.textures);
            std::fflush(stdout);
            nextSample += 10000;
            if (s.seconds >= seconds) break;
        }
    }
    Shutdown(wall);

    // The warm-up's highest value of each measure, against every later one.
    Sample peak{0, 0, 0, 0, 0}, later{0, 0, 0, 0, 0};
    for (const Sample& s : samples) {
        Sample& into = s.seconds <= warmup ? peak : later;
        into.rssKb = std::max(into.rssKb, s.rssKb);
        into.fds = std::max(into.fds, s.fds);
        into.threads = std::max(into.threads, s.threads);
        into.textures = std::max(into.textures, s.textures);
    }
    const bool grew = later.rssKb > peak.rssKb || later.fds > peak.fds ||
                      later.threads > peak.threads || later.textures > peak.textures;
    std::printf("warm-up peak (0..%d s): rss %ld kB, fds %ld, threads %ld, textures %ld\n", warmup,
                peak.rssKb, peak.fds, peak.threads, peak.textures);
    std::printf("after warm-up peak:     rss %ld kB, fds %ld, threads %ld, textures %ld\n",
                later.rssKb, later.fds, later.threads, later.textures);
    std::printf("verdict: %s\n", grew ? "GREW" : "flat (nothing passed its warm-up peak)");
    return grew ? 1 : 0;
}
