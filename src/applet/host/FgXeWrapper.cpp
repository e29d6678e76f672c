#include "host/FgXeWrapper.h"

#include "host/ErrorCodes.h"
#include "host/Runtime.h"
#include "parameters/ParameterInfoBuilderXML.h"

#include <cstring>

namespace pellvane {

namespace {
// Register values travel through the host's typed parameter calls with type code 2 (32 bits).
constexpr int32_t kTypeUint32 = 2;
constexpr uint32_t kDma0 = 0;
constexpr int32_t kMaxEvents = 64;
} // namespace

FgXeWrapper::FgXeWrapper() : binding_(std::make_unique<HostBinding>()) {}

FgXeWrapper::~FgXeWrapper() {
    // The binding goes before the index: it unloads the host library, releases the image and
    // frees the nodes the index points to.
    binding_.reset();
}

int32_t FgXeWrapper::bindHostLibrary(const char* systemName) {
    HostBinding& b = *binding_;
    b.hostModule = platform::DynamicLibrary::open(systemName);
    if (!b.hostModule.loaded()) {
        setLastError(kHostLibraryMissing);
        return kHostLibraryMissing;
    }
    for (const HostSlotName& entry : kHostBindingOrder)
        b.functions->set(entry.slot, b.hostModule.symbol(entry.name));
    b.getParameterIdByName = reinterpret_cast<hostfn::GetParameterIdByName>(
        b.hostModule.symbol("Fg_getParameterIdByName"));
    return kOk;
}

int32_t FgXeWrapper::initHandle(const char* hapFile, void* board, void* hap, bool slave) {
    HostBinding& b = *binding_;
    b.initHandleSlaveAware = reinterpret_cast<hostfn::InitHandleSlaveAware>(
        b.hostModule.symbol("Fg_InitHandleSlaveAware"));
    b.initHandle = reinterpret_cast<hostfn::InitHandle>(b.hostModule.symbol("Fg_InitHandle"));
    b.initLastErrorNumber =
        reinterpret_cast<hostfn::GetLastErrorNumber>(b.hostModule.symbol("Fg_getLastErrorNumber"));
    if (b.initHandleSlaveAware == nullptr && b.initHandle == nullptr) {
        setLastError(kHostLibraryMissing);
        return kHostLibraryMissing;
    }
    if (b.initHandleSlaveAware != nullptr)
        b.hostHandle = b.initHandleSlaveAware(hapFile, board, hap, slave ? 1 : 0);
    else
        b.hostHandle = b.initHandle(hapFile, board, hap);
    if (b.hostHandle == nullptr) {
        int32_t error =
            b.initLastErrorNumber != nullptr ? b.initLastErrorNumber(nullptr) : kNotLoaded;
        setLastError(error);
        return error;
    }
    ProcessHandles::remember(board, hap);
    return kOk;
}

void FgXeWrapper::storeHandles(void* board, void* hap) {
    binding_->boardHandle = board;
    binding_->hapHandle = hap;
}

int32_t FgXeWrapper::hostErrorNumber() const {
    auto fn = hostFunctions().get<hostfn::GetLastErrorNumber>(HostSlot::GetLastErrorNumber);
    if (fn == nullptr || hostHandle() == nullptr) return kNotWritableOrUnbound;
    return fn(hostHandle());
}

int32_t FgXeWrapper::hostIdByName(const char* name) const {
    auto fn = binding_->getParameterIdByName;
    if (fn == nullptr || hostHandle() == nullptr) return 0;
    return fn(hostHandle(), name);
}

int32_t FgXeWrapper::hostGetById(int32_t id, void* value, uint32_t dma) const {
    auto fn = hostFunctions().get<hostfn::GetParameter>(HostSlot::GetParameter);
    if (fn == nullptr || hostHandle() == nullptr) return kNotWritableOrUnbound;
    return fn(hostHandle(), id, value, dma);
}

int32_t FgXeWrapper::hostSetById(int32_t id, const void* value, uint32_t dma) const {
    auto fn = hostFunctions().get<hostfn::SetParameter>(HostSlot::SetParameter);
    if (fn == nullptr || hostHandle() == nullptr) return kNotWritableOrUnbound;
    return fn(hostHandle(), id, value, dma);
}

ParameterInfoNode* FgXeWrapper::hostParameterInfo() const {
    auto fn = hostFunctions().get<hostfn::GetParameterInfo>(HostSlot::GetParameterInfo);
    if (fn == nullptr || hostHandle() == nullptr) return nullptr;
    return static_cast<ParameterInfoNode*>(fn(hostHandle(), 0));
}

int32_t FgXeWrapper::writeHostRegister(int32_t id, uint32_t value) const {
    return writeHostField(id, &value, kTypeUint32);
}

int32_t FgXeWrapper::writeHostField(int32_t id, const void* record, int32_t typeCode) const {
    auto fn = hostFunctions().get<hostfn::SetParameterWithType>(HostSlot::SetParameterWithType);
    if (fn == nullptr || hostHandle() == nullptr) return kNotWritableOrUnbound;
    return fn(hostHandle(), id, record, kDma0, typeCode);
}

int32_t FgXeWrapper::readHostRegister(int32_t id, uint32_t& value) const {
    auto fn = hostFunctions().get<hostfn::GetParameterWithType>(HostSlot::GetParameterWithType);
    if (fn == nullptr || hostHandle() == nullptr) return kNotWritableOrUnbound;
    return fn(hostHandle(), id, &value, kDma0, kTypeUint32);
}

namespace {
uint64_t infoKey(int32_t port, int32_t id) {
    return (uint64_t{static_cast<uint32_t>(port)} << 32) | static_cast<uint32_t>(id);
}
} // namespace

void FgXeWrapper::indexInfoNode(int32_t port, int32_t id, ParameterInfoNode* node) {
    if (node != nullptr) infoIndex_[infoKey(port, id)] = node;
}

ParameterInfoNode* FgXeWrapper::infoNode(int32_t id, int32_t port) const {
    auto n = infoIndex_.find(infoKey(port, id));
    return n == infoIndex_.end() ? nullptr : n->second;
}

// The GenApi description of one port, generated afresh from the information tree.

int32_t FgXeWrapper::getParameterInfoXML(void*, int32_t port, char* buffer, size_t* size) {
    if (size == nullptr) {
        // Nowhere to report the size: nothing a caller could use.
        setLastError(kInvalidParameter);
        return kInvalidParameter;
    }
    if (*size == 0 && buffer != nullptr) {
        setLastError(kBufferTooSmall);
        return kBufferTooSmall;
    }
    const ParameterInfoNode* root = parameterInfoRoot(port);
    if (root == nullptr) {
        setLastError(kNoParameterInfo);
        return kNoParameterInfo;
    }
    std::string document = ParameterInfoBuilderXML(root, getAppletName()).build();
    if (buffer != nullptr) {
        if (document.size() >= *size) {
            setLastError(kBufferTooSmall);
            return kBufferTooSmall;
        }
        std::memcpy(buffer, document.data(), document.size());
        std::memset(buffer + document.size(), 0, *size - document.size());
    }
    *size = document.size() + 1;
    setLastError(kOk);
    return kOk;
}

// Shading is not supported by this applet family.
void* FgXeWrapper::allocShading(int32_t, uint32_t) {
    return nullptr;
}
int32_t FgXeWrapper::freeShading(void*) {
    return kNotSupported;
}
int32_t FgXeWrapper::setSubValueLine(void*, intptr_t, intptr_t, float) {
    return kNotSupported;
}
int32_t FgXeWrapper::setMultValueLine(void*, intptr_t, intptr_t, float) {
    return kNotSupported;
}
int32_t FgXeWrapper::setFixedPatternNoiseLine(void*, intptr_t, intptr_t, int32_t) {
    return kNotSupported;
}
int32_t FgXeWrapper::getMaxLine(void*) {
    return kNotSupported;
}
int32_t FgXeWrapper::getShadingAccess(void*) {
    return kNotSupported;
}
int32_t FgXeWrapper::freeShadingAccess(void*) {
    return kNotSupported;
}
int32_t FgXeWrapper::writeActLine(void*, int32_t) {
    return kNotSupported;
}

// Without maps of its own, an applet finds events by scanning the runtime's list; event index
// i has the mask 1 << i.
uint64_t FgXeWrapper::getEventMask(const char* name) {
    if (name == nullptr || hapHandle() == nullptr) return 0;
    for (int32_t i = 0; i < kMaxEvents; ++i) {
        const runtime::EventRecord* e = runtime::event(hapHandle(), i);
        if (e != nullptr && e->name != nullptr && std::strcmp(e->name, name) == 0)
            return uint64_t{1} << i;
    }
    return 0;
}

const char* FgXeWrapper::getEventName(uint64_t mask) {
    if (hapHandle() == nullptr) return nullptr;
    for (int32_t i = 0; i < kMaxEvents; ++i) {
        if ((uint64_t{1} << i) != mask) continue;
        const runtime::EventRecord* e = runtime::event(hapHandle(), i);
        return e != nullptr ? e->name : nullptr;
    }
    return nullptr;
}

} // namespace pellvane
