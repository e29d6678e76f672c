// The lookup table: 4096 entries of 12 bits between the camera input and the output formatter,
// computed from offset, gain, gamma and invert, or loaded from a user file. The header stands on
// the standard library and the public parameter header alone, so that the computation can be
// measured and checked on its own.
#pragma once

#include <pellvane/parameters.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>

namespace pellvane {

constexpr std::size_t kLutEntries = 4096;                   // 12 input bits
constexpr uint32_t kLutMaxValue = 4095;                     // 12 output bits
constexpr int32_t kLutTypeCustom = LUT_TYPE_CUSTOM;         // loaded from a user file
constexpr int32_t kLutTypeProcessing = LUT_TYPE_PROCESSING; // computed
constexpr int32_t kLutFieldTableType = PV_TYPE_FIELD_TABLE; // host type code: the whole table
constexpr int32_t kLutFieldEntryType = PV_TYPE_FIELD_ENTRY; // host type code: one entry

using LutArray = std::array<uint32_t, kLutEntries>;

// The stored values of this module's parameters, held by the applet object. Loading a
// configuration file stores the file name and the processing values here directly and then
// applies the type.
struct LookupTableState {
    LutArray table{}; // the copy of what the hardware holds
    int32_t type = kLutTypeProcessing;
    double offset = 0.0;
    double gain = 1.0;
    double gamma = 1.0;
    int32_t invert = 0;
    std::string customFile; // FG_LUT_CUSTOM_FILE
    std::string saveFile;   // FG_LUT_SAVE_FILE
};

// A double truncated toward zero into a signed 32-bit integer, the way the processor's
// conversion does it: NaN, infinities and values out of range give the smallest integer.
constexpr int32_t truncateToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// Computes the table from the processing values: entry i is ((i / 4095 + offset) × gain)
// raised to 1 / gamma, scaled to 4095 and rounded by adding 0.5 and truncating, inverted
// when asked, then clamped to 0 … 4095. The arithmetic is double precision in exactly this
// order, so that tables match bit for bit wherever they are computed. Undefined powers (gamma
// 0 with a base above 1, a base of 0 with a negative gamma, NaN) end as 0 through the
// conversion and the clamp, inverted or not.
inline void computeProcessingTable(double offset, double gain, double gamma, int32_t invert,
                                   std::span<uint32_t, kLutEntries> table) {
    constexpr double n = static_cast<double>(kLutEntries);
    constexpr double m = static_cast<double>(kLutMaxValue);
    // The reciprocal of a zero gamma is the infinity of its sign, as IEEE division gives it.
    const double exponent =
        gamma == 0.0 ? std::copysign(std::numeric_limits<double>::infinity(), gamma) : 1.0 / gamma;
    for (std::size_t i = 0; i < kLutEntries; ++i) {
        const double x = static_cast<double>(i) / (n - 1.0);
        const double base = (x + offset) * gain;
        int32_t e = 0;
        // A power of exactly 1 is the base itself (pow is exact there), and gamma 1 is the
        // default: start-up computes this table on every board.
        if (!(base < 0.0))
            e = truncateToInt32((exponent == 1.0 ? base : std::pow(base, exponent)) * m + 0.5);
        // Inverted from the unclamped value in 32-bit arithmetic, which wraps.
        if (invert == 1) e = static_cast<int32_t>(kLutMaxValue - static_cast<uint32_t>(e));
        table[i] = static_cast<uint32_t>(e);
    }
    for (uint32_t& entry : table) {
        const auto e = static_cast<int32_t>(entry);
        entry = e < 0 ? 0u : (e > static_cast<int32_t>(kLutMaxValue) ? kLutMaxValue : entry);
    }
}

} // namespace pellvane
