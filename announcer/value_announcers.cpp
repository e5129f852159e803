#include "value_announcers.h"

#include <string_view>

#include "capital_numerals.h"
#include "sound_output.h"

namespace vocalcue {
namespace {

void speakEachCharacter(SoundDevice& sound, const std::u16string& ls_dxje, std::u16string_view soundTable) {
    for (const char16_t c : ls_dxje) {
        if (soundTable.find(c) != std::u16string_view::npos) f_vocalcue(sound, wavPath(std::u16string(1, c)), 0);
    }
}

}  // namespace

void f_readmoney(SoundDevice& sound, const MoneyAmount& amoney) {
    speakEachCharacter(sound, f_getbigmoney(amoney), kMoneySounds);
}

void f_readnumber(SoundDevice& sound, std::optional<std::int16_t> ai_number) {
    speakEachCharacter(sound, f_getbignumber(ai_number), kNumberSounds);
}

}  // namespace vocalcue
