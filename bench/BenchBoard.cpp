#include "BenchBoard.h"

#include <pellvane/parameters.h>

#include <dlfcn.h>

#include <cstring>

namespace pvbench {

namespace {

template <class T>
void bind(const Loaded& lib, T& fn, const char* name) {
    fn = reinterpret_cast<T>(lib.symbol(name));
}

// The host's record for a whole lookup table.
struct FieldTable {
    uint32_t elementType;
    uint32_t zero;
    uint32_t count;
    uint32_t pad;
    const uint32_t* data;
};

std::size_t stringBlock(const char* s) {
    return s != nullptr ? std::strlen(s) + 1 : 0;
}

} // namespace

Loaded::Loaded(const char* file) : handle_(dlopen(file, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) throw std::runtime_error(dlerror());
}

Loaded::~Loaded() {
    dlclose(handle_);
}

void* Loaded::symbol(const char* name) const {
    void* p = dlsym(handle_, name);
    if (p == nullptr) throw std::runtime_error(std::string("missing symbol ") + name);
    return p;
}

Applet::Applet() : library_("Pellvane.so") {
    bind(library_, x_.Std_entry, "Std_entry");
    bind(library_, x_.Info, "Info");
    bind(library_, x_.Fg_setParameterWithType, "Fg_setParameterWithType");
    bind(library_, x_.Fg_getParameterWithType, "Fg_getParameterWithType");
    bind(library_, x_.Fg_getParameterIdByName, "Fg_getParameterIdByName");
    bind(library_, x_.Fg_saveConfig, "Fg_saveConfig");
    bind(library_, x_.Fg_loadConfig, "Fg_loadConfig");
    bind(library_, x_.Fg_getParameterInfo, "Fg_getParameterInfo");
    bind(library_, x_.Fg_FreeGrabber, "Fg_FreeGrabber");
}

Board::Board() {
    vb_reset();
    int32_t error = 0;
    record_[0] = x().Std_entry(vb_board_open(0), &error, 0);
    if (record_[0] == nullptr)
        throw std::runtime_error("Std_entry failed: " + std::to_string(error));
}

Board::~Board() {
    if (record_[0] != nullptr) x().Fg_FreeGrabber(record_);
}

bool Board::set(int32_t id, int32_t value) {
    return x().Fg_setParameterWithType(record_, id, &value, 0, PV_TYPE_INT32) == 0;
}

bool Board::set(int32_t id, double value) {
    return x().Fg_setParameterWithType(record_, id, &value, 0, PV_TYPE_DOUBLE) == 0;
}

RawHost::RawHost() : host_("libkestlib5.so"), runtime_("libpyrrt.so"), hardware_("libtarn_hw.so") {
    bind(host_, set_, "Fg_setParameterWithType");
    bind(host_, get_, "Fg_getParameterWithType");
    bind(hardware_, hardwareWrite_, "tarn_hw_12");
    // The image the applet itself carries, so that the host knows the same design.
    Applet applet;
    int64_t size = 0;
    const void* image = nullptr;
    applet.x().Info(0x412, 0, 0, &size, &image);
    auto load =
        reinterpret_cast<void* (*)(const void*, size_t, int32_t)>(runtime_.symbol("pyrrt_143"));
    hap_ = load(image, static_cast<size_t>(size), 1);
    auto init = reinterpret_cast<void* (*)(const char*, void*, void*, int32_t)>(
        host_.symbol("Fg_InitHandleSlaveAware"));
    board_ = vb_board_open(1);
    handle_ = init("Pellvane.hap", board_, hap_, 0);
    if (handle_ == nullptr) throw std::runtime_error("host init-handle failed");
}

RawHost::~RawHost() {
    reinterpret_cast<int32_t (*)(void*)>(host_.symbol("Fg_FreeGrabber"))(handle_);
    reinterpret_cast<int32_t (*)(void*)>(runtime_.symbol("pyrrt_38"))(hap_);
    vb_log_clear();
}

int32_t RawHost::registerId(const char* name) {
    return reinterpret_cast<int32_t (*)(void*, const char*)>(
        host_.symbol("Fg_getParameterIdByName"))(handle_, name);
}

int32_t RawHost::write(int32_t id, uint32_t value) {
    return set_(handle_, id, &value, 0, PV_TYPE_UINT32);
}

int32_t RawHost::read(int32_t id, uint32_t* value) {
    return get_(handle_, id, value, 0, PV_TYPE_UINT32);
}

int32_t RawHost::writeTable(int32_t id, const uint32_t* entries) {
    FieldTable table{PV_TYPE_UINT32, 0, 4096, 0, entries};
    return set_(handle_, id, &table, 0, PV_TYPE_FIELD_TABLE);
}

int32_t RawHost::writeEntry(int32_t id, uint32_t index, uint32_t value) {
    const uint32_t entry[2] = {value, index};
    return set_(handle_, id, entry, 0, PV_TYPE_FIELD_ENTRY);
}

int32_t RawHost::setOwn(int32_t id, int32_t value) {
    return set_(handle_, id, &value, 0, PV_TYPE_INT32);
}

int32_t RawHost::getOwn(int32_t id, int32_t* value) {
    return get_(handle_, id, value, 0, PV_TYPE_INT32);
}

int32_t RawHost::hardwareWrite(uint32_t registerId, uint64_t value) {
    return hardwareWrite_(board_, registerId, value);
}

std::vector<VbWrite> loggedWrites() {
    std::vector<VbWrite> writes(vb_log_count());
    for (std::size_t i = 0; i < writes.size(); ++i) {
        if (vb_log_entry(i, &writes[i]) != 0) throw std::runtime_error("write log changed");
    }
    return writes;
}

int32_t replay(RawHost& host, const std::vector<VbWrite>& writes) {
    static const std::vector<uint32_t> zeros(4096, 0);
    for (const VbWrite& w : writes) {
        const int32_t hostId = kHostRegisterBase + static_cast<int32_t>(w.registerId);
        int32_t rc = 0;
        if (w.kind == VB_WRITE_LUT_TABLE)
            rc = host.writeTable(hostId, zeros.data());
        else if (w.kind == VB_WRITE_LUT_ENTRY)
            rc = host.writeEntry(hostId, w.index, static_cast<uint32_t>(w.value));
        else if (w.source == VB_SOURCE_HARDWARE)
            rc = host.hardwareWrite(w.registerId, w.value);
        else
            rc = host.write(hostId, static_cast<uint32_t>(w.value));
        if (rc != 0) return rc;
    }
    return 0;
}

std::vector<std::size_t> treeAllocations(const ParameterInfoNode* lastRoot) {
    std::vector<std::size_t> blocks;
    auto add = [&](std::size_t size) {
        if (size != 0) blocks.push_back(size);
    };
    walkTree(lastRoot, [&](const ParameterInfoNode& n) {
        add(sizeof(ParameterInfoNode));
        for (const char* s : {n.displayName, n.name, n.parentName, n.unit})
            add(stringBlock(s));
        if (n.kind == PI_KIND_CATEGORY && n.a.childCount > 0) {
            add(static_cast<std::size_t>(n.a.childCount) * sizeof(ParameterInfoNode*));
        } else if (n.kind == PI_KIND_ENUM && n.a.entryCount > 0) {
            auto count = static_cast<std::size_t>(n.a.entryCount);
            add(count * sizeof(char*));
            add(count * sizeof(int32_t));
            add(count * sizeof(char*));
            for (std::size_t i = 0; i < count; ++i) {
                add(stringBlock(n.b.entryDisplayNames[i]));
                add(stringBlock(n.entrySymbols[i]));
            }
        } else if (n.kind == PI_KIND_STRING) {
            add(stringBlock(n.b.pattern));
        }
    });
    return blocks;
}

} // namespace pvbench
