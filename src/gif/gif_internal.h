// Pieces shared by the reader, the LZW decoder and the composition; not part
// of the decoder's public face.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "gif/gif_decoder.h"

// Bytes allocated behind the string store's stated size, so that strings can
// be copied in whole 16-byte steps.
constexpr uint64_t kStoreSlack = 32;

// Most bytes the flat string store can ever need, whatever the image: the
// roots take at most 256; the j-th string added after a clear is at most
// j + 2 bytes long (a string one byte longer than the longest before it), and
// at most 4094 strings are added before the table is full.
constexpr uint64_t kStoreBound = 256 + 4094ull * 4093 / 2 + 2 * 4094;

// One code of the linked string table, packed into 64 bits so that the
// whole table (32 KiB) stays in the first-level cache. A string is its
// prefix code's string (a multiple of 4 bytes long, or nothing) followed by
// its last 1 to 4 bytes, the tail. Adding a code costs one entry whatever its
// length; a string is written out in 4-byte steps, only when its pixels are
// wanted. No string is longer than 4092 bytes (code size 2: 4090 added
// codes, each at most one byte longer than the longest before it, and one
// more written to the spare slot of a full table), so its length fits in 12
// bits.
//   bits 0-11: length (adding one is an add of 1; one and gives it)
//   bits 12-19: the string's first byte
//   bits 20-31: prefix code (meaningful when the length exceeds 4)
//   bits 32-63: tail, in string order from the low byte; unused bytes zero
// The clear and end codes hold kLzwControl, the one entry of length 0, so
// the length the decoder needs anyway tells them from the strings.
using LzwEntry = uint64_t;
constexpr int kLzwFirstShift = 12;
constexpr int kLzwPrefixShift = 20;
constexpr int kLzwTailShift = 32;
constexpr LzwEntry kLzwOneLonger = 1;
constexpr LzwEntry kLzwFirstField = LzwEntry{0xFF} << kLzwFirstShift;
// The first byte and the length: what a string and its extension share.
constexpr LzwEntry kLzwFirstAndLength = (LzwEntry{1} << kLzwPrefixShift) - 1;
constexpr LzwEntry kLzwControl = 0;
inline int32_t LzwLength(LzwEntry e) { return static_cast<int32_t>(e & 0xFFF); }
inline int32_t LzwPrefix(LzwEntry e) { return static_cast<int32_t>((e >> kLzwPrefixShift) & 0xFFF); }
inline uint32_t LzwTail(LzwEntry e) { return static_cast<uint32_t>(e >> kLzwTailShift); }
inline LzwEntry LzwRoot(int32_t i) {
    return kLzwOneLonger | static_cast<LzwEntry>(i) << kLzwFirstShift | static_cast<LzwEntry>(i) << kLzwTailShift;
}
// The shift that takes an entry's first-byte field to the tail byte behind
// the last of a string of this length (its tail holds length mod 4 bytes),
// or 0 when the tail is full.
constexpr int LzwTailShift(int32_t length) {
    return (length & 3) == 0 ? 0 : kLzwTailShift - kLzwFirstShift + 8 * (length & 3);
}
// The string of entry prev (code previous) plus the first byte of entry
// firstOf: one more byte in the tail, or, when the tail is full, a new tail
// behind prev's string. The byte is moved from its field straight into the
// tail.
inline LzwEntry LzwExtended(LzwEntry prev, int32_t previous, LzwEntry firstOf) {
    const LzwEntry first = firstOf & kLzwFirstField;
    const int shift = LzwTailShift(LzwLength(prev));
    if (__builtin_expect(shift != 0, 1)) return prev + kLzwOneLonger + (first << shift);
    return ((prev + kLzwOneLonger) & kLzwFirstAndLength) | static_cast<LzwEntry>(previous) << kLzwPrefixShift |
           first << (kLzwTailShift - kLzwFirstShift);
}

// The linked table of the fast decoder.
struct LzwLinks {
    // Entries 0..255 are the roots; the one past code 4095 is where a full
    // table's additions land.
    LzwEntry entries[4097];
    // LzwTailShift of every length, looked up: the code loops have loads to
    // spare, not arithmetic. Behind the entries, so that one register
    // reaches both.
    uint8_t tailShifts[4096];
    // For the drawn rows that copy long strings (see GifLzwTable::lastSeen),
    // set before each run over codes: the table; what turns a row buffer
    // address into an output position; the first position the row buffer
    // still holds as written since the last clear code.
    int64_t* lastSeen;
    int64_t positionBias;
    int64_t validFrom;
};

// A buffer that only grows, not initialised: a file's first image sizes it,
// and small files pay no zeroing.
struct ScratchBuffer {
    MallocBytes data;
    size_t size = 0;
    uint8_t* Get(size_t bytes) {
        if (size < bytes) {
            data.reset();
            size = 0;
            data.reset(static_cast<uint8_t*>(std::malloc(bytes)));
            if (!data) throw std::bad_alloc();
            size = bytes;
        }
        return data.get();
    }
};

// The LZW state of a decoder, made by its first image (or left by the last
// decoder on its thread) and reused by every image: nothing in it is read
// before the image's decoding has written it.
struct GifLzwTable {
    // The flat store of the straightforward decoder: strings back to back,
    // one start offset per code, each new string a copy of its prefix plus
    // one byte.
    MallocBytes stringStore;
    uint64_t stringStoreSize = 0;  // usable bytes; kStoreSlack more are allocated
    int32_t codeStart[4097];
    int32_t nextCode;
    LzwLinks links;
    // Where the string of each code was last written whole into the row
    // buffer, as an output position (see DecodeCodesLinked): a long string
    // whose prefix the buffer still holds is copied, not walked. Made by the
    // first image that copies; files without one go without.
    std::unique_ptr<int64_t[]> lastSeen;
    int64_t nextOutput = 0;  // where the next image's output positions start
    // Scratch of the fast decoder and writers, kept across images.
    ScratchBuffer rowIndices;
    ScratchBuffer pickColumns;
    ScratchBuffer pickTargets;
    // The fast decoder's image data: sub-blocks gathered back to back (a
    // chunk at a time), so that a code is one 8-byte load at its bit offset.
    MallocBytes gathered;
    size_t gatheredCapacity = 0;  // bytes; 8 more are allocated
    // Per gathered sub-block: where it ends in the data (counted from the
    // image's first data byte) and how many file bytes were read by then.
    std::vector<uint64_t> blockEnds;
    std::vector<uint64_t> blockFileEnds;
};

// A decoder that is done leaves its LZW table (with the scratch buffers in
// it), its stream buffer and its canvas to the next decoder on its thread:
// fresh memory costs a page fault per 4 KiB touched, which for a file of a
// few hundred KiB is more than its decoding. Null when none is left.
std::unique_ptr<GifLzwTable> TakeSpareLzwTable();

// Makes the decoder's table on first use; with needStore, grows the flat
// store to what an image of `pixels` pixels can ever add (at most
// kStoreBound), so the store follows the largest image met.
GifLzwTable* PrepareLzwTable(GifDecoder* decoder, int64_t pixels, bool needStore);

[[noreturn]] inline void FailDecode() { throw GifDecodeFailure{}; }

// Canvas size from the screen and gScaleWidth; allocates rowMarks and the
// downscaling tables when the canvas is downscaled.
void SizeCanvas(GifDecoder* decoder, int32_t scaleWidth);

// Clears the downscaling bookkeeping at the start of every image.
void ResetImageMarks(GifDecoder* decoder);

// The restore-to-background clear, run before every block after an image.
void RestoreToBackground(GifDecoder* decoder);

// Image row shown by the row-th stored row of an interlaced image.
int32_t InterlacedRow(int32_t row, int32_t height);

// Reads the image data (minimum code size through the terminator) and draws
// every pixel. Returns false when the file ends before the minimum code size.
bool DecodeImageData(GifFrameState* frame, std::FILE* file, uint8_t* canvas);

// Longest string a code can stand for: the table holds at most 4096 codes
// and each adds one byte to its prefix.
constexpr int32_t kMaxStringLength = 4097;

// Copies n bytes in whole 16-byte steps; both buffers need 16 bytes of
// slack. Most strings are short: one step, no loop.
inline void CopyInSteps(uint8_t* dst, const uint8_t* src, int32_t n) {
    uint8_t chunk[16];
    std::memcpy(chunk, src, 16);
    std::memcpy(dst, chunk, 16);
    for (int32_t i = 16; i < n; i += 16) {
        std::memcpy(chunk, src + i, 16);
        std::memcpy(dst + i, chunk, 16);
    }
}

// Receives the decoded pixels of one image in stream order and puts them on
// the canvas, either pixel by pixel through MapPixel or with the fast
// writers, which gather one stored row of colour indices and then draw the
// whole row, landing every pixel exactly where MapPixel would.
struct PixelWriter {
    PixelWriter(GifFrameState* frame, uint8_t* canvas, bool reference);

    // Draws what the last, unfinished row holds when the image ends.
    void Finish();

    GifFrameState* frame;
    GifDecoder* decoder;
    uint8_t* canvas;
    int64_t next = 0;   // index of the next pixel of the image
    int64_t total = 0;  // width x height
    bool reference;
    bool downscaled;

    // Fast writers: colour indices of the current stored row, with room for
    // one more string and copy slack behind it and room for one string
    // before it (kept in the table across images).
    uint8_t* rowIndices = nullptr;
    int32_t filled = 0;
    int32_t storedRow = 0;
    // Stored rows the buffer holds at once: where no row can be jumped,
    // the decoder fills several before it stops to draw them (at least 1).
    int32_t batchRows = 1;
    // Entries for the roots' values only (1 << minCodeSize of them).
    uint32_t palette[256];
    uint8_t opaque[256];
    bool allOpaque = true;
    // The same for a branch-free draw: a pixel becomes its old value masked
    // by keptBits, or'ed with drawnColour (zero where not drawn).
    uint32_t drawnColour[256];
    uint32_t keptBits[256];
    void Blend(uint8_t* dst, uint8_t ci) const {
        uint32_t old;
        std::memcpy(&old, dst, 4);
        const uint32_t pixel = (old & keptBits[ci]) | drawnColour[ci];
        std::memcpy(dst, &pixel, 4);
    }
    // Four neighbouring pixels of indices a, b, c, e: all drawn, none drawn,
    // or (at the edges of transparent areas) each kept or replaced without a
    // branch.
    void DrawFour(uint8_t* dst, uint8_t a, uint8_t b, uint8_t c, uint8_t e) const {
        const int drawn = opaque[a] + opaque[b] + opaque[c] + opaque[e];
        if (drawn == 4) {
            std::memcpy(dst, &palette[a], 4);
            std::memcpy(dst + 4, &palette[b], 4);
            std::memcpy(dst + 8, &palette[c], 4);
            std::memcpy(dst + 12, &palette[e], 4);
        } else if (drawn != 0) {
            Blend(dst, a);
            Blend(dst + 4, b);
            Blend(dst + 8, c);
            Blend(dst + 12, e);
        }
    }
    // Downscaled: the image columns that start a new canvas column (column 0
    // always), and the canvas column of each.
    const int32_t* pickColumns = nullptr;
    const int32_t* pickTargets = nullptr;
    size_t pickCount = 0;

    // Whether the stored row being filled will be drawn: always when not
    // downscaled; otherwise the same test DrawRow makes when it gets there.
    bool RowWanted() const;
    // How many stored rows from the one being filled on are drawn but have
    // every pixel they draw drawn over by the stored row after them, once
    // that row is complete (a downscaled canvas row shows the last source
    // row that falls on it). The decoder runs over their codes without
    // writing a pixel.
    int32_t SupersededRows() const;
    bool skipAllowed = false;

    // DrawRow for any stored row; without draw, only the bookkeeping of a
    // drawn row (row marks, last column) is done.
    void DrawRowAt(const uint8_t* indices, int32_t count, int32_t row, bool draw);

    // Downscaled rows with transparency, not interlaced, over more than one
    // canvas column: where two complete stored rows land on one canvas row
    // and both are drawn, DrawTwoRows draws them in one pass, with the
    // pixels and bookkeeping that DrawRowAt for each in turn leaves.
    bool pairRows = false;
    bool CanDrawTwoRows(int32_t row) const;
    void DrawTwoRows(const uint8_t* first, const uint8_t* second, int32_t row);
    // Blend of index a and then index b over the pixel at dst.
    void BlendTwo(uint8_t* dst, uint8_t a, uint8_t b) const {
        uint32_t old;
        std::memcpy(&old, dst, 4);
        const uint32_t pixel = (((old & keptBits[a]) | drawnColour[a]) & keptBits[b]) | drawnColour[b];
        std::memcpy(dst, &pixel, 4);
    }

    void EmitReference(const uint8_t* s, int32_t len);
    void DrawFullRows();
    void DrawRow(const uint8_t* indices, int32_t count);
};

