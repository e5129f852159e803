// The parallel transport: one LPT port, writes and reads bounded by the
// caller's time-out. No thread: nothing is read unless a caller asks.
#pragma once

#include <cstdint>
#include <memory>

#include "parallel_device.h"
#include "transport.h"

namespace slipdrv {

class CLpt : public Transport {
public:
    CLpt();
    explicit CLpt(std::unique_ptr<ParallelDevice> device);
    ~CLpt() override;
    CLpt(const CLpt&) = delete;
    CLpt& operator=(const CLpt&) = delete;

    // 1 when LPT<port> is ready, 0 otherwise (whatever was open is closed first).
    int Open(int port);
    void Close();
    bool IsOpen() const { return device_->isOpen(); }

    // 1 on success, 0 on failure. `status` is written only when the transfer
    // had to be waited for: 0 completed, 1 timed out, 2 the wait failed.
    int Write(const std::uint8_t* bytes, int length, int timeoutMs, std::uint8_t* status);
    int Read(std::uint8_t* destination, int length, int timeoutMs, std::uint8_t* status);

    // The port as a transport: a transfer succeeds when it completes within
    // the command's time-out, as Write and Read report it.
    bool isOpen() const override { return IsOpen(); }
    bool close() override;
    bool write(std::span<const std::uint8_t> bytes, int transferTimeoutMs) override;
    bool read(std::uint8_t* destination, int length, int timeoutMs) override;
    // Forgets what the printer sent and nobody has read yet.
    void discardReceived() override;
    const ReplyTiming* replyTiming() const override { return &kParallelReplyTiming; }

private:
    static int finish(Transfer result, std::uint8_t* status);
    static bool succeeded(Transfer result) {
        return result == Transfer::kCompletedAtOnce || result == Transfer::kCompleted;
    }

    std::unique_ptr<ParallelDevice> device_;
};

}  // namespace slipdrv
