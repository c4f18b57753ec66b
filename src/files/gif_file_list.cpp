// Folder listing and play order.
#include "files/gif_file_list.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

namespace {

// The C runtime's rand: s = s * 214013 + 2531011, result bits 16 to 30.
uint32_t gPlayOrderState = 1;

bool EndsWithGif(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".gif";
}

// Case-insensitive byte order, ties by exact bytes, so file-name order is
// stable whatever order the directory hands out.
bool NameBefore(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

void EmptyList(GifFileList* list) {
    list->files.clear();
    list->pickPool.clear();
    list->allIndices.clear();
    list->nextIndex = 0;
}

}  // namespace

void SeedPlayOrder(uint32_t seed) { gPlayOrderState = seed; }

uint32_t PlayOrderSeedFromTime(int64_t secondsSinceEpoch) {
    // Modulo 2^32 - 1, not 2^32.
    return static_cast<uint32_t>(secondsSinceEpoch % 4294967295LL);
}

int32_t DrawPlayOrder() {
    gPlayOrderState = gPlayOrderState * 214013u + 2531011u;
    return static_cast<int32_t>((gPlayOrderState >> 16) & 0x7FFF);
}

int32_t NextInNameOrder(GifFileList* list) {
    list->nextIndex = (list->nextIndex + 1) % static_cast<int32_t>(list->files.size());
    return list->nextIndex;
}

int32_t NextInRandomOrder(GifFileList* list) {
    if (list->pickPool.empty()) list->pickPool = list->allIndices;  // a new cycle
    int32_t n = static_cast<int32_t>(list->pickPool.size());
    int32_t r = DrawPlayOrder();
    int32_t k = static_cast<int32_t>(r / 32767.0 * n);
    if (k >= n) k = n - 1;  // only a draw of 32767 gets here
    list->nextIndex = list->pickPool[static_cast<size_t>(k)];
    // Swap-with-last removal: the pool's order does not matter.
    list->pickPool[static_cast<size_t>(k)] = list->pickPool.back();
    list->pickPool.pop_back();
    return list->nextIndex;
}

int32_t ListGifFolder(GifFileList* list, const std::string& folderPath) {
    EmptyList(list);
    list->folderPath = folderPath;
    if (folderPath.empty()) return -1;

    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator it(folderPath, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::string name = it->path().filename().string();
        if (EndsWithGif(name)) names.push_back(name);
    }
    if (names.empty()) return 0;
    std::sort(names.begin(), names.end(), NameBefore);

    for (const std::string& name : names) {
        list->files.push_back((std::filesystem::path(folderPath) / name).string());
        list->pickPool.push_back(static_cast<int32_t>(list->pickPool.size()));
    }
    SeedPlayOrder(PlayOrderSeedFromTime(static_cast<int64_t>(std::time(nullptr))));
    list->allIndices = list->pickPool;
    if (list->orderMode == 1) NextInRandomOrder(list);
    return 1;
}

int32_t OpenGifFolder(GifFileList* list, std::string (*pickFolder)()) {
    // The list is emptied before the picker shows, so a cancelled pick
    // leaves an empty list behind.
    EmptyList(list);
    std::string path = pickFolder();
    return ListGifFolder(list, path);
}

bool ListGifEntries(const std::string& folderPath, std::vector<ListedGif>* entries) {
    entries->clear();
    std::error_code error;
    std::filesystem::directory_iterator it(folderPath, error);
    if (error) return false;
    // Names are sorted before the folder is put in front: a large folder is
    // read twice a second while files come and go.
    std::vector<ListedGif> named;
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ListedGif entry;
        entry.path = it->path().filename().string();
        if (!EndsWithGif(entry.path)) continue;
        std::error_code typeError;
        entry.folder = it->is_directory(typeError);  // from the listing, no stat
        named.push_back(std::move(entry));
    }
    std::sort(named.begin(), named.end(),
              [](const ListedGif& a, const ListedGif& b) { return NameBefore(a.path, b.path); });
    const std::filesystem::path folder(folderPath);
    entries->reserve(named.size());
    for (ListedGif& entry : named) {
        entry.path = (folder / entry.path).string();
        entries->push_back(std::move(entry));
    }
    return !error;
}

std::vector<std::string> SettledPaths(const GifFileList& list,
                                      const std::vector<ListedGif>& entries,
                                      GrowingFiles* growing) {
    const std::unordered_set<std::string> known(list.files.begin(), list.files.end());
    GrowingFiles stillGrowing;
    std::vector<std::string> settled;
    for (const ListedGif& entry : entries) {
        if (known.count(entry.path) != 0) {
            settled.push_back(entry.path);
            continue;
        }
        // A file being written changes size between two looks; an empty one
        // has not been written yet. Only new entries cost a stat.
        uint64_t size = 0;
        if (!entry.folder) {
            std::error_code sizeError;
            const uintmax_t bytes = std::filesystem::file_size(entry.path, sizeError);
            if (sizeError) continue;  // gone again, or unreadable
            size = static_cast<uint64_t>(bytes);
        }
        auto seen = growing->find(entry.path);
        if (seen != growing->end() && seen->second == size && (entry.folder || size > 0)) {
            settled.push_back(entry.path);
        } else {
            stillGrowing[entry.path] = size;
        }
    }
    *growing = std::move(stillGrowing);
    return settled;
}

int32_t MergeListing(GifFileList* list, const std::vector<std::string>& paths) {
    const std::vector<std::string>& old = list->files;
    if (old == paths) return 0;  // the usual look: nothing settled or left
    std::unordered_map<std::string, int32_t> newIndex;
    newIndex.reserve(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) newIndex.emplace(paths[i], static_cast<int32_t>(i));

    std::vector<int32_t> moved(old.size(), -1);  // old index -> new index, -1 gone
    std::vector<bool> isOld(paths.size(), false);
    int32_t removed = 0;
    for (size_t i = 0; i < old.size(); ++i) {
        auto found = newIndex.find(old[i]);
        if (found == newIndex.end()) {
            ++removed;
        } else {
            moved[i] = found->second;
            isOld[static_cast<size_t>(found->second)] = true;
        }
    }
    const int32_t added =
        static_cast<int32_t>(paths.size()) - (static_cast<int32_t>(old.size()) - removed);
    if (added == 0 && removed == 0) return 0;

    const bool hadNext = !old.empty() && list->nextIndex >= 0 &&
                         list->nextIndex < static_cast<int32_t>(old.size());
    const std::string nextPath = hadNext ? old[static_cast<size_t>(list->nextIndex)] : "";
    const int32_t nextMoved = hadNext ? moved[static_cast<size_t>(list->nextIndex)] : -1;

    std::vector<int32_t> pool;
    pool.reserve(list->pickPool.size() + static_cast<size_t>(added));
    for (int32_t index : list->pickPool) {
        if (index >= 0 && index < static_cast<int32_t>(moved.size()) &&
            moved[static_cast<size_t>(index)] >= 0) {
            pool.push_back(moved[static_cast<size_t>(index)]);
        }
    }
    // New files join the current cycle.
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!isOld[i]) pool.push_back(static_cast<int32_t>(i));
    }

    list->files = paths;
    list->pickPool = std::move(pool);
    list->allIndices.resize(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) list->allIndices[i] = static_cast<int32_t>(i);

    if (paths.empty()) {
        list->pickPool.clear();
        list->nextIndex = 0;
    } else if (nextMoved >= 0) {
        list->nextIndex = nextMoved;
    } else if (list->orderMode != 0) {
        NextInRandomOrder(list);
    } else {
        // The file after the one that left, in file-name order.
        auto after = std::upper_bound(list->files.begin(), list->files.end(), nextPath, NameBefore);
        list->nextIndex =
            after == list->files.end() ? 0 : static_cast<int32_t>(after - list->files.begin());
    }
    return added + removed;
}

std::string FolderToOpenFor(const std::string& droppedPath) {
    if (droppedPath.empty()) return "";
    std::error_code error;
    const std::filesystem::path path(droppedPath);
    if (std::filesystem::is_directory(path, error)) return droppedPath;
    if (std::filesystem::is_regular_file(path, error) && EndsWithGif(path.filename().string())) {
        return path.parent_path().string();
    }
    return "";
}
