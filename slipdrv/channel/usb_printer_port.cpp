#include "usb_printer_port.h"

#include "error.h"

namespace slipdrv {

UsbPrinterPort::UsbPrinterPort(ReceivePump::Relay relay, const WriteLimits& limits,
                               std::shared_ptr<std::mutex> hostGate)
    : StreamPort(std::move(relay), std::move(hostGate)), limits_(limits) {}

UsbPrinterPort::~UsbPrinterPort() { stop(); }

bool UsbPrinterPort::open(const UsbSelector& selector, UsbPrinterList& printers) {
    close();
    const std::vector<UsbPrinter> present = printers.list();
    const auto printer = findUsbPrinter(selector, present);
    if (!printer) return false;
    if (!device_) {
        try {
            device_ = makeUsbDevice(limits_);
        } catch (const Error&) {
            return false;
        }
    }
    if (!device_->open(printer->path)) return false;
    started(*device_);
    return true;
}

}  // namespace slipdrv
