#include "checked_serial_control.h"

#include <limits>

namespace korvel {
namespace {

void notNegative(std::int16_t value) {
    if (value < 0) raiseInvalidProperty();
}

}  // namespace

void CheckedSerialControl::PortOpen(bool open) {
    if (!open)
        closePort();
    else if (!isOpen())
        openPort(port_);
}

void CheckedSerialControl::CommPort(std::int16_t port) {
    if (port < 1 || port > 16) throw KorvelError(kErrInvalidPort, "Invalid port number");
    if (isOpen() && port != port_) throw KorvelError(kErrPortOpen, "Port already open");
    port_ = port;
}

void CheckedSerialControl::Settings(const std::string& settings) {
    settings_ = parseLineSettings(settings);
    if (isOpen()) applySettings();
}

void CheckedSerialControl::InputMode(std::int32_t mode) {
    if (mode != 0 && mode != 1) raiseInvalidProperty();
}

void CheckedSerialControl::DTREnable(bool enable) {
    dtr_ = enable;
    if (isOpen()) applyDtr();
}

void CheckedSerialControl::RThreshold(std::int16_t count) { notNegative(count); }
void CheckedSerialControl::SThreshold(std::int16_t count) { notNegative(count); }

void CheckedSerialControl::InputLen(std::int16_t length) {
    notNegative(length);
    inputLen_ = length;
}

std::int16_t CheckedSerialControl::InBufferCount() const {
    requireOpen();
    const std::size_t waiting = waitingCount();
    return static_cast<std::int16_t>(waiting > 32767 ? 32767 : waiting);
}

void CheckedSerialControl::InBufferCount(std::int16_t count) {
    if (count != 0) raiseInvalidProperty();
    if (isOpen()) purgeInput();
}

void CheckedSerialControl::OutBufferCount(std::int16_t count) {
    if (count != 0) raiseInvalidProperty();
    if (isOpen()) purgeOutput();
}

void CheckedSerialControl::Output(const Bytes& bytes) {
    requireOpen();
    queueOutput(bytes);
}

// InputLen 0 takes everything buffered.
Bytes CheckedSerialControl::Input() {
    requireOpen();
    return readInput(inputLen_ > 0 ? static_cast<std::size_t>(inputLen_) : std::numeric_limits<std::size_t>::max());
}

void CheckedSerialControl::requireOpen() const {
    if (!isOpen()) throw KorvelError(kErrPortNotOpen, "The port is not open");
}

}  // namespace korvel
