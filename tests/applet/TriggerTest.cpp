// The area trigger system: transitions between modes and states, the generator's period, the
// pulse-form timing rule, output routing, the input stage, the software trigger and the queue.
// The virtual board's write log is the witness throughout.
#include "TriggerTest.h"

#include <pellvane/parameters.h>

#include <bit>
#include <cmath>
#include <limits>
#include <utility>

using namespace pvtest;

namespace {

constexpr int32_t kInjected = -4242;

constexpr double kMinRate = 0.01455191522836685;

class Trigger : public TriggerBoard {
protected:
    // From the start-up state (generator, sync stop) to the given mode and state.
    void reach(uint32_t mode, uint32_t state) {
        if (mode != GENERATOR) {
            ASSERT_EQ(set(FG_AREATRIGGERMODE, int32_t(mode)), 0);
        }
        if (state != SYNC_STOP) {
            ASSERT_EQ(set(FG_TRIGGERSTATE, int32_t(state)), 0);
        }
        ASSERT_EQ(get(FG_AREATRIGGERMODE), mode);
        ASSERT_EQ(get(FG_TRIGGERSTATE), state);
    }
    // Software mode, running, ready to take software pulses.
    void softwareActive(int32_t queue) {
        ASSERT_EQ(set(FG_TRIGGERQUEUE_MODE, queue), 0);
        reach(SOFTWARE, ACTIVE);
        preset("Generators_Generator_MaximumReached_Status", 1);
        preset("Generators_QueueValue_Status", 0);
        vb_log_clear();
    }
    size_t count(const Writes& w, const std::string& reg) {
        size_t n = 0;
        for (const Write& e : w)
            n += e.reg == reg ? 1 : 0;
        return n;
    }
    // Writes to the camera's trigger block and the monitoring, without the image path's.
    static Writes triggerWrites() {
        Writes all = loggedWrites(), w;
        for (const Write& e : all)
            if (e.reg.compare(0, 16, "Device1_Process0") != 0 && e.reg.compare(0, 5, "MWGen") != 0)
                w.push_back(e);
        return w;
    }

    const int32_t modeDependent[44] = {FG_AREATRIGGERMODE,
                                       FG_TRIGGERSTATE,
                                       FG_TRIGGER_FRAMESPERSECOND,
                                       FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CLEAR,
                                       FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD,
                                       FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_OFF_THRESHOLD,
                                       FG_TRIGGER_OUTPUT_EVENT_SELECT,
                                       FG_TRIGGERIN_DEBOUNCE,
                                       FG_TRIGGERIN_SRC,
                                       FG_TRIGGERIN_POLARITY,
                                       FG_SENDSOFTWARETRIGGER,
                                       FG_TRIGGERIN_DOWNSCALE,
                                       FG_TRIGGERIN_DOWNSCALE_PHASE,
                                       FG_TRIGGER_MULTIPLY_PULSES,
                                       FG_TRIGGERQUEUE_MODE,
                                       tid::pfDownscale(0),
                                       tid::pfPhase(0),
                                       tid::pfDelay(0),
                                       tid::pfWidth(0),
                                       tid::pfDownscale(1),
                                       tid::pfPhase(1),
                                       tid::pfDelay(1),
                                       tid::pfWidth(1),
                                       tid::pfDownscale(2),
                                       tid::pfPhase(2),
                                       tid::pfDelay(2),
                                       tid::pfWidth(2),
                                       tid::pfDownscale(3),
                                       tid::pfPhase(3),
                                       tid::pfDelay(3),
                                       tid::pfWidth(3),
                                       tid::cc(0),
                                       tid::cc(1),
                                       tid::cc(2),
                                       tid::cc(3),
                                       tid::out(0),
                                       tid::out(1),
                                       tid::out(2),
                                       tid::out(3),
                                       tid::out(4),
                                       tid::out(5),
                                       tid::out(6),
                                       tid::out(7),
                                       FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR};
};

const char* modeName(uint32_t m) {
    return m == GENERATOR ? "Generator" : m == EXTERNAL ? "External" : "Software";
}
const char* stateName(uint32_t s) {
    return s == ACTIVE ? "Active" : s == ASYNC_STOP ? "AsyncStop" : "SyncStop";
}

} // namespace

TEST_F(Trigger, StartUpHoldsTheOutputsThenAppliesTheDefaultsInOrder) {
    // Std_entry already ran; the log holds everything since the board was created.
    Ops op;
    Writes expected = op.hold() + op.stop() + op.restore();
    expected += {{"Generators_Generator_MinimumPeriod_Number", 7812490},
                 {"Device1_Process1_Trigger_TriggerInput_Debounce8_Prescale_Period", 21},
                 {"InputSelect_Select_Select", 0},
                 {"InputSelect_Polarity_Invert", 0},
                 {"Downscale_Downscale_Downscale", 1},
                 {"Downscale_Downscale_SelectedPulse", 1},
                 {"InputSelect_BypassSelect_Select", 0},
                 {"InputStatistics_ClearPulses_Mode", 2},
                 {"Generators_Sequence_SelectedPulse", 1},
                 {"Generators_Sequence_Downscale", 1},
                 {"Generators_ClearDownscale_Mode", 2},
                 {"Hysteresis_OnLevel_Number", 2047},
                 {"Hysteresis_OffLevel_Number", 2}};
    for (int n = 0; n < 4; ++n) {
        const std::string pf = "PulseFormGenerators_PulseFormGenerator" + std::to_string(n) + "_";
        expected += {{pf + "Downscale_Downscale", 1},
                     {pf + "Downscale_SelectedPulse", 1},
                     {pf + "Delay_Delay", 0},
                     {pf + "Width_Width", n == 0 ? 250000u : 250u}};
    }
    expected += op.restore(); // the default selections, line by line and output by output
    expected += {{"OutputStatistics_Select_Select", 0}, {"OutputEvent_Select_Select", 0}};
    EXPECT_EQ(triggerWrites(), expected);
    EXPECT_EQ(get(FG_AREATRIGGERMODE), GENERATOR);
    EXPECT_EQ(get(FG_TRIGGERSTATE), SYNC_STOP);
}

TEST_F(Trigger, EveryTransitionWritesItsOperationsInOrder) {
    Ops op;
    struct Case {
        uint32_t mode, state; // where it starts
        int32_t param;        // FG_AREATRIGGERMODE or FG_TRIGGERSTATE
        uint32_t value;
        Writes expected;
    };
    const Case cases[] = {
        {GENERATOR, SYNC_STOP, FG_TRIGGERSTATE, ACTIVE, op.resetPulseForms() + op.startGenerator()},
        {GENERATOR, SYNC_STOP, FG_TRIGGERSTATE, ASYNC_STOP, op.hold()},
        {GENERATOR, ASYNC_STOP, FG_TRIGGERSTATE, ACTIVE,
         op.resetPulseForms() + op.restore() + op.startGenerator()},
        {GENERATOR, ACTIVE, FG_TRIGGERSTATE, ASYNC_STOP, op.hold() + op.stop()},
        {GENERATOR, ACTIVE, FG_TRIGGERSTATE, SYNC_STOP, op.stop()},
        {GENERATOR, ACTIVE, FG_AREATRIGGERMODE, EXTERNAL, op.restart() + op.external(1)},
        {GENERATOR, ACTIVE, FG_AREATRIGGERMODE, SOFTWARE, op.restart()},
        {EXTERNAL, SYNC_STOP, FG_TRIGGERSTATE, ACTIVE, op.restart() + op.external(1)},
        {EXTERNAL, SYNC_STOP, FG_TRIGGERSTATE, ASYNC_STOP, op.hold()},
        {EXTERNAL, ASYNC_STOP, FG_TRIGGERSTATE, ACTIVE,
         op.clearIn() + op.startQueue() + op.clearSeq() + op.resetPulseForms() + op.restore() +
             op.external(1)},
        {EXTERNAL, ACTIVE, FG_TRIGGERSTATE, ASYNC_STOP, op.hold() + op.external(0)},
        {EXTERNAL, ACTIVE, FG_TRIGGERSTATE, SYNC_STOP, op.external(0)},
        {EXTERNAL, ACTIVE, FG_AREATRIGGERMODE, GENERATOR,
         op.external(0) + op.hold() + op.resetPulseForms() + op.restore() + op.startGenerator()},
        {EXTERNAL, ACTIVE, FG_AREATRIGGERMODE, SOFTWARE, op.external(0) + op.restart()},
        {EXTERNAL, SYNC_STOP, FG_AREATRIGGERMODE, GENERATOR, op.stop()},
        {EXTERNAL, ASYNC_STOP, FG_AREATRIGGERMODE, GENERATOR, op.stop()},
        {SOFTWARE, SYNC_STOP, FG_TRIGGERSTATE, ACTIVE, op.restart()},
        {SOFTWARE, SYNC_STOP, FG_TRIGGERSTATE, ASYNC_STOP, op.hold()},
        {SOFTWARE, ASYNC_STOP, FG_TRIGGERSTATE, ACTIVE,
         op.clearIn() + op.startQueue() + op.clearSeq() + op.resetPulseForms() + op.restore()},
        {SOFTWARE, ACTIVE, FG_TRIGGERSTATE, ASYNC_STOP, op.hold()},
        {SOFTWARE, ACTIVE, FG_AREATRIGGERMODE, GENERATOR,
         op.hold() + op.resetPulseForms() + op.restore() + op.startGenerator()},
        {SOFTWARE, ACTIVE, FG_AREATRIGGERMODE, EXTERNAL, op.restart() + op.external(1)},
        {SOFTWARE, SYNC_STOP, FG_AREATRIGGERMODE, GENERATOR, op.stop()},
        {SOFTWARE, ASYNC_STOP, FG_AREATRIGGERMODE, GENERATOR, op.stop()},
        // Combinations that leave the hardware alone; mode changes while stopped wait for the
        // next change to Active.
        {GENERATOR, SYNC_STOP, FG_TRIGGERSTATE, SYNC_STOP, {}},
        {GENERATOR, ACTIVE, FG_TRIGGERSTATE, ACTIVE, {}},
        {GENERATOR, ASYNC_STOP, FG_TRIGGERSTATE, SYNC_STOP, {}},
        {EXTERNAL, ASYNC_STOP, FG_TRIGGERSTATE, SYNC_STOP, {}},
        {SOFTWARE, ASYNC_STOP, FG_TRIGGERSTATE, SYNC_STOP, {}},
        {SOFTWARE, ACTIVE, FG_TRIGGERSTATE, SYNC_STOP, {}},
        {EXTERNAL, ACTIVE, FG_AREATRIGGERMODE, EXTERNAL, {}},
        {EXTERNAL, SYNC_STOP, FG_AREATRIGGERMODE, SOFTWARE, {}},
        {EXTERNAL, ASYNC_STOP, FG_AREATRIGGERMODE, SOFTWARE, {}},
        {SOFTWARE, SYNC_STOP, FG_AREATRIGGERMODE, EXTERNAL, {}},
        {SOFTWARE, ASYNC_STOP, FG_AREATRIGGERMODE, EXTERNAL, {}},
        {GENERATOR, SYNC_STOP, FG_AREATRIGGERMODE, EXTERNAL, {}},
        {GENERATOR, SYNC_STOP, FG_AREATRIGGERMODE, SOFTWARE, {}},
        {GENERATOR, ASYNC_STOP, FG_AREATRIGGERMODE, EXTERNAL, {}},
        {GENERATOR, ASYNC_STOP, FG_AREATRIGGERMODE, SOFTWARE, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(modeName(c.mode)) + "/" + stateName(c.state) + ": " +
                     (c.param == FG_AREATRIGGERMODE
                          ? "mode -> " + std::string(modeName(c.value))
                          : "state -> " + std::string(stateName(c.value))));
        TearDown();
        SetUp();
        reach(c.mode, c.state);
        vb_log_clear();
        ASSERT_EQ(set(c.param, int32_t(c.value)), 0);
        EXPECT_EQ(loggedWrites(), c.expected);
        const uint32_t newMode = c.param == FG_AREATRIGGERMODE ? c.value : c.mode;
        EXPECT_EQ(get(FG_AREATRIGGERMODE), newMode);
        EXPECT_EQ(get(FG_TRIGGERSTATE), c.param == FG_TRIGGERSTATE ? c.value : c.state);
        // The software trigger can be set except in external mode.
        EXPECT_EQ(access(FG_SENDSOFTWARETRIGGER), newMode == EXTERNAL ? 1 : 7);
    }
}

TEST_F(Trigger, AModeChangeWhileStoppedTakesEffectAtTheNextStart) {
    Ops op;
    reach(SOFTWARE, SYNC_STOP);
    vb_log_clear();
    ASSERT_EQ(set(FG_AREATRIGGERMODE, EXTERNAL), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    EXPECT_EQ(loggedWrites(), op.restart() + op.external(1));
}

TEST_F(Trigger, TransitionsMakeTheModeDependentParametersWritable) {
    reach(EXTERNAL, ACTIVE);
    EXPECT_EQ(access(FG_SENDSOFTWARETRIGGER), 1);
    // The transition back opens all 44 again, the software trigger included.
    ASSERT_EQ(set(FG_AREATRIGGERMODE, SOFTWARE), 0);
    for (int32_t id : modeDependent)
        EXPECT_EQ(access(id), 7) << id;
    // An unchanged state writes nothing but refreshes the access values.
    ASSERT_EQ(set(FG_AREATRIGGERMODE, EXTERNAL), 0);
    ASSERT_EQ(access(FG_SENDSOFTWARETRIGGER), 1);
    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(access(FG_SENDSOFTWARETRIGGER), 1);
    // Parameters outside the list keep theirs.
    EXPECT_EQ(access(FG_SOFTWARETRIGGER_IS_BUSY), 1);
    EXPECT_EQ(access(FG_TRIGGERQUEUE_FILLLEVEL), 1);
}

TEST_F(Trigger, AFailingWriteInsideATransitionKeepsTheOldModeOrState) {
    Ops op;
    // Generator, Sync Stop -> Active stops at the pulse-form enable.
    failWrite("PulseFormGenerators_Enable_Select", 1, kInjected);
    vb_log_clear();
    EXPECT_EQ(set(FG_TRIGGERSTATE, ACTIVE), kInjected);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), kInjected);
    EXPECT_EQ(get(FG_TRIGGERSTATE), SYNC_STOP);
    Writes expected = op.resetPulseForms() + op.startGenerator();
    expected.resize(expected.size() - 1); // the release after the failing write never happens
    expected.back().result = kInjected;
    EXPECT_EQ(loggedWrites(), expected);

    // Generator, Active -> External fails while restoring the outputs: the mode stays.
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    ASSERT_EQ(set(tid::out(5), 1), 0);
    ASSERT_EQ(reg(outSelectReg(5)), 1u);
    failWrite(outInvertReg(3), 1, kInjected);
    EXPECT_EQ(set(FG_AREATRIGGERMODE, EXTERNAL), kInjected);
    EXPECT_EQ(get(FG_AREATRIGGERMODE), GENERATOR);
    // The hardware keeps what was written before the failure: output 5 is still held, and the
    // external input was never let through.
    EXPECT_EQ(reg(outSelectReg(5)), 5u);
    EXPECT_EQ(reg("TriggerMode_SelectExternal_Select"), 0u);

    ASSERT_EQ(set(FG_AREATRIGGERMODE, EXTERNAL), 0);
    EXPECT_EQ(get(FG_AREATRIGGERMODE), EXTERNAL);
    EXPECT_EQ(reg(outSelectReg(5)), 1u);
    EXPECT_EQ(reg("TriggerMode_SelectExternal_Select"), 1u);
}

TEST_F(Trigger, StateAndModeRefuseValuesOutsideTheirEnumerations) {
    vb_log_clear();
    for (int32_t v : {3, 5, -1, 0x7fffffff})
        EXPECT_EQ(set(FG_TRIGGERSTATE, v), PV_ERR_VALUE_OUT_OF_RANGE) << v;
    for (int32_t v : {0, 3, 5, -4})
        EXPECT_EQ(set(FG_AREATRIGGERMODE, v), PV_ERR_VALUE_OUT_OF_RANGE) << v;
    EXPECT_EQ(get(FG_AREATRIGGERMODE), GENERATOR);
    EXPECT_EQ(get(FG_TRIGGERSTATE), SYNC_STOP);
    EXPECT_EQ(loggedWrites(), Writes{});
}

TEST_F(Trigger, FrameRateGivesTheExactPeriodRegister) {
    struct Case {
        double rate;
        uint64_t period;
    };
    const Case cases[] = {
        {8.0, 7812490}, {1000.0, 62490}, {6250000.0, 1}, {kMinRate, 4294967287}, {30.0, 2083324}};
    // The shortest width, spread over seven pulses, fits even the fastest rate.
    for (int n = 0; n < 4; ++n) {
        ASSERT_EQ(set(tid::pfDownscale(n), 7), 0);
        ASSERT_EQ(setD(tid::pfWidth(n), 1.0), 0);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        vb_log_clear();
        ASSERT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, c.rate), 0);
        EXPECT_EQ(loggedWrites(),
                  (Writes{{"Generators_Generator_MinimumPeriod_Number", c.period}}));
    }
    EXPECT_EQ(std::bit_cast<uint64_t>(kMinRate), 0x3F8DCD64FFFFFFFFu);
    // Starting the generator sets the rate again as it reads back. The fastest rate survives
    // that; the slowest reads back one step below itself, so the start refuses it and the
    // state stays where it was.
    ASSERT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, 6250000.0), 0);
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    EXPECT_EQ(reg("Generators_Generator_MinimumPeriod_Number"), 1u);
    ASSERT_EQ(set(FG_TRIGGERSTATE, SYNC_STOP), 0);
    ASSERT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, kMinRate), 0);
    EXPECT_LT(getD(FG_TRIGGER_FRAMESPERSECOND), kMinRate);
    EXPECT_EQ(set(FG_TRIGGERSTATE, ACTIVE), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(get(FG_TRIGGERSTATE), SYNC_STOP);
}

TEST_F(Trigger, FrameRateReadsBackThroughThePeriod) {
    ASSERT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, 8.0), 0);
    EXPECT_EQ(getD(FG_TRIGGER_FRAMESPERSECOND), 8.000000000000002);
    ASSERT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, 30.0), 0);
    EXPECT_EQ(getD(FG_TRIGGER_FRAMESPERSECOND), 30.0);

    // Starting the generator sets the rate again from what it reads back.
    ASSERT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, 8.0), 0);
    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    EXPECT_EQ(reg("Generators_Generator_MinimumPeriod_Number"), 7812490u);
    EXPECT_EQ(getD(FG_TRIGGER_FRAMESPERSECOND), 8.000000000000002);
}

TEST_F(Trigger, FrameRateOutsideItsRangeKeepsTheOldRate) {
    ASSERT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, 200.0), 0);
    vb_log_clear();
    const double bad[] = {
        std::nextafter(6250000.0, 7e6),           std::nextafter(kMinRate, 0.0),          0.0, -8.0,
        std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
    for (double f : bad)
        EXPECT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, f), PV_ERR_VALUE_OUT_OF_RANGE) << f;
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(reg("Generators_Generator_MinimumPeriod_Number"), 312491u);
    EXPECT_DOUBLE_EQ(getD(FG_TRIGGER_FRAMESPERSECOND), 200.0);
}

TEST_F(Trigger, PulseWidthAndDelayStayWithinTheDownscaledPeriod) {
    // 8 frames per second: 125000 us per pulse.
    EXPECT_EQ(setD(tid::pfWidth(0), 125000.0), PV_ERR_TIMING_RULE);
    EXPECT_DOUBLE_EQ(getD(tid::pfWidth(0)), 4000.0);
    EXPECT_EQ(setD(tid::pfWidth(0), 124999.0), 0);
    EXPECT_EQ(reg("PulseFormGenerators_PulseFormGenerator0_Width_Width"), 7812438u);
    EXPECT_EQ(setD(tid::pfDelay(1), 125000.0), PV_ERR_TIMING_RULE);
    EXPECT_EQ(setD(tid::pfDelay(1), 124999.0), 0);

    // Downscale 2 doubles the limit.
    ASSERT_EQ(set(tid::pfDownscale(2), 2), 0);
    EXPECT_EQ(setD(tid::pfWidth(2), 250000.0), PV_ERR_TIMING_RULE);
    EXPECT_EQ(setD(tid::pfWidth(2), 249999.0), 0);

    // The frame rate checks all four generators: generator 2 forbids 10 frames per second.
    vb_log_clear();
    EXPECT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, 10.0), PV_ERR_TIMING_RULE);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(getD(FG_TRIGGER_FRAMESPERSECOND), 8.000000000000002);
    ASSERT_EQ(setD(tid::pfWidth(2), 4.0), 0);
    ASSERT_EQ(setD(tid::pfWidth(0), 4.0), 0);
    ASSERT_EQ(setD(tid::pfDelay(1), 0.0), 0);
    EXPECT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, 10.0), 0);

    // At 10 frames per second a 100000 us pulse needs downscale 2.
    ASSERT_EQ(setD(tid::pfWidth(3), 99999.0), 0);
    ASSERT_EQ(set(tid::pfDownscale(3), 2), 0);
    ASSERT_EQ(setD(tid::pfWidth(3), 100000.0), 0);
    vb_log_clear();
    EXPECT_EQ(set(tid::pfDownscale(3), 1), PV_ERR_TIMING_DOWNSCALE);
    EXPECT_EQ(get(tid::pfDownscale(3)), 2u);
    EXPECT_EQ(loggedWrites(), Writes{});
}

TEST_F(Trigger, TimingRuleReadsDelayAndWidthFromTheRegisters) {
    // The board reports a width the stored value knows nothing about: one full period.
    preset("PulseFormGenerators_PulseFormGenerator1_Width_Width", 7812500);
    EXPECT_EQ(setD(tid::pfDelay(1), 0.0), PV_ERR_TIMING_RULE);
    EXPECT_EQ(set(tid::pfDownscale(1), 1), PV_ERR_TIMING_DOWNSCALE);
    EXPECT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, 8.0), PV_ERR_TIMING_RULE);
    EXPECT_EQ(set(tid::pfDownscale(1), 2), 0);
    EXPECT_EQ(setD(tid::pfDelay(1), 0.0), 0);
    // The read-back getter sees the preset too: 7812500 ticks of 16 ns.
    EXPECT_DOUBLE_EQ(getD(tid::pfWidth(1)), 125000.0);
}

TEST_F(Trigger, DelayAndWidthAreQuantisedTo16Nanoseconds) {
    struct Case {
        double us;
        uint64_t ticks;
        double readBack;
    };
    const Case delays[] = {{0.007, 0, 0.0}, {0.008, 1, 0.016}, {1.0, 63, 1.008}, {0.0, 0, 0.0}};
    for (const Case& c : delays) {
        ASSERT_EQ(setD(tid::pfDelay(2), c.us), 0) << c.us;
        EXPECT_EQ(reg("PulseFormGenerators_PulseFormGenerator2_Delay_Delay"), c.ticks) << c.us;
        EXPECT_DOUBLE_EQ(getD(tid::pfDelay(2)), c.readBack) << c.us;
    }
    // The extremes need the slowest rate and the full 32 bits.
    ASSERT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, kMinRate), 0);
    ASSERT_EQ(setD(tid::pfDelay(0), 34000000.0), 0);
    EXPECT_EQ(reg("PulseFormGenerators_PulseFormGenerator0_Delay_Delay"), 2125000000u);
    ASSERT_EQ(setD(tid::pfWidth(0), 68000000.0), 0);
    EXPECT_EQ(reg("PulseFormGenerators_PulseFormGenerator0_Width_Width"), 4250000000u);
    EXPECT_DOUBLE_EQ(getD(tid::pfWidth(0)), 68000000.0);

    vb_log_clear();
    for (double bad : {-0.001, 34000000.1, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(setD(tid::pfDelay(0), bad), PV_ERR_VALUE_OUT_OF_RANGE) << bad;
    for (double bad : {0.999, 68000000.1, -std::numeric_limits<double>::infinity()})
        EXPECT_EQ(setD(tid::pfWidth(0), bad), PV_ERR_VALUE_OUT_OF_RANGE) << bad;
    EXPECT_EQ(loggedWrites(), Writes{});
}

TEST_F(Trigger, PulseFormDownscaleAndPhaseLimitEachOther) {
    EXPECT_EQ(set(tid::pfPhase(0), 7), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(tid::pfDownscale(0), 8), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(tid::pfDownscale(0), 0), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(tid::pfPhase(0), 1), PV_ERR_VALUE_OUT_OF_RANGE); // downscale is 1

    vb_log_clear();
    ASSERT_EQ(set(tid::pfDownscale(0), 7), 0);
    ASSERT_EQ(set(tid::pfPhase(0), 6), 0);
    EXPECT_EQ(loggedWrites(),
              (Writes{{"PulseFormGenerators_PulseFormGenerator0_Downscale_Downscale", 7},
                      {"PulseFormGenerators_PulseFormGenerator0_Downscale_SelectedPulse", 7}}));
    EXPECT_EQ(set(tid::pfDownscale(0), 6), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(tid::pfPhase(0), 7), PV_ERR_VALUE_OUT_OF_RANGE);
    ASSERT_EQ(set(tid::pfPhase(0), 2), 0);
    EXPECT_EQ(set(tid::pfDownscale(0), 3), 0);

    // The advertised limits follow.
    const ParameterInfoNode* downscale = node(tid::pfDownscale(0));
    const ParameterInfoNode* phase = node(tid::pfPhase(0));
    ASSERT_NE(downscale, nullptr);
    ASSERT_NE(phase, nullptr);
    EXPECT_EQ(downscale->a.i32.min, 3);
    EXPECT_EQ(phase->a.i32.max, 2);
    EXPECT_EQ(node(tid::pfPhase(1))->a.i32.max, 0); // start-up set its downscale to 1
}

TEST_F(Trigger, InputDownscaleAndPhaseLimitEachOther) {
    ASSERT_EQ(set(FG_TRIGGERIN_DOWNSCALE, 5), 0);
    ASSERT_EQ(set(FG_TRIGGERIN_DOWNSCALE_PHASE, 4), 0);
    EXPECT_EQ(reg("Downscale_Downscale_SelectedPulse"), 5u);
    EXPECT_EQ(set(FG_TRIGGERIN_DOWNSCALE, 3), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(get(FG_TRIGGERIN_DOWNSCALE), 5u);
    ASSERT_EQ(set(FG_TRIGGERIN_DOWNSCALE_PHASE, 2), 0);
    EXPECT_EQ(set(FG_TRIGGERIN_DOWNSCALE, 3), 0);
    EXPECT_EQ(reg("Downscale_Downscale_Downscale"), 3u);
    EXPECT_EQ(set(FG_TRIGGERIN_DOWNSCALE_PHASE, 3), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_TRIGGERIN_DOWNSCALE, 0), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_TRIGGERIN_DOWNSCALE, -1), PV_ERR_VALUE_OUT_OF_RANGE); // 4294967295
    EXPECT_EQ(set(FG_TRIGGERIN_DOWNSCALE, 2147483647), 0);

    const ParameterInfoNode* downscale = node(FG_TRIGGERIN_DOWNSCALE);
    const ParameterInfoNode* phase = node(FG_TRIGGERIN_DOWNSCALE_PHASE);
    ASSERT_NE(downscale, nullptr);
    ASSERT_NE(phase, nullptr);
    EXPECT_EQ(downscale->a.i32.min, 3);
    EXPECT_EQ(phase->a.i32.max, 2147483646);
}

TEST_F(Trigger, OutputSelectionsMapToSelectAndInvert) {
    // Value -> (select, invert), as the design routes the twelve sources.
    const Routing expected[12] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {5, 0}, {5, 1},
                                  {0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 0}, {4, 1}};
    for (uint32_t v = 0; v < 12; ++v) {
        SCOPED_TRACE(v);
        vb_log_clear();
        ASSERT_EQ(set(tid::out(2), int32_t(v)), 0);
        ASSERT_EQ(set(tid::cc(3), int32_t(v)), 0);
        EXPECT_EQ(loggedWrites(), (Writes{{outSelectReg(2), expected[v].select},
                                          {outInvertReg(2), expected[v].invert},
                                          {ccSelectReg(3), expected[v].select},
                                          {ccInvertReg(3), expected[v].invert}}));
        EXPECT_EQ(get(tid::out(2)), v);
        EXPECT_EQ(get(tid::cc(3)), v);
    }
    vb_log_clear();
    EXPECT_EQ(set(tid::out(7), 12), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(tid::cc(0), -1), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(loggedWrites(), Writes{});
    // Each output has its own registers.
    ASSERT_EQ(set(tid::out(6), 1), 0);
    ASSERT_EQ(set(tid::out(4), 3), 0);
    EXPECT_EQ(reg(outSelectReg(6)), 1u);
    EXPECT_EQ(reg(outSelectReg(4)), 3u);
}

TEST_F(Trigger, OutputSelectionsWaitOutAnAsynchronousStop) {
    ASSERT_EQ(set(FG_TRIGGERSTATE, ASYNC_STOP), 0);
    vb_log_clear();
    ASSERT_EQ(set(tid::out(0), 3), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(get(tid::out(0)), 3u);
    // Camera-control lines are written at once.
    ASSERT_EQ(set(tid::cc(1), 9), 0);
    EXPECT_EQ(loggedWrites(), (Writes{{ccSelectReg(1), 3}, {ccInvertReg(1), 1}}));

    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    Ops op;
    op.outs[0] = 3;
    op.cc[1] = 9;
    EXPECT_EQ(loggedWrites(), op.resetPulseForms() + op.restore() + op.startGenerator());
    EXPECT_EQ(reg(outSelectReg(0)), 3u);
    EXPECT_EQ(reg(outInvertReg(0)), 0u);
}

TEST_F(Trigger, DebounceIsQuantisedTo48Nanoseconds) {
    struct Case {
        double us;
        uint64_t units;
        double readBack;
    };
    const Case cases[] = {{1.0, 21, 1.008}, {0.096, 2, 0.096}, {3.024, 63, 3.024}};
    for (const Case& c : cases) {
        ASSERT_EQ(setD(FG_TRIGGERIN_DEBOUNCE, c.us), 0) << c.us;
        EXPECT_EQ(reg("Device1_Process1_Trigger_TriggerInput_Debounce8_Prescale_Period"), c.units);
        EXPECT_DOUBLE_EQ(getD(FG_TRIGGERIN_DEBOUNCE), c.readBack);
    }
    for (double bad : {0.095, 3.025, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(setD(FG_TRIGGERIN_DEBOUNCE, bad), PV_ERR_VALUE_OUT_OF_RANGE) << bad;
    EXPECT_DOUBLE_EQ(getD(FG_TRIGGERIN_DEBOUNCE), 3.024);
}

TEST_F(Trigger, InputSelectionWritesItsRegisters) {
    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGERIN_SRC, 7), 0);
    ASSERT_EQ(set(FG_TRIGGERIN_POLARITY, 1), 0);
    ASSERT_EQ(set(FG_TRIGGERIN_BYPASS_SRC, 5), 0); // bypass source
    EXPECT_EQ(loggedWrites(), (Writes{{"InputSelect_Select_Select", 7},
                                      {"InputSelect_Polarity_Invert", 1},
                                      {"InputSelect_BypassSelect_Select", 5}}));
    EXPECT_EQ(set(FG_TRIGGERIN_SRC, 8), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_TRIGGERIN_POLARITY, 2), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_TRIGGERIN_BYPASS_SRC, 8), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(get(FG_TRIGGERIN_SRC), 7u);
    EXPECT_EQ(get(FG_TRIGGERIN_POLARITY), 1u);
    EXPECT_EQ(get(FG_TRIGGERIN_BYPASS_SRC), 5u);
}

TEST_F(Trigger, SoftwareTriggerRefusesOutsideActiveSoftwareMode) {
    // Generator mode: the count stays at its previous value.
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 1), -2140);
    EXPECT_EQ(get(FG_SENDSOFTWARETRIGGER), 1u);
    reach(SOFTWARE, SYNC_STOP);
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 1), -2141);
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    // Queue off: one pulse at a time, and only while the system is idle. The board reads busy
    // until the generator reports its maximum reached with an empty queue.
    preset("Generators_Generator_MaximumReached_Status", 0);
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 1), -60);
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 2), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 0), PV_ERR_VALUE_OUT_OF_RANGE);
    preset("Generators_Generator_MaximumReached_Status", 1);
    vb_log_clear();
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 1), 0);
    EXPECT_EQ(loggedWrites(), (Writes{{"TriggerMode_SoftwareTrigger_Mode", 2}}));
}

TEST_F(Trigger, SoftwareTriggerWithTheQueueSendsUpTo2040Pulses) {
    softwareActive(1);
    // A busy system does not matter while the queue takes the pulses.
    preset("Generators_QueueValue_Status", 100);
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 2041), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 2040), 0);
    Writes w = loggedWrites();
    EXPECT_EQ(w.size(), 2040u);
    EXPECT_EQ(count(w, "TriggerMode_SoftwareTrigger_Mode"), 2040u);
    EXPECT_EQ(w.back(), (Write{"TriggerMode_SoftwareTrigger_Mode", 2}));
    EXPECT_EQ(get(FG_SENDSOFTWARETRIGGER), 2040u);

    // A failing pulse stops the rest and restores the count.
    failWrite("TriggerMode_SoftwareTrigger_Mode", 3, kInjected);
    vb_log_clear();
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 10), kInjected);
    EXPECT_EQ(loggedWrites().size(), 3u);
    EXPECT_EQ(get(FG_SENDSOFTWARETRIGGER), 2040u);
}

TEST_F(Trigger, QueueModeWritesOnlyOutsideGeneratorMode) {
    const ParameterInfoNode* send = node(FG_SENDSOFTWARETRIGGER);
    ASSERT_NE(send, nullptr);
    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGERQUEUE_MODE, 1), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(send->a.i32.max, 2040);
    ASSERT_EQ(set(FG_TRIGGERQUEUE_MODE, 0), 0);
    EXPECT_EQ(send->a.i32.max, 1);

    reach(SOFTWARE, SYNC_STOP);
    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGERQUEUE_MODE, 1), 0);
    ASSERT_EQ(set(FG_TRIGGERQUEUE_MODE, 0), 0);
    EXPECT_EQ(loggedWrites(), (Writes{{"Generators_Generator_MinimumPeriod_Number", 7812490},
                                      {"Generators_Queue_QueueFullValue_Number", 2040},
                                      {"Generators_Queue_QueueEnabled_Select", 1},
                                      {"Generators_Generator_MinimumPeriod_Number", 10},
                                      {"Generators_Queue_QueueFullValue_Number", 1},
                                      {"Generators_Queue_QueueEnabled_Select", 0}}));
    EXPECT_EQ(set(FG_TRIGGERQUEUE_MODE, 2), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(get(FG_TRIGGERQUEUE_MODE), 0u);
}

TEST_F(Trigger, BusyFlagAndFillLevelsFollowTheStatusRegisters) {
    struct Status {
        uint64_t queueStatus, queued, maximumReached;
    };
    auto apply = [&](const Status& s) {
        preset("Device1_Process1_Trigger_Monitoring_ReadQueueStatus_Status", s.queueStatus);
        preset("Generators_QueueValue_Status", s.queued);
        preset("Generators_Generator_MaximumReached_Status", s.maximumReached);
    };
    // Generator mode: never busy, no fill level.
    apply({2, 7, 0});
    EXPECT_EQ(get(FG_SOFTWARETRIGGER_IS_BUSY), 0u);
    EXPECT_EQ(get(FG_TRIGGERQUEUE_FILLLEVEL), 0u);
    EXPECT_EQ(get(FG_SOFTWARETRIGGER_QUEUE_FILLLEVEL), 0u);

    ASSERT_EQ(set(FG_TRIGGER_MULTIPLY_PULSES, 3), 0);
    reach(SOFTWARE, ACTIVE);
    struct Case {
        Status status;
        uint32_t busy, fill;
    };
    const Case cases[] = {
        {{2, 7, 1}, 1, 2040}, // queue full
        {{0, 7, 1}, 1, 7},    // pulses queued
        {{0, 0, 0}, 1, 1},    // generator still working on the last one
        {{0, 0, 1}, 0, 0},    // idle
        {{5, 0, 1}, 0, 0},    // other status bits do not count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status.queueStatus * 100 + c.status.queued * 10 + c.status.maximumReached);
        apply(c.status);
        EXPECT_EQ(get(FG_SOFTWARETRIGGER_IS_BUSY), c.busy);
        EXPECT_EQ(get(FG_TRIGGERQUEUE_FILLLEVEL), c.fill);
        EXPECT_EQ(get(FG_SOFTWARETRIGGER_QUEUE_FILLLEVEL), c.fill * 3);
    }
    // No fill level while the outputs are held.
    apply({2, 7, 1});
    ASSERT_EQ(set(FG_TRIGGERSTATE, ASYNC_STOP), 0);
    EXPECT_EQ(get(FG_TRIGGERQUEUE_FILLLEVEL), 0u);
    // External mode has a queue but no software trigger.
    ASSERT_EQ(set(FG_AREATRIGGERMODE, EXTERNAL), 0);
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    EXPECT_EQ(get(FG_TRIGGERQUEUE_FILLLEVEL), 2040u);
    EXPECT_EQ(get(FG_SOFTWARETRIGGER_QUEUE_FILLLEVEL), 0u);
    EXPECT_EQ(get(FG_SOFTWARETRIGGER_IS_BUSY), 0u);
}

TEST_F(Trigger, MonitoringBitsOfTheQueueStatus) {
    preset("Device1_Process1_Trigger_Monitoring_ReadQueueStatus_Status", 1 | 4);
    // The generator cannot exceed its own period.
    EXPECT_EQ(get(FG_TRIGGER_EXCEEDED_PERIOD_LIMITS), 0u);
    EXPECT_EQ(get(FG_MISSING_CAMERA_FRAME_RESPONSE), 1u);
    reach(EXTERNAL, SYNC_STOP);
    EXPECT_EQ(get(FG_TRIGGER_EXCEEDED_PERIOD_LIMITS), 1u);
    preset("Device1_Process1_Trigger_Monitoring_ReadQueueStatus_Status", 2);
    EXPECT_EQ(get(FG_TRIGGER_EXCEEDED_PERIOD_LIMITS), 0u);
    EXPECT_EQ(get(FG_MISSING_CAMERA_FRAME_RESPONSE), 0u);

    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CLEAR, 1), 0);
    ASSERT_EQ(set(FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR, 1), 0);
    ASSERT_EQ(set(FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR, 1), 0);
    ASSERT_EQ(set(FG_TRIGGEROUT_STATS_PULSECOUNT_CLEAR, 1), 0);
    EXPECT_EQ(loggedWrites(),
              (Writes{{"Device1_Process1_Trigger_Monitoring_ClearOverrideCam0_Mode", 2},
                      {"Device1_Process1_Trigger_Monitoring_ClearMissingFrame_Cam0_Mode", 2},
                      {"InputStatistics_ClearPulses_Mode", 2},
                      {"OutputStatistics_ClearPulses_Mode", 2}}));
    for (int32_t id :
         {FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CLEAR, FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR,
          FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR, FG_TRIGGEROUT_STATS_PULSECOUNT_CLEAR,
          FG_TRIGGERIN_STATS_MINMAXFREQUENCY_CLEAR}) {
        EXPECT_EQ(set(id, 0), PV_ERR_VALUE_OUT_OF_RANGE) << id;
        EXPECT_EQ(get(id), 1u) << id;
    }
}

TEST_F(Trigger, InputStatisticsTurnPeriodsIntoFrequencies) {
    preset("InputStatistics_ReadPeriod_Status", 62500);
    preset("InputStatistics_ReadMax_Status", 625000);
    preset("InputStatistics_ReadMin_Status", 6250);
    preset("InputStatistics_ReadPulses_Status", 4711);
    preset("Device1_Process1_Trigger_TriggerInput_InputStatus_Status", 0xa5);
    EXPECT_DOUBLE_EQ(getD(FG_TRIGGERIN_STATS_FREQUENCY), 1000.0);
    // The longest period is the lowest frequency.
    EXPECT_DOUBLE_EQ(getD(FG_TRIGGERIN_STATS_MINFREQUENCY), 100.0);
    EXPECT_DOUBLE_EQ(getD(FG_TRIGGERIN_STATS_MAXFREQUENCY), 10000.0);
    EXPECT_EQ(get(FG_TRIGGERIN_STATS_PULSECOUNT), 4711u);
    EXPECT_EQ(get(FG_DIGIO_INPUT), 0xa5u);
    // No period measured yet.
    preset("InputStatistics_ReadPeriod_Status", 0);
    EXPECT_EQ(getD(FG_TRIGGERIN_STATS_FREQUENCY), std::numeric_limits<double>::infinity());

    // Clearing the minimum and maximum toggles its register.
    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGERIN_STATS_MINMAXFREQUENCY_CLEAR, 1), 0);
    ASSERT_EQ(set(FG_TRIGGERIN_STATS_MINMAXFREQUENCY_CLEAR, 1), 0);
    EXPECT_EQ(loggedWrites(), (Writes{{"InputStatistics_ClearMinMax_Value", 1},
                                      {"InputStatistics_ClearMinMax_Value", 0}}));
}

TEST_F(Trigger, MultiplierNeverLetsTheSelectedPulseExceedTheDownscale) {
    struct Case {
        int32_t factor;
        bool selectedFirst;
    };
    const Case cases[] = {{4, false}, {2, true}, {2, true}, {65535, false}, {1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.factor);
        vb_log_clear();
        ASSERT_EQ(set(FG_TRIGGER_MULTIPLY_PULSES, c.factor), 0);
        const Write sel{"Generators_Sequence_SelectedPulse", uint64_t(c.factor)};
        const Write down{"Generators_Sequence_Downscale", uint64_t(c.factor)};
        Writes expected = c.selectedFirst ? Writes{sel, down} : Writes{down, sel};
        expected.push_back({"Generators_ClearDownscale_Mode", 2});
        EXPECT_EQ(loggedWrites(), expected);
    }
    EXPECT_EQ(set(FG_TRIGGER_MULTIPLY_PULSES, 0), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_TRIGGER_MULTIPLY_PULSES, 65536), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(get(FG_TRIGGER_MULTIPLY_PULSES), 1u);
}

TEST_F(Trigger, OutputStatisticsEventAndThresholds) {
    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGEROUT_STATS_SOURCE, 3), 0);
    ASSERT_EQ(set(FG_TRIGGER_OUTPUT_EVENT_SELECT, 2), 0);
    // The thresholds are independent of each other.
    ASSERT_EQ(set(FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD, 2), 0);
    ASSERT_EQ(set(FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_OFF_THRESHOLD, 2047), 0);
    EXPECT_EQ(loggedWrites(), (Writes{{"OutputStatistics_Select_Select", 3},
                                      {"OutputEvent_Select_Select", 2},
                                      {"Hysteresis_OnLevel_Number", 2},
                                      {"Hysteresis_OffLevel_Number", 2047}}));
    const std::pair<int32_t, int32_t> bad[] = {
        {FG_TRIGGEROUT_STATS_SOURCE, 4},
        {FG_TRIGGER_OUTPUT_EVENT_SELECT, 4},
        {FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD, 1},
        {FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_OFF_THRESHOLD, 2048}};
    for (auto [id, value] : bad)
        EXPECT_EQ(set(id, value), PV_ERR_VALUE_OUT_OF_RANGE) << id;
    preset("OutputStatistics_ReadPulses_Status", 65535);
    EXPECT_EQ(get(FG_TRIGGEROUT_STATS_PULSECOUNT), 65535u);
}
