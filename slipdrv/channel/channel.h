// The port the exports talk to, whatever its kind: every command reaches the
// printer through write and reads its reply through read, so the command
// layer never asks which kind of port it has. The library holds one adapter
// per kind (over CComm and CLpt) and makes one of them active; tests put an
// in-memory channel in their place.
#pragma once

#include <cstdint>

namespace slipdrv {

class CComm;
class CLpt;

enum class ChannelKind : std::uint8_t { kParallel = 0, kSerial = 1 };

// Called from the host's thread only (the exports are called one at a time),
// except cancelWrites.
class Channel {
public:
    virtual ~Channel() = default;

    virtual ChannelKind kind() const = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;

    // True when the whole run was handed over. A parallel transfer is bounded
    // by `parallelTimeoutMs`; a serial one by the port's own write time-outs.
    virtual bool write(const std::uint8_t* bytes, int length, int parallelTimeoutMs) = 0;

    // True when a serial read delivered at least one byte within
    // `serialTimeoutMs`, or a parallel read completed within `parallelTimeoutMs`
    // (with what had come by then).
    virtual bool read(std::uint8_t* destination, int length, int serialTimeoutMs, int parallelTimeoutMs) = 0;

    // Forgets what the printer sent and nobody has read yet, so that the reply
    // to a request sent next is not mistaken for an older byte.
    virtual void discardReceived() = 0;

    // From any thread, ahead of a close: ends a write that waits on the
    // printer (it fails), so that the close need not wait behind it. A port
    // whose writes are bounded by a short time-out of their own needs nothing.
    virtual void cancelWrites() {}
};

// The serial port. The channel object may be missing (it could not be made
// when the library loaded): the port is then never open.
class SerialChannel final : public Channel {
public:
    explicit SerialChannel(CComm* comm) : comm_(comm) {}
    ChannelKind kind() const override { return ChannelKind::kSerial; }
    bool isOpen() const override;
    void close() override;
    bool write(const std::uint8_t* bytes, int length, int parallelTimeoutMs) override;
    bool read(std::uint8_t* destination, int length, int serialTimeoutMs, int parallelTimeoutMs) override;
    void discardReceived() override;
    void cancelWrites() override;

private:
    CComm* comm_;
};

class ParallelChannel final : public Channel {
public:
    explicit ParallelChannel(CLpt& lpt) : lpt_(lpt) {}
    ChannelKind kind() const override { return ChannelKind::kParallel; }
    bool isOpen() const override;
    void close() override;
    bool write(const std::uint8_t* bytes, int length, int parallelTimeoutMs) override;
    bool read(std::uint8_t* destination, int length, int serialTimeoutMs, int parallelTimeoutMs) override;
    void discardReceived() override;

private:
    CLpt& lpt_;
};

}  // namespace slipdrv
