// Play order and folder listing: no display needed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/gif_file_list.h"

namespace {

GifFileList ListOf(int count) {
    GifFileList list;
    for (int i = 0; i < count; ++i) {
        list.files.push_back("f" + std::to_string(i));
        list.allIndices.push_back(i);
    }
    list.pickPool = list.allIndices;
    return list;
}

TEST(PlayOrder, GeneratorFollowsTheCRuntimeSequence) {
    // The first draws of the C runtime's rand after srand(1).
    SeedPlayOrder(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int value : expected) EXPECT_EQ(DrawPlayOrder(), value);
}

TEST(PlayOrder, SeedIsTheTimeModuloTwoToThe32MinusOne) {
    EXPECT_EQ(PlayOrderSeedFromTime(1'765'000'000), 1'765'000'000u);
    EXPECT_EQ(PlayOrderSeedFromTime(4294967295LL), 0u);
    EXPECT_EQ(PlayOrderSeedFromTime(4294967296LL), 1u);
}

TEST(PlayOrder, RandomCyclesOfFiveFromStateOne) {
    SeedPlayOrder(1);
    GifFileList list = ListOf(5);
    struct Step {
        int pick;
        std::vector<int32_t> pool;
    };
    const Step first[] = {
        {0, {4, 1, 2, 3}}, {2, {4, 1, 3}}, {4, {3, 1}}, {1, {3}}, {3, {}},
    };
    for (const Step& step : first) {
        EXPECT_EQ(NextInRandomOrder(&list), step.pick);
        EXPECT_EQ(list.nextIndex, step.pick);
        EXPECT_EQ(list.pickPool, step.pool);
    }
    for (int pick : {2, 1, 4, 3, 0}) EXPECT_EQ(NextInRandomOrder(&list), pick);
}

TEST(PlayOrder, EveryCycleBringsEveryFileOnce) {
    SeedPlayOrder(12345);
    GifFileList list = ListOf(7);
    for (int cycle = 0; cycle < 20; ++cycle) {
        std::vector<int> seen(7, 0);
        for (int i = 0; i < 7; ++i) ++seen[static_cast<size_t>(NextInRandomOrder(&list))];
        EXPECT_EQ(seen, std::vector<int>(7, 1)) << "cycle " << cycle;
    }
}

TEST(PlayOrder, ADrawOf32767PicksThePoolsLastEntry) {
    // Find a state whose next draw is 32767: s' >> 16 & 0x7FFF == 0x7FFF.
    uint32_t state = 0;
    for (uint32_t s = 0;; ++s) {
        if ((((s * 214013u + 2531011u) >> 16) & 0x7FFF) == 0x7FFF) {
            state = s;
            break;
        }
    }
    SeedPlayOrder(state);
    GifFileList list = ListOf(4);
    list.pickPool = {7, 5, 9, 3};
    EXPECT_EQ(NextInRandomOrder(&list), 3);
    EXPECT_EQ(list.pickPool, (std::vector<int32_t>{7, 5, 9}));
}

TEST(PlayOrder, OneFileStaysAtZeroInBothModes) {
    GifFileList list = ListOf(1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(NextInNameOrder(&list), 0);
        EXPECT_EQ(NextInRandomOrder(&list), 0);
        EXPECT_TRUE(list.pickPool.empty());
    }
}

TEST(PlayOrder, NameOrderWrapsAfterTheLastFile) {
    GifFileList list = ListOf(3);
    std::vector<int> order;
    for (int i = 0; i < 7; ++i) order.push_back(NextInNameOrder(&list));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 0, 1, 2, 0, 1}));
}

class Listing : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("reelstack-listing-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void Touch(const std::string& name) { std::ofstream(dir_ / name) << "x"; }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
};

TEST_F(Listing, TakesGifNamesInAnyCaseFoldersIncludedInNameOrder) {
    Touch("c.png");
    Touch("b.GIF");
    Touch("a.gif");
    Touch(".hidden.gif");
    std::filesystem::create_directory(dir_ / "d.gif");
    GifFileList list;
    list.orderMode = 0;
    ASSERT_EQ(ListGifFolder(&list, dir_.string()), 1);
    EXPECT_EQ(list.files, (std::vector<std::string>{Path(".hidden.gif"), Path("a.gif"),
                                                     Path("b.GIF"), Path("d.gif")}));
    EXPECT_EQ(list.folderPath, dir_.string());
    EXPECT_EQ(list.nextIndex, 0);
    EXPECT_EQ(list.allIndices, (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(list.pickPool, list.allIndices);
}

TEST_F(Listing, SortsWithoutRegardToCaseThenByExactBytes) {
    for (const char* name : {"B.gif", "a.gif", "b.gif", "A.gif", "ab.gif"}) Touch(name);
    GifFileList list;
    list.orderMode = 0;
    ASSERT_EQ(ListGifFolder(&list, dir_.string()), 1);
    EXPECT_EQ(list.files, (std::vector<std::string>{Path("A.gif"), Path("a.gif"), Path("ab.gif"),
                                                     Path("B.gif"), Path("b.gif")}));
}

TEST_F(Listing, RandomModeMakesTheFirstPick) {
    for (const char* name : {"1.gif", "2.gif", "3.gif", "4.gif", "5.gif"}) Touch(name);
    GifFileList list;
    list.orderMode = 1;
    ASSERT_EQ(ListGifFolder(&list, dir_.string()), 1);
    EXPECT_EQ(list.allIndices, (std::vector<int32_t>{0, 1, 2, 3, 4}));
    ASSERT_EQ(list.pickPool.size(), 4u);
    for (int32_t index : list.pickPool) EXPECT_NE(index, list.nextIndex);
}

TEST_F(Listing, FolderWithoutGifGivesZeroAndKeepsThePath) {
    Touch("notes.txt");
    GifFileList list;
    EXPECT_EQ(ListGifFolder(&list, dir_.string()), 0);
    EXPECT_EQ(list.folderPath, dir_.string());
    EXPECT_TRUE(list.files.empty());
    EXPECT_TRUE(list.pickPool.empty());
    EXPECT_TRUE(list.allIndices.empty());
}

TEST_F(Listing, EmptyPathGivesMinusOneAndEmptyLists) {
    GifFileList list;
    list.files = {"old.gif"};
    list.nextIndex = 3;
    EXPECT_EQ(ListGifFolder(&list, ""), -1);
    EXPECT_TRUE(list.folderPath.empty());
    EXPECT_TRUE(list.files.empty());
    EXPECT_EQ(list.nextIndex, 0);
}

TEST_F(Listing, ASecondListingReplacesTheFirst) {
    Touch("old.gif");
    GifFileList list;
    list.orderMode = 0;
    ASSERT_EQ(ListGifFolder(&list, dir_.string()), 1);
    std::filesystem::path other = dir_ / "other";
    std::filesystem::create_directory(other);
    std::ofstream(other / "new.gif") << "x";
    ASSERT_EQ(ListGifFolder(&list, other.string()), 1);
    EXPECT_EQ(list.files, (std::vector<std::string>{(other / "new.gif").string()}));
}

}  // namespace
