// The Qt side of the platform layer, shared by its translation units and by
// the platform's own GUI tests. Nothing outside src/platform/ and tests/gui/
// includes this header: the rest of the program sees only platform.h.
#pragma once

#include "platform/platform.h"

#include <QMainWindow>
#include <QMargins>
#include <QPointF>
#include <QWindow>

#include <map>

class ClientWindow;

// The client area's GL surface (hdc). It belongs to its window and lives as
// long as the window does.
struct GlSurface {
    ClientWindow* window = nullptr;
};

struct MenuItemRecord {
    QAction* action = nullptr;
    int32_t state = kMenuPlain;  // what SetMenuItemState last stored
};

class MainWindow final : public QMainWindow {
public:
    explicit MainWindow(PlatformWindow* owner);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    PlatformWindow* owner_;
};

// The GL client area. It turns Qt's input and geometry events into the
// window procedure's events.
class ClientWindow final : public QWindow {
public:
    explicit ClientWindow(PlatformWindow* owner);
    bool WasExposed() const { return wasExposed_; }

protected:
    void exposeEvent(QExposeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    PlatformWindow* owner_;
    bool wasExposed_ = false;
};

// Turns size changes of the client area's container into Size events.
class ClientSizeWatcher final : public QObject {
public:
    ClientSizeWatcher(PlatformWindow* owner, QObject* parent) : QObject(parent), owner_(owner) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PlatformWindow* owner_;
};

struct PlatformWindow {
    MainWindow* widget = nullptr;
    ClientWindow* client = nullptr;
    QWidget* container = nullptr;
    GlSurface surface;
    WindowProc proc = nullptr;
    std::map<int32_t, MenuItemRecord> menuItems;
    // The frame the window manager drew around the framed window, kept when
    // bare mode starts so that leaving it restores the same outer rectangle.
    QMargins savedFrame;
    // A left press asked for a window move; it starts once the mouse moves.
    bool dragArmed = false;
    QPointF dragOrigin;
};

// Delivers one event to the window procedure, if there is one.
void DeliverWindowEvent(PlatformWindow* window, const WindowEvent& event);

// The format of the client window, of both contexts and of the loader's
// offscreen surface.
QSurfaceFormat ReelstackSurfaceFormat();

// The window whose menu SetMenuItemState addresses (the last one created).
PlatformWindow* CurrentMainWindow();

// For the platform's GUI tests, which drive the Qt objects directly.
QMainWindow* MainWidgetForTest(PlatformWindow* window);
QWindow* ClientQWindowForTest(PlatformWindow* window);
