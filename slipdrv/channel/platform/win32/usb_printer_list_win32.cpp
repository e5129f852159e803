// USB printers on Windows: the interfaces of the USB printing class that are
// present now, each with the path CreateFile takes, and the device ID the
// printer gives through its driver. The device set-up library is bound at the
// first listing: a host that never asks for USB printers never loads it.
#include <windows.h>
// After windows.h, which it builds on.
#include <setupapi.h>
#include <winioctl.h>

#include <algorithm>
#include <vector>

#include "../../usb_printer.h"
#include "system_library.h"

namespace slipdrv {
namespace {

// The device interface class of USB printers (GUID_DEVINTERFACE_USBPRINT).
constexpr GUID kUsbPrintInterface = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

// IOCTL_USBPRINT_GET_1284_ID of the USB printing driver.
constexpr DWORD kGet1284Id = CTL_CODE(FILE_DEVICE_UNKNOWN, 13, METHOD_BUFFERED, FILE_ANY_ACCESS);

// Some printers fail the request when asked for more than this.
constexpr DWORD kDeviceIdBuffer = 4094;
// How long the printer may take to answer: a wedged one must not hold up the list.
constexpr DWORD kDeviceIdTimeoutMs = 2000;

// The device set-up functions, bound once; all null where they are missing.
struct SetupApi {
    decltype(&::SetupDiGetClassDevsA) SetupDiGetClassDevsA =
        systemFunction<decltype(&::SetupDiGetClassDevsA)>("setupapi.dll", "SetupDiGetClassDevsA");
    decltype(&::SetupDiEnumDeviceInterfaces) SetupDiEnumDeviceInterfaces =
        systemFunction<decltype(&::SetupDiEnumDeviceInterfaces)>("setupapi.dll", "SetupDiEnumDeviceInterfaces");
    decltype(&::SetupDiGetDeviceInterfaceDetailA) SetupDiGetDeviceInterfaceDetailA =
        systemFunction<decltype(&::SetupDiGetDeviceInterfaceDetailA)>("setupapi.dll",
                                                                      "SetupDiGetDeviceInterfaceDetailA");
    decltype(&::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList =
        systemFunction<decltype(&::SetupDiDestroyDeviceInfoList)>("setupapi.dll", "SetupDiDestroyDeviceInfoList");

    bool complete() const {
        return SetupDiGetClassDevsA && SetupDiEnumDeviceInterfaces && SetupDiGetDeviceInterfaceDetailA &&
               SetupDiDestroyDeviceInfoList;
    }
};

const SetupApi& setupApi() {
    static const SetupApi bound;
    return bound;
}

// The interface path of one member of the set; empty when it cannot be had.
std::string interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& member) {
    DWORD required = 0;
    setupApi().SetupDiGetDeviceInterfaceDetailA(set, &member, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return {};
    // DWORD-aligned storage for the structure and the path that follows it.
    std::vector<DWORD> storage(required / sizeof(DWORD) + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    // The size of the structure without its path (it differs between the
    // 32- and 64-bit layouts).
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!setupApi().SetupDiGetDeviceInterfaceDetailA(
            set, &member, detail, static_cast<DWORD>(storage.size() * sizeof(DWORD)), nullptr, nullptr))
        return {};
    return detail->DevicePath;
}

// The printer's IEEE 1284 device ID. The reply starts with its length in two
// bytes, most significant first, counting those two bytes; empty when the
// printer does not answer in time.
std::string deviceId(const std::string& path) {
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string id;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent) {
        std::vector<unsigned char> reply(kDeviceIdBuffer);
        DWORD got = 0;
        BOOL ok = DeviceIoControl(h, kGet1284Id, nullptr, 0, reply.data(), kDeviceIdBuffer, &got, &overlapped);
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            if (WaitForSingleObject(overlapped.hEvent, kDeviceIdTimeoutMs) != WAIT_OBJECT_0) CancelIoEx(h, &overlapped);
            // Reaped before the buffer goes, whether it completed or was cancelled.
            ok = GetOverlappedResult(h, &overlapped, &got, TRUE);
        }
        if (ok && got >= 2) {
            const DWORD stated = (DWORD{reply[0]} << 8) | reply[1];
            const DWORD end = std::min(got, stated < 2 ? got : stated);
            id.assign(reinterpret_cast<const char*>(reply.data()) + 2, end - 2);
            // Drop the terminating NUL some drivers count in.
            while (!id.empty() && id.back() == '\0') id.pop_back();
        }
        CloseHandle(overlapped.hEvent);
    }
    CloseHandle(h);
    return id;
}

class Win32UsbPrinterList final : public UsbPrinterList {
public:
    std::vector<UsbPrinter> list() override {
        std::vector<UsbPrinter> printers;
        if (!setupApi().complete()) return printers;
        const HDEVINFO set = setupApi().SetupDiGetClassDevsA(&kUsbPrintInterface, nullptr, nullptr,
                                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE) return printers;
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA member{};
            member.cbSize = sizeof member;
            if (!setupApi().SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbPrintInterface, index, &member)) break;
            std::string path = interfacePath(set, member);
            if (path.empty()) continue;
            std::string id = deviceId(path);
            printers.push_back({std::move(path), std::move(id)});
        }
        setupApi().SetupDiDestroyDeviceInfoList(set);
        return printers;
    }
};

}  // namespace

std::unique_ptr<UsbPrinterList> makeUsbPrinterList() { return std::make_unique<Win32UsbPrinterList>(); }

}  // namespace slipdrv
