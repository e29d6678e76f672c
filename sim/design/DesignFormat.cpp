#include "DesignFormat.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <unordered_set>

namespace vboard {

namespace {

constexpr std::uint8_t kFlagWritable = 1;
constexpr std::uint8_t kFlagTable = 2;

bool validName(std::string_view name) {
    if (name.empty() || name.size() > std::numeric_limits<std::uint16_t>::max()) return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7f)
            return false;
    }
    return true;
}

bool parseUnsigned(std::string_view text, std::uint64_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc{} && end == text.data() + text.size();
}

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t')
            ++pos;
        if (pos > start) words.push_back(line.substr(start, pos - start));
    }
    return words;
}

// Checks what both the text and the binary form must satisfy.
bool checkDesign(const Design& d, std::string& error) {
    std::unordered_set<std::string_view> names;
    int tables = 0;
    for (const auto& r : d.registers) {
        if (!validName(r.name)) return error = "invalid register name '" + r.name + "'", false;
        if (r.width < 1 || r.width > 64)
            return error = "register '" + r.name + "' has a width outside 1..64", false;
        if ((r.initial & ~widthMask(r.width)) != 0)
            return error = "initial value of '" + r.name + "' does not fit its width", false;
        if (!names.insert(r.name).second)
            return error = "register '" + r.name + "' defined twice", false;
        if (r.table) ++tables;
    }
    if (tables > 1) return error = "more than one table register", false;
    if (d.events.size() > kMaxEvents) return error = "more than 64 events", false;
    std::unordered_set<std::string_view> events;
    for (const auto& e : d.events) {
        if (!validName(e.name)) return error = "invalid event name '" + e.name + "'", false;
        if (!events.insert(e.name).second)
            return error = "event '" + e.name + "' defined twice", false;
    }
    return true;
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putName(std::vector<std::uint8_t>& out, const std::string& name) {
    put16(out, static_cast<std::uint16_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
}

std::uint32_t get32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// Bounds-checked reader over the payload: every read fails once the data runs out.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), left_(size) {}

    bool u8(std::uint8_t& v) {
        if (left_ < 1) return false;
        v = *p_;
        advance(1);
        return true;
    }
    bool u16(std::uint16_t& v) {
        if (left_ < 2) return false;
        v = static_cast<std::uint16_t>(p_[0] | p_[1] << 8);
        advance(2);
        return true;
    }
    bool u32(std::uint32_t& v) {
        if (left_ < 4) return false;
        v = get32(p_);
        advance(4);
        return true;
    }
    bool u64(std::uint64_t& v) {
        if (left_ < 8) return false;
        v = std::uint64_t{get32(p_)} | std::uint64_t{get32(p_ + 4)} << 32;
        advance(8);
        return true;
    }
    bool name(std::string& s) {
        std::uint16_t n = 0;
        if (!u16(n) || left_ < n) return false;
        s.assign(reinterpret_cast<const char*>(p_), n);
        advance(n);
        return true;
    }
    std::size_t left() const { return left_; }

private:
    void advance(std::size_t n) {
        p_ += n;
        left_ -= n;
    }
    const std::uint8_t* p_;
    std::size_t left_;
};

} // namespace

void Design::finish() {
    ids_.clear();
    for (std::size_t i = 0; i < registers.size(); ++i)
        ids_.emplace(registers[i].name, static_cast<std::uint32_t>(i + 1));
    records_.clear();
    for (const auto& e : events)
        records_.push_back(EventRecord{nullptr, e.name.c_str(), 0, e.published ? 1 : 0});
}

std::uint32_t Design::idOf(std::string_view name) const {
    auto it = ids_.find(name);
    return it == ids_.end() ? 0 : it->second;
}

const RegisterInfo* Design::find(std::uint32_t id) const {
    if (id == 0 || id > registers.size()) return nullptr;
    return &registers[id - 1];
}

const EventRecord* Design::event(std::size_t index) const {
    return index < records_.size() ? &records_[index] : nullptr;
}

bool parseDescription(std::string_view text, Design& out, std::string& error) {
    out = Design{};
    std::size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        auto words = split(line);
        if (words.empty()) continue;
        auto fail = [&](const std::string& what) {
            error = "line " + std::to_string(lineNo) + ": " + what;
            return false;
        };
        if (words[0] == "register") {
            if (words.size() < 4 || words.size() > 6)
                return fail("expected: register <name> <width> <rw|ro> [initial] [table]");
            RegisterInfo r;
            r.name = std::string(words[1]);
            std::uint64_t width = 0;
            if (!parseUnsigned(words[2], width) || width < 1 || width > 64)
                return fail("width must be 1..64");
            r.width = static_cast<std::uint32_t>(width);
            if (words[3] == "rw")
                r.writable = true;
            else if (words[3] == "ro")
                r.writable = false;
            else
                return fail("access must be rw or ro");
            for (std::size_t i = 4; i < words.size(); ++i) {
                if (words[i] == "table" && !r.table)
                    r.table = true;
                else if (i == 4 && parseUnsigned(words[i], r.initial))
                    continue;
                else
                    return fail("unexpected '" + std::string(words[i]) + "'");
            }
            out.registers.push_back(std::move(r));
        } else if (words[0] == "event") {
            if (words.size() != 3 || (words[2] != "0" && words[2] != "1"))
                return fail("expected: event <name> <0|1>");
            out.events.push_back(EventInfo{std::string(words[1]), words[2] == "1"});
        } else {
            return fail("unknown keyword '" + std::string(words[0]) + "'");
        }
    }
    if (!checkDesign(out, error)) return false;
    out.finish();
    return true;
}

std::vector<std::uint8_t> serializePayload(const Design& design) {
    std::vector<std::uint8_t> out;
    put32(out, static_cast<std::uint32_t>(design.registers.size()));
    for (const auto& r : design.registers) {
        putName(out, r.name);
        out.push_back(static_cast<std::uint8_t>(r.width));
        out.push_back(static_cast<std::uint8_t>((r.writable ? kFlagWritable : 0) |
                                                (r.table ? kFlagTable : 0)));
        put64(out, r.initial);
    }
    put32(out, static_cast<std::uint32_t>(design.events.size()));
    for (const auto& e : design.events) {
        putName(out, e.name);
        out.push_back(e.published ? 1 : 0);
    }
    return out;
}

bool parsePayload(const std::uint8_t* data, std::size_t size, Design& out) {
    out = Design{};
    if (data == nullptr) return false;
    Reader in(data, size);
    std::uint32_t count = 0;
    if (!in.u32(count)) return false;
    // Each register takes at least 13 bytes: refuse counts the data cannot hold before
    // reserving anything for them.
    if (count > in.left() / 13) return false;
    out.registers.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        RegisterInfo r;
        std::uint8_t width = 0, flags = 0;
        if (!in.name(r.name) || !in.u8(width) || !in.u8(flags) || !in.u64(r.initial)) return false;
        if ((flags & ~(kFlagWritable | kFlagTable)) != 0) return false;
        r.width = width;
        r.writable = (flags & kFlagWritable) != 0;
        r.table = (flags & kFlagTable) != 0;
        out.registers.push_back(std::move(r));
    }
    if (!in.u32(count) || count > kMaxEvents) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        EventInfo e;
        std::uint8_t published = 0;
        if (!in.name(e.name) || !in.u8(published) || published > 1) return false;
        e.published = published == 1;
        out.events.push_back(std::move(e));
    }
    std::string error;
    if (in.left() != 0 || !checkDesign(out, error)) return false;
    out.finish();
    return true;
}

std::uint32_t checksum(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 16777619u;
    }
    return h;
}

std::vector<std::uint8_t> buildImage(const Design& design) {
    std::vector<std::uint8_t> payload = serializePayload(design);
    std::vector<std::uint8_t> image(std::begin(kImageMagic), std::end(kImageMagic));
    put32(image, kFormatVersion);
    put32(image, static_cast<std::uint32_t>(kImageSize));
    put32(image, static_cast<std::uint32_t>(payload.size()));
    put32(image, checksum(payload.data(), payload.size()));
    image.insert(image.end(), payload.begin(), payload.end());
    // The real bitstream would follow; a fixed xorshift sequence keeps the image reproducible
    // byte for byte between builds.
    std::uint32_t state = 0x2545F491u;
    image.reserve(kImageSize);
    while (image.size() < kImageSize) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image.push_back(static_cast<std::uint8_t>(state));
    }
    image.resize(kImageSize);
    return image;
}

ImageError parseImage(const void* image, std::size_t size, Design& out) {
    out = Design{};
    if (image == nullptr) return ImageError::Null;
    if (size != kImageSize) return ImageError::Size;
    const auto* p = static_cast<const std::uint8_t*>(image);
    if (std::memcmp(p, kImageMagic, sizeof kImageMagic) != 0) return ImageError::Magic;
    if (get32(p + 4) != kFormatVersion) return ImageError::Version;
    if (get32(p + 8) != kImageSize) return ImageError::Size;
    std::uint32_t length = get32(p + 12);
    if (length > kImageSize - kImageHeaderSize) return ImageError::Payload;
    const std::uint8_t* payload = p + kImageHeaderSize;
    if (checksum(payload, length) != get32(p + 16)) return ImageError::Checksum;
    if (!parsePayload(payload, length, out)) return ImageError::Payload;
    return ImageError::None;
}

} // namespace vboard
