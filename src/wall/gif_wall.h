// The wall: image slots, up to 64 columns of indices into them, the loader
// mailbox, the stage through which a loaded file reaches the wall, and the
// menu settings that wait for the next open.
//
// No GL and no window here: what the wall needs from the viewer (uploading a
// file, freeing GL objects, the window title, sleeping, the loader's GL
// context) comes in through the WallHost the viewer fills in at start-up.
//
// Locking: wallMutex guards the mailbox word, the slots, the columns and the
// client size. The main loop holds it across a whole draw; PlaceStaged and
// Relayout take it themselves. Decoding and uploading never hold it.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "files/gif_file_list.h"
#include "wall/wall_image.h"

struct PlatformWindow;
struct GlSurface;
struct GlContext;
struct LoaderThread;
struct GifWall;

// The viewer's side of the wall. Every entry is set before the wall is used.
struct WallHost {
    // Decodes path and uploads its frames into the stage (pendingImage,
    // pendingHeight): 0 loaded, 1 failed with no GL object of it left alive.
    int32_t (*loadGif)(GifWall* wall, std::string path) = nullptr;
    // Frees an image's GL objects and clears active: 1 done, 0 not active.
    int32_t (*releaseImage)(WallImage* image) = nullptr;
    // Sets the window title (the fill's progress).
    void (*setTitle)(GifWall* wall, const std::string& title) = nullptr;
    void (*sleepMs)(uint32_t ms) = nullptr;
    // Runs first on the loader thread: makes the loader's GL context current.
    void (*enterLoaderThread)(GifWall* wall) = nullptr;
    // The initial fill calls these between files on the UI thread: handle
    // the window's waiting events, then ask whether the user ended the fill
    // (closed the window or chose to close the wall). Null: neither.
    void (*processEvents)(GifWall* wall) = nullptr;
    bool (*fillShouldStop)(GifWall* wall) = nullptr;
};

// The one-word mailbox of the loader.
enum LoaderCommand : int32_t {
    NoCommand = 0,
    Quit = 1,
    AddNext = 2,
    Flush = 3,
};

struct GifWall {
    int32_t clientWidth = 800;
    int32_t clientHeight = 600;
    PlatformWindow* hwnd = nullptr;
    GlSurface* hdc = nullptr;
    GlContext* mainRC = nullptr;
    uint32_t* programHolder = nullptr;  // heap cell with the shader program name
    GlContext* subRC = nullptr;
    std::vector<WallImage> images;      // every slot, live or free
    std::vector<int32_t> freeSlots;     // dropped slots, in the order dropped
    std::array<std::vector<int32_t>, 64> columns;  // indices into images, oldest first
    int32_t columnCount = 0;
    int32_t maxColumns = 64;
    int32_t minColumns = 1;
    int32_t columnWidth = 250;
    int32_t lastAddColumn = -1;         // round-robin cursor
    uint32_t lastFrameTime = 0;
    GifFileList fileList;
    uint64_t lastAddTime = 0;
    int32_t addInterval = 2000;         // ms; negative: no automatic adds
    LoaderThread* loaderThread = nullptr;
    std::recursive_mutex wallMutex;
    bool playing = false;
    bool minimized = false;
    int32_t loaderCommand = NoCommand;
    int32_t pendingScaleWidth = 250;
    int32_t pendingColumnWidth = 250;
    int32_t pendingOrderMode = 1;
    WallImage pendingImage;             // the stage
    int32_t pendingHeight = 0;
    int32_t pendingStatus = -1;         // -1 nothing, 0 loaded, 1 failed
    WallHost host;
};

// The one wall of the process; Relayout reaches it through this.
extern GifWall* gWall;

// clientWidth / columnWidth, at least minColumns and at most maxColumns.
int32_t ColumnCountFor(const GifWall* wall, int32_t clientWidth);

// Sum of the heights of the images in column. Callers hold wallMutex.
int32_t ColumnHeight(const GifWall* wall, int32_t column);

// Puts the staged image at the top of the shortest column (shortest) or of
// the next column in turn (round robin, which also drops images pushed to or
// below the bottom edge). Returns -1 when shortest and the wall is full,
// otherwise the number of slots.
int32_t PlaceStaged(GifWall* wall, bool shortest);

// Rebuilds the columns when the column count has changed. 1 if rebuilt.
int32_t Relayout();

// Releases every image and empties the slots and the columns in use; the
// round-robin cursor starts again at column 0. Takes wallMutex.
void EmptyWall(GifWall* wall);

// Resets the stage: a default pendingImage and pendingStatus -1.
void ResetStage(GifWall* wall);
