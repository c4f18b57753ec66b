// The application shell: start-up, the paced main loop with the add timer,
// the window procedure with every menu command, help, and shutdown.
#pragma once

#include <cstdint>
#include <string>

struct GifWall;
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
    IdWidthFirst = 200,  // 200..206: 100px..400px
    IdWidthLast = 206,
    IdIntervalFirst = 300,  // 300..312: 停止..60秒
    IdIntervalLast = 312,
    IdOrderName = 400,
    IdOrderRandom = 401,
    IdVersion = 500,
    IdAbout = 501,
};

// Start-up up to the main loop: window, menu states, GL, shader program and
// loader thread. False when the window cannot be made (the entry then
// returns 0 without a message).
bool StartUp(GifWall* wall);

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

// The open command. With a folder, that folder is opened as if it had been
// chosen in the picker.
void OpenCommand(GifWall* wall, const std::string* folder);

// The help commands.
int32_t OpenReadme(std::string startDirectory);
void ShowVersionInformation(PlatformWindow* owner);

// The whole viewer: command line, start-up, loop, shutdown.
int ViewerMain(int argc, char** argv);
