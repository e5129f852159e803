// The serial channel: one COM port, a worker thread that moves what the
// printer sends into the receive buffer, a delivery thread that hands it on,
// and reads that take from the buffer.
//
// Threads: the host's thread calls Open, Close, Write, Read and
// discardReceived (one call at a time); any thread may call cancelWrites. The worker runs WorkerLoop and
// OnReceive. The delivery thread runs the receive callback, which may call
// Read, receiveCount, IsOpen, deliveryStopping and callHost. Read and the worker's appends meet in the
// receive buffer, which locks; the delivery thread's state is shared with the
// channel through a jointly owned block (Delivery), so a delivery thread that
// Close had to leave inside the host's code needs nothing of the channel when
// it comes back.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

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
    // Closes the port; then waits for any delivery thread that Close left
    // inside the host's code where its module cannot be kept loaded otherwise
    // (see WorkerThread::release).
    virtual ~CComm();
    CComm(const CComm&) = delete;
    CComm& operator=(const CComm&) = delete;

    // 1 when COM<port> was opened, 0 when the device cannot be opened; raises
    // "CComm::Open can't create worker thread" (the port then stays open).
    int Open(int port, int baud);
    // Returns within the stop bound (2000 ms, plus one relay read). The worker
    // is ended where it stands if it has not stopped by then; a delivery
    // thread still inside the host's code is left to finish that call and end
    // by itself.
    void Close();
    // 1 when the whole run was sent, 0 otherwise.
    int Write(const std::uint8_t* bytes, std::uint32_t length);
    // From any thread, ahead of a Close: a Write in progress returns 0 at
    // once, and so does every Write until the next Open.
    void cancelWrites() { device_->cancelWrites(); }
    // Bytes delivered (1 or more); 0 when nothing is wanted; -1 when the port
    // is closed; -100 when the receive buffer is still empty after the wait.
    // The wait ends early once the printer can send nothing more.
    int Read(std::uint8_t* destination, std::int32_t length, std::int32_t timeoutMs);
    // Drops what has been received and not yet read: the driver's queue
    // first, then the buffer, so nothing the driver held lands afterwards.
    void discardReceived() {
        if (isOpen()) device_->purgeInput();
        buffer_.clear();
    }

    bool isOpen() const { return device_->isOpen(); }
    bool workerRunning() const { return workerIdle_.load() == 0; }
    std::int32_t receiveCount() const { return buffer_.count(); }
    std::int32_t receiveCapacity() const { return buffer_.capacity(); }
    bool dataReady() const { return buffer_.dataReady(); }
    // Received bytes pushed out unread by newer ones (more than the buffer holds arrived).
    std::uint64_t receiveDropped() const { return buffer_.dropped(); }

    // For the receive callback, on the delivery thread.
    // True once Close has asked delivery to end: no more bytes are handed on.
    bool deliveryStopping() const;
    // Runs `call` (the host's code) unless delivery is ending; calls of
    // successive delivery threads never overlap. False when the callback must
    // return at once without touching the channel again: delivery is ending,
    // or Close gave up waiting while the host's code ran.
    template <typename Call>
    bool callHost(Call&& call);

private:
    enum class Stage { kWaiting, kReceiving, kInHost, kDone };
    // What a delivery thread shares with its channel.
    struct Delivery {
        std::mutex mutex;
        std::condition_variable changed;
        bool pending = false;   // a batch was stored since the callback last ran
        bool stop = false;      // Close asked the thread to end
        bool released = false;  // Close let the thread go: it touches the channel no more
        Stage stage = Stage::kWaiting;
        // Held around every call of the host's code, by every delivery thread
        // this channel has started.
        std::shared_ptr<std::mutex> hostGate;
    };
    // What a thread of the channel starts with (the worker's delivery block
    // is null without a receive callback).
    struct DeliveryStart {
        CComm* channel;
        std::shared_ptr<Delivery> delivery;
    };

    std::uint32_t InQueue();
    void OnReceive();
    static void WorkerProc(void* start);
    void WorkerLoop(Delivery* delivery);
    static void deliveryProc(void* start);
    void stopDelivery(std::chrono::steady_clock::time_point deadline);
    void reapDeparted();

    ReceiveCallback callback_;
    std::uint32_t userValue_;
    std::unique_ptr<SerialDevice> device_;
    std::unique_ptr<WorkerThread> worker_;
    std::atomic<int> stopRequest_{0};
    std::atomic<int> workerIdle_{1};
    ReceiveBuffer buffer_;

    std::shared_ptr<std::mutex> hostGate_ = std::make_shared<std::mutex>();
    std::shared_ptr<Delivery> delivery_;
    std::unique_ptr<WorkerThread> deliveryThread_;
    // Delivery threads that Close let go, kept until they have ended.
    std::vector<std::unique_ptr<WorkerThread>> departed_;
};

template <typename Call>
bool CComm::callHost(Call&& call) {
    // From here on only these copies are used: once the host's code returns,
    // the channel may have been closed, reopened or destroyed.
    const std::shared_ptr<Delivery> delivery = delivery_;
    const std::shared_ptr<std::mutex> gate = delivery->hostGate;
    {
        std::lock_guard lock(delivery->mutex);
        if (delivery->stop) return false;
        delivery->stage = Stage::kInHost;
    }
    {
        std::lock_guard host(*gate);
        bool go;
        {
            std::lock_guard lock(delivery->mutex);
            go = !delivery->stop && !delivery->released;
        }
        if (go) call();
    }
    std::lock_guard lock(delivery->mutex);
    if (delivery->released || delivery->stop) return false;
    delivery->stage = Stage::kReceiving;
    return true;
}

}  // namespace slipdrv
