#include "host/Runtime.h"

// The runtime and the hardware access library export these functions by ordinal only; on
// POSIX builds the import by ordinal N is the symbol <library>_N.
extern "C" {
void* pyrrt_143(const void* image, size_t size, int32_t flag);
void* pyrrt_37(const char* file, int32_t typeCode, int32_t flag);
int32_t pyrrt_38(void* hap);
int32_t pyrrt_42(void* hap);
const char* pyrrt_43(void* hap, int32_t index);
int32_t pyrrt_45(void* hap, const char* name);
int32_t pyrrt_46(void* hap, int32_t id);
int32_t pyrrt_49(void* hap, int32_t id);
const void* pyrrt_150(void* hap, int32_t index);
int32_t tarn_hw_12(void* board, uint32_t reg, uint64_t value);
int32_t tarn_hw_13(void* board, uint32_t reg, uint64_t* value);
}

namespace pellvane::runtime {

namespace {
// Images are loaded with flag 1; its meaning belongs to the runtime.
constexpr int32_t kLoadFlag = 1;
} // namespace

void* loadImage(const void* image, std::size_t size) {
    return pyrrt_143(image, size, kLoadFlag);
}
void* loadImageFile(const char* file) {
    return pyrrt_37(file, kImageTypeCode, kLoadFlag);
}
void releaseImage(void* hap) {
    (void)pyrrt_38(hap);
}
int32_t registerCount(void* hap) {
    return pyrrt_42(hap);
}
const char* registerName(void* hap, int32_t index) {
    return pyrrt_43(hap, index);
}
int32_t registerId(void* hap, const char* name) {
    return pyrrt_45(hap, name);
}
int32_t registerWidth(void* hap, int32_t id) {
    return pyrrt_46(hap, id);
}
bool registerWritable(void* hap, int32_t id) {
    return pyrrt_49(hap, id) != 0;
}
const EventRecord* event(void* hap, int32_t index) {
    return static_cast<const EventRecord*>(pyrrt_150(hap, index));
}

} // namespace pellvane::runtime

namespace pellvane::hardware {

int32_t writeRegister(void* board, uint32_t reg, uint64_t value) {
    return tarn_hw_12(board, reg, value);
}
int32_t readRegister(void* board, uint32_t reg, uint64_t* value) {
    return tarn_hw_13(board, reg, value);
}

} // namespace pellvane::hardware
