// The bit-image exports: a bitmap file printed at once in ESC * bands, loaded
// into the download buffer (GS * and GS /), stored as NV image 1 (FS q), and
// a stored NV image printed (FS p).
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "command_row.h"
#include "dot_image.h"
#include "port_control.h"
#include "slipdrv.h"
#include "staging_file.h"

namespace slipdrv {
namespace {

constexpr int kBandTimeoutMs = 3000;
constexpr int kDownloadHeaderTimeoutMs = 1000;
constexpr int kDownloadDataTimeoutMs = 5000;
constexpr int kDownloadPrintTimeoutMs = 1000;
constexpr int kNvDefineTimeoutMs = 3000;

constexpr const char* kBandStagingFile = "top.bin";
constexpr const char* kNvStagingFile = "image.bin";

constexpr CommandRow kPrintNvImage = row({kAnyByte, values({{0, 3}, {48, 51}})}, {FS, 'p', kArg1, kArg2}, 1000);

std::optional<DotImage> convert(const char* path) {
    if (!path || !*path) return std::nullopt;
    const auto loader = makeBitmapLoader();
    return loadDotImage(*loader, path);
}

// Closes the staging file on every way out.
class StagingFile {
public:
    StagingFile(const char* name, StagingAccess access, Sharing sharing)
        : file_(openStagingFile(name, access, sharing)) {}
    ~StagingFile() { close(); }
    StagingFile(const StagingFile&) = delete;
    StagingFile& operator=(const StagingFile&) = delete;

    explicit operator bool() const { return file_ != nullptr; }
    bool write(const std::vector<std::uint8_t>& bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    }
    std::size_t read(std::uint8_t* destination, std::size_t count) { return std::fread(destination, 1, count, file_); }
    bool close() {
        const bool ok = file_ == nullptr || std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

private:
    std::FILE* file_;
};

// Creates `name` anew with `bytes` in it; false when it cannot be created or written.
bool stage(const char* name, Sharing sharing, const std::vector<std::uint8_t>& bytes) {
    StagingFile file(name, StagingAccess::kCreate, sharing);
    if (!file) return false;
    const bool written = bytes.empty() || file.write(bytes);
    return file.close() && written;
}

int send(const std::vector<std::uint8_t>& bytes, std::size_t count, int timeoutMs) {
    return ChannelWrite(bytes.data(), static_cast<int>(count), timeoutMs);
}

int printBitmap(const char* path, int mode) {
    const auto image = convert(path);
    if (!image) return -1;
    // The band height follows the mode byte the printer is sent, whatever the
    // upper bits of the argument (256 is sent as mode 0: 8-dot bands).
    const int bandRows = bandRowsForMode(low8(mode));
    const auto bands = packBands(*image, bandRows);
    if (!stage(kBandStagingFile, Sharing::kNone, bands)) return -1;

    StagingFile file(kBandStagingFile, StagingAccess::kRead, Sharing::kReading);
    if (!file) return -1;
    const std::size_t bandBytes = static_cast<std::size_t>(image->width) * (bandRows / 8);
    const std::size_t bandCount = (static_cast<std::size_t>(image->height) + bandRows - 1) / bandRows;
    const std::vector<std::uint8_t> header = {ESC, '*', low8(mode), low8(image->width), low8(image->width >> 8)};
    const std::vector<std::uint8_t> feed = {ESC, 'J', 0x18};  // ESC J 24
    std::vector<std::uint8_t> band(bandBytes);
    for (std::size_t b = 0; b < bandCount; ++b) {
        const std::size_t got = file.read(band.data(), bandBytes);
        if (send(header, header.size(), kBandTimeoutMs) != 0) return -1;
        if (send(band, got, kBandTimeoutMs) != 0) return -1;
        if (send(feed, feed.size(), kBandTimeoutMs) != 0) return -1;
    }
    return 0;
}

int printDownloadBitImage(const char* path, int mode) {
    const auto image = convert(path);
    if (!image) return -1;
    const ColumnData columns = packColumns(*image);
    // GS * gives X and Yb one byte each: a larger image would arrive cut to
    // the low bytes, so it is refused.
    if (columns.bytesAcross > 255 || columns.bytesDown > 255) return -1;
    const std::uint8_t x = low8(columns.bytesAcross);
    const std::uint8_t y = low8(columns.bytesDown);
    if (send({0x1D, 0x2A, x, y}, 4, kDownloadHeaderTimeoutMs) != 0) return -1;
    if (send(columns.data, columns.data.size(), kDownloadDataTimeoutMs) != 0) return -1;
    if (send({GS, '/', low8(mode)}, 3, kDownloadPrintTimeoutMs) != 0) return -1;
    return 0;
}

int defineNvBitImage(const char* path) {
    const auto image = convert(path);
    if (!image) return -1;
    const ColumnData columns = packColumns(*image);
    if (!stage(kNvStagingFile, Sharing::kWriting, columns.data)) return -1;

    StagingFile file(kNvStagingFile, StagingAccess::kRead, Sharing::kReading);
    if (!file) return -1;
    std::vector<std::uint8_t> data(columns.data.size());
    const std::size_t got = file.read(data.data(), data.size());
    const int xb = columns.bytesAcross, yb = columns.bytesDown;
    if (send({FS, 'q', 0x01, low8(xb), low8(xb >> 8), low8(yb), low8(yb >> 8)}, 7, kNvDefineTimeoutMs) != 0) return -1;
    if (send(data, got, kNvDefineTimeoutMs) != 0) return -1;
    return 0;
}

// The whole export is one step for other host threads (its staging files
// too); running out of memory is a refusal, as at every export's boundary.
template <typename Fn>
int guarded(Fn&& fn) {
    return exportResult([&] {
        const auto lock = exclusiveUse();
        return fn();
    });
}

}  // namespace
}  // namespace slipdrv

using namespace slipdrv;

extern "C" {

int SLIPDRV_CALL BPPrintNVBitImage(int n, int m) { return sendCommand(kPrintNvImage, n, m); }
int SLIPDRV_CALL BPDefineNVBitImage(const char* path) {
    return guarded([&] { return defineNvBitImage(path); });
}
int SLIPDRV_CALL BPPrintBitmap(const char* path, int mode) {
    return guarded([&] { return printBitmap(path, mode); });
}
int SLIPDRV_CALL BPPrintDownloadBitImage(const char* path, int mode) {
    return guarded([&] { return printDownloadBitImage(path, mode); });
}

}  // extern "C"
