// Barcodes and 2D codes: GS h, GS w, GS H and GS f set how barcodes look,
// GS k prints one; GS ( k keeps the settings and data of each 2D symbol (QR
// code, PDF417, MaxiCode, DataMatrix, Aztec) and prints it.
#include <optional>
#include <span>
#include <string>

#include "barcode_image.h"
#include "command_arguments.h"
#include "command_handlers.h"

namespace escpos {
namespace {

BarcodeSettings& barcode(PrintEngine& engine) { return engine.state().symbols.barcode; }

// A symbol wider than the print area is not printed, as printers do; the
// listing is told why.
bool fits(PrintEngine& engine, const BarcodeImage& image) {
    const int width = image.bars.width(), area = engine.areaWidth();
    if (width <= area) return true;
    engine.setNote("not printed: " + std::to_string(width) + " dots wide, wider than the " + std::to_string(area) +
                   "-dot print area");
    return false;
}

void printBarcode(PrintEngine& engine, const Command& command) {
    const BarcodeSettings& settings = barcode(engine);
    const auto bars = drawBarcode(static_cast<int>(argument(command, 0)), command.payload, settings);
    if (bars && fits(engine, *bars)) engine.symbol(*bars, settings.hriPosition, settings.hriFont);
}

// Byte i of the payload as a number or digit selector below `count`.
std::optional<int> parameter(std::span<const std::uint8_t> payload, std::size_t i, int count) {
    return i < payload.size() ? selector(payload[i], count) : std::nullopt;
}

std::optional<int> byteAt(std::span<const std::uint8_t> payload, std::size_t i) {
    return i < payload.size() ? std::optional<int>(payload[i]) : std::nullopt;
}

void print(PrintEngine& engine, const std::optional<BarcodeImage>& image) {
    if (image && fits(engine, *image)) engine.symbol(*image, 0, 0);
}

// cn 49: model (65), module size (67), error level (69), store (80), print (81).
void qrCode(PrintEngine& engine, std::uint8_t fn, std::span<const std::uint8_t> p) {
    SymbolSettings& qr = engine.state().symbols;
    if (p.size() < 3) return;
    switch (fn) {
        case 65:
            qr.qrModel = p[2];
            break;
        case 67:
            qr.qrModuleSize = p[2];
            break;
        case 69:
            qr.qrLevel = p[2];
            break;
        case 80:
            qr.qrData.assign(p.begin() + 3, p.end());
            break;
        case 81:
            print(engine, drawQrCode(qr.qrData, qr.qrModuleSize, qr.qrLevel, qr.qrModel));
            break;
        default:
            break;
    }
}

// cn 48: columns (65), rows (66), module width (67), row height (68), error
// correction as a level 48-56 or a ratio (69 m n), truncated (70), store and print.
void pdf417(PrintEngine& engine, std::uint8_t fn, std::span<const std::uint8_t> p) {
    Pdf417Settings& s = engine.state().symbols.pdf417;
    switch (fn) {
        case 65:
            if (const auto n = byteAt(p, 2)) s.columns = *n;
            break;
        case 66:
            if (const auto n = byteAt(p, 2)) s.rows = *n;
            break;
        case 67:
            if (const auto n = byteAt(p, 2)) s.moduleWidth = *n;
            break;
        case 68:
            if (const auto n = byteAt(p, 2)) s.rowHeight = *n;
            break;
        case 69:
            if (p.size() == 4 && p[2] == 48 && p[3] >= 48 && p[3] <= 56) {
                s.level = p[3] - 48;
                s.ratio = 0;
            } else if (p.size() == 4 && p[2] == 49 && p[3] >= 1 && p[3] <= 40) {
                s.ratio = p[3];
            }
            break;
        case 70:
            if (const auto m = parameter(p, 2, 2)) s.truncated = *m == 1;
            break;
        case 80:
            if (p.size() >= 3) s.data.assign(p.begin() + 3, p.end());
            break;
        case 81:
            print(engine, drawPdf417(s));
            break;
        default:
            break;
    }
}

// cn 50: mode 2-6 (65), store and print.
void maxiCode(PrintEngine& engine, std::uint8_t fn, std::span<const std::uint8_t> p) {
    MaxiCodeSettings& s = engine.state().symbols.maxiCode;
    if (fn == 65) {
        if (const auto n = parameter(p, 2, 7)) s.mode = *n;
    } else if (fn == 80 && p.size() >= 3) {
        s.data.assign(p.begin() + 3, p.end());
    } else if (fn == 81) {
        print(engine, drawMaxiCode(s));
    }
}

// cn 54: type and size (66 m d1 d2: square or rectangle, d1 columns and d2
// rows, 0 automatic; a square's size is d1), module size (67), store and print.
void dataMatrix(PrintEngine& engine, std::uint8_t fn, std::span<const std::uint8_t> p) {
    DataMatrixSettings& s = engine.state().symbols.dataMatrix;
    if (fn == 66 && p.size() == 5) {
        if (const auto m = parameter(p, 2, 2)) {
            s.rectangle = *m == 1;
            s.columns = p[3];
            s.rows = s.rectangle ? p[4] : p[3];
        }
    } else if (fn == 67) {
        if (const auto n = byteAt(p, 2)) s.moduleSize = *n;
    } else if (fn == 80 && p.size() >= 3) {
        s.data.assign(p.begin() + 3, p.end());
    } else if (fn == 81) {
        print(engine, drawDataMatrix(s));
    }
}

// cn 53: mode and layers (66 n1 n2: full range or compact, 0 automatic),
// module size (67), error correction in percent (69), store and print.
void aztec(PrintEngine& engine, std::uint8_t fn, std::span<const std::uint8_t> p) {
    AztecSettings& s = engine.state().symbols.aztec;
    if (fn == 66 && p.size() == 4) {
        if (const auto m = parameter(p, 2, 2)) {
            s.compact = *m == 1;
            s.layers = p[3];
        }
    } else if (fn == 67) {
        if (const auto n = byteAt(p, 2)) s.moduleSize = *n;
    } else if (fn == 69) {
        if (const auto n = byteAt(p, 2)) s.correction = *n;
    } else if (fn == 80 && p.size() >= 3) {
        s.data.assign(p.begin() + 3, p.end());
    } else if (fn == 81) {
        print(engine, drawAztec(s));
    }
}

// GS ( k: cn, fn and the function's parameters.
void twoDimensionalCode(PrintEngine& engine, const Command& command) {
    const auto p = command.payload;
    if (p.size() < 2) return;
    switch (p[0]) {
        case 48:
            pdf417(engine, p[1], p);
            break;
        case 49:
            qrCode(engine, p[1], p);
            break;
        case 50:
            maxiCode(engine, p[1], p);
            break;
        case 53:
            aztec(engine, p[1], p);
            break;
        case 54:
            dataMatrix(engine, p[1], p);
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
