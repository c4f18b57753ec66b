// A tiny GIF writer for the decoder tests. It writes exactly the bytes it is
// told to, including malformed ones: any 6-byte header, raw codes of any
// width, sub-blocks split wherever the test wants them. LzwEncoder is a plain
// encoder for the cases where the codes themselves are not the point.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace giftest {

using Bytes = std::vector<uint8_t>;

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Rgb {
    uint8_t r, g, b;
};

// Distinct colours, entry i has red = i, so a canvas pixel names its entry.
inline Rgb TestColour(int i) { return {uint8_t(i), uint8_t(0x80 ^ i), uint8_t(255 - i)}; }
inline std::vector<Rgb> TestPalette(int n) {
    std::vector<Rgb> p;
    for (int i = 0; i < n; ++i) p.push_back(TestColour(i));
    return p;
}

// The packed-byte bits that announce a colour table of `colours` entries
// (a power of two from 2 to 256).
inline int TableBits(int colours) {
    int n = 0;
    while ((2 << n) < colours) ++n;
    return 0x80 | n;
}
constexpr int kInterlaced = 0x40;

// One LZW code and the number of bits it is written with.
struct Code {
    uint32_t value;
    int bits;
};

// Packs codes least significant bit first.
inline Bytes PackCodes(const std::vector<Code>& codes) {
    Bytes out;
    uint64_t acc = 0;
    int held = 0;
    for (const Code& c : codes) {
        acc |= uint64_t(c.value & ((1u << c.bits) - 1)) << held;
        held += c.bits;
        while (held >= 8) {
            out.push_back(uint8_t(acc));
            acc >>= 8;
            held -= 8;
        }
    }
    if (held > 0) out.push_back(uint8_t(acc));
    return out;
}

// Length-prefixed sub-blocks: the first ones of the sizes in `splits`, the
// rest in blocks of 255. No terminator.
inline Bytes SubBlocks(const Bytes& data, const std::vector<int>& splits = {}) {
    Bytes out;
    size_t at = 0;
    size_t next = 0;
    while (at < data.size()) {
        size_t n = next < splits.size() ? size_t(splits[next++]) : 255;
        if (n > data.size() - at) n = data.size() - at;
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + at, data.begin() + at + n);
        at += n;
    }
    return out;
}

// A plain GIF LZW encoder. A code is written with the width in force; the
// width grows once the next free code no longer fits in it, checked after
// each data code and before that code's string is added, so that it agrees
// with a decoder that adds each string one code later. At 4096 codes it stops
// adding strings and goes on at 12 bits until Clear() is called.
class LzwEncoder {
public:
    explicit LzwEncoder(int minCodeSize) : minCodeSize_(minCodeSize), clear_(1 << minCodeSize) {
        Reset();
    }
    void Clear() {
        Flush();
        codes_.push_back({uint32_t(clear_), width_});
        Reset();
    }
    void Pixels(const Bytes& indices) {
        for (uint8_t p : indices) {
            if (p >= clear_) throw std::logic_error("index has no root code");
            if (pending_ < 0) {
                pending_ = p;
                continue;
            }
            auto found = table_.find({pending_, p});
            if (found != table_.end()) {
                pending_ = found->second;
                continue;
            }
            EmitData(pending_);
            if (nextCode_ < 4096) {
                table_[{pending_, p}] = nextCode_++;
                strings_.push_back(strings_[pending_]);
                strings_.back().push_back(p);
            } else {
                tableFilled_ = true;
            }
            pending_ = p;
        }
    }
    std::vector<Code> Finish() {
        Flush();
        codes_.push_back({uint32_t(clear_ + 1), width_});
        return codes_;
    }
    // Writes one code of the test's choice after the pending string; safe
    // once the table is full, when neither side adds strings.
    void EmitCode(int code) {
        Flush();
        EmitData(code);
    }
    const Bytes& StringOf(int code) const { return strings_.at(size_t(code)); }
    // True once a string could not be added because 4096 codes existed.
    bool tableFilled() const { return tableFilled_; }
    int width() const { return width_; }

private:
    void Reset() {
        table_.clear();
        strings_.clear();
        for (int i = 0; i < clear_ + 2; ++i) strings_.push_back({uint8_t(i)});  // clear, end unused
        nextCode_ = clear_ + 2;
        width_ = minCodeSize_ + 1;
        pending_ = -1;
    }
    void Flush() {
        if (pending_ >= 0) EmitData(pending_);
        pending_ = -1;
    }
    void EmitData(int code) {
        codes_.push_back({uint32_t(code), width_});
        if (nextCode_ >= (1 << width_) && width_ < 12) ++width_;
    }

    int minCodeSize_;
    int clear_;
    int nextCode_ = 0;
    int width_ = 0;
    int pending_ = -1;
    bool tableFilled_ = false;
    std::map<std::pair<int, int>, int> table_;
    std::vector<Bytes> strings_;  // by code
    std::vector<Code> codes_;
};

// Clear code first, end code last.
inline std::vector<Code> LzwEncode(const Bytes& indices, int minCodeSize) {
    LzwEncoder e(minCodeSize);
    e.Clear();
    e.Pixels(indices);
    return e.Finish();
}

class GifWriter {
public:
    Bytes bytes;

    GifWriter& Raw(std::initializer_list<int> values) {
        for (int v : values) bytes.push_back(uint8_t(v));
        return *this;
    }
    GifWriter& Raw(const Bytes& values) {
        bytes.insert(bytes.end(), values.begin(), values.end());
        return *this;
    }
    GifWriter& Header(std::string_view six = "GIF89a") {
        for (char c : six) bytes.push_back(uint8_t(c));
        return *this;
    }
    GifWriter& Screen(int width, int height, int packed, int background = 0) {
        Word(width);
        Word(height);
        return Raw({packed, background, 0});
    }
    GifWriter& ColourTable(const std::vector<Rgb>& colours) {
        for (const Rgb& c : colours) Raw({c.r, c.g, c.b});
        return *this;
    }
    // Graphic control extension; transparent -1 leaves the flag clear.
    GifWriter& Control(int disposal, int delay, int transparent = -1) {
        Raw({0x21, 0xF9, 4, (disposal << 2) | (transparent >= 0 ? 1 : 0)});
        Word(delay);
        return Raw({transparent >= 0 ? transparent : 0, 0});
    }
    // Application extension: 8-byte identifier and 3-byte code, then data.
    GifWriter& Application(std::string_view idAndCode, const std::vector<Bytes>& blocks) {
        Raw({0x21, 0xFF, 11});
        for (char c : idAndCode) bytes.push_back(uint8_t(c));
        return Blocks(blocks);
    }
    GifWriter& Netscape(int loops) {
        return Application("NETSCAPE2.0", {{1, uint8_t(loops), uint8_t(loops >> 8)}});
    }
    GifWriter& Comment(const std::vector<Bytes>& blocks) {
        return Raw({0x21, 0xFE}).Blocks(blocks);
    }
    GifWriter& PlainText(const Bytes& grid12, const std::vector<Bytes>& blocks) {
        return Raw({0x21, 0x01, 12}).Raw(grid12).Blocks(blocks);
    }
    // Length-prefixed sub-blocks and the zero-length terminator.
    GifWriter& Blocks(const std::vector<Bytes>& blocks) {
        for (const Bytes& b : blocks) Raw({int(b.size())}).Raw(b);
        return Raw({0});
    }
    // Image separator and descriptor; a local table, if announced, follows
    // through ColourTable.
    GifWriter& Image(int left, int top, int width, int height, int packed = 0) {
        Raw({0x2C});
        Word(left);
        Word(top);
        Word(width);
        Word(height);
        return Raw({packed});
    }
    // Minimum code size, the packed codes as sub-blocks, and the terminator.
    GifWriter& Data(int minCodeSize, const std::vector<Code>& codes,
                    const std::vector<int>& splits = {}, bool terminate = true) {
        Raw({minCodeSize}).Raw(SubBlocks(PackCodes(codes), splits));
        return terminate ? Raw({0}) : *this;
    }
    // Descriptor, local table (when given) and the indices LZW-encoded, by
    // default at the smallest minimum code size that holds every index.
    GifWriter& Pixels(int left, int top, int width, int height, const Bytes& indices,
                      int packed = 0, const std::vector<Rgb>& local = {}, int minCodeSize = 0) {
        if (!local.empty()) packed |= TableBits(int(local.size()));
        if (minCodeSize == 0) {
            const int highest =
                indices.empty() ? 0 : *std::max_element(indices.begin(), indices.end());
            minCodeSize = 2;
            while ((1 << minCodeSize) <= highest) ++minCodeSize;
        }
        Image(left, top, width, height, packed).ColourTable(local);
        return Data(minCodeSize, LzwEncode(indices, minCodeSize));
    }
    GifWriter& Trailer() { return Raw({0x3B}); }

private:
    void Word(int v) { Raw({v & 0xFF, (v >> 8) & 0xFF}); }
};

}  // namespace giftest
