// Start-up, the paced main loop and shutdown.
#include <clocale>
#include <filesystem>
#include <system_error>

#include "app/app.h"
#include "gif/gif_decoder.h"
#include "app/menu_table.h"
#include "platform/platform.h"
#include "render/load_gif.h"
#include "render/render.h"
#include "wall/gif_wall.h"
#include "wall/loader.h"

std::string gStartDirectory;
bool gTopmost = false;

namespace {

constexpr uint32_t kFrameIntervalMs = 20;

int LoaderThreadMain(void* wall) { return LoaderMain(static_cast<GifWall*>(wall)); }

// Posts AddNext once addInterval has run out since the last add. A negative
// interval means stopped: lastAddTime then stays as it is.
void RunAddTimer(GifWall* wall) {
    if (wall->addInterval < 0) return;
    uint64_t now = TimeMs();
    int64_t since = static_cast<int64_t>(now - wall->lastAddTime);
    if (since < 0) {
        // The clock wrapped since the last add.
        wall->lastAddTime -= 0xFFFFFFFFull;
        since = static_cast<int64_t>(now - wall->lastAddTime);
    }
    if (since >= wall->addInterval) {
        // Set to the clock at the add, not advanced by the interval: a late
        // add is not made up later.
        wall->lastAddTime = TimeMs();
        wall->loaderCommand = AddNext;
    }
}

// The command line's settings, each as its menu command or key would set
// it, so that the check marks show them.
void ApplyStartOptions(GifWall* wall, const StartOptions& options) {
    if (options.textureBudgetBytes != 0) gFileTextureBudget = options.textureBudgetBytes;
    for (int32_t id : {options.widthId, options.intervalId, options.orderId}) {
        if (id != 0) MainWindowProc(WindowEvent{WindowEventKind::Command, id});
    }
    if (options.topmost) MainWindowProc(WindowEvent{WindowEventKind::Command, IdTopmost});
    if (options.bare) {
        SetBareMode(wall->hwnd, true);
        // The size asked for is the wall's, also without menu bar and frame.
        if (options.clientWidth > 0) {
            SetClientSize(wall->hwnd, options.clientWidth, options.clientHeight);
        }
    }
    if (options.fullScreen) SetFullScreenMode(wall, true);
}

}  // namespace

WallHost ViewerWallHost() {
    WallHost host;
    host.loadGif = LoadGif;
    host.releaseImage = ReleaseImage;
    host.setTitle = [](GifWall* wall, const std::string& title) { SetWindowTitle(wall->hwnd, title); };
    host.sleepMs = SleepMs;
    host.enterLoaderThread = [](GifWall* wall) { MakeLoaderContextCurrent(wall->subRC); };
    // The fill runs on the UI thread: the window answers between files.
    host.processEvents = [](GifWall*) { ProcessEvents(false); };
    host.fillShouldStop = [](GifWall*) { return FillShouldStop(); };
    return host;
}

bool StartUp(GifWall* wall, const StartOptions& options) {
    wall->host = ViewerWallHost();
    std::error_code error;
    gStartDirectory = std::filesystem::current_path(error).string();
    // Paths follow the user's locale; numbers stay in the C locale's form.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    const bool sized = options.clientWidth > 0 && options.clientHeight > 0;
    wall->clientWidth = sized ? options.clientWidth : 760;
    wall->clientHeight = sized ? options.clientHeight : 600;
    gWall = wall;

    wall->hwnd = CreateMainWindow("リールスタック", wall->clientWidth, wall->clientHeight,
                                  kMenuTable, kMenuTableSize, MainWindowProc);
    if (!wall->hwnd) return false;

    SetMenuItemState(IdInterval2s, kMenuChecked);
    SetMenuItemState(IdWidth250, kMenuChecked);
    SetMenuItemState(IdOrderRandom, kMenuChecked);
    SetMenuItemState(IdClose, kMenuGreyed);

    if (InitGL(wall)) {
        wall->programHolder = new uint32_t(LoadShaderProgram());
        gScaleWidth = 250;
        wall->columnWidth = 250;
        wall->pendingScaleWidth = 250;
        wall->pendingColumnWidth = 250;
        wall->pendingOrderMode = wall->fileList.orderMode;
        wall->loaderThread = StartLoaderThread(LoaderThreadMain, wall, wall->subRC);
    }  // else no program, no loader: nothing will draw
    ApplyStartOptions(wall, options);
    return true;
}

bool MainLoopPass(GifWall* wall) {
    // While no wall plays, or while minimised, an idle viewer waits for the
    // next event instead of spinning.
    ProcessEvents(!wall->playing || wall->minimized);
    if (QuitRequested()) return false;
    if (!wall->playing || wall->minimized) return true;

    uint32_t elapsed = TimeMs() - wall->lastFrameTime;
    if (elapsed < kFrameIntervalMs) SleepMs(kFrameIntervalMs - elapsed);
    wall->lastFrameTime = TimeMs();

    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    RunAddTimer(wall);
    DrawWall(wall);
    return true;
}

int RunMainLoop(GifWall* wall) {
    while (MainLoopPass(wall)) {
    }
    return QuitExitCode();
}

void Shutdown(GifWall* wall) {
    StopLiveFolder();
    if (wall->loaderThread) {
        PostLoaderCommand(wall, Quit);
        // A file that is being loaded is finished first.
        JoinLoaderThread(wall->loaderThread);
        wall->loaderThread = nullptr;
    }
    ShutdownGL(wall);
}
