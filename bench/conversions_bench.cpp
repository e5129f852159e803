// Throughput of the text side of an announcement: reading a value field,
// turning a money amount into its capital-numeral reading, and the same for a
// 16-bit whole number. Run by hand (see README.md), not by ctest.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "capital_numerals.h"
#include "exact_decimal.h"

namespace {

using vocalcue::ExactDecimal;

// Representative amounts: a typical bill, a twelve-digit amount with cents, a
// thirteen-digit one (the longest whose "##0.00" text still fits the sixteen
// positions the reading covers), and one with more than two decimals, which
// has to be rounded first.
struct AmountCase {
    const char* name;
    std::u16string_view text;
};

constexpr std::array<AmountCase, 4> kAmounts = {{
    {"35.50", u"35.50"},
    {"123456789012.34", u"123456789012.34"},
    {"1234567890123.45", u"1234567890123.45"},
    {"35.505", u"35.505"},
}};

void BM_ParseAmount(benchmark::State& state) {
    const std::u16string_view text = kAmounts[static_cast<std::size_t>(state.range(0))].text;
    state.SetLabel(kAmounts[static_cast<std::size_t>(state.range(0))].name);
    for (auto _ : state) {
        auto parsed = ExactDecimal::parse(text);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseAmount)->DenseRange(0, kAmounts.size() - 1);

void BM_BigMoney(benchmark::State& state) {
    const AmountCase& amount = kAmounts[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(amount.name);
    // Parsed once outside the loop: this measures the reading alone.
    const vocalcue::MoneyAmount money = ExactDecimal::parse(amount.text);
    if (!money) {
        state.SkipWithError("amount did not parse");
        return;
    }
    for (auto _ : state) {
        auto reading = vocalcue::f_getbigmoney(money);
        benchmark::DoNotOptimize(reading);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BigMoney)->DenseRange(0, kAmounts.size() - 1);

// One iteration reads every 16-bit value once, so items/s is numbers read per second.
void BM_BigNumberSweep(benchmark::State& state) {
    constexpr int kCount = 65536;
    for (auto _ : state) {
        for (int n = INT16_MIN; n <= INT16_MAX; ++n) {
            auto reading = vocalcue::f_getbignumber(static_cast<std::int16_t>(n));
            benchmark::DoNotOptimize(reading);
        }
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_BigNumberSweep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
