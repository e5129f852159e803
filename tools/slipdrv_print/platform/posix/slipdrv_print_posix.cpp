// slipdrv-print on Linux: linked against libslipdrv.so; arguments, file names
// and standard input are UTF-8 bytes as they come.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "../../print_job.h"
#include "../../tool_platform.h"

namespace slipdrv_print {

std::optional<SlipdrvCalls> bindSlipdrv(std::string&) {
    SlipdrvCalls calls;
    calls.BPOpenPrinter = &::BPOpenPrinter;
    calls.BPOpenPrinterByName = &::BPOpenPrinterByName;
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
    calls.BPSetTextEncoding = &::BPSetTextEncoding;
    calls.BPPrintRowUTF8 = &::BPPrintRowUTF8;
    return calls;
}

OpenedFile openRegularFile(const std::string& path) {
    // Without O_NONBLOCK opening a FIFO would wait for a writer.
    OpenedFile opened;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return opened;
    struct stat status {};
    const bool known = ::fstat(fd, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        opened.notRegular = known;
        ::close(fd);
        return opened;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) opened.file = ::fdopen(fd, "rb");
    if (!opened.file) ::close(fd);
    return opened;
}

std::FILE* standardInput() { return stdin; }

std::string pathForLibrary(const std::string& path) { return path; }

}  // namespace slipdrv_print

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return slipdrv_print::runSlipdrvPrint(args, stdout, stderr);
}
