// The debug switches: direct register access, pass-through parameters of the host, and the
// inspection file beside the applet library that names them.
#include "Harness.h"

#include <pellvane/parameters.h>

#include "pellvane/ParameterInfoNode.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

using namespace pvtest;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kDesignRegisters = 112;

const ParameterInfoNode* findNode(const ParameterInfoNode* category,
                                  const std::function<bool(const ParameterInfoNode*)>& match) {
    for (int32_t i = 0; i < category->a.childCount; ++i) {
        const ParameterInfoNode* child = category->b.children[i];
        if (match(child)) return child;
        if (child->kind == PI_KIND_CATEGORY)
            if (const ParameterInfoNode* found = findNode(child, match)) return found;
    }
    return nullptr;
}

const ParameterInfoNode* rootNamed(const ParameterInfoNode* root, const char* name) {
    for (; root != nullptr; root = root->previousRoot)
        if (std::strcmp(root->displayName, name) == 0) return root;
    return nullptr;
}

// An applet library copied to its own directory, with an inspection file beside it.
struct AppletCopy {
    AppletCopy(const std::string& fileName, const std::string& inspection) {
        fs::copy_file(Library::applet().file(), dir.path() / fileName);
        if (!inspection.empty()) std::ofstream(dir.path() / "inspect.conf") << inspection;
        lib.emplace(Library::at(dir.path() / fileName));
    }
    TempDir dir;
    std::optional<Library> lib;
};

class Switches : public OpenBoard {
protected:
    int32_t count() { return x().Fg_getNrOfParameter(&fg_); }
    std::string nameAt(int32_t index) {
        const char* n = x().Fg_getParameterName(&fg_, index);
        return n != nullptr ? n : "(null)";
    }
    int32_t lastError() { return x().Fg_getLastErrorNumber(&fg_); }

    // Opens the board with a copy of the applet library; the copy outlives the board.
    void openCopy(const std::string& fileName, const std::string& inspection) {
        copy_.emplace(fileName, inspection);
        open(*copy_->lib);
    }

    std::optional<AppletCopy> copy_;
};

} // namespace

TEST_F(Switches, RegisterAccessAddsOneParameterPerDesignRegister) {
    ScopedEnv dra("TARN_ENABLE_DRA", "TRUE");
    open();
    ASSERT_EQ(count(), 130 + kDesignRegisters);
    const char* first = "Device1_Process0_LookupTable_LookupTable_LUTcontent";
    EXPECT_EQ(nameAt(130), std::string("DRA_") + first);
    EXPECT_EQ(x().Fg_getParameterId(&fg_, 130),
              PV_REGISTER_ACCESS_BASE + int32_t(vb_register_id(first)));
    EXPECT_EQ(x().Fg_getParameterIdByName(&fg_, "DRA_MWGenRoll"),
              PV_REGISTER_ACCESS_BASE + int32_t(vb_register_id("MWGenRoll")));
    // The registers have no descriptions.
    char buffer[256];
    std::strcpy(buffer, "DRA_MWGenRoll");
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, PV_DESCRIPTION_QUERY, buffer, 0, 5),
              PV_ERR_INVALID_PARAMETER);
}

TEST_F(Switches, RegisterAccessUsesTheRegisterWidth) {
    ScopedEnv dra("TARN_ENABLE_DRA", "on");
    open();
    auto id = [](const char* name) {
        return PV_REGISTER_ACCESS_BASE + int32_t(vb_register_id(name));
    };

    // 32 bits: only the low half of the caller's buffer is read and written.
    uint64_t value = 0xAAAAAAAA12345678u;
    ASSERT_EQ(x().Fg_setParameterWithType(&fg_, id("MWGenRoll"), &value, 0, 2), 0);
    uint64_t hw = 0;
    ASSERT_EQ(vb_register_value(board_, "MWGenRoll", &hw), 0);
    EXPECT_EQ(hw, 0x12345678u);
    uint64_t read = ~uint64_t{0};
    ASSERT_EQ(x().Fg_getParameterWithType(&fg_, id("MWGenRoll"), &read, 0, 2), 0);
    EXPECT_EQ(read, 0xFFFFFFFF12345678u);

    // 40 bits: 64 bits are passed, the hardware keeps 40 of them; the DMA index is ignored.
    value = 0xFFFFFF123456789Au;
    ASSERT_EQ(x().Fg_setParameterWithType(&fg_, id("Device1_Debug_Scratch40"), &value, 7, 4), 0);
    read = 0;
    ASSERT_EQ(x().Fg_getParameterWithType(&fg_, id("Device1_Debug_Scratch40"), &read, 7, 4), 0);
    EXPECT_EQ(read, 0x123456789Au);

    // 64 bits.
    value = 0x8000000000000001u;
    ASSERT_EQ(x().Fg_setParameterWithType(&fg_, id("MWGenActive"), &value, 0, 4), 0);
    ASSERT_EQ(vb_register_value(board_, "MWGenActive", &hw), 0);
    EXPECT_EQ(hw, value);

    // The hardware library's failures come back unchanged.
    ASSERT_EQ(vb_fail_read("MWGenActive", 1, -4711), 0);
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, id("MWGenActive"), &read, 0, 4), -4711);
    EXPECT_EQ(lastError(), -4711);
    EXPECT_NE(x().Fg_setParameterWithType(&fg_, id("Device1_Status_Timestamp"), &value, 0, 4), 0);
}

TEST_F(Switches, RegisterAccessNodesDescribeWidthAndWritability) {
    ScopedEnv dra("TARN_ENABLE_DRA", "1");
    open();
    auto* root = static_cast<const ParameterInfoNode*>(x().Fg_getParameterInfo(&fg_, 0));
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->displayName, "Direct Register Access");
    auto named = [&](const char* name) {
        return findNode(root, [&](const ParameterInfoNode* n) {
            return n->name != nullptr && std::strcmp(n->name, name) == 0;
        });
    };
    const ParameterInfoNode* r32 = named("DRA_MWGenRoll");
    ASSERT_NE(r32, nullptr);
    EXPECT_EQ(r32->kind, PI_KIND_INT32);
    EXPECT_EQ(uint32_t(r32->a.i32.max), 4294967295u);
    EXPECT_EQ(r32->access, 7);
    EXPECT_STREQ(r32->displayName, "MWGenRoll (32)");

    const ParameterInfoNode* r40 = named("DRA_Device1_Status_FrameCounter");
    ASSERT_NE(r40, nullptr);
    EXPECT_EQ(r40->kind, PI_KIND_INT64);
    EXPECT_EQ(r40->b.max64, 1099511627775);
    EXPECT_EQ(r40->access, 1);

    const ParameterInfoNode* r64 = named("DRA_Device1_Status_Timestamp");
    ASSERT_NE(r64, nullptr);
    EXPECT_EQ(uint64_t(r64->b.max64), ~uint64_t{0});
    EXPECT_EQ(r64->id,
              PV_REGISTER_ACCESS_BASE + int32_t(vb_register_id("Device1_Status_Timestamp")));
}

TEST_F(Switches, RegisterAccessStaysOffForOtherValues) {
    ScopedEnv dra("TARN_ENABLE_DRA", "2");
    open();
    EXPECT_EQ(count(), 130);
    uint32_t value = 1;
    int32_t id = PV_REGISTER_ACCESS_BASE + int32_t(vb_register_id("MWGenRoll"));
    EXPECT_EQ(x().Fg_setParameterWithType(&fg_, id, &value, 0, 2), PV_ERR_INVALID_PARAMETER);
}

TEST_F(Switches, InspectionFileNamesPassThroughParameters) {
    openCopy("Pellvane.so", "FG_DMASTATUS = yes # before any section: ignored\n"
                            "[Pellvane]\n"
                            "FG_TIMEOUT = yes\n"
                            "FG_CAMERA_CLOCK = no\n"
                            "FG_BOARD_NAME = TRUE   # a comment\n"
                            "FG_NO_SUCH_HOST_PARAMETER = on\n"
                            "[pellvane]\n"
                            "FG_NR_OF_CAMS = yes\n");
    ASSERT_EQ(count(), 132);
    // The section's keys in key order; unknown host names and false values are dropped.
    EXPECT_EQ(nameAt(130), "DXEA_FG_BOARD_NAME");
    EXPECT_EQ(nameAt(131), "DXEA_FG_TIMEOUT");
    // Pass-through names have an index but no identifier by name.
    EXPECT_EQ(x().Fg_getParameterId(&fg_, 131), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getParameterIdByName(&fg_, "DXEA_FG_TIMEOUT"), PV_ERR_INVALID_PARAMETER);

    // Set and get of 2000000 + h reach the host's parameter h.
    int32_t timeout = 0;
    ASSERT_EQ(x().Fg_getParameterWithType(&fg_, PV_PASS_THROUGH_BASE + FG_TIMEOUT, &timeout, 0, 1),
              0);
    EXPECT_EQ(timeout, 1000000);
    int32_t newTimeout = 4321;
    ASSERT_EQ(
        x().Fg_setParameterWithType(&fg_, PV_PASS_THROUGH_BASE + FG_TIMEOUT, &newTimeout, 0, 1), 0);
    ASSERT_EQ(x().Fg_getParameterWithType(&fg_, PV_PASS_THROUGH_BASE + FG_TIMEOUT, &timeout, 0, 1),
              0);
    EXPECT_EQ(timeout, 4321);

    // The information tree reproduces the host's node below "Direct XE Access".
    auto* root = static_cast<const ParameterInfoNode*>(x().Fg_getParameterInfo(&fg_, 0));
    const ParameterInfoNode* xe = rootNamed(root, "Direct XE Access");
    ASSERT_NE(xe, nullptr);
    const ParameterInfoNode* node = findNode(
        xe, [](const ParameterInfoNode* n) { return n->id == PV_PASS_THROUGH_BASE + FG_TIMEOUT; });
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(node->name, "DXEA_FG_TIMEOUT");
    EXPECT_EQ(node->kind, PI_KIND_INT32);
}

TEST_F(Switches, TheAppletSectionFollowsTheLibraryFileName) {
    openCopy("Camline.so", "[Pellvane]\nFG_NR_OF_CAMS = yes\n"
                           "[Camline]\nFG_TIMEOUT = 1\n");
    ASSERT_EQ(count(), 131);
    EXPECT_EQ(nameAt(130), "DXEA_FG_TIMEOUT");
}

TEST_F(Switches, HostSwitchOnOffersEveryHostParameter) {
    for (const char* on : {"On", "tRuE", "YES", "1"}) {
        ScopedEnv dxea("TARN_ENABLE_DXEA", on);
        open();
        EXPECT_GT(count(), 130) << on;
        close();
        fg_.applet = nullptr;
    }
    for (const char* off : {"y", "1 ", "", "enabled"}) {
        ScopedEnv dxea("TARN_ENABLE_DXEA", off);
        open();
        EXPECT_EQ(count(), 130) << '"' << off << '"';
        close();
        fg_.applet = nullptr;
    }
}
