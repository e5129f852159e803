// slipdrv-print.exe, a console program. slipdrv.dll is bound at run time by
// export name, as hosts bind it: an i686 program compiled against slipdrv.h
// refers to decorated callee-cleans names (BPOpenPrinter@8) that the DLL's
// undecorated exports do not resolve at link time. Binding by name also lets
// the program say which file or export is missing instead of failing to load.
// Arguments arrive as UTF-16 and are handed on as UTF-8; the library takes
// file names in the ANSI code page.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "../../print_job.h"
#include "../../tool_platform.h"
#include "common/utf.h"

namespace slipdrv_print {
namespace {

std::wstring wide(const std::string& utf8) {
    const std::u16string text = kit::utf8ToUtf16(utf8);
    return std::wstring(text.begin(), text.end());
}

template <typename Fn>
bool bind(HMODULE module, const char* name, Fn& fn, std::string& why) {
    const FARPROC address = GetProcAddress(module, name);
    if (!address) {
        why = std::string("slipdrv.dll has no export ") + name;
        return false;
    }
    // Through the generic function pointer type, as the platform intends.
    fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
    return true;
}

// An export an older slipdrv.dll lacks: left null, for the options that need it to refuse.
template <typename Fn>
void bindIfThere(HMODULE module, const char* name, Fn& fn) {
    std::string ignored;
    bind(module, name, fn, ignored);
}

}  // namespace

std::optional<SlipdrvCalls> bindSlipdrv(std::string& why) {
    // Kept loaded until the process ends.
    const HMODULE module = LoadLibraryW(L"slipdrv.dll");
    if (!module) {
        why = "cannot load slipdrv.dll (error " + std::to_string(GetLastError()) + ")";
        return std::nullopt;
    }
    SlipdrvCalls c;
    const bool bound = bind(module, "BPOpenPrinter", c.BPOpenPrinter, why) &&
                       bind(module, "BPOpenPrinterByName", c.BPOpenPrinterByName, why) &&
                       bind(module, "BPClosePrinter", c.BPClosePrinter, why) &&
                       bind(module, "BPPrintStringUTF8", c.BPPrintStringUTF8, why) &&
                       bind(module, "BPSelectChineseMode", c.BPSelectChineseMode, why) &&
                       bind(module, "BPExitChineseMode", c.BPExitChineseMode, why) &&
                       bind(module, "BPSelectJustification", c.BPSelectJustification, why) &&
                       bind(module, "BPSelectCharacterSize", c.BPSelectCharacterSize, why) &&
                       bind(module, "BPPrintBarCode", c.BPPrintBarCode, why) &&
                       bind(module, "BPPrintQRCode", c.BPPrintQRCode, why) &&
                       bind(module, "BPPrintBitmap", c.BPPrintBitmap, why) &&
                       bind(module, "BPPrintFeedSomeLines", c.BPPrintFeedSomeLines, why) &&
                       bind(module, "BPSelectCutPaper", c.BPSelectCutPaper, why) &&
                       bind(module, "BPOpenCashBox", c.BPOpenCashBox, why) &&
                       bind(module, "BPRealtimeGetStatus", c.BPRealtimeGetStatus, why);
    if (!bound) return std::nullopt;
    bindIfThere(module, "BPSetTextEncoding", c.BPSetTextEncoding);
    bindIfThere(module, "BPPrintRowUTF8", c.BPPrintRowUTF8);
    return c;
}

OpenedFile openRegularFile(const std::string& path) {
    OpenedFile opened;
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return opened;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        opened.notRegular = true;
        return opened;
    }
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return opened;
    // A device or a pipe (a FIFO under Wine) is refused before it is read.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        opened.notRegular = true;
        CloseHandle(handle);
        return opened;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd == -1) {
        CloseHandle(handle);
        return opened;
    }
    opened.file = _fdopen(fd, "rb");
    if (!opened.file) _close(fd);  // closes the handle too
    return opened;
}

std::FILE* standardInput() {
    // Bytes as they come: no CR LF translation, no end at a Ctrl+Z.
    _setmode(_fileno(stdin), _O_BINARY);
    return stdin;
}

std::string pathForLibrary(const std::string& path) {
    const std::wstring text = wide(path);
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return path;
    std::vector<char> ansi(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi.data(), size, nullptr, nullptr);
    return ansi.data();
}

}  // namespace slipdrv_print

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(kit::utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i])));
    return slipdrv_print::runSlipdrvPrint(args, stdout, stderr);
}
