#include "channel/receive_buffer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace slipdrv {
namespace {

std::uint32_t fillWith(ReceiveBuffer& buffer, const std::vector<std::uint8_t>& bytes) {
    return buffer.fill(static_cast<std::uint32_t>(bytes.size()), [&](std::uint8_t* destination, std::uint32_t n) {
        std::copy_n(bytes.begin(), n, destination);
        return n;
    });
}

std::vector<std::uint8_t> sequence(std::size_t n, std::uint8_t start) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), start);
    return bytes;
}

TEST(ReceiveBuffer, GrowsInStepsOf1024AndKeepsArrivalOrder) {
    const struct {
        std::size_t held, arriving;
        std::int32_t capacity;
    } cases[] = {
        {0, 1024, 1024}, {0, 1025, 2048}, {1000, 24, 1024}, {1000, 25, 2048}, {10, 3000, 3072}, {0, 5000, 5120},
    };
    for (const auto& c : cases) {
        ReceiveBuffer buffer;
        const auto first = sequence(c.held, 0);
        const auto second = sequence(c.arriving, 100);
        fillWith(buffer, first);
        fillWith(buffer, second);
        EXPECT_EQ(buffer.capacity(), c.capacity) << c.held << " + " << c.arriving;
        std::vector<std::uint8_t> all(c.held + c.arriving);
        ASSERT_EQ(buffer.take(all.data(), static_cast<std::int32_t>(all.size())),
                  static_cast<std::int32_t>(all.size()));
        std::vector<std::uint8_t> expected = first;
        expected.insert(expected.end(), second.begin(), second.end());
        EXPECT_EQ(all, expected) << c.held << " + " << c.arriving;
        // Emptying it keeps the capacity.
        EXPECT_EQ(buffer.capacity(), c.capacity);
    }
}

TEST(ReceiveBuffer, TakeMovesTheRestToTheFrontAndTracksDataReady) {
    ReceiveBuffer buffer;
    EXPECT_FALSE(buffer.dataReady());
    fillWith(buffer, {1, 2, 3, 4, 5});
    EXPECT_TRUE(buffer.dataReady());
    std::uint8_t out[8] = {};
    EXPECT_EQ(buffer.take(out, 2), 2);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 2);
    EXPECT_TRUE(buffer.dataReady());
    EXPECT_EQ(buffer.take(out, 8), 3);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[2], 5);
    EXPECT_FALSE(buffer.dataReady());
    EXPECT_EQ(buffer.take(out, 8), 0);
    fillWith(buffer, {9});
    EXPECT_TRUE(buffer.dataReady());
    buffer.clear();
    EXPECT_EQ(buffer.count(), 0);
    EXPECT_FALSE(buffer.dataReady());
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
