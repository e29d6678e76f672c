#include "FuzzApplet.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace pvfuzz {

namespace {

template <class T>
void bind(void* library, T& slot, const char* name) {
    slot = reinterpret_cast<T>(dlsym(library, name));
    if (slot == nullptr) {
        std::fprintf(stderr, "Pellvane.so lacks %s\n", name);
        std::abort();
    }
}

struct ScratchDirectory {
    ScratchDirectory() {
        path = std::filesystem::temp_directory_path() /
               ("pellvane-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
    }
    ~ScratchDirectory() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};

} // namespace

const Exports& applet() {
    static const Exports exports = [] {
        // The applet loads and unloads the host library with every board it opens. An
        // instrumented library must stay mapped while the fuzzer runs (its coverage counters
        // are registered once), so the host library is held loaded from here on.
        if (dlopen("libkestlib5.so", RTLD_NOW | RTLD_NODELETE) == nullptr) {
            std::fprintf(stderr, "%s\n", dlerror());
            std::abort();
        }
        void* library = dlopen("Pellvane.so", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "%s\n", dlerror());
            std::abort();
        }
        Exports x{};
        bind(library, x.Std_entry, "Std_entry");
        bind(library, x.Fg_setParameterWithType, "Fg_setParameterWithType");
        bind(library, x.Fg_getParameterWithType, "Fg_getParameterWithType");
        bind(library, x.Fg_getNrOfParameter, "Fg_getNrOfParameter");
        bind(library, x.Fg_getParameterId, "Fg_getParameterId");
        bind(library, x.Fg_loadConfig, "Fg_loadConfig");
        bind(library, x.Fg_getLastErrorNumber, "Fg_getLastErrorNumber");
        bind(library, x.Fg_FreeGrabber, "Fg_FreeGrabber");
        return x;
    }();
    return exports;
}

OpenApplet::OpenApplet() {
    vb_reset();
    int32_t error = 0;
    record_[0] = applet().Std_entry(vb_board_open(0), &error, 0);
    if (record_[0] == nullptr) {
        std::fprintf(stderr, "Std_entry failed with %d\n", error);
        std::abort();
    }
}

OpenApplet::~OpenApplet() {
    applet().Fg_FreeGrabber(record_);
}

const std::filesystem::path& scratchDirectory() {
    static const ScratchDirectory directory;
    return directory.path;
}

std::string writeScratchFile(const char* name, const uint8_t* data, size_t size) {
    const std::string path = (scratchDirectory() / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

} // namespace pvfuzz
