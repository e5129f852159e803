#include "sound_output.h"

namespace vocalcue {

const std::array<std::u16string_view, 11> kPhraseKeys = {
    u"您本次消费合计为", u"叮咚",           u"充值成功",           u"号台即将到时", u"号台已到时", u"欢迎光临",
    u"欢迎下次光临",     u"您的当前余额为", u"您的余额不足请充值", u"谢谢光临",     u"最低消费",
};

std::u16string wavPath(std::u16string_view token) {
    std::u16string path = u".\\wav\\";
    path += token;
    path += u".wav";
    return path;
}

std::int16_t f_vocalcue(SoundDevice& sound, const std::u16string& as_filename, std::int16_t ai_option) {
    const std::uint16_t lui_numdevs = sound.waveOutGetNumDevs();
    if (lui_numdevs == 0) return -1;
    sound.playSound(as_filename, static_cast<std::uint16_t>(ai_option));
    return 1;
}

void f_readother(SoundDevice& sound, const std::u16string& as_name) {
    for (const auto key : kPhraseKeys) {
        if (as_name == key) {
            f_vocalcue(sound, wavPath(key), 0);
            return;
        }
    }
}

}  // namespace vocalcue
