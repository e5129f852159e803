#include "command_handlers.h"

#include <stdexcept>
#include <string>

namespace escpos {

void CommandHandlers::add(Kind kind, CommandHandler handler) {
    CommandHandler& slot = handlers_[static_cast<std::size_t>(kind)];
    if (slot) throw std::logic_error("two handlers for command kind " + std::to_string(static_cast<int>(kind)));
    slot = handler;
}

const CommandHandlers& allCommandHandlers() {
    static const CommandHandlers handlers = [] {
        CommandHandlers all;
        addTextCommands(all);
        addChineseCommands(all);
        addFsFunctionCommands(all);
        addLineCommands(all);
        addImageCommands(all);
        addGraphicsCommands(all);
        addSymbolCommands(all);
        addPageCommands(all);
        addPrinterCommands(all);
        return all;
    }();
    return handlers;
}

}  // namespace escpos
