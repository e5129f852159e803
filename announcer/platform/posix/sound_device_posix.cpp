// Sound through the ALSA PCM "default", WAV decoding through libsndfile.
// The PCM stays open from one file to the next while the format stays the
// same, so consecutive words follow each other without reopening the device.
#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <optional>
#include <vector>

#include "../platform.h"
#include "wav_file.h"

namespace vocalcue {
namespace {

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

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
        const PcmFormat format = pcmFormatOf(file.info());
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
        if (setUpPcm(pcm_, format) < 0) {
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
