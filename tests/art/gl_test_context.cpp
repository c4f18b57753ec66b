#include "gl_test_context.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <cstdio>
#include <memory>

namespace {

std::unique_ptr<QGuiApplication> gApp;
std::unique_ptr<QOffscreenSurface> gSurface;
std::unique_ptr<QOpenGLContext> gContext;

}  // namespace

bool MakeTestGlContextCurrent(int& argc, char** argv) {
    gApp = std::make_unique<QGuiApplication>(argc, argv);

    // The viewer's own format: fixed-function state must exist beside the
    // shaders, so a compatibility profile.
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);

    gSurface = std::make_unique<QOffscreenSurface>();
    gSurface->setFormat(format);
    gSurface->create();
    if (!gSurface->isValid()) {
        std::fprintf(stderr, "no offscreen surface\n");
        return false;
    }
    gContext = std::make_unique<QOpenGLContext>();
    gContext->setFormat(format);
    if (!gContext->create()) {
        std::fprintf(stderr, "no GL context\n");
        return false;
    }
    if (!gContext->makeCurrent(gSurface.get())) {
        std::fprintf(stderr, "the GL context cannot be made current\n");
        return false;
    }
    return true;
}

void ReleaseTestGlContext() {
    if (gContext) gContext->doneCurrent();
    gContext.reset();
    gSurface.reset();
    gApp.reset();
}
