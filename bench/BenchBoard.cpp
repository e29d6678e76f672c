#include "BenchBoard.h"

#include <dlfcn.h>

namespace pvbench {

Loaded::Loaded(const char* file) : handle_(dlopen(file, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) throw std::runtime_error(dlerror());
}

Loaded::~Loaded() { dlclose(handle_); }

void* Loaded::symbol(const char* name) const {
    void* p = dlsym(handle_, name);
    if (p == nullptr) throw std::runtime_error(std::string("missing symbol ") + name);
    return p;
}

template <class T>
void bind(const Loaded& lib, T& fn, const char* name) {
    fn = reinterpret_cast<T>(lib.symbol(name));
}

Board::Board() : applet_("Pellvane.so") {
    bind(applet_, x_.Std_entry, "Std_entry");
    bind(applet_, x_.Info, "Info");
    bind(applet_, x_.Fg_setParameterWithType, "Fg_setParameterWithType");
    bind(applet_, x_.Fg_getParameterWithType, "Fg_getParameterWithType");
    bind(applet_, x_.Fg_getParameterIdByName, "Fg_getParameterIdByName");
    bind(applet_, x_.Fg_FreeGrabber, "Fg_FreeGrabber");
    vb_reset();
    int32_t error = 0;
    record_[0] = x_.Std_entry(vb_board_open(0), &error, 0);
    if (record_[0] == nullptr) throw std::runtime_error("Std_entry failed: " + std::to_string(error));
}

Board::~Board() {
    if (record_[0] != nullptr) x_.Fg_FreeGrabber(record_);
}

RawHost::RawHost() : host_("libkestlib5.so"), runtime_("libpyrrt.so") {
    // The image the applet itself carries, so that the host knows the same design.
    Loaded applet("Pellvane.so");
    auto info = reinterpret_cast<int32_t (*)(int32_t, int32_t, int32_t, void*, const void**)>(
        applet.symbol("Info"));
    int64_t size = 0;
    const void* image = nullptr;
    info(0x412, 0, 0, &size, &image);
    auto load = reinterpret_cast<void* (*)(const void*, size_t, int32_t)>(
        runtime_.symbol("pyrrt_143"));
    hap_ = load(image, static_cast<size_t>(size), 1);
    auto init = reinterpret_cast<void* (*)(const char*, void*, void*, int32_t)>(
        host_.symbol("Fg_InitHandleSlaveAware"));
    handle_ = init("Pellvane.hap", vb_board_open(1), hap_, 0);
    if (handle_ == nullptr) throw std::runtime_error("host init-handle failed");
}

RawHost::~RawHost() {
    reinterpret_cast<int32_t (*)(void*)>(host_.symbol("Fg_FreeGrabber"))(handle_);
    reinterpret_cast<int32_t (*)(void*)>(runtime_.symbol("pyrrt_38"))(hap_);
}

int32_t RawHost::registerId(const char* name) {
    return reinterpret_cast<int32_t (*)(void*, const char*)>(
        host_.symbol("Fg_getParameterIdByName"))(handle_, name);
}

int32_t RawHost::write(int32_t id, uint32_t value) {
    static auto fn = reinterpret_cast<int32_t (*)(void*, int32_t, const void*, uint32_t, int32_t)>(
        host_.symbol("Fg_setParameterWithType"));
    return fn(handle_, id, &value, 0, 2);
}

int32_t RawHost::read(int32_t id, uint32_t* value) {
    static auto fn = reinterpret_cast<int32_t (*)(void*, int32_t, void*, uint32_t, int32_t)>(
        host_.symbol("Fg_getParameterWithType"));
    return fn(handle_, id, value, 0, 2);
}

} // namespace pvbench
