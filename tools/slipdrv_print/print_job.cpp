#include "print_job.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>

#include "common/kit_version.h"
#include "images/bitmap_loader.h"
#include "images/dot_image.h"
#include "print_options.h"
#include "text/bill_row.h"
#include "text/encodings.h"
#include "tool_platform.h"

namespace slipdrv_print {
namespace {

constexpr std::string_view kProgram = "slipdrv-print";

// ---- the items, read and checked before the port is opened ----

// The most bytes one --file or standard input may give: far more than a
// receipt holds, and a bound on what the program keeps in memory.
constexpr std::size_t kMaxTextBytes = std::size_t{1} << 20;

// At most `limit` bytes of the stream, then one more when there are more; nothing on a read error.
std::optional<std::string> readUpTo(std::FILE* stream, std::size_t limit) {
    std::string content;
    std::array<char, 65536> chunk{};
    while (content.size() <= limit) {
        const std::size_t wanted = std::min(chunk.size(), limit + 1 - content.size());
        const std::size_t got = std::fread(chunk.data(), 1, wanted, stream);
        if (got == 0) break;
        content.append(chunk.data(), got);
    }
    if (std::ferror(stream)) return std::nullopt;
    return content;
}

struct TextBlock {
    std::vector<std::string> lines;  // each without its line end; for rows, the TAB-separated texts
};

// The most bytes one row's lines may take: far more than a receipt holds.
constexpr std::size_t kMostRowBytes = std::size_t{1} << 20;

// Lines of a file or of standard input: a byte-order mark is dropped, and so is
// the CR of a CR LF line end (CR is a printer command of its own); a last line
// without a line end still prints.
std::vector<std::string> splitLines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool multiByte(std::string_view line) {
    return std::any_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// ---- calls and their reports ----

std::string shown(int value) { return std::to_string(value); }

std::string shown(const char* text) {
    // Appended rather than "\"" + ...: GCC 12 warns of an overlap that is not there.
    std::string out = "\"";
    out += shownBytes(text);
    out += '"';
    return out;
}

class Printer {
public:
    Printer(const SlipdrvCalls& calls, slipdrv::TextEncoding encoding, std::FILE* err)
        : calls_(calls), encoding_(encoding), err_(err) {}

    // Calls an export; on failure names it with its arguments on stderr.
    template <typename Fn, typename... Args>
    bool call(const char* name, Fn fn, Args... args) {
        if (fn(args...) == 0) return true;
        std::string list;
        ((list += (list.empty() ? "" : ", ") + shown(args)), ...);
        std::fprintf(err_, "%s: %s(%s) failed\n", kProgram.data(), name, list.c_str());
        return false;
    }

    // One line; Chinese mode is on while lines with multi-byte characters print.
    bool line(const std::string& text) {
        const bool chinese = multiByte(text);
        if (chinese && mode_ != slipdrv::ChineseMode::kOn) {
            if (!call("BPSelectChineseMode", calls_.BPSelectChineseMode)) return false;
            mode_ = slipdrv::ChineseMode::kOn;
        } else if (!chinese && !endChinese()) {
            return false;
        }
        return call("BPPrintStringUTF8", calls_.BPPrintStringUTF8, (text + "\n").c_str());
    }

    // One bill row. The library selects Chinese mode for it as it needs, and
    // puts it back as this program's calls left it (on, when they have not
    // set it yet): what it is in then comes from the same layout.
    bool row(const std::string& cells, const std::string& layout) {
        const auto laidOut = slipdrv::layOutRow(cells, layout, encoding_, mode_, kMostRowBytes);
        if (!call("BPPrintRowUTF8", calls_.BPPrintRowUTF8, cells.c_str(), layout.c_str())) return false;
        if (laidOut) mode_ = laidOut->modeAfter;
        return true;
    }

    bool endChinese() {
        if (mode_ != slipdrv::ChineseMode::kOn) return true;
        mode_ = slipdrv::ChineseMode::kOff;
        return call("BPExitChineseMode", calls_.BPExitChineseMode);
    }

    const SlipdrvCalls& calls() const { return calls_; }

private:
    const SlipdrvCalls& calls_;
    slipdrv::TextEncoding encoding_;
    std::FILE* err_;
    // As the library knows it: unknown until this program selects or leaves it.
    slipdrv::ChineseMode mode_ = slipdrv::ChineseMode::kUnknown;
};

bool printItem(Printer& printer, const Item& item, const TextBlock& block) {
    const SlipdrvCalls& calls = printer.calls();
    using Kind = Item::Kind;
    if (item.kind == Kind::kText || item.kind == Kind::kFile || item.kind == Kind::kStandardInput) {
        return std::all_of(block.lines.begin(), block.lines.end(),
                           [&](const std::string& text) { return printer.line(text); });
    }
    if (item.kind == Kind::kRow || item.kind == Kind::kRowFile) {
        return std::all_of(block.lines.begin(), block.lines.end(),
                           [&](const std::string& cells) { return printer.row(cells, item.layout); });
    }
    if (!printer.endChinese()) return false;
    switch (item.kind) {
        case Kind::kTitle:
            return printer.call("BPSelectJustification", calls.BPSelectJustification, 1) &&
                   printer.call("BPSelectCharacterSize", calls.BPSelectCharacterSize, 1, 1) &&
                   printer.line(item.text) && printer.endChinese() &&
                   printer.call("BPSelectCharacterSize", calls.BPSelectCharacterSize, 0, 0) &&
                   printer.call("BPSelectJustification", calls.BPSelectJustification, 0);
        case Kind::kBarcode:
            return printer.call("BPPrintBarCode", calls.BPPrintBarCode, item.number, static_cast<int>(item.text.size()),
                                item.text.c_str());
        case Kind::kQrCode:
            return printer.call("BPPrintQRCode", calls.BPPrintQRCode, item.text.c_str(), 6, SLIPDRV_QR_LEVEL_M);
        case Kind::kImage:
            return printer.call("BPPrintBitmap", calls.BPPrintBitmap, pathForLibrary(item.text).c_str(), 33);
        case Kind::kFeed:
            return printer.call("BPPrintFeedSomeLines", calls.BPPrintFeedSomeLines, item.number);
        default:
            return true;
    }
}

// ---- the real-time statuses ----

struct StatusFlag {
    int status;  // n of BPRealtimeGetStatus
    int bits;
    const char* meaning;
    bool stops;  // the printer cannot print while it is set
};

constexpr std::array<StatusFlag, 11> kStatusFlags = {{
    {1, SLIPDRV_STATUS1_DRAWER_PIN, "drawer sensor high", false},
    {1, SLIPDRV_STATUS1_OFFLINE, "offline", true},
    {2, SLIPDRV_STATUS2_COVER_OPEN, "cover open", true},
    {2, SLIPDRV_STATUS2_FEED_BUTTON, "paper fed by the button", false},
    {2, SLIPDRV_STATUS2_PAPER_END_STOP, "stopped at the paper end", true},
    {2, SLIPDRV_STATUS2_ERROR, "error", true},
    {3, SLIPDRV_STATUS3_AUTOCUTTER_ERROR, "autocutter error", true},
    {3, SLIPDRV_STATUS3_UNRECOVERABLE, "unrecoverable error", true},
    {3, SLIPDRV_STATUS3_AUTO_RECOVERABLE, "auto-recoverable error", true},
    {4, SLIPDRV_STATUS4_PAPER_NEAR_END, "paper near its end", false},
    {4, SLIPDRV_STATUS4_PAPER_END, "paper out", true},
}};

constexpr std::array<const char*, 4> kStatusNames = {"printer", "offline cause", "error cause", "paper sensor"};

// Prints the four statuses decoded; true when the printer is ready.
std::optional<bool> reportStatus(const SlipdrvCalls& calls, std::FILE* out, std::FILE* err) {
    std::string stopping;
    bool nearEnd = false;
    for (int n = 1; n <= 4; ++n) {
        const int reply = calls.BPRealtimeGetStatus(n);
        if (reply < 0) {
            std::fprintf(err, "%s: BPRealtimeGetStatus(%d) failed: no answer\n", kProgram.data(), n);
            return std::nullopt;
        }
        std::string meanings;
        for (const auto& flag : kStatusFlags) {
            if (flag.status != n || (reply & flag.bits) != flag.bits) continue;
            meanings += meanings.empty() ? "  " : ", ";
            meanings += flag.meaning;
            if (flag.stops) stopping += (stopping.empty() ? "" : ", ") + std::string(flag.meaning);
            if (flag.bits == SLIPDRV_STATUS4_PAPER_NEAR_END && n == 4) nearEnd = true;
        }
        std::fprintf(out, "status %d %-15s %02Xh%s\n", n, (std::string(kStatusNames[n - 1]) + ":").c_str(), reply,
                     meanings.c_str());
    }
    if (!stopping.empty()) {
        std::fprintf(out, "not ready: %s\n", stopping.c_str());
        std::fprintf(err, "%s: the printer is not ready: %s\n", kProgram.data(), stopping.c_str());
        return false;
    }
    std::fprintf(out, nearEnd ? "ready; warning: the paper is near its end\n" : "ready\n");
    return true;
}

// ---- the run ----

// The lines of a file or of standard input; false after saying why they cannot be printed.
bool readLines(std::FILE* stream, const std::string& what, TextBlock& block, std::FILE* err) {
    const auto content = readUpTo(stream, kMaxTextBytes);
    if (!content) {
        std::fprintf(err, "%s: cannot read %s\n", kProgram.data(), what.c_str());
        return false;
    }
    if (content->size() > kMaxTextBytes) {
        std::fprintf(err, "%s: %s holds more than 1 MiB, the most text one file or standard input may give\n",
                     kProgram.data(), what.c_str());
        return false;
    }
    if (content->find('\0') != std::string::npos) {
        std::fprintf(err, "%s: %s holds a zero byte, which would end the text\n", kProgram.data(), what.c_str());
        return false;
    }
    block.lines = splitLines(*content);
    return true;
}

// The regular file opened for reading; null after saying why not. Opening
// never waits (a FIFO would wait for a writer).
std::unique_ptr<std::FILE, int (*)(std::FILE*)> openItemFile(const std::string& path, const std::string& what,
                                                             std::FILE* err) {
    const OpenedFile opened = openRegularFile(path);
    if (opened.notRegular) {
        std::fprintf(err, "%s: %s is not a regular file (a FIFO, a device or a folder)\n", kProgram.data(),
                     what.c_str());
    } else if (!opened.file) {
        std::fprintf(err, "%s: cannot read %s\n", kProgram.data(), what.c_str());
    }
    return {opened.file, std::fclose};
}

// Whether the library takes the image: a file it reads whose size is within
// the printer's limit. Only the header is read here; the library reads the
// file again when it prints it.
bool libraryTakesImage(const std::string& path) {
    const auto loader = slipdrv::makeBitmapLoader();
    if (!loader->open(pathForLibrary(path).c_str())) return false;
    const std::int64_t width = loader->width();
    const std::int64_t height = loader->height();
    return width > 0 && height > 0 &&
           slipdrv::withinSizeLimit(std::min<std::int64_t>(width, slipdrv::kMaxPrintWidth), height) &&
           width * height <= slipdrv::kMaxDecodedPixels;
}

std::string lineOf(const std::string& what, bool numbered, std::size_t n) {
    return numbered ? "line " + std::to_string(n + 1) + " of " + what : what;
}

const char* notConverted(slipdrv::TextEncoding encoding) {
    return encoding == slipdrv::TextEncoding::kGb18030
               ? "is not well-formed UTF-8 or holds a character without a GB18030 code"
               : "is not well-formed UTF-8";
}

// Each line as BPPrintStringUTF8 takes it: well-formed UTF-8, and in GB18030
// a code for every character.
bool linesConvert(const TextBlock& block, slipdrv::TextEncoding encoding, const std::string& what, bool numbered,
                  std::FILE* err) {
    for (std::size_t n = 0; n < block.lines.size(); ++n) {
        if (slipdrv::convertUtf8(block.lines[n], encoding, std::numeric_limits<int>::max())) continue;
        std::fprintf(err, "%s: %s %s: %s\n", kProgram.data(), lineOf(what, numbered, n).c_str(), notConverted(encoding),
                     shown(block.lines[n].c_str()).c_str());
        return false;
    }
    return true;
}

// Why BPPrintRowUTF8 would refuse a row, or nothing when it takes it.
std::optional<std::string> rowRefusal(const std::string& cells, const std::string& layout,
                                      slipdrv::TextEncoding encoding) {
    if (slipdrv::layOutRow(cells, layout, encoding, slipdrv::ChineseMode::kUnknown, kMostRowBytes)) {
        return std::nullopt;
    }
    const auto texts = std::count(cells.begin(), cells.end(), '\t') + 1;
    const auto columns = std::count(layout.begin(), layout.end(), ',') + 1;
    if (texts != columns) {
        return "has " + std::to_string(texts) + " text" + (texts == 1 ? "" : "s") + " for the " +
               std::to_string(columns) + " column" + (columns == 1 ? "" : "s") + " of --layout " + layout;
    }
    if (!slipdrv::convertUtf8(cells, encoding, std::numeric_limits<int>::max())) {
        return std::string(notConverted(encoding));
    }
    if (std::any_of(cells.begin(), cells.end(),
                    [](char c) { return c != '\t' && (c == 0x7F || (c >= 0 && c < 0x20)); })) {
        return std::string("holds a control character");
    }
    return "holds a character wider than its column in --layout " + layout;
}

// Each row of the block as BPPrintRowUTF8 takes it.
bool rowsLayOut(const TextBlock& block, const Item& item, slipdrv::TextEncoding encoding, const std::string& what,
                bool numbered, std::FILE* err) {
    for (std::size_t n = 0; n < block.lines.size(); ++n) {
        const auto refusal = rowRefusal(block.lines[n], item.layout, encoding);
        if (!refusal) continue;
        std::string cells = block.lines[n];
        // Shown as it was given: on the command line the texts are separated by '|'.
        if (!numbered) std::replace(cells.begin(), cells.end(), '\t', '|');
        std::fprintf(err, "%s: %s %s: %s\n", kProgram.data(), lineOf(what, numbered, n).c_str(), refusal->c_str(),
                     shown(cells.c_str()).c_str());
        return false;
    }
    return true;
}

// Reads the files and standard input the items name and checks every item
// the command line did not already check; false after naming the first that
// cannot be printed, before anything is sent.
bool prepareItems(const PrintRequest& request, std::vector<TextBlock>& blocks, std::FILE* err) {
    const auto encoding = request.encoding.value_or(slipdrv::TextEncoding::kGb18030);
    blocks.resize(request.items.size());
    bool stdinRead = false;
    for (std::size_t i = 0; i < request.items.size(); ++i) {
        const Item& item = request.items[i];
        TextBlock& block = blocks[i];
        std::string what;
        switch (item.kind) {
            case Item::Kind::kText:
            case Item::Kind::kTitle:
                block.lines.push_back(item.text);
                what = item.kind == Item::Kind::kText ? "a text argument" : "the --title";
                break;
            case Item::Kind::kRow:
                block.lines.push_back(item.text);
                what = "the --row";
                break;
            case Item::Kind::kFile:
            case Item::Kind::kRowFile:
                if (item.kind == Item::Kind::kRowFile && item.text == "-") {
                    what = "standard input";
                    if (!stdinRead && !readLines(standardInput(), what, block, err)) return false;
                    stdinRead = true;
                } else {
                    what = shownBytes(item.text, item.text.size());
                    const auto file = openItemFile(item.text, what, err);
                    if (!file || !readLines(file.get(), what, block, err)) return false;
                }
                break;
            case Item::Kind::kStandardInput:
                what = "standard input";
                if (!stdinRead && !readLines(standardInput(), what, block, err)) return false;
                stdinRead = true;
                break;
            case Item::Kind::kImage: {
                what = shownBytes(item.text, item.text.size());
                if (!openItemFile(item.text, what, err)) return false;
                if (!libraryTakesImage(item.text)) {
                    std::fprintf(err,
                                 "%s: %s is not an image the library prints (a BMP, on Linux also PNG or JPEG, "
                                 "within the printer's size limit)\n",
                                 kProgram.data(), what.c_str());
                    return false;
                }
                continue;
            }
            default:
                continue;
        }
        const bool numbered = item.kind == Item::Kind::kFile || item.kind == Item::Kind::kStandardInput ||
                              item.kind == Item::Kind::kRowFile;
        const bool row = item.kind == Item::Kind::kRow || item.kind == Item::Kind::kRowFile;
        if (row ? !rowsLayOut(block, item, encoding, what, numbered, err)
                : !linesConvert(block, encoding, what, numbered, err)) {
            return false;
        }
    }
    return true;
}

int print(const PrintRequest& request, std::FILE* out, std::FILE* err) {
    std::vector<TextBlock> blocks;
    if (!prepareItems(request, blocks, err)) return kExitUsage;

    std::string why;
    const auto calls = bindSlipdrv(why);
    if (!calls) {
        std::fprintf(err, "%s: %s\n", kProgram.data(), why.c_str());
        return kExitFailed;
    }
    // An older library lacks the younger exports: refused before anything is sent.
    const bool rows = std::any_of(request.items.begin(), request.items.end(), [](const Item& item) {
        return item.kind == Item::Kind::kRow || item.kind == Item::Kind::kRowFile;
    });
    const char* missing = request.encoding && !calls->BPSetTextEncoding ? "--encoding needs BPSetTextEncoding"
                          : rows && !calls->BPPrintRowUTF8              ? "--row and --rows need BPPrintRowUTF8"
                                                                        : nullptr;
    if (missing) {
        std::fprintf(err, "%s: the slipdrv library is older than this program: %s\n", kProgram.data(), missing);
        return kExitFailed;
    }
    const auto encoding = request.encoding.value_or(slipdrv::TextEncoding::kGb18030);
    Printer printer(*calls, encoding, err);
    // The setting is the library's; it sends nothing, so it comes first.
    if (request.encoding &&
        !printer.call("BPSetTextEncoding", calls->BPSetTextEncoding, static_cast<int>(*request.encoding))) {
        return kExitFailed;
    }
    if (!request.portName.empty()) {
        if (!printer.call("BPOpenPrinterByName", calls->BPOpenPrinterByName, request.portName.c_str())) {
            std::fprintf(err, "%s: %s does not open\n", kProgram.data(), shown(request.portName.c_str()).c_str());
            return kExitFailed;
        }
    } else if (!printer.call("BPOpenPrinter", calls->BPOpenPrinter, request.port, request.baud)) {
        const bool serial = request.port <= 10;
        std::fprintf(err, "%s: %s%d does not open\n", kProgram.data(), serial ? "COM" : "LPT",
                     serial ? request.port : request.port - 10);
        return kExitFailed;
    }

    bool ok = true;
    if (request.status) {
        const auto ready = reportStatus(*calls, out, err);
        ok = ready.value_or(false);
    }
    for (std::size_t i = 0; ok && i < request.items.size(); ++i) ok = printItem(printer, request.items[i], blocks[i]);
    ok = ok && printer.endChinese();
    ok = ok && (!request.cut || printer.call("BPSelectCutPaper", calls->BPSelectCutPaper, 66, 0));
    ok = ok && (!request.drawer || printer.call("BPOpenCashBox", calls->BPOpenCashBox));
    calls->BPClosePrinter();
    return ok ? kExitPrinted : kExitFailed;
}

}  // namespace

int runSlipdrvPrint(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const ParsedCommandLine parsed = parseCommandLine(args);
    if (const auto* usage = std::get_if<UsageError>(&parsed)) {
        std::fprintf(err, "%s: %s (--help lists the options)\n", kProgram.data(), usage->message.c_str());
        return kExitUsage;
    }
    if (std::holds_alternative<ShowHelp>(parsed)) {
        std::fputs(kUsage, out);
        return kExitPrinted;
    }
    if (std::holds_alternative<ShowVersion>(parsed)) {
        std::fprintf(out, "%s %s\n", kProgram.data(), kit::kVersion);
        return kExitPrinted;
    }
    return print(std::get<PrintRequest>(parsed), out, err);
}

}  // namespace slipdrv_print
