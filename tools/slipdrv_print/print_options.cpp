#include "print_options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

#include "barcode_rules.h"
#include "text/bill_row.h"
#include "text/gb18030.h"

namespace slipdrv_print {

const char* const kUsage =
    "usage: slipdrv-print [OPTION]... [TEXT]...\n"
    "Prints on a receipt printer through the slipdrv library. Each TEXT is one line;\n"
    "\"-\" reads lines from standard input, as does a command line that names nothing\n"
    "to print (a --cut alone still reads it). Text is UTF-8: lines with characters\n"
    "beyond ASCII are printed in Chinese mode, in GB18030 unless --encoding says.\n"
    "\n"
    "  --port N|TEXT       1-10: COM1-COM10, 11-12: LPT1-LPT2 (default 1), or a port\n"
    "                      named by text: COM3:115200, LPT1, tcp://HOST:PORT,\n"
    "                      printer:NAME (a printer queue; printer: the default one),\n"
    "                      usb: (the first USB printer), usb:MDL:NAME\n"
    "  --baud B            serial line speed, 2400-115200 (default 9600)\n"
    "  --encoding SET      the character set the printer reads, for all the text:\n"
    "                      gb18030 (the default), gbk, big5 or utf-8; a character GBK\n"
    "                      or Big5 lacks prints as one that reads the same, else '?'\n"
    "  --file FILE         the lines of FILE, a regular file of at most 1 MiB (as for\n"
    "                      standard input)\n"
    "  --title TEXT        one line centred at double width and height\n"
    "  --barcode CODE:DATA a barcode; CODE is a symbology number (0-8, 65-75) or name:\n"
    "                      UPC-A UPC-E JAN13 EAN13 JAN8 EAN8 CODE39 ITF CODABAR NW-7\n"
    "                      CODE93 CODE128 (code set B unless DATA starts with {A {B {C)\n"
    "  --qr DATA           a QR code (6-dot modules, error correction M)\n"
    "  --image FILE        a bitmap file (BMP; on Linux also PNG and JPEG)\n"
    "  --feed N            feed N lines (0-255)\n"
    "  --layout COLUMNS    the columns of the rows after it: comma-separated widths\n"
    "                      (1-255) each with L, C or R (left, centred, right), at most\n"
    "                      16, such as 20L,12R (80 mm paper holds 48 columns, 58 mm 32)\n"
    "  --row CELLS         a bill row: its texts separated by '|', one for each column,\n"
    "                      such as '台费|35.50元'; a text too wide for its column goes\n"
    "                      on over further lines in that column\n"
    "  --rows FILE         a row for each line of FILE (\"-\": standard input), its\n"
    "                      texts separated by TABs (so they may hold '|')\n"
    "  --cut               feed the paper to the cutter and cut, after all the rest\n"
    "  --drawer            open the cash drawer, last of all\n"
    "  --status            first ask the four real-time statuses and print them decoded;\n"
    "                      print nothing when the printer is not ready\n"
    "  --help              print this text\n"
    "  --version           print the version\n"
    "Text, files, titles, rows, barcodes, QR codes, images and feeds print in the order\n"
    "given; \"--\" makes the arguments after it text even when they start with \"-\".\n"
    "On Linux COMn is /dev/ttyS<n-1> and LPTn /dev/lp<n-1>, unless the environment\n"
    "variable SLIPDRV_COMn or SLIPDRV_LPTn names another device.\n"
    "\n"
    "Every item is checked before anything is sent: text must be UTF-8 the printer's\n"
    "character set prints, a row must have a text for each column, without control\n"
    "characters or a character wider than its column, barcode data must fit its\n"
    "symbology, a QR code holds at most 7089 bytes and an image must be one the library\n"
    "prints.\n"
    "\n"
    "Exit status: 0 printed (with --status alone: the printer is ready), 1 the printer\n"
    "is not ready or a call failed (named on stderr), 2 bad usage, a file that cannot\n"
    "be read or an item that cannot be printed (nothing is sent).\n";

namespace {

// A symbology: the names the command line takes for it and its two codes;
// what it takes is the library's own rule for the code sent.
struct Symbology {
    std::array<std::string_view, 2> names;  // the first names it in messages; none: by number only
    int formatA;                            // the code with the data closed by NUL, or -1
    int formatB;                            // the code with the count byte first
};

constexpr std::array<Symbology, 11> kSymbologies = {{
    {{"UPC-A"}, 0, 65},
    {{"UPC-E"}, 1, 66},
    {{"JAN13", "EAN13"}, 2, 67},
    {{"JAN8", "EAN8"}, 3, 68},
    {{"CODE39"}, 4, 69},
    {{"ITF"}, 5, 70},
    {{"CODABAR", "NW-7"}, 6, 71},
    {{"CODE93"}, -1, 72},
    {{"CODE128"}, -1, 73},
    {{}, 7, 74},
    {{}, 8, 75},
}};
constexpr int kCode128 = 73;

// A text the library's open by name takes starts with one of these (letter
// case aside); the library checks the rest.
bool namesPortByText(std::string_view text) {
    constexpr std::array<std::string_view, 5> kStarts = {"com", "lpt", "tcp://", "printer:", "usb:"};
    for (const std::string_view start : kStarts) {
        if (text.size() < start.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < start.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(text[i])) == start[i];
        if (same) return true;
    }
    return false;
}

std::optional<int> parseNumber(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

// Names compare with '-' and '_' left out and without regard to case.
std::string nameKey(std::string_view name) {
    std::string key;
    for (const char c : name) {
        if (c == '-' || c == '_') continue;
        key.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    return key;
}

// The symbology and the code to send: a number as given, a name in format B.
std::optional<std::pair<const Symbology*, int>> symbologyNamed(std::string_view name) {
    if (const auto number = parseNumber(name, 0, 255)) {
        for (const auto& symbology : kSymbologies) {
            if (symbology.formatA == *number || symbology.formatB == *number) return std::pair(&symbology, *number);
        }
        return std::nullopt;
    }
    const std::string key = nameKey(name);
    for (const auto& symbology : kSymbologies) {
        for (const auto candidate : symbology.names) {
            if (!candidate.empty() && nameKey(candidate) == key) return std::pair(&symbology, symbology.formatB);
        }
    }
    return std::nullopt;
}

// The characters of a set, for messages.
std::string_view charactersOf(slipdrv::BarcodeCharacters set) {
    switch (set) {
        case slipdrv::BarcodeCharacters::kDigits:
            return "0-9";
        case slipdrv::BarcodeCharacters::kCode39:
            return "0-9, A-Z, space, $ % + - . /";
        case slipdrv::BarcodeCharacters::kCodabar:
            return "0-9, A-Z, $ + - . / :";
        case slipdrv::BarcodeCharacters::kAnyByte:
            break;
    }
    return "bytes 01-FF";
}

// Why the library refuses `data` for the code, or nothing when it takes it.
std::optional<std::string> barcodeRefusal(const Symbology& symbology, int code, std::string_view data) {
    const std::string name =
        symbology.names[0].empty() ? "code " + std::to_string(code) : std::string(symbology.names[0]);
    const slipdrv::BarcodeRule& rule = *slipdrv::barcodeRuleOf(code);
    if (data.size() < rule.minLength || data.size() > rule.maxLength || (rule.evenLength && data.size() % 2 != 0)) {
        return name + " takes " + (rule.evenLength ? "an even number of " : "") + std::to_string(rule.minLength) + "-" +
               std::to_string(rule.maxLength) + " characters (" + std::to_string(data.size()) + " given)";
    }
    const auto* refused = std::find_if(data.begin(), data.end(), [&](char c) {
        return !slipdrv::barcodeAccepts(rule.characters, static_cast<unsigned char>(c));
    });
    if (refused == data.end()) return std::nullopt;
    return name + " takes only " + std::string(charactersOf(rule.characters)) + ", not \"" +
           shownBytes(data.substr(refused - data.begin(), 1)) + "\"";
}

// A --barcode value, or why it is refused.
std::variant<Item, std::string> barcodeItem(const std::string& value) {
    const auto colon = value.find(':');
    if (colon == std::string::npos) return std::string("CODE:DATA");
    const auto symbology = symbologyNamed(std::string_view(value).substr(0, colon));
    if (!symbology) return std::string("CODE is a symbology number (0-8, 65-75) or name");
    const auto [rules, code] = *symbology;
    std::string data = value.substr(colon + 1);
    if (data.empty()) return std::string("the DATA is empty");
    if (code == kCode128 && !data.starts_with('{')) data.insert(0, "{B");
    if (auto refusal = barcodeRefusal(*rules, code, data)) return std::move(*refusal);
    return Item{Item::Kind::kBarcode, std::move(data), code};
}

// The character sets by name (compared as nameKey compares them).
std::optional<slipdrv::TextEncoding> encodingNamed(std::string_view name) {
    constexpr std::array<std::pair<std::string_view, slipdrv::TextEncoding>, 4> kNames = {{
        {"GB18030", slipdrv::TextEncoding::kGb18030},
        {"GBK", slipdrv::TextEncoding::kGbk},
        {"BIG5", slipdrv::TextEncoding::kBig5},
        {"UTF8", slipdrv::TextEncoding::kUtf8},
    }};
    const std::string key = nameKey(name);
    for (const auto& [candidate, encoding] : kNames) {
        if (candidate == key) return encoding;
    }
    return std::nullopt;
}

// Whether BPPrintRowUTF8 takes the layout: tried with an empty text for each column.
bool layoutAccepted(std::string_view layout) {
    const auto columns = static_cast<std::size_t>(std::count(layout.begin(), layout.end(), ',')) + 1;
    if (columns > slipdrv::kMostCells) return false;
    return slipdrv::layOutRow(std::string(columns - 1, '\t'), layout, slipdrv::TextEncoding::kUtf8,
                              slipdrv::ChineseMode::kUnknown, std::size_t{1} << 16)
        .has_value();
}

bool takesValue(std::string_view option) {
    constexpr std::array<std::string_view, 12> kWithValue = {"--port",     "--baud",   "--file",  "--title",
                                                             "--barcode",  "--qr",     "--image", "--feed",
                                                             "--encoding", "--layout", "--row",   "--rows"};
    return std::find(kWithValue.begin(), kWithValue.end(), option) != kWithValue.end();
}

// Whether the command line names anything to do besides a cut.
bool asksForSomething(const PrintRequest& request) {
    return !request.items.empty() || request.drawer || request.status;
}

}  // namespace

std::string shownBytes(std::string_view bytes, std::size_t limit) {
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size() && i < limit) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        // A multi-byte character stays whole when the library takes it as UTF-8
        // and it is not one of the C1 controls (U+0080-U+009F, C2 80-C2 9F).
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 1;
        const std::string_view character = bytes.substr(i, length);
        const bool c1Control = c == 0xC2 && character.size() == 2 && static_cast<unsigned char>(character[1]) < 0xA0;
        if (length > 1 && character.size() == length && !c1Control && slipdrv::utf8ToGb18030(character, 4)) {
            out += character;
            i += length;
            continue;
        }
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            constexpr std::string_view kHex = "0123456789abcdef";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
        ++i;
    }
    if (i < bytes.size()) out += "...";
    return out;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    PrintRequest request;
    bool textOnly = false;
    std::string layout;  // the last --layout
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
                if (i + 1 >= args.size()) return UsageError{shownBytes(option) + " needs a value"};
                value = args[++i];
            }
        } else if (value) {
            return UsageError{shownBytes(option) + " takes no value"};
        }
        const auto bad = [&](const char* what) {
            return UsageError{"bad " + option + " " + shownBytes(*value) + ": " + what};
        };

        if (option == "--port") {
            if (namesPortByText(*value)) {
                request.portName = *value;
            } else {
                const auto port = parseNumber(*value, 1, 12);
                if (!port) return bad("a port is 1-12 or a text such as COM3, LPT1, printer:NAME or usb:");
                request.port = *port;
                request.portName.clear();
            }
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
            if (const auto* why = std::get_if<std::string>(&item)) return bad(why->c_str());
            request.items.push_back(std::move(std::get<Item>(item)));
        } else if (option == "--qr") {
            if (value->empty()) return bad("the data is empty");
            if (value->size() > slipdrv::kMaxQrData) return bad("a QR code holds at most 7089 bytes");
            request.items.push_back({Item::Kind::kQrCode, *value});
        } else if (option == "--image") {
            request.items.push_back({Item::Kind::kImage, *value});
        } else if (option == "--feed") {
            const auto lines = parseNumber(*value, 0, 255);
            if (!lines) return bad("the lines are 0-255");
            request.items.push_back({Item::Kind::kFeed, {}, *lines});
        } else if (option == "--encoding") {
            request.encoding = encodingNamed(*value);
            if (!request.encoding) return bad("the character set is gb18030, gbk, big5 or utf-8");
        } else if (option == "--layout") {
            if (!layoutAccepted(*value)) {
                return bad("1-16 comma-separated widths of 1-255 columns, each with L, C or R, such as 20L,12R");
            }
            layout = *value;
        } else if (option == "--row" || option == "--rows") {
            if (layout.empty()) return UsageError{option + " needs a --layout before it"};
            std::string text = *value;
            if (option == "--row") {
                // A TAB would be taken as a separator: '|' is the only one here.
                if (text.find('\t') != std::string::npos)
                    return bad("a text holds a TAB; the texts are separated by '|'");
                std::replace(text.begin(), text.end(), '|', '\t');
            }
            request.items.push_back({option == "--row" ? Item::Kind::kRow : Item::Kind::kRowFile, text, 0, layout});
        } else if (option == "--cut") {
            request.cut = true;
        } else if (option == "--drawer") {
            request.drawer = true;
        } else if (option == "--status") {
            request.status = true;
        } else {
            return UsageError{"unknown option " + shownBytes(option)};
        }
    }
    if (!asksForSomething(request)) request.items.push_back({Item::Kind::kStandardInput, {}});
    return request;
}

}  // namespace slipdrv_print
