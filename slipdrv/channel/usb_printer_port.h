// The USB transport (usb:TEXT): a printer of the system's USB printer list,
// opened through its device and received as a serial line is, with the
// serial line's timing and write bounds.
#pragma once

#include <memory>

#include "port_name.h"
#include "stream_port.h"
#include "usb_device.h"
#include "usb_printer.h"
#include "write_bounds.h"

namespace slipdrv {

class UsbPrinterPort final : public StreamPort {
public:
    // `hostGate` as for ReceivePump.
    UsbPrinterPort(ReceivePump::Relay relay, const WriteLimits& limits = kSerialWriteLimits,
                   std::shared_ptr<std::mutex> hostGate = std::make_shared<std::mutex>());
    ~UsbPrinterPort() override;

    // Opens the printer `selector` names among `printers` (whatever was open
    // is closed first); false when none fits or it cannot be opened. Raises
    // as StreamPort::started does.
    bool open(const UsbSelector& selector, UsbPrinterList& printers);

private:
    WriteLimits limits_;
    std::unique_ptr<UsbDevice> device_;
};

}  // namespace slipdrv
