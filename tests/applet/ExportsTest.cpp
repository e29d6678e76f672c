// The export layer: handle checks, routing to the applet object, forwarding to the host library
// and the last-error rules.
#include "Harness.h"

#include <pellvane/parameters.h>

#include <cstring>
#include <filesystem>

using namespace pvtest;

namespace {

class ExportLayer : public OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
    }
};

// Every export but Std_entry and Info, called on a handle, must answer like a bad handle when
// the handle or its first word is null.
void expectBadHandleAnswers(const pvtest::Exports& x, void* fg) {
    int32_t value = 0;
    size_t size = 0;
    char buffer[8] = {};
    EXPECT_EQ(x.Fg_setParameterWithType(fg, 100, &value, 0, 1), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_getParameterWithType(fg, 100, &value, 0, 1), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_getNrOfParameter(fg), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_getParameterName(fg, 0), nullptr);
    EXPECT_EQ(x.Fg_getParameterId(fg, 0), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_getParameterIdByName(fg, "FG_WIDTH"), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_saveConfig(fg, "a.mcf"), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_loadConfig(fg, "a.mcf"), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_getParameterInfoXML(fg, 0, buffer, &size), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_getEventMask(fg, "FG_OVERFLOW_CAM0"), 0u);
    EXPECT_EQ(x.Fg_getEventName(fg, 1), nullptr);
    EXPECT_EQ(x.Fg_AllocShading(fg, 0, 0), nullptr);
    EXPECT_EQ(x.Fg_FreeShading(fg, nullptr), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Shad_SetSubValueLine(fg, nullptr, 0, 0, 1.0f), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Shad_SetMultValueLine(fg, nullptr, 0, 0, 1.0f), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Shad_SetFixedPatternNoiseLine(fg, nullptr, 0, 0, 1), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Shad_GetMaxLine(fg, nullptr), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Shad_GetAccess(fg, nullptr), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Shad_FreeAccess(fg, nullptr), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Shad_WriteActLine(fg, nullptr, 0), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_getAppletId(fg, nullptr), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_AcquireEx(fg, 0, 1, 0, nullptr), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_stopAcquireEx(fg, 0, nullptr, 0), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_getLastPicNumberEx(fg, 0, nullptr), int64_t{PV_ERR_INVALID_HANDLE});
    EXPECT_EQ(x.Fg_getLastPicNumberBlockingEx(fg, 1, 0, 1, nullptr),
              int64_t{PV_ERR_INVALID_HANDLE});
    EXPECT_EQ(x.Fg_getStatusEx(fg, 0, 0, 0, nullptr), int64_t{PV_ERR_INVALID_HANDLE});
    EXPECT_EQ(x.Fg_getLastErrorNumber(fg), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(x.Fg_getParameterInfo(fg, 0), nullptr);
    EXPECT_EQ(x.Fg_FreeGrabber(fg), PV_ERR_INVALID_HANDLE);
}

} // namespace

TEST_F(ExportLayer, NullHandleAndNullFirstWordAreBadHandles) {
    expectBadHandleAnswers(x(), nullptr);
    FgRecord empty;
    expectBadHandleAnswers(x(), &empty);
    // The bad-handle calls did not disturb the real board.
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
}

TEST_F(ExportLayer, FreeGrabberClearsTheRecordAndTheHandleGoesBad) {
    EXPECT_EQ(vb_open_host_handles(), 1);
    EXPECT_EQ(vb_loaded_images(), 1);
    EXPECT_EQ(x().Fg_FreeGrabber(&fg_), 0);
    EXPECT_EQ(fg_.applet, nullptr);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_INVALID_HANDLE);
    EXPECT_EQ(vb_open_host_handles(), 0);
    EXPECT_EQ(vb_loaded_images(), 0);
}

TEST_F(ExportLayer, ForwardedCallsReachTheHostAndKeepTheLastError) {
    // A failing host call leaves the host's own error number; a later success clears it.
    int32_t failed = x().Fg_AcquireEx(&fg_, 7, 1, 0, nullptr);
    EXPECT_LT(failed, 0);
    int32_t hostError = x().Fg_getLastErrorNumber(&fg_);
    EXPECT_LT(hostError, 0);
    EXPECT_NE(hostError, PV_ERR_NOT_WRITABLE_OR_UNBOUND);

    EXPECT_EQ(x().Fg_AcquireEx(&fg_, 0, 10, 0, nullptr), 0);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
    EXPECT_GE(x().Fg_getLastPicNumberEx(&fg_, 0, nullptr), 0);
    EXPECT_EQ(x().Fg_getStatusEx(&fg_, 100, 0, 0, nullptr), 1); // acquisition active
    EXPECT_EQ(x().Fg_stopAcquireEx(&fg_, 0, nullptr, 0), 0);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);

    // 64-bit results are compared as 64-bit values.
    EXPECT_LT(x().Fg_getLastPicNumberEx(&fg_, 9, nullptr), 0);
    EXPECT_LT(x().Fg_getLastErrorNumber(&fg_), 0);
    EXPECT_GT(x().Fg_getAppletId(&fg_, nullptr), 0);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
}

TEST_F(ExportLayer, ShadingIsNotSupported) {
    EXPECT_EQ(x().Fg_AllocShading(&fg_, 0, 0), nullptr);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), -1);
    EXPECT_EQ(x().Shad_GetAccess(&fg_, nullptr), PV_ERR_NOT_SUPPORTED);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_NOT_SUPPORTED);
    EXPECT_EQ(x().Fg_FreeShading(&fg_, nullptr), PV_ERR_NOT_SUPPORTED);
    EXPECT_EQ(x().Shad_SetSubValueLine(&fg_, nullptr, 1, 2, 0.5f), PV_ERR_NOT_SUPPORTED);
    EXPECT_EQ(x().Shad_SetMultValueLine(&fg_, nullptr, 1, 2, 0.5f), PV_ERR_NOT_SUPPORTED);
    EXPECT_EQ(x().Shad_SetFixedPatternNoiseLine(&fg_, nullptr, 1, 2, 3), PV_ERR_NOT_SUPPORTED);
    EXPECT_EQ(x().Shad_GetMaxLine(&fg_, nullptr), PV_ERR_NOT_SUPPORTED);
    EXPECT_EQ(x().Shad_FreeAccess(&fg_, nullptr), PV_ERR_NOT_SUPPORTED);
    EXPECT_EQ(x().Shad_WriteActLine(&fg_, nullptr, 0), PV_ERR_NOT_SUPPORTED);
}

TEST_F(ExportLayer, WideGetsClearTheUpperHalfOnlyForTypeCodes3And4) {
    // FG_NR_OF_DMAS is served by the host as a 32-bit value.
    for (int32_t type : {3, 4}) {
        uint64_t value = ~uint64_t{0};
        EXPECT_EQ(x().Fg_getParameterWithType(&fg_, FG_NR_OF_DMAS, &value, 0, type), 0);
        EXPECT_EQ(value, 1u) << "type " << type;
    }
    uint64_t value = ~uint64_t{0};
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, FG_NR_OF_DMAS, &value, 0, 2), 0);
    EXPECT_EQ(value & 0xffffffffu, 1u);
    EXPECT_EQ(value >> 32, 0xffffffffu);
}

TEST_F(ExportLayer, ParameterInfoRootIsHandedOutOnlyForValidPorts) {
    // The applet's own nodes are in place; only port 0 has any.
    EXPECT_EQ(x().Fg_getParameterInfo(&fg_, 1), nullptr);
    EXPECT_EQ(x().Fg_getParameterInfo(&fg_, 4), nullptr);
    EXPECT_EQ(x().Fg_getParameterInfo(&fg_, -1), nullptr);
}

TEST_F(ExportLayer, EventsAreFoundByPublishedAndRuntimeNames) {
    // The design lists the overflow event first.
    EXPECT_EQ(x().Fg_getEventMask(&fg_, "FG_OVERFLOW_CAM0"), 1u);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
    EXPECT_STREQ(x().Fg_getEventName(&fg_, 1), "FG_OVERFLOW_CAM0");

    // The mask follows the event's position in the runtime's list.
    uint64_t frameStart = x().Fg_getEventMask(&fg_, "FG_START_OF_FRAME_CAM_PORT_0");
    EXPECT_EQ(frameStart, 2u);
    EXPECT_EQ(
        x().Fg_getEventMask(&fg_, "Device1_Process1_Trigger_Monitoring_FVALEvents_Cam0_FrameStart"),
        frameStart);
    EXPECT_STREQ(x().Fg_getEventName(&fg_, frameStart), "FG_START_OF_FRAME_CAM_PORT_0");

    // A published event that has no published alias keeps its runtime name; an unpublished
    // one is not there at all.
    uint64_t extra = x().Fg_getEventMask(&fg_, "Device1_Process0_Dma_FrameLost");
    EXPECT_NE(extra, 0u);
    EXPECT_STREQ(x().Fg_getEventName(&fg_, extra), "Device1_Process0_Dma_FrameLost");
    EXPECT_EQ(x().Fg_getEventMask(&fg_, "Device1_Process0_Internal_ConfigDone"), 0u);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_INVALID_PARAMETER);

    EXPECT_EQ(x().Fg_getEventMask(&fg_, "fg_overflow_cam0"), 0u);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getEventMask(&fg_, nullptr), 0u);
    EXPECT_EQ(x().Fg_getEventName(&fg_, 3), nullptr);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getEventName(&fg_, 0), nullptr);
}

class DesignVariant : public OpenBoard {};

TEST_F(DesignVariant, EventsFollowADesignWithoutTheOverflowEvent) {
    // The same design without its first event, loaded from file: every other event moves down
    // one place and keeps its published name.
    ScopedEnv external("__TARN_FORCE_EXTERNAL_HAP", "1");
    std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(old / "designs" / "no-overflow");
    open();
    std::filesystem::current_path(old);
    EXPECT_EQ(x().Fg_getEventMask(&fg_, "FG_OVERFLOW_CAM0"), 0u);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getEventMask(&fg_, "FG_START_OF_FRAME_CAM_PORT_0"), 1u);
    EXPECT_STREQ(x().Fg_getEventName(&fg_, 1), "FG_START_OF_FRAME_CAM_PORT_0");
    EXPECT_EQ(x().Fg_getEventMask(&fg_, "FG_TRIGGER_OUTPUT_CAM0"), uint64_t{1} << 22);
}

// The event maps are built once, at start-up, and own their names: a runtime that changes or
// frees its event list afterwards changes nothing for a board already open. Parameter 0 blanks
// the replaced list in place, 1 frees it (AddressSanitizer then sees any read of a stale name).
class RuntimeEventList : public OpenBoard, public ::testing::WithParamInterface<int32_t> {
protected:
    void TearDown() override {
        OpenBoard::TearDown();
        vb_runtime_events_restore();
    }
};

TEST_P(RuntimeEventList, NamesAndMasksSurviveAChangeOfTheRuntimesList) {
    const char* names[] = {"Device1_Process0_Overflow_Overflow", "Device1_Process0_Dma_FrameLost",
                           "Device1_Process0_Internal_ConfigDone",
                           "Device1_Process1_Trigger_Monitoring_FVALEvents_Cam0_FrameStart"};
    const int32_t published[] = {1, 1, 0, 1};
    ASSERT_EQ(vb_runtime_events_replace(names, published, 4, GetParam()), 0);
    open();

    struct Expected {
        const char* name;
        uint64_t mask;
        const char* nameOfMask;
    };
    const Expected expected[] = {
        {"FG_OVERFLOW_CAM0", 1, "FG_OVERFLOW_CAM0"},
        {"Device1_Process0_Overflow_Overflow", 1, "FG_OVERFLOW_CAM0"},
        {"Device1_Process0_Dma_FrameLost", 2, "Device1_Process0_Dma_FrameLost"},
        {"FG_START_OF_FRAME_CAM_PORT_0", 8, "FG_START_OF_FRAME_CAM_PORT_0"},
        {"Device1_Process1_Trigger_Monitoring_FVALEvents_Cam0_FrameStart", 8,
         "FG_START_OF_FRAME_CAM_PORT_0"},
    };
    const char* handedOut[std::size(expected)];
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        ASSERT_EQ(x().Fg_getEventMask(&fg_, expected[i].name), expected[i].mask);
        handedOut[i] = x().Fg_getEventName(&fg_, expected[i].mask);
        ASSERT_STREQ(handedOut[i], expected[i].nameOfMask);
    }

    // The runtime's list is cleared while the board is open.
    ASSERT_EQ(vb_runtime_events_replace(nullptr, nullptr, 0, GetParam()), 0);

    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_STREQ(handedOut[i], expected[i].nameOfMask);
        EXPECT_EQ(x().Fg_getEventMask(&fg_, expected[i].name), expected[i].mask);
        EXPECT_EQ(x().Fg_getLastErrorNumber(&fg_), 0);
        EXPECT_STREQ(x().Fg_getEventName(&fg_, expected[i].mask), expected[i].nameOfMask);
    }
    // Unpublished and unknown names stay unknown; the events the runtime lists now are not
    // seen by this board.
    EXPECT_EQ(x().Fg_getEventMask(&fg_, "Device1_Process0_Internal_ConfigDone"), 0u);
    EXPECT_EQ(x().Fg_getEventName(&fg_, 4), nullptr);

    // A board opened after the change sees the new, empty list.
    FgRecord second;
    int32_t error = 12345;
    second.applet = x().Std_entry(vb_board_open(1), &error, 0);
    ASSERT_NE(second.applet, nullptr) << error;
    EXPECT_EQ(x().Fg_getEventMask(&second, "FG_OVERFLOW_CAM0"), 0u);
    EXPECT_EQ(x().Fg_getLastErrorNumber(&second), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getEventName(&second, 1), nullptr);
    x().Fg_FreeGrabber(&second);

    // The first board still answers as it did.
    EXPECT_EQ(x().Fg_getEventMask(&fg_, "FG_OVERFLOW_CAM0"), 1u);
}

INSTANTIATE_TEST_SUITE_P(BlankedOrFreed, RuntimeEventList, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param != 0 ? "Freed" : "Blanked"; });
