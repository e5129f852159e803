#include "ccomm.h"

namespace slipdrv {

CComm::CComm(ReceiveCallback callback, std::uint32_t userValue) : CComm(callback, userValue, makeSerialDevice()) {}

CComm::CComm(ReceiveCallback callback, std::uint32_t userValue, std::unique_ptr<SerialDevice> device)
    : CComm(callback, userValue, std::move(device), std::make_shared<std::mutex>()) {}

CComm::CComm(ReceiveCallback callback, std::uint32_t userValue, std::unique_ptr<SerialDevice> device,
             std::shared_ptr<std::mutex> hostGate)
    : device_(std::move(device)),
      pump_(callback ? ReceivePump::Relay([this, callback, userValue](ReceivePump&) { callback(*this, userValue); })
                     : ReceivePump::Relay(),
            std::move(hostGate)) {}

CComm::~CComm() { Close(); }

int CComm::Open(int port, int baud) {
    if (isOpen()) Close();
    if (!device_->open(port)) return 0;
    device_->setUp(baud);
    pump_.start(*device_, "CComm::Open can't create worker thread");
    return 1;
}

void CComm::Close() {
    pump_.stop();
    if (device_->isOpen()) device_->close();
}

int CComm::Write(const std::uint8_t* bytes, std::uint32_t length) { return device_->write(bytes, length) ? 1 : 0; }

bool CComm::close() {
    Close();
    return true;
}

bool CComm::write(std::span<const std::uint8_t> bytes, int) {
    return isOpen() && Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())) == 1;
}

bool CComm::read(std::uint8_t* destination, int length, int timeoutMs) {
    return isOpen() && Read(destination, length, timeoutMs) >= 1;
}

}  // namespace slipdrv
