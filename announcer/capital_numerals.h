// Readings of money amounts and whole numbers in Chinese capital numerals.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "exact_decimal.h"

namespace vocalcue {

// The money text of an amount in yuan: 壹拾贰元伍角 for 12.50, 壹佰零壹元整 for 101.
std::u16string f_getbigmoney(const MoneyAmount& adec_money);

// The number text of a whole number: 拾伍 for 15, 壹佰零壹 for 101.
std::u16string f_getbignumber(std::optional<std::int16_t> an_number);

}  // namespace vocalcue
