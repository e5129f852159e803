#include "request.h"

#include "exact_decimal.h"
#include "sound_output.h"
#include "value_announcers.h"

namespace vocalcue {

void TextArray::assign(std::size_t index, std::u16string value) {
    if (index == 0) return;  // indexes are 1-based
    if (items_.size() < index) items_.resize(index);
    items_[index - 1] = std::move(value);
}

void f_splitstr(std::u16string_view str, std::u16string_view sign, TextArray& retval) {
    // The remainder is kept as an offset into `str`, so long inputs cost linear time.
    std::size_t remainder = 0;
    for (std::size_t index = 2; index <= str.size(); ++index) {
        const std::size_t p = sign.empty() ? std::u16string_view::npos : str.find(sign, remainder);
        if (p == std::u16string_view::npos) {
            retval.assign(index, std::u16string(str.substr(remainder)));
            return;
        }
        retval.assign(index, std::u16string(str.substr(remainder, p - remainder)));
        remainder = p + sign.size();
    }
}

namespace {

std::u16string_view trimSpaces(std::u16string_view text) {
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) return {};
    const auto last = text.find_last_not_of(u' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

void f_read(SoundDevice& sound, const std::u16string& as_commandline) {
    const std::u16string_view trimmed = trimSpaces(as_commandline);
    if (trimmed.empty()) return;

    TextArray params;
    f_splitstr(trimmed, u"/", params);
    if (params.upperBound() != 5) return;

    f_readother(sound, params[2]);
    const std::u16string& kind = params[3];
    const auto value = ExactDecimal::parse(params[4]);
    if (kind == u"m" && value) {
        f_readmoney(sound, *value);
    } else if (kind == u"n" && value) {
        // Only a whole number within the 16-bit range is a number to announce.
        if (const auto number = value->toInt16()) f_readnumber(sound, *number);
    }
    f_readother(sound, params[5]);
}

}  // namespace vocalcue
