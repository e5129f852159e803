// What the announcer asks of the platform. Each method does what one platform
// call does; the posix and win32 backends implement them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vocalcue {

// The wave-output side of the multimedia library.
class SoundDevice {
public:
    virtual ~SoundDevice() = default;

    // Number of wave-output devices; 0 exactly when nothing can sound.
    virtual std::uint16_t waveOutGetNumDevs() = 0;

    // Plays the WAV file at `soundname` (a path with backslash separators,
    // relative to the current directory) and returns when the sound has ended.
    // The flags are handed to the platform unchanged; 0 means synchronous.
    virtual bool playSound(const std::u16string& soundname, std::uint16_t flags) = 0;
};

// The process's current directory and the reading of one key of an INI file.
class Settings {
public:
    virtual ~Settings() = default;

    virtual std::u16string currentDirectory() = 0;

    // The value of `key` in `section` of the INI file `file`, or `fallback`
    // when the file, the section or the key is missing.
    virtual std::u16string readProfileString(const std::u16string& section, const std::u16string& key,
                                             const std::u16string& fallback, const std::u16string& file) = 0;
};

// Raised by a backend when the sound library or one of its functions cannot be
// bound; the start-up abandons the announcement silently.
struct SoundUnavailable {};

std::unique_ptr<SoundDevice> makeSoundDevice();
std::unique_ptr<Settings> makeSettings();

}  // namespace vocalcue
