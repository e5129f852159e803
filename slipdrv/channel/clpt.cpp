#include "clpt.h"

namespace slipdrv {

CLpt::CLpt() : CLpt(makeParallelDevice()) {}

CLpt::CLpt(std::unique_ptr<ParallelDevice> device) : device_(std::move(device)) {}

CLpt::~CLpt() { Close(); }

int CLpt::Open(int port) {
    Close();
    return device_->open(port) ? 1 : 0;
}

void CLpt::Close() { device_->close(); }

int CLpt::Write(const std::uint8_t* bytes, int length, int timeoutMs, std::uint8_t* status) {
    if (length <= 0 || !IsOpen()) return 0;
    return finish(device_->write(bytes, length, timeoutMs), status);
}

int CLpt::Read(std::uint8_t* destination, int length, int timeoutMs, std::uint8_t* status) {
    if (length <= 0 || !IsOpen()) return 0;
    return finish(device_->read(destination, length, timeoutMs), status);
}

bool CLpt::close() {
    Close();
    return true;
}

bool CLpt::write(std::span<const std::uint8_t> bytes, int transferTimeoutMs) {
    return !bytes.empty() && IsOpen() &&
           succeeded(device_->write(bytes.data(), static_cast<int>(bytes.size()), transferTimeoutMs));
}

bool CLpt::read(std::uint8_t* destination, int length, int timeoutMs) {
    return length > 0 && IsOpen() && succeeded(device_->read(destination, length, timeoutMs));
}

void CLpt::discardReceived() {
    if (IsOpen()) device_->discardReceived();
}

int CLpt::finish(Transfer result, std::uint8_t* status) {
    switch (result) {
        case Transfer::kCompletedAtOnce:
            return 1;
        case Transfer::kFailed:
            return 0;
        case Transfer::kCompleted:
            *status = 0;
            return 1;
        case Transfer::kTimedOut:
            *status = 1;
            return 0;
        case Transfer::kWaitFailed:
            *status = 2;
            return 0;
    }
    return 0;
}

}  // namespace slipdrv
