// Camera format, region of interest, output format, image selector and status values.
#pragma once

#include "parameters/ParameterTable.h"

#include <cstdint>

namespace pellvane {

// The stored values of this module's parameters, held by the applet object: the last value each
// setter accepted (configuration loading also stores into them directly). The initial values
// are the constructor's; start-up then applies the defaults through the setters.
struct ImagePathState {
    uint32_t timeout = declaredWord(FG_TIMEOUT);
    uint32_t turboDmaMode = declaredWord(FG_TURBO_DMA_MODE);
    uint32_t cameraType = declaredWord(FG_CAMERA_LINK_CAMTYPE);
    uint32_t useDval = declaredWord(FG_USEDVAL);
    uint32_t width = declaredWord(FG_WIDTH);
    uint32_t height = declaredWord(FG_HEIGHT);
    uint32_t xOffset = declaredWord(FG_XOFFSET);
    uint32_t yOffset = declaredWord(FG_YOFFSET);
    uint32_t format = declaredWord(FG_FORMAT);
    uint32_t bitAlignment = declaredWord(FG_BITALIGNMENT);
    uint32_t imageSelectPeriod = declaredWord(FG_IMG_SELECT_PERIOD);
    uint32_t imageSelect = declaredWord(FG_IMG_SELECT);
};

} // namespace pellvane
