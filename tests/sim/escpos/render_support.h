// A whole byte stream decoded and rendered, for the renderer's tests.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "renderer.h"

namespace escpos::testing {

// The pieces of paper the stream prints; NV images in memory only unless the
// options name a store.
inline std::vector<Paper> renderPieces(std::span<const std::uint8_t> stream,
                                       RendererOptions options = {576, "", 100000}, int* dropped = nullptr) {
    std::vector<Paper> pieces;
    Renderer renderer(std::move(options), [&](const Paper& paper) { pieces.push_back(paper); });
    Decoder decoder([&](const Command& command) { renderer.apply(command); });
    decoder.feed(stream);
    decoder.finish();
    renderer.finish();
    if (dropped) *dropped = renderer.dropped();
    return pieces;
}

}  // namespace escpos::testing
