// Info's picture and its remaining queries.
#include "Harness.h"

#include <cstring>

#if PELLVANE_HAVE_PNG
#include <png.h>
#endif

using namespace pvtest;

namespace {

#if PELLVANE_HAVE_PNG
struct Reader {
    const unsigned char* data;
    size_t size;
    size_t pos;
};

void readBytes(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (r->pos + n > r->size) png_error(png, "read past the end");
    std::memcpy(out, r->data + r->pos, n);
    r->pos += n;
}
#endif

} // namespace

TEST(InfoIcon, IsA32By32PngOfExactly2170Bytes) {
    const pvtest::Exports& x = *Library::applet();
    int64_t size = 0;
    const void* data = nullptr;
    ASSERT_EQ(x.Info(0x411, 0, 0, &size, &data), 0);
    ASSERT_EQ(size, 2170);
    ASSERT_NE(data, nullptr);
    // Other indices get the same picture.
    const void* again = nullptr;
    int64_t size2 = 0;
    EXPECT_EQ(x.Info(0x411, 3, 1, &size2, &again), 0);
    EXPECT_EQ(again, data);
    EXPECT_EQ(size2, 2170);
#if PELLVANE_HAVE_PNG
    // A real decoder reads every row, checking every chunk's CRC on the way.
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Reader reader{static_cast<const unsigned char*>(data), 2170, 0};
    bool decoded = false;
    png_uint_32 width = 0, height = 0;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &reader, readBytes);
        png_read_info(png, info);
        width = png_get_image_width(png, info);
        height = png_get_image_height(png, info);
        std::vector<png_byte> row(png_get_rowbytes(png, info));
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, row.data(), nullptr);
        png_read_end(png, info);
        decoded = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    EXPECT_TRUE(decoded);
    EXPECT_EQ(width, 32u);
    EXPECT_EQ(height, 32u);
    EXPECT_EQ(reader.pos, 2170u); // the decoder consumed the whole file, up to IEND
#else
    GTEST_SKIP() << "no PNG decoder in this build; the byte size was checked";
#endif
}

TEST(InfoQueries, AnswerEveryRowOfTheTable) {
    const pvtest::Exports& x = *Library::applet();
    struct Row {
        int32_t query;
        int32_t result;
        const char* text; // null: no text handed out
    };
    const Row rows[] = {
        {0x350, 0, nullptr},
        {0x410, 0, nullptr},
        {0x413, 0, "5b1e7f20-3c44-4d8a-9e61-0f27c3a8d915"},
        {0x414, 0, ""},
        {0x415, 1, nullptr},
        {0x700, 1, nullptr},
        {0x750, 1, nullptr},
        {0x760, 1, nullptr},
        {0x800, 131076, nullptr},
        {0x870, 0, nullptr},
        {0x880, 2626, nullptr},
        {0x890, 0, nullptr},
        {0xa00, 0, nullptr},
        {0xb00, 1, nullptr},
        {0xc00, 1, nullptr},
        {0xd00, 0, nullptr},
        {0x1010, 0, "Mirrowen:Area XL"},
        {0x1020, 0,
         "class=standard,family=acquisition,type=single,sensortype=area,color=gray,"
         "interface=cl-medium"},
        {0x1050, 0, "Pellvane"},
        {0x1060, 0, "2.4.1.2"},
        {0x1070, 0, "2.4.1.2.20170418.111753"},
        {0x1200, 1, nullptr},
        {0x1220, 1, nullptr},
        {0x1240, 0, nullptr},
        {0x1250, 1, nullptr},
    };
    for (const Row& r : rows) {
        const void* data = nullptr;
        EXPECT_EQ(x.Info(r.query, 0, 0, nullptr, &data), r.result) << std::hex << r.query;
        if (r.text != nullptr) {
            ASSERT_NE(data, nullptr) << std::hex << r.query;
            EXPECT_STREQ(static_cast<const char*>(data), r.text) << std::hex << r.query;
        } else {
            EXPECT_EQ(data, nullptr) << std::hex << r.query;
        }
    }
    const void* description = nullptr;
    EXPECT_EQ(x.Info(0x1000, 0, 0, nullptr, &description), 0);
    EXPECT_EQ(std::strncmp(static_cast<const char*>(description), "Mirrowen with support", 21), 0);
    for (int32_t q : {0x1220, 0x1240, 0x1250})
        EXPECT_EQ(x.Info(q, 1, 0, nullptr, nullptr), -2070) << std::hex << q;
    EXPECT_EQ(x.Info(0x1240, 0, 1, nullptr, nullptr), -2070);
    for (int32_t q : {0, 0x351, 0x1001, 0x1100 + 1, 0x1270, -1})
        EXPECT_EQ(x.Info(q, 0, 0, nullptr, nullptr), -2130) << std::hex << q;
}
