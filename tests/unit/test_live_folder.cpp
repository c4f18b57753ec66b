// A folder that changes while it plays: merging listings into the play
// order, files that are still being written, and what a drop opens.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "files/gif_file_list.h"

namespace {

namespace fs = std::filesystem;

GifFileList NamedList(std::vector<std::string> files, int32_t orderMode, int32_t next) {
    GifFileList list;
    list.files = std::move(files);
    for (size_t i = 0; i < list.files.size(); ++i) list.allIndices.push_back(int32_t(i));
    list.pickPool = list.allIndices;
    list.orderMode = orderMode;
    list.nextIndex = next;
    return list;
}

std::vector<std::string> Sorted(std::vector<int32_t> indices, const GifFileList& list) {
    std::vector<std::string> out;
    for (int32_t i : indices) out.push_back(list.files.at(size_t(i)));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(LiveFolder, NameOrderKeepsTheNextFileAndTakesNewFilesAtTheirPlace) {
    GifFileList list = NamedList({"/f/b.gif", "/f/d.gif", "/f/f.gif"}, 0, 1);  // next d
    EXPECT_EQ(MergeListing(&list, {"/f/a.gif", "/f/b.gif", "/f/c.gif", "/f/d.gif", "/f/E.gif",
                                   "/f/f.gif"}),
              3);
    EXPECT_EQ(list.files[size_t(list.nextIndex)], "/f/d.gif");
    EXPECT_EQ(list.allIndices, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    // From d the order runs on through the new E, then wraps to the new a.
    std::vector<std::string> order;
    for (int i = 0; i < 4; ++i) order.push_back(list.files[size_t(NextInNameOrder(&list))]);
    EXPECT_EQ(order, (std::vector<std::string>{"/f/E.gif", "/f/f.gif", "/f/a.gif", "/f/b.gif"}));
    // The same listing again changes nothing.
    const int32_t next = list.nextIndex;
    EXPECT_EQ(MergeListing(&list, list.files), 0);
    EXPECT_EQ(list.nextIndex, next);
}

TEST(LiveFolder, RemovingTheNextFileMovesOnAndRemovingAllEmptiesTheList) {
    // name order, next file removed: the one that followed it comes next,
    // also when a new file sorts in between; past the end it wraps.
    const std::vector<std::string> abcd = {"/f/a.gif", "/f/b.gif", "/f/c.gif", "/f/d.gif"};
    struct Row {
        int32_t next;
        std::vector<std::string> listing;
        std::string expected;
    } rows[] = {
        {1, {"/f/a.gif", "/f/c.gif", "/f/d.gif"}, "/f/c.gif"},
        {1, {"/f/a.gif", "/f/bb.gif", "/f/d.gif"}, "/f/bb.gif"},
        {3, {"/f/a.gif", "/f/b.gif"}, "/f/a.gif"},
    };
    for (const Row& row : rows) {
        GifFileList list = NamedList(abcd, 0, row.next);
        MergeListing(&list, row.listing);
        ASSERT_GE(list.nextIndex, 0);
        ASSERT_LT(list.nextIndex, int32_t(list.files.size()));
        EXPECT_EQ(list.files[size_t(list.nextIndex)], row.expected) << row.next;
    }
    GifFileList list = NamedList(abcd, 1, 2);
    EXPECT_EQ(MergeListing(&list, {}), 4);
    EXPECT_TRUE(list.files.empty() && list.pickPool.empty() && list.allIndices.empty());
    EXPECT_EQ(list.nextIndex, 0);
    // A file coming back afterwards is a list of one again, already drawn.
    EXPECT_EQ(MergeListing(&list, {"/f/z.gif"}), 1);
    EXPECT_EQ(std::tuple(list.nextIndex, list.pickPool, list.allIndices),
              std::tuple(0, std::vector<int32_t>{}, std::vector<int32_t>{0}));
}

TEST(LiveFolder, RandomOrderPutsNewFilesIntoTheCurrentCycle) {
    SeedPlayOrder(7);
    GifFileList list = NamedList({"/f/a.gif", "/f/b.gif", "/f/c.gif", "/f/d.gif"}, 1, 0);
    NextInRandomOrder(&list);
    NextInRandomOrder(&list);  // two of the cycle drawn, two left
    const std::string next = list.files[size_t(list.nextIndex)];
    const std::vector<std::string> leftBefore = Sorted(list.pickPool, list);
    std::vector<std::string> listing = {"/f/a.gif", "/f/b.gif", "/f/c.gif", "/f/d.gif",
                                        "/f/0.gif", "/f/x.gif"};
    std::sort(listing.begin(), listing.end());
    // Also drop one that is still in the pool.
    const std::string gone = leftBefore.front();
    listing.erase(std::find(listing.begin(), listing.end(), gone));
    MergeListing(&list, listing);
    EXPECT_EQ(list.files[size_t(list.nextIndex)], next);
    std::vector<std::string> expectedPool(leftBefore.begin() + 1, leftBefore.end());
    expectedPool.push_back("/f/0.gif");
    expectedPool.push_back("/f/x.gif");
    std::sort(expectedPool.begin(), expectedPool.end());
    EXPECT_EQ(Sorted(list.pickPool, list), expectedPool);
    // The rest of the cycle brings exactly the pool, then a full new cycle.
    std::vector<std::string> rest;
    for (size_t i = 0; i < expectedPool.size(); ++i) {
        rest.push_back(list.files[size_t(NextInRandomOrder(&list))]);
    }
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ(rest, expectedPool);
    std::vector<std::string> cycle;
    for (size_t i = 0; i < list.files.size(); ++i) {
        cycle.push_back(list.files[size_t(NextInRandomOrder(&list))]);
    }
    std::sort(cycle.begin(), cycle.end());
    EXPECT_EQ(cycle, listing);

    // The next file removed: a new pick from the pool, never the gone file.
    const std::string drawn = list.files[size_t(list.nextIndex)];
    std::vector<std::string> without = list.files;
    without.erase(std::find(without.begin(), without.end(), drawn));
    MergeListing(&list, without);
    ASSERT_LT(list.nextIndex, int32_t(list.files.size()));
    EXPECT_NE(list.files[size_t(list.nextIndex)], drawn);
    EXPECT_EQ(std::count(list.pickPool.begin(), list.pickPool.end(), list.nextIndex), 0);
}

class Folder : public testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void Write(const std::string& name, size_t bytes) {
        std::ofstream(dir / name, std::ios::binary) << std::string(bytes, 'G');
    }
    // One look as the viewer takes it: list, settle, merge.
    std::vector<std::string> Look(GifFileList& list, GrowingFiles* growing) {
        std::vector<ListedGif> entries;
        EXPECT_TRUE(ListGifEntries(dir.string(), &entries));
        std::vector<std::string> settled = SettledPaths(list, entries, growing);
        MergeListing(&list, settled);
        return settled;
    }
    fs::path dir = fs::temp_directory_path() / ("reelstack-live-" + std::to_string(getpid()));
};

TEST_F(Folder, NewFilesJoinOnlyOnceTheirSizeHoldsStill) {
    Write("a.gif", 10);
    GifFileList list;
    ASSERT_EQ(ListGifFolder(&list, dir.string()), 1);
    GrowingFiles growing;
    Write("B.gif", 0);   // created, nothing written yet
    Write("c.GIF", 5);   // being written
    Write("d.png", 5);   // no GIF
    fs::create_directory(dir / "e.gif");
    const std::string a = (dir / "a.gif").string(), b = (dir / "B.gif").string(),
                      c = (dir / "c.GIF").string(), e = (dir / "e.gif").string();
    EXPECT_EQ(Look(list, &growing), std::vector<std::string>{a});
    EXPECT_EQ(growing.size(), 3u);
    Write("c.GIF", 9);  // still growing
    EXPECT_EQ(Look(list, &growing), (std::vector<std::string>{a, e}));
    Write("B.gif", 4);  // c held still since the last look
    EXPECT_EQ(Look(list, &growing), (std::vector<std::string>{a, c, e}));
    EXPECT_EQ(Look(list, &growing), (std::vector<std::string>{a, b, c, e}));
    EXPECT_TRUE(growing.empty());
    // A waiting file that goes away is forgotten.
    Write("f.gif", 3);
    Look(list, &growing);
    fs::remove(dir / "f.gif");
    Look(list, &growing);
    EXPECT_TRUE(growing.empty());
    std::vector<ListedGif> none;
    EXPECT_FALSE(ListGifEntries((dir / "missing").string(), &none));
}

TEST_F(Folder, ADropOpensAFolderOrTheFolderOfAGif) {
    Write("a.gif", 10);
    Write("notes.txt", 10);
    fs::create_directory(dir / "sub");
    EXPECT_EQ(FolderToOpenFor((dir / "sub").string()), (dir / "sub").string());
    EXPECT_EQ(FolderToOpenFor((dir / "a.gif").string()), dir.string());
    EXPECT_EQ(FolderToOpenFor((dir / "notes.txt").string()), "");
    EXPECT_EQ(FolderToOpenFor((dir / "gone.gif").string()), "");
    EXPECT_EQ(FolderToOpenFor(""), "");
}

}  // namespace
