// UTF-8 text to GB18030 against glibc's own iconv: the same bytes for text
// iconv converts, a refusal for text it refuses (malformed UTF-8, and the code
// points that have no GB18030 code in it). The input is the text.
#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "gb18030.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "utf8_text harness: %s\n", what);
    std::abort();
}

std::optional<Bytes> iconvGb18030(std::string_view text) {
    static const iconv_t descriptor = iconv_open("GB18030", "UTF-8");
    if (descriptor == reinterpret_cast<iconv_t>(-1))
        fail("glibc has no GB18030 converter");  // NOLINT(performance-no-int-to-ptr)
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto ours = slipdrv::utf8ToGb18030(text, size * 4 + 8);
    const auto theirs = iconvGb18030(text);
    if (ours.has_value() != theirs.has_value())
        fail(ours ? "converted text iconv refuses" : "refused text iconv converts");
    if (ours && *ours != *theirs) fail("bytes differ from iconv's");
    return 0;
}
