// A sound device that records what the announcer asks of it.
#pragma once

#include <string>
#include <vector>

#include "common/utf.h"
#include "platform/platform.h"

namespace vocalcue::testing {

class FakeSoundDevice final : public SoundDevice {
public:
    std::uint16_t devices = 1;
    int countCalls = 0;
    std::vector<std::string> played;  // UTF-8 paths in play order
    std::vector<std::uint16_t> flags;

    std::uint16_t waveOutGetNumDevs() override {
        ++countCalls;
        return devices;
    }
    bool playSound(const std::u16string& soundname, std::uint16_t f) override {
        played.push_back(kit::utf16ToUtf8(soundname));
        flags.push_back(f);
        return true;
    }
};

// The tokens of the played files: ".\wav\叁.wav" becomes "叁".
inline std::vector<std::string> tokens(const std::vector<std::string>& paths) {
    std::vector<std::string> out;
    for (const auto& p : paths) {
        const std::string prefix = ".\\wav\\", suffix = ".wav";
        if (p.starts_with(prefix) && p.ends_with(suffix))
            out.push_back(p.substr(prefix.size(), p.size() - prefix.size() - suffix.size()));
        else
            out.push_back("?" + p);
    }
    return out;
}

// Splits a UTF-8 text into its characters, one string each.
inline std::vector<std::string> characters(const std::string& text) {
    std::vector<std::string> out;
    for (char16_t c : kit::utf8ToUtf16(text)) out.push_back(kit::utf16ToUtf8(std::u16string(1, c)));
    return out;
}

}  // namespace vocalcue::testing
