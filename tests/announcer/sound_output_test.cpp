#include "sound_output.h"

#include <gtest/gtest.h>

#include "fake_sound_device.h"
#include "startup.h"
#include "value_announcers.h"

namespace vocalcue {
namespace {

using testing::characters;
using testing::FakeSoundDevice;
using testing::tokens;
using Tokens = std::vector<std::string>;

TEST(VocalCue, ChecksTheDevicesBeforeEveryFile) {
    FakeSoundDevice sound;
    EXPECT_EQ(f_vocalcue(sound, u".\\wav\\叁.wav", 0), 1);
    sound.devices = 0;
    EXPECT_EQ(f_vocalcue(sound, u".\\wav\\肆.wav", 0), -1);
    sound.devices = 2;
    EXPECT_EQ(f_vocalcue(sound, u".\\wav\\伍.wav", 0), 1);
    EXPECT_EQ(sound.countCalls, 3);
    EXPECT_EQ(tokens(sound.played), (Tokens{"叁", "伍"}));
    EXPECT_EQ(sound.flags, (std::vector<std::uint16_t>{0, 0}));
}

TEST(VocalCue, HandsTheFlagsOverUnchanged) {
    FakeSoundDevice sound;
    f_vocalcue(sound, u"x", -1);
    EXPECT_EQ(sound.flags, (std::vector<std::uint16_t>{0xFFFF}));
}

TEST(ReadOther, EveryPhraseKeyPlaysItsOwnFile) {
    for (const auto key : kPhraseKeys) {
        FakeSoundDevice sound;
        f_readother(sound, std::u16string(key));
        ASSERT_EQ(sound.played.size(), 1u);
        EXPECT_EQ(sound.played[0], ".\\wav\\" + kit::utf16ToUtf8(key) + ".wav");
    }
}

TEST(ReadOther, OnlyExactKeysSound) {
    for (const char* name : {"欢迎光临 ", " 欢迎光临", "欢迎", "", "零", "欢迎光临欢迎光临"}) {
        FakeSoundDevice sound;
        f_readother(sound, kit::utf8ToUtf16(name));
        EXPECT_TRUE(sound.played.empty()) << "\"" << name << "\"";
        EXPECT_EQ(sound.countCalls, 0) << "\"" << name << "\"";
    }
}

TEST(ValueAnnouncers, OneFilePerCharacterInTextOrder) {
    const struct {
        const char* amount;
        const char* files;
    } money[] = {{"0", "零"},
                 {"1", "壹元整"},
                 {"12.5", "壹拾贰元伍角"},
                 {"100.05", "壹佰元零角伍分"},
                 {"1001", "壹仟零壹元整"},
                 {"-12.5", "壹拾贰元伍角"}};
    for (const auto& c : money) {
        FakeSoundDevice sound;
        f_readmoney(sound, ExactDecimal::parse(kit::utf8ToUtf16(c.amount)));
        EXPECT_EQ(tokens(sound.played), characters(c.files)) << "amount " << c.amount;
        EXPECT_EQ(sound.countCalls, static_cast<int>(sound.played.size()));
    }
    const struct {
        std::optional<std::int16_t> value;
        const char* files;
    } numbers[] = {{0, "零"},    {5, "伍"},           {10, "拾"},
                   {15, "拾伍"}, {101, "壹佰零壹"},   {32767, "叁万贰仟柒佰陆拾柒"},
                   {-5, "伍"},   {std::nullopt, "零"}};
    for (const auto& c : numbers) {
        FakeSoundDevice sound;
        f_readnumber(sound, c.value);
        EXPECT_EQ(tokens(sound.played), characters(c.files)) << "value " << c.value.value_or(0);
    }
    FakeSoundDevice absent;
    f_readmoney(absent, std::nullopt);
    EXPECT_EQ(tokens(absent.played), Tokens{"零"});
}

TEST(ValueAnnouncers, WithoutADeviceTheWholeTextIsWalkedSilently) {
    FakeSoundDevice sound;
    sound.devices = 0;
    f_readmoney(sound, ExactDecimal::parse(u"100.05"));
    EXPECT_TRUE(sound.played.empty());
    EXPECT_EQ(sound.countCalls, 7);
}

class FakeSettings final : public Settings {
public:
    std::u16string value;
    bool present = true;
    std::u16string askedFile, askedSection, askedKey, askedDefault;

    std::u16string currentDirectory() override { return u"C:\\counter\\"; }
    std::u16string readProfileString(const std::u16string& section, const std::u16string& key,
                                     const std::u16string& fallback, const std::u16string& file) override {
        askedSection = section, askedKey = key, askedDefault = fallback, askedFile = file;
        return present ? value : fallback;
    }
};

TEST(Startup, TheSwitchDecidesWhetherTheRequestIsAnnounced) {
    const struct {
        bool present;
        const char* value;
        bool announced;
    } cases[] = {{false, "", false}, {true, "0", false}, {true, "1", true}, {true, "yes", true},
                 {true, "00", true}, {true, "", true},   {true, " 0", true}};
    for (const auto& c : cases) {
        FakeSettings settings;
        settings.present = c.present;
        settings.value = kit::utf8ToUtf16(c.value);
        FakeSoundDevice sound;
        open(u"欢迎光临/m/1/谢谢光临", settings, sound);
        EXPECT_EQ(!sound.played.empty(), c.announced) << "switch \"" << c.value << "\"";
        // The backslash is appended whatever the directory text ends with.
        EXPECT_EQ(settings.askedFile, u"C:\\counter\\\\setting.ini");
        EXPECT_EQ(settings.askedSection, u"setting");
        EXPECT_EQ(settings.askedKey, u"vocalcue");
        EXPECT_EQ(settings.askedDefault, u"0");
    }
}

}  // namespace
}  // namespace vocalcue
