// Fuzzes the command line: up to four parameters separated by NUL bytes always
// give one of the five run modes, and a window id only where one was read.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "common/convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::vector<std::string> params;
    std::string current;
    for (size_t i = 0; i < size && params.size() < 4; ++i) {
        if (data[i] == 0) {
            params.push_back(current);
            current.clear();
        } else {
            current += char(data[i]);
        }
    }
    if (params.size() < 4 && (size == 0 || data[size - 1] != 0) && size > 0) params.push_back(current);

    quipix::ParentWindow = 0;
    quipix::ParseCommandLine(params);
    if (quipix::RunMode < quipix::Configure || quipix::RunMode > quipix::ChangePassword) std::abort();
    const bool readsWindow = quipix::RunMode == quipix::Preview || quipix::RunMode == quipix::ChangePassword;
    if (!readsWindow && quipix::ParentWindow != 0) std::abort();
    if (readsWindow) {
        const std::string& arg = quipix::CommandArgument;
        auto value = quipix::TryStrToInt(arg.size() > 3 ? arg.substr(3) : std::string());
        if (quipix::ParentWindow != (value ? std::uint32_t(*value) : 0u)) std::abort();
    }
    return 0;
}
