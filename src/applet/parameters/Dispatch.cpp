// Set and get by identifier: the routing by identifier range, the checks made before a
// parameter is touched, and the dispatch to the parameter's setter or getter.
#include "entry/FgXeWrapperImpl.h"
#include "host/ErrorCodes.h"
#include "host/Runtime.h"
#include "parameters/ParameterTable.h"

#include <cstring>
#include <type_traits>

namespace pellvane {

namespace {} // namespace

// Both directions route alike: the host's parameters by their identifier less 2000000, the
// design's registers while register access is on, everything else through the dispatch. The
// parameter lock is held throughout, and the result is always the last error.
template <class Buffer, class ToHost, class ToDispatch>
int32_t FgXeWrapperImpl::route(int32_t id, Buffer* value, ToHost&& toHost,
                               ToDispatch&& toDispatch) {
    if (value == nullptr) {
        setLastError(kInvalidParameter);
        return kInvalidParameter;
    }
    tarn::templates::platform::CriticalSectionGuard guard(&parameterLock_);
    int32_t result = kOk;
    if (id > kPassThroughBase) {
        result = toHost(id - kPassThroughBase);
    } else if (registerAccessEnabled() && id > kRegisterAccessBase) {
        result = routeRegisterAccess(id, const_cast<void*>(static_cast<const void*>(value)),
                                     std::is_const_v<Buffer>);
    } else {
        try {
            toDispatch();
        } catch (const Failure& failure) {
            result = failure.code;
        }
    }
    setLastError(result);
    return result;
}

int32_t FgXeWrapperImpl::setParameter(int32_t id, const void* value, uint32_t dma) {
    return route(
        id, value, [&](int32_t hostId) { return hostSetById(hostId, value, dma); },
        [&] { setDispatch(id, value, dma); });
}

int32_t FgXeWrapperImpl::getParameter(int32_t id, void* value, uint32_t dma) {
    return route(
        id, value, [&](int32_t hostId) { return hostGetById(hostId, value, dma); },
        [&] { getDispatch(id, value, dma); });
}

// Direct register access: the register's width decides whether 32 or 64 bits of the caller's
// buffer are used. The DMA index plays no part here.
int32_t FgXeWrapperImpl::routeRegisterAccess(int32_t id, void* value, bool set) {
    auto reg = static_cast<uint32_t>(id - kRegisterAccessBase);
    if (set) {
        int32_t width = runtime::registerWidth(hapHandle(), static_cast<int32_t>(reg));
        uint64_t v = 0;
        if (width > 32) {
            std::memcpy(&v, value, sizeof v);
        } else {
            uint32_t v32 = 0;
            std::memcpy(&v32, value, sizeof v32);
            v = v32;
        }
        return hardware::writeRegister(boardHandle(), reg, v);
    }
    uint64_t v = 0;
    int32_t result = hardware::readRegister(boardHandle(), reg, &v);
    if (result != kOk) return result;
    int32_t width = runtime::registerWidth(hapHandle(), static_cast<int32_t>(reg));
    if (width > 32) {
        std::memcpy(value, &v, sizeof v);
    } else {
        auto v32 = static_cast<uint32_t>(v);
        std::memcpy(value, &v32, sizeof v32);
    }
    return kOk;
}

void FgXeWrapperImpl::checkDma(uint32_t dma) const {
    auto it = dmaProcessMap_.find(static_cast<int32_t>(dma));
    if (it == dmaProcessMap_.end() || it->second != 0) fail(kInvalidParameter);
}

void FgXeWrapperImpl::setDispatch(int32_t id, const void* value, uint32_t dma) {
    checkDma(dma);
    // What isReadOnlyId tells, from the one look-up of the entry.
    if (id == kDescriptionQuery) fail(kNotWritableOrUnbound);
    ParameterEntry p = findEntry(id);
    if (p.def != nullptr && p.def->access != Access::ReadWrite) fail(kNotWritableOrUnbound);
    if (p.def == nullptr || p.set == nullptr) fail(kInvalidParameter);
    p.set(*this, value, true);
}

void FgXeWrapperImpl::getDispatch(int32_t id, void* value, uint32_t dma) {
    checkDma(dma);
    if (id == kDescriptionQuery) {
        // The buffer holds a parameter name on entry and receives its description.
        const ParameterDef* p = findParameterByName(static_cast<const char*>(value));
        if (p == nullptr) fail(kInvalidParameter);
        std::memcpy(value, p->description, std::strlen(p->description) + 1);
        return;
    }
    ParameterEntry p = findEntry(id);
    if (p.def == nullptr) fail(kInvalidParameter);
    if (p.def->access == Access::HostServed) {
        int32_t result = hostGetById(id, value, dma);
        check(result);
        return;
    }
    if (p.get == nullptr) fail(kInvalidParameter);
    p.get(*this, value);
}

} // namespace pellvane
