// The host library's functions as the applet binds them: their signatures and the positions
// they take in the host function table. The table keeps the host library's own layout of 108
// slots; only the positions listed here are ever filled.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pellvane {

namespace hostfn {
using InitHandleSlaveAware = void* (*)(const char* file, void* board, void* hap, int32_t slave);
using InitHandle = void* (*)(const char* file, void* board, void* hap);
using GetLastErrorNumber = int32_t (*)(void* fg);
using GetParameterIdByName = int32_t (*)(void* fg, const char* name);
using SetParameter = int32_t (*)(void* fg, int32_t id, const void* value, uint32_t dma);
using GetParameter = int32_t (*)(void* fg, int32_t id, void* value, uint32_t dma);
using SetParameterWithType = int32_t (*)(void* fg, int32_t id, const void* value, uint32_t dma,
                                         int32_t type);
using GetParameterWithType = int32_t (*)(void* fg, int32_t id, void* value, uint32_t dma,
                                         int32_t type);
using GetParameterInfo = void* (*)(void* fg, int32_t port);
using GetAppletId = int32_t (*)(void* fg, const char* arg);
using AcquireEx = int32_t (*)(void* fg, uint32_t dma, int64_t count, int32_t flags, void* mem);
using StopAcquireEx = int32_t (*)(void* fg, uint32_t dma, void* mem, int32_t flags);
using GetLastPicNumberEx = int64_t (*)(void* fg, uint32_t dma, void* mem);
using GetLastPicNumberBlockingEx = int64_t (*)(void* fg, int64_t pic, uint32_t dma, int32_t timeout,
                                               void* mem);
using GetStatusEx = int64_t (*)(void* fg, int32_t param, int64_t data, uint32_t dma, void* mem);
using FreeGrabber = int32_t (*)(void* fg);
} // namespace hostfn

// Positions in the host function table.
enum class HostSlot : uint8_t {
    GetAppletId = 4,
    SetParameter = 5,
    SetParameterWithType = 6,
    GetParameter = 7,
    GetParameterWithType = 8,
    SaveConfig = 10,
    LoadConfig = 11,
    Acquire = 12,
    StopAcquire = 13,
    GetLastPicNumberEx = 14,
    GetLastPicNumberBlockingEx = 15,
    FreeGrabber = 18,
    GetLastErrorNumber = 19,
    GetStatusEx = 28,
    AcquireEx = 29,
    StopAcquireEx = 30,
    GetParameterInfo = 31,
    AllocShading = 32,
    FreeShading = 33,
    ShadGetMaxLine = 34,
    ShadSetSubValueLine = 35,
    ShadSetMultValueLine = 36,
    ShadSetFixedPatternNoiseLine = 37,
    ShadGetAccess = 38,
    ShadFreeAccess = 39,
    ShadWriteActLine = 40,
};

struct HostSlotName {
    HostSlot slot;
    const char* name;
};

// The names the binding looks up, in the order it looks them up.
inline constexpr std::array<HostSlotName, 26> kHostBindingOrder = {{
    {HostSlot::GetAppletId, "Fg_getAppletId"},
    {HostSlot::SetParameter, "Fg_setParameter"},
    {HostSlot::SetParameterWithType, "Fg_setParameterWithType"},
    {HostSlot::GetParameter, "Fg_getParameter"},
    {HostSlot::GetParameterWithType, "Fg_getParameterWithType"},
    {HostSlot::SaveConfig, "Fg_saveConfig"},
    {HostSlot::LoadConfig, "Fg_loadConfig"},
    {HostSlot::Acquire, "Fg_Acquire"},
    {HostSlot::StopAcquire, "Fg_stopAcquire"},
    {HostSlot::GetLastPicNumberBlockingEx, "Fg_getLastPicNumberBlockingEx"},
    {HostSlot::GetLastPicNumberEx, "Fg_getLastPicNumberEx"},
    {HostSlot::FreeGrabber, "Fg_FreeGrabber"},
    {HostSlot::GetLastErrorNumber, "Fg_getLastErrorNumber"},
    {HostSlot::GetStatusEx, "Fg_getStatusEx"},
    {HostSlot::AcquireEx, "Fg_AcquireEx"},
    {HostSlot::StopAcquireEx, "Fg_stopAcquireEx"},
    {HostSlot::GetParameterInfo, "Fg_getParameterInfo"},
    {HostSlot::AllocShading, "Fg_AllocShading"},
    {HostSlot::FreeShading, "Fg_FreeShading"},
    {HostSlot::ShadSetSubValueLine, "Shad_SetSubValueLine"},
    {HostSlot::ShadSetMultValueLine, "Shad_SetMultValueLine"},
    {HostSlot::ShadSetFixedPatternNoiseLine, "Shad_SetFixedPatternNoiseLine"},
    {HostSlot::ShadGetMaxLine, "Shad_GetMaxLine"},
    {HostSlot::ShadGetAccess, "Shad_GetAccess"},
    {HostSlot::ShadFreeAccess, "Shad_FreeAccess"},
    {HostSlot::ShadWriteActLine, "Shad_WriteActLine"},
}};

// The bound host functions: 108 pointer-sized slots, all null until the binding fills them.
class HostFunctionTable {
public:
    static constexpr std::size_t kSlots = 108;

    void* slot(HostSlot s) const { return slots_[static_cast<std::size_t>(s)]; }
    void set(HostSlot s, void* address) { slots_[static_cast<std::size_t>(s)] = address; }
    bool bound(HostSlot s) const { return slot(s) != nullptr; }

    // The function in a slot with its signature; null when the host does not export it.
    template <class Fn>
    Fn get(HostSlot s) const {
        return reinterpret_cast<Fn>(slot(s));
    }

private:
    std::array<void*, kSlots> slots_{};
};

} // namespace pellvane
