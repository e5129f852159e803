#include "renderer.h"

namespace escpos {

Renderer::Renderer(RendererOptions options, PieceSink sink)
    : engine_(std::move(options), std::move(sink)), handlers_(allCommandHandlers()) {}

void Renderer::apply(const Command& command) {
    engine_.setNote({});
    if (engine_.limit() != Limit::kNone) return;
    // A multi-byte character cut short by a command prints as a box.
    if (command.kind != Kind::kText && !engine_.state().characters.pendingChinese.empty()) engine_.brokenSequence();
    if (const CommandHandler handler = handlers_.find(command.kind)) handler(engine_, command);
    engine_.endCommand();
}

}  // namespace escpos
