// The command-stream decoder on any bytes: the first input byte seeds the
// chunk sizes, the rest is the stream. Decoded whole and in random chunks, it
// must list the same commands, each starting where the one before it ended.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "escpos_decoder.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "escpos_decoder harness: %s\n", what);
    std::abort();
}

std::vector<std::string> listing(std::span<const std::uint8_t> stream, unsigned seed, bool chunked) {
    std::vector<std::string> lines;
    std::uint64_t next = 0;
    escpos::Decoder decoder([&](const escpos::Command& c) {
        // After an oversized command, only its truncation may start before the next byte.
        if (c.offset != next && !(c.kind == escpos::Kind::kTruncated && c.offset < next))
            fail("commands not contiguous");
        if (c.kind != escpos::Kind::kTruncated) next = c.offset + c.length;
        if (c.payload.size() > escpos::kMaxPayload + 16) fail("payload above the limit");
        lines.push_back(escpos::listingLine(c));
    });
    std::minstd_rand random(seed);
    while (!stream.empty()) {
        const std::size_t n = chunked ? std::min<std::size_t>(stream.size(), 1 + random() % 64) : stream.size();
        decoder.feed(stream.first(n));
        stream = stream.subspan(n);
    }
    decoder.finish();
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    if (listing(stream, data[0], false) != listing(stream, data[0], true)) fail("chunking changes the listing");
    return 0;
}
