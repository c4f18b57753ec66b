// The loader thread with its one-word mailbox, and the initial fill.
#include "wall/loader.h"

#include <charconv>
#include <vector>

#include "files/gif_file_list.h"
#include "wall/gif_wall.h"

namespace {

constexpr uint32_t kLoaderPollMs = 50;

// Advances nextIndex after a timed add. The random order's generator is
// shared with the UI thread, so its draw happens under the lock.
void AdvanceAfterAdd(GifWall* wall) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    GifFileList& list = wall->fileList;
    if (list.files.empty()) return;
    if (list.orderMode == 0) {
        NextInNameOrder(&list);
    } else {
        NextInRandomOrder(&list);
    }
}

}  // namespace

void PostLoaderCommand(GifWall* wall, int32_t command) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    wall->loaderCommand = command;
}

int32_t LoadAndStage(GifWall* wall, std::string path) {
    int32_t result = 0;
    // The file loaded by the previous add goes on the wall now.
    if (wall->pendingStatus == 0) result = PlaceStaged(wall, false);
    // Its GL objects belong to its slot now; the reset releases nothing.
    ResetStage(wall);
    wall->pendingStatus = wall->host.loadGif(wall, std::move(path));
    return result;
}

int LoaderMain(GifWall* wall) {
    wall->host.enterLoaderThread(wall);
    for (;;) {
        int32_t command;
        {
            std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
            command = wall->loaderCommand;
            // Flush keeps its word until it is carried out, so that WaitIdle
            // returns only after the last placement has finished.
            if (command != NoCommand && command != Flush) wall->loaderCommand = NoCommand;
        }
        switch (command) {
            case NoCommand:
                wall->host.sleepMs(kLoaderPollMs);
                continue;
            case Quit:
                return 1;
            case AddNext: {
                std::string path;
                {
                    // The UI thread merges a live folder's changes into the
                    // list under the lock; every file may have left it.
                    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
                    if (wall->fileList.files.empty()) break;
                    path = wall->fileList.files[static_cast<size_t>(wall->fileList.nextIndex)];
                }
                LoadAndStage(wall, std::move(path));
                // The index moves on whether the load succeeded or not.
                AdvanceAfterAdd(wall);
                break;
            }
            case Flush: {
                if (wall->pendingStatus == 0) PlaceStaged(wall, false);
                wall->pendingStatus = -1;
                std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
                if (wall->loaderCommand == Flush) wall->loaderCommand = NoCommand;
                break;
            }
            default:
                break;
        }
    }
}

int32_t WaitIdle(GifWall* wall) {
    // Without a loader (GL set-up failed) nobody would ever take Flush.
    if (!wall->loaderThread) return 1;
    PostLoaderCommand(wall, Flush);
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
            if (wall->loaderCommand == NoCommand) return 1;
        }
        wall->host.sleepMs(kLoaderPollMs);
    }
}

std::string FillProgressTitle(double percent) {
    // to_chars never follows the C locale: the title reads 37.500000 under
    // a comma-decimal locale too.
    char number[400];
    auto end = std::to_chars(number, number + sizeof number, percent, std::chars_format::fixed, 6);
    return std::string("リールスタック (読込中.. ") + std::string(number, end.ptr) + "%)";
}

int32_t InitialFill(GifWall* wall) {
    GifFileList& list = wall->fileList;
    int32_t (*advance)(GifFileList*) = list.orderMode != 0 ? NextInRandomOrder : NextInNameOrder;
    const int32_t fileCount = static_cast<int32_t>(list.files.size());
    int32_t attempt = 0;
    // Which files were tried since the wall last grew. Once every file has
    // been tried without growth no file can make a column grow (images of
    // height 0, files that turned bad): the fill ends. A run of fileCount
    // attempts is not enough: in random order it straddles two cycles and
    // can miss the one file that loads.
    std::vector<bool> triedSinceGrowth(static_cast<size_t>(fileCount), false);
    int32_t triedCount = 0;
    int32_t wallHeight = 0;

    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
            double sum = 0.0;
            for (int32_t c = 0; c < wall->columnCount; ++c) {
                int32_t h = ColumnHeight(wall, c);
                double share = static_cast<double>(h) / static_cast<double>(wall->clientHeight);
                // A column counts at most 100 %: a tall one cannot make up for a short one.
                sum += share < 1.0 ? share : 1.0;
            }
            double percent = sum / wall->columnCount * 100.0;
            wall->host.setTitle(wall, FillProgressTitle(percent));
        }

        const int32_t index = list.nextIndex;
        std::string path = list.files[static_cast<size_t>(index)];
        ResetStage(wall);
        int32_t result = -2;
        if (wall->host.loadGif(wall, path) == 0) result = PlaceStaged(wall, true);

        if (attempt == fileCount && wall->images.empty()) return 0;
        advance(&list);
        attempt = (attempt + 1) % (fileCount + 1);
        if (result == -1) return 1;

        int32_t height = 0;
        {
            std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
            for (int32_t c = 0; c < wall->columnCount; ++c) height += ColumnHeight(wall, c);
        }
        if (height > wallHeight) {
            wallHeight = height;
            triedSinceGrowth.assign(triedSinceGrowth.size(), false);
            triedCount = 0;
        } else if (!triedSinceGrowth[static_cast<size_t>(index)]) {
            triedSinceGrowth[static_cast<size_t>(index)] = true;
            ++triedCount;
        }
        // An empty wall is ended by the check above after one pass.
        if (triedCount == fileCount && !wall->images.empty()) {
            if (height > 0) return 1;
            // Nothing on the wall can be seen: give its GL objects back and
            // report that no image could be shown.
            EmptyWall(wall);
            return 0;
        }

        // Between files the window answers; a close ends the fill here.
        if (wall->host.processEvents) wall->host.processEvents(wall);
        if (wall->host.fillShouldStop && wall->host.fillShouldStop(wall)) {
            EmptyWall(wall);
            ResetStage(wall);
            return kFillStopped;
        }
    }
}
