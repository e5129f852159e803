// BPPrintRowUTF8 on a 40-row bill into an in-memory channel: what laying out,
// converting and handing over one row costs, in each character set. Set
// beside the line it is far below what the bytes take on a 9600-baud serial
// line (about 1 ms a byte, so 30-50 ms a row). Run by hand (see README.md).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "recording_channel.h"
#include "slipdrv.h"

namespace {

// A venue's bill: table time, snacks and drinks, discounts, totals; mixed
// Chinese and ASCII, some texts long enough to wrap.
std::vector<std::string> billRows() {
    const char* const items[] = {
        "台费 (3号台, 14:05-15:30)\t1.5小时\t35.50元",
        "可乐\t2\t6.00元",
        "矿泉水\t1\t2.00元",
        "会员折扣 (八折优惠, 周一至周五全天有效)\t\t-7.10元",
        "Snacks: crisps & nuts\t3\t15.00元",
        "茶水\t1\t0.00元",
        "球杆租用 Cue hire\t1\t10.00元",
        "合计\t\t61.40元",
    };
    std::vector<std::string> rows;
    for (int i = 0; i < 40; ++i) rows.emplace_back(items[i % 8]);
    return rows;
}

void BM_BillOf40Rows(benchmark::State& state) {
    using namespace slipdrv::testing;
    RecordingChannel channel(ChannelKind::kSerial);
    slipdrv::library().active = &channel;
    BPSetTextEncoding(static_cast<int>(state.range(0)));
    const auto rows = billRows();
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const auto& row : rows)
            if (BPPrintRowUTF8(row.c_str(), "24L,8C,16R") != 0) state.SkipWithError("a row was refused");
        bytes += channel.written().size();
        channel.clear();
    }
    state.counters["row"] = benchmark::Counter(static_cast<double>(state.iterations()) * 40,
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bytes_per_row"] = static_cast<double>(bytes) / (static_cast<double>(state.iterations()) * 40);
    resetLibrary();
}
BENCHMARK(BM_BillOf40Rows)->ArgName("encoding")->DenseRange(0, 3);

}  // namespace

BENCHMARK_MAIN();
