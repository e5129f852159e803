#include "network_printer.h"

#include "error.h"

namespace slipdrv {

NetworkPrinter::NetworkPrinter(ReceivePump::Relay relay, const WriteLimits& limits,
                               std::shared_ptr<std::mutex> hostGate)
    : StreamPort(std::move(relay), std::move(hostGate)), limits_(limits) {}

NetworkPrinter::~NetworkPrinter() { stop(); }

bool NetworkPrinter::open(const TcpAddress& address) {
    close();
    if (!device_) {
        try {
            device_ = makeSocketDevice(limits_);
        } catch (const Error&) {
            return false;
        }
    }
    if (!device_->connect(address.host, address.port)) return false;
    started(*device_);
    return true;
}

}  // namespace slipdrv
