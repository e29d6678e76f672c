// The area trigger system: modes, states, generator, input stage, queue, pulse-form generators and
// outputs.
#pragma once

#include "parameters/ParameterTable.h"

#include <array>
#include <cstdint>

namespace pellvane {

// One pulse-form generator: it passes one of every `downscale` pulses (the one selected by
// `phase`), delays it and emits a pulse of the given width. Times in microseconds.
struct PulseFormState {
    uint32_t downscale = 1;
    uint32_t phase = 0;
    double delay = 0.0;
    double width = 4.0;
};

// The stored values of this module's parameters, held by the applet object. Each starts at the
// value the start-up defaults set again through the setters.
struct TriggerState {
    // Modes, states and generator.
    uint32_t areaTriggerMode = 1; // ATM_GENERATOR
    uint32_t triggerState = 2;    // TS_SYNC_STOP
    double framesPerSecond = 8.0;
    uint32_t exceededPeriodLimitsClear = 1;

    // Input stage, statistics, software trigger, sequencer and queue.
    double debounce = 1.0;
    uint32_t inputSource = 0;
    uint32_t inputPolarity = 0; // HIGH_ACTIVE
    uint32_t inputDownscale = 1;
    uint32_t inputDownscalePhase = 0;
    uint32_t bypassSource = 0;
    uint32_t softwareTriggerCount = 1;
    uint32_t inputPulseCountClear = 1;
    uint32_t minMaxFrequencyClear = 1;
    uint32_t multiplyPulses = 1;
    uint32_t queueMode = 0; // FG_OFF

    // Queue thresholds, pulse-form generators and outputs.
    uint32_t queueOnThreshold = 2047;
    uint32_t queueOffThreshold = 2;
    std::array<PulseFormState, 4> pulseForms{{{1, 0, 0.0, 4000.0}, {}, {}, {}}};
    std::array<uint32_t, 4> ccSelect{6, 5, 5, 5};                 // CC_NOT_PULSEGEN0, then CC_VCC
    std::array<uint32_t, 8> outputSelect{6, 7, 5, 5, 5, 5, 5, 5}; // NOT_PULSEGEN0/1, then VCC
    uint32_t outputStatsSource = 0;
    uint32_t outputPulseCountClear = 1;
    uint32_t missingFrameClear = 1;
    uint32_t outputEventSelect = 0;

    // The two values the generator and queue operations write to hold and release the
    // generator and to choose its feed.
    uint32_t registerZero = 0;
    uint32_t registerOne = 1;
};

class FgXeWrapperImpl;

// Brings the trigger system's outputs into a defined state at start-up, before the defaults:
// every output to its idle level, the generator held, then the stored selections written again.
// Throws the code of a failing register write.
void startTriggerSystem(FgXeWrapperImpl& applet);

} // namespace pellvane
