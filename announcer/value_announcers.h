// Speaking money amounts and whole numbers one capital numeral at a time.
#pragma once

#include <cstdint>
#include <optional>

#include "exact_decimal.h"
#include "platform/platform.h"

namespace vocalcue {

void f_readmoney(SoundDevice& sound, const MoneyAmount& amoney);
void f_readnumber(SoundDevice& sound, std::optional<std::int16_t> ai_number);

}  // namespace vocalcue
