// The area trigger system: modes, states, generator, input stage, queue, pulse-form generators and
// outputs.
#pragma once

#include "parameters/ParameterTable.h"

#include <cstdint>

namespace pellvane {

// The stored values of this module's parameters, held by the applet object.
struct TriggerState {};

class FgXeWrapperImpl;

// Brings the trigger system's outputs into a defined state at start-up, before the defaults.
void startTriggerSystem(FgXeWrapperImpl& applet);

} // namespace pellvane
