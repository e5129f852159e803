// An in-memory port for the command tests: it keeps what the exports write
// (with the transfer time-out of each write), answers requests with scripted
// replies, holds bytes the printer sent unasked, and can be closed. Put in the library's place with useChannel(), it
// lets every command family run byte for byte without a port, on every
// platform.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "channel/transport.h"
#include "port_control.h"

namespace slipdrv::testing {

using Bytes = std::vector<std::uint8_t>;

// The kind of port the stand-in behaves as: its reply timing and whether an
// empty run is refused.
enum class ChannelKind : std::uint8_t { kParallel, kSerial };

class RecordingChannel final : public Transport {
public:
    explicit RecordingChannel(ChannelKind kind) : kind_(kind) {}

    ChannelKind kind() const { return kind_; }
    bool isOpen() const override { return open_; }
    bool close() override {
        open_ = false;
        return true;
    }
    const ReplyTiming* replyTiming() const override {
        return kind_ == ChannelKind::kSerial ? &kSerialReplyTiming : &kParallelReplyTiming;
    }

    bool write(std::span<const std::uint8_t> bytes, int transferTimeoutMs) override {
        // As the real ports: a parallel port refuses an empty run, a serial one sends nothing.
        if (!open_ || (bytes.empty() && kind_ == ChannelKind::kParallel)) return false;
        written_.insert(written_.end(), bytes.begin(), bytes.end());
        timeouts_.push_back(transferTimeoutMs);
        for (const auto& [request, reply] : rules_)
            if (written_.size() >= request.size() && std::equal(request.rbegin(), request.rend(), written_.rbegin()))
                replies_.insert(replies_.end(), reply.begin(), reply.end());
        return true;
    }

    // Takes up to `length` of the reply bytes waiting; false when none wait.
    bool read(std::uint8_t* destination, int length, int) override {
        if (!open_ || length <= 0 || replies_.empty()) return false;
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(length), replies_.size());
        std::copy_n(replies_.begin(), n, destination);
        replies_.erase(replies_.begin(), replies_.begin() + static_cast<std::ptrdiff_t>(n));
        return true;
    }

    void discardReceived() override { replies_.clear(); }

    // Bytes the printer sends unasked: they wait for reading like replies.
    void arrive(const Bytes& bytes) { replies_.insert(replies_.end(), bytes.begin(), bytes.end()); }
    // Everything written since the last clear(), and each write's transfer time-out.
    const Bytes& written() const { return written_; }
    const std::vector<int>& timeouts() const { return timeouts_; }
    // Forgets what was written and the replies not yet read.
    void clear() {
        written_.clear();
        timeouts_.clear();
        replies_.clear();
    }
    // Whenever the bytes written since the last clear() end with `request`,
    // `reply` is queued for reading. Rules stay until clearRules().
    void replyTo(Bytes request, Bytes reply) { rules_.emplace_back(std::move(request), std::move(reply)); }
    void clearRules() { rules_.clear(); }
    void reopen() { open_ = true; }

private:
    ChannelKind kind_;
    bool open_ = true;
    Bytes written_;
    std::vector<int> timeouts_;
    std::deque<std::uint8_t> replies_;
    std::vector<std::pair<Bytes, Bytes>> rules_;
};

// Puts the library back as it is after loading: both ports closed, parallel
// active, no callback, delivery off.
inline void resetLibrary() {
    auto& lib = library();
    if (lib.serial) lib.serial->Close();
    for (MappedPorts* ports : {&lib.com, &lib.lpt, &lib.named}) ports->closeAll();
    lib.parallel.Close();
    lib.com.current = lib.serial ? static_cast<Transport*>(lib.serial.get()) : &lib.noPort;
    lib.lpt.current = &lib.parallel;
    lib.named.current = &lib.noPort;
    lib.active = &lib.parallel;
    lib.hostCallback = nullptr;
    lib.delivery = 0;
    lib.textEncoding = TextEncoding::kGb18030;
    lib.chineseMode = ChineseMode::kUnknown;
}

}  // namespace slipdrv::testing
