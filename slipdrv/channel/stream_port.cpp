#include "stream_port.h"

namespace slipdrv {

bool StreamPort::isOpen() const {
    const StreamDevice* device = device_.load();
    return device && device->isOpen();
}

void StreamPort::started(StreamDevice& device) {
    device_ = &device;
    pump_.start(device, "CComm::Open can't create worker thread");
}

void StreamPort::stop() {
    pump_.stop();
    if (isOpen()) device_.load()->close();
}

bool StreamPort::close() {
    stop();
    return true;
}

bool StreamPort::write(std::span<const std::uint8_t> bytes, int) {
    return isOpen() && device_.load()->write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

bool StreamPort::read(std::uint8_t* destination, int length, int timeoutMs) {
    return isOpen() && pump_.read(destination, length, timeoutMs) >= 1;
}

void StreamPort::cancelWrites() {
    if (StreamDevice* device = device_.load()) device->cancelWrites();
}

}  // namespace slipdrv
