// The serial transport: one COM port, with the receive pump that collects
// what the printer sends and hands it on, and reads that take from it.
//
// Threads: the host's thread calls Open, Close, Write, Read and
// discardReceived (one call at a time); any thread may call cancelWrites.
// The pump's delivery thread runs the receive callback, which may call Read,
// receiveCount, isOpen, deliveryStopping and callHost (see receive_pump.h).
#pragma once

#include <cstdint>
#include <memory>

#include "receive_pump.h"
#include "serial_device.h"
#include "transport.h"

namespace slipdrv {

class CComm : public Transport {
public:
    // Called after each batch of received bytes has been stored, on the
    // pump's delivery thread: a callback that takes long never holds up the
    // worker that collects the bytes the host's reads wait for.
    using ReceiveCallback = void (*)(CComm& channel, std::uint32_t userValue);

    // Raises an Error when a resource cannot be made.
    CComm(ReceiveCallback callback, std::uint32_t userValue);
    CComm(ReceiveCallback callback, std::uint32_t userValue, std::unique_ptr<SerialDevice> device);
    // `hostGate` as for ReceivePump.
    CComm(ReceiveCallback callback, std::uint32_t userValue, std::unique_ptr<SerialDevice> device,
          std::shared_ptr<std::mutex> hostGate);
    // Closes the port; then waits for any delivery thread that Close left
    // inside the host's code where its module cannot be kept loaded otherwise
    // (see WorkerThread::release).
    ~CComm() override;
    CComm(const CComm&) = delete;
    CComm& operator=(const CComm&) = delete;

    // 1 when COM<port> was opened, 0 when the device cannot be opened; raises
    // Error("CComm::Open can't create worker thread") (the port then stays open).
    int Open(int port, int baud);
    // Returns within the stop bound (2000 ms, plus one relay read).
    void Close();
    // 1 when the whole run was sent, 0 otherwise.
    int Write(const std::uint8_t* bytes, std::uint32_t length);
    // Bytes delivered (1 or more); 0 when nothing is wanted; -1 when the port
    // is closed; -100 when the receive buffer is still empty after the wait.
    int Read(std::uint8_t* destination, std::int32_t length, std::int32_t timeoutMs) {
        return pump_.read(destination, length, timeoutMs);
    }

    // The port as a transport.
    bool isOpen() const override { return device_->isOpen(); }
    bool close() override;
    bool write(std::span<const std::uint8_t> bytes, int transferTimeoutMs) override;
    bool read(std::uint8_t* destination, int length, int timeoutMs) override;
    void discardReceived() override { pump_.discard(); }
    const ReplyTiming* replyTiming() const override { return &kSerialReplyTiming; }
    // From any thread, ahead of a Close: a Write in progress returns 0 at
    // once, and so does every Write until the next Open.
    void cancelWrites() override { device_->cancelWrites(); }

    ReceivePump& pump() { return pump_; }
    bool workerRunning() const { return pump_.workerRunning(); }
    std::int32_t receiveCount() const { return pump_.count(); }
    std::int32_t receiveCapacity() const { return pump_.capacity(); }
    bool dataReady() const { return pump_.dataReady(); }
    std::uint64_t receiveDropped() const { return pump_.dropped(); }
    bool deliveryStopping() const { return pump_.deliveryStopping(); }
    template <typename Call>
    bool callHost(Call&& call) {
        return pump_.callHost(std::forward<Call>(call));
    }

private:
    std::unique_ptr<SerialDevice> device_;
    ReceivePump pump_;
};

}  // namespace slipdrv
