// What the parts of the trigger system share: identifiers and enumeration values, the legacy
// lock, the operations the transition routine is made of, and the setters other parts call.
#pragma once

#include "parameters/ParameterTable.h"

#include "parameters/Registers.h"
#include <pellvane/parameters.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace pellvane {

class FgXeWrapperImpl;

namespace trigger {

// FG_AREATRIGGERMODE and FG_TRIGGERSTATE values.
constexpr uint32_t kGenerator = ATM_GENERATOR;
constexpr uint32_t kExternal = ATM_EXTERNAL;
constexpr uint32_t kSoftware = ATM_SOFTWARE;
constexpr uint32_t kActive = TS_ACTIVE;
constexpr uint32_t kAsyncStop = TS_ASYNC_STOP;
constexpr uint32_t kSyncStop = TS_SYNC_STOP;

// Access values of an information node.
constexpr int32_t kReadOnly = 1;
constexpr int32_t kReadWrite = 7;

// Every timing register counts 16 ns ticks; the queue holds this many pulses.
constexpr uint32_t kQueueSize = 2040;
// The select value of a constant low output; an inverted one is high.
constexpr uint32_t kSelectLow = 5;

// Parameter identifiers the trigger system refers to.
namespace id {
constexpr int32_t kFramesPerSecond = FG_TRIGGER_FRAMESPERSECOND;
constexpr int32_t kAreaTriggerMode = FG_AREATRIGGERMODE;
constexpr int32_t kTriggerState = FG_TRIGGERSTATE;
constexpr int32_t kExceededPeriodLimits = FG_TRIGGER_EXCEEDED_PERIOD_LIMITS;
constexpr int32_t kExceededPeriodLimitsClear = FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CLEAR;
constexpr int32_t kDebounce = FG_TRIGGERIN_DEBOUNCE;
constexpr int32_t kInputDownscale = FG_TRIGGERIN_DOWNSCALE;
constexpr int32_t kInputDownscalePhase = FG_TRIGGERIN_DOWNSCALE_PHASE;
constexpr int32_t kInputPulseCount = FG_TRIGGERIN_STATS_PULSECOUNT;
constexpr int32_t kInputPulseCountClear = FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR;
constexpr int32_t kInputFrequency = FG_TRIGGERIN_STATS_FREQUENCY;
constexpr int32_t kInputMinFrequency = FG_TRIGGERIN_STATS_MINFREQUENCY;
constexpr int32_t kInputMaxFrequency = FG_TRIGGERIN_STATS_MAXFREQUENCY;
constexpr int32_t kMinMaxFrequencyClear = FG_TRIGGERIN_STATS_MINMAXFREQUENCY_CLEAR;
constexpr int32_t kMultiplyPulses = FG_TRIGGER_MULTIPLY_PULSES;
constexpr int32_t kQueueMode = FG_TRIGGERQUEUE_MODE;
constexpr int32_t kQueueFillLevel = FG_TRIGGERQUEUE_FILLLEVEL;
constexpr int32_t kOutputSelect0 = FG_TRIGGEROUT_SELECT0; // outputs 0 to 3
constexpr int32_t kOutputStatsSource = FG_TRIGGEROUT_STATS_SOURCE;
constexpr int32_t kOutputPulseCount = FG_TRIGGEROUT_STATS_PULSECOUNT;
constexpr int32_t kOutputPulseCountClear = FG_TRIGGEROUT_STATS_PULSECOUNT_CLEAR;
constexpr int32_t kQueueOnThreshold = FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD;
constexpr int32_t kQueueOffThreshold = FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_OFF_THRESHOLD;
constexpr int32_t kOutputEventSelect = FG_TRIGGER_OUTPUT_EVENT_SELECT;
constexpr int32_t kBypassSource = FG_TRIGGERIN_BYPASS_SRC;
constexpr int32_t kOutputSelect4 = FG_TRIGGEROUT_SELECT4; // outputs 4 to 7
constexpr int32_t kMissingFrame = FG_MISSING_CAMERA_FRAME_RESPONSE;
constexpr int32_t kMissingFrameClear = FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR;
constexpr int32_t kCcSelect0 = FG_TRIGGERCC_SELECT0; // lines 0 to 3
constexpr int32_t kLegacyMode = FG_TRIGGER_LEGACY_MODE;
constexpr int32_t kInputSource = FG_TRIGGERIN_SRC;
constexpr int32_t kInputPolarity = FG_TRIGGERIN_POLARITY;
constexpr int32_t kSendSoftwareTrigger = FG_SENDSOFTWARETRIGGER;
constexpr int32_t kSoftwareQueueFillLevel = FG_SOFTWARETRIGGER_QUEUE_FILLLEVEL;
constexpr int32_t kDigitalInput = FG_DIGIO_INPUT;
constexpr int32_t kSoftwareTriggerBusy = FG_SOFTWARETRIGGER_IS_BUSY;

// Generator n's identifiers follow generator 0's, one step per generator.
constexpr int32_t kPulseFormStep =
    FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE - FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE;
constexpr int32_t pulseFormDownscale(unsigned n) {
    return FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE + kPulseFormStep * static_cast<int32_t>(n);
}
constexpr int32_t pulseFormPhase(unsigned n) {
    return FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE_PHASE + kPulseFormStep * static_cast<int32_t>(n);
}
constexpr int32_t pulseFormDelay(unsigned n) {
    return FG_TRIGGER_PULSEFORMGEN0_DELAY + kPulseFormStep * static_cast<int32_t>(n);
}
constexpr int32_t pulseFormWidth(unsigned n) {
    return FG_TRIGGER_PULSEFORMGEN0_WIDTH + kPulseFormStep * static_cast<int32_t>(n);
}
constexpr int32_t ccSelect(unsigned k) {
    return kCcSelect0 + static_cast<int32_t>(k);
}
constexpr int32_t outputSelect(unsigned k) {
    return k < 4 ? kOutputSelect0 + static_cast<int32_t>(k)
                 : kOutputSelect4 + static_cast<int32_t>(k - 4);
}
} // namespace id

// True when v is one of the listed values.
inline bool isOneOf(uint32_t v, std::initializer_list<uint32_t> values) {
    return std::find(values.begin(), values.end(), v) != values.end();
}

// True when lo <= v <= hi; NaN is never in range.
inline bool inRange(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

// Throws -2070 for a parameter that carries the legacy lock while the legacy mode is on, unless
// a legacy setter is driving it.
void requireUnlocked(FgXeWrapperImpl& a);

// The operations the transition routine is made of. A failing register write throws its code
// at once and skips the remaining steps.
void holdOutputs(FgXeWrapperImpl& a);
void restoreOutputs(FgXeWrapperImpl& a);
void startGenerator(FgXeWrapperImpl& a);
void stopGenerator(FgXeWrapperImpl& a);
void startQueue(FgXeWrapperImpl& a);
void resetPulseForms(FgXeWrapperImpl& a);
void clearInputDownscale(FgXeWrapperImpl& a);
void clearSequenceDownscale(FgXeWrapperImpl& a);
void selectExternal(FgXeWrapperImpl& a, uint32_t v);
void restart(FgXeWrapperImpl& a);
void applyTriggerTransition(FgXeWrapperImpl& a, uint32_t oldMode, uint32_t oldState,
                            uint32_t newMode, uint32_t newState);

// The generator's frame rate: the setter and the rate as its getter returns it.
void setFramesPerSecond(FgXeWrapperImpl& a, double f, bool reportErrors);
double framesPerSecond(FgXeWrapperImpl& a);

// Delay, width and downscale of pulse-form generator n as the timing rule sees them: delay and
// width read back from the generator's registers, the downscale as stored.
struct PulseTiming {
    double downscale;
    double delay; // microseconds
    double width; // microseconds
};
PulseTiming pulseTiming(FgXeWrapperImpl& a, unsigned n);
// Delay and width each stay shorter than `downscale` generator periods.
bool timingHolds(double framesPerSecond, const PulseTiming& t);

// The output selections of camera-control line k and digital output k.
void setCcSelect(FgXeWrapperImpl& a, unsigned k, uint32_t v, bool reportErrors);
void setOutputSelect(FgXeWrapperImpl& a, unsigned k, uint32_t v, bool reportErrors);

// Fill level of the queue and the busy flag of the software trigger.
uint32_t queueFillLevel(FgXeWrapperImpl& a);
uint32_t softwareTriggerBusy(FgXeWrapperImpl& a);

// Sets any parameter through its own setter; integers are given as exact doubles.
void callSetter(FgXeWrapperImpl& a, int32_t id, double value, bool reportErrors);

// Changes the advertised limits of an integer parameter's information node.
void setAdvertisedMin(FgXeWrapperImpl& a, int32_t id, int64_t min);
void setAdvertisedMax(FgXeWrapperImpl& a, int32_t id, int64_t max);

// The parameters served by each part.
std::span<const ParameterBinding> generatorBindings();
std::span<const ParameterBinding> inputStageBindings();
std::span<const ParameterBinding> pulseFormBindings();

} // namespace trigger
} // namespace pellvane
