// The bitmap loader on Linux: Windows bitmaps through the images core, PNG
// through libpng and JPEG through libjpeg, each read from the file as it is
// decoded rather than loaded into memory whole.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "../../bitmap_header.h"
#include "../../bitmap_loader.h"
#include "../../bitmap_rows.h"
#include "image_readers.h"

namespace slipdrv {
namespace {

// What libpng and libjpeg may allocate for one image: room for the largest
// image the loader decodes (2^22 pixels of 3 bytes) held whole, as an
// interlaced PNG needs. A file that needs more is refused.
constexpr std::size_t kDecoderMemoryBytes = std::size_t{16} << 20;

constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint8_t kJpegStart[] = {0xFF, 0xD8};

// Opens the image without waiting (opening a FIFO for reading waits for a
// writer) and keeps it only when it is a regular file.
std::FILE* openRegularFile(const char* path, std::uint64_t& size) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status;
    const int flags = ::fcntl(fd, F_GETFL);
    std::FILE* file = nullptr;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && flags != -1 &&
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        file = ::fdopen(fd, "rb");
    if (!file) ::close(fd);
    size = file ? static_cast<std::uint64_t>(status.st_size) : 0;
    return file;
}

class FileAt final : public FileBytes {
public:
    explicit FileAt(int fd) : fd_(fd) {}
    bool readAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got =
                ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int fd_;
};

template <std::size_t N>
bool startsWith(std::span<const std::uint8_t> bytes, const std::uint8_t (&signature)[N]) {
    return bytes.size() >= N && std::equal(signature, signature + N, bytes.begin());
}

class PosixBitmapLoader final : public BitmapLoader {
public:
    ~PosixBitmapLoader() override { close(); }

    bool open(const char* path) override {
        close();
        std::uint64_t size = 0;
        file_ = openRegularFile(path, size);
        if (!file_) return false;
        std::uint8_t head[kBitmapHeaderMaxBytes];
        const ssize_t got = ::pread(::fileno(file_), head, sizeof head, 0);
        const std::span<const std::uint8_t> bytes(head, got > 0 ? static_cast<std::size_t>(got) : 0);
        if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
            bitmap_ = readBitmapHeader(bytes);
            // Run-length data is not read; uncompressed rows cut off by the end of the file are refused.
            if (!bitmap_ || !bitmap_->fixedPixelSize() || !bitmap_->pixelRowsEndWithin(size)) return false;
            width_ = bitmap_->width;
            height_ = bitmap_->height;
            return true;
        }
        if (startsWith(bytes, kPngSignature)) png_ = image_png_open(file_, kDecoderMemoryBytes, &width_, &height_);
        if (startsWith(bytes, kJpegStart)) jpeg_ = image_jpeg_open(file_, kDecoderMemoryBytes, &width_, &height_);
        return png_ || jpeg_;
    }
    int width() const override { return width_; }
    int height() const override { return height_; }

    bool readRows(int columns, PixelRows& rows) override {
        if (!file_ || columns <= 0 || columns > width_) return false;
        if (bitmap_) {
            FileAt file(::fileno(file_));
            return readBitmapRows(*bitmap_, file, columns, rows);
        }
        // The decoders give whole rows, of which the left columns are taken.
        std::vector<Rgb> row(static_cast<std::size_t>(width_));
        auto* bytes = reinterpret_cast<unsigned char*>(row.data());
        for (int y = 0; y < height_; ++y) {
            if ((png_ ? image_png_read_row(png_, bytes) : jpeg_ ? image_jpeg_read_row(jpeg_, bytes) : 0) != 1)
                return false;
            rows.take(y, std::span<const Rgb>(row).first(static_cast<std::size_t>(columns)));
        }
        return true;
    }

private:
    void close() {
        image_png_close(png_);
        image_jpeg_close(jpeg_);
        if (file_) std::fclose(file_);
        png_ = nullptr;
        jpeg_ = nullptr;
        file_ = nullptr;
        bitmap_.reset();
        width_ = height_ = 0;
    }

    std::FILE* file_ = nullptr;
    std::optional<BitmapHeader> bitmap_;
    image_png* png_ = nullptr;
    image_jpeg* jpeg_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace

std::unique_ptr<BitmapLoader> makeBitmapLoader() { return std::make_unique<PosixBitmapLoader>(); }

}  // namespace slipdrv
