// The conversion behind the bit-image exports: load a 640 x 153 24-bit bitmap
// file (the largest full-width image the size limit passes), turn it into
// dots and pack them, natively through the Linux loader, which reads the
// bitmap's rows straight into the conversion. Run by hand (see README.md).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <random>
#include <string>

#include "dot_image.h"
#include "image_test_support.h"
#include "slipdrv.h"

namespace {

using namespace image_testing;

// A random 640 x 153 picture around the darkness threshold, written once.
const std::string& sampleFile() {
    static const std::string path = [] {
        std::mt19937 rng(640153);
        const std::string name = "/tmp/slipdrv-bench-" + std::to_string(getpid()) + ".bmp";
        writeFile(name, encodeBmp(randomPicture(rng, 640, 153), 24));
        return name;
    }();
    return path;
}

// What the three file exports share: load, convert, pack (24-dot bands here).
void BM_LoadConvertPack(benchmark::State& state) {
    const std::string& path = sampleFile();
    for (auto _ : state) {
        const auto loader = slipdrv::makeBitmapLoader();
        const auto image = slipdrv::loadDotImage(*loader, path.c_str());
        if (!image) {
            state.SkipWithError("the sample did not load");
            break;
        }
        auto bands = slipdrv::packBands(*image, 24);
        benchmark::DoNotOptimize(bands.data());
    }
}
BENCHMARK(BM_LoadConvertPack)->Unit(benchmark::kMillisecond);

// The whole of BPPrintBitmap with no port open: conversion, packing and the
// "top.bin" staging file written and read back; the first write then fails.
void BM_PrintBitmapNoPort(benchmark::State& state) {
    const std::string& path = sampleFile();
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || chdir("/tmp") != 0) {
        state.SkipWithError("no scratch directory");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(BPPrintBitmap(path.c_str(), 33));
    if (chdir(previous) != 0) state.SkipWithError("cannot return to the directory");
}
BENCHMARK(BM_PrintBitmapNoPort)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    unlink(sampleFile().c_str());
    unlink("/tmp/top.bin");
    return 0;
}
