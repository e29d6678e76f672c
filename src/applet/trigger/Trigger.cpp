// The trigger system's mode, state and generator, and what its parts share.
#include "trigger/Trigger.h"

#include "entry/FgXeWrapperImpl.h"
#include "host/ErrorCodes.h"
#include "parameters/SetterPattern.h"
#include "trigger/TriggerOps.h"

#include <bit>
#include <limits>
#include <vector>

namespace pellvane {

namespace trigger {

namespace {

// The generator's period register counts 16 ns ticks less 9 and is 32 bits wide: the slowest
// rate is 1 / (2^32 x 16 ns), the fastest 1 / (10 x 16 ns).
constexpr double kMinFramesPerSecond = declaredNode(FG_TRIGGER_FRAMESPERSECOND).min;
constexpr double kMaxFramesPerSecond = declaredNode(FG_TRIGGER_FRAMESPERSECOND).max;
// While the legacy trigger mode runs anything but the grabber-controlled mode, the generator
// only limits the output period.
constexpr uint32_t kMinimumPeriod = 10;
constexpr uint32_t kGrabberControlled = 1;

// Truncates a non-negative double; NaN gives 0 and values beyond the range saturate.
uint64_t truncateToUnsigned(double x) {
    if (!(x >= 0.0)) return 0;
    if (x >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(x);
}

// The period register's value for a rate. The double operations and their order are part of the
// register value: 8 Hz gives 7812499.999999999 ticks before truncation, so the register gets
// 7812490, not 7812491.
uint32_t periodRegister(double f) {
    double x = f * 16;
    x = x * 1e-9;
    x = 1 / x;
    uint64_t ticks = truncateToUnsigned(x);
    return static_cast<uint32_t>(ticks < 9 ? 0 : ticks - 9);
}

void setAreaTriggerMode(FgXeWrapperImpl& a, int32_t value, bool report) {
    auto v = static_cast<uint32_t>(value);
    if (!isOneOf(v, {kGenerator, kExternal, kSoftware})) return reject(kValueOutOfRange, report);
    TriggerState& t = a.trigger();
    uint32_t old = t.areaTriggerMode;
    commit(t.areaTriggerMode, v, report, [&] {
        requireUnlocked(a);
        applyTriggerTransition(a, old, t.triggerState, v, t.triggerState);
    });
}

void setTriggerState(FgXeWrapperImpl& a, int32_t value, bool report) {
    auto v = static_cast<uint32_t>(value);
    if (!isOneOf(v, {kActive, kAsyncStop, kSyncStop})) return reject(kValueOutOfRange, report);
    TriggerState& t = a.trigger();
    uint32_t old = t.triggerState;
    commit(t.triggerState, v, report, [&] {
        requireUnlocked(a);
        applyTriggerTransition(a, t.areaTriggerMode, old, t.areaTriggerMode, v);
    });
}

void setExceededPeriodLimitsClear(FgXeWrapperImpl& a, int32_t value, bool report) {
    if (value != 1) return reject(kValueOutOfRange, report);
    commit(a.trigger().exceededPeriodLimitsClear, 1u, report, [&] {
        requireUnlocked(a);
        a.writeRegister(Reg::MonitoringClearOverrideCam0Mode, 2);
    });
}

int32_t areaTriggerMode(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.trigger().areaTriggerMode);
}
int32_t triggerState(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.trigger().triggerState);
}
int32_t exceededPeriodLimitsClear(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.trigger().exceededPeriodLimitsClear);
}

// Bit 0 of the queue status: the input asked for pulses faster than the output may run. The
// generator cannot exceed its own period.
int32_t exceededPeriodLimits(FgXeWrapperImpl& a) {
    if (a.trigger().areaTriggerMode == kGenerator) return 0;
    return static_cast<int32_t>(a.readRegister(Reg::MonitoringReadQueueStatusStatus) & 1u);
}

constexpr ParameterBinding kGeneratorBindings[] = {
    {id::kAreaTriggerMode, intSetter<setAreaTriggerMode>, intGetter<areaTriggerMode>,
     fieldOf<&FgXeWrapperImpl::trigger, &TriggerState::areaTriggerMode>},
    {id::kTriggerState, intSetter<setTriggerState>, intGetter<triggerState>,
     fieldOf<&FgXeWrapperImpl::trigger, &TriggerState::triggerState>},
    {id::kFramesPerSecond, doubleSetter<setFramesPerSecond>, doubleGetter<framesPerSecond>,
     fieldOf<&FgXeWrapperImpl::trigger, &TriggerState::framesPerSecond>},
    {id::kExceededPeriodLimits, nullptr, intGetter<exceededPeriodLimits>},
    {id::kExceededPeriodLimitsClear, intSetter<setExceededPeriodLimitsClear>,
     intGetter<exceededPeriodLimitsClear>},
};

} // namespace

void requireUnlocked(FgXeWrapperImpl& a) {
    const LegacyTriggerState& legacy = a.legacyTrigger();
    if (legacy.mode == 1 && !legacy.internalSet) fail(kInvalidParameter);
}

void setFramesPerSecond(FgXeWrapperImpl& a, double f, bool report) {
    if (!inRange(f, kMinFramesPerSecond, kMaxFramesPerSecond))
        return reject(kValueOutOfRange, report);
    commit(a.trigger().framesPerSecond, f, report, [&] {
        double rate = framesPerSecond(a);
        for (unsigned n = 0; n < a.trigger().pulseForms.size(); ++n)
            if (!timingHolds(rate, pulseTiming(a, n))) fail(kTimingRule);
        const LegacyTriggerState& legacy = a.legacyTrigger();
        uint32_t period = legacy.mode == 1 && legacy.triggerMode != kGrabberControlled
                              ? kMinimumPeriod
                              : periodRegister(f);
        a.writeRegister(Reg::GeneratorMinimumPeriod, period);
    });
}

// The rate the period register really gives, not the one stored: 8 Hz reads 8.000000000000002,
// 30 Hz reads 30.0.
double framesPerSecond(FgXeWrapperImpl& a) {
    double f = a.trigger().framesPerSecond;
    double x = f * 16;
    x = x * 1e-9;
    double y = 1 / x;
    y = y * 16;
    y = y * 1e-9;
    return 1 / y;
}

PulseTiming pulseTiming(FgXeWrapperImpl& a, unsigned n) {
    static constexpr Reg kDelay[] = {Reg::PulseForm0Delay, Reg::PulseForm1Delay,
                                     Reg::PulseForm2Delay, Reg::PulseForm3Delay};
    static constexpr Reg kWidth[] = {Reg::PulseForm0Width, Reg::PulseForm1Width,
                                     Reg::PulseForm2Width, Reg::PulseForm3Width};
    PulseTiming t{};
    t.downscale = a.trigger().pulseForms[n].downscale;
    t.delay = static_cast<double>(a.readRegister(kDelay[n])) * 16 / 1000;
    t.width = static_cast<double>(a.readRegister(kWidth[n])) * 16 / 1000;
    return t;
}

bool timingHolds(double rate, const PulseTiming& t) {
    double period = 1000000 / rate;
    double longest = std::max({0.0, t.delay / t.downscale, t.width / t.downscale});
    return period > longest;
}

void callSetter(FgXeWrapperImpl& a, int32_t pid, double value, bool report) {
    ParameterEntry p = findEntry(pid);
    if (p.def == nullptr || p.set == nullptr) fail(kInvalidParameter);
    if (p.def->type == ValueType::Double) {
        p.set(a, &value, report);
    } else {
        auto v = static_cast<int32_t>(static_cast<int64_t>(value));
        p.set(a, &v, report);
    }
}

// The limits sit in the node's 32-bit fields; larger unsigned limits wrap as they do there.
void setAdvertisedMin(FgXeWrapperImpl& a, int32_t pid, int64_t min) {
    a.updateInfoNode(pid, [min](ParameterInfoNode& n) {
        if (n.kind == PI_KIND_INT32) n.a.i32.min = static_cast<int32_t>(min);
    });
}

void setAdvertisedMax(FgXeWrapperImpl& a, int32_t pid, int64_t max) {
    a.updateInfoNode(pid, [max](ParameterInfoNode& n) {
        if (n.kind == PI_KIND_INT32) n.a.i32.max = static_cast<int32_t>(max);
    });
}

std::span<const ParameterBinding> generatorBindings() {
    return kGeneratorBindings;
}

} // namespace trigger

std::span<const ParameterBinding> triggerBindings() {
    // Joined once; the parts' tables are constant.
    static const std::vector<ParameterBinding> all = [] {
        std::vector<ParameterBinding> v;
        for (auto part : {trigger::generatorBindings(), trigger::inputStageBindings(),
                          trigger::pulseFormBindings()})
            v.insert(v.end(), part.begin(), part.end());
        return v;
    }();
    return all;
}

} // namespace pellvane
