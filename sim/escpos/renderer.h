// The receipt renderer: printer state driven by decoded commands, drawing the
// printed dots on paper that grows downwards, one piece per cut. One PNG pixel
// is one dot; only black dots are drawn on white paper. Text (single-byte code
// pages, Chinese text in the printer's character set, user-defined characters) in its print modes,
// sizes and positions, images (bit images, raster images, downloaded and NV
// images), barcodes and QR codes, line spacing, feeds, cuts and page mode are
// handled; the other commands leave the paper unchanged. No platform code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "barcode_image.h"
#include "character_sets.h"
#include "escpos_decoder.h"
#include "page_mode.h"
#include "text_font.h"

namespace escpos {

// One piece of paper: `width` dots wide, `height` dot rows long.
class Paper {
public:
    explicit Paper(int width = 576) : width_(width), stride_((static_cast<std::size_t>(width) + 7) / 8) {}

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return height_ == 0; }
    bool dot(int x, int y) const;
    // Blackens one dot, lengthening the paper to reach row y; dots right of
    // the width are dropped.
    void set(int x, int y);
    void extendTo(int height);
    // Blackens the black dots of a packed row (see row()) on row y.
    void addRow(int y, const std::uint8_t* bits);
    // Whitens the dots of columns [x0, x1) on rows [y0, y1), within the paper.
    void erase(int x0, int y0, int x1, int y1);
    // One row packed 8 dots a byte, the leftmost dot in bit 7, 1 for black.
    const std::uint8_t* row(int y) const { return bits_.data() + static_cast<std::size_t>(y) * stride_; }

private:
    int width_;
    std::size_t stride_;
    int height_ = 0;
    std::vector<std::uint8_t> bits_;
};

// A black-and-white image kept in the bytes it arrived in: in columns (each
// column `stride` bytes top to bottom, bit 7 the top dot) or in rows (each row
// `stride` bytes left to right, bit 7 the leftmost dot). 1 bits are black.
struct Image {
    enum class Layout : std::uint8_t { kColumns, kRows };
    int width = 0;
    int height = 0;
    Layout layout = Layout::kColumns;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bytes;

    bool dot(int x, int y) const;
};

struct RendererOptions {
    int width = 576;
    std::string nvStore;                             // file keeping NV images; empty: in memory only
    int maxHeight = 20000;                           // dot rows a piece may reach (see Renderer::limit())
    FontFile latinFont = TextFont::latinFont();      // single-byte text
    FontFile chineseFont = TextFont::chineseFont();  // Chinese text, and single-byte characters the first lacks
    int maxPieces = 1000;                            // pieces the renderer gives out (see Renderer::limit())
    Charset charset = Charset::kGb18030;             // how multi-byte text is read (see Renderer::text())
};

// The renderer stops for good at the first limit a stream reaches: printing
// that would start piece maxPieces + 1, or that would take a piece past
// maxHeight rows. The piece cut short at its maximum height still goes to the
// sink with what it held up to there; every command after that is ignored.
enum class Limit : std::uint8_t { kNone, kPieces, kLength };

class Renderer {
public:
    using PieceSink = std::function<void(const Paper&)>;

    Renderer(RendererOptions options, PieceSink sink);

    void apply(const Command& command);
    // The end of the stream: the pending line is printed and the last piece,
    // if anything was printed or fed on it, goes to the sink.
    void finish();

    int pieces() const { return pieces_; }
    // The piece being printed, as far as it has been printed: the pending
    // line is not on it until it is printed.
    const Paper& pieceInProgress() const { return paper_; }
    // The dot row of that piece where the next line starts.
    int position() const { return y_; }
    // The limit that stopped the renderer, or kNone.
    Limit limit() const { return limit_; }

private:
    void applyCommand(const Command& command);
    // Called before anything goes onto the paper: false once the renderer has
    // stopped, or when the piece would be one more than the maximum (which
    // stops it). Marks the piece as used.
    bool usePaper();
    void stopAtLength();  // gives out the piece as far as its maximum height, then stops
    void givePieceOut(bool holdsPrint);
    void reset();
    void printLine(int feed);  // prints the pending line and feeds max(feed, its height)
    int drawLine();            // draws the pending line where it stands; returns its height
    void feed(int dots);
    void cut();
    // Something waiting on the line: x from the left end of the print area;
    // drawn with its bottom on the bottom of the line.
    struct Placed {
        Image image;
        int x;
        int scaleX;
        int scaleY = 1;
        int underline = 0;  // dot rows of underline along the cell's bottom
    };
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

    // The size and spacing of one character cell and how it is printed.
    struct CellLayout {
        int width;
        int height;
        int leftSpace;
        int rightSpace;
        int scaleX;
        int scaleY;
        int underline;
    };
    using GlyphSource = std::function<const GlyphCell&(int width, int height)>;

    void text(std::span<const std::uint8_t> bytes);
    void singleByteCharacter(std::uint8_t code);
    void chineseCharacter(std::span<const std::uint8_t> sequence);  // a complete or broken sequence
    void brokenSequence();                   // prints the pending bytes as what the printer prints for them
    void narrowCharacter(char32_t unicode);  // in a single-byte cell, in the single-byte font
    void wideCharacter(char32_t unicode);    // in a Chinese cell; 0 gives the box
    CellLayout chineseLayout() const;
    void character(const GlyphSource& glyphOf, const CellLayout& layout);
    void defineUserCharacters(const Command& command);
    void place(Placed placed, int width, int height);  // wraps first if the item does not fit
    int areaLeft() const;
    int areaWidth() const;
    void horizontalTab();

    void symbol(const BarcodeImage& bars, int hriPosition, int hriFont);
    void twoDimensionalCode(std::span<const std::uint8_t> payload);
    void drawAt(const Image& image, int x, int y, int scaleX, int scaleY);
    void printBlock(const Image& image, int scaleX, int scaleY);  // an image printed on its own rows
    void bitImage(const Command& command);
    void loadNvStore();
    void saveNvStore() const;

    // Page mode (page_mode.cpp): lines are laid out in the frame of the print
    // area and drawn onto the page, which goes onto the paper when printed.
    void pageCommand(const Command& command);
    void leavePageMode();  // the page's data is discarded
    void printPage();
    void drawOnPage(const Image& image, int x, int y, int scaleX, int scaleY);
    void plot(int x, int y);  // one dot of the current line, on the paper or on the page
    int lineTop() const { return pageMode_ ? pageY_ : y_; }

    RendererOptions options_;
    PieceSink sink_;
    Paper paper_;
    bool used_ = false;  // something was printed or fed on this piece
    int y_ = 0;          // top of the current line
    int x_ = 0;          // print position within the line
    int lineHeight_ = 0;
    std::vector<Placed> line_;  // bit images waiting for the line to be printed
    int lineSpacing_ = 30;
    TextMode mode_;
    int justification_ = 0;  // 0 left, 1 centre, 2 right
    int leftMargin_ = 0;
    int areaWidth_ = 0;  // GS W; 0 for the rest of the paper
    bool lineUpsideDown_ = false;
    std::vector<int> tabs_;  // tab stops in dots from the area's left end
    std::unique_ptr<TextFont> font_;
    std::unique_ptr<TextFont> chineseFont_;
    CharacterSets characterSets_;
    std::uint32_t codePage_ = 0;
    bool chinese_ = false;                      // FS &: bytes 81h-FEh start multi-byte characters
    std::vector<std::uint8_t> pendingChinese_;  // the bytes so far of a multi-byte character
    struct ChineseMode {
        int scaleX = 1;  // FS ! double width, FS W quadruple
        int scaleY = 1;
        int underline = 0;
        int leftSpace = 0;
        int rightSpace = 0;
    } chineseMode_;
    bool userCharactersOn_ = false;                     // ESC %
    std::map<std::uint8_t, GlyphCell> userCharacters_;  // ESC &, by character code
    std::map<std::uint16_t, GlyphCell> userChinese_;    // FS 2, by the two bytes of the code
    GlyphCell scratchGlyph_;                            // a user-defined glyph scaled to a cell
    Image download_;
    BarcodeSettings barcode_;
    int qrModel_ = 50;
    int qrModuleSize_ = 3;
    int qrLevel_ = 48;
    std::vector<std::uint8_t> qrData_;  // the symbol stored by GS ( k fn 80
    std::vector<Image> nvImages_;
    std::vector<std::uint8_t> nvDefinition_;  // the last FS q payload, as stored
    int pieces_ = 0;
    bool overran_ = false;  // the current command reached past the maximum height
    Limit limit_ = Limit::kNone;
    bool pageMode_ = false;
    PageFrame frame_;     // ESC W and ESC T, also kept in standard mode for the next page
    Paper page_;          // what the page holds, from its top row
    int pageY_ = 0;       // top of the current line in the frame
    int pageLength_ = 0;  // rows down to the bottom of the lowest area drawn in
};

// Writes the paper as a 1-bit greyscale PNG; false if the file cannot be written.
bool writePng(const Paper& paper, const std::string& path);

}  // namespace escpos
