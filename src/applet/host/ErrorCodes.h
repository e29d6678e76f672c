// The applet's error vocabulary, which every module may use: the error codes and the
// identifiers beyond the parameters (the description query, the register-access and
// pass-through ranges), declared in parameters.toml (the public header <pellvane/parameters.h>
// names them PV_ERR_* and PV_*). Inside the applet a failure is thrown as a Failure carrying its
// code; the routing operations (set, get, the configuration-file passes, start-up) catch it,
// store the code as the last error and return it. Codes of the host library and of the
// hardware access library pass through unchanged.
#pragma once

#include <cstdint>

namespace pellvane {

#include "ErrorCodes.inc"

// A failure inside the applet, thrown where it is found and caught at the routing operations.
struct Failure {
    int32_t code;
};

[[noreturn]] inline void fail(int32_t code) {
    throw Failure{code};
}

// A return code of the host library, the runtime or the hardware access library: 0 passes,
// anything else is thrown as that failure.
inline void check(int32_t rc) {
    if (rc != kOk) fail(rc);
}

} // namespace pellvane
