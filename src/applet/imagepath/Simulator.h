// The camera simulator: the design's image generator, driven through the hardware access library.
#pragma once

#include "parameters/ParameterTable.h"

#include <cstdint>

namespace pellvane {

// The stored values of this module's parameters, held by the applet object.
struct SimulatorState {};

class FgXeWrapperImpl;

// Writes 0 to the nine generator registers, in lookup order, at the start of the defaults;
// a register whose write succeeds has its shadow set to 0.
void clearSimulatorRegisters(FgXeWrapperImpl& applet);

} // namespace pellvane
