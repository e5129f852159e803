#include "channel/ccomm.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "printer_fixture.h"

namespace slipdrv {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;

class CCommTest : public PrinterTest {
protected:
    CComm channel{nullptr, 0};
};

TEST_F(CCommTest, ReadResults) {
    auto& printer = com(2);
    std::uint8_t out[8] = {};
    EXPECT_EQ(channel.Read(out, 0, 50), -1) << "closed port, even for length 0";
    ASSERT_EQ(channel.Open(2, 9600), 1);
    EXPECT_EQ(channel.Read(out, 0, 50), 0);
    EXPECT_EQ(channel.Read(out, -3, 50), 0) << "a negative length wants nothing";
    EXPECT_EQ(channel.Read(out, 1, 50), -100) << "nothing arrived";
    EXPECT_EQ(channel.Read(out, 1, 5), -100) << "no poll at all";

    printer.send({0x12, 0x34, 0x56});
    const auto start = Clock::now();
    while (channel.receiveCount() < 3 && Clock::now() - start < 2s) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(channel.Read(out, 5, 50), 3) << "partial delivery";
    EXPECT_EQ(out[0], 0x12);
    EXPECT_EQ(out[2], 0x56);

    printer.send({0x77});
    while (channel.receiveCount() < 1 && Clock::now() - start < 2s) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(channel.Read(out, 1, 0), 1) << "a time-out below one poll takes what is held at once";
    EXPECT_EQ(out[0], 0x77);
}

TEST_F(CCommTest, AReadReturnsOnceTheWantedBytesArrive) {
    auto& printer = com(1);
    ASSERT_EQ(channel.Open(1, 115200), 1);
    printer.sendAfter(20ms, {0x01, 0x02});
    std::uint8_t out[2] = {};
    const auto start = Clock::now();
    EXPECT_EQ(channel.Read(out, 2, 10000), 2);
    // Far below the 10 s time-out: the read ended on arrival, not by waiting it out.
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(out[1], 0x02);
}

TEST_F(CCommTest, ABurstGrowsTheBufferInOrder) {
    auto& printer = com(3);
    ASSERT_EQ(channel.Open(3, 9600), 1);
    Bytes burst(3000);
    for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<std::uint8_t>(i * 7);
    printer.send(burst);
    const auto start = Clock::now();
    while (channel.receiveCount() < 3000 && Clock::now() - start < 5s) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(channel.receiveCount(), 3000);
    EXPECT_EQ(channel.receiveCapacity() % 1024, 0);
    EXPECT_GE(channel.receiveCapacity(), 3072);
    EXPECT_TRUE(channel.dataReady());
    Bytes got(3000);
    EXPECT_EQ(channel.Read(got.data(), 3000, 0), 3000);
    EXPECT_EQ(got, burst);
    EXPECT_FALSE(channel.dataReady());
    const auto capacity = channel.receiveCapacity();
    channel.Close();
    EXPECT_EQ(channel.receiveCapacity(), capacity) << "closing keeps the capacity";
}

TEST_F(CCommTest, WritesArriveByteForByte) {
    auto& printer = com(4);
    ASSERT_EQ(channel.Open(4, 38400), 1);
    Bytes run(70000);
    for (std::size_t i = 0; i < run.size(); ++i) run[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    EXPECT_EQ(channel.Write(run.data(), static_cast<std::uint32_t>(run.size())), 1);
    EXPECT_EQ(channel.Write(run.data(), 0), 1) << "zero bytes of zero asked";
    ASSERT_TRUE(printer.waitForReceived(run.size(), 5s));
    EXPECT_EQ(printer.received(), run);
}

TEST_F(CCommTest, OpenCloseAndReopen) {
    auto& first = com(5);
    auto& second = com(6);
    missing("SLIPDRV_COM7");
    EXPECT_EQ(channel.Open(7, 9600), 0);
    EXPECT_FALSE(channel.isOpen());

    ASSERT_EQ(channel.Open(5, 9600), 1);
    EXPECT_TRUE(channel.workerRunning() || (std::this_thread::sleep_for(50ms), channel.workerRunning()));
    ASSERT_EQ(channel.Open(6, 9600), 1) << "reopening closes the old port first";
    const Bytes text = bytesOf("to the second");
    EXPECT_EQ(channel.Write(text.data(), static_cast<std::uint32_t>(text.size())), 1);
    ASSERT_TRUE(second.waitForReceived(text.size(), 2s));
    EXPECT_TRUE(first.received().empty());

    const auto start = Clock::now();
    channel.Close();
    EXPECT_LT(Clock::now() - start, 1500ms) << "the worker stops on request, not by the 2000 ms fallback";
    EXPECT_FALSE(channel.isOpen());
    EXPECT_FALSE(channel.workerRunning());
    channel.Close();  // closing a closed channel is harmless
    std::uint8_t out;
    EXPECT_EQ(channel.Read(&out, 1, 10), -1);
    EXPECT_EQ(channel.Write(text.data(), 1), 0);
}

TEST_F(CCommTest, RepeatedOpenAndCloseLeaveNothingBehind) {
    com(8);
    ASSERT_EQ(channel.Open(8, 9600), 1);
    channel.Close();
    const int before = openDescriptors();
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(channel.Open(8, 9600), 1);
        channel.Close();
    }
    EXPECT_EQ(openDescriptors(), before);
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST_F(CCommTest, AHungUpLineFailsWritesAndCloses) {
    auto& printer = com(9);
    ASSERT_EQ(channel.Open(9, 9600), 1);
    printer.hangUp();
    std::this_thread::sleep_for(50ms);
    // The line stays readable for ever with nothing to read; the worker must
    // not keep spinning on it (a spin burns most of a core).
    const double cpuBefore = processCpuSeconds();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(processCpuSeconds() - cpuBefore, 0.2) << "CPU used over 500 ms after a hang-up";
    const Bytes text = bytesOf("lost");
    EXPECT_EQ(channel.Write(text.data(), static_cast<std::uint32_t>(text.size())), 0);
    const auto start = Clock::now();
    channel.Close();
    EXPECT_LT(Clock::now() - start, 1500ms);
}

TEST_F(CCommTest, TheReceiveCallbackRunsAfterEachBatch) {
    static std::atomic<int> calls{0};
    calls = 0;
    CComm counting([](CComm&, std::uint32_t value) { calls += static_cast<int>(value); }, 1);
    auto& printer = com(10);
    ASSERT_EQ(counting.Open(10, 9600), 1);
    printer.send({1});
    const auto start = Clock::now();
    while (calls == 0 && Clock::now() - start < 2s) std::this_thread::sleep_for(1ms);
    EXPECT_GE(calls.load(), 1);
    EXPECT_EQ(counting.receiveCount(), 1);
}

// A device whose system queue holds 32 MiB at once, as a flooding network
// printer leaves it: the worker must not size its reads by the queue.
class FloodedDevice final : public SerialDevice {
public:
    static constexpr std::uint32_t kQueued = 32u << 20;

    bool open(int) override { return open_ = true; }
    void setUp(int) override {}
    bool isOpen() const override { return open_; }
    void close() override { open_ = false; }
    void purgeInput() override {}
    bool write(const std::uint8_t*, std::uint32_t) override { return true; }
    void cancelWrites() override {}
    std::uint32_t inQueue() override { return left_; }
    std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) override {
        largestRead_ = std::max(largestRead_.load(), maximum);
        const std::uint32_t k = std::min(maximum, left_.load());
        // Each byte is its own position's low byte, counted from the end.
        for (std::uint32_t i = 0; i < k; ++i) destination[i] = static_cast<std::uint8_t>(left_ - i);
        left_ -= k;
        return k;
    }
    bool watchReceive() override { return true; }
    bool waitReceive() override {
        std::unique_lock lock(mutex_);
        if (left_ > 0) return true;
        woken_.wait(lock, [&] { return stop_; });
        stop_ = false;
        return false;
    }
    void stopWatching() override {
        std::lock_guard lock(mutex_);
        stop_ = true;
        woken_.notify_all();
    }

    std::uint32_t left() const { return left_; }
    std::uint32_t largestRead() const { return largestRead_; }

private:
    std::atomic<bool> open_{false};
    std::atomic<std::uint32_t> left_{kQueued};
    std::atomic<std::uint32_t> largestRead_{0};
    std::mutex mutex_;
    std::condition_variable woken_;
    bool stop_ = false;
};

TEST(CCommFlood, AFullSystemQueueIsReadInPiecesNoLargerThanTheHold) {
    auto owned = std::make_unique<FloodedDevice>();
    FloodedDevice& device = *owned;
    CComm channel(nullptr, 0, std::move(owned));
    ASSERT_EQ(channel.Open(1, 9600), 1);
    const auto start = Clock::now();
    while (device.left() > 0 && Clock::now() - start < 10s) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(device.left(), 0u);
    EXPECT_LE(device.largestRead(), static_cast<std::uint32_t>(ReceiveBuffer::kMostHeld));
    EXPECT_EQ(channel.receiveCount(), ReceiveBuffer::kMostHeld);
    EXPECT_EQ(channel.receiveDropped(), FloodedDevice::kQueued - ReceiveBuffer::kMostHeld);
    // The newest bytes are kept, in order: the oldest held is the 1 MiB-th from the end.
    std::uint8_t oldest[2] = {};
    ASSERT_EQ(channel.Read(oldest, 2, 0), 2);
    EXPECT_EQ(oldest[0], static_cast<std::uint8_t>(ReceiveBuffer::kMostHeld));
    EXPECT_EQ(oldest[1], static_cast<std::uint8_t>(ReceiveBuffer::kMostHeld - 1));
    channel.Close();
}

}  // namespace
}  // namespace slipdrv
