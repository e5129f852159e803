// receipt-render: renders a recorded printer byte stream to one PNG per piece
// of paper, optionally listing the decoded commands.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "common/kit_version.h"
#include "escpos_decoder.h"
#include "renderer.h"

namespace {

constexpr const char* kUsage =
    "usage: receipt-render [--width DOTS] [--charset SET] [--listing] [--out PREFIX]\n"
    "                      [--nv-store FILE] [--max-pieces N] [--max-length DOTS] FILE\n"
    "Renders the printer byte stream in FILE to PREFIX-1.png, PREFIX-2.png, ... (one per piece of\n"
    "paper; PREFIX defaults to FILE without its extension).\n"
    "  --width DOTS       printable width: 384, 576 (default) or 640 dots\n"
    "  --charset SET      the printer's character set beyond its code pages: gb18030\n"
    "                     (default), gbk or big5, read in Chinese mode (FS &); or utf8,\n"
    "                     read in or out of it, wide characters full-width. Bytes the\n"
    "                     set cannot read print as an outlined box one Chinese cell\n"
    "                     wide (under gbk and big5 for the lead byte; the byte after\n"
    "                     it prints as a single-byte character)\n"
    "  --listing          print every decoded command on stdout; a barcode or 2D\n"
    "                     symbol wider than the print area is not printed, and its\n"
    "                     line says so\n"
    "  --out PREFIX       prefix of the PNG files\n"
    "  --nv-store FILE    file keeping NV images across runs (without it, NV images\n"
    "                     last for this run only)\n"
    "  --max-pieces N     stop before piece N + 1 (default 1000)\n"
    "  --max-length DOTS  stop when a piece would grow past DOTS dot rows (default 20000);\n"
    "                     at a limit, what was rendered up to it is written and the exit is 1\n"
    "  --help             this text\n"
    "  --version          the kit's version\n";

// Limits beyond these would let one run fill the disk or the memory.
constexpr long long kMostPieces = 1000000;
constexpr long long kMostLength = 1000000;

int fail(const std::string& message) {
    std::cerr << "receipt-render: " << message << "\n";
    return 2;
}

std::string withoutExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot < slash + 2)) return path;
    return path.substr(0, dot);
}

}  // namespace

static int run(int argc, char** argv) {
    escpos::RendererOptions options;
    bool listing = false;
    std::string prefix;
    std::string input;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--version") {
            kit::printVersion("receipt-render");
            return 0;
        } else if (arg == "--listing") {
            listing = true;
        } else if (arg == "--width" && hasValue) {
            const std::string value = argv[++i];
            if (value != "384" && value != "576" && value != "640")
                return fail("--width must be 384, 576 or 640, not '" + value + "'");
            options.width = std::stoi(value);
        } else if (arg == "--charset" && hasValue) {
            const std::string value = argv[++i];
            const auto charset = escpos::charsetNamed(value);
            if (!charset) return fail("--charset must be gb18030, gbk, big5 or utf8, not '" + value + "'");
            options.charset = *charset;
        } else if (arg == "--out" && hasValue) {
            prefix = argv[++i];
        } else if (arg == "--nv-store" && hasValue) {
            options.nvStore = argv[++i];
        } else if ((arg == "--max-pieces" || arg == "--max-length") && hasValue) {
            const std::string value = argv[++i];
            const long long most = arg == "--max-pieces" ? kMostPieces : kMostLength;
            char* end = nullptr;
            const long long number = std::strtoll(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || number < 1 || number > most) {
                std::string message = arg;
                message += " must be a number from 1 to " + std::to_string(most);
                message += ", not '" + value + "'";
                return fail(message);
            }
            (arg == "--max-pieces" ? options.maxPieces : options.maxHeight) = static_cast<int>(number);
        } else if (arg.starts_with("-") && arg != "-") {
            return fail("unknown option or missing value: " + arg + "\n" + kUsage);
        } else if (input.empty()) {
            input = arg;
        } else {
            return fail("more than one input file\n" + std::string(kUsage));
        }
    }
    if (input.empty()) return fail(std::string("no input file\n") + kUsage);
    std::ifstream in(input, std::ios::binary);
    if (!in) return fail("cannot read " + input + ": " + std::generic_category().message(errno));
    if (prefix.empty()) prefix = withoutExtension(input);

    std::uint64_t commands = 0;
    std::uint64_t malformed = 0;  // cut short by the end of the stream, or announcing too much payload
    std::uint64_t oversizedAt = static_cast<std::uint64_t>(-1);
    std::uint64_t unknownBytes = 0;
    bool writeFailed = false;
    int written = 0;
    escpos::Renderer renderer(options, [&](const escpos::Paper& paper) {
        const std::string path = prefix + "-" + std::to_string(++written) + ".png";
        if (!escpos::writePng(paper, path)) {
            std::cerr << "receipt-render: cannot write " << path << "\n";
            writeFailed = true;
        }
    });
    escpos::Decoder decoder([&](const escpos::Command& command) {
        if (renderer.limit() != escpos::Limit::kNone) return;  // the rest of the chunk is not looked at
        if (command.kind == escpos::Kind::kUnknown) {
            unknownBytes += command.length;
        } else if (command.kind == escpos::Kind::kOversized) {
            ++malformed;
            oversizedAt = command.offset;
        } else if (command.kind == escpos::Kind::kTruncated) {
            // An oversized command that the stream ends inside is one malformed command.
            if (command.offset != oversizedAt) ++malformed;
        } else {
            ++commands;
        }
        renderer.apply(command);
        if (listing) {
            // What the renderer made of the command follows its line: why it printed nothing.
            std::cout << escpos::listingLine(command);
            if (!renderer.note().empty()) std::cout << "; " << renderer.note();
            std::cout << "\n";
        }
    });
    std::vector<char> buffer(1 << 16);
    while (in && renderer.limit() == escpos::Limit::kNone) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        decoder.feed({reinterpret_cast<const std::uint8_t*>(buffer.data()), got});
    }
    if (in.bad()) return fail("error reading " + input);
    if (renderer.limit() == escpos::Limit::kNone) decoder.finish();
    renderer.finish();
    std::cout.flush();
    if (renderer.limit() == escpos::Limit::kPieces)
        std::cerr << "receipt-render: stopped at " << options.maxPieces
                  << " pieces, the most one run gives out (--max-pieces raises it)\n";
    else if (renderer.limit() == escpos::Limit::kLength)
        std::cerr << "receipt-render: stopped: piece " << renderer.pieces() << " reached " << options.maxHeight
                  << " dots, the most one piece may be (--max-length raises it)\n";
    const auto plural = [](auto n, const char* one, const char* many) {
        return std::to_string(n) + (n == 1 ? one : many);
    };
    std::cerr << plural(commands, " command, ", " commands, ")
              << plural(malformed, " malformed command, ", " malformed commands, ")
              << plural(unknownBytes, " unknown byte, ", " unknown bytes, ")
              << plural(renderer.pieces(), " piece", " pieces") << "\n";
    return writeFailed || renderer.limit() != escpos::Limit::kNone ? 1 : 0;
}

// A font that cannot be loaded (or memory running out) ends the run with a
// message rather than an uncaught exception.
int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "receipt-render: " << e.what() << "\n";
        return 1;
    }
}
