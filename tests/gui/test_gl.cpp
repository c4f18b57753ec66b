// GL contexts on the client window: the format, sharing between the UI and
// the loader thread, buffer swaps, and each set-up step failing on demand.
// Only GL 1.1 calls, straight from libGL, so no loader library is needed; no
// Qt GL header is included next to <GL/gl.h>.
#include "platform/platform_qt.h"

#include <GL/gl.h>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <vector>

namespace {

const MenuEntry kMenu[] = {
    {MenuEntryKind::Popup, 0, "ファイル"},
    {MenuEntryKind::Item, 100, "開く"},
    {MenuEntryKind::EndPopup, 0, nullptr},
};

constexpr int32_t kSide = 64;

void IgnoreEvents(const WindowEvent&) {}

class GlTest : public ::testing::Test {
public:  // the table rows below reach the fixture through a pointer
    void SetUp() override {
        window_ = CreateMainWindow("GL", kSide, kSide, kMenu, std::size(kMenu), IgnoreEvents);
        ASSERT_NE(window_, nullptr);
        surface_ = GetGlSurface(window_);
        ASSERT_NE(surface_, nullptr);
        ASSERT_TRUE(SetSurfaceFormat(surface_));
    }
    void TearDown() override {
        FailGlStepForTest(GlStep::None);
        MakeCurrent(surface_, nullptr);
        for (GlContext* context : made_) DeleteGlContext(context);
        ReleaseGlSurface(window_, surface_);
        DestroyWindowForTest(window_);
    }

    // The program's order: main, made current, released, then the loader's.
    void MakeBothContexts() {
        main_ = CreateGlContext(surface_, nullptr);
        ASSERT_NE(main_, nullptr);
        ASSERT_TRUE(MakeCurrent(surface_, main_));
        ASSERT_TRUE(MakeCurrent(surface_, nullptr));
        ASSERT_EQ(CurrentGlContextForTest(), nullptr);
        loader_ = CreateGlContext(surface_, main_);
        ASSERT_NE(loader_, nullptr);
        ASSERT_TRUE(ContextsShare(main_, loader_));
        ASSERT_TRUE(MakeCurrent(surface_, main_));
        ASSERT_EQ(CurrentGlContextForTest(), main_);
        made_ = {loader_, main_};
    }

    PlatformWindow* window_ = nullptr;
    GlSurface* surface_ = nullptr;
    GlContext* main_ = nullptr;
    GlContext* loader_ = nullptr;
    std::vector<GlContext*> made_;
};

// The middle pixel of the client window as the X server has it, 0xAARRGGBB.
uint32_t ScreenPixel(PlatformWindow* window) {
    QWindow* client = ClientQWindowForTest(window);
    const QImage image = QGuiApplication::primaryScreen()->grabWindow(client->winId()).toImage();
    return image.isNull() ? 0 : image.pixel(image.width() / 2, image.height() / 2) | 0xFF000000u;
}

std::array<uint8_t, 4> PixelAt(int x, int y) {
    std::array<uint8_t, 4> rgba{};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

// ---------------------------------------------------------------- format

TEST_F(GlTest, MainContextHasTheRequestedFramebuffer) {
    MakeBothContexts();
    GLint bits[4] = {};
    glGetIntegerv(GL_RED_BITS, &bits[0]);
    glGetIntegerv(GL_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_BLUE_BITS, &bits[2]);
    glGetIntegerv(GL_ALPHA_BITS, &bits[3]);
    EXPECT_EQ(bits[0], 8);
    EXPECT_EQ(bits[1], 8);
    EXPECT_EQ(bits[2], 8);
    EXPECT_EQ(bits[3], 8);
    GLint depth = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    EXPECT_GE(depth, 24);
    GLboolean doubleBuffered = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_EQ(doubleBuffered, GL_TRUE);
    // Fixed-function state exists only in a compatibility context.
    while (glGetError() != GL_NO_ERROR) {
    }
    glEnable(GL_ALPHA_TEST);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    glDisable(GL_ALPHA_TEST);
    // The first viewport is the whole client area.
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], static_cast<GLint>(kSide * ClientPixelRatio(window_)));
    EXPECT_EQ(viewport[3], static_cast<GLint>(kSide * ClientPixelRatio(window_)));
}

TEST_F(GlTest, ContextsMadeApartDoNotShare) {
    MakeBothContexts();
    GlContext* other = CreateGlContext(surface_, nullptr);
    ASSERT_NE(other, nullptr);
    made_.push_back(other);
    EXPECT_FALSE(ContextsShare(main_, other));
    EXPECT_TRUE(ContextsShare(loader_, main_));
}

// ---------------------------------------------------------------- loader thread

struct LoaderRun {
    GlContext* context = nullptr;
    bool madeCurrent = false;
    GlContext* currentThere = nullptr;
    GLuint texture = 0;
    GLenum error = GL_NO_ERROR;
};

// A 2 x 2 texture with four distinct opaque colours.
constexpr uint8_t kTexels[16] = {
    255, 0, 0, 255,  0, 255, 0, 255,  0, 0, 255, 255,  255, 255, 0, 255,
};

int UploadOnLoader(void* arg) {
    auto* run = static_cast<LoaderRun*>(arg);
    run->madeCurrent = MakeLoaderContextCurrent(run->context);
    if (!run->madeCurrent) return 1;
    run->currentThere = CurrentGlContextForTest();
    glGenTextures(1, &run->texture);
    glBindTexture(GL_TEXTURE_2D, run->texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, kTexels);
    // The upload must be complete before another context may use it.
    glFinish();
    run->error = glGetError();
    return 0;
}

TEST_F(GlTest, TextureMadeOnTheLoaderThreadIsDrawnOnTheMainContext) {
    MakeBothContexts();
    LoaderRun run;
    run.context = loader_;
    LoaderThread* thread = StartLoaderThread(UploadOnLoader, &run, loader_);
    ASSERT_NE(thread, nullptr);
    JoinLoaderThread(thread);
    ASSERT_TRUE(run.madeCurrent);
    EXPECT_EQ(run.currentThere, loader_);
    EXPECT_EQ(run.error, static_cast<GLenum>(GL_NO_ERROR));
    ASSERT_NE(run.texture, 0u);

    // The UI thread's context stayed current throughout.
    EXPECT_EQ(CurrentGlContextForTest(), main_);
    EXPECT_TRUE(glIsTexture(run.texture));
    uint8_t readBack[16] = {};
    glBindTexture(GL_TEXTURE_2D, run.texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, readBack);
    EXPECT_EQ(std::memcmp(readBack, kTexels, sizeof kTexels), 0);

    // Drawn over the whole client area, each texel covers one quarter.
    glViewport(0, 0, kSide, kSide);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2f(-1, -1);
    glTexCoord2f(1, 0), glVertex2f(1, -1);
    glTexCoord2f(1, 1), glVertex2f(1, 1);
    glTexCoord2f(0, 1), glVertex2f(-1, 1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glFinish();
    const int q = kSide / 4;
    EXPECT_EQ(PixelAt(q, q), (std::array<uint8_t, 4>{255, 0, 0, 255}));
    EXPECT_EQ(PixelAt(3 * q, q), (std::array<uint8_t, 4>{0, 255, 0, 255}));
    EXPECT_EQ(PixelAt(q, 3 * q), (std::array<uint8_t, 4>{0, 0, 255, 255}));
    EXPECT_EQ(PixelAt(3 * q, 3 * q), (std::array<uint8_t, 4>{255, 255, 0, 255}));
    glDeleteTextures(1, &run.texture);

    // Back on the UI thread after the join, so it can be deleted here.
    EXPECT_TRUE(DeleteGlContext(loader_));
    made_ = {main_};
}

int HoldUntilReleased(void* arg) {
    auto* release = static_cast<std::atomic<bool>*>(arg);
    while (!release->load()) SleepMs(1);
    return 0;
}

TEST_F(GlTest, LoaderContextIsNotUsableOnTheUiThreadWhileItsThreadRuns) {
    MakeBothContexts();
    std::atomic<bool> release{false};
    LoaderThread* thread = StartLoaderThread(HoldUntilReleased, &release, loader_);
    ASSERT_NE(thread, nullptr);
    // It belongs to the loader now: neither made current nor deleted here.
    EXPECT_FALSE(MakeLoaderContextCurrent(loader_));
    EXPECT_FALSE(MakeCurrent(surface_, loader_));
    EXPECT_FALSE(DeleteGlContext(loader_));
    release = true;
    JoinLoaderThread(thread);
    EXPECT_TRUE(MakeCurrent(surface_, main_));
}

// ---------------------------------------------------------------- window

TEST_F(GlTest, ClientAreaIsLightGreyUntilDrawnAndThenShowsEachSwap) {
    // What the X server shows, not what GL holds: the window's own pixels.
    EXPECT_EQ(ScreenPixel(window_), 0xFFC0C0C0u);
    MakeBothContexts();
    for (uint32_t colour : {0xFFFF0000u, 0xFF0000FFu}) {
        glClearColor(((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f,
                     (colour & 0xFF) / 255.0f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        SwapGlBuffers(surface_);
        glFinish();
        EXPECT_EQ(ScreenPixel(window_), colour);
    }
}

TEST_F(GlTest, ContextKeepsWorkingAcrossBareModeAndTopmost) {
    MakeBothContexts();
    SetBareMode(window_, true);
    SetTopmost(window_, true);
    SetBareMode(window_, false);
    SetTopmost(window_, false);
    ProcessEvents(false);
    ASSERT_TRUE(MakeCurrent(surface_, main_));
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    EXPECT_EQ(PixelAt(kSide / 2, kSide / 2), (std::array<uint8_t, 4>{0, 0, 255, 255}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// ---------------------------------------------------------------- failures

TEST_F(GlTest, EachFailingStepFailsOnlyItsCall) {
    MakeBothContexts();
    struct Row {
        GlStep step;
        bool (*call)(GlTest*);
    };
    // Each call succeeds unless its own step is the failing one.
    const Row rows[] = {
        {GlStep::SetSurfaceFormat, [](GlTest* t) { return SetSurfaceFormat(t->surface_); }},
        {GlStep::CreateMainContext,
         [](GlTest* t) {
             GlContext* c = CreateGlContext(t->surface_, nullptr);
             if (c) t->made_.push_back(c);
             return c != nullptr;
         }},
        {GlStep::MakeMainCurrent, [](GlTest* t) { return MakeCurrent(t->surface_, t->main_); }},
        {GlStep::CreateLoaderContext,
         [](GlTest* t) {
             GlContext* c = CreateGlContext(t->surface_, t->main_);
             if (c) t->made_.push_back(c);
             return c != nullptr;
         }},
        {GlStep::ShareContexts, [](GlTest* t) { return ContextsShare(t->main_, t->loader_); }},
    };
    for (const Row& failing : rows) {
        for (const Row& row : rows) {
            FailGlStepForTest(failing.step);
            EXPECT_EQ(row.call(this), row.step != failing.step)
                << "failing step " << static_cast<int>(failing.step) << ", call of step "
                << static_cast<int>(row.step);
        }
    }
    FailGlStepForTest(GlStep::None);
    for (const Row& row : rows) EXPECT_TRUE(row.call(this)) << static_cast<int>(row.step);
}

TEST_F(GlTest, FailingDeletionKeepsTheContext) {
    MakeBothContexts();
    FailGlStepForTest(GlStep::DeleteLoaderContext);
    EXPECT_FALSE(DeleteGlContext(loader_));
    FailGlStepForTest(GlStep::DeleteMainContext);
    EXPECT_FALSE(DeleteGlContext(main_));
    // Both survived their failed deletions.
    EXPECT_EQ(CurrentGlContextForTest(), main_);
    EXPECT_TRUE(DeleteGlContext(loader_));
    FailGlStepForTest(GlStep::None);
    EXPECT_TRUE(DeleteGlContext(main_));
    EXPECT_EQ(CurrentGlContextForTest(), nullptr);
    made_.clear();
}

}  // namespace
