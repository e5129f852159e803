// Page mode on the renderer's paper: what is drawn in a print area, in each
// direction, lands where the area and the direction put it; printing, cancelling
// and leaving the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <vector>

#include "render_support.h"

namespace {

using escpos::testing::bands;
using escpos::testing::Box;
using escpos::testing::cat;
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t ESC = 0x1B, GS = 0x1D, LF = 0x0A, FF = 0x0C, CAN = 0x18;

std::uint8_t lo(int v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t hi(int v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); }

Bytes area(int x, int y, int w, int h) { return {ESC, 'W', lo(x), hi(x), lo(y), hi(y), lo(w), hi(w), lo(h), hi(h)}; }
Bytes at(int along, int down) { return {ESC, '$', lo(along), hi(along), GS, '$', lo(down), hi(down)}; }
// A solid bit image 8 dots along the line and 24 down it.
Bytes block() { return cat({{ESC, '*', 33, 8, 0}, Bytes(24, 0xFF)}); }

TEST(PageMode, WhatIsDrawnInTheAreaLandsWhereTheDirectionPutsIt) {
    // The usual area: 200 x 120 dots at (40, 16); the page is then 136 rows
    // long. A block at 10 along the line and 20 down from its start edge.
    const Bytes usual = area(40, 16, 200, 120);
    const auto placed = [&](std::uint8_t direction) {
        return cat({{ESC, 'L', ESC, 'T', direction}, usual, at(10, 20), block(), {FF}});
    };
    const struct {
        const char* name;
        Bytes stream;
        std::vector<Box> boxes;
        int height;  // of the one piece of paper; 0 for none
    } cases[] = {
        {"direction 0: from the top left", placed(0), {{50, 58, 36, 60}}, 136},
        {"direction 1: bottom to top", placed(49), {{60, 84, 118, 126}}, 136},
        {"direction 2: upside down", placed(2), {{222, 230, 92, 116}}, 136},
        {"direction 3: top to bottom", placed(3), {{196, 220, 26, 34}}, 136},
        {"two reversed characters, direction 3",
         cat({{ESC, 'L', ESC, 'T', 3}, usual, {GS, 'B', 1, 'A', 'B', FF}}),
         {{216, 240, 16, 40}},
         136},
        {"relative positions",
         cat({{ESC, 'L'}, usual, at(10, 20), {ESC, '\\', 5, 0, GS, '\\', 0xFC, 0xFF}, block(), {FF}}),
         {{55, 63, 32, 56}},
         136},
        {"LF moves down the frame",
         cat({{ESC, 'L'}, usual, block(), {LF}, block(), {FF}}),
         {{40, 48, 16, 40}, {40, 48, 46, 70}},
         136},
        {"the default area", cat({{ESC, 'L'}, block(), {FF}}), {{0, 8, 0, 24}}, 1662},
        {"ESC W and ESC T given in standard mode",
         cat({{ESC, 'T', 2}, area(0, 0, 100, 50), {ESC, 'L'}, block(), {FF}}),
         {{92, 100, 26, 50}},
         50},
        {"two areas on one page",
         cat({{ESC, 'L'}, area(0, 0, 100, 50), block(), area(200, 100, 100, 50), block(), {FF}}),
         {{0, 8, 0, 24}, {200, 208, 100, 124}},
         150},
        {"an area past the paper's end is clipped",
         cat({{ESC, 'L'}, area(500, 0, 200, 40), at(70, 0), block(), {FF}}),
         {{570, 576, 0, 24}},
         40},
        {"empty areas and areas beyond the paper are ignored",
         cat({{ESC, 'L'}, area(0, 0, 100, 50), area(600, 0, 10, 10), area(10, 10, 0, 10), block(), {FF}}),
         {{0, 8, 0, 24}},
         50},
        {"ESC FF prints and keeps the page; no cut in page mode",
         cat({{ESC, 'L'}, usual, at(10, 20), block(), {ESC, FF, GS, 'V', 0, FF}}),
         {{50, 58, 36, 60}, {50, 58, 172, 196}},
         272},
        {"CAN clears what is drawn and pending", cat({{ESC, 'L'}, usual, block(), {LF}, block(), {CAN, FF}}), {}, 136},
        {"ESC S discards the page", cat({{ESC, 'L'}, usual, block(), {LF, ESC, 'S', ESC, 'J', 5}}), {}, 5},
        {"ESC @ discards the page", cat({{ESC, 'L'}, usual, block(), {LF, ESC, '@', ESC, 'J', 5}}), {}, 5},
        {"a page never printed", cat({{ESC, 'L'}, usual, block(), {LF}}), {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto pieces = escpos::testing::renderPieces(c.stream);
        if (c.height == 0) {
            EXPECT_TRUE(pieces.empty());
            continue;
        }
        ASSERT_EQ(pieces.size(), 1u);
        EXPECT_EQ(pieces[0].height(), c.height);
        EXPECT_EQ(bands(pieces[0]), c.boxes);
    }
}

}  // namespace
