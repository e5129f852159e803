// The Linux list of USB printers over a root of the tests' choosing.
#pragma once

#include <memory>
#include <string>

#include "../../usb_printer.h"

namespace slipdrv {

// The usblp devices <root>/dev/usb/lp<n>, with their device IDs from
// <root>/sys/class/usbmisc/lp<n>/device/ieee1284_id; makeUsbPrinterList()
// is this over "/".
std::unique_ptr<UsbPrinterList> makeUsbPrinterList(const std::string& root);

}  // namespace slipdrv
