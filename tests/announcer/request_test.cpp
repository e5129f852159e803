#include "request.h"

#include <gtest/gtest.h>

#include "exact_decimal.h"
#include "fake_sound_device.h"

namespace vocalcue {
namespace {

using testing::FakeSoundDevice;
using testing::tokens;
using Tokens = std::vector<std::string>;

// The elements of a fresh array after the split, element 1 first.
Tokens split(const char* text) {
    TextArray retval;
    f_splitstr(kit::utf8ToUtf16(text), u"/", retval);
    Tokens out;
    for (std::size_t i = 1; i <= retval.upperBound(); ++i) out.push_back(kit::utf16ToUtf8(retval[i]));
    return out;
}

TEST(SplitStr, StoresPieceOneAtElementTwoAndCapsThePiecesAtLengthMinusOne) {
    const struct {
        const char* text;
        Tokens elements;
    } cases[] = {
        {"", {}},
        {"a", {}},
        {"/", {}},
        {"ab", {"", "ab"}},
        {"a/b", {"", "a", "b"}},
        {"a/", {"", "a"}},  // a letter and a slash: only the letter
        {"/a", {"", ""}},   // a slash and a letter: only the empty piece
        {"//", {"", ""}},
        {"ab///", {"", "ab", "", "", ""}},  // two-character opening, three trailing slashes: all four pieces
        {"a///", {"", "a", "", ""}},        // one-character opening: the last piece is cut off
        {"欢迎光临///", {"", "欢迎光临", "", "", ""}},
        {"您本次消费合计为/m/35.50/谢谢光临", {"", "您本次消费合计为", "m", "35.50", "谢谢光临"}},
        {"x//y", {"", "x", "", "y"}},
        {"a/b/c/d/e", {"", "a", "b", "c", "d", "e"}},
    };
    for (const auto& c : cases) EXPECT_EQ(split(c.text), c.elements) << "text \"" << c.text << "\"";
}

TEST(SplitStr, LeavesElementsItDoesNotStoreUnchanged) {
    TextArray retval;
    retval.assign(1, u"keep");
    retval.assign(6, u"tail");
    f_splitstr(u"a/b", u"/", retval);
    EXPECT_EQ(retval.upperBound(), 6u);
    EXPECT_EQ(retval[1], u"keep");
    EXPECT_EQ(retval[2], u"a");
    EXPECT_EQ(retval[3], u"b");
    EXPECT_EQ(retval[6], u"tail");
}

TEST(SplitStr, ManyPiecesTakeLinearTime) {
    std::u16string text(400000, u'/');
    TextArray retval;
    f_splitstr(text, u"/", retval);
    EXPECT_EQ(retval.upperBound(), text.size());
}

Tokens announce(const char* request) {
    FakeSoundDevice sound;
    f_read(sound, kit::utf8ToUtf16(request));
    return tokens(sound.played);
}

TEST(Read, AnnouncesPhrasesAndValueInSpokenOrder) {
    const struct {
        const char* request;
        Tokens files;
    } cases[] = {
        {"您本次消费合计为/m/35.50/谢谢光临", {"您本次消费合计为", "叁", "拾", "伍", "元", "伍", "角", "谢谢光临"}},
        {"叮咚/n/5/号台即将到时", {"叮咚", "伍", "号台即将到时"}},
        {"叮咚/n/15/号台已到时", {"叮咚", "拾", "伍", "号台已到时"}},
        {"欢迎光临///", {"欢迎光临"}},
        {"充值成功/m/abc/谢谢光临", {"充值成功", "谢谢光临"}},
        {"充值成功/M/20/谢谢光临", {"充值成功", "谢谢光临"}},
        {"充值成功/N/20/谢谢光临", {"充值成功", "谢谢光临"}},
        {"充值成功/ m/20/谢谢光临", {"充值成功", "谢谢光临"}},
        {"充值成功/mm/20/谢谢光临", {"充值成功", "谢谢光临"}},
        {"充值成功/m//谢谢光临", {"充值成功", "谢谢光临"}},
        {"  您的当前余额为/m/100/欢迎下次光临  ", {"您的当前余额为", "壹", "佰", "元", "整", "欢迎下次光临"}},
        {"您的当前余额为 /m/100/ 欢迎下次光临", {"壹", "佰", "元", "整"}},  // blanks at inner slashes spoil the keys
        {"未知/m/1/也未知", {"壹", "元", "整"}},
        {"/m/0/", {"零"}},
        {"最低消费/m/-12.5/谢谢光临", {"最低消费", "壹", "拾", "贰", "元", "伍", "角", "谢谢光临"}},
        {"叮咚/n/-5/号台已到时", {"叮咚", "伍", "号台已到时"}},
        {"叮咚/n/+5/号台已到时", {"叮咚", "伍", "号台已到时"}},
        {"叮咚/n/5.0/号台已到时", {"叮咚", "伍", "号台已到时"}},
        {"叮咚/n/0/号台已到时", {"叮咚", "零", "号台已到时"}},
        {"叮咚/n/32767/号台已到时", {"叮咚", "叁", "万", "贰", "仟", "柒", "佰", "陆", "拾", "柒", "号台已到时"}},
        {"叮咚/n/-32768/号台已到时", {"叮咚", "叁", "万", "贰", "仟", "柒", "佰", "陆", "拾", "捌", "号台已到时"}},
        // Kind "n" passes on only whole numbers within the 16-bit range.
        {"叮咚/n/32768/号台已到时", {"叮咚", "号台已到时"}},
        {"叮咚/n/-32769/号台已到时", {"叮咚", "号台已到时"}},
        {"叮咚/n/5.5/号台已到时", {"叮咚", "号台已到时"}},
        {"叮咚/n/99999999999999999999/号台已到时", {"叮咚", "号台已到时"}},
        // Requests that are not exactly four pieces, or empty, are silent.
        {"", {}},
        {"     ", {}},
        {"欢迎光临/m/1", {}},
        {"欢迎光临/m/1/谢谢光临/", {}},
        {"欢迎光临/m/1/谢谢光临/叮咚", {}},
        {"a///", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(announce(c.request), c.files) << "request \"" << c.request << "\"";
}

TEST(NumericValueField, SignDigitsAndOnePointOnly) {
    const char* numeric[] = {"5", "-5", "+5", "5.", ".5", "0035.50", "0", "-0", "12345678901234567890.123"};
    const char* notNumeric[] = {"",    "+",     "-",   ".",  "+.",  "1.2.3", " 5",   "5 ",
                                "1e3", "1,000", "--5", "5-", "abc", "０",    "0x10", "١"};
    for (const char* text : numeric) EXPECT_TRUE(ExactDecimal::parse(kit::utf8ToUtf16(text))) << "\"" << text << "\"";
    for (const char* text : notNumeric)
        EXPECT_FALSE(ExactDecimal::parse(kit::utf8ToUtf16(text))) << "\"" << text << "\"";
}

TEST(NumericValueField, WholeNumbersWithinSixteenBitsOnly) {
    const struct {
        const char* text;
        std::optional<std::int16_t> value;
    } cases[] = {
        {"5", 5},
        {"+5", 5},
        {"5.0", 5},
        {"-12", -12},
        {"-0", 0},
        {"00032767", 32767},
        {"-32768", -32768},
        {"32768", std::nullopt},
        {"-32769", std::nullopt},
        {"0.5", std::nullopt},
        {"100000", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ExactDecimal::parse(kit::utf8ToUtf16(c.text))->toInt16(), c.value) << c.text;
}

}  // namespace
}  // namespace vocalcue
