// The host library: handles, the design registers as host parameters, the lookup table, the
// host's own parameters and the acquisition calls.
#include "SimTestSupport.h"

#include <cstdio>
#include <fstream>

namespace {

using namespace simtest;

using HostTest = SimTest;

constexpr int32_t kTypeUInt32 = 2;
constexpr int32_t kTypeUInt64 = 4;
constexpr int32_t kTypeTable = 4096;
constexpr int32_t kTypeEntry = 4098;

TEST_F(HostTest, InitHandlesAreCountedRecordedAndFreed) {
    void* a = Fg_InitHandleSlaveAware("Pellvane.hap", board_, hap_, 1);
    ASSERT_NE(a, nullptr);
    int32_t slave = -1;
    EXPECT_EQ(vb_last_init_call(&slave), 1);
    EXPECT_EQ(slave, 1);
    void* b = Fg_InitHandle("Pellvane.hap", board_, hap_);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(vb_last_init_call(&slave), 2);
    EXPECT_EQ(slave, 0);
    EXPECT_EQ(vb_open_host_handles(), 2);
    EXPECT_EQ(Fg_FreeGrabber(a), 0);
    EXPECT_EQ(Fg_FreeGrabber(b), 0);
    EXPECT_EQ(vb_open_host_handles(), 0);
    // Freed, null and foreign handles are refused rather than dereferenced.
    EXPECT_EQ(Fg_FreeGrabber(a), VB_HOST_ERR_INVALID_HANDLE);
    EXPECT_EQ(Fg_getLastErrorNumber(a), VB_HOST_ERR_INVALID_HANDLE);
    EXPECT_EQ(Fg_getParameterIdByName(b, kXLength), 0);
    EXPECT_EQ(Fg_AcquireEx(nullptr, 0, 1, 1, nullptr), VB_HOST_ERR_INVALID_HANDLE);
    vb_reset();
    EXPECT_EQ(vb_last_init_call(nullptr), 0);
}

TEST_F(HostTest, FailedInitHandleReportsItsErrorThroughTheNullHandle) {
    EXPECT_EQ(Fg_getLastErrorNumber(nullptr), 0);
    vb_fail_init_handle(-2033);
    EXPECT_EQ(Fg_InitHandleSlaveAware("Pellvane.hap", board_, hap_, 0), nullptr);
    EXPECT_EQ(Fg_getLastErrorNumber(nullptr), -2033);
    // The switch is consumed by that one call.
    void* h = Fg_InitHandle("Pellvane.hap", board_, hap_);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Fg_FreeGrabber(h), 0);

    EXPECT_EQ(Fg_InitHandle("Pellvane.hap", nullptr, hap_), nullptr);
    EXPECT_EQ(Fg_getLastErrorNumber(nullptr), VB_HOST_ERR_INIT_ARGUMENT);
    EXPECT_EQ(Fg_InitHandleSlaveAware("Pellvane.hap", board_, nullptr, 0), nullptr);
    EXPECT_EQ(vb_open_host_handles(), 0);
}

TEST_F(HostTest, RegisterIdsByNameAndUnknownNames) {
    void* h = openHost();
    int32_t xlen = Fg_getParameterIdByName(h, kXLength);
    EXPECT_GT(xlen, 24092); // clear of the host's own ids
    EXPECT_EQ(Fg_getParameterIdByName(h, kXLength), xlen);
    EXPECT_NE(Fg_getParameterIdByName(h, kLut), xlen);
    EXPECT_EQ(Fg_getParameterIdByName(h, "FG_TIMEOUT"), 600);
    EXPECT_EQ(Fg_getParameterIdByName(h, "FG_DMASTATUS"), 24092);
    EXPECT_EQ(Fg_getParameterIdByName(h, "Device1_Process0_Nothing"), 0);
    EXPECT_EQ(Fg_getLastErrorNumber(h), VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_getParameterIdByName(h, nullptr), 0);
    // Every register of the design is reachable.
    for (const auto& r : describedDesign().registers)
        EXPECT_NE(Fg_getParameterIdByName(h, r.name.c_str()), 0) << r.name;
}

TEST_F(HostTest, TypedRegisterAccessReachesTheSameRegistersAsTheHardwareLibrary) {
    void* h = openHost();
    int32_t id = Fg_getParameterIdByName(h, kXLength);
    uint32_t width = 1024;
    ASSERT_EQ(Fg_setParameterWithType(h, id, &width, 0, kTypeUInt32), 0);
    uint64_t hw = 0;
    ASSERT_EQ(tarn_hw_13(board_, vb_register_id(kXLength), &hw), 0);
    EXPECT_EQ(hw, 1024u);
    ASSERT_EQ(tarn_hw_12(board_, vb_register_id(kXLength), 2048), 0);
    uint32_t back = 0;
    ASSERT_EQ(Fg_getParameterWithType(h, id, &back, 0, kTypeUInt32), 0);
    EXPECT_EQ(back, 2048u);

    VbWrite w{};
    ASSERT_EQ(vb_log_entry(0, &w), 0);
    EXPECT_EQ(w.source, VB_SOURCE_HOST);
    EXPECT_EQ(w.registerId, vb_register_id(kXLength));

    // A 32-bit read of a 64-bit register gives the low half; a 64-bit read all of it.
    int32_t active = Fg_getParameterIdByName(h, kMWGenActive);
    uint64_t wide = 0x1122334455667788ull;
    ASSERT_EQ(Fg_setParameterWithType(h, active, &wide, 0, kTypeUInt64), 0);
    ASSERT_EQ(Fg_getParameterWithType(h, active, &back, 0, kTypeUInt32), 0);
    EXPECT_EQ(back, 0x55667788u);
    uint64_t all = 0;
    ASSERT_EQ(Fg_getParameterWithType(h, active, &all, 0, kTypeUInt64), 0);
    EXPECT_EQ(all, wide);
}

TEST_F(HostTest, RegisterAccessErrorsChangeNothing) {
    void* h = openHost();
    int32_t id = Fg_getParameterIdByName(h, kXLength);
    uint32_t v = 5;
    EXPECT_EQ(Fg_setParameterWithType(h, id, &v, 1, kTypeUInt32), VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_getLastErrorNumber(h), VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_setParameterWithType(h, id, nullptr, 0, kTypeUInt32),
              VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_setParameterWithType(h, id, &v, 0, 77), VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_setParameterWithType(h, 0x7fff0000, &v, 0, kTypeUInt32),
              VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(
        Fg_setParameterWithType(h, Fg_getParameterIdByName(h, kFillLevel), &v, 0, kTypeUInt32),
        VB_HOST_ERR_NOT_WRITABLE);
    EXPECT_EQ(vb_log_count(), 0u);

    ASSERT_EQ(vb_fail_write(kXLength, 1, -2222), 0);
    EXPECT_EQ(Fg_setParameterWithType(h, id, &v, 0, kTypeUInt32), -2222);
    EXPECT_EQ(Fg_getLastErrorNumber(h), -2222);
    uint64_t held = 1;
    ASSERT_EQ(vb_register_value(board_, kXLength, &held), 0);
    EXPECT_EQ(held, 0u);
    ASSERT_EQ(Fg_setParameterWithType(h, id, &v, 0, kTypeUInt32), 0);
    EXPECT_EQ(Fg_getLastErrorNumber(h), 0);

    ASSERT_EQ(vb_register_preset(board_, kFillLevel, 42), 0);
    ASSERT_EQ(vb_fail_read(kFillLevel, 2, -3333), 0);
    uint32_t fill = 0;
    EXPECT_EQ(
        Fg_getParameterWithType(h, Fg_getParameterIdByName(h, kFillLevel), &fill, 0, kTypeUInt32),
        0);
    EXPECT_EQ(fill, 42u);
    fill = 9;
    EXPECT_EQ(
        Fg_getParameterWithType(h, Fg_getParameterIdByName(h, kFillLevel), &fill, 0, kTypeUInt32),
        -3333);
    EXPECT_EQ(fill, 9u);
}

TEST_F(HostTest, WholeLookupTableWritesAreValidatedAndKeptByTheBoard) {
    void* h = openHost();
    int32_t lut = Fg_getParameterIdByName(h, kLut);
    std::vector<uint32_t> table(4096);
    for (uint32_t i = 0; i < 4096; ++i)
        table[i] = 4095 - i;
    FieldTable record{2, 0, 4096, 0, table.data()};
    ASSERT_EQ(Fg_setParameterWithType(h, lut, &record, 0, kTypeTable), 0);
    std::vector<uint32_t> held(4096, 1);
    ASSERT_EQ(vb_lut_read(board_, held.data(), held.size()), 0);
    EXPECT_EQ(held, table);
    VbWrite w{};
    ASSERT_EQ(vb_log_entry(0, &w), 0);
    EXPECT_EQ(w.kind, VB_WRITE_LUT_TABLE);

    // Nothing of a refused table reaches the board.
    std::vector<uint32_t> bad(4096, 7);
    bad[4095] = 4096;
    FieldTable tooLarge{2, 0, 4096, 0, bad.data()};
    FieldTable shortCount{2, 0, 4095, 0, bad.data()};
    FieldTable noData{2, 0, 4096, 0, nullptr};
    FieldTable wrongType{3, 0, 4096, 0, table.data()};
    EXPECT_EQ(Fg_setParameterWithType(h, lut, &tooLarge, 0, kTypeTable), VB_HOST_ERR_VALUE);
    for (const FieldTable* r : {&shortCount, &noData, &wrongType})
        EXPECT_EQ(Fg_setParameterWithType(h, lut, r, 0, kTypeTable), VB_HOST_ERR_INVALID_PARAMETER);
    // Table writes only go to the table register.
    EXPECT_EQ(
        Fg_setParameterWithType(h, Fg_getParameterIdByName(h, kXLength), &record, 0, kTypeTable),
        VB_HOST_ERR_INVALID_PARAMETER);
    ASSERT_EQ(vb_fail_write(kLut, 1, -5555), 0);
    FieldTable zeros{2, 0, 4096, 0, bad.data()};
    bad[4095] = 0;
    EXPECT_EQ(Fg_setParameterWithType(h, lut, &zeros, 0, kTypeTable), -5555);
    ASSERT_EQ(vb_lut_read(board_, held.data(), held.size()), 0);
    EXPECT_EQ(held, table);
    EXPECT_EQ(vb_lut_read(board_, held.data(), 4095), -1);
}

TEST_F(HostTest, SingleLookupTableEntriesAreValidated) {
    void* h = openHost();
    int32_t lut = Fg_getParameterIdByName(h, kLut);
    FieldEntry entry{4095, 4095};
    ASSERT_EQ(Fg_setParameterWithType(h, lut, &entry, 0, kTypeEntry), 0);
    FieldEntry readBack{0, 4095};
    ASSERT_EQ(Fg_getParameterWithType(h, lut, &readBack, 0, kTypeEntry), 0);
    EXPECT_EQ(readBack.value, 4095u);
    VbWrite w{};
    ASSERT_EQ(vb_log_entry(0, &w), 0);
    EXPECT_EQ(w.kind, VB_WRITE_LUT_ENTRY);
    EXPECT_EQ(w.index, 4095u);
    EXPECT_EQ(w.value, 4095u);

    FieldEntry valueTooLarge{4096, 0};
    FieldEntry indexTooLarge{1, 4096};
    EXPECT_EQ(Fg_setParameterWithType(h, lut, &valueTooLarge, 0, kTypeEntry), VB_HOST_ERR_VALUE);
    EXPECT_EQ(Fg_setParameterWithType(h, lut, &indexTooLarge, 0, kTypeEntry),
              VB_HOST_ERR_INVALID_PARAMETER);
    std::vector<uint32_t> held(4096);
    ASSERT_EQ(vb_lut_read(board_, held.data(), held.size()), 0);
    EXPECT_EQ(held[0], 0u);
    EXPECT_EQ(vb_log_count(), 1u);
}

TEST_F(HostTest, OwnParametersHaveDocumentedValuesAndLimits) {
    void* h = openHost();
    int32_t v = 0;
    for (auto [id, expected] : {std::pair{3050, 1}, {3060, 1}, {3070, 2}, {3080, 0}, {3090, 0}}) {
        ASSERT_EQ(Fg_getParameter(h, id, &v, 0), 0) << id;
        EXPECT_EQ(v, expected) << id;
    }
    int32_t timeout = 30;
    ASSERT_EQ(Fg_setParameter(h, 600, &timeout, 0), 0);
    ASSERT_EQ(Fg_getParameter(h, 600, &v, 0), 0);
    EXPECT_EQ(v, 30);
    int32_t zero = 0;
    EXPECT_EQ(Fg_setParameter(h, 600, &zero, 0), VB_HOST_ERR_VALUE);
    ASSERT_EQ(Fg_getParameter(h, 600, &v, 0), 0);
    EXPECT_EQ(v, 30);
    int32_t two = 2, one = 1;
    EXPECT_EQ(Fg_setParameter(h, 3051, &two, 0), VB_HOST_ERR_VALUE);
    EXPECT_EQ(Fg_setParameterWithType(h, 3051, &one, 0, kTypeUInt32), 0);
    EXPECT_EQ(Fg_setParameter(h, 3050, &one, 0), VB_HOST_ERR_NOT_WRITABLE);
    EXPECT_EQ(Fg_getParameter(h, 600, &v, 1), VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_getParameter(h, 12345, &v, 0), VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_getParameter(h, 600, nullptr, 0), VB_HOST_ERR_INVALID_PARAMETER);
    // Host parameters never reach the board.
    EXPECT_EQ(vb_log_count(), 0u);
}

TEST_F(HostTest, AcquisitionIsTrackedPerDmaAndReflectedInStatus) {
    void* h = openHost();
    int32_t dmaStatus = -1;
    ASSERT_EQ(Fg_getParameter(h, 24092, &dmaStatus, 0), 0);
    EXPECT_EQ(dmaStatus, 0);
    EXPECT_EQ(Fg_AcquireEx(h, 1, 10, 1, nullptr), VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_getLastErrorNumber(h), VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_AcquireEx(h, 0, 0, 1, nullptr), VB_HOST_ERR_INVALID_PARAMETER);
    ASSERT_EQ(Fg_AcquireEx(h, 0, -1, 1, nullptr), 0);
    EXPECT_EQ(Fg_AcquireEx(h, 0, 5, 1, nullptr), VB_HOST_ERR_BUSY);
    ASSERT_EQ(Fg_getParameter(h, 24092, &dmaStatus, 0), 0);
    EXPECT_EQ(dmaStatus, 1);
    EXPECT_EQ(Fg_getStatusEx(h, 100, 0, 0, nullptr), 1);
    EXPECT_EQ(Fg_getStatusEx(h, 10, 0, 0, nullptr), 0);
    EXPECT_EQ(Fg_getStatusEx(h, 12345, 0, 0, nullptr), VB_HOST_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Fg_getLastPicNumberEx(h, 0, nullptr), 0);
    EXPECT_EQ(Fg_getLastPicNumberBlockingEx(h, 1, 0, 1, nullptr), VB_HOST_ERR_TIMEOUT);
    ASSERT_EQ(Fg_stopAcquireEx(h, 0, nullptr, 0), 0);
    EXPECT_EQ(Fg_getStatusEx(h, 100, 0, 0, nullptr), 0);
    ASSERT_EQ(Fg_AcquireEx(h, 0, 5, 1, nullptr), 0); // restartable after a stop
    ASSERT_EQ(Fg_stopAcquireEx(h, 0, nullptr, 0), 0);
}

TEST_F(HostTest, ConfigurationRoundTripsAndBadFilesChangeNothing) {
    void* h = openHost();
    int32_t timeout = 77;
    ASSERT_EQ(Fg_setParameter(h, 600, &timeout, 0), 0);
    const char* file = "sim_test_host.cfg";
    ASSERT_EQ(Fg_saveConfig(h, file), 0);
    timeout = 5;
    ASSERT_EQ(Fg_setParameter(h, 600, &timeout, 0), 0);
    ASSERT_EQ(Fg_loadConfig(h, file), 0);
    int32_t v = 0;
    ASSERT_EQ(Fg_getParameter(h, 600, &v, 0), 0);
    EXPECT_EQ(v, 77);

    std::ofstream(file) << "FG_TIMEOUT=9\nFG_TURBO_DMA_MODE=3\n";
    EXPECT_EQ(Fg_loadConfig(h, file), VB_HOST_ERR_VALUE);
    ASSERT_EQ(Fg_getParameter(h, 600, &v, 0), 0);
    EXPECT_EQ(v, 77);
    std::remove(file);
    EXPECT_EQ(Fg_loadConfig(h, file), VB_HOST_ERR_FILE);
}

} // namespace
