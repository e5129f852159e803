// The decoder against hand-written listings: one byte stream per command
// family, and every stream again cut into chunks at every byte boundary.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "escpos_decoder.h"

namespace escpos {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t HT = 0x09, LF = 0x0A, FF = 0x0C, CR = 0x0D, DLE = 0x10, CAN = 0x18, ESC = 0x1B, FS = 0x1C,
                       GS = 0x1D;

// Builds a stream from bytes and strings: S({ESC, '!'}, "text", ...).
struct Part {
    Part(std::initializer_list<int> bytes) {
        for (const int b : bytes) data.push_back(static_cast<std::uint8_t>(b));
    }
    Part(const char* text) : data(text, text + std::char_traits<char>::length(text)) {}
    struct Run {
        Bytes bytes;
    };
    Part(Run run) : data(std::move(run.bytes)) {}
    Bytes data;
};

Bytes S(std::initializer_list<Part> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.data.begin(), p.data.end());
    return out;
}

// n bytes counting up from `first` (wrapping), as image or pattern data.
Part::Run run(std::size_t n, std::uint8_t first = 1) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(first + i);
    return {out};
}

// Listing lines with runs of blanks made one, so the table need not copy the column padding.
std::string squeezed(const std::string& line) {
    std::string out;
    for (const char c : line)
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

// Decodes `stream` fed in chunks of the sizes given (the rest in one chunk at the end).
std::vector<std::string> listing(const Bytes& stream, const std::vector<std::size_t>& chunks = {}) {
    std::vector<std::string> lines;
    Decoder decoder([&](const Command& c) { lines.push_back(squeezed(listingLine(c))); });
    std::size_t at = 0;
    for (const std::size_t n : chunks) {
        decoder.feed(std::span(stream).subspan(at, n));
        at += n;
    }
    decoder.feed(std::span(stream).subspan(at));
    decoder.finish();
    return lines;
}

struct Family {
    const char* name;
    Bytes stream;
    std::vector<std::string> lines;
};

Part::Run repeat(std::size_t n, std::uint8_t byte) { return {Bytes(n, byte)}; }

const std::vector<Family>& families() {
    static const std::vector<Family> table = {
        {"text and layout",
         S({{ESC, '@', ESC, '!', 0x38},
            "Hello",
            {LF, ESC, 'a', 1, GS, '!', 0x11, ESC, 'D', 8, 16, 24, 0, HT},
            {ESC, '3', 30, ESC, 'J', 24, ESC, 'd', 3, CR, ESC, '$', 100, 1, ESC, '\\', 0xF6, 0xFF, GS, 'L', 16, 0},
            {GS, 'W', 0x80, 1, ESC, ' ', 2, ESC, '-', 50, ESC, 'E', 1, ESC, 'G', 0, ESC, '{', 1, ESC, 'V', 49},
            {GS, 'B', 1, ESC, 'M', 1, ESC, 't', 16, ESC, 'R', 3, GS, 'b', 1, GS, 'T', 1, ESC, 'D', 0}}),
         {"00000000 ESC @ initialize printer",
          "00000002 ESC ! 56 select print mode: font A, emphasized, double height, double width",
          "00000005 text \"Hello\"",
          "00000010 LF print and line feed",
          "00000011 ESC a 1 select justification: centre",
          "00000014 GS ! 17 select character size: width x2, height x2",
          "00000017 ESC D [3 bytes] set horizontal tab positions: 8, 16, 24",
          "00000023 HT horizontal tab",
          "00000024 ESC 3 30 set line spacing to 30 dots",
          "00000027 ESC J 24 print and feed 24 dots",
          "00000030 ESC d 3 print and feed 3 lines",
          "00000033 CR print and carriage return",
          "00000034 ESC $ 356 set absolute print position to 356 dots",
          "00000038 ESC \\ 65526 set relative print position by -10 dots",
          "00000042 GS L 16 set left margin to 16 dots",
          "00000046 GS W 384 set print area width to 384 dots",
          "00000050 ESC SP 2 set character right spacing to 2 dots",
          "00000053 ESC - 50 underline on, 2 dots",
          "00000056 ESC E 1 emphasized on",
          "00000059 ESC G 0 double-strike off",
          "00000062 ESC { 1 upside-down printing on",
          "00000065 ESC V 49 90-degree clockwise rotation on",
          "00000068 GS B 1 white/black reverse printing on",
          "00000071 ESC M 1 select character font B",
          "00000074 ESC t 16 select character code table WPC1252",
          "00000077 ESC R 3 select international character set 3",
          "00000080 GS b 1 smoothing on",
          "00000083 GS T 1 set print position to the beginning of the line, printing the buffer first",
          "00000086 ESC D set horizontal tab positions: none (cleared)"}},
        {"Chinese",
         S({{FS, '&', FS, '!', 0x0C, FS, '-', 1, FS, 'C', 0, FS, 'S', 2, 3, FS, 'W', 1},
            {0xD6, 0xD0, 0xCE, 0xC4, 0x81, 0x30, 0x81, 0x30, LF, FS, '.', FS, '2', 0xFE, 0xA1},
            run(72),
            {FS, '?', 0xFE, 0xA1}}),
         {"00000000 FS & select Chinese character mode",
          "00000002 FS ! 12 select Chinese print mode: double width, double height",
          "00000005 FS - 1 Chinese underline on, 1 dot", "00000008 FS C 0 select Chinese code system 0",
          "00000011 FS S 2 3 set Chinese character spacing: 2 dots left, 3 dots right",
          "00000015 FS W 1 Chinese quadruple size on", "00000018 text \"\\xD6\\xD0\\xCE\\xC4\\x810\\x810\"",
          "00000026 LF print and line feed", "00000027 FS . cancel Chinese character mode",
          "00000029 FS 2 254 161 [72 bytes] define user-defined Chinese character FEA1",
          "00000105 FS ? 254 161 cancel user-defined Chinese character FEA1"}},
        {"ESC * in all modes",
         S({{ESC, '*', 0, 2, 0, 0xFF, 0x81, ESC, '*', 1, 1, 0, 0x18},
            {ESC, '*', 32, 1, 0, 1, 2, 3, ESC, '*', 33, 2, 0},
            run(6),
            {ESC, '*', 2, 1, 0, 4, 5, 6, ESC, 'J', 24}}),
         {"00000000 ESC * 0 2 [2 bytes] print bit image 8-dot single density: 2 x 8 dots",
          "00000007 ESC * 1 1 [1 byte] print bit image 8-dot double density: 1 x 8 dots",
          "00000013 ESC * 32 1 [3 bytes] print bit image 24-dot single density: 1 x 24 dots",
          "00000021 ESC * 33 2 [6 bytes] print bit image 24-dot double density: 2 x 24 dots",
          "00000032 ESC * 2 1 [3 bytes] print bit image 24-dot mode 2: 1 x 24 dots",
          "00000040 ESC J 24 print and feed 24 dots"}},
        {"raster, downloaded and NV images",
         S({{GS, 'v', '0', 0, 2, 0, 3, 0},
            run(6),
            {GS, 'v', '0', 51, 1, 0, 1, 0, 0xAA, GS, '*', 1, 1},
            run(8),
            {GS, '/', 0, FS, 'q', 2, 1, 0, 1, 0},
            run(8),
            {2, 0, 1, 0},
            run(16),
            {FS, 'p', 1, 48}}),
         {"00000000 GS v 0 0 2 3 [6 bytes] print raster image 16 x 3 dots",
          "00000014 GS v 0 51 1 1 [1 byte] print raster image 8 x 1 dots, quadruple",
          "00000023 GS * 1 1 [8 bytes] define downloaded bit image: 8 x 8 dots",
          "00000035 GS / 0 print downloaded bit image: normal",
          "00000038 FS q 2 [32 bytes] define NV bit images: 2 images: 8 x 8 dots, 16 x 8 dots",
          "00000073 FS p 1 48 print NV bit image 1: normal"}},
        {"user-defined characters",
         S({{ESC, '&', 3, 'A', 'B', 2}, run(6), {0, ESC, '%', 1, ESC, '?', 'A'}}),
         {"00000000 ESC & 3 65 66 [8 bytes] define user-defined characters 41h-42h, 24 dots high",
          "00000013 ESC % 1 user-defined character set on", "00000016 ESC ? 65 cancel user-defined character 41h"}},
        {"barcodes",
         S({{GS, 'h', 80, GS, 'w', 3, GS, 'H', 2, GS, 'f', 0, GS, 'k', 4},
            "AB-1",
            {0, GS, 'k', 73, 4},
            "{B12",
            {GS, 'k', 2},
            "4006381333931",
            {0, GS, 'k', 75, 2, 'x', 'y'}}),
         {"00000000 GS h 80 set barcode height to 80 dots", "00000003 GS w 3 set barcode module width to 3 dots",
          "00000006 GS H 2 HRI characters: below", "00000009 GS f 0 HRI characters in font A",
          "00000012 GS k 4 [4 bytes] print barcode CODE39: \"AB-1\"",
          "00000020 GS k 73 4 [4 bytes] print barcode CODE128: \"{B12\"",
          "00000028 GS k 2 [13 bytes] print barcode JAN13 (EAN13): \"4006381333931\"",
          "00000045 GS k 75 2 [2 bytes] print barcode printer-specific code 75: \"xy\""}},
        {"QR code",
         S({{GS, '(', 'k', 4, 0, 49, 65, 50, 0, GS, '(', 'k', 3, 0, 49, 67, 6, GS, '(', 'k', 3, 0, 49, 69, 49},
            {GS, '(', 'k', 8, 0, 49, 80, 48},
            "hello",
            {GS, '(', 'k', 3, 0, 49, 81, 48}}),
         {"00000000 GS ( k 4 [4 bytes] QR code: select model 2",
          "00000009 GS ( k 3 [3 bytes] QR code: set module size to 6 dots",
          "00000017 GS ( k 3 [3 bytes] QR code: set error correction level M",
          "00000025 GS ( k 8 [8 bytes] QR code: store data \"hello\"",
          "00000038 GS ( k 3 [3 bytes] QR code: print the stored symbol"}},
        {"PDF417, MaxiCode, DataMatrix and Aztec",
         S({{GS, '(', 'k', 3, 0, 48, 65, 4, GS, '(', 'k', 3, 0, 48, 68, 3, GS, '(', 'k', 4, 0, 48, 69, 48, 53},
            {GS, '(', 'k', 4, 0, 48, 69, 49, 2, GS, '(', 'k', 3, 0, 48, 70, 1, GS, '(', 'k', 3, 0, 50, 65, 52},
            {GS, '(', 'k', 5, 0, 54, 66, 49, 36, 16, GS, '(', 'k', 4, 0, 53, 66, 49, 3, GS, '(', 'k', 3, 0, 53, 69, 33},
            {GS, '(', 'k', 5, 0, 54, 80, 48, 'h', 'i', GS, '(', 'k', 3, 0, 53, 81, 48}}),
         {"00000000 GS ( k 3 [3 bytes] PDF417: set the number of columns to 4",
          "00000008 GS ( k 3 [3 bytes] PDF417: set row height to 3 module widths",
          "00000016 GS ( k 4 [4 bytes] PDF417: set error correction level 5",
          "00000025 GS ( k 4 [4 bytes] PDF417: set error correction to 20% of the data",
          "00000034 GS ( k 3 [3 bytes] PDF417: truncated symbol", "00000042 GS ( k 3 [3 bytes] MaxiCode: select mode 4",
          "00000050 GS ( k 5 [5 bytes] DataMatrix: rectangle, 36 columns, 16 rows (0 automatic)",
          "00000060 GS ( k 4 [4 bytes] Aztec code: compact, 3 layers (0 automatic)",
          "00000069 GS ( k 3 [3 bytes] Aztec code: set error correction to 33% of the symbol",
          "00000077 GS ( k 5 [5 bytes] DataMatrix: store data \"hi\"",
          "00000087 GS ( k 3 [3 bytes] Aztec code: print the stored symbol"}},
        {"page mode",
         S({{ESC, 'L', ESC, 'W', 0, 0, 8, 0, 0x80, 1, 0x20, 3, ESC, 'T', 1, GS, '$', 10, 0, GS, '\\', 5, 0},
            {ESC, '$', 20, 0},
            "P",
            {ESC, FF, FF, CAN, ESC, 'S'}}),
         {"00000000 ESC L select page mode",
          "00000002 ESC W 0 8 384 800 set print area in page mode: x 0, y 8, 384 x 800 dots",
          "00000012 ESC T 1 select print direction in page mode: bottom to top, from the lower left",
          "00000015 GS $ 10 set absolute vertical position in page mode to 10 dots",
          "00000019 GS \\ 5 set relative vertical position in page mode by 5 dots",
          "00000023 ESC $ 20 set absolute print position to 20 dots", "00000027 text \"P\"",
          "00000028 ESC FF print the page (page mode)", "00000030 FF print the page and return to standard mode",
          "00000031 CAN cancel the print data of the page", "00000032 ESC S select standard mode"}},
        {"paper, cuts and drawer",
         S({{GS, 'V', 0, GS, 'V', 49, GS, 'V', 66, 10, ESC, 'i', ESC, 'm', ESC, 'p', 0, 25, 250, GS, FF},
            {ESC, 'c', '3', 0x0F, ESC, 'c', '4', 1, ESC, 'c', '5', 0, DLE, 0x14, 1, 0, 1},
            {GS, '(', 'A', 2, 0, 0, 2, GS, '(', 'F', 4, 0, 1, 0, 0x40, 1, GS, '(', 'M', 2, 0, 1, 1}}),
         {"00000000 GS V 0 full cut", "00000003 GS V 49 partial cut",
          "00000006 GS V 66 10 feed 10 dots and partial cut", "00000010 ESC i partial cut (one point left)",
          "00000012 ESC m partial cut (three points left)",
          "00000014 ESC p 0 25 250 drawer kick-out pulse: pin 2, on 50 ms, off 500 ms",
          "00000019 GS FF feed marked paper to the print start position",
          "00000021 ESC c 3 15 select paper sensors for the paper-end signal: 15",
          "00000025 ESC c 4 1 select paper sensors to stop printing: 1", "00000029 ESC c 5 0 panel buttons enabled",
          "00000033 DLE DC4 1 0 1 real-time function 1: pulse drawer pin 2 for 100 ms",
          "00000038 GS ( A 2 [2 bytes] execute test print: paper 0, pattern 2",
          "00000045 GS ( F 4 [4 bytes] set adjustment value: print start position moved 320 dots forward",
          "00000054 GS ( M 2 [2 bytes] customize setting values: function 1, value 1"}},
        {"status queries",
         S({{DLE, 0x04, 4, GS, 'r', 1, GS, 'I', 49, GS, '(', 'E', 2, 0, 4, 1, GS, '(', 'E', 3, 0, 1, 'I', 'N'},
            {GS, '(', 'E', 10, 0, 3, 2, '0', '1', '0', '0', '0', '0', '0', '0', DLE, 0x05, 2, GS, 'a', 15}}),
         {"00000000 DLE EOT 4 transmit real-time status: paper roll sensor status",
          "00000003 GS r 1 transmit status: paper sensor status", "00000006 GS I 49 transmit printer ID: model ID",
          "00000009 GS ( E 2 [2 bytes] user setup: transmit memory switch 1",
          "00000016 GS ( E 3 [3 bytes] user setup: enter user setting mode",
          "00000024 GS ( E 10 [10 bytes] user setup: set memory switch 2 to \"01000000\"",
          "00000039 DLE ENQ 2 real-time request: clear buffers and recover",
          "00000042 GS a 15 automatic status back: drawer, on-line/off-line, error, paper roll sensor"}},
        {"FS ( and ESC ( functions",
         S({{FS, '(', 'A', 2, 0, 48, 1, FS, '(', 'C', 2, 0, 48, 2, FS, '(', 'C', 2, 0, 48, '1'},
            {FS, '(', 'C', 3, 0, 60, 0, 1, FS, '(', 'L', 2, 0, 65, 48, FS, '(', 'E', 3, 0, 61, 2, 0},
            {FS, '(', 'e', 2, 0, 51, 0, ESC, '(', 'A', 4, 0, 48, 55, 3, 15, ESC, '(', 'Y', 2, 0, 48, 1},
            {FS, '(', 'A', 2, 0, 49, 0, FS, '(', 'Z', 1, 0, 0}}),
         {"00000000 FS ( A 2 [2 bytes] select Chinese character font B (16 x 16 dots)",
          "00000007 FS ( C 2 [2 bytes] select character encoding: UTF-8",
          "00000014 FS ( C 2 [2 bytes] select character encoding: one-byte and two-byte codes of the printer's "
          "character set",
          "00000021 FS ( C 3 [3 bytes] select font priority (3 bytes)",
          "00000029 FS ( L 2 [2 bytes] label and black mark control: function 65 (2 bytes)",
          "00000036 FS ( E 3 [3 bytes] receipt enhancement: function 61 (3 bytes)",
          "00000044 FS ( e 2 [2 bytes] automatic status back of optional functions: function 51 (2 bytes)",
          "00000051 ESC ( A 4 [4 bytes] beeper: function 48 (4 bytes)",
          "00000060 ESC ( Y 2 [2 bytes] batch print: function 48 (2 bytes)",
          "00000067 FS ( A 2 [2 bytes] Chinese character font: function 49 (2 bytes)",
          "00000074 unknown 1C 28 unknown bytes, skipped", "00000076 text \"Z\"",
          "00000077 unknown 01 unknown bytes, skipped", "00000078 unknown 00 unknown bytes, skipped",
          "00000079 unknown 00 unknown bytes, skipped"}},
        {"unknown bytes",
         S({{0x00, 'A', ESC, 'Z', 'B', GS, 0x01, 'C', FS, 'z', GS, 'k', 99, '1', ESC, 'D'}, repeat(256, 'x'), {LF}}),
         {"00000000 unknown 00 unknown bytes, skipped", "00000001 text \"A\"",
          "00000002 unknown 1B 5A unknown bytes, skipped", "00000004 text \"B\"",
          "00000005 unknown 1D unknown bytes, skipped", "00000006 unknown 01 unknown bytes, skipped",
          "00000007 text \"C\"", "00000008 unknown 1C 7A unknown bytes, skipped",
          "00000010 unknown 1D 6B 63 unknown bytes, skipped", "00000013 text \"1\"",
          "00000014 unknown 1B 44 unknown bytes, skipped",
          "00000016 text \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\"... (256 bytes)",
          "00000272 LF print and line feed"}},
        {"truncated raster image",
         S({"ok", {GS, 'v', '0', 0, 2, 0, 3, 0, 1, 2, 3, 4}}),
         {"00000000 text \"ok\"",
          "00000002 GS v 0 1D 76 30 00 02 00 03 00 01 02 03 04 truncated: the stream ends after 12 bytes of this "
          "command"}},
        {"truncated lead byte",
         S({"ok", {ESC}}),
         {"00000000 text \"ok\"", "00000002 ESC 1B truncated: the stream ends after 1 bytes of this command"}},
        {"truncated barcode",
         S({{GS, 'k', 4, 'A', 'B'}}),
         {"00000000 GS k 1D 6B 04 41 42 truncated: the stream ends after 5 bytes of this command"}},
        {"oversized",
         S({{GS, 'v', '0', 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, GS, '8', 'L', 1, 0, 0, 0, 0x31}}),
         {"00000000 GS v 0 0 65535 65535 oversized: announces 4294836233 bytes, more data than the 4194304 allowed; "
          "skipped",
          "00000000 GS v 0 truncated: the stream ends after 19 bytes of this command"}},
        {"oversized then more",
         S({{GS, '8', 'L', 1, 0, 0x50, 0, 48}, run(0x500001 - 1), {'x', LF}}),
         {"00000000 GS 8 L 5242881 oversized: announces 5242888 bytes, more data than the 4194304 allowed; skipped",
          "05242888 text \"x\"", "05242889 LF print and line feed"}},
    };
    return table;
}

TEST(Decoder, ListsEveryCommandFamily) {
    for (const auto& f : families()) {
        EXPECT_EQ(listing(f.stream), f.lines) << f.name;
    }
}

// Any chunking decodes as the whole stream: cut in two at every byte boundary,
// and fed a byte at a time. The long stream is cut near its ends only.
TEST(Decoder, DecodesTheSameWhateverTheChunks) {
    for (const auto& f : families()) {
        const std::size_t size = f.stream.size();
        for (std::size_t k = 1; k < size; ++k) {
            if (size > 4096 && k > 64 && k < size - 64) continue;
            ASSERT_EQ(listing(f.stream, {k}), f.lines) << f.name << ", cut after " << k << " bytes";
        }
        if (size <= 4096) {
            EXPECT_EQ(listing(f.stream, std::vector<std::size_t>(size, 1)), f.lines) << f.name << ", byte by byte";
        }
    }
}

}  // namespace
}  // namespace escpos
