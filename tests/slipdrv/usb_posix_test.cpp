// The Linux USB printer list over a made-up device tree, and the USB device
// over a pseudo-terminal standing for the printer (and over /dev/zero and
// /dev/null, which, like the usblp driver, keep no byte count).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <thread>
#include <vector>

#include "channel/platform/posix/usb_printer_list_posix.h"
#include "channel/usb_device.h"

namespace slipdrv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(UsbPrinterList, ListsTheLpNodesInNumberOrderWithTheirDeviceIds) {
    char pattern[] = "/tmp/slipdrv-usb-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::filesystem::path root = pattern;
    const struct {
        const char* node;
        bool device;                    // /dev/usb/<node> exists
        std::optional<std::string> id;  // sys/class/usbmisc/<node>/device/ieee1284_id
    } tree[] = {
        {"lp10", true, std::nullopt},  // no ID to read: listed with an empty one
        {"lp2", true, "MFG:Acme;MDL:POS-80;CMD:ESC/POS;\n"},
        {"lp1", false, "MFG:Acme;MDL:Gone;\n"},  // unplugged: its node has gone
        {"lp0", true, "MFG:Other;MDL:R-1;"},
        {"hiddev0", true, std::nullopt},
        {"lpx", true, std::nullopt},
    };
    std::filesystem::create_directories(root / "dev/usb");
    for (const auto& entry : tree) {
        if (entry.device) std::ofstream(root / "dev/usb" / entry.node).flush();
        if (!entry.id) continue;
        const auto folder = root / "sys/class/usbmisc" / entry.node / "device";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "ieee1284_id") << *entry.id;
    }
    const std::string dev = (root / "dev/usb").string();
    const std::vector<UsbPrinter> expected = {
        {dev + "/lp0", "MFG:Other;MDL:R-1;"},
        {dev + "/lp2", "MFG:Acme;MDL:POS-80;CMD:ESC/POS;"},
        {dev + "/lp10", ""},
    };
    EXPECT_EQ(makeUsbPrinterList(root.string())->list(), expected);
    EXPECT_TRUE(makeUsbPrinterList((root / "sys").string())->list().empty());
    std::filesystem::remove_all(root);
}

// A pseudo-terminal in raw mode: what the device writes arrives at the
// master unchanged, and what the master writes is the printer's reply.
class UsbDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(::grantpt(master_), 0);
        ASSERT_EQ(::unlockpt(master_), 0);
        path_ = ::ptsname(master_);
        // Held open so that the line's settings stay while the device reopens it.
        slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave_, 0);
        termios raw{};
        ASSERT_EQ(::tcgetattr(slave_, &raw), 0);
        ::cfmakeraw(&raw);
        ASSERT_EQ(::tcsetattr(slave_, TCSANOW, &raw), 0);
    }
    void TearDown() override {
        closeMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // What the master has received, waiting up to a second for `count` bytes.
    std::vector<std::uint8_t> received(std::size_t count) {
        std::vector<std::uint8_t> bytes;
        const auto deadline = Clock::now() + 1s;
        while (bytes.size() < count && Clock::now() < deadline) {
            std::uint8_t piece[4096];
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::read(master_, piece, sizeof piece);
            if (n > 0) bytes.insert(bytes.end(), piece, piece + n);
        }
        return bytes;
    }

    // A waitReceive in another thread: it must still be pending after a
    // while, and end (false) soon after stopWatching.
    static void expectWaitEndsOnlyByStop(UsbDevice& device) {
        auto wait = std::async(std::launch::async, [&] { return device.waitReceive(); });
        EXPECT_EQ(wait.wait_for(200ms), std::future_status::timeout) << "the wait did not stay pending";
        device.stopWatching();
        ASSERT_EQ(wait.wait_for(2s), std::future_status::ready) << "stopWatching did not end the wait";
        EXPECT_FALSE(wait.get());
    }

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

TEST_F(UsbDeviceTest, BytesGoToThePrinterAndItsRepliesComeBack) {
    const auto device = makeUsbDevice();
    ASSERT_TRUE(device->open(path_));
    std::vector<std::uint8_t> run;
    for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 256; ++b) run.push_back(static_cast<std::uint8_t>(b));
    ASSERT_TRUE(device->write(run.data(), static_cast<std::uint32_t>(run.size())));
    EXPECT_EQ(received(run.size()), run);

    ASSERT_TRUE(device->watchReceive());
    const std::uint8_t reply[] = {0x12, 0x00, 0x0a, 0xff};
    ASSERT_EQ(::write(master_, reply, sizeof reply), static_cast<ssize_t>(sizeof reply));
    ASSERT_TRUE(device->waitReceive());
    std::vector<std::uint8_t> got;
    for (const auto deadline = Clock::now() + 1s; got.size() < sizeof reply && Clock::now() < deadline;) {
        EXPECT_GT(device->inQueue(), 0u);
        std::uint8_t piece[16];
        const std::uint32_t n = device->readPort(piece, sizeof piece);
        got.insert(got.end(), piece, piece + n);
    }
    EXPECT_EQ(got, std::vector<std::uint8_t>(reply, reply + sizeof reply));
    EXPECT_EQ(device->inQueue(), 0u);
    EXPECT_FALSE(device->receiveEnded());
    expectWaitEndsOnlyByStop(*device);
}

TEST_F(UsbDeviceTest, AHangUpFailsWritesAndEndsReceiving) {
    const auto device = makeUsbDevice();
    ASSERT_TRUE(device->open(path_));
    ASSERT_TRUE(device->watchReceive());
    closeMaster();
    EXPECT_FALSE(device->waitReceive());
    EXPECT_TRUE(device->receiveEnded());
    const std::uint8_t byte = 0x10;
    EXPECT_FALSE(device->write(&byte, 1));
    // Hung up, the device stays ready with nothing to read: no spinning.
    expectWaitEndsOnlyByStop(*device);
}

TEST_F(UsbDeviceTest, AWriteTheLineDoesNotTakeEndsByCancelOrByTheProgressBound) {
    const struct {
        const char* name;
        WriteLimits limits;
        bool cancel;  // cancelWrites from another thread after 100 ms
        std::chrono::milliseconds earliest, latest;
    } cases[] = {
        {"cancelled", kSerialWriteLimits, true, 100ms, 1500ms},
        {"progress bound", {0, 30000, 300}, false, 300ms, 1500ms},
    };
    const std::vector<std::uint8_t> run(1 << 20, 0x55);  // far more than the line holds; nobody reads it
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto device = makeUsbDevice(c.limits);
        ASSERT_TRUE(device->open(path_));
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
        ::tcflush(slave_, TCIOFLUSH);
    }
}

// Like the usblp driver, /dev/zero and /dev/null keep no byte count: once
// readable the device says bytes may be waiting, and the read tells what came.
TEST(UsbDeviceWithoutAByteCount, ReadsWhatCameAndTakesAnEmptyReadAsTheEnd) {
    const auto device = makeUsbDevice();
    std::uint8_t piece[64];

    ASSERT_TRUE(device->open("/dev/zero"));
    ASSERT_TRUE(device->watchReceive());
    EXPECT_EQ(device->inQueue(), 0u) << "nothing is said to wait before the device was seen readable";
    ASSERT_TRUE(device->waitReceive());
    EXPECT_GT(device->inQueue(), 0u);
    EXPECT_EQ(device->readPort(piece, sizeof piece), sizeof piece);
    EXPECT_FALSE(device->receiveEnded());

    ASSERT_TRUE(device->open("/dev/null"));
    ASSERT_TRUE(device->watchReceive());
    ASSERT_TRUE(device->waitReceive());
    EXPECT_GT(device->inQueue(), 0u);
    EXPECT_EQ(device->readPort(piece, sizeof piece), 0u);
    EXPECT_TRUE(device->receiveEnded());
    EXPECT_EQ(device->inQueue(), 0u);
    const std::uint8_t byte = 0x10;
    EXPECT_FALSE(device->write(&byte, 1));
    auto wait = std::async(std::launch::async, [&] { return device->waitReceive(); });
    EXPECT_EQ(wait.wait_for(200ms), std::future_status::timeout) << "the wait did not stay pending";
    device->stopWatching();
    ASSERT_EQ(wait.wait_for(2s), std::future_status::ready);
    EXPECT_FALSE(wait.get());
}

}  // namespace
}  // namespace slipdrv
