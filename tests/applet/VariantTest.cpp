// The applet against host libraries that lack functions, or against no host library at all.
// Each suite runs in its own process, with a library search path that holds the variant.
#include "Harness.h"

#include <pellvane/parameters.h>

using namespace pvtest;

namespace {

class HostVariant : public OpenBoard {};

} // namespace

TEST_F(HostVariant, NoHostLibraryMeansNoApplet) {
    lib_ = &Library::applet();
    // Nothing was ever started in this process.
    void* board = reinterpret_cast<void*>(1);
    EXPECT_EQ(x().Info(0x1030, 0, 0, &board, nullptr), 0);
    EXPECT_EQ(board, nullptr);

    int32_t error = 0;
    EXPECT_EQ(x().Std_entry(board_, &error, 0), nullptr);
    EXPECT_EQ(error, PV_ERR_HOST_LIBRARY_MISSING);
    EXPECT_EQ(vb_loaded_images(), 0);
}

TEST_F(HostVariant, NoInitHandleFunctionMeansNoApplet) {
    lib_ = &Library::applet();
    int32_t error = 0;
    EXPECT_EQ(x().Std_entry(board_, &error, 0), nullptr);
    EXPECT_EQ(error, PV_ERR_HOST_LIBRARY_MISSING);
    EXPECT_EQ(vb_loaded_images(), 0);
}

TEST_F(HostVariant, PlainInitHandleIsUsedWithoutTheSlaveAwareOne) {
    open();
    EXPECT_EQ(vb_last_init_call(nullptr), 2);
}

TEST_F(HostVariant, WithoutHostErrorNumbersFailuresReadAsDefaults) {
    lib_ = &Library::applet();
    vb_fail_init_handle(-777);
    int32_t error = 0;
    EXPECT_EQ(x().Std_entry(board_, &error, 0), nullptr);
    EXPECT_EQ(error, PV_ERR_NOT_LOADED);

    open();
    EXPECT_LT(x().Fg_AcquireEx(&fg_, 7, 1, 0, nullptr), 0);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_NOT_WRITABLE_OR_UNBOUND);
}

TEST_F(HostVariant, MissingForwardedFunctionsAnswerMinus12) {
    ScopedEnv dra("TARN_ENABLE_DRA", "yes");
    open();
    EXPECT_LT(x().Fg_AcquireEx(&fg_, 7, 1, 0, nullptr), 0);
    EXPECT_EQ(x().Fg_getLastPicNumberEx(&fg_, 0, nullptr), int64_t{PV_ERR_NOT_WRITABLE_OR_UNBOUND});
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_NOT_WRITABLE_OR_UNBOUND);
    EXPECT_EQ(x().Fg_AcquireEx(&fg_, 0, 1, 0, nullptr), 0);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
    EXPECT_EQ(x().Fg_getStatusEx(&fg_, 0, 0, 0, nullptr), int64_t{PV_ERR_NOT_WRITABLE_OR_UNBOUND});
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_NOT_WRITABLE_OR_UNBOUND);
    // The applet has its own nodes, but the host could not serve a tree.
    EXPECT_EQ(x().Fg_getParameterInfo(&fg_, 0), nullptr);
    // Without the host's Fg_FreeGrabber the applet still goes away.
    EXPECT_EQ(x().Fg_FreeGrabber(&fg_), 0);
    EXPECT_EQ(fg_.applet, nullptr);
    EXPECT_EQ(vb_loaded_images(), 0);
}
