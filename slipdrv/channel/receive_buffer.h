// The serial channel's receive buffer: bytes in arrival order, always starting
// at the front, in a block that grows in steps of 1024 bytes and never shrinks.
// The worker appends and callers take on other threads, so every access holds
// the lock; a waiting reader is woken as soon as enough bytes are held.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace slipdrv {

class ReceiveBuffer {
public:
    static constexpr std::int32_t kGrowthStep = 1024;

    ReceiveBuffer();  // throws "CComm::CComm: not enough memory"

    // Makes room for `n` more bytes, then lets `read(destination, n)` fill the
    // space behind the held bytes and keeps what it reports. Throws
    // "CComm::OnReceive: Not enough memory" when the block cannot grow.
    template <typename Reader>
    std::uint32_t fill(std::uint32_t n, Reader&& read) {
        std::lock_guard lock(mutex_);
        growFor(n);
        const std::uint32_t got = read(block_.get() + count_, n);
        const bool wasEmpty = count_ == 0;
        count_ += static_cast<std::int32_t>(got);
        if (wasEmpty && got > 0) dataReady_ = true;
        if (got > 0) arrived_.notify_all();
        return got;
    }

    // Moves up to `maximum` bytes from the front to `destination`.
    std::int32_t take(std::uint8_t* destination, std::int32_t maximum);

    // Waits until at least `wanted` bytes are held or `timeout` has passed.
    bool waitForCount(std::int32_t wanted, std::chrono::milliseconds timeout);

    // Forgets the held bytes; the capacity stays.
    void clear();

    std::int32_t count() const;
    std::int32_t capacity() const;
    bool dataReady() const;

private:
    void growFor(std::uint32_t n);

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::int32_t count_ = 0;
    std::int32_t capacity_ = kGrowthStep;
    std::unique_ptr<std::uint8_t[]> block_;
    bool dataReady_ = false;  // set when the buffer turns non-empty, reset when a take empties it
};

}  // namespace slipdrv
