// The process: command line, start-up, main loop, shutdown.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/app.h"
#include "platform/platform.h"
#include "wall/gif_wall.h"

namespace {

const char* const kUsage =
    "usage: reelstack [FOLDER]\n"
    "Shows the animated GIFs of FOLDER as a wall of columns.\n"
    "Without FOLDER, choose one with ファイル > 開く.\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

// A folder given on the command line must be a readable directory.
bool UsableFolder(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) return false;
    std::filesystem::directory_iterator it(path, error);
    return !error;
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
