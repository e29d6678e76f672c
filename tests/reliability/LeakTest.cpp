// A thousand open/close cycles, with the debug switches on and pass-through parameters named
// by an inspection file. Everything the cycles take is given back: host handles and images
// to the virtual board, and (under LeakSanitizer, the asan build) every byte to the heap.
#include "Snapshot.h"

#include <pellvane/parameters.h>

#include <gtest/gtest.h>

#include <fstream>

#if defined(__SANITIZE_ADDRESS__)
#define PELLVANE_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELLVANE_LSAN 1
#endif
#endif
#ifdef PELLVANE_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace {

constexpr int kCycles = 1000;
constexpr int32_t kPassThroughTimeout = PV_PASS_THROUGH_BASE + FG_TIMEOUT; // the host's

// Bytes the heap has lost since the process started; 0 where no leak checker is built in.
int leakedAllocations() {
#ifdef PELLVANE_LSAN
    return __lsan_do_recoverable_leak_check();
#else
    return 0;
#endif
}

} // namespace

TEST(Leaks, ThousandOpenCloseCyclesWithSwitchesAndPassThroughReleaseEverything) {
    // A copy of the applet with an inspection file that names two host parameters.
    pvtest::TempDir dir;
    std::filesystem::copy_file(pvtest::Library::applet().file(), dir.path() / "Pellvane.so");
    std::ofstream(dir.path() / "inspect.conf") << "[Pellvane]\nFG_TIMEOUT = On\n"
                                                  "FG_APC_STOP_TIMEOUT = yes\n";
    pvtest::Library copy = pvtest::Library::at(dir.path() / "Pellvane.so");
    pvtest::ScopedEnv dra("TARN_ENABLE_DRA", "1");
    pvtest::ScopedEnv dxea("TARN_ENABLE_DXEA", "1");

    vb_reset();
    int32_t baseCount = 0;
    for (int i = 0; i < kCycles; ++i) {
        pvrel::AppletOnBoard applet(*copy, vb_board_open(0));
        ASSERT_TRUE(applet.opened()) << "cycle " << i << ": " << applet.entryError();
        // Some work that allocates: a pass-through get, a register set, the XML description.
        const int32_t count = copy->Fg_getNrOfParameter(applet.fg());
        if (i == 0) baseCount = count;
        ASSERT_EQ(count, baseCount);
        int32_t timeout = 0;
        ASSERT_EQ(applet.getInt(kPassThroughTimeout, timeout), 0);
        EXPECT_EQ(timeout, 1000000);
        if (i % 50 == 0) {
            size_t size = 0;
            ASSERT_EQ(copy->Fg_getParameterInfoXML(applet.fg(), 0, nullptr, &size), 0);
        }
        vb_log_clear();
    }
    EXPECT_GT(baseCount, 130 + 100); // the registers and the pass-through parameters are there
    EXPECT_EQ(vb_open_host_handles(), 0);
    EXPECT_EQ(vb_loaded_images(), 0);
    EXPECT_EQ(leakedAllocations(), 0);
    std::cout << "[ leaks    ] " << kCycles << " cycles, "
#ifdef PELLVANE_LSAN
              << "LeakSanitizer: " << leakedAllocations() << " leaks\n";
#else
              << "no leak checker in this build\n";
#endif
}
