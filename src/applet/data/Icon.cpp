#include "data/Icon.h"

#include <array>
#include <string>
#include <vector>

namespace pellvane {

namespace {

constexpr int kSide = 32;

uint32_t crc32(const uint8_t* data, std::size_t n, uint32_t crc = 0xFFFFFFFFu) {
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, crc32(out.data() + start, out.size() - start) ^ 0xFFFFFFFFu);
}

// A dark frame-grabber card with a light lens circle: enough to tell the applet apart in a
// list. Pixels are stored uncompressed (one stored deflate block), the rest of the fixed size
// is a text chunk that names the applet.
std::array<uint8_t, kIconSize> makeIcon() {
    std::vector<uint8_t> raw;
    for (int y = 0; y < kSide; ++y) {
        raw.push_back(0); // filter: none
        for (int x = 0; x < kSide; ++x) {
            int dx = 2 * x - 31, dy = 2 * y - 31;
            int r2 = dx * dx + dy * dy;
            uint8_t v = r2 < 18 * 18                               ? 235
                        : r2 < 24 * 24                             ? 40
                        : (x == 0 || y == 0 || x == 31 || y == 31) ? 20
                                                                   : 90;
            raw.push_back(v);
        }
    }
    std::vector<uint8_t> zlib = {0x78, 0x01, 0x01};
    auto len = static_cast<uint16_t>(raw.size());
    zlib.insert(zlib.end(), {static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
                             static_cast<uint8_t>(~len), static_cast<uint8_t>(~len >> 8)});
    zlib.insert(zlib.end(), raw.begin(), raw.end());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(zlib, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put32(ihdr, kSide);
    put32(ihdr, kSide);
    ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0}); // 8-bit grey, no interlace
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", zlib);

    constexpr std::size_t kChunkOverhead = 12;
    constexpr std::size_t kEnd = kChunkOverhead; // IEND
    std::size_t textSize = kIconSize - png.size() - kChunkOverhead - kEnd;
    std::string text = std::string("Comment") + '\0' +
                       "Pellvane acquisition applet for one Camera Link MEDIUM grey-scale area "
                       "scan camera.";
    text.resize(textSize, ' ');
    chunk(png, "tEXt", std::vector<uint8_t>(text.begin(), text.end()));
    chunk(png, "IEND", {});

    std::array<uint8_t, kIconSize> icon{};
    std::copy(png.begin(), png.end(), icon.begin());
    return icon;
}

} // namespace

const uint8_t* appletIcon() {
    static const std::array<uint8_t, kIconSize> icon = makeIcon();
    return icon.data();
}

} // namespace pellvane
