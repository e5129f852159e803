// Speaking money amounts and whole numbers one capital numeral at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "exact_decimal.h"
#include "platform/platform.h"

namespace vocalcue {

// The characters that have a sound, each the token of its file. Both tables are
// closed: any other character of a reading (such as the sign word 负) is passed
// over in silence.
inline constexpr std::u16string_view kMoneySounds = u"零壹贰叁肆伍陆柒捌玖拾佰仟万亿元角分整";
inline constexpr std::u16string_view kNumberSounds = kMoneySounds.substr(0, 15);

void f_readmoney(SoundDevice& sound, const MoneyAmount& amoney);
void f_readnumber(SoundDevice& sound, std::optional<std::int16_t> ai_number);

}  // namespace vocalcue
