#include "platform/PreciseClock.h"

#include <windows.h>

namespace pellvane::platform {

std::int64_t counterFrequency() {
    LARGE_INTEGER frequency;
    // Cannot fail on Windows XP and later; the value is fixed at boot.
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

std::int64_t counterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

} // namespace pellvane::platform
