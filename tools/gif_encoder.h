// A small GIF89a encoder for the files the project generates itself: the
// benchmark's large animations, the demo folder and test fixtures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct EncodedImage {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indices;       // width x height colour indices, rows top to bottom
    std::vector<uint8_t> localPalette;  // RGB triples; empty: the image uses the global table
    bool interlaced = false;            // store rows in interlaced order
    bool writeControl = true;           // write a graphic control extension before the image
    int delay = 10;                     // centiseconds
    int disposal = 1;
    int transparentIndex = -1;          // -1: none
};

struct EncodedGif {
    int screenWidth = 0;
    int screenHeight = 0;
    std::vector<uint8_t> globalPalette;  // RGB triples; empty: no global table
    int backgroundIndex = 0;
    bool writeLoop = true;               // NETSCAPE2.0 loop extension
    int loopCount = 0;
    std::vector<EncodedImage> images;
};

// Encodes with a real LZW encoder (clear code first, deferred growth to 12
// bits, a clear code when the table is full, 255-byte sub-blocks). Palettes
// are padded to a power of two of at least 2 entries.
std::vector<uint8_t> EncodeGif(const EncodedGif& gif);

// Writes bytes to path; false on any error.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
