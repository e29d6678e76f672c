// The virtual design and the runtime's image format.
//
// A design is a list of registers (name, width, writability, reset value) and a list of events
// (name, publish flag). It is written once as text (pellvane_design.txt); hapgen serialises it
// into the hardware-applet image, the runtime parses the image back, and the design model
// embeds the same serialised block as its default design. All three use this one codec, so the
// text, the image and the model cannot drift apart.
//
// Image layout (all integers little-endian):
//   0  magic "PVH\x01"
//   4  u32 format version (1)
//   8  u32 image size in bytes (always kImageSize)
//  12  u32 payload length
//  16  u32 FNV-1a checksum of the payload
//  20  payload, then deterministic filler up to kImageSize
// Payload: u32 register count, per register { u16 name length, name, u8 width, u8 flags,
// u64 initial value }, u32 event count, per event { u16 name length, name, u8 published }.
// Register flag bit 0: writable; bit 1: lookup-table field register.
#ifndef PELLVANE_SIM_DESIGN_FORMAT_H
#define PELLVANE_SIM_DESIGN_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vboard {

inline constexpr std::size_t kImageSize = 1994368;
inline constexpr std::uint8_t kImageMagic[4] = {'P', 'V', 'H', 0x01};
inline constexpr std::uint32_t kFormatVersion = 1;
inline constexpr std::size_t kImageHeaderSize = 20;
inline constexpr std::size_t kMaxEvents = 64;
inline constexpr std::size_t kLutEntries = 4096;
inline constexpr std::uint32_t kLutMaxValue = 4095;

struct RegisterInfo {
    std::string name;
    std::uint32_t width = 32; // 1 … 64
    bool writable = true;
    bool table = false; // holds the lookup table
    std::uint64_t initial = 0;
};

// The record the runtime hands out per event; the applet reads the name at the second pointer
// and the publish flag at byte offset 20.
struct EventRecord {
    void* reserved;
    const char* name;
    std::int32_t reserved2;
    std::int32_t published;
};
static_assert(offsetof(EventRecord, name) == sizeof(void*));
static_assert(sizeof(void*) != 8 || offsetof(EventRecord, published) == 20);

struct EventInfo {
    std::string name;
    bool published = true;
};

// Not copyable: the name index and the event records point into the lists.
class Design {
public:
    Design() = default;
    Design(const Design&) = delete;
    Design& operator=(const Design&) = delete;
    Design(Design&&) = default;
    Design& operator=(Design&&) = default;

    std::vector<RegisterInfo> registers;
    std::vector<EventInfo> events;

    // Builds the name index and the event records; call once after filling the lists.
    void finish();

    // Runtime register id: 1-based position; 0 for an unknown name.
    std::uint32_t idOf(std::string_view name) const;
    const RegisterInfo* find(std::uint32_t id) const;
    const RegisterInfo* find(std::string_view name) const { return find(idOf(name)); }
    const EventRecord* event(std::size_t index) const;

private:
    std::unordered_map<std::string_view, std::uint32_t> ids_;
    std::vector<EventRecord> records_;
};

// Mask of a register width: the bits a register of that width keeps.
constexpr std::uint64_t widthMask(std::uint32_t width) {
    return width >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1;
}

// Parses the text description. On failure returns false and describes the first problem
// (with its line number) in `error`; `out` must then not be used.
bool parseDescription(std::string_view text, Design& out, std::string& error);

std::vector<std::uint8_t> serializePayload(const Design& design);
bool parsePayload(const std::uint8_t* data, std::size_t size, Design& out);

// The full image of kImageSize bytes.
std::vector<std::uint8_t> buildImage(const Design& design);

enum class ImageError { None, Null, Size, Magic, Version, Payload, Checksum };
ImageError parseImage(const void* image, std::size_t size, Design& out);

std::uint32_t checksum(const std::uint8_t* data, std::size_t size);

} // namespace vboard

#endif
