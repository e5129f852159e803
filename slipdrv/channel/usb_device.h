// What a USB printer asks of the platform: its device opened for reading and
// writing, used by the receive pump as a serial line is (stream_device.h).
// Both backends follow the threads and overlaps written there; where a USB
// printer differs from a serial line it is said here.
//
// - open takes the device path from the printer list (usb_printer.h); there
//   are no line settings.
// - write is bounded as a serial line's writes are (the WriteLimits given to
//   makeUsbDevice): the total is msPerByte for each byte plus constantMs, and
//   a write fails once progressBoundMs pass without the printer taking a
//   byte. A write that fails sends nothing more of its run.
// - A printer that was unplugged (or whose device reports a hang-up) fails
//   every write; the worker's waits then end only by stopWatching, and reads
//   end at once (receiveEnded), until the next open.
// - A device that cannot tell how many bytes it holds (the Linux usblp driver
//   has no byte count) reports a positive inQueue once the worker saw it
//   readable: readPort then hands out what has come, 0 when nothing has.
#pragma once

#include <memory>
#include <string>

#include "stream_device.h"
#include "write_bounds.h"

namespace slipdrv {

class UsbDevice : public StreamDevice {
public:
    // Opens the printer at `path`; false when it cannot be opened.
    virtual bool open(const std::string& path) = 0;
};

// Throws Error (error.h) when a resource the device needs cannot be made.
std::unique_ptr<UsbDevice> makeUsbDevice(const WriteLimits& limits = kSerialWriteLimits);

}  // namespace slipdrv
