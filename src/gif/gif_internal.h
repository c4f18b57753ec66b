// Pieces shared by the reader, the LZW decoder and the composition; not part
// of the decoder's public face.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "gif/gif_decoder.h"

// Bytes allocated behind the string store's stated size, so that strings can
// be copied in whole 8-byte steps.
constexpr uint64_t kStoreSlack = 32;

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
    PixelWriter(GifFrameState* frame, uint8_t* canvas);

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
    // one more string and copy slack.
    std::vector<uint8_t> rowIndices;
    int32_t filled = 0;
    int32_t storedRow = 0;
    uint32_t palette[256];
    uint8_t opaque[256];
    bool allOpaque = true;
    // Downscaled: the image columns that start a new canvas column (column 0
    // always), and the canvas column of each.
    std::vector<int32_t> pickColumns;
    std::vector<int32_t> pickTargets;

    void EmitReference(const uint8_t* s, int32_t len);
    void DrawFullRows();
    void DrawRow(const uint8_t* indices, int32_t count);
};

