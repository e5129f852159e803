// The bit-image conversion through the Windows loader, timed under wine64
// (no benchmark library is built for Windows): load a 640 x 153 24-bit bitmap
// file with the system's image loader and GetDIBits, convert and pack, many
// times, and print the median; then the same pixels read one GetPixel call at
// a time, for comparison. Run by hand (see README.md).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "dot_image.h"
#include "image_test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double medianMs(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <typename Fn>
std::vector<double> timeRuns(int runs, Fn&& fn) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!fn()) return {};
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return times;
}

// One GetPixel call per pixel through a memory DC: the slow way.
bool getPixelPass(const char* path) {
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (!bitmap) return false;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    unsigned dark = 0;
    for (int y = 0; y < 153; ++y)
        for (int x = 0; x < 640; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            dark += slipdrv::isDark({GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return dark > 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 101;
    std::mt19937 rng(640153);
    const char* path = "bit-image-timing.bmp";
    image_testing::writeFile(path, image_testing::encodeBmp(image_testing::randomPicture(rng, 640, 153), 24));

    const auto fast = timeRuns(runs, [&] {
        const auto loader = slipdrv::makeBitmapLoader();
        const auto image = slipdrv::loadDotImage(*loader, path);
        return image && !slipdrv::packBands(*image, 24).empty();
    });
    const auto slow = timeRuns(std::max(1, runs / 10), [&] { return getPixelPass(path); });
    DeleteFileA(path);
    if (fast.empty() || slow.empty()) {
        std::printf("the sample did not load\n");
        return 1;
    }
    std::printf("load, convert, pack 640 x 153 (GetDIBits): median %.3f ms over %zu runs\n", medianMs(fast),
                fast.size());
    std::printf("the same pixels one GetPixel call each:     median %.3f ms over %zu runs\n", medianMs(slow),
                slow.size());
    return 0;
}
