#include "imaging/text_engine.h"

#include <mutex>

namespace quipix {

namespace {
std::shared_ptr<TextEngine>& EngineSlot() {
    static std::shared_ptr<TextEngine> engine;
    return engine;
}
}  // namespace

void SetTextEngine(std::shared_ptr<TextEngine> engine) { EngineSlot() = std::move(engine); }

TextEngine* CurrentTextEngine() { return EngineSlot().get(); }

}  // namespace quipix
