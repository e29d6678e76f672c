// The hardware-applet image embedded in the applet library. Its bytes are in the runtime's own
// format; the applet hands them to the runtime and never looks inside.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pellvane {

constexpr std::size_t kHapImageSize = 1994368;

const uint8_t* hapImage();

} // namespace pellvane
