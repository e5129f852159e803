// The program's start-up: read the announcement switch, then announce.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vocalcue {

// Runs once per process with the command-line text after the program's name.
void open(const std::u16string& commandline, Settings& settings, SoundDevice& sound);

}  // namespace vocalcue
