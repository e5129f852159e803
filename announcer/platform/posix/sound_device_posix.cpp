// Sound through the ALSA PCM "default", WAV decoding through libsndfile.
// The PCM stays open from one file to the next while the format stays the
// same, so consecutive words follow each other without reopening the device.
#include <alsa/asoundlib.h>
#include <sndfile.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "../platform.h"
#include "native_path.h"

namespace vocalcue {
namespace {

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

struct PcmFormat {
    snd_pcm_format_t sample;
    unsigned channels;
    unsigned rate;
    bool operator==(const PcmFormat&) const = default;
};

// A WAV file read through the descriptor that was checked to be a regular file.
class SndFile {
public:
    explicit SndFile(const std::u16string& path) : fd_(openRegularFile(path)) {
        if (fd_ >= 0) handle_ = sf_open_fd(fd_, SFM_READ, &info_, SF_FALSE);
    }
    ~SndFile() {
        if (handle_) sf_close(handle_);
        if (fd_ >= 0) ::close(fd_);
    }
    SndFile(const SndFile&) = delete;
    SndFile& operator=(const SndFile&) = delete;

    bool ok() const { return handle_ != nullptr && info_.channels > 0 && info_.samplerate > 0; }
    SNDFILE* get() const { return handle_; }
    const SF_INFO& info() const { return info_; }

private:
    int fd_;
    SF_INFO info_{};
    SNDFILE* handle_ = nullptr;
};

// Up to 16 bits a sample plays as 16-bit; deeper files play as 32-bit.
bool isShallow(const SF_INFO& info) {
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
        case SF_FORMAT_IMA_ADPCM:
        case SF_FORMAT_MS_ADPCM:
        case SF_FORMAT_GSM610:
            return true;
        default:
            return false;
    }
}

class AlsaSoundDevice final : public SoundDevice {
public:
    AlsaSoundDevice() { snd_lib_error_set_handler(ignoreAlsaError); }
    ~AlsaSoundDevice() override {
        close();
        snd_config_update_free_global();
    }

    std::uint16_t waveOutGetNumDevs() override {
        if (pcm_ && snd_pcm_state(pcm_) != SND_PCM_STATE_DISCONNECTED) return 1;
        close();
        return openPcm() ? 1 : 0;
    }

    bool playSound(const std::u16string& soundname, std::uint16_t) override {
        SndFile file(soundname);
        if (!file.ok()) return false;  // a missing or unreadable file, or one that is not a regular file, is silence
        const PcmFormat format{isShallow(file.info()) ? SND_PCM_FORMAT_S16 : SND_PCM_FORMAT_S32,
                               static_cast<unsigned>(file.info().channels),
                               static_cast<unsigned>(file.info().samplerate)};
        if (!configure(format)) return false;
        const bool played =
            format.sample == SND_PCM_FORMAT_S16 ? stream<short>(file, sf_readf_short) : stream<int>(file, sf_readf_int);
        // Drain returns when the last sample has been played: the call is synchronous.
        if (snd_pcm_drain(pcm_) < 0) {
            close();
            return false;
        }
        return played;
    }

private:
    bool openPcm() {
        if (snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) {
            pcm_ = nullptr;
            return false;
        }
        return true;
    }

    void close() {
        if (pcm_) snd_pcm_close(pcm_);
        pcm_ = nullptr;
        configured_.reset();
    }

    bool configure(const PcmFormat& format) {
        if (pcm_ && configured_ && *configured_ == format) return snd_pcm_prepare(pcm_) >= 0 || reopen(format);
        return reopen(format);
    }

    bool reopen(const PcmFormat& format) {
        const bool wasConfigured = configured_.has_value();
        if (wasConfigured || !pcm_) {
            close();
            if (!openPcm()) return false;
        }
        // Half a second of buffer, soft resampling allowed.
        if (snd_pcm_set_params(pcm_, format.sample, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels, format.rate, 1,
                               500000) < 0) {
            close();
            return false;
        }
        configured_ = format;
        return true;
    }

    template <typename Sample>
    bool stream(const SndFile& file, sf_count_t (*read)(SNDFILE*, Sample*, sf_count_t)) {
        constexpr sf_count_t kFrames = 4096;
        const auto channels = static_cast<std::size_t>(file.info().channels);
        std::vector<Sample> buffer(static_cast<std::size_t>(kFrames) * channels);
        for (;;) {
            const sf_count_t got = read(file.get(), buffer.data(), kFrames);
            if (got <= 0) return true;
            sf_count_t done = 0;
            while (done < got) {
                snd_pcm_sframes_t n = snd_pcm_writei(pcm_, buffer.data() + done * static_cast<sf_count_t>(channels),
                                                     static_cast<snd_pcm_uframes_t>(got - done));
                if (n < 0) n = snd_pcm_recover(pcm_, static_cast<int>(n), 1);
                if (n < 0) {
                    close();
                    return false;
                }
                done += n;
            }
        }
    }

    snd_pcm_t* pcm_ = nullptr;
    std::optional<PcmFormat> configured_;
};

}  // namespace

std::unique_ptr<SoundDevice> makeSoundDevice() { return std::make_unique<AlsaSoundDevice>(); }

}  // namespace vocalcue
