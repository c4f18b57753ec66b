// GL contexts: the window's surface, the main context on the UI thread, the
// loader context sharing its objects, and the GL side of shutdown.
//
// Failure policy: every failure shows a message box (a short code as text,
// a Japanese description as caption) and leaves the viewer without GL: it
// keeps running with nothing drawn and no loader.
#include <GL/glew.h>

#include "render/load_gif.h"
#include "platform/platform.h"
#include "render/render.h"
#include "wall/gif_wall.h"

namespace {

void ShowGlError(GifWall* wall, const char* text, const char* caption) {
    ShowMessageBox(wall->hwnd, text, caption, MessageBoxKind::Ok);
}

}  // namespace

bool InitGL(GifWall* wall) {
    wall->hdc = GetGlSurface(wall->hwnd);
    if (!wall->hdc || !SetSurfaceFormat(wall->hdc)) {
        ShowGlError(wall, "err1", "ピクセルformat設定エラー");
        return false;
    }
    wall->mainRC = CreateGlContext(wall->hdc, nullptr);
    if (!wall->mainRC) {
        ShowGlError(wall, "err2", "GLレンダcontext生成エラー");
        return false;
    }
    if (!MakeCurrent(wall->hdc, wall->mainRC)) {
        ShowGlError(wall, "err3", "GLレンダcontext設定エラー");
        DeleteGlContext(wall->mainRC);
        wall->mainRC = nullptr;
        return false;
    }
    glewInit();
    // No context is current on this thread while the loader's is made.
    MakeCurrent(wall->hdc, nullptr);
    wall->subRC = CreateGlContext(wall->hdc, wall->mainRC);
    if (!wall->subRC) {
        ShowGlError(wall, "errSubRC", "GLsubRC生成エラー");
        return false;
    }
    if (!ContextsShare(wall->mainRC, wall->subRC)) {
        ShowGlError(wall, "errShareRC", "GLRC共有エラー");
        return false;
    }
    MakeCurrent(wall->hdc, wall->mainRC);
    // The alpha function keeps its default, which passes every fragment;
    // blending puts each image over what is already drawn.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    return true;
}

void ShutdownGL(GifWall* wall) {
    if (wall->mainRC) {
        for (WallImage& image : wall->images) ReleaseImage(&image);
    }
    if (wall->subRC) {
        if (!DeleteGlContext(wall->subRC)) {
            ShowGlError(wall, "err4", "subRC破棄エラー");
            return;
        }
        wall->subRC = nullptr;
    }
    if (wall->mainRC) {
        if (!DeleteGlContext(wall->mainRC)) {
            ShowGlError(wall, "err4", "GLレンダcontext破棄エラー");
            return;
        }
        wall->mainRC = nullptr;
    }
    if (wall->hdc) {
        ReleaseGlSurface(wall->hwnd, wall->hdc);
        wall->hdc = nullptr;
    }
    delete wall->programHolder;
    wall->programHolder = nullptr;
}

void SetViewport(GifWall* wall, int32_t width, int32_t height) {
    // Before GL is set up there is no context to take it; a new context
    // starts with the whole window as its viewport.
    if (!wall->mainRC) return;
    double ratio = ClientPixelRatio(wall->hwnd);
    glViewport(0, 0, static_cast<GLsizei>(width * ratio), static_cast<GLsizei>(height * ratio));
}
