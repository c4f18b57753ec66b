// A texture made on the loader thread is usable on the main context. Only
// GL 1.1 calls, straight from libGL; no Qt GL header beside <GL/gl.h>.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/test_hooks.h"

namespace {

const MenuEntry kMenu[] = {{MenuEntryKind::Item, 100, "開く"}};
constexpr uint8_t kTexels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 8, 7, 6};

struct LoaderRun {
    GlContext* context;
    GLuint texture = 0;
    GLenum error = GL_INVALID_OPERATION;
};

int UploadOnLoader(void* arg) {
    auto* run = static_cast<LoaderRun*>(arg);
    if (!MakeLoaderContextCurrent(run->context)) return 1;
    glGenTextures(1, &run->texture);
    glBindTexture(GL_TEXTURE_2D, run->texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, kTexels);
    glFinish();  // complete before another context may use it
    run->error = glGetError();
    return 0;
}

TEST(GlTest, TextureMadeOnTheLoaderThreadIsUsableOnTheMainContext) {
    PlatformWindow* window = CreateMainWindow("GL", 64, 64, kMenu, 1, [](const WindowEvent&) {});
    GlSurface* surface = GetGlSurface(window);
    ASSERT_NE(surface, nullptr);
    ASSERT_TRUE(SetSurfaceFormat(surface));
    // The program's order: main, made current, released, then the loader's.
    GlContext* main = CreateGlContext(surface, nullptr);
    ASSERT_TRUE(MakeCurrent(surface, main));
    ASSERT_TRUE(MakeCurrent(surface, nullptr));
    GlContext* loader = CreateGlContext(surface, main);
    ASSERT_TRUE(ContextsShare(main, loader));
    ASSERT_TRUE(MakeCurrent(surface, main));

    LoaderRun run{loader};
    LoaderThread* thread = StartLoaderThread(UploadOnLoader, &run, loader);
    ASSERT_NE(thread, nullptr);
    JoinLoaderThread(thread);
    EXPECT_EQ(run.error, static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(CurrentGlContextForTest(), main);
    ASSERT_TRUE(glIsTexture(run.texture));
    uint8_t readBack[16] = {};
    glBindTexture(GL_TEXTURE_2D, run.texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, readBack);
    EXPECT_EQ(std::memcmp(readBack, kTexels, sizeof kTexels), 0);
    glDeleteTextures(1, &run.texture);

    // Handed back after the join, so the UI thread can delete it.
    EXPECT_TRUE(DeleteGlContext(loader));
    MakeCurrent(surface, nullptr);
    EXPECT_TRUE(DeleteGlContext(main));
    ReleaseGlSurface(window, surface);
    DestroyWindowForTest(window);
}

}  // namespace
