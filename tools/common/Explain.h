// Why the applet refused a value, in the words of the person who typed it: "read-only", the
// limits and step as they are now, the parameter whose timing rule the value breaks. The
// applet's code stays with the message (BoardError) for reference.
#pragma once

#include "Board.h"

#include <string>

namespace pellvane::tools {

struct Explanation {
    std::string why;  // empty when the code's own meaning says it all
    std::string hint; // what to do about it, or empty
};

// `attempted` is the value the set tried; the board is asked for the live limits and the values
// of the parameters that take part in the same rule.
Explanation explainRefusal(const Board& board, const Parameter& p, const Value& attempted,
                           int32_t code);

} // namespace pellvane::tools
