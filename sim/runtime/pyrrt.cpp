// pyrrt: the virtual board's hardware-applet runtime.
//
// Loading an image means parsing the design description it carries and handing it to the
// design model, which from then on knows the design's registers; the image handle is the
// model's record of the loaded image. Every query checks the handle against the model, so a
// stale or foreign handle gets "nothing" rather than a crash.
#include "RuntimeEvents.h"
#include "VboardModel.h"

#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

namespace {

// The type code that marks a hardware-applet file for this board family.
constexpr std::int32_t kHapFileType = 2626;

bool flagAccepted(std::int32_t flag) {
    return flag == 0 || flag == 1;
}

void* load(const void* image, std::size_t size) {
    if (vbm_image_load_blocked() != 0) return nullptr;
    auto design = std::make_unique<vboard::Design>();
    if (vboard::parseImage(image, size, *design) != vboard::ImageError::None) return nullptr;
    return vbm_image_attach(design.release());
}

const vboard::Design* designOf(void* hap) {
    return hap == nullptr ? nullptr : vbm_image_design(hap);
}

} // namespace

// The exports and their ordinals are listed in pyrrt.def; on Windows that file alone exports
// them, by ordinal and without a name, as the real runtime does.
#if defined(_WIN32)
#define PYRRT_API extern "C"
#else
#define PYRRT_API extern "C" __attribute__((visibility("default")))
#endif

// Loads an image held in memory. The flag asks the runtime to configure the board (1) or only
// to parse (0); the virtual board does the same for both.
PYRRT_API void* pyrrt_143(const void* image, size_t size, std::int32_t flag) {
    if (!flagAccepted(flag)) return nullptr;
    return load(image, size);
}

// Loads an image file, resolved against the working directory like any relative path.
PYRRT_API void* pyrrt_37(const char* file, std::int32_t typeCode, std::int32_t flag) {
    if (file == nullptr || typeCode != kHapFileType || !flagAccepted(flag)) return nullptr;
    if (vbm_image_load_blocked() != 0) return nullptr;
    std::ifstream in(file, std::ios::binary);
    if (!in) return nullptr;
    // Read one byte more than an image can have: a longer file is refused by the size check
    // without reading the rest of it.
    std::vector<char> data(vboard::kImageSize + 1);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    return load(data.data(), static_cast<std::size_t>(in.gcount()));
}

// Releases an image: 0, or -1 for a handle the runtime does not hold.
PYRRT_API std::int32_t pyrrt_38(void* hap) {
    if (hap == nullptr) return -1;
    return vbm_image_detach(hap);
}

// Number of registers of the design (0 for an unknown handle).
PYRRT_API std::int32_t pyrrt_42(void* hap) {
    const vboard::Design* d = designOf(hap);
    return d == nullptr ? 0 : static_cast<std::int32_t>(d->registers.size());
}

// Name of the register at 1-based position `index`; the runtime owns the string.
PYRRT_API const char* pyrrt_43(void* hap, std::int32_t index) {
    const vboard::Design* d = designOf(hap);
    if (d == nullptr || index < 1) return nullptr;
    const vboard::RegisterInfo* r = d->find(static_cast<std::uint32_t>(index));
    return r == nullptr ? nullptr : r->name.c_str();
}

// Register id by name; ids are the 1-based positions, so 0 means "no such register".
PYRRT_API std::int32_t pyrrt_45(void* hap, const char* name) {
    const vboard::Design* d = designOf(hap);
    if (d == nullptr || name == nullptr) return 0;
    return static_cast<std::int32_t>(d->idOf(name));
}

// Width of a register in bits (0 when unknown).
PYRRT_API std::int32_t pyrrt_46(void* hap, std::int32_t id) {
    const vboard::Design* d = designOf(hap);
    const vboard::RegisterInfo* r =
        d == nullptr || id < 1 ? nullptr : d->find(static_cast<std::uint32_t>(id));
    return r == nullptr ? 0 : static_cast<std::int32_t>(r->width);
}

// 1 for a writable register, 0 for a read-only or unknown one.
PYRRT_API std::int32_t pyrrt_49(void* hap, std::int32_t id) {
    const vboard::Design* d = designOf(hap);
    const vboard::RegisterInfo* r =
        d == nullptr || id < 1 ? nullptr : d->find(static_cast<std::uint32_t>(id));
    return r != nullptr && r->writable ? 1 : 0;
}

// Event record by index 0 … 63; null past the last event. A design's records live as long as
// the image; a replacement list (vb_runtime_events_replace) only until it is replaced.
PYRRT_API const void* pyrrt_150(void* hap, std::int32_t index) {
    const vboard::Design* d = designOf(hap);
    if (d == nullptr || index < 0) return nullptr;
    const vboard::EventRecord* replaced = nullptr;
    if (vbm_runtime_event(static_cast<std::size_t>(index), &replaced) != 0) return replaced;
    return d->event(static_cast<std::size_t>(index));
}
