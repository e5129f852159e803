// Page mode's geometry: the print area on the page and the direction its
// lines run in. Lines are laid out in the direction's frame (x along the line,
// y down from the line's start edge), as in standard mode, and each dot is
// then turned into the area's place on the page. No platform code.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace escpos {

// The page of a common 80 mm printer: the printable width by 1662 dot rows.
constexpr int kDefaultPageLength = 1662;

struct PageFrame {
    int x = 0;  // the area's top-left corner on the page, in dots
    int y = 0;
    int width = 0;
    int height = 0;
    // 0 left to right from the top left, 1 bottom to top from the bottom left,
    // 2 right to left from the bottom right (upside down), 3 top to bottom
    // from the top right.
    int direction = 0;

    // The frame's extent along a line and from line to line.
    int lineWidth() const { return direction % 2 == 0 ? width : height; }
    int depth() const { return direction % 2 == 0 ? height : width; }
    int bottom() const { return y + height; }
    // The page dot of the frame's dot (along, down), which lies in the frame.
    std::pair<int, int> toPage(int along, int down) const;
};

// ESC W's area clipped to the paper width and the page's greatest length; none
// when it is empty or starts beyond them (the area then stays as it was).
std::optional<PageFrame> clipArea(const PageFrame& frame, int x, int y, int width, int height, int paperWidth,
                                  int maxLength);

// ESC T's direction from n: 0-3 or 48-51.
std::optional<int> pageDirection(std::uint32_t n);

}  // namespace escpos
