// Picture files and the writer pool: what a file holds reads back as the picture it was made
// from, and the pool never holds more pictures than its capacity.
#include "PictureWriter.h"
#include "WriterPool.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace {

using namespace pellvane::tools;

std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

uint32_t be32(const std::string& d, std::size_t at) {
    return uint32_t(uint8_t(d[at])) << 24 | uint32_t(uint8_t(d[at + 1])) << 16 |
           uint32_t(uint8_t(d[at + 2])) << 8 | uint8_t(d[at + 3]);
}

// Decodes a grey PNG of our writer's kind (chunks with CRCs, rows with filter 0 or 1) back to
// its samples, 16-bit ones in machine order.
std::vector<uint16_t> decodePng(const std::string& d, uint32_t& width, uint32_t& height,
                                int& bits) {
    EXPECT_EQ(d.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::string idat;
    for (std::size_t pos = 8; pos + 12 <= d.size();) {
        const uint32_t length = be32(d, pos);
        const std::string kind = d.substr(pos + 4, 4);
        const std::string body = d.substr(pos + 8, length);
        const uLong crc = crc32(crc32(0, reinterpret_cast<const Bytef*>(kind.data()), 4),
                                reinterpret_cast<const Bytef*>(body.data()), length);
        EXPECT_EQ(crc, be32(d, pos + 8 + length)) << kind;
        if (kind == "IHDR") {
            width = be32(body, 0);
            height = be32(body, 4);
            bits = uint8_t(body[8]);
        } else if (kind == "IDAT") {
            idat += body;
        }
        pos += 12 + length;
    }
    const int bpp = bits / 8;
    const std::size_t stride = std::size_t{width} * bpp;
    std::vector<uint8_t> raw((stride + 1) * height);
    uLongf size = raw.size();
    EXPECT_EQ(
        uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.data()), idat.size()),
        Z_OK);
    std::vector<uint16_t> out;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = raw.data() + y * (stride + 1);
        EXPECT_LE(row[0], 1);
        for (std::size_t i = 0; i < stride; ++i)
            if (row[0] == 1 && i >= std::size_t(bpp)) row[1 + i] += row[1 + i - bpp];
        for (std::size_t i = 0; i < stride; i += bpp)
            out.push_back(bpp == 1 ? row[1 + i] : uint16_t(row[1 + i] << 8 | row[2 + i]));
    }
    return out;
}

class PictureFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("pellvane-pictures-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& n) const { return (dir_ / n).string(); }
    std::filesystem::path dir_;
};

TEST_F(PictureFiles, PngReadsBackAsThePictureAtEveryLevelAndDepth) {
    std::mt19937 random(7);
    for (int bits : {8, 16}) {
        for (int level : {1, 9}) {
            SCOPED_TRACE(std::to_string(bits) + " bit, level " + std::to_string(level));
            const uint32_t width = 37, height = 5; // odd sizes: no row lines up by chance
            std::vector<uint16_t> wide(width * height);
            std::vector<uint8_t> narrow(width * height);
            for (std::size_t i = 0; i < wide.size(); ++i) {
                wide[i] = static_cast<uint16_t>(random());
                narrow[i] = static_cast<uint8_t>(wide[i]);
            }
            const void* pixels = bits == 16 ? static_cast<const void*>(wide.data()) : narrow.data();
            ASSERT_EQ(writePicture(path("p.png"), {pixels, width, height, bits}, PictureFormat::Png,
                                   level),
                      "");
            uint32_t w = 0, h = 0;
            int b = 0;
            const std::vector<uint16_t> back = decodePng(slurp(path("p.png")), w, h, b);
            EXPECT_EQ(std::make_tuple(w, h, b), std::make_tuple(width, height, bits));
            for (std::size_t i = 0; i < back.size(); ++i)
                ASSERT_EQ(back[i], bits == 16 ? wide[i] : narrow[i]) << i;
        }
    }
}

TEST_F(PictureFiles, PgmTiffAndRawHoldTheSamplesInTheirByteOrder) {
    const uint16_t pixels[6] = {0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C};
    const Picture p{pixels, 3, 2, 16};
    ASSERT_EQ(writePicture(path("p.pgm"), p, PictureFormat::Pgm), "");
    ASSERT_EQ(writePicture(path("p.tif"), p, PictureFormat::Tiff), "");
    ASSERT_EQ(writePicture(path("p.raw"), p, PictureFormat::Raw), "");
    EXPECT_EQ(slurp(path("p.pgm")),
              std::string("P5\n3 2\n65535\n") + std::string("\1\2\3\4\5\6\7\x8\x9\xA\xB\xC", 12));
    const std::string tif = slurp(path("p.tif"));
    EXPECT_EQ(tif.substr(0, 4), std::string("II*\0", 4));
    EXPECT_EQ(tif.substr(tif.size() - 12), std::string("\2\1\4\3\6\5\x8\7\xA\x9\xC\xB", 12));
    EXPECT_EQ(slurp(path("p.raw")).size(), 12u);
}

TEST_F(PictureFiles, AFileThatCannotBeMadeIsReportedByName) {
    const uint8_t pixel = 0;
    const std::string file = path("no/such/folder/p.png");
    const std::string error = writePicture(file, {&pixel, 1, 1, 8}, PictureFormat::Png);
    EXPECT_NE(error.find(file), std::string::npos) << error;
    EXPECT_NE(writePicture(path("p.png"), {&pixel, 0, 1, 8}, PictureFormat::Png), "");
}

TEST_F(PictureFiles, TheWriterPoolHoldsNoMoreThanItsCapacityAndSavesEveryPicture) {
    WriterPool pool(2, 3, PictureFormat::Raw);
    std::vector<std::vector<uint8_t>*> held;
    for (int i = 0; i < 3; ++i)
        held.push_back(pool.reserve(16, 100));
    EXPECT_TRUE(std::all_of(held.begin(), held.end(), [](auto* b) { return b != nullptr; }));
    EXPECT_EQ(pool.reserve(16, 20), nullptr); // full: the caller learns it at once
    pool.release(held.back());
    held.pop_back();
    for (std::size_t i = 0; i < held.size(); ++i)
        pool.submit(held[i], path("w" + std::to_string(i) + ".raw"), 4, 4, 8);
    for (int i = 2; i < 10; ++i) {
        std::vector<uint8_t>* b = pool.reserve(16, 5000);
        ASSERT_NE(b, nullptr);
        pool.submit(b, path("w" + std::to_string(i) + ".raw"), 4, 4, 8);
    }
    pool.finish();
    EXPECT_EQ(pool.saved(), 10u);
    EXPECT_EQ(pool.error(), "");
    pool.finish(); // twice is harmless
}

TEST_F(PictureFiles, TheWriterPoolStopsTakingPicturesAfterAFailedWrite) {
    WriterPool pool(1, 2, PictureFormat::Png);
    std::vector<uint8_t>* b = pool.reserve(4, 100);
    ASSERT_NE(b, nullptr);
    pool.submit(b, path("missing/folder/p.png"), 2, 2, 8);
    for (int i = 0; i < 500 && pool.error().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_NE(pool.error().find("missing/folder/p.png"), std::string::npos) << pool.error();
    EXPECT_EQ(pool.reserve(4, 10), nullptr);
    pool.finish();
    EXPECT_EQ(pool.saved(), 0u);
}

} // namespace
