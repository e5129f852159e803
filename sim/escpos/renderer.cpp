#include "renderer.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>

#include "encodings.h"

namespace escpos {
namespace {

constexpr int kDefaultLineSpacing = 30;
// Items one line may hold before it is printed on its own: positioning
// commands can pile characters on one spot without the line ever filling.
constexpr std::size_t kMaxLineItems = 1024;
constexpr std::size_t kMaxTabs = 32;
constexpr int kDefaultTabColumns = 8;
constexpr int kFontAWidth = 12, kFontAHeight = 24, kFontBWidth = 9, kFontBHeight = 17;
constexpr char kNvMagic[8] = {'N', 'V', 'I', 'M', 'G', 'S', '0', '1'};

// The horizontal and vertical magnification of GS v 0, GS / and FS p modes:
// 0-3 or 48-51, bit 0 doubling the width and bit 1 the height.
std::optional<std::pair<int, int>> scaleOf(std::uint32_t mode) {
    if (mode > 3 && (mode < 48 || mode > 51)) return std::nullopt;
    return std::pair{(mode & 1) ? 2 : 1, (mode & 2) ? 2 : 1};
}

// Images in columns of whole bytes, `columns` wide and `columnBytes` * 8 high.
Image columnImage(int columns, std::size_t columnBytes, std::span<const std::uint8_t> data) {
    Image image;
    image.width = columns;
    image.height = static_cast<int>(columnBytes * 8);
    image.layout = Image::Layout::kColumns;
    image.stride = columnBytes;
    image.bytes.assign(data.begin(), data.end());
    image.bytes.resize(static_cast<std::size_t>(columns) * columnBytes);
    return image;
}

// FS q data: per image xL xH yL yH and x * y * 8 bytes, x * 8 columns of y bytes.
std::optional<std::vector<Image>> parseNvImages(std::size_t count, std::span<const std::uint8_t> payload) {
    std::vector<Image> images;
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (payload.size() - at < 4) return std::nullopt;
        const std::size_t x = payload[at] | std::size_t{payload[at + 1]} << 8;
        const std::size_t y = payload[at + 2] | std::size_t{payload[at + 3]} << 8;
        at += 4;
        const std::size_t size = x * y * 8;
        if (payload.size() - at < size) return std::nullopt;
        images.push_back(columnImage(static_cast<int>(x * 8), y, payload.subspan(at, size)));
        at += size;
    }
    if (at != payload.size()) return std::nullopt;
    return images;
}

std::uint32_t readLe32(const unsigned char* p) {
    return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace

bool Image::dot(int x, int y) const {
    const auto ux = static_cast<std::size_t>(x);
    const auto uy = static_cast<std::size_t>(y);
    const std::size_t index = layout == Layout::kColumns ? ux * stride + uy / 8 : uy * stride + ux / 8;
    const unsigned bit = layout == Layout::kColumns ? 7 - uy % 8 : 7 - ux % 8;
    return index < bytes.size() && ((bytes[index] >> bit) & 1) != 0;
}

bool Paper::dot(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    return (row(y)[x / 8] >> (7 - x % 8)) & 1;
}

void Paper::set(int x, int y) {
    if (x < 0 || y < 0 || x >= width_) return;
    extendTo(y + 1);
    bits_[static_cast<std::size_t>(y) * stride_ + static_cast<std::size_t>(x / 8)] |=
        static_cast<std::uint8_t>(0x80 >> (x % 8));
}

void Paper::extendTo(int height) {
    if (height <= height_) return;
    height_ = height;
    bits_.resize(static_cast<std::size_t>(height) * stride_);
}

void Paper::addRow(int y, const std::uint8_t* bits) {
    if (y < 0) return;
    extendTo(y + 1);
    std::uint8_t* to = bits_.data() + static_cast<std::size_t>(y) * stride_;
    for (std::size_t i = 0; i < stride_; ++i) to[i] |= bits[i];
}

void Paper::erase(int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, width_), y1 = std::min(y1, height_);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* bits = bits_.data() + static_cast<std::size_t>(y) * stride_;
        for (int x = x0; x < x1;) {
            if (x % 8 == 0 && x + 8 <= x1) {
                bits[x / 8] = 0;
                x += 8;
            } else {
                bits[x / 8] &= static_cast<std::uint8_t>(~(0x80 >> (x % 8)));
                ++x;
            }
        }
    }
}

Renderer::Renderer(RendererOptions options, PieceSink sink)
    : options_(std::move(options)),
      sink_(std::move(sink)),
      paper_(options_.width),
      font_(std::make_unique<TextFont>(std::vector{options_.latinFont, options_.chineseFont},
                                       TextFont::Fit::kMonospaced)),
      chineseFont_(std::make_unique<TextFont>(std::vector{options_.chineseFont}, TextFont::Fit::kSquare)) {
    loadNvStore();
    reset();
}

void Renderer::reset() {
    line_.clear();
    x_ = 0;
    lineHeight_ = 0;
    lineSpacing_ = kDefaultLineSpacing;
    download_ = Image{};
    barcode_ = BarcodeSettings{};
    qrModel_ = 50;
    qrModuleSize_ = 3;
    qrLevel_ = 48;
    qrData_.clear();
    mode_ = TextMode{};
    justification_ = 0;
    leftMargin_ = 0;
    areaWidth_ = 0;
    lineUpsideDown_ = false;
    codePage_ = 0;
    chinese_ = false;
    pendingChinese_.clear();
    chineseMode_ = ChineseMode{};
    userCharactersOn_ = false;
    userCharacters_.clear();
    userChinese_.clear();
    tabs_.clear();
    for (std::size_t i = 1; i <= kMaxTabs; ++i) tabs_.push_back(static_cast<int>(i) * kDefaultTabColumns * kFontAWidth);
    leavePageMode();
    frame_ = PageFrame{0, 0, options_.width, std::min(kDefaultPageLength, options_.maxHeight), 0};
}

// GS L and GS W shape standard mode's lines; a page's lines span its area.
int Renderer::areaLeft() const { return pageMode_ ? 0 : std::clamp(leftMargin_, 0, options_.width - 1); }

int Renderer::areaWidth() const {
    if (pageMode_) return frame_.lineWidth();
    const int rest = options_.width - areaLeft();
    return areaWidth_ == 0 ? rest : std::clamp(areaWidth_, 1, rest);
}

void Renderer::apply(const Command& command) {
    if (limit_ != Limit::kNone) return;
    applyCommand(command);
    if (overran_) stopAtLength();
}

bool Renderer::usePaper() {
    if (limit_ != Limit::kNone) return false;
    if (!used_ && pieces_ >= options_.maxPieces) {
        limit_ = Limit::kPieces;
        return false;
    }
    used_ = true;
    return true;
}

// Whatever the command drew up to the maximum height stays on the piece; what
// is still waiting on the line is not printed.
void Renderer::stopAtLength() {
    limit_ = Limit::kLength;
    paper_.extendTo(options_.maxHeight);  // an image that reached past it ran the paper out to it
    line_.clear();
    givePieceOut(true);
}

// Hands the piece to the sink (when it holds anything) and starts a new one.
void Renderer::givePieceOut(bool holdsPrint) {
    if (holdsPrint) {
        ++pieces_;
        sink_(paper_);
    }
    paper_ = Paper(options_.width);
    used_ = false;
    y_ = 0;
}

void Renderer::applyCommand(const Command& command) {
    const auto args = command.args();
    const auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : 0u; };
    // A multi-byte character cut short by a command prints as a box.
    if (command.kind != Kind::kText && !pendingChinese_.empty()) brokenSequence();
    switch (command.kind) {
        case Kind::kPageMode:
        case Kind::kStandardMode:
        case Kind::kPageArea:
        case Kind::kPageDirection:
        case Kind::kPageVerticalPosition:
        case Kind::kPageRelativeVertical:
        case Kind::kFormFeed:
        case Kind::kPrintPage:
        case Kind::kCancelPageData:
            pageCommand(command);
            break;
        case Kind::kInitialize:
            reset();
            break;
        case Kind::kText:
            text(command.payload);
            break;
        case Kind::kHorizontalTab:
            horizontalTab();
            break;
        case Kind::kPrintMode: {
            const std::uint32_t n = arg(0);
            mode_.fontB = (n & 0x01) != 0;
            mode_.emphasized = (n & 0x08) != 0;
            mode_.scaleY = (n & 0x10) ? 2 : 1;
            mode_.scaleX = (n & 0x20) ? 2 : 1;
            mode_.underline = (n & 0x80) ? 1 : 0;
            break;
        }
        case Kind::kCharacterSize:
            if ((arg(0) & 0x88) == 0) {
                mode_.scaleX = static_cast<int>(arg(0) >> 4) + 1;
                mode_.scaleY = static_cast<int>(arg(0) & 0x0F) + 1;
            }
            break;
        case Kind::kCharacterFont:
            if (arg(0) % 48 <= 1 && arg(0) <= 49) mode_.fontB = arg(0) % 48 == 1;
            break;
        case Kind::kEmphasized:
            mode_.emphasized = (arg(0) & 1) != 0;
            break;
        case Kind::kDoubleStrike:
            mode_.doubleStrike = (arg(0) & 1) != 0;
            break;
        case Kind::kUnderline:
            if (arg(0) % 48 <= 2 && arg(0) <= 50) mode_.underline = static_cast<int>(arg(0) % 48);
            break;
        case Kind::kUpsideDown:
            mode_.upsideDown = (arg(0) & 1) != 0;
            break;
        case Kind::kRotation90:
            if (arg(0) % 48 <= 2 && arg(0) <= 50) mode_.rotated = arg(0) % 48 != 0;
            break;
        case Kind::kReverse:
            mode_.reverse = (arg(0) & 1) != 0;
            break;
        case Kind::kCodeTable:
            codePage_ = arg(0);
            break;
        case Kind::kUserCharacterSet:
            userCharactersOn_ = (arg(0) & 1) != 0;
            break;
        case Kind::kDefineUserCharacters:
            defineUserCharacters(command);
            break;
        case Kind::kCancelUserCharacter:
            userCharacters_.erase(static_cast<std::uint8_t>(arg(0)));
            break;
        case Kind::kChineseMode:
            chinese_ = true;
            break;
        case Kind::kExitChineseMode:
            chinese_ = false;
            pendingChinese_.clear();
            break;
        case Kind::kChinesePrintMode:
            chineseMode_.scaleX = (arg(0) & 0x04) ? 2 : 1;
            chineseMode_.scaleY = (arg(0) & 0x08) ? 2 : 1;
            chineseMode_.underline = (arg(0) & 0x80) ? 1 : 0;
            break;
        case Kind::kChineseUnderline:
            if (arg(0) % 48 <= 2 && arg(0) <= 50) chineseMode_.underline = static_cast<int>(arg(0) % 48);
            break;
        case Kind::kChineseQuadruple:
            chineseMode_.scaleX = chineseMode_.scaleY = (arg(0) & 1) ? 2 : 1;
            break;
        case Kind::kChineseSpacing:
            chineseMode_.leftSpace = static_cast<int>(arg(0));
            chineseMode_.rightSpace = static_cast<int>(arg(1));
            break;
        case Kind::kDefineChineseCharacter:
            // 24 columns of 3 bytes, the top dot in bit 7 of each column's first byte.
            if (command.payload.size() == 72) {
                const Image pattern = columnImage(24, 3, command.payload);
                GlyphCell& cell = userChinese_[static_cast<std::uint16_t>(arg(0) << 8 | (arg(1) & 0xFF))];
                cell = GlyphCell{24, 24, std::vector<std::uint8_t>(std::size_t{24} * 24)};
                for (int y = 0; y < 24; ++y)
                    for (int x = 0; x < 24; ++x) cell.dots[static_cast<std::size_t>(y) * 24 + x] = pattern.dot(x, y);
            }
            break;
        case Kind::kCancelChineseCharacter:
            userChinese_.erase(static_cast<std::uint16_t>(arg(0) << 8 | (arg(1) & 0xFF)));
            break;
        case Kind::kRightSpacing:
            mode_.rightSpacing = static_cast<int>(arg(0));
            break;
        case Kind::kJustification:
            if (arg(0) % 48 <= 2 && arg(0) <= 50) justification_ = static_cast<int>(arg(0) % 48);
            break;
        // The margin and the area width take effect only at the start of a
        // line: a line already begun keeps the area it started in.
        case Kind::kLeftMargin:
            if (line_.empty()) leftMargin_ = static_cast<int>(arg(0));
            break;
        case Kind::kAreaWidth:
            if (line_.empty()) areaWidth_ = static_cast<int>(arg(0));
            break;
        case Kind::kAbsolutePosition:
            if (static_cast<int>(arg(0)) < areaWidth()) x_ = static_cast<int>(arg(0));
            break;
        case Kind::kRelativePosition: {
            const int to = x_ + static_cast<std::int16_t>(arg(0));
            if (to >= 0 && to < areaWidth()) x_ = to;
            break;
        }
        case Kind::kTabPositions: {
            // Stops in character columns of the current font, size and spacing,
            // ascending; the list ends at the first that is not.
            const int column = ((mode_.fontB ? kFontBWidth : kFontAWidth) + mode_.rightSpacing) * mode_.scaleX;
            tabs_.clear();
            for (const std::uint8_t n : command.payload) {
                if (tabs_.size() == kMaxTabs || (!tabs_.empty() && n * column <= tabs_.back())) break;
                tabs_.push_back(n * column);
            }
            break;
        }
        case Kind::kLineFeed:
            printLine(lineSpacing_);
            break;
        case Kind::kFeedDots:
            printLine(static_cast<int>(arg(0)));
            break;
        case Kind::kFeedLines:
            printLine(static_cast<int>(arg(0)) * lineSpacing_);
            break;
        case Kind::kLineSpacing:
            lineSpacing_ = static_cast<int>(arg(0));
            break;
        case Kind::kDefaultLineSpacing:
            lineSpacing_ = kDefaultLineSpacing;
            break;
        case Kind::kBitImage:
            bitImage(command);
            break;
        case Kind::kBarcodeHeight:
            barcode_.height = static_cast<int>(arg(0));
            break;
        case Kind::kBarcodeWidth:
            barcode_.moduleWidth = static_cast<int>(arg(0));
            break;
        case Kind::kHriPosition:
            barcode_.hriPosition = static_cast<int>(arg(0) % 48);
            break;
        case Kind::kHriFont:
            barcode_.hriFont = static_cast<int>(arg(0) % 48);
            break;
        case Kind::kBarcode:
            if (const auto bars = drawBarcode(static_cast<int>(arg(0)), command.payload, barcode_))
                symbol(*bars, barcode_.hriPosition, barcode_.hriFont);
            break;
        case Kind::kTwoDimensionalCode:
            twoDimensionalCode(command.payload);
            break;
        case Kind::kRasterImage: {
            const auto scale = scaleOf(arg(0));
            if (!scale) break;
            Image image;
            image.width = static_cast<int>(std::min<std::uint32_t>(arg(1), 0xFFFF) * 8);
            image.height = static_cast<int>(arg(2));
            image.layout = Image::Layout::kRows;
            image.stride = arg(1);
            image.bytes.assign(command.payload.begin(), command.payload.end());
            printBlock(image, scale->first, scale->second);
            break;
        }
        case Kind::kDefineDownloadImage:
            download_ = columnImage(static_cast<int>(arg(0) * 8), arg(1), command.payload);
            break;
        case Kind::kPrintDownloadImage:
            if (const auto scale = scaleOf(arg(0))) printBlock(download_, scale->first, scale->second);
            break;
        case Kind::kDefineNvImages:
            // FS q replaces every image defined before; a definition that does
            // not parse leaves none.
            nvImages_.clear();
            nvDefinition_.clear();
            if (auto images = parseNvImages(arg(0), command.payload)) {
                nvImages_ = std::move(*images);
                nvDefinition_.push_back(static_cast<std::uint8_t>(arg(0)));
                nvDefinition_.insert(nvDefinition_.end(), command.payload.begin(), command.payload.end());
            }
            saveNvStore();
            break;
        case Kind::kPrintNvImage: {
            const auto scale = scaleOf(arg(1));
            if (scale && arg(0) >= 1 && arg(0) <= nvImages_.size())
                printBlock(nvImages_[arg(0) - 1], scale->first, scale->second);
            break;
        }
        case Kind::kCut:
            // The cuts with a feed print the pending line, then feed n dots.
            // A page is never cut.
            if (pageMode_) break;
            if (!line_.empty()) printLine(0);
            if (args.size() > 1) feed(static_cast<int>(arg(1)));
            cut();
            break;
        case Kind::kPartialCutOnePoint:
        case Kind::kPartialCutThreePoints:
            if (!pageMode_) cut();
            break;
        default:
            break;
    }
}

void Renderer::bitImage(const Command& command) {
    const auto args = command.args();
    if (args.size() < 2 || args[1] == 0) return;
    const std::uint32_t mode = args[0];
    const std::size_t columnBytes = mode == 0 || mode == 1 ? 1 : 3;
    const int scaleX = mode == 0 || mode == 32 ? 2 : 1;
    if (x_ >= areaWidth()) return;  // past the right end: nothing of it prints
    if (line_.size() >= kMaxLineItems) printLine(0);
    line_.push_back({columnImage(static_cast<int>(args[1]), columnBytes, command.payload), x_, scaleX});
    x_ += static_cast<int>(args[1]) * scaleX;
    lineHeight_ = std::max(lineHeight_, static_cast<int>(columnBytes * 8));
}

// A barcode or QR code prints on rows of its own, justified like a line, with
// its human-readable text (in plain characters of the HRI font) above, below
// or both.
void Renderer::symbol(const BarcodeImage& bars, int hriPosition, int hriFont) {
    if (!line_.empty()) printLine(0);
    const auto hri = [&] {
        if (bars.hri.empty()) return;
        const TextMode saved = mode_;
        mode_ = TextMode{};
        mode_.fontB = hriFont == 1;
        text(std::span(reinterpret_cast<const std::uint8_t*>(bars.hri.data()), bars.hri.size()));
        printLine(0);
        mode_ = saved;
    };
    if (hriPosition == 1 || hriPosition == 3) hri();
    Image image;
    image.width = bars.width;
    image.height = bars.height;
    image.layout = Image::Layout::kRows;
    image.stride = (static_cast<std::size_t>(bars.width) + 7) / 8;
    image.bytes.assign(image.stride * static_cast<std::size_t>(bars.height), 0);
    for (int y = 0; y < bars.height; ++y)
        for (int x = 0; x < bars.width; ++x)
            if (bars.dot(x, y))
                image.bytes[static_cast<std::size_t>(y) * image.stride + static_cast<std::size_t>(x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
    line_.push_back({std::move(image), 0, 1, 1, 0});
    lineHeight_ = bars.height;
    printLine(0);
    if (hriPosition == 2 || hriPosition == 3) hri();
}

// GS ( k for QR codes: cn 49, then the function and its arguments. Model,
// module size and error level are kept; fn 80 stores the data, fn 81 prints it.
void Renderer::twoDimensionalCode(std::span<const std::uint8_t> payload) {
    if (payload.size() < 3 || payload[0] != 49) return;
    switch (payload[1]) {
        case 65:
            qrModel_ = payload[2];
            break;
        case 67:
            qrModuleSize_ = payload[2];
            break;
        case 69:
            qrLevel_ = payload[2];
            break;
        case 80:
            qrData_.assign(payload.begin() + 3, payload.end());
            break;
        case 81:
            if (const auto code = drawQrCode(qrData_, qrModuleSize_, qrLevel_, qrModel_)) symbol(*code, 0, 0);
            break;
        default:
            break;
    }
}

void Renderer::drawAt(const Image& image, int x, int y, int scaleX, int scaleY) {
    if (pageMode_) return drawOnPage(image, x, y, scaleX, scaleY);
    if (!usePaper()) return;
    const int columns = std::min(image.width, (options_.width - x + scaleX - 1) / scaleX);
    int rows = image.height;
    if (y + rows * scaleY > options_.maxHeight) {
        rows = std::max(0, (options_.maxHeight - y) / scaleY);
        overran_ = true;
    }
    for (int iy = 0; iy < rows; ++iy)
        for (int ix = 0; ix < columns; ++ix)
            if (image.dot(ix, iy))
                for (int dy = 0; dy < scaleY; ++dy)
                    for (int dx = 0; dx < scaleX; ++dx) paper_.set(x + ix * scaleX + dx, y + iy * scaleY + dy);
}

void Renderer::horizontalTab() {
    const auto next = std::upper_bound(tabs_.begin(), tabs_.end(), x_);
    if (next != tabs_.end() && *next < areaWidth()) x_ = *next;
}

// ESC & y c1 c2, then for each character from c1 to c2 its width x and x
// columns of y bytes. Characters outside 20h-7Eh are not defined.
void Renderer::defineUserCharacters(const Command& command) {
    const auto args = command.args();
    if (args.size() < 3) return;
    const std::size_t columnBytes = args[0];
    std::size_t at = 0;
    for (std::uint32_t code = args[1]; code <= args[2] && at < command.payload.size(); ++code) {
        const int width = command.payload[at];
        const std::size_t size = static_cast<std::size_t>(width) * columnBytes;
        if (command.payload.size() - at - 1 < size) break;
        const Image pattern = columnImage(width, columnBytes, command.payload.subspan(at + 1, size));
        at += 1 + size;
        if (code < 0x20 || code > 0x7E) continue;
        GlyphCell cell{width, pattern.height,
                       std::vector<std::uint8_t>(static_cast<std::size_t>(width) * pattern.height)};
        for (int y = 0; y < cell.height; ++y)
            for (int x = 0; x < width; ++x) cell.dots[static_cast<std::size_t>(y) * width + x] = pattern.dot(x, y);
        userCharacters_[static_cast<std::uint8_t>(code)] = std::move(cell);
    }
}

// Text bytes: in Chinese mode a byte from 81h to FEh starts a character of
// the printer's character set, of two bytes (GBK, Big5) or two or four
// (GB18030); a printer set to UTF-8 reads UTF-8 in or out of Chinese mode. A
// character may arrive split across text runs. Every other byte is a
// single-byte character. A sequence broken by a byte that cannot continue it
// prints as the box of one Chinese cell: under GB18030 one box, and the byte
// is read afresh; under GBK and Big5 a box for the lead byte, and the byte
// prints as a single-byte character (so the four-byte GB18030 code 81 30 84
// 36 prints box, '0', box, '6', as such a printer does); under UTF-8 a box
// for each byte held, and the byte is read afresh.
void Renderer::text(std::span<const std::uint8_t> bytes) {
    const Charset charset = options_.charset;
    for (const std::uint8_t byte : bytes) {
        if (!pendingChinese_.empty()) {
            pendingChinese_.push_back(byte);
            const int length = sequenceLength(charset, pendingChinese_);
            if (length != 0) {
                if (pendingChinese_.size() == static_cast<std::size_t>(length)) {
                    chineseCharacter(pendingChinese_);
                    pendingChinese_.clear();
                }
                continue;
            }
            pendingChinese_.pop_back();
            brokenSequence();
            if (charset == Charset::kGbk || charset == Charset::kBig5) {
                singleByteCharacter(byte);
                continue;
            }
        }
        const bool multiByte = charset == Charset::kUtf8 ? byte >= 0x80 : chinese_ && byte >= 0x81 && byte <= 0xFE;
        if (!multiByte)
            singleByteCharacter(byte);
        else if (sequenceLength(charset, std::span(&byte, 1)) != 0)
            pendingChinese_.push_back(byte);
        else
            wideCharacter(0);  // a byte no UTF-8 character starts with
    }
}

void Renderer::brokenSequence() {
    if (options_.charset == Charset::kUtf8)
        for (std::size_t i = 0; i < pendingChinese_.size(); ++i) wideCharacter(0);
    else
        chineseCharacter(pendingChinese_);
    pendingChinese_.clear();
}

namespace {

// A user-defined glyph fitted to a cell of another size (turned characters),
// nearest dot by dot.
void scaleGlyph(const GlyphCell& from, int width, int height, GlyphCell& to) {
    to = GlyphCell{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
    if (from.width == 0 || from.height == 0) return;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            to.dots[static_cast<std::size_t>(y) * width + x] =
                from.dot(x * from.width / width, y * from.height / height) ? 1 : 0;
}

}  // namespace

void Renderer::singleByteCharacter(std::uint8_t code) {
    const int height = mode_.fontB ? kFontBHeight : kFontAHeight;
    // Reversed and rotated characters are not underlined.
    const int underline = mode_.reverse || mode_.rotated ? 0 : mode_.underline;
    if (userCharactersOn_) {
        if (const auto found = userCharacters_.find(code); found != userCharacters_.end()) {
            // Drawn from the top of the cell, as wide as it was defined.
            const GlyphCell& pattern = found->second;
            const auto glyphOf = [&](int w, int h) -> const GlyphCell& {
                GlyphCell upright{pattern.width, height,
                                  std::vector<std::uint8_t>(static_cast<std::size_t>(pattern.width) * height)};
                for (int y = 0; y < std::min(height, pattern.height); ++y)
                    for (int x = 0; x < pattern.width; ++x)
                        upright.dots[static_cast<std::size_t>(y) * pattern.width + x] = pattern.dot(x, y);
                scaleGlyph(upright, w, h, scratchGlyph_);
                return scratchGlyph_;
            };
            character(glyphOf, {pattern.width, height, 0, mode_.rightSpacing, mode_.scaleX, mode_.scaleY, underline});
            return;
        }
    }
    narrowCharacter(characterSets_.singleByte(codePage_, code));
}

void Renderer::narrowCharacter(char32_t unicode) {
    const int width = mode_.fontB ? kFontBWidth : kFontAWidth;
    const int height = mode_.fontB ? kFontBHeight : kFontAHeight;
    const int underline = mode_.reverse || mode_.rotated ? 0 : mode_.underline;
    character([&](int w, int h) -> const GlyphCell& { return font_->glyph(unicode, w, h); },
              {width, height, 0, mode_.rightSpacing, mode_.scaleX, mode_.scaleY, underline});
}

// A multi-byte character: a UTF-8 one in a Chinese cell if it is wide, else
// in a single-byte cell; the others in a Chinese cell, a two-byte code
// defined by FS 2 in its user-defined pattern. An incomplete sequence, a code
// the set leaves empty and a character without a glyph all print a box.
void Renderer::chineseCharacter(std::span<const std::uint8_t> sequence) {
    const char32_t unicode = characterSets_.multiByte(options_.charset, sequence);
    if (options_.charset == Charset::kUtf8) {
        if (slipdrv::isWide(unicode))
            wideCharacter(unicode);
        else
            narrowCharacter(unicode);
        return;
    }
    if (sequence.size() == 2) {
        const auto found = userChinese_.find(static_cast<std::uint16_t>(sequence[0] << 8 | sequence[1]));
        if (found != userChinese_.end()) {
            const GlyphCell& pattern = found->second;
            character(
                [&](int w, int h) -> const GlyphCell& {
                    scaleGlyph(pattern, w, h, scratchGlyph_);
                    return scratchGlyph_;
                },
                chineseLayout());
            return;
        }
    }
    wideCharacter(unicode);
}

void Renderer::wideCharacter(char32_t unicode) {
    character([&](int w, int h) -> const GlyphCell& { return chineseFont_->glyph(unicode, w, h); }, chineseLayout());
}

// The 24 x 24 Chinese cell with the Chinese spacing; the larger of the
// Chinese and the common magnification applies.
Renderer::CellLayout Renderer::chineseLayout() const {
    constexpr int kSize = 24;
    const int underline = mode_.reverse || mode_.rotated ? 0 : chineseMode_.underline;
    return {kSize,
            kSize,
            chineseMode_.leftSpace,
            chineseMode_.rightSpace,
            std::max(mode_.scaleX, chineseMode_.scaleX),
            std::max(mode_.scaleY, chineseMode_.scaleY),
            underline};
}

void Renderer::character(const GlyphSource& glyphOf, const CellLayout& layout) {
    const int width = layout.width;
    const int height = layout.height;
    // A rotated character is rasterised lying on its side, then turned
    // clockwise into the upright cell.
    const GlyphCell& glyph = mode_.rotated ? glyphOf(height, width) : glyphOf(width, height);
    const auto glyphDot = [&](int x, int y) {
        if (x < 0 || x >= width) return false;
        if (mode_.upsideDown) x = width - 1 - x, y = height - 1 - y;
        return mode_.rotated ? glyph.dot(y, width - 1 - x) : glyph.dot(x, y);
    };
    const bool bold = mode_.emphasized || mode_.doubleStrike;
    const int cellWidth = layout.leftSpace + width + layout.rightSpace;
    Image cell;
    cell.width = cellWidth;
    cell.height = height;
    cell.layout = Image::Layout::kRows;
    cell.stride = (static_cast<std::size_t>(cellWidth) + 7) / 8;
    cell.bytes.assign(cell.stride * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < cellWidth; ++x) {
            const int gx = x - layout.leftSpace;
            const bool black = glyphDot(gx, y) || (bold && glyphDot(gx - 1, y));
            if (black != mode_.reverse)
                cell.bytes[static_cast<std::size_t>(y) * cell.stride + static_cast<std::size_t>(x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    const int advance = cellWidth * layout.scaleX;
    if (line_.size() >= kMaxLineItems || (x_ > 0 && x_ + advance > areaWidth())) printLine(lineSpacing_);
    line_.push_back({std::move(cell), x_, layout.scaleX, layout.scaleY, layout.underline});
    x_ += advance;
    lineHeight_ = std::max(lineHeight_, height * layout.scaleY);
    lineUpsideDown_ = lineUpsideDown_ || mode_.upsideDown;
}

void Renderer::printLine(int feedDots) {
    const int height = drawLine();
    x_ = 0;
    feed(std::max(feedDots, height));
}

int Renderer::drawLine() {
    // The line is justified within the print area as a whole; an upside-down
    // line is then turned end for end, its first character at the right.
    const int left = areaLeft();
    const int width = areaWidth();
    int used = 0;
    for (const auto& placed : line_) used = std::max(used, placed.x + placed.image.width * placed.scaleX);
    const int shift = justification_ == 0 ? 0 : std::max(0, (width - used) / (justification_ == 1 ? 2 : 1));
    for (const auto& placed : line_) {
        const int w = placed.image.width * placed.scaleX;
        const int h = placed.image.height * placed.scaleY;
        const int x = lineUpsideDown_ ? left + width - (shift + placed.x + w) : left + shift + placed.x;
        const int top = lineTop() + lineHeight_ - h;
        drawAt(placed.image, x, top, placed.scaleX, placed.scaleY);
        const int underlineTop = lineUpsideDown_ ? top : top + h - placed.underline;
        for (int dy = 0; dy < placed.underline; ++dy)
            for (int dx = 0; dx < w; ++dx) plot(x + dx, underlineTop + dy);
    }
    const int height = lineHeight_;
    line_.clear();
    lineUpsideDown_ = false;
    lineHeight_ = 0;
    return height;
}

void Renderer::printBlock(const Image& image, int scaleX, int scaleY) {
    if (!line_.empty()) printLine(0);
    if (image.width == 0 || image.height == 0) return;
    drawAt(image, 0, lineTop(), scaleX, scaleY);
    feed(image.height * scaleY);
}

void Renderer::feed(int dots) {
    if (dots <= 0) return;
    if (pageMode_) {
        // Past the frame's end nothing more is drawn.
        pageY_ = std::min(pageY_ + dots, frame_.depth());
        return;
    }
    if (!usePaper()) return;
    if (dots > options_.maxHeight - y_) {
        dots = options_.maxHeight - y_;
        overran_ = true;
    }
    y_ += dots;
    paper_.extendTo(y_);
}

void Renderer::cut() {
    if (!line_.empty()) printLine(0);
    if (overran_) return;  // the piece goes out at its maximum height (stopAtLength)
    givePieceOut(used_ && !paper_.empty());
}

void Renderer::finish() {
    if (limit_ != Limit::kNone) return;  // nothing more goes out
    if (!pendingChinese_.empty()) brokenSequence();
    leavePageMode();  // a page never printed leaves nothing on the paper
    cut();
    if (overran_) return stopAtLength();
    reset();
}

// The store: the magic, a 32-bit length of what follows, then the image count
// and the images as FS q sends them. Anything else is read as no images.
void Renderer::loadNvStore() {
    if (options_.nvStore.empty()) return;
    std::ifstream in(options_.nvStore, std::ios::binary);
    unsigned char header[sizeof kNvMagic + 4];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return;
    if (!std::equal(std::begin(kNvMagic), std::end(kNvMagic), header)) return;
    const std::uint32_t length = readLe32(header + sizeof kNvMagic);
    if (length == 0 || length > kMaxPayload + 1) return;
    std::vector<std::uint8_t> definition(length);
    if (!in.read(reinterpret_cast<char*>(definition.data()), length) || in.peek() != std::ifstream::traits_type::eof())
        return;
    if (auto images = parseNvImages(definition[0], std::span(definition).subspan(1))) {
        nvImages_ = std::move(*images);
        nvDefinition_ = std::move(definition);
    }
}

void Renderer::saveNvStore() const {
    if (options_.nvStore.empty()) return;
    const std::string temporary = options_.nvStore + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        const auto length = static_cast<std::uint32_t>(nvDefinition_.size());
        const char size[4] = {static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
                              static_cast<char>((length >> 16) & 0xFF), static_cast<char>(length >> 24)};
        out.write(kNvMagic, sizeof kNvMagic);
        out.write(size, sizeof size);
        out.write(reinterpret_cast<const char*>(nvDefinition_.data()), static_cast<std::streamsize>(length));
        if (!out.flush()) return;
    }
    // Replaced in one step, so that a run stopped halfway leaves the old images.
    std::rename(temporary.c_str(), options_.nvStore.c_str());
}

bool writePng(const Paper& paper, const std::string& path) {
    if (paper.width() <= 0 || paper.height() <= 0) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    std::vector<png_byte> row((static_cast<std::size_t>(paper.width()) + 7) / 8);
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(paper.width()), static_cast<png_uint_32>(paper.height()), 1,
                     PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < paper.height(); ++y) {
            // In a 1-bit grey PNG 0 is black: the paper's black bits are inverted.
            const std::uint8_t* bits = paper.row(y);
            for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<png_byte>(~bits[i]);
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

}  // namespace escpos
