#include "BoardRecord.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <set>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kest {

namespace {

// ---- loading the applet library ----

#if defined(_WIN32)
constexpr const char* kLibrarySuffix = ".dll";
void* loadLibrary(const std::string& file) {
    return reinterpret_cast<void*>(LoadLibraryA(file.c_str()));
}
void* symbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void unloadLibrary(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}
#else
constexpr const char* kLibrarySuffix = ".so";
void* loadLibrary(const std::string& file) {
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}
void* symbol(void* library, const char* name) {
    return dlsym(library, name);
}
void unloadLibrary(void* library) {
    dlclose(library);
}
#endif

// "Pellvane" is looked up as Pellvane.so (Pellvane.dll); a name with a folder or an extension
// is taken as it is.
std::string libraryFile(const std::string& name) {
    std::size_t slash = name.find_last_of("/\\");
    std::size_t dot = name.find_last_of('.');
    bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return hasExtension ? name : name + kLibrarySuffix;
}

template <class F>
void bind(void* library, F& fn, const char* name) {
    fn = reinterpret_cast<F>(symbol(library, name));
}

AppletExports bindExports(void* lib) {
    AppletExports x;
    bind(lib, x.Std_entry, "Std_entry");
    bind(lib, x.Info, "Info");
    bind(lib, x.Fg_setParameterWithType, "Fg_setParameterWithType");
    bind(lib, x.Fg_getParameterWithType, "Fg_getParameterWithType");
    bind(lib, x.Fg_getNrOfParameter, "Fg_getNrOfParameter");
    bind(lib, x.Fg_getParameterName, "Fg_getParameterName");
    bind(lib, x.Fg_getParameterId, "Fg_getParameterId");
    bind(lib, x.Fg_getParameterIdByName, "Fg_getParameterIdByName");
    bind(lib, x.Fg_saveConfig, "Fg_saveConfig");
    bind(lib, x.Fg_loadConfig, "Fg_loadConfig");
    bind(lib, x.Fg_getParameterInfoXML, "Fg_getParameterInfoXML");
    bind(lib, x.Fg_getEventMask, "Fg_getEventMask");
    bind(lib, x.Fg_getEventName, "Fg_getEventName");
    bind(lib, x.Fg_getAppletId, "Fg_getAppletId");
    bind(lib, x.Fg_AcquireEx, "Fg_AcquireEx");
    bind(lib, x.Fg_stopAcquireEx, "Fg_stopAcquireEx");
    bind(lib, x.Fg_getLastPicNumberEx, "Fg_getLastPicNumberEx");
    bind(lib, x.Fg_getLastPicNumberBlockingEx, "Fg_getLastPicNumberBlockingEx");
    bind(lib, x.Fg_getStatusEx, "Fg_getStatusEx");
    bind(lib, x.Fg_getLastErrorNumber, "Fg_getLastErrorNumber");
    bind(lib, x.Fg_getParameterInfo, "Fg_getParameterInfo");
    bind(lib, x.Fg_FreeGrabber, "Fg_FreeGrabber");
    return x;
}

// What every applet must offer for the host to drive it.
bool complete(const AppletExports& x) {
    return x.Std_entry != nullptr && x.Info != nullptr && x.Fg_setParameterWithType != nullptr &&
           x.Fg_getParameterWithType != nullptr && x.Fg_AcquireEx != nullptr &&
           x.Fg_stopAcquireEx != nullptr && x.Fg_FreeGrabber != nullptr;
}

// Info query for the applet's name: an applet answers it before it has any object.
constexpr std::int32_t kInfoAppletName = 0x1050;

// ---- registries ----

struct Registry {
    std::mutex mutex;
    std::set<const Fg_Struct*> records;
    std::set<const void*> memories;
    std::map<VbBoard*, const dma_mem*> acquiring;
};

Registry& registry() {
    static Registry r;
    return r;
}

// Frame buffers start on a cache line of their own, as DMA buffers do.
constexpr std::size_t kBufferAlignment = 64;

void* allocateBuffer(std::size_t size) {
    std::size_t rounded = (size + kBufferAlignment - 1) / kBufferAlignment * kBufferAlignment;
#if defined(_WIN32)
    return _aligned_malloc(rounded, kBufferAlignment);
#else
    return std::aligned_alloc(kBufferAlignment, rounded);
#endif
}

void freeBuffer(void* p) {
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}

// Parameter information node kinds and the type codes their values have.
std::int32_t typeOfKind(std::int32_t kind) {
    switch (kind) {
    case PI_KIND_DOUBLE:
        return FG_PARAM_TYPE_DOUBLE;
    case PI_KIND_STRING:
        return FG_PARAM_TYPE_CHAR_PTR;
    case PI_KIND_INT64:
        return FG_PARAM_TYPE_UINT64_T;
    case PI_KIND_SINT64:
        return FG_PARAM_TYPE_INT64_T;
    case PI_KIND_INT_FIELD:
        return FG_PARAM_TYPE_STRUCT_FIELDPARAMINT;
    case PI_KIND_SINT32:
        return FG_PARAM_TYPE_INT32_T;
    default:
        return FG_PARAM_TYPE_UINT32_T;
    }
}

} // namespace

} // namespace kest

dma_mem::~dma_mem() {
    for (void* b : buffers)
        kest::freeBuffer(b);
}

namespace kest {

Board::~Board() {
    releaseAll();
}

std::int32_t Board::naturalType(std::int32_t id) const {
    auto it = types_.find(id);
    return it == types_.end() ? FG_PARAM_TYPE_UINT32_T : it->second;
}

void Board::learnTypes(const ParameterInfoNode* root) {
    // The roots form a list; each category holds its children.
    std::vector<const ParameterInfoNode*> pending;
    for (const ParameterInfoNode* r = root; r != nullptr; r = r->previousRoot)
        pending.push_back(r);
    for (const ParameterInfoNode* r = root != nullptr ? root->nextRoot : nullptr; r != nullptr;
         r = r->nextRoot)
        pending.push_back(r);
    std::set<const ParameterInfoNode*> seen;
    while (!pending.empty()) {
        const ParameterInfoNode* n = pending.back();
        pending.pop_back();
        if (n == nullptr || !seen.insert(n).second) continue;
        if (n->kind == PI_KIND_CATEGORY) {
            for (std::int32_t i = 0; i < n->a.childCount && n->b.children != nullptr; ++i)
                pending.push_back(n->b.children[i]);
        } else {
            types_[n->id] = typeOfKind(n->kind);
        }
    }
}

dma_mem* Board::allocate(Fg_Struct* owner, std::size_t size, std::int64_t count) {
    if (count < 1 || size == 0 || static_cast<std::uint64_t>(count) > size) return nullptr;
    auto mem = std::make_unique<dma_mem>();
    mem->owner = owner;
    mem->bufferSize = size / static_cast<std::size_t>(count);
    for (std::int64_t i = 0; i < count; ++i) {
        void* b = allocateBuffer(mem->bufferSize);
        if (b == nullptr) return nullptr; // the ones made so far go with mem
        mem->buffers.push_back(b);
    }
    dma_mem* raw = mem.get();
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        r.memories.insert(raw);
    }
    std::lock_guard lock(mutex_);
    memories_.push_back(std::move(mem));
    return raw;
}

bool Board::owns(const dma_mem* mem) {
    std::lock_guard lock(mutex_);
    return std::any_of(memories_.begin(), memories_.end(),
                       [&](const auto& m) { return m.get() == mem; });
}

std::int32_t Board::release(dma_mem* mem) {
    if (!owns(mem)) return FG_ERR_INVALID_MEMORY;
    if (memoryBusy(mem)) return FG_ERR_MEMORY_IN_USE;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        r.memories.erase(mem);
    }
    std::lock_guard lock(mutex_);
    std::erase_if(memories_, [&](const auto& m) { return m.get() == mem; });
    return 0;
}

void Board::releaseAll() {
    std::vector<std::unique_ptr<dma_mem>> gone;
    {
        std::lock_guard lock(mutex_);
        gone.swap(memories_);
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& m : gone) {
        r.memories.erase(m.get());
        for (auto it = r.acquiring.begin(); it != r.acquiring.end();) {
            it = it->second == m.get() ? r.acquiring.erase(it) : std::next(it);
        }
    }
}

Board* boardOf(const Fg_Struct* fg) {
    if (fg == nullptr) return nullptr;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.records.count(fg) == 1 ? fg->host : nullptr;
}

Fg_Struct* openBoard(const char* applet, unsigned int index, std::int32_t* error) {
    if (applet == nullptr || *applet == '\0') {
        *error = VB_HOST_ERR_INVALID_PARAMETER;
        return nullptr;
    }
    void* library = loadLibrary(libraryFile(applet));
    if (library == nullptr) {
        *error = FG_ERR_APPLET_NOT_FOUND;
        return nullptr;
    }
    AppletExports x = bindExports(library);
    const void* name = nullptr;
    if (!complete(x) || x.Info(kInfoAppletName, 0, 0, nullptr, &name) != 0 || name == nullptr) {
        unloadLibrary(library);
        *error = FG_ERR_APPLET_INVALID;
        return nullptr;
    }
    auto record = std::make_unique<Fg_Struct>();
    record->host = new Board(library, x, vb_board_open(index));
    std::int32_t entryError = 0;
    record->applet = x.Std_entry(record->host->board(), &entryError, 0);
    if (record->applet == nullptr) {
        delete record->host;
        unloadLibrary(library);
        *error = entryError != 0 ? entryError : FG_ERR_APPLET_INVALID;
        return nullptr;
    }
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        r.records.insert(record.get());
    }
    if (x.Fg_getParameterInfo != nullptr) {
        record->host->learnTypes(
            static_cast<const ParameterInfoNode*>(x.Fg_getParameterInfo(record.get(), 0)));
    }
    *error = 0;
    return record.release();
}

std::int32_t closeBoard(Fg_Struct* fg) {
    Board* board = boardOf(fg);
    if (board == nullptr) return VB_HOST_ERR_INVALID_HANDLE;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        r.records.erase(fg);
    }
    // The applet stops its acquisition and frees the inner handle; only then do the buffers go.
    std::int32_t result = board->applet().Fg_FreeGrabber(fg);
    void* library = board->library();
    delete board;
    delete fg;
    unloadLibrary(library);
    return result;
}

bool memoryKnown(const void* mem) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.memories.count(mem) == 1;
}

void memoryInUse(VbBoard* board, const dma_mem* mem) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (mem == nullptr) {
        r.acquiring.erase(board);
    } else {
        r.acquiring[board] = mem;
    }
}

bool memoryBusy(const dma_mem* mem) {
    VbBoard* board = nullptr;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (const auto& [b, m] : r.acquiring) {
            if (m == mem) board = b;
        }
    }
    if (board == nullptr) return false;
    VbmDmaStatus status{};
    return vbm_dma_status(board, 0, &status) == VBM_OK && status.active != 0;
}

// ---- error texts ----

namespace {

struct ErrorText {
    std::int32_t code;
    const char* text;
};

// The applet's codes and the host library's, in words.
constexpr ErrorText kErrorTexts[] = {
    {0, "no error"},
    {-1, "no shading object"},
    {-12, "the parameter cannot be written, or the host lacks a function the call needs"},
    {-60, "the software trigger is still busy"},
    {-100, "the hardware applet is not loaded"},
    {-500, "the buffer is too small"},
    {-2001, "invalid board handle"},
    {-2002, "invalid board or hardware-applet image"},
    {-2003, "the applet library cannot be loaded"},
    {-2004, "the library is not an applet"},
    {-2020, "frame buffers cannot be allocated"},
    {-2021, "the frame buffers are in use by an acquisition"},
    {-2022, "unknown frame buffers"},
    {-2031, "the host library or one of its functions is missing"},
    {-2060, "hardware access failed"},
    {-2061, "the register is read-only"},
    {-2070, "invalid parameter: unknown id, DMA index, type, null pointer or wrong mode"},
    {-2072, "the parameter is read-only"},
    {-2075, "no such information, or the value cannot be realised"},
    {-2076, "the file cannot be opened"},
    {-2078, "the downscale breaks the pulse-form timing rule"},
    {-2079, "the delay or width breaks the pulse-form timing rule"},
    {-2090, "an acquisition is already running on this DMA channel"},
    {-2120, "timeout: the picture did not arrive in time"},
    {-2121, "the acquisition is not running: the picture will not arrive"},
    {-2130, "not supported"},
    {-2140, "the software trigger needs the software trigger mode"},
    {-2141, "the software trigger needs the trigger state Active"},
    {-5000, "the configuration file was not loaded"},
    {-5001, "the file cannot be read or written"},
    {-6000, "value out of range"},
    {-7080, "the value is not a multiple of the increment"},
};

} // namespace

const char* errorDescription(std::int32_t error) {
    for (const auto& e : kErrorTexts) {
        if (e.code == error) return e.text;
    }
    return "unknown error";
}

} // namespace kest
