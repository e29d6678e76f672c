// The abstract applet interface the exports talk to, and the host-facing services every
// parameter of the applet uses: the host binding, the host's registers, the last error and the
// parameter-information tree with its (port, identifier) index.
#pragma once

#include "host/HostBinding.h"
#include "parameters/NodeAccess.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace pellvane {

class Fg_ConfigFileParser;

class FgXeWrapper {
public:
    FgXeWrapper();

    // Virtual operations, in the order of the interface's virtual table.
    virtual bool loadParameters(Fg_ConfigFileParser& parser) = 0;
    virtual void saveParameters(Fg_ConfigFileParser& parser) = 0;
    virtual int32_t processChannelToDma(int32_t channel) = 0;
    virtual int32_t mapDmaToFormat(int32_t dma) = 0;
    virtual int32_t setDmaAlignment(int32_t dma, int32_t alignment) = 0;
    virtual int32_t getDmaAlignment(int32_t dma) = 0;
    virtual ~FgXeWrapper();
    virtual void buildParameterInfo() = 0;
    virtual int32_t setParameter(int32_t id, const void* value, uint32_t dma) = 0;
    virtual int32_t getParameter(int32_t id, void* value, uint32_t dma) = 0;
    virtual int32_t getParameterIdByName(const char* name) = 0;
    virtual const char* getParameterName(int32_t index) = 0;
    virtual int32_t getParameterId(int32_t index) = 0;
    virtual int32_t getNrOfParameter() = 0;
    virtual int32_t saveConfig(void* hostHandle, const char* file);
    virtual int32_t loadConfig(void* hostHandle, const char* file);
    virtual int32_t getParameterInfoXML(void* fg, int32_t port, char* buffer, size_t* size);
    virtual void* allocShading(int32_t set, uint32_t dma);
    virtual int32_t freeShading(void* shading);
    virtual int32_t setSubValueLine(void* shading, intptr_t x, intptr_t channel, float value);
    virtual int32_t setMultValueLine(void* shading, intptr_t x, intptr_t channel, float value);
    virtual int32_t setFixedPatternNoiseLine(void* shading, intptr_t x, intptr_t channel,
                                             int32_t value);
    virtual int32_t getMaxLine(void* shading);
    virtual int32_t getShadingAccess(void* shading);
    virtual int32_t freeShadingAccess(void* shading);
    virtual int32_t writeActLine(void* shading, int32_t line);
    virtual uint64_t getEventMask(const char* name);
    virtual const char* getEventName(uint64_t mask);
    virtual const char* getVendorName() = 0;
    virtual const char* getAppletName() = 0;
    virtual const char* getAppletVersion() = 0;
    virtual int32_t getLoadAppletId() = 0;

    FgXeWrapper(const FgXeWrapper&) = delete;
    FgXeWrapper& operator=(const FgXeWrapper&) = delete;

    // Binding. Both return 0 or an error number, which they also keep as the last error.
    int32_t bindHostLibrary(const char* systemName);
    int32_t initHandle(const char* hapFile, void* board, void* hap, bool slave);
    void storeHandles(void* board, void* hap);

    const HostFunctionTable& hostFunctions() const { return *binding_->functions; }
    void* hostHandle() const { return binding_->hostHandle; }
    void* boardHandle() const { return binding_->boardHandle; }
    void* hapHandle() const { return binding_->hapHandle; }

    int32_t lastError() const { return binding_->lastError.load(std::memory_order_relaxed); }
    void setLastError(int32_t code) { binding_->lastError.store(code, std::memory_order_relaxed); }

    ParameterInfoTree& parameterInfoTree() { return *binding_->tree; }
    ParameterInfoNode* parameterInfoRoot(int32_t port) const { return binding_->tree->root(port); }

    // The host's own services. Each answers -12 when the host function is not bound or there
    // is no host handle.
    int32_t hostErrorNumber() const;
    int32_t hostIdByName(const char* name) const; // 0: the host has no parameter of that name
    int32_t hostGetById(int32_t id, void* value, uint32_t dma) const;
    int32_t hostSetById(int32_t id, const void* value, uint32_t dma) const;
    ParameterInfoNode* hostParameterInfo() const;

    // A design register addressed by its host identifier, 32 bits wide (type code 2), and the
    // lookup-table field writes (type codes 4096 and 4098). 0 or the host's error number.
    int32_t writeHostRegister(int32_t id, uint32_t value) const;
    int32_t readHostRegister(int32_t id, uint32_t& value) const;
    int32_t writeHostField(int32_t id, const void* record, int32_t typeCode) const;

    // The (port, identifier) index of the information nodes.
    void indexInfoNode(int32_t port, int32_t id, ParameterInfoNode* node);
    ParameterInfoNode* infoNode(int32_t id, int32_t port = 0) const;

    // Changes the information node of a parameter (limits that follow other parameters, access
    // that follows a mode); nothing happens for a parameter without a node. A host walks these
    // records while other threads set parameters, so the change is made on a copy and the
    // words it may touch (the access value and the limits) are stored back atomically.
    template <class Change>
    void updateInfoNode(int32_t id, Change&& change) {
        ParameterInfoNode* node = infoNode(id);
        if (node == nullptr) return;
        ParameterInfoNode changed = *node;
        change(changed);
        pellvane::publishNodeChange(*node, changed);
    }
    void setNodeAccess(int32_t id, int32_t access) {
        updateInfoNode(id, [access](ParameterInfoNode& n) { n.access = access; });
    }

    bool registerAccessEnabled() const { return registerAccessEnabled_; }

protected:
    void enableRegisterAccess(bool on) { registerAccessEnabled_ = on; }

private:
    std::unique_ptr<HostBinding> binding_;
    // By port in the upper and identifier in the lower 32 bits: parameter sets that move a
    // limit or an access look their node up here.
    std::unordered_map<uint64_t, ParameterInfoNode*> infoIndex_;
    bool registerAccessEnabled_ = false;
};

} // namespace pellvane
