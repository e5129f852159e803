// The port every export talks to, whatever its kind: serial line, parallel
// port, network printer, printer queue or USB printer (and, in the tests, an
// in-memory stand-in). The port control holds one transport as the active
// port; commands reach the printer through write and read its replies
// through read, and take the timing of their reply reads from the transport,
// so no command code asks which kind of port it has.
#pragma once

#include <cstdint>
#include <span>

namespace slipdrv {

// How a port's replies are waited for: set by its kind.
struct ReplyTiming {
    // The pause between a one-byte query's request and its first reply read,
    // and the bound of all its reply reads together.
    int queryPauseMs;
    int queryReplyTimeoutMs;
    // The same for the memory-switch query, whose eleven bytes come together.
    int memorySwitchPauseMs;
    int memorySwitchTimeoutMs;
};

// Called from the host's thread only (the exports are served one at a time),
// except cancelWrites.
class Transport {
public:
    virtual ~Transport() = default;

    virtual bool isOpen() const = 0;

    // Closes the port; false when what it still held for the printer could
    // not be handed on (a queue's last job). Closing a closed port is true.
    virtual bool close() = 0;

    // True when the whole run was handed over. `transferTimeoutMs` is the
    // command's own bound, for a port whose transfers are each bounded by
    // their caller (the parallel port); other ports keep their own bounds.
    virtual bool write(std::span<const std::uint8_t> bytes, int transferTimeoutMs) = 0;

    // True when reply bytes were read within `timeoutMs`: at least one byte
    // on a port that delivers what has come (serial, network, USB), the
    // whole read on one whose transfers complete (parallel).
    virtual bool read(std::uint8_t* destination, int length, int timeoutMs) = 0;

    // Forgets what the printer sent and nobody has read yet, so that the reply
    // to a request sent next is not mistaken for an older byte.
    virtual void discardReceived() = 0;

    // The timing of reply reads; null for a port that carries no replies (a
    // printer queue): queries then fail at once with nothing sent.
    virtual const ReplyTiming* replyTiming() const = 0;

    // The receipt is complete (the paper was cut): a port that gathers bytes
    // into jobs hands the current one to the printer. False when that failed.
    virtual bool endJob() { return true; }

    // From any thread, ahead of a close: ends a write that waits on the
    // printer (it fails), so that the close need not wait behind it. A port
    // whose writes are bounded by a short time-out of their own needs nothing.
    virtual void cancelWrites() {}
};

// The timing of the two kinds the library started with; a new kind of port
// that receives as a serial line does (network, USB) takes the serial one.
inline constexpr ReplyTiming kSerialReplyTiming{50, 500, 300, 3000};
inline constexpr ReplyTiming kParallelReplyTiming{100, 3000, 0, 3000};

}  // namespace slipdrv
