// The GIF decoder core: stream reader, LZW and frame composition.
// Free of GL and Qt; depends on nothing but the C++ standard library.
//
// Failure policy: every malformed input raises GifDecodeFailure (or
// std::bad_alloc); nothing is ever read or written outside a buffer and no
// loop runs without end. The caller that owns the GifDecoder (a local object)
// catches the failure in one place; the decoder's destructor frees every
// buffer and closes the file on every path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

// Width to which OpenGif scales wider images down (pixels). Read once per
// file by OpenGif; written by the open command only while the loader is idle.
extern int gScaleWidth;

// Largest canvas (scaled width x height x 4 bytes) a decode may allocate; a
// file whose canvas would be larger fails. Read once per file by OpenGif.
extern uint64_t gMaxCanvasBytes;

// The fast decoder's code loop comes in two builds: one for any x86-64
// processor and one for processors with BMI2 shifts, taken when the
// processor has them. True takes the first everywhere, so that tests and
// the fuzzer hold both to the same output. Read at every row.
extern bool gPortableCodeLoop;

// The one exception kind of the decoder. It carries nothing anybody reads.
struct GifDecodeFailure {};

// Block bytes of a GIF stream. ReadGifBlock returns the introducers.
constexpr int kGifImageSeparator = 0x2C;       // ','
constexpr int kGifExtensionIntroducer = 0x21;  // '!'
constexpr int kGifTrailer = 0x3B;              // ';'
constexpr int kGifGraphicControlLabel = 0xF9;
constexpr int kGifApplicationLabel = 0xFF;
constexpr int kGifCommentLabel = 0xFE;
constexpr int kGifPlainTextLabel = 0x01;

struct GifDecoder;
// The LZW string table; opaque outside the decoder.
struct GifLzwTable;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
// Large buffers come from malloc/calloc: calloc hands out zero pages without
// touching them, so a canvas costs memory only where pixels are drawn.
using MallocBytes = std::unique_ptr<uint8_t[], FreeDeleter>;

// The image being read and the graphic control values in force.
struct GifFrameState {
    int32_t delay = 5;              // centiseconds, 6 when the file says 0
    int32_t transparentIndex = -1;  // -1: no transparent colour
    int32_t disposal = 1;           // only 2 (restore to background) acts
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool hasLocalTable = false;
    bool interlaced = false;
    int32_t tableSize = 0;
    // Colour table in use, RGBA per entry: the image's own local table
    // (owned below until the image ends) or the decoder's global table.
    const uint8_t* table = nullptr;
    std::vector<uint8_t> localTable;
    uint8_t minCodeSize = 0;
    uint8_t subBlockLength = 0;
    GifDecoder* decoder = nullptr;
    bool imageSeen = false;
    uint8_t subBlock[255] = {};
};

struct GifDecoder {
    GifDecoder();
    ~GifDecoder();
    GifDecoder(const GifDecoder&) = delete;
    GifDecoder& operator=(const GifDecoder&) = delete;

    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    bool hasGlobalTable = false;
    int32_t globalTableSize = 0;
    int32_t backgroundIndex = 0;
    std::vector<uint8_t> globalTable;  // RGBA per entry, empty without one
    int32_t loopCount = 0;             // kept, never used
    int32_t scaledWidth = 0;
    int32_t scaledHeight = 0;
    std::vector<int32_t> rowMarks;     // one per canvas row, only when downscaled
    int32_t lastColumn = -1;
    int32_t frameCount = 0;
    // Made by the first image; its string store grows with the largest image.
    std::unique_ptr<GifLzwTable> lzw;
    std::FILE* file = nullptr;
    // The fast decoder gathers image data ahead and seeks back to where the
    // end code left off; a stream that cannot seek is decoded the
    // straightforward way.
    bool fileSeekable = true;
    MallocBytes fileBuffer;            // the stream's buffer, when we gave it one
    size_t fileBufferBytes = 0;
    MallocBytes canvas;                // scaledWidth x scaledHeight RGBA, zeroed
    size_t canvasBytes = 0;            // allocated, at least the canvas
    bool canvasCleared = false;        // restored to background, no image since
    GifFrameState frame;

    // Decode with the straightforward decoder (codes bit by bit, the flat
    // string store, every pixel through MapPixel) instead of the fast one.
    // Same output; used to prove that.
    bool referencePixelPath = false;

    // Downscaling lookup tables, built once by OpenGif (fast path only).
    std::vector<int32_t> columnOfX;   // canvas column for each screen column
    std::vector<int32_t> rowOfY;      // canvas row for each screen row
    std::vector<double> rowPosOfY;    // the unclamped row position yf
};

// Opens path read-only (only a regular file: a FIFO, device or folder fails
// without blocking), checks the signature, reads the screen descriptor and
// global colour table, sizes the canvas from gScaleWidth and allocates it
// (failing when it would pass gMaxCanvasBytes).
void OpenGif(GifDecoder* decoder, const char* path);

// The same on an already open stream; the decoder takes ownership of it.
void OpenGifStream(GifDecoder* decoder, std::FILE* stream);

// Reads one block. Returns 0x2C after an image was drawn onto the canvas,
// 0x21 after an extension, 0x3B at the trailer or at the end of the file,
// any other byte unchanged.
int ReadGifBlock(GifDecoder* decoder);

// Reads one image from the byte after its 0x2C. Returns false when the file
// ends before the image's data begin (the image does not count).
bool DecodeImage(GifFrameState* frame, std::FILE* file, uint8_t* canvas);

// Canvas pixel index of the n-th pixel of the current image, or -1 when it
// is not drawn. Raises GifDecodeFailure when n is not below width x height.
int64_t MapPixel(GifFrameState* frame, int64_t n);

// One composed frame as handed to a GifFrameSink.
struct GifFrame {
    const uint8_t* rgba;   // width x height x 4 bytes, rows top to bottom
    int32_t width;
    int32_t height;
    int32_t delay;         // centiseconds
};

struct GifFileInfo {
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    int32_t canvasWidth = 0;
    int32_t canvasHeight = 0;
};

// Receives a file's screen once it is open, then every composed frame.
// Either call may throw; the decode then ends with that exception.
class GifFrameSink {
public:
    virtual ~GifFrameSink() = default;
    virtual void Opened(const GifFileInfo& info) { (void)info; }
    virtual void Frame(const GifFrame& frame) = 0;
};

// Decodes a whole file the way LoadGif does: OpenGif, then ReadGifBlock until
// 0x3B, failing when no image was decoded. Hands the canvas to sink after
// every image. Returns the frame count; raises GifDecodeFailure or
// std::bad_alloc. The decoder lives on this function's stack.
int DecodeGifFile(const char* path, GifFrameSink* sink,
                  bool referencePixelPath = false);
// The same from an open stream, which the decode closes.
int DecodeGifStream(std::FILE* stream, GifFrameSink* sink,
                    bool referencePixelPath = false);
