// Test library: reports the module path as seen from inside a shared library, and carries an
// export named the way an import by ordinal is named on POSIX.

#include "platform/ModulePath.h"

#include <cstddef>
#include <cstring>

// On Windows Probe.def exports these, platform_probe_7 under its name and as ordinal 7.
#if defined(_WIN32)
#define PROBE_EXPORT extern "C"
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Copies the path (cut to fit, NUL-terminated) and returns its full length.
PROBE_EXPORT std::size_t platform_probe_module_path(char* buffer, std::size_t size) {
    const std::string path = pellvane::platform::ownModulePath();
    if (buffer != nullptr && size > 0) {
        const std::size_t n = path.size() < size ? path.size() : size - 1;
        std::memcpy(buffer, path.data(), n);
        buffer[n] = '\0';
    }
    return path.size();
}

PROBE_EXPORT int platform_probe_7() {
    return 7;
}
