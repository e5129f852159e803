// The renderer's paper: images pixel-exact where the stream puts them, feeds
// and cuts; and the receipt-render program on a small file.
#include "render_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
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
constexpr std::uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, LF = 0x0A, FF = 0x0C;

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

// The renderer stops for good at its first limit; the piece that reached the
// maximum length goes out as far as it, and nothing after it.
TEST(Renderer, StopsAtTheFirstLimitReached) {
    const Bytes cut = {ESC, 'J', 4, GS, 'V', 0};
    const Bytes raster40 = cat({{GS, 'v', '0', 0, 1, 0, 40, 0}, Bytes(40, 0xFF)});
    const struct {
        const char* name;
        Bytes stream;
        std::vector<int> heights;
        escpos::Limit limit;
    } cases[] = {
        {"as many pieces as allowed", cat({cut, cut, cut}), {4, 4, 4}, escpos::Limit::kNone},
        {"a cut with nothing after it", cat({cut, cut, cut, {GS, 'V', 0}}), {4, 4, 4}, escpos::Limit::kNone},
        {"a fourth piece begun", cat({cut, cut, cut, {ESC, 'J', 1}}), {4, 4, 4}, escpos::Limit::kPieces},
        {"feeds to exactly the length", {ESC, 'J', 60, ESC, 'J', 40, GS, 'V', 0}, {100}, escpos::Limit::kNone},
        {"a feed past the length", cat({{ESC, 'J', 60, ESC, 'J', 41}, cut, cut}), {100}, escpos::Limit::kLength},
        {"an image past the length", cat({{ESC, 'J', 90}, raster40, cut}), {100}, escpos::Limit::kLength},
        {"a page past the length",
         cat({{ESC, 'J', 90, ESC, 'L', ESC, 'W', 0, 0, 0, 0, 64, 0, 30, 0}, {'x', FF}, cut}),
         {100},
         escpos::Limit::kLength},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        escpos::Limit limit = escpos::Limit::kNone;
        escpos::RendererOptions options{384, "", 100};
        options.maxPieces = 3;
        std::vector<int> heights;
        for (const auto& p : escpos::testing::renderPieces(c.stream, options, &limit)) heights.push_back(p.height());
        EXPECT_EQ(heights, c.heights);
        EXPECT_EQ(limit, c.limit);
    }
    // The image is drawn down to the last row of the piece.
    const auto pieces = escpos::testing::renderPieces(cat({{ESC, 'J', 90}, raster40}), {384, "", 100});
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_TRUE(pieces[0].dot(0, 99));
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
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the test runs one thread
        return std::system((base + " " + args + " >/dev/null 2>" + (dir / "err.txt").string()).c_str());
    };
    ASSERT_EQ(run((dir / "r.bin").string()), 0) << readFile(dir / "err.txt");
    EXPECT_EQ(readFile(dir / "err.txt"), "4 commands, 0 malformed commands, 1 unknown byte, 2 pieces\n");
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

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes repeated(const Bytes& unit, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

// The exit status of receipt-render run in `dir` on s.bin; its stderr goes to err.txt.
int renderIn(const std::filesystem::path& dir, const std::string& args) {
    const std::string command =
        "cd " + dir.string() + " && " + RECEIPT_RENDER + " " + args + " s.bin >/dev/null 2>err.txt";
    const int status = std::system(command.c_str());  // NOLINT(concurrency-mt-unsafe): one thread
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Rows of a PNG, from its header; -1 if there is no such file.
int pngHeight(const std::filesystem::path& path) {
    const std::string png = readFile(path);
    if (png.size() < 24) return -1;
    int height = 0;
    for (int i = 20; i < 24; ++i) height = height << 8 | static_cast<unsigned char>(png[static_cast<std::size_t>(i)]);
    return height;
}

// Generated streams against the limits, as they are and raised: the pieces
// written, the last one's length, the exit status and what stderr says.
TEST(ReceiptRender, StopsAtItsLimitsUnlessTheyAreRaised) {
    const auto dir = scratch("receipt-render-limits");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const Bytes cuts = repeated({ESC, 'J', 2, GS, 'V', 0}, 1001);
    const Bytes feeds = repeated({ESC, 'J', 250}, 100);  // 25000 dot rows, never cut
    // A raster image its data stops short of, and one announcing 4 GB.
    const Bytes malformed = cat({{ESC, 'J', 5, GS, 'v', '0', 0, 0xFF, 0xFF, 0xFF, 0xFF, 'a', GS, 'V', 0}});
    const Bytes truncated = {ESC, 'J', 5, GS, 'v', '0', 0, 2, 0, 8, 0, 'a', 'b'};
    const struct {
        const char* name;
        Bytes stream;
        std::string args;
        int pieces;
        int lastHeight;
        int status;
        std::string says;
    } cases[] = {
        {"1001 cuts", cuts, "", 1000, 2, 1, "stopped at 1000 pieces"},
        {"1001 cuts, more allowed", cuts, "--max-pieces 1001", 1001, 2, 0, "1001 pieces\n"},
        {"25000 rows of feeds", feeds, "", 1, 20000, 1, "reached 20000 dots"},
        {"25000 rows of feeds, longer allowed", feeds, "--max-length 25000", 1, 25000, 0, "1 piece\n"},
        {"an oversized payload", malformed, "", 1, 5, 0, "1 malformed command,"},
        {"a payload cut short", truncated, "", 1, 5, 0, "1 malformed command,"},
        {"a limit of 0", feeds, "--max-length 0", 0, -1, 2, "--max-length"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : std::filesystem::directory_iterator(dir)) std::filesystem::remove(entry.path());
        writeFile(dir / "s.bin", c.stream);
        EXPECT_EQ(renderIn(dir, c.args), c.status);
        const std::string said = readFile(dir / "err.txt");
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_EQ(pngHeight(dir / ("s-" + std::to_string(c.pieces) + ".png")), c.lastHeight);
        EXPECT_FALSE(std::filesystem::exists(dir / ("s-" + std::to_string(c.pieces + 1) + ".png")));
    }
    std::filesystem::remove_all(dir);
}

// NV images outlive a run only in the file --nv-store names: a definition
// left by one run must not print in the next run in the same folder.
TEST(ReceiptRender, KeepsNvImagesOnlyInTheStoreItIsGiven) {
    const auto dir = scratch("receipt-render-nv");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const Bytes define = cat({{FS, 'q', 1, 1, 0, 1, 0}, Bytes(8, 0xFF)});
    const Bytes print = {FS, 'p', 1, 0};
    const struct {
        const char* name;
        std::string args;
        int printed;
    } cases[] = {{"no store", "", -1}, {"a store", "--nv-store nv.bin", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir / "s.bin", define);
        EXPECT_EQ(renderIn(dir, c.args), 0) << readFile(dir / "err.txt");
        writeFile(dir / "s.bin", print);
        EXPECT_EQ(renderIn(dir, c.args), 0) << readFile(dir / "err.txt");
        EXPECT_EQ(pngHeight(dir / "s-1.png"), c.printed);
        EXPECT_FALSE(std::filesystem::exists(dir / "nv-images.bin"));
        std::filesystem::remove(dir / "s-1.png");
    }
    std::filesystem::remove_all(dir);
}

// The character set option reaches the paper: 中 sent as UTF-8 prints as
// it does from GB18030 in Chinese mode only under --charset utf8; a set the
// printer cannot have is refused as a usage error.
TEST(ReceiptRender, ReadsTextInTheCharacterSetItIsGiven) {
    const auto dir = scratch("receipt-render-charset");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    writeFile(dir / "s.bin", {FS, '&', 0xD6, 0xD0, LF});
    ASSERT_EQ(renderIn(dir, "--out gb18030"), 0) << readFile(dir / "err.txt");
    writeFile(dir / "s.bin", {0xE4, 0xB8, 0xAD, LF});
    const struct {
        const char* args;
        int status;
        bool asFromGb18030;
    } cases[] = {
        {"--charset utf8 --out out", 0, true},
        {"--out out", 0, false},
        {"--charset latin1 --out out", 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::filesystem::remove(dir / "out-1.png");
        EXPECT_EQ(renderIn(dir, c.args), c.status);
        EXPECT_EQ(readFile(dir / "out-1.png") == readFile(dir / "gb18030-1.png"), c.asFromGb18030);
        if (c.status == 2) {
            EXPECT_NE(readFile(dir / "err.txt").find("--charset"), std::string::npos);
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
