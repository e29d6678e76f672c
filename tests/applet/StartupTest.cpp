// Creating and destroying the applet object: Std_entry's steps and failure paths, the image,
// tear-down, and what Info reports about the process.
#include "Harness.h"

#include <pellvane/parameters.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

using namespace pvtest;
namespace fs = std::filesystem;

namespace {

class Startup : public OpenBoard {};

// Restores the working directory when a test changed it.
class ScopedCwd {
public:
    explicit ScopedCwd(const fs::path& dir) : old_(fs::current_path()) { fs::current_path(dir); }
    ~ScopedCwd() { fs::current_path(old_); }

private:
    fs::path old_;
};

} // namespace

TEST_F(Startup, ModeOtherThanZeroIsRefused) {
    lib_ = &Library::applet();
    int32_t error = 0;
    EXPECT_EQ(x().Std_entry(board_, &error, 1), nullptr);
    EXPECT_EQ(error, PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Std_entry(board_, nullptr, 1), nullptr);
    EXPECT_EQ(vb_open_host_handles(), 0);
    EXPECT_EQ(vb_loaded_images(), 0);
}

TEST_F(Startup, SuccessLeavesNoErrorAndUsesTheSlaveAwareInitHandle) {
    open();
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
    int32_t slave = -1;
    EXPECT_EQ(vb_last_init_call(&slave), 1);
    EXPECT_EQ(slave, 0);
}

TEST_F(Startup, ANullErrorPointerIsAllowed) {
    lib_ = &Library::applet();
    fg_.applet = x().Std_entry(board_, nullptr, 0);
    EXPECT_NE(fg_.applet, nullptr);
}

TEST_F(Startup, NoImageMeansNoApplet) {
    lib_ = &Library::applet();
    vb_fail_image_load(1);
    int32_t error = 0;
    EXPECT_EQ(x().Std_entry(board_, &error, 0), nullptr);
    EXPECT_EQ(error, PV_ERR_NOT_LOADED);
    EXPECT_EQ(vb_open_host_handles(), 0);
}

TEST_F(Startup, HostInitHandleFailureReportsTheHostErrorAndReleasesTheImage) {
    lib_ = &Library::applet();
    vb_fail_init_handle(-777);
    int32_t error = 0;
    EXPECT_EQ(x().Std_entry(board_, &error, 0), nullptr);
    EXPECT_EQ(error, -777);
    EXPECT_EQ(vb_loaded_images(), 0);
}

TEST_F(Startup, ExternalImageFileIsUsedWhenTheVariableExistsEvenEmpty) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows's C runtime removes a variable that is set to an empty value, so a "
                    "program cannot give itself one";
#endif
    lib_ = &Library::applet();
    ScopedEnv env("__TARN_FORCE_EXTERNAL_HAP", "");
    {
        // No image file in this directory: the start fails, which shows the file was wanted.
        TempDir empty;
        ScopedCwd cwd(empty.path());
        int32_t error = 0;
        EXPECT_EQ(x().Std_entry(board_, &error, 0), nullptr);
        EXPECT_EQ(error, PV_ERR_NOT_LOADED);
    }
    // The tests run where the build put Pellvane.hap.
    ASSERT_TRUE(fs::exists("Pellvane.hap"));
    open();
}

TEST_F(Startup, RegisterIdentifiersAreResolvedBeforeDefaultsAreApplied) {
    open();
    // The first writes of the start-up are the nine simulator registers, cleared through the
    // hardware library with the identifiers the runtime gave for their names.
    const char* simulator[] = {"MWGenEnable",    "MWGenStart",  "MWGenWidth",
                               "MWGenLineWidth", "MWGenHeight", "MWGenActive",
                               "MWGenPassive",   "MWGenMask",   "MWGenRoll"};
    std::vector<VbWrite> hardwareWrites;
    for (size_t i = 0; i < vb_log_count(); ++i) {
        VbWrite w{};
        ASSERT_EQ(vb_log_entry(i, &w), 0);
        if (w.source == VB_SOURCE_HARDWARE) hardwareWrites.push_back(w);
    }
    ASSERT_GE(hardwareWrites.size(), 9u);
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_STREQ(hardwareWrites[i].name, simulator[i]);
        EXPECT_EQ(hardwareWrites[i].registerId, vb_register_id(simulator[i]));
        EXPECT_EQ(hardwareWrites[i].value, 0u);
    }
}

TEST_F(Startup, AFailingRegisterWriteDuringStartupStillGivesAStartedApplet) {
    vb_fail_write("MWGenEnable", 1, -5);
    open();
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
}

TEST_F(Startup, HundredOpenCloseCyclesReleaseEverything) {
    lib_ = &Library::applet();
    for (int i = 0; i < 100; ++i) {
        int32_t error = 1;
        fg_.applet = x().Std_entry(board_, &error, 0);
        ASSERT_NE(fg_.applet, nullptr) << i;
        ASSERT_EQ(x().Fg_FreeGrabber(&fg_), 0);
    }
    EXPECT_EQ(vb_open_host_handles(), 0);
    EXPECT_EQ(vb_loaded_images(), 0);
}

TEST_F(Startup, InfoAnswersTheBoardOfTheAppletCreatedLast) {
    open();
    VbBoard* second = vb_board_open(1);
    int32_t error = 1;
    FgRecord other;
    other.applet = x().Std_entry(second, &error, 0);
    ASSERT_NE(other.applet, nullptr);
    void* board = nullptr;
    void* image = nullptr;
    EXPECT_EQ(x().Info(0x1030, 0, 0, &board, nullptr), 0);
    EXPECT_EQ(board, second);
    EXPECT_EQ(x().Info(0x1040, 0, 0, &image, nullptr), 0);
    EXPECT_NE(image, nullptr);
    EXPECT_EQ(x().Fg_FreeGrabber(&other), 0);
}

TEST(Info, AnswersItsQueriesWithoutAnAppletObject) {
    const pvtest::Exports& x = *Library::applet();
    const void* data = nullptr;
    EXPECT_EQ(x.Info(0x1050, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(x.Info(0x1050, 0, 0, nullptr, &data), 0);
    EXPECT_STREQ(static_cast<const char*>(data), "Pellvane");
    EXPECT_EQ(x.Info(0x880, 0, 0, nullptr, nullptr), 2626);
    EXPECT_EQ(x.Info(0x800, 0, 0, nullptr, nullptr), 0x20004);

    EXPECT_EQ(x.Info(0x1100, 0, 0, const_cast<char*>("FG_GRAY16"), nullptr), 1);
    EXPECT_EQ(x.Info(0x1100, 0, 0, const_cast<char*>("CC_NOT_STROBEPULSE"), nullptr), 8);
    EXPECT_EQ(x.Info(0x1100, 0, 0, const_cast<char*>("fg_gray16"), nullptr),
              PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x.Info(0x1100, 0, 0, nullptr, nullptr), PV_ERR_INVALID_PARAMETER);

    EXPECT_EQ(x.Info(0x1210, 0, 0, nullptr, nullptr), 1);
    EXPECT_EQ(x.Info(0x1210, 1, 0, nullptr, nullptr), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x.Info(0x1230, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(x.Info(0x1230, 0, 1, nullptr, nullptr), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x.Info(0x1260, 0, 0, nullptr, nullptr), 9);
    EXPECT_EQ(x.Info(0x1260, 1, 0, nullptr, nullptr), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x.Info(4097, 0, 0, nullptr, nullptr), -2130);

    int32_t value32 = 77;
    EXPECT_EQ(x.Info(0x900, 0, 0, &value32, nullptr), 0);
    EXPECT_EQ(value32, 0);
}

TEST(Info, HandsOutTheEmbeddedImage) {
    const pvtest::Exports& x = *Library::applet();
    int64_t size = 0;
    const void* data = nullptr;
    ASSERT_EQ(x.Info(0x412, 0, 0, &size, &data), 0);
    ASSERT_EQ(size, 1994368);
    ASSERT_NE(data, nullptr);
    // Byte for byte the image the build generated.
    std::ifstream file("Pellvane.hap", std::ios::binary);
    ASSERT_TRUE(file.good());
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(bytes.size(), 1994368u);
    EXPECT_EQ(std::memcmp(bytes.data(), data, bytes.size()), 0);
}
