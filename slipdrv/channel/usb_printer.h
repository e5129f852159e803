// The USB printers attached now, and the choice of one by a usb: port text
// (port_name.h).
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "port_name.h"

namespace slipdrv {

struct UsbPrinter {
    // What UsbDevice::open takes: /dev/usb/lp0 on Linux, the interface path
    // (\\?\usb#vid_...) on Windows.
    std::string path;
    // The printer's IEEE 1284 device ID (MFG:...;MDL:...;); empty when it
    // could not be read.
    std::string deviceId;

    bool operator==(const UsbPrinter&) const = default;
};

// What the platform tells of its USB printers.
class UsbPrinterList {
public:
    virtual ~UsbPrinterList() = default;

    // The printers present now, in an order that stays the same while they
    // stay attached (on Linux by the number of the lp device).
    virtual std::vector<UsbPrinter> list() = 0;
};

// The platform's list: the usblp devices on Linux, the USB printing
// interfaces on Windows.
std::unique_ptr<UsbPrinterList> makeUsbPrinterList();

// The printer `selector` names among `printers`: with no text the first;
// the one whose path is the text (letter case aside for a Windows path);
// else the first whose device ID holds the text, letter case aside (ASCII).
// Nothing when none fits.
std::optional<UsbPrinter> findUsbPrinter(const UsbSelector& selector, std::span<const UsbPrinter> printers);

}  // namespace slipdrv
