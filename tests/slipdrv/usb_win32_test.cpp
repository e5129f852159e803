// Under Wine, which has no USB printers: the Windows list is empty, and
// quickly. The USB device's Windows code runs over a named pipe standing for
// the printer (overlapped reads and writes, as on the printer's interface).
#include <windows.h>
// After windows.h.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "channel/usb_device.h"
#include "channel/usb_printer.h"

namespace slipdrv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(UsbPrinterList, WineListsNoPrintersAndAnswersQuickly) {
    const auto start = Clock::now();
    EXPECT_TRUE(makeUsbPrinterList()->list().empty());
    EXPECT_LT(Clock::now() - start, 2s);
}

class UsbDevicePipeTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int made = 0;
        name_ = "\\\\.\\pipe\\slipdrv-usb-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
        server_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                   1, 4096, 4096, 0, nullptr);
        ASSERT_NE(server_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { closeServer(); }

    // Opens the device on the pipe and lets the server take the connection.
    void connect(UsbDevice& device) {
        ASSERT_TRUE(device.open(name_));
        ASSERT_FALSE(ConnectNamedPipe(server_, nullptr));
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_CONNECTED));
    }
    void closeServer() {
        if (server_ == INVALID_HANDLE_VALUE) return;
        DisconnectNamedPipe(server_);
        CloseHandle(server_);
        server_ = INVALID_HANDLE_VALUE;
    }
    std::vector<std::uint8_t> received(std::size_t count) {
        std::vector<std::uint8_t> bytes(count);
        std::size_t got = 0;
        while (got < count) {
            DWORD n = 0;
            if (!ReadFile(server_, bytes.data() + got, static_cast<DWORD>(count - got), &n, nullptr) || n == 0) break;
            got += n;
        }
        bytes.resize(got);
        return bytes;
    }
    void send(const std::vector<std::uint8_t>& bytes) {
        DWORD n = 0;
        ASSERT_TRUE(WriteFile(server_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
        ASSERT_EQ(n, bytes.size());
    }
    // Takes what the device holds after a wake-up, until `count` bytes came.
    static std::vector<std::uint8_t> take(UsbDevice& device, std::size_t count) {
        std::vector<std::uint8_t> got;
        while (got.size() < count && device.waitReceive()) {
            std::uint8_t piece[3];
            while (const std::uint32_t n = device.readPort(piece, sizeof piece))
                got.insert(got.end(), piece, piece + n);
        }
        return got;
    }
    static void expectWaitEndsOnlyByStop(UsbDevice& device) {
        auto wait = std::async(std::launch::async, [&] { return device.waitReceive(); });
        EXPECT_EQ(wait.wait_for(200ms), std::future_status::timeout) << "the wait did not stay pending";
        device.stopWatching();
        ASSERT_EQ(wait.wait_for(2s), std::future_status::ready) << "stopWatching did not end the wait";
        EXPECT_FALSE(wait.get());
    }

    std::string name_;
    HANDLE server_ = INVALID_HANDLE_VALUE;
};

TEST_F(UsbDevicePipeTest, BytesGoToThePrinterAndItsRepliesComeBack) {
    const auto device = makeUsbDevice();
    connect(*device);
    std::vector<std::uint8_t> run;
    for (int b = 0; b < 256; ++b) run.push_back(static_cast<std::uint8_t>(b));
    ASSERT_TRUE(device->write(run.data(), static_cast<std::uint32_t>(run.size())));
    EXPECT_EQ(received(run.size()), run);

    ASSERT_TRUE(device->watchReceive());
    EXPECT_EQ(device->inQueue(), 0u);
    const std::vector<std::uint8_t> reply = {0x12, 0x00, 0x0a, 0xff, 0x7f};
    send(reply);
    EXPECT_EQ(take(*device, reply.size()), reply);
    EXPECT_EQ(device->inQueue(), 0u);
    // A stop leaves the read pending: what comes after it is not lost.
    expectWaitEndsOnlyByStop(*device);
    send({0x42});
    EXPECT_EQ(take(*device, 1), std::vector<std::uint8_t>{0x42});
    EXPECT_FALSE(device->receiveEnded());
    device->close();
}

TEST_F(UsbDevicePipeTest, AHangUpFailsWritesAndEndsReceiving) {
    const auto device = makeUsbDevice();
    connect(*device);
    ASSERT_TRUE(device->watchReceive());
    closeServer();
    EXPECT_FALSE(device->waitReceive());
    EXPECT_TRUE(device->receiveEnded());
    const std::uint8_t byte = 0x10;
    EXPECT_FALSE(device->write(&byte, 1));
    expectWaitEndsOnlyByStop(*device);
}

TEST_F(UsbDevicePipeTest, AWriteThePrinterDoesNotTakeEndsByCancelOrByTheProgressBound) {
    const struct {
        const char* name;
        WriteLimits limits;
        bool cancel;  // cancelWrites from another thread after 100 ms
        std::chrono::milliseconds earliest, latest;
    } cases[] = {
        {"cancelled", kSerialWriteLimits, true, 100ms, 1500ms},
        {"progress bound", {0, 30000, 300}, false, 300ms, 1500ms},
    };
    const std::vector<std::uint8_t> run(1 << 20, 0x55);  // far more than the pipe holds; nobody reads it
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (server_ == INVALID_HANDLE_VALUE) SetUp();
        const auto device = makeUsbDevice(c.limits);
        connect(*device);
        std::thread canceller;
        if (c.cancel)
            canceller = std::thread([&] {
                std::this_thread::sleep_for(100ms);
                device->cancelWrites();
            });
        const auto start = Clock::now();
        EXPECT_FALSE(device->write(run.data(), static_cast<std::uint32_t>(run.size())));
        const auto took = Clock::now() - start;
        if (canceller.joinable()) canceller.join();
        EXPECT_GE(took, c.earliest);
        EXPECT_LE(took, c.latest);
        if (c.cancel) {
            const std::uint8_t byte = 0x10;
            EXPECT_FALSE(device->write(&byte, 1)) << "a cancel holds until the next open";
        }
        device->close();
        closeServer();
    }
}

}  // namespace
}  // namespace slipdrv
