// Whether a stream goes to a terminal: progress bars and other redrawn lines go there only.
#pragma once

#include <cstdio>

namespace pellvane::tools {

bool isTerminal(std::FILE* stream);

} // namespace pellvane::tools
