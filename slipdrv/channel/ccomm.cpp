#include "ccomm.h"

#include <algorithm>

namespace slipdrv {
namespace {

constexpr std::uint32_t kWorkerStopWaitMs = 2000;
constexpr std::uint32_t kPollStepMs = 10;
// The most one read from the device takes: a flooding printer may leave
// megabytes in the system's queue, and the buffer keeps only the newest 1 MiB
// of them anyway.
constexpr std::uint32_t kReceiveChunk = 64 * 1024;

std::uint32_t msUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<std::uint32_t>(left.count()) : 0;
}

}  // namespace

CComm::CComm(ReceiveCallback callback, std::uint32_t userValue) : CComm(callback, userValue, makeSerialDevice()) {}

CComm::CComm(ReceiveCallback callback, std::uint32_t userValue, std::unique_ptr<SerialDevice> device)
    : callback_(callback), userValue_(userValue), device_(std::move(device)) {}

CComm::~CComm() {
    Close();
    // departed_ goes now: the platform waits here for a thread it could not
    // otherwise keep its code loaded for.
}

int CComm::Open(int port, int baud) {
    if (isOpen()) Close();
    reapDeparted();
    if (!device_->open(port)) return 0;
    device_->setUp(baud);
    // Cleared before the worker starts, so nothing it stores is thrown away.
    buffer_.clear();
    stopRequest_ = 0;
    // The delivery thread first: the worker wakes it from its first batch on.
    if (callback_) {
        auto delivery = std::make_shared<Delivery>();
        delivery->hostGate = hostGate_;
        auto* start = new DeliveryStart{this, delivery};
        deliveryThread_ = startWorkerThread(&CComm::deliveryProc, start);
        if (!deliveryThread_) {
            delete start;
            throw "CComm::Open can't create worker thread";
        }
        delivery_ = std::move(delivery);
    }
    // The worker gets its own hold on the delivery block: Close lets go of the
    // channel's while a worker ended where it stands may still run.
    auto* workerStart = new DeliveryStart{this, delivery_};
    worker_ = startWorkerThread(&CComm::WorkerProc, workerStart);
    if (!worker_) {
        delete workerStart;
        throw "CComm::Open can't create worker thread";
    }
    return 1;
}

void CComm::Close() {
    reapDeparted();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWorkerStopWaitMs);
    // Both threads are asked to stop first, so their waits run side by side.
    if (worker_) {
        stopRequest_ = 1;
        device_->stopWatching();
    }
    if (delivery_) {
        std::lock_guard lock(delivery_->mutex);
        delivery_->stop = true;
        delivery_->changed.notify_all();
    }
    // A worker that ended by itself is released here too, so no handle is left behind.
    if (worker_) {
        if (!worker_->waitFor(msUntil(deadline))) worker_->terminate();
        worker_.reset();
        workerIdle_ = 1;
    }
    if (delivery_) stopDelivery(deadline);
    if (device_->isOpen()) device_->close();
    buffer_.clear();
}

// The delivery thread runs the host's code, so it is never ended where it
// stands: one still busy at the deadline is waited for only until it is out
// of the channel (a relay read), then let go to finish and end by itself.
void CComm::stopDelivery(std::chrono::steady_clock::time_point deadline) {
    if (!deliveryThread_->waitFor(msUntil(deadline))) {
        {
            std::unique_lock lock(delivery_->mutex);
            delivery_->changed.wait(lock, [&] { return delivery_->stage != Stage::kReceiving; });
            delivery_->released = true;
        }
        deliveryThread_->release();
        departed_.push_back(std::move(deliveryThread_));
    }
    deliveryThread_.reset();
    delivery_.reset();
}

void CComm::reapDeparted() {
    std::erase_if(departed_, [](const std::unique_ptr<WorkerThread>& thread) { return thread->waitFor(0); });
}

bool CComm::deliveryStopping() const {
    std::lock_guard lock(delivery_->mutex);
    return delivery_->stop;
}

int CComm::Write(const std::uint8_t* bytes, std::uint32_t length) { return device_->write(bytes, length) ? 1 : 0; }

int CComm::Read(std::uint8_t* destination, std::int32_t length, std::int32_t timeoutMs) {
    if (!isOpen()) return -1;
    // A negative length asks for nothing, like 0 (it must never reach a copy).
    if (length <= 0) return 0;
    // A negative time-out counts as the largest unsigned value.
    const std::uint32_t polls = static_cast<std::uint32_t>(timeoutMs) / kPollStepMs;
    const auto wanted = static_cast<std::uint32_t>(length);
    for (std::uint32_t made = 0; made < polls; ++made) {
        if (buffer_.count() >= length || device_->receiveEnded()) break;
        // Bytes in the driver's queue end the wait only when no worker runs to
        // move them; with a worker they are on their way into the buffer, and
        // taking from the buffer before they land would miss them.
        if (!workerRunning() && InQueue() >= wanted) break;
        // Each poll step ends early only when the wanted bytes have been stored.
        if (buffer_.waitForCount(length, std::chrono::milliseconds(kPollStepMs))) break;
    }
    if (buffer_.count() == 0) return -100;
    return buffer_.take(destination, length);
}

std::uint32_t CComm::InQueue() { return isOpen() ? device_->inQueue() : 0; }

// Takes what was waiting at the wake-up, in bounded reads; what arrives
// meanwhile wakes the next wait.
void CComm::OnReceive() {
    if (!isOpen()) return;
    const auto read = [&](std::uint8_t* destination, std::uint32_t maximum) {
        return device_->readPort(destination, maximum);
    };
    for (std::uint32_t left = InQueue(); left > 0 && stopRequest_ == 0;) {
        const std::uint32_t got = buffer_.fill(std::min(left, kReceiveChunk), read);
        if (got == 0) break;
        left -= std::min(got, left);
    }
}

void CComm::WorkerProc(void* start) {
    CComm* const channel = static_cast<DeliveryStart*>(start)->channel;
    const std::shared_ptr<Delivery> delivery = std::move(static_cast<DeliveryStart*>(start)->delivery);
    delete static_cast<DeliveryStart*>(start);
    try {
        channel->WorkerLoop(delivery.get());
    } catch (const char*) {
        // Only the receive buffer's out-of-memory message can arise: the worker ends.
        channel->workerIdle_ = 1;
    }
}

void CComm::WorkerLoop(Delivery* delivery) {
    workerIdle_ = 1;
    if (!isOpen() || !device_->watchReceive()) return;
    workerIdle_ = 0;
    while (stopRequest_ == 0) {
        const bool received = device_->waitReceive();
        if (stopRequest_ != 0) break;
        if (received) {
            OnReceive();
            if (delivery) {
                std::lock_guard lock(delivery->mutex);
                delivery->pending = true;
                delivery->changed.notify_all();
            }
        }
    }
    workerIdle_ = 1;
}

// Runs the receive callback once for every wake-up by the worker; batches
// stored while it runs are taken together by the next call. After the
// callback the thread looks only at its own copy of the shared block: if the
// channel let it go meanwhile, it ends without touching the channel.
void CComm::deliveryProc(void* start) {
    CComm* const channel = static_cast<DeliveryStart*>(start)->channel;
    const std::shared_ptr<Delivery> delivery = std::move(static_cast<DeliveryStart*>(start)->delivery);
    delete static_cast<DeliveryStart*>(start);

    std::unique_lock lock(delivery->mutex);
    for (;;) {
        delivery->changed.wait(lock, [&] { return delivery->pending || delivery->stop; });
        if (delivery->stop) break;
        delivery->pending = false;
        delivery->stage = Stage::kReceiving;
        lock.unlock();
        channel->callback_(*channel, channel->userValue_);
        lock.lock();
        if (delivery->released) break;
        delivery->stage = Stage::kWaiting;
        delivery->changed.notify_all();
    }
    delivery->stage = Stage::kDone;
    delivery->changed.notify_all();
}

}  // namespace slipdrv
