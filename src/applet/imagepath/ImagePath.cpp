#include "imagepath/ImagePath.h"

#include "entry/FgXeWrapperImpl.h"
#include "host/ErrorCodes.h"
#include "parameters/SetterPattern.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace pellvane {

namespace {

using Field = uint32_t ImagePathState::*;

// Parameter identifiers served here.
constexpr int32_t kTimeoutId = 600;
constexpr int32_t kTurboDmaId = 3051;
constexpr int32_t kCameraTypeId = 11011;
constexpr int32_t kUseDvalId = 5025;
constexpr int32_t kWidthId = 100;
constexpr int32_t kHeightId = 200;
constexpr int32_t kXOffsetId = 300;
constexpr int32_t kYOffsetId = 400;
constexpr int32_t kFormatId = 700;
constexpr int32_t kBitAlignmentId = 4010;
constexpr int32_t kImageSelectPeriodId = 25110;
constexpr int32_t kImageSelectId = 25111;
constexpr int32_t kPixelDepthId = 4000;
constexpr int32_t kAppletIdId = 24010;
constexpr int32_t kAppletVersionId = 24020;
constexpr int32_t kAppletRevisionId = 24030;
constexpr int32_t kHapFileId = 24108;
constexpr int32_t kDmaStatusId = 24092;
constexpr int32_t kCamStatusId = 2000;
constexpr int32_t kCamStatusExtendedId = 2050;
constexpr int32_t kFillLevelId = 110086;
constexpr int32_t kOverflowId = 110087;

// The host library's own parameters this module forwards to.
constexpr int32_t kHostTimeout = 600;
constexpr int32_t kHostTurboDma = 3051;
constexpr int32_t kHostCamStatus = 2050;
constexpr int32_t kHostDmaStatus = 24092;
constexpr uint32_t kDma0 = 0;

// The image buffer holds at most 16384 pixels by 65535 lines; a region of interest must fit.
constexpr uint32_t kFrameWidth = 16384;
constexpr uint32_t kFrameHeight = 65535;

constexpr char kHapFile[] = "Pellvane.hap";

// The interface passes 32-bit integers; every range check of this module is unsigned, so a
// negative value is simply a very large one.
uint32_t asUnsigned(int32_t v) {
    return static_cast<uint32_t>(v);
}

// ---------------------------------------------------------------------------------------------
// Enumerations written to one register, each accepted value with the register value it becomes.

struct EnumEntry {
    uint32_t value;
    uint32_t registerValue;
};

struct EnumParameter {
    Field field;
    Reg reg;
    std::span<const EnumEntry> entries;
};

constexpr EnumEntry kCameraTypes[] = {{208, 0}, {210, 1}, {212, 2}}; // 8, 10, 12 bit
constexpr EnumEntry kOnOff[] = {{1, 1}, {0, 0}};
constexpr EnumEntry kFormats[] = {{3, 1}, {1, 0}}; // FG_GRAY selects source 1, FG_GRAY16 source 0

constexpr EnumParameter kCameraType{&ImagePathState::cameraType, Reg::CameraFormat, kCameraTypes};
constexpr EnumParameter kUseDval{&ImagePathState::useDval, Reg::CameraUseDval, kOnOff};
constexpr EnumParameter kFormat{&ImagePathState::format, Reg::OutputFormat, kFormats};
constexpr EnumParameter kBitAlignment{&ImagePathState::bitAlignment, Reg::BitAlignment, kOnOff};

template <const EnumParameter& P>
void setEnumeration(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    auto entry = std::ranges::find(P.entries, asUnsigned(v), &EnumEntry::value);
    if (entry == P.entries.end()) return reject(kValueOutOfRange, reportErrors);
    commit(a.imagePath().*P.field, entry->value, reportErrors,
           [&] { a.writeRegister(P.reg, entry->registerValue); });
}

// ---------------------------------------------------------------------------------------------
// Values that live in the host library: the setter keeps a copy and forwards the set.

struct HostForwarded {
    Field field;
    uint32_t min;
    uint32_t max;
    int32_t hostId;
};

constexpr HostForwarded kTimeout{&ImagePathState::timeout, 2, 2147483646, kHostTimeout};
constexpr HostForwarded kTurboDma{&ImagePathState::turboDmaMode, 0, 1, kHostTurboDma};

template <const HostForwarded& P>
void setForwarded(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    uint32_t value = asUnsigned(v);
    if (value < P.min || value > P.max) return reject(kValueOutOfRange, reportErrors);
    commit(a.imagePath().*P.field, value, reportErrors,
           [&] { check(a.hostSetById(P.hostId, &value, kDma0)); });
}

// ---------------------------------------------------------------------------------------------
// Region of interest. Each value is checked against its partner's stored value only (width with
// x offset, height with y offset), written to both buffer banks, bank 0 first, and then narrows
// the maximum the partner advertises. The setter itself always checks the stored values, never
// the advertised limits.

struct RoiParameter {
    Field field;
    Field partner;
    uint32_t frame; // value + partner must not exceed this
    uint32_t minimum;
    bool multipleOf8; // the buffer addresses pixels in groups of 8
    Reg bank0;
    Reg bank1;
    int32_t partnerId;
};

constexpr RoiParameter kWidth{
    &ImagePathState::width, &ImagePathState::xOffset, kFrameWidth, 16, true,
    Reg::Bank0XLength,      Reg::Bank1XLength,        kXOffsetId};
constexpr RoiParameter kXOffset{
    &ImagePathState::xOffset, &ImagePathState::width, kFrameWidth, 0, true,
    Reg::Bank0XOffset,        Reg::Bank1XOffset,      kWidthId};
constexpr RoiParameter kHeight{
    &ImagePathState::height, &ImagePathState::yOffset, kFrameHeight, 4, false,
    Reg::Bank0YLength,       Reg::Bank1YLength,        kYOffsetId};
constexpr RoiParameter kYOffset{
    &ImagePathState::yOffset, &ImagePathState::height, kFrameHeight, 0, false,
    Reg::Bank0YOffset,        Reg::Bank1YOffset,       kHeightId};

template <const RoiParameter& P>
void setRoi(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    ImagePathState& s = a.imagePath();
    uint32_t value = asUnsigned(v);
    // The range decides before the increment: 16392 is out of range, not a bad multiple.
    if (value < P.minimum || value > P.frame - s.*P.partner)
        return reject(kValueOutOfRange, reportErrors);
    if (P.multipleOf8 && value % 8 != 0) return reject(kNotAMultiple, reportErrors);
    commit(s.*P.field, value, reportErrors, [&] {
        a.writeRegister(P.bank0, value);
        a.writeRegister(P.bank1, value);
        // Reached only when both banks took the value.
        a.updateInfoNode(P.partnerId, [&](ParameterInfoNode& n) {
            n.a.i32.max = static_cast<int32_t>(P.frame - value);
        });
    });
}

// ---------------------------------------------------------------------------------------------
// Image selector: one image out of every `period` is passed on, the one numbered `select`
// (0-based), so the period must always exceed the selected number.

void setImageSelectPeriod(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    ImagePathState& s = a.imagePath();
    uint32_t period = asUnsigned(v);
    if (period < 1 || period > 256) return reject(kValueOutOfRange, reportErrors);
    commit(s.imageSelectPeriod, period, reportErrors, [&] {
        if (period <= s.imageSelect) fail(kValueOutOfRange);
        a.writeRegister(Reg::ImageSelectPeriod, period);
    });
}

void setImageSelect(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    ImagePathState& s = a.imagePath();
    uint32_t select = asUnsigned(v);
    if (select > 255) return reject(kValueOutOfRange, reportErrors);
    commit(s.imageSelect, select, reportErrors, [&] {
        if (s.imageSelectPeriod <= select) fail(kValueOutOfRange);
        a.writeRegister(Reg::ImageSelectPhase, select);
    });
}

// ---------------------------------------------------------------------------------------------
// Getters

template <Field F>
int32_t stored(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.imagePath().*F);
}

template <int32_t V>
int32_t constant(FgXeWrapperImpl&) {
    return V;
}

void getHapFile(FgXeWrapperImpl&, void* buffer) {
    std::memcpy(buffer, kHapFile, sizeof kHapFile);
}

void getDmaStatus(FgXeWrapperImpl& a, void* buffer) {
    check(a.hostGetById(kHostDmaStatus, buffer, kDma0));
}

int32_t overflow(FgXeWrapperImpl& a) {
    return static_cast<int32_t>(a.readRegister(Reg::OverflowOccurred));
}

// The fuller of the two buffer banks, in percent; an overflow counts as full. Bank 0's level
// passes through `scratch` (the caller's buffer for FG_FILLLEVEL) while bank 1 is read.
uint32_t fillLevel(FgXeWrapperImpl& a, void* scratch) {
    if (a.readRegister(Reg::OverflowOccurred) == 1) return 100;
    uint32_t bank0 = a.readRegister(Reg::Bank0FillLevel);
    std::memcpy(scratch, &bank0, sizeof bank0);
    uint32_t bank1 = a.readRegister(Reg::Bank1FillLevel);
    return std::max(bank0, bank1);
}

void getFillLevel(FgXeWrapperImpl& a, void* buffer) {
    uint32_t level = fillLevel(a, buffer);
    std::memcpy(buffer, &level, sizeof level);
}

// The host's camera status with the buffer state in the top bits: bit 5 overflow, bits 6 and 7
// the fill level in quarters.
int32_t cameraStatusExtended(FgXeWrapperImpl& a) {
    uint32_t scratch = 0;
    uint32_t fill = fillLevel(a, &scratch);
    uint32_t overflowBit = a.readRegister(Reg::OverflowOccurred) & 1u;
    uint32_t host = 0;
    check(a.hostGetById(kHostCamStatus, &host, kDma0));
    uint32_t fillCode = fill < 25 ? 0u : fill < 50 ? 1u : fill < 75 ? 2u : 3u;
    uint32_t status = (host & ~0xE0u) | (fillCode << 6) | (overflowBit << 5);
    return static_cast<int32_t>(status);
}

int32_t cameraStatus(FgXeWrapperImpl& a) {
    return cameraStatusExtended(a) & 1;
}

constexpr ParameterBinding kBindings[] = {
    {kTimeoutId, intSetter<setForwarded<kTimeout>>, intGetter<stored<&ImagePathState::timeout>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::timeout>},
    {kTurboDmaId, intSetter<setForwarded<kTurboDma>>,
     intGetter<stored<&ImagePathState::turboDmaMode>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::turboDmaMode>},
    {kCameraTypeId, intSetter<setEnumeration<kCameraType>>,
     intGetter<stored<&ImagePathState::cameraType>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::cameraType>},
    {kUseDvalId, intSetter<setEnumeration<kUseDval>>, intGetter<stored<&ImagePathState::useDval>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::useDval>},
    {kWidthId, intSetter<setRoi<kWidth>>, intGetter<stored<&ImagePathState::width>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::width>},
    {kHeightId, intSetter<setRoi<kHeight>>, intGetter<stored<&ImagePathState::height>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::height>},
    {kXOffsetId, intSetter<setRoi<kXOffset>>, intGetter<stored<&ImagePathState::xOffset>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::xOffset>},
    {kYOffsetId, intSetter<setRoi<kYOffset>>, intGetter<stored<&ImagePathState::yOffset>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::yOffset>},
    {kFormatId, intSetter<setEnumeration<kFormat>>, intGetter<stored<&ImagePathState::format>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::format>},
    {kBitAlignmentId, intSetter<setEnumeration<kBitAlignment>>,
     intGetter<stored<&ImagePathState::bitAlignment>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::bitAlignment>},
    {kImageSelectPeriodId, intSetter<setImageSelectPeriod>,
     intGetter<stored<&ImagePathState::imageSelectPeriod>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::imageSelectPeriod>},
    {kImageSelectId, intSetter<setImageSelect>, intGetter<stored<&ImagePathState::imageSelect>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::imageSelect>},
    {kPixelDepthId, nullptr, intGetter<constant<12>>},
    {kAppletIdId, nullptr, intGetter<constant<0>>},
    {kAppletVersionId, nullptr, intGetter<constant<2>>},
    {kAppletRevisionId, nullptr, intGetter<constant<4>>},
    {kHapFileId, nullptr, getHapFile},
    {kDmaStatusId, nullptr, getDmaStatus},
    {kCamStatusId, nullptr, intGetter<cameraStatus>},
    {kCamStatusExtendedId, nullptr, intGetter<cameraStatusExtended>},
    {kFillLevelId, nullptr, getFillLevel},
    {kOverflowId, nullptr, intGetter<overflow>},
};

} // namespace

std::span<const ParameterBinding> imagePathBindings() {
    return kBindings;
}

} // namespace pellvane
