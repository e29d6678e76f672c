// Parameters and their information nodes as JSON, with the keys pvctl prints and the Python
// module returns: type, access, display, category, unit, min, max, inc, count, pattern, entries.
#pragma once

#include "Board.h"

#include <nlohmann/json.hpp>

namespace pellvane::tools {

using Json = nlohmann::ordered_json;

Json valueJson(const Value& v);
// Adds the description of a parameter's node to `j`.
void addNodeJson(const Parameter& p, Json& j);

} // namespace pellvane::tools
