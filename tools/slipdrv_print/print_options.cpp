#include "print_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

namespace slipdrv_print {

const char* const kUsage =
    "usage: slipdrv-print [OPTION]... [TEXT]...\n"
    "Prints on a receipt printer through the slipdrv library. Each TEXT is one line;\n"
    "\"-\" reads lines from standard input, as does a command line that names nothing\n"
    "to print (a --cut alone still reads it). Text is UTF-8: lines with characters\n"
    "beyond ASCII are printed in Chinese mode.\n"
    "\n"
    "  --port N            1-10: COM1-COM10, 11-12: LPT1-LPT2 (default 1)\n"
    "  --baud B            serial line speed, 2400-115200 (default 9600)\n"
    "  --file FILE         the lines of FILE\n"
    "  --title TEXT        one line centred at double width and height\n"
    "  --barcode CODE:DATA a barcode; CODE is a symbology number (0-8, 65-75) or name:\n"
    "                      UPC-A UPC-E JAN13 EAN13 JAN8 EAN8 CODE39 ITF CODABAR NW-7\n"
    "                      CODE93 CODE128 (code set B unless DATA starts with {A {B {C)\n"
    "  --qr DATA           a QR code (6-dot modules, error correction M)\n"
    "  --image FILE        a bitmap file (BMP; on Linux also PNG and JPEG)\n"
    "  --feed N            feed N lines (0-255)\n"
    "  --cut               feed the paper to the cutter and cut, after all the rest\n"
    "  --drawer            open the cash drawer, last of all\n"
    "  --status            first ask the four real-time statuses and print them decoded;\n"
    "                      print nothing when the printer is not ready\n"
    "  --help              print this text\n"
    "  --version           print the version\n"
    "Text, files, titles, barcodes, QR codes, images and feeds print in the order given;\n"
    "\"--\" makes the arguments after it text even when they start with \"-\".\n"
    "On Linux COMn is /dev/ttyS<n-1> and LPTn /dev/lp<n-1>, unless the environment\n"
    "variable SLIPDRV_COMn or SLIPDRV_LPTn names another device.\n"
    "\n"
    "Exit status: 0 printed (with --status alone: the printer is ready), 1 the printer\n"
    "is not ready or a call failed (named on stderr), 2 bad usage or a file that cannot\n"
    "be read (nothing is sent).\n";

namespace {

// Format B codes (the count byte first), by name; '-' and '_' are left out and
// case is ignored when names are compared.
constexpr std::array<std::pair<std::string_view, int>, 12> kSymbologies = {{
    {"UPCA", 65},
    {"UPCE", 66},
    {"JAN13", 67},
    {"EAN13", 67},
    {"JAN8", 68},
    {"EAN8", 68},
    {"CODE39", 69},
    {"ITF", 70},
    {"CODABAR", 71},
    {"NW7", 71},
    {"CODE93", 72},
    {"CODE128", 73},
}};
constexpr int kCode128 = 73;

std::optional<int> parseNumber(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<int> symbologyCode(std::string_view name) {
    if (const auto number = parseNumber(name, 0, 75)) {
        if (*number <= 8 || *number >= 65) return number;
        return std::nullopt;
    }
    std::string key;
    for (const char c : name) {
        if (c == '-' || c == '_') continue;
        key.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    const auto* found =
        std::find_if(kSymbologies.begin(), kSymbologies.end(), [&](const auto& entry) { return entry.first == key; });
    if (found == kSymbologies.end()) return std::nullopt;
    return found->second;
}

std::optional<Item> barcodeItem(const std::string& value) {
    const auto colon = value.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const auto code = symbologyCode(std::string_view(value).substr(0, colon));
    if (!code) return std::nullopt;
    std::string data = value.substr(colon + 1);
    if (data.empty()) return std::nullopt;
    if (*code == kCode128 && !data.starts_with('{')) data.insert(0, "{B");
    if (data.size() > 255) return std::nullopt;
    return Item{Item::Kind::kBarcode, std::move(data), *code};
}

bool takesValue(std::string_view option) {
    constexpr std::array<std::string_view, 8> kWithValue = {"--port",    "--baud", "--file",  "--title",
                                                            "--barcode", "--qr",   "--image", "--feed"};
    return std::find(kWithValue.begin(), kWithValue.end(), option) != kWithValue.end();
}

// Whether the command line names anything to do besides a cut.
bool asksForSomething(const PrintRequest& request) {
    return !request.items.empty() || request.drawer || request.status;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    PrintRequest request;
    bool textOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (textOnly || arg.empty() || arg[0] != '-') {
            request.items.push_back({Item::Kind::kText, arg});
            continue;
        }
        if (arg == "-") {
            request.items.push_back({Item::Kind::kStandardInput, {}});
            continue;
        }
        if (arg == "--") {
            textOnly = true;
            continue;
        }
        if (arg == "--help") return ShowHelp{};
        if (arg == "--version") return ShowVersion{};

        // --option VALUE or --option=VALUE
        std::string option = arg;
        std::optional<std::string> value;
        if (const auto equals = arg.find('='); equals != std::string::npos) {
            option = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        if (takesValue(option)) {
            if (!value) {
                if (i + 1 >= args.size()) return UsageError{option + " needs a value"};
                value = args[++i];
            }
        } else if (value) {
            return UsageError{option + " takes no value"};
        }
        const auto bad = [&](const char* what) { return UsageError{"bad " + option + " " + *value + ": " + what}; };

        if (option == "--port") {
            const auto port = parseNumber(*value, 1, 12);
            if (!port) return bad("a port is 1-12");
            request.port = *port;
        } else if (option == "--baud") {
            const auto baud = parseNumber(*value, 2400, 115200);
            if (!baud) return bad("the speed is 2400-115200");
            request.baud = *baud;
        } else if (option == "--file") {
            request.items.push_back({Item::Kind::kFile, *value});
        } else if (option == "--title") {
            request.items.push_back({Item::Kind::kTitle, *value});
        } else if (option == "--barcode") {
            auto item = barcodeItem(*value);
            if (!item) return bad("CODE:DATA with a known CODE and 1-255 bytes of DATA");
            request.items.push_back(std::move(*item));
        } else if (option == "--qr") {
            if (value->empty()) return bad("the data is empty");
            request.items.push_back({Item::Kind::kQrCode, *value});
        } else if (option == "--image") {
            request.items.push_back({Item::Kind::kImage, *value});
        } else if (option == "--feed") {
            const auto lines = parseNumber(*value, 0, 255);
            if (!lines) return bad("the lines are 0-255");
            request.items.push_back({Item::Kind::kFeed, {}, *lines});
        } else if (option == "--cut") {
            request.cut = true;
        } else if (option == "--drawer") {
            request.drawer = true;
        } else if (option == "--status") {
            request.status = true;
        } else {
            return UsageError{"unknown option " + option};
        }
    }
    if (!asksForSomething(request)) request.items.push_back({Item::Kind::kStandardInput, {}});
    return request;
}

}  // namespace slipdrv_print
