// Soak: the real viewer plays a generated folder of 200 GIFs with an add
// every second and samples its resident memory, open file descriptors,
// threads and live frame textures every 10 s. After the warm-up (3 minutes
// by default) nothing may grow: the highest memory, descriptor and thread
// counts of the run's last stretch may not pass those of the stretch right
// after the warm-up (as long each, memory within 1 % for the allocator),
// and the live textures never exceed what the wall's images hold plus one
// file in the stage. The wall's own textures go up and down with the files
// it happens to show, and a software GL keeps them in the process, so the
// memory compared is the resident size less the wall's texture bytes.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" nice build/soak_bench [SECONDS] [WARMUP]
//
// Prints one line per sample and the verdict; exits 1 when anything grew.
#include <GL/glew.h>
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "render/load_gif.h"
#include "texture_bytes.h"
#include "viewer_support.h"

namespace {

struct Sample {
    int seconds;
    long rssKb;
    long fds;
    long threads;
    long textures;  // live frame textures
    long held;      // frames of the images on the wall
    long heldKb;    // their texture bytes
    long restKb;    // rssKb - heldKb
};

constexpr long kMostFramesOfAFile = 25;  // see MakeFolder

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
    std::printf("%6s %10s %10s %10s %5s %8s %9s %6s\n", "s", "rss_kB", "tex_kB", "rest_kB", "fds",
                "threads", "textures", "held");
    while (MainLoopPass(wall)) {
        const uint32_t now = TimeMs();
        if (now - nextSample < 0x80000000u) {
            long held = 0;
            uint64_t heldBytes = 0;
            {
                std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
                for (const WallImage& image : wall->images) {
                    if (!image.active) continue;
                    held += static_cast<long>(image.frames.size());
                    heldBytes += TextureBytes(image);
                }
            }
            const long rss = StatusField("VmRSS:"), heldKb = static_cast<long>(heldBytes / 1024);
            Sample s{static_cast<int>((now - start) / 1000), rss, CountEntries("/proc/self/fd"),
                     CountEntries("/proc/self/task"), static_cast<long>(LiveFrameTextures()),
                     held, heldKb, rss - heldKb};
            samples.push_back(s);
            std::printf("%6d %10ld %10ld %10ld %5ld %8ld %9ld %6ld\n", s.seconds, s.rssKb, s.heldKb,
                        s.restKb, s.fds, s.threads, s.textures, s.held);
            std::fflush(stdout);
            nextSample += 10000;
            if (s.seconds >= seconds) break;
        }
    }
    Shutdown(wall);

    // Two stretches as long each: right after the warm-up, and the end.
    const int stretch = (seconds - warmup) / 2;
    Sample early{}, late{};
    long unaccounted = 0;
    for (const Sample& s : samples) {
        unaccounted = std::max(unaccounted, s.textures - s.held);
        if (s.seconds <= warmup) continue;
        Sample& into = s.seconds <= warmup + stretch ? early : late;
        into.rssKb = std::max(into.rssKb, s.rssKb);
        into.restKb = std::max(into.restKb, s.restKb);
        into.fds = std::max(into.fds, s.fds);
        into.threads = std::max(into.threads, s.threads);
        into.textures = std::max(into.textures, s.textures);
    }
    const bool grew = late.restKb > early.restKb + early.restKb / 100 || late.fds > early.fds ||
                      late.threads > early.threads || unaccounted > kMostFramesOfAFile;
    std::printf("highest, %d..%d s: rss %ld kB, rss less wall textures %ld kB, fds %ld, threads %ld, "
                "textures %ld\n", warmup, warmup + stretch, early.rssKb, early.restKb, early.fds,
                early.threads, early.textures);
    std::printf("highest, %d..%d s: rss %ld kB, rss less wall textures %ld kB, fds %ld, threads %ld, "
                "textures %ld\n", warmup + stretch, seconds, late.rssKb, late.restKb, late.fds,
                late.threads, late.textures);
    std::printf("live textures beyond the wall's images: at most %ld (one file in the stage: <= %ld)\n",
                unaccounted, kMostFramesOfAFile);
    std::printf("verdict: %s\n", grew ? "GREW" : "flat");
    return grew ? 1 : 0;
}
