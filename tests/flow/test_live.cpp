// The viewer as a wall display: full screen on F11 and Esc, a folder that
// stays live while it plays, and folders and files dropped on the window.
#include "flow_support.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <set>

namespace flow {
namespace {

namespace fs = std::filesystem;

int32_t ActiveImages(GifWall* w) {
    return Locked(w, [w] {
        return static_cast<int32_t>(
            std::count_if(w->images.begin(), w->images.end(), [](auto& i) { return i.active; }));
    });
}
size_t FileCount(GifWall* w) {
    return Locked(w, [w] { return w->fileList.files.size(); });
}
bool Listed(GifWall* w, const fs::path& file) {
    return Locked(w, [&] {
        const auto& f = w->fileList.files;
        return std::find(f.begin(), f.end(), file.string()) != f.end();
    });
}
// Every height on the wall after each of n adds.
std::multiset<int32_t> HeightsSeenOver(GifWall* w, size_t adds) {
    std::multiset<int32_t> seen;
    for (size_t i = 0; i < adds; ++i) {
        EXPECT_TRUE(PostAddNext(w)) << "add " << i;
        for (const auto& column : Layout(w)) seen.insert(column.begin(), column.end());
    }
    return seen;
}

class LiveTest : public FlowTest {};

TEST_F(LiveTest, F11FillsTheScreenAndEscBringsBackTheWindowWithTheSameImages) {
    OpenPlaying(MakeFolder("full", {300, 200, 250, 350, 150, 400}));
    int32_t screenW = 0, screenH = 0;
    ScreenSizeForTest(wall_->hwnd, &screenW, &screenH);
    ASSERT_GT(screenW, 760);
    const int32_t images = ActiveImages(wall_);
    ASSERT_EQ(wall_->columnCount, 3);
    // Esc outside full screen does nothing.
    PressKeyForTest(wall_->hwnd, KeyEscape);
    PumpFor(100);
    EXPECT_EQ(std::pair(wall_->clientWidth, wall_->clientHeight), std::pair(760, 600));

    PressKeyForTest(wall_->hwnd, KeyF11);
    ASSERT_TRUE(PumpUntil([&] { return wall_->clientWidth == screenW; }));
    EXPECT_TRUE(IsFullScreen(wall_->hwnd));
    EXPECT_EQ(std::pair(wall_->clientWidth, wall_->clientHeight), std::pair(screenW, screenH));
    EXPECT_EQ(wall_->columnCount, screenW / 250);
    EXPECT_EQ(ActiveImages(wall_), images);
    // A double-click and a press change nothing in full screen.
    DoubleClickClientForTest(wall_->hwnd);
    PumpFor(100);
    EXPECT_TRUE(IsFullScreen(wall_->hwnd));
    EXPECT_FALSE(IsFramelessForTest(wall_->hwnd)) << "bare mode started under full screen";

    PressKeyForTest(wall_->hwnd, KeyEscape);
    ASSERT_TRUE(PumpUntil([&] { return wall_->clientWidth == 760; }));
    EXPECT_FALSE(IsFullScreen(wall_->hwnd));
    EXPECT_EQ(std::pair(wall_->clientWidth, wall_->clientHeight), std::pair(760, 600));
    EXPECT_EQ(wall_->columnCount, 3);
    EXPECT_EQ(ActiveImages(wall_), images);
    EXPECT_TRUE(HasMenuBar(wall_->hwnd));
}

TEST_F(LiveTest, LeavingFullScreenBringsBackBareModeAndItsRectangle) {
    DoubleClickClientForTest(wall_->hwnd);
    ASSERT_TRUE(PumpUntil([&] { return IsFramelessForTest(wall_->hwnd); }));
    PumpFor(100);
    int32_t x = 0, y = 0, w = 0, h = 0;
    OuterGeometryForTest(wall_->hwnd, &x, &y, &w, &h);
    const int32_t clientW = wall_->clientWidth, clientH = wall_->clientHeight;
    PressKeyForTest(wall_->hwnd, KeyF11);
    ASSERT_TRUE(IsFullScreen(wall_->hwnd));
    ASSERT_TRUE(PumpUntil([&] { return wall_->clientWidth != clientW; }));
    PressKeyForTest(wall_->hwnd, KeyF11);  // F11 leaves as well
    ASSERT_TRUE(PumpUntil([&] { return wall_->clientWidth == clientW; }));
    PumpFor(100);
    int32_t x2 = 0, y2 = 0, w2 = 0, h2 = 0;
    OuterGeometryForTest(wall_->hwnd, &x2, &y2, &w2, &h2);
    EXPECT_EQ(std::tuple(x2, y2, w2, h2), std::tuple(x, y, w, h));
    EXPECT_EQ(std::pair(wall_->clientWidth, wall_->clientHeight), std::pair(clientW, clientH));
    EXPECT_TRUE(IsFramelessForTest(wall_->hwnd));
    EXPECT_FALSE(HasMenuBar(wall_->hwnd));
    DoubleClickClientForTest(wall_->hwnd);  // and bare mode still ends as before
    ASSERT_TRUE(PumpUntil([&] { return HasMenuBar(wall_->hwnd); }));
}

TEST_F(LiveTest, NewGifsJoinTheWallAndRemovedOnesAreSkipped) {
    // One column; 7 files make sure the new ones sort in among the old.
    SetClientSize(200, 600);
    const std::string folder = MakeFolder("live", {100, 110, 120, 130, 140, 150, 160});
    OpenPlaying(folder);
    // Three new files, each of a height no other file has.
    const std::vector<std::pair<std::string, int>> added = {
        {"aa.gif", 201}, {"cc.gif", 202}, {"zz.gif", 203}};
    for (const auto& [name, height] : added) {
        const fs::path staged = fs::path(folder).parent_path() / name;
        WriteSolidGif(staged, 250, height, 2);
        if (name == "zz.gif") {
            fs::rename(staged, fs::path(folder) / name);  // moved in, complete
        } else {
            fs::copy_file(staged, fs::path(folder) / name);  // copied in
        }
    }
    ASSERT_TRUE(PumpUntil([&] { return FileCount(wall_) == 10; }, 10000))
        << "the new files did not join within 10 s";
    // In name order every file comes once in the next 10 adds (each placed
    // by the add after its load).
    const auto seen = HeightsSeenOver(wall_, 11);
    for (const auto& [name, height] : added) EXPECT_NE(seen.count(height), 0u) << name;

    // Remove four, one of them the next to load: the loader skips them all.
    const int32_t next = NextIndex(wall_);
    std::vector<fs::path> removed = {Locked(wall_, [&] { return wall_->fileList.files[size_t(next)]; }),
                                     fs::path(folder) / "aa.gif", fs::path(folder) / "b.gif",
                                     fs::path(folder) / "zz.gif"};
    std::sort(removed.begin(), removed.end());
    removed.erase(std::unique(removed.begin(), removed.end()), removed.end());
    for (const fs::path& file : removed) fs::remove(file);
    const size_t left = 10 - removed.size();
    ASSERT_TRUE(PumpUntil([&] { return FileCount(wall_) == left; }, 10000));
    for (const fs::path& file : removed) EXPECT_FALSE(Listed(wall_, file)) << file;
    for (size_t i = 0; i < 2 * left; ++i) {
        ASSERT_TRUE(PostAddNext(wall_));
        EXPECT_NE(wall_->pendingStatus, 1) << "a load failed after " << i << " adds";
    }
    // Every file gone: adds do nothing, and a file coming back plays again.
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
    ASSERT_TRUE(PumpUntil([&] { return FileCount(wall_) == 0; }, 10000));
    PostLoaderCommand(wall_, AddNext);
    ASSERT_TRUE(PumpUntil([&] { return Mailbox(wall_) == NoCommand; }));
    WriteSolidGif(fs::path(folder) / "back.gif", 250, 204, 2);
    ASSERT_TRUE(PumpUntil([&] { return FileCount(wall_) == 1; }, 10000));
    // With one file the index stays put: the Flush of WaitIdle, taken once
    // the load has finished, places it.
    PostLoaderCommand(wall_, AddNext);
    ASSERT_TRUE(PumpUntil([&] { return Mailbox(wall_) == NoCommand; }));
    WaitIdle(wall_);
    const std::vector<int32_t> column = Layout(wall_).at(0);
    EXPECT_EQ(std::count(column.begin(), column.end(), 204), 1);
}

TEST_F(LiveTest, AFileWrittenSlowlyJoinsOnceComplete) {
    SetClientSize(200, 600);
    const std::string folder = MakeFolder("slowwrite", {100, 110});
    OpenPlaying(folder);
    const std::vector<uint8_t> bytes = SolidGif(250, 205, 3);
    const fs::path target = fs::path(folder) / "m.gif";
    {
        std::ofstream out(target, std::ios::binary);
        const size_t chunks = 10;
        for (size_t i = 0; i < chunks; ++i) {
            const size_t from = bytes.size() * i / chunks, to = bytes.size() * (i + 1) / chunks;
            out.write(reinterpret_cast<const char*>(bytes.data() + from),
                      static_cast<std::streamsize>(to - from));
            out.flush();
            PumpFor(300);  // longer than the viewer waits between two looks
            EXPECT_FALSE(Listed(wall_, target)) << "joined while incomplete, chunk " << i;
        }
    }
    ASSERT_TRUE(PumpUntil([&] { return Listed(wall_, target); }, 10000));
    EXPECT_NE(HeightsSeenOver(wall_, 4).count(205), 0u);
}

TEST_F(LiveTest, ABusyFolderOfTenThousandFilesKeepsTheFramePace) {
    const fs::path folder = FreshFolder("busy");
    const std::vector<uint8_t> bytes = SolidGif(250, 60, 2);
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.gif", i);
        WriteBytes((folder / name).string(), bytes);
    }
    OpenPlaying(folder.string());
    TriggerMenuCommandForTest(IdInterval1s);

    // Frame intervals of the main loop for a while.
    auto measure = [this](int seconds) {
        std::vector<uint32_t> gaps;
        uint32_t last = wall_->lastFrameTime;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            EXPECT_TRUE(MainLoopPass(wall_));
            if (wall_->lastFrameTime != last) {
                gaps.push_back(wall_->lastFrameTime - last);
                last = wall_->lastFrameTime;
            }
        }
        std::sort(gaps.begin(), gaps.end());
        return gaps;
    };
    const std::vector<uint32_t> quiet = measure(2);
    ASSERT_GT(quiet.size(), 20u);
    std::printf("quiet folder: frame interval median %u ms\n", quiet[quiet.size() / 2]);

    // 100 changes a second from another thread: a new file, or one removed.
    std::atomic<bool> stop{false};
    std::atomic<int> changes{0};
    std::thread churn([&] {
        for (int i = 0; !stop; ++i) {
            const fs::path file = folder / ("new" + std::to_string(i / 2) + ".gif");
            i % 2 ? void(fs::remove(file)) : void(WriteBytes(file.string(), bytes));
            ++changes;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const std::vector<uint32_t> busy = measure(4);
    stop = true;
    churn.join();
    TriggerMenuCommandForTest(IdIntervalStop);
    ASSERT_GT(changes.load(), 300);
    ASSERT_GT(busy.size(), 40u);
    std::printf("busy folder, %d changes: frame interval median %u ms, 90th percentile %u ms, "
                "max %u ms\n", changes.load(), busy[busy.size() / 2], busy[busy.size() * 9 / 10],
                busy.back());
    EXPECT_LE(busy[busy.size() / 2], 21u);
    // The watch saw the changes: the list is the folder's 10000 and at most
    // the one new file that the churn left behind.
    ASSERT_TRUE(PumpUntil([&] { return FileCount(wall_) == 10000 || FileCount(wall_) == 10001; },
                          10000));
}

TEST_F(LiveTest, DroppingAFolderOrAGifOpensItsFolderAndOtherThingsAreIgnored) {
    const std::string first = MakeFolder("dropped", {600, 600, 600});
    ASSERT_TRUE(DropPathForTest(wall_->hwnd, first));
    ASSERT_TRUE(PumpUntil([&] { return wall_->playing; }));
    EXPECT_EQ(wall_->fileList.folderPath, first);
    EXPECT_EQ(gUser.pickerCalls, 0);
    EXPECT_EQ(gUser.titles.front(), kLoadingTitle);

    // A file that is no GIF, and a GIF dropped and answered No: nothing.
    const std::string second = MakeFolder("dropped2", {300, 300});
    std::ofstream(fs::path(second) / "notes.txt") << "text";
    gUser = User{};
    DropPathForTest(wall_->hwnd, second + "/notes.txt");
    PumpFor(200);
    EXPECT_TRUE(gUser.messages.empty());
    EXPECT_EQ(wall_->fileList.folderPath, first);
    gUser.answer = kAnswerNo;
    ASSERT_TRUE(DropPathForTest(wall_->hwnd, second + "/b.gif"));
    ASSERT_TRUE(PumpUntil([&] { return !gUser.messages.empty(); }));
    EXPECT_EQ(gUser.messages, std::vector<std::string>{kAskEnd});
    EXPECT_EQ(wall_->fileList.folderPath, first);
    // Yes: the GIF's folder plays.
    gUser = User{};
    ASSERT_TRUE(DropPathForTest(wall_->hwnd, second + "/b.gif"));
    ASSERT_TRUE(PumpUntil([&] { return wall_->fileList.folderPath == second && wall_->playing; }));
    EXPECT_EQ(gUser.messages, std::vector<std::string>{kAskEnd});
    EXPECT_EQ(gUser.pickerCalls, 0);
}

}  // namespace
}  // namespace flow
