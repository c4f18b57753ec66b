// LZW image data: variable-width codes, least significant bit first, in data
// sub-blocks of up to 255 bytes. Strings live back to back in stringStore,
// one start offset per code; a new string is a copy of its prefix plus one
// byte, and every pixel goes straight from the store to the canvas.
//
// Two decoders share these rules: a straightforward one that reads codes bit
// by bit and hands every pixel to MapPixel, and a fast one (the default) with
// a bit buffer, a row-wise writer and the hot state in registers. Tests and
// the fuzzer hold them to the same output.
#include <cstring>

#include "gif/gif_internal.h"

namespace {

constexpr int32_t kDataEnded = -1;

// Reads the next data sub-block into the frame's buffer. The data end at a
// zero-length sub-block, at the end of the file, or after a sub-block cut
// short by the end of the file (its bytes that did arrive are used); no stale
// byte of an earlier sub-block is ever used again.
bool NextSubBlock(GifFrameState* f, std::FILE* file) {
    int length = std::getc(file);
    if (length == EOF || length == 0) return false;
    size_t got = std::fread(f->subBlock, 1, static_cast<size_t>(length), file);
    f->subBlockLength = static_cast<uint8_t>(got);
    return got > 0;
}

void ResetTable(GifDecoder* d, int32_t clearCode) {
    d->nextCode = clearCode + 2;
    d->codeStart[clearCode + 2] = clearCode;
}

// ---------------------------------------------------------------- reference

// Gathers a code from consecutive bytes, first byte from the bit offset up,
// later bytes whole; the next sub-block is read only when a code needs it.
int32_t ReadCode(GifFrameState* f, int width, int32_t* bitPos, std::FILE* file) {
    int32_t value = 0;
    int gathered = 0;
    while (gathered < width) {
        int32_t byteIndex = *bitPos / 8;
        if (byteIndex == f->subBlockLength) {
            if (!NextSubBlock(f, file)) return kDataEnded;
            *bitPos = 0;
            byteIndex = 0;
        }
        int offset = *bitPos % 8;
        int32_t byte = f->subBlock[byteIndex];
        int32_t contribution = gathered == 0 ? byte >> offset : byte << gathered;
        value += contribution & ((1 << width) - 1);
        gathered += 8 - offset;
        *bitPos = (byteIndex + 1) * 8;
    }
    *bitPos -= gathered - width;
    // nextCode itself is the one code not yet in the table that may come.
    if (value > f->decoder->nextCode) FailDecode();
    return value;
}

// Appends previous's string plus byte as code nextCode. k steps over the
// empty clear and end slots after the last root.
int AddCode(GifFrameState* f, int32_t previous, uint8_t byte, int32_t k) {
    if (previous < 0) return 0;
    GifDecoder* d = f->decoder;
    int32_t len = d->codeStart[previous + k] - d->codeStart[previous];
    int32_t dest = d->codeStart[d->nextCode];
    uint8_t* store = d->stringStore.get();
    std::memmove(store + dest, store + d->codeStart[previous], static_cast<size_t>(len));
    store[dest + len] = byte;
    d->codeStart[d->nextCode + 1] = dest + len + 1;
    ++d->nextCode;
    return 1;
}

__attribute__((noinline)) void DecodeCodesReference(GifFrameState* f, std::FILE* file, PixelWriter* out,
                          int32_t clearCode) {
    GifDecoder* d = f->decoder;
    const int32_t endCode = clearCode + 1;
    uint8_t* store = d->stringStore.get();
    auto kOf = [&](int32_t code) { return code == clearCode - 1 ? 3 : 1; };
    auto lengthOf = [&](int32_t code) {
        return d->codeStart[code + kOf(code)] - d->codeStart[code];
    };
    int width = f->minCodeSize + 1;
    int32_t bitPos = 0;

    int32_t previous = -1;
    bool tableFull = false;
    // Data that begin with a clear code: the code after it must be a root
    // (clear, end and added codes have no string to draw). Data that do not
    // begin with one start decoding at their first code, with no previous
    // code, as if a clear code had come before it.
    int32_t code = ReadCode(f, width, &bitPos, file);
    if (code == kDataEnded) return;
    if (code == clearCode) {
        int32_t c0 = ReadCode(f, width, &bitPos, file);
        if (c0 == kDataEnded) return;
        if (c0 >= clearCode) FailDecode();
        out->EmitReference(store + d->codeStart[c0], 1);
        previous = c0;
        code = ReadCode(f, width, &bitPos, file);
    }

    for (;; code = ReadCode(f, width, &bitPos, file)) {
        if (code == kDataEnded) return;  // the terminator is already behind us
        if (code == d->nextCode) {
            if (previous < 0) FailDecode();  // no string to repeat
            int32_t start = d->codeStart[previous];
            out->EmitReference(store + start, lengthOf(previous));
            out->EmitReference(store + start, 1);
            if (!tableFull) AddCode(f, previous, store[start], kOf(previous));
        } else if (code == clearCode) {
            ResetTable(d, clearCode);
            tableFull = false;
            previous = -1;
            width = f->minCodeSize + 1;
            continue;
        } else if (code == endCode) {
            break;
        } else {
            int32_t start = d->codeStart[code];
            out->EmitReference(store + start, lengthOf(code));
            if (!tableFull) AddCode(f, previous, store[start], kOf(previous));
        }
        if (d->nextCode == (1 << width)) {
            // At 4096 codes the table freezes until the next clear code.
            if (width == 12) {
                tableFull = true;
            } else {
                ++width;
            }
        }
        previous = code;
    }
    // The byte after the end code is taken as the terminator; the rest of
    // the current sub-block goes with it.
    std::getc(file);
}

// ---------------------------------------------------------------- fast

// The same rules with the state in locals (byte stores may alias any memory,
// which would make the compiler reload fields after each of them). Strings
// are copied in whole 8-byte steps into the store's and the row's slack.
// Besides the offsets, codeStart[clearCode] holds clearCode, so that the last
// root's length comes out of the common formula.
__attribute__((noinline)) void DecodeCodesFast(GifFrameState* f, std::FILE* file, PixelWriter* out, int32_t clearCode) {
    GifDecoder* d = f->decoder;
    const int32_t endCode = clearCode + 1;
    uint8_t* const store = d->stringStore.get();
    int32_t* const codeStart = d->codeStart;
    codeStart[clearCode] = clearCode;

    uint8_t* const row = out->rowIndices.data();
    const int32_t imageWidth = f->width;
    int32_t filled = 0;
    int64_t room = out->total;  // pixels the image still has room for

    uint64_t bits = 0;
    int bitCount = 0;
    uint32_t bytePos = 0;
    uint32_t blockLength = f->subBlockLength;
    const uint8_t* const block = f->subBlock;
    int width = f->minCodeSize + 1;
    int32_t widthLimit = 1 << width;  // nextCode that makes codes one bit wider
    int32_t nextCode = clearCode + 2;
    int32_t storeEnd = clearCode;  // == codeStart[nextCode]

    // Between two clear codes every added string is an emitted string plus
    // one byte, and no more than the image's pixels are ever emitted, so the
    // strings take at most twice the image's pixels behind the roots. The
    // store holds twice the screen's pixels plus 261: one check for the image
    // replaces a check at every added string.
    if (2 * static_cast<uint64_t>(out->total) + 261 > d->stringStoreSize) FailDecode();

    // Codes come from a bit buffer. Bits above bitCount may already hold the
    // following bytes of the sub-block; a later load ORs the same bits again.
    // The next sub-block is read only when a code needs its bits, so the file
    // position after the end code is the straightforward reader's.
    auto readCode = [&]() __attribute__((always_inline)) -> int32_t {
        if (__builtin_expect(bytePos + 8 <= blockLength, 1)) {
            // Top the buffer up at every code: no hard-to-predict branch.
            uint64_t v;
            std::memcpy(&v, block + bytePos, 8);
            bits |= v << bitCount;
            int take = (63 - bitCount) >> 3;
            bytePos += static_cast<uint32_t>(take);
            bitCount += take * 8;
        } else {
            while (bitCount < width) {
                if (bytePos < blockLength) {
                    bits |= static_cast<uint64_t>(block[bytePos++]) << bitCount;
                    bitCount += 8;
                } else if (NextSubBlock(f, file)) {
                    bytePos = 0;
                    blockLength = f->subBlockLength;
                } else {
                    return kDataEnded;
                }
            }
        }
        int32_t code = static_cast<int32_t>(bits & ((1u << width) - 1));
        bits >>= width;
        bitCount -= width;
        if (code > nextCode) FailDecode();
        return code;
    };
    auto emit = [&](int32_t start, int32_t len) __attribute__((always_inline)) {
        // MapPixel fails the file at the first pixel beyond the image;
        // nothing drawn before that survives, so fail before drawing.
        if (len > room) FailDecode();
        room -= len;
        CopyInSteps(row + filled, store + start, len);
        filled += len;
        if (filled >= imageWidth) {
            out->filled = filled;
            out->DrawFullRows();
            filled = out->filled;
        }
    };
    auto finish = [&] {
        out->filled = filled;
        out->Finish();
        d->nextCode = nextCode;
    };

    // Start and length of the previous code's string; prevLen < 0: none.
    int32_t prevStart = 0;
    int32_t prevLen = -1;
    bool tableFull = false;
    // A leading clear code is followed by a root; data without one decode
    // from their first code on (see the reference decoder).
    int32_t code = readCode();
    if (code == kDataEnded) return finish();
    if (code == clearCode) {
        int32_t c0 = readCode();
        if (c0 == kDataEnded) return finish();
        if (c0 >= clearCode) FailDecode();
        emit(c0, 1);
        prevStart = c0;
        prevLen = 1;
        code = readCode();
    }

    // The new string: the previous one plus the first byte of this one.
    auto addCode = [&](uint8_t first) __attribute__((always_inline)) {
        CopyInSteps(store + storeEnd, store + prevStart, prevLen);
        store[storeEnd + prevLen] = first;
        storeEnd += prevLen + 1;
        codeStart[++nextCode] = storeEnd;
    };

    for (;; code = readCode()) {
        if (code == kDataEnded) return finish();  // the terminator is behind us
        if (__builtin_expect(code < nextCode && code != clearCode && code != endCode, 1)) {
            int32_t start = codeStart[code];
            int32_t len = codeStart[code + 1] - start;
            emit(start, len);
            if (!tableFull && prevLen >= 0) addCode(store[start]);
            prevStart = start;
            prevLen = len;
        } else if (code == nextCode) {
            // The one string not yet in the table: the previous string plus
            // its own first byte. The table cannot be full here: a full
            // table has nextCode 4096, beyond any 12-bit code.
            if (prevLen < 0) FailDecode();  // no string to repeat
            emit(prevStart, prevLen);
            emit(prevStart, 1);
            int32_t added = storeEnd;
            addCode(store[prevStart]);
            prevStart = added;
            prevLen += 1;
        } else if (code == clearCode) {
            nextCode = clearCode + 2;
            storeEnd = clearCode;
            codeStart[nextCode] = storeEnd;
            tableFull = false;
            prevLen = -1;
            width = f->minCodeSize + 1;
            widthLimit = 1 << width;
            continue;
        } else {  // end code
            finish();
            break;
        }
        if (__builtin_expect(nextCode == widthLimit, 0)) {
            // At 4096 codes the table freezes until the next clear code.
            if (width == 12) {
                tableFull = true;
            } else {
                ++width;
                widthLimit <<= 1;
            }
        }
    }
    std::getc(file);
}

}  // namespace

bool DecodeImageData(GifFrameState* f, std::FILE* file, uint8_t* canvas) {
    GifDecoder* d = f->decoder;
    int minCodeSize = std::getc(file);
    if (minCodeSize == EOF) return false;
    f->minCodeSize = static_cast<uint8_t>(minCodeSize);
    if (minCodeSize < 2 || minCodeSize > 8) FailDecode();
    if (f->tableSize == 2 && minCodeSize != 2) FailDecode();

    // The roots: one byte each, their own value.
    const int32_t clearCode = 1 << minCodeSize;
    uint8_t* store = d->stringStore.get();
    for (int32_t i = 0; i < clearCode; ++i) {
        store[i] = static_cast<uint8_t>(i);
        d->codeStart[i] = i;
    }
    ResetTable(d, clearCode);

    f->subBlockLength = 0;
    if (!NextSubBlock(f, file)) return true;  // no data at all: the image is empty

    PixelWriter out(f, canvas);
    if (out.reference) {
        DecodeCodesReference(f, file, &out, clearCode);
    } else {
        DecodeCodesFast(f, file, &out, clearCode);
    }
    return true;
}
