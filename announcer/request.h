// Request parsing and dispatch: "opening/kind/value/closing".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace vocalcue {

// A dynamic array of texts with 1-based indexes that grows as elements are
// assigned; elements never assigned read as the empty text.
class TextArray {
public:
    std::size_t upperBound() const { return items_.size(); }
    const std::u16string& operator[](std::size_t index) const { return items_.at(index - 1); }
    void assign(std::size_t index, std::u16string value);

private:
    std::vector<std::u16string> items_;
};

// Splits `str` at `sign`, storing piece 1 at element 2 of `retval`, piece 2 at
// element 3 and so on; at most (length of `str`) - 1 pieces are stored.
void f_splitstr(std::u16string_view str, std::u16string_view sign, TextArray& retval);

// Announces one request: the opening phrase, the amount or number, the closing phrase.
void f_read(SoundDevice& sound, const std::u16string& as_commandline);

}  // namespace vocalcue
