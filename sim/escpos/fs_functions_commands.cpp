// The functions of FS ( that change how text prints: FS ( A selects the
// Chinese character font, font A in 24 x 24 cells or font B in 16 x 16;
// FS ( C function 48 selects the character encoding, the printer's one-byte
// and two-byte codes (1) or UTF-8 (2). A printer set to UTF-8 reads UTF-8
// either way; the others read UTF-8 after FS ( C 48 2, as printers that
// have UTF-8 do, until FS ( C 48 1 or ESC @. The other FS ( functions, FS ( C
// function 60 (font priority) and the ESC ( functions are decoded and leave
// the paper as it is.
#include <optional>

#include "command_arguments.h"
#include "command_handlers.h"

namespace escpos {
namespace {

// The function and its one parameter: FS ( A and FS ( C carry pL pH fn m.
std::optional<int> functionParameter(const Command& command, std::uint8_t function, int count) {
    const auto& p = command.payload;
    if (p.size() != 2 || p[0] != function) return std::nullopt;
    return selector(p[1], count);
}

}  // namespace

void addFsFunctionCommands(CommandHandlers& handlers) {
    handlers.add(Kind::kChineseFont, [](PrintEngine& engine, const Command& command) {
        if (const auto font = functionParameter(command, 48, 2))
            engine.state().chinese.cellSize = *font == 1 ? kChineseFontBCellSize : kChineseCellSize;
    });
    handlers.add(Kind::kCharacterEncoding, [](PrintEngine& engine, const Command& command) {
        const auto encoding = functionParameter(command, 48, 3);
        if (!encoding || *encoding == 0) return;
        CharacterState& characters = engine.state().characters;
        characters.utf8 = *encoding == 2;
        characters.pendingChinese.clear();
    });
}

}  // namespace escpos
