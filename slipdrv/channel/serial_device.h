// What the serial transport asks of the platform: one open COM port, a
// stream device (stream_device.h, whose threads and overlaps it follows) that
// opens by port number and has line settings.
#pragma once

#include <cstdint>
#include <memory>

#include "stream_device.h"
#include "write_bounds.h"

namespace slipdrv {

class SerialDevice : public StreamDevice {
public:
    // Opens COM<port> for overlapped transfers; false when the device cannot be opened.
    virtual bool open(int port) = 0;

    // The line set-up of an open port: receive events watched, queues of 1024
    // bytes, unread input purged (output a previous opener left is still sent
    // on Linux; Windows purges both queues), the write time-outs (100 ms per byte plus
    // 30000 ms), 8 data bits, no parity, one stop bit at `baud`, CTS/RTS
    // handshake, DTR raised.
    virtual void setUp(int baud) = 0;

    // Lowers DTR, purges unread input (and on Windows the output queue, empty
    // after a completed write) and closes the device.
    void close() override = 0;

    // Sends the run and waits until the driver has transmitted it; true when
    // all `length` bytes went out within the write time-outs and no stretch of
    // the progress bound passed without a byte moving.
    bool write(const std::uint8_t* bytes, std::uint32_t length) override = 0;
};

// The platform's serial line, with its write bounds (tests shorten them).
// Throws an Error when a resource the device needs cannot be made.
std::unique_ptr<SerialDevice> makeSerialDevice(const WriteLimits& limits = kSerialWriteLimits);

}  // namespace slipdrv
