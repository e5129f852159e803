// The serial channel: one COM port, a worker thread that moves what the
// printer sends into the receive buffer, and reads that take from it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "receive_buffer.h"
#include "serial_device.h"
#include "worker_thread.h"

namespace slipdrv {

class CComm {
public:
    // Called after each batch of received bytes has been stored, on the
    // channel's delivery thread: a callback that takes long never holds up
    // the worker that collects the bytes the host's reads wait for.
    using ReceiveCallback = void (*)(CComm& channel, std::uint32_t userValue);

    // Raises a message text when a resource cannot be made.
    CComm(ReceiveCallback callback, std::uint32_t userValue);
    CComm(ReceiveCallback callback, std::uint32_t userValue, std::unique_ptr<SerialDevice> device);
    virtual ~CComm();
    CComm(const CComm&) = delete;
    CComm& operator=(const CComm&) = delete;

    // 1 when COM<port> was opened, 0 when the device cannot be opened; raises
    // "CComm::Open can't create worker thread" (the port then stays open).
    int Open(int port, int baud);
    void Close();
    // 1 when the whole run was sent, 0 otherwise.
    int Write(const std::uint8_t* bytes, std::uint32_t length);
    // Bytes delivered (1 or more); 0 when nothing is wanted; -1 when the port
    // is closed; -100 when the receive buffer is still empty after the wait.
    int Read(std::uint8_t* destination, std::int32_t length, std::int32_t timeoutMs);

    bool IsOpen() const { return device_->isOpen(); }
    int PortNumber() const { return portNumber_; }
    int BaudRate() const { return baudRate_; }
    bool WorkerRunning() const { return workerIdle_.load() == 0; }
    std::int32_t ReceiveCount() const { return buffer_.count(); }
    std::int32_t ReceiveCapacity() const { return buffer_.capacity(); }
    bool DataReady() const { return buffer_.dataReady(); }

private:
    std::uint32_t InQueue();
    void OnReceive();
    static void WorkerProc(void* self);
    void WorkerLoop();
    static void DeliveryProc(void* self);
    void DeliveryLoop();
    void StopThread(std::unique_ptr<WorkerThread>& thread);

    ReceiveCallback callback_;
    std::uint32_t userValue_;
    std::unique_ptr<SerialDevice> device_;
    int baudRate_ = 9600;
    int portNumber_ = 1;
    std::unique_ptr<WorkerThread> worker_;
    std::atomic<int> stopRequest_{0};
    std::atomic<int> workerIdle_{1};
    ReceiveBuffer buffer_;

    std::unique_ptr<WorkerThread> delivery_;
    std::mutex deliveryMutex_;
    std::condition_variable deliveryWake_;
    bool deliveryPending_ = false;  // a batch was stored since the callback last ran
    bool deliveryStop_ = false;
};

}  // namespace slipdrv
