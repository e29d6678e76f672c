// The applet's icon: a 32 x 32 grey-scale PNG picture of exactly kIconSize bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pellvane {

constexpr std::size_t kIconSize = 2170;

const uint8_t* appletIcon();

} // namespace pellvane
