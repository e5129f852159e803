#include "com_port.h"

namespace slipdrv {
namespace {

bool isAlphanumeric(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A host name or an IPv4 address: letters, digits, '-', '.', '_'.
bool isPlainHost(std::string_view host) {
    if (host.empty()) return false;
    for (const char c : host)
        if (!isAlphanumeric(c) && c != '-' && c != '.' && c != '_') return false;
    return true;
}

// What may stand between the brackets: an IPv6 address, perhaps with a zone.
bool isBracketedHost(std::string_view host) {
    if (host.find(':') == std::string_view::npos) return false;
    for (const char c : host)
        if (!isAlphanumeric(c) && c != ':' && c != '.' && c != '%' && c != '-' && c != '_') return false;
    return true;
}

std::optional<std::uint16_t> parsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

}  // namespace

bool namesNetworkPrinter(std::string_view setting) { return setting.starts_with(kTcpScheme); }

std::optional<TcpAddress> parseTcpAddress(std::string_view setting) {
    if (!namesNetworkPrinter(setting)) return std::nullopt;
    std::string_view rest = setting.substr(kTcpScheme.size());
    std::string_view host;
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = rest.substr(1, close - 1);
        if (!isBracketedHost(host)) return std::nullopt;
        rest.remove_prefix(close + 1);
        if (!rest.starts_with(':')) return std::nullopt;
    } else {
        const auto colon = rest.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        host = rest.substr(0, colon);
        if (!isPlainHost(host)) return std::nullopt;
        rest.remove_prefix(colon);
    }
    const auto port = parsePort(rest.substr(1));
    if (!port) return std::nullopt;
    return TcpAddress{std::string(host), *port};
}

}  // namespace slipdrv
