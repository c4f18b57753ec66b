// GL set-up and shutdown, the shader program and drawing the wall.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

struct GifWall;

// Makes the window's surface, the main context (current on this thread on
// success) and the loader context that shares its objects, loads the GL
// entry points and sets the fixed state. Shows a message box and returns
// false on failure.
bool InitGL(GifWall* wall);

// After the loader thread has ended: releases every image's GL objects,
// deletes both contexts, releases the surface and frees programHolder.
// A failed context deletion shows its message and stops there.
void ShutdownGL(GifWall* wall);

// Reads "vtx.c" and "flg.c" from the working directory, compiles and links
// them, logging to standard output. 0 only when "vtx.c" cannot be opened.
uint32_t LoadShaderProgram();

// One tick of the wall: puts on the window every pixel that differs from
// what it shows (grey, then every active image of the columns in use with
// its current frame), and nothing when nothing differs; then advances every
// animation by 2 hundredths. The whole window is drawn after a size change,
// an exposure or ForgetWallPicture.
void DrawWall(GifWall* wall);

// The whole wall as the frames stand now, into the bound framebuffer:
// no present, no advance.
void DrawWholeWall(GifWall* wall);

// The window no longer shows the wall: the next DrawWall draws all of it.
void ForgetWallPicture();

// What the last DrawWall drew.
struct WallDrawStats {
    bool drawn = false;
    bool full = false;
    int32_t rects = 0;
    int64_t pixels = 0;  // window pixels redrawn
    int32_t copies = 0;  // rectangles copied from a frame texture instead of drawn
    int32_t presents = 0;  // rectangles put on the window
};
WallDrawStats LastWallDrawStats();

// The rectangles to put on the window, merged into boxes around several of
// them where one present costs less than the separate ones (each present is
// a round trip to the X server). Every pixel of rects stays covered.
std::vector<GlRect> MergePresents(const std::vector<GlRect>& rects);

// Paints the client area grey, as an empty wall, and swaps.
void ShowEmptyWall(GifWall* wall);

// Sets the GL viewport to the client area (logical size x pixel ratio).
void SetViewport(GifWall* wall, int32_t width, int32_t height);
