#include "port_control.h"

#include <climits>
#include <cstring>
#include <string>

#include "channel/com_port.h"
#include "command_row.h"
#include "gb18030.h"

namespace slipdrv {
namespace {

constexpr int kRelayReadTimeoutMs = 50;

// Constructed when the library loads, before any export can be called.
LibraryState state;

// Closes the COM kind's port when the next open chooses another transport
// for it: opening a COM port closes the one opened before, whichever it was.
void closeComPortFor(Transport& next) {
    Transport& current = *state.comPort.load();
    if (&current != &next && current.isOpen()) current.close();
    state.comPort = &next;
    state.active = &next;
}

// COM<port> on its serial line, or on the network printer its mapping names;
// the baud rate has been checked.
bool openComPort(int port, int baud) {
    const std::string setting = comPortSetting(port);
    if (!namesNetworkPrinter(setting)) {
        if (!state.serial) return false;
        closeComPortFor(*state.serial);
        return state.serial->Open(port, baud) == 1;
    }
    if (!state.network) {
        state.network = std::make_unique<NetworkPrinter>([](ReceivePump& pump) { RelayReceivedBytes(pump); });
    }
    closeComPortFor(*state.network);
    const auto address = parseTcpAddress(setting);
    if (!address) {
        state.network->close();
        return false;
    }
    return state.network->open(*address);
}

}  // namespace

std::unique_ptr<CComm> LibraryState::makeSerial() {
    try {
        return std::make_unique<CComm>(static_cast<CComm::ReceiveCallback>(RelayReceivedBytes), 0);
    } catch (...) {
        // The library still loads; only its serial line is unusable.
        return nullptr;
    }
}

LibraryState::~LibraryState() {
    if (processEnding) {
        // The ports' threads are gone and their locks may be held: leave them.
        [[maybe_unused]] CComm* abandoned = serial.release();
        [[maybe_unused]] NetworkPrinter* abandonedNetwork = network.release();
        [[maybe_unused]] std::recursive_mutex* held = exports.release();
        return;
    }
    if (network) network->close();
    if (serial) serial->Close();
}

LibraryState& library() { return state; }

std::unique_lock<std::recursive_mutex> exclusiveUse() { return std::unique_lock(*state.exports); }

int ChannelWrite(const std::uint8_t* bytes, int length, int transferTimeoutMs) {
    if (length < 0) return -1;
    const auto lock = exclusiveUse();
    return state.active.load()->write({bytes, static_cast<std::size_t>(length)}, transferTimeoutMs) ? 0 : -1;
}

int ChannelRead(std::uint8_t* destination, int length, int timeoutMs) {
    const auto lock = exclusiveUse();
    return state.active.load()->read(destination, length, timeoutMs) ? 0 : -1;
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
    if (port >= 11) {
        state.active = &state.parallel;
        return state.parallel.Open(port - 10) == 1 ? 0 : -1;
    }
    // The kind is switched before the baud rate is looked at.
    state.active = state.comPort.load();
    if (baud < 2400 || baud > 115200) return -1;
    return exportResult([&] { return openComPort(port, baud) ? 0 : -1; });
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
        const auto bytes = utf8ToGb18030(text, INT_MAX);
        if (!bytes) return -1;
        // Empty text is a write of no bytes, as BPPrintString makes it.
        const auto* data = bytes->empty() ? reinterpret_cast<const std::uint8_t*>(text) : bytes->data();
        return ChannelWrite(data, static_cast<int>(bytes->size()), kCommandTimeoutMs);
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
