// Barcodes and QR codes as printed dots: every symbology with a public
// definition drawn, written as a PNG and read back by a barcode scanner;
// module width, bar height and module size scale the picture; bad data refused.
#include "barcode_image.h"
#include "render_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using escpos::BarcodeSettings;
using Bytes = std::vector<std::uint8_t>;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The GTIN check digit, weights 3 and 1 from the right.
char checkDigit(const std::string& digits) {
    int sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const int weight = (digits.size() - i) % 2 == 1 ? 3 : 1;
        sum += (digits[i] - '0') * weight;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// Paper holding the dots with a white margin around them, as a scanner needs.
// A dot is read through `dot`, so both a symbol and a rendered piece fit.
template <typename Picture>
escpos::Paper onPaper(const Picture& picture, int margin) {
    escpos::Paper paper(picture.width() + 2 * margin);
    paper.extendTo(picture.height() + 2 * margin);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.dot(x, y)) paper.set(x + margin, y + margin);
    return paper;
}

bool haveScanner() { return std::system("command -v zbarimg >/dev/null 2>&1") == 0; }

// What the scanner reads in the picture, or "" when it finds nothing.
std::string scan(const escpos::Paper& paper) {
    const auto path = std::filesystem::temp_directory_path() / ("barcode-" + std::to_string(::getpid()) + ".png");
    if (!escpos::writePng(paper, path.string())) return "";
    std::string out;
    const std::string command = "zbarimg --raw -q '" + path.string() + "' 2>/dev/null";
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        std::size_t n = 0;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
        ::pclose(pipe);
    }
    std::filesystem::remove(path);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

struct ScanCase {
    int m;
    Bytes data;
    std::string expected;  // as the scanner reports it
};

TEST(BarcodeImage, EverySymbologyScansBackToItsData) {
    if (!haveScanner()) GTEST_SKIP() << "zbarimg not installed (tools/install-deps installs zbar-tools)";
    // UPC-A is reported as EAN-13 with a leading 0; UPC-E expanded the same way.
    const std::string upcA = "03600029145";
    const std::string upcE = "042100005264";  // the UPC-A number of UPC-E 0425261, check digit 4
    const std::vector<ScanCase> cases = {
        {0, bytes(upcA), "0" + upcA + checkDigit(upcA)},
        {65, bytes(upcA + checkDigit(upcA)), "0" + upcA + checkDigit(upcA)},
        {1, bytes("425261"), "0" + upcE},
        {66, bytes("0425261"), "0" + upcE},
        {66, bytes("04252614"), "0" + upcE},
        {1, bytes(upcE.substr(0, 11)), "0" + upcE},
        {66, bytes(upcE), "0" + upcE},
        {2, bytes("490123456789"), std::string("490123456789") + checkDigit("490123456789")},
        {67, bytes("4901234567894"), "4901234567894"},
        {3, bytes("4901234"), std::string("4901234") + checkDigit("4901234")},
        {68, bytes("49012347"), "49012347"},
        {4, bytes("ABC-123 $"), "ABC-123 $"},
        {69, bytes("*RECEIPT 42*"), "RECEIPT 42"},
        {5, bytes("12345678"), "12345678"},
        {70, bytes("987654321098"), "987654321098"},
        {6, bytes("A40156B"), "A40156B"},
        {71, bytes("c12-34:5d"), "C12-34:5D"},
        {72, bytes("Table 7, seat 3!"), "Table 7, seat 3!"},
        {73, bytes("{BNo. 12345"), "No. 12345"},
        {73, Bytes{'{', 'C', 12, 34, 56, 78}, "12345678"},
        {73, bytes("{AABC{Babc{{x"), "ABCabc{x"},
    };
    for (const auto& c : cases) {
        for (int moduleWidth : {2, 3}) {
            const BarcodeSettings settings{.height = 80, .moduleWidth = moduleWidth};
            const auto image = escpos::drawBarcode(c.m, c.data, settings);
            ASSERT_TRUE(image) << "m " << c.m << " " << c.expected;
            EXPECT_EQ(scan(onPaper(image->bars, 10 * moduleWidth)), c.expected)
                << "m " << c.m << " width " << moduleWidth;
        }
    }
}

struct QrCase {
    std::string data;
    int moduleSize;
    int errorLevel;
    int model;
};

TEST(BarcodeImage, QrCodesScanBackToTheirBytes) {
    if (!haveScanner()) GTEST_SKIP() << "zbarimg not installed (tools/install-deps installs zbar-tools)";
    const std::vector<QrCase> cases = {
        {"https://example.com/r?id=42", 3, 48, 50},
        {"TOTAL 128.50", 2, 51, 49},
        {"\xe6\x94\xb6\xe6\x8d\xae No.42 \xe2\x84\x96 \xe5\x85\x83", 4, 49, 50},
        {std::string(600, 'x') + "end", 2, 50, 50},
        {"0123456789", 8, 50, 50},
    };
    for (const auto& c : cases) {
        const auto image = escpos::drawQrCode(bytes(c.data), c.moduleSize, c.errorLevel, c.model);
        ASSERT_TRUE(image) << c.data;
        EXPECT_EQ(scan(onPaper(image->bars, 4 * c.moduleSize)), c.data)
            << "size " << c.moduleSize << " level " << c.errorLevel;
    }
}

// The bar pattern drawn at width w is the module pattern with every module w dots
// wide and every column the full height; the QR symbol is size x size dots per module.
TEST(BarcodeImage, ModuleWidthHeightAndSizeScaleThePicture) {
    const Bytes data = bytes("SCALE 39");
    const auto base = escpos::drawBarcode(4, data, {.height = 1, .moduleWidth = 2});
    ASSERT_TRUE(base);
    const int modules = base->bars.width() / 2;
    for (int width : {2, 4, 6}) {
        for (int height : {1, 37, 255}) {
            const auto image = escpos::drawBarcode(69, data, {.height = height, .moduleWidth = width});
            ASSERT_TRUE(image);
            ASSERT_EQ(image->bars.width(), modules * width);
            ASSERT_EQ(image->bars.height(), height);
            for (int x = 0; x < image->bars.width(); ++x)
                for (int y : {0, height - 1}) ASSERT_EQ(image->bars.dot(x, y), base->bars.dot(x / width * 2, 0)) << x;
        }
    }
    for (int size : {1, 5, 16}) {
        const auto qr = escpos::drawQrCode(bytes("A"), size, 48, 50);
        ASSERT_TRUE(qr);
        EXPECT_EQ(qr->bars.width(), 21 * size) << "version 1, no quiet zone";
        EXPECT_EQ(qr->bars.height(), 21 * size);
        EXPECT_TRUE(qr->bars.dot(0, 0) && qr->bars.dot(qr->bars.width() - 1, 0) &&
                    qr->bars.dot(0, qr->bars.height() - 1))
            << "finder corners";
    }
}

TEST(BarcodeImage, PrinterSpecificCodesGiveAPlaceholderBox) {
    struct Case {
        int m;
        std::size_t length;
        int moduleWidth;
    };
    for (const Case c : {Case{7, 13, 3}, Case{8, 8, 2}, Case{74, 12, 6}, Case{75, 7, 2}}) {
        const auto image = escpos::drawBarcode(c.m, Bytes(c.length, '5'), {.height = 50, .moduleWidth = c.moduleWidth});
        ASSERT_TRUE(image) << c.m;
        EXPECT_EQ(image->bars.width(), static_cast<int>(c.length) * 11 * c.moduleWidth) << c.m;
        EXPECT_EQ(image->bars.height(), 50);
        EXPECT_TRUE(image->bars.dot(0, 0) && image->bars.dot(image->bars.width() - 1, 49) &&
                    !image->bars.dot(image->bars.width() / 2, 25));
        EXPECT_NE(image->hri.find(std::to_string(c.m)), std::string::npos) << image->hri;
    }
}

TEST(BarcodeImage, RefusesWhatTheSymbologyCannotCarry) {
    const BarcodeSettings settings;
    const std::vector<std::pair<int, Bytes>> barcodes = {
        {0, bytes("0360002914")},     // UPC-A one digit short
        {65, bytes("036000291453")},  // wrong check digit
        {1, bytes("03600029145")},    // UPC-A number with no UPC-E form
        {2, bytes("49012345678A")},   // a letter in EAN-13
        {3, bytes("4901234+12")},     // add-on syntax is not data
        {4, bytes("AB*C")},           // start character inside Code 39
        {5, bytes("12345")},          // odd ITF
        {73, bytes("{X12")},          // unknown code set
        {73, Bytes{'{', 'C', 100}},   // set C value over 99
        {72, Bytes{'A', 0x80}},       // Code 93 is 7-bit
        {4, Bytes(256, 'A')},         // over the count byte
        {9, bytes("1")},              // unknown symbologies
        {64, bytes("1")},
        {76, bytes("1")},
        {4, Bytes{}},
    };
    for (const auto& [m, data] : barcodes) EXPECT_FALSE(escpos::drawBarcode(m, data, settings)) << "m " << m;

    const Bytes text = bytes("QR");
    EXPECT_FALSE(escpos::drawQrCode(Bytes(7090, '1'), 3, 48, 50)) << "over the largest symbol";
    EXPECT_FALSE(escpos::drawQrCode(Bytes(3000, 0xAA), 3, 51, 50)) << "over the level H capacity";
    EXPECT_FALSE(escpos::drawQrCode(Bytes{}, 3, 48, 50));
    EXPECT_FALSE(escpos::drawQrCode(text, 0, 48, 50));
    EXPECT_FALSE(escpos::drawQrCode(text, 17, 48, 50));
    EXPECT_FALSE(escpos::drawQrCode(text, 3, 52, 50));
    EXPECT_FALSE(escpos::drawQrCode(text, 3, 48, 51));
}

}  // namespace

// The renderer draws GS k and GS ( k from the stream, with the settings the
// stream made, where a scanner reads them back.
TEST(BarcodeImage, RenderedStreamsScanBack) {
    if (!haveScanner()) GTEST_SKIP() << "zbarimg is not installed";
    const auto qr = [](const std::string& data) {
        const std::size_t n = data.size() + 3;
        Bytes b = {0x1D,
                   '(',
                   'k',
                   4,
                   0,
                   '1',
                   'A',
                   '2',
                   0,
                   0x1D,
                   '(',
                   'k',
                   3,
                   0,
                   '1',
                   'C',
                   4,
                   0x1D,
                   '(',
                   'k',
                   3,
                   0,
                   '1',
                   'E',
                   '1',
                   0x1D,
                   '(',
                   'k',
                   static_cast<std::uint8_t>(n & 0xFF),
                   static_cast<std::uint8_t>(n >> 8),
                   '1',
                   'P',
                   '0'};
        b.insert(b.end(), data.begin(), data.end());
        b.insert(b.end(), {0x1D, '(', 'k', 3, 0, '1', 'Q', '0'});
        return b;
    };
    const struct {
        const char* label;
        Bytes stream;
        std::string expected;
    } cases[] = {
        {"CODE128 with HRI below, centred",
         [] {
             Bytes b = {0x1B, 'a', 1, 0x1D, 'H', 2, 0x1D, 'h', 80, 0x1D, 'w', 2, 0x1D, 'k', 73, 10};
             const std::string data = "{BTable 07";
             b.insert(b.end(), data.begin(), data.end());
             return b;
         }(),
         "Table 07"},
        {"EAN13, format A", bytes(std::string("\x1Dk\x02") + "690123456789" + std::string(1, '\0')), "6901234567892"},
        {"QR code", qr("member:8812"), "member:8812"},
    };
    for (const auto& c : cases) {
        const auto pieces = escpos::testing::renderPieces(c.stream);
        ASSERT_EQ(pieces.size(), 1u) << c.label;
        EXPECT_EQ(scan(onPaper(pieces[0], 16)), c.expected) << c.label;
    }
}
