// The 78 exports against the in-memory channel. The input is the channel's
// kind, then calls: an export's index and its arguments (integers, texts,
// arrays, image files; null pointers too), or a step on the channel (reopen
// it, script a reply, receive bytes unasked). Every export must answer 0 or -1 and send nothing
// when it answers -1 on an open channel; the image exports must send the
// image as the conversion makes it.
//
// Left out, as they would reach a real port or sleep: opening port 11 or 12
// or a serial port at a valid rate, and the one-byte queries with a valid
// selector (their replies are read after pauses of 50 ms and more), as well
// as reading the memory switches on a serial channel (a 300 ms pause).
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "dot_image.h"
#include "fuzz_input.h"
#include "port_control.h"
#include "scratch_file.h"
#include "slipdrv/recording_channel.h"

namespace {

using kit::fuzz::FuzzInput;
using slipdrv::testing::Bytes;
using slipdrv::testing::RecordingChannel;

constexpr int kSkipped = INT_MIN;

[[noreturn]] void fail(const char* what, int index) {
    std::fprintf(stderr, "exports harness: %s (export %d)\n", what, index + 1);
    std::abort();
}

std::uint8_t low8(int v) { return static_cast<std::uint8_t>(v & 0xFF); }

void SLIPDRV_CALL ignoreStatus(int) {}

// The arguments of one call, kept alive until it returns, and what an image
// export must send (nothing when it must refuse).
class Args {
public:
    explicit Args(FuzzInput& in) : in_(in) {}

    int integer() { return in_.integer(); }
    // Calls an export that takes only integers, drawing them in order (a
    // braced list is evaluated left to right).
    template <typename... Ints>
    int call(int (*exported)(Ints...)) {
        const std::tuple<Ints...> values{(static_cast<void>(sizeof(Ints)), integer())...};
        return std::apply(exported, values);
    }

    // A zero-terminated text in a buffer of exactly its size, or null.
    const char* text() {
        const std::uint8_t n = in_.byte();
        if (n == 0xFF) return nullptr;
        const Bytes bytes = in_.bytes(n);
        auto& buffer = chars_.emplace_back(bytes.begin(), bytes.end());
        buffer.push_back('\0');
        return buffer.data();
    }
    // `n` bytes, as many as the export may read, or null.
    const char* pattern(int n) {
        if (in_.byte() == 0xFF) return nullptr;
        const Bytes bytes = in_.bytes(static_cast<std::size_t>(n));
        auto& buffer = chars_.emplace_back(bytes.begin(), bytes.end());
        buffer.resize(static_cast<std::size_t>(n));
        return buffer.data();
    }
    const int* integers(std::size_t n) {
        if (in_.byte() == 0xFF) return nullptr;
        auto& values = ints_.emplace_back(n);
        for (int& v : values) v = in_.integer();
        return values.data();
    }
    unsigned char* replyBuffer() {
        if (in_.byte() == 0xFF) return nullptr;
        return reply_.emplace_back(11).data();
    }
    // Null, empty, a missing file or a file holding image bytes of the input.
    const char* imagePath() {
        static kit::fuzz::ScratchFile file("exports-fuzz");
        switch (in_.byte() % 8) {
            case 0:
                return nullptr;
            case 1:
                return "";
            case 2:
                return "missing.bmp";
            default: {
                const Bytes bytes = in_.bytes(in_.u16());
                return file.write(bytes.data(), bytes.size());
            }
        }
    }

    // A query: it may fail after its request went out, when no reply comes.
    void readsReply() { readsReply_ = true; }
    bool readsReplies() const { return readsReply_; }

    void expect(std::optional<Bytes> bytes) {
        expected_ = std::move(bytes);
        checked_ = true;
    }
    bool checked() const { return checked_; }
    const std::optional<Bytes>& expected() const { return expected_; }

private:
    FuzzInput& in_;
    std::vector<std::vector<char>> chars_;
    std::vector<std::vector<int>> ints_;
    std::vector<std::vector<unsigned char>> reply_;
    std::optional<Bytes> expected_;
    bool checked_ = false;
    bool readsReply_ = false;
};

std::optional<slipdrv::DotImage> convert(const char* path) {
    if (!path || !*path) return std::nullopt;
    const auto loader = slipdrv::makeBitmapLoader();
    return slipdrv::loadDotImage(*loader, path);
}

void append(Bytes& to, std::initializer_list<std::uint8_t> bytes) { to.insert(to.end(), bytes); }

// ESC * m nL nH and one band, then ESC J 24, for every band as tall as mode m
// (the byte the printer sees) asks.
std::optional<Bytes> bandPrint(const char* path, int mode) {
    const auto image = convert(path);
    if (!image) return std::nullopt;
    const int rows = slipdrv::bandRowsForMode(low8(mode));
    const Bytes bands = slipdrv::packBands(*image, rows);
    const std::size_t bandBytes = static_cast<std::size_t>(image->width) * (rows / 8);
    Bytes out;
    for (std::size_t at = 0; at < bands.size(); at += bandBytes) {
        append(out, {0x1B, '*', low8(mode), low8(image->width), low8(image->width >> 8)});
        out.insert(out.end(), bands.begin() + static_cast<std::ptrdiff_t>(at),
                   bands.begin() + static_cast<std::ptrdiff_t>(at + bandBytes));
        append(out, {0x1B, 'J', 24});
    }
    return out;
}

// GS * X Yb, the columns, GS / m; refused when X or Yb does not fit its byte.
std::optional<Bytes> downloadPrint(const char* path, int mode) {
    const auto image = convert(path);
    if (!image) return std::nullopt;
    const auto columns = slipdrv::packColumns(*image);
    if (columns.bytesAcross > 255 || columns.bytesDown > 255) return std::nullopt;
    Bytes out = {0x1D, '*', low8(columns.bytesAcross), low8(columns.bytesDown)};
    out.insert(out.end(), columns.data.begin(), columns.data.end());
    append(out, {0x1D, '/', low8(mode)});
    return out;
}

// FS q 1 xL xH yL yH and the columns.
std::optional<Bytes> nvDefine(const char* path) {
    const auto image = convert(path);
    if (!image) return std::nullopt;
    const auto c = slipdrv::packColumns(*image);
    Bytes out = {
        0x1C, 'q', 1, low8(c.bytesAcross), low8(c.bytesAcross >> 8), low8(c.bytesDown), low8(c.bytesDown >> 8)};
    out.insert(out.end(), c.data.begin(), c.data.end());
    return out;
}

bool selects(int n, std::initializer_list<std::pair<int, int>> ranges) {
    for (const auto& [low, high] : ranges)
        if (low8(n) >= low && low8(n) <= high) return true;
    return false;
}

// Whether the active port waits for replies as a serial line does (a memory
// switch query would then pause for its reply).
bool serialChannel() { return slipdrv::library().active.load()->replyTiming() == &slipdrv::kSerialReplyTiming; }

using Call = int (*)(Args&);

// In the order of the export table (index + 1 is the ordinal).
const Call kExports[] = {
    [](Args& a) {
        const int port = a.integer(), baud = a.integer();
        const bool touchesPort =
            port == 11 || port == 12 || (port >= 1 && port <= 10 && baud >= 2400 && baud <= 115200);
        return touchesPort ? kSkipped : BPOpenPrinter(port, baud);
    },
    [](Args&) { return BPClosePrinter(); },
    [](Args& a) { return BPPrintString(a.text()); },
    [](Args& a) { return a.call(BPEnableCallBackFunc); },
    [](Args& a) { return BPSetCallBackFunc(a.integer() & 1 ? ignoreStatus : nullptr); },
    [](Args&) { return BPPrintAndFeed(); },
    [](Args&) { return BPPrintNotFeed(); },
    [](Args&) { return BPPrintExitStandardMode(); },
    [](Args& a) {
        const int n = a.integer();
        return selects(n, {{1, 5}}) ? kSkipped : BPRealtimeGetStatus(n);
    },
    [](Args&) { return BPMoveHorizontalTAB(); },
    [](Args&) { return BPCancelPrintPageMode(); },
    [](Args& a) { return a.call(BPRealtimeResponse); },
    [](Args&) { return BPPrintPageMode(); },
    [](Args& a) { return a.call(BPSetASCIIRightSpace); },
    [](Args& a) { return a.call(BPSetPrintMode); },
    [](Args& a) { return a.call(BPSetAbsoluPrintPosition); },
    [](Args& a) { return a.call(BPSelectUserDefineSet); },
    [](Args& a) {
        const int c1 = a.integer(), c2 = a.integer(), x = a.integer();
        return BPUserDefineCharacter(c1, c2, x, a.pattern(x >= 0 && x <= 12 ? 3 * x : 0));
    },
    [](Args& a) { return a.call(BPSetUnderLine); },
    [](Args&) { return BPSelectDefaultLineSpace(); },
    [](Args& a) { return a.call(BPSetLineSpace); },
    [](Args& a) { return a.call(BPCancelUserDefineCharacter); },
    [](Args&) { return BPInitializePrinter(); },
    [](Args& a) { return BPSetHorizonTABPosition(a.text()); },
    [](Args& a) { return a.call(BPEmphasizedPrintSet); },
    [](Args& a) { return a.call(BPSuperposePrintSet); },
    [](Args& a) { return a.call(BPPrintFeedPaper); },
    [](Args&) { return BPSelectPageMode(); },
    [](Args& a) { return a.call(BPSelectCharacterAB); },
    [](Args& a) { return a.call(BPSelectInternationalCharacterSet); },
    [](Args&) { return BPSelectStardardMode(); },
    [](Args& a) { return a.call(BPPagePrintDirection); },
    [](Args& a) { return a.call(BPClockwiseRotation90Set); },
    [](Args& a) { return a.call(BPSetPrintAreaPageMode); },
    [](Args& a) { return a.call(BPSetRelativePrintPosition); },
    [](Args& a) { return a.call(BPSelectJustification); },
    [](Args& a) { return a.call(BPSelectPaperSensor); },
    [](Args& a) { return a.call(BPSelectSensorStopPrint); },
    [](Args& a) { return a.call(BPSetPanelButtonsEnable); },
    [](Args& a) { return a.call(BPPrintFeedSomeLines); },
    [](Args& a) { return a.call(BPSelectCharacterCodeTable); },
    [](Args&) { return BPFeedMarkStartPosition(); },
    [](Args& a) { return a.call(BPSelectCharacterSize); },
    [](Args& a) { return a.call(BPPageAbsoluVerticalPosition); },
    [](Args& a) { return a.call(BPExecuteTestPrint); },
    [](Args& a) { return a.call(BPUserDefineCommand); },
    [](Args& a) {
        const int n = a.integer();
        return BPSetMemorySwitch(n, a.integers(8));
    },
    [](Args& a) {
        const int n = a.integer();
        a.readsReply();
        return n >= 1 && n <= 8 && serialChannel() ? kSkipped : BPGetMemorySwitch(n, a.replyBuffer());
    },
    [](Args& a) { return a.call(BPSetAdjustmentValue); },
    [](Args& a) { return a.call(BPCustomizeControlValue); },
    [](Args& a) { return a.call(BPSelectHRIPosition); },
    [](Args& a) {
        const int n = a.integer();
        return selects(n, {{1, 3}, {49, 51}}) ? kSkipped : BPTransmitPrinterID(n);
    },
    [](Args& a) { return a.call(BPSetLeftMargin); },
    [](Args& a) { return a.call(BPSetBeginningPosition); },
    [](Args& a) { return a.call(BPSelectCutPaper); },
    [](Args& a) { return a.call(BPSetPrintingAreaWidth); },
    [](Args& a) { return a.call(BPPageRelativeVertialPosition); },
    [](Args& a) { return a.call(BPAutoStatusBackSet); },
    [](Args& a) { return a.call(BPSmoothingModeSet); },
    [](Args& a) { return a.call(BPSelectHRICharacter); },
    [](Args& a) { return a.call(BPSetBarCodeHeight); },
    [](Args& a) {
        const int m = a.integer(), n = a.integer();
        return BPPrintBarCode(m, n, a.text());
    },
    [](Args& a) {
        const int n = a.integer();
        return selects(n, {{1, 1}, {49, 49}}) ? kSkipped : BPTransmitStatus(n);
    },
    [](Args& a) { return a.call(BPSetBarCodeWidth); },
    [](Args& a) { return a.call(BPSetChinesePrintMode); },
    [](Args&) { return BPSelectChineseMode(); },
    [](Args& a) { return a.call(BPChineseUnderLineSet); },
    [](Args&) { return BPExitChineseMode(); },
    [](Args& a) {
        const int c1 = a.integer(), c2 = a.integer();
        return BPUserDefineChinese(c1, c2, a.integers(72));
    },
    [](Args& a) { return a.call(BPSelectChineseCodeSys); },
    [](Args& a) { return a.call(BPSetChineseLRSpace); },
    [](Args& a) { return a.call(BPSetChineseQuadrupleSize); },
    [](Args& a) { return a.call(BPUpsidedownPrintiModeSet); },
    [](Args& a) { return a.call(BPPrintNVBitImage); },
    [](Args& a) {
        const char* path = a.imagePath();
        const int result = BPDefineNVBitImage(path);
        a.expect(nvDefine(path));
        return result;
    },
    [](Args& a) {
        const char* path = a.imagePath();
        const int mode = a.integer();
        const int result = BPPrintBitmap(path, mode);
        a.expect(bandPrint(path, mode));
        return result;
    },
    [](Args& a) {
        const char* path = a.imagePath();
        const int mode = a.integer();
        const int result = BPPrintDownloadBitImage(path, mode);
        a.expect(downloadPrint(path, mode));
        return result;
    },
    [](Args&) { return BPOpenCashBox(); },
};
static_assert(std::size(kExports) == 78);

}  // namespace

// The bit-image exports leave their staging files in the current directory:
// a private one, so that parallel runs and the tree stay apart, removed with
// them at exit. libFuzzer reads its arguments after this, so paths in them
// are made absolute first, and findings still go where it was started.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::string path;
    static std::vector<std::string> arguments;
    static std::vector<char*> pointers;
    std::error_code error;
    const std::string start = std::filesystem::current_path(error).string();
    bool artifactsPlaced = false;
    for (int i = 0; i < *argc; ++i) {
        std::string a = (*argv)[i];
        if (a.starts_with("-artifact_prefix=") || a.starts_with("-exact_artifact_path=")) artifactsPlaced = true;
        if (i > 0 && !a.starts_with("-") && !a.empty() && a[0] != '/') a = start + "/" + a;
        arguments.push_back(std::move(a));
    }
    if (!artifactsPlaced) arguments.push_back("-artifact_prefix=" + start + "/");
    for (auto& a : arguments) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(arguments.size());
    *argv = pointers.data();

    const char* dir = std::getenv("TMPDIR");
    path = std::string(dir && *dir ? dir : "/tmp") + "/exports-fuzz-XXXXXX";
    if (!mkdtemp(path.data()) || chdir(path.c_str()) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
    std::atexit([] {
        for (const char* name : {"top.bin", "image.bin"}) unlink((path + "/" + name).c_str());
        rmdir(path.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    RecordingChannel channel(in.byte() & 1 ? slipdrv::testing::ChannelKind::kSerial
                                           : slipdrv::testing::ChannelKind::kParallel);
    slipdrv::testing::resetLibrary();
    auto& library = slipdrv::library();
    library.active = &channel;

    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        const int index = op % 81;
        if (index == 78) {
            channel.reopen();
            continue;
        }
        if (index == 79) {
            Bytes request = in.counted();
            channel.replyTo(std::move(request), in.counted());
            continue;
        }
        if (index == 80) {
            channel.arrive(in.counted());
            continue;
        }
        const bool open = channel.isOpen();
        const std::size_t before = channel.written().size();
        Args args(in);
        const int result = kExports[index](args);
        library.active = &channel;  // opening a port switches the active channel
        if (result == kSkipped) continue;
        if (result != 0 && result != -1) fail("an export answered neither 0 nor -1", index);
        if (!open) continue;
        const Bytes sent(channel.written().begin() + static_cast<std::ptrdiff_t>(before), channel.written().end());
        if (result == -1 && !sent.empty() && !args.readsReplies()) fail("an export refused after sending", index);
        if (args.checked()) {
            if (result != (args.expected() ? 0 : -1)) fail("an image export answered wrongly", index);
            if (args.expected() && sent != *args.expected()) fail("an image export sent other bytes", index);
        }
    }
    slipdrv::testing::resetLibrary();
    return 0;
}
