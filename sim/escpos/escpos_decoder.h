// A streaming decoder of printer command streams: it cuts the bytes into
// commands (text runs included), each with its offset, mnemonic, numeric
// arguments, payload and meaning. It holds at most one incomplete command
// between feeds, never more than kMaxPayload bytes of payload: a command that
// announces more is reported as oversized and its bytes are skipped unread.
// One thread uses a Decoder at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace escpos {

enum class Kind : std::uint8_t {
    kText,       // a run of bytes from 20h up, passed on uninterpreted (any encoding)
    kUnknown,    // a byte, or a lead byte and the byte after it, that is no command
    kTruncated,  // the stream ends inside a command
    kOversized,  // a command announcing more payload than kMaxPayload: skipped

    kHorizontalTab,
    kLineFeed,
    kFormFeed,
    kCarriageReturn,
    kCancelPageData,
    kRealtimeStatus,
    kRealtimeRequest,
    kRealtimePulse,

    kPrintPage,
    kRightSpacing,
    kPrintMode,
    kAbsolutePosition,
    kUserCharacterSet,
    kDefineUserCharacters,
    kBitImage,
    kUnderline,
    kDefaultLineSpacing,
    kLineSpacing,
    kPeripheralDevice,
    kCancelUserCharacter,
    kInitialize,
    kTabPositions,
    kEmphasized,
    kDoubleStrike,
    kFeedDots,
    kPageMode,
    kCharacterFont,
    kInternationalSet,
    kStandardMode,
    kPageDirection,
    kRotation90,
    kPageArea,
    kRelativePosition,
    kJustification,
    kPaperSensor,
    kSensorStop,
    kPanelButtons,
    kFeedLines,
    kReverseFeedLines,
    kPartialCutOnePoint,
    kPartialCutThreePoints,
    kDrawerPulse,
    kCodeTable,
    kUpsideDown,

    kFeedToMark,
    kCharacterSize,
    kPageVerticalPosition,
    kTestPrint,
    kUserSettings,
    kAdjustment,
    kGraphics,
    kCustomize,
    kTwoDimensionalCode,
    kLargeGraphics,
    kDefineDownloadImage,
    kPrintDownloadImage,
    kReverse,
    kHriPosition,
    kPrinterId,
    kLeftMargin,
    kMotionUnits,
    kLineStart,
    kCut,
    kAreaWidth,
    kPageRelativeVertical,
    kAutoStatusBack,
    kSmoothing,
    kHriFont,
    kBarcodeHeight,
    kBarcode,
    kTransmitStatus,
    kRasterImage,
    kBarcodeWidth,

    kChinesePrintMode,
    kChineseMode,
    kChineseUnderline,
    kExitChineseMode,
    kDefineChineseCharacter,
    kCancelChineseCharacter,
    kChineseCodeSystem,
    kChineseSpacing,
    kChineseQuadruple,
    kPrintNvImage,
    kDefineNvImages,

    kChineseFont,         // FS ( A
    kCharacterEncoding,   // FS ( C
    kReceiptEnhancement,  // FS ( E
    kLabelControl,        // FS ( L
    kOptionStatusBack,    // FS ( e
    kBeeper,              // ESC ( A
    kBatchPrint,          // ESC ( Y
};

// The most payload one command may carry: far above the largest image the
// kit sends (tens of kilobytes) and above a full-width raster image a metre long.
constexpr std::size_t kMaxPayload = std::size_t{4} << 20;
// Text runs are cut after this many bytes, at the same place however the
// stream is chunked.
constexpr std::size_t kMaxTextRun = 4096;
constexpr std::size_t kMaxArguments = 8;

struct CommandRow;

struct Command {
    std::uint64_t offset = 0;  // of the first byte in the stream
    std::uint64_t length = 0;  // bytes in the stream (for kOversized: announced, header included)
    Kind kind = Kind::kUnknown;
    std::string_view mnemonic;  // "ESC !", "GS v 0", "text", "unknown"; the cut command's for kTruncated
    std::array<std::uint32_t, kMaxArguments> arguments{};  // nL nH pairs as one value
    std::size_t argumentCount = 0;
    // Text, image, barcode or symbol data, the tab list, character patterns;
    // the bytes themselves for kUnknown and kTruncated. Valid during the callback.
    std::span<const std::uint8_t> payload;
    const CommandRow* row = nullptr;  // the table row the command matched, if any

    std::span<const std::uint32_t> args() const { return {arguments.data(), argumentCount}; }
    // What the command does, in English: "select print mode: font A, emphasized".
    std::string meaning() const;
};

class Decoder {
public:
    using Sink = std::function<void(const Command&)>;

    explicit Decoder(Sink sink) : sink_(std::move(sink)) {}

    // Decodes the next bytes of the stream; any chunking gives the same commands.
    void feed(std::span<const std::uint8_t> bytes);
    // The end of the stream: a text run still open is passed on, a command cut
    // short is reported as kTruncated. The decoder is then ready for a new stream.
    void finish();

private:
    std::size_t drain(const std::uint8_t* bytes, std::size_t size, bool atEnd);

    Sink sink_;
    std::vector<std::uint8_t> pending_;  // the start of one incomplete command
    std::uint64_t offset_ = 0;           // stream offset of pending_[0], or of the next byte
    std::uint64_t skip_ = 0;             // bytes of an oversized command still to pass over
    std::uint64_t skipStart_ = 0;
    std::uint64_t skipLength_ = 0;
    const CommandRow* skipRow_ = nullptr;
};

// One line of a listing: offset, mnemonic and arguments, meaning.
std::string listingLine(const Command& command);

}  // namespace escpos
