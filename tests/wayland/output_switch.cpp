// quipix-test-outputs: takes KWin's outputs away and gives them back, for the KWin
// system test, through its output management. Commands on standard input, one per
// line, each answered "ok" or why not:
//   disable NAME     the output NAME (Virtual-1, say) taken away, once KWin has applied it
//   enable NAME      and given back
//   outputs NAME...  the outputs clients are offered (wl_output) are exactly these
#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kde-output-device-v2-client-protocol.h"
#include "kde-output-management-v2-client-protocol.h"

namespace {

kde_output_management_v2* gManagement = nullptr;
std::map<std::string, kde_output_device_v2*> gDevices;  // by output name
std::map<std::uint32_t, std::string> gOutputs;          // wl_output globals' names, by global

const kde_output_device_v2_listener kDeviceListener = {
    .geometry = [](void*, kde_output_device_v2*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   std::int32_t, const char*, const char*, std::int32_t) {},
    .current_mode = [](void*, kde_output_device_v2*, kde_output_device_mode_v2*) {},
    .mode = [](void*, kde_output_device_v2*, kde_output_device_mode_v2*) {},
    .done = [](void*, kde_output_device_v2*) {},
    .scale = [](void*, kde_output_device_v2*, wl_fixed_t) {},
    .edid = [](void*, kde_output_device_v2*, const char*) {},
    .enabled = [](void*, kde_output_device_v2*, std::int32_t) {},
    .uuid = [](void*, kde_output_device_v2*, const char*) {},
    .serial_number = [](void*, kde_output_device_v2*, const char*) {},
    .eisa_id = [](void*, kde_output_device_v2*, const char*) {},
    .capabilities = [](void*, kde_output_device_v2*, std::uint32_t) {},
    .overscan = [](void*, kde_output_device_v2*, std::uint32_t) {},
    .vrr_policy = [](void*, kde_output_device_v2*, std::uint32_t) {},
    .rgb_range = [](void*, kde_output_device_v2*, std::uint32_t) {},
    .name = [](void*, kde_output_device_v2* device, const char* name) { gDevices[name] = device; },
};

const wl_output_listener kOutputListener = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   const char*, const char*, std::int32_t) {},
    .mode = [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
    .done = [](void*, wl_output*) {},
    .scale = [](void*, wl_output*, std::int32_t) {},
    .name = [](void* global, wl_output*,
               const char* name) { gOutputs[std::uint32_t(reinterpret_cast<std::uintptr_t>(global))] = name; },
    .description = [](void*, wl_output*, const char*) {},
};

void Global(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    if (std::strcmp(interface, kde_output_management_v2_interface.name) == 0) {
        gManagement = static_cast<kde_output_management_v2*>(
            wl_registry_bind(registry, name, &kde_output_management_v2_interface, 1));
    } else if (std::strcmp(interface, kde_output_device_v2_interface.name) == 0 && version >= 2) {
        kde_output_device_v2_add_listener(static_cast<kde_output_device_v2*>(wl_registry_bind(
                                              registry, name, &kde_output_device_v2_interface, 2)),
                                          &kDeviceListener, nullptr);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 4) {
        // Named by the global until its name event comes.
        gOutputs[name] = "";
        wl_output_add_listener(static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 4)),
                               &kOutputListener, reinterpret_cast<void*>(std::uintptr_t(name)));
    }
}

// The proxy of a removed output stays: the test makes a handful.
void GlobalRemove(void*, wl_registry*, std::uint32_t name) { gOutputs.erase(name); }

// Applies one output's new state and waits for KWin's answer.
std::string Switch(wl_display* display, const std::string& name, bool enable) {
    const auto device = gDevices.find(name);
    if (device == gDevices.end()) return "error: no output " + name;
    kde_output_configuration_v2* config = kde_output_management_v2_create_configuration(gManagement);
    int result = 0;  // 1 applied, -1 failed
    static const kde_output_configuration_v2_listener listener = {
        .applied = [](void* result, kde_output_configuration_v2*) { *static_cast<int*>(result) = 1; },
        .failed = [](void* result, kde_output_configuration_v2*) { *static_cast<int*>(result) = -1; },
    };
    kde_output_configuration_v2_add_listener(config, &listener, &result);
    kde_output_configuration_v2_enable(config, device->second, enable ? 1 : 0);
    kde_output_configuration_v2_apply(config);
    while (result == 0 && wl_display_dispatch(display) >= 0) {}
    kde_output_configuration_v2_destroy(config);
    return result > 0 ? "ok" : result < 0 ? "error: KWin did not apply it" : "error: the compositor is gone";
}

std::string Offered(wl_display* display, std::vector<std::string> wanted) {
    if (wl_display_roundtrip(display) < 0) return "error: the compositor is gone";
    std::vector<std::string> offered;
    for (const auto& [global, name] : gOutputs) offered.push_back(name);
    std::sort(offered.begin(), offered.end());
    std::sort(wanted.begin(), wanted.end());
    if (offered == wanted) return "ok";
    std::string seen = "error: offered:";
    for (const std::string& name : offered) seen += " " + name;
    return seen;
}

}  // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "quipix-test-outputs: no compositor\n");
        return 1;
    }
    static const wl_registry_listener registryListener = {Global, GlobalRemove};
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, nullptr);
    // The globals, then the names the devices and outputs give themselves.
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (!gManagement || gDevices.empty()) {
        std::fprintf(stderr, "quipix-test-outputs: the compositor has no KDE output management\n");
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command, name;
        words >> command;
        if (command == "disable" || command == "enable") {
            words >> name;
            std::puts(Switch(display, name, command == "enable").c_str());
        } else if (command == "outputs") {
            std::puts(Offered(display, {std::istream_iterator<std::string>(words), {}}).c_str());
        } else {
            std::puts("error: unknown command");
        }
        std::fflush(stdout);
    }
    return 0;
}
