// vocalcue-check: reports what keeps vocalcue silent in the folder it runs in
// (setting.ini, the 30 WAV files, the sound device), and plays a request
// through the announcer's own core. vocalcue itself stays silent by design.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vocalcue_check {

enum class FileState { kRegular, kMissing, kNotRegular, kUnreadable };

// What a sound file is to the sound device.
struct SoundFacts {
    enum class State { kOk, kMissing, kNotRegular, kUnreadable, kRefused };
    State state = State::kOk;
    std::string detail;  // why it cannot be read or played
    double seconds = 0;
    std::string format;  // its sample rate, channels and encoding, in words
};

// What the check asks of the platform beyond the announcer's own interfaces.
// Paths are the announcer's (".\wav\零.wav"); texts are UTF-8.
class FolderProbe {
public:
    virtual ~FolderProbe() = default;

    virtual std::string currentFolder() = 0;
    virtual FileState fileState(const std::u16string& path) = 0;
    // The bytes of a regular file, or empty when it cannot be read.
    virtual std::string readFile(const std::u16string& path) = 0;
    // Reads the file as the sound device would play it; kRefused when the
    // device is there and will not take the file's format.
    virtual SoundFacts examineSound(const std::u16string& path) = 0;
    // Whether the sound device opens; `detail` says which device or why not.
    virtual bool soundDeviceOpens(std::string& detail) = 0;
};

std::unique_ptr<FolderProbe> makeFolderProbe();

constexpr int kExitInPlace = 0;
constexpr int kExitNotInPlace = 1;
constexpr int kExitUsage = 2;

// Runs the program with the arguments after its name.
int runVocalcueCheck(const std::vector<std::u16string>& args, std::FILE* out, std::FILE* err);

}  // namespace vocalcue_check
