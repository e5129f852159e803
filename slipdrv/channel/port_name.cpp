#include "port_name.h"

#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>

namespace slipdrv {
namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Takes `prefix` (written in lower case) off the front of `text`, whatever the
// case of its letters there.
bool takePrefix(std::string_view& text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lowerAscii(text[i]) != prefix[i]) return false;
    text.remove_prefix(prefix.size());
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Decimal digits whose value fits in 32 bits; nothing for anything else.
std::optional<int> parseNumber(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    }
    return static_cast<int>(value);
}

// A port number from 1 to `last`, written without leading zeros.
std::optional<int> parsePortNumber(std::string_view digits, int last) {
    if (digits.starts_with('0')) return std::nullopt;
    const auto n = parseNumber(digits);
    if (!n || *n < 1 || *n > last) return std::nullopt;
    return n;
}

std::optional<PortName> parseComPort(std::string_view rest) {
    const auto colon = rest.find(':');
    const auto port = parsePortNumber(rest.substr(0, colon), 10);
    if (!port) return std::nullopt;
    if (colon == std::string_view::npos) return ComPortName{*port};
    const auto baud = parseNumber(rest.substr(colon + 1));
    if (!baud) return std::nullopt;
    return ComPortName{*port, *baud};
}

// The kinds a port mapping may name too: tcp://, printer: and usb:. Nothing
// when the text begins with none of them; BadSetting when it begins with one
// but names no port.
std::optional<PortMapping> parseMappedKind(std::string_view text) {
    if (takePrefix(text, kTcpScheme)) {
        auto address = parseTcpAddress(std::string(kTcpScheme) + std::string(text));
        if (!address) return BadSetting{};
        return std::move(*address);
    }
    if (takePrefix(text, "printer:")) return QueueName{std::string(text)};
    if (takePrefix(text, "usb:")) return UsbSelector{std::string(text)};
    return std::nullopt;
}

// Texts reach us from C strings and environment values: a NUL, or a blank at
// either end, never belongs to a port's name.
bool isWellFormed(std::string_view text) {
    return !text.empty() && text.find('\0') == std::string_view::npos && !isBlank(text.front()) &&
           !isBlank(text.back());
}

}  // namespace

std::optional<PortName> parsePortName(std::string_view text) {
    if (!isWellFormed(text)) return std::nullopt;
    if (auto mapped = parseMappedKind(text)) {
        return std::visit(
            [](auto port) -> std::optional<PortName> {
                using Kind = decltype(port);
                if constexpr (std::is_same_v<Kind, OtherSetting> || std::is_same_v<Kind, BadSetting>)
                    return std::nullopt;
                else
                    return port;
            },
            std::move(*mapped));
    }
    if (takePrefix(text, "com")) return parseComPort(text);
    if (takePrefix(text, "lpt")) {
        const auto port = parsePortNumber(text, 2);
        if (!port) return std::nullopt;
        return LptPortName{*port};
    }
    return std::nullopt;
}

PortMapping parsePortMapping(std::string_view value) {
    auto mapped = parseMappedKind(value);
    if (!mapped) return OtherSetting{};
    if (!isWellFormed(value)) return BadSetting{};
    return std::move(*mapped);
}

}  // namespace slipdrv
