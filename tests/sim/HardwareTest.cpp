// The hardware access library against the board model: masking, logging, failures, presets.
#include "SimTestSupport.h"

namespace {

using namespace simtest;

using HardwareTest = SimTest;

VbWrite logEntry(size_t position) {
    VbWrite w{};
    EXPECT_EQ(vb_log_entry(position, &w), 0);
    return w;
}

TEST_F(HardwareTest, WritesAreMaskedToTheRegisterWidth) {
    struct Case {
        const char* name;
        uint64_t kept;
    };
    const uint64_t all = ~uint64_t{0};
    for (Case c : {Case{kMWGenWidth, 0xffffffffu}, Case{kScratch40, 0xffffffffffu},
                   Case{kMWGenActive, all}}) {
        uint32_t id = vb_register_id(c.name);
        ASSERT_EQ(tarn_hw_12(board_, id, all), 0) << c.name;
        uint64_t read = 0;
        ASSERT_EQ(tarn_hw_13(board_, id, &read), 0);
        EXPECT_EQ(read, c.kept) << c.name;
        uint64_t held = 0;
        ASSERT_EQ(vb_register_value(board_, c.name, &held), 0);
        EXPECT_EQ(held, c.kept);
    }
}

TEST_F(HardwareTest, BoardsAreSeparateAndResetForgetsTheirValues) {
    VbBoard* other = vb_board_open(1);
    ASSERT_NE(other, board_);
    EXPECT_EQ(vb_board_open(0), board_);
    uint32_t id = vb_register_id(kMWGenWidth);
    ASSERT_EQ(tarn_hw_12(board_, id, 640), 0);
    uint64_t v = 1;
    ASSERT_EQ(tarn_hw_13(other, id, &v), 0);
    EXPECT_EQ(v, 0u);
    vb_reset();
    ASSERT_EQ(tarn_hw_13(vb_board_open(0), id, &v), 0);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(vb_log_count(), 0u);
}

TEST_F(HardwareTest, InvalidAccessesFailWithoutTouchingAnything) {
    uint32_t id = vb_register_id(kMWGenWidth);
    uint32_t readOnly = vb_register_id(kFrameCounter);
    VbBoard* foreign = reinterpret_cast<VbBoard*>(&id);
    uint64_t v = 77;
    EXPECT_EQ(tarn_hw_12(nullptr, id, 1), VB_HW_ERR_INVALID);
    EXPECT_EQ(tarn_hw_12(foreign, id, 1), VB_HW_ERR_INVALID);
    EXPECT_EQ(tarn_hw_12(board_, 0, 1), VB_HW_ERR_INVALID);
    EXPECT_EQ(tarn_hw_12(board_, 100000, 1), VB_HW_ERR_INVALID);
    EXPECT_EQ(tarn_hw_12(board_, readOnly, 1), VB_HW_ERR_READ_ONLY);
    EXPECT_EQ(tarn_hw_13(board_, id, nullptr), VB_HW_ERR_INVALID);
    EXPECT_EQ(tarn_hw_13(board_, 100000, &v), VB_HW_ERR_INVALID);
    EXPECT_EQ(v, 77u);
    EXPECT_EQ(vb_log_count(), 0u);
    uint64_t held = 1;
    ASSERT_EQ(vb_register_value(board_, kFrameCounter, &held), 0);
    EXPECT_EQ(held, 0u);
    EXPECT_EQ(vb_register_value(board_, "NoSuchRegister", &held), -1);
    EXPECT_EQ(vb_register_value(nullptr, kFrameCounter, &held), -1);
}

TEST_F(HardwareTest, ReadOnlyRegistersStartAtTheirResetValue) {
    uint64_t v = 0;
    ASSERT_EQ(tarn_hw_13(board_, vb_register_id("Device1_Status_DesignVersion"), &v), 0);
    EXPECT_EQ(v, describedDesign().find("Device1_Status_DesignVersion")->initial);
    EXPECT_NE(v, 0u);
}

TEST_F(HardwareTest, WritesAreLoggedInOrderWithTheUnmaskedValue) {
    uint32_t width = vb_register_id(kMWGenWidth);
    uint32_t scratch = vb_register_id(kScratch40);
    ASSERT_EQ(tarn_hw_12(board_, width, 1024), 0);
    ASSERT_EQ(tarn_hw_12(board_, scratch, 0x123456789abcull), 0);
    ASSERT_EQ(vb_log_count(), 2u);
    VbWrite first = logEntry(0), second = logEntry(1);
    EXPECT_EQ(first.board, board_);
    EXPECT_EQ(first.source, VB_SOURCE_HARDWARE);
    EXPECT_EQ(first.kind, VB_WRITE_VALUE);
    EXPECT_EQ(first.registerId, width);
    EXPECT_STREQ(first.name, kMWGenWidth);
    EXPECT_EQ(first.value, 1024u);
    EXPECT_EQ(second.value, 0x123456789abcull);
    EXPECT_EQ(second.result, 0);
    VbWrite none{};
    EXPECT_EQ(vb_log_entry(2, &none), -1);
    EXPECT_EQ(vb_log_entry(0, nullptr), -1);
    vb_log_clear();
    EXPECT_EQ(vb_log_count(), 0u);
}

TEST_F(HardwareTest, InjectedWriteFailureHitsExactlyTheNthWrite) {
    uint32_t id = vb_register_id(kMWGenWidth);
    ASSERT_EQ(vb_fail_write(kMWGenWidth, 3, -4711), 0);
    EXPECT_EQ(tarn_hw_12(board_, id, 1), 0);
    EXPECT_EQ(tarn_hw_12(board_, id, 2), 0);
    EXPECT_EQ(tarn_hw_12(board_, id, 3), -4711);
    uint64_t v = 0;
    ASSERT_EQ(vb_register_value(board_, kMWGenWidth, &v), 0);
    EXPECT_EQ(v, 2u);                        // the failed write changed nothing
    EXPECT_EQ(tarn_hw_12(board_, id, 4), 0); // and the failure fired only once
    ASSERT_EQ(vb_log_count(), 4u);
    EXPECT_EQ(logEntry(2).result, -4711);
    EXPECT_EQ(logEntry(2).value, 3u);

    EXPECT_EQ(vb_fail_write("NoSuchRegister", 1, -1), -1);
    EXPECT_EQ(vb_fail_write(kMWGenWidth, 0, -1), -1);
}

TEST_F(HardwareTest, InjectedReadFailureLeavesTheBufferAndCountsOnlyReads) {
    uint32_t id = vb_register_id(kMWGenActive);
    ASSERT_EQ(vb_fail_read(kMWGenActive, 2, -99), 0);
    ASSERT_EQ(tarn_hw_12(board_, id, 5), 0); // a write does not count as a read
    uint64_t v = 0;
    EXPECT_EQ(tarn_hw_13(board_, id, &v), 0);
    EXPECT_EQ(v, 5u);
    v = 1234;
    EXPECT_EQ(tarn_hw_13(board_, id, &v), -99);
    EXPECT_EQ(v, 1234u);
    // A newer request replaces the pending one.
    ASSERT_EQ(vb_fail_read(kMWGenActive, 5, -1), 0);
    ASSERT_EQ(vb_fail_read(kMWGenActive, 1, -2), 0);
    EXPECT_EQ(tarn_hw_13(board_, id, &v), -2);
    EXPECT_EQ(tarn_hw_13(board_, id, &v), 0);
}

TEST_F(HardwareTest, PresetsOverrideReadsUntilCleared) {
    uint32_t id = vb_register_id(kFillLevel);
    ASSERT_EQ(vb_register_preset(board_, kFillLevel, 0x1ffffffffull), 0);
    uint64_t v = 0;
    ASSERT_EQ(tarn_hw_13(board_, id, &v), 0);
    EXPECT_EQ(v, 0xffffffffu); // masked to the 32-bit width

    uint32_t width = vb_register_id(kMWGenWidth);
    ASSERT_EQ(vb_register_preset(board_, kMWGenWidth, 7), 0);
    ASSERT_EQ(tarn_hw_12(board_, width, 9), 0);
    ASSERT_EQ(tarn_hw_13(board_, width, &v), 0);
    EXPECT_EQ(v, 7u);
    ASSERT_EQ(vb_register_clear_preset(board_, kMWGenWidth), 0);
    ASSERT_EQ(tarn_hw_13(board_, width, &v), 0);
    EXPECT_EQ(v, 9u);
    EXPECT_EQ(vb_register_preset(board_, "NoSuchRegister", 1), -1);
    EXPECT_EQ(vb_register_preset(nullptr, kFillLevel, 1), -1);
}

} // namespace
