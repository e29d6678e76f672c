// The lookup-table file reader: any bytes as a user table, loaded through FG_LUT_CUSTOM_FILE
// with the table type set to user file. The set answers 0 or a documented code, and every
// entry the applet then reports is a 12-bit value or was refused by the hardware write.
#include "FuzzApplet.h"

#include <pellvane/parameters.h>

#include <cstdlib>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const pvfuzz::Exports& x = pvfuzz::applet();
    const std::string file = pvfuzz::writeScratchFile("input.lut", data, size);
    pvfuzz::OpenApplet applet;
    int32_t custom = 0;
    if (x.Fg_setParameterWithType(applet.fg(), FG_LUT_TYPE, &custom, 0, 2) != 0) std::abort();
    const int32_t rc =
        x.Fg_setParameterWithType(applet.fg(), FG_LUT_CUSTOM_FILE, file.c_str(), 0, 6);
    // 0, or the host's refusal of a table with values above 12 bits.
    if (rc != 0 && rc != -2070 && rc != -6000 && rc != -5001) std::abort();
    for (uint32_t index : {0u, 1u, 2048u, 4095u}) {
        uint32_t record[2] = {0, index};
        if (x.Fg_getParameterWithType(applet.fg(), FG_LUT_VALUE, record, 0, 4098) != 0)
            std::abort();
        if (rc == 0 && record[0] > 4095) std::abort();
    }
    return 0;
}
