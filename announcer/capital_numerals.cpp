#include "capital_numerals.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vocalcue {
namespace {

using UnitTable = std::array<std::u16string_view, 16>;

constexpr std::array<char16_t, 10> ls_num = {u'零', u'壹', u'贰', u'叁', u'肆', u'伍', u'陆', u'柒', u'捌', u'玖'};

// Units by position in the reversed "##0.00" text: 1 fen, 2 jiao, 3 the point, 4 yuan...
constexpr UnitTable kMoneyUnits = {u"分", u"角", u"",   u"元", u"拾", u"佰", u"仟", u"万",
                                   u"拾", u"佰", u"仟", u"亿", u"拾", u"佰", u"仟", u"万"};
constexpr UnitTable kNumberUnits = {u"",   u"",   u"",   u"",   u"拾", u"佰", u"仟", u"万",
                                    u"拾", u"佰", u"仟", u"亿", u"拾", u"佰", u"仟", u"万"};

constexpr std::u16string_view kZero = u"零";
constexpr std::u16string_view kNegative = u"负";

// What the position engine needs to know about the value besides its digits.
struct EngineInput {
    std::string ls_dec;        // the magnitude as "##0.00", reversed; only the first 16 positions are read
    bool belowOne;             // the value is less than 1
    bool hasFraction;          // the value modulo 1 is greater than 0
    std::u16string ls_return;  // the start text
};

bool isNonZeroDigit(const std::string& s, std::size_t p) {  // p is 1-based
    return p >= 1 && p <= s.size() && s[p - 1] >= '1' && s[p - 1] <= '9';
}

// Reads the reversed formatted value position by position and builds the
// reading from its right end: digit with unit (rule A), group unit over a
// zero digit (rule B), or a single 零 above a nonzero digit (rule C).
std::u16string runPositions(EngineInput in, const UnitTable& ls_unit) {
    std::u16string& ls_return = in.ls_return;
    const std::string& ls_dec = in.ls_dec;
    for (std::size_t li_index = 1; li_index <= ls_dec.size(); ++li_index) {
        if (li_index > ls_unit.size()) break;
        const char c = ls_dec[li_index - 1];
        if (c < '0' || c > '9') continue;
        const int li_num = c - '0';
        std::u16string prefix;
        if (li_num != 0 || in.belowOne || (li_index < 4 && in.hasFraction)) {
            prefix.push_back(ls_num[li_num]);
            prefix += ls_unit[li_index - 1];
        } else if (li_index == 4 || li_index == 8 || li_index == 12) {
            const bool emptyMyriad = li_index == 8 && !isNonZeroDigit(ls_dec, 9) && !isNonZeroDigit(ls_dec, 10) &&
                                     !isNonZeroDigit(ls_dec, 11);
            if (!emptyMyriad) prefix = ls_unit[li_index - 1];
        } else if (isNonZeroDigit(ls_dec, li_index - 1)) {
            prefix = kZero;
        }
        ls_return.insert(0, prefix);
    }
    return ls_return;
}

// The last 16 characters of the formatted magnitude, reversed: all the engine reads.
std::string reversedPositions(const std::string& formatted) {
    const std::size_t keep = std::min<std::size_t>(formatted.size(), 16);
    std::string ls_dec(formatted.end() - static_cast<std::ptrdiff_t>(keep), formatted.end());
    std::reverse(ls_dec.begin(), ls_dec.end());
    return ls_dec;
}

}  // namespace

std::u16string f_getbigmoney(const MoneyAmount& adec_money) {
    if (!adec_money) return std::u16string(kZero);
    // Rounding first keeps the 整 decision and the digits read in agreement.
    const ExactDecimal ldec_arg = adec_money->roundedToCents();
    if (ldec_arg.isZero()) return std::u16string(kZero);

    EngineInput in;
    in.ls_dec = reversedPositions(ldec_arg.formattedMagnitude());
    in.belowOne = ldec_arg.magnitudeBelowOne();
    in.hasFraction = !ldec_arg.isWhole();
    if (!in.hasFraction) in.ls_return.push_back(u'整');
    std::u16string ls_return = runPositions(std::move(in), kMoneyUnits);

    const auto zeroFen = ls_return.find(u"零分");
    if (zeroFen != std::u16string::npos) ls_return.erase(zeroFen, 2);
    return ldec_arg.negative ? std::u16string(kNegative) + ls_return : ls_return;
}

std::u16string f_getbignumber(std::optional<std::int16_t> an_number) {
    if (!an_number || *an_number == 0) return std::u16string(kZero);
    const int magnitude = *an_number < 0 ? -static_cast<int>(*an_number) : *an_number;

    EngineInput in;
    in.ls_dec = reversedPositions(std::to_string(magnitude) + ".00");
    in.belowOne = false;
    in.hasFraction = false;
    std::u16string ls_return = runPositions(std::move(in), kNumberUnits);

    if (!ls_return.empty() && ls_return.back() == kZero.front()) ls_return.pop_back();
    if (ls_return.starts_with(u"壹拾")) ls_return.erase(0, 1);
    return *an_number < 0 ? std::u16string(kNegative) + ls_return : ls_return;
}

}  // namespace vocalcue
