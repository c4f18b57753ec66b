// The application shell: start-up, the paced main loop with the add timer,
// the window procedure with every menu command, help, and shutdown.
#pragma once

#include <cstdint>
#include <string>

struct GifWall;
struct WallHost;
struct PlatformWindow;
struct WindowEvent;

// Process-wide state.
extern std::string gStartDirectory;  // working directory at start
extern bool gTopmost;

// Menu command ids.
enum MenuId : int32_t {
    IdOpen = 100,
    IdExit = 101,
    IdTopmost = 102,
    IdClose = 103,
    IdWidth100 = 200,
    IdWidth150 = 201,
    IdWidth200 = 202,
    IdWidth250 = 203,
    IdWidth300 = 204,
    IdWidth350 = 205,
    IdWidth400 = 206,
    IdIntervalStop = 300,
    IdInterval1s = 301,
    IdInterval2s = 302,
    IdInterval3s = 303,
    IdInterval4s = 304,
    IdInterval5s = 305,
    IdInterval6s = 306,
    IdInterval7s = 307,
    IdInterval10s = 308,
    IdInterval15s = 309,
    IdInterval20s = 310,
    IdInterval30s = 311,
    IdInterval60s = 312,
    IdOrderName = 400,
    IdOrderRandom = 401,
    IdVersion = 500,
    IdAbout = 501,
};

// Settings given on the command line. Each is what choosing its menu item
// (or using its key) right after start-up gives; 0 and false keep the
// default.
struct StartOptions {
    int32_t intervalId = 0;    // a menu id of the add-interval group
    int32_t widthId = 0;       // a menu id of the width group
    int32_t orderId = 0;       // IdOrderName or IdOrderRandom
    int32_t clientWidth = 0;   // client area; 0 x 0: 760 x 600
    int32_t clientHeight = 0;
    bool fullScreen = false;
    bool topmost = false;
    bool bare = false;
    uint64_t textureBudgetBytes = 0;  // texture memory one file may take; 0: the default
};

// Reads the command line into options and folder. kCommandLineGoOn: start
// the viewer; otherwise the exit status after what was printed (0 for
// --help and --version, 2 for a bad command line, with a one-line message
// on the standard error).
constexpr int kCommandLineGoOn = -1;
int ParseCommandLine(int argc, char** argv, StartOptions* options, std::string* folder,
                     bool* haveFolder);

// Start-up up to the main loop: window, menu states, GL, shader program and
// loader thread, then the settings of the command line. False when the
// window cannot be made (the entry then returns 0 without a message).
bool StartUp(GifWall* wall, const StartOptions& options = StartOptions{});

// Full screen on or off; the wall relays out for the new client size.
void SetFullScreenMode(GifWall* wall, bool fullScreen);

// Stops watching the playing folder (open, close and quit call it).
void StopLiveFolder();

// One pass of the main loop: handles the waiting events (waiting for one
// while no wall plays or the window is minimised), then paces, runs the add
// timer and draws one frame. False once a quit was requested.
bool MainLoopPass(GifWall* wall);

// Runs passes until quit; returns the exit code.
int RunMainLoop(GifWall* wall);

// Stops the loader (a load in progress finishes first), then the GL side.
void Shutdown(GifWall* wall);

// The window procedure.
void MainWindowProc(const WindowEvent& event);

// The viewer's side of the wall: LoadGif, ReleaseImage, the window title,
// sleeping and the loader's GL context.
WallHost ViewerWallHost();

// The close command: waits until the loader is idle, empties the wall and
// paints the window grey. 1.
int32_t ClearWall(GifWall* wall);

// True once the running initial fill should end at the next file: the
// user chose "閉じる" during it, or a quit was requested.
bool FillShouldStop();

// The open command. With a folder, that folder is opened as if it had been
// chosen in the picker.
void OpenCommand(GifWall* wall, const std::string* folder);

// The help commands.
int32_t OpenReadme(std::string startDirectory);
void ShowVersionInformation(PlatformWindow* owner);

// The whole viewer: command line, start-up, loop, shutdown.
int ViewerMain(int argc, char** argv);
