#include "channel/port_name.h"

#include <gtest/gtest.h>

#include <string>

namespace slipdrv {
namespace {

using namespace std::string_literals;

// Every text as a host's port name and as the value of SLIPDRV_COM<n> or
// SLIPDRV_LPT<n>.
TEST(PortName, TextsNameTheirPortsAndMappingsOnlyTheirOwnKinds) {
    const std::string windowsPath =
        R"(\\?\usb#vid_1234&pid_5678#5&1f0a0b0c&0&2#{28d78fad-5a12-11d1-ae5b-0000f803a8c2})";
    const struct {
        std::string text;
        std::optional<PortName> name;
        PortMapping mapping;
    } cases[] = {
        {"COM1", ComPortName{1, 9600}, OtherSetting{}},
        {"com10", ComPortName{10, 9600}, OtherSetting{}},
        {"Com3:115200", ComPortName{3, 115200}, OtherSetting{}},
        // The rate is the open's to check, as long as it is a 32-bit number.
        {"COM2:300", ComPortName{2, 300}, OtherSetting{}},
        {"COM2:0", ComPortName{2, 0}, OtherSetting{}},
        {"COM2:2147483647", ComPortName{2, 2147483647}, OtherSetting{}},
        {"COM2:2147483648", std::nullopt, OtherSetting{}},
        {"COM2:99999999999999999999", std::nullopt, OtherSetting{}},
        {"COM1:", std::nullopt, OtherSetting{}},
        {"COM1:abc", std::nullopt, OtherSetting{}},
        {"COM1:+9600", std::nullopt, OtherSetting{}},
        {"COM1:-9600", std::nullopt, OtherSetting{}},
        {"COM1:9600:1", std::nullopt, OtherSetting{}},
        {"COM0", std::nullopt, OtherSetting{}},
        {"COM11", std::nullopt, OtherSetting{}},
        {"COM01", std::nullopt, OtherSetting{}},
        {"COM", std::nullopt, OtherSetting{}},
        {"COMX", std::nullopt, OtherSetting{}},
        {"LPT1", LptPortName{1}, OtherSetting{}},
        {"lPt2", LptPortName{2}, OtherSetting{}},
        {"LPT0", std::nullopt, OtherSetting{}},
        {"LPT3", std::nullopt, OtherSetting{}},
        {"LPT1:9600", std::nullopt, OtherSetting{}},
        {"tcp://192.168.1.50:9100", TcpAddress{"192.168.1.50", 9100}, TcpAddress{"192.168.1.50", 9100}},
        {"TCP://[::1]:9100", TcpAddress{"::1", 9100}, TcpAddress{"::1", 9100}},
        {"Tcp://Printer.local:1", TcpAddress{"Printer.local", 1}, TcpAddress{"Printer.local", 1}},
        {"tcp://printer", std::nullopt, BadSetting{}},
        {"tcp://:9100", std::nullopt, BadSetting{}},
        {"tcp://printer:9100 ", std::nullopt, BadSetting{}},
        {"tcp:/printer:9100", std::nullopt, OtherSetting{}},
        {"printer:", QueueName{""}, QueueName{""}},
        {"Printer:Kitchen  Slip 2", QueueName{"Kitchen  Slip 2"}, QueueName{"Kitchen  Slip 2"}},
        {"PRINTER:COM1", QueueName{"COM1"}, QueueName{"COM1"}},
        {"printer:\x01\t\xff", QueueName{"\x01\t\xff"}, QueueName{"\x01\t\xff"}},
        {"printer:Slip ", std::nullopt, BadSetting{}},
        {"printer:Sl\0ip"s, std::nullopt, BadSetting{}},
        {"usb:", UsbSelector{""}, UsbSelector{""}},
        {"USB:MDL:POS-80", UsbSelector{"MDL:POS-80"}, UsbSelector{"MDL:POS-80"}},
        {"usb:/dev/usb/lp0", UsbSelector{"/dev/usb/lp0"}, UsbSelector{"/dev/usb/lp0"}},
        {"usb:" + windowsPath, UsbSelector{windowsPath}, UsbSelector{windowsPath}},
        {"usb:pos\0"s, std::nullopt, BadSetting{}},
        {"usb:\n", std::nullopt, BadSetting{}},
        {"usb", std::nullopt, OtherSetting{}},
        // A blank before the text names nothing; as a mapping it is not ours
        // (on Linux a device path, which then does not open).
        {" COM1", std::nullopt, OtherSetting{}},
        {"COM1 ", std::nullopt, OtherSetting{}},
        {"\tLPT1", std::nullopt, OtherSetting{}},
        {" usb:", std::nullopt, OtherSetting{}},
        {"", std::nullopt, OtherSetting{}},
        {"/dev/ttyUSB0", std::nullopt, OtherSetting{}},
        {"COM1\0"s, std::nullopt, OtherSetting{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        EXPECT_EQ(parsePortName(c.text), c.name);
        EXPECT_EQ(parsePortMapping(c.text), c.mapping);
    }
}

}  // namespace
}  // namespace slipdrv
