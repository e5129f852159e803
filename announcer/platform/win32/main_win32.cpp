// vocalcue.exe: a GUI-subsystem program that opens no window. The request is
// the command-line text after the program's name, as the platform hands it over.
#include <windows.h>

#include <string>

#include "../../startup.h"
#include "../platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR lpCmdLine, int) {
    try {
        const std::u16string commandline = lpCmdLine ? reinterpret_cast<const char16_t*>(lpCmdLine) : u"";
        auto settings = vocalcue::makeSettings();
        auto sound = vocalcue::makeSoundDevice();
        vocalcue::open(commandline, *settings, *sound);
    } catch (...) {
        // Sound that cannot be bound, or anything else, ends the announcement silently.
    }
    return 0;
}
