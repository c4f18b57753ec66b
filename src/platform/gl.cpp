// GL surfaces and contexts, and the loader thread that owns one of them.
//
// Both contexts are made on the UI thread. The loader's context moves to the
// loader thread before that thread starts and comes back when it ends, so
// that it is deleted where it was made; it is current there with an
// offscreen surface, because a window surface belongs to the UI thread.
//
// Failure policy: every step reports failure by its result (false or null)
// and leaves the message to the caller. A test can make one chosen step
// fail as a broken driver would.
#include "platform/platform_qt.h"
#include "platform/seams.h"
#include "platform/glx_present.h"

#include <QCoreApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QThread>
#include <QtGui/qguiapplication_platform.h>
#include <QtGui/qopenglcontext_platform.h>

#include <atomic>


namespace {

bool StepFails(GlStep step) {
    return seams::failingGlStep.load() == step;
}

// The loader's context needs a surface of its own format on its thread; Qt
// insists that the surface itself be made on the UI thread.
bool EnsureOffscreenSurface(GlContext* context) {
    if (context->offscreen) return true;
    auto* offscreen = new QOffscreenSurface;
    offscreen->setFormat(context->context->format());
    offscreen->create();
    if (!offscreen->isValid()) {
        delete offscreen;
        return false;
    }
    context->offscreen = offscreen;
    return true;
}

class LoaderQThread final : public QThread {
public:
    LoaderQThread(int (*main)(void*), void* arg, GlContext* context)
        : main_(main), arg_(arg), context_(context) {}

protected:
    void run() override {
        main_(arg_);
        if (!context_) return;
        QOpenGLContext* context = context_->context;
        if (QOpenGLContext::currentContext() == context) context->doneCurrent();
        // Only the thread an object lives on may give it away; the UI
        // thread deletes the context once this thread has been joined.
        context->moveToThread(QCoreApplication::instance()->thread());
    }

private:
    int (*main_)(void*);
    void* arg_;
    GlContext* context_;
};

}  // namespace

struct LoaderThread {
    LoaderQThread* thread;
};

QSurfaceFormat ReelstackSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    // Fixed-function state such as GL_ALPHA_TEST must exist.
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(24);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    // The main loop paces frames itself at 20 ms, and every frame advances
    // the animations by a fixed step; a swap that also waited for the
    // display's refresh would stretch frames and slow the animations.
    format.setSwapInterval(0);
    return format;
}

GlSurface* GetGlSurface(PlatformWindow* window) {
    return window && window->client ? &window->surface : nullptr;
}

bool SetSurfaceFormat(GlSurface* surface) {
    if (!surface || !surface->window || StepFails(GlStep::SetSurfaceFormat)) return false;
    ClientWindow* window = surface->window;
    // The format was given when the window was made; a native window that
    // exists already keeps the one it was created with.
    if (!window->handle()) window->setFormat(ReelstackSurfaceFormat());
    window->create();
    return window->handle() != nullptr && window->supportsOpenGL();
}

GlContext* CreateGlContext(GlSurface* surface, GlContext* shareWith) {
    if (!surface || !surface->window) return nullptr;
    if (StepFails(shareWith ? GlStep::CreateLoaderContext : GlStep::CreateMainContext)) {
        return nullptr;
    }
    auto* context = new QOpenGLContext;
    context->setFormat(surface->window->requestedFormat());
    if (shareWith) context->setShareContext(shareWith->context);
    if (!context->create()) {
        delete context;
        return nullptr;
    }
    auto* result = new GlContext;
    result->context = context;
    result->isMain = shareWith == nullptr;
    context->setProperty(kGlContextOwnerProperty, QVariant::fromValue(reinterpret_cast<quintptr>(result)));
    if (shareWith && !EnsureOffscreenSurface(result)) {
        delete context;
        delete result;
        return nullptr;
    }
    return result;
}

bool ContextsShare(GlContext* a, GlContext* b) {
    if (!a || !b || StepFails(GlStep::ShareContexts)) return false;
    // Qt leaves a context out of the other's share group when the driver
    // refused to share, so this is the driver's answer.
    return QOpenGLContext::areSharing(a->context, b->context);
}

bool MakeCurrent(GlSurface* surface, GlContext* context) {
    if (!context) {
        if (QOpenGLContext* current = QOpenGLContext::currentContext()) current->doneCurrent();
        return true;
    }
    if (!surface || !surface->window) return false;
    if (context->isMain && StepFails(GlStep::MakeMainCurrent)) return false;
    // Qt aborts the process when a context is made current off its thread.
    if (context->context->thread() != QThread::currentThread()) return false;
    if (!context->context->makeCurrent(surface->window)) return false;
    // GL starts a context's viewport as the whole window it is first made
    // current on, and drawing counts on that. Under Qt 6.4 with Mesa a new
    // context starts at 100 x 100 whatever the window's size (Qt makes it
    // current once on a helper surface of its own to read its format), so
    // the first time it meets the window, give it the window's viewport.
    if (!context->viewportSet) {
        context->viewportSet = true;
        const qreal ratio = surface->window->devicePixelRatio();
        context->context->functions()->glViewport(0, 0, qRound(surface->window->width() * ratio),
                                                  qRound(surface->window->height() * ratio));
    }
    return true;
}

bool MakeLoaderContextCurrent(GlContext* context) {
    if (!context || !context->offscreen) return false;
    if (context->context->thread() != QThread::currentThread()) return false;
    return context->context->makeCurrent(context->offscreen);
}

bool DeleteGlContext(GlContext* context) {
    if (!context) return true;
    if (StepFails(context->isMain ? GlStep::DeleteMainContext : GlStep::DeleteLoaderContext)) {
        return false;
    }
    // A context still owned by a running loader thread cannot be deleted
    // from here; the loader must be joined first.
    if (context->context->thread() != QThread::currentThread()) return false;
    delete context->context;  // not current anywhere else by now; Qt releases it here
    delete context->offscreen;
    delete context;
    return true;
}

void ReleaseGlSurface(PlatformWindow*, GlSurface*) {
    // The surface is the client window's own and goes with the window.
}

void SwapGlBuffers(GlSurface* surface) {
    if (!surface || !surface->window) return;
    QOpenGLContext* current = QOpenGLContext::currentContext();
    // Before its first expose Qt warns about a swap and there is nothing on
    // screen to replace; the program draws every frame anew anyway.
    if (current && surface->window->WasExposed()) {
        current->swapBuffers(surface->window);
        seams::swapCount.fetch_add(1);
    }
}

namespace {

// glXCopySubBufferMESA and the X display, when the current context is GLX's
// and the driver has the extension; null otherwise.
void* CopySubBufferFor(QOpenGLContext* context, void** display) {
    if (!context || !context->nativeInterface<QNativeInterface::QGLXContext>()) return nullptr;
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display()) return nullptr;
    *display = x11->display();
    static void* entry = FindCopySubBuffer(*display);  // one display for the process
    return entry;
}

}  // namespace

bool CanPresentGlRects(GlSurface* surface) {
    void* display = nullptr;
    return surface && surface->window &&
           CopySubBufferFor(QOpenGLContext::currentContext(), &display) != nullptr;
}

void PresentGlRects(GlSurface* surface, const GlRect* rects, size_t count) {
    if (!surface || !surface->window || !surface->window->WasExposed()) return;
    void* display = nullptr;
    QOpenGLContext* current = QOpenGLContext::currentContext();
    void* entry = CopySubBufferFor(current, &display);
    if (!entry) return;
    const unsigned long drawable = surface->window->winId();
    // Mesa's software driver copies without waiting for its rendering
    // threads, so the copy could show a half-drawn buffer.
    current->functions()->glFinish();
    for (size_t i = 0; i < count; ++i) {
        CopySubBuffer(entry, display, drawable, rects[i].x, rects[i].y, rects[i].width,
                      rects[i].height);
    }
    seams::rectPresentCount.fetch_add(1);
}

LoaderThread* StartLoaderThread(int (*main)(void*), void* arg, GlContext* context) {
    if (!main) return nullptr;
    if (context && !EnsureOffscreenSurface(context)) return nullptr;
    auto* thread = new LoaderQThread(main, arg, context);
    if (context) context->context->moveToThread(thread);
    thread->start();
    if (!thread->isRunning() && !thread->isFinished()) {
        // The thread never ran. Try to take the context back; should Qt
        // refuse, DeleteGlContext reports it instead of deleting across
        // threads.
        if (context) context->context->moveToThread(QThread::currentThread());
        delete thread;
        return nullptr;
    }
    return new LoaderThread{thread};
}

void JoinLoaderThread(LoaderThread* thread) {
    if (!thread) return;
    thread->thread->wait();
    delete thread->thread;
    delete thread;
}
