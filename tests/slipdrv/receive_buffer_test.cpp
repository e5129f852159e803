#include "channel/receive_buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <random>
#include <vector>

namespace slipdrv {
namespace {

constexpr std::size_t kMost = ReceiveBuffer::kMostHeld;

std::uint32_t fillWith(ReceiveBuffer& buffer, const std::vector<std::uint8_t>& bytes) {
    return buffer.fill(static_cast<std::uint32_t>(bytes.size()), [&](std::uint8_t* destination, std::uint32_t n) {
        std::copy_n(bytes.begin(), n, destination);
        return n;
    });
}

// Bytes without a short period, so that a run shifted by any offset differs.
std::vector<std::uint8_t> noise(std::size_t n, std::mt19937& random) {
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// Two runs arrive; the buffer then holds the newest of them, at most 1 MiB.
TEST(ReceiveBuffer, GrowsAtLeastDoublingUpToTheLimitAndKeepsTheNewestInOrder) {
    const struct {
        std::size_t held, arriving;
        std::int32_t capacity;
        std::uint64_t dropped;
    } cases[] = {
        {0, 1024, 1024, 0},
        {0, 1025, 2048, 0},
        {1000, 24, 1024, 0},
        {1000, 25, 2048, 0},
        {10, 3000, 3072, 0},
        {0, 5000, 5120, 0},
        {2048, 1, 4096, 0},  // doubles rather than adding 1024
        {kMost - 10, 10, static_cast<std::int32_t>(kMost), 0},
        {kMost - 10, 30, static_cast<std::int32_t>(kMost), 20},
        {1000, kMost + 5, static_cast<std::int32_t>(kMost), 1005},
        {kMost, kMost, static_cast<std::int32_t>(kMost), kMost},
    };
    std::mt19937 random(7);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.held << " + " << c.arriving);
        ReceiveBuffer buffer;
        std::vector<std::uint8_t> all = noise(c.held, random);
        const auto second = noise(c.arriving, random);
        fillWith(buffer, all);
        fillWith(buffer, second);
        all.insert(all.end(), second.begin(), second.end());
        const std::vector<std::uint8_t> newest(all.begin() + static_cast<std::ptrdiff_t>(c.dropped), all.end());

        EXPECT_EQ(buffer.capacity(), c.capacity);
        EXPECT_EQ(buffer.dropped(), c.dropped);
        std::vector<std::uint8_t> held(all.size());
        held.resize(static_cast<std::size_t>(buffer.take(held.data(), static_cast<std::int32_t>(held.size()))));
        EXPECT_TRUE(held == newest);
        EXPECT_EQ(buffer.capacity(), c.capacity) << "emptying it keeps the capacity";
    }
}

// Takes and fills that wrap around the end of the block, grow it while the
// held bytes wrap, overflow it and clear it, against a plain queue of the
// stream; data-ready follows whether anything is held.
TEST(ReceiveBuffer, FillsAndTakesAcrossTheEndOfTheBlockMatchAQueue) {
    constexpr long long kClear = LLONG_MIN;
    const long long steps[] = {5,          -2,      -8,   -1,         9,   kClear, 1000,  -900,  500,  -300,
                               1000,       -1,      3000, -2999,      700, 4000,   -4500, 90000, -100, 1 << 20,
                               -(1 << 19), 1 << 20, -7,   -(1 << 21), 3,   -3,     0,     -1};
    std::mt19937 random(11);
    ReceiveBuffer buffer;
    std::deque<std::uint8_t> model;
    std::uint64_t modelDropped = 0;
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(testing::Message() << "step " << i << ": " << steps[i]);
        if (steps[i] == kClear) {
            buffer.clear();
            model.clear();
        } else if (steps[i] >= 0) {
            const auto bytes = noise(static_cast<std::size_t>(steps[i]), random);
            fillWith(buffer, bytes);
            model.insert(model.end(), bytes.begin(), bytes.end());
            for (; model.size() > kMost; ++modelDropped) model.pop_front();
        } else {
            std::vector<std::uint8_t> got(static_cast<std::size_t>(-steps[i]));
            got.resize(static_cast<std::size_t>(buffer.take(got.data(), static_cast<std::int32_t>(got.size()))));
            const auto n = std::min(got.size(), model.size());
            EXPECT_TRUE(
                std::equal(got.begin(), got.end(), model.begin(), model.begin() + static_cast<std::ptrdiff_t>(n)))
                << "took " << got.size() << " of " << model.size();
            EXPECT_EQ(got.size(), n);
            model.erase(model.begin(), model.begin() + static_cast<std::ptrdiff_t>(n));
        }
        ASSERT_EQ(buffer.count(), static_cast<std::int32_t>(model.size()));
        EXPECT_EQ(buffer.dropped(), modelDropped);
        EXPECT_EQ(buffer.dataReady(), !model.empty());
    }
}

TEST(ReceiveBuffer, AReaderShortOfBytesReportsNothingStored) {
    ReceiveBuffer buffer;
    const auto got = buffer.fill(4096, [](std::uint8_t*, std::uint32_t) { return 0u; });
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(buffer.count(), 0);
    EXPECT_FALSE(buffer.dataReady());
    EXPECT_EQ(buffer.capacity(), 4096);  // room was made for what the driver announced
}

}  // namespace
}  // namespace slipdrv
