// Images: ESC * bit images on the line, GS v 0 raster images, the downloaded
// image of GS * and GS /, and the NV images of FS q and FS p.
#include "command_arguments.h"
#include "command_handlers.h"
#include "nv_store.h"

namespace escpos {
namespace {

void bitImage(PrintEngine& engine, const Command& command) {
    if (command.argumentCount < 2 || command.arguments[1] == 0) return;
    const BitImageMode mode = bitImageMode(command.arguments[0]);
    engine.placeBitImage(Bitmap::fromColumns(static_cast<int>(command.arguments[1]), mode.columnBytes, command.payload),
                         mode.scaleX);
}

void rasterImage(PrintEngine& engine, const Command& command) {
    const auto scale = imageScale(argument(command, 0));
    if (!scale) return;
    engine.printBlock(Bitmap::fromRows(argument(command, 1), static_cast<int>(argument(command, 2)), command.payload),
                      scale->x, scale->y);
}

void printNvImage(PrintEngine& engine, const Command& command) {
    const auto scale = imageScale(argument(command, 1));
    const std::uint32_t n = argument(command, 0);
    const auto& images = engine.nvImages();
    if (scale && n >= 1 && n <= images.size()) engine.printBlock(images[n - 1], scale->x, scale->y);
}

}  // namespace

void addImageCommands(CommandHandlers& handlers) {
    handlers.add(Kind::kBitImage, bitImage);
    handlers.add(Kind::kRasterImage, rasterImage);
    handlers.add(Kind::kDefineDownloadImage, [](PrintEngine& engine, const Command& command) {
        engine.state().download =
            Bitmap::fromColumns(static_cast<int>(argument(command, 0) * 8), argument(command, 1), command.payload);
    });
    handlers.add(Kind::kPrintDownloadImage, [](PrintEngine& engine, const Command& command) {
        if (const auto scale = imageScale(argument(command, 0)))
            engine.printBlock(engine.state().download, scale->x, scale->y);
    });
    handlers.add(Kind::kDefineNvImages, [](PrintEngine& engine, const Command& command) {
        auto nv = parseNvImages(argument(command, 0), command.payload);
        engine.defineNvImages(nv ? std::move(*nv) : NvImages{});
    });
    handlers.add(Kind::kPrintNvImage, printNvImage);
}

}  // namespace escpos
