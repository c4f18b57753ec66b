// The platform's replaceable services. Each is null (the real service) in
// the product; only the test hooks (test_hooks.cpp, linked into tests alone)
// set them. Internal to src/platform/.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/platform.h"

// Makes one GL step fail, as a broken driver would.
enum class GlStep {
    None,
    SetSurfaceFormat,
    CreateMainContext,
    MakeMainCurrent,
    CreateLoaderContext,
    ShareContexts,
    DeleteLoaderContext,
    DeleteMainContext,
};

// Handle of a version dialog on screen, for a script that stands in for the
// user.
struct VersionDialogHandle;

namespace seams {

// Read on both threads (the loader sleeps between its polls), so atomic.
inline std::atomic<uint32_t (*)()> clock{nullptr};
inline std::atomic<void (*)(uint32_t ms)> sleep{nullptr};
inline std::atomic<uint32_t> clockOffset{0};

inline std::atomic<int32_t (*)(const std::string& text, const std::string& caption,
                               MessageBoxKind kind)>
    messageBox{nullptr};
inline std::atomic<std::string (*)()> folderPicker{nullptr};
inline std::atomic<bool (*)(const std::string& path)> textFileOpener{nullptr};
inline std::atomic<void (*)(VersionDialogHandle* dialog)> versionDialogScript{nullptr};

inline std::atomic<void (*)(const std::string& title)> titleObserver{nullptr};
inline std::atomic<GlStep> failingGlStep{GlStep::None};

// What reached the window: whole-buffer swaps and rectangle presents.
inline std::atomic<uint64_t> swapCount{0};
inline std::atomic<uint64_t> rectPresentCount{0};

}  // namespace seams

// Forgets an earlier PostQuit.
void ClearQuitRequest();
