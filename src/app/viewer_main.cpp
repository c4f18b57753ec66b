// The process: command line, start-up, main loop, shutdown.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/app.h"
#include "platform/platform.h"
#include "render/load_gif.h"
#include "wall/gif_wall.h"

namespace {

const char* const kUsage =
    "usage: reelstack [FOLDER]\n"
    "Shows the animated GIFs of FOLDER as a wall of columns.\n"
    "Without FOLDER, choose one with ファイル > 開く.\n"
    "  --texture-budget MB  texture memory one GIF may take (default 256 MB;\n"
    "                       less for images drawn flatter than square); a file\n"
    "                       whose frames need more is skipped like a broken one\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

// A folder given on the command line must be a readable directory.
bool UsableFolder(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) return false;
    std::filesystem::directory_iterator it(path, error);
    return !error;
}

// --texture-budget MB or --texture-budget=MB at argv[*i]: sets the budget
// and moves *i past the value. 0 when argv[*i] is another argument, 1 when
// taken, -1 when the value is not a whole number of MB from 1 to 1048576.
int TakeTextureBudgetOption(int argc, char** argv, int* i) {
    const char* const name = "--texture-budget";
    const size_t length = std::strlen(name);
    const char* arg = argv[*i];
    if (std::strncmp(arg, name, length) != 0) return 0;
    const char* value = nullptr;
    if (arg[length] == '=') {
        value = arg + length + 1;
    } else if (arg[length] == '\0') {
        if (*i + 1 >= argc) return -1;
        value = argv[++*i];
    } else {
        return 0;
    }
    uint64_t megabytes = 0;
    auto [end, error] = std::from_chars(value, value + std::strlen(value), megabytes);
    if (error != std::errc() || *end != '\0' || megabytes < 1 || megabytes > (1u << 20)) return -1;
    gFileTextureBudget = megabytes << 20;
    return 1;
}

}  // namespace

int ViewerMain(int argc, char** argv) {
    std::string folder;
    bool haveFolder = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("リールスタック 1.0.1");
            return 0;
        }
        const int budget = TakeTextureBudgetOption(argc, argv, &i);
        if (budget < 0) {
            std::fprintf(stderr, "reelstack: --texture-budget takes a number of MB from 1 to 1048576\n%s",
                         kUsage);
            return 2;
        }
        if (budget > 0) continue;
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "reelstack: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        }
        if (haveFolder) {
            std::fprintf(stderr, "reelstack: only one folder can be opened\n%s", kUsage);
            return 2;
        }
        folder = argv[i];
        haveFolder = true;
    }
    if (haveFolder && !UsableFolder(folder)) {
        std::fprintf(stderr, "reelstack: %s: not a readable folder; starting without a wall\n",
                     folder.c_str());
        haveFolder = false;
    }

    InitPlatform(&argc, argv);
    int exitCode = 0;
    {
        auto wall = std::make_unique<GifWall>();
        if (StartUp(wall.get())) {
            if (haveFolder) {
                // Let the window settle at its real size before the fill.
                ProcessEvents(false);
                OpenCommand(wall.get(), &folder);
            }
            exitCode = RunMainLoop(wall.get());
            Shutdown(wall.get());
        }
        gWall = nullptr;
    }
    ShutdownPlatform();
    return exitCode;
}
