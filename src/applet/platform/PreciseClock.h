#pragma once

// The high-resolution counter that times the pause between software trigger pulses.

#include <cstdint>

namespace pellvane::platform {

// Counter ticks per second (POSIX: 1e9, the counter counts nanoseconds).
std::int64_t counterFrequency();
// A monotonic tick count; only differences mean anything.
std::int64_t counterNow();
void sleepMilliseconds(std::uint32_t milliseconds);

} // namespace pellvane::platform
