// Calls into the hardware-applet runtime (pyrrt) and the hardware access library (tarn_hw).
// Both libraries are imported by ordinal; these wrappers give the ordinals names and types.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pellvane::runtime {

// The runtime's event record. Only the name and the publish flag are relied upon.
struct EventRecord {
    void* reserved;
    const char* name;
    int32_t reserved2;
    int32_t published; // 1: the applet publishes this event
};
static_assert(offsetof(EventRecord, published) == 20);

// The runtime's type code for images of this applet's kind.
constexpr int32_t kImageTypeCode = 2626;

void* loadImage(const void* image, std::size_t size); // null on failure
void* loadImageFile(const char* file);                // null on failure
void releaseImage(void* hap);
int32_t registerCount(void* hap);
const char* registerName(void* hap, int32_t index); // index 1 .. registerCount
int32_t registerId(void* hap, const char* name);
int32_t registerWidth(void* hap, int32_t id); // bits; above 32 means 64-bit
bool registerWritable(void* hap, int32_t id);
const EventRecord* event(void* hap, int32_t index); // index 0 .. 63; null past the last

} // namespace pellvane::runtime

namespace pellvane::hardware {

int32_t writeRegister(void* board, uint32_t reg, uint64_t value); // 0 or an error code
int32_t readRegister(void* board, uint32_t reg, uint64_t* value); // 0 or an error code

} // namespace pellvane::hardware
