// The lookup table: computed from offset, gain, gamma and invert, or loaded from a file.
#pragma once

#include "parameters/ParameterTable.h"

#include <cstdint>

namespace pellvane {

// The stored values of this module's parameters, held by the applet object.
struct LookupTableState {};

} // namespace pellvane
