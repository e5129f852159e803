// The real Windows code of slipdrv.dll under wine64, against virtual printers
// on pseudo-terminals that run on the Linux side. COM1, COM2 and LPT1 are
// mapped to them; COM3 is a network printer (SLIPDRV_COM3=tcp://...) behind a
// TCP port, its files named NET. Each printer takes commands through a
// control FIFO and records what it receives in a file (printer-<port>.control
// and .record in the folder named by SLIPDRV_WINE_DIR). The exports are bound
// by name, as hosts bind them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channel/ccomm.h"
#include "channel/com_port.h"
#include "channel/network_printer.h"
#include "slipdrv_export_list.h"
#include "image_test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string folder() {
    const char* dir = std::getenv("SLIPDRV_WINE_DIR");
    return dir ? dir : "";
}

// A virtual printer on the Linux side, reached through its files.
class RemotePrinter {
public:
    // Named "printer-COM1..." because a file named after a device (COM1.x) is that device.
    explicit RemotePrinter(std::string port) : base_(folder() + "\\printer-" + port) { clear(); }

    void command(const std::string& line) {
        FILE* control = std::fopen((base_ + ".control").c_str(), "ab");
        ASSERT_NE(control, nullptr) << "control FIFO of " << base_;
        std::fprintf(control, "%s\n", line.c_str());
        std::fclose(control);
    }
    static std::string hex(const Bytes& bytes) {
        std::string out;
        char cell[3];
        for (auto b : bytes) std::snprintf(cell, sizeof cell, "%02x", b), out += cell;
        return out;
    }
    void send(const Bytes& bytes) { command("send " + hex(bytes)); }
    // The printer reads its FIFO on its own thread: give it time to take the
    // rule before the request that it answers goes out.
    void reply(const Bytes& request, const Bytes& answer) {
        command("reply " + hex(request) + " " + hex(answer));
        std::this_thread::sleep_for(200ms);
    }

    // What arrived since the last clear().
    Bytes received() const {
        Bytes all;
        if (FILE* record = std::fopen((base_ + ".record").c_str(), "rb")) {
            std::uint8_t chunk[4096];
            std::size_t n;
            while ((n = std::fread(chunk, 1, sizeof chunk, record)) > 0) all.insert(all.end(), chunk, chunk + n);
            std::fclose(record);
        }
        return all.size() > seen_ ? Bytes(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end()) : Bytes{};
    }
    Bytes waitFor(std::size_t count, std::chrono::milliseconds timeout = 3000ms) const {
        const auto start = Clock::now();
        Bytes got = received();
        while (got.size() < count && Clock::now() - start < timeout) {
            std::this_thread::sleep_for(5ms);
            got = received();
        }
        return got;
    }
    void clear() { seen_ += received().size(); }

private:
    std::string base_;
    std::size_t seen_ = 0;
};

// The DLL and its exports, bound by name.
struct Slipdrv {
    HMODULE module = LoadLibraryA("slipdrv.dll");

    template <typename Fn>
    Fn get(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }
    using Int0 = int(WINAPI*)();
    using Int1 = int(WINAPI*)(int);
    using Int2 = int(WINAPI*)(int, int);
    using Callback = void(WINAPI*)(int);

    int(WINAPI* BPOpenPrinter)(int, int) = get<Int2>("BPOpenPrinter");
    Int0 BPClosePrinter = get<Int0>("BPClosePrinter");
    int(WINAPI* BPPrintString)(const char*) = get<int(WINAPI*)(const char*)>("BPPrintString");
    int(WINAPI* BPPrintStringUTF8)(const char*) = get<int(WINAPI*)(const char*)>("BPPrintStringUTF8");
    Int1 BPSetTextEncoding = get<Int1>("BPSetTextEncoding");
    int(WINAPI* BPPrintRowUTF8)(const char*,
                                const char*) = get<int(WINAPI*)(const char*, const char*)>("BPPrintRowUTF8");
    int(WINAPI* BPPrintQRCode)(const char*, int, int) = get<int(WINAPI*)(const char*, int, int)>("BPPrintQRCode");
    Int1 BPEnableCallBackFunc = get<Int1>("BPEnableCallBackFunc");
    int(WINAPI* BPSetCallBackFunc)(Callback) = get<int(WINAPI*)(Callback)>("BPSetCallBackFunc");
    Int1 BPRealtimeGetStatus = get<Int1>("BPRealtimeGetStatus");
    Int1 BPTransmitStatus = get<Int1>("BPTransmitStatus");
    int(WINAPI* BPGetMemorySwitch)(int, unsigned char*) = get<int(WINAPI*)(int, unsigned char*)>("BPGetMemorySwitch");
    using PathMode = int(WINAPI*)(const char*, int);
    PathMode BPPrintBitmap = get<PathMode>("BPPrintBitmap");
    PathMode BPPrintDownloadBitImage = get<PathMode>("BPPrintDownloadBitImage");
};

Slipdrv& dll() {
    static Slipdrv library;
    return library;
}

std::mutex seenMutex;
std::vector<int> seen;
std::vector<const void*> seenFrames;  // where each call's frame began
// Declared as hosts declare it: callee-cleans on i686. Were the library to
// call it as caller-cleans, the stack would shift by 4 bytes at every call,
// and the frames of calls from one delivery loop would not line up.
void WINAPI recordStatus(int status) {
    std::lock_guard lock(seenMutex);
    seen.push_back(status & 0xFF);
    seenFrames.push_back(__builtin_frame_address(0));
}
std::vector<int> seenAfter(std::size_t count) {
    const auto start = Clock::now();
    for (;;) {
        {
            std::lock_guard lock(seenMutex);
            if (seen.size() >= count || Clock::now() - start > 3s) return seen;
        }
        std::this_thread::sleep_for(2ms);
    }
}

class WineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder().empty()) << "SLIPDRV_WINE_DIR is not set";
        ASSERT_NE(dll().module, nullptr) << "slipdrv.dll did not load";
    }
    void TearDown() override {
        // Close whatever kind is open: make each kind active in turn.
        dll().BPEnableCallBackFunc(0);
        dll().BPOpenPrinter(1, 1);  // refused, but makes the serial kind active
        dll().BPClosePrinter();
        dll().BPOpenPrinter(13, 0);
        dll().BPOpenPrinter(12, 0);  // LPT2 does not exist: leaves the parallel kind active and closed
        dll().BPClosePrinter();
    }
};

TEST_F(WineTest, EveryExportIsThereByNameAndOrdinal) {
    const struct {
        int ordinal;
        const char* name;
    } exports[] = {
#define EXPORT_ROW(ordinal, name, calleeCleans) {ordinal, #name},
        SLIPDRV_EXPORTS(EXPORT_ROW)
#undef EXPORT_ROW
    };
    for (const auto& e : exports) {
        const FARPROC byName = GetProcAddress(dll().module, e.name);
        EXPECT_NE(byName, nullptr) << e.name;
        EXPECT_EQ(GetProcAddress(dll().module, MAKEINTRESOURCEA(e.ordinal)), byName) << e.name << " @" << e.ordinal;
    }
}

TEST_F(WineTest, OpenRefusalsPrintAndReopen) {
    RemotePrinter com1("COM1"), com2("COM2");
    EXPECT_EQ(dll().BPPrintString("x"), -1) << "nothing open";
    EXPECT_EQ(dll().BPClosePrinter(), 0);
    const struct {
        int port, baud, result;
    } cases[] = {{0, 9600, -1}, {13, 9600, -1}, {1, 2399, -1},  {1, 115201, -1},
                 {9, 9600, -1}, {1, 2400, 0},   {1, 115200, 0}, {1, 9600, 0}};
    for (const auto& c : cases) EXPECT_EQ(dll().BPOpenPrinter(c.port, c.baud), c.result) << c.port << ", " << c.baud;

    const std::string text = "Table 7\t\xD7\xC0 35.50\r\n";
    EXPECT_EQ(dll().BPPrintString(text.c_str()), 0);
    EXPECT_EQ(dll().BPPrintString(""), 0);
    EXPECT_EQ(com1.waitFor(text.size()), bytesOf(text));

    ASSERT_EQ(dll().BPOpenPrinter(2, 19200), 0) << "reopening closes COM1 first";
    EXPECT_EQ(dll().BPPrintString("second"), 0);
    EXPECT_EQ(com2.waitFor(6), bytesOf("second"));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(com1.received(), bytesOf(text));

    const auto start = Clock::now();
    EXPECT_EQ(dll().BPClosePrinter(), 0);
    EXPECT_LT(Clock::now() - start, 1500ms) << "the worker stops on request";
    EXPECT_EQ(dll().BPPrintString("x"), -1);
}

// The conversion is the library's own, not a code page of the system's: the
// same bytes as on Linux.
TEST_F(WineTest, Utf8TextAndQrCodeReachThePrinter) {
    RemotePrinter com1("COM1");
    ASSERT_EQ(dll().BPOpenPrinter(1, 9600), 0);
    EXPECT_EQ(dll().BPPrintStringUTF8(reinterpret_cast<const char*>(u8"桌号：7号台 \U00020000\n")), 0);
    const Bytes text = {0xD7, 0xC0, 0xBA, 0xC5, 0xA3, 0xBA, 0x37, 0xBA, 0xC5,
                        0xCC, 0xA8, 0x20, 0x95, 0x32, 0x82, 0x36, 0x0A};
    EXPECT_EQ(com1.waitFor(text.size()), text);
    com1.clear();
    EXPECT_EQ(dll().BPPrintStringUTF8("\xED\xA0\x80"), -1) << "a surrogate";
    EXPECT_EQ(dll().BPPrintQRCode("T7", 6, 1), 0);
    const Bytes qr = {0x1D, 0x28, 0x6B, 0x04, 0x00, 0x31, 0x41, 0x32, 0x00, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31,
                      0x43, 0x06, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, 0x31, 0x1D, 0x28, 0x6B, 0x05, 0x00,
                      0x31, 0x50, 0x30, 0x54, 0x37, 0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30};
    EXPECT_EQ(com1.waitFor(qr.size()), qr) << "nothing of the refused text before it";
}

// The character set is the library's, kept across a close and an open; the
// row goes out in one piece through the real port.
TEST_F(WineTest, TextEncodingHoldsAcrossOpensAndRowsReachThePrinter) {
    RemotePrinter com1("COM1");
    ASSERT_EQ(dll().BPSetTextEncoding(2), 0) << "Big5";
    ASSERT_EQ(dll().BPOpenPrinter(1, 9600), 0);
    ASSERT_EQ(dll().BPClosePrinter(), 0);
    ASSERT_EQ(dll().BPOpenPrinter(1, 9600), 0);
    // 台费 in Big5 is 台費; the row starts Chinese mode, which no export has set since the open.
    EXPECT_EQ(dll().BPPrintRowUTF8(reinterpret_cast<const char*>(u8"台费\t35元"), "6L,6R"), 0);
    const Bytes row = {0x1C, 0x26, 0xA5, 0x78, 0xB6, 0x4F, 0x20, 0x20, 0x20, 0x20, 0x33, 0x35, 0xA4, 0xB8, 0x0A};
    EXPECT_EQ(com1.waitFor(row.size()), row);
    EXPECT_EQ(dll().BPSetTextEncoding(0), 0);
    EXPECT_EQ(dll().BPClosePrinter(), 0);
}

// The Wine tests run the library's real receive path only when the port has
// modem lines (the preloaded shim gives a pty some): a comm-event wait then
// stays pending until bytes arrive, instead of failing at once.
void expectModemLines(const char* port) {
    const HANDLE h =
        CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << port;
    DWORD modem = 0;
    EXPECT_TRUE(GetCommModemStatus(h, &modem)) << port << ": no modem lines, error " << GetLastError();
    EXPECT_EQ(modem & (MS_CTS_ON | MS_DSR_ON), DWORD{MS_CTS_ON | MS_DSR_ON}) << port;
    EXPECT_TRUE(EscapeCommFunction(h, SETDTR)) << port << ": DTR, error " << GetLastError();
    PurgeComm(h, PURGE_RXCLEAR);
    ASSERT_TRUE(SetCommMask(h, EV_RXCHAR));
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD mask = 0, ignored = 0;
    const BOOL done = WaitCommEvent(h, &mask, &ov);
    const DWORD error = GetLastError();
    EXPECT_TRUE(!done && error == ERROR_IO_PENDING) << port << ": the wait ended at once, error " << error;
    if (!done && error == ERROR_IO_PENDING) {
        EXPECT_EQ(WaitForSingleObject(ov.hEvent, 200), DWORD{WAIT_TIMEOUT})
            << port << ": the wait ended with nothing sent";
        SetCommMask(h, 0);  // ends the wait
        GetOverlappedResult(h, &ov, &ignored, TRUE);
    }
    CloseHandle(ov.hEvent);
    CloseHandle(h);
}

TEST_F(WineTest, ReceivedBytesReachTheCallbackInOrder) {
    RemotePrinter com1("COM1");
    expectModemLines("\\\\.\\COM1");
    {
        std::lock_guard lock(seenMutex);
        seen.clear();
        seenFrames.clear();
    }
    EXPECT_EQ(dll().BPSetCallBackFunc(nullptr), -1);
    ASSERT_EQ(dll().BPSetCallBackFunc(recordStatus), 0);
    ASSERT_EQ(dll().BPOpenPrinter(1, 9600), 0);
    com1.send({0x01, 0x02});  // delivery is off: these stay in the receive buffer
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(seenAfter(0).empty());

    dll().BPEnableCallBackFunc(1);
    Bytes burst;
    for (int i = 0; i < 1000; ++i) burst.push_back(static_cast<std::uint8_t>(0x80 + i));
    com1.send(burst);
    const auto got = seenAfter(2 + burst.size());
    std::vector<int> expected = {0x01, 0x02};
    for (auto b : burst) expected.push_back(b);
    EXPECT_EQ(got, expected);

    std::lock_guard lock(seenMutex);
    std::vector<const void*> frames = seenFrames;
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    EXPECT_EQ(frames.size(), 1u) << "the stack moved between callback calls: " << frames.size() << " frame addresses";
}

TEST_F(WineTest, RepeatedOpenAndCloseLeakNoHandles) {
    ASSERT_EQ(dll().BPOpenPrinter(1, 9600), 0);
    dll().BPClosePrinter();
    DWORD before = 0, after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &before);
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(dll().BPOpenPrinter(1, 9600), 0);
        ASSERT_EQ(dll().BPClosePrinter(), 0);
    }
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_LE(after, before + 2) << "handles before " << before << ", after " << after;
}

TEST_F(WineTest, QueriesReadTheReplyOnBothChannels) {
    RemotePrinter com1("COM1"), lpt1("LPT1");
    ASSERT_EQ(dll().BPOpenPrinter(1, 9600), 0);
    com1.reply({0x10, 0x04, 0x01}, {0x13, 0x12});  // the first byte fails the test, the second passes
    auto start = Clock::now();
    EXPECT_EQ(dll().BPRealtimeGetStatus(257), 0x12) << "only the low 8 bits select";
    EXPECT_LT(Clock::now() - start, 2s);
    com1.reply({0x1D, 0x28, 0x45, 0x02, 0x00, 0x04, 0x03}, bytesOf("0110101001X"));
    unsigned char buffer[11] = {};
    EXPECT_EQ(dll().BPGetMemorySwitch(3, buffer), 0);
    EXPECT_EQ(Bytes(buffer, buffer + 11), bytesOf("0110101001X"));
    EXPECT_EQ(dll().BPRealtimeGetStatus(6), -1);

    ASSERT_EQ(dll().BPOpenPrinter(11, 0), 0);
    EXPECT_EQ(dll().BPPrintString("on paper"), 0);
    EXPECT_EQ(lpt1.waitFor(8), bytesOf("on paper"));
    lpt1.reply({0x1D, 0x72, 0x31}, {0x70, 0x6F});
    start = Clock::now();
    EXPECT_EQ(dll().BPTransmitStatus(49), 0x6F);
    EXPECT_LT(Clock::now() - start, 3s);
}

double processCpuSeconds() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto ticks = [](const FILETIME& t) { return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

// Winsock's path: a print, a status query, bytes relayed to the callback,
// and the printer closing the connection (a hang-up: prints fail, the worker
// sleeps, the port closes at once and opens again).
TEST_F(WineTest, ANetworkPrinterServesAsCom3) {
    RemotePrinter net("NET");
    const char* setting = std::getenv("SLIPDRV_COM3");
    ASSERT_EQ(dll().BPOpenPrinter(3, 9600), 0) << "SLIPDRV_COM3=" << (setting ? setting : "(unset)");
    const std::string text = "Table 7\t\xD7\xC0 35.50\r\n";
    EXPECT_EQ(dll().BPPrintString(text.c_str()), 0);
    EXPECT_EQ(net.waitFor(text.size()), bytesOf(text));
    net.reply({0x10, 0x04, 0x01}, {0x16});
    EXPECT_EQ(dll().BPRealtimeGetStatus(1), 0x16);

    {
        std::lock_guard lock(seenMutex);
        seen.clear();
    }
    ASSERT_EQ(dll().BPSetCallBackFunc(recordStatus), 0);
    dll().BPEnableCallBackFunc(1);
    Bytes burst;
    for (int i = 0; i < 500; ++i) burst.push_back(static_cast<std::uint8_t>(0x80 + i));
    net.send(burst);
    EXPECT_EQ(seenAfter(burst.size()), std::vector<int>(burst.begin(), burst.end()));
    dll().BPEnableCallBackFunc(0);

    net.command("hangup");
    std::this_thread::sleep_for(300ms);  // the printer takes the line from its FIFO
    // A worker spinning on the socket spends most of its time in the Wine
    // server, outside this process (measured: about 0.2 s here, 0 at rest).
    const double cpuBefore = processCpuSeconds();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(processCpuSeconds() - cpuBefore, 0.05) << "CPU used over 500 ms after the hang-up";
    EXPECT_EQ(dll().BPPrintString("lost"), -1);
    const auto start = Clock::now();
    EXPECT_EQ(dll().BPClosePrinter(), 0);
    EXPECT_LT(Clock::now() - start, 1500ms) << "the worker stops on request";
    ASSERT_EQ(dll().BPOpenPrinter(3, 9600), 0);
    net.clear();
    EXPECT_EQ(dll().BPPrintString("again"), 0);
    EXPECT_EQ(net.waitFor(5), bytesOf("again"));
}

// Refused network opens give -1 without waiting out the connect time-out, and
// on Windows a SLIPDRV_COM<n> that is not tcp:// changes nothing.
TEST_F(WineTest, NetworkOpenRefusalsAndOtherSettings) {
    const struct {
        const char* why;
        const char* value;
        int baud;
    } cases[] = {
        {"nothing listening", "tcp://127.0.0.1:1", 9600},
        {"no port", "tcp://127.0.0.1", 9600},
        {"a host that is not one", "tcp://[127.0.0.1]:9100", 9600},
        {"a baud rate below 2400", nullptr, 2399},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const int port = c.value ? 4 : 3;
        if (c.value) SetEnvironmentVariableA("SLIPDRV_COM4", c.value);
        const auto start = Clock::now();
        EXPECT_EQ(dll().BPOpenPrinter(port, c.baud), -1);
        EXPECT_LT(Clock::now() - start, 2s);
    }
    SetEnvironmentVariableA("SLIPDRV_COM4", nullptr);
    SetEnvironmentVariableA("SLIPDRV_COM1", "/nonexistent/slipdrv-device");
    EXPECT_EQ(dll().BPOpenPrinter(1, 9600), 0) << "COM1 is still the mapped port";
    SetEnvironmentVariableA("SLIPDRV_COM1", nullptr);
}

// COM5's printer stops reading after 1000 bytes: a write fails once nothing
// has moved for the progress bound (shortened here, on a channel of the
// test's own), and the connection is reset, so later writes fail too.
TEST(WineSocketTest, APrinterThatStopsReadingFailsTheWriteAtTheProgressBound) {
    constexpr std::uint32_t kProgressBoundMs = 300;
    slipdrv::NetworkPrinter comm(
        nullptr, {.msPerByte = slipdrv::kNetworkWriteLimits.msPerByte, .progressBoundMs = kProgressBoundMs});
    const auto address = slipdrv::parseTcpAddress(slipdrv::comPortSetting(5));
    ASSERT_TRUE(address);
    ASSERT_TRUE(comm.open(*address));
    const Bytes run(4 << 20, 'x');
    const auto start = Clock::now();
    EXPECT_FALSE(comm.write(run, 0));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(kProgressBoundMs));
    EXPECT_LT(took, 10s);
    EXPECT_FALSE(comm.write(std::span(run).first(1), 0)) << "the connection was reset";
    comm.close();
}

// A print to a printer that has stopped reading waits, holding the export
// lock; BPClosePrinter from another thread ends it at once instead of after
// the 30 s progress bound: COM5's network printer stops after 1000 bytes,
// COM1's is told to stop reading.
TEST_F(WineTest, ClosingFromAnotherThreadEndsAWaitingPrint) {
    for (const int port : {5, 1}) {
        SCOPED_TRACE(port);
        RemotePrinter com1("COM1");
        if (port == 1) {
            com1.command("reading off");
            std::this_thread::sleep_for(300ms);  // the printer takes the line from its FIFO
        }
        ASSERT_EQ(dll().BPOpenPrinter(port, 9600), 0);
        const std::string job(4 << 20, 'j');
        std::atomic<int> result{1};
        std::thread print([&] { result = dll().BPPrintString(job.c_str()); });
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(result, 1) << "the print did not wait";
        const auto closing = Clock::now();
        EXPECT_EQ(dll().BPClosePrinter(), 0);
        EXPECT_LT(Clock::now() - closing, 3s);
        print.join();
        EXPECT_LT(Clock::now() - closing, 3s);
        EXPECT_EQ(result, -1);
        if (port == 1) {
            com1.command("reading on");
            std::this_thread::sleep_for(300ms);  // what the line held reaches the record before later tests look
        }
    }
}

// Bitmap files through the system's image loader: written here, in the
// printers' folder, which is also where the staging files go.
class WineImageTest : public WineTest {
protected:
    void SetUp() override {
        WineTest::SetUp();
        GetCurrentDirectoryA(MAX_PATH, previous_);
        ASSERT_TRUE(SetCurrentDirectoryA(folder().c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(previous_);
        WineTest::TearDown();
    }
    char previous_[MAX_PATH] = {};
};

TEST_F(WineImageTest, LoadingImagesLeaksNoHandles) {
    using namespace image_testing;
    writeFile("leak.bmp", encodeBmp(patternPicture(37, 30), 8));
    dll().BPPrintBitmap("leak.bmp", 0);
    DWORD before = 0, after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &before);
    const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(dll().BPPrintBitmap("leak.bmp", 0), -1) << "no port is open";
        EXPECT_EQ(dll().BPPrintDownloadBitImage("leak.bmp", 0), -1);
    }
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_LE(after, before + 2) << "handles before " << before << ", after " << after;
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore + 2);
}

// Unloading slipdrv.dll while COM1 is open, in a process of its own (the
// other tests keep the library loaded): the library closes the port as it
// goes; a host callback still running keeps the library loaded until it
// returns.
std::atomic<int> unloadCalls{0}, unloadReturned{0};
HANDLE callbackMayReturn = nullptr;  // null: return at once
void WINAPI unloadCallback(int) {
    ++unloadCalls;
    if (callbackMayReturn) WaitForSingleObject(callbackMayReturn, 10000);
    ++unloadReturned;
}

bool comPortFree(const char* port) {
    const HANDLE h = CreateFileA(port, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

bool waitUntil(const std::function<bool()>& condition) {
    const auto start = Clock::now();
    while (!condition() && Clock::now() - start < 5s) std::this_thread::sleep_for(2ms);
    return condition();
}

TEST(UnloadTest, UnloadingWithAPortOpenClosesIt) {
    ASSERT_FALSE(folder().empty()) << "SLIPDRV_WINE_DIR is not set";
    ASSERT_EQ(GetModuleHandleA("slipdrv.dll"), nullptr) << "run this test in a process of its own";
    RemotePrinter com1("COM1");
    for (const bool busy : {false, true}) {
        unloadCalls = unloadReturned = 0;
        callbackMayReturn = busy ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr;
        const HMODULE module = LoadLibraryA("slipdrv.dll");
        ASSERT_NE(module, nullptr);
        const auto proc = [&](const char* name) { return reinterpret_cast<void (*)()>(GetProcAddress(module, name)); };
        const auto setCallback = reinterpret_cast<int(WINAPI*)(void(WINAPI*)(int))>(proc("BPSetCallBackFunc"));
        const auto enable = reinterpret_cast<int(WINAPI*)(int)>(proc("BPEnableCallBackFunc"));
        const auto open = reinterpret_cast<int(WINAPI*)(int, int)>(proc("BPOpenPrinter"));
        ASSERT_EQ(setCallback(unloadCallback), 0);
        enable(1);
        ASSERT_EQ(open(1, 9600), 0);
        com1.send({0x12, 0x34});
        ASSERT_TRUE(waitUntil([] { return unloadCalls > 0; })) << "busy " << busy;

        ASSERT_TRUE(FreeLibrary(module));
        if (busy) {
            EXPECT_NE(GetModuleHandleA("slipdrv.dll"), nullptr) << "kept loaded while the callback runs";
            EXPECT_EQ(unloadReturned.load(), 0);
            SetEvent(callbackMayReturn);
        }
        EXPECT_TRUE(waitUntil([] { return GetModuleHandleA("slipdrv.dll") == nullptr; })) << "busy " << busy;
        EXPECT_EQ(unloadReturned.load(), unloadCalls.load()) << "busy " << busy;
        EXPECT_TRUE(comPortFree("\\\\.\\COM1")) << "busy " << busy << ": the port was closed";
        if (callbackMayReturn) CloseHandle(callbackMayReturn);
    }
}

}  // namespace
