// A whole byte stream decoded and rendered, for the renderer's tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <span>
#include <vector>

#include "renderer.h"

namespace escpos::testing {

// The pieces of paper the stream prints; NV images in memory only unless the
// options name a store; the limit that stopped the renderer, if asked.
inline std::vector<Paper> renderPieces(std::span<const std::uint8_t> stream,
                                       RendererOptions options = {576, "", 100000}, Limit* limit = nullptr) {
    std::vector<Paper> pieces;
    Renderer renderer(std::move(options), [&](const Paper& paper) { pieces.push_back(paper); });
    Decoder decoder([&](const Command& command) { renderer.apply(command); });
    decoder.feed(stream);
    decoder.finish();
    renderer.finish();
    if (limit) *limit = renderer.limit();
    return pieces;
}

// Half-open ranges of the black dots of one band of rows.
struct Box {
    int x0, x1, y0, y1;
    bool operator==(const Box&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << "x [" << b.x0 << ", " << b.x1 << ") y [" << b.y0 << ", " << b.y1 << ")";
}

// One box per band of rows holding black dots.
inline std::vector<Box> bands(const Paper& paper) {
    std::vector<Box> boxes;
    bool inBand = false;
    for (int y = 0; y < paper.height(); ++y) {
        int first = -1, last = -1;
        for (int x = 0; x < paper.width(); ++x)
            if (paper.dot(x, y)) {
                if (first < 0) first = x;
                last = x;
            }
        if (first < 0) {
            inBand = false;
            continue;
        }
        if (!inBand) boxes.push_back({first, last + 1, y, y + 1});
        inBand = true;
        Box& b = boxes.back();
        b.x0 = std::min(b.x0, first);
        b.x1 = std::max(b.x1, last + 1);
        b.y1 = y + 1;
    }
    return boxes;
}

inline std::vector<std::uint8_t> cat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace escpos::testing
