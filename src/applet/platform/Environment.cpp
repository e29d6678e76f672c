#include "platform/Environment.h"

#include "platform/AsciiText.h"

#include <array>
#include <cstdlib>

namespace pellvane::platform {

std::optional<std::string> environmentValue(const char* name) {
    if (name == nullptr) return std::nullopt;
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool isTruthy(std::string_view text) {
    static constexpr std::array<std::string_view, 4> kWords = {"yes", "true", "on", "1"};
    for (std::string_view word : kWords) {
        if (equalsIgnoringAsciiCase(text, word)) return true;
    }
    return false;
}

} // namespace pellvane::platform
