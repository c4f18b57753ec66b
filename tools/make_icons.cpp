// Writes the viewer's icon files from the artwork of src/app/icon_art:
//   fav.ico        16 and 32 pixel entries (the small window icon)
//   favBg.ico      32 and 48 pixel entries (the large window icon)
//   reelstack.png  48 pixels, for the desktop's icon theme
// Usage: make_icons OUTPUT_FOLDER
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/icon_art.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Put32BigEndian(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// One icon entry as a 32-bit DIB: BITMAPINFOHEADER, the BGRA rows bottom
// up, then the 1-bit AND mask, also bottom up with rows padded to 32 bits.
// The header's height counts both halves, so it is twice the icon's. Readers
// that ignore alpha use the mask, which is set where alpha is 0.
Bytes IconDib(int size, const Bytes& rgba) {
    const uint32_t maskStride = ((static_cast<uint32_t>(size) + 31) / 32) * 4;
    const uint32_t pixelBytes = static_cast<uint32_t>(size) * size * 4;
    Bytes out;
    Put32(out, 40);  // biSize
    Put32(out, static_cast<uint32_t>(size));
    Put32(out, static_cast<uint32_t>(size) * 2);
    Put16(out, 1);   // planes
    Put16(out, 32);  // bits per pixel
    Put32(out, 0);   // BI_RGB
    Put32(out, pixelBytes + maskStride * size);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);  // colours used
    Put32(out, 0);  // colours important
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        Bytes row(maskStride, 0);
        for (int x = 0; x < size; ++x) {
            if (rgba[(static_cast<size_t>(y) * size + x) * 4 + 3] == 0) {
                row[static_cast<size_t>(x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// ICONDIR (6 bytes), one 16-byte ICONDIRENTRY per size, then the images in
// the same order.
Bytes EncodeIco(const std::vector<int>& sizes) {
    std::vector<Bytes> images;
    for (int size : sizes) images.push_back(IconDib(size, DrawReelIcon(size)));
    Bytes out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // icon, not cursor
    Put16(out, static_cast<uint32_t>(sizes.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        // A width or height of 256 would be written as 0; ours are smaller.
        out.push_back(static_cast<uint8_t>(sizes[i]));
        out.push_back(static_cast<uint8_t>(sizes[i]));
        out.push_back(0);  // no palette
        out.push_back(0);  // reserved
        Put16(out, 1);     // planes
        Put16(out, 32);    // bits per pixel
        Put32(out, static_cast<uint32_t>(images[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

uint32_t Crc32(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

void PutChunk(Bytes& out, const char* type, const Bytes& data) {
    Put32BigEndian(out, static_cast<uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    Put32BigEndian(out, Crc32(body.data(), body.size()));
}

// An RGBA PNG whose zlib stream holds stored (uncompressed) deflate blocks:
// a 48-pixel icon is 9 KB either way, and it spares the tool a zlib.
Bytes EncodePng(int size, const Bytes& rgba) {
    Bytes raw;
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);  // filter: none
        const auto row = rgba.begin() + static_cast<ptrdiff_t>(y) * size * 4;
        raw.insert(raw.end(), row, row + size * 4);
    }
    Bytes zlib = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0;) {
        const size_t length = std::min<size_t>(65535, raw.size() - at);
        const bool last = at + length == raw.size();
        zlib.push_back(last ? 1 : 0);
        Put16(zlib, static_cast<uint32_t>(length));
        Put16(zlib, static_cast<uint32_t>(~length & 0xFFFF));
        zlib.insert(zlib.end(), raw.begin() + static_cast<ptrdiff_t>(at),
                    raw.begin() + static_cast<ptrdiff_t>(at + length));
        at += length;
        if (last) break;
    }
    uint32_t a = 1, b = 0;  // Adler-32 of the uncompressed bytes
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    Put32BigEndian(zlib, (b << 16) | a);

    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    Put32BigEndian(header, static_cast<uint32_t>(size));
    Put32BigEndian(header, static_cast<uint32_t>(size));
    header.insert(header.end(),
                  {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter set, no interlace
    PutChunk(out, "IHDR", header);
    PutChunk(out, "IDAT", zlib);
    PutChunk(out, "IEND", {});
    return out;
}

bool Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const struct {
        const char* name;
        Bytes bytes;
    } files[] = {
        {"fav.ico", EncodeIco({16, 32})},
        {"favBg.ico", EncodeIco({32, 48})},
        {"reelstack.png", EncodePng(48, DrawReelIcon(48))},
    };
    for (const auto& file : files) {
        if (!Write(folder / file.name, file.bytes)) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", (folder / file.name).c_str());
            return 1;
        }
    }
    return 0;
}
