// Text and its print modes: the text itself, HT, ESC !, GS !, ESC M, ESC E,
// ESC G, ESC -, ESC {, ESC V, GS B, ESC SP, ESC t and the user-defined
// characters of ESC %, ESC & and ESC ?.
#include "command_arguments.h"
#include "command_handlers.h"

namespace escpos {
namespace {

TextMode& mode(PrintEngine& engine) { return engine.state().text; }

void printMode(PrintEngine& engine, const Command& command) {
    const std::uint32_t n = argument(command, 0);
    TextMode& m = mode(engine);
    m.fontB = (n & 0x01) != 0;
    m.emphasized = (n & 0x08) != 0;
    m.scaleY = (n & 0x10) ? 2 : 1;
    m.scaleX = (n & 0x20) ? 2 : 1;
    m.underline = (n & 0x80) ? 1 : 0;
}

// Width and height 1-8 times; other values are ignored.
void characterSize(PrintEngine& engine, const Command& command) {
    const std::uint32_t n = argument(command, 0);
    if ((n & 0x88) != 0) return;
    mode(engine).scaleX = static_cast<int>(n >> 4) + 1;
    mode(engine).scaleY = static_cast<int>(n & 0x0F) + 1;
}

// ESC & y c1 c2: characters outside 20h-7Eh are not defined.
void defineUserCharacters(PrintEngine& engine, const Command& command) {
    if (command.argumentCount < 3) return;
    const std::uint32_t columnBytes = command.arguments[0];
    auto& defined = engine.state().characters.userCharacters;
    walkUserCharacters(columnBytes, command.arguments[1], command.arguments[2], command.payload,
                       [&](std::uint32_t code, std::uint32_t width, std::span<const std::uint8_t> columns) {
                           if (code < 0x20 || code > 0x7E) return;
                           defined[static_cast<std::uint8_t>(code)] =
                               Bitmap::fromColumns(static_cast<int>(width), columnBytes, columns);
                       });
}

}  // namespace

void addTextCommands(CommandHandlers& handlers) {
    handlers.add(Kind::kText, [](PrintEngine& engine, const Command& command) { engine.text(command.payload); });
    handlers.add(Kind::kHorizontalTab, [](PrintEngine& engine, const Command&) { engine.horizontalTab(); });
    handlers.add(Kind::kPrintMode, printMode);
    handlers.add(Kind::kCharacterSize, characterSize);
    handlers.add(Kind::kCharacterFont, [](PrintEngine& engine, const Command& command) {
        if (const auto font = selector(argument(command, 0), 2)) mode(engine).fontB = *font == 1;
    });
    handlers.add(Kind::kEmphasized, [](PrintEngine& engine, const Command& command) {
        mode(engine).emphasized = (argument(command, 0) & 1) != 0;
    });
    handlers.add(Kind::kDoubleStrike, [](PrintEngine& engine, const Command& command) {
        mode(engine).doubleStrike = (argument(command, 0) & 1) != 0;
    });
    handlers.add(Kind::kUnderline, [](PrintEngine& engine, const Command& command) {
        if (const auto dots = selector(argument(command, 0), 3)) mode(engine).underline = *dots;
    });
    handlers.add(Kind::kUpsideDown, [](PrintEngine& engine, const Command& command) {
        mode(engine).upsideDown = (argument(command, 0) & 1) != 0;
    });
    handlers.add(Kind::kRotation90, [](PrintEngine& engine, const Command& command) {
        if (const auto rotation = selector(argument(command, 0), 3)) mode(engine).rotated = *rotation != 0;
    });
    handlers.add(Kind::kReverse, [](PrintEngine& engine, const Command& command) {
        mode(engine).reverse = (argument(command, 0) & 1) != 0;
    });
    handlers.add(Kind::kRightSpacing, [](PrintEngine& engine, const Command& command) {
        mode(engine).rightSpacing = static_cast<int>(argument(command, 0));
    });
    handlers.add(Kind::kCodeTable, [](PrintEngine& engine, const Command& command) {
        engine.state().characters.codePage = argument(command, 0);
    });
    handlers.add(Kind::kUserCharacterSet, [](PrintEngine& engine, const Command& command) {
        engine.state().characters.userCharactersOn = (argument(command, 0) & 1) != 0;
    });
    handlers.add(Kind::kDefineUserCharacters, defineUserCharacters);
    handlers.add(Kind::kCancelUserCharacter, [](PrintEngine& engine, const Command& command) {
        engine.state().characters.userCharacters.erase(static_cast<std::uint8_t>(argument(command, 0)));
    });
}

}  // namespace escpos
