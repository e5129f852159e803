// The library-wide state and the transport steps every command export uses.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>

#include "bill_row.h"
#include "channel/ccomm.h"
#include "channel/clpt.h"
#include "channel/network_printer.h"
#include "channel/port_name.h"
#include "channel/printer_queue.h"
#include "channel/transport.h"
#include "channel/usb_printer.h"
#include "channel/usb_printer_port.h"
#include "error.h"
#include "slipdrv.h"

namespace slipdrv {

// A kind of port with nothing chosen yet (a port named by text before the
// first such open), or the COM kind while the serial line could not be made
// when the library loaded: never open, so every command on it fails.
class NoPort final : public Transport {
public:
    bool isOpen() const override { return false; }
    bool close() override { return true; }
    bool write(std::span<const std::uint8_t>, int) override { return false; }
    bool read(std::uint8_t*, int, int) override { return false; }
    void discardReceived() override {}
    const ReplyTiming* replyTiming() const override { return &kSerialReplyTiming; }
};

// The ports one kind of open reaches besides its own line: the printers
// SLIPDRV_COM<n> or SLIPDRV_LPT<n> name, or those a host names by text. Each
// is made at its first open, so a host that never uses one never starts the
// system's networking, spooler or USB enumeration.
struct MappedPorts {
    // The port that the last open of this kind chose. Changed by the host's
    // thread under the export lock.
    std::atomic<Transport*> current;
    std::unique_ptr<NetworkPrinter> network;
    std::unique_ptr<PrinterQueue> queue;
    std::unique_ptr<UsbPrinterPort> usb;

    explicit MappedPorts(Transport& initial) : current(&initial) {}
    void closeAll();
    // Waits for the delivery threads their pumps let go (see ReceivePump).
    void awaitDeparted();
    // At the end of the process: their threads are gone and their locks may be held.
    void abandon();
};

struct LibraryState {
    // Closes the ports and waits for any delivery thread they let go inside
    // the host's code, before anything else goes; at the end of the process
    // (processEnding) it leaves them to the system instead.
    ~LibraryState();

    // Held by every export that reaches a port, for all of its steps, so
    // that hosts calling from several threads at once are served one call at
    // a time. Never held while the host's callback runs: the relay to it takes
    // no part in this lock. Recursive because an export that holds it for
    // several steps reaches the port through ChannelWrite and ChannelRead,
    // which take it too. Made first and destroyed last, and left in place,
    // like the serial line, when the process ends: another thread may still
    // hold it then.
    std::unique_ptr<std::recursive_mutex> exports = std::make_unique<std::recursive_mutex>();
    // Held around every call of the host's callback, by the delivery threads
    // of every port: the host's code never runs on two of them at once.
    std::shared_ptr<std::mutex> hostGate = std::make_shared<std::mutex>();
    // Null when it could not be made while the library loaded (serial lines
    // then cannot be opened).
    std::unique_ptr<CComm> serial = makeSerial(hostGate);
    CLpt parallel;
    NoPort noPort;
    // What COM<n>, LPT<n> and ports named by text (tcp://, printer:, usb:)
    // reach: the serial line, the parallel port, or the printer a mapping or
    // text names.
    MappedPorts com{serial ? static_cast<Transport&>(*serial) : noPort};
    MappedPorts lpt{parallel};
    MappedPorts named{noPort};
    // The port every command uses: the current port of the kind last opened
    // (tests put their own here).
    std::atomic<Transport*> active{&parallel};
    // The USB printers attached, asked at each usb: open; made at the first
    // (tests put a list of their own here).
    std::unique_ptr<UsbPrinterList> usbPrinters;
    // Written by the host's thread, read by the delivery thread.
    std::atomic<BPStatusCallback> hostCallback{nullptr};
    std::atomic<int> delivery{0};
    // What the UTF-8 exports send text in (BPSetTextEncoding): the library's
    // setting, kept across open and close.
    std::atomic<TextEncoding> textEncoding{TextEncoding::kGb18030};
    // The printer's Chinese mode as the library's own commands last left it;
    // unknown again whenever a port is opened or the printer initialized.
    std::atomic<ChineseMode> chineseMode{ChineseMode::kUnknown};
    // Set by the library's entry point when the process ends rather than the
    // library being unloaded.
    std::atomic<bool> processEnding{false};

private:
    static std::unique_ptr<CComm> makeSerial(const std::shared_ptr<std::mutex>& hostGate);
};

LibraryState& library();

// Holds the library-wide export lock until the returned object goes.
[[nodiscard]] std::unique_lock<std::recursive_mutex> exclusiveUse();

// The one place where what goes wrong inside the library becomes an export's
// result: the body's result, or -1 when it raised.
template <typename Body>
int exportResult(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        // An Error of the library's, memory, or what the system's thread or
        // spooler library raised: nothing crosses into the host.
        return -1;
    }
}

// The baud rates a COM port opens at.
constexpr int kLowestBaud = 2400;
constexpr int kHighestBaud = 115200;

// 0 when the whole run was handed over on the active port, -1 otherwise.
// `transferTimeoutMs` bounds the transfer on a port that takes its caller's bound.
int ChannelWrite(const std::uint8_t* bytes, int length, int transferTimeoutMs);
// ChannelWrite of the command that completes a receipt (the cut): a port that
// gathers jobs then hands this one to the printer; -1 when that failed too.
int ChannelWriteEndingJob(const std::uint8_t* bytes, int length, int transferTimeoutMs);
// Opens the printer `target` names as `ports`'s current port, after closing
// the one that kind had open; the active port is then that one. False when
// it could not be opened. Raises an Error as a serial open does.
bool openMappedPort(MappedPorts& ports, const std::variant<TcpAddress, QueueName, UsbSelector>& target);
// 0 when reply bytes were read on the active port within `timeoutMs`, -1 otherwise.
int ChannelRead(std::uint8_t* destination, int length, int timeoutMs);
// The receive relay of every port that receives: hands the held bytes to the
// host, one call per byte.
void RelayReceivedBytes(ReceivePump& pump);
// The serial line's receive callback: the relay over its pump.
void RelayReceivedBytes(CComm& channel, std::uint32_t userValue);

}  // namespace slipdrv
