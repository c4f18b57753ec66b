// Start-up and shutdown with one GL step failing as a broken driver would, in
// a process of its own: GL_STEP names the step ("none" fails none).
#include <gtest/gtest.h>

#include <algorithm>

#include "app/menu_table.h"
#include "viewer_gl_util.h"

namespace {

const std::tuple<std::string, GlStep, std::vector<std::string>> kSteps[] = {
    {"none", GlStep::None, {}},
    {"SetSurfaceFormat", GlStep::SetSurfaceFormat, {"err1/ピクセルformat設定エラー"}},
    {"CreateMainContext", GlStep::CreateMainContext, {"err2/GLレンダcontext生成エラー"}},
    {"MakeMainCurrent", GlStep::MakeMainCurrent, {"err3/GLレンダcontext設定エラー"}},
    {"CreateLoaderContext", GlStep::CreateLoaderContext, {"errSubRC/GLsubRC生成エラー"}},
    {"ShareContexts", GlStep::ShareContexts, {"errShareRC/GLRC共有エラー"}},
    {"DeleteLoaderContext", GlStep::DeleteLoaderContext, {"err4/subRC破棄エラー"}},
    {"DeleteMainContext", GlStep::DeleteMainContext, {"err4/GLレンダcontext破棄エラー"}},
};
std::vector<std::string> gShown;

int32_t Record(const std::string& text, const std::string& caption, MessageBoxKind kind) {
    gShown.push_back(text + "/" + caption + (kind == MessageBoxKind::Ok ? "" : " not OK only"));
    return kAnswerOk;
}

TEST(GlStepTest, StartUpShowsTheWindowThenTheStepsMessageAndShutdownStopsAtItsOwn) {
    const char* name = std::getenv("GL_STEP");
    const auto* it = std::find_if(std::begin(kSteps), std::end(kSteps),
                                  [&](const auto& s) { return name && std::get<0>(s) == name; });
    ASSERT_NE(it, std::end(kSteps)) << "GL_STEP must name a step";
    const auto& [_, step, expected] = *it;  // the message boxes, "text/caption"
    const bool atStartUp = step != GlStep::None && step < GlStep::DeleteLoaderContext;
    SetMessageBoxForTest(Record);
    FailGlStepForTest(atStartUp ? step : GlStep::None);
    GifWall* wall = StartTestViewer();
    ASSERT_NE(wall, nullptr);
    for (size_t i = 0; i < kMenuTableSize; ++i) {  // checked: 2秒, 250px, ランダム; greyed: 閉じる
        const int32_t id = kMenuTable[i].id;
        if (kMenuTable[i].kind != MenuEntryKind::Item) continue;
        const bool checked = id == IdInterval2s || id == IdWidth250 || id == IdOrderRandom;
        EXPECT_EQ(GetMenuItemState(id), checked     ? kMenuChecked
                                        : id == IdClose ? kMenuGreyed
                                                    : kMenuPlain);
        EXPECT_EQ(IsMenuItemCheckedForTest(id), checked) << id;
        EXPECT_EQ(IsMenuItemEnabledForTest(id), id != IdClose) << id;
    }
    EXPECT_EQ(WindowTitleForTest(wall->hwnd), "リールスタック");
    int32_t width = 0, height = 0;
    ClientSizeForTest(wall->hwnd, &width, &height);
    EXPECT_EQ(std::pair(width, height), std::pair(760, 600));
    EXPECT_EQ(gShown, atStartUp ? expected : std::vector<std::string>{});
    if (atStartUp) {  // "開く" names GL as the cause, whichever GL step failed
        TriggerMenuCommandForTest(IdOpen);
        ASSERT_FALSE(gShown.empty());
        EXPECT_EQ(gShown.back(), "OpenGLの初期化に失敗したため、画像を表示できません。/メッセージダイアログ");
        gShown.pop_back();
    }
    EXPECT_EQ(wall->loaderThread == nullptr, atStartUp) << "no loader without GL";
    EXPECT_EQ(wall->programHolder == nullptr, atStartUp);
    EXPECT_EQ(wall->mainRC == nullptr, atStartUp && step <= GlStep::MakeMainCurrent);
    EXPECT_EQ(wall->subRC == nullptr, atStartUp && step != GlStep::ShareContexts);

    GlContext* const mainRC = wall->mainRC;
    FailGlStepForTest(atStartUp ? GlStep::None : step);
    Shutdown(wall);  // after a failed start-up there is no loader to stop
    EXPECT_EQ(gShown, expected);
    EXPECT_EQ(wall->loaderThread, nullptr);
    const bool stopped = step >= GlStep::DeleteLoaderContext;  // at the failed deletion
    EXPECT_EQ(wall->subRC != nullptr, step == GlStep::DeleteLoaderContext);
    EXPECT_EQ(wall->mainRC, stopped ? mainRC : nullptr);
    EXPECT_EQ(wall->hdc != nullptr, stopped);
    EXPECT_EQ(wall->programHolder != nullptr, stopped);
}

}  // namespace
