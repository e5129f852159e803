// The receipt renderer: printer state driven by decoded commands, drawing the
// printed dots on paper that grows downwards, one piece per cut. One PNG pixel
// is one dot; only black dots are drawn on white paper. Text (single-byte code
// pages, Chinese text in the printer's character set, user-defined
// characters) in its print modes, sizes and positions, images (bit images,
// raster images, downloaded and NV images), barcodes and QR codes, line
// spacing, feeds, cuts and page mode are handled, each family by its own
// handlers (see command_handlers.h); the other commands leave the paper
// unchanged. No platform code.
#pragma once

#include "bitmap.h"
#include "command_handlers.h"
#include "escpos_decoder.h"
#include "png_output.h"
#include "print_engine.h"
#include "renderer_options.h"

namespace escpos {

class Renderer {
public:
    using PieceSink = escpos::PieceSink;

    Renderer(RendererOptions options, PieceSink sink);

    void apply(const Command& command);
    // The end of the stream: the pending line is printed and the last piece,
    // if anything was printed or fed on it, goes to the sink.
    void finish() { engine_.finish(); }

    int pieces() const { return engine_.pieces(); }
    // The piece being printed, as far as it has been printed: the pending
    // line is not on it until it is printed.
    const Paper& pieceInProgress() const { return engine_.paper(); }
    // The dot row of that piece where the next line starts.
    int position() const { return engine_.position(); }
    // The limit that stopped the renderer, or kNone.
    Limit limit() const { return engine_.limit(); }
    // Why the command last applied printed nothing, for the listing: a
    // barcode or 2D symbol wider than the print area ("not printed: 765 dots
    // wide, wider than the 576-dot print area"); empty when it printed.
    const std::string& note() const { return engine_.note(); }

private:
    PrintEngine engine_;
    const CommandHandlers& handlers_;
};

}  // namespace escpos
