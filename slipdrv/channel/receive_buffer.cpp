#include "receive_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace slipdrv {

ReceiveBuffer::ReceiveBuffer() {
    block_.reset(new (std::nothrow) std::uint8_t[kGrowthStep]);
    if (!block_) throw "CComm::CComm: not enough memory";
}

void ReceiveBuffer::growFor(std::uint32_t n) {
    const std::int64_t needed = static_cast<std::int64_t>(count_) + n;
    if (needed <= capacity_) return;
    const std::int64_t steps = (needed - capacity_ + kGrowthStep - 1) / kGrowthStep;
    const std::int64_t grown = capacity_ + steps * kGrowthStep;
    if (grown > std::numeric_limits<std::int32_t>::max()) throw "CComm::OnReceive: Not enough memory";
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(grown)]);
    if (!block) throw "CComm::OnReceive: Not enough memory";
    std::memcpy(block.get(), block_.get(), static_cast<std::size_t>(count_));
    block_ = std::move(block);
    capacity_ = static_cast<std::int32_t>(grown);
}

std::uint8_t* ReceiveBuffer::scratchFor(std::uint32_t n) {
    if (n > scratchSize_) {
        std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow) std::uint8_t[n]);
        if (!scratch) throw "CComm::OnReceive: Not enough memory";
        scratch_ = std::move(scratch);
        scratchSize_ = n;
    }
    return scratch_.get();
}

// Room was made before the read, and takes only free more.
void ReceiveBuffer::appendLocked(const std::uint8_t* bytes, std::uint32_t n) {
    growFor(n);
    std::memcpy(block_.get() + count_, bytes, n);
    const bool wasEmpty = count_ == 0;
    count_ += static_cast<std::int32_t>(n);
    if (wasEmpty) dataReady_ = true;
    arrived_.notify_all();
}

std::int32_t ReceiveBuffer::take(std::uint8_t* destination, std::int32_t maximum) {
    std::lock_guard lock(mutex_);
    const std::int32_t k = std::min(maximum, count_);
    if (k <= 0) return 0;
    std::memcpy(destination, block_.get(), static_cast<std::size_t>(k));
    count_ -= k;
    std::memmove(block_.get(), block_.get() + k, static_cast<std::size_t>(count_));
    if (count_ <= 0) dataReady_ = false;
    return k;
}

bool ReceiveBuffer::waitForCount(std::int32_t wanted, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return count_ >= wanted; });
}

void ReceiveBuffer::clear() {
    std::lock_guard lock(mutex_);
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

}  // namespace slipdrv
