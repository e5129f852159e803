#include "exact_decimal.h"

namespace vocalcue {
namespace {

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

void normalise(ExactDecimal& d) {
    const auto firstNonZero = d.integer.find_first_not_of('0');
    d.integer.erase(0, firstNonZero == std::string::npos ? d.integer.size() : firstNonZero);
    const auto lastNonZero = d.fraction.find_last_not_of('0');
    d.fraction.erase(lastNonZero == std::string::npos ? 0 : lastNonZero + 1);
    if (d.isZero()) d.negative = false;
}

// Adds one to a string of decimal digits; returns true when it carried out.
bool incrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return false;
        }
        *it = '0';
    }
    return true;
}

}  // namespace

std::optional<ExactDecimal> ExactDecimal::parse(std::u16string_view text) {
    ExactDecimal d;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        d.negative = text[i] == u'-';
        ++i;
    }
    bool seenPoint = false;
    bool seenDigit = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isDigit(c)) {
            (seenPoint ? d.fraction : d.integer).push_back(static_cast<char>(c));
            seenDigit = true;
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
        } else {
            return std::nullopt;
        }
    }
    if (!seenDigit) return std::nullopt;
    normalise(d);
    return d;
}

ExactDecimal ExactDecimal::roundedToCents() const {
    if (fraction.size() <= 2) return *this;
    ExactDecimal r;
    r.negative = negative;
    // Work on the amount in cents: integer digits followed by two decimals.
    std::string cents = integer + fraction.substr(0, 2);
    if (fraction[2] >= '5' && incrementDigits(cents)) cents.insert(cents.begin(), '1');
    r.integer = cents.substr(0, cents.size() - 2);
    r.fraction = cents.substr(cents.size() - 2);
    normalise(r);
    return r;
}

std::optional<std::int16_t> ExactDecimal::toInt16() const {
    if (!isWhole() || integer.size() > 5) return std::nullopt;
    const long value = integer.empty() ? 0 : std::stol(integer);
    const long signedValue = negative ? -value : value;
    if (signedValue < -32768 || signedValue > 32767) return std::nullopt;
    return static_cast<std::int16_t>(signedValue);
}

std::string ExactDecimal::formattedMagnitude() const {
    std::string out = integer.empty() ? "0" : integer;
    out.push_back('.');
    std::string decimals = fraction.substr(0, 2);
    decimals.resize(2, '0');
    return out + decimals;
}

}  // namespace vocalcue
