// slipdrv-print on Linux: linked against libslipdrv.so; arguments, file names
// and standard input are UTF-8 bytes as they come.
#include <cstdio>

#include "../../print_job.h"
#include "../../tool_platform.h"

namespace slipdrv_print {

std::optional<SlipdrvCalls> bindSlipdrv(std::string&) {
    SlipdrvCalls calls;
    calls.BPOpenPrinter = &::BPOpenPrinter;
    calls.BPClosePrinter = &::BPClosePrinter;
    calls.BPPrintStringUTF8 = &::BPPrintStringUTF8;
    calls.BPSelectChineseMode = &::BPSelectChineseMode;
    calls.BPExitChineseMode = &::BPExitChineseMode;
    calls.BPSelectJustification = &::BPSelectJustification;
    calls.BPSelectCharacterSize = &::BPSelectCharacterSize;
    calls.BPPrintBarCode = &::BPPrintBarCode;
    calls.BPPrintQRCode = &::BPPrintQRCode;
    calls.BPPrintBitmap = &::BPPrintBitmap;
    calls.BPPrintFeedSomeLines = &::BPPrintFeedSomeLines;
    calls.BPSelectCutPaper = &::BPSelectCutPaper;
    calls.BPOpenCashBox = &::BPOpenCashBox;
    calls.BPRealtimeGetStatus = &::BPRealtimeGetStatus;
    return calls;
}

std::FILE* openFile(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

std::FILE* standardInput() { return stdin; }

std::string pathForLibrary(const std::string& path) { return path; }

}  // namespace slipdrv_print

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return slipdrv_print::runSlipdrvPrint(args, stdout, stderr);
}
