// wall_cpu_bench: what a playing wall costs, against a Chromium tab that
// shows the same GIFs in a CSS column page of the same size.
//
//   build/wall_cpu_bench [--rounds N] [--seconds S] [--settle S]
//                        [--only demo|generated] [--no-chromium]
//                        [--order random|name]
//
// Needs no display: it starts an Xvfb of its own. Installs the Debian
// package chromium first when it is missing (apt-get, as root). For each of
// two configurations (the demo folder at 760 x 600; 40 generated GIFs 200 to
// 600 px wide at 1600 x 1000, half full-frame animations, half small sprites
// over a still background stored as transparent sub-rectangle frames) it
// alternates N rounds of Reelstack and Chromium. Each is measured for S
// seconds once its wall is full: CPU seconds of all its processes plus the
// X server's, given per minute. Reelstack's frame intervals over the same
// seconds are reported too.
//
// Reelstack adds files in random order by default, as the viewer does, so
// each round shows other images and redraws another share of the window
// (25 to 34% per tick in the demo). --order name puts them on in file-name
// order, the same wall every round, for comparing two builds.
//
// Internal mode (run by the driver): --viewer FOLDER W H SECONDS ORDER.
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "platform/platform.h"
#include "platform/test_hooks.h"
#include "render/render.h"
#include "wall/gif_wall.h"
#include "wall_gifs.h"

#ifndef REELSTACK_RUNTIME_DIR
#error "REELSTACK_RUNTIME_DIR must name the build's runtime folder (shaders, demo)"
#endif

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ------------------------------------------------------------ viewer mode

int RunViewer(const std::string& folder, int width, int height, double seconds, bool nameOrder) {
    static int argc = 1;
    static char name[] = "reelstack-bench";
    static char* argv[] = {name, nullptr};
    InitPlatform(&argc, argv);
    if (chdir(REELSTACK_RUNTIME_DIR) != 0) return 1;
    static GifWall wall;
    if (!StartUp(&wall)) return 1;
    ResizeClientForTest(wall.hwnd, width, height);
    for (int i = 0; i < 20; ++i) {
        ProcessEvents(false);
        SleepMs(5);
    }
    if (nameOrder) wall.pendingOrderMode = 0;  // file-name order
    OpenCommand(&wall, &folder);
    if (!wall.playing) return 1;
    std::printf("FULL\n");
    std::fflush(stdout);

    std::vector<uint32_t> intervals;
    int64_t ticks = 0, drawnTicks = 0, redrawnPixels = 0, presents = 0;
    uint32_t lastFrame = wall.lastFrameTime;
    const Clock::time_point start = Clock::now();
    while (SecondsSince(start) < seconds && MainLoopPass(&wall)) {
        if (wall.lastFrameTime != lastFrame) {
            intervals.push_back(wall.lastFrameTime - lastFrame);
            lastFrame = wall.lastFrameTime;
            const WallDrawStats stats = LastWallDrawStats();
            ++ticks;
            drawnTicks += stats.drawn;
            redrawnPixels += stats.pixels;
            presents += stats.presents;
        }
    }
    std::sort(intervals.begin(), intervals.end());
    const auto at = [&](double q) {
        return intervals.empty() ? 0u : intervals[static_cast<size_t>(q * (intervals.size() - 1))];
    };
    const double windowPixels = double(wall.clientWidth) * wall.clientHeight;
    std::printf("DONE %u %u %lld %lld %.4f %lld\n", at(0.5), at(0.95), static_cast<long long>(ticks),
                static_cast<long long>(drawnTicks),
                ticks ? redrawnPixels / (windowPixels * double(ticks)) : 0.0,
                static_cast<long long>(presents));
    std::fflush(stdout);
    // The loader is joined and GL released as when the window closes.
    Shutdown(&wall);
    std::_Exit(0);
}

// ------------------------------------------------------------ processes

// CPU seconds (user + system) of every process that descends from root or
// shares its process group, and of the process pid alone.
double ProcessCpu(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double TreeCpu(pid_t root) {
    std::map<pid_t, std::pair<pid_t, pid_t>> parentAndGroup;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(text.substr(close + 2));
        std::string state;
        pid_t parent = 0, group = 0;
        fields >> state >> parent >> group;
        parentAndGroup[std::stoi(name)] = {parent, group};
    }
    double sum = 0;
    for (const auto& [pid, pg] : parentAndGroup) {
        bool mine = pg.second == root;
        for (pid_t p = pid; !mine && p > 1;) {
            if (p == root) mine = true;
            auto it = parentAndGroup.find(p);
            p = it == parentAndGroup.end() ? 0 : it->second.first;
        }
        if (mine) sum += ProcessCpu(pid);
    }
    return sum;
}

// Starts argv in a process group of its own with display set; its standard
// output comes through *out when out is given.
pid_t Spawn(const std::vector<std::string>& args, const std::string& display, FILE** out) {
    std::fflush(stdout);  // the child's freopen would write it out again
    int pipeFds[2] = {-1, -1};
    if (out && pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        if (out) {
            dup2(pipeFds[1], 1);
            close(pipeFds[0]);
            close(pipeFds[1]);
        } else {
            freopen("/dev/null", "w", stdout);
        }
        freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (out) {
        close(pipeFds[1]);
        *out = fdopen(pipeFds[0], "r");
    }
    return pid;
}

void StopGroup(pid_t pid) {
    kill(-pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (i == 49) {
            kill(-pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // Whatever else of the group is left (Chromium's helpers).
    kill(-pid, SIGKILL);
}

// ------------------------------------------------------------ the runs

struct Sample {
    double cpuPerMinute = 0;    // the program's processes plus the X server
    double serverPerMinute = 0;  // the X server alone
    std::string note;
};

Sample MeasureReelstack(const std::string& self, const std::string& display, pid_t server,
                        const std::string& folder, int w, int h, double seconds,
                        const std::string& order) {
    FILE* out = nullptr;
    const pid_t pid = Spawn({self, "--viewer", folder, std::to_string(w), std::to_string(h),
                             std::to_string(seconds), order},
                            display, &out);
    Sample sample;
    char line[256];
    double cpu0 = 0, server0 = 0;
    Clock::time_point start;
    while (out && std::fgets(line, sizeof line, out)) {
        if (std::strncmp(line, "FULL", 4) == 0) {
            cpu0 = TreeCpu(pid);
            server0 = ProcessCpu(server);
            start = Clock::now();
        } else if (std::strncmp(line, "DONE", 4) == 0) {
            const double elapsed = SecondsSince(start);
            const double cpu = TreeCpu(pid) - cpu0, serverCpu = ProcessCpu(server) - server0;
            sample.cpuPerMinute = (cpu + serverCpu) * 60.0 / elapsed;
            sample.serverPerMinute = serverCpu * 60.0 / elapsed;
            unsigned median = 0, p95 = 0;
            long long ticks = 0, drawn = 0, presents = 0;
            double share = 0;
            std::sscanf(line, "DONE %u %u %lld %lld %lf %lld", &median, &p95, &ticks, &drawn, &share,
                        &presents);
            char note[240];
            std::snprintf(note, sizeof note,
                          "frame interval median %u ms, p95 %u ms; %lld ticks, %.0f%% drew, "
                          "%.1f%% of the window redrawn per tick, %.1f presents per drawing tick",
                          median, p95, ticks, ticks ? 100.0 * drawn / ticks : 0.0, 100.0 * share,
                          drawn ? double(presents) / double(drawn) : 0.0);
            sample.note = note;
        }
    }
    if (out) std::fclose(out);
    StopGroup(pid);
    return sample;
}

Sample MeasureChromium(const std::string& display, pid_t server, const fs::path& page,
                       const fs::path& profile, int w, int h, double settle, double seconds) {
    fs::remove_all(profile);
    fs::create_directories(profile);
    const pid_t pid = Spawn({"chromium", "--no-sandbox", "--user-data-dir=" + profile.string(),
                             "--window-size=" + std::to_string(w) + "," + std::to_string(h),
                             "--no-first-run", "--no-default-browser-check",
                             "--app=file://" + page.string()},
                            display, nullptr);
    // The page is read from disk and every GIF decoded by then.
    std::this_thread::sleep_for(std::chrono::duration<double>(settle));
    const double cpu0 = TreeCpu(pid), server0 = ProcessCpu(server);
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double elapsed = SecondsSince(start);
    Sample sample;
    const double cpu = TreeCpu(pid) - cpu0, serverCpu = ProcessCpu(server) - server0;
    sample.cpuPerMinute = (cpu + serverCpu) * 60.0 / elapsed;
    sample.serverPerMinute = serverCpu * 60.0 / elapsed;
    StopGroup(pid);
    return sample;
}

std::vector<fs::path> GifsOf(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".gif") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

void WritePage(const fs::path& page, const fs::path& folder, int columnWidth) {
    std::ofstream html(page);
    html << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head>"
         << "<body style=\"margin:0;background:#bfbfbf;overflow:hidden\">"
         << "<div style=\"column-width:" << columnWidth << "px;column-gap:0\">";
    for (const fs::path& file : GifsOf(folder))
        html << "<img style=\"width:100%;display:block\" src=\"file://" << file.string() << "\">";
    html << "</div></body></html>\n";
}

// 40 GIFs 200 to 600 px wide, 10 to 30 frames, delays 4 to 10: even ones
// full-frame animations, odd ones sprites over a still background.
void WriteGeneratedFolder(const fs::path& folder) {
    fs::create_directories(folder);
    for (int i = 0; i < 40; ++i) {
        const int w = 200 + (i * 157) % 401, h = 150 + (i * 89) % 301;
        const int frames = 10 + (i * 7) % 21, delay = 4 + (i * 3) % 7;
        char name[32];
        std::snprintf(name, sizeof name, "g%02d.gif", i);
        WriteBytes((folder / name).string(), i % 2 ? wallgifs::SpriteGif(w, h, frames, delay, i)
                                                   : wallgifs::FullFrameGif(w, h, frames, delay, i));
    }
}

bool HaveChromium() {
    return std::system("command -v chromium > /dev/null 2>&1") == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::strcmp(argv[1], "--viewer") == 0) {
        return RunViewer(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atof(argv[5]),
                         std::strcmp(argv[6], "name") == 0);
    }
    int rounds = 3;
    double seconds = 30, settle = 8;
    std::string only;   // one configuration: demo or generated
    std::string order = "random";
    bool skipChromium = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (option == "--no-chromium") {
            skipChromium = true;
            continue;
        }
        if (option == "--only") only = value;
        if (option == "--order") order = value;
        if (option == "--rounds") rounds = std::atoi(value);
        if (option == "--seconds") seconds = std::atof(value);
        if (option == "--settle") settle = std::atof(value);
        ++i;
    }

    if (order != "random" && order != "name") {
        std::fprintf(stderr, "--order takes random or name\n");
        return 2;
    }

    // Set-up: the peer browser.
    if (!HaveChromium()) {
        std::printf("installing chromium ...\n");
        std::fflush(stdout);
        if (std::system("DEBIAN_FRONTEND=noninteractive apt-get install -y chromium > /dev/null") != 0 ||
            !HaveChromium()) {
            std::fprintf(stderr, "chromium could not be installed\n");
            return 1;
        }
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    const fs::path work = fs::temp_directory_path() / ("wall_cpu_bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    const fs::path generated = work / "generated";
    WriteGeneratedFolder(generated);

    // An X server of our own, big enough for both windows with their frames.
    int displayNumber = 90;
    while (fs::exists("/tmp/.X" + std::to_string(displayNumber) + "-lock")) ++displayNumber;
    const std::string display = ":" + std::to_string(displayNumber);
    const pid_t server = Spawn({"Xvfb", display, "-screen", "0", "1680x1120x24", "-nolisten", "tcp"},
                               "", nullptr);
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(displayNumber);
    for (int i = 0; i < 100 && !fs::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

    struct Config {
        const char* key;
        const char* name;
        fs::path folder;
        int width, height;
    };
    const Config configs[] = {
        {"demo", "demo folder, 760x600", fs::path(REELSTACK_RUNTIME_DIR) / ".." / "demo", 760, 600},
        {"generated", "40 generated GIFs, 1600x1000", generated, 1600, 1000},
    };
    std::printf("wall_cpu_bench: %d rounds, %.0f s each after the wall is full, files added in "
                "%s order; CPU seconds per minute, the program's processes plus the X server\n",
                rounds, seconds, order.c_str());
    bool met = true;
    for (const Config& config : configs) {
        if (!only.empty() && only != config.key) continue;
        const fs::path folder = fs::canonical(config.folder);
        const fs::path page = work / "page.html";
        WritePage(page, folder, 250);
        double reel = 0, chrome = 0;
        std::printf("\n%s (%zu files)\n", config.name, GifsOf(folder).size());
        for (int round = 1; round <= rounds; ++round) {
            const Sample r = MeasureReelstack(self, display, server, folder.string(), config.width,
                                              config.height, seconds, order);
            const Sample c = skipChromium ? Sample{}
                                          : MeasureChromium(display, server, page, work / "profile",
                                                            config.width, config.height, settle, seconds);
            std::printf("  round %d: Reelstack %6.2f (X %5.2f)  Chromium %6.2f (X %5.2f)\n"
                        "           %s\n",
                        round, r.cpuPerMinute, r.serverPerMinute, c.cpuPerMinute,
                        c.serverPerMinute, r.note.c_str());
            std::fflush(stdout);
            reel += r.cpuPerMinute;
            chrome += c.cpuPerMinute;
        }
        reel /= rounds;
        chrome /= rounds;
        const double ratio = chrome > 0 ? reel / chrome : 0;
        std::printf("  mean: Reelstack %.2f  Chromium %.2f  ratio %.2f\n", reel, chrome, ratio);
        met = met && ratio <= 0.5;
    }
    StopGroup(server);
    fs::remove_all(work);
    std::printf("\ntarget (Reelstack at most 0.5 x Chromium in both): %s\n",
                skipChromium ? "not judged without Chromium" : met ? "met" : "not met");
    return 0;
}
