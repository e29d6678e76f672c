// tarn_hw: the virtual board's hardware access library.
//
// Register ids are the runtime's ids. The board keeps each register masked to its width, as
// the hardware would drop the bits above it.
#include "VboardModel.h"

#include <cstdint>

namespace {

std::int32_t toError(std::int32_t status, std::int32_t injected) {
    switch (status) {
    case VBM_OK:
        return 0;
    case VBM_INJECTED:
        return injected;
    case VBM_READ_ONLY:
        return VB_HW_ERR_READ_ONLY;
    default:
        return VB_HW_ERR_INVALID;
    }
}

} // namespace

// The exports and their ordinals are listed in tarn_hw.def; on Windows that file alone exports
// them, by ordinal and without a name, as the real library does.
#if defined(_WIN32)
#define TARN_HW_API extern "C"
#else
#define TARN_HW_API extern "C" __attribute__((visibility("default")))
#endif

// Writes a register: 0, VB_HW_ERR_INVALID (null or unknown board, unknown register),
// VB_HW_ERR_READ_ONLY, or an injected failure code.
TARN_HW_API std::int32_t tarn_hw_12(void* board, std::uint32_t reg, std::uint64_t value) {
    std::int32_t injected = 0;
    std::int32_t status =
        vbm_register_write(static_cast<VbBoard*>(board), reg, value, VB_SOURCE_HARDWARE, &injected);
    return toError(status, injected);
}

// Reads a register into *value: 0, VB_HW_ERR_INVALID (also for a null buffer), or an injected
// failure code; *value is untouched on failure.
TARN_HW_API std::int32_t tarn_hw_13(void* board, std::uint32_t reg, std::uint64_t* value) {
    std::int32_t injected = 0;
    std::uint64_t read = 0;
    std::int32_t status = value == nullptr
                              ? VBM_BAD_VALUE
                              : vbm_register_read(static_cast<VbBoard*>(board), reg, &read,
                                                  VB_SOURCE_HARDWARE, &injected);
    if (status == VBM_OK) *value = read;
    return toError(status, injected);
}
