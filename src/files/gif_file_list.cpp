// Folder listing and play order.
#include "files/gif_file_list.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <system_error>

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
