// LZW image data: variable-width codes, least significant bit first, in data
// sub-blocks of up to 255 bytes. Strings live back to back in stringStore,
// one start offset per code; a new string is a copy of its prefix plus one
// byte, and every pixel goes straight from the store to the canvas.
#include <cstring>

#include "gif/gif_internal.h"

namespace {

// Codes come out of a bit buffer fed from the current sub-block. The next
// sub-block is read only when a code needs its bits, so the file position
// after the end code is exactly where a byte-by-byte reader would leave it.
struct CodeReader {
    GifFrameState* frame;
    std::FILE* file;
    uint32_t bytePos = 0;  // next byte of subBlock not yet in the buffer
    uint64_t bits = 0;
    int bitCount = 0;
    bool ended = false;  // the data ended before an end code

    // Reads the next sub-block. The data end at a zero-length sub-block, at
    // the end of the file, or after a sub-block cut short by the end of the
    // file; no stale byte of an earlier sub-block is ever used again.
    bool NextSubBlock() {
        int length = std::getc(file);
        if (length == EOF || length == 0) return false;
        size_t got = std::fread(frame->subBlock, 1, static_cast<size_t>(length), file);
        frame->subBlockLength = static_cast<uint8_t>(got);
        bytePos = 0;
        return got > 0;
    }
};

constexpr int32_t kDataEnded = -1;

// Appends the string of previous plus byte as code nextCode. k steps over the
// empty clear and end slots after the last root.
inline int AddCode(GifDecoder* d, int32_t previous, uint8_t byte, int32_t k) {
    if (previous < 0) return 0;
    int32_t start = d->codeStart[previous];
    int32_t len = d->codeStart[previous + k] - start;
    int32_t dest = d->codeStart[d->nextCode];
    // The store is sized so that this cannot happen; check anyway.
    if (static_cast<uint64_t>(dest) + static_cast<uint64_t>(len) + 1 > d->stringStoreSize) FailDecode();
    uint8_t* store = d->stringStore.get();
    // The store has slack behind its stated size, and the new string starts
    // behind every existing one, so a step never overwrites a byte it still
    // has to read.
    CopyInSteps(store + dest, store + start, len);
    store[dest + len] = byte;
    d->codeStart[d->nextCode + 1] = dest + len + 1;
    ++d->nextCode;
    return 1;
}

void ResetTable(GifDecoder* d, int32_t clearCode) {
    d->nextCode = clearCode + 2;
    d->codeStart[clearCode + 2] = clearCode;
}

}  // namespace

bool DecodeImageData(GifFrameState* f, std::FILE* file, uint8_t* canvas) {
    GifDecoder* d = f->decoder;
    int minCodeSize = std::getc(file);
    if (minCodeSize == EOF) return false;
    f->minCodeSize = static_cast<uint8_t>(minCodeSize);
    if (minCodeSize < 2 || minCodeSize > 8) FailDecode();
    if (f->tableSize == 2 && minCodeSize != 2) FailDecode();

    const int32_t clearCode = 1 << minCodeSize;
    const int32_t endCode = clearCode + 1;
    uint8_t* const store = d->stringStore.get();
    int32_t* const codeStart = d->codeStart;
    for (int32_t i = 0; i < clearCode; ++i) {
        store[i] = static_cast<uint8_t>(i);
        codeStart[i] = i;
    }
    ResetTable(d, clearCode);
    int width = minCodeSize + 1;

    CodeReader in{f, file};
    f->subBlockLength = 0;
    if (!in.NextSubBlock()) return true;  // no data at all: the image is empty

    PixelWriter out(f, canvas);
    // The hot state lives in locals: the byte stores below may alias any
    // memory, and the compiler would reload fields after each of them.
    uint8_t* const rowIndices = out.rowIndices.data();
    const bool reference = out.reference;
    const int32_t imageWidth = f->width;
    int32_t filled = 0;
    int64_t left = out.total;  // pixels the image still has room for
    auto emit = [&](const uint8_t* s, int32_t len) __attribute__((always_inline)) {
        if (reference) {
            out.EmitReference(s, len);
            return;
        }
        // MapPixel fails the file at the first pixel beyond the image;
        // nothing drawn before that survives the failure, so fail first.
        if (len > left) FailDecode();
        left -= len;
        CopyInSteps(rowIndices + filled, s, len);
        filled += len;
        if (filled >= imageWidth) {
            out.filled = filled;
            out.DrawFullRows();
            filled = out.filled;
        }
    };
    auto finish = [&] {
        out.filled = filled;
        out.Finish();
    };
    // Bit buffer in locals too; the reader struct is only touched to fetch
    // the next sub-block.
    uint64_t bits = 0;
    int bitCount = 0;
    uint32_t bytePos = 0;
    uint32_t blockLength = f->subBlockLength;
    const uint8_t* block = f->subBlock;
    auto readCode = [&](int32_t limit) __attribute__((always_inline)) -> int32_t {
        while (bitCount < width) {
            if (bytePos + 8 <= blockLength) {
                // Load 8 bytes and keep the whole bytes that fit. Bits above
                // bitCount may already hold the following bytes; a later
                // load ORs the very same bits there again.
                uint64_t v;
                std::memcpy(&v, block + bytePos, 8);
                bits |= v << bitCount;
                int take = (63 - bitCount) >> 3;
                bytePos += static_cast<uint32_t>(take);
                bitCount += take * 8;
            } else if (bytePos < blockLength) {
                bits |= static_cast<uint64_t>(block[bytePos++]) << bitCount;
                bitCount += 8;
            } else if (in.NextSubBlock()) {
                bytePos = 0;
                blockLength = f->subBlockLength;
            } else {
                return kDataEnded;
            }
        }
        int32_t code = static_cast<int32_t>(bits & ((1u << width) - 1));
        bits >>= width;
        bitCount -= width;
        // nextCode itself is the one code not yet in the table that may come.
        if (code > limit) FailDecode();
        return code;
    };
    auto lengthOf = [&](int32_t code) {
        int32_t k = code == clearCode - 1 ? 3 : 1;
        return codeStart[code + k] - codeStart[code];
    };

    // The first code is thrown away: valid data begin with a clear code, and
    // when they do not, that code's pixels are lost.
    if (readCode(d->nextCode) == kDataEnded) return true;
    int32_t c0 = readCode(d->nextCode);
    if (c0 == kDataEnded) return true;
    // The second code must be a root: clear, end and added codes have no
    // string yet.
    if (c0 >= clearCode) FailDecode();
    emit(store + codeStart[c0], 1);
    int32_t previous = c0;
    bool tableFull = false;
    int32_t nextCode = d->nextCode;

    for (;;) {
        int32_t code = readCode(nextCode);
        if (code == kDataEnded) {
            finish();
            d->nextCode = nextCode;
            return true;  // the terminator is already behind us
        }
        int32_t first;  // first byte of the string just emitted
        if (code == nextCode) {
            // The one string not yet in the table: the previous string plus
            // its own first byte.
            if (previous < 0) FailDecode();
            int32_t start = codeStart[previous];
            first = store[start];
            emit(store + start, lengthOf(previous));
            emit(store + start, 1);
        } else if (code == clearCode) {
            ResetTable(d, clearCode);
            nextCode = d->nextCode;
            tableFull = false;
            previous = -1;
            width = minCodeSize + 1;
            continue;
        } else if (code == endCode) {
            finish();
            break;
        } else {
            int32_t start = codeStart[code];
            first = store[start];
            emit(store + start, lengthOf(code));
        }
        if (!tableFull && previous >= 0) {
            d->nextCode = nextCode;
            AddCode(d, previous, static_cast<uint8_t>(first), previous == clearCode - 1 ? 3 : 1);
            nextCode = d->nextCode;
        }
        if (nextCode == (1 << width)) {
            // At 4096 codes the table freezes until the next clear code.
            if (width == 12) {
                tableFull = true;
            } else {
                ++width;
            }
        }
        previous = code;
    }
    d->nextCode = nextCode;
    // The byte after the end code is taken as the terminator; the rest of the
    // current sub-block goes with it.
    std::getc(file);
    return true;
}
