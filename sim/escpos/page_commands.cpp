// Page mode: ESC L and ESC S enter and leave it, ESC W and ESC T set the
// area and its direction, GS $ and GS \ the vertical position, FF and ESC FF
// print the page, CAN clears it.
//
// The vertical position in the frame is the top of the line: characters and
// images stand on the line's bottom, as in standard mode, and LF, ESC J and
// ESC d move the position down the frame. ESC W and ESC T given in standard
// mode are kept for the next page.
#include <cstdint>

#include "command_handlers.h"
#include "page_mode.h"

namespace escpos {
namespace {

int arg(const Command& command, std::size_t i) { return static_cast<int>(argument(command, i)); }

// A new area or direction starts at its first line; what is pending on the
// line is drawn where it stands first.
void pageArea(PrintEngine& engine, const Command& command) {
    PageState& page = engine.state().page;
    const RendererOptions& options = engine.options();
    if (const auto area = clipArea(page.frame, arg(command, 0), arg(command, 1), arg(command, 2), arg(command, 3),
                                   options.width, options.maxHeight)) {
        engine.restartPage();
        page.frame = *area;
    }
}

void pageDirectionCommand(PrintEngine& engine, const Command& command) {
    if (const auto direction = pageDirection(argument(command, 0))) {
        engine.restartPage();
        engine.state().page.frame.direction = *direction;
    }
}

// The pending line is drawn where it stands before the position moves.
void verticalPosition(PrintEngine& engine, const Command& command) {
    PageState& page = engine.state().page;
    if (!page.on) return;
    const int to = command.kind == Kind::kPageVerticalPosition ? arg(command, 0)
                                                               : page.y + static_cast<std::int16_t>(arg(command, 0));
    if (to < 0 || to >= page.frame.depth()) return;
    if (!engine.lineEmpty()) engine.drawLine();
    page.y = to;
}

}  // namespace

void addPageCommands(CommandHandlers& handlers) {
    handlers.add(Kind::kPageMode, [](PrintEngine& engine, const Command&) { engine.enterPageMode(); });
    handlers.add(Kind::kStandardMode, [](PrintEngine& engine, const Command&) { engine.leavePageMode(); });
    handlers.add(Kind::kPageArea, pageArea);
    handlers.add(Kind::kPageDirection, pageDirectionCommand);
    handlers.add(Kind::kPageVerticalPosition, verticalPosition);
    handlers.add(Kind::kPageRelativeVertical, verticalPosition);
    handlers.add(Kind::kFormFeed, [](PrintEngine& engine, const Command&) {
        if (!engine.state().page.on) return;
        engine.printPage();
        engine.leavePageMode();
    });
    handlers.add(Kind::kPrintPage, [](PrintEngine& engine, const Command&) {
        if (engine.state().page.on) engine.printPage();  // the page keeps its data
    });
    handlers.add(Kind::kCancelPageData, [](PrintEngine& engine, const Command&) { engine.cancelPage(); });
}

}  // namespace escpos
