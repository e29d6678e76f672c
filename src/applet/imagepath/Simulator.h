// The camera simulator: the design's image generator, driven through the hardware access library.
#pragma once

#include "parameters/ParameterTable.h"
#include "parameters/Registers.h"

#include <array>
#include <cstdint>

namespace pellvane {

// The stored values of this module's parameters, held by the applet object, and the shadows of
// the generator's registers. Initial values are the constructor's; start-up clears the registers
// and then applies the defaults through the setters.
struct SimulatorState {
    uint32_t enable = declaredWord(FG_GEN_ENABLE);
    uint32_t start = declaredWord(FG_GEN_START);
    uint32_t width = declaredWord(FG_GEN_WIDTH);
    uint32_t height = declaredWord(FG_GEN_HEIGHT);
    uint32_t lineGap = declaredWord(FG_GEN_LINE_GAP);
    double frequency = declaredDefault(FG_GEN_FREQ);
    uint32_t accuracy = declaredWord(FG_GEN_ACCURACY);
    std::array<uint32_t, 4> taps{declaredWord(FG_GEN_TAP1), declaredWord(FG_GEN_TAP2),
                                 declaredWord(FG_GEN_TAP3), declaredWord(FG_GEN_TAP4)};
    uint32_t roll = declaredWord(FG_GEN_ROLL);

    // The value last written successfully to each generator register, in register order
    // (MWGenEnable .. MWGenRoll). The hardware cannot be read back reliably, so the tap setters
    // build the new mask from here and FG_GEN_ACTIVE / FG_GEN_PASSIVE answer from here.
    std::array<uint64_t, kSimulatorRegisterCount> shadows{0, 1, 2048, 2080, 1024, 3, 29, 15, 1};

    uint64_t& shadow(Reg r) { return shadows[index(r) - kHostRegisterCount]; }
    uint64_t shadow(Reg r) const { return shadows[index(r) - kHostRegisterCount]; }
};

class FgXeWrapperImpl;

// Writes 0 to the nine generator registers, in lookup order, at the start of the defaults;
// a register whose write succeeds has its shadow set to 0.
void clearSimulatorRegisters(FgXeWrapperImpl& applet);

} // namespace pellvane
