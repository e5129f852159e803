// What the parallel channel asks of the platform: one open LPT port whose
// transfers are bounded by the caller's time-out.
//
// Threads: the parallel channel has no thread of its own. Every member is
// called from the host's thread, one call at a time; nothing overlaps.
#pragma once

#include <cstdint>
#include <memory>

namespace slipdrv {

// How a transfer ended.
enum class Transfer {
    kCompletedAtOnce,  // finished without waiting
    kFailed,           // refused at once
    kCompleted,        // finished within the time-out
    kTimedOut,         // still pending when the time-out expired (it has been cancelled)
    kWaitFailed,       // the wait itself failed
};

class ParallelDevice {
public:
    virtual ~ParallelDevice() = default;

    // Opens LPT<port> and what its transfers need; false leaves it closed.
    virtual bool open(int port) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // `length` is positive. A transfer never outlives the call.
    virtual Transfer write(const std::uint8_t* bytes, int length, int timeoutMs) = 0;
    virtual Transfer read(std::uint8_t* destination, int length, int timeoutMs) = 0;
    // Reads and throws away what the port holds already received, without
    // waiting; a port that holds nothing until asked does nothing.
    virtual void discardReceived() = 0;
};

std::unique_ptr<ParallelDevice> makeParallelDevice();

}  // namespace slipdrv
