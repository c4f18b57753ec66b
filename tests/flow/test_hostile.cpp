// A hostile user's folders against the running viewer: a fill of 20,000
// broken files that must keep answering, commands posted during a fill, a
// folder of everything that is not a GIF, files that change while the wall
// plays (a FIFO among them) and flat files against the wall's texture
// bound. Each of these once hung, grew or stalled; a watchdog ends the
// process if one does again.
#include <GL/glew.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "flow_support.h"
#include "render/load_gif.h"
#include "texture_bytes.h"

namespace flow {
namespace {

// Ends the process (SIGALRM) if the scope is not left within seconds.
struct Watchdog {
    explicit Watchdog(unsigned seconds) { alarm(seconds); }
    ~Watchdog() { alarm(0); }
};

using Clock = std::chrono::steady_clock;

// 20,000 files named *.gif that are no GIF, and three good ones
// at the end of the name order.
std::string BrokenFolder() {
    static const std::string path = [] {
        const std::filesystem::path dir = FreshFolder("broken20000");
        for (int i = 0; i < 20000; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "bad%05d.gif", i);
            WriteBrokenGif(dir / name);
        }
        // Drawn 20 high: 90 of them fill the wall, 30 passes over the folder.
        for (const char* name : {"zz1.gif", "zz2.gif", "zz3.gif"}) WriteSolidGif(dir / name, 250, 20, 2);
        return dir.string();
    }();
    return path;
}

// What the user does once the fill has run for a second, posted as real
// input is: it reaches the viewer only if the fill handles events.
struct DuringFill {
    Clock::time_point fillStart, posted;
    std::vector<int32_t> commands;  // menu ids, then a close request if closeWindow
    bool closeWindow = false;
    int progressTitles = 0;
    int progressTitlesAfterPost = 0;
};
DuringFill gDuring;

void WatchFill(const std::string& title) {
    if (title.rfind("リールスタック (読込中.. ", 0) != 0) return;
    ++gDuring.progressTitles;
    if (gDuring.posted != Clock::time_point{}) {
        ++gDuring.progressTitlesAfterPost;
        return;
    }
    if (Clock::now() - gDuring.fillStart < std::chrono::seconds(1)) return;
    gDuring.posted = Clock::now();
    for (int32_t id : gDuring.commands) PostMenuCommandForTest(id);
    if (gDuring.closeWindow) PostCloseRequestForTest(gWall->hwnd);
}

class HostileTest : public FlowTest {
protected:
    // Opens folder by name order with the user's actions during the fill;
    // returns the seconds from posting them to the end of the open.
    double OpenWhileUserActs(const std::string& folder, std::vector<int32_t> commands, bool close) {
        gDuring = DuringFill{};
        gDuring.commands = std::move(commands);
        gDuring.closeWindow = close;
        SetTitleObserverForTest(WatchFill);
        gDuring.fillStart = Clock::now();
        OpenCommand(wall_, &folder);
        const auto end = Clock::now();
        SetTitleObserverForTest(nullptr);
        if (gDuring.posted == Clock::time_point{}) return -1;
        return std::chrono::duration<double>(end - gDuring.posted).count();
    }
};

// The close box ends the program; "閉じる" ends only the fill, and "開く"
// and a width posted before it wait as they do between fills.
TEST_F(HostileTest, ACloseDuringALongFillIsServedWithinASecondAndLeavesNothing) {
    const std::string folder = BrokenFolder();
    const int64_t texturesBefore = LiveFrameTextures();
    for (bool closeBox : {true, false}) {
        Watchdog watchdog(60);  // the fill of 20,000 broken files
        const std::vector<int32_t> commands =
            closeBox ? std::vector<int32_t>{} : std::vector<int32_t>{IdOpen, IdWidth300, IdClose};
        const double served = OpenWhileUserActs(folder, commands, closeBox);
        ASSERT_GE(served, 0) << "the fill ended within its first second";
        std::printf("close served after %.3f s, %d progress titles\n", served, gDuring.progressTitles);
        EXPECT_LT(served, 1.0) << "seconds from the close to the end of the fill";
        EXPECT_EQ(QuitRequested(), closeBox);
        EXPECT_GE(gDuring.progressTitles, 10) << "the title kept its percentage up to date";
        EXPECT_EQ(gUser.pickerCalls, 0) << "no open starts inside a fill";
        EXPECT_EQ(wall_->pendingColumnWidth, closeBox ? 250 : 300);
        EXPECT_EQ(wall_->columnWidth, 250) << "the width waits for the next open";
        EXPECT_TRUE(wall_->images.empty() && !wall_->playing);
        EXPECT_EQ(LiveFrameTextures(), texturesBefore) << "nothing of the stopped fill stays alive";
        EXPECT_FALSE(IsMenuItemEnabledForTest(IdClose));
        EXPECT_EQ(WindowTitleForTest(wall_->hwnd), kTitle);
        EXPECT_TRUE(gUser.messages.empty());
        ResetQuitForTest();
    }
    TriggerMenuCommandForTest(IdWidth250);
}

// A resize during the fill is not lost: the wall takes the new column
// count once it plays.
TEST_F(HostileTest, AResizeDuringTheFillShapesTheWallThatFollows) {
    const std::string folder = MakeFolder("resize", {250, 250, 250, 250});
    SetTitleObserverForTest([](const std::string& title) {
        static bool resized;
        if (title.rfind("リールスタック (読込中.. ", 0) == 0 && !resized) {
            resized = true;
            ResizeClientForTest(gWall->hwnd, 500, 600);
        }
    });
    OpenCommand(wall_, &folder);
    SetTitleObserverForTest(nullptr);
    EXPECT_EQ(std::pair(wall_->clientWidth, wall_->columnCount), std::pair(500, 2));
    EXPECT_TRUE(wall_->playing);
    ClearWall(wall_);
}

// Two read-backs of the client area.
std::vector<uint8_t> ReadClient() {
    std::vector<uint8_t> pixels(760 * 600 * 3);
    glReadBuffer(GL_BACK);  // the front buffer reads as zeros under Xvfb
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 760, 600, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Plays for ms, handing the loop's passes over; false once it quit.
bool PlayFor(GifWall* wall, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (!MainLoopPass(wall)) return false;
    }
    return true;
}

TEST_F(HostileTest, AHostileFolderPlaysOnAndTheViewerQuitsWithStatusZero) {
    namespace fs = std::filesystem;
    const fs::path dir = FreshFolder("hostile");
    for (int i = 0; i < 6; ++i) {
        WriteSolidGif(dir / ("good" + std::to_string(i) + ".gif"), 250, 150 + 20 * i, 4, 4, i);
    }
    fs::create_directory(dir / "x.gif");
    fs::create_symlink(dir / "nowhere.gif.target", dir / "dangling.gif");
    fs::create_symlink(dir / "loop2.gif", dir / "loop1.gif");
    fs::create_symlink(dir / "loop1.gif", dir / "loop2.gif");
    // The only file drawn 100 high; mode 000. Root reads it anyway, so as
    // root the fill (which opens files on this thread) runs with the file
    // system user nobody: the kernel then drops root's file access rights.
    WriteSolidGif(dir / "locked.gif", 250, 100, 2);
    fs::permissions(dir / "locked.gif", fs::perms::none);
    WriteSolidGif(dir / "name\xff\xfe.gif", 250, 120, 3, 4, 5);  // not UTF-8, still a GIF
    WriteBytes((dir / "empty.gif").string(), {});
    // A FIFO: opening it must not wait for a writer (readable by nobody too).
    ASSERT_EQ(mkfifo((dir / "fifo.gif").c_str(), 0644), 0);
    fs::permissions(dir / "fifo.gif", fs::perms::owner_read | fs::perms::group_read |
                                          fs::perms::others_read);
    {
        WriteSolidGif(dir / "truncated.gif", 250, 200, 6);
        fs::resize_file(dir / "truncated.gif", fs::file_size(dir / "truncated.gif") / 2);
    }
    Watchdog watchdog(120);
    const bool root = geteuid() == 0;
    if (root) setfsuid(65534);
    std::FILE* probe = std::fopen((dir / "locked.gif").c_str(), "rb");
    const bool locked = probe == nullptr;
    if (probe) std::fclose(probe);
    OpenPlaying(dir.string());
    if (root) setfsuid(0);
    ASSERT_TRUE(locked) << "locked.gif is readable: the unreadable case would not be tried";
    // Name order: the fill tried locked.gif after the six good files.
    for (const std::vector<int32_t>& column : Layout(wall_)) {
        EXPECT_EQ(std::count(column.begin(), column.end(), 100), 0) << "the unreadable file showed";
    }
    TriggerMenuCommandForTest(IdInterval1s);
    ASSERT_TRUE(PlayFor(wall_, 2500));
    const std::vector<uint8_t> first = ReadClient();

    // While it plays: one file turns to garbage, two disappear.
    WriteBytes((dir / "good0.gif").string(), std::vector<uint8_t>(5000, 0x5A));
    fs::remove(dir / "good1.gif");
    fs::remove(dir / "name\xff\xfe.gif");
    ASSERT_TRUE(PlayFor(wall_, 6000));
    ASSERT_TRUE(MainLoopPass(wall_));
    const std::vector<uint8_t> second = ReadClient();
    EXPECT_NE(first, second) << "the wall kept animating";

    EXPECT_GE(wall_->fileList.files.size(), 12u);

    // The close box: the loop ends with status 0, shutdown leaves nothing.
    PostCloseRequestForTest(wall_->hwnd);
    EXPECT_FALSE(PlayFor(wall_, 2000)) << "the close request ended the main loop";
    EXPECT_EQ(QuitExitCode(), 0);
    ClearWall(wall_);
    EXPECT_EQ(LiveFrameTextures(), 0);
    ResetQuitForTest();
}

// The wall holds at most columns x budget x (client height / column width
// + 1) bytes of textures, plus one budget in the stage, however flat its
// images are (docs/overview.md). Flat files at their budgets stack many per
// column; they must not pass it.
TEST_F(HostileTest, TheWallsTexturesStayWithinTheirBoundWhateverTheImagesHeights) {
    namespace fs = std::filesystem;
    const uint64_t savedBudget = gFileTextureBudget;
    const uint64_t budget = gFileTextureBudget = 1ull << 20;
    const fs::path dir = FreshFolder("bound");
    // {file width, height, frames}: each as many frames as its budget allows
    // (drawn 1, 2, 10, 50 and 250 high; frame bytes 1000, 2000, 10000 ...).
    const int files[][3] = {{250, 1, 4}, {250, 2, 4}, {500, 20, 4}, {250, 50, 4},
                            {500, 500, 4}, {250, 600, 1}, {250, 1, 4}, {250, 2, 4}};
    for (int i = 0; i < 8; ++i) {
        const int* f = files[i];
        char name[16];
        std::snprintf(name, sizeof name, "f%d.gif", i);
        WriteSolidGif(dir / name, f[0], f[1], f[2], 4, i);
    }
    Watchdog watchdog(120);
    OpenPlaying(dir.string());
    const uint64_t bound = 3 * budget * (600 + 250) / 250 + budget;
    uint64_t most = 0;
    for (int add = 0; add < 120; ++add) {
        ASSERT_TRUE(PostAddNext(wall_));
        uint64_t bytes = TextureBytes(wall_->pendingImage);
        Locked(wall_, [&] {
            for (const WallImage& image : wall_->images) bytes += TextureBytes(image);
        });
        most = std::max(most, bytes);
        ASSERT_LE(bytes, bound) << "after add " << add;
    }
    std::printf("most texture bytes on the wall %llu of the bound %llu\n",
                static_cast<unsigned long long>(most), static_cast<unsigned long long>(bound));
    // Every file loaded: each sits within its own budget.
    size_t kinds = 0;
    Locked(wall_, [&] {
        std::set<size_t> heights;
        for (const WallImage& image : wall_->images) {
            if (image.active) heights.insert(size_t(image.height));
        }
        kinds = heights.size();
    });
    EXPECT_GE(kinds, 5u) << "flat and tall files alike reached the wall";
    gFileTextureBudget = savedBudget;
    ClearWall(wall_);
}

}  // namespace
}  // namespace flow
