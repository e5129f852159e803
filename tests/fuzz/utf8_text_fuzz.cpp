// UTF-8 text to GB18030 against glibc's own iconv: the same bytes for text
// iconv converts, a refusal for text it refuses (malformed UTF-8, and the code
// points that have no GB18030 code in it). In GBK and Big5, each character
// iconv gives a two-byte code has that code, and every other one is sent as
// one ASCII byte or a two-byte code. The input is the text.
#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "encodings.h"
#include "gb18030.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "utf8_text harness: %s\n", what);
    std::abort();
}

std::optional<Bytes> iconvConvert(const char* charset, std::string_view text) {
    const iconv_t descriptor = iconv_open(charset, "UTF-8");
    if (descriptor == reinterpret_cast<iconv_t>(-1))  // NOLINT(performance-no-int-to-ptr)
        fail("glibc lacks a converter");
    struct Closer {
        iconv_t d;
        ~Closer() { iconv_close(d); }
    } closer{descriptor};
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    Bytes out(text.size() * 4 + 8);
    std::vector<char> in(text.begin(), text.end());
    char* inAt = in.data();
    std::size_t inLeft = in.size();
    auto* outAt = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size();
    if (iconv(descriptor, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

bool isTwoByteCode(const Bytes& b) { return b.size() == 2 && b[0] >= 0x81 && b[0] <= 0xFE && b[1] >= 0x40; }

// Each character of well-formed `text` on its own, in GBK or Big5.
void checkDoubleByte(std::string_view text, slipdrv::TextEncoding encoding, const char* charset) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p != end) {
        const auto* start = p;
        if (slipdrv::decodeUtf8(p, end) == slipdrv::kMalformed) return;
        const std::string_view character(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
        const auto ours = slipdrv::convertUtf8(character, encoding, 8);
        if (!ours) fail("a character GBK or Big5 refused");
        const auto theirs = iconvConvert(charset, character);
        if (theirs && (isTwoByteCode(*theirs) || character.size() == 1)) {
            if (*ours != *theirs) fail("bytes differ from iconv's GBK or Big5 code");
        } else if (!isTwoByteCode(*ours) && !(ours->size() == 1 && (*ours)[0] >= 0x20 && (*ours)[0] < 0x7F)) {
            fail("a character GBK or Big5 lacks went out as neither a code nor ASCII");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkDoubleByte(text, slipdrv::TextEncoding::kGbk, "GBK");
    checkDoubleByte(text, slipdrv::TextEncoding::kBig5, "BIG5");
    const auto ours = slipdrv::utf8ToGb18030(text, size * 4 + 8);
    const auto theirs = iconvConvert("GB18030", text);
    if (ours.has_value() != theirs.has_value())
        fail(ours ? "converted text iconv refuses" : "refused text iconv converts");
    if (ours && *ours != *theirs) fail("bytes differ from iconv's");
    return 0;
}
