// A receipt printer played on a pseudo-terminal or behind a TCP port, for
// tests and for trying the library without hardware. The client opens
// devicePath() as it would open a serial port, or connects to 127.0.0.1 at
// tcpPort() as it would reach a network printer; the printer records every
// byte the client writes, answers requests with bytes the test chooses or
// from a printer state, sends bursts, can stop reading, and can hang up.
//
// Every member may be called from any thread. The printer's own thread reads
// the line, answers, and calls the receive handler (without the lock held).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "escpos_decoder.h"
#include "printer_state.h"

namespace vprinter {

class VirtualPrinter {
public:
    // The TCP port a network printer listens on; 0 lets the system pick a free one.
    struct TcpPort {
        std::uint16_t number = 0;
    };

    // Called on the printer's thread with each chunk as it is read from the
    // line, in order, after it has been added to received().
    using ReceiveHandler = std::function<void(std::span<const std::uint8_t>)>;

    // Opens the master side in raw mode, holds a slave descriptor of its own so
    // that the master never sees a hang-up when the client closes, and starts the
    // reader thread. Throws std::system_error when no pseudo-terminal is available.
    VirtualPrinter();
    // Listens on 127.0.0.1 at `port` and serves one client at a time: a second
    // connection waits, unanswered, until the first has ended. The connection
    // has a small receive buffer, as a printer has, so that a printer that
    // stops reading backs up the client's writes after a few KiB. Throws
    // std::system_error when the port cannot be had.
    explicit VirtualPrinter(TcpPort port);
    ~VirtualPrinter();
    VirtualPrinter(const VirtualPrinter&) = delete;
    VirtualPrinter& operator=(const VirtualPrinter&) = delete;

    // The slave device (/dev/pts/N) a client opens; empty behind a TCP port.
    const std::string& devicePath() const;
    // The port a network printer listens on; 0 on a pseudo-terminal.
    std::uint16_t tcpPort() const;
    // Clients accepted so far behind a TCP port.
    std::size_t connections() const;

    // Every byte received since construction or the last clear(), in order.
    std::vector<std::uint8_t> received() const;
    // Waits until received() holds at least `count` bytes; false on time-out.
    bool waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    void clear();

    // Writes to the line now; what the line cannot take yet is written by the
    // printer's thread as the client reads. Behind a TCP port, bytes sent while
    // no client is connected wait for the next one. Throws std::logic_error
    // after hangUp() on a pseudo-terminal.
    void send(const std::vector<std::uint8_t>& bytes);
    // Sends once after `delay`, from the printer's thread; returns at once.
    void sendAfter(std::chrono::milliseconds delay, std::vector<std::uint8_t> bytes);
    // Each time the bytes received since the last clear() end with `request`,
    // sends `reply` after `delay`. A rule for the same request replaces the old
    // one; rules stay until clearRules(). Throws std::invalid_argument for an
    // empty request.
    void replyTo(std::vector<std::uint8_t> request, std::vector<std::uint8_t> reply,
                 std::chrono::milliseconds delay = {});
    void clearRules();

    // From the first call on, the printer also answers the status,
    // identification and memory-switch requests (see PrinterState) from
    // `conditions`; before it, only the rules answer. A request that a rule
    // answers gets no answer from the state. When automatic status is on and
    // the change concerns it, the status is sent at once.
    void setConditions(Conditions conditions);
    // The conditions now: DLE ENQ may have cleared an error since they were set.
    Conditions conditions() const;
    // The NV graphics kept from earlier runs, for the graphics queries.
    void setNvGraphics(escpos::GraphicsStore nv);

    // Closes the master and the held slave descriptor: the client's port sees a
    // hang-up (POLLHUP, reads end, writes fail with EIO). Pending sends are
    // dropped; received() keeps what arrived before. Behind a TCP port it
    // closes the client's connection (if any) the same way, and the printer
    // serves the next client.
    void hangUp();
    // Stops (false) or resumes (true) reading the line. While stopped the
    // client's writes back up in the line's buffers, as with a stalled printer.
    void setReading(bool on);
    // Reads `count` more bytes, then stops reading as setReading(false) does
    // (a printer that jams part-way through a job).
    void stopReadingAfter(std::size_t count);
    // Says whether the printer's input buffer is full: while it is, the
    // printer reads nothing more from the line (its flow control), so the
    // client's writes back up; it still answers what it has read, sends,
    // and hangs up. Apart from setReading() and stopReadingAfter(), which
    // it neither changes nor is changed by.
    void setBufferFull(bool full);

    void onReceive(ReceiveHandler handler);

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kUnlimited = static_cast<std::size_t>(-1);
    struct Rule {
        std::vector<std::uint8_t> request;
        std::vector<std::uint8_t> reply;
        std::chrono::milliseconds delay;
    };

    void run();
    void acceptClient();
    void wake() const;
    void readLine(std::size_t most);
    void receiveLocked(std::span<const std::uint8_t> chunk);
    void commandLocked(const escpos::Command& command);
    void queueLocked(const std::vector<std::uint8_t>& bytes);
    void flushLocked();
    void sendDueLocked();
    void closeLineLocked();

    std::string path_;
    // The pseudo-terminal's master, or the client's connection; -1 when there
    // is none. Only the printer's thread closes or replaces it, under the lock.
    int line_ = -1;
    int heldSlave_ = -1;
    int listener_ = -1;  // behind a TCP port
    std::uint16_t tcpPort_ = 0;
    std::size_t connections_ = 0;
    int wakeFd_ = -1;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::uint8_t> received_;
    std::vector<Rule> rules_;
    // The received stream is decoded so that the state can answer requests.
    // Offsets count every byte since construction (clear() does not reset them).
    escpos::Decoder decoder_;
    PrinterState state_;
    bool answering_ = false;                    // setConditions() was called
    std::uint64_t streamOffset_ = 0;            // bytes received so far
    std::deque<std::uint64_t> answeredByRule_;  // stream offsets where a rule's request ended
    // Answers due for the chunk being received, by the offset of their request's end.
    std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> answers_;
    std::multimap<Clock::time_point, std::vector<std::uint8_t>> timed_;
    std::vector<std::uint8_t> pending_;  // bytes waiting for room on the line, from pendingSent_ on
    std::size_t pendingSent_ = 0;
    ReceiveHandler handler_;
    bool reading_ = true;
    bool bufferFull_ = false;
    std::size_t readAllowance_ = kUnlimited;  // bytes it may still read
    bool hangUpRequested_ = false;
    bool hungUp_ = false;  // on a pseudo-terminal: for good
    bool stop_ = false;

    std::thread thread_;
};

}  // namespace vprinter
