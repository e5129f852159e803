// The renderer on any decoded stream: the first input byte picks the paper
// width and the printer's character set, the rest is the stream. Every piece must keep the paper's width and
// stay within the height limit, whatever the commands ask for.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "escpos_decoder.h"
#include "renderer.h"

namespace {

constexpr int kWidths[] = {384, 576, 640};
constexpr escpos::Charset kCharsets[] = {escpos::Charset::kGb18030, escpos::Charset::kGbk, escpos::Charset::kBig5,
                                         escpos::Charset::kUtf8};
// Small enough to keep each run fast, large enough for several receipts.
constexpr int kMaxHeight = 4000;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "escpos_render harness: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    escpos::RendererOptions options;
    options.width = kWidths[data[0] % 3];
    options.charset = kCharsets[data[0] / 3 % 4];
    options.nvStore.clear();  // NV images in memory only
    options.maxHeight = kMaxHeight;
    escpos::Renderer renderer(options, [&](const escpos::Paper& paper) {
        if (paper.width() != options.width) fail("a piece of another width");
        if (paper.height() > kMaxHeight) fail("a piece past the height limit");
    });
    escpos::Decoder decoder([&](const escpos::Command& command) { renderer.apply(command); });
    decoder.feed(std::span(data + 1, size - 1));
    decoder.finish();
    renderer.finish();
    return 0;
}
