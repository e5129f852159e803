// The network transport: a raw TCP connection to a printer (tcp://HOST:PORT),
// received as a serial line is. The socket device is made at the first open,
// so a host that never uses a network printer never starts the system's
// networking.
#pragma once

#include <memory>

#include "com_port.h"
#include "socket_device.h"
#include "stream_port.h"
#include "write_bounds.h"

namespace slipdrv {

class NetworkPrinter final : public StreamPort {
public:
    // `hostGate` as for ReceivePump.
    explicit NetworkPrinter(ReceivePump::Relay relay, const WriteLimits& limits = kNetworkWriteLimits,
                            std::shared_ptr<std::mutex> hostGate = std::make_shared<std::mutex>());
    ~NetworkPrinter() override;

    // Connects (whatever was open is closed first); false when no connection
    // was made. Raises as StreamPort::started does.
    bool open(const TcpAddress& address);

private:
    WriteLimits limits_;
    std::unique_ptr<SocketDevice> device_;
};

}  // namespace slipdrv
