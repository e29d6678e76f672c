// The camera simulator: its registers, written straight through the hardware access library,
// their shadows, and the split of the pixel rate into active and passive ticks.
#include "Harness.h"

#include <pellvane/parameters.h>

#include "pellvane/ParameterInfoNode.h"

#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace pvtest;

namespace {

constexpr int32_t kInjected = -4343; // a failure the board is told to produce

using Writes = std::vector<std::pair<std::string, uint64_t>>;

// Successful writes of the generator's registers, which only the hardware library makes.
Writes generatorWrites() {
    Writes out;
    VbWrite w{};
    for (size_t i = 0; vb_log_entry(i, &w) == 0; ++i) {
        if (w.result != 0 || std::strncmp(w.name, "MWGen", 5) != 0) continue;
        EXPECT_EQ(w.source, VB_SOURCE_HARDWARE) << w.name;
        out.emplace_back(w.name, w.value);
    }
    return out;
}

class Simulator : public OpenBoard {
protected:
    int32_t id(const char* name) { return x().Fg_getParameterIdByName(&fg_, name); }
    int32_t set(const char* name, int32_t v) {
        return x().Fg_setParameterWithType(&fg_, id(name), &v, 0, 1);
    }
    int32_t setFrequency(double v) {
        return x().Fg_setParameterWithType(&fg_, id("FG_GEN_FREQ"), &v, 0, 5);
    }
    template <class T = int32_t>
    T get(const char* name) {
        T value{};
        EXPECT_EQ(x().Fg_getParameterWithType(&fg_, id(name), &value, 0, 1), 0) << name;
        return value;
    }
    uint64_t reg(const char* name) {
        uint64_t value = 12345;
        EXPECT_EQ(vb_register_value(board_, name, &value), 0) << name;
        return value;
    }
    const ParameterInfoNode& node(const char* name) {
        static const ParameterInfoNode none{};
        auto* root = static_cast<const ParameterInfoNode*>(x().Fg_getParameterInfo(&fg_, 0));
        for (; root != nullptr; root = root->previousRoot)
            if (const ParameterInfoNode* n = pvtest::findIn(root, name)) return *n;
        ADD_FAILURE() << name << " has no information node";
        return none;
    }
};

} // namespace

TEST_F(Simulator, StartupClearsTheRegistersThenAppliesTheDefaults) {
    open();
    const Writes expected = {{"MWGenEnable", 0},      {"MWGenStart", 0},
                             {"MWGenWidth", 0},       {"MWGenLineWidth", 0},
                             {"MWGenHeight", 0},      {"MWGenActive", 0},
                             {"MWGenPassive", 0},     {"MWGenMask", 0},
                             {"MWGenRoll", 0}, // cleared in lookup order, then the defaults:
                             {"MWGenEnable", 0},      {"MWGenStart", 1},
                             {"MWGenWidth", 256},     {"MWGenLineWidth", 257},
                             {"MWGenHeight", 1023},   {"MWGenWidth", 256},
                             {"MWGenLineWidth", 257}, // width, height, gap
                             {"MWGenActive", 7},      {"MWGenPassive", 16},
                             {"MWGenActive", 7},      {"MWGenPassive", 16},
                             {"MWGenMask", 1},        {"MWGenMask", 3},
                             {"MWGenMask", 7},        {"MWGenMask", 15}, // from 0
                             {"MWGenRoll", 0}};
    EXPECT_EQ(generatorWrites(), expected);
    EXPECT_EQ(get("FG_GEN_ACTIVE"), 8);
    EXPECT_EQ(get("FG_GEN_PASSIVE"), 17);
    EXPECT_EQ(get("FG_GEN_LINE_WIDTH"), 1028);
    EXPECT_EQ(node("FG_GEN_ACCURACY").a.i32.min, 2);
    EXPECT_EQ(node("FG_GEN_FREQ").a.minD, 3.0);
}

TEST_F(Simulator, FailedClearLeavesTheShadowAndStartupGoesOn) {
    // The mask keeps its constructor shadow (all taps on), so the tap defaults find every bit set.
    ASSERT_EQ(vb_fail_write("MWGenMask", 1, kInjected), 0);
    open();
    Writes masks;
    for (const auto& w : generatorWrites())
        if (w.first == "MWGenMask" || (w.first == "MWGenRoll" && masks.empty())) masks.push_back(w);
    EXPECT_EQ(masks, (Writes{{"MWGenRoll", 0},
                             {"MWGenMask", 15},
                             {"MWGenMask", 15},
                             {"MWGenMask", 15},
                             {"MWGenMask", 15}}));
}

TEST_F(Simulator, RateSplitsIntoActiveAndPassiveTicks) {
    open();
    struct Step {
        bool frequency; // else accuracy
        double value;
        int32_t result, active, passive, accuracyMin; // after the step
        double frequencyMin;
    };
    const Step steps[] = {
        {true, 3.0, 0, 1, 24, 21, 3.0}, // the lowest frequency for accuracy 25
        {true, 2.9, PV_ERR_VALUE_OUT_OF_RANGE, 1, 24, 21, 3.0},
        {true, 125.0, 0, 25, 0, 1, 3.0}, // no passive tick left
        {true, 125.1, PV_ERR_VALUE_OUT_OF_RANGE, 25, 0, 1, 3.0},
        {true, std::numeric_limits<double>::quiet_NaN(), PV_ERR_VALUE_OUT_OF_RANGE, 25, 0, 1, 3.0},
        {true, 40.0, 0, 8, 17, 2, 3.0},
        {false, 1, PV_ERR_VALUE_OUT_OF_RANGE, 8, 17, 2, 3.0},
        {false, 2, 0, 1, 1, 2, 32.0},
        {true, 31.9, PV_ERR_VALUE_OUT_OF_RANGE, 1, 1, 2, 32.0},
        {false, 65535, 0, 20971, 44564, 2, 1.0},
        {false, 65536, PV_ERR_VALUE_OUT_OF_RANGE, 20971, 44564, 2, 1.0},
        {false, -1, PV_ERR_VALUE_OUT_OF_RANGE, 20971, 44564, 2, 1.0},
        {true, 1.0, 0, 524, 65011, 63, 1.0},
        {false, 62, PV_ERR_VALUE_OUT_OF_RANGE, 524, 65011, 63, 1.0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE((s.frequency ? "frequency " : "accuracy ") + std::to_string(s.value));
        auto frequency = get<double>("FG_GEN_FREQ");
        int32_t accuracy = get("FG_GEN_ACCURACY");
        vb_log_clear();
        if (s.frequency) {
            EXPECT_EQ(setFrequency(s.value), s.result);
            if (s.result == 0) frequency = s.value;
        } else {
            EXPECT_EQ(set("FG_GEN_ACCURACY", int32_t(s.value)), s.result);
            if (s.result == 0) accuracy = int32_t(s.value);
        }
        EXPECT_EQ(get<double>("FG_GEN_FREQ"), frequency);
        EXPECT_EQ(get("FG_GEN_ACCURACY"), accuracy);
        EXPECT_EQ(get("FG_GEN_ACTIVE"), s.active);
        EXPECT_EQ(get("FG_GEN_PASSIVE"), s.passive);
        EXPECT_EQ(node("FG_GEN_ACCURACY").a.i32.min, s.accuracyMin);
        EXPECT_EQ(node("FG_GEN_FREQ").a.minD, s.frequencyMin);
        // The registers count from 0: passive 0 is written as 64 bits all set.
        Writes written = {{"MWGenActive", uint64_t(s.active - 1)},
                          {"MWGenPassive", uint64_t(int64_t{s.passive} - 1)}};
        EXPECT_EQ(generatorWrites(), s.result == 0 ? written : Writes{});
    }
}

TEST_F(Simulator, ValuesReachTheirRegisters) {
    open();
    const std::tuple<const char*, int32_t, Writes> steps[] = {
        {"FG_GEN_WIDTH", 1023, {{"MWGenWidth", 255}, {"MWGenLineWidth", 256}}},
        {"FG_GEN_LINE_GAP", 65535, {{"MWGenWidth", 255}, {"MWGenLineWidth", 16639}}},
        {"FG_GEN_LINE_GAP", 65536, {}},
        {"FG_GEN_WIDTH", -1, {}},
        {"FG_GEN_HEIGHT", 0, {{"MWGenHeight", 0xFFFFFFFFu}}}, // 0 - 1 in 32 bits
        {"FG_GEN_HEIGHT", 65536, {}},
        {"FG_GEN_TAP2", 0, {{"MWGenMask", 13}}},
        {"FG_GEN_TAP2", 2, {}},
        {"FG_GEN_TAP4", 0, {{"MWGenMask", 5}}},
        {"FG_GEN_TAP2", 1, {{"MWGenMask", 7}}},
        {"FG_GEN_ROLL", 256, {}},
        {"FG_GEN_ROLL", 255, {{"MWGenRoll", 255}}},
        {"FG_GEN_ENABLE", 1, {{"MWGenEnable", 1}}},
        {"FG_GEN_ENABLE", 2, {}},
        {"FG_GEN_START", -1, {}},
    };
    for (const auto& [name, value, writes] : steps) {
        SCOPED_TRACE(std::string(name) + " " + std::to_string(value));
        int32_t before = get(name);
        vb_log_clear();
        EXPECT_EQ(set(name, value), writes.empty() ? PV_ERR_VALUE_OUT_OF_RANGE : 0);
        EXPECT_EQ(generatorWrites(), writes);
        EXPECT_EQ(get(name), writes.empty() ? before : value);
    }
    EXPECT_EQ(get("FG_GEN_LINE_WIDTH"), 1023 + 65535); // pixels, not the register value
}

TEST_F(Simulator, FailingSecondWriteKeepsTheFirstRegisterAndItsShadow) {
    open();
    ASSERT_EQ(vb_fail_write("MWGenPassive", 1, kInjected), 0);
    EXPECT_EQ(setFrequency(3.0), kInjected);
    EXPECT_EQ(reg("MWGenActive"), 0u);  // active 1 was written
    EXPECT_EQ(get("FG_GEN_ACTIVE"), 1); // and its shadow followed
    EXPECT_EQ(reg("MWGenPassive"), 16u);
    EXPECT_EQ(get("FG_GEN_PASSIVE"), 17);
    EXPECT_EQ(get<double>("FG_GEN_FREQ"), 40.0);
    EXPECT_EQ(node("FG_GEN_ACCURACY").a.i32.min, 2);

    ASSERT_EQ(vb_fail_write("MWGenLineWidth", 1, kInjected), 0);
    EXPECT_EQ(set("FG_GEN_WIDTH", 2048), kInjected);
    EXPECT_EQ(reg("MWGenWidth"), 512u);
    EXPECT_EQ(get("FG_GEN_WIDTH"), 1024);

    // A mask that was not written does not become the base of the next tap change.
    ASSERT_EQ(vb_fail_write("MWGenMask", 1, kInjected), 0);
    EXPECT_EQ(set("FG_GEN_TAP2", 0), kInjected);
    EXPECT_EQ(get("FG_GEN_TAP2"), 1);
    vb_log_clear();
    EXPECT_EQ(set("FG_GEN_TAP3", 0), 0);
    EXPECT_EQ(generatorWrites(), (Writes{{"MWGenMask", 11}}));
}
