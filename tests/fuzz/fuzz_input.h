// Reads a fuzz input front to back as the values a harness needs. Past the
// end every read gives zeros, so any input decodes to something.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kit::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::size_t remaining() const { return size_ - std::min(at_, size_); }

    std::uint8_t byte() { return empty() ? 0 : data_[at_++]; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    std::uint32_t u32() { return u16() | static_cast<std::uint32_t>(u16()) << 16; }

    // An integer argument: the byte as it is below 0xF0, so that mutations
    // stay within the ranges commands check; above it a value near the
    // edges of a byte or an int, or any 32-bit value.
    int integer() {
        const std::uint8_t b = byte();
        switch (b) {
            case 0xF0:
                return -1;
            case 0xF1:
                return 256;
            case 0xF2:
                return 256 + byte();
            case 0xF3:
                return -256 + byte();
            case 0xF4:
                return 0x10000 + byte();
            case 0xF5:
                return INT32_MIN;
            case 0xF6:
                return INT32_MAX;
            case 0xF7:
                return -static_cast<int>(byte());
            default:
                return b < 0xF0 ? b : static_cast<int>(u32());
        }
    }

    // Up to `most` bytes.
    std::vector<std::uint8_t> bytes(std::size_t most) {
        const std::size_t n = std::min(most, remaining());
        std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + n);
        at_ += n;
        return out;
    }
    // A length byte, then that many bytes (fewer at the end of the input).
    std::vector<std::uint8_t> counted() { return bytes(byte()); }
    std::vector<std::uint8_t> rest() { return bytes(remaining()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace kit::fuzz
