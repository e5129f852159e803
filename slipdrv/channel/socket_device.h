// What a network printer asks of the platform: one TCP connection to the
// printer's raw port, a stream device (stream_device.h) as a serial line is.
// Both backends follow the threads and overlaps of StreamDevice; where a
// socket differs from a serial line it is said here.
//
// - connect opens it: a raw TCP port has no line settings (the caller has
//   checked the baud rate) and a new connection no stale input.
// - write returns once the system has taken the whole run, under the network
//   printer's bounds; progress is bytes the printer took, not buffer space
//   that opened. A write that fails resets the connection: what the system
//   still holds of the run is dropped, and the port stays hung up until it is
//   closed.
// - A printer that ends its side of the stream (a half-close) has only said it
//   will send nothing more: writes go on until one fails, and reads end at
//   once (receiveEnded).
// - close drops unread input and closes the connection; what earlier writes
//   handed over still goes out.
// - Once the printer has closed the connection, or it was reset, waitReceive
//   ends only by stopWatching: nothing more can arrive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "stream_device.h"
#include "write_bounds.h"

namespace slipdrv {

// How long connect may take, over all the addresses a host name gives (the
// name lookup itself aside).
constexpr std::uint32_t kConnectTimeoutMs = 3000;

// Asked of the system for each connection: the bytes a printer that has
// stopped reading can leave waiting on the host are few, so such a write stops
// making progress after a few dozen KiB rather than megabytes.
constexpr int kSendBufferBytes = 32 * 1024;

class SocketDevice : public StreamDevice {
public:
    // Connects to `host` (a name or a numeric address) at `port`, trying each
    // address in turn; false when no connection was made within the time-out.
    virtual bool connect(const std::string& host, std::uint16_t port) = 0;
};

// Throws an Error when a resource the device needs cannot be made.
std::unique_ptr<SocketDevice> makeSocketDevice(const WriteLimits& limits);

}  // namespace slipdrv
