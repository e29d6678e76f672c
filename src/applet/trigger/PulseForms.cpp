// The back of the trigger chain: four pulse-form generators, the routing of their outputs to the
// camera-control lines and digital outputs, output statistics, output event and queue events.
#include "entry/FgXeWrapperImpl.h"
#include "host/ErrorCodes.h"
#include "parameters/SetterPattern.h"
#include "trigger/TriggerOps.h"

namespace pellvane::trigger {

namespace {

constexpr uint32_t kPulse = 2;
constexpr uint32_t kMaxPulseDownscale = 7;
constexpr double kMaxDelay = 34000000.0; // 2125000000 ticks
constexpr double kMinWidth = 1.0;
constexpr double kMaxWidth = 68000000.0; // 4250000000 ticks: the full 32 bits
constexpr uint32_t kMaxSelection = 11;
constexpr uint32_t kMinThreshold = 2;
constexpr uint32_t kMaxThreshold = 2047;

struct PulseFormRegs {
    Reg downscale, selectedPulse, delay, width;
};
constexpr PulseFormRegs kPulseFormRegs[] = {
    {Reg::PulseForm0Downscale, Reg::PulseForm0DownscaleSelectedPulse, Reg::PulseForm0Delay,
     Reg::PulseForm0Width},
    {Reg::PulseForm1Downscale, Reg::PulseForm1DownscaleSelectedPulse, Reg::PulseForm1Delay,
     Reg::PulseForm1Width},
    {Reg::PulseForm2Downscale, Reg::PulseForm2DownscaleSelectedPulse, Reg::PulseForm2Delay,
     Reg::PulseForm2Width},
    {Reg::PulseForm3Downscale, Reg::PulseForm3DownscaleSelectedPulse, Reg::PulseForm3Delay,
     Reg::PulseForm3Width},
};

struct SelectRegs {
    Reg select, invert;
};
constexpr SelectRegs kCcRegs[] = {
    {Reg::CameraControlSelect0Select, Reg::CameraControlSelect0PolarityInvert},
    {Reg::CameraControlSelect1Select, Reg::CameraControlSelect1PolarityInvert},
    {Reg::CameraControlSelect2Select, Reg::CameraControlSelect2PolarityInvert},
    {Reg::CameraControlSelect3Select, Reg::CameraControlSelect3PolarityInvert},
};
constexpr SelectRegs kOutputRegs[] = {
    {Reg::TriggerOutputSelect0Select, Reg::TriggerOutputSelect0PolarityInvert},
    {Reg::TriggerOutputSelect1Select, Reg::TriggerOutputSelect1PolarityInvert},
    {Reg::TriggerOutputSelect2Select, Reg::TriggerOutputSelect2PolarityInvert},
    {Reg::TriggerOutputSelect3Select, Reg::TriggerOutputSelect3PolarityInvert},
    {Reg::TriggerOutputSelect4Select, Reg::TriggerOutputSelect4PolarityInvert},
    {Reg::TriggerOutputSelect5Select, Reg::TriggerOutputSelect5PolarityInvert},
    {Reg::TriggerOutputSelect6Select, Reg::TriggerOutputSelect6PolarityInvert},
    {Reg::TriggerOutputSelect7Select, Reg::TriggerOutputSelect7PolarityInvert},
};

// A selection value as the design's selector and inverter see it: generators 0-3 are sources
// 0-3, the bypassed input is 4 and the constant low level 5; "not" and Vcc are inverted.
struct Routing {
    uint32_t select, invert;
};
constexpr Routing kRouting[] = {
    {0, 0}, {1, 0}, {2, 0}, {3, 0}, // PULSEGEN0..3
    {5, 0}, {5, 1},                 // GND, VCC
    {0, 1}, {1, 1}, {2, 1}, {3, 1}, // NOT_PULSEGEN0..3
    {4, 0}, {4, 1},                 // INPUT_BYPASS, NOT_INPUT_BYPASS
};
static_assert(std::size(kRouting) == kMaxSelection + 1);

void writeRouting(FgXeWrapperImpl& a, const SelectRegs& regs, uint32_t v) {
    a.writeRegister(regs.select, kRouting[v].select);
    a.writeRegister(regs.invert, kRouting[v].invert);
}

// Delay and width registers count 16 ns ticks, to the nearest tick, halves up.
uint32_t ticksOf(double microseconds) {
    return static_cast<uint32_t>(microseconds * 1000 * 0.0625 + 0.5);
}

void setPulseDownscale(FgXeWrapperImpl& a, unsigned n, uint32_t v, bool report) {
    PulseFormState& g = a.trigger().pulseForms[n];
    if (v < g.phase + 1 || v > kMaxPulseDownscale) return reject(kValueOutOfRange, report);
    commit(g.downscale, v, report, [&] {
        requireUnlocked(a);
        PulseTiming t = pulseTiming(a, n);
        t.downscale = v;
        if (!timingHolds(framesPerSecond(a), t)) fail(kTimingDownscale);
        a.writeRegister(kPulseFormRegs[n].downscale, v);
        setAdvertisedMax(a, id::pulseFormPhase(n), int64_t{v} - 1);
    });
}

void setPulsePhase(FgXeWrapperImpl& a, unsigned n, uint32_t v, bool report) {
    PulseFormState& g = a.trigger().pulseForms[n];
    if (v >= g.downscale) return reject(kValueOutOfRange, report);
    commit(g.phase, v, report, [&] {
        requireUnlocked(a);
        a.writeRegister(kPulseFormRegs[n].selectedPulse, v + 1);
        setAdvertisedMin(a, id::pulseFormDownscale(n), int64_t{v} + 1);
    });
}

void setPulseDelay(FgXeWrapperImpl& a, unsigned n, double v, bool report) {
    if (!inRange(v, 0.0, kMaxDelay)) return reject(kValueOutOfRange, report);
    commit(a.trigger().pulseForms[n].delay, v, report, [&] {
        requireUnlocked(a);
        PulseTiming t = pulseTiming(a, n);
        t.delay = v;
        if (!timingHolds(framesPerSecond(a), t)) fail(kTimingRule);
        a.writeRegister(kPulseFormRegs[n].delay, ticksOf(v));
    });
}

void setPulseWidth(FgXeWrapperImpl& a, unsigned n, double v, bool report) {
    if (!inRange(v, kMinWidth, kMaxWidth)) return reject(kValueOutOfRange, report);
    commit(a.trigger().pulseForms[n].width, v, report, [&] {
        requireUnlocked(a);
        PulseTiming t = pulseTiming(a, n);
        t.width = v;
        if (!timingHolds(framesPerSecond(a), t)) fail(kTimingRule);
        a.writeRegister(kPulseFormRegs[n].width, ticksOf(v));
    });
}

// Delay and width read back from the registers, quantised to 16 ns.
double registerMicroseconds(FgXeWrapperImpl& a, Reg r) {
    return static_cast<double>(a.readRegister(r)) * 16 / 1000;
}

// One instance per generator, line or output, so that each gets its own table entry.
template <unsigned N>
void pulseDownscale(FgXeWrapperImpl& a, int32_t v, bool r) {
    setPulseDownscale(a, N, static_cast<uint32_t>(v), r);
}
template <unsigned N>
void pulsePhase(FgXeWrapperImpl& a, int32_t v, bool r) {
    setPulsePhase(a, N, static_cast<uint32_t>(v), r);
}
template <unsigned N>
void pulseDelay(FgXeWrapperImpl& a, double v, bool r) {
    setPulseDelay(a, N, v, r);
}
template <unsigned N>
void pulseWidth(FgXeWrapperImpl& a, double v, bool r) {
    setPulseWidth(a, N, v, r);
}
template <unsigned N>
int32_t storedDownscale(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.trigger().pulseForms[N].downscale);
}
template <unsigned N>
int32_t storedPhase(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.trigger().pulseForms[N].phase);
}
template <unsigned N>
double delayReadBack(FgXeWrapperImpl& a) {
    return registerMicroseconds(a, kPulseFormRegs[N].delay);
}
template <unsigned N>
double widthReadBack(FgXeWrapperImpl& a) {
    return registerMicroseconds(a, kPulseFormRegs[N].width);
}
template <unsigned K>
void ccSelect(FgXeWrapperImpl& a, int32_t v, bool r) {
    setCcSelect(a, K, static_cast<uint32_t>(v), r);
}
template <unsigned K>
int32_t storedCcSelect(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.trigger().ccSelect[K]);
}
template <unsigned K>
void outputSelect(FgXeWrapperImpl& a, int32_t v, bool r) {
    setOutputSelect(a, K, static_cast<uint32_t>(v), r);
}
template <unsigned K>
int32_t storedOutputSelect(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.trigger().outputSelect[K]);
}

// A parameter that stores its value and writes it to one register.
template <uint32_t TriggerState::*Field, Reg R, uint32_t Min, uint32_t Max>
void writeThrough(FgXeWrapperImpl& a, int32_t value, bool report) {
    auto v = static_cast<uint32_t>(value);
    if (v < Min || v > Max) return reject(kValueOutOfRange, report);
    commit(a.trigger().*Field, v, report, [&] {
        requireUnlocked(a);
        a.writeRegister(R, v);
    });
}

// A clear parameter: accepts only 1 and pulses its register on every set.
template <uint32_t TriggerState::*Field, Reg R>
void clearPulse(FgXeWrapperImpl& a, int32_t value, bool report) {
    if (value != 1) return reject(kValueOutOfRange, report);
    commit(a.trigger().*Field, 1u, report, [&] {
        requireUnlocked(a);
        a.writeRegister(R, kPulse);
    });
}

template <uint32_t TriggerState::*Field>
int32_t stored(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.trigger().*Field);
}

int32_t outputPulseCount(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.readRegister(Reg::OutputStatisticsReadPulsesStatus));
}

// Bit 2 of the queue status: a trigger pulse went out and no frame came back.
int32_t missingFrame(FgXeWrapperImpl& a) {
    return (a.readRegister(Reg::MonitoringReadQueueStatusStatus) & 4u) != 0 ? 1 : 0;
}

#define PELLVANE_PULSE_FORM(n)                                                                     \
    {id::pulseFormDownscale(n), intSetter<pulseDownscale<n>>, intGetter<storedDownscale<n>>,       \
     memberOf<&FgXeWrapperImpl::trigger, &TriggerState::pulseForms, n,                             \
              &PulseFormState::downscale>},                                                        \
        {id::pulseFormPhase(n), intSetter<pulsePhase<n>>, intGetter<storedPhase<n>>,               \
         memberOf<&FgXeWrapperImpl::trigger, &TriggerState::pulseForms, n,                         \
                  &PulseFormState::phase>},                                                        \
        {id::pulseFormDelay(n), doubleSetter<pulseDelay<n>>, doubleGetter<delayReadBack<n>>,       \
         memberOf<&FgXeWrapperImpl::trigger, &TriggerState::pulseForms, n,                         \
                  &PulseFormState::delay>},                                                        \
    {                                                                                              \
        id::pulseFormWidth(n), doubleSetter<pulseWidth<n>>, doubleGetter<widthReadBack<n>>,        \
            memberOf<&FgXeWrapperImpl::trigger, &TriggerState::pulseForms, n,                      \
                     &PulseFormState::width>                                                       \
    }
#define PELLVANE_CC(k)                                                                             \
    {                                                                                              \
        id::ccSelect(k), intSetter<ccSelect<k>>, intGetter<storedCcSelect<k>>,                     \
            elementOf<&FgXeWrapperImpl::trigger, &TriggerState::ccSelect, k>                       \
    }
#define PELLVANE_OUT(k)                                                                            \
    {                                                                                              \
        id::outputSelect(k), intSetter<outputSelect<k>>, intGetter<storedOutputSelect<k>>,         \
            elementOf<&FgXeWrapperImpl::trigger, &TriggerState::outputSelect, k>                   \
    }

using S = TriggerState;
constexpr ParameterBinding kPulseFormBindings[] = {
    PELLVANE_PULSE_FORM(0),
    PELLVANE_PULSE_FORM(1),
    PELLVANE_PULSE_FORM(2),
    PELLVANE_PULSE_FORM(3),
    PELLVANE_CC(0),
    PELLVANE_CC(1),
    PELLVANE_CC(2),
    PELLVANE_CC(3),
    PELLVANE_OUT(0),
    PELLVANE_OUT(1),
    PELLVANE_OUT(2),
    PELLVANE_OUT(3),
    PELLVANE_OUT(4),
    PELLVANE_OUT(5),
    PELLVANE_OUT(6),
    PELLVANE_OUT(7),
    {id::kOutputStatsSource,
     intSetter<writeThrough<&S::outputStatsSource, Reg::OutputStatisticsSelect, 0, 3>>,
     intGetter<stored<&S::outputStatsSource>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::outputStatsSource>},
    {id::kOutputPulseCount, nullptr, intGetter<outputPulseCount>},
    {id::kOutputPulseCountClear,
     intSetter<clearPulse<&S::outputPulseCountClear, Reg::OutputStatisticsClearPulsesMode>>,
     intGetter<stored<&S::outputPulseCountClear>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::outputPulseCountClear>},
    {id::kMissingFrame, nullptr, intGetter<missingFrame>},
    {id::kMissingFrameClear,
     intSetter<clearPulse<&S::missingFrameClear, Reg::MonitoringClearMissingFrameCam0Mode>>,
     intGetter<stored<&S::missingFrameClear>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::missingFrameClear>},
    {id::kOutputEventSelect,
     intSetter<writeThrough<&S::outputEventSelect, Reg::OutputEventSelect, 0, 3>>,
     intGetter<stored<&S::outputEventSelect>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::outputEventSelect>},
    {id::kQueueOnThreshold,
     intSetter<
         writeThrough<&S::queueOnThreshold, Reg::HysteresisOnLevel, kMinThreshold, kMaxThreshold>>,
     intGetter<stored<&S::queueOnThreshold>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::queueOnThreshold>},
    {id::kQueueOffThreshold,
     intSetter<writeThrough<&S::queueOffThreshold, Reg::HysteresisOffLevel, kMinThreshold,
                            kMaxThreshold>>,
     intGetter<stored<&S::queueOffThreshold>>,
     fieldOf<&FgXeWrapperImpl::trigger, &S::queueOffThreshold>},
};

#undef PELLVANE_PULSE_FORM
#undef PELLVANE_CC
#undef PELLVANE_OUT

} // namespace

void setCcSelect(FgXeWrapperImpl& a, unsigned k, uint32_t v, bool report) {
    if (v > kMaxSelection) return reject(kValueOutOfRange, report);
    // Written at once in every state: entering Async Stop has put the line to its idle level,
    // and the way back to Active writes every stored selection again.
    commit(a.trigger().ccSelect[k], v, report, [&] {
        requireUnlocked(a);
        writeRouting(a, kCcRegs[k], v);
    });
}

void setOutputSelect(FgXeWrapperImpl& a, unsigned k, uint32_t v, bool report) {
    if (v > kMaxSelection) return reject(kValueOutOfRange, report);
    commit(a.trigger().outputSelect[k], v, report, [&] {
        requireUnlocked(a);
        // An asynchronous stop holds the outputs idle until the state returns to Active.
        if (a.trigger().triggerState == kAsyncStop) return;
        writeRouting(a, kOutputRegs[k], v);
    });
}

std::span<const ParameterBinding> pulseFormBindings() {
    return kPulseFormBindings;
}

} // namespace pellvane::trigger
