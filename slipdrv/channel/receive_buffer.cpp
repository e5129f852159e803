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
