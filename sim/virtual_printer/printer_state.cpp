#include "printer_state.h"

namespace vprinter {

namespace {

constexpr std::array<std::string_view, kAllConditions.size()> kNames{"paper-near-end", "paper-out", "cover-open",
                                                                     "drawer-open",    "offline",   "error"};

// Bits every one-byte status carries, and that tell its first byte apart from
// the other three in the automatic status.
constexpr std::uint8_t kStatusFixed = 0x12;
constexpr std::uint8_t kSensorFixed = 0x60;
constexpr std::uint8_t kAutomaticFirstFixed = 0x10;

// The bits of the automatic status that each group of GS a n watches: bit 0
// the drawer, bit 1 online or offline (and the cover), bit 2 errors, bit 3 the
// roll paper sensors.
constexpr std::array<std::array<std::uint8_t, 4>, 4> kGroupBits{{
    {0x04, 0x00, 0x00, 0x00},
    {0x28, 0x00, 0x00, 0x00},
    {0x00, 0x6c, 0x00, 0x00},
    {0x00, 0x00, 0x0f, 0x00},
}};

constexpr std::uint8_t kMemorySwitchHeader = 0x37;
constexpr std::uint8_t kMemorySwitchIdentifier = 0x21;

std::uint8_t bitIf(bool on, std::uint8_t bits) { return on ? bits : 0; }

// A printer stops taking data without paper, with its cover open, or after an
// error, as well as when taken offline.
bool isOffline(const Conditions& c) {
    return c.has(Condition::kOffline) || c.has(Condition::kPaperOut) || c.has(Condition::kCoverOpen) ||
           c.has(Condition::kError);
}

}  // namespace

std::string_view conditionName(Condition condition) { return kNames[static_cast<std::size_t>(condition)]; }

std::optional<Condition> conditionNamed(std::string_view name) {
    for (const Condition c : kAllConditions)
        if (conditionName(c) == name) return c;
    return std::nullopt;
}

std::string Conditions::names() const {
    std::string joined;
    for (const Condition c : kAllConditions) {
        if (!has(c)) continue;
        if (!joined.empty()) joined += ' ';
        joined += conditionName(c);
    }
    return joined.empty() ? "ok" : joined;
}

PrinterState::Bytes PrinterState::setConditions(Conditions conditions) {
    const Bytes before = automaticStatus();
    conditions_ = conditions;
    return statusChange(before);
}

PrinterState::Bytes PrinterState::apply(const escpos::Command& command) {
    using escpos::Kind;
    const std::uint32_t n = command.argumentCount > 0 ? command.arguments[0] : 0;
    auto one = [](std::optional<std::uint8_t> answer) { return answer ? Bytes{*answer} : Bytes{}; };
    switch (command.kind) {
        case Kind::kRealtimeStatus:
            return one(realtimeStatus(n));
        case Kind::kTransmitStatus:
            return one(transmitStatus(n));
        case Kind::kPrinterId:
            return one(printerId(n));
        case Kind::kUserSettings:
            return memorySwitches(command.payload);
        case Kind::kGraphics:
        case Kind::kLargeGraphics:
            graphics_.apply(command.payload);
            return graphics_.answer(command.payload);
        case Kind::kRealtimeRequest: {
            if (n != 1 && n != 2) return {};
            Conditions cleared = conditions_;
            cleared.remove(Condition::kError);
            return setConditions(cleared);
        }
        case Kind::kAutoStatusBack:
            automaticStatusGroups_ = static_cast<std::uint8_t>(n & 0x0f);
            return automaticStatusGroups_ != 0 ? automaticStatus() : Bytes{};
        default:
            return {};
    }
}

std::optional<std::uint8_t> PrinterState::realtimeStatus(std::uint32_t n) const {
    const Conditions& c = conditions_;
    const bool offline = isOffline(c);
    std::uint8_t bits = 0;
    switch (n) {
        case 1:  // printer: drawer sensor, offline
            bits = bitIf(c.has(Condition::kDrawerOpen), 0x04) | bitIf(offline, 0x08);
            break;
        case 2:  // offline cause: cover open, stopped at the paper end, error
            bits = bitIf(c.has(Condition::kCoverOpen), 0x04) | bitIf(c.has(Condition::kPaperOut), 0x20) |
                   bitIf(c.has(Condition::kError), 0x40);
            break;
        case 3:  // error cause: the recoverable error is an autocutter error
            bits = bitIf(c.has(Condition::kError), 0x08);
            break;
        case 4:  // roll paper sensors: near end, end
            bits = bitIf(c.has(Condition::kPaperNearEnd), 0x0c) | bitIf(c.has(Condition::kPaperOut), 0x60);
            break;
        case 5:  // the slip unit: this printer has none, so nothing is ever set
            break;
        default:
            return std::nullopt;
    }
    return static_cast<std::uint8_t>(kStatusFixed | bits);
}

std::optional<std::uint8_t> PrinterState::transmitStatus(std::uint32_t n) const {
    switch (n) {
        case 1:
        case 49:
            return static_cast<std::uint8_t>(kSensorFixed | bitIf(conditions_.has(Condition::kPaperNearEnd), 0x03) |
                                             bitIf(conditions_.has(Condition::kPaperOut), 0x0c));
        case 2:
        case 50:
            return static_cast<std::uint8_t>(kSensorFixed | bitIf(conditions_.has(Condition::kDrawerOpen), 0x01));
        default:
            return std::nullopt;
    }
}

std::optional<std::uint8_t> PrinterState::printerId(std::uint32_t n) {
    switch (n) {
        case 1:
        case 49:
            return 0x02;  // model
        case 2:
        case 50:
            return 0x03;  // type: two-byte characters, autocutter
        case 3:
        case 51:
            return 0x10;  // firmware version
        default:
            return std::nullopt;
    }
}

PrinterState::Bytes PrinterState::automaticStatus() const {
    const Conditions& c = conditions_;
    const bool offline = isOffline(c);
    return {
        static_cast<std::uint8_t>(kAutomaticFirstFixed | bitIf(c.has(Condition::kDrawerOpen), 0x04) |
                                  bitIf(offline, 0x08) | bitIf(c.has(Condition::kCoverOpen), 0x20)),
        bitIf(c.has(Condition::kError), 0x08),
        static_cast<std::uint8_t>(bitIf(c.has(Condition::kPaperNearEnd), 0x03) |
                                  bitIf(c.has(Condition::kPaperOut), 0x0c)),
        0x00,
    };
}

PrinterState::Bytes PrinterState::statusChange(const Bytes& before) const {
    Bytes after = automaticStatus();
    for (std::size_t group = 0; group < kGroupBits.size(); ++group) {
        if (!(automaticStatusGroups_ & (1u << group))) continue;
        for (std::size_t i = 0; i < after.size(); ++i)
            if ((before[i] ^ after[i]) & kGroupBits[group][i]) return after;
    }
    return {};
}

// GS ( E: function 3 carries groups of a switch number and its eight settings
// ('0' or 0 off, '1' or 1 on, anything else leaves the setting); function 4
// asks for one switch and is answered with a header, an identifier, the eight
// settings as '0' or '1' and a NUL. The other functions answer nothing.
PrinterState::Bytes PrinterState::memorySwitches(std::span<const std::uint8_t> payload) {
    if (payload.empty()) return {};
    const std::uint8_t function = payload[0];
    if (function == 3) {
        for (std::size_t at = 1; at + 9 <= payload.size(); at += 9) {
            const std::uint8_t a = payload[at];
            if (a < 1 || a > 8) continue;
            auto& settings = switches_[a - 1];
            for (std::size_t i = 0; i < settings.size(); ++i) {
                const std::uint8_t b = payload[at + 1 + i];
                if (b == 0 || b == '0') settings[i] = '0';
                if (b == 1 || b == '1') settings[i] = '1';
            }
        }
        return {};
    }
    if (function == 4 && payload.size() == 2 && payload[1] >= 1 && payload[1] <= 8) {
        Bytes answer{kMemorySwitchHeader, kMemorySwitchIdentifier};
        const auto& settings = switches_[payload[1] - 1];
        answer.insert(answer.end(), settings.begin(), settings.end());
        answer.push_back(0x00);
        return answer;
    }
    return {};
}

}  // namespace vprinter
