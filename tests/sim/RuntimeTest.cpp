// The runtime: loading images and answering for the design they carry.
#include "SimTestSupport.h"

#include <cstddef>
#include <cstring>
#include <fstream>

namespace {

using namespace simtest;

struct EventRecordLayout {
    void* reserved;
    const char* name;
    int32_t reserved2;
    int32_t published;
};
static_assert(offsetof(EventRecordLayout, published) == 20);

using RuntimeTest = SimTest;

TEST_F(RuntimeTest, LoadsFromFileInTheWorkingDirectoryAndCountsImages) {
    // The tests run in bin/, where the build puts the image.
    void* fromFile = pyrrt_37("Pellvane.hap", 2626, 1);
    ASSERT_NE(fromFile, nullptr);
    EXPECT_EQ(vb_loaded_images(), 2);
    EXPECT_EQ(pyrrt_42(fromFile), pyrrt_42(hap_));
    EXPECT_EQ(pyrrt_38(fromFile), 0);
    EXPECT_EQ(vb_loaded_images(), 1);
    // A released handle is no longer answered, and releasing it again is refused.
    EXPECT_EQ(pyrrt_42(fromFile), 0);
    EXPECT_EQ(pyrrt_38(fromFile), -1);
}

TEST_F(RuntimeTest, RefusesWrongTypeCodesMissingFilesAndBadFlags) {
    EXPECT_EQ(pyrrt_37("Pellvane.hap", 2625, 1), nullptr);
    EXPECT_EQ(pyrrt_37("NoSuchFile.hap", 2626, 1), nullptr);
    EXPECT_EQ(pyrrt_37(nullptr, 2626, 1), nullptr);
    std::vector<uint8_t> image = readFile(SIM_TEST_HAP_IMAGE);
    EXPECT_EQ(pyrrt_143(image.data(), image.size(), 7), nullptr);
    EXPECT_EQ(pyrrt_143(nullptr, image.size(), 1), nullptr);
    EXPECT_EQ(vb_loaded_images(), 1);
}

TEST_F(RuntimeTest, RejectsCorruptedImagesFromMemoryAndFile) {
    std::vector<uint8_t> image = readFile(SIM_TEST_HAP_IMAGE);
    image[100] ^= 1; // inside the description
    EXPECT_EQ(pyrrt_143(image.data(), image.size(), 1), nullptr);

    image[100] ^= 1;
    image.push_back(0); // one byte too long
    const char* longFile = "sim_test_too_long.hap";
    std::ofstream(longFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<long>(image.size()));
    EXPECT_EQ(pyrrt_37(longFile, 2626, 1), nullptr);
    std::remove(longFile);
    EXPECT_EQ(vb_loaded_images(), 1);
}

TEST_F(RuntimeTest, ImageLoadSwitchBlocksBothLoadPathsUntilTurnedOff) {
    std::vector<uint8_t> image = readFile(SIM_TEST_HAP_IMAGE);
    vb_fail_image_load(1);
    EXPECT_EQ(pyrrt_143(image.data(), image.size(), 1), nullptr);
    EXPECT_EQ(pyrrt_37("Pellvane.hap", 2626, 1), nullptr);
    vb_fail_image_load(0);
    void* hap = pyrrt_143(image.data(), image.size(), 1);
    ASSERT_NE(hap, nullptr);
    EXPECT_EQ(pyrrt_38(hap), 0);
}

TEST_F(RuntimeTest, RegistersMatchTheDescription) {
    const vboard::Design& d = describedDesign();
    ASSERT_EQ(pyrrt_42(hap_), static_cast<int32_t>(d.registers.size()));
    EXPECT_EQ(pyrrt_43(hap_, 0), nullptr);
    EXPECT_EQ(pyrrt_43(hap_, pyrrt_42(hap_) + 1), nullptr);
    for (int32_t i = 1; i <= pyrrt_42(hap_); ++i) {
        const vboard::RegisterInfo& r = d.registers[static_cast<std::size_t>(i - 1)];
        ASSERT_STREQ(pyrrt_43(hap_, i), r.name.c_str());
        int32_t id = pyrrt_45(hap_, r.name.c_str());
        EXPECT_NE(id, 0);
        EXPECT_EQ(static_cast<uint32_t>(id), vb_register_id(r.name.c_str()));
        EXPECT_EQ(pyrrt_46(hap_, id), static_cast<int32_t>(r.width));
        EXPECT_EQ(vb_register_width(r.name.c_str()), r.width);
        EXPECT_EQ(pyrrt_49(hap_, id), r.writable ? 1 : 0);
    }
    EXPECT_EQ(pyrrt_45(hap_, "NoSuchRegister"), 0);
    EXPECT_EQ(pyrrt_45(hap_, nullptr), 0);
    EXPECT_EQ(pyrrt_46(hap_, 0), 0);
    EXPECT_EQ(pyrrt_49(hap_, -1), 0);
    EXPECT_EQ(vb_register_id("NoSuchRegister"), 0u);
}

TEST_F(RuntimeTest, DesignCoversTheWidthsAndAccessesTheApplicationsNeed) {
    // 32-, 40- and 64-bit registers, writable and read-only, must all exist.
    auto check = [&](const char* name, int32_t width, int32_t writable) {
        int32_t id = pyrrt_45(hap_, name);
        ASSERT_NE(id, 0) << name;
        EXPECT_EQ(pyrrt_46(hap_, id), width) << name;
        EXPECT_EQ(pyrrt_49(hap_, id), writable) << name;
    };
    check(kLut, 32, 1);
    check(kFillLevel, 32, 0);
    check(kScratch40, 40, 1);
    check(kFrameCounter, 40, 0);
    check(kMWGenActive, 64, 1);
    check("MWGenPassive", 64, 1);
    check("Device1_Status_Timestamp", 64, 0);
    for (const char* name : {"MWGenEnable", "MWGenStart", "MWGenWidth", "MWGenLineWidth",
                             "MWGenHeight", "MWGenMask", "MWGenRoll"})
        check(name, 32, 1);
}

TEST_F(RuntimeTest, EventRecordsCarryNamesAndPublishFlagsAtTheirOffsets) {
    const vboard::Design& d = describedDesign();
    std::size_t n = 0;
    while (n < 64 && pyrrt_150(hap_, static_cast<int32_t>(n)) != nullptr)
        ++n;
    ASSERT_EQ(n, d.events.size());
    EXPECT_EQ(pyrrt_150(hap_, -1), nullptr);
    EXPECT_EQ(pyrrt_150(hap_, 64), nullptr);

    int published = 0, unpublished = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto* bytes = static_cast<const unsigned char*>(pyrrt_150(hap_, static_cast<int>(i)));
        const char* name = nullptr;
        int32_t flag = 0;
        std::memcpy(&name, bytes + sizeof(void*), sizeof name);
        std::memcpy(&flag, bytes + 20, sizeof flag);
        EXPECT_STREQ(name, d.events[i].name.c_str());
        EXPECT_EQ(flag, d.events[i].published ? 1 : 0);
        (flag == 1 ? published : unpublished)++;
    }
    EXPECT_STREQ(static_cast<const EventRecordLayout*>(pyrrt_150(hap_, 0))->name,
                 "Device1_Process0_Overflow_Overflow");
    EXPECT_GE(published, 25);
    EXPECT_GE(unpublished, 1);
}

} // namespace
