// Page mode: the page's geometry and the renderer's page-mode commands.
//
// The vertical position in the frame (GS $, GS \) is the top of the line:
// characters and images stand on the line's bottom, as in standard mode, and
// LF, ESC J and ESC d move the position down the frame. The page covers the
// rows from its top to the bottom of the lowest area drawn in (or the current
// area's, if lower); printing it puts those rows on the paper and feeds past
// them. ESC W and ESC T given in standard mode are kept for the next page.
#include "page_mode.h"

#include <algorithm>

#include "renderer.h"

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

std::optional<int> pageDirection(std::uint32_t n) {
    if (n <= 3) return static_cast<int>(n);
    if (n >= 48 && n <= 51) return static_cast<int>(n - 48);
    return std::nullopt;
}

void Renderer::pageCommand(const Command& command) {
    const auto args = command.args();
    const auto arg = [&](std::size_t i) { return static_cast<int>(i < args.size() ? args[i] : 0u); };
    // What is pending on the line is drawn where it stands before the
    // position moves; a new area or direction starts at its first line.
    const auto placePending = [&] {
        if (!line_.empty()) drawLine();
    };
    const auto restart = [&] {
        if (!pageMode_) return;
        placePending();
        x_ = 0;
        pageY_ = 0;
    };
    switch (command.kind) {
        case Kind::kPageMode:
            if (pageMode_) break;
            if (!line_.empty()) printLine(0);
            pageMode_ = true;
            x_ = 0;
            pageY_ = 0;
            break;
        case Kind::kStandardMode:
            leavePageMode();
            break;
        case Kind::kPageArea:
            if (const auto area =
                    clipArea(frame_, arg(0), arg(1), arg(2), arg(3), options_.width, options_.maxHeight)) {
                restart();
                frame_ = *area;
            }
            break;
        case Kind::kPageDirection:
            if (const auto direction = pageDirection(static_cast<std::uint32_t>(arg(0)))) {
                restart();
                frame_.direction = *direction;
            }
            break;
        case Kind::kPageVerticalPosition:
        case Kind::kPageRelativeVertical: {
            if (!pageMode_) break;
            const int to =
                command.kind == Kind::kPageVerticalPosition ? arg(0) : pageY_ + static_cast<std::int16_t>(arg(0));
            if (to < 0 || to >= frame_.depth()) break;
            placePending();
            pageY_ = to;
            break;
        }
        case Kind::kFormFeed:
            if (!pageMode_) break;
            printPage();
            leavePageMode();
            break;
        case Kind::kPrintPage:
            if (pageMode_) printPage();  // the page keeps its data
            break;
        case Kind::kCancelPageData:
            if (!pageMode_) break;
            line_.clear();
            lineHeight_ = 0;
            lineUpsideDown_ = false;
            page_.erase(frame_.x, frame_.y, frame_.x + frame_.width, frame_.bottom());
            break;
        default:
            break;
    }
}

void Renderer::leavePageMode() {
    if (pageMode_) {
        line_.clear();
        lineHeight_ = 0;
        lineUpsideDown_ = false;
        x_ = 0;
    }
    pageMode_ = false;
    page_ = Paper(options_.width);
    pageY_ = 0;
    pageLength_ = 0;
}

void Renderer::printPage() {
    if (!line_.empty()) printLine(0);
    if (!usePaper()) return;
    const int length = std::max(pageLength_, frame_.bottom());
    const int rows = std::min(length, options_.maxHeight - y_);
    if (rows < length) overran_ = true;
    for (int row = 0; row < std::min(rows, page_.height()); ++row) paper_.addRow(y_ + row, page_.row(row));
    y_ += rows;
    paper_.extendTo(y_);
}

void Renderer::drawOnPage(const Image& image, int x, int y, int scaleX, int scaleY) {
    // Only what falls in the frame is looked at: an image can be far larger.
    const int columns = std::clamp((frame_.lineWidth() - x + scaleX - 1) / scaleX, 0, image.width);
    const int rows = std::clamp((frame_.depth() - y + scaleY - 1) / scaleY, 0, image.height);
    for (int iy = 0; iy < rows; ++iy)
        for (int ix = 0; ix < columns; ++ix)
            if (image.dot(ix, iy))
                for (int dy = 0; dy < scaleY; ++dy)
                    for (int dx = 0; dx < scaleX; ++dx) plot(x + ix * scaleX + dx, y + iy * scaleY + dy);
}

void Renderer::plot(int x, int y) {
    if (!pageMode_) {
        if (limit_ == Limit::kNone && y < options_.maxHeight) paper_.set(x, y);
        return;
    }
    if (x < 0 || y < 0 || x >= frame_.lineWidth() || y >= frame_.depth()) return;
    const auto [pageX, pageY] = frame_.toPage(x, y);
    page_.set(pageX, pageY);
    pageLength_ = std::max(pageLength_, frame_.bottom());
}

}  // namespace escpos
