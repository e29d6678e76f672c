#include "platform/DynamicLibrary.h"

#include <utility>

namespace pellvane::platform {

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), baseName_(std::move(other.baseName_)),
      error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        baseName_ = std::move(other.baseName_);
        error_ = std::move(other.error_);
    }
    return *this;
}

} // namespace pellvane::platform
