// The status side of the virtual printer: a set of conditions a user or test
// chooses, and the answers a roll-paper receipt printer gives from them to the
// status, identification and memory-switch requests. No platform code; one
// thread uses a PrinterState at a time.
//
// What the conditions mean in the answers:
//   paper-near-end  the roll's near-end sensor trips
//   paper-out       the roll has run out: printing stops, the printer is offline
//   cover-open      the cover is open: the printer is offline
//   drawer-open     the drawer's sensor (connector pin 3) reads high
//   offline         offline for no reported cause
//   error           a recoverable error (an autocutter error): the printer is
//                   offline until DLE ENQ 1 or 2 clears it
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "escpos_decoder.h"
#include "graphics_memory.h"

namespace vprinter {

enum class Condition : std::uint8_t { kPaperNearEnd, kPaperOut, kCoverOpen, kDrawerOpen, kOffline, kError };

constexpr std::array<Condition, 6> kAllConditions{Condition::kPaperNearEnd, Condition::kPaperOut, Condition::kCoverOpen,
                                                  Condition::kDrawerOpen,   Condition::kOffline,  Condition::kError};

// "paper-near-end", "paper-out", "cover-open", "drawer-open", "offline", "error".
std::string_view conditionName(Condition condition);
std::optional<Condition> conditionNamed(std::string_view name);

// A set of conditions; the empty set is a printer ready to print.
class Conditions {
public:
    Conditions() = default;
    Conditions(std::initializer_list<Condition> conditions) {
        for (const Condition c : conditions) add(c);
    }

    bool has(Condition c) const { return (bits_ & bit(c)) != 0; }
    bool empty() const { return bits_ == 0; }
    void add(Condition c) { bits_ = static_cast<std::uint8_t>(bits_ | bit(c)); }
    void remove(Condition c) { bits_ = static_cast<std::uint8_t>(bits_ & ~bit(c)); }
    bool operator==(const Conditions&) const = default;
    // The names joined by blanks, "ok" for the empty set.
    std::string names() const;

private:
    static std::uint8_t bit(Condition c) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(c)); }
    std::uint8_t bits_ = 0;
};

class PrinterState {
public:
    using Bytes = std::vector<std::uint8_t>;

    Conditions conditions() const { return conditions_; }

    // Replaces the conditions. Returns the automatic status to send when it
    // is enabled and one of its enabled groups changed, else nothing.
    Bytes setConditions(Conditions conditions);

    // Carries out a decoded command and returns what the printer sends in
    // answer (nothing for commands that ask nothing):
    //   DLE EOT n    real-time status n (1-5)
    //   GS r n       paper sensor (1, 49) or drawer (2, 50) status
    //   GS I n       model (1, 49), type (2, 50) or firmware version (3, 51) id
    //   GS ( E       function 3 stores memory switches, function 4 answers one
    //   GS ( L, GS 8 L  the graphics memories' capacity and key-code queries
    //                (see GraphicsMemory::answer()), kept by the definitions
    //                and deletions seen
    //   DLE ENQ n    1 or 2 clears a recoverable error
    //   GS a n       sets automatic status back; n != 0 answers the status at once
    // A change to the conditions also brings the automatic status, if enabled.
    Bytes apply(const escpos::Command& command);

    // The NV graphics the printer holds from earlier runs (the paper's NV
    // store), so that the queries count them as the renderer does.
    void setNvGraphics(escpos::GraphicsStore nv) { graphics_.nv = std::move(nv); }

    // The one-byte answers and the 4-byte automatic status for the current
    // conditions; nullopt for a selector the printer does not answer.
    std::optional<std::uint8_t> realtimeStatus(std::uint32_t n) const;
    std::optional<std::uint8_t> transmitStatus(std::uint32_t n) const;
    static std::optional<std::uint8_t> printerId(std::uint32_t n);
    Bytes automaticStatus() const;

private:
    Bytes memorySwitches(std::span<const std::uint8_t> payload);
    Bytes statusChange(const Bytes& before) const;

    Conditions conditions_;
    escpos::GraphicsMemory graphics_;         // what the renderer's memories hold, for the queries
    std::uint8_t automaticStatusGroups_ = 0;  // GS a n: which changes send the automatic status
    // Each switch's eight settings, '0' or '1', in the order GS ( E carries them.
    std::array<std::array<std::uint8_t, 8>, 8> switches_ = [] {
        std::array<std::array<std::uint8_t, 8>, 8> all{};
        for (auto& one : all) one.fill('0');
        return all;
    }();
};

}  // namespace vprinter
