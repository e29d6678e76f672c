// The generated image and the description codec behind it.
#include "SimTestSupport.h"

#include <cstring>

namespace {

using namespace simtest;

TEST(Image, GeneratedImageHasFixedSizeMagicAndTheDescribedDesign) {
    std::vector<uint8_t> image = readFile(SIM_TEST_HAP_IMAGE);
    ASSERT_EQ(image.size(), 1994368u);
    EXPECT_EQ(std::memcmp(image.data(), "PVH\x01", 4), 0);

    vboard::Design parsed;
    ASSERT_EQ(vboard::parseImage(image.data(), image.size(), parsed), vboard::ImageError::None);
    const vboard::Design& described = describedDesign();
    ASSERT_EQ(parsed.registers.size(), described.registers.size());
    for (std::size_t i = 0; i < parsed.registers.size(); ++i) {
        EXPECT_EQ(parsed.registers[i].name, described.registers[i].name);
        EXPECT_EQ(parsed.registers[i].width, described.registers[i].width);
        EXPECT_EQ(parsed.registers[i].writable, described.registers[i].writable);
        EXPECT_EQ(parsed.registers[i].initial, described.registers[i].initial);
    }
    ASSERT_EQ(parsed.events.size(), described.events.size());
    EXPECT_LE(parsed.events.size(), 64u);

    // The copy that file-loading programs find in bin/ is the same image.
    EXPECT_EQ(readFile(std::string(SIM_TEST_LIB_DIR) + "/../bin/Pellvane.hap"), image);
}

TEST(Image, BuildingTwiceGivesIdenticalBytes) {
    EXPECT_EQ(vboard::buildImage(describedDesign()), readFile(SIM_TEST_HAP_IMAGE));
}

TEST(Image, DamagedImagesAreRejected) {
    const std::vector<uint8_t> good = readFile(SIM_TEST_HAP_IMAGE);
    vboard::Design d;
    EXPECT_EQ(vboard::parseImage(nullptr, good.size(), d), vboard::ImageError::Null);
    EXPECT_EQ(vboard::parseImage(good.data(), good.size() - 1, d), vboard::ImageError::Size);

    struct Damage {
        std::size_t offset;
        vboard::ImageError expected;
    };
    // magic, version, size field, payload length beyond the image, a byte inside the payload
    for (Damage damage :
         {Damage{0, vboard::ImageError::Magic}, Damage{4, vboard::ImageError::Version},
          Damage{8, vboard::ImageError::Size}, Damage{15, vboard::ImageError::Payload},
          Damage{40, vboard::ImageError::Checksum}}) {
        std::vector<uint8_t> bad = good;
        bad[damage.offset] ^= 0x80;
        EXPECT_EQ(vboard::parseImage(bad.data(), bad.size(), d), damage.expected)
            << "damage at offset " << damage.offset;
    }
}

TEST(Image, TruncatedPayloadsNeverReadPastTheirEnd) {
    std::vector<uint8_t> payload = vboard::serializePayload(describedDesign());
    vboard::Design d;
    ASSERT_TRUE(vboard::parsePayload(payload.data(), payload.size(), d));
    // Every shorter prefix is refused (the sanitizer build proves no read beyond it).
    for (std::size_t n = 0; n < payload.size(); n += 97) {
        std::vector<uint8_t> cut(payload.begin(), payload.begin() + static_cast<long>(n));
        EXPECT_FALSE(vboard::parsePayload(cut.data(), cut.size(), d)) << n;
    }
    // A register count far beyond the data is refused before anything is reserved.
    std::vector<uint8_t> huge = {0xff, 0xff, 0xff, 0x7f};
    EXPECT_FALSE(vboard::parsePayload(huge.data(), huge.size(), d));
}

TEST(Description, AcceptsCommentsHexValuesAndTables) {
    vboard::Design d;
    std::string error;
    ASSERT_TRUE(vboard::parseDescription("# c\n\nregister A 12 rw 0xfff table # t\r\n"
                                         "register B 64 ro 18446744073709551615\n"
                                         "event E 0\n",
                                         d, error))
        << error;
    ASSERT_EQ(d.registers.size(), 2u);
    EXPECT_TRUE(d.registers[0].table);
    EXPECT_EQ(d.registers[0].initial, 0xfffu);
    EXPECT_EQ(d.registers[1].initial, ~uint64_t{0});
    EXPECT_FALSE(d.registers[1].writable);
    EXPECT_EQ(d.idOf("B"), 2u);
    EXPECT_EQ(d.event(0)->published, 0);
}

TEST(Description, RejectsMalformedLinesAndInconsistentDesigns) {
    const char* bad[] = {
        "register A 0 rw\n",
        "register A 65 rw\n",
        "register A 8 rw 256\n",
        "register A 32 wr\n",
        "register A 32 rw x\n",
        "register A\n",
        "register A 32 rw\nregister A 32 ro\n",
        "event E 2\n",
        "event E 1\nevent E 1\n",
        "wire A\n",
        "register A 8 rw table\nregister B 8 rw table\n",
    };
    for (const char* text : bad) {
        vboard::Design d;
        std::string error;
        EXPECT_FALSE(vboard::parseDescription(text, d, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    std::string many;
    for (int i = 0; i < 65; ++i)
        many += "event E" + std::to_string(i) + " 1\n";
    vboard::Design d;
    std::string error;
    EXPECT_FALSE(vboard::parseDescription(many, d, error));
}

} // namespace
