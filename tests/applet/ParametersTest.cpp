// Enumeration of the parameters and the rules around set and get by identifier.
#include "Harness.h"

#include <pellvane/parameters.h>

#include <cstring>
#include <set>
#include <string>

using namespace pvtest;

namespace {

class Parameters : public OpenBoard {
protected:
    void SetUp() override {
        OpenBoard::SetUp();
        open();
    }
    int32_t set(int32_t id, int32_t value, uint32_t dma = 0) {
        return x().Fg_setParameterWithType(&fg_, id, &value, dma, 1);
    }
    int32_t lastError() { return x().Fg_getLastErrorNumber(&fg_); }
};

} // namespace

TEST_F(Parameters, IndexWalkYieldsTheTableInOrder) {
    ASSERT_EQ(x().Fg_getNrOfParameter(&fg_), 130);
    std::set<std::string> names;
    std::set<int32_t> ids;
    for (int32_t i = 0; i < 130; ++i) {
        const char* name = x().Fg_getParameterName(&fg_, i);
        ASSERT_NE(name, nullptr) << i;
        int32_t id = x().Fg_getParameterId(&fg_, i);
        EXPECT_EQ(x().Fg_getParameterIdByName(&fg_, name), id) << name;
        names.insert(name);
        ids.insert(id);
    }
    EXPECT_EQ(names.size(), 130u);
    EXPECT_EQ(ids.size(), 130u);
    EXPECT_STREQ(x().Fg_getParameterName(&fg_, 0), "FG_TIMEOUT");
    EXPECT_EQ(x().Fg_getParameterId(&fg_, 0), FG_TIMEOUT);
    EXPECT_STREQ(x().Fg_getParameterName(&fg_, 18), "FG_WIDTH");
    EXPECT_EQ(x().Fg_getParameterId(&fg_, 18), FG_WIDTH);
    EXPECT_STREQ(x().Fg_getParameterName(&fg_, 57), "FG_TRIGGER_FRAMESPERSECOND");
    EXPECT_EQ(x().Fg_getParameterId(&fg_, 57), FG_TRIGGER_FRAMESPERSECOND);
    EXPECT_STREQ(x().Fg_getParameterName(&fg_, 129), "FG_DIGIO_OUTPUT");
    EXPECT_EQ(x().Fg_getParameterId(&fg_, 129), FG_DIGIO_OUTPUT);
    EXPECT_EQ(lastError(), 0);
}

TEST_F(Parameters, LookupsOfAbsentIndicesAndNamesFail) {
    EXPECT_EQ(x().Fg_getParameterName(&fg_, 130), nullptr);
    EXPECT_EQ(lastError(), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getParameterName(&fg_, -1), nullptr);
    EXPECT_EQ(x().Fg_getParameterId(&fg_, 130), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getParameterIdByName(&fg_, "fg_width"), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getParameterIdByName(&fg_, ""), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getParameterIdByName(&fg_, nullptr), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(lastError(), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getParameterIdByName(&fg_, "FG_WIDTH"), 100);
    EXPECT_EQ(lastError(), 0);
}

TEST_F(Parameters, ReadOnlyIdentifiersRefuseToBeSet) {
    const int32_t readOnly[] = {
        601,    2000,   2050,   3050,   3060,   3070,   3080,   3090,   4000,
        5210,   8802,   14010,  24010,  24020,  24030,  24092,  24108,  PV_DESCRIPTION_QUERY,
        30100,  30101,  30103,  110075, 110086, 110087, 300006, 300007, 300008,
        300202, 300207, 300209, 300210, 300211, 300215, 300237, 300248};
    for (int32_t id : readOnly) {
        EXPECT_EQ(set(id, 1), PV_ERR_NOT_WRITABLE_OR_UNBOUND) << id;
        EXPECT_EQ(lastError(), PV_ERR_NOT_WRITABLE_OR_UNBOUND) << id;
    }
    EXPECT_EQ(set(300239, 1), PV_ERR_INVALID_PARAMETER); // in the trigger range but unassigned
    int32_t value = 0;
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, 300239, &value, 0, 1), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, 1000001, &value, 0, 1), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(set(1500000, 1), PV_ERR_INVALID_PARAMETER); // register access is off
}

TEST_F(Parameters, OnlyDmaIndexZeroIsAccepted) {
    // Checked before the identifier is looked at, also for a read-only one.
    EXPECT_EQ(set(FG_APPLET_VERSION, 1, 1), PV_ERR_INVALID_PARAMETER);
    int32_t value = 0;
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, FG_NR_OF_DMAS, &value, 1, 1),
              PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, FG_NR_OF_DMAS, &value, 0, 1), 0);
    EXPECT_EQ(value, 1);
}

TEST_F(Parameters, NullValuePointerIsRefusedWithoutLock) {
    EXPECT_EQ(x().Fg_setParameterWithType(&fg_, FG_WIDTH, nullptr, 0, 1), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, FG_WIDTH, nullptr, 0, 1), PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(lastError(), PV_ERR_INVALID_PARAMETER);
}

TEST_F(Parameters, DescriptionQueryCopiesTheTextOverTheName) {
    char buffer[256];
    std::strcpy(buffer, "FG_WIDTH");
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, PV_DESCRIPTION_QUERY, buffer, 0, 5), 0);
    EXPECT_STREQ(buffer, "Image width of the acquisition ROI.");

    std::strcpy(buffer, "FG_GEN_WIDTH");
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, PV_DESCRIPTION_QUERY, buffer, 0, 5), 0);
    EXPECT_STREQ(buffer, "");

    std::strcpy(buffer, "FG_EXPOSURE");
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, PV_DESCRIPTION_QUERY, buffer, 0, 5), 0);
    EXPECT_STREQ(buffer, "FG_EXPOSURE");

    std::strcpy(buffer, "FG_CAMSTATUS_EXTENDED");
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, PV_DESCRIPTION_QUERY, buffer, 0, 5), 0);
    EXPECT_EQ(std::strlen(buffer), 225u);

    std::strcpy(buffer, "FG_NO_SUCH_PARAMETER");
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, PV_DESCRIPTION_QUERY, buffer, 0, 5),
              PV_ERR_INVALID_PARAMETER);
    EXPECT_EQ(lastError(), PV_ERR_INVALID_PARAMETER);
}

TEST_F(Parameters, HostServedParametersAreReadFromTheHost) {
    int32_t value = -1;
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, FG_NR_OF_CAMS, &value, 0, 1), 0); // FG_NR_OF_CAMS
    EXPECT_EQ(value, 1);
    EXPECT_EQ(x().Fg_getParameterWithType(&fg_, FG_DMA_PORT, &value, 0, 1), 0); // FG_DMA_PORT
    EXPECT_EQ(value, 0);
}
