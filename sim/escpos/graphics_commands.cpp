// Graphics: the functions of GS ( L and GS 8 L. Functions 112 and 113 store a
// raster or column graphic in the print buffer and function 50 prints it as
// a block of its own rows from the left end of the paper, as GS v 0 does; a
// second store before printing replaces the first. Function 49 records the
// reference dot density; graphics are drawn one dot per dot at either
// density. Download graphics (fn 80-85) live until the renderer ends, NV
// graphics (fn 64-69) in the NV store; both outlive ESC @. The memories'
// bookkeeping, which the virtual printer's answers share, is
// GraphicsMemory::apply(); the queries draw nothing.
#include "command_handlers.h"
#include "graphics_memory.h"

namespace escpos {
namespace {

Bitmap imageOf(const Graphic& g) { return Bitmap::fromRows(g.rowBytes(), g.height, g.rows).cropped(g.width, g.height); }

void printStored(PrintEngine& engine, const GraphicsStore& store, std::span<const std::uint8_t> p) {
    if (p.size() != 6) return;
    const auto key = graphicKey(p[2], p[3]);
    const Graphic* g = key ? store.find(*key) : nullptr;
    if (!g || (p[4] != 1 && p[4] != 2) || (p[5] != 1 && p[5] != 2)) return;
    engine.printBlock(imageOf(*g), p[4], p[5]);
}

void graphics(PrintEngine& engine, const Command& command) {
    const auto p = command.payload;
    if (p.size() < 2) return;
    GraphicsBuffer& buffer = engine.state().graphics;
    switch (p[1]) {
        case 49:
            if (p.size() == 4 && p[2] == p[3] && (p[2] == 50 || p[2] == 51)) buffer.density = p[2];
            return;
        case 50:
            if (p.size() != 2) return;
            engine.printBlock(buffer.image, buffer.scaleX, buffer.scaleY);
            buffer.image = Bitmap();
            return;
        case 69:
            printStored(engine, engine.graphics().nv, p);
            return;
        case 85:
            printStored(engine, engine.graphics().download, p);
            return;
        case 112:
        case 113:
            if (auto stored = bufferGraphic(p)) {
                buffer.image = imageOf(stored->graphic);
                buffer.scaleX = stored->scaleX;
                buffer.scaleY = stored->scaleY;
            }
            return;
        default:
            if (engine.graphics().apply(p)) engine.saveNvGraphics();
            return;
    }
}

}  // namespace

void addGraphicsCommands(CommandHandlers& handlers) {
    handlers.add(Kind::kGraphics, graphics);
    handlers.add(Kind::kLargeGraphics, graphics);
}

}  // namespace escpos
