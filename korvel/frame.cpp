#include "frame.h"

#include "korvel_error.h"

namespace korvel {

std::int32_t BinToNum(const std::u16string& group) {
    std::int32_t value = 0;
    for (char16_t c : group) value = value * 2 + (c >= u'0' && c <= u'9' ? c - u'0' : 0);
    return value;
}

std::u16string normaliseDigits(const std::u16string& text) {
    if (text.size() > kMaxTextLength) raiseOverflow();
    std::u16string digits = text.substr(0, kDigitCount);
    digits.resize(kDigitCount, u'0');
    return digits;
}

std::uint8_t toByte(std::int32_t value) {
    if (value < 0 || value > 255) raiseOverflow();
    return static_cast<std::uint8_t>(value);
}

// Reflected polynomial 0xA001 over a high and a low byte: each of the eight
// steps shifts the pair right by one bit, carrying high's bit 0 into low's
// bit 7, and XORs in A0 01 when the bit shifted out of low was 1.
void Crc::add(std::uint8_t byte) {
    low ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        const std::uint8_t oldHigh = high, oldLow = low;
        high = static_cast<std::uint8_t>(oldHigh >> 1);
        low = static_cast<std::uint8_t>(oldLow >> 1 | (oldHigh & 1) << 7);
        if (oldLow & 1) {
            high ^= 0xA0;
            low ^= 0x01;
        }
    }
}

std::uint16_t crc16(const std::uint8_t* bytes, std::size_t length) {
    Crc crc;
    for (std::size_t i = 0; i < length; ++i) crc.add(bytes[i]);
    return crc.value();
}

}  // namespace korvel
