// The loader thread: decodes and uploads the next file in the background and
// puts the previously loaded one on the wall, driven by the one-word mailbox.
#pragma once

#include <cstdint>
#include <string>

struct GifWall;

// Thread procedure; returns 1 after Quit.
int LoaderMain(GifWall* wall);

// Places a ready stage, then loads path into the stage. Returns the
// placement's result, 0 if nothing was placed.
int32_t LoadAndStage(GifWall* wall, std::string path);

// Posts Flush and waits until the loader has carried it out: its last
// placement has finished and the stage is empty. Returns at once when no
// loader runs.
int32_t WaitIdle(GifWall* wall);

// Posts a command under wallMutex (a waiting command is replaced).
void PostLoaderCommand(GifWall* wall, int32_t command);

// Fills the columns in use to the bottom edge with the folder's files on the
// calling thread, showing the progress in the title. 1 when the wall is
// full (or no file left could make a column grow while something shows),
// 0 when no file could be shown, kFillStopped when the host's
// fillShouldStop ended it between two files (the wall is empty again).
constexpr int32_t kFillStopped = -1;
int32_t InitialFill(GifWall* wall);

// The progress title for percent, six digits after the point, always with
// a decimal point whatever the C locale.
std::string FillProgressTitle(double percent);
