// Printer queues on Windows: the spooler, with RAW jobs so that the bytes
// reach the printer unchanged. Queue names are in the ANSI code page (the A
// functions), as the host passes them. The spooler's library is bound at the
// first use of a queue: a host that never opens one never loads it.
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../../spooler.h"
#include "system_library.h"

namespace slipdrv {
namespace {

// The spooler's functions, bound once; all null where the spooler is missing.
struct Winspool {
    decltype(&::AbortPrinter) AbortPrinter = systemFunction<decltype(&::AbortPrinter)>("winspool.drv", "AbortPrinter");
    decltype(&::ClosePrinter) ClosePrinter = systemFunction<decltype(&::ClosePrinter)>("winspool.drv", "ClosePrinter");
    decltype(&::WritePrinter) WritePrinter = systemFunction<decltype(&::WritePrinter)>("winspool.drv", "WritePrinter");
    decltype(&::EndPagePrinter) EndPagePrinter =
        systemFunction<decltype(&::EndPagePrinter)>("winspool.drv", "EndPagePrinter");
    decltype(&::EndDocPrinter) EndDocPrinter =
        systemFunction<decltype(&::EndDocPrinter)>("winspool.drv", "EndDocPrinter");
    decltype(&::OpenPrinterA) OpenPrinterA = systemFunction<decltype(&::OpenPrinterA)>("winspool.drv", "OpenPrinterA");
    decltype(&::GetDefaultPrinterA) GetDefaultPrinterA =
        systemFunction<decltype(&::GetDefaultPrinterA)>("winspool.drv", "GetDefaultPrinterA");
    decltype(&::EnumPrintersA) EnumPrintersA =
        systemFunction<decltype(&::EnumPrintersA)>("winspool.drv", "EnumPrintersA");
    decltype(&::GetPrinterA) GetPrinterA = systemFunction<decltype(&::GetPrinterA)>("winspool.drv", "GetPrinterA");
    decltype(&::StartDocPrinterA) StartDocPrinterA =
        systemFunction<decltype(&::StartDocPrinterA)>("winspool.drv", "StartDocPrinterA");
    decltype(&::StartPagePrinter) StartPagePrinter =
        systemFunction<decltype(&::StartPagePrinter)>("winspool.drv", "StartPagePrinter");

    bool complete() const {
        return AbortPrinter && ClosePrinter && WritePrinter && EndPagePrinter && EndDocPrinter && OpenPrinterA &&
               GetDefaultPrinterA && EnumPrintersA && GetPrinterA && StartDocPrinterA && StartPagePrinter;
    }
};

const Winspool& winspool() {
    static const Winspool bound;
    return bound;
}

// A queue in one of these states would hold or lose the job.
constexpr DWORD kUnusableStatus = PRINTER_STATUS_PAUSED | PRINTER_STATUS_ERROR | PRINTER_STATUS_OFFLINE |
                                  PRINTER_STATUS_PENDING_DELETION | PRINTER_STATUS_NOT_AVAILABLE;

class Win32Job final : public SpoolJob {
public:
    explicit Win32Job(HANDLE printer) : printer_(printer) {}
    ~Win32Job() override {
        if (!ended_) {
            // Ends the spooler's job without printing what it holds.
            winspool().AbortPrinter(printer_);
        }
        winspool().ClosePrinter(printer_);
    }
    Win32Job(const Win32Job&) = delete;
    Win32Job& operator=(const Win32Job&) = delete;

    bool write(std::span<const std::uint8_t> bytes) override {
        while (!bytes.empty()) {
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            DWORD written = 0;
            // WritePrinter takes a non-const buffer but only reads it.
            if (!winspool().WritePrinter(printer_, const_cast<std::uint8_t*>(bytes.data()), piece, &written) ||
                written == 0)
                return false;
            bytes = bytes.subspan(written);
        }
        return true;
    }

    bool end() override {
        const bool pageEnded = winspool().EndPagePrinter(printer_) != FALSE;
        ended_ = winspool().EndDocPrinter(printer_) != FALSE;
        return pageEnded && ended_;
    }

private:
    const HANDLE printer_;
    bool ended_ = false;
};

HANDLE openPrinter(const std::string& queue) {
    if (!winspool().complete()) return nullptr;
    HANDLE printer = nullptr;
    if (!winspool().OpenPrinterA(const_cast<char*>(queue.c_str()), &printer, nullptr)) return nullptr;
    return printer;
}

class Win32Spooler final : public Spooler {
public:
    std::string defaultQueue() override {
        if (!winspool().complete()) return {};
        DWORD size = 0;
        winspool().GetDefaultPrinterA(nullptr, &size);
        if (size == 0) return {};
        std::string name(size, '\0');
        if (!winspool().GetDefaultPrinterA(name.data(), &size)) return {};
        name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
        return name;
    }

    std::vector<std::string> queues() override {
        if (!winspool().complete()) return {};
        const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
        DWORD needed = 0;
        DWORD count = 0;
        winspool().EnumPrintersA(flags, nullptr, 4, nullptr, 0, &needed, &count);
        std::vector<std::string> names;
        if (needed == 0) return names;
        // PRINTER_INFO_4A holds pointers: the buffer is kept aligned for them.
        std::vector<PRINTER_INFO_4A> buffer(needed / sizeof(PRINTER_INFO_4A) + 1);
        if (!winspool().EnumPrintersA(flags, nullptr, 4, reinterpret_cast<BYTE*>(buffer.data()),
                                      static_cast<DWORD>(buffer.size() * sizeof(PRINTER_INFO_4A)), &needed, &count))
            return names;
        for (DWORD i = 0; i < count; ++i) {
            if (buffer[i].pPrinterName) names.emplace_back(buffer[i].pPrinterName);
        }
        return names;
    }

    bool usable(const std::string& queue) override {
        const HANDLE printer = openPrinter(queue);
        if (!printer) return false;
        DWORD needed = 0;
        winspool().GetPrinterA(printer, 2, nullptr, 0, &needed);
        bool usable = false;
        if (needed > 0) {
            std::vector<PRINTER_INFO_2A> buffer(needed / sizeof(PRINTER_INFO_2A) + 1);
            if (winspool().GetPrinterA(printer, 2, reinterpret_cast<BYTE*>(buffer.data()),
                                       static_cast<DWORD>(buffer.size() * sizeof(PRINTER_INFO_2A)), &needed)) {
                const PRINTER_INFO_2A& info = buffer.front();
                usable =
                    (info.Status & kUnusableStatus) == 0 && (info.Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) == 0;
            }
        }
        winspool().ClosePrinter(printer);
        return usable;
    }

    std::unique_ptr<SpoolJob> begin(const std::string& queue, const std::string& title) override {
        const HANDLE printer = openPrinter(queue);
        if (!printer) return nullptr;
        DOC_INFO_1A document{};
        document.pDocName = const_cast<char*>(title.c_str());
        document.pDatatype = const_cast<char*>("RAW");
        if (winspool().StartDocPrinterA(printer, 1, reinterpret_cast<BYTE*>(&document)) == 0) {
            winspool().ClosePrinter(printer);
            return nullptr;
        }
        auto job = std::make_unique<Win32Job>(printer);
        if (!winspool().StartPagePrinter(printer)) return nullptr;  // the job is aborted as it goes
        return job;
    }

    std::string programName() override {
        std::string path(MAX_PATH, '\0');
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return "slipdrv";
        path.resize(length);
        const auto slash = path.find_last_of("\\/");
        return slash == std::string::npos ? path : path.substr(slash + 1);
    }
};

}  // namespace

std::unique_ptr<Spooler> systemSpooler() { return std::make_unique<Win32Spooler>(); }

}  // namespace slipdrv
