#include "startup.h"

#include "request.h"

namespace vocalcue {

void open(const std::u16string& commandline, Settings& settings, SoundDevice& sound) {
    // The settings file is looked up in the current directory, not the program's folder.
    const std::u16string path = settings.currentDirectory() + u"\\setting.ini";
    const std::u16string ls_val = settings.readProfileString(u"setting", u"vocalcue", u"0", path);
    if (ls_val == u"0") return;
    f_read(sound, commandline);
}

}  // namespace vocalcue
