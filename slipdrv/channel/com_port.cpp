#include "com_port.h"

#include <atomic>

#include "serial_device.h"
#include "socket_device.h"

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

// COM<n> as the channel sees it: the serial line or the network printer,
// whichever the last open chose. The delivery thread asks isOpen at any time,
// so the choice is atomic; it changes only in open, while the port is closed.
// The socket device is made at the first network open, so a host that never
// uses one never starts the system's networking.
class ComPortDevice final : public SerialDevice {
public:
    ComPortDevice(const WriteLimits& line, const WriteLimits& network)
        : networkLimits_(network), line_(makeSerialLineDevice(line)) {}

    bool open(int port) override {
        const std::string setting = comPortSetting(port);
        if (!namesNetworkPrinter(setting)) {
            active_ = line_.get();
            return line_->open(port);
        }
        const auto address = parseTcpAddress(setting);
        if (!address) return false;
        if (!network_) {
            try {
                network_ = makeSocketDevice(networkLimits_);
            } catch (const char*) {
                return false;
            }
        }
        active_ = network_.get();
        return network_->connect(address->host, address->port);
    }

    void setUp(int baud) override { active_.load()->setUp(baud); }
    bool isOpen() const override { return active_.load()->isOpen(); }
    void close() override { active_.load()->close(); }
    void purgeInput() override { active_.load()->purgeInput(); }
    bool write(const std::uint8_t* bytes, std::uint32_t length) override {
        return active_.load()->write(bytes, length);
    }
    void cancelWrites() override { active_.load()->cancelWrites(); }
    bool receiveEnded() const override { return active_.load()->receiveEnded(); }
    std::uint32_t inQueue() override { return active_.load()->inQueue(); }
    std::uint32_t readPort(std::uint8_t* destination, std::uint32_t maximum) override {
        return active_.load()->readPort(destination, maximum);
    }
    bool watchReceive() override { return active_.load()->watchReceive(); }
    bool waitReceive() override { return active_.load()->waitReceive(); }
    void stopWatching() override { active_.load()->stopWatching(); }

private:
    WriteLimits networkLimits_;
    std::unique_ptr<SerialDevice> line_;
    std::unique_ptr<SocketDevice> network_;
    std::atomic<SerialDevice*> active_{line_.get()};
};

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

std::unique_ptr<SerialDevice> makeSerialDevice(const WriteLimits& line, const WriteLimits& network) {
    return std::make_unique<ComPortDevice>(line, network);
}

}  // namespace slipdrv
