// Barcodes and 2D codes: GS h, GS w, GS H and GS f set how barcodes look,
// GS k prints one; GS ( k keeps the QR settings and data and prints the code.
#include "barcode_image.h"
#include "command_arguments.h"
#include "command_handlers.h"

namespace escpos {
namespace {

BarcodeSettings& barcode(PrintEngine& engine) { return engine.state().symbols.barcode; }

void printBarcode(PrintEngine& engine, const Command& command) {
    const BarcodeSettings& settings = barcode(engine);
    if (const auto bars = drawBarcode(static_cast<int>(argument(command, 0)), command.payload, settings))
        engine.symbol(*bars, settings.hriPosition, settings.hriFont);
}

// GS ( k for QR codes: cn 49, then the function and its arguments. Model,
// module size and error level are kept; fn 80 stores the data, fn 81 prints it.
void twoDimensionalCode(PrintEngine& engine, const Command& command) {
    const auto payload = command.payload;
    if (payload.size() < 3 || payload[0] != 49) return;
    SymbolSettings& qr = engine.state().symbols;
    switch (payload[1]) {
        case 65:
            qr.qrModel = payload[2];
            break;
        case 67:
            qr.qrModuleSize = payload[2];
            break;
        case 69:
            qr.qrLevel = payload[2];
            break;
        case 80:
            qr.qrData.assign(payload.begin() + 3, payload.end());
            break;
        case 81:
            if (const auto code = drawQrCode(qr.qrData, qr.qrModuleSize, qr.qrLevel, qr.qrModel))
                engine.symbol(*code, 0, 0);
            break;
        default:
            break;
    }
}

}  // namespace

void addSymbolCommands(CommandHandlers& handlers) {
    handlers.add(Kind::kBarcodeHeight, [](PrintEngine& engine, const Command& command) {
        barcode(engine).height = static_cast<int>(argument(command, 0));
    });
    handlers.add(Kind::kBarcodeWidth, [](PrintEngine& engine, const Command& command) {
        barcode(engine).moduleWidth = static_cast<int>(argument(command, 0));
    });
    handlers.add(Kind::kHriPosition, [](PrintEngine& engine, const Command& command) {
        if (const auto position = selector(argument(command, 0), 4)) barcode(engine).hriPosition = *position;
    });
    handlers.add(Kind::kHriFont, [](PrintEngine& engine, const Command& command) {
        if (const auto font = selector(argument(command, 0), 2)) barcode(engine).hriFont = *font;
    });
    handlers.add(Kind::kBarcode, printBarcode);
    handlers.add(Kind::kTwoDimensionalCode, twoDimensionalCode);
}

}  // namespace escpos
