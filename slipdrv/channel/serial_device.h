// What the serial channel asks of the platform: one open COM port.
//
// Threads (both backends follow this):
// - The host's thread calls open, setUp, write, close and stopWatching, and
//   also isOpen, inQueue and receiveEnded (from CComm::Read).
// - Any thread may call cancelWrites, while the host's thread writes.
// - The worker calls watchReceive, waitReceive, inQueue, readPort and isOpen,
//   only between open and the close that follows; CComm stops the worker
//   before close (or, past the stop bound, terminates it).
// - The delivery thread calls isOpen.
// What overlaps: stopWatching with a pending waitReceive (that is what it is
// for); write with the worker's calls (commands go out while replies come
// in); isOpen and inQueue with anything. isOpen is safe on any thread at any
// time; the rest never runs on two threads at once.
#pragma once

#include <cstdint>
#include <memory>

#include "write_bounds.h"

namespace slipdrv {

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens COM<port> for overlapped transfers; false when the device cannot be opened.
    virtual bool open(int port) = 0;

    // The line set-up of an open port: receive events watched, queues of 1024
    // bytes, unread input purged (output a previous opener left is still sent
    // on Linux; Windows purges both queues), the write time-outs (100 ms per byte plus
    // 30000 ms), 8 data bits, no parity, one stop bit at `baud`, CTS/RTS
    // handshake, DTR raised.
    virtual void setUp(int baud) = 0;

    virtual bool isOpen() const = 0;

    // Lowers DTR, purges unread input (and on Windows the output queue, empty
    // after a completed write) and closes the device.
    virtual void close() = 0;

    // Drops the bytes waiting in the driver's input queue.
    virtual void purgeInput() = 0;

    // Sends the run and waits until the driver has transmitted it; true when
    // all `length` bytes went out within the write time-outs and no stretch of
    // the progress bound passed without a byte moving. A run that fails is
    // not sent later: what the driver still holds of it is dropped.
    virtual bool write(const std::uint8_t* bytes, std::uint32_t length) = 0;

    // From any thread, ahead of a close: the write in progress fails at once,
    // and so does every write until the next open.
    virtual void cancelWrites() = 0;

    // True once nothing more can arrive and everything that came before is
    // in the channel's hands (the worker has seen the end of the stream):
    // a read need not wait for more. A serial line never says so.
    virtual bool receiveEnded() const { return false; }

    // Bytes waiting in the driver's input queue; 0 when closed.
    virtual std::uint32_t inQueue() = 0;

    // Reads at most `maximum` of the bytes waiting in the input queue.
    virtual std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) = 0;

    // Worker side: watch for received characters; false when that fails.
    virtual bool watchReceive() = 0;

    // Blocks until characters were received (true) or the wait was ended by
    // stopWatching or an error (false).
    virtual bool waitReceive() = 0;

    // Ends a pending waitReceive, from another thread.
    virtual void stopWatching() = 0;
};

// COM<n> as the host names it: the serial line, or a network printer when
// SLIPDRV_COM<n> holds tcp://HOST:PORT (see com_port.h), each with its own
// write bounds (tests shorten them). Throws a message text when a resource
// the device needs cannot be made.
std::unique_ptr<SerialDevice> makeSerialDevice(const WriteLimits& line = kSerialWriteLimits,
                                               const WriteLimits& network = kNetworkWriteLimits);

// The platform's serial line alone; throws as makeSerialDevice does.
std::unique_ptr<SerialDevice> makeSerialLineDevice(const WriteLimits& limits);

}  // namespace slipdrv
