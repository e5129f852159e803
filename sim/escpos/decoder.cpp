#include <algorithm>
#include <cstring>

#include "command_arguments.h"
#include "command_table.h"
#include "escpos_decoder.h"

namespace escpos {
namespace {

enum class Status : std::uint8_t {
    kDone,       // a whole command of `length` bytes
    kNeedMore,   // incomplete: `length` bytes in all are needed, or 0 when not yet known
    kInvalid,    // `length` bytes that are no command
    kOversized,  // a header announcing `length` bytes in all, more payload than allowed
};

struct Scan {
    Status status;
    std::uint64_t length;
};

constexpr Scan done(std::uint64_t length) { return {Status::kDone, length}; }
constexpr Scan needMore(std::uint64_t length = 0) { return {Status::kNeedMore, length}; }
constexpr Scan invalid(std::uint64_t length) { return {Status::kInvalid, length}; }

std::uint32_t readLittleEndian(const std::uint8_t* p, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;) value = value << 8 | p[i];
    return value;
}

std::size_t argumentSize(char letter) { return letter == 'd' ? 4 : letter == 'w' ? 2 : 1; }

class Scanner {
public:
    Scanner(const std::uint8_t* bytes, std::size_t size, bool atEnd, Command& out)
        : p_(bytes), n_(size), atEnd_(atEnd), out_(out) {}

    Scan scan() {
        out_.argumentCount = 0;
        out_.payload = {};
        const std::uint8_t lead = p_[0];
        if (lead >= 0x20) return text();
        const CommandRow* r = nullptr;
        if (isLeadByte(lead)) {
            out_.mnemonic = leadName(lead);
            out_.row = nullptr;
            if (n_ < 2) return needMore(2);
            r = rowsForPair(lead, p_[1]);
            if (r && r->prefixLength == 3) {
                if (n_ < 3) {
                    out_.mnemonic = r->mnemonic;
                    return needMore(3);
                }
                while (r != rowsEnd() && r->prefix[0] == lead && r->prefix[1] == p_[1] && r->prefix[2] != p_[2]) ++r;
                if (r == rowsEnd() || r->prefix[0] != lead || r->prefix[1] != p_[1]) r = nullptr;
            }
            if (!r) return unknown(p_[1] >= 0x20 ? 2 : 1);
        } else {
            r = rowsForSingle(lead);
            if (!r) return unknown(1);
        }
        return command(*r);
    }

private:
    Scan text() {
        const std::size_t limit = std::min(n_, kMaxTextRun);
        std::size_t i = 1;
        while (i < limit && p_[i] >= 0x20) ++i;
        if (i == n_ && i < kMaxTextRun && !atEnd_) return needMore();
        out_.row = &kTextRow;
        out_.mnemonic = kTextRow.mnemonic;
        out_.payload = {p_, i};
        return done(i);
    }

    Scan unknown(std::size_t length) {
        out_.row = &kUnknownRow;
        out_.mnemonic = kUnknownRow.mnemonic;
        out_.payload = {p_, length};
        return invalid(length);
    }

    bool argument(std::size_t& pos, std::size_t size) {
        if (pos + size > n_) return false;
        out_.arguments[out_.argumentCount++] = readLittleEndian(p_ + pos, size);
        pos += size;
        return true;
    }

    // The payload of [pos, pos + size), or how much is missing.
    Scan payload(std::size_t pos, std::uint64_t size) {
        const std::uint64_t total = pos + size;
        if (size > kMaxPayload) return {Status::kOversized, total};
        if (total > n_) return needMore(total);
        out_.payload = {p_ + pos, static_cast<std::size_t>(size)};
        return done(total);
    }

    Scan command(const CommandRow& r) {
        out_.row = &r;
        out_.mnemonic = r.mnemonic;
        std::size_t header = r.prefixLength;
        for (const char* c = r.layout; *c; ++c) header += argumentSize(*c);
        if (header > n_) return needMore(header);
        std::size_t pos = r.prefixLength;
        for (const char* c = r.layout; *c; ++c) argument(pos, argumentSize(*c));
        const auto* args = out_.arguments.data();
        switch (r.payload) {
            case Payload::kNone:
                return done(pos);
            case Payload::kFixed:
                return payload(pos, r.limit);
            case Payload::kUntilNul:
                return untilNul(pos, r.limit);
            case Payload::kLength:
                return payload(pos, args[out_.argumentCount - 1]);
            case Payload::kBitImage:
                return payload(pos, std::uint64_t{args[1]} * bitImageMode(args[0]).columnBytes);
            case Payload::kRasterImage:
                return payload(pos, std::uint64_t{args[1]} * args[2]);
            case Payload::kDownloadImage:
                return payload(pos, std::uint64_t{args[0]} * args[1] * 8);
            case Payload::kBarcode:
                if (args[0] <= 8) return untilNul(pos, r.limit);
                if (args[0] < 65 || args[0] > 75) return unknown(pos);
                if (!argument(pos, 1)) return needMore(pos + 1);
                return payload(pos, args[1]);
            case Payload::kCut: {
                static constexpr std::uint8_t kWithFeed[] = {65, 66, 97, 98, 103, 104};
                if (std::find(std::begin(kWithFeed), std::end(kWithFeed), args[0]) == std::end(kWithFeed))
                    return done(pos);
                return argument(pos, 1) ? done(pos) : needMore(pos + 1);
            }
            case Payload::kPulse:
                if (args[0] == 8) return payload(pos, r.limit);
                return pos + 2 <= n_ && argument(pos, 1) && argument(pos, 1) ? done(pos) : needMore(pos + 2);
            case Payload::kNvImages:
                return nvImages(pos, args[0]);
            case Payload::kUserCharacters:
                return userCharacters(pos, args[0], args[1], args[2]);
        }
        return unknown(pos);
    }

    Scan untilNul(std::size_t pos, std::size_t limit) {
        const std::size_t available = std::min(n_ - pos, limit + 1);
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(p_ + pos, 0, available));
        if (end) {
            out_.payload = {p_ + pos, static_cast<std::size_t>(end - (p_ + pos))};
            return done(static_cast<std::size_t>(end - p_) + 1);
        }
        // No NUL where one must be: only the prefix is reported, the rest decoded afresh.
        if (available == limit + 1) return unknown(out_.row->prefixLength);
        return needMore();
    }

    Scan nvImages(std::size_t pos, std::uint32_t count) {
        const WalkEnd walk = walkNvImages(count, {p_ + pos, n_ - pos}, kMaxPayload, [](auto, auto, auto) {});
        if (walk.status == Walk::kOversized) return {Status::kOversized, pos + walk.end};
        if (walk.status == Walk::kShort) return needMore(pos + walk.end);
        return payload(pos, walk.end);
    }

    Scan userCharacters(std::size_t pos, std::uint32_t height, std::uint32_t first, std::uint32_t last) {
        if (last < first || height == 0) return unknown(pos);
        const WalkEnd walk = walkUserCharacters(height, first, last, {p_ + pos, n_ - pos}, [](auto, auto, auto) {});
        if (walk.status != Walk::kDone) return needMore(pos + walk.end);
        return payload(pos, walk.end);
    }

    const std::uint8_t* p_;
    std::size_t n_;
    bool atEnd_;
    Command& out_;
};

// Bytes taken from a new chunk into an incomplete command whose length is not
// known yet (a text run, data up to a NUL).
constexpr std::size_t kTopUp = 512;

}  // namespace

std::size_t Decoder::drain(const std::uint8_t* bytes, std::size_t size, bool atEnd) {
    std::size_t pos = 0;
    Command command;
    while (pos < size) {
        const Scan s = Scanner(bytes + pos, size - pos, atEnd, command).scan();
        if (s.status == Status::kNeedMore) break;
        command.offset = offset_ + pos;
        command.length = s.length;
        if (s.status == Status::kDone) {
            command.kind = command.row->kind;
        } else if (s.status == Status::kInvalid) {
            command.kind = Kind::kUnknown;
        } else {
            command.kind = Kind::kOversized;
            command.payload = {};
        }
        sink_(command);
        if (s.length > size - pos) {  // an oversized command running past these bytes
            skip_ = s.length - (size - pos);
            skipStart_ = command.offset;
            skipLength_ = s.length;
            skipRow_ = command.row;
            pos = size;
            break;
        }
        pos += static_cast<std::size_t>(s.length);
    }
    offset_ += pos;
    return pos;
}

void Decoder::feed(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        if (skip_ > 0) {
            const auto k = static_cast<std::size_t>(std::min<std::uint64_t>(skip_, bytes.size()));
            skip_ -= k;
            offset_ += k;
            bytes = bytes.subspan(k);
            continue;
        }
        if (pending_.empty()) {
            const std::size_t used = drain(bytes.data(), bytes.size(), false);
            bytes = bytes.subspan(used);
            if (skip_ == 0) {
                pending_.assign(bytes.begin(), bytes.end());
                bytes = {};
            }
            continue;
        }
        // Top up the incomplete command: exactly what it lacks when its length is known.
        Command probe;
        const Scan s = Scanner(pending_.data(), pending_.size(), false, probe).scan();
        const std::size_t want =
            s.length > pending_.size()
                ? static_cast<std::size_t>(std::min<std::uint64_t>(s.length - pending_.size(), bytes.size()))
                : std::min(kTopUp, bytes.size());
        pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(want));
        bytes = bytes.subspan(want);
        const std::size_t used = drain(pending_.data(), pending_.size(), false);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used));
    }
}

void Decoder::finish() {
    if (skip_ > 0) {
        Command command;
        command.offset = skipStart_;
        command.length = skipLength_ - skip_;
        command.kind = Kind::kTruncated;
        command.row = skipRow_;
        command.mnemonic = skipRow_ ? std::string_view(skipRow_->mnemonic) : std::string_view("unknown");
        sink_(command);
    } else if (!pending_.empty()) {
        const std::size_t used = drain(pending_.data(), pending_.size(), true);
        if (used < pending_.size()) {
            Command command;
            Scanner(pending_.data() + used, pending_.size() - used, true, command).scan();
            command.offset = offset_;
            command.length = pending_.size() - used;
            command.kind = Kind::kTruncated;
            command.argumentCount = 0;
            command.payload = {pending_.data() + used, pending_.size() - used};
            sink_(command);
        }
    }
    pending_.clear();
    offset_ = 0;
    skip_ = 0;
    skipRow_ = nullptr;
}

}  // namespace escpos
