// kestlib5: the virtual board's host frame-grabber library.
//
// Two kinds of callers share these functions. An applet calls them with the inner handle it got
// from Fg_InitHandleSlaveAware or Fg_InitHandle; an application calls them (and the functions
// of kestlib5/kestlib5.h) with a board record from Fg_Init, and the library passes such calls
// on to the applet's export of the same name. Inner handles are checked against the model's list
// of open handles and records against the records opened, so a null, foreign or freed handle
// gets VB_HOST_ERR_INVALID_HANDLE.
//
// Older and trimmed-down host libraries lack some functions; the build compiles this file once
// per variant with the KEST_WITH_* switches below turned off as needed.
#include "BoardRecord.h"
#include "HostHandle.h"

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

HostHandle* handleOf(const Fg_Struct* fg) {
    return vbm_host_handle_valid(fg) != 0
               ? static_cast<HostHandle*>(static_cast<void*>(const_cast<Fg_Struct*>(fg)))
               : nullptr;
}

using kest::Board;
using kest::boardOf;

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

std::int32_t acquire(Fg_Struct* fg, std::uint32_t dma, std::int64_t count, std::int32_t flags,
                     dma_mem* mem) {
    if (HostHandle* h = handleOf(fg)) return h->acquire(dma, count, flags, mem);
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    if (mem != nullptr && !b->owns(mem)) return b->fail(FG_ERR_INVALID_MEMORY);
    return b->note(b->applet().Fg_AcquireEx(fg, dma, count, flags, mem));
}

std::int32_t stop(Fg_Struct* fg, std::uint32_t dma, dma_mem* mem, std::int32_t flags) {
    if (HostHandle* h = handleOf(fg)) return h->stop(dma);
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    return b->note(b->applet().Fg_stopAcquireEx(fg, dma, mem, flags));
}

// An applet export the record's applet lacks.
constexpr std::int32_t kMissingExport = VB_HOST_ERR_NOT_SUPPORTED;

} // namespace

// ---- boards and handles ----

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

KEST_API Fg_Struct* Fg_Init(const char* applet, unsigned int boardIndex) {
    std::int32_t error = 0;
    Fg_Struct* fg = kest::openBoard(applet, boardIndex, &error);
    if (fg == nullptr) vbm_set_init_error(error);
    return fg;
}

#if KEST_WITH_FREE_GRABBER
KEST_API std::int32_t Fg_FreeGrabber(Fg_Struct* fg) {
    if (HostHandle* h = handleOf(fg)) {
        if (vbm_host_handle_closed(h) != 0) return VB_HOST_ERR_INVALID_HANDLE;
        h->stopAll();
        delete h;
        return 0;
    }
    return kest::closeBoard(fg);
}
#endif

#if KEST_WITH_LAST_ERROR
// With a null handle: the error of the last failed Fg_Init or init-handle call.
KEST_API std::int32_t Fg_getLastErrorNumber(Fg_Struct* fg) {
    if (fg == nullptr) return vbm_init_error();
    if (HostHandle* h = handleOf(fg)) return h->lastError();
    Board* b = boardOf(fg);
    return b == nullptr ? VB_HOST_ERR_INVALID_HANDLE : b->lastError();
}
#endif

KEST_API const char* Fg_getErrorDescription(Fg_Struct* /*fg*/, std::int32_t error) {
    return kest::errorDescription(error);
}

KEST_API std::int32_t Fg_getAppletInfo(Fg_Struct* fg, std::int32_t query, std::int32_t index1,
                                       std::int32_t index2, void* value, const void** data) {
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    return b->note(b->applet().Info(query, index1, index2, value, data));
}

// ---- parameters ----

KEST_API std::int32_t Fg_getNrOfParameter(Fg_Struct* fg) {
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    if (b->applet().Fg_getNrOfParameter == nullptr) return b->fail(kMissingExport);
    return b->note(b->applet().Fg_getNrOfParameter(fg));
}

KEST_API const char* Fg_getParameterName(Fg_Struct* fg, std::int32_t index) {
    Board* b = boardOf(fg);
    if (b == nullptr || b->applet().Fg_getParameterName == nullptr) return nullptr;
    const char* name = b->applet().Fg_getParameterName(fg, index);
    b->note(name != nullptr ? 0 : VB_HOST_ERR_INVALID_PARAMETER);
    return name;
}

KEST_API std::int32_t Fg_getParameterId(Fg_Struct* fg, std::int32_t index) {
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    if (b->applet().Fg_getParameterId == nullptr) return b->fail(kMissingExport);
    return b->note(b->applet().Fg_getParameterId(fg, index));
}

KEST_API std::int32_t Fg_getParameterIdByName(Fg_Struct* fg, const char* name) {
    if (HostHandle* h = handleOf(fg)) return h->parameterId(name);
    Board* b = boardOf(fg);
    if (b == nullptr || b->applet().Fg_getParameterIdByName == nullptr) return 0;
    return b->note(b->applet().Fg_getParameterIdByName(fg, name));
}

KEST_API std::int32_t Fg_setParameter(Fg_Struct* fg, std::int32_t id, const void* value,
                                      std::uint32_t dma) {
    if (HostHandle* h = handleOf(fg)) return h->set(id, value, dma, HostHandle::kNaturalType);
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    return b->note(b->applet().Fg_setParameterWithType(fg, id, value, dma, b->naturalType(id)));
}

KEST_API std::int32_t Fg_getParameter(Fg_Struct* fg, std::int32_t id, void* value,
                                      std::uint32_t dma) {
    if (HostHandle* h = handleOf(fg)) return h->get(id, value, dma, HostHandle::kNaturalType);
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    return b->note(b->applet().Fg_getParameterWithType(fg, id, value, dma, b->naturalType(id)));
}

KEST_API std::int32_t Fg_setParameterWithType(Fg_Struct* fg, std::int32_t id, const void* value,
                                              std::uint32_t dma, std::int32_t type) {
    if (HostHandle* h = handleOf(fg)) {
        // Type 0 is the natural-type marker of the untyped calls, not a host type code.
        if (type == HostHandle::kNaturalType) return h->fail(VB_HOST_ERR_INVALID_PARAMETER);
        return h->set(id, value, dma, type);
    }
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    return b->note(b->applet().Fg_setParameterWithType(fg, id, value, dma, type));
}

KEST_API std::int32_t Fg_getParameterWithType(Fg_Struct* fg, std::int32_t id, void* value,
                                              std::uint32_t dma, std::int32_t type) {
    if (HostHandle* h = handleOf(fg)) {
        if (type == HostHandle::kNaturalType) return h->fail(VB_HOST_ERR_INVALID_PARAMETER);
        return h->get(id, value, dma, type);
    }
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    return b->note(b->applet().Fg_getParameterWithType(fg, id, value, dma, type));
}

#if KEST_WITH_PARAMETER_INFO
// The host's own parameter tree (only port 0 has one), or the applet's tree for a record.
KEST_API const ParameterInfoNode* Fg_getParameterInfo(Fg_Struct* fg, std::int32_t port) {
    if (HostHandle* h = handleOf(fg)) return h->parameterInfo(port);
    Board* b = boardOf(fg);
    if (b == nullptr || b->applet().Fg_getParameterInfo == nullptr) return nullptr;
    return static_cast<const ParameterInfoNode*>(b->applet().Fg_getParameterInfo(fg, port));
}
#endif

KEST_API std::int32_t Fg_getParameterInfoXML(Fg_Struct* fg, std::int32_t port, char* buffer,
                                             size_t* size) {
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    if (b->applet().Fg_getParameterInfoXML == nullptr) return b->fail(kMissingExport);
    return b->note(b->applet().Fg_getParameterInfoXML(fg, port, buffer, size));
}

KEST_API std::int32_t Fg_getAppletId(Fg_Struct* fg, const char* ignored) {
    if (handleOf(fg) != nullptr) return kAppletId;
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    if (b->applet().Fg_getAppletId == nullptr) return b->fail(kMissingExport);
    return b->note(b->applet().Fg_getAppletId(fg, ignored));
}

KEST_API std::int32_t Fg_saveConfig(Fg_Struct* fg, const char* file) {
    if (HostHandle* h = handleOf(fg)) return h->saveConfig(file);
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    if (b->applet().Fg_saveConfig == nullptr) return b->fail(kMissingExport);
    return b->note(b->applet().Fg_saveConfig(fg, file));
}

KEST_API std::int32_t Fg_loadConfig(Fg_Struct* fg, const char* file) {
    if (HostHandle* h = handleOf(fg)) return h->loadConfig(file);
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    if (b->applet().Fg_loadConfig == nullptr) return b->fail(kMissingExport);
    return b->note(b->applet().Fg_loadConfig(fg, file));
}

KEST_API std::uint64_t Fg_getEventMask(Fg_Struct* fg, const char* name) {
    Board* b = boardOf(fg);
    if (b == nullptr || b->applet().Fg_getEventMask == nullptr) return 0;
    return b->applet().Fg_getEventMask(fg, name);
}

KEST_API const char* Fg_getEventName(Fg_Struct* fg, std::uint64_t mask) {
    Board* b = boardOf(fg);
    if (b == nullptr || b->applet().Fg_getEventName == nullptr) return nullptr;
    return b->applet().Fg_getEventName(fg, mask);
}

// ---- frame buffers and acquisition ----

KEST_API dma_mem* Fg_AllocMemEx(Fg_Struct* fg, size_t size, std::int64_t count) {
    Board* b = boardOf(fg);
    if (b == nullptr) return nullptr;
    dma_mem* mem = b->allocate(fg, size, count);
    b->note(mem != nullptr ? 0 : FG_ERR_NO_MEMORY);
    return mem;
}

KEST_API std::int32_t Fg_FreeMemEx(Fg_Struct* fg, dma_mem* mem) {
    Board* b = boardOf(fg);
    if (b == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    return b->note(b->release(mem));
}

KEST_API void* Fg_getImagePtrEx(Fg_Struct* fg, std::int64_t picture, std::uint32_t dma,
                                dma_mem* mem) {
    Board* b = boardOf(fg);
    if (b == nullptr) return nullptr;
    VbmDmaStatus status{};
    if (dma != 0 || mem == nullptr || !b->owns(mem) || picture < 1 ||
        vbm_dma_status(b->board(), dma, &status) != VBM_OK || picture > status.lastPicture) {
        b->fail(VB_HOST_ERR_INVALID_PARAMETER);
        return nullptr;
    }
    b->note(0);
    return mem->buffers[static_cast<std::size_t>(picture - 1) % mem->buffers.size()];
}

KEST_API std::int32_t Fg_Acquire(Fg_Struct* fg, std::uint32_t dma, std::int64_t count) {
    return acquire(fg, dma, count, ACQ_STANDARD, nullptr);
}

KEST_API std::int32_t Fg_stopAcquire(Fg_Struct* fg, std::uint32_t dma) {
    return stop(fg, dma, nullptr, 0);
}

KEST_API std::int32_t Fg_AcquireEx(Fg_Struct* fg, std::uint32_t dma, std::int64_t count,
                                   std::int32_t flags, dma_mem* mem) {
    return acquire(fg, dma, count, flags, mem);
}

KEST_API std::int32_t Fg_stopAcquireEx(Fg_Struct* fg, std::uint32_t dma, dma_mem* mem,
                                       std::int32_t flags) {
    return stop(fg, dma, mem, flags);
}

#if KEST_WITH_LAST_PIC
KEST_API std::int64_t Fg_getLastPicNumberEx(Fg_Struct* fg, std::uint32_t dma, dma_mem* mem) {
    if (HostHandle* h = handleOf(fg)) return h->lastPicture(dma);
    Board* b = boardOf(fg);
    if (b == nullptr || b->applet().Fg_getLastPicNumberEx == nullptr) return kInvalidHandle64;
    return b->note(b->applet().Fg_getLastPicNumberEx(fg, dma, mem));
}
#endif

KEST_API std::int64_t Fg_getLastPicNumberBlockingEx(Fg_Struct* fg, std::int64_t picture,
                                                    std::uint32_t dma, std::int32_t timeout,
                                                    dma_mem* mem) {
    if (HostHandle* h = handleOf(fg)) return h->lastPictureBlocking(picture, dma, timeout);
    Board* b = boardOf(fg);
    if (b == nullptr || b->applet().Fg_getLastPicNumberBlockingEx == nullptr)
        return kInvalidHandle64;
    return b->note(b->applet().Fg_getLastPicNumberBlockingEx(fg, picture, dma, timeout, mem));
}

#if KEST_WITH_STATUS
KEST_API std::int64_t Fg_getStatusEx(Fg_Struct* fg, std::int32_t query, std::int64_t data,
                                     std::uint32_t dma, dma_mem* mem) {
    if (HostHandle* h = handleOf(fg)) return h->status(query, dma);
    Board* b = boardOf(fg);
    if (b == nullptr || b->applet().Fg_getStatusEx == nullptr) return kInvalidHandle64;
    return b->note(b->applet().Fg_getStatusEx(fg, query, data, dma, mem));
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
