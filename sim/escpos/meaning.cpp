// The meanings and the listing. A row's meaning template names what to put
// in with {tokens}: a number (the argument of that index), a token name with
// an argument index ("mode0", "on0"), or a token over the whole command
// ("text", "raster", "symbol").
#include <cstdio>
#include <string>
#include <string_view>

#include "command_arguments.h"
#include "command_table.h"
#include "escpos_decoder.h"
#include "graphics_memory.h"

namespace escpos {
namespace {

using Names = std::initializer_list<std::pair<std::uint32_t, const char*>>;

std::string nameOf(std::uint32_t value, Names names) {
    for (const auto& [v, name] : names)
        if (v == value) return name;
    return std::to_string(value) + " (undefined)";
}

// Selectors that may be given as a number or as its digit character; other
// values are named as they are.
std::uint32_t digitOrNumber(std::uint32_t v) {
    return static_cast<std::uint32_t>(selector(v, 10).value_or(static_cast<int>(v)));
}

std::string onOff(std::uint32_t v) { return v & 1 ? "on" : "off"; }

std::string hex(std::uint32_t v) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02X", v & 0xFF);
    return buffer;
}

// Printable ASCII as it is, other bytes as \xNN; at most 40 bytes shown.
std::string quoted(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kShown = 40;
    std::string text = "\"";
    for (std::size_t i = 0; i < bytes.size() && i < kShown; ++i) {
        const std::uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\')
            text += static_cast<char>(b);
        else
            text += "\\x" + hex(b);
    }
    text += "\"";
    if (bytes.size() > kShown) text += "... (" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

std::string joined(std::initializer_list<std::pair<bool, const char*>> flags, const char* none) {
    std::string text;
    for (const auto& [set, name] : flags)
        if (set) text += (text.empty() ? "" : ", ") + std::string(name);
    return text.empty() ? none : text;
}

std::string dots(std::uint64_t width, std::uint64_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " dots";
}

std::string scale(std::uint32_t v) {
    return nameOf(digitOrNumber(v), {{0, "normal"}, {1, "double width"}, {2, "double height"}, {3, "quadruple"}});
}

std::string bitImage(const Command& c) {
    const std::uint32_t m = c.arguments[0];
    const std::uint64_t columns = c.arguments[1];
    const char* density = m == 0 || m == 32 ? "single density" : m == 1 || m == 33 ? "double density" : nullptr;
    const bool eight = bitImageMode(m).columnBytes == 1;
    std::string text = std::string(eight ? "8-dot " : "24-dot ") + (density ? density : "mode " + std::to_string(m));
    return text + ": " + dots(columns, eight ? 8 : 24);
}

std::string nvImages(const Command& c) {
    std::string text = std::to_string(c.arguments[0]) + (c.arguments[0] == 1 ? " image" : " images");
    bool first = true;
    walkNvImages(c.arguments[0], c.payload, kMaxPayload, [&](std::uint32_t x, std::uint32_t y, auto) {
        text += (first ? ": " : ", ") + dots(std::uint64_t{x} * 8, std::uint64_t{y} * 8);
        first = false;
    });
    return text;
}

std::string userCharacters(const Command& c) {
    const std::uint32_t y = c.arguments[0], first = c.arguments[1], last = c.arguments[2];
    return hex(first) + "h-" + hex(last) + "h, " + std::to_string(y * 8) + " dots high";
}

std::string symbol(const Command& c) {
    const auto& p = c.payload;
    if (p.size() < 2) return "2D symbol: no function";
    const std::uint32_t cn = p[0], fn = p[1];
    const std::string arg = p.size() > 2 ? std::to_string(p[2]) : "?";
    const auto argAt = [&](std::size_t i) { return i < p.size() ? std::to_string(p[i]) : std::string("?"); };
    const std::string name =
        nameOf(cn, {{48, "PDF417"}, {49, "QR code"}, {50, "MaxiCode"}, {53, "Aztec code"}, {54, "DataMatrix"}});
    const bool known = cn == 48 || cn == 49 || cn == 50 || cn == 53 || cn == 54;
    if (known && fn == 80) return name + ": store data " + quoted(p.subspan(std::min<std::size_t>(3, p.size())));
    if (known && fn == 81) return name + ": print the stored symbol";
    if (known && fn == 82) return name + ": transmit the size of the stored symbol";
    const std::uint64_t key = std::uint64_t{cn} << 8 | fn;
    switch (key) {
        case 49 << 8 | 65:
            return name + ": select model " + (p.size() > 2 ? std::to_string(digitOrNumber(p[2])) : "?");
        case 49 << 8 | 67:
            return name + ": set module size to " + arg + " dots";
        case 49 << 8 | 69:
            return name + ": set error correction level " +
                   (p.size() > 2 ? nameOf(p[2], {{48, "L"}, {49, "M"}, {50, "Q"}, {51, "H"}}) : "?");
        case 48 << 8 | 65:
            return name + ": set the number of columns to " + arg + (arg == "0" ? " (automatic)" : "");
        case 48 << 8 | 66:
            return name + ": set the number of rows to " + arg + (arg == "0" ? " (automatic)" : "");
        case 48 << 8 | 67:
            return name + ": set module width to " + arg + " dots";
        case 48 << 8 | 68:
            return name + ": set row height to " + arg + " module widths";
        case 48 << 8 | 69:
            if (p.size() == 4 && p[2] == 48) return name + ": set error correction level " + std::to_string(p[3] - 48);
            if (p.size() == 4 && p[2] == 49) return name + ": set error correction to " + argAt(3) + "0% of the data";
            break;
        case 48 << 8 | 70:
            return name + ": " + (p.size() > 2 && digitOrNumber(p[2]) == 1 ? "truncated" : "standard") + " symbol";
        case 50 << 8 | 65:
            return name + ": select mode " + (p.size() > 2 ? std::to_string(digitOrNumber(p[2])) : "?");
        case 54 << 8 | 66:
            return name + ": " + (p.size() > 2 && digitOrNumber(p[2]) == 1 ? "rectangle" : "square") + ", " + argAt(3) +
                   " columns, " + argAt(4) + " rows (0 automatic)";
        case 54 << 8 | 67:
        case 53 << 8 | 67:
            return name + ": set module size to " + arg + " dots";
        case 53 << 8 | 66:
            return name + ": " + (p.size() > 2 && digitOrNumber(p[2]) == 1 ? "compact" : "full range") + ", " +
                   argAt(3) + " layers (0 automatic)";
        case 53 << 8 | 69:
            return name + ": set error correction to " + arg + "% of the symbol";
        default:
            break;
    }
    return name + ": function " + std::to_string(fn) + " (" + std::to_string(p.size()) + " bytes)";
}

// GS ( L and GS 8 L: m fn and the function's parameters.
std::string graphics(const Command& c) {
    const auto& p = c.payload;
    if (p.size() < 2) return "graphics: no function";
    const std::uint32_t fn = p[1];
    // A key code as its two characters, or as hex when they are not printable.
    const auto key = [&](std::size_t at) -> std::string {
        if (at + 1 >= p.size()) return "?";
        if (!graphicKey(p[at], p[at + 1])) return hex(p[at]) + "h " + hex(p[at + 1]) + "h";
        return "'" + std::string{static_cast<char>(p[at]), static_cast<char>(p[at + 1])} + "'";
    };
    const auto stored = [](const char* memory) { return std::string(memory) + " graphics"; };
    const char* memory = fn >= 64 && fn <= 69 ? "NV" : "download";
    switch (fn) {
        case 48:
            return "graphics: transmit the NV graphics capacity";
        case 49:
            return "graphics: set the reference dot density to " +
                   (p.size() > 2 ? nameOf(p[2], {{50, "180 dpi"}, {51, "360 dpi"}}) : std::string("?"));
        case 50:
            return "graphics: print the print buffer";
        case 51:
            return "graphics: transmit the remaining NV graphics capacity";
        case 52:
            return "graphics: transmit the remaining download graphics capacity";
        case 64:
        case 80:
            return stored(memory) + ": transmit the key codes";
        case 65:
        case 81:
            return stored(memory) + ": delete all";
        case 66:
        case 82:
            return stored(memory) + ": delete " + key(2);
        case 67:
        case 68:
        case 83:
        case 84: {
            const bool columns = fn == 68 || fn == 84;
            if (const auto d = graphicDefinition(p))
                return stored(memory) + ": define " + key(3) + " " + dots(d->graphic.width, d->graphic.height) +
                       (columns ? ", column format" : "");
            return stored(memory) + ": define " + key(3) + ", malformed; ignored";
        }
        case 69:
        case 85:
            return stored(memory) + ": print " + key(2) +
                   (p.size() == 6 ? ", scale " + std::to_string(p[4]) + " x " + std::to_string(p[5]) : "");
        case 112:
        case 113: {
            const std::string what = fn == 112 ? "raster" : "column format";
            if (const auto b = bufferGraphic(p))
                return "graphics: store " + what + " in the print buffer " + dots(b->graphic.width, b->graphic.height) +
                       ", scale " + std::to_string(b->scaleX) + " x " + std::to_string(b->scaleY);
            return "graphics: store " + what + " in the print buffer, malformed; ignored";
        }
        default:
            return "graphics function " + std::to_string(fn) + " (" + std::to_string(p.size()) + " bytes)";
    }
}

std::string userSetup(const Command& c) {
    const auto& p = c.payload;
    if (p.empty()) return "no function";
    switch (p[0]) {
        case 1:
            return "enter user setting mode";
        case 2:
            return "end user setting mode";
        case 3:
            return "set memory switch " + (p.size() > 1 ? std::to_string(p[1]) : "?") + " to " +
                   quoted(p.subspan(std::min<std::size_t>(2, p.size())));
        case 4:
            return "transmit memory switch " + (p.size() > 1 ? std::to_string(p[1]) : "?");
        default:
            return "function " + std::to_string(p[0]) + " (" + std::to_string(p.size()) + " bytes)";
    }
}

std::string cut(const Command& c) {
    const std::uint32_t m = c.arguments[0];
    const std::string feed = c.argumentCount > 1 ? "feed " + std::to_string(c.arguments[1]) + " dots and " : "";
    switch (m) {
        case 0:
        case 48:
            return "full cut";
        case 1:
        case 49:
            return "partial cut";
        case 65:
        case 97:
        case 103:
            return feed + "full cut";
        case 66:
        case 98:
        case 104:
            return feed + "partial cut";
        default:
            return "cut mode " + std::to_string(m) + " (undefined)";
    }
}

std::string pulse(const Command& c) {
    if (c.arguments[0] == 8) return ": clear buffers";
    if (c.argumentCount < 3) return "";
    if (c.arguments[0] == 1)
        return ": pulse drawer pin " + std::string(c.arguments[1] ? "5" : "2") + " for " +
               std::to_string(c.arguments[2] * 100) + " ms";
    return " (" + std::to_string(c.arguments[1]) + ", " + std::to_string(c.arguments[2]) + ")";
}

std::string tabs(std::span<const std::uint8_t> list) {
    if (list.empty()) return "none (cleared)";
    std::string text;
    for (const auto b : list) text += (text.empty() ? "" : ", ") + std::to_string(b);
    return text;
}

// FS ( A fn m: the Chinese character font.
std::string chineseFont(const Command& c) {
    const auto& p = c.payload;
    if (p.size() == 2 && p[0] == 48)
        return "select Chinese character font " +
               nameOf(digitOrNumber(p[1]), {{0, "A (24 x 24 dots)"}, {1, "B (16 x 16 dots)"}});
    return "Chinese character font: function " + (p.empty() ? std::string("?") : std::to_string(p[0])) + " (" +
           std::to_string(p.size()) + " bytes)";
}

// FS ( C fn m: the character encoding, and the font priority (fn 60).
std::string encoding(const Command& c) {
    const auto& p = c.payload;
    if (p.size() == 2 && p[0] == 48)
        return "select character encoding: " +
               nameOf(digitOrNumber(p[1]),
                      {{1, "one-byte and two-byte codes of the printer's character set"}, {2, "UTF-8"}});
    if (!p.empty() && p[0] == 60) return "select font priority (" + std::to_string(p.size()) + " bytes)";
    return "character encoding: function " + (p.empty() ? std::string("?") : std::to_string(p[0])) + " (" +
           std::to_string(p.size()) + " bytes)";
}

// A token over one argument `v`.
std::string argumentToken(std::string_view name, std::uint32_t v) {
    if (name.empty()) return std::to_string(v);
    if (name == "on") return onOff(v);
    if (name == "hex") return hex(v);
    if (name == "signed") return std::to_string(static_cast<std::int16_t>(v));
    if (name == "char") return hex(v) + "h";
    if (name == "mode")
        return joined({{(v & 1) == 0, "font A"},
                       {(v & 1) != 0, "font B"},
                       {(v & 8) != 0, "emphasized"},
                       {(v & 16) != 0, "double height"},
                       {(v & 32) != 0, "double width"},
                       {(v & 128) != 0, "underline"}},
                      "");
    if (name == "cmode")
        return joined({{(v & 4) != 0, "double width"}, {(v & 8) != 0, "double height"}, {(v & 128) != 0, "underline"}},
                      "normal");
    if (name == "ul") return nameOf(digitOrNumber(v), {{0, "off"}, {1, "on, 1 dot"}, {2, "on, 2 dots"}});
    if (name == "just") return nameOf(digitOrNumber(v), {{0, "left"}, {1, "centre"}, {2, "right"}});
    if (name == "font") return nameOf(digitOrNumber(v), {{0, "A"}, {1, "B"}, {2, "C"}});
    if (name == "size") return "width x" + std::to_string((v >> 4) + 1) + ", height x" + std::to_string((v & 15) + 1);
    if (name == "dir")
        return nameOf(digitOrNumber(v), {{0, "left to right, from the upper left"},
                                         {1, "bottom to top, from the lower left"},
                                         {2, "right to left, from the lower right"},
                                         {3, "top to bottom, from the upper right"}});
    if (name == "hri")
        return nameOf(digitOrNumber(v), {{0, "not printed"}, {1, "above"}, {2, "below"}, {3, "above and below"}});
    if (name == "symbology")
        return nameOf(v < 65 ? v + 65 : v, {{65, "UPC-A"},
                                            {66, "UPC-E"},
                                            {67, "JAN13 (EAN13)"},
                                            {68, "JAN8 (EAN8)"},
                                            {69, "CODE39"},
                                            {70, "ITF"},
                                            {71, "CODABAR"},
                                            {72, "CODE93"},
                                            {73, "CODE128"},
                                            {74, "printer-specific code 74"},
                                            {75, "printer-specific code 75"}});
    if (name == "status")
        return nameOf(v, {{1, "printer status"},
                          {2, "off-line cause"},
                          {3, "error cause"},
                          {4, "paper roll sensor status"},
                          {5, "print status"}});
    if (name == "request") return nameOf(v, {{1, "recover from error and restart"}, {2, "clear buffers and recover"}});
    if (name == "id") return nameOf(digitOrNumber(v), {{1, "model ID"}, {2, "type ID"}, {3, "version ID"}});
    if (name == "sensor") return nameOf(digitOrNumber(v), {{1, "paper sensor status"}, {2, "drawer kick-out status"}});
    if (name == "codepage")
        return nameOf(v, {{0, "PC437"},
                          {1, "Katakana"},
                          {2, "PC850"},
                          {3, "PC860"},
                          {4, "PC863"},
                          {5, "PC865"},
                          {16, "WPC1252"},
                          {17, "PC866"},
                          {18, "PC852"},
                          {19, "PC858"},
                          {255, "user-defined page"}});
    if (name == "scale") return scale(v);
    if (name == "disabled") return v & 1 ? "disabled" : "enabled";
    if (name == "erase")
        return nameOf(digitOrNumber(v), {{0, "erasing the buffer first"}, {1, "printing the buffer first"}});
    if (name == "asb")
        return joined({{(v & 1) != 0, "drawer"},
                       {(v & 2) != 0, "on-line/off-line"},
                       {(v & 4) != 0, "error"},
                       {(v & 8) != 0, "paper roll sensor"}},
                      "disabled");
    return "{" + std::string(name) + "?}";
}

std::string commandToken(std::string_view name, const Command& c) {
    const auto& a = c.arguments;
    if (name == "text") return quoted(c.payload);
    if (name == "tabs") return tabs(c.payload);
    if (name == "bytes") return std::to_string(c.payload.size());
    if (name == "bitimage") return bitImage(c);
    if (name == "raster") return dots(std::uint64_t{a[1]} * 8, a[2]) + (digitOrNumber(a[0]) ? ", " + scale(a[0]) : "");
    if (name == "download") return dots(std::uint64_t{a[0]} * 8, std::uint64_t{a[1]} * 8);
    if (name == "nv") return nvImages(c);
    if (name == "udc") return userCharacters(c);
    if (name == "symbol") return symbol(c);
    if (name == "usersetup") return userSetup(c);
    if (name == "cut") return cut(c);
    if (name == "pulse") return pulse(c);
    if (name == "drawer")
        return "pin " + std::string(a[0] & 1 ? "5" : "2") + ", on " + std::to_string(a[1] * 2) + " ms, off " +
               std::to_string(a[2] * 2) + " ms";
    if (name == "testprint")
        return c.payload.size() >= 2
                   ? "paper " + std::to_string(c.payload[0]) + ", pattern " + std::to_string(c.payload[1])
                   : quoted(c.payload);
    if (name == "chinesefont") return chineseFont(c);
    if (name == "encoding") return encoding(c);
    if (name == "adjust") {
        const auto& p = c.payload;
        if (p.size() < 4) return quoted(p);
        return nameOf(p[0], {{1, "print start position"}, {2, "cut position"}}) + " moved " +
               std::to_string(p[2] | p[3] << 8) + " dots " + (digitOrNumber(p[1]) ? "backward" : "forward");
    }
    if (name.size() == 2 && name[0] == 'p' && name[1] >= '0' && name[1] <= '9') {
        const std::size_t i = static_cast<std::size_t>(name[1] - '0');
        return i < c.payload.size() ? std::to_string(c.payload[i]) : "?";
    }
    // A name ending in an argument index.
    const char last = name.empty() ? '\0' : name.back();
    if (last >= '0' && last <= '9') {
        const auto i = static_cast<std::size_t>(last - '0');
        if (i < c.argumentCount) return argumentToken(name.substr(0, name.size() - 1), a[i]);
        return "?";
    }
    return "{" + std::string(name) + "?}";
}

std::string fill(std::string_view pattern, const Command& c) {
    std::string text;
    while (!pattern.empty()) {
        const std::size_t open = pattern.find('{');
        text += pattern.substr(0, open);
        if (open == std::string_view::npos) break;
        const std::size_t close = pattern.find('}', open);
        text += commandToken(pattern.substr(open + 1, close - open - 1), c);
        pattern.remove_prefix(close + 1);
    }
    return text;
}

}  // namespace

std::string Command::meaning() const {
    switch (kind) {
        case Kind::kUnknown:
            return "unknown bytes, skipped";
        case Kind::kTruncated:
            return "truncated: the stream ends after " + std::to_string(length) + " bytes of this command";
        case Kind::kOversized:
            return "oversized: announces " + std::to_string(length) + " bytes, more data than the " +
                   std::to_string(kMaxPayload) + " allowed; skipped";
        case Kind::kGraphics:
        case Kind::kLargeGraphics:
            return graphics(*this);
        default:
            return row ? fill(row->meaning, *this) : std::string();
    }
}

std::string listingLine(const Command& command) {
    char offset[24];
    std::snprintf(offset, sizeof offset, "%08llu  ", static_cast<unsigned long long>(command.offset));
    std::string head(command.mnemonic);
    if (command.kind == Kind::kUnknown || command.kind == Kind::kTruncated) {
        for (const auto b : command.payload.first(std::min<std::size_t>(command.payload.size(), 16)))
            head += " " + hex(b);
        if (command.payload.size() > 16) head += " ...";
    } else {
        for (const auto a : command.args()) head += " " + std::to_string(a);
        if (!command.payload.empty() && command.kind != Kind::kText)
            head +=
                " [" + std::to_string(command.payload.size()) + (command.payload.size() == 1 ? " byte]" : " bytes]");
    }
    if (head.size() < 24) head.resize(24, ' ');
    return offset + head + "  " + command.meaning();
}

}  // namespace escpos
