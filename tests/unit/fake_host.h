// A stand-in for the viewer's side of the wall: files are names with a
// height (or a failure), GL objects are counted, titles are kept. Lets the
// layout, the fill and the loader run without a display.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "wall/gif_wall.h"

namespace fake {

struct State {
    std::mutex mutex;
    std::map<std::string, int32_t> heights;  // file -> drawn height; missing: fails
    std::set<uint32_t> liveObjects;          // buffer and texture names
    uint32_t nextName = 1;
    std::vector<std::string> loads;          // every load, in order
    std::vector<std::string> titles;
    // While closed, a load of gatedFile waits for the gate to open.
    std::string gatedFile;
    bool gateOpen = true;
    bool loadWaiting = false;
    std::condition_variable gate;
};
inline State gState;

inline int32_t LoadGif(GifWall* wall, std::string path) {
    std::unique_lock<std::mutex> lock(gState.mutex);
    gState.loads.push_back(path);
    if (path == gState.gatedFile) {
        gState.loadWaiting = true;
        gState.gate.notify_all();
        gState.gate.wait(lock, [] { return gState.gateOpen; });
        gState.loadWaiting = false;
    }
    auto it = gState.heights.find(path);
    if (it == gState.heights.end()) return 1;
    WallImage& image = wall->pendingImage;
    image.buffer = gState.nextName++;
    image.active = true;
    image.frames.push_back(FrameTexture{10, 0, gState.nextName++});
    gState.liveObjects.insert({image.buffer, image.frames[0].texture});
    wall->pendingHeight = it->second;
    return 0;
}

inline int32_t ReleaseImage(WallImage* image) {
    if (!image->active) return 0;
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.liveObjects.erase(image->buffer);
    for (const FrameTexture& frame : image->frames) gState.liveObjects.erase(frame.texture);
    image->active = false;
    return 1;
}

inline WallHost Host() {
    WallHost host;
    host.loadGif = LoadGif;
    host.releaseImage = ReleaseImage;
    host.setTitle = [](GifWall*, const std::string& title) {
        std::lock_guard<std::mutex> lock(gState.mutex);
        gState.titles.push_back(title);
    };
    host.sleepMs = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    host.enterLoaderThread = [](GifWall*) {};
    return host;
}

// Forgets every file, object and title.
inline void Reset() {
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.heights.clear();
    gState.liveObjects.clear();
    gState.loads.clear();
    gState.titles.clear();
    gState.gatedFile.clear();
    gState.gateOpen = true;
}

// Holds loads of name at a gate until Open.
inline void Close(const std::string& name) {
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.gatedFile = name;
    gState.gateOpen = false;
}

inline void Open() {
    std::lock_guard<std::mutex> lock(gState.mutex);
    gState.gateOpen = true;
    gState.gate.notify_all();
}

// Waits until a load waits at the gate; false after 10 s.
inline bool AwaitWaitingLoad() {
    std::unique_lock<std::mutex> lock(gState.mutex);
    return gState.gate.wait_for(lock, std::chrono::seconds(10), [] { return gState.loadWaiting; });
}

// Polls until done() holds; false after 10 s.
template <class Done>
bool Await(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline size_t LiveObjects() {
    std::lock_guard<std::mutex> lock(gState.mutex);
    return gState.liveObjects.size();
}

// A wall with the fake host, a client area and a column count.
inline void SetUpWall(GifWall* wall, int32_t width, int32_t height, int32_t columns) {
    wall->host = Host();
    wall->clientWidth = width;
    wall->clientHeight = height;
    wall->columnCount = columns;
    gWall = wall;
}

// "slot@top " of every column in use, oldest first, each ended by "|".
inline std::string State(const GifWall* wall) {
    std::string text;
    for (int32_t c = 0; c < wall->columnCount; ++c) {
        for (int32_t i : wall->columns[static_cast<size_t>(c)]) {
            text += std::to_string(i) + "@" + std::to_string(wall->images[static_cast<size_t>(i)].top) + " ";
        }
        text += "|";
    }
    return text;
}

// The heights of each column's images, oldest first.
using Heights = std::vector<std::vector<int32_t>>;
inline Heights Layout(GifWall* wall) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    Heights out(static_cast<size_t>(wall->columnCount));
    for (size_t c = 0; c < out.size(); ++c) {
        for (int32_t slot : wall->columns[c]) out[c].push_back(wall->images.at(static_cast<size_t>(slot)).height);
    }
    return out;
}

}  // namespace fake
