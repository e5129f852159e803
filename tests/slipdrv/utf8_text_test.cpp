// BPPrintStringUTF8: UTF-8 text reaches the printer in GB18030, or the set
// BPSetTextEncoding chose, in one write as BPPrintString makes it; malformed
// text is refused with nothing sent. The expected bytes were worked out once
// with other encoders (Python's codecs) and are written out here.
#include <climits>
#include <string>
#include <vector>

#include "command_check.h"

namespace slipdrv {
namespace {

using namespace testing;

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

Case printed(const std::string& name, const std::string& text, int result, Bytes bytes) {
    return {name, [text] { return BPPrintStringUTF8(text.c_str()); }, result, std::move(bytes)};
}

std::vector<Case> conversionCases() {
    const struct {
        const char* name;
        const char8_t* text;
        Bytes gb18030;
    } rows[] = {
        // Receipt lines: two-byte characters among ASCII.
        {"table", u8"桌号：7号台", {0xD7, 0xC0, 0xBA, 0xC5, 0xA3, 0xBA, 0x37, 0xBA, 0xC5, 0xCC, 0xA8}},
        {"times", u8"开台 14:05  结束 15:30", {0xBF, 0xAA, 0xCC, 0xA8, 0x20, 0x31, 0x34, 0x3A, 0x30, 0x35, 0x20,
                                               0x20, 0xBD, 0xE1, 0xCA, 0xF8, 0x20, 0x31, 0x35, 0x3A, 0x33, 0x30}},
        {"thanks", u8"谢谢光临，欢迎再来！", {0xD0, 0xBB, 0xD0, 0xBB, 0xB9, 0xE2, 0xC1, 0xD9, 0xA3, 0xAC,
                                              0xBB, 0xB6, 0xD3, 0xAD, 0xD4, 0xD9, 0xC0, 0xB4, 0xA3, 0xA1}},
        {"payment", u8"扫码支付 · 会员积分 +35", {0xC9, 0xA8, 0xC2, 0xEB, 0xD6, 0xA7, 0xB8, 0xB6,
                                                  0x20, 0xA1, 0xA4, 0x20, 0xBB, 0xE1, 0xD4, 0xB1,
                                                  0xBB, 0xFD, 0xB7, 0xD6, 0x20, 0x2B, 0x33, 0x35}},
        // Symbols with two- and four-byte codes.
        {"symbols", u8"€ ¥ £ — × é", {0xA2, 0xE3, 0x20, 0x81, 0x30, 0x84, 0x36, 0x20, 0x81, 0x30, 0x84,
                                      0x35, 0x20, 0xA1, 0xAA, 0x20, 0xA1, 0xC1, 0x20, 0xA8, 0xA6}},
        // The ends of each UTF-8 length and around the surrogates; above the
        // basic plane every code has four bytes.
        {"U+0080", u8"\u0080", {0x81, 0x30, 0x81, 0x30}},
        {"U+07FF", u8"\u07FF", {0x81, 0x31, 0xB3, 0x31}},
        {"U+0800", u8"\u0800", {0x81, 0x31, 0xB3, 0x32}},
        {"U+D7FF", u8"\uD7FF", {0x83, 0x36, 0xC7, 0x38}},
        {"U+E000", u8"\uE000", {0xAA, 0xA1}},
        {"U+FFFF", u8"\uFFFF", {0x84, 0x31, 0xA4, 0x39}},
        {"U+10000", u8"\U00010000", {0x90, 0x30, 0x81, 0x30}},
        {"U+20000", u8"\U00020000", {0x95, 0x32, 0x82, 0x36}},
        {"U+10FFFF", u8"\U0010FFFF", {0xE3, 0x32, 0x9A, 0x35}},
    };
    std::vector<Case> cases;
    for (const auto& r : rows) cases.push_back(printed(r.name, utf8(r.text), 0, r.gb18030));
    // ASCII, control bytes included, goes out as it is.
    std::string ascii;
    for (int b = 1; b < 0x80; ++b) ascii.push_back(static_cast<char>(b));
    cases.push_back(printed("every ASCII byte", ascii, 0, bytesOf(ascii)));
    return cases;
}

// Each malformed sequence between valid characters: refused whole, so a
// converter that skipped or replaced it would be seen sending something.
std::vector<Case> malformedCases() {
    const struct {
        const char* name;
        const char* bytes;
    } rows[] = {
        {"overlong two bytes", "\xC0\xAF"},
        {"overlong two bytes, C1", "\xC1\xBF"},
        {"overlong three bytes", "\xE0\x80\xAF"},
        {"overlong three bytes, highest", "\xE0\x9F\xBF"},
        {"overlong four bytes", "\xF0\x80\x80\xAF"},
        {"overlong four bytes, highest", "\xF0\x8F\xBF\xBF"},
        {"surrogate U+D800", "\xED\xA0\x80"},
        {"surrogate U+DFFF", "\xED\xBF\xBF"},
        {"U+110000", "\xF4\x90\x80\x80"},
        {"lead F5", "\xF5\x80\x80\x80"},
        {"byte FF", "\xFF"},
        {"truncated three bytes", "\xE6\xA1"},
        {"truncated four bytes", "\xF0\xA0\x80"},
        {"lead then lead", "\xC3\xC3\xA9"},
        {"stray continuation", "\x80"},
        {"continuation after a whole character", "\xE6\xA1\x8C\x8C"},
    };
    const std::string before = utf8(u8"桌号");
    std::vector<Case> cases;
    for (const auto& r : rows) cases.push_back(printed(r.name, before + r.bytes + "7", -1, {}));
    // Cut short by the end of the text.
    cases.push_back(printed("truncated at the end", before + "\xE6\xA1", -1, {}));
    cases.push_back(printed("lead at the end", before + "\xF0", -1, {}));
    return cases;
}

// The other sets, replacements included: what the printer gets instead of a
// character its set lacks was encoded as that replacement.
std::vector<Case> otherSetCases() {
    const struct {
        int encoding;
        const char8_t* text;
        Bytes bytes;
    } rows[] = {
        {SLIPDRV_TEXT_GBK, u8"桌号：7号台", {0xD7, 0xC0, 0xBA, 0xC5, 0xA3, 0xBA, 0x37, 0xBA, 0xC5, 0xCC, 0xA8}},
        // The yen sign has only a four-byte GB18030 code: the full-width one is sent.
        {SLIPDRV_TEXT_GBK, u8"¥35.50 ￥", {0xA3, 0xA4, 0x33, 0x35, 0x2E, 0x35, 0x30, 0x20, 0xA3, 0xA4}},
        // The euro's one byte 80h is no GBK character: '?'; bullet and minus read as · and －.
        {SLIPDRV_TEXT_GBK, u8"€ • — −", {0x3F, 0x20, 0xA1, 0xA4, 0x20, 0xA1, 0xAA, 0x20, 0xA3, 0xAD}},
        {SLIPDRV_TEXT_GBK, u8"臺費 𠀀", {0xC5, 0x5F, 0xD9, 0x4D, 0x20, 0x3F}},
        {SLIPDRV_TEXT_BIG5, u8"臺費 35元", {0xBB, 0x4F, 0xB6, 0x4F, 0x20, 0x33, 0x35, 0xA4, 0xB8}},
        // Simplified characters Big5 lacks go out in their Traditional forms: 台費 號, 會員積分.
        {SLIPDRV_TEXT_BIG5, u8"台费 号", {0xA5, 0x78, 0xB6, 0x4F, 0x20, 0xB8, 0xB9}},
        {SLIPDRV_TEXT_BIG5, u8"会员积分", {0xB7, 0x7C, 0xAD, 0xFB, 0xBF, 0x6E, 0xA4, 0xC0}},
        {SLIPDRV_TEXT_BIG5, u8"¥ € ™", {0xA2, 0x44, 0x20, 0xA3, 0xE1, 0x20, 0x3F}},
        {SLIPDRV_TEXT_UTF8,
         u8"台费 ¥ 𠀀",
         {0xE5, 0x8F, 0xB0, 0xE8, 0xB4, 0xB9, 0x20, 0xC2, 0xA5, 0x20, 0xF0, 0xA0, 0x80, 0x80}},
    };
    std::vector<Case> cases;
    for (const auto& r : rows) {
        const std::string text = utf8(r.text);
        const int encoding = r.encoding;
        cases.push_back(
            {std::to_string(encoding) + ": " + text,
             [encoding, text] { return BPSetTextEncoding(encoding) == 0 ? BPPrintStringUTF8(text.c_str()) : -2; }, 0,
             r.bytes});
    }
    // Malformed text stays refused in every set.
    for (const int encoding : {SLIPDRV_TEXT_GBK, SLIPDRV_TEXT_BIG5, SLIPDRV_TEXT_UTF8})
        cases.push_back({std::to_string(encoding) + ": truncated",
                         [encoding] { return BPSetTextEncoding(encoding) == 0 ? BPPrintStringUTF8("\xE6\xA1") : -2; },
                         -1,
                         {}});
    return cases;
}

class Utf8TextTest : public CommandTest {};

TEST_F(Utf8TextTest, ConvertsToTheChosenSet) {
    auto& printer = openSerial();
    check(printer, otherSetCases());
    // A value that names no set leaves the setting as it was.
    ASSERT_EQ(BPSetTextEncoding(SLIPDRV_TEXT_BIG5), 0);
    for (const int refused : {-1, 4, INT_MIN, INT_MAX}) EXPECT_EQ(BPSetTextEncoding(refused), -1) << refused;
    check(printer, {printed("still Big5", utf8(u8"费"), 0, {0xB6, 0x4F})});
    ASSERT_EQ(BPSetTextEncoding(SLIPDRV_TEXT_GB18030), 0);
    check(printer, conversionCases());
}

TEST_F(Utf8TextTest, ConvertsToGb18030) {
    auto& printer = openSerial();
    check(printer, conversionCases());
    ASSERT_EQ(BPPrintStringUTF8(utf8(u8"合计 35.50元\n").c_str()), 0);
    EXPECT_EQ(printer.timeouts(), std::vector<int>{3000}) << "one write, parallel time-out 3000 ms";
}

TEST_F(Utf8TextTest, MalformedTextSendsNothing) {
    auto& printer = openSerial();
    check(printer, malformedCases());
    check(printer, {{"null", [] { return BPPrintStringUTF8(nullptr); }, -1, {}}});
}

// The channel rules of BPPrintString: empty text is a write of nothing, which
// a serial port completes and a parallel port refuses; a closed port fails.
TEST_F(Utf8TextTest, ChannelRulesOfBPPrintString) {
    check(openSerial(), {printed("empty, serial", "", 0, {})});
    auto& parallel = openParallel();
    check(parallel, conversionCases());
    check(parallel, {printed("empty, parallel", "", -1, {})});
    parallel.close();
    checkClosed(conversionCases());
}

}  // namespace
}  // namespace slipdrv
