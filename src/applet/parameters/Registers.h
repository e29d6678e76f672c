// The design registers the applet drives, by name.
//
// The first 99 are parameters of the loaded design that the host library addresses by an
// identifier it assigns at run time; the applet looks each one up by its flat name once at
// start-up. The last nine are the camera simulator's registers, which the hardware access
// library addresses by the runtime's register identifier. The order is the lookup order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pellvane {

enum class Reg : uint8_t {
    LookupTableContent, // first host register
    CameraControlSelect0Select,
    CameraControlSelect1Select,
    CameraControlSelect2Select,
    CameraControlSelect3Select,
    TriggerOutputSelect0Select,
    TriggerOutputSelect1Select,
    TriggerOutputSelect2Select,
    TriggerOutputSelect3Select,
    TriggerOutputSelect4Select,
    TriggerOutputSelect5Select,
    TriggerOutputSelect6Select,
    TriggerOutputSelect7Select,
    TriggerModeSelectExternalSelect,
    PulseFormEnable,
    ResetMissingFrameCheck,
    PulseForm0ClearDownscaleMode,
    PulseForm1ClearDownscaleMode,
    PulseForm2ClearDownscaleMode,
    PulseForm3ClearDownscaleMode,
    GeneratorClearQueuePulseMode,
    GeneratorEnableQueueSelect,
    DownscaleClearMode,
    GeneratorClearDownscaleMode,
    CameraFormat,
    CameraUseDval,
    Bank0XLength,
    Bank1XLength,
    Bank0YLength,
    Bank1YLength,
    Bank0XOffset,
    Bank1XOffset,
    Bank0YOffset,
    Bank1YOffset,
    OverflowOccurred,
    Bank0FillLevel,
    Bank1FillLevel,
    OutputFormat,
    BitAlignment,
    ImageSelectPeriod,
    ImageSelectPhase,
    GeneratorMinimumPeriod,
    MonitoringReadQueueStatusStatus,
    MonitoringClearOverrideCam0Mode,
    TriggerInputDebounce8PrescalePeriod,
    TriggerInputInputStatusStatus,
    InputSelectSelect,
    InputSelectPolarityInvert,
    Downscale,
    DownscaleSelectedPulse,
    InputSelectBypassSelectSelect,
    TriggerModeSoftwareTriggerMode,
    GeneratorMaximumReachedStatus,
    GeneratorQueueValueStatus,
    InputStatisticsReadPulsesStatus,
    InputStatisticsClearPulsesMode,
    InputStatisticsReadPeriodStatus,
    InputStatisticsReadMaxStatus,
    InputStatisticsReadMinStatus,
    InputStatisticsClearMinMaxValue,
    GeneratorSequenceDownscale,
    GeneratorSequenceSelectedPulse,
    GeneratorQueueQueueFullValue,
    GeneratorQueueQueueEnabledSelect,
    HysteresisOnLevel,
    HysteresisOffLevel,
    PulseForm0Downscale,
    PulseForm0DownscaleSelectedPulse,
    PulseForm0Delay,
    PulseForm0Width,
    PulseForm1Downscale,
    PulseForm1DownscaleSelectedPulse,
    PulseForm1Delay,
    PulseForm1Width,
    PulseForm2Downscale,
    PulseForm2DownscaleSelectedPulse,
    PulseForm2Delay,
    PulseForm2Width,
    PulseForm3Downscale,
    PulseForm3DownscaleSelectedPulse,
    PulseForm3Delay,
    PulseForm3Width,
    CameraControlSelect0PolarityInvert,
    CameraControlSelect1PolarityInvert,
    CameraControlSelect2PolarityInvert,
    CameraControlSelect3PolarityInvert,
    TriggerOutputSelect0PolarityInvert,
    TriggerOutputSelect1PolarityInvert,
    TriggerOutputSelect2PolarityInvert,
    TriggerOutputSelect3PolarityInvert,
    TriggerOutputSelect4PolarityInvert,
    TriggerOutputSelect5PolarityInvert,
    TriggerOutputSelect6PolarityInvert,
    TriggerOutputSelect7PolarityInvert,
    OutputStatisticsSelect,
    OutputStatisticsReadPulsesStatus,
    OutputStatisticsClearPulsesMode,
    MonitoringClearMissingFrameCam0Mode,
    OutputEventSelect,
    MWGenEnable, // first simulator register
    MWGenStart,
    MWGenWidth,
    MWGenLineWidth,
    MWGenHeight,
    MWGenActive,
    MWGenPassive,
    MWGenMask,
    MWGenRoll,
};

constexpr std::size_t kHostRegisterCount = 99;
constexpr std::size_t kSimulatorRegisterCount = 9;
constexpr std::size_t kRegisterCount = kHostRegisterCount + kSimulatorRegisterCount;
static_assert(static_cast<std::size_t>(Reg::MWGenRoll) + 1 == kRegisterCount);

constexpr std::size_t index(Reg r) {
    return static_cast<std::size_t>(r);
}
constexpr bool isSimulatorRegister(Reg r) {
    return index(r) >= kHostRegisterCount;
}

// The flat names, in lookup order.
extern const std::array<const char*, kRegisterCount> kRegisterNames;

inline const char* registerName(Reg r) {
    return kRegisterNames[index(r)];
}

} // namespace pellvane
