// The file list without a display: both play orders, listing a folder,
// merging a changed folder into the play order, files still being written
// and what a drop opens.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "files/gif_file_list.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

GifFileList ListOf(Names files, int32_t orderMode = 0, int32_t next = 0) {
    GifFileList list;
    list.files = std::move(files);
    for (size_t i = 0; i < list.files.size(); ++i) list.allIndices.push_back(int32_t(i));
    list.pickPool = list.allIndices;
    list.orderMode = orderMode;
    list.nextIndex = next;
    return list;
}
GifFileList ListOf(int count) {
    Names files;
    for (int i = 0; i < count; ++i) files.push_back(std::to_string(i));
    return ListOf(files);
}

// The names of indices, sorted.
Names SortedNames(const std::vector<int32_t>& indices, const GifFileList& list) {
    Names out;
    for (int32_t i : indices) out.push_back(list.files.at(size_t(i)));
    std::sort(out.begin(), out.end());
    return out;
}
// The next n picks of the list's order, by name.
Names Picks(GifFileList* list, size_t n) {
    Names out;
    for (size_t i = 0; i < n; ++i) {
        const int32_t pick = list->orderMode ? NextInRandomOrder(list) : NextInNameOrder(list);
        out.push_back(list->files.at(size_t(pick)));
    }
    return out;
}

TEST(PlayOrder, RandomCyclesOfFiveFromStateOne) {
    SeedPlayOrder(1);
    GifFileList list = ListOf(5);
    const std::pair<int, std::vector<int32_t>> first[] = {
        {0, {4, 1, 2, 3}}, {2, {4, 1, 3}}, {4, {3, 1}}, {1, {3}}, {3, {}}};
    for (const auto& [pick, pool] : first) {
        EXPECT_EQ(NextInRandomOrder(&list), pick);
        EXPECT_EQ(list.pickPool, pool);
    }
    for (int pick : {2, 1, 4, 3, 0}) EXPECT_EQ(NextInRandomOrder(&list), pick);
}

TEST(PlayOrder, ADrawOf32767PicksThePoolsLastEntry) {
    uint32_t state = 0;  // one whose next draw is 32767
    while ((((state * 214013u + 2531011u) >> 16) & 0x7FFF) != 0x7FFF) ++state;
    SeedPlayOrder(state);
    GifFileList list = ListOf(4);
    list.pickPool = {7, 5, 9, 3};
    EXPECT_EQ(NextInRandomOrder(&list), 3);
    EXPECT_EQ(list.pickPool, (std::vector<int32_t>{7, 5, 9}));
}

TEST(PlayOrder, NameOrderWrapsAndOneFileStaysAtZero) {
    GifFileList three = ListOf(3);
    for (int expected : {1, 2, 0, 1}) EXPECT_EQ(NextInNameOrder(&three), expected);
    GifFileList one = ListOf(1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(NextInNameOrder(&one), 0);
        EXPECT_EQ(NextInRandomOrder(&one), 0);
    }
}

TEST(LiveFolder, NameOrderKeepsTheNextFileAndTakesNewFilesAtTheirPlace) {
    GifFileList list = ListOf({"/f/b.gif", "/f/d.gif", "/f/f.gif"}, 0, 1);  // next d
    EXPECT_EQ(MergeListing(&list, {"/f/a.gif", "/f/b.gif", "/f/c.gif", "/f/d.gif", "/f/E.gif",
                                   "/f/f.gif"}),
              3);
    EXPECT_EQ(list.files[size_t(list.nextIndex)], "/f/d.gif");
    EXPECT_EQ(list.allIndices, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    // From d the order runs on through the new E, then wraps to the new a.
    EXPECT_EQ(Picks(&list, 4), (Names{"/f/E.gif", "/f/f.gif", "/f/a.gif", "/f/b.gif"}));
    const int32_t next = list.nextIndex;
    EXPECT_EQ(MergeListing(&list, list.files), 0) << "the same listing again changes nothing";
    EXPECT_EQ(list.nextIndex, next);
}

TEST(LiveFolder, RemovingTheNextFileMovesOnAndRemovingAllEmptiesTheList) {
    // name order, next file removed: the one that followed it comes next,
    // also when a new file sorts in between; past the end it wraps.
    const Names abcd = {"/f/a.gif", "/f/b.gif", "/f/c.gif", "/f/d.gif"};
    const std::tuple<int32_t, Names, std::string> rows[] = {
        {1, {"/f/a.gif", "/f/c.gif", "/f/d.gif"}, "/f/c.gif"},
        {1, {"/f/a.gif", "/f/bb.gif", "/f/d.gif"}, "/f/bb.gif"},
        {3, {"/f/a.gif", "/f/b.gif"}, "/f/a.gif"},
    };
    for (const auto& [next, listing, expected] : rows) {
        GifFileList list = ListOf(abcd, 0, next);
        MergeListing(&list, listing);
        ASSERT_LT(size_t(list.nextIndex), list.files.size());
        EXPECT_EQ(list.files[size_t(list.nextIndex)], expected) << next;
    }
    GifFileList list = ListOf(abcd, 1, 2);
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
    GifFileList list = ListOf({"/f/a.gif", "/f/b.gif", "/f/c.gif", "/f/d.gif"}, 1, 0);
    Picks(&list, 2);  // two of the cycle drawn, two left
    const std::string next = list.files[size_t(list.nextIndex)];
    const Names leftBefore = SortedNames(list.pickPool, list);
    // Two new files, and one that is still in the pool gone.
    Names listing = {"/f/0.gif", "/f/a.gif", "/f/b.gif", "/f/c.gif", "/f/d.gif", "/f/x.gif"};
    listing.erase(std::find(listing.begin(), listing.end(), leftBefore.front()));
    MergeListing(&list, listing);
    EXPECT_EQ(list.files[size_t(list.nextIndex)], next);
    Names pool = {leftBefore[1], "/f/0.gif", "/f/x.gif"};
    std::sort(pool.begin(), pool.end());
    EXPECT_EQ(SortedNames(list.pickPool, list), pool);
    // The rest of the cycle brings exactly the pool, then a full new cycle.
    Names rest = Picks(&list, pool.size()), cycle = Picks(&list, list.files.size());
    std::sort(rest.begin(), rest.end());
    std::sort(cycle.begin(), cycle.end());
    EXPECT_EQ(std::pair(rest, cycle), std::pair(pool, listing));

    // The next file removed: a new pick from the pool, never the gone file.
    const std::string drawn = list.files[size_t(list.nextIndex)];
    Names without = list.files;
    without.erase(std::find(without.begin(), without.end(), drawn));
    MergeListing(&list, without);
    ASSERT_LT(size_t(list.nextIndex), list.files.size());
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
    void Write(const std::string& name, size_t bytes = 1) {
        std::ofstream(dir / name, std::ios::binary) << std::string(bytes, 'G');
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    // One look as the viewer takes it: list, settle, merge.
    Names Look(GifFileList& list, GrowingFiles* growing) {
        std::vector<ListedGif> entries;
        EXPECT_TRUE(ListGifEntries(dir.string(), &entries));
        Names settled = SettledPaths(list, entries, growing);
        MergeListing(&list, settled);
        return settled;
    }
    const fs::path dir = fs::temp_directory_path() / ("reelstack-list-" + std::to_string(getpid()));
};

TEST_F(Folder, ListingTakesGifNamesInAnyCaseInNameOrderAndMakesTheFirstRandomPick) {
    for (const char* name : {"c.png", "b.GIF", "a.gif"}) Write(name);
    fs::create_directory(dir / "d.gif");
    GifFileList list;  // random order, the default
    ASSERT_EQ(ListGifFolder(&list, dir.string()), 1);
    EXPECT_EQ(list.files, (Names{Path("a.gif"), Path("b.GIF"), Path("d.gif")}));
    EXPECT_EQ(list.folderPath, dir.string());
    EXPECT_EQ(list.allIndices, (std::vector<int32_t>{0, 1, 2}));
    ASSERT_EQ(list.pickPool.size(), 2u);
    for (int32_t index : list.pickPool) EXPECT_NE(index, list.nextIndex);
    // A second listing replaces the first.
    fs::create_directory(dir / "sub");
    Write("sub/new.gif");
    ASSERT_EQ(ListGifFolder(&list, Path("sub")), 1);
    EXPECT_EQ(list.files, Names{Path("sub/new.gif")});
}

TEST_F(Folder, NoGifOrNoFolderLeavesEmptyLists) {
    Write("notes.txt");
    for (const std::string& path : {dir.string(), std::string()}) {
        GifFileList list = ListOf(3);
        list.nextIndex = 2;
        EXPECT_EQ(ListGifFolder(&list, path), path.empty() ? -1 : 0);
        EXPECT_EQ(list.folderPath, path);
        EXPECT_TRUE(list.files.empty() && list.pickPool.empty() && list.allIndices.empty());
        EXPECT_EQ(list.nextIndex, 0);
    }
    std::vector<ListedGif> none;
    EXPECT_FALSE(ListGifEntries(Path("missing"), &none));
}

TEST_F(Folder, NewFilesJoinOnlyOnceTheirSizeHoldsStill) {
    Write("a.gif", 10);
    GifFileList list;
    ASSERT_EQ(ListGifFolder(&list, dir.string()), 1);
    GrowingFiles growing;
    Write("B.gif", 0);  // created, nothing written yet
    Write("c.GIF", 5);  // being written
    Write("d.png", 5);  // no GIF
    fs::create_directory(dir / "e.gif");
    const std::string a = Path("a.gif"), b = Path("B.gif"), c = Path("c.GIF"), e = Path("e.gif");
    EXPECT_EQ(Look(list, &growing), Names{a});
    EXPECT_EQ(growing.size(), 3u);
    Write("c.GIF", 9);  // still growing
    EXPECT_EQ(Look(list, &growing), (Names{a, e}));
    Write("B.gif", 4);  // c held still since the last look
    EXPECT_EQ(Look(list, &growing), (Names{a, c, e}));
    EXPECT_EQ(Look(list, &growing), (Names{a, b, c, e}));
    EXPECT_TRUE(growing.empty());
    // A waiting file that goes away is forgotten.
    Write("f.gif", 3);
    Look(list, &growing);
    fs::remove(dir / "f.gif");
    Look(list, &growing);
    EXPECT_TRUE(growing.empty());
}

TEST_F(Folder, ADropOpensAFolderOrTheFolderOfAGif) {
    Write("a.gif");
    Write("notes.txt");
    fs::create_directory(dir / "sub");
    const std::pair<std::string, std::string> rows[] = {
        {Path("sub"), Path("sub")}, {Path("a.gif"), dir.string()}, {Path("notes.txt"), ""},
        {Path("gone.gif"), ""},     {"", ""}};
    for (const auto& [dropped, opened] : rows) EXPECT_EQ(FolderToOpenFor(dropped), opened) << dropped;
}

}  // namespace
