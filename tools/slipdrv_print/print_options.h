// The command line of slipdrv-print, read in full before the port is opened,
// so a bad option sends nothing.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "text/encodings.h"

namespace slipdrv_print {

// One thing to print, in the order the command line gives it.
struct Item {
    // kRow: one bill row; kRowFile: a row for each line of a file ("-": standard input).
    enum class Kind { kText, kFile, kStandardInput, kTitle, kBarcode, kQrCode, kImage, kFeed, kRow, kRowFile };
    Kind kind;
    std::string text;         // the text, file name, barcode data, QR data, image file or a row's TAB-separated texts
    int number = 0;           // the barcode's symbology code m, or the lines to feed
    std::string layout = {};  // a row's columns, as BPPrintRowUTF8 takes them
};

struct PrintRequest {
    int port = 1;
    // A port named by text (COM3:115200, printer:NAME, usb:, tcp://...):
    // when set, opened instead of `port`, and `baud` is not used.
    std::string portName;
    int baud = 9600;
    // The character set to select before anything is printed; none: the library's own (GB18030).
    std::optional<slipdrv::TextEncoding> encoding;
    std::vector<Item> items;
    bool cut = false;
    bool drawer = false;
    bool status = false;
};

struct ShowHelp {};
struct ShowVersion {};
struct UsageError {
    std::string message;
};

using ParsedCommandLine = std::variant<PrintRequest, ShowHelp, ShowVersion, UsageError>;

// The arguments after the program's name, as UTF-8.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// `bytes` as messages show them: printable ASCII and well-formed multi-byte
// characters as they are, every other byte (controls, a backslash, bytes of
// malformed UTF-8) as \xNN; "..." after the first `limit` bytes.
std::string shownBytes(std::string_view bytes, std::size_t limit = 40);

// The text --help prints.
extern const char* const kUsage;

}  // namespace slipdrv_print
