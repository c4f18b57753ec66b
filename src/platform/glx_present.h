// Partial presents through GLX_MESA_copy_sub_buffer. Kept apart from the Qt
// code because the GLX headers bring Xlib's macros. Internal to src/platform/.
#pragma once

#include <cstdint>

// The driver's glXCopySubBufferMESA for this X display, or null when the
// extension is missing.
void* FindCopySubBuffer(void* display);

// Copies a rectangle of the back buffer of drawable to its front (device
// pixels, origin bottom left). entry comes from FindCopySubBuffer.
void CopySubBuffer(void* entry, void* display, unsigned long drawable, int32_t x, int32_t y,
                   int32_t width, int32_t height);
