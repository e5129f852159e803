// The receive buffer of a port that receives: bytes in arrival order in a ring, so
// taking from the front costs only what is taken. The block starts at 1024
// bytes and grows to a multiple of 1024, at least doubling each time, up to
// 1 MiB; it never shrinks. Once 1 MiB is held unread, the oldest bytes make
// room for new ones and are counted as dropped.
// The worker appends and callers take on other threads, so every access holds
// the lock; a waiting reader is woken as soon as enough bytes are held.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace slipdrv {

class ReceiveBuffer {
public:
    static constexpr std::int32_t kGrowthStep = 1024;
    static constexpr std::int32_t kMostHeld = 1 << 20;

    ReceiveBuffer();  // throws Error("CComm::CComm: not enough memory")

    // Makes room for `n` more bytes (within the limit), then lets
    // `read(destination, n)` read up to `n` bytes and keeps what it reports
    // behind the held bytes. Throws Error("CComm::OnReceive: Not enough memory") when
    // the block cannot grow. One thread fills (the worker); the port is read
    // outside the lock, so a worker ended where it stands while reading leaves
    // no lock held.
    template <typename Reader>
    std::uint32_t fill(std::uint32_t n, Reader&& read) {
        {
            std::lock_guard lock(mutex_);
            growFor(n);
        }
        std::uint8_t* const landing = scratchFor(n);
        const std::uint32_t got = std::min(read(landing, n), n);
        if (got == 0) return 0;
        std::lock_guard lock(mutex_);
        appendLocked(landing, got);
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
    // Bytes pushed out unread by newer ones since the buffer was made.
    std::uint64_t dropped() const;

private:
    void growFor(std::uint32_t n);
    std::uint8_t* scratchFor(std::uint32_t n);
    // Copies the oldest `k` held bytes out, leaving them held.
    void copyFront(std::uint8_t* destination, std::int32_t k) const;
    void appendLocked(const std::uint8_t* bytes, std::uint32_t n);

    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::int32_t head_ = 0;  // where the oldest held byte is
    std::int32_t count_ = 0;
    std::int32_t capacity_ = kGrowthStep;
    std::unique_ptr<std::uint8_t[]> block_;
    std::uint64_t dropped_ = 0;
    bool dataReady_ = false;                   // set when the buffer turns non-empty, reset when a take empties it
    std::unique_ptr<std::uint8_t[]> scratch_;  // the filling thread's own landing place
    std::uint32_t scratchSize_ = 0;
};

}  // namespace slipdrv
