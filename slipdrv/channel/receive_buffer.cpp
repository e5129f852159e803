#include "receive_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "error.h"

namespace slipdrv {

ReceiveBuffer::ReceiveBuffer() {
    block_.reset(new (std::nothrow) std::uint8_t[kGrowthStep]);
    if (!block_) throw Error("CComm::CComm: not enough memory");
}

// Growing at least doubles the block, so a long burst copies each held byte
// a bounded number of times instead of once per 1024 bytes that arrive.
void ReceiveBuffer::growFor(std::uint32_t n) {
    const std::int64_t needed = std::min<std::int64_t>(std::int64_t{count_} + n, kMostHeld);
    if (needed <= capacity_) return;
    const std::int64_t stepped = (needed + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
    const auto grown =
        static_cast<std::int32_t>(std::min<std::int64_t>(std::max(stepped, 2 * std::int64_t{capacity_}), kMostHeld));
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(grown)]);
    if (!block) throw Error("CComm::OnReceive: Not enough memory");
    copyFront(block.get(), count_);
    block_ = std::move(block);
    head_ = 0;
    capacity_ = grown;
}

std::uint8_t* ReceiveBuffer::scratchFor(std::uint32_t n) {
    if (n > scratchSize_) {
        std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow) std::uint8_t[n]);
        if (!scratch) throw Error("CComm::OnReceive: Not enough memory");
        scratch_ = std::move(scratch);
        scratchSize_ = n;
    }
    return scratch_.get();
}

void ReceiveBuffer::copyFront(std::uint8_t* destination, std::int32_t k) const {
    const std::int32_t first = std::min(k, capacity_ - head_);
    std::memcpy(destination, block_.get() + head_, static_cast<std::size_t>(first));
    std::memcpy(destination + first, block_.get(), static_cast<std::size_t>(k - first));
}

// Room was made before the read, and takes only free more; at the limit the
// oldest bytes give way.
void ReceiveBuffer::appendLocked(const std::uint8_t* bytes, std::uint32_t n) {
    growFor(n);
    const bool wasEmpty = count_ == 0;
    const auto k = static_cast<std::int32_t>(std::min<std::uint32_t>(n, static_cast<std::uint32_t>(capacity_)));
    bytes += n - static_cast<std::uint32_t>(k);
    dropped_ += n - static_cast<std::uint32_t>(k);
    const std::int32_t overflow = count_ + k - capacity_;
    if (overflow > 0) {
        head_ = (head_ + overflow) % capacity_;
        count_ -= overflow;
        dropped_ += static_cast<std::uint64_t>(overflow);
    }
    const std::int32_t tail = (head_ + count_) % capacity_;
    const std::int32_t first = std::min(k, capacity_ - tail);
    std::memcpy(block_.get() + tail, bytes, static_cast<std::size_t>(first));
    std::memcpy(block_.get(), bytes + first, static_cast<std::size_t>(k - first));
    count_ += k;
    if (wasEmpty) dataReady_ = true;
    arrived_.notify_all();
}

std::int32_t ReceiveBuffer::take(std::uint8_t* destination, std::int32_t maximum) {
    std::lock_guard lock(mutex_);
    const std::int32_t k = std::min(maximum, count_);
    if (k <= 0) return 0;
    copyFront(destination, k);
    head_ = (head_ + k) % capacity_;
    count_ -= k;
    if (count_ == 0) {
        head_ = 0;
        dataReady_ = false;
    }
    return k;
}

bool ReceiveBuffer::waitForCount(std::int32_t wanted, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return count_ >= wanted; });
}

void ReceiveBuffer::clear() {
    std::lock_guard lock(mutex_);
    head_ = 0;
    count_ = 0;
    dataReady_ = false;
}

std::int32_t ReceiveBuffer::count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

std::int32_t ReceiveBuffer::capacity() const {
    std::lock_guard lock(mutex_);
    return capacity_;
}

bool ReceiveBuffer::dataReady() const {
    std::lock_guard lock(mutex_);
    return dataReady_;
}

std::uint64_t ReceiveBuffer::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace slipdrv
