// BPPrintRowUTF8: a bill row laid out by printed width, in one write. The
// expected lines are written out with their blanks and mode bytes (FS & is
// 1C 26, FS . 1C 2E) and converted by the conversion the text tests check.
#include <string>
#include <vector>

#include "command_check.h"
#include "encodings.h"

namespace slipdrv {
namespace {

using namespace testing;

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// What the library's own commands last did to the Chinese mode before the row.
enum class Before { kNothing, kSelected, kExited, kInitialized };

int prepare(Before before) {
    switch (before) {
        case Before::kNothing:
            return 0;
        case Before::kSelected:
            return BPSelectChineseMode();
        case Before::kExited:
            return BPExitChineseMode();
        case Before::kInitialized:
            return BPSelectChineseMode() + BPInitializePrinter();
    }
    return -1;
}

Bytes preparedBytes(Before before) {
    switch (before) {
        case Before::kNothing:
            return {};
        case Before::kSelected:
            return {0x1C, '&'};
        case Before::kExited:
            return {0x1C, '.'};
        case Before::kInitialized:
            return {0x1C, '&', 0x1B, '@'};
    }
    return {};
}

struct Row {
    const char* name;
    Before before;
    int encoding;
    const char8_t* cells;
    const char* layout;
    const char8_t* printed;  // nullptr: refused, nothing sent
};

// Blanks are written out; "|" in a comment marks the cells' edges.
const Row kRows[] = {
    // 台费 is 4 columns, 35.50元 7.
    {"two cells, mode not known: left on", Before::kNothing, 0, u8"台费\t35.50元", "8L,8R",
     u8"\x1C&台费     35.50元\n"},
    {"mode on: no mode bytes", Before::kSelected, 0, u8"台费\t35.50元", "8L,8R", u8"台费     35.50元\n"},
    {"mode off: put back after the row", Before::kExited, 0, u8"台费\t35.50元", "8L,8R",
     u8"\x1C&台费     35.50元\n\x1C."},
    {"initialized: not known again", Before::kInitialized, 0, u8"台费\t35.50元", "8L,8R", u8"\x1C&台费     35.50元\n"},
    {"one-byte row, mode off: no mode bytes", Before::kExited, 0, u8"Snacks\t12.00", "8L,8R", u8"Snacks     12.00\n"},
    // |合计      | -> 3 blanks, 合计, 3 blanks; ab in 5: 1 before, 2 after.
    {"centred", Before::kSelected, 0, u8"合计\tab", "10C,5C", u8"   合计    ab  \n"},
    {"empty texts", Before::kNothing, 0, u8"\t\t", "2L,1R,3C", u8"      \n"},
    {"blanks of a text that fits are kept", Before::kNothing, 0, u8" a \tb", "4R,1L", u8"  a b\n"},
    // Wrapping: at a blank, the blank dropped; the other cell blank below.
    {"wraps at a blank", Before::kNothing, 0, u8"Pool table hire\t35.50", "10L,6R",
     u8"Pool table 35.50\nhire            \n"},
    {"wraps between wide characters", Before::kSelected, 0, u8"会员折扣八折优惠\t-7.10元", "8L,8R",
     u8"会员折扣 -7.10元\n八折优惠        \n"},
    {"a word longer than the cell breaks anywhere", Before::kNothing, 0, u8"ABCDEFGHIJ\t1", "4L,1R",
     u8"ABCD1\nEFGH \nIJ   \n"},
    {"a break is taken over a longer line without one", Before::kSelected, 0, u8"台费abc", "5L", u8"台   \n费abc\n"},
    {"blanks at the break do not count", Before::kNothing, 0, u8"abc   def\t", "3L,1L", u8"abc \ndef \n"},
    {"wrapped lines keep their alignment", Before::kNothing, 0, u8"12345678\tx", "5R,1L", u8"12345x\n  678 \n"},
    {"several cells wrap", Before::kNothing, 0, u8"ab cd\tef gh", "2L,2R", u8"abef\ncdgh\n"},
    {"sixteen cells", Before::kNothing, 0, u8"a\tb\tc\td\te\tf\tg\th\ti\tj\tk\tl\tm\tn\to\tp",
     "1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1R", u8"abcdefghijklmnop\n"},
    // Widths follow the bytes sent: ¥ has four GB18030 bytes, é two, and
    // GBK's ￥ two; in UTF-8 é is one column and 台 two.
    {"GB18030: four-byte yen sign", Before::kSelected, 0, u8"¥5\té", "4R,3L", u8" ¥5é \n"},
    {"GBK: the full-width yen sign", Before::kSelected, 1, u8"¥5\té", "4R,3L", u8" ￥5é \n"},
    {"Big5: Traditional forms", Before::kSelected, 2, u8"台费\t35元", "6L,6R", u8"台費    35元\n"},
    {"UTF-8: East Asian widths", Before::kSelected, 3, u8"Café\t台Ａ", "6L,5R", u8"Café   台Ａ\n"},
    // Refused, with nothing sent.
    {"fewer texts than cells", Before::kNothing, 0, u8"a", "1L,1L", nullptr},
    {"more texts than cells", Before::kNothing, 0, u8"a\tb", "2L", nullptr},
    {"a character wider than its cell", Before::kNothing, 0, u8"台\t1", "1L,1R", nullptr},
    {"a line feed in a text", Before::kNothing, 0, u8"a\nb", "4L", nullptr},
    {"an escape in a text", Before::kNothing, 0, u8"\x1B@", "4L", nullptr},
    {"delete in a text", Before::kNothing, 0, u8"a\x7F", "4L", nullptr},
    {"malformed UTF-8", Before::kNothing, 0, reinterpret_cast<const char8_t*>("\xE6\xA1"), "4L", nullptr},
};

// Layouts that are refused, each for a row of one text.
const char* const kBadLayouts[] = {
    "",    "L",    "20",   "0L",       "256L", "020L",    "1000L", "20l",
    "20X", "20L,", ",20L", "20L, 12R", " 20L", "20L;12R", "+5L",   "1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L,1L",
};

std::vector<Case> rowCases() {
    std::vector<Case> cases;
    for (const Row& r : kRows) {
        const std::string cells = utf8(r.cells);
        Bytes bytes = preparedBytes(r.before);
        if (r.printed)
            bytes = bytes + convertUtf8(utf8(r.printed), static_cast<TextEncoding>(r.encoding), 4096).value();
        cases.push_back({r.name,
                         [r, cells] {
                             if (prepare(r.before) != 0 || BPSetTextEncoding(r.encoding) != 0) return -2;
                             return BPPrintRowUTF8(cells.c_str(), r.layout);
                         },
                         r.printed ? 0 : -1, bytes});
    }
    for (const char* layout : kBadLayouts)
        cases.push_back(
            {std::string("layout \"") + layout + "\"", [layout] { return BPPrintRowUTF8("a", layout); }, -1, {}});
    cases.push_back({"null cells", [] { return BPPrintRowUTF8(nullptr, "4L"); }, -1, {}});
    cases.push_back({"null layout", [] { return BPPrintRowUTF8("a", nullptr); }, -1, {}});
    return cases;
}

class BillRowTest : public CommandTest {};

TEST_F(BillRowTest, LaysOutRowsByPrintedWidth) {
    auto& printer = openSerial();
    check(printer, rowCases());
    // A row in one write, at the command time-out.
    ASSERT_EQ(BPPrintRowUTF8(utf8(u8"台费\t35.50元").c_str(), "20L,12R"), 0);
    EXPECT_EQ(printer.timeouts(), std::vector<int>{3000});
}

// The mode the row leaves is what the next row starts from, and a row that
// could not be written leaves it unknown.
TEST_F(BillRowTest, FollowsTheModeItLeaves) {
    auto& printer = openSerial();
    const std::string cells = utf8(u8"台\t1");
    const struct {
        const char* name;
        std::function<int()> call;
        std::string bytes;
    } steps[] = {
        {"off", [] { return BPExitChineseMode(); }, "\x1C."},
        {"row from off", [&] { return BPPrintRowUTF8(cells.c_str(), "2L,1R"); },
         "\x1C&\xCC\xA8"
         "1\n\x1C."},
        {"row still from off", [&] { return BPPrintRowUTF8(cells.c_str(), "2L,1R"); },
         "\x1C&\xCC\xA8"
         "1\n\x1C."},
        {"on", [] { return BPSelectChineseMode(); }, "\x1C&"},
        {"row from on", [&] { return BPPrintRowUTF8(cells.c_str(), "2L,1R"); },
         "\xCC\xA8"
         "1\n"},
    };
    for (const auto& step : steps) {
        printer.clear();
        EXPECT_EQ(step.call(), 0) << step.name;
        EXPECT_EQ(printer.written(), bytesOf(step.bytes)) << step.name;
    }
    printer.close();
    EXPECT_EQ(BPPrintRowUTF8(cells.c_str(), "2L,1R"), -1);
    auto& reopened = openSerial();
    check(reopened,
          {{"after a failed row the mode is not known", [&] { return BPPrintRowUTF8(cells.c_str(), "2L,1R"); }, 0,
            bytesOf("\x1C&\xCC\xA8"
                    "1\n")}});
}

}  // namespace
}  // namespace slipdrv
