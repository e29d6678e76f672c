// Writes grey-scale pictures as files: PNG (deflate through zlib, fast compression by default),
// PGM, TIFF (uncompressed) or the raw bytes.
//
// PNG is written here over zlib rather than through libpng: Debian ships zlib for MinGW but
// not libpng, and one writer gives the same files on Linux and Windows (docs/design.md).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pellvane::tools {

enum class PictureFormat { Png, Pgm, Tiff, Raw };

// "png", "pgm", "tiff" (or "tif"), "raw"; nothing for another name.
std::optional<PictureFormat> pictureFormat(const std::string& name);
const char* formatName(PictureFormat f);
const char* extension(PictureFormat f); // ".png", ".pgm", ".tif", ".raw"

// Packed rows: `width` pixels per row, `height` rows; 8-bit pixels as bytes, 16-bit pixels as
// uint16_t in the machine's byte order.
struct Picture {
    const void* pixels = nullptr;
    uint32_t width = 0, height = 0;
    int bits = 8; // 8 or 16
};

// zlib's levels: 1 (fastest) … 9 (smallest).
inline constexpr int kFastPng = 1;

// An empty string on success, else what went wrong (with the file's name).
std::string writePicture(const std::string& file, const Picture& picture, PictureFormat format,
                         int pngLevel = kFastPng);

} // namespace pellvane::tools
