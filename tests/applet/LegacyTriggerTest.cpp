// The classic trigger parameters and their mapping onto the area trigger system, with the switch
// between the two interfaces.
#include "TriggerTest.h"

#include <pellvane/parameters.h>

using namespace pvtest;

namespace {

constexpr int32_t kInjected = -4343;

// The legacy parameters.
constexpr int32_t ccsel(int k) {
    constexpr int32_t ids[] = {FG_CCSEL0, FG_CCSEL1, FG_CCSEL2, FG_CCSEL3};
    return ids[k];
}
constexpr int32_t kLegacyIds[] = {FG_TRIGGERMODE,
                                  FG_EXSYNCON,
                                  FG_FLASHON,
                                  FG_EXPOSURE,
                                  FG_EXSYNCDELAY,
                                  FG_EXSYNCPOLARITY,
                                  FG_STROBEPULSEDELAY,
                                  FG_FLASH_POLARITY,
                                  FG_PRESCALER,
                                  ccsel(0),
                                  ccsel(1),
                                  ccsel(2),
                                  ccsel(3),
                                  FG_DIGIO_OUTPUT};

class Legacy : public TriggerBoard {
protected:
    void legacyOn() {
        ASSERT_EQ(set(FG_TRIGGER_LEGACY_MODE, 1), 0);
        ASSERT_EQ(get(FG_TRIGGER_LEGACY_MODE), 1u);
    }
};

} // namespace

TEST_F(Legacy, StartsOffWithItsParametersRefusingAndReadOnly) {
    EXPECT_EQ(get(FG_TRIGGER_LEGACY_MODE), 0u);
    vb_log_clear();
    for (int32_t id : kLegacyIds) {
        EXPECT_EQ(access(id), 1) << id;
        const bool isDouble =
            id == FG_EXSYNCDELAY || id == FG_STROBEPULSEDELAY || id == FG_PRESCALER;
        EXPECT_EQ(isDouble ? setD(id, 10.0) : set(id, id == FG_EXPOSURE ? 100 : 0),
                  PV_ERR_INVALID_PARAMETER)
            << id;
    }
    EXPECT_EQ(set(FG_EXPOSURE, 4000), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(get(FG_EXPOSURE), 4000u);
    EXPECT_EQ(getD(FG_PRESCALER), 10.0);
    EXPECT_EQ(get(ccsel(1)), 5u);
    EXPECT_EQ(get(FG_DIGIO_OUTPUT), 3u);
    EXPECT_EQ(loggedWrites(), Writes{});
    // Range checks come first.
    EXPECT_EQ(set(FG_EXPOSURE, 5), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_TRIGGER_LEGACY_MODE, 2), PV_ERR_VALUE_OUT_OF_RANGE);
}

TEST_F(Legacy, SwitchingToTheCurrentValueChangesNothing) {
    ASSERT_EQ(set(FG_AREATRIGGERMODE, EXTERNAL), 0);
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    vb_log_clear();
    EXPECT_EQ(set(FG_TRIGGER_LEGACY_MODE, 0), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(get(FG_AREATRIGGERMODE), EXTERNAL);
    EXPECT_EQ(access(FG_EXPOSURE), 1);

    legacyOn();
    ASSERT_EQ(set(FG_EXPOSURE, 2000), 0);
    vb_log_clear();
    EXPECT_EQ(set(FG_TRIGGER_LEGACY_MODE, 1), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(get(FG_EXPOSURE), 2000u);
}

TEST_F(Legacy, SwitchingResetsTheWholeTriggerSystem) {
    ASSERT_EQ(set(FG_AREATRIGGERMODE, EXTERNAL), 0);
    ASSERT_EQ(set(FG_TRIGGERSTATE, ACTIVE), 0);
    ASSERT_EQ(setD(FG_TRIGGERIN_DEBOUNCE, 2.0), 0);
    ASSERT_EQ(set(tid::out(2), 3), 0);
    ASSERT_EQ(set(FG_TRIGGERQUEUE_MODE, 1), 0);
    ASSERT_EQ(setD(tid::pfWidth(1), 100.0), 0);
    legacyOn();
    // Stopped in generator mode with every start value back in place.
    EXPECT_EQ(get(FG_AREATRIGGERMODE), GENERATOR);
    EXPECT_EQ(get(FG_TRIGGERSTATE), SYNC_STOP);
    EXPECT_DOUBLE_EQ(getD(FG_TRIGGERIN_DEBOUNCE), 1.008);
    EXPECT_EQ(get(tid::out(2)), 5u);
    EXPECT_EQ(reg(outSelectReg(2)), 5u);
    EXPECT_EQ(get(FG_TRIGGERQUEUE_MODE), 0u);
    EXPECT_DOUBLE_EQ(getD(tid::pfWidth(1)), 4.0);
    EXPECT_EQ(reg("TriggerMode_SelectExternal_Select"), 0u);
    EXPECT_EQ(reg("Generators_ClearQueuePulse_Mode"), 1u);

    // Switching off resets the legacy values as well, without touching the hardware for them.
    ASSERT_EQ(set(FG_EXPOSURE, 2000), 0);
    ASSERT_EQ(set(ccsel(2), CC_GND), 0);
    ASSERT_EQ(set(FG_TRIGGER_LEGACY_MODE, 0), 0);
    EXPECT_EQ(get(FG_EXPOSURE), 4000u);
    EXPECT_EQ(get(ccsel(2)), 5u);
    EXPECT_DOUBLE_EQ(getD(tid::pfWidth(0)), 4000.0);
}

TEST_F(Legacy, AccessValuesFollowTheInterfaceInUse) {
    const int32_t readOnlyWhenOn[] = {FG_AREATRIGGERMODE,
                                      FG_TRIGGERSTATE,
                                      FG_TRIGGER_OUTPUT_EVENT_SELECT,
                                      FG_TRIGGER_EXCEEDED_PERIOD_LIMITS,
                                      FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CLEAR,
                                      FG_TRIGGERIN_DEBOUNCE,
                                      FG_DIGIO_INPUT,
                                      FG_TRIGGERIN_DOWNSCALE,
                                      FG_TRIGGERIN_DOWNSCALE_PHASE,
                                      FG_TRIGGERIN_BYPASS_SRC,
                                      FG_SOFTWARETRIGGER_IS_BUSY,
                                      FG_SOFTWARETRIGGER_QUEUE_FILLLEVEL,
                                      FG_TRIGGERIN_STATS_PULSECOUNT,
                                      FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR,
                                      FG_TRIGGERIN_STATS_FREQUENCY,
                                      FG_TRIGGERIN_STATS_MINFREQUENCY,
                                      FG_TRIGGERIN_STATS_MAXFREQUENCY,
                                      FG_TRIGGERIN_STATS_MINMAXFREQUENCY_CLEAR,
                                      FG_TRIGGEROUT_STATS_SOURCE,
                                      FG_TRIGGEROUT_STATS_PULSECOUNT,
                                      FG_TRIGGEROUT_STATS_PULSECOUNT_CLEAR,
                                      FG_MISSING_CAMERA_FRAME_RESPONSE,
                                      FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR,
                                      FG_TRIGGER_MULTIPLY_PULSES,
                                      FG_TRIGGERQUEUE_MODE,
                                      FG_TRIGGERQUEUE_FILLLEVEL,
                                      FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD,
                                      FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_OFF_THRESHOLD};
    auto outputStage = [](auto&& check) {
        for (int n = 0; n < 4; ++n)
            for (int32_t id : {tid::pfDownscale(n), tid::pfPhase(n), tid::pfDelay(n),
                               tid::pfWidth(n), tid::cc(n)})
                check(id);
        for (int k = 0; k < 8; ++k)
            check(tid::out(k));
    };
    const int32_t shared[] = {FG_TRIGGER_FRAMESPERSECOND, FG_TRIGGERIN_SRC, FG_TRIGGERIN_POLARITY,
                              FG_SENDSOFTWARETRIGGER};

    legacyOn();
    for (int32_t id : readOnlyWhenOn)
        EXPECT_EQ(access(id), 1) << id;
    outputStage([&](int32_t id) { EXPECT_EQ(access(id), 1) << id; });
    for (int32_t id : shared)
        EXPECT_EQ(access(id), 7) << id;
    for (int32_t id : kLegacyIds)
        EXPECT_EQ(access(id), 7) << id;

    ASSERT_EQ(set(FG_TRIGGER_LEGACY_MODE, 0), 0);
    const int32_t writableWhenOff[] = {FG_AREATRIGGERMODE,
                                       FG_TRIGGERSTATE,
                                       FG_TRIGGER_FRAMESPERSECOND,
                                       FG_TRIGGER_OUTPUT_EVENT_SELECT,
                                       FG_TRIGGERIN_DEBOUNCE,
                                       FG_TRIGGERIN_BYPASS_SRC,
                                       FG_TRIGGERIN_STATS_PULSECOUNT_CLEAR,
                                       FG_TRIGGERIN_STATS_MINMAXFREQUENCY_CLEAR,
                                       FG_TRIGGEROUT_STATS_PULSECOUNT_CLEAR,
                                       FG_MISSING_CAMERA_FRAME_RESPONSE_CLEAR,
                                       FG_TRIGGERIN_DOWNSCALE,
                                       FG_TRIGGER_MULTIPLY_PULSES,
                                       FG_TRIGGER_EXCEEDED_PERIOD_LIMITS_CLEAR,
                                       FG_TRIGGER_QUEUE_FILLLEVEL_EVENT_ON_THRESHOLD};
    for (int32_t id : writableWhenOff)
        EXPECT_EQ(access(id), 7) << id;
    outputStage([&](int32_t id) { EXPECT_EQ(access(id), 7) << id; });
    for (int32_t id : kLegacyIds)
        EXPECT_EQ(access(id), 1) << id;
    // Values that can only be read stay so.
    for (int32_t id :
         {FG_TRIGGER_EXCEEDED_PERIOD_LIMITS, FG_DIGIO_INPUT, FG_SOFTWARETRIGGER_IS_BUSY,
          FG_SOFTWARETRIGGER_QUEUE_FILLLEVEL, FG_TRIGGERQUEUE_FILLLEVEL})
        EXPECT_EQ(access(id), 1) << id;
}

TEST_F(Legacy, TheLockWorksBothWays) {
    legacyOn();
    vb_log_clear();
    EXPECT_EQ(setD(FG_TRIGGERIN_DEBOUNCE, 2.0), PV_ERR_INVALID_PARAMETER);
    EXPECT_DOUBLE_EQ(getD(FG_TRIGGERIN_DEBOUNCE), 1.008);
    for (int32_t id :
         {FG_AREATRIGGERMODE, FG_TRIGGERSTATE, FG_TRIGGER_MULTIPLY_PULSES, FG_TRIGGERQUEUE_MODE,
          tid::out(3), tid::cc(0), tid::pfDownscale(2), FG_TRIGGERIN_DOWNSCALE})
        EXPECT_EQ(set(id, 1), PV_ERR_INVALID_PARAMETER) << id;
    EXPECT_EQ(loggedWrites(), Writes{});
    // Shared by both interfaces. In any legacy mode but grabber-controlled the generator only
    // keeps the minimum period.
    EXPECT_EQ(setD(FG_TRIGGER_FRAMESPERSECOND, 30.0), 0);
    EXPECT_EQ(set(FG_TRIGGERIN_SRC, 3), 0);
    EXPECT_EQ(set(FG_TRIGGERIN_POLARITY, 1), 0);
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 1), -2140); // refused for the mode, not for the lock
    EXPECT_EQ(loggedWrites(), (Writes{{"Generators_Generator_MinimumPeriod_Number", 10},
                                      {"InputSelect_Select_Select", 3},
                                      {"InputSelect_Polarity_Invert", 1}}));

    // A mapped call that fails still drops the flag that let it through.
    ASSERT_EQ(set(FG_TRIGGERMODE, GRABBER_CONTROLLED), 0);
    EXPECT_EQ(set(FG_EXPOSURE, 40000), PV_ERR_TIMING_RULE); // 30 frames per second: 33333 us
    EXPECT_EQ(get(FG_EXPOSURE), 4000u);
    EXPECT_EQ(setD(FG_TRIGGERIN_DEBOUNCE, 2.0), PV_ERR_INVALID_PARAMETER);
    failWrite(outSelectReg(1), 1, kInjected);
    EXPECT_EQ(set(FG_EXSYNCON, 1), kInjected);
    EXPECT_EQ(get(FG_EXSYNCON), 0u);
    EXPECT_EQ(set(tid::out(1), 0), PV_ERR_INVALID_PARAMETER);
}

TEST_F(Legacy, ExposureBecomesEveryPulseWidth) {
    legacyOn();
    EXPECT_EQ(set(FG_EXPOSURE, 5), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_EXPOSURE, 15), PV_ERR_NOT_A_MULTIPLE);
    EXPECT_EQ(set(FG_EXPOSURE, 125000), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(set(FG_EXPOSURE, 124985), PV_ERR_NOT_A_MULTIPLE);
    EXPECT_EQ(get(FG_EXPOSURE), 4000u);
    vb_log_clear();
    ASSERT_EQ(set(FG_EXPOSURE, 124990), 0);
    Writes expected;
    for (int n = 0; n < 4; ++n)
        expected.push_back(
            {"PulseFormGenerators_PulseFormGenerator" + std::to_string(n) + "_Width_Width",
             7811875});
    EXPECT_EQ(loggedWrites(), expected);
    EXPECT_EQ(get(FG_EXPOSURE), 124990u);
    for (int n = 0; n < 4; ++n)
        EXPECT_DOUBLE_EQ(getD(tid::pfWidth(n)), 124990.0);

    ASSERT_EQ(setD(FG_EXSYNCDELAY, 10230.0), 0);
    ASSERT_EQ(setD(FG_STROBEPULSEDELAY, 0.5), 0);
    EXPECT_EQ(reg("PulseFormGenerators_PulseFormGenerator0_Delay_Delay"), 639375u);
    EXPECT_EQ(reg("PulseFormGenerators_PulseFormGenerator1_Delay_Delay"), 31u);
    EXPECT_EQ(setD(FG_EXSYNCDELAY, 10230.5), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(getD(FG_EXSYNCDELAY), 10230.0);
}

TEST_F(Legacy, TriggerModesDriveTheAreaTriggerSystem) {
    legacyOn();
    ASSERT_EQ(set(FG_TRIGGERMODE, ASYNC_TRIGGER), 0);
    EXPECT_EQ(get(FG_AREATRIGGERMODE), EXTERNAL);
    EXPECT_EQ(get(FG_TRIGGERSTATE), ACTIVE);
    EXPECT_EQ(get(FG_TRIGGERQUEUE_MODE), 0u);
    EXPECT_EQ(reg("Generators_Generator_MinimumPeriod_Number"), 10u);
    EXPECT_EQ(reg("TriggerMode_SelectExternal_Select"), 1u);

    ASSERT_EQ(set(FG_TRIGGERMODE, GRABBER_CONTROLLED), 0);
    EXPECT_EQ(get(FG_AREATRIGGERMODE), GENERATOR);
    EXPECT_EQ(get(FG_TRIGGERSTATE), ACTIVE);
    EXPECT_EQ(reg("Generators_Generator_MinimumPeriod_Number"), 7812490u);

    ASSERT_EQ(set(FG_TRIGGERMODE, ASYNC_SOFTWARE_TRIGGER), 0);
    EXPECT_EQ(get(FG_AREATRIGGERMODE), SOFTWARE);
    EXPECT_EQ(reg("Generators_Generator_MinimumPeriod_Number"), 10u);
    preset("Generators_Generator_MaximumReached_Status", 1);
    EXPECT_EQ(set(FG_SENDSOFTWARETRIGGER, 1), 0);

    // Free run stops asynchronously: the outputs rest at their idle levels, and the refreshed
    // ExSync and flash selections are only stored.
    vb_log_clear();
    ASSERT_EQ(set(FG_TRIGGERMODE, FREE_RUN), 0);
    EXPECT_EQ(get(FG_TRIGGERSTATE), ASYNC_STOP);
    EXPECT_EQ(get(FG_AREATRIGGERMODE), SOFTWARE);
    Ops op;
    // ExSync (off, low active) on output 1 and line 0, flash on output 0 and no line.
    EXPECT_EQ(loggedWrites(), (op.hold() + Writes{{ccSelectReg(0), 5}, {ccInvertReg(0), 1}}));
    EXPECT_EQ(get(tid::out(1)), 5u);
    EXPECT_EQ(get(tid::out(0)), 5u);
    EXPECT_EQ(set(FG_TRIGGERMODE, 3), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(get(FG_TRIGGERMODE), uint32_t(FREE_RUN));
}

TEST_F(Legacy, PulsesMapOntoOutputsAndLines) {
    legacyOn();
    ASSERT_EQ(set(FG_TRIGGERMODE, GRABBER_CONTROLLED), 0);
    struct Pulse {
        int32_t on, polarity;
        unsigned output;
        int32_t direct, inverted, other; // legacy line selections
        uint32_t generator;
    };
    const Pulse pulses[] = {
        {FG_EXSYNCON, FG_EXSYNCPOLARITY, 1, CC_EXSYNC, CC_NOT_EXSYNC, CC_STROBEPULSE, 0},
        {FG_FLASHON, FG_FLASH_POLARITY, 0, CC_STROBEPULSE, CC_NOT_STROBEPULSE, CC_EXSYNC, 1}};
    // (on, polarity) -> area selection of the output and a direct line, of an inverted line.
    struct Row {
        int32_t on, polarity;
        uint32_t direct, inverted;
    };
    for (const Pulse& p : pulses) {
        const uint32_t g = p.generator;
        const Row rows[] = {{1, 0, 6 + g, g}, {1, 1, g, 6 + g}, {0, 0, 5, 4}, {0, 1, 4, 5}};
        ASSERT_EQ(set(ccsel(0), p.direct), 0);
        ASSERT_EQ(set(ccsel(1), p.inverted), 0);
        ASSERT_EQ(set(ccsel(2), CC_GND), 0);
        ASSERT_EQ(set(ccsel(3), p.other), 0);
        for (const Row& r : rows) {
            SCOPED_TRACE(std::to_string(p.on) + ": on " + std::to_string(r.on) + " polarity " +
                         std::to_string(r.polarity));
            const uint32_t line3 = get(tid::cc(3));
            ASSERT_EQ(set(p.polarity, r.polarity), 0);
            vb_log_clear();
            ASSERT_EQ(set(p.on, r.on), 0);
            EXPECT_EQ(get(tid::out(p.output)), r.direct);
            EXPECT_EQ(get(tid::cc(0)), r.direct);
            EXPECT_EQ(get(tid::cc(1)), r.inverted);
            EXPECT_EQ(get(tid::cc(2)), 4u);
            EXPECT_EQ(get(tid::cc(3)), line3); // carries the other pulse
            // Output first, then the lines in order; the others untouched.
            EXPECT_EQ(loggedWrites(), (Writes{{outSelectReg(p.output), kRoutingOf[r.direct].select},
                                              {outInvertReg(p.output), kRoutingOf[r.direct].invert},
                                              {ccSelectReg(0), kRoutingOf[r.direct].select},
                                              {ccInvertReg(0), kRoutingOf[r.direct].invert},
                                              {ccSelectReg(1), kRoutingOf[r.inverted].select},
                                              {ccInvertReg(1), kRoutingOf[r.inverted].invert}}));
        }
    }
    // A line selection maps from the current pulse states: flash on, high active.
    ASSERT_EQ(set(FG_FLASHON, 1), 0);
    ASSERT_EQ(set(ccsel(2), CC_NOT_STROBEPULSE), 0);
    EXPECT_EQ(get(tid::cc(2)), 7u);
    ASSERT_EQ(set(ccsel(2), CC_VCC), 0);
    EXPECT_EQ(get(tid::cc(2)), 5u);
    EXPECT_EQ(set(ccsel(2), 1), PV_ERR_VALUE_OUT_OF_RANGE);
}

TEST_F(Legacy, ExsyncOnALineFollowsItsSwitch) {
    legacyOn();
    ASSERT_EQ(set(ccsel(1), CC_EXSYNC), 0);
    ASSERT_EQ(set(FG_EXSYNCPOLARITY, 0), 0);
    ASSERT_EQ(set(FG_EXSYNCON, 1), 0);
    EXPECT_EQ(get(tid::cc(1)), 6u); // CC_NOT_PULSEGEN0
    ASSERT_EQ(set(FG_EXSYNCON, 0), 0);
    EXPECT_EQ(get(tid::cc(1)), 5u); // CC_VCC
    EXPECT_EQ(reg(ccSelectReg(1)), 5u);
    EXPECT_EQ(reg(ccInvertReg(1)), 1u);
}

TEST_F(Legacy, DigitalOutputsShowStaticLevels) {
    legacyOn();
    // Even with the outputs held, the levels are written straight through.
    ASSERT_EQ(set(FG_TRIGGERMODE, FREE_RUN), 0);
    vb_log_clear();
    ASSERT_EQ(set(FG_DIGIO_OUTPUT, 2), 0);
    EXPECT_EQ(loggedWrites(), (Writes{{outSelectReg(3), 5},
                                      {outInvertReg(3), 0},
                                      {outSelectReg(7), 5},
                                      {outInvertReg(7), 1}}));
    EXPECT_EQ(get(FG_DIGIO_OUTPUT), 2u);
    EXPECT_EQ(get(tid::out(3)), 5u);
    EXPECT_EQ(get(tid::out(7)), 5u);
    ASSERT_EQ(set(FG_DIGIO_OUTPUT, 1), 0);
    EXPECT_EQ(reg(outInvertReg(3)), 1u);
    EXPECT_EQ(reg(outInvertReg(7)), 0u);
    EXPECT_EQ(set(FG_DIGIO_OUTPUT, 4), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(get(FG_DIGIO_OUTPUT), 1u);
}

TEST_F(Legacy, PrescalerIsOnlyStored) {
    legacyOn();
    vb_log_clear();
    ASSERT_EQ(setD(FG_PRESCALER, 1048.56), 0);
    ASSERT_EQ(setD(FG_PRESCALER, 0.032), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(getD(FG_PRESCALER), 0.032);
    EXPECT_EQ(setD(FG_PRESCALER, 0.031), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(setD(FG_PRESCALER, 1048.57), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(getD(FG_PRESCALER), 0.032);
}
