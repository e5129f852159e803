// The bitmap loader on Windows: the system's image loader on the file, then
// every pixel in one GetDIBits call into a 32-bit top-down buffer (one call
// instead of one GetPixel per pixel, with the same colours), handed on row by
// row. The bitmap is loaded as a DIB section so that its colours stay those of
// the file whatever the display's depth.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "../../bitmap_header.h"
#include "../../bitmap_loader.h"
#include "../../dot_image.h"

namespace slipdrv {
namespace {

// The file, opened for reading and refused unless it is a file on disk (a
// FIFO, which Wine shows as a file, is a pipe here). Held open while the
// system loader reads the same name: its sharing lets nobody replace the file
// meanwhile.
class CheckedFile {
public:
    explicit CheckedFile(const char* path)
        : handle_(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr)) {
        if (handle_ != INVALID_HANDLE_VALUE && GetFileType(handle_) != FILE_TYPE_DISK) close();
    }
    ~CheckedFile() { close(); }
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;

    // The system loader sizes its bitmap from the file's header, so the
    // header is checked first: a file announcing a size beyond the limits is
    // refused before anything is allocated for it.
    bool headerWithinLimits() const {
        if (handle_ == INVALID_HANDLE_VALUE) return false;
        std::uint8_t bytes[kBitmapHeaderMaxBytes];
        DWORD got = 0;
        if (!ReadFile(handle_, bytes, sizeof bytes, &got, nullptr)) return false;
        const auto header = readBitmapHeader(std::span(bytes, got));
        if (!header) return false;
        const std::int64_t width = header->width, height = header->height;
        return withinSizeLimit(std::min<std::int64_t>(width, kMaxPrintWidth), height) &&
               width * height <= kMaxDecodedPixels;
    }

private:
    void close() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    HANDLE handle_;
};

class Win32BitmapLoader final : public BitmapLoader {
public:
    ~Win32BitmapLoader() override { release(); }

    bool open(const char* path) override {
        release();
        const CheckedFile file(path);
        if (!file.headerWithinLimits()) return false;
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

    bool readRows(int columns, PixelRows& rows) override {
        if (!bitmap_ || width_ <= 0 || height_ <= 0 || columns <= 0 || columns > width_) return false;
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width_) * height_ * 4);
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = width_;
        format.bmiHeader.biHeight = -height_;  // top-down: row 0 first
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        HDC screen = GetDC(nullptr);
        if (!screen) {
            release();
            return false;
        }
        const int got =
            GetDIBits(screen, bitmap_, 0, static_cast<UINT>(height_), pixels.data(), &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        // The pixels are all here: the bitmap itself is no longer needed.
        release();
        if (got != height_) return false;
        std::vector<Rgb> row(static_cast<std::size_t>(columns));
        for (int y = 0; y < height_; ++y) {
            // Blue, green, red, unused.
            const std::uint8_t* p = pixels.data() + 4 * static_cast<std::size_t>(y) * width_;
            for (auto& pixel : row) pixel = {p[2], p[1], p[0]}, p += 4;
            rows.take(y, row);
        }
        return true;
    }

private:
    void release() {
        if (bitmap_) DeleteObject(bitmap_);
        bitmap_ = nullptr;
    }

    HBITMAP bitmap_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace

std::unique_ptr<BitmapLoader> makeBitmapLoader() { return std::make_unique<Win32BitmapLoader>(); }

}  // namespace slipdrv
