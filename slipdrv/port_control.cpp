#include "port_control.h"

#include <cstring>

namespace slipdrv {
namespace {

constexpr int kRelayReadTimeoutMs = 50;
constexpr int kPrintStringTimeoutMs = 3000;

// Constructed when the library loads, before any export can be called.
LibraryState state;

bool serialOpen() { return state.serial && state.serial->IsOpen(); }

}  // namespace

LibraryState::LibraryState() {
    try {
        serial = std::make_unique<CComm>(RelayReceivedBytes, 0);
    } catch (...) {
        // The library still loads; only its serial channel is unusable.
    }
}

LibraryState& library() { return state; }

int ChannelWrite(const std::uint8_t* bytes, int length, int parallelTimeoutMs) {
    if (state.active == kSerial) {
        if (!serialOpen()) return -1;
        return state.serial->Write(bytes, static_cast<std::uint32_t>(length)) == 1 ? 0 : -1;
    }
    if (!state.parallel.IsOpen()) return -1;
    std::uint8_t waitStatus = 0;
    return state.parallel.Write(bytes, length, parallelTimeoutMs, &waitStatus) == 1 ? 0 : -1;
}

int ChannelRead(std::uint8_t* destination, int length, int serialTimeoutMs, int parallelTimeoutMs) {
    if (state.active == kSerial) {
        if (!serialOpen()) return -1;
        return state.serial->Read(destination, length, serialTimeoutMs) >= 1 ? 0 : -1;
    }
    if (!state.parallel.IsOpen()) return -1;
    std::uint8_t waitStatus = 0;
    return state.parallel.Read(destination, length, parallelTimeoutMs, &waitStatus) == 1 ? 0 : -1;
}

void RelayReceivedBytes(CComm& channel, std::uint32_t) {
    if (state.delivery == 0 || !state.hostCallback.load() || !channel.IsOpen()) return;
    const std::int32_t n = channel.ReceiveCount();
    for (std::int32_t i = 0; i < n; ++i) {
        std::int32_t local = 0;
        if (channel.Read(reinterpret_cast<std::uint8_t*>(&local), 1, kRelayReadTimeoutMs) < 1) continue;
        // Looked at again for every byte: the host may switch delivery off meanwhile.
        const BPStatusCallback callback = state.hostCallback.load();
        if (state.delivery != 0 && callback) callback(local);
    }
}

}  // namespace slipdrv

using namespace slipdrv;

extern "C" {

int SLIPDRV_CALL BPOpenPrinter(int port, int baud) {
    if (port < 1 || port > 12) return -1;
    if (port >= 11) {
        state.active = kParallel;
        return state.parallel.Open(port - 10) == 1 ? 0 : -1;
    }
    // The kind is switched before the baud rate is looked at.
    state.active = kSerial;
    if (baud < 2400 || baud > 115200) return -1;
    if (!state.serial) return -1;
    try {
        return state.serial->Open(port, baud) == 1 ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

int SLIPDRV_CALL BPClosePrinter(void) {
    if (state.active == kSerial) {
        if (serialOpen()) state.serial->Close();
    } else if (state.parallel.IsOpen()) {
        state.parallel.Close();
    }
    return 0;
}

int SLIPDRV_CALL BPPrintString(const char* text) {
    if (!text) return -1;
    return ChannelWrite(reinterpret_cast<const std::uint8_t*>(text), static_cast<int>(std::strlen(text)),
                        kPrintStringTimeoutMs);
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
