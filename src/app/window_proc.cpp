// The window procedure: menu commands, size changes, bare mode.
#include "app/app.h"
#include "app/menu_table.h"
#include "files/gif_file_list.h"
#include "gif/gif_decoder.h"
#include "platform/platform.h"
#include "render/load_gif.h"
#include "render/render.h"
#include "wall/gif_wall.h"
#include "wall/loader.h"

namespace {

const char* const kMessageCaption = "メッセージダイアログ";
const char* const kTitle = "リールスタック";

// The picker and the message boxes run nested event loops, in which the menu
// stays usable: a second open must not start inside the first.
bool gOpenRunning = false;
// The initial fill answers events between files; "閉じる" meanwhile asks it
// to stop at the next file boundary instead of clearing under its feet.
bool gFillRunning = false;
bool gFillStopRequested = false;

// The playing folder's watch, and its new files still being written.
constexpr uint32_t kFolderLookDelayMs = 500;
FolderWatch* gFolderWatch = nullptr;
GrowingFiles gGrowingFiles;

// A change in the playing folder: list it, let new files that are complete
// join the play order and removed ones leave it. The listing runs without
// the lock; the merge holds it, since the loader reads the list.
void LookAtPlayingFolder() {
    GifWall* wall = gWall;
    if (!wall || !wall->playing) return;
    std::vector<ListedGif> entries;
    if (!ListGifEntries(wall->fileList.folderPath, &entries)) return;  // keep what plays
    // Only this thread changes the list, so reading it here is safe.
    std::vector<std::string> settled = SettledPaths(wall->fileList, entries, &gGrowingFiles);
    {
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        MergeListing(&wall->fileList, settled);
    }
    if (!gGrowingFiles.empty()) LookAgainLater(gFolderWatch);
}

void StartLiveFolder(GifWall* wall) {
    StopLiveFolder();
    gFolderWatch = StartFolderWatch(wall->fileList.folderPath, kFolderLookDelayMs,
                                    LookAtPlayingFolder);
}

void HandleKey(GifWall* wall, int32_t key) {
    if (key == KeyF11) {
        SetFullScreenMode(wall, !IsFullScreen(wall->hwnd));
    } else if (key == KeyEscape && IsFullScreen(wall->hwnd)) {
        SetFullScreenMode(wall, false);
    }
}

void HandleDrop(GifWall* wall, const std::string& path) {
    const std::string folder = FolderToOpenFor(path);
    if (!folder.empty()) OpenCommand(wall, &folder);  // anything else is ignored
}

void HandleSize(GifWall* wall, const WindowEvent& event) {
    if (event.sizeKind == SizeMinimized) {
        wall->minimized = true;  // the stored client size stays as it was
    } else {
        {
            std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
            wall->clientWidth = event.width;
            wall->clientHeight = event.height;
        }
        SetViewport(wall, event.width, event.height);
        wall->minimized = false;
    }
    // X11 has no move/size loop: every size change counts as a settled one.
    if (event.sizeKind == SizeRestored || event.sizeKind == SizeMaximized) Relayout();
}

void HandleCommand(GifWall* wall, int32_t id) {
    int32_t index;
    if (id == IdOpen) {
        OpenCommand(wall, nullptr);
    } else if (id == IdExit) {
        PostQuit(0);  // no question; the window goes with the process
    } else if (id == IdTopmost) {
        gTopmost = !gTopmost;
        SetTopmost(wall->hwnd, gTopmost);
        SetMenuItemState(IdTopmost, GetMenuItemState(IdTopmost) == kMenuPlain ? kMenuChecked
                                                                               : kMenuPlain);
    } else if (id == IdClose) {
        if (gFillRunning) {
            gFillStopRequested = true;
            return;
        }
        ClearWall(wall);
        SetMenuItemState(IdClose, kMenuGreyed);
    } else if ((index = IndexInGroup(kWidthIds, id)) >= 0) {
        // Waits for the next open; the wall on screen keeps its width.
        SelectRadioItem(kWidthIds, id);
        wall->pendingScaleWidth = kWidthValues[static_cast<size_t>(index)];
        wall->pendingColumnWidth = kWidthValues[static_cast<size_t>(index)];
    } else if ((index = IndexInGroup(kIntervalIds, id)) >= 0) {
        // Takes effect at once, from the next frame.
        wall->addInterval = kIntervalValues[static_cast<size_t>(index)];
        SelectRadioItem(kIntervalIds, id);
    } else if (id == IdOrderName || id == IdOrderRandom) {
        SelectRadioItem(kOrderIds, id);
        wall->pendingOrderMode = id == IdOrderName ? 0 : 1;
    } else if (id == IdVersion) {
        ShowVersionInformation(wall->hwnd);
    } else if (id == IdAbout) {
        OpenReadme(gStartDirectory);
    }
}

}  // namespace

void StopLiveFolder() {
    StopFolderWatch(gFolderWatch);
    gFolderWatch = nullptr;
    gGrowingFiles.clear();
}

void SetFullScreenMode(GifWall* wall, bool fullScreen) {
    // The size events of the change relayout the wall.
    SetFullScreen(wall->hwnd, fullScreen);
}

bool FillShouldStop() { return gFillStopRequested || QuitRequested(); }

int32_t ClearWall(GifWall* wall) {
    StopLiveFolder();
    // The loader places a ready stage and finishes that placement first, so
    // every GL object belongs to a slot of the wall.
    WaitIdle(wall);
    EmptyWall(wall);
    if (wall->mainRC) ShowEmptyWall(wall);
    wall->playing = false;
    return 1;
}

void OpenCommand(GifWall* wall, const std::string* folder) {
    if (gOpenRunning) return;
    // Without GL there is no loader to feed a wall and nothing could be
    // drawn: say so instead of opening.
    if (!wall->loaderThread) {
        // GL came up (it made the program cell) but the loader thread did
        // not start: say that, not GL.
        ShowMessageBox(wall->hwnd,
                       wall->programHolder ? "読み込みスレッドを開始できなかったため、画像を表示できません。"
                                    : "OpenGLの初期化に失敗したため、画像を表示できません。",
                       kMessageCaption, MessageBoxKind::Ok);
        return;
    }
    gOpenRunning = true;
    if (wall->playing &&
        ShowMessageBox(wall->hwnd, "現在の画像リストの再生を終了しますか？", kMessageCaption,
                       MessageBoxKind::YesNoQuestion) != kAnswerYes) {
        gOpenRunning = false;
        return;  // nothing changes, the title included
    }
    StopLiveFolder();
    SetWindowTitle(wall->hwnd, "リールスタック (読込中..)");
    if (wall->playing) ClearWall(wall);
    WaitIdle(wall);

    gScaleWidth = wall->pendingScaleWidth;
    wall->columnWidth = wall->pendingColumnWidth;
    wall->fileList.orderMode = wall->pendingOrderMode;

    int32_t listed = folder ? ListGifFolder(&wall->fileList, *folder) : OpenGifFolder(&wall->fileList, PickFolder);
    if (listed == 1) {
        {
            std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
            wall->columnCount = ColumnCountFor(wall, wall->clientWidth);
            for (int32_t c = 0; c < wall->columnCount; ++c) {
                wall->columns[static_cast<size_t>(c)].clear();
            }
        }
        // "閉じる" can end the fill, so it is offered while the fill runs.
        const int32_t closeState = GetMenuItemState(IdClose);
        SetMenuItemState(IdClose, kMenuPlain);
        gFillRunning = true;
        gFillStopRequested = false;
        // A long file keeps the window answering too; a stop waits for its end.
        SetEventsWhileLoading([] { ProcessEvents(false); });
        const int32_t filled = InitialFill(wall);
        SetEventsWhileLoading(nullptr);
        gFillRunning = false;
        SetMenuItemState(IdClose, closeState);
        if (filled == kFillStopped) {
            // Closed during the fill: the wall is empty again, nothing to say.
            if (wall->mainRC) ShowEmptyWall(wall);
            SetMenuItemState(IdClose, kMenuGreyed);
        } else if (filled != 0) {
            wall->lastFrameTime = TimeMs();
            wall->lastAddTime = TimeMs();
            wall->playing = true;
            SetMenuItemState(IdClose, kMenuPlain);
            // The window may have changed its width while the fill answered
            // events; the columns follow now that the wall plays.
            Relayout();
            StartLiveFolder(wall);
        } else {
            ShowMessageBox(wall->hwnd, "表示可能な画像が存在しません。", kMessageCaption,
                           MessageBoxKind::Ok);
        }
    } else if (listed == 0) {
        ShowMessageBox(wall->hwnd, "画像が見つかりません。", kMessageCaption, MessageBoxKind::Ok);
    }
    SetWindowTitle(wall->hwnd, kTitle);
    gOpenRunning = false;
}

void MainWindowProc(const WindowEvent& event) {
    GifWall* wall = gWall;
    switch (event.kind) {
        case WindowEventKind::Command:
            HandleCommand(wall, event.id);
            break;
        case WindowEventKind::Size:
            HandleSize(wall, event);
            break;
        case WindowEventKind::LeftButtonDown:
            // In bare mode the whole client area drags the window; a full
            // screen window stays where it is.
            if (!HasMenuBar(wall->hwnd) && !IsFullScreen(wall->hwnd)) StartWindowDrag(wall->hwnd);
            break;
        case WindowEventKind::LeftButtonDoubleClick:
            if (!IsFullScreen(wall->hwnd)) SetBareMode(wall->hwnd, HasMenuBar(wall->hwnd));
            break;
        case WindowEventKind::Key:
            HandleKey(wall, event.id);
            break;
        case WindowEventKind::Drop:
            HandleDrop(wall, event.path);
            break;
        case WindowEventKind::Close:
            PostQuit(0);
            break;
    }
}
