// Camera format, region of interest, output format, image selector and status values.
#pragma once

#include "parameters/ParameterTable.h"

#include <cstdint>

namespace pellvane {

// The stored values of this module's parameters, held by the applet object.
struct ImagePathState {};

} // namespace pellvane
