// What the receive pump asks of a device that sends and receives a stream of
// bytes: a serial line, a network connection or a USB printer. Each kind
// adds its own way of opening (serial_device.h, socket_device.h,
// usb_device.h); once open they are used alike.
//
// Threads (every backend follows this):
// - The host's thread opens, calls write, close, purgeInput and stopWatching,
//   and also isOpen, inQueue and receiveEnded (from reads).
// - Any thread may call cancelWrites, while the host's thread writes.
// - The worker calls watchReceive, waitReceive, inQueue, readPort and isOpen,
//   only between the open and the close that follows; the pump stops the
//   worker before close (or, past the stop bound, terminates it).
// - The delivery thread calls isOpen.
// What overlaps: stopWatching with a pending waitReceive (that is what it is
// for); write with the worker's calls (commands go out while replies come
// in); isOpen and inQueue with anything. isOpen is safe on any thread at any
// time; the rest never runs on two threads at once.
#pragma once

#include <cstdint>

namespace slipdrv {

class StreamDevice {
public:
    virtual ~StreamDevice() = default;

    virtual bool isOpen() const = 0;

    // Closes the device; unread input is dropped.
    virtual void close() = 0;

    // Drops the bytes waiting in the driver's input queue.
    virtual void purgeInput() = 0;

    // Sends the run and waits until it has gone out; true when all `length`
    // bytes went within the device's write bounds. A run that fails is not
    // sent later: what the driver still holds of it is dropped.
    virtual bool write(const std::uint8_t* bytes, std::uint32_t length) = 0;

    // From any thread, ahead of a close: the write in progress fails at once,
    // and so does every write until the next open.
    virtual void cancelWrites() = 0;

    // True once nothing more can arrive and everything that came before is
    // in the pump's hands (the worker has seen the end of the stream): a read
    // need not wait for more. A serial line never says so.
    virtual bool receiveEnded() const { return false; }

    // Bytes waiting in the driver's input queue; 0 when closed.
    virtual std::uint32_t inQueue() = 0;

    // Reads at most `maximum` of the bytes waiting in the input queue.
    virtual std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) = 0;

    // Worker side: watch for received bytes; false when that fails.
    virtual bool watchReceive() = 0;

    // Blocks until bytes were received (true) or the wait was ended by
    // stopWatching or an error (false).
    virtual bool waitReceive() = 0;

    // Ends a pending waitReceive, from another thread.
    virtual void stopWatching() = 0;
};

}  // namespace slipdrv
