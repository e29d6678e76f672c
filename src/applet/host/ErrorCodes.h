// Error codes of the applet and its identifiers beyond the parameters (the description
// query, the register-access and pass-through ranges), declared with the parameters in
// parameters.toml (the public header <pellvane/parameters.h> names them PV_ERR_*). Inside the
// applet a failure is thrown as one of these plain ints; the routing operations catch it, store it
// as the last error and return it. Codes of the host library and of the hardware access library
// pass through unchanged.
#pragma once

#include <cstdint>

namespace pellvane {

#include "ErrorCodes.inc"

} // namespace pellvane
