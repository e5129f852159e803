#include "startup.h"

#include "request.h"

namespace vocalcue {

std::u16string settingsPath(Settings& settings) { return settings.currentDirectory() + u"\\setting.ini"; }

bool announcementsOn(Settings& settings) {
    const std::u16string ls_val = settings.readProfileString(u"setting", u"vocalcue", u"0", settingsPath(settings));
    return ls_val != u"0";
}

void open(const std::u16string& commandline, Settings& settings, SoundDevice& sound) {
    if (!announcementsOn(settings)) return;
    f_read(sound, commandline);
}

}  // namespace vocalcue
