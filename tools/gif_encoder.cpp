// GIF89a writer: header, tables, extensions and an LZW encoder whose code
// widths follow the decoder's rules exactly (see CodeWidthFor).
#include "gif_encoder.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

constexpr int kMaxCodes = 4096;

void Put16(std::vector<uint8_t>& out, int value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void CheckU16(int value, const char* what) {
    if (value < 0 || value > 0xFFFF) throw std::invalid_argument(what);
}

// Entries a palette occupies once padded: a power of two, 2 to 256.
int PaddedEntries(const std::vector<uint8_t>& palette) {
    if (palette.size() % 3 != 0) throw std::invalid_argument("palette is not RGB triples");
    const size_t entries = palette.size() / 3;
    if (entries > 256) throw std::invalid_argument("palette has more than 256 entries");
    int padded = 2;
    while (static_cast<size_t>(padded) < entries) padded *= 2;
    return padded;
}

// The 3-bit size field N of a table of 2^(N+1) entries.
int SizeField(int paddedEntries) {
    int n = 0;
    while ((2 << n) < paddedEntries) ++n;
    return n;
}

void PutPalette(std::vector<uint8_t>& out, const std::vector<uint8_t>& palette, int padded) {
    out.insert(out.end(), palette.begin(), palette.end());
    out.resize(out.size() + static_cast<size_t>(padded) * 3 - palette.size(), 0);
}

int BitLength(int value) {
    int bits = 0;
    while (value > 0) {
        ++bits;
        value >>= 1;
    }
    return bits;
}

// Collects codes least significant bit first and cuts them into data
// sub-blocks of at most 255 bytes.
class CodeWriter {
public:
    explicit CodeWriter(std::vector<uint8_t>& out) : out_(out) {}

    void Put(int code, int width) {
        bits_ |= static_cast<uint32_t>(code) << bitCount_;
        bitCount_ += width;
        while (bitCount_ >= 8) {
            PutByte(static_cast<uint8_t>(bits_ & 0xFF));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
    }

    // Flushes the last partial byte and the open sub-block, then writes the
    // zero-length terminator.
    void Finish() {
        if (bitCount_ > 0) PutByte(static_cast<uint8_t>(bits_ & 0xFF));
        bits_ = 0;
        bitCount_ = 0;
        FlushBlock();
        out_.push_back(0);
    }

private:
    void PutByte(uint8_t byte) {
        block_[blockLength_++] = byte;
        if (blockLength_ == 255) FlushBlock();
    }

    void FlushBlock() {
        if (blockLength_ == 0) return;
        out_.push_back(static_cast<uint8_t>(blockLength_));
        out_.insert(out_.end(), block_, block_ + blockLength_);
        blockLength_ = 0;
    }

    std::vector<uint8_t>& out_;
    uint32_t bits_ = 0;
    int bitCount_ = 0;
    uint8_t block_[255] = {};
    int blockLength_ = 0;
};

// The string table as (prefix code, byte) -> code, open addressing. 8192
// slots for at most 4096 entries keep probes short; clearing it is a 32 KB
// fill, cheap next to the ~4000 codes between two clears.
class StringTable {
public:
    void Clear() {
        for (auto& slot : slots_) slot = kEmpty;
    }

    // Code of prefix+byte, or -1.
    int Find(int prefix, int byte) const {
        const uint32_t key = Key(prefix, byte);
        for (uint32_t i = Hash(key);; i = (i + 1) & kMask) {
            if (slots_[i] == kEmpty) return -1;
            if ((slots_[i] >> 12) == key) return static_cast<int>(slots_[i] & 0xFFF);
        }
    }

    void Insert(int prefix, int byte, int code) {
        const uint32_t key = Key(prefix, byte);
        uint32_t i = Hash(key);
        while (slots_[i] != kEmpty) i = (i + 1) & kMask;
        slots_[i] = (key << 12) | static_cast<uint32_t>(code);
    }

private:
    static constexpr uint32_t kSlots = 8192;
    static constexpr uint32_t kMask = kSlots - 1;
    // 12-bit prefix and 8-bit byte: a 20-bit key, stored above the code. No
    // real slot is all ones: the entry with code 4095 has a prefix below 4095.
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    static uint32_t Key(int prefix, int byte) {
        return (static_cast<uint32_t>(prefix) << 8) | static_cast<uint32_t>(byte);
    }
    static uint32_t Hash(uint32_t key) { return (key * 2654435761u >> 13) & kMask; }

    uint32_t slots_[kSlots];
};

// The width in which the decoder reads its next code: it widens once its
// own next free code reaches 2^width. The decoder's table runs one entry
// behind ours (it learns an entry only from the code after the one that
// made it), so its next free code is our nextCode - 1.
int CodeWidthFor(int nextCode) {
    const int width = BitLength(nextCode - 1);
    return width > 12 ? 12 : width;
}

void EncodePixels(std::vector<uint8_t>& out, const std::vector<uint8_t>& pixels,
                  int minCodeSize) {
    out.push_back(static_cast<uint8_t>(minCodeSize));
    CodeWriter writer(out);
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    // The table lives on the heap: 32 KB is too much for small thread stacks.
    auto table = std::make_unique<StringTable>();
    table->Clear();
    int nextCode = clearCode + 2;

    // The decoder throws its first code away, so the stream must open with
    // a clear code even though the table is fresh.
    writer.Put(clearCode, minCodeSize + 1);
    if (pixels.empty()) {
        writer.Put(endCode, minCodeSize + 1);
        writer.Finish();
        return;
    }

    int current = pixels[0];
    bool codeSinceClear = false;  // the decoder adds nothing for the first code after a clear
    for (size_t i = 1; i < pixels.size(); ++i) {
        const int byte = pixels[i];
        const int found = table->Find(current, byte);
        if (found >= 0) {
            current = found;
            continue;
        }
        writer.Put(current, CodeWidthFor(nextCode));
        codeSinceClear = true;
        table->Insert(current, byte, nextCode++);
        if (nextCode == kMaxCodes) {
            // The table is full. The decoder could go on with frozen 12-bit
            // codes, but a clear keeps the encoder simple and exercises the
            // decoder's reset.
            writer.Put(clearCode, CodeWidthFor(nextCode));
            table->Clear();
            nextCode = clearCode + 2;
            codeSinceClear = false;
        }
        current = byte;
    }
    writer.Put(current, CodeWidthFor(nextCode));
    // The decoder adds an entry for this last code too (unless it follows a
    // clear), and that may widen the end code.
    if (codeSinceClear && nextCode < kMaxCodes) ++nextCode;
    writer.Put(endCode, CodeWidthFor(nextCode));
    writer.Finish();
}

// Rows in the order an interlaced image stores them: every 8th row from 0,
// every 8th from 4, every 4th from 2, every 2nd from 1.
std::vector<uint8_t> InterlacedOrder(const EncodedImage& image) {
    std::vector<uint8_t> stored;
    stored.reserve(image.indices.size());
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const size_t width = static_cast<size_t>(image.width);
    for (int pass = 0; pass < 4; ++pass) {
        for (int row = kStart[pass]; row < image.height; row += kStep[pass]) {
            const auto begin = image.indices.begin() + static_cast<ptrdiff_t>(row * width);
            stored.insert(stored.end(), begin, begin + static_cast<ptrdiff_t>(width));
        }
    }
    return stored;
}

void PutControl(std::vector<uint8_t>& out, const EncodedImage& image) {
    CheckU16(image.delay, "delay out of range");
    if (image.disposal < 0 || image.disposal > 7) throw std::invalid_argument("disposal out of range");
    if (image.transparentIndex < -1 || image.transparentIndex > 255) {
        throw std::invalid_argument("transparent index out of range");
    }
    const bool transparent = image.transparentIndex >= 0;
    out.insert(out.end(), {0x21, 0xF9, 0x04});
    out.push_back(static_cast<uint8_t>((image.disposal << 2) | (transparent ? 1 : 0)));
    Put16(out, image.delay);
    out.push_back(static_cast<uint8_t>(transparent ? image.transparentIndex : 0));
    out.push_back(0);
}

void PutImage(std::vector<uint8_t>& out, const EncodedImage& image, int globalEntries) {
    CheckU16(image.left, "image left out of range");
    CheckU16(image.top, "image top out of range");
    CheckU16(image.width, "image width out of range");
    CheckU16(image.height, "image height out of range");
    if (image.indices.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        throw std::invalid_argument("index count is not width x height");
    }
    if (image.writeControl) PutControl(out, image);

    const bool local = !image.localPalette.empty();
    const int localEntries = local ? PaddedEntries(image.localPalette) : 0;
    out.push_back(0x2C);
    Put16(out, image.left);
    Put16(out, image.top);
    Put16(out, image.width);
    Put16(out, image.height);
    out.push_back(static_cast<uint8_t>((local ? 0x80 | SizeField(localEntries) : 0) |
                                       (image.interlaced ? 0x40 : 0)));
    if (local) PutPalette(out, image.localPalette, localEntries);

    // An image with no table at all still gets codes for any byte value, so
    // that files the decoder must reject can be written too.
    const int entries = local ? localEntries : (globalEntries > 0 ? globalEntries : 256);
    const int minCodeSize = entries <= 4 ? 2 : SizeField(entries) + 1;
    for (uint8_t index : image.indices) {
        if (index >= (1 << minCodeSize)) throw std::invalid_argument("colour index beyond the code size");
    }
    EncodePixels(out, image.interlaced ? InterlacedOrder(image) : image.indices, minCodeSize);
}

}  // namespace

std::vector<uint8_t> EncodeGif(const EncodedGif& gif) {
    CheckU16(gif.screenWidth, "screen width out of range");
    CheckU16(gif.screenHeight, "screen height out of range");
    if (gif.backgroundIndex < 0 || gif.backgroundIndex > 255) {
        throw std::invalid_argument("background index out of range");
    }
    CheckU16(gif.loopCount, "loop count out of range");

    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(out, gif.screenWidth);
    Put16(out, gif.screenHeight);
    const bool global = !gif.globalPalette.empty();
    const int globalEntries = global ? PaddedEntries(gif.globalPalette) : 0;
    // Colour resolution 8 bits (0x70); the decoder ignores it.
    out.push_back(static_cast<uint8_t>(global ? 0x80 | 0x70 | SizeField(globalEntries) : 0x70));
    out.push_back(static_cast<uint8_t>(gif.backgroundIndex));
    out.push_back(0);
    if (global) PutPalette(out, gif.globalPalette, globalEntries);

    if (gif.writeLoop) {
        out.insert(out.end(), {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.',
                               '0', 0x03, 0x01});
        Put16(out, gif.loopCount);
        out.push_back(0);
    }
    for (const EncodedImage& image : gif.images) PutImage(out, image, globalEntries);
    out.push_back(0x3B);
    return out;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}
