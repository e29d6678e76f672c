// End to end on the virtual board: an application opens the applet through the host library,
// sets parameters and acquires pictures; the pictures must hold exactly what the register
// values the applet wrote mean. The model's clock is manual, so every run is exact and instant.
//
// The virtual camera's scene: the 12-bit value at sensor position (x, y) in camera frame f is
// (x + 2y + 4f) mod 4096, reduced to the camera's bit depth by dropping low bits.
#include "AcquisitionFixture.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using namespace acquisition;

uint32_t scene12(uint64_t x, uint64_t y, uint64_t frame) {
    return static_cast<uint32_t>((x + 2 * y + 4 * frame) & 0xFFF);
}

TEST_F(Acquisition, RegionOfInterestCropsTheSceneExactly) {
    setInt("FG_CAMERA_LINK_CAMTYPE", kCam12);
    setInt("FG_FORMAT", kGray16);
    setInt("FG_BITALIGNMENT", kRight);
    setInt("FG_WIDTH", 48);
    setInt("FG_HEIGHT", 6);
    setInt("FG_XOFFSET", 4088); // the ramp wraps inside the region
    setInt("FG_YOFFSET", 3);
    runGenerator(2);
    for (int64_t n = 1; n <= 2; ++n) {
        std::vector<uint16_t> p = picture<uint16_t>(n);
        ASSERT_EQ(p.size(), 48u * 6u);
        for (uint32_t y = 0; y < 6; ++y) {
            for (uint32_t x = 0; x < 48; ++x) {
                ASSERT_EQ(p[y * 48 + x], scene12(4088 + x, 3 + y, n - 1))
                    << "picture " << n << " at " << x << "," << y;
            }
        }
    }
    uint64_t length = 0;
    EXPECT_EQ(
        Fg_getParameterWithType(fg_, id("FG_TRANSFER_LEN"), &length, 0, FG_PARAM_TYPE_UINT64_T), 0);
    EXPECT_EQ(length, 48u * 6u * 2u);
}

TEST_F(Acquisition, OutputFormatsHoldTheRightBits) {
    struct Case {
        int32_t camera, format, alignment;
        uint32_t (*expected)(uint32_t v12);
    };
    const Case cases[] = {
        {kCam12, kGray16, kLeft, [](uint32_t v) { return v << 4; }},
        {kCam12, kGray16, kRight, [](uint32_t v) { return v; }},
        {kCam12, kGray8, kRight, [](uint32_t v) { return v >> 4; }},
        // An 8-bit camera delivers the top 8 bits; the table sees them left-aligned in 12.
        {kCam8, kGray16, kRight, [](uint32_t v) { return v >> 4 << 4; }},
        {kCam10, kGray16, kLeft, [](uint32_t v) { return (v >> 2 << 2) << 4; }},
        {kCam8, kGray8, kLeft, [](uint32_t v) { return v >> 4; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.camera << "/" << c.format << "/" << c.alignment);
        setInt("FG_CAMERA_LINK_CAMTYPE", c.camera);
        setInt("FG_FORMAT", c.format);
        setInt("FG_BITALIGNMENT", c.alignment);
        setInt("FG_XOFFSET", 1000);
        runGenerator(1);
        std::vector<uint32_t> got;
        if (c.format == kGray16) {
            for (uint16_t v : picture<uint16_t>(1))
                got.push_back(v);
        } else {
            for (uint8_t v : picture<uint8_t>(1))
                got.push_back(v);
        }
        ASSERT_EQ(got.size(), 64u * 8u);
        for (uint32_t y = 0; y < 8; ++y) {
            for (uint32_t x = 0; x < 64; ++x)
                ASSERT_EQ(got[y * 64 + x], c.expected(scene12(1000 + x, y, 0))) << x << "," << y;
        }
        ASSERT_EQ(Fg_stopAcquireEx(fg_, 0, mem_, 0), 0);
        ASSERT_EQ(Fg_FreeMemEx(fg_, mem_), 0);
        mem_ = nullptr;
        setInt("FG_TRIGGERSTATE", kSyncStop);
        // Each case starts from camera frame 0 again.
        ASSERT_EQ(Fg_FreeGrabber(fg_), 0);
        vb_reset();
        vb_clock_manual(1);
        fg_ = Fg_Init("Pellvane", 0);
        ASSERT_NE(fg_, nullptr);
        setInt("FG_WIDTH", 64);
        setInt("FG_HEIGHT", 8);
    }
}

TEST_F(Acquisition, InvertAndGammaTablesMapEveryPixel) {
    setInt("FG_CAMERA_LINK_CAMTYPE", kCam12);
    setInt("FG_FORMAT", kGray16);
    setInt("FG_BITALIGNMENT", kRight);
    setInt("FG_PROCESSING_INVERT", 1);
    runGenerator(2);
    std::vector<uint16_t> inverted = picture<uint16_t>(1);
    ASSERT_EQ(inverted.size(), 64u * 8u);
    for (uint32_t i = 0; i < inverted.size(); ++i)
        ASSERT_EQ(inverted[i], 4095 - scene12(i % 64, i / 64, 0)) << i;

    // A gamma table changes the next pictures; each pixel is the table's entry for its value.
    setInt("FG_PROCESSING_INVERT", 0);
    setDouble("FG_PROCESSING_GAMMA", 2.0);
    std::vector<uint32_t> table(4096);
    for (uint32_t i = 0; i < 4096; ++i)
        table[i] = lutEntry(i);
    EXPECT_EQ(table[1024], static_cast<uint32_t>(std::sqrt(1024.0 / 4095.0) * 4095.0 + 0.5));
    std::vector<uint16_t> gamma = picture<uint16_t>(2);
    for (uint32_t i = 0; i < gamma.size(); ++i)
        ASSERT_EQ(gamma[i], table[scene12(i % 64, i / 64, 1)]) << i;
}

TEST_F(Acquisition, ImageSelectorKeepsOneFrameOfEachPeriod) {
    setInt("FG_CAMERA_LINK_CAMTYPE", kCam12);
    setInt("FG_FORMAT", kGray16);
    setInt("FG_BITALIGNMENT", kRight);
    setInt("FG_IMG_SELECT_PERIOD", 3);
    setInt("FG_IMG_SELECT", 1);
    runGenerator(3);
    for (int64_t n = 1; n <= 3; ++n) {
        // Camera frames 1, 4 and 7 pass.
        EXPECT_EQ(picture<uint16_t>(n).at(0), scene12(0, 0, 1 + 3 * (n - 1))) << n;
    }
    EXPECT_EQ(vb_event_count(vb_board_open(0),
                             "Device1_Process1_Trigger_Monitoring_FVALEvents_Cam0_FrameEnd"),
              8); // frames 0 to 7
}

TEST_F(Acquisition, SoftwareTriggerBurstYieldsOneFramePerPulse) {
    setInt("FG_AREATRIGGERMODE", kSoftware);
    setInt("FG_TRIGGERQUEUE_MODE", 1);
    setDouble("FG_TRIGGER_FRAMESPERSECOND", 200.0);
    setInt("FG_TRIGGERSTATE", kActive);
    start(GRAB_INFINITE);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 2, mem_), -2120); // no pulse yet
    const uint64_t sent = vb_clock_now();
    setInt("FG_SENDSOFTWARETRIGGER", 7);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 7, 0, 2, mem_), 7);
    // The queue paced them 5 ms apart; the last frame took the camera's 1 ms.
    EXPECT_EQ(vb_clock_now() - sent, 31'000'000u);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 8, 0, 2, mem_), -2120);
    EXPECT_EQ(Fg_getStatusEx(fg_, NUMBER_OF_GRABBED_IMAGES, 0, 0, mem_), 7);
    EXPECT_EQ(getInt("FG_SOFTWARETRIGGER_IS_BUSY"), 0);
}

TEST_F(Acquisition, StoppedTriggerSystemYieldsNoPictures) {
    setInt("FG_TRIGGERSTATE", kSyncStop);
    start(GRAB_INFINITE);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 3, mem_), -2120);
    EXPECT_EQ(Fg_getLastPicNumberEx(fg_, 0, mem_), 0);
    EXPECT_EQ(Fg_getImagePtrEx(fg_, 1, 0, mem_), nullptr);
    // Software mode without pulses stays silent as well.
    setInt("FG_AREATRIGGERMODE", kSoftware);
    setInt("FG_TRIGGERSTATE", kActive);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 3, mem_), -2120);
    EXPECT_EQ(Fg_getStatusEx(fg_, NUMBER_OF_GRABBED_IMAGES, 0, 0, mem_), 0);
}

TEST_F(Acquisition, CameraSimulatorPatternReplacesTheCamera) {
    setInt("FG_CAMERA_LINK_CAMTYPE", kCam8);
    setInt("FG_FORMAT", kGray8);
    setInt("FG_GEN_ENABLE", 1);
    setInt("FG_GEN_WIDTH", 40); // narrower than the picture: the rest is dark
    setInt("FG_GEN_HEIGHT", 6);
    setInt("FG_GEN_ROLL", 3);
    setInt("FG_GEN_TAP2", 0);
    setInt("FG_XOFFSET", 8);
    runGenerator(2, 50.0);
    for (int64_t n = 1; n <= 2; ++n) {
        std::vector<uint8_t> p = picture<uint8_t>(n);
        ASSERT_EQ(p.size(), 64u * 8u);
        for (uint32_t y = 0; y < 8; ++y) {
            for (uint32_t x = 0; x < 64; ++x) {
                const uint32_t xx = 8 + x;
                uint32_t expected = (xx + y + 3 * (n - 1)) & 0xFF;
                if (xx >= 40 || y >= 6 || xx % 4 == 1) expected = 0;
                ASSERT_EQ(p[y * 64 + x], expected) << n << ": " << x << "," << y;
            }
        }
    }
}

TEST_F(Acquisition, BufferFillsAndOverflowsWithoutAnAcquisition) {
    VbBoard* board = vb_board_open(0);
    setInt("FG_WIDTH", 4096);
    setInt("FG_HEIGHT", 4096); // 16 MiB per picture: 8 fill one bank
    runGenerator(1, 100.0);
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 1, mem_), 1);
    // The acquisition is over; the following frames wait in the board's two banks.
    EXPECT_EQ(vb_clock_advance(50'000'000), 0); // 5 frames
    EXPECT_GT(getInt("FG_FILLLEVEL"), 0);
    EXPECT_LT(getInt("FG_FILLLEVEL"), 100);
    EXPECT_EQ(getInt("FG_OVERFLOW"), 0);
    EXPECT_EQ(vb_clock_advance(200'000'000), 0); // 20 more: beyond the 16 the banks hold
    EXPECT_EQ(getInt("FG_OVERFLOW"), 1);
    EXPECT_EQ(getInt("FG_FILLLEVEL"), 100);
    EXPECT_EQ(vb_event_count(board, "Device1_Process0_Overflow_Overflow"), 1);
    // A new acquisition starts from an empty buffer.
    ASSERT_EQ(Fg_AcquireEx(fg_, 0, 1, ACQ_STANDARD, mem_), 0);
    EXPECT_EQ(getInt("FG_OVERFLOW"), 0);
    EXPECT_EQ(getInt("FG_FILLLEVEL"), 0);
}

TEST_F(Acquisition, ApplicationInterfaceRefusesWhatItCannotDo) {
    EXPECT_EQ(Fg_Init("NoSuchApplet", 0), nullptr);
    EXPECT_EQ(Fg_getLastErrorNumber(nullptr), FG_ERR_APPLET_NOT_FOUND);
    EXPECT_STRNE(Fg_getErrorDescription(nullptr, FG_ERR_APPLET_NOT_FOUND), "unknown error");
    EXPECT_EQ(Fg_AllocMemEx(fg_, 100, 0), nullptr);
    EXPECT_EQ(Fg_getLastErrorNumber(fg_), FG_ERR_NO_MEMORY);
    EXPECT_EQ(Fg_AllocMemEx(fg_, 3, 4), nullptr); // less than a byte per buffer

    runGenerator(GRAB_INFINITE);
    EXPECT_EQ(Fg_FreeMemEx(fg_, mem_), FG_ERR_MEMORY_IN_USE);
    EXPECT_EQ(Fg_AcquireEx(fg_, 0, 1, ACQ_STANDARD, mem_), -2090); // already running
    dma_mem* other = Fg_AllocMemEx(fg_, 1024, 2);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Fg_getImagePtrEx(fg_, 0, 0, mem_), nullptr);
    EXPECT_EQ(Fg_stopAcquireEx(fg_, 0, mem_, 0), 0);
    EXPECT_EQ(Fg_FreeMemEx(fg_, other), 0);
    EXPECT_EQ(Fg_FreeMemEx(fg_, other), FG_ERR_INVALID_MEMORY);
    // A pointer that is no record at all.
    int notABoard = 0;
    EXPECT_EQ(Fg_AcquireEx(reinterpret_cast<Fg_Struct*>(&notABoard), 0, 1, 1, nullptr), -2001);
}

TEST_F(Acquisition, ParametersByNaturalTypeAndInformationTree) {
    double fps = 25.0;
    EXPECT_EQ(Fg_setParameter(fg_, id("FG_TRIGGER_FRAMESPERSECOND"), &fps, 0), 0);
    double back = 0;
    EXPECT_EQ(Fg_getParameter(fg_, id("FG_TRIGGER_FRAMESPERSECOND"), &back, 0), 0);
    EXPECT_DOUBLE_EQ(back, 25.0);
    int32_t width = 8; // not a multiple of 8 above the minimum: refused, kept
    EXPECT_EQ(Fg_setParameter(fg_, id("FG_WIDTH"), &width, 0), -6000);
    EXPECT_EQ(Fg_getLastErrorNumber(fg_), -6000);
    EXPECT_EQ(getInt("FG_WIDTH"), 64);
    EXPECT_EQ(Fg_getLastErrorNumber(fg_), 0);
    EXPECT_NE(Fg_getParameterInfo(fg_, 0), nullptr);
    size_t size = 0;
    EXPECT_EQ(Fg_getParameterInfoXML(fg_, 0, nullptr, &size), 0);
    EXPECT_GT(size, 1000u);
}

// How the trigger system paces the camera, timed on the manual clock.
TEST_F(Acquisition, TriggerSystemPacesTheCamera) {
    VbBoard* board = vb_board_open(0);
    // A pulse-form downscale of 2 passes every other generator pulse: 100 Hz becomes 50 Hz.
    setInt("FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE", 2);
    runGenerator(GRAB_INFINITE, 100.0);
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 1, mem_), 1);
    uint64_t first = vb_clock_now();
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 3, 0, 1, mem_), 3);
    EXPECT_EQ(vb_clock_now() - first, 40'000'000u);

    // A camera that needs 15 ms per frame misses every other 10 ms trigger.
    setInt("FG_TRIGGER_PULSEFORMGEN0_DOWNSCALE", 1);
    ASSERT_EQ(vb_camera_configure(board, 50.0, 15000.0), 0);
    EXPECT_EQ(getInt("FG_MISSING_CAMERA_FRAME_RESPONSE"), 0);
    first = vb_clock_now();
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 5, 0, 1, mem_), 5);
    EXPECT_GE(vb_clock_now() - first, 35'000'000u);
    EXPECT_EQ(getInt("FG_MISSING_CAMERA_FRAME_RESPONSE"), 1);
    const char* missed = "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0MissingFrame";
    EXPECT_GE(vb_event_count(board, missed), 1);
    setInt("FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR", 1);
    EXPECT_EQ(getInt("FG_MISSING_CAMERA_FRAME_RESPONSE"), 0);

    // On a constant CC1 level the camera free-runs at its own 50 Hz, trigger or not.
    setInt("FG_TRIGGERSTATE", kSyncStop);
    setInt("FG_TRIGGERCC_SELECT0", 4); // CC_GND
    const int64_t before = Fg_getLastPicNumberEx(fg_, 0, mem_);
    first = vb_clock_now();
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, before + 2, 0, 1, mem_), before + 2);
    EXPECT_EQ(vb_clock_now() - first, 2 * 20'000'000u + 15'000'000u);
}

TEST_F(Acquisition, SoftwarePulsesAreMultipliedOrRefusedWhileBusy) {
    setInt("FG_AREATRIGGERMODE", kSoftware);
    setDouble("FG_TRIGGER_FRAMESPERSECOND", 200.0);
    setInt("FG_TRIGGER_MULTIPLY_PULSES", 3);
    setInt("FG_TRIGGERSTATE", kActive);
    start(GRAB_INFINITE);
    // Queue off: one pulse, multiplied into three frames; while they run the system is busy.
    setInt("FG_SENDSOFTWARETRIGGER", 1);
    EXPECT_EQ(getInt("FG_SOFTWARETRIGGER_IS_BUSY"), 1);
    int32_t one = 1;
    EXPECT_EQ(
        Fg_setParameterWithType(fg_, id("FG_SENDSOFTWARETRIGGER"), &one, 0, FG_PARAM_TYPE_INT32_T),
        -60);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 3, 0, 1, mem_), 3);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 4, 0, 1, mem_), -2120);
    EXPECT_EQ(getInt("FG_SOFTWARETRIGGER_IS_BUSY"), 0);
}

// On the real clock, a software trigger from another thread ends a wait in progress.
TEST_F(Acquisition, WaitOnTheRealClockEndsWhenAnotherThreadTriggers) {
    vb_clock_manual(0);
    setInt("FG_AREATRIGGERMODE", kSoftware);
    setInt("FG_TRIGGERSTATE", kActive);
    start(1);
    std::atomic<bool> sent{false};
    std::thread trigger([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        int32_t one = 1;
        sent = Fg_setParameterWithType(fg_, id("FG_SENDSOFTWARETRIGGER"), &one, 0,
                                       FG_PARAM_TYPE_INT32_T) == 0;
    });
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 10, mem_), 1);
    trigger.join();
    EXPECT_TRUE(sent);
    EXPECT_EQ(Fg_getStatusEx(fg_, GRAB_ACTIVE, 0, 0, mem_), 0); // one picture asked, one came
}

// Stopping the acquisition ends a wait in progress at once, so a board can then be closed.
TEST_F(Acquisition, StoppingTheAcquisitionEndsAWaitInProgress) {
    vb_clock_manual(0);
    setInt("FG_TRIGGERSTATE", kSyncStop);
    start(GRAB_INFINITE);
    std::atomic<int64_t> result{0};
    std::thread waiter([&] { result = Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 30, mem_); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(Fg_stopAcquireEx(fg_, 0, mem_, 0), 0);
    waiter.join();
    EXPECT_EQ(result, FG_ERR_NOT_ACQUIRING);
}

} // namespace
