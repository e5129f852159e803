#include "receive_pump.h"

#include <algorithm>

#include "error.h"

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

ReceivePump::ReceivePump(Relay relay, std::shared_ptr<std::mutex> hostGate)
    : relay_(std::move(relay)), hostGate_(std::move(hostGate)) {}

ReceivePump::~ReceivePump() {
    stop();
    // departed_ goes now: the platform waits here for a thread it could not
    // otherwise keep its code loaded for.
}

bool ReceivePump::isOpen() const {
    const StreamDevice* device = device_.load();
    return device && device->isOpen();
}

void ReceivePump::start(StreamDevice& device, const char* threadFailure) {
    reapDeparted();
    device_ = &device;
    // Cleared before the worker starts, so nothing it stores is thrown away.
    buffer_.clear();
    stopRequest_ = 0;
    // The delivery thread first: the worker wakes it from its first batch on.
    if (relay_) {
        auto delivery = std::make_shared<Delivery>();
        delivery->hostGate = hostGate_;
        deliveryThread_ = startWorkerThread([this, delivery] { deliveryLoop(delivery); });
        if (!deliveryThread_) throw Error(threadFailure);
        delivery_ = std::move(delivery);
    }
    // The worker gets its own hold on the delivery block: stop lets go of the
    // pump's while a worker ended where it stands may still run.
    worker_ = startWorkerThread([this, delivery = delivery_] {
        try {
            workerLoop(delivery.get());
        } catch (const Error&) {
            // Only the receive buffer's out-of-memory error can arise: the worker ends.
            workerIdle_ = 1;
        }
    });
    if (!worker_) throw Error(threadFailure);
}

void ReceivePump::stop() {
    reapDeparted();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWorkerStopWaitMs);
    // Both threads are asked to stop first, so their waits run side by side.
    if (worker_) {
        stopRequest_ = 1;
        device_.load()->stopWatching();
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
    buffer_.clear();
}

// The delivery thread runs the host's code, so it is never ended where it
// stands: one still busy at the deadline is waited for only until it is out
// of the pump (a relay read), then let go to finish and end by itself.
void ReceivePump::stopDelivery(std::chrono::steady_clock::time_point deadline) {
    if (deliveryThread_ && !deliveryThread_->waitFor(msUntil(deadline))) {
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

void ReceivePump::reapDeparted() {
    std::erase_if(departed_, [](const std::unique_ptr<WorkerThread>& thread) { return thread->waitFor(0); });
}

bool ReceivePump::deliveryStopping() const {
    std::lock_guard lock(delivery_->mutex);
    return delivery_->stop;
}

int ReceivePump::read(std::uint8_t* destination, std::int32_t length, std::int32_t timeoutMs) {
    if (!isOpen()) return -1;
    // A negative length asks for nothing, like 0 (it must never reach a copy).
    if (length <= 0) return 0;
    StreamDevice& device = *device_.load();
    // A negative time-out counts as the largest unsigned value.
    const std::uint32_t polls = static_cast<std::uint32_t>(timeoutMs) / kPollStepMs;
    const auto wanted = static_cast<std::uint32_t>(length);
    for (std::uint32_t made = 0; made < polls; ++made) {
        if (buffer_.count() >= length || device.receiveEnded()) break;
        // Bytes in the driver's queue end the wait only when no worker runs to
        // move them; with a worker they are on their way into the buffer, and
        // taking from the buffer before they land would miss them.
        if (!workerRunning() && inQueue() >= wanted) break;
        // Each poll step ends early only when the wanted bytes have been stored.
        if (buffer_.waitForCount(length, std::chrono::milliseconds(kPollStepMs))) break;
    }
    if (buffer_.count() == 0) return -100;
    return buffer_.take(destination, length);
}

void ReceivePump::discard() {
    if (isOpen()) device_.load()->purgeInput();
    buffer_.clear();
}

std::uint32_t ReceivePump::inQueue() { return isOpen() ? device_.load()->inQueue() : 0; }

// Takes what was waiting at the wake-up, in bounded reads; what arrives
// meanwhile wakes the next wait.
void ReceivePump::onReceive() {
    if (!isOpen()) return;
    StreamDevice& device = *device_.load();
    const auto read = [&](std::uint8_t* destination, std::uint32_t maximum) {
        return device.readPort(destination, maximum);
    };
    for (std::uint32_t left = inQueue(); left > 0 && stopRequest_ == 0;) {
        const std::uint32_t got = buffer_.fill(std::min(left, kReceiveChunk), read);
        if (got == 0) break;
        left -= std::min(got, left);
    }
}

void ReceivePump::workerLoop(Delivery* delivery) {
    workerIdle_ = 1;
    StreamDevice& device = *device_.load();
    if (!device.isOpen() || !device.watchReceive()) return;
    workerIdle_ = 0;
    while (stopRequest_ == 0) {
        const bool received = device.waitReceive();
        if (stopRequest_ != 0) break;
        if (received) {
            onReceive();
            if (delivery) {
                std::lock_guard lock(delivery->mutex);
                delivery->pending = true;
                delivery->changed.notify_all();
            }
        }
    }
    workerIdle_ = 1;
}

// Runs the relay once for every wake-up by the worker; batches stored while
// it runs are taken together by the next call. After the relay the thread
// looks only at its own copy of the shared block: if the pump let it go
// meanwhile, it ends without touching the pump.
void ReceivePump::deliveryLoop(const std::shared_ptr<Delivery>& delivery) {
    std::unique_lock lock(delivery->mutex);
    for (;;) {
        delivery->changed.wait(lock, [&] { return delivery->pending || delivery->stop; });
        if (delivery->stop) break;
        delivery->pending = false;
        delivery->stage = Stage::kReceiving;
        lock.unlock();
        relay_(*this);
        lock.lock();
        if (delivery->released) break;
        delivery->stage = Stage::kWaiting;
        delivery->changed.notify_all();
    }
    delivery->stage = Stage::kDone;
    delivery->changed.notify_all();
}

}  // namespace slipdrv
