// The Linux image loader: bitmap files of every depth and row order give
// their colours, the conversion matches a per-pixel reference on random
// images, and malformed files are refused before anything is sent or staged.
#include <climits>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bit_image_fixture.h"
#include "dot_image.h"

namespace slipdrv {
namespace {

using namespace testing;
using namespace image_testing;
using image_testing::Bytes;

Picture pattern(int w, int h) { return patternPicture(w, h); }

// --- The loader: every depth and both row orders give the file's colours ---

TEST_F(BitImageTest, LoaderGivesTheColoursOfEveryDepthAndRowOrder) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    const auto palette = [&](int colours) {
        std::vector<Colour> c = {kBlack, kWhite, {92, 92, 92}, {93, 93, 93}, {255, 0, 0}, {0, 255, 0}};
        while (int(c.size()) < colours)
            c.push_back({std::uint8_t(byte(rng)), std::uint8_t(byte(rng)), std::uint8_t(byte(rng))});
        c.resize(colours);
        return c;
    };
    for (const int bits : {1, 4, 8, 24, 32})
        for (const bool topDown : {false, true})
            for (const auto& [w, h] : {std::pair{13, 7}, std::pair{1, 1}, std::pair{33, 17}}) {
                const auto colours = palette(bits <= 8 ? 1 << bits : 256);
                std::uniform_int_distribution<std::size_t> pick(0, colours.size() - 1);
                Picture p(w, h);
                for (auto& c : p.pixels) c = colours[pick(rng)];
                const std::string name = "depth.bmp";
                save(name, p, bits, topDown);
                const std::string label = std::to_string(bits) + " bits, " + (topDown ? "top-down " : "bottom-up ") +
                                          std::to_string(w) + "x" + std::to_string(h);

                const auto loader = makeBitmapLoader();
                ASSERT_TRUE(loader->open(name.c_str())) << label;
                ASSERT_EQ(loader->width(), w) << label;
                ASSERT_EQ(loader->height(), h) << label;
                ASSERT_TRUE(loader->readPixels()) << label;
                for (int y = -1; y <= h; ++y)
                    for (int x = -1; x <= w; ++x) {
                        const Rgb got = loader->pixel(x, y);
                        const bool inside = x >= 0 && y >= 0 && x < w && y < h;
                        const Colour want = inside ? p.at(x, y) : kWhite;
                        ASSERT_EQ((Colour{got.red, got.green, got.blue}), want) << label << " at " << x << "," << y;
                    }
            }
}

// --- The conversion against the per-pixel reference, on random images ---

TEST_F(BitImageTest, RandomImagesPackLikeThePerPixelReference) {
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> width(1, 700), bits(0, 1);
    for (int round = 0; round < 40; ++round) {
        const int w = width(rng);
        const int maxHeight = std::max(1, 98367 / std::min(w, 640) / 20);  // well within the limit, quick to make
        const int h = std::uniform_int_distribution<int>(1, std::min(maxHeight, 200))(rng);
        const Picture p = randomPicture(rng, w, h);
        save("random.bmp", p, bits(rng) ? 32 : 24, round % 3 == 0);
        const std::string label = std::to_string(w) + "x" + std::to_string(h);

        const auto loader = makeBitmapLoader();
        const auto image = loadDotImage(*loader, "random.bmp");
        ASSERT_TRUE(image) << label;
        EXPECT_EQ(image->width, std::min(w, 640)) << label;
        EXPECT_EQ(packBands(*image, 8), referenceBands(p, 0)) << label;
        EXPECT_EQ(packBands(*image, 24), referenceBands(p, 33)) << label;
        const ColumnData columns = packColumns(*image);
        EXPECT_EQ(columns.bytesAcross, (std::min(w, 640) + 7) / 8) << label;
        EXPECT_EQ(columns.bytesDown, (h + 7) / 8) << label;
        EXPECT_EQ(columns.data, referenceColumns(p)) << label;
    }
}

// --- Malformed files: refused, nothing sent, nothing staged, no crash ---

Bytes withField32(Bytes file, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[offset + i] = std::uint8_t(value >> (8 * i));
    return file;
}

TEST_F(BitImageTest, MalformedFilesAreRefused) {
    auto& printer = openSerial();
    const Bytes good = encodeBmp(pattern(20, 12), 24);
    Bytes wrongMagic = good;
    wrongMagic[0] = 'X';
    Bytes badDepth = good;
    badDepth[28] = 7;
    // A PNG signature and header announcing 60000 x 60000, then nothing usable.
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    png = png + Bytes{0x00, 0x00, 0xEA, 0x60, 0x00, 0x00, 0xEA, 0x60, 8, 2, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        const char* name;
        Bytes file;
    } files[] = {
        {"empty file", {}},
        {"wrong magic", wrongMagic},
        {"header only", Bytes(good.begin(), good.begin() + 20)},
        {"pixel data cut in half", Bytes(good.begin(), good.begin() + good.size() / 2)},
        {"pixel data one byte short", Bytes(good.begin(), good.end() - 1)},
        {"1000000 x 1000000 announced", withField32(withField32(good, 18, 1000000), 22, 1000000)},
        {"INT_MAX x 1 announced", withField32(withField32(good, 18, INT_MAX), 22, 1)},
        {"5000000 x 1 announced (within the size limit)", withField32(withField32(good, 18, 5000000), 22, 1)},
        {"640 x 100000 announced", withField32(withField32(good, 18, 640), 22, 100000)},
        {"negative width", withField32(good, 18, std::uint32_t(-20))},
        {"zero height", withField32(good, 22, 0)},
        {"seven bits a pixel", badDepth},
        {"pixel data offset past the end", withField32(good, 10, 0x7FFFFFF0)},
        {"PNG announcing 60000 x 60000", png},
    };
    std::vector<Case> cases;
    for (const auto& f : files) {
        const std::string name = std::string("bad-") + std::to_string(cases.size()) + ".bmp";
        writeFile(name, f.file);
        cases.push_back(
            {std::string(f.name) + ", BPPrintBitmap", [name] { return BPPrintBitmap(name.c_str(), 0); }, -1, {}});
        cases.push_back({std::string(f.name) + ", BPPrintDownloadBitImage",
                         [name] { return BPPrintDownloadBitImage(name.c_str(), 0); },
                         -1,
                         {}});
        cases.push_back({std::string(f.name) + ", BPDefineNVBitImage",
                         [name] { return BPDefineNVBitImage(name.c_str()); },
                         -1,
                         {}});
    }
    cases.push_back({"a directory", [] { return BPPrintBitmap(".", 0); }, -1, {}});
    check(printer, cases);
    EXPECT_FALSE(fileExists("top.bin"));
    EXPECT_FALSE(fileExists("image.bin"));
}

}  // namespace
}  // namespace slipdrv
