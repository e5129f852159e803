// What slipdrv-print needs of the platform: the library's exports, and files
// and standard input to read bytes from. Paths are UTF-8 here; each backend
// turns them into what its file calls and the library take.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "slipdrv.h"

namespace slipdrv_print {

// The exports the program calls, with the library's own declarations (and so
// its calling convention). Linux links them; Windows binds them by name, as
// hosts bind slipdrv.dll.
struct SlipdrvCalls {
    decltype(&::BPOpenPrinter) BPOpenPrinter = nullptr;
    decltype(&::BPOpenPrinterByName) BPOpenPrinterByName = nullptr;
    decltype(&::BPClosePrinter) BPClosePrinter = nullptr;
    decltype(&::BPPrintStringUTF8) BPPrintStringUTF8 = nullptr;
    decltype(&::BPSelectChineseMode) BPSelectChineseMode = nullptr;
    decltype(&::BPExitChineseMode) BPExitChineseMode = nullptr;
    decltype(&::BPSelectJustification) BPSelectJustification = nullptr;
    decltype(&::BPSelectCharacterSize) BPSelectCharacterSize = nullptr;
    decltype(&::BPPrintBarCode) BPPrintBarCode = nullptr;
    decltype(&::BPPrintQRCode) BPPrintQRCode = nullptr;
    decltype(&::BPPrintBitmap) BPPrintBitmap = nullptr;
    decltype(&::BPPrintFeedSomeLines) BPPrintFeedSomeLines = nullptr;
    decltype(&::BPSelectCutPaper) BPSelectCutPaper = nullptr;
    decltype(&::BPOpenCashBox) BPOpenCashBox = nullptr;
    decltype(&::BPRealtimeGetStatus) BPRealtimeGetStatus = nullptr;
    // Younger exports: null when the library is older than them, and then
    // only the options that need them are refused.
    decltype(&::BPSetTextEncoding) BPSetTextEncoding = nullptr;
    decltype(&::BPPrintRowUTF8) BPPrintRowUTF8 = nullptr;
};

// The exports, or nullopt with the reason in `why` when the library or one of
// the exports every run needs cannot be found.
std::optional<SlipdrvCalls> bindSlipdrv(std::string& why);

// A file opened for reading bytes (the caller closes it): null when it cannot
// be opened, or when it is not a regular file (then `notRegular` is set).
struct OpenedFile {
    std::FILE* file = nullptr;
    bool notRegular = false;
};
// Opening never waits: a FIFO or a device is refused without being read.
OpenedFile openRegularFile(const std::string& path);
// Standard input, read as bytes.
std::FILE* standardInput();

// The path as the library's path arguments take it.
std::string pathForLibrary(const std::string& path);

}  // namespace slipdrv_print
