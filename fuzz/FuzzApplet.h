// The applet as the fuzz targets reach it: Pellvane.so loaded by name through the library
// search path, exactly as a host loads it, with one board of the virtual board to open it on.
#pragma once

#include "vboard/vboard.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace pvfuzz {

struct Exports {
    void* (*Std_entry)(void*, int32_t*, int32_t);
    int32_t (*Fg_setParameterWithType)(void*, int32_t, const void*, uint32_t, int32_t);
    int32_t (*Fg_getParameterWithType)(void*, int32_t, void*, uint32_t, int32_t);
    int32_t (*Fg_getNrOfParameter)(void*);
    int32_t (*Fg_getParameterId)(void*, int32_t);
    int32_t (*Fg_loadConfig)(void*, const char*);
    int32_t (*Fg_getLastErrorNumber)(void*);
    int32_t (*Fg_FreeGrabber)(void*);
};

// The applet's exports; aborts when the library or one of them is missing.
const Exports& applet();

// An applet opened on board 0 of a freshly reset virtual board, closed on destruction.
class OpenApplet {
public:
    OpenApplet();
    ~OpenApplet();
    OpenApplet(const OpenApplet&) = delete;
    OpenApplet& operator=(const OpenApplet&) = delete;
    void* fg() { return record_; }

private:
    void* record_[4] = {};
};

// A private folder for the files a target writes, removed at exit.
const std::filesystem::path& scratchDirectory();

// Writes the bytes to a file in the scratch folder and returns its name.
std::string writeScratchFile(const char* name, const uint8_t* data, size_t size);

} // namespace pvfuzz
