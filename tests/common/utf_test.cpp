#include "common/utf.h"

#include <gtest/gtest.h>

namespace kit {
namespace {

TEST(Utf, RoundTripsTextOfEveryPlane) {
    const std::u16string texts[] = {u"", u"abc", u"您本次消费合计为/m/35.50/谢谢光临", u"\U0001F600x", u"é"};
    for (const auto& t : texts) EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(t)), t);
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
    const struct {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"\xff", u"\uFFFD"},
        {"a\xe5\x8f", u"a\uFFFD"},        // truncated sequence at the end
        {"\xe5\x8fz", u"\uFFFDz"},        // truncated sequence before ASCII
        {"\xc0\xaf", u"\uFFFD"},          // overlong slash
        {"\xed\xa0\x80", u"\uFFFD"},      // encoded surrogate
        {"\xf4\x90\x80\x80", u"\uFFFD"},  // beyond U+10FFFF
        {"\x80x", u"\uFFFDx"},            // stray continuation byte
    };
    for (const auto& c : cases) EXPECT_EQ(utf8ToUtf16(c.in), c.out);
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kit
