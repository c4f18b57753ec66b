// Frame composition: canvas size, where each decoded pixel lands (position,
// interlace, downscaling), transparency and the restore-to-background clear.
#include <algorithm>
#include <cstring>

#include "gif/gif_internal.h"

namespace {

// The downscaled position of a screen row or column. Both the per-pixel path
// and the lookup tables use these, so they agree to the last bit.
inline double ScaledRowPos(const GifDecoder* d, int64_t y) {
    return static_cast<double>(d->scaledHeight) / static_cast<double>(d->screenHeight) *
               static_cast<double>(y) +
           0.01;
}

inline double ScaledColumnPos(const GifDecoder* d, int64_t x) {
    return static_cast<double>(d->scaledWidth) / static_cast<double>(d->screenWidth) *
               static_cast<double>(x) +
           0.01;
}

inline int32_t ClampTrunc(double v, int32_t limit) {
    int32_t i = static_cast<int32_t>(v);
    return std::min(i, limit - 1);
}

inline void Store(uint8_t* dst, uint32_t rgba) { std::memcpy(dst, &rgba, 4); }

}  // namespace

void SizeCanvas(GifDecoder* d, int32_t scaleWidth) {
    if (d->screenWidth <= 0 || d->screenHeight <= 0) FailDecode();
    if (scaleWidth < d->screenWidth) {
        d->scaledWidth = scaleWidth;
        // Divide, then multiply, then truncate: 300 / 400 * 250 = 187.5 -> 187.
        d->scaledHeight = static_cast<int32_t>(static_cast<double>(d->screenHeight) /
                                               static_cast<double>(d->screenWidth) *
                                               static_cast<double>(scaleWidth));
        // A very wide, flat file (1000 x 3 at 250) leaves no row to draw on.
        if (d->scaledWidth <= 0 || d->scaledHeight <= 0) FailDecode();
        d->rowMarks.assign(static_cast<size_t>(d->scaledHeight), -1);
        d->columnOfX.resize(static_cast<size_t>(d->screenWidth));
        for (int32_t x = 0; x < d->screenWidth; ++x) {
            d->columnOfX[static_cast<size_t>(x)] = ClampTrunc(ScaledColumnPos(d, x), d->scaledWidth);
        }
        d->rowOfY.resize(static_cast<size_t>(d->screenHeight));
        d->rowPosOfY.resize(static_cast<size_t>(d->screenHeight));
        for (int32_t y = 0; y < d->screenHeight; ++y) {
            double yf = ScaledRowPos(d, y);
            d->rowPosOfY[static_cast<size_t>(y)] = yf;
            d->rowOfY[static_cast<size_t>(y)] = ClampTrunc(yf, d->scaledHeight);
        }
    } else {
        d->scaledWidth = d->screenWidth;
        d->scaledHeight = d->screenHeight;
    }
}

void ResetImageMarks(GifDecoder* d) {
    if (!d->rowMarks.empty()) {
        std::fill(d->rowMarks.begin(), d->rowMarks.end(), -1);
        d->lastColumn = -1;
    }
}

void RestoreToBackground(GifDecoder* d) {
    if (!d->frame.imageSeen || d->frame.disposal != 2 ||
        d->backgroundIndex >= d->globalTableSize) {
        return;
    }
    // A canvas cleared since the last image would get the same bytes again
    // (this runs before every block, stray bytes included).
    if (d->canvasCleared) return;
    d->canvasCleared = true;
    // The whole canvas, not only the last image's rectangle, becomes
    // transparent; it keeps the colour of global entry 0 (black without a
    // global table).
    uint8_t pixel[4] = {0, 0, 0, 0};
    if (!d->globalTable.empty()) std::memcpy(pixel, d->globalTable.data(), 3);
    uint32_t value;
    std::memcpy(&value, pixel, 4);
    uint8_t* p = d->canvas.get();
    size_t count = static_cast<size_t>(d->scaledWidth) * static_cast<size_t>(d->scaledHeight);
    for (size_t i = 0; i < count; ++i) Store(p + i * 4, value);
}

int32_t InterlacedRow(int32_t row, int32_t height) {
    // Rows come every 8th from 0, every 8th from 4, every 4th from 2, then
    // every 2nd from 1.
    int32_t pass1 = (height + 7) / 8;
    if (row < pass1) return row * 8;
    row -= pass1;
    int32_t pass2 = (height + 3) / 8;
    if (row < pass2) return 4 + row * 8;
    row -= pass2;
    int32_t pass3 = (height + 1) / 4;
    if (row < pass3) return 2 + row * 4;
    row -= pass3;
    return 1 + row * 2;
}

int64_t MapPixel(GifFrameState* f, int64_t n) {
    GifDecoder* d = f->decoder;
    int64_t total = static_cast<int64_t>(f->width) * f->height;
    if (n >= total) FailDecode();
    int64_t row = n / f->width;
    int64_t col = n % f->width;
    int64_t r = f->interlaced ? InterlacedRow(static_cast<int32_t>(row), f->height) : row;
    int64_t x = f->left + col;
    int64_t y = f->top + r;
    if (d->scaledWidth == d->screenWidth) return y * d->scaledWidth + x;

    double yf = ScaledRowPos(d, y);
    double xf = ScaledColumnPos(d, x);
    int32_t xi = ClampTrunc(xf, d->scaledWidth);
    int32_t yi = ClampTrunc(yf, d->scaledHeight);
    // A canvas row shows the last source row that falls on it, except rows
    // clipped to the bottom row, where a row further down wins.
    int32_t& mark = d->rowMarks[static_cast<size_t>(yi)];
    if (mark > yf) return -1;
    if (yf > mark) mark = static_cast<int32_t>(yf);
    // A canvas column shows the first source column that falls on it.
    if (xi == d->lastColumn) return -1;
    d->lastColumn = xi;
    return static_cast<int64_t>(yi) * d->scaledWidth + xi;
}

PixelWriter::PixelWriter(GifFrameState* f, uint8_t* c, bool referencePath)
    : frame(f),
      decoder(f->decoder),
      canvas(c),
      total(static_cast<int64_t>(f->width) * f->height),
      reference(referencePath),
      downscaled(f->decoder->scaledWidth != f->decoder->screenWidth) {
    // Indices beyond the table are not drawn: they get a transparent entry.
    // Only the roots' values can come out of the string table.
    const int roots = 1 << f->minCodeSize;
    for (int i = 0; i < roots; ++i) {
        uint8_t entry[4] = {0, 0, 0, 0};
        if (i < f->tableSize) std::memcpy(entry, f->table + i * 4, 4);
        std::memcpy(&palette[i], entry, 4);
        opaque[i] = entry[3] == 255;
        allOpaque = allOpaque && opaque[i];
        drawnColour[i] = opaque[i] ? palette[i] : 0;
        keptBits[i] = opaque[i] ? 0 : ~uint32_t{0};
    }
    if (reference) return;
    GifLzwTable* table = decoder->lzw.get();
    // Rows of up to 16 KiB together: the decoder stops once per batch,
    // not once per row (narrow images have many short rows).
    if (f->width > 0) batchRows = std::clamp<int32_t>((16 << 10) / f->width, 1, std::max(f->height, 1));
    // A string that ends a run of superseded rows is written where it
    // falls, mostly before the next row's start.
    rowIndices = table->rowIndices.Get(static_cast<size_t>(batchRows) * static_cast<size_t>(f->width) +
                                       2 * kMaxStringLength + 48) +
                 kMaxStringLength + 16;
    if (downscaled) {
        // Within a row, a pixel lands only where its canvas column differs
        // from the one before it: only these columns can ever be drawn.
        const size_t bytes = static_cast<size_t>(f->width) * sizeof(int32_t);
        int32_t* columns = reinterpret_cast<int32_t*>(table->pickColumns.Get(bytes));
        int32_t* targets = reinterpret_cast<int32_t*>(table->pickTargets.Get(bytes));
        const int32_t* columnOfX = decoder->columnOfX.data() + f->left;
        for (int32_t i = 0; i < f->width; ++i) {
            if (i == 0 || columnOfX[i] != columnOfX[i - 1]) {
                columns[pickCount] = i;
                targets[pickCount] = columnOfX[i];
                ++pickCount;
            }
        }
        pickColumns = columns;
        pickTargets = targets;
        // Rows may be superseded by the next one only where every colour
        // the codes can name is drawn and the next row draws every picked
        // column (not the one-column case, where its first pixel is skipped).
        skipAllowed = allOpaque && !f->interlaced && f->width > 0 && columnOfX[0] != columnOfX[f->width - 1];
        pairRows = !allOpaque && !f->interlaced && f->width > 0 && columnOfX[0] != columnOfX[f->width - 1];
    }
}

bool PixelWriter::RowWanted() const {
    if (!downscaled) return true;
    if (storedRow >= frame->height) return false;  // no pixel can follow
    int32_t r = frame->interlaced ? InterlacedRow(storedRow, frame->height) : storedRow;
    size_t screenRow = static_cast<size_t>(frame->top + r);
    return !(decoder->rowMarks[static_cast<size_t>(decoder->rowOfY[screenRow])] >
             decoder->rowPosOfY[screenRow]);
}

void PixelWriter::EmitReference(const uint8_t* s, int32_t len) {
    for (int32_t i = 0; i < len; ++i) {
        int64_t p = MapPixel(frame, next++);
        if (p < 0) continue;
        uint8_t ci = s[i];
        if (ci >= frame->tableSize) continue;
        const uint8_t* entry = frame->table + ci * 4;
        if (entry[3] != 255) continue;
        uint8_t* dst = canvas + p * 4;
        dst[0] = entry[0];
        dst[1] = entry[1];
        dst[2] = entry[2];
        dst[3] = 255;
    }
}

void PixelWriter::DrawFullRows() {
    const int32_t width = frame->width;
    if (width == 0) return;  // an image without columns has no full row
    int32_t offset = 0;
    while (filled - offset >= width) {
        DrawRow(rowIndices + offset, width);
        offset += width;
        ++storedRow;
    }
    filled -= offset;
    if (filled > 0 && offset > 0) {
        std::memmove(rowIndices, rowIndices + offset, static_cast<size_t>(filled));
    }
}

void PixelWriter::Finish() {
    if (!reference) {
        DrawFullRows();  // a batch the data ended in
        if (filled > 0) DrawRow(rowIndices, filled);
    }
    filled = 0;
}

void PixelWriter::DrawRow(const uint8_t* indices, int32_t count) {
    DrawRowAt(indices, count, storedRow, true);
}

void PixelWriter::DrawRowAt(const uint8_t* indices, int32_t count, int32_t row, bool draw) {
    int32_t r = frame->interlaced ? InterlacedRow(row, frame->height) : row;
    int32_t screenRow = frame->top + r;
    if (!downscaled) {
        uint8_t* dst = canvas + (static_cast<size_t>(screenRow) * decoder->scaledWidth +
                                 static_cast<size_t>(frame->left)) * 4;
        if (allOpaque) {
            // Four indices per load.
            int32_t i = 0;
            for (; i + 4 <= count; i += 4) {
                uint32_t four;
                std::memcpy(&four, indices + i, 4);
                Store(dst + i * 4, palette[four & 255]);
                Store(dst + i * 4 + 4, palette[(four >> 8) & 255]);
                Store(dst + i * 4 + 8, palette[(four >> 16) & 255]);
                Store(dst + i * 4 + 12, palette[four >> 24]);
            }
            for (; i < count; ++i) Store(dst + i * 4, palette[indices[i]]);
        } else {
            // Four pixels at a time.
            int32_t i = 0;
            for (; i + 4 <= count; i += 4) {
                uint32_t four;
                std::memcpy(&four, indices + i, 4);
                DrawFour(dst + i * 4, four & 255, (four >> 8) & 255, (four >> 16) & 255, four >> 24);
            }
            for (; i < count; ++i) {
                uint8_t ci = indices[i];
                if (opaque[ci]) Store(dst + i * 4, palette[ci]);
            }
        }
        return;
    }
    // Within one row the mark only ever settles to trunc(yf) <= yf, so the
    // row's first pixel decides for the whole row.
    if (count == 0) return;
    double yf = decoder->rowPosOfY[static_cast<size_t>(screenRow)];
    int32_t yi = decoder->rowOfY[static_cast<size_t>(screenRow)];
    int32_t& mark = decoder->rowMarks[static_cast<size_t>(yi)];
    if (mark > yf) return;
    if (yf > mark) mark = static_cast<int32_t>(yf);
    const int32_t* columnOfX = decoder->columnOfX.data() + frame->left;
    if (draw) {
        uint8_t* dst = canvas + static_cast<size_t>(yi) * decoder->scaledWidth * 4;
        // The row's first pixel is skipped when it lands on the column the
        // previous row ended on (the whole image is one canvas column wide);
        // after that, exactly the picked columns are drawn.
        size_t p = columnOfX[0] == decoder->lastColumn ? 1 : 0;
        size_t end = pickCount;
        if (count < frame->width) {
            while (end > p && pickColumns[end - 1] >= count) --end;  // a row cut short
        }
        // The picks land on consecutive canvas columns (a column step of
        // less than one canvas column never skips one).
        uint8_t* first = dst + static_cast<size_t>(pickCount > 0 ? pickTargets[0] : 0) * 4;
        // A local copy: the canvas stores could otherwise alias the member,
        // and it would be loaded again for every pixel.
        const int32_t* const picks = pickColumns;
        // The canvas row has mostly left the cache while the row's codes
        // streamed through it; asking for all its lines at once beats
        // missing them one store after another.
        for (size_t b = 0; b < end * 4; b += 64) __builtin_prefetch(first + b, 1);
        if (allOpaque) {
            for (; p < end; ++p) Store(first + p * 4, palette[indices[picks[p]]]);
        } else {
            // Four picks at a time, as in the full-size rows.
            for (; p + 4 <= end; p += 4) {
                DrawFour(first + p * 4, indices[picks[p]], indices[picks[p + 1]], indices[picks[p + 2]],
                         indices[picks[p + 3]]);
            }
            for (; p < end; ++p) Blend(first + p * 4, indices[picks[p]]);
        }
    }
    decoder->lastColumn = columnOfX[count - 1];
}

bool PixelWriter::CanDrawTwoRows(int32_t row) const {
    if (!pairRows || row + 1 >= frame->height) return false;
    const size_t screenRow = static_cast<size_t>(frame->top + row);
    const int32_t yi = decoder->rowOfY[screenRow];
    // The first row is drawn (it starts at column 0, as every row after a
    // complete one of more than one canvas column does), so the second is
    // too: it lies further down.
    return yi == decoder->rowOfY[screenRow + 1] &&
           !(decoder->rowMarks[static_cast<size_t>(yi)] > decoder->rowPosOfY[screenRow]) &&
           decoder->columnOfX[static_cast<size_t>(frame->left)] != decoder->lastColumn;
}

void PixelWriter::DrawTwoRows(const uint8_t* first, const uint8_t* second, int32_t row) {
    const size_t screenRow = static_cast<size_t>(frame->top + row);
    const int32_t yi = decoder->rowOfY[screenRow];
    int32_t& mark = decoder->rowMarks[static_cast<size_t>(yi)];
    for (size_t k = 0; k < 2; ++k) {
        const double yf = decoder->rowPosOfY[screenRow + k];
        if (yf > mark) mark = static_cast<int32_t>(yf);
    }
    uint8_t* dst = canvas + (static_cast<size_t>(yi) * decoder->scaledWidth + static_cast<size_t>(pickTargets[0])) * 4;
    const int32_t* const picks = pickColumns;
    const size_t end = pickCount;
    size_t p = 0;
    for (; p + 4 <= end; p += 4) {
        const uint8_t b0 = second[picks[p]], b1 = second[picks[p + 1]], b2 = second[picks[p + 2]],
                      b3 = second[picks[p + 3]];
        const int drawn = opaque[b0] + opaque[b1] + opaque[b2] + opaque[b3];
        if (drawn == 4) {
            // The second row covers all four.
            std::memcpy(dst + p * 4, &palette[b0], 4);
            std::memcpy(dst + p * 4 + 4, &palette[b1], 4);
            std::memcpy(dst + p * 4 + 8, &palette[b2], 4);
            std::memcpy(dst + p * 4 + 12, &palette[b3], 4);
            continue;
        }
        const uint8_t a0 = first[picks[p]], a1 = first[picks[p + 1]], a2 = first[picks[p + 2]],
                      a3 = first[picks[p + 3]];
        if (drawn == 0) {
            DrawFour(dst + p * 4, a0, a1, a2, a3);  // the first row shows through
        } else {
            BlendTwo(dst + p * 4, a0, b0);
            BlendTwo(dst + p * 4 + 4, a1, b1);
            BlendTwo(dst + p * 4 + 8, a2, b2);
            BlendTwo(dst + p * 4 + 12, a3, b3);
        }
    }
    for (; p < end; ++p) BlendTwo(dst + p * 4, first[picks[p]], second[picks[p]]);
    decoder->lastColumn = decoder->columnOfX[static_cast<size_t>(frame->left + frame->width - 1)];
}

int32_t PixelWriter::SupersededRows() const {
    // Without interlacing rows come top down, so every row not beyond the
    // image is wanted: a row is superseded when the next lands on its
    // canvas row.
    if (!skipAllowed || storedRow >= frame->height) return 0;
    const int32_t* rowOfY = decoder->rowOfY.data() + frame->top;
    // Few enough rows that their pixels count in 32 bits.
    const int32_t most = (1 << 30) / frame->width;
    int32_t r = storedRow;
    while (r + 1 < frame->height && r - storedRow < most && rowOfY[r] == rowOfY[r + 1]) ++r;
    return r - storedRow;
}
