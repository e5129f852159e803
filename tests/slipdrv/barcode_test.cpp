// GS k barcodes: every symbology's length rule and character set, both
// formats, long data built whole, refusals that send nothing; QR codes.
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "command_check.h"

namespace slipdrv {
namespace {

using namespace testing;

enum class Set { kDigits, kCode39, kCodabar, kAnyByte };

// What a symbology accepts, as the host sees it: its codes in format A (data
// closed by NUL; -1 when it has none) and format B (count byte first), the
// data lengths and the characters allowed.
struct Symbology {
    const char* name;
    int formatA;
    int formatB;
    int minLength;
    int maxLengthA;
    int maxLengthB;
    bool even;
    Set set;
};

const Symbology kSymbologies[] = {
    {"UPC-A", 0, 65, 11, 12, 12, false, Set::kDigits},
    {"UPC-E", 1, 66, 11, 12, 12, false, Set::kDigits},
    {"JAN13", 2, 67, 12, 13, 13, false, Set::kDigits},
    {"JAN8", 3, 68, 7, 8, 8, false, Set::kDigits},
    {"CODE39", 4, 69, 1, 255, 255, false, Set::kCode39},
    {"ITF", 5, 70, 2, 254, 254, true, Set::kDigits},  // format A: even and at most 255
    {"CODABAR", 6, 71, 1, 255, 255, false, Set::kCodabar},
    {"CODE93", -1, 72, 1, 255, 255, false, Set::kAnyByte},
    {"CODE128", -1, 73, 1, 255, 255, false, Set::kAnyByte},
    {"code 7/74", 7, 74, 12, 13, 13, false, Set::kDigits},
    {"code 8/75", 8, 75, 7, 8, 8, false, Set::kDigits},
};

const std::string kDigits = "0123456789";
const std::string kCode39 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%+-./";
const std::string kCodabar = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ$+-./:";

std::string allBytes() {
    std::string s;
    for (int b = 1; b <= 255; ++b) s.push_back(static_cast<char>(b));
    return s;
}

const std::string& alphabet(Set set) {
    static const std::string any = allBytes();
    switch (set) {
        case Set::kDigits:
            return kDigits;
        case Set::kCode39:
            return kCode39;
        case Set::kCodabar:
            return kCodabar;
        case Set::kAnyByte:
            return any;
    }
    return kDigits;
}

// `length` characters of the set, going round it.
std::string dataOf(Set set, int length) {
    const std::string& a = alphabet(set);
    std::string s;
    for (int i = 0; i < length; ++i) s.push_back(a[static_cast<std::size_t>(i) % a.size()]);
    return s;
}

Bytes formatA(int m, const std::string& data) { return Bytes{0x1D, 0x6B, low8(m)} + bytesOf(data) + Bytes{0x00}; }
Bytes formatB(int m, int n, const std::string& data) { return Bytes{0x1D, 0x6B, low8(m), low8(n)} + bytesOf(data); }

std::string describe(const std::string& data) {
    if (data.size() > 20) return std::to_string(data.size()) + " bytes";
    std::string text = "\"";
    for (const char c : data) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            text.push_back(c);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            text += "\\x";
            text.push_back(hex[b >> 4]);
            text.push_back(hex[b & 15]);
        }
    }
    return text + "\"";
}

Case barcode(int m, int n, std::string data, int result, Bytes bytes) {
    auto held = std::make_shared<std::string>(std::move(data));
    return {"BPPrintBarCode(" + std::to_string(m) + ", " + std::to_string(n) + ", " + describe(*held) + ")",
            [m, n, held] { return BPPrintBarCode(m, n, held->c_str()); }, result, std::move(bytes)};
}

// Format A with its data; the n argument is tested but not sent.
Case sentA(int m, const std::string& data, int n = 1) { return barcode(m, n, data, 0, formatA(m, data)); }
// Format B with n = the data length.
Case sentB(int m, const std::string& data) {
    const int n = static_cast<int>(data.size());
    return barcode(m, n, data, 0, formatB(m, n, data));
}
Case refused(int m, int n, const std::string& data) { return barcode(m, n, data, -1, {}); }

// A length the row accepts, a little above its shortest.
int validLength(const Symbology& s) { return s.even ? s.minLength + 2 : s.minLength + 1; }

bool lengthAccepted(const Symbology& s, int length, bool a) {
    return length >= s.minLength && length <= (a ? s.maxLengthA : s.maxLengthB) && !(s.even && length % 2);
}

// Each row's length rule at its edges, in both formats.
std::vector<Case> lengthCases() {
    std::vector<Case> cases;
    for (const auto& s : kSymbologies) {
        for (const bool a : {true, false}) {
            const int m = a ? s.formatA : s.formatB;
            if (m < 0) continue;
            const int max = a ? s.maxLengthA : s.maxLengthB;
            for (const int length : {s.minLength, s.minLength + 1, max - 1, max, s.minLength - 1, max + 1, max + 2}) {
                if (length <= 0) continue;
                const std::string data = dataOf(s.set, length);
                if (!lengthAccepted(s, length, a)) {
                    cases.push_back(refused(m, a ? 1 : std::min(length, 255), data));
                } else {
                    cases.push_back(a ? sentA(m, data) : sentB(m, data));
                }
            }
            // Empty data is refused by every code.
            cases.push_back(refused(m, 1, ""));
        }
    }
    return cases;
}

// ITF takes pairs of digits: odd lengths are refused at any size.
std::vector<Case> itfCases() {
    return {
        sentA(5, "123456"),
        refused(5, 1, "12345"),
        refused(5, 1, "1"),
        sentA(5, "12"),
        refused(5, 1, dataOf(Set::kDigits, 97)),
        sentA(5, dataOf(Set::kDigits, 98)),
        refused(5, 1, dataOf(Set::kDigits, 255)),
        refused(5, 1, dataOf(Set::kDigits, 256)),
        refused(70, 3, "123"),
        sentB(70, "1234"),
        refused(70, 255, dataOf(Set::kDigits, 255)),
        refused(70, 255, dataOf(Set::kDigits, 256)),
    };
}

// Every character of each set is accepted; the bytes around the set and the
// lower-case letters are refused, wherever they stand in the data.
std::vector<Case> characterSetCases() {
    std::vector<Case> cases = {
        sentA(4, kCode39),     sentB(69, kCode39),    sentA(6, kCodabar),        sentB(71, kCodabar),
        sentB(72, allBytes()), sentB(73, allBytes()), sentB(72, "code93 lower"), sentB(73, "\x01\x7F\x80\xFF"),
    };
    const struct {
        Set set;
        std::string outside;
    } sets[] = {
        {Set::kDigits, std::string("/:A a.-+$ \x7F\x80\xB0\xFF", 14)},
        {Set::kCode39, std::string("az@[:*#!&=_\x7F\x80\xC1", 14)},
        {Set::kCodabar, std::string(" %az@[*;#\x7F\x80\xC1", 12)},
    };
    for (const auto& s : kSymbologies) {
        for (const auto& entry : sets) {
            if (entry.set != s.set) continue;
            for (const char bad : entry.outside) {
                for (const bool a : {true, false}) {
                    const int m = a ? s.formatA : s.formatB;
                    std::string data = dataOf(s.set, validLength(s));
                    data[data.size() / 2] = bad;
                    cases.push_back(refused(m, static_cast<int>(data.size()), data));
                }
            }
            // At the first and at the last position too.
            std::string first = dataOf(s.set, validLength(s));
            first.front() = entry.outside[0];
            cases.push_back(refused(s.formatA, 1, first));
            std::string last = dataOf(s.set, validLength(s));
            last.back() = entry.outside[1];
            cases.push_back(refused(s.formatB, static_cast<int>(last.size()), last));
        }
    }
    return cases;
}

// Data longer than 96 bytes goes out whole, up to the 255 a count byte can carry.
std::vector<Case> longDataCases() {
    std::vector<Case> cases;
    for (const int length : {96, 97, 100, 200, 255}) {
        cases.push_back(sentA(4, dataOf(Set::kCode39, length)));
        cases.push_back(sentA(6, dataOf(Set::kCodabar, length)));
        cases.push_back(sentB(69, dataOf(Set::kCode39, length)));
        cases.push_back(sentB(71, dataOf(Set::kCodabar, length)));
        cases.push_back(sentB(72, dataOf(Set::kAnyByte, length)));
        cases.push_back(sentB(73, dataOf(Set::kAnyByte, length)));
    }
    for (const int m : {4, 6, 69, 71, 72, 73}) {
        const Set set = m == 4 || m == 69 ? Set::kCode39 : m == 6 || m == 71 ? Set::kCodabar : Set::kAnyByte;
        cases.push_back(refused(m, 255, dataOf(set, 256)));
        cases.push_back(refused(m, 255, dataOf(set, 1000)));
    }
    return cases;
}

// The symbology code, the count argument and the data pointer.
std::vector<Case> argumentCases() {
    const std::string twelve = "012345678905";
    const std::string thirteen = "4901234567894";
    return {
        // n is tested for format A too, although it is not sent.
        sentA(0, twelve, 1),
        sentA(0, twelve, 255),
        refused(0, 0, twelve),
        refused(0, 256, twelve),
        refused(0, -1, twelve),
        refused(0, 256 + 12, twelve),
        refused(0, INT_MIN, twelve),
        // The count byte goes out as given, not compared with the data.
        barcode(65, 5, twelve, 0, formatB(65, 5, twelve)),
        barcode(65, 255, twelve, 0, formatB(65, 255, twelve)),
        barcode(73, 5, "AB-12", 0, {0x1D, 0x6B, 0x49, 0x05, 0x41, 0x42, 0x2D, 0x31, 0x32}),
        barcode(73, 1, "ABCDEFGH", 0, formatB(73, 1, "ABCDEFGH")),
        refused(65, 0, twelve),
        refused(65, 256, twelve),
        refused(65, 256 + 12, twelve),
        // Codes outside 0-8 and 65-75, also when their low byte would be one.
        refused(-1, 1, twelve),
        refused(9, 1, twelve),
        refused(64, 1, twelve),
        refused(76, 1, twelve),
        refused(256, 1, twelve),
        refused(256 + 65, 12, twelve),
        refused(256 + 73, 12, twelve),
        refused(INT_MIN, 1, twelve),
        refused(INT_MAX, 1, twelve),
        // The examples of the two JAN13 formats and their wrong lengths.
        sentA(2, thirteen),
        sentB(67, thirteen),
        refused(2, 1, "49012345678"),
        refused(2, 1, "49012345678941"),
        refused(67, 13, "49012345678"),
        refused(74, 13, "49012345678941"),
        {"BPPrintBarCode(73, 5, null)", [] { return BPPrintBarCode(73, 5, nullptr); }, -1, {}},
        {"BPPrintBarCode(0, 1, null)", [] { return BPPrintBarCode(0, 1, nullptr); }, -1, {}},
    };
}

// The data ends at its first zero byte; what follows it is not sent.
std::vector<Case> terminatorCases() {
    static const char afterZero[] =
        "012345678905\0"
        "999";
    static const char shortened[] =
        "01234\0"
        "56789012";
    return {
        {"BPPrintBarCode(0, 1, twelve digits, zero, more)", [] { return BPPrintBarCode(0, 1, afterZero); }, 0,
         formatA(0, "012345678905")},
        {"BPPrintBarCode(0, 1, five digits, zero, more)", [] { return BPPrintBarCode(0, 1, shortened); }, -1, {}},
    };
}

// A QR code as the five GS ( k commands, written out: model 2, module size,
// error correction, the data with its length + 3 (pL pH), print.
Bytes qrCommands(const std::string& data, std::uint8_t pL, std::uint8_t pH, std::uint8_t size, std::uint8_t level) {
    return Bytes{0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00} +
           Bytes{0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, size} +
           Bytes{0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, level} + Bytes{0x1D, 0x28, 0x6B, pL, pH, 0x31, 0x50, 0x30} +
           bytesOf(data) + Bytes{0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30};
}

Case qrCode(const std::string& data, int size, int level, int result, Bytes bytes) {
    auto held = std::make_shared<std::string>(data);
    return {"BPPrintQRCode(" + describe(data) + ", " + std::to_string(size) + ", " + std::to_string(level) + ")",
            [held, size, level] { return BPPrintQRCode(held->c_str(), size, level); }, result, std::move(bytes)};
}

// Both ends of every range, the values around them, and data of 1, 252, 253
// (the length byte carries into pH) and 7089 bytes of every non-zero value.
std::vector<Case> qrCases() {
    std::vector<Case> cases;
    for (const int size : probes({{1, 16}})) {
        const bool ok = size >= 1 && size <= 16;
        cases.push_back(qrCode("A", size, 0, ok ? 0 : -1, ok ? qrCommands("A", 4, 0, low8(size), '0') : Bytes{}));
    }
    for (const int level : probes({{0, 3}, {48, 51}})) {
        const bool ok = (level >= 0 && level <= 3) || (level >= 48 && level <= 51);
        const auto sent = static_cast<std::uint8_t>('0' + level % 48);  // L, M, Q, H as '0'-'3'
        cases.push_back(qrCode("A", 16, level, ok ? 0 : -1, ok ? qrCommands("A", 4, 0, 16, sent) : Bytes{}));
    }
    const struct {
        std::size_t length;
        std::uint8_t pL, pH;
    } lengths[] = {{1, 0x04, 0x00}, {252, 0xFF, 0x00}, {253, 0x00, 0x01}, {7089, 0xB4, 0x1B}};
    for (const auto& l : lengths) {
        const std::string data = dataOf(Set::kAnyByte, static_cast<int>(l.length));
        cases.push_back(qrCode(data, 3, 49, 0, qrCommands(data, l.pL, l.pH, 3, '1')));
    }
    cases.push_back(qrCode(dataOf(Set::kAnyByte, 7090), 3, 49, -1, {}));
    cases.push_back(qrCode(dataOf(Set::kAnyByte, 100000), 3, 49, -1, {}));
    cases.push_back(qrCode("", 3, 49, -1, {}));
    cases.push_back({"BPPrintQRCode(null, 3, 49)", [] { return BPPrintQRCode(nullptr, 3, 49); }, -1, {}});
    return cases;
}

std::vector<Case> allBarcodeCases() {
    std::vector<Case> all;
    for (auto family :
         {lengthCases, itfCases, characterSetCases, longDataCases, argumentCases, terminatorCases, qrCases}) {
        const auto cases = family();
        all.insert(all.end(), cases.begin(), cases.end());
    }
    return all;
}

class BarcodeTest : public CommandTest {};

TEST_F(BarcodeTest, LengthRulesOfEverySymbology) { check(openSerial(), lengthCases()); }

TEST_F(BarcodeTest, InterleavedTwoOfFiveTakesPairs) { check(openSerial(), itfCases()); }

TEST_F(BarcodeTest, CharacterSets) { check(openSerial(), characterSetCases()); }

TEST_F(BarcodeTest, LongDataIsBuiltWhole) { check(openSerial(), longDataCases()); }

TEST_F(BarcodeTest, CodeCountAndDataArguments) {
    auto& printer = openSerial();
    check(printer, argumentCases());
    check(printer, terminatorCases());
}

TEST_F(BarcodeTest, QrCodes) {
    auto& printer = openSerial();
    check(printer, qrCases());
    ASSERT_EQ(BPPrintQRCode("https://example.com/pay?t=7", 8, 2), 0);
    EXPECT_EQ(printer.timeouts(), std::vector<int>{3000}) << "one write, parallel time-out 3000 ms";
}

TEST_F(BarcodeTest, EverythingOnTheParallelChannel) { check(openParallel(), allBarcodeCases()); }

TEST_F(BarcodeTest, PortClosed) {
    const auto all = allBarcodeCases();
    checkClosed(all);
    ASSERT_EQ(BPOpenPrinter(3, 1200), -1);  // the serial kind active, nothing open
    checkClosed(all);
}

}  // namespace
}  // namespace slipdrv
