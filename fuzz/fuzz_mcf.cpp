// The configuration-file reader: any bytes as a .mcf file, loaded through Fg_loadConfig on an
// opened applet. A load either succeeds or answers its documented codes, and the applet stays
// usable afterwards.
#include "FuzzApplet.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const pvfuzz::Exports& x = pvfuzz::applet();
    const std::string file = pvfuzz::writeScratchFile("input.mcf", data, size);
    pvfuzz::OpenApplet applet;
    const int32_t rc = x.Fg_loadConfig(applet.fg(), file.c_str());
    if (rc != 0 && rc != -5000 && rc != -2076) std::abort();
    if (x.Fg_getLastErrorNumber(applet.fg()) != (rc == -2076 ? -5000 : rc)) std::abort();
    int32_t width = 0;
    if (x.Fg_getParameterWithType(applet.fg(), 100, &width, 0, 1) != 0) std::abort();
    return 0;
}
