#pragma once

// Loading the libraries the applet talks to (the host library, the hardware-applet runtime and
// the hardware access library) by the names Windows knows them by.

#include <string>
#include <string_view>

namespace pellvane::platform {

// The file name under which a library known to Windows as systemName is found here. Windows:
// the name itself. POSIX: "X.dll" (the extension in any letter case) becomes "libX.so", found
// through the standard library search. An empty result means the name cannot name a library: it
// is empty, contains a path separator or a NUL byte, or has nothing before ".dll".
std::string loadableName(std::string_view systemName);

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    ~DynamicLibrary() { close(); }

    // Never throws; check loaded(), and errorText() for the loader's reason. Paths are refused:
    // the libraries are found through the system's search, never at a fixed place.
    static DynamicLibrary open(std::string_view systemName);

    bool loaded() const { return handle_ != nullptr; }
    // Null when the library is not loaded, name is null or the symbol does not exist.
    void* symbol(const char* name) const;
    // The export with ordinal number `ordinal`. On POSIX, where there are no ordinals, the
    // library exports it as "<base>_<ordinal>" (ordinal 12 of "pyrrt.dll" is "pyrrt_12").
    // Null for ordinal 0 or above 65535, which Windows cannot express.
    void* symbolByOrdinal(unsigned ordinal) const;
    // Unloads; safe to call again.
    void close() noexcept;

    // Why the last open failed; empty after a successful open.
    const std::string& errorText() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string baseName_;
    std::string error_;
};

} // namespace pellvane::platform
