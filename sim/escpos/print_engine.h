// The printing engine the command handlers drive: the print state, the paper
// being printed and the pieces given out, the fonts and the NV images, and
// the steps every family of commands is made of (collecting a line and
// printing it, feeding, cutting, printing an image or a symbol on rows of its
// own, page mode). Internal to the renderer. No platform code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <span>
#include <vector>

#include "barcode_image.h"
#include "bitmap.h"
#include "character_sets.h"
#include "graphics_memory.h"
#include "nv_store.h"
#include "print_state.h"
#include "renderer_options.h"
#include "text_font.h"

namespace escpos {

class PrintEngine {
public:
    PrintEngine(RendererOptions options, PieceSink sink);

    const RendererOptions& options() const { return options_; }
    PrintState& state() { return state_; }
    const PrintState& state() const { return state_; }
    // ESC @: the print state as when the printer was switched on; the line
    // waiting and the page are discarded. The paper, the NV images and the
    // fonts stay.
    void reset();

    // The paper and the limits.
    int pieces() const { return pieces_; }
    const Paper& paper() const { return paper_; }
    int position() const { return y_; }
    Limit limit() const { return limit_; }
    // Why the command being applied printed nothing it would have printed:
    // "not printed: ..."; empty when it printed as asked. Cleared for each command.
    const std::string& note() const { return note_; }
    void setNote(std::string note) { note_ = std::move(note); }
    // Called after each command: a command that reached past the maximum
    // height stops the engine there.
    void endCommand();
    void finish();

    // Lines. GS L and GS W shape standard mode's lines; a page's lines span its area.
    int areaLeft() const;
    int areaWidth() const;
    bool lineEmpty() const { return state_.line.items.empty(); }
    // An ESC * image at the print position: nothing when the position is past
    // the area's end; no wrapping.
    void placeBitImage(Bitmap image, int scaleX);
    void printLine(int feed);  // prints the pending line and feeds max(feed, its height)
    int drawLine();            // draws the pending line where it stands; returns its height
    void clearLine();          // the pending line is dropped
    void feed(int dots);
    void cut();
    void horizontalTab();
    // An image printed on rows of its own from the left end of the paper.
    void printBlock(const Bitmap& image, int scaleX, int scaleY);
    // A barcode or QR code on rows of its own, justified like a line, with
    // its human-readable text above, below or both (hriPosition 1, 2, 3).
    void symbol(const BarcodeImage& symbol, int hriPosition, int hriFont);

    // Text (characters.cpp).
    void text(std::span<const std::uint8_t> bytes);
    // A multi-byte character cut short prints as what the printer prints for it.
    void brokenSequence();

    // NV images, kept across ESC @ and, with a store, across runs.
    const std::vector<Bitmap>& nvImages() const { return nv_.images; }
    void defineNvImages(NvImages nv);
    // The download and NV graphics of GS ( L, kept across ESC @; the NV
    // graphics go into the store with the NV images (saveNvGraphics()).
    GraphicsMemory& graphics() { return graphics_; }
    void saveNvGraphics() const;

    // Page mode (page_mode.cpp).
    void enterPageMode();
    void leavePageMode();  // the page's data is discarded
    void printPage();
    // Draws what is pending where it stands and starts the area's first line.
    void restartPage();
    void cancelPage();

private:
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
    using GlyphSource = std::function<std::shared_ptr<const Bitmap>(int width, int height)>;

    void singleByteCharacter(std::uint8_t code);
    void chineseCharacter(std::span<const std::uint8_t> sequence);  // a complete or broken sequence
    void narrowCharacter(char32_t unicode);                         // in a single-byte cell, in the single-byte font
    void wideCharacter(char32_t unicode);                           // in a Chinese cell; 0 gives the box
    CellLayout chineseLayout() const;
    void character(const GlyphSource& glyphOf, const CellLayout& layout);

    // Called before anything goes onto the paper: false once the engine has
    // stopped, or when the piece would be one more than the maximum (which
    // stops it). Marks the piece as used.
    bool usePaper();
    void stopAtLength();  // gives out the piece as far as its maximum height, then stops
    void givePieceOut(bool holdsPrint);
    // The image's first `columns` columns at (x, y) of the line's frame.
    void drawAt(const Bitmap& image, int x, int y, int scaleX, int scaleY, int columns);
    void drawOnPage(const Bitmap& image, int x, int y, int scaleX, int scaleY, int columns);
    void plot(int x, int y);  // one dot of the current line, on the paper or on the page
    int lineTop() const { return state_.page.on ? state_.page.y : y_; }

    RendererOptions options_;
    PieceSink sink_;
    PrintState state_;
    Paper paper_;
    bool used_ = false;  // something was printed or fed on this piece
    int y_ = 0;          // top of the current line
    int pieces_ = 0;
    bool overran_ = false;  // the current command reached past the maximum height
    Limit limit_ = Limit::kNone;
    std::string note_;
    std::shared_ptr<TextFont> font_;
    std::shared_ptr<TextFont> chineseFont_;
    CharacterSets characterSets_;
    GraphicsMemory graphics_;  // before nv_: the store fills both
    NvImages nv_;
};

}  // namespace escpos
