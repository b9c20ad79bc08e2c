#include "collector/command_context.h"

#include <memory>

namespace collector {

namespace {
std::unique_ptr<PMCommandContext>& contextSlot() {
    static std::unique_ptr<PMCommandContext> context;
    return context;
}
}  // namespace

PMCommandContext* beginCommandContext() {
    contextSlot() = std::make_unique<PMCommandContext>();
    return contextSlot().get();
}

PMCommandContext* currentCommandContext() { return contextSlot().get(); }

PMCommandContext& commandContext() {
    PMCommandContext* current = currentCommandContext();
    return current != nullptr ? *current : *beginCommandContext();
}

}  // namespace collector
