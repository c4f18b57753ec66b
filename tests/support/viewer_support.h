// Shared by the viewer's GL and UI tests: one running viewer per test
// process (Qt allows one application), GIF files made on the fly, and event
// pumping with a deadline.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "gif_encoder.h"
#include "platform/platform.h"
#include "platform/test_hooks.h"
#include "wall/gif_wall.h"

#ifndef REELSTACK_RUNTIME_DIR
#error "REELSTACK_RUNTIME_DIR must name the build's runtime folder (shaders)"
#endif

// Starts the viewer once for this process, in the runtime folder that holds
// the shader files, and returns its wall. Start-up runs exactly as in
// reelstack: window, menu, GL, shader program, loader thread.
inline GifWall* StartTestViewer() {
    static GifWall* wall = [] {
        static int argc = 1;
        static char name[] = "viewer-test";
        static char* argv[] = {name, nullptr};
        InitPlatform(&argc, argv);
        if (chdir(REELSTACK_RUNTIME_DIR) != 0) return static_cast<GifWall*>(nullptr);
        GifWall* w = new GifWall();
        if (!StartUp(w)) return static_cast<GifWall*>(nullptr);
        // Let the first size events arrive.
        for (int i = 0; i < 20; ++i) {
            ProcessEvents(false);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return w;
    }();
    return wall;
}

// Handles events until done() holds; false when timeoutMs passed first.
template <class Done>
bool PumpUntil(Done done, int timeoutMs = 3000) {
    auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs)) {
            return false;
        }
        ProcessEvents(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

// A fresh, empty folder under the temporary directory.
inline std::filesystem::path FreshFolder(const std::string& name) {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("reelstack-test-" + std::to_string(getpid())) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// An animated GIF of width x height with the given frame count and delay:
// frame t is filled with colour index (seed + t) % 8 of a fixed palette, so
// every frame differs from the one before.
inline std::vector<uint8_t> SolidGif(int width, int height, int frames, int delay = 10,
                                     int seed = 0) {
    EncodedGif gif;
    gif.screenWidth = width;
    gif.screenHeight = height;
    const uint8_t palette[8][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},   {255, 255, 0},
                                   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}, {0, 0, 0}};
    for (const auto& rgb : palette) gif.globalPalette.insert(gif.globalPalette.end(), rgb, rgb + 3);
    for (int t = 0; t < frames; ++t) {
        EncodedImage image;
        image.width = width;
        image.height = height;
        image.delay = delay;
        image.indices.assign(static_cast<size_t>(width) * height,
                             static_cast<uint8_t>((seed + t) % 8));
        gif.images.push_back(std::move(image));
    }
    return EncodeGif(gif);
}
inline void WriteSolidGif(const std::filesystem::path& path, int width, int height, int frames,
                          int delay = 10, int seed = 0) {
    WriteBytes(path.string(), SolidGif(width, height, frames, delay, seed));
}

// A file whose name says GIF but whose bytes are not one.
inline void WriteBrokenGif(const std::filesystem::path& path) {
    WriteBytes(path.string(), std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 0, 0});
}
