// GL reads for the flow tests, kept in a file of their own because GLEW
// and Qt's GL headers do not mix. Call with the main context current (the
// UI thread).
#pragma once

#include <cstdint>
#include <vector>

// The last frame drawn into the client area: width x height RGBA pixels,
// rows top to bottom.
std::vector<uint8_t> ReadLastFrame(int width, int height);

// Whether name is a live buffer or texture of the shared object space.
bool IsGlObjectName(uint32_t name);
