// The classic trigger parameters. While the legacy mode is on, each of them is translated into
// sets of the area trigger parameters; while it is off, they refuse every set.
#include "trigger/LegacyTrigger.h"

#include <pellvane/parameters.h>

#include "entry/FgXeWrapperImpl.h"
#include "host/ErrorCodes.h"
#include "parameters/SetterPattern.h"
#include "trigger/TriggerOps.h"

#include <array>

namespace pellvane {

namespace {

using namespace trigger;

namespace lid {
constexpr int32_t kTriggerMode = FG_TRIGGERMODE;
constexpr int32_t kExsyncOn = FG_EXSYNCON;
constexpr int32_t kExsyncDelay = FG_EXSYNCDELAY;
constexpr int32_t kExsyncPolarity = FG_EXSYNCPOLARITY;
constexpr int32_t kFlashOn = FG_FLASHON;
constexpr int32_t kStrobePulseDelay = FG_STROBEPULSEDELAY;
constexpr int32_t kExposure = FG_EXPOSURE;
constexpr int32_t kPrescaler = FG_PRESCALER;
constexpr int32_t kCcSel0 = FG_CCSEL0; // lines 0 to 3
constexpr int32_t kDigioOutput = FG_DIGIO_OUTPUT;
constexpr int32_t kFlashPolarity = FG_FLASH_POLARITY;
} // namespace lid

// FG_CCSELx values.
constexpr uint32_t kCcExsync = CC_EXSYNC;
constexpr uint32_t kCcStrobePulse = CC_STROBEPULSE;
constexpr uint32_t kCcGnd = CC_GND;
constexpr uint32_t kCcVcc = CC_VCC;
constexpr uint32_t kCcNotExsync = CC_NOT_EXSYNC;
constexpr uint32_t kCcNotStrobePulse = CC_NOT_STROBEPULSE;

// The declared limits of the legacy timing parameters.
constexpr auto kMinExposure = static_cast<uint32_t>(declaredNode(FG_EXPOSURE).min);
constexpr auto kMaxExposure = static_cast<uint32_t>(declaredNode(FG_EXPOSURE).max);
constexpr auto kExposureStep = static_cast<uint32_t>(declaredNode(FG_EXPOSURE).inc);
constexpr double kMaxPulseDelay = declaredNode(FG_EXSYNCDELAY).max;
constexpr double kMinPrescaler = declaredNode(FG_PRESCALER).min;
constexpr double kMaxPrescaler = declaredNode(FG_PRESCALER).max;
static_assert(kMaxPulseDelay == declaredNode(FG_STROBEPULSEDELAY).max);

// Lets the area trigger setters through the lock for the duration of one legacy set, failures
// included.
class InternalSet {
public:
    explicit InternalSet(LegacyTriggerState& s) : s_(s), old_(s.internalSet) {
        s_.internalSet = true;
    }
    ~InternalSet() { s_.internalSet = old_; }
    InternalSet(const InternalSet&) = delete;
    InternalSet& operator=(const InternalSet&) = delete;

private:
    LegacyTriggerState& s_;
    bool old_;
};

// The legacy setters work only while the legacy mode is on: the opposite of the lock.
bool legacyModeOn(FgXeWrapperImpl& a) {
    return a.legacyTrigger().mode == 1;
}

// The two legacy pulses: ExSync is pulse-form generator 0 and leaves on digital output 1, the
// flash is generator 1 and leaves on output 0.
enum Pulse : unsigned { kExsync = 0, kFlash = 1 };
constexpr unsigned kPulseOutput[] = {1, 0};

// The area selection a line or output gets for a pulse, by its on/off switch and its polarity:
// `direct` for CC_EXSYNC / CC_STROBEPULSE and the digital output, `inverted` for CC_NOT_EXSYNC /
// CC_NOT_STROBEPULSE. The legacy polarity counts low active as 0. A pulse that is off rests at
// its inactive level: high for a low-active pulse.
struct Selection {
    uint32_t direct, inverted;
};
constexpr Selection kPulseSelection[2][2][2] = {
    // [pulse][on][polarity]
    {{{5, 4}, {4, 5}}, {{6, 0}, {0, 6}}}, // ExSync: VCC/GND when off, (NOT_)PULSEGEN0 when on
    {{{5, 4}, {4, 5}}, {{7, 1}, {1, 7}}}, // flash: VCC/GND when off, (NOT_)PULSEGEN1 when on
};

Selection selectionOf(const LegacyTriggerState& s, Pulse p) {
    uint32_t on = p == kExsync ? s.exsyncOn : s.flashOn;
    uint32_t polarity = p == kExsync ? s.exsyncPolarity : s.flashPolarity;
    return kPulseSelection[p][on][polarity];
}

// The area selection of camera-control line k from its legacy selection.
uint32_t lineSelection(const LegacyTriggerState& s, unsigned k) {
    switch (s.ccSel[k]) {
    case kCcExsync:
        return selectionOf(s, kExsync).direct;
    case kCcNotExsync:
        return selectionOf(s, kExsync).inverted;
    case kCcStrobePulse:
        return selectionOf(s, kFlash).direct;
    case kCcNotStrobePulse:
        return selectionOf(s, kFlash).inverted;
    default:
        return s.ccSel[k]; // CC_GND and CC_VCC are the same values in both interfaces
    }
}

bool lineCarries(uint32_t ccSel, Pulse p) {
    return p == kExsync ? (ccSel == kCcExsync || ccSel == kCcNotExsync)
                        : (ccSel == kCcStrobePulse || ccSel == kCcNotStrobePulse);
}

// Routes one pulse again: its digital output first, then every line that carries it.
void routePulse(FgXeWrapperImpl& a, Pulse p) {
    const LegacyTriggerState& s = a.legacyTrigger();
    setOutputSelect(a, kPulseOutput[p], selectionOf(s, p).direct, true);
    for (unsigned k = 0; k < s.ccSel.size(); ++k)
        if (lineCarries(s.ccSel[k], p)) setCcSelect(a, k, lineSelection(s, k), true);
}

// A legacy setter: refused while the legacy mode is off, else the validated value stored and
// its area trigger sets made under the internal flag. The refusal comes before the store, not
// as a throw from inside it: start-up applies every legacy default while the mode is off.
template <class T, class Apply>
void legacyCommit(FgXeWrapperImpl& a, T& stored, const T& value, bool report, Apply&& apply) {
    if (!legacyModeOn(a)) return reject(kInvalidParameter, report);
    commit(stored, value, report, [&] {
        InternalSet internal(a.legacyTrigger());
        apply();
    });
}

// The area trigger sets each legacy trigger mode makes, in order.
struct AreaSet {
    int32_t id;
    uint32_t value;
};
struct TriggerModeMapping {
    uint32_t legacyMode;
    std::array<AreaSet, 3> sets;
    unsigned count;
};
constexpr TriggerModeMapping kTriggerModes[] = {
    {0, {{{id::kTriggerState, kAsyncStop}}}, 1}, // FREE_RUN
    {1,
     {{{id::kAreaTriggerMode, kGenerator}, {id::kQueueMode, 0}, {id::kTriggerState, kActive}}},
     3}, // GRABBER_CONTROLLED
    {2,
     {{{id::kAreaTriggerMode, kExternal}, {id::kQueueMode, 0}, {id::kTriggerState, kActive}}},
     3}, // ASYNC_TRIGGER
    {4,
     {{{id::kAreaTriggerMode, kSoftware}, {id::kQueueMode, 0}, {id::kTriggerState, kActive}}},
     3}, // ASYNC_SOFTWARE_TRIGGER
};

const TriggerModeMapping* triggerModeMapping(uint32_t v) {
    for (const TriggerModeMapping& m : kTriggerModes)
        if (m.legacyMode == v) return &m;
    return nullptr;
}

void setExsyncOn(FgXeWrapperImpl& a, int32_t value, bool report);
void setFlashOn(FgXeWrapperImpl& a, int32_t value, bool report);

void setTriggerMode(FgXeWrapperImpl& a, int32_t value, bool report) {
    auto v = static_cast<uint32_t>(value);
    const TriggerModeMapping* mapping = triggerModeMapping(v);
    if (mapping == nullptr) return reject(kValueOutOfRange, report);
    LegacyTriggerState& s = a.legacyTrigger();
    // Stored first, so that every frame-rate write below already knows whether the generator
    // or only the minimum period applies.
    legacyCommit(a, s.triggerMode, v, report, [&] {
        for (unsigned i = 0; i < mapping->count; ++i)
            callSetter(a, mapping->sets[i].id, mapping->sets[i].value, true);
        setExsyncOn(a, static_cast<int32_t>(s.exsyncOn), true);
        setFlashOn(a, static_cast<int32_t>(s.flashOn), true);
    });
}

// On/off and polarity switches of the two pulses.
template <uint32_t LegacyTriggerState::*Field, Pulse P>
void setPulseSwitch(FgXeWrapperImpl& a, int32_t value, bool report) {
    auto v = static_cast<uint32_t>(value);
    if (v > 1) return reject(kValueOutOfRange, report);
    legacyCommit(a, a.legacyTrigger().*Field, v, report, [&] { routePulse(a, P); });
}

void setExsyncOn(FgXeWrapperImpl& a, int32_t value, bool report) {
    setPulseSwitch<&LegacyTriggerState::exsyncOn, kExsync>(a, value, report);
}
void setFlashOn(FgXeWrapperImpl& a, int32_t value, bool report) {
    setPulseSwitch<&LegacyTriggerState::flashOn, kFlash>(a, value, report);
}

template <unsigned K>
void setCcSel(FgXeWrapperImpl& a, int32_t value, bool report) {
    auto v = static_cast<uint32_t>(value);
    if (!isOneOf(v, {kCcExsync, kCcNotExsync, kCcStrobePulse, kCcNotStrobePulse, kCcGnd, kCcVcc}))
        return reject(kValueOutOfRange, report);
    LegacyTriggerState& s = a.legacyTrigger();
    legacyCommit(a, s.ccSel[K], v, report, [&] { setCcSelect(a, K, lineSelection(s, K), true); });
}

void setExposure(FgXeWrapperImpl& a, int32_t value, bool report) {
    auto v = static_cast<uint32_t>(value);
    if (v < kMinExposure || v > kMaxExposure) return reject(kValueOutOfRange, report);
    if (v % kExposureStep != 0) return reject(kNotAMultiple, report);
    legacyCommit(a, a.legacyTrigger().exposure, v, report, [&] {
        for (unsigned n = 0; n < 4; ++n)
            callSetter(a, id::pulseFormWidth(n), v, true);
    });
}

// The delay of one pulse-form generator.
template <double LegacyTriggerState::*Field, unsigned Generator>
void setPulseDelay(FgXeWrapperImpl& a, double value, bool report) {
    if (!inRange(value, 0.0, kMaxPulseDelay)) return reject(kValueOutOfRange, report);
    legacyCommit(a, a.legacyTrigger().*Field, value, report,
                 [&] { callSetter(a, id::pulseFormDelay(Generator), value, true); });
}

// Kept with the configuration only; the design has no prescaler of its own.
void setPrescaler(FgXeWrapperImpl& a, double value, bool report) {
    if (!inRange(value, kMinPrescaler, kMaxPrescaler)) return reject(kValueOutOfRange, report);
    if (!legacyModeOn(a)) return reject(kInvalidParameter, report);
    a.legacyTrigger().prescaler = value;
}

// Digital outputs 3 and 7 show the two bits as static levels: a constant low selection,
// inverted for a 1. Written straight to the registers; the stored output selections and the
// trigger state play no part.
void setDigioOutput(FgXeWrapperImpl& a, int32_t value, bool report) {
    auto v = static_cast<uint32_t>(value);
    if (v > 3) return reject(kValueOutOfRange, report);
    legacyCommit(a, a.legacyTrigger().digioOutput, v, report, [&] {
        a.writeRegister(Reg::TriggerOutputSelect3Select, kSelectLow);
        a.writeRegister(Reg::TriggerOutputSelect3PolarityInvert, v & 1u);
        a.writeRegister(Reg::TriggerOutputSelect7Select, kSelectLow);
        a.writeRegister(Reg::TriggerOutputSelect7PolarityInvert, (v >> 1) & 1u);
    });
}

// Switching between the interfaces returns the whole trigger system to its start values,
// stopped in generator mode: the start-up defaults of the area trigger group, in start-up order.
bool inAreaTrigger(int32_t id) {
    return std::ranges::find(kGroupAreaTrigger, id) != std::end(kGroupAreaTrigger);
}

void setAccess(FgXeWrapperImpl& a, std::span<const int32_t> ids, int32_t access) {
    for (int32_t pid : ids)
        a.setNodeAccess(pid, access);
}

void updateLegacyAccess(FgXeWrapperImpl& a, bool on) {
    if (on) {
        setAccess(a, kGroupLockedWhileLegacy, kReadOnly);
        setAccess(a, kGroupOutputStage, kReadOnly);
        setAccess(a, kGroupLegacyShared, kReadWrite);
        setAccess(a, kGroupLegacy, kReadWrite);
    } else {
        // The transitions of the reset have opened the other area-trigger parameters already.
        setAccess(a, kGroupOpenedAfterLegacy, kReadWrite);
        setAccess(a, kGroupOutputStage, kReadWrite);
        setAccess(a, kGroupLegacy, kReadOnly);
    }
}

void setLegacyMode(FgXeWrapperImpl& a, int32_t value, bool report) {
    auto v = static_cast<uint32_t>(value);
    if (v > 1) return reject(kValueOutOfRange, report);
    LegacyTriggerState& s = a.legacyTrigger();
    if (v == s.mode) return;
    const uint32_t old = s.mode;
    try {
        // Off while resetting, so that the area trigger setters take the calls.
        s.mode = 0;
        for (const DefaultValue& d : kDefaults)
            if (inAreaTrigger(d.id)) callSetter(a, d.id, d.value, false);
        s = LegacyTriggerState{};
        s.mode = v;
        updateLegacyAccess(a, v == 1);
    } catch (const Failure&) {
        s.mode = old;
        if (report) throw;
    }
}

template <uint32_t LegacyTriggerState::*Field>
int32_t stored(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.legacyTrigger().*Field);
}
template <double LegacyTriggerState::*Field>
double storedDouble(FgXeWrapperImpl& a) {
    return a.legacyTrigger().*Field;
}
template <unsigned K>
int32_t storedCcSel(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.legacyTrigger().ccSel[K]);
}

using L = LegacyTriggerState;
constexpr ParameterBinding kLegacyBindings[] = {
    {id::kLegacyMode, intSetter<setLegacyMode>, intGetter<stored<&L::mode>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::mode>},
    {lid::kTriggerMode, intSetter<setTriggerMode>, intGetter<stored<&L::triggerMode>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::triggerMode>},
    {lid::kExsyncOn, intSetter<setExsyncOn>, intGetter<stored<&L::exsyncOn>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::exsyncOn>},
    {lid::kFlashOn, intSetter<setFlashOn>, intGetter<stored<&L::flashOn>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::flashOn>},
    {lid::kExposure, intSetter<setExposure>, intGetter<stored<&L::exposure>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::exposure>},
    {lid::kExsyncDelay, doubleSetter<setPulseDelay<&L::exsyncDelay, 0>>,
     doubleGetter<storedDouble<&L::exsyncDelay>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::exsyncDelay>},
    {lid::kExsyncPolarity, intSetter<setPulseSwitch<&L::exsyncPolarity, kExsync>>,
     intGetter<stored<&L::exsyncPolarity>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::exsyncPolarity>},
    {lid::kStrobePulseDelay, doubleSetter<setPulseDelay<&L::strobePulseDelay, 1>>,
     doubleGetter<storedDouble<&L::strobePulseDelay>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::strobePulseDelay>},
    {lid::kFlashPolarity, intSetter<setPulseSwitch<&L::flashPolarity, kFlash>>,
     intGetter<stored<&L::flashPolarity>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::flashPolarity>},
    {lid::kPrescaler, doubleSetter<setPrescaler>, doubleGetter<storedDouble<&L::prescaler>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::prescaler>},
    {lid::kCcSel0, intSetter<setCcSel<0>>, intGetter<storedCcSel<0>>,
     elementOf<&FgXeWrapperImpl::legacyTrigger, &L::ccSel, 0>},
    {lid::kCcSel0 + 1, intSetter<setCcSel<1>>, intGetter<storedCcSel<1>>,
     elementOf<&FgXeWrapperImpl::legacyTrigger, &L::ccSel, 1>},
    {lid::kCcSel0 + 2, intSetter<setCcSel<2>>, intGetter<storedCcSel<2>>,
     elementOf<&FgXeWrapperImpl::legacyTrigger, &L::ccSel, 2>},
    {lid::kCcSel0 + 3, intSetter<setCcSel<3>>, intGetter<storedCcSel<3>>,
     elementOf<&FgXeWrapperImpl::legacyTrigger, &L::ccSel, 3>},
    {lid::kDigioOutput, intSetter<setDigioOutput>, intGetter<stored<&L::digioOutput>>,
     fieldOf<&FgXeWrapperImpl::legacyTrigger, &L::digioOutput>},
};

} // namespace

std::span<const ParameterBinding> legacyTriggerBindings() {
    return kLegacyBindings;
}

} // namespace pellvane
