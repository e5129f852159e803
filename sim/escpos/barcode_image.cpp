// Barcodes and QR codes encoded with libzint and drawn as printed dots.
#include "barcode_image.h"

#include <zint.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace escpos {
namespace {

constexpr std::size_t kMaxBarcodeData = 255;  // the most a count byte can announce
constexpr int kPlaceholderModulesPerByte = 11;

struct SymbolDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};
using Symbol = std::unique_ptr<zint_symbol, SymbolDeleter>;

bool allDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Encodes the data; null when libzint refuses it (warnings are accepted).
Symbol encode(int symbology, const std::string& data, int option1 = -1, int option2 = 0, int option3 = 0,
              const std::string& primary = {}) {
    Symbol symbol(ZBarcode_Create());
    if (!symbol || data.empty()) return nullptr;
    symbol->symbology = symbology;
    symbol->input_mode = DATA_MODE;
    if (option1 >= 0) symbol->option_1 = option1;
    symbol->option_2 = option2;
    symbol->option_3 = option3;
    if (!primary.empty()) primary.copy(symbol->primary, sizeof symbol->primary - 1);
    const int result = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(data.data()),
                                       static_cast<int>(data.size()));
    if (result >= ZINT_ERROR || symbol->rows < 1 || symbol->width < 1) return nullptr;
    return symbol;
}

bool moduleSet(const zint_symbol& symbol, int row, int column) {
    return ((symbol.encoded_data[row][column >> 3] >> (column & 7)) & 1) != 0;
}

// Each module of the symbol as a moduleWidth x rowHeight block of dots.
BarcodeImage draw(const zint_symbol& symbol, int moduleWidth, int rowHeight) {
    BarcodeImage image{Bitmap(symbol.width * moduleWidth, symbol.rows * rowHeight), {}};
    for (int row = 0; row < symbol.rows; ++row)
        for (int column = 0; column < symbol.width; ++column)
            if (moduleSet(symbol, row, column))
                image.bars.fill(column * moduleWidth, row * rowHeight, (column + 1) * moduleWidth,
                                (row + 1) * rowHeight);
    return image;
}

// The UPC-A number system, manufacturer and product digits folded into the
// six digits of a UPC-E symbol; empty when the number has no short form.
std::string compressUpcA(const std::string& upcA) {
    if (upcA[0] != '0' && upcA[0] != '1') return {};
    const std::string maker = upcA.substr(1, 5);
    const std::string product = upcA.substr(6, 5);
    std::string six;
    if ((maker.substr(2) == "000" || maker.substr(2) == "100" || maker.substr(2) == "200") &&
        product.substr(0, 2) == "00") {
        six = maker.substr(0, 2) + product.substr(2, 3) + maker[2];
    } else if (maker.substr(3) == "00" && product.substr(0, 3) == "000") {
        six = maker.substr(0, 3) + product.substr(3, 2) + "3";
    } else if (maker[4] == '0' && product.substr(0, 4) == "0000") {
        six = maker.substr(0, 4) + product[4] + "4";
    } else if (maker[4] != '0' && product.substr(0, 4) == "0000" && product[4] >= '5') {
        six = maker + product[4];
    } else {
        return {};
    }
    return upcA.substr(0, 1) + six;
}

// The symbology and data libzint takes for UPC-E data of 6-8 or 11-12 digits.
std::optional<std::pair<int, std::string>> upcE(const std::string& digits) {
    switch (digits.size()) {
        case 6:
        case 7:
            return std::pair{BARCODE_UPCE, digits};
        case 8:
            return std::pair{BARCODE_UPCE_CHK, digits};
        case 11:
        case 12: {
            std::string shortForm = compressUpcA(digits);
            if (shortForm.empty()) return std::nullopt;
            if (digits.size() == 12) return std::pair{BARCODE_UPCE_CHK, shortForm + digits[11]};
            return std::pair{BARCODE_UPCE, shortForm};
        }
        default:
            return std::nullopt;
    }
}

// Code 128 data as the printer takes it: "{A", "{B" and "{C" select a code set
// (set C bytes are two-digit values 0-99), "{S" shifts one character, "{{" is a
// brace, "{1"-"{4" are function characters (left out). libzint then picks its
// own code sets for the same characters.
std::optional<std::string> code128Text(const std::string& data) {
    std::string text;
    char set = 'B';
    for (std::size_t i = 0; i < data.size(); ++i) {
        auto c = static_cast<unsigned char>(data[i]);
        if (c == '{') {
            if (++i == data.size()) return std::nullopt;
            const char selector = data[i];
            if (selector == 'A' || selector == 'B' || selector == 'C') {
                set = selector;
                continue;
            }
            if (selector == 'S' || (selector >= '1' && selector <= '4')) continue;
            if (selector != '{') return std::nullopt;
        }
        if (set == 'C') {
            if (c > 99) return std::nullopt;
            text += static_cast<char>('0' + c / 10);
            text += static_cast<char>('0' + c % 10);
        } else if (c > 127) {
            return std::nullopt;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

std::optional<BarcodeImage> placeholder(int m, std::size_t length, const BarcodeSettings& settings) {
    const int width = static_cast<int>(length) * kPlaceholderModulesPerByte * settings.moduleWidth;
    const int height = settings.height;
    const int border = settings.moduleWidth;
    BarcodeImage image{Bitmap(width, height), "code " + std::to_string(m)};
    image.bars.fill(0, 0, width, std::min(border, height));
    image.bars.fill(0, std::max(height - border, 0), width, height);
    image.bars.fill(0, 0, std::min(border, width), height);
    image.bars.fill(std::max(width - border, 0), 0, width, height);
    return image;
}

}  // namespace

std::optional<BarcodeImage> drawBarcode(int m, std::span<const std::uint8_t> data, const BarcodeSettings& settings) {
    if (data.empty() || data.size() > kMaxBarcodeData) return std::nullopt;
    if (settings.moduleWidth < 1 || settings.moduleWidth > 6 || settings.height < 1 || settings.height > 255) {
        return std::nullopt;
    }
    const int code = m >= 65 ? m - 65 : m;
    if (m < 0 || (m > 8 && m < 65) || m > 75) return std::nullopt;
    if (m == 7 || m == 8 || m == 74 || m == 75) return placeholder(m, data.size(), settings);

    std::string text(data.begin(), data.end());
    int symbology = 0;
    switch (code) {
        case 0:  // UPC-A
            if (!allDigits(text) || (text.size() != 11 && text.size() != 12)) return std::nullopt;
            symbology = text.size() == 12 ? BARCODE_UPCA_CHK : BARCODE_UPCA;
            break;
        case 1: {  // UPC-E
            if (!allDigits(text)) return std::nullopt;
            auto upc = upcE(text);
            if (!upc) return std::nullopt;
            symbology = upc->first;
            text = upc->second;
            break;
        }
        case 2:  // EAN-13
            if (!allDigits(text) || (text.size() != 12 && text.size() != 13)) return std::nullopt;
            symbology = text.size() == 13 ? BARCODE_EANX_CHK : BARCODE_EANX;
            break;
        case 3:  // EAN-8
            if (!allDigits(text) || (text.size() != 7 && text.size() != 8)) return std::nullopt;
            symbology = text.size() == 8 ? BARCODE_EANX_CHK : BARCODE_EANX;
            break;
        case 4:  // Code 39: the start and stop characters are added by the encoder
            if (text.size() >= 2 && text.front() == '*' && text.back() == '*') text = text.substr(1, text.size() - 2);
            if (text.empty() || text.find('*') != std::string::npos) return std::nullopt;
            symbology = BARCODE_CODE39;
            break;
        case 5:  // Interleaved 2 of 5, in digit pairs
            if (!allDigits(text) || text.size() % 2 != 0) return std::nullopt;
            symbology = BARCODE_C25INTER;
            break;
        case 6:  // Codabar, start and stop characters A-D in the data
            std::transform(text.begin(), text.end(), text.begin(),
                           [](char c) { return c >= 'a' && c <= 'd' ? static_cast<char>(c - 'a' + 'A') : c; });
            symbology = BARCODE_CODABAR;
            break;
        case 7:  // Code 93
            if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 127; })) {
                return std::nullopt;
            }
            symbology = BARCODE_CODE93;
            break;
        case 8: {  // Code 128
            auto converted = code128Text(text);
            if (!converted) return std::nullopt;
            text = *converted;
            symbology = BARCODE_CODE128;
            break;
        }
        default:
            return std::nullopt;
    }
    Symbol symbol = encode(symbology, text);
    if (!symbol || symbol->rows != 1) return std::nullopt;
    BarcodeImage image = draw(*symbol, settings.moduleWidth, settings.height);
    image.hri = reinterpret_cast<const char*>(symbol->text);
    return image;
}

std::optional<BarcodeImage> drawQrCode(std::span<const std::uint8_t> data, int moduleSize, int errorLevel, int model) {
    if (data.empty() || moduleSize < 1 || moduleSize > 16 || errorLevel < 48 || errorLevel > 51) return std::nullopt;
    if (model != 49 && model != 50) return std::nullopt;
    Symbol symbol = encode(BARCODE_QRCODE, std::string(data.begin(), data.end()), errorLevel - 47);
    if (!symbol || symbol->rows != symbol->width) return std::nullopt;
    return draw(*symbol, moduleSize, moduleSize);
}

namespace {

// DataMatrix ECC 200 sizes in libzint's numbering: 1-24 square, 25-30 rectangles.
constexpr std::pair<int, int> kDataMatrixSizes[] = {
    {10, 10},   {12, 12},   {14, 14},   {16, 16},   {18, 18}, {20, 20}, {22, 22}, {24, 24}, {26, 26}, {32, 32},
    {36, 36},   {40, 40},   {44, 44},   {48, 48},   {52, 52}, {64, 64}, {72, 72}, {80, 80}, {88, 88}, {96, 96},
    {104, 104}, {120, 120}, {132, 132}, {144, 144}, {8, 18},  {8, 32},  {12, 26}, {12, 36}, {16, 36}, {16, 48},
};

// The MaxiCode symbol is 1.11 x 1.054 inches whatever its data: about 225
// dots wide at 8 dots per mm.
constexpr int kMaxiCodeWidth = 225;

std::string text(const std::vector<std::uint8_t>& data) { return {data.begin(), data.end()}; }

// The first of the symbol options that holds the data.
template <typename Options>
Symbol firstThatFits(int symbology, const std::string& data, Options options) {
    for (const auto& [option1, option2, option3] : options)
        if (Symbol symbol = encode(symbology, data, option1, option2, option3)) return symbol;
    return nullptr;
}

}  // namespace

std::optional<BarcodeImage> drawPdf417(const Pdf417Settings& s) {
    if (s.data.empty() || s.columns < 0 || s.columns > 30 || (s.rows != 0 && (s.rows < 3 || s.rows > 90)) ||
        s.moduleWidth < 2 || s.moduleWidth > 8 || s.rowHeight < 2 || s.rowHeight > 8)
        return std::nullopt;
    int level = s.level;
    if (s.ratio > 0) {
        // The smallest level whose 2^(level+1) codewords reach the ratio of the data codewords.
        const int wanted = static_cast<int>((s.data.size() + 1) * static_cast<std::size_t>(s.ratio) / 10);
        level = 0;
        while (level < 8 && (2 << level) < wanted) ++level;
    }
    Symbol symbol = encode(s.truncated ? BARCODE_PDF417COMP : BARCODE_PDF417, text(s.data), level, s.columns, s.rows);
    if (!symbol || (s.rows != 0 && symbol->rows != s.rows)) return std::nullopt;
    return draw(*symbol, s.moduleWidth, s.moduleWidth * s.rowHeight);
}

std::optional<BarcodeImage> drawMaxiCode(const MaxiCodeSettings& s) {
    if (s.data.empty() || s.mode < 2 || s.mode > 6) return std::nullopt;
    std::string data = text(s.data), primary;
    if (s.mode <= 3) {
        if (data.size() <= 15) return std::nullopt;
        primary = data.substr(0, 15);
        data = data.substr(15);
    }
    Symbol symbol = encode(BARCODE_MAXICODE, data, s.mode, 0, 0, primary);
    if (!symbol) return std::nullopt;
    // The hexagons and the bullseye drawn by libzint, scaled to the symbol's size.
    symbol->scale = 1.0F;
    symbol->show_hrt = 0;
    if (ZBarcode_Buffer(symbol.get(), 0) >= ZINT_ERROR || symbol->bitmap_width < 1) return std::nullopt;
    symbol->scale = static_cast<float>(kMaxiCodeWidth) / static_cast<float>(symbol->bitmap_width);
    if (ZBarcode_Buffer(symbol.get(), 0) >= ZINT_ERROR || symbol->bitmap_width < 1) return std::nullopt;
    BarcodeImage image{Bitmap(symbol->bitmap_width, symbol->bitmap_height), {}};
    for (int y = 0; y < symbol->bitmap_height; ++y)
        for (int x = 0; x < symbol->bitmap_width; ++x)
            if (symbol->bitmap[(static_cast<std::size_t>(y) * symbol->bitmap_width + x) * 3] < 128)
                image.bars.fill(x, y, x + 1, y + 1);
    return image;
}

std::optional<BarcodeImage> drawDataMatrix(const DataMatrixSettings& s) {
    if (s.data.empty() || s.moduleSize < 2 || s.moduleSize > 16) return std::nullopt;
    std::vector<std::tuple<int, int, int>> options;
    for (int i = 0; i < static_cast<int>(std::size(kDataMatrixSizes)); ++i) {
        const auto [rows, columns] = kDataMatrixSizes[i];
        const bool rectangle = rows != columns;
        if (rectangle != s.rectangle) continue;
        if ((s.rows == 0 || s.rows == rows) && (s.columns == 0 || s.columns == columns))
            options.emplace_back(-1, i + 1, 0);
    }
    Symbol symbol = firstThatFits(BARCODE_DATAMATRIX, text(s.data), options);
    if (!symbol) return std::nullopt;
    return draw(*symbol, s.moduleSize, s.moduleSize);
}

std::optional<BarcodeImage> drawAztec(const AztecSettings& s) {
    const int maxLayers = s.compact ? 4 : 32;
    if (s.data.empty() || s.moduleSize < 2 || s.moduleSize > 16 || s.layers < 0 || s.layers > maxLayers ||
        s.correction < 5 || s.correction > 95)
        return std::nullopt;
    // libzint's levels are 10, 23, 36 and 50 percent of the symbol (plus 3 codewords).
    const int level = s.correction <= 10 ? 1 : s.correction <= 23 ? 2 : s.correction <= 36 ? 3 : 4;
    // libzint numbers compact sizes 1-4 and full-range sizes 5-36. Given a
    // size it fills what the data leaves with error correction; without one
    // it picks the smallest symbol, compact when that fits, with the level
    // asked for.
    std::vector<std::tuple<int, int, int>> options;
    if (s.layers == 0)
        options.emplace_back(level, 0, 0);
    else
        options.emplace_back(-1, s.compact ? s.layers : s.layers + 4, 0);
    Symbol symbol = firstThatFits(BARCODE_AZTEC, text(s.data), options);
    if (!symbol) return std::nullopt;
    return draw(*symbol, s.moduleSize, s.moduleSize);
}

}  // namespace escpos
