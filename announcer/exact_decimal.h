// An exact decimal of any number of digits, for money amounts. Digits are kept
// as text, so no length of input can overflow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vocalcue {

struct ExactDecimal {
    bool negative = false;
    std::string integer;   // decimal digits without leading zeros; empty for 0
    std::string fraction;  // decimal digits without trailing zeros; empty for a whole number

    // Reads a numeric value field: an optional sign, then digits with at most
    // one decimal point and at least one digit in all. Nothing else is allowed.
    static std::optional<ExactDecimal> parse(std::u16string_view text);

    bool isZero() const { return integer.empty() && fraction.empty(); }
    bool isWhole() const { return fraction.empty(); }
    // The magnitude is below one: no yuan digit other than 0.
    bool magnitudeBelowOne() const { return integer.empty(); }

    // Rounded to two decimals, half away from zero. Zero is never negative.
    ExactDecimal roundedToCents() const;

    // The value as a 16-bit integer when it is whole and within range.
    std::optional<std::int16_t> toInt16() const;

    // The magnitude written as "##0.00" (at least one integer digit, exactly
    // two decimals, no sign); more decimals are cut, so round first.
    std::string formattedMagnitude() const;

    friend bool operator==(const ExactDecimal&, const ExactDecimal&) = default;
};

// A money amount: an exact decimal with an absent state of its own.
using MoneyAmount = std::optional<ExactDecimal>;

}  // namespace vocalcue
