#include "wall/frame_change.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Changes are mapped in tiles of 8 x 8 texels: fine enough to follow a small
// sprite, coarse enough that the map is cheap to make and to cut.
constexpr int32_t kTile = 8;

// Tiles, [left, right) x [top, bottom); empty when right <= left.
struct TileBox {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

int64_t Area(const TileBox& b) {
    return b.right <= b.left ? 0 : int64_t(b.right - b.left) * (b.bottom - b.top);
}

struct TileMap {
    int32_t columns = 0;
    int32_t rows = 0;
    std::vector<uint8_t> changed;  // rows x columns, 1 where some texel differs
    bool At(int32_t x, int32_t y) const { return changed[static_cast<size_t>(y) * columns + x] != 0; }
};

// The smallest box inside b that holds all of b's changed tiles.
TileBox Shrink(const TileMap& map, const TileBox& b) {
    TileBox s{b.right, b.bottom, b.left, b.top};
    for (int32_t y = b.top; y < b.bottom; ++y) {
        for (int32_t x = b.left; x < b.right; ++x) {
            if (!map.At(x, y)) continue;
            s.left = std::min(s.left, x);
            s.right = std::max(s.right, x + 1);
            s.top = std::min(s.top, y);
            s.bottom = std::max(s.bottom, y + 1);
        }
    }
    return s.right <= s.left ? TileBox{} : s;
}

// How b is best cut in two, by a row or a column line: the two halves,
// each shrunk to its changed tiles, with the least area together.
struct Cut {
    int64_t area = 0;  // of both halves; Area(b) when no cut helps
    TileBox first;
    TileBox second;
};

// One pass over the lines of b along one axis (rows when byRows). For each
// line, the extent of its changed tiles across; then, for every cut, the
// area of the shrunk halves before and after it from running unions.
void BestCutAlong(const TileMap& map, const TileBox& b, bool byRows, Cut* best) {
    const int32_t lineStart = byRows ? b.top : b.left;
    const int32_t lineEnd = byRows ? b.bottom : b.right;
    const int32_t acrossStart = byRows ? b.left : b.top;
    const int32_t acrossEnd = byRows ? b.right : b.bottom;
    const int32_t lines = lineEnd - lineStart;
    if (lines < 2) return;
    std::vector<int32_t> low(static_cast<size_t>(lines), acrossEnd), high(static_cast<size_t>(lines), acrossStart);
    for (int32_t i = 0; i < lines; ++i) {
        for (int32_t a = acrossStart; a < acrossEnd; ++a) {
            if (byRows ? map.At(a, lineStart + i) : map.At(lineStart + i, a)) {
                low[static_cast<size_t>(i)] = std::min(low[static_cast<size_t>(i)], a);
                high[static_cast<size_t>(i)] = a + 1;
            }
        }
    }
    // before[k]: the shrunk area of lines [0, k); after[k]: of lines [k, lines).
    std::vector<int64_t> before(static_cast<size_t>(lines) + 1, 0), after(static_cast<size_t>(lines) + 1, 0);
    int32_t lo = acrossEnd, hi = acrossStart, first = -1, last = -1;
    for (int32_t k = 1; k <= lines; ++k) {
        const size_t i = static_cast<size_t>(k - 1);
        if (high[i] > low[i]) {
            lo = std::min(lo, low[i]);
            hi = std::max(hi, high[i]);
            if (first < 0) first = k - 1;
            last = k - 1;
        }
        before[static_cast<size_t>(k)] = first < 0 ? 0 : int64_t(last - first + 1) * (hi - lo);
    }
    lo = acrossEnd, hi = acrossStart, first = -1, last = -1;
    for (int32_t k = lines - 1; k >= 0; --k) {
        const size_t i = static_cast<size_t>(k);
        if (high[i] > low[i]) {
            lo = std::min(lo, low[i]);
            hi = std::max(hi, high[i]);
            if (last < 0) last = k;
            first = k;
        }
        after[static_cast<size_t>(k)] = last < 0 ? 0 : int64_t(last - first + 1) * (hi - lo);
    }
    int32_t bestK = -1;
    for (int32_t k = 1; k < lines; ++k) {
        const int64_t area = before[static_cast<size_t>(k)] + after[static_cast<size_t>(k)];
        if (before[static_cast<size_t>(k)] > 0 && after[static_cast<size_t>(k)] > 0 && area < best->area) {
            best->area = area;
            bestK = k;
        }
    }
    if (bestK < 0) return;
    TileBox head = b, tail = b;
    if (byRows) {
        head.bottom = tail.top = lineStart + bestK;
    } else {
        head.right = tail.left = lineStart + bestK;
    }
    best->first = Shrink(map, head);
    best->second = Shrink(map, tail);
}

Cut BestCut(const TileMap& map, const TileBox& b) {
    Cut best;
    best.area = Area(b);
    BestCutAlong(map, b, true, &best);
    BestCutAlong(map, b, false, &best);
    return best;
}

// A cut is worth a part of its own when it saves a quarter of the box and
// at least this many tiles: each part costs a draw and a present.
constexpr int64_t kLeastTilesSaved = 16;

bool WorthCutting(const TileBox& b, const Cut& cut) {
    const int64_t saved = Area(b) - cut.area;
    return saved >= kLeastTilesSaved && saved * 4 >= Area(b);
}

// The exact box around every differing texel.
TexelBox ChangedBox(const uint8_t* before, const uint8_t* after, int32_t width, int32_t height) {
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    auto row = [&](const uint8_t* canvas, int32_t y) { return canvas + rowBytes * static_cast<size_t>(y); };
    int32_t top = 0;
    while (top < height && std::memcmp(row(before, top), row(after, top), rowBytes) == 0) ++top;
    if (top == height) return TexelBox{};
    int32_t bottom = height;
    while (std::memcmp(row(before, bottom - 1), row(after, bottom - 1), rowBytes) == 0) --bottom;
    int32_t left = width, right = 0;
    for (int32_t y = top; y < bottom; ++y) {
        const uint8_t* a = row(before, y);
        const uint8_t* b = row(after, y);
        int32_t x = 0;
        while (x < left && std::memcmp(a + x * 4, b + x * 4, 4) == 0) ++x;
        left = std::min(left, x);
        x = width;
        while (x > right && std::memcmp(a + (x - 1) * 4, b + (x - 1) * 4, 4) == 0) --x;
        right = std::max(right, x);
    }
    return TexelBox{left, top, right, bottom};
}

}  // namespace

void FindFrameChange(const uint8_t* before, const uint8_t* after, int32_t width, int32_t height,
                     FrameTexture* frame) {
    frame->canvasWidth = width;
    frame->canvasHeight = height;
    frame->change = ChangedBox(before, after, width, height);
    frame->changePartCount = 0;
    const TexelBox& box = frame->change;
    if (box.right <= box.left) return;

    // The tiles of the changed box in which some texel differs.
    TileMap map;
    map.columns = (width + kTile - 1) / kTile;
    map.rows = (height + kTile - 1) / kTile;
    map.changed.assign(static_cast<size_t>(map.columns) * static_cast<size_t>(map.rows), 0);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int32_t y = box.top; y < box.bottom; ++y) {
        const uint8_t* a = before + rowBytes * static_cast<size_t>(y);
        const uint8_t* b = after + rowBytes * static_cast<size_t>(y);
        uint8_t* tiles = &map.changed[static_cast<size_t>(y / kTile) * static_cast<size_t>(map.columns)];
        for (int32_t tx = box.left / kTile; tx * kTile < box.right; ++tx) {
            if (tiles[tx]) continue;
            const int32_t x0 = tx * kTile;
            const int32_t x1 = std::min(x0 + kTile, width);
            tiles[tx] = std::memcmp(a + x0 * 4, b + x0 * 4, static_cast<size_t>(x1 - x0) * 4) != 0;
        }
    }

    // Cut the box where that saves the most, until the parts run out or no
    // cut is worth its part.
    std::vector<TileBox> parts{Shrink(map, TileBox{0, 0, map.columns, map.rows})};
    std::vector<Cut> cuts{BestCut(map, parts[0])};
    while (static_cast<int32_t>(parts.size()) < kChangeParts) {
        int32_t pick = -1;
        int64_t mostSaved = 0;
        for (size_t i = 0; i < parts.size(); ++i) {
            const int64_t saved = Area(parts[i]) - cuts[i].area;
            if (WorthCutting(parts[i], cuts[i]) && saved > mostSaved) {
                mostSaved = saved;
                pick = static_cast<int32_t>(i);
            }
        }
        if (pick < 0) break;
        const Cut cut = cuts[static_cast<size_t>(pick)];
        parts[static_cast<size_t>(pick)] = cut.first;
        cuts[static_cast<size_t>(pick)] = BestCut(map, cut.first);
        parts.push_back(cut.second);
        cuts.push_back(BestCut(map, cut.second));
    }
    for (const TileBox& t : parts) {
        TexelBox& part = frame->changeParts[static_cast<size_t>(frame->changePartCount++)];
        part.left = std::max(t.left * kTile, box.left);
        part.top = std::max(t.top * kTile, box.top);
        part.right = std::min(t.right * kTile, box.right);
        part.bottom = std::min(t.bottom * kTile, box.bottom);
    }
}
