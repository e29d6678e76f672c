// The applet object: one per board the host opens. It owns the parameter containers, the
// register identifiers, the stored parameter values and the locks, and serves every virtual
// operation of the applet interface.
#pragma once

#include "host/FgXeWrapper.h"
#include "imagepath/ImagePath.h"
#include "imagepath/LookupTable.h"
#include "imagepath/Simulator.h"
#include "parameters/Registers.h"
#include "platform/ConfigStore.h"
#include "platform/Locks.h"
#include "trigger/LegacyTrigger.h"
#include "trigger/Trigger.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pellvane {

class FgXeWrapperImpl final : public FgXeWrapper {
public:
    FgXeWrapperImpl();
    ~FgXeWrapperImpl() override;

    bool loadParameters(Fg_ConfigFileParser& parser) override;
    void saveParameters(Fg_ConfigFileParser& parser) override;
    int32_t processChannelToDma(int32_t channel) override;
    int32_t mapDmaToFormat(int32_t dma) override;
    int32_t setDmaAlignment(int32_t dma, int32_t alignment) override;
    int32_t getDmaAlignment(int32_t dma) override;
    void buildParameterInfo() override;
    int32_t setParameter(int32_t id, const void* value, uint32_t dma) override;
    int32_t getParameter(int32_t id, void* value, uint32_t dma) override;
    int32_t getParameterIdByName(const char* name) override;
    const char* getParameterName(int32_t index) override;
    int32_t getParameterId(int32_t index) override;
    int32_t getNrOfParameter() override;
    uint64_t getEventMask(const char* name) override;
    const char* getEventName(uint64_t mask) override;
    const char* getVendorName() override { return "Corvane GmbH"; }
    const char* getAppletName() override { return "Pellvane"; }
    const char* getAppletVersion() override { return "1.2"; }
    int32_t getLoadAppletId() override { return 0; }

    // Start-up, in the order Std_entry runs them.
    void registerParameters();
    void fillRegisterIds();
    void startTrigger();
    void applyDefaults();

    const std::string& appletBaseName() const { return appletBaseName_; }
    const platform::ConfigStore& inspectionStore() const { return inspection_; }

    // Identifier of a design register: the host's for the first 99, the runtime's for the
    // simulator's nine.
    int32_t registerId(Reg r) const { return registerIds_[index(r)]; }

    // Writes and reads a design register through the host; throws the host's error code.
    void writeRegister(Reg r, uint32_t value) const;
    uint32_t readRegister(Reg r) const;

    // The stored values of each module's parameters.
    ImagePathState& imagePath() { return imagePath_; }
    SimulatorState& simulator() { return simulator_; }
    LookupTableState& lookupTable() { return lookupTable_; }
    TriggerState& trigger() { return trigger_; }
    LegacyTriggerState& legacyTrigger() { return legacyTrigger_; }

private:
    void readInspectionFile();
    void buildRegisterAccessSection();
    void buildPassThroughSection();
    void switchOnHostParameters();
    void registerEvents();
    void setDispatch(int32_t id, const void* value, uint32_t dma);
    void getDispatch(int32_t id, void* value, uint32_t dma);
    void checkDma(uint32_t dma) const;
    int32_t routeRegisterAccess(int32_t id, void* value, bool set);
    // The identifier of a parameter of the table, by name; throws std::out_of_range for a name
    // that is not in the table.
    static int32_t tableParameterId(const char* name);
    template <class Buffer, class ToHost, class ToDispatch>
    int32_t route(int32_t id, Buffer* value, ToHost&& toHost, ToDispatch&& toDispatch);

    tarn::templates::platform::CriticalSection parameterLock_;
    platform::ConfigStore inspection_;
    std::string appletBaseName_ = "none";
    std::array<int32_t, kRegisterCount> registerIds_{};
    ImagePathState imagePath_;
    SimulatorState simulator_;
    LookupTableState lookupTable_;
    TriggerState trigger_;
    LegacyTriggerState legacyTrigger_;

    std::map<int32_t, int32_t> dmaProcessMap_;
    // The parameters beyond the table's own, which the table's name index cannot find: the
    // design's registers by their names "DRA_<register>" (register access on), the host's
    // pass-through parameters "DXEA_<parameter>", and every name after the table's, in
    // enumeration order.
    std::map<std::string, int32_t> registerAccessIds_;
    std::map<std::string, int32_t> passThroughIds_;
    std::vector<std::string> extraParameterNames_;
    // Both maps point into eventNameBlock_, which holds a copy of every event name.
    std::unique_ptr<char[]> eventNameBlock_;
    std::map<std::string_view, uint64_t> eventMasks_;
    std::map<uint64_t, const char*> eventNames_;
};

} // namespace pellvane
