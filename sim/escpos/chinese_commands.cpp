// Chinese text: FS & and FS . switch Chinese mode on and off, FS !, FS -,
// FS W and FS S set its print modes and spacing, FS 2 and FS ? define and
// cancel user-defined Chinese characters.
#include "command_arguments.h"
#include "command_handlers.h"

namespace escpos {
namespace {

ChineseMode& mode(PrintEngine& engine) { return engine.state().chinese; }

std::uint16_t code(const Command& command) {
    return static_cast<std::uint16_t>(argument(command, 0) << 8 | (argument(command, 1) & 0xFF));
}

// 24 columns of 3 bytes, the top dot in bit 7 of each column's first byte.
void defineChineseCharacter(PrintEngine& engine, const Command& command) {
    constexpr std::size_t kColumnBytes = kChineseCellSize / 8;
    if (command.payload.size() != kChineseCellSize * kColumnBytes) return;
    engine.state().characters.userChinese[code(command)] =
        Bitmap::fromColumns(kChineseCellSize, kColumnBytes, command.payload);
}

}  // namespace

void addChineseCommands(CommandHandlers& handlers) {
    handlers.add(Kind::kChineseMode,
                 [](PrintEngine& engine, const Command&) { engine.state().characters.chinese = true; });
    handlers.add(Kind::kExitChineseMode, [](PrintEngine& engine, const Command&) {
        engine.state().characters.chinese = false;
        engine.state().characters.pendingChinese.clear();
    });
    handlers.add(Kind::kChinesePrintMode, [](PrintEngine& engine, const Command& command) {
        const std::uint32_t n = argument(command, 0);
        mode(engine).scaleX = (n & 0x04) ? 2 : 1;
        mode(engine).scaleY = (n & 0x08) ? 2 : 1;
        mode(engine).underline = (n & 0x80) ? 1 : 0;
    });
    handlers.add(Kind::kChineseUnderline, [](PrintEngine& engine, const Command& command) {
        if (const auto dots = selector(argument(command, 0), 3)) mode(engine).underline = *dots;
    });
    handlers.add(Kind::kChineseQuadruple, [](PrintEngine& engine, const Command& command) {
        mode(engine).scaleX = mode(engine).scaleY = (argument(command, 0) & 1) ? 2 : 1;
    });
    handlers.add(Kind::kChineseSpacing, [](PrintEngine& engine, const Command& command) {
        mode(engine).leftSpace = static_cast<int>(argument(command, 0));
        mode(engine).rightSpace = static_cast<int>(argument(command, 1));
    });
    handlers.add(Kind::kDefineChineseCharacter, defineChineseCharacter);
    handlers.add(Kind::kCancelChineseCharacter, [](PrintEngine& engine, const Command& command) {
        engine.state().characters.userChinese.erase(code(command));
    });
}

}  // namespace escpos
