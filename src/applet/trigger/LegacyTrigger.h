// The classic trigger parameters, mapped onto the area trigger system.
#pragma once

#include "parameters/ParameterTable.h"

#include <array>
#include <cstdint>

namespace pellvane {

// The stored values of this module's parameters, held by the applet object.
struct LegacyTriggerState {
    // FG_TRIGGER_LEGACY_MODE: while 1, the area trigger parameters that carry the lock refuse the
    // application's sets and the legacy parameters drive them instead.
    uint32_t mode = 0;
    uint32_t triggerMode = 0; // FREE_RUN
    uint32_t exsyncOn = 0;
    uint32_t flashOn = 0;
    uint32_t exposure = 4000; // microseconds
    double exsyncDelay = 0.0;
    uint32_t exsyncPolarity = 0; // FG_LOW
    double strobePulseDelay = 0.0;
    uint32_t flashPolarity = 0; // FG_LOW
    double prescaler = 10.0;
    std::array<uint32_t, 4> ccSel{0, 5, 5, 5}; // CC_EXSYNC, then CC_VCC
    uint32_t digioOutput = 3;

    // Set while a legacy setter drives the area trigger setters, which lets them through the
    // lock. Cleared again after every such call, also when it fails.
    bool internalSet = false;
};

} // namespace pellvane
