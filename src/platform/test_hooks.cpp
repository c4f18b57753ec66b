// The platform's test hooks: seams, and the real window driven and read as
// a user would see it.
#include "platform/test_hooks.h"

#include <QCoreApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QUrl>
#include <QOpenGLContext>

#include "platform/platform_qt.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

void OutlineActions(const QList<QAction*>& actions, int depth, std::string* out) {
    for (QAction* action : actions) {
        out->append(static_cast<size_t>(depth) * 2, ' ');
        if (action->isSeparator()) {
            out->append("-\n");
        } else if (QMenu* sub = action->menu()) {
            out->append(action->text().toStdString()).append("\n");
            OutlineActions(sub->actions(), depth + 1, out);
        } else {
            out->append(action->text().toStdString())
                .append(" #")
                .append(std::to_string(action->data().toInt()))
                .append("\n");
        }
    }
}

void SendMouse(ClientWindow* client, QEvent::Type type, Qt::MouseButtons held) {
    const QPointF local(client->width() / 2.0, client->height() / 2.0);
    QMouseEvent event(type, local, client->mapToGlobal(local), Qt::LeftButton, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(client, &event);
}

}  // namespace

// ---------------------------------------------------------------- seams

void SetClockForTest(uint32_t (*clock)()) {
    seams::clock.store(clock);
}

void SetSleepForTest(void (*sleep)(uint32_t ms)) {
    seams::sleep.store(sleep);
}

void SetClockOffsetForTest(uint32_t offset) {
    seams::clockOffset.store(offset);
}

void ResetQuitForTest() {
    ClearQuitRequest();
}

void SetMessageBoxForTest(int32_t (*box)(const std::string& text, const std::string& caption,
                                         MessageBoxKind kind)) {
    seams::messageBox.store(box);
}

void SetFolderPickerForTest(std::string (*picker)()) {
    seams::folderPicker.store(picker);
}

void SetTextFileOpenerForTest(bool (*opener)(const std::string& path)) {
    seams::textFileOpener.store(opener);
}

void SetVersionDialogScriptForTest(void (*script)(VersionDialogForTest* dialog)) {
    seams::versionDialogScript.store(script);
}

VersionDialogViewForTest ViewVersionDialogForTest(VersionDialogForTest* handle) {
    VersionDialogViewForTest view;
    if (!handle || !handle->dialog) return view;
    VersionDialog* dialog = handle->dialog;
    view.open = dialog->isVisible();
    view.modal = dialog->isModal();
    view.hasCloseButton = dialog->windowFlags().testFlag(Qt::WindowCloseButtonHint);
    view.caption = dialog->windowTitle().toStdString();
    view.text = dialog->text_->text().toStdString();
    view.buttonText = dialog->button_->text().toStdString();
    const QPixmap icon = dialog->icon_->pixmap();
    if (!icon.isNull()) {
        const QImage image = icon.toImage().convertToFormat(QImage::Format_RGBA8888);
        view.iconWidth = image.width();
        view.iconHeight = image.height();
        const uchar* p = image.constBits();
        view.iconTopLeftRgba = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
                               (uint32_t{p[2]} << 8) | uint32_t{p[3]};
    }
    return view;
}

void PressEscapeInVersionDialogForTest(VersionDialogForTest* handle) {
    if (!handle || !handle->dialog) return;
    // To whatever has the focus, as the keyboard would; an ignored key
    // travels up to the dialog.
    QWidget* target = handle->dialog->focusWidget() ? handle->dialog->focusWidget() : handle->dialog;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
}

void ClickVersionDialogButtonForTest(VersionDialogForTest* handle) {
    if (handle && handle->dialog) handle->dialog->button_->click();
}

// ---------------------------------------------------------------- GL

void FailGlStepForTest(GlStep step) {
    seams::failingGlStep.store(step);
}

GlContext* CurrentGlContextForTest() {
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (!current) return nullptr;
    return reinterpret_cast<GlContext*>(current->property(kGlContextOwnerProperty).value<quintptr>());
}

// ---------------------------------------------------------------- window

void TriggerMenuCommandForTest(int32_t id) {
    // As a click would: a greyed item does nothing.
    if (MenuItemRecord* item = FindMenuItem(id)) item->action->trigger();
}

void ResizeClientForTest(PlatformWindow* window, int32_t width, int32_t height) {
    if (!window) return;
    const QSize wanted(width, height);
    window->widget->resize(window->widget->size() + (wanted - window->container->size()));
    PumpUntil([window, wanted] { return window->container->size() == wanted; }, 2000);
    PumpFor(20);
}

void DoubleClickClientForTest(PlatformWindow* window) {
    if (!window) return;
    // What Qt hands the window for a double click, less the second press,
    // which it marks as part of the double click.
    SendMouse(window->client, QEvent::MouseButtonPress, Qt::LeftButton);
    SendMouse(window->client, QEvent::MouseButtonRelease, Qt::NoButton);
    SendMouse(window->client, QEvent::MouseButtonDblClick, Qt::LeftButton);
    SendMouse(window->client, QEvent::MouseButtonRelease, Qt::NoButton);
    PumpFor(20);
}

void ClickClientForTest(PlatformWindow* window) {
    if (!window) return;
    SendMouse(window->client, QEvent::MouseButtonPress, Qt::LeftButton);
    SendMouse(window->client, QEvent::MouseButtonRelease, Qt::NoButton);
}

void CloseWindowForTest(PlatformWindow* window) {
    if (!window || !window->widget->windowHandle()) return;
    // The close box reaches Qt as a close event on the top-level window.
    QCloseEvent event;
    QCoreApplication::sendEvent(window->widget->windowHandle(), &event);
    PumpFor(20);
}

void PostMenuCommandForTest(int32_t id) {
    if (MenuItemRecord* item = FindMenuItem(id)) {
        QMetaObject::invokeMethod(item->action, "trigger", Qt::QueuedConnection);
    }
}

void PostCloseRequestForTest(PlatformWindow* window) {
    if (!window || !window->widget->windowHandle()) return;
    QCoreApplication::postEvent(window->widget->windowHandle(), new QCloseEvent());
}

void SetMinimizedForTest(PlatformWindow* window, bool minimized) {
    if (!window) return;
    if (minimized) {
        window->widget->showMinimized();
    } else {
        window->widget->setWindowState(window->widget->windowState() & ~Qt::WindowMinimized);
        window->widget->show();
    }
    PumpFor(50);
}

void SetMaximizedForTest(PlatformWindow* window, bool maximized) {
    if (!window) return;
    if (maximized) {
        window->widget->showMaximized();
    } else {
        window->widget->showNormal();
    }
    PumpFor(50);
}

void SetTitleObserverForTest(void (*observer)(const std::string& title)) {
    seams::titleObserver.store(observer);
}

std::string WindowTitleForTest(PlatformWindow* window) {
    return window ? window->widget->windowTitle().toStdString() : std::string();
}

bool IsFramelessForTest(PlatformWindow* window) {
    return window && window->widget->windowFlags().testFlag(Qt::FramelessWindowHint);
}

bool IsTopmostForTest(PlatformWindow* window) {
    return window && window->widget->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

bool IsWindowShownForTest(PlatformWindow* window) {
    return window && window->widget->isVisible();
}

bool IsMenuItemEnabledForTest(int32_t id) {
    MenuItemRecord* item = FindMenuItem(id);
    return item && item->action->isEnabled();
}

bool IsMenuItemCheckedForTest(int32_t id) {
    MenuItemRecord* item = FindMenuItem(id);
    return item && item->action->isCheckable() && item->action->isChecked();
}

std::string MenuOutlineForTest() {
    std::string out;
    if (PlatformWindow* window = CurrentMainWindow()) {
        OutlineActions(window->widget->menuBar()->actions(), 0, &out);
    }
    return out;
}

void ClientSizeForTest(PlatformWindow* window, int32_t* width, int32_t* height) {
    *width = window ? window->container->width() : 0;
    *height = window ? window->container->height() : 0;
}

void OuterGeometryForTest(PlatformWindow* window, int32_t* x, int32_t* y, int32_t* width,
                          int32_t* height) {
    const QRect outer = window ? window->widget->frameGeometry() : QRect();
    *x = outer.x();
    *y = outer.y();
    *width = outer.width();
    *height = outer.height();
}

void DestroyWindowForTest(PlatformWindow* window) {
    DestroyWindow(window);
}

// ---------------------------------------------------------------- keys, drops, screen

void PressKeyForTest(PlatformWindow* window, int32_t key) {
    if (!window) return;
    QKeyEvent press(QEvent::KeyPress, key == KeyF11 ? Qt::Key_F11 : Qt::Key_Escape,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(window->client, &press);
    QKeyEvent release(QEvent::KeyRelease, press.key(), Qt::NoModifier);
    QCoreApplication::sendEvent(window->client, &release);
}

bool DropPathForTest(PlatformWindow* window, const std::string& path) {
    if (!window) return false;
    // X11's drag and drop (XDND) reaches the top-level window, which hands
    // the events to the widget under the pointer; the same way here.
    QWindow* top = window->widget->windowHandle();
    if (!top) return false;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    const QPoint at = window->container->mapTo(
        window->widget, QPoint(window->container->width() / 2, window->container->height() / 2));
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(top, &enter);
    if (!enter.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(top, &leave);
        return false;
    }
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(top, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(top, &drop);
    return drop.isAccepted();
}

void ScreenSizeForTest(PlatformWindow* window, int32_t* width, int32_t* height) {
    QScreen* screen = window && window->widget->screen() ? window->widget->screen()
                                                         : QGuiApplication::primaryScreen();
    *width = screen ? screen->geometry().width() : 0;
    *height = screen ? screen->geometry().height() : 0;
}

// ---------------------------------------------------------------- presents

void GlPresentCountsForTest(uint64_t* swaps, uint64_t* rectPresents) {
    *swaps = seams::swapCount.load();
    *rectPresents = seams::rectPresentCount.load();
}

namespace {

xcb_connection_t* XcbConnection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

}  // namespace

void ExposeClientForTest(PlatformWindow* window) {
    xcb_connection_t* connection = XcbConnection();
    if (!window || !connection) return;
    const uint32_t before = window->pictureLosses;
    xcb_clear_area(connection, 1, static_cast<xcb_window_t>(window->client->winId()), 0, 0, 0, 0);
    xcb_flush(connection);
    PumpUntil([&] { return window->pictureLosses != before; }, 2000);
}

bool ReadClientPixelsForTest(PlatformWindow* window, int32_t width, int32_t height,
                             std::vector<uint32_t>* pixels) {
    xcb_connection_t* connection = XcbConnection();
    if (!window || !connection) return false;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP,
                      static_cast<xcb_drawable_t>(window->client->winId()), 0, 0,
                      static_cast<uint16_t>(width), static_cast<uint16_t>(height), ~0u),
        nullptr);
    if (!reply) return false;
    const int length = xcb_get_image_data_length(reply);
    const uint8_t* data = xcb_get_image_data(reply);
    // 24 and 32 bit visuals come as 4 bytes a pixel, B G R X.
    const bool ok = length == width * height * 4;
    if (ok) {
        pixels->resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (size_t i = 0; i < pixels->size(); ++i) {
            const uint8_t* p = data + i * 4;
            (*pixels)[i] = (uint32_t(p[2]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[0]) << 8) | 0xFF;
        }
    }
    std::free(reply);
    return ok;
}
