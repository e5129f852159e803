#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include "common/utf.h"
#include "platform/platform.h"

namespace vocalcue {
namespace {

class IniSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vocalcue-ini-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        ::unlink((dir_ + "/setting.ini").c_str());
        ::rmdir(dir_.c_str());
    }
    std::string read(const std::string& contents) {
        std::ofstream(dir_ + "/setting.ini") << contents;
        return readExisting();
    }
    std::string readExisting() {
        auto settings = makeSettings();
        return kit::utf16ToUtf8(
            settings->readProfileString(u"setting", u"vocalcue", u"0", kit::utf8ToUtf16(dir_) + u"\\setting.ini"));
    }
    std::string dir_;
};

TEST_F(IniSettingsTest, UsualIniRules) {
    const struct {
        const char* contents;
        const char* value;
    } cases[] = {
        {"[setting]\nvocalcue=1\n", "1"},
        {"[SETTING]\nVocalCue=yes\n", "yes"},
        {"  [setting]  \n  vocalcue  =  00  \n", "00"},
        {"[setting]\r\nvocalcue=1\r\n", "1"},
        {"\xEF\xBB\xBF[setting]\nvocalcue=1\n", "1"},
        {"[setting]\nvocalcue=0\n", "0"},
        {"[setting]\nvocalcue=\n", ""},
        {"[setting]\nvocalcue=1\nvocalcue=0\n", "1"},
        {"; comment\n[other]\nvocalcue=1\n[setting]\nother=1\n", "0"},
        {"[other]\nvocalcue=1\n", "0"},
        {"vocalcue=1\n", "0"},
        {"", "0"},
        {"garbage line\n[setting]\nvocalcue=1\n", "1"},
    };
    for (const auto& c : cases) EXPECT_EQ(read(c.contents), c.value) << "file:\n" << c.contents;
}

TEST_F(IniSettingsTest, MissingFileGivesTheDefault) { EXPECT_EQ(readExisting(), "0"); }

}  // namespace
}  // namespace vocalcue
