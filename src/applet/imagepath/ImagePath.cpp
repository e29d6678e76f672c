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

// The host library numbers its own parameters as the applet does: these are forwarded to the
// host's parameter of the same identifier.
constexpr uint32_t kDma0 = 0;

// The image buffer holds at most the widest and the highest region of interest the
// declaration allows; a region must fit inside it.
constexpr auto kFrameWidth = static_cast<uint32_t>(declaredNode(FG_WIDTH).max);
constexpr auto kFrameHeight = static_cast<uint32_t>(declaredNode(FG_HEIGHT).max);

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
    int32_t id; // the applet's and the host's identifier alike
};

constexpr HostForwarded kTimeout{&ImagePathState::timeout, FG_TIMEOUT};
constexpr HostForwarded kTurboDma{&ImagePathState::turboDmaMode, FG_TURBO_DMA_MODE};

template <const HostForwarded& P>
void setForwarded(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    constexpr NodeRow node = declaredNode(P.id);
    uint32_t value = asUnsigned(v);
    if (value < static_cast<uint32_t>(node.min) || value > static_cast<uint32_t>(node.max))
        return reject(kValueOutOfRange, reportErrors);
    commit(a.imagePath().*P.field, value, reportErrors,
           [&] { check(a.hostSetById(P.id, &value, kDma0)); });
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
    int32_t id;     // its minimum and increment (8: the buffer addresses pixels in groups of 8)
    Reg bank0;
    Reg bank1;
    int32_t partnerId;
};

constexpr RoiParameter kWidth{
    &ImagePathState::width, &ImagePathState::xOffset, kFrameWidth, FG_WIDTH,
    Reg::Bank0XLength,      Reg::Bank1XLength,        FG_XOFFSET};
constexpr RoiParameter kXOffset{
    &ImagePathState::xOffset, &ImagePathState::width, kFrameWidth, FG_XOFFSET,
    Reg::Bank0XOffset,        Reg::Bank1XOffset,      FG_WIDTH};
constexpr RoiParameter kHeight{
    &ImagePathState::height, &ImagePathState::yOffset, kFrameHeight, FG_HEIGHT,
    Reg::Bank0YLength,       Reg::Bank1YLength,        FG_YOFFSET};
constexpr RoiParameter kYOffset{
    &ImagePathState::yOffset, &ImagePathState::height, kFrameHeight, FG_YOFFSET,
    Reg::Bank0YOffset,        Reg::Bank1YOffset,       FG_HEIGHT};

template <const RoiParameter& P>
void setRoi(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    constexpr NodeRow node = declaredNode(P.id);
    constexpr auto minimum = static_cast<uint32_t>(node.min);
    constexpr auto increment = static_cast<uint32_t>(node.inc);
    ImagePathState& s = a.imagePath();
    uint32_t value = asUnsigned(v);
    // The range decides before the increment: 16392 is out of range, not a bad multiple.
    if (value < minimum || value > P.frame - s.*P.partner)
        return reject(kValueOutOfRange, reportErrors);
    if (value % increment != 0) return reject(kNotAMultiple, reportErrors);
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
    constexpr NodeRow node = declaredNode(FG_IMG_SELECT_PERIOD);
    uint32_t period = asUnsigned(v);
    if (period < static_cast<uint32_t>(node.min) || period > static_cast<uint32_t>(node.max))
        return reject(kValueOutOfRange, reportErrors);
    commit(s.imageSelectPeriod, period, reportErrors, [&] {
        if (period <= s.imageSelect) fail(kValueOutOfRange);
        a.writeRegister(Reg::ImageSelectPeriod, period);
    });
}

void setImageSelect(FgXeWrapperImpl& a, int32_t v, bool reportErrors) {
    ImagePathState& s = a.imagePath();
    uint32_t select = asUnsigned(v);
    if (select > static_cast<uint32_t>(declaredNode(FG_IMG_SELECT).max))
        return reject(kValueOutOfRange, reportErrors);
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
    check(a.hostGetById(FG_DMASTATUS, buffer, kDma0));
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
    check(a.hostGetById(FG_CAMSTATUS_EXTENDED, &host, kDma0));
    uint32_t fillCode = fill < 25 ? 0u : fill < 50 ? 1u : fill < 75 ? 2u : 3u;
    uint32_t status = (host & ~0xE0u) | (fillCode << 6) | (overflowBit << 5);
    return static_cast<int32_t>(status);
}

int32_t cameraStatus(FgXeWrapperImpl& a) {
    return cameraStatusExtended(a) & 1;
}

constexpr ParameterBinding kBindings[] = {
    {FG_TIMEOUT, intSetter<setForwarded<kTimeout>>, intGetter<stored<&ImagePathState::timeout>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::timeout>},
    {FG_TURBO_DMA_MODE, intSetter<setForwarded<kTurboDma>>,
     intGetter<stored<&ImagePathState::turboDmaMode>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::turboDmaMode>},
    {FG_CAMERA_LINK_CAMTYPE, intSetter<setEnumeration<kCameraType>>,
     intGetter<stored<&ImagePathState::cameraType>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::cameraType>},
    {FG_USEDVAL, intSetter<setEnumeration<kUseDval>>, intGetter<stored<&ImagePathState::useDval>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::useDval>},
    {FG_WIDTH, intSetter<setRoi<kWidth>>, intGetter<stored<&ImagePathState::width>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::width>},
    {FG_HEIGHT, intSetter<setRoi<kHeight>>, intGetter<stored<&ImagePathState::height>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::height>},
    {FG_XOFFSET, intSetter<setRoi<kXOffset>>, intGetter<stored<&ImagePathState::xOffset>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::xOffset>},
    {FG_YOFFSET, intSetter<setRoi<kYOffset>>, intGetter<stored<&ImagePathState::yOffset>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::yOffset>},
    {FG_FORMAT, intSetter<setEnumeration<kFormat>>, intGetter<stored<&ImagePathState::format>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::format>},
    {FG_BITALIGNMENT, intSetter<setEnumeration<kBitAlignment>>,
     intGetter<stored<&ImagePathState::bitAlignment>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::bitAlignment>},
    {FG_IMG_SELECT_PERIOD, intSetter<setImageSelectPeriod>,
     intGetter<stored<&ImagePathState::imageSelectPeriod>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::imageSelectPeriod>},
    {FG_IMG_SELECT, intSetter<setImageSelect>, intGetter<stored<&ImagePathState::imageSelect>>,
     fieldOf<&FgXeWrapperImpl::imagePath, &ImagePathState::imageSelect>},
    {FG_PIXELDEPTH, nullptr, intGetter<constant<12>>},
    {FG_APPLET_ID, nullptr, intGetter<constant<0>>},
    {FG_APPLET_VERSION, nullptr, intGetter<constant<2>>},
    {FG_APPLET_REVISION, nullptr, intGetter<constant<4>>},
    {FG_HAP_FILE, nullptr, getHapFile},
    {FG_DMASTATUS, nullptr, getDmaStatus},
    {FG_CAMSTATUS, nullptr, intGetter<cameraStatus>},
    {FG_CAMSTATUS_EXTENDED, nullptr, intGetter<cameraStatusExtended>},
    {FG_FILLLEVEL, nullptr, getFillLevel},
    {FG_OVERFLOW, nullptr, intGetter<overflow>},
};

} // namespace

std::span<const ParameterBinding> imagePathBindings() {
    return kBindings;
}

} // namespace pellvane
