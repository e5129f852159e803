// The serial control with every property checked here, once for all
// platforms: the port number, the Settings text (line_settings.h), the input
// mode, thresholds, input length and buffer counts, and that the port is
// open where it has to be. A backend derives from it and only carries out
// what passed, one platform step per hook.
#pragma once

#include <cstddef>

#include "line_settings.h"
#include "serial_control.h"

namespace korvel {

class CheckedSerialControl : public SerialControl {
public:
    bool PortOpen() const final { return isOpen(); }
    void PortOpen(bool open) final;
    void CommPort(std::int16_t port) final;  // 1 to 16; not another port while open
    void Settings(const std::string& settings) final;
    void InputMode(std::int32_t mode) final;  // 0 (text) or 1 (bytes): both hand over bytes here
    void DTREnable(bool enable) final;
    void RThreshold(std::int16_t count) final;  // no events are raised: only checked
    void SThreshold(std::int16_t count) final;
    void InputLen(std::int16_t length) final;
    std::int16_t InBufferCount() const final;
    void InBufferCount(std::int16_t count) final;
    void OutBufferCount(std::int16_t count) final;
    void Output(const Bytes& bytes) final;
    Bytes Input() final;

protected:
    // openPort opens COM `port` with lineSettings() and dtrEnable() in
    // force; closePort does nothing on a closed port. The other hooks are
    // called only while the port is open.
    virtual bool isOpen() const = 0;
    virtual void openPort(std::int16_t port) = 0;
    virtual void closePort() = 0;
    virtual void applySettings() = 0;
    virtual void applyDtr() = 0;
    virtual std::size_t waitingCount() const = 0;  // received bytes the driver holds
    virtual void purgeInput() = 0;
    virtual void purgeOutput() = 0;
    virtual void queueOutput(const Bytes& bytes) = 0;  // handed over, not waited for
    virtual Bytes readInput(std::size_t most) = 0;     // what is buffered, at most `most` bytes

    const LineSettings& lineSettings() const { return settings_; }
    bool dtrEnable() const { return dtr_; }

private:
    void requireOpen() const;

    std::int16_t port_ = 1;
    std::int16_t inputLen_ = 0;
    bool dtr_ = false;
    LineSettings settings_{};
};

}  // namespace korvel
