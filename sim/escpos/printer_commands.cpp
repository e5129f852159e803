// The printer as a whole: ESC @ initialises it; GS V, ESC i and ESC m cut
// the paper, ending the piece.
#include "command_handlers.h"

namespace escpos {
namespace {

// The cuts with a feed print the pending line, then feed n dots. A page is
// never cut.
void cutCommand(PrintEngine& engine, const Command& command) {
    if (engine.state().page.on) return;
    if (!engine.lineEmpty()) engine.printLine(0);
    if (command.argumentCount > 1) engine.feed(static_cast<int>(command.arguments[1]));
    engine.cut();
}

void partialCut(PrintEngine& engine, const Command&) {
    if (!engine.state().page.on) engine.cut();
}

}  // namespace

void addPrinterCommands(CommandHandlers& handlers) {
    handlers.add(Kind::kInitialize, [](PrintEngine& engine, const Command&) { engine.reset(); });
    handlers.add(Kind::kCut, cutCommand);
    handlers.add(Kind::kPartialCutOnePoint, partialCut);
    handlers.add(Kind::kPartialCutThreePoints, partialCut);
}

}  // namespace escpos
