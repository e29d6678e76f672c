// Camera format, region of interest, output format, image selector and the status values, seen
// through the exports, the information tree and the virtual board's register log.
#include "Harness.h"

#include <pellvane/parameters.h>

#include "pellvane/ParameterInfoNode.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace pvtest;

namespace {

constexpr int32_t kInjected = -4242;            // a failure the board is told to produce
constexpr int32_t kHost = PV_PASS_THROUGH_BASE; // pass-through: the host's own parameter
const std::string kBank = "Device1_Process0_Buffer_0_DRAM_A_";
const std::string kOverflow = "Device1_Process0_Overflow_OverflowOccurred";
const std::string kSelector = "Device1_Process0_ImageSelector_FG_IMG_SELECT_";

using Writes = std::vector<std::pair<std::string, uint64_t>>;

Writes loggedWrites() {
    Writes out;
    VbWrite w{};
    for (size_t i = 0; vb_log_entry(i, &w) == 0; ++i)
        if (w.result == 0) out.emplace_back(w.name, w.value);
    return out;
}

// A region-of-interest parameter: its register pair, its partner and the frame they share.
struct Roi {
    const char* name;
    const char* registerSuffix;
    const char* partner;
    int32_t frame;
};
constexpr Roi kRois[] = {{"FG_WIDTH", "XLength", "FG_XOFFSET", 16384},
                         {"FG_HEIGHT", "YLength", "FG_YOFFSET", 65535},
                         {"FG_XOFFSET", "XOffset", "FG_WIDTH", 16384},
                         {"FG_YOFFSET", "YOffset", "FG_HEIGHT", 65535}};

const Roi& roi(const std::string& name) {
    for (const Roi& r : kRois)
        if (name == r.name) return r;
    throw std::logic_error(name);
}

class ImagePath : public OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
        startup_ = loggedWrites();
        vb_log_clear();
    }
    int32_t id(const std::string& name) { return x().Fg_getParameterIdByName(&fg_, name.c_str()); }
    int32_t set(const std::string& name, int32_t value) {
        return x().Fg_setParameterWithType(&fg_, id(name), &value, 0, 1);
    }
    int32_t read(int32_t id, int32_t& value) {
        return x().Fg_getParameterWithType(&fg_, id, &value, 0, 1);
    }
    int32_t get(const std::string& name) {
        int32_t value = -1;
        EXPECT_EQ(read(id(name), value), 0) << name;
        return value;
    }
    int32_t host(int32_t hostId) {
        int32_t value = -1;
        EXPECT_EQ(read(kHost + hostId, value), 0) << hostId;
        return value;
    }
    uint64_t reg(const std::string& name) {
        uint64_t value = ~uint64_t{0};
        EXPECT_EQ(vb_register_value(board_, name.c_str(), &value), 0) << name;
        return value;
    }
    int32_t advertisedMax(const char* name) {
        auto* root = static_cast<const ParameterInfoNode*>(x().Fg_getParameterInfo(&fg_, 0));
        for (; root != nullptr; root = root->previousRoot)
            if (const ParameterInfoNode* n = pvtest::findIn(root, name)) return n->a.i32.max;
        ADD_FAILURE() << name << " has no information node";
        return -1;
    }
    // Sets a value and checks the documented outcome: a rejection writes nothing and keeps the
    // stored value; an acceptance writes exactly `writes` and reads back.
    void expectSet(const std::string& name, int32_t value, int32_t result, const Writes& writes) {
        SCOPED_TRACE(name + " " + std::to_string(value));
        int32_t before = get(name);
        vb_log_clear();
        EXPECT_EQ(set(name, value), result);
        EXPECT_EQ(loggedWrites(), result == 0 ? writes : Writes{});
        EXPECT_EQ(get(name), result == 0 ? value : before);
    }

    Writes startup_;
};

} // namespace

TEST_F(ImagePath, StartupWritesTheDefaultsInOrderAndAdvertisesTheRoiMaxima) {
    Writes ours;
    for (const auto& w : startup_)
        for (const char* prefix : {"Device1_Process0_Camera_", "Device1_Process0_Buffer_",
                                   "Device1_Process0_OutputFormat_", "Device1_Process0_Image"})
            if (w.first.starts_with(prefix)) ours.push_back(w);
    Writes expected = {{"Device1_Process0_Camera_Format", 0},
                       {"Device1_Process0_Camera_UseDval", 1}};
    for (auto [suffix, value] :
         {std::pair{"XLength", 1024}, {"YLength", 1024}, {"XOffset", 0}, {"YOffset", 0}})
        for (const char* bank : {"0_", "1_"}) // bank 0 first
            expected.emplace_back(kBank + bank + suffix, value);
    expected.insert(expected.end(), {{"Device1_Process0_OutputFormat_FG_FORMAT_SelectSource", 1},
                                     {"Device1_Process0_OutputFormat_FG_BITALIGNMENT_Value", 1},
                                     {kSelector + "PERIOD_Divisor", 1},
                                     {kSelector + "PHASE_Number", 0}});
    EXPECT_EQ(ours, expected);
    EXPECT_EQ(advertisedMax("FG_WIDTH"), 16384);
    EXPECT_EQ(advertisedMax("FG_HEIGHT"), 65535);
    EXPECT_EQ(advertisedMax("FG_XOFFSET"), 15360);
    EXPECT_EQ(advertisedMax("FG_YOFFSET"), 64511);
}

TEST_F(ImagePath, RoiChecksRunInOrderAndAcceptedValuesReachBothBanksAndThePartnerLimit) {
    // 16392 is out of range before it is a bad multiple of 8.
    // clang-format off
    const std::tuple<const char*, int32_t, int32_t> steps[] = {
        {"FG_WIDTH", 1020, PV_ERR_NOT_A_MULTIPLE}, {"FG_WIDTH", 8, PV_ERR_VALUE_OUT_OF_RANGE},
        {"FG_WIDTH", 16392, PV_ERR_VALUE_OUT_OF_RANGE}, {"FG_WIDTH", -8, PV_ERR_VALUE_OUT_OF_RANGE},
        {"FG_WIDTH", 16384, 0}, {"FG_XOFFSET", 8, PV_ERR_VALUE_OUT_OF_RANGE},
        {"FG_XOFFSET", 0, 0}, {"FG_WIDTH", 1024, 0},
        {"FG_XOFFSET", 15356, PV_ERR_NOT_A_MULTIPLE}, {"FG_XOFFSET", 15368, PV_ERR_VALUE_OUT_OF_RANGE},
        {"FG_XOFFSET", 15360, 0}, {"FG_WIDTH", 1032, PV_ERR_VALUE_OUT_OF_RANGE},
        {"FG_HEIGHT", 3, PV_ERR_VALUE_OUT_OF_RANGE}, {"FG_HEIGHT", 65535, 0},
        {"FG_YOFFSET", 1, PV_ERR_VALUE_OUT_OF_RANGE}, {"FG_YOFFSET", -1, PV_ERR_VALUE_OUT_OF_RANGE},
        {"FG_HEIGHT", 1000, 0}, {"FG_YOFFSET", 64535, 0},
        {"FG_HEIGHT", 1001, PV_ERR_VALUE_OUT_OF_RANGE}, {"FG_YOFFSET", 3, 0},
    };
    // clang-format on
    for (const auto& [name, value, result] : steps) {
        const Roi& r = roi(name);
        int32_t partnerMax = advertisedMax(r.partner);
        auto v = uint64_t(value);
        expectSet(name, value, result,
                  {{kBank + "0_" + r.registerSuffix, v}, {kBank + "1_" + r.registerSuffix, v}});
        EXPECT_EQ(advertisedMax(r.partner), result == 0 ? r.frame - value : partnerMax) << name;
    }
}

TEST_F(ImagePath, FailingBankOneWriteKeepsBankZeroAndTheOldValue) {
    for (const Roi& r : kRois) {
        SCOPED_TRACE(r.name);
        const std::string bank0 = kBank + "0_" + r.registerSuffix;
        const std::string bank1 = kBank + "1_" + r.registerSuffix;
        int32_t old = get(r.name);
        int32_t partnerMax = advertisedMax(r.partner);
        ASSERT_EQ(vb_fail_write(bank1.c_str(), 1, kInjected), 0);
        EXPECT_EQ(set(r.name, old + 8), kInjected);
        EXPECT_EQ(reg(bank0), uint64_t(old + 8));
        EXPECT_EQ(reg(bank1), uint64_t(old));
        EXPECT_EQ(get(r.name), old);
        EXPECT_EQ(advertisedMax(r.partner), partnerMax);
    }
}

TEST_F(ImagePath, ImageSelectorKeepsThePeriodAboveTheSelectedImage) {
    const std::string period = kSelector + "PERIOD_Divisor", phase = kSelector + "PHASE_Number";
    expectSet("FG_IMG_SELECT", 1, PV_ERR_VALUE_OUT_OF_RANGE, {});
    expectSet("FG_IMG_SELECT_PERIOD", 3, 0, {{period, 3}});
    expectSet("FG_IMG_SELECT", 2, 0, {{phase, 2}});
    expectSet("FG_IMG_SELECT_PERIOD", 2, PV_ERR_VALUE_OUT_OF_RANGE, {});
    expectSet("FG_IMG_SELECT_PERIOD", 0, PV_ERR_VALUE_OUT_OF_RANGE, {});
    expectSet("FG_IMG_SELECT_PERIOD", 257, PV_ERR_VALUE_OUT_OF_RANGE, {});
    expectSet("FG_IMG_SELECT", -1, PV_ERR_VALUE_OUT_OF_RANGE, {});
    expectSet("FG_IMG_SELECT_PERIOD", 256, 0, {{period, 256}});
    expectSet("FG_IMG_SELECT", 255, 0, {{phase, 255}});
    expectSet("FG_IMG_SELECT", 256, PV_ERR_VALUE_OUT_OF_RANGE, {});
}

TEST_F(ImagePath, EnumerationsWriteTheirRegisterValueAndReadBackTheirOwn) {
    const std::string camera = "Device1_Process0_Camera_Format";
    const std::string gray = "Device1_Process0_OutputFormat_FG_FORMAT_SelectSource";
    const std::string align = "Device1_Process0_OutputFormat_FG_BITALIGNMENT_Value";
    expectSet("FG_CAMERA_LINK_CAMTYPE", 210, 0, {{camera, 1}});
    expectSet("FG_CAMERA_LINK_CAMTYPE", 212, 0, {{camera, 2}});
    expectSet("FG_CAMERA_LINK_CAMTYPE", 208, 0, {{camera, 0}});
    expectSet("FG_CAMERA_LINK_CAMTYPE", 214, PV_ERR_VALUE_OUT_OF_RANGE, {});
    expectSet("FG_CAMERA_LINK_CAMTYPE", 8, PV_ERR_VALUE_OUT_OF_RANGE, {});
    expectSet("FG_USEDVAL", 0, 0, {{"Device1_Process0_Camera_UseDval", 0}});
    expectSet("FG_USEDVAL", 2, PV_ERR_VALUE_OUT_OF_RANGE, {});
    expectSet("FG_FORMAT", 1, 0, {{gray, 0}}); // FG_GRAY16
    expectSet("FG_FORMAT", 3, 0, {{gray, 1}}); // FG_GRAY
    expectSet("FG_FORMAT", 2, PV_ERR_VALUE_OUT_OF_RANGE, {});
    expectSet("FG_BITALIGNMENT", 0, 0, {{align, 0}});
    expectSet("FG_BITALIGNMENT", -1, PV_ERR_VALUE_OUT_OF_RANGE, {});
}

TEST_F(ImagePath, TimeoutAndTurboModeAreForwardedToTheHost) {
    const std::tuple<const char*, int32_t, int32_t, int32_t> cases[] = {
        {"FG_TIMEOUT", 600, 5, 0},
        {"FG_TIMEOUT", 600, 1, PV_ERR_VALUE_OUT_OF_RANGE},
        {"FG_TIMEOUT", 600, -1, PV_ERR_VALUE_OUT_OF_RANGE},
        {"FG_TIMEOUT", 600, 2147483646, 0},
        {"FG_TURBO_DMA_MODE", 3051, 1, 0},
        {"FG_TURBO_DMA_MODE", 3051, 2, PV_ERR_VALUE_OUT_OF_RANGE}};
    for (const auto& [name, hostId, value, result] : cases) {
        expectSet(name, value, result, {});
        EXPECT_EQ(host(hostId), get(name)) << name << " " << value;
    }
}

TEST_F(ImagePath, FillLevelAndExtendedStatusFollowTheBuffers) {
    const std::string fill0 = kBank + "0_FillLevel", fill1 = kBank + "1_FillLevel";
    struct Case {
        uint32_t overflow, bank0, bank1, fill, code; // code: bits 6 and 7 of the status
    };
    const Case cases[] = {{0, 24, 3, 24, 0},   {0, 25, 0, 25, 1},
                          {0, 3, 49, 49, 1},   {0, 50, 49, 50, 2},
                          {0, 74, 0, 74, 2},   {0, 0, 75, 75, 3},
                          {1, 10, 60, 100, 3}, {0, 0x80000000u, 1, 0x80000000u, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bank0) + " " + std::to_string(c.bank1));
        vb_register_preset(board_, kOverflow.c_str(), c.overflow);
        vb_register_preset(board_, fill0.c_str(), c.bank0);
        vb_register_preset(board_, fill1.c_str(), c.bank1);
        EXPECT_EQ(uint32_t(get("FG_FILLLEVEL")), c.fill);
        EXPECT_EQ(uint32_t(get("FG_OVERFLOW")), c.overflow);
        auto hostStatus = uint32_t(host(FG_CAMSTATUS_EXTENDED));
        EXPECT_EQ(uint32_t(get("FG_CAMSTATUS_EXTENDED")),
                  (hostStatus & ~0xE0u) | c.code << 6 | c.overflow << 5);
        EXPECT_EQ(get("FG_CAMSTATUS"), int32_t(hostStatus & 1));
    }
    // The host's bits pass through: bit 1 follows a running acquisition, as FG_DMASTATUS does.
    vb_register_preset(board_, kOverflow.c_str(), 1);
    ASSERT_EQ(x().Fg_AcquireEx(&fg_, 0, -1, 1, nullptr), 0);
    EXPECT_EQ(host(FG_CAMSTATUS_EXTENDED) & 2, 2);
    EXPECT_EQ(get("FG_CAMSTATUS_EXTENDED"), 0xE0 | host(FG_CAMSTATUS_EXTENDED));
    EXPECT_EQ(get("FG_DMASTATUS"), 1);

    // A failing read answers its code.
    int32_t value = 0;
    ASSERT_EQ(vb_fail_read(fill1.c_str(), 1, kInjected), 0);
    vb_register_preset(board_, kOverflow.c_str(), 0);
    EXPECT_EQ(read(id("FG_FILLLEVEL"), value), kInjected);
    ASSERT_EQ(vb_fail_read(kOverflow.c_str(), 2, kInjected), 0); // the second read of the status
    EXPECT_EQ(read(id("FG_CAMSTATUS"), value), kInjected);
}

TEST_F(ImagePath, HapFileNameIsCopiedWithItsTerminatingZero) {
    char hap[64];
    std::memset(hap, 'x', sizeof hap);
    ASSERT_EQ(x().Fg_getParameterWithType(&fg_, id("FG_HAP_FILE"), hap, 0, 6), 0);
    EXPECT_STREQ(hap, "Pellvane.hap");
    EXPECT_EQ(hap[13], 'x');
}
