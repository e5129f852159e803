// The bitmap loader on Linux: stb_image on the file's bytes, read into memory
// once so that the header checked and the pixels decoded come from the same
// bytes.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../../bitmap_header.h"
#include "../../bitmap_loader.h"
#include "stb_image_loader.h"

namespace slipdrv {
namespace {

// Far more than a bitmap of the most pixels the loader decodes (16 MiB at 32
// bits a pixel); a larger file is refused unread.
constexpr long kMaxFileBytes = 64L << 20;

class StbBitmapLoader final : public BitmapLoader {
public:
    ~StbBitmapLoader() override { release(); }

    bool open(const char* path) override {
        release();
        bytes_.clear();
        if (!readFile(path)) return false;
        if (slipdrv_image_info(bytes_.data(), static_cast<int>(bytes_.size()), &width_, &height_) != 1) return false;
        // A bitmap file gives a negative height for rows stored top-down.
        if (height_ == INT_MIN) return false;
        height_ = std::abs(height_);
        return !isBitmapFile() || bitmapPixelsComplete();
    }
    int width() const override { return width_; }
    int height() const override { return height_; }

    bool readPixels() override {
        release();
        int width = 0, height = 0;
        pixels_ = slipdrv_image_load_rgb(bytes_.data(), static_cast<int>(bytes_.size()), &width, &height);
        bytes_ = {};
        // The decoder reads the header again; it must be the one the caller accepted.
        if (pixels_ && (width != width_ || height != height_)) release();
        return pixels_ != nullptr;
    }

    Rgb pixel(int x, int y) const override {
        if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return {255, 255, 255};
        const unsigned char* p = pixels_ + 3 * (static_cast<std::size_t>(y) * width_ + x);
        return {p[0], p[1], p[2]};
    }

private:
    bool readFile(const char* path) {
        std::FILE* file = std::fopen(path, "rb");
        if (!file) return false;
        bool ok = std::fseek(file, 0, SEEK_END) == 0;
        const long size = ok ? std::ftell(file) : -1;
        ok = size > 0 && size <= kMaxFileBytes && std::fseek(file, 0, SEEK_SET) == 0;
        if (ok) {
            bytes_.resize(static_cast<std::size_t>(size));
            ok = std::fread(bytes_.data(), 1, bytes_.size(), file) == bytes_.size();
        }
        std::fclose(file);
        return ok;
    }
    bool isBitmapFile() const { return bytes_.size() >= 2 && bytes_[0] == 'B' && bytes_[1] == 'M'; }
    // stb_image decodes a bitmap whose pixel data ends early, filling the
    // missing rows with black; a cut-off file is refused here instead.
    bool bitmapPixelsComplete() const {
        const auto header = readBitmapHeader(bytes_);
        if (!header) return false;
        // Run-length data has no fixed size (and stb_image does not read it).
        return !header->fixedPixelSize() || header->pixelRowsEndWithin(bytes_.size());
    }
    void release() {
        if (pixels_) slipdrv_image_free(pixels_);
        pixels_ = nullptr;
    }

    std::vector<unsigned char> bytes_;
    unsigned char* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace

std::unique_ptr<BitmapLoader> makeBitmapLoader() { return std::make_unique<StbBitmapLoader>(); }

}  // namespace slipdrv
