// Error codes of the applet. Inside the applet a failure is thrown as one of these plain ints;
// the routing operations catch it, store it as the last error and return it. Codes of the host
// library and of the hardware access library pass through unchanged.
#pragma once

#include <cstdint>

namespace pellvane {

constexpr int32_t kOk = 0;
constexpr int32_t kNoShadingObject = -1;       // last error after Fg_AllocShading gave null
constexpr int32_t kNotWritableOrUnbound = -12; // read-only parameter; host function missing
constexpr int32_t kTriggerBusy = -60;          // software trigger while busy
constexpr int32_t kNotLoaded = -100;           // no image, or no host handle and no host error
constexpr int32_t kBufferTooSmall = -500;      // XML buffer too small or of size zero
constexpr int32_t kInvalidHandle = -2001;      // null Fg handle or null applet in it
constexpr int32_t kHostLibraryMissing = -2031; // host library or its init-handle missing
constexpr int32_t kInvalidParameter = -2070;   // unassigned id, bad index, null pointer...
constexpr int32_t kNoParameterInfo = -2075;    // no information for the port; rate range
constexpr int32_t kFileNotOpened = -2076;      // lookup-table or configuration file
constexpr int32_t kTimingDownscale = -2078;    // pulse-form generator timing rule
constexpr int32_t kTimingRule = -2079;         // pulse-form generator timing rule
constexpr int32_t kNotSupported = -2130;       // shading; unknown Info query
constexpr int32_t kNotSoftwareMode = -2140;    // software trigger outside software mode
constexpr int32_t kTriggerNotActive = -2141;   // software trigger while not Active
constexpr int32_t kConfigNotLoaded = -5000;    // configuration file not loaded
constexpr int32_t kFileIoFailed = -5001;       // LUT file read/write; configuration not saved
constexpr int32_t kValueOutOfRange = -6000;    // outside enumeration or range
constexpr int32_t kNotAMultiple = -7080;       // not a multiple of the increment

} // namespace pellvane
