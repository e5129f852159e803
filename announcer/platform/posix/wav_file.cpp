#include "wav_file.h"

#include <unistd.h>

#include "native_path.h"

namespace vocalcue {

SndFile::SndFile(const std::u16string& path) : fd_(openRegularFile(path)) {
    if (fd_ >= 0) handle_ = sf_open_fd(fd_, SFM_READ, &info_, SF_FALSE);
}

SndFile::~SndFile() {
    if (handle_) sf_close(handle_);
    if (fd_ >= 0) ::close(fd_);
}

PcmFormat pcmFormatOf(const SF_INFO& info) {
    bool shallow = false;
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
        case SF_FORMAT_IMA_ADPCM:
        case SF_FORMAT_MS_ADPCM:
        case SF_FORMAT_GSM610:
            shallow = true;
            break;
        default:
            break;
    }
    return {shallow ? SND_PCM_FORMAT_S16 : SND_PCM_FORMAT_S32, static_cast<unsigned>(info.channels),
            static_cast<unsigned>(info.samplerate)};
}

int setUpPcm(snd_pcm_t* pcm, const PcmFormat& format) {
    return snd_pcm_set_params(pcm, format.sample, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels, format.rate, 1,
                              500000);
}

}  // namespace vocalcue
