// The Qt side of the platform layer, shared by its translation units, its
// test hooks and the platform's own GUI tests. Nothing outside src/platform/ and tests/gui/
// includes this header: the rest of the program sees only platform.h.
#pragma once

#include "platform/platform.h"

#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <QPointF>
#include <QWindow>

#include <QDialog>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include <functional>
#include <map>

class ClientWindow;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMimeData;
class QOffscreenSurface;
class QOpenGLContext;

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
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

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
    bool event(QEvent* event) override;  // drag and drop reach a QWindow here
    void keyPressEvent(QKeyEvent* event) override;
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
    // Full screen, and what leaving it brings back.
    bool fullScreen = false;
    QRect savedGeometry;
    bool savedMenuBarShown = true;
    // A left press asked for a window move; it starts once the mouse moves.
    bool dragArmed = false;
    QPointF dragOrigin;
    uint32_t pictureLosses = 0;  // see PictureLossCount
};

// Turns a key press into a Key event; false for keys the program ignores.
bool DeliverKey(PlatformWindow* window, QKeyEvent* event);

// The local path of the first file or folder a drag carries, or empty.
std::string DraggedLocalPath(const QMimeData* data);
// Hands a drop to the window procedure from the event loop, after the drag
// and drop exchange has ended (the open it starts may run modal loops).
void DeliverDrop(PlatformWindow* window, const std::string& path);

// Delivers one event to the window procedure, if there is one.
void DeliverWindowEvent(PlatformWindow* window, const WindowEvent& event);

// The format of the client window, of both contexts and of the loader's
// offscreen surface.
QSurfaceFormat ReelstackSurfaceFormat();

// The window whose menu SetMenuItemState addresses (the last one created).
PlatformWindow* CurrentMainWindow();

// The menu item of the current window with that id, or null.
MenuItemRecord* FindMenuItem(int32_t id);

// Destroys a window made by CreateMainWindow.
void DestroyWindow(PlatformWindow* window);

// Handles events until done() holds or timeoutMs has passed; used where Qt
// does asynchronously what the window system did at once (showing, resizing).
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
void PumpFor(int ms);

struct GlContext {
    QOpenGLContext* context = nullptr;
    // Made on the UI thread for the thread that will make this context
    // current; null until the context is meant for such a thread.
    QOffscreenSurface* offscreen = nullptr;
    bool isMain = false;  // made without a context to share with
    bool viewportSet = false;
};

// Lets a GL context of Qt's be mapped back to ours.
inline constexpr const char* kGlContextOwnerProperty = "reelstackGlContext";

// Dialog 102: caption, three text lines, one push button and a 32 x 32 icon.
// It has no close box, and neither Esc nor the window manager's close
// request ends it: only the button does.
class VersionDialog final : public QDialog {
public:
    VersionDialog(QWidget* owner, const QString& caption, const QString& text,
                  const QString& buttonText, const uint8_t* iconRgba32)
        : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
        setWindowTitle(caption);
        text_ = new QLabel(text, this);
        text_->setTextFormat(Qt::PlainText);
        text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        icon_ = new QLabel(this);
        if (iconRgba32) {
            const QImage image(iconRgba32, 32, 32, 32 * 4, QImage::Format_RGBA8888);
            icon_->setPixmap(QPixmap::fromImage(image.copy()));
        }
        icon_->setFixedSize(32, 32);
        button_ = new QPushButton(buttonText, this);
        // Enter does not close the dialog either: the button is a plain push
        // button, not the dialog's default one.
        button_->setAutoDefault(false);
        connect(button_, &QPushButton::clicked, this, &QDialog::accept);

        auto* layout = new QGridLayout(this);
        layout->addWidget(text_, 0, 0, 2, 1);
        layout->addWidget(icon_, 0, 1, Qt::AlignHCenter | Qt::AlignTop);
        layout->addWidget(button_, 1, 1, Qt::AlignRight | Qt::AlignBottom);
        layout->setColumnStretch(0, 1);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

    // Esc and a close request both arrive here; neither may close the dialog.
    void reject() override {}

    QLabel* text_;
    QLabel* icon_;
    QPushButton* button_;
};


struct VersionDialogHandle {
    VersionDialog* dialog;
};
