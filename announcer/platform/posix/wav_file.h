// A WAV file as the Linux sound device plays it: read through libsndfile from
// a descriptor checked to be a regular file, in the PCM format it plays in.
#pragma once

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <string>

namespace vocalcue {

class SndFile {
public:
    explicit SndFile(const std::u16string& path);
    ~SndFile();
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

struct PcmFormat {
    snd_pcm_format_t sample;
    unsigned channels;
    unsigned rate;
    bool operator==(const PcmFormat&) const = default;
};

// Up to 16 bits a sample plays as 16-bit; deeper files play as 32-bit.
PcmFormat pcmFormatOf(const SF_INFO& info);

// Sets the PCM up for the format: half a second of buffer, soft resampling
// allowed. ALSA's result: negative when the device refuses the format.
int setUpPcm(snd_pcm_t* pcm, const PcmFormat& format);

}  // namespace vocalcue
