// The serial control the sender's form drives: a port with properties that
// are set one by one and take effect as a communications control's do.
// Settings made while the port is closed are kept and applied when it opens.
// CheckedSerialControl (checked_serial_control.h) checks every property for
// all platforms; a backend derives from it.
//
// Errors of the control (KorvelError numbers and descriptions):
//   380   Invalid property value          (a bad Settings text, InputMode, threshold or length)
//   8002  Invalid port number             (CommPort outside 1 to 16)
//   8005  Port already open               (CommPort changed while open; or the port is held by another user)
//   8010  The port is not available: ...  (the device cannot be opened; the reason follows)
//   8012  The port is not open            (Input, Output or InBufferCount read on a closed port)
//   8015  Could not set the line settings (the device refused them)
//   8020  Error reading the port
//   8021  Error writing the port
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "korvel_error.h"

namespace korvel {

constexpr int kErrInvalidProperty = KORVEL_ERR_INVALID_PROPERTY;
constexpr int kErrInvalidPort = KORVEL_ERR_INVALID_PORT;
constexpr int kErrPortOpen = KORVEL_ERR_PORT_OPEN;
constexpr int kErrPortUnavailable = KORVEL_ERR_PORT_UNAVAILABLE;
constexpr int kErrPortNotOpen = KORVEL_ERR_PORT_NOT_OPEN;
constexpr int kErrSetState = KORVEL_ERR_SET_LINE;
constexpr int kErrRead = KORVEL_ERR_READ;
constexpr int kErrWrite = KORVEL_ERR_WRITE;

[[noreturn]] inline void raiseInvalidProperty() { throw KorvelError(kErrInvalidProperty, "Invalid property value"); }

using Bytes = std::vector<std::uint8_t>;

class SerialControl {
public:
    virtual ~SerialControl() = default;

    virtual bool PortOpen() const = 0;
    virtual void PortOpen(bool open) = 0;
    virtual void CommPort(std::int16_t port) = 0;
    virtual void Settings(const std::string& settings) = 0;
    virtual void InputMode(std::int32_t mode) = 0;
    virtual void DTREnable(bool enable) = 0;
    virtual void RThreshold(std::int16_t count) = 0;
    virtual void SThreshold(std::int16_t count) = 0;
    virtual void InputLen(std::int16_t length) = 0;
    virtual std::int16_t InBufferCount() const = 0;
    virtual void InBufferCount(std::int16_t count) = 0;   // 0 empties the receive buffer
    virtual void OutBufferCount(std::int16_t count) = 0;  // 0 empties the transmit buffer
    virtual void Output(const Bytes& bytes) = 0;          // queued, not waited for
    virtual Bytes Input() = 0;                            // what is buffered (InputLen 0: all of it)
};

// The platform's control and pause, in the backend.
std::unique_ptr<SerialControl> makeSerialControl();
void pauseMs(unsigned milliseconds);

}  // namespace korvel
