// What the parts of the trigger system share: identifiers and enumeration values, the legacy
// lock, the operations the transition routine is made of, and the setters other parts call.
#pragma once

#include "parameters/ParameterTable.h"
#include "parameters/Registers.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace pellvane {

class FgXeWrapperImpl;

namespace trigger {

// FG_AREATRIGGERMODE and FG_TRIGGERSTATE values.
constexpr uint32_t kGenerator = 1; // ATM_GENERATOR
constexpr uint32_t kExternal = 2;  // ATM_EXTERNAL
constexpr uint32_t kSoftware = 4;  // ATM_SOFTWARE
constexpr uint32_t kActive = 0;    // TS_ACTIVE
constexpr uint32_t kAsyncStop = 1; // TS_ASYNC_STOP
constexpr uint32_t kSyncStop = 2;  // TS_SYNC_STOP

// Access values of an information node.
constexpr int32_t kReadOnly = 1;
constexpr int32_t kReadWrite = 7;

// Every timing register counts 16 ns ticks; the queue holds this many pulses.
constexpr uint32_t kQueueSize = 2040;
// The select value of a constant low output; an inverted one is high.
constexpr uint32_t kSelectLow = 5;

// Parameter identifiers the trigger system refers to.
namespace id {
constexpr int32_t kFramesPerSecond = 90;
constexpr int32_t kAreaTriggerMode = 300200;
constexpr int32_t kTriggerState = 300201;
constexpr int32_t kExceededPeriodLimits = 300202;
constexpr int32_t kExceededPeriodLimitsClear = 300203;
constexpr int32_t kDebounce = 300204;
constexpr int32_t kInputDownscale = 300205;
constexpr int32_t kInputDownscalePhase = 300206;
constexpr int32_t kInputPulseCount = 300207;
constexpr int32_t kInputPulseCountClear = 300208;
constexpr int32_t kInputFrequency = 300209;
constexpr int32_t kInputMinFrequency = 300210;
constexpr int32_t kInputMaxFrequency = 300211;
constexpr int32_t kMinMaxFrequencyClear = 300212;
constexpr int32_t kMultiplyPulses = 300213;
constexpr int32_t kQueueMode = 300214;
constexpr int32_t kQueueFillLevel = 300215;
constexpr int32_t kPulseForm0Downscale = 300216; // then phase, delay, width; 4 per generator
constexpr int32_t kOutputSelect0 = 300232;       // outputs 0 to 3
constexpr int32_t kOutputStatsSource = 300236;
constexpr int32_t kOutputPulseCount = 300237;
constexpr int32_t kOutputPulseCountClear = 300238;
constexpr int32_t kQueueOnThreshold = 300240;
constexpr int32_t kQueueOffThreshold = 300241;
constexpr int32_t kOutputEventSelect = 300242;
constexpr int32_t kBypassSource = 300243;
constexpr int32_t kOutputSelect4 = 300244; // outputs 4 to 7
constexpr int32_t kMissingFrame = 300248;
constexpr int32_t kMissingFrameClear = 300249;
constexpr int32_t kCcSelect0 = 300250; // lines 0 to 3
constexpr int32_t kLegacyMode = 300254;
constexpr int32_t kInputSource = 8110;
constexpr int32_t kInputPolarity = 8116;
constexpr int32_t kSendSoftwareTrigger = 8800;
constexpr int32_t kSoftwareQueueFillLevel = 8802;
constexpr int32_t kDigitalInput = 14010;
constexpr int32_t kSoftwareTriggerBusy = 110075;

constexpr int32_t pulseFormDownscale(unsigned n) {
    return kPulseForm0Downscale + 4 * static_cast<int32_t>(n);
}
constexpr int32_t pulseFormPhase(unsigned n) {
    return pulseFormDownscale(n) + 1;
}
constexpr int32_t pulseFormDelay(unsigned n) {
    return pulseFormDownscale(n) + 2;
}
constexpr int32_t pulseFormWidth(unsigned n) {
    return pulseFormDownscale(n) + 3;
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
