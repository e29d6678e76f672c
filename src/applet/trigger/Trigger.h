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
    uint32_t downscale;
    uint32_t phase;
    double delay;
    double width;
};

// Generator n's start-up defaults; its identifiers follow generator 0's, four to a generator.
template <int32_t N>
constexpr PulseFormState pulseFormDefaults() {
    constexpr int32_t step =
        FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE - FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE;
    return {declaredWord(FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE + N * step),
            declaredWord(FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE_PHASE + N * step),
            declaredDefault(FG_TRIGGER_PULSEFORMGEN0_DELAY + N * step),
            declaredDefault(FG_TRIGGER_PULSEFORMGEN0_WIDTH + N * step)};
}

// The stored values of this module's parameters, held by the applet object. Each starts at the
// value the start-up defaults set again through the setters.
struct TriggerState {
    // Modes, states and generator.
    uint32_t areaTriggerMode = declaredWord(FG_AREATRIGGERMODE);
    uint32_t triggerState = declaredWord(FG_TRIGGERSTATE);
    double framesPerSecond = declaredDefault(FG_TRIGGER_FRAMESPERSECOND);
    uint32_t exceededPeriodLimitsClear = 1;

    // Input stage, statistics, software trigger, sequencer and queue.
    double debounce = declaredDefault(FG_TRIGGERIN_DEBOUNCE);
    uint32_t inputSource = declaredWord(FG_TRIGGERIN_SRC);
    uint32_t inputPolarity = declaredWord(FG_TRIGGERIN_POLARITY);
    uint32_t inputDownscale = declaredWord(FG_TRIGGERIN_DOWNSCALE);
    uint32_t inputDownscalePhase = declaredWord(FG_TRIGGERIN_DOWNSCALE_PHASE);
    uint32_t bypassSource = declaredWord(FG_TRIGGERIN_BYPASS_SRC);
    uint32_t softwareTriggerCount = 1;
    uint32_t inputPulseCountClear = declaredWord(FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR);
    uint32_t minMaxFrequencyClear = 1;
    uint32_t multiplyPulses = declaredWord(FG_TRIGGER_MULTIPLY_PULSES);
    uint32_t queueMode = declaredWord(FG_TRIGGERQUEUE_MODE);

    // Queue thresholds, pulse-form generators and outputs.
    uint32_t queueOnThreshold = declaredWord(FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD);
    uint32_t queueOffThreshold = declaredWord(FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_OFF_THRESHOLD);
    std::array<PulseFormState, 4> pulseForms{{pulseFormDefaults<0>(), pulseFormDefaults<1>(),
                                              pulseFormDefaults<2>(), pulseFormDefaults<3>()}};
    std::array<uint32_t, 4> ccSelect{
        declaredWord(FG_TRIGGERCC_SELECT0), declaredWord(FG_TRIGGERCC_SELECT1),
        declaredWord(FG_TRIGGERCC_SELECT2), declaredWord(FG_TRIGGERCC_SELECT3)};
    std::array<uint32_t, 8> outputSelect{
        declaredWord(FG_TRIGGEROUT_SELECT0), declaredWord(FG_TRIGGEROUT_SELECT1),
        declaredWord(FG_TRIGGEROUT_SELECT2), declaredWord(FG_TRIGGEROUT_SELECT3),
        declaredWord(FG_TRIGGEROUT_SELECT4), declaredWord(FG_TRIGGEROUT_SELECT5),
        declaredWord(FG_TRIGGEROUT_SELECT6), declaredWord(FG_TRIGGEROUT_SELECT7)};
    uint32_t outputStatsSource = declaredWord(FG_TRIGGEROUT_STATS_SOURCE);
    uint32_t outputPulseCountClear = 1;
    uint32_t missingFrameClear = 1;
    uint32_t outputEventSelect = declaredWord(FG_TRIGGER_OUTPUT_EVENT_SELECT);

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
