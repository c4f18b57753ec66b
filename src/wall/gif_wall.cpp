// The wall's column layout: placing staged images, dropping what falls off
// the bottom, relayout on a new column count, and clearing.
#include "wall/gif_wall.h"

GifWall* gWall = nullptr;

namespace {

// First strict minimum: ties go to the lowest-numbered column.
int32_t ShortestColumn(const GifWall* wall) {
    int32_t best = 0;
    int32_t bestHeight = ColumnHeight(wall, 0);
    for (int32_t c = 1; c < wall->columnCount; ++c) {
        int32_t h = ColumnHeight(wall, c);
        if (h < bestHeight) {
            best = c;
            bestHeight = h;
        }
    }
    return best;
}

void PushDown(GifWall* wall, int32_t column, int32_t height) {
    for (int32_t index : wall->columns[static_cast<size_t>(column)]) {
        wall->images[static_cast<size_t>(index)].top += height;
    }
}

}  // namespace

int32_t ColumnCountFor(const GifWall* wall, int32_t clientWidth) {
    int32_t n = clientWidth / wall->columnWidth;
    if (n < wall->minColumns) return wall->minColumns;
    return n < wall->maxColumns ? n : wall->maxColumns;
}

int32_t ColumnHeight(const GifWall* wall, int32_t column) {
    int32_t sum = 0;
    for (int32_t index : wall->columns[static_cast<size_t>(column)]) {
        sum += wall->images[static_cast<size_t>(index)].height;
    }
    return sum;
}

void ResetStage(GifWall* wall) {
    wall->pendingImage = WallImage{};
    wall->pendingStatus = -1;
}

int32_t PlaceStaged(GifWall* wall, bool shortest) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    int32_t target;
    if (shortest) {
        target = ShortestColumn(wall);
    } else {
        wall->lastAddColumn = (wall->lastAddColumn + 1) % wall->columnCount;
        target = wall->lastAddColumn;
    }
    std::vector<int32_t>& column = wall->columns[static_cast<size_t>(target)];

    WallImage& staged = wall->pendingImage;
    staged.width = wall->columnWidth;
    staged.height = wall->pendingHeight;
    staged.x = 0;
    staged.top = 0;
    PushDown(wall, target, wall->pendingHeight);

    if (!shortest) {
        // tops never increase along a column, so what left the window is a
        // run at the front: the oldest images.
        size_t dropped = 0;
        while (dropped < column.size() &&
               wall->images[static_cast<size_t>(column[dropped])].top >= wall->clientHeight) {
            int32_t index = column[dropped];
            wall->freeSlots.push_back(index);
            wall->host.releaseImage(&wall->images[static_cast<size_t>(index)]);
            ++dropped;
        }
        column.erase(column.begin(), column.begin() + static_cast<std::ptrdiff_t>(dropped));
    }

    if (!wall->freeSlots.empty()) {
        // The slot freed last is reused first.
        int32_t slot = wall->freeSlots.back();
        wall->images[static_cast<size_t>(slot)] = staged;
        column.push_back(slot);
        wall->freeSlots.pop_back();
    } else {
        wall->images.push_back(staged);
        column.push_back(static_cast<int32_t>(wall->images.size()) - 1);
    }

    if (shortest && wall->clientHeight <= ColumnHeight(wall, ShortestColumn(wall))) return -1;
    return static_cast<int32_t>(wall->images.size());
}

int32_t Relayout() {
    GifWall* wall = gWall;
    if (!wall->playing) return 0;
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    int32_t count = ColumnCountFor(wall, wall->clientWidth);
    if (count == wall->columnCount) return 0;

    // Oldest image of every column left to right, then the second oldest...
    std::vector<int32_t> order;
    for (size_t row = 0;; ++row) {
        bool any = false;
        for (int32_t c = 0; c < wall->columnCount; ++c) {
            const std::vector<int32_t>& column = wall->columns[static_cast<size_t>(c)];
            if (column.size() > row) {
                order.push_back(column[row]);
                any = true;
            }
        }
        if (!any) break;
    }

    wall->columnCount = count;
    for (int32_t c = 0; c < count; ++c) wall->columns[static_cast<size_t>(c)].clear();
    for (WallImage& image : wall->images) image.top = 0;
    for (int32_t index : order) {
        int32_t target = ShortestColumn(wall);
        PushDown(wall, target, wall->images[static_cast<size_t>(index)].height);
        wall->columns[static_cast<size_t>(target)].push_back(index);
    }
    return 1;
}

void EmptyWall(GifWall* wall) {
    std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
    for (WallImage& image : wall->images) wall->host.releaseImage(&image);
    wall->images.clear();
    wall->freeSlots.clear();
    for (int32_t c = 0; c < wall->columnCount; ++c) wall->columns[static_cast<size_t>(c)].clear();
    wall->lastAddColumn = -1;
}
