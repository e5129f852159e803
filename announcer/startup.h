// The program's start-up: read the announcement switch, then announce.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vocalcue {

// The settings file: setting.ini in the current directory, not the program's folder.
std::u16string settingsPath(Settings& settings);

// Whether setting.ini switches announcements on: the key vocalcue of the section
// setting holds anything but "0".
bool announcementsOn(Settings& settings);

// Runs once per process with the command-line text after the program's name.
void open(const std::u16string& commandline, Settings& settings, SoundDevice& sound);

}  // namespace vocalcue
