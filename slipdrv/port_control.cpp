#include "port_control.h"

#include <climits>
#include <cstring>
#include <string>
#include <variant>

#include "channel/com_port.h"
#include "command_row.h"
#include "encodings.h"

namespace slipdrv {
namespace {

constexpr int kRelayReadTimeoutMs = 50;
// A bill row is a few hundred bytes; a text that wraps into more than this
// (a long text in a narrow cell beside wide ones) is refused rather than held.
constexpr std::size_t kMostRowBytes = std::size_t{1} << 24;

// Constructed when the library loads, before any export can be called.
LibraryState state;

void relay(ReceivePump& pump) { RelayReceivedBytes(pump); }

// Makes `next` the kind's current port and the active one, closing the port
// the kind had open before when it is another: opening a port of a kind
// closes the one of that kind opened before, whichever it was.
void choose(MappedPorts& ports, Transport& next) {
    Transport& current = *ports.current.load();
    if (&current != &next && current.isOpen()) current.close();
    ports.current = &next;
    state.active = &next;
}

UsbPrinterList& usbPrinters() {
    if (!state.usbPrinters) state.usbPrinters = makeUsbPrinterList();
    return *state.usbPrinters;
}

template <typename... Cases>
struct Overloaded : Cases... {
    using Cases::operator()...;
};
template <typename... Cases>
Overloaded(Cases...) -> Overloaded<Cases...>;

// What SLIPDRV_<kind><n> says of the port: another kind's printer, nothing of
// ours (the port's own device), or a value that names nothing (the open fails).
// Opens the kind's port as its mapping says; `own` opens its own device.
template <typename OpenOwn>
bool openPort(MappedPorts& ports, Transport& own, const std::string& setting, OpenOwn&& openOwn) {
    return std::visit(Overloaded{
                          [&](const OtherSetting&) {
                              choose(ports, own);
                              return openOwn();
                          },
                          [&](const BadSetting&) {
                              Transport& current = *ports.current.load();
                              if (current.isOpen()) current.close();
                              state.active = &current;
                              return false;
                          },
                          [&](const auto& target) { return openMappedPort(ports, target); },
                      },
                      parsePortMapping(setting));
}

}  // namespace

std::unique_ptr<CComm> LibraryState::makeSerial(const std::shared_ptr<std::mutex>& hostGate) {
    try {
        return std::make_unique<CComm>(static_cast<CComm::ReceiveCallback>(RelayReceivedBytes), 0, makeSerialDevice(),
                                       hostGate);
    } catch (...) {
        // The library still loads; only its serial line is unusable.
        return nullptr;
    }
}

void MappedPorts::closeAll() {
    if (network) network->close();
    if (queue) queue->close();
    if (usb) usb->close();
}

void MappedPorts::awaitDeparted() {
    if (network) network->pump().awaitDeparted();
    if (usb) usb->pump().awaitDeparted();
}

void MappedPorts::abandon() {
    [[maybe_unused]] NetworkPrinter* leftNetwork = network.release();
    [[maybe_unused]] PrinterQueue* leftQueue = queue.release();
    [[maybe_unused]] UsbPrinterPort* leftUsb = usb.release();
}

LibraryState::~LibraryState() {
    if (processEnding) {
        // The ports' threads are gone and their locks may be held: leave them.
        [[maybe_unused]] CComm* abandoned = serial.release();
        for (MappedPorts* ports : {&com, &lpt, &named}) ports->abandon();
        [[maybe_unused]] std::recursive_mutex* held = exports.release();
        return;
    }
    for (MappedPorts* ports : {&com, &lpt, &named}) ports->closeAll();
    if (serial) serial->Close();
    // A callback still running may call an export: everything stays until it has returned.
    for (MappedPorts* ports : {&com, &lpt, &named}) ports->awaitDeparted();
    if (serial) serial->pump().awaitDeparted();
}

bool openMappedPort(MappedPorts& ports, const std::variant<TcpAddress, QueueName, UsbSelector>& target) {
    return std::visit(
        Overloaded{
            [&](const TcpAddress& address) {
                if (!ports.network) {
                    ports.network = std::make_unique<NetworkPrinter>(relay, kNetworkWriteLimits, state.hostGate);
                }
                choose(ports, *ports.network);
                return ports.network->open(address);
            },
            [&](const QueueName& queue) {
                if (!ports.queue) ports.queue = std::make_unique<PrinterQueue>(systemSpooler());
                choose(ports, *ports.queue);
                return ports.queue->open(queue.name);
            },
            [&](const UsbSelector& selector) {
                if (!ports.usb) {
                    ports.usb = std::make_unique<UsbPrinterPort>(relay, kSerialWriteLimits, state.hostGate);
                }
                choose(ports, *ports.usb);
                return ports.usb->open(selector, usbPrinters());
            },
        },
        target);
}

LibraryState& library() { return state; }

std::unique_lock<std::recursive_mutex> exclusiveUse() { return std::unique_lock(*state.exports); }

int ChannelWrite(const std::uint8_t* bytes, int length, int transferTimeoutMs) {
    if (length < 0) return -1;
    return exportResult([&] {
        const auto lock = exclusiveUse();
        return state.active.load()->write({bytes, static_cast<std::size_t>(length)}, transferTimeoutMs) ? 0 : -1;
    });
}

int ChannelWriteEndingJob(const std::uint8_t* bytes, int length, int transferTimeoutMs) {
    return exportResult([&] {
        const auto lock = exclusiveUse();
        if (ChannelWrite(bytes, length, transferTimeoutMs) != 0) return -1;
        return state.active.load()->endJob() ? 0 : -1;
    });
}

int ChannelRead(std::uint8_t* destination, int length, int timeoutMs) {
    return exportResult([&] {
        const auto lock = exclusiveUse();
        return state.active.load()->read(destination, length, timeoutMs) ? 0 : -1;
    });
}

void RelayReceivedBytes(ReceivePump& pump) {
    if (state.delivery == 0 || !state.hostCallback.load() || !pump.isOpen()) return;
    const std::int32_t n = pump.count();
    for (std::int32_t i = 0; i < n && !pump.deliveryStopping(); ++i) {
        std::uint8_t received = 0;
        // Nothing came: a query has taken or discarded the bytes counted; the
        // next batch brings this thread back.
        if (pump.read(&received, 1, kRelayReadTimeoutMs) < 1) return;
        // Looked at again for every byte: the host may switch delivery off meanwhile.
        const BPStatusCallback callback = state.hostCallback.load();
        if (state.delivery == 0 || !callback) continue;
        // False: the pump let this thread go while the host's code ran; it
        // must touch nothing more (the library may even be unloading).
        if (!pump.callHost([&] { callback(received); })) return;
    }
}

void RelayReceivedBytes(CComm& channel, std::uint32_t) { RelayReceivedBytes(channel.pump()); }

}  // namespace slipdrv

using namespace slipdrv;

extern "C" {

int SLIPDRV_CALL BPOpenPrinter(int port, int baud) {
    if (port < 1 || port > 12) return -1;
    const auto lock = exclusiveUse();
    // Whatever printer is there now, the library has not set its mode.
    state.chineseMode = ChineseMode::kUnknown;
    if (port >= 11) {
        return exportResult([&] {
            return openPort(state.lpt, state.parallel, portSetting("LPT", port - 10),
                            [&] { return state.parallel.Open(port - 10) == 1; })
                       ? 0
                       : -1;
        });
    }
    // The kind is switched before the baud rate is looked at.
    state.active = state.com.current.load();
    if (baud < kLowestBaud || baud > kHighestBaud) return -1;
    return exportResult([&] {
        Transport& own = state.serial ? static_cast<Transport&>(*state.serial) : state.noPort;
        return openPort(state.com, own, comPortSetting(port),
                        [&] { return state.serial && state.serial->Open(port, baud) == 1; })
                   ? 0
                   : -1;
    });
}

int SLIPDRV_CALL BPClosePrinter(void) {
    // A print another thread has under way holds the export lock for as long
    // as the printer takes; it is ended first, so the close does not wait out
    // the write bounds behind it.
    state.active.load()->cancelWrites();
    const auto lock = exclusiveUse();
    Transport& active = *state.active.load();
    // A port that could not hand on what it still held (a queue's last job) fails the close.
    if (active.isOpen() && !active.close()) return -1;
    return 0;
}

int SLIPDRV_CALL BPPrintString(const char* text) {
    if (!text) return -1;
    return ChannelWrite(reinterpret_cast<const std::uint8_t*>(text), static_cast<int>(std::strlen(text)),
                        kCommandTimeoutMs);
}

int SLIPDRV_CALL BPPrintStringUTF8(const char* text) {
    if (!text) return -1;
    return exportResult([&] {
        // As long as one write can be: ChannelWrite takes an int.
        const auto bytes = convertUtf8(text, state.textEncoding, INT_MAX);
        if (!bytes) return -1;
        // Empty text is a write of no bytes, as BPPrintString makes it.
        const auto* data = bytes->empty() ? reinterpret_cast<const std::uint8_t*>(text) : bytes->data();
        return ChannelWrite(data, static_cast<int>(bytes->size()), kCommandTimeoutMs);
    });
}

int SLIPDRV_CALL BPSetTextEncoding(int encoding) {
    if (encoding < static_cast<int>(TextEncoding::kGb18030) || encoding > static_cast<int>(TextEncoding::kUtf8))
        return -1;
    state.textEncoding = static_cast<TextEncoding>(encoding);
    return 0;
}

int SLIPDRV_CALL BPPrintRowUTF8(const char* cells, const char* layout) {
    if (!cells || !layout) return -1;
    return exportResult([&] {
        // The mode is read, used and recorded as one step with the write.
        const auto lock = exclusiveUse();
        const auto row = layOutRow(cells, layout, state.textEncoding, state.chineseMode, kMostRowBytes);
        if (!row) return -1;
        const int result = ChannelWrite(row->bytes.data(), static_cast<int>(row->bytes.size()), kCommandTimeoutMs);
        // After a failed write the printer may have had any part of the row.
        state.chineseMode = result == 0 ? row->modeAfter : ChineseMode::kUnknown;
        return result;
    });
}

int SLIPDRV_CALL BPEnableCallBackFunc(int flag) {
    state.delivery = flag != 0 ? 1 : 0;
    return 0;
}

int SLIPDRV_CALL BPSetCallBackFunc(BPStatusCallback callback) {
    if (!callback) return -1;
    state.hostCallback = callback;
    return 0;
}

}  // extern "C"
