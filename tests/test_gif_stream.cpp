// The file level: signature, screen, extensions, tables, transparency, truncation.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <new>

#include "gif/gif_internal.h"

#include "gif_test_decode.h"

using namespace giftest;
using namespace std::string_literals;

namespace {

TEST(GifHeader, SignatureAndScreenSize) {
    // Header, screen width and height, canvas at scale width 250 (0 x 0: refused).
    const std::tuple<std::string, int, int, int, int> rows[] = {
        {"GIF89a", 2, 1, 2, 1},    {"GIF8zz", 2, 1, 2, 1},         {"GIF8\0\0"s, 2, 1, 2, 1},
        {"gif89a", 2, 1, 0, 0},    {"GIF99a", 2, 1, 0, 0},         {"GIF89a", 0, 10, 0, 0},
        {"GIF89a", 10, 0, 0, 0},   {"GIF89a", 400, 300, 250, 187}, {"GIF89a", 251, 10, 250, 9},
        {"GIF89a", 1000, 3, 0, 0},
    };
    for (const auto& [header, width, height, canvasWidth, canvasHeight] : rows) {
        SCOPED_TRACE(testing::Message() << header.c_str() << " " << width << "x" << height);
        GifWriter w;
        w.Screen(width, height, TableBits(4), 0, header).Raw(TestPalette(4));
        const Decoded out = DecodeBytes(w.Pixels(0, 0, 1, 1, {1}).Trailer().bytes, 250);
        EXPECT_EQ(out.opened, canvasWidth > 0);
        EXPECT_EQ(out.canvasWidth, canvasWidth);
        EXPECT_EQ(out.canvasHeight, canvasHeight);
        EXPECT_EQ(out.frameCount, canvasWidth > 0 ? 1 : -1);
    }
    const Bytes whole = GifWriter().Screen(1, 1, 0).bytes;  // 13 bytes
    for (size_t n = 0; n <= 13; ++n) {
        EXPECT_EQ(DecodeBytes(Bytes(whole.begin(), whole.begin() + n)).opened, n == 13) << n;
    }
}

TEST(GifExtensions, ControlValuesStayInForceForLaterImages) {
    // No control yet: 5; a delay of 0 shows as 6; delay and transparent index
    // 3 hold for the last two images, whose transparent pixels show the one before.
    GifWriter w = GifWithGlobalTable(4, 1);
    w.Pixels(0, 0, 4, 1, {1, 1, 1, 1}).Control(1, 0).Pixels(0, 0, 4, 1, {2, 2, 2, 2});
    w.Control(1, 1).Pixels(0, 0, 4, 1, {1, 2, 1, 2});
    w.Control(0, 700, 3).Pixels(0, 0, 4, 1, {3, 1, 2, 1}).Pixels(0, 0, 4, 1, {0, 3, 3, 0});
    const Decoded out = DecodeBytes(w.Trailer().bytes);
    EXPECT_EQ(out.delays, (std::vector<int>{5, 6, 1, 700, 700}));
    EXPECT_EQ(out.Indices(3), (std::vector<int>{1, 1, 2, 1}));
    EXPECT_EQ(out.Indices(4), (std::vector<int>{0, 1, 2, 0}));
}

TEST(GifExtensions, BlocksBetweenImagesAreSkipped) {
    // Payloads hold decoy bytes; an unknown label's bytes are met one at a time.
    const std::tuple<const char*, Bytes, int> rows[] = {
        {"comment", {0x21, 0xFE, 3, 0x2C, 0x21, 0x3B, 1, 0x3B, 0}, 2},
        {"plain text", {0x21, 1, 12, 0x2C, 0, 0x3B, 0, 0x21, 0, 0, 0, 0, 0, 0, 0, 1, 0x3B, 0}, 2},
        {"application", {0x21, 0xFF, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0x3B, 0x2C, 0}, 2},
        {"unknown label", {0x21, 0x99, 2, 0x10, 0x20, 0}, 2},
        {"unknown label holding 0x3B", {0x21, 0x99, 2, 0x3B, 0x20, 0}, 1},
        {"stray bytes", {0x00, 0x42, 0xFF}, 2},
        {"trailer", {0x3B}, 1},
    };
    for (const auto& [name, between, frames] : rows) {
        GifWriter w = GifWithGlobalTable(2, 1);
        w.Pixels(0, 0, 2, 1, {1, 2}).Raw(between).Pixels(1, 0, 1, 1, {3}).Trailer();
        const Decoded out = DecodeBytes(w.bytes);
        EXPECT_EQ(out.frameCount, frames) << name;
        EXPECT_EQ(out.Indices(frames - 1), (std::vector<int>{1, frames == 2 ? 3 : 2})) << name;
    }
}

TEST(GifImage, TransparentIndexAgainstTableSize) {
    // Rows: transparent index, local table, pixels ({}: the file fails).
    const std::tuple<int, bool, std::vector<int>> rows[] = {{3, false, {0, 1, 2, -1}},
                                                            {4, false, {}},
                                                            {3, true, {0, 1, 2, -1}},
                                                            {4, true, {0, 1, 2, 3}}};
    for (const auto& [transparent, local, drawn] : rows) {
        GifWriter w = GifWithGlobalTable(4, 1);
        w.Control(1, 10, transparent)
            .Pixels(0, 0, 4, 1, {0, 1, 2, 3}, 0, local ? TestPalette(4) : Bytes{});
        const Decoded out = DecodeBytes(w.Trailer().bytes);
        EXPECT_EQ(out.failed ? std::vector<int>{} : out.Indices(0), drawn) << transparent << local;
    }
}

TEST(GifImage, IndicesBeyondTheTableAreNotDrawn) {
    // Minimum code size 8 gives 256 root codes for a 4-entry table.
    GifWriter w = GifWithGlobalTable(4, 1);
    w.Pixels(0, 0, 4, 1, {1, 1, 1, 1}).Pixels(0, 0, 4, 1, {0, 200, 3, 4}, 0, {}, 8).Trailer();
    EXPECT_EQ(DecodeBytes(w.bytes).Indices(1), (std::vector<int>{0, 1, 3, 1}));
}

TEST(GifTruncation, FileCutAfterACompleteImageKeepsIt) {
    // Image B (1 + 9 + 12 bytes, then its code size) counts once its code size is there.
    const Bytes b = GifWriter().Pixels(1, 0, 1, 1, {3}, 0, TestPalette(4)).bytes;
    const std::pair<size_t, int> rows[] = {{0, 1}, {1, 1}, {9, 1}, {22, 1}, {23, 2}};
    for (const auto& [cut, frames] : rows) {
        GifWriter w = GifWithGlobalTable(2, 1);
        const Decoded out =
            DecodeBytes(w.Pixels(0, 0, 2, 1, {1, 2}).Raw(Bytes(b.begin(), b.begin() + cut)).bytes);
        EXPECT_EQ(out.frameCount, frames) << cut;
        EXPECT_EQ(out.Indices(size_t(frames) - 1), (std::vector<int>{1, 2})) << cut;
    }
}

TEST(GifOpen, OnlyRegularFilesAreRead) {
    // A FIFO must fail at once, not wait for a writer; a folder fails too.
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("gif-open-" + std::to_string(getpid()));
    fs::create_directories(dir / "folder.gif");
    const fs::path fifo = dir / "x.gif";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& path : {fifo, dir / "folder.gif"}) {
        Decoded sink;
        auto decode = std::async(std::launch::async, [&] {
            try {
                DecodeGifFile(path.c_str(), &sink);
                return false;
            } catch (const GifDecodeFailure&) {
                return true;
            }
        });
        if (decode.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Release a decode stuck in open or read, then report it.
            int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) close(writer);
            decode.wait();
            ADD_FAILURE() << path << " blocked the decode";
        } else {
            EXPECT_TRUE(decode.get()) << path << " must fail";
        }
        EXPECT_FALSE(sink.opened) << path;
    }
    fs::remove_all(dir);
}

TEST(GifLimits, CanvasAboveTheLimitFails) {
    // A 100 x 100 canvas is 40000 bytes; downscaled to 50 x 50, 10000.
    GifWriter w = GifWithGlobalTable(100, 100);
    const Bytes bytes = w.Pixels(0, 0, 1, 1, {1}).Trailer().bytes;
    const std::tuple<uint64_t, int, bool> rows[] = {
        {40000, 100000, true}, {39999, 100000, false}, {10000, 50, true}, {9999, 50, false}};
    for (const auto& [limit, scale, decodes] : rows) {
        gMaxCanvasBytes = limit;
        const Decoded out = DecodeBytes(bytes, scale);
        EXPECT_EQ(out.frameCount == 1, decodes) << limit << " at " << scale;
    }
    gMaxCanvasBytes = uint64_t{1} << 30;
}

TEST(GifLimits, StringStoreFollowsTheLargestImage) {
    // A 65535 x 65535 screen once reserved 8.6 GB; the store now holds what
    // the images can add: 2 bytes a pixel plus the roots, at most what a
    // full table can hold.
    GifWriter w = GifWithGlobalTable(65535, 65535);
    w.Pixels(0, 0, 10, 10, Bytes(100, 1)).Pixels(0, 0, 30, 20, Bytes(600, 2)).Pixels(0, 0, 5, 5, Bytes(25, 3));
    const Bytes bytes = w.Trailer().bytes;
    EXPECT_EQ(DecodeBytes(bytes, 250).frameCount, 3);
    // On a thread of its own: a decoder takes the table the last one on its
    // thread left, store and all.
    std::thread([&] {
        GifDecoder d;
        d.referencePixelPath = true;
        gScaleWidth = 250;
        OpenGifStream(&d, StreamOf(bytes));
        while (ReadGifBlock(&d) != kGifTrailer) {
        }
        ASSERT_EQ(d.frameCount, 3);
        EXPECT_EQ(d.lzw->stringStoreSize, 2u * 600 + 261);
    }).join();
    EXPECT_LE(kStoreBound, 8u << 20);
}

TEST(GifDecoderReuse, NextDecoderOnTheThreadStartsClean) {
    // A decoder leaves its canvas, stream buffer and table to the next one
    // on its thread. The next file's canvas must still start transparent:
    // its one image covers a corner only. And the table must not carry over
    // what the first file's images made (a larger code size there).
    GifWriter big = GifWithGlobalTable(40, 30, 256);
    Bytes noise;
    for (int i = 0; i < 40 * 30; ++i) noise.push_back(uint8_t(i * 7 + i / 40));
    big.Pixels(0, 0, 40, 30, noise);
    const Bytes first = big.Trailer().bytes;
    GifWriter small = GifWithGlobalTable(20, 10);
    small.Pixels(0, 0, 2, 2, {1, 2, 3, 1});
    const Bytes second = small.Trailer().bytes;
    std::vector<int> expected(20 * 10, -1);
    expected[0] = 1, expected[1] = 2, expected[20] = 3, expected[21] = 1;
    for (const std::string& path : {"reuse-first.gif"s, "reuse-second.gif"s}) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>((path == "reuse-first.gif" ? first : second).data()),
                   std::streamsize((path == "reuse-first.gif" ? first : second).size()));
    }
    gScaleWidth = 100000;
    for (int round = 0; round < 2; ++round) {
        Decoded a, b;
        EXPECT_EQ(DecodeGifFile("reuse-first.gif", &a), 1);
        EXPECT_EQ(DecodeGifFile("reuse-second.gif", &b), 1);
        EXPECT_EQ(a.frames, DecodeBytes(first).frames);
        ASSERT_EQ(b.frames.size(), 1u);
        EXPECT_EQ(b.Indices(0), expected);
    }
    std::filesystem::remove("reuse-first.gif");
    std::filesystem::remove("reuse-second.gif");
}

}  // namespace
