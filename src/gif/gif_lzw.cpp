// LZW image data: variable-width codes, least significant bit first, in data
// sub-blocks of up to 255 bytes.
//
// Two decoders share these rules. The straightforward one reads codes bit by
// bit, keeps the strings back to back in a flat store (a new string is a
// copy of its prefix plus one byte) and hands every pixel to MapPixel. The
// fast one (the default) gathers the sub-blocks into one run of bytes and
// reads each code with one 8-byte load, keeps a linked table that adds a
// code in constant time, and has a row-wise writer; it writes a string out
// only when a drawn row holds its pixels, and runs over the codes of
// downscaled rows that the next row draws over without writing anything. Tests and the fuzzer hold them to
// the same output.
//
// The first code: data that begin with a clear code are followed by a root;
// data that do not begin with one decode from their first code on, as if a
// clear code had come before it (that code is data, not thrown away).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "gif/gif_internal.h"

namespace {

constexpr int32_t kDataEnded = -1;
// The fast reader's end of data: above every code, so that one compare
// against nextCode catches it with the codes that are not in the table.
constexpr int32_t kNoMoreData = 0x10000;

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

void ResetTable(GifLzwTable* t, int32_t clearCode) {
    t->nextCode = clearCode + 2;
    t->codeStart[clearCode + 2] = clearCode;
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
    if (value > f->decoder->lzw->nextCode) FailDecode();
    return value;
}

// Appends previous's string plus byte as code nextCode. k steps over the
// empty clear and end slots after the last root.
int AddCode(GifFrameState* f, int32_t previous, uint8_t byte, int32_t k) {
    if (previous < 0) return 0;
    GifLzwTable* d = f->decoder->lzw.get();
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
    GifLzwTable* d = f->decoder->lzw.get();
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

// The fast decoder: the same rules and failures with the linked table.
// Adding a code is constant time; a string is written into the row buffer
// only when a drawn row holds some of its pixels. On a downscaled canvas the
// source rows whose pixels the next source row draws over (the canvas shows
// the last source row of each canvas row) are not written at all: the
// decoder runs over their codes up to the next drawn row in one go. Should
// the data end before the last row, what those rows drew could show, and the
// image is decoded again with every row written.

// The image data of the fast decoder, gathered from the sub-blocks into one
// run of bytes a chunk at a time. The first sub-block is already in the
// frame's buffer. Sub-blocks end as for the reference reader: at a zero
// length, at the end of the file, or cut short by it.
struct GatheredData {
    GifFrameState* f;
    std::FILE* file;
    GifLzwTable* t;
    uint8_t* bytes = nullptr;
    size_t size = 0;       // bytes held, read from bytes[0]
    uint64_t base = 0;     // data offset of bytes[0]
    uint64_t fileRead = 0;  // file bytes read after the first sub-block
    bool ended = false;    // no sub-block follows

    // Bytes gathered per chunk, at least: long enough that refilling is rare,
    // short enough that a long stream of clear codes does not take memory.
    static constexpr size_t kChunk = 256 * 1024;

    GatheredData(GifFrameState* frame, std::FILE* stream, GifLzwTable* table)
        : f(frame), file(stream), t(table) {
        t->blockEnds.clear();
        t->blockFileEnds.clear();
        Reserve(4096);
        std::memcpy(bytes, f->subBlock, f->subBlockLength);
        size = f->subBlockLength;
        t->blockEnds.push_back(size);
        t->blockFileEnds.push_back(0);
        Gather();
    }

    void Reserve(size_t capacity) {
        if (t->gatheredCapacity >= capacity) {
            bytes = t->gathered.get();
            return;
        }
        // Doubling: small images keep a small buffer, large ones grow to a
        // chunk in a few steps.
        capacity = std::max(capacity, 2 * t->gatheredCapacity);
        MallocBytes grown(static_cast<uint8_t*>(std::malloc(capacity + 8)));
        if (!grown) throw std::bad_alloc();
        if (size > 0) std::memcpy(grown.get(), bytes, size);
        t->gathered = std::move(grown);
        t->gatheredCapacity = capacity;
        bytes = t->gathered.get();
    }

    // Reads whole sub-blocks until a chunk is held or the data end; the 8
    // bytes behind the data are zeroed for the loads that reach them.
    void Gather() {
        while (!ended && size < kChunk) {
            Reserve(size + 255);
            // The stream is this decoder's alone: no locking per sub-block.
            int length = getc_unlocked(file);
            if (length == EOF) {
                ended = true;
                break;
            }
            ++fileRead;
            if (length == 0) {
                ended = true;
                break;
            }
            size_t got = fread_unlocked(bytes + size, 1, static_cast<size_t>(length), file);
            fileRead += got;
            if (got == 0) {
                ended = true;
                break;
            }
            size += got;
            t->blockEnds.push_back(base + size);
            t->blockFileEnds.push_back(fileRead);
            if (got < static_cast<size_t>(length)) ended = true;
        }
        std::memset(bytes + size, 0, 8);
    }

    // Drops the bytes before bitPos and gathers more; false when no more
    // data come.
    bool Refill(uint64_t* bitPos) {
        if (ended) return false;
        const size_t keep = static_cast<size_t>(*bitPos >> 3);
        std::memmove(bytes, bytes + keep, size - keep);
        size -= keep;
        base += keep;
        *bitPos &= 7;
        // Sub-blocks wholly behind the kept bytes cannot hold the end code.
        size_t drop = 0;
        while (drop + 1 < t->blockEnds.size() && t->blockEnds[drop] <= base) ++drop;
        t->blockEnds.erase(t->blockEnds.begin(), t->blockEnds.begin() + static_cast<std::ptrdiff_t>(drop));
        t->blockFileEnds.erase(t->blockFileEnds.begin(),
                               t->blockFileEnds.begin() + static_cast<std::ptrdiff_t>(drop));
        Gather();
        return true;
    }

    // After the end code, whose last bit is just before bitPos: the file is
    // left where the reference reader leaves it, one byte past the
    // sub-block that held that bit.
    void PlaceFileAfterEndCode(uint64_t bitPos) {
        const uint64_t lastByte = base + (bitPos - 1) / 8;
        size_t k = 0;
        while (k + 1 < t->blockEnds.size() && t->blockEnds[k] <= lastByte) ++k;
        const uint64_t wanted = t->blockFileEnds[k] + 1;
        if (wanted > fileRead) {
            if (!ended) std::getc(file);  // the next sub-block's length, not yet read
        } else if (wanted < fileRead) {
            if (std::fseek(file, -static_cast<long>(fileRead - wanted), SEEK_CUR) != 0) FailDecode();
        }
    }
};

// What happens to the pixels of the stored row being filled: drawn, jumped
// over with the superseded rows after it, or not drawn at all.
enum RowMode { kDraw, kJump, kBlocked };

// Writes the string of entry e at dst, 4 bytes a step from its end; up to 3
// bytes behind the string are overwritten (the buffers have slack).
inline __attribute__((always_inline)) void WalkString(const LzwEntry* table, LzwEntry e, uint8_t* dst) {
    const int32_t length = LzwLength(e);
    int32_t at = length - (((length - 1) & 3) + 1);
    uint32_t tail = LzwTail(e);
    std::memcpy(dst + at, &tail, 4);
    while (at > 0) {
        e = table[LzwPrefix(e)];
        at -= 4;
        tail = LzwTail(e);
        std::memcpy(dst + at, &tail, 4);
    }
}

// The row state the decoder hands over at the end of each row (or run of
// rows). The hot loop keeps its own copies in registers (byte stores into
// the row could alias anything whose address is taken).
struct RowState {
    RowMode mode;
    int32_t filled;    // pixels since the start of the row (or run of rows)
    int32_t end;       // pixels that complete it
    int32_t jumpRows;  // superseded rows being jumped over
    bool jumped;       // some rows were jumped over
};

void SetMode(RowState* s, const PixelWriter* out, int32_t imageWidth) {
    const int32_t superseded = out->SupersededRows();
    if (superseded > 0) {
        // The rows from here to the next drawn row count as one long row;
        // the string that crosses its end is written before the next row.
        s->mode = kJump;
        s->jumpRows = superseded;
        s->end = superseded * imageWidth;
        s->jumped = true;
    } else {
        s->mode = out->RowWanted() ? kDraw : kBlocked;
        s->end = imageWidth;
        if (s->mode == kDraw && !out->skipAllowed) {
            // No row of this image is jumped over: a batch of rows at once
            // (a row that is not wanted is drawn to no effect, as a
            // blocked row is).
            s->end *= std::clamp(out->frame->height - out->storedRow, 1, out->batchRows);
        }
    }
}

// The row (or run of rows) being filled is complete, and maybe more rows
// behind it.
__attribute__((noinline)) void CompleteRows(RowState* s, PixelWriter* out, uint8_t* row, int32_t imageWidth) {
    if (s->mode == kJump) {
        // Drawn over by the row after them: nothing to draw, and that row's
        // pixels so far already start at row[0].
        out->storedRow += s->jumpRows;
        s->filled -= s->end;
    }
    int32_t offset = 0;
    while (s->filled - offset >= imageWidth) {
        // A row beyond the image's last: more pixels than the image holds.
        if (imageWidth == 0 || out->storedRow >= out->frame->height) FailDecode();
        if (s->filled - offset >= 2 * imageWidth && out->CanDrawTwoRows(out->storedRow)) {
            out->DrawTwoRows(row + offset, row + offset + imageWidth, out->storedRow);
            offset += 2 * imageWidth;
            out->storedRow += 2;
            continue;
        }
        out->DrawRowAt(row + offset, imageWidth, out->storedRow, true);
        offset += imageWidth;
        ++out->storedRow;
    }
    s->filled -= offset;
    if (s->filled > 0 && out->storedRow >= out->frame->height) FailDecode();
    if (s->filled > 0 && offset > 0) std::memmove(row, row + offset, static_cast<size_t>(s->filled));
    SetMode(s, out, imageWidth);  // less than a row is left: nothing more to complete
}

// The table's tailShifts, copied into every table made.
struct TailShifts {
    uint8_t of[4096];
    constexpr TailShifts() : of{} {
        for (int n = 0; n < 4096; ++n) of[n] = static_cast<uint8_t>(LzwTailShift(n));
    }
};
constexpr TailShifts kTailShifts{};

// The decoder's state while it runs over codes, handed to RunCodes and back.
struct RunState {
    const uint8_t* src;  // the gathered data
    int64_t safe;        // four codes from bitPos on are wholly held while bitPos is at most this
    uint64_t bitPos;
    uint64_t width;
    uint64_t mask;
    uint64_t nextCode;  // 64 bits: an index without widening
    uint64_t limit;     // nextCode that makes codes one bit wider
    uint64_t previous;
    LzwEntry prev;
    int32_t at;  // pixels count up from minus the row's length to 0 at its end
};

// Writes the string of entry e (code), longer than 4 bytes, at dst, whose
// output position is here. From the first prefix on that the row buffer
// still holds where it was written before, the string is copied from there;
// up to it, it is walked, and every prefix met is remembered at here. A copy
// overwrites up to 31 bytes behind the string, a tail up to 3 (the buffers
// have slack). The string a prefix was last seen in ends at or before here,
// so a copy never reads what it writes.
inline __attribute__((always_inline)) void WriteLongString(const LzwEntry* table, int64_t* lastSeen, LzwEntry e,
                                                           uint64_t code, uint8_t* dst, int64_t here,
                                                           int64_t validFrom) {
    const int32_t length = LzwLength(e);
    int32_t at = length - (((length - 1) & 3) + 1);
    lastSeen[code] = here;
    int32_t prefix = LzwPrefix(e);
    int64_t seen = lastSeen[prefix];
    if (seen >= validFrom) {
        // Written before, and nothing wrote over it since: its bytes end at
        // or before here. Nothing is written yet, so the copy may run on
        // behind the prefix; the tail comes after it.
        const uint8_t* src = dst - (here - seen);
        uint8_t chunk[16];
        std::memcpy(chunk, src, 16);
        std::memcpy(dst, chunk, 16);
        std::memcpy(chunk, src + 16, 16);
        std::memcpy(dst + 16, chunk, 16);
        for (int32_t i = 32; i < at; i += 16) {
            std::memcpy(chunk, src + i, 16);
            std::memcpy(dst + i, chunk, 16);
        }
        const uint32_t tail = LzwTail(e);
        std::memcpy(dst + at, &tail, 4);
        return;
    }
    for (;;) {
        const uint32_t tail = LzwTail(e);
        std::memcpy(dst + at, &tail, 4);
        lastSeen[prefix] = here;
        e = table[prefix];
        at -= 4;
        if (at == 0) break;
        prefix = LzwPrefix(e);
        seen = lastSeen[prefix];
        if (seen >= validFrom) {
            // The bytes from at on are written: nothing is copied behind the
            // prefix.
            const uint32_t last = LzwTail(e);
            std::memcpy(dst + at, &last, 4);
            const uint8_t* src = dst - (here - seen);
            int32_t i = 0;
            for (; i + 16 <= at; i += 16) {
                uint8_t chunk[16];
                std::memcpy(chunk, src + i, 16);
                std::memcpy(dst + i, chunk, 16);
            }
            for (; i < at; i += 4) {
                uint32_t word;
                std::memcpy(&word, src + i, 4);
                std::memcpy(dst + i, &word, 4);
            }
            return;
        }
    }
    const uint32_t tail = LzwTail(e);
    std::memcpy(dst, &tail, 4);
}

// The common case, one function per kind of row: codes that are wholly held
// and in the table, until a row (or a run of superseded rows) is complete.
// Returns false at anything else (near the end of the held data, clear, end,
// a code not in the table yet), before taking that code. Drawn rows get
// their strings, written from endOfRow on, before it; jumped and blocked
// rows only count their pixels, but the string that runs past their end is
// written whole: the rows it reaches may be drawn. A function of its own,
// so that everything the loop touches stays in registers.
//
// kShifts: built for processors with the three-operand shifts (BMI2), where
// a code is its width's low bits of the loaded word without a mask.
template <RowMode kind, bool kCopy, bool kShifts>
__attribute__((always_inline)) inline bool RunCodesBody(RunState* r, LzwLinks* links, uint8_t* row,
                                                        uint8_t* endOfRow) {
    LzwEntry* const table = links->entries;
    const uint8_t* const src = r->src;
    const int64_t safe = r->safe;
    uint64_t bp = r->bitPos;
    uint64_t w = r->width;
    uint64_t mask = r->mask;
    uint64_t nc = r->nextCode;
    uint64_t limit = r->limit;
    uint64_t pc = r->previous;
    LzwEntry pe = r->prev;
    uint64_t plen = static_cast<uint64_t>(LzwLength(pe));  // the previous string's length
    // Jumped and blocked rows count their pixels up from minus the row's
    // length: the row is complete at 0. Drawn rows move a pointer to where
    // the next string goes, up to endOfRow (it needs no register for
    // endOfRow in the stores).
    int64_t at = r->at;
    uint8_t* dst = endOfRow + r->at;
    bool rowDone = false;
    // Four codes of up to 12 bits, from any bit of a byte on, fit in one
    // 8-byte load; a code that widens the codes leaves the next one in
    // place, one bit wider. The bit position moves once per four codes.
    while (__builtin_expect(static_cast<int64_t>(bp) <= safe, 1)) {
        uint64_t v;
        std::memcpy(&v, src + (bp >> 3), 8);
        v >>= bp & 7;
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            const uint64_t code = kShifts ? v & ((uint64_t{1} << w) - 1) : v & mask;
            const uint64_t rest = v >> w;  // the codes after this one
            // The new entry: the previous string plus the first byte of
            // this one, in the previous tail when it has room.
            LzwEntry e;
            LzwEntry added;
            uint64_t len;
            if (__builtin_expect(code < nc, 1)) {
                e = table[code];
                len = e & 0xFFF;
                if (__builtin_expect(len == 0, 0)) {  // clear or end
                    bp += k * w;
                    goto other;
                }
                const int shift = links->tailShifts[plen];
                if (__builtin_expect(shift != 0, 1)) {
                    const LzwEntry placed = (e & kLzwFirstField) << shift;
                    added = pe + kLzwOneLonger + placed;
                } else {
                    added = LzwExtended(pe, static_cast<int32_t>(pc), e);
                }
            } else {
                if (code != nc) {
                    bp += k * w;
                    goto other;
                }
                // The one string not yet in the table: the previous plus
                // its own first byte.
                added = LzwExtended(pe, static_cast<int32_t>(pc), pe);
                e = added;
                len = plen + 1;
            }
            table[nc] = added;
            v = rest;
            if (__builtin_expect(++nc == limit, 0)) {
                // At 4096 codes the table freezes until the next clear
                // code: further additions land in slot 4096.
                if (w == 12) {
                    nc = 4096;
                    limit = 4097;
                } else {
                    // The codes so far were one bit narrower than the
                    // width the bit position moves by at the end.
                    bp -= k + 1;
                    ++w;
                    limit <<= 1;
                    mask = mask * 2 + 1;
                }
            }
            pc = code;
            pe = e;
            plen = len;
            const int64_t start = at;
            uint8_t* const startPtr = dst;
            bool ended;
            if (kind == kDraw) {
                dst += len;
                if (__builtin_expect(len <= 4, 1)) {
                    const uint32_t tail = LzwTail(e);
                    std::memcpy(startPtr, &tail, 4);
                } else {
                    if (kCopy) {
                        WriteLongString(table, links->lastSeen, e, code, startPtr,
                                        static_cast<int64_t>(reinterpret_cast<uintptr_t>(startPtr)) +
                                            links->positionBias,
                                        links->validFrom);
                    } else {
                        WalkString(table, e, startPtr);
                    }
                }
                ended = dst >= endOfRow;
            } else {
                at += static_cast<int64_t>(len);
                ended = at >= 0;
            }
            if (__builtin_expect(ended, 0)) {
                // The string that runs past the end is written whole: the
                // rows it reaches may be drawn. Past a jump it goes where
                // the next row starts.
                if (kind != kDraw && at > 0) {
                    WalkString(table, e, kind == kJump ? row + start : endOfRow + start);
                }
                bp += (k + 1) * w;
                rowDone = true;
                goto other;
            }
        }
        bp += 4 * w;
    }
other:
    r->bitPos = bp;
    r->width = w;
    r->mask = mask;
    r->nextCode = nc;
    r->limit = limit;
    r->previous = pc;
    r->prev = pe;
    r->at = static_cast<int32_t>(kind == kDraw ? dst - endOfRow : at);
    return rowDone;
}

template <RowMode kind, bool kCopy>
__attribute__((noinline)) bool RunCodesPlain(RunState* r, LzwLinks* links, uint8_t* row, uint8_t* endOfRow) {
    return RunCodesBody<kind, kCopy, false>(r, links, row, endOfRow);
}

#if defined(__x86_64__)
template <RowMode kind, bool kCopy>
__attribute__((noinline, target("bmi,bmi2"))) bool RunCodesShifts(RunState* r, LzwLinks* links, uint8_t* row,
                                                                  uint8_t* endOfRow) {
    return RunCodesBody<kind, kCopy, true>(r, links, row, endOfRow);
}
bool HasShifts() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    }();
    return has;
}
#endif

template <RowMode kind, bool kCopy>
bool RunCodes(RunState* r, LzwLinks* links, uint8_t* row, uint8_t* endOfRow) {
#if defined(__x86_64__)
    if (!gPortableCodeLoop && HasShifts()) return RunCodesShifts<kind, kCopy>(r, links, row, endOfRow);
#endif
    return RunCodesPlain<kind, kCopy>(r, links, row, endOfRow);
}

// True when rows were jumped over in an image whose data end before its
// last row: the rows jumped over may show where the last row's pixels stop,
// so the image is decoded again without jumping.
__attribute__((noinline)) bool DecodeCodesLinked(GifFrameState* f, std::FILE* file, PixelWriter* out,
                                                 int32_t clearCode) {
    GifLzwTable* t = f->decoder->lzw.get();
    LzwEntry* const table = t->links.entries;
    const int32_t endCode = clearCode + 1;
    uint8_t* const row = out->rowIndices;
    const int32_t imageWidth = f->width;

    // Row state in memory; the hot loop keeps mode, filled and end in
    // registers and hands them over at the end of each row.
    RowState state{};
    SetMode(&state, out, imageWidth);
    RowMode mode = state.mode;
    int32_t filled = 0;
    int32_t rowEnd = state.end;

    GatheredData data(f, file, t);

    // Drawn rows copy long strings from where they were written before in
    // large images whose data (all gathered at once) come to under a
    // quarter of a byte per pixel: mostly long strings, as in flat
    // drawings. Other images have too few for the bookkeeping to pay.
    const int64_t pixels = static_cast<int64_t>(f->width) * f->height;
    const bool copyLongStrings = data.ended && pixels >= 16384 && static_cast<int64_t>(data.size) * 4 < pixels;
    // Output positions count the image's pixels in stream order from a
    // start above every position of the images before (and of an earlier
    // decoding of this one), so that what lastSeen holds from them is
    // never taken. Only strings written since the last clear code can be
    // copied. Should the count ever come near its limit (billions of
    // images), the table is forgotten and counting starts again.
    if (t->nextOutput > (int64_t{1} << 60)) {
        t->lastSeen.reset();
        t->nextOutput = 0;
    }
    if (copyLongStrings && !t->lastSeen) {
        t->lastSeen.reset(new int64_t[4096]);
        std::fill(t->lastSeen.get(), t->lastSeen.get() + 4096, INT64_MIN);
    }
    const int64_t firstPosition = t->nextOutput + 2 * kMaxStringLength;
    t->nextOutput = firstPosition + pixels + 2 * kMaxStringLength;
    int64_t clearPosition = firstPosition;
    auto rowStart = [&]() { return firstPosition + static_cast<int64_t>(out->storedRow) * imageWidth; };
    const uint8_t* bytes = data.bytes;
    uint64_t bitPos = 0;
    uint64_t limitBits = static_cast<uint64_t>(data.size) * 8;
    // Codes of up to 12 bits from bitPos on are all held while bitPos is at
    // most safeBits (negative when fewer than 12 bits are held).
    int64_t safeBits = static_cast<int64_t>(limitBits) - 12;
    int width = f->minCodeSize + 1;
    int32_t widthLimit = 1 << width;  // nextCode that makes codes one bit wider
    uint32_t codeMask = static_cast<uint32_t>(widthLimit) - 1;
    // Once the table is full, nextCode stays 4096 and nothing is added: the
    // entries written for it land in the spare slot 4096.
    int32_t nextCode = clearCode + 2;

    // A code is one unaligned 8-byte load at its bit offset (a code of 12
    // bits starting at bit 7 fits in 8 bytes). A code cut short by the end
    // of the data ends them, as for the reference reader.
    auto peekCode = [&]() __attribute__((always_inline)) -> int32_t {
        uint64_t v;
        std::memcpy(&v, bytes + (bitPos >> 3), 8);
        // Codes above nextCode fail where the code is used.
        return static_cast<int32_t>((v >> (bitPos & 7)) & codeMask);
    };
    auto readCode = [&]() __attribute__((always_inline)) -> int32_t {
        if (__builtin_expect(bitPos + static_cast<uint64_t>(width) > limitBits, 0)) {
            if (!data.Refill(&bitPos)) return kNoMoreData;
            bytes = data.bytes;
            limitBits = static_cast<uint64_t>(data.size) * 8;
            safeBits = static_cast<int64_t>(limitBits) - 12;
            if (bitPos + static_cast<uint64_t>(width) > limitBits) return kNoMoreData;
        }
        int32_t code = peekCode();
        bitPos += static_cast<uint64_t>(width);
        return code;
    };
    // The row being filled is complete: hands the row state over.
    auto completeRows = [&]() __attribute__((always_inline)) {
        state.mode = mode;
        state.filled = filled;
        CompleteRows(&state, out, row, imageWidth);
        mode = state.mode;
        filled = state.filled;
        rowEnd = state.end;
    };
    // Puts a string on the row. More pixels than the image holds fail the
    // file when the row they spill into is completed (nothing drawn before
    // a failure survives); the row buffer has room for the longest string.
    auto emit = [&](LzwEntry e) __attribute__((always_inline)) {
        const int32_t len = LzwLength(e);
        // A string that runs past the row's end is written whole: the rows
        // it reaches may be drawn. Past a jump it goes where the next row
        // starts.
        if (mode == kDraw) {
            WalkString(table, e, row + filled);
        } else if (filled + len > rowEnd) {
            WalkString(table, e, row + filled - (mode == kJump ? rowEnd : 0));
        }
        filled += len;
        if (filled >= rowEnd) completeRows();
    };
    // Whether the image is to be decoded again; otherwise draws what is left.
    auto finish = [&]() __attribute__((always_inline)) -> bool {
        if (filled > 0 && out->storedRow >= f->height) FailDecode();  // an image of no rows
        t->nextCode = nextCode;
        if (state.jumped && out->storedRow < f->height) return true;
        out->filled = filled;
        out->Finish();
        return false;
    };

    // The previous code and its entry.
    int32_t previous = 0;
    LzwEntry prev = 0;
    // The string of previous plus the first byte of firstOf.
    auto extended = [&](LzwEntry firstOf) __attribute__((always_inline)) -> LzwEntry {
        return LzwExtended(prev, previous, firstOf);
    };
    auto takeCode = [&](int32_t code, LzwEntry e) __attribute__((always_inline)) {
        emit(e);
        previous = code;
        prev = e;
    };
    // Makes codes one bit wider when nextCode reaches widthLimit. At 4096
    // codes the table freezes until the next clear code: nextCode stays
    // 4096, so each addition lands in slot 4096 and comes back here.
    auto widen = [&]() __attribute__((always_inline)) {
        if (width == 12) {
            nextCode = 4096;
            widthLimit = 4097;
        } else {
            ++width;
            widthLimit <<= 1;
            codeMask = codeMask * 2 + 1;
        }
    };
    // Adds previous plus the first byte of e as nextCode.
    auto add = [&](LzwEntry e) __attribute__((always_inline)) {
        table[nextCode] = extended(e);
        if (__builtin_expect(++nextCode == widthLimit, 0)) widen();
    };
    // The first code after a clear code (or of data without a leading one):
    // nothing is added, and nextCode has no string yet.
    enum Next { kMore, kEnded, kEndCode };
    auto firstCode = [&](int32_t code) __attribute__((always_inline)) -> Next {
        for (;;) {
            if (code == kNoMoreData) return kEnded;
            if (code > nextCode) FailDecode();
            if (code != clearCode) break;
            clearPosition = rowStart() + filled;
            nextCode = clearCode + 2;
            width = f->minCodeSize + 1;
            widthLimit = 1 << width;
            codeMask = static_cast<uint32_t>(widthLimit) - 1;
            code = readCode();
        }
        if (code == endCode) return kEndCode;
        if (code == nextCode) FailDecode();  // no string to repeat
        takeCode(code, table[code]);
        return kMore;
    };

    // The common case, one loop per kind of row (see RunCodes).
    auto run = [&](auto rowMode) __attribute__((always_inline)) -> bool {
        constexpr RowMode kind = decltype(rowMode)::value;
        RunState r;
        r.src = bytes;
        r.safe = safeBits - 36;
        r.bitPos = bitPos;
        r.width = static_cast<uint64_t>(width);
        r.mask = codeMask;
        r.nextCode = static_cast<uint64_t>(nextCode);
        r.limit = static_cast<uint64_t>(widthLimit);
        r.previous = static_cast<uint64_t>(previous);
        r.prev = prev;
        r.at = filled - rowEnd;
        bool rowDone;
        if (kind == kDraw && copyLongStrings) {
            const int64_t start = rowStart();
            t->links.lastSeen = t->lastSeen.get();
            t->links.positionBias = start - static_cast<int64_t>(reinterpret_cast<uintptr_t>(row));
            t->links.validFrom = std::max(start, clearPosition);
            rowDone = RunCodes<kDraw, true>(&r, &t->links, row, row + rowEnd);
        } else {
            rowDone = RunCodes<kind, false>(&r, &t->links, row, row + rowEnd);
        }
        bitPos = r.bitPos;
        width = static_cast<int>(r.width);
        codeMask = static_cast<uint32_t>(r.mask);
        nextCode = static_cast<int32_t>(r.nextCode);
        widthLimit = static_cast<int32_t>(r.limit);
        previous = static_cast<int32_t>(r.previous);
        prev = r.prev;
        filled = r.at + rowEnd;
        if (rowDone) completeRows();
        return rowDone;
    };

    // A leading clear code is followed by a root; data without one decode
    // from their first code on, as if after a clear code.
    Next next;
    int32_t code = readCode();
    if (code == clearCode) {
        int32_t c0 = readCode();
        if (c0 == kNoMoreData) return finish();
        if (c0 >= clearCode) FailDecode();
        takeCode(c0, table[c0]);
        next = kMore;
    } else {
        next = firstCode(code);
    }

    while (next == kMore) {
        const bool rowDone = mode == kDraw   ? run(std::integral_constant<RowMode, kDraw>{})
                             : mode == kJump ? run(std::integral_constant<RowMode, kJump>{})
                                             : run(std::integral_constant<RowMode, kBlocked>{});
        if (rowDone) continue;
        // One code the general way: near the end of the held data, clear,
        // end, or a code beyond the table.
        code = readCode();
        if (code == kNoMoreData) {
            next = kEnded;
        } else if (code > nextCode) {
            FailDecode();
        } else if (code == nextCode) {
            const LzwEntry e = extended(prev);
            add(e);
            takeCode(code, e);
        } else if (code == endCode) {
            next = kEndCode;
        } else if (code == clearCode) {
            nextCode = clearCode + 2;  // firstCode resets the rest
            next = firstCode(code);
        } else {
            const LzwEntry e = table[code];
            add(e);
            takeCode(code, e);
        }
    }
    if (finish()) return true;
    if (next == kEnded) return false;  // the terminator is already behind us
    data.PlaceFileAfterEndCode(bitPos);
    return false;
}

}  // namespace

bool gPortableCodeLoop = false;

GifLzwTable* PrepareLzwTable(GifDecoder* d, int64_t pixels, bool needStore) {
    if (!d->lzw) d->lzw = TakeSpareLzwTable();
    if (!d->lzw) {
        // Not value-initialised: the offsets and entries are written before
        // they are read.
        d->lzw.reset(new GifLzwTable);
        static_assert(sizeof(kTailShifts.of) == sizeof(d->lzw->links.tailShifts));
        std::memcpy(d->lzw->links.tailShifts, kTailShifts.of, sizeof(kTailShifts.of));
    }
    GifLzwTable* t = d->lzw.get();
    if (needStore) {
        // Between two clear codes the added strings take at most twice the
        // image's pixels (each is an emitted string plus one byte, and no
        // more than the image's pixels are ever emitted) and never more than
        // kStoreBound; the roots come first.
        uint64_t need = std::min<uint64_t>(2 * static_cast<uint64_t>(pixels) + 261, kStoreBound);
        if (t->stringStoreSize < need) {
            t->stringStore.reset();
            t->stringStoreSize = 0;
            t->stringStore.reset(static_cast<uint8_t*>(std::malloc(need + kStoreSlack)));
            if (!t->stringStore) throw std::bad_alloc();
            t->stringStoreSize = need;
        }
    }
    return t;
}

bool DecodeImageData(GifFrameState* f, std::FILE* file, uint8_t* canvas) {
    GifDecoder* d = f->decoder;
    int minCodeSize = std::getc(file);
    if (minCodeSize == EOF) return false;
    f->minCodeSize = static_cast<uint8_t>(minCodeSize);
    if (minCodeSize < 2 || minCodeSize > 8) FailDecode();
    if (f->tableSize == 2 && minCodeSize != 2) FailDecode();

    const int32_t clearCode = 1 << minCodeSize;
    const int64_t pixels = static_cast<int64_t>(f->width) * f->height;
    // Data the fast decoder reads ahead of the end code are read again from
    // the stream; one that cannot seek is decoded the straightforward way.
    const bool reference = d->referencePixelPath || !d->fileSeekable;
    const long dataStart = reference ? -1 : std::ftell(file);
    GifLzwTable* t = PrepareLzwTable(d, pixels, reference);
    if (reference) {
        // The roots: one byte each, their own value.
        uint8_t* store = t->stringStore.get();
        for (int32_t i = 0; i < clearCode; ++i) {
            store[i] = static_cast<uint8_t>(i);
            t->codeStart[i] = i;
        }
        ResetTable(t, clearCode);
    }

    f->subBlockLength = 0;
    if (!NextSubBlock(f, file)) return true;  // no data at all: the image is empty

    PixelWriter out(f, canvas, reference);
    if (reference) {
        DecodeCodesReference(f, file, &out, clearCode);
        return true;
    }
    auto setRoots = [&]() {
        // The roots (an earlier image with a smaller code size may have
        // used their slots for added codes).
        for (int32_t i = 0; i < clearCode; ++i) t->links.entries[i] = LzwRoot(i);
        t->links.entries[clearCode] = kLzwControl;
        t->links.entries[clearCode + 1] = kLzwControl;
    };
    setRoots();
    if (DecodeCodesLinked(f, file, &out, clearCode)) {
        // Data ended after rows were jumped over: again from the first
        // sub-block, every row written. The rows drawn so far are drawn
        // again alike, and the rows then drawn over them come after.
        if (dataStart < 0 || std::fseek(file, dataStart, SEEK_SET) != 0) FailDecode();
        ResetImageMarks(d);
        setRoots();
        f->subBlockLength = 0;
        if (!NextSubBlock(f, file)) FailDecode();  // read before: the file changed
        PixelWriter again(f, canvas, false);
        again.skipAllowed = false;
        DecodeCodesLinked(f, file, &again, clearCode);
    }
    return true;
}
