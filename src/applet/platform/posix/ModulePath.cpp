#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <vector>

namespace pellvane::platform {
namespace {

// Any address inside this module will do; a function of our own is certain to be here and not
// in whichever program or library called us.
void moduleMarker() {}

std::string runningProgramPath() {
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

} // namespace

std::string ownModulePath() {
    Dl_info info{};
    link_map* map = nullptr;
    // dladdr looks the address up without loading anything, so no reference is taken.
    if (dladdr1(reinterpret_cast<void*>(&moduleMarker), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) == 0) {
        return {};
    }
    // For the main program the loader knows only the name it was started by (argv[0], perhaps
    // relative to a folder we have left since); the kernel knows the real file.
    if (map != nullptr && map->l_name != nullptr && map->l_name[0] == '\0') {
        std::string program = runningProgramPath();
        if (!program.empty()) return program;
    }
    return info.dli_fname != nullptr ? std::string(info.dli_fname) : std::string();
}

} // namespace pellvane::platform
