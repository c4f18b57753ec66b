// The process: command line, start-up, main loop, shutdown.
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "app/app.h"
#include "app/menu_table.h"
#include "files/gif_file_list.h"
#include "platform/platform.h"
#include "wall/gif_wall.h"

namespace {

const char* const kUsageHead =
    "usage: reelstack [OPTION]... [FOLDER]\n"
    "Shows the animated GIFs of FOLDER as a wall of columns; GIFs saved into\n"
    "FOLDER while it plays join the wall. Without FOLDER, choose one with\n"
    "ファイル > 開く, or drop a folder or a GIF file onto the window.\n";
const char* const kUsageTail =
    "  --help             show this text\n"
    "  --version          show the version\n"
    "Keys: F11 toggles full screen, Esc leaves it.\n";

// Parses a whole decimal number from 1 to max; false for anything else.
bool ParseCount(const char* text, int32_t max, int32_t* value) {
    if (!text || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < 1 || parsed > max) return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

bool ParseInterval(const char* value, StartOptions* options) {
    if (std::strcmp(value, "stop") == 0) {
        options->intervalId = IdIntervalStop;
        return true;
    }
    int32_t seconds = 0;
    if (!ParseCount(value, 60, &seconds)) return false;
    // The menu's intervals, "停止" (the first) left out.
    for (size_t i = 1; i < kIntervalIds.size(); ++i) {
        if (kIntervalValues[i] == seconds * 1000) {
            options->intervalId = kIntervalIds[i];
            return true;
        }
    }
    return false;
}

bool ParseWidth(const char* value, StartOptions* options) {
    int32_t width = 0;
    if (!ParseCount(value, 400, &width)) return false;
    for (size_t i = 0; i < kWidthIds.size(); ++i) {
        if (kWidthValues[i] == width) {
            options->widthId = kWidthIds[i];
            return true;
        }
    }
    return false;
}

bool ParseOrder(const char* value, StartOptions* options) {
    if (std::strcmp(value, "name") == 0) {
        options->orderId = IdOrderName;
    } else if (std::strcmp(value, "random") == 0) {
        options->orderId = IdOrderRandom;
    } else {
        return false;
    }
    return true;
}

constexpr int32_t kMaxClientSide = 16384;

bool ParseSize(const char* value, StartOptions* options) {
    const char* x = std::strchr(value, 'x');
    if (!x) return false;
    const std::string width(value, x);
    int32_t w = 0, h = 0;
    if (!ParseCount(width.c_str(), kMaxClientSide, &w) || !ParseCount(x + 1, kMaxClientSide, &h)) {
        return false;
    }
    options->clientWidth = w;
    options->clientHeight = h;
    return true;
}

// Texture memory one file may take, in MB.
bool ParseTextureBudget(const char* value, StartOptions* options) {
    uint64_t megabytes = 0;
    const char* const end = value + std::strlen(value);
    const auto [stop, error] = std::from_chars(value, end, megabytes);
    if (error != std::errc() || stop != end || megabytes < 1 || megabytes > (1u << 20)) return false;
    options->textureBudgetBytes = megabytes << 20;
    return true;
}

// One command-line option: its name, the name of its value (null for a
// switch), what --help says, what it sets, and the values it accepts (for
// the error message).
struct OptionRow {
    const char* name;
    const char* valueName;
    const char* help;
    bool (*apply)(const char* value, StartOptions* options);
    const char* accepts;
};

const OptionRow kOptions[] = {
    {"--interval", "SECONDS", "add a file every SECONDS, or stop (menu 追加頻度)", ParseInterval,
     "1, 2, 3, 4, 5, 6, 7, 10, 15, 20, 30, 60 or stop"},
    {"--width", "PX", "column width for the first folder (menu 横幅)", ParseWidth,
     "100, 150, 200, 250, 300, 350 or 400"},
    {"--order", "ORDER", "add order for the first folder: name or random (menu 追加順序)",
     ParseOrder, "name or random"},
    {"--size", "WxH", "client area size in pixels (default 760x600)", ParseSize,
     "WxH with W and H from 1 to 16384, such as 1280x720"},
    {"--fullscreen", nullptr, "start in full screen",
     [](const char*, StartOptions* o) { return o->fullScreen = true; }, ""},
    {"--topmost", nullptr, "start always on top (menu 常に最前面に表示)",
     [](const char*, StartOptions* o) { return o->topmost = true; }, ""},
    {"--bare", nullptr, "start without menu bar and frame (as a double-click does)",
     [](const char*, StartOptions* o) { return o->bare = true; }, ""},
    {"--texture-budget", "MB",
     "texture memory one GIF may take (default 256 MB; less for images\n"
     "                     drawn flatter than square); a file that needs more is skipped",
     ParseTextureBudget, "a whole number of MB from 1 to 1048576"},
};

std::string Usage() {
    std::string text = kUsageHead;
    for (const OptionRow& row : kOptions) {
        std::string left = std::string("  ") + row.name;
        if (row.valueName) left += std::string(" ") + row.valueName;
        left.resize(left.size() < 21 ? 21 : left.size() + 1, ' ');
        text += left + row.help + "\n";
    }
    return text + kUsageTail;
}

const OptionRow* FindOption(const char* name) {
    for (const OptionRow& row : kOptions) {
        if (std::strcmp(row.name, name) == 0) return &row;
    }
    return nullptr;
}

// A folder given on the command line must be a readable directory.
bool UsableFolder(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) return false;
    std::filesystem::directory_iterator it(path, error);
    return !error;
}

}  // namespace

int ParseCommandLine(int argc, char** argv, StartOptions* options, std::string* folder,
                     bool* haveFolder) {
    *haveFolder = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(Usage().c_str(), stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::puts("リールスタック 1.0.1");
            return 0;
        }
        if (arg[0] == '-' && arg[1] != '\0') {
            // --name VALUE and --name=VALUE both work.
            std::string name = arg;
            const char* value = nullptr;
            const size_t equals = name.find('=');
            if (equals != std::string::npos) {
                value = arg + equals + 1;
                name.resize(equals);
            }
            const OptionRow* row = FindOption(name.c_str());
            if (!row) {
                std::fprintf(stderr, "reelstack: unknown option %s\n%s", arg, Usage().c_str());
                return 2;
            }
            if (!row->valueName) {
                if (value) {
                    std::fprintf(stderr, "reelstack: %s takes no value\n", row->name);
                    return 2;
                }
                row->apply(nullptr, options);
                continue;
            }
            if (!value) {
                if (i + 1 >= argc) {
                    std::fprintf(stderr, "reelstack: %s needs a value: %s\n", row->name,
                                 row->accepts);
                    return 2;
                }
                value = argv[++i];
            }
            if (!row->apply(value, options)) {
                std::fprintf(stderr, "reelstack: %s: bad value '%s'; accepted: %s\n", row->name,
                             value, row->accepts);
                return 2;
            }
            continue;
        }
        if (*haveFolder) {
            std::fprintf(stderr, "reelstack: only one folder can be opened\n%s", Usage().c_str());
            return 2;
        }
        *folder = arg;
        *haveFolder = true;
    }
    return kCommandLineGoOn;
}

int ViewerMain(int argc, char** argv) {
    StartOptions options;
    std::string folder;
    bool haveFolder = false;
    const int status = ParseCommandLine(argc, argv, &options, &folder, &haveFolder);
    if (status != kCommandLineGoOn) return status;
    // A GIF file stands for its folder, as when it is dropped on the window.
    std::error_code error;
    if (haveFolder && !std::filesystem::is_directory(folder, error)) {
        const std::string ofFile = FolderToOpenFor(folder);
        if (!ofFile.empty()) folder = ofFile;
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
        if (StartUp(wall.get(), options)) {
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
