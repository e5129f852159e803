// The bit-image exports through the platform's image loader: the exact bytes
// the printer receives for files of the depths every loader reads, the
// staging files, and the refusals (of files that are not ordinary ones too).
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "bit_image_fixture.h"
#include "fifos_and_links.h"

namespace slipdrv {
namespace {

using namespace testing;
using namespace image_testing;
using image_testing::Bytes;

Picture filled(int w, int h, Colour c) { return Picture(w, h, c); }

Picture pattern(int w, int h) { return patternPicture(w, h); }

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
    // Every depth a bitmap file has, through the platform's loader.
    for (const int bits : {1, 4, 8, 32}) {
        const Picture p = pattern(13, 10);
        const std::string name = "depth-" + std::to_string(bits) + ".bmp";
        writeFile(name, encodeBmp(p, bits));
        cases.push_back({"13x10 at " + std::to_string(bits) + " bits",
                         [name] { return BPPrintBitmap(name.c_str(), 33); }, 0, expectedPrintBitmap(p, 33)});
    }
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
    cases.push_back(
        {"20x12 NV definition", [] { return BPDefineNVBitImage("p20x12.bmp"); }, 0, expectedDefineNv(p20x12)});
    // GS * takes Yb in one byte: 2040 rows (Yb 255) load, 2041 rows (Yb 256)
    // and more are refused; FS q takes Yb in two bytes.
    const Picture tallest = pattern(8, 2040), tall = pattern(8, 2100);
    writeFile("tallest.bmp", encodeBmp(tallest, 1));
    writeFile("tall.bmp", encodeBmp(tall, 1));
    writeFile("tall-2041.bmp", encodeBmp(pattern(8, 2041), 1));
    cases.push_back(
        {"8x2040 download", [] { return BPPrintDownloadBitImage("tallest.bmp", 0); }, 0, expectedDownload(tallest, 0)});
    EXPECT_EQ(expectedDownload(tallest, 0).size(), 4u + 8u * 255 + 3u);
    cases.push_back({"8x2041 download", [] { return BPPrintDownloadBitImage("tall-2041.bmp", 0); }, -1, {}});
    cases.push_back({"8x2100 download", [] { return BPPrintDownloadBitImage("tall.bmp", 0); }, -1, {}});
    cases.push_back({"8x2100 NV definition", [] { return BPDefineNVBitImage("tall.bmp"); }, 0, expectedDefineNv(tall)});
    cases.push_back(
        {"8x2100 print, mode 32", [] { return BPPrintBitmap("tall.bmp", 32); }, 0, expectedPrintBitmap(tall, 32)});

    // Not a bitmap, and a header announcing 20000 x 20000 over a few bytes:
    // refused before the loader spends anything on them.
    Bytes notBitmap = encodeBmp(p20x12, 24), huge = notBitmap;
    notBitmap[0] = 'X';
    for (int i = 0; i < 4; ++i) huge[18 + i] = huge[22 + i] = static_cast<std::uint8_t>((20000 >> (8 * i)) & 0xFF);
    writeFile("not-bitmap.bmp", notBitmap);
    writeFile("huge.bmp", huge);
    cases.push_back({"wrong magic", [] { return BPPrintBitmap("not-bitmap.bmp", 0); }, -1, {}});
    cases.push_back({"announces 20000x20000", [] { return BPPrintBitmap("huge.bmp", 33); }, -1, {}});
    for (const auto& [label, path] :
         {std::pair<const char*, const char*>{"null", nullptr}, {"empty", ""}, {"missing", "missing.bmp"}}) {
        cases.push_back(
            {std::string(label) + " path, BPPrintBitmap", [path] { return BPPrintBitmap(path, 0); }, -1, {}});
        cases.push_back({std::string(label) + " path, BPPrintDownloadBitImage",
                         [path] { return BPPrintDownloadBitImage(path, 0); },
                         -1,
                         {}});
        cases.push_back(
            {std::string(label) + " path, BPDefineNVBitImage", [path] { return BPDefineNVBitImage(path); }, -1, {}});
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
    EXPECT_EQ(printer.written(), expectedPrintBitmap(p, 33) + expectedDefineNv(p));

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

// What is not an ordinary file, as the image or in a staging file's place, is
// refused with nothing sent, and at once: opening a FIFO waits for its other
// end. A link or a second name is never written through.
TEST_F(BitImageTest, FilesThatAreNotOrdinaryAreRefused) {
    auto& printer = openSerial();
    save("p.bmp", pattern(20, 12));
    const Bytes kept = {'k', 'e', 'p', 't'};
    const auto secondName = [](const char* name) {
        std::error_code error;
        std::filesystem::create_hard_link("other.txt", name, error);
        return !error;
    };
    const struct {
        const char* name;
        std::function<bool()> make;
        std::function<int()> call;
    } rows[] = {
        {"FIFO as the image, BPPrintBitmap", [] { return makeFifo("in.bmp"); },
         [] { return BPPrintBitmap("in.bmp", 0); }},
        {"FIFO as the image, BPPrintDownloadBitImage", [] { return makeFifo("in.bmp"); },
         [] { return BPPrintDownloadBitImage("in.bmp", 0); }},
        {"FIFO as the image, BPDefineNVBitImage", [] { return makeFifo("in.bmp"); },
         [] { return BPDefineNVBitImage("in.bmp"); }},
        {"top.bin a FIFO", [] { return makeFifo("top.bin"); }, [] { return BPPrintBitmap("p.bmp", 0); }},
        {"image.bin a FIFO", [] { return makeFifo("image.bin"); }, [] { return BPDefineNVBitImage("p.bmp"); }},
        {"top.bin a link", [] { return makeSymlink("other.txt", "top.bin"); },
         [] { return BPPrintBitmap("p.bmp", 0); }},
        {"image.bin a link", [] { return makeSymlink("other.txt", "image.bin"); },
         [] { return BPDefineNVBitImage("p.bmp"); }},
        {"top.bin a second name", [&] { return secondName("top.bin"); }, [] { return BPPrintBitmap("p.bmp", 0); }},
        {"image.bin a second name", [&] { return secondName("image.bin"); },
         [] { return BPDefineNVBitImage("p.bmp"); }},
    };
    const auto clear = [] {
        for (const char* name : {"in.bmp", "top.bin", "image.bin", "other.txt"}) removeFile(name);
    };
    for (const auto& row : rows) {
        clear();
        writeFile("other.txt", kept);
        if (!row.make()) {
            std::printf("not possible here: %s\n", row.name);
            continue;
        }
        printer.clear();
        EXPECT_EQ(row.call(), -1) << row.name;
        EXPECT_EQ(printer.written(), Bytes{}) << row.name;
        EXPECT_EQ(readFile("other.txt"), kept) << row.name;
    }
    clear();
}

TEST_F(BitImageTest, AStagingFileThatCannotBeCreatedRefusesBeforeSending) {
    auto& printer = openSerial();
    save("p.bmp", pattern(20, 12));
    std::filesystem::create_directory("top.bin");
    std::filesystem::create_directory("image.bin");
    check(printer, {{"top.bin is a directory", [] { return BPPrintBitmap("p.bmp", 0); }, -1, {}},
                    {"image.bin is a directory", [] { return BPDefineNVBitImage("p.bmp"); }, -1, {}}});
}

}  // namespace
}  // namespace slipdrv
