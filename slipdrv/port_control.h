// The library-wide state and the transport steps every command export uses.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "channel/ccomm.h"
#include "channel/channel.h"
#include "channel/clpt.h"
#include "slipdrv.h"

namespace slipdrv {

struct LibraryState {
    // Closes the serial port before anything else goes; at the end of the
    // process (processEnding) it leaves the port to the system instead.
    ~LibraryState();

    // Made first and destroyed last; null when it could not be made while the
    // library loaded (COM ports then cannot be opened).
    std::unique_ptr<CComm> serial = makeSerial();
    CLpt parallel;
    SerialChannel serialChannel{serial.get()};
    ParallelChannel parallelChannel{parallel};
    // The channel every command uses: one of the two above (tests put their own here).
    std::atomic<Channel*> active{&parallelChannel};
    // Written by the host's thread, read by the delivery thread.
    std::atomic<BPStatusCallback> hostCallback{nullptr};
    std::atomic<int> delivery{0};
    // Set by the library's entry point when the process ends rather than the
    // library being unloaded.
    std::atomic<bool> processEnding{false};
    // Held by every export that reaches a channel, for all of its steps, so
    // that hosts calling from several threads at once are served one call at
    // a time. Never held while the host's callback runs: the relay to it takes
    // no part in this lock. Recursive because an export that holds it for
    // several steps reaches the channel through ChannelWrite and ChannelRead,
    // which take it too. Left in place, like the serial channel, when the
    // process ends: another thread may still hold it then.
    std::unique_ptr<std::recursive_mutex> exports = std::make_unique<std::recursive_mutex>();

private:
    static std::unique_ptr<CComm> makeSerial();
};

LibraryState& library();

// Holds the library-wide export lock until the returned object goes.
[[nodiscard]] std::unique_lock<std::recursive_mutex> exclusiveUse();

// 0 when the whole run was handed over on the active channel, -1 otherwise.
int ChannelWrite(const std::uint8_t* bytes, int length, int parallelTimeoutMs);
// 0 when a serial read delivered at least one byte or a parallel read completed, -1 otherwise.
int ChannelRead(std::uint8_t* destination, int length, int serialTimeoutMs, int parallelTimeoutMs);
// The serial channel's receive callback: hands the held bytes to the host, one call per byte.
void RelayReceivedBytes(CComm& channel, std::uint32_t userValue);

}  // namespace slipdrv
