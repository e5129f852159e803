// From the cut to the last byte at the printer through a printer queue: the
// time one receipt takes to reach the printer after BPSelectCutPaper, measured
// by watching the file a virtual printer records into. The same program runs
// on Linux (CUPS) and, built for Windows, under Wine (Wine's spooler hands the
// job to CUPS). With --lp it times `lp -o raw` of the same bytes instead, from
// its start, for comparison (Linux only).
//
//   queue_latency QUEUE RECORD RUNS [--lp]
// Prints each run's milliseconds, then the median.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "slipdrv.h"

namespace {

using Clock = std::chrono::steady_clock;

// A receipt of the usual size: a title, twenty bill lines, a total.
std::string receipt(int run) {
    std::string text = "\x1b@\x1b\x61\x01Table 7\n\x1b\x61\x00";
    for (int i = 0; i < 20; ++i) text += "Line " + std::to_string(i) + " of run " + std::to_string(run) + "   12.50\n";
    return text + "Total                 250.00\n\n\n";
}

std::uintmax_t recorded(const std::filesystem::path& record) {
    std::error_code error;
    const auto size = std::filesystem::file_size(record, error);
    return error ? 0 : size;
}

// Waits until the record holds `size` bytes; false after 30 s.
bool waitFor(const std::filesystem::path& record, std::uintmax_t size) {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (recorded(record) < size) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: queue_latency QUEUE RECORD RUNS [--lp]\n");
        return 2;
    }
    const std::string queue = argv[1];
    const std::filesystem::path record = argv[2];
    const int runs = std::atoi(argv[3]);
    const bool lp = argc > 4 && std::string(argv[4]) == "--lp";
    const std::string cut = "\x1dVB";  // GS V 66 0 as BPSelectCutPaper(66, 0) sends it, with its zero
    if (!lp && BPOpenPrinterByName(("printer:" + queue).c_str()) != 0) {
        std::fprintf(stderr, "queue_latency: printer:%s does not open\n", queue.c_str());
        return 1;
    }
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const std::string text = receipt(run);
        const std::uintmax_t expected = recorded(record) + text.size() + cut.size() + 1;
        Clock::time_point start;
        if (lp) {
            const std::filesystem::path file = std::filesystem::temp_directory_path() / "queue_latency.bin";
            std::ofstream(file, std::ios::binary) << text << cut << '\0';
            const std::string command = "lp -d '" + queue + "' -o raw '" + file.string() + "' >/dev/null";
            start = Clock::now();
            if (std::system(command.c_str()) != 0) return 1;  // NOLINT(concurrency-mt-unsafe)
        } else {
            if (BPPrintString(text.c_str()) != 0) return 1;
            start = Clock::now();
            if (BPSelectCutPaper(66, 0) != 0) return 1;
        }
        if (!waitFor(record, expected)) {
            std::fprintf(stderr, "queue_latency: run %d: %ju of %ju bytes arrived\n", run, recorded(record), expected);
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::printf("run %2d: %7.1f ms\n", run + 1, times.back());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!lp) BPClosePrinter();
    std::sort(times.begin(), times.end());
    std::printf("median %.1f ms of %d runs\n", times[times.size() / 2], runs);
    return 0;
}
