// The renderer's paper: images pixel-exact where the stream puts them, feeds
// and cuts; and the receipt-render program on a small file.
#include "render_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using escpos::testing::cat;
constexpr std::uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, LF = 0x0A;

// Per process, so that builds running the tests at once do not share files.
std::filesystem::path scratch(const std::string& name) {
    return std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
}

// The test picture: irregular, so that any mirroring, shift or transposition shows.
bool pattern(int column, int row) { return (column * 7 + row * 3) % 5 == 0 || column == row + 1; }

// Encoders written from the command definitions, independent of the renderer.
Bytes columnBytes(int columns, int bytesPerColumn) {
    Bytes out;
    for (int c = 0; c < columns; ++c)
        for (int b = 0; b < bytesPerColumn; ++b) {
            std::uint8_t v = 0;
            for (int k = 0; k < 8; ++k)
                if (pattern(c, b * 8 + k)) v |= static_cast<std::uint8_t>(0x80 >> k);
            out.push_back(v);
        }
    return out;
}

Bytes rowBytes(int bytesPerRow, int rows) {
    Bytes out;
    for (int r = 0; r < rows; ++r)
        for (int b = 0; b < bytesPerRow; ++b) {
            std::uint8_t v = 0;
            for (int k = 0; k < 8; ++k)
                if (pattern(b * 8 + k, r)) v |= static_cast<std::uint8_t>(0x80 >> k);
            out.push_back(v);
        }
    return out;
}

std::vector<escpos::Paper> render(const Bytes& stream, const std::string& nvStore = "") {
    return escpos::testing::renderPieces(stream, {576, nvStore, 100000});
}

// Every dot of the paper is black exactly where the scaled pattern is.
void expectPicture(const escpos::Paper& paper, int x0, int y0, int width, int height, int sx, int sy) {
    int mismatches = 0;
    for (int y = 0; y < paper.height(); ++y)
        for (int x = 0; x < paper.width(); ++x) {
            const bool inside = x >= x0 && y >= y0 && x < x0 + width * sx && y < y0 + height * sy;
            const bool expected = inside && pattern((x - x0) / sx, (y - y0) / sy);
            if (paper.dot(x, y) != expected && ++mismatches <= 3) ADD_FAILURE() << "dot " << x << "," << y;
        }
    EXPECT_EQ(mismatches, 0);
}

struct ImageCase {
    const char* name;
    Bytes stream;
    int x0, width, height, sx, sy;
};

TEST(Renderer, ImagesAreDrawnDotForDotWhereTheStreamPutsThem) {
    // ESC J 5 moves the images down 5 rows; bit images follow 3 blank columns.
    const Bytes down = {ESC, 'J', 5};
    const Bytes blank = {ESC, '*', 1, 3, 0, 0, 0, 0};
    const auto bit = [&](std::uint8_t m, int n, int bpc) {
        return cat({down, blank, {ESC, '*', m, static_cast<std::uint8_t>(n), 0}, columnBytes(n, bpc), {LF}});
    };
    const auto raster = [&](std::uint8_t m) { return cat({down, {GS, 'v', '0', m, 2, 0, 11, 0}, rowBytes(2, 11)}); };
    const auto download = [&](std::uint8_t m) {
        return cat({{GS, '*', 2, 3}, columnBytes(16, 3), down, {GS, '/', m}});
    };
    const std::vector<ImageCase> cases = {
        {"ESC * 0", bit(0, 10, 1), 3, 10, 8, 2, 1},  {"ESC * 1", bit(1, 10, 1), 3, 10, 8, 1, 1},
        {"ESC * 32", bit(32, 9, 3), 3, 9, 24, 2, 1}, {"ESC * 33", bit(33, 9, 3), 3, 9, 24, 1, 1},
        {"GS v 0 0", raster(0), 0, 16, 11, 1, 1},    {"GS v 0 1", raster(1), 0, 16, 11, 2, 1},
        {"GS v 0 2", raster(2), 0, 16, 11, 1, 2},    {"GS v 0 51", raster(51), 0, 16, 11, 2, 2},
        {"GS / 0", download(0), 0, 16, 24, 1, 1},    {"GS / 3", download(3), 0, 16, 24, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto pieces = render(c.stream);
        ASSERT_EQ(pieces.size(), 1u);
        expectPicture(pieces[0], c.x0, 5, c.width, c.height, c.sx, c.sy);
    }
}

TEST(Renderer, NvImagesDefinedInOneRunPrintInTheNext) {
    const auto store = scratch("renderer-nv").string();
    std::filesystem::remove(store);
    // Two images: 8 x 8 (all black) and 16 x 16 (the pattern).
    const Bytes define = cat({{FS, 'q', 2, 1, 0, 1, 0}, Bytes(8, 0xFF), {2, 0, 2, 0}, columnBytes(16, 2)});
    EXPECT_TRUE(render(define, store).empty());  // defining prints nothing

    for (const std::uint8_t m : {0, 2, 49}) {
        SCOPED_TRACE(int{m});
        const auto pieces = render({ESC, 'J', 5, FS, 'p', 2, m}, store);
        ASSERT_EQ(pieces.size(), 1u);
        expectPicture(pieces[0], 0, 5, 16, 16, (m & 1) + 1, (m & 2) / 2 + 1);
    }
    // A missing image prints nothing; a corrupt store holds no images.
    EXPECT_EQ(render({FS, 'p', 3, 0}, store).size(), 0u);
    std::ofstream(store, std::ios::binary | std::ios::app) << 'x';
    EXPECT_EQ(render({FS, 'p', 1, 0}, store).size(), 0u);
    std::filesystem::remove(store);
}

TEST(Renderer, FeedsMoveDownByTheLineSpacingOrTheLineHeight) {
    const Bytes image24 = cat({{ESC, '*', 33, 1, 0}, {0, 0, 1}});
    const struct {
        const char* name;
        Bytes stream;
        int height;
    } cases[] = {
        {"LF", {LF}, 30},
        {"ESC 3 then LF", {ESC, '3', 20, LF}, 20},
        {"ESC 2 restores", {ESC, '3', 20, ESC, '2', LF}, 30},
        {"ESC @ restores", {ESC, '3', 20, ESC, '@', LF}, 30},
        {"ESC d", {ESC, '3', 7, ESC, 'd', 3}, 21},
        {"ESC J", {ESC, 'J', 7, ESC, 'J', 0}, 7},
        {"image line taller than spacing", cat({{ESC, '3', 10}, image24, {LF}}), 24},
        {"image line then two lines", cat({image24, {ESC, 'd', 2}}), 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto pieces = render(c.stream);
        ASSERT_EQ(pieces.size(), 1u);
        EXPECT_EQ(pieces[0].height(), c.height);
    }
}

TEST(Renderer, EachCutEndsAPieceOfPaper) {
    const struct {
        const char* name;
        Bytes stream;
        std::vector<int> heights;
    } cases[] = {
        {"two cuts, three pieces",
         {ESC, 'J', 10, GS, 'V', 0, ESC, 'J', 20, GS, 'V', 66, 5, ESC, 'J', 30},
         {10, 25, 30}},
        {"nothing after the cut", {ESC, 'J', 10, GS, 'V', 1, ESC, '@', ESC, 'J', 0}, {10}},
        {"cut on blank paper", {GS, 'V', 0, ESC, 'i', ESC, 'J', 4}, {4}},
        {"pending image printed at the cut", {ESC, '*', 1, 1, 0, 0x80, GS, 'V', 49}, {8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> heights;
        for (const auto& p : render(c.stream)) heights.push_back(p.height());
        EXPECT_EQ(heights, c.heights);
    }
}

TEST(Renderer, PrintingPastTheMaximumLengthIsDropped) {
    int dropped = 0;
    const auto pieces = escpos::testing::renderPieces(
        cat({{ESC, 'J', 90, GS, 'v', '0', 0, 1, 0, 40, 0}, Bytes(40, 0xFF), {ESC, 'd', 255}}), {384, "", 100},
        &dropped);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].height(), 100);
    EXPECT_TRUE(pieces[0].dot(0, 99));
    EXPECT_GT(dropped, 0);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ReceiptRender, WritesOnePngPerPieceAndASummary) {
    const auto dir = scratch("receipt-render");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const Bytes stream = {ESC, '*', 1, 2, 0, 0xFF, 0x81, LF, GS, 'V', 0, ESC, 'J', 8, 0x01};
    std::ofstream((dir / "r.bin").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    const std::string base = std::string(RECEIPT_RENDER) + " --width 384 --nv-store " + (dir / "nv.bin").string();
    const auto run = [&](const std::string& args) {
        return std::system((base + " " + args + " >/dev/null 2>" + (dir / "err.txt").string()).c_str());
    };
    ASSERT_EQ(run((dir / "r.bin").string()), 0) << readFile(dir / "err.txt");
    EXPECT_EQ(readFile(dir / "err.txt"), "4 commands, 1 unknown byte, 2 pieces\n");
    for (const char* name : {"r-1.png", "r-2.png"}) {
        const std::string png = readFile(dir / name);
        ASSERT_GE(png.size(), 24u) << name;
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
        EXPECT_EQ(png.substr(16, 4), std::string("\0\0\x01\x80", 4)) << "width 384";
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "r-3.png"));
    EXPECT_NE(run((dir / "missing.bin").string()), 0);
    EXPECT_NE(readFile(dir / "err.txt").find("cannot read"), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
