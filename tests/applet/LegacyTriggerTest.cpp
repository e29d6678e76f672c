// The classic trigger parameters and their mapping onto the area trigger system, with the switch
// between the two interfaces.
#include "TriggerTest.h"

using namespace pvtest;

namespace {

constexpr int32_t kOutOfRange = -6000;
constexpr int32_t kNotAMultiple = -7080;
constexpr int32_t kLocked = -2070;
constexpr int32_t kTimingRule = -2079;
constexpr int32_t kInjected = -4343;

// Legacy parameter identifiers.
constexpr int32_t TRIGGERMODE = 8100, EXSYNCON = 8300, EXSYNCDELAY = 8400, EXSYNCPOLARITY = 8420,
                  FLASHON = 8600, STROBEPULSEDELAY = 8700, EXPOSURE = 10020, PRESCALER = 10050,
                  DIGIO_OUTPUT = 14020, FLASH_POLARITY = 24060;
constexpr int32_t ccsel(int k) {
    return 14001 + k;
}
constexpr int32_t kLegacyIds[] = {
    TRIGGERMODE,    EXSYNCON,  FLASHON,  EXPOSURE, EXSYNCDELAY, EXSYNCPOLARITY, STROBEPULSEDELAY,
    FLASH_POLARITY, PRESCALER, ccsel(0), ccsel(1), ccsel(2),    ccsel(3),       DIGIO_OUTPUT};
constexpr int32_t FREE_RUN = 0, GRABBER_CONTROLLED = 1, ASYNC_TRIGGER = 2, ASYNC_SOFTWARE = 4;
constexpr int32_t CC_EXSYNC = 0, CC_STROBEPULSE = 2, CC_GND = 4, CC_VCC = 5, CC_NOT_EXSYNC = 6,
                  CC_NOT_STROBEPULSE = 8;

class Legacy : public TriggerBoard {
protected:
    void legacyOn() {
        ASSERT_EQ(set(tid::LEGACY_MODE, 1), 0);
        ASSERT_EQ(get(tid::LEGACY_MODE), 1u);
    }
};

} // namespace

TEST_F(Legacy, StartsOffWithItsParametersRefusingAndReadOnly) {
    EXPECT_EQ(get(tid::LEGACY_MODE), 0u);
    vb_log_clear();
    for (int32_t id : kLegacyIds) {
        EXPECT_EQ(access(id), 1) << id;
        const bool isDouble = id == EXSYNCDELAY || id == STROBEPULSEDELAY || id == PRESCALER;
        EXPECT_EQ(isDouble ? setD(id, 10.0) : set(id, id == EXPOSURE ? 100 : 0), kLocked) << id;
    }
    EXPECT_EQ(set(EXPOSURE, 4000), kLocked);
    EXPECT_EQ(get(EXPOSURE), 4000u);
    EXPECT_EQ(getD(PRESCALER), 10.0);
    EXPECT_EQ(get(ccsel(1)), 5u);
    EXPECT_EQ(get(DIGIO_OUTPUT), 3u);
    EXPECT_EQ(loggedWrites(), Writes{});
    // Range checks come first.
    EXPECT_EQ(set(EXPOSURE, 5), kOutOfRange);
    EXPECT_EQ(set(tid::LEGACY_MODE, 2), kOutOfRange);
}

TEST_F(Legacy, SwitchingToTheCurrentValueChangesNothing) {
    ASSERT_EQ(set(tid::MODE, EXTERNAL), 0);
    ASSERT_EQ(set(tid::STATE, ACTIVE), 0);
    vb_log_clear();
    EXPECT_EQ(set(tid::LEGACY_MODE, 0), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(get(tid::MODE), EXTERNAL);
    EXPECT_EQ(access(EXPOSURE), 1);

    legacyOn();
    ASSERT_EQ(set(EXPOSURE, 2000), 0);
    vb_log_clear();
    EXPECT_EQ(set(tid::LEGACY_MODE, 1), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(get(EXPOSURE), 2000u);
}

TEST_F(Legacy, SwitchingResetsTheWholeTriggerSystem) {
    ASSERT_EQ(set(tid::MODE, EXTERNAL), 0);
    ASSERT_EQ(set(tid::STATE, ACTIVE), 0);
    ASSERT_EQ(setD(tid::DEBOUNCE, 2.0), 0);
    ASSERT_EQ(set(tid::out(2), 3), 0);
    ASSERT_EQ(set(tid::QUEUE_MODE, 1), 0);
    ASSERT_EQ(setD(tid::pfWidth(1), 100.0), 0);
    legacyOn();
    // Stopped in generator mode with every start value back in place.
    EXPECT_EQ(get(tid::MODE), GENERATOR);
    EXPECT_EQ(get(tid::STATE), SYNC_STOP);
    EXPECT_DOUBLE_EQ(getD(tid::DEBOUNCE), 1.008);
    EXPECT_EQ(get(tid::out(2)), 5u);
    EXPECT_EQ(reg(outSelectReg(2)), 5u);
    EXPECT_EQ(get(tid::QUEUE_MODE), 0u);
    EXPECT_DOUBLE_EQ(getD(tid::pfWidth(1)), 4.0);
    EXPECT_EQ(reg("TriggerMode_SelectExternal_Select"), 0u);
    EXPECT_EQ(reg("Generators_ClearQueuePulse_Mode"), 1u);

    // Switching off resets the legacy values as well, without touching the hardware for them.
    ASSERT_EQ(set(EXPOSURE, 2000), 0);
    ASSERT_EQ(set(ccsel(2), CC_GND), 0);
    ASSERT_EQ(set(tid::LEGACY_MODE, 0), 0);
    EXPECT_EQ(get(EXPOSURE), 4000u);
    EXPECT_EQ(get(ccsel(2)), 5u);
    EXPECT_DOUBLE_EQ(getD(tid::pfWidth(0)), 4000.0);
}

TEST_F(Legacy, AccessValuesFollowTheInterfaceInUse) {
    const int32_t readOnlyWhenOn[] = {tid::MODE,
                                      tid::STATE,
                                      300242,
                                      tid::EXCEEDED,
                                      tid::EXCEEDED_CLEAR,
                                      tid::DEBOUNCE,
                                      tid::DIGIO_INPUT,
                                      tid::IN_DOWNSCALE,
                                      tid::IN_PHASE,
                                      300243,
                                      tid::BUSY,
                                      tid::SW_FILL,
                                      300207,
                                      300208,
                                      tid::IN_FREQ,
                                      tid::IN_MINFREQ,
                                      tid::IN_MAXFREQ,
                                      tid::MINMAX_CLEAR,
                                      300236,
                                      300237,
                                      300238,
                                      tid::MISSING_FRAME,
                                      300249,
                                      tid::MULTIPLY,
                                      tid::QUEUE_MODE,
                                      tid::QUEUE_FILL,
                                      300240,
                                      300241};
    auto outputStage = [](auto&& check) {
        for (int n = 0; n < 4; ++n)
            for (int32_t id : {tid::pfDownscale(n), tid::pfPhase(n), tid::pfDelay(n),
                               tid::pfWidth(n), tid::cc(n)})
                check(id);
        for (int k = 0; k < 8; ++k)
            check(tid::out(k));
    };
    const int32_t shared[] = {tid::FPS, tid::IN_SRC, tid::IN_POLARITY, tid::SEND};

    legacyOn();
    for (int32_t id : readOnlyWhenOn)
        EXPECT_EQ(access(id), 1) << id;
    outputStage([&](int32_t id) { EXPECT_EQ(access(id), 1) << id; });
    for (int32_t id : shared)
        EXPECT_EQ(access(id), 7) << id;
    for (int32_t id : kLegacyIds)
        EXPECT_EQ(access(id), 7) << id;

    ASSERT_EQ(set(tid::LEGACY_MODE, 0), 0);
    const int32_t writableWhenOff[] = {tid::MODE,
                                       tid::STATE,
                                       tid::FPS,
                                       300242,
                                       tid::DEBOUNCE,
                                       300243,
                                       300208,
                                       tid::MINMAX_CLEAR,
                                       300238,
                                       300249,
                                       tid::IN_DOWNSCALE,
                                       tid::MULTIPLY,
                                       tid::EXCEEDED_CLEAR,
                                       300240};
    for (int32_t id : writableWhenOff)
        EXPECT_EQ(access(id), 7) << id;
    outputStage([&](int32_t id) { EXPECT_EQ(access(id), 7) << id; });
    for (int32_t id : kLegacyIds)
        EXPECT_EQ(access(id), 1) << id;
    // Values that can only be read stay so.
    for (int32_t id : {tid::EXCEEDED, tid::DIGIO_INPUT, tid::BUSY, tid::SW_FILL, tid::QUEUE_FILL})
        EXPECT_EQ(access(id), 1) << id;
}

TEST_F(Legacy, TheLockWorksBothWays) {
    legacyOn();
    vb_log_clear();
    EXPECT_EQ(setD(tid::DEBOUNCE, 2.0), kLocked);
    EXPECT_DOUBLE_EQ(getD(tid::DEBOUNCE), 1.008);
    for (int32_t id : {tid::MODE, tid::STATE, tid::MULTIPLY, tid::QUEUE_MODE, tid::out(3),
                       tid::cc(0), tid::pfDownscale(2), tid::IN_DOWNSCALE})
        EXPECT_EQ(set(id, 1), kLocked) << id;
    EXPECT_EQ(loggedWrites(), Writes{});
    // Shared by both interfaces. In any legacy mode but grabber-controlled the generator only
    // keeps the minimum period.
    EXPECT_EQ(setD(tid::FPS, 30.0), 0);
    EXPECT_EQ(set(tid::IN_SRC, 3), 0);
    EXPECT_EQ(set(tid::IN_POLARITY, 1), 0);
    EXPECT_EQ(set(tid::SEND, 1), -2140); // refused for the mode, not for the lock
    EXPECT_EQ(loggedWrites(), (Writes{{"Generators_Generator_MinimumPeriod_Number", 10},
                                      {"InputSelect_Select_Select", 3},
                                      {"InputSelect_Polarity_Invert", 1}}));

    // A mapped call that fails still drops the flag that let it through.
    ASSERT_EQ(set(TRIGGERMODE, GRABBER_CONTROLLED), 0);
    EXPECT_EQ(set(EXPOSURE, 40000), kTimingRule); // 30 frames per second: 33333 us
    EXPECT_EQ(get(EXPOSURE), 4000u);
    EXPECT_EQ(setD(tid::DEBOUNCE, 2.0), kLocked);
    failWrite(outSelectReg(1), 1, kInjected);
    EXPECT_EQ(set(EXSYNCON, 1), kInjected);
    EXPECT_EQ(get(EXSYNCON), 0u);
    EXPECT_EQ(set(tid::out(1), 0), kLocked);
}

TEST_F(Legacy, ExposureBecomesEveryPulseWidth) {
    legacyOn();
    EXPECT_EQ(set(EXPOSURE, 5), kOutOfRange);
    EXPECT_EQ(set(EXPOSURE, 15), kNotAMultiple);
    EXPECT_EQ(set(EXPOSURE, 125000), kOutOfRange);
    EXPECT_EQ(set(EXPOSURE, 124985), kNotAMultiple);
    EXPECT_EQ(get(EXPOSURE), 4000u);
    vb_log_clear();
    ASSERT_EQ(set(EXPOSURE, 124990), 0);
    Writes expected;
    for (int n = 0; n < 4; ++n)
        expected.push_back(
            {"PulseFormGenerators_PulseFormGenerator" + std::to_string(n) + "_Width_Width",
             7811875});
    EXPECT_EQ(loggedWrites(), expected);
    EXPECT_EQ(get(EXPOSURE), 124990u);
    for (int n = 0; n < 4; ++n)
        EXPECT_DOUBLE_EQ(getD(tid::pfWidth(n)), 124990.0);

    ASSERT_EQ(setD(EXSYNCDELAY, 10230.0), 0);
    ASSERT_EQ(setD(STROBEPULSEDELAY, 0.5), 0);
    EXPECT_EQ(reg("PulseFormGenerators_PulseFormGenerator0_Delay_Delay"), 639375u);
    EXPECT_EQ(reg("PulseFormGenerators_PulseFormGenerator1_Delay_Delay"), 31u);
    EXPECT_EQ(setD(EXSYNCDELAY, 10230.5), kOutOfRange);
    EXPECT_EQ(getD(EXSYNCDELAY), 10230.0);
}

TEST_F(Legacy, TriggerModesDriveTheAreaTriggerSystem) {
    legacyOn();
    ASSERT_EQ(set(TRIGGERMODE, ASYNC_TRIGGER), 0);
    EXPECT_EQ(get(tid::MODE), EXTERNAL);
    EXPECT_EQ(get(tid::STATE), ACTIVE);
    EXPECT_EQ(get(tid::QUEUE_MODE), 0u);
    EXPECT_EQ(reg("Generators_Generator_MinimumPeriod_Number"), 10u);
    EXPECT_EQ(reg("TriggerMode_SelectExternal_Select"), 1u);

    ASSERT_EQ(set(TRIGGERMODE, GRABBER_CONTROLLED), 0);
    EXPECT_EQ(get(tid::MODE), GENERATOR);
    EXPECT_EQ(get(tid::STATE), ACTIVE);
    EXPECT_EQ(reg("Generators_Generator_MinimumPeriod_Number"), 7812490u);

    ASSERT_EQ(set(TRIGGERMODE, ASYNC_SOFTWARE), 0);
    EXPECT_EQ(get(tid::MODE), SOFTWARE);
    EXPECT_EQ(reg("Generators_Generator_MinimumPeriod_Number"), 10u);
    preset("Generators_Generator_MaximumReached_Status", 1);
    EXPECT_EQ(set(tid::SEND, 1), 0);

    // Free run stops asynchronously: the outputs rest at their idle levels, and the refreshed
    // ExSync and flash selections are only stored.
    vb_log_clear();
    ASSERT_EQ(set(TRIGGERMODE, FREE_RUN), 0);
    EXPECT_EQ(get(tid::STATE), ASYNC_STOP);
    EXPECT_EQ(get(tid::MODE), SOFTWARE);
    Ops op;
    // ExSync (off, low active) on output 1 and line 0, flash on output 0 and no line.
    EXPECT_EQ(loggedWrites(), (op.hold() + Writes{{ccSelectReg(0), 5}, {ccInvertReg(0), 1}}));
    EXPECT_EQ(get(tid::out(1)), 5u);
    EXPECT_EQ(get(tid::out(0)), 5u);
    EXPECT_EQ(set(TRIGGERMODE, 3), kOutOfRange);
    EXPECT_EQ(get(TRIGGERMODE), uint32_t(FREE_RUN));
}

TEST_F(Legacy, PulsesMapOntoOutputsAndLines) {
    legacyOn();
    ASSERT_EQ(set(TRIGGERMODE, GRABBER_CONTROLLED), 0);
    struct Pulse {
        int32_t on, polarity;
        unsigned output;
        int32_t direct, inverted, other; // legacy line selections
        uint32_t generator;
    };
    const Pulse pulses[] = {
        {EXSYNCON, EXSYNCPOLARITY, 1, CC_EXSYNC, CC_NOT_EXSYNC, CC_STROBEPULSE, 0},
        {FLASHON, FLASH_POLARITY, 0, CC_STROBEPULSE, CC_NOT_STROBEPULSE, CC_EXSYNC, 1}};
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
    ASSERT_EQ(set(FLASHON, 1), 0);
    ASSERT_EQ(set(ccsel(2), CC_NOT_STROBEPULSE), 0);
    EXPECT_EQ(get(tid::cc(2)), 7u);
    ASSERT_EQ(set(ccsel(2), CC_VCC), 0);
    EXPECT_EQ(get(tid::cc(2)), 5u);
    EXPECT_EQ(set(ccsel(2), 1), kOutOfRange);
}

TEST_F(Legacy, ExsyncOnALineFollowsItsSwitch) {
    legacyOn();
    ASSERT_EQ(set(ccsel(1), CC_EXSYNC), 0);
    ASSERT_EQ(set(EXSYNCPOLARITY, 0), 0);
    ASSERT_EQ(set(EXSYNCON, 1), 0);
    EXPECT_EQ(get(tid::cc(1)), 6u); // CC_NOT_PULSEGEN0
    ASSERT_EQ(set(EXSYNCON, 0), 0);
    EXPECT_EQ(get(tid::cc(1)), 5u); // CC_VCC
    EXPECT_EQ(reg(ccSelectReg(1)), 5u);
    EXPECT_EQ(reg(ccInvertReg(1)), 1u);
}

TEST_F(Legacy, DigitalOutputsShowStaticLevels) {
    legacyOn();
    // Even with the outputs held, the levels are written straight through.
    ASSERT_EQ(set(TRIGGERMODE, FREE_RUN), 0);
    vb_log_clear();
    ASSERT_EQ(set(DIGIO_OUTPUT, 2), 0);
    EXPECT_EQ(loggedWrites(), (Writes{{outSelectReg(3), 5},
                                      {outInvertReg(3), 0},
                                      {outSelectReg(7), 5},
                                      {outInvertReg(7), 1}}));
    EXPECT_EQ(get(DIGIO_OUTPUT), 2u);
    EXPECT_EQ(get(tid::out(3)), 5u);
    EXPECT_EQ(get(tid::out(7)), 5u);
    ASSERT_EQ(set(DIGIO_OUTPUT, 1), 0);
    EXPECT_EQ(reg(outInvertReg(3)), 1u);
    EXPECT_EQ(reg(outInvertReg(7)), 0u);
    EXPECT_EQ(set(DIGIO_OUTPUT, 4), kOutOfRange);
    EXPECT_EQ(get(DIGIO_OUTPUT), 1u);
}

TEST_F(Legacy, PrescalerIsOnlyStored) {
    legacyOn();
    vb_log_clear();
    ASSERT_EQ(setD(PRESCALER, 1048.56), 0);
    ASSERT_EQ(setD(PRESCALER, 0.032), 0);
    EXPECT_EQ(loggedWrites(), Writes{});
    EXPECT_EQ(getD(PRESCALER), 0.032);
    EXPECT_EQ(setD(PRESCALER, 0.031), kOutOfRange);
    EXPECT_EQ(setD(PRESCALER, 1048.57), kOutOfRange);
    EXPECT_EQ(getD(PRESCALER), 0.032);
}
