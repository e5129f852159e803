#include "barcode_rules.h"

#include <array>
#include <string_view>

namespace slipdrv {
namespace {

constexpr BarcodeRule kUpc{11, 12, false, BarcodeCharacters::kDigits};
constexpr BarcodeRule kJan13{12, 13, false, BarcodeCharacters::kDigits};
constexpr BarcodeRule kJan8{7, 8, false, BarcodeCharacters::kDigits};
constexpr BarcodeRule kCode39{1, 255, false, BarcodeCharacters::kCode39};
constexpr BarcodeRule kItfA{2, 255, true, BarcodeCharacters::kDigits};
constexpr BarcodeRule kItfB{2, 254, true, BarcodeCharacters::kDigits};
constexpr BarcodeRule kCodabar{1, 255, false, BarcodeCharacters::kCodabar};
constexpr BarcodeRule kAnyBytes{1, 255, false, BarcodeCharacters::kAnyByte};

}  // namespace

const BarcodeRule* barcodeRuleOf(int m) {
    static constexpr std::array<const BarcodeRule*, 9> formatA = {&kUpc,  &kUpc,     &kJan13, &kJan8, &kCode39,
                                                                  &kItfA, &kCodabar, &kJan13, &kJan8};
    static constexpr std::array<const BarcodeRule*, 11> formatB = {
        &kUpc, &kUpc, &kJan13, &kJan8, &kCode39, &kItfB, &kCodabar, &kAnyBytes, &kAnyBytes, &kJan13, &kJan8};
    if (m >= 0 && m <= 8) return formatA[static_cast<std::size_t>(m)];
    if (m >= 65 && m <= 75) return formatB[static_cast<std::size_t>(m - 65)];
    return nullptr;
}

bool barcodeAccepts(BarcodeCharacters set, unsigned char c) {
    const bool digit = c >= '0' && c <= '9';
    const bool upper = c >= 'A' && c <= 'Z';
    switch (set) {
        case BarcodeCharacters::kDigits:
            return digit;
        case BarcodeCharacters::kCode39:
            return digit || upper || std::string_view(" $%+-./").find(static_cast<char>(c)) != std::string_view::npos;
        case BarcodeCharacters::kCodabar:
            return digit || upper || std::string_view("$+-./:").find(static_cast<char>(c)) != std::string_view::npos;
        case BarcodeCharacters::kAnyByte:
            return c != 0;
    }
    return false;
}

}  // namespace slipdrv
