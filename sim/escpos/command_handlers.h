// The command handlers: each family of commands (text and print modes,
// Chinese text, lines and positions, images, barcodes and 2D codes, page
// mode, initialising and cutting) is a file of handlers that registers each
// under the Kind of the command it handles. A new family is a new file and
// one line in allCommandHandlers(). Internal to the renderer. No platform code.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "escpos_decoder.h"
#include "print_engine.h"

namespace escpos {

using CommandHandler = void (*)(PrintEngine& engine, const Command& command);

class CommandHandlers {
public:
    // Throws std::logic_error when the kind has a handler already: two
    // families must not both claim a command.
    void add(Kind kind, CommandHandler handler);
    // Null for a command that leaves the paper and the state unchanged.
    CommandHandler find(Kind kind) const { return handlers_[static_cast<std::size_t>(kind)]; }

private:
    std::array<CommandHandler, std::size_t{std::numeric_limits<std::underlying_type_t<Kind>>::max()} + 1> handlers_{};
};

// Argument i of the command, 0 when it has fewer.
inline std::uint32_t argument(const Command& command, std::size_t i) {
    return i < command.argumentCount ? command.arguments[i] : 0;
}

// The families.
void addTextCommands(CommandHandlers& handlers);
void addChineseCommands(CommandHandlers& handlers);
void addFsFunctionCommands(CommandHandlers& handlers);
void addLineCommands(CommandHandlers& handlers);
void addImageCommands(CommandHandlers& handlers);
void addGraphicsCommands(CommandHandlers& handlers);
void addSymbolCommands(CommandHandlers& handlers);
void addPageCommands(CommandHandlers& handlers);
void addPrinterCommands(CommandHandlers& handlers);

// Every family's handlers, registered once.
const CommandHandlers& allCommandHandlers();

}  // namespace escpos
