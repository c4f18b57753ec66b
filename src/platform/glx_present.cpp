// Partial presents through GLX_MESA_copy_sub_buffer.
#include "platform/glx_present.h"

#include <GL/glx.h>

#include <cstring>

namespace {

using CopySubBufferFn = void (*)(Display*, GLXDrawable, int, int, int, int);

// The extension string is a list of names separated by spaces; a plain
// substring test would also accept a longer name that starts the same.
bool HasExtension(const char* list, const char* name) {
    const size_t length = std::strlen(name);
    for (const char* at = list; at && (at = std::strstr(at, name)) != nullptr; at += length) {
        const bool starts = at == list || at[-1] == ' ';
        const bool ends = at[length] == ' ' || at[length] == '\0';
        if (starts && ends) return true;
    }
    return false;
}

}  // namespace

void* FindCopySubBuffer(void* display) {
    auto* x = static_cast<Display*>(display);
    if (!x) return nullptr;
    if (!HasExtension(glXQueryExtensionsString(x, DefaultScreen(x)), "GLX_MESA_copy_sub_buffer")) {
        return nullptr;
    }
    return reinterpret_cast<void*>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
}

void CopySubBuffer(void* entry, void* display, unsigned long drawable, int32_t x, int32_t y,
                   int32_t width, int32_t height) {
    reinterpret_cast<CopySubBufferFn>(entry)(static_cast<Display*>(display), drawable, x, y, width,
                                             height);
}
