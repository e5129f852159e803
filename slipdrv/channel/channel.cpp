#include "channel.h"

#include "ccomm.h"
#include "clpt.h"

namespace slipdrv {

bool SerialChannel::IsOpen() const { return comm_ && comm_->IsOpen(); }

void SerialChannel::Close() {
    if (comm_) comm_->Close();
}

bool SerialChannel::Write(const std::uint8_t* bytes, int length, int) {
    return IsOpen() && comm_->Write(bytes, static_cast<std::uint32_t>(length)) == 1;
}

bool SerialChannel::Read(std::uint8_t* destination, int length, int serialTimeoutMs, int) {
    return IsOpen() && comm_->Read(destination, length, serialTimeoutMs) >= 1;
}

bool ParallelChannel::IsOpen() const { return lpt_.IsOpen(); }

void ParallelChannel::Close() { lpt_.Close(); }

// The wait status the transfer reports is not looked at: success is all that counts.
bool ParallelChannel::Write(const std::uint8_t* bytes, int length, int parallelTimeoutMs) {
    std::uint8_t waitStatus = 0;
    return IsOpen() && lpt_.Write(bytes, length, parallelTimeoutMs, &waitStatus) == 1;
}

bool ParallelChannel::Read(std::uint8_t* destination, int length, int, int parallelTimeoutMs) {
    std::uint8_t waitStatus = 0;
    return IsOpen() && lpt_.Read(destination, length, parallelTimeoutMs, &waitStatus) == 1;
}

}  // namespace slipdrv
