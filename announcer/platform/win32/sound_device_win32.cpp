// Sound through the multimedia library, bound by name at run time. The wide
// play function takes the UTF-16 path, so the Chinese file names resolve on
// every code page.
#include <windows.h>

#include "../platform.h"

namespace vocalcue {
namespace {

using WaveOutGetNumDevsFn = UINT(WINAPI*)();
using SndPlaySoundWFn = BOOL(WINAPI*)(LPCWSTR, UINT);

class WinmmSoundDevice final : public SoundDevice {
public:
    ~WinmmSoundDevice() override {
        if (library_) FreeLibrary(library_);
    }

    std::uint16_t waveOutGetNumDevs() override {
        if (!numDevs_) numDevs_ = bind<WaveOutGetNumDevsFn>("waveOutGetNumDevs");
        return static_cast<std::uint16_t>(numDevs_());
    }

    bool playSound(const std::u16string& soundname, std::uint16_t flags) override {
        if (!play_) play_ = bind<SndPlaySoundWFn>("sndPlaySoundW");
        return play_(reinterpret_cast<LPCWSTR>(soundname.c_str()), flags) != FALSE;
    }

private:
    // The library and each function are bound at their first use; when one
    // cannot be bound the announcement is abandoned at that point.
    template <typename Fn>
    Fn bind(const char* name) {
        if (!library_) library_ = LoadLibraryA("WINMM.DLL");
        if (!library_) throw SoundUnavailable{};
        FARPROC fn = GetProcAddress(library_, name);
        if (!fn) throw SoundUnavailable{};
        // Through the generic function pointer type, as the platform intends.
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(fn));
    }

    HMODULE library_ = nullptr;
    WaveOutGetNumDevsFn numDevs_ = nullptr;
    SndPlaySoundWFn play_ = nullptr;
};

}  // namespace

std::unique_ptr<SoundDevice> makeSoundDevice() { return std::make_unique<WinmmSoundDevice>(); }

}  // namespace vocalcue
