#include "platform/PreciseClock.h"

#include <chrono>
#include <thread>

namespace pellvane::platform {

std::int64_t counterFrequency() {
    return 1'000'000'000;
}

std::int64_t counterNow() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

void sleepMilliseconds(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace pellvane::platform
