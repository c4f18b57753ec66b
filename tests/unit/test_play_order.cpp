// Play order and folder listing: no display needed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "files/gif_file_list.h"

namespace {

namespace fs = std::filesystem;

GifFileList ListOf(int count) {
    GifFileList list;
    for (int i = 0; i < count; ++i) {
        list.files.push_back(std::to_string(i));
        list.allIndices.push_back(i);
    }
    list.pickPool = list.allIndices;
    return list;
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

class Listing : public testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void Touch(const std::string& name) { std::ofstream(dir / name) << "x"; }
    std::string Path(const std::string& name) const { return (dir / name).string(); }

    const fs::path dir =
        fs::temp_directory_path() / ("reelstack-listing-" + std::to_string(getpid()));
};

TEST_F(Listing, TakesGifNamesInAnyCaseInNameOrderAndMakesTheFirstRandomPick) {
    for (const char* name : {"c.png", "b.GIF", "a.gif"}) Touch(name);
    fs::create_directory(dir / "d.gif");
    GifFileList list;  // random order, the default
    ASSERT_EQ(ListGifFolder(&list, dir.string()), 1);
    EXPECT_EQ(list.files, (std::vector<std::string>{Path("a.gif"), Path("b.GIF"), Path("d.gif")}));
    EXPECT_EQ(list.folderPath, dir.string());
    EXPECT_EQ(list.allIndices, (std::vector<int32_t>{0, 1, 2}));
    ASSERT_EQ(list.pickPool.size(), 2u);
    for (int32_t index : list.pickPool) EXPECT_NE(index, list.nextIndex);
}

TEST_F(Listing, ASecondListingReplacesTheFirst) {
    fs::create_directory(dir / "d");
    for (const char* name : {"a.gif", "d/new.gif"}) Touch(name);
    GifFileList list;
    ASSERT_EQ(ListGifFolder(&list, dir.string()), 1);
    ASSERT_EQ(ListGifFolder(&list, Path("d")), 1);
    EXPECT_EQ(list.files, std::vector<std::string>{Path("d/new.gif")});
}

TEST_F(Listing, NoGifOrNoFolderLeavesEmptyLists) {
    Touch("notes.txt");
    for (const std::string& path : {dir.string(), std::string()}) {
        GifFileList list = ListOf(3);
        list.nextIndex = 2;
        EXPECT_EQ(ListGifFolder(&list, path), path.empty() ? -1 : 0);
        EXPECT_EQ(list.folderPath, path);
        EXPECT_TRUE(list.files.empty() && list.pickPool.empty() && list.allIndices.empty());
        EXPECT_EQ(list.nextIndex, 0);
    }
}

}  // namespace
