// The reel artwork and the icon files drawn from it. The files are checked
// twice: byte by byte against the ICO layout, and by Qt's own readers, which
// are what the viewer loads them with.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/icon_art.h"
#include "art_test_util.h"

namespace {

using arttest::Le16;
using arttest::Le32;

int Alpha(const std::vector<uint8_t>& art, int size, int x, int y) {
    return art[(static_cast<size_t>(y) * size + x) * 4 + 3];
}

// Fully transparent pixels that cannot be reached from the border through
// other transparent pixels: the holes of the reel.
int EnclosedTransparentPixels(const std::vector<uint8_t>& art, int size) {
    std::vector<char> outside(static_cast<size_t>(size) * size, 0);
    std::vector<std::pair<int, int>> todo;
    for (int i = 0; i < size; ++i) {
        todo.push_back({i, 0});
        todo.push_back({i, size - 1});
        todo.push_back({0, i});
        todo.push_back({size - 1, i});
    }
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        if (x < 0 || y < 0 || x >= size || y >= size) continue;
        char& seen = outside[static_cast<size_t>(y) * size + x];
        if (seen || Alpha(art, size, x, y) != 0) continue;
        seen = 1;
        todo.insert(todo.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
    }
    int enclosed = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (Alpha(art, size, x, y) == 0 && !outside[static_cast<size_t>(y) * size + x])
                ++enclosed;
    return enclosed;
}

double Coverage(const std::vector<uint8_t>& art, int size) {
    double sum = 0;
    for (size_t i = 3; i < art.size(); i += 4) sum += art[i];
    return sum / 255.0 / (static_cast<double>(size) * size);
}

TEST(ReelArt, SizeAndRepeatability) {
    for (int size : {1, 2, 16, 32, 48, 256}) {
        EXPECT_EQ(DrawReelIcon(size).size(), static_cast<size_t>(size) * size * 4) << size;
    }
    EXPECT_TRUE(DrawReelIcon(0).empty());
    EXPECT_TRUE(DrawReelIcon(-4).empty());
    EXPECT_EQ(DrawReelIcon(32), DrawReelIcon(32));
}

// A round reel on nothing: clear corners, a solid hub, holes one can see
// through, and soft edges.
TEST(ReelArt, ReelShape) {
    for (int size : {16, 32, 48}) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> art = DrawReelIcon(size);
        for (auto [x, y] : {std::pair{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}}) {
            EXPECT_EQ(Alpha(art, size, x, y), 0) << x << "," << y;
        }
        EXPECT_EQ(Alpha(art, size, size / 2, size / 2), 255);
        EXPECT_EQ(Alpha(art, size, size / 2 - 1, size / 2 - 1), 255);
        int partial = 0;
        for (size_t i = 3; i < art.size(); i += 4) partial += art[i] > 0 && art[i] < 255;
        EXPECT_GT(partial, size) << "edges are not antialiased";
        // Straight alpha: a clear pixel carries no colour.
        for (size_t i = 0; i < art.size(); i += 4) {
            if (art[i + 3] == 0) {
                ASSERT_EQ(art[i] | art[i + 1] | art[i + 2], 0) << "pixel " << i / 4;
            }
        }
    }
    EXPECT_GT(EnclosedTransparentPixels(DrawReelIcon(32), 32), 20);
    EXPECT_GT(EnclosedTransparentPixels(DrawReelIcon(48), 48), 40);
}

// Every size shows one shape: the covered share of the square hardly moves
// between 16 and 256 pixels.
TEST(ReelArt, ShapeDoesNotDependOnSize) {
    const double reference = Coverage(DrawReelIcon(256), 256);
    EXPECT_GT(reference, 0.4);
    EXPECT_LT(reference, 0.75);
    for (int size : {16, 32, 48}) {
        EXPECT_NEAR(Coverage(DrawReelIcon(size), size), reference, 0.03) << size;
    }
}

struct IconFile {
    const char* name;
    std::vector<int> sizes;
};

class IconFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = arttest::FreshFolder("icons");
        toolRan_ = arttest::RunTool(MAKE_ICONS, folder_);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder_); }
    void SetUp() override { ASSERT_TRUE(toolRan_) << "make_icons failed"; }

    static inline std::filesystem::path folder_;
    static inline bool toolRan_ = false;
};

const IconFile kIconFiles[] = {
    {"fav.ico", {16, 32}},
    {"favBg.ico", {32, 48}},
};

// ICONDIR, ICONDIRENTRY and the 32-bit DIB of every entry, down to each
// pixel and mask bit.
TEST_F(IconFiles, IcoLayout) {
    for (const IconFile& file : kIconFiles) {
        SCOPED_TRACE(file.name);
        const std::vector<uint8_t> b = arttest::ReadAll(folder_ / file.name);
        ASSERT_GE(b.size(), 6u);
        EXPECT_EQ(Le16(b, 0), 0u);
        EXPECT_EQ(Le16(b, 2), 1u);  // icon
        ASSERT_EQ(Le16(b, 4), file.sizes.size());
        size_t expectedOffset = 6 + 16 * file.sizes.size();
        for (size_t e = 0; e < file.sizes.size(); ++e) {
            const int size = file.sizes[e];
            SCOPED_TRACE(size);
            const size_t entry = 6 + 16 * e;
            EXPECT_EQ(b.at(entry), size);
            EXPECT_EQ(b.at(entry + 1), size);
            EXPECT_EQ(b.at(entry + 2), 0);  // no palette
            EXPECT_EQ(Le16(b, entry + 4), 1u);
            EXPECT_EQ(Le16(b, entry + 6), 32u);
            const uint32_t length = Le32(b, entry + 8);
            const uint32_t offset = Le32(b, entry + 12);
            const uint32_t maskStride = (static_cast<uint32_t>(size) + 31) / 32 * 4;
            ASSERT_EQ(length, 40 + static_cast<uint32_t>(size) * size * 4 + maskStride * size);
            ASSERT_EQ(offset, expectedOffset) << "entries must follow each other without gaps";
            ASSERT_LE(static_cast<size_t>(offset) + length, b.size());
            expectedOffset += length;

            EXPECT_EQ(Le32(b, offset), 40u);
            EXPECT_EQ(Le32(b, offset + 4), static_cast<uint32_t>(size));
            EXPECT_EQ(Le32(b, offset + 8),
                      static_cast<uint32_t>(size) * 2);  // colour and mask halves
            EXPECT_EQ(Le16(b, offset + 12), 1u);
            EXPECT_EQ(Le16(b, offset + 14), 32u);
            EXPECT_EQ(Le32(b, offset + 16), 0u);  // uncompressed

            const std::vector<uint8_t> art = DrawReelIcon(size);
            const size_t pixels = offset + 40;
            const size_t mask = pixels + static_cast<size_t>(size) * size * 4;
            int wrongPixels = 0, wrongMask = 0;
            for (int y = 0; y < size; ++y) {
                const int stored = size - 1 - y;  // rows are stored bottom up
                for (int x = 0; x < size; ++x) {
                    const uint8_t* want = &art[(static_cast<size_t>(y) * size + x) * 4];
                    const size_t at = pixels + (static_cast<size_t>(stored) * size + x) * 4;
                    wrongPixels += b[at] != want[2] || b[at + 1] != want[1] ||
                                   b[at + 2] != want[0] || b[at + 3] != want[3];
                    const bool maskBit =
                        (b[mask + static_cast<size_t>(stored) * maskStride + x / 8] >>
                         (7 - x % 8)) &
                        1;
                    wrongMask += maskBit != (want[3] == 0);
                }
            }
            EXPECT_EQ(wrongPixels, 0);
            EXPECT_EQ(wrongMask, 0);
        }
        EXPECT_EQ(expectedOffset, b.size()) << "bytes after the last entry";
    }
}

// Qt's readers hand out premultiplied pixels, so compare in that form:
// alpha exact, each colour channel within one step of rounding.
int PremultipliedMismatches(const QImage& image, const std::vector<uint8_t>& art) {
    const QImage qt = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    int mismatches = 0;
    for (int y = 0; y < qt.height(); ++y) {
        const uint8_t* line = qt.constScanLine(y);
        for (int x = 0; x < qt.width(); ++x) {
            const uint8_t* got = line + x * 4;
            const uint8_t* want = &art[(static_cast<size_t>(y) * qt.width() + x) * 4];
            bool same = got[3] == want[3];
            for (int c = 0; c < 3; ++c) {
                const int premultiplied = (want[c] * want[3] + 127) / 255;
                same = same && std::abs(got[c] - premultiplied) <= 1;
            }
            mismatches += !same;
        }
    }
    return mismatches;
}

// What the viewer will see: Qt's ICO reader finds every entry with the
// art's pixels, and the PNG for the desktop reads back as the 48 px art.
TEST_F(IconFiles, QtReadsThemAsTheArt) {
    for (const IconFile& file : kIconFiles) {
        SCOPED_TRACE(file.name);
        QImageReader reader(QString::fromStdString((folder_ / file.name).string()));
        ASSERT_EQ(reader.imageCount(), static_cast<int>(file.sizes.size()))
            << reader.errorString().toStdString();
        for (size_t e = 0; e < file.sizes.size(); ++e) {
            ASSERT_TRUE(reader.jumpToImage(static_cast<int>(e)));
            const QImage image = reader.read();
            ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
            ASSERT_EQ(image.width(), file.sizes[e]);
            ASSERT_EQ(image.height(), file.sizes[e]);
            EXPECT_EQ(PremultipliedMismatches(image, DrawReelIcon(file.sizes[e])), 0)
                << "entry " << e;
        }
    }
    const QImage png(QString::fromStdString((folder_ / "reelstack.png").string()));
    ASSERT_FALSE(png.isNull());
    ASSERT_EQ(png.width(), 48);
    ASSERT_EQ(png.height(), 48);
    EXPECT_EQ(PremultipliedMismatches(png, DrawReelIcon(48)), 0);
}

}  // namespace

int main(int argc, char** argv) {
    // Qt's image plugins are found through the application object.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
