// The folder seen as vocalcue sees it on Linux: files through the announcer's
// own opening and libsndfile reading, formats tried on ALSA's "default" PCM
// the way the player sets it up.
#include <alsa/asoundlib.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <map>
#include <tuple>

#include "../../folder_check.h"
#include "common/utf.h"
#include "platform/posix/native_path.h"
#include "platform/posix/wav_file.h"

namespace vocalcue_check {
namespace {

using vocalcue::PcmFormat;

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

class PosixFolderProbe final : public FolderProbe {
public:
    PosixFolderProbe() { snd_lib_error_set_handler(ignoreAlsaError); }
    ~PosixFolderProbe() override { snd_config_update_free_global(); }
    PosixFolderProbe(const PosixFolderProbe&) = delete;
    PosixFolderProbe& operator=(const PosixFolderProbe&) = delete;

    std::string currentFolder() override {
        char buffer[PATH_MAX];
        return ::getcwd(buffer, sizeof buffer) ? buffer : ".";
    }

    FileState fileState(const std::u16string& path) override {
        struct stat info {};
        if (::stat(vocalcue::nativePath(path).c_str(), &info) != 0) {
            return errno == ENOENT || errno == ENOTDIR ? FileState::kMissing : FileState::kUnreadable;
        }
        if (!S_ISREG(info.st_mode)) return FileState::kNotRegular;
        const int fd = vocalcue::openRegularFile(path);
        if (fd < 0) return FileState::kUnreadable;
        ::close(fd);
        return FileState::kRegular;
    }

    std::string readFile(const std::u16string& path) override {
        std::string content;
        const int fd = vocalcue::openRegularFile(path);
        if (fd < 0) return content;
        char chunk[4096];
        ssize_t got = 0;
        while ((got = ::read(fd, chunk, sizeof chunk)) > 0) content.append(chunk, static_cast<std::size_t>(got));
        ::close(fd);
        return content;
    }

    SoundFacts examineSound(const std::u16string& path) override {
        SoundFacts facts;
        switch (fileState(path)) {
            case FileState::kMissing:
                facts.state = SoundFacts::State::kMissing;
                return facts;
            case FileState::kNotRegular:
                facts.state = SoundFacts::State::kNotRegular;
                facts.detail = "a FIFO, device or folder, which vocalcue skips";
                return facts;
            case FileState::kUnreadable:
                facts.state = SoundFacts::State::kUnreadable;
                facts.detail = "cannot be opened";
                return facts;
            case FileState::kRegular:
                break;
        }
        const vocalcue::SndFile file(path);
        if (!file.ok()) {
            facts.state = SoundFacts::State::kUnreadable;
            facts.detail = sf_strerror(nullptr);
            return facts;
        }
        const SF_INFO& info = file.info();
        facts.seconds = static_cast<double>(info.frames) / info.samplerate;
        SF_FORMAT_INFO encoding{};
        encoding.format = info.format & SF_FORMAT_SUBMASK;
        const bool named = sf_command(nullptr, SFC_GET_FORMAT_INFO, &encoding, sizeof encoding) == 0;
        facts.format = std::to_string(info.samplerate) + " Hz, " + std::to_string(info.channels) +
                       (info.channels == 1 ? " channel, " : " channels, ") + (named ? encoding.name : "encoded");
        if (const int refusal = formatRefusal(vocalcue::pcmFormatOf(info)); refusal < 0) {
            facts.state = SoundFacts::State::kRefused;
            facts.detail = std::string("the sound device refuses this format: ") + snd_strerror(refusal);
        }
        return facts;
    }

    bool soundDeviceOpens(std::string& detail) override {
        snd_pcm_t* pcm = nullptr;
        const int opened = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0);
        if (opened < 0) {
            detail = std::string("ALSA PCM \"default\": ") + snd_strerror(opened);
            return false;
        }
        snd_pcm_close(pcm);
        detail = "ALSA PCM \"default\"";
        return true;
    }

private:
    // 0 when the device takes the format (or cannot be opened to ask), else
    // ALSA's error. Each format is asked once.
    int formatRefusal(const PcmFormat& format) {
        const auto key = std::make_tuple(static_cast<int>(format.sample), format.channels, format.rate);
        if (const auto known = refusals_.find(key); known != refusals_.end()) return known->second;
        snd_pcm_t* pcm = nullptr;
        int result = 0;
        if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) >= 0) {
            result = std::min(vocalcue::setUpPcm(pcm, format), 0);
            snd_pcm_close(pcm);
        }
        refusals_[key] = result;
        return result;
    }

    std::map<std::tuple<int, unsigned, unsigned>, int> refusals_;
};

}  // namespace

std::unique_ptr<FolderProbe> makeFolderProbe() { return std::make_unique<PosixFolderProbe>(); }

}  // namespace vocalcue_check

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(kit::utf8ToUtf16(argv[i]));
    return vocalcue_check::runVocalcueCheck(args, stdout, stderr);
}
