#include "imagepath/Simulator.h"

#include <pellvane/parameters.h>

#include "entry/FgXeWrapperImpl.h"
#include "host/ErrorCodes.h"
#include "host/Runtime.h"
#include "parameters/SetterPattern.h"

#include <cmath>
#include <limits>

namespace pellvane {

namespace {

using Field = uint32_t SimulatorState::*;

// Parameter identifiers served here.
constexpr int32_t kEnableId = FG_GEN_ENABLE;
constexpr int32_t kPassiveId = FG_GEN_PASSIVE;
constexpr int32_t kActiveId = FG_GEN_ACTIVE;
constexpr int32_t kWidthId = FG_GEN_WIDTH;
constexpr int32_t kLineWidthId = FG_GEN_LINE_WIDTH;
constexpr int32_t kHeightId = FG_GEN_HEIGHT;
constexpr int32_t kLineGapId = FG_GEN_LINE_GAP;
constexpr int32_t kFrequencyId = FG_GEN_FREQ;
constexpr int32_t kAccuracyId = FG_GEN_ACCURACY;
constexpr int32_t kTap1Id = FG_GEN_TAP1;
constexpr int32_t kTap2Id = FG_GEN_TAP2;
constexpr int32_t kTap3Id = FG_GEN_TAP3;
constexpr int32_t kTap4Id = FG_GEN_TAP4;
constexpr int32_t kRollId = FG_GEN_ROLL;
constexpr int32_t kStartId = FG_GEN_START;

// The generator's pixel clock is derived from 125 MHz: of every `accuracy` ticks, `active`
// carry a pixel, so active / accuracy approximates frequency / 125.
constexpr double kBaseClock = 125.0;
// The smallest frequency that still gives one active tick is 62.5 / accuracy (it rounds up).
constexpr double kHalfBaseClock = 62.5;
constexpr uint32_t kMaxCount = 65535; // active, passive and accuracy are 16-bit counts
constexpr uint32_t kMaxDimension = 65535;

constexpr int32_t kRateOutOfRange = kNoParameterInfo; // the design cannot hold the rate split

uint32_t asUnsigned(int32_t v) {
    return static_cast<uint32_t>(v);
}

// ⌈62.5 / f⌉ as the unsigned count it bounds. The stored frequency may come unchecked from a
// configuration file, so anything not representable saturates instead of being undefined:
// NaN and overly large bounds refuse every accuracy, negative ones refuse none.
uint32_t lowestAccuracy(double frequency) {
    double bound = std::ceil(kHalfBaseClock / frequency);
    if (std::isnan(bound) || bound >= 4294967296.0) return std::numeric_limits<uint32_t>::max();
    if (bound <= 0.0) return 0;
    return static_cast<uint32_t>(bound);
}

double lowestFrequency(uint32_t accuracy) {
    return std::ceil(kHalfBaseClock / static_cast<double>(accuracy));
}

// Writes a generator register straight through the hardware access library; the shadow follows
// only a write that succeeded.
void writeGenerator(FgXeWrapperImpl& a, Reg r, uint64_t value) {
    auto id = static_cast<uint32_t>(a.registerId(r));
    int32_t result = hardware::writeRegister(a.boardHandle(), id, value);
    check(result);
    a.simulator().shadow(r) = value;
}

// The generator's width registers count words of four pixels (2 × pixels / 8, rounded down);
// the line register includes the gap. Computed in 64 bits so that no stored pair can wrap.
void writeLineWidths(FgXeWrapperImpl& a, uint32_t width, uint32_t gap) {
    writeGenerator(a, Reg::MWGenWidth, 2 * uint64_t{width} / 8);
    writeGenerator(a, Reg::MWGenLineWidth, 2 * (uint64_t{width} + gap) / 8);
}

// Splits `accuracy` into active and passive ticks for `frequency` and writes both, each minus
// one (the registers count from 0).
void writeRate(FgXeWrapperImpl& a, uint32_t accuracy, double frequency) {
    double scaled = static_cast<double>(accuracy) * frequency / kBaseClock + 0.5;
    // Truncation toward zero into 32 bits; a value that does not fit (or NaN, from a stored
    // value that was never checked) cannot be a tick count either.
    if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) fail(kRateOutOfRange);
    auto active = static_cast<int32_t>(scaled);
    int64_t passive = int64_t{accuracy} - active;
    if (active <= 0 || active > int32_t{kMaxCount} || passive < 0 || passive > int64_t{kMaxCount})
        fail(kRateOutOfRange);
    writeGenerator(a, Reg::MWGenActive, static_cast<uint64_t>(int64_t{active} - 1));
    // Passive 0 (the full 125 MHz) writes all 64 bits set.
    writeGenerator(a, Reg::MWGenPassive, static_cast<uint64_t>(passive - 1));
}

// ---------------------------------------------------------------------------------------------
// Setters

// Values written to their register as they are.
struct PlainValue {
    Field field;
    uint32_t max;
    Reg reg;
};

constexpr PlainValue kEnable{&SimulatorState::enable, 1, Reg::MWGenEnable};
constexpr PlainValue kStart{&SimulatorState::start, 1, Reg::MWGenStart};
constexpr PlainValue kRoll{&SimulatorState::roll, 255, Reg::MWGenRoll};

template <const PlainValue& P>
void setPlain(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    uint32_t value = asUnsigned(v);
    if (value > P.max) return reject(kValueOutOfRange, reportErrors);
    commit(a.simulator().*P.field, value, reportErrors, [&] { writeGenerator(a, P.reg, value); });
}

void setWidth(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    SimulatorState& s = a.simulator();
    uint32_t width = asUnsigned(v);
    if (width > kMaxDimension) return reject(kValueOutOfRange, reportErrors);
    commit(s.width, width, reportErrors, [&] { writeLineWidths(a, width, s.lineGap); });
}

void setLineGap(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    SimulatorState& s = a.simulator();
    uint32_t gap = asUnsigned(v);
    if (gap > kMaxDimension) return reject(kValueOutOfRange, reportErrors);
    commit(s.lineGap, gap, reportErrors, [&] { writeLineWidths(a, s.width, gap); });
}

void setHeight(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    uint32_t height = asUnsigned(v);
    if (height > kMaxDimension) return reject(kValueOutOfRange, reportErrors);
    // The register counts from 0; height 0 wraps to all ones in 32 bits.
    commit(a.simulator().height, height, reportErrors,
           [&] { writeGenerator(a, Reg::MWGenHeight, uint32_t{height - 1u}); });
}

void setFrequency(FgXeWrapperImpl& a, double f, bool reportErrors) {
    SimulatorState& s = a.simulator();
    // Written so that NaN fails both comparisons.
    if (!(f >= lowestFrequency(s.accuracy))) return reject(kValueOutOfRange, reportErrors);
    if (!(f <= kBaseClock)) return reject(kValueOutOfRange, reportErrors);
    commit(s.frequency, f, reportErrors, [&] {
        writeRate(a, s.accuracy, f);
        a.updateInfoNode(kAccuracyId, [&](ParameterInfoNode& n) {
            n.a.i32.min = static_cast<int32_t>(lowestAccuracy(f));
        });
    });
}

void setAccuracy(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    SimulatorState& s = a.simulator();
    uint32_t accuracy = asUnsigned(v);
    if (accuracy < lowestAccuracy(s.frequency) || accuracy > kMaxCount)
        return reject(kValueOutOfRange, reportErrors);
    commit(s.accuracy, accuracy, reportErrors, [&] {
        writeRate(a, accuracy, s.frequency);
        a.updateInfoNode(kFrequencyId,
                         [&](ParameterInfoNode& n) { n.a.minD = lowestFrequency(accuracy); });
    });
}

// Tap N (0-based) is bit N of the mask; the other bits come from the mask last written.
template <std::size_t Tap>
void setTap(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    SimulatorState& s = a.simulator();
    uint32_t on = asUnsigned(v);
    if (on > 1) return reject(kValueOutOfRange, reportErrors);
    commit(s.taps[Tap], on, reportErrors, [&] {
        uint64_t bit = uint64_t{1} << Tap;
        uint64_t mask =
            on != 0 ? (s.shadow(Reg::MWGenMask) | bit) : (s.shadow(Reg::MWGenMask) & ~bit);
        writeGenerator(a, Reg::MWGenMask, mask);
    });
}

// ---------------------------------------------------------------------------------------------
// Getters

template <Field F>
int32_t stored(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.simulator().*F);
}

template <std::size_t Tap>
int32_t storedTap(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.simulator().taps[Tap]);
}

double storedFrequency(FgXeWrapperImpl& a) {
    return a.simulator().frequency;
}

// The registers hold the counts minus one.
template <Reg R>
int32_t countFromShadow(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(static_cast<uint32_t>(a.simulator().shadow(R) + 1));
}

int32_t lineWidth(FgXeWrapperImpl& a) {
    const SimulatorState& s = a.simulator();
    return static_cast<int32_t>(s.width + s.lineGap);
}

// The stored tap switches, for configuration files.
template <std::size_t Tap>
void* tapField(FgXeWrapperImpl& a) {
    return &a.simulator().taps[Tap];
}

constexpr ParameterBinding kBindings[] = {
    {kEnableId, intSetter<setPlain<kEnable>>, intGetter<stored<&SimulatorState::enable>>,
     fieldOf<&FgXeWrapperImpl::simulator, &SimulatorState::enable>},
    {kStartId, intSetter<setPlain<kStart>>, intGetter<stored<&SimulatorState::start>>,
     fieldOf<&FgXeWrapperImpl::simulator, &SimulatorState::start>},
    {kWidthId, intSetter<setWidth>, intGetter<stored<&SimulatorState::width>>,
     fieldOf<&FgXeWrapperImpl::simulator, &SimulatorState::width>},
    {kHeightId, intSetter<setHeight>, intGetter<stored<&SimulatorState::height>>,
     fieldOf<&FgXeWrapperImpl::simulator, &SimulatorState::height>},
    {kLineGapId, intSetter<setLineGap>, intGetter<stored<&SimulatorState::lineGap>>,
     fieldOf<&FgXeWrapperImpl::simulator, &SimulatorState::lineGap>},
    {kFrequencyId, doubleSetter<setFrequency>, doubleGetter<storedFrequency>,
     fieldOf<&FgXeWrapperImpl::simulator, &SimulatorState::frequency>},
    {kAccuracyId, intSetter<setAccuracy>, intGetter<stored<&SimulatorState::accuracy>>,
     fieldOf<&FgXeWrapperImpl::simulator, &SimulatorState::accuracy>},
    {kTap1Id, intSetter<setTap<0>>, intGetter<storedTap<0>>, tapField<0>},
    {kTap2Id, intSetter<setTap<1>>, intGetter<storedTap<1>>, tapField<1>},
    {kTap3Id, intSetter<setTap<2>>, intGetter<storedTap<2>>, tapField<2>},
    {kTap4Id, intSetter<setTap<3>>, intGetter<storedTap<3>>, tapField<3>},
    {kRollId, intSetter<setPlain<kRoll>>, intGetter<stored<&SimulatorState::roll>>,
     fieldOf<&FgXeWrapperImpl::simulator, &SimulatorState::roll>},
    {kActiveId, nullptr, intGetter<countFromShadow<Reg::MWGenActive>>},
    {kPassiveId, nullptr, intGetter<countFromShadow<Reg::MWGenPassive>>},
    {kLineWidthId, nullptr, intGetter<lineWidth>},
};

} // namespace

std::span<const ParameterBinding> simulatorBindings() {
    return kBindings;
}

void clearSimulatorRegisters(FgXeWrapperImpl& applet) {
    for (std::size_t i = kHostRegisterCount; i < kRegisterCount; ++i) {
        auto r = static_cast<Reg>(i);
        auto id = static_cast<uint32_t>(applet.registerId(r));
        // A failure is dropped like every start-up failure; the shadow then keeps its value.
        if (hardware::writeRegister(applet.boardHandle(), id, 0) == kOk)
            applet.simulator().shadow(r) = 0;
    }
}

} // namespace pellvane
