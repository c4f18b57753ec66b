// The application object, the main window with its menu bar and GL client
// area and the event pump.
//
// Failure policy: nothing here reports to the user. Window creation returns
// null when there is no application object; every other call on a missing
// window or an unknown menu id does nothing.
#include "platform/platform_qt.h"
#include "platform/seams.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QResizeEvent>
#include <QThread>
#include <QWindowStateChangeEvent>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

QApplication* gApplication = nullptr;
PlatformWindow* gCurrentWindow = nullptr;

std::atomic<bool> gQuitRequested{false};
std::atomic<int> gQuitExitCode{0};

// The light grey of the stock brush the window class erased with.
constexpr uint32_t kClientBackground = 0xC0C0C0;

int32_t SizeKindOf(const QWidget* widget) {
    return widget->isMaximized() ? SizeMaximized : SizeRestored;
}

// Qt creates its X windows without a background, so until the program draws,
// an exposed client area would show whatever lay there before. The X server
// itself erases with the background pixel, just as the window class's brush
// did, and the GL drawing covers it once a wall plays.
void SetClientBackground(ClientWindow* client) {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !client->handle()) return;
    xcb_connection_t* connection = x11->connection();
    const auto window = static_cast<xcb_window_t>(client->winId());
    uint32_t pixel = kClientBackground;
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    // A 32-bit visual keeps alpha in the top byte; the erase must be opaque.
    if (geometry && geometry->depth == 32) pixel |= 0xFF000000u;
    std::free(geometry);
    xcb_change_window_attributes(connection, window, XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(connection, 1, window, 0, 0, 0, 0);
    xcb_flush(connection);
}

void ApplyMenuState(QAction* action, int32_t state) {
    // Windows' MFS_GRAYED is two bits (greyed and disabled); either means the
    // item cannot be chosen. A plain item is not checkable, so that styles
    // which draw an empty box beside checkable items show nothing.
    const bool checked = (state & kMenuChecked) != 0;
    action->setEnabled((state & kMenuGreyed) == 0);
    action->setCheckable(checked);
    action->setChecked(checked);
}


void AddMenuItem(PlatformWindow* window, QAction* action, int32_t id) {
    action->setData(id);
    // A menu command by id finds the first item with that id.
    window->menuItems.emplace(id, MenuItemRecord{action, kMenuPlain});
    QObject::connect(action, &QAction::triggered, action, [window, action, id] {
        // Qt flips a checkable item's mark on its own before this runs; the
        // menu code owns every mark, so put back the one it set.
        auto it = window->menuItems.find(id);
        if (it != window->menuItems.end() && it->second.action == action) {
            ApplyMenuState(action, it->second.state);
        }
        WindowEvent event{WindowEventKind::Command};
        event.id = id;
        DeliverWindowEvent(window, event);
    });
}

void BuildMenuBar(PlatformWindow* window, QMenuBar* bar, const MenuEntry* menu, size_t count) {
    std::vector<QMenu*> open;  // the popups not yet closed, innermost last
    for (size_t i = 0; i < count; ++i) {
        const MenuEntry& entry = menu[i];
        const QString text = QString::fromUtf8(entry.text ? entry.text : "");
        switch (entry.kind) {
        case MenuEntryKind::Popup:
            open.push_back(open.empty() ? bar->addMenu(text) : open.back()->addMenu(text));
            break;
        case MenuEntryKind::EndPopup:
            if (!open.empty()) open.pop_back();
            break;
        case MenuEntryKind::Item:
            AddMenuItem(window, open.empty() ? bar->addAction(text) : open.back()->addAction(text),
                        entry.id);
            break;
        case MenuEntryKind::Separator:
            if (open.empty()) {
                bar->addSeparator();
            } else {
                open.back()->addSeparator();
            }
            break;
        }
    }
}




}  // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(2);
    }
    return true;
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

MenuItemRecord* FindMenuItem(int32_t id) {
    if (!gCurrentWindow) return nullptr;
    auto it = gCurrentWindow->menuItems.find(id);
    return it == gCurrentWindow->menuItems.end() ? nullptr : &it->second;
}

void DestroyWindow(PlatformWindow* window) {
    if (!window) return;
    if (gCurrentWindow == window) gCurrentWindow = nullptr;
    window->proc = nullptr;  // no events from the teardown
    MainWindow* widget = window->widget;
    window->widget = nullptr;
    delete widget;
    delete window;
}

// ---------------------------------------------------------------- Qt classes

MainWindow::MainWindow(PlatformWindow* owner) : owner_(owner) {}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box asks; the program decides (it ends the loop itself), and
    // the window must outlive the request.
    event->ignore();
    DeliverWindowEvent(owner_, WindowEvent{WindowEventKind::Close});
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !owner_->proc) return;
    const Qt::WindowStates before = static_cast<QWindowStateChangeEvent*>(event)->oldState();
    const Qt::WindowStates now = windowState();
    const bool wasMinimized = before & Qt::WindowMinimized;
    const bool isMinimized = now & Qt::WindowMinimized;
    WindowEvent size{WindowEventKind::Size};
    if (isMinimized && !wasMinimized) {
        // Minimising leaves the client size alone, so X11 sends no resize;
        // Windows reported it with a zero size.
        size.sizeKind = SizeMinimized;
        DeliverWindowEvent(owner_, size);
    } else if (!isMinimized &&
               (wasMinimized || (before & Qt::WindowMaximized) != (now & Qt::WindowMaximized))) {
        size.sizeKind = SizeKindOf(this);
        size.width = owner_->container->width();
        size.height = owner_->container->height();
        DeliverWindowEvent(owner_, size);
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (!DeliverKey(owner_, event)) QMainWindow::keyPressEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedLocalPath(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (!DraggedLocalPath(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const std::string path = DraggedLocalPath(event->mimeData());
    if (path.empty()) return;
    event->acceptProposedAction();
    DeliverDrop(owner_, path);
}

bool ClientWindow::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!DraggedLocalPath(drag->mimeData()).empty()) {
            drag->acceptProposedAction();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::string path = DraggedLocalPath(drop->mimeData());
        if (path.empty()) {
            drop->ignore();
        } else {
            drop->acceptProposedAction();
            DeliverDrop(owner_, path);
        }
        return true;
    }
    default:
        return QWindow::event(event);
    }
}

void ClientWindow::keyPressEvent(QKeyEvent* event) {
    if (!DeliverKey(owner_, event)) QWindow::keyPressEvent(event);
}

bool DeliverKey(PlatformWindow* window, QKeyEvent* event) {
    WindowEvent key{WindowEventKind::Key};
    if (event->key() == Qt::Key_F11) {
        key.id = KeyF11;
    } else if (event->key() == Qt::Key_Escape) {
        key.id = KeyEscape;
    } else {
        return false;
    }
    if (event->isAutoRepeat()) return true;  // one toggle per press
    DeliverWindowEvent(window, key);
    return true;
}

std::string DraggedLocalPath(const QMimeData* data) {
    if (!data || !data->hasUrls()) return "";
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) return url.toLocalFile().toStdString();
    }
    return "";
}

void DeliverDrop(PlatformWindow* window, const std::string& path) {
    if (!window || !window->widget) return;
    QTimer::singleShot(0, window->widget, [window, path] {
        WindowEvent drop{WindowEventKind::Drop};
        drop.path = path;
        DeliverWindowEvent(window, drop);
    });
}

ClientWindow::ClientWindow(PlatformWindow* owner) : owner_(owner) {
    setSurfaceType(QSurface::OpenGLSurface);
    // The GL format is fixed when the native window is made, which happens
    // when the main window is first shown, long before the GL set-up runs.
    setFormat(ReelstackSurfaceFormat());
}

bool ClientSizeWatcher::eventFilter(QObject* watched, QEvent* event) {
    // The container, not the GL window, reports size changes: once the main
    // window's flags change (bare mode, always on top) Qt rebuilds the native
    // top level, and from then on the embedded window gets no resize events.
    if (event->type() == QEvent::Resize && owner_->widget && !owner_->widget->isMinimized()) {
        const QSize now = static_cast<QResizeEvent*>(event)->size();
        WindowEvent size{WindowEventKind::Size};
        size.sizeKind = SizeKindOf(owner_->widget);
        size.width = now.width();
        size.height = now.height();
        DeliverWindowEvent(owner_, size);
    }
    return QObject::eventFilter(watched, event);
}

void ClientWindow::exposeEvent(QExposeEvent* event) {
    QWindow::exposeEvent(event);
    if (isExposed()) wasExposed_ = true;
    // The X server keeps no copy of what was drawn: an exposed part shows the
    // background until it is drawn again.
    ++owner_->pictureLosses;
}

void ClientWindow::mousePressEvent(QMouseEvent* event) {
    // Qt delivers the second press of a double click as a press and then a
    // double click; the program expects only the double click, as a window
    // class with double clicks enabled gets.
    if (event->button() == Qt::LeftButton &&
        !(event->flags() & Qt::MouseEventCreatedDoubleClick)) {
        owner_->dragOrigin = event->globalPosition();
        DeliverWindowEvent(owner_, WindowEvent{WindowEventKind::LeftButtonDown});
    }
}

void ClientWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!owner_->dragArmed) return;
    if (!(event->buttons() & Qt::LeftButton)) {
        owner_->dragArmed = false;
        return;
    }
    if ((event->globalPosition() - owner_->dragOrigin).manhattanLength() <
        QApplication::startDragDistance()) {
        return;
    }
    owner_->dragArmed = false;
    if (QWindow* top = owner_->widget->windowHandle()) top->startSystemMove();
}

void ClientWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) owner_->dragArmed = false;
}

void ClientWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    owner_->dragArmed = false;
    if (event->button() == Qt::LeftButton) {
        DeliverWindowEvent(owner_, WindowEvent{WindowEventKind::LeftButtonDoubleClick});
    }
}

void DeliverWindowEvent(PlatformWindow* window, const WindowEvent& event) {
    if (window && window->proc) window->proc(event);
}

PlatformWindow* CurrentMainWindow() {
    return gCurrentWindow;
}

// ---------------------------------------------------------------- process

void InitPlatform(int* argc, char** argv) {
    // GLEW loads GL through GLX, which a Wayland surface does not have; run
    // on XWayland instead, and keep Qt's xcb plugin from falling back to EGL.
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (!std::getenv("QT_QPA_PLATFORM") &&
        (std::getenv("WAYLAND_DISPLAY") || (session && std::strcmp(session, "wayland") == 0))) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    if (!std::getenv("QT_XCB_GL_INTEGRATION")) setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 1);
    // The GL container would otherwise turn the menu bar into a native child
    // window as well.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    gApplication = new QApplication(*argc, argv);
    // The viewer speaks Japanese whatever the desktop's language: Qt's own
    // texts (message box buttons, the folder picker) follow.
    static QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Japanese), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qtTexts);
    }
    // The close box only asks the program to quit; the main loop ends it.
    QApplication::setQuitOnLastWindowClosed(false);
}

void ShutdownPlatform() {
    DestroyWindow(gCurrentWindow);
    delete gApplication;
    gApplication = nullptr;
}

// ---------------------------------------------------------------- window

PlatformWindow* CreateMainWindow(const std::string& title, int32_t clientWidth,
                                 int32_t clientHeight, const MenuEntry* menu, size_t menuCount,
                                 WindowProc proc) {
    if (!gApplication) return nullptr;
    auto* window = new PlatformWindow;
    window->proc = proc;

    auto* widget = new MainWindow(window);
    window->widget = widget;
    widget->setAcceptDrops(true);
    widget->setWindowTitle(QString::fromStdString(title));
    QIcon icon;
    for (const char* file : {"favBg.ico", "fav.ico"}) {
        if (QFile::exists(QString::fromLatin1(file))) icon.addFile(QString::fromLatin1(file));
    }
    if (!icon.isNull()) widget->setWindowIcon(icon);

    // In the window, not in a desktop-wide global menu: the client size and
    // bare mode both count on the bar taking room inside the frame.
    widget->menuBar()->setNativeMenuBar(false);
    BuildMenuBar(window, widget->menuBar(), menu, menuCount);

    window->client = new ClientWindow(window);
    window->surface.window = window->client;
    window->container = QWidget::createWindowContainer(window->client, widget);
    window->container->installEventFilter(new ClientSizeWatcher(window, window->container));
    widget->setCentralWidget(window->container);

    const QSize wanted(clientWidth, clientHeight);
    widget->resize(clientWidth, clientHeight + widget->menuBar()->sizeHint().height());
    gCurrentWindow = window;
    widget->show();
    PumpUntil([window] { return window->client->WasExposed(); }, 2000);
    // The menu bar's real height is known only once it is laid out; correct
    // the outer size once so that the client area is the size asked for.
    if (window->container->size() != wanted) {
        widget->resize(widget->size() + (wanted - window->container->size()));
        PumpUntil([window, wanted] { return window->container->size() == wanted; }, 1000);
    }
    SetClientBackground(window->client);
    return window;
}

void SetMenuItemState(int32_t id, int32_t state) {
    MenuItemRecord* item = FindMenuItem(id);
    if (!item) return;
    item->state = state;
    ApplyMenuState(item->action, state);
}

int32_t GetMenuItemState(int32_t id) {
    MenuItemRecord* item = FindMenuItem(id);
    return item ? item->state : kMenuPlain;
}

void SetWindowTitle(PlatformWindow* window, const std::string& title) {
    if (!window) return;
    window->widget->setWindowTitle(QString::fromStdString(title));
    if (auto observer = seams::titleObserver.load()) observer(title);
}

bool HasMenuBar(PlatformWindow* window) {
    return window && !window->widget->menuBar()->isHidden();
}

void SetBareMode(PlatformWindow* window, bool bare) {
    if (!window || bare == !HasMenuBar(window)) return;
    MainWindow* widget = window->widget;
    QRect outer;
    if (bare) {
        outer = widget->frameGeometry();
        const QRect inner = widget->geometry();
        window->savedFrame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                      outer.right() - inner.right(),
                                      outer.bottom() - inner.bottom());
    } else {
        outer = widget->geometry();  // without a frame the window is its outer rectangle
    }
    widget->menuBar()->setVisible(!bare);
    // Changing the frame flags hides the window; it is shown again at the
    // same outer rectangle, so the client area takes over what frame and
    // menu bar gave up (or gives it back).
    widget->setWindowFlag(Qt::FramelessWindowHint, bare);
    widget->setGeometry(bare ? outer : outer.marginsRemoved(window->savedFrame));
    widget->show();
    SetClientBackground(window->client);
    ++window->pictureLosses;
}

void SetTopmost(PlatformWindow* window, bool topmost) {
    if (!window) return;
    MainWindow* widget = window->widget;
    const QRect inner = widget->geometry();
    widget->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    widget->setGeometry(inner);
    if (window->fullScreen) {
        widget->showFullScreen();
    } else {
        widget->show();
    }
    SetClientBackground(window->client);
    ++window->pictureLosses;
}

uint32_t PictureLossCount(PlatformWindow* window) {
    return window ? window->pictureLosses : 0;
}

void SetFullScreen(PlatformWindow* window, bool fullScreen) {
    if (!window || fullScreen == window->fullScreen) return;
    MainWindow* widget = window->widget;
    if (fullScreen) {
        window->savedGeometry = widget->geometry();
        window->savedMenuBarShown = !widget->menuBar()->isHidden();
        window->fullScreen = true;
        widget->menuBar()->setVisible(false);
        QScreen* screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
        widget->showFullScreen();
        // Without a window manager nobody else sizes the window to the screen.
        if (screen) {
            const QRect whole = screen->geometry();
            widget->setGeometry(whole);
            PumpUntil([widget, whole] { return widget->geometry() == whole; }, 1000);
        }
    } else {
        window->fullScreen = false;
        widget->showNormal();
        widget->menuBar()->setVisible(window->savedMenuBarShown);
        const QRect saved = window->savedGeometry;
        widget->setGeometry(saved);
        PumpUntil([widget, saved] { return widget->geometry() == saved; }, 1000);
    }
    SetClientBackground(window->client);
}

void SetClientSize(PlatformWindow* window, int32_t width, int32_t height) {
    if (!window || window->fullScreen) return;
    const QSize wanted(width, height);
    window->widget->resize(window->widget->size() + (wanted - window->container->size()));
    PumpUntil([window, wanted] { return window->container->size() == wanted; }, 1000);
}

bool IsFullScreen(PlatformWindow* window) {
    return window && window->fullScreen;
}

void StartWindowDrag(PlatformWindow* window) {
    // The window manager takes the pointer once a move starts, and would then
    // swallow the second click of a double click (the way out of bare mode).
    // So the move starts only when the pressed mouse really moves.
    if (window) window->dragArmed = true;
}

void ProcessEvents(bool wait) {
    QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
    if (wait && !gQuitRequested.load()) flags |= QEventLoop::WaitForMoreEvents;
    QCoreApplication::processEvents(flags);
    // Without a running QEventLoop nothing else deletes what deleteLater left.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void PostQuit(int exitCode) {
    gQuitExitCode.store(exitCode);
    gQuitRequested.store(true);
    if (auto* dispatcher = QAbstractEventDispatcher::instance(gApplication ? gApplication->thread()
                                                                           : nullptr)) {
        dispatcher->wakeUp();
    }
}

bool QuitRequested() {
    return gQuitRequested.load();
}

int QuitExitCode() {
    return gQuitExitCode.load();
}

void ClearQuitRequest() {
    gQuitRequested.store(false);
    gQuitExitCode.store(0);
}

double ClientPixelRatio(PlatformWindow* window) {
    return window ? window->client->devicePixelRatio() : 1.0;
}
