// setting.ini read with the usual INI rules: section and key names compared
// without regard to case, blanks around names and values ignored, the first
// occurrence of a key wins. A settings file that is not a regular file counts
// as missing.
#include <ini.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>

#include "../platform.h"
#include "common/utf.h"
#include "native_path.h"

namespace vocalcue {
namespace {

struct Lookup {
    std::string section;
    std::string key;
    std::optional<std::string> value;
};

int onEntry(void* user, const char* section, const char* name, const char* value) {
    auto* lookup = static_cast<Lookup*>(user);
    if (!lookup->value && name != nullptr && value != nullptr && strcasecmp(section, lookup->section.c_str()) == 0 &&
        strcasecmp(name, lookup->key.c_str()) == 0) {
        lookup->value = value;
    }
    return 1;  // keep going: a malformed line elsewhere must not hide the key
}

class IniSettings final : public Settings {
public:
    // "." names the current directory whatever characters its absolute name holds.
    std::u16string currentDirectory() override { return u"."; }

    std::u16string readProfileString(const std::u16string& section, const std::u16string& key,
                                     const std::u16string& fallback, const std::u16string& file) override {
        const int fd = openRegularFile(file);
        if (fd < 0) return fallback;
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(::fdopen(fd, "r"), std::fclose);
        if (!stream) {
            ::close(fd);
            return fallback;
        }
        Lookup lookup{kit::utf16ToUtf8(section), kit::utf16ToUtf8(key), std::nullopt};
        if (ini_parse_file(stream.get(), onEntry, &lookup) < 0 || !lookup.value) return fallback;
        return kit::utf8ToUtf16(*lookup.value);
    }
};

}  // namespace

std::unique_ptr<Settings> makeSettings() { return std::make_unique<IniSettings>(); }

}  // namespace vocalcue
