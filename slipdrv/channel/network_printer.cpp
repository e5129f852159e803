#include "network_printer.h"

#include "error.h"

namespace slipdrv {

NetworkPrinter::NetworkPrinter(ReceivePump::Relay relay, const WriteLimits& limits)
    : limits_(limits), pump_(std::move(relay)) {}

NetworkPrinter::~NetworkPrinter() { close(); }

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
    pump_.start(*device_, "CComm::Open can't create worker thread");
    return true;
}

bool NetworkPrinter::isOpen() const { return device_ && device_->isOpen(); }

bool NetworkPrinter::close() {
    pump_.stop();
    if (isOpen()) device_->close();
    return true;
}

bool NetworkPrinter::write(std::span<const std::uint8_t> bytes, int) {
    return isOpen() && device_->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

bool NetworkPrinter::read(std::uint8_t* destination, int length, int timeoutMs) {
    return isOpen() && pump_.read(destination, length, timeoutMs) >= 1;
}

void NetworkPrinter::cancelWrites() {
    if (device_) device_->cancelWrites();
}

}  // namespace slipdrv
