// What every port that receives (serial line, network printer, USB printer)
// shares: a worker thread that moves what the printer sends into the receive
// buffer, a delivery thread that hands each batch on to a relay (the host's
// callback), and reads that take from the buffer.
//
// Threads: the host's thread calls start, stop, read and discard (one call at
// a time). The worker waits on the device and fills the buffer. The delivery
// thread runs the relay, which may call read, count, isOpen,
// deliveryStopping and callHost. read and the worker's appends meet in the
// receive buffer, which locks; the delivery thread's state is shared with the
// pump through a jointly owned block (Delivery), so a delivery thread that
// stop had to leave inside the host's code needs nothing of the pump when it
// comes back.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "receive_buffer.h"
#include "stream_device.h"
#include "worker_thread.h"

namespace slipdrv {

class ReceivePump {
public:
    // Run on the delivery thread after each batch of received bytes has been
    // stored, so that a relay that takes long never holds up the worker that
    // collects the bytes the host's reads wait for. Empty: no delivery thread.
    using Relay = std::function<void(ReceivePump&)>;

    // Throws Error("CComm::CComm: not enough memory") when the buffer cannot be
    // made. `hostGate` is held around every call of the host's code; pumps
    // that hand bytes to the same host share one, so that its code never runs
    // on two of their threads at once.
    explicit ReceivePump(Relay relay, std::shared_ptr<std::mutex> hostGate = std::make_shared<std::mutex>());
    // Stops; then waits for any delivery thread that stop left inside the
    // host's code where its module cannot be kept loaded otherwise (see
    // WorkerThread::release).
    ~ReceivePump();
    ReceivePump(const ReceivePump&) = delete;
    ReceivePump& operator=(const ReceivePump&) = delete;

    // Starts the threads on `device`, just opened: what it received before is
    // forgotten. Throws Error(`threadFailure`) when a thread cannot be made;
    // what did start is left to the next stop.
    void start(StreamDevice& device, const char* threadFailure);
    // Returns within the stop bound (2000 ms, plus one relay read). The worker
    // is ended where it stands if it has not stopped by then; a delivery
    // thread still inside the host's code is left to finish that call and end
    // by itself. The device is left open; the buffer is emptied.
    void stop();

    // Bytes delivered (1 or more); 0 when nothing is wanted; -1 when the
    // device is closed; -100 when the receive buffer is still empty after the
    // wait. The wait ends early once the device can receive nothing more.
    int read(std::uint8_t* destination, std::int32_t length, std::int32_t timeoutMs);
    // Drops what has been received and not yet read: the driver's queue
    // first, then the buffer, so nothing the driver held lands afterwards.
    void discard();
    // Waits for the delivery threads stop let go inside the host's code (on
    // Linux; on Windows they keep the module loaded themselves), for an owner
    // that is about to go.
    void awaitDeparted() { departed_.clear(); }

    bool isOpen() const;
    bool workerRunning() const { return workerIdle_.load() == 0; }
    std::int32_t count() const { return buffer_.count(); }
    std::int32_t capacity() const { return buffer_.capacity(); }
    bool dataReady() const { return buffer_.dataReady(); }
    // Received bytes pushed out unread by newer ones (more than the buffer holds arrived).
    std::uint64_t dropped() const { return buffer_.dropped(); }

    // For the relay, on the delivery thread.
    // True once stop has asked delivery to end: no more bytes are handed on.
    bool deliveryStopping() const;
    // Runs `call` (the host's code) unless delivery is ending; calls of
    // successive delivery threads never overlap. False when the relay must
    // return at once without touching the pump again: delivery is ending, or
    // stop gave up waiting while the host's code ran.
    template <typename Call>
    bool callHost(Call&& call);

private:
    enum class Stage { kWaiting, kReceiving, kInHost, kDone };
    // What a delivery thread shares with its pump.
    struct Delivery {
        std::mutex mutex;
        std::condition_variable changed;
        bool pending = false;   // a batch was stored since the relay last ran
        bool stop = false;      // stop asked the thread to end
        bool released = false;  // stop let the thread go: it touches the pump no more
        Stage stage = Stage::kWaiting;
        // Held around every call of the host's code, by every delivery thread
        // this pump has started.
        std::shared_ptr<std::mutex> hostGate;
    };

    std::uint32_t inQueue();
    void onReceive();
    void workerLoop(Delivery* delivery);
    void deliveryLoop(const std::shared_ptr<Delivery>& delivery);
    void stopDelivery(std::chrono::steady_clock::time_point deadline);
    void reapDeparted();

    Relay relay_;
    std::atomic<StreamDevice*> device_{nullptr};
    std::unique_ptr<WorkerThread> worker_;
    std::atomic<int> stopRequest_{0};
    std::atomic<int> workerIdle_{1};
    ReceiveBuffer buffer_;

    std::shared_ptr<std::mutex> hostGate_;
    std::shared_ptr<Delivery> delivery_;
    std::unique_ptr<WorkerThread> deliveryThread_;
    // Delivery threads that stop let go, kept until they have ended.
    std::vector<std::unique_ptr<WorkerThread>> departed_;
};

template <typename Call>
bool ReceivePump::callHost(Call&& call) {
    // From here on only these copies are used: once the host's code returns,
    // the port may have been closed, reopened or destroyed.
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
