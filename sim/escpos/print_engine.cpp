#include "print_engine.h"

#include <algorithm>

namespace escpos {
namespace {

// Items one line may hold before it is printed on its own: positioning
// commands can pile characters on one spot without the line ever filling.
constexpr std::size_t kMaxLineItems = 1024;
constexpr std::size_t kMaxTabs = 32;
constexpr int kDefaultTabColumns = 8;

}  // namespace

PrintState::PrintState(int paperWidth, int maxHeight) {
    for (std::size_t i = 1; i <= kMaxTabs; ++i)
        layout.tabs.push_back(static_cast<int>(i) * kDefaultTabColumns * kFontAWidth);
    page.frame = PageFrame{0, 0, paperWidth, std::min(kDefaultPageLength, maxHeight), 0};
    page.page = Paper(paperWidth);
}

PrintEngine::PrintEngine(RendererOptions options, PieceSink sink)
    : options_(std::move(options)),
      sink_(std::move(sink)),
      state_(options_.width, options_.maxHeight),
      paper_(options_.width),
      font_(TextFont::shared({options_.latinFont, options_.chineseFont}, TextFont::Fit::kMonospaced)),
      chineseFont_(TextFont::shared({options_.chineseFont}, TextFont::Fit::kSquare)),
      nv_(loadNvStore(options_.nvStore, &graphics_.nv)) {}

void PrintEngine::reset() { state_ = PrintState(options_.width, options_.maxHeight); }

int PrintEngine::areaLeft() const {
    return state_.page.on ? 0 : std::clamp(state_.layout.leftMargin, 0, options_.width - 1);
}

int PrintEngine::areaWidth() const {
    if (state_.page.on) return state_.page.frame.lineWidth();
    const int rest = options_.width - areaLeft();
    return state_.layout.areaWidth == 0 ? rest : std::clamp(state_.layout.areaWidth, 1, rest);
}

void PrintEngine::endCommand() {
    if (overran_) stopAtLength();
}

bool PrintEngine::usePaper() {
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
void PrintEngine::stopAtLength() {
    limit_ = Limit::kLength;
    paper_.extendTo(options_.maxHeight);  // an image that reached past it ran the paper out to it
    state_.line.items.clear();
    givePieceOut(true);
}

// Hands the piece to the sink (when it holds anything) and starts a new one.
void PrintEngine::givePieceOut(bool holdsPrint) {
    if (holdsPrint) {
        ++pieces_;
        sink_(paper_);
    }
    paper_ = Paper(options_.width);
    used_ = false;
    y_ = 0;
}

void PrintEngine::placeBitImage(Bitmap image, int scaleX) {
    Line& line = state_.line;
    if (line.x >= areaWidth()) return;  // past the right end: nothing of it prints
    if (line.items.size() >= kMaxLineItems) printLine(0);
    const int width = image.width();
    const int height = image.height();
    line.items.push_back({std::make_shared<const Bitmap>(std::move(image)), line.x, scaleX, 1, 0, width});
    line.x += width * scaleX;
    line.height = std::max(line.height, height);
}

void PrintEngine::character(const GlyphSource& glyphOf, const CellLayout& layout) {
    const TextMode& mode = state_.text;
    const int width = layout.width;
    const int height = layout.height;
    const bool bold = mode.emphasized || mode.doubleStrike;
    const int cellWidth = layout.leftSpace + width + layout.rightSpace;
    Line& line = state_.line;
    Placed placed{nullptr, 0, layout.scaleX, layout.scaleY, layout.underline, cellWidth};
    if (!mode.rotated && !mode.upsideDown && !mode.reverse) {
        // Drawn from the font's glyph when the line is printed.
        placed.image = glyphOf(width, height);
        placed.offset = layout.leftSpace;
        placed.bold = bold;
    } else {
        // A rotated character is rasterised lying on its side, then turned
        // clockwise into the upright cell.
        const std::shared_ptr<const Bitmap> glyph = mode.rotated ? glyphOf(height, width) : glyphOf(width, height);
        const auto glyphDot = [&](int x, int y) {
            if (x < 0 || x >= width) return false;
            if (mode.upsideDown) x = width - 1 - x, y = height - 1 - y;
            return mode.rotated ? glyph->dot(y, width - 1 - x) : glyph->dot(x, y);
        };
        Bitmap cell(cellWidth, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < cellWidth; ++x) {
                const int gx = x - layout.leftSpace;
                const bool black = glyphDot(gx, y) || (bold && glyphDot(gx - 1, y));
                if (black != mode.reverse) cell.set(x, y);
            }
        placed.image = std::make_shared<const Bitmap>(std::move(cell));
    }
    const int advance = cellWidth * layout.scaleX;
    if (line.items.size() >= kMaxLineItems || (line.x > 0 && line.x + advance > areaWidth()))
        printLine(state_.layout.spacing);
    placed.x = line.x;
    line.items.push_back(std::move(placed));
    line.x += advance;
    line.height = std::max(line.height, height * layout.scaleY);
    line.upsideDown = line.upsideDown || mode.upsideDown;
}

void PrintEngine::printLine(int feedDots) {
    const int height = drawLine();
    state_.line.x = 0;
    feed(std::max(feedDots, height));
}

int PrintEngine::drawLine() {
    // The line is justified within the print area as a whole; an upside-down
    // line is then turned end for end, its first character at the right.
    Line& line = state_.line;
    const int left = areaLeft();
    const int width = areaWidth();
    const int justification = state_.layout.justification;
    int used = 0;
    for (const auto& placed : line.items) used = std::max(used, placed.x + placed.width * placed.scaleX);
    const int shift = justification == 0 ? 0 : std::max(0, (width - used) / (justification == 1 ? 2 : 1));
    for (const auto& placed : line.items) {
        const Bitmap& image = *placed.image;
        const int w = placed.width * placed.scaleX;
        const int h = image.height() * placed.scaleY;
        const int x = line.upsideDown ? left + width - (shift + placed.x + w) : left + shift + placed.x;
        const int top = lineTop() + line.height - h;
        drawAt(image, x + placed.offset * placed.scaleX, top, placed.scaleX, placed.scaleY,
               placed.width - placed.offset);
        if (placed.bold)
            drawAt(image, x + (placed.offset + 1) * placed.scaleX, top, placed.scaleX, placed.scaleY,
                   placed.width - placed.offset - 1);
        const int underlineTop = line.upsideDown ? top : top + h - placed.underline;
        for (int dy = 0; dy < placed.underline; ++dy)
            for (int dx = 0; dx < w; ++dx) plot(x + dx, underlineTop + dy);
    }
    const int height = line.height;
    clearLine();
    return height;
}

void PrintEngine::clearLine() {
    state_.line.items.clear();
    state_.line.upsideDown = false;
    state_.line.height = 0;
}

void PrintEngine::printBlock(const Bitmap& image, int scaleX, int scaleY) {
    if (!lineEmpty()) printLine(0);
    if (image.width() == 0 || image.height() == 0) return;
    drawAt(image, 0, lineTop(), scaleX, scaleY, image.width());
    feed(image.height() * scaleY);
}

void PrintEngine::feed(int dots) {
    if (dots <= 0) return;
    if (state_.page.on) {
        // Past the frame's end nothing more is drawn.
        state_.page.y = std::min(state_.page.y + dots, state_.page.frame.depth());
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

void PrintEngine::cut() {
    if (!lineEmpty()) printLine(0);
    if (overran_) return;  // the piece goes out at its maximum height (stopAtLength)
    givePieceOut(used_ && !paper_.empty());
}

void PrintEngine::horizontalTab() {
    const std::vector<int>& tabs = state_.layout.tabs;
    const auto next = std::upper_bound(tabs.begin(), tabs.end(), state_.line.x);
    if (next != tabs.end() && *next < areaWidth()) state_.line.x = *next;
}

void PrintEngine::finish() {
    if (limit_ != Limit::kNone) return;  // nothing more goes out
    if (!state_.characters.pendingChinese.empty()) brokenSequence();
    leavePageMode();  // a page never printed leaves nothing on the paper
    cut();
    if (overran_) return stopAtLength();
    reset();
}

// The HRI text is printed in plain characters of the HRI font.
void PrintEngine::symbol(const BarcodeImage& bars, int hriPosition, int hriFont) {
    if (!lineEmpty()) printLine(0);
    const auto hri = [&] {
        if (bars.hri.empty()) return;
        const TextMode saved = state_.text;
        state_.text = TextMode{};
        state_.text.fontB = hriFont == 1;
        text(std::span(reinterpret_cast<const std::uint8_t*>(bars.hri.data()), bars.hri.size()));
        printLine(0);
        state_.text = saved;
    };
    if (hriPosition == 1 || hriPosition == 3) hri();
    state_.line.items.push_back({std::make_shared<const Bitmap>(bars.bars), 0, 1, 1, 0, bars.bars.width()});
    state_.line.height = bars.bars.height();
    printLine(0);
    if (hriPosition == 2 || hriPosition == 3) hri();
}

void PrintEngine::drawAt(const Bitmap& image, int x, int y, int scaleX, int scaleY, int columns) {
    if (state_.page.on) return drawOnPage(image, x, y, scaleX, scaleY, columns);
    if (!usePaper()) return;
    columns = std::min(columns, (options_.width - x + scaleX - 1) / scaleX);
    int rows = image.height();
    if (y + rows * scaleY > options_.maxHeight) {
        rows = std::max(0, (options_.maxHeight - y) / scaleY);
        overran_ = true;
    }
    paper_.draw(image, x, y, scaleX, scaleY, columns, rows);
}

// FS q replaces every image defined before; a definition that does not parse
// leaves none. The store is written either way.
void PrintEngine::defineNvImages(NvImages nv) {
    nv_ = std::move(nv);
    saveNvStore(options_.nvStore, nv_, &graphics_.nv);
}

void PrintEngine::saveNvGraphics() const { saveNvStore(options_.nvStore, nv_, &graphics_.nv); }

}  // namespace escpos
