// A port over a stream device (a network connection, a USB printer) with the
// receive pump a serial line has, so that queries, the host's callback and
// the write bounds behave as on a COM port. Each kind opens its device its
// own way and hands it over with started().
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "receive_pump.h"
#include "stream_device.h"
#include "transport.h"

namespace slipdrv {

class StreamPort : public Transport {
public:
    ~StreamPort() override = default;
    StreamPort(const StreamPort&) = delete;
    StreamPort& operator=(const StreamPort&) = delete;

    bool isOpen() const override;
    bool close() override;
    bool write(std::span<const std::uint8_t> bytes, int transferTimeoutMs) override;
    bool read(std::uint8_t* destination, int length, int timeoutMs) override;
    void discardReceived() override { pump_.discard(); }
    const ReplyTiming* replyTiming() const override { return &kSerialReplyTiming; }
    void cancelWrites() override;

    ReceivePump& pump() { return pump_; }

protected:
    StreamPort(ReceivePump::Relay relay, std::shared_ptr<std::mutex> hostGate)
        : pump_(std::move(relay), std::move(hostGate)) {}
    // Starts receiving on `device`, just opened. Raises
    // Error("CComm::Open can't create worker thread") as a serial open does
    // (the device then stays open).
    void started(StreamDevice& device);
    // Derived classes call this first in their destructors, while their device still exists.
    void stop();

private:
    // The device of the last open; set by the host's thread, read by any.
    std::atomic<StreamDevice*> device_{nullptr};
    ReceivePump pump_;
};

}  // namespace slipdrv
