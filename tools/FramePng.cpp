#include "FramePng.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

namespace pellvane::tools {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// PNG keeps 16-bit samples big-endian; `rows` holds the bytes in file order.
std::string write(const std::string& file, const std::vector<uint8_t>& rows, uint32_t width,
                  uint32_t height, int bitDepth) {
    if (width == 0 || height == 0) return "an empty picture";
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(file.c_str(), "wb"));
    if (!out) return "cannot create " + file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return "libpng could not start";
    }
    const size_t stride = size_t{width} * (bitDepth / 8);
    std::vector<png_bytep> rowPointers(height);
    for (uint32_t y = 0; y < height; ++y)
        rowPointers[y] = const_cast<png_bytep>(rows.data() + y * stride);
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return "libpng failed to write " + file;
    }
    png_init_io(png, out.get());
    png_set_IHDR(png, info, width, height, bitDepth, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rowPointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(out.get()) != 0) return "cannot write " + file;
    return {};
}

} // namespace

std::string writeGray8Png(const std::string& file, const uint8_t* pixels, uint32_t width,
                          uint32_t height) {
    if (pixels == nullptr) return "no picture";
    std::vector<uint8_t> rows(pixels, pixels + size_t{width} * height);
    return write(file, rows, width, height, 8);
}

std::string writeGray16Png(const std::string& file, const uint16_t* pixels, uint32_t width,
                           uint32_t height) {
    if (pixels == nullptr) return "no picture";
    const size_t n = size_t{width} * height;
    std::vector<uint8_t> rows(n * 2);
    for (size_t i = 0; i < n; ++i) {
        rows[2 * i] = static_cast<uint8_t>(pixels[i] >> 8);
        rows[2 * i + 1] = static_cast<uint8_t>(pixels[i] & 0xFF);
    }
    return write(file, rows, width, height, 16);
}

} // namespace pellvane::tools
