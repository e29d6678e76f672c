#include "entry/FgXeWrapperImpl.h"

#include "host/ErrorCodes.h"
#include "host/Runtime.h"
#include "parameters/ParameterTable.h"
#include "platform/Environment.h"
#include "platform/ModulePath.h"

#include <cstring>
#include <set>
#include <stdexcept>
#include <vector>

namespace pellvane {

namespace {

constexpr int32_t kMaxEvents = 64;
constexpr const char* kInspectionFile = "inspect.conf";

// The published names of the design's events and the runtime events they name.
struct EventAlias {
    const char* published;
    const char* runtimeName;
};

constexpr EventAlias kEventAliases[] = {
    {"FG_OVERFLOW_CAM0", "Device1_Process0_Overflow_Overflow"},
    {"FG_START_OF_FRAME_CAM_PORT_0",
     "Device1_Process1_Trigger_Monitoring_FVALEvents_Cam0_FrameStart"},
    {"FG_END_OF_FRAME_CAM_PORT_0", "Device1_Process1_Trigger_Monitoring_FVALEvents_Cam0_FrameEnd"},
#define PELLVANE_INPUT_EVENTS(n)                                                                   \
    {"FG_TRIGGER_INPUT" #n "_RISING",                                                              \
     "Device1_Process1_Trigger_TriggerInput_InputEvents_InputEvents_Pin" #n},                      \
    {                                                                                              \
        "FG_TRIGGER_INPUT" #n "_FALLING",                                                          \
            "Device1_Process1_Trigger_TriggerInput_InputEvents_InputEvents_NotPin" #n              \
    }
    PELLVANE_INPUT_EVENTS(0),
    PELLVANE_INPUT_EVENTS(1),
    PELLVANE_INPUT_EVENTS(2),
    PELLVANE_INPUT_EVENTS(3),
    PELLVANE_INPUT_EVENTS(4),
    PELLVANE_INPUT_EVENTS(5),
    PELLVANE_INPUT_EVENTS(6),
    PELLVANE_INPUT_EVENTS(7),
#undef PELLVANE_INPUT_EVENTS
    {"FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CAM0",
     "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0Override"},
    {"FG_MISSING_CAM0_FRAME_RESPONSE",
     "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0MissingFrame"},
    {"FG_TRIGGER_QUEUE_FILLLEVEL_THRESHOLD_CAM0_ON",
     "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0HysteresisOn"},
    {"FG_TRIGGER_QUEUE_FILLLEVEL_THRESHOLD_CAM0_OFF",
     "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0HysteresisOff"},
    {"FG_TRIGGER_OUTPUT_CAM0",
     "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0OutputEvent"},
};
static_assert(std::size(kEventAliases) == 24);

} // namespace

FgXeWrapperImpl::FgXeWrapperImpl() {
    auto dra = platform::environmentValue("TARN_ENABLE_DRA");
    enableRegisterAccess(dra.has_value() && platform::isTruthy(*dra));
    appletBaseName_ = "none";
    inspection_.setSectionsEnabled(true);
    inspection_.setCaseSensitive(true);
    readInspectionFile();
}

FgXeWrapperImpl::~FgXeWrapperImpl() = default;

void FgXeWrapperImpl::readInspectionFile() {
    platform::ModuleFileParts parts = platform::splitModulePath(platform::ownModulePath());
    if (!parts.hasSeparator) return;
    if (!parts.baseName.empty()) appletBaseName_ = parts.baseName;
    inspection_.readFile(platform::fileBesideModule(parts.directory, kInspectionFile), true, true);
}

// Operations of the interface that this applet does not support.
int32_t FgXeWrapperImpl::processChannelToDma(int32_t) {
    throw std::runtime_error("processChannelToDma() is not implemented.");
}
int32_t FgXeWrapperImpl::mapDmaToFormat(int32_t) {
    throw std::runtime_error("mapDmaToFormat() is not implemented.");
}
int32_t FgXeWrapperImpl::setDmaAlignment(int32_t, int32_t) {
    throw std::runtime_error("setDmaAlignment() is not implemented.");
}
int32_t FgXeWrapperImpl::getDmaAlignment(int32_t) {
    throw std::runtime_error("getDmaAlignment() is not implemented.");
}

// ---------------------------------------------------------------------------------------------
// Registration

void FgXeWrapperImpl::registerParameters() {
    switchOnHostParameters();

    dmaProcessMap_[0] = 0;

    void* hap = hapHandle();
    std::vector<std::string> registerNames;
    if (registerAccessEnabled()) {
        int32_t count = runtime::registerCount(hap);
        for (int32_t i = 1; i <= count; ++i) {
            const char* name = runtime::registerName(hap, i);
            if (name == nullptr) continue;
            registerNames.emplace_back(name);
            registerAccessIds_[std::string("DRA_") + name] =
                runtime::registerId(hap, name) + kRegisterAccessBase;
        }
    }

    // The inspection store's section of this applet names the host parameters to pass
    // through. The keys are walked twice with the same tests (once for the identifiers, once
    // for the indices), so both containers list them in the same order.
    const std::string section = appletBaseName_;
    auto passThroughKeys = [&](auto&& visit) {
        for (const std::string& key : inspection_.keysOfSection(section)) {
            if (!platform::isTruthy(inspection_.fetchValue(section + "::" + key))) continue;
            int32_t hostId = hostIdByName(key.c_str());
            if (hostId != 0) visit(key, hostId);
        }
    };
    passThroughKeys([&](const std::string& key, int32_t hostId) {
        passThroughIds_["DXEA_" + key] = hostId + kPassThroughBase;
    });

    // The table's own names come first and stay in the table.
    for (const std::string& name : registerNames)
        extraParameterNames_.push_back("DRA_" + name);
    passThroughKeys(
        [&](const std::string& key, int32_t) { extraParameterNames_.push_back("DXEA_" + key); });

    registerEvents();
}

// With TARN_ENABLE_DXEA switched on, every host parameter of a passable kind is entered into
// this applet's section of the inspection store, so that all of them become pass-through
// parameters.
void FgXeWrapperImpl::switchOnHostParameters() {
    auto dxea = platform::environmentValue("TARN_ENABLE_DXEA");
    if (!dxea.has_value() || !platform::isTruthy(*dxea)) return;
    ParameterInfoNode* root = hostParameterInfo();
    if (root == nullptr) return;

    // Depth-first over every root category of the host, with a work list. The visited set
    // keeps a malformed host tree (a cycle in its links) from looping forever.
    std::vector<ParameterInfoNode*> work{root};
    std::set<ParameterInfoNode*> visited;
    while (!work.empty()) {
        ParameterInfoNode* node = work.back();
        work.pop_back();
        if (node == nullptr || node->kind != PI_KIND_CATEGORY || !visited.insert(node).second)
            continue;
        for (int32_t i = 0; i < node->a.childCount; ++i) {
            ParameterInfoNode* child = node->b.children[i];
            if (child == nullptr) continue;
            if (isPassThroughKind(child->kind) && child->name != nullptr)
                inspection_.storeValue(appletBaseName_ + "::" + child->name, "On");
            else if (child->kind == PI_KIND_CATEGORY)
                work.push_back(child);
        }
        if (node->previousRoot != nullptr && node->previousRoot->kind == PI_KIND_CATEGORY)
            work.push_back(node->previousRoot);
    }
}

// The maps are built once, here, and own their names: every name (the runtime's published ones
// and the aliases) is copied into one block, so that nothing points into the runtime's event
// list once start-up is over and a name handed out stays valid as long as this object lives.
// Events the runtime adds or removes later are not seen.
void FgXeWrapperImpl::registerEvents() {
    void* hap = hapHandle();
    std::vector<const runtime::EventRecord*> records;
    for (int32_t i = 0; i < kMaxEvents; ++i) {
        const runtime::EventRecord* e = runtime::event(hap, i);
        if (e == nullptr) break;
        records.push_back(e);
    }
    struct Entry {
        std::string_view name;
        uint64_t mask;
    };
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i]->published != 1 || records[i]->name == nullptr) continue;
        entries.push_back({records[i]->name, uint64_t{1} << i});
    }
    for (const EventAlias& alias : kEventAliases) {
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (records[i]->name == nullptr ||
                std::strcmp(records[i]->name, alias.runtimeName) != 0)
                continue;
            entries.push_back({alias.published, uint64_t{1} << i});
            break;
        }
    }

    std::size_t total = 0;
    for (const Entry& e : entries)
        total += e.name.size() + 1;
    eventNameBlock_ = std::make_unique<char[]>(total);
    char* next = eventNameBlock_.get();
    for (const Entry& e : entries) {
        std::memcpy(next, e.name.data(), e.name.size());
        next[e.name.size()] = '\0';
        std::string_view owned(next, e.name.size());
        eventMasks_[owned] = e.mask;
        eventNames_[e.mask] = next;
        next += e.name.size() + 1;
    }
}

uint64_t FgXeWrapperImpl::getEventMask(const char* name) {
    auto it = name != nullptr ? eventMasks_.find(name) : eventMasks_.end();
    if (it == eventMasks_.end()) {
        setLastError(kInvalidParameter);
        return 0;
    }
    setLastError(kOk);
    return it->second;
}

const char* FgXeWrapperImpl::getEventName(uint64_t mask) {
    auto it = eventNames_.find(mask);
    if (it == eventNames_.end()) {
        setLastError(kInvalidParameter);
        return nullptr;
    }
    setLastError(kOk);
    return it->second;
}

// ---------------------------------------------------------------------------------------------
// Register identifiers

void FgXeWrapperImpl::fillRegisterIds() {
    // Answers are stored as they come: a name the design lacks shows up only when a parameter
    // that needs it is set.
    for (std::size_t i = 0; i < kHostRegisterCount; ++i)
        registerIds_[i] = hostIdByName(kRegisterNames[i]);
    for (std::size_t i = kHostRegisterCount; i < kRegisterCount; ++i)
        registerIds_[i] = runtime::registerId(hapHandle(), kRegisterNames[i]);
}

void FgXeWrapperImpl::writeRegister(Reg r, uint32_t value) const {
    int32_t rc = writeHostRegister(registerId(r), value);
    check(rc);
}

uint32_t FgXeWrapperImpl::readRegister(Reg r) const {
    uint32_t value = 0;
    int32_t rc = readHostRegister(registerId(r), value);
    check(rc);
    return value;
}

// ---------------------------------------------------------------------------------------------
// Start-up of the trigger system and the defaults

void FgXeWrapperImpl::startTrigger() {
    startTriggerSystem(*this);
    // The legacy trigger parameters start read-only: the legacy mode is off.
    for (int32_t id : kGroupLegacy)
        setNodeAccess(id, PI_ACCESS_READ);
}

void FgXeWrapperImpl::applyDefaults() {
    // The simulator's registers are cleared first, straight through the hardware library.
    clearSimulatorRegisters(*this);

    for (const DefaultValue& d : kDefaults) {
        ParameterEntry p = findEntry(d.id);
        if (p.def == nullptr || p.set == nullptr) continue;
        try {
            if (p.def->type == ValueType::Double) {
                double v = d.value;
                p.set(*this, &v, false);
            } else {
                auto v = static_cast<int32_t>(d.value);
                p.set(*this, &v, false);
            }
        } catch (const Failure&) {
            // Start-up drops every failure: a default that cannot be applied leaves the
            // parameter as the constructor set it.
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Enumeration of the parameters

int32_t FgXeWrapperImpl::getNrOfParameter() {
    return static_cast<int32_t>(kParameterCount + extraParameterNames_.size());
}

const char* FgXeWrapperImpl::getParameterName(int32_t index) {
    const char* name = nullptr;
    if (index >= 0 && static_cast<std::size_t>(index) < kParameterCount) {
        name = kParameters[static_cast<std::size_t>(index)].name;
    } else if (index >= 0 &&
               static_cast<std::size_t>(index) - kParameterCount < extraParameterNames_.size()) {
        name = extraParameterNames_[static_cast<std::size_t>(index) - kParameterCount].c_str();
    }
    setLastError(name != nullptr ? kOk : kInvalidParameter);
    return name;
}

// The identifier of the parameter at an enumeration index. The pass-through parameters have
// names here but no identifier.
int32_t FgXeWrapperImpl::getParameterId(int32_t index) {
    int32_t id = kInvalidParameter;
    if (index >= 0 && static_cast<std::size_t>(index) < kParameterCount) {
        id = kParameters[static_cast<std::size_t>(index)].id;
    } else if (index >= 0 &&
               static_cast<std::size_t>(index) - kParameterCount < extraParameterNames_.size()) {
        auto it = registerAccessIds_.find(
            extraParameterNames_[static_cast<std::size_t>(index) - kParameterCount]);
        if (it != registerAccessIds_.end()) id = it->second;
    }
    setLastError(id != kInvalidParameter ? kOk : kInvalidParameter);
    return id;
}

int32_t FgXeWrapperImpl::getParameterIdByName(const char* name) {
    if (name != nullptr && *name != '\0') {
        if (const ParameterDef* p = findParameterByName(name)) {
            setLastError(kOk);
            return p->id;
        }
        auto it = registerAccessIds_.find(name);
        if (it != registerAccessIds_.end()) {
            setLastError(kOk);
            return it->second;
        }
    }
    setLastError(kInvalidParameter);
    return kInvalidParameter;
}

int32_t FgXeWrapperImpl::tableParameterId(const char* name) {
    const ParameterDef* p = findParameterByName(name);
    if (p == nullptr) throw std::out_of_range(name);
    return p->id;
}

} // namespace pellvane
