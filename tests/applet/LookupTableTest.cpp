// The lookup table computed from offset, gain, gamma and invert, its single entries, the type
// switch and the access values that follow it. The board's own table (vb_lut_read) and its
// write log are the witnesses.
#include "Harness.h"

#include <pellvane/parameters.h>

#include "pellvane/ParameterInfoNode.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

using namespace pvtest;

namespace {

constexpr int32_t kInjected = -4711;
constexpr const char* kLutRegister = "Device1_Process0_LookupTable_LookupTable_LUTcontent";

using Table = std::vector<uint32_t>;

Table tableOf(const std::function<double(int)>& entry) {
    Table t(4096);
    for (int i = 0; i < 4096; ++i)
        t[i] = static_cast<uint32_t>(entry(i));
    return t;
}
const Table kIdentity = tableOf([](int i) { return i; });

const ParameterInfoNode* findById(const ParameterInfoNode* category, int32_t id) {
    for (int32_t i = 0; i < category->a.childCount; ++i) {
        const ParameterInfoNode* child = category->b.children[i];
        if (child->kind != PI_KIND_CATEGORY && child->id == id) return child;
        if (child->kind == PI_KIND_CATEGORY)
            if (const ParameterInfoNode* found = findById(child, id)) return found;
    }
    return nullptr;
}

class LookupTable : public OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
        vb_log_clear();
    }
    int32_t set(int32_t id, int32_t v) { return x().Fg_setParameterWithType(&fg_, id, &v, 0, 1); }
    int32_t setD(int32_t id, double v) { return x().Fg_setParameterWithType(&fg_, id, &v, 0, 5); }
    template <class T>
    T get(int32_t id) {
        T v{};
        EXPECT_EQ(x().Fg_getParameterWithType(&fg_, id, &v, 0, sizeof v == 8 ? 5 : 1), 0) << id;
        return v;
    }
    int32_t setEntry(uint32_t index, uint32_t value) {
        uint32_t record[2] = {value, index};
        return x().Fg_setParameterWithType(&fg_, FG_LUT_VALUE, record, 0, 4098);
    }
    int32_t getEntry(uint32_t index, uint32_t& value) {
        uint32_t record[2] = {0xDEADBEEF, index};
        int32_t rc = x().Fg_getParameterWithType(&fg_, FG_LUT_VALUE, record, 0, 4098);
        value = record[0];
        return rc;
    }
    Table board() {
        Table t(4096);
        EXPECT_EQ(vb_lut_read(board_, t.data(), t.size()), 0);
        return t;
    }
    Table copy() { // the applet's own copy, through FG_LUT_VALUE
        Table t(4096);
        for (uint32_t i = 0; i < 4096; ++i)
            EXPECT_EQ(getEntry(i, t[i]), 0);
        return t;
    }
    std::vector<VbWrite> writes(int32_t kind) {
        std::vector<VbWrite> found;
        for (size_t i = 0; i < vb_log_count(); ++i) {
            VbWrite w{};
            if (vb_log_entry(i, &w) == 0 && w.kind == kind) found.push_back(w);
        }
        return found;
    }
    void expectAccess(int32_t customFile, int32_t processing) {
        auto access = [&](int32_t id) {
            auto* root = static_cast<const ParameterInfoNode*>(x().Fg_getParameterInfo(&fg_, 0));
            for (; root != nullptr; root = root->previousRoot)
                if (const ParameterInfoNode* node = findById(root, id)) return node->access;
            return -1;
        };
        EXPECT_EQ(access(FG_LUT_CUSTOM_FILE), customFile);
        for (int32_t id :
             {FG_PROCESSING_GAIN, FG_PROCESSING_GAMMA, FG_PROCESSING_OFFSET, FG_PROCESSING_INVERT})
            EXPECT_EQ(access(id), processing) << id;
    }
};

} // namespace

TEST_F(LookupTable, ProcessingValuesGiveTheDocumentedTables) {
    // Start-up: the identity, computed, with the fixed properties of a full 12-bit table.
    EXPECT_EQ(board(), kIdentity);
    EXPECT_EQ(get<int32_t>(FG_LUT_TYPE), LUT_TYPE_PROCESSING);
    EXPECT_EQ(get<int32_t>(FG_LUT_IMPLEMENTATION_TYPE), 0);
    EXPECT_EQ(get<int32_t>(FG_LUT_IN_BITS), 12);
    EXPECT_EQ(get<int32_t>(FG_LUT_OUT_BITS), 12);
    expectAccess(1, 7);

    struct Case {
        const char* what;
        double offset, gain, gamma;
        int32_t invert;
        std::function<double(int)> entry;
    };
    const Case cases[] = {
        {"identity", 0, 1, 1, 0, [](int i) { return i; }},
        {"inverted", 0, 1, 1, 1, [](int i) { return 4095 - i; }},
        {"gain 0", 0, 0, 1, 0, [](int) { return 0; }},
        {"gain 0 inverted", 0, 0, 1, 1, [](int) { return 4095; }},
        {"offset -1", -1, 1, 1, 0, [](int) { return 0; }},
        {"offset -1 inverted", -1, 1, 1, 1, [](int) { return 4095; }},
        {"offset 1", 1, 1, 1, 0, [](int) { return 4095; }},
        {"offset 1 inverted", 1, 1, 1, 1, [](int) { return 0; }},
        {"gain 2", 0, 2, 1, 0, [](int i) { return std::min(2 * i, 4095); }},
        {"gamma 1, uneven offset and gain", 0.3, 0.7, 1, 0,
         [](int i) { return std::trunc(std::pow((i / 4095.0 + 0.3) * 0.7, 1.0) * 4095 + 0.5); }},
        {"gamma 2", 0, 1, 2, 0,
         [](int i) { return std::trunc(std::sqrt(i / 4095.0) * 4095 + 0.5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vb_log_clear();
        ASSERT_EQ(setD(FG_PROCESSING_OFFSET, c.offset), 0);
        ASSERT_EQ(setD(FG_PROCESSING_GAIN, c.gain), 0);
        ASSERT_EQ(setD(FG_PROCESSING_GAMMA, c.gamma), 0);
        ASSERT_EQ(set(FG_PROCESSING_INVERT, c.invert), 0);
        auto tables = writes(VB_WRITE_LUT_TABLE); // each set rewrites the whole table once
        ASSERT_EQ(tables.size(), 4u);
        EXPECT_EQ(tables.back().value, 4096u);
        EXPECT_EQ(board(), tableOf(c.entry));
        EXPECT_EQ(copy(), tableOf(c.entry));
        EXPECT_EQ(get<double>(FG_PROCESSING_GAMMA), c.gamma);
    }
    uint32_t entry = 0;
    ASSERT_EQ(getEntry(1, entry), 0);
    EXPECT_EQ(entry, 64u); // gamma 2
}

TEST_F(LookupTable, RangeLimitsAreInclusiveAndRejectionsChangeNothing) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        int32_t id;
        double value;
        bool accepted;
    } cases[] = {{FG_PROCESSING_GAIN, 4096.0, true},       {FG_PROCESSING_GAIN, 4096.5, false},
                 {FG_PROCESSING_GAIN, 0.0, true},          {FG_PROCESSING_GAIN, -0.001, false},
                 {FG_PROCESSING_GAIN, inf, false},         {FG_PROCESSING_GAMMA, -1000.0, true},
                 {FG_PROCESSING_GAMMA, 1000.0, true},      {FG_PROCESSING_GAMMA, 1000.5, false},
                 {FG_PROCESSING_GAMMA, -1000.001, false},  {FG_PROCESSING_OFFSET, -1.0, true},
                 {FG_PROCESSING_OFFSET, 1.0, true},        {FG_PROCESSING_OFFSET, 1.0000001, false},
                 {FG_PROCESSING_OFFSET, -1.0000001, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " = " << c.value);
        const double before = get<double>(c.id);
        vb_log_clear();
        if (c.accepted) {
            EXPECT_EQ(setD(c.id, c.value), 0);
            EXPECT_EQ(get<double>(c.id), c.value);
            EXPECT_EQ(writes(VB_WRITE_LUT_TABLE).size(), 1u);
        } else {
            EXPECT_EQ(setD(c.id, c.value), PV_ERR_VALUE_OUT_OF_RANGE);
            EXPECT_EQ(get<double>(c.id), before);
            EXPECT_EQ(vb_log_count(), 0u);
        }
    }
    for (int32_t bad : {2, -1}) {
        EXPECT_EQ(set(FG_PROCESSING_INVERT, bad), PV_ERR_VALUE_OUT_OF_RANGE);
        EXPECT_EQ(set(FG_LUT_TYPE, bad == 2 ? 1 : 4), PV_ERR_VALUE_OUT_OF_RANGE);
    }
    EXPECT_EQ(get<int32_t>(FG_PROCESSING_INVERT), 0);
    EXPECT_EQ(get<int32_t>(FG_LUT_TYPE), LUT_TYPE_PROCESSING);
    EXPECT_EQ(writes(VB_WRITE_LUT_TABLE).size(), 0u);
}

TEST_F(LookupTable, UndefinedPowersStayWithinTwelveBits) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Gamma 0 with bases above 1, a zero base with a negative gamma, tiny bases with a strongly
    // negative gamma, powers beyond 32 bits, signed zeros, and NaN, which no range check catches.
    const double cases[][3] = {{0, 2, 0},   {0, 0, -1},  {0, 1, -1000}, {0.5, 4096, 0.1},
                               {nan, 1, 1}, {0, 1, nan}, {0, nan, 1},   {-0.0, -0.0, -0.0}};
    for (const auto& c : cases) {
        for (int32_t invert : {0, 1}) {
            SCOPED_TRACE(testing::Message() << c[0] << " " << c[1] << " " << c[2] << " " << invert);
            vb_log_clear();
            ASSERT_EQ(set(FG_PROCESSING_INVERT, invert), 0);
            ASSERT_EQ(setD(FG_PROCESSING_OFFSET, c[0]), 0);
            ASSERT_EQ(setD(FG_PROCESSING_GAIN, c[1]), 0);
            ASSERT_EQ(setD(FG_PROCESSING_GAMMA, c[2]), 0);
            // The board refuses any value above 4095: four accepted writes prove the range.
            for (const VbWrite& w : writes(VB_WRITE_LUT_TABLE))
                EXPECT_EQ(w.result, 0);
            EXPECT_EQ(writes(VB_WRITE_LUT_TABLE).size(), 4u);
            EXPECT_EQ(copy(), board());
        }
    }
    // Gamma 0, gain 2: bases below 1 give 0 (4095 inverted); bases above 1 have no finite power
    // and end as 0 whether inverted or not, since the inversion wraps in 32 bits.
    ASSERT_EQ(setD(FG_PROCESSING_OFFSET, 0), 0);
    ASSERT_EQ(set(FG_PROCESSING_INVERT, 0), 0);
    ASSERT_EQ(setD(FG_PROCESSING_GAIN, 2), 0);
    ASSERT_EQ(setD(FG_PROCESSING_GAMMA, 0), 0);
    EXPECT_EQ(board(), tableOf([](int) { return 0; }));
    ASSERT_EQ(set(FG_PROCESSING_INVERT, 1), 0);
    EXPECT_EQ(board(), tableOf([](int i) { return i < 2048 ? 4095 : 0; }));
}

TEST_F(LookupTable, ProcessingValuesWaitWhileTheTableIsCustom) {
    ASSERT_EQ(set(FG_LUT_TYPE, LUT_TYPE_CUSTOM), 0); // no file named: the table stays
    expectAccess(7, 1);
    ASSERT_EQ(setD(FG_PROCESSING_GAIN, 2.0), 0);
    ASSERT_EQ(set(FG_PROCESSING_INVERT, 1), 0);
    EXPECT_EQ(get<double>(FG_PROCESSING_GAIN), 2.0);
    EXPECT_EQ(vb_log_count(), 0u);
    EXPECT_EQ(copy(), kIdentity);

    ASSERT_EQ(set(FG_LUT_TYPE, LUT_TYPE_PROCESSING), 0);
    EXPECT_EQ(writes(VB_WRITE_LUT_TABLE).size(), 1u);
    EXPECT_EQ(board(), tableOf([](int i) { return 4095 - std::min(2 * i, 4095); }));
    expectAccess(1, 7);
}

TEST_F(LookupTable, SingleEntriesFollowTheirOwnRules) {
    ASSERT_EQ(setEntry(17, 1234), 0);
    ASSERT_EQ(setEntry(4095, 4095), 0);
    auto entries = writes(VB_WRITE_LUT_ENTRY);
    ASSERT_EQ(vb_log_count(), 2u); // single entries, never the whole table
    EXPECT_EQ(entries[0].index, 17u);
    EXPECT_EQ(entries[0].value, 1234u);
    uint32_t v = 0;
    ASSERT_EQ(getEntry(17, v), 0);
    EXPECT_EQ(v, 1234u);
    EXPECT_EQ(board()[17], 1234u);

    vb_log_clear();
    EXPECT_EQ(setEntry(3, 4096), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(setEntry(4096, 1), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(setEntry(0xFFFFFFFF, 1), PV_ERR_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(vb_log_count(), 0u);
    EXPECT_EQ(getEntry(4096, v), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(getEntry(3, v), 0);
    EXPECT_EQ(v, 3u);

    ASSERT_EQ(vb_fail_write(kLutRegister, 1, kInjected), 0);
    EXPECT_EQ(setEntry(17, 7), kInjected);
    ASSERT_EQ(getEntry(17, v), 0);
    EXPECT_EQ(v, 1234u); // the old entry is back

    // Entries work with the custom type and keep it; a recomputation overwrites them.
    ASSERT_EQ(set(FG_LUT_TYPE, LUT_TYPE_CUSTOM), 0);
    ASSERT_EQ(setEntry(100, 5), 0);
    EXPECT_EQ(get<int32_t>(FG_LUT_TYPE), LUT_TYPE_CUSTOM);
    EXPECT_EQ(board()[100], 5u);
    ASSERT_EQ(set(FG_LUT_TYPE, LUT_TYPE_PROCESSING), 0);
    EXPECT_EQ(board(), kIdentity);
}

TEST_F(LookupTable, FailedHardwareWritesRestoreTheStoredValue) {
    ASSERT_EQ(vb_fail_write(kLutRegister, 1, kInjected), 0);
    EXPECT_EQ(setD(FG_PROCESSING_GAIN, 0.0), kInjected);
    EXPECT_EQ(get<double>(FG_PROCESSING_GAIN), 1.0);
    EXPECT_EQ(board(), kIdentity);
    // The copy is not rolled back: it holds what the failed write carried, and get answers
    // from it, not from the hardware.
    EXPECT_EQ(copy(), tableOf([](int) { return 0; }));

    ASSERT_EQ(vb_fail_write(kLutRegister, 1, kInjected), 0);
    EXPECT_EQ(set(FG_PROCESSING_INVERT, 1), kInjected);
    EXPECT_EQ(get<int32_t>(FG_PROCESSING_INVERT), 0);

    // A failed switch keeps the old type and leaves the access values alone.
    ASSERT_EQ(set(FG_LUT_TYPE, LUT_TYPE_CUSTOM), 0);
    ASSERT_EQ(vb_fail_write(kLutRegister, 1, kInjected), 0);
    EXPECT_EQ(set(FG_LUT_TYPE, LUT_TYPE_PROCESSING), kInjected);
    EXPECT_EQ(get<int32_t>(FG_LUT_TYPE), LUT_TYPE_CUSTOM);
    expectAccess(7, 1);
    ASSERT_EQ(set(FG_LUT_TYPE, LUT_TYPE_PROCESSING), 0);
    expectAccess(1, 7);
    EXPECT_EQ(board(), kIdentity);
}
