// Turning a GIF file into frame textures on the wall's stage, and freeing
// an image's GL objects. Needs a current GL context that shares objects with
// the drawing context.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct GifWall;
struct WallImage;

// Decodes path into wall->pendingImage (one RGBA texture per composed frame,
// plus the vertex buffer) and sets pendingHeight. 0 when loaded; 1 when the
// file failed, with no GL object of it left alive. Never writes pendingStatus.
int32_t LoadGif(GifWall* wall, std::string path);

// Deletes the image's vertex buffer and frame textures and clears active.
// 1 when done, 0 when the image was not active.
int32_t ReleaseImage(WallImage* image);

// Texture bytes one file may take, frames x canvas width x height x 4: a
// load whose next frame would pass it fails like an undecodable file, before
// that frame is uploaded. Set from the command line; atomic because the
// loader thread reads it.
constexpr uint64_t kDefaultFileTextureBudget = 256ull << 20;
extern std::atomic<uint64_t> gFileTextureBudget;

// The budget of a file drawn displayHeight pixels high in a column of
// columnWidth: the whole budget when it is at least as tall as wide,
// otherwise the share displayHeight / columnWidth of it (0 for height 0).
// This keeps every column's textures below budget x (window height /
// column width + 1), see docs/overview.md.
uint64_t FileTextureBudget(int32_t displayHeight, int32_t columnWidth);

// While set on the calling thread, LoadGif calls events at least every
// 100 ms of a long decode, between two frames (the UI thread's fill uses it
// to keep the window answering). Per thread: the loader never sees it.
void SetEventsWhileLoading(void (*events)());

// Frame textures made by LoadGif and not yet deleted, on every thread.
int64_t LiveFrameTextures();

// The 4 vertices (x, y, u, v) every image's vertex buffer holds.
extern const float kQuadVertices[16];
