// The loader's one-word mailbox and its stage, driven from the test with
// the main loop stopped, and the initial fill after "開く".
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

TEST_F(LoaderTest, EachAddPlacesWhatThePreviousAddLoaded) {
    SetClientSize(200, 600);
    OpenPlaying(MakeFolder("abc", {300, 0, 450}));  // b.gif is no GIF
    // The column after each add (newest last) and the stage: an image pushed
    // past the bottom leaves.
    const Heights ca = {{300, 450}}, ac = {{450, 300}};
    EXPECT_EQ(std::pair(Layout(wall_), wall_->pendingStatus), std::pair(ca, -1));  // the fill
    const std::pair<Heights, int32_t> afterAdds[] = {
        {ca, 0},  // only loads a
        {ac, 1},  // places a, b fails
        {ac, 0},  // places nothing, loads c
        {ca, 0},  // places c, loads a
        {ac, 1},  // places a, b fails
    };
    for (const auto& [layout, status] : afterAdds) {
        ASSERT_TRUE(PostAddNext(wall_));
        EXPECT_EQ(std::pair(Layout(wall_), wall_->pendingStatus), std::pair(layout, status))
            << "next index " << NextIndex(wall_);
    }
    // A Flush after the failed load places nothing and empties the stage.
    WaitIdle(wall_);
    EXPECT_EQ(std::pair(Layout(wall_), wall_->pendingStatus), std::pair(ac, -1));
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
        {200, {250}, {{250, 250, 250}}, {p0, p41, p83}, {}},
        // a, b, a, b, a; a column past the bottom counts as 100 %
        {760,
         {300, 600},
         {{300, 600}, {600}, {300, 300}},
         {p0, "16.666667", "50.000000", "66.666667", p83},
         {}},
        {200, {0, 250, 250}, {{250, 250, 250}}, {p0, p0, p41, p83, p83}, {}},
        // one pass and the first file again
        {760, {0, 0, 0}, Heights(3), {p0, p0, p0, p0}, {kNothingShown}},
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
