#include "Harness.h"

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pvtest {

namespace {

#if defined(_WIN32)
void* findSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

std::string loaderError() {
    return "LoadLibrary failed with error " + std::to_string(GetLastError());
}

int processId() {
    return _getpid();
}

// The C runtime's environment, which is where the applet's getenv looks. Windows cannot keep a
// variable set to an empty value: setting one removes it.
void setVariable(const char* name, const char* value) {
    _putenv_s(name, value);
}

void unsetVariable(const char* name) {
    _putenv_s(name, "");
}
#else
void* findSymbol(void* handle, const char* name) {
    return dlsym(handle, name);
}

std::string loaderError() {
    const char* error = dlerror();
    return error != nullptr ? error : "dlopen failed";
}

int processId() {
    return static_cast<int>(::getpid());
}

void setVariable(const char* name, const char* value) {
    setenv(name, value, 1);
}

void unsetVariable(const char* name) {
    unsetenv(name);
}
#endif

template <class T>
void bind(void* handle, T& slot, const char* name) {
    slot = reinterpret_cast<T>(findSymbol(handle, name));
    if (slot == nullptr) throw std::runtime_error(std::string("applet lacks export ") + name);
}

} // namespace

Library::Library(void* handle) : handle_(handle) {
    if (handle_ == nullptr) throw std::runtime_error(loaderError());
#define PV_BIND(name) bind(handle_, exports_.name, #name)
    PV_BIND(Std_entry);
    PV_BIND(Info);
    PV_BIND(Fg_setParameterWithType);
    PV_BIND(Fg_getParameterWithType);
    PV_BIND(Fg_getNrOfParameter);
    PV_BIND(Fg_getParameterName);
    PV_BIND(Fg_getParameterId);
    PV_BIND(Fg_getParameterIdByName);
    PV_BIND(Fg_saveConfig);
    PV_BIND(Fg_loadConfig);
    PV_BIND(Fg_getParameterInfoXML);
    PV_BIND(Fg_getEventMask);
    PV_BIND(Fg_getEventName);
    PV_BIND(Fg_AllocShading);
    PV_BIND(Fg_FreeShading);
    PV_BIND(Shad_SetSubValueLine);
    PV_BIND(Shad_SetMultValueLine);
    PV_BIND(Shad_SetFixedPatternNoiseLine);
    PV_BIND(Shad_GetMaxLine);
    PV_BIND(Shad_GetAccess);
    PV_BIND(Shad_FreeAccess);
    PV_BIND(Shad_WriteActLine);
    PV_BIND(Fg_getAppletId);
    PV_BIND(Fg_AcquireEx);
    PV_BIND(Fg_stopAcquireEx);
    PV_BIND(Fg_getLastPicNumberEx);
    PV_BIND(Fg_getLastPicNumberBlockingEx);
    PV_BIND(Fg_getStatusEx);
    PV_BIND(Fg_getLastErrorNumber);
    PV_BIND(Fg_getParameterInfo);
    PV_BIND(Fg_FreeGrabber);
#undef PV_BIND
}

Library::Library(Library&& other) noexcept : handle_(other.handle_), exports_(other.exports_) {
    other.handle_ = nullptr;
}

#if defined(_WIN32)
Library::~Library() {
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

const Library& Library::applet() {
    // Found like a host finds it: by file name through the standard DLL search.
    static const Library lib(LoadLibraryA("Pellvane.dll"));
    return lib;
}

Library Library::at(const std::filesystem::path& file) {
    return Library(LoadLibraryW(file.c_str()));
}

std::filesystem::path Library::file() const {
    wchar_t name[MAX_PATH];
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(handle_), name, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return {};
    return std::filesystem::path(std::wstring(name, length));
}
#else
Library::~Library() {
    if (handle_ != nullptr) dlclose(handle_);
}

const Library& Library::applet() {
    // Found like a host finds it: by file name through the library search path.
    static const Library lib(dlopen("Pellvane.so", RTLD_NOW | RTLD_LOCAL));
    return lib;
}

Library Library::at(const std::filesystem::path& file) {
    return Library(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL));
}

std::filesystem::path Library::file() const {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(exports_.Info), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}
#endif

std::filesystem::path appletDirectory() {
    return Library::applet().file().parent_path();
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    if (value != nullptr)
        setVariable(name, value);
    else
        unsetVariable(name);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        setVariable(name_.c_str(), old_.c_str());
    else
        unsetVariable(name_.c_str());
}

void OpenBoard::SetUp() {
    vb_reset();
    board_ = vb_board_open(0);
}

void OpenBoard::open(const Library& lib) {
    lib_ = &lib;
    fg_.applet = x().Std_entry(board_, &entryError_, 0);
    ASSERT_NE(fg_.applet, nullptr) << "Std_entry failed with " << entryError_;
    ASSERT_EQ(entryError_, 0);
}

void OpenBoard::close() {
    if (lib_ != nullptr && fg_.applet != nullptr) x().Fg_FreeGrabber(&fg_);
}

void OpenBoard::TearDown() {
    close();
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("pellvane-test-" + std::to_string(processId()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

const ParameterInfoNode* findIn(const ParameterInfoNode* category, const char* name) {
    for (int32_t i = 0; i < category->a.childCount; ++i) {
        const ParameterInfoNode* child = category->b.children[i];
        if (child->name != nullptr && std::strcmp(child->name, name) == 0) return child;
        if (child->kind == PI_KIND_CATEGORY)
            if (const ParameterInfoNode* found = findIn(child, name)) return found;
    }
    return nullptr;
}

} // namespace pvtest
