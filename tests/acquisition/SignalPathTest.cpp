// The whole signal path end to end: a signal generator drives the board's trigger inputs, the
// applet sets up the input stage and the trigger modes, and the pictures, statistics and events
// must follow exactly from the signal and the registers. On the manual clock every run is exact.
#include "AcquisitionFixture.h"

#include <cmath>
#include <limits>
#include <vector>

namespace {

using namespace acquisition;

constexpr const char* kMissingFrame =
    "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0MissingFrame";
constexpr const char* kOverride =
    "Device1_Process1_Trigger_Monitoring_MonitoringEvents_Cam0Override";
constexpr const char* kOverflow = "Device1_Process0_Overflow_Overflow";
constexpr const char* kFrameLost = "Device1_Process0_Dma_FrameLost";
constexpr const char* kPin2Rising =
    "Device1_Process1_Trigger_TriggerInput_InputEvents_InputEvents_Pin2";
constexpr const char* kPin2Falling =
    "Device1_Process1_Trigger_TriggerInput_InputEvents_InputEvents_NotPin2";
constexpr int32_t kLowActive = 1;
// The applet's default debounce time, 1.0 µs, is 21 units of 48 ns.
constexpr uint64_t kDefaultDebounceNs = 21 * 48;
constexpr uint64_t kMs = 1'000'000;

class SignalPath : public Acquisition {
protected:
    VbSignal pulses(double hz, double widthUs, uint64_t count) {
        VbSignal s;
        vb_signal_pulses(&s, hz, widthUs, count);
        return s;
    }
    void drive(uint32_t input, const VbSignal& s) {
        ASSERT_EQ(vb_signal_set(board(), input, &s), 0) << vb_signal_error(&s);
    }
    // External trigger mode at `maxFps` (the fastest the trigger system passes input pulses).
    // The camera's trigger pulse is made short, so that the pulse-form timing allows fast rates.
    void external(double maxFps) {
        setDouble("FG_TRIGGER_PULSEFORMGEN0_WIDTH", 1.0);
        setDouble("FG_TRIGGER_FRAMESPERSECOND", maxFps);
        setInt("FG_AREATRIGGERMODE", kExternal);
        setInt("FG_TRIGGERSTATE", kActive);
    }
    int64_t grabbed() { return Fg_getStatusEx(fg_, NUMBER_OF_GRABBED_IMAGES, 0, 0, mem_); }
    VbBoard* board() { return vb_board_open(0); }
    int64_t events(const char* name) { return vb_event_count(board(), name); }
};

TEST_F(SignalPath, ExternalTriggerDeliversOnePicturePerPulseOfTheSelectedInput) {
    start(GRAB_INFINITE);
    external(100.0);
    // A pulse train on an input that is not selected triggers nothing.
    drive(3, pulses(50.0, 100.0, 10));
    ASSERT_EQ(vb_clock_advance(300 * kMs), 0);
    EXPECT_EQ(grabbed(), 0);

    setInt("FG_TRIGGERIN_SRC", 3);
    const uint64_t t0 = vb_clock_now();
    drive(3, pulses(50.0, 100.0, 10));
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 10, 0, 5, mem_), 10);
    // Pulse n starts at t0 + 20 ms × (n − 1); the debounce passes it 1.008 µs later and the
    // camera's frame takes 1 ms.
    EXPECT_EQ(vb_clock_now() - t0, 9 * 20 * kMs + kDefaultDebounceNs + 1 * kMs);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 11, 0, 1, mem_), -2120); // the train is over
    EXPECT_EQ(grabbed(), 10);
    EXPECT_EQ(getInt("FG_TRIGGER_EXCEEDED_PERIOD_LIMITS"), 0);
    EXPECT_EQ(getInt("FG_MISSING_CAMERA_FRAME_RESPONSE"), 0);

    // A synchronous stop blocks the input; the pulses that come meanwhile are gone.
    setInt("FG_TRIGGERSTATE", kSyncStop);
    drive(3, pulses(50.0, 100.0, 0));
    ASSERT_EQ(vb_clock_advance(200 * kMs), 0);
    EXPECT_EQ(grabbed(), 10);
    setInt("FG_TRIGGERSTATE", kActive);
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 12, 0, 1, mem_), 12);
}

TEST_F(SignalPath, DebounceTurnsABouncingContactIntoOnePicturePerPulse) {
    // The contact bounces three times after each edge, each glitch 1 µs to 2.5 µs long and
    // at least 1 µs from the next: a fast camera behind the queue sees every edge that passes.
    ASSERT_EQ(vb_camera_configure(board(), 50.0, 1.0), 0);
    VbSignal bouncing = pulses(50.0, 1000.0, 5);
    bouncing.bounceUs = 15.0;
    bouncing.glitches = 3;
    start(GRAB_INFINITE);
    external(200'000.0);
    setInt("FG_TRIGGERQUEUE_MODE", 1);

    // Shortest debounce: every glitch passes, so each pulse has 1 + 3 rising edges at its start
    // and 3 more in the bounce after its end.
    setDouble("FG_TRIGGERIN_DEBOUNCE", 0.096);
    drive(0, bouncing);
    ASSERT_EQ(vb_clock_advance(200 * kMs), 0);
    EXPECT_EQ(grabbed(), 5 * 7);
    EXPECT_EQ(getInt("FG_TRIGGERIN_STATS_PULSECOUNT"), 5 * 7);

    // Longest debounce: glitches shorter than 3.024 µs vanish, one picture per pulse.
    setDouble("FG_TRIGGERIN_DEBOUNCE", 3.024);
    setInt("FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR", 1);
    drive(0, bouncing);
    ASSERT_EQ(vb_clock_advance(200 * kMs), 0);
    EXPECT_EQ(grabbed(), 5 * 7 + 5);
    EXPECT_EQ(getInt("FG_TRIGGERIN_STATS_PULSECOUNT"), 5);
    EXPECT_EQ(getInt("FG_MISSING_CAMERA_FRAME_RESPONSE"), 0);
}

// The legacy interface's asynchronous trigger is the external mode without a period limit.
TEST_F(SignalPath, LegacyAsynchronousTriggerTakesEveryInputPulse) {
    setInt("FG_TRIGGER_LEGACY_MODE", 1);
    setInt("FG_EXSYNCON", 1);
    setInt("FG_TRIGGERMODE", 2); // ASYNC_TRIGGER
    start(GRAB_INFINITE);
    drive(0, pulses(200.0, 100.0, 20));
    ASSERT_EQ(vb_clock_advance(200 * kMs), 0);
    EXPECT_EQ(grabbed(), 20);
    EXPECT_EQ(events(kOverride), 0);
}

TEST_F(SignalPath, LowActivePolarityTriggersOnTheFallingEdge) {
    start(GRAB_INFINITE);
    external(10.0);
    uint64_t t0 = vb_clock_now();
    drive(0, pulses(5.0, 30'000.0, 2)); // 30 ms pulses
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 1, mem_), 1);
    EXPECT_EQ(vb_clock_now() - t0, kDefaultDebounceNs + 1 * kMs);

    setInt("FG_TRIGGERIN_POLARITY", kLowActive);
    ASSERT_EQ(vb_clock_advance(500 * kMs), 0); // the first train is over
    const int64_t before = grabbed();
    t0 = vb_clock_now();
    drive(0, pulses(5.0, 30'000.0, 2));
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, before + 1, 0, 1, mem_), before + 1);
    EXPECT_EQ(vb_clock_now() - t0, 30 * kMs + kDefaultDebounceNs + 1 * kMs);
}

TEST_F(SignalPath, InputDownscaleAndPhasePickOnePulseOfEach) {
    setInt("FG_TRIGGERIN_DOWNSCALE", 3);
    setInt("FG_TRIGGERIN_DOWNSCALE_PHASE", 2);
    start(GRAB_INFINITE);
    external(100.0);
    const uint64_t t0 = vb_clock_now();
    drive(0, pulses(50.0, 100.0, 9));
    // Pulses 3, 6 and 9 (phase 2 of every 3) pass.
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 1, mem_), 1);
    EXPECT_EQ(vb_clock_now() - t0, 2 * 20 * kMs + kDefaultDebounceNs + 1 * kMs);
    ASSERT_EQ(vb_clock_advance(500 * kMs), 0);
    EXPECT_EQ(grabbed(), 3);
    EXPECT_EQ(getInt("FG_TRIGGERIN_STATS_PULSECOUNT"), 9);
}

TEST_F(SignalPath, InputStatisticsMeasureTheSignal) {
    // The statistics watch the selected input in any trigger mode.
    setInt("FG_TRIGGERIN_SRC", 1);
    EXPECT_TRUE(std::isinf(getDouble("FG_TRIGGERIN_STATS_FREQUENCY"))); // nothing measured yet
    drive(1, pulses(333.0, 100.0, 40));
    ASSERT_EQ(vb_clock_advance(1000 * kMs), 0);
    EXPECT_EQ(getInt("FG_TRIGGERIN_STATS_PULSECOUNT"), 40);
    // Periods are counted in 16 ns ticks: the frequency reads within one tick of 333 Hz.
    const double tick = 333.0 * 333.0 * 16e-9;
    EXPECT_NEAR(getDouble("FG_TRIGGERIN_STATS_FREQUENCY"), 333.0, tick);
    EXPECT_NEAR(getDouble("FG_TRIGGERIN_STATS_MINFREQUENCY"), 333.0, tick);
    EXPECT_NEAR(getDouble("FG_TRIGGERIN_STATS_MAXFREQUENCY"), 333.0, tick);

    // With jitter the periods spread: up to 200 µs longer or shorter than 10 ms.
    VbSignal jittery = pulses(100.0, 100.0, 200);
    jittery.jitterUs = 200.0;
    setInt("FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR", 1);
    EXPECT_EQ(getInt("FG_TRIGGERIN_STATS_PULSECOUNT"), 0);
    drive(1, jittery);
    // The first period measured spans the pause since the last train: cleared after it.
    ASSERT_EQ(vb_clock_advance(15 * kMs), 0);
    setInt("FG_TRIGGERIN_STATS_MINMAXFREQUENCY_CLEAR", 1);
    EXPECT_TRUE(std::isinf(getDouble("FG_TRIGGERIN_STATS_MINFREQUENCY")));
    EXPECT_TRUE(std::isinf(getDouble("FG_TRIGGERIN_STATS_MAXFREQUENCY")));
    ASSERT_EQ(vb_clock_advance(3000 * kMs), 0);
    EXPECT_EQ(getInt("FG_TRIGGERIN_STATS_PULSECOUNT"), 200);
    const double low = getDouble("FG_TRIGGERIN_STATS_MINFREQUENCY");
    const double high = getDouble("FG_TRIGGERIN_STATS_MAXFREQUENCY");
    EXPECT_LT(low, 99.5);
    EXPECT_GE(low, 1.0 / 10.2e-3);
    EXPECT_GT(high, 100.5);
    EXPECT_LE(high, 1.0 / 9.8e-3);

    // The input levels and events: a level set by hand on input 2.
    VbSignal high2;
    vb_signal_default(&high2);
    high2.level = 1;
    drive(2, high2);
    EXPECT_EQ(getInt("FG_DIGIO_INPUT") & 4, 0); // not yet through the debounce
    ASSERT_EQ(vb_clock_advance(kDefaultDebounceNs), 0);
    EXPECT_EQ(getInt("FG_DIGIO_INPUT"), 4);
    EXPECT_EQ(events(kPin2Rising), 1);
    EXPECT_EQ(events(kPin2Falling), 0);
    VbSignal later = pulses(50.0, 100.0, 0); // back to low now, pulses from 5 ms on
    later.delayUs = 5000.0;
    drive(2, later);
    ASSERT_EQ(vb_clock_advance(30 * kMs), 0); // pulses at 5 and 25 ms
    EXPECT_EQ(events(kPin2Rising), 3);
    EXPECT_EQ(events(kPin2Falling), 3);
    EXPECT_EQ(getInt("FG_DIGIO_INPUT"), 0);
}

TEST_F(SignalPath, TriggersFasterThanTheSystemCanFollowAreCountedAsMissed) {
    start(GRAB_INFINITE);
    // The camera needs 3 ms per frame; pulses come every 2 ms: every other one is missed.
    ASSERT_EQ(vb_camera_configure(board(), 50.0, 3000.0), 0);
    external(1000.0);
    drive(0, pulses(500.0, 100.0, 10));
    ASSERT_EQ(vb_clock_advance(100 * kMs), 0);
    EXPECT_EQ(grabbed(), 5);
    EXPECT_EQ(events(kMissingFrame), 5);
    EXPECT_EQ(getInt("FG_MISSING_CAMERA_FRAME_RESPONSE"), 1);
    setInt("FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR", 1);
    EXPECT_EQ(getInt("FG_MISSING_CAMERA_FRAME_RESPONSE"), 0);

    // Without the queue, pulses closer than the frame rate's period are refused at the input.
    ASSERT_EQ(vb_camera_configure(board(), 50.0, 1000.0), 0);
    setInt("FG_TRIGGERSTATE", kSyncStop);
    external(100.0);
    drive(0, pulses(200.0, 100.0, 10));
    ASSERT_EQ(vb_clock_advance(100 * kMs), 0);
    EXPECT_EQ(grabbed(), 10);
    EXPECT_EQ(events(kOverride), 5);
    EXPECT_EQ(getInt("FG_TRIGGER_EXCEEDED_PERIOD_LIMITS"), 1);
    EXPECT_EQ(events(kMissingFrame), 5);

    // With the queue on, they wait their turn instead.
    setInt("FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CLEAR", 1);
    setInt("FG_TRIGGERQUEUE_MODE", 1);
    drive(0, pulses(200.0, 100.0, 10));
    ASSERT_EQ(vb_clock_advance(200 * kMs), 0);
    EXPECT_EQ(grabbed(), 20);
    EXPECT_EQ(events(kOverride), 5);
    EXPECT_EQ(getInt("FG_TRIGGER_EXCEEDED_PERIOD_LIMITS"), 0);
}

TEST_F(SignalPath, OutputsAndCameraControlLinesShowTheirPulses) {
    // Defaults: CC1 and output 0 carry NOT_PULSEGEN0, output 1 NOT_PULSEGEN1, output 2 VCC.
    runGenerator(GRAB_INFINITE, 100.0);
    const uint64_t t0 = vb_clock_now();
    setDouble("FG_TRIGGER_PULSEFORMGEN0_WIDTH", 2000.0);
    setDouble("FG_TRIGGER_PULSEFORMGEN0_DELAY", 500.0);
    setInt("FG_TRIGGEROUT_SELECT3", 0); // PULSEGEN0, not inverted
    ASSERT_EQ(vb_clock_advance(35 * kMs), 0);

    VbLineState out0{}, out3{}, vcc{}, cc1{};
    ASSERT_EQ(vb_line_state(board(), VB_LINE_OUTPUT, 0, &out0), 0);
    ASSERT_EQ(vb_line_state(board(), VB_LINE_OUTPUT, 3, &out3), 0);
    ASSERT_EQ(vb_line_state(board(), VB_LINE_OUTPUT, 2, &vcc), 0);
    ASSERT_EQ(vb_line_state(board(), VB_LINE_CC, 0, &cc1), 0);
    EXPECT_EQ(vcc.level, 1);
    EXPECT_EQ(vcc.pulses, 0u);
    EXPECT_EQ(out0.idle, 1);
    EXPECT_EQ(out3.idle, 0);
    // Generator pulses at 0, 10, 20 and 30 ms; the new width and delay hold from the second.
    EXPECT_EQ(out0.pulses, 4u);
    EXPECT_EQ(cc1.pulses, 4u);
    EXPECT_EQ(out3.pulses, 3u);
    // 35 ms is outside every pulse; 30.5 … 32.5 ms is inside the last one.
    EXPECT_EQ(out0.level, 1);
    EXPECT_EQ(out3.level, 0);
    std::vector<VbLinePulse> history(8);
    ASSERT_EQ(vb_line_history(board(), VB_LINE_OUTPUT, 3, history.data(), history.size()), 3u);
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(history[n].start - t0, (10u * (n + 1) * kMs) + kMs / 2) << n;
        EXPECT_EQ(history[n].end - history[n].start, 2 * kMs) << n;
    }
    ASSERT_EQ(vb_clock_advance(5 * kMs + kMs / 2 + 1), 0); // just after the fifth one began
    ASSERT_EQ(vb_line_state(board(), VB_LINE_OUTPUT, 0, &out0), 0);
    EXPECT_EQ(out0.level, 0);
    EXPECT_EQ(vb_line_history(board(), VB_LINE_OUTPUT, 3, history.data(), 2), 2u);
    EXPECT_EQ(history[1].end, std::numeric_limits<uint64_t>::max()); // still under way

    // An asynchronous stop puts every line at its idle level at once.
    setInt("FG_TRIGGERSTATE", 1); // TS_ASYNC_STOP
    ASSERT_EQ(vb_line_state(board(), VB_LINE_OUTPUT, 0, &out0), 0);
    EXPECT_EQ(out0.level, 1);

    // The input bypass: output 5 follows input 4 through the debounce.
    setInt("FG_TRIGGERSTATE", kActive);
    setInt("FG_TRIGGERIN_BYPASS_SRC", 4);
    setInt("FG_TRIGGEROUT_SELECT5", 10); // INPUT_BYPASS
    const uint64_t t1 = vb_clock_now();
    drive(4, pulses(1000.0, 200.0, 3));
    ASSERT_EQ(vb_clock_advance(10 * kMs), 0);
    VbLineState bypass{};
    ASSERT_EQ(vb_line_state(board(), VB_LINE_OUTPUT, 5, &bypass), 0);
    EXPECT_EQ(bypass.pulses, 3u);
    ASSERT_EQ(vb_line_history(board(), VB_LINE_OUTPUT, 5, history.data(), history.size()), 3u);
    EXPECT_EQ(history[2].start - t1, 2 * kMs + kDefaultDebounceNs);
    EXPECT_EQ(history[2].end - history[2].start, 200'000u);
}

TEST_F(SignalPath, CameraOnTheBypassedInputTakesAFramePerInputPulse) {
    setInt("FG_TRIGGERCC_SELECT0", 10); // CC_INPUT_BYPASS
    start(GRAB_INFINITE);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 1, mem_), -2120); // input idle
    const uint64_t t0 = vb_clock_now();
    drive(0, pulses(100.0, 100.0, 4));
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 4, 0, 1, mem_), 4);
    EXPECT_EQ(vb_clock_now() - t0, 30 * kMs + kDefaultDebounceNs + kMs);
}

TEST_F(SignalPath, SlowDmaOverflowsTheBufferAndLosesPictures) {
    // 16 MiB pictures at 100 frames/s; the DMA moves one in 20 ms.
    setInt("FG_WIDTH", 4096);
    setInt("FG_HEIGHT", 4096);
    ASSERT_EQ(vb_dma_bandwidth(board(), 16.0 * 1024 * 1024 / 0.020), 0);
    runGenerator(GRAB_INFINITE, 100.0);
    const uint64_t t0 = vb_clock_now();
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 1, mem_), 1);
    EXPECT_EQ(vb_clock_now() - t0, 21 * kMs); // 1 ms in the camera, 20 ms through the DMA
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 2, 0, 1, mem_), 2);
    EXPECT_EQ(vb_clock_now() - t0, 41 * kMs);
    EXPECT_GT(getInt("FG_FILLLEVEL"), 0); // the pictures waiting fill the buffer
    EXPECT_EQ(getInt("FG_OVERFLOW"), 0);
    EXPECT_EQ(Fg_getStatusEx(fg_, NUMBER_OF_LOST_IMAGES, 0, 0, mem_), 0);

    // The buffer's 256 MiB hold 16 pictures; after a second half the frames are lost.
    ASSERT_EQ(vb_clock_advance(1000 * kMs), 0);
    const int64_t lost = Fg_getStatusEx(fg_, NUMBER_OF_LOST_IMAGES, 0, 0, mem_);
    const int64_t delivered = Fg_getLastPicNumberEx(fg_, 0, mem_);
    EXPECT_GT(lost, 30);
    EXPECT_EQ(events(kFrameLost), lost);
    // An overflow event for each run of lost pictures.
    EXPECT_GE(events(kOverflow), 1);
    EXPECT_LE(events(kOverflow), lost);
    EXPECT_EQ(getInt("FG_OVERFLOW"), 1);
    EXPECT_EQ(getInt("FG_FILLLEVEL"), 100);
    // The DMA never idles: a picture every 20 ms from 21 ms on, up to the present 1041 ms.
    EXPECT_EQ(delivered, (1041 - 21) / 20 + 1);
    // Every camera frame was delivered, is still in the buffer, or was reported lost.
    const int64_t frames = events("Device1_Process1_Trigger_Monitoring_FVALEvents_Cam0_FrameEnd");
    EXPECT_GE(frames - delivered - lost, 1);
    EXPECT_LE(frames - delivered - lost, 16);

    // Without the limit the same run loses nothing.
    ASSERT_EQ(vb_dma_bandwidth(board(), 0.0), 0);
    ASSERT_EQ(Fg_stopAcquireEx(fg_, 0, mem_, 0), 0);
    ASSERT_EQ(Fg_AcquireEx(fg_, 0, GRAB_INFINITE, ACQ_STANDARD, mem_), 0);
    ASSERT_EQ(vb_clock_advance(1000 * kMs), 0);
    EXPECT_EQ(Fg_getStatusEx(fg_, NUMBER_OF_LOST_IMAGES, 0, 0, mem_), 0);
    EXPECT_EQ(getInt("FG_OVERFLOW"), 0);
    EXPECT_GE(Fg_getLastPicNumberEx(fg_, 0, mem_), 99);
}

TEST_F(SignalPath, CameraLineRateSetsTheFrameTime) {
    // 8 lines below a y offset of 72: 80 lines at 8000 lines/s take 10 ms.
    setInt("FG_YOFFSET", 72);
    ASSERT_EQ(vb_camera_line_rate(board(), 8000.0), 0);
    runGenerator(GRAB_INFINITE, 50.0);
    const uint64_t t0 = vb_clock_now();
    ASSERT_EQ(Fg_getLastPicNumberBlockingEx(fg_, 1, 0, 1, mem_), 1);
    EXPECT_EQ(vb_clock_now() - t0, 10 * kMs);
    // At 200 frames/s such a camera takes every other trigger.
    setDouble("FG_TRIGGER_FRAMESPERSECOND", 200.0);
    ASSERT_EQ(vb_clock_advance(100 * kMs), 0);
    EXPECT_GT(events(kMissingFrame), 5);
}

} // namespace
