#pragma once

// The debug switches are environment variables; a switch is on for a small set of words.

#include <optional>
#include <string>
#include <string_view>

namespace pellvane::platform {

// The variable's value; nullopt when it is not set, an empty string when it is set empty.
std::optional<std::string> environmentValue(const char* name);

// "yes", "true", "on" or "1" in any mix of letter case, and nothing else: no surrounding white
// space, no other words. Case is folded over ASCII letters only, so the answer does not depend
// on the process locale the host may have set.
bool isTruthy(std::string_view text);

} // namespace pellvane::platform
