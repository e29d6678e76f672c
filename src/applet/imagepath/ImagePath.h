// Camera format, region of interest, output format, image selector and status values.
#pragma once

#include "parameters/ParameterTable.h"

#include <cstdint>

namespace pellvane {

// The stored values of this module's parameters, held by the applet object: the last value each
// setter accepted (configuration loading also stores into them directly). The initial values
// are the constructor's; start-up then applies the defaults through the setters.
struct ImagePathState {
    uint32_t timeout = 1000000;
    uint32_t turboDmaMode = 0;
    uint32_t cameraType = 208; // FG_CL_MEDIUM_8_BIT
    uint32_t useDval = 1;
    uint32_t width = 1024;
    uint32_t height = 1024;
    uint32_t xOffset = 0;
    uint32_t yOffset = 0;
    uint32_t format = 3; // FG_GRAY: the enumeration value, not the register value
    uint32_t bitAlignment = 1;
    uint32_t imageSelectPeriod = 1;
    uint32_t imageSelect = 0;
};

} // namespace pellvane
