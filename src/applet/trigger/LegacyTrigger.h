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
    uint32_t triggerMode = declaredWord(FG_TRIGGERMODE);
    uint32_t exsyncOn = declaredWord(FG_EXSYNCON);
    uint32_t flashOn = declaredWord(FG_FLASHON);
    uint32_t exposure = declaredWord(FG_EXPOSURE);
    double exsyncDelay = declaredDefault(FG_EXSYNCDELAY);
    uint32_t exsyncPolarity = declaredWord(FG_EXSYNCPOLARITY);
    double strobePulseDelay = declaredDefault(FG_STROBEPULSEDELAY);
    uint32_t flashPolarity = declaredWord(FG_FLASH_POLARITY);
    double prescaler = declaredDefault(FG_PRESCALER);
    std::array<uint32_t, 4> ccSel{0, 5, 5, 5}; // CC_EXSYNC, then CC_VCC
    uint32_t digioOutput = declaredWord(FG_DIGIO_OUTPUT);

    // Set while a legacy setter drives the area trigger setters, which lets them through the
    // lock. Cleared again after every such call, also when it fails.
    bool internalSet = false;
};

} // namespace pellvane
