// The set and get exports of an opened applet, fed random identifiers, DMA indices, type codes
// and value bytes. Each input is a sequence of calls:
//
//   byte 0      what to call: bit 0 set or get; bits 1-2 how the identifier is chosen (a
//               parameter by its index, a raw identifier, a direct register, a pass-through
//               host parameter); bit 3 a null value pointer
//   bytes 1-4   the index or the identifier
//   byte 5      the DMA index (mostly 0)
//   bytes 6-7   the type code
//   byte 8      the number of value bytes that follow (up to 64)
//
// The value buffer is large and zero-terminated, so that a string parameter reads a bounded
// text; file names are confined to a scratch folder. Every call must answer with the same code
// that the applet keeps as its last error.
#include "FuzzApplet.h"

#include <pellvane/parameters.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kBufferSize = 4096;

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool more() const { return pos < size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t{byte()} << (8 * i);
        return v;
    }
};

// A file name from the input's bytes, inside the scratch folder.
std::string scratchName(const uint8_t* bytes, size_t n) {
    std::string name = "f";
    for (size_t i = 0; i < n; ++i)
        name += "abcdefghijklmnopqrstuvwxyz0123456789._-"[bytes[i] % 39];
    return (pvfuzz::scratchDirectory() / name).string();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Direct register access on: its identifiers are part of what is fuzzed.
    setenv("TARN_ENABLE_DRA", "1", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const pvfuzz::Exports& x = pvfuzz::applet();
    pvfuzz::OpenApplet applet;
    const int32_t count = x.Fg_getNrOfParameter(applet.fg());
    Reader in{data, size};
    for (int call = 0; call < 64 && in.more(); ++call) {
        const uint8_t op = in.byte();
        const uint32_t raw = in.u32();
        int32_t id = 0;
        switch ((op >> 1) & 3) {
        case 0:
            id = x.Fg_getParameterId(applet.fg(), static_cast<int32_t>(raw % uint32_t(count)));
            break;
        case 1:
            id = static_cast<int32_t>(raw);
            break;
        case 2:
            id = PV_REGISTER_ACCESS_BASE + static_cast<int32_t>(raw % 128);
            break;
        case 3:
            id = PV_PASS_THROUGH_BASE + static_cast<int32_t>(raw % 8192);
            break;
        }
        const uint8_t dmaByte = in.byte();
        const uint32_t dma = dmaByte < 224 ? 0 : dmaByte - 224;
        const int32_t type = static_cast<int32_t>(in.byte() | (in.byte() << 8));
        const size_t length = in.byte() % 65;
        std::array<uint8_t, kBufferSize> buffer{};
        for (size_t i = 0; i < length; ++i)
            buffer[i] = in.byte();
        // The LUT field records keep their index inside the table most of the time.
        void* value = (op & 8) != 0 ? nullptr : buffer.data();
        // A set of a file name passes a name in the scratch folder; a get receives the stored
        // name into the whole buffer, as the string getters take no size and the caller must
        // provide room for any name.
        std::string file;
        if (value != nullptr && (op & 1) != 0 &&
            (id == FG_LUT_CUSTOM_FILE || id == FG_LUT_SAVE_FILE)) {
            file = scratchName(buffer.data(), length % 12);
            value = file.data();
        }
        int32_t rc;
        if ((op & 1) != 0) {
            rc = x.Fg_setParameterWithType(applet.fg(), id, value, dma, type);
        } else {
            if (id == PV_DESCRIPTION_QUERY) buffer[64] = 0; // a name of at most 64 characters
            rc = x.Fg_getParameterWithType(applet.fg(), id, value, dma, type);
        }
        if (rc > 0) std::abort();
        if (x.Fg_getLastErrorNumber(applet.fg()) != rc) std::abort();
    }
    return 0;
}
