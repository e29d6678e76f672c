// The inspection-file reader: any bytes as "inspect.conf", read into the inspection store with
// sections and case sensitivity as the applet uses them, and in the other configurations. Every
// key listed in a section can be fetched again.
#include "FuzzApplet.h"

#include "platform/ConfigStore.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file = pvfuzz::writeScratchFile("inspect.conf", data, size);
    for (bool sections : {true, false}) {
        for (bool caseSensitive : {true, false}) {
            pellvane::platform::ConfigStore store(sections, caseSensitive);
            if (!store.readFile(file, false, size % 2 == 0)) std::abort();
            // The first bytes name a section to list, as the applet lists its own.
            const std::string section(reinterpret_cast<const char*>(data), size < 8 ? size : 8);
            for (const std::string& key : store.keysOfSection("Pellvane"))
                if (bool found = false; store.fetchValue("Pellvane::" + key, &found), !found)
                    std::abort();
            for (const std::string& key : store.keysOfSection(section))
                if (bool found = false; store.fetchValue(section + "::" + key, &found), !found)
                    std::abort();
        }
    }
    return 0;
}
