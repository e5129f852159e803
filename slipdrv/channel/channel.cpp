#include "channel.h"

#include "ccomm.h"
#include "clpt.h"

namespace slipdrv {

bool SerialChannel::isOpen() const { return comm_ && comm_->isOpen(); }

void SerialChannel::close() {
    if (comm_) comm_->Close();
}

bool SerialChannel::write(const std::uint8_t* bytes, int length, int) {
    return isOpen() && comm_->Write(bytes, static_cast<std::uint32_t>(length)) == 1;
}

bool SerialChannel::read(std::uint8_t* destination, int length, int serialTimeoutMs, int) {
    return isOpen() && comm_->Read(destination, length, serialTimeoutMs) >= 1;
}

void SerialChannel::discardReceived() {
    if (comm_) comm_->discardReceived();
}

void SerialChannel::cancelWrites() {
    if (comm_) comm_->cancelWrites();
}

bool ParallelChannel::isOpen() const { return lpt_.IsOpen(); }

void ParallelChannel::close() { lpt_.Close(); }

// The wait status the transfer reports is not looked at: success is all that counts.
bool ParallelChannel::write(const std::uint8_t* bytes, int length, int parallelTimeoutMs) {
    std::uint8_t waitStatus = 0;
    return isOpen() && lpt_.Write(bytes, length, parallelTimeoutMs, &waitStatus) == 1;
}

bool ParallelChannel::read(std::uint8_t* destination, int length, int, int parallelTimeoutMs) {
    std::uint8_t waitStatus = 0;
    return isOpen() && lpt_.Read(destination, length, parallelTimeoutMs, &waitStatus) == 1;
}

void ParallelChannel::discardReceived() { lpt_.discardReceived(); }

}  // namespace slipdrv
