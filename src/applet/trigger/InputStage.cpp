// The front of the trigger chain: input selection, debounce, downscale, statistics, the
// software trigger, the pulse multiplier and the queue.
#include "entry/FgXeWrapperImpl.h"
#include "host/ErrorCodes.h"
#include "parameters/SetterPattern.h"
#include "platform/PreciseClock.h"
#include "trigger/TriggerOps.h"

namespace pellvane::trigger {

namespace {

constexpr uint32_t kPulse = 2;
constexpr double kMinDebounce = 0.096; // 2 units of 48 ns
constexpr double kMaxDebounce = 3.024; // 63 units
constexpr uint32_t kMaxInputDownscale = 2147483647;
constexpr uint32_t kMaxMultiply = 65535;
constexpr uint32_t kQueueOffMinimumPeriod = 10;

uint32_t asUnsigned(int32_t v) {
    return static_cast<uint32_t>(v);
}

void setDebounce(FgXeWrapperImpl& a, double t, bool report) {
    if (!inRange(t, kMinDebounce, kMaxDebounce)) return reject(kValueOutOfRange, report);
    commit(a.trigger().debounce, t, report, [&] {
        requireUnlocked(a);
        // The debounce register counts 48 ns units, rounded half up.
        auto units = static_cast<uint32_t>(t * 1000 / 48 + 0.5);
        a.writeRegister(Reg::TriggerInputDebounce8PrescalePeriod, units);
    });
}

// Reads back what the register holds: 1.0 us is stored as 21 units and reads 1.008.
double debounce(FgXeWrapperImpl& a) {
    return static_cast<double>(a.readRegister(Reg::TriggerInputDebounce8PrescalePeriod)) * 48 /
           1000;
}

void setInputSource(FgXeWrapperImpl& a, int32_t value, bool report) {
    uint32_t v = asUnsigned(value);
    if (v > 7) return reject(kValueOutOfRange, report);
    commit(a.trigger().inputSource, v, report, [&] { a.writeRegister(Reg::InputSelectSelect, v); });
}

void setInputPolarity(FgXeWrapperImpl& a, int32_t value, bool report) {
    uint32_t v = asUnsigned(value);
    if (v > 1) return reject(kValueOutOfRange, report);
    commit(a.trigger().inputPolarity, v, report,
           [&] { a.writeRegister(Reg::InputSelectPolarityInvert, v); });
}

// The downscale and its phase limit each other: the downscale stays above the phase.
void setInputDownscale(FgXeWrapperImpl& a, int32_t value, bool report) {
    uint32_t v = asUnsigned(value);
    TriggerState& t = a.trigger();
    if (v < t.inputDownscalePhase + 1 || v > kMaxInputDownscale)
        return reject(kValueOutOfRange, report);
    commit(t.inputDownscale, v, report, [&] {
        requireUnlocked(a);
        a.writeRegister(Reg::Downscale, v);
        setAdvertisedMax(a, id::kInputDownscalePhase, int64_t{v} - 1);
    });
}

void setInputDownscalePhase(FgXeWrapperImpl& a, int32_t value, bool report) {
    uint32_t v = asUnsigned(value);
    TriggerState& t = a.trigger();
    if (v >= t.inputDownscale) return reject(kValueOutOfRange, report);
    commit(t.inputDownscalePhase, v, report, [&] {
        requireUnlocked(a);
        // The design counts the selected pulse from 1.
        a.writeRegister(Reg::DownscaleSelectedPulse, v + 1);
        setAdvertisedMin(a, id::kInputDownscale, int64_t{v} + 1);
    });
}

void setBypassSource(FgXeWrapperImpl& a, int32_t value, bool report) {
    uint32_t v = asUnsigned(value);
    if (v > 7) return reject(kValueOutOfRange, report);
    commit(a.trigger().bypassSource, v, report, [&] {
        requireUnlocked(a);
        a.writeRegister(Reg::InputSelectBypassSelectSelect, v);
    });
}

void setInputPulseCountClear(FgXeWrapperImpl& a, int32_t value, bool report) {
    if (value != 1) return reject(kValueOutOfRange, report);
    commit(a.trigger().inputPulseCountClear, 1u, report, [&] {
        requireUnlocked(a);
        a.writeRegister(Reg::InputStatisticsClearPulsesMode, kPulse);
    });
}

// The minimum and maximum measurement clears on every change of this register's value.
void setMinMaxFrequencyClear(FgXeWrapperImpl& a, int32_t value, bool report) {
    if (value != 1) return reject(kValueOutOfRange, report);
    commit(a.trigger().minMaxFrequencyClear, 1u, report, [&] {
        requireUnlocked(a);
        uint32_t current = a.readRegister(Reg::InputStatisticsClearMinMaxValue);
        a.writeRegister(Reg::InputStatisticsClearMinMaxValue, current == 0 ? 1 : 0);
    });
}

// A frequency from a period in 16 ns ticks, computed like the generator's rate; a period of 0
// gives positive infinity.
double frequencyOf(uint32_t ticks) {
    double x = static_cast<double>(ticks) * 16;
    x = x * 1e-9;
    return 1 / x;
}

double inputFrequency(FgXeWrapperImpl& a) {
    return frequencyOf(a.readRegister(Reg::InputStatisticsReadPeriodStatus));
}
// The longest period is the lowest frequency.
double inputMinFrequency(FgXeWrapperImpl& a) {
    return frequencyOf(a.readRegister(Reg::InputStatisticsReadMaxStatus));
}
double inputMaxFrequency(FgXeWrapperImpl& a) {
    return frequencyOf(a.readRegister(Reg::InputStatisticsReadMinStatus));
}

void setMultiplyPulses(FgXeWrapperImpl& a, int32_t value, bool report) {
    uint32_t m = asUnsigned(value);
    if (m < 1 || m > kMaxMultiply) return reject(kValueOutOfRange, report);
    TriggerState& t = a.trigger();
    uint32_t old = t.multiplyPulses;
    commit(t.multiplyPulses, m, report, [&] {
        requireUnlocked(a);
        // The selected pulse must never exceed the downscale in the hardware, not even between
        // the two writes.
        if (m <= old) {
            a.writeRegister(Reg::GeneratorSequenceSelectedPulse, m);
            a.writeRegister(Reg::GeneratorSequenceDownscale, m);
        } else {
            a.writeRegister(Reg::GeneratorSequenceDownscale, m);
            a.writeRegister(Reg::GeneratorSequenceSelectedPulse, m);
        }
        clearSequenceDownscale(a);
    });
}

void applyQueueMode(FgXeWrapperImpl& a, uint32_t on) {
    if (on == 0) {
        // Without a queue, pulses pass as fast as the outputs allow.
        a.writeRegister(Reg::GeneratorMinimumPeriod, kQueueOffMinimumPeriod);
        a.writeRegister(Reg::GeneratorQueueQueueFullValue, 1);
        a.writeRegister(Reg::GeneratorQueueQueueEnabledSelect, 0);
    } else {
        setFramesPerSecond(a, framesPerSecond(a), true);
        a.writeRegister(Reg::GeneratorQueueQueueFullValue, kQueueSize);
        a.writeRegister(Reg::GeneratorQueueQueueEnabledSelect, 1);
    }
}

void setQueueMode(FgXeWrapperImpl& a, int32_t value, bool report) {
    uint32_t v = asUnsigned(value);
    if (v > 1) return reject(kValueOutOfRange, report);
    TriggerState& t = a.trigger();
    commit(t.queueMode, v, report, [&] {
        requireUnlocked(a);
        // The free-running generator has no queue: there only the software trigger's limit
        // moves.
        if (t.areaTriggerMode != kGenerator) applyQueueMode(a, v);
        setAdvertisedMax(a, id::kSendSoftwareTrigger, v == 1 ? kQueueSize : 1);
    });
}

// Busy-waits on the precise counter, which is far finer than any sleep; without such a counter
// it sleeps whole milliseconds.
void pause(uint32_t seconds, uint32_t nanoseconds) {
    const int64_t frequency = platform::counterFrequency();
    if (frequency > 0) {
        const int64_t ticks =
            int64_t{seconds} * frequency + int64_t{nanoseconds / 1000} * frequency / 1000000;
        const int64_t start = platform::counterNow();
        while (platform::counterNow() - start < ticks) {
        }
    } else {
        platform::sleepMilliseconds(seconds * 1000 + nanoseconds / 1000000);
    }
}

void setSendSoftwareTrigger(FgXeWrapperImpl& a, int32_t value, bool report) {
    uint32_t n = asUnsigned(value);
    TriggerState& t = a.trigger();
    const uint32_t limit = t.queueMode == 1 ? kQueueSize : 1;
    if (n == 0 || n > limit) return reject(kValueOutOfRange, report);
    commit(t.softwareTriggerCount, n, report, [&] {
        if (t.areaTriggerMode != kSoftware) fail(kNotSoftwareMode);
        if (t.triggerState != kActive) fail(kTriggerNotActive);
        // Without the queue a pulse sent while one is still in flight would be lost.
        if (t.queueMode == 0 && softwareTriggerBusy(a) != 0) fail(kTriggerBusy);
        for (uint32_t i = 0; i < n; ++i) {
            a.writeRegister(Reg::TriggerModeSoftwareTriggerMode, kPulse);
            pause(0, 160);
        }
    });
}

int32_t softwareQueueFillLevel(FgXeWrapperImpl& a) {
    if (a.trigger().areaTriggerMode != kSoftware) return 0;
    return static_cast<int32_t>(queueFillLevel(a) * a.trigger().multiplyPulses);
}

template <uint32_t TriggerState::*Field>
int32_t stored(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.trigger().*Field);
}

template <Reg R>
int32_t registerValue(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.readRegister(R));
}

int32_t busyFlag(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(softwareTriggerBusy(a));
}
int32_t fillLevel(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(queueFillLevel(a));
}

using S = TriggerState;
constexpr ParameterBinding kInputStageBindings[] = {
    {id::kDebounce, doubleSetter<setDebounce>, doubleGetter<debounce>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::debounce>},
    {id::kDigitalInput, nullptr, intGetter<registerValue<Reg::TriggerInputInputStatusStatus>>},
    {id::kInputSource, intSetter<setInputSource>, intGetter<stored<&S::inputSource>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::inputSource>},
    {id::kInputPolarity, intSetter<setInputPolarity>, intGetter<stored<&S::inputPolarity>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::inputPolarity>},
    {id::kInputDownscale, intSetter<setInputDownscale>, intGetter<stored<&S::inputDownscale>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::inputDownscale>},
    {id::kInputDownscalePhase, intSetter<setInputDownscalePhase>,
     intGetter<stored<&S::inputDownscalePhase>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::inputDownscalePhase>},
    {id::kBypassSource, intSetter<setBypassSource>, intGetter<stored<&S::bypassSource>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::bypassSource>},
    {id::kInputPulseCount, nullptr, intGetter<registerValue<Reg::InputStatisticsReadPulsesStatus>>},
    {id::kInputPulseCountClear, intSetter<setInputPulseCountClear>,
     intGetter<stored<&S::inputPulseCountClear>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::inputPulseCountClear>},
    {id::kInputFrequency, nullptr, doubleGetter<inputFrequency>},
    {id::kInputMinFrequency, nullptr, doubleGetter<inputMinFrequency>},
    {id::kInputMaxFrequency, nullptr, doubleGetter<inputMaxFrequency>},
    {id::kMinMaxFrequencyClear, intSetter<setMinMaxFrequencyClear>,
     intGetter<stored<&S::minMaxFrequencyClear>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::minMaxFrequencyClear>},
    {id::kSendSoftwareTrigger, intSetter<setSendSoftwareTrigger>,
     intGetter<stored<&S::softwareTriggerCount>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::softwareTriggerCount>},
    {id::kSoftwareTriggerBusy, nullptr, intGetter<busyFlag>},
    {id::kSoftwareQueueFillLevel, nullptr, intGetter<softwareQueueFillLevel>},
    {id::kMultiplyPulses, intSetter<setMultiplyPulses>, intGetter<stored<&S::multiplyPulses>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::multiplyPulses>},
    {id::kQueueMode, intSetter<setQueueMode>, intGetter<stored<&S::queueMode>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::queueMode>},
    {id::kQueueFillLevel, nullptr, intGetter<fillLevel>},
};

} // namespace

// Busy unless the generator has reached its limit with nothing left in the queue; only the
// software trigger can be busy.
uint32_t softwareTriggerBusy(FgXeWrapperImpl& a) {
    if (a.trigger().areaTriggerMode != kSoftware) return 0;
    uint32_t maximumReached = a.readRegister(Reg::GeneratorMaximumReachedStatus);
    uint32_t queued = a.readRegister(Reg::GeneratorQueueValueStatus);
    return maximumReached != 0 && queued == 0 ? 0 : 1;
}

// A full queue (bit 1 of the status) counts as its size; an empty queue whose generator is
// still working on a pulse counts as one.
uint32_t queueFillLevel(FgXeWrapperImpl& a) {
    const TriggerState& t = a.trigger();
    if (t.areaTriggerMode == kGenerator || t.triggerState == kAsyncStop) return 0;
    if ((a.readRegister(Reg::MonitoringReadQueueStatusStatus) & 2u) != 0) return kQueueSize;
    if (uint32_t queued = a.readRegister(Reg::GeneratorQueueValueStatus); queued != 0)
        return queued;
    return a.readRegister(Reg::GeneratorMaximumReachedStatus) == 0 ? 1 : 0;
}

std::span<const ParameterBinding> inputStageBindings() {
    return kInputStageBindings;
}

} // namespace pellvane::trigger
