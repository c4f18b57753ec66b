// Test hooks of the platform layer: seams that stand in for the user and the
// clock, and ways to drive and inspect the real window. Built into the
// platform_test_hooks library, which only tests link; nothing in the
// product calls these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/seams.h"


// Each replaces one platform service; null restores the real one.
void SetClockForTest(uint32_t (*clock)());
void SetSleepForTest(void (*sleep)(uint32_t ms));
void SetMessageBoxForTest(int32_t (*box)(const std::string& text, const std::string& caption,
                                         MessageBoxKind kind));
void SetFolderPickerForTest(std::string (*picker)());
void SetTextFileOpenerForTest(bool (*opener)(const std::string& path));

// Makes one GL step fail, as a broken driver would.
void FailGlStepForTest(GlStep step);

// Drives the real window as a user would.
void TriggerMenuCommandForTest(int32_t id);
void ResizeClientForTest(PlatformWindow* window, int32_t width, int32_t height);
void DoubleClickClientForTest(PlatformWindow* window);
void CloseWindowForTest(PlatformWindow* window);
// The same two as queued events: they arrive only when the UI thread next
// handles its events, as a user's click or close would.
void PostMenuCommandForTest(int32_t id);
void PostCloseRequestForTest(PlatformWindow* window);
void SetMinimizedForTest(PlatformWindow* window, bool minimized);
std::string WindowTitleForTest(PlatformWindow* window);
// Sees every title SetWindowTitle sets, in order; null stops it.
void SetTitleObserverForTest(void (*observer)(const std::string& title));
bool IsFramelessForTest(PlatformWindow* window);
bool IsTopmostForTest(PlatformWindow* window);
bool IsMenuItemEnabledForTest(int32_t id);
void ClientSizeForTest(PlatformWindow* window, int32_t* width, int32_t* height);

// A single left click in the middle of the client area.
void ClickClientForTest(PlatformWindow* window);
void SetMaximizedForTest(PlatformWindow* window, bool maximized);
// The window is mapped (not hidden and not destroyed).
bool IsWindowShownForTest(PlatformWindow* window);
// The outer rectangle: the frame's, or the window's own when it has none.
void OuterGeometryForTest(PlatformWindow* window, int32_t* x, int32_t* y, int32_t* width,
                          int32_t* height);
// Destroys a window made by CreateMainWindow, so that tests can build several.
void DestroyWindowForTest(PlatformWindow* window);

// The check mark the user sees (GetMenuItemState gives the stored state).
bool IsMenuItemCheckedForTest(int32_t id);
// The menu bar as text, one line per entry, two spaces of indent per level:
// a popup's text, "text #id" for an item, "-" for a separator.
std::string MenuOutlineForTest();

// A key pressed and released in the client area (KeyF11, KeyEscape).
void PressKeyForTest(PlatformWindow* window, int32_t key);
// Drags a local file or folder onto the client area and drops it, through
// Qt's drag-enter, drag-move and drop events. False when the window refused
// it. The window procedure sees the drop once events are handled.
bool DropPathForTest(PlatformWindow* window, const std::string& path);
// The size of the screen the window is on.
void ScreenSizeForTest(PlatformWindow* window, int32_t* width, int32_t* height);

// Forgets an earlier PostQuit, so that one process can test several.
void ResetQuitForTest();

// Shifts the real clock, so that a test can watch it wrap.
void SetClockOffsetForTest(uint32_t offset);

// Whole-buffer swaps and rectangle presents that reached the window so far.
void GlPresentCountsForTest(uint64_t* swaps, uint64_t* rectPresents);
// Has the X server erase the client area and send an exposure, as when a
// covering window goes away; returns once the window has seen it.
void ExposeClientForTest(PlatformWindow* window);
// The client area as the X server holds it (what is on screen), as
// 0xRRGGBBFF, rows top to bottom; false when it cannot be read.
bool ReadClientPixelsForTest(PlatformWindow* window, int32_t width, int32_t height,
                             std::vector<uint32_t>* pixels);

// The context current on the calling thread, or null.
GlContext* CurrentGlContextForTest();

// The version dialog driven by a script instead of a user: the script runs
// inside the dialog's modal loop once the dialog is shown, and must close it
// with ClickVersionDialogButtonForTest. Null shows the dialog to the user.
using VersionDialogForTest = VersionDialogHandle;
void SetVersionDialogScriptForTest(void (*script)(VersionDialogForTest* dialog));
struct VersionDialogViewForTest {
    bool open = false;
    bool modal = false;
    bool hasCloseButton = false;
    std::string caption;
    std::string text;
    std::string buttonText;
    int32_t iconWidth = 0;
    int32_t iconHeight = 0;
    uint32_t iconTopLeftRgba = 0;  // 0xRRGGBBAA of the icon's first pixel
};
VersionDialogViewForTest ViewVersionDialogForTest(VersionDialogForTest* dialog);
void PressEscapeInVersionDialogForTest(VersionDialogForTest* dialog);
void ClickVersionDialogButtonForTest(VersionDialogForTest* dialog);
