// Lines, feeds and positions: LF, ESC J, ESC d, ESC 3, ESC 2, ESC a, GS L,
// GS W, ESC $, ESC \ and ESC D.
#include <cstdint>

#include "command_arguments.h"
#include "command_handlers.h"

namespace escpos {
namespace {

constexpr std::size_t kMaxTabs = 32;

LineLayout& layout(PrintEngine& engine) { return engine.state().layout; }

void relativePosition(PrintEngine& engine, const Command& command) {
    const int to = engine.state().line.x + static_cast<std::int16_t>(argument(command, 0));
    if (to >= 0 && to < engine.areaWidth()) engine.state().line.x = to;
}

// Stops in character columns of the current font, size and spacing,
// ascending; the list ends at the first that is not.
void tabPositions(PrintEngine& engine, const Command& command) {
    const TextMode& mode = engine.state().text;
    const int column = ((mode.fontB ? kFontBWidth : kFontAWidth) + mode.rightSpacing) * mode.scaleX;
    std::vector<int>& tabs = layout(engine).tabs;
    tabs.clear();
    for (const std::uint8_t n : command.payload) {
        if (tabs.size() == kMaxTabs || (!tabs.empty() && n * column <= tabs.back())) break;
        tabs.push_back(n * column);
    }
}

}  // namespace

void addLineCommands(CommandHandlers& handlers) {
    handlers.add(Kind::kLineFeed,
                 [](PrintEngine& engine, const Command&) { engine.printLine(layout(engine).spacing); });
    handlers.add(Kind::kFeedDots, [](PrintEngine& engine, const Command& command) {
        engine.printLine(static_cast<int>(argument(command, 0)));
    });
    handlers.add(Kind::kFeedLines, [](PrintEngine& engine, const Command& command) {
        engine.printLine(static_cast<int>(argument(command, 0)) * layout(engine).spacing);
    });
    handlers.add(Kind::kLineSpacing, [](PrintEngine& engine, const Command& command) {
        layout(engine).spacing = static_cast<int>(argument(command, 0));
    });
    handlers.add(Kind::kDefaultLineSpacing,
                 [](PrintEngine& engine, const Command&) { layout(engine).spacing = kDefaultLineSpacing; });
    handlers.add(Kind::kJustification, [](PrintEngine& engine, const Command& command) {
        if (const auto justification = selector(argument(command, 0), 3)) layout(engine).justification = *justification;
    });
    // The margin and the area width take effect only at the start of a line:
    // a line already begun keeps the area it started in.
    handlers.add(Kind::kLeftMargin, [](PrintEngine& engine, const Command& command) {
        if (engine.lineEmpty()) layout(engine).leftMargin = static_cast<int>(argument(command, 0));
    });
    handlers.add(Kind::kAreaWidth, [](PrintEngine& engine, const Command& command) {
        if (engine.lineEmpty()) layout(engine).areaWidth = static_cast<int>(argument(command, 0));
    });
    handlers.add(Kind::kAbsolutePosition, [](PrintEngine& engine, const Command& command) {
        const auto to = static_cast<int>(argument(command, 0));
        if (to < engine.areaWidth()) engine.state().line.x = to;
    });
    handlers.add(Kind::kRelativePosition, relativePosition);
    handlers.add(Kind::kTabPositions, tabPositions);
}

}  // namespace escpos
