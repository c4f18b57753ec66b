// The Linux layer: window, menu, dialogs, GL contexts and surfaces, clock,
// threads, folder picker and opening a text file. Everything here is built
// on Qt 6; this is the only folder that includes Qt GL headers. Callers see
// plain functions, opaque handles and small integer results.
//
// Threads: every function runs on the UI thread unless it says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------- process

// Creates the application object (QApplication). Call once, first. When no
// platform is chosen and a Wayland session is detected, X11 (xcb) is used so
// that GLEW's GLX loader works.
void InitPlatform(int* argc, char** argv);

// Ends the platform (destroys windows and the application object).
void ShutdownPlatform();

// ---------------------------------------------------------------- window

struct PlatformWindow;  // the main window (hwnd)
struct GlSurface;       // the window's GL surface (hdc)
struct GlContext;       // one GL context (mainRC, subRC)

// What reaches the window procedure.
enum class WindowEventKind {
    Command,            // a menu command; id holds the command id
    Size,               // the client area changed; sizeKind, width, height
    LeftButtonDown,     // left button pressed in the client area
    LeftButtonDoubleClick,
    Close,              // the close box was used
    Key,                // a key was pressed; id holds the key (KeyF11, KeyEscape)
    Drop,               // something was dropped on the window; path holds the
                        // local path of its first file or folder
};

// Keys that reach the window procedure; others are not reported.
enum Key : int32_t {
    KeyF11 = 1,
    KeyEscape = 2,
};

enum SizeKind : int32_t {
    SizeRestored = 0,
    SizeMinimized = 1,
    SizeMaximized = 2,
};

struct WindowEvent {
    WindowEventKind kind;
    int32_t id = 0;        // Command
    int32_t sizeKind = 0;  // Size
    int32_t width = 0;     // Size: client width in logical pixels
    int32_t height = 0;    // Size: client height in logical pixels
    std::string path = {};  // Drop
};

using WindowProc = void (*)(const WindowEvent& event);

// One row of the menu table: popups open and close, items carry an id.
enum class MenuEntryKind { Popup, EndPopup, Item, Separator };
struct MenuEntry {
    MenuEntryKind kind;
    int32_t id;        // Item only
    const char* text;  // UTF-8; Popup and Item
};

// Menu item states, as the menu code sets them by command id.
constexpr int32_t kMenuPlain = 0;
constexpr int32_t kMenuChecked = 8;
constexpr int32_t kMenuGreyed = 3;

// Creates and shows the main window: a title, a menu bar built from the
// table, and a GL client area of clientWidth x clientHeight. The icons are
// read from "favBg.ico" and "fav.ico" in the working directory (a missing
// file is not an error). Events go to proc. Returns null on failure.
PlatformWindow* CreateMainWindow(const std::string& title, int32_t clientWidth,
                                 int32_t clientHeight, const MenuEntry* menu, size_t menuCount,
                                 WindowProc proc);

void SetMenuItemState(int32_t id, int32_t state);
int32_t GetMenuItemState(int32_t id);

void SetWindowTitle(PlatformWindow* window, const std::string& title);

// Bare mode: no menu bar and no frame. The window keeps its outer position
// and size, so the client area grows by what the frame and menu took.
bool HasMenuBar(PlatformWindow* window);
void SetBareMode(PlatformWindow* window, bool bare);

void SetTopmost(PlatformWindow* window, bool topmost);

// Full screen: the window covers its screen with neither frame nor menu bar.
// Leaving it brings back the mode (framed or bare) and the outer rectangle
// the window had before.
void SetFullScreen(PlatformWindow* window, bool fullScreen);
// Resizes the window so that its client area is width x height (not in full
// screen).
void SetClientSize(PlatformWindow* window, int32_t width, int32_t height);
bool IsFullScreen(PlatformWindow* window);

// Starts moving the window with the mouse (call on a left-button press).
void StartWindowDrag(PlatformWindow* window);

// Handles every waiting event, or, with wait, first blocks until one comes.
void ProcessEvents(bool wait);

// Asks the main loop to end with exitCode; wakes a waiting ProcessEvents.
void PostQuit(int exitCode);
bool QuitRequested();
int QuitExitCode();

// Device pixels per logical pixel of the client area.
double ClientPixelRatio(PlatformWindow* window);

// ---------------------------------------------------------------- folder watch

// Watches a folder for entries created, removed or renamed in it (inotify
// through QFileSystemWatcher). onChange runs on the UI thread, from the
// event loop, at most once per delayMs however many changes came: bursts
// are gathered. Null when the folder cannot be watched.
struct FolderWatch;
FolderWatch* StartFolderWatch(const std::string& folder, uint32_t delayMs, void (*onChange)());
// Calls onChange once more after delayMs even without a change (to look
// again at files that were still being written).
void LookAgainLater(FolderWatch* watch);
void StopFolderWatch(FolderWatch* watch);

// ---------------------------------------------------------------- dialogs

enum class MessageBoxKind {
    Ok,           // OK button, no icon
    YesNoQuestion // Yes and No buttons, question icon
};
constexpr int32_t kAnswerOk = 1;
constexpr int32_t kAnswerYes = 6;
constexpr int32_t kAnswerNo = 7;

// A modal message box owned by the main window; returns the answer.
int32_t ShowMessageBox(PlatformWindow* owner, const std::string& text, const std::string& caption,
                       MessageBoxKind kind);

// The modal version dialog: caption, the three text lines, the button
// "閉じる" and the 32 x 32 icon given as RGBA bytes. No close box; Esc does
// not close it; only the button does.
void ShowVersionDialog(PlatformWindow* owner, const std::string& caption, const std::string& text,
                       const std::string& buttonText, const uint8_t* iconRgba32);

// Asks for a folder with no owner window; empty when none was chosen.
std::string PickFolder();

// Opens a text file in the desktop's text viewer without waiting.
bool OpenTextFile(const std::string& path);

// ---------------------------------------------------------------- GL

// The window's GL surface: RGBA 8 bits each, depth 24, double buffered,
// compatibility profile. Null when no GL surface can be had.
GlSurface* GetGlSurface(PlatformWindow* window);
bool SetSurfaceFormat(GlSurface* surface);
// A context for the surface, sharing objects with shareWith when given.
GlContext* CreateGlContext(GlSurface* surface, GlContext* shareWith);
bool ContextsShare(GlContext* a, GlContext* b);
// Makes context current on the calling thread with the surface; a null
// context makes no context current.
bool MakeCurrent(GlSurface* surface, GlContext* context);
// Makes the loader context current on the calling (loader) thread with an
// offscreen surface made for it on the UI thread. False on any other thread
// than the one the context was handed to by StartLoaderThread.
bool MakeLoaderContextCurrent(GlContext* context);
bool DeleteGlContext(GlContext* context);
void ReleaseGlSurface(PlatformWindow* window, GlSurface* surface);
void SwapGlBuffers(GlSurface* surface);

// A rectangle of the GL surface in device pixels, origin at the bottom left
// (as glScissor takes it).
struct GlRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};
// True when PresentGlRects can put parts of the back buffer on the window
// (GLX_MESA_copy_sub_buffer). The back buffer then keeps its content from
// one present to the next, since it is never swapped.
bool CanPresentGlRects(GlSurface* surface);
// Copies the rectangles of the current context's back buffer to the window.
void PresentGlRects(GlSurface* surface, const GlRect* rects, size_t count);

// Counts the times the window's picture was lost (an exposure, the native
// window rebuilt for bare mode or always-on-top): whoever draws and sees the
// count change draws everything anew.
uint32_t PictureLossCount(PlatformWindow* window);

// ---------------------------------------------------------------- threads

// Runs main(arg) on a new thread that may make a GL context current. The
// context handed over is moved to that thread before it starts; main makes
// it current there with MakeLoaderContextCurrent. When main returns, the
// context is released and handed back to the UI thread, so that after
// JoinLoaderThread it can be deleted there. Null when no thread could start.
struct LoaderThread;
LoaderThread* StartLoaderThread(int (*main)(void*), void* arg, GlContext* context);
void JoinLoaderThread(LoaderThread* thread);

// ---------------------------------------------------------------- time

// Milliseconds of a monotonic clock, wrapping at 2^32.
uint32_t TimeMs();
void SleepMs(uint32_t ms);
