// Turning a GIF file into frame textures on the wall's stage, and freeing
// an image's GL objects. Needs a current GL context that shares objects with
// the drawing context.
#pragma once

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

// The 4 vertices (x, y, u, v) every image's vertex buffer holds.
extern const float kQuadVertices[16];
