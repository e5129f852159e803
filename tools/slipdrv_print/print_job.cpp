#include "print_job.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <variant>

#include "common/kit_version.h"
#include "print_options.h"
#include "tool_platform.h"

namespace slipdrv_print {
namespace {

constexpr std::string_view kProgram = "slipdrv-print";

// ---- the text to print, read before the port is opened ----

std::optional<std::string> readAll(std::FILE* stream) {
    std::string content;
    std::array<char, 65536> chunk{};
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), stream)) > 0) content.append(chunk.data(), got);
    if (std::ferror(stream)) return std::nullopt;
    return content;
}

std::optional<std::string> readFile(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openFile(path), std::fclose);
    if (!file) return std::nullopt;
    return readAll(file.get());
}

struct TextBlock {
    std::vector<std::string> lines;  // each without its line end
};

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
    constexpr std::size_t kShownBytes = 40;
    std::string out = "\"";
    const std::string_view view(text);
    for (const char c : view.substr(0, kShownBytes)) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    if (view.size() > kShownBytes) out += "...";
    return out + "\"";
}

class Printer {
public:
    Printer(const SlipdrvCalls& calls, std::FILE* err) : calls_(calls), err_(err) {}

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
        if (chinese && !chinese_) {
            if (!call("BPSelectChineseMode", calls_.BPSelectChineseMode)) return false;
            chinese_ = true;
        } else if (!chinese && !endChinese()) {
            return false;
        }
        return call("BPPrintStringUTF8", calls_.BPPrintStringUTF8, (text + "\n").c_str());
    }

    bool endChinese() {
        if (!chinese_) return true;
        chinese_ = false;
        return call("BPExitChineseMode", calls_.BPExitChineseMode);
    }

    const SlipdrvCalls& calls() const { return calls_; }

private:
    const SlipdrvCalls& calls_;
    std::FILE* err_;
    bool chinese_ = false;
};

bool printItem(Printer& printer, const Item& item, const TextBlock& block) {
    const SlipdrvCalls& calls = printer.calls();
    using Kind = Item::Kind;
    if (item.kind == Kind::kText || item.kind == Kind::kFile || item.kind == Kind::kStandardInput) {
        return std::all_of(block.lines.begin(), block.lines.end(),
                           [&](const std::string& text) { return printer.line(text); });
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

// Reads the files and standard input the items name; false after naming the
// first that cannot be read.
bool loadTexts(const PrintRequest& request, std::vector<TextBlock>& blocks, std::FILE* err) {
    blocks.resize(request.items.size());
    bool stdinRead = false;
    for (std::size_t i = 0; i < request.items.size(); ++i) {
        const Item& item = request.items[i];
        std::optional<std::string> content;
        const char* what = "";
        switch (item.kind) {
            case Item::Kind::kText:
                blocks[i].lines.push_back(item.text);
                continue;
            case Item::Kind::kFile:
                content = readFile(item.text);
                what = item.text.c_str();
                break;
            case Item::Kind::kStandardInput:
                content = stdinRead ? std::string() : readAll(standardInput());
                stdinRead = true;
                what = "standard input";
                break;
            case Item::Kind::kImage:
                // The library reads the image itself; a missing one is a usage error, found before anything is sent.
                if (readFile(item.text)) continue;
                what = item.text.c_str();
                break;
            default:
                continue;
        }
        if (!content) {
            std::fprintf(err, "%s: cannot read %s\n", kProgram.data(), what);
            return false;
        }
        if (content->find('\0') != std::string::npos) {
            std::fprintf(err, "%s: %s holds a zero byte, which would end the text\n", kProgram.data(), what);
            return false;
        }
        blocks[i].lines = splitLines(*content);
    }
    return true;
}

int print(const PrintRequest& request, std::FILE* out, std::FILE* err) {
    std::vector<TextBlock> blocks;
    if (!loadTexts(request, blocks, err)) return kExitUsage;

    std::string why;
    const auto calls = bindSlipdrv(why);
    if (!calls) {
        std::fprintf(err, "%s: %s\n", kProgram.data(), why.c_str());
        return kExitFailed;
    }
    Printer printer(*calls, err);
    if (!printer.call("BPOpenPrinter", calls->BPOpenPrinter, request.port, request.baud)) {
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
