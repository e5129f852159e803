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
    return Finish(device_->write(bytes, length, timeoutMs), status);
}

int CLpt::Read(std::uint8_t* destination, int length, int timeoutMs, std::uint8_t* status) {
    if (length <= 0 || !IsOpen()) return 0;
    return Finish(device_->read(destination, length, timeoutMs), status);
}

int CLpt::Finish(Transfer result, std::uint8_t* status) {
    switch (result) {
        case Transfer::CompletedAtOnce:
            return 1;
        case Transfer::Failed:
            return 0;
        case Transfer::Completed:
            *status = 0;
            return 1;
        case Transfer::TimedOut:
            *status = 1;
            return 0;
        case Transfer::WaitFailed:
            *status = 2;
            return 0;
    }
    return 0;
}

}  // namespace slipdrv
