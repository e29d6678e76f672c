#include "platform/DynamicLibrary.h"

#include "platform/AsciiText.h"

#include <dlfcn.h>

namespace pellvane::platform {
namespace {

constexpr std::string_view kWindowsExtension = ".dll";

bool endsWithDll(std::string_view name) {
    return name.size() >= kWindowsExtension.size() &&
           equalsIgnoringAsciiCase(name.substr(name.size() - kWindowsExtension.size()),
                                   kWindowsExtension);
}

// "pyrrt.dll" -> "pyrrt"; empty when the name cannot name a library.
std::string_view stemOf(std::string_view systemName) {
    if (systemName.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) {
        return {};
    }
    if (endsWithDll(systemName)) systemName.remove_suffix(kWindowsExtension.size());
    return systemName;
}

} // namespace

std::string loadableName(std::string_view systemName) {
    const std::string_view stem = stemOf(systemName);
    if (stem.empty()) return {};
    std::string name = "lib";
    name += stem;
    name += ".so";
    return name;
}

DynamicLibrary DynamicLibrary::open(std::string_view systemName) {
    DynamicLibrary library;
    const std::string fileName = loadableName(systemName);
    if (fileName.empty()) {
        library.error_ = "not a library name: \"" + std::string(systemName) + "\"";
        return library;
    }
    library.handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library.handle_ == nullptr) {
        const char* reason = dlerror();
        library.error_ = reason != nullptr ? reason : fileName + ": cannot be loaded";
        return library;
    }
    library.baseName_ = stemOf(systemName);
    return library;
}

void* DynamicLibrary::symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return dlsym(handle_, name);
}

void* DynamicLibrary::symbolByOrdinal(unsigned ordinal) const {
    if (ordinal == 0 || ordinal > 0xFFFF) return nullptr;
    const std::string name = baseName_ + "_" + std::to_string(ordinal);
    return symbol(name.c_str());
}

void DynamicLibrary::close() noexcept {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

} // namespace pellvane::platform
