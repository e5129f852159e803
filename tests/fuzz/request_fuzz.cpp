// The announcer from the request text to the files it plays, checked against
// a reading of the played numerals back into a value. The input is the
// request in UTF-8, as the command line gives it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "announcer/fake_sound_device.h"
#include "capital_numerals.h"
#include "common/utf.h"
#include "exact_decimal.h"
#include "request.h"
#include "sound_output.h"

namespace {

using vocalcue::testing::FakeSoundDevice;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "request harness: %s\n", what);
    std::abort();
}

// A value field as plain digits: sign, integer digits without leading zeros,
// fraction digits as written.
struct Field {
    bool negative = false;
    std::string integer;
    std::string fraction;
};

std::optional<Field> parseField(std::u16string_view text) {
    Field f;
    std::size_t i = 0;
    if (!text.empty() && (text[0] == u'+' || text[0] == u'-')) f.negative = text[i++] == u'-';
    bool point = false, digit = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= u'0' && c <= u'9') {
            (point ? f.fraction : f.integer).push_back(static_cast<char>(c));
            digit = true;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digit) return std::nullopt;
    f.integer.erase(0, std::min(f.integer.find_first_not_of('0'), f.integer.size()));
    return f;
}

long long digitsValue(const std::string& digits) { return digits.empty() ? 0 : std::stoll(digits); }

// A reading turned back into a value: cents for money, units for a number.
// Each unit character multiplies the digit before it (拾 alone counts one
// ten); 万 and 亿 close a group, 元 closes the yuan.
struct ReadBack {
    bool negative = false;
    long long value = 0;
};

std::optional<ReadBack> readBack(std::u16string_view text, bool money) {
    constexpr std::u16string_view kDigits = u"零壹贰叁肆伍陆柒捌玖";
    ReadBack r;
    if (text.starts_with(u"负")) {
        r.negative = true;
        text.remove_prefix(1);
    }
    long long yi = 0, wan = 0, section = 0, digit = 0, yuan = -1, cents = 0;
    bool pending = false;
    for (const char16_t c : text) {
        const auto d = kDigits.find(c);
        if (d != std::u16string_view::npos) {
            digit = static_cast<long long>(d);
            pending = true;
            continue;
        }
        const long long n = pending ? digit : 1;
        if (c == u'拾') {
            section += n * 10;
        } else if (c == u'佰') {
            section += n * 100;
        } else if (c == u'仟') {
            section += n * 1000;
        } else if (c == u'万') {
            wan = (section + digit) * 10000;
            section = 0;
        } else if (c == u'亿') {
            yi = (wan + section + digit) * 100000000;
            wan = section = 0;
        } else if (money && c == u'元') {
            yuan = yi + wan + section + digit;
            yi = wan = section = 0;
        } else if (money && c == u'角') {
            cents += digit * 10;
        } else if (money && c == u'分') {
            cents += digit;
        } else if (!(money && c == u'整')) {
            return std::nullopt;
        }
        digit = 0;
        pending = false;
    }
    const long long whole = yi + wan + section + digit;
    r.value = money ? (yuan >= 0 ? yuan : whole) * 100 + cents : whole;
    return r;
}

// Cents of the amount rounded half away from zero, when the reading holds all
// of its digits (13 yuan digits); nothing otherwise.
std::optional<long long> expectedCents(const Field& f) {
    if (f.integer.size() > 13) return std::nullopt;
    const std::string fraction = f.fraction + "000";
    const long long cents =
        digitsValue(f.integer) * 100 + (fraction[0] - '0') * 10 + (fraction[1] - '0') + (fraction[2] >= '5' ? 1 : 0);
    if (cents >= 1'000'000'000'000'000) return std::nullopt;
    return cents;
}

// The number the request announces: whole and within 16 bits.
std::optional<int> expectedNumber(const Field& f) {
    if (f.fraction.find_first_not_of('0') != std::string::npos || f.integer.size() > 5) return std::nullopt;
    const long long v = f.negative ? -digitsValue(f.integer) : digitsValue(f.integer);
    if (v < -32768 || v > 32767) return std::nullopt;
    return static_cast<int>(v);
}

std::vector<std::u16string> split(std::u16string_view text) {
    std::vector<std::u16string> pieces(1);
    for (const char16_t c : text) {
        if (c == u'/')
            pieces.emplace_back();
        else
            pieces.back().push_back(c);
    }
    return pieces;
}

bool isPhrase(const std::u16string& text) {
    return std::find(vocalcue::kPhraseKeys.begin(), vocalcue::kPhraseKeys.end(), text) != vocalcue::kPhraseKeys.end();
}

void checkReading(const std::u16string& reading, bool money, bool negative, long long magnitude) {
    const auto back = readBack(reading, money);
    if (!back) fail("a reading holds a character no reading has");
    if (back->value != magnitude) fail("a reading does not read back as its value");
    if (back->negative != (negative && magnitude != 0)) fail("a reading has the wrong sign");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string request = kit::utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
    FakeSoundDevice sound;
    vocalcue::f_read(sound, request);

    // What should have played: a request of exactly four pieces (and at
    // least five characters, as no more pieces are cut than the text has
    // characters less one) after the blanks around it are trimmed.
    std::u16string_view trimmed = request;
    trimmed.remove_prefix(std::min(trimmed.find_first_not_of(u' '), trimmed.size()));
    trimmed.remove_suffix(trimmed.size() - (trimmed.find_last_not_of(u' ') + 1));
    auto pieces = split(trimmed);
    if (pieces.size() > 4 && trimmed.size() == 5) pieces.resize(4);
    const bool accepted = pieces.size() == 4 && trimmed.size() >= 5;

    std::vector<std::u16string> played;
    for (const auto& path : sound.played) {
        const std::u16string p = kit::utf8ToUtf16(path);
        if (!p.starts_with(u".\\wav\\") || !p.ends_with(u".wav")) fail("a file outside the voice folder played");
        played.push_back(p.substr(6, p.size() - 10));
    }
    if (!accepted) {
        if (!played.empty()) fail("a request that is not four pieces sounded");
        return 0;
    }
    auto first = played.begin(), last = played.end();
    if (isPhrase(pieces[0])) {
        if (first == last || *first != pieces[0]) fail("the opening phrase did not play first");
        ++first;
    }
    if (isPhrase(pieces[3])) {
        if (first == last || *(last - 1) != pieces[3]) fail("the closing phrase did not play last");
        --last;
    }
    std::u16string spoken;
    for (auto it = first; it != last; ++it) {
        if (it->size() != 1) fail("a value file is not one numeral");
        spoken += *it;
    }

    const auto field = parseField(pieces[2]);
    const bool money = pieces[1] == u"m", number = pieces[1] == u"n";
    const auto parsed = vocalcue::ExactDecimal::parse(pieces[2]);
    if (parsed.has_value() != field.has_value()) fail("the value field is accepted wrongly");
    if (field && money) {
        const std::u16string reading = vocalcue::f_getbigmoney(*parsed);
        if (const auto cents = expectedCents(*field)) {
            checkReading(reading, true, field->negative, *cents);
            checkReading(spoken, true, false, *cents);
        }
        return 0;
    }
    const auto n = field ? expectedNumber(*field) : std::nullopt;
    if (number && n) {
        const std::u16string reading = vocalcue::f_getbignumber(static_cast<std::int16_t>(*n));
        checkReading(reading, false, *n < 0, std::abs(*n));
        checkReading(spoken, false, false, std::abs(*n));
    } else if (!spoken.empty()) {
        fail("a value sounded that is no amount and no 16-bit number");
    }
    return 0;
}
