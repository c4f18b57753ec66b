// The loader's one-word mailbox and the initial fill on the running viewer
// with real files and GL (their rules in detail: tests/unit), driven from
// the test with the main loop stopped.
#include "flow_support.h"

namespace flow {
namespace {

class LoaderTest : public FlowTest {};

TEST_F(LoaderTest, QuitAndWaitIdleComeAfterTheRunningLoadAndAddsPostedMeanwhileMakeOne) {
    // One column that a.gif fills alone; b, c and d take long to load.
    SetClientSize(200, 600);
    const std::string folder = MakeFolder("slow", {600});
    WriteSolidGif(folder + "/b.gif", 2000, 1500, 10);  // 187 high on the wall
    for (const char* copy : {"/c.gif", "/d.gif"})
        std::filesystem::copy(folder + "/b.gif", folder + copy);
    OpenPlaying(folder);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitIdle(wall_), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));

    ASSERT_TRUE(PostAddNext(wall_, true));  // b.gif
    PostLoaderCommand(wall_, Quit);
    JoinLoaderThread(wall_->loaderThread);
    EXPECT_EQ(std::tuple(NextIndex(wall_), wall_->pendingStatus, Layout(wall_)),
              std::tuple(2, 0, Heights{{600}}));
    wall_->loaderThread = StartLoaderThread(
        [](void* wall) { return LoaderMain(static_cast<GifWall*>(wall)); }, wall_, wall_->subRC);
    ASSERT_NE(wall_->loaderThread, nullptr);

    ASSERT_TRUE(PostAddNext(wall_, true));  // places b.gif, loads c.gif
    PostLoaderCommand(wall_, AddNext);
    PostLoaderCommand(wall_, AddNext);
    ASSERT_EQ(NextIndex(wall_), 2) << "c.gif loaded too fast to keep the loader busy";
    // One add more: it places c.gif and loads d.gif; WaitIdle places d.gif.
    ASSERT_TRUE(Await([this] { return NextIndex(wall_) == 3 && Mailbox(wall_) == NoCommand; }));
    EXPECT_EQ(WaitIdle(wall_), 1);
    EXPECT_EQ(std::tuple(NextIndex(wall_), Layout(wall_), wall_->pendingStatus),
              std::tuple(0, Heights{{600, 187, 187, 187}}, -1));
}

TEST_F(LoaderTest, TheFillTakesFilesInTurnUntilEveryColumnIsFull) {
    const std::string p0 = "0.000000", p41 = "41.666667", p83 = "83.333333";
    struct Row {
        int32_t width;
        std::vector<int> files;
        Heights placed;
        std::vector<std::string> progress, messages;
        int32_t column = 250;
    };
    const Row rows[] = {
        // the fill's order and end rules in detail are tested in tests/unit
        {200, {0, 250, 250}, {{250, 250, 250}}, {p0, p0, p41, p83, p83}, {}},
        // 0.4 pixels high in a column of 100, drawn 0 high: such files get
        // no texture budget and fail like broken ones
        {760, {1, 1}, Heights(7), std::vector(3, p0), {kNothingShown}, 100},
    };
    for (const Row& row : rows) {
        if (wall_->playing) TriggerMenuCommandForTest(IdClose);
        SetClientSize(row.width, 600);
        wall_->pendingColumnWidth = row.column;
        wall_->pendingScaleWidth = 400;  // textures at the files' own size
        gUser = User{};
        Open(MakeFolder("fill", row.files));
        std::vector<std::string> titles = {kLoadingTitle};
        for (const std::string& p : row.progress)
            titles.push_back(kTitle + " (読込中.. " + p + "%)");
        titles.push_back(kTitle);
        EXPECT_EQ(std::tuple(Layout(wall_), gUser.titles, gUser.messages, wall_->pendingStatus),
                  std::tuple(row.placed, titles, row.messages, -1));
        EXPECT_EQ(std::pair(wall_->playing, IsMenuItemEnabledForTest(IdClose)),
                  std::pair(row.messages.empty(), row.messages.empty()));
    }
}

}  // namespace
}  // namespace flow
