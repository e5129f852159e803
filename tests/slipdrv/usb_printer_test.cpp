#include "channel/usb_printer.h"

#include <gtest/gtest.h>

#include <vector>

namespace slipdrv {
namespace {

TEST(UsbPrinter, TheSelectorPicksByPathThenByDeviceId) {
    const std::vector<UsbPrinter> printers = {
        {"/dev/usb/lp3", ""},
        {"/dev/usb/lp5", "MFG:Acme;MDL:POS-80;CMD:ESC/POS;"},
        {R"(\\?\usb#vid_1234&pid_5678#7&1&0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2})", "MFG:Acme;MDL:POS-58;"},
        // A device ID holding another printer's path: the path wins.
        {"/dev/usb/lp9", "MFG:Odd;MDL:/dev/usb/lp5;"},
    };
    const struct {
        const char* text;
        const char* path;  // null: no printer
    } cases[] = {
        {"", "/dev/usb/lp3"},
        {"/dev/usb/lp5", "/dev/usb/lp5"},
        {"/dev/usb/lp9", "/dev/usb/lp9"},
        // A Linux path in capitals names no path; here it is found in an ID.
        {"/DEV/USB/LP5", "/dev/usb/lp9"},
        {"/dev/usb/lp", "/dev/usb/lp9"},
        {R"(\\?\USB#VID_1234&PID_5678#7&1&0#{28D78FAD-5A12-11D1-AE5B-0000F803A8C2})",
         R"(\\?\usb#vid_1234&pid_5678#7&1&0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2})"},
        {"mdl:pos-", "/dev/usb/lp5"},
        {"MDL:POS-58;", R"(\\?\usb#vid_1234&pid_5678#7&1&0#{28d78fad-5a12-11d1-ae5b-0000f803a8c2})"},
        {"acme", "/dev/usb/lp5"},
        {"MDL:POS-80;CMD:ESC/POS;X", nullptr},
        {"Zebra", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("selector \"") + c.text + "\"");
        const auto found = findUsbPrinter(UsbSelector{c.text}, printers);
        if (!c.path) {
            EXPECT_FALSE(found);
            continue;
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(found->path, c.path);
    }
    EXPECT_FALSE(findUsbPrinter(UsbSelector{""}, {}));
}

}  // namespace
}  // namespace slipdrv
