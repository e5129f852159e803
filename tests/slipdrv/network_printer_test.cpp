// A network printer in place of a COM port (SLIPDRV_COM<n>=tcp://HOST:PORT),
// against virtual printers behind TCP ports on 127.0.0.1: the serial
// channel's behaviour must hold on the socket.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "channel/ccomm.h"
#include "channel/com_port.h"
#include "channel/network_printer.h"
#include "channel/socket_device.h"
#include "port_control.h"
#include "printer_fixture.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;

class NetworkPrinterTest : public PrinterTest {};

Bytes pattern(std::size_t size) {
    Bytes bytes(size);
    // No zero byte: the runs also go through BPPrintString.
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(1 + (i * 7 + i / 251) % 255);
    return bytes;
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

bool endsWith(const Bytes& got, const Bytes& tail) {
    return got.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), got.rbegin());
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 3s) {
    const auto start = Clock::now();
    while (!condition() && Clock::now() - start < timeout) std::this_thread::sleep_for(1ms);
    return condition();
}

// A loopback port that refuses connections for as long as the object lives:
// bound, so nobody else takes it, but not listening.
class RefusingPort {
public:
    RefusingPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(fd_); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::uint16_t port() const { return port_; }

private:
    int fd_;
    std::uint16_t port_ = 0;
};

// A network printer that misbehaves in one of the ways printers and their
// networks do, on a loopback port; it serves one connection at a time until
// it goes. Its receive buffer is small, so the system holds little for it.
class HostilePrinter {
public:
    enum class Manner {
        kDrips,       // takes 256 bytes every 20 ms, far below the pace of a 9600-baud line
        kNeverReads,  // accepts the connection and reads nothing
        kHalfCloses,  // ends its side of the stream at once, then reads everything
        kFloods,      // sends 16 MiB as fast as the connection takes it, and reads what comes
    };

    explicit HostilePrinter(Manner manner)
        : manner_(manner), listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const int small = 4096;
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address), size) == 0 && ::listen(listener_, 4) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~HostilePrinter() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    HostilePrinter(const HostilePrinter&) = delete;
    HostilePrinter& operator=(const HostilePrinter&) = delete;

    std::string address() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    std::size_t received() const { return received_; }
    std::size_t sent() const { return sent_; }
    // Closes the connection altogether (a half-closed printer that now goes
    // away) and returns once it is closed.
    void closeConnection() {
        closeRequested_ = true;
        while (!closed_) std::this_thread::sleep_for(1ms);
    }

private:
    static bool waitFor(int fd, short events) {
        pollfd p{fd, events, 0};
        return ::poll(&p, 1, 10) > 0;
    }

    void run() {
        while (!stop_) {
            if (!waitFor(listener_, POLLIN)) continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) continue;
            if (manner_ == Manner::kHalfCloses) ::shutdown(fd, SHUT_WR);
            serve(fd);
            ::close(fd);
            closed_ = closeRequested_.load();
        }
    }

    void serve(int fd) {
        std::vector<std::uint8_t> chunk(64 * 1024, 0x5A);
        while (!stop_ && !(closeRequested_ && manner_ == Manner::kHalfCloses)) {
            switch (manner_) {
                case Manner::kNeverReads:
                    std::this_thread::sleep_for(10ms);
                    continue;
                case Manner::kDrips:
                    std::this_thread::sleep_for(20ms);
                    if (!take(fd, 256)) return;
                    continue;
                case Manner::kHalfCloses:
                    if (waitFor(fd, POLLIN) && !take(fd, chunk.size())) return;
                    continue;
                case Manner::kFloods:
                    if (sent_ >= kFlood) {
                        waitFor(fd, POLLIN);
                    } else if (waitFor(fd, POLLOUT)) {
                        const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
                        if (n < 0 && errno != EAGAIN) return;
                        if (n > 0) sent_ += static_cast<std::size_t>(n);
                    }
                    if (!take(fd, chunk.size())) return;
                    continue;
            }
        }
    }

    // Reads at most `most` bytes of what is waiting; false once the host has gone.
    bool take(int fd, std::size_t most) {
        std::vector<std::uint8_t> sink(most);
        const ssize_t n = ::recv(fd, sink.data(), most, MSG_DONTWAIT);
        if (n == 0) return false;
        if (n > 0) received_ += static_cast<std::size_t>(n);
        return n > 0 || errno == EAGAIN;
    }

    static constexpr std::size_t kFlood = 16u << 20;

    Manner manner_;
    int listener_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closeRequested_{false};
    std::atomic<bool> closed_{false};
    std::atomic<std::size_t> received_{0};
    std::atomic<std::size_t> sent_{0};
    std::thread thread_;
};

TEST_F(NetworkPrinterTest, OpensByAddressOrNameAndLeavesNothingBehind) {
    auto& printer = network(3);
    const std::string port = ":" + std::to_string(printer.tcpPort());
    for (const std::string host : {"tcp://127.0.0.1", "tcp://localhost"}) {
        SCOPED_TRACE(host);
        setting("SLIPDRV_COM3", host + port);
        ASSERT_EQ(BPOpenPrinter(3, 9600), 0);
        EXPECT_EQ(BPClosePrinter(), 0);
    }
    // The printer runs in this process: it holds each connection until it
    // sees the end of it, so the count is compared once it has caught up.
    const int before = openDescriptors();
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(BPOpenPrinter(3, 115200), 0);
        ASSERT_EQ(BPClosePrinter(), 0);
    }
    EXPECT_TRUE(waitUntil([&] { return printer.connections() == 22; })) << printer.connections();
    EXPECT_TRUE(waitUntil([&] { return openDescriptors() <= before; })) << openDescriptors() << " > " << before;
}

// Each refusal gives -1 without waiting out the connect time-out; one refused
// for its baud rate never reaches the printer.
TEST_F(NetworkPrinterTest, RefusedOpens) {
    auto& printer = network(4);
    const RefusingPort refusing;
    ASSERT_NE(refusing.port(), 0);
    const std::string listening = "tcp://127.0.0.1:" + std::to_string(printer.tcpPort());
    const struct {
        const char* why;
        std::string value;
        int baud;
    } cases[] = {
        {"nothing listening", "tcp://127.0.0.1:" + std::to_string(refusing.port()), 9600},
        {"no port", "tcp://127.0.0.1", 9600},
        {"a port out of range", "tcp://127.0.0.1:65536", 9600},
        {"an unclosed bracket", "tcp://[::1:9100", 9600},
        {"a baud rate below 2400", listening, 2399},
        {"a baud rate above 115200", listening, 115201},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        setting("SLIPDRV_COM4", c.value);
        const auto start = Clock::now();
        EXPECT_EQ(BPOpenPrinter(4, c.baud), -1);
        EXPECT_LT(Clock::now() - start, 2s);
        EXPECT_FALSE(library().com.current.load()->isOpen());
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(printer.connections(), 0u);
}

// A print arrives byte for byte; a status query discards what came before it
// and reads its reply.
TEST_F(NetworkPrinterTest, PrintsAndAnswersQueries) {
    auto& printer = network(1);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    const Bytes run = pattern(70000);
    const std::string text(run.begin(), run.end());
    EXPECT_EQ(BPPrintString(text.c_str()), 0);
    ASSERT_TRUE(printer.waitForReceived(run.size(), 5s)) << printer.received().size();
    EXPECT_EQ(printer.received(), run);

    printer.send({0x12});  // unasked: would pass the query's test
    ASSERT_TRUE(waitUntil([] { return library().com.network->pump().count() == 1; }));
    printer.replyTo({0x10, 0x04, 0x01}, {0x16});
    EXPECT_EQ(BPRealtimeGetStatus(1), 0x16);
}

std::mutex seenMutex;
std::vector<int> seen;

void SLIPDRV_CALL recordStatus(int status) {
    std::lock_guard lock(seenMutex);
    seen.push_back(status & 0xFF);
}

TEST_F(NetworkPrinterTest, RelaysWhatThePrinterSendsToTheCallback) {
    {
        std::lock_guard lock(seenMutex);
        seen.clear();
    }
    auto& printer = network(2);
    ASSERT_EQ(BPSetCallBackFunc(recordStatus), 0);
    ASSERT_EQ(BPEnableCallBackFunc(1), 0);
    ASSERT_EQ(BPOpenPrinter(2, 19200), 0);
    const Bytes burst = pattern(3000);
    printer.send(burst);
    const auto all = [&] {
        std::lock_guard lock(seenMutex);
        return seen.size() >= burst.size();
    };
    EXPECT_TRUE(waitUntil(all));
    std::lock_guard lock(seenMutex);
    EXPECT_EQ(seen, std::vector<int>(burst.begin(), burst.end()));
    BPEnableCallBackFunc(0);
}

// The printer closes the connection while the port is idle, or part-way
// through a print (which then fails long before the write bounds): the worker
// sleeps instead of spinning, prints fail, the port closes at once and opens
// again.
TEST_F(NetworkPrinterTest, APrinterClosingTheConnectionIsAHangUp) {
    for (const bool midJob : {false, true}) {
        SCOPED_TRACE(midJob ? "part-way through a print" : "while idle");
        auto& printer = network(5);
        ASSERT_EQ(BPOpenPrinter(5, 9600), 0);
        if (midJob) {
            printer.onReceive([&](std::span<const std::uint8_t>) { printer.hangUp(); });
            const std::string job(1 << 20, 'j');
            const auto start = Clock::now();
            EXPECT_EQ(BPPrintString(job.c_str()), -1);
            EXPECT_LT(Clock::now() - start, 10s);
        } else {
            ASSERT_TRUE(waitUntil([&] { return printer.connections() == 1; }));
            printer.hangUp();
        }
        std::this_thread::sleep_for(50ms);
        const double cpuBefore = processCpuSeconds();
        std::this_thread::sleep_for(500ms);
        EXPECT_LT(processCpuSeconds() - cpuBefore, 0.2) << "CPU used over 500 ms after the hang-up";
        // Short enough to fit the system's buffers: only the connection's state can fail it.
        EXPECT_EQ(BPPrintString("lost"), -1);

        const auto closing = Clock::now();
        EXPECT_EQ(BPClosePrinter(), 0);
        EXPECT_LT(Clock::now() - closing, 1500ms) << "the worker stops on request";
        printer.onReceive(nullptr);
        ASSERT_EQ(BPOpenPrinter(5, 9600), 0);
        EXPECT_EQ(BPPrintString("again"), 0);
        EXPECT_TRUE(waitUntil([&] { return endsWith(printer.received(), bytesOf("again")); }));
        resetLibrary();
    }
}

// A printer that stops reading: the write fails once nothing has moved for
// the progress bound (shortened here), long before the total bound of 100 ms
// per byte. The connection is reset, so the printer never gets the rest of
// the run when it reads again, and the port must be opened again.
TEST_F(NetworkPrinterTest, APrinterThatStopsReadingFailsTheWriteAtTheProgressBound) {
    constexpr std::uint32_t kProgressBoundMs = 300;
    auto& printer = network(6);
    NetworkPrinter comm(nullptr, {.msPerByte = kNetworkWriteLimits.msPerByte, .progressBoundMs = kProgressBoundMs});
    const auto address = parseTcpAddress(comPortSetting(6));
    ASSERT_TRUE(address);
    ASSERT_TRUE(comm.open(*address));
    printer.stopReadingAfter(1000);
    const Bytes run = pattern(4 << 20);
    const auto start = Clock::now();
    EXPECT_FALSE(comm.write(run, 0));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(kProgressBoundMs));
    EXPECT_LT(took, 10s);
    EXPECT_FALSE(comm.write(std::span(run).first(1), 0)) << "the connection was reset";

    ASSERT_TRUE(printer.waitForReceived(1000, 2s));
    const std::size_t whenStopped = printer.received().size();
    printer.setReading(true);
    std::this_thread::sleep_for(300ms);
    // At most what had reached the printer's own buffer before the reset;
    // without it, what the host still held would follow.
    const Bytes got = printer.received();
    EXPECT_LT(got.size() - whenStopped, std::size_t{kSendBufferBytes});
    EXPECT_EQ(got, Bytes(run.begin(), run.begin() + static_cast<std::ptrdiff_t>(got.size())));

    comm.close();
    ASSERT_TRUE(comm.open(*address));
    const Bytes again = bytesOf("again");
    EXPECT_TRUE(comm.write(again, 0));
    EXPECT_TRUE(waitUntil([&] { return endsWith(printer.received(), again); }));
}

// A printer that takes a trickle keeps a print going past the progress bound
// (both bounds shortened here, on a channel of the test's own): what it
// acknowledges is progress. The total bound then ends the print.
TEST_F(NetworkPrinterTest, APrinterTakingATrickleFailsTheWriteAtTheTotalBound) {
    constexpr auto kTotal = 2000ms;
    HostilePrinter printer(HostilePrinter::Manner::kDrips);
    NetworkPrinter comm(
        nullptr, {.msPerByte = 0, .constantMs = static_cast<std::uint32_t>(kTotal.count()), .progressBoundMs = 500});
    const auto address = parseTcpAddress(printer.address());
    ASSERT_TRUE(address);
    ASSERT_TRUE(comm.open(*address));
    const Bytes run = pattern(4 << 20);
    const auto start = Clock::now();
    EXPECT_FALSE(comm.write(run, 0));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, kTotal);
    EXPECT_LT(took, kTotal + 3s);
    comm.close();
}

// A print that waits on a printer that has stopped taking bytes holds the
// export lock; closing from another thread ends it at once instead of
// waiting out the 30 s progress bound, on a network printer and on a COM port.
TEST_F(NetworkPrinterTest, ClosingFromAnotherThreadEndsAWaitingPrint) {
    for (const bool network : {true, false}) {
        SCOPED_TRACE(network ? "network printer" : "COM port");
        std::unique_ptr<HostilePrinter> silent;
        if (network) {
            silent = std::make_unique<HostilePrinter>(HostilePrinter::Manner::kNeverReads);
            setting("SLIPDRV_COM8", silent->address());
        } else {
            com(8).stopReadingAfter(1000);
        }
        ASSERT_EQ(BPOpenPrinter(8, 9600), 0);
        const std::string job(4 << 20, 'j');
        auto print = std::async(std::launch::async, [&] { return BPPrintString(job.c_str()); });
        ASSERT_EQ(print.wait_for(500ms), std::future_status::timeout) << "the print did not wait";
        const auto closing = Clock::now();
        EXPECT_EQ(BPClosePrinter(), 0);
        EXPECT_LT(Clock::now() - closing, 3s);
        ASSERT_EQ(print.wait_for(3s), std::future_status::ready);
        EXPECT_EQ(print.get(), -1);
        EXPECT_FALSE(library().com.current.load()->isOpen());
        resetLibrary();
    }
}

// A printer that ends its side of the stream but keeps reading has only said
// it sends nothing more: prints go on, a read ends at once, and once it goes
// away altogether the next print fails rather than vanishing.
TEST_F(NetworkPrinterTest, AHalfClosedPrinterIsStillPrintedTo) {
    HostilePrinter printer(HostilePrinter::Manner::kHalfCloses);
    setting("SLIPDRV_COM9", printer.address());
    ASSERT_EQ(BPOpenPrinter(9, 9600), 0);
    int printed = 0;
    for (int i = 0; i < 100; ++i) printed += BPPrintString("Table 7  35.50\n") == 0 ? 1 : 0;
    EXPECT_EQ(printed, 100);
    EXPECT_TRUE(waitUntil([&] { return printer.received() == 100 * 15; })) << printer.received();

    EXPECT_EQ(BPRealtimeGetStatus(1), -1);
    std::uint8_t reply = 0;
    const auto start = Clock::now();
    EXPECT_EQ(library().com.network->pump().read(&reply, 1, 10000), -100);
    EXPECT_LT(Clock::now() - start, 5s) << "the read waited for bytes that cannot come";

    // The system takes the print at once; only the printer's acknowledgement, or its reset, tells whether it was read.
    printer.closeConnection();
    EXPECT_EQ(BPPrintString("lost"), -1);
}

// A printer that floods the line: the host keeps the newest 1 MiB, reads the
// rest away in bounded pieces, and still prints.
TEST_F(NetworkPrinterTest, AFloodingPrinterCostsTheHoldAndNoMore) {
    HostilePrinter printer(HostilePrinter::Manner::kFloods);
    setting("SLIPDRV_COM10", printer.address());
    ASSERT_EQ(BPOpenPrinter(10, 9600), 0);
    ASSERT_TRUE(waitUntil([&] { return printer.sent() > (8u << 20); }, 10s)) << printer.sent();
    EXPECT_TRUE(waitUntil([] { return library().com.network->pump().count() == ReceiveBuffer::kMostHeld; }));
    EXPECT_GT(library().com.network->pump().dropped(), 0u);
    EXPECT_EQ(BPPrintString("still printing"), 0);
    EXPECT_TRUE(waitUntil([&] { return printer.received() >= 14; }));
}

}  // namespace
}  // namespace slipdrv
