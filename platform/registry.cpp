// The settings store's value type and the process-wide slot that holds the store
// the settings use.
#include "platform/registry.h"

#include <mutex>

namespace quipix::platform {

RegValue RegValue::DWord(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[size_t(i)] = char((value >> (8 * i)) & 0xFF);
    return {kRegDWord, std::move(bytes)};
}

namespace {
std::mutex gRegistryMutex;
std::shared_ptr<Registry> gRegistry;
}  // namespace

Registry& CurrentRegistry() {
    std::lock_guard lock(gRegistryMutex);
    if (!gRegistry) gRegistry = MakeUserRegistry();
    return *gRegistry;
}

void InstallRegistry(std::shared_ptr<Registry> registry) {
    std::lock_guard lock(gRegistryMutex);
    gRegistry = std::move(registry);
}

}  // namespace quipix::platform
