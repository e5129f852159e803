#include "folder_check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string_view>

#include "common/kit_version.h"
#include "common/utf.h"
#include "platform/platform.h"
#include "request.h"
#include "sound_output.h"
#include "startup.h"
#include "value_announcers.h"

namespace vocalcue_check {
namespace {

using vocalcue::Settings;
using vocalcue::SoundDevice;
using State = SoundFacts::State;

constexpr const char* kUsage =
    "usage: vocalcue-check [--say REQUEST]\n"
    "Run in the folder vocalcue runs in: reports whether setting.ini switches\n"
    "announcements on (and why not), which of the 30 WAV files in wav/ are missing,\n"
    "unreadable or in a format the sound device refuses, each file's duration, and\n"
    "whether the sound device opens. A phrase longer than 10 s or a numeral or unit\n"
    "longer than 3 s is named in a warning, which leaves the exit status as it is.\n"
    "\n"
    "  --say REQUEST  list the files REQUEST plays, in order, and play them\n"
    "                 (e.g. --say 您本次消费合计为/m/35.50/谢谢光临)\n"
    "  --help         print this text\n"
    "  --version      print the version\n"
    "\n"
    "Exit status: 0 everything is in place (with --say: each file of the request\n"
    "was there and played), 1 something is not, 2 bad usage.\n";

// The announcer's path as people read it: wav/零.wav.
std::string shownPath(std::u16string_view path) {
    if (path.starts_with(u".\\")) path.remove_prefix(2);
    std::string out = kit::utf16ToUtf8(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

// Every file the announcer can play: the phrases, then the numerals and units.
std::vector<std::u16string> soundPaths() {
    std::vector<std::u16string> paths;
    paths.reserve(vocalcue::kPhraseKeys.size() + vocalcue::kMoneySounds.size());
    for (const auto key : vocalcue::kPhraseKeys) paths.push_back(vocalcue::wavPath(key));
    for (const char16_t c : vocalcue::kMoneySounds) paths.push_back(vocalcue::wavPath(std::u16string(1, c)));
    return paths;
}

// Whether the INI text has a [setting] section (names compare without regard to case).
bool hasSettingSection(std::string_view text) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const auto first = line.find_first_not_of(" \t\r");
        const auto last = line.find_last_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] != '[' || line[last] != ']') continue;
        std::string name(line.substr(first + 1, last - first - 1));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        if (name == "setting") return true;
    }
    return false;
}

// Prints whether announcements are on; the verdict is the announcer's own.
bool reportSettings(Settings& settings, FolderProbe& probe, std::FILE* out) {
    const std::u16string path = vocalcue::settingsPath(settings);
    if (vocalcue::announcementsOn(settings)) {
        const std::u16string value = settings.readProfileString(u"setting", u"vocalcue", u"0", path);
        std::fprintf(out, "setting.ini: announcements on (vocalcue=%s)\n", kit::utf16ToUtf8(value).c_str());
        return true;
    }
    std::string why;
    switch (probe.fileState(path)) {
        case FileState::kMissing:
            why = "there is no setting.ini in this folder";
            break;
        case FileState::kNotRegular:
            why = "setting.ini is not a regular file, which counts as missing";
            break;
        case FileState::kUnreadable:
            why = "setting.ini cannot be read";
            break;
        case FileState::kRegular: {
            constexpr std::u16string_view kAbsent = u"\u0001";
            const std::u16string value =
                settings.readProfileString(u"setting", u"vocalcue", std::u16string(kAbsent), path);
            if (value != kAbsent) {
                why = "vocalcue=" + kit::utf16ToUtf8(value) + " switches them off";
            } else if (hasSettingSection(probe.readFile(path))) {
                why = "the [setting] section has no vocalcue key";
            } else {
                why = "setting.ini has no [setting] section";
            }
            break;
        }
    }
    std::fprintf(out, "setting.ini: announcements OFF: %s (vocalcue=1 in [setting] switches them on)\n", why.c_str());
    return false;
}

const char* stateWord(State state) {
    switch (state) {
        case State::kOk:
            return "ok";
        case State::kMissing:
            return "missing";
        case State::kNotRegular:
            return "not a file";
        case State::kUnreadable:
            return "unreadable";
        case State::kRefused:
            return "refused";
    }
    return "";
}

void printSound(const std::string& shown, const SoundFacts& facts, std::FILE* out) {
    std::fprintf(out, "  %-10s %s", stateWord(facts.state), shown.c_str());
    if (facts.state == State::kOk || facts.state == State::kRefused) {
        std::fprintf(out, "  %.3f s  %s", facts.seconds, facts.format.c_str());
    }
    if (!facts.detail.empty()) std::fprintf(out, "  (%s)", facts.detail.c_str());
    std::fputc('\n', out);
}

// How long a file plausibly lasts: a phrase is a short sentence, a numeral or
// unit one syllable. A file far longer is likely the wrong recording, and the
// announcer plays each file to its end before the next.
constexpr double kLongestPhraseSeconds = 10;
constexpr double kLongestNumeralSeconds = 3;

// A warning line when the file lasts longer than its kind of sound should;
// a finding only, which leaves the exit status as it is.
void reportLength(const std::u16string& path, const SoundFacts& facts, std::FILE* out) {
    const bool numeral = std::any_of(vocalcue::kMoneySounds.begin(), vocalcue::kMoneySounds.end(),
                                     [&](char16_t c) { return path == vocalcue::wavPath(std::u16string(1, c)); });
    const double longest = numeral ? kLongestNumeralSeconds : kLongestPhraseSeconds;
    if (facts.seconds <= longest) return;
    std::fprintf(out, "warning: %s lasts %.3f s, more than the %.0f s a %s takes: is it the right recording?\n",
                 shownPath(path).c_str(), facts.seconds, longest, numeral ? "numeral or unit" : "phrase");
}

// The files whose format differs from the one most files have: the device is
// set up anew between such words, which can be heard as a gap.
void reportFormatMix(const std::vector<std::pair<std::string, SoundFacts>>& sounds, std::FILE* out) {
    std::map<std::string, int> counts;
    for (const auto& [shown, facts] : sounds) {
        if (facts.state == State::kOk) ++counts[facts.format];
    }
    if (counts.size() < 2) return;
    const auto common = std::max_element(counts.begin(), counts.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
    std::fprintf(out, "warning: the files are not all in one format (%d in %s); the device is set up anew around:\n",
                 common->second, common->first.c_str());
    for (const auto& [shown, facts] : sounds) {
        if (facts.state == State::kOk && facts.format != common->first) {
            std::fprintf(out, "  %s  %s\n", shown.c_str(), facts.format.c_str());
        }
    }
}

int checkFolder(Settings& settings, FolderProbe& probe, std::FILE* out) {
    std::fprintf(out, "folder: %s\n", probe.currentFolder().c_str());
    std::vector<std::string> problems;
    if (!reportSettings(settings, probe, out)) problems.emplace_back("announcements off");

    const auto paths = soundPaths();
    std::fprintf(out, "sounds (%zu files):\n", paths.size());
    std::vector<std::pair<std::string, SoundFacts>> sounds;
    std::map<State, int> counts;
    for (const auto& path : paths) {
        sounds.emplace_back(shownPath(path), probe.examineSound(path));
        printSound(sounds.back().first, sounds.back().second, out);
        ++counts[sounds.back().second.state];
    }
    for (std::size_t i = 0; i < paths.size(); ++i) reportLength(paths[i], sounds[i].second, out);
    for (const auto& [state, count] : counts) {
        if (state != State::kOk) problems.push_back(std::to_string(count) + " " + stateWord(state));
    }

    std::string device;
    const bool opens = probe.soundDeviceOpens(device);
    std::fprintf(out, "sound device: %s (%s)\n", opens ? "opens" : "DOES NOT OPEN", device.c_str());
    if (!opens) problems.emplace_back("no sound device");
    reportFormatMix(sounds, out);

    if (problems.empty()) {
        std::fprintf(out, "everything is in place\n");
        return kExitInPlace;
    }
    std::string list;
    for (const auto& problem : problems) list += (list.empty() ? "" : ", ") + problem;
    std::fprintf(out, "not in place: %s\n", list.c_str());
    return kExitNotInPlace;
}

// Takes down the files a request plays instead of playing them.
class PlayList final : public SoundDevice {
public:
    std::uint16_t waveOutGetNumDevs() override { return 1; }
    bool playSound(const std::u16string& soundname, std::uint16_t) override {
        files.push_back(soundname);
        return true;
    }
    std::vector<std::u16string> files;
};

int sayRequest(const std::u16string& request, Settings& settings, FolderProbe& probe, std::FILE* out) {
    PlayList list;
    vocalcue::f_read(list, request);
    std::fprintf(out, "request %s plays %zu files:\n", kit::utf16ToUtf8(request).c_str(), list.files.size());
    bool inPlace = true;
    for (const auto& path : list.files) {
        const SoundFacts facts = probe.examineSound(path);
        printSound(shownPath(path), facts, out);
        reportLength(path, facts, out);
        inPlace = inPlace && facts.state == State::kOk;
    }
    if (list.files.empty()) {
        std::fprintf(out, "  (none: a request is a phrase, m or n, a value and a phrase, joined by /)\n");
        return kExitNotInPlace;
    }
    if (!vocalcue::announcementsOn(settings)) {
        std::fprintf(out, "note: setting.ini switches announcements off here, so vocalcue itself stays silent\n");
    }
    std::string device;
    if (!probe.soundDeviceOpens(device)) {
        std::fprintf(out, "sound device: DOES NOT OPEN (%s): nothing to hear\n", device.c_str());
        return kExitNotInPlace;
    }
    std::fflush(out);
    try {
        const auto sound = vocalcue::makeSoundDevice();
        vocalcue::f_read(*sound, request);
    } catch (const vocalcue::SoundUnavailable&) {
        std::fprintf(out, "the sound library cannot be bound: nothing played\n");
        return kExitNotInPlace;
    }
    std::fprintf(out, "played\n");
    return inPlace ? kExitInPlace : kExitNotInPlace;
}

}  // namespace

int runVocalcueCheck(const std::vector<std::u16string>& args, std::FILE* out, std::FILE* err) {
    std::optional<std::u16string> request;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (arg == u"--help") {
            std::fputs(kUsage, out);
            return kExitInPlace;
        }
        if (arg == u"--version") {
            std::fprintf(out, "vocalcue-check %s\n", kit::kVersion);
            return kExitInPlace;
        }
        if (arg == u"--say" && i + 1 < args.size()) {
            request = args[++i];
        } else if (arg.starts_with(u"--say=")) {
            request = arg.substr(6);
        } else {
            std::fprintf(err, "vocalcue-check: %s %s (--help tells the usage)\n",
                         arg == u"--say" ? "missing REQUEST after" : "unknown argument", kit::utf16ToUtf8(arg).c_str());
            return kExitUsage;
        }
    }
    const auto settings = vocalcue::makeSettings();
    const auto probe = makeFolderProbe();
    if (request) return sayRequest(*request, *settings, *probe, out);
    return checkFolder(*settings, *probe, out);
}

}  // namespace vocalcue_check
