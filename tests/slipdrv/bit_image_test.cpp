// The bit-image exports: bitmap files of every depth and row order through the
// loader, the conversion against a per-pixel reference, and the exact bytes a
// virtual printer receives, the staging files, the refusals and malformed files.
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "command_check.h"
#include "dot_image.h"
#include "image_test_support.h"

namespace slipdrv {
namespace {

using namespace testing;
using namespace image_testing;
using image_testing::Bytes;

// Every test runs in a scratch directory of its own: the exports write their
// staging files into the current directory.
class BitImageTest : public CommandTest {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/slipdrv-images-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
        CommandTest::TearDown();
    }
    // Writes the picture as a bitmap file in the scratch directory; returns its name.
    static std::string save(const std::string& name, const Picture& p, int bits = 24, bool topDown = false) {
        EXPECT_TRUE(writeFile(name, encodeBmp(p, bits, topDown)));
        return name;
    }

    std::filesystem::path dir_, previous_;
};

Picture filled(int w, int h, Colour c) { return Picture(w, h, c); }

Picture pattern(int w, int h) { return patternPicture(w, h); }

// --- The loader: every depth and both row orders give the file's colours ---

TEST_F(BitImageTest, LoaderGivesTheColoursOfEveryDepthAndRowOrder) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    const auto palette = [&](int colours) {
        std::vector<Colour> c = {kBlack, kWhite, {92, 92, 92}, {93, 93, 93}, {255, 0, 0}, {0, 255, 0}};
        while (int(c.size()) < colours) c.push_back({std::uint8_t(byte(rng)), std::uint8_t(byte(rng)),
                                                     std::uint8_t(byte(rng))});
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
                const std::string label =
                    std::to_string(bits) + " bits, " + (topDown ? "top-down " : "bottom-up ") +
                    std::to_string(w) + "x" + std::to_string(h);

                const auto loader = MakeBitmapLoader();
                ASSERT_TRUE(loader->Open(name.c_str())) << label;
                ASSERT_EQ(loader->Width(), w) << label;
                ASSERT_EQ(loader->Height(), h) << label;
                ASSERT_TRUE(loader->ReadPixels()) << label;
                for (int y = -1; y <= h; ++y)
                    for (int x = -1; x <= w; ++x) {
                        const Rgb got = loader->Pixel(x, y);
                        const bool inside = x >= 0 && y >= 0 && x < w && y < h;
                        const Colour want = inside ? p.at(x, y) : kWhite;
                        ASSERT_EQ((Colour{got.red, got.green, got.blue}), want)
                            << label << " at " << x << "," << y;
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

        const auto loader = MakeBitmapLoader();
        const auto image = LoadDotImage(*loader, "random.bmp");
        ASSERT_TRUE(image) << label;
        EXPECT_EQ(image->width, std::min(w, 640)) << label;
        EXPECT_EQ(PackBands(*image, 8), referenceBands(p, 0)) << label;
        EXPECT_EQ(PackBands(*image, 24), referenceBands(p, 33)) << label;
        const ColumnData columns = PackColumns(*image);
        EXPECT_EQ(columns.bytesAcross, (std::min(w, 640) + 7) / 8) << label;
        EXPECT_EQ(columns.bytesDown, (h + 7) / 8) << label;
        EXPECT_EQ(columns.data, referenceColumns(p)) << label;
    }
}

// --- The exports, byte for byte at the printer ---

std::vector<Case> exportCases() {
    std::vector<Case> cases;
    const auto bitmap = [&](const std::string& label, const Picture& p, int mode, bool accepted = true) {
        const std::string name = "print-" + std::to_string(cases.size()) + ".bmp";
        writeFile(name, encodeBmp(p, 24));
        cases.push_back({label + " BPPrintBitmap mode " + std::to_string(mode),
                         [name, mode] { return BPPrintBitmap(name.c_str(), mode); }, accepted ? 0 : -1,
                         accepted ? expectedPrintBitmap(p, mode) : Bytes{}});
    };
    const Picture black10 = filled(10, 10, kBlack);
    // Two 8-dot bands: FF for band 0, C0 for band 1 (rows 8 and 9 only).
    cases.push_back({"10x10 black, mode 0", [] { return BPPrintBitmap("black10.bmp", 0); }, 0,
                     Bytes{0x1B, 0x2A, 0x00, 0x0A, 0x00} + Bytes(10, 0xFF) + Bytes{0x1B, 0x4A, 0x18} +
                         Bytes{0x1B, 0x2A, 0x00, 0x0A, 0x00} + Bytes(10, 0xC0) + Bytes{0x1B, 0x4A, 0x18}});
    Bytes band24;
    for (int x = 0; x < 10; ++x) band24 = band24 + Bytes{0xFF, 0xC0, 0x00};
    cases.push_back({"10x10 black, mode 33", [] { return BPPrintBitmap("black10.bmp", 33); }, 0,
                     Bytes{0x1B, 0x2A, 0x21, 0x0A, 0x00} + band24 + Bytes{0x1B, 0x4A, 0x18}});
    writeFile("black10.bmp", encodeBmp(black10, 1));

    for (const int mode : {0, 1, 32, 33, 2, 256, 256 + 33}) bitmap("pattern 37x30", pattern(37, 30), mode);
    bitmap("threshold", thresholdPicture(), 0);
    bitmap("threshold", thresholdPicture(), 33);
    bitmap("800 wide", pattern(800, 9), 0);  // nL 80, nH 02: the left 640 columns
    bitmap("640x153", pattern(640, 153), 0);
    bitmap("640x154", pattern(640, 154), 0, false);
    bitmap("384x256", pattern(384, 256), 33);
    bitmap("384x257", pattern(384, 257), 33, false);
    bitmap("5000x19, only its left 640 columns counted", pattern(5000, 19), 0);

    const Picture p20x12 = pattern(20, 12);
    writeFile("p20x12.bmp", encodeBmp(p20x12, 24));
    cases.push_back({"20x12 download, mode 3", [] { return BPPrintDownloadBitImage("p20x12.bmp", 3); }, 0,
                     expectedDownload(p20x12, 3)});
    EXPECT_EQ(expectedDownload(p20x12, 3).size(), 4u + 48u + 3u);
    cases.push_back({"20x12 NV definition", [] { return BPDefineNVBitImage("p20x12.bmp"); }, 0,
                     expectedDefineNv(p20x12)});
    // Yb = 263 does not fit a byte: GS * sends y = 7 and 8 x 1 x 7 bytes; FS q sends it whole.
    const Picture tall = pattern(8, 2100);
    writeFile("tall.bmp", encodeBmp(tall, 1));
    cases.push_back({"8x2100 download", [] { return BPPrintDownloadBitImage("tall.bmp", 0); }, 0,
                     expectedDownload(tall, 0)});
    EXPECT_EQ(expectedDownload(tall, 0).size(), 4u + 56u + 3u);
    cases.push_back({"8x2100 NV definition", [] { return BPDefineNVBitImage("tall.bmp"); }, 0,
                     expectedDefineNv(tall)});
    cases.push_back({"8x2100 print, mode 32", [] { return BPPrintBitmap("tall.bmp", 32); }, 0,
                     expectedPrintBitmap(tall, 32)});

    for (const auto& [label, path] : {std::pair<const char*, const char*>{"null", nullptr}, {"empty", ""},
                                      {"missing", "missing.bmp"}}) {
        cases.push_back({std::string(label) + " path, BPPrintBitmap", [path] { return BPPrintBitmap(path, 0); }, -1,
                         {}});
        cases.push_back({std::string(label) + " path, BPPrintDownloadBitImage",
                         [path] { return BPPrintDownloadBitImage(path, 0); }, -1, {}});
        cases.push_back({std::string(label) + " path, BPDefineNVBitImage",
                         [path] { return BPDefineNVBitImage(path); }, -1, {}});
    }
    const auto more = twoArguments("BPPrintNVBitImage", BPPrintNVBitImage, {0x1C, 0x70}, {kByte}, {{0, 3}, {48, 51}});
    cases.insert(cases.end(), more.begin(), more.end());
    return cases;
}

TEST_F(BitImageTest, ExportsSendTheirBytesOnTheSerialLine) { check(openSerial(), exportCases()); }
TEST_F(BitImageTest, ExportsSendTheirBytesOnTheParallelPort) { check(openParallel(), exportCases()); }

TEST_F(BitImageTest, StagingFilesHoldWhatWasSentAndStay) {
    auto& printer = openSerial();
    const Picture p = pattern(37, 30);
    save("p.bmp", p);
    // An existing file is replaced, not overwritten in place.
    writeFile("top.bin", Bytes(5000, 0xAA));
    writeFile("image.bin", Bytes(5000, 0xAA));

    ASSERT_EQ(BPPrintBitmap("p.bmp", 33), 0);
    EXPECT_EQ(readFile("top.bin"), referenceBands(p, 33));
    ASSERT_EQ(BPDefineNVBitImage("p.bmp"), 0);
    EXPECT_EQ(readFile("image.bin"), referenceColumns(p));
    printer.waitForReceived(expectedPrintBitmap(p, 33).size() + expectedDefineNv(p).size(), 2s);
    EXPECT_EQ(printer.received(), expectedPrintBitmap(p, 33) + expectedDefineNv(p));

    save("p20x12.bmp", pattern(20, 12));
    ASSERT_EQ(BPDefineNVBitImage("p20x12.bmp"), 0);
    EXPECT_EQ(std::filesystem::file_size("image.bin"), 48u);
    EXPECT_EQ(BPClosePrinter(), 0);
    EXPECT_TRUE(fileExists("top.bin") && fileExists("image.bin")) << "the files stay when the port closes";
}

TEST_F(BitImageTest, WithNoPortOpenTheImageIsStillConvertedAndStaged) {
    const Picture p = pattern(20, 12);
    save("p.bmp", p);
    EXPECT_EQ(BPPrintBitmap("p.bmp", 0), -1);
    EXPECT_EQ(readFile("top.bin"), referenceBands(p, 0));
    EXPECT_EQ(BPDefineNVBitImage("p.bmp"), -1);
    EXPECT_EQ(readFile("image.bin"), referenceColumns(p));
    EXPECT_EQ(BPPrintDownloadBitImage("p.bmp", 0), -1);
    EXPECT_EQ(BPPrintNVBitImage(1, 0), -1);
}

TEST_F(BitImageTest, AStagingFileThatCannotBeCreatedRefusesBeforeSending) {
    auto& printer = openSerial();
    save("p.bmp", pattern(20, 12));
    std::filesystem::create_directory("top.bin");
    std::filesystem::create_directory("image.bin");
    check(printer, {{"top.bin is a directory", [] { return BPPrintBitmap("p.bmp", 0); }, -1, {}},
                    {"image.bin is a directory", [] { return BPDefineNVBitImage("p.bmp"); }, -1, {}}});
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
        cases.push_back({std::string(f.name) + ", BPPrintBitmap", [name] { return BPPrintBitmap(name.c_str(), 0); },
                         -1, {}});
        cases.push_back({std::string(f.name) + ", BPPrintDownloadBitImage",
                         [name] { return BPPrintDownloadBitImage(name.c_str(), 0); }, -1, {}});
        cases.push_back({std::string(f.name) + ", BPDefineNVBitImage",
                         [name] { return BPDefineNVBitImage(name.c_str()); }, -1, {}});
    }
    cases.push_back({"a directory", [] { return BPPrintBitmap(".", 0); }, -1, {}});
    check(printer, cases);
    EXPECT_FALSE(fileExists("top.bin"));
    EXPECT_FALSE(fileExists("image.bin"));
}

}  // namespace
}  // namespace slipdrv
