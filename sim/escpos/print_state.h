// What ESC @ sets back: the print modes, the layout of lines, the line being
// collected, the user-defined characters, the downloaded image, the barcode
// and QR settings, the graphics print buffer and page mode. It is one value,
// so that initialising the printer is one assignment and nothing added here
// can outlive ESC @. What outlives it (the paper, the NV images, the download
// and NV graphics, the fonts) is kept by the engine.
// No platform code.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "barcode_image.h"
#include "bitmap.h"
#include "page_mode.h"

namespace escpos {

constexpr int kDefaultLineSpacing = 30;
constexpr int kFontAWidth = 12, kFontAHeight = 24, kFontBWidth = 9, kFontBHeight = 17;
constexpr int kChineseCellSize = 24;       // FS ( A font A
constexpr int kChineseFontBCellSize = 16;  // FS ( A font B

// ESC !, GS !, ESC M, ESC E, ESC G, ESC -, ESC {, ESC V, GS B and ESC SP.
struct TextMode {
    bool fontB = false;
    bool emphasized = false;
    bool doubleStrike = false;
    int underline = 0;
    bool upsideDown = false;
    bool rotated = false;
    bool reverse = false;
    int scaleX = 1;
    int scaleY = 1;
    int rightSpacing = 0;
};

// FS !, FS -, FS W, FS S and FS ( A.
struct ChineseMode {
    int cellSize = kChineseCellSize;
    int scaleX = 1;  // FS ! double width, FS W quadruple
    int scaleY = 1;
    int underline = 0;
    int leftSpace = 0;
    int rightSpace = 0;
};

// How bytes are read as characters, and the characters the host defined.
struct CharacterState {
    std::uint32_t codePage = 0;                     // ESC t
    bool chinese = false;                           // FS &: bytes 81h-FEh start multi-byte characters
    bool utf8 = false;                              // FS ( C: UTF-8 whatever the printer's character set
    std::vector<std::uint8_t> pendingChinese;       // the bytes so far of a multi-byte character
    bool userCharactersOn = false;                  // ESC %
    std::map<std::uint8_t, Bitmap> userCharacters;  // ESC &, by character code
    std::map<std::uint16_t, Bitmap> userChinese;    // FS 2, by the two bytes of the code
};

// Where lines go: spacing, justification, the print area and the tab stops.
struct LineLayout {
    int spacing = kDefaultLineSpacing;
    int justification = 0;  // 0 left, 1 centre, 2 right
    int leftMargin = 0;
    int areaWidth = 0;      // GS W; 0 for the rest of the paper
    std::vector<int> tabs;  // tab stops in dots from the area's left end
};

// Something waiting on the line: x from the left end of the print area;
// drawn with its bottom on the bottom of the line. A character is its glyph
// as the font gives it (shared with the font's cache) standing in a cell
// `width` dots wide; only turned, upside-down and reversed characters are
// made into a picture of their own.
struct Placed {
    std::shared_ptr<const Bitmap> image;
    int x;
    int scaleX;
    int scaleY = 1;
    int underline = 0;  // dot rows of underline along the cell's bottom
    int width = 0;      // the cell's width in image dots, before scaling
    int offset = 0;     // the image's first column within the cell
    bool bold = false;  // the image drawn again one dot to the right, within the cell
};

// The line being collected until it is printed.
struct Line {
    std::vector<Placed> items;
    int x = 0;  // print position within the line
    int height = 0;
    bool upsideDown = false;
};

// GS h, GS w, GS H, GS f and the settings and data of each 2D symbol of GS ( k.
struct SymbolSettings {
    BarcodeSettings barcode;
    int qrModel = 50;
    int qrModuleSize = 3;
    int qrLevel = 48;
    std::vector<std::uint8_t> qrData;  // the symbol stored by GS ( k fn 80
    Pdf417Settings pdf417;
    MaxiCodeSettings maxiCode;
    DataMatrixSettings dataMatrix;
    AztecSettings aztec;
};

// The print buffer of GS ( L functions 112 and 113, printed by function 50,
// and the reference dot density of function 49 (50: 180 dpi, 51: 360 dpi).
struct GraphicsBuffer {
    Bitmap image;
    int scaleX = 1;
    int scaleY = 1;
    int density = 51;
};

// Page mode: lines are laid out in the frame of the print area and drawn onto
// the page, which goes onto the paper when printed.
struct PageState {
    bool on = false;
    PageFrame frame;  // ESC W and ESC T, also kept in standard mode for the next page
    Paper page;       // what the page holds, from its top row
    int y = 0;        // top of the current line in the frame
    int length = 0;   // rows down to the bottom of the lowest area drawn in
};

struct PrintState {
    // The state of a printer just initialised, for paper `paperWidth` wide
    // and pieces at most `maxHeight` long.
    PrintState(int paperWidth, int maxHeight);

    TextMode text;
    ChineseMode chinese;
    CharacterState characters;
    LineLayout layout;
    Line line;
    Bitmap download;  // GS *
    SymbolSettings symbols;
    GraphicsBuffer graphics;
    PageState page;
};

}  // namespace escpos
