// The operations that move the trigger hardware between modes and states, and the transition
// routine that runs them, written as a table.
#include "entry/FgXeWrapperImpl.h"
#include "trigger/TriggerOps.h"

#include <array>

namespace pellvane::trigger {

namespace {

constexpr Reg kCcSelectRegs[] = {Reg::CameraControlSelect0Select, Reg::CameraControlSelect1Select,
                                 Reg::CameraControlSelect2Select, Reg::CameraControlSelect3Select};
constexpr Reg kOutputSelectRegs[] = {
    Reg::TriggerOutputSelect0Select, Reg::TriggerOutputSelect1Select,
    Reg::TriggerOutputSelect2Select, Reg::TriggerOutputSelect3Select,
    Reg::TriggerOutputSelect4Select, Reg::TriggerOutputSelect5Select,
    Reg::TriggerOutputSelect6Select, Reg::TriggerOutputSelect7Select};
constexpr Reg kPulseFormClearRegs[] = {
    Reg::PulseForm0ClearDownscaleMode, Reg::PulseForm1ClearDownscaleMode,
    Reg::PulseForm2ClearDownscaleMode, Reg::PulseForm3ClearDownscaleMode};

// Registers of the "Mode" kind act when 2 is written to them.
constexpr uint32_t kPulse = 2;

// The generator and the queue share one start sequence; only the feed differs.
void startFeed(FgXeWrapperImpl& a, uint32_t feedFromQueue) {
    TriggerState& t = a.trigger();
    a.writeRegister(Reg::GeneratorClearQueuePulseMode, t.registerOne);
    a.writeRegister(Reg::GeneratorEnableQueueSelect, feedFromQueue);
    setFramesPerSecond(a, framesPerSecond(a), true);
    a.writeRegister(Reg::PulseFormEnable, 1);
    a.writeRegister(Reg::GeneratorClearQueuePulseMode, t.registerZero);
}

enum class Op : uint8_t {
    End, // fills the rest of a row
    HoldOutputs,
    RestoreOutputs,
    StartGenerator,
    StopGenerator,
    StartQueue,
    ResetPulseForms,
    ClearInputDownscale,
    ClearSequenceDownscale,
    BlockExternal, // selectExternal(0)
    PassExternal,  // selectExternal(1)
    Restart,
};

// What each operation does, in the order of Op.
using Operation = void (*)(FgXeWrapperImpl&);
constexpr Operation kOperations[] = {
    [](FgXeWrapperImpl&) {},
    holdOutputs,
    restoreOutputs,
    startGenerator,
    stopGenerator,
    startQueue,
    resetPulseForms,
    clearInputDownscale,
    clearSequenceDownscale,
    [](FgXeWrapperImpl& a) { selectExternal(a, 0); },
    [](FgXeWrapperImpl& a) { selectExternal(a, 1); },
    restart,
};
static_assert(std::size(kOperations) == static_cast<std::size_t>(Op::Restart) + 1);

// States as bits, so that one row can stand for "stopped either way".
constexpr uint8_t bit(uint32_t state) {
    return static_cast<uint8_t>(1u << state);
}
constexpr uint8_t kA = bit(kActive);
constexpr uint8_t kAS = bit(kAsyncStop);
constexpr uint8_t kSS = bit(kSyncStop);

// One row: the old mode, the new mode, the old and new states it applies to, and its
// operations in order. A state change keeps the mode; a mode change keeps the state, so its
// row lists the same states on both sides.
struct Transition {
    uint32_t oldMode;
    uint32_t newMode;
    uint8_t oldStates;
    uint8_t newStates;
    std::array<Op, 6> ops;
};

using enum Op;
constexpr Transition kTransitions[] = {
    // From generator mode.
    {kGenerator, kGenerator, kSS, kA, {ResetPulseForms, StartGenerator}},
    {kGenerator, kGenerator, kSS, kAS, {HoldOutputs}},
    {kGenerator, kGenerator, kAS, kA, {ResetPulseForms, RestoreOutputs, StartGenerator}},
    {kGenerator, kGenerator, kA, kAS, {HoldOutputs, StopGenerator}},
    {kGenerator, kGenerator, kA, kSS, {StopGenerator}},
    {kGenerator, kExternal, kA, kA, {Restart, PassExternal}},
    {kGenerator, kSoftware, kA, kA, {Restart}},
    // From external mode.
    {kExternal, kExternal, kSS, kA, {Restart, PassExternal}},
    {kExternal, kExternal, kSS, kAS, {HoldOutputs}},
    {kExternal,
     kExternal,
     kAS,
     kA,
     {ClearInputDownscale, StartQueue, ClearSequenceDownscale, ResetPulseForms, RestoreOutputs,
      PassExternal}},
    {kExternal, kExternal, kA, kAS, {HoldOutputs, BlockExternal}},
    {kExternal, kExternal, kA, kSS, {BlockExternal}},
    {kExternal,
     kGenerator,
     kA,
     kA,
     {BlockExternal, HoldOutputs, ResetPulseForms, RestoreOutputs, StartGenerator}},
    {kExternal, kSoftware, kA, kA, {BlockExternal, Restart}},
    {kExternal, kGenerator, kSS | kAS, kSS | kAS, {StopGenerator}},
    // From software mode.
    {kSoftware, kSoftware, kSS, kA, {Restart}},
    {kSoftware, kSoftware, kSS, kAS, {HoldOutputs}},
    {kSoftware,
     kSoftware,
     kAS,
     kA,
     {ClearInputDownscale, StartQueue, ClearSequenceDownscale, ResetPulseForms, RestoreOutputs}},
    {kSoftware, kSoftware, kA, kAS, {HoldOutputs}},
    {kSoftware, kGenerator, kA, kA, {HoldOutputs, ResetPulseForms, RestoreOutputs, StartGenerator}},
    {kSoftware, kExternal, kA, kA, {Restart, PassExternal}},
    {kSoftware, kGenerator, kSS | kAS, kSS | kAS, {StopGenerator}},
};

// Every combination without a row (an unchanged value, Async Stop to Sync Stop, Active to Sync
// Stop in software mode, External and Software swapped while stopped, any mode change while
// stopped in generator mode) leaves the hardware alone.
const Transition* findTransition(uint32_t oldMode, uint32_t oldState, uint32_t newMode,
                                 uint32_t newState) {
    if (oldMode == newMode && oldState == newState) return nullptr;
    if (oldState > kSyncStop || newState > kSyncStop) return nullptr;
    for (const Transition& t : kTransitions) {
        if (t.oldMode == oldMode && t.newMode == newMode && (t.oldStates & bit(oldState)) != 0 &&
            (t.newStates & bit(newState)) != 0)
            return &t;
    }
    return nullptr;
}

void updateAccess(FgXeWrapperImpl& a, uint32_t newMode) {
    for (int32_t pid : kGroupModeDependent)
        a.setNodeAccess(pid, kReadWrite);
    // External pulses come from the inputs: the software trigger has nothing to feed.
    if (newMode == kExternal) a.setNodeAccess(id::kSendSoftwareTrigger, kReadOnly);
}

} // namespace

void holdOutputs(FgXeWrapperImpl& a) {
    // The polarity registers keep their values, so every output rests at its idle level: low,
    // or high where the selection is inverted.
    for (Reg r : kCcSelectRegs)
        a.writeRegister(r, kSelectLow);
    for (Reg r : kOutputSelectRegs)
        a.writeRegister(r, kSelectLow);
}

void restoreOutputs(FgXeWrapperImpl& a) {
    const TriggerState& t = a.trigger();
    for (unsigned k = 0; k < t.ccSelect.size(); ++k)
        setCcSelect(a, k, t.ccSelect[k], true);
    for (unsigned k = 0; k < t.outputSelect.size(); ++k)
        setOutputSelect(a, k, t.outputSelect[k], true);
}

void startGenerator(FgXeWrapperImpl& a) {
    startFeed(a, a.trigger().registerZero);
}

void startQueue(FgXeWrapperImpl& a) {
    startFeed(a, a.trigger().registerOne);
}

void stopGenerator(FgXeWrapperImpl& a) {
    a.writeRegister(Reg::GeneratorClearQueuePulseMode, a.trigger().registerOne);
}

void resetPulseForms(FgXeWrapperImpl& a) {
    a.writeRegister(Reg::ResetMissingFrameCheck, kPulse);
    for (Reg r : kPulseFormClearRegs)
        a.writeRegister(r, kPulse);
}

void clearInputDownscale(FgXeWrapperImpl& a) {
    a.writeRegister(Reg::DownscaleClearMode, kPulse);
}

void clearSequenceDownscale(FgXeWrapperImpl& a) {
    a.writeRegister(Reg::GeneratorClearDownscaleMode, kPulse);
}

void selectExternal(FgXeWrapperImpl& a, uint32_t v) {
    a.writeRegister(Reg::TriggerModeSelectExternalSelect, v);
}

void restart(FgXeWrapperImpl& a) {
    holdOutputs(a);
    clearInputDownscale(a);
    startQueue(a);
    clearSequenceDownscale(a);
    resetPulseForms(a);
    restoreOutputs(a);
}

void applyTriggerTransition(FgXeWrapperImpl& a, uint32_t oldMode, uint32_t oldState,
                            uint32_t newMode, uint32_t newState) {
    if (const Transition* t = findTransition(oldMode, oldState, newMode, newState)) {
        for (Op op : t->ops)
            kOperations[static_cast<std::size_t>(op)](a);
    }
    updateAccess(a, newMode);
}

} // namespace pellvane::trigger

namespace pellvane {

void startTriggerSystem(FgXeWrapperImpl& a) {
    trigger::holdOutputs(a);
    trigger::stopGenerator(a);
    trigger::restoreOutputs(a);
}

} // namespace pellvane
