// The GIF stream reader: signature, logical screen, colour tables, the block
// loop with its extensions, image descriptors, and the whole-file driver.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "gif/gif_internal.h"

int gScaleWidth = 1000;
uint64_t gMaxCanvasBytes = uint64_t{1} << 30;

namespace {

inline int32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }

// What the last finished decoder on this thread left (see
// TakeSpareLzwTable). A canvas or stream buffer above kMostKeptBytes is
// given back instead.
constexpr size_t kMostKeptBytes = size_t{16} << 20;
struct SpareBuffers {
    std::unique_ptr<GifLzwTable> lzw;
    MallocBytes fileBuffer;
    size_t fileBufferBytes = 0;
    MallocBytes canvas;
    size_t canvasBytes = 0;
    ~SpareBuffers();
};
thread_local SpareBuffers tSpare;
// Set once tSpare is destroyed at the thread's exit: a decoder destroyed
// after it keeps nothing.
thread_local bool tSpareGone = false;
SpareBuffers::~SpareBuffers() { tSpareGone = true; }

// Takes a kept buffer of at least bytes, or allocates one (zeroed when
// asked); *held is the buffer's size.
MallocBytes TakeBuffer(MallocBytes* spare, size_t* spareBytes, size_t bytes, bool zeroed, size_t* held) {
    MallocBytes buffer;
    if (!tSpareGone && *spare && *spareBytes >= bytes) {
        buffer = std::move(*spare);
        *held = *spareBytes;
        *spareBytes = 0;
        if (zeroed) std::memset(buffer.get(), 0, bytes);
        return buffer;
    }
    buffer.reset(static_cast<uint8_t*>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes)));
    if (!buffer) throw std::bad_alloc();
    *held = bytes;
    return buffer;
}

void KeepBuffer(MallocBytes* buffer, size_t bytes, MallocBytes* spare, size_t* spareBytes) {
    if (!*buffer || bytes > kMostKeptBytes) return;
    *spare = std::move(*buffer);
    *spareBytes = bytes;
}

// Reads up to count bytes; missing bytes read as zero, so nothing stale is
// ever taken for data. Returns how many arrived.
size_t ReadSome(std::FILE* file, uint8_t* buffer, size_t count) {
    size_t got = std::fread(buffer, 1, count, file);
    if (got < count) std::memset(buffer + got, 0, count - got);
    return got;
}

// Data sub-blocks up to the zero-length terminator or the end of the file.
void SkipSubBlocks(GifFrameState* f, std::FILE* file) {
    for (;;) {
        int length = std::getc(file);
        if (length == EOF || length == 0) return;
        if (ReadSome(file, f->subBlock, static_cast<size_t>(length)) < static_cast<size_t>(length)) return;
    }
}

// Graphic control: size, packed, delay (2), transparent index, terminator.
void ReadGraphicControl(GifFrameState* f, std::FILE* file) {
    uint8_t b[6];
    ReadSome(file, b, sizeof b);
    f->disposal = (b[1] >> 2) & 7;
    f->delay = Le16(b + 2);
    // A delay of 0 would spin the animation; it is shown as 6 hundredths.
    if (f->delay == 0) f->delay = 6;
    f->transparentIndex = (b[1] & 1) ? b[4] : -1;
}

// Application: size, 8-byte identifier, 3-byte code, then sub-blocks. The
// NETSCAPE loop count is kept but every image on the wall loops for ever.
void ReadApplication(GifFrameState* f, std::FILE* file) {
    uint8_t b[12];
    if (ReadSome(file, b, sizeof b) < sizeof b) return;
    bool netscape = std::memcmp(b + 1, "NETSCAPE", 8) == 0;
    for (;;) {
        int length = std::getc(file);
        if (length == EOF || length == 0) return;
        size_t got = ReadSome(file, f->subBlock, static_cast<size_t>(length));
        if (netscape && got >= 3) f->decoder->loopCount = Le16(f->subBlock + 1);
        if (got < static_cast<size_t>(length)) return;
    }
}

void ReadExtension(GifFrameState* f, std::FILE* file) {
    int label = std::getc(file);
    switch (label) {
        case kGifGraphicControlLabel:
            ReadGraphicControl(f, file);
            break;
        case kGifApplicationLabel:
            ReadApplication(f, file);
            break;
        case kGifCommentLabel:
            SkipSubBlocks(f, file);
            break;
        case kGifPlainTextLabel: {  // block size and the 12-byte grid header
            uint8_t header[13];
            if (ReadSome(file, header, sizeof header) == sizeof header) SkipSubBlocks(f, file);
            break;
        }
        default:
            // Unknown labels: their bytes are met one at a time by the block
            // loop, which skips anything that is not an introducer.
            break;
    }
}

// Only a regular file is read. The type is checked on the open file, not on
// the name, so a name swapped for a FIFO after the folder was listed is
// refused too; O_NONBLOCK keeps the open itself from waiting for a writer
// (and changes nothing when reading a regular file). The stream reads
// through a buffer of the file's size, up to 64 KiB: a small file is one
// read call.
void OpenRegularFile(GifDecoder* d, const char* path) {
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) FailDecode();
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        FailDecode();
    }
    std::FILE* stream = ::fdopen(fd, "rb");
    if (!stream) {
        ::close(fd);
        throw std::bad_alloc();
    }
    d->file = stream;
    const size_t bufferSize = static_cast<size_t>(std::clamp<off_t>(info.st_size + 1, 512, 65536));
    d->fileBuffer = TakeBuffer(&tSpare.fileBuffer, &tSpare.fileBufferBytes, bufferSize, false, &d->fileBufferBytes);
    std::setvbuf(stream, reinterpret_cast<char*>(d->fileBuffer.get()), _IOFBF, bufferSize);
    // A stream opened from a descriptor does not know its offset, and every
    // ftell (one per image) would ask the kernel; after a seek it counts
    // the offset itself.
    if (std::fseek(stream, 0, SEEK_SET) != 0) FailDecode();
}

// The header, screen and global table of the stream the decoder holds.
void ReadScreen(GifDecoder* d);

int DecodeOpened(GifDecoder* decoder, GifFrameSink* sink) {
    GifFileInfo info{decoder->screenWidth, decoder->screenHeight, decoder->scaledWidth,
                     decoder->scaledHeight};
    sink->Opened(info);
    for (;;) {
        int block = ReadGifBlock(decoder);
        if (block == kGifImageSeparator) {
            sink->Frame(GifFrame{decoder->canvas.get(), decoder->scaledWidth, decoder->scaledHeight,
                                 decoder->frame.delay});
        } else if (block == kGifTrailer) {
            if (decoder->frameCount == 0) FailDecode();
            return decoder->frameCount;
        }
    }
}

}  // namespace

GifDecoder::GifDecoder() { frame.decoder = this; }

GifDecoder::~GifDecoder() {
    if (file) std::fclose(file);  // before its buffer is kept
    if (tSpareGone) return;
    if (lzw) tSpare.lzw = std::move(lzw);
    KeepBuffer(&fileBuffer, fileBufferBytes, &tSpare.fileBuffer, &tSpare.fileBufferBytes);
    KeepBuffer(&canvas, canvasBytes, &tSpare.canvas, &tSpare.canvasBytes);
}

std::unique_ptr<GifLzwTable> TakeSpareLzwTable() {
    if (tSpareGone) return nullptr;
    return std::move(tSpare.lzw);
}

void OpenGif(GifDecoder* d, const char* path) {
    OpenRegularFile(d, path);
    ReadScreen(d);
}

void OpenGifStream(GifDecoder* d, std::FILE* stream) {
    d->file = stream;
    d->fileSeekable = std::ftell(stream) >= 0;
    ReadScreen(d);
}

namespace {

// Header "GIF8??" (6 bytes) and screen descriptor: width, height (2 each),
// packed (global table flag, size N), background index, aspect.
void ReadScreen(GifDecoder* d) {
    std::FILE* stream = d->file;
    uint8_t b[13];
    if (std::fread(b, 1, sizeof b, stream) < sizeof b) FailDecode();
    // The version bytes are not checked: any "GIF8" header is accepted.
    if (std::memcmp(b, "GIF8", 4) != 0) FailDecode();
    d->screenWidth = Le16(b + 6);
    d->screenHeight = Le16(b + 8);
    SizeCanvas(d, gScaleWidth);

    d->hasGlobalTable = (b[10] & 0x80) != 0;
    d->globalTableSize = 2 << (b[10] & 7);
    d->backgroundIndex = b[11];
    if (d->hasGlobalTable) {
        size_t bytes = static_cast<size_t>(d->globalTableSize) * 3;
        uint8_t rgb[256 * 3];
        // A file that ends inside its global table holds no image anyway.
        if (std::fread(rgb, 1, bytes, stream) < bytes) FailDecode();
        d->globalTable.resize(static_cast<size_t>(d->globalTableSize) * 4);
        for (int32_t i = 0; i < d->globalTableSize; ++i) {
            std::memcpy(&d->globalTable[static_cast<size_t>(i) * 4], rgb + i * 3, 3);
            d->globalTable[static_cast<size_t>(i) * 4 + 3] = 255;
        }
    }

    // The string store is not made here: the first image makes it, sized
    // for that image (see PrepareLzwTable).
    uint64_t pixels = static_cast<uint64_t>(d->scaledWidth) * static_cast<uint64_t>(d->scaledHeight);
    if (pixels * 4 > gMaxCanvasBytes) FailDecode();
    d->canvas = TakeBuffer(&tSpare.canvas, &tSpare.canvasBytes, static_cast<size_t>(pixels) * 4, true,
                           &d->canvasBytes);
}

}  // namespace

int ReadGifBlock(GifDecoder* d) {
    int introducer = std::getc(d->file);
    if (introducer == EOF) return kGifTrailer;
    // The disposal in force is that of the latest graphic control, so the
    // clear lands after an image that asked for it, or right before one.
    RestoreToBackground(d);
    switch (introducer) {
        case kGifImageSeparator:
            if (!DecodeImage(&d->frame, d->file, d->canvas.get())) return kGifTrailer;
            d->frame.imageSeen = true;
            return kGifImageSeparator;
        case kGifExtensionIntroducer:
            ReadExtension(&d->frame, d->file);
            return kGifExtensionIntroducer;
        default:
            return introducer;
    }
}

// Image descriptor: left, top, width, height (2 each), packed (local table
// flag, interlace flag, size N); then the local table and the image data.
bool DecodeImage(GifFrameState* f, std::FILE* file, uint8_t* canvas) {
    GifDecoder* d = f->decoder;
    ResetImageMarks(d);
    d->canvasCleared = false;
    if (std::fread(f->subBlock, 1, 9, file) < 9) return false;
    const uint8_t* b = f->subBlock;
    f->left = Le16(b);
    f->top = Le16(b + 2);
    f->width = Le16(b + 4);
    f->height = Le16(b + 6);
    uint8_t packed = b[8];
    // An image must lie wholly inside the logical screen.
    if (f->left + f->width > d->screenWidth || f->top + f->height > d->screenHeight) FailDecode();
    f->hasLocalTable = (packed & 0x80) != 0;
    f->interlaced = (packed & 0x40) != 0;

    if (f->hasLocalTable) {
        int32_t size = 2 << (packed & 7);
        uint8_t rgb[256 * 3];
        size_t bytes = static_cast<size_t>(size) * 3;
        if (std::fread(rgb, 1, bytes, file) < bytes) return false;
        f->tableSize = size;
        f->localTable.resize(static_cast<size_t>(size) * 4);
        for (int32_t i = 0; i < size; ++i) {
            std::memcpy(&f->localTable[static_cast<size_t>(i) * 4], rgb + i * 3, 3);
            // An index beyond a local table makes no entry transparent.
            f->localTable[static_cast<size_t>(i) * 4 + 3] = i == f->transparentIndex ? 0 : 255;
        }
        f->table = f->localTable.data();
    } else {
        if (!d->hasGlobalTable) FailDecode();
        if (f->transparentIndex != -1 && f->transparentIndex >= d->globalTableSize) FailDecode();
        f->table = d->globalTable.data();
        f->tableSize = d->globalTableSize;
        for (int32_t i = 0; i < d->globalTableSize; ++i) {
            d->globalTable[static_cast<size_t>(i) * 4 + 3] = i == f->transparentIndex ? 0 : 255;
        }
    }

    bool started = DecodeImageData(f, file, canvas);
    if (f->hasLocalTable) {
        f->localTable.clear();
        f->table = nullptr;
    }
    if (!started) return false;
    ++d->frameCount;
    return true;
}

int DecodeGifStream(std::FILE* stream, GifFrameSink* sink, bool referencePixelPath) {
    GifDecoder decoder;
    decoder.referencePixelPath = referencePixelPath;
    OpenGifStream(&decoder, stream);
    return DecodeOpened(&decoder, sink);
}

int DecodeGifFile(const char* path, GifFrameSink* sink, bool referencePixelPath) {
    GifDecoder decoder;
    decoder.referencePixelPath = referencePixelPath;
    OpenGif(&decoder, path);
    return DecodeOpened(&decoder, sink);
}
