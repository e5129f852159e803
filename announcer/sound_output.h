// Sound output: the one place that plays WAV files, the WAV naming scheme and
// the fixed phrases.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace vocalcue {

// ".\wav\" + token + ".wav", relative to the current directory.
std::u16string wavPath(std::u16string_view token);

// Plays one WAV file; 1 when it was handed to the platform, -1 when the system
// has no wave-output device. The device count is asked anew on every call.
std::int16_t f_vocalcue(SoundDevice& sound, const std::u16string& as_filename, std::int16_t ai_option);

// The phrase keys, in table order; each key is also its file's token.
extern const std::array<std::u16string_view, 11> kPhraseKeys;

// Speaks the phrase whose key equals `as_name` exactly; silent for any other text.
void f_readother(SoundDevice& sound, const std::u16string& as_name);

}  // namespace vocalcue
