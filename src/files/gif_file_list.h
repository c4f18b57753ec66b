// The folder's GIF entries and the order in which the wall takes them.
#pragma once

#include <cstdint>
#include <map>
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

// ---------------------------------------------------------------- a live folder

// One GIF entry of a folder as seen now: its full path and whether it is a
// folder named *.gif (listed like a file).
struct ListedGif {
    std::string path;
    bool folder = false;
};

// The folder's GIF entries in file-name order. False when it cannot be read.
bool ListGifEntries(const std::string& folderPath, std::vector<ListedGif>* entries);

// Files still being written: path -> the size seen at the last look.
using GrowingFiles = std::map<std::string, uint64_t>;

// Of a fresh listing, the paths that may be in the play order: every file
// already in it, and each new one that has been seen twice with the same
// non-zero size (a new folder entry needs only the second look). The others
// wait in growing, to be looked at again. Only new entries are looked at
// (stat), so a look at a large folder costs one directory read. Paths in
// file-name order.
std::vector<std::string> SettledPaths(const GifFileList& list,
                                      const std::vector<ListedGif>& entries,
                                      GrowingFiles* growing);

// Merges a listing (full paths in file-name order) into the play order:
// files no longer listed leave it, new ones join at their sorted place and,
// in random order, the current cycle's pool. nextIndex keeps naming the same
// file; when that file left, file-name order goes on with the file that
// followed it and random order draws a new pick. With no file left the
// list is empty and nextIndex 0. Returns the number of files added plus
// removed.
int32_t MergeListing(GifFileList* list, const std::vector<std::string>& paths);

// What a path dropped on the window opens: a folder itself, the folder of a
// GIF file; empty for anything else.
std::string FolderToOpenFor(const std::string& droppedPath);
