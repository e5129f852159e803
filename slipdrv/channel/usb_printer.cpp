#include "usb_printer.h"

#include <algorithm>
#include <string_view>

namespace slipdrv {
namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool containsIgnoringCase(std::string_view text, std::string_view wanted) {
    const auto same = [](char x, char y) { return lowerAscii(x) == lowerAscii(y); };
    return std::search(text.begin(), text.end(), wanted.begin(), wanted.end(), same) != text.end();
}

// Windows paths (\\?\usb#vid_...) name the same device in either case.
bool isWindowsPath(std::string_view path) { return path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\"); }

bool namesPath(std::string_view text, std::string_view path) {
    return text == path || (isWindowsPath(path) && equalIgnoringCase(text, path));
}

}  // namespace

std::optional<UsbPrinter> findUsbPrinter(const UsbSelector& selector, std::span<const UsbPrinter> printers) {
    if (printers.empty()) return std::nullopt;
    if (selector.text.empty()) return printers.front();
    const std::string_view text = selector.text;
    for (const auto& printer : printers)
        if (namesPath(text, printer.path)) return printer;
    for (const auto& printer : printers)
        if (containsIgnoringCase(printer.deviceId, text)) return printer;
    return std::nullopt;
}

}  // namespace slipdrv
