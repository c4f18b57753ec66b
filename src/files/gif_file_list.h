// The folder's GIF entries and the order in which the wall takes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GifFileList {
    std::string folderPath;            // empty when no folder was chosen
    std::vector<std::string> files;    // full paths, in file-name order
    std::vector<int32_t> pickPool;     // indices not yet drawn in this random cycle
    std::vector<int32_t> allIndices;   // 0 .. count - 1
    int32_t nextIndex = 0;             // the file to load next
    int32_t orderMode = 1;             // 0 file-name order, 1 random
};

// Empties the list, asks pickFolder for a folder (empty: none chosen), then
// lists it. -1: no folder chosen, 0: no GIF entry, 1: at least one entry.
int32_t OpenGifFolder(GifFileList* list, std::string (*pickFolder)());

// Lists folderPath's entries whose names end in ".gif" in any letter case
// (folders and hidden entries included), sorted by name without regard to
// case (ties by exact bytes); seeds the order and makes the first random
// pick. Same results as OpenGifFolder after its picker.
int32_t ListGifFolder(GifFileList* list, const std::string& folderPath);

// Next index in file-name order, wrapping after the last file.
int32_t NextInNameOrder(GifFileList* list);

// Next index in random order: each file once per cycle.
int32_t NextInRandomOrder(GifFileList* list);

// The play-order generator, shared by both threads; callers that may run
// concurrently hold the wall's mutex. Seeding takes the calendar time.
void SeedPlayOrder(uint32_t seed);
uint32_t PlayOrderSeedFromTime(int64_t secondsSinceEpoch);
int32_t DrawPlayOrder();  // 0 .. 32767
