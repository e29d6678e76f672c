// Writes pictures as grey-scale PNG files (libpng).
#pragma once

#include <cstdint>
#include <string>

namespace pellvane::tools {

// Each returns an empty string on success, else what went wrong. Rows are packed: `width`
// pixels per row, `height` rows.
std::string writeGray8Png(const std::string& file, const uint8_t* pixels, uint32_t width,
                          uint32_t height);
std::string writeGray16Png(const std::string& file, const uint16_t* pixels, uint32_t width,
                           uint32_t height);

} // namespace pellvane::tools
