// Checking command exports byte for byte against an in-memory channel: a case
// is one call with the result it must give and the exact bytes it must send.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "recording_channel.h"
#include "slipdrv.h"

namespace slipdrv::testing {

struct Case {
    std::string name;
    std::function<int()> call;
    int result;   // 0 sent, -1 refused
    Bytes bytes;  // exactly what reaches the printer; empty for a refusal
};

inline Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

inline std::uint8_t low8(long long value) { return static_cast<std::uint8_t>(value & 0xFF); }

// Closed ranges of accepted argument values.
using Ranges = std::vector<std::pair<int, int>>;
constexpr std::pair<int, int> kByte{0, 255};

inline bool inRanges(const Ranges& ranges, long long v) {
    for (const auto& [low, high] : ranges)
        if (v >= low && v <= high) return true;
    return false;
}

// The values worth trying against the accepted ranges: both ends of every range
// and a value inside it, the values just outside each end, the ends moved by
// 256 (right in the low byte only) and the extremes of a 32-bit integer.
inline std::vector<int> probes(const Ranges& ranges) {
    std::vector<long long> wide = {INT_MIN, INT_MAX, -1};
    for (const auto& [low, high] : ranges) {
        for (const long long v :
             {(long long)low, (long long)high, ((long long)low + high) / 2, (long long)low - 1, (long long)high + 1,
              (long long)low + 256, (long long)high + 256, (long long)low - 256, (long long)low + 0x10000})
            wide.push_back(v);
    }
    std::vector<int> out;
    for (const long long v : wide)
        if (v >= INT_MIN && v <= INT_MAX && std::find(out.begin(), out.end(), v) == out.end())
            out.push_back(static_cast<int>(v));
    return out;
}

inline std::string callName(const std::string& name, std::initializer_list<long long> arguments) {
    std::string text = name + "(";
    bool first = true;
    for (const long long a : arguments) {
        text += (first ? "" : ", ") + std::to_string(a);
        first = false;
    }
    return text + ")";
}

// An export without arguments.
inline Case noArgument(const std::string& name, int(SLIPDRV_CALL* fn)(), Bytes bytes) {
    return {name + "()", fn, 0, std::move(bytes)};
}

// An export whose one argument is sent as the byte after `prefix`.
inline std::vector<Case> oneArgument(const std::string& name, std::function<int(int)> fn, const Bytes& prefix,
                                     const Ranges& accepted) {
    std::vector<Case> cases;
    for (const int v : probes(accepted)) {
        const bool ok = inRanges(accepted, v);
        cases.push_back(
            {callName(name, {v}), [fn, v] { return fn(v); }, ok ? 0 : -1, ok ? prefix + Bytes{low8(v)} : Bytes{}});
    }
    return cases;
}

// An export whose two arguments are sent as the two bytes after `prefix`. Each
// argument is probed while the other holds an accepted value.
inline std::vector<Case> twoArguments(const std::string& name, std::function<int(int, int)> fn, const Bytes& prefix,
                                      const Ranges& first, const Ranges& second) {
    std::vector<Case> cases;
    auto add = [&](int a, int b) {
        const bool ok = inRanges(first, a) && inRanges(second, b);
        cases.push_back({callName(name, {a, b}), [fn, a, b] { return fn(a, b); }, ok ? 0 : -1,
                         ok ? prefix + Bytes{low8(a), low8(b)} : Bytes{}});
    };
    const int steadySecond = second.back().second;
    const int steadyFirst = first.back().first;
    for (const int a : probes(first)) add(a, steadySecond);
    for (const int b : probes(second)) add(steadyFirst, b);
    return cases;
}

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

class CommandTest : public ::testing::Test {
protected:
    void TearDown() override { resetLibrary(); }

    // An open serial port (active channel serial).
    RecordingChannel& openSerial() { return use(ChannelKind::kSerial); }
    // An open parallel port (active channel parallel).
    RecordingChannel& openParallel() { return use(ChannelKind::kParallel); }

    // Runs each case: the channel must then hold exactly the case's bytes, so
    // a refusal is seen to send nothing.
    static void check(RecordingChannel& channel, const std::vector<Case>& cases) {
        for (const auto& c : cases) {
            channel.clear();
            EXPECT_EQ(c.call(), c.result) << c.name;
            EXPECT_EQ(channel.written(), c.bytes) << c.name;
        }
        channel.clear();
    }

    // With the active channel's port closed every case gives -1, the accepted
    // arguments as well as the refused ones.
    static void checkClosed(const std::vector<Case>& cases) {
        for (const auto& c : cases) EXPECT_EQ(c.call(), -1) << c.name << " with the port closed";
    }

private:
    RecordingChannel& use(ChannelKind kind) {
        channel_ = std::make_unique<RecordingChannel>(kind);
        library().active = channel_.get();
        return *channel_;
    }

    std::unique_ptr<RecordingChannel> channel_;
};

}  // namespace slipdrv::testing
