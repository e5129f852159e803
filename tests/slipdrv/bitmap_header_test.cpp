// The bitmap-header reader both image loaders use: headers built byte by byte,
// and files from the test bitmap writer as the oracle for where rows end.
#include "bitmap_header.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <string>

#include "image_test_support.h"

namespace slipdrv {
namespace {

using image_testing::Bytes;
using image_testing::put16;
using image_testing::put32;

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

struct Fields {
    std::uint32_t headerSize = 40;
    std::int32_t width = 20;
    std::int32_t height = 12;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t offset = 54;
};

// The file header and a bitmap header of f.headerSize bytes (zero after the
// fields); a core header takes the low 16 bits of the width and height.
Bytes headerBytes(const Fields& f) {
    Bytes out = {'B', 'M'};
    put32(out, 0);  // file size
    put32(out, 0);  // reserved
    put32(out, f.offset);
    put32(out, f.headerSize);
    if (f.headerSize == 12) {
        put16(out, static_cast<std::uint16_t>(f.width));
        put16(out, static_cast<std::uint16_t>(f.height));
    } else {
        put32(out, static_cast<std::uint32_t>(f.width));
        put32(out, static_cast<std::uint32_t>(f.height));
    }
    put16(out, 1);  // planes
    put16(out, f.bits);
    if (f.headerSize != 12) put32(out, f.compression);
    out.resize(std::max<std::size_t>(out.size(), 14 + f.headerSize), 0);
    return out;
}

TEST(BitmapHeader, ReadsWhatTheHeaderAnnounces) {
    Bytes coreThenMore = headerBytes({.headerSize = 12, .width = 7, .height = 3, .bits = 8, .offset = 26});
    coreThenMore.insert(coreThenMore.end(), {0, 0, 0, 0, 1, 0, 0, 0});  // 1 where a later header has its compression
    const struct {
        const char* name;
        Bytes bytes;
        std::int32_t width, height;
        bool topDown;
        std::uint16_t bits;
        std::uint32_t compression;
        bool fixedSize;
        std::uint64_t pixelBytes;
    } cases[] = {
        {"40, bottom-up", headerBytes({}), 20, 12, false, 24, 0, true, 60 * 12},
        {"40, top-down", headerBytes({.height = -12}), 20, 12, true, 24, 0, true, 60 * 12},
        {"40, tallest top-down", headerBytes({.width = 1, .height = INT_MIN + 1, .bits = 1}), 1, INT_MAX, true, 1, 0,
         true, 4ull * INT_MAX},
        {"core, sizes unsigned", headerBytes({.headerSize = 12, .width = 65535, .height = 32768}), 65535, 32768, false,
         24, 0, true, 196608ull * 32768},
        {"core, bytes after it are not a compression", coreThenMore, 7, 3, false, 8, 0, true, 8 * 3},
        {"56, 1 bit", headerBytes({.headerSize = 56, .width = 33, .height = 3, .bits = 1}), 33, 3, false, 1, 0, true,
         8 * 3},
        {"108, 4 bits", headerBytes({.headerSize = 108, .width = 9, .height = 2, .bits = 4}), 9, 2, false, 4, 0, true,
         8 * 2},
        {"124, 32 bits", headerBytes({.headerSize = 124, .width = 5, .height = 2, .bits = 32}), 5, 2, false, 32, 0,
         true, 20 * 2},
        {"run-length 8", headerBytes({.bits = 8, .compression = 1}), 20, 12, false, 8, 1, false, 20 * 12},
        {"run-length 4", headerBytes({.bits = 4, .compression = 2}), 20, 12, false, 4, 2, false, 12 * 12},
        {"bit fields", headerBytes({.bits = 16, .compression = 3}), 20, 12, false, 16, 3, true, 40 * 12},
        {"alpha bit fields", headerBytes({.bits = 32, .compression = 6}), 20, 12, false, 32, 6, true, 80 * 12},
        {"rows beyond 64 bits", headerBytes({.width = INT_MAX, .height = INT_MAX, .bits = 65535}), INT_MAX, INT_MAX,
         false, 65535, 0, true, kMax64},
    };
    for (const auto& c : cases) {
        const auto header = readBitmapHeader(c.bytes);
        ASSERT_TRUE(header) << c.name;
        EXPECT_EQ(header->width, c.width) << c.name;
        EXPECT_EQ(header->height, c.height) << c.name;
        EXPECT_EQ(header->topDown, c.topDown) << c.name;
        EXPECT_EQ(header->bitsPerPixel, c.bits) << c.name;
        EXPECT_EQ(header->compression, c.compression) << c.name;
        EXPECT_EQ(header->fixedPixelSize(), c.fixedSize) << c.name;
        EXPECT_EQ(header->pixelBytes, c.pixelBytes) << c.name;
    }
}

TEST(BitmapHeader, RefusesHeadersOfNoUsableBitmap) {
    Bytes wrongMagic = headerBytes({});
    wrongMagic[1] = 'A';
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"nothing", {}},
        {"wrong magic", wrongMagic},
        {"header size 64", headerBytes({.headerSize = 64})},
        {"header size 0", headerBytes({.headerSize = 0})},
        {"height INT_MIN", headerBytes({.height = INT_MIN})},
        {"zero width", headerBytes({.width = 0})},
        {"negative width", headerBytes({.width = -20})},
        {"zero height", headerBytes({.height = 0})},
        {"core, zero width", headerBytes({.headerSize = 12, .width = 0})},
        {"core, zero height", headerBytes({.headerSize = 12, .height = 0})},
    };
    for (const auto& c : cases) EXPECT_FALSE(readBitmapHeader(c.bytes)) << c.name;
}

// Each prefix is a buffer of its own, so a read past it is caught under the
// address sanitizer.
TEST(BitmapHeader, RefusesEveryTruncatedHeader) {
    for (const std::uint32_t size : {12u, 40u, 56u, 108u, 124u}) {
        const Bytes whole = headerBytes({.headerSize = size});
        ASSERT_EQ(whole.size(), 14 + size);
        EXPECT_TRUE(readBitmapHeader(whole)) << size << "-byte header, whole";
        for (std::size_t n = 0; n < whole.size(); ++n)
            EXPECT_FALSE(readBitmapHeader(Bytes(whole.begin(), whole.begin() + n)))
                << size << "-byte header cut to " << n << " bytes";
    }
}

TEST(BitmapHeader, PixelRowsEndWhereTheWriterEndsTheFile) {
    using namespace image_testing;
    for (const int bits : {1, 4, 8, 24, 32})
        for (const int width : {1, 13, 33})
            for (const bool topDown : {false, true}) {
                const Bytes file = encodeBmp(Picture(width, 5, kBlack), bits, topDown);
                const std::string label = std::to_string(bits) + " bits, width " + std::to_string(width) +
                                          (topDown ? ", top-down" : ", bottom-up");
                const auto header = readBitmapHeader(file);
                ASSERT_TRUE(header) << label;
                EXPECT_EQ(header->height, 5) << label;
                EXPECT_EQ(header->topDown, topDown) << label;
                EXPECT_TRUE(header->pixelRowsEndWithin(file.size())) << label;
                EXPECT_FALSE(header->pixelRowsEndWithin(file.size() - 1)) << label;
            }
}

TEST(BitmapHeader, PixelRowsEndIsNotCutTo32Bits) {
    const auto farOffset = readBitmapHeader(headerBytes({.offset = 0xFFFFFFF0}));  // 720 bytes of rows
    const auto hugeRows = readBitmapHeader(headerBytes({.width = INT_MAX, .height = INT_MAX, .bits = 65535}));
    ASSERT_TRUE(farOffset && hugeRows);
    const struct {
        const char* name;
        const BitmapHeader& header;
        std::uint64_t fileSize;
        bool within;
    } cases[] = {
        {"offset near 4 GiB, 1000-byte file", *farOffset, 1000, false},
        {"offset near 4 GiB, rows end at the end", *farOffset, 0xFFFFFFF0ull + 720, true},
        {"offset near 4 GiB, one byte short", *farOffset, 0xFFFFFFF0ull + 719, false},
        {"rows beyond 64 bits", *hugeRows, kMax64, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.header.pixelRowsEndWithin(c.fileSize), c.within) << c.name;
}

}  // namespace
}  // namespace slipdrv
