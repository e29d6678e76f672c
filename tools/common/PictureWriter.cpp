#include "PictureWriter.h"

#include <zlib.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace pellvane::tools {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Collects bytes and hands them to the file; remembers the first failure.
class Output {
public:
    explicit Output(const std::string& name) : name_(name), file_(std::fopen(name.c_str(), "wb")) {
        if (!file_) error_ = "cannot create " + name + ": " + std::strerror(errno);
    }
    bool ok() const { return error_.empty(); }
    void write(const void* data, std::size_t n) {
        if (ok() && n != 0 && std::fwrite(data, 1, n, file_.get()) != n)
            error_ = "cannot write " + name_ + ": " + std::strerror(errno);
    }
    void u16le(uint16_t v) { write(std::array<uint8_t, 2>{uint8_t(v), uint8_t(v >> 8)}.data(), 2); }
    void u32le(uint32_t v) {
        write(
            std::array<uint8_t, 4>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}
                .data(),
            4);
    }
    std::string close() {
        if (file_) {
            std::FILE* f = file_.release();
            if (std::fclose(f) != 0 && ok())
                error_ = "cannot write " + name_ + ": " + std::strerror(errno);
        }
        return error_;
    }

private:
    std::string name_;
    File file_;
    std::string error_;
};

void bigEndian32(uint8_t* out, uint32_t v) {
    out[0] = uint8_t(v >> 24);
    out[1] = uint8_t(v >> 16);
    out[2] = uint8_t(v >> 8);
    out[3] = uint8_t(v);
}

void pngChunk(Output& out, const char* type, const uint8_t* data, uint32_t length) {
    uint8_t head[8];
    bigEndian32(head, length);
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0L, head + 4, 4);
    if (length != 0) crc = crc32(crc, data, length);
    uint8_t tail[4];
    bigEndian32(tail, static_cast<uint32_t>(crc));
    out.write(head, 8);
    out.write(data, length);
    out.write(tail, 4);
}

// One row in PNG's order (16-bit samples big-endian), filtered with "Sub": each byte minus the
// one a pixel before it, which turns smooth image content into small numbers that deflate well
// at its fastest level.
void filterRow(const uint8_t* row, std::size_t bytes, int bytesPerPixel, bool swap,
               std::vector<uint8_t>& out) {
    out.resize(bytes + 1);
    out[0] = 1; // filter type Sub
    uint8_t* o = out.data() + 1;
    if (swap) {
        for (std::size_t i = 0; i < bytes; i += 2) {
            o[i] = row[i + 1];
            o[i + 1] = row[i];
        }
    } else {
        std::memcpy(o, row, bytes);
    }
    for (std::size_t i = bytes; i-- > static_cast<std::size_t>(bytesPerPixel);)
        o[i] = static_cast<uint8_t>(o[i] - o[i - bytesPerPixel]);
}

std::string writePng(const std::string& file, const Picture& p, int level) {
    Output out(file);
    if (!out.ok()) return out.close();
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.write(kSignature, sizeof kSignature);
    uint8_t ihdr[13];
    bigEndian32(ihdr, p.width);
    bigEndian32(ihdr + 4, p.height);
    ihdr[8] = static_cast<uint8_t>(p.bits);
    ihdr[9] = 0;  // grey
    ihdr[10] = 0; // deflate
    ihdr[11] = 0; // adaptive filtering, one filter byte per row
    ihdr[12] = 0; // not interlaced
    pngChunk(out, "IHDR", ihdr, sizeof ihdr);

    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return "zlib could not start for " + file;
    const int bytesPerPixel = p.bits / 8;
    const std::size_t rowBytes = std::size_t{p.width} * bytesPerPixel;
    const bool swap = bytesPerPixel == 2 && std::endian::native == std::endian::little;
    std::vector<uint8_t> row;
    std::vector<uint8_t> chunk(256 * 1024);
    z.next_out = chunk.data();
    z.avail_out = static_cast<uInt>(chunk.size());
    auto drain = [&](bool all) {
        if (z.avail_out == 0 || (all && z.avail_out != chunk.size())) {
            pngChunk(out, "IDAT", chunk.data(), static_cast<uint32_t>(chunk.size() - z.avail_out));
            z.next_out = chunk.data();
            z.avail_out = static_cast<uInt>(chunk.size());
        }
    };
    const auto* pixels = static_cast<const uint8_t*>(p.pixels);
    for (uint32_t y = 0; y < p.height && out.ok(); ++y) {
        filterRow(pixels + y * rowBytes, rowBytes, bytesPerPixel, swap, row);
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        while (z.avail_in != 0) {
            deflate(&z, Z_NO_FLUSH);
            drain(false);
        }
    }
    int r = Z_OK;
    while (out.ok() && (r = deflate(&z, Z_FINISH)) == Z_OK)
        drain(false);
    drain(true);
    deflateEnd(&z);
    if (out.ok() && r != Z_STREAM_END) return "zlib failed on " + file;
    pngChunk(out, "IEND", nullptr, 0);
    return out.close();
}

// 16-bit samples in the byte order a format asks for.
void writeSamples(Output& out, const Picture& p, bool bigEndian) {
    const std::size_t samples = std::size_t{p.width} * p.height;
    if (p.bits == 8 || (bigEndian == (std::endian::native == std::endian::big))) {
        out.write(p.pixels, samples * (p.bits / 8));
        return;
    }
    const auto* in = static_cast<const uint16_t*>(p.pixels);
    std::vector<uint8_t> row(std::size_t{p.width} * 2);
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < p.width; ++x) {
            const uint16_t v = in[std::size_t{y} * p.width + x];
            row[2 * x] = uint8_t(v >> 8);
            row[2 * x + 1] = uint8_t(v);
        }
        out.write(row.data(), row.size());
    }
}

std::string writePgm(const std::string& file, const Picture& p) {
    Output out(file);
    const std::string header = "P5\n" + std::to_string(p.width) + " " + std::to_string(p.height) +
                               "\n" + (p.bits == 16 ? "65535" : "255") + "\n";
    out.write(header.data(), header.size());
    writeSamples(out, p, true); // PGM keeps 16-bit samples most significant byte first
    return out.close();
}

// A baseline TIFF: little-endian, one uncompressed strip, grey with black at zero.
std::string writeTiff(const std::string& file, const Picture& p) {
    Output out(file);
    const uint32_t bytes = p.width * p.height * static_cast<uint32_t>(p.bits / 8);
    struct Entry {
        uint16_t tag, type;
        uint32_t value;
    };
    constexpr uint16_t kShort = 3, kLong = 4;
    constexpr uint32_t kIfdOffset = 8;
    const Entry entries[] = {
        {256, kLong, p.width},  // image width
        {257, kLong, p.height}, // image length
        {258, kShort, static_cast<uint32_t>(p.bits)},
        {259, kShort, 1}, // no compression
        {262, kShort, 1}, // black is zero
        {273, kLong, 0},  // strip offset, filled in below
        {277, kShort, 1}, // samples per pixel
        {278, kLong, p.height},
        {279, kLong, bytes},
    };
    const uint16_t count = sizeof entries / sizeof entries[0];
    const uint32_t dataOffset = kIfdOffset + 2 + count * 12u + 4;
    out.write("II*\0", 4);
    out.u32le(kIfdOffset);
    out.u16le(count);
    for (const Entry& e : entries) {
        out.u16le(e.tag);
        out.u16le(e.type);
        out.u32le(1);
        const uint32_t v = e.tag == 273 ? dataOffset : e.value;
        if (e.type == kShort) {
            out.u16le(static_cast<uint16_t>(v));
            out.u16le(0);
        } else {
            out.u32le(v);
        }
    }
    out.u32le(0); // no further image
    writeSamples(out, p, false);
    return out.close();
}

std::string writeRaw(const std::string& file, const Picture& p) {
    Output out(file);
    out.write(p.pixels, std::size_t{p.width} * p.height * (p.bits / 8));
    return out.close();
}

} // namespace

std::optional<PictureFormat> pictureFormat(const std::string& name) {
    if (name == "png") return PictureFormat::Png;
    if (name == "pgm") return PictureFormat::Pgm;
    if (name == "tiff" || name == "tif") return PictureFormat::Tiff;
    if (name == "raw") return PictureFormat::Raw;
    return std::nullopt;
}

const char* formatName(PictureFormat f) {
    switch (f) {
    case PictureFormat::Png:
        return "png";
    case PictureFormat::Pgm:
        return "pgm";
    case PictureFormat::Tiff:
        return "tiff";
    case PictureFormat::Raw:
        return "raw";
    }
    return "?";
}

const char* extension(PictureFormat f) {
    return f == PictureFormat::Tiff  ? ".tif"
           : f == PictureFormat::Png ? ".png"
           : f == PictureFormat::Pgm ? ".pgm"
                                     : ".raw";
}

std::string writePicture(const std::string& file, const Picture& p, PictureFormat format,
                         int pngLevel) {
    if (p.pixels == nullptr) return "no picture for " + file;
    if (p.width == 0 || p.height == 0) return "an empty picture for " + file;
    if (p.bits != 8 && p.bits != 16)
        return "pictures are 8 or 16 bits, not " + std::to_string(p.bits);
    switch (format) {
    case PictureFormat::Png:
        return writePng(file, p, pngLevel);
    case PictureFormat::Pgm:
        return writePgm(file, p);
    case PictureFormat::Tiff:
        return writeTiff(file, p);
    case PictureFormat::Raw:
        return writeRaw(file, p);
    }
    return "unknown format";
}

} // namespace pellvane::tools
