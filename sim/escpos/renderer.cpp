#include "renderer.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>

namespace escpos {
namespace {

constexpr int kDefaultLineSpacing = 30;
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

Renderer::Renderer(RendererOptions options, PieceSink sink)
    : options_(std::move(options)), sink_(std::move(sink)), paper_(options_.width) {
    loadNvStore();
}

void Renderer::reset() {
    line_.clear();
    x_ = 0;
    lineHeight_ = 0;
    lineSpacing_ = kDefaultLineSpacing;
    download_ = Image{};
}

void Renderer::apply(const Command& command) {
    const auto args = command.args();
    const auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : 0u; };
    switch (command.kind) {
        case Kind::kInitialize:
            reset();
            break;
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
            if (!line_.empty()) printLine(0);
            if (args.size() > 1) feed(static_cast<int>(arg(1)));
            cut();
            break;
        case Kind::kPartialCutOnePoint:
        case Kind::kPartialCutThreePoints:
            cut();
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
    if (x_ >= options_.width) return;  // past the right end: nothing of it prints
    line_.push_back({columnImage(static_cast<int>(args[1]), columnBytes, command.payload), x_, scaleX});
    x_ += static_cast<int>(args[1]) * scaleX;
    lineHeight_ = std::max(lineHeight_, static_cast<int>(columnBytes * 8));
}

void Renderer::drawAt(const Image& image, int x, int y, int scaleX, int scaleY) {
    used_ = true;
    const int columns = std::min(image.width, (options_.width - x + scaleX - 1) / scaleX);
    int rows = image.height;
    if (y + rows * scaleY > options_.maxHeight) {
        rows = std::max(0, (options_.maxHeight - y) / scaleY);
        ++dropped_;
    }
    for (int iy = 0; iy < rows; ++iy)
        for (int ix = 0; ix < columns; ++ix)
            if (image.dot(ix, iy))
                for (int dy = 0; dy < scaleY; ++dy)
                    for (int dx = 0; dx < scaleX; ++dx) paper_.set(x + ix * scaleX + dx, y + iy * scaleY + dy);
}

void Renderer::printLine(int feedDots) {
    for (const auto& placed : line_) drawAt(placed.image, placed.x, y_, placed.scaleX, 1);
    const int height = lineHeight_;
    line_.clear();
    x_ = 0;
    lineHeight_ = 0;
    feed(std::max(feedDots, height));
}

void Renderer::printBlock(const Image& image, int scaleX, int scaleY) {
    if (!line_.empty()) printLine(0);
    if (image.width == 0 || image.height == 0) return;
    drawAt(image, 0, y_, scaleX, scaleY);
    feed(image.height * scaleY);
}

void Renderer::feed(int dots) {
    if (dots <= 0) return;
    used_ = true;
    if (dots > options_.maxHeight - y_) {
        dots = options_.maxHeight - y_;
        ++dropped_;
    }
    y_ += dots;
    paper_.extendTo(y_);
}

void Renderer::cut() {
    if (!line_.empty()) printLine(0);
    if (used_ && !paper_.empty()) {
        ++pieces_;
        sink_(paper_);
    }
    paper_ = Paper(options_.width);
    used_ = false;
    y_ = 0;
}

void Renderer::finish() {
    cut();
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
