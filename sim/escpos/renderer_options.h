// What a renderer is made with, and the limits that stop it. No platform code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bitmap.h"
#include "character_sets.h"
#include "text_font.h"

namespace escpos {

struct RendererOptions {
    int width = 576;
    std::string nvStore;                             // file keeping NV images; empty: in memory only
    int maxHeight = 20000;                           // dot rows a piece may reach (see Renderer::limit())
    FontFile latinFont = TextFont::latinFont();      // single-byte text
    FontFile chineseFont = TextFont::chineseFont();  // Chinese text, and single-byte characters the first lacks
    int maxPieces = 1000;                            // pieces the renderer gives out (see Renderer::limit())
    Charset charset = Charset::kGb18030;             // how multi-byte text is read (see PrintEngine::text())
};

// The renderer stops for good at the first limit a stream reaches: printing
// that would start piece maxPieces + 1, or that would take a piece past
// maxHeight rows. The piece cut short at its maximum height still goes to the
// sink with what it held up to there; every command after that is ignored.
enum class Limit : std::uint8_t { kNone, kPieces, kLength };

using PieceSink = std::function<void(const Paper&)>;

}  // namespace escpos
