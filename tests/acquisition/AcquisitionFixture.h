// The fixture of the end-to-end acquisition tests: board 0 of the virtual board opened with the
// applet through the host library's application interface, the model on its manual clock.
#ifndef PELLVANE_TESTS_ACQUISITION_FIXTURE_H
#define PELLVANE_TESTS_ACQUISITION_FIXTURE_H

#include <kestlib5/kestlib5.h>
#include <vboard/vboard.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace acquisition {

// Parameter values of the enumerations used here.
constexpr int32_t kGray8 = 3, kGray16 = 1, kLeft = 1, kRight = 0;
constexpr int32_t kCam8 = 208, kCam10 = 210, kCam12 = 212;
constexpr int32_t kGenerator = 1, kExternal = 2, kSoftware = 4, kActive = 0, kSyncStop = 2;

class Acquisition : public ::testing::Test {
protected:
    void SetUp() override {
        vb_reset();
        vb_clock_manual(1);
        fg_ = Fg_Init("Pellvane", 0);
        ASSERT_NE(fg_, nullptr) << Fg_getLastErrorNumber(nullptr);
        // A small picture keeps the runs quick.
        setInt("FG_WIDTH", 64);
        setInt("FG_HEIGHT", 8);
    }
    void TearDown() override {
        if (mem_ != nullptr) {
            EXPECT_EQ(Fg_stopAcquireEx(fg_, 0, mem_, 0), 0);
            EXPECT_EQ(Fg_FreeMemEx(fg_, mem_), 0);
        }
        if (fg_ != nullptr) {
            EXPECT_EQ(Fg_FreeGrabber(fg_), 0);
        }
        EXPECT_EQ(vb_open_host_handles(), 0);
        vb_reset();
    }

    int32_t id(const char* name) { return Fg_getParameterIdByName(fg_, name); }
    int32_t setInt(const char* name, int32_t v) {
        int32_t r = Fg_setParameterWithType(fg_, id(name), &v, 0, FG_PARAM_TYPE_INT32_T);
        EXPECT_EQ(r, 0) << name << " = " << v;
        return r;
    }
    void setDouble(const char* name, double v) {
        EXPECT_EQ(Fg_setParameterWithType(fg_, id(name), &v, 0, FG_PARAM_TYPE_DOUBLE), 0) << name;
    }
    int32_t getInt(const char* name) {
        int32_t v = -1;
        EXPECT_EQ(Fg_getParameterWithType(fg_, id(name), &v, 0, FG_PARAM_TYPE_INT32_T), 0);
        return v;
    }
    double getDouble(const char* name) {
        double v = -1;
        EXPECT_EQ(Fg_getParameterWithType(fg_, id(name), &v, 0, FG_PARAM_TYPE_DOUBLE), 0) << name;
        return v;
    }
    uint32_t lutEntry(uint32_t index) {
        uint32_t entry[2] = {0, index};
        EXPECT_EQ(Fg_getParameterWithType(fg_, id("FG_LUT_VALUE"), entry, 0,
                                          FG_PARAM_TYPE_STRUCT_FIELDPARAMINT_ENTRY),
                  0);
        return entry[0];
    }
    size_t pictureBytes() {
        size_t bpp = getInt("FG_FORMAT") == kGray16 ? 2 : 1;
        return size_t(getInt("FG_WIDTH")) * size_t(getInt("FG_HEIGHT")) * bpp;
    }

    // Starts an acquisition of `pictures` into four buffers, then the generator at `fps`.
    void runGenerator(int64_t pictures, double fps = 100.0) {
        start(pictures);
        setInt("FG_AREATRIGGERMODE", kGenerator);
        setDouble("FG_TRIGGER_FRAMESPERSECOND", fps);
        setInt("FG_TRIGGERSTATE", kActive);
    }
    void start(int64_t pictures) {
        mem_ = Fg_AllocMemEx(fg_, pictureBytes() * 4, 4);
        ASSERT_NE(mem_, nullptr);
        ASSERT_EQ(Fg_AcquireEx(fg_, 0, pictures, ACQ_STANDARD, mem_), 0);
    }
    template <class Pixel>
    std::vector<Pixel> picture(int64_t n) {
        EXPECT_GE(Fg_getLastPicNumberBlockingEx(fg_, n, 0, 10, mem_), n);
        auto* p = static_cast<const Pixel*>(Fg_getImagePtrEx(fg_, n, 0, mem_));
        if (p == nullptr) return {};
        return std::vector<Pixel>(p, p + pictureBytes() / sizeof(Pixel));
    }

    Fg_Struct* fg_ = nullptr;
    dma_mem* mem_ = nullptr;
};

} // namespace acquisition

#endif
