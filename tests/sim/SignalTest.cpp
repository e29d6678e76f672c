// The control interface of the board's signals: the generators on the trigger inputs, the
// debounce behind them, the observable lines and the data-path limits, driven through the
// hardware access library's registers alone, on the manual clock.
#include "SimTestSupport.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace simtest;

constexpr uint64_t kUs = 1000, kMs = 1'000'000;
const std::string kTrigger = "Device1_Process1_Trigger_TriggerCam0_";
const std::string kInputEvents = "Device1_Process1_Trigger_TriggerInput_InputEvents_InputEvents_";

class SignalTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        vb_clock_manual(1);
    }
    void write(const std::string& name, uint64_t value) {
        ASSERT_EQ(tarn_hw_12(board_, vb_register_id(name.c_str()), value), 0) << name;
    }
    uint64_t read(const std::string& name) {
        uint64_t v = 0;
        EXPECT_EQ(tarn_hw_13(board_, vb_register_id(name.c_str()), &v), 0) << name;
        return v;
    }
    void debounceUnits(uint64_t units) {
        write("Device1_Process1_Trigger_TriggerInput_Debounce8_Prescale_Period", units);
    }
    // Output 0 carries the debounced level of `input`: its history shows every edge that
    // passed, with its time.
    void watch(uint32_t input) {
        write(kTrigger + "InputSelect_BypassSelect_Select", input);
        write(kTrigger + "TriggerOutput_Select0_Select_Select", 4);
    }
    std::vector<VbLinePulse> watched() {
        std::vector<VbLinePulse> h(64);
        h.resize(vb_line_history(board_, VB_LINE_OUTPUT, 0, h.data(), h.size()));
        return h;
    }
    VbSignal pulses(double hz, double widthUs, uint64_t count) {
        VbSignal s;
        vb_signal_pulses(&s, hz, widthUs, count);
        return s;
    }
    VbSignal level(int32_t l) {
        VbSignal s;
        vb_signal_default(&s);
        s.level = l;
        return s;
    }
    void drive(uint32_t input, const VbSignal& s) {
        ASSERT_EQ(vb_signal_set(board_, input, &s), 0) << vb_signal_error(&s);
    }
    VbInputState input(uint32_t n) {
        VbInputState st{};
        EXPECT_EQ(vb_input_state(board_, n, &st), 0);
        return st;
    }
};

TEST_F(SignalTest, BadSettingsAreRefusedWholeAndExplained) {
    VbSignal s;
    vb_signal_default(&s);
    EXPECT_EQ(s.mode, VB_SIGNAL_LEVEL);
    EXPECT_EQ(s.level, 0);
    EXPECT_EQ(s.frequencyHz, 50.0);
    EXPECT_EQ(s.glitches, 3u);
    EXPECT_EQ(vb_signal_error(&s), nullptr);

    const VbSignal good = pulses(1000.0, 100.0, 0);
    drive(2, good);
    struct Bad {
        const char* what;
        void (*spoil)(VbSignal&);
    };
    const Bad bad[] = {
        {"mode", [](VbSignal& v) { v.mode = 7; }},
        {"level", [](VbSignal& v) { v.level = 2; }},
        {"zero frequency", [](VbSignal& v) { v.frequencyHz = 0; }},
        {"NaN frequency", [](VbSignal& v) { v.frequencyHz = std::nan(""); }},
        {"frequency above 10 MHz", [](VbSignal& v) { v.frequencyHz = 2e7; }},
        {"negative width", [](VbSignal& v) { v.widthUs = -1; }},
        {"width of a whole period", [](VbSignal& v) { v.widthUs = 1000.0; }},
        {"infinite delay", [](VbSignal& v) { v.delayUs = INFINITY; }},
        {"negative jitter", [](VbSignal& v) { v.jitterUs = -0.5; }},
        {"jitter beyond the period", [](VbSignal& v) { v.jitterUs = 900.0; }},
        {"bounce longer than the width", [](VbSignal& v) { v.bounceUs = 150.0; }},
        {"no glitches", [](VbSignal& v) { v.bounceUs = 5.0, v.glitches = 0; }},
        {"bursts without a rate", [](VbSignal& v) { v.burstPulses = 3; }},
        {"burst longer than its period", [](VbSignal& v) { v.burstPulses = 3, v.burstHz = 500.0; }},
    };
    for (const Bad& b : bad) {
        VbSignal v = good;
        b.spoil(v);
        const char* why = vb_signal_error(&v);
        ASSERT_NE(why, nullptr) << b.what;
        EXPECT_GT(std::string(why).size(), 10u) << b.what;
        EXPECT_EQ(vb_signal_set(board_, 2, &v), -1) << b.what;
    }
    VbSignal kept{};
    ASSERT_EQ(vb_signal_get(board_, 2, &kept), 0);
    EXPECT_EQ(kept.mode, VB_SIGNAL_PULSES);
    EXPECT_EQ(kept.widthUs, 100.0);
    EXPECT_EQ(kept.jitterUs, 0.0);

    EXPECT_EQ(vb_signal_set(board_, VB_INPUTS, &good), -1);
    EXPECT_EQ(vb_signal_set(board_, 0, nullptr), -1);
    EXPECT_EQ(vb_signal_set(reinterpret_cast<VbBoard*>(&kept), 0, &good), -1);
    EXPECT_NE(vb_signal_error(nullptr), nullptr);
    EXPECT_EQ(vb_signal_get(board_, VB_INPUTS, &kept), -1);
    VbInputState st{};
    EXPECT_EQ(vb_input_state(board_, VB_INPUTS, &st), -1);
    EXPECT_EQ(vb_input_state(board_, 0, nullptr), -1);
}

TEST_F(SignalTest, DebounceLetsALevelThroughOnlyOnceItHeldForTheDebounceTime) {
    debounceUnits(21); // 1008 ns
    // A glitch one nanosecond shorter than the debounce time vanishes.
    drive(5, level(1));
    ASSERT_EQ(vb_clock_advance(1007), 0);
    drive(5, level(0));
    ASSERT_EQ(vb_clock_advance(10 * kUs), 0);
    EXPECT_EQ(input(5).rising, 0u);
    // One that lasts the debounce time passes, 1008 ns late, and so does its end.
    drive(5, level(1));
    ASSERT_EQ(vb_clock_advance(1007), 0);
    EXPECT_EQ(input(5).level, 0);
    ASSERT_EQ(vb_clock_advance(1), 0);
    EXPECT_EQ(input(5).level, 1);
    EXPECT_EQ(read("Device1_Process1_Trigger_TriggerInput_InputStatus_Status"), 1u << 5);
    drive(5, level(0));
    ASSERT_EQ(vb_clock_advance(1008), 0);
    const VbInputState st = input(5);
    EXPECT_EQ(st.level, 0);
    EXPECT_EQ(st.rising, 1u);
    EXPECT_EQ(st.falling, 1u);
    EXPECT_EQ(vb_event_count(board_, (kInputEvents + "Pin5").c_str()), 1);
    EXPECT_EQ(vb_event_count(board_, (kInputEvents + "NotPin5").c_str()), 1);
    EXPECT_EQ(vb_event_count(board_, (kInputEvents + "Pin8").c_str()), -1);
    EXPECT_EQ(vb_event_count(board_, (kInputEvents + "NotPin").c_str()), -1);
    EXPECT_EQ(vb_event_count(board_, (kInputEvents + "Pin55").c_str()), -1);
}

TEST_F(SignalTest, BouncingEdgesPassOrVanishWithTheDebounce) {
    // Three glitches in the 30 µs after each edge, each 2 µs to 5 µs long.
    VbSignal s = pulses(1000.0, 200.0, 4);
    s.bounceUs = 30.0;
    watch(1);
    debounceUnits(0);
    const uint64_t t0 = vb_clock_now();
    drive(1, s);
    ASSERT_EQ(vb_clock_advance(10 * kMs), 0);
    // Every edge passes: 1 + 3 rising edges at the start of a pulse, 3 more after its end.
    EXPECT_EQ(input(1).rising, 4u * 7u);
    EXPECT_EQ(input(1).falling, 4u * 7u);
    std::vector<VbLinePulse> h = watched();
    ASSERT_EQ(h.size(), 28u);
    for (const VbLinePulse& p : h) {
        const uint64_t inPeriod = (p.start - t0) % kMs;
        // Each passing pulse lies in one of the bounces or is the pulse itself.
        EXPECT_TRUE(inPeriod < 30 * kUs || (inPeriod >= 200 * kUs && inPeriod < 230 * kUs))
            << p.start;
        EXPECT_GE(p.end - p.start, 1 * kUs);
    }

    // With a debounce longer than any glitch, one clean pulse per pulse, each edge late by the
    // debounce time after the last glitch of its bounce.
    debounceUnits(110); // 5.28 µs
    const uint64_t t1 = vb_clock_now();
    drive(1, s);
    ASSERT_EQ(vb_clock_advance(10 * kMs), 0);
    EXPECT_EQ(input(1).rising, 4u * 7u + 4u);
    h = watched();
    for (size_t n = h.size() - 4; n < h.size(); ++n) {
        const uint64_t start = (h[n].start - t1) % kMs;
        EXPECT_GE(start, 5280u) << n;
        EXPECT_LT(start, 30 * kUs + 5280u) << n;
        EXPECT_GT(h[n].end - h[n].start, 170 * kUs);
        EXPECT_LT(h[n].end - h[n].start, 230 * kUs);
    }
}

TEST_F(SignalTest, TrainsStartAfterTheirDelayStopAfterTheirCountAndComeInBursts) {
    debounceUnits(0);
    watch(0);
    const uint64_t t0 = vb_clock_now();
    VbSignal train = pulses(1000.0, 100.0, 5);
    train.delayUs = 2000.0;
    drive(0, train);
    ASSERT_EQ(vb_clock_advance(2 * kMs - 1), 0);
    EXPECT_EQ(input(0).rising, 0u);
    ASSERT_EQ(vb_clock_advance(1 * kMs), 0);
    EXPECT_EQ(input(0).rising, 1u);
    ASSERT_EQ(vb_clock_advance(100 * kMs), 0);
    EXPECT_EQ(input(0).rising, 5u);
    std::vector<VbLinePulse> h = watched();
    ASSERT_EQ(h.size(), 5u);
    EXPECT_EQ(h[4].start - t0, 6 * kMs);
    EXPECT_EQ(h[4].end - h[4].start, 100 * kUs);

    // Bursts of three pulses 100 µs apart, 100 bursts a second.
    VbSignal bursts = pulses(10'000.0, 20.0, 0);
    bursts.burstPulses = 3;
    bursts.burstHz = 100.0;
    const uint64_t t1 = vb_clock_now();
    drive(0, bursts);
    ASSERT_EQ(vb_clock_advance(25 * kMs), 0);
    h = watched();
    ASSERT_EQ(h.size(), 5u + 9u);
    const uint64_t expected[] = {0, 100, 200, 10000, 10100, 10200, 20000, 20100, 20200};
    for (size_t n = 0; n < 9; ++n)
        EXPECT_EQ(h[5 + n].start - t1, expected[n] * kUs) << n;
    // The input statistics measure the same signal: shortest 100 µs, longest 9.8 ms.
    write(kTrigger + "InputSelect_Select_Select", 0);
    write(kTrigger + "InputStatistics_ClearMinMax_Value", 1);
    ASSERT_EQ(vb_clock_advance(30 * kMs), 0);
    EXPECT_EQ(read(kTrigger + "InputStatistics_ReadMin_Status"), 100 * kUs / 16);
    EXPECT_EQ(read(kTrigger + "InputStatistics_ReadMax_Status"), 9800 * kUs / 16);
}

TEST_F(SignalTest, JitterAndBounceRepeatWithTheirSeed) {
    VbSignal s = pulses(1000.0, 200.0, 20);
    s.jitterUs = 300.0;
    s.bounceUs = 30.0;
    s.seed = 42;
    auto run = [&](uint64_t seed) {
        vb_reset();
        vb_clock_manual(1);
        board_ = vb_board_open(0);
        debounceUnits(0);
        watch(3);
        s.seed = seed;
        const uint64_t t0 = vb_clock_now();
        drive(3, s);
        EXPECT_EQ(vb_clock_advance(30 * kMs), 0);
        std::vector<uint64_t> starts;
        for (const VbLinePulse& p : watched())
            starts.push_back(p.start - t0);
        return starts;
    };
    const std::vector<uint64_t> first = run(42);
    ASSERT_EQ(first.size(), 64u); // the line keeps its last 64 pulses
    EXPECT_EQ(run(42), first);
    EXPECT_NE(run(43), first);

    // Jitter only delays: each pulse starts within 300 µs after its due time.
    s.bounceUs = 0;
    run(7);
    const std::vector<VbLinePulse> h = watched();
    ASSERT_EQ(h.size(), 20u);
    bool moved = false;
    for (size_t n = 0; n < h.size(); ++n) {
        const uint64_t late = (h[n].start - h[0].start + 300 * kUs) - n * kMs;
        EXPECT_LE(late, 600 * kUs) << n;
        moved = moved || late != 300 * kUs;
    }
    EXPECT_TRUE(moved);
}

TEST_F(SignalTest, LimitsAndLinesRefuseWhatTheyCannotBe) {
    EXPECT_EQ(vb_dma_bandwidth(board_, 100e6), 0);
    EXPECT_EQ(vb_dma_bandwidth(board_, 0), 0);
    EXPECT_EQ(vb_dma_bandwidth(board_, -1), -1);
    EXPECT_EQ(vb_dma_bandwidth(board_, std::nan("")), -1);
    EXPECT_EQ(vb_camera_line_rate(board_, INFINITY), -1);
    EXPECT_EQ(vb_camera_line_rate(nullptr, 1000.0), -1);
    EXPECT_EQ(vb_camera_line_rate(board_, 1000.0), 0);

    VbLineState st{};
    EXPECT_EQ(vb_line_state(board_, VB_LINE_CC, 4, &st), -1);
    EXPECT_EQ(vb_line_state(board_, VB_LINE_OUTPUT, 8, &st), -1);
    EXPECT_EQ(vb_line_state(board_, 2, 0, &st), -1);
    EXPECT_EQ(vb_line_state(board_, VB_LINE_CC, 0, nullptr), -1);
    VbLinePulse p{};
    EXPECT_EQ(vb_line_history(board_, VB_LINE_OUTPUT, 9, &p, 1), 0u);
    EXPECT_EQ(vb_line_history(board_, VB_LINE_OUTPUT, 0, nullptr, 1), 0u);
    // A constant line: select 5, its polarity its level.
    write(kTrigger + "TriggerOutput_Select7_Select_Select", 5);
    write(kTrigger + "TriggerOutput_Select7_Polarity_Invert", 1);
    ASSERT_EQ(vb_line_state(board_, VB_LINE_OUTPUT, 7, &st), 0);
    EXPECT_EQ(st.level, 1);
    EXPECT_EQ(st.idle, 1);
    EXPECT_EQ(st.pulses, 0u);
}

// On the real clock the generator runs in real time, like the rest of the model.
TEST_F(SignalTest, OnTheRealClockPulsesComeInRealTime) {
    vb_clock_manual(0);
    debounceUnits(0);
    drive(6, pulses(1000.0, 100.0, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    // At least 30 ms passed: the pulses due at 0, 1, … 29 ms have begun.
    EXPECT_GE(input(6).rising, 30u);
}

} // namespace
