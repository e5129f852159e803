// The current directory and setting.ini through the platform's private-profile reader.
#include <windows.h>

#include <vector>

#include "../platform.h"

namespace vocalcue {
namespace {

LPCWSTR wide(const std::u16string& text) { return reinterpret_cast<LPCWSTR>(text.c_str()); }

class ProfileSettings final : public Settings {
public:
    std::u16string currentDirectory() override {
        DWORD size = GetCurrentDirectoryW(0, nullptr);
        while (size > 0) {
            std::vector<wchar_t> buffer(size);
            const DWORD written = GetCurrentDirectoryW(size, buffer.data());
            if (written == 0) break;
            if (written < size) return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), written);
            size = written;  // the directory changed in between: try again with the new size
        }
        return u".";
    }

    std::u16string readProfileString(const std::u16string& section, const std::u16string& key,
                                     const std::u16string& fallback, const std::u16string& file) override {
        // The reader truncates to the buffer and then returns size - 1: grow until the value fits.
        for (DWORD size = 256; size <= (1u << 20); size *= 4) {
            std::vector<wchar_t> buffer(size);
            const DWORD got =
                GetPrivateProfileStringW(wide(section), wide(key), wide(fallback), buffer.data(), size, wide(file));
            if (got < size - 1) return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), got);
        }
        return fallback;
    }
};

}  // namespace

std::unique_ptr<Settings> makeSettings() { return std::make_unique<ProfileSettings>(); }

}  // namespace vocalcue
