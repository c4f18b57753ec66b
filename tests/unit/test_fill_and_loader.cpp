// The initial fill and the loader's mailbox against the fake viewer side:
// which files are tried, what is placed, the progress titles, and how
// commands meet a running load.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <future>

#include "fake_host.h"
#include "files/gif_file_list.h"
#include "wall/loader.h"

namespace {

using fake::Heights;

constexpr int32_t kBroken = -1;  // a file that fails to load

// A name-ordered list of files a, b, c, ... with these drawn heights (0: a
// flat file that loads but adds no height).
void MakeFiles(GifWall* wall, const std::vector<int32_t>& heights, int32_t orderMode = 0) {
    GifFileList& list = wall->fileList;
    list = GifFileList{};
    list.orderMode = orderMode;
    for (size_t i = 0; i < heights.size(); ++i) {
        const std::string name(1, static_cast<char>('a' + i));
        list.files.push_back(name);
        list.allIndices.push_back(static_cast<int32_t>(i));
        if (heights[i] != kBroken) fake::gState.heights[name] = heights[i];
    }
    list.pickPool = list.allIndices;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) out += name;
    return out;
}

TEST(InitialFill, TakesFilesInTurnIntoTheShortestColumnUntilEveryColumnIsFull) {
    const std::string p0 = "0.000000", p41 = "41.666667", p83 = "83.333333";
    struct Row {
        int32_t columns;
        std::vector<int32_t> files;
        int32_t result;
        std::string loads;
        Heights placed;
        std::vector<std::string> progress;
        int32_t next;  // the file the next add loads
    };
    const Row rows[] = {
        {1, {250}, 1, "aaa", {{250, 250, 250}}, {p0, p41, p83}, 0},
        // a, b, a, b, a; a column past the bottom counts as 100 %
        {3, {300, 600}, 1, "ababa", {{300, 600}, {600}, {300, 300}},
         {p0, "16.666667", "50.000000", "66.666667", p83}, 1},
        // a failed first file does not end the fill once something shows
        {1, {kBroken, 250, 250}, 1, "abcab", {{250, 250, 250}}, {p0, p0, p41, p83, p83}, 2},
        // one whole pass and the first file again, then nothing to show; the
        // next open starts at the file that ended it
        {3, {kBroken, kBroken, kBroken}, 0, "abca", Heights(3), {p0, p0, p0, p0}, 0},
        // flat files load but add no height: every file tried once without growth
        {1, {0, 0}, 0, "ab", Heights(1), {p0, p0}, 0},
    };
    for (const Row& row : rows) {
        fake::Reset();
        GifWall wall;
        fake::SetUpWall(&wall, 760, 600, row.columns);
        MakeFiles(&wall, row.files);
        EXPECT_EQ(InitialFill(&wall), row.result);
        std::vector<std::string> titles;
        for (const std::string& p : row.progress) titles.push_back("リールスタック (読込中.. " + p + "%)");
        EXPECT_EQ(std::tuple(Joined(fake::gState.loads), fake::Layout(&wall), fake::gState.titles),
                  std::tuple(row.loads, row.placed, titles));
        EXPECT_EQ(wall.pendingStatus, -1) << "the fill leaves nothing for the loader";
        EXPECT_EQ(fake::LiveObjects(), 2 * wall.images.size()) << "nothing unplaced stays alive";
        EXPECT_EQ(wall.fileList.nextIndex, row.next);
    }
}

// The fill's promise: a result of 1 means every column in use reaches the
// bottom. In random order a run of (files + 1) attempts straddles two
// random cycles and can miss the only file that loads.
TEST(InitialFill, RandomOrderFillsEveryColumnWhateverTheSeed) {
    for (int32_t files : {3, 10}) {
        int32_t short_fills = 0;
        for (uint32_t seed = 1; seed <= 2000; ++seed) {
            fake::Reset();
            GifWall wall;
            fake::SetUpWall(&wall, 760, 600, 3);
            std::vector<int32_t> heights(static_cast<size_t>(files), kBroken);
            heights[1] = 100;  // the one file that loads
            MakeFiles(&wall, heights, 1);
            SeedPlayOrder(seed);
            NextInRandomOrder(&wall.fileList);  // the listing's first pick
            const int32_t result = InitialFill(&wall);
            bool full = result == 1;
            for (int32_t c = 0; c < 3; ++c) full = full && ColumnHeight(&wall, c) >= 600;
            if (!full) ++short_fills;
            EXPECT_EQ(fake::LiveObjects(), 2 * wall.images.size()) << "seed " << seed;
        }
        EXPECT_EQ(short_fills, 0) << files << " files";
    }
}

TEST(InitialFill, HandsTheHostEveryFileBoundaryAndStopsWhenAsked) {
    fake::Reset();
    GifWall wall;
    fake::SetUpWall(&wall, 760, 600, 3);
    MakeFiles(&wall, {100, kBroken, 100, kBroken, 100});
    static int boundaries;
    boundaries = 0;
    wall.host.processEvents = [](GifWall*) { ++boundaries; };
    // The user closes after the fourth file.
    wall.host.fillShouldStop = [](GifWall*) { return boundaries >= 4; };
    EXPECT_EQ(InitialFill(&wall), kFillStopped);
    EXPECT_EQ(Joined(fake::gState.loads), "abcd");
    EXPECT_EQ(boundaries, 4);
    EXPECT_TRUE(wall.images.empty());
    EXPECT_EQ(fake::Layout(&wall), Heights(3));
    EXPECT_EQ(fake::LiveObjects(), 0u) << "the stopped fill leaks no GL object";
    EXPECT_EQ(wall.pendingStatus, -1);
}

TEST(FillProgressTitle, KeepsTheDecimalPointUnderACommaLocale) {
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_ALL, name)) {
            found = name;
            break;
        }
    }
    if (!found) GTEST_SKIP() << "no comma-decimal locale installed (scripts/setup generates de_DE.UTF-8)";
    char probe[32];
    std::snprintf(probe, sizeof probe, "%f", 37.5);
    const std::string title = FillProgressTitle(37.5);
    std::setlocale(LC_ALL, "C");
    ASSERT_STREQ(probe, "37,500000") << found << " is a comma locale";
    EXPECT_EQ(title, "リールスタック (読込中.. 37.500000%)");
}

// A wall with a loader thread running LoaderMain on the fake host.
class Loader : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        fake::SetUpWall(&wall, 250, 600, 1);
        wall.loaderThread = reinterpret_cast<LoaderThread*>(&wall);  // any non-null handle
        thread = std::thread([this] { LoaderMain(&wall); });
    }
    void TearDown() override {
        fake::Open();
        PostLoaderCommand(&wall, Quit);
        thread.join();
    }
    int32_t Mailbox() {
        std::lock_guard<std::recursive_mutex> lock(wall.wallMutex);
        return wall.loaderCommand;
    }
    int32_t NextIndex() {
        std::lock_guard<std::recursive_mutex> lock(wall.wallMutex);
        return wall.fileList.nextIndex;
    }
    // Posts AddNext and waits until the loader has finished it: in name
    // order every add moves the index on by one.
    void Add() {
        const int32_t count = static_cast<int32_t>(wall.fileList.files.size());
        const int32_t next = ++adds % count;
        PostLoaderCommand(&wall, AddNext);
        ASSERT_TRUE(fake::Await([&] { return Mailbox() == NoCommand && NextIndex() == next; }));
    }

    int32_t adds = 0;
    GifWall wall;
    std::thread thread;
};

TEST_F(Loader, EachAddPlacesWhatThePreviousAddLoadedAndAFailedFileCostsOneAdd) {
    MakeFiles(&wall, {300, kBroken, 450});
    // The column after each add (newest last) and the stage.
    const std::pair<Heights, int32_t> afterAdds[] = {
        {{{}}, 0},          // only loads a
        {{{300}}, 1},       // places a, b fails
        {{{300}}, 0},       // places nothing, loads c
        {{{300, 450}}, 0},  // places c, loads a
        {{{450, 300}}, 1},  // places a (c and the old a pushed down, the old a drops), b fails
    };
    for (const auto& [layout, status] : afterAdds) {
        Add();
        std::lock_guard<std::recursive_mutex> lock(wall.wallMutex);
        EXPECT_EQ(std::pair(fake::Layout(&wall), wall.pendingStatus), std::pair(layout, status))
            << "after load " << fake::gState.loads.size();
    }
    EXPECT_EQ(fake::LiveObjects(), 4u) << "the dropped a was released";
    // A Flush after the failed load places nothing and empties the stage.
    EXPECT_EQ(WaitIdle(&wall), 1);
    EXPECT_EQ(std::pair(fake::Layout(&wall), wall.pendingStatus), std::pair(Heights{{450, 300}}, -1));
}

TEST_F(Loader, WaitIdleAndQuitComeAfterTheRunningLoadAndAddsPostedMeanwhileMakeOne) {
    MakeFiles(&wall, {100, 100, 100, 100});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitIdle(&wall), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150))
        << "an idle loader takes Flush within one poll";

    fake::Close("b");
    Add();  // loads a
    PostLoaderCommand(&wall, AddNext);  // places a, loads b: held at the gate
    ASSERT_TRUE(fake::AwaitWaitingLoad());
    PostLoaderCommand(&wall, AddNext);
    PostLoaderCommand(&wall, AddNext);  // replaces the first: one more add
    auto idle = std::async(std::launch::async, [this] {
        PostLoaderCommand(&wall, AddNext);
        return WaitIdle(&wall);  // replaces the add: Flush after the load
    });
    EXPECT_EQ(idle.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "WaitIdle returned while a load was running";
    fake::Open();
    EXPECT_EQ(idle.get(), 1);
    EXPECT_EQ(Joined(fake::gState.loads), "ab") << "the adds posted during the load were replaced";
    EXPECT_EQ(std::pair(fake::Layout(&wall), wall.pendingStatus), std::pair(Heights{{100, 100}}, -1));

    // Quit during a load: the thread ends after it, placing nothing.
    fake::Close("c");
    PostLoaderCommand(&wall, AddNext);
    ASSERT_TRUE(fake::AwaitWaitingLoad());
    PostLoaderCommand(&wall, Quit);
    fake::Open();
    thread.join();
    EXPECT_EQ(std::pair(fake::Layout(&wall), wall.pendingStatus), std::pair(Heights{{100, 100}}, 0));
    thread = std::thread([this] { LoaderMain(&wall); });  // for TearDown
}

TEST(LoaderWithoutThread, WaitIdleReturnsAtOnce) {
    GifWall wall;
    fake::SetUpWall(&wall, 250, 600, 1);
    EXPECT_EQ(WaitIdle(&wall), 1);
    EXPECT_EQ(wall.loaderCommand, NoCommand);
}

}  // namespace
