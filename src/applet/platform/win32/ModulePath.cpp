#include "platform/ModulePath.h"

#include <windows.h>

#include <vector>

namespace pellvane::platform {
namespace {

// Any address inside this module will do; a function of our own is certain to be here and not
// in whichever program or library called us.
void moduleMarker() {}

// Windows paths may exceed MAX_PATH; beyond this GetModuleFileNameA cannot answer at all.
constexpr DWORD kLongestPath = 32768;

} // namespace

std::string ownModulePath() {
    HMODULE module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&moduleMarker), &module)) return {};

    std::vector<char> buffer(MAX_PATH);
    while (true) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameA(module, buffer.data(), size);
        if (length == 0) return {};
        // A result that fills the buffer may have been cut short.
        if (length < size) return std::string(buffer.data(), length);
        if (size >= kLongestPath) return {};
        buffer.resize(static_cast<std::size_t>(size) * 2);
    }
}

} // namespace pellvane::platform
