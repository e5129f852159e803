// The bitmap loader on Windows: the system's image loader on the file, then
// every pixel in one GetDIBits call into a 32-bit top-down buffer (one call
// instead of one GetPixel per pixel, with the same colours). The bitmap is
// loaded as a DIB section so that its colours stay those of the file whatever
// the display's depth.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "../../bitmap_header.h"
#include "../../bitmap_loader.h"
#include "../../dot_image.h"

namespace slipdrv {
namespace {

// The system loader sizes its bitmap from the file's header, so the header is
// checked first: a file announcing a size beyond the limits is refused before
// anything is allocated for it.
bool headerWithinLimits(const char* path) {
    std::uint8_t bytes[kBitmapHeaderMaxBytes];
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    const auto header = readBitmapHeader(std::span(bytes, got));
    if (!header) return false;
    const std::int64_t width = header->width, height = header->height;
    return withinSizeLimit(std::min<std::int64_t>(width, kMaxPrintWidth), height) &&
           width * height <= kMaxDecodedPixels;
}

class Win32BitmapLoader final : public BitmapLoader {
public:
    ~Win32BitmapLoader() override { release(); }

    bool open(const char* path) override {
        release();
        pixels_.clear();
        if (!headerWithinLimits(path)) return false;
        bitmap_ =
            static_cast<HBITMAP>(LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
        if (!bitmap_) return false;
        BITMAP info{};
        if (GetObjectA(bitmap_, sizeof info, &info) != static_cast<int>(sizeof info)) {
            release();
            return false;
        }
        width_ = static_cast<int>(info.bmWidth);
        height_ = static_cast<int>(info.bmHeight < 0 ? -info.bmHeight : info.bmHeight);
        return true;
    }
    int width() const override { return width_; }
    int height() const override { return height_; }

    bool readPixels() override {
        if (!bitmap_ || width_ <= 0 || height_ <= 0) return false;
        pixels_.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = width_;
        format.bmiHeader.biHeight = -height_;  // top-down: row 0 first
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        HDC screen = GetDC(nullptr);
        if (!screen) return fail();
        const int rows =
            GetDIBits(screen, bitmap_, 0, static_cast<UINT>(height_), pixels_.data(), &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        // The pixels are all here: the bitmap itself is no longer needed.
        release();
        if (rows != height_) return fail();
        return true;
    }

    Rgb pixel(int x, int y) const override {
        if (pixels_.empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return {255, 255, 255};
        // Blue, green, red, unused.
        const std::uint8_t* p = pixels_.data() + 4 * (static_cast<std::size_t>(y) * width_ + x);
        return {p[2], p[1], p[0]};
    }

private:
    bool fail() {
        release();
        pixels_.clear();
        return false;
    }
    void release() {
        if (bitmap_) DeleteObject(bitmap_);
        bitmap_ = nullptr;
    }

    HBITMAP bitmap_ = nullptr;
    std::vector<std::uint8_t> pixels_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace

std::unique_ptr<BitmapLoader> makeBitmapLoader() { return std::make_unique<Win32BitmapLoader>(); }

}  // namespace slipdrv
