// Ports named by text and by mapping values, USB printers through the
// exports (a pseudo-terminal standing for the device, a made-up printer
// list), and the list of ports.
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "channel/usb_printer.h"
#include "port_control.h"
#include "printer_fixture.h"
#include "slipdrv.h"

namespace slipdrv {
namespace {

using namespace testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 3s) {
    const auto start = Clock::now();
    while (!condition() && Clock::now() - start < timeout) std::this_thread::sleep_for(1ms);
    return condition();
}

class FakeUsbPrinters final : public UsbPrinterList {
public:
    std::vector<UsbPrinter> printers;
    std::vector<UsbPrinter> list() override { return printers; }
};

class PortNamesTest : public PrinterTest {
protected:
    void SetUp() override {
        auto list = std::make_unique<FakeUsbPrinters>();
        usb_ = list.get();
        library().usbPrinters = std::move(list);
    }
    void TearDown() override {
        PrinterTest::TearDown();
        library().usbPrinters.reset();
    }

    // A virtual printer standing for a USB printer with this device ID.
    vprinter::VirtualPrinter& usbPrinter(const std::string& deviceId) {
        auto& printer = usbStandIns_.emplace_back(std::make_unique<vprinter::VirtualPrinter>());
        usb_->printers.push_back({printer->devicePath(), deviceId});
        return *printer;
    }

    FakeUsbPrinters* usb_ = nullptr;

private:
    std::vector<std::unique_ptr<vprinter::VirtualPrinter>> usbStandIns_;
};

// Each text opens the port it names, so the next print reaches that printer;
// a refused text changes nothing (the port open before still prints), a
// failed open leaves the port closed.
TEST_F(PortNamesTest, EachTextOpensThePortItNames) {
    auto& com3 = com(3);
    auto& lpt1 = lpt(1);
    auto& net = network(4);
    auto& usb = usbPrinter("MFG:Acme;MDL:POS-80;CMD:ESC/POS;");
    const std::string tcp = "tcp://127.0.0.1:" + std::to_string(net.tcpPort());
    vprinter::VirtualPrinter* const none = nullptr;
    const struct {
        std::string text;
        int result;
        vprinter::VirtualPrinter* printsTo;  // null: the print after it fails
    } cases[] = {
        {"COM3", 0, &com3},
        {"lpt1", 0, &lpt1},
        {"com3:115200", 0, &com3},
        // The grammar's refusals are port_name_test's table; here one is enough
        // to see that a refused text leaves COM3 open and active.
        {" COM3", -1, &com3},
        {tcp, 0, &net},
        {"USB:mdl:pos-80", 0, &usb},
        {"usb:", 0, &usb},
        {"usb:" + usb.devicePath(), 0, &usb},
        {"Tcp://127.0.0.1:" + std::to_string(net.tcpPort()), 0, &net},
        {"COM3:1200", -1, &net},     // a rate BPOpenPrinter refuses: refused, the network printer stays active
        {"usb:MDL:NONE", -1, none},  // no such printer: the named port is closed
        {"COM3", 0, &com3},          // the COM kind again
        {"COM9", -1, none},          // no device: the COM port is closed
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(BPOpenPrinterByName(c.text.c_str()), c.result);
        const std::string mark = "mark" + std::to_string(n++);
        if (!c.printsTo) {
            EXPECT_EQ(BPPrintString(mark.c_str()), -1);
            continue;
        }
        EXPECT_EQ(BPPrintString(mark.c_str()), 0);
        const Bytes expected = bytesOf(mark);
        EXPECT_TRUE(waitUntil([&] {
            const Bytes got = c.printsTo->received();
            return got.size() >= expected.size() &&
                   Bytes(got.end() - static_cast<std::ptrdiff_t>(expected.size()), got.end()) == expected;
        }));
    }
    EXPECT_EQ(BPOpenPrinterByName(nullptr), -1);
}

// A USB printer mapped to COM2 is what an unchanged host opens as COM2:
// prints, queries and the callback behave as on a serial line, and an
// unplugged printer fails prints until the next open finds it again.
TEST_F(PortNamesTest, AUsbPrinterMappedToACOMPortIsASerialPortToTheHost) {
    static std::atomic<int> delivered{0};
    delivered = 0;
    auto& printer = usbPrinter("MFG:Acme;MDL:POS-58;");
    setting("SLIPDRV_COM2", "usb:POS-58");
    ASSERT_EQ(BPOpenPrinter(2, 9600), 0);
    EXPECT_EQ(BPPrintString("Table 7\n"), 0);
    EXPECT_TRUE(printer.waitForReceived(8, 3s));

    printer.replyTo({0x10, 0x04, 0x01}, {0x16});
    EXPECT_EQ(BPRealtimeGetStatus(1), 0x16);

    ASSERT_EQ(BPSetCallBackFunc([](int b) SLIPDRV_CALL { delivered += (b & 0xFF) == 0x42 ? 1 : 100; }), 0);
    BPEnableCallBackFunc(1);
    printer.send({0x42, 0x42});
    EXPECT_TRUE(waitUntil([] { return delivered == 2; })) << delivered;
    BPEnableCallBackFunc(0);

    printer.hangUp();
    EXPECT_TRUE(waitUntil([] { return BPPrintString("x") == -1; }));
    usb_->printers.clear();
    auto& again = usbPrinter("MFG:Acme;MDL:POS-58;");
    ASSERT_EQ(BPOpenPrinter(2, 9600), 0);
    EXPECT_EQ(BPPrintString("again"), 0);
    EXPECT_TRUE(again.waitForReceived(5, 3s));
}

// The list holds a line for each port that can be opened, each starting with
// a text that opens it; a buffer it does not fit gets nothing.
TEST_F(PortNamesTest, ThePortListNamesWhatCanBeOpened) {
    com(5);
    setting("SLIPDRV_COM6", "tcp://127.0.0.1:9");
    setting("SLIPDRV_LPT2", "printer:Counter");
    missing("SLIPDRV_COM7");
    auto& usb = usbPrinter("MFG:Acme;MDL:POS-80;");

    std::vector<char> buffer(65536, '#');
    const int count = BPEnumPrinterPorts(buffer.data(), static_cast<int>(buffer.size()));
    ASSERT_GT(count, 0);
    const std::string list(buffer.data());
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = list.find('\n', at);
        ASSERT_NE(end, std::string::npos) << "every line ends with LF";
        lines.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    EXPECT_EQ(static_cast<int>(lines.size()), count);
    const auto listed = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(listed("COM5"));
    EXPECT_TRUE(listed("COM6")) << "mapped to a network printer";
    EXPECT_TRUE(listed("LPT2")) << "mapped to a queue";
    EXPECT_FALSE(listed("COM7")) << "its device does not exist";
    EXPECT_EQ(lines.back(), "usb:" + usb.devicePath() + "\tMFG:Acme;MDL:POS-80;");
    for (const auto& line : lines) {
        const std::string text = line.substr(0, line.find('\t'));
        EXPECT_TRUE(parsePortName(text)) << line;
    }

    const std::size_t needed = list.size() + 1;
    std::vector<char> tight(needed - 1, '#');
    EXPECT_EQ(BPEnumPrinterPorts(tight.data(), static_cast<int>(tight.size())), -1);
    EXPECT_EQ(std::string(tight.begin(), tight.end()), std::string(needed - 1, '#')) << "nothing written";
    std::vector<char> exact(needed, '#');
    EXPECT_EQ(BPEnumPrinterPorts(exact.data(), static_cast<int>(exact.size())), count);
    EXPECT_EQ(std::string(exact.data()), list);
    EXPECT_EQ(BPEnumPrinterPorts(nullptr, 100), -1);
    EXPECT_EQ(BPEnumPrinterPorts(exact.data(), 0), -1);
}

// Ports of different kinds stay open side by side and both hand their bytes
// to the host's callback, but never on two threads at once.
TEST_F(PortNamesTest, CallbacksOfTwoOpenPortsNeverOverlap) {
    static std::atomic<int> running{0}, most{0}, calls{0};
    running = most = calls = 0;
    auto& first = network(1);
    vprinter::VirtualPrinter second{vprinter::VirtualPrinter::TcpPort{}};
    ASSERT_EQ(BPSetCallBackFunc([](int) SLIPDRV_CALL {
                  const int now = ++running;
                  for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
                  }
                  std::this_thread::sleep_for(1ms);
                  --running;
                  ++calls;
              }),
              0);
    BPEnableCallBackFunc(1);
    ASSERT_EQ(BPOpenPrinter(1, 9600), 0);
    ASSERT_EQ(BPOpenPrinterByName(("tcp://127.0.0.1:" + std::to_string(second.tcpPort())).c_str()), 0);
    for (int i = 0; i < 20; ++i) {
        first.send({0x41});
        second.send({0x42});
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_TRUE(waitUntil([] { return calls == 40; }, 10s)) << calls;
    EXPECT_EQ(most, 1);
    BPEnableCallBackFunc(0);
    BPClosePrinter();
}

}  // namespace
}  // namespace slipdrv
