// Page mode: the page's geometry and the engine's steps of page mode.
//
// The page covers the rows from its top to the bottom of the lowest area
// drawn in (or the current area's, if lower); printing it puts those rows on
// the paper and feeds past them.
#include "page_mode.h"

#include <algorithm>

#include "command_arguments.h"
#include "print_engine.h"

namespace escpos {

std::pair<int, int> PageFrame::toPage(int along, int down) const {
    switch (direction) {
        case 1:
            return {x + down, y + height - 1 - along};
        case 2:
            return {x + width - 1 - along, y + height - 1 - down};
        case 3:
            return {x + width - 1 - down, y + along};
        default:
            return {x + along, y + down};
    }
}

std::optional<PageFrame> clipArea(const PageFrame& frame, int x, int y, int width, int height, int paperWidth,
                                  int maxLength) {
    if (width <= 0 || height <= 0 || x >= paperWidth || y >= maxLength) return std::nullopt;
    PageFrame clipped = frame;
    clipped.x = x;
    clipped.y = y;
    clipped.width = std::min(width, paperWidth - x);
    clipped.height = std::min(height, maxLength - y);
    return clipped;
}

std::optional<int> pageDirection(std::uint32_t n) { return selector(n, 4); }

void PrintEngine::enterPageMode() {
    if (state_.page.on) return;
    if (!lineEmpty()) printLine(0);
    state_.page.on = true;
    state_.line.x = 0;
    state_.page.y = 0;
}

void PrintEngine::leavePageMode() {
    PageState& page = state_.page;
    if (page.on) {
        clearLine();
        state_.line.x = 0;
    }
    page.on = false;
    page.page = Paper(options_.width);
    page.y = 0;
    page.length = 0;
}

void PrintEngine::restartPage() {
    if (!state_.page.on) return;
    if (!lineEmpty()) drawLine();
    state_.line.x = 0;
    state_.page.y = 0;
}

void PrintEngine::cancelPage() {
    if (!state_.page.on) return;
    clearLine();
    const PageFrame& frame = state_.page.frame;
    state_.page.page.erase(frame.x, frame.y, frame.x + frame.width, frame.bottom());
}

void PrintEngine::printPage() {
    if (!lineEmpty()) printLine(0);
    if (!usePaper()) return;
    const PageState& page = state_.page;
    const int length = std::max(page.length, page.frame.bottom());
    const int rows = std::min(length, options_.maxHeight - y_);
    if (rows < length) overran_ = true;
    for (int row = 0; row < std::min(rows, page.page.height()); ++row) paper_.addRow(y_ + row, page.page.row(row));
    y_ += rows;
    paper_.extendTo(y_);
}

void PrintEngine::drawOnPage(const Bitmap& image, int x, int y, int scaleX, int scaleY, int columns) {
    // Only what falls in the frame is looked at: an image can be far larger.
    const PageFrame& frame = state_.page.frame;
    const int shown = std::max(0, std::min({(frame.lineWidth() - x + scaleX - 1) / scaleX, columns, image.width()}));
    const int rows = std::clamp((frame.depth() - y + scaleY - 1) / scaleY, 0, image.height());
    for (int iy = 0; iy < rows; ++iy)
        for (int ix = 0; ix < shown; ++ix)
            if (image.dot(ix, iy))
                for (int dy = 0; dy < scaleY; ++dy)
                    for (int dx = 0; dx < scaleX; ++dx) plot(x + ix * scaleX + dx, y + iy * scaleY + dy);
}

void PrintEngine::plot(int x, int y) {
    PageState& page = state_.page;
    if (!page.on) {
        if (limit_ == Limit::kNone && y < options_.maxHeight) paper_.set(x, y);
        return;
    }
    if (x < 0 || y < 0 || x >= page.frame.lineWidth() || y >= page.frame.depth()) return;
    const auto [pageX, pageY] = page.frame.toPage(x, y);
    page.page.set(pageX, pageY);
    page.length = std::max(page.length, page.frame.bottom());
}

}  // namespace escpos
