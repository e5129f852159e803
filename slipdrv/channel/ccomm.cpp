#include "ccomm.h"

#include <algorithm>

namespace slipdrv {
namespace {

constexpr std::uint32_t kWorkerStopWaitMs = 2000;
constexpr std::uint32_t kPollStepMs = 10;

}  // namespace

CComm::CComm(ReceiveCallback callback, std::uint32_t userValue) : CComm(callback, userValue, makeSerialDevice()) {}

CComm::CComm(ReceiveCallback callback, std::uint32_t userValue, std::unique_ptr<SerialDevice> device)
    : callback_(callback), userValue_(userValue), device_(std::move(device)) {}

CComm::~CComm() { Close(); }

int CComm::Open(int port, int baud) {
    if (IsOpen()) Close();
    portNumber_ = port;
    if (!device_->open(port)) return 0;
    device_->setUp(baud);
    // Cleared before the worker starts, so nothing it stores is thrown away.
    buffer_.clear();
    stopRequest_ = 0;
    worker_ = startWorkerThread(&CComm::WorkerProc, this);
    if (!worker_) throw "CComm::Open can't create worker thread";
    if (callback_) {
        {
            std::lock_guard lock(deliveryMutex_);
            deliveryPending_ = false;
            deliveryStop_ = false;
        }
        delivery_ = startWorkerThread(&CComm::DeliveryProc, this);
        if (!delivery_) throw "CComm::Open can't create worker thread";
    }
    return 1;
}

void CComm::Close() {
    // A worker that ended by itself is released here too, so no handle is left behind.
    if (worker_) {
        stopRequest_ = 1;
        device_->stopWatching();
        StopThread(worker_);
        workerIdle_ = 1;
    }
    if (delivery_) {
        {
            std::lock_guard lock(deliveryMutex_);
            deliveryStop_ = true;
        }
        deliveryWake_.notify_all();
        StopThread(delivery_);
    }
    if (device_->isOpen()) device_->close();
    buffer_.clear();
}

// Waits up to 2000 ms for the thread to end, then ends it where it stands.
void CComm::StopThread(std::unique_ptr<WorkerThread>& thread) {
    if (!thread->waitFor(kWorkerStopWaitMs)) thread->terminate();
    thread.reset();
}

int CComm::Write(const std::uint8_t* bytes, std::uint32_t length) {
    return device_->write(bytes, length) ? 1 : 0;
}

int CComm::Read(std::uint8_t* destination, std::int32_t length, std::int32_t timeoutMs) {
    if (!IsOpen()) return -1;
    // A negative length asks for nothing, like 0 (it must never reach a copy).
    if (length <= 0) return 0;
    // A negative time-out counts as the largest unsigned value.
    const std::uint32_t polls = static_cast<std::uint32_t>(timeoutMs) / kPollStepMs;
    const auto wanted = static_cast<std::uint32_t>(length);
    for (std::uint32_t made = 0; made < polls; ++made) {
        if (buffer_.count() >= length) break;
        // Bytes in the driver's queue end the wait only when no worker runs to
        // move them; with a worker they are on their way into the buffer, and
        // taking from the buffer before they land would miss them.
        if (!WorkerRunning() && InQueue() >= wanted) break;
        // Each poll step ends early only when the wanted bytes have been stored.
        if (buffer_.waitForCount(length, std::chrono::milliseconds(kPollStepMs))) break;
    }
    if (buffer_.count() == 0) return -100;
    return buffer_.take(destination, length);
}

std::uint32_t CComm::InQueue() { return IsOpen() ? device_->inQueue() : 0; }

void CComm::OnReceive() {
    if (!IsOpen()) return;
    const std::uint32_t n = InQueue();
    buffer_.fill(n, [&](std::uint8_t* destination, std::uint32_t maximum) {
        return device_->readPort(destination, maximum);
    });
}

void CComm::WorkerProc(void* self) {
    auto* channel = static_cast<CComm*>(self);
    try {
        channel->WorkerLoop();
    } catch (const char*) {
        // Only the receive buffer's out-of-memory message can arise: the worker ends.
        channel->workerIdle_ = 1;
    }
}

void CComm::WorkerLoop() {
    workerIdle_ = 1;
    if (!IsOpen() || !device_->watchReceive()) return;
    workerIdle_ = 0;
    while (stopRequest_ == 0) {
        const bool received = device_->waitReceive();
        if (stopRequest_ != 0) break;
        if (received) {
            OnReceive();
            if (callback_) {
                std::lock_guard lock(deliveryMutex_);
                deliveryPending_ = true;
                deliveryWake_.notify_one();
            }
        }
    }
    workerIdle_ = 1;
}

void CComm::DeliveryProc(void* self) { static_cast<CComm*>(self)->DeliveryLoop(); }

// Runs the receive callback once for every wake-up by the worker; batches
// stored while it runs are taken together by the next call.
void CComm::DeliveryLoop() {
    std::unique_lock lock(deliveryMutex_);
    for (;;) {
        deliveryWake_.wait(lock, [&] { return deliveryPending_ || deliveryStop_; });
        if (deliveryStop_) return;
        deliveryPending_ = false;
        lock.unlock();
        callback_(*this, userValue_);
        lock.lock();
    }
}

}  // namespace slipdrv
