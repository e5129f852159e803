#include "capital_numerals.h"

#include <gtest/gtest.h>

#include "common/utf.h"

namespace vocalcue {
namespace {

std::string money(const char* amount) {
    const auto parsed = ExactDecimal::parse(kit::utf8ToUtf16(amount));
    EXPECT_TRUE(parsed) << amount;
    return kit::utf16ToUtf8(f_getbigmoney(parsed));
}

struct Reading {
    const char* value;
    const char* text;
};

TEST(MoneyText, WorkedExamplesAndFormsThatFollowFromTheRules) {
    const Reading cases[] = {
        {"0", "零"},
        {"0.05", "零元零角伍分"},
        {"0.25", "零元贰角伍分"},
        {"0.5", "零元伍角"},
        {"1", "壹元整"},
        {"1.05", "壹元零角伍分"},
        {"1.5", "壹元伍角"},
        {"10", "壹拾元整"},
        {"12.5", "壹拾贰元伍角"},
        {"20", "贰拾元整"},
        {"35.50", "叁拾伍元伍角"},
        {"100", "壹佰元整"},
        {"100.05", "壹佰元零角伍分"},
        {"100.5", "壹佰元伍角"},
        {"101", "壹佰零壹元整"},
        {"1001", "壹仟零壹元整"},
        {"1010", "壹仟零壹拾元整"},
        {"10000", "壹万元整"},
        {"10010", "壹万零壹拾元整"},
        {"20000.5", "贰万元伍角"},
        {"100000", "壹拾万元整"},
        {"100001", "壹拾万零壹元整"},
        {"100000000", "壹亿元整"},
        {"100000000.01", "壹亿元零角壹分"},
        {"100010000", "壹亿零壹万元整"},
        {"100100000", "壹亿零壹拾万元整"},
        {"1000000001", "壹拾亿零壹元整"},
        {"123456789012.34", "壹仟贰佰叁拾肆亿伍仟陆佰柒拾捌万玖仟零壹拾贰元叁角肆分"},
        {"9999999999999.99", "玖万玖仟玖佰玖拾玖亿玖仟玖佰玖拾玖万玖仟玖佰玖拾玖元玖角玖分"},
        // A zero yuan digit with a fraction keeps only its 元; zeros at a group's low end are silent.
        {"10.5", "壹拾元伍角"},
        {"1000000", "壹佰万元整"},
        {"10.01", "壹拾元零角壹分"},
        {"0.01", "零元零角壹分"},
        {"0.10", "零元壹角"},
        // Digits beyond 13 yuan places are dropped; 10^12 keeps its 亿 but not its 万.
        {"12345678901234", "贰万叁仟肆佰伍拾陆亿柒仟捌佰玖拾万壹仟贰佰叁拾肆元整"},
        {"1000000000000", "壹万亿元整"},
        // Leading zeros, a plus sign and a bare point are only notation.
        {"0035.50", "叁拾伍元伍角"},
        {"+12.5", "壹拾贰元伍角"},
        {".5", "零元伍角"},
        {"5.", "伍元整"},
    };
    for (const auto& c : cases) EXPECT_EQ(money(c.value), c.text) << "amount " << c.value;
}

TEST(MoneyText, MoreThanTwoDecimalsAreRoundedHalfAwayFromZeroFirst) {
    const Reading cases[] = {
        {"0.001", "零"},
        {"0.004", "零"},
        {"0.005", "零元零角壹分"},
        {"1.005", "壹元零角壹分"},
        {"9.999", "壹拾元整"},
        {"12.345", "壹拾贰元叁角伍分"},
        {"12.344999", "壹拾贰元叁角肆分"},
        {"99999.995", "壹拾万元整"},
        {"-0.004", "零"},
        {"-1.005", "负壹元零角壹分"},
    };
    for (const auto& c : cases) EXPECT_EQ(money(c.value), c.text) << "amount " << c.value;
}

TEST(MoneyText, NegativeAmountsReadAsTheSignWordAndTheMagnitude) {
    const Reading cases[] = {
        {"-12.5", "负壹拾贰元伍角"}, {"-0.5", "负零元伍角"}, {"-100", "负壹佰元整"}, {"-0", "零"}, {"-0.00", "零"},
    };
    for (const auto& c : cases) EXPECT_EQ(money(c.value), c.text) << "amount " << c.value;
}

TEST(MoneyText, AbsentAmountIsZero) { EXPECT_EQ(kit::utf16ToUtf8(f_getbigmoney(std::nullopt)), "零"); }

TEST(MoneyText, AnyNumberOfDigitsReadsItsLowThirteenYuanPlaces) {
    // 10^100000 after rounding: thirteen zero places keep only their group units.
    const std::string huge = std::string(100000, '9') + ".999";
    EXPECT_EQ(money(huge.c_str()), "亿元整");
    const std::string many = std::string(5000, '1') + "0000000000000.25";
    EXPECT_EQ(money(many.c_str()), "亿元贰角伍分");
}

TEST(NumberText, WorkedExamples) {
    const struct {
        int value;
        const char* text;
    } cases[] = {
        {0, "零"},
        {1, "壹"},
        {9, "玖"},
        {10, "拾"},
        {11, "拾壹"},
        {15, "拾伍"},
        {20, "贰拾"},
        {21, "贰拾壹"},
        {99, "玖拾玖"},
        {100, "壹佰"},
        {101, "壹佰零壹"},
        {110, "壹佰壹拾"},
        {111, "壹佰壹拾壹"},
        {1000, "壹仟"},
        {1001, "壹仟零壹"},
        {1010, "壹仟零壹拾"},
        {1100, "壹仟壹佰"},
        {10000, "壹万"},
        {10001, "壹万零壹"},
        {10100, "壹万零壹佰"},
        {12345, "壹万贰仟叁佰肆拾伍"},
        {30005, "叁万零伍"},
        {32767, "叁万贰仟柒佰陆拾柒"},
        // Only a leading 壹拾 is shortened.
        {10010, "壹万零壹拾"},
        {19, "拾玖"},
        {210, "贰佰壹拾"},
        // Negative numbers: the sign word, then the magnitude's reading.
        {-5, "负伍"},
        {-10, "负拾"},
        {-101, "负壹佰零壹"},
        {-32768, "负叁万贰仟柒佰陆拾捌"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kit::utf16ToUtf8(f_getbignumber(static_cast<std::int16_t>(c.value))), c.text) << "value " << c.value;
}

TEST(NumberText, AbsentNumberIsZero) { EXPECT_EQ(kit::utf16ToUtf8(f_getbignumber(std::nullopt)), "零"); }

}  // namespace
}  // namespace vocalcue
