// What the trigger suites share: a board opened with the applet, typed set and get, the
// virtual board's write log as a list of (register, value), and the information nodes.
#pragma once

#include "Harness.h"

#include <pellvane/parameters.h>

#include "pellvane/ParameterInfoNode.h"

#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace pvtest {

// The identifiers of the trigger's families by index.
namespace tid {
template <std::size_t N>
int32_t nth(const int32_t (&ids)[N], int n) {
    return ids[n];
}
inline int32_t pfDownscale(int n) {
    return nth<4>({FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE, FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE,
                   FG_TRIGGER_PULSEFORMGEN2_DOWNSCALE, FG_TRIGGER_PULSEFORMGEN3_DOWNSCALE},
                  n);
}
inline int32_t pfPhase(int n) {
    return nth<4>(
        {FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE_PHASE, FG_TRIGGER_PULSEFORMGEN1_DOWNSCALE_PHASE,
         FG_TRIGGER_PULSEFORMGEN2_DOWNSCALE_PHASE, FG_TRIGGER_PULSEFORMGEN3_DOWNSCALE_PHASE},
        n);
}
inline int32_t pfDelay(int n) {
    return nth<4>({FG_TRIGGER_PULSEFORMGEN0_DELAY, FG_TRIGGER_PULSEFORMGEN1_DELAY,
                   FG_TRIGGER_PULSEFORMGEN2_DELAY, FG_TRIGGER_PULSEFORMGEN3_DELAY},
                  n);
}
inline int32_t pfWidth(int n) {
    return nth<4>({FG_TRIGGER_PULSEFORMGEN0_WIDTH, FG_TRIGGER_PULSEFORMGEN1_WIDTH,
                   FG_TRIGGER_PULSEFORMGEN2_WIDTH, FG_TRIGGER_PULSEFORMGEN3_WIDTH},
                  n);
}
inline int32_t cc(int k) {
    return nth<4>(
        {FG_TRIGGERCC_SELECT0, FG_TRIGGERCC_SELECT1, FG_TRIGGERCC_SELECT2, FG_TRIGGERCC_SELECT3},
        k);
}
inline int32_t out(int k) {
    return nth<8>({FG_TRIGGEROUT_SELECT0, FG_TRIGGEROUT_SELECT1, FG_TRIGGEROUT_SELECT2,
                   FG_TRIGGEROUT_SELECT3, FG_TRIGGEROUT_SELECT4, FG_TRIGGEROUT_SELECT5,
                   FG_TRIGGEROUT_SELECT6, FG_TRIGGEROUT_SELECT7},
                  k);
}
} // namespace tid

// The trigger's enumeration values, unsigned as the tests read the parameters back.
constexpr uint32_t GENERATOR = ATM_GENERATOR, EXTERNAL = ATM_EXTERNAL, SOFTWARE = ATM_SOFTWARE;
constexpr uint32_t ACTIVE = TS_ACTIVE, ASYNC_STOP = TS_ASYNC_STOP, SYNC_STOP = TS_SYNC_STOP;

// Register names as the trigger registers are usually spoken of: without the common prefix of
// the camera's trigger block.
inline std::string shortName(const char* name) {
    static const std::string prefix = "Device1_Process1_Trigger_TriggerCam0_";
    std::string s = name != nullptr ? name : "";
    return s.compare(0, prefix.size(), prefix) == 0 ? s.substr(prefix.size()) : s;
}
inline std::string fullName(const std::string& shortName) {
    return shortName.compare(0, 8, "Device1_") == 0
               ? shortName
               : "Device1_Process1_Trigger_TriggerCam0_" + shortName;
}

// One logged write; `result` is what the write returned (an injected failure changed nothing).
struct Write {
    std::string reg;
    uint64_t value;
    int32_t result = 0;
    bool operator==(const Write&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Write& w) {
    os << w.reg << "=" << w.value;
    if (w.result != 0) os << " failing with " << w.result;
    return os;
}
using Writes = std::vector<Write>;

inline Writes& operator+=(Writes& a, const Writes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Writes operator+(Writes a, const Writes& b) {
    return a += b;
}

// Every register write the virtual board saw since the last clear, in order.
inline Writes loggedWrites() {
    Writes w;
    for (size_t i = 0; i < vb_log_count(); ++i) {
        VbWrite e{};
        vb_log_entry(i, &e);
        w.push_back({shortName(e.name), e.value, e.result});
    }
    return w;
}

class TriggerBoard : public OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
    }

    int32_t set(int32_t id, int32_t value) {
        return x().Fg_setParameterWithType(&fg_, id, &value, 0, 1);
    }
    int32_t setD(int32_t id, double value) {
        return x().Fg_setParameterWithType(&fg_, id, &value, 0, 5);
    }
    uint32_t get(int32_t id) {
        uint32_t v = 0xdeadbeef;
        EXPECT_EQ(x().Fg_getParameterWithType(&fg_, id, &v, 0, 1), 0) << "get " << id;
        return v;
    }
    double getD(int32_t id) {
        double v = -12345.0;
        EXPECT_EQ(x().Fg_getParameterWithType(&fg_, id, &v, 0, 5), 0) << "get " << id;
        return v;
    }

    // The value the board holds in a register, by its short name.
    uint64_t reg(const std::string& name) {
        uint64_t v = 0;
        EXPECT_EQ(vb_register_value(board_, fullName(name).c_str(), &v), 0) << name;
        return v;
    }
    void preset(const std::string& name, uint64_t value) {
        ASSERT_EQ(vb_register_preset(board_, fullName(name).c_str(), value), 0) << name;
    }
    void failWrite(const std::string& name, uint32_t nth, int32_t code) {
        ASSERT_EQ(vb_fail_write(fullName(name).c_str(), nth, code), 0) << name;
    }

    // The applet's information node of a parameter, or null while the tree lacks it.
    const ParameterInfoNode* node(int32_t id) {
        for (auto* root = static_cast<const ParameterInfoNode*>(x().Fg_getParameterInfo(&fg_, 0));
             root != nullptr; root = root->previousRoot)
            if (const ParameterInfoNode* n = find(root, id)) return n;
        return nullptr;
    }
    int32_t access(int32_t id) {
        const ParameterInfoNode* n = node(id);
        return n != nullptr ? n->access : -1;
    }

private:
    static const ParameterInfoNode* find(const ParameterInfoNode* category, int32_t id) {
        for (int32_t i = 0; i < category->a.childCount; ++i) {
            const ParameterInfoNode* child = category->b.children[i];
            if (child->kind == PI_KIND_CATEGORY) {
                if (const ParameterInfoNode* n = find(child, id)) return n;
            } else if (child->id == id) {
                return child;
            }
        }
        return nullptr;
    }
};

// What the documented trigger operations write, as the tests expect to see them in the log.
// `cc` and `outs` are the stored selections that restoring the outputs writes again.
struct Routing {
    uint32_t select, invert;
};
// The twelve selection values, as the design's selector and inverter see them.
constexpr Routing kRoutingOf[12] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {5, 0}, {5, 1},
                                    {0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 0}, {4, 1}};

inline std::string ccSelectReg(int k) {
    return "CameraControl_Select" + std::to_string(k) + "_Select_Select";
}
inline std::string ccInvertReg(int k) {
    return "CameraControl_Select" + std::to_string(k) + "_Polarity_Invert";
}
inline std::string outSelectReg(int k) {
    return "TriggerOutput_Select" + std::to_string(k) + "_Select_Select";
}
inline std::string outInvertReg(int k) {
    return "TriggerOutput_Select" + std::to_string(k) + "_Polarity_Invert";
}

struct Ops {
    std::vector<uint32_t> cc{6, 5, 5, 5};
    std::vector<uint32_t> outs{6, 7, 5, 5, 5, 5, 5, 5};
    uint64_t period = 7812490; // 8 frames per second

    Writes hold() const {
        Writes w;
        for (int k = 0; k < 4; ++k)
            w.push_back({ccSelectReg(k), 5});
        for (int k = 0; k < 8; ++k)
            w.push_back({outSelectReg(k), 5});
        return w;
    }
    Writes restore() const {
        Writes w;
        for (int k = 0; k < 4; ++k) {
            w.push_back({ccSelectReg(k), kRoutingOf[cc[k]].select});
            w.push_back({ccInvertReg(k), kRoutingOf[cc[k]].invert});
        }
        for (int k = 0; k < 8; ++k) {
            w.push_back({outSelectReg(k), kRoutingOf[outs[k]].select});
            w.push_back({outInvertReg(k), kRoutingOf[outs[k]].invert});
        }
        return w;
    }
    Writes start(uint64_t feed) const {
        return {{"Generators_ClearQueuePulse_Mode", 1},
                {"Generators_EnableQueue_Select", feed},
                {"Generators_Generator_MinimumPeriod_Number", period},
                {"PulseFormGenerators_Enable_Select", 1},
                {"Generators_ClearQueuePulse_Mode", 0}};
    }
    Writes startGenerator() const { return start(0); }
    Writes startQueue() const { return start(1); }
    Writes stop() const { return {{"Generators_ClearQueuePulse_Mode", 1}}; }
    Writes resetPulseForms() const {
        Writes w{
            {"Device1_Process1_Trigger_Monitoring_CheckForMissingFrame_Cam0_ResetMissing_Mode", 2}};
        for (int n = 0; n < 4; ++n)
            w.push_back({"PulseFormGenerators_PulseFormGenerator" + std::to_string(n) +
                             "_ClearDownscale_Mode",
                         2});
        return w;
    }
    Writes clearIn() const { return {{"Downscale_Clear_Mode", 2}}; }
    Writes clearSeq() const { return {{"Generators_ClearDownscale_Mode", 2}}; }
    Writes external(uint64_t v) const { return {{"TriggerMode_SelectExternal_Select", v}}; }
    Writes restart() const {
        return hold() + clearIn() + startQueue() + clearSeq() + resetPulseForms() + restore();
    }
};

} // namespace pvtest
