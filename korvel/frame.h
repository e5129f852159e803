// The pieces of the request frame: the data byte of a group of digits, the
// normalised digit text, the byte conversion of a frame cell and the CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvel {

constexpr std::size_t kDigitCount = 64;
constexpr std::size_t kMaxTextLength = 32767;  // the longest text whose length a 16-bit integer holds

// Value of a group of digit characters, first character most significant:
// times 2 plus the digit for each character; "0" to "9" count as 0 to 9,
// every other character as 0.
std::int32_t BinToNum(const std::u16string& group);

// The text cut or padded with "0" to exactly 64 characters. Throws overflow
// (6) for a text longer than 32,767 characters.
std::u16string normaliseDigits(const std::u16string& text);

// A cell of the frame as the byte that goes on the line; overflow (6)
// outside 0 to 255.
std::uint8_t toByte(std::int32_t value);

// CRC-16 of Modbus RTU, kept as two bytes the way the frame stores it.
struct Crc {
    std::uint8_t low = 0xFF;
    std::uint8_t high = 0xFF;
    void add(std::uint8_t byte);
    std::uint16_t value() const { return static_cast<std::uint16_t>(high << 8 | low); }
};

std::uint16_t crc16(const std::uint8_t* bytes, std::size_t length);

}  // namespace korvel
