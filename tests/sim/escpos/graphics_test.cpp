// The graphics functions of GS ( L and GS 8 L: the print buffer in raster
// and column format and at each scale, download and NV graphics defined,
// printed and deleted, NV graphics across renderers sharing a store, refused
// definitions, and their listing lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "render_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using escpos::testing::cat;
constexpr std::uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C;

std::filesystem::path scratch(const std::string& name) {
    return std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
}

// Irregular, so that a mirror, shift, transposition or lost padding shows.
bool pattern(int x, int y) { return (x * 5 + y * 3) % 7 == 0 || x == y; }

// The pattern as the commands send it, written from the function definitions:
// rows of (w + 7) / 8 bytes with bit 7 leftmost, the padding bits black (they
// must not print), or columns of (h + 7) / 8 bytes with bit 7 on top.
Bytes rows(int w, int h) {
    Bytes out;
    for (int y = 0; y < h; ++y)
        for (int b = 0; b < (w + 7) / 8; ++b) {
            std::uint8_t v = 0;
            for (int k = 0; k < 8; ++k)
                if (b * 8 + k >= w || pattern(b * 8 + k, y)) v |= static_cast<std::uint8_t>(0x80 >> k);
            out.push_back(v);
        }
    return out;
}

Bytes columns(int w, int h) {
    Bytes out;
    for (int x = 0; x < w; ++x)
        for (int b = 0; b < (h + 7) / 8; ++b) {
            std::uint8_t v = 0;
            for (int k = 0; k < 8; ++k)
                if (b * 8 + k < h && pattern(x, b * 8 + k)) v |= static_cast<std::uint8_t>(0x80 >> k);
            out.push_back(v);
        }
    return out;
}

// GS ( L with its payload m fn ..., or GS 8 L.
Bytes gsL(const Bytes& payload) {
    const auto n = payload.size();
    return cat({{GS, '(', 'L', static_cast<std::uint8_t>(n & 0xFF), static_cast<std::uint8_t>(n >> 8)}, payload});
}
Bytes gs8L(const Bytes& payload) {
    const auto n = payload.size();
    return cat({{GS, '8', 'L', static_cast<std::uint8_t>(n & 0xFF), static_cast<std::uint8_t>((n >> 8) & 0xFF),
                 static_cast<std::uint8_t>((n >> 16) & 0xFF), 0},
                payload});
}
std::uint8_t lo(int v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t hi(int v) { return static_cast<std::uint8_t>(v >> 8); }

Bytes store(int fn, int bx, int by, int w, int h, const Bytes& data) {
    return cat({{48, static_cast<std::uint8_t>(fn), 48, static_cast<std::uint8_t>(bx), static_cast<std::uint8_t>(by),
                 49, lo(w), hi(w), lo(h), hi(h)},
                data});
}
Bytes define(int fn, const char* key, int w, int h, const Bytes& data) {
    return cat({{48, static_cast<std::uint8_t>(fn), 48, static_cast<std::uint8_t>(key[0]),
                 static_cast<std::uint8_t>(key[1]), 1, lo(w), hi(w), lo(h), hi(h), 49},
                data});
}
Bytes print(int fn, const char* key, int sx = 1, int sy = 1) {
    return {48,
            static_cast<std::uint8_t>(fn),
            static_cast<std::uint8_t>(key[0]),
            static_cast<std::uint8_t>(key[1]),
            static_cast<std::uint8_t>(sx),
            static_cast<std::uint8_t>(sy)};
}
const Bytes kPrintBuffer{48, 50};

std::vector<escpos::Paper> render(const Bytes& stream, const std::string& nvStore = "") {
    return escpos::testing::renderPieces(stream, {576, nvStore, 100000});
}

// The pattern w x h at the paper's top left, each dot sx x sy, and nothing else.
void expectPattern(const std::vector<escpos::Paper>& pieces, int w, int h, int sx, int sy) {
    ASSERT_EQ(pieces.size(), 1u);
    const escpos::Paper& paper = pieces[0];
    ASSERT_GE(paper.height(), h * sy);
    int wrong = 0;
    for (int y = 0; y < paper.height(); ++y)
        for (int x = 0; x < paper.width(); ++x) {
            const bool inside = x < w * sx && y < h * sy;
            if (paper.dot(x, y) != (inside && pattern(x / sx, y / sy))) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

// Nothing printed: no piece, or a piece without a black dot.
bool blank(const std::vector<escpos::Paper>& pieces) {
    for (const auto& paper : pieces)
        if (!escpos::testing::bands(paper).empty()) return false;
    return true;
}

TEST(RendererGraphics, PrintBufferDrawsEachFormatAndScaleDotForDot) {
    const struct {
        const char* name;
        Bytes stream;
        int w, h, sx, sy;
    } cases[] = {
        {"raster", gsL(store(112, 1, 1, 21, 13, rows(21, 13))), 21, 13, 1, 1},
        {"column", gsL(store(113, 1, 1, 19, 11, columns(19, 11))), 19, 11, 1, 1},
        {"raster, double width", gsL(store(112, 2, 1, 21, 13, rows(21, 13))), 21, 13, 2, 1},
        {"column, double height", gsL(store(113, 1, 2, 19, 11, columns(19, 11))), 19, 11, 1, 2},
        {"GS 8 L, quadruple", gs8L(store(112, 2, 2, 30, 9, rows(30, 9))), 30, 9, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expectPattern(render(cat({c.stream, gsL(kPrintBuffer)})), c.w, c.h, c.sx, c.sy);
    }
}

TEST(RendererGraphics, PrintBufferIsEmptiedByPrintingAndByInitialising) {
    const Bytes stored = gsL(store(112, 1, 1, 21, 13, rows(21, 13)));
    expectPattern(render(cat({stored, gsL(kPrintBuffer), gsL(kPrintBuffer)})), 21, 13, 1, 1);
    EXPECT_TRUE(blank(render(cat({stored, {ESC, '@'}, gsL(kPrintBuffer)}))));
}

TEST(RendererGraphics, DownloadGraphicsAreDefinedPrintedAndDeleted) {
    const Bytes a1 = gsL(define(83, "A1", 21, 13, rows(21, 13)));
    const Bytes b2 = gsL(define(84, "B2", 19, 11, columns(19, 11)));
    SCOPED_TRACE("download");
    expectPattern(render(cat({a1, gsL(print(85, "A1"))})), 21, 13, 1, 1);
    expectPattern(render(cat({b2, gsL(print(85, "B2", 2, 2))})), 19, 11, 2, 2);
    expectPattern(render(cat({a1, {ESC, '@'}, gsL(print(85, "A1"))})), 21, 13, 1, 1);  // kept across ESC @
    EXPECT_TRUE(blank(render(cat({a1, gsL({48, 82, 'A', '1'}), gsL(print(85, "A1"))}))));
    EXPECT_TRUE(blank(render(cat({a1, b2, gsL({48, 81, 'C', 'L', 'R'}), gsL(print(85, "A1")), gsL(print(85, "B2"))}))));
    // Deleting another key, or an NV graphic of the same key, leaves it.
    expectPattern(render(cat({a1, gsL({48, 82, 'A', '2'}), gsL({48, 66, 'A', '1'}), gsL(print(85, "A1"))})), 21, 13, 1,
                  1);
    EXPECT_TRUE(blank(render(cat({a1, gsL(print(69, "A1"))})))) << "a download graphic printed as NV";
}

TEST(RendererGraphics, NvGraphicsOutliveTheRendererInTheStoreBesideItsNvImages) {
    const auto path = scratch("graphics-nv-store");
    std::filesystem::remove(path);
    // A store as earlier runs wrote it: one FS q image of 8 x 8 dots, all black.
    {
        std::ofstream out(path, std::ios::binary);
        const Bytes old = cat({{'N', 'V', 'I', 'M', 'G', 'S', '0', '1', 13, 0, 0, 0, 1, 1, 0, 1, 0}, Bytes(8, 0xFF)});
        out.write(reinterpret_cast<const char*>(old.data()), static_cast<std::streamsize>(old.size()));
    }
    ASSERT_EQ(escpos::testing::bands(render({FS, 'p', 1, 0}, path.string()).at(0)),
              (std::vector<escpos::testing::Box>{{0, 8, 0, 8}}));
    render(cat({gsL(define(67, "A1", 21, 13, rows(21, 13))), gsL(define(68, "zz", 19, 11, columns(19, 11)))}),
           path.string());
    SCOPED_TRACE("a new renderer with the same store");
    expectPattern(render(gsL(print(69, "A1")), path.string()), 21, 13, 1, 1);
    expectPattern(render(gsL(print(69, "zz", 1, 2)), path.string()), 19, 11, 1, 2);
    EXPECT_EQ(escpos::testing::bands(render({FS, 'p', 1, 0}, path.string()).at(0)),
              (std::vector<escpos::testing::Box>{{0, 8, 0, 8}}))
        << "the FS q image kept beside the graphics";
    render(gsL({48, 66, 'A', '1'}), path.string());
    EXPECT_TRUE(blank(render(gsL(print(69, "A1")), path.string())));
    expectPattern(render(gsL(print(69, "zz")), path.string()), 19, 11, 1, 1);
    render(gsL({48, 65, 'C', 'L', 'R'}), path.string());
    EXPECT_TRUE(blank(render(gsL(print(69, "zz")), path.string())));
    std::filesystem::remove(path);
}

// Each is ignored: the stream prints nothing, and a graphic defined before
// under the same key stays.
TEST(RendererGraphics, MalformedAndOversizedFunctionsAreIgnored) {
    const Bytes a1 = gsL(define(83, "A1", 21, 13, rows(21, 13)));
    // 4096 x 800 dots: 409,600 bytes, more than the 384 KiB download memory.
    const Bytes tooBig = gs8L(define(83, "A1", 4096, 800, Bytes(512 * 800, 0xFF)));
    Bytes shortData = define(83, "A1", 21, 13, rows(21, 13));
    shortData.pop_back();
    Bytes colour = define(83, "A1", 21, 13, rows(21, 13));
    colour[10] = 50;
    const struct {
        const char* name;
        Bytes stream;
    } cases[] = {
        {"beyond the capacity", tooBig},
        {"data a byte short", gsL(shortData)},
        {"second colour", gsL(colour)},
        {"zero width", gsL(define(83, "A1", 0, 13, {}))},
        {"key code below 20h", gsL(define(83, "\x01", 8, 1, {0xFF}))},
        {"print at scale 3", gsL(print(85, "A1", 3, 1))},
        {"buffer at scale 0", cat({gsL(store(112, 0, 1, 8, 1, {0xFF})), gsL(kPrintBuffer)})},
        {"no function", gsL({48})},
        {"delete all without CLR", gsL({48, 81, 'C', 'L'})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(blank(render(c.stream)));
        expectPattern(render(cat({a1, c.stream, gsL(print(85, "A1"))})), 21, 13, 1, 1);
    }
}

TEST(RendererGraphics, ListingNamesEachFunction) {
    const struct {
        Bytes stream;
        const char* meaning;
    } cases[] = {
        {gsL(store(112, 1, 1, 256, 24, Bytes(32 * 24))),
         "graphics: store raster in the print buffer 256 x 24 dots, scale 1 x 1"},
        {gsL(store(113, 2, 1, 20, 9, Bytes(40))),
         "graphics: store column format in the print buffer 20 x 9 dots, "
         "scale 2 x 1"},
        {gsL(kPrintBuffer), "graphics: print the print buffer"},
        {gsL({48, 49, 50, 50}), "graphics: set the reference dot density to 180 dpi"},
        {gsL(define(67, "A1", 384, 120, Bytes(48 * 120))), "NV graphics: define 'A1' 384 x 120 dots"},
        {gsL(define(84, "zz", 8, 16, Bytes(16))), "download graphics: define 'zz' 8 x 16 dots, column format"},
        {gsL(define(83, "A1", 8, 2, Bytes(1))), "download graphics: define 'A1', malformed; ignored"},
        {gsL(print(69, "A1", 2, 1)), "NV graphics: print 'A1', scale 2 x 1"},
        {gsL({48, 82, 'B', '2'}), "download graphics: delete 'B2'"},
        {gsL({48, 65, 'C', 'L', 'R'}), "NV graphics: delete all"},
        {gsL({48, 80, 'K', 'C'}), "download graphics: transmit the key codes"},
        {gsL({48, 48}), "graphics: transmit the NV graphics capacity"},
        {gsL({48, 52}), "graphics: transmit the remaining download graphics capacity"},
        {gsL({48, 7, 1}), "graphics function 7 (3 bytes)"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> meanings;
        escpos::Decoder decoder([&](const escpos::Command& command) { meanings.push_back(command.meaning()); });
        decoder.feed(c.stream);
        decoder.finish();
        EXPECT_EQ(meanings, std::vector<std::string>{c.meaning});
    }
}

}  // namespace
