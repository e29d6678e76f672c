// Prints a parameter-information tree the way a host walks it: the roots through previousRoot
// (printed oldest first), the rest through the child arrays. One line per node, indented by
// depth, with every field the node carries for its kind.
#pragma once

#include "pellvane/ParameterInfoNode.h"

#include <cstdint>
#include <set>
#include <string>

namespace pellvane::tools {

// Fields a reader may want left out of the text, per parameter identifier (values that change
// at run time): they print as "*".
struct TreeTextMask {
    std::set<int32_t> access;
    std::set<int32_t> limits;
};

std::string describeTree(const ParameterInfoNode* latestRoot, const TreeTextMask* mask = nullptr);

} // namespace pellvane::tools
