// The classic trigger parameters, mapped onto the area trigger system.
#pragma once

#include "parameters/ParameterTable.h"

#include <cstdint>

namespace pellvane {

// The stored values of this module's parameters, held by the applet object.
struct LegacyTriggerState {};

} // namespace pellvane
