#include "platform/DynamicLibrary.h"

#include "platform/AsciiText.h"

#include <windows.h>

#include <cstdint>

namespace pellvane::platform {
namespace {

constexpr std::string_view kExtension = ".dll";

// A bare file name with something before its ".dll" (any letter case): a drive, a folder or a
// NUL byte would make it a path or cut it short, and ".dll" alone names no library.
bool usableName(std::string_view systemName) {
    if (systemName.find_first_of(std::string_view("/\\:\0", 4)) != std::string_view::npos) {
        return false;
    }
    if (systemName.size() >= kExtension.size() &&
        equalsIgnoringAsciiCase(systemName.substr(systemName.size() - kExtension.size()),
                                kExtension)) {
        systemName.remove_suffix(kExtension.size());
    }
    return !systemName.empty();
}

std::string lastErrorText(const std::string& fileName) {
    return fileName + ": LoadLibraryA failed with error " + std::to_string(GetLastError());
}

} // namespace

std::string loadableName(std::string_view systemName) {
    if (!usableName(systemName)) return {};
    return std::string(systemName);
}

DynamicLibrary DynamicLibrary::open(std::string_view systemName) {
    DynamicLibrary library;
    const std::string fileName = loadableName(systemName);
    if (fileName.empty()) {
        library.error_ = "not a library name: \"" + std::string(systemName) + "\"";
        return library;
    }
    HMODULE module = LoadLibraryA(fileName.c_str());
    if (module == nullptr) {
        library.error_ = lastErrorText(fileName);
        return library;
    }
    library.handle_ = module;
    return library;
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void* DynamicLibrary::symbolByOrdinal(unsigned ordinal) const {
    if (handle_ == nullptr || ordinal == 0 || ordinal > 0xFFFF) return nullptr;
    // An ordinal travels in the low word of the name pointer (what MAKEINTRESOURCEA does).
    const auto* byOrdinal = reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(ordinal));
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), byOrdinal));
}

void DynamicLibrary::close() noexcept {
    if (handle_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}

} // namespace pellvane::platform
