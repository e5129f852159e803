// slipdrv-print: prints lines of text on a receipt printer through slipdrv,
// the way a host application would. Each argument is one line; a bitmap file
// given with --bitmap is printed first (24-dot bands).
//   slipdrv-print [--port N] [--baud B] [--bitmap FILE] TEXT...
// Port 1-10 is COM1-COM10 (on Linux the device in SLIPDRV_COM<n>, else
// /dev/ttyS<n-1>), 11-12 is LPT1-LPT2.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "slipdrv.h"

int main(int argc, char** argv) {
    int port = 1;
    int baud = 9600;
    std::string bitmap;
    std::vector<std::string> lines;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--port" || arg == "--baud") && i + 1 < argc) {
            (arg == "--port" ? port : baud) = std::atoi(argv[++i]);
        } else if (arg == "--bitmap" && i + 1 < argc) {
            bitmap = argv[++i];
        } else {
            lines.push_back(arg);
        }
    }
    if (lines.empty()) {
        std::fprintf(stderr, "usage: slipdrv-print [--port N] [--baud B] [--bitmap FILE] TEXT...\n");
        return 2;
    }
    if (BPOpenPrinter(port, baud) != 0) {
        std::fprintf(stderr, "slipdrv-print: cannot open port %d at %d baud\n", port, baud);
        return 1;
    }
    int failed = 0;
    if (!bitmap.empty() && BPPrintBitmap(bitmap.c_str(), 33) != 0) {
        std::fprintf(stderr, "slipdrv-print: cannot print %s\n", bitmap.c_str());
        ++failed;
    }
    for (const auto& line : lines) {
        if (BPPrintString((line + "\n").c_str()) != 0) ++failed;
    }
    BPClosePrinter();
    if (failed) std::fprintf(stderr, "slipdrv-print: %d line(s) not sent\n", failed);
    return failed ? 1 : 0;
}
