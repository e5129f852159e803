// Port texts and mapping values as hosts and environments give them, and the
// choice of a USB printer by such a text. The input is, up to its first
// zero byte, the text; after it, a made-up printer list: pairs of zero-ended
// path and device ID. Checked against rules written out here again: the two
// parsers agree on what both take, nothing with a blank at either end is
// taken, port numbers stay in range, and a chosen printer is the first that
// fits.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "channel/port_name.h"
#include "channel/usb_printer.h"

namespace {

using namespace slipdrv;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "port_name harness: %s\n", what);
    std::abort();
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The printer the rules choose: the first whose path is the text (letter case
// aside for a Windows path), else the first whose ID holds it, letter case aside.
const UsbPrinter* expectedChoice(const std::string& text, const std::vector<UsbPrinter>& printers) {
    if (text.empty()) return printers.empty() ? nullptr : &printers.front();
    for (const auto& p : printers) {
        // A Windows device path: \\?\... or \\.\...
        const bool windowsPath = p.path.starts_with("\\\\?\\") || p.path.starts_with("\\\\.\\");
        if (p.path == text || (windowsPath && lower(p.path) == lower(text))) return &p;
    }
    for (const auto& p : printers)
        if (lower(p.deviceId).find(lower(text)) != std::string::npos) return &p;
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t end = input.find('\0');
    const std::string_view text = input.substr(0, end);

    const auto name = parsePortName(text);
    const PortMapping mapping = parsePortMapping(text);
    if (name && !text.empty() && (isBlank(text.front()) || isBlank(text.back())))
        fail("a text with a blank at an end was taken");
    if (name) {
        if (const auto* com = std::get_if<ComPortName>(&*name); com && (com->port < 1 || com->port > 10))
            fail("a COM port beyond 1-10");
        if (const auto* lpt = std::get_if<LptPortName>(&*name); lpt && (lpt->port < 1 || lpt->port > 2))
            fail("an LPT port beyond 1-2");
    }
    // A mapping value that names a port of another kind names it as the open by name does.
    const auto same = [&](const auto& value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, OtherSetting> || std::is_same_v<T, BadSetting>) {
            return true;
        } else {
            const auto* named = name ? std::get_if<T>(&*name) : nullptr;
            return named && *named == value;
        }
    };
    if (!std::visit(same, mapping)) fail("the mapping and the open by name read a text differently");

    // The printer list after the text, and the choice among it.
    std::vector<UsbPrinter> printers;
    std::string_view rest = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
    while (!rest.empty() && printers.size() < 16) {
        const std::size_t pathEnd = rest.find('\0');
        const std::string path(rest.substr(0, pathEnd));
        rest = pathEnd == std::string_view::npos ? std::string_view{} : rest.substr(pathEnd + 1);
        const std::size_t idEnd = rest.find('\0');
        const std::string id(rest.substr(0, idEnd));
        rest = idEnd == std::string_view::npos ? std::string_view{} : rest.substr(idEnd + 1);
        printers.push_back({path, id});
    }
    const auto* selector = name ? std::get_if<UsbSelector>(&*name) : nullptr;
    if (!selector) return 0;
    const auto chosen = findUsbPrinter(*selector, printers);
    const UsbPrinter* expected = expectedChoice(selector->text, printers);
    if (chosen.has_value() != (expected != nullptr)) fail("a printer chosen or missed against the rules");
    if (chosen && *chosen != *expected) fail("another printer than the first that fits");
    return 0;
}
