// The network transport: a raw TCP connection to a printer, with the receive
// pump a serial line has, so queries, the host's callback and the write
// bounds behave as on a COM port. The socket device is made at the first
// open, so a host that never uses a network printer never starts the
// system's networking.
#pragma once

#include <cstdint>
#include <memory>

#include "com_port.h"
#include "receive_pump.h"
#include "socket_device.h"
#include "transport.h"
#include "write_bounds.h"

namespace slipdrv {

class NetworkPrinter final : public Transport {
public:
    explicit NetworkPrinter(ReceivePump::Relay relay, const WriteLimits& limits = kNetworkWriteLimits);
    ~NetworkPrinter() override;
    NetworkPrinter(const NetworkPrinter&) = delete;
    NetworkPrinter& operator=(const NetworkPrinter&) = delete;

    // Connects (whatever was open is closed first); false when no connection
    // was made. Raises Error("CComm::Open can't create worker thread") as a
    // serial open does (the connection then stays open).
    bool open(const TcpAddress& address);

    bool isOpen() const override;
    bool close() override;
    bool write(std::span<const std::uint8_t> bytes, int transferTimeoutMs) override;
    bool read(std::uint8_t* destination, int length, int timeoutMs) override;
    void discardReceived() override { pump_.discard(); }
    const ReplyTiming* replyTiming() const override { return &kSerialReplyTiming; }
    void cancelWrites() override;

    ReceivePump& pump() { return pump_; }

private:
    WriteLimits limits_;
    // Written only while closed, by the host's thread; read by any.
    std::unique_ptr<SocketDevice> device_;
    ReceivePump pump_;
};

}  // namespace slipdrv
