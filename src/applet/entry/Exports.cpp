// The exported functions the host calls with its Fg handle. The handle points to the host's
// per-board record, whose first word holds the applet object. Every export checks the handle,
// then either calls a virtual operation of the applet object or forwards the call to the host
// library's function of the same name with the host's own handle.
#include "entry/Export.h"
#include "host/ErrorCodes.h"
#include "host/FgXeWrapper.h"

#include <cstring>
#include <utility>

using namespace pellvane;

namespace {

constexpr int32_t kTypeInt64 = 3;
constexpr int32_t kTypeUint64 = 4;

// The applet object in the record, or null for a bad handle.
FgXeWrapper* appletOf(void* fg) {
    if (fg == nullptr) return nullptr;
    return *static_cast<FgXeWrapper**>(fg);
}

// Forwards to the host's function in `slot`. A missing function or host handle answers -12; a
// negative host result leaves the host's own error number as the last error.
template <class Fn, class... Args>
auto forwardToHost(void* fg, HostSlot slot, Args... args)
    -> decltype(std::declval<Fn>()(nullptr, args...)) {
    using Result = decltype(std::declval<Fn>()(nullptr, args...));
    FgXeWrapper* applet = appletOf(fg);
    if (applet == nullptr) return Result{kInvalidHandle};
    Fn fn = applet->hostFunctions().get<Fn>(slot);
    if (fn == nullptr || applet->hostHandle() == nullptr) {
        applet->setLastError(kNotWritableOrUnbound);
        return Result{kNotWritableOrUnbound};
    }
    Result result = fn(applet->hostHandle(), args...);
    applet->setLastError(result < 0 ? applet->hostErrorNumber() : kOk);
    return result;
}

// Shading operations: the export itself keeps the result as the last error.
template <class Op>
int32_t shading(void* fg, Op op) {
    FgXeWrapper* applet = appletOf(fg);
    if (applet == nullptr) return kInvalidHandle;
    int32_t result = op(*applet);
    applet->setLastError(result);
    return result;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Parameters, configuration files, information and events

PELLVANE_EXPORT int32_t Fg_setParameterWithType(void* fg, int32_t id, const void* value,
                                                uint32_t dma, int32_t /*type*/) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->setParameter(id, value, dma) : kInvalidHandle;
}

PELLVANE_EXPORT int32_t Fg_getParameterWithType(void* fg, int32_t id, void* value, uint32_t dma,
                                                int32_t type) {
    FgXeWrapper* applet = appletOf(fg);
    if (applet == nullptr) return kInvalidHandle;
    // A 64-bit request of a 32-bit parameter must not leave stale upper bytes.
    if ((type == kTypeInt64 || type == kTypeUint64) && value != nullptr)
        std::memset(value, 0, sizeof(uint64_t));
    return applet->getParameter(id, value, dma);
}

PELLVANE_EXPORT int32_t Fg_getNrOfParameter(void* fg) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->getNrOfParameter() : kInvalidHandle;
}

PELLVANE_EXPORT const char* Fg_getParameterName(void* fg, int32_t index) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->getParameterName(index) : nullptr;
}

PELLVANE_EXPORT int32_t Fg_getParameterId(void* fg, int32_t index) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->getParameterId(index) : kInvalidHandle;
}

PELLVANE_EXPORT int32_t Fg_getParameterIdByName(void* fg, const char* name) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->getParameterIdByName(name) : kInvalidHandle;
}

PELLVANE_EXPORT int32_t Fg_saveConfig(void* fg, const char* file) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->saveConfig(applet->hostHandle(), file) : kInvalidHandle;
}

PELLVANE_EXPORT int32_t Fg_loadConfig(void* fg, const char* file) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->loadConfig(applet->hostHandle(), file) : kInvalidHandle;
}

PELLVANE_EXPORT int32_t Fg_getParameterInfoXML(void* fg, int32_t port, char* buffer, size_t* size) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->getParameterInfoXML(fg, port, buffer, size) : kInvalidHandle;
}

PELLVANE_EXPORT uint64_t Fg_getEventMask(void* fg, const char* name) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->getEventMask(name) : 0;
}

PELLVANE_EXPORT const char* Fg_getEventName(void* fg, uint64_t mask) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->getEventName(mask) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Shading: not supported by this applet

PELLVANE_EXPORT void* Fg_AllocShading(void* fg, int32_t set, uint32_t dma) {
    FgXeWrapper* applet = appletOf(fg);
    if (applet == nullptr) return nullptr;
    void* shading = applet->allocShading(set, dma);
    applet->setLastError(shading != nullptr ? kOk : kNoShadingObject);
    return shading;
}

PELLVANE_EXPORT int32_t Fg_FreeShading(void* fg, void* sh) {
    return shading(fg, [&](FgXeWrapper& a) { return a.freeShading(sh); });
}

PELLVANE_EXPORT int32_t Shad_SetSubValueLine(void* fg, void* sh, intptr_t x, intptr_t channel,
                                             float value) {
    return shading(fg, [&](FgXeWrapper& a) { return a.setSubValueLine(sh, x, channel, value); });
}

PELLVANE_EXPORT int32_t Shad_SetMultValueLine(void* fg, void* sh, intptr_t x, intptr_t channel,
                                              float value) {
    return shading(fg, [&](FgXeWrapper& a) { return a.setMultValueLine(sh, x, channel, value); });
}

PELLVANE_EXPORT int32_t Shad_SetFixedPatternNoiseLine(void* fg, void* sh, intptr_t x,
                                                      intptr_t channel, int32_t value) {
    return shading(
        fg, [&](FgXeWrapper& a) { return a.setFixedPatternNoiseLine(sh, x, channel, value); });
}

PELLVANE_EXPORT int32_t Shad_GetMaxLine(void* fg, void* sh) {
    return shading(fg, [&](FgXeWrapper& a) { return a.getMaxLine(sh); });
}

PELLVANE_EXPORT int32_t Shad_GetAccess(void* fg, void* sh) {
    return shading(fg, [&](FgXeWrapper& a) { return a.getShadingAccess(sh); });
}

PELLVANE_EXPORT int32_t Shad_FreeAccess(void* fg, void* sh) {
    return shading(fg, [&](FgXeWrapper& a) { return a.freeShadingAccess(sh); });
}

PELLVANE_EXPORT int32_t Shad_WriteActLine(void* fg, void* sh, int32_t line) {
    return shading(fg, [&](FgXeWrapper& a) { return a.writeActLine(sh, line); });
}

// ---------------------------------------------------------------------------------------------
// Acquisition and status: forwarded to the host library

PELLVANE_EXPORT int32_t Fg_getAppletId(void* fg, const char* arg) {
    return forwardToHost<hostfn::GetAppletId>(fg, HostSlot::GetAppletId, arg);
}

PELLVANE_EXPORT int32_t Fg_AcquireEx(void* fg, uint32_t dma, int64_t count, int32_t flags,
                                     void* mem) {
    return forwardToHost<hostfn::AcquireEx>(fg, HostSlot::AcquireEx, dma, count, flags, mem);
}

PELLVANE_EXPORT int32_t Fg_stopAcquireEx(void* fg, uint32_t dma, void* mem, int32_t flags) {
    return forwardToHost<hostfn::StopAcquireEx>(fg, HostSlot::StopAcquireEx, dma, mem, flags);
}

PELLVANE_EXPORT int64_t Fg_getLastPicNumberEx(void* fg, uint32_t dma, void* mem) {
    return forwardToHost<hostfn::GetLastPicNumberEx>(fg, HostSlot::GetLastPicNumberEx, dma, mem);
}

PELLVANE_EXPORT int64_t Fg_getLastPicNumberBlockingEx(void* fg, int64_t pic, uint32_t dma,
                                                      int32_t timeout, void* mem) {
    return forwardToHost<hostfn::GetLastPicNumberBlockingEx>(
        fg, HostSlot::GetLastPicNumberBlockingEx, pic, dma, timeout, mem);
}

PELLVANE_EXPORT int64_t Fg_getStatusEx(void* fg, int32_t param, int64_t data, uint32_t dma,
                                       void* mem) {
    return forwardToHost<hostfn::GetStatusEx>(fg, HostSlot::GetStatusEx, param, data, dma, mem);
}

// ---------------------------------------------------------------------------------------------
// Last error, information tree, tear-down

PELLVANE_EXPORT int32_t Fg_getLastErrorNumber(void* fg) {
    FgXeWrapper* applet = appletOf(fg);
    return applet != nullptr ? applet->lastError() : kInvalidHandle;
}

PELLVANE_EXPORT void* Fg_getParameterInfo(void* fg, int32_t port) {
    FgXeWrapper* applet = appletOf(fg);
    if (applet == nullptr) return nullptr;
    // The applet answers with its own tree, but only where the host could serve such a tree.
    if (!applet->hostFunctions().bound(HostSlot::GetParameterInfo) ||
        applet->hostHandle() == nullptr)
        return nullptr;
    return applet->parameterInfoRoot(port);
}

PELLVANE_EXPORT int32_t Fg_FreeGrabber(void* fg) {
    FgXeWrapper* applet = appletOf(fg);
    if (applet == nullptr) return kInvalidHandle;
    int32_t result = kOk;
    auto hostFree = applet->hostFunctions().get<hostfn::FreeGrabber>(HostSlot::FreeGrabber);
    if (hostFree != nullptr && applet->hostHandle() != nullptr)
        result = hostFree(applet->hostHandle());
    delete applet;
    *static_cast<FgXeWrapper**>(fg) = nullptr;
    return result;
}
