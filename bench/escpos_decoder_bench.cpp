// The command-stream decoder: a receipt of about 3 KB (Chinese heading, item
// lines, a logo in ESC * bands, a barcode, a cut) and a stream of 8 MB made of
// such receipts, decoded with a sink that only counts. Then the same receipt
// decoded and rendered to paper by a renderer made afresh each time, as
// receipt-render does for a file (the fonts and their glyphs are kept for the
// process). Run by hand (see README.md).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "escpos_decoder.h"
#include "renderer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t LF = 0x0A, ESC = 0x1B, FS = 0x1C, GS = 0x1D;

void add(Bytes& out, std::initializer_list<std::uint8_t> bytes) { out.insert(out.end(), bytes); }
void add(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

Bytes receipt() {
    Bytes r;
    add(r, {ESC, '@', ESC, 'a', 1});
    // A 200 x 72-dot logo: three 24-dot bands.
    for (int band = 0; band < 3; ++band) {
        add(r, {ESC, '*', 33, 200, 0});
        for (int i = 0; i < 600; ++i) r.push_back(static_cast<std::uint8_t>(i * 37 + band));
        add(r, {ESC, 'J', 24});
    }
    // A Chinese heading in GB2312 (the venue's name, twice as large).
    add(r, {FS, '&', FS, '!', 0x0C});
    add(r, "\xBB\xB6\xD3\xAD\xB9\xE2\xC1\xD9\xD6\xD0\xB2\xCD\xCC\xFC");
    add(r, {LF, FS, '!', 0x00, FS, '.', ESC, 'a', 0, ESC, 'D', 24, 32, 0});
    for (int i = 0; i < 36; ++i) {
        add(r, {ESC, '!', static_cast<std::uint8_t>(i % 3 == 0 ? 0x08 : 0x00)});
        add(r, "Item ");
        r.push_back(static_cast<std::uint8_t>('A' + i));
        add(r, " fried rice\t2\t");
        add(r, "\xC3\xD7\xB7\xB9 25.50");
        r.push_back(LF);
    }
    add(r, {ESC, 'a', 2, GS, '!', 0x11});
    add(r, "TOTAL 612.00");
    add(r, {LF, GS, '!', 0x00, ESC, 'a', 1, GS, 'h', 80, GS, 'w', 2, GS, 'H', 2, GS, 'k', 73, 14});
    add(r, "{B202612080001");
    add(r, {LF, ESC, 'd', 4, GS, 'V', 66, 0});
    return r;
}

void decode(benchmark::State& state, const Bytes& stream) {
    std::uint64_t commands = 0;
    escpos::Decoder decoder([&](const escpos::Command& c) { commands += c.argumentCount + 1; });
    for (auto _ : state) {
        decoder.feed(stream);
        decoder.finish();
        benchmark::DoNotOptimize(commands);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.SetLabel(std::to_string(stream.size()) + " bytes");
}

void BM_DecodeReceipt(benchmark::State& state) { decode(state, receipt()); }

void BM_DecodeLargeStream(benchmark::State& state) {
    const Bytes one = receipt();
    Bytes stream;
    while (stream.size() < (std::size_t{8} << 20)) stream.insert(stream.end(), one.begin(), one.end());
    decode(state, stream);
}

void BM_RenderReceipt(benchmark::State& state) {
    const Bytes stream = receipt();
    int rows = 0;
    for (auto _ : state) {
        escpos::Renderer renderer({576, "", 100000}, [&](const escpos::Paper& paper) { rows += paper.height(); });
        escpos::Decoder decoder([&](const escpos::Command& command) { renderer.apply(command); });
        decoder.feed(stream);
        decoder.finish();
        renderer.finish();
        benchmark::DoNotOptimize(rows);
    }
    state.SetLabel(std::to_string(stream.size()) + " bytes");
}

BENCHMARK(BM_DecodeReceipt);
BENCHMARK(BM_RenderReceipt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLargeStream)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
