// receipt-render: renders a recorded printer byte stream to one PNG per piece
// of paper, optionally listing the decoded commands.
#include <cerrno>
#include <cstdio>
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
    "usage: receipt-render [--width DOTS] [--listing] [--out PREFIX] [--nv-store FILE] FILE\n"
    "Renders the printer byte stream in FILE to PREFIX-1.png, PREFIX-2.png, ... (one per piece of\n"
    "paper; PREFIX defaults to FILE without its extension).\n"
    "  --width DOTS     printable width: 384, 576 (default) or 640 dots\n"
    "  --listing        print every decoded command on stdout\n"
    "  --out PREFIX     prefix of the PNG files\n"
    "  --nv-store FILE  file keeping NV images across runs (default nv-images.bin)\n"
    "  --help           this text\n"
    "  --version        the kit's version\n";

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
        } else if (arg == "--out" && hasValue) {
            prefix = argv[++i];
        } else if (arg == "--nv-store" && hasValue) {
            options.nvStore = argv[++i];
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
        if (command.kind == escpos::Kind::kUnknown)
            unknownBytes += command.length;
        else
            ++commands;
        if (listing) std::cout << escpos::listingLine(command) << "\n";
        renderer.apply(command);
    });
    std::vector<char> buffer(1 << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        decoder.feed({reinterpret_cast<const std::uint8_t*>(buffer.data()), got});
    }
    if (in.bad()) return fail("error reading " + input);
    decoder.finish();
    renderer.finish();
    std::cout.flush();
    const auto plural = [](auto n, const char* one, const char* many) {
        return std::to_string(n) + (n == 1 ? one : many);
    };
    std::cerr << plural(commands, " command, ", " commands, ")
              << plural(unknownBytes, " unknown byte, ", " unknown bytes, ")
              << plural(renderer.pieces(), " piece", " pieces");
    if (renderer.dropped() > 0) std::cerr << ", " << renderer.dropped() << " prints cut short at the maximum length";
    std::cerr << "\n";
    return writeFailed ? 1 : 0;
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
