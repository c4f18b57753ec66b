// The loader's one-word mailbox and the stage: what each command does, when
// it is taken, and what reaches the wall. The real loader thread runs; the
// main loop does not, so every command comes from the test.
#include "flow_support.h"

namespace flow {
namespace {

class MailboxTest : public FlowTest {
protected:
    // One column (the client is narrower than 250) that the fill makes full
    // with a.gif alone, so that the next add is b.gif, the slow file.
    void OpenSlowWall() {
        SetClientSize(200, 600);
        const std::string folder = MakeFolder("slow-wall", {
                                                               {"a.gif", 250, 600},
                                                               {"c.gif", 250, 300},
                                                           });
        WriteSlowGif(std::filesystem::path(folder) / "b.gif");
        OpenPlaying(folder);
        ASSERT_EQ(ColumnHeights(wall_), (std::vector<std::vector<int32_t>>{{600}}));
        ASSERT_EQ(NextIndexOf(wall_), 1);
    }
};

TEST_F(MailboxTest, TwoAddNextPostsWhileTheLoaderIsBusyMakeOneAdd) {
    OpenSlowWall();
    ASSERT_TRUE(PostAddNextTaken(wall_));  // the loader now decodes b.gif
    PostLoaderCommand(wall_, AddNext);
    PostLoaderCommand(wall_, AddNext);
    {
        // Both posts landed while b.gif was still loading: nothing has moved
        // on and the second post is still in the mailbox.
        std::lock_guard<std::recursive_mutex> lock(wall_->wallMutex);
        ASSERT_EQ(wall_->fileList.nextIndex, 1) << "b.gif loaded too fast to keep the loader busy";
        ASSERT_EQ(wall_->loaderCommand, AddNext);
    }
    // b.gif loaded (index 2), then one more add placed it and loaded c.gif.
    ASSERT_TRUE(AwaitLoader([this] { return NextIndexOf(wall_) == 0; }));
    WaitIdle(wall_);  // places c.gif
    EXPECT_EQ(NextIndexOf(wall_), 0) << "a third add ran";
    EXPECT_EQ(ColumnHeights(wall_), (std::vector<std::vector<int32_t>>{{600, kSlowHeight, 300}}));
}

TEST_F(MailboxTest, WaitIdleReturnsPromptlyWhenIdleAndAfterARunningLoadOtherwise) {
    OpenSlowWall();
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitIdle(wall_), 1);
        EXPECT_LT(MillisecondsSince(start), 150.0) << "idle round " << i;
        EXPECT_EQ(CommandOf(wall_), NoCommand);
    }

    ASSERT_TRUE(PostAddNextTaken(wall_));  // b.gif, slow
    ASSERT_EQ(NextIndexOf(wall_), 1);
    EXPECT_EQ(WaitIdle(wall_), 1);
    // Right on return, with no further waiting: the load has finished and
    // the Flush has put its image on the wall.
    EXPECT_EQ(NextIndexOf(wall_), 2);
    EXPECT_EQ(wall_->pendingStatus, -1);
    EXPECT_EQ(ColumnHeights(wall_), (std::vector<std::vector<int32_t>>{{600, kSlowHeight}}));
    EXPECT_EQ(LastAddColumnOf(wall_), 0);
}

TEST_F(MailboxTest, WaitIdleWithoutALoaderReturnsAtOnceAndPostsNothing) {
    OpenSlowWall();
    LoaderThread* loader = wall_->loaderThread;
    wall_->loaderThread = nullptr;
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = WaitIdle(wall_);
    const double elapsed = MillisecondsSince(start);
    const int32_t command = CommandOf(wall_);
    wall_->loaderThread = loader;
    EXPECT_EQ(result, 1);
    EXPECT_LT(elapsed, 20.0);
    EXPECT_EQ(command, NoCommand);
}

TEST_F(MailboxTest, QuitDuringALoadEndsAfterItWithoutPlacing) {
    OpenSlowWall();
    const std::vector<ColumnView> before = ViewColumns(wall_);
    ASSERT_TRUE(PostAddNextTaken(wall_));  // b.gif, slow
    PostLoaderCommand(wall_, Quit);
    JoinLoaderThread(wall_->loaderThread);
    wall_->loaderThread = nullptr;

    // The join came after b.gif had loaded and the index had moved on ...
    EXPECT_EQ(NextIndexOf(wall_), 2);
    EXPECT_EQ(wall_->pendingStatus, 0);
    EXPECT_EQ(wall_->pendingHeight, kSlowHeight);
    EXPECT_TRUE(wall_->pendingImage.active);
    EXPECT_EQ(wall_->pendingImage.frames.size(), 10u);
    // ... and nothing went on the wall.
    EXPECT_EQ(ViewColumns(wall_), before);
    EXPECT_EQ(LastAddColumnOf(wall_), -1);
    EXPECT_EQ(CommandOf(wall_), NoCommand);

    // A new loader takes over the stage as it was left.
    wall_->loaderThread = StartLoaderThread(LoaderThreadForTest, wall_, wall_->subRC);
    ASSERT_NE(wall_->loaderThread, nullptr);
    WaitIdle(wall_);
    EXPECT_EQ(ColumnHeights(wall_), (std::vector<std::vector<int32_t>>{{600, kSlowHeight}}));
}

// After a fill of a three-column wall from a.gif (300 high), b.gif (broken)
// and c.gif (450 high), every add shows the file loaded by the add before.
TEST_F(MailboxTest, EachAddPlacesWhatThePreviousAddLoaded) {
    OpenPlaying(MakeFolder("abc", {
                                      {"a.gif", 250, 300},
                                      {"b.gif", 0, 0, 0, true},
                                      {"c.gif", 250, 450},
                                  }));
    // The fill: a c0, c c1, a c2, c c0, a c2, c c1.
    ASSERT_EQ(ColumnHeights(wall_),
              (std::vector<std::vector<int32_t>>{{300, 450}, {450, 450}, {300, 300}}));
    ASSERT_EQ(NextIndexOf(wall_), 0);
    EXPECT_EQ(wall_->pendingStatus, -1) << "the fill leaves nothing staged";
    const std::vector<ColumnView> afterFill = ViewColumns(wall_);

    // 1st add: nothing is staged, so it only loads a.gif.
    ASSERT_TRUE(RunOneAdd(wall_));
    EXPECT_EQ(NextIndexOf(wall_), 1);
    EXPECT_EQ(ViewColumns(wall_), afterFill);
    EXPECT_EQ(LastAddColumnOf(wall_), -1);
    EXPECT_EQ(wall_->pendingStatus, 0);
    EXPECT_EQ(wall_->pendingHeight, 300);

    // 2nd add: a.gif goes to the top of column 0, pushing it down (the
    // oldest image reaches 750 and is dropped); b.gif fails.
    ASSERT_TRUE(RunOneAdd(wall_));
    EXPECT_EQ(LastAddColumnOf(wall_), 0);
    EXPECT_EQ(ColumnHeights(wall_),
              (std::vector<std::vector<int32_t>>{{450, 300}, {450, 450}, {300, 300}}));
    EXPECT_EQ(ViewColumns(wall_)[0].tops, (std::vector<int32_t>{300, 0}));
    EXPECT_EQ(wall_->pendingStatus, 1);
    EXPECT_FALSE(wall_->pendingImage.active);
    const std::vector<ColumnView> afterSecond = ViewColumns(wall_);

    // 3rd add: the failed b.gif places nothing; c.gif loads.
    ASSERT_TRUE(RunOneAdd(wall_));
    EXPECT_EQ(NextIndexOf(wall_), 0);
    EXPECT_EQ(ViewColumns(wall_), afterSecond);
    EXPECT_EQ(LastAddColumnOf(wall_), 0);
    EXPECT_EQ(wall_->pendingStatus, 0);
    EXPECT_EQ(wall_->pendingHeight, 450);

    // 4th add: c.gif goes to column 1; its oldest image (now at 900) drops.
    ASSERT_TRUE(RunOneAdd(wall_));
    EXPECT_EQ(LastAddColumnOf(wall_), 1);
    const std::vector<ColumnView> afterFourth = ViewColumns(wall_);
    EXPECT_EQ(afterFourth[1].heights, (std::vector<int32_t>{450, 450}));
    EXPECT_EQ(afterFourth[1].tops, (std::vector<int32_t>{450, 0}));
    EXPECT_EQ(afterFourth[1].slots[0], afterSecond[1].slots[1]);
    EXPECT_NE(afterFourth[1].slots[1], afterSecond[1].slots[1]);
    // The slot dropped last is the one reused.
    EXPECT_EQ(afterFourth[1].slots[1], afterSecond[1].slots[0]);
}

TEST_F(MailboxTest, FlushAfterAFailedLoadPlacesNothingAndEmptiesTheStage) {
    OpenPlaying(MakeFolder("flush-failed", {
                                               {"a.gif", 250, 300},
                                               {"b.gif", 0, 0, 0, true},
                                           }));
    SetNextIndex(wall_, 1);
    ASSERT_TRUE(RunOneAdd(wall_));  // b.gif fails
    ASSERT_EQ(wall_->pendingStatus, 1);
    const std::vector<ColumnView> before = ViewColumns(wall_);
    const size_t slots = wall_->images.size();

    WaitIdle(wall_);
    EXPECT_EQ(wall_->pendingStatus, -1);
    EXPECT_EQ(ViewColumns(wall_), before);
    EXPECT_EQ(LastAddColumnOf(wall_), -1);
    EXPECT_EQ(wall_->images.size(), slots);

    // The next add therefore only loads.
    ASSERT_TRUE(RunOneAdd(wall_));
    EXPECT_EQ(ViewColumns(wall_), before);
    EXPECT_EQ(wall_->pendingStatus, 0);
}

TEST_F(MailboxTest, AddNextInNameOrderWrapsFromTheLastFile) {
    OpenPlaying(MakeFolder("wrap", {
                                       {"a.gif", 250, 300},
                                       {"b.gif", 250, 350},
                                       {"c.gif", 250, 400},
                                   }));
    SetNextIndex(wall_, 2);
    ASSERT_TRUE(RunOneAdd(wall_));
    EXPECT_EQ(NextIndexOf(wall_), 0);
    EXPECT_EQ(wall_->pendingStatus, 0);
    EXPECT_EQ(wall_->pendingHeight, 400) << "the third file was not the one loaded";
}

// The loader's random picks come from the generator the listing seeded, not
// from one of its own.
TEST_F(MailboxTest, RandomPicksOfTheLoaderFollowTheSeededGenerator) {
    TriggerMenuCommandForTest(IdOrderRandom);
    const std::string folder = MakeFolder("random", {
                                                        {"a.gif", 250, 300},
                                                        {"b.gif", 250, 350},
                                                        {"c.gif", 250, 400},
                                                        {"d.gif", 250, 450},
                                                        {"e.gif", 250, 500},
                                                    });
    OpenPlaying(folder);
    ASSERT_EQ(wall_->fileList.orderMode, 1);

    // What a fresh cycle gives as its first pick after a seed.
    auto firstPick = [this](uint32_t seed) {
        GifFileList copy = wall_->fileList;
        copy.pickPool = copy.allIndices;
        SeedPlayOrder(seed);
        return NextInRandomOrder(&copy);
    };
    uint32_t seed = 2;
    while (firstPick(seed) == firstPick(1)) ++seed;
    const int32_t expected = firstPick(seed);
    {
        std::lock_guard<std::recursive_mutex> lock(wall_->wallMutex);
        wall_->fileList.pickPool = wall_->fileList.allIndices;
        SeedPlayOrder(seed);
    }
    ASSERT_TRUE(PostAddNextTaken(wall_));
    WaitIdle(wall_);
    EXPECT_EQ(NextIndexOf(wall_), expected);
    std::lock_guard<std::recursive_mutex> lock(wall_->wallMutex);
    EXPECT_EQ(wall_->fileList.pickPool.size(), 4u);
}

}  // namespace
}  // namespace flow
