// How COM<n> opens: on a serial line, or on a network printer when the
// environment variable SLIPDRV_COM<n> holds tcp://HOST:PORT. Any other value
// is the serial line's business (on Linux a device path; on Windows it is
// ignored, so without a tcp:// value nothing changes there).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace slipdrv {

struct TcpAddress {
    std::string host;  // a name, an IPv4 address, or an IPv6 address without its brackets
    std::uint16_t port;

    bool operator==(const TcpAddress&) const = default;
};

constexpr std::string_view kTcpScheme = "tcp://";

// True when `setting` asks for a network printer (it begins with tcp://).
bool namesNetworkPrinter(std::string_view setting);

// The address in a tcp://HOST:PORT setting: HOST not empty (an IPv6 address
// in brackets), PORT 1-65535 in decimal digits, nothing after it. Nothing for
// any other form.
std::optional<TcpAddress> parseTcpAddress(std::string_view setting);

// The value of SLIPDRV_<kind><port> (kind "COM" or "LPT") in the process's
// environment as it is now; empty when unset.
std::string portSetting(const char* kind, int port);
inline std::string comPortSetting(int port) { return portSetting("COM", port); }

// Whether the system has the device COM<port> or LPT<port> (kind "COM" or
// "LPT") opens; the device is not opened.
bool portDevicePresent(const char* kind, int port);

}  // namespace slipdrv
