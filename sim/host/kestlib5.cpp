// kestlib5: the virtual board's host frame-grabber library.
//
// Exports the functions an applet binds by name. The `fg` argument of every call is a handle
// made by Fg_InitHandleSlaveAware or Fg_InitHandle; handles are checked against the model's list
// of open handles, so a null, foreign or freed handle gets VB_HOST_ERR_INVALID_HANDLE.
//
// Older and trimmed-down host libraries lack some functions; the build compiles this file once
// per variant with the KEST_WITH_* switches below turned off as needed.
#include "host_handle.h"

#include <cstdint>
#include <new>

#ifndef KEST_WITH_SLAVE_AWARE_INIT
#define KEST_WITH_SLAVE_AWARE_INIT 1
#endif
#ifndef KEST_WITH_PLAIN_INIT
#define KEST_WITH_PLAIN_INIT 1
#endif
#ifndef KEST_WITH_LAST_ERROR
#define KEST_WITH_LAST_ERROR 1
#endif
#ifndef KEST_WITH_STATUS
#define KEST_WITH_STATUS 1
#endif
#ifndef KEST_WITH_LAST_PIC
#define KEST_WITH_LAST_PIC 1
#endif
#ifndef KEST_WITH_PARAMETER_INFO
#define KEST_WITH_PARAMETER_INFO 1
#endif
#ifndef KEST_WITH_FREE_GRABBER
#define KEST_WITH_FREE_GRABBER 1
#endif

// On Windows the build's export list (a .def file per variant) decides what is exported.
#if defined(_WIN32)
#define KEST_API extern "C"
#else
#define KEST_API extern "C" __attribute__((visibility("default")))
#endif

namespace {

using kest::HostHandle;

// Ids of the two init-handle functions as vb_last_init_call reports them.
constexpr std::int32_t kCalledSlaveAware = 1;
constexpr std::int32_t kCalledPlain = 2;

constexpr std::int64_t kInvalidHandle64 = VB_HOST_ERR_INVALID_HANDLE;

HostHandle* handleOf(void* fg) {
    return vbm_host_handle_valid(fg) != 0 ? static_cast<HostHandle*>(fg) : nullptr;
}

// Applet id the host reports for the loaded design (the design's file type code).
constexpr std::int32_t kAppletId = 2626;

[[maybe_unused]] void* initHandle(void* board, void* hap) {
    std::int32_t error = 0;
    if (vbm_take_init_failure(&error) != 0) {
        vbm_set_init_error(error);
        return nullptr;
    }
    if (vbm_board_valid(static_cast<VbBoard*>(board)) == 0 || vbm_image_design(hap) == nullptr) {
        vbm_set_init_error(VB_HOST_ERR_INIT_ARGUMENT);
        return nullptr;
    }
    auto* handle = new (std::nothrow) HostHandle(static_cast<VbBoard*>(board), hap);
    if (handle != nullptr) vbm_host_handle_opened(handle);
    return handle;
}

std::int32_t acquire(void* fg, std::uint32_t dma, std::int64_t count, std::int32_t flags) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? VB_HOST_ERR_INVALID_HANDLE : h->acquire(dma, count, flags);
}

std::int32_t stop(void* fg, std::uint32_t dma) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? VB_HOST_ERR_INVALID_HANDLE : h->stop(dma);
}

} // namespace

// ---- handles ----

#if KEST_WITH_SLAVE_AWARE_INIT
// The hardware-applet file name is informational: the image is already loaded (hap).
KEST_API void* Fg_InitHandleSlaveAware(const char* /*file*/, void* board, void* hap,
                                       std::int32_t slave) {
    vbm_note_init_call(kCalledSlaveAware, slave);
    return initHandle(board, hap);
}
#endif

#if KEST_WITH_PLAIN_INIT
KEST_API void* Fg_InitHandle(const char* /*file*/, void* board, void* hap) {
    vbm_note_init_call(kCalledPlain, 0);
    return initHandle(board, hap);
}
#endif

#if KEST_WITH_FREE_GRABBER
KEST_API std::int32_t Fg_FreeGrabber(void* fg) {
    HostHandle* h = handleOf(fg);
    if (h == nullptr || vbm_host_handle_closed(h) != 0) return VB_HOST_ERR_INVALID_HANDLE;
    delete h;
    return 0;
}
#endif

#if KEST_WITH_LAST_ERROR
// With a null handle: the error of the last failed init-handle call.
KEST_API std::int32_t Fg_getLastErrorNumber(void* fg) {
    if (fg == nullptr) return vbm_init_error();
    HostHandle* h = handleOf(fg);
    return h == nullptr ? VB_HOST_ERR_INVALID_HANDLE : h->lastError();
}
#endif

// ---- parameters ----

KEST_API std::int32_t Fg_getParameterIdByName(void* fg, const char* name) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? 0 : h->parameterId(name);
}

KEST_API std::int32_t Fg_setParameter(void* fg, std::int32_t id, const void* value,
                                      std::uint32_t dma) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? VB_HOST_ERR_INVALID_HANDLE
                        : h->set(id, value, dma, HostHandle::kNaturalType);
}

KEST_API std::int32_t Fg_getParameter(void* fg, std::int32_t id, void* value, std::uint32_t dma) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? VB_HOST_ERR_INVALID_HANDLE
                        : h->get(id, value, dma, HostHandle::kNaturalType);
}

KEST_API std::int32_t Fg_setParameterWithType(void* fg, std::int32_t id, const void* value,
                                              std::uint32_t dma, std::int32_t type) {
    HostHandle* h = handleOf(fg);
    if (h == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    // Type 0 is the natural-type marker of the untyped calls, not a host type code.
    if (type == HostHandle::kNaturalType) return h->fail(VB_HOST_ERR_INVALID_PARAMETER);
    return h->set(id, value, dma, type);
}

KEST_API std::int32_t Fg_getParameterWithType(void* fg, std::int32_t id, void* value,
                                              std::uint32_t dma, std::int32_t type) {
    HostHandle* h = handleOf(fg);
    if (h == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    if (type == HostHandle::kNaturalType) return h->fail(VB_HOST_ERR_INVALID_PARAMETER);
    return h->get(id, value, dma, type);
}

#if KEST_WITH_PARAMETER_INFO
// The host's own parameter tree; only port 0 has one.
KEST_API void* Fg_getParameterInfo(void* fg, std::int32_t port) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? nullptr : h->parameterInfo(port);
}
#endif

KEST_API std::int32_t Fg_getAppletId(void* fg, const char* /*ignored*/) {
    return handleOf(fg) == nullptr ? VB_HOST_ERR_INVALID_HANDLE : kAppletId;
}

KEST_API std::int32_t Fg_saveConfig(void* fg, const char* file) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? VB_HOST_ERR_INVALID_HANDLE : h->saveConfig(file);
}

KEST_API std::int32_t Fg_loadConfig(void* fg, const char* file) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? VB_HOST_ERR_INVALID_HANDLE : h->loadConfig(file);
}

// ---- acquisition and status ----

KEST_API std::int32_t Fg_Acquire(void* fg, std::uint32_t dma, std::int64_t count) {
    return acquire(fg, dma, count, 1);
}

KEST_API std::int32_t Fg_stopAcquire(void* fg, std::uint32_t dma) {
    return stop(fg, dma);
}

KEST_API std::int32_t Fg_AcquireEx(void* fg, std::uint32_t dma, std::int64_t count,
                                   std::int32_t flags, void* /*mem*/) {
    return acquire(fg, dma, count, flags);
}

KEST_API std::int32_t Fg_stopAcquireEx(void* fg, std::uint32_t dma, void* /*mem*/,
                                       std::int32_t /*flags*/) {
    return stop(fg, dma);
}

#if KEST_WITH_LAST_PIC
KEST_API std::int64_t Fg_getLastPicNumberEx(void* fg, std::uint32_t dma, void* /*mem*/) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? kInvalidHandle64 : h->lastPicture(dma);
}
#endif

KEST_API std::int64_t Fg_getLastPicNumberBlockingEx(void* fg, std::int64_t picture,
                                                    std::uint32_t dma, std::int32_t timeout,
                                                    void* /*mem*/) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? kInvalidHandle64 : h->lastPictureBlocking(picture, dma, timeout);
}

#if KEST_WITH_STATUS
KEST_API std::int64_t Fg_getStatusEx(void* fg, std::int32_t query, std::int64_t /*data*/,
                                     std::uint32_t dma, void* /*mem*/) {
    HostHandle* h = handleOf(fg);
    return h == nullptr ? kInvalidHandle64 : h->status(query, dma);
}
#endif

// ---- shading: the board has no shading unit ----

KEST_API void* Fg_AllocShading(void* /*fg*/, std::int32_t /*set*/, std::uint32_t /*dma*/) {
    return nullptr;
}
KEST_API std::int32_t Fg_FreeShading(void* /*fg*/, void* /*shading*/) {
    return VB_HOST_ERR_NOT_SUPPORTED;
}
KEST_API std::int32_t Shad_GetAccess(void* /*fg*/, void* /*shading*/) {
    return VB_HOST_ERR_NOT_SUPPORTED;
}
KEST_API std::int32_t Shad_FreeAccess(void* /*fg*/, void* /*shading*/) {
    return VB_HOST_ERR_NOT_SUPPORTED;
}
KEST_API std::int32_t Shad_GetMaxLine(void* /*fg*/, void* /*shading*/) {
    return VB_HOST_ERR_NOT_SUPPORTED;
}
KEST_API std::int32_t Shad_SetSubValueLine(void* /*fg*/, void* /*shading*/, std::int32_t /*x*/,
                                           std::int32_t /*channel*/, float /*sub*/) {
    return VB_HOST_ERR_NOT_SUPPORTED;
}
KEST_API std::int32_t Shad_SetMultValueLine(void* /*fg*/, void* /*shading*/, std::int32_t /*x*/,
                                            std::int32_t /*channel*/, float /*mult*/) {
    return VB_HOST_ERR_NOT_SUPPORTED;
}
KEST_API std::int32_t Shad_SetFixedPatternNoiseLine(void* /*fg*/, void* /*shading*/,
                                                    std::int32_t /*x*/, std::int32_t /*channel*/,
                                                    std::int32_t /*on*/) {
    return VB_HOST_ERR_NOT_SUPPORTED;
}
KEST_API std::int32_t Shad_WriteActLine(void* /*fg*/, void* /*shading*/, std::int32_t /*line*/) {
    return VB_HOST_ERR_NOT_SUPPORTED;
}
