// The serial transport of slipdrv against a virtual printer on a
// pseudo-terminal: how soon a read returns once its byte arrives, how soon a
// burst reaches the host callback, what an idle open port costs in CPU, and
// how fast BPPrintString moves 64 KB. Linux only; run by hand (see README.md),
// not by ctest.
//
// Every benchmark opens COM1 through the exports, with SLIPDRV_COM1 naming the
// printer's device, exactly as a host would; the timed figures are taken by
// hand (UseManualTime) around the step being measured, so setting up the
// printer and the port never counts.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "port_control.h"
#include "slipdrv.h"
#include "virtual_printer.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// A virtual printer attached as COM1 and the port opened on it at 9600 baud;
// closes the port and puts the library back as it was loaded on the way out.
class OpenPort {
public:
    // `beforeOpen` runs between making the printer and opening the port.
    template <typename BeforeOpen>
    explicit OpenPort(BeforeOpen&& beforeOpen) : printer_(std::make_unique<vprinter::VirtualPrinter>()) {
        setenv("SLIPDRV_COM1", printer_->devicePath().c_str(), 1);
        beforeOpen();
        opened_ = BPOpenPrinter(1, 9600) == 0;
    }
    OpenPort() : OpenPort([] {}) {}
    ~OpenPort() {
        BPClosePrinter();
        auto& lib = slipdrv::library();
        lib.hostCallback = nullptr;
        lib.delivery = 0;
        lib.active = &lib.parallel;
        unsetenv("SLIPDRV_COM1");
    }
    OpenPort(const OpenPort&) = delete;
    OpenPort& operator=(const OpenPort&) = delete;

    bool opened() const { return opened_; }
    vprinter::VirtualPrinter& printer() { return *printer_; }

private:
    std::unique_ptr<vprinter::VirtualPrinter> printer_;
    bool opened_ = false;
};

// ---------------------------------------------------------------------------
// Read: a 1-byte read whose byte the printer sends 20 ms after the call starts.
//
// The time is from the call to CComm::Read to its return (500 ms time-out).
// 20 ms of it is the printer's delay; the rest is how long the read takes to
// notice the byte: the worker's wake-up from poll, storing the byte, and the
// reader's wake-up from the receive buffer's condition variable.
// `late_max_ms` is the longest single read of the repetition minus the 20 ms.

constexpr auto kReplyDelay = 20ms;
constexpr int kReadTimeoutMs = 500;

void BM_ReadDelayedByte(benchmark::State& state) {
    OpenPort port;
    if (!port.opened()) {
        state.SkipWithError("BPOpenPrinter(1, 9600) failed");
        return;
    }
    slipdrv::CComm& channel = *slipdrv::library().serial;
    std::uint8_t next = 0x20;
    double worst = 0;
    for (auto _ : state) {
        const std::uint8_t sent = next++;
        std::uint8_t got = 0;
        port.printer().sendAfter(kReplyDelay, {sent});
        const auto start = Clock::now();
        const int result = channel.Read(&got, 1, kReadTimeoutMs);
        const auto end = Clock::now();
        if (result != 1 || got != sent) {
            state.SkipWithError("the read did not deliver the byte the printer sent");
            break;
        }
        const double elapsed = secondsBetween(start, end);
        worst = std::max(worst, elapsed);
        state.SetIterationTime(elapsed);
    }
    state.counters["late_max_ms"] = (worst - std::chrono::duration<double>(kReplyDelay).count()) * 1e3;
}
BENCHMARK(BM_ReadDelayedByte)->UseManualTime()->Iterations(25)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// Burst: 64 bytes from the printer, handed to the host callback one
// byte per call. The time is from printer.send() to the 64th call; the
// callback checks that the bytes come in the order they were sent. Besides the
// mean, each repetition reports the tail of its own iterations: `p99_us`,
// `max_us`, and `over_5ms`, how many took longer than 5 ms.

constexpr int kBurstLength = 64;

struct BurstWatch {
    std::mutex mutex;
    std::condition_variable done;
    int calls = 0;
    bool outOfOrder = false;
    Clock::time_point last;
};
BurstWatch burstWatch;

// The burst is 0x40, 0x41, ... so byte i of the burst has the value 0x40 + i.
void SLIPDRV_CALL countBurstByte(int status) {
    const auto now = Clock::now();
    std::lock_guard lock(burstWatch.mutex);
    if ((status & 0xFF) != 0x40 + burstWatch.calls) burstWatch.outOfOrder = true;
    if (++burstWatch.calls == kBurstLength) {
        burstWatch.last = now;
        burstWatch.done.notify_all();
    }
}

void BM_BurstToCallback(benchmark::State& state) {
    OpenPort port;
    if (!port.opened()) {
        state.SkipWithError("BPOpenPrinter(1, 9600) failed");
        return;
    }
    BPSetCallBackFunc(countBurstByte);
    BPEnableCallBackFunc(1);
    Bytes burst(kBurstLength);
    for (int i = 0; i < kBurstLength; ++i) burst[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0x40 + i);
    std::vector<double> times;
    for (auto _ : state) {
        {
            std::lock_guard lock(burstWatch.mutex);
            burstWatch.calls = 0;
            burstWatch.outOfOrder = false;
        }
        const auto start = Clock::now();
        port.printer().send(burst);
        std::unique_lock lock(burstWatch.mutex);
        if (!burstWatch.done.wait_for(lock, 1s, [] { return burstWatch.calls >= kBurstLength; })) {
            state.SkipWithError("the burst did not reach the callback within 1 s");
            break;
        }
        if (burstWatch.outOfOrder || burstWatch.calls != kBurstLength) {
            state.SkipWithError("the callback saw other bytes than the burst, in order");
            break;
        }
        const double elapsed = secondsBetween(start, burstWatch.last);
        times.push_back(elapsed);
        state.SetIterationTime(elapsed);
    }
    if (times.empty()) return;
    std::sort(times.begin(), times.end());
    state.counters["p99_us"] = times[times.size() * 99 / 100] * 1e6;
    state.counters["max_us"] = times.back() * 1e6;
    state.counters["over_5ms"] = static_cast<double>(times.end() - std::upper_bound(times.begin(), times.end(), 5e-3));
}
BENCHMARK(BM_BurstToCallback)->UseManualTime()->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------
// Relay: a long stream from the printer (1 MiB, 2 MiB) handed to the host
// callback one byte per call. The printer sends it in 64 KiB pieces and keeps
// at most 768 KiB ahead of the callback, under the 1 MiB the receive buffer
// holds unread (a pseudo-terminal is far faster than any printer line). The
// time is from the first send to the last call; the callback checks the
// order. `dropped` counts bytes the buffer let go, `delivered` the calls.

constexpr std::size_t kRelayAhead = 768 * 1024;
constexpr std::size_t kRelayPiece = 64 * 1024;

struct RelayWatch {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t calls = 0;
    std::size_t expected = 0;
    bool outOfOrder = false;
    Clock::time_point last;
};
RelayWatch relayWatch;

// Byte i of the stream; 251 is prime, so no run repeats at a power of two.
std::uint8_t relayByte(std::size_t i) { return static_cast<std::uint8_t>(i % 251); }

void SLIPDRV_CALL countRelayedByte(int status) {
    const auto now = Clock::now();
    std::lock_guard lock(relayWatch.mutex);
    if ((status & 0xFF) != relayByte(relayWatch.calls)) relayWatch.outOfOrder = true;
    relayWatch.last = now;
    // The benchmark's thread is woken now and then only, so that it costs the relay little.
    if (++relayWatch.calls % 4096 == 0 || relayWatch.calls == relayWatch.expected) relayWatch.changed.notify_all();
}

void BM_RelayToCallback(benchmark::State& state) {
    OpenPort port;
    if (!port.opened()) {
        state.SkipWithError("BPOpenPrinter(1, 9600) failed");
        return;
    }
    BPSetCallBackFunc(countRelayedByte);
    BPEnableCallBackFunc(1);
    const auto size = static_cast<std::size_t>(state.range(0));
    Bytes stream(size);
    for (std::size_t i = 0; i < size; ++i) stream[i] = relayByte(i);
    const slipdrv::CComm& channel = *slipdrv::library().serial;
    for (auto _ : state) {
        std::unique_lock lock(relayWatch.mutex);
        relayWatch.calls = 0;
        relayWatch.expected = size;
        relayWatch.outOfOrder = false;
        const std::uint64_t droppedBefore = channel.receiveDropped();
        const auto start = Clock::now();
        std::size_t sent = 0;
        bool quiet = false;  // no call for 2 s: the rest will not come
        while (relayWatch.calls < size && !quiet) {
            while (sent < size && sent < relayWatch.calls + kRelayAhead) {
                const std::size_t n = std::min(kRelayPiece, size - sent);
                const auto from = stream.begin() + static_cast<std::ptrdiff_t>(sent);
                lock.unlock();
                port.printer().send(Bytes(from, from + static_cast<std::ptrdiff_t>(n)));
                lock.lock();
                sent += n;
            }
            const std::size_t seen = relayWatch.calls;
            quiet = !relayWatch.changed.wait_for(lock, 2s, [&] { return relayWatch.calls != seen; });
        }
        state.SetIterationTime(secondsBetween(start, relayWatch.last));
        state.counters["delivered"] = static_cast<double>(relayWatch.calls);
        state.counters["dropped"] = static_cast<double>(channel.receiveDropped() - droppedBefore);
        if (relayWatch.outOfOrder || relayWatch.calls != size) {
            state.SkipWithError("the callback did not see the whole stream in order");
            break;
        }
    }
}
BENCHMARK(BM_RelayToCallback)
    ->Arg(1 << 20)
    ->Arg(2 << 20)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// Idle port: CPU used by the process while COM1 is open and idle for 10 s.
//
// The figure is `cpu_ms`: the process CPU clock (user + system time of every
// thread) over the sleep. The thread of the virtual printer is in the process
// too, so its share is shown apart as `printer_ms`, and the library's worker
// as `worker_ms`, both from each thread's time on the CPU in
// /proc/self/task/<tid>/schedstat; the threads are told apart by which ones
// appear when the printer is made and when the port is opened.

constexpr auto kIdleTime = 10s;

std::set<long> threadIds() {
    std::set<long> ids;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] != '.') ids.insert(std::strtol(entry->d_name, nullptr, 10));
        }
        closedir(tasks);
    }
    return ids;
}

// Nanoseconds the thread has run on a CPU; 0 when the kernel does not tell.
std::uint64_t threadRunNs(long tid) {
    std::ifstream schedstat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    std::uint64_t ns = 0;
    schedstat >> ns;
    return ns;
}

std::uint64_t runNsOf(const std::set<long>& tids) {
    std::uint64_t sum = 0;
    for (const long tid : tids) sum += threadRunNs(tid);
    return sum;
}

std::set<long> added(const std::set<long>& before, const std::set<long>& after) {
    std::set<long> fresh;
    for (const long tid : after) {
        if (!before.count(tid)) fresh.insert(tid);
    }
    return fresh;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_IdleOpenPort(benchmark::State& state) {
    for (auto _ : state) {
        const auto bare = threadIds();
        std::set<long> withPrinter;
        OpenPort port([&] { withPrinter = threadIds(); });
        if (!port.opened()) {
            state.SkipWithError("BPOpenPrinter(1, 9600) failed");
            break;
        }
        // Let the worker settle in poll before the clocks are read.
        std::this_thread::sleep_for(100ms);
        const auto printerThreads = added(bare, withPrinter);
        const auto workerThreads = added(withPrinter, threadIds());
        if (printerThreads.size() != 1 || workerThreads.size() != 1) {
            state.SkipWithError("expected one printer thread and one worker thread");
            break;
        }
        const std::uint64_t printerBefore = runNsOf(printerThreads);
        const std::uint64_t workerBefore = runNsOf(workerThreads);
        const double cpuBefore = processCpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(kIdleTime);
        const auto end = Clock::now();
        const double cpuUsed = processCpuSeconds() - cpuBefore;
        const std::uint64_t printerUsed = runNsOf(printerThreads) - printerBefore;
        const std::uint64_t workerUsed = runNsOf(workerThreads) - workerBefore;
        state.SetIterationTime(secondsBetween(start, end));
        state.counters["cpu_ms"] = cpuUsed * 1e3;
        state.counters["printer_ms"] = static_cast<double>(printerUsed) * 1e-6;
        state.counters["worker_ms"] = static_cast<double>(workerUsed) * 1e-6;
    }
}
BENCHMARK(BM_IdleOpenPort)->UseManualTime()->Iterations(1)->Repetitions(5)->Unit(benchmark::kSecond);

// ---------------------------------------------------------------------------
// PrintString: BPPrintString of a 64 KB text (65536 non-zero bytes) while the printer
// reads the line. The time is the call alone: it returns once the line has
// taken the run and the port's output queue is empty. Between calls the
// benchmark waits, untimed, until the printer has every byte, so each call
// starts on an empty line; `bytes_per_second` is then the rate of one call.

constexpr std::size_t kTextLength = 65536;

void BM_PrintString64K(benchmark::State& state) {
    OpenPort port;
    if (!port.opened()) {
        state.SkipWithError("BPOpenPrinter(1, 9600) failed");
        return;
    }
    std::string text(kTextLength, '\0');
    for (std::size_t i = 0; i < kTextLength; ++i) text[i] = static_cast<char>(1 + i % 255);
    auto& printer = port.printer();
    for (auto _ : state) {
        printer.clear();
        const auto start = Clock::now();
        const int result = BPPrintString(text.c_str());
        const auto end = Clock::now();
        if (result != 0) {
            state.SkipWithError("BPPrintString failed");
            break;
        }
        state.SetIterationTime(secondsBetween(start, end));
        if (!printer.waitForReceived(kTextLength, 5s)) {
            state.SkipWithError("the printer did not receive the whole text within 5 s");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kTextLength));
}
BENCHMARK(BM_PrintString64K)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
