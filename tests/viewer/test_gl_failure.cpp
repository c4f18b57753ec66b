// One GL step failing as a broken driver would, in a process of its own
// (the step is the first argument): during start-up the viewer shows that
// step's message and carries on without GL, loader or program; at shutdown
// a failed context deletion shows its message and stops the release there.
// "none" runs the same process with nothing failing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "gif/gif_decoder.h"
#include "gif/load_gif.h"
#include "viewer_gl_util.h"
#include "wall/loader.h"

namespace {

struct StepCase {
    const char* name;
    GlStep step;
    bool atStartUp;
    const char* text;
    const char* caption;
};

const StepCase kCases[] = {
    {"none", GlStep::None, false, "", ""},
    {"SetSurfaceFormat", GlStep::SetSurfaceFormat, true, "err1", "ピクセルformat設定エラー"},
    {"CreateMainContext", GlStep::CreateMainContext, true, "err2", "GLレンダcontext生成エラー"},
    {"MakeMainCurrent", GlStep::MakeMainCurrent, true, "err3", "GLレンダcontext設定エラー"},
    {"CreateLoaderContext", GlStep::CreateLoaderContext, true, "errSubRC", "GLsubRC生成エラー"},
    {"ShareContexts", GlStep::ShareContexts, true, "errShareRC", "GLRC共有エラー"},
    {"DeleteLoaderContext", GlStep::DeleteLoaderContext, false, "err4", "subRC破棄エラー"},
    {"DeleteMainContext", GlStep::DeleteMainContext, false, "err4", "GLレンダcontext破棄エラー"},
};

const StepCase* gCase = nullptr;

void ExpectOnlyMessage(const StepCase& c) {
    ASSERT_EQ(ShownMessages().size(), 1u);
    EXPECT_EQ(ShownMessages()[0].text, c.text);
    EXPECT_EQ(ShownMessages()[0].caption, c.caption);
    EXPECT_EQ(ShownMessages()[0].kind, MessageBoxKind::Ok);
}

// Runs passes until a quit posted from another thread wakes the loop.
void RunLoopBriefly(GifWall* wall) {
    std::thread waker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        PostQuit(0);
    });
    while (MainLoopPass(wall)) {
    }
    waker.join();
    ResetQuitForTest();
}

TEST(GlStepFailureTest, StartUpGoesOnWithoutGlAndShutdownTouchesNoLoader) {
    const StepCase& c = *gCase;
    SetMessageBoxForTest(RecordMessageBox);
    FailGlStepForTest(c.step);
    GifWall* wall = Viewer();
    ASSERT_NE(wall, nullptr) << "start-up still succeeds";
    ExpectOnlyMessage(c);

    EXPECT_EQ(wall->loaderThread, nullptr);
    EXPECT_EQ(wall->programHolder, nullptr);
    EXPECT_EQ(gScaleWidth, 1000) << "the values set after a good GL start stay unset";
    EXPECT_EQ(GetMenuItemState(302), kMenuChecked) << "the menu states come before GL";
    EXPECT_EQ(GetMenuItemState(103), kMenuGreyed);
    EXPECT_EQ(WindowTitleForTest(wall->hwnd), "リールスタック");

    switch (c.step) {
        case GlStep::SetSurfaceFormat:
        case GlStep::CreateMainContext:
            EXPECT_EQ(wall->mainRC, nullptr);
            EXPECT_EQ(wall->subRC, nullptr);
            break;
        case GlStep::MakeMainCurrent:
            EXPECT_EQ(wall->mainRC, nullptr) << "the main context is deleted again";
            EXPECT_EQ(wall->subRC, nullptr);
            EXPECT_EQ(CurrentGlContextForTest(), nullptr);
            break;
        case GlStep::CreateLoaderContext:
            EXPECT_NE(wall->mainRC, nullptr);
            EXPECT_EQ(wall->subRC, nullptr);
            EXPECT_EQ(CurrentGlContextForTest(), nullptr) << "none is current while the loader's is made";
            break;
        case GlStep::ShareContexts:
            EXPECT_NE(wall->mainRC, nullptr);
            EXPECT_NE(wall->subRC, nullptr);
            EXPECT_EQ(CurrentGlContextForTest(), nullptr);
            break;
        default:
            break;
    }

    // Nothing draws and nothing is posted; an open is refused with a message
    // rather than filling a wall nobody can show.
    RunLoopBriefly(wall);
    EXPECT_EQ(wall->loaderCommand, NoCommand);
    auto folder = FreshFolder("no_gl");
    WriteSolidGif(folder / "a.gif", 40, 30, 2);
    const std::string path = folder.string();
    OpenCommand(wall, &path);
    EXPECT_FALSE(wall->playing);
    EXPECT_TRUE(wall->images.empty());
    EXPECT_EQ(wall->loaderCommand, NoCommand);
    ASSERT_EQ(ShownMessages().size(), 2u);
    EXPECT_EQ(ShownMessages()[1].caption, "メッセージダイアログ");

    // Shutdown: no loader to stop, no further message, and it returns.
    FailGlStepForTest(GlStep::None);
    Shutdown(wall);
    EXPECT_EQ(ShownMessages().size(), 2u);
    EXPECT_EQ(wall->loaderThread, nullptr);
    EXPECT_EQ(wall->mainRC, nullptr);
    EXPECT_EQ(wall->subRC, nullptr);
    EXPECT_EQ(wall->hdc, nullptr);
    ViewerStarted() = false;
}

TEST(GlStepFailureTest, ShutdownStopsAtAFailedContextDeletion) {
    const StepCase& c = *gCase;
    SetMessageBoxForTest(RecordMessageBox);
    GifWall* wall = Viewer();
    ASSERT_NE(wall, nullptr);
    EXPECT_TRUE(ShownMessages().empty());
    ASSERT_NE(wall->loaderThread, nullptr);

    // One image on the wall: its objects go before any context.
    auto folder = FreshFolder("shutdown");
    WriteSolidGif(folder / "a.gif", 40, 30, 3);
    ResetStage(wall);
    ASSERT_EQ(LoadGif(wall, (folder / "a.gif").string()), 0);
    wall->columnCount = 1;
    PlaceStaged(wall, true);
    ResetStage(wall);
    const WallImage placed = wall->images[0];

    GlContext* const mainRC = wall->mainRC;
    FailGlStepForTest(c.step);
    Shutdown(wall);
    EXPECT_EQ(wall->loaderThread, nullptr) << "the loader is joined first";
    EXPECT_FALSE(wall->images[0].active);

    switch (c.step) {
        case GlStep::None:
            EXPECT_TRUE(ShownMessages().empty());
            EXPECT_EQ(wall->subRC, nullptr);
            EXPECT_EQ(wall->mainRC, nullptr);
            EXPECT_EQ(wall->hdc, nullptr);
            EXPECT_EQ(wall->programHolder, nullptr);
            EXPECT_EQ(CurrentGlContextForTest(), nullptr);
            break;
        case GlStep::DeleteLoaderContext:
            ExpectOnlyMessage(c);
            EXPECT_NE(wall->subRC, nullptr);
            EXPECT_EQ(wall->mainRC, mainRC) << "the main context is not deleted";
            EXPECT_NE(wall->hdc, nullptr) << "nor the surface released";
            EXPECT_NE(wall->programHolder, nullptr);
            EXPECT_EQ(CurrentGlContextForTest(), mainRC);
            EXPECT_TRUE(ImageObjectsGone(placed));
            break;
        case GlStep::DeleteMainContext:
            ExpectOnlyMessage(c);
            EXPECT_EQ(wall->subRC, nullptr) << "the loader's context went first";
            EXPECT_EQ(wall->mainRC, mainRC);
            EXPECT_NE(wall->hdc, nullptr);
            EXPECT_NE(wall->programHolder, nullptr);
            EXPECT_EQ(CurrentGlContextForTest(), mainRC);
            EXPECT_TRUE(ImageObjectsGone(placed));
            break;
        default:
            break;
    }
    FailGlStepForTest(GlStep::None);
    ViewerStarted() = false;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s STEP (none, SetSurfaceFormat, ...)\n", argv[0]);
        return 2;
    }
    for (const StepCase& c : kCases) {
        if (std::strcmp(argv[1], c.name) == 0) gCase = &c;
    }
    if (!gCase) {
        std::fprintf(stderr, "unknown step %s\n", argv[1]);
        return 2;
    }
    // One process makes one viewer: run the test that fits the step.
    if (::testing::GTEST_FLAG(filter) == "*") {
        ::testing::GTEST_FLAG(filter) =
            gCase->atStartUp ? "*.StartUpGoesOn*" : "*.ShutdownStops*";
    }
    const int result = RUN_ALL_TESTS();
    // The process ends here; whatever GL the failed step left stays with it.
    std::fflush(stdout);
    std::_Exit(result);
}
